// The properties grid with plain items: rows of the expanded tree, batching, selection,
// the in-place editor's keys, its list and button, the mouse rules and the painting.
#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include "framework/QtCanvas.h"
#include "inspector/PropsPage.h"

namespace rpt {
namespace {

// An item that records what the editor asks of it.
class TTestItem : public TZQKPropsPageItem {
 public:
  using TZQKPropsPageItem::TZQKPropsPageItem;
  std::vector<std::string> Values;
  int ButtonClicks = 0;
  int DblClicks = 0;
  std::vector<std::string> Applied;
  void GetValues(std::vector<std::string>& list) override { list = Values; }
  void EditButtonClick() override { ++ButtonClicks; }
  void ValueDblClick() override { ++DblClicks; }
  void DoSetValueText(const std::string& value) override {
    if (value != GetValueText()) Applied.push_back(value);
    TZQKPropsPageItem::DoSetValueText(value);
  }
};

class TTestPage : public TZQKCustomPropsPage {
 public:
  TZQKPropsPageItem* CreateItem(TZQKPropsPageItem* parentItem) override { return new TTestItem(this, parentItem); }
};

TTestItem* Add(TZQKCustomPropsPage& page, const std::string& caption, const std::string& value,
               TZQKPropsPageItem* parent = nullptr) {
  auto* item = static_cast<TTestItem*>(parent ? parent->Add() : page.Items().Add());
  item->SetCaption(caption);
  item->SetValueText(value);
  item->Applied.clear();
  return item;
}

struct PropsPage : ::testing::Test {
  TTestPage page;
  TTestItem *font = nullptr, *size = nullptr, *style = nullptr, *caption = nullptr, *color = nullptr;
  void SetUp() override {
    page.resize(300, 200);
    page.BeginUpdate();
    caption = Add(page, "Caption", "Label1");
    font = Add(page, "Font", "(TFont)");
    size = Add(page, "Size", "8", font);
    style = Add(page, "Style", "[]", font);
    Add(page, "fsBold", "False", style);
    color = Add(page, "Color", "clWhite");
    page.EndUpdate();
    page.show();
    QCoreApplication::processEvents();
  }
  QLineEdit* Edit() { return page.InplaceEditor()->Edit(); }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (int r = 0; r < page.RowCount(); ++r) out.push_back(page.ItemAtRow(r)->Caption());
    return out;
  }
  QImage Render() {
    QImage image(page.viewport()->size(), QImage::Format_RGB32);
    page.viewport()->render(&image);
    return image;
  }
};

TEST_F(PropsPage, RowsFollowTheExpandedTreeAndBatchedChangesRebuildOnce) {
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Caption", "Font", "Color"}));
  EXPECT_TRUE(font->CanExpand());
  EXPECT_FALSE(caption->CanExpand());
  EXPECT_EQ(size->RowIndex(), -1);
  font->Expand();
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Caption", "Font", "Size", "Style", "Color"}));
  EXPECT_EQ(size->RowIndex(), 2);
  EXPECT_EQ(size->Level(), 1);
  style->Expand();
  EXPECT_EQ(page.RowCount(), 6);
  EXPECT_EQ(page.ItemAtRow(4)->Level(), 2);
  EXPECT_EQ(page.ItemAtRow(6), nullptr);
  EXPECT_EQ(page.ItemAtRow(-1), nullptr);

  // Never expandable, always expandable.
  caption->SetExpandMode(1);
  EXPECT_TRUE(caption->CanExpand());
  font->SetExpandMode(2);
  EXPECT_FALSE(font->CanExpand());
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Caption", "Font", "Color"})) << "a row that cannot expand hides its children";
  font->SetExpandMode(0);

  const int before = page.RebuildCount();
  page.BeginUpdate();
  for (int i = 0; i < 50; ++i) Add(page, "P" + std::to_string(i), std::to_string(i));
  caption->SetCaption("Text");
  color->SetValueText("clRed");
  page.EndUpdate();
  EXPECT_EQ(page.RebuildCount(), before + 1);
  EXPECT_EQ(page.RowCount(), 3 + 50) << "Font lost its expansion while it could not expand";
  // Setting an unchanged value is no change.
  const int after = page.RebuildCount();
  color->SetValueText("clRed");
  caption->SetCaption("Text");
  EXPECT_EQ(page.RebuildCount(), after);
}

TEST_F(PropsPage, CollapsingMovesTheSelectionUpAndActivateExpandsAncestors) {
  TZQKPropsPageItem* bold = style->Items(0);
  bold->Activate();
  EXPECT_TRUE(font->Expanded());
  EXPECT_TRUE(style->Expanded());
  EXPECT_EQ(page.CurrentItem(), bold);
  EXPECT_EQ(Edit()->text(), "False");
  font->Collapse();
  EXPECT_EQ(page.CurrentItem(), font);
  EXPECT_EQ(Edit()->text(), "(TFont)");

  // A row below one that can never expand cannot be activated.
  style->SetExpandMode(2);
  EXPECT_THROW(bold->Activate(), EZQKPropsPage);
  // Destroying the children of the selected row's parent leaves no row to a freed item.
  style->SetExpandMode(0);
  bold->Activate();
  font->Clear();
  EXPECT_EQ(page.CurrentItem(), font);
  for (int r = 0; r < page.RowCount(); ++r) EXPECT_NE(page.ItemAtRow(r), nullptr);
}

TEST_F(PropsPage, SplitterIsClampedAndTheValueColumnTakesTheRest) {
  page.resize(300, 200);
  page.SetSplitter(10);
  EXPECT_EQ(page.Splitter(), 40);
  page.SetSplitter(290);
  EXPECT_EQ(page.Splitter(), 260);
  page.SetSplitter(100);
  EXPECT_EQ(page.CellRect(1, 0).left(), 100);
  EXPECT_EQ(page.CellRect(1, 0).width(), page.viewport()->width() - 100);
}

TEST_F(PropsPage, MousePressTogglesOnlyInsideTheBoxZone) {
  font->Expand();
  const int y = style->RowIndex() * page.RowHeight() + 3;
  // Level 1: the toggle zone is x in [10, 23].
  QTest::mouseClick(page.viewport(), Qt::LeftButton, {}, QPoint(25, y));
  EXPECT_EQ(page.CurrentItem(), style);
  EXPECT_FALSE(style->Expanded());
  QTest::mouseClick(page.viewport(), Qt::LeftButton, {}, QPoint(15, y));
  EXPECT_TRUE(style->Expanded());
  QTest::mouseClick(page.viewport(), Qt::LeftButton, {}, QPoint(15, y));
  EXPECT_FALSE(style->Expanded());
  // A double click on a name toggles the row.
  const int fontY = font->RowIndex() * page.RowHeight() + 3;
  QTest::mouseDClick(page.viewport(), Qt::LeftButton, {}, QPoint(50, fontY));
  EXPECT_FALSE(font->Expanded());
  EXPECT_EQ(page.CurrentItem(), font);
  // Dragging the splitter moves it.
  page.SetSplitter(84);
  QTest::mousePress(page.viewport(), Qt::LeftButton, {}, QPoint(82, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(120, 5), page.viewport()->mapToGlobal(QPointF(120, 5)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(page.viewport(), &move);
  QTest::mouseRelease(page.viewport(), Qt::LeftButton, {}, QPoint(120, 5));
  EXPECT_EQ(page.Splitter(), 122);
}

TEST_F(PropsPage, EditorKeysApplyRestoreAndMoveBetweenRows) {
  caption->Activate();
  Edit()->setFocus();
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "Hello");
  EXPECT_TRUE(caption->Applied.empty()) << "typing alone applies nothing";
  QTest::keyClick(Edit(), Qt::Key_Return);
  EXPECT_EQ(caption->Applied, std::vector<std::string>{"Hello"});
  EXPECT_EQ(caption->ValueText(), "Hello");

  // Escape puts the row's value back.
  QTest::keyClicks(Edit(), "XYZ");
  QTest::keyClick(Edit(), Qt::Key_Escape);
  EXPECT_EQ(Edit()->text(), "Hello");
  EXPECT_EQ(caption->Applied.size(), 1u);

  // Moving to another row applies the text to the row that is left.
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "World");
  QTest::keyClick(Edit(), Qt::Key_Down);
  EXPECT_EQ(caption->ValueText(), "World");
  EXPECT_EQ(page.CurrentItem(), font);
  EXPECT_EQ(Edit()->text(), "(TFont)");
  QTest::keyClick(Edit(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_TRUE(font->Expanded());
  QTest::keyClick(Edit(), Qt::Key_Down);
  EXPECT_EQ(page.CurrentItem(), size);
  QTest::keyClick(Edit(), Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(page.CurrentItem(), color);
  QTest::keyClick(Edit(), Qt::Key_Up);
  EXPECT_EQ(page.CurrentItem(), style);

  // Rows that apply at every keystroke.
  color->SetApplyOnKeystroke(true);
  color->Activate();
  Edit()->selectAll();
  const std::string before = color->ValueText();
  QTest::keyClicks(Edit(), "ab");
  EXPECT_EQ(color->Applied, (std::vector<std::string>{"a", "ab"}));
  // Escape puts back what the row held before the typing.
  QTest::keyClick(Edit(), Qt::Key_Escape);
  EXPECT_EQ(color->ValueText(), before);
  EXPECT_EQ(Edit()->text().toStdString(), before);
  // Ctrl+Enter applies the typed text, then runs the double-click action.
  caption->Activate();
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "Typed");
  QTest::keyClick(Edit(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(caption->ValueText(), "Typed");
  EXPECT_EQ(caption->DblClicks, 1);
}

TEST_F(PropsPage, TextIsAppliedWhenTheFocusLeavesTheGrid) {
  QLineEdit outside(page.parentWidget());
  outside.show();
  caption->Activate();
  Edit()->setFocus();
  Edit()->selectAll();
  QTest::keyClicks(Edit(), "Gone");
  page.activateWindow();
  outside.activateWindow();
  outside.setFocus();
  QCoreApplication::processEvents();
  if (!outside.hasFocus()) GTEST_SKIP() << "the platform gave the focus back";
  EXPECT_EQ(caption->ValueText(), "Gone");
}

TEST_F(PropsPage, DropDownListsValuesAndEllipsisRunsTheButton) {
  color->SetEditStyle(esPickList);
  color->Values = {"clBlack", "clRed", "clWhite", "clBlue", "clGreen", "clLime", "clAqua", "clTeal", "clGray",
                   "clNavy", "clOlive", "clSilver"};
  color->Activate();
  auto* editor = page.InplaceEditor();
  EXPECT_TRUE(editor->Button()->isVisible());
  Edit()->setFocus();
  QTest::keyClick(Edit(), Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(editor->DroppedDown());
  QListWidget* list = editor->List();
  EXPECT_EQ(list->currentItem()->text(), "clWhite") << "the current value is highlighted";
  const int itemHeight = list->sizeHintForRow(0);
  EXPECT_EQ(list->height(), 8 * itemHeight + 4) << "twelve values show eight rows";
  QTest::keyClick(Edit(), Qt::Key_Down);
  QTest::keyClick(Edit(), Qt::Key_Return);
  EXPECT_FALSE(editor->DroppedDown());
  EXPECT_EQ(color->ValueText(), "clBlue");
  EXPECT_EQ(Edit()->selectedText(), "clBlue");

  // An empty list is 20 pixels high; Escape closes it with no choice.
  color->Values.clear();
  QTest::keyClick(Edit(), Qt::Key_Up, Qt::AltModifier);
  ASSERT_TRUE(editor->DroppedDown());
  EXPECT_EQ(list->height(), 20);
  QTest::keyClick(Edit(), Qt::Key_Escape);
  EXPECT_FALSE(editor->DroppedDown());
  EXPECT_EQ(color->ValueText(), "clBlue");

  font->SetEditStyle(esEllipsis);
  font->Activate();
  EXPECT_EQ(editor->Button()->text(), "...");
  QTest::mouseClick(editor->Button(), Qt::LeftButton);
  EXPECT_EQ(font->ButtonClicks, 1);
  // A read-only value cannot be typed.
  caption->SetReadOnlyValue(true);
  caption->Activate();
  EXPECT_TRUE(Edit()->isReadOnly());
  EXPECT_FALSE(editor->Button()->isVisible());
}

TEST_F(PropsPage, PaintingDrawsBoxesSeparatorsAndTheSunkenSelection) {
  page.SetSplitter(100);
  color->Activate();
  QImage image = Render();
  const int h = page.RowHeight();
  // Font (row 1, level 0): the box frame at (2, 3) is black, its inside white, with the
  // plus's vertical bar.
  const int top = 1 * h;
  EXPECT_EQ(image.pixelColor(2, top + 3), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(3, top + 4), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(6, top + 5), QColor(Qt::black)) << "the vertical bar of the plus";
  font->Expand();
  image = Render();
  EXPECT_EQ(image.pixelColor(6, top + 5), QColor(Qt::white)) << "a minus once expanded";
  EXPECT_EQ(image.pixelColor(6, top + 7), QColor(Qt::black));

  // Row 0 is neither selected nor above the selection: its bottom line is dotted.
  const QColor grid = ToQColor(clBtnShadow), face = ToQColor(clBtnFace);
  EXPECT_EQ(image.pixelColor(20, h - 1), grid);
  EXPECT_EQ(image.pixelColor(21, h - 1), face);
  // The selected row (the last) is sunken: dark lines at its left in the name column.
  const int sel = color->RowIndex() * h;
  EXPECT_EQ(image.pixelColor(0, sel + 5), ToQColor(cl3DDkShadow));
  EXPECT_EQ(image.pixelColor(20, sel + h - 1), ToQColor(cl3DLight));
  page.SetGridVisible(false);
  image = Render();
  EXPECT_EQ(image.pixelColor(20, h - 1), face) << "no separators";
  EXPECT_EQ(image.pixelColor(0, sel + 5), ToQColor(cl3DDkShadow)) << "the selection stays sunken";
}

TEST_F(PropsPage, ToolTipShowsTextsTooWideForTheirCell) {
  page.SetSplitter(60);
  Add(page, "AVeryLongPropertyNameIndeed", "short");
  const int row = page.RowCount() - 1;
  QMouseEvent move(QEvent::MouseMove, QPointF(30, row * page.RowHeight() + 4),
                   page.viewport()->mapToGlobal(QPointF(30, row * page.RowHeight() + 4)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(page.viewport(), &move);
  EXPECT_EQ(page.ToolTipText(), "AVeryLongPropertyNameIndeed");
  QMouseEvent onValue(QEvent::MouseMove, QPointF(150, row * page.RowHeight() + 4),
                      page.viewport()->mapToGlobal(QPointF(150, row * page.RowHeight() + 4)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(page.viewport(), &onValue);
  EXPECT_EQ(page.ToolTipText(), "") << "a value that fits needs no tip";
}

}  // namespace
}  // namespace rpt
