#include "designer/Designer.h"

#include <algorithm>
#include <cstdlib>

#include "designer/Engine.h"
#include "designer/History.h"
#include "framework/Peer.h"
#include "objects/Format.h"

namespace rpt {

namespace {
const char* const kMustBeActive = "Designer must be active";
const char* const kMustBeInactive = "Designer must be inactive";
}  // namespace

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKDesignerGrid, TPersistent)
  c.Property("Color", &TZQKDesignerGrid::Color, &TZQKDesignerGrid::SetColor).Default(clBlack);
  c.Property("Visible", &TZQKDesignerGrid::Visible, &TZQKDesignerGrid::SetVisible).Default(true);
  c.Property("XStep", &TZQKDesignerGrid::XStep, &TZQKDesignerGrid::SetXStep).Default(8);
  c.Property("YStep", &TZQKDesignerGrid::YStep, &TZQKDesignerGrid::SetYStep).Default(8);
RPT_END_CLASS

void TZQKDesignerGrid::SetXStep(int32_t value) {
  value = std::clamp(value, 2, 32);
  if (value == FXStep) return;
  FXStep = value;
  Changed();
}

void TZQKDesignerGrid::SetYStep(int32_t value) {
  value = std::clamp(value, 2, 32);
  if (value == FYStep) return;
  FYStep = value;
  Changed();
}

void TZQKDesignerGrid::SetVisible(bool value) {
  if (value == FVisible) return;
  FVisible = value;
  Changed();
}

void TZQKDesignerGrid::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();
}

void TZQKDesignerGrid::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TZQKDesignerGrid*>(source);
  if (!other) return TPersistent::AssignFrom(source);
  FVisible = other->FVisible;
  FXStep = other->FXStep;
  FYStep = other->FYStep;
  FColor = other->FColor;
  Changed();
}

void TZQKDesignerGrid::Changed() {
  if (FDesigner) FDesigner->GridChanged();
}

// ---------------------------------------------------------------------------
TZQKEngine* TZQKDesignerSelectedComponents::Engine() const {
  if (!FDesigner->Engine()) throw EZQKDesigner(kMustBeActive);
  return FDesigner->Engine();
}

int TZQKDesignerSelectedComponents::Count() const {
  TZQKEngine* e = FDesigner->Engine();
  return e ? e->Selection()->Count() : 0;
}

TComponent* TZQKDesignerSelectedComponents::Items(int index) const {
  TZQKEngine* e = FDesigner->Engine();
  if (!e || index < 0 || index >= e->Selection()->Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  return e->ComponentOf(e->Selection()->Controls(index));
}

TComponent* TZQKDesignerSelectedComponents::LastSelected() const {
  TZQKEngine* e = FDesigner->Engine();
  if (!e || e->Selection()->Count() == 0) return nullptr;
  return e->ComponentOf(e->Selection()->LastControl());
}

int TZQKDesignerSelectedComponents::Add(TComponent* component) {
  TZQKEngine* e = Engine();
  TControl* control = e->ControlOf(component);
  if (!control)
    throw EZQKDesigner(Format("Component \"%s\" has no visual representation", component ? component->Name() : ""));
  return e->Selection()->Add(control);
}

void TZQKDesignerSelectedComponents::GetComponents(std::vector<TComponent*>& list) const {
  list.clear();
  TZQKEngine* e = FDesigner->Engine();
  if (!e) return;
  for (int i = 0; i < e->Selection()->Count(); ++i) list.push_back(e->ComponentOf(e->Selection()->Controls(i)));
}

void TZQKDesignerSelectedComponents::RestrictToParent(TWinControl* parent) { Engine()->Selection()->RestrictToParent(parent); }
void TZQKDesignerSelectedComponents::Clear() { Engine()->Selection()->SelectOnly(nullptr); }
void TZQKDesignerSelectedComponents::UpdateHandles() { Engine()->Selection()->PlaceHandles(); }

// ---------------------------------------------------------------------------
void TZQKDesignerHiddenClasses::Add(TComponentClass cls) {
  FClasses.push_back(cls);
  Changed();
}

void TZQKDesignerHiddenClasses::Clear() {
  FClasses.clear();
  Changed();
}

int TZQKDesignerHiddenClasses::IndexOf(TComponentClass cls) const {
  auto it = std::find(FClasses.begin(), FClasses.end(), cls);
  return it == FClasses.end() ? -1 : static_cast<int>(it - FClasses.begin());
}

void TZQKDesignerHiddenClasses::EndUpdate() {
  if (FUpdateCount > 0) --FUpdateCount;
  if (FUpdateCount == 0 && FChangePending) {
    FChangePending = false;
    FDesigner->HiddenClassesChanged();
  }
}

void TZQKDesignerHiddenClasses::Changed() {
  if (FUpdateCount > 0) {
    FChangePending = true;
    return;
  }
  FDesigner->HiddenClassesChanged();
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKDsgComponent, TComponent)
RPT_END_CLASS

RPT_BEGIN_CLASS(TZQKCustomDesigner, TZQKDsgComponent)
RPT_END_CLASS

RPT_BEGIN_CLASS(TZQKDesigner, TZQKCustomDesigner)
  using D = TZQKDesigner;
  c.Property("ClipboardFormat", &D::ClipboardFormat, &D::SetClipboardFormat).Stored(&D::StoreClipboardFormat);
  c.Property("ComponentContextPopup", &D::ComponentContextPopup, &D::SetComponentContextPopup).Default(true);
  c.Property("DesignPanel", &D::DesignPanel, &D::SetDesignPanel);
  c.Property("Grid", &D::Grid, &D::SetGrid);
  c.Property("HandleBorderColor", &D::HandleBorderColor, &D::SetHandleBorderColor).Default(clBlack);
  c.Property("HandleColor", &D::HandleColor, &D::SetHandleColor).Default(clBlack);
  c.Property("Hints", &D::Hints, &D::SetHints).Default(TZQKDesignerHints{dhComponent, dhSize, dhMove, dhInsert});
  c.Property("InactiveHandleBorderColor", &D::InactiveHandleBorderColor, &D::SetInactiveHandleBorderColor)
      .Default(clBlack);
  c.Property("InactiveHandleColor", &D::InactiveHandleColor, &D::SetInactiveHandleColor).Default(TColor(8421504));
  c.Property("LockedHandleColor", &D::LockedHandleColor, &D::SetLockedHandleColor).Default(TColor(255));
  c.Property("MultiSelectHandleBorderColor", &D::MultiSelectHandleBorderColor, &D::SetMultiSelectHandleBorderColor)
      .Default(TColor(8421504));
  c.Property("MultiSelectHandleColor", &D::MultiSelectHandleColor, &D::SetMultiSelectHandleColor)
      .Default(TColor(8421504));
  c.Property("NonvisualComponentImages", &D::NonvisualComponentImages, &D::SetNonvisualComponentImages);
  c.Property("PopupMenu", &D::PopupMenu, &D::SetPopupMenu);
  c.Property("ShowNonvisualComponents", &D::ShowNonvisualComponents, &D::SetShowNonvisualComponents).Default(false);
  c.Property("SnapToGrid", &D::SnapToGrid, &D::SetSnapToGrid).Default(true);
  c.Property("OnChange", &D::OnChange, &D::OnChange);
  c.Property("OnChangeSelection", &D::OnChangeSelection, &D::OnChangeSelection);
  c.Property("OnClick", &D::OnClick, &D::OnClick);
  c.Property("OnComponentHint", &D::OnComponentHint, &D::OnComponentHint);
  c.Property("OnComponentInserted", &D::OnComponentInserted, &D::OnComponentInserted);
  c.Property("OnComponentInserting", &D::OnComponentInserting, &D::OnComponentInserting);
  c.Property("OnContextPopup", &D::OnContextPopup, &D::OnContextPopup);
  c.Property("OnDblClick", &D::OnDblClick, &D::OnDblClick);
  c.Property("OnDesignFormClose", &D::OnDesignFormClose, &D::OnDesignFormClose);
  c.Property("OnDragDrop", &D::OnDragDrop, &D::OnDragDrop);
  c.Property("OnDragOver", &D::OnDragOver, &D::OnDragOver);
  c.Property("OnGetImageIndex", &D::OnGetImageIndex, &D::OnGetImageIndex);
  c.Property("OnGetUniqueName", &D::OnGetUniqueName, &D::OnGetUniqueName);
  c.Property("OnKeyDown", &D::OnKeyDown, &D::OnKeyDown);
  c.Property("OnKeyPress", &D::OnKeyPress, &D::OnKeyPress);
  c.Property("OnKeyUp", &D::OnKeyUp, &D::OnKeyUp);
  c.Property("OnMouseDown", &D::OnMouseDown, &D::OnMouseDown);
  c.Property("OnMouseMove", &D::OnMouseMove, &D::OnMouseMove);
  c.Property("OnMouseUp", &D::OnMouseUp, &D::OnMouseUp);
  c.Property("OnMouseWheel", &D::OnMouseWheel, &D::OnMouseWheel);
  c.Property("OnMouseWheelDown", &D::OnMouseWheelDown, &D::OnMouseWheelDown);
  c.Property("OnMouseWheelUp", &D::OnMouseWheelUp, &D::OnMouseWheelUp);
  c.Property("OnNotification", &D::OnNotification, &D::OnNotification);
  c.Property("OnReadCreateComponent", &D::OnReadCreateComponent, &D::OnReadCreateComponent);
  c.Property("OnReadError", &D::OnReadError, &D::OnReadError);
  c.Property("OnReadFindComponentClass", &D::OnReadFindComponentClass, &D::OnReadFindComponentClass);
  c.Property("OnReadFindMethod", &D::OnReadFindMethod, &D::OnReadFindMethod);
  c.Property("OnReadReferenceName", &D::OnReadReferenceName, &D::OnReadReferenceName);
  c.Property("OnReadSetName", &D::OnReadSetName, &D::OnReadSetName);
  c.Property("OnShowNonvisualComponent", &D::OnShowNonvisualComponent, &D::OnShowNonvisualComponent);
  c.Property("OnValidateName", &D::OnValidateName, &D::OnValidateName);
RPT_END_CLASS

const std::string& TZQKCustomDesigner::DefaultClipboardFormat() {
  static const std::string format = "ZQK Designer Components";
  return format;
}

TZQKCustomDesigner::TZQKCustomDesigner()
    : FGrid(new TZQKDesignerGrid(this)), FHistory(std::make_unique<TZQKDesignHistory>()) {
  FClipboardFormat = DefaultClipboardFormat();
  RegisterClipboardFormat();
}

TZQKCustomDesigner::~TZQKCustomDesigner() { FGrid->Free(); }

void TZQKCustomDesigner::BeforeDestruction() {
  // Deactivate first, then let go of the image list.
  if (FEngine) Deactivate();
  SetNonvisualComponentImages(nullptr);
  TZQKDsgComponent::BeforeDestruction();
}

void TZQKCustomDesigner::RegisterClipboardFormat() {
  FClipboardFormatId = RegisterWindowMessage("clipboard:" + FClipboardFormat);
  FClipboardFormatRegistered = true;
}

void TZQKCustomDesigner::SetClipboardFormat(const std::string& value) {
  if (value == FClipboardFormat) return;
  FClipboardFormat = value;
  RegisterClipboardFormat();
}

void TZQKCustomDesigner::SetDesignControl(TComponent* value) {
  if (FEngine) throw EZQKDesigner(kMustBeInactive);
  if (value == FDesignControl) return;
  if (FDesignControl) UnwatchComponent(FDesignControl);
  FDesignControl = value;
  if (value) WatchComponent(value);
  // Steps name components of one root: a new root starts a new history, clean.
  FHistory->Clear(true);
  FRemovedLocks.clear();
}

void TZQKCustomDesigner::SetDesignPanel(TZQKCustomDesignPanel* value) {
  if (FEngine) throw EZQKDesigner(kMustBeInactive);
  if (value == FDesignPanel) return;
  if (FDesignPanel) UnwatchComponent(FDesignPanel);
  FDesignPanel = value;
  if (value) WatchComponent(value);
}

void TZQKCustomDesigner::SetPopupMenu(TPopupMenu* value) {
  if (value == FPopupMenu) return;
  if (FPopupMenu) UnwatchComponent(FPopupMenu);
  FPopupMenu = value;
  if (value) WatchComponent(value);
}

void TZQKCustomDesigner::SetNonvisualComponentImages(TImageList* value) {
  if (value == FNonvisualComponentImages) return;
  if (FNonvisualComponentImages) UnwatchComponent(FNonvisualComponentImages);
  if (FEngine) FEngine->SetImages(value);
  FNonvisualComponentImages = value;
  if (value) WatchComponent(value);
}

void TZQKCustomDesigner::SetShowNonvisualComponents(bool value) {
  if (value == FShowNonvisualComponents) return;
  if (FEngine) {
    if (value)
      FEngine->RebuildProxies();
    else
      FEngine->RemoveProxies();
  }
  FShowNonvisualComponents = value;
}

void TZQKCustomDesigner::SetColorField(TColor& field, TColor value) {
  field = value;
  if (FEngine) FEngine->HandlesChanged();
}

void TZQKCustomDesigner::RemoveNotifyClient(TZQKDesignerNotifyClient* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

TZQKDesignerLockMode TZQKCustomDesigner::LockModeOf(const TControl* control) const {
  auto it = FLocks.find(control);
  return it == FLocks.end() ? TZQKDesignerLockMode{} : it->second;
}

void TZQKCustomDesigner::SetLockModeOf(const TControl* control, TZQKDesignerLockMode mode) {
  if (mode.Empty()) {
    FLocks.erase(control);
  } else {
    FLocks[control] = mode;
    // Its entry goes with the control, before another one can take its address.
    WatchComponent(const_cast<TControl*>(control));
  }
}

void TZQKCustomDesigner::SetActive(bool value) {
  if (value == Active()) return;
  if (value)
    Activate();
  else
    Deactivate();
}

void TZQKCustomDesigner::Activate() {
  struct TFlag {
    bool& f;
    explicit TFlag(bool& flag) : f(flag) { f = true; }
    ~TFlag() { f = false; }
  } activating(FActivating);
  if (!FDesignControl) throw EZQKDesigner("Design control not specified");
  if (!dynamic_cast<TCustomForm*>(FDesignControl)) {
    auto* control = dynamic_cast<TControl*>(FDesignControl);
    if (!control) throw EZQKDesigner("Design control not specified");
    if (control->Parent()) throw EZQKDesigner("Design control parent must be nil");
    if (!FDesignPanel) throw EZQKDesigner("Design panel not specified");
    if (FDesignPanel->Engine())
      throw EZQKDesigner(Format("Design panel \"%s\" is used by another designer", FDesignPanel->Name()));
  }
  TOwnedPtr<TZQKEngine> engine(TComponent::Create<TZQKEngine>(nullptr));
  engine->Start(this, FNonvisualComponentImages, FShowNonvisualComponents, FDesignPanel, FDesignControl);
  FEngine = engine.release();
  FEngine->Selection()->Add(static_cast<TControl*>(FDesignControl));
  for (auto* client : FClients) client->ActiveChanged(this);
  if (FEngine->Selection()->HandlesActive())
    for (auto* client : FClients) client->FocusGained(this);
}

void TZQKCustomDesigner::Deactivate() {
  TZQKEngine* engine = FEngine;
  {
    struct TFlag {
      bool& f;
      explicit TFlag(bool& flag) : f(flag) { f = true; }
      ~TFlag() { f = false; }
    } activating(FActivating);
    engine->Stop();
    FEngine = nullptr;
    engine->Free();
  }
  for (auto* client : FClients) client->ActiveChanged(this);
}

void TZQKCustomDesigner::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TZQKDsgComponent::ComponentNotification(component, operation);
  if (operation != coRemove) return;
  if (component == FDesignPanel) {
    if (!FActivating && FEngine && FDesignPanel->Engine() == FEngine) Deactivate();
    FDesignPanel = nullptr;
  }
  if (component == FDesignControl) {
    if (!FActivating && FEngine) Deactivate();
    FDesignControl = nullptr;
    FHistory->Clear(true);
  FRemovedLocks.clear();
  }
  if (component == FPopupMenu) FPopupMenu = nullptr;
  if (component == FNonvisualComponentImages) {
    if (FEngine) FEngine->SetImages(nullptr);
    FNonvisualComponentImages = nullptr;
  }
  if (auto* control = dynamic_cast<TControl*>(component)) {
    // A locked control that goes may come back through the history, lock and all.
    auto lock = FLocks.find(control);
    if (lock != FLocks.end() && FDesignControl && control->Owner() == FDesignControl)
      FRemovedLocks[control->Name()] = lock->second;
    else
      FRemovedLocks.erase(control->Name());
    FLocks.erase(control);
  }
}

void TZQKCustomDesigner::Select(const std::vector<TComponent*>& list) {
  if (!FEngine) throw EZQKDesigner(kMustBeActive);
  std::vector<TControl*> controls;
  for (TComponent* component : list) {
    TControl* control = FEngine->ControlOf(component);
    if (!control)
      throw EZQKDesigner(Format("Component \"%s\" has no visual representation", component->Name()));
    if (!FEngine->CanSelect(control))
      throw EZQKDesigner(Format("Component \"%s\" can not be selected", component->Name()));
    controls.push_back(control);
  }
  FEngine->Selection()->SelectExactly(controls);
}

void TZQKCustomDesigner::LockComponent(TComponent* component, TZQKDesignerLockMode mode) {
  if (!FEngine) throw EZQKDesigner(kMustBeActive);
  TControl* control = FEngine->ControlOf(component);
  if (!control)
    throw EZQKDesigner(Format("Component \"%s\" has no visual representation", component ? component->Name() : ""));
  if (control == FEngine->Root() || !FEngine->CanSelect(control)) return;
  SetLockModeOf(control, mode);
  FEngine->Selection()->PlaceHandles();
}

void TZQKCustomDesigner::LockAll(TZQKDesignerLockMode mode) {
  if (!FEngine) throw EZQKDesigner(kMustBeActive);
  const std::vector<TComponent*> owned = FEngine->Root()->OwnedComponents();
  for (TComponent* component : owned)
    if (FEngine->ControlOf(component)) LockComponent(component, mode);
}

void TZQKCustomDesigner::GridChanged() {
  if (FEngine) FEngine->GridChanged();
}

void TZQKCustomDesigner::HiddenClassesChanged() {
  if (FEngine && FShowNonvisualComponents) FEngine->RebuildProxies();
}

bool TZQKCustomDesigner::MouseWheel(TShiftState shift, int32_t delta, TPoint pos) {
  bool handled = DoMouseWheel(shift, delta, pos);
  if (handled) return true;
  FWheelAccumulator += delta;
  while (std::abs(FWheelAccumulator) >= 120) {
    if (FWheelAccumulator < 0) {
      FWheelAccumulator += 120;
      handled = DoMouseWheelDown(shift, pos);
    } else {
      FWheelAccumulator -= 120;
      handled = DoMouseWheelUp(shift, pos);
    }
  }
  return handled;
}

// Dispatchers.
void TZQKCustomDesigner::DoChange() {
  for (auto* client : FClients) client->DesignerChanged(this);
  if (OnChange) OnChange(this);
}
void TZQKCustomDesigner::DoValidateName(const std::string& name, bool& isValid) {
  if (OnValidateName) OnValidateName(this, name, isValid);
}
void TZQKCustomDesigner::DoGetUniqueName(const std::string& baseName, std::string& uniqueName) {
  if (OnGetUniqueName) OnGetUniqueName(this, baseName, uniqueName);
}
void TZQKCustomDesigner::DoChangeSelection() {
  for (auto* client : FClients) client->SelectionChanged(this);
  if (OnChangeSelection) OnChangeSelection(this);
}
void TZQKCustomDesigner::DoComponentInserting(TComponentClass& cls) {
  if (OnComponentInserting) OnComponentInserting(this, cls);
}
void TZQKCustomDesigner::DoComponentInserted() {
  if (OnComponentInserted) OnComponentInserted(this);
}
void TZQKCustomDesigner::DoNotification(TPersistent* object, TComponentOperation operation) {
  for (auto* client : FClients) client->ComponentNotification(this, object, operation);
  if (OnNotification) OnNotification(this, object, operation);
}
void TZQKCustomDesigner::DoFocusGained() {
  for (auto* client : FClients) client->FocusGained(this);
}
void TZQKCustomDesigner::DoComponentHint(TComponent* component, std::string& hint) {
  if (OnComponentHint) OnComponentHint(this, component, hint);
}
void TZQKCustomDesigner::DoReadError(TReader* reader, const std::string& message, bool& handled) {
  if (OnReadError) OnReadError(this, reader, message, handled);
}
void TZQKCustomDesigner::DoReadFindMethod(TReader* reader, const std::string& name, void*& address, bool& error) {
  if (OnReadFindMethod) OnReadFindMethod(this, reader, name, address, error);
}
void TZQKCustomDesigner::DoReadSetName(TReader* reader, TComponent* component, std::string& name) {
  if (OnReadSetName) OnReadSetName(this, reader, component, name);
}
void TZQKCustomDesigner::DoReadReferenceName(TReader* reader, std::string& name) {
  if (OnReadReferenceName) OnReadReferenceName(this, reader, name);
}
void TZQKCustomDesigner::DoReadCreateComponent(TReader* reader, TComponentClass cls, TComponent*& component) {
  if (OnReadCreateComponent) OnReadCreateComponent(this, reader, cls, component);
}
void TZQKCustomDesigner::DoReadFindComponentClass(TReader* reader, const std::string& className, TComponentClass& cls) {
  if (OnReadFindComponentClass) OnReadFindComponentClass(this, reader, className, cls);
}
void TZQKCustomDesigner::DoDesignFormClose(TCloseAction& action) {
  if (OnDesignFormClose) OnDesignFormClose(this, action);
}
void TZQKCustomDesigner::DoKeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TZQKCustomDesigner::DoKeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TZQKCustomDesigner::DoKeyUp(uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TZQKCustomDesigner::DoDblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TZQKCustomDesigner::DoClick() {
  if (OnClick) OnClick(this);
}
void TZQKCustomDesigner::DoGetImageIndex(TComponentClass cls, int32_t& index) {
  if (OnGetImageIndex) OnGetImageIndex(this, cls, index);
}
void TZQKCustomDesigner::DoShowNonvisualComponent(TComponent* component, bool& show) {
  if (OnShowNonvisualComponent) OnShowNonvisualComponent(this, component, show);
}
TPopupMenu* TZQKCustomDesigner::DoGetPopupMenu() { return FPopupMenu; }
void TZQKCustomDesigner::DoContextPopup(TPoint pos, bool& handled) {
  if (OnContextPopup) OnContextPopup(this, pos, handled);
}
void TZQKCustomDesigner::DoMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TZQKCustomDesigner::DoMouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TZQKCustomDesigner::DoMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
bool TZQKCustomDesigner::DoMouseWheel(TShiftState shift, int32_t delta, TPoint pos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, delta, pos, handled);
  return handled;
}
bool TZQKCustomDesigner::DoMouseWheelDown(TShiftState shift, TPoint pos) {
  bool handled = false;
  if (OnMouseWheelDown) OnMouseWheelDown(this, shift, pos, handled);
  return handled;
}
bool TZQKCustomDesigner::DoMouseWheelUp(TShiftState shift, TPoint pos) {
  bool handled = false;
  if (OnMouseWheelUp) OnMouseWheelUp(this, shift, pos, handled);
  return handled;
}
void TZQKCustomDesigner::DoDragOver(TObject* source, int32_t x, int32_t y, TDragState state, bool& accept) {
  if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}
void TZQKCustomDesigner::DoDragDrop(TObject* source, int32_t x, int32_t y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKCustomDesignPanel, TCustomControl)
RPT_END_CLASS

RPT_BEGIN_CLASS(TZQKDesignPanel, TZQKCustomDesignPanel)
  using P = TZQKDesignPanel;
  c.Property("AutoScroll", &P::AutoScroll, &P::SetAutoScroll).Default(true);
  c.Property("BorderStyle", &P::BorderStyle, &P::SetBorderStyle).Default(bsSingle);
  c.Property("Color", &P::Color, &P::SetColor);
  c.Property("HorzScrollBar", &P::HorzScrollBar, &P::SetHorzScrollBar);
  c.Property("TabStop", &P::TabStop, &P::SetTabStop).Default(true);
  c.Property("VertScrollBar", &P::VertScrollBar, &P::SetVertScrollBar);
  c.Property("OnClick", &P::OnClick, &P::OnClick);
  c.Property("OnContextPopup", &P::OnContextPopup, &P::OnContextPopup);
  c.Property("OnDblClick", &P::OnDblClick, &P::OnDblClick);
  c.Property("OnKeyDown", &P::OnKeyDown, &P::OnKeyDown);
  c.Property("OnKeyPress", &P::OnKeyPress, &P::OnKeyPress);
  c.Property("OnKeyUp", &P::OnKeyUp, &P::OnKeyUp);
  c.Property("OnMouseDown", &P::OnMouseDown, &P::OnMouseDown);
  c.Property("OnMouseMove", &P::OnMouseMove, &P::OnMouseMove);
  c.Property("OnMouseUp", &P::OnMouseUp, &P::OnMouseUp);
  c.Property("OnMouseWheel", &P::OnMouseWheel, &P::OnMouseWheel);
  c.Property("OnResize", &P::OnResize, &P::OnResize);
RPT_END_CLASS

RPT_BEGIN_CLASS(TZQKDesignPanelForm, TCustomForm)
RPT_END_CLASS

TZQKCustomDesignPanel::TZQKCustomDesignPanel() {
  SetTabStop(true);
  SetBounds(0, 0, 185, 41);
  FForm = TComponent::Create<TZQKDesignPanelForm>(nullptr);
  FForm->FPanel = this;
  FForm->SetVisible(true);
  FForm->SetColor(Color());
  FForm->SetAutoScroll(true);
  FitForm();
}

// The form may already be gone at the very end of the panel's destruction.
bool TZQKCustomDesignPanel::AutoScroll() const { return FForm && FForm->AutoScroll(); }
void TZQKCustomDesignPanel::SetAutoScroll(bool value) {
  if (FForm) FForm->SetAutoScroll(value);
}
TControlScrollBar* TZQKCustomDesignPanel::HorzScrollBar() const { return FForm ? FForm->HorzScrollBar() : nullptr; }
void TZQKCustomDesignPanel::SetHorzScrollBar(TControlScrollBar* value) {
  if (FForm) FForm->SetHorzScrollBar(value);
}
TControlScrollBar* TZQKCustomDesignPanel::VertScrollBar() const { return FForm ? FForm->VertScrollBar() : nullptr; }
void TZQKCustomDesignPanel::SetVertScrollBar(TControlScrollBar* value) {
  if (FForm) FForm->SetVertScrollBar(value);
}

TZQKCustomDesignPanel::~TZQKCustomDesignPanel() = default;

void TZQKCustomDesignPanel::Destroy() {
  TCustomControl::Destroy();
  // The form goes at the very end, after the designer heard of the panel's end.
  if (FForm) {
    FForm->SetParentWindow(nullptr);
    FForm->Free();
    FForm = nullptr;
  }
}

void TZQKCustomDesignPanel::SetBorderStyle(TBorderStyle value) {
  if (value == FBorderStyle) return;
  FBorderStyle = value;
  FitForm();
  Invalidate();
}

void TZQKCustomDesignPanel::SetColor(TColor value) {
  TCustomControl::SetColor(value);
  if (FForm) FForm->SetColor(value);
}

TPopupMenu* TZQKCustomDesignPanel::PopupMenu() const { return FEngine ? nullptr : FPopupMenu; }

void TZQKCustomDesignPanel::FitForm() {
  if (!FForm) return;
  const int32_t border = FBorderStyle == bsSingle ? 1 : 0;
  FForm->SetBounds(border, border, std::max(0, Width() - 2 * border), std::max(0, Height() - 2 * border));
}

void TZQKCustomDesignPanel::BoundsChanged() {
  TCustomControl::BoundsChanged();
  FitForm();
}

void TZQKCustomDesignPanel::AttachEngine(TZQKEngine* engine) {
  FEngine = engine;
  FitForm();
  FForm->SetParentWindow(this);
  if (QWidget* w = PeerWidget(FForm)) w->show();
}

void TZQKCustomDesignPanel::DetachEngine() {
  FEngine = nullptr;
  if (FForm) FForm->SetParentWindow(nullptr);
}

void TZQKCustomDesignPanel::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
      if (TabStop() && CanFocus(this)) SetFocus(this);
      break;
    case WM_RBUTTONDOWN:
      if (CanFocus(this)) SetFocus(this);
      break;
    case WM_SETFOCUS:
      // The focus belongs to the form inside while an engine works on it.
      if (FEngine && FForm) SetFocus(FForm);
      break;
    case WM_PAINT:
      TCustomControl::WndProc(m);
      if (FBorderStyle == bsSingle && m.Canvas) {
        m.Canvas->Brush()->SetColor(clBtnShadow);
        m.Canvas->FrameRect({0, 0, Width(), Height()});
      }
      return;
    default:
      break;
  }
  TCustomControl::WndProc(m);
}

}  // namespace rpt
