#include "designer/History.h"

#include <algorithm>
#include <unordered_set>

#include "objects/Exceptions.h"
#include "objects/Filer.h"

namespace rpt {

namespace {

bool HasAncestorIn(const TComponent* component, const std::unordered_set<const TComponent*>& set) {
  const auto* control = dynamic_cast<const TControl*>(component);
  for (const TWinControl* p = control ? control->Parent() : nullptr; p; p = p->Parent())
    if (set.count(p)) return true;
  return false;
}

// The component and every control under it that the root owns: what its bytes hold.
void CollectSubtree(TComponent* root, TComponent* component, std::vector<TComponent*>& out) {
  out.push_back(component);
  if (auto* w = dynamic_cast<TWinControl*>(component))
    for (TControl* child : w->ControlList())
      if (child->Owner() == root) CollectSubtree(root, child, out);
}

// References held by Instance (and the objects nested in it) to members.
void CollectLinks(TPersistent* instance, const std::string& holder, const std::string& prefix,
                  const std::unordered_set<const TComponent*>& members, std::vector<TZQKComponentLink>& out,
                  int depth) {
  if (depth > 4) return;
  for (const TPropertyInfo* prop : instance->ClassType().Properties()) {
    if (prop->Kind() != propClass || !prop->HasRead()) continue;
    TPersistent* value = prop->GetObj(instance);
    if (!value) continue;
    auto* component = dynamic_cast<TComponent*>(value);
    if (component && !component->IsSubComponent()) {
      if (members.count(component) && prop->HasWrite())
        out.push_back({holder, prefix + prop->Name, component->Name()});
    } else if (value != instance) {
      CollectLinks(value, holder, prefix + prop->Name + ".", members, out, depth + 1);
    }
  }
}

TComponent* Resolve(TComponent* root, const std::string& name) { return name.empty() ? root : root->FindComponent(name); }

void RestoreLink(TComponent* root, const TZQKComponentLink& link) {
  TPersistent* instance = Resolve(root, link.Holder);
  std::string path = link.Path;
  for (size_t dot = path.find('.'); instance && dot != std::string::npos; dot = path.find('.')) {
    const TPropertyInfo* prop = GetPropInfo(instance, path.substr(0, dot));
    instance = prop && prop->Kind() == propClass ? prop->GetObj(instance) : nullptr;
    path = path.substr(dot + 1);
  }
  if (!instance) return;
  const TPropertyInfo* prop = GetPropInfo(instance, path);
  TComponent* target = root->FindComponent(link.Target);
  if (prop && target && prop->HasWrite()) SetObjectProp(instance, *prop, target);
}

}  // namespace

TZQKDesignState TZQKDesignState::Capture(TComponent* root, const std::vector<TComponent*>& components) {
  TZQKDesignState state;
  std::unordered_set<const TComponent*> given;
  for (TComponent* c : components)
    if (c && c != root && c->Owner() == root) given.insert(c);
  std::unordered_set<const TComponent*> members;
  std::unordered_set<const TComponent*> done;
  for (TComponent* top : components) {
    if (!given.count(top) || HasAncestorIn(top, given) || !done.insert(top).second) continue;
    TZQKComponentRecord record;
    record.Name = top->Name();
    if (auto* control = dynamic_cast<TControl*>(top); control && control->Parent()) {
      record.HasParent = true;
      record.ParentName = control->Parent() == root ? std::string() : control->Parent()->Name();
      record.ZIndex = control->Parent()->ControlIndex(control);
    }
    std::vector<TComponent*> subtree;
    CollectSubtree(root, top, subtree);
    for (TComponent* c : subtree) {
      record.OwnedIndices.emplace_back(c->Name(), c->ComponentIndex());
      members.insert(c);
    }
    TMemoryStream stream;
    SaveComponentList(stream, root, {top});
    record.Bytes = stream.Data();
    state.FRecords.push_back(std::move(record));
  }
  if (!members.empty()) {
    CollectLinks(root, std::string(), std::string(), members, state.FLinks, 0);
    for (TComponent* holder : root->OwnedComponents())
      CollectLinks(holder, holder->Name(), std::string(), members, state.FLinks, 0);
  }
  return state;
}

std::vector<TComponent*> TZQKDesignState::Restore(TComponent* root, const TZQKDesignState& other) const {
  std::vector<std::string> doomed = other.TopNames();
  for (const std::string& name : TopNames()) doomed.push_back(name);
  for (const std::string& name : doomed)
    if (TComponent* c = root->FindComponent(name)) c->Free();

  std::vector<TComponent*> made;
  for (const TZQKComponentRecord& record : FRecords) {
    TComponent* parent = record.HasParent ? Resolve(root, record.ParentName) : root;
    TMemoryStream stream(record.Bytes);
    LoadComponentList(stream, root, parent ? parent : root, [&made](TComponent* c) { made.push_back(c); });
  }

  PutInOrder(root);
  return made;
}

void TZQKDesignState::PutInOrder(TComponent* root) const {
  std::vector<const TZQKComponentRecord*> byZ;
  for (const TZQKComponentRecord& record : FRecords)
    if (record.HasParent) byZ.push_back(&record);
  std::stable_sort(byZ.begin(), byZ.end(), [](auto* a, auto* b) { return a->ZIndex < b->ZIndex; });
  for (const TZQKComponentRecord* record : byZ)
    if (auto* control = dynamic_cast<TControl*>(root->FindComponent(record->Name)); control && control->Parent())
      // Each move restacks the parent's windows: only those out of place move.
      if (control->Parent()->ControlIndex(control) != record->ZIndex)
        control->Parent()->SetChildPosition(control, record->ZIndex);

  std::vector<std::pair<std::string, int>> owned;
  for (const TZQKComponentRecord& record : FRecords)
    owned.insert(owned.end(), record.OwnedIndices.begin(), record.OwnedIndices.end());
  std::stable_sort(owned.begin(), owned.end(), [](auto& a, auto& b) { return a.second < b.second; });
  for (const auto& [name, index] : owned)
    if (TComponent* c = root->FindComponent(name)) c->SetComponentIndex(index);

  for (const TZQKComponentLink& link : FLinks) RestoreLink(root, link);
}

bool TZQKDesignState::SameComponentsAs(TComponent* root, const TZQKDesignState& other) const {
  if (FRecords.size() != other.FRecords.size()) return false;
  for (size_t i = 0; i < FRecords.size(); ++i) {
    const TZQKComponentRecord& a = FRecords[i];
    const TZQKComponentRecord& b = other.FRecords[i];
    if (a.Name != b.Name || a.HasParent != b.HasParent || a.ParentName != b.ParentName ||
        a.OwnedIndices.size() != b.OwnedIndices.size())
      return false;
    for (size_t k = 0; k < a.OwnedIndices.size(); ++k)
      if (a.OwnedIndices[k].first != b.OwnedIndices[k].first) return false;
    // Where the other state says the component is, it is.
    TComponent* component = root->FindComponent(a.Name);
    if (!component) return false;
    auto* control = dynamic_cast<TControl*>(component);
    TComponent* parent = control ? control->Parent() : nullptr;
    if (a.HasParent != (parent != nullptr)) return false;
    if (a.HasParent && parent != Resolve(root, a.ParentName)) return false;
  }
  return true;
}

bool TZQKDesignState::RestoreInPlace(TComponent* root, const TZQKDesignState& other,
                                     std::vector<TComponent*>& top) const {
  top.clear();
  if (FRecords.empty() || !SameComponentsAs(root, other)) return false;
  try {
    for (const TZQKComponentRecord& record : FRecords) {
      TComponent* parent = record.HasParent ? Resolve(root, record.ParentName) : root;
      TMemoryStream stream(record.Bytes);
      TReader reader(stream);
      reader.ReadIntoExisting = true;
      reader.ReadComponents(root, parent ? parent : root, [&top](TComponent* c) { top.push_back(c); });
    }
  } catch (const Exception&) {
    return false;
  }
  PutInOrder(root);
  // Values that were not stored (defaults) are not read: such a difference shows here.
  for (const TZQKComponentRecord& record : FRecords) {
    TComponent* component = root->FindComponent(record.Name);
    if (!component) return false;
    TMemoryStream stream;
    SaveComponentList(stream, root, {component});
    if (stream.Data() != record.Bytes) return false;
  }
  return true;
}

TZQKDesignState TZQKDesignState::Document(std::string bytes) {
  TZQKDesignState state;
  state.FIsDocument = true;
  state.FDocument = std::move(bytes);
  return state;
}

std::vector<std::string> TZQKDesignState::TopNames() const {
  std::vector<std::string> names;
  for (const TZQKComponentRecord& record : FRecords) names.push_back(record.Name);
  return names;
}

size_t TZQKDesignState::Cost() const {
  size_t cost = sizeof(*this) + FDocument.size();
  for (const TZQKComponentRecord& record : FRecords)
    cost += sizeof(record) + record.Bytes.size() + record.Name.size() + record.ParentName.size() +
            record.OwnedIndices.size() * (sizeof(std::pair<std::string, int>) + 16);
  for (const TZQKComponentLink& link : FLinks)
    cost += sizeof(link) + link.Holder.size() + link.Path.size() + link.Target.size();
  return cost;
}

// ---------------------------------------------------------------------------
bool TZQKDesignCommand::CanMerge(const TZQKDesignCommand& later) const {
  return FMergeKey != mkNone && later.FMergeKey == FMergeKey && FAfter.IsDocument() == later.FBefore.IsDocument() &&
         FAfter.TopNames() == later.FBefore.TopNames();
}

void TZQKDesignHistory::Push(std::unique_ptr<TZQKDesignCommand> command) {
  while (FCommands.size() > FIndex) {
    FCost -= FCommands.back()->Cost();
    FCommands.pop_back();
  }
  if (FClean > static_cast<long>(FIndex)) FClean = -1;
  // A step that leaves the clean point stays a step of its own, so undo finds that point.
  if (FIndex > 0 && !IsClean() && FCommands.back()->CanMerge(*command)) {
    FCost -= FCommands.back()->Cost();
    FCommands.back()->Merge(std::move(*command));
    FCost += FCommands.back()->Cost();
  } else {
    FCost += command->Cost();
    FCommands.push_back(std::move(command));
    ++FIndex;
  }
  Trim();
}

void TZQKDesignHistory::Trim() {
  while (FCommands.size() > 1 && (FCommands.size() > kMaxSteps || FCost > kMaxBytes)) {
    FCost -= FCommands.front()->Cost();
    FCommands.erase(FCommands.begin());
    --FIndex;
    FClean = FClean > 0 ? FClean - 1 : -1;
  }
}

void TZQKDesignHistory::Clear(bool clean) {
  FCommands.clear();
  FIndex = 0;
  FCost = 0;
  FClean = clean ? 0 : -1;
}

}  // namespace rpt
