#include <QPointer>

#include "objects/Format.h"
#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

class DragFeedbackTest : public DesignerTest {
 protected:
  void SetUp() override {
    DesignerTest::SetUp();
    for (int i = 0; i < 6; ++i) Labels.push_back(AddLabel(Root, Format("Label%d", i + 1), 20 + 80 * i, 40));
    Labels.push_back(AddLabel(Band, "Label7", 30, 20));
    Designer->SetActive(true);
    QApplication::processEvents();
    for (TControl* c : Labels) Counters.push_back(std::make_unique<TPaintCounter>(PeerWidget(c)));
    Counters.push_back(std::make_unique<TPaintCounter>(PeerWidget(Band)));
    Counters.push_back(std::make_unique<TPaintCounter>(PeerWidget(Root)));
  }
  int Paints() const {
    int n = 0;
    for (const auto& c : Counters) n += c->Count;
    return n;
  }
  void Reset() {
    for (const auto& c : Counters) c->Count = 0;
  }
  // Many small pointer steps with the event loop running after each.
  void Steps(TControl* target, TPoint from, TPoint step, int count) {
    for (int i = 1; i <= count; ++i) {
      Send(target, WM_MOUSEMOVE, {from.X + step.X * i, from.Y + step.Y * i});
      QApplication::processEvents();
    }
  }
  std::vector<TTestLabel*> Labels;
  std::vector<std::unique_ptr<TPaintCounter>> Counters;
};

TEST_F(DragFeedbackTest, NothingUnderTheOverlayRepaintsDuringRubberBandAndMoveDrags) {
  // The counters do see ordinary repaints.
  Labels[0]->Invalidate();
  QApplication::processEvents();
  ASSERT_GT(Paints(), 0);

  Reset();
  Send(Root, WM_LBUTTONDOWN, {500, 10});
  ASSERT_TRUE(Engine()->Dragging());
  // The press renders each control once at most, for the overlay's picture.
  EXPECT_LE(Counters[0]->Count, 1);
  QPointer<QWidget> overlay = Engine()->DragCanvas()->Overlay();
  ASSERT_TRUE(overlay);
  TPaintCounter overlayPaints(overlay);
  Reset();
  Steps(Root, {500, 10}, {-9, 7}, 40);  // the band sweeps over the labels and the band
  EXPECT_EQ(Paints(), 0);
  EXPECT_GT(overlayPaints.Count, 0);
  Send(Root, WM_LBUTTONUP, {140, 290});
  EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"Band1", "Label2", "Label3", "Label4", "Label5", "Label6"}));
  EXPECT_TRUE(overlay.isNull());
  QApplication::processEvents();
  EXPECT_GT(Counters[0]->Count, 0);  // what was under the overlay shows again

  Designer->Select({Labels[0]});
  QApplication::processEvents();
  Send(Labels[0], WM_LBUTTONDOWN, {5, 5});
  ASSERT_EQ(Engine()->DragKind(), dkMove);
  Reset();
  Steps(Labels[0], {5, 5}, {3, 4}, 40);
  EXPECT_EQ(Paints(), 0);
  // The position hint still follows the drag.
  EXPECT_TRUE(Engine()->Hint()->Shown());
  EXPECT_EQ(Engine()->Hint()->Text(), "140, 200");
  Send(Labels[0], WM_LBUTTONUP, {125, 165});
  EXPECT_EQ(Labels[0]->BoundsRect(), (TRect{140, 200, 204, 217}));

  // What is pending is painted at the press, before the drag: here a control outside
  // the container of a Ctrl-drag in the band.
  QApplication::processEvents();
  Labels[1]->Invalidate();
  Reset();
  Send(Labels[6], WM_LBUTTONDOWN, {3, 3}, TShiftState{ssCtrl});
  ASSERT_EQ(Engine()->DragCanvas()->Container(), Band);
  EXPECT_EQ(Counters[1]->Count, 1);
  Send(Labels[6], WM_LBUTTONUP, {3, 3});
}

TEST_F(DragFeedbackTest, FiguresAreExclusiveOrOverThePictureAndHandlesStayPut) {
  // Move frames: white beneath becomes white xor grey on the 2-pixel outline only.
  Send(Labels[0], WM_LBUTTONDOWN, {5, 5});
  Send(Labels[0], WM_MOUSEMOVE, {5, 85});
  ASSERT_EQ(Engine()->DragCanvas()->Shapes().size(), 1u);
  const TRect frame = Engine()->DragCanvas()->Shapes()[0].Rect;
  EXPECT_EQ(frame, (TRect{20, 120, 84, 137}));
  QWidget* overlay = Engine()->DragCanvas()->Overlay();
  const QPoint o = overlay->geometry().topLeft();
  const QImage shown = overlay->grab().toImage();
  const int midY = (frame.Top + frame.Bottom) / 2 - o.y();
  const QColor xored(255 ^ 128, 255 ^ 128, 255 ^ 128);
  EXPECT_EQ(shown.pixelColor(frame.Left - o.x(), midY), xored);
  EXPECT_EQ(shown.pixelColor(frame.Left + 1 - o.x(), midY), xored);
  EXPECT_EQ(shown.pixelColor(frame.Left + 10 - o.x(), midY), QColor(Qt::white));
  // The control itself is still shown where it was.
  EXPECT_EQ(shown.pixelColor(30 - o.x(), 45 - o.y()), QColor(Qt::yellow));
  Key(VK_ESCAPE);
  EXPECT_EQ(Labels[0]->Left(), 20);

  // An insertion keeps the selection's handles: under the overlay they neither vanish
  // nor repaint.
  Designer->Select({Labels[1]});
  Designer->OnComponentInserting = [](TObject*, TComponentClass& cls) { cls = &TTestLabel::StaticClass(); };
  QWidget* handle = Sel()->Item(0)->Handle(0)->Window();
  ASSERT_NE(handle, nullptr);
  QApplication::processEvents();
  Send(Root, WM_LBUTTONDOWN, {300, 120});
  ASSERT_EQ(Engine()->DragKind(), dkInsert);
  TPaintCounter handlePaints(handle);
  Reset();
  Steps(Root, {300, 120}, {4, 3}, 20);
  EXPECT_TRUE(handle->isVisible());
  EXPECT_EQ(handlePaints.Count, 0);
  EXPECT_EQ(Paints(), 0);
  Key(VK_ESCAPE);
  EXPECT_EQ(Root->ComponentCount(), 8);
}

}  // namespace
}  // namespace rpt::test
