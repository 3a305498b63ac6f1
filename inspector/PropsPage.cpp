#include "inspector/PropsPage.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <algorithm>

#include "framework/Application.h"
#include "framework/QtCanvas.h"

namespace rpt {

namespace {

constexpr int kBoxSize = 9;
constexpr int kIndentStep = 10;
constexpr int kToggleWidth = 13;
constexpr int kSplitterZone = 4;

int Indent(const TZQKPropsPageItem* item) { return kIndentStep * item->Level(); }

void DrawHLine(QPainter& p, int x1, int x2, int y, TColor color) {
  p.setPen(ToQColor(color));
  p.drawLine(x1, y, x2 - 1, y);
}

void DrawVLine(QPainter& p, int x, int y1, int y2, TColor color) {
  p.setPen(ToQColor(color));
  p.drawLine(x, y1, x, y2 - 1);
}

// Runs an update bracket also when the body fails.
struct TUpdateBracket {
  TZQKCustomPropsPage* Grid;
  explicit TUpdateBracket(TZQKCustomPropsPage* grid) : Grid(grid) { Grid->BeginUpdate(); }
  ~TUpdateBracket() { Grid->EndUpdate(); }
};

// Drop-down items of rows that draw their own values.
class TValueListDelegate : public QStyledItemDelegate {
 public:
  TValueListDelegate(TZQKCustomPropsPage* grid, QObject* parent) : QStyledItemDelegate(parent), FGrid(grid) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TZQKPropsPageItem* item = FGrid->CurrentItem();
    if (!item || !item->OwnerDrawValues()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    item->DrawValue(index.data().toString().toStdString(), *painter, option.rect, selected);
  }

 private:
  TZQKCustomPropsPage* FGrid;
};

// The list of a list-style row: it never takes the focus, which stays in the editor.
class TValueList : public QListWidget {
 public:
  explicit TValueList(TZQKPropsPageInplaceEdit* editor) : QListWidget(editor), FEditor(editor) {
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    if (QListWidgetItem* item = itemAt(event->position().toPoint())) setCurrentItem(item);
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (QListWidgetItem* item = itemAt(event->position().toPoint())) setCurrentItem(item);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    const bool onItem = itemAt(event->position().toPoint()) != nullptr;
    HandleErrors([&] { FEditor->CloseUp(onItem); });
  }

 private:
  TZQKPropsPageInplaceEdit* FEditor;
};

}  // namespace

// ---------------------------------------------------------------------------
TZQKPropsPageItem::TZQKPropsPageItem(TZQKCustomPropsPage* grid, TZQKPropsPageItem* parentItem)
    : FGrid(grid), FParentItem(parentItem) {}

TZQKPropsPageItem::~TZQKPropsPageItem() {
  // Children first, while this item is whole; then the grid forgets the row.
  FItems.clear();
  if (FGrid) FGrid->ItemDestroyed(this);
}

TZQKPropsPageItem* TZQKPropsPageItem::CreateItem() { return FGrid->CreateItem(this); }

TZQKPropsPageItem* TZQKPropsPageItem::Add() {
  FItems.emplace_back(CreateItem());
  TZQKPropsPageItem* item = FItems.back().get();
  ChildAdded(item);
  Changed();
  return item;
}

void TZQKPropsPageItem::SetCount(int count) {
  count = std::max(count, 0);
  if (count == Count()) return;
  while (Count() > count) FItems.pop_back();
  while (Count() < count) {
    FItems.emplace_back(CreateItem());
    ChildAdded(FItems.back().get());
  }
  Changed();
}

void TZQKPropsPageItem::SetCaption(const std::string& value) { SetField(FCaption, value); }
void TZQKPropsPageItem::SetExpandMode(int value) { SetField(FExpandMode, std::clamp(value, 0, 2)); }
void TZQKPropsPageItem::SetEditStyle(TZQKPropsPageEditStyle value) { SetField(FEditStyle, value); }
void TZQKPropsPageItem::SetReadOnlyValue(bool value) { SetField(FReadOnlyValue, value); }
void TZQKPropsPageItem::SetApplyOnKeystroke(bool value) { SetField(FApplyOnKeystroke, value); }
void TZQKPropsPageItem::SetOwnerDrawValues(bool value) { SetField(FOwnerDrawValues, value); }
void TZQKPropsPageItem::StoreValueText(const std::string& value) { SetField(FValueText, value); }
void TZQKPropsPageItem::DoSetValueText(const std::string& value) { StoreValueText(value); }

void TZQKPropsPageItem::Changed() {
  if (FGrid) FGrid->RebuildRows();
}

bool TZQKPropsPageItem::NormalizeExpanded() {
  FExpanded = FExpanded && CanExpand();
  return FExpanded;
}

int TZQKPropsPageItem::Level() const {
  int level = 0;
  for (const TZQKPropsPageItem* p = FParentItem; p; p = p->FParentItem) ++level;
  return level;
}

void TZQKPropsPageItem::Expand() {
  if (FExpanded || !CanExpand()) return;
  TUpdateBracket update(FGrid);
  FExpanded = true;
  FGrid->ItemExpanding(this);
  Changed();
}

void TZQKPropsPageItem::Collapse() {
  if (!FExpanded) return;
  TUpdateBracket update(FGrid);
  // A selected row below this one gives the selection to this row before the children
  // go (the subclass may destroy them).
  for (TZQKPropsPageItem* p = FGrid->CurrentItem(); p; p = p->FParentItem)
    if (p->FParentItem == this && FRowIndex >= 0) {
      FGrid->FRow = FGrid->FPreviousRow = FRowIndex;
      break;
    }
  FExpanded = false;
  FGrid->ItemCollapsing(this);
  Changed();
}

void TZQKPropsPageItem::Activate() {
  if (FGrid->CurrentItem() == this) return;
  for (TZQKPropsPageItem* p = FParentItem; p; p = p->FParentItem)
    if (!p->CanExpand()) throw EZQKPropsPage("Item can not be activated");
  {
    TUpdateBracket update(FGrid);
    for (TZQKPropsPageItem* p = FParentItem; p; p = p->FParentItem) p->Expand();
  }
  FGrid->FForcedRebuild = true;
  try {
    FGrid->DoRebuildRows(true);
  } catch (...) {
    FGrid->FForcedRebuild = false;
    throw;
  }
  FGrid->FForcedRebuild = false;
  FGrid->SetRow(FRowIndex);
  FGrid->viewport()->update();
}

// ---------------------------------------------------------------------------
TZQKPropsPageItem* TZQKPropsPageItems::Add() {
  FItems.emplace_back(FGrid->CreateItem(nullptr));
  FGrid->RebuildRows();
  return FItems.back().get();
}

void TZQKPropsPageItems::SetCount(int count) {
  count = std::max(count, 0);
  if (count == Count()) return;
  while (Count() > count) FItems.pop_back();
  while (Count() < count) FItems.emplace_back(FGrid->CreateItem(nullptr));
  FGrid->RebuildRows();
}

// ---------------------------------------------------------------------------
TZQKCustomPropsPage::TZQKCustomPropsPage(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName("PropsPage");
  resize(188, 193);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setFrameShape(QFrame::StyledPanel);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
  FEditor = new TZQKPropsPageInplaceEdit(this);
  FEditor->hide();
  setFocusProxy(FEditor->Edit());
  FontChanged();
}

TZQKCustomPropsPage::~TZQKCustomPropsPage() {
  HideToolTip();
  FDestroying = true;
  // The items go before the widgets they may refer to.
  FItems.FItems.clear();
  FRows.clear();
  // Delete the editor now: its focus-out filter calls into this grid, which must still
  // be a grid when QWidget's destructor deletes the children.
  setFocusProxy(nullptr);
  delete FEditor;
  FEditor = nullptr;
}

void TZQKCustomPropsPage::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount == 0 && FRebuildPending) RebuildRows();
}

void TZQKCustomPropsPage::RebuildRows() {
  if ((FUpdateCount > 0 || FDestroying) && !FForcedRebuild) {
    FRebuildPending = true;
    return;
  }
  DoRebuildRows(false);
}

TZQKPropsPageItem* TZQKCustomPropsPage::CreateItem(TZQKPropsPageItem* parentItem) {
  return new TZQKPropsPageItem(this, parentItem);
}

void TZQKCustomPropsPage::ItemDestroyed(TZQKPropsPageItem* item) {
  if (FDestroying) return;
  // The selection passes to the nearest shown ancestor (alive while its children go).
  if (CurrentItem() == item)
    for (TZQKPropsPageItem* p = item->FParentItem; p; p = p->FParentItem)
      if (p->FRowIndex >= 0 && ItemAtRow(p->FRowIndex) == p) {
        FRow = FPreviousRow = p->FRowIndex;
        break;
      }
  if (item->FRowIndex >= 0 && item->FRowIndex < RowCount() && FRows[static_cast<size_t>(item->FRowIndex)] == item)
    FRows[static_cast<size_t>(item->FRowIndex)] = nullptr;
  else
    std::replace(FRows.begin(), FRows.end(), item, static_cast<TZQKPropsPageItem*>(nullptr));
}

void TZQKCustomPropsPage::AppendRows(const std::vector<std::unique_ptr<TZQKPropsPageItem>>& items) {
  for (const auto& item : items) {
    item->FRowIndex = RowCount();
    FRows.push_back(item.get());
    if (item->NormalizeExpanded()) AppendRows(item->FItems);
  }
}

void TZQKCustomPropsPage::DoRebuildRows(bool forced) {
  HideToolTip();
  TZQKPropsPageItem* remembered = CurrentItem();
  // Every item forgets its row, shown or not.
  std::vector<TZQKPropsPageItem*> pending;
  for (const auto& item : FItems.FItems) pending.push_back(item.get());
  while (!pending.empty()) {
    TZQKPropsPageItem* item = pending.back();
    pending.pop_back();
    item->FRowIndex = -1;
    for (const auto& child : item->FItems) pending.push_back(child.get());
  }
  FRows.clear();
  AppendRows(FItems.FItems);
  ++FRebuildCount;

  // The remembered row, or the nearest ancestor that has a row, stays selected; the
  // text typed for it is not applied to whatever now stands on its old row.
  int row = -1;
  for (TZQKPropsPageItem* p = remembered; p; p = p->FParentItem)
    if (p->FRowIndex >= 0) {
      row = p->FRowIndex;
      break;
    }
  if (row < 0 && !FRows.empty()) row = std::clamp(FRow, 0, RowCount() - 1);
  FRow = FPreviousRow = row;
  UpdateScrollBar();
  FitTopRow();
  UpdateEditor();
  viewport()->update();
  if (!forced) FRebuildPending = false;
}

void TZQKCustomPropsPage::UpdateEditor() {
  TZQKPropsPageItem* item = CurrentItem();
  FEditor->FRefreshing = true;
  if (item) {
    if (item->FReadOnlyValue != FEditor->ReadOnly() || item->FEditStyle != FEditor->EditStyle())
      FEditor->SetStyle(item->FEditStyle, item->FReadOnlyValue);
    FEditor->SetText(item->GetValueText());
  } else {
    FEditor->SetStyle(esSimple, true);
    FEditor->SetText("");
  }
  FEditor->FRefreshing = false;
  FLastEditText = FEditor->Text();
  PlaceEditor();
}

void TZQKCustomPropsPage::PlaceEditor() {
  if (!CurrentItem()) {
    FEditor->hide();
    return;
  }
  const QRect cell = CellRect(1, FRow);
  FEditor->setGeometry(cell.left(), cell.top(), std::max(cell.width(), 0), std::max(FRowHeight - 2, 1));
  if (!FEditor->isVisible()) FEditor->show();
}

TZQKPropsPageItem* TZQKCustomPropsPage::ItemAtRow(int row) const {
  return row >= 0 && row < RowCount() ? FRows[static_cast<size_t>(row)] : nullptr;
}

int TZQKCustomPropsPage::VisibleRowCount() const { return std::max(viewport()->height() / FRowHeight, 1); }

QRect TZQKCustomPropsPage::CellRect(int column, int row) const {
  const int top = (row - FTopRow) * FRowHeight;
  if (column == 0) return QRect(0, top, FSplitter, FRowHeight);
  return QRect(FSplitter, top, std::max(viewport()->width() - FSplitter, 0), FRowHeight);
}

int TZQKCustomPropsPage::RowAt(int y) const {
  if (y < 0) return -1;
  const int row = FTopRow + y / FRowHeight;
  return row < RowCount() ? row : -1;
}

void TZQKCustomPropsPage::SetRow(int row) {
  if (row < 0 || row >= RowCount() || row == FRow) return;
  const int previous = FRow;
  ApplyEditText(previous);
  // Applying may have laid the rows out again.
  if (row >= RowCount()) return;
  FRow = row;
  FRunStartText.reset();
  if (FRow < FTopRow) SetTopRow(FRow);
  else if (FRow >= FTopRow + VisibleRowCount()) SetTopRow(FRow - VisibleRowCount() + 1);
  for (int r : {previous - 1, previous, previous + 1, row - 1, row, row + 1}) InvalidateRow(r);
  FPreviousRow = row;
  UpdateEditor();
}

void TZQKCustomPropsPage::SetTopRow(int row) {
  row = std::clamp(row, 0, std::max(RowCount() - VisibleRowCount(), 0));
  if (row == FTopRow) return;
  FTopRow = row;
  HideToolTip();
  verticalScrollBar()->setValue(row);
  PlaceEditor();
  viewport()->update();
}

void TZQKCustomPropsPage::ApplyEditText(int row) {
  TZQKPropsPageItem* item = ItemAtRow(row);
  if (FApplyingText) return;
  if (!FApplyingKeystroke) ++FTypingRun;
  if (!item) return;
  {
    FApplyingText = true;
    struct TReset {
      bool& Flag;
      ~TReset() { Flag = false; }
    } reset{FApplyingText};
    item->SetValueText(FLastEditText);
  }
  // The write may have rebuilt the rows; the item is read again only when it still
  // stands on its row.
  if (ItemAtRow(row) != item) return;
  FLastEditText = item->GetValueText();
  if (row == FRow) {
    FEditor->FRefreshing = true;
    FEditor->SetText(FLastEditText);
    FEditor->FRefreshing = false;
  }
}

void TZQKCustomPropsPage::SetSplitter(int value) {
  value = std::max(std::min(value, width() - 40), 40);
  if (value == FSplitter) return;
  FSplitter = value;
  PlaceEditor();
  viewport()->update();
}

void TZQKCustomPropsPage::SetValuesColor(TColor value) {
  FValuesColor = value;
  FEditor->UpdateColors();
  viewport()->update();
}
void TZQKCustomPropsPage::SetGridVisible(bool value) {
  FGridVisible = value;
  viewport()->update();
}
void TZQKCustomPropsPage::SetGridColor(TColor value) {
  FGridColor = value;
  viewport()->update();
}
void TZQKCustomPropsPage::SetColor(TColor value) {
  FColor = value;
  FEditor->UpdateColors();
  viewport()->update();
}

void TZQKCustomPropsPage::FontChanged() {
  FRowHeight = QFontMetrics(font()).boundingRect("Wg").height() + 3;
  FRowHeight = std::max(FRowHeight, QFontMetrics(font()).height() + 3);
  UpdateScrollBar();
  PlaceEditor();
  viewport()->update();
}

void TZQKCustomPropsPage::UpdateScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  const int visible = VisibleRowCount();
  bar->setRange(0, std::max(RowCount() - visible, 0));
  bar->setPageStep(visible);
  bar->setSingleStep(1);
  bar->setValue(FTopRow);
}

void TZQKCustomPropsPage::FitTopRow() {
  // No empty rows below the last one while rows are scrolled away above.
  const int top = std::clamp(FTopRow, 0, std::max(RowCount() - VisibleRowCount(), 0));
  if (top != FTopRow) SetTopRow(top);
}

void TZQKCustomPropsPage::InvalidateRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  viewport()->update(QRect(0, (row - FTopRow) * FRowHeight, viewport()->width(), FRowHeight));
}

void TZQKCustomPropsPage::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBar();
  FitTopRow();
  PlaceEditor();
  HideToolTip();
}

void TZQKCustomPropsPage::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) FontChanged();
  if (event->type() == QEvent::ActivationChange) HideToolTip();
}

void TZQKCustomPropsPage::scrollContentsBy(int, int) {
  FTopRow = verticalScrollBar()->value();
  HideToolTip();
  PlaceEditor();
  viewport()->update();
}

// ---------------------------------------------------------------------------
void TZQKCustomPropsPage::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  painter.fillRect(viewport()->rect(), ToQColor(FColor));
  for (int row = FTopRow; row < RowCount() && (row - FTopRow) * FRowHeight < viewport()->height(); ++row) {
    PaintCell(painter, 0, row, CellRect(0, row));
    PaintCell(painter, 1, row, CellRect(1, row));
  }
}

void TZQKCustomPropsPage::PaintCell(QPainter& painter, int column, int row, const QRect& rect) {
  TZQKPropsPageItem* item = ItemAtRow(row);
  if (!item || rect.width() <= 0) return;
  painter.save();
  painter.translate(rect.topLeft());
  painter.setClipRect(QRect(0, 0, rect.width(), rect.height()));
  const int width = rect.width(), height = rect.height();
  const bool selected = row == FRow;
  const bool editorShown = selected && column == 1 && FEditor->isVisible();
  if (!editorShown) {
    painter.fillRect(0, 0, width, height, ToQColor(FColor));
    const QFontMetrics metrics(painter.font());
    if (column == 1) {
      painter.setPen(ToQColor(FValuesColor));
      painter.drawText(1, 1 + metrics.ascent(), QString::fromStdString(item->GetValueText()));
    } else {
      const int indent = Indent(item);
      painter.setPen(ToQColor(CaptionColor(item)));
      painter.drawText(indent + 13, 1 + metrics.ascent(), QString::fromStdString(item->Caption()));
      if (item->CanExpand()) {
        const int x = indent + 2, y = 3;
        painter.setPen(Qt::black);
        painter.setBrush(Qt::white);
        painter.drawRect(x, y, kBoxSize - 1, kBoxSize - 1);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(x + 2, y + 4, x + 6, y + 4);
        if (!item->Expanded()) painter.drawLine(x + 4, y + 2, x + 4, y + 6);
      }
      DrawVLine(painter, width - 2, 0, height, clBtnShadow);
      DrawVLine(painter, width - 1, 0, height, clBtnHighlight);
    }
  }
  if (selected) {
    if (column == 0 && !editorShown) {
      DrawVLine(painter, 0, 0, height, cl3DDkShadow);
      DrawVLine(painter, 1, 0, height, clBtnShadow);
    }
    DrawHLine(painter, 0, width, height - 2, clBtnHighlight);
    DrawHLine(painter, 0, width, height - 1, cl3DLight);
  } else if (row == FRow - 1) {
    DrawHLine(painter, 0, width, height - 2, cl3DDkShadow);
    DrawHLine(painter, 0, width, height - 1, clBtnShadow);
  } else if (FGridVisible) {
    // The separator is dotted: every second pixel, counted from the grid's left edge.
    painter.setPen(ToQColor(FGridColor));
    for (int x = (rect.left() % 2 == 0) ? 0 : 1; x < width; x += 2) painter.drawPoint(x, height - 1);
  }
  painter.restore();
}

// ---------------------------------------------------------------------------
void TZQKCustomPropsPage::ToggleRow(int row) {
  TZQKPropsPageItem* item = ItemAtRow(row);
  if (!item || !item->CanExpand()) return;
  if (item->Expanded())
    item->Collapse();
  else
    item->Expand();
}

void TZQKCustomPropsPage::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (FEditor->isVisible()) FEditor->Edit()->setFocus(Qt::MouseFocusReason);
  else setFocus(Qt::MouseFocusReason);
  HandleErrors([&] {
    if (pos.x() >= FSplitter - kSplitterZone && pos.x() <= FSplitter) {
      FSplitterDragging = true;
      FSplitterOffset = pos.x() - FSplitter;
      return;
    }
    const int row = RowAt(pos.y());
    if (row < 0) return;
    SetRow(row);
    TZQKPropsPageItem* item = ItemAtRow(row);
    if (pos.x() < FSplitter && item && item->CanExpand()) {
      const int indent = Indent(item);
      if (pos.x() >= indent && pos.x() <= indent + kToggleWidth) {
        ToggleRow(row);
        return;
      }
    }
    FRowTracking = true;
  });
}

void TZQKCustomPropsPage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (FSplitterDragging) {
    SetSplitter(pos.x() - FSplitterOffset);
    HideToolTip();
    return;
  }
  const bool onSplitter = pos.x() >= FSplitter - kSplitterZone && pos.x() <= FSplitter;
  viewport()->setCursor(onSplitter ? Qt::SplitHCursor : Qt::ArrowCursor);
  if (FRowTracking && (event->buttons() & Qt::LeftButton)) {
    const int row = RowAt(pos.y());
    if (row >= 0 && row != FRow) HandleErrors([&] { SetRow(row); });
  }
  ShowToolTip(pos);
}

void TZQKCustomPropsPage::mouseReleaseEvent(QMouseEvent*) {
  FSplitterDragging = false;
  FRowTracking = false;
}

void TZQKCustomPropsPage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const int row = RowAt(pos.y());
  if (row < 0 || pos.x() >= FSplitter - kSplitterZone) return;
  HandleErrors([&] {
    SetRow(row);
    ToggleRow(row);
  });
}

void TZQKCustomPropsPage::wheelEvent(QWheelEvent* event) {
  const int notches = event->angleDelta().y() / 120;
  if (notches < 0 && FTopRow + VisibleRowCount() < RowCount()) SetTopRow(FTopRow - notches);
  if (notches > 0 && FTopRow > 0) SetTopRow(FTopRow - notches);
  event->accept();
}

void TZQKCustomPropsPage::MoveRow(int delta) {
  if (RowCount() == 0) return;
  SetRow(std::clamp(FRow + delta, 0, RowCount() - 1));
}

bool TZQKCustomPropsPage::NavigationKey(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  switch (event->key()) {
    case Qt::Key_Up:
      if (mods != Qt::NoModifier) return false;
      MoveRow(-1);
      return true;
    case Qt::Key_Down:
      if (mods != Qt::NoModifier) return false;
      MoveRow(1);
      return true;
    case Qt::Key_PageUp: MoveRow(-VisibleRowCount()); return true;
    case Qt::Key_PageDown: MoveRow(VisibleRowCount()); return true;
    case Qt::Key_Home:
    case Qt::Key_End:
      if (mods != Qt::ControlModifier) return false;
      MoveRow(event->key() == Qt::Key_Home ? -RowCount() : RowCount());
      return true;
    case Qt::Key_Right:
    case Qt::Key_Left: {
      // Alt with an arrow opens or closes the row from the keyboard.
      if (mods != Qt::AltModifier) return false;
      TZQKPropsPageItem* item = CurrentItem();
      if (!item) return true;
      if (event->key() == Qt::Key_Right) item->Expand();
      else item->Collapse();
      return true;
    }
    default: return false;
  }
}

void TZQKCustomPropsPage::keyPressEvent(QKeyEvent* event) {
  bool handled = false;
  HandleErrors([&] { handled = NavigationKey(event); });
  if (!handled) QAbstractScrollArea::keyPressEvent(event);
}

void TZQKCustomPropsPage::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  if (FEditor->isVisible()) FEditor->Edit()->setFocus(event->reason());
}

void TZQKCustomPropsPage::leaveEvent(QEvent* event) {
  QAbstractScrollArea::leaveEvent(event);
  HideToolTip();
}

bool TZQKCustomPropsPage::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Leave) HideToolTip();
  return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------------------
void TZQKCustomPropsPage::ShowToolTip(const QPoint& pos) {
  const int row = RowAt(pos.y());
  TZQKPropsPageItem* item = ItemAtRow(row);
  const bool active = QApplication::activeWindow() != nullptr || QGuiApplication::platformName() == "offscreen";
  if (!FToolTips || !item || !active || pos.x() < 0 || pos.x() >= viewport()->width()) {
    HideToolTip();
    return;
  }
  const int column = pos.x() < FSplitter ? 0 : 1;
  if (column == 1 && row == FRow) {
    HideToolTip();
    return;
  }
  const QRect cell = CellRect(column, row);
  const int indent = Indent(item);
  const QString text = QString::fromStdString(column == 0 ? item->Caption() : item->GetValueText());
  const int room = column == 0 ? cell.width() - indent - 15 : cell.width() - 1;
  if (text.isEmpty() || QFontMetrics(font()).horizontalAdvance(text) <= room) {
    HideToolTip();
    return;
  }
  QPoint at = viewport()->mapToGlobal(cell.topLeft()) + QPoint(column == 0 ? indent + 12 - 2 : -2, -2);
  if (!FToolTip) {
    FToolTip = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    FToolTip->setObjectName("PropsPageHint");
    FToolTip->setAttribute(Qt::WA_ShowWithoutActivating);
    FToolTip->setAutoFillBackground(true);
    QPalette palette = FToolTip->palette();
    palette.setColor(QPalette::Window, ToQColor(clInfoBk));
    palette.setColor(QPalette::WindowText, ToQColor(clInfoText));
    FToolTip->setPalette(palette);
    FToolTip->setContentsMargins(1, 1, 1, 1);
    FToolTip->setFrameShape(QFrame::Box);
  }
  if (FToolTip->isVisible() && FToolTip->text() == text && FToolTip->pos() == at) return;
  FToolTip->setFont(font());
  FToolTip->setText(text);
  FToolTip->adjustSize();
  FToolTip->move(at);
  FToolTip->show();
}

void TZQKCustomPropsPage::HideToolTip() {
  if (FToolTip) {
    delete FToolTip;
    FToolTip = nullptr;
  }
}

QString TZQKCustomPropsPage::ToolTipText() const {
  return FToolTip && FToolTip->isVisible() ? FToolTip->text() : QString();
}

// ---------------------------------------------------------------------------
TZQKPropsPageInplaceEdit::TZQKPropsPageInplaceEdit(TZQKCustomPropsPage* grid)
    : QWidget(grid->viewport()), FGrid(grid) {
  setObjectName("InplaceEdit");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FEdit = new QLineEdit(this);
  FEdit->setObjectName("InplaceEditText");
  FEdit->setFrame(false);
  FEdit->setTextMargins(0, 0, 2, 0);
  FEdit->installEventFilter(this);
  layout->addWidget(FEdit, 1);
  FButton = new QToolButton(this);
  FButton->setObjectName("InplaceEditButton");
  FButton->setFixedWidth(kButtonWidth);
  FButton->setFocusPolicy(Qt::NoFocus);
  FButton->installEventFilter(this);
  FButton->hide();
  layout->addWidget(FButton);
  connect(FEdit, &QLineEdit::textChanged, this, [this] { TextEdited(); });
  connect(FButton, &QToolButton::clicked, this, [this] { ButtonClicked(); });
  UpdateColors();
}

TZQKPropsPageInplaceEdit::~TZQKPropsPageInplaceEdit() {
  if (FList) qApp->removeEventFilter(this);
  // Deleting a focused line edit sends it a focus-out; nothing may be applied then.
  FEdit->removeEventFilter(this);
  FButton->removeEventFilter(this);
}

void TZQKPropsPageInplaceEdit::SetStyle(TZQKPropsPageEditStyle style, bool readOnly) {
  CloseUp(false);
  FEditStyle = style;
  FEdit->setReadOnly(readOnly);
  FButton->setVisible(style != esSimple);
  FButton->setText(style == esEllipsis ? "..." : QString());
  FButton->setArrowType(style == esPickList ? Qt::DownArrow : Qt::NoArrow);
  UpdateColors();
}

void TZQKPropsPageInplaceEdit::UpdateColors() {
  QPalette palette = FEdit->palette();
  const bool readOnly = FEdit->isReadOnly();
  palette.setColor(QPalette::Base, ToQColor(readOnly ? FGrid->Color() : clWindow));
  palette.setColor(QPalette::Text, ToQColor(readOnly ? FGrid->ValuesColor() : clWindowText));
  FEdit->setPalette(palette);
}

void TZQKPropsPageInplaceEdit::SetText(const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (FEdit->text() != value) FEdit->setText(value);
}

void TZQKPropsPageInplaceEdit::TextEdited() {
  if (FRefreshing) return;
  TZQKPropsPageItem* item = FGrid->CurrentItem();
  if (item && item->ApplyOnKeystroke() && !FGrid->FRunStartText) {
    FGrid->FRunStartText = item->GetValueText();
    FGrid->FRunStartRow = FGrid->Row();
    FGrid->FRunStartCaption = item->Caption();
  }
  FGrid->FLastEditText = Text();
  if (!item || !item->ApplyOnKeystroke()) return;
  FGrid->FApplyingKeystroke = true;
  HandleErrors([this] { FGrid->ApplyEditText(FGrid->Row()); });
  FGrid->FApplyingKeystroke = false;
}

void TZQKPropsPageInplaceEdit::ButtonClicked() {
  HandleErrors([this] {
    TZQKPropsPageItem* item = FGrid->CurrentItem();
    if (!item) return;
    if (FEditStyle == esPickList) {
      if (DroppedDown()) CloseUp(false);
      else DropDown();
    } else if (FEditStyle == esEllipsis) {
      item->EditButtonClick();
      FEdit->setFocus();
      FEdit->selectAll();
    }
  });
}

bool TZQKPropsPageInplaceEdit::DroppedDown() const { return FList && FList->isVisible(); }

void TZQKPropsPageInplaceEdit::DropDown() {
  TZQKPropsPageItem* item = FGrid->CurrentItem();
  if (!item || FEditStyle != esPickList || DroppedDown()) return;
  std::vector<std::string> values;
  item->GetValues(values);
  if (!FList) {
    FList = new TValueList(this);
    FList->setObjectName("InplaceEditList");
    FList->setItemDelegate(new TValueListDelegate(FGrid, FList));
  }
  FList->clear();
  FList->setFont(FGrid->font());
  const QFontMetrics metrics(FGrid->font());
  const int itemHeight = metrics.height() + 2;
  const int rows = std::min(kDropDownRows, static_cast<int>(values.size()));
  int height = 4, widest = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    const QString text = QString::fromStdString(values[i]);
    int h = itemHeight, w = metrics.horizontalAdvance(text) + 8;
    if (item->OwnerDrawValues()) {
      item->MeasureValueHeight(values[i], FGrid->font(), h);
      item->MeasureValueWidth(values[i], FGrid->font(), w);
    }
    auto* entry = new QListWidgetItem(text, FList);
    entry->setSizeHint(QSize(w, h));
    if (static_cast<int>(i) < rows) height += h;
    widest = std::max(widest, w);
    if (!text.isEmpty() && text == FEdit->text()) FList->setCurrentItem(entry);
  }
  if (values.empty()) height = 20;
  if (static_cast<int>(values.size()) > rows) widest += FList->verticalScrollBar()->sizeHint().width();
  const int width = std::max(this->width(), widest);
  QPoint at = mapToGlobal(QPoint(0, this->height()));
  const QScreen* screen = this->screen();
  if (screen && at.y() + height > screen->availableGeometry().bottom()) at.setY(mapToGlobal(QPoint(0, 0)).y() - height);
  FList->setGeometry(at.x(), at.y(), width, height);
  qApp->installEventFilter(this);
  FList->show();
  if (FList->currentItem()) FList->scrollToItem(FList->currentItem());
}

void TZQKPropsPageInplaceEdit::CloseUp(bool accept) {
  if (!DroppedDown()) return;
  qApp->removeEventFilter(this);
  QListWidgetItem* chosen = FList->currentItem();
  FList->hide();
  if (!accept || !chosen) return;
  FEdit->setText(chosen->text());
  FGrid->FLastEditText = Text();
  FGrid->ApplyEditText(FGrid->Row());
  FEdit->selectAll();
}

bool TZQKPropsPageInplaceEdit::EditKey(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  TZQKPropsPageItem* item = FGrid->CurrentItem();
  if (DroppedDown()) {
    switch (key) {
      case Qt::Key_Return:
      case Qt::Key_Enter: CloseUp(true); return true;
      case Qt::Key_Escape: CloseUp(false); return true;
      case Qt::Key_Up:
      case Qt::Key_Down:
        if (mods == Qt::AltModifier) {
          CloseUp(true);
        } else {
          const int row = FList->currentRow() + (key == Qt::Key_Down ? 1 : -1);
          FList->setCurrentRow(std::clamp(row, 0, std::max(FList->count() - 1, 0)));
        }
        return true;
      default: break;
    }
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    // The typed text applies first; Ctrl+Enter then runs the row's double-click action
    // on the value it gave (the apply may have made the rows again).
    FGrid->ApplyEditText(FGrid->Row());
    FGrid->FRunStartText.reset();
    if (mods == Qt::ControlModifier)
      if (TZQKPropsPageItem* applied = FGrid->CurrentItem()) applied->ValueDblClick();
    FEdit->selectAll();
    return true;
  }
  if (key == Qt::Key_Escape && item) {
    // A row that applied each keystroke gets back what it held before the typing.
    if (FGrid->FRunStartText && FGrid->FRunStartRow == FGrid->Row() && FGrid->FRunStartCaption == item->Caption()) {
      FGrid->FLastEditText = *FGrid->FRunStartText;
      FGrid->FRunStartText.reset();
      FGrid->ApplyEditText(FGrid->Row());
      item = FGrid->CurrentItem();
      if (!item) return true;
    }
    FGrid->FLastEditText = item->GetValueText();
    FRefreshing = true;
    SetText(FGrid->FLastEditText);
    FRefreshing = false;
    FEdit->selectAll();
    return true;
  }
  if ((key == Qt::Key_Down || key == Qt::Key_Up) && mods == Qt::AltModifier) {
    DropDown();
    return true;
  }
  return FGrid->NavigationKey(event);
}

bool TZQKPropsPageInplaceEdit::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FEdit) {
    switch (event->type()) {
      case QEvent::KeyPress: {
        bool handled = false;
        HandleErrors([&] { handled = EditKey(static_cast<QKeyEvent*>(event)); });
        return handled;
      }
      case QEvent::MouseButtonDblClick:
        HandleErrors([this] {
          if (TZQKPropsPageItem* item = FGrid->CurrentItem()) item->ValueDblClick();
        });
        FEdit->selectAll();
        return true;
      case QEvent::FocusOut: {
        // Leaving the grid applies the text; the list closes.
        QWidget* next = QApplication::focusWidget();
        const bool inside = next && (next == FGrid || FGrid->isAncestorOf(next));
        if (!inside) {
          CloseUp(false);
          HandleErrors([this] { FGrid->ApplyEditText(FGrid->Row()); });
        }
        break;
      }
      default: break;
    }
    return false;
  }
  if (watched == FButton && event->type() == QEvent::MouseButtonDblClick) {
    // A second press of the button.
    ButtonClicked();
    FEdit->selectAll();
    return true;
  }
  // While the list is open: a press anywhere else closes it without a choice.
  if (FList && event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != FList && !FList->isAncestorOf(widget) && widget != FButton) CloseUp(false);
  }
  return false;
}

void TZQKPropsPageInplaceEdit::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (DroppedDown()) CloseUp(false);
}

}  // namespace rpt
