#include <cmath>
#include <cstring>

#include "objects/CodePage.h"
#include "objects/Collection.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// Marks a component (and the sub-components it owns) as being written.
class TWritingScope {
 public:
  explicit TWritingScope(TComponent* c) : FComponent(c) { Mark(c, true); }
  ~TWritingScope() { Mark(FComponent, false); }

 private:
  static void Mark(TComponent* c, bool on) {
    on ? c->SetState(sfWriting) : c->ClearState(sfWriting);
    for (TComponent* owned : c->OwnedComponents())
      if (owned->IsSubComponent()) Mark(owned, on);
  }
  TComponent* FComponent;
};

template <class T>
void AppendLE(std::string& buffer, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));  // the targets are little-endian
  buffer.append(bytes, sizeof(T));
}

}  // namespace

TWriter::TWriter(TStream& stream) : TFiler(stream) {}

TWriter::~TWriter() {
  try {
    FlushBuffer();
  } catch (...) {
    // Reported by the explicit flush of the save functions; a destructor must not throw.
  }
}

void TWriter::FlushBuffer() {
  if (FBuffer.empty()) return;
  std::string pending;
  pending.swap(FBuffer);
  FStream.Write(pending.data(), pending.size());
}

void TWriter::Write(const void* bytes, size_t count) {
  FBuffer.append(static_cast<const char*>(bytes), count);
  if (FBuffer.size() >= (1u << 20)) FlushBuffer();
}

void TWriter::WriteValue(TValueCode code) { FBuffer += static_cast<char>(code); }

void TWriter::WriteSignature() { Write(kSignature, sizeof kSignature); }

void TWriter::WriteStr(std::string_view s) {
  std::string bytes = Utf8ToCodePageLossy(s);
  if (bytes.size() > 255) bytes.resize(255);
  FBuffer += static_cast<char>(bytes.size());
  FBuffer += bytes;
}

void TWriter::WritePropName(std::string_view name) {
  if (FPropPath.empty()) {
    WriteStr(name);
  } else {
    WriteStr(FPropPath + std::string(name));
  }
}

void TWriter::WriteInteger(int32_t value) {
  if (value >= -128 && value <= 127) {
    WriteValue(svInt8);
    FBuffer += static_cast<char>(static_cast<int8_t>(value));
  } else if (value >= -32768 && value <= 32767) {
    WriteValue(svInt16);
    AppendLE(FBuffer, static_cast<int16_t>(value));
  } else {
    WriteValue(svInt32);
    AppendLE(FBuffer, value);
  }
}

void TWriter::WriteInt64(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteInteger(static_cast<int32_t>(value));
  } else {
    WriteValue(svInt64);
    AppendLE(FBuffer, value);
  }
}

void TWriter::WriteFloat(Extended value) {
  WriteValue(svExtended);
  const ExtendedBytes bytes = EncodeExtended(value);
  Write(bytes.data(), bytes.size());
}

void TWriter::WriteSingle(float value) {
  WriteValue(svSingle);
  AppendLE(FBuffer, value);
}

void TWriter::WriteCurrency(int64_t tenThousandths) {
  WriteValue(svCurrency);
  AppendLE(FBuffer, tenThousandths);
}

void TWriter::WriteDate(double value) {
  WriteValue(svDate);
  AppendLE(FBuffer, value);
}

void TWriter::WriteStringBytes(std::string_view bytes) {
  if (bytes.size() <= 255) {
    WriteValue(svString);
    FBuffer += static_cast<char>(bytes.size());
  } else {
    WriteValue(svLString);
    AppendLE(FBuffer, static_cast<int32_t>(bytes.size()));
  }
  Write(bytes.data(), bytes.size());
}

void TWriter::WriteUTF8Str(std::string_view text) {
  WriteValue(svUTF8String);
  AppendLE(FBuffer, static_cast<int32_t>(text.size()));
  Write(text.data(), text.size());
}

void TWriter::WriteString(std::string_view text) {
  const std::string utf8 = ValidUtf8(text);
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  if (utf8.size() < 2 * utf16.size() || utf16.empty()) {
    if (IsAscii(utf8))
      WriteStringBytes(utf8);
    else
      WriteUTF8Str(utf8);
  } else {
    WriteWideString(utf16);
  }
}

void TWriter::WriteWideString(std::u16string_view text) {
  WriteValue(svWString);
  AppendLE(FBuffer, static_cast<int32_t>(text.size()));
  for (char16_t unit : text) AppendLE(FBuffer, static_cast<uint16_t>(unit));
}

void TWriter::WriteListString(std::string_view text) {
  const std::string utf8 = ValidUtf8(text);
  if (IsAscii(utf8))
    WriteStringBytes(utf8);
  else
    WriteUTF8Str(utf8);
}

void TWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False")) {
    WriteValue(svFalse);
  } else if (SameText(ident, "True")) {
    WriteValue(svTrue);
  } else if (SameText(ident, "Null")) {
    WriteValue(svNull);
  } else if (SameText(ident, "nil")) {
    WriteValue(svNil);
  } else {
    WriteValue(svIdent);
    WriteStr(ident);
  }
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? svTrue : svFalse); }

void TWriter::WriteChar(char32_t value) {
  WriteListString(value ? Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value))) : std::string());
}

void TWriter::WriteBinary(std::string_view bytes) {
  WriteValue(svBinary);
  AppendLE(FBuffer, static_cast<int32_t>(bytes.size()));
  Write(bytes.data(), bytes.size());
}

void TWriter::WriteVariant(const TVariant& v) {
  switch (v.Type) {
    case TVariant::varEmpty: WriteValue(svNil); break;
    case TVariant::varNull: WriteValue(svNull); break;
    case TVariant::varShortInt:
    case TVariant::varSmallint:
    case TVariant::varInteger:
    case TVariant::varByte:
    case TVariant::varWord: WriteInteger(static_cast<int32_t>(v.Int)); break;
    case TVariant::varLongWord:
    case TVariant::varInt64: WriteInt64(v.Int); break;
    case TVariant::varSingle: WriteSingle(static_cast<float>(v.Float)); break;
    case TVariant::varDouble: WriteFloat(v.Float); break;
    case TVariant::varCurrency: WriteCurrency(v.Int); break;
    case TVariant::varDate: WriteDate(v.Float); break;
    case TVariant::varBoolean: WriteBoolean(v.Int != 0); break;
    case TVariant::varOleStr: WriteString(v.Text); break;
    case TVariant::varString: WriteListString(v.Text); break;
    case TVariant::varArray: throw EWriteError("Stream write error");
  }
}

// ---------------------------------------------------------------------------

std::string TWriter::ReferencePath(TComponent* c) const {
  TComponent* root = FLookupRoot;
  if (!c) return {};
  if (c->Owner() == root && root) return c->Name().empty() ? std::string() : c->Name();
  if (c == root) return "Owner";
  TComponent* owner = c->Owner();
  if (owner && !owner->Name().empty() && !c->Name().empty()) {
    for (TComponent* o = owner->Owner(); o; o = o->Owner())
      if (o == root) {
        const std::string ownerPath = ReferencePath(owner);
        return ownerPath.empty() ? std::string() : ownerPath + "." + c->Name();
      }
    return owner->Name() + "." + c->Name();
  }
  if (!c->Name().empty()) return c->Name() + ".Owner";
  return {};
}

void TWriter::WriteProperty(TPersistent* instance, const TPropertyInfo& prop) {
  const TPropertyKind kind = prop.Kind();
  switch (kind) {
    case propInteger: {
      const int32_t value = prop.GetOrd(instance);
      if (prop.Default != NoDefault && value == prop.Default) return;
      WritePropName(prop.Name);
      const TIdentMap* map = FindIdentMap(prop.PropType);
      if (auto name = map ? map->NameOf(value) : std::nullopt)
        WriteIdent(*name);
      else
        WriteInteger(value);
      return;
    }
    case propChar: {
      const int32_t value = prop.GetOrd(instance);
      if (prop.Default != NoDefault && value == prop.Default) return;
      WritePropName(prop.Name);
      WriteListString(value ? CodePageToUtf8(std::string(1, static_cast<char>(value))) : std::string());
      return;
    }
    case propEnumeration: {
      const int32_t value = prop.GetOrd(instance);
      if (prop.Default != NoDefault && value == prop.Default) return;
      WritePropName(prop.Name);
      WriteIdent(prop.PropType->EnumName(value));
      return;
    }
    case propSet: {
      const int32_t value = prop.GetOrd(instance);
      if (prop.Default != NoDefault && value == prop.Default) return;
      WritePropName(prop.Name);
      WriteValue(svSet);
      const TTypeInfo* element = prop.PropType->CompType;
      for (int bit = 0; bit < 32; ++bit)
        if (static_cast<uint32_t>(value) & (1u << bit)) WriteStr(element->EnumName(bit));
      WriteStr("");
      return;
    }
    case propFloat: {
      const Extended value = prop.GetFloat(instance);
      if (value == 0) return;
      WritePropName(prop.Name);
      WriteFloat(value);
      return;
    }
    case propInt64: {
      const int64_t value = prop.GetInt64(instance);
      if (value == 0) return;
      WritePropName(prop.Name);
      WriteInt64(value);
      return;
    }
    case propShortString:
    case propString:
    case propWideString: {
      const std::string value = prop.GetStr(instance);
      if (value.empty()) return;
      WritePropName(prop.Name);
      WriteString(value);
      return;
    }
    case propVariant: {
      const TVariant value = prop.GetVariant(instance);
      if (value.Type == TVariant::varEmpty) return;
      WritePropName(prop.Name);
      WriteVariant(value);
      return;
    }
    case propMethod: {
      const TMethod method = prop.GetMethod(instance);
      if (!method.Assigned() || !FLookupRoot) return;
      const TMethodEntry* entry = FLookupRoot->ClassType().FindMethodByEntry(method.Code);
      if (!entry) return;
      WritePropName(prop.Name);
      WriteIdent(entry->Name);
      return;
    }
    case propClass: {
      TPersistent* object = prop.GetObj(instance);
      if (!object) return;
      auto* component = dynamic_cast<TComponent*>(object);
      if (component && !component->IsSubComponent()) {
        const std::string path = ReferencePath(component);
        if (path.empty()) return;
        WritePropName(prop.Name);
        WriteIdent(path);
        return;
      }
      WriteNested(object, prop.Name);
      return;
    }
    default:
      return;  // wide char, arrays, records, interfaces, unknown: never written
  }
}

void TWriter::WriteNested(TPersistent* object, const std::string& name) {
  const std::string saved = FPropPath;
  FPropPath = saved + name + ".";
  WriteProperties(object);
  FPropPath = saved;
  if (auto* collection = dynamic_cast<TCollection*>(object)) {
    WritePropName(name);
    WriteCollection(collection);
  }
}

void TWriter::WriteCollection(TCollection* collection) {
  WriteValue(svCollection);
  const std::string saved = FPropPath;
  FPropPath.clear();
  for (int i = 0; i < collection->Count(); ++i) {
    WriteListBegin();
    WriteProperties(collection->Items(i));
    WriteListEnd();
  }
  FPropPath = saved;
  WriteListEnd();
}

void TWriter::WriteProperties(TPersistent* instance) {
  for (const TPropertyInfo* prop : instance->ClassType().Properties()) {
    if (!prop->HasRead()) continue;
    if (!prop->HasWrite()) {
      // Only a sub-component may be written through a read-only property.
      if (prop->Kind() != propClass) continue;
      auto* sub = dynamic_cast<TComponent*>(prop->GetObj(instance));
      if (!sub || !sub->IsSubComponent()) continue;
    }
    if (!IsStoredProp(instance, *prop)) continue;
    WriteProperty(instance, *prop);
  }
  instance->DefineProperties(*this);
}

void TWriter::DefineCustomProperty(const std::string& name, TReaderProc, TWriterProc write, bool hasData) {
  if (!hasData || !write) return;
  WritePropName(name);
  write(*this);
}

void TWriter::DefineBinaryData(const std::string& name, TStreamProc, TStreamProc write, bool hasData) {
  if (!hasData || !write) return;
  TMemoryStream data;
  write(data);
  WritePropName(name);
  WriteBinary(data.Data());
}

void TWriter::WriteComponent(TComponent* component) {
  TWritingScope writing(component);
  WriteStr(component->ClassName());
  WriteStr(component->Name());
  WriteProperties(component);
  WriteListEnd();
  component->EnumerateChildren([this](TComponent* child) { WriteComponent(child); }, FRoot);
  WriteListEnd();
}

void TWriter::WriteRootComponent(TComponent* root) {
  FRoot = root;
  FLookupRoot = root;
  WriteSignature();
  WriteComponent(root);
}

// ---------------------------------------------------------------------------

void SaveComponent(TStream& stream, TComponent* instance) {
  TWriter writer(stream);
  writer.WriteRootComponent(instance);
  writer.FlushBuffer();
}

void SaveComponentList(TStream& stream, TComponent* root, const std::vector<TComponent*>& list) {
  TWriter writer(stream);
  writer.SetRoot(root);
  writer.SetLookupRoot(root);
  for (TComponent* c : list) {
    writer.WriteSignature();
    writer.WriteComponent(c);
  }
  writer.WriteListEnd();
  writer.FlushBuffer();
}

}  // namespace rpt
