// The properties window on real documents: it follows the active document's selection,
// its edits are undoable steps of that document, its rows never outlive the components
// they read, and keys typed into its editor stay there.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QTest>
#include <algorithm>
#include <set>

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "app/frmPropsUnit.h"
#include "data/DBTables.h"
#include "designer/Engine.h"
#include "framework/Application.h"
#include "framework/Peer.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

struct PropertiesWindow : test::ShellTest {
  void SetUp() override {
    ShellTest::SetUp();
    frmProps->show();
    QApplication::setActiveWindow(frmMain);
  }
  TZQKPropertyInspector* Insp() { return frmProps->PropInsp; }
  TZQKObjectComboBox* Selector() { return frmProps->ZQKObjectComboBox1; }
  template <class T>
  static T* Add(TfrmDoc* doc, const std::string& name, int32_t left, int32_t top) {
    auto* c = TComponent::Create<T>(doc->Report);
    c->SetName(name);
    c->SetParent(doc->Report->FindBand(rbTitle));
    c->SetBounds(left, top, 60, 17);
    return c;
  }
  static void Select(TfrmDoc* doc, const std::vector<TComponent*>& list) {
    doc->ZQKDesigner1->SelectedComponents().Clear();
    doc->ZQKDesigner1->Select(list);
  }
  TZQKPropertyInspectorItem* Row(const std::string& caption) { return Insp()->PropItems().FindItem(caption); }
  std::string Value(TZQKPropertyInspectorItem* item) { return item->Row()->GetValueText(); }
  QLineEdit* Editor() { return Insp()->InplaceEditor()->Edit(); }
  void Type(TZQKPropertyInspectorItem* item, const std::string& text) {
    item->Activate();
    Editor()->setFocus();
    Editor()->selectAll();
    QTest::keyClicks(Editor(), QString::fromStdString(text));
    QTest::keyClick(Editor(), Qt::Key_Return);
  }
  // Every row of the inspector, sub-rows too.
  std::vector<TZQKPropertyInspectorPageItem*> AllRows() {
    std::vector<TZQKPropertyInspectorPageItem*> rows, pending;
    for (int i = 0; i < Insp()->Items().Count(); ++i) pending.push_back(Insp()->Row(i));
    while (!pending.empty()) {
      rows.push_back(pending.back());
      pending.pop_back();
      for (int i = 0; i < rows.back()->Count(); ++i) pending.push_back(rows.back()->Child(i));
    }
    return rows;
  }
  // No row reads through a component that went: every component a row reads through
  // is one the document still has (a freed one's address may be taken by a new one,
  // so comparing with it proves nothing).
  void ExpectRowsReadLiveComponents(TfrmDoc* doc) {
    std::set<const TComponent*> live{doc->Report, doc->DataSet};
    for (TComponent* c : doc->Report->OwnedComponents()) live.insert(c);
    for (TComponent* c : doc->OwnedComponents()) live.insert(c);
    for (TZQKPropertyInspectorPageItem* row : AllRows()) {
      EXPECT_FALSE(row->Editor()->Stale()) << row->Caption();
      for (TComponent* c : row->Editor()->ReferencedComponents()) EXPECT_TRUE(live.count(c)) << row->Caption();
    }
    for (TPersistent* p : Insp()->InspectedObjects().List()) EXPECT_TRUE(live.count(dynamic_cast<TComponent*>(p)));
  }
};

TEST_F(PropertiesWindow, FollowsTheSelectionWithTheSelectorsTexts) {
  TfrmDoc* doc = New();
  EXPECT_EQ(frmProps->Document(), doc);
  auto* label = Add<TQRLabel>(doc, "Label1", 8, 4);
  auto* memo = Add<TQRMemo>(doc, "Memo1", 80, 4);
  auto* field = Add<TQRDBText>(doc, "DBText1", 160, 4);
  EXPECT_TRUE(Selector()->OfferedObjects().Contains(label)) << "an inserted element is offered at once";
  QCoreApplication::processEvents();
  EXPECT_FALSE(Selector()->OfferedObjects().Contains(doc->Report)) << "the report itself is not offered";
  EXPECT_EQ(Selector()->OfferedObjects().Count(), static_cast<int>(doc->Report->OwnedComponents().size()));

  Select(doc, {label});
  EXPECT_EQ(Selector()->DisplayText(), "Label1 TQRLabel");
  EXPECT_EQ(Insp()->InspectedObjects().Count(), 1);
  ASSERT_NE(Row("Caption"), nullptr);
  EXPECT_EQ(Value(Row("Name")), "Label1");
  Select(doc, {label, memo, field});
  EXPECT_EQ(Selector()->DisplayText(), "3 item(s) selected");
  EXPECT_EQ(Row("Caption"), nullptr);
  EXPECT_NE(Row("Font"), nullptr);
  Select(doc, {});
  EXPECT_EQ(Selector()->DisplayText(), "No items selected");

  // Choosing in the selector selects on the design surface.
  Selector()->SelectedObjects().SetFromList({memo});
  frmProps->ZQKObjectComboBox1Click();
  ASSERT_EQ(doc->ZQKDesigner1->SelectedComponents().Count(), 1);
  EXPECT_EQ(doc->ZQKDesigner1->SelectedComponents().Items(0), memo);
  EXPECT_EQ(Value(Row("Name")), "Memo1");

  // Deleting drops it from both lists.
  Idle();
  frmMain->Action("actDelete")->trigger();
  EXPECT_FALSE(Selector()->OfferedObjects().Contains(memo));
  EXPECT_EQ(Selector()->SelectedObjects().Count(), 0);
}

TEST_F(PropertiesWindow, EditsAreNamedUndoableStepsThatMarkTheDocument) {
  TfrmDoc* doc = New();
  auto* a = Add<TQRLabel>(doc, "A", 8, 4);
  auto* b = Add<TQRLabel>(doc, "B", 80, 4);
  auto* c = Add<TQRMemo>(doc, "C", 160, 4);
  a->SetCaption("first");
  doc->Modified = false;
  Select(doc, {a});
  Type(Row("Caption"), "changed");
  EXPECT_EQ(a->Caption(), "changed");
  EXPECT_TRUE(doc->Modified);
  Idle();
  EXPECT_EQ(frmMain->Action("actUndo")->text(), "Undo Change Caption");
  frmMain->Action("actUndo")->trigger();
  EXPECT_EQ(a->Caption(), "first");
  EXPECT_FALSE(doc->Modified) << "undone back to the clean point";
  QCoreApplication::processEvents();
  ASSERT_NE(Row("Caption"), nullptr);
  EXPECT_EQ(Value(Row("Caption")), "first");

  // The common font size of three elements at once is one step.
  Select(doc, {a, b, c});
  auto* font = Row("Font");
  ASSERT_NE(font, nullptr);
  font->Expand();
  Type(font->FindItem("Size"), "16");
  for (TComponent* e : {static_cast<TComponent*>(a), static_cast<TComponent*>(b), static_cast<TComponent*>(c)})
    EXPECT_EQ(static_cast<TQRCustomLabel*>(e)->Font()->Size(), 16);
  Idle();
  EXPECT_EQ(frmMain->Action("actUndo")->text(), "Undo Change Font.Size");
  // While a pass walks the report nothing is written.
  doc->Printing = true;
  Type(font->FindItem("Size"), "20");
  doc->Printing = false;
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("is being printed or previewed"), std::string::npos);
  EXPECT_EQ(a->Font()->Size(), 16);
  EXPECT_EQ(Value(font->FindItem("Size")), "16");
  errors.clear();
  Idle();
  frmMain->Action("actUndo")->trigger();
  QCoreApplication::processEvents();
  // Undo made the elements anew: the rows are made again over them.
  for (TComponent* e : doc->Report->OwnedComponents()) {
    if (auto* label = dynamic_cast<TQRCustomLabel*>(e)) {
      EXPECT_NE(label->Font()->Size(), 16) << e->Name();
    }
  }
  for (TPersistent* p : Insp()->InspectedObjects().List()) {
    auto* component = dynamic_cast<TComponent*>(p);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->Owner(), doc->Report);
  }
  EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(PropertiesWindow, NoRowOutlivesTheComponentsItReads) {
  TfrmDoc* doc = New();
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  doc->AssignDataSet(table);
  auto* field = Add<TQRDBText>(doc, "DBText1", 8, 4);
  ASSERT_EQ(field->DataSet(), table);
  Select(doc, {field});
  auto* dataSet = Row("DataSet");
  ASSERT_NE(dataSet, nullptr);
  EXPECT_EQ(Value(dataSet), "Orders");
  dataSet->Expand();
  ASSERT_GT(dataSet->Count(), 0);

  // Change data destroys the old dataset under the expanded rows.
  frmMain->DataDialog = [](TfrmDoc* d) {
    auto* fresh = TComponent::Create<TTable>(nullptr);
    fresh->SetName("Customers");
    d->AssignDataSet(fresh);
    return true;
  };
  Idle();
  frmMain->Action("actChangeData")->trigger();
  QCoreApplication::processEvents();
  ExpectRowsReadLiveComponents(doc);
  ASSERT_NE(Row("DataSet"), nullptr);
  EXPECT_EQ(Value(Row("DataSet")), "Customers");

  // Undo recreates the components it puts back.
  Type(Row("DataField"), "name");
  frmMain->Action("actUndo")->trigger();
  QCoreApplication::processEvents();
  ExpectRowsReadLiveComponents(doc);
  EXPECT_EQ(Insp()->InspectedObjects().Count(), 1);

  // Deleting the inspected element leaves no rows for it.
  TComponent* current = doc->Report->FindComponent("DBText1");
  ASSERT_NE(current, nullptr);
  Select(doc, {current});
  Row("Font")->Expand();
  Idle();
  frmMain->Action("actDelete")->trigger();
  QCoreApplication::processEvents();
  ExpectRowsReadLiveComponents(doc);
  EXPECT_EQ(Insp()->InspectedObjects().Count(), 0);
  EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(PropertiesWindow, TheReportsOwnPropertiesAndItsDataAreUndoneWithTheRowsMadeAgain) {
  TfrmDoc* doc = New();
  Select(doc, {doc->Report});
  Type(Row("ReportTitle"), "Sales");
  EXPECT_EQ(doc->Report->ReportTitle(), "Sales");
  Idle();
  EXPECT_EQ(frmMain->Action("actUndo")->text(), "Undo Change ReportTitle");
  frmMain->Action("actUndo")->trigger();
  QCoreApplication::processEvents();
  // The report was made again: the rows read the new one.
  EXPECT_EQ(doc->Report->ReportTitle(), "");
  EXPECT_FALSE(doc->Modified);
  ExpectRowsReadLiveComponents(doc);
  ASSERT_NE(Row("ReportTitle"), nullptr);
  EXPECT_EQ(Value(Row("ReportTitle")), "");
  Idle();
  frmMain->Action("actRedo")->trigger();
  EXPECT_EQ(doc->Report->ReportTitle(), "Sales");

  // Change data is undone to the dataset the file named, bound to the same fields; one
  // out of reach is said so and stays bound, closed.
  auto table = [](const char* name) {
    auto* t = TComponent::Create<TTable>(nullptr);
    t->SetDatabaseName("nowhere");
    t->SetTableName(name);
    return t;
  };
  doc->AssignDataSet(table("orders"));
  Add<TQRDBText>(doc, "DBText1", 8, 4);
  frmMain->DataDialog = [&](TfrmDoc* d) {
    d->AssignDataSet(table("customers"));
    return true;
  };
  Idle();
  frmMain->Action("actChangeData")->trigger();
  Select(doc, {doc->Report->FindComponent("DBText1")});
  Row("DataSet")->Expand();
  Idle();
  EXPECT_EQ(frmMain->Action("actUndo")->text(), "Undo Change Data");
  answers.push_back(mrOk);
  frmMain->Action("actUndo")->trigger();
  QCoreApplication::processEvents();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("cannot be opened"), std::string::npos) << prompts[0];
  auto* bound = dynamic_cast<TTable*>(doc->DataSet);
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(bound->TableName(), "orders");
  EXPECT_EQ(static_cast<TQRDBText*>(doc->Report->FindComponent("DBText1"))->DataSet(), bound);
  ExpectRowsReadLiveComponents(doc);
  EXPECT_TRUE(errors.empty()) << errors.front();
}

TEST_F(PropertiesWindow, TextKeysGoToTheInspectorsEditorNotToTheSelectedElements) {
  TfrmDoc* doc = New();
  auto* label = Add<TQRLabel>(doc, "Label1", 8, 4);
  label->SetCaption("abc");
  Select(doc, {label});
  frmProps->activateWindow();
  QApplication::setActiveWindow(frmProps);
  Row("Caption")->Activate();
  Editor()->setFocus();
  ASSERT_TRUE(Editor()->hasFocus());
  Idle();
  ASSERT_TRUE(frmMain->Action("actDelete")->isEnabled());

  Editor()->setCursorPosition(0);
  QTest::keyClick(Editor(), Qt::Key_Delete);
  EXPECT_EQ(Editor()->text(), "bc") << "Delete removed a character";
  EXPECT_EQ(doc->Report->FindComponent("Label1"), label) << "the label is still there";
  QTest::keyClick(Editor(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Editor()->selectedText(), "bc");
  EXPECT_EQ(doc->ZQKDesigner1->SelectedComponents().Count(), 1) << "not the report's Select all";
  QTest::keyClick(Editor(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "bc");
  QTest::keyClick(Editor(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(Editor()->text(), "");
  QTest::keyClick(Editor(), Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(Editor(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Editor()->text(), "bcbc");
  QTest::keyClick(Editor(), Qt::Key_Return);
  EXPECT_EQ(label->Caption(), "bcbc");

  // On the design surface Delete is the command again.
  QWidget* surface = PeerWidget(doc->Report);
  ASSERT_NE(surface, nullptr);
  surface->activateWindow();
  surface->setFocus();
  Idle();
  QTest::keyClick(surface, Qt::Key_Delete);
  EXPECT_EQ(doc->Report->FindComponent("Label1"), nullptr);
}

TEST_F(PropertiesWindow, ReferenceRowsOfferTheReportsComponentsAndTakeTypedNames) {
  TfrmDoc* doc = New();
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName("Orders");
  doc->AssignDataSet(table);
  auto* group = TComponent::Create<TQRGroup>(doc->Report);
  group->SetName("ByCustomer");
  group->SetParent(doc->Report);
  auto band = [&](const std::string& name, TQRBandType type) {
    auto* b = TComponent::Create<TQRBand>(doc->Report);
    b->SetName(name);
    b->SetParent(doc->Report);
    b->SetBandType(type);
    return b;
  };
  TQRBand* footer = band("CustomerFooter", rbGroupFooter);
  band("Totals", rbSummary);
  auto* field = Add<TQRDBText>(doc, "DBText1", 8, 4);

  Select(doc, {group});
  auto* footerRow = Row("FooterBand");
  ASSERT_NE(footerRow, nullptr);
  std::vector<std::string> offered;
  footerRow->Row()->GetValues(offered);
  EXPECT_EQ(offered, (std::vector<std::string>{"ColumnHeaderBand1", "CustomerFooter", "DetailBand1", "PageFooterBand1",
                                               "TitleBand1", "Totals"}))
      << "the report's bands, sorted; no blank entry";
  Type(footerRow, "customerfooter");
  EXPECT_EQ(group->FooterBand(), footer);
  EXPECT_EQ(Value(footerRow), "CustomerFooter");
  Idle();
  EXPECT_EQ(frmMain->Action("actUndo")->text(), "Undo Change FooterBand");
  // The group follows the report, named as a stored reference names it.
  EXPECT_EQ(Value(Row("Master")), "Owner");
  Type(Row("Master"), "Owner");
  EXPECT_EQ(group->Master(), doc->Report);
  // Only what can be a master is offered and taken: the report and the bands that walk data.
  auto* lines = TComponent::Create<TQRSubDetail>(doc->Report);
  lines->SetName("Lines");
  lines->SetParent(doc->Report);
  std::vector<std::string> masters;
  Row("Master")->Row()->GetValues(masters);
  EXPECT_EQ(masters, (std::vector<std::string>{"Lines", "Owner"}));
  Type(Row("Master"), "Lines");
  EXPECT_EQ(group->Master(), lines);
  EXPECT_TRUE(errors.empty()) << errors.front();
  Type(Row("Master"), "TitleBand1");
  EXPECT_EQ(errors, std::vector<std::string>{"Invalid property value"});
  EXPECT_EQ(group->Master(), lines);
  errors.clear();

  // A data field is offered the window's dataset.
  Select(doc, {field});
  std::vector<std::string> dataSets;
  Row("DataSet")->Row()->GetValues(dataSets);
  EXPECT_EQ(dataSets, std::vector<std::string>{"Orders"});
  // The data wizard's dataset has no name: the report's row shows it under a caption.
  table->SetName("");
  Select(doc, {doc->Report});
  EXPECT_EQ(Value(Row("DataSet")), "(report data)");
  Row("DataSet")->Row()->GetValues(dataSets);
  EXPECT_EQ(dataSets, std::vector<std::string>{"(report data)"});
  Type(Row("DataSet"), "(report data)");
  EXPECT_EQ(doc->Report->DataSet(), table);
  EXPECT_TRUE(errors.empty()) << errors.front();

  // A name of no component, or of one of another class, is refused and changes nothing.
  Select(doc, {group});
  Type(Row("FooterBand"), "ByCustomer");
  Type(Row("FooterBand"), "Nothing");
  EXPECT_EQ(errors, (std::vector<std::string>{"Invalid property value", "Invalid property value"}));
  EXPECT_EQ(group->FooterBand(), footer);
  EXPECT_EQ(Value(Row("FooterBand")), "CustomerFooter");
}

TEST_F(PropertiesWindow, ARefusedValueIsReportedOnceAndFloatsShowAsTyped) {
  TfrmDoc* doc = New();
  auto* label = Add<TQRLabel>(doc, "Label1", 8, 4);
  Select(doc, {label});
  frmProps->activateWindow();
  QApplication::setActiveWindow(frmProps);
  // As the message box does: reporting the error takes the focus from the editor.
  TApplication::Instance()->SetErrorHook([this](const std::string& m) {
    errors.push_back(m);
    Editor()->clearFocus();
  });
  auto* size = Row("Size");
  ASSERT_NE(size, nullptr);
  size->Expand();
  const std::vector<std::pair<const char*, const char*>> refused = {
      {"Tag", "abc"}, {"Tag", "12.5"}, {"Top", "2,7"}};
  for (const auto& [caption, text] : refused) {
    errors.clear();
    auto* row = std::string(caption) == "Top" ? size->FindItem("Top") : Row(caption);
    ASSERT_NE(row, nullptr) << caption;
    const std::string before = Value(row);
    row->Activate();
    Editor()->setFocus();
    ASSERT_TRUE(Editor()->hasFocus());
    Editor()->selectAll();
    QTest::keyClicks(Editor(), text);
    QTest::keyClick(Editor(), Qt::Key_Return);
    EXPECT_EQ(errors.size(), 1u) << caption << " " << text;
    EXPECT_EQ(Value(row), before) << caption;
  }
  // Shown as typed: the shortest text of the value, not the binary noise of its last digits.
  Type(size->FindItem("Top"), "2.7");
  EXPECT_EQ(Value(size->FindItem("Top")), "2.7");
  Type(size->FindItem("Width"), "33.333333333333336");
  EXPECT_EQ(Value(size->FindItem("Width")), "33.3333333333333");
}

TEST_F(PropertiesWindow, ActivatingTheSecondDocumentOffersItsElementsOnly) {
  TfrmDoc* first = New();
  auto* a = Add<TQRLabel>(first, "InFirst", 8, 4);
  Select(first, {a});
  TfrmDoc* second = New();
  auto* b = Add<TQRLabel>(second, "InSecond", 8, 4);
  QCoreApplication::processEvents();
  EXPECT_EQ(frmProps->Document(), second);
  EXPECT_TRUE(Selector()->OfferedObjects().Contains(b));
  EXPECT_FALSE(Selector()->OfferedObjects().Contains(a));
  // The first document's selection no longer reaches the inspector.
  const std::vector<TPersistent*> shown = Insp()->InspectedObjects().List();
  first->PushSelection();
  EXPECT_EQ(Insp()->InspectedObjects().List(), shown);
  for (TPersistent* p : shown) EXPECT_NE(p, a);
  frmMain->MdiArea()->setActiveSubWindow(first->SubWindow);
  EXPECT_EQ(frmProps->Document(), first);
  EXPECT_TRUE(Selector()->OfferedObjects().Contains(a));
  EXPECT_FALSE(Selector()->OfferedObjects().Contains(b));
  ASSERT_EQ(Insp()->InspectedObjects().Count(), 1);
  EXPECT_EQ(Insp()->InspectedObjects().Items(0), a);

  // View > Properties hides and shows the window.
  Idle();
  EXPECT_TRUE(frmMain->Action("actPropsView")->isChecked());
  frmMain->Action("actPropsView")->trigger();
  EXPECT_FALSE(frmProps->isVisible());
  frmMain->Action("actPropsView")->trigger();
  EXPECT_TRUE(frmProps->isVisible());
  // Ctrl+F11 shows it and takes the keyboard there.
  frmMain->Action("actPropsView")->trigger();
  frmMain->findChild<QAction*>("GoToProperties1")->trigger();
  EXPECT_TRUE(frmProps->isVisible());
  EXPECT_TRUE(QTest::qWaitForWindowActive(frmProps, 2000));
  // A resize keeps the split the user chose.
  frmProps->PropInsp->SetSplitter(130);
  frmProps->resize(frmProps->width() + 40, frmProps->height() + 10);
  EXPECT_EQ(frmProps->PropInsp->Splitter(), 130);

  // With no documents left the selector offers nothing.
  for (TfrmDoc* d : frmMain->Documents()) d->Modified = false;
  frmMain->CloseAllDocuments();
  QCoreApplication::processEvents();
  EXPECT_EQ(frmProps->Document(), nullptr);
  EXPECT_EQ(Selector()->OfferedObjects().Count(), 0);
  EXPECT_EQ(Insp()->InspectedObjects().Count(), 0);
}

}  // namespace
}  // namespace rpt
