#include "inspector/PropEdit.h"

#include <algorithm>
#include <cctype>
#include <exception>

#include "framework/Graphics.h"
#include "inspector/PropEditors.h"
#include "objects/Collection.h"
#include "objects/StringList.h"

namespace rpt {

struct TZQKPropEditor::TTargets {
  std::vector<TZQKPropTarget> Pairs;
  std::vector<TComponent*> Affected;
  std::string ParentPath;
  bool Stale = false;
};

namespace {

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Writes a value per pair; when a setter fails, the pairs written so far (and the one
// that failed) get the value they had, so a failed write changes nothing.
template <class T, class Read, class Write>
void WriteEachRestoring(int count, Read read, Write write, const std::function<T(int)>& value) {
  std::vector<T> old;
  old.reserve(count);
  for (int i = 0; i < count; ++i) old.push_back(read(i));
  int i = 0;
  try {
    for (; i < count; ++i) write(i, value(i));
  } catch (...) {
    for (int j = std::min(i, count - 1); j >= 0; --j) {
      try {
        write(j, old[j]);
      } catch (...) {
        // The old value was refused too: nothing better can be done for this pair.
      }
    }
    throw;
  }
}

}  // namespace

bool TZQKPropEditorClassInfo::InheritsFrom(const TZQKPropEditorClassInfo* other) const {
  for (const TZQKPropEditorClassInfo* c = this; c; c = c->Parent)
    if (c == other) return true;
  return false;
}

TZQKPropEditorClass TZQKPropEditor::StaticClass() {
  static const TZQKPropEditorClassInfo info{
      "TZQKPropEditor", nullptr,
      [](int count) -> std::unique_ptr<TZQKPropEditor> { return std::make_unique<TZQKPropEditor>(count); }};
  return &info;
}
RPT_NESTED_PROP_EDITOR_IMPL(TZQKNestedPropEditor, TZQKPropEditor)
RPT_PROP_EDITOR_IMPL(TZQKOrdinalPropEditor, TZQKPropEditor)

// ---------------------------------------------------------------------------
TZQKPropEditor::TZQKPropEditor(int count) : FTargets(std::make_shared<TTargets>()) {
  FTargets->Pairs.resize(static_cast<size_t>(std::max(count, 0)));
}

TZQKPropEditor::TZQKPropEditor(const TZQKPropEditor& parent, TShareTargets) : FTargets(parent.FTargets) {
  SetCallbacks(parent.Callbacks());
}

TZQKPropEditor::~TZQKPropEditor() = default;

std::string TZQKPropEditor::GetValueText() { return "(Unknown)"; }
void TZQKPropEditor::SetValueText(const std::string&) {}
TZQKPropAttributes TZQKPropEditor::GetAttributes() { return eaMultiSelect; }
void TZQKPropEditor::FillValueList(std::vector<std::string>&) {}
void TZQKPropEditor::FillSubEditors(TPropEditorList&, const TZQKChooseEditorClass&) {}
std::string TZQKPropEditor::GetRowCaption() {
  const TPropertyInfo* p = PropertyAt(0);
  return p ? p->Name : std::string();
}
bool TZQKPropEditor::ValuesAgree() { return TargetCount() == 1; }
void TZQKPropEditor::RunDialog() {}
void TZQKPropEditor::MeasureValueHeight(const std::string&, TCanvas&, int32_t&) {}
void TZQKPropEditor::MeasureValueWidth(const std::string&, TCanvas&, int32_t&) {}
void TZQKPropEditor::DrawValue(const std::string&, TCanvas&, const TRect&, bool) {}

std::vector<std::string> TZQKPropEditor::ValueList() {
  std::vector<std::string> list;
  if (Stale()) return list;
  FillValueList(list);
  if (GetAttributes() & eaSortedValues)
    std::stable_sort(list.begin(), list.end(),
                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  return list;
}

std::string TZQKPropEditor::DisplayText() {
  if (Stale() || !ValuesAgree()) return {};
  return GetValueText();
}

// ---------------------------------------------------------------------------
int TZQKPropEditor::TargetCount() const { return static_cast<int>(FTargets->Pairs.size()); }

TPersistent* TZQKPropEditor::TargetAt(int i) const {
  if (i < 0 || i >= TargetCount()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  return FTargets->Pairs[static_cast<size_t>(i)].Instance;
}

const TPropertyInfo* TZQKPropEditor::PropertyAt(int i) const {
  if (i < 0 || i >= TargetCount()) return nullptr;
  return FTargets->Pairs[static_cast<size_t>(i)].Property;
}

void TZQKPropEditor::SetTarget(int i, TPersistent* instance, const TPropertyInfo* prop) {
  if (i < 0 || i >= TargetCount()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  FTargets->Pairs[static_cast<size_t>(i)] = {instance, prop};
}

const TTypeInfo* TZQKPropEditor::ValueType() const {
  const TPropertyInfo* p = PropertyAt(0);
  return p ? p->PropType : nullptr;
}

bool TZQKPropEditor::AllWritable() const {
  for (const TZQKPropTarget& t : FTargets->Pairs)
    if (!t.Property || !t.Property->HasWrite()) return false;
  return true;
}

// A stale editor's targets may be gone: reads give the empty value without touching them.
int32_t TZQKPropEditor::ReadOrd(int i) const {
  if (Stale()) return 0;
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetOrdProp(t.Instance, *t.Property);
}
std::string TZQKPropEditor::ReadStr(int i) const {
  if (Stale()) return {};
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetStrProp(t.Instance, *t.Property);
}
Extended TZQKPropEditor::ReadFloat(int i) const {
  if (Stale()) return 0;
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetFloatProp(t.Instance, *t.Property);
}
int64_t TZQKPropEditor::ReadInt64(int i) const {
  if (Stale()) return 0;
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetInt64Prop(t.Instance, *t.Property);
}
TVariant TZQKPropEditor::ReadVariant(int i) const {
  if (Stale()) return {};
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetVariantProp(t.Instance, *t.Property);
}
TPersistent* TZQKPropEditor::ReadObj(int i) const {
  if (Stale()) return nullptr;
  const TZQKPropTarget& t = FTargets->Pairs.at(static_cast<size_t>(i));
  return GetObjectProp(t.Instance, *t.Property);
}

// ---------------------------------------------------------------------------
void TZQKPropEditor::RunWrite(const std::function<void()>& write) {
  if (Stale()) return;
  if (OnWrite)
    OnWrite(ChangeCaption(), AffectedComponents(), write);
  else
    write();
  NotifyModified();
}

void TZQKPropEditor::WriteOrdEach(const std::function<int32_t(int)>& value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<int32_t>(
        TargetCount(), [&](int i) { return GetOrdProp(pairs[i].Instance, *pairs[i].Property); },
        [&](int i, int32_t v) { SetOrdProp(pairs[i].Instance, *pairs[i].Property, v); }, value);
  });
}

void TZQKPropEditor::WriteVariantEach(const std::function<TVariant(int)>& value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<TVariant>(
        TargetCount(), [&](int i) { return GetVariantProp(pairs[i].Instance, *pairs[i].Property); },
        [&](int i, const TVariant& v) { SetVariantProp(pairs[i].Instance, *pairs[i].Property, v); }, value);
  });
}

void TZQKPropEditor::WriteOrdToAll(int32_t value) {
  WriteOrdEach([value](int) { return value; });
}

void TZQKPropEditor::WriteVariantToAll(const TVariant& value) {
  WriteVariantEach([&value](int) { return value; });
}

void TZQKPropEditor::WriteStrToAll(const std::string& value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<std::string>(
        TargetCount(), [&](int i) { return GetStrProp(pairs[i].Instance, *pairs[i].Property); },
        [&](int i, const std::string& v) { SetStrProp(pairs[i].Instance, *pairs[i].Property, v); },
        [&value](int) { return value; });
  });
}

void TZQKPropEditor::WriteFloatToAll(Extended value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<Extended>(
        TargetCount(), [&](int i) { return GetFloatProp(pairs[i].Instance, *pairs[i].Property); },
        [&](int i, Extended v) { SetFloatProp(pairs[i].Instance, *pairs[i].Property, v); },
        [value](int) { return value; });
  });
}

void TZQKPropEditor::WriteInt64ToAll(int64_t value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<int64_t>(
        TargetCount(), [&](int i) { return GetInt64Prop(pairs[i].Instance, *pairs[i].Property); },
        [&](int i, int64_t v) { SetInt64Prop(pairs[i].Instance, *pairs[i].Property, v); },
        [value](int) { return value; });
  });
}

namespace {
// What a class property held before a write, to put back if a later setter fails:
// a reference for components, a copy for other objects (setters copy them).
struct TObjectSnapshot {
  TPersistent* Reference = nullptr;
  std::shared_ptr<TPersistent> Copy;
  bool Restorable = true;
  TPersistent* Value() const { return Copy ? Copy.get() : Reference; }
};

TObjectSnapshot SnapshotObject(TPersistent* current) {
  TObjectSnapshot s;
  if (!current || dynamic_cast<TComponent*>(current)) {
    s.Reference = current;
    return s;
  }
  const TClassDescriptor& cls = current->ClassType();
  if (!cls.CanCreate()) {
    s.Restorable = false;
    return s;
  }
  TObject* made = cls.CreateInstance();
  auto* copy = dynamic_cast<TPersistent*>(made);
  if (!copy) {
    if (made) made->Free();
    s.Restorable = false;
    return s;
  }
  s.Copy = std::shared_ptr<TPersistent>(copy, [](TPersistent* p) { p->Free(); });
  try {
    copy->AssignFrom(current);
  } catch (const Exception&) {
    s.Copy.reset();
    s.Restorable = false;
  }
  return s;
}
}  // namespace

void TZQKPropEditor::WriteObjToAll(TPersistent* value) {
  RunWrite([&] {
    auto& pairs = FTargets->Pairs;
    WriteEachRestoring<TObjectSnapshot>(
        TargetCount(), [&](int i) { return SnapshotObject(GetObjectProp(pairs[i].Instance, *pairs[i].Property)); },
        [&](int i, const TObjectSnapshot& v) {
          if (v.Restorable) SetObjectProp(pairs[i].Instance, *pairs[i].Property, v.Value());
        },
        [value](int) {
          TObjectSnapshot s;
          s.Reference = value;
          return s;
        });
  });
}

void TZQKPropEditor::NotifyModified() {
  if (OnEditorModified) OnEditorModified(this);
}

TComponent* TZQKPropEditor::FindComponentByName(const std::string& name) {
  TComponent* component = nullptr;
  if (OnFindComponent) OnFindComponent(this, name, component);
  return component;
}

void TZQKPropEditor::ListComponentsOfClass(const TClassDescriptor* cls, std::vector<TComponent*>& list) {
  if (OnListComponents) OnListComponents(this, cls, list);
}

std::string TZQKPropEditor::ComponentDisplayName(TComponent* component) {
  std::string name = component ? component->Name() : std::string();
  if (OnComponentDisplayName) OnComponentDisplayName(this, component, name);
  return name;
}

int TZQKPropEditor::CompareProperties(TPersistent* instance, const TPropertyInfo* prop1, const TPropertyInfo* prop2) {
  int result = CompareText(prop1->Name, prop2->Name);
  if (OnCompareProperties) OnCompareProperties(this, instance, prop1, prop2, result);
  return result;
}

bool TZQKPropEditor::SortSubProperties() {
  bool sorted = true;
  if (OnSortSubProperties) OnSortSubProperties(this, sorted);
  return sorted;
}

void TZQKPropEditor::SetCallbacks(const TZQKPropEditorCallbacks& c) {
  OnEditorModified = c.OnEditorModified;
  OnFindComponent = c.OnFindComponent;
  OnListComponents = c.OnListComponents;
  OnComponentDisplayName = c.OnComponentDisplayName;
  OnCompareProperties = c.OnCompareProperties;
  OnSortSubProperties = c.OnSortSubProperties;
  OnWrite = c.OnWrite;
}

TZQKPropEditorCallbacks TZQKPropEditor::Callbacks() const {
  return {OnEditorModified, OnFindComponent,     OnListComponents, OnComponentDisplayName,
          OnCompareProperties, OnSortSubProperties, OnWrite};
}

std::string TZQKPropEditor::PropertyPath() const {
  const TPropertyInfo* p = PropertyAt(0);
  const std::string name = p ? p->Name : std::string();
  return FTargets->ParentPath.empty() ? name : FTargets->ParentPath + "." + name;
}

std::string TZQKPropEditor::ChangeCaption() const { return "Change " + PropertyPath(); }

const std::vector<TComponent*>& TZQKPropEditor::AffectedComponents() const { return FTargets->Affected; }

void TZQKPropEditor::SetAffectedComponents(std::vector<TComponent*> components) {
  FTargets->Affected = std::move(components);
}

void TZQKPropEditor::SetParentPath(const std::string& path) { FTargets->ParentPath = path; }

std::vector<TComponent*> TZQKPropEditor::ReferencedComponents() const {
  std::vector<TComponent*> result;
  auto add = [&result](TComponent* c) {
    if (c && std::find(result.begin(), result.end(), c) == result.end()) result.push_back(c);
  };
  for (const TZQKPropTarget& t : FTargets->Pairs) add(dynamic_cast<TComponent*>(t.Instance));
  for (TComponent* c : FTargets->Affected) add(c);
  // A component reference: the rows show (and sub-rows edit) the component it names now.
  const TTypeInfo* type = ValueType();
  if (!Stale() && type && type->Kind == propClass && type->ClassType && type->ClassType->IsComponentClass()) {
    for (const TZQKPropTarget& t : FTargets->Pairs)
      if (t.Property && t.Property->HasRead()) add(dynamic_cast<TComponent*>(GetObjectProp(t.Instance, *t.Property)));
  }
  return result;
}

bool TZQKPropEditor::RefersTo(const TComponent* component) const {
  if (!component) return false;
  for (TComponent* c : ReferencedComponents())
    for (const TComponent* o = c; o; o = o->Owner())
      if (o == component) return true;
  return false;
}

bool TZQKPropEditor::Stale() const { return FTargets->Stale; }
void TZQKPropEditor::MarkStale() { FTargets->Stale = true; }

// ---------------------------------------------------------------------------
TZQKNestedPropEditor::TZQKNestedPropEditor(const TZQKPropEditor& parent, std::string displayName)
    : TZQKPropEditor(parent, TShareTargets{}), FDisplayName(displayName.empty() ? "SubProp" : std::move(displayName)) {}

std::string TZQKNestedPropEditor::GetRowCaption() { return FDisplayName; }

bool TZQKOrdinalPropEditor::ValuesAgree() {
  const int n = TargetCount();
  if (n == 0) return false;
  const int32_t first = ReadOrd(0);
  for (int i = 1; i < n; ++i)
    if (ReadOrd(i) != first) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Choosing editors.
TZQKPropEditorClass EditorClassForType(const TPropertyInfo& prop) {
  const TTypeInfo* type = prop.PropType;
  if (!type) return TZQKPropEditor::StaticClass();
  struct TSpecial {
    const TTypeInfo* Type;
    TZQKPropEditorClass Editor;
  };
  static const std::vector<TSpecial> kSpecial{
      {ComponentNameTypeInfo(), TZQKComponentNamePropEditor::StaticClass()},
      {DateTypeInfo(), TZQKDatePropEditor::StaticClass()},
      {TimeTypeInfo(), TZQKTimePropEditor::StaticClass()},
      {DateTimeTypeInfo(), TZQKDateTimePropEditor::StaticClass()},
      {CaptionTypeInfo(), TZQKCaptionPropEditor::StaticClass()},
      {TypeInfoOf<TColor>(), TZQKColorPropEditor::StaticClass()},
      {TypeInfoOf<TCursor>(), TZQKCursorPropEditor::StaticClass()},
      {TypeInfoOf<TFontCharset>(), TZQKFontCharsetPropEditor::StaticClass()},
      {FontNameTypeInfo(), TZQKFontNamePropEditor::StaticClass()},
      {ImeNameTypeInfo(), TZQKImeNamePropEditor::StaticClass()},
      {ModalResultTypeInfo(), TZQKModalResultPropEditor::StaticClass()},
      {TypeInfoOf<TPenStyle>(), TZQKPenStylePropEditor::StaticClass()},
      {TypeInfoOf<TBrushStyle>(), TZQKBrushStylePropEditor::StaticClass()},
      {TabOrderTypeInfo(), TZQKTabOrderPropEditor::StaticClass()},
      {ShortCutTypeInfo(), TZQKShortCutPropEditor::StaticClass()},
  };
  for (const TSpecial& s : kSpecial)
    if (s.Type == type) return s.Editor;
  switch (type->Kind) {
    case propInteger:
      return TZQKIntegerPropEditor::StaticClass();
    case propChar:
      return TZQKCharPropEditor::StaticClass();
    case propEnumeration:
      return TZQKEnumPropEditor::StaticClass();
    case propFloat:
      return TZQKFloatPropEditor::StaticClass();
    case propShortString:
    case propString:
    case propWideString:
      return TZQKStringPropEditor::StaticClass();
    case propSet:
      return TZQKSetPropEditor::StaticClass();
    case propClass: {
      const TClassDescriptor* cls = type->ClassType;
      if (cls && cls->InheritsFrom(TFont::StaticClass())) return TZQKFontPropEditor::StaticClass();
      if (cls && cls->InheritsFrom(TStrings::StaticClass())) return TZQKStringsPropEditor::StaticClass();
      if (cls && cls->InheritsFrom(TCollection::StaticClass())) return TZQKItemListPropEditor::StaticClass();
      if (cls && cls->IsComponentClass()) return TZQKComponentPropEditor::StaticClass();
      return TZQKClassPropEditor::StaticClass();
    }
    case propVariant:
      return TZQKVariantPropEditor::StaticClass();
    case propInt64:
      return TZQKInt64PropEditor::StaticClass();
    default:
      return TZQKPropEditor::StaticClass();
  }
}

namespace {
bool RegistrationMatches(const TZQKPropertyInspectorEditorDescr& r, const TPersistent* instance,
                         const TPropertyInfo& prop) {
  const TTypeInfo* type = prop.PropType;
  bool typeMatches = r.PropertyType == type;
  if (!typeMatches && r.PropertyType && type && r.PropertyType->Kind == propClass && type->Kind == propClass &&
      r.PropertyType->ClassType && type->ClassType)
    typeMatches = type->ClassType->InheritsFrom(*r.PropertyType->ClassType);
  if (!typeMatches) return false;
  if (r.InstanceClass && !(instance && instance->InheritsFrom(*r.InstanceClass))) return false;
  return r.PropertyName.empty() || SameText(r.PropertyName, prop.Name);
}
}  // namespace

TZQKPropEditorClass TZQKEditorChoice::Choose(bool isSubProperty, TPersistent* instance,
                                             const TPropertyInfo* prop) const {
  if (!prop) return nullptr;
  if (OnGetEditorClass) {
    TZQKPropEditorClass chosen = nullptr;
    OnGetEditorClass(instance, prop, chosen);
    if (chosen) return chosen;
  }
  const TPropertyKind kind = prop->Kind();
  const bool kindPasses = (PropKinds.Contains(pkProperties) && kind != propUnknown && kind != propMethod) ||
                          (PropKinds.Contains(pkEvents) && kind == propMethod);
  if (!kindPasses) return nullptr;
  if (!prop->HasRead()) return nullptr;
  if (!prop->HasWrite() && !PropKinds.Contains(pkReadOnly) && kind != propClass) return nullptr;
  if (OnFilterProp) {
    bool include = true;
    OnFilterProp(instance, prop, isSubProperty, include);
    if (!include) return nullptr;
  }
  for (auto it = EditorRegistrations.rbegin(); it != EditorRegistrations.rend(); ++it) {
    if (!RegistrationMatches(*it, instance, *prop)) continue;
    if (it->EditorClass) return it->EditorClass;
    break;
  }
  return EditorClassForType(*prop);
}

TZQKChooseEditorClass TZQKEditorChoice::Chooser() const {
  return [this](bool isSubProperty, TPersistent* instance, const TPropertyInfo* prop) {
    return Choose(isSubProperty, instance, prop);
  };
}

// ---------------------------------------------------------------------------
// Building editors.
namespace {

std::vector<const TPropertyInfo*> PropertiesOf(TPersistent* object, TZQKTypeKinds kinds, bool sorted,
                                               const TZQKPropertyCompare& compare) {
  std::vector<const TPropertyInfo*> list;
  for (const TPropertyInfo* p : object->ClassType().Properties())
    if (kinds & (1u << p->Kind())) list.push_back(p);
  if (sorted && !compare)
    std::stable_sort(list.begin(), list.end(),
                     [](const TPropertyInfo* a, const TPropertyInfo* b) { return CompareText(a->Name, b->Name) < 0; });
  else if (sorted)
    std::stable_sort(list.begin(), list.end(), [&](const TPropertyInfo* a, const TPropertyInfo* b) {
      return compare(object, a, b) < 0;
    });
  return list;
}

// Object j's property of the row: same name ignoring case and the identical type.
const TPropertyInfo* MatchingProperty(TPersistent* object, const TPropertyInfo* row, TZQKTypeKinds kinds) {
  const TPropertyInfo* p = object->ClassType().FindProperty(row->Name);
  if (!p || p->PropType != row->PropType || !(kinds & (1u << p->Kind()))) return nullptr;
  return p;
}

}  // namespace

void BuildEditorsFor(const std::vector<TPersistent*>& objects, TZQKTypeKinds kinds, TPropEditorList& result,
                     const TZQKPropertyCompare& compare, bool sorted, const TZQKChooseEditorClass& choose,
                     bool isSubProperty, bool skipHidden, const std::vector<TComponent*>& affected,
                     const std::string& parentPath, const TZQKPropEditor* callbacksFrom) {
  if (objects.empty() || !choose) return;
  const size_t n = objects.size();
  TPersistent* first = objects[0];
  const std::vector<const TPropertyInfo*> rows = PropertiesOf(first, kinds, sorted, compare);
  // Rows of one class find the same descriptors: look each class up once per row.
  std::vector<const TPropertyInfo*> pairs(n);
  for (const TPropertyInfo* row : rows) {
    bool common = true;
    pairs[0] = row;
    for (size_t j = 1; j < n && common; ++j) {
      if (&objects[j]->ClassType() == &first->ClassType())
        pairs[j] = row;
      else
        pairs[j] = MatchingProperty(objects[j], row, kinds);
      common = pairs[j] != nullptr;
    }
    if (!common) continue;
    const TZQKPropEditorClass editorClass = choose(isSubProperty, first, row);
    if (!editorClass || !editorClass->Create) continue;
    bool agree = true;
    for (size_t j = 0; j < n && agree; ++j) agree = choose(isSubProperty, objects[j], pairs[j]) == editorClass;
    if (!agree) continue;
    std::unique_ptr<TZQKPropEditor> editor = editorClass->Create(static_cast<int>(n));
    for (size_t j = 0; j < n; ++j) editor->SetTarget(static_cast<int>(j), objects[j], pairs[j]);
    editor->SetAffectedComponents(affected);
    editor->SetParentPath(parentPath);
    if (callbacksFrom) editor->SetCallbacks(callbacksFrom->Callbacks());
    const TZQKPropAttributes attributes = editor->GetAttributes();
    if (n > 1 && !(attributes & eaMultiSelect)) continue;
    if (skipHidden && (attributes & eaHideInReference)) continue;
    result.push_back(std::move(editor));
  }
}

void BuildEditors(const std::vector<TPersistent*>& objects, TZQKTypeKinds kinds, TPropEditorList& result,
                  const TZQKPropertyCompare& compare, bool sorted, const TZQKChooseEditorClass& choose,
                  bool isSubProperty, bool skipHidden) {
  std::vector<TComponent*> affected;
  for (TPersistent* o : objects)
    if (auto* c = dynamic_cast<TComponent*>(o)) affected.push_back(c);
  BuildEditorsFor(objects, kinds, result, compare, sorted, choose, isSubProperty, skipHidden, affected, {}, nullptr);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TZQKPropEditorWatch, TComponent)
RPT_END_CLASS

void TZQKPropEditorWatch::Watch(TZQKPropEditor* editor) {
  if (!editor) return;
  if (std::find(FEditors.begin(), FEditors.end(), editor) == FEditors.end()) FEditors.push_back(editor);
  for (TComponent* c : editor->ReferencedComponents()) {
    if (c == this || std::find(FWatched.begin(), FWatched.end(), c) != FWatched.end()) continue;
    WatchComponent(c);
    FWatched.push_back(c);
  }
}

void TZQKPropEditorWatch::Forget(TZQKPropEditor* editor) { std::erase(FEditors, editor); }

void TZQKPropEditorWatch::Clear() {
  for (TComponent* c : FWatched) UnwatchComponent(c);
  FWatched.clear();
  FEditors.clear();
}

void TZQKPropEditorWatch::ComponentNotification(TComponent* component, TComponentOperation operation) {
  TComponent::ComponentNotification(component, operation);
  if (operation != coRemove) return;
  if (std::find(FWatched.begin(), FWatched.end(), component) == FWatched.end()) return;
  std::erase(FWatched, component);
  for (TZQKPropEditor* editor : FEditors)
    if (!editor->Stale() && editor->RefersTo(component)) editor->MarkStale();
  if (OnGone) OnGone(component);
}

}  // namespace rpt
