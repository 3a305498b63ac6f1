#include "inspector/ObjectComboBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <algorithm>

#include "framework/Application.h"
#include "framework/QtCanvas.h"
#include "objects/Component.h"
#include "objects/Format.h"

namespace rpt {

namespace {
constexpr int kBorder = 2;  // the list's frame, top and bottom

TPersistent* ObjectOf(const QListWidgetItem* item) {
  return item ? static_cast<TPersistent*>(item->data(Qt::UserRole).value<void*>()) : nullptr;
}
}  // namespace

// ---------------------------------------------------------------------------
void TZQKComboBoxObjects::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount == 0 && FPending) Changed();
}

void TZQKComboBoxObjects::Changed() {
  if (FUpdateCount > 0) {
    FPending = true;
    return;
  }
  FPending = false;
  FBox->ObjectsChanged();
}

void TZQKComboBoxObjects::Clear() {
  if (FObjects.empty()) return;
  FObjects.clear();
  FMembers.clear();
  Changed();
}

bool TZQKComboBoxObjects::Contains(const TPersistent* object) const {
  return FMembers.count(object) > 0;
}

void TZQKComboBoxObjects::Add(TPersistent* object) {
  if (!object || !FMembers.insert(object).second) return;
  FObjects.push_back(object);
  Changed();
}

void TZQKComboBoxObjects::Remove(TPersistent* object) {
  if (!FMembers.erase(object)) return;
  auto it = std::find(FObjects.begin(), FObjects.end(), object);
  if (it == FObjects.end()) return;
  FObjects.erase(it);
  Changed();
}

void TZQKComboBoxObjects::SetFromList(const std::vector<TPersistent*>& list) {
  BeginUpdate();
  Clear();
  for (TPersistent* object : list) Add(object);
  EndUpdate();
}

void TZQKComboBoxObjects::CopyToList(std::vector<TPersistent*>& list) const { list = FObjects; }

// ---------------------------------------------------------------------------
// The drop-down: a borderless window that is never activated; the box keeps the focus
// and the keys.
class TZQKPopupList : public QListWidget {
 public:
  explicit TZQKPopupList(TZQKCustomObjectComboBox* box) : QListWidget(box), FBox(box) {
    setObjectName("PopupList");
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setItemDelegate(new TDelegate(box, this));
  }
  bool ReadOnly = false;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    if (QListWidgetItem* item = itemAt(event->position().toPoint()); item && !ReadOnly) setCurrentItem(item);
  }
  void mousePressEvent(QMouseEvent*) override {}
  void mouseDoubleClickEvent(QMouseEvent*) override {}
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    const bool onItem = itemAt(event->position().toPoint()) != nullptr;
    HandleErrors([&] { FBox->CloseUp(onItem && !ReadOnly); });
  }

 private:
  class TDelegate : public QStyledItemDelegate {
   public:
    TDelegate(TZQKCustomObjectComboBox* box, QObject* parent) : QStyledItemDelegate(parent), FBox(box) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
      const bool selected = option.state & QStyle::State_Selected;
      painter->save();
      painter->fillRect(option.rect, selected ? ToQColor(clHighlight) : ToQColor(FBox->Color()));
      painter->setPen(selected ? ToQColor(clHighlightText) : FBox->palette().color(QPalette::WindowText));
      auto* object = static_cast<TPersistent*>(index.data(Qt::UserRole).value<void*>());
      FBox->ObjectText(*painter, option.rect, object, selected, selected && FBox->hasFocus());
      painter->restore();
    }

   private:
    TZQKCustomObjectComboBox* FBox;
  };
  TZQKCustomObjectComboBox* FBox;
};

// ---------------------------------------------------------------------------
TZQKCustomObjectComboBox::TZQKCustomObjectComboBox(QWidget* parent) : QWidget(parent) {
  setObjectName("ObjectComboBox");
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  setMouseTracking(true);
  resize(145, height());
  FitHeight();
}

TZQKCustomObjectComboBox::~TZQKCustomObjectComboBox() {
  qApp->removeEventFilter(this);
  // The objects are not owned: the lists only forget them.
  FSelected.BeginUpdate();
  FOffered.BeginUpdate();
}

void TZQKCustomObjectComboBox::FitHeight() {
  // The text, the 3D border and a margin: any other height is ignored.
  setFixedHeight(QFontMetrics(font()).height() + 4 + 4);
}

int TZQKCustomObjectComboBox::ButtonWidth() const {
  return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

QRect TZQKCustomObjectComboBox::ButtonRect() const {
  const int w = ButtonWidth();
  if (layoutDirection() == Qt::RightToLeft) return QRect(0, 0, w, height());
  return QRect(width() - w, 0, w, height());
}

void TZQKCustomObjectComboBox::SetClassNameColor(TColor value) {
  FClassNameColor = value;
  update();
}
void TZQKCustomObjectComboBox::SetShowClassName(bool value) {
  FShowClassName = value;
  update();
}
void TZQKCustomObjectComboBox::SetShowFocus(bool value) {
  FShowFocus = value;
  update();
}
void TZQKCustomObjectComboBox::SetColor(TColor value) {
  FColor = value;
  update();
}

void TZQKCustomObjectComboBox::ObjectsChanged() {
  FSelectedCount = FSelected.Count();
  FSingleSelected = FSelectedCount == 1 ? FSelected.Items(0) : nullptr;
  FHasOffered = FOffered.Count() > 0;
  update();
}

void TZQKCustomObjectComboBox::ObjectNames(TPersistent* object, std::string& name, std::string& className) const {
  name.clear();
  className.clear();
  if (!object) return;
  if (auto* component = dynamic_cast<TComponent*>(object)) name = component->Name();
  className = object->ClassName();
  if (OnGetObjectNamePath) OnGetObjectNamePath(const_cast<TZQKCustomObjectComboBox*>(this), object, name, className);
}

std::string TZQKCustomObjectComboBox::DisplayText() const {
  if (FSingleSelected) {
    std::string name, className;
    ObjectNames(FSingleSelected, name, className);
    return FShowClassName && !className.empty() ? name + " " + className : name;
  }
  if (FSelectedCount > 1) return Format("%d item(s) selected", FSelectedCount);
  return "No items selected";
}

void TZQKCustomObjectComboBox::ObjectText(QPainter& painter, const QRect& rect, TPersistent* object, bool selected,
                                          bool focusRect) const {
  std::string name, className;
  ObjectNames(object, name, className);
  const QFontMetrics metrics(painter.font());
  const int y = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
  const QString nameText = QString::fromStdString(name);
  if (!FShowClassName) {
    painter.save();
    painter.setClipRect(rect);
    painter.drawText(rect.left() + 2, y, nameText);
    painter.restore();
  } else {
    const int nameEnd =
        std::min(std::max(rect.left() + rect.width() / 2, rect.left() + 2 + metrics.horizontalAdvance(nameText) + 4),
                 rect.right() + 1);
    painter.save();
    painter.setClipRect(QRect(rect.left(), rect.top(), nameEnd - rect.left(), rect.height()));
    painter.drawText(rect.left() + 2, y, nameText);
    painter.setClipRect(QRect(nameEnd, rect.top(), std::max(rect.right() + 1 - nameEnd, 0), rect.height()));
    painter.setPen(ToQColor(selected ? clHighlightText : FClassNameColor));
    painter.drawText(nameEnd, y, QString::fromStdString(className));
    painter.restore();
  }
  if (focusRect) {
    painter.save();
    QPen pen(painter.pen().color(), 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));
    painter.restore();
  }
}

void TZQKCustomObjectComboBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.fillRect(rect(), ToQColor(FColor));
  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.lineWidth = 1;
  frame.state |= QStyle::State_Sunken;
  style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);

  const int bw = ButtonWidth();
  const bool rtl = layoutDirection() == Qt::RightToLeft;
  QRect textRect(1, 1, width() - bw - 2, height() - 2);
  if (rtl) textRect.translate(bw, 0);
  const bool highlighted = FShowFocus && hasFocus() && !FDroppedDown;
  if (highlighted) painter.fillRect(textRect, ToQColor(clHighlight));
  painter.setPen(!isEnabled() ? ToQColor(clGrayText)
                              : highlighted ? ToQColor(clHighlightText) : palette().color(QPalette::WindowText));
  const bool focusRect = hasFocus() && !FDroppedDown;
  if (FSingleSelected) {
    ObjectText(painter, textRect, FSingleSelected, highlighted, focusRect);
  } else {
    const QFontMetrics metrics(font());
    painter.drawText(textRect.left() + 1, 2 + metrics.ascent(), QString::fromStdString(DisplayText()));
    if (focusRect) {
      painter.setPen(QPen(painter.pen().color(), 1, Qt::DotLine));
      painter.drawRect(textRect.adjusted(0, 0, -1, -1));
    }
  }

  QStyleOptionButton button;
  button.initFrom(this);
  button.rect = ButtonRect();
  button.state &= ~QStyle::State_HasFocus;
  if (!FHasOffered) button.state &= ~QStyle::State_Enabled;
  if (FButtonPressed) button.state |= QStyle::State_Sunken;
  else button.state |= QStyle::State_Raised;
  if (FHot && FHasOffered) button.state |= QStyle::State_MouseOver;
  style()->drawControl(QStyle::CE_PushButtonBevel, &button, &painter, this);
  QStyleOption arrow = button;
  arrow.rect = button.rect.adjusted(3, 3, -3, -3);
  if (!FHasOffered) arrow.palette.setCurrentColorGroup(QPalette::Disabled);
  style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &painter, this);
}

// ---------------------------------------------------------------------------
void TZQKCustomObjectComboBox::DropDown() {
  if (FDroppedDown || !FHasOffered) return;
  if (OnDropDown) OnDropDown(this);
  if (!FList) FList = new TZQKPopupList(this);
  auto* list = static_cast<TZQKPopupList*>(FList);
  list->setFont(font());
  QPalette pal = list->palette();
  pal.setColor(QPalette::Base, ToQColor(FColor));
  list->setPalette(pal);
  const int itemHeight = QFontMetrics(font()).boundingRect("Wg").height() + 2;
  const int width = FDropDownWidth > 0 ? FDropDownWidth : this->width();
  list->clear();
  for (int i = 0; i < FOffered.Count(); ++i) {
    auto* item = new QListWidgetItem(list);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(FOffered.Items(i))));
    item->setSizeHint(QSize(width, itemHeight));
    if (FSingleSelected && FOffered.Items(i) == FSingleSelected) list->setCurrentItem(item);
  }
  if (!FSingleSelected) list->setCurrentRow(-1);
  list->ReadOnly = FReadOnly;
  const int rows = std::clamp(std::min(FDropDownRows, FOffered.Count()), 1, 100);
  const int height = rows * itemHeight + 2 * kBorder;

  const QPoint below = mapToGlobal(QPoint(0, this->height()));
  int x = below.x();
  TZQKDropDownAlign align = FDropDownAlign;
  if (layoutDirection() == Qt::RightToLeft && align != daCenter) align = align == daLeft ? daRight : daLeft;
  if (align == daRight) x = below.x() + this->width() - width;
  if (align == daCenter) x = below.x() + (this->width() - width) / 2;
  int y = below.y();
  if (const QScreen* s = screen(); s && y + height > s->geometry().bottom() + 1) y = mapToGlobal(QPoint(0, 0)).y() - height;
  list->setGeometry(x, y, width, height);
  qApp->installEventFilter(this);
  list->show();
  if (list->currentItem()) list->scrollToItem(list->currentItem());
  FDroppedDown = true;
  update();
}

void TZQKCustomObjectComboBox::CloseUp(bool accept) {
  if (!FDroppedDown) return;
  if (QWidget::mouseGrabber() == this) releaseMouse();
  FTracking = false;
  FButtonPressed = false;
  qApp->removeEventFilter(this);
  if (accept) {
    if (TPersistent* chosen = ObjectOf(FList->currentItem())) FSelected.SetFromList({chosen});
  }
  setFocus();
  FList->hide();
  FDroppedDown = false;
  update();
  if (OnCloseUp) OnCloseUp(this);
  if (accept) Click();
}

void TZQKCustomObjectComboBox::Click() {
  if (OnClick) OnClick(this);
}

// ---------------------------------------------------------------------------
void TZQKCustomObjectComboBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // A press into a window that is not active yet is the window's first click.
  if (!window()->isActiveWindow()) window()->activateWindow();
  setFocus(Qt::MouseFocusReason);
  if (!hasFocus() && window()->isActiveWindow()) return;
  HandleErrors([this] {
    if (FDroppedDown) {
      CloseUp(false);
    } else if (FHasOffered) {
      FTracking = true;
      FButtonPressed = true;
      DropDown();
    }
  });
  update();
}

void TZQKCustomObjectComboBox::TrackInList(const QPoint& globalPos, bool released) {
  if (!FList || !FList->isVisible()) return;
  const QPoint local = FList->viewport()->mapFromGlobal(globalPos);
  if (!FList->viewport()->rect().contains(local)) return;
  QListWidgetItem* item = FList->itemAt(local);
  if (item && !FReadOnly) FList->setCurrentItem(item);
  if (released) HandleErrors([&] { CloseUp(item != nullptr && !FReadOnly); });
}

void TZQKCustomObjectComboBox::mouseMoveEvent(QMouseEvent* event) {
  if (!FTracking) return;
  const bool overButton = rect().contains(event->position().toPoint());
  if (overButton != FButtonPressed) {
    FButtonPressed = overButton;
    update();
  }
  TrackInList(event->globalPosition().toPoint(), false);
}

void TZQKCustomObjectComboBox::mouseReleaseEvent(QMouseEvent* event) {
  if (!FTracking) return;
  FTracking = false;
  FButtonPressed = false;
  update();
  TrackInList(event->globalPosition().toPoint(), true);
}

void TZQKCustomObjectComboBox::keyPressEvent(QKeyEvent* event) {
  if (!FHasOffered) {
    QWidget::keyPressEvent(event);
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  HandleErrors([&] {
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && mods == Qt::AltModifier) {
      if (FDroppedDown) CloseUp(true);
      else DropDown();
      return;
    }
    if (!FDroppedDown) {
      event->ignore();
      return;
    }
    switch (key) {
      case Qt::Key_Up:
      case Qt::Key_Down: {
        const int row = FList->currentRow() + (key == Qt::Key_Down ? 1 : -1);
        if (row >= 0 && row < FList->count()) FList->setCurrentRow(row);
        else if (FList->currentRow() < 0 && FList->count() > 0) FList->setCurrentRow(0);
        break;
      }
      case Qt::Key_Return:
      case Qt::Key_Enter: CloseUp(true); break;
      case Qt::Key_Escape: CloseUp(false); break;
      default: QCoreApplication::sendEvent(FList, event); break;
    }
  });
}

bool TZQKCustomObjectComboBox::event(QEvent* event) {
  // Enter and Escape belong to an open list, not to the dialog's default buttons.
  if (event->type() == QEvent::ShortcutOverride && FDroppedDown) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void TZQKCustomObjectComboBox::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TZQKCustomObjectComboBox::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (event->reason() != Qt::PopupFocusReason) CloseUp(false);
  update();
}

void TZQKCustomObjectComboBox::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  FHot = true;
  update();
}

void TZQKCustomObjectComboBox::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  FHot = false;
  update();
}

void TZQKCustomObjectComboBox::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitHeight();
}

bool TZQKCustomObjectComboBox::eventFilter(QObject* watched, QEvent* event) {
  // Another control starting a press cancels the list.
  if (FDroppedDown && event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
    auto* widget = static_cast<QWidget*>(watched);
    if (widget != this && widget != FList && !FList->isAncestorOf(widget)) CloseUp(false);
  }
  return false;
}

}  // namespace rpt
