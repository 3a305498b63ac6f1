#include "objects/TypeInfo.h"

#include <map>
#include <memory>
#include <mutex>

#include "objects/CodePage.h"

namespace rpt {

std::optional<std::string_view> TIdentMap::NameOf(int32_t value) const {
  for (const auto& e : FEntries)
    if (e.Value == value) return std::string_view(e.Name);
  return std::nullopt;
}

std::optional<int32_t> TIdentMap::ValueOf(std::string_view name) const {
  for (const auto& e : FEntries)
    if (SameText(e.Name, name)) return e.Value;
  return std::nullopt;
}

std::string TTypeInfo::EnumName(int32_t value) const {
  const TTypeInfo* base = BaseType ? BaseType : this;
  if (value < 0 || static_cast<size_t>(value) >= base->NameList.size()) return {};
  return base->NameList[static_cast<size_t>(value)];
}

int32_t TTypeInfo::EnumValue(std::string_view name) const {
  const TTypeInfo* base = BaseType ? BaseType : this;
  for (size_t i = 0; i < base->NameList.size(); ++i)
    if (SameText(base->NameList[i], name)) return static_cast<int32_t>(i);
  return -1;
}

namespace {

std::mutex& IdentMapLock() {
  static std::mutex m;
  return m;
}
std::map<const TTypeInfo*, const TIdentMap*>& IdentMaps() {
  static auto* maps = new std::map<const TTypeInfo*, const TIdentMap*>;
  return *maps;
}

// Type descriptors live as long as the program: classes and properties point at them.
TTypeInfo* Keep(std::unique_ptr<TTypeInfo> info) { return info.release(); }

const TTypeInfo* Ordinal(TPropertyKind kind, const char* name, TOrdType ot, int32_t min, int32_t max) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = kind;
  info->Name = name;
  info->OrdType = ot;
  info->MinValue = min;
  info->MaxValue = max;
  return Keep(std::move(info));
}

const TTypeInfo* Simple(TPropertyKind kind, const char* name) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = kind;
  info->Name = name;
  return Keep(std::move(info));
}

const TTypeInfo* Float(const char* name, TFloatType ft) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = propFloat;
  info->Name = name;
  info->FloatType = ft;
  return Keep(std::move(info));
}

}  // namespace

void RegisterIdentMap(const TTypeInfo* type, const TIdentMap* map) {
  std::lock_guard lock(IdentMapLock());
  IdentMaps()[type] = map;
}

const TIdentMap* FindIdentMap(const TTypeInfo* type) {
  std::lock_guard lock(IdentMapLock());
  auto it = IdentMaps().find(type);
  return it == IdentMaps().end() ? nullptr : it->second;
}

const TTypeInfo* TypeInfoFor(int32_t*) {
  static const TTypeInfo* info = Ordinal(propInteger, "Integer", otSLong, INT32_MIN, INT32_MAX);
  return info;
}
const TTypeInfo* TypeInfoFor(int16_t*) {
  static const TTypeInfo* info = Ordinal(propInteger, "Smallint", otSWord, -32768, 32767);
  return info;
}
const TTypeInfo* TypeInfoFor(uint16_t*) {
  static const TTypeInfo* info = Ordinal(propInteger, "Word", otUWord, 0, 65535);
  return info;
}
const TTypeInfo* TypeInfoFor(int8_t*) {
  static const TTypeInfo* info = Ordinal(propInteger, "ShortInt", otSByte, -128, 127);
  return info;
}
const TTypeInfo* TypeInfoFor(uint8_t*) {
  static const TTypeInfo* info = Ordinal(propInteger, "Byte", otUByte, 0, 255);
  return info;
}
const TTypeInfo* TypeInfoFor(uint32_t*) {
  // Cardinal's range does not fit the 32-bit signed bounds; the maximum reads as -1.
  static const TTypeInfo* info = Ordinal(propInteger, "Cardinal", otULong, 0, -1);
  return info;
}
const TTypeInfo* TypeInfoFor(bool*) {
  static const TTypeInfo* info = MakeEnumTypeInfo("Boolean", {"False", "True"});
  return info;
}
const TTypeInfo* TypeInfoFor(char*) {
  static const TTypeInfo* info = Ordinal(propChar, "Char", otUByte, 0, 255);
  return info;
}
const TTypeInfo* TypeInfoFor(char16_t*) {
  static const TTypeInfo* info = Ordinal(propWideChar, "WideChar", otUWord, 0, 65535);
  return info;
}
const TTypeInfo* TypeInfoFor(float*) {
  static const TTypeInfo* info = Float("Single", ftSingle);
  return info;
}
const TTypeInfo* TypeInfoFor(double*) {
  static const TTypeInfo* info = Float("Double", ftDouble);
  return info;
}
const TTypeInfo* TypeInfoFor(long double*) {
  static const TTypeInfo* info = Float("Extended", ftExtended);
  return info;
}
const TTypeInfo* TypeInfoFor(int64_t*) {
  static const TTypeInfo* info = Simple(propInt64, "Int64");
  return info;
}
const TTypeInfo* TypeInfoFor(std::string*) {
  static const TTypeInfo* info = Simple(propString, "string");
  return info;
}
const TTypeInfo* TypeInfoFor(std::u16string*) {
  static const TTypeInfo* info = Simple(propWideString, "WideString");
  return info;
}
const TTypeInfo* TypeInfoFor(TVariant*) {
  static const TTypeInfo* info = Simple(propVariant, "Variant");
  return info;
}

const TTypeInfo* MakeEnumTypeInfo(const char* name, std::initializer_list<const char*> names) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = propEnumeration;
  info->Name = name;
  info->OrdType = names.size() <= 256 ? otUByte : otUWord;
  info->MinValue = 0;
  info->MaxValue = static_cast<int32_t>(names.size()) - 1;
  for (const char* n : names) info->NameList.emplace_back(n);
  return Keep(std::move(info));
}

const TTypeInfo* MakeIntegerTypeInfo(const char* name, TOrdType ordType, int32_t min, int32_t max,
                                     const TIdentMap* map) {
  const TTypeInfo* info = Ordinal(propInteger, name, ordType, min, max);
  if (map) RegisterIdentMap(info, map);
  return info;
}

const TTypeInfo* MakeSetTypeInfo(const TTypeInfo* compType) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = propSet;
  info->Name = "set of " + compType->Name;
  info->OrdType = otULong;
  info->CompType = compType;
  return Keep(std::move(info));
}

const TTypeInfo* MakeMethodTypeInfo(const char* name, std::type_index signature) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = propMethod;
  info->Name = name;
  info->Signature = signature;
  return Keep(std::move(info));
}

const TTypeInfo* MakeShortStringTypeInfo(uint8_t maxLength) {
  auto info = std::make_unique<TTypeInfo>();
  info->Kind = propShortString;
  info->Name = "ShortString";
  info->MaxLength = maxLength;
  return Keep(std::move(info));
}

}  // namespace rpt
