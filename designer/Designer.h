#pragma once
// The designer: a non-visual component that takes one root component into design mode
// on a design panel and turns pointer and keyboard input on it into editing. The engine
// (Engine.h) does the work while the designer is active.
#include <QPixmap>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/ImageList.h"
#include "framework/Menus.h"
#include "objects/Exceptions.h"

namespace rpt {

class TZQKEngine;
class TZQKCustomDesigner;
class TZQKCustomDesignPanel;
class TReader;
class TZQKDesignHistory;
class TZQKDesignCommand;
class TTakenPositions;

using TComponentClass = const TClassDescriptor*;

class EZQKDesigner : public Exception {
  using Exception::Exception;
};

enum TZQKDesignerHint : uint8_t { dhComponent, dhSize, dhMove, dhInsert };
RPT_ENUM_TYPE(TZQKDesignerHint, "dhComponent", "dhSize", "dhMove", "dhInsert")
using TZQKDesignerHints = TSet<TZQKDesignerHint>;

enum TZQKDesignerLockModeFlag : uint8_t { lmNoMove, lmNoResize, lmNoDelete, lmNoInsertIn, lmNoCopy };
RPT_ENUM_TYPE(TZQKDesignerLockModeFlag, "lmNoMove", "lmNoResize", "lmNoDelete", "lmNoInsertIn", "lmNoCopy")
using TZQKDesignerLockMode = TSet<TZQKDesignerLockModeFlag>;

// Alignment codes of one direction (horizontal or vertical).
enum TZQKDesignerAlign : uint8_t { daNone, daLeftTop, daRightBottom, daSpaceEqually, daCenters, daCenterInWindow };

enum TBorderStyle : uint8_t { bsNone, bsSingle };
RPT_ENUM_TYPE(TBorderStyle, "bsNone", "bsSingle")

RPT_EVENT_TYPE(TZQKDesignerOnComponentInsertingEvent, void(TObject*, TComponentClass&))
RPT_EVENT_TYPE(TZQKDesignerOnComponentHintEvent, void(TObject*, TComponent*, std::string&))
RPT_EVENT_TYPE(TZQKDesignerOnValidateNameEvent, void(TObject*, const std::string&, bool&))
RPT_EVENT_TYPE(TZQKDesignerOnNotificationEvent, void(TObject*, TPersistent*, TComponentOperation))
RPT_EVENT_TYPE(TZQKDesignerOnGetUniqueName, void(TObject*, const std::string&, std::string&))
RPT_EVENT_TYPE(TZQKDesignerOnGetImageIndex, void(TObject*, TComponentClass, int32_t&))
RPT_EVENT_TYPE(TZQKDesignerOnShowNonvisualComponent, void(TObject*, TComponent*, bool&))
RPT_EVENT_TYPE(TZQKDesignerReadError, void(TObject*, TReader*, const std::string&, bool&))
RPT_EVENT_TYPE(TZQKDesignerReadFindMethod, void(TObject*, TReader*, const std::string&, void*&, bool&))
RPT_EVENT_TYPE(TZQKDesignerReadSetName, void(TObject*, TReader*, TComponent*, std::string&))
RPT_EVENT_TYPE(TZQKDesignerReadReferenceName, void(TObject*, TReader*, std::string&))
RPT_EVENT_TYPE(TZQKDesignerReadCreateComponent, void(TObject*, TReader*, TComponentClass, TComponent*&))
RPT_EVENT_TYPE(TZQKDesignerReadFindComponentClass, void(TObject*, TReader*, const std::string&, TComponentClass&))

// ---------------------------------------------------------------------------
class TZQKDesignerGrid : public TPersistent {
  RPT_CLASS(TZQKDesignerGrid, TPersistent)
  TZQKDesignerGrid() = default;
  explicit TZQKDesignerGrid(TZQKCustomDesigner* designer) : FDesigner(designer) {}

  int32_t XStep() const { return FXStep; }
  int32_t YStep() const { return FYStep; }
  bool Visible() const { return FVisible; }
  TColor Color() const { return FColor; }
  // Steps are clamped into 2..32.
  void SetXStep(int32_t value);
  void SetYStep(int32_t value);
  void SetVisible(bool value);
  void SetColor(TColor value);
  void AssignFrom(const TPersistent* source) override;

 private:
  void Changed();
  TZQKCustomDesigner* FDesigner = nullptr;
  int32_t FXStep = 8, FYStep = 8;
  bool FVisible = true;
  TColor FColor = clBlack;
};

// Follows a designer without its events; the designer calls them in list order.
class TZQKDesignerNotifyClient {
 public:
  virtual ~TZQKDesignerNotifyClient() = default;
  virtual void DesignerChanged(TZQKCustomDesigner*) {}
  virtual void SelectionChanged(TZQKCustomDesigner*) {}
  virtual void ComponentNotification(TZQKCustomDesigner*, TPersistent*, TComponentOperation) {}
  virtual void FocusGained(TZQKCustomDesigner*) {}
  virtual void ActiveChanged(TZQKCustomDesigner*) {}
};

// The designer's SelectedComponents: a view of the engine's selection.
class TZQKDesignerSelectedComponents {
 public:
  explicit TZQKDesignerSelectedComponents(TZQKCustomDesigner* designer) : FDesigner(designer) {}
  int Count() const;
  TComponent* Items(int index) const;
  TComponent* LastSelected() const;
  int Add(TComponent* component);
  void GetComponents(std::vector<TComponent*>& list) const;
  void RestrictToParent(TWinControl* parent);
  void Clear();
  void UpdateHandles();

  // Editing commands on the selected controls; each is one step of the history.
  void Align(TZQKDesignerAlign horizontal, TZQKDesignerAlign vertical);
  void AlignToGrid();
  void BringToFront();
  void SendToBack();
  // Lock sets are design information of the session: no step, no change event.
  void Lock(TZQKDesignerLockMode mode);

 private:
  TZQKEngine* Engine() const;  // "Designer must be active"
  TZQKCustomDesigner* FDesigner;
};

// Classes whose components get no proxy.
class TZQKDesignerHiddenClasses {
 public:
  explicit TZQKDesignerHiddenClasses(TZQKCustomDesigner* designer) : FDesigner(designer) {}
  int Count() const { return static_cast<int>(FClasses.size()); }
  TComponentClass Items(int index) const { return FClasses.at(index); }
  void Add(TComponentClass cls);
  void Clear();
  int IndexOf(TComponentClass cls) const;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

 private:
  void Changed();
  TZQKCustomDesigner* FDesigner;
  std::vector<TComponentClass> FClasses;
  int FUpdateCount = 0;
  bool FChangePending = false;
};

// ---------------------------------------------------------------------------
class TZQKDsgComponent : public TComponent {
  RPT_CLASS(TZQKDsgComponent, TComponent)
  TZQKDsgComponent() = default;
};

class TZQKCustomDesigner : public TZQKDsgComponent {
  RPT_CLASS(TZQKCustomDesigner, TZQKDsgComponent)
  TZQKCustomDesigner();
  ~TZQKCustomDesigner() override;

  TComponent* DesignControl() const { return FDesignControl; }
  void SetDesignControl(TComponent* value);
  TZQKCustomDesignPanel* DesignPanel() const { return FDesignPanel; }
  void SetDesignPanel(TZQKCustomDesignPanel* value);
  bool Active() const { return FEngine != nullptr; }
  void SetActive(bool value);
  TZQKEngine* Engine() const { return FEngine; }

  TZQKDesignerGrid* Grid() const { return FGrid; }
  void SetGrid(TZQKDesignerGrid* value) { FGrid->AssignFrom(value); }
  bool SnapToGrid() const { return FSnapToGrid; }
  void SetSnapToGrid(bool value) { FSnapToGrid = value; }
  TZQKDesignerHints Hints() const { return FHints; }
  void SetHints(TZQKDesignerHints value) { FHints = value; }
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* value);

  TColor HandleColor() const { return FHandleColor; }
  TColor HandleBorderColor() const { return FHandleBorderColor; }
  TColor MultiSelectHandleColor() const { return FMultiSelectHandleColor; }
  TColor MultiSelectHandleBorderColor() const { return FMultiSelectHandleBorderColor; }
  TColor InactiveHandleColor() const { return FInactiveHandleColor; }
  TColor InactiveHandleBorderColor() const { return FInactiveHandleBorderColor; }
  TColor LockedHandleColor() const { return FLockedHandleColor; }
  void SetHandleColor(TColor v) { SetColorField(FHandleColor, v); }
  void SetHandleBorderColor(TColor v) { SetColorField(FHandleBorderColor, v); }
  void SetMultiSelectHandleColor(TColor v) { SetColorField(FMultiSelectHandleColor, v); }
  void SetMultiSelectHandleBorderColor(TColor v) { SetColorField(FMultiSelectHandleBorderColor, v); }
  void SetInactiveHandleColor(TColor v) { SetColorField(FInactiveHandleColor, v); }
  void SetInactiveHandleBorderColor(TColor v) { SetColorField(FInactiveHandleBorderColor, v); }
  void SetLockedHandleColor(TColor v) { SetColorField(FLockedHandleColor, v); }

  static const std::string& DefaultClipboardFormat();
  const std::string& ClipboardFormat() const { return FClipboardFormat; }
  void SetClipboardFormat(const std::string& value);
  bool StoreClipboardFormat() const { return FClipboardFormat != DefaultClipboardFormat(); }
  uint32_t ClipboardFormatId() const { return FClipboardFormatId; }
  bool ComponentContextPopup() const { return FComponentContextPopup; }
  void SetComponentContextPopup(bool value) { FComponentContextPopup = value; }
  bool ShowNonvisualComponents() const { return FShowNonvisualComponents; }
  void SetShowNonvisualComponents(bool value);
  TImageList* NonvisualComponentImages() const { return FNonvisualComponentImages; }
  void SetNonvisualComponentImages(TImageList* value);

  TZQKDesignerSelectedComponents& SelectedComponents() { return FSelectedComponents; }
  TZQKDesignerHiddenClasses& HiddenClasses() { return FHiddenClasses; }
  int32_t WheelAccumulator() const { return FWheelAccumulator; }

  void AddNotifyClient(TZQKDesignerNotifyClient* client) { FClients.push_back(client); }
  void RemoveNotifyClient(TZQKDesignerNotifyClient* client);

  // Lock sets of designed controls (the design-information word; not streamed).
  TZQKDesignerLockMode LockModeOf(const TControl* control) const;
  void SetLockModeOf(const TControl* control, TZQKDesignerLockMode mode);

  // Operations that need an active designer ("Designer must be active").
  void Select(const std::vector<TComponent*>& list);
  void LockComponent(TComponent* component, TZQKDesignerLockMode mode);
  void LockAll(TZQKDesignerLockMode mode);
  void SelectAll();
  void DeleteSelectedComponents();
  bool CanCopy() const;
  bool CanCut() const;
  bool CanPaste() const;
  void CopyToClipboard();
  void CutToClipboard();
  // Clipboard data that is no component list (foreign or damaged) is refused with an
  // error and changes nothing.
  void PasteFromClipboard();
  // The clipboard's MIME type for component lists, named after ClipboardFormat
  // ("ZQK Designer Demo" gives "application/x-zqk-designer-demo").
  std::string ClipboardMimeType() const;
  // The keyboard: the key-down rules of the design surface (Tab, Escape, arrows, Delete).
  void DesignKeyDown(uint16_t key, TShiftState shift);

  // The design history. Every change to the design is one step: BeginChange takes the
  // state of the components a change is about to touch, EndChange their state after it
  // (the components present then), pushes the step unless it changed nothing and
  // reports the change (OnChange). Steps with the same merge key on the same components
  // fold into one (arrow-key nudges, typing).
  TZQKDesignHistory& History() { return *FHistory; }
  const TZQKDesignHistory& History() const { return *FHistory; }
  std::unique_ptr<TZQKDesignCommand> BeginChange(const std::string& caption, const std::vector<TComponent*>& components,
                                                 int mergeKey = 0);
  // KeepEmpty records a step also when the stream shows no difference (a property that
  // is not stored was set: the caller says the design changed).
  void EndChange(std::unique_ptr<TZQKDesignCommand> command, const std::vector<TComponent*>& components,
                 bool keepEmpty = false);
  // The entry point of property edits (typing, dialogs, the inspector): Change runs
  // between the two states of Components; a failing change is recorded as far as it got.
  // A change that includes the root is a document step (ChangeDocument).
  void ChangeComponents(const std::string& caption, const std::vector<TComponent*>& components,
                        const std::function<void()>& change, int mergeKey = 0);
  // The whole document as the host keeps it: steps that change the root itself or what
  // lies beside it (its data, its page) hold these bytes before and after, and putting
  // one back asks the host to make the document again from them (it hands the new root
  // over with ReplaceDesignControl). Without both, such changes cannot be recorded and
  // forget the history.
  std::function<std::string()> OnSaveDocument;
  std::function<void(const std::string&)> OnLoadDocument;
  bool CanRecordDocument() const { return OnSaveDocument && OnLoadDocument; }
  // Change runs between two states of the whole document: one step, unless nothing
  // changed; a failing change is recorded as far as it got. Returns whether a step was
  // recorded.
  bool ChangeDocument(const std::string& caption, const std::function<void()>& change, int mergeKey = 0);
  // The host's document made again: Root takes the old root's place while the history,
  // the activity and the lock sets (by name) stay. The old root is the host's to free.
  void ReplaceDesignControl(TComponent* root);
  bool CanUndo() const;
  bool CanRedo() const;
  // "Undo Move", "Redo Paste"; plain "Undo"/"Redo" when there is nothing.
  std::string UndoCaption() const;
  std::string RedoCaption() const;
  // A drag in progress is cancelled first: it may hold controls the step destroys.
  void Undo();
  void Redo();
  // The design changed without a step (a new dataset): the steps no longer fit it.
  void ChangedOutsideHistory();

  // Reports a change of the design (OnChange). Outside a recorded step it also means a
  // change the history cannot undo.
  void DesignChanged();

  // Events.
  TNotifyEvent OnChange;
  TNotifyEvent OnChangeSelection;
  TZQKDesignerOnComponentInsertingEvent OnComponentInserting;
  TNotifyEvent OnComponentInserted;
  TZQKDesignerOnValidateNameEvent OnValidateName;
  TZQKDesignerOnGetUniqueName OnGetUniqueName;
  TZQKDesignerOnNotificationEvent OnNotification;
  TZQKDesignerOnComponentHintEvent OnComponentHint;
  TCloseEvent OnDesignFormClose;
  TZQKDesignerOnGetImageIndex OnGetImageIndex;
  TZQKDesignerOnShowNonvisualComponent OnShowNonvisualComponent;
  TContextPopupEvent OnContextPopup;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TZQKDesignerReadError OnReadError;
  TZQKDesignerReadFindMethod OnReadFindMethod;
  TZQKDesignerReadSetName OnReadSetName;
  TZQKDesignerReadReferenceName OnReadReferenceName;
  TZQKDesignerReadCreateComponent OnReadCreateComponent;
  TZQKDesignerReadFindComponentClass OnReadFindComponentClass;

  // Dispatchers (overridable).
  virtual void DoChange();
  virtual void DoValidateName(const std::string& name, bool& isValid);
  virtual void DoGetUniqueName(const std::string& baseName, std::string& uniqueName);
  virtual void DoChangeSelection();
  virtual void DoComponentInserting(TComponentClass& cls);
  virtual void DoComponentInserted();
  virtual void DoNotification(TPersistent* object, TComponentOperation operation);
  virtual void DoFocusGained();
  virtual void DoComponentHint(TComponent* component, std::string& hint);
  virtual void DoReadError(TReader* reader, const std::string& message, bool& handled);
  virtual void DoReadFindMethod(TReader* reader, const std::string& name, void*& address, bool& error);
  virtual void DoReadSetName(TReader* reader, TComponent* component, std::string& name);
  virtual void DoReadReferenceName(TReader* reader, std::string& name);
  virtual void DoReadCreateComponent(TReader* reader, TComponentClass cls, TComponent*& component);
  virtual void DoReadFindComponentClass(TReader* reader, const std::string& className, TComponentClass& cls);
  virtual void DoDesignFormClose(TCloseAction& action);
  virtual void DoKeyDown(uint16_t& key, TShiftState shift);
  virtual void DoKeyPress(char& key);
  virtual void DoKeyUp(uint16_t& key, TShiftState shift);
  virtual void DoDblClick();
  virtual void DoClick();
  virtual void DoGetImageIndex(TComponentClass cls, int32_t& index);
  virtual void DoShowNonvisualComponent(TComponent* component, bool& show);
  virtual TPopupMenu* DoGetPopupMenu();
  virtual void DoContextPopup(TPoint pos, bool& handled);
  virtual void DoMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void DoMouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void DoMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual bool DoMouseWheel(TShiftState shift, int32_t delta, TPoint pos);
  virtual bool DoMouseWheelDown(TShiftState shift, TPoint pos);
  virtual bool DoMouseWheelUp(TShiftState shift, TPoint pos);
  virtual void DoDragOver(TObject* source, int32_t x, int32_t y, TDragState state, bool& accept);
  virtual void DoDragDrop(TObject* source, int32_t x, int32_t y);

  // The wheel rule: the wheel event first, then whole notches of the accumulator.
  bool MouseWheel(TShiftState shift, int32_t delta, TPoint pos);
  // Grid settings changed (the grid calls this).
  void GridChanged();
  void HiddenClassesChanged();

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 protected:
  void BeforeDestruction() override;

 private:
  void Activate();
  void Deactivate();
  void SetColorField(TColor& field, TColor value);
  void RegisterClipboardFormat();
  TZQKEngine* ActiveEngine() const;  // "Designer must be active"
  void ApplyState(const TZQKDesignCommand& command, bool undo);
  // Components a step made again: the engine learns of them, lock sets follow by name.
  void ReinsertRestored(const std::vector<TComponent*>& made,
                        const std::vector<std::pair<std::string, TZQKDesignerLockMode>>& locks);
  // The paste target: the container the last selected control offers, or the root.
  TWinControl* PasteTarget() const;
  bool CopyAllowed(bool cut) const;
  std::string ClipboardBytes() const;
  void PasteBytes(const std::string& bytes);
  // Moves a pasted control off the top-left corner of any sibling, by grid steps.
  void MoveToFreePosition(TControl* control, TTakenPositions& taken);
  void NudgeSelection(int dx, int dy, bool size);
  void SelectNeighbour(bool backward);
  void SelectNearest(int dx, int dy);
  // The top-level components of the selection, not the root.
  std::vector<TComponent*> SelectedComponentsOnly() const;
  void DeleteSelection(const std::string& caption);
  TZQKDesignerLockMode LockWithChildren(const TControl* control) const;

  TComponent* FDesignControl = nullptr;
  TZQKCustomDesignPanel* FDesignPanel = nullptr;
  TZQKEngine* FEngine = nullptr;
  TZQKDesignerGrid* FGrid;
  bool FSnapToGrid = true;
  TZQKDesignerHints FHints{dhComponent, dhSize, dhMove, dhInsert};
  TPopupMenu* FPopupMenu = nullptr;
  TColor FHandleColor = clBlack;
  TColor FHandleBorderColor = clBlack;
  TColor FMultiSelectHandleColor = TColor(8421504);
  TColor FMultiSelectHandleBorderColor = TColor(8421504);
  TColor FInactiveHandleColor = TColor(8421504);
  TColor FInactiveHandleBorderColor = clBlack;
  TColor FLockedHandleColor = TColor(255);
  std::string FClipboardFormat;
  uint32_t FClipboardFormatId = 0;
  bool FClipboardFormatRegistered = false;
  bool FComponentContextPopup = true;
  bool FShowNonvisualComponents = false;
  TImageList* FNonvisualComponentImages = nullptr;
  TZQKDesignerSelectedComponents FSelectedComponents{this};
  TZQKDesignerHiddenClasses FHiddenClasses{this};
  std::vector<TZQKDesignerNotifyClient*> FClients;
  std::map<const TControl*, TZQKDesignerLockMode> FLocks;
  std::map<std::string, TZQKDesignerLockMode> FRemovedLocks;
  int32_t FWheelAccumulator = 0;
  bool FActivating = false;
  std::unique_ptr<TZQKDesignHistory> FHistory;
  int FRecording = 0;
};

class TZQKDesigner : public TZQKCustomDesigner {
  RPT_CLASS(TZQKDesigner, TZQKCustomDesigner)
  TZQKDesigner() = default;
};

// ---------------------------------------------------------------------------
class TZQKDesignPanelForm;

class TZQKCustomDesignPanel : public TCustomControl {
  RPT_CLASS(TZQKCustomDesignPanel, TCustomControl)
  TZQKCustomDesignPanel();
  ~TZQKCustomDesignPanel() override;

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value);
  // Scrolling is the panel form's: these pass straight through to it.
  bool AutoScroll() const;
  void SetAutoScroll(bool value);
  TControlScrollBar* HorzScrollBar() const;
  void SetHorzScrollBar(TControlScrollBar* value);
  TControlScrollBar* VertScrollBar() const;
  void SetVertScrollBar(TControlScrollBar* value);
  TZQKDesignPanelForm* Form() const { return FForm; }
  TZQKEngine* Engine() const { return FEngine; }
  // While an engine uses the panel its form is parented into the panel's window.
  void AttachEngine(TZQKEngine* engine);
  void DetachEngine();
  void SetColor(TColor value) override;
  // The panel reports no popup menu of its own while it serves an engine.
  TPopupMenu* PopupMenu() const;
  void SetPopupMenu(TPopupMenu* value) { FPopupMenu = value; }

  void WndProc(TMessage& message) override;

 protected:
  void BoundsChanged() override;
  void Destroy() override;

 private:
  void FitForm();
  TBorderStyle FBorderStyle = bsSingle;
  TZQKDesignPanelForm* FForm = nullptr;
  TZQKEngine* FEngine = nullptr;
  TPopupMenu* FPopupMenu = nullptr;
};

class TZQKDesignPanel : public TZQKCustomDesignPanel {
  RPT_CLASS(TZQKDesignPanel, TZQKCustomDesignPanel)
  TZQKDesignPanel() = default;
};

// The borderless form that fills the panel; the root is placed into it.
class TZQKDesignPanelForm : public TCustomForm {
  RPT_CLASS(TZQKDesignPanelForm, TCustomForm)
  TZQKDesignPanelForm() = default;
  TZQKCustomDesignPanel* Panel() const { return FPanel; }

 private:
  friend class TZQKCustomDesignPanel;
  TZQKCustomDesignPanel* FPanel = nullptr;
};

}  // namespace rpt
