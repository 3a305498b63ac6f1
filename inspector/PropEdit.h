#pragma once
// The property editor framework: an editor turns one published property of one or
// more objects into a row of the inspector. It gives the value text, takes typed text,
// offers a value list, runs a dialog, makes editors for sub-properties, and writes one
// value into every inspected object at once.
//
// The inspector's side of the contract:
//   - rows:      BuildEditors over the inspected objects (one editor per common property);
//   - a row:     GetValueText (shown only when ValuesAgree), SetValueText (typed text;
//                throws EZQKPropEditor / EPropertyError / setter failures, nothing written),
//                GetAttributes (eaValueList, eaDialog, eaSubItems, eaReadOnlyText,
//                eaMultiSelect, ...), ValueList (FillValueList, sorted when asked),
//                RunDialog (the ellipsis button), FillSubEditors (expanding);
//   - callbacks: the six of the editor plus OnWrite, installed with SetCallbacks;
//                sub-editors start with their parent's;
//   - lifetime:  TZQKPropEditorWatch tells when a component an editor refers to is being
//                destroyed and marks those editors stale, so rows can be rebuilt.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "objects/Component.h"

namespace rpt {

class TCanvas;
class TZQKPropEditor;

// Validation failures of the editors ("Invalid property value", "Value must be between
// %d and %d").
class EZQKPropEditor : public Exception {
  using Exception::Exception;
};

// ---------------------------------------------------------------------------
// Attributes: what a row offers for the property (one bit each).
enum TZQKPropAttribute : uint16_t {
  eaValueList = 1,            // drop-down list of values (FillValueList)
  eaSubItems = 2,             // expands into sub-property rows (FillSubEditors)
  eaDialog = 4,               // ellipsis button that runs RunDialog
  eaMultiSelect = 8,          // stays when more than one object is inspected
  eaSortedValues = 16,        // the value list is sorted alphabetically before it is shown
  eaReadOnlyText = 32,        // the value cannot be typed
  eaRebuildSubItems = 64,     // after every write the expanded sub-rows are rebuilt
  eaHideInReference = 128,    // left out among the sub-properties of a referenced component
  eaApplyOnKeystroke = 256,   // typed text is applied on every change, not only on Enter
  eaOwnerDrawValues = 512,    // drop-down items are measured and painted by the editor
  eaComponentReference = 1024 // the value refers to a component
};
using TZQKPropAttributes = uint16_t;

// ---------------------------------------------------------------------------
// Editor classes: a class reference with a virtual constructor, compared by identity.
struct TZQKPropEditorClassInfo {
  const char* ClassName;
  const TZQKPropEditorClassInfo* Parent;
  // Null for classes that are only made from a parent editor (nested editors).
  std::unique_ptr<TZQKPropEditor> (*Create)(int count);
  bool InheritsFrom(const TZQKPropEditorClassInfo* other) const;
};
using TZQKPropEditorClass = const TZQKPropEditorClassInfo*;

// ---------------------------------------------------------------------------
// Callbacks an editor asks its inspector through.
using TZQKEditorNotifyEvent = std::function<void(TZQKPropEditor* sender)>;
using TZQKFindComponentEvent =
    std::function<void(TZQKPropEditor* sender, const std::string& name, TComponent*& component)>;
using TZQKListComponentsEvent =
    std::function<void(TZQKPropEditor* sender, const TClassDescriptor* cls, std::vector<TComponent*>& list)>;
using TZQKComponentDisplayNameEvent =
    std::function<void(TZQKPropEditor* sender, TComponent* component, std::string& name)>;
using TZQKComparePropertiesEvent = std::function<void(TZQKPropEditor* sender, TPersistent* instance,
                                                      const TPropertyInfo* prop1, const TPropertyInfo* prop2,
                                                      int& result)>;
using TZQKSortSubPropertiesEvent = std::function<void(TZQKPropEditor* sender, bool& sorted)>;
// Wraps every write of an editor: Caption names the change ("Change Caption",
// "Change Font.Size"), Components are the components whose state the write changes (the
// inspected ones, or the referenced ones for properties of a referenced component), and
// Write does it. The hook must call Write once (for example inside the designer's
// ChangeComponents, so the change becomes an undo step) and let its failure propagate.
using TZQKPropWriteHook = std::function<void(const std::string& caption,
                                             const std::vector<TComponent*>& components,
                                             const std::function<void()>& write)>;

struct TZQKPropEditorCallbacks {
  TZQKEditorNotifyEvent OnEditorModified;  // after every write
  TZQKFindComponentEvent OnFindComponent;
  TZQKListComponentsEvent OnListComponents;
  TZQKComponentDisplayNameEvent OnComponentDisplayName;
  TZQKComparePropertiesEvent OnCompareProperties;
  TZQKSortSubPropertiesEvent OnSortSubProperties;
  TZQKPropWriteHook OnWrite;  // none: the write just runs
};

// ---------------------------------------------------------------------------
// Choosing an editor class for one property of one instance: null means no row.
using TZQKChooseEditorClass =
    std::function<TZQKPropEditorClass(bool isSubProperty, TPersistent* instance, const TPropertyInfo* prop)>;

enum TZQKPropertyInspectorPropKind : uint8_t { pkProperties, pkEvents, pkReadOnly };
RPT_ENUM_TYPE(TZQKPropertyInspectorPropKind, "pkProperties", "pkEvents", "pkReadOnly")
using TZQKPropertyInspectorPropKinds = TSet<TZQKPropertyInspectorPropKind>;

// An editor registration: type (or an ancestor class type), instance class or none,
// property name or empty, editor class (none falls through).
struct TZQKPropertyInspectorEditorDescr {
  const TTypeInfo* PropertyType = nullptr;
  const TClassDescriptor* InstanceClass = nullptr;
  std::string PropertyName;
  TZQKPropEditorClass EditorClass = nullptr;
};

// The whole choice rule: the inspector's OnGetEditorClass, the kind filter, the access
// filter, OnFilterProp, the registrations (last to first), then the editor for the type.
struct TZQKEditorChoice {
  TZQKPropertyInspectorPropKinds PropKinds{pkProperties};
  std::function<void(TPersistent* instance, const TPropertyInfo* prop, TZQKPropEditorClass& editorClass)>
      OnGetEditorClass;
  std::function<void(TPersistent* instance, const TPropertyInfo* prop, bool isSubProp, bool& include)> OnFilterProp;
  std::vector<TZQKPropertyInspectorEditorDescr> EditorRegistrations;

  TZQKPropEditorClass Choose(bool isSubProperty, TPersistent* instance, const TPropertyInfo* prop) const;
  // Choose as a chooser callback; the choice must outlive it.
  TZQKChooseEditorClass Chooser() const;
};

// The editor class for a property's type alone: the special types by identity of their
// descriptor (colour, cursor, font, strings, ...), then the kind.
TZQKPropEditorClass EditorClassForType(const TPropertyInfo& prop);

// ---------------------------------------------------------------------------
// Which type kinds BuildEditors considers: bit n = TPropertyKind n.
using TZQKTypeKinds = uint32_t;
constexpr TZQKTypeKinds kAllTypeKinds = 0x3FFFF;

using TPropEditorList = std::vector<std::unique_ptr<TZQKPropEditor>>;
// <0, 0, >0 for two properties of an instance.
using TZQKPropertyCompare =
    std::function<int(TPersistent* instance, const TPropertyInfo* prop1, const TPropertyInfo* prop2)>;

// One editor per property that every object has (same name ignoring case, identical
// type descriptor), in object 0's order (sorted by name, by Compare, or the class's
// order), appended to Result. A row is left out when the chosen classes differ among
// the objects or none is chosen, when several objects are given and the editor lacks
// eaMultiSelect, and with SkipHidden when it has eaHideInReference.
void BuildEditors(const std::vector<TPersistent*>& objects, TZQKTypeKinds kinds, TPropEditorList& result,
                  const TZQKPropertyCompare& compare, bool sorted, const TZQKChooseEditorClass& choose,
                  bool isSubProperty, bool skipHidden);

// ---------------------------------------------------------------------------
// One pair of the editor's targets: an object and its same-named property.
struct TZQKPropTarget {
  TPersistent* Instance = nullptr;
  const TPropertyInfo* Property = nullptr;
};

// The base of every property editor. Reads use one pair; writes go to every pair.
class TZQKPropEditor {
 public:
  static TZQKPropEditorClass StaticClass();
  virtual TZQKPropEditorClass ClassType() const { return StaticClass(); }
  bool InheritsFrom(TZQKPropEditorClass cls) const { return ClassType()->InheritsFrom(cls); }

  explicit TZQKPropEditor(int count);
  virtual ~TZQKPropEditor();
  TZQKPropEditor(const TZQKPropEditor&) = delete;
  TZQKPropEditor& operator=(const TZQKPropEditor&) = delete;

  // The row's contract.
  virtual std::string GetValueText();                       // base: "(Unknown)"
  virtual void SetValueText(const std::string& text);       // base: nothing
  virtual TZQKPropAttributes GetAttributes();               // base: eaMultiSelect
  virtual void FillValueList(std::vector<std::string>& list);
  // Appends one editor per sub-property, chosen by Choose as for top-level rows; the
  // new editors start with this editor's callbacks.
  virtual void FillSubEditors(TPropEditorList& list, const TZQKChooseEditorClass& choose);
  virtual std::string GetRowCaption();                      // base: pair 0's property name
  virtual bool ValuesAgree();                               // base: one target
  virtual void RunDialog();
  virtual void MeasureValueHeight(const std::string& value, TCanvas& canvas, int32_t& height);
  virtual void MeasureValueWidth(const std::string& value, TCanvas& canvas, int32_t& width);
  virtual void DrawValue(const std::string& value, TCanvas& canvas, const TRect& rect, bool selected);

  // FillValueList, sorted alphabetically (case-insensitive) when eaSortedValues.
  std::vector<std::string> ValueList();
  // The text a row shows: GetValueText when the values agree, else empty.
  std::string DisplayText();

  // Targets.
  int TargetCount() const;
  TPersistent* TargetAt(int i) const;
  const TPropertyInfo* PropertyAt(int i) const;
  void SetTarget(int i, TPersistent* instance, const TPropertyInfo* prop);
  const TTypeInfo* ValueType() const;
  // True when every pair's property can be written.
  bool AllWritable() const;

  // Reading from pair i.
  int32_t ReadOrd(int i) const;
  std::string ReadStr(int i) const;
  Extended ReadFloat(int i) const;
  int64_t ReadInt64(int i) const;
  TVariant ReadVariant(int i) const;
  TPersistent* ReadObj(int i) const;

  // Writing the same value to every pair, through the write hook, then NotifyModified
  // once. When a setter fails part way, the pairs already written get their old value
  // back before the failure propagates.
  void WriteOrdToAll(int32_t value);
  void WriteStrToAll(const std::string& value);
  void WriteFloatToAll(Extended value);
  void WriteInt64ToAll(int64_t value);
  void WriteVariantToAll(const TVariant& value);
  // Class properties: the setters copy the object.
  void WriteObjToAll(TPersistent* value);
  // A value of its own per pair (a set element toggled in each object's own set).
  void WriteOrdEach(const std::function<int32_t(int i)>& value);
  void WriteVariantEach(const std::function<TVariant(int i)>& value);

  void NotifyModified();
  TComponent* FindComponentByName(const std::string& name);
  void ListComponentsOfClass(const TClassDescriptor* cls, std::vector<TComponent*>& list);
  std::string ComponentDisplayName(TComponent* component);
  int CompareProperties(TPersistent* instance, const TPropertyInfo* prop1, const TPropertyInfo* prop2);
  bool SortSubProperties();

  // Callbacks (see TZQKPropEditorCallbacks).
  TZQKEditorNotifyEvent OnEditorModified;
  TZQKFindComponentEvent OnFindComponent;
  TZQKListComponentsEvent OnListComponents;
  TZQKComponentDisplayNameEvent OnComponentDisplayName;
  TZQKComparePropertiesEvent OnCompareProperties;
  TZQKSortSubPropertiesEvent OnSortSubProperties;
  TZQKPropWriteHook OnWrite;
  void SetCallbacks(const TZQKPropEditorCallbacks& callbacks);
  TZQKPropEditorCallbacks Callbacks() const;

  // The property's path from the inspected objects ("Caption", "Font.Size").
  std::string PropertyPath() const;
  // "Change " + PropertyPath(): the caption of the write for the write hook.
  std::string ChangeCaption() const;
  // The components a write changes.
  const std::vector<TComponent*>& AffectedComponents() const;
  void SetAffectedComponents(std::vector<TComponent*> components);
  void SetParentPath(const std::string& path);

  // Lifetime. Every component the editor reads through: its targets, the components
  // they belong to, and the components the property refers to now.
  std::vector<TComponent*> ReferencedComponents() const;
  bool RefersTo(const TComponent* component) const;
  // A stale editor refers to a component that is being destroyed: it reads and writes
  // nothing more (empty text, no list, no sub-editors) until its row is rebuilt.
  bool Stale() const;
  void MarkStale();

 protected:
  struct TTargets;
  struct TShareTargets {};
  // A nested editor shares its parent's targets.
  TZQKPropEditor(const TZQKPropEditor& parent, TShareTargets);
  // Runs Write through the hook, then NotifyModified; nothing when stale.
  void RunWrite(const std::function<void()>& write);
  std::shared_ptr<TTargets> FTargets;
};

// Declares an editor class's class reference; RPT_PROP_EDITOR_IMPL defines it.
#define RPT_PROP_EDITOR(Class, Parent)                                                 \
 public:                                                                               \
  using inherited = Parent;                                                            \
  static ::rpt::TZQKPropEditorClass StaticClass();                                     \
  ::rpt::TZQKPropEditorClass ClassType() const override { return StaticClass(); }

// In the source file: the class reference; nested editors have no virtual constructor.
#define RPT_PROP_EDITOR_IMPL(Class, Parent)                                                          \
  ::rpt::TZQKPropEditorClass Class::StaticClass() {                                                 \
    static const ::rpt::TZQKPropEditorClassInfo info{                                               \
        #Class, Parent::StaticClass(),                                                              \
        [](int count) -> std::unique_ptr<::rpt::TZQKPropEditor> { return std::make_unique<Class>(count); }}; \
    return &info;                                                                                   \
  }
#define RPT_NESTED_PROP_EDITOR_IMPL(Class, Parent)                                 \
  ::rpt::TZQKPropEditorClass Class::StaticClass() {                               \
    static const ::rpt::TZQKPropEditorClassInfo info{#Class, Parent::StaticClass(), nullptr}; \
    return &info;                                                                 \
  }

// Editors nested in a parent editor (set elements, the type of a variant): they share
// the parent's targets and are made only by the parent.
class TZQKNestedPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKNestedPropEditor, TZQKPropEditor)
  TZQKNestedPropEditor(const TZQKPropEditor& parent, std::string displayName);
  std::string GetRowCaption() override;  // the display name ("SubProp" unless given)
  const std::string& DisplayName() const { return FDisplayName; }

 private:
  std::string FDisplayName;
};

// The base of the editors of ordinal values; values agree when ReadOrd agrees.
class TZQKOrdinalPropEditor : public TZQKPropEditor {
  RPT_PROP_EDITOR(TZQKOrdinalPropEditor, TZQKPropEditor)
  using TZQKPropEditor::TZQKPropEditor;
  bool ValuesAgree() override;
};

// ---------------------------------------------------------------------------
// Tells when a component that editors refer to is being destroyed: the editors that
// refer to it are marked stale at once (before the component is gone), then OnGone
// runs, where the inspector schedules its rebuild.
class TZQKPropEditorWatch : public TComponent {
  RPT_CLASS(TZQKPropEditorWatch, TComponent)
  TZQKPropEditorWatch() = default;

  // Watches every component the editor refers to; the editor must be forgotten
  // (Forget or Clear) before it is destroyed.
  void Watch(TZQKPropEditor* editor);
  void Forget(TZQKPropEditor* editor);
  void Clear();
  std::function<void(TComponent* gone)> OnGone;

  void ComponentNotification(TComponent* component, TComponentOperation operation) override;

 private:
  std::vector<TZQKPropEditor*> FEditors;
  std::vector<TComponent*> FWatched;
};

}  // namespace rpt
