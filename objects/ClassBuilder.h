#pragma once
// Declaring classes and their published tables.
//
//   class TShape : public TControl {
//     RPT_CLASS(TShape, TControl)
//     ...
//   };
//
//   RPT_BEGIN_CLASS(TShape, TControl)
//     c.Property("Shape", &TShape::FShape, &TShape::SetShape).Default(stRectangle);
//     c.Property("Pen", &TShape::Pen, &TShape::SetPen);
//     c.Property("OnClick", &TShape::OnClick, &TShape::OnClick);
//     c.Method("ShapeClick", &TShape::ShapeClick);
//   RPT_END_CLASS
//
// The property's kind and type descriptor follow from the C++ type of the getter or
// field, so a declaration cannot disagree with the member it reads.
#include <type_traits>

#include "objects/CodePage.h"
#include "objects/Persistent.h"

namespace rpt {

namespace detail {

template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {};

template <class T>
struct IsEvent : std::false_type {};
template <class Sig, class Tag>
struct IsEvent<TEvent<Sig, Tag>> : std::true_type {};

template <class T>
constexpr bool IsOrdinal = (std::is_integral_v<T> && sizeof(T) <= 4) || std::is_enum_v<T> || IsSet<T>::value;

template <class T>
int32_t ToOrd(const T& v) {
  if constexpr (IsSet<T>::value)
    return static_cast<int32_t>(v.Mask());
  else
    return static_cast<int32_t>(v);
}

template <class T>
T FromOrd(int32_t v) {
  if constexpr (IsSet<T>::value)
    return T::FromMask(static_cast<uint32_t>(v));
  else if constexpr (std::is_same_v<T, bool>)
    return v != 0;
  else
    return static_cast<T>(v);
}

template <class T>
const TTypeInfo* PropTypeOf() {
  if constexpr (std::is_pointer_v<T>)
    return std::remove_pointer_t<T>::StaticClass().TypeInfo();
  else
    return TypeInfoOf<T>();
}

// Reads the value through a field, a getter, or a getter taking the property's index.
template <class C, class G>
decltype(auto) Read(const G& get, const TPersistent* o, int32_t index) {
  const C* obj = static_cast<const C*>(o);
  if constexpr (std::is_member_object_pointer_v<G>)
    return (obj->*get);
  else if constexpr (std::is_invocable_v<G, const C*>)
    return (obj->*get)();
  else
    return (obj->*get)(index);
}

template <class C, class G>
using ReadType = std::decay_t<decltype(Read<C>(std::declval<G>(), nullptr, 0))>;

template <class C, class V, class S>
void Write(const S& set, TPersistent* o, int32_t index, V value) {
  C* obj = static_cast<C*>(o);
  if constexpr (std::is_member_object_pointer_v<S>) {
    if constexpr (IsEvent<V>::value)
      (obj->*set).SetMethod(value.Method());
    else
      obj->*set = std::move(value);
  } else if constexpr (std::is_invocable_v<S, C*, V>) {
    (obj->*set)(std::move(value));
  } else {
    (obj->*set)(index, std::move(value));
  }
}

TPropertyInfo& NewProperty(TClassDescriptor& d, const char* name, const TTypeInfo* type, int32_t index);

}  // namespace detail

template <class C>
class TPropertyBuilder {
 public:
  explicit TPropertyBuilder(TPropertyInfo& info) : P(info) {}

  template <class T>
  TPropertyBuilder& Default(const T& value) {
    P.Default = detail::ToOrd(value);
    return *this;
  }
  TPropertyBuilder& NoDefault() {
    P.Default = rpt::NoDefault;
    return *this;
  }
  TPropertyBuilder& Stored(bool constant) {
    P.StoredKind = TStoredKind::Constant;
    P.StoredConstant = constant;
    P.Stored = nullptr;
    return *this;
  }
  // A Boolean field, a predicate, or a predicate taking the property's index.
  template <class M>
  TPropertyBuilder& Stored(M member) {
    const int32_t index = P.Index;
    P.StoredKind = std::is_member_object_pointer_v<M> ? TStoredKind::Field : TStoredKind::Predicate;
    P.Stored = [member, index](const TPersistent* o) -> bool {
      return detail::Read<C>(member, o, index);
    };
    return *this;
  }
  // Replaces the deduced type descriptor by one with the same value access (for
  // example a named integer type or a short string).
  TPropertyBuilder& Type(const TTypeInfo* type) {
    P.PropType = type;
    return *this;
  }

 private:
  TPropertyInfo& P;
};

template <class C>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassDescriptor& d) : D(d) {}

  template <class G, class S = std::nullptr_t>
  TPropertyBuilder<C> Property(const char* name, G get, S set = nullptr) {
    return IndexedProperty(name, NoDefault, get, set);
  }

  template <class G, class S = std::nullptr_t>
  TPropertyBuilder<C> IndexedProperty(const char* name, int32_t index, G get, S set = nullptr) {
    using V = detail::ReadType<C, G>;
    // A property holding the class being built (a band's LinkBand) takes its descriptor
    // directly: asking the class for it would recurse into this very build.
    const TTypeInfo* type = nullptr;
    if constexpr (std::is_same_v<V, C*>)
      type = D.TypeInfo();
    else
      type = detail::PropTypeOf<V>();
    TPropertyInfo& p = detail::NewProperty(D, name, type, index);
    Bind<V>(p, get, set, index);
    return TPropertyBuilder<C>(p);
  }

  // Publishes an inherited property again at its position, to change its default or
  // stored rule.
  TPropertyBuilder<C> Republish(const char* name) { return TPropertyBuilder<C>(D.Republish(name)); }

  template <class R, class C2, class... A>
  void Method(const char* name, R (C2::*method)(A...)) {
    TMethodEntry e;
    e.Name = name;
    e.Signature = typeid(R(A...));
    e.Bind = [method](TObject* self) -> std::any {
      C* obj = dynamic_cast<C*>(self);
      if (!obj) return {};
      return std::function<R(A...)>([obj, method](A... a) -> R { return (obj->*method)(std::forward<A>(a)...); });
    };
    D.AddMethod(std::move(e));
  }

  template <class T>
  void Field(const char* name, T* C::*field) {
    TFieldEntry e;
    e.Name = name;
    e.FieldClass = &T::StaticClass();
    e.Set = [field](TObject* self, TComponent* value) {
      static_cast<C*>(self)->*field = value ? dynamic_cast<T*>(value) : nullptr;
    };
    e.Get = [field](TObject* self) -> TComponent* { return static_cast<C*>(self)->*field; };
    D.AddField(std::move(e));
  }

 private:
  template <class V, class G, class S>
  void Bind(TPropertyInfo& p, G get, S set, int32_t index) {
    constexpr bool kWritable = !std::is_null_pointer_v<S>;
    if constexpr (detail::IsOrdinal<V>) {
      p.GetOrd = [get, index](const TPersistent* o) { return detail::ToOrd(V(detail::Read<C>(get, o, index))); };
      if constexpr (kWritable)
        p.SetOrd = [set, index](TPersistent* o, int32_t v) { detail::Write<C, V>(set, o, index, detail::FromOrd<V>(v)); };
    } else if constexpr (std::is_floating_point_v<V>) {
      p.GetFloat = [get, index](const TPersistent* o) { return static_cast<Extended>(detail::Read<C>(get, o, index)); };
      if constexpr (kWritable)
        p.SetFloat = [set, index](TPersistent* o, Extended v) { detail::Write<C, V>(set, o, index, static_cast<V>(v)); };
    } else if constexpr (std::is_same_v<V, int64_t>) {
      p.GetInt64 = [get, index](const TPersistent* o) { return static_cast<int64_t>(detail::Read<C>(get, o, index)); };
      if constexpr (kWritable)
        p.SetInt64 = [set, index](TPersistent* o, int64_t v) { detail::Write<C, V>(set, o, index, v); };
    } else if constexpr (std::is_same_v<V, std::string>) {
      p.GetStr = [get, index](const TPersistent* o) { return std::string(detail::Read<C>(get, o, index)); };
      if constexpr (kWritable)
        p.SetStr = [set, index](TPersistent* o, const std::string& v) { detail::Write<C, V>(set, o, index, v); };
    } else if constexpr (std::is_same_v<V, std::u16string>) {
      p.GetStr = [get, index](const TPersistent* o) { return Utf16ToUtf8(detail::Read<C>(get, o, index)); };
      if constexpr (kWritable)
        p.SetStr = [set, index](TPersistent* o, const std::string& v) { detail::Write<C, V>(set, o, index, Utf8ToUtf16(v)); };
    } else if constexpr (std::is_pointer_v<V>) {
      using T = std::remove_pointer_t<V>;
      static_assert(std::is_base_of_v<TPersistent, T>, "class properties hold persistent objects");
      p.GetObj = [get, index](const TPersistent* o) -> TPersistent* { return detail::Read<C>(get, o, index); };
      if constexpr (kWritable)
        p.SetObj = [set, index](TPersistent* o, TPersistent* v) {
          T* typed = v ? dynamic_cast<T*>(v) : nullptr;
          if (v && !typed) throw EPropertyError("Invalid property value");
          detail::Write<C, V>(set, o, index, typed);
        };
    } else if constexpr (detail::IsEvent<V>::value) {
      p.GetMethod = [get, index](const TPersistent* o) { return detail::Read<C>(get, o, index).Method(); };
      if constexpr (kWritable)
        p.SetMethod = [set, index](TPersistent* o, const TMethod& m) {
          V event;
          event.SetMethod(m);
          detail::Write<C, V>(set, o, index, std::move(event));
        };
    } else if constexpr (std::is_same_v<V, TVariant>) {
      p.GetVariant = [get, index](const TPersistent* o) { return TVariant(detail::Read<C>(get, o, index)); };
      if constexpr (kWritable)
        p.SetVariant = [set, index](TPersistent* o, const TVariant& v) { detail::Write<C, V>(set, o, index, v); };
    } else {
      static_assert(sizeof(V) == 0, "no published property kind for this type");
    }
  }

  TClassDescriptor& D;
};

namespace detail {
TClassDescriptor& NewClassDescriptor(const char* name, const TClassDescriptor* parent);

template <class C, class Body>
const TClassDescriptor& BuildClass(const char* name, const TClassDescriptor* parent, Body body) {
  TClassDescriptor& d = NewClassDescriptor(name, parent);
  if constexpr (!std::is_abstract_v<C> && std::is_default_constructible_v<C>)
    d.SetFactory([]() -> TObject* { return new C(); });
  d.SetCppType(typeid(C));
  if constexpr (requires { typename C::TNotificationMember; })
    d.SetOverridesNotification(
        !std::is_same_v<decltype(&C::ComponentNotification), typename C::TNotificationMember>);
  TClassBuilder<C> builder(d);
  body(builder);
  return d;
}
}  // namespace detail

}  // namespace rpt

// Inside a class body: the descriptor accessors. Leaves the access at public.
#define RPT_CLASS(Class, Parent)                                                       \
 public:                                                                               \
  using inherited = Parent;                                                            \
  static const ::rpt::TClassDescriptor& StaticClass();                                 \
  const ::rpt::TClassDescriptor& ClassType() const override { return StaticClass(); }

// In one source file: the descriptor with its published tables, built on first use.
#define RPT_BEGIN_CLASS(Class, Parent)                                                              \
  const ::rpt::TClassDescriptor& Class::StaticClass() {                                             \
    static const ::rpt::TClassDescriptor& descriptor = ::rpt::detail::BuildClass<Class>(             \
        #Class, &Parent::StaticClass(), []([[maybe_unused]] ::rpt::TClassBuilder<Class>& c) {

#define RPT_END_CLASS \
  });                 \
  return descriptor;  \
  }
