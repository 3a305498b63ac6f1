#pragma once
// Window controls of the framework: controls with a canvas and messages, panels and
// forms with their design hook slot, and the operations on controls that map onto
// widget peers (focus, capture, pointer confinement, z-order, posted messages).
// A control gets a peer only while it sits in a shown form; without one everything
// here works headless.
#include <memory>
#include <string>
#include <vector>

#include "framework/Canvas.h"
#include "framework/Messages.h"
#include "objects/Component.h"

namespace rpt {

class TCustomForm;

RPT_EVENT_TYPE(TNotifyEvent, void(TObject*))
RPT_EVENT_TYPE(TMouseEvent, void(TObject*, TMouseButton, TShiftState, int32_t, int32_t))
RPT_EVENT_TYPE(TMouseMoveEvent, void(TObject*, TShiftState, int32_t, int32_t))
RPT_EVENT_TYPE(TKeyEvent, void(TObject*, uint16_t&, TShiftState))
RPT_EVENT_TYPE(TKeyPressEvent, void(TObject*, char&))
RPT_EVENT_TYPE(TCloseEvent, void(TObject*, TCloseAction&))
RPT_EVENT_TYPE(TCloseQueryEvent, void(TObject*, bool&))
RPT_EVENT_TYPE(TContextPopupEvent, void(TObject*, TPoint, bool&))
RPT_EVENT_TYPE(TMouseWheelEvent, void(TObject*, TShiftState, int32_t, TPoint, bool&))
RPT_EVENT_TYPE(TMouseWheelUpDownEvent, void(TObject*, TShiftState, TPoint, bool&))
RPT_EVENT_TYPE(TDragOverEvent, void(TObject*, TObject*, int32_t, int32_t, TDragState, bool&))
RPT_EVENT_TYPE(TDragDropEvent, void(TObject*, TObject*, int32_t, int32_t))

// The designer's view of a form: it sees every message of the form's controls that are
// under design before they do. One slot per form.
class IDesignerNotify {
 public:
  virtual ~IDesignerNotify() = default;
  virtual void NotifyModified() = 0;
  virtual void NotifyComponent(TPersistent* object, TComponentOperation operation) = 0;
};

class IDesignerHook : public IDesignerNotify {
 public:
  virtual TCustomForm* HostForm() = 0;
  virtual void SetHostForm(TCustomForm* form) = 0;
  virtual bool GetIsControl() = 0;
  virtual void SetIsControl(bool value) = 0;
  // True consumes the message: the control does not see it.
  virtual bool FilterDesignMessage(TControl* control, TMessage& message) = 0;
  virtual void PaintDesignGrid() = 0;
  virtual void CheckRename(TComponent* component, const std::string& oldName, const std::string& newName) = 0;
  virtual std::string MakeUniqueName(const std::string& baseName) = 0;
  virtual TComponent* RootComponent() = 0;
};

// ---------------------------------------------------------------------------
// A window control with a canvas, colour, font and the mouse, key and paint events.
class TCustomControl : public TWinControl {
  RPT_CLASS(TCustomControl, TWinControl)

  TCustomControl();
  ~TCustomControl() override;

  // Message handling: the design hook has already passed the message on. Overrides
  // handle their own messages and call the inherited one for the rest.
  virtual void WndProc(TMessage& message);

  // Valid while painting; none otherwise.
  TCanvas* Canvas() const { return FCanvas; }
  TColor Color() const { return FColor; }
  virtual void SetColor(TColor value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* value) { FFont->AssignFrom(value); }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool value);
  // Opaque controls fill their background with Color before Paint.
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool value) { FTabStop = value; }

  void Invalidate();
  void Repaint();
  void Update();
  // Lays out the children by their Align values.
  void Realign();
  // A scrolling parent form follows what shows.
  void SetVisible(bool value) override;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnPaint;
  TNotifyEvent OnResize;
  TContextPopupEvent OnContextPopup;
  TMouseWheelEvent OnMouseWheel;

  void DefineProperties(TFiler& filer) override { TWinControl::DefineProperties(filer); }

 protected:
  virtual void Paint();
  virtual void PaintBackground();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void Click();
  virtual void DblClick();
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyUp(uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void Resize();
  // The font changed (directly or through ParentFont).
  virtual void FontChanged();
  void BoundsChanged() override;
  void ParentChanged() override;
  void InsertControl(TControl* control) override;
  void RemoveControl(TControl* control) override;
  void BeforeDestruction() override;

 private:
  void FontChangedHandler();
  void ParentFontChanged();
  void ParentColorChanged();
  void AlignControls();
  TCanvas* FCanvas = nullptr;
  TColor FColor = clBtnFace;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  bool FParentColor = false;
  bool FOpaque = true;
  bool FTabStop = false;
  bool FAligning = false;
  bool FSettingParentFont = false;
  bool FLeftPressed = false;
  friend void PaintControl(TControl*, TCanvas*);
};

// ---------------------------------------------------------------------------
class TCustomPanel : public TCustomControl {
  RPT_CLASS(TCustomPanel, TCustomControl)
  TCustomPanel();

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);

 protected:
  void Paint() override;

 private:
  std::string FCaption;
};

class TPanel : public TCustomPanel {
  RPT_CLASS(TPanel, TCustomPanel)
  TPanel() = default;
};

// ---------------------------------------------------------------------------
// One scroll bar of a scrolling form. Position is the logical offset of the client
// area; Range is the logical extent of what can be scrolled to. With the form's
// AutoScroll the range follows the children (their right or bottom edge plus Margin).
enum TScrollBarKind : uint8_t { sbHorizontal, sbVertical };
RPT_ENUM_TYPE(TScrollBarKind, "sbHorizontal", "sbVertical")

class TControlScrollBar : public TPersistent {
  RPT_CLASS(TControlScrollBar, TPersistent)
  TControlScrollBar() = default;
  TControlScrollBar(TCustomForm* control, TScrollBarKind kind) : FControl(control), FKind(kind) {}

  TScrollBarKind Kind() const { return FKind; }
  TCustomForm* Control() const { return FControl; }
  // The step of one line (arrow buttons, wheel lines); at least 1.
  int32_t Increment() const { return FIncrement; }
  void SetIncrement(int32_t value);
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t value);
  // Clamped into 0..Range - client extent; moving it scrolls the form's children.
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t value);
  // Setting a range by hand ends the form's AutoScroll, as the two would disagree.
  int32_t Range() const { return FRange; }
  void SetRange(int32_t value);
  bool StoreRange() const;
  // Whether dragging the thumb scrolls at once (else on release); users expect it to.
  bool Tracking() const { return FTracking; }
  void SetTracking(bool value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  // True while the bar is shown: visible and the range exceeds the client extent.
  bool IsScrollBarVisible() const { return FShowing; }
  // The largest position the current range and client extent allow.
  int32_t MaxPosition() const;

  void AssignFrom(const TPersistent* source) override;

 private:
  friend class TCustomForm;
  void Changed();
  TCustomForm* FControl = nullptr;
  TScrollBarKind FKind = sbHorizontal;
  int32_t FIncrement = 8;
  int32_t FMargin = 0;
  int32_t FPosition = 0;
  int32_t FRange = 0;
  bool FTracking = true;
  bool FVisible = true;
  bool FShowing = false;
};

// ---------------------------------------------------------------------------
// A form: the top of a control tree. Shown on its own as a top-level window, inside
// another control's window (its parent window), or inside a widget of the shell.
class TCustomForm : public TCustomControl {
  RPT_CLASS(TCustomForm, TCustomControl)

  TCustomForm();
  ~TCustomForm() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value);

  IDesignerHook* Designer() const { return FDesigner; }
  void SetDesigner(IDesignerHook* hook) { FDesigner = hook; }

  // Shows the form: creates the peers of the whole tree.
  void Show();
  void Hide();
  // Runs the close handling: OnCloseQuery, OnClose; caFree releases the form. Returns
  // whether the form closed (hidden, minimised or released).
  bool Close();
  // Frees the form once the current message has been handled.
  void Release();
  bool Showing() const;

  // A control whose window hosts this form's window (with no parent control).
  TWinControl* ParentWindow() const { return FParentWindow; }
  void SetParentWindow(TWinControl* control);

  // Default close action (caHide for a plain form).
  TCloseAction DefaultCloseAction() const { return FDefaultCloseAction; }
  void SetDefaultCloseAction(TCloseAction action) { FDefaultCloseAction = action; }

  // Horizontal and vertical scroll positions of the client area (0 when not scrolled):
  // client point (x, y) is logical point (x + ScrollPos().X, y + ScrollPos().Y).
  TPoint ScrollPos() const;
  // Scrolls to a position (clamped like the bars' positions).
  void SetScrollPos(TPoint pos);
  // A child moved, resized, appeared or vanished: the scroll ranges follow.
  void ChildBoundsChanged();

  // Scrolling. Children keep client coordinates: scrolling moves them by the delta and
  // the bars' positions by its opposite. Without a peer all of it works in the model.
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool value);
  TControlScrollBar* HorzScrollBar() const { return FHorzScrollBar.get(); }
  void SetHorzScrollBar(TControlScrollBar* value) { FHorzScrollBar->AssignFrom(value); }
  TControlScrollBar* VertScrollBar() const { return FVertScrollBar.get(); }
  void SetVertScrollBar(TControlScrollBar* value) { FVertScrollBar->AssignFrom(value); }
  // Moves the children by (dx, dy), limited so that the positions stay in range.
  void ScrollBy(int32_t dx, int32_t dy);
  // Scrolls as little as needed to show a control placed anywhere inside this form.
  void ScrollInView(TControl* control);
  // Batches child changes: the automatic ranges are recomputed once at the end.
  void DisableAutoRange() { ++FAutoRangeCount; }
  void EnableAutoRange();
  // Recomputes automatic ranges, which bars show, and clamps the positions.
  void UpdateScrollBars();
  // The client area excludes the bars that show.
  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  // Thickness of a scroll bar in pixels.
  static int32_t ScrollBarExtent();

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;

  void WndProc(TMessage& message) override;
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void PaintBackground() override;
  virtual void Activate();
  virtual void Deactivate();
  void BeforeDestruction() override;
  void BoundsChanged() override;
  void InsertControl(TControl* control) override;
  void RemoveControl(TControl* control) override;

 private:
  friend class TCustomControl;
  friend class TControlScrollBar;
  void ScrollChildren(int32_t dx, int32_t dy);
  std::string FCaption;
  IDesignerHook* FDesigner = nullptr;
  TWinControl* FParentWindow = nullptr;
  TCloseAction FDefaultCloseAction = caHide;
  std::unique_ptr<TControlScrollBar> FHorzScrollBar;
  std::unique_ptr<TControlScrollBar> FVertScrollBar;
  bool FAutoScroll = false;
  int FAutoRangeCount = 0;
  bool FUpdatingScrollBars = false;
  bool FScrollBarsPending = false;
  bool FDestroyEventFired = false;
  friend class TQtWindowLayer;
};

class TForm : public TCustomForm {
  RPT_CLASS(TForm, TCustomForm)
  TForm() = default;
};

// ---------------------------------------------------------------------------
// Delivery. Messages of a control under design (sfDesigning) go to the hook of its form
// first; what the hook does not consume goes to the control.
TCustomForm* GetParentForm(const TControl* control);
void Perform(TControl* control, TMessage& message);
intptr_t SendMessage(TControl* control, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
// Queues a message for a framework control; callable from any thread. A message for a
// control destroyed before delivery is dropped.
void PostMessage(TCustomControl* control, uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
bool IsLiveControl(const TCustomControl* control);

// Lets the interface thread handle what is queued, so a long job keeps the windows
// alive; on any other thread it does nothing.
void ProcessPendingMessages();
// Widgets live on the interface thread: a control's peer is changed there only. Raises
// a logic error naming what was attempted from another thread.
void CheckInterfaceThread(const char* what);

// Paints a control onto a canvas (the paint message path, also for off-screen pictures).
void PaintControl(TControl* control, TCanvas* canvas);

// Z-order among the siblings.
void BringToFront(TControl* control);
void SendToBack(TControl* control);

// Coordinates: through the peers when they exist, else by adding up the positions.
TPoint ClientToScreen(const TControl* control, TPoint point);
TPoint ScreenToClient(const TControl* control, TPoint point);

// Keyboard focus.
void SetFocus(TWinControl* control);
bool Focused(const TWinControl* control);
bool CanFocus(const TWinControl* control);
TWinControl* FocusedControl();

// Mouse capture: every pointer message goes to the capturing control.
void SetCaptureControl(TControl* control);
TControl* GetCaptureControl();
// Pointer confinement to a screen rectangle; none lifts it.
void ClipCursor(const TRect* screenRect);
bool GetClipCursor(TRect& screenRect);

// The window layer follows the controls; installed by the application object.
void InstallWindowLayer();

}  // namespace rpt
