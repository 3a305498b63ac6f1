#pragma once
// The object selector above the inspector. Closed it shows what is selected (one
// object's name and class, "%d item(s) selected" or "No items selected"); opened it
// lists the offered objects, and the one picked becomes the only selected object. The
// host fills both lists and acts on OnClick; the box knows no designer.
#include <QListWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "objects/Persistent.h"
#include "objects/StdTypes.h"

namespace rpt {

class TZQKCustomObjectComboBox;

// An ordered list of objects the box does not own; each change refreshes the box, once
// at the end of an update bracket.
class TZQKComboBoxObjects {
 public:
  explicit TZQKComboBoxObjects(TZQKCustomObjectComboBox* box) : FBox(box) {}
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void Clear();
  void Add(TPersistent* object);
  void Remove(TPersistent* object);
  int Count() const { return static_cast<int>(FObjects.size()); }
  TPersistent* Items(int index) const { return FObjects.at(static_cast<size_t>(index)); }
  bool Contains(const TPersistent* object) const;
  void SetFromList(const std::vector<TPersistent*>& list);
  void CopyToList(std::vector<TPersistent*>& list) const;

 private:
  void Changed();
  TZQKCustomObjectComboBox* FBox;
  std::vector<TPersistent*> FObjects;
  // Membership without a walk: a report offers thousands of components.
  std::unordered_set<const TPersistent*> FMembers;
  int FUpdateCount = 0;
  bool FPending = false;
};

enum TZQKDropDownAlign : uint8_t { daLeft, daRight, daCenter };

class TZQKCustomObjectComboBox : public QWidget {
 public:
  explicit TZQKCustomObjectComboBox(QWidget* parent = nullptr);
  ~TZQKCustomObjectComboBox() override;

  TZQKComboBoxObjects& OfferedObjects() { return FOffered; }
  TZQKComboBoxObjects& SelectedObjects() { return FSelected; }

  TColor ClassNameColor() const { return FClassNameColor; }
  void SetClassNameColor(TColor value);
  bool ShowClassName() const { return FShowClassName; }
  void SetShowClassName(bool value);
  bool ShowFocus() const { return FShowFocus; }
  void SetShowFocus(bool value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  int DropDownRows() const { return FDropDownRows; }
  void SetDropDownRows(int value) { FDropDownRows = value; }
  int DropDownWidth() const { return FDropDownWidth; }
  void SetDropDownWidth(int value) { FDropDownWidth = value; }
  TZQKDropDownAlign DropDownAlign() const { return FDropDownAlign; }
  void SetDropDownAlign(TZQKDropDownAlign value) { FDropDownAlign = value; }
  TColor Color() const { return FColor; }
  void SetColor(TColor value);

  void DropDown();
  void CloseUp(bool accept);
  bool DroppedDown() const { return FDroppedDown; }
  // The list while it exists; its highlighted row is the one Enter accepts.
  QListWidget* PopupList() const { return FList; }
  // The closed box's text: the one object's name, the count, or none.
  std::string DisplayText() const;
  // The name and class shown for an object (OnGetObjectNamePath may change both).
  void ObjectNames(TPersistent* object, std::string& name, std::string& className) const;
  // Paints an object's name and class into a rectangle.
  void ObjectText(QPainter& painter, const QRect& rect, TPersistent* object, bool selected, bool focusRect) const;
  int ButtonWidth() const;
  // The refresh after any change of either list.
  void ObjectsChanged();

  std::function<void(TZQKCustomObjectComboBox*)> OnDropDown;
  std::function<void(TZQKCustomObjectComboBox*)> OnCloseUp;
  std::function<void(TZQKCustomObjectComboBox*)> OnClick;
  std::function<void(TZQKCustomObjectComboBox*, TPersistent*, std::string&, std::string&)> OnGetObjectNamePath;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  friend class TZQKPopupList;
  void FitHeight();
  QRect ButtonRect() const;
  void Click();
  // While the press that opened the list is held: the item under the pointer.
  void TrackInList(const QPoint& globalPos, bool released);

  TZQKComboBoxObjects FOffered{this};
  TZQKComboBoxObjects FSelected{this};
  QListWidget* FList = nullptr;
  TColor FClassNameColor = clGray;
  TColor FColor = clWindow;
  bool FShowClassName = true;
  bool FShowFocus = true;
  bool FReadOnly = false;
  int FDropDownRows = 7;
  int FDropDownWidth = 0;
  TZQKDropDownAlign FDropDownAlign = daLeft;
  bool FDroppedDown = false;
  int FSelectedCount = 0;
  TPersistent* FSingleSelected = nullptr;
  bool FHasOffered = false;
  bool FHot = false;
  bool FButtonPressed = false;
  bool FTracking = false;
};

class TZQKObjectComboBox : public TZQKCustomObjectComboBox {
 public:
  using TZQKCustomObjectComboBox::TZQKCustomObjectComboBox;
};

}  // namespace rpt
