// The object selector: its closed texts, the list it opens, and the choices that keys
// and the mouse make.
#include <gtest/gtest.h>

#include <QImage>
#include <QScreen>
#include <QTest>

#include "framework/QtCanvas.h"
#include "inspector/ObjectComboBox.h"
#include "objects/Component.h"

namespace rpt {
namespace {

struct ObjectComboBox : ::testing::Test {
  TOwnedPtr<TComponent> owner{TComponent::Create<TComponent>(nullptr)};
  std::vector<TPersistent*> labels;
  TZQKObjectComboBox box;
  int clicks = 0;
  void SetUp() override {
    for (const char* name : {"Label1", "Label2", "Label3"}) {
      auto* label = TComponent::Create<TComponent>(owner.get());
      label->SetName(name);
      labels.push_back(label);
    }
    box.resize(200, box.height());
    box.OnClick = [this](TZQKCustomObjectComboBox*) { ++clicks; };
    box.move(10, 10);
    box.show();
    box.setFocus();
    QCoreApplication::processEvents();
  }
};

TEST_F(ObjectComboBox, ClosedTextSaysWhatIsSelected) {
  EXPECT_EQ(box.DisplayText(), "No items selected");
  box.SelectedObjects().SetFromList(labels);
  EXPECT_EQ(box.DisplayText(), "3 item(s) selected");
  box.SelectedObjects().SetFromList({labels[0]});
  EXPECT_EQ(box.DisplayText(), "Label1 TComponent");
  // The class name stands in grey in the right half.
  box.SetShowFocus(false);
  QImage image(box.size(), QImage::Format_RGB32);
  box.render(&image);
  const QColor grey = ToQColor(clGray);
  int greyInRightHalf = 0, greyInLeftHalf = 0;
  for (int x = 0; x < box.width() - box.ButtonWidth(); ++x)
    for (int y = 0; y < box.height(); ++y)
      if (image.pixelColor(x, y) == grey) (x >= (box.width() - box.ButtonWidth()) / 2 ? greyInRightHalf : greyInLeftHalf)++;
  EXPECT_GT(greyInRightHalf, 5);
  EXPECT_EQ(greyInLeftHalf, 0);
  box.SetShowClassName(false);
  EXPECT_EQ(box.DisplayText(), "Label1");
  // Lists ignore repeats and absent objects.
  box.SelectedObjects().Add(labels[0]);
  box.SelectedObjects().Remove(labels[2]);
  EXPECT_EQ(box.SelectedObjects().Count(), 1);
}

TEST_F(ObjectComboBox, NothingOfferedNothingOpens) {
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.width() - 5, 5));
  EXPECT_FALSE(box.DroppedDown());
  QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
  EXPECT_FALSE(box.DroppedDown());
  EXPECT_EQ(clicks, 0);
}

TEST_F(ObjectComboBox, ListShowsTheOfferedObjectsAndEnterWithoutHighlightChangesNothing) {
  box.OfferedObjects().SetFromList(labels);
  box.SelectedObjects().SetFromList({labels[0], labels[1]});
  box.DropDown();
  ASSERT_TRUE(box.DroppedDown());
  QListWidget* list = box.PopupList();
  EXPECT_EQ(list->count(), 3);
  EXPECT_EQ(list->currentRow(), -1) << "two selected: nothing highlighted";
  const int itemHeight = list->sizeHintForRow(0);
  EXPECT_EQ(list->height(), 3 * itemHeight + 4) << "three objects, seven rows allowed: three rows";
  EXPECT_EQ(list->geometry().top(), box.mapToGlobal(QPoint(0, box.height())).y()) << "below the box";
  QTest::keyClick(&box, Qt::Key_Return);
  EXPECT_FALSE(box.DroppedDown());
  EXPECT_EQ(box.SelectedObjects().Count(), 2);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ObjectComboBox, KeysAndMousePickOneObject) {
  box.OfferedObjects().SetFromList(labels);
  box.SelectedObjects().SetFromList({labels[0]});
  QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(box.DroppedDown());
  EXPECT_EQ(box.PopupList()->currentRow(), 0);
  QTest::keyClick(&box, Qt::Key_Down);
  QTest::keyClick(&box, Qt::Key_Down);
  QTest::keyClick(&box, Qt::Key_Down);
  EXPECT_EQ(box.PopupList()->currentRow(), 2) << "not beyond the last";
  QTest::keyClick(&box, Qt::Key_Escape);
  EXPECT_FALSE(box.DroppedDown());
  EXPECT_EQ(box.SelectedObjects().Items(0), labels[0]);
  EXPECT_EQ(clicks, 0) << "Escape accepts nothing";
  QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
  QTest::keyClick(&box, Qt::Key_Down);
  QTest::keyClick(&box, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(box.SelectedObjects().Count(), 1);
  EXPECT_EQ(box.SelectedObjects().Items(0), labels[1]);
  EXPECT_EQ(clicks, 1);

  // Pressing the box opens the list; releasing over the third item picks it.
  QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(box.width() - 5, 5));
  ASSERT_TRUE(box.DroppedDown());
  QListWidget* list = box.PopupList();
  const QRect third = list->visualItemRect(list->item(2));
  const QPoint global = list->viewport()->mapToGlobal(third.center());
  QMouseEvent release(QEvent::MouseButtonRelease, box.mapFromGlobal(QPointF(global)), QPointF(global), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&box, &release);
  EXPECT_FALSE(box.DroppedDown());
  EXPECT_EQ(box.SelectedObjects().Items(0), labels[2]);
  EXPECT_EQ(clicks, 2);
}

TEST_F(ObjectComboBox, NearTheBottomOfTheScreenTheListOpensAbove) {
  box.OfferedObjects().SetFromList(labels);
  const QRect screen = box.screen()->geometry();
  box.move(10, screen.bottom() - box.height() - 5);
  QCoreApplication::processEvents();
  box.DropDown();
  ASSERT_TRUE(box.DroppedDown());
  EXPECT_EQ(box.PopupList()->geometry().bottom() + 1, box.mapToGlobal(QPoint(0, 0)).y());
  box.CloseUp(false);
  // Right alignment lines the right edges up.
  box.move(10, 10);
  box.SetDropDownWidth(300);
  box.SetDropDownAlign(daRight);
  box.DropDown();
  EXPECT_EQ(box.PopupList()->geometry().right(), box.mapToGlobal(QPoint(box.width() - 1, 0)).x());
  box.CloseUp(false);
}

}  // namespace
}  // namespace rpt
