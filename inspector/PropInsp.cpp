#include "inspector/PropInsp.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <unordered_set>

#include "framework/Application.h"
#include "framework/Graphics.h"
#include "framework/QtCanvas.h"
#include "objects/StringList.h"

namespace rpt {

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i])), y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

struct TUpdateBracket {
  TZQKCustomPropsPage* Grid;
  explicit TUpdateBracket(TZQKCustomPropsPage* grid) : Grid(grid) { Grid->BeginUpdate(); }
  ~TUpdateBracket() { Grid->EndUpdate(); }
};

struct TFlag {
  bool& Flag;
  explicit TFlag(bool& flag) : Flag(flag) { Flag = true; }
  ~TFlag() { Flag = false; }
};

// A canvas on a painter in the grid's font, for the editors' owner-drawn values.
void UseFont(TCanvas& canvas, const QFont& font) {
  canvas.Font()->SetName(font.family().toStdString());
  if (font.pointSize() > 0) canvas.Font()->SetSize(font.pointSize());
}

// Editors measure on a canvas; one over a pixel image has the font's metrics.
template <class Measure>
void MeasureWithFont(const QFont& font, Measure measure) {
  QImage image(1, 1, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(font);
  TQtCanvas canvas(&painter);
  UseFont(canvas, font);
  measure(canvas);
}

}  // namespace

// ---------------------------------------------------------------------------
std::string TZQKPropertyInspectorItem::Caption() const {
  return FRow->Editor() ? FRow->Editor()->GetRowCaption() : std::string();
}
const TTypeInfo* TZQKPropertyInspectorItem::PropertyType() const {
  return FRow->Editor() ? FRow->Editor()->ValueType() : nullptr;
}
bool TZQKPropertyInspectorItem::Expanded() const { return FRow->Expanded(); }
int TZQKPropertyInspectorItem::Count() const { return FRow->Count(); }
TZQKPropertyInspectorItem* TZQKPropertyInspectorItem::Items(int index) const {
  return FRow->Child(index)->Wrapper();
}
TZQKPropertyInspectorItem* TZQKPropertyInspectorItem::ParentItem() const {
  auto* parent = static_cast<TZQKPropertyInspectorPageItem*>(FRow->ParentItem());
  return parent ? parent->Wrapper() : nullptr;
}
void TZQKPropertyInspectorItem::Expand() { FRow->Expand(); }
void TZQKPropertyInspectorItem::Activate() { FRow->Activate(); }
TZQKPropEditor* TZQKPropertyInspectorItem::Editor() const { return FRow->Editor(); }

TZQKPropertyInspectorItem* TZQKPropertyInspectorItem::FindItem(const std::string& name, const TTypeInfo* type) const {
  TZQKPropertyInspectorPageItem* row = FRow->Inspector()->FindRow(FRow, name, type);
  return row ? row->Wrapper() : nullptr;
}

int TZQKPropertyInspectorItems::Count() const { return const_cast<TZQKCustomPropertyInspector*>(FInspector)->Items().Count(); }
TZQKPropertyInspectorItem* TZQKPropertyInspectorItems::Items(int index) const {
  return FInspector->Row(index)->Wrapper();
}
TZQKPropertyInspectorItem* TZQKPropertyInspectorItems::FindItem(const std::string& name, const TTypeInfo* type) const {
  TZQKPropertyInspectorPageItem* row = FInspector->FindRow(nullptr, name, type);
  return row ? row->Wrapper() : nullptr;
}

void TZQKPropertyInspectorObjects::SetFromList(const std::vector<TPersistent*>& list) {
  if (FInspector->FChangingValue)
    throw EZQKPropsPage("Property inspector is changing property value. Operation not possible at this time.");
  std::vector<TPersistent*> before = std::move(FObjects);
  FObjects.clear();
  std::unordered_set<const TPersistent*> seen;
  for (TPersistent* object : list)
    if (object && seen.insert(object).second) FObjects.push_back(object);
  if (FObjects != before) FInspector->ForgetTyping();
  FInspector->RebuildItems();
}

// ---------------------------------------------------------------------------
TZQKPropertyInspectorPageItem::TZQKPropertyInspectorPageItem(TZQKCustomPropertyInspector* inspector,
                                                             TZQKPropsPageItem* parentItem)
    : TZQKPropsPageItem(inspector, parentItem) {}

TZQKPropertyInspectorPageItem::~TZQKPropertyInspectorPageItem() {
  // Sub-rows go first (with their editors), then this row's editor leaves the watch.
  Clear();
  if (FEditor) {
    if (TZQKCustomPropertyInspector* inspector = Inspector(); inspector && inspector->FWatch)
      inspector->FWatch->Forget(FEditor.get());
    FEditor.reset();
  }
}

TZQKCustomPropertyInspector* TZQKPropertyInspectorPageItem::Inspector() const {
  return static_cast<TZQKCustomPropertyInspector*>(Grid());
}

void TZQKPropertyInspectorPageItem::DoSetValueText(const std::string& value) {
  if (!FEditor || value == FValueCache) return;
  Inspector()->ApplyValue(this, value);
}

void TZQKPropertyInspectorPageItem::GetValues(std::vector<std::string>& list) {
  list.clear();
  if (FEditor) list = FEditor->ValueList();
}

void TZQKPropertyInspectorPageItem::MeasureValueHeight(const std::string& value, const QFont& font, int& height) {
  if (!FEditor) return;
  int32_t h = height;
  MeasureWithFont(font, [&](TCanvas& canvas) { FEditor->MeasureValueHeight(value, canvas, h); });
  height = h;
}

void TZQKPropertyInspectorPageItem::MeasureValueWidth(const std::string& value, const QFont& font, int& width) {
  if (!FEditor) return;
  int32_t w = width;
  MeasureWithFont(font, [&](TCanvas& canvas) { FEditor->MeasureValueWidth(value, canvas, w); });
  width = w;
}

void TZQKPropertyInspectorPageItem::DrawValue(const std::string& value, QPainter& painter, const QRect& rect,
                                              bool selected) {
  if (!FEditor) return;
  TQtCanvas canvas(&painter);
  UseFont(canvas, painter.font());
  canvas.Font()->SetColor(selected ? clHighlightText : clWindowText);
  canvas.Brush()->SetColor(selected ? clHighlight : clWindow);
  FEditor->DrawValue(value, canvas, TRect{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1}, selected);
}

void TZQKPropertyInspectorPageItem::EditButtonClick() {
  TZQKCustomPropertyInspector* inspector = Inspector();
  if (!FEditor || !(FEditor->GetAttributes() & eaDialog) || inspector->FChangingValue || inspector->ReadOnly()) return;
  FEditor->RunDialog();
}

void TZQKPropertyInspectorPageItem::ValueDblClick() {
  TZQKCustomPropertyInspector* inspector = Inspector();
  if (!FEditor || inspector->ReadOnly()) return;
  const TZQKPropAttributes attributes = FEditor->GetAttributes();
  if ((attributes & eaValueList) && !(attributes & eaDialog)) {
    const std::vector<std::string> values = FEditor->ValueList();
    if (values.empty()) return;
    auto it = std::find(values.begin(), values.end(), FValueCache);
    const std::string next = it == values.end() || it + 1 == values.end() ? values.front() : *(it + 1);
    inspector->ApplyValue(this, next);
  } else if (attributes & eaDialog) {
    EditButtonClick();
  }
}

// ---------------------------------------------------------------------------
TZQKCustomPropertyInspector::TZQKCustomPropertyInspector(QWidget* parent)
    : TZQKCustomPropsPage(parent), FWatch(TComponent::Create<TZQKPropEditorWatch>(nullptr)) {
  FWatch->OnGone = [this](TComponent* gone) { ComponentGone(gone); };
  FChoice.OnGetEditorClass = [this](TPersistent* instance, const TPropertyInfo* prop, TZQKPropEditorClass& cls) {
    if (OnGetEditorClass) OnGetEditorClass(this, instance, prop, cls);
  };
  FChoice.OnFilterProp = [this](TPersistent* instance, const TPropertyInfo* prop, bool isSub, bool& include) {
    if (OnFilterProp) OnFilterProp(this, instance, prop, isSub, include);
  };
}

TZQKCustomPropertyInspector::~TZQKCustomPropertyInspector() {
  // The rows (and their editors) leave the watch before it goes.
  BeginUpdate();
  Items().Clear();
  FWatch->Clear();
}

TZQKPropsPageItem* TZQKCustomPropertyInspector::CreateItem(TZQKPropsPageItem* parentItem) {
  return new TZQKPropertyInspectorPageItem(this, parentItem);
}

TZQKPropEditorClass TZQKCustomPropertyInspector::ChooseEditorClass(bool isSubProperty, TPersistent* instance,
                                                                   const TPropertyInfo* prop) {
  return FChoice.Choose(isSubProperty, instance, prop);
}

void TZQKCustomPropertyInspector::SetPropKinds(TZQKPropertyInspectorPropKinds value) {
  FChoice.PropKinds = value;
  RebuildItems();
}
void TZQKCustomPropertyInspector::SetComponentRefColor(TColor value) {
  FComponentRefColor = value;
  viewport()->update();
}
void TZQKCustomPropertyInspector::SetComponentRefPropColor(TColor value) {
  FComponentRefPropColor = value;
  viewport()->update();
}
void TZQKCustomPropertyInspector::SetExpandComponentRefs(bool value) {
  if (value == FExpandComponentRefs) return;
  FExpandComponentRefs = value;
  RebuildItems();
}
void TZQKCustomPropertyInspector::SetReadOnly(bool value) {
  if (value == FReadOnly) return;
  FReadOnly = value;
  RebuildItems();
}
void TZQKCustomPropertyInspector::SetSortType(TZQKPropertyInspectorSortType value) {
  if (value == FSortType) return;
  FSortType = value;
  RebuildItems();
}

TZQKPropertyCompare TZQKCustomPropertyInspector::Compare() const {
  if (FSortType != stCustom) return nullptr;
  return [this](TPersistent* instance, const TPropertyInfo* a, const TPropertyInfo* b) {
    int result = CompareText(a->Name, b->Name);
    if (OnCompare) OnCompare(const_cast<TZQKCustomPropertyInspector*>(this), instance, a, b, result);
    return result;
  };
}

// ---------------------------------------------------------------------------
void TZQKCustomPropertyInspector::Remember(const TZQKPropsPageItem* parent, std::vector<TRestoreItem>& out) const {
  const int count = parent ? parent->Count() : const_cast<TZQKCustomPropertyInspector*>(this)->Items().Count();
  for (int i = 0; i < count; ++i) {
    auto* row = static_cast<TZQKPropertyInspectorPageItem*>(
        parent ? parent->Items(i) : const_cast<TZQKCustomPropertyInspector*>(this)->Items().Items(i));
    if (!row->Expanded()) continue;
    TRestoreItem item{row->Wrapper()->Caption(), row->Wrapper()->PropertyType(), {}};
    Remember(row, item.Children);
    out.push_back(std::move(item));
  }
}

TZQKPropertyInspectorPageItem* TZQKCustomPropertyInspector::FindRow(TZQKPropsPageItem* parent,
                                                                    const std::string& caption,
                                                                    const TTypeInfo* type) const {
  auto* self = const_cast<TZQKCustomPropertyInspector*>(this);
  const int count = parent ? parent->Count() : self->Items().Count();
  for (int i = 0; i < count; ++i) {
    auto* row = static_cast<TZQKPropertyInspectorPageItem*>(parent ? parent->Items(i) : self->Items().Items(i));
    if (SameText(row->Wrapper()->Caption(), caption) && (!type || row->Wrapper()->PropertyType() == type)) return row;
  }
  return nullptr;
}

void TZQKCustomPropertyInspector::ReExpand(TZQKPropsPageItem* parent, const std::vector<TRestoreItem>& remembered) {
  for (const TRestoreItem& item : remembered) {
    TZQKPropertyInspectorPageItem* row = FindRow(parent, item.Caption, item.Type);
    if (!row) continue;
    row->Expand();
    if (row->Expanded()) ReExpand(row, item.Children);
  }
}

void TZQKCustomPropertyInspector::RebuildItems() {
  FRebuildScheduled = false;
  TUpdateBracket update(this);
  std::vector<TRestoreItem> expanded;
  std::vector<std::pair<std::string, const TTypeInfo*>> selectedPath;
  if (FRestoreState) {
    Remember(nullptr, expanded);
    for (auto* row = static_cast<TZQKPropertyInspectorPageItem*>(CurrentItem()); row;
         row = static_cast<TZQKPropertyInspectorPageItem*>(row->ParentItem()))
      selectedPath.insert(selectedPath.begin(), {row->Wrapper()->Caption(), row->Wrapper()->PropertyType()});
  }
  Items().Clear();
  FWatch->Clear();
  if (FObjects.FObjects.empty()) return;

  TPropEditorList editors;
  BuildEditors(FObjects.FObjects, kAllTypeKinds, editors, Compare(), Sorted(), FChoice.Chooser(), false, false);
  Items().SetCount(static_cast<int>(editors.size()));
  for (size_t i = 0; i < editors.size(); ++i) AttachEditor(Row(static_cast<int>(i)), std::move(editors[i]));

  if (!FRestoreState) return;
  ReExpand(nullptr, expanded);
  TZQKPropertyInspectorPageItem* found = nullptr;
  for (const auto& [caption, type] : selectedPath) {
    TZQKPropertyInspectorPageItem* next = FindRow(found, caption, type);
    if (!next) break;
    found = next;
  }
  if (!found && !FDefaultPropName.empty()) found = FindRow(nullptr, FDefaultPropName, nullptr);
  if (!found && Items().Count() > 0) found = Row(0);
  if (found) found->Activate();
}

void TZQKCustomPropertyInspector::AttachEditor(TZQKPropertyInspectorPageItem* row,
                                               std::unique_ptr<TZQKPropEditor> editor) {
  TZQKPropEditorCallbacks callbacks;
  callbacks.OnEditorModified = [this, row](TZQKPropEditor*) { EditorModified(row); };
  callbacks.OnFindComponent = [this](TZQKPropEditor*, const std::string& name, TComponent*& component) {
    if (OnGetComponent) OnGetComponent(this, name, component);
  };
  callbacks.OnListComponents = [this](TZQKPropEditor*, const TClassDescriptor* cls, std::vector<TComponent*>& list) {
    if (OnGetComponents) OnGetComponents(this, cls, list);
  };
  callbacks.OnComponentDisplayName = [this](TZQKPropEditor*, TComponent* component, std::string& name) {
    if (OnGetComponentName) OnGetComponentName(this, component, name);
  };
  callbacks.OnCompareProperties = [this](TZQKPropEditor*, TPersistent* instance, const TPropertyInfo* a,
                                         const TPropertyInfo* b, int& result) {
    if (TZQKPropertyCompare compare = Compare()) result = compare(instance, a, b);
    else result = CompareText(a->Name, b->Name);
  };
  callbacks.OnSortSubProperties = [this](TZQKPropEditor*, bool& sorted) { sorted = Sorted(); };
  callbacks.OnWrite = [this](const std::string& caption, const std::vector<TComponent*>& components,
                             const std::function<void()>& write) {
    if (OnWrite) OnWrite(caption, components, write);
    else write();
  };
  editor->SetCallbacks(callbacks);
  row->FEditor = std::move(editor);
  FWatch->Watch(row->FEditor.get());
  UpdateRowFromEditor(row);
}

void TZQKCustomPropertyInspector::UpdateRowFromEditor(TZQKPropertyInspectorPageItem* row) {
  TZQKPropEditor* editor = row->FEditor.get();
  if (!editor) return;
  TUpdateBracket update(this);
  row->SetCaption(editor->GetRowCaption());
  const TZQKPropAttributes a = editor->GetAttributes();
  if ((a & eaValueList) && !FReadOnly) row->SetEditStyle(esPickList);
  else if ((a & eaDialog) && !FReadOnly) row->SetEditStyle(esEllipsis);
  else row->SetEditStyle(esSimple);
  row->SetExpandMode((a & eaSubItems) && !((a & eaComponentReference) && !FExpandComponentRefs) ? 1 : 2);
  row->SetReadOnlyValue((a & eaReadOnlyText) || FReadOnly || !editor->AllWritable());
  row->SetApplyOnKeystroke(a & eaApplyOnKeystroke);
  row->SetOwnerDrawValues(a & eaOwnerDrawValues);
  const std::string value = editor->DisplayText();
  if (value != row->FValueCache) {
    row->FValueCache = value;
    row->Changed();
  }
}

void TZQKCustomPropertyInspector::RefreshRow(TZQKPropertyInspectorPageItem* row) {
  UpdateRowFromEditor(row);
  for (int i = 0; i < row->Count(); ++i) RefreshRow(row->Child(i));
}

void TZQKCustomPropertyInspector::RefreshValues() {
  TUpdateBracket update(this);
  for (int i = 0; i < Items().Count(); ++i) RefreshRow(Row(i));
}

void TZQKCustomPropertyInspector::ApplyValue(TZQKPropertyInspectorPageItem* row, const std::string& text) {
  if (text == row->FValueCache) return;
  TFlag changing(FChangingValue);
  try {
    row->FEditor->SetValueText(text);
  } catch (const std::exception& e) {
    if (TApplication* app = TApplication::Instance()) app->HandleException(e.what());
  }
}

void TZQKCustomPropertyInspector::EditorModified(TZQKPropertyInspectorPageItem* row) {
  // Sub-rows made from the old value are made again from the new one.
  if (row->Expanded() && (row->FEditor->GetAttributes() & eaRebuildSubItems)) {
    {
      TUpdateBracket update(this);
      TFlag rebuilding(FRebuildingSubItems);
      row->Collapse();
      row->Expand();
    }
    if (!row->Expanded() && OnCollapsed) OnCollapsed(this, row->Wrapper());
  }
  // One write can change other properties: every row is read again.
  RefreshValues();
  if (OnChange) OnChange(this);
}

void TZQKCustomPropertyInspector::ItemExpanding(TZQKPropsPageItem* item) {
  auto* row = static_cast<TZQKPropertyInspectorPageItem*>(item);
  TZQKPropEditor* editor = row->FEditor.get();
  if (editor && (!(editor->GetAttributes() & eaComponentReference) || FExpandComponentRefs)) {
    TPropEditorList subEditors;
    editor->FillSubEditors(subEditors, FChoice.Chooser());
    TUpdateBracket update(this);
    for (auto& sub : subEditors) AttachEditor(static_cast<TZQKPropertyInspectorPageItem*>(row->Add()), std::move(sub));
  }
  if (!FRebuildingSubItems && OnExpanded) OnExpanded(this, row->Wrapper());
}

void TZQKCustomPropertyInspector::ItemCollapsing(TZQKPropsPageItem* item) {
  auto* row = static_cast<TZQKPropertyInspectorPageItem*>(item);
  {
    TUpdateBracket update(this);
    row->Clear();
  }
  if (!FRebuildingSubItems && OnCollapsed) OnCollapsed(this, row->Wrapper());
}

TColor TZQKCustomPropertyInspector::CaptionColor(TZQKPropsPageItem* item) const {
  auto* row = static_cast<TZQKPropertyInspectorPageItem*>(item);
  auto* parent = static_cast<TZQKPropertyInspectorPageItem*>(row->ParentItem());
  TColor color = TZQKCustomPropsPage::CaptionColor(item);
  if (row->FEditor && (row->FEditor->GetAttributes() & eaComponentReference)) color = FComponentRefColor;
  else if (parent && parent->FEditor && (parent->FEditor->GetAttributes() & eaComponentReference))
    color = FComponentRefPropColor;
  if (OnGetCaptionColor) OnGetCaptionColor(const_cast<TZQKCustomPropertyInspector*>(this), row->Wrapper(), color);
  return color;
}

// ---------------------------------------------------------------------------
void TZQKCustomPropertyInspector::ComponentGone(TComponent* component) {
  // The editors that read through it are stale already; the inspected list forgets it
  // now, and the rows are made again once the component is gone.
  std::erase(FObjects.FObjects, static_cast<TPersistent*>(component));
  ScheduleRebuild();
}

void TZQKCustomPropertyInspector::ScheduleRebuild() {
  if (FRebuildScheduled) return;
  FRebuildScheduled = true;
  QTimer::singleShot(0, this, [this] {
    if (!FRebuildScheduled) return;
    if (FChangingValue) {
      // Not under a value being applied: once it has been.
      FRebuildScheduled = false;
      ScheduleRebuild();
      return;
    }
    HandleErrors([this] { RebuildItems(); });
  });
}

}  // namespace rpt
