#include "objects/Component.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <typeindex>

#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

bool IsValidIdent(std::string_view name) {
  if (name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

RPT_BEGIN_CLASS(TComponent, TPersistent)
  c.Property("Name", &TComponent::Name, &TComponent::SetName).Stored(false).Type(ComponentNameTypeInfo());
  c.Property("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0);
RPT_END_CLASS

TComponent::~TComponent() {
  // Reached without Free(): run the clean-up that Destroy() would have done.
  if (!FDestroyed) {
    Destroying();
    TComponent::Destroy();
  }
}

void TComponent::SetName(const std::string& name) {
  if (FName == name) return;
  // Under design the designer checks first; its texts are the ones the user sees.
  if (HasState(sfDesigning))
    if (TWindowLayer* layer = WindowLayer()) layer->CheckRename(this, FName, name);
  if (!name.empty() && !IsValidIdent(name))
    throw EComponentError(Format("''%s'' is not a valid component name", name));
  if (FOwner)
    FOwner->ValidateRename(this, FName, name);
  else
    ValidateRename(nullptr, FName, name);
  BindField(false);
  if (FOwner) FOwner->IndexName(this, false);
  const std::string oldName = std::move(FName);
  FName = name;
  if (FOwner) FOwner->IndexName(this, true);
  BindField(true);
  Renamed(oldName);
}

void TComponent::ValidateRename(TComponent* component, const std::string& curName, const std::string& newName) {
  if (component && !SameText(curName, newName) && component->FOwner == this && FindComponent(newName))
    throw EComponentError(Format("A component named %s already exists", newName));
  if (HasState(sfDesigning) && FOwner) FOwner->ValidateRename(component, curName, newName);
}

void TComponent::ValidateContainer(TComponent*) {}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return FComponents[static_cast<size_t>(index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetComponentIndex(int index) {
  if (!FOwner) return;
  auto& list = FOwner->FComponents;
  const int from = ComponentIndex();
  index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
  if (from < 0 || from == index) return;
  list.erase(list.begin() + from);
  list.insert(list.begin() + index, this);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty() || FNameIndex.empty()) return nullptr;
  auto it = FNameIndex.find(LowerAscii(name));
  return it == FNameIndex.end() ? nullptr : it->second;
}

void TComponent::IndexName(TComponent* component, bool add) {
  if (component->FName.empty()) return;
  const std::string key = LowerAscii(component->FName);
  if (add) {
    FNameIndex.emplace(key, component);
  } else if (auto it = FNameIndex.find(key); it != FNameIndex.end() && it->second == component) {
    FNameIndex.erase(it);
  }
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component) return;
  for (const TComponent* o = this; o; o = o->FOwner)
    if (o == component) throw EComponentError("A component cannot own itself");
  component->ValidateContainer(this);
  // Checked as if the component were already ours, so a taken name is refused.
  if (TComponent* same = FindComponent(component->FName); same && same != component)
    throw EComponentError(Format("A component named %s already exists", component->FName));
  ValidateRename(component, std::string(), component->FName);
  // Owned by one component at a time: leave the previous owner first.
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  Adopt(component);
  IndexName(component, true);
  component->BindField(true);
  if (HasState(sfDesigning)) component->SetDesigning(true);
  ComponentNotification(component, coInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->FOwner != this) return;
  ComponentNotification(component, coRemove);
  component->BindField(false);
  IndexName(component, false);
  // Searched from the end: components are mostly removed last-first.
  auto it = std::find(FComponents.rbegin(), FComponents.rend(), component);
  if (it != FComponents.rend()) FComponents.erase(std::next(it).base());
  Release(component);
}

void TComponent::Adopt(TComponent* component) {
  FComponents.push_back(component);
  component->FOwner = this;
  const TClassDescriptor& cls = component->ClassType();
  component->FOverridesNotification =
      cls.OverridesNotification() || std::type_index(typeid(*component)) != cls.CppType();
  component->FQuiet = component->ComputeQuiet();
  if (!component->FQuiet) ++FLoudChildren;
  RefreshQuiet();
}

void TComponent::Release(TComponent* component) {
  if (!component->FQuiet) --FLoudChildren;
  component->FOwner = nullptr;
  RefreshQuiet();
}

void TComponent::RefreshQuiet() {
  const bool quiet = ComputeQuiet();
  if (quiet == FQuiet) return;
  FQuiet = quiet;
  if (FOwner) FOwner->FLoudChildren += quiet ? -1 : 1;
}

void TComponent::BindField(bool bind) {
  if (!FOwner || FName.empty()) return;
  const TFieldEntry* field = FOwner->ClassType().FindField(FName);
  if (!field) return;
  if (bind) {
    if (InheritsFrom(*field->FieldClass)) field->Set(FOwner, this);
  } else if (field->Get(FOwner) == this) {
    field->Set(FOwner, nullptr);
  }
}

void TComponent::SetDesigning(bool value) {
  value ? SetState(sfDesigning) : ClearState(sfDesigning);
  for (TComponent* c : FComponents) c->SetDesigning(value);
}

void TComponent::SetInline(bool value) { value ? SetState(sfInline) : ClearState(sfInline); }

void TComponent::ComponentNotification(TComponent* component, TComponentOperation operation) {
  if (operation == coRemove && component) UnwatchComponent(component);
  // Quiet children would do nothing: skipping them keeps loading a large flat report
  // linear instead of quadratic.
  if (FLoudChildren == 0) return;
  int i = ComponentCount() - 1;
  while (i >= 0) {
    TComponent* child = FComponents[static_cast<size_t>(i)];
    if (!child->FQuiet) child->ComponentNotification(component, operation);
    --i;
    // A handler may have destroyed siblings: go on from the new end of the list.
    if (i >= ComponentCount()) i = ComponentCount() - 1;
  }
}

void TComponent::AddWatch(TComponent* other) {
  if (std::find(FWatchLinks.begin(), FWatchLinks.end(), other) == FWatchLinks.end()) {
    FWatchLinks.push_back(other);
    RefreshQuiet();
  }
}

void TComponent::DropWatch(TComponent* other) {
  auto it = std::find(FWatchLinks.begin(), FWatchLinks.end(), other);
  if (it != FWatchLinks.end()) {
    FWatchLinks.erase(it);
    RefreshQuiet();
  }
}

void TComponent::WatchComponent(TComponent* other) {
  if (!other || other == this) return;
  if (!FOwner || FOwner != other->FOwner) {
    AddWatch(other);
    other->AddWatch(this);
  }
  SetState(sfFreeNotified);
}

void TComponent::UnwatchComponent(TComponent* other) {
  if (!other) return;
  DropWatch(other);
  other->DropWatch(this);
}

bool TComponent::IsWatching(const TComponent* other) const {
  return std::find(FWatchLinks.begin(), FWatchLinks.end(), other) != FWatchLinks.end();
}

void TComponent::BeforeDestruction() {
  if (!HasState(sfDestroying)) Destroying();
}

void TComponent::Destroying() {
  SetState(sfDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::NotifyWatchers() {
  while (!FWatchLinks.empty()) {
    TComponent* watcher = FWatchLinks.back();
    // Dropped before the call, so a handler that does not call the inherited one
    // cannot make this loop forever.
    FWatchLinks.pop_back();
    RefreshQuiet();
    watcher->DropWatch(this);
    watcher->ComponentNotification(this, coRemove);
  }
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    if (c->HasState(sfFreeNotified) || (HasState(sfDesigning) && HasState(sfInline))) {
      RemoveComponent(c);
    } else {
      c->BindField(false);
      IndexName(c, false);
      FComponents.pop_back();
      Release(c);
    }
    c->Free();
  }
}

void TComponent::Destroy() {
  if (FDestroyed) return;
  FDestroyed = true;
  if (FHasGlobalReferences) DropGlobalReferences(this);
  // A top-level component that goes must not stay findable by its name.
  RemoveTopLevelComponent(this);
  NotifyWatchers();
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::EnumerateChildren(const TGetChildProc&, TComponent*) {}

void TComponent::AttachToParent(TComponent*) {}

void TComponent::SetChildPosition(TComponent*, int) {}

void TComponent::AfterLoad() { ClearState(sfLoading); }

void TComponent::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineCustomProperty(
      "Left", [this](TReader& r) { FDesignLeft = r.ReadInteger(); },
      [this](TWriter& w) { w.WriteInteger(FDesignLeft); }, FDesignLeft != 0);
  filer.DefineCustomProperty(
      "Top", [this](TReader& r) { FDesignTop = r.ReadInteger(); },
      [this](TWriter& w) { w.WriteInteger(FDesignTop); }, FDesignTop != 0);
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TControl, TComponent)
  c.Property("Left", &TControl::Left, &TControl::SetLeft);
  c.Property("Top", &TControl::Top, &TControl::SetTop);
  c.Property("Width", &TControl::Width, &TControl::SetWidth);
  c.Property("Height", &TControl::Height, &TControl::SetHeight);
  c.Property("Cursor", &TControl::Cursor, &TControl::SetCursor).Default(crDefault);
  c.Property("Hint", &TControl::Hint, &TControl::SetHint);
  c.Property("HelpType", &TControl::FHelpType, &TControl::FHelpType).Default(htContext);
  c.Property("HelpKeyword", &TControl::FHelpKeyword, &TControl::FHelpKeyword);
  c.Property("HelpContext", &TControl::FHelpContext, &TControl::FHelpContext).Default(0);
RPT_END_CLASS

TControl::~TControl() {
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (FParent == parent) return;
  for (const TControl* p = parent; p; p = p->FParent)
    if (p == this) throw EComponentError("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (parent) parent->InsertControl(this);
  ParentChanged();
  if (FPeer || (parent && parent->FPeer))
    if (TWindowLayer* layer = WindowLayer()) layer->ControlChanged(this, ccParent);
}

void TControl::NotifyWindowLayer(TControlChange change) {
  if (FPeer)
    if (TWindowLayer* layer = WindowLayer()) layer->ControlChanged(this, change);
}

namespace {
std::atomic<TWindowLayer*> gWindowLayer{nullptr};
}  // namespace

void SetWindowLayer(TWindowLayer* layer) { gWindowLayer = layer; }
TWindowLayer* WindowLayer() { return gWindowLayer; }

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  FLeft = left, FTop = top, FWidth = width, FHeight = height;
  BoundsChanged();
  NotifyWindowLayer(ccBounds);
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::AttachToParent(TComponent* parent) {
  if (auto* w = dynamic_cast<TWinControl*>(parent)) SetParent(w);
}

void TControl::DefineProperties(TFiler& filer) {
  // Controls keep their position in Left and Top; only the is-control flag is custom.
  TPersistent::DefineProperties(filer);
  filer.DefineCustomProperty(
      "IsControl", [this](TReader& r) { FIsControl = r.ReadBoolean(); },
      [this](TWriter& w) { w.WriteBoolean(FIsControl); }, FIsControl);
}

void TControl::Destroy() {
  NotifyWindowLayer(ccDestroying);
  SetParent(nullptr);
  TComponent::Destroy();
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TWinControl, TControl)
RPT_END_CLASS

TWinControl::~TWinControl() {
  // Reached through a plain delete: children still go with their parent window.
  if (Destroyed()) return;
  Destroying();
  while (!FControls.empty()) {
    TControl* child = FControls.back();
    RemoveControl(child);
    child->Free();
  }
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
  return FControls[static_cast<size_t>(index)];
}

int TWinControl::ControlIndex(const TControl* control) const {
  auto it = std::find(FControls.begin(), FControls.end(), control);
  return it == FControls.end() ? -1 : static_cast<int>(it - FControls.begin());
}

void TWinControl::InsertControl(TControl* control) {
  FControls.push_back(control);
  control->FParent = this;
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(FControls.begin(), FControls.end(), control);
  if (it != FControls.end()) FControls.erase(it);
  control->FParent = nullptr;
}

void TWinControl::EnumerateChildren(const TGetChildProc& proc, TComponent* root) {
  // A copy: a writer's callback must not see the list change under it.
  const std::vector<TControl*> children = FControls;
  for (TControl* child : children)
    if (child->Owner() == root) proc(child);
}

void TWinControl::SetChildPosition(TComponent* child, int position) {
  const int from = ControlIndex(static_cast<TControl*>(child));
  if (from < 0) return;
  TControl* control = FControls[static_cast<size_t>(from)];
  FControls.erase(FControls.begin() + from);
  position = std::clamp(position, 0, ControlCount());
  FControls.insert(FControls.begin() + position, control);
  ChildOrderChanged();
  NotifyWindowLayer(ccChildOrder);
}

void TWinControl::DefineProperties(TFiler& filer) {
  TControl::DefineProperties(filer);
  const bool needsDesignSize = std::any_of(FControls.begin(), FControls.end(), [](const TControl* c) {
    return c->Align() == alNone && c->Anchors() != TAnchors{akLeft, akTop};
  });
  filer.DefineCustomProperty(
      "DesignSize",
      [](TReader& r) {
        // The size the anchors were designed against; nothing here lays out by it.
        r.ReadListBegin();
        r.ReadInteger();
        r.ReadInteger();
        r.ReadListEnd();
      },
      [this](TWriter& w) {
        w.WriteListBegin();
        w.WriteInteger(ClientWidth());
        w.WriteInteger(ClientHeight());
        w.WriteListEnd();
      },
      needsDesignSize);
}

void TWinControl::Destroy() {
  // Children go with their parent window, whoever owns them.
  while (!FControls.empty()) {
    TControl* child = FControls.back();
    RemoveControl(child);
    child->Free();
  }
  TControl::Destroy();
}

// ---------------------------------------------------------------------------

namespace {
std::mutex& TopLevelLock() {
  static std::mutex m;
  return m;
}
std::vector<TComponent*>& TopLevel() {
  static auto* list = new std::vector<TComponent*>;
  return *list;
}
}  // namespace

void AddTopLevelComponent(TComponent* component) {
  {
    std::lock_guard lock(TopLevelLock());
    auto& list = TopLevel();
    if (std::find(list.begin(), list.end(), component) != list.end()) return;
    list.push_back(component);
  }
  ResolveGlobalReferences();
}

void RemoveTopLevelComponent(TComponent* component) {
  std::lock_guard lock(TopLevelLock());
  auto& list = TopLevel();
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

TComponent* FindGlobalComponent(std::string_view name) {
  if (name.empty()) return nullptr;
  std::lock_guard lock(TopLevelLock());
  for (TComponent* c : TopLevel())
    if (SameText(c->Name(), name)) return c;
  return nullptr;
}

}  // namespace rpt
