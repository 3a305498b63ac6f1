#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "objects/CodePage.h"
#include "objects/Collection.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// Deeper nesting than any report needs; a crafted stream cannot exhaust the stack.
constexpr int kMaxDepth = 200;

[[noreturn]] void StreamReadError() { throw EReadError("Stream read error"); }
[[noreturn]] void InvalidValue() { throw EReadError("Invalid property value"); }

class TDepthGuard {
 public:
  explicit TDepthGuard(int& depth) : FDepth(depth) {
    if (++FDepth > kMaxDepth) {
      --FDepth;
      StreamReadError();
    }
  }
  ~TDepthGuard() { --FDepth; }

 private:
  int& FDepth;
};

template <class T>
T LoadLE(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof(T));
  return value;
}

// Splits a reference path at ".", "-" and "->".
std::vector<std::string> SplitReference(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '.' || path[i] == '-') {
      if (path[i] == '-' && i + 1 < path.size() && path[i + 1] == '>') ++i;
      parts.push_back(std::move(part));
      part.clear();
    } else {
      part += path[i];
    }
  }
  parts.push_back(std::move(part));
  return parts;
}

TComponent* ResolveReference(TComponent* root, std::string_view path) {
  if (!root || path.empty()) return nullptr;
  TComponent* current = root;
  for (const std::string& part : SplitReference(path)) {
    TComponent* next = current->FindComponent(part);
    if (next) {
      current = next;
    } else if (!SameText(part, "Owner")) {
      return nullptr;
    }
  }
  return current;
}

// References waiting for a top-level component of another root.
struct TGlobalFixup {
  TPersistent* Instance;
  TComponent* Holder;
  const TPropertyInfo* Prop;
  std::string RootName;
  std::string Path;
  uint64_t ReadId;
};

std::recursive_mutex& GlobalLock() {
  static std::recursive_mutex m;
  return m;
}
std::vector<TGlobalFixup>& GlobalFixups() {
  static auto* list = new std::vector<TGlobalFixup>;
  return *list;
}
std::atomic<uint64_t> gNextReadId{1};

void DropGlobalReferencesOfRead(uint64_t readId) {
  std::lock_guard lock(GlobalLock());
  auto& list = GlobalFixups();
  list.erase(std::remove_if(list.begin(), list.end(), [&](const TGlobalFixup& f) { return f.ReadId == readId; }),
             list.end());
}

thread_local uint64_t tCurrentReadId = 0;

}  // namespace

void ResolveGlobalReferences() {
  std::lock_guard lock(GlobalLock());
  auto& list = GlobalFixups();
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < list.size(); ++i) {
      TComponent* root = FindGlobalComponent(list[i].RootName);
      if (!root) continue;
      TGlobalFixup fixup = list[i];
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      try {
        fixup.Prop->SetObj(fixup.Instance, ResolveReference(root, fixup.Path));
      } catch (const Exception&) {
        // The component found is not of the property's class: leave the property empty.
      }
      progress = true;
      break;
    }
  }
}

void DropGlobalReferences(TComponent* holder) {
  std::lock_guard lock(GlobalLock());
  auto& list = GlobalFixups();
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const TGlobalFixup& f) { return f.Holder == holder || f.Instance == holder; }),
             list.end());
}

size_t PendingGlobalReferenceCount() {
  std::lock_guard lock(GlobalLock());
  return GlobalFixups().size();
}

// ---------------------------------------------------------------------------
// Low-level reading

TReader::TReader(TStream& stream) : TFiler(stream), FSource(stream) {
  FStartPosition = stream.Position();
  FData = stream.ReadRest();
}

TReader::~TReader() {
  try {
    FSource.SetPosition(FStartPosition + static_cast<int64_t>(FPosition));
  } catch (...) {
    // Positioning a stream that was already read to the end cannot fail in practice.
  }
}

void TReader::Need(size_t count) {
  if (count > Remaining()) StreamReadError();
}

uint8_t TReader::ReadByte() {
  Need(1);
  return static_cast<uint8_t>(FData[FPosition++]);
}

void TReader::Read(void* buffer, size_t count) {
  Need(count);
  std::memcpy(buffer, FData.data() + FPosition, count);
  FPosition += count;
}

std::string TReader::TakeBytes(size_t count) {
  Need(count);
  std::string bytes = FData.substr(FPosition, count);
  FPosition += count;
  return bytes;
}

uint32_t TReader::ReadCount() {
  Need(4);
  const int32_t count = LoadLE<int32_t>(FData.data() + FPosition);
  FPosition += 4;
  if (count < 0 || static_cast<size_t>(count) > Remaining()) StreamReadError();
  return static_cast<uint32_t>(count);
}

TValueCode TReader::NextValue() {
  Need(1);
  return static_cast<TValueCode>(static_cast<uint8_t>(FData[FPosition]));
}

TValueCode TReader::ReadValue() { return static_cast<TValueCode>(ReadByte()); }

void TReader::ReadListBegin() {
  if (NextValue() != svList) InvalidValue();
  ++FPosition;
}

void TReader::ReadListEnd() {
  if (NextValue() != svNull) InvalidValue();
  ++FPosition;
}

void TReader::ReadSignature() {
  if (Remaining() < 4 || std::memcmp(FData.data() + FPosition, kSignature, 4) != 0)
    throw EInvalidImage("Invalid stream format");
  FPosition += 4;
}

void TReader::ReadPrefix(uint8_t& flags, int32_t& childPosition) {
  flags = 0;
  childPosition = 0;
  if (NextValue() < 0xF0) return;
  flags = ReadByte() & 0x0F;
  if (flags & hfChildPos) childPosition = ReadInteger();
}

std::string TReader::ReadStr() {
  const uint8_t length = ReadByte();
  return CodePageToUtf8(TakeBytes(length));
}

int32_t TReader::ReadInteger() {
  switch (NextValue()) {
    case svInt8: {
      ++FPosition;
      return static_cast<int8_t>(ReadByte());
    }
    case svInt16: {
      ++FPosition;
      return Fixed<int16_t>();
    }
    case svInt32: {
      ++FPosition;
      return Fixed<int32_t>();
    }
    default:
      InvalidValue();
  }
}

int64_t TReader::ReadInt64() {
  if (NextValue() != svInt64) return ReadInteger();
  ++FPosition;
  return Fixed<int64_t>();
}

Extended TReader::ReadFloat() {
  if (NextValue() != svExtended) return ReadInteger();
  ++FPosition;
  Need(10);
  const Extended v = DecodeExtended(reinterpret_cast<const uint8_t*>(FData.data() + FPosition));
  FPosition += 10;
  return v;
}

float TReader::ReadSingle() {
  if (NextValue() != svSingle) return static_cast<float>(ReadInteger());
  ++FPosition;
  return Fixed<float>();
}

int64_t TReader::ReadCurrency() {
  if (NextValue() != svCurrency) return static_cast<int64_t>(ReadInteger()) * 10000;
  ++FPosition;
  return Fixed<int64_t>();
}

double TReader::ReadDate() {
  if (NextValue() != svDate) return ReadInteger();
  ++FPosition;
  return Fixed<double>();
}

std::string TReader::ReadString() {
  switch (NextValue()) {
    case svString: {
      ++FPosition;
      const uint8_t length = ReadByte();
      return CodePageToUtf8(TakeBytes(length));
    }
    case svLString: {
      ++FPosition;
      return CodePageToUtf8(TakeBytes(ReadCount()));
    }
    case svUTF8String: {
      ++FPosition;
      return ValidUtf8(TakeBytes(ReadCount()));
    }
    case svWString: {
      ++FPosition;
      Need(4);
      const int32_t count = LoadLE<int32_t>(FData.data() + FPosition);
      FPosition += 4;
      if (count < 0 || static_cast<size_t>(count) > Remaining() / 2) StreamReadError();
      std::u16string text(static_cast<size_t>(count), u'\0');
      for (auto& unit : text) {
        unit = static_cast<char16_t>(LoadLE<uint16_t>(FData.data() + FPosition));
        FPosition += 2;
      }
      return Utf16ToUtf8(text);
    }
    default:
      InvalidValue();
  }
}

std::u16string TReader::ReadWideString() { return Utf8ToUtf16(ReadString()); }

std::string TReader::ReadIdent() {
  switch (ReadValue()) {
    case svIdent: return ReadStr();
    case svFalse: return "False";
    case svTrue: return "True";
    case svNull: return "Null";
    case svNil: return "nil";
    default: --FPosition; InvalidValue();
  }
}

bool TReader::ReadBoolean() {
  const TValueCode code = NextValue();
  if (code != svTrue && code != svFalse) InvalidValue();
  ++FPosition;
  return code == svTrue;
}

char32_t TReader::ReadChar() {
  const std::u16string text = Utf8ToUtf16(ReadString());
  if (text.size() > 1) InvalidValue();
  return text.empty() ? 0 : text[0];
}

std::string TReader::ReadBinary() {
  if (NextValue() != svBinary) InvalidValue();
  ++FPosition;
  return TakeBytes(ReadCount());
}

TVariant TReader::ReadVariant() {
  TVariant v;
  switch (NextValue()) {
    case svNil: ++FPosition; v.Type = TVariant::varEmpty; break;
    case svNull: ++FPosition; v.Type = TVariant::varNull; break;
    case svInt8: v.Type = TVariant::varShortInt; v.Int = ReadInteger(); break;
    case svInt16: v.Type = TVariant::varSmallint; v.Int = ReadInteger(); break;
    case svInt32: v.Type = TVariant::varInteger; v.Int = ReadInteger(); break;
    case svExtended: v.Type = TVariant::varDouble; v.Float = static_cast<double>(ReadFloat()); break;
    case svSingle: v.Type = TVariant::varDouble; v.Float = ReadSingle(); break;
    case svString:
    case svLString: v.Type = TVariant::varString; v.Text = ReadString(); break;
    case svFalse:
    case svTrue: v.Type = TVariant::varBoolean; v.Int = ReadBoolean(); break;
    case svCurrency: v.Type = TVariant::varCurrency; v.Int = ReadCurrency(); break;
    case svDate: v.Type = TVariant::varDate; v.Float = ReadDate(); break;
    case svWString:
    case svUTF8String: v.Type = TVariant::varOleStr; v.Text = ReadString(); break;
    case svInt64: v.Type = TVariant::varInt64; v.Int = ReadInt64(); break;
    default: StreamReadError();
  }
  return v;
}

void TReader::SkipSetBody() {
  while (ReadByte() != 0) {
    --FPosition;
    ReadStr();
  }
}

void TReader::SkipValue() {
  TDepthGuard guard(FDepth);
  switch (ReadValue()) {
    case svNull:
    case svFalse:
    case svTrue:
    case svNil: return;
    case svList:
      while (NextValue() != svNull) SkipValue();
      ++FPosition;
      return;
    case svInt8: Need(1), FPosition += 1; return;
    case svInt16: Need(2), FPosition += 2; return;
    case svInt32:
    case svSingle: Need(4), FPosition += 4; return;
    case svExtended: Need(10), FPosition += 10; return;
    case svCurrency:
    case svDate:
    case svInt64: Need(8), FPosition += 8; return;
    case svString:
    case svIdent: {
      const uint8_t length = ReadByte();
      Need(length);
      FPosition += length;
      return;
    }
    case svBinary:
    case svLString:
    case svUTF8String: FPosition += ReadCount(); return;
    case svWString: {
      Need(4);
      const int32_t count = LoadLE<int32_t>(FData.data() + FPosition);
      FPosition += 4;
      if (count < 0 || static_cast<size_t>(count) > Remaining() / 2) StreamReadError();
      FPosition += 2 * static_cast<size_t>(count);
      return;
    }
    case svSet: SkipSetBody(); return;
    case svCollection:
      while (NextValue() != svNull) {
        const TValueCode code = NextValue();
        if (code == svInt8 || code == svInt16 || code == svInt32) SkipValue();
        ReadListBegin();
        while (!EndOfList()) SkipProperty();
        ReadListEnd();
      }
      ++FPosition;
      return;
    default:
      --FPosition;
      InvalidValue();
  }
}

void TReader::SkipProperty() {
  ReadStr();
  SkipValue();
}

void TReader::SkipComponent(bool skipHeader) {
  TDepthGuard guard(FDepth);
  if (skipHeader) {
    uint8_t flags;
    int32_t position;
    ReadPrefix(flags, position);
    ReadStr();
    ReadStr();
  }
  while (!EndOfList()) SkipProperty();
  ++FPosition;
  while (!EndOfList()) SkipComponent(true);
  ++FPosition;
}

// ---------------------------------------------------------------------------
// Objects and properties

bool TReader::HandleError(const std::string& message) {
  if (!OnReadError) return false;
  bool handled = false;
  OnReadError(*this, message, handled);
  return handled;
}

void TReader::DefineCustomProperty(const std::string& name, TReaderProc read, TWriterProc, bool) {
  if (FPropHandled || !read || !SameText(name, FPropName)) return;
  FPropHandled = true;
  read(*this);
}

void TReader::DefineBinaryData(const std::string& name, TStreamProc read, TStreamProc, bool) {
  if (FPropHandled || !read || !SameText(name, FPropName)) return;
  FPropHandled = true;
  TMemoryStream data(ReadBinary());
  read(data);
}

void TReader::ReadProperty(TPersistent* instance) {
  const std::string path = ReadStr();
  const size_t valueStart = FPosition;
  bool valueRead = false;
  try {
    TPersistent* current = instance;
    size_t start = 0;
    for (size_t dot = path.find('.'); dot != std::string::npos; dot = path.find('.', start)) {
      const std::string part = path.substr(start, dot - start);
      const TPropertyInfo* prop = current->ClassType().FindProperty(part);
      if (!prop) throw EReadError(Format("Property %s does not exist", part));
      TPersistent* next = prop->Kind() == propClass && prop->GetObj ? prop->GetObj(current) : nullptr;
      if (!next) throw EReadError("Invalid property path");
      current = next;
      start = dot + 1;
    }
    const std::string last = path.substr(start);
    if (const TPropertyInfo* prop = current->ClassType().FindProperty(last)) {
      ReadPropValue(current, *prop);
    } else {
      FPropName = last;
      FPropHandled = false;
      current->DefineProperties(*this);
      if (!FPropHandled) throw EReadError(Format("Property %s does not exist", last));
    }
    valueRead = true;
  } catch (const Exception& e) {
    // Resume after this property's value, whatever part of it was read.
    if (!valueRead) {
      FPosition = valueStart;
      SkipValue();
    }
    std::string owner;
    if (auto* component = dynamic_cast<TComponent*>(instance)) owner = component->Name();
    if (owner.empty()) owner = instance->ClassName();
    const std::string message = Format("Error reading %s%s%s: %s", owner, ".", path, e.what());
    if (!HandleError(message)) throw EReadError(message);
  }
}

void TReader::ReadPropValue(TPersistent* instance, const TPropertyInfo& prop) {
  const TPropertyKind kind = prop.Kind();
  if (!prop.HasWrite()) {
    auto* sub = kind == propClass ? dynamic_cast<TComponent*>(prop.GetObj(instance)) : nullptr;
    if (!sub || !sub->IsSubComponent()) throw EReadError("Property is read-only");
  }
  switch (kind) {
    case propInteger: {
      if (NextValue() == svIdent) {
        const std::string ident = ReadIdent();
        const TIdentMap* map = FindIdentMap(prop.PropType);
        const auto value = map ? map->ValueOf(ident) : std::nullopt;
        if (!value) InvalidValue();
        SetOrdProp(instance, prop, *value);
      } else {
        SetOrdProp(instance, prop, ReadInteger());
      }
      return;
    }
    case propChar:
    case propWideChar: {
      const std::string text = ReadString();
      const std::u16string units = Utf8ToUtf16(text);
      if (units.size() > 1) InvalidValue();
      int32_t value = 0;
      if (!units.empty())
        value = kind == propWideChar ? units[0] : static_cast<uint8_t>(Utf8ToCodePageLossy(text)[0]);
      SetOrdProp(instance, prop, value);
      return;
    }
    case propEnumeration: {
      const int32_t value = prop.PropType->EnumValue(ReadIdent());
      if (value < 0) InvalidValue();
      SetOrdProp(instance, prop, value);
      return;
    }
    case propSet: ReadSet(instance, prop); return;
    case propFloat: SetFloatProp(instance, prop, ReadFloat()); return;
    case propShortString:
    case propString:
    case propWideString: SetStrProp(instance, prop, ReadString()); return;
    case propInt64: SetInt64Prop(instance, prop, ReadInt64()); return;
    case propVariant: SetVariantProp(instance, prop, ReadVariant()); return;
    case propMethod: {
      if (NextValue() == svNil) {
        ++FPosition;
        SetMethodProp(instance, prop, TMethod{});
        return;
      }
      const std::string name = ReadIdent();
      const TMethodEntry* entry = FRoot ? FRoot->ClassType().FindMethod(name) : nullptr;
      if (!entry) InvalidValue();
      SetMethodProp(instance, prop, TMethod{entry, FRoot});
      return;
    }
    case propClass: {
      switch (NextValue()) {
        case svNil:
          ++FPosition;
          SetObjectProp(instance, prop, nullptr);
          return;
        case svCollection: {
          auto* collection = dynamic_cast<TCollection*>(prop.GetObj(instance));
          if (!collection) InvalidValue();
          ++FPosition;
          ReadCollection(collection);
          return;
        }
        case svIdent:
          FFixups.push_back({instance, FCurrentHolder, &prop, ReadIdent()});
          return;
        default:
          InvalidValue();
      }
    }
    default:
      InvalidValue();
  }
}

void TReader::ReadSet(TPersistent* instance, const TPropertyInfo& prop) {
  if (ReadValue() != svSet) {
    --FPosition;
    InvalidValue();
  }
  uint32_t mask = 0;
  bool unknown = false;
  for (std::string name = ReadStr(); !name.empty(); name = ReadStr()) {
    const int32_t element = prop.PropType->CompType->EnumValue(name);
    if (element < 0)
      unknown = true;  // the rest of the set is still consumed
    else if (element <= 31)
      mask |= 1u << element;
  }
  if (unknown) InvalidValue();
  SetOrdProp(instance, prop, static_cast<int32_t>(mask));
}

void TReader::ReadCollection(TCollection* collection) {
  TDepthGuard guard(FDepth);
  collection->BeginUpdate();
  try {
    if (!EndOfList()) collection->Clear();
    while (!EndOfList()) {
      const TValueCode code = NextValue();
      if (code == svInt8 || code == svInt16 || code == svInt32) ReadInteger();  // the index is ignored
      ReadListBegin();
      TCollectionItem* item = collection->Add();
      while (!EndOfList()) ReadProperty(item);
      ReadListEnd();
    }
    ReadListEnd();
  } catch (...) {
    collection->EndUpdate();
    throw;
  }
  collection->EndUpdate();
}

void TReader::ReadData(TComponent* instance) {
  while (!EndOfList()) ReadProperty(instance);
  ++FPosition;
  TComponent* savedOwner = FOwner;
  TComponent* savedParent = FParent;
  TComponent* childOwner = instance->OwnerForChildren();
  FOwner = childOwner ? childOwner : FRoot;
  FParent = instance->ParentForChildren();
  try {
    while (!EndOfList()) ReadComponent();
    ++FPosition;
  } catch (...) {
    FOwner = savedOwner, FParent = savedParent;
    throw;
  }
  FOwner = savedOwner, FParent = savedParent;
}

const TClassDescriptor* TReader::FindComponentClass(const std::string& className) const {
  const TClassDescriptor* cls = nullptr;
  if (FRoot) cls = FRoot->ClassType().FindFieldClass(className);
  if (!cls && FLookupRoot && FLookupRoot != FRoot) cls = FLookupRoot->ClassType().FindFieldClass(className);
  if (!cls) cls = FindStreamClass(className);
  if (cls && (!cls->IsComponentClass() || !cls->CanCreate())) return nullptr;
  return cls;
}

TComponent* TReader::ReadComponent() {
  TDepthGuard guard(FDepth);
  uint8_t flags;
  int32_t childPosition;
  ReadPrefix(flags, childPosition);
  const std::string className = ReadStr();
  std::string name = ReadStr();
  TComponent* result = nullptr;
  bool created = false;
  bool existing = false;
  try {
    if (flags & hfInherited) {
      result = FLookupRoot ? FLookupRoot->FindComponent(name) : nullptr;
      if (!result) throw EReadError(Format("Ancestor for '%s' not found", name));
    } else if (ReadIntoExisting) {
      TComponent* found = FLookupRoot ? FLookupRoot->FindComponent(name) : nullptr;
      if (!found || found->ClassName() != className)
        throw EReadError(Format("Component '%s' of class %s not found", name, className));
      result = found;
      existing = true;
    } else {
      const TClassDescriptor* cls = FindComponentClass(className);
      if (!cls) throw EClassNotFound(Format("Class %s not found", className));
      result = cls->CreateComponent(FOwner);
      created = true;
      if (flags & hfInline) result->SetInline(true);
    }
    if (!existing) result->SetState(sfLoading);
    result->AttachToParent(FParent);
    if (OnNameRead) OnNameRead(*this, result, name);
    result->SetName(name);
  } catch (const Exception& e) {
    if (created && result)
      result->Free();
    else if (result)
      result->ClearState(sfLoading);  // an existing (inherited) component stays usable
    SkipComponent(false);
    if (!HandleError(e.what())) throw;
    return nullptr;
  }
  TComponent* savedHolder = FCurrentHolder;
  FCurrentHolder = result;
  result->SetState(sfReading);
  try {
    ReadData(result);
  } catch (...) {
    result->ClearState(sfReading);
    result->ClearState(sfLoading);
    FCurrentHolder = savedHolder;
    throw;
  }
  result->ClearState(sfReading);
  FCurrentHolder = savedHolder;
  if ((flags & hfChildPos) && FParent) FParent->SetChildPosition(result, childPosition);
  // A component comes after its children in the load order.
  if (!existing) FLoaded.push_back(result);
  return result;
}

void TReader::FixupReferences() {
  std::vector<TFixup> fixups;
  fixups.swap(FFixups);
  for (TFixup& f : fixups) {
    std::string path = f.Path;
    if (OnReferenceRead) OnReferenceRead(*this, path);
    TComponent* target = ResolveReference(FRoot, path);
    try {
      if (target) {
        f.Prop->SetObj(f.Instance, target);
      } else if (const size_t dot = path.find('.'); dot != std::string::npos) {
        std::lock_guard lock(GlobalLock());
        GlobalFixups().push_back(
            {f.Instance, f.Holder, f.Prop, path.substr(0, dot), path.substr(dot + 1), tCurrentReadId});
        if (f.Holder) f.Holder->MarkGlobalReferences();
      } else {
        f.Prop->SetObj(f.Instance, nullptr);
      }
    } catch (const Exception& e) {
      if (!HandleError(e.what())) throw;
    }
  }
}

void TReader::CallAfterLoad() {
  const std::vector<TComponent*> loaded = FLoaded;
  for (TComponent* c : loaded) {
    c->AfterLoad();
    c->ClearState(sfLoading);
  }
  FLoaded.clear();
}

void TReader::ClearLoadingState() {
  for (TComponent* c : FLoaded) {
    c->ClearState(sfLoading);
    c->ClearState(sfReading);
  }
  FLoaded.clear();
  FFixups.clear();
}

namespace {
// Tags the global references a read registers, so a failed read drops exactly those.
class TReadScope {
 public:
  TReadScope() : FSaved(tCurrentReadId) { tCurrentReadId = gNextReadId++; }
  ~TReadScope() { tCurrentReadId = FSaved; }
  uint64_t Id() const { return tCurrentReadId; }

 private:
  uint64_t FSaved;
};
}  // namespace

TComponent* TReader::ReadRootComponent(TComponent* root) {
  TReadScope scope;
  ReadSignature();
  uint8_t flags;
  int32_t childPosition;
  ReadPrefix(flags, childPosition);
  const std::string className = ReadStr();
  const std::string name = ReadStr();
  bool created = false;
  if (!root) {
    const TClassDescriptor* cls = FindStreamClass(className);
    if (!cls || !cls->IsComponentClass() || !cls->CanCreate())
      throw EClassNotFound(Format("Class %s not found", className));
    root = cls->CreateComponent(nullptr);
    created = true;
  }
  FRoot = root;
  FLookupRoot = root;
  FOwner = root;
  FCurrentHolder = root;
  try {
    if (!root->HasState(sfDesigning)) {
      // Unique among the program's top-level windows and modules.
      std::string unique = name;
      for (int i = 1; FindGlobalComponent(unique) && FindGlobalComponent(unique) != root; ++i)
        unique = Format("%s_%d", name, i);
      root->SetName(unique);
    }
    root->SetState(sfLoading);
    root->SetState(sfReading);
    FLoaded.push_back(root);
    ReadData(root);
    root->ClearState(sfReading);
    // The root's AfterLoad comes first.
    FixupReferences();
    CallAfterLoad();
    ResolveGlobalReferences();
  } catch (...) {
    DropGlobalReferencesOfRead(scope.Id());
    ClearLoadingState();
    root->ClearState(sfReading);
    root->ClearState(sfLoading);
    if (created) root->Free();
    throw;
  }
  return root;
}

void TReader::ReadComponents(TComponent* owner, TComponent* parent, const std::function<void(TComponent*)>& proc) {
  TReadScope scope;
  FRoot = owner;
  FLookupRoot = owner;
  FOwner = owner;
  FParent = parent;
  FCurrentHolder = owner;
  try {
    while (NextValue() != svNull) {
      ReadSignature();
      TComponent* component = ReadComponent();
      if (component && proc) proc(component);
    }
    ++FPosition;
    FixupReferences();
    CallAfterLoad();
    ResolveGlobalReferences();
  } catch (...) {
    DropGlobalReferencesOfRead(scope.Id());
    ClearLoadingState();
    throw;
  }
}

// ---------------------------------------------------------------------------

TComponent* LoadComponent(TStream& stream, TComponent* instance) {
  TReader reader(stream);
  return reader.ReadRootComponent(instance);
}

void LoadComponentList(TStream& stream, TComponent* root, TComponent* parent,
                       const std::function<void(TComponent*)>& proc) {
  TReader reader(stream);
  reader.ReadComponents(root, parent, proc);
}

}  // namespace rpt
