// Scrolling of the design panel: a page taller than the panel scrolls with bars and the
// wheel, and the grid, insertion, selection and handles keep to logical coordinates.
#include <QPointer>
#include <QScrollBar>

#include "objects/Filer.h"
#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

TPoint At(TControl* from, TControl* to, int32_t x, int32_t y) {
  return ScreenToClient(to, ClientToScreen(from, {x, y}));
}

// The fixture's root made page-like: taller than the 638 x 478 panel form.
class DesignerScrollTest : public DesignerTest {
 protected:
  void Activate(int32_t width = 560, int32_t height = 1200) {
    Root->SetBounds(40, 30, width, height);
    Designer->SetActive(true);
    Form = Panel->Form();
  }
  void Wheel(int32_t delta, TShiftState shift = {}) {
    TMessage m(WM_MOUSEWHEEL);
    m.WheelDelta = delta;
    m.Shift = shift;
    m.ScreenPos = ClientToScreen(Root, {5, 5});
    Perform(Root, m);
  }
  const int32_t Ext = TCustomForm::ScrollBarExtent();
  TZQKDesignPanelForm* Form = nullptr;
};

TEST_F(DesignerScrollTest, ThePanelPassesScrollingToItsFormWhichShowsTheNeededBar) {
  EXPECT_TRUE(Panel->AutoScroll());
  EXPECT_EQ(Panel->HorzScrollBar(), Panel->Form()->HorzScrollBar());
  EXPECT_EQ(Panel->VertScrollBar(), Panel->Form()->VertScrollBar());
  const TPropertyInfo* autoScroll = TZQKDesignPanel::StaticClass().FindProperty("AutoScroll");
  ASSERT_NE(autoScroll, nullptr);
  EXPECT_NE(TZQKDesignPanel::StaticClass().FindProperty("VertScrollBar"), nullptr);
  EXPECT_NE(TZQKDesignPanel::StaticClass().FindProperty("HorzScrollBar"), nullptr);

  Activate();
  EXPECT_EQ(Form->VertScrollBar()->Range(), 1200);
  QPointer<QScrollBar> vbar = PeerScrollBar(Form, sbVertical);
  ASSERT_NE(vbar, nullptr);
  EXPECT_TRUE(vbar->isVisible());
  EXPECT_EQ(vbar->x(), Form->Width() - Ext);
  QScrollBar* hbar = PeerScrollBar(Form, sbHorizontal);
  EXPECT_TRUE(hbar == nullptr || !hbar->isVisible());

  Panel->SetAutoScroll(false);
  EXPECT_FALSE(Form->AutoScroll());

  // Deactivation puts the root back and leaves nothing to scroll.
  Panel->SetAutoScroll(true);
  Form->ScrollBy(0, -100);
  Designer->SetActive(false);
  EXPECT_EQ(Root->BoundsRect(), (TRect{40, 30, 600, 1230}));
  EXPECT_EQ(Form->ScrollPos(), (TPoint{0, 0}));
  // The bar goes with the form's peer or at least stops showing.
  EXPECT_TRUE(vbar.isNull() || !vbar->isVisible());
}

TEST_F(DesignerScrollTest, GridDotsStayOnLogicalMultiplesAfterAnOddScroll) {
  Panel->HorzScrollBar()->SetMargin(600);  // room to scroll sideways past a narrow root
  Activate(200, 1200);
  Designer->Grid()->SetXStep(8);
  Designer->Grid()->SetYStep(6);
  const int rebuilds = Engine()->GridRebuilds();
  Form->ScrollBy(-5, -13);
  ASSERT_EQ(Form->ScrollPos(), (TPoint{5, 13}));
  const QImage image = PeerWidget(Form)->grab().toImage();
  EXPECT_GT(Engine()->GridRebuilds(), rebuilds);
  // Client (203, 11) is logical (208, 24).
  EXPECT_EQ(image.pixelColor(203, 11), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(208, 11), QColor(Qt::black));
  EXPECT_NE(image.pixelColor(203, 13), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(211, 17), QColor(Qt::black));
}

TEST_F(DesignerScrollTest, InsertionOnAScrolledPanelStartsOnTheLogicalGrid) {
  Activate(900, 1200);
  Designer->OnComponentInserting = [](TObject*, TComponentClass& cls) { cls = &TTestLabel::StaticClass(); };
  Form->ScrollBy(0, -13);
  // Logical (21, 29) lies at client (21, 16): the start snaps to logical (24, 32).
  const TPoint p = At(Form, Root, 21, 16);
  EXPECT_EQ(p, (TPoint{21, 29}));
  Send(Root, WM_LBUTTONDOWN, p);
  // While dragging, the pointer stays inside the client area, bars excluded.
  TRect clip;
  ASSERT_TRUE(GetClipCursor(clip));
  const TPoint f0 = ClientToScreen(Form, {0, 0});
  EXPECT_EQ(clip.Right, f0.X + Form->Width() - Ext);
  EXPECT_EQ(clip.Bottom, f0.Y + Form->Height() - Ext);
  EXPECT_EQ(Form->ClientWidth(), Form->Width() - Ext);
  Send(Root, WM_LBUTTONUP, p);
  ASSERT_EQ(Root->ComponentCount(), 2);
  auto* label = dynamic_cast<TTestLabel*>(Root->Components(1));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Left(), 24);
  EXPECT_EQ(label->Top(), 32);
}

TEST_F(DesignerScrollTest, SelectingAControlBelowTheFoldScrollsItInWithItsHandles) {
  TTestLabel* low = AddLabel(Root, "Low", 16, 900);
  Activate();
  ASSERT_EQ(Form->ScrollPos(), (TPoint{0, 0}));
  Designer->Select({low});
  const int32_t bottom = ScreenToClient(Form, ClientToScreen(low, {0, low->Height()})).Y;
  EXPECT_EQ(bottom, Form->ClientHeight());
  EXPECT_EQ(Form->VertScrollBar()->Position(), 917 - Form->ClientHeight());
  // The handle windows sit on the control's corners on the screen.
  QWidget* corner = Sel()->Item(0)->Handle(0)->Window();
  ASSERT_NE(corner, nullptr);
  const QPoint g = corner->mapToGlobal(QPoint(0, 0));
  EXPECT_EQ((TPoint{g.x(), g.y()}), ClientToScreen(low, {-2, -2}));
  // Scrolling by the bar keeps them there.
  PeerScrollBar(Form, sbVertical)->setValue(300);
  const QPoint g2 = corner->mapToGlobal(QPoint(0, 0));
  EXPECT_EQ((TPoint{g2.x(), g2.y()}), ClientToScreen(low, {-2, -2}));
  // Selecting the root itself (no handles) does not move the view.
  Designer->Select({Root});
  EXPECT_EQ(Form->VertScrollBar()->Position(), 300);
}

TEST_F(DesignerScrollTest, AnUnhandledWheelScrollsAndAHandledOneDoesNot) {
  Panel->HorzScrollBar()->SetMargin(400);
  Activate();
  Wheel(-120);
  EXPECT_EQ(Form->ScrollPos(), (TPoint{0, 24}));  // three lines of 8
  Wheel(-240, {ssShift});
  EXPECT_EQ(Form->ScrollPos(), (TPoint{48, 24}));
  Wheel(120);
  EXPECT_EQ(Form->ScrollPos(), (TPoint{48, 0}));

  int downs = 0;
  Designer->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& handled) {
    ++downs;
    handled = true;
  };
  Wheel(-120);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(Form->ScrollPos(), (TPoint{48, 0}));
  Designer->OnMouseWheel = [](TObject*, TShiftState, int32_t, TPoint, bool& handled) { handled = true; };
  Wheel(-360);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(Form->ScrollPos(), (TPoint{48, 0}));
}

TEST(DesignPanelStreamTest, ScrollSettingsTravelThroughTheStream) {
  TZQKDesignPanel* panel = TComponent::Create<TZQKDesignPanel>(nullptr);
  panel->SetName("ZQKDesignPanel1");
  panel->SetAutoScroll(false);
  panel->VertScrollBar()->SetRange(900);
  panel->VertScrollBar()->SetIncrement(16);
  panel->HorzScrollBar()->SetVisible(false);
  TMemoryStream stream;
  SaveComponent(stream, panel);
  panel->Free();
  // Fresh panels scroll automatically; the stream says otherwise here.
  TZQKDesignPanel* loaded = TComponent::Create<TZQKDesignPanel>(nullptr);
  EXPECT_TRUE(loaded->AutoScroll());
  stream.SetPosition(0);
  LoadComponent(stream, loaded);
  EXPECT_FALSE(loaded->AutoScroll());
  EXPECT_EQ(loaded->VertScrollBar()->Range(), 900);
  EXPECT_EQ(loaded->VertScrollBar()->Increment(), 16);
  EXPECT_FALSE(loaded->HorzScrollBar()->Visible());
  EXPECT_TRUE(loaded->VertScrollBar()->IsScrollBarVisible());
  loaded->Free();
}

TEST(DesignerFormRootScrollTest, HandlesOfAScrolledFormRootFollowAtOnce) {
  TForm* root = TComponent::Create<TForm>(nullptr);
  root->SetName("FormRoot");
  root->SetBounds(0, 0, 300, 200);
  root->SetAutoScroll(true);
  auto* label = TComponent::Create<TTestLabel>(root);
  label->SetName("Label1");
  label->SetBounds(16, 500, 64, 17);
  label->SetParent(root);
  auto* data = TComponent::Create<TTestData>(root);
  data->SetName("Data1");
  data->SetDesignPosition(50, 120);
  TZQKDesigner* designer = TComponent::Create<TZQKDesigner>(nullptr);
  designer->SetDesignControl(root);
  designer->SetShowNonvisualComponents(true);
  designer->SetActive(true);
  designer->Select({label});
  EXPECT_EQ(label->Top() + label->Height(), root->ClientHeight());
  TZQKSelCtrlItemPoint* corner = designer->Engine()->Selection()->Item(0)->Handle(0);
  EXPECT_EQ(corner->Top(), label->Top() - 2);
  root->ScrollBy(0, 100);
  EXPECT_EQ(corner->Top(), label->Top() - 2);
  EXPECT_EQ(corner->Left(), 14);
  // A proxy moves with the scroll; the design position it stands for stays logical.
  TZQKNonvisualControl* proxy = designer->Engine()->ProxyOf(data);
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(proxy->Top(), 120 - root->ScrollPos().Y);
  EXPECT_EQ(data->DesignTop(), 120);
  proxy->SetBounds(60, 10, 28, 28);  // dragged there on the scrolled form
  EXPECT_EQ(data->DesignTop(), 10 + root->ScrollPos().Y);
  designer->SetActive(false);
  designer->Free();
  root->Free();
}

}  // namespace
}  // namespace rpt::test
