#include "framework/Controls.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include "framework/Peer.h"
#include "framework/QtCanvas.h"
#include "objects/Format.h"

namespace rpt {

// ---------------------------------------------------------------------------
// Registered messages.

uint32_t RegisterWindowMessage(const std::string& name) {
  static std::mutex lock;
  static std::unordered_map<std::string, uint32_t> ids;
  std::lock_guard guard(lock);
  auto [it, added] = ids.emplace(name, kFirstRegisteredMessage + static_cast<uint32_t>(ids.size()));
  return it->second;
}

// ---------------------------------------------------------------------------
// Live framework controls, so posted messages never reach a destroyed one.

namespace {
std::mutex& LiveLock() {
  static std::mutex m;
  return m;
}
std::unordered_set<const TCustomControl*>& LiveControls() {
  static auto* set = new std::unordered_set<const TCustomControl*>;
  return *set;
}

// A posted message hands what its sender wrote to the interface thread. The toolkit's
// queue orders that, but its lock is out of the race checker's sight; say it here.
void MarkHandoff(const void* event) {
#if defined(__SANITIZE_THREAD__)
  __tsan_release(const_cast<void*>(event));
#else
  (void)event;
#endif
}
void MarkReceived(const void* event) {
#if defined(__SANITIZE_THREAD__)
  __tsan_acquire(const_cast<void*>(event));
#else
  (void)event;
#endif
}

class TPostedMessageEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  TPostedMessageEvent(TCustomControl* target, TMessage message)
      : QEvent(Kind()), Target(target), Message(std::move(message)) {}
  TCustomControl* Target;
  TMessage Message;
};

// Receives posted messages on the user-interface thread.
class TMessageReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    MarkReceived(e);
    if (e->type() != TPostedMessageEvent::Kind()) return QObject::event(e);
    auto* posted = static_cast<TPostedMessageEvent*>(e);
    if (IsLiveControl(posted->Target)) Perform(posted->Target, posted->Message);
    return true;
  }
};

TMessageReceiver* Receiver() {
  // Created on first use; lives in the thread of the application object.
  static TMessageReceiver* receiver = [] {
    auto* r = new TMessageReceiver;
    if (QCoreApplication::instance()) r->moveToThread(QCoreApplication::instance()->thread());
    return r;
  }();
  return receiver;
}

TControl* gCapture = nullptr;
bool gHasClip = false;
TRect gClip;
}  // namespace

bool IsLiveControl(const TCustomControl* control) {
  std::lock_guard guard(LiveLock());
  return LiveControls().count(control) != 0;
}

void PostMessage(TCustomControl* control, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  if (!control || !QCoreApplication::instance()) return;
  auto* event = new TPostedMessageEvent(control, TMessage(msg, wParam, lParam));
  MarkHandoff(event);
  QCoreApplication::postEvent(Receiver(), event);
}

// ---------------------------------------------------------------------------
// Delivery.

TCustomForm* GetParentForm(const TControl* control) {
  if (!control) return nullptr;
  while (control->Parent()) control = control->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(control));
}

void Perform(TControl* control, TMessage& message) {
  if (!control) return;
  if (control->HasState(sfDesigning)) {
    TCustomForm* form = GetParentForm(control);
    if (form && form->Designer() && form->Designer()->FilterDesignMessage(control, message)) return;
  }
  if (auto* c = dynamic_cast<TCustomControl*>(control)) {
    c->WndProc(message);
  } else if (message.Msg == WM_PAINT && message.Canvas) {
    // A plain window control paints its face.
    message.Canvas->Brush()->SetColor(clBtnFace);
    message.Canvas->FillRect({0, 0, control->Width(), control->Height()});
  }
}

intptr_t SendMessage(TControl* control, uint32_t msg, intptr_t wParam, intptr_t lParam) {
  TMessage m(msg, wParam, lParam);
  Perform(control, m);
  return m.Result;
}

void ProcessPendingMessages() {
  auto* app = QCoreApplication::instance();
  if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
}

void CheckInterfaceThread(const char* what) {
  auto* app = QCoreApplication::instance();
  if (app && QThread::currentThread() != app->thread())
    throw std::logic_error(std::string(what) + " outside the interface thread");
}

void PaintControl(TControl* control, TCanvas* canvas) {
  TMessage m(WM_PAINT);
  m.Canvas = canvas;
  Perform(control, m);
}

// ---------------------------------------------------------------------------
// Z-order, coordinates, focus, capture, confinement.

void BringToFront(TControl* control) {
  if (control && control->Parent()) control->Parent()->SetChildPosition(control, control->Parent()->ControlCount() - 1);
}

void SendToBack(TControl* control) {
  if (control && control->Parent()) control->Parent()->SetChildPosition(control, 0);
}

TPoint ClientToScreen(const TControl* control, TPoint p) {
  if (QWidget* w = PeerWidget(control)) {
    const QPoint g = w->mapToGlobal(QPoint(p.X, p.Y));
    return {g.x(), g.y()};
  }
  for (const TControl* c = control; c; c = c->Parent()) {
    if (!c->Parent() && dynamic_cast<const TCustomForm*>(c)) {
      const auto* form = static_cast<const TCustomForm*>(c);
      if (form->ParentWindow()) {
        const TPoint origin = ClientToScreen(form->ParentWindow(), {form->Left(), form->Top()});
        return {p.X + origin.X, p.Y + origin.Y};
      }
    }
    p.X += c->Left();
    p.Y += c->Top();
  }
  return p;
}

TPoint ScreenToClient(const TControl* control, TPoint p) {
  const TPoint origin = ClientToScreen(control, {0, 0});
  return {p.X - origin.X, p.Y - origin.Y};
}

void SetFocus(TWinControl* control) {
  if (QWidget* w = PeerWidget(control)) w->setFocus(Qt::OtherFocusReason);
}

bool Focused(const TWinControl* control) {
  QWidget* w = PeerWidget(control);
  return w && w->hasFocus();
}

bool CanFocus(const TWinControl* control) {
  QWidget* w = PeerWidget(control);
  return w && w->isVisible() && w->isEnabled();
}

TWinControl* FocusedControl() {
  QWidget* w = QApplication::focusWidget();
  auto* peer = dynamic_cast<TControlPeer*>(w);
  return peer ? peer->Control() : nullptr;
}

void SetCaptureControl(TControl* control) {
  if (gCapture == control) return;
  if (QWidget* old = PeerWidget(gCapture)) old->releaseMouse();
  gCapture = control;
  if (QWidget* w = PeerWidget(control)) w->grabMouse();
}

TControl* GetCaptureControl() { return gCapture; }

void ClipCursor(const TRect* r) {
  gHasClip = r != nullptr;
  gClip = r ? *r : TRect{};
}

bool GetClipCursor(TRect& r) {
  r = gClip;
  return gHasClip;
}

namespace detail {
// Called by the window layer when a peer goes away.
void ForgetCapture(const TControl* control) {
  if (gCapture == control) gCapture = nullptr;
}
}  // namespace detail

// ---------------------------------------------------------------------------
// TCustomControl

RPT_BEGIN_CLASS(TCustomControl, TWinControl)
RPT_END_CLASS

TCustomControl::TCustomControl() : FFont(new TFont) {
  FFont->OnChange = [this](TObject*) { FontChangedHandler(); };
  std::lock_guard guard(LiveLock());
  LiveControls().insert(this);
}

TCustomControl::~TCustomControl() {
  std::lock_guard guard(LiveLock());
  LiveControls().erase(this);
}

void TCustomControl::BeforeDestruction() {
  {
    std::lock_guard guard(LiveLock());
    LiveControls().erase(this);
  }
  detail::ForgetCapture(this);
  TWinControl::BeforeDestruction();
}

void TCustomControl::SetColor(TColor value) {
  FParentColor = false;
  if (FColor == value) return;
  FColor = value;
  for (TControl* c : ControlList())
    if (auto* cc = dynamic_cast<TCustomControl*>(c); cc && cc->FParentColor) cc->ParentColorChanged();
  Invalidate();
}

void TCustomControl::SetParentFont(bool value) {
  FParentFont = value;
  if (value) ParentFontChanged();
}

void TCustomControl::SetParentColor(bool value) {
  FParentColor = value;
  if (value) ParentColorChanged();
}

void TCustomControl::SetOpaque(bool value) {
  if (FOpaque == value) return;
  FOpaque = value;
  NotifyWindowLayer(ccOpaque);
  Invalidate();
}

void TCustomControl::ParentFontChanged() {
  auto* parent = dynamic_cast<TCustomControl*>(Parent());
  if (!FParentFont || !parent) return;
  FSettingParentFont = true;
  FFont->AssignFrom(parent->Font());
  FSettingParentFont = false;
}

void TCustomControl::ParentColorChanged() {
  auto* parent = dynamic_cast<TCustomControl*>(Parent());
  if (!FParentColor || !parent) return;
  if (FColor != parent->Color()) {
    FColor = parent->Color();
    Invalidate();
  }
}

void TCustomControl::FontChangedHandler() {
  // A font set on the control itself no longer follows the parent.
  if (!FSettingParentFont) FParentFont = false;
  FontChanged();
  for (TControl* c : ControlList())
    if (auto* cc = dynamic_cast<TCustomControl*>(c); cc && cc->FParentFont) cc->ParentFontChanged();
  Invalidate();
}

void TCustomControl::FontChanged() {}

void TCustomControl::ParentChanged() {
  TWinControl::ParentChanged();
  ParentFontChanged();
  ParentColorChanged();
}

void TCustomControl::Invalidate() {
  if (QWidget* w = PeerWidget(this)) {
    CheckInterfaceThread("A window repaint was asked");
    w->update();
  }
}

void TCustomControl::Repaint() {
  if (QWidget* w = PeerWidget(this)) {
    CheckInterfaceThread("A window repaint was asked");
    w->repaint();
  }
}

void TCustomControl::Update() {
  if (QWidget* w = PeerWidget(this); w && w->updatesEnabled()) {
    CheckInterfaceThread("A window repaint was asked");
    w->repaint();
  }
}

void TCustomControl::BoundsChanged() {
  TWinControl::BoundsChanged();
  AlignControls();
  Resize();
  // A scrolling form's ranges follow its children.
  if (auto* form = dynamic_cast<TCustomForm*>(Parent())) form->ChildBoundsChanged();
}

void TCustomControl::SetVisible(bool value) {
  const bool changed = value != Visible();
  TWinControl::SetVisible(value);
  if (changed)
    if (auto* form = dynamic_cast<TCustomForm*>(Parent())) form->ChildBoundsChanged();
}

void TCustomControl::InsertControl(TControl* control) {
  TWinControl::InsertControl(control);
  if (control->Align() != alNone) AlignControls();
}

void TCustomControl::RemoveControl(TControl* control) {
  const bool aligned = control->Align() != alNone;
  TWinControl::RemoveControl(control);
  if (aligned && !HasState(sfDestroying)) AlignControls();
}

void TCustomControl::Realign() { AlignControls(); }

void TCustomControl::AlignControls() {
  if (FAligning) return;
  FAligning = true;
  int32_t left = 0, top = 0, right = ClientWidth(), bottom = ClientHeight();
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : ControlList()) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case alTop:
          c->SetBounds(left, top, right - left, c->Height());
          top += c->Height();
          break;
        case alBottom:
          bottom -= c->Height();
          c->SetBounds(left, bottom, right - left, c->Height());
          break;
        case alLeft:
          c->SetBounds(left, top, c->Width(), bottom - top);
          left += c->Width();
          break;
        case alRight:
          right -= c->Width();
          c->SetBounds(right, top, c->Width(), bottom - top);
          break;
        default:
          c->SetBounds(left, top, std::max(0, right - left), std::max(0, bottom - top));
          break;
      }
    }
  }
  FAligning = false;
}

void TCustomControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT: {
      if (!m.Canvas) return;
      FCanvas = m.Canvas;
      try {
        PaintBackground();
        Paint();
        if (OnPaint) OnPaint(this);
      } catch (...) {
        FCanvas = nullptr;
        throw;
      }
      FCanvas = nullptr;
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (m.Msg == WM_LBUTTONDOWN) FLeftPressed = true;
      MouseDown(m.Button, m.Shift, m.Pos.X, m.Pos.Y);
      return;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
      if (m.Msg == WM_LBUTTONDBLCLK) DblClick();
      TShiftState s = m.Shift;
      s.Include(ssDouble);
      MouseDown(m.Button, s, m.Pos.X, m.Pos.Y);
      return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if (m.Msg == WM_LBUTTONUP && FLeftPressed) {
        FLeftPressed = false;
        Click();
      }
      MouseUp(m.Button, m.Shift, m.Pos.X, m.Pos.Y);
      return;
    case WM_MOUSEMOVE:
      MouseMove(m.Shift, m.Pos.X, m.Pos.Y);
      return;
    case WM_MOUSEWHEEL:
      if (OnMouseWheel) {
        bool handled = false;
        OnMouseWheel(this, m.Shift, m.WheelDelta, m.ScreenPos, handled);
        m.Result = handled;
      }
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      KeyDown(m.CharCode, m.Shift);
      return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      KeyUp(m.CharCode, m.Shift);
      return;
    case WM_CHAR:
    case WM_SYSCHAR: {
      char key = static_cast<char>(m.CharCode);
      KeyPress(key);
      m.CharCode = static_cast<uint8_t>(key);
      return;
    }
    case WM_CONTEXTMENU:
      if (OnContextPopup) {
        bool handled = false;
        OnContextPopup(this, ScreenToClient(this, m.ScreenPos), handled);
        m.Result = handled;
      }
      return;
    default:
      return;
  }
}

void TCustomControl::PaintBackground() {
  if (!FOpaque || !FCanvas) return;
  FCanvas->Brush()->SetColor(FColor);
  FCanvas->Brush()->SetStyle(bsSolid);
  FCanvas->FillRect({0, 0, Width(), Height()});
}

void TCustomControl::Paint() {}

void TCustomControl::MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TCustomControl::MouseUp(TMouseButton b, TShiftState s, int32_t x, int32_t y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TCustomControl::MouseMove(TShiftState s, int32_t x, int32_t y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TCustomControl::Click() {
  if (OnClick) OnClick(this);
}
void TCustomControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TCustomControl::KeyDown(uint16_t& key, TShiftState s) {
  if (OnKeyDown) OnKeyDown(this, key, s);
}
void TCustomControl::KeyUp(uint16_t& key, TShiftState s) {
  if (OnKeyUp) OnKeyUp(this, key, s);
}
void TCustomControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TCustomControl::Resize() {
  if (OnResize) OnResize(this);
}

// ---------------------------------------------------------------------------
// TCustomPanel

RPT_BEGIN_CLASS(TCustomPanel, TCustomControl)
RPT_END_CLASS

TCustomPanel::TCustomPanel() { SetBounds(0, 0, 185, 41); }

void TCustomPanel::SetCaption(const std::string& value) {
  if (FCaption == value) return;
  FCaption = value;
  Invalidate();
}

void TCustomPanel::Paint() {
  if (FCaption.empty() || !Canvas()) return;
  Canvas()->SetFont(Font());
  Canvas()->Brush()->SetStyle(bsClear);
  const TSize e = Canvas()->TextExtent(FCaption);
  Canvas()->TextOut((Width() - e.cx) / 2, (Height() - e.cy) / 2, FCaption);
}

RPT_BEGIN_CLASS(TPanel, TCustomPanel)
RPT_END_CLASS

// ---------------------------------------------------------------------------
// TCustomForm

RPT_BEGIN_CLASS(TCustomForm, TCustomControl)
RPT_END_CLASS

RPT_BEGIN_CLASS(TForm, TCustomForm)
RPT_END_CLASS

TCustomForm::TCustomForm()
    : FHorzScrollBar(new TControlScrollBar(this, sbHorizontal)),
      FVertScrollBar(new TControlScrollBar(this, sbVertical)) {
  SetVisible(false);
  SetBounds(0, 0, 320, 240);
}

TCustomForm::~TCustomForm() = default;

void TCustomForm::BeforeDestruction() {
  if (!FDestroyEventFired) {
    FDestroyEventFired = true;
    if (OnDestroy) OnDestroy(this);
  }
  SetParentWindow(nullptr);
  TCustomControl::BeforeDestruction();
}

void TCustomForm::SetCaption(const std::string& value) {
  FCaption = value;
  if (QWidget* w = PeerWidget(this)) w->setWindowTitle(QString::fromStdString(value));
}

void TCustomForm::Show() {
  SetVisible(true);
  if (!Peer()) CreateFormPeer(this, nullptr);
  if (QWidget* w = PeerWidget(this)) {
    w->show();
    if (w->isWindow()) w->raise();
  }
  if (OnShow) OnShow(this);
}

void TCustomForm::Hide() { SetVisible(false); }

bool TCustomForm::Showing() const {
  QWidget* w = PeerWidget(this);
  return w && w->isVisible();
}

bool TCustomForm::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return false;
  TCloseAction action = FDefaultCloseAction;
  if (OnClose) OnClose(this, action);
  switch (action) {
    case caNone:
      return false;
    case caHide:
      Hide();
      return true;
    case caMinimize:
      if (QWidget* w = PeerWidget(this)) w->showMinimized();
      return true;
    case caFree:
      Release();
      return true;
  }
  return false;
}

void TCustomForm::Release() {
  // Freed from the event loop, after the message that asked for it has returned.
  static const uint32_t kRelease = RegisterWindowMessage("rpt.FormRelease");
  Hide();
  PostMessage(this, kRelease);
}

void TCustomForm::SetParentWindow(TWinControl* control) {
  if (FParentWindow == control) return;
  if (Peer()) DestroyPeer(this);
  FParentWindow = control;
  TrackHostedForm(this, control != nullptr);
  if (control && PeerWidget(control)) CreateFormPeer(this, PeerWidget(control));
}

void TCustomForm::WndProc(TMessage& m) {
  static const uint32_t kRelease = RegisterWindowMessage("rpt.FormRelease");
  if (m.Msg == kRelease) {
    Free();
    return;
  }
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_SETFOCUS:
      Activate();
      break;
    default:
      break;
  }
  TCustomControl::WndProc(m);
}

void TCustomForm::PaintBackground() {
  TCustomControl::PaintBackground();
  if (FDesigner) FDesigner->PaintDesignGrid();
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TCustomControl::ComponentNotification(component, operation);
  if (FDesigner) FDesigner->NotifyComponent(component, operation);
}

}  // namespace rpt
