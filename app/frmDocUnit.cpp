#include "app/frmDocUnit.h"

#include <algorithm>
#include <typeinfo>

#include "app/dlgFieldsUnit.h"
#include "app/dlgLinesEditorUnit.h"
#include "app/frmMainUnit.h"
#include "app/frmPropsUnit.h"
#include "data/DB.h"
#include "data/DBTables.h"
#include "designer/Engine.h"
#include "designer/History.h"
#include "expr/QRExpr.h"
#include "framework/Application.h"
#include "inspector/PropEditors.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "objects/ReportFile.h"
#include "objects/StringList.h"
#include "report/QRChart.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QRFile.h"
#include "report/QRPictures.h"

namespace rpt {

RPT_BEGIN_CLASS(TfrmDoc, TCustomForm)
  c.Method("ReportNotification", &TfrmDoc::ReportNotification);
  c.Method("FormActivate", &TfrmDoc::FormActivate);
  c.Method("FormClose", &TfrmDoc::FormClose);
  c.Method("FormDestroy", &TfrmDoc::FormDestroy);
  c.Method("ZQKDesigner1ComponentInserting", &TfrmDoc::ZQKDesigner1ComponentInserting);
  c.Method("ZQKDesigner1ComponentInserted", &TfrmDoc::ZQKDesigner1ComponentInserted);
  c.Method("ZQKDesigner1ChangeSelection", &TfrmDoc::ZQKDesigner1ChangeSelection);
  c.Method("ZQKDesigner1Change", &TfrmDoc::ZQKDesigner1Change);
  c.Method("ZQKDesigner1ComponentHint", &TfrmDoc::ZQKDesigner1ComponentHint);
  c.Method("ZQKDesigner1KeyDown", &TfrmDoc::ZQKDesigner1KeyDown);
  c.Method("ZQKDesigner1KeyPress", &TfrmDoc::ZQKDesigner1KeyPress);
  c.Method("ZQKDesigner1DblClick", &TfrmDoc::ZQKDesigner1DblClick);
RPT_END_CLASS

bool TfrmDoc::LastCloseAccepted = true;

int& TfrmDoc::Counter() {
  static int counter = 1;
  return counter;
}

bool TypeCharacter(std::string& text, char key) {
  const auto code = static_cast<uint8_t>(key);
  if (code >= 32) {
    text += key;
    return true;
  }
  if (code == VK_BACK) {
    if (!text.empty()) text.pop_back();
    return true;
  }
  return false;
}

namespace {

template <typename T>
bool IsExactly(const TComponent* component) {
  return component && typeid(*component) == typeid(T);
}

// A published string property; none when the class has no such property.
const TPropertyInfo* TextProperty(const TComponent* component, std::string_view property) {
  const TPropertyInfo* p = component ? GetPropInfo(component, property) : nullptr;
  if (!p) return nullptr;
  const TPropertyKind kind = p->Kind();
  return kind == propString || kind == propShortString || kind == propWideString ? p : nullptr;
}

std::string TextOf(const TComponent* component, std::string_view property) {
  const TPropertyInfo* p = TextProperty(component, property);
  return p ? GetStrProp(component, *p) : std::string();
}

void SetTextOf(TComponent* component, std::string_view property, const std::string& value) {
  if (const TPropertyInfo* p = TextProperty(component, property)) SetStrProp(component, *p, value);
}

TStrings* LinesOf(TComponent* component) {
  if (auto* memo = dynamic_cast<TQRMemo*>(component)) return memo->Lines();
  if (auto* memo = dynamic_cast<TQRExprMemo*>(component)) return memo->Lines();
  return nullptr;
}

void AppendLines(std::string& hint, const TStrings* lines) {
  hint += "\rLines:";
  if (lines)
    for (int i = 0; i < lines->Count(); ++i) hint += "\r  " + lines->Strings(i);
}

// The text property that typing and Delete edit, by exact class: a descendant of a
// label may print something else than its caption.
const char* EditedTextOf(const TComponent* component) {
  if (IsExactly<TQRLabel>(component)) return "Caption";
  if (IsExactly<TQRExpr>(component)) return "Expression";
  if (IsExactly<TQRDBText>(component)) return "DataField";
  return nullptr;
}

}  // namespace

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TfrmDoc::TfrmDoc() {
  SetBounds(0, 0, 502, 321);
  SetDefaultCloseAction(caFree);
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
}

TfrmDoc* TfrmDoc::CreateNew(TComponent* owner, bool withDefaultBands) {
  auto* doc = new TfrmDoc();
  // Every window of the class is a frmDoc; later ones get a number so names stay unique.
  std::string name = "frmDoc";
  for (int i = 2; owner && owner->FindComponent(name); ++i) name = Format("frmDoc_%d", i);
  doc->SetName(name);
  if (owner) owner->InsertComponent(doc);

  doc->ZQKDesignPanel1 = TComponent::Create<TZQKDesignPanel>(doc);
  doc->ZQKDesignPanel1->SetName("ZQKDesignPanel1");
  doc->ZQKDesignPanel1->SetColor(clAppWorkSpace);
  doc->ZQKDesignPanel1->SetAlign(alClient);
  doc->ZQKDesignPanel1->SetParent(doc);

  doc->Report = doc->MakeReport();
  // Added before the designer takes up the report: they are no change of the user's.
  if (withDefaultBands)
    for (int32_t index : {1, 3, 4, 6}) doc->Report->Bands()->SetHasBand(index, true);

  doc->ZQKDesigner1 = TComponent::Create<TZQKDesigner>(doc);
  doc->ZQKDesigner1->SetName("ZQKDesigner1");
  doc->ZQKDesigner1->SetDesignPanel(doc->ZQKDesignPanel1);
  doc->ZQKDesigner1->SetClipboardFormat("ZQK Designer Demo");
  if (frmMain) doc->ZQKDesigner1->SetPopupMenu(frmMain->PopupMenu1());
  doc->ZQKDesigner1->OnComponentInserting = [doc](TObject* s, TComponentClass& c) {
    doc->ZQKDesigner1ComponentInserting(s, c);
  };
  doc->ZQKDesigner1->OnComponentInserted = [doc](TObject* s) { doc->ZQKDesigner1ComponentInserted(s); };
  doc->ZQKDesigner1->OnChangeSelection = [doc](TObject* s) { doc->ZQKDesigner1ChangeSelection(s); };
  doc->ZQKDesigner1->OnChange = [doc](TObject* s) { doc->ZQKDesigner1Change(s); };
  doc->ZQKDesigner1->OnComponentHint = [doc](TObject* s, TComponent* c, std::string& h) {
    doc->ZQKDesigner1ComponentHint(s, c, h);
  };
  doc->ZQKDesigner1->OnKeyDown = [doc](TObject* s, uint16_t& k, TShiftState sh) { doc->ZQKDesigner1KeyDown(s, k, sh); };
  doc->ZQKDesigner1->OnKeyPress = [doc](TObject* s, char& k) { doc->ZQKDesigner1KeyPress(s, k); };
  doc->ZQKDesigner1->OnDblClick = [doc](TObject* s) { doc->ZQKDesigner1DblClick(s); };
  // A sub-detail's table or query stands on the page as a proxy.
  if (frmMain) doc->ZQKDesigner1->SetNonvisualComponentImages(frmMain->NonvisualImages());
  doc->ZQKDesigner1->OnGetImageIndex = [](TObject*, TComponentClass cls, int32_t& index) {
    index = cls->InheritsFrom(TQuery::StaticClass()) ? 1 : cls->InheritsFrom(TTable::StaticClass()) ? 0 : -1;
  };
  doc->ZQKDesigner1->SetShowNonvisualComponents(true);
  // Changes of the report itself and of its data are steps too: they hold the document
  // as its file has it.
  doc->ZQKDesigner1->OnSaveDocument = [doc] { return doc->DocumentBytes(); };
  doc->ZQKDesigner1->OnLoadDocument = [doc](const std::string& bytes) { doc->LoadDocumentBytes(bytes); };
  doc->ZQKDesigner1->SetDesignControl(doc->Report);
  doc->ZQKDesigner1->SetActive(true);

  doc->SetCaption(Format("Document%d", Counter()));
  ++Counter();
  return doc;
}

TNotifyQuickRep* TfrmDoc::MakeReport() {
  TNotifyQuickRep* report = TComponent::Create<TNotifyQuickRep>(nullptr);
  report->SetName("Report");
  report->SetPrintIfEmpty(true);
  report->OnNotify = [this](TNotifyQuickRep* s, TComponent* c, TComponentOperation o) { ReportNotification(s, c, o); };
  return report;
}

TfrmDoc* TfrmDoc::CreateFromFile(TComponent* owner, const std::string& fileName) {
  TfrmDoc* doc = CreateNew(owner, false);
  try {
    doc->LoadFromFile(fileName);
  } catch (...) {
    doc->Free();
    throw;
  }
  doc->FileName = fileName;
  doc->SetCaption(ExtractFileName(fileName));
  --Counter();
  return doc;
}

void TfrmDoc::AssignDataSet(TDataSet* dataSet) {
  TDataSet* old = DataSet;
  DataSet = dataSet;
  if (dataSet && dataSet->Owner() != this) InsertComponent(dataSet);
  // The report and the data fields that read from the window's dataset read from the
  // new one; those of a sub-detail keep theirs.
  if (Report) {
    Report->SetDataSet(dataSet);
    for (TComponent* c : Report->OwnedComponents())
      if (IsFieldPrintable(c) && (!FieldPrintableDataSet(c) || FieldPrintableDataSet(c) == old))
        SetFieldPrintableDataSet(c, dataSet);
  }
  if (old && old != dataSet) old->Free();
}

TDataSet* TfrmDoc::DataSetForBand(const TControl* control) const {
  for (; control && control != Report; control = control->Parent()) {
    const TControl* band = control;
    // A child band continues the band it hangs from.
    while (auto* child = dynamic_cast<const TQRChildBand*>(band)) {
      if (!child->ParentBand()) break;
      band = child->ParentBand();
    }
    if (auto* sub = dynamic_cast<const TQRSubDetail*>(band); sub && sub->DataSet()) return sub->DataSet();
  }
  return DataSet;
}

void TfrmDoc::PlaceDetailDataSet(TDataSet* made, TComponent* target) {
  TOwnedPtr<TDataSet> guard(made);
  made->Close();
  std::vector<TQRSubDetail*> subDetails;
  for (TComponent* c : Report->OwnedComponents())
    if (auto* sub = dynamic_cast<TQRSubDetail*>(c)) subDetails.push_back(sub);
  auto* sub = dynamic_cast<TQRSubDetail*>(target);
  TDataSet* replaced = dynamic_cast<TDataSet*>(target);
  if (sub) replaced = sub->DataSet();
  if (replaced && replaced->Owner() != Report) replaced = nullptr;
  if (!sub && !replaced) {
    std::vector<TQRSubDetail*> unbound;
    for (TQRSubDetail* s : subDetails)
      if (!s->DataSet()) unbound.push_back(s);
    if (unbound.size() == 1) sub = unbound.front();
  }

  const std::string name = replaced ? replaced->Name() : OwnerUniqueName(Report, made->ClassType().ClassName().substr(1));
  int32_t left = 8, top = 8;
  if (replaced) {
    left = replaced->DesignLeft(), top = replaced->DesignTop();
  } else {
    // Beside the proxies already there, along the top of the page.
    for (TComponent* c : Report->OwnedComponents())
      if (dynamic_cast<TDataSet*>(c)) left = std::max(left, c->DesignLeft() + 32);
  }
  made->SetDesignPosition(left, top);
  Report->InsertComponent(guard.release());
  // The report is no form: the designer hears of its new component from here.
  if (ZQKDesigner1 && ZQKDesigner1->Active()) ZQKDesigner1->Engine()->NotifyComponent(made, coInsert);

  auto rebind = [&](TDataSet* from) {
    for (TComponent* c : Report->OwnedComponents())
      if (IsFieldPrintable(c) && FieldPrintableDataSet(c) == from) SetFieldPrintableDataSet(c, made);
    for (TQRSubDetail* s : subDetails)
      if (s->DataSet() == from) s->SetDataSet(made);
  };
  if (replaced) {
    rebind(replaced);
    replaced->Free();
  }
  made->SetName(name);
  if (sub) {
    sub->SetDataSet(made);
    for (TComponent* c : Report->OwnedComponents())
      if (auto* field = dynamic_cast<TControl*>(c); IsFieldPrintable(c) && field->Parent() == sub)
        SetFieldPrintableDataSet(c, made);
  }
  DefineParameterFunctions(made);
  if (ZQKDesigner1 && ZQKDesigner1->Active()) ZQKDesigner1->Engine()->RefreshProxies();
}

void TfrmDoc::DefineParameterFunctions(TDataSet* made) {
  auto* query = dynamic_cast<TQuery*>(made);
  if (!query || !DataSet || !DataSet->Active()) return;
  TQREvEnvironment& functions = *Report->Functions();
  for (int i = 0; i < query->ParamCount(); ++i) {
    const std::string& name = query->Params().Items(i)->Name();
    if (functions.FindFunction(EvUpperCase(name))) continue;
    if (const TField* field = DataSet->FindField(name)) functions.DefineFunction(EvUpperCase(name), field->FieldName());
  }
}

void TfrmDoc::ReportNotification(TNotifyQuickRep*, TComponent* component, TComponentOperation operation) {
  // A data field reads from the window's dataset from the moment it is on the report.
  if (IsFieldPrintable(component) && operation == coInsert) SetFieldPrintableDataSet(component, DataSet);
  if (!frmProps) return;
  if (operation == coInsert)
    frmProps->ComponentInserted(component);
  else
    frmProps->RemoveObject(component);
}

bool TfrmDoc::ShownInProperties() const { return frmProps && frmProps->Document() == this; }

void TfrmDoc::PushSelection() {
  if (!ShownInProperties()) return;
  std::vector<TComponent*> list;
  if (DesignerActive()) ZQKDesigner1->SelectedComponents().GetComponents(list);
  frmProps->ShowSelection(list);
}

void TfrmDoc::SaveToFile(const std::string& fileName) {
  WriteFileAtomically(fileName, ReportFileBytes(DataSetHeader(DataSet), Report));
}

void TfrmDoc::OpenStoredDataSet(TDataSet& dataSet) {
  try {
    dataSet.Open();
  } catch (const Exception& e) {
    // A report whose database is out of reach still opens, bound to its dataset unopened,
    // so that saving keeps the binding and Change data can bind it anew.
    const std::string text = "The data of this report cannot be opened:\n" + std::string(e.what()) +
                             "\n\nOpen the report without its data? Change data binds it again.";
    if (MessageDlg(text, mtWarning, {mbYes, mbNo}) != mrYes) throw;
  }
}

std::string TfrmDoc::DocumentBytes() const { return ReportFileBytes(DataSetHeader(DataSet), Report); }

void TfrmDoc::LoadDocumentBytes(const std::string& bytes) {
  TReportFileHeader header;
  const size_t streamStart = ReadReportFileHeader(bytes, header, Caption());
  // The window's dataset stays when the document names the same one: no new connection.
  std::string wantedHeader, currentHeader;
  WriteReportFileHeader(wantedHeader, header);
  WriteReportFileHeader(currentHeader, DataSetHeader(DataSet));
  TOwnedPtr<TDataSet> dataSet(wantedHeader == currentHeader ? nullptr : CreateHeaderDataSet(header, nullptr));
  // Read into a fresh report: one that cannot be read leaves everything as it was.
  TOwnedPtr<TNotifyQuickRep> loaded(MakeReport());
  LoadReportStream(bytes, streamStart, loaded.get());
  // The zoom is how the window shows the report, not a change of it.
  loaded->SetZoom(Report->Zoom());
  TNotifyQuickRep* old = Report;
  TWinControl* parent = old->Parent();
  Report = loaded.release();
  Report->SetName("Report");
  Report->SetBounds(0, 0, Report->Width(), Report->Height());
  if (DataSet) Report->SetDataSet(DataSet);
  if (ZQKDesigner1 && ZQKDesigner1->DesignControl() == old) {
    ZQKDesigner1->ReplaceDesignControl(Report);
  } else {
    old->SetParent(nullptr);
    Report->SetParent(parent);
  }
  old->Free();
  if (wantedHeader != currentHeader) {
    if (dataSet) {
      try {
        dataSet->Open();
      } catch (const Exception& e) {
        // Bound but closed, as when a report file's data is out of reach.
        MessageDlg("The data of this report cannot be opened:\n" + std::string(e.what()) +
                       "\n\nThe report stays bound to it; Change data binds it again.",
                   mtWarning, {mbOK});
      }
    }
    AssignDataSet(dataSet.release());
  }
}

void TfrmDoc::LoadFromFile(const std::string& fileName) {
  const std::string bytes = ReadReportFileBytes(fileName);
  TReportFileHeader header;
  const size_t streamStart = ReadReportFileHeader(bytes, header, ExtractFileName(fileName));
  // The dataset first: the report's data fields take it as the report gains them.
  TOwnedPtr<TDataSet> dataSet(CreateHeaderDataSet(header, this));
  if (dataSet) OpenStoredDataSet(*dataSet);
  AssignDataSet(dataSet.release());
  // Read into a fresh report so a damaged file leaves the window's report untouched.
  TOwnedPtr<TNotifyQuickRep> loaded(MakeReport());
  LoadReportStream(bytes, streamStart, loaded.get());
  // The designer lets go of the old report before it goes and takes up the new one.
  const bool active = ZQKDesigner1 && ZQKDesigner1->Active();
  if (ZQKDesigner1) {
    ZQKDesigner1->SetActive(false);
    ZQKDesigner1->SetDesignControl(nullptr);
  }
  TWinControl* parent = Report->Parent();
  Report->Free();
  Report = loaded.release();
  Report->SetName("Report");
  // Its place on the design panel, whatever the file says.
  Report->SetBounds(0, 0, Report->Width(), Report->Height());
  // The file does not name the window's dataset: the new report reads from it as the
  // old one did (its data fields were bound as the report gained them).
  if (DataSet) Report->SetDataSet(DataSet);
  if (ZQKDesigner1) {
    ZQKDesigner1->SetDesignControl(Report);
    ZQKDesigner1->SetActive(active);
  } else {
    Report->SetParent(parent);
  }
}

int TfrmDoc::SelectionCount() const {
  if (!ZQKDesigner1 || !ZQKDesigner1->Active()) return 0;
  TZQKDesignerSelectedComponents& sel = ZQKDesigner1->SelectedComponents();
  const int count = sel.Count();
  return count == 1 && sel.Items(0) == Report ? 0 : count;
}

void TfrmDoc::ZQKDesigner1ComponentInserting(TObject*, TComponentClass& componentClass) {
  if (frmMain) frmMain->SelectedPaletteClass(componentClass);
}

void TfrmDoc::ZQKDesigner1ComponentInserted(TObject*) {
  if (frmMain) frmMain->ResetPalette();
  // A new picture element asks for its picture; cancelled, it stays empty.
  TZQKDesignerSelectedComponents& sel = ZQKDesigner1->SelectedComponents();
  auto* image = sel.Count() == 1 ? dynamic_cast<TQRImage*>(sel.Items(0)) : nullptr;
  if (!frmMain || !image || !image->Picture().Empty()) return;
  const std::optional<std::string> file = frmMain->ChoosePicture();
  if (!file) return;
  ChangeElements("Picture", {image}, [image, &file] { image->LoadPictureFromFile(*file); });
}

void TfrmDoc::InsertElement(const TClassDescriptor& cls) {
  TZQKEngine* engine = ZQKDesigner1->Engine();
  if (!engine) return;
  TWinControl* target = Report;
  if (!cls.InheritsFrom(TQRCustomBand::StaticClass())) {
    TControl* at = dynamic_cast<TControl*>(SelectedElement());
    while (at && !dynamic_cast<TQRCustomBand*>(at)) at = at->Parent();
    TQRCustomBand* band = at ? static_cast<TQRCustomBand*>(at) : Report->FindBand(rbDetail);
    if (!band && !Report->BandList().empty()) band = Report->BandList().front();
    if (!band) throw Exception("The report has no band to put the element on: insert a band first");
    target = band;
  }
  engine->InsertAtFreePlace(&cls, target);
}

void TfrmDoc::ZQKDesigner1ChangeSelection(TObject*) { PushSelection(); }

// Every change of the design ends here: the history knows whether the report still
// equals its file.
void TfrmDoc::ZQKDesigner1Change(TObject*) {
  if (ShownInProperties()) frmProps->PropInsp->RefreshValues();
  Modified = !ZQKDesigner1->History().IsClean();
}

void TfrmDoc::MarkModified() {
  Modified = true;
  if (ZQKDesigner1) ZQKDesigner1->ChangedOutsideHistory();
}

void TfrmDoc::MarkSaved() {
  Modified = false;
  if (ZQKDesigner1) ZQKDesigner1->History().SetClean();
}

void TfrmDoc::ChangeElements(const std::string& caption, const std::vector<TComponent*>& elements,
                             const std::function<void()>& change, int mergeKey) {
  if (!DesignerActive()) {
    change();
    RefreshAndMark();
    return;
  }
  // The designer's change event refreshes the properties window's values.
  ZQKDesigner1->ChangeComponents(caption, elements, change, mergeKey);
}

void TfrmDoc::ChangeDocument(const std::string& caption, const std::function<void()>& change, int mergeKey) {
  if (!DesignerActive()) {
    change();
    RefreshAndMark();
    return;
  }
  ZQKDesigner1->ChangeDocument(caption, change, mergeKey);
}

void TfrmDoc::Undo() {
  if (DesignerActive()) ZQKDesigner1->Undo();
}
void TfrmDoc::Redo() {
  if (DesignerActive()) ZQKDesigner1->Redo();
}
void TfrmDoc::CutSelection() {
  if (DesignerActive()) ZQKDesigner1->CutToClipboard();
}
void TfrmDoc::CopySelection() {
  if (DesignerActive()) ZQKDesigner1->CopyToClipboard();
}
void TfrmDoc::PasteSelection() {
  if (DesignerActive()) ZQKDesigner1->PasteFromClipboard();
}
void TfrmDoc::DeleteSelection() {
  if (DesignerActive()) ZQKDesigner1->DeleteSelectedComponents();
}
void TfrmDoc::SelectAll() {
  if (DesignerActive()) ZQKDesigner1->SelectAll();
}
void TfrmDoc::AlignSelection(int horizontal, int vertical) {
  if (!DesignerActive()) return;
  // The designer aligns only the last selected element's band-mates and drops the rest
  // of the selection: elements of several bands are refused here, and stay selected.
  TZQKEngine* engine = ZQKDesigner1->Engine();
  TZQKDesignerSelectedComponents& sel = ZQKDesigner1->SelectedComponents();
  std::vector<const TWinControl*> parents;
  for (int i = 0; i < sel.Count(); ++i) {
    TControl* control = engine->ControlOf(sel.Items(i));
    if (!control || control == engine->Root()) continue;
    const TWinControl* parent = engine->ParentOf(control);
    if (std::find(parents.begin(), parents.end(), parent) == parents.end()) parents.push_back(parent);
  }
  if (parents.size() > 1) {
    std::string names;
    for (const TWinControl* parent : parents)
      names += (names.empty() ? "\"" : ", \"") + (parent == engine->Root() ? std::string("the page") : parent->Name()) + "\"";
    MessageDlg("Only elements of one band can be aligned with each other; the selection holds elements of " + names +
                   ". Select the elements of one band.",
               mtInformation, {mbOK});
    return;
  }
  sel.Align(static_cast<TZQKDesignerAlign>(horizontal), static_cast<TZQKDesignerAlign>(vertical));
}
void TfrmDoc::AlignSelectionToGrid() {
  if (DesignerActive()) ZQKDesigner1->SelectedComponents().AlignToGrid();
}
void TfrmDoc::BringSelectionToFront() {
  if (DesignerActive()) ZQKDesigner1->SelectedComponents().BringToFront();
}
void TfrmDoc::SendSelectionToBack() {
  if (DesignerActive()) ZQKDesigner1->SelectedComponents().SendToBack();
}
void TfrmDoc::LockSelection(TZQKDesignerLockMode mode) {
  if (DesignerActive()) ZQKDesigner1->SelectedComponents().Lock(mode);
}
void TfrmDoc::UnlockAll() {
  if (DesignerActive()) ZQKDesigner1->LockAll({});
}

void TfrmDoc::ToggleEnabled() {
  if (!OneElementSelected()) return;
  auto* control = dynamic_cast<TControl*>(SelectedElement());
  if (!control) return;
  ChangeElements("Change Enabled", {control}, [control] { control->SetEnabled(!control->Enabled()); });
}

void TfrmDoc::EnableAll() {
  std::vector<TComponent*> controls;
  for (TComponent* c : Report->OwnedComponents())
    if (auto* control = dynamic_cast<TControl*>(c); control && !control->Enabled()) controls.push_back(control);
  ChangeElements("Enable All", controls, [&controls] {
    for (TComponent* c : controls) static_cast<TControl*>(c)->SetEnabled(true);
  });
}

TComponent* TfrmDoc::SelectedElement() const {
  if (!ZQKDesigner1 || !ZQKDesigner1->Active()) return nullptr;
  TZQKDesignerSelectedComponents& sel = ZQKDesigner1->SelectedComponents();
  return sel.Count() == 1 ? sel.LastSelected() : nullptr;
}

void TfrmDoc::ZQKDesigner1ComponentHint(TObject*, TComponent* component, std::string& hint) {
  // The first matching class decides; descendants count. The separator is CR alone.
  if (const auto* memo = dynamic_cast<const TQRMemo*>(component)) {
    AppendLines(hint, memo->Lines());
  } else if (const auto* exprMemo = dynamic_cast<const TQRExprMemo*>(component)) {
    AppendLines(hint, exprMemo->Lines());
  } else if (const auto* label = dynamic_cast<const TQRLabel*>(component)) {
    hint += "\rCaption: " + label->Caption();
  } else if (const auto* field = dynamic_cast<const TQRDBText*>(component)) {
    hint += "\rData field: " + field->DataField();
  } else if (const auto* expr = dynamic_cast<const TQRExpr*>(component)) {
    hint += "\rExpression: " + expr->Expression();
  }
  // An element that prints only sometimes says when, so a designer is not left guessing.
  if (const auto* printable = dynamic_cast<const TQRPrintable*>(component); printable && !printable->PrintIf().empty())
    hint += "\rPrints if: " + printable->PrintIf();
  else if (const auto* band = dynamic_cast<const TQRCustomBand*>(component); band && !band->PrintIf().empty())
    hint += "\rPrints if: " + band->PrintIf();
  if (const auto* printable = dynamic_cast<const TQRPrintable*>(component); printable && printable->Highlights()->Count())
  {
    const int rules = printable->Highlights()->Count();
    hint += "\rHighlights: " + std::to_string(rules) + (rules == 1 ? " rule" : " rules, the first that holds wins");
  }
  // So are what the outline and links of the output get from it.
  if (const auto* band = dynamic_cast<const TQRCustomBand*>(component); band && !band->Bookmark().empty())
    hint += "\rBookmark: " + band->Bookmark();
  if (const auto* text = dynamic_cast<const TQRCustomLabel*>(component); text && !text->Hyperlink().empty())
    hint += "\rLinks to: " + text->Hyperlink();
}

void TfrmDoc::ZQKDesigner1KeyDown(TObject*, uint16_t& key, TShiftState) {
  // Plain Delete is the main window's command; with a modifier it arrives here and
  // first empties the element's text, and only an empty one is deleted.
  if (key != VK_DELETE) return;
  TComponent* element = SelectedElement();
  const char* property = EditedTextOf(element);
  if (!property || !TextProperty(element, property) || TextOf(element, property).empty()) return;
  key = 0;
  ChangeElements("Typing", {element}, [&] { SetTextOf(element, property, ""); }, mkTyping);
}

void TfrmDoc::ZQKDesigner1KeyPress(TObject*, char& key) {
  TComponent* element = SelectedElement();
  // Enter opens the editor of exactly these classes and types nothing.
  if (key == VK_RETURN) {
    if (IsExactly<TQRDBText>(element) || IsExactly<TQRExpr>(element) || IsExactly<TQRMemo>(element) ||
        IsExactly<TQRExprMemo>(element) || dynamic_cast<TDataSet*>(element))
      EditElement(element);
    return;
  }
  const char* property = EditedTextOf(element);
  if (!property || !TextProperty(element, property)) return;
  std::string text = TextOf(element, property);
  // A new element's caption is its name, a placeholder: the first character typed
  // replaces it rather than being added to it.
  if (static_cast<unsigned char>(key) >= ' ' && key != 127 && text == element->Name()) text.clear();
  if (!TypeCharacter(text, key)) return;
  ChangeElements("Typing", {element}, [&] { SetTextOf(element, property, text); }, mkTyping);
  if (auto* control = dynamic_cast<TCustomControl*>(element)) control->Invalidate();
}

void TfrmDoc::ZQKDesigner1DblClick(TObject*) { EditElement(SelectedElement()); }

void TfrmDoc::EditElement(TComponent* element) {
  // The dialogs edit copies; a confirmed edit is one step of the history.
  if (auto* dataField = dynamic_cast<TQRDBText*>(element)) {
    TDataSet* source = DataSetForBand(dataField->Parent());
    if (!source) throw Exception("The report has no data to take a field from: choose it with Change data");
    std::string field;
    if (!dlgFields->SelectField(source, field)) return;
    ChangeElements("Change Data Field", {element}, [&] {
      dataField->SetDataSet(source);
      dataField->SetDataField(field);
    });
  } else if (auto* dataSet = dynamic_cast<TDataSet*>(element); dataSet && dataSet->Owner() == Report) {
    // A sub-detail's data is made anew with the data dialog.
    if (frmMain) frmMain->EditDetailData(this, dataSet);
    return;
  } else if (TStrings* lines = LinesOf(element)) {
    TStringList edited;
    edited.AssignFrom(lines);
    if (!dlgLinesEditor->EditLines(&edited, DataSet)) return;
    ChangeElements("Change Lines", {element}, [&] { lines->AssignFrom(&edited); });
  } else if (auto* expr = dynamic_cast<TQRExpr*>(element)) {
    std::string text = expr->Expression();
    if (!dlgLinesEditor->EditText(text, DataSet)) return;
    ChangeElements("Change Expression", {element}, [&] { expr->SetExpression(text); });
  } else if (auto* picture = dynamic_cast<TQRDBImage*>(element)) {
    TDataSet* source = DataSetForBand(picture->Parent());
    if (!source) throw Exception("The report has no data to take a field from: choose it with Change data");
    std::string field;
    if (!dlgFields->SelectField(source, field)) return;
    ChangeElements("Change Data Field", {element}, [&] {
      picture->SetDataSet(source);
      picture->SetDataField(field);
    });
  } else if (auto* image = dynamic_cast<TQRImage*>(element)) {
    const std::optional<std::string> file = frmMain ? frmMain->ChoosePicture() : std::nullopt;
    if (!file) return;
    ChangeElements("Picture", {element}, [&] { image->LoadPictureFromFile(*file); });
  } else if (auto* chart = dynamic_cast<TQRChart*>(element)) {
    // A chart's series in the item-list editor, as its Series row of the properties window opens them.
    TQRChartSeriesList series;
    series.AssignFrom(chart->Series());
    if (!EditorDialogs().EditItemList(series, "Series")) return;
    ChangeElements("Change Series", {element}, [&] { chart->SetSeries(&series); });
  } else if (auto* barcode = dynamic_cast<TQRBarcode*>(element)) {
    std::string text = barcode->Expression();
    if (!dlgLinesEditor->EditText(text, DataSet)) return;
    ChangeElements("Change Expression", {element}, [&] { barcode->SetExpression(text); });
  } else {
    return;
  }
  if (auto* control = dynamic_cast<TCustomControl*>(element)) control->Invalidate();
}

void TfrmDoc::RefreshAndMark() {
  if (ShownInProperties()) frmProps->PropInsp->RefreshValues();
  MarkModified();
}

void TfrmDoc::FormActivate(TObject*) {
  if (frmProps && !FReleasing) {
    frmProps->SetDocument(this);
    PushSelection();
  }
  if (frmMain) frmMain->SyncZoomCombo(false);
}

bool TfrmDoc::ReportBusy() const {
  return Printing || (Report && (!Report->Idle() || Report->GenerationRunning()));
}

void TfrmDoc::FormClose(TObject*, TCloseAction& action) {
  if (ReportBusy()) {
    // The pass walks this report: it stays until the pass has ended.
    action = caNone;
    LastCloseAccepted = false;
    MessageDlg("\"" + Caption() + "\" is being printed or previewed. Close it when that has finished or been stopped.",
               mtInformation, {mbOK});
    return;
  }
  action = caFree;
  if (Modified) {
    switch (MessageDlg("Save document \"" + Caption() + "\"?", mtConfirmation, {mbYes, mbNo, mbCancel})) {
      case mrCancel:
        action = caNone;
        break;
      case mrYes:
        if (!FileName.empty())
          frmMain->SaveDocument(this);
        else if (!frmMain->SaveDocumentAs(this))
          action = caNone;
        break;
      default:
        break;
    }
  }
  LastCloseAccepted = action == caFree;
  if (action == caFree) {
    FReleasing = true;
    // The box is cleared before the window goes: hiding it activates the next document,
    // whose zoom the box then shows. A window closed behind the active one leaves the
    // active document's zoom in the box.
    if (frmMain) frmMain->SyncZoomCombo(true);
    if (SubWindow) SubWindow->hide();
    if (frmMain && frmMain->ActiveDocument()) frmMain->SyncZoomCombo(false);
  }
}

void TfrmDoc::FormDestroy(TObject*) {
  if (ShownInProperties()) frmProps->SetDocument(nullptr);
  // The report has no owner: it goes first, before the form and what the form owns,
  // once the designer has let go of it.
  if (ZQKDesigner1 && ZQKDesigner1->Active()) {
    ZQKDesigner1->SelectedComponents().Clear();
    ZQKDesigner1->SetActive(false);
  }
  if (Report) {
    Report->Free();
    Report = nullptr;
  }
}

void TfrmDoc::Destroy() {
  QPointer<QMdiSubWindow> sub = SubWindow;
  TCustomForm::Destroy();
  if (sub) {
    if (frmMain) frmMain->DocumentGone(sub);
    delete sub.data();
  }
}

}  // namespace rpt
