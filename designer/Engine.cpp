#include "designer/Engine.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

#include "designer/History.h"
#include "framework/Peer.h"
#include "framework/QtCanvas.h"
#include "objects/Format.h"

namespace rpt {

// ---------------------------------------------------------------------------
// Private messages: the names carry this module's instance and the starting thread so
// that designers of other modules never receive them.
namespace {
const int kModuleAnchor = 0;

std::string PrivateMessageName(const char* base) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "%s%.8X%.8X", base,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(&kModuleAnchor)),
                static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  return buf;
}

struct TPrivateMessages {
  uint32_t Sizing = RegisterWindowMessage(PrivateMessageName("QX_RM_DsgnrSizing"));
  uint32_t Cancel = RegisterWindowMessage(PrivateMessageName("QX_RM_DsgnrCancel"));
  uint32_t HandleUpdate = RegisterWindowMessage(PrivateMessageName("QX_RM_DsgnrSCUpd"));
};
const TPrivateMessages& Messages() {
  static const TPrivateMessages messages;
  return messages;
}
// Registered when the module starts.
[[maybe_unused]] const TPrivateMessages& gMessagesAtStart = Messages();

Qt::CursorShape HandleCursorShape(TCursor cursor) {
  switch (cursor) {
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    default: return Qt::ArrowCursor;
  }
}

TRect Normalized(TRect r) {
  if (r.Left > r.Right) std::swap(r.Left, r.Right);
  if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
  return r;
}

// Rectangles that only touch at an edge meet.
bool Meet(const TRect& a, const TRect& b) {
  return a.Left <= b.Right && b.Left <= a.Right && a.Top <= b.Bottom && b.Top <= a.Bottom;
}

bool AcceptsControls(const TControl* control) {
  return dynamic_cast<const TCustomPanel*>(control) || dynamic_cast<const TCustomForm*>(control);
}

class TUpdateGuard {
 public:
  explicit TUpdateGuard(TZQKSelCtrls* s) : FSel(s) { s->BeginUpdate(); }
  ~TUpdateGuard() { FSel->EndUpdate(); }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

 private:
  TZQKSelCtrls* FSel;
};

// The window of one grab handle.
class THandleWindow : public QWidget {
 public:
  THandleWindow(TZQKSelCtrlItemPoint* point, QWidget* parent) : QWidget(parent), FPoint(point) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(TZQKSelCtrlItemPoint::Size, TZQKSelCtrlItemPoint::Size);
  }
  TZQKSelCtrlItemPoint* FPoint;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(FPoint->BorderColor()));
    p.fillRect(rect().adjusted(1, 1, -1, -1), ToQColor(FPoint->Color()));
  }
  void mousePressEvent(QMouseEvent* e) override {
    const TMouseButton button = e->button() == Qt::RightButton ? mbRight
                                : e->button() == Qt::MiddleButton ? mbMiddle
                                                                  : mbLeft;
    const QPointF g = e->globalPosition();
    FPoint->Press(button, {int32_t(g.x()), int32_t(g.y())}, ShiftStateOf(e->modifiers(), e->buttons()));
  }
};

// The corner handles of a multi-selection in one parent window. The window covers the
// handles' bounding box and is masked to the handles, so it takes their presses (which
// do nothing, as on a multi-selection's handle window) and leaves the controls between
// them to the pointer.
class THandleLayer : public QWidget {
 public:
  struct TSpot {
    QRect Rect;  // in the parent window
    QColor Fill, Border;
  };
  explicit THandleLayer(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }
  void SetSpots(std::vector<TSpot> spots) {
    if (spots.empty()) {
      FSpots.clear();
      hide();
      return;
    }
    QRect bounds;
    for (const TSpot& s : spots) bounds |= s.Rect;
    // In bands of rows, so the mask mostly grows by appending.
    std::sort(spots.begin(), spots.end(), [](const TSpot& a, const TSpot& b) {
      return std::pair(a.Rect.top(), a.Rect.left()) < std::pair(b.Rect.top(), b.Rect.left());
    });
    QRegion mask;
    for (const TSpot& s : spots) mask += s.Rect.translated(-bounds.topLeft());
    FSpots = std::move(spots);
    FOrigin = bounds.topLeft();
    setGeometry(bounds);
    setMask(mask);
    raise();
    show();
    update();
  }
  const std::vector<TSpot>& Spots() const { return FSpots; }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    const QRect dirty = e->rect().translated(FOrigin);
    for (const TSpot& s : FSpots) {
      if (!s.Rect.intersects(dirty)) continue;
      const QRect r = s.Rect.translated(-FOrigin);
      p.fillRect(r, s.Border);
      p.fillRect(r.adjusted(1, 1, -1, -1), s.Fill);
    }
  }
  void mousePressEvent(QMouseEvent* e) override { e->accept(); }

 private:
  std::vector<TSpot> FSpots;
  QPoint FOrigin;
};

// The part of a widget that its ancestors leave visible, in its own coordinates.
QRect VisiblePart(QWidget* widget) {
  QRect r = widget->rect();
  for (QWidget* a = widget->parentWidget(); a; a = a->isWindow() ? nullptr : a->parentWidget())
    r &= QRect(widget->mapFrom(a, QPoint(0, 0)), a->size());
  return r;
}

// The drag feedback layer over a container. Nothing under it changes during a drag, so
// a picture of the container (children included) taken at the start stands in for it:
// the layer is opaque, the toolkit repaints nothing beneath it, and each strip a figure
// touches is redrawn from the picture with the figures combined by exclusive-or.
class TDragOverlay : public QWidget {
 public:
  TDragOverlay(TZQKEngCanvas* canvas, QWidget* parent, const QRect& area)
      : QWidget(parent), FCanvas(canvas), FOrigin(area.topLeft()), FSnapshot(parent->grab(area)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(area);
    raise();
    show();
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    const qreal ratio = FSnapshot.devicePixelRatio();
    for (const QRect& r : e->region())
      p.drawPixmap(r, FSnapshot, QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
    // Figures are in the container's coordinates.
    p.translate(-FOrigin);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setBrush(Qt::NoBrush);
    // Figures outside the dirty area would be clipped away whole.
    const QRect dirty = e->region().boundingRect().translated(FOrigin).adjusted(-2, -2, 2, 2);
    for (const auto& s : FCanvas->Shapes()) {
      if (!dirty.intersects(QRect(QPoint(s.Rect.Left, s.Rect.Top), QPoint(s.Rect.Right, s.Rect.Bottom)))) continue;
      if (s.Figure == TZQKEngCanvas::fgBand) {
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        p.drawRect(s.Rect.Left, s.Rect.Top, s.Rect.Right - s.Rect.Left - 1, s.Rect.Bottom - s.Rect.Top - 1);
      } else {
        QPen pen(QColor(128, 128, 128), 2, Qt::SolidLine);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.drawRect(s.Rect.Left + 1, s.Rect.Top + 1, s.Rect.Right - s.Rect.Left - 2, s.Rect.Bottom - s.Rect.Top - 2);
      }
    }
  }

 private:
  TZQKEngCanvas* FCanvas;
  QPoint FOrigin;
  QPixmap FSnapshot;
};

// Sees every key and button press of the thread while a hint is shown.
class THintMessageHook : public QObject {
 public:
  explicit THintMessageHook(TZQKEngHint* hint) : FHint(hint) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel: {
        TMessage m(e->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_LBUTTONDOWN);
        FHint->MessageTest(m);
        break;
      }
      default:
        break;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  TZQKEngHint* FHint;
};
}  // namespace

uint32_t SizingMsg() { return Messages().Sizing; }
uint32_t CancelMsg() { return Messages().Cancel; }
uint32_t HandleUpdateMsg() { return Messages().HandleUpdate; }

// ---------------------------------------------------------------------------
TZQKSelCtrlItemPoint::TZQKSelCtrlItemPoint(TZQKSelCtrlItem* item, int handleIndex)
    : FItem(item), FHandleIndex(handleIndex) {}

TZQKSelCtrlItemPoint::~TZQKSelCtrlItemPoint() { delete FWindow.data(); }

QWidget* TZQKSelCtrlItemPoint::ParentWindow() const {
  TZQKEngine* engine = FItem->Selection()->Engine();
  return engine ? PeerWidget(engine->ParentOf(FItem->Control())) : nullptr;
}

void TZQKSelCtrlItemPoint::Place() {
  TZQKSelCtrls* sel = FItem->Selection();
  TZQKEngine* engine = sel->Engine();
  TControl* c = FItem->Control();
  const TZQKHandleState state = FItem->HandleState();
  const int32_t d = state == hsSingle ? 2 : 0;
  const int32_t l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
  static const TCursor kCursors[8] = {crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE,
                                      crSizeNWSE, crSizeNS, crSizeNESW, crSizeWE};
  switch (FHandleIndex) {
    case 0: FTop = t - d, FLeft = l - d; break;
    case 1: FTop = t - d, FLeft = l + w / 2 - 2; break;
    case 2: FTop = t - d, FLeft = l + w + d - 5; break;
    case 3: FTop = t + h / 2 - 2, FLeft = l + w + d - 5; break;
    case 4: FTop = t + h + d - 5, FLeft = l + w + d - 5; break;
    case 5: FTop = t + h + d - 5, FLeft = l + w / 2 - 2; break;
    case 6: FTop = t + h + d - 5, FLeft = l - d; break;
    default: FTop = t + h / 2 - 2, FLeft = l - d; break;
  }
  TZQKCustomDesigner* des = engine->Designer();
  const TZQKDesignerLockMode lock = engine->LockModeOf(c);
  if (sel->HandlesActive()) {
    if (state == hsSingle) {
      FBorderColor = des->HandleBorderColor(), FColor = des->HandleColor();
    } else {
      FBorderColor = des->MultiSelectHandleBorderColor(), FColor = des->MultiSelectHandleColor();
    }
    if (lock.Contains(lmNoMove)) FColor = des->LockedHandleColor();
    if (lock.Contains(lmNoResize)) FBorderColor = des->LockedHandleColor();
  } else if (state == hsSingle) {
    FBorderColor = des->InactiveHandleBorderColor(), FColor = des->InactiveHandleColor();
  } else {
    FBorderColor = des->MultiSelectHandleBorderColor(), FColor = des->MultiSelectHandleColor();
  }
  FVisible = state == hsSingle || (state == hsMulti && FHandleIndex % 2 == 0);
  FCursor = state == hsSingle && !lock.Contains(lmNoResize) ? kCursors[FHandleIndex] : crDefault;

  QWidget* parent = ParentWindow();
  if (!parent) {
    // No window to show in: the handle keeps its place and shows nothing.
    if (FWindow) FWindow->hide();
    return;
  }
  // Handles that were never shown need no window; a multi-selection's are drawn by the
  // selection's layer.
  if (!FVisible || state != hsSingle) {
    if (FWindow) FWindow->hide();
    return;
  }
  if (!FWindow) {
    FWindow = new THandleWindow(this, parent);
  } else if (FWindow->parentWidget() != parent) {
    FWindow->setParent(parent);
  }
  FWindow->move(FLeft, FTop);
  FWindow->setVisible(true);
  FWindow->raise();
  FWindow->setCursor(HandleCursorShape(FCursor));
  FWindow->update();
}

void TZQKSelCtrlItemPoint::Press(TMouseButton button, TPoint screenPos, TShiftState shift) {
  if (button != mbLeft || FItem->HandleState() != hsSingle) return;
  FItem->HandleIndex = FHandleIndex;
  TZQKEngine* engine = FItem->Selection()->Engine();
  TMessage m(SizingMsg());
  m.ScreenPos = screenPos;
  m.Shift = shift;
  m.Button = mbLeft;
  m.Pos = ScreenToClient(FItem->Control(), screenPos);
  engine->FilterDesignMessage(FItem->Control(), m);
}

// ---------------------------------------------------------------------------
TZQKSelCtrlItem::TZQKSelCtrlItem(TZQKSelCtrls* selection, TControl* control)
    : FSelection(selection), FControl(control) {
  for (int i = 0; i < 8; ++i) {
    FHandles[i] = std::make_unique<TZQKSelCtrlItemPoint>(this, i);
    FHandles[i]->Place();
  }
}

TZQKSelCtrlItem::~TZQKSelCtrlItem() = default;

void TZQKSelCtrlItem::SetHandleState(TZQKHandleState state) {
  if (state == FHandleState) return;
  FHandleState = state;
  PlaceHandles();
}

void TZQKSelCtrlItem::PlaceHandles() {
  for (auto& h : FHandles) h->Place();
  FSelection->HandlesPlaced();
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKSelCtrls, TComponent)
RPT_END_CLASS

TZQKSelCtrls::~TZQKSelCtrls() {
  FDestroying = true;
  FItems.clear();
  for (QPointer<QWidget>& layer : FHandleLayers) delete layer.data();
}

int TZQKSelCtrls::IndexOf(const TControl* control) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->Control() == control) return static_cast<int>(i);
  return -1;
}

int TZQKSelCtrls::Add(TControl* control) {
  if (!FEngine)
    throw EZQKDesigner("Designer must be active");
  if (!control) throw EZQKDesigner(Format("Component \"%s\" can not be selected", ""));
  const int index = IndexOf(control);
  if (index >= 0) return index;
  if (!FEngine->CanSelect(control))
    throw EZQKDesigner(Format("Component \"%s\" can not be selected", control->Name()));
  auto item = std::make_unique<TZQKSelCtrlItem>(this, control);
  WatchComponent(control);
  FItems.push_back(std::move(item));
  // Within an update only the last control added is brought into view, at its end:
  // scrolling for each of many would move every control of the form each time.
  if (FUpdateCount > 0)
    FScrollPending = control;
  else
    ScrollIntoView(control);
  Changed();
  return Count() - 1;
}

void TZQKSelCtrls::ScrollIntoView(TControl* control) {
  // A control that shows handles is brought into view by the nearest scrolling form
  // above it (its own parent, or the design form for a control inside the root).
  if (!FHandlesVisible || control == FRootControl) return;
  for (TWinControl* p = control->Parent(); p; p = p->Parent())
    if (auto* form = dynamic_cast<TCustomForm*>(p)) {
      form->ScrollInView(control);
      break;
    }
}

void TZQKSelCtrls::DeleteItem(int index) {
  std::unique_ptr<TZQKSelCtrlItem> item = std::move(FItems[static_cast<size_t>(index)]);
  if (item->Control() == FScrollPending) FScrollPending = nullptr;
  if (item->Control() != FEngine->Root()) UnwatchComponent(item->Control());
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TZQKSelCtrls::Remove(TControl* control) {
  const int index = IndexOf(control);
  if (index >= 0) DeleteItem(index);
}

void TZQKSelCtrls::Clear() {
  TUpdateGuard guard(this);
  while (!FItems.empty()) DeleteItem(Count() - 1);
}

void TZQKSelCtrls::SelectOnly(TControl* control) {
  TUpdateGuard guard(this);
  while (!FItems.empty() && FItems.front()->Control() != control) DeleteItem(0);
  while (Count() > 1) DeleteItem(1);
  if (FItems.empty() && control) Add(control);
}

void TZQKSelCtrls::RestrictToParent(TWinControl* parent) {
  TUpdateGuard guard(this);
  for (int i = Count() - 1; i >= 0; --i)
    if (FEngine->ParentOf(Controls(i)) != parent) DeleteItem(i);
}

void TZQKSelCtrls::SelectExactly(const std::vector<TControl*>& list) {
  TUpdateGuard guard(this);
  for (int i = Count() - 1; i >= 0; --i)
    if (std::find(list.begin(), list.end(), Controls(i)) == list.end()) DeleteItem(i);
  for (TControl* c : list)
    if (IndexOf(c) < 0) Add(c);
}

void TZQKSelCtrls::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount == 0 && FScrollPending) {
    TControl* control = FScrollPending;
    FScrollPending = nullptr;
    ScrollIntoView(control);
  }
  if (FUpdateCount == 0 && FChangePending) {
    FChangePending = false;
    Changed();
  }
}

void TZQKSelCtrls::Changed() {
  if (FUpdateCount > 0) {
    FChangePending = true;
    return;
  }
  if (FDestroying) return;
  UpdateHandleStates();
  PlaceHandles();
  FEngine->Designer()->DoChangeSelection();
}

void TZQKSelCtrls::UpdateHandleStates() {
  const TZQKHandleState many = Count() == 1 ? hsSingle : hsMulti;
  for (auto& item : FItems)
    item->SetHandleState(!FHandlesVisible || item->Control() == FRootControl ? hsNone : many);
}

void TZQKSelCtrls::SetHandlesVisible(bool value) {
  if (value == FHandlesVisible) return;
  FHandlesVisible = value;
  UpdateHandleStates();
  // At once: a drag that hides them takes its picture of the surface next.
  SyncHandleLayers();
}

void TZQKSelCtrls::SetHandlesActive(bool value) {
  if (value == FHandlesActive) return;
  FHandlesActive = value;
  PlaceHandles();
}

void TZQKSelCtrls::SetRootControl(TControl* control) {
  if (control == FRootControl) return;
  FRootControl = control;
  UpdateHandleStates();
}

void TZQKSelCtrls::PlaceHandles() {
  for (auto& item : FItems) item->PlaceHandles();
  HandlesPlaced();  // also when none is left to place
}

void TZQKSelCtrls::PlaceHandles(int index) { FItems.at(static_cast<size_t>(index))->PlaceHandles(); }

void TZQKSelCtrls::HandlesPlaced() {
  if (FLayerSyncPending) return;
  FLayerSyncPending = true;
  if (!FLayerSyncContext) FLayerSyncContext = std::make_unique<QObject>();
  QMetaObject::invokeMethod(FLayerSyncContext.get(), [this] { SyncHandleLayers(); }, Qt::QueuedConnection);
}

void TZQKSelCtrls::SyncHandleLayers() {
  FLayerSyncPending = false;
  std::map<QWidget*, std::vector<THandleLayer::TSpot>> spots;
  for (auto& item : FItems) {
    if (item->HandleState() != hsMulti) continue;
    QWidget* parent = item->Handle(0)->ParentWindow();
    if (!parent) continue;
    std::vector<THandleLayer::TSpot>& list = spots[parent];
    for (int i = 0; i < 8; ++i)
      if (const TZQKSelCtrlItemPoint* h = item->Handle(i); h->Visible())
        list.push_back({QRect(h->Left(), h->Top(), TZQKSelCtrlItemPoint::Size, TZQKSelCtrlItemPoint::Size),
                        ToQColor(h->Color()), ToQColor(h->BorderColor())});
  }
  std::erase_if(FHandleLayers, [](const QPointer<QWidget>& layer) { return layer.isNull(); });
  for (QPointer<QWidget>& layer : FHandleLayers) {
    auto it = spots.find(layer->parentWidget());
    static_cast<THandleLayer*>(layer.data())->SetSpots(it == spots.end() ? std::vector<THandleLayer::TSpot>()
                                                                          : std::move(it->second));
    if (it != spots.end()) spots.erase(it);
  }
  for (auto& [parent, list] : spots) {
    auto* layer = new THandleLayer(parent);
    layer->SetSpots(std::move(list));
    FHandleLayers.emplace_back(layer);
  }
}

QWidget* TZQKSelCtrls::HandleLayer(const QWidget* parent) const {
  for (const QPointer<QWidget>& layer : FHandleLayers)
    if (layer && layer->parentWidget() == parent && layer->isVisibleTo(layer->parentWidget())) return layer;
  return nullptr;
}

void TZQKSelCtrls::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TComponent::ComponentNotification(component, operation);
  if (operation != coRemove) return;
  // A drag that holds the control ends first; a selected control that goes away leaves
  // the selection.
  if (FEngine && FEngine->Dragging() && FEngine->Holds(dynamic_cast<TControl*>(component))) FEngine->CancelDrag();
  const int index = IndexOf(dynamic_cast<TControl*>(component));
  if (index >= 0 && component) DeleteItem(index);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKNonvisualControl, TCustomControl)
RPT_END_CLASS

TZQKNonvisualControl::TZQKNonvisualControl() {
  SetColor(clBtnFace);
  TCustomControl::SetBounds(0, 0, 28, 28);
}

TZQKNonvisualControl::~TZQKNonvisualControl() = default;

void TZQKNonvisualControl::Attach(TZQKEngine* engine, TComponent* component) {
  FEngine = engine;
  FComponent = component;
  WatchComponent(component);
  // Its messages go to the engine first, like those of the designed controls.
  SetState(sfDesigning);
  engine->RegisterProxy(this);
  Refresh();
}

void TZQKNonvisualControl::Unregister() {
  if (FEngine) FEngine->UnregisterProxy(this);
  FEngine = nullptr;
}

void TZQKNonvisualControl::SetBounds(int32_t left, int32_t top, int32_t, int32_t) {
  TCustomControl::SetBounds(left, top, 28, 28);
  if (FComponent && !FSettingBounds) {
    // Design positions are logical: on a scrolled form they include the scroll position.
    const auto* form = dynamic_cast<const TCustomForm*>(Parent());
    const TPoint scroll = form ? form->ScrollPos() : TPoint{};
    FComponent->SetDesignPosition(left + scroll.X, top + scroll.Y);
    if (FEngine)
      if (auto* root = dynamic_cast<TCustomControl*>(FEngine->Root())) root->Invalidate();
  }
}

void TZQKNonvisualControl::Refresh() {
  if (!FEngine || !FComponent) return;
  if (Parent()) BringToFront(this);
  const auto* form = dynamic_cast<const TCustomForm*>(Parent());
  const TPoint scroll = form ? form->ScrollPos() : TPoint{};
  FSettingBounds = true;
  TCustomControl::SetBounds(FComponent->DesignLeft() - scroll.X, FComponent->DesignTop() - scroll.Y, 28, 28);
  FSettingBounds = false;
  Repaint();
}

void TZQKNonvisualControl::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TCustomControl::ComponentNotification(component, operation);
  if (operation == coRemove && component && component == FComponent) {
    // The component is gone: so is the proxy (and with it its selection item).
    FComponent = nullptr;
    const bool registered = FEngine != nullptr;
    Unregister();
    if (registered) Free();
  }
}

void TZQKNonvisualControl::Paint() {
  TCanvas* c = Canvas();
  if (!c) return;
  const int32_t w = Width(), h = Height();
  c->Brush()->SetColor(Color());
  c->FillRect({0, 0, w, h});
  c->Pen()->SetColor(clBtnHighlight);
  c->MoveTo(0, h);
  c->LineTo(0, 0);
  c->LineTo(w, 0);
  c->Pen()->SetColor(clBtnShadow);
  c->MoveTo(0, h - 1);
  c->LineTo(w - 1, h - 1);
  c->LineTo(w - 1, 0);
  if (!FEngine || !FComponent) return;
  int32_t index = -1;
  TImageList* images = FEngine->Images();
  if (images) FEngine->Designer()->DoGetImageIndex(&FComponent->ClassType(), index);
  if (images && index >= 0 && index < images->Count()) {
    images->Draw(c, 2, 2, index);
  } else if (auto* qc = dynamic_cast<TQtCanvas*>(c)) {
    qc->Painter()->drawPixmap(2, 2, FEngine->DefaultProxyImage());
  }
}

// ---------------------------------------------------------------------------
TZQKEngHint::TZQKEngHint(TZQKEngine* engine) : FEngine(engine), FTimer(std::make_unique<QTimer>()) {
  FTimer->setSingleShot(true);
  QObject::connect(FTimer.get(), &QTimer::timeout, [this] { TimerFired(); });
}

TZQKEngHint::~TZQKEngHint() { Hide(); }

namespace {
THintMessageHook* HookFor(TZQKEngHint* hint, bool create) {
  static std::map<TZQKEngHint*, std::unique_ptr<THintMessageHook>> hooks;
  auto it = hooks.find(hint);
  if (it != hooks.end()) {
    if (!create) {
      if (qApp) qApp->removeEventFilter(it->second.get());
      it->second.release()->deleteLater();
      hooks.erase(it);
      return nullptr;
    }
    return it->second.get();
  }
  if (!create || !qApp) return nullptr;
  auto* hook = new THintMessageHook(hint);
  qApp->installEventFilter(hook);
  hooks[hint].reset(hook);
  return hook;
}
}  // namespace

void TZQKEngHint::Request(bool delay, bool autoHide, const std::string& text, TControl* control, bool hideOnMessage) {
  FAutoHide = autoHide;
  FControl = control;
  FHideOnMessage = hideOnMessage;
  FText = text;
  if (!delay) {
    Show();
    return;
  }
  FPhase = 0;
  FTimer->start(500);
}

void TZQKEngHint::Show() {
  if (FControl) {
    // Only while the pointer is still over the control the hint is about.
    if (QWidget* w = QApplication::widgetAt(PointerPos.X, PointerPos.Y)) {
      if (auto* peer = dynamic_cast<TControlPeer*>(w)) {
        if (FEngine->FindSelectable(peer->Control()) != FControl) {
          Hide();
          return;
        }
      }
    }
  }
  FTimer->stop();
  HookFor(this, true);
  if (!FWindow) {
    FWindow = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    FWindow->setMargin(2);
    FWindow->setFrameStyle(QFrame::Box | QFrame::Plain);
    // Captions are shown as typed, never as markup.
    FWindow->setTextFormat(Qt::PlainText);
  }
  FWindow->setStyleSheet("background-color: #ffffe1; color: black;");
  // Hint blocks are separated by a bare CR; the label breaks lines only at LF.
  QString text = QString::fromStdString(FText);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  FWindow->setText(text);
  FWindow->adjustSize();
  // Below the pointer image: its hot spot sits at the top, the image is about 20 pixels high.
  FWindow->move(PointerPos.X, PointerPos.Y + 20);
  FWindow->show();
  FWindow->repaint();
  if (FAutoHide) {
    FPhase = 1;
    FTimer->start(2500);
  }
  FShown = true;
}

void TZQKEngHint::Hide() {
  FTimer->stop();
  if (FWindow) FWindow->hide();
  HookFor(this, false);
  FShown = false;
}

void TZQKEngHint::TimerFired() {
  if (FPhase == 0)
    Show();
  else
    Hide();
}

void TZQKEngHint::MessageTest(const TMessage& m) {
  if (!FHideOnMessage) return;
  switch (m.Msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
      Hide();
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
TZQKEngCanvas::TZQKEngCanvas(TWinControl* container) : FContainer(container) {
  QWidget* w = PeerWidget(container);
  if (!w) return;
  // Only what can be seen needs a picture: a long report scrolled in a small panel
  // would otherwise be rendered whole at every press.
  QRect area = VisiblePart(w);
  if (area.isEmpty()) area = w->rect();
  FOverlayOrigin = area.topLeft();
  FOverlay = new TDragOverlay(this, w, area);
}

TZQKEngCanvas::~TZQKEngCanvas() { delete FOverlay.data(); }

void TZQKEngCanvas::Draw(TFigure figure, const TRect& rect) {
  auto it = std::find_if(FShapes.begin(), FShapes.end(),
                         [&](const TShape& s) { return s.Figure == figure && s.Rect == rect; });
  if (it != FShapes.end())
    FShapes.erase(it);
  else
    FShapes.push_back({figure, rect});
  if (FOverlay) {
    // Only the outline's strips change. For a small figure the whole rectangle costs
    // less than the region of its four strips (the picture makes the inside the same).
    const QRect r(rect.Left - 2, rect.Top - 2, rect.Right - rect.Left + 4, rect.Bottom - rect.Top + 4);
    const QRect inner = r.adjusted(5, 5, -5, -5);
    if (inner.isValid() && inner.width() * inner.height() > 64 * 64)
      FOverlay->update(QRegion(r.translated(-FOverlayOrigin)) - QRegion(inner.translated(-FOverlayOrigin)));
    else
      FOverlay->update(r.translated(-FOverlayOrigin));
  }
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKEngine, TComponent)
RPT_END_CLASS

TZQKEngine::~TZQKEngine() {
  if (FStarted) Stop();
}

void TZQKEngine::Start(TZQKCustomDesigner* designer, TImageList* images, bool showNonvisual,
                       TZQKCustomDesignPanel* panel, TComponent* root) {
  FDesigner = designer;
  FRoot = static_cast<TControl*>(root);
  FStarted = true;
  try {
    FSelection = TComponent::Create<TZQKSelCtrls>(nullptr);
    FSelection->SetEngine(this);
    FHint = std::make_unique<TZQKEngHint>(this);
    FImageLink = std::make_unique<TChangeLink>();
    FImageLink->OnChange = [this](TImageList*) { RepaintProxies(); };
    // Renames of designed components reach CheckRename through the window layer, also
    // before any window is shown.
    InstallWindowLayer();
    if (auto* form = dynamic_cast<TCustomForm*>(root)) {
      FDesignForm = form;
    } else {
      FPanel = panel;
      panel->AttachEngine(this);
      FDesignForm = panel->Form();
      FRootPos = {FRoot->Left(), FRoot->Top()};
      FRoot->SetBounds(0, 0, FRoot->Width(), FRoot->Height());
      FRoot->SetParent(FDesignForm);
    }
    FDesignForm->SetDesigner(this);
    FDesignForm->SetState(sfDesigning);
    FRoot->SetDesigning(true);
    FDesignForm->Invalidate();
    FSelection->SetRootControl(FRoot);
    UpdateFocus();
    FSelection->SetHandlesVisible(true);
    if (showNonvisual) RebuildProxies();
    SetImages(images);
  } catch (...) {
    Stop();
    throw;
  }
}

void TZQKEngine::Stop() {
  if (!FStarted) return;
  FStarted = false;
  CancelDrag();
  if (FSelection) {
    FSelection->SetHandlesVisible(false);
    FSelection->SetDestroying();
    FSelection->Clear();
    FSelection->SetRootControl(nullptr);
  }
  RemoveProxies();
  if (FDesignForm) {
    if (!FDesignForm->HasState(sfDestroying)) FDesignForm->ClearState(sfDesigning);
    FDesignForm->SetDesigner(nullptr);
  }
  if (FRoot && !FRoot->HasState(sfDestroying)) {
    FRoot->SetDesigning(false);
    if (FPanel && FRoot->Parent() == FDesignForm) {
      FRoot->SetParent(nullptr);
      FRoot->SetBounds(FRootPos.X, FRootPos.Y, FRoot->Width(), FRoot->Height());
    }
  }
  if (FPanel) FPanel->DetachEngine();
  if (FDesignForm && !FDesignForm->HasState(sfDestroying)) FDesignForm->Invalidate();
  FHint.reset();
  FDragCanvas.reset();
  FGridBitmap.reset();
  if (FSelection) {
    FSelection->Free();
    FSelection = nullptr;
  }
  FImageLink.reset();
  FImages = nullptr;
  FDefaultImage.reset();
  FPanel = nullptr;
}

// ---------------------------------------------------------------------------
// Queries.
bool TZQKEngine::IsProxy(const TControl* control) const {
  return dynamic_cast<const TZQKNonvisualControl*>(control) != nullptr;
}

bool TZQKEngine::CanSelect(const TControl* control) const {
  if (!control) return false;
  return control == FRoot || IsProxy(control) || (control->HasState(sfDesigning) && control->Owner() == FRoot);
}

TWinControl* TZQKEngine::ParentOf(const TControl* control) const {
  if (!control) return nullptr;
  if (IsProxy(control)) return dynamic_cast<TWinControl*>(FRoot);
  return control->Parent();
}

TControl* TZQKEngine::FindSelectable(TControl* control) const {
  for (TControl* c = control; c; c = ParentOf(c))
    if (CanSelect(c)) return c;
  return nullptr;
}

TControl* TZQKEngine::ControlOf(TComponent* component) const {
  if (auto* c = dynamic_cast<TControl*>(component)) return c;
  return ProxyOf(component);
}

TComponent* TZQKEngine::ComponentOf(TControl* control) const {
  if (auto* p = dynamic_cast<TZQKNonvisualControl*>(control)) return p->Component();
  return control;
}

TWinControl* TZQKEngine::FindContainer(TControl* control) const {
  for (TControl* c = control; c; c = c->Parent())
    if (auto* w = dynamic_cast<TWinControl*>(c); w && !IsProxy(c) && AcceptsControls(c)) return w;
  return nullptr;
}

TZQKDesignerLockMode TZQKEngine::LockModeOf(const TControl* control) const {
  return FDesigner->LockModeOf(control);
}

bool TZQKEngine::NameIsFree(const std::string& name) const { return FRoot->FindComponent(name) == nullptr; }

// ---------------------------------------------------------------------------
// Proxies.
TZQKNonvisualControl* TZQKEngine::ProxyOf(const TComponent* component) const {
  for (auto* p : FProxies)
    if (p->Component() == component) return p;
  return nullptr;
}

void TZQKEngine::RegisterProxy(TZQKNonvisualControl* proxy) { FProxies.push_back(proxy); }

void TZQKEngine::UnregisterProxy(TZQKNonvisualControl* proxy) {
  FProxies.erase(std::remove(FProxies.begin(), FProxies.end(), proxy), FProxies.end());
}

void TZQKEngine::CreateProxy(TComponent* component) {
  if (!component || ProxyOf(component)) return;
  auto* proxy = TComponent::Create<TZQKNonvisualControl>(nullptr);
  if (auto* root = dynamic_cast<TWinControl*>(FRoot)) proxy->SetParent(root);
  proxy->Attach(this, component);
}

void TZQKEngine::DestroyProxy(TComponent* component) {
  if (TZQKNonvisualControl* proxy = ProxyOf(component)) {
    proxy->Unregister();
    proxy->Free();
  }
}

void TZQKEngine::RemoveProxies() {
  while (!FProxies.empty()) {
    TZQKNonvisualControl* proxy = FProxies.front();
    proxy->Unregister();
    proxy->Free();
  }
}

void TZQKEngine::RebuildProxies() {
  RemoveProxies();
  const std::vector<TComponent*> owned = FRoot->OwnedComponents();
  for (TComponent* c : owned)
    if (!dynamic_cast<TControl*>(c) && !IsHidden(c)) CreateProxy(c);
}

void TZQKEngine::RefreshProxies() {
  for (auto* p : FProxies) p->Refresh();
}

void TZQKEngine::RepaintProxies() {
  for (auto* p : FProxies) p->Invalidate();
}

bool TZQKEngine::IsHidden(TComponent* component) {
  bool hidden = FDesigner->HiddenClasses().IndexOf(&component->ClassType()) >= 0;
  FDesigner->DoShowNonvisualComponent(component, hidden);
  return hidden;
}

void TZQKEngine::SetImages(TImageList* images) {
  if (FImages && FImageLink) FImages->UnRegisterChanges(FImageLink.get());
  FImages = images;
  if (images && FImageLink) images->RegisterChanges(FImageLink.get());
  RepaintProxies();
}

const QPixmap& TZQKEngine::DefaultProxyImage() {
  if (!FDefaultImage) {
    // A small box with a dot: a component without a face of its own.
    QPixmap image(24, 24);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(3, 5, 17, 13);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(9, 9, 5, 5);
    FDefaultImage = std::make_unique<QPixmap>(image);
  }
  return *FDefaultImage;
}

void TZQKEngine::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TComponent::ComponentNotification(component, operation);
}

// ---------------------------------------------------------------------------
// The hook.
void TZQKEngine::NotifyModified() {
  FSelection->PlaceHandles();
  RefreshProxies();
  FDesigner->DesignChanged();
}

void TZQKEngine::NotifyComponent(TPersistent* object, TComponentOperation operation) {
  auto* component = dynamic_cast<TComponent*>(object);
  if (component && !dynamic_cast<TControl*>(component)) {
    if (operation == coRemove)
      DestroyProxy(component);
    else if (FDesigner->ShowNonvisualComponents() && !ProxyOf(component) && !IsHidden(component))
      CreateProxy(component);
  }
  FDesigner->DoNotification(object, operation);
}

TCustomForm* TZQKEngine::HostForm() { return dynamic_cast<TCustomForm*>(FRoot); }

void TZQKEngine::SetHostForm(TCustomForm*) { throw EZQKDesigner("Not implemented"); }

bool TZQKEngine::GetIsControl() { return FRoot->IsControlFlag(); }

void TZQKEngine::SetIsControl(bool value) { FRoot->SetIsControlFlag(value); }

void TZQKEngine::CheckRename(TComponent* component, const std::string&, const std::string& newName) {
  auto* control = dynamic_cast<TControl*>(component);
  if (!control || !CanSelect(control) || newName.empty()) return;
  bool valid = IsValidIdent(newName);
  if (valid) FDesigner->DoValidateName(newName, valid);
  if (!valid) throw EZQKDesigner(Format("''%s'' is not a valid component name", newName));
  if (!NameIsFree(newName)) throw EZQKDesigner(Format("A component named %s already exists", newName));
}

std::string TZQKEngine::MakeUniqueName(const std::string& baseName) {
  int from = 1;
  return MakeUniqueName(baseName, from);
}

std::string TZQKEngine::MakeUniqueName(const std::string& baseName, int& from) {
  std::string unique;
  FDesigner->DoGetUniqueName(baseName, unique);
  if (!unique.empty()) return unique;
  const std::string base =
      baseName.size() >= 2 && (baseName[0] == 'T' || baseName[0] == 't') ? baseName.substr(1) : baseName;
  for (int n = std::max(from, 1);; ++n) {
    std::string name = Format("%s%d", base, n);
    if (NameIsFree(name)) {
      from = n + 1;
      return name;
    }
  }
}

void TZQKEngine::GridChanged() {
  FGridBitmap.reset();
  if (FDesignForm) FDesignForm->Invalidate();
}

void TZQKEngine::PaintDesignGrid() {
  const TZQKDesignerGrid* grid = FDesigner->Grid();
  TCanvas* canvas = FDesignForm->Canvas();
  if (!grid->Visible() || !canvas) return;
  const TColor formColor = FDesignForm->Color();
  const TPoint scroll = FDesignForm->ScrollPos();
  const int32_t xs = grid->XStep(), ys = grid->YStep();
  if (!FGridBitmap || formColor != FGridFormColor || !(scroll == FGridScroll)) {
    FGridFormColor = formColor;
    FGridScroll = scroll;
    const int w = xs * (8 / xs + 1), h = ys * (8 / ys + 1);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(ToQColor(formColor));
    const QRgb dot = ToQColor(grid->Color()).rgb();
    for (int y = -(scroll.Y % ys); y < h; y += ys)
      for (int x = -(scroll.X % xs); x < w; x += xs)
        if (x >= 0 && y >= 0) image.setPixel(x, y, dot);
    FGridBitmap = std::make_unique<QPixmap>(QPixmap::fromImage(image));
    ++FGridRebuilds;
  }
  const TRect clip =
      canvas->HasClipRect() ? canvas->ClipRect() : TRect{0, 0, FDesignForm->Width(), FDesignForm->Height()};
  if (auto* qc = dynamic_cast<TQtCanvas*>(canvas)) {
    qc->Painter()->fillRect(QRect(clip.Left, clip.Top, clip.Right - clip.Left, clip.Bottom - clip.Top),
                            QBrush(*FGridBitmap));
  } else {
    // Other canvases get the dots one by one.
    for (int32_t y = clip.Top; y < clip.Bottom; ++y)
      if ((y + scroll.Y) % ys == 0)
        for (int32_t x = clip.Left; x < clip.Right; ++x)
          if ((x + scroll.X) % xs == 0) canvas->SetPixel(x, y, grid->Color());
  }
}

void TZQKEngine::FocusDesignForm() {
  if (FDesignForm && CanFocus(FDesignForm) && !Focused(FDesignForm)) SetFocus(FDesignForm);
}

void TZQKEngine::UpdateFocus() {
  bool active = false;
  QWidget* form = PeerWidget(FDesignForm);
  QWidget* focus = QApplication::focusWidget();
  if (form && focus) active = focus == form || form->isAncestorOf(focus);
  const bool gained = active && !FSelection->HandlesActive();
  FSelection->SetHandlesActive(active);
  if (gained) FDesigner->DoFocusGained();
}

bool TZQKEngine::Holds(const TControl* control) const {
  if (!FDragging || !control) return false;
  if (control == FResizeControl || (FDragCanvas && FDragCanvas->Container() == control)) return true;
  return std::any_of(FMoveRecs.begin(), FMoveRecs.end(), [control](const TMoveRec& r) { return r.Control == control; });
}

void TZQKEngine::CancelDrag() {
  if (!FDragging) return;
  TMessage m(CancelMsg());
  m.ScreenPos = FLastPoint;
  PointerHandling(FDesignForm, m);
}

void TZQKEngine::ContextMenu(TPoint pos) {
  CancelDrag();
  bool handled = false;
  FDesigner->DoContextPopup(pos, handled);
  if (handled) return;
  TPopupMenu* menu = FDesigner->DoGetPopupMenu();
  if (!menu || !menu->AutoPopup()) return;
  TPoint at = pos;
  if (pos == TPoint{-1, -1}) {
    if (FDesigner->ComponentContextPopup() && FSelection->Count() == 1 && FSelection->Controls(0) != FRoot) {
      TControl* k = FSelection->Controls(0);
      at = ClientToScreen(k, {k->Width(), 0});
    } else {
      at = ClientToScreen(FDesignForm, {0, 0});
    }
  }
  menu->SetPopupComponent(FDesigner);
  FLastPopupPoint = at;
  menu->Popup(at.X, at.Y);
}

// ---------------------------------------------------------------------------
bool TZQKEngine::FilterDesignMessage(TControl* control, TMessage& m) {
  if (!FStarted) return false;
  if (!FDragging) FHint->MessageTest(m);
  if (m.IsMouse()) FHint->PointerPos = m.ScreenPos;
  const TPoint rootPt = m.IsMouse() ? ScreenToClient(FRoot, m.ScreenPos) : TPoint{};
  if (m.Msg == HandleUpdateMsg()) {
    const int index = FSelection->IndexOf(reinterpret_cast<TControl*>(m.WParam));
    if (index >= 0) FSelection->PlaceHandles(index);
    return false;
  }
  if (m.Msg == CM_SCROLLED) {
    // The design form scrolled: the handles follow their controls at once.
    if (control == FDesignForm) {
      FHint->Hide();
      FSelection->PlaceHandles();
    }
    return false;
  }
  if (m.Msg == SizingMsg()) {
    FocusDesignForm();
    return PointerHandling(control, m);
  }
  switch (m.Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      UpdateFocus();
      return false;
    case WM_CLOSE:
      if (control == FRoot) {
        if (auto* form = dynamic_cast<TCustomForm*>(FRoot)) {
          TCloseAction action = caHide;
          FDesigner->DoDesignFormClose(action);
          switch (action) {
            case caNone: break;
            case caHide: form->Hide(); break;
            case caFree: form->Release(); break;
            case caMinimize:
              if (QWidget* w = PeerWidget(form); w && w->isVisible()) w->showMinimized();
              break;
          }
        }
      }
      return true;
    case WM_CANCELMODE:
      CancelDrag();
      return false;
    case WM_WINDOWPOSCHANGED:
      PostMessage(FDesignForm, HandleUpdateMsg(), reinterpret_cast<intptr_t>(control));
      return false;
    case WM_CONTEXTMENU:
      ContextMenu(m.ScreenPos);
      m.Result = 1;
      return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      uint16_t key = m.CharCode;
      FDesigner->DoKeyDown(key, m.Shift);
      m.CharCode = key;
      // A key the host set to 0 does nothing.
      if (key) FDesigner->DesignKeyDown(key, m.Shift);
      return true;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      uint16_t key = m.CharCode;
      FDesigner->DoKeyUp(key, m.Shift);
      m.CharCode = key;
      return true;
    }
    case WM_CHAR: {
      char ch = static_cast<char>(m.CharCode);
      FDesigner->DoKeyPress(ch);
      m.CharCode = static_cast<uint8_t>(ch);
      return true;
    }
    case WM_DEADCHAR:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
      return true;
    case WM_MOUSEMOVE:
      FDesigner->DoMouseMove(m.Shift, rootPt.X, rootPt.Y);
      return PointerHandling(control, m);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      FocusDesignForm();
      const bool dbl = m.Msg == WM_LBUTTONDBLCLK || m.Msg == WM_RBUTTONDBLCLK || m.Msg == WM_MBUTTONDBLCLK;
      const TMouseButton button =
          m.Msg <= WM_LBUTTONDBLCLK ? mbLeft : m.Msg <= WM_RBUTTONDBLCLK ? mbRight : mbMiddle;
      if (m.Msg == WM_LBUTTONDOWN) FClickPending = true;
      if (m.Msg == WM_LBUTTONDBLCLK && !FDragging) {
        CancelDrag();
        FDesigner->DoDblClick();
      }
      TShiftState shift = m.Shift;
      if (dbl) shift.Include(ssDouble);
      FDesigner->DoMouseDown(button, shift, rootPt.X, rootPt.Y);
      return PointerHandling(control, m);
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const TMouseButton button = m.Msg == WM_LBUTTONUP ? mbLeft : m.Msg == WM_RBUTTONUP ? mbRight : mbMiddle;
      if (button == mbLeft && FClickPending) {
        FClickPending = false;
        FDesigner->DoClick();
      }
      FDesigner->DoMouseUp(button, m.Shift, rootPt.X, rootPt.Y);
      if (button == mbRight) {
        ContextMenu(m.ScreenPos);
        m.Result = 1;
      }
      return PointerHandling(control, m);
    }
    case WM_MOUSEWHEEL:
      // A wheel no designer event took scrolls the page: three lines a notch,
      // sideways with Shift. Not while dragging: the feedback is drawn in place.
      if (!FDesigner->MouseWheel(m.Shift, m.WheelDelta, rootPt) && !FDragging) {
        const bool sideways = m.Shift.Contains(ssShift);
        const TControlScrollBar* bar = sideways ? FDesignForm->HorzScrollBar() : FDesignForm->VertScrollBar();
        const int32_t distance = m.WheelDelta * 3 * bar->Increment() / 120;
        FDesignForm->ScrollBy(sideways ? distance : 0, sideways ? 0 : distance);
      }
      return PointerHandling(control, m);
    case CM_DRAG: {
      const TPoint p = ScreenToClient(FRoot, ClientToScreen(control, m.Pos));
      switch (m.DragMessage) {
        case dmDragEnter:
        case dmDragLeave:
        case dmDragMove: {
          bool accept = static_cast<bool>(FDesigner->OnDragOver);
          const TDragState state = m.DragMessage == dmDragEnter   ? dsDragEnter
                                   : m.DragMessage == dmDragLeave ? dsDragLeave
                                                                  : dsDragMove;
          FDesigner->DoDragOver(m.DragSource, p.X, p.Y, state, accept);
          m.Result = accept ? 1 : 0;
          break;
        }
        case dmDragDrop:
          FDesigner->DoDragDrop(m.DragSource, p.X, p.Y);
          break;
        case dmFindTarget:
          m.Result = reinterpret_cast<intptr_t>(FRoot);
          break;
      }
      return true;
    }
    default:
      return false;
  }
}

bool TZQKEngine::PointerHandling(TControl* control, TMessage& m) {
  // No designed control keeps pointer messages for itself, so every one is consumed.
  const bool consumed = true;
  if (m.Msg == SizingMsg()) {
    if (!LockModeOf(control).Contains(lmNoResize) && !FDragging) {
      FSelection->SetHandlesVisible(false);
      FSelection->SelectOnly(control);
      const int h = FSelection->Item(0)->HandleIndex;
      StartDrag(ParentOf(control), dkResize, true, h == 1 || h == 5, h == 3 || h == 7, false, m.ScreenPos);
    }
    return consumed;
  }
  if (m.Msg == CancelMsg()) {
    if (FDragging) {
      EndDrag(true, m.ScreenPos);
      FSelection->SetHandlesVisible(true);
    }
    return consumed;
  }
  switch (m.Msg) {
    case WM_MOUSEMOVE:
      if (FDragging) {
        const TPoint q = SnappedPointer(m.ScreenPos);
        if (!(q == FLastPoint)) {
          DragHandler(dpMove, q);
          FLastPoint = q;
        }
      } else {
        ComponentHint(control, consumed);
      }
      break;
    case WM_LBUTTONUP:
      if (FDragging) {
        // Handles come back even when the insertion fails.
        struct TShowHandles {
          TZQKSelCtrls* s;
          ~TShowHandles() { s->SetHandlesVisible(true); }
        } show{FSelection};
        EndDrag(false, m.ScreenPos);
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      // A press during a drag belongs to that drag.
      if (FDragging) break;
      if (control == FDesignForm && FDesignForm != FRoot) break;
      const bool left = m.Msg == WM_LBUTTONDOWN;
      const TShiftState s = m.Shift;
      if (left) {
        if (TWinControl* c = FindContainer(control)) {
          TComponent* owner = nullptr;
          if (FRoot->ParentForChildren() == c) {
            owner = FRoot;
          } else {
            for (TComponent* k : FRoot->OwnedComponents())
              if (dynamic_cast<TControl*>(k) && k->ParentForChildren() == c) {
                owner = k;
                break;
              }
          }
          if (owner && !LockModeOf(static_cast<TControl*>(owner)).Contains(lmNoInsertIn)) {
            FInsertClass = nullptr;
            FDesigner->DoComponentInserting(FInsertClass);
            if (FInsertClass) {
              StartDrag(c, dkInsert, true, false, false, true, m.ScreenPos);
              break;
            }
          }
        }
      }
      if (s.Contains(ssShift)) {
        TUpdateGuard guard(FSelection);
        TControl* t = FindSelectable(control);
        if (t) {
          if (FSelection->IndexOf(t) >= 0)
            FSelection->Remove(t);
          else if (t != FRoot || FSelection->Count() == 0)
            FSelection->Add(t);
        }
        if (FSelection->Count() == 0) FSelection->Add(FRoot);
      } else if (control == FRoot || s.Contains(ssCtrl)) {
        FSelection->SelectOnly(FRoot);
        if (left && consumed)
          if (TWinControl* c = FindContainer(control)) StartDrag(c, dkRubberBand, false, false, false, false, m.ScreenPos);
      } else {
        TControl* t = FindSelectable(control);
        if (!t) break;
        std::vector<TControl*> list;
        if (FSelection->IndexOf(t) >= 0) {
          FSelection->RestrictToParent(ParentOf(t));
          for (int i = 0; i < FSelection->Count(); ++i) list.push_back(FSelection->Controls(i));
        } else {
          list.push_back(t);
        }
        if (left && consumed && !LockModeOf(t).Contains(lmNoMove)) {
          list.erase(std::remove_if(list.begin(), list.end(),
                                    [this](TControl* c) { return LockModeOf(c).Contains(lmNoMove); }),
                     list.end());
          FSelection->SetHandlesVisible(false);
          FSelection->SelectExactly(list);
          StartDrag(ParentOf(t), dkMove, true, false, false, false, m.ScreenPos);
        } else {
          FSelection->SelectExactly(list);
        }
      }
      break;
    }
    default:
      break;
  }
  return consumed;
}

// ---------------------------------------------------------------------------
// Dragging.
void TZQKEngine::StartDrag(TWinControl* container, TZQKDragKind kind, bool snap, bool lockX, bool lockY,
                           bool startSnap, TPoint pointer) {
  if (!container) return;
  FHint->Hide();
  // What is pending is painted now, before the drag canvas takes its picture; from here
  // to the end of the drag nothing of the design surface repaints.
  if (QWidget* form = PeerWidget(FDesignForm))
    QCoreApplication::sendPostedEvents(form->window(), QEvent::UpdateRequest);
  FDragCanvas = std::make_unique<TZQKEngCanvas>(container);
  FDragKind = kind;
  FSnap = snap;
  FLockX = lockX;
  FLockY = lockY;
  FStartPoint = pointer;
  const TZQKDesignerGrid* grid = FDesigner->Grid();
  if (startSnap && FDesigner->SnapToGrid()) {
    TPoint p = ScreenToClient(FDesignForm, pointer);
    const TPoint scroll = FDesignForm->ScrollPos();
    p.X = ((scroll.X + p.X) / grid->XStep()) * grid->XStep() - scroll.X;
    p.Y = ((scroll.Y + p.Y) / grid->YStep()) * grid->YStep() - scroll.Y;
    FStartPoint = ClientToScreen(FDesignForm, p);
  }
  FStartPoint = SnappedPointer(pointer);
  SetCaptureControl(FRoot);
  const TPoint c0 = ClientToScreen(container, {0, 0});
  const TPoint f0 = ClientToScreen(FDesignForm, {0, 0});
  const TRect r{std::max(c0.X, f0.X), std::max(c0.Y, f0.Y),
                std::min(c0.X + container->ClientWidth(), f0.X + FDesignForm->ClientWidth()),
                std::min(c0.Y + container->ClientHeight(), f0.Y + FDesignForm->ClientHeight())};
  if (r.Left < r.Right && r.Top < r.Bottom) ClipCursor(&r);
  FLastPoint = FStartPoint;
  DragHandler(dpStart, FStartPoint);
  FDragging = true;
}

TPoint TZQKEngine::SnappedPointer(TPoint pointer) const {
  const TZQKDesignerGrid* grid = FDesigner->Grid();
  const bool snap = FDesigner->SnapToGrid() && FSnap;
  auto axis = [&](bool lock, int32_t start, int32_t p, int32_t step) -> int32_t {
    if (lock) return start;
    if (!snap) return p;
    // nearbyint rounds exact halves to the even neighbour.
    return start + step * static_cast<int32_t>(std::nearbyint(double(p - start) / step));
  };
  return {axis(FLockX, FStartPoint.X, pointer.X, grid->XStep()), axis(FLockY, FStartPoint.Y, pointer.Y, grid->YStep())};
}

void TZQKEngine::EndDrag(bool cancelled, TPoint) {
  FDragging = false;
  struct TCleanup {
    TZQKEngine* e;
    ~TCleanup() {
      if (GetCaptureControl() == e->FRoot) SetCaptureControl(nullptr);
      ClipCursor(nullptr);
      e->FDragCanvas.reset();
    }
  } cleanup{this};
  DragHandler(cancelled ? dpCancel : dpEnd, FLastPoint);
}

TPoint TZQKEngine::ToContainer(TPoint screen) const { return ScreenToClient(FDragCanvas->Container(), screen); }

void TZQKEngine::DragHandler(TZQKDragPhase phase, TPoint point) {
  switch (FDragKind) {
    case dkRubberBand: RubberBand(phase, point); break;
    case dkMove: MoveDrag(phase, point); break;
    case dkResize: ResizeDrag(phase, point); break;
    case dkInsert: InsertDrag(phase, point); break;
  }
}

void TZQKEngine::DragHint(TZQKDesignerHint which, const std::string& text) {
  if (FDesigner->Hints().Contains(which)) FHint->Request(false, false, text, nullptr, false);
}

void TZQKEngine::RubberBand(TZQKDragPhase phase, TPoint point) {
  auto widened = [](TRect r) {
    r = Normalized(r);
    return TRect{r.Left, r.Top, r.Right + 1, r.Bottom + 1};
  };
  switch (phase) {
    case dpStart: {
      const TPoint p = ToContainer(point);
      FBand = {p.X, p.Y, p.X, p.Y};
      FDragCanvas->Draw(TZQKEngCanvas::fgBand, widened(FBand));
      break;
    }
    case dpMove: {
      FDragCanvas->Draw(TZQKEngCanvas::fgBand, widened(FBand));
      const TPoint p = ToContainer(point);
      FBand.Right = p.X, FBand.Bottom = p.Y;
      FDragCanvas->Draw(TZQKEngCanvas::fgBand, widened(FBand));
      break;
    }
    case dpEnd: {
      FDragCanvas->Draw(TZQKEngCanvas::fgBand, widened(FBand));
      const TRect r = Normalized(FBand);
      TWinControl* c = FDragCanvas->Container();
      TUpdateGuard guard(FSelection);
      for (TControl* child : c->ControlList())
        if (!IsProxy(child) && CanSelect(child) && Meet(child->BoundsRect(), r)) FSelection->Add(child);
      if (c == FRoot)
        for (auto* proxy : FProxies)
          if (Meet(proxy->BoundsRect(), r)) FSelection->Add(proxy);
      if (FSelection->Count() > 1) FSelection->Remove(FRoot);
      break;
    }
    case dpCancel:
      FDragCanvas->Draw(TZQKEngCanvas::fgBand, widened(FBand));
      break;
  }
}

void TZQKEngine::MoveDrag(TZQKDragPhase phase, TPoint point) {
  auto drawFrames = [this] {
    for (const TRect& r : FDrawnFrames) FDragCanvas->Draw(TZQKEngCanvas::fgFrame, r);
  };
  auto frames = [this] {
    FDrawnFrames.clear();
    for (const auto& rec : FMoveRecs)
      if (!rec.Locked)
        FDrawnFrames.push_back({rec.Bounds.Left + FOffset.X, rec.Bounds.Top + FOffset.Y, rec.Bounds.Right + FOffset.X,
                                rec.Bounds.Bottom + FOffset.Y});
  };
  auto hint = [this] { DragHint(dhMove, Format("%d, %d", FMinLeft + FOffset.X, FMinTop + FOffset.Y)); };
  switch (phase) {
    case dpStart:
      FMoveRecs.clear();
      FMinLeft = INT32_MAX, FMinTop = INT32_MAX;
      for (int i = 0; i < FSelection->Count(); ++i) {
        TControl* k = FSelection->Controls(i);
        FMoveRecs.push_back({k, k->BoundsRect(), LockModeOf(k).Contains(lmNoMove)});
        FMinLeft = std::min(FMinLeft, k->Left());
        FMinTop = std::min(FMinTop, k->Top());
      }
      FDragStart = ToContainer(point);
      FOffset = {0, 0};
      frames();
      drawFrames();
      hint();
      break;
    case dpMove: {
      const TPoint p = ToContainer(point);
      FOffset = {p.X - FDragStart.X, p.Y - FDragStart.Y};
      FHint->Hide();
      drawFrames();
      frames();
      drawFrames();
      hint();
      break;
    }
    case dpEnd:
      FHint->Hide();
      drawFrames();
      FDrawnFrames.clear();
      if (!(FOffset == TPoint{0, 0})) {
        std::vector<TComponent*> moved;
        for (const auto& rec : FMoveRecs)
          if (!rec.Locked) moved.push_back(ComponentOf(rec.Control));
        auto command = FDesigner->BeginChange("Move", moved);
        for (const auto& rec : FMoveRecs)
          if (!rec.Locked)
            rec.Control->SetBounds(rec.Bounds.Left + FOffset.X, rec.Bounds.Top + FOffset.Y,
                                   rec.Bounds.Right - rec.Bounds.Left, rec.Bounds.Bottom - rec.Bounds.Top);
        FMoveRecs.clear();
        FDesigner->EndChange(std::move(command), moved);
      }
      FMoveRecs.clear();
      break;
    case dpCancel:
      FHint->Hide();
      drawFrames();
      FDrawnFrames.clear();
      FMoveRecs.clear();
      break;
  }
}

TRect TZQKEngine::ResizeRect() const {
  TRect r = FResizeControl->BoundsRect();
  const int h = FResizeHandle;
  if (h == 0 || h == 6 || h == 7) r.Left += FOffset.X;
  if (h == 0 || h == 1 || h == 2) r.Top += FOffset.Y;
  if (h == 2 || h == 3 || h == 4) r.Right += FOffset.X;
  if (h == 4 || h == 5 || h == 6) r.Bottom += FOffset.Y;
  return Normalized(r);
}

void TZQKEngine::ResizeDrag(TZQKDragPhase phase, TPoint point) {
  auto hint = [this] {
    const TRect r = ResizeRect();
    DragHint(dhSize, Format("%d x %d", r.Right - r.Left, r.Bottom - r.Top));
  };
  switch (phase) {
    case dpStart:
      FResizeControl = FSelection->Controls(0);
      FResizeHandle = FSelection->Item(0)->HandleIndex;
      FDragStart = ToContainer(point);
      FOffset = {0, 0};
      FDrawnRect = ResizeRect();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      hint();
      break;
    case dpMove: {
      const TPoint p = ToContainer(point);
      FOffset = {p.X - FDragStart.X, p.Y - FDragStart.Y};
      FHint->Hide();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      FDrawnRect = ResizeRect();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      hint();
      break;
    }
    case dpEnd: {
      const TRect r = ResizeRect();
      FHint->Hide();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      if (!(r == FResizeControl->BoundsRect())) {
        const std::vector<TComponent*> sized{ComponentOf(FResizeControl)};
        auto command = FDesigner->BeginChange("Size", sized);
        FResizeControl->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
        if (auto* cc = dynamic_cast<TCustomControl*>(FResizeControl)) cc->Repaint();
        FResizeControl = nullptr;
        FDesigner->EndChange(std::move(command), sized);
      }
      FResizeControl = nullptr;
      break;
    }
    case dpCancel:
      FHint->Hide();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      FResizeControl = nullptr;
      break;
  }
}

TRect TZQKEngine::InsertRect() const {
  TRect r = Normalized({FDragStart.X, FDragStart.Y, FDragStart.X + FOffset.X, FDragStart.Y + FOffset.Y});
  return {r.Left, r.Top, r.Right + 1, r.Bottom + 1};
}

void TZQKEngine::InsertDrag(TZQKDragPhase phase, TPoint point) {
  switch (phase) {
    case dpStart:
      FDragStart = ToContainer(point);
      FOffset = {0, 0};
      FInsertDrawn = false;
      break;
    case dpMove: {
      const TPoint p = ToContainer(point);
      FOffset = {p.X - FDragStart.X, p.Y - FDragStart.Y};
      FHint->Hide();
      if (FInsertDrawn) FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      FDrawnRect = InsertRect();
      FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      DragHint(dhInsert, Format("%d x %d", FDrawnRect.Right - FDrawnRect.Left, FDrawnRect.Bottom - FDrawnRect.Top));
      FInsertDrawn = true;
      break;
    }
    case dpEnd: {
      const TRect r = InsertRect();
      FHint->Hide();
      if (FInsertDrawn) FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      FInsertDrawn = false;
      // A click without a drag keeps the default size.
      const bool sized = r.Right - r.Left > 1 || r.Bottom - r.Top > 1;
      InsertComponent(FInsertClass, FDragCanvas->Container(), sized ? r : TRect{r.Left, r.Top, r.Left, r.Top});
      break;
    }
    case dpCancel:
      FHint->Hide();
      if (FInsertDrawn) FDragCanvas->Draw(TZQKEngCanvas::fgFrame, FDrawnRect);
      FInsertDrawn = false;
      break;
  }
}

TComponent* TZQKEngine::InsertComponent(TComponentClass cls, TWinControl* container, const TRect& bounds) {
  auto command = FDesigner->BeginChange("Insert", {});
  TComponent* component = cls->CreateComponent(FRoot);
  try {
    NotifyComponent(component, coInsert);
    component->SetName(MakeUniqueName(cls->ClassName()));
    TControl* k = ControlOf(component);
    if (k) {
      if (bounds.Right > bounds.Left || bounds.Bottom > bounds.Top)
        k->SetBounds(bounds.Left, bounds.Top, bounds.Right - bounds.Left, bounds.Bottom - bounds.Top);
      else
        k->SetBounds(bounds.Left, bounds.Top, k->Width(), k->Height());
    }
    if (auto* control = dynamic_cast<TControl*>(component)) control->SetParent(container);
    if (k) FSelection->SelectOnly(k);
  } catch (...) {
    component->Free();
    throw;
  }
  FDesigner->DoComponentInserted();
  FDesigner->EndChange(std::move(command), {component});
  return component;
}

TComponent* TZQKEngine::InsertAtFreePlace(TComponentClass cls, TWinControl* container) {
  // The default size is the class's own: a throwaway instance tells it.
  TComponent* sample = cls->CreateComponent(nullptr);
  const auto* control = dynamic_cast<TControl*>(sample);
  const int32_t w = control ? control->Width() : 0, h = control ? control->Height() : 0;
  sample->Free();
  const int32_t dx = std::max(FDesigner->Grid()->XStep(), 2), dy = std::max(FDesigner->Grid()->YStep(), 2);
  auto covers = [&](const TRect& r) {
    for (int i = 0; i < container->ControlCount(); ++i) {
      const TRect b = container->Controls(i)->BoundsRect();
      if (r.Left < b.Right && b.Left < r.Right && r.Top < b.Bottom && b.Top < r.Bottom) return true;
    }
    return false;
  };
  TPoint at{0, 0};
  bool found = false;
  for (int32_t y = 0; !found && y + h <= container->ClientHeight(); y += dy)
    for (int32_t x = 0; !found && x + w <= container->ClientWidth(); x += dx)
      if (!covers({x, y, x + w, y + h})) {
        at = {x, y};
        found = true;
      }
  return InsertComponent(cls, container, {at.X, at.Y, at.X, at.Y});
}

void TZQKEngine::ComponentHint(TControl* control, bool consumed) {
  TControl* t = FindSelectable(control);
  if (!t) return;
  if (t == FRoot || t == FDesignForm || !consumed) {
    FHint->Hide();
  } else if (t != FLastHinted) {
    if (FDesigner->Hints().Contains(dhComponent)) {
      TComponent* component = ComponentOf(t);
      std::string text = Format("%s: %s", component->Name(), component->ClassType().ClassName());
      FDesigner->DoComponentHint(component, text);
      if (!text.empty())
        FHint->Request(!FHint->Shown(), true, text, t, true);
      else
        FHint->Hide();
    } else {
      FHint->Hide();
    }
  }
  FLastHinted = consumed ? t : nullptr;
}

}  // namespace rpt
