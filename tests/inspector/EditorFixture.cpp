#include "tests/inspector/EditorFixture.h"

#include "objects/CodePage.h"
#include "report/QRUnits.h"
#include "report/QuickRpt.h"

namespace rpt::test {

void EditorTest::SetUp() {
  SetUseInchDefaults(false);
  RegisterReportClasses();
  Report = TComponent::Create<TQuickRep>(nullptr);
  Report->SetName("Report");
  Detail = TComponent::Create<TQRBand>(Report);
  Detail->SetName("Detail");
  Detail->SetParent(Report);
  Detail->SetBandType(rbDetail);
}

void EditorTest::TearDown() {
  if (Report) Report->Free();
  Report = nullptr;
}

TZQKPropEditorCallbacks EditorTest::Callbacks() {
  TZQKPropEditorCallbacks c;
  c.OnEditorModified = [this](TZQKPropEditor*) { ++Modified; };
  c.OnFindComponent = [this](TZQKPropEditor*, const std::string& name, TComponent*& found) {
    found = Report->FindComponent(name);
    for (TComponent* e : Extra)
      if (!found && SameText(e->Name(), name)) found = e;
  };
  c.OnListComponents = [this](TZQKPropEditor*, const TClassDescriptor* cls, std::vector<TComponent*>& list) {
    for (TComponent* c : Report->OwnedComponents())
      if (c->InheritsFrom(*cls)) list.push_back(c);
    for (TComponent* e : Extra)
      if (e->InheritsFrom(*cls)) list.push_back(e);
  };
  c.OnWrite = [this](const std::string& caption, const std::vector<TComponent*>& components,
                     const std::function<void()>& write) {
    WriteCaptions.push_back(caption);
    WriteComponents.push_back(components);
    write();
  };
  return c;
}

TPropEditorList EditorTest::Rows(const std::vector<TPersistent*>& objects) {
  TPropEditorList rows;
  BuildEditors(objects, kAllTypeKinds, rows, nullptr, true, Choice.Chooser(), false, false);
  for (auto& row : rows) row->SetCallbacks(Callbacks());
  return rows;
}

TZQKPropEditor* EditorTest::Row(const TPropEditorList& rows, const std::string& caption) {
  for (const auto& row : rows)
    if (row->GetRowCaption() == caption) return row.get();
  return nullptr;
}

TPropEditorList EditorTest::SubRows(TZQKPropEditor* row) {
  TPropEditorList rows;
  row->FillSubEditors(rows, Choice.Chooser());
  return rows;
}

}  // namespace rpt::test
