#pragma once
// The property inspector: the properties grid whose rows carry property editors. One
// top-level row per property common to all inspected objects, sub-rows for
// sub-properties, values written to all objects at once. Rows are rebuilt when the
// inspected objects change and whenever a component an editor reads through goes away.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inspector/PropEdit.h"
#include "inspector/PropsPage.h"

namespace rpt {

class TZQKCustomPropertyInspector;
class TZQKPropertyInspectorPageItem;

enum TZQKPropertyInspectorSortType : uint8_t { stCaption, stNone, stCustom };

// The public view of a row, handed to events.
class TZQKPropertyInspectorItem {
 public:
  explicit TZQKPropertyInspectorItem(TZQKPropertyInspectorPageItem* row) : FRow(row) {}
  std::string Caption() const;
  const TTypeInfo* PropertyType() const;
  bool Expanded() const;
  int Count() const;
  TZQKPropertyInspectorItem* Items(int index) const;
  TZQKPropertyInspectorItem* ParentItem() const;
  void Expand();
  void Activate();
  // The first child whose caption equals Name ignoring case and whose type is Type
  // (none: any type).
  TZQKPropertyInspectorItem* FindItem(const std::string& name, const TTypeInfo* type = nullptr) const;
  TZQKPropertyInspectorPageItem* Row() const { return FRow; }
  TZQKPropEditor* Editor() const;

 private:
  TZQKPropertyInspectorPageItem* FRow;
};

// The public view of the top-level rows.
class TZQKPropertyInspectorItems {
 public:
  explicit TZQKPropertyInspectorItems(TZQKCustomPropertyInspector* inspector) : FInspector(inspector) {}
  int Count() const;
  TZQKPropertyInspectorItem* Items(int index) const;
  TZQKPropertyInspectorItem* FindItem(const std::string& name, const TTypeInfo* type = nullptr) const;

 private:
  TZQKCustomPropertyInspector* FInspector;
};

// The inspected objects (not owned); setting them rebuilds the rows.
class TZQKPropertyInspectorObjects {
 public:
  explicit TZQKPropertyInspectorObjects(TZQKCustomPropertyInspector* inspector) : FInspector(inspector) {}
  // "Property inspector is changing property value. Operation not possible at this time."
  // while a row applies a value.
  void SetFromList(const std::vector<TPersistent*>& list);
  void CopyToList(std::vector<TPersistent*>& list) const { list = FObjects; }
  int Count() const { return static_cast<int>(FObjects.size()); }
  TPersistent* Items(int index) const { return FObjects.at(static_cast<size_t>(index)); }
  const std::vector<TPersistent*>& List() const { return FObjects; }

 private:
  friend class TZQKCustomPropertyInspector;
  TZQKCustomPropertyInspector* FInspector;
  std::vector<TPersistent*> FObjects;
};

// A row that carries a property editor.
class TZQKPropertyInspectorPageItem : public TZQKPropsPageItem {
 public:
  TZQKPropertyInspectorPageItem(TZQKCustomPropertyInspector* inspector, TZQKPropsPageItem* parentItem);
  ~TZQKPropertyInspectorPageItem() override;

  TZQKPropEditor* Editor() const { return FEditor.get(); }
  TZQKPropertyInspectorItem* Wrapper() { return &FWrapper; }
  TZQKCustomPropertyInspector* Inspector() const;
  TZQKPropertyInspectorPageItem* Child(int index) const {
    return static_cast<TZQKPropertyInspectorPageItem*>(Items(index));
  }

  std::string GetValueText() const override { return FValueCache; }
  void DoSetValueText(const std::string& value) override;
  void GetValues(std::vector<std::string>& list) override;
  void MeasureValueHeight(const std::string& value, const QFont& font, int& height) override;
  void MeasureValueWidth(const std::string& value, const QFont& font, int& width) override;
  void DrawValue(const std::string& value, QPainter& painter, const QRect& rect, bool selected) override;
  void EditButtonClick() override;
  void ValueDblClick() override;

 private:
  friend class TZQKCustomPropertyInspector;
  std::unique_ptr<TZQKPropEditor> FEditor;
  std::string FValueCache;
  TZQKPropertyInspectorItem FWrapper{this};
};

class TZQKCustomPropertyInspector : public TZQKCustomPropsPage {
 public:
  explicit TZQKCustomPropertyInspector(QWidget* parent = nullptr);
  ~TZQKCustomPropertyInspector() override;

  TZQKPropertyInspectorObjects& InspectedObjects() { return FObjects; }
  TZQKPropertyInspectorItems& PropItems() { return FPropItems; }
  void RebuildItems();
  // Re-reads every row from its editor without recreating rows.
  void RefreshValues();
  bool ChangingValue() const { return FChangingValue; }

  TZQKPropertyInspectorPropKinds PropKinds() const { return FChoice.PropKinds; }
  void SetPropKinds(TZQKPropertyInspectorPropKinds value);
  TColor ComponentRefColor() const { return FComponentRefColor; }
  void SetComponentRefColor(TColor value);
  TColor ComponentRefPropColor() const { return FComponentRefPropColor; }
  void SetComponentRefPropColor(TColor value);
  bool ExpandComponentRefs() const { return FExpandComponentRefs; }
  void SetExpandComponentRefs(bool value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  bool RestoreState() const { return FRestoreState; }
  void SetRestoreState(bool value) { FRestoreState = value; }
  const std::string& DefaultPropName() const { return FDefaultPropName; }
  void SetDefaultPropName(const std::string& value) { FDefaultPropName = value; }
  TZQKPropertyInspectorSortType SortType() const { return FSortType; }
  void SetSortType(TZQKPropertyInspectorSortType value);
  // Registrations searched before the built-in choice (none in this program).
  std::vector<TZQKPropertyInspectorEditorDescr>& EditorRegistrations() { return FChoice.EditorRegistrations; }
  // The choice of an editor class for one property (the rule of the editor framework
  // with this inspector's kinds, events and registrations).
  TZQKPropEditorClass ChooseEditorClass(bool isSubProperty, TPersistent* instance, const TPropertyInfo* prop);

  // Events.
  std::function<void(TZQKCustomPropertyInspector*)> OnChange;
  std::function<void(TZQKCustomPropertyInspector*, TPersistent*, const TPropertyInfo*, bool, bool&)> OnFilterProp;
  std::function<void(TZQKCustomPropertyInspector*, TPersistent*, const TPropertyInfo*, TZQKPropEditorClass&)>
      OnGetEditorClass;
  std::function<void(TZQKCustomPropertyInspector*, TPersistent*, const TPropertyInfo*, const TPropertyInfo*, int&)>
      OnCompare;
  std::function<void(TZQKCustomPropertyInspector*, TZQKPropertyInspectorItem*, TColor&)> OnGetCaptionColor;
  std::function<void(TZQKCustomPropertyInspector*, TZQKPropertyInspectorItem*)> OnExpanded;
  std::function<void(TZQKCustomPropertyInspector*, TZQKPropertyInspectorItem*)> OnCollapsed;
  std::function<void(TZQKCustomPropertyInspector*, const std::string&, TComponent*&)> OnGetComponent;
  std::function<void(TZQKCustomPropertyInspector*, const TClassDescriptor*, std::vector<TComponent*>&)>
      OnGetComponents;
  std::function<void(TZQKCustomPropertyInspector*, TComponent*, std::string&)> OnGetComponentName;
  // Every write of every row runs through this hook when it is set (the host makes it an
  // undoable step of its document); it must run the write once.
  TZQKPropWriteHook OnWrite;

  // Hooks of the grid.
  TZQKPropsPageItem* CreateItem(TZQKPropsPageItem* parentItem) override;
  void ItemExpanding(TZQKPropsPageItem* item) override;
  void ItemCollapsing(TZQKPropsPageItem* item) override;
  TColor CaptionColor(TZQKPropsPageItem* item) const override;

  TZQKPropertyInspectorPageItem* Row(int index) const {
    return static_cast<TZQKPropertyInspectorPageItem*>(const_cast<TZQKCustomPropertyInspector*>(this)->Items().Items(index));
  }
  // The merge key a host gives the write being made: while a row applies typed text at
  // every keystroke, the writes of one run of typing share a key, so they can be one step.
  int KeystrokeMergeKey() const { return ApplyingKeystroke() ? kTypingMergeKeyBase + TypingRun() % 1000000 : 0; }
  static constexpr int kTypingMergeKeyBase = 1000;
  // Whether a rebuild waits because a component an editor read through went away.
  bool RebuildScheduled() const { return FRebuildScheduled; }

 private:
  friend class TZQKPropertyInspectorPageItem;
  friend class TZQKPropertyInspectorObjects;
  friend class TZQKPropertyInspectorItem;
  friend class TZQKPropertyInspectorItems;
  struct TRestoreItem {
    std::string Caption;
    const TTypeInfo* Type = nullptr;
    std::vector<TRestoreItem> Children;
  };
  void AttachEditor(TZQKPropertyInspectorPageItem* row, std::unique_ptr<TZQKPropEditor> editor);
  void UpdateRowFromEditor(TZQKPropertyInspectorPageItem* row);
  void RefreshRow(TZQKPropertyInspectorPageItem* row);
  void EditorModified(TZQKPropertyInspectorPageItem* row);
  void ApplyValue(TZQKPropertyInspectorPageItem* row, const std::string& text);
  TZQKPropertyCompare Compare() const;
  bool Sorted() const { return FSortType != stNone; }
  void Remember(const TZQKPropsPageItem* parent, std::vector<TRestoreItem>& out) const;
  void ReExpand(TZQKPropsPageItem* parent, const std::vector<TRestoreItem>& remembered);
  TZQKPropertyInspectorPageItem* FindRow(TZQKPropsPageItem* parent, const std::string& caption,
                                         const TTypeInfo* type) const;
  void ComponentGone(TComponent* component);
  void ScheduleRebuild();

  TZQKPropertyInspectorObjects FObjects{this};
  TZQKPropertyInspectorItems FPropItems{this};
  TZQKEditorChoice FChoice;
  TColor FComponentRefColor = clMaroon;
  TColor FComponentRefPropColor = clGreen;
  bool FExpandComponentRefs = true;
  bool FReadOnly = false;
  bool FRestoreState = true;
  std::string FDefaultPropName;
  TZQKPropertyInspectorSortType FSortType = stCaption;
  bool FChangingValue = false;
  bool FRebuildingSubItems = false;
  bool FRebuildScheduled = false;
  TOwnedPtr<TZQKPropEditorWatch> FWatch;
};

class TZQKPropertyInspector : public TZQKCustomPropertyInspector {
 public:
  explicit TZQKPropertyInspector(QWidget* parent = nullptr) : TZQKCustomPropertyInspector(parent) {
    setObjectName("PropertyInspector");
  }
};

}  // namespace rpt
