#pragma once
// The properties grid: two columns, names indented by nesting level with a plus/minus
// box for rows that expand, values edited in place (plain, with an ellipsis button or
// with a drop-down list). The grid owns a tree of row items and shows its expanded part;
// it knows nothing about properties: the inspector supplies items that carry editors.
#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "objects/Exceptions.h"
#include "objects/StdTypes.h"

class QListWidget;
class QToolButton;
class QLabel;

namespace rpt {

class TZQKCustomPropsPage;
class TZQKPropsPageInplaceEdit;

class EZQKPropsPage : public Exception {
  using Exception::Exception;
};

enum TZQKPropsPageEditStyle : uint8_t { esSimple = 0, esEllipsis = 1, esPickList = 2 };

class TZQKPropsPageItem {
 public:
  TZQKPropsPageItem(TZQKCustomPropsPage* grid, TZQKPropsPageItem* parentItem);
  virtual ~TZQKPropsPageItem();
  TZQKPropsPageItem(const TZQKPropsPageItem&) = delete;
  TZQKPropsPageItem& operator=(const TZQKPropsPageItem&) = delete;

  TZQKCustomPropsPage* Grid() const { return FGrid; }
  TZQKPropsPageItem* ParentItem() const { return FParentItem; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TZQKPropsPageItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  // A new child at the end (made by the grid's CreateItem hook).
  TZQKPropsPageItem* Add();
  // Sets the number of children in one step: one change for the batch.
  void SetCount(int count);
  void Clear() { SetCount(0); }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);
  // 0: expandable when it has children; 1: always; 2: never.
  int ExpandMode() const { return FExpandMode; }
  void SetExpandMode(int value);
  TZQKPropsPageEditStyle EditStyle() const { return FEditStyle; }
  void SetEditStyle(TZQKPropsPageEditStyle value);
  bool ReadOnlyValue() const { return FReadOnlyValue; }
  void SetReadOnlyValue(bool value);
  bool ApplyOnKeystroke() const { return FApplyOnKeystroke; }
  void SetApplyOnKeystroke(bool value);
  bool OwnerDrawValues() const { return FOwnerDrawValues; }
  void SetOwnerDrawValues(bool value);
  bool Expanded() const { return FExpanded; }
  int RowIndex() const { return FRowIndex; }

  std::string ValueText() const { return GetValueText(); }
  void SetValueText(const std::string& value) { DoSetValueText(value); }

  void Expand();
  void Collapse();
  // Expands every ancestor and selects this item's row.
  void Activate();
  bool CanExpand() const { return FExpandMode == 1 || (FExpandMode == 0 && !FItems.empty()); }
  int Level() const;

  // Overridden by the inspector's rows to forward to their property editor.
  virtual TZQKPropsPageItem* CreateItem();
  virtual void Changed();
  virtual void ChildAdded(TZQKPropsPageItem*) {}
  virtual bool NormalizeExpanded();
  virtual std::string GetValueText() const { return FValueText; }
  virtual void DoSetValueText(const std::string& value);
  virtual void GetValues(std::vector<std::string>&) {}
  virtual void MeasureValueHeight(const std::string&, const QFont&, int&) {}
  virtual void MeasureValueWidth(const std::string&, const QFont&, int&) {}
  virtual void DrawValue(const std::string&, QPainter&, const QRect&, bool) {}
  virtual void EditButtonClick() {}
  virtual void ValueDblClick() {}

 protected:
  // Stores the value text shown by the base; the change rule applies.
  void StoreValueText(const std::string& value);

 private:
  friend class TZQKCustomPropsPage;
  template <typename T>
  void SetField(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Changed();
  }
  TZQKCustomPropsPage* FGrid;
  TZQKPropsPageItem* FParentItem;
  std::vector<std::unique_ptr<TZQKPropsPageItem>> FItems;
  std::string FCaption;
  std::string FValueText;
  int FExpandMode = 0;
  TZQKPropsPageEditStyle FEditStyle = esSimple;
  bool FReadOnlyValue = false;
  bool FApplyOnKeystroke = false;
  bool FOwnerDrawValues = false;
  bool FExpanded = false;
  int FRowIndex = -1;
};

// The top-level items of a grid.
class TZQKPropsPageItems {
 public:
  explicit TZQKPropsPageItems(TZQKCustomPropsPage* grid) : FGrid(grid) {}
  int Count() const { return static_cast<int>(FItems.size()); }
  TZQKPropsPageItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  TZQKPropsPageItem* Add();
  void SetCount(int count);
  void Clear() { SetCount(0); }

 private:
  friend class TZQKCustomPropsPage;
  TZQKCustomPropsPage* FGrid;
  std::vector<std::unique_ptr<TZQKPropsPageItem>> FItems;
};

class TZQKCustomPropsPage : public QAbstractScrollArea {
 public:
  explicit TZQKCustomPropsPage(QWidget* parent = nullptr);
  ~TZQKCustomPropsPage() override;

  TZQKPropsPageItems& Items() { return FItems; }
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  void RebuildRows();
  // How many times the visible rows were laid out (a measure for batching).
  int RebuildCount() const { return FRebuildCount; }

  int RowCount() const { return static_cast<int>(FRows.size()); }
  TZQKPropsPageItem* ItemAtRow(int row) const;
  TZQKPropsPageItem* CurrentItem() const { return ItemAtRow(FRow); }
  int Row() const { return FRow; }
  void SetRow(int row);
  int TopRow() const { return FTopRow; }
  void SetTopRow(int row);
  int RowHeight() const { return FRowHeight; }
  int VisibleRowCount() const;
  // Applies the editor's last text to the row's item.
  void ApplyEditText(int row);
  // While typed text is applied at a keystroke; consecutive keystrokes of one run of
  // typing (until Enter, another row or the focus leaving) share TypingRun.
  bool ApplyingKeystroke() const { return FApplyingKeystroke; }
  int TypingRun() const { return FTypingRun; }
  // The rows stand for other objects now: Escape no longer puts back a value typed over.
  void ForgetTyping() { FRunStartText.reset(); }

  int Splitter() const { return FSplitter; }
  void SetSplitter(int value);
  TColor ValuesColor() const { return FValuesColor; }
  void SetValuesColor(TColor value);
  bool ToolTips() const { return FToolTips; }
  void SetToolTips(bool value) { FToolTips = value; }
  bool GridVisible() const { return FGridVisible; }
  void SetGridVisible(bool value);
  TColor GridColor() const { return FGridColor; }
  void SetGridColor(TColor value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);

  TZQKPropsPageInplaceEdit* InplaceEditor() const { return FEditor; }
  // The cell rectangle in viewport coordinates (column 0 names, 1 values).
  QRect CellRect(int column, int row) const;
  // The row under a viewport point, -1 outside the rows.
  int RowAt(int y) const;
  // The text of the hint window for clipped cells; empty while none shows.
  QString ToolTipText() const;

  // Hooks of the subclass.
  virtual TZQKPropsPageItem* CreateItem(TZQKPropsPageItem* parentItem);
  virtual void ItemExpanding(TZQKPropsPageItem*) {}
  virtual void ItemCollapsing(TZQKPropsPageItem*) {}
  virtual TColor CaptionColor(TZQKPropsPageItem*) const { return FFontColor; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;

 private:
  friend class TZQKPropsPageItem;
  friend class TZQKPropsPageItems;
  friend class TZQKPropsPageInplaceEdit;
  void ItemDestroyed(TZQKPropsPageItem* item);
  void AppendRows(const std::vector<std::unique_ptr<TZQKPropsPageItem>>& items);
  void DoRebuildRows(bool forced);
  void UpdateEditor();
  void PlaceEditor();
  void UpdateScrollBar();
  void FitTopRow();
  void InvalidateRow(int row);
  void PaintCell(QPainter& painter, int column, int row, const QRect& rect);
  void ToggleRow(int row);
  void FontChanged();
  void ShowToolTip(const QPoint& pos);
  void HideToolTip();
  void MoveRow(int delta);
  bool NavigationKey(QKeyEvent* event);

  TZQKPropsPageItems FItems{this};
  std::vector<TZQKPropsPageItem*> FRows;
  int FUpdateCount = 0;
  int FRebuildCount = 0;
  bool FRebuildPending = false;
  bool FDestroying = false;
  bool FForcedRebuild = false;
  bool FSplitterDragging = false;
  int FSplitterOffset = 0;
  bool FRowTracking = false;
  int FRow = -1;
  int FPreviousRow = -1;
  int FTopRow = 0;
  int FRowHeight = 16;
  int FSplitter = 84;
  TColor FValuesColor = clNavy;
  bool FToolTips = true;
  bool FGridVisible = true;
  TColor FGridColor = clBtnShadow;
  TColor FColor = clBtnFace;
  TColor FFontColor = clWindowText;
  std::string FLastEditText;
  bool FApplyingKeystroke = false;
  // An apply is under way: the message box of a refused value takes the focus, and
  // that focus change must not apply the same text again.
  bool FApplyingText = false;
  int FTypingRun = 0;
  // What a row that applies at every keystroke held before its run of typing began, so
  // Escape can put it back; Enter, a move to another row or other objects forget it.
  std::optional<std::string> FRunStartText;
  int FRunStartRow = -1;
  std::string FRunStartCaption;
  TZQKPropsPageInplaceEdit* FEditor = nullptr;
  QLabel* FToolTip = nullptr;
};

// The in-place editor: a single-line edit with an ellipsis button or a drop-down list.
class TZQKPropsPageInplaceEdit : public QWidget {
 public:
  explicit TZQKPropsPageInplaceEdit(TZQKCustomPropsPage* grid);
  ~TZQKPropsPageInplaceEdit() override;

  QLineEdit* Edit() const { return FEdit; }
  QToolButton* Button() const { return FButton; }
  TZQKPropsPageEditStyle EditStyle() const { return FEditStyle; }
  bool ReadOnly() const { return FEdit->isReadOnly(); }
  void SetStyle(TZQKPropsPageEditStyle style, bool readOnly);
  void SetText(const std::string& text);
  std::string Text() const { return FEdit->text().toStdString(); }

  // The drop-down list (list style).
  void DropDown();
  void CloseUp(bool accept);
  bool DroppedDown() const;
  QListWidget* List() const { return FList; }
  static constexpr int kDropDownRows = 8;
  static constexpr int kButtonWidth = 16;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class TZQKCustomPropsPage;
  void TextEdited();
  void ButtonClicked();
  bool EditKey(QKeyEvent* event);
  void UpdateColors();
  TZQKCustomPropsPage* FGrid;
  QLineEdit* FEdit;
  QToolButton* FButton;
  QListWidget* FList = nullptr;
  TZQKPropsPageEditStyle FEditStyle = esSimple;
  bool FRefreshing = false;
};

}  // namespace rpt
