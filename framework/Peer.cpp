#include "framework/Peer.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <functional>

#include "framework/Application.h"
#include "framework/QtCanvas.h"
#include "objects/CodePage.h"

namespace rpt {

namespace detail {
void ForgetCapture(const TControl* control);
}

namespace {

// Forms shown inside another control's window, so their peers follow that window's.
std::vector<TCustomForm*>& WindowChildren() {
  static auto* list = new std::vector<TCustomForm*>;
  return *list;
}

Qt::CursorShape CursorShapeOf(TCursor cursor) {
  switch (cursor) {
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: case crSQLWait: return Qt::WaitCursor;
    case crDrag: case crMultiDrag: return Qt::DragCopyCursor;
    case crNoDrop: case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crAppStart: return Qt::BusyCursor;
    case crHelp: return Qt::WhatsThisCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

void ApplyGeometry(TWinControl* control, TControlPeer* peer) {
  if (peer->ExternalGeometry() && peer->isWindow()) {
    // A top-level window: the model's size is the window's client size.
    peer->FApplyingGeometry = true;
    peer->resize(std::max(1, control->Width()), std::max(1, control->Height()));
    peer->FApplyingGeometry = false;
    return;
  }
  if (peer->ExternalGeometry()) return;
  peer->FApplyingGeometry = true;
  peer->setGeometry(control->Left(), control->Top(), std::max(0, control->Width()), std::max(0, control->Height()));
  peer->FApplyingGeometry = false;
}

void RaiseScrollBars(TControlPeer* peer) {
  for (auto& bar : peer->FScrollBars)
    if (bar) bar->raise();
}

void Restack(TWinControl* parent) {
  for (TControl* c : parent->ControlList())
    if (QWidget* w = PeerWidget(c)) w->raise();
  // A form's bars stay above its children.
  if (auto* peer = static_cast<TControlPeer*>(parent->Peer())) RaiseScrollBars(peer);
}

// Only a form that fills its whole rectangle is declared opaque to the toolkit, so that
// scrolling it can move pixels. Children are painted over their parent instead: for each
// opaque child the toolkit cuts the child out of the region still to paint, which costs
// quadratic time on a band of thousands of elements, and a child that is not opaque
// would show stale pixels where the parent was left unpainted.
void FollowOpacity(TWinControl* control, TControlPeer* peer) {
  auto* form = dynamic_cast<TCustomForm*>(control);
  peer->setAttribute(Qt::WA_OpaquePaintEvent, form && form->Opaque());
}

TControlPeer* CreatePeerTree(TWinControl* control, QWidget* parentWidget) {
  auto* peer = new TControlPeer(control, parentWidget);
  control->SetPeer(peer);
  FollowOpacity(control, peer);
  ApplyGeometry(control, peer);
  peer->setEnabled(control->Enabled());
  peer->setCursor(CursorShapeOf(control->Cursor()));
  if (auto* form = dynamic_cast<TCustomForm*>(control)) {
    peer->setWindowTitle(QString::fromStdString(form->Caption()));
    peer->setObjectName(QString::fromStdString(form->Name()));
  } else {
    peer->setObjectName(QString::fromStdString(control->Name()));
  }
  for (TControl* child : control->ControlList())
    if (auto* w = dynamic_cast<TWinControl*>(child)) CreatePeerTree(w, peer);
  Restack(control);
  for (TCustomForm* form : WindowChildren())
    if (form->ParentWindow() == control && !form->Peer()) CreatePeerTree(form, peer);
  if (auto* form = dynamic_cast<TCustomForm*>(control)) SyncPeerScrollBars(form);
  peer->setVisible(control->Visible() && (parentWidget == nullptr ? false : true));
  return peer;
}

void ClearPeers(TWinControl* control) {
  control->SetPeer(nullptr);
  for (TControl* child : control->ControlList())
    if (auto* w = dynamic_cast<TWinControl*>(child); w && w->Peer()) ClearPeers(w);
}

class TQtWindowLayer : public TWindowLayer {
 public:
  void ControlChanged(TControl* control, TControlChange change) override {
    auto* win = dynamic_cast<TWinControl*>(control);
    if (!win) return;
    CheckInterfaceThread("A window control was changed");
    auto* peer = static_cast<TControlPeer*>(win->Peer());
    switch (change) {
      case ccParent: {
        TWinControl* parent = win->Parent();
        QWidget* parentPeer = PeerWidget(parent);
        if (!parentPeer) {
          if (peer) DestroyPeer(win);
          return;
        }
        if (!peer) {
          CreatePeerTree(win, parentPeer);
        } else {
          peer->setParent(parentPeer);
          ApplyGeometry(win, peer);
          peer->setVisible(win->Visible());
        }
        // A control that joins on top needs only its own window raised: restacking every
        // sibling makes filling a parent with n controls cost n * n raises.
        if (!parent->ControlList().empty() && parent->ControlList().back() == win) {
          if (QWidget* w = PeerWidget(win)) w->raise();
          if (auto* parentControlPeer = static_cast<TControlPeer*>(parent->Peer())) RaiseScrollBars(parentControlPeer);
        } else {
          Restack(parent);
        }
        return;
      }
      case ccBounds: {
        if (!peer) return;
        ApplyGeometry(win, peer);
        TMessage m(WM_WINDOWPOSCHANGED);
        Perform(win, m);
        return;
      }
      case ccVisible:
        if (peer) peer->setVisible(win->Visible());
        return;
      case ccEnabled:
        if (peer) peer->setEnabled(win->Enabled());
        return;
      case ccCursor:
        if (peer) peer->setCursor(CursorShapeOf(win->Cursor()));
        return;
      case ccChildOrder:
        Restack(win);
        return;
      case ccDestroying:
        DestroyPeer(win);
        return;
      case ccOpaque:
        if (peer) FollowOpacity(win, peer);
        return;
    }
  }

  // The root under design is the topmost designing owner; the hook of the form it sits
  // in checks the name when that hook designs this very root.
  void CheckRename(TComponent* component, const std::string& oldName, const std::string& newName) override {
    TComponent* root = component;
    while (root->Owner() && root->Owner()->HasState(sfDesigning)) root = root->Owner();
    auto* control = dynamic_cast<TControl*>(root);
    TCustomForm* form = control ? GetParentForm(control) : nullptr;
    IDesignerHook* hook = form ? form->Designer() : nullptr;
    if (hook && hook->RootComponent() == root) hook->CheckRename(component, oldName, newName);
  }
};

TQtWindowLayer& Layer() {
  static TQtWindowLayer layer;
  return layer;
}

TPoint ToPoint(const QPointF& p) { return {static_cast<int32_t>(std::floor(p.x())), static_cast<int32_t>(std::floor(p.y()))}; }

}  // namespace

void InstallWindowLayer() { SetWindowLayer(&Layer()); }

void TrackHostedForm(TCustomForm* form, bool hosted) {
  auto& list = WindowChildren();
  list.erase(std::remove(list.begin(), list.end(), form), list.end());
  if (hosted) list.push_back(form);
}

QWidget* PeerWidget(const TControl* control) {
  return control ? static_cast<TControlPeer*>(control->Peer()) : nullptr;
}

QWidget* CreateFormPeer(TCustomForm* form, QWidget* host) {
  InstallWindowLayer();
  if (form->Peer()) return PeerWidget(form);
  TControlPeer* peer = CreatePeerTree(form, host);
  peer->setVisible(form->Visible());
  return peer;
}

void DestroyPeer(TWinControl* control) {
  auto* peer = static_cast<TControlPeer*>(control->Peer());
  if (!peer) return;
  // Forms hosted in this control's window (or a child's) lose their peers first.
  std::function<bool(const TControl*)> inside = [&](const TControl* c) {
    for (; c; c = c->Parent())
      if (c == control) return true;
    return false;
  };
  for (TCustomForm* form : std::vector<TCustomForm*>(WindowChildren()))
    if (form->Peer() && inside(form->ParentWindow())) DestroyPeer(form);
  std::function<void(TWinControl*)> forget = [&](TWinControl* c) {
    detail::ForgetCapture(c);
    for (TControl* child : c->ControlList())
      if (auto* w = dynamic_cast<TWinControl*>(child); w && w->Peer()) forget(w);
  };
  forget(control);
  ClearPeers(control);
  delete peer;
}

// ---------------------------------------------------------------------------
// Scroll bars of form peers.

void SyncPeerScrollBars(TCustomForm* form) {
  auto* peer = static_cast<TControlPeer*>(form->Peer());
  if (!peer) return;
  const int32_t ext = TCustomForm::ScrollBarExtent();
  const int32_t cw = form->ClientWidth(), ch = form->ClientHeight();
  for (TScrollBarKind kind : {sbHorizontal, sbVertical}) {
    TControlScrollBar* model = kind == sbHorizontal ? form->HorzScrollBar() : form->VertScrollBar();
    QPointer<QScrollBar>& bar = peer->FScrollBars[kind];
    if (!model->IsScrollBarVisible()) {
      if (bar) bar->hide();
      continue;
    }
    if (!bar) {
      bar = new QScrollBar(kind == sbHorizontal ? Qt::Horizontal : Qt::Vertical, peer);
      bar->setObjectName(kind == sbHorizontal ? "HorzScrollBar" : "VertScrollBar");
      bar->setFocusPolicy(Qt::NoFocus);
      QObject::connect(bar.data(), &QScrollBar::valueChanged, bar.data(), [form, kind](int value) {
        TControlScrollBar* b = kind == sbHorizontal ? form->HorzScrollBar() : form->VertScrollBar();
        if (b->Position() != value) b->SetPosition(value);
      });
    }
    const QSignalBlocker blocker(bar.data());
    const int32_t client = kind == sbHorizontal ? cw : ch;
    bar->setRange(0, model->MaxPosition());
    bar->setPageStep(std::max(1, client));
    bar->setSingleStep(model->Increment());
    bar->setTracking(model->Tracking());
    bar->setValue(model->Position());
    if (kind == sbHorizontal)
      bar->setGeometry(0, form->Height() - ext, cw, ext);
    else
      bar->setGeometry(form->Width() - ext, 0, ext, ch);
    bar->show();
    bar->raise();
  }
}

void ScrollPeer(TCustomForm* form, int32_t dx, int32_t dy) {
  auto* peer = static_cast<TControlPeer*>(form->Peer());
  if (!peer) return;
  // Scrolling moves every child widget, the bars too; they are put back right after.
  peer->scroll(dx, dy);
  for (auto& bar : peer->FScrollBars)
    if (bar) bar->move(bar->x() - dx, bar->y() - dy);
}

QScrollBar* PeerScrollBar(const TCustomForm* form, TScrollBarKind kind) {
  auto* peer = static_cast<TControlPeer*>(form ? form->Peer() : nullptr);
  return peer ? peer->FScrollBars[kind].data() : nullptr;
}

uint16_t VirtualKeyOf(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint16_t>('A' + (key - Qt::Key_A));
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint16_t>('0' + (key - Qt::Key_0));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return static_cast<uint16_t>(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Menu: return VK_APPS;
    default: return static_cast<uint16_t>(key < 0x80 ? key : 0);
  }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s;
  if (mods & Qt::ShiftModifier) s.Include(ssShift);
  if (mods & Qt::AltModifier) s.Include(ssAlt);
  if (mods & Qt::ControlModifier) s.Include(ssCtrl);
  if (buttons & Qt::LeftButton) s.Include(ssLeft);
  if (buttons & Qt::RightButton) s.Include(ssRight);
  if (buttons & Qt::MiddleButton) s.Include(ssMiddle);
  return s;
}

// ---------------------------------------------------------------------------
// TControlPeer

TControlPeer::TControlPeer(TWinControl* control, QWidget* parent) : QWidget(parent), FControl(control) {
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setAcceptDrops(true);
  if (!parent) setAttribute(Qt::WA_DeleteOnClose, false);
}

TControlPeer::~TControlPeer() {
  // Deleted by the toolkit (a parent widget or host went away): the model forgets it.
  if (FControl && FControl->Peer() == reinterpret_cast<TControlPeer*>(this)) {
    detail::ForgetCapture(FControl);
    ClearPeers(FControl);
  }
}

bool TControlPeer::ExternalGeometry() const {
  auto* form = dynamic_cast<TCustomForm*>(FControl);
  return form && !form->ParentWindow() && !form->Parent();
}

void TControlPeer::FollowGeometry() {
  if (FApplyingGeometry || !ExternalGeometry()) return;
  const QRect g = geometry();
  FApplyingGeometry = true;
  FControl->SetBounds(isWindow() ? g.x() : FControl->Left(), isWindow() ? g.y() : FControl->Top(), g.width(),
                      g.height());
  FApplyingGeometry = false;
}

namespace {
// Qt's event handlers must not be left by an exception (the toolkit's own frames are
// not unwound safely: the copies it makes of an event leak); errors of a message go to
// the program's one handler here instead.
void DeliverEvent(TControl* control, TMessage& message) {
  TApplication* app = TApplication::Instance();
  if (!app) return Perform(control, message);
  try {
    Perform(control, message);
  } catch (const std::exception& e) {
    app->HandleException(e.what());
  } catch (...) {
    app->HandleException("Unknown error");
  }
}
}  // namespace

bool TControlPeer::event(QEvent* e) {
  // On a form under design Tab and Shift+Tab are keys of the designer (they step through
  // the elements), not the toolkit's moves of the focus.
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    const TCustomForm* form = FControl ? GetParentForm(FControl) : nullptr;
    if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && form && form->Designer()) {
      keyPressEvent(key);
      return true;
    }
  }
  return QWidget::event(e);
}

void TControlPeer::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TQtCanvas canvas(&painter, kScreenPixelsPerInch);
  TMessage m(WM_PAINT);
  m.Canvas = &canvas;
  DeliverEvent(FControl, m);
}

void TControlPeer::MouseMessage(uint32_t msg, QMouseEvent* e) {
  TMessage m(msg);
  QPointF local = e->position();
  QPointF global = e->globalPosition();
  TRect clip;
  if (GetClipCursor(clip)) {
    // The pointer stays inside the confinement rectangle.
    const double gx = std::clamp(global.x(), double(clip.Left), double(clip.Right - 1));
    const double gy = std::clamp(global.y(), double(clip.Top), double(clip.Bottom - 1));
    if (gx != global.x() || gy != global.y()) {
      local += QPointF(gx - global.x(), gy - global.y());
      global = QPointF(gx, gy);
      QCursor::setPos(QPoint(int(gx), int(gy)));
    }
  }
  m.Pos = ToPoint(local);
  m.ScreenPos = ToPoint(global);
  m.Shift = ShiftStateOf(e->modifiers(), e->buttons());
  switch (e->button()) {
    case Qt::RightButton: m.Button = mbRight; break;
    case Qt::MiddleButton: m.Button = mbMiddle; break;
    default: m.Button = mbLeft; break;
  }
  DeliverEvent(FControl, m);
}

namespace {
uint32_t ButtonMessage(Qt::MouseButton b, uint32_t left) {
  // left is the message of the left button; right and middle follow at +3 and +6.
  switch (b) {
    case Qt::RightButton: return left + 3;
    case Qt::MiddleButton: return left + 6;
    default: return left;
  }
}
}  // namespace

void TControlPeer::mousePressEvent(QMouseEvent* e) { MouseMessage(ButtonMessage(e->button(), WM_LBUTTONDOWN), e); }
void TControlPeer::mouseReleaseEvent(QMouseEvent* e) { MouseMessage(ButtonMessage(e->button(), WM_LBUTTONUP), e); }
void TControlPeer::mouseDoubleClickEvent(QMouseEvent* e) {
  MouseMessage(ButtonMessage(e->button(), WM_LBUTTONDBLCLK), e);
}
void TControlPeer::mouseMoveEvent(QMouseEvent* e) { MouseMessage(WM_MOUSEMOVE, e); }

void TControlPeer::wheelEvent(QWheelEvent* e) {
  TMessage m(WM_MOUSEWHEEL);
  m.WheelDelta = e->angleDelta().y();
  m.Pos = ToPoint(e->position());
  m.ScreenPos = ToPoint(e->globalPosition());
  m.Shift = ShiftStateOf(e->modifiers(), e->buttons());
  DeliverEvent(FControl, m);
  e->accept();
}

void TControlPeer::keyPressEvent(QKeyEvent* e) {
  const bool alt = e->modifiers() & Qt::AltModifier;
  TMessage down(alt ? WM_SYSKEYDOWN : WM_KEYDOWN);
  down.CharCode = VirtualKeyOf(e->key());
  down.Shift = ShiftStateOf(e->modifiers(), Qt::NoButton);
  DeliverEvent(FControl, down);
  const QString text = e->text();
  if (!text.isEmpty() && down.CharCode != 0 && !(e->modifiers() & Qt::ControlModifier && !text[0].isPrint())) {
    TMessage ch(alt ? WM_SYSCHAR : WM_CHAR);
    ch.Text = text.toStdString();
    const char16_t u = text[0].unicode();
    if (u == 0x7F) {
      return;  // Delete produces no character
    }
    const auto cp = Utf8ToCodePage(ch.Text.substr(0, QString(text[0]).toUtf8().size()));
    ch.CharCode = cp && !cp->empty() ? static_cast<uint8_t>((*cp)[0]) : 0;
    ch.Shift = down.Shift;
    DeliverEvent(FControl, ch);
  }
  e->accept();
}

void TControlPeer::keyReleaseEvent(QKeyEvent* e) {
  TMessage m((e->modifiers() & Qt::AltModifier) ? WM_SYSKEYUP : WM_KEYUP);
  m.CharCode = VirtualKeyOf(e->key());
  m.Shift = ShiftStateOf(e->modifiers(), Qt::NoButton);
  DeliverEvent(FControl, m);
  e->accept();
}

// The toolkit's default handlers repaint the whole control at every change of focus (on a
// band: every element on it); a control that shows its focus repaints on the message.
void TControlPeer::focusInEvent(QFocusEvent*) {
  TMessage m(WM_SETFOCUS);
  DeliverEvent(FControl, m);
}

void TControlPeer::focusOutEvent(QFocusEvent*) {
  TMessage m(WM_KILLFOCUS);
  m.OtherControl = FocusedControl();
  DeliverEvent(FControl, m);
}

void TControlPeer::contextMenuEvent(QContextMenuEvent* e) {
  TMessage m(WM_CONTEXTMENU);
  m.ScreenPos = e->reason() == QContextMenuEvent::Keyboard ? TPoint{-1, -1} : TPoint{e->globalPos().x(), e->globalPos().y()};
  m.Pos = {e->pos().x(), e->pos().y()};
  m.Shift = ShiftStateOf(e->modifiers(), Qt::NoButton);
  DeliverEvent(FControl, m);
  e->accept();
}

void TControlPeer::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  FollowGeometry();
}

void TControlPeer::moveEvent(QMoveEvent* e) {
  QWidget::moveEvent(e);
  FollowGeometry();
}

void TControlPeer::closeEvent(QCloseEvent* e) {
  // Closing a form goes through its close handling, which may refuse.
  e->ignore();
  TMessage m(WM_CLOSE);
  DeliverEvent(FControl, m);
}

void TControlPeer::enterEvent(QEnterEvent* e) {
  QWidget::enterEvent(e);
  TMessage m(WM_SETCURSOR);
  m.Pos = ToPoint(e->position());
  DeliverEvent(FControl, m);
}

namespace {
void DragMessage(TWinControl* control, TDragMessage kind, QPointF pos, QDropEvent* e) {
  TMessage m(CM_DRAG);
  m.DragMessage = kind;
  m.Pos = ToPoint(pos);
  DeliverEvent(control, m);
  if (e) {
    if (m.Result) e->acceptProposedAction();
    else e->ignore();
  }
}
}  // namespace

void TControlPeer::dragEnterEvent(QDragEnterEvent* e) { DragMessage(FControl, dmDragEnter, e->position(), e); }
void TControlPeer::dragMoveEvent(QDragMoveEvent* e) { DragMessage(FControl, dmDragMove, e->position(), e); }
void TControlPeer::dragLeaveEvent(QDragLeaveEvent*) { DragMessage(FControl, dmDragLeave, {}, nullptr); }
void TControlPeer::dropEvent(QDropEvent* e) { DragMessage(FControl, dmDragDrop, e->position(), e); }

}  // namespace rpt
