#include "objects/Persistent.h"

#include <map>

#include "objects/ClassBuilder.h"
#include "objects/CodePage.h"
#include "objects/Component.h"
#include "objects/Format.h"

namespace rpt {

// ---------------------------------------------------------------------------
// TObject, TPersistent

const TClassDescriptor& TObject::StaticClass() {
  static const TClassDescriptor& d = detail::NewClassDescriptor("TObject", nullptr);
  return d;
}

const std::string& TObject::ClassName() const { return ClassType().ClassName(); }

bool TObject::InheritsFrom(const TClassDescriptor& cls) const { return ClassType().InheritsFrom(cls); }

void TObject::Free() {
  BeforeDestruction();
  Destroy();
  delete this;
}

const TClassDescriptor& TPersistent::StaticClass() {
  static const TClassDescriptor& d = detail::NewClassDescriptor("TPersistent", &TObject::StaticClass());
  return d;
}

void TPersistent::AssignFrom(const TPersistent* source) {
  if (source) {
    source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  throw EConvertError(Format("Cannot assign a %s to a %s", source ? source->ClassName() : std::string("nil"),
                             ClassName()));
}

void TPersistent::DefineProperties(TFiler&) {}

// ---------------------------------------------------------------------------
// Descriptors

bool TPropertyInfo::HasRead() const {
  return GetOrd || GetFloat || GetStr || GetObj || GetMethod || GetVariant || GetInt64;
}

bool TPropertyInfo::HasWrite() const {
  return SetOrd || SetFloat || SetStr || SetObj || SetMethod || SetVariant || SetInt64;
}

TClassDescriptor::TClassDescriptor(std::string name, const TClassDescriptor* parent)
    : FName(std::move(name)), FParent(parent), FMethods(std::make_unique<std::vector<TMethodEntry>>()) {
  FTypeInfo.Kind = propClass;
  FTypeInfo.Name = FName;
  FTypeInfo.ClassType = this;
  if (parent) {
    FProperties = parent->FProperties;
    FPropertyIndex = parent->FPropertyIndex;
  }
}

bool TClassDescriptor::InheritsFrom(const TClassDescriptor& other) const {
  for (const TClassDescriptor* c = this; c; c = c->FParent)
    if (c == &other) return true;
  return false;
}

bool TClassDescriptor::IsComponentClass() const { return InheritsFrom(TComponent::StaticClass()); }

TObject* TClassDescriptor::CreateInstance() const { return FFactory ? FFactory() : nullptr; }

TComponent* TClassDescriptor::CreateComponent(TComponent* owner) const {
  if (!FFactory || !IsComponentClass()) return nullptr;
  auto* component = static_cast<TComponent*>(FFactory());
  try {
    if (owner) owner->InsertComponent(component);
    component->AfterConstruction();
  } catch (...) {
    component->Free();
    throw;
  }
  return component;
}

const TPropertyInfo* TClassDescriptor::FindProperty(std::string_view name) const {
  if (FPropertyIndex.empty()) return nullptr;
  char buffer[64];
  if (name.size() < sizeof buffer) {
    // Lower-case into a stack buffer: this runs once per property read.
    for (size_t i = 0; i < name.size(); ++i) {
      const char ch = name[i];
      buffer[i] = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch;
    }
    auto it = FPropertyIndex.find(std::string(buffer, name.size()));
    return it == FPropertyIndex.end() ? nullptr : it->second;
  }
  auto it = FPropertyIndex.find(LowerAscii(name));
  return it == FPropertyIndex.end() ? nullptr : it->second;
}

const TMethodEntry* TClassDescriptor::FindMethod(std::string_view name) const {
  for (const TClassDescriptor* c = this; c; c = c->FParent)
    for (const auto& m : *c->FMethods)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

const TMethodEntry* TClassDescriptor::FindMethodByEntry(const TMethodEntry* entry) const {
  for (const TClassDescriptor* c = this; c; c = c->FParent)
    for (const auto& m : *c->FMethods)
      if (&m == entry) return &m;
  return nullptr;
}

const TFieldEntry* TClassDescriptor::FindField(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (const TClassDescriptor* c = this; c; c = c->FParent)
    for (const auto& f : c->FFields)
      if (SameText(f.Name, name)) return &f;
  return nullptr;
}

const TClassDescriptor* TClassDescriptor::FindFieldClass(std::string_view className) const {
  for (const TClassDescriptor* c = this; c; c = c->FParent)
    for (const auto& f : c->FFields)
      if (SameText(f.FieldClass->ClassName(), className)) return f.FieldClass;
  return nullptr;
}

TPropertyInfo& TClassDescriptor::AddProperty(std::unique_ptr<TPropertyInfo> info) {
  TPropertyInfo& p = *info;
  const std::string key = LowerAscii(p.Name);
  auto existing = FPropertyIndex.find(key);
  if (existing != FPropertyIndex.end()) {
    p.Position = existing->second->Position;
    FProperties[static_cast<size_t>(p.Position)] = &p;
  } else {
    p.Position = static_cast<int>(FProperties.size());
    FProperties.push_back(&p);
  }
  FPropertyIndex[key] = &p;
  FOwnProperties.push_back(std::move(info));
  return p;
}

TPropertyInfo& TClassDescriptor::Republish(std::string_view name) {
  const TPropertyInfo* inherited = FindProperty(name);
  if (!inherited) throw EPropertyError(Format("Property %s does not exist", std::string(name)));
  return AddProperty(std::make_unique<TPropertyInfo>(*inherited));
}

void TClassDescriptor::AddMethod(TMethodEntry entry) { FMethods->push_back(std::move(entry)); }

void TClassDescriptor::AddField(TFieldEntry entry) { FFields.push_back(std::move(entry)); }

TClassDescriptor& detail::NewClassDescriptor(const char* name, const TClassDescriptor* parent) {
  // Descriptors live as long as the program.
  return *new TClassDescriptor(name, parent);
}

TPropertyInfo& detail::NewProperty(TClassDescriptor& d, const char* name, const TTypeInfo* type, int32_t index) {
  auto info = std::make_unique<TPropertyInfo>();
  info->Name = name;
  info->PropType = type;
  info->Index = index;
  return d.AddProperty(std::move(info));
}

// ---------------------------------------------------------------------------
// Property access

namespace {
[[noreturn]] void ReadOnly() { throw EPropertyError("Property is read-only"); }
[[noreturn]] void WrongKind() { throw EPropertyError("Invalid property value"); }
}  // namespace

int32_t GetOrdProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetOrd) WrongKind();
  return p.GetOrd(o);
}
void SetOrdProp(TPersistent* o, const TPropertyInfo& p, int32_t v) {
  if (!p.SetOrd) p.GetOrd ? ReadOnly() : WrongKind();
  p.SetOrd(o, v);
}
Extended GetFloatProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetFloat) WrongKind();
  return p.GetFloat(o);
}
void SetFloatProp(TPersistent* o, const TPropertyInfo& p, Extended v) {
  if (!p.SetFloat) p.GetFloat ? ReadOnly() : WrongKind();
  p.SetFloat(o, v);
}
std::string GetStrProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetStr) WrongKind();
  return p.GetStr(o);
}
void SetStrProp(TPersistent* o, const TPropertyInfo& p, const std::string& v) {
  if (!p.SetStr) p.GetStr ? ReadOnly() : WrongKind();
  p.SetStr(o, v);
}
TPersistent* GetObjectProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetObj) WrongKind();
  return p.GetObj(o);
}
void SetObjectProp(TPersistent* o, const TPropertyInfo& p, TPersistent* v) {
  if (!p.SetObj) p.GetObj ? ReadOnly() : WrongKind();
  p.SetObj(o, v);
}
TMethod GetMethodProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetMethod) WrongKind();
  return p.GetMethod(o);
}
void SetMethodProp(TPersistent* o, const TPropertyInfo& p, const TMethod& v) {
  if (!p.SetMethod) p.GetMethod ? ReadOnly() : WrongKind();
  p.SetMethod(o, v);
}
TVariant GetVariantProp(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetVariant) WrongKind();
  return p.GetVariant(o);
}
void SetVariantProp(TPersistent* o, const TPropertyInfo& p, const TVariant& v) {
  if (!p.SetVariant) p.GetVariant ? ReadOnly() : WrongKind();
  p.SetVariant(o, v);
}
int64_t GetInt64Prop(const TPersistent* o, const TPropertyInfo& p) {
  if (!p.GetInt64) WrongKind();
  return p.GetInt64(o);
}
void SetInt64Prop(TPersistent* o, const TPropertyInfo& p, int64_t v) {
  if (!p.SetInt64) p.GetInt64 ? ReadOnly() : WrongKind();
  p.SetInt64(o, v);
}

bool IsStoredProp(const TPersistent* o, const TPropertyInfo& p) {
  if (p.StoredKind == TStoredKind::Constant || !p.Stored) return p.StoredConstant;
  return p.Stored(o);
}

const TPropertyInfo* GetPropInfo(const TObject* instance, std::string_view name) {
  return instance->ClassType().FindProperty(name);
}

const std::vector<const TPropertyInfo*>& GetPropList(const TObject* instance) {
  return instance->ClassType().Properties();
}

// ---------------------------------------------------------------------------
// Registry

namespace {
std::mutex& RegistryLock() {
  static std::mutex m;
  return m;
}
std::map<std::string, const TClassDescriptor*>& Registry() {
  static auto* r = new std::map<std::string, const TClassDescriptor*>;
  return *r;
}
}  // namespace

void RegisterStreamClass(const TClassDescriptor& cls) {
  std::lock_guard lock(RegistryLock());
  // The classes to add, up to the first one already registered; all are checked
  // before any is added, so a refused registration leaves the registry as it was.
  std::vector<const TClassDescriptor*> added;
  for (const TClassDescriptor* c = &cls; c; c = c->Parent()) {
    auto it = Registry().find(LowerAscii(c->ClassName()));
    if (it != Registry().end()) {
      if (it->second == c) break;
      throw EFilerError(Format("A class named %s already exists", c->ClassName()));
    }
    added.push_back(c);
    if (c == &TPersistent::StaticClass()) break;
  }
  for (const TClassDescriptor* c : added) Registry()[LowerAscii(c->ClassName())] = c;
}

void RegisterStreamClasses(std::initializer_list<const TClassDescriptor*> classes) {
  for (const TClassDescriptor* c : classes) RegisterStreamClass(*c);
}

const TClassDescriptor* FindStreamClass(std::string_view name) {
  std::lock_guard lock(RegistryLock());
  auto it = Registry().find(LowerAscii(name));
  return it == Registry().end() ? nullptr : it->second;
}

void UnregisterStreamClass(const TClassDescriptor& cls) {
  std::lock_guard lock(RegistryLock());
  auto it = Registry().find(LowerAscii(cls.ClassName()));
  if (it != Registry().end() && it->second == &cls) Registry().erase(it);
}

}  // namespace rpt
