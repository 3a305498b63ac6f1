#pragma once
// Type descriptors of published properties, identifier maps for integer types, and
// the small value types (sets, variants, method pointers) that properties carry.
#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "objects/Exceptions.h"
#include "objects/Extended.h"

namespace rpt {

class TObject;
class TPersistent;
class TClassDescriptor;

// Marks "no default" and "no index": the smallest 32-bit integer.
constexpr int32_t NoDefault = std::numeric_limits<int32_t>::min();

enum TPropertyKind : uint8_t {
  propUnknown = 0,
  propInteger = 1,
  propChar = 2,
  propEnumeration = 3,
  propFloat = 4,
  propShortString = 5,
  propSet = 6,
  propClass = 7,
  propMethod = 8,
  propWideChar = 9,
  propString = 10,
  propWideString = 11,
  propVariant = 12,
  propArray = 13,
  propRecord = 14,
  propInterface = 15,
  propInt64 = 16,
  propDynArray = 17,
};

enum TOrdType : uint8_t { otSByte, otUByte, otSWord, otUWord, otSLong, otULong };
enum TFloatType : uint8_t { ftSingle, ftDouble, ftExtended, ftComp, ftCurr };
enum TMethodKind : uint8_t { mkProcedure, mkFunction };

// Names some values of an integer type; the stream writes the name instead of the number.
struct TIdentMapEntry {
  int32_t Value;
  const char* Name;
};

class TIdentMap {
 public:
  TIdentMap(std::initializer_list<TIdentMapEntry> entries) : FEntries(entries) {}
  // First entry with that value.
  std::optional<std::string_view> NameOf(int32_t value) const;
  // Case-insensitive.
  std::optional<int32_t> ValueOf(std::string_view name) const;
  const std::vector<TIdentMapEntry>& Entries() const { return FEntries; }

 private:
  std::vector<TIdentMapEntry> FEntries;
};

struct TParamInfo {
  uint8_t Flags = 0;  // 1 = var (in and out), 2 = const
  std::string Name;
  std::string TypeName;
};

struct TTypeInfo {
  TPropertyKind Kind = propUnknown;
  std::string Name;
  // propInteger, propChar, propEnumeration, propWideChar
  TOrdType OrdType = otSLong;
  int32_t MinValue = std::numeric_limits<int32_t>::min();
  int32_t MaxValue = std::numeric_limits<int32_t>::max();
  // propEnumeration
  const TTypeInfo* BaseType = nullptr;
  std::vector<std::string> NameList;
  // propSet
  const TTypeInfo* CompType = nullptr;
  // propFloat
  TFloatType FloatType = ftExtended;
  // propShortString
  uint8_t MaxLength = 255;
  // propClass
  const TClassDescriptor* ClassType = nullptr;
  // propMethod: handlers of the same signature can be bound
  std::type_index Signature = typeid(void);
  TMethodKind MethodKind = mkProcedure;
  std::vector<TParamInfo> Params;
  std::string ResultType;
  // propInt64
  int64_t MinInt64 = std::numeric_limits<int64_t>::min();
  int64_t MaxInt64 = std::numeric_limits<int64_t>::max();

  // Enumeration value name, or empty when out of range.
  std::string EnumName(int32_t value) const;
  // Case-insensitive; -1 when the name is none of the values.
  int32_t EnumValue(std::string_view name) const;
};

// The identifier maps of integer types (colours, charsets, cursors) are kept in a
// registry guarded by its own lock, so types of other libraries can add theirs.
void RegisterIdentMap(const TTypeInfo* type, const TIdentMap* map);
const TIdentMap* FindIdentMap(const TTypeInfo* type);

// ---------------------------------------------------------------------------
// Sets: at most 32 elements of an enumeration, bit n = element n.
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> elements) {
    for (E e : elements) Include(e);
  }
  static constexpr TSet FromMask(uint32_t mask) {
    TSet s;
    s.FBits = mask;
    return s;
  }
  constexpr uint32_t Mask() const { return FBits; }
  constexpr bool Contains(E e) const { return (FBits >> static_cast<unsigned>(e)) & 1u; }
  constexpr TSet& Include(E e) {
    FBits |= 1u << static_cast<unsigned>(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits &= ~(1u << static_cast<unsigned>(e));
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet operator+(TSet o) const { return FromMask(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromMask(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromMask(FBits & o.FBits); }
  constexpr bool operator==(const TSet&) const = default;

 private:
  uint32_t FBits = 0;
};

// ---------------------------------------------------------------------------
// Variants: the value types a variant property can stream.
struct TVariant {
  enum TVarType : uint8_t {
    varEmpty, varNull, varShortInt, varSmallint, varInteger, varByte, varWord, varLongWord,
    varInt64, varSingle, varDouble, varCurrency, varDate, varBoolean, varString, varOleStr,
    varArray
  };
  TVarType Type = varEmpty;
  int64_t Int = 0;         // integer kinds, Boolean, currency (ten-thousandths)
  double Float = 0;        // single, double, date
  std::string Text;        // varString (code-page text) and varOleStr (wide text), UTF-8
  bool operator==(const TVariant&) const = default;
};

// ---------------------------------------------------------------------------
// Method pointers. A published method is an entry of a class's method table; an event
// property holds the entry and the object it is bound to, so the stream can write the
// handler's name.
struct TMethodEntry {
  std::string Name;
  std::type_index Signature = typeid(void);
  // Returns a std::function<Signature> bound to the given object.
  std::function<std::any(TObject*)> Bind;
};

struct TMethod {
  const TMethodEntry* Code = nullptr;
  TObject* Data = nullptr;
  bool Assigned() const { return Code != nullptr; }
  bool operator==(const TMethod&) const = default;
};

template <class Sig, class Tag = void>
class TEvent;

// An event: a callable plus, when it was bound to a published method, that method.
// Tag names the method type (see RPT_EVENT_TYPE).
template <class R, class... A, class Tag>
class TEvent<R(A...), Tag> {
 public:
  using Function = std::function<R(A...)>;
  TEvent() = default;
  TEvent(Function f) : FHandler(std::move(f)) {}  // NOLINT: events are assigned from lambdas
  TEvent& operator=(Function f) {
    FHandler = std::move(f);
    FMethod = {};
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(FHandler); }
  R operator()(A... args) const { return FHandler(std::forward<A>(args)...); }
  const TMethod& Method() const { return FMethod; }
  // Binds to a published method; a method of another signature is refused.
  void SetMethod(const TMethod& m) {
    if (!m.Code) {
      FHandler = nullptr;
      FMethod = {};
      return;
    }
    std::any bound = m.Code->Bind(m.Data);
    auto* f = std::any_cast<Function>(&bound);
    if (!f) throw EPropertyError("Invalid property value");
    FHandler = *f;
    FMethod = m;
  }

 private:
  Function FHandler;
  TMethod FMethod;
};

// ---------------------------------------------------------------------------
// Type descriptors of C++ types. Builtins are declared here; enumerations and named
// integer types declare theirs with RPT_ENUM_TYPE / RPT_INTEGER_TYPE next to the type,
// where argument-dependent lookup finds them.
const TTypeInfo* TypeInfoFor(int32_t*);
const TTypeInfo* TypeInfoFor(int16_t*);
const TTypeInfo* TypeInfoFor(uint16_t*);
const TTypeInfo* TypeInfoFor(int8_t*);
const TTypeInfo* TypeInfoFor(uint8_t*);
const TTypeInfo* TypeInfoFor(uint32_t*);
const TTypeInfo* TypeInfoFor(bool*);
const TTypeInfo* TypeInfoFor(char*);
const TTypeInfo* TypeInfoFor(char16_t*);
const TTypeInfo* TypeInfoFor(float*);
const TTypeInfo* TypeInfoFor(double*);
const TTypeInfo* TypeInfoFor(long double*);
const TTypeInfo* TypeInfoFor(int64_t*);
const TTypeInfo* TypeInfoFor(std::string*);
const TTypeInfo* TypeInfoFor(std::u16string*);
const TTypeInfo* TypeInfoFor(TVariant*);

const TTypeInfo* MakeEnumTypeInfo(const char* name, std::initializer_list<const char*> names);
const TTypeInfo* MakeIntegerTypeInfo(const char* name, TOrdType ordType, int32_t min, int32_t max,
                                     const TIdentMap* map);
const TTypeInfo* MakeSetTypeInfo(const TTypeInfo* compType);
const TTypeInfo* MakeMethodTypeInfo(const char* name, std::type_index signature);
const TTypeInfo* MakeShortStringTypeInfo(uint8_t maxLength);

template <class T>
const TTypeInfo* TypeInfoOf() {
  return TypeInfoFor(static_cast<T*>(nullptr));
}

template <class E>
const TTypeInfo* TypeInfoFor(TSet<E>*) {
  static const TTypeInfo* info = MakeSetTypeInfo(TypeInfoOf<E>());
  return info;
}

template <class Sig, class Tag>
const TTypeInfo* TypeInfoFor(TEvent<Sig, Tag>*) {
  static const TTypeInfo* info = [] {
    if constexpr (std::is_void_v<Tag>)
      return MakeMethodTypeInfo("TMethod", typeid(Sig));
    else
      return MakeMethodTypeInfo(Tag::Name, typeid(Sig));
  }();
  return info;
}

}  // namespace rpt

// Declares the type descriptor of an enumeration: its value names in order.
#define RPT_ENUM_TYPE(Type, ...)                                                         \
  inline const ::rpt::TTypeInfo* TypeInfoFor(Type*) {                                   \
    static const ::rpt::TTypeInfo* info = ::rpt::MakeEnumTypeInfo(#Type, {__VA_ARGS__}); \
    return info;                                                                         \
  }

// Declares an integer type (an enum with an integer underlying type) with an identifier map.
#define RPT_INTEGER_TYPE(Type, OrdType, Min, Max, IdentMapPtr)                               \
  inline const ::rpt::TTypeInfo* TypeInfoFor(Type*) {                                       \
    static const ::rpt::TTypeInfo* info =                                                   \
        ::rpt::MakeIntegerTypeInfo(#Type, ::rpt::OrdType, Min, Max, IdentMapPtr);           \
    return info;                                                                             \
  }

// Declares a named event type, e.g. RPT_EVENT_TYPE(TNotifyEvent, void(TObject*)).
#define RPT_EVENT_TYPE(Alias, ...)                           \
  struct Alias##Name {                                       \
    static constexpr const char* Name = #Alias;              \
  };                                                         \
  using Alias = ::rpt::TEvent<__VA_ARGS__, Alias##Name>;
