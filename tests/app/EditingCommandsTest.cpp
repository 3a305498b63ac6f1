// The Edit and Align commands on real reports: the history behind Undo and Redo, the
// clipboard between documents, and the clean point of a saved document.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "app/Startup.h"
#include "app/dlgReportPropsUnit.h"
#include "app/frmPropsUnit.h"
#include "data/DBTables.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "designer/Engine.h"
#include "designer/History.h"
#include "framework/Application.h"
#include "objects/Filer.h"
#include "objects/StringList.h"
#include "report/QRCtrls.h"
#include "report/QRFile.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/SqliteExec.h"

namespace rpt {
namespace {

struct EditingCommands : test::ShellTest {
  TAction* Act(const char* name) { return frmMain->Action(name); }
  // Runs a command as the menu does: after the update rules, errors to the application.
  void Run(const char* name) {
    Idle();
    ASSERT_TRUE(Act(name)->isEnabled()) << name;
    HandleErrors([&] { Act(name)->trigger(); });
  }
  static TQRLabel* AddLabel(TfrmDoc* doc, TQRCustomBand* band, const std::string& name, int32_t left, int32_t top) {
    auto* label = TComponent::Create<TQRLabel>(doc->Report);
    label->SetName(name);
    label->SetParent(band);
    label->SetBounds(left, top, 60, 17);
    label->SetCaption(name + " caption");
    return label;
  }
  static std::string ReportBytes(TfrmDoc* doc) {
    TMemoryStream stream;
    SaveComponent(stream, doc->Report);
    return stream.Data();
  }
  // What saving the document would write: the header naming its data, then the report.
  static std::string FileBytes(TfrmDoc* doc) { return ReportFileBytes(DataSetHeader(doc->DataSet), doc->Report); }
  static std::string ListBytes(TfrmDoc* doc, const std::vector<TComponent*>& list) {
    TMemoryStream stream;
    SaveComponentList(stream, doc->Report, list);
    return stream.Data();
  }
  static void Select(TfrmDoc* doc, const std::vector<TComponent*>& list) {
    doc->ZQKDesigner1->SelectedComponents().Clear();
    doc->ZQKDesigner1->Select(list);
  }
};

TEST_F(EditingCommands, AlignFromTheMenuIsUndoneWithItsCaptionAndBusyReportsDisableUndo) {
  TfrmDoc* doc = New();
  TQRCustomBand* title = doc->Report->FindBand(rbTitle);
  TQRLabel* a = AddLabel(doc, title, "A", 40, 4);
  TQRLabel* b = AddLabel(doc, title, "B", 16, 24);
  EXPECT_FALSE(doc->Modified);
  Idle();
  EXPECT_FALSE(Act("actUndo")->isEnabled());
  EXPECT_EQ(Act("actUndo")->text(), "Undo");
  // Undo and Redo open the Edit menu.
  QMenu* edit = nullptr;
  for (QAction* m : frmMain->menuBar()->actions())
    if (m->text() == "Edit") edit = m->menu();
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->actions().at(0), Act("actUndo"));
  EXPECT_EQ(edit->actions().at(1), Act("actRedo"));
  EXPECT_TRUE(Act("actRedo")->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
  // ... head the design surface's context menu, and sit on the first tool bar with glyphs.
  auto* popup = frmMain->findChild<QMenu*>("PopupMenu1");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->actions().at(0), Act("actUndo"));
  EXPECT_EQ(popup->actions().at(1), Act("actRedo"));
  auto* bar = frmMain->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->actions().contains(Act("actUndo")));
  EXPECT_TRUE(bar->actions().contains(Act("actRedo")));
  EXPECT_FALSE(Act("actUndo")->icon().isNull());
  EXPECT_FALSE(Act("actRedo")->icon().isNull());
  EXPECT_NE(Act("actUndo")->icon().pixmap(16).toImage(), Act("actRedo")->icon().pixmap(16).toImage());

  const std::string before = ReportBytes(doc);
  Select(doc, {a, b});
  Act("actALLeft")->trigger();
  EXPECT_EQ(a->Left(), 16);
  EXPECT_TRUE(doc->Modified);
  Idle();
  EXPECT_TRUE(Act("actUndo")->isEnabled());
  EXPECT_EQ(Act("actUndo")->text(), "Undo Align Left Edges");
  Act("actUndo")->trigger();
  EXPECT_EQ(ReportBytes(doc), before);
  EXPECT_FALSE(doc->Modified);
  Idle();
  EXPECT_EQ(Act("actRedo")->text(), "Redo Align Left Edges");
  EXPECT_FALSE(Act("actUndo")->isEnabled());

  // While a pass walks the report neither runs.
  doc->Printing = true;
  Idle();
  EXPECT_FALSE(Act("actRedo")->isEnabled());
  Act("actRedo")->trigger();
  EXPECT_EQ(ReportBytes(doc), before);
  doc->Printing = false;
  Idle();
  ASSERT_TRUE(Act("actRedo")->isEnabled());
  Act("actRedo")->trigger();
  EXPECT_EQ(dynamic_cast<TControl*>(doc->Report->FindComponent("A"))->Left(), 16);
  EXPECT_TRUE(errors.empty());
}

TEST_F(EditingCommands, CopyInOneDocumentPastesTheSameBytesIntoAnother) {
  TfrmDoc* first = New();
  TQRCustomBand* title = first->Report->FindBand(rbTitle);
  TQRLabel* a = AddLabel(first, title, "Heading", 40, 4);
  TQRLabel* b = AddLabel(first, title, "Subheading", 200, 8);
  b->Font()->SetSize(14);
  Select(first, {a, b});
  Idle();
  ASSERT_TRUE(Act("actCopy")->isEnabled());
  Act("actCopy")->trigger();
  const std::string copied = ListBytes(first, {a, b});

  TfrmDoc* second = New();
  Select(second, {second->Report->FindBand(rbTitle)});
  Idle();
  ASSERT_TRUE(Act("actPaste")->isEnabled());
  Act("actPaste")->trigger();
  TComponent* pa = second->Report->FindComponent("Heading");
  TComponent* pb = second->Report->FindComponent("Subheading");
  ASSERT_NE(pa, nullptr);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(ListBytes(second, {pa, pb}), copied);
  EXPECT_TRUE(second->Modified);
  EXPECT_EQ(second->UndoCaption(), "Undo Paste");

  // The text form pastes too, renamed and one grid step further.
  const QString text = QGuiApplication::clipboard()->text();
  auto* data = new QMimeData;
  data->setText(text);
  QGuiApplication::clipboard()->setMimeData(data);
  Select(second, {second->Report->FindBand(rbTitle)});
  Idle();
  ASSERT_TRUE(Act("actPaste")->isEnabled());
  Act("actPaste")->trigger();
  auto* copy = dynamic_cast<TControl*>(second->Report->FindComponent("QRLabel1"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Left(), dynamic_cast<TControl*>(pa)->Left() + 8);
  EXPECT_EQ(dynamic_cast<TQRLabel*>(copy)->Caption(), "Heading caption");

  // Damaged component bytes are refused with a message and leave the report alone.
  const std::string before = ReportBytes(second);
  data = new QMimeData;
  data->setData(QString::fromStdString(second->ZQKDesigner1->ClipboardMimeType()), QByteArray("TPF0garbage"));
  QGuiApplication::clipboard()->setMimeData(data);
  Idle();
  ASSERT_TRUE(Act("actPaste")->isEnabled());
  Run("actPaste");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("The clipboard holds no components that can be pasted"), std::string::npos);
  EXPECT_EQ(ReportBytes(second), before);
}

TEST_F(EditingCommands, UndoingADeletionBringsBackTheReferencesToTheDeletedBand) {
  TfrmDoc* doc = New();
  TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
  detail->SetHasChild(true);
  auto* child = dynamic_cast<TQRChildBand*>(detail->FindChildBand());
  ASSERT_NE(child, nullptr);
  AddLabel(doc, detail, "InDetail", 8, 4);
  const std::string childName = child->Name();
  const std::string before = ReportBytes(doc);
  Select(doc, {detail});
  Run("actDelete");
  EXPECT_EQ(doc->Report->FindComponent("InDetail"), nullptr);
  EXPECT_EQ(dynamic_cast<TQRChildBand*>(doc->Report->FindComponent(childName))->ParentBand(), nullptr);
  Run("actUndo");
  auto* link = dynamic_cast<TQRChildBand*>(doc->Report->FindComponent(childName))->ParentBand();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->BandType(), rbDetail);
  EXPECT_NE(doc->Report->FindComponent("InDetail"), nullptr);
  EXPECT_EQ(ReportBytes(doc), before);
}

TEST_F(EditingCommands, SavingMarksTheCleanPointAndUnrecordedChangesForgetTheSteps) {
  TfrmDoc* doc = New();
  TQRLabel* a = AddLabel(doc, doc->Report->FindBand(rbTitle), "A", 40, 4);
  frmMain->SaveDialog = [this](const std::string&) -> std::optional<std::string> {
    return QDir(dir.path()).filePath("clean.rpt").toStdString();
  };
  Select(doc, {a});
  doc->ZQKDesigner1->DesignKeyDown(VK_RIGHT, {ssCtrl});
  ASSERT_TRUE(frmMain->SaveDocumentAs(doc));
  EXPECT_FALSE(doc->Modified);
  doc->ZQKDesigner1->DesignKeyDown(VK_RIGHT, {ssCtrl});
  EXPECT_TRUE(doc->Modified);
  doc->Undo();
  EXPECT_FALSE(doc->Modified);
  doc->Undo();
  EXPECT_TRUE(doc->Modified);  // now before the saved state
  doc->Redo();
  EXPECT_FALSE(doc->Modified);

  // Typing is one step per element, and undone whole.
  auto* label = dynamic_cast<TQRLabel*>(doc->Report->FindComponent("A"));
  Select(doc, {label});
  for (char ch : std::string("xyz")) {
    TMessage m(WM_CHAR);
    m.CharCode = static_cast<uint8_t>(ch);
    Perform(label, m);
  }
  EXPECT_EQ(label->Caption(), "A captionxyz");
  EXPECT_EQ(doc->UndoCaption(), "Undo Typing");
  doc->Undo();
  EXPECT_EQ(dynamic_cast<TQRLabel*>(doc->Report->FindComponent("A"))->Caption(), "A caption");
  EXPECT_FALSE(doc->Modified);

  // A change the history cannot record keeps the document modified for good.
  doc->Redo();
  doc->MarkModified();
  EXPECT_TRUE(doc->Modified);
  EXPECT_FALSE(doc->CanUndo());
}

TEST_F(EditingCommands, AligningElementsOfTwoBandsIsRefusedWithAMessageAndKeepsTheSelection) {
  TfrmDoc* doc = New();
  TQRLabel* heading = AddLabel(doc, doc->Report->FindBand(rbColumnHeader), "Heading", 40, 4);
  TQRLabel* field = AddLabel(doc, doc->Report->FindBand(rbDetail), "Field", 16, 4);
  Select(doc, {heading, field});
  answers.push_back(mrOk);
  Run("actALLeft");
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("one band"), std::string::npos) << prompts[0];
  EXPECT_NE(prompts[0].find("\"ColumnHeaderBand1\", \"DetailBand1\""), std::string::npos) << prompts[0];
  EXPECT_EQ(heading->Left(), 40);
  EXPECT_EQ(doc->ZQKDesigner1->SelectedComponents().Count(), 2);
  EXPECT_FALSE(doc->CanUndo());
  // Within one band it aligns as before.
  TQRLabel* other = AddLabel(doc, doc->Report->FindBand(rbColumnHeader), "Other", 16, 24);
  Select(doc, {heading, other});
  Run("actALLeft");
  EXPECT_EQ(heading->Left(), 16);
  EXPECT_EQ(prompts.size(), 1u);
  EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(EditingCommands, TwoHundredRandomEditsOfAReportUndoToItsFirstBytes) {
  TfrmDoc* doc = New();
  for (int i = 0; i < 8; ++i)
    AddLabel(doc, doc->Report->FindBand(i % 2 ? rbTitle : rbDetail), "L" + std::to_string(i), 12 * i, 3 * i);
  const std::string first = ReportBytes(doc);
  TZQKDesigner* designer = doc->ZQKDesigner1;
  std::mt19937 random(4711);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto labels = [&] {
    std::vector<TComponent*> list;
    for (TComponent* c : doc->Report->OwnedComponents())
      if (dynamic_cast<TQRLabel*>(c)) list.push_back(c);
    return list;
  };
  const uint16_t arrows[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN};
  for (int edit = 0; edit < 200; ++edit) {
    std::vector<TComponent*> all = labels(), chosen;
    for (TComponent* c : all)
      if (pick(3) == 0) chosen.push_back(c);
    if (chosen.empty()) chosen.push_back(all[static_cast<size_t>(pick(int(all.size())))]);
    Select(doc, chosen);
    switch (pick(9)) {
      case 0: designer->DesignKeyDown(arrows[pick(4)], {ssCtrl}); break;
      case 1: designer->DesignKeyDown(arrows[pick(4)], {ssShift}); break;
      case 2:
        // Elements of two bands are refused with a message.
        answers.assign(1, mrOk);
        doc->AlignSelection(pick(6), pick(6));
        answers.clear();
        break;
      case 3: doc->AlignSelectionToGrid(); break;
      case 4: pick(2) ? doc->BringSelectionToFront() : doc->SendSelectionToBack(); break;
      case 5:
        if (all.size() > 4) doc->DeleteSelection();
        break;
      case 6:
        doc->CopySelection();
        doc->PasteSelection();
        break;
      case 7: {
        auto* label = dynamic_cast<TQRLabel*>(chosen.back());
        doc->ChangeElements("Typing", {label}, [&] { label->SetCaption(label->Caption() + char('a' + pick(26))); },
                            mkTyping);
        break;
      }
      default: doc->ToggleEnabled(); break;
    }
  }
  EXPECT_TRUE(errors.empty()) << errors.front();
  const std::string last = ReportBytes(doc);
  ASSERT_NE(first, last);
  while (doc->CanUndo()) doc->Undo();
  EXPECT_EQ(ReportBytes(doc), first);
  while (doc->CanRedo()) doc->Redo();
  EXPECT_EQ(ReportBytes(doc), last);
}

// The commands that change the report itself or its data are steps of the same history
// as element edits: one random sequence of both undoes to the file's first bytes.
TEST_F(EditingCommands, RandomPageDataAndElementEditsUndoToTheFirstBytesAndRedoToTheLast) {
  std::filesystem::create_directories(Path("data"));
  ::setenv("RPT_DATA_DIR", Path("data").c_str(), 1);
  test::RunSqlite(Path("data/shop.db"),
                  "CREATE TABLE orders(order_id INTEGER PRIMARY KEY, customer TEXT);"
                  "CREATE TABLE lines(id INTEGER PRIMARY KEY, order_id INTEGER, product TEXT);"
                  "INSERT INTO orders VALUES (1,'Ann'),(2,'Bob');"
                  "INSERT INTO lines VALUES (1,1,'bolt'),(2,2,'gear');");
  auto query = [](const std::string& sql) {
    auto* q = TComponent::Create<TQuery>(nullptr);
    q->SetDatabaseName("shop");
    TStringList lines;
    lines.Add(sql);
    q->SetSQL(&lines);
    q->Open();  // as the data dialog leaves it
    return q;
  };
  std::mt19937 random(1913);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  frmMain->DataDialog = [&](TfrmDoc* d) {
    d->AssignDataSet(query("select * from orders where order_id <= " + std::to_string(pick(5))));
    return true;
  };
  frmMain->DetailDataDialog = [&](TfrmDoc*) -> TDataSet* {
    return query("select * from lines where order_id = :order_id and id > " + std::to_string(pick(5)));
  };

  TfrmDoc* doc = New();
  ASSERT_EQ(frmProps->Document(), doc);
  doc->Report->Page()->SetPaperSize(TQRPaperSize::A4);
  auto* sub = TComponent::Create<TQRSubDetail>(doc->Report);
  sub->SetName("LinesBand");
  sub->SetParent(doc->Report);
  for (int i = 0; i < 4; ++i)
    AddLabel(doc, doc->Report->FindBand(i % 2 ? rbTitle : rbDetail), "L" + std::to_string(i), 12 * i, 3 * i);
  const std::string first = FileBytes(doc);
  TZQKDesigner* designer = doc->ZQKDesigner1;
  const uint16_t arrows[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN};
  for (int edit = 0; edit < 60; ++edit) {
    std::vector<TComponent*> labels;
    for (TComponent* c : doc->Report->OwnedComponents())
      if (dynamic_cast<TQRLabel*>(c)) labels.push_back(c);
    auto* label = static_cast<TQRLabel*>(labels[static_cast<size_t>(pick(int(labels.size())))]);
    const size_t steps = designer->History().Index();
    std::string caption;
    switch (pick(8)) {
      case 0:
        Select(doc, {label});
        designer->DesignKeyDown(arrows[pick(4)], {ssCtrl});
        break;
      case 1:
        doc->ChangeElements("Typing", {label}, [&] { label->SetCaption(label->Caption() + char('a' + pick(26))); },
                            mkTyping);
        break;
      case 2: {
        // The page dialog as the user fills it: a margin and an orientation, then Ok.
        const QString margin = QString::number(5 + pick(20));
        const int orientation = pick(2);
        QTimer::singleShot(0, [&] {
          auto* dialog = static_cast<TdlgReportProps*>(dlgReportProps);
          dialog->findChild<QLineEdit*>("Edit3")->setText(margin);
          dialog->findChild<QComboBox*>("ComboBox2")->setCurrentIndex(orientation);
          dialog->findChild<QPushButton*>("Button1")->click();
        });
        Run("actRepProps");
        caption = "Page Settings";
        break;
      }
      case 3:
        Run("actChangeData");
        caption = "Change Data";
        break;
      case 4:
        Select(doc, {doc->Report->FindComponent("LinesBand")});
        Run("actDetailData");
        caption = "Detail Data";
        break;
      case 5:
        // The properties window's way of writing the report's own properties.
        frmProps->PropInsp->OnWrite("Change ReportTitle", {doc->Report}, [&] {
          doc->Report->SetReportTitle("Title " + std::to_string(pick(100)));
        });
        caption = "Change ReportTitle";
        break;
      case 6:
        Select(doc, {label});
        doc->CopySelection();
        doc->PasteSelection();
        break;
      default:
        doc->Undo();
        break;
    }
    if (!caption.empty() && designer->History().Index() > steps) {
      EXPECT_EQ(doc->UndoCaption(), "Undo " + caption);
    }
  }
  EXPECT_TRUE(errors.empty()) << errors.front();
  const std::string last = FileBytes(doc);
  ASSERT_NE(first, last);
  EXPECT_GT(designer->History().Count(), 20u);
  while (doc->CanUndo()) doc->Undo();
  EXPECT_EQ(FileBytes(doc), first);
  while (doc->CanRedo()) doc->Redo();
  EXPECT_EQ(FileBytes(doc), last);
  EXPECT_TRUE(errors.empty()) << errors.front();
}

}  // namespace
}  // namespace rpt
