#pragma once
// The root classes, class descriptors with their published property, method and field
// tables, property access by descriptor, and the registry of stream classes.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "objects/TypeInfo.h"

namespace rpt {

class TFiler;
class TComponent;
class TPersistent;
class TClassDescriptor;

// The base of every class with a descriptor. Destroy objects with Free(): it runs the
// virtual clean-up while the object still has its full dynamic type, then deletes it.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassDescriptor& StaticClass();
  virtual const TClassDescriptor& ClassType() const { return StaticClass(); }
  const std::string& ClassName() const;
  bool InheritsFrom(const TClassDescriptor& cls) const;
  template <class T>
  bool Is() const {
    return InheritsFrom(T::StaticClass());
  }

  void Free();

 protected:
  // Runs before the destructors, with the full dynamic type; overrides call the
  // inherited one last, as a destructor body would.
  virtual void BeforeDestruction() {}
  virtual void Destroy() {}
};

struct TFreeDeleter {
  void operator()(TObject* object) const {
    if (object) object->Free();
  }
};
template <class T>
using TOwnedPtr = std::unique_ptr<T, TFreeDeleter>;

class TPersistent : public TObject {
 public:
  static const TClassDescriptor& StaticClass();
  const TClassDescriptor& ClassType() const override { return StaticClass(); }

  // Copies the state of Source; fails with "Cannot assign a %s to a %s" when the class
  // cannot copy from it.
  virtual void AssignFrom(const TPersistent* source);
  // Declares custom streamed properties; see TFiler.
  virtual void DefineProperties(TFiler& filer);

 protected:
  // Called by AssignFrom of the source's class when the target does not know the source.
  virtual void AssignTo(TPersistent* dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// ---------------------------------------------------------------------------
enum class TStoredKind : uint8_t { Constant, Field, Predicate };

struct TPropertyInfo {
  std::string Name;
  const TTypeInfo* PropType = nullptr;
  int32_t Index = NoDefault;
  int32_t Default = NoDefault;
  int Position = 0;
  TStoredKind StoredKind = TStoredKind::Constant;
  bool StoredConstant = true;

  // Value access. Which pair is set follows from the kind; an absent setter means the
  // property is read-only.
  std::function<int32_t(const TPersistent*)> GetOrd;
  std::function<void(TPersistent*, int32_t)> SetOrd;
  std::function<Extended(const TPersistent*)> GetFloat;
  std::function<void(TPersistent*, Extended)> SetFloat;
  std::function<std::string(const TPersistent*)> GetStr;
  std::function<void(TPersistent*, const std::string&)> SetStr;
  std::function<TPersistent*(const TPersistent*)> GetObj;
  std::function<void(TPersistent*, TPersistent*)> SetObj;
  std::function<TMethod(const TPersistent*)> GetMethod;
  std::function<void(TPersistent*, const TMethod&)> SetMethod;
  std::function<TVariant(const TPersistent*)> GetVariant;
  std::function<void(TPersistent*, const TVariant&)> SetVariant;
  std::function<int64_t(const TPersistent*)> GetInt64;
  std::function<void(TPersistent*, int64_t)> SetInt64;
  std::function<bool(const TPersistent*)> Stored;  // field or predicate

  TPropertyKind Kind() const { return PropType ? PropType->Kind : propUnknown; }
  bool HasRead() const;
  bool HasWrite() const;
};

struct TFieldEntry {
  std::string Name;
  const TClassDescriptor* FieldClass = nullptr;
  std::function<void(TObject*, TComponent*)> Set;
  std::function<TComponent*(TObject*)> Get;
};

class TClassDescriptor {
 public:
  using Factory = std::function<TObject*()>;

  TClassDescriptor(std::string name, const TClassDescriptor* parent);

  const std::string& ClassName() const { return FName; }
  const TClassDescriptor* Parent() const { return FParent; }
  bool InheritsFrom(const TClassDescriptor& other) const;
  bool IsComponentClass() const;
  const TTypeInfo* TypeInfo() const { return &FTypeInfo; }

  // Constructs an instance (components: unowned, then inserted into Owner). Null for
  // abstract classes.
  bool CanCreate() const { return static_cast<bool>(FFactory); }
  TObject* CreateInstance() const;
  TComponent* CreateComponent(TComponent* owner) const;

  // Published properties in position order, ancestors first.
  const std::vector<const TPropertyInfo*>& Properties() const { return FProperties; }
  const TPropertyInfo* FindProperty(std::string_view name) const;
  // Own and inherited published methods and fields.
  const TMethodEntry* FindMethod(std::string_view name) const;
  const TMethodEntry* FindMethodByEntry(const TMethodEntry* entry) const;
  const TFieldEntry* FindField(std::string_view name) const;
  // The classes of the published fields, own and inherited.
  const TClassDescriptor* FindFieldClass(std::string_view className) const;
  const std::vector<TMethodEntry>& OwnMethods() const { return *FMethods; }

  // Used by the class builder while the descriptor is made.
  TPropertyInfo& AddProperty(std::unique_ptr<TPropertyInfo> info);
  TPropertyInfo& Republish(std::string_view name);
  void AddMethod(TMethodEntry entry);
  void AddField(TFieldEntry entry);
  void SetFactory(Factory factory) { FFactory = std::move(factory); }
  // False when the class keeps the default notification behaviour, so an owner can
  // skip forwarding to instances that own nothing and watch nothing.
  bool OverridesNotification() const { return FOverridesNotification; }
  void SetOverridesNotification(bool value) { FOverridesNotification = value; }
  // The C++ class the descriptor was built for; an instance of another dynamic type
  // is a subclass that declared no descriptor of its own.
  std::type_index CppType() const { return FCppType; }
  void SetCppType(std::type_index type) { FCppType = type; }

 private:
  std::string FName;
  const TClassDescriptor* FParent;
  TTypeInfo FTypeInfo;
  Factory FFactory;
  std::vector<const TPropertyInfo*> FProperties;
  std::unordered_map<std::string, const TPropertyInfo*> FPropertyIndex;  // lower-case name
  std::vector<std::unique_ptr<TPropertyInfo>> FOwnProperties;
  std::unique_ptr<std::vector<TMethodEntry>> FMethods;  // stable addresses for TMethod
  std::vector<TFieldEntry> FFields;
  bool FOverridesNotification = true;
  std::type_index FCppType = typeid(void);
};

// ---------------------------------------------------------------------------
// Property access by descriptor.
int32_t GetOrdProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetOrdProp(TPersistent* instance, const TPropertyInfo& prop, int32_t value);
Extended GetFloatProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetFloatProp(TPersistent* instance, const TPropertyInfo& prop, Extended value);
std::string GetStrProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetStrProp(TPersistent* instance, const TPropertyInfo& prop, const std::string& value);
TPersistent* GetObjectProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetObjectProp(TPersistent* instance, const TPropertyInfo& prop, TPersistent* value);
TMethod GetMethodProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetMethodProp(TPersistent* instance, const TPropertyInfo& prop, const TMethod& value);
TVariant GetVariantProp(const TPersistent* instance, const TPropertyInfo& prop);
void SetVariantProp(TPersistent* instance, const TPropertyInfo& prop, const TVariant& value);
int64_t GetInt64Prop(const TPersistent* instance, const TPropertyInfo& prop);
void SetInt64Prop(TPersistent* instance, const TPropertyInfo& prop, int64_t value);
bool IsStoredProp(const TPersistent* instance, const TPropertyInfo& prop);

const TPropertyInfo* GetPropInfo(const TObject* instance, std::string_view name);
const std::vector<const TPropertyInfo*>& GetPropList(const TObject* instance);

// ---------------------------------------------------------------------------
// Class registry, guarded by one lock.
void RegisterStreamClass(const TClassDescriptor& cls);
void RegisterStreamClasses(std::initializer_list<const TClassDescriptor*> classes);
const TClassDescriptor* FindStreamClass(std::string_view name);
void UnregisterStreamClass(const TClassDescriptor& cls);  // for tests and plug-ins

}  // namespace rpt
