#include <QLabel>
#include <QTest>

#include "framework/QtCanvas.h"
#include "objects/Exceptions.h"
#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

TPoint QPointToT(QPoint p) { return {p.x(), p.y()}; }

// A root point in target's client coordinates.
TPoint At(TControl* root, TControl* target, int32_t x, int32_t y) {
  return ScreenToClient(target, ClientToScreen(root, {x, y}));
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(DesignerGridTest, StepsAreClampedAndAssignCopiesAllFour) {
  TOwnedPtr<TZQKDesigner> d(TComponent::Create<TZQKDesigner>(nullptr));
  d->Grid()->SetXStep(1);
  d->Grid()->SetYStep(33);
  EXPECT_EQ(d->Grid()->XStep(), 2);
  EXPECT_EQ(d->Grid()->YStep(), 32);
  TZQKDesignerGrid other;
  other.SetXStep(5);
  other.SetYStep(6);
  other.SetVisible(false);
  other.SetColor(clRed);
  d->SetGrid(&other);
  EXPECT_EQ(d->Grid()->XStep(), 5);
  EXPECT_EQ(d->Grid()->YStep(), 6);
  EXPECT_FALSE(d->Grid()->Visible());
  EXPECT_EQ(d->Grid()->Color(), clRed);
  // Inactive: the facade is empty, operations need an active designer, colours are stored.
  EXPECT_EQ(d->SelectedComponents().Count(), 0);
  EXPECT_EQ(d->SelectedComponents().LastSelected(), nullptr);
  EXPECT_EQ(ErrorOf([&] { d->SelectedComponents().Items(0); }), "List index out of bounds (0)");
  EXPECT_EQ(ErrorOf([&] { d->SelectedComponents().Clear(); }), "Designer must be active");
  EXPECT_EQ(ErrorOf([&] { d->Select({}); }), "Designer must be active");
  d->SetHandleColor(clBlue);
  EXPECT_EQ(d->HandleColor(), clBlue);
}

TEST_F(DesignerTest, ActivationMovesRootIntoPanelAndBack) {
  Designer->SetActive(true);
  ASSERT_TRUE(Designer->Active());
  EXPECT_EQ(Root->Parent(), Panel->Form());
  EXPECT_EQ(Root->Left(), 0);
  EXPECT_EQ(Root->Top(), 0);
  EXPECT_TRUE(Root->HasState(sfDesigning));
  EXPECT_TRUE(Band->HasState(sfDesigning));
  EXPECT_TRUE(Panel->Form()->HasState(sfDesigning));
  EXPECT_EQ(Designer->SelectedComponents().Count(), 1);
  EXPECT_EQ(Designer->SelectedComponents().Items(0), Root);
  EXPECT_EQ(Sel()->Item(0)->HandleState(), hsNone);
  EXPECT_EQ(ErrorOf([&] { Designer->SetDesignPanel(nullptr); }), "Designer must be inactive");
  EXPECT_EQ(ErrorOf([&] { Designer->SetDesignControl(nullptr); }), "Designer must be inactive");

  Root->SetBounds(0, 0, 500, 400);
  Designer->SetActive(false);
  EXPECT_FALSE(Designer->Active());
  EXPECT_EQ(Root->Parent(), nullptr);
  EXPECT_EQ(Root->BoundsRect(), (TRect{40, 30, 540, 430}));
  EXPECT_FALSE(Root->HasState(sfDesigning));
  EXPECT_FALSE(Band->HasState(sfDesigning));
  EXPECT_FALSE(Panel->Form()->HasState(sfDesigning));
  EXPECT_EQ(Panel->Form()->Designer(), nullptr);
}

TEST_F(DesignerTest, ActivationFailuresLeaveEverythingAsItWas) {
  TOwnedPtr<TZQKDesigner> d(TComponent::Create<TZQKDesigner>(nullptr));
  EXPECT_EQ(ErrorOf([&] { d->SetActive(true); }), "Design control not specified");

  TOwnedPtr<TPanel> outer(TComponent::Create<TPanel>(nullptr));
  Root->SetParent(outer.get());
  d->SetDesignControl(Root);
  d->SetDesignPanel(Panel);
  EXPECT_EQ(ErrorOf([&] { d->SetActive(true); }), "Design control parent must be nil");
  EXPECT_EQ(Root->Parent(), outer.get());
  EXPECT_EQ(Root->Left(), 40);
  Root->SetParent(nullptr);

  d->SetDesignPanel(nullptr);
  EXPECT_EQ(ErrorOf([&] { d->SetActive(true); }), "Design panel not specified");
  EXPECT_FALSE(d->Active());

  Designer->SetActive(true);
  TTestRoot* other = TComponent::Create<TTestRoot>(nullptr);
  d->SetDesignControl(other);
  d->SetDesignPanel(Panel);
  EXPECT_EQ(ErrorOf([&] { d->SetActive(true); }), "Design panel \"ZQKDesignPanel1\" is used by another designer");
  EXPECT_FALSE(d->Active());
  EXPECT_FALSE(other->HasState(sfDesigning));
  EXPECT_EQ(other->Parent(), nullptr);
  EXPECT_TRUE(Designer->Active());
  d->Free();
  d.release();
  other->Free();
}

TEST_F(DesignerTest, DestroyingThePanelOrRootDeactivates) {
  Designer->SetActive(true);
  AddLabel(Root, "Label1", 16, 24);
  Panel->Free();
  Panel = nullptr;
  EXPECT_FALSE(Designer->Active());
  EXPECT_EQ(Designer->DesignPanel(), nullptr);
  EXPECT_EQ(Root->Parent(), nullptr);
  EXPECT_FALSE(Root->HasState(sfDesigning));
}

TEST_F(DesignerTest, DestroyingTheRootDeactivatesAndForgetsIt) {
  Designer->SetActive(true);
  Root->Free();
  Root = TComponent::Create<TTestRoot>(nullptr);  // for TearDown
  EXPECT_FALSE(Designer->Active());
  EXPECT_EQ(Designer->DesignControl(), nullptr);
}

TEST_F(DesignerTest, SingleSelectionHandlesSitOutsideTheControl) {
  TTestLabel* label = AddLabel(Root, "Label1", 16, 24);
  Designer->SetActive(true);
  Sel()->SetHandlesActive(true);
  Designer->SelectedComponents().Clear();
  Designer->SelectedComponents().Add(label);
  ASSERT_EQ(Sel()->Count(), 1);
  TZQKSelCtrlItem* item = Sel()->Item(0);
  EXPECT_EQ(item->HandleState(), hsSingle);
  const int expected[8][2] = {{14, 22}, {46, 22}, {77, 22}, {77, 30}, {77, 38}, {46, 38}, {14, 38}, {14, 30}};
  const TCursor cursors[8] = {crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE, crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE};
  for (int i = 0; i < 8; ++i) {
    TZQKSelCtrlItemPoint* h = item->Handle(i);
    EXPECT_EQ(h->Left(), expected[i][0]) << i;
    EXPECT_EQ(h->Top(), expected[i][1]) << i;
    EXPECT_TRUE(h->Visible());
    EXPECT_EQ(h->Cursor(), cursors[i]);
    EXPECT_EQ(h->Color(), clBlack);
    EXPECT_EQ(h->BorderColor(), clBlack);
    ASSERT_NE(h->Window(), nullptr);
    EXPECT_EQ(h->Window()->geometry(), QRect(expected[i][0], expected[i][1], 5, 5));
    EXPECT_EQ(h->Window()->parentWidget(), PeerWidget(Root));
  }
}

TEST_F(DesignerTest, MultiSelectionHandlesAndColoursFollowStateFocusAndLocks) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  TTestLabel* b = AddLabel(Root, "Label2", 100, 24);
  Designer->SetActive(true);
  Sel()->SetHandlesActive(true);
  Designer->Select({a, b});
  ASSERT_EQ(Sel()->Count(), 2);
  for (int k = 0; k < 2; ++k) {
    TZQKSelCtrlItem* item = Sel()->Item(k);
    EXPECT_EQ(item->HandleState(), hsMulti);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(item->Handle(i)->Visible(), i % 2 == 0);
      EXPECT_EQ(item->Handle(i)->Color(), TColor(8421504));
      EXPECT_EQ(item->Handle(i)->Cursor(), crDefault);
    }
  }
  // Corner handles inside the rectangle.
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Left(), 16);
  EXPECT_EQ(Sel()->Item(0)->Handle(4)->Left(), 16 + 64 - 5);
  EXPECT_EQ(Sel()->Item(0)->Handle(4)->Top(), 24 + 17 - 5);

  Sel()->Remove(b);
  EXPECT_EQ(Sel()->Item(0)->HandleState(), hsSingle);
  EXPECT_TRUE(Sel()->Item(0)->Handle(1)->Visible());
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Left(), 14);

  Designer->LockComponent(a, {lmNoMove, lmNoResize});
  TZQKSelCtrlItemPoint* h = Sel()->Item(0)->Handle(3);
  EXPECT_EQ(h->Color(), TColor(255));
  EXPECT_EQ(h->BorderColor(), TColor(255));
  EXPECT_EQ(h->Cursor(), crDefault);

  // Without focus: inactive colours, no lock colours.
  Sel()->SetHandlesActive(false);
  EXPECT_EQ(h->Color(), TColor(8421504));
  EXPECT_EQ(h->BorderColor(), clBlack);
  Designer->SetInactiveHandleColor(clGreen);
  EXPECT_EQ(h->Color(), clGreen);
}

// A multi-selection's corner handles are drawn by one layer window per parent window:
// it shows them in their colours, takes presses on them and leaves the controls between
// them to the pointer; a single selection goes back to its eight handle windows.
TEST_F(DesignerTest, MultiSelectionHandlesAreOneLayerPerParentWindow) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  TTestLabel* b = AddLabel(Root, "Label2", 100, 24);
  TTestLabel* c = AddLabel(Band, "Label3", 10, 10);
  Designer->SetActive(true);
  Host->Show();
  Sel()->SetHandlesActive(true);
  Designer->SetMultiSelectHandleColor(clBlue);
  Designer->Select({a, b});
  QApplication::processEvents();
  QWidget* rootWindow = PeerWidget(Root);
  QWidget* layer = Sel()->HandleLayer(rootWindow);
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(Sel()->HandleLayer(PeerWidget(Band)), nullptr);
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Sel()->Item(k)->Handle(i)->Window(), nullptr) << k << i;
  // Handle 4 of Label2 is at (100 + 64 - 5, 24 + 17 - 5); the label's middle is free.
  const QPoint corner(100 + 64 - 5 + 2, 24 + 17 - 5 + 2);
  EXPECT_EQ(rootWindow->childAt(corner), layer);
  EXPECT_EQ(rootWindow->childAt(QPoint(100 + 32, 24 + 8)), PeerWidget(b));
  EXPECT_EQ(rootWindow->childAt(QPoint(60, 60)), nullptr);
  const QImage picture = rootWindow->grab().toImage();
  EXPECT_EQ(QColor(picture.pixel(corner)), QColor(Qt::blue));
  EXPECT_EQ(QColor(picture.pixel(QPoint(100 + 64 - 5, 24 + 17 - 5))), ToQColor(TColor(8421504)));  // border
  // Hidden and shown at once (a drag takes its picture of the surface right after).
  Sel()->SetHandlesVisible(false);
  EXPECT_EQ(Sel()->HandleLayer(rootWindow), nullptr);
  Sel()->SetHandlesVisible(true);
  EXPECT_EQ(Sel()->HandleLayer(rootWindow), layer);
  // Lock colours follow into the layer.
  Designer->LockComponent(b, {lmNoMove});
  QApplication::processEvents();
  EXPECT_EQ(QColor(rootWindow->grab().toImage().pixel(corner)), ToQColor(TColor(255)));
  // Across two parents: one layer each.
  Designer->Select({a, b, c});
  QApplication::processEvents();
  EXPECT_NE(Sel()->HandleLayer(PeerWidget(Band)), nullptr);
  // Back to one: the layers go, the handle windows come.
  Sel()->SelectOnly(a);
  QApplication::processEvents();
  EXPECT_EQ(Sel()->HandleLayer(rootWindow), nullptr);
  EXPECT_EQ(Sel()->HandleLayer(PeerWidget(Band)), nullptr);
  ASSERT_NE(Sel()->Item(0)->Handle(1)->Window(), nullptr);
  EXPECT_TRUE(Sel()->Item(0)->Handle(1)->Window()->isVisible());
  // A layer follows controls that move under it.
  Designer->Select({a, b});
  b->SetBounds(200, 50, 64, 17);
  Sel()->PlaceHandles();
  QApplication::processEvents();
  EXPECT_EQ(rootWindow->childAt(QPoint(200 + 64 - 3, 50 + 17 - 3)), Sel()->HandleLayer(rootWindow));
  EXPECT_NE(rootWindow->childAt(corner), Sel()->HandleLayer(rootWindow));
}

TEST_F(DesignerTest, OneSelectionEventPerUpdateAndSelectOnlyKeepsTheItem) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  TTestLabel* b = AddLabel(Root, "Label2", 100, 24);
  TTestLabel* c = AddLabel(Root, "Label3", 200, 24);
  Designer->SetActive(true);
  SelectionChanges = 0;
  Sel()->BeginUpdate();
  Sel()->Add(a);
  Sel()->Add(b);
  Sel()->Add(c);
  Sel()->Remove(Root);
  EXPECT_EQ(SelectionChanges, 0);
  Sel()->EndUpdate();
  EXPECT_EQ(SelectionChanges, 1);
  TZQKSelCtrlItem* itemB = Sel()->Item(1);
  Sel()->SelectOnly(b);
  EXPECT_EQ(SelectionChanges, 2);
  ASSERT_EQ(Sel()->Count(), 1);
  EXPECT_EQ(Sel()->Item(0), itemB);
  Sel()->EndUpdate();  // never below zero
  Sel()->BeginUpdate();
  Sel()->Add(a);
  EXPECT_EQ(SelectionChanges, 2);
  Sel()->EndUpdate();
  EXPECT_EQ(SelectionChanges, 3);

  // A selected control that is destroyed leaves the selection with one event.
  a->Free();
  EXPECT_EQ(SelectionChanges, 4);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Label2"});

  TOwnedPtr<TTestLabel> stranger(TComponent::Create<TTestLabel>(nullptr));
  stranger->SetName("Stranger");
  EXPECT_EQ(ErrorOf([&] { Sel()->Add(stranger.get()); }), "Component \"Stranger\" can not be selected");
  TTestData* data = TComponent::Create<TTestData>(Root);
  data->SetName("Data1");
  EXPECT_EQ(ErrorOf([&] { Designer->SelectedComponents().Add(data); }),
            "Component \"Data1\" has no visual representation");
}

TEST_F(DesignerTest, SnappingRoundsHalvesToEven) {
  TTestLabel* label = AddLabel(Root, "Label1", 96, 48);
  Designer->SetActive(true);
  const struct {
    int32_t toX, expectedLeft;
  } cases[] = {{106, 104}, {105, 96}, {113, 112}, {97, 96}, {89, 80}, {93, 88}};
  for (const auto& c : cases) {
    label->SetBounds(96, 48, 64, 17);
    Drag(label, At(Root, label, 101, 53), At(Root, label, c.toX, 53));
    EXPECT_EQ(label->Left(), c.expectedLeft) << c.toX;
    EXPECT_EQ(label->Top(), 48);
    EXPECT_EQ(label->Width(), 64);
    EXPECT_FALSE(Engine()->Dragging());
    EXPECT_EQ(GetCaptureControl(), nullptr);
  }
  // Off-grid positions keep their offset.
  label->SetBounds(13, 21, 64, 17);
  Drag(label, {2, 2}, {10, 2});
  EXPECT_EQ(label->BoundsRect(), (TRect{21, 21, 85, 38}));
  // Without snapping the pointer's own movement counts.
  Designer->SetSnapToGrid(false);
  Drag(label, {2, 2}, {5, 4});
  EXPECT_EQ(label->Left(), 24);
  EXPECT_EQ(label->Top(), 23);
}

TEST_F(DesignerTest, InsertionStartsOnTheGridAndUsesTheDraggedSize) {
  Designer->SetActive(true);
  bool inserting = true;
  Designer->OnComponentInserting = [&](TObject*, TComponentClass& cls) {
    if (inserting) cls = &TTestLabel::StaticClass();
  };
  int inserted = 0;
  Designer->OnComponentInserted = [&](TObject*) { ++inserted; };
  const TPoint p = At(Panel->Form(), Root, 21, 13);
  Send(Root, WM_LBUTTONDOWN, p);
  Send(Root, WM_LBUTTONUP, p);
  ASSERT_EQ(Root->ComponentCount(), 2);
  auto* first = dynamic_cast<TTestLabel*>(Root->Components(1));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Name(), "TestLabel1");
  EXPECT_EQ(first->BoundsRect(), (TRect{24, 16, 24 + 64, 16 + 17}));
  EXPECT_EQ(first->Parent(), Root);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"TestLabel1"});
  EXPECT_EQ(inserted, 1);
  EXPECT_GE(Changes, 1);

  // One grid step right and down gives a 9 x 9 component, inside the band.
  const TPoint q = At(Root, Band, 21, 213);
  Drag(Band, q, {q.X + 8, q.Y + 8});
  auto* second = dynamic_cast<TTestLabel*>(Root->Components(2));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Name(), "TestLabel2");
  EXPECT_EQ(second->Parent(), Band);
  EXPECT_EQ(second->BoundsRect(), (TRect{24, 16, 33, 25}));  // (24, 216) in the form
  inserted = 0;

  // An insert-locked container refuses insertion; the press selects instead.
  Designer->LockComponent(Band, {lmNoInsertIn});
  Send(Band, WM_LBUTTONDOWN, {100, 50});
  Send(Band, WM_LBUTTONUP, {100, 50});
  EXPECT_EQ(inserted, 0);
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Band1"});

  // A name the host forces twice fails the second time and leaves nothing behind.
  Designer->OnGetUniqueName = [](TObject*, const std::string&, std::string& name) { name = "Total"; };
  Send(Root, WM_LBUTTONDOWN, {300, 20});
  Send(Root, WM_LBUTTONUP, {300, 20});
  EXPECT_NE(Root->FindComponent("Total"), nullptr);
  const int count = Root->ComponentCount();
  Send(Root, WM_LBUTTONDOWN, {300, 60});
  EXPECT_THROW(Send(Root, WM_LBUTTONUP, {300, 60}), Exception);
  EXPECT_EQ(Root->ComponentCount(), count);
  EXPECT_FALSE(Engine()->Dragging());
  EXPECT_EQ(GetCaptureControl(), nullptr);
}

TEST_F(DesignerTest, ResizeByHandles) {
  TTestLabel* label = AddLabel(Root, "Label1", 96, 48);
  Designer->SetActive(true);
  Designer->Select({label});
  std::string lastHint;
  // Middle right handle: only the width changes.
  QWidget* h3 = Sel()->Item(0)->Handle(3)->Window();
  ASSERT_NE(h3, nullptr);
  QTest::mousePress(h3, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
  ASSERT_TRUE(Engine()->Dragging());
  EXPECT_EQ(Engine()->DragKind(), dkResize);
  EXPECT_FALSE(Sel()->HandlesVisible());
  const TPoint start = ScreenToClient(Root, QPointToT(h3->mapToGlobal(QPoint(2, 2))));
  Send(Root, WM_MOUSEMOVE, {start.X + 16, start.Y + 11});
  EXPECT_EQ(Engine()->Hint()->Text(), "80 x 17");
  Send(Root, WM_LBUTTONUP, {start.X + 16, start.Y + 11});
  EXPECT_EQ(label->BoundsRect(), (TRect{96, 48, 176, 65}));
  EXPECT_TRUE(Sel()->HandlesVisible());

  // Middle left handle dragged past the right edge: the rectangle flips.
  QWidget* h7 = Sel()->Item(0)->Handle(7)->Window();
  ASSERT_NE(h7, nullptr);
  QTest::mousePress(h7, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
  const TPoint s7 = ScreenToClient(Root, QPointToT(h7->mapToGlobal(QPoint(2, 2))));
  Send(Root, WM_MOUSEMOVE, {s7.X + 96, s7.Y});
  Send(Root, WM_LBUTTONUP, {s7.X + 96, s7.Y});
  EXPECT_EQ(label->BoundsRect(), (TRect{176, 48, 192, 65}));

  // A resize-locked control ignores its handles.
  Designer->LockComponent(label, {lmNoResize});
  QWidget* h4 = Sel()->Item(0)->Handle(4)->Window();
  QTest::mousePress(h4, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
  EXPECT_FALSE(Engine()->Dragging());
}

TEST_F(DesignerTest, ShiftAndCtrlSelectionRules) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  TTestLabel* inBand = AddLabel(Band, "Label2", 16, 10);
  TTestLabel* inBand2 = AddLabel(Band, "Label3", 200, 10);
  Designer->SetActive(true);
  Send(a, WM_LBUTTONDOWN, {2, 2});
  Send(a, WM_LBUTTONUP, {2, 2});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Label1"});
  Send(Band, WM_LBUTTONDOWN, {300, 80}, {ssShift});
  Send(Band, WM_LBUTTONUP, {300, 80}, {ssShift});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Label1", "Band1"}));
  // Shift on the root with others selected changes nothing.
  Send(Root, WM_LBUTTONDOWN, {500, 10}, {ssShift});
  Send(Root, WM_LBUTTONUP, {500, 10}, {ssShift});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Label1", "Band1"}));
  // Shift on a selected band deselects it; emptying the selection leaves the root.
  Send(Band, WM_LBUTTONDOWN, {300, 80}, {ssShift});
  Send(Band, WM_LBUTTONUP, {300, 80}, {ssShift});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Label1"});
  Send(a, WM_LBUTTONDOWN, {2, 2}, {ssShift});
  Send(a, WM_LBUTTONUP, {2, 2}, {ssShift});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Root"});

  // Ctrl on a label in the band: a rubber band in the band selects the band's children it meets.
  Send(inBand, WM_LBUTTONDOWN, {1, 1}, {ssCtrl});
  ASSERT_TRUE(Engine()->Dragging());
  EXPECT_EQ(Engine()->DragKind(), dkRubberBand);
  EXPECT_EQ(Engine()->DragCanvas()->Container(), Band);
  Send(inBand, WM_MOUSEMOVE, {200, 5}, {ssCtrl});  // band x 216: touches Label3's left edge
  EXPECT_EQ(Engine()->DragCanvas()->Shapes().size(), 1u);
  Send(inBand, WM_LBUTTONUP, {200, 5}, {ssCtrl});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Label2", "Label3"}));
  (void)inBand2;

  // A band over empty root area leaves the root alone selected.
  Drag(Root, {400, 20}, {450, 60});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Root"});
}

TEST_F(DesignerTest, MovingGroupsLocksAndHints) {
  TTestLabel* a = AddLabel(Root, "Label1", 10, 40);
  TTestLabel* b = AddLabel(Root, "Label2", 100, 30);
  TTestLabel* c = AddLabel(Band, "Label3", 10, 10);
  Designer->SetActive(true);
  Designer->Select({a, b, c});
  // A press on a selected control drags its selected siblings; others are deselected.
  Send(a, WM_LBUTTONDOWN, {5, 5});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Label1", "Label2"}));
  EXPECT_EQ(Engine()->Hint()->Text(), "10, 30");
  Send(a, WM_MOUSEMOVE, {21, 13});
  EXPECT_EQ(Engine()->Hint()->Text(), "26, 38");
  EXPECT_EQ(Engine()->DragCanvas()->Shapes().size(), 2u);
  Send(a, WM_LBUTTONUP, {21, 13});
  EXPECT_EQ(a->BoundsRect(), (TRect{26, 48, 90, 65}));
  EXPECT_EQ(b->BoundsRect(), (TRect{116, 38, 180, 55}));
  EXPECT_EQ(c->Left(), 10);

  // A move-locked member stays behind; alone it is selected but does not move.
  Designer->LockComponent(b, {lmNoMove});
  Send(a, WM_LBUTTONDOWN, {5, 5});
  Send(a, WM_MOUSEMOVE, {13, 5});
  Send(a, WM_LBUTTONUP, {13, 5});
  EXPECT_EQ(a->Left(), 34);
  EXPECT_EQ(b->Left(), 116);
  Send(b, WM_LBUTTONDOWN, {5, 5});
  EXPECT_FALSE(Engine()->Dragging());
  Send(b, WM_MOUSEMOVE, {30, 30});
  Send(b, WM_LBUTTONUP, {30, 30});
  EXPECT_EQ(SelectedNames(), std::vector<std::string>{"Label2"});
  EXPECT_EQ(b->Left(), 116);
}

TEST_F(DesignerTest, EscapeAndRightButtonCancelDrags) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  Designer->SetActive(true);
  int popups = 0;
  Designer->OnContextPopup = [&](TObject*, TPoint, bool&) { ++popups; };
  Changes = 0;
  Send(a, WM_LBUTTONDOWN, {5, 5});
  Send(a, WM_MOUSEMOVE, {40, 40});
  EXPECT_FALSE(Sel()->HandlesVisible());
  Key(VK_ESCAPE);
  EXPECT_FALSE(Engine()->Dragging());
  EXPECT_TRUE(Sel()->HandlesVisible());
  EXPECT_EQ(GetCaptureControl(), nullptr);
  Send(a, WM_LBUTTONUP, {40, 40});
  EXPECT_EQ(a->Left(), 16);
  EXPECT_EQ(Changes, 0);

  Send(a, WM_LBUTTONDOWN, {5, 5});
  Send(a, WM_MOUSEMOVE, {40, 40});
  Send(a, WM_RBUTTONUP, {40, 40});
  EXPECT_FALSE(Engine()->Dragging());
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(a->Left(), 16);
  EXPECT_TRUE(Engine()->DragCanvas() == nullptr);
}

TEST_F(DesignerTest, WheelNotchesAndClicks) {
  AddLabel(Root, "Label1", 16, 24);
  Designer->SetActive(true);
  int downs = 0, ups = 0, clicks = 0;
  Designer->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool&) { ++downs; };
  Designer->OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool&) { ++ups; };
  Designer->OnClick = [&](TObject*) { ++clicks; };
  auto wheel = [&](int delta) {
    TMessage m(WM_MOUSEWHEEL);
    m.WheelDelta = delta;
    m.ScreenPos = ClientToScreen(Root, {5, 5});
    Perform(Root, m);
  };
  wheel(-360);
  EXPECT_EQ(downs, 3);
  wheel(-60);
  wheel(-60);
  EXPECT_EQ(downs, 4);
  wheel(60);
  EXPECT_EQ(ups, 0);
  EXPECT_EQ(Designer->WheelAccumulator(), 60);
  Drag(Root, {300, 10}, {300, 10});
  EXPECT_EQ(clicks, 1);
}

TEST_F(DesignerTest, NamesAndRenameChecks) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  Designer->SetActive(true);
  EXPECT_EQ(Engine()->MakeUniqueName("TTestLabel"), "TestLabel1");
  EXPECT_EQ(Engine()->MakeUniqueName("X"), "X1");
  EXPECT_EQ(Engine()->MakeUniqueName("TLabel"), "Label2");
  EXPECT_EQ(ErrorOf([&] { Engine()->CheckRename(a, "Label1", "1abc"); }), "''1abc'' is not a valid component name");
  EXPECT_EQ(ErrorOf([&] { Engine()->CheckRename(a, "Label1", "LABEL1"); }), "A component named LABEL1 already exists");
  Designer->OnValidateName = [](TObject*, const std::string& name, bool& ok) { ok = name != "Forbidden"; };
  EXPECT_EQ(ErrorOf([&] { Engine()->CheckRename(a, "Label1", "Forbidden"); }),
            "''Forbidden'' is not a valid component name");
  EXPECT_EQ(ErrorOf([&] { Engine()->CheckRename(a, "Label1", "Fine"); }), "(no error)");
  EXPECT_EQ(ErrorOf([&] { Engine()->SetHostForm(nullptr); }), "Not implemented");
}

TEST_F(DesignerTest, ProxiesStandForNonvisualComponents) {
  TTestData* data = TComponent::Create<TTestData>(Root);
  data->SetName("Data1");
  data->SetDesignPosition(40, 56);
  Designer->SetActive(true);
  Designer->SetShowNonvisualComponents(true);
  TControl* proxy = Engine()->ControlOf(data);
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(proxy->BoundsRect(), (TRect{40, 56, 68, 84}));
  proxy->SetBounds(8, 16, 100, 50);
  EXPECT_EQ(proxy->Width(), 28);
  EXPECT_EQ(data->DesignLeft(), 8);
  EXPECT_EQ(data->DesignTop(), 16);
  Designer->SelectedComponents().Add(data);
  EXPECT_EQ(Designer->SelectedComponents().LastSelected(), data);
  data->Free();
  EXPECT_EQ(Engine()->Proxies().size(), 0u);
  EXPECT_EQ(Designer->SelectedComponents().Count(), 1);
}

TEST_F(DesignerTest, GridDotsAtMultiplesOfTheSteps) {
  Root->SetBounds(40, 30, 200, 100);
  Designer->SetActive(true);
  Designer->Grid()->SetXStep(8);
  Designer->Grid()->SetYStep(6);
  QWidget* form = PeerWidget(Panel->Form());
  ASSERT_NE(form, nullptr);
  const QImage image = form->grab().toImage();
  // Right of the root: dots only where both coordinates are multiples of the steps.
  EXPECT_EQ(image.pixelColor(208, 12), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(209, 12), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(208, 13), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(400, 300), QColor(Qt::black));
  Designer->Grid()->SetVisible(false);
  const QImage plain = form->grab().toImage();
  EXPECT_NE(plain.pixelColor(208, 12), QColor(Qt::black));
}

}  // namespace
}  // namespace rpt::test

namespace rpt::test {
namespace {

TEST_F(DesignerTest, HandlesFollowAMoveMadeElsewhereAfterThePostedUpdate) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  Designer->SetActive(true);
  Designer->Select({a});
  a->SetBounds(100, 60, 64, 17);  // e.g. from the property inspector
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Left(), 14);  // not yet: the update is posted
  QApplication::processEvents();
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Left(), 98);
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Top(), 58);
  EXPECT_EQ(Sel()->Item(0)->Handle(0)->Window()->pos(), QPoint(98, 58));
}

TEST_F(DesignerTest, ComponentHintNamesTheControlUnderThePointer) {
  TTestLabel* a = AddLabel(Root, "Label1", 16, 24);
  TTestLabel* b = AddLabel(Root, "Label2", 200, 24);
  Designer->SetActive(true);
  Send(a, WM_MOUSEMOVE, {3, 3});
  EXPECT_EQ(Engine()->Hint()->Text(), "Label1: TTestLabel");
  EXPECT_EQ(Engine()->Hint()->Control(), a);
  // A host replaces the text; moving onto the root hides the hint.
  Designer->OnComponentHint = [](TObject*, TComponent* c, std::string& hint) { hint = "<" + c->Name() + ">"; };
  Send(b, WM_MOUSEMOVE, {3, 3});
  EXPECT_EQ(Engine()->Hint()->Text(), "<Label2>");
  Engine()->Hint()->Show();
  EXPECT_TRUE(Engine()->Hint()->Shown());
  // Shown as typed, not as markup.
  ASSERT_NE(Engine()->Hint()->Window(), nullptr);
  EXPECT_EQ(Engine()->Hint()->Window()->text(), QString("<Label2>"));
  EXPECT_EQ(Engine()->Hint()->Window()->textFormat(), Qt::PlainText);
  // Blocks the host appends after a bare CR start new lines.
  Designer->OnComponentHint = [](TObject*, TComponent*, std::string& hint) { hint += "\rCaption: Total"; };
  Send(a, WM_MOUSEMOVE, {3, 3});
  Engine()->Hint()->Show();
  EXPECT_EQ(Engine()->Hint()->Window()->text(), QString("Label1: TTestLabel\nCaption: Total"));
  Send(Root, WM_MOUSEMOVE, {400, 100});
  EXPECT_FALSE(Engine()->Hint()->Shown());
  // Without dhComponent no component hint; a drag hint still follows its own member.
  Designer->SetHints({dhMove});
  Send(a, WM_MOUSEMOVE, {3, 3});
  EXPECT_FALSE(Engine()->Hint()->Shown());
  Send(a, WM_LBUTTONDOWN, {3, 3});
  EXPECT_TRUE(Engine()->Hint()->Shown());
  EXPECT_EQ(Engine()->Hint()->Text(), "16, 24");
  Send(a, WM_LBUTTONUP, {3, 3});
  EXPECT_FALSE(Engine()->Hint()->Shown());
}

}  // namespace
}  // namespace rpt::test

namespace rpt::test {
namespace {

TEST_F(DesignerTest, KeyboardContextMenuOpensNextToTheSelectedControl) {
  TTestLabel* a = AddLabel(Band, "Label1", 16, 10);
  TOwnedPtr<TPopupMenu> menu(TComponent::Create<TPopupMenu>(nullptr));
  Designer->SetPopupMenu(menu.get());
  Designer->SetActive(true);
  auto request = [&](TControl* target) {
    TMessage m(WM_CONTEXTMENU);
    m.ScreenPos = {-1, -1};
    Perform(target, m);
    return m.Result;
  };
  EXPECT_EQ(request(Root), 1);
  EXPECT_EQ(Engine()->LastPopupPoint(), ClientToScreen(Panel->Form(), {0, 0}));
  EXPECT_EQ(menu->PopupComponent(), Designer);
  Designer->Select({a});
  request(a);
  EXPECT_EQ(Engine()->LastPopupPoint(), ClientToScreen(a, {64, 0}));
  // A handler that handles the request keeps the menu shut.
  Designer->OnContextPopup = [](TObject*, TPoint, bool& handled) { handled = true; };
  Designer->Select({Band});
  request(a);
  EXPECT_EQ(Engine()->LastPopupPoint(), ClientToScreen(a, {64, 0}));
  Designer->SetPopupMenu(nullptr);
}

}  // namespace
}  // namespace rpt::test
