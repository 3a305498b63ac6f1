#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>

#include "framework/Controls.h"
#include "framework/Peer.h"

namespace rpt {
namespace {

// A form of 200 x 100 with two panels; headless unless a test shows it.
class ScrollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = TComponent::Create<TForm>(nullptr);
    Form->SetBounds(0, 0, 200, 100);
    Form->SetAutoScroll(true);
    Top = AddPanel(10, 20, 150, 50);
    Low = AddPanel(30, 400, 60, 30);
  }
  void TearDown() override {
    Form->Free();
    QApplication::processEvents();
  }
  TPanel* AddPanel(int32_t l, int32_t t, int32_t w, int32_t h) {
    auto* p = TComponent::Create<TPanel>(Form);
    p->SetBounds(l, t, w, h);
    p->SetParent(Form);
    return p;
  }
  TControlScrollBar* H() const { return Form->HorzScrollBar(); }
  TControlScrollBar* V() const { return Form->VertScrollBar(); }

  const int32_t Ext = TCustomForm::ScrollBarExtent();
  TForm* Form = nullptr;
  TPanel* Top = nullptr;
  TPanel* Low = nullptr;
};

TEST_F(ScrollTest, AutoRangesFollowTheChildrenAndTheBarsTakeClientRoom) {
  EXPECT_EQ(V()->Range(), 430);
  EXPECT_EQ(H()->Range(), 160);
  EXPECT_TRUE(V()->IsScrollBarVisible());
  // 160 fits beside the vertical bar.
  EXPECT_FALSE(H()->IsScrollBarVisible());
  EXPECT_EQ(Form->ClientWidth(), 200 - Ext);
  EXPECT_EQ(Form->ClientHeight(), 100);

  // A child that needs the width the vertical bar took brings the second bar.
  Top->SetWidth(200 - Ext);
  EXPECT_TRUE(H()->IsScrollBarVisible());
  EXPECT_EQ(Form->ClientHeight(), 100 - Ext);

  V()->SetMargin(12);
  EXPECT_EQ(V()->Range(), 442);

  // Removing the low child shrinks the range; the bar goes away when all fits.
  Top->SetWidth(150);
  Low->Free();
  Low = nullptr;
  EXPECT_EQ(V()->Range(), 82);
  EXPECT_FALSE(V()->IsScrollBarVisible());
  EXPECT_FALSE(H()->IsScrollBarVisible());
  EXPECT_EQ(Form->ClientWidth(), 200);
}

TEST_F(ScrollTest, HidingAndShowingAChildUpdatesTheRanges) {
  Low->SetVisible(false);
  EXPECT_EQ(V()->Range(), 70);
  EXPECT_FALSE(V()->IsScrollBarVisible());
  Low->SetVisible(true);
  EXPECT_EQ(V()->Range(), 430);
  EXPECT_TRUE(V()->IsScrollBarVisible());
}

TEST_F(ScrollTest, WithoutAutoScrollTheRangesStayPut) {
  Form->SetAutoScroll(false);
  Low->SetTop(900);
  EXPECT_EQ(V()->Range(), 430);
  // A range set by hand ends AutoScroll.
  Form->SetAutoScroll(true);
  EXPECT_EQ(V()->Range(), 930);
  V()->SetRange(300);
  EXPECT_FALSE(Form->AutoScroll());
  EXPECT_TRUE(V()->StoreRange());
  Low->SetTop(2000);
  EXPECT_EQ(V()->Range(), 300);
  // An invisible bar never shows and keeps its position at 0.
  V()->SetVisible(false);
  EXPECT_FALSE(V()->IsScrollBarVisible());
  Form->ScrollBy(0, -50);
  EXPECT_EQ(V()->Position(), 0);
}

TEST_F(ScrollTest, ScrollByMovesTheChildrenAndClampsThePositions) {
  Form->ScrollBy(0, -45);
  EXPECT_EQ(Form->ScrollPos(), (TPoint{0, 45}));
  EXPECT_EQ(Top->Top(), 20 - 45);
  EXPECT_EQ(Low->Top(), 400 - 45);
  // Ranges are logical: scrolling does not change them.
  EXPECT_EQ(V()->Range(), 430);

  Form->ScrollBy(0, -10000);
  EXPECT_EQ(V()->Position(), 430 - Form->ClientHeight());
  EXPECT_EQ(Low->Top() + Low->Height(), Form->ClientHeight());
  Form->ScrollBy(0, 10000);
  EXPECT_EQ(V()->Position(), 0);
  EXPECT_EQ(Top->Top(), 20);

  V()->SetPosition(-5);
  EXPECT_EQ(V()->Position(), 0);
  V()->SetPosition(100);
  EXPECT_EQ(Low->Top(), 300);
  Form->SetScrollPos({50, 9999});
  EXPECT_EQ(Form->ScrollPos(), (TPoint{0, 330}));  // no horizontal room at all

  // A range that shrinks below the position pulls the view back with the children.
  Low->SetTop(Low->Top() - 300);  // logical 100: the whole content is 130 high
  EXPECT_EQ(V()->Range(), 130);
  EXPECT_EQ(V()->Position(), 30);
  EXPECT_EQ(Top->Top(), 20 - 30);
}

TEST_F(ScrollTest, ScrollInViewScrollsAsLittleAsNeeded) {
  Form->ScrollInView(Low);
  EXPECT_EQ(Low->Top() + Low->Height(), Form->ClientHeight());
  EXPECT_EQ(V()->Position(), 430 - 100);
  // Back up to a control above the view: its top edge lands at the top.
  Form->ScrollInView(Top);
  EXPECT_EQ(Top->Top(), 0);
  EXPECT_EQ(V()->Position(), 20);
  // A control inside a child panel counts in form coordinates.
  auto* inner = TComponent::Create<TPanel>(Form);
  inner->SetBounds(5, 10, 20, 10);
  inner->SetParent(Low);
  Form->ScrollInView(inner);
  EXPECT_EQ(Low->Top() + 10 + 10, Form->ClientHeight());
}

TEST_F(ScrollTest, ATallControlThatShowsInPartDoesNotJump) {
  Low->SetBounds(30, 60, 60, 500);
  Form->ScrollBy(0, -100);
  Form->ScrollInView(Low);  // top above the view, bottom below it: it shows
  EXPECT_EQ(V()->Position(), 100);
  Form->ScrollBy(0, -1000);
  EXPECT_EQ(V()->Position(), 460);
  Top->SetBounds(10, 20 - 460, 150, 200);  // taller than the view and above it
  Form->ScrollInView(Top);
  EXPECT_EQ(Top->Top(), 0);
}

TEST_F(ScrollTest, ThePeerShowsBarsOnlyWhenNeededAndTheyScrollTheModel) {
  Form->Show();
  QApplication::processEvents();
  QScrollBar* vbar = PeerScrollBar(Form, sbVertical);
  ASSERT_NE(vbar, nullptr);
  EXPECT_TRUE(vbar->isVisible());
  EXPECT_EQ(vbar->geometry(), QRect(200 - Ext, 0, Ext, 100));
  EXPECT_EQ(vbar->maximum(), 330);
  EXPECT_EQ(vbar->pageStep(), 100);
  EXPECT_TRUE(vbar->hasTracking());
  QScrollBar* hbar = PeerScrollBar(Form, sbHorizontal);
  EXPECT_TRUE(hbar == nullptr || !hbar->isVisible());

  // The bar drives the model; the child windows follow.
  vbar->setValue(70);
  EXPECT_EQ(V()->Position(), 70);
  EXPECT_EQ(Low->Top(), 330);
  EXPECT_EQ(PeerWidget(Low)->geometry(), QRect(30, 330, 60, 30));
  // And the model drives the bar, which stays in place.
  Form->ScrollBy(0, 20);
  EXPECT_EQ(vbar->value(), 50);
  EXPECT_EQ(vbar->geometry(), QRect(200 - Ext, 0, Ext, 100));

  // When everything fits again the bar hides and the view returns to the top.
  Low->SetTop(Low->Top() - 380);
  EXPECT_FALSE(vbar->isVisible());
  EXPECT_EQ(V()->Position(), 0);
  EXPECT_EQ(PeerWidget(Top)->geometry(), QRect(10, 20, 150, 50));
}

}  // namespace
}  // namespace rpt
