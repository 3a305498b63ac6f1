#include "app/frmPropsUnit.h"

#include <QTimer>
#include <algorithm>

#include "app/frmDocUnit.h"
#include "data/DB.h"
#include "framework/Application.h"
#include "objects/CodePage.h"

namespace rpt {

namespace {
// How the properties window names the document's own dataset, which has no name.
const char* const kWindowDataCaption = "(report data)";
}  // namespace

TfrmProps::TfrmProps(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
  setObjectName("frmProps");
  setWindowTitle("Properties");
  move(568, 265);
  resize(194, 262);
  ZQKObjectComboBox1 = new TZQKObjectComboBox(this);
  ZQKObjectComboBox1->setObjectName("ZQKObjectComboBox1");
  ZQKObjectComboBox1->SetShowFocus(false);
  PropInsp = new TZQKPropertyInspector(this);
  PropInsp->setObjectName("PropInsp");
  PropInsp->SetSplitter(92);
  ZQKObjectComboBox1->OnClick = [this](TZQKCustomObjectComboBox*) { ZQKObjectComboBox1Click(); };
  PropInsp->OnChange = [this](TZQKCustomPropertyInspector*) { PropInspChange(); };
  PropInsp->OnWrite = [this](const std::string& caption, const std::vector<TComponent*>& components,
                             const std::function<void()>& write) { WriteToDocument(caption, components, write); };
  PropInsp->OnGetComponents = [this](TZQKCustomPropertyInspector*, const TClassDescriptor* cls,
                                     std::vector<TComponent*>& list) { list = ReferableComponents(cls); };
  PropInsp->OnGetComponent = [this](TZQKCustomPropertyInspector*, const std::string& name, TComponent*& component) {
    component = FindReferable(name);
  };
  PropInsp->OnGetComponentName = [this](TZQKCustomPropertyInspector*, TComponent* component, std::string& name) {
    name = ReferenceName(component);
  };
}

std::vector<TComponent*> TfrmProps::ReferableComponents(const TClassDescriptor* cls) const {
  std::vector<TComponent*> list;
  if (!FDocument || !FDocument->Report || !cls) return list;
  TComponent* report = FDocument->Report;
  // A reference to any component is a master (of a group, a sub-detail, an
  // expression's totals): only the report and the bands that walk data can be one.
  const bool master = cls == &TComponent::StaticClass();
  auto offer = [&](TComponent* c) {
    if (!c || c->Name().empty() || !c->InheritsFrom(*cls)) return;
    if (master && c != report && !dynamic_cast<TQRControllerBand*>(c)) return;
    if (std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
  };
  offer(report);
  for (TComponent* c : report->OwnedComponents()) offer(c);
  // The window's dataset has no name of its own (the file's header keeps it): it is
  // offered under a caption of its own.
  TComponent* data = FDocument->DataSet;
  if (data && !master && data->InheritsFrom(*cls) && std::find(list.begin(), list.end(), data) == list.end())
    list.push_back(data);
  return list;
}

TComponent* TfrmProps::FindReferable(const std::string& name) const {
  if (!FDocument || !FDocument->Report || name.empty()) return nullptr;
  TComponent* report = FDocument->Report;
  // As a stored reference resolves: an owned component first, then "Owner" for the root.
  if (TComponent* c = report->FindComponent(name)) return c;
  if (SameText(name, "Owner") || SameText(name, report->Name())) return report;
  if (TComponent* data = FDocument->DataSet;
      data && (SameText(name, data->Name()) || SameText(name, kWindowDataCaption)))
    return data;
  return nullptr;
}

std::string TfrmProps::ReferenceName(TComponent* component) const {
  if (FDocument && component == FDocument->Report && !FDocument->Report->FindComponent("Owner")) return "Owner";
  if (FDocument && component && component == FDocument->DataSet && component->Name().empty())
    return kWindowDataCaption;
  return component ? component->Name() : std::string();
}

void TfrmProps::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ZQKObjectComboBox1->setGeometry(0, 0, width(), ZQKObjectComboBox1->height());
  // The split between names and values stays where the user dragged it.
  PropInsp->setGeometry(0, 24, width(), std::max(height() - 24, 0));
}

void TfrmProps::SetDocument(TfrmDoc* doc) {
  FDocument = doc;
  if (!doc) PropInsp->InspectedObjects().SetFromList({});
  RefreshObjectList();
}

void TfrmProps::RefreshObjectList() {
  FOrderPending = false;
  TZQKComboBoxObjects& offered = ZQKObjectComboBox1->OfferedObjects();
  offered.BeginUpdate();
  offered.Clear();
  if (FDocument && FDocument->Report)
    for (TComponent* c : FDocument->Report->OwnedComponents()) offered.Add(c);
  offered.EndUpdate();
  if (!FDocument) ZQKObjectComboBox1->SelectedObjects().Clear();
}

void TfrmProps::ComponentInserted(TComponent* component) {
  if (!FDocument || !FDocument->Report || component->Owner() != FDocument->Report) return;
  ZQKObjectComboBox1->OfferedObjects().Add(component);
  // A paste or an undo inserts thousands at once: the owned order is taken once after.
  if (FOrderPending) return;
  FOrderPending = true;
  QTimer::singleShot(0, this, [this] {
    if (FOrderPending) RefreshObjectList();
  });
}

void TfrmProps::RemoveObject(TComponent* component) {
  ZQKObjectComboBox1->SelectedObjects().Remove(component);
  ZQKObjectComboBox1->OfferedObjects().Remove(component);
}

void TfrmProps::ShowSelection(const std::vector<TComponent*>& selection) {
  const std::vector<TPersistent*> list(selection.begin(), selection.end());
  PropInsp->InspectedObjects().SetFromList(list);
  ZQKObjectComboBox1->SelectedObjects().SetFromList(list);
}

void TfrmProps::ZQKObjectComboBox1Click() {
  if (!FDocument || !FDocument->ZQKDesigner1 || !FDocument->ZQKDesigner1->Active()) return;
  std::vector<TPersistent*> chosen;
  ZQKObjectComboBox1->SelectedObjects().CopyToList(chosen);
  std::vector<TComponent*> list;
  for (TPersistent* p : chosen)
    if (auto* c = dynamic_cast<TComponent*>(p)) list.push_back(c);
  FDocument->ZQKDesigner1->SelectedComponents().Clear();
  FDocument->ZQKDesigner1->Select(list);
}

void TfrmProps::PropInspChange() {
  // The design history already knows of recorded steps; only a change it could not
  // record needs the flag set here (see WriteToDocument).
  if (FDocument && !FDocument->Modified) FDocument->Modified = true;
}

void TfrmProps::WriteToDocument(const std::string& caption, const std::vector<TComponent*>& components,
                                const std::function<void()>& write) {
  TfrmDoc* doc = FDocument;
  if (!doc || !doc->Report) {
    write();
    return;
  }
  // A pass walks the report (a print, a preview's thread): nothing of it may change.
  if (doc->ReportBusy())
    throw Exception("\"" + doc->Caption() + "\" is being printed or previewed: its elements cannot change until that has finished.");
  // A property of the window's dataset (reached through a reference) is part of the
  // document as its file holds it: a step of the whole document.
  for (TComponent* c : components) {
    bool inReport = c == doc->Report;
    for (TComponent* o = c->Owner(); o && !inReport; o = o->Owner()) inReport = o == doc->Report;
    if (!inReport) {
      doc->ChangeDocument(caption, write, PropInsp->KeystrokeMergeKey());
      return;
    }
  }
  doc->ChangeElements(caption, components, write, PropInsp->KeystrokeMergeKey());
}

}  // namespace rpt
