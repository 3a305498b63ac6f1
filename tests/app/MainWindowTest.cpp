#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <fstream>

#include "app/Startup.h"
#include "app/WindowPlaces.h"
#include "app/dlgDataUnit.h"
#include "app/dlgFieldsUnit.h"
#include "app/dlgLinesEditorUnit.h"
#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "framework/Application.h"
#include "framework/Peer.h"
#include "objects/ClassBuilder.h"
#include "objects/StringList.h"
#include "output/QRPrinter.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QRPictures.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

// Records the design messages of the document's report.
class TKeyHook : public IDesignerHook {
 public:
  std::vector<TMessage> Keys;
  void NotifyModified() override {}
  void NotifyComponent(TPersistent*, TComponentOperation) override {}
  TCustomForm* HostForm() override { return nullptr; }
  void SetHostForm(TCustomForm*) override {}
  bool GetIsControl() override { return false; }
  void SetIsControl(bool) override {}
  bool FilterDesignMessage(TControl*, TMessage& m) override {
    // Modifier keys arrive on their own as well; only the others count here.
    if (m.Msg == WM_KEYDOWN && m.CharCode != VK_SHIFT && m.CharCode != VK_CONTROL) Keys.push_back(m);
    return false;
  }
  void PaintDesignGrid() override {}
  void CheckRename(TComponent*, const std::string&, const std::string&) override {}
  std::string MakeUniqueName(const std::string& base) override { return base; }
  TComponent* RootComponent() override { return nullptr; }
};

struct Shell : test::ShellTest {
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<std::string> proposed;

  void SetUp() override {
    ShellTest::SetUp();
    frmMain->SaveDialog = [this](const std::string& p) -> std::optional<std::string> {
      proposed.push_back(p);
      if (saveAnswers.empty()) return std::nullopt;
      auto a = saveAnswers.front();
      saveAnswers.pop_front();
      return a;
    };
  }
  std::vector<std::string> Enabled() {
    Idle();
    std::vector<std::string> names;
    for (TAction* a : frmMain->ActionList()->Actions())
      if (a->isEnabled()) names.push_back(a->Name());
    return names;
  }
};

using Names = std::vector<std::string>;
const Names kAlwaysOn = {"actNew", "actOpen", "actPropsView"};

TEST_F(Shell, EveryActionOfTheTableExistsWithItsProperties) {
  // The table's 41, Detail data, which makes a sub-detail's dataset, Parameters, Undo and Redo.
  EXPECT_EQ(frmMain->ActionList()->Actions().size(), 45u);
  EXPECT_EQ(frmMain->Action("actDetailData")->Category(), "Report");
  TAction* a = frmMain->Action("actChangeData");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->objectName(), "actChangeData");
  EXPECT_EQ(a->Category(), "Report");
  EXPECT_EQ(a->text(), "&Change data...");
  EXPECT_EQ(a->shortcut(), QKeySequence("Ctrl+F10"));
  EXPECT_EQ(a->ImageIndex(), 18);
  EXPECT_EQ(frmMain->Action("actDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(frmMain->Action("actALVCenterWindow")->Tag(), 9);
  EXPECT_EQ(frmMain->Action("WindowCascade1")->toolTip(), "Cascade");
  // Every image the actions use was drawn and compiled in.
  for (TAction* act : frmMain->ActionList()->Actions()) {
    if (act->ImageIndex() >= 0) {
      EXPECT_FALSE(act->icon().isNull()) << act->Name();
    }
  }
  ASSERT_EQ(frmMain->PaletteButtonCount(), 16);
  for (int i = 0; i < frmMain->PaletteButtonCount(); ++i) EXPECT_FALSE(frmMain->PaletteButton(i)->icon().isNull()) << i;
  // Menus in order.
  QStringList menus;
  for (QAction* m : frmMain->menuBar()->actions()) menus << m->text();
  EXPECT_EQ(menus, QStringList({"&File", "Edit", "&View", "&Insert", "&Report", "&Window"}));
}

TEST_F(Shell, AlignTagsMapToTheSelectionsAlignCodes) {
  EXPECT_EQ(AlignCodesForTag(0).Horizontal, 1);
  EXPECT_EQ(AlignCodesForTag(3).Vertical, 2);
  EXPECT_EQ(AlignCodesForTag(3).Horizontal, 0);
  EXPECT_EQ(AlignCodesForTag(8).Horizontal, 5);
  EXPECT_EQ(AlignCodesForTag(9).Vertical, 5);
  EXPECT_EQ(AlignCodesForTag(42).Horizontal, 0);
  EXPECT_EQ(AlignCodesForTag(42).Vertical, 0);
}

TEST_F(Shell, EnabledStateOfEveryActionWithNoneOneUnsavedAndOneSavedModifiedDocument) {
  // The window actions start disabled, before any idle moment.
  EXPECT_FALSE(frmMain->Action("WindowCascade1")->isEnabled());
  EXPECT_EQ(Enabled(), kAlwaysOn);
  // The palette and the zoom box are never disabled.
  EXPECT_TRUE(frmMain->PaletteButton(3)->isEnabled());
  EXPECT_TRUE(frmMain->ComboBox1()->isEnabled());

  TfrmDoc* doc = New();
  ASSERT_NE(doc, nullptr);
  const std::string caption = doc->Caption();
  Names withDoc = Enabled();
  auto on = [&](const char* n) { return std::find(withDoc.begin(), withDoc.end(), n) != withDoc.end(); };
  // Never saved: Save and the tool bar's save both run Save as.
  EXPECT_TRUE(on("actSave"));
  EXPECT_TRUE(on("actSaveSaveAll"));
  EXPECT_TRUE(on("actSaveAs"));
  for (const char* n : {"actClose", "actCloseAll", "actDelete", "actLock", "actUnlock", "actUnlockAll",
                        "actSelectAll", "actAlignToGrid", "actBringToFront", "actSendToBack", "actEnableAll",
                        "actChangeData", "actPreview", "actPrint", "actRepProps", "actZoom100", "actALLeft",
                        "actALVCenterWindow", "WindowCascade1", "WindowTileHorizontal1", "WindowTileVertical1",
                        "WindowMinimizeAll1", "WindowArrange1"})
    EXPECT_TRUE(on(n)) << n;
  // Nothing selected: Enabled is off; nothing to copy or paste.
  for (const char* n : {"actEnabled", "actCopy", "actCut", "actPaste"}) EXPECT_FALSE(on(n)) << n;
  doc->MarkModified();
  withDoc = Enabled();
  EXPECT_TRUE(on("actSave"));

  // Saved, then modified.
  saveAnswers.push_back(Path("one.rpt"));
  frmMain->Action("actSave")->trigger();
  EXPECT_EQ(proposed.back(), caption);  // never saved: it ran Save as
  EXPECT_EQ(doc->Caption(), "one.rpt");
  EXPECT_EQ(doc->FileName, Path("one.rpt"));
  withDoc = Enabled();
  EXPECT_FALSE(on("actSave"));
  EXPECT_FALSE(on("actSaveSaveAll"));
  doc->MarkModified();
  withDoc = Enabled();
  EXPECT_TRUE(on("actSave"));
  EXPECT_TRUE(on("actSaveSaveAll"));
  frmMain->Action("actSave")->trigger();
  EXPECT_FALSE(doc->Modified);

  // The update rules run by themselves when the event loop goes idle.
  doc->Modified = false;
  doc->Close();
  QCoreApplication::processEvents();
  QTimer::singleShot(30, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  EXPECT_FALSE(frmMain->Action("actClose")->isEnabled());
  EXPECT_FALSE(frmMain->Action("WindowCascade1")->isEnabled());
}

TEST_F(Shell, SaveAsProposesTheCaptionAndTakesTheFileName) {
  TfrmDoc* doc = New();
  const std::string caption = doc->Caption();
  EXPECT_EQ(caption.rfind("Document", 0), 0u);
  saveAnswers.push_back(std::nullopt);
  EXPECT_FALSE(frmMain->SaveDocumentAs(doc));
  EXPECT_EQ(proposed.back(), caption);
  EXPECT_EQ(doc->Caption(), caption);
  saveAnswers.push_back(Path("named.rpt"));
  EXPECT_TRUE(frmMain->SaveDocumentAs(doc));
  EXPECT_EQ(doc->Caption(), "named.rpt");
  EXPECT_EQ(frmMain->ActiveDocument()->SubWindow->windowTitle(), "named.rpt");
  // A saved document proposes its full file name.
  saveAnswers.push_back(std::nullopt);
  frmMain->SaveDocumentAs(doc);
  EXPECT_EQ(proposed.back(), Path("named.rpt"));
}

TEST_F(Shell, DocumentsAreNumberedAndOpenedFilesUseNoNumber) {
  TfrmDoc* first = New();
  const int n = TfrmDoc::Counter() - 1;
  EXPECT_EQ(first->Caption(), "Document" + std::to_string(n));
  first->Report->SetZoom(150);
  saveAnswers.push_back(Path("kept.rpt"));
  ASSERT_TRUE(frmMain->SaveDocumentAs(first));

  // A good open uses no number.
  frmMain->OpenDialog = [this] { return std::optional<std::string>(Path("kept.rpt")); };
  frmMain->Action("actOpen")->trigger();
  TfrmDoc* opened = frmMain->ActiveDocument();
  ASSERT_NE(opened, first);
  EXPECT_EQ(opened->Caption(), "kept.rpt");
  EXPECT_EQ(opened->Report->Zoom(), 150);
  EXPECT_FALSE(opened->Modified);
  EXPECT_EQ(New()->Caption(), "Document" + std::to_string(n + 1));

  // A failed open uses one: the next new document skips it. No window stays behind.
  std::ofstream(Path("bad.rpt")) << "this is no report";
  frmMain->OpenDialog = [this] { return std::optional<std::string>(Path("bad.rpt")); };
  const size_t before = frmMain->Documents().size();
  EXPECT_THROW(frmMain->Action("actOpen")->trigger(), Exception);
  EXPECT_EQ(frmMain->Documents().size(), before);
  EXPECT_EQ(New()->Caption(), "Document" + std::to_string(n + 3));
}

TEST_F(Shell, NewWithACancelledDataDialogLeavesNoWindow) {
  frmMain->DataDialog = [](TfrmDoc*) { return false; };
  frmMain->Action("actNew")->trigger();
  QCoreApplication::processEvents();
  EXPECT_TRUE(frmMain->Documents().empty());
  EXPECT_EQ(frmMain->ActiveDocument(), nullptr);
  // With documents open, the one active before New is active again.
  frmMain->DataDialog = nullptr;
  New();
  TfrmDoc* second = New();
  frmMain->MdiArea()->setActiveSubWindow(second->SubWindow);
  frmMain->DataDialog = [](TfrmDoc*) { return false; };
  frmMain->Action("actNew")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(frmMain->Documents().size(), 2u);
  EXPECT_EQ(frmMain->ActiveDocument(), second);
}

TEST_F(Shell, ClosingADocumentAsksOnlyWhenModifiedAndHonoursTheThreeAnswers) {
  TfrmDoc* clean = New();
  clean->Close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(prompts.empty());
  EXPECT_TRUE(frmMain->Documents().empty());

  TfrmDoc* doc = New();
  doc->MarkModified();
  answers = {mrCancel};
  EXPECT_FALSE(doc->Close());
  EXPECT_EQ(prompts.back(), "Save document \"" + doc->Caption() + "\"?");
  EXPECT_FALSE(TfrmDoc::LastCloseAccepted);
  // Yes on a never-saved document runs Save as; cancelling that keeps the window.
  answers = {mrYes};
  saveAnswers.push_back(std::nullopt);
  EXPECT_FALSE(doc->Close());
  ASSERT_EQ(frmMain->Documents().size(), 1u);
  // A save that fails inside the prompt propagates; the window stays, still modified.
  answers = {mrYes};
  saveAnswers.push_back(Path("missing/dir/x.rpt"));
  EXPECT_THROW(doc->Close(), Exception);
  EXPECT_TRUE(doc->Modified);
  EXPECT_EQ(frmMain->Documents().size(), 1u);
  // Yes with a good name saves and closes.
  answers = {mrYes};
  saveAnswers.push_back(Path("closed.rpt"));
  EXPECT_TRUE(doc->Close());
  QCoreApplication::processEvents();
  EXPECT_TRUE(frmMain->Documents().empty());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("closed.rpt"))));
}

TEST_F(Shell, ClosingTheMainWindowClosesDocumentsUntilOneRefuses) {
  TfrmDoc* first = New();
  TfrmDoc* second = New();
  first->MarkModified();
  second->MarkModified();
  const std::string secondCaption = second->Caption();
  answers = {mrNo, mrCancel};
  EXPECT_FALSE(frmMain->close());
  QCoreApplication::processEvents();
  EXPECT_TRUE(frmMain->isVisible());
  ASSERT_EQ(frmMain->Documents().size(), 1u);
  EXPECT_EQ(frmMain->Documents()[0]->Caption(), secondCaption);
  EXPECT_EQ(prompts.size(), 2u);

  answers = {mrNo};
  EXPECT_TRUE(frmMain->close());
  QCoreApplication::processEvents();
  EXPECT_TRUE(frmMain->Documents().empty());
  EXPECT_FALSE(frmMain->isVisible());
}

TEST_F(Shell, PlainDeleteRunsTheCommandWhileShiftDeleteReachesTheDocument) {
  TfrmDoc* doc = New();
  // The document's designer sees the keys that reach the report.
  TKeyHook hook;
  doc->ZQKDesigner1->OnKeyDown = [&hook](TObject*, uint16_t& key, TShiftState shift) {
    TMessage m(WM_KEYDOWN);
    m.CharCode = key;
    m.Shift = shift;
    hook.FilterDesignMessage(nullptr, m);
  };
  int deletes = 0;
  frmMain->Action("actDelete")->OnExecute = [&](TAction*) { ++deletes; };
  QWidget* surface = PeerWidget(doc->Report);
  ASSERT_NE(surface, nullptr);
  surface->setFocus();
  Idle();

  QTest::keyClick(surface, Qt::Key_Delete);
  EXPECT_EQ(deletes, 1);
  EXPECT_TRUE(hook.Keys.empty());

  QTest::keyClick(surface, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(deletes, 1);
  ASSERT_EQ(hook.Keys.size(), 1u);
  EXPECT_EQ(hook.Keys[0].CharCode, VK_DELETE);
  EXPECT_TRUE(hook.Keys[0].Shift.Contains(ssShift));

  // Ctrl+C is a menu shortcut whose command is disabled: it goes nowhere.
  Idle();
  ASSERT_FALSE(frmMain->Action("actCopy")->isEnabled());
  QTest::keyClick(surface, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(hook.Keys.size(), 1u);
  // A key that is no shortcut reaches the document.
  QTest::keyClick(surface, Qt::Key_Left);
  EXPECT_EQ(hook.Keys.size(), 2u);
  // Tab and Shift+Tab are the designer's (they step through the elements), not the
  // toolkit's focus moves.
  QTest::keyClick(surface, Qt::Key_Tab);
  QTest::keyClick(surface, Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(hook.Keys.size(), 4u);
  EXPECT_EQ(hook.Keys[2].CharCode, VK_TAB);
  EXPECT_TRUE(hook.Keys[3].Shift.Contains(ssShift));
}

TEST_F(Shell, ZoomBoxFollowsTheActiveDocumentAndZoomsIt) {
  QComboBox* box = frmMain->ComboBox1();
  EXPECT_EQ(box->currentIndex(), -1);
  box->setCurrentIndex(2);  // no document: the box clears itself
  EXPECT_EQ(box->currentIndex(), -1);

  TfrmDoc* a = New();
  EXPECT_EQ(box->currentIndex(), 3);  // 100 %
  a->Report->SetBounds(30, 40, a->Report->Width(), a->Report->Height());
  const int width100 = a->Report->Width();
  box->setCurrentIndex(4);
  EXPECT_EQ(a->Report->Zoom(), 150);
  EXPECT_EQ(a->Report->Left(), 0);
  EXPECT_EQ(a->Report->Top(), 0);
  EXPECT_EQ(a->Report->Width(), width100 * 3 / 2);

  TfrmDoc* b = New();
  Idle();
  b->Report->SetZoom(110);
  frmMain->MdiArea()->setActiveSubWindow(a->SubWindow);
  EXPECT_EQ(box->currentIndex(), 4);
  frmMain->MdiArea()->setActiveSubWindow(b->SubWindow);
  EXPECT_EQ(box->currentIndex(), -1);  // 110 is none of the items
  frmMain->Action("actZoom100")->trigger();
  EXPECT_EQ(b->Report->Zoom(), 100);
  EXPECT_EQ(box->currentIndex(), 3);
  // Closing b activates a, whose zoom the box shows again; closing the last clears it.
  b->Close();
  QCoreApplication::processEvents();
  EXPECT_EQ(frmMain->ActiveDocument(), a);
  EXPECT_EQ(box->currentIndex(), 4);
  // A window closed behind the active one leaves the active document's zoom shown.
  TfrmDoc* c = New();
  c->Report->SetZoom(50);
  frmMain->MdiArea()->setActiveSubWindow(a->SubWindow);
  ASSERT_EQ(box->currentIndex(), 4);
  c->Close();
  QCoreApplication::processEvents();
  EXPECT_EQ(frmMain->ActiveDocument(), a);
  EXPECT_EQ(box->currentIndex(), 4);
  a->Close();
  EXPECT_EQ(box->currentIndex(), -1);
}

TEST_F(Shell, PaletteKeepsExactlyOneButtonDown) {
  const TClassDescriptor* cls = &TPanel::StaticClass();
  frmMain->SelectedPaletteClass(cls);
  EXPECT_EQ(cls, &TPanel::StaticClass());  // the pointer leaves the answer alone
  QTest::mouseClick(frmMain->PaletteButton(2), Qt::LeftButton);
  int down = 0;
  for (int i = 0; i < frmMain->PaletteButtonCount(); ++i) down += frmMain->PaletteButton(i)->isChecked();
  EXPECT_EQ(down, 1);
  EXPECT_TRUE(frmMain->PaletteButton(2)->isChecked());
  EXPECT_EQ(frmMain->PaletteButton(2)->objectName(), "SpeedButton2");
  EXPECT_EQ(frmMain->PaletteButton(1)->geometry(), QRect(2, 35, 32, 32));
  frmMain->ResetPalette();
  EXPECT_TRUE(frmMain->PaletteButton(0)->isChecked());
}

TEST_F(Shell, PreviewRestoresThePropertiesWindowAlsoAfterAnError) {
  frmProps->show();
  New();
  bool propsVisibleDuring = true;
  frmMain->PreviewReport = [&](TfrmDoc*) {
    propsVisibleDuring = frmProps->isVisible();
    throw Exception("Cannot open the dataset");
  };
  Idle();
  EXPECT_THROW(frmMain->Action("actPreview")->trigger(), Exception);
  EXPECT_FALSE(propsVisibleDuring);
  EXPECT_TRUE(frmProps->isVisible());
  // Through a shortcut the error reaches the application's handler instead.
  QTest::keyClick(frmMain, Qt::Key_F9);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Cannot open the dataset");
  EXPECT_TRUE(frmProps->isVisible());
}

// Pointer input through the main window, as the window system delivers it: whatever
// is under the pointer (a band over the page) gets it.
void PointerDrag(QWidget* w, QPoint from, QPoint to) {
  QWindow* window = frmMain->windowHandle();
  const QPoint a = w->mapTo(frmMain, from), b = w->mapTo(frmMain, to);
  QTest::mouseMove(window, a);
  QTest::mousePress(window, Qt::LeftButton, {}, a);
  QTest::mouseMove(window, (a + b) / 2);
  QTest::mouseMove(window, b);
  QTest::mouseRelease(window, Qt::LeftButton, {}, b);
  QCoreApplication::processEvents();
}

// A point inside a band, in the coordinates of the page that shows it.
QPoint InBand(const TQRCustomBand* band, QPoint offset) { return QPoint(band->Left(), band->Top()) + offset; }

std::vector<TQRBandType> BandTypes(const TCustomQuickRep* report) {
  std::vector<TQRBandType> types;
  for (const TQRCustomBand* b : report->BandList()) types.push_back(b->BandType());
  return types;
}

TEST_F(Shell, ANewDocumentIsAnUnmodifiedReportWithFourBandsStackedFromTheTopMargin) {
  TfrmDoc* doc = New();
  TNotifyQuickRep* report = doc->Report;
  EXPECT_EQ(report->Name(), "Report");
  EXPECT_EQ(report->Owner(), nullptr);
  EXPECT_TRUE(report->PrintIfEmpty());
  EXPECT_TRUE(static_cast<bool>(report->OnNotify));
  EXPECT_EQ(doc->ZQKDesigner1->DesignControl(), report);

  EXPECT_EQ(BandTypes(report),
            std::vector<TQRBandType>({rbTitle, rbColumnHeader, rbDetail, rbPageFooter}));
  for (int32_t index : {1, 3, 4, 6}) EXPECT_TRUE(report->Bands()->HasBand(index)) << index;
  for (int32_t index : {2, 7}) EXPECT_FALSE(report->Bands()->HasBand(index)) << index;
  // The default 10 mm margins are 38 pixels at 100 %; the bands follow each other
  // without gaps, each as wide as the space between the margins.
  ASSERT_EQ(report->Page()->Units(), MM);
  int32_t top = 38;
  for (const TQRCustomBand* band : report->BandList()) {
    EXPECT_EQ(band->Parent(), report);
    EXPECT_EQ(band->Owner(), report);
    EXPECT_EQ(band->Top(), top) << band->Name();
    EXPECT_EQ(band->Left(), 38) << band->Name();
    EXPECT_EQ(band->Width(), report->Width() - 2 * 38) << band->Name();
    EXPECT_GT(band->Height(), 0);
    top += band->Height();
  }
  EXPECT_EQ(report->BandList()[0]->Name(), "TitleBand1");
  EXPECT_EQ(report->BandList()[3]->BandTypeCaption(), "Page Footer");
  EXPECT_FALSE(doc->Modified);
  EXPECT_EQ(doc->SelectionCount(), 0);
}

TEST_F(Shell, ThePaletteInsertsARealLabelIntoTheBandUnderThePointer) {
  TfrmDoc* doc = New();
  TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
  QWidget* page = PeerWidget(doc->Report);
  ASSERT_NE(page, nullptr);
  QTest::mouseClick(frmMain->PaletteButton(2), Qt::LeftButton);
  PointerDrag(page, InBand(detail, {24, 8}), InBand(detail, {120, 24}));

  auto* label = dynamic_cast<TQRLabel*>(doc->Report->FindComponent("QRLabel1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Parent(), detail);
  EXPECT_EQ(label->ParentReport(), doc->Report);
  EXPECT_EQ(label->Caption(), "QRLabel1");
  // The press lands on the nearest point of the page's 8-pixel grid.
  const QPoint press = InBand(detail, {24, 8});
  EXPECT_EQ(label->Left() + detail->Left(), (press.x() + 4) / 8 * 8);
  EXPECT_EQ(label->Top() + detail->Top(), (press.y() + 4) / 8 * 8);
  ASSERT_EQ(doc->SelectionCount(), 1);
  EXPECT_EQ(doc->SelectedElement(), label);
  EXPECT_TRUE(doc->Modified);
  EXPECT_TRUE(frmMain->PaletteButton(0)->isChecked());
  // The band and the report order stay as they were.
  EXPECT_EQ(doc->Report->BandList().size(), 4u);

  // The system-data button inserts a system value the same way.
  QTest::mouseClick(frmMain->PaletteButton(5), Qt::LeftButton);
  PointerDrag(page, InBand(detail, {200, 8}), InBand(detail, {200, 8}));
  auto* sysData = dynamic_cast<TQRSysData*>(doc->Report->FindComponent("QRSysData1"));
  ASSERT_NE(sysData, nullptr);
  EXPECT_EQ(sysData->Parent(), detail);
  EXPECT_EQ(sysData->Caption(), "(Time)");
  EXPECT_EQ(doc->SelectedElement(), sysData);
}

TEST_F(Shell, TheInsertMenuPutsElementsOnTheSelectedBandAtAFreePlaceAndBandsOnTheReport) {
  TfrmDoc* doc = New();
  TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
  auto insert = [&](const char* cls) {
    auto* item = frmMain->findChild<QAction*>(QString("Insert%1").arg(cls));
    EXPECT_NE(item, nullptr) << cls;
    if (item) item->trigger();
    return dynamic_cast<TControl*>(doc->SelectedElement());
  };
  // Nothing selected: the detail band takes it.
  TControl* first = insert("TQRLabel");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Parent(), detail);
  TControl* second = insert("TQRDBText");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Parent(), detail) << "the band of the selected element";
  const TRect a = first->BoundsRect(), b = second->BoundsRect();
  EXPECT_FALSE(a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom) << "a free place";
  EXPECT_EQ(doc->UndoCaption(), "Undo Insert");
  TControl* group = insert("TQRGroup");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->Parent(), doc->Report);
  EXPECT_TRUE(frmMain->PaletteButton(0)->isChecked());
}

TEST_F(Shell, TheThreeAddedPaletteButtonsInsertAChildBandAGroupAndASubDetailOntoTheReport) {
  TfrmDoc* doc = New();
  QWidget* page = PeerWidget(doc->Report);
  ASSERT_NE(page, nullptr);
  struct TCase {
    int Button;
    const char* ButtonName;
    const char* Name;
    const TClassDescriptor* Class;
    TQRBandType Type;
  };
  const TCase cases[] = {
      {9, "SpeedButton11", "QRChildBand1", &TQRChildBand::StaticClass(), rbChild},
      {10, "SpeedButton12", "QRGroup1", &TQRGroup::StaticClass(), rbGroupHeader},
      {11, "SpeedButton13", "QRSubDetail1", &TQRSubDetail::StaticClass(), rbSubDetail},
  };
  for (const TCase& c : cases) {
    QToolButton* button = frmMain->PaletteButton(c.Button);
    EXPECT_EQ(button->objectName(), c.ButtonName);
    EXPECT_FALSE(button->toolTip().isEmpty());
    EXPECT_EQ(button->geometry(), QRect(2, 3 + 32 * c.Button, 32, 32));
    QTest::mouseClick(button, Qt::LeftButton);
    // Dropped on the detail band, a band goes onto the report beside it.
    TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
    PointerDrag(page, InBand(detail, {16, 8}), InBand(detail, {16, 8}));
    auto* band = dynamic_cast<TQRCustomBand*>(doc->Report->FindComponent(c.Name));
    ASSERT_NE(band, nullptr) << c.Name;
    EXPECT_EQ(&band->ClassType(), c.Class);
    EXPECT_EQ(band->Parent(), doc->Report);
    EXPECT_EQ(band->BandType(), c.Type);
    EXPECT_EQ(doc->SelectedElement(), band);
    EXPECT_TRUE(frmMain->PaletteButton(0)->isChecked());
  }
  EXPECT_EQ(doc->Report->BandList().size(), 7u);
  EXPECT_TRUE(doc->Modified);
}

TEST_F(Shell, PictureAndBarcodeButtonsInsertElementsAndAPictureIsChosenOnInsert) {
  TfrmDoc* doc = New();
  QWidget* page = PeerWidget(doc->Report);
  ASSERT_NE(page, nullptr);
  TQRCustomBand* detail = doc->Report->FindBand(rbDetail);
  QImage picture(30, 20, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(QString::fromStdString(Path("logo.png"))));
  std::deque<std::optional<std::string>> answers = {Path("logo.png"), std::nullopt, Path("missing.png")};
  int asked = 0;
  frmMain->PictureDialog = [&]() -> std::optional<std::string> {
    ++asked;
    auto a = answers.front();
    answers.pop_front();
    return a;
  };
  auto insert = [&](int button, int x) {
    QTest::mouseClick(frmMain->PaletteButton(button), Qt::LeftButton);
    PointerDrag(page, InBand(detail, {x, 4}), InBand(detail, {x + 40, 30}));
    return doc->SelectedElement();
  };
  EXPECT_EQ(frmMain->PaletteButton(12)->toolTip(), "Picture");
  EXPECT_EQ(frmMain->PaletteButton(14)->toolTip(), "Barcode");
  auto* chosen = dynamic_cast<TQRImage*>(insert(12, 10));
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->Picture().Format(), "PNG");
  auto* cancelled = dynamic_cast<TQRImage*>(insert(12, 80));
  ASSERT_NE(cancelled, nullptr);
  EXPECT_TRUE(cancelled->Picture().Empty());
  errors.clear();
  auto* failed = dynamic_cast<TQRImage*>(insert(12, 150));
  ASSERT_NE(failed, nullptr);
  EXPECT_TRUE(failed->Picture().Empty());
  ASSERT_FALSE(errors.empty()) << "a file that cannot be read is reported";
  EXPECT_NE(errors.back().find("missing.png"), std::string::npos) << errors.back();
  errors.clear();
  EXPECT_EQ(asked, 3);
  EXPECT_NE(dynamic_cast<TQRDBImage*>(insert(13, 220)), nullptr);
  EXPECT_NE(dynamic_cast<TQRBarcode*>(insert(14, 300)), nullptr);
  EXPECT_EQ(asked, 3) << "only pictures ask for a file";
  // Double-clicked, a picture element asks again and takes the new picture.
  answers = {Path("logo.png")};
  doc->ZQKDesigner1->Select({cancelled});
  doc->ZQKDesigner1->DoDblClick();
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(cancelled->Picture().Format(), "PNG");
  EXPECT_TRUE(doc->Modified);
}

TEST_F(Shell, PreviewGeneratesTheReportWithoutChangingTheDocument) {
  frmProps->show();
  TfrmDoc* doc = New();
  auto* label = TComponent::Create<TQRLabel>(doc->Report);
  label->SetName("Heading");
  label->SetParent(doc->Report->FindBand(rbTitle));
  doc->Modified = false;
  const std::vector<TQRBandType> before = BandTypes(doc->Report);
  Idle();
  QTest::keyClick(frmMain, Qt::Key_F9);
  // The pages are made on a thread of their own; the document stays as it was.
  for (int i = 0; i < 500 && doc->Report->GenerationRunning(); ++i) QTest::qWait(10);
  EXPECT_FALSE(doc->Report->GenerationRunning());
  EXPECT_TRUE(errors.empty()) << errors.front();
  ASSERT_NE(doc->Report->QRPrinter(), nullptr);
  EXPECT_EQ(doc->Report->QRPrinter()->PageList().TotalPages(), 1);
  EXPECT_EQ(frmMain->ActiveDocument(), doc);
  EXPECT_EQ(BandTypes(doc->Report), before);
  EXPECT_FALSE(doc->Modified);
  EXPECT_TRUE(frmProps->isVisible());
}

TEST_F(Shell, AnOpenedDocumentHasTheSavedBandsAndElementsAndNoMore) {
  TfrmDoc* doc = New();
  TQRCustomBand* title = doc->Report->FindBand(rbTitle);
  auto* label = TComponent::Create<TQRLabel>(doc->Report);
  label->SetName("Heading");
  label->SetParent(title);
  label->SetCaption("Orders");
  doc->Report->Bands()->SetHasBand(7, true);
  saveAnswers.push_back(Path("bands.rpt"));
  ASSERT_TRUE(frmMain->SaveDocumentAs(doc));

  std::vector<std::string> names;
  std::vector<int32_t> tops;
  for (const TQRCustomBand* b : doc->Report->BandList()) {
    names.push_back(b->Name());
    tops.push_back(b->Top());
  }
  frmMain->OpenDialog = [this] { return std::optional<std::string>(Path("bands.rpt")); };
  frmMain->Action("actOpen")->trigger();
  TfrmDoc* opened = frmMain->ActiveDocument();
  ASSERT_NE(opened, doc);
  EXPECT_EQ(BandTypes(opened->Report), BandTypes(doc->Report));
  std::vector<std::string> openedNames;
  std::vector<int32_t> openedTops;
  for (const TQRCustomBand* b : opened->Report->BandList()) {
    openedNames.push_back(b->Name());
    openedTops.push_back(b->Top());
  }
  EXPECT_EQ(openedNames, names);
  EXPECT_EQ(openedTops, tops);
  auto* heading = dynamic_cast<TQRLabel*>(opened->Report->FindComponent("Heading"));
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->Caption(), "Orders");
  EXPECT_EQ(heading->Parent(), opened->Report->FindBand(rbTitle));
  // The opened report is the window's, set up as a new one is.
  EXPECT_EQ(opened->Report->Name(), "Report");
  EXPECT_EQ(opened->Report->Owner(), nullptr);
  EXPECT_TRUE(static_cast<bool>(opened->Report->OnNotify));
  EXPECT_EQ(opened->ZQKDesigner1->DesignControl(), opened->Report);
  EXPECT_FALSE(opened->Modified);
}

TEST_F(Shell, SingleInstanceWindowsExistByName) {
  for (QWidget* w : std::initializer_list<QWidget*>{dlgData, frmProps, dlgLinesEditor, dlgFields, dlgReportProps})
    ASSERT_NE(w, nullptr);
  EXPECT_EQ(frmMain->objectName(), "frmMain");
  EXPECT_EQ(frmProps->objectName(), "frmProps");
  EXPECT_EQ(dlgReportProps->objectName(), "dlgReportProps");
  EXPECT_EQ(frmMain->windowTitle(), "Report designer");
  frmMain->Action("actPropsView")->trigger();
  Idle();
  EXPECT_EQ(frmMain->Action("actPropsView")->isChecked(), frmProps->isVisible());
}

// Two panels on the report, as the designer would have inserted them.
std::vector<TPanel*> AddElements(TfrmDoc* doc) {
  std::vector<TPanel*> panels;
  for (int i = 0; i < 2; ++i) {
    auto* p = TComponent::Create<TPanel>(doc->Report);
    p->SetName("Panel" + std::to_string(i + 1));
    p->SetBounds(16 + 80 * i, 16, 64, 24);
    p->SetParent(doc->Report);
    panels.push_back(p);
  }
  return panels;
}

TEST_F(Shell, EnabledCommandsToggleTheSelectedControlAndMarkTheDocument) {
  TfrmDoc* doc = New();
  auto panels = AddElements(doc);
  TAction* enabled = frmMain->Action("actEnabled");
  doc->ZQKDesigner1->Select({panels[0]});
  Idle();
  ASSERT_TRUE(enabled->isEnabled());
  EXPECT_TRUE(enabled->isChecked());
  enabled->trigger();
  EXPECT_FALSE(panels[0]->Enabled());
  EXPECT_TRUE(panels[1]->Enabled());
  EXPECT_TRUE(doc->Modified);
  Idle();
  EXPECT_FALSE(enabled->isChecked());  // the check follows the control
  // Two elements: disabled, and the execute step leaves both alone.
  doc->ZQKDesigner1->Select({panels[0], panels[1]});
  Idle();
  EXPECT_FALSE(enabled->isEnabled());
  EXPECT_FALSE(enabled->isChecked());
  // The report itself selected counts as no element.
  doc->ZQKDesigner1->Select({doc->Report});
  Idle();
  EXPECT_FALSE(enabled->isEnabled());

  panels[1]->SetEnabled(false);
  doc->Modified = false;
  frmMain->Action("actEnableAll")->trigger();
  EXPECT_TRUE(panels[0]->Enabled());
  EXPECT_TRUE(panels[1]->Enabled());
  EXPECT_TRUE(doc->Modified);
}

TEST_F(Shell, LockCommandsSetTheSelectionsLockModeWithoutModifying) {
  TfrmDoc* doc = New();
  auto panels = AddElements(doc);
  TZQKDesigner* designer = doc->ZQKDesigner1;
  designer->Select({panels[0]});
  Idle();
  frmMain->Action("actLock")->trigger();
  EXPECT_EQ(designer->LockModeOf(panels[0]), TZQKDesignerLockMode({lmNoMove, lmNoResize, lmNoDelete}));
  EXPECT_EQ(designer->LockModeOf(panels[1]), TZQKDesignerLockMode());
  frmMain->Action("actUnlock")->trigger();
  EXPECT_EQ(designer->LockModeOf(panels[0]), TZQKDesignerLockMode());
  designer->Select({panels[0], panels[1]});
  frmMain->Action("actLock")->trigger();
  EXPECT_TRUE(designer->LockModeOf(panels[1]).Contains(lmNoDelete));
  designer->Select({doc->Report});
  frmMain->Action("actUnlockAll")->trigger();
  EXPECT_EQ(designer->LockModeOf(panels[0]), TZQKDesignerLockMode());
  EXPECT_EQ(designer->LockModeOf(panels[1]), TZQKDesignerLockMode());
  EXPECT_FALSE(doc->Modified);
}

TEST_F(Shell, ChangeDataMarksTheDocumentOnlyWhenTheDialogIsConfirmed) {
  TfrmDoc* doc = New();
  std::vector<TfrmDoc*> asked;
  bool confirm = false;
  frmMain->DataDialog = [&](TfrmDoc* d) {
    asked.push_back(d);
    if (confirm) {
      auto* table = TComponent::Create<TTable>(nullptr);
      table->SetDatabaseName("shop");
      table->SetTableName("orders");
      d->AssignDataSet(table);
    }
    return confirm;
  };
  Idle();
  frmMain->Action("actChangeData")->trigger();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], doc);
  EXPECT_FALSE(doc->Modified);
  confirm = true;
  frmMain->Action("actChangeData")->trigger();
  EXPECT_TRUE(doc->Modified);
}

TEST_F(Shell, FileDialogsStartInTheWorkingDirectoryThenWhereTheLastFileWas) {
  EXPECT_EQ(frmMain->DialogDirectory(), QDir::currentPath());
  QDir(dir.path()).mkpath("sub");
  TfrmDoc* doc = New();
  saveAnswers.push_back(Path("sub/first.rpt"));
  ASSERT_TRUE(frmMain->SaveDocumentAs(doc));
  EXPECT_EQ(frmMain->DialogDirectory(), QDir(dir.path()).filePath("sub"));
  // A cancelled dialog keeps the folder.
  saveAnswers.push_back(std::nullopt);
  frmMain->SaveDocumentAs(doc);
  EXPECT_EQ(frmMain->DialogDirectory(), QDir(dir.path()).filePath("sub"));
  frmMain->OpenDialog = [this] { return std::optional<std::string>(Path("sub/../sub/first.rpt")); };
  frmMain->Action("actOpen")->trigger();
  EXPECT_EQ(QDir(frmMain->DialogDirectory()).canonicalPath(), QDir(QDir(dir.path()).filePath("sub")).canonicalPath());
}

TEST_F(Shell, NewWindowsOpenInFullViewAndCascadeKeepsThemUsable) {
  const QRect area = frmMain->MdiArea()->viewport()->rect();
  std::vector<QRect> placed;
  for (int i = 0; i < 6; ++i) placed.push_back(New()->SubWindow->geometry());
  for (const QRect& r : placed) EXPECT_TRUE(area.contains(r)) << r.x() << "," << r.y();
  // Each steps down and right from the one before, until the steps start again.
  EXPECT_GT(placed[1].x(), placed[0].x());
  EXPECT_GT(placed[1].y(), placed[0].y());
  frmMain->Action("WindowCascade1")->trigger();
  QCoreApplication::processEvents();
  const std::vector<TfrmDoc*> docs = frmMain->Documents();
  ASSERT_EQ(docs.size(), 6u);
  for (TfrmDoc* d : docs) {
    const QRect r = d->SubWindow->geometry();
    EXPECT_GE(r.width(), area.width() / 2);
    EXPECT_GE(r.height(), area.height() / 2);
    EXPECT_TRUE(area.contains(r));
  }
  // The active window stays active and on top.
  EXPECT_EQ(frmMain->ActiveDocument(), docs.back());
}

// Elements with the texts the document edits, under the names of report classes that
// are not built yet (the report module's own classes take their place once it
// registers them).
class TTextElement : public TCustomControl {
  RPT_CLASS(TTextElement, TCustomControl)
  TTextElement() { SetBounds(0, 0, 64, 17); }
  std::string DataField, Expression;
  TDataSet* DataSet = nullptr;
  TStringList* Lines() const { return FLines.get(); }
  void SetLines(TStringList* value) { FLines->AssignFrom(value); }

 private:
  std::unique_ptr<TStringList> FLines = std::make_unique<TStringList>();
};
RPT_BEGIN_CLASS(TTextElement, TCustomControl)
  c.Property("DataField", &TTextElement::DataField, &TTextElement::DataField);
  c.Property("Expression", &TTextElement::Expression, &TTextElement::Expression);
  c.Property("Lines", &TTextElement::Lines, &TTextElement::SetLines);
  c.Property("DataSet", &TTextElement::DataSet, &TTextElement::DataSet);
RPT_END_CLASS

#define TEXT_ELEMENT(Name, Base) \
  class Name : public Base {     \
    RPT_CLASS(Name, Base)        \
    Name() = default;            \
  };                             \
  RPT_BEGIN_CLASS(Name, Base)    \
  RPT_END_CLASS
TEXT_ELEMENT(TQRDBText, TTextElement)
TEXT_ELEMENT(TQRExpr, TTextElement)
TEXT_ELEMENT(TQRExprMemo, TTextElement)
// A label of the real class's family that is not a plain label.
TEXT_ELEMENT(TQRTotalLabel, TQRLabel)
#undef TEXT_ELEMENT

struct ShellDocument : Shell {
  TfrmDoc* Doc = nullptr;
  void SetUp() override {
    Shell::SetUp();
    for (const TClassDescriptor* c : {&TQRDBText::StaticClass(), &TQRExpr::StaticClass(),
                                      &TQRExprMemo::StaticClass(), &TQRTotalLabel::StaticClass()})
      if (!FindStreamClass(c->ClassName())) RegisterStreamClass(*c);
    Doc = New();
  }
  // An element on the detail band, as the designer would have inserted it.
  TControl* Add(const char* className, const char* name, const char* property = nullptr, const char* text = "") {
    auto* c = static_cast<TControl*>(FindStreamClass(className)->CreateComponent(Doc->Report));
    c->SetName(name);
    c->SetParent(Doc->Report->FindBand(rbDetail));
    if (property) SetStrProp(c, *GetPropInfo(c, property), text);
    return c;
  }
  std::string Text(TControl* c, const char* property) { return GetStrProp(c, *GetPropInfo(c, property)); }
  std::string Hint(TComponent* c) {
    std::string hint = "H";
    Doc->ZQKDesigner1->DoComponentHint(c, hint);
    return hint;
  }
  uint16_t KeyDown(uint16_t key, TShiftState shift = {ssShift}) {
    Doc->ZQKDesigner1->DoKeyDown(key, shift);
    return key;
  }
  void Type(std::initializer_list<char> keys) {
    for (char k : keys) Doc->ZQKDesigner1->DoKeyPress(k);
  }
};

TEST_F(ShellDocument, HintsAppendTheElementsTextAfterACarriageReturn) {
  auto* memo = static_cast<TQRMemo*>(Add("TQRMemo", "Memo1"));
  memo->Lines()->Add("a");
  memo->Lines()->Add("b");
  EXPECT_EQ(Hint(memo), "H\rLines:\r  a\r  b");
  EXPECT_EQ(Hint(Add("TQRExprMemo", "ExprMemo1")), "H\rLines:");
  EXPECT_EQ(Hint(Add("TQRLabel", "Label1", "Caption", "Total")), "H\rCaption: Total");
  // Descendants take their ancestor's block.
  EXPECT_EQ(Hint(Add("TQRTotalLabel", "Label2", "Caption", "Sum")), "H\rCaption: Sum");
  EXPECT_EQ(Hint(Add("TQRDBText", "DBText1", "DataField", "Name")), "H\rData field: Name");
  EXPECT_EQ(Hint(Add("TQRExpr", "Expr1", "Expression", "1+2")), "H\rExpression: 1+2");
  // Shapes, bands and other controls keep the designer's hint.
  EXPECT_EQ(Hint(Add("TQRShape", "Shape1")), "H");
  EXPECT_EQ(Hint(Doc->Report->FindBand(rbDetail)), "H");
  // A condition comes last, on elements and bands alike.
  EXPECT_EQ(Hint(Add("TQRLabel", "Label3", "PrintIf", "orders.freight > 100")),
            "H\rCaption: Label3\rPrints if: orders.freight > 100");
  Doc->Report->FindBand(rbDetail)->SetPrintIf("TRUE");
  Doc->Report->FindBand(rbDetail)->SetBookmark("orders.order_id");
  EXPECT_EQ(Hint(Doc->Report->FindBand(rbDetail)), "H\rPrints if: TRUE\rBookmark: orders.order_id");
  auto* linked = Add("TQRLabel", "Label4", "Hyperlink", "'#Top'");
  static_cast<TQRPrintable*>(linked)->Highlights()->AddRule();
  EXPECT_EQ(Hint(linked), "H\rCaption: Label4\rHighlights: 1 rule\rLinks to: '#Top'");
  auto* panel = TComponent::Create<TPanel>(Doc->Report);
  EXPECT_EQ(Hint(panel), "H");
  EXPECT_FALSE(Doc->Modified);
}

TEST_F(ShellDocument, TypingEditsTheOneSelectedElementsTextByExactClass) {
  TControl* label = Add("TQRLabel", "Label1", "Caption", "X");
  Doc->ZQKDesigner1->Select({label});
  Type({'A', 'B', char(VK_BACK)});
  EXPECT_EQ(Text(label, "Caption"), "XA");
  EXPECT_TRUE(Doc->Modified);
  // Bytes from 128 up are characters; other control codes change nothing.
  Doc->Modified = false;
  Type({char(0xE9), char(1), char(VK_ESCAPE)});
  EXPECT_EQ(Text(label, "Caption"), "XA\xE9");
  Type({char(VK_BACK), char(VK_BACK), char(VK_BACK), char(VK_BACK)});
  EXPECT_EQ(Text(label, "Caption"), "");
  // A caption that is still the element's name is a placeholder the first typing replaces.
  TControl* fresh = Add("TQRLabel", "QRLabel7", "Caption", "QRLabel7");
  Doc->ZQKDesigner1->Select({fresh});
  Type({'O', 'k'});
  EXPECT_EQ(Text(fresh, "Caption"), "Ok");

  // Enter on an expression opens its editor (cancelled here) and types nothing.
  TControl* expr = Add("TQRExpr", "Expr1", "Expression", "1");
  Doc->ZQKDesigner1->Select({expr});
  Doc->Modified = false;
  QTimer::singleShot(0, [] {
    if (QWidget* editor = QApplication::activeModalWidget()) QTest::keyClick(editor, Qt::Key_Escape);
  });
  Type({char(VK_RETURN)});
  EXPECT_FALSE(dlgLinesEditor->isVisible());
  EXPECT_FALSE(Doc->Modified);
  Type({'+', '2'});
  EXPECT_EQ(Text(expr, "Expression"), "1+2");
  TControl* field = Add("TQRDBText", "DBText1");
  Doc->ZQKDesigner1->Select({field});
  Type({'I', 'd'});
  EXPECT_EQ(Text(field, "DataField"), "Id");

  // A descendant of the label class, a memo and a selection of two type nothing.
  TControl* total = Add("TQRTotalLabel", "Label2", "Caption", "T");
  auto* memo = static_cast<TQRMemo*>(Add("TQRMemo", "Memo1"));
  memo->Lines()->Add("M");
  for (TControl* c : {static_cast<TControl*>(total), static_cast<TControl*>(memo)}) {
    Doc->ZQKDesigner1->Select({c});
    Type({'x'});
  }
  Doc->ZQKDesigner1->Select({label, expr});
  Doc->Modified = false;
  Type({'x'});
  EXPECT_EQ(Text(total, "Caption"), "T");
  ASSERT_EQ(memo->Lines()->Count(), 1);
  EXPECT_EQ(memo->Lines()->Strings(0), "M");
  EXPECT_EQ(Text(label, "Caption"), "");
  EXPECT_FALSE(Doc->Modified);
}

TEST_F(ShellDocument, ShiftDeleteEmptiesTheTextFirstAndOnlyThenLetsTheElementGo) {
  TControl* label = Add("TQRLabel", "Label1", "Caption", "Total");
  Doc->ZQKDesigner1->Select({label});
  EXPECT_EQ(KeyDown(VK_DELETE), 0);  // consumed: the designer keeps the label
  EXPECT_EQ(Text(label, "Caption"), "");
  EXPECT_TRUE(Doc->Modified);
  EXPECT_EQ(KeyDown(VK_DELETE), VK_DELETE);  // empty: the designer deletes it
  EXPECT_EQ(KeyDown('A'), 'A');

  TControl* expr = Add("TQRExpr", "Expr1", "Expression", "1");
  TControl* field = Add("TQRDBText", "DBText1", "DataField", "Id");
  TControl* total = Add("TQRTotalLabel", "Label2", "Caption", "Sum");
  for (TControl* c : {expr, field}) {
    Doc->ZQKDesigner1->Select({c});
    EXPECT_EQ(KeyDown(VK_DELETE, {ssCtrl}), 0) << c->Name();
  }
  EXPECT_EQ(Text(expr, "Expression"), "");
  EXPECT_EQ(Text(field, "DataField"), "");
  Doc->ZQKDesigner1->Select({total});
  EXPECT_EQ(KeyDown(VK_DELETE), VK_DELETE);
  EXPECT_EQ(Text(total, "Caption"), "Sum");

  // Through the keyboard: Shift+Delete on the design surface reaches the rule.
  SetStrProp(label, *GetPropInfo(label, "Caption"), "Again");
  Doc->ZQKDesigner1->Select({label});
  QWidget* surface = PeerWidget(Doc->Report);
  ASSERT_NE(surface, nullptr);
  surface->setFocus();
  QTest::keyClick(surface, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(Text(label, "Caption"), "");
}

TEST_F(ShellDocument, AssigningADataSetBindsTheReportAndItsDataFieldsAndDestroysTheOldOne) {
  TControl* field = Add("TQRDBText", "DBText1");
  auto* first = TComponent::Create<TTable>(nullptr);
  Doc->AssignDataSet(first);
  EXPECT_EQ(first->Owner(), Doc);
  EXPECT_EQ(Doc->Report->DataSet(), first);
  EXPECT_EQ(GetObjectProp(field, *GetPropInfo(field, "DataSet")), first);
  auto* second = TComponent::Create<TTable>(nullptr);
  second->SetName("Second");
  Doc->AssignDataSet(second);
  EXPECT_EQ(Doc->FindComponent("Second"), second);
  EXPECT_EQ(Doc->DataSet, second);
  EXPECT_EQ(Doc->Report->DataSet(), second);
  EXPECT_EQ(GetObjectProp(field, *GetPropInfo(field, "DataSet")), second);
  // The first went with its replacement: only one component of the window is a dataset.
  int datasets = 0;
  for (TComponent* c : Doc->OwnedComponents()) datasets += dynamic_cast<TDataSet*>(c) != nullptr;
  EXPECT_EQ(datasets, 1);
  // A data field that arrives later is bound the moment the report gains it.
  TControl* later = Add("TQRDBText", "DBText2");
  EXPECT_EQ(GetObjectProp(later, *GetPropInfo(later, "DataSet")), second);
}

// The entry point's start-up, shared with the developer tools.
TEST(ShellStartup, StartsTheWindowsTheProgramShowsAndEndsThemAgain) {
  TApplication* app = TApplication::Instance();
  app->SetTitle("");
  StartProgram(*app);
  EXPECT_EQ(app->Title(), "Report designer");
  EXPECT_FALSE(app->quitOnLastWindowClosed());
  ASSERT_NE(frmMain, nullptr);
  EXPECT_TRUE(frmMain->isVisible());
  EXPECT_TRUE(frmProps->isVisible());
  for (QWidget* w : std::initializer_list<QWidget*>{dlgData, dlgLinesEditor, dlgFields, dlgReportProps})
    EXPECT_FALSE(w->isVisible());
  // The report classes were registered before the windows.
  for (const char* name : {"TNotifyQuickRep", "TQuickRep", "TQRBand", "TQRChildBand", "TQRGroup", "TQRSubDetail",
                           "TQRLabel", "TQRMemo", "TQRShape", "TTable", "TQuery"})
    EXPECT_NE(FindStreamClass(name), nullptr) << name;
  EndProgram();
  EXPECT_EQ(frmMain, nullptr);
  EXPECT_EQ(frmProps, nullptr);
}

TEST(WindowPlaces, FirstStartFitsTheScreenAndLaterStartsReturnWhereTheWindowsWereLeft) {
  QTemporaryDir dir;
  const QString file = dir.filePath("windows.ini");
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  QWidget main, props(nullptr, Qt::Tool);
  RestoreWindowPlaces(&main, &props, file);
  EXPECT_TRUE(area.contains(main.geometry())) << "the main window fits the screen";
  EXPECT_GE(main.width(), area.width() * 8 / 10);
  EXPECT_TRUE(area.contains(props.geometry()));
  EXPECT_GE(props.y(), main.y() + 60) << "the properties window leaves the tool bars free";

  main.setGeometry(area.left() + 20, area.top() + 30, 500, 400);
  props.setGeometry(area.left() + 530, area.top() + 40, 200, 300);
  SaveWindowPlaces(&main, &props, file);
  QWidget main2, props2(nullptr, Qt::Tool);
  RestoreWindowPlaces(&main2, &props2, file);
  EXPECT_EQ(main2.geometry(), main.geometry());
  EXPECT_EQ(props2.geometry(), props.geometry());

  // A damaged file gives the first layout, not a window of no size.
  QFile damaged(file);
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
  damaged.write("[main]\ngeometry=@ByteArray(garbage)\n[properties]\ngeometry=1\n");
  damaged.close();
  QWidget main3, props3(nullptr, Qt::Tool);
  RestoreWindowPlaces(&main3, &props3, file);
  EXPECT_GE(main3.width(), area.width() * 8 / 10);
}

}  // namespace
}  // namespace rpt
