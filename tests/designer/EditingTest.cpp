// The editing commands of the design surface and the history they record into.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <random>

#include "designer/History.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

class EditingTest : public DesignerTest {
 protected:
  void SetUp() override {
    RegisterStreamClasses({&TTestRoot::StaticClass(), &TTestBand::StaticClass(), &TTestLabel::StaticClass()});
    DesignerTest::SetUp();
    Band->SetBounds(0, 200, 700, 120);
    Designer->SetActive(true);
  }
  TTestBand* AddBand(const std::string& name, int32_t top) {
    auto* band = TComponent::Create<TTestBand>(Root);
    band->SetName(name);
    band->SetBounds(0, top, 700, 80);
    band->SetParent(Root);
    return band;
  }
  void SelectOnly(const std::vector<TComponent*>& list) {
    Designer->SelectedComponents().Clear();
    Designer->Select(list);
  }
  void Align(TZQKDesignerAlign h, TZQKDesignerAlign v) { Designer->SelectedComponents().Align(h, v); }
  std::string RootBytes() const {
    TMemoryStream stream;
    SaveComponent(stream, Root);
    return stream.Data();
  }
  TTestLabel* Find(const std::string& name) const { return dynamic_cast<TTestLabel*>(Root->FindComponent(name)); }
};

TEST_F(EditingTest, AligningEdgesCentresAndSpacing) {
  TTestLabel* a = AddLabel(Band, "A", 40, 10, 30);
  TTestLabel* b = AddLabel(Band, "B", 16, 40, 50);
  TTestLabel* c = AddLabel(Band, "C", 72, 70);
  SelectOnly({a, b, c});
  Align(daLeftTop, daNone);
  EXPECT_EQ(a->Left(), 16);
  EXPECT_EQ(b->Left(), 16);
  EXPECT_EQ(c->Left(), 16);

  // Right edges: widths 30 and 50 at 10 and 20 end at 70.
  a->SetLeft(10), b->SetLeft(20);
  SelectOnly({a, b});
  Align(daRightBottom, daNone);
  EXPECT_EQ(a->Left(), 40);
  EXPECT_EQ(b->Left(), 20);

  // Centres follow the first selected control, not an average.
  a->SetBounds(0, 10, 20, 17), b->SetBounds(100, 40, 40, 17);
  SelectOnly({a, b});
  Align(daCenters, daNone);
  EXPECT_EQ(a->Left(), 0);
  EXPECT_EQ(b->Left(), -10);

  // Centre in the parent's whole width: (700 div 2) - (50 div 2).
  b->SetWidth(50);
  SelectOnly({b});
  Align(daCenterInWindow, daNone);
  EXPECT_EQ(b->Left(), 325);
  Align(daNone, daCenterInWindow);
  EXPECT_EQ(b->Top(), 60 - 8);

  a->SetLeft(0), b->SetLeft(10), c->SetLeft(100);
  SelectOnly({c, a, b});
  Align(daSpaceEqually, daNone);
  EXPECT_EQ(b->Left(), 50);
  EXPECT_EQ(a->Left(), 0);
  EXPECT_EQ(c->Left(), 100);
  TTestLabel* d = AddLabel(Band, "D", 101, 10);
  a->SetLeft(0), b->SetLeft(10), c->SetLeft(20);
  SelectOnly({a, b, c, d});
  Align(daSpaceEqually, daNone);
  EXPECT_EQ(b->Left(), 34);  // R(101 / 3)
  EXPECT_EQ(c->Left(), 67);  // R(202 / 3)

  // Two controls are too few to space: nothing changes, no change event, no step.
  SelectOnly({a, b});
  Changes = 0;
  const size_t steps = Designer->History().Count();
  Align(daSpaceEqually, daNone);
  EXPECT_EQ(Changes, 0);
  EXPECT_EQ(Designer->History().Count(), steps);
  EXPECT_EQ(b->Left(), 34);
}

TEST_F(EditingTest, AligningKeepsTheLastSelectedsSiblingsAndIgnoresTheRoot) {
  TTestBand* other = AddBand("Band2", 20);
  TTestLabel* a = AddLabel(other, "A", 40, 10);
  TTestLabel* b = AddLabel(Band, "B", 16, 10);
  TTestLabel* c = AddLabel(Band, "C", 72, 30);
  SelectOnly({a, b, c});
  Align(daLeftTop, daNone);
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(a->Left(), 40);
  EXPECT_EQ(c->Left(), 16);
  EXPECT_EQ(Designer->UndoCaption(), "Undo Align Left Edges");
  // Each alignment names its own step; both directions at once a plain one.
  const struct {
    TZQKDesignerAlign H, V;
    const char* Caption;
  } steps[] = {{daRightBottom, daNone, "Align Right Edges"},
               {daSpaceEqually, daNone, "Space Equally, Horizontally"},
               {daCenters, daNone, "Align Horizontal Centers"},
               {daCenterInWindow, daNone, "Center Horizontally in Window"},
               {daNone, daLeftTop, "Align Top Edges"},
               {daNone, daRightBottom, "Align Bottom Edges"},
               {daNone, daSpaceEqually, "Space Equally, Vertically"},
               {daNone, daCenters, "Align Vertical Centers"},
               {daNone, daCenterInWindow, "Center Vertically in Window"},
               {daLeftTop, daLeftTop, "Align"}};
  AddLabel(Band, "D", 300, 60, 30, 9);
  AddLabel(Band, "E", 150, 90, 20, 5);
  for (const auto& step : steps) {
    SelectOnly({Find("B"), Find("C"), Find("D"), Find("E")});
    Align(step.H, step.V);
    EXPECT_EQ(Designer->UndoCaption(), std::string("Undo ") + step.Caption);
    Designer->Undo();
    EXPECT_EQ(Designer->RedoCaption(), std::string("Redo ") + step.Caption);
  }
  b = Find("B");

  Changes = 0;
  SelectOnly({b, Root});
  Align(daLeftTop, daNone);
  EXPECT_EQ(Changes, 0);

  // Align to grid: R(12 / 8) = R(1.5) = 2, R(20 / 8) = R(2.5) = 2.
  b->SetBounds(12, 20, 64, 17);
  SelectOnly({b});
  Designer->SelectedComponents().AlignToGrid();
  EXPECT_EQ(b->BoundsRect(), (TRect{16, 16, 80, 33}));
}

TEST_F(EditingTest, OrderingMovesInTheParentsStackAndUndoPutsItBack) {
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  TTestLabel* b = AddLabel(Band, "B", 10, 0);
  TTestLabel* c = AddLabel(Band, "C", 20, 0);
  const std::string before = RootBytes();
  SelectOnly({a, b});
  Designer->SelectedComponents().BringToFront();
  EXPECT_EQ(Band->ControlList(), (std::vector<TControl*>{c, a, b}));
  EXPECT_EQ(Designer->UndoCaption(), "Undo Bring to Front");
  Designer->Undo();
  EXPECT_EQ(RootBytes(), before);
  std::vector<std::string> order;
  for (TControl* k : Band->ControlList()) order.push_back(k->Name());
  EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "C"}));
  // The step made the selected controls anew and selects them.
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"A", "B"}));

  SelectOnly({Find("C")});
  Designer->SelectedComponents().SendToBack();
  EXPECT_EQ(Band->ControlList().front()->Name(), "C");
  Designer->Undo();
  Designer->Redo();
  EXPECT_EQ(Band->ControlList().front()->Name(), "C");
}

TEST_F(EditingTest, DeletingRespectsLocksOfControlsAndTheirChildren) {
  TTestBand* band2 = AddBand("Band2", 20);
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  TTestLabel* b = AddLabel(band2, "B", 0, 0);
  Designer->LockComponent(a, {lmNoDelete});
  Designer->LockComponent(b, {lmNoDelete});
  SelectOnly({Band});
  EXPECT_EQ(ErrorOf([&] { Designer->DeleteSelectedComponents(); }),
            "Component \"Band1\" or one of its childrens can not\r\nbe deleted because they are locked");
  SelectOnly({Band, band2});
  EXPECT_EQ(ErrorOf([&] { Designer->DeleteSelectedComponents(); }),
            "Some components are locked. Can not delete components");
  EXPECT_NE(Root->FindComponent("Band1"), nullptr);
  EXPECT_EQ(Designer->History().Count(), 0u);

  // A band with its selected child goes whole; undo brings both back, lock and all.
  Designer->LockComponent(a, {});
  Designer->LockComponent(b, {lmNoCopy});
  const std::string before = RootBytes();
  SelectOnly({band2, b});
  Designer->DeleteSelectedComponents();
  EXPECT_EQ(Root->FindComponent("Band2"), nullptr);
  EXPECT_EQ(Root->FindComponent("B"), nullptr);
  EXPECT_EQ(SelectedNames().size(), 0u);
  Designer->Undo();
  EXPECT_EQ(RootBytes(), before);
  ASSERT_NE(Find("B"), nullptr);
  EXPECT_EQ(Designer->LockModeOf(Find("B")), (TZQKDesignerLockMode{lmNoCopy}));

  // A host key handler that clears Delete keeps the selection.
  SelectOnly({Find("A")});
  Designer->OnKeyDown = [](TObject*, uint16_t& key, TShiftState) {
    if (key == VK_DELETE) key = 0;
  };
  Key(VK_DELETE);
  EXPECT_NE(Find("A"), nullptr);
  Designer->OnKeyDown = nullptr;
  Key(VK_DELETE);
  EXPECT_EQ(Find("A"), nullptr);
  EXPECT_EQ(Designer->UndoCaption(), "Undo Delete");
}

TEST_F(EditingTest, CopyKeepsTheLastBandMatesAndPasteRenamesAndCascades) {
  TTestBand* band2 = AddBand("Band2", 20);
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  TTestLabel* b = AddLabel(band2, "B", 16, 8);
  TTestLabel* c = AddLabel(band2, "C", 96, 8);
  SelectOnly({a, b, c});
  EXPECT_TRUE(Designer->CanCopy());
  Designer->CopyToClipboard();
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"B", "C"}));
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(Designer->ClipboardMimeType(), "application/x-zqk-designer-components");
  EXPECT_TRUE(data->hasFormat("application/x-zqk-designer-components"));
  EXPECT_TRUE(data->text().startsWith("components\n  object TTestLabel B"));

  ASSERT_TRUE(Designer->CanPaste());
  Designer->PasteFromClipboard();
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"TestLabel1", "TestLabel2"}));
  EXPECT_EQ(Find("TestLabel1")->Parent(), band2);
  EXPECT_EQ(Find("TestLabel1")->BoundsRect(), (TRect{24, 16, 88, 33}));
  EXPECT_EQ(Find("TestLabel2")->BoundsRect(), (TRect{104, 16, 168, 33}));
  EXPECT_EQ(Designer->UndoCaption(), "Undo Paste");
  Designer->Undo();
  EXPECT_EQ(Find("TestLabel1"), nullptr);
  Designer->Redo();
  EXPECT_NE(Find("TestLabel2"), nullptr);

  // Copy is refused for a copy-locked control; a cut also for a delete-locked one.
  SelectOnly({b});
  Designer->LockComponent(b, {lmNoDelete});
  EXPECT_TRUE(Designer->CanCopy());
  EXPECT_FALSE(Designer->CanCut());
  Designer->LockComponent(b, {lmNoCopy});
  EXPECT_FALSE(Designer->CanCopy());
  Designer->LockComponent(band2, {lmNoInsertIn});
  EXPECT_FALSE(Designer->CanPaste());
  SelectOnly({Root});
  EXPECT_FALSE(Designer->CanCopy());
  EXPECT_TRUE(Designer->CanPaste());

  // Cut is copy then delete, one step named for it.
  Designer->LockComponent(b, {});
  SelectOnly({c});
  Designer->CutToClipboard();
  EXPECT_EQ(Find("C"), nullptr);
  EXPECT_EQ(Designer->UndoCaption(), "Undo Cut");
}

// Pasted names take the lowest free numbers of their class, in order, past taken ones;
// each pasted control steps by the grid off every corner taken before it, also by the
// controls pasted with it.
TEST_F(EditingTest, PastedNamesAndPlacesSkipTakenOnes) {
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  TTestLabel* b = AddLabel(Band, "B", 8, 8);
  AddLabel(Band, "TestLabel2", 40, 40);
  Host->Show();
  SelectOnly({a, b});
  Designer->CopyToClipboard();
  Designer->PasteFromClipboard();
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"TestLabel1", "TestLabel3"}));
  EXPECT_EQ(Find("TestLabel1")->BoundsRect(), (TRect{16, 16, 80, 33}));
  EXPECT_EQ(Find("TestLabel3")->BoundsRect(), (TRect{24, 24, 88, 41}));
  // The band's window, hidden while it filled, shows again with the new windows in place.
  EXPECT_TRUE(PeerWidget(Band)->isVisible());
  ASSERT_NE(PeerWidget(Find("TestLabel3")), nullptr);
  EXPECT_TRUE(PeerWidget(Find("TestLabel3"))->isVisible());
  EXPECT_EQ(PeerWidget(Find("TestLabel3"))->geometry(), QRect(24, 24, 64, 17));
  Designer->PasteFromClipboard();
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"TestLabel4", "TestLabel5"}));
  EXPECT_EQ(Find("TestLabel4")->BoundsRect(), (TRect{32, 32, 96, 49}));
  EXPECT_EQ(Find("TestLabel5")->BoundsRect(), (TRect{48, 48, 112, 65}));
  // A corner freed by a deletion is free again for the next paste.
  SelectOnly({Find("TestLabel1")});
  Designer->DeleteSelectedComponents();
  SelectOnly({a});
  Designer->CopyToClipboard();
  Designer->PasteFromClipboard();
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"TestLabel1"}));
  EXPECT_EQ(Find("TestLabel1")->BoundsRect(), (TRect{16, 16, 80, 33}));
}

TEST_F(EditingTest, ClipboardTextPastesAndForeignOrDamagedDataChangesNothing) {
  AddLabel(Band, "A", 0, 0);
  SelectOnly({Band});
  const std::string before = RootBytes();
  auto put = [](const char* type, const QByteArray& bytes) {
    auto* data = new QMimeData;
    if (type)
      data->setData(type, bytes);
    else
      data->setText(QString::fromUtf8(bytes));
    QGuiApplication::clipboard()->setMimeData(data);
  };
  put(nullptr, "a plain text");
  EXPECT_FALSE(Designer->CanPaste());

  put("application/x-zqk-designer-components", QByteArray("TPF0\x09TTestLabel", 15));
  ASSERT_TRUE(Designer->CanPaste());
  EXPECT_NE(ErrorOf([&] { Designer->PasteFromClipboard(); }).find("The clipboard holds no components"),
            std::string::npos);
  // A well-formed list naming a class nobody knows fails while reading and leaves nothing.
  put(nullptr,
      "components\n  object TTestLabel Z\n    Left = 8  (svInt8)\n  end\n  object TNoSuchLabel Y\n  end\nend\n");
  ASSERT_TRUE(Designer->CanPaste());
  EXPECT_NE(ErrorOf([&] { Designer->PasteFromClipboard(); }), "(no error)");
  EXPECT_EQ(RootBytes(), before);
  EXPECT_EQ(Designer->History().Count(), 0u);

  put(nullptr, "components\n  object TTestLabel A\n    Left = 8  (svInt8)\n    Width = 40  (svInt8)\n  end\nend\n");
  Designer->PasteFromClipboard();
  ASSERT_NE(Find("TestLabel1"), nullptr);
  EXPECT_EQ(Find("TestLabel1")->Parent(), Band);
  EXPECT_EQ(Find("TestLabel1")->Left(), 8);
}

TEST_F(EditingTest, ArrowKeysSizeMoveAndSelectNeighbours) {
  TTestLabel* a = AddLabel(Band, "A", 100, 40, 0, 17);
  TTestLabel* left = AddLabel(Band, "Left", 10, 44);
  TTestLabel* right = AddLabel(Band, "Right", 300, 30);
  TTestLabel* below = AddLabel(Band, "Below", 90, 90);
  SelectOnly({a});
  Key(VK_LEFT, {ssShift});
  EXPECT_EQ(a->Width(), 0);
  Key(VK_RIGHT, {ssShift});
  EXPECT_EQ(a->Width(), 1);
  Key(VK_LEFT);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Left"});
  Key(VK_RIGHT);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"A"});
  Key(VK_RIGHT);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Right"});
  SelectOnly({a});
  Key(VK_DOWN);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Below"});
  Key(VK_UP, {ssAlt});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Below"});

  // Ctrl+arrows move the unlocked ones; consecutive nudges are one step.
  Designer->LockComponent(left, {lmNoMove});
  SelectOnly({left, below});
  const size_t steps = Designer->History().Count();
  Key(VK_DOWN, {ssCtrl});
  Key(VK_DOWN, {ssCtrl});
  Key(VK_DOWN, {ssCtrl});
  EXPECT_EQ(left->Top(), 44);
  EXPECT_EQ(below->Top(), 93);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Below"});
  EXPECT_EQ(Designer->History().Count(), steps + 1);
  EXPECT_EQ(Designer->UndoCaption(), "Undo Move");
  Designer->Undo();
  EXPECT_EQ(Find("Below")->Top(), 90);
  (void)right;
}

TEST_F(EditingTest, TabWalksOwnedComponentsAndEscapeClimbs) {
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  AddLabel(Band, "B", 100, 0);
  SelectOnly({Root->FindComponent("B")});
  Key(VK_TAB);  // B is the last owned component: wraps to Band1
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Band1"});
  Key(VK_TAB);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"A"});
  Key(VK_TAB, {ssShift});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Band1"});
  SelectOnly({Root});
  Key(VK_TAB);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Root"});
  SelectOnly({a});
  Key(VK_ESCAPE);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Band1"});
  Key(VK_ESCAPE);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Root"});
}

TEST_F(EditingTest, CleanPointCaptionsAndMerging) {
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  EXPECT_FALSE(Designer->CanUndo());
  EXPECT_EQ(Designer->UndoCaption(), "Undo");
  Designer->History().SetClean();
  SelectOnly({a});
  Key(VK_RIGHT, {ssCtrl});
  EXPECT_FALSE(Designer->History().IsClean());
  Key(VK_RIGHT, {ssCtrl});
  EXPECT_EQ(Designer->History().Count(), 1u);
  // Saved here: the next nudge is a step of its own, so undo finds this point.
  Designer->History().SetClean();
  Key(VK_RIGHT, {ssCtrl});
  EXPECT_EQ(Designer->History().Count(), 2u);
  Designer->Undo();
  EXPECT_TRUE(Designer->History().IsClean());
  EXPECT_EQ(Find("A")->Left(), 2);
  Designer->Undo();
  EXPECT_FALSE(Designer->History().IsClean());
  EXPECT_EQ(Find("A")->Left(), 0);
  EXPECT_EQ(Designer->RedoCaption(), "Redo Move");
  Designer->Redo();
  EXPECT_TRUE(Designer->History().IsClean());
  // A new step drops the redo steps, and the clean point that lay among them.
  Designer->Undo();
  SelectOnly({Find("A")});
  Key(VK_DOWN, {ssShift});
  EXPECT_FALSE(Designer->CanRedo());
  Designer->Undo();
  EXPECT_FALSE(Designer->History().IsClean());
  Designer->Redo();
  // A change outside the history forgets every step and every clean point.
  Designer->ChangedOutsideHistory();
  EXPECT_FALSE(Designer->CanUndo());
  EXPECT_FALSE(Designer->History().IsClean());
}

TEST_F(EditingTest, DocumentStepsAreMadeAgainByTheHostAndKeepTheHistoryAndTheLocks) {
  // The host keeps the document as the root's stream and makes a new root from it.
  Designer->OnSaveDocument = [this] { return RootBytes(); };
  Designer->OnLoadDocument = [this](const std::string& bytes) {
    TMemoryStream stream(bytes);
    TOwnedPtr<TTestRoot> made(TComponent::Create<TTestRoot>(nullptr));
    LoadComponent(stream, made.get());
    TTestRoot* old = Root;
    Root = made.release();
    Designer->ReplaceDesignControl(Root);
    old->Free();
  };
  AddLabel(Band, "A", 0, 0);
  AddLabel(Band, "B", 100, 0);
  const std::string first = RootBytes();
  Designer->LockComponent(Find("A"), {lmNoMove});
  SelectOnly({Find("B")});
  Key(VK_RIGHT, {ssCtrl});
  // A change of the root is a step of the whole document; one that changes nothing is none.
  Designer->ChangeComponents("Change Width", {Root}, [this] { Root->SetWidth(600); });
  EXPECT_FALSE(Designer->ChangeDocument("Nothing", [] {}));
  EXPECT_EQ(Designer->History().Count(), 2u);
  EXPECT_EQ(Designer->UndoCaption(), "Undo Change Width");
  const std::string last = RootBytes();

  TTestRoot* before = Root;
  Designer->Undo();
  EXPECT_NE(Root, before);
  EXPECT_EQ(Designer->DesignControl(), Root);
  EXPECT_EQ(Root->Width(), 560);
  EXPECT_EQ(Designer->LockModeOf(Find("A")), TZQKDesignerLockMode{lmNoMove});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Root"});
  // The element step before it is put back into the new root.
  EXPECT_EQ(Designer->UndoCaption(), "Undo Move");
  Designer->Undo();
  EXPECT_EQ(RootBytes(), first);
  Designer->Redo();
  Designer->Redo();
  EXPECT_EQ(RootBytes(), last);
  EXPECT_FALSE(Designer->CanRedo());
}

TEST_F(EditingTest, HistoryDropsTheOldestStepsPastItsBound) {
  TZQKDesignHistory history;
  TTestLabel* a = AddLabel(Band, "A", 0, 0);
  history.SetClean();
  for (size_t i = 0; i < TZQKDesignHistory::kMaxSteps + 5; ++i) {
    auto step = std::make_unique<TZQKDesignCommand>("Move", mkNone, TZQKDesignState::Capture(Root, {a}));
    a->SetLeft(int32_t(i + 1));
    step->SetAfter(TZQKDesignState::Capture(Root, {a}));
    history.Push(std::move(step));
  }
  EXPECT_EQ(history.Count(), TZQKDesignHistory::kMaxSteps);
  EXPECT_EQ(history.Index(), TZQKDesignHistory::kMaxSteps);
  EXPECT_LE(history.Cost(), TZQKDesignHistory::kMaxBytes);
  // The clean point went with the oldest steps: no undo reaches it any more.
  while (history.CanUndo()) history.StepBack();
  EXPECT_FALSE(history.IsClean());
}

TEST_F(EditingTest, StepsCancelADragThatHoldsTheirControls) {
  TTestLabel* a = AddLabel(Band, "A", 16, 24);
  SelectOnly({a});
  Key(VK_RIGHT, {ssCtrl});
  a = Find("A");
  Send(a, WM_LBUTTONDOWN, {5, 5});
  Send(a, WM_MOUSEMOVE, {40, 40});
  ASSERT_TRUE(Engine()->Dragging());
  Designer->Undo();  // makes A anew: the drag may not keep the old one
  EXPECT_FALSE(Engine()->Dragging());
  EXPECT_EQ(GetCaptureControl(), nullptr);
  Send(Find("A"), WM_LBUTTONUP, {40, 40});
  EXPECT_EQ(Find("A")->Left(), 16);

  // A control destroyed by anything else ends the drag that moves it too.
  a = Find("A");
  SelectOnly({a});
  Send(a, WM_LBUTTONDOWN, {5, 5});
  Send(a, WM_MOUSEMOVE, {40, 40});
  ASSERT_TRUE(Engine()->Dragging());
  a->Free();
  EXPECT_FALSE(Engine()->Dragging());
}

// A step that changed only values of the same components is put back into them: the
// controls, their windows, their locks and the selection stay; a band's controls go
// with it. Where reading the values cannot give the state (a value back to its default
// is not stored), the components are made again, with the same bytes.
TEST_F(EditingTest, StepsOfTheSameComponentsArePutBackIntoThem) {
  TTestLabel* a = AddLabel(Band, "A", 10, 10);
  TTestLabel* b = AddLabel(Band, "B", 90, 10);
  TTestLabel* inner = AddLabel(Band, "Inner", 200, 40);
  const QPointer<QWidget> aWindow = PeerWidget(a);
  ASSERT_FALSE(aWindow.isNull());
  Designer->LockComponent(b, {lmNoDelete});
  const std::string before = RootBytes();
  SelectOnly({a, b});
  Key(VK_RIGHT, {ssCtrl});
  Key(VK_DOWN, {ssCtrl});
  const std::string moved = RootBytes();
  ASSERT_EQ(a->Left(), 11);
  Designer->Undo();
  EXPECT_EQ(RootBytes(), before);
  EXPECT_EQ(Find("A"), a);
  EXPECT_EQ(a->BoundsRect(), (TRect{10, 10, 74, 27}));
  EXPECT_EQ(PeerWidget(a), aWindow.data());
  EXPECT_EQ(aWindow->pos(), QPoint(10, 10));
  EXPECT_EQ(Designer->LockModeOf(b), TZQKDesignerLockMode{lmNoDelete});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"A", "B"}));
  Designer->Redo();
  EXPECT_EQ(RootBytes(), moved);
  EXPECT_EQ(Find("B"), b);
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"A", "B"}));

  // A band and the controls on it.
  SelectOnly({Band});
  Key(VK_DOWN, {ssCtrl});
  const std::string bandMoved = RootBytes();
  Designer->Undo();
  EXPECT_EQ(RootBytes(), moved);
  EXPECT_EQ(Find("Inner"), inner);
  EXPECT_EQ(inner->Parent(), Band);
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Band1"}));
  Designer->Redo();
  EXPECT_EQ(RootBytes(), bandMoved);

  // A non-visual component: its proxy goes back with its design position.
  auto* data = TComponent::Create<TTestData>(Root);
  data->SetName("Data1");
  data->SetDesignPosition(40, 56);
  Designer->SetShowNonvisualComponents(true);
  TControl* proxy = Engine()->ControlOf(data);
  ASSERT_NE(proxy, nullptr);
  SelectOnly({data});
  Key(VK_RIGHT, {ssCtrl});
  ASSERT_EQ(data->DesignLeft(), 41);
  Designer->Undo();
  EXPECT_EQ(Root->FindComponent("Data1"), data);
  EXPECT_EQ(Engine()->ControlOf(data), proxy);
  EXPECT_EQ(data->DesignLeft(), 40);
  EXPECT_EQ(proxy->Left(), 40);
  EXPECT_EQ(Designer->SelectedComponents().Count(), 1);
  EXPECT_EQ(Designer->SelectedComponents().LastSelected(), data);
  data->Free();
  const std::string noData = RootBytes();

  // A value back to its default: made again, the same bytes.
  ASSERT_EQ(noData, bandMoved);
  Designer->ChangeComponents("Tag", {a}, [&] { a->SetTag(5); });
  Designer->Undo();
  EXPECT_EQ(RootBytes(), bandMoved);
  EXPECT_TRUE(aWindow.isNull());
  TTestLabel* again = Find("A");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Tag(), 0);
  const QPointer<QWidget> againWindow = PeerWidget(again);
  Designer->Redo();
  EXPECT_EQ(Find("A")->Tag(), 5);
  EXPECT_FALSE(againWindow.isNull());

  // A step whose streams are equal changed something not stored: made again too.
  Designer->ChangeComponents("Unstored", {Find("A")}, [] {});
  Designer->Undo();
  EXPECT_TRUE(againWindow.isNull());
  EXPECT_EQ(Find("A")->Tag(), 5);
}

TEST_F(EditingTest, TwoHundredRandomEditsUndoToTheFirstBytesAndRedoToTheLast) {
  TTestBand* band2 = AddBand("Band2", 20);
  for (int i = 0; i < 6; ++i) AddLabel(i % 2 ? Band : band2, "Label" + std::to_string(i + 1), 8 * i, 4 * i);
  const std::string first = RootBytes();
  std::mt19937 random(20261209);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto labels = [&] {
    std::vector<TComponent*> list;
    for (TComponent* c : Root->OwnedComponents())
      if (dynamic_cast<TTestLabel*>(c)) list.push_back(c);
    return list;
  };
  auto selectSome = [&] {
    std::vector<TComponent*> all = labels();
    std::vector<TComponent*> chosen;
    for (TComponent* c : all)
      if (pick(3) == 0) chosen.push_back(c);
    if (chosen.empty() && !all.empty()) chosen.push_back(all[static_cast<size_t>(pick(int(all.size())))]);
    SelectOnly(chosen);
  };
  bool insert = false;
  Designer->OnComponentInserting = [&insert](TObject*, TComponentClass& cls) {
    if (insert) cls = &TTestLabel::StaticClass();
  };
  const uint16_t arrows[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN};
  for (int edit = 0; edit < 200; ++edit) {
    selectSome();
    switch (pick(10)) {
      case 0: Key(arrows[pick(4)], {ssCtrl}); break;
      case 1: Key(arrows[pick(4)], {ssShift}); break;
      case 2: Align(static_cast<TZQKDesignerAlign>(pick(6)), static_cast<TZQKDesignerAlign>(pick(6))); break;
      case 3: Designer->SelectedComponents().AlignToGrid(); break;
      case 4: Designer->SelectedComponents().BringToFront(); break;
      case 5: Designer->SelectedComponents().SendToBack(); break;
      case 6:
        if (labels().size() > 3) Designer->DeleteSelectedComponents();
        break;
      case 7:
        Designer->CopyToClipboard();
        Designer->PasteFromClipboard();
        break;
      case 8: {
        TWinControl* band = pick(2) ? Band : band2;
        insert = true;
        Drag(band, {8 * pick(60), 4 * pick(15)}, {8 * pick(60) + 16, 4 * pick(15) + 8});
        insert = false;
        break;
      }
      default: {
        TControl* k = Sel()->LastControl();
        if (k && k != Root) Drag(k, {2, 2}, {2 + pick(20), 2 + pick(20)});
        break;
      }
    }
  }
  const std::string last = RootBytes();
  ASSERT_NE(first, last);
  ASSERT_GT(Designer->History().Count(), 100u);
  while (Designer->CanUndo()) Designer->Undo();
  EXPECT_EQ(RootBytes(), first);
  while (Designer->CanRedo()) Designer->Redo();
  EXPECT_EQ(RootBytes(), last);
}

}  // namespace
}  // namespace rpt::test
