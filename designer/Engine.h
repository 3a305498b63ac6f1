#pragma once
// The engine of an active designer: selection with grab handles, the pointer logic
// (select, rubber band, move, resize, insert), hints, proxies for non-visual
// components and fresh names. It is the design form's hook for its whole life.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

#include "designer/Designer.h"

class QTimer;
class QLabel;

namespace rpt {

class TZQKEngine;
class TZQKSelCtrls;
class TZQKSelCtrlItem;

// Private messages of the engine (registered once per run).
uint32_t SizingMsg();
uint32_t CancelMsg();
uint32_t HandleUpdateMsg();

// One grab handle: a 5 x 5 window in the selected control's parent window. The corner
// handles of a multi-selection have no window each: the selection draws them in one
// layer per parent window (see TZQKSelCtrls::HandleLayer).
class TZQKSelCtrlItemPoint {
 public:
  TZQKSelCtrlItemPoint(TZQKSelCtrlItem* item, int handleIndex);
  ~TZQKSelCtrlItemPoint();
  int HandleIndex() const { return FHandleIndex; }
  TZQKSelCtrlItem* Item() const { return FItem; }
  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  static constexpr int32_t Size = 5;
  TColor Color() const { return FColor; }
  TColor BorderColor() const { return FBorderColor; }
  bool Visible() const { return FVisible; }
  TCursor Cursor() const { return FCursor; }
  // The window's parent: the selected control's parent window; none when it has no peer.
  QWidget* ParentWindow() const;
  // The handle's own window; none for a multi-selection's handle (the layer draws it).
  QWidget* Window() const { return FWindow; }
  // Places, colours and shows the handle from its item's state.
  void Place();
  // A left press on the handle (the window forwards its presses here).
  void Press(TMouseButton button, TPoint screenPos, TShiftState shift);

 private:
  TZQKSelCtrlItem* FItem;
  int FHandleIndex;
  int32_t FLeft = 0, FTop = 0;
  TColor FColor = clBlack, FBorderColor = clBlack;
  bool FVisible = false;
  TCursor FCursor = crDefault;
  QPointer<QWidget> FWindow;
};

enum TZQKHandleState : uint8_t { hsNone, hsSingle, hsMulti };

class TZQKSelCtrlItem {
 public:
  TZQKSelCtrlItem(TZQKSelCtrls* selection, TControl* control);
  ~TZQKSelCtrlItem();
  TZQKSelCtrls* Selection() const { return FSelection; }
  TControl* Control() const { return FControl; }
  TZQKHandleState HandleState() const { return FHandleState; }
  void SetHandleState(TZQKHandleState state);
  int HandleIndex = 0;
  TZQKSelCtrlItemPoint* Handle(int index) const { return FHandles[index].get(); }
  void PlaceHandles();

 private:
  TZQKSelCtrls* FSelection;
  TControl* FControl;
  TZQKHandleState FHandleState = hsNone;
  std::unique_ptr<TZQKSelCtrlItemPoint> FHandles[8];
};

class TZQKSelCtrls : public TComponent {
  RPT_CLASS(TZQKSelCtrls, TComponent)
  TZQKSelCtrls() = default;
  ~TZQKSelCtrls() override;

  TZQKEngine* Engine() const { return FEngine; }
  void SetEngine(TZQKEngine* engine) { FEngine = engine; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TZQKSelCtrlItem* Item(int index) const { return FItems.at(index).get(); }
  TControl* Controls(int index) const { return FItems.at(index)->Control(); }
  TControl* LastControl() const { return FItems.empty() ? nullptr : FItems.back()->Control(); }
  int IndexOf(const TControl* control) const;
  int Add(TControl* control);
  void Remove(TControl* control);
  void SelectOnly(TControl* control);
  void RestrictToParent(TWinControl* parent);
  // Makes the selection exactly the list, keeping controls already selected.
  void SelectExactly(const std::vector<TControl*>& list);
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  bool HandlesVisible() const { return FHandlesVisible; }
  void SetHandlesVisible(bool value);
  bool HandlesActive() const { return FHandlesActive; }
  void SetHandlesActive(bool value);
  TControl* RootControl() const { return FRootControl; }
  void SetRootControl(TControl* control);
  void PlaceHandles();
  void PlaceHandles(int index);
  void Clear();
  void SetDestroying() { FDestroying = true; }
  // The window that shows the multi-selection handles in Parent (they take its presses
  // and nothing between them); none while Parent shows none. Brought up to date once
  // per event round after handles were placed, so placing many costs one pass.
  QWidget* HandleLayer(const QWidget* parent) const;
  void HandlesPlaced();
  void SyncHandleLayers();

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 private:
  void DeleteItem(int index);
  void ScrollIntoView(TControl* control);
  void Changed();
  void UpdateHandleStates();
  TZQKEngine* FEngine = nullptr;
  std::vector<std::unique_ptr<TZQKSelCtrlItem>> FItems;
  bool FHandlesVisible = false;
  bool FHandlesActive = false;
  TControl* FRootControl = nullptr;
  int FUpdateCount = 0;
  bool FChangePending = false;
  bool FDestroying = false;
  TControl* FScrollPending = nullptr;  // selected in an update, brought into view at its end
  std::vector<QPointer<QWidget>> FHandleLayers;
  std::unique_ptr<QObject> FLayerSyncContext;  // a pending sync dies with the selection
  bool FLayerSyncPending = false;
};

// A proxy: stands on the design surface for a component without a window.
class TZQKNonvisualControl : public TCustomControl {
  RPT_CLASS(TZQKNonvisualControl, TCustomControl)
  TZQKNonvisualControl();
  ~TZQKNonvisualControl() override;
  TComponent* Component() const { return FComponent; }
  TZQKEngine* Engine() const { return FEngine; }
  void Attach(TZQKEngine* engine, TComponent* component);
  void Unregister();
  // The size stays 28 x 28; the position goes to the component's design position.
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void Refresh();
  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void Paint() override;

 private:
  TZQKEngine* FEngine = nullptr;
  TComponent* FComponent = nullptr;
  bool FSettingBounds = false;
};

// The hint controller: one hint window, a timer for the delay and the auto-hide.
class TZQKEngHint {
 public:
  explicit TZQKEngHint(TZQKEngine* engine);
  ~TZQKEngHint();
  void Request(bool delay, bool autoHide, const std::string& text, TControl* control, bool hideOnMessage);
  void Show();
  void Hide();
  void MessageTest(const TMessage& message);
  bool Shown() const { return FShown; }
  const std::string& Text() const { return FText; }
  TControl* Control() const { return FControl; }
  // The hint window once shown; none before.
  const QLabel* Window() const { return FWindow.get(); }
  // The last pointer position the engine saw (the hint is placed there).
  TPoint PointerPos;

 private:
  void TimerFired();
  TZQKEngine* FEngine;
  std::unique_ptr<QTimer> FTimer;
  std::unique_ptr<QLabel> FWindow;
  int FPhase = 0;
  bool FAutoHide = false;
  std::string FText;
  bool FShown = false;
  TControl* FControl = nullptr;
  bool FHideOnMessage = false;
};

// The drag canvas: feedback figures drawn over one container, children included,
// in exclusive-or mode, so drawing a figure twice erases it. On screen they go onto an
// opaque overlay that shows a picture of the container taken when the drag starts:
// nothing under it repaints while the figures come and go.
class TZQKEngCanvas {
 public:
  enum TFigure : uint8_t { fgBand, fgFrame };
  explicit TZQKEngCanvas(TWinControl* container);
  ~TZQKEngCanvas();
  TWinControl* Container() const { return FContainer; }
  // The overlay widget; none when the container has no peer.
  QWidget* Overlay() const { return FOverlay; }
  // Toggles a figure: drawn when absent, erased when present.
  void Draw(TFigure figure, const TRect& rect);
  struct TShape {
    TFigure Figure;
    TRect Rect;
  };
  const std::vector<TShape>& Shapes() const { return FShapes; }

 private:
  TWinControl* FContainer;
  std::vector<TShape> FShapes;
  QPointer<QWidget> FOverlay;
  // Where the overlay sits in the container (it covers only the visible part).
  QPoint FOverlayOrigin;
};

enum TZQKDragKind : uint8_t { dkRubberBand, dkMove, dkResize, dkInsert };
enum TZQKDragPhase : uint8_t { dpStart, dpMove, dpEnd, dpCancel };

class TZQKEngine : public TComponent, public IDesignerHook {
  RPT_CLASS(TZQKEngine, TComponent)
  TZQKEngine() = default;
  ~TZQKEngine() override;

  // Activation steps a-f; throws with everything undone.
  void Start(TZQKCustomDesigner* designer, TImageList* images, bool showNonvisual, TZQKCustomDesignPanel* panel,
             TComponent* root);
  void Stop();

  TZQKCustomDesigner* Designer() const { return FDesigner; }
  TZQKSelCtrls* Selection() const { return FSelection; }
  TControl* Root() const { return FRoot; }
  TCustomForm* DesignForm() const { return FDesignForm; }
  TZQKEngHint* Hint() const { return FHint.get(); }
  bool Dragging() const { return FDragging; }
  TZQKDragKind DragKind() const { return FDragKind; }
  TZQKEngCanvas* DragCanvas() const { return FDragCanvas.get(); }
  int GridRebuilds() const { return FGridRebuilds; }

  // Queries of the selection.
  bool CanSelect(const TControl* control) const;
  TWinControl* ParentOf(const TControl* control) const;
  TControl* FindSelectable(TControl* control) const;
  TControl* ControlOf(TComponent* component) const;
  TComponent* ComponentOf(TControl* control) const;
  TWinControl* FindContainer(TControl* control) const;
  bool IsProxy(const TControl* control) const;
  TZQKDesignerLockMode LockModeOf(const TControl* control) const;

  // Proxies.
  TZQKNonvisualControl* ProxyOf(const TComponent* component) const;
  void CreateProxy(TComponent* component);
  void DestroyProxy(TComponent* component);
  void RebuildProxies();
  void RemoveProxies();
  void RefreshProxies();
  void RepaintProxies();
  bool IsHidden(TComponent* component);
  const std::vector<TZQKNonvisualControl*>& Proxies() const { return FProxies; }
  void RegisterProxy(TZQKNonvisualControl* proxy);
  void UnregisterProxy(TZQKNonvisualControl* proxy);
  void SetImages(TImageList* images);
  TImageList* Images() const { return FImages; }
  const QPixmap& DefaultProxyImage();

  bool NameIsFree(const std::string& name) const;
  void CancelDrag();
  // Whether the drag in progress keeps the control (moves or sizes it, or inserts into it).
  bool Holds(const TControl* control) const;
  void HandlesChanged() { FSelection->PlaceHandles(); }
  void GridChanged();
  void ContextMenu(TPoint screenPos);
  // Inserts a component of the class into the container at the first place its default
  // size leaves every other control of the container uncovered (the top left when none
  // is): the keyboard's insert. One "Insert" step; the new control is selected alone.
  TComponent* InsertAtFreePlace(TComponentClass cls, TWinControl* container);
  // Where the context menu opened last (screen coordinates).
  TPoint LastPopupPoint() const { return FLastPopupPoint; }

  // IDesignerHook.
  void NotifyModified() override;
  void NotifyComponent(TPersistent* object, TComponentOperation operation) override;
  TCustomForm* HostForm() override;
  void SetHostForm(TCustomForm* form) override;
  bool GetIsControl() override;
  void SetIsControl(bool value) override;
  bool FilterDesignMessage(TControl* control, TMessage& message) override;
  void PaintDesignGrid() override;
  void CheckRename(TComponent* component, const std::string& oldName, const std::string& newName) override;
  std::string MakeUniqueName(const std::string& baseName) override;
  // The first free name numbered From or higher; From moves past it. While names are only
  // added (a paste), numbers below From stay taken, so a run of names needs no rescans.
  std::string MakeUniqueName(const std::string& baseName, int& from);
  TComponent* RootComponent() override { return FRoot; }

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 private:
  bool PointerHandling(TControl* control, TMessage& message);
  void StartDrag(TWinControl* container, TZQKDragKind kind, bool snap, bool lockX, bool lockY, bool startSnap,
                 TPoint pointer);
  void EndDrag(bool cancelled, TPoint pointer);
  TPoint SnappedPointer(TPoint pointer) const;
  void DragHandler(TZQKDragPhase phase, TPoint point);
  void RubberBand(TZQKDragPhase phase, TPoint point);
  void MoveDrag(TZQKDragPhase phase, TPoint point);
  void ResizeDrag(TZQKDragPhase phase, TPoint point);
  void InsertDrag(TZQKDragPhase phase, TPoint point);
  TRect ResizeRect() const;
  TRect InsertRect() const;
  // One "Insert" step: the component made, named, placed in bounds (an empty rectangle
  // keeps its default size at the rectangle's corner) and selected alone.
  TComponent* InsertComponent(TComponentClass cls, TWinControl* container, const TRect& bounds);
  void DragHint(TZQKDesignerHint which, const std::string& text);
  void ComponentHint(TControl* control, bool consumed);
  TPoint ToContainer(TPoint screen) const;
  void FocusDesignForm();
  void UpdateFocus();

  TZQKCustomDesigner* FDesigner = nullptr;
  TZQKCustomDesignPanel* FPanel = nullptr;
  TControl* FRoot = nullptr;
  TCustomForm* FDesignForm = nullptr;
  TZQKSelCtrls* FSelection = nullptr;
  std::unique_ptr<TZQKEngHint> FHint;
  TImageList* FImages = nullptr;
  // Ties the engine to its image list: every change repaints the proxies.
  std::unique_ptr<TChangeLink> FImageLink;
  std::vector<TZQKNonvisualControl*> FProxies;
  std::unique_ptr<QPixmap> FDefaultImage;
  TPoint FRootPos;
  TPoint FLastPopupPoint{-1, -1};
  bool FStarted = false;

  // Grid brush.
  std::unique_ptr<QPixmap> FGridBitmap;
  TColor FGridFormColor = clNone;
  TPoint FGridScroll;
  int FGridRebuilds = 0;

  // Drag state.
  bool FDragging = false;
  bool FClickPending = false;
  TControl* FLastHinted = nullptr;
  std::unique_ptr<TZQKEngCanvas> FDragCanvas;
  TZQKDragKind FDragKind = dkRubberBand;
  bool FSnap = false, FLockX = false, FLockY = false;
  TPoint FStartPoint, FLastPoint;  // screen
  TComponentClass FInsertClass = nullptr;
  // Kind-specific records (container client coordinates).
  TRect FBand;
  struct TMoveRec {
    TControl* Control;
    TRect Bounds;
    bool Locked;
  };
  std::vector<TMoveRec> FMoveRecs;
  int32_t FMinLeft = 0, FMinTop = 0;
  TPoint FDragStart;  // container coordinates
  TPoint FOffset;
  TControl* FResizeControl = nullptr;
  int FResizeHandle = 0;
  TRect FDrawnRect;
  bool FInsertDrawn = false;
  std::vector<TRect> FDrawnFrames;
};

}  // namespace rpt
