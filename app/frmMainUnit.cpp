#include "app/frmMainUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "app/dlgDataUnit.h"
#include "app/dlgFieldsUnit.h"
#include "app/dlgLinesEditorUnit.h"
#include "app/dlgParamsUnit.h"
#include "app/dlgReportPropsUnit.h"
#include "app/RecordedReport.h"
#include "app/frmDocUnit.h"
#include "app/frmPropsUnit.h"
#include "data/DB.h"
#include "framework/Application.h"
#include "framework/ImageList.h"
#include "framework/Peer.h"
#include "inspector/ItemListEditor.h"
#include "objects/Persistent.h"
#include "output/QRPrgres.h"

// The images live in this library's resources; a static library must register them.
static void InitImages() { Q_INIT_RESOURCE(images); }

namespace rpt {

TfrmMain* frmMain = nullptr;
TdlgData* dlgData = nullptr;
TfrmProps* frmProps = nullptr;
TdlgLinesEditor* dlgLinesEditor = nullptr;
TdlgFields* dlgFields = nullptr;
QWidget* dlgReportProps = nullptr;

namespace {

// The palette, top to bottom: button name, the class it inserts (none: pointer), glyph,
// and the hint its button shows. A class that is not registered inserts nothing.
struct TPaletteEntry {
  const char* Name;
  const char* ClassName;
  const char* Glyph;
  const char* Hint;
  const char* MenuCaption;  // its item in the Insert menu
};
constexpr TPaletteEntry kPalette[] = {
    {"SpeedButton1", nullptr, "pointer", "Select and move elements", nullptr},
    {"SpeedButton10", "TQRBand", "band", "Band", "&Band"},
    {"SpeedButton2", "TQRLabel", "label", "Label: a fixed text", "&Label"},
    {"SpeedButton3", "TQRDBText", "dbtext", "Data field: the value of a field", "&Data field"},
    {"SpeedButton5", "TQRExpr", "expr", "Expression: a calculated value, a total", "&Expression"},
    {"SpeedButton6", "TQRSysData", "sysdata", "System data: page number, date, time", "S&ystem data"},
    {"SpeedButton7", "TQRMemo", "memo", "Memo: a text of several lines", "&Memo"},
    {"SpeedButton8", "TQRExprMemo", "exprmemo", "Expression memo: lines with expressions in braces", "E&xpression memo"},
    {"SpeedButton9", "TQRShape", "shape", "Shape: a line, rectangle or circle", "S&hape"},
    {"SpeedButton11", "TQRChildBand", "childband", "Child band: continues the band it is linked to", "&Child band"},
    {"SpeedButton12", "TQRGroup", "group", "Group: a header printed when its expression changes", "&Group"},
    {"SpeedButton13", "TQRSubDetail", "subdetail", "Sub-detail: the records of a detail dataset", "S&ub-detail"},
    {"SpeedButton14", "TQRImage", "image", "Picture", "&Picture"},
    {"SpeedButton15", "TQRDBImage", "dbimage", "Picture field: a picture from the data", "Picture &field"},
    {"SpeedButton16", "TQRBarcode", "barcode", "Barcode", "Ba&rcode"},
    {"SpeedButton17", "TQRChart", "chart", "Chart: bars, lines, areas or a pie of the records a band covers", "Ch&art"},
};

constexpr int kZoomValues[] = {25, 50, 75, 100, 150, 200};

// A child window whose close box runs the document's close handling.
class TDocSubWindow : public QMdiSubWindow {
 public:
  explicit TDocSubWindow(TfrmDoc* doc) : FDoc(doc) { setAttribute(Qt::WA_DeleteOnClose, false); }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (FDoc && !FDoc->Releasing()) FDoc->Close();
  }

 private:
  TfrmDoc* FDoc;
};

}  // namespace

TAlignCodes AlignCodesForTag(int tag) {
  // daNone 0, daLeftTop 1, daRightBottom 2, daSpaceEqually 3, daCenters 4, daCenterInWindow 5.
  switch (tag) {
    case 0: return {1, 0};
    case 1: return {2, 0};
    case 2: return {0, 1};
    case 3: return {0, 2};
    case 4: return {3, 0};
    case 5: return {0, 3};
    case 6: return {4, 0};
    case 7: return {0, 4};
    case 8: return {5, 0};
    case 9: return {0, 5};
    default: return {0, 0};
  }
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMain");
  setWindowTitle("Report designer");
  // The palette and tool bars show their hints also while the properties window is the
  // active one, which is most of the time.
  setAttribute(Qt::WA_AlwaysShowToolTips);
  resize(571, 472);
  FDialogDirectory = QDir::currentPath();
  InitImages();
  FActions = new TActionList(this);
  std::vector<QIcon> images;
  for (int i = 0; i < 36; ++i) images.emplace_back(QString(":/images/img%1.png").arg(i, 2, 10, QChar('0')));
  FActions->SetImages(std::move(images));
  setWindowIcon(FActions->Image(33));
  FPopupMenu1 = TComponent::Create<TPopupMenu>(nullptr);
  FPopupMenu1->SetName("PopupMenu1");
  FNonvisualImages = TComponent::Create<TImageList>(nullptr);
  FNonvisualImages->SetWidth(24);
  FNonvisualImages->SetHeight(24);
  for (const char* glyph : {"table", "query"})
    FNonvisualImages->Add(QImage(QString(":/images/nonvisual_%1.png").arg(glyph)));

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  CreatePalette(central);
  FMdi = new QMdiArea(central);
  FMdi->setObjectName("MDIClient");
  // Child windows moved partly out of the frame stay reachable.
  FMdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FMdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(FMdi, 1);
  setCentralWidget(central);
  connect(FMdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) {
    if (TfrmDoc* doc = ActiveDocument(); doc && doc->OnActivate) doc->OnActivate(doc);
  });

  CreateActions();
  CreateMenus();
  CreateToolBars();
  DataDialog = [this](TfrmDoc* doc) {
    TDataSet* dataSet = nullptr;
    if (!dlgData || !dlgData->SelectData(dataSet, doc)) return false;
    doc->AssignDataSet(dataSet);
    if (dlgData->DeclaresParameters()) DeclareParameters(doc);
    return true;
  };
  DetailDataDialog = [](TfrmDoc*) -> TDataSet* {
    TDataSet* dataSet = nullptr;
    return dlgData && dlgData->SelectData(dataSet, nullptr) ? dataSet : nullptr;
  };
  PreviewReport = [](TfrmDoc* doc) { doc->Report->PreviewReport(); };
  PrintReport = [this](TfrmDoc* doc) { PrintDocument(doc); };
  ParametersDialog = [this](TfrmDoc*, TQRParameters& params) {
    TdlgParams dialog(this);
    if (!dialog.Execute(params)) return false;
    params.AssignFrom(&dialog.Edited());
    return true;
  };
  AskParameters = [this](TfrmDoc* doc) {
    return TdlgRunParams::AskForRun(doc->Report, doc->DataSet ? doc->DataSet->DatabaseName() : std::string(), this);
  };

  if (auto* app = TApplication::Instance()) {
    app->SetShortcutClaim([this](int key) { return ClaimsShortcut(key); });
    FBusyIdleId = app->AddIdleHandler([this] { SyncBusyDocuments(); });
  }
}

TfrmMain::~TfrmMain() {
  // The document windows close while the base class deletes the children; the area's
  // activation signal must not reach this window then.
  if (FMdi) FMdi->disconnect(this);
  if (auto* app = TApplication::Instance()) {
    app->SetShortcutClaim(nullptr);
    if (FBusyIdleId) app->RemoveIdleHandler(FBusyIdleId);
  }
  FPopupMenu1->Free();
  FNonvisualImages->Free();
}

TAction* TfrmMain::Add(const std::string& name, const std::string& category, const std::string& caption,
                       const std::string& keys, int image, int tag) {
  auto* a = new TAction(FActions, name, category, caption);
  a->SetShortcutText(keys);
  a->SetImageIndex(image);
  a->SetTag(tag);
  return a;
}

void TfrmMain::CreateActions() {
  // A document whose report a pass walks (a print, a preview's thread) is not worked on:
  // its commands are disabled and do nothing.
  auto hasDoc = [this](TAction* a) { a->setEnabled(EditableDocument() != nullptr); };
  auto doc = [this] { return EditableDocument(); };

  Add("actNew", "File", "&New...", "Ctrl+N", 0)->OnExecute = [this](TAction*) {
    const QPointer<QMdiSubWindow> before = FMdi->activeSubWindow();
    TfrmDoc* d = TfrmDoc::CreateNew(TApplication::Instance() ? TApplication::Instance()->Owner() : nullptr);
    ShowDocument(d);
    // A cancelled New leaves the windows as they were: the one active before is again,
    // and every title bar is drawn anew (they were left blank).
    auto drop = [this, d, &before] {
      d->Free();
      if (before) FMdi->setActiveSubWindow(before);
      for (QMdiSubWindow* sub : FMdi->subWindowList()) sub->update();
    };
    bool ok = true;
    try {
      ok = DataDialog ? DataDialog(d) : true;
    } catch (...) {
      drop();
      throw;
    }
    if (!ok) drop();
  };
  Add("actOpen", "File", "&Open...", "Ctrl+O", 1)->OnExecute = [this](TAction*) {
    std::optional<std::string> file;
    if (OpenDialog) {
      file = OpenDialog();
    } else {
      QFileDialog dialog(this);
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
      dialog.setNameFilter(AnyCaseFilters("Reports (*.rpt);;Recorded reports (*.qrp);;All files (*)"));
      dialog.setDefaultSuffix("rpt");
      dialog.setDirectory(FDialogDirectory);
      if (ExecDialog(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        file = dialog.selectedFiles().first().toStdString();
    }
    if (!file) return;
    FDialogDirectory = QFileInfo(QString::fromStdString(*file)).absolutePath();
    OpenFile(*file);
  };
  auto* save = Add("actSave", "File", "&Save", "Ctrl+S", 2);
  // A document never saved has no name to save under: Save asks for one.
  save->OnExecute = [this, doc](TAction*) {
    if (!doc()) return;
    if (doc()->FileName.empty())
      SaveDocumentAs(doc());
    else
      SaveDocument(doc());
  };
  save->OnUpdate = [doc](TAction* a) { a->setEnabled(doc() && (doc()->Modified || doc()->FileName.empty())); };
  auto* saveAs = Add("actSaveAs", "File", "Save &as...", "", 2);
  saveAs->OnExecute = [this, doc](TAction*) { if (doc()) SaveDocumentAs(doc()); };
  saveAs->OnUpdate = hasDoc;
  auto* saveAll = Add("actSaveSaveAll", "File", "actSaveSaveAll", "", 2);
  saveAll->OnExecute = [this, doc](TAction*) {
    if (!doc()) return;
    if (!doc()->FileName.empty())
      SaveDocument(doc());
    else
      SaveDocumentAs(doc());
  };
  saveAll->OnUpdate = [doc](TAction* a) { a->setEnabled(doc() && (doc()->Modified || doc()->FileName.empty())); };
  auto* close = Add("actClose", "File", "&Close", "", 3);
  close->OnExecute = [doc](TAction*) { if (doc()) doc()->Close(); };
  close->OnUpdate = hasDoc;
  auto* closeAll = Add("actCloseAll", "File", "Close a&ll", "", 4);
  closeAll->OnExecute = [this](TAction*) { CloseAllDocuments(); };
  closeAll->OnUpdate = [this](TAction* a) { a->setEnabled(!Documents().empty()); };

  // Editing commands work on the active document's design surface: each runs one of
  // its named editing steps.
  auto onDoc = [doc](void (TfrmDoc::*step)()) {
    return [doc, step](TAction*) {
      if (TfrmDoc* d = doc()) (d->*step)();
    };
  };
  auto* undo = Add("actUndo", "Edit", "Undo", "Ctrl+Z", 34);
  undo->OnExecute = onDoc(&TfrmDoc::Undo);
  undo->OnUpdate = [doc](TAction* a) {
    a->setEnabled(doc() && doc()->CanUndo());
    a->setText(QString::fromStdString(doc() ? doc()->UndoCaption() : "Undo"));
  };
  auto* redo = Add("actRedo", "Edit", "Redo", "Ctrl+Y", 35);
  redo->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
  redo->OnExecute = onDoc(&TfrmDoc::Redo);
  redo->OnUpdate = [doc](TAction* a) {
    a->setEnabled(doc() && doc()->CanRedo());
    a->setText(QString::fromStdString(doc() ? doc()->RedoCaption() : "Redo"));
  };
  auto* copy = Add("actCopy", "Edit", "&Copy", "Ctrl+C", 5);
  copy->OnExecute = onDoc(&TfrmDoc::CopySelection);
  copy->OnUpdate = [doc](TAction* a) { a->setEnabled(doc() && doc()->CanCopy()); };
  auto* cut = Add("actCut", "Edit", "C&ut", "Ctrl+X", 6);
  cut->OnExecute = onDoc(&TfrmDoc::CutSelection);
  cut->OnUpdate = [doc](TAction* a) { a->setEnabled(doc() && doc()->CanCut()); };
  auto* paste = Add("actPaste", "Edit", "&Paste", "Ctrl+V", 7);
  paste->OnExecute = onDoc(&TfrmDoc::PasteSelection);
  paste->OnUpdate = [doc](TAction* a) { a->setEnabled(doc() && doc()->CanPaste()); };
  auto* del = Add("actDelete", "Edit", "&Delete", "Del", 9);
  del->OnExecute = onDoc(&TfrmDoc::DeleteSelection);
  del->OnUpdate = hasDoc;
  auto* lock = Add("actLock", "Edit", "&Lock", "", 10);
  lock->OnExecute = [doc](TAction*) {
    if (TfrmDoc* d = doc()) d->LockSelection({lmNoMove, lmNoResize, lmNoDelete});
  };
  lock->OnUpdate = hasDoc;
  auto* unlock = Add("actUnlock", "Edit", "&Unlock", "", 11);
  unlock->OnExecute = [doc](TAction*) {
    if (TfrmDoc* d = doc()) d->LockSelection({});
  };
  unlock->OnUpdate = hasDoc;
  auto* unlockAll = Add("actUnlockAll", "Edit", "Unlock &all", "", -1);
  unlockAll->OnExecute = onDoc(&TfrmDoc::UnlockAll);
  unlockAll->OnUpdate = hasDoc;
  auto* selectAll = Add("actSelectAll", "Edit", "&Select all", "Ctrl+A", -1);
  selectAll->OnExecute = onDoc(&TfrmDoc::SelectAll);
  selectAll->OnUpdate = hasDoc;
  auto* alignToGrid = Add("actAlignToGrid", "Edit", "Ali&gn to grid", "", 12);
  alignToGrid->OnExecute = onDoc(&TfrmDoc::AlignSelectionToGrid);
  alignToGrid->OnUpdate = hasDoc;
  auto* toFront = Add("actBringToFront", "Edit", "&Bring to front", "", 14);
  toFront->OnExecute = onDoc(&TfrmDoc::BringSelectionToFront);
  toFront->OnUpdate = hasDoc;
  auto* toBack = Add("actSendToBack", "Edit", "Send &to back", "", 13);
  toBack->OnExecute = onDoc(&TfrmDoc::SendSelectionToBack);
  toBack->OnUpdate = hasDoc;
  auto* enabled = Add("actEnabled", "Edit", "&Enabled", "", -1);
  enabled->setCheckable(true);
  enabled->OnExecute = onDoc(&TfrmDoc::ToggleEnabled);
  enabled->OnUpdate = [doc](TAction* a) {
    TfrmDoc* d = doc();
    const bool on = d && d->OneElementSelected();
    a->setEnabled(on);
    const auto* control = on ? dynamic_cast<TControl*>(d->ZQKDesigner1->SelectedComponents().LastSelected()) : nullptr;
    a->setChecked(control && control->Enabled());
  };
  auto* enableAll = Add("actEnableAll", "Edit", "Enable A&ll", "", -1);
  enableAll->OnExecute = onDoc(&TfrmDoc::EnableAll);
  enableAll->OnUpdate = hasDoc;

  auto* changeData = Add("actChangeData", "Report", "&Change data...", "Ctrl+F10", 18);
  changeData->OnExecute = [this, doc](TAction*) {
    TfrmDoc* d = doc();
    if (d && DataDialog) d->ChangeDocument("Change Data", [this, d] { DataDialog(d); });
  };
  changeData->OnUpdate = hasDoc;
  auto* detailData = Add("actDetailData", "Report", "&Detail data...", "", -1);
  detailData->OnExecute = [this, doc](TAction*) {
    if (TfrmDoc* d = doc()) EditDetailData(d, d->SelectedElement());
  };
  detailData->OnUpdate = hasDoc;
  auto* parameters = Add("actParameters", "Report", "Para&meters...", "", -1);
  parameters->OnExecute = [this, doc](TAction*) {
    TfrmDoc* d = doc();
    if (!d || !ParametersDialog) return;
    TOwnedPtr<TQRParameters> edited(new TQRParameters);
    edited->AssignFrom(d->Report->Parameters());
    if (!ParametersDialog(d, *edited)) return;
    // Through the document's change path, as the properties window writes the report's
    // properties: one named step of its history.
    d->ChangeElements("Parameters", {d->Report}, [&] { d->Report->Parameters()->AssignFrom(edited.get()); });
    if (!d->Modified) d->MarkModified();
  };
  parameters->OnUpdate = hasDoc;
  auto* preview = Add("actPreview", "Report", "&Preview", "F9", 20);
  preview->OnExecute = [this](TAction*) { PreviewOrPrint(false); };
  preview->OnUpdate = hasDoc;
  auto* print = Add("actPrint", "Report", "Pr&int", "Ctrl+P", 19);
  print->OnExecute = [this](TAction*) { PreviewOrPrint(true); };
  print->OnUpdate = hasDoc;
  auto* repProps = Add("actRepProps", "Report", "&Properties", "F12", 33);
  repProps->OnExecute = [doc](TAction*) {
    TfrmDoc* d = doc();
    auto* dialog = static_cast<TdlgReportProps*>(dlgReportProps);
    if (!d || !dialog) return;
    // Cancel changes nothing, so it records no step.
    d->ChangeDocument("Page Settings", [d, dialog] { dialog->EditPageSettings(d->Report); });
    // A new paper size resizes the report: the handles follow it.
    UpdateHandles(d);
  };
  repProps->OnUpdate = hasDoc;

  auto* propsView = Add("actPropsView", "View", "&Properties", "F11", 21);
  propsView->setCheckable(true);
  propsView->OnExecute = [](TAction*) {
    if (frmProps) frmProps->setVisible(!frmProps->isVisible());
  };
  propsView->OnUpdate = [](TAction* a) {
    a->setEnabled(true);
    a->setChecked(frmProps && frmProps->isVisible());
  };
  auto* zoom100 = Add("actZoom100", "View", "&Zoom to 100 %", "", -1);
  zoom100->OnExecute = [this, doc](TAction*) {
    if (!doc()) return;
    doc()->Report->SetZoom(100);
    UpdateHandles(doc());
    FSyncingZoom = true;
    FComboBox1->setCurrentIndex(3);
    FSyncingZoom = false;
  };
  zoom100->OnUpdate = hasDoc;

  struct TAlignAction {
    const char* Name;
    const char* Caption;
    int Image;
  };
  const TAlignAction aligns[] = {
      {"actALLeft", "Align left edges", 27},
      {"actALRight", "Align right edges", 28},
      {"actALTop", "Align top edges", 29},
      {"actALBottom", "Align bottom edges", 32},
      {"actALHSpace", "Space equally, horizontally", 24},
      {"actALVSpace", "Space equally, vertically", 31},
      {"actALHCenter", "Align horizontal centers", 23},
      {"actALVCenter", "Align vertical centers", 30},
      {"actALHCenterWindow", "Center horizontally in window", 25},
      {"actALVCenterWindow", "Center vertically in window", 22},
  };
  // One execute step for all ten: the sending action's tag chooses the codes.
  for (int tag = 0; tag < 10; ++tag) {
    TAction* align = Add(aligns[tag].Name, "Align", aligns[tag].Caption, "", aligns[tag].Image, tag);
    align->OnExecute = [doc](TAction* sender) {
      const TAlignCodes codes = AlignCodesForTag(sender->Tag());
      if (TfrmDoc* d = doc()) d->AlignSelection(codes.Horizontal, codes.Vertical);
    };
    align->OnUpdate = hasDoc;
  }

  auto anyChild = [this](TAction* a) { a->setEnabled(!Documents().empty()); };
  auto* cascade = Add("WindowCascade1", "Window", "&Cascade", "", 16);
  cascade->setToolTip("Cascade");
  cascade->OnExecute = [this](TAction*) { CascadeDocuments(); };
  auto* tileH = Add("WindowTileHorizontal1", "Window", "Tile &Horizontally", "", 17);
  tileH->setToolTip("Tile Horizontal");
  tileH->OnExecute = [this](TAction*) { TileDocuments(true); };
  auto* tileV = Add("WindowTileVertical1", "Window", "&Tile Vertically", "", 18);
  tileV->setToolTip("Tile Vertical");
  tileV->OnExecute = [this](TAction*) { TileDocuments(false); };
  auto* minimize = Add("WindowMinimizeAll1", "Window", "&Minimize All", "", -1);
  minimize->setToolTip("Minimize All");
  minimize->OnExecute = [this](TAction*) {
    const std::vector<TfrmDoc*> docs = Documents();
    for (auto it = docs.rbegin(); it != docs.rend(); ++it)
      if ((*it)->SubWindow) (*it)->SubWindow->showMinimized();
  };
  auto* arrange = Add("WindowArrange1", "Window", "&Arrange", "", -1);
  arrange->OnExecute = [this](TAction*) { ArrangeIcons(); };
  for (TAction* a : {cascade, tileH, tileV, minimize, arrange}) {
    a->setEnabled(false);
    a->OnUpdate = anyChild;
  }
  // Until their first idle moment every other rule has not run either: start from the
  // state of "no document".
  FActions->UpdateActions();
}

void TfrmMain::CreateMenus() {
  auto add = [this](QMenu* menu, const char* name) { menu->addAction(Action(name)); };
  QMenu* file = menuBar()->addMenu("&File");
  for (const char* n : {"actNew", "actOpen", "actSave", "actSaveAs", "actClose", "actCloseAll"}) add(file, n);
  file->addSeparator();
  FCloseItem = file->addAction(FActions->Image(8), "E&xit");
  FCloseItem->setObjectName("Close1");
  FCloseItem->setShortcut(QKeySequence("Alt+F4"));
  FCloseItem->setShortcutContext(Qt::ApplicationShortcut);
  connect(FCloseItem, &QAction::triggered, this, [this] { close(); });

  auto alignMenu = [&](QMenu* parent) {
    QMenu* align = parent->addMenu("Alig&n");
    for (const char* n : {"actALLeft", "actALRight", "actALHSpace", "actALHCenter", "actALHCenterWindow"}) add(align, n);
    align->addSeparator();
    for (const char* n : {"actALTop", "actALBottom", "actALVSpace", "actALVCenter", "actALVCenterWindow"}) add(align, n);
  };
  QMenu* edit = menuBar()->addMenu("Edit");
  add(edit, "actUndo");
  add(edit, "actRedo");
  edit->addSeparator();
  add(edit, "actEnabled");
  add(edit, "actEnableAll");
  edit->addSeparator();
  for (const char* n : {"actCut", "actCopy", "actPaste", "actDelete", "actSelectAll"}) add(edit, n);
  edit->addSeparator();
  alignMenu(edit);
  for (const char* n : {"actAlignToGrid", "actBringToFront", "actSendToBack"}) add(edit, n);
  edit->addSeparator();
  for (const char* n : {"actLock", "actUnlock", "actUnlockAll"}) add(edit, n);

  QMenu* view = menuBar()->addMenu("&View");
  add(view, "actPropsView");
  // F11 shows or hides the properties window; this key takes the keyboard there, so a
  // property can be typed without the mouse.
  QAction* goToProps = view->addAction("&Go to properties");
  goToProps->setObjectName("GoToProperties1");
  goToProps->setShortcut(QKeySequence("Ctrl+F11"));
  goToProps->setShortcutContext(Qt::ApplicationShortcut);
  connect(goToProps, &QAction::triggered, this, [] {
    if (!frmProps) return;
    frmProps->show();
    frmProps->raise();
    frmProps->activateWindow();
    frmProps->PropInsp->setFocus(Qt::ShortcutFocusReason);
  });
  add(view, "actZoom100");
  // Every palette element can be inserted without the mouse.
  QMenu* insert = menuBar()->addMenu("&Insert");
  insert->setObjectName("InsertMenu");
  for (const TPaletteEntry& e : kPalette) {
    if (!e.ClassName) continue;
    QAction* item = insert->addAction(QIcon(QString(":/images/palette_%1.png").arg(e.Glyph)), e.MenuCaption);
    item->setObjectName(QString("Insert%1").arg(e.ClassName));
    connect(item, &QAction::triggered, this, [this, name = e.ClassName] {
      HandleErrors([this, name] {
        const TClassDescriptor* cls = FindStreamClass(name);
        TfrmDoc* d = EditableDocument();
        if (!d || !cls) return;
        d->InsertElement(*cls);
        // The keyboard goes to the design surface: typing there edits the new element.
        if (QWidget* surface = PeerWidget(d->Report)) surface->setFocus(Qt::OtherFocusReason);
      });
    });
  }
  connect(insert, &QMenu::aboutToShow, this, [this, insert] {
    for (QAction* item : insert->actions()) item->setEnabled(EditableDocument() != nullptr);
  });
  QMenu* report = menuBar()->addMenu("&Report");
  add(report, "actPreview");
  add(report, "actPrint");
  report->addSeparator();
  add(report, "actChangeData");
  add(report, "actDetailData");
  add(report, "actParameters");
  add(report, "actRepProps");
  QMenu* window = menuBar()->addMenu("&Window");
  for (const char* n : {"WindowCascade1", "WindowTileHorizontal1", "WindowTileVertical1", "WindowArrange1",
                        "WindowMinimizeAll1"})
    add(window, n);

  auto* popup = new QMenu(this);
  popup->setObjectName("PopupMenu1");
  add(popup, "actUndo");
  add(popup, "actRedo");
  popup->addSeparator();
  add(popup, "actEnabled");
  popup->addSeparator();
  for (const char* n : {"actCut", "actCopy", "actPaste", "actDelete"}) add(popup, n);
  popup->addSeparator();
  alignMenu(popup);
  for (const char* n : {"actAlignToGrid", "actBringToFront", "actSendToBack"}) add(popup, n);
  popup->addSeparator();
  add(popup, "actLock");
  add(popup, "actUnlock");
  FPopupMenu1->SetMenu(popup);
}

void TfrmMain::CreateToolBars() {
  auto bar = [this](const char* name) {
    auto* b = addToolBar(name);
    b->setObjectName(name);
    b->setMovable(false);
    b->setIconSize(QSize(16, 16));
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return b;
  };
  QToolBar* first = bar("ToolBar1");
  auto add = [this](QToolBar* b, std::initializer_list<const char*> names) {
    for (const char* n : names) b->addAction(Action(n));
  };
  add(first, {"actNew", "actOpen", "actSaveSaveAll"});
  first->addSeparator();
  add(first, {"actPreview", "actPrint"});
  first->addSeparator();
  add(first, {"actCut", "actCopy", "actPaste"});
  first->addSeparator();
  add(first, {"actUndo", "actRedo"});
  first->addSeparator();
  add(first, {"actDelete", "actAlignToGrid", "actBringToFront", "actSendToBack"});
  first->addSeparator();
  add(first, {"actLock", "actUnlock"});
  first->addSeparator();
  add(first, {"actPropsView"});
  first->addSeparator();
  FComboBox1 = new QComboBox(first);
  FComboBox1->setObjectName("ComboBox1");
  FComboBox1->setEditable(false);
  FComboBox1->setFixedWidth(78);
  for (const char* item : {"25 %", "50 %", "75 %", "100 %", "150 %", "200 %"}) FComboBox1->addItem(item);
  FComboBox1->setCurrentIndex(-1);
  connect(FComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) { ZoomChanged(index); });
  first->addWidget(FComboBox1);

  addToolBarBreak();
  QToolBar* second = bar("ToolBar2");
  add(second, {"actALLeft", "actALRight", "actALHSpace", "actALHCenter", "actALHCenterWindow"});
  second->addSeparator();
  add(second, {"actALTop", "actALBottom", "actALVSpace", "actALVCenter", "actALVCenterWindow"});
}

void TfrmMain::CreatePalette(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName("pnlPalette");
  panel->setFixedWidth(36);
  parent->layout()->addWidget(panel);
  FPalette = new QButtonGroup(this);
  FPalette->setExclusive(true);
  int top = 3;
  for (const TPaletteEntry& e : kPalette) {
    auto* b = new QToolButton(panel);
    b->setObjectName(e.Name);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setIcon(QIcon(QString(":/images/palette_%1.png").arg(e.Glyph)));
    b->setIconSize(QSize(24, 24));
    b->setGeometry(2, top, 32, 32);
    b->setToolTip(e.Hint);
    FPalette->addButton(b);
    FPaletteButtons.push_back(b);
    top += 32;
  }
  // The main window grows to show every button rather than cut the last ones off.
  panel->setMinimumHeight(top + 3);
  FPaletteButtons.front()->setChecked(true);
}

TfrmDoc* TfrmMain::EditableDocument() const {
  TfrmDoc* doc = ActiveDocument();
  return doc && !doc->ReportBusy() ? doc : nullptr;
}

TfrmDoc* TfrmMain::ActiveDocument() const {
  QMdiSubWindow* sub = FMdi->activeSubWindow();
  if (!sub) {
    // The frame may have no active child while focus is elsewhere: the top child counts.
    const auto list = FMdi->subWindowList(QMdiArea::StackingOrder);
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if ((*it)->isVisible()) {
        sub = *it;
        break;
      }
  }
  for (TfrmDoc* d : Documents())
    if (d->SubWindow == sub) return d;
  return nullptr;
}

std::vector<TfrmDoc*> TfrmMain::Documents() const {
  std::vector<TfrmDoc*> docs;
  TComponent* owner = TApplication::Instance() ? TApplication::Instance()->Owner() : nullptr;
  if (!owner) return docs;
  for (QMdiSubWindow* sub : FMdi->subWindowList(QMdiArea::StackingOrder))
    for (TComponent* c : owner->OwnedComponents())
      if (auto* d = dynamic_cast<TfrmDoc*>(c); d && d->SubWindow == sub && !d->Releasing()) docs.push_back(d);
  return docs;
}

void TfrmMain::ShowDocument(TfrmDoc* doc) {
  QWidget* peer = CreateFormPeer(doc, nullptr);
  auto* sub = new TDocSubWindow(doc);
  sub->setObjectName(QString::fromStdString(doc->Name()));
  sub->setWidget(peer);
  sub->setWindowTitle(QString::fromStdString(doc->Caption()));
  sub->setWindowIcon(FActions->Image(0));
  connect(peer, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
  doc->SubWindow = sub;
  FMdi->addSubWindow(sub);
  // Most of the area, so a page shows without scrolling at once; never smaller than a
  // window that shows a band and its elements.
  const QSize area = FMdi->viewport()->size();
  sub->resize(std::max(502, area.width() * 85 / 100), std::max(321, area.height() * 85 / 100));
  // A new window steps down and right from the last one, and starts again at the top
  // left when it would no longer fit, so it always opens in full view.
  const int step = CascadeStep();
  QPoint at(FNextPlace * step, FNextPlace * step);
  if (FNextPlace > 0 && (at.x() + sub->width() > area.width() || at.y() + sub->height() > area.height())) {
    FNextPlace = 0;
    at = {0, 0};
  }
  ++FNextPlace;
  sub->move(at);
  doc->SetVisible(true);
  sub->show();
  FMdi->setActiveSubWindow(sub);
  if (doc->OnActivate) doc->OnActivate(doc);
}

void TfrmMain::DocumentGone(QMdiSubWindow* sub) { FMdi->removeSubWindow(sub); }

void TfrmMain::SelectedPaletteClass(const TClassDescriptor*& cls) const {
  for (size_t i = 0; i < FPaletteButtons.size(); ++i)
    if (FPaletteButtons[i]->isChecked() && kPalette[i].ClassName) {
      if (const TClassDescriptor* found = FindStreamClass(kPalette[i].ClassName)) cls = found;
      return;
    }
}

void TfrmMain::ResetPalette() { FPaletteButtons.front()->setChecked(true); }

std::optional<std::string> TfrmMain::ChoosePicture() {
  if (PictureDialog) return PictureDialog();
  QFileDialog dialog(this);
  dialog.setWindowTitle("Picture");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(AnyCaseFilters("Pictures (*.png *.jpg *.jpeg *.bmp *.svg);;All files (*)"));
  dialog.setDirectory(FDialogDirectory);
  if (ExecDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  FDialogDirectory = QFileInfo(dialog.selectedFiles().first()).absolutePath();
  return dialog.selectedFiles().first().toStdString();
}

TfrmDoc* TfrmMain::OpenFile(const std::string& fileName) {
  if (IsRecordedReportFile(fileName)) {
    OpenRecordedReport(fileName);
    return nullptr;
  }
  TfrmDoc* doc = TfrmDoc::CreateFromFile(TApplication::Instance() ? TApplication::Instance()->Owner() : nullptr,
                                         fileName);
  ShowDocument(doc);
  return doc;
}

void TfrmMain::SaveDocument(TfrmDoc* doc) {
  doc->SaveToFile(doc->FileName);
  doc->MarkSaved();
}

bool TfrmMain::SaveDocumentAs(TfrmDoc* doc) {
  const std::string proposed = doc->FileName.empty() ? doc->Caption() : doc->FileName;
  std::optional<std::string> file;
  if (SaveDialog) {
    file = SaveDialog(proposed);
  } else {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(AnyCaseFilters("Reports (*.rpt)"));
    dialog.setDefaultSuffix("rpt");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDirectory(FDialogDirectory);
    dialog.selectFile(QString::fromStdString(proposed));
    if (ExecDialog(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      file = dialog.selectedFiles().first().toStdString();
  }
  if (!file) return false;
  FDialogDirectory = QFileInfo(QString::fromStdString(*file)).absolutePath();
  doc->SaveToFile(*file);
  doc->FileName = *file;
  doc->SetCaption(ExtractFileName(*file));
  doc->MarkSaved();
  return true;
}

bool TfrmMain::CloseAllDocuments() {
  // The frame's list has the active child first; closing runs from its end.
  for (TfrmDoc* doc : Documents()) {
    doc->Close();
    if (!TfrmDoc::LastCloseAccepted) return false;
  }
  return true;
}

void TfrmMain::SyncZoomCombo(bool clear) {
  FSyncingZoom = true;
  TfrmDoc* doc = ActiveDocument();
  int index = -1;
  if (!clear && doc) {
    const int zoom = doc->Report->Zoom();
    for (int i = 0; i < 6; ++i)
      if (kZoomValues[i] == zoom) index = i;
  }
  FComboBox1->setCurrentIndex(index);
  FSyncingZoom = false;
}

void TfrmMain::ZoomChanged(int index) {
  if (FSyncingZoom) return;
  TfrmDoc* doc = ActiveDocument();
  if (doc && doc->ReportBusy()) {
    // A zoom lays the bands out again: not while a pass walks them.
    SyncZoomCombo(false);
    return;
  }
  if (!doc) {
    FSyncingZoom = true;
    FComboBox1->setCurrentIndex(-1);
    FSyncingZoom = false;
    return;
  }
  const int zoom = index >= 0 && index < 6 ? kZoomValues[index] : doc->Report->Zoom();
  doc->Report->SetZoom(zoom);
  doc->Report->SetBounds(0, 0, doc->Report->Width(), doc->Report->Height());
  UpdateHandles(doc);
}

void TfrmMain::UpdateHandles(TfrmDoc* doc) {
  if (doc->ZQKDesigner1 && doc->ZQKDesigner1->Active()) doc->ZQKDesigner1->SelectedComponents().UpdateHandles();
}

void TfrmMain::EditDetailData(TfrmDoc* doc, TComponent* target) {
  if (!doc || !DetailDataDialog) return;
  TDataSet* made = DetailDataDialog(doc);
  if (!made) return;
  doc->ChangeDocument("Detail Data", [doc, made, target] { doc->PlaceDetailDataSet(made, target); });
}

void TfrmMain::PreviewOrPrint(bool print) {
  TfrmDoc* doc = EditableDocument();
  if (!doc) return;
  // The values come first: cancelling them makes nothing.
  if (AskParameters && !AskParameters(doc)) return;
  const bool propsVisible = frmProps && frmProps->isVisible();
  if (frmProps) frmProps->hide();
  // A print's pass runs on this thread and lets messages run: the rules see the busy
  // report now, not at the next idle moment, which comes only after the pass.
  struct TBusy {
    TfrmMain* Main;
    TfrmDoc* Doc;
    bool Print;
    TBusy(TfrmMain* main, TfrmDoc* doc, bool print) : Main(main), Doc(doc), Print(print) {
      if (!Print) return;
      Doc->Printing = true;
      Main->FActions->UpdateActions();
      Main->SyncBusyDocuments();
    }
    ~TBusy() {
      if (!Print) return;
      Doc->Printing = false;
      Main->FActions->UpdateActions();
      Main->SyncBusyDocuments();
      if (Main->FCloseWhenPassEnds) {
        Main->FCloseWhenPassEnds = false;
        QTimer::singleShot(0, Main, [main = Main] { main->close(); });
      }
    }
  };
  try {
    TBusy busy(this, doc, print);
    if (doc->DataSet) doc->DataSet->SetActive(true);
    const auto& run = print ? PrintReport : PreviewReport;
    if (run) run(doc);
    if (!FCloseWhenPassEnds) ShowGenerationMessages(doc);
  } catch (...) {
    if (frmProps) frmProps->setVisible(propsVisible);
    throw;
  }
  if (frmProps) frmProps->setVisible(propsVisible);
}

// The parameters the report's SQL uses that it does not declare yet become texts of the
// report (Report > Parameters gives them other types): one step of the history.
void TfrmMain::DeclareParameters(TfrmDoc* doc) {
  const std::vector<std::string> names = doc->Report->UndeclaredSqlParams();
  if (names.empty()) return;
  doc->ChangeElements("Parameters", {doc->Report}, [&] {
    for (const std::string& name : names)
      if (IsValidParamName(name)) doc->Report->Parameters()->AddParameter()->SetName(name);
  });
}

void TfrmMain::ShowGenerationMessages(TfrmDoc* doc) {
  const std::vector<std::string> messages = doc->Report->GenerationMessages();
  if (messages.empty()) return;
  // A report with a bad value on every record must not make a box as tall as the screen.
  constexpr size_t kShown = 10;
  std::string text = "The report of \"" + doc->Caption() + "\" was made with these messages:\n";
  for (size_t i = 0; i < messages.size() && i < kShown; ++i) text += "\n" + messages[i];
  if (messages.size() > kShown) text += "\n... and " + std::to_string(messages.size() - kShown) + " more.";
  MessageDlg(text, mtWarning, {mbOK});
}

void TfrmMain::PrintDocument(TfrmDoc* doc) {
  TNotifyQuickRep* report = doc->Report;
  // Without the standard dialogs (tools, tests) the report prints with its settings.
  if (TQRPrintWindows::RunPrintDialog) {
    const TPrinterOrientation orientation = report->Page()->Orientation();
    bool accepted = false;
    doc->ChangeDocument("Print Settings", [report, &accepted] { accepted = report->PrinterSetup(); });
    if (report->Page()->Orientation() != orientation) UpdateHandles(doc);
    if (!accepted) return;
  }
  if (FCloseWhenPassEnds) return;
  report->PrintToPrinter();
}

void TfrmMain::SyncBusyDocuments() {
  for (TfrmDoc* doc : Documents())
    if (doc->SubWindow && doc->SubWindow->widget()) doc->SubWindow->widget()->setEnabled(!doc->ReportBusy());
}

std::string TfrmMain::StopPassesQuestion(const std::string& documents) {
  return "Printing or previewing " + documents + " has not finished.\n\n"
         "Stop it and close the program? No keeps the program running.";
}

bool TfrmMain::StopPassesForClosing() {
  std::vector<TfrmDoc*> busy;
  std::string names;
  for (TfrmDoc* doc : Documents())
    if (doc->ReportBusy()) {
      busy.push_back(doc);
      names += (names.empty() ? "\"" : ", \"") + doc->Caption() + "\"";
    }
  if (busy.empty()) return true;
  if (MessageDlg(StopPassesQuestion(names), mtConfirmation, {mbYes, mbNo}) != mrYes) return false;
  for (TfrmDoc* doc : busy) {
    if (doc->Report->GenerationRunning()) {
      // A preview's thread: stopped and waited for here.
      try {
        doc->Report->WaitForGeneration(true);
      } catch (const std::exception& e) {
        if (auto* app = TApplication::Instance()) app->HandleException(e.what());
      }
    } else {
      doc->Report->CancelGeneration();
      FCloseWhenPassEnds = true;
    }
  }
  return !FCloseWhenPassEnds;
}

bool TfrmMain::TypingInText() {
  QWidget* focus = QApplication::focusWidget();
  if (!focus) return false;
  bool editable = false;
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) editable = !edit->isReadOnly();
  else if (auto* text = qobject_cast<QPlainTextEdit*>(focus)) editable = !text->isReadOnly();
  else if (auto* rich = qobject_cast<QTextEdit*>(focus)) editable = !rich->isReadOnly();
  else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus)) editable = !spin->isReadOnly();
  if (!editable || !frmMain) return false;
  for (TfrmDoc* doc : frmMain->Documents())
    if (doc->SubWindow && doc->SubWindow->isAncestorOf(focus)) return false;
  return true;
}

bool TfrmMain::ClaimsShortcut(int key) const {
  if (!isEnabled()) return false;
  const QKeySequence pressed(key);
  // Delete and the clipboard keys act on the selected report elements, except while a
  // text is being typed elsewhere: then they edit that text (Delete removed the elements).
  static const QKeySequence textKeys[] = {QKeySequence(Qt::Key_Delete), QKeySequence("Ctrl+C"),
                                          QKeySequence("Ctrl+X"), QKeySequence("Ctrl+V"), QKeySequence("Ctrl+A")};
  if (std::find(std::begin(textKeys), std::end(textKeys), pressed) != std::end(textKeys) && TypingInText())
    return false;
  if (FCloseItem && FCloseItem->shortcut() == pressed) return true;
  for (QAction* menu : menuBar()->actions()) {
    std::vector<QMenu*> pending{menu->menu()};
    while (!pending.empty()) {
      QMenu* m = pending.back();
      pending.pop_back();
      if (!m) continue;
      for (QAction* item : m->actions()) {
        if (item->menu()) pending.push_back(item->menu());
        else if (item->shortcuts().contains(pressed)) return true;
      }
    }
  }
  return false;
}

void TfrmMain::TileDocuments(bool horizontally) {
  std::vector<QMdiSubWindow*> subs;
  for (TfrmDoc* d : Documents())
    if (d->SubWindow && !d->SubWindow->isMinimized()) subs.push_back(d->SubWindow);
  if (subs.empty()) return;
  const QRect area = FMdi->viewport()->rect();
  const int n = static_cast<int>(subs.size());
  for (int i = 0; i < n; ++i) {
    subs[static_cast<size_t>(i)]->showNormal();
    if (horizontally) {
      const int h = area.height() / n;
      subs[static_cast<size_t>(i)]->setGeometry(0, i * h, area.width(), h);
    } else {
      const int w = area.width() / n;
      subs[static_cast<size_t>(i)]->setGeometry(i * w, 0, w, area.height());
    }
  }
}

int TfrmMain::CascadeStep() const {
  // One caption height, so every window's caption stays in view.
  return FMdi->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, FMdi) + 2;
}

void TfrmMain::CascadeDocuments() {
  std::vector<QMdiSubWindow*> subs;
  for (TfrmDoc* d : Documents())
    if (d->SubWindow && !d->SubWindow->isMinimized()) subs.push_back(d->SubWindow);
  if (subs.empty()) return;
  const QSize area = FMdi->viewport()->size();
  const int step = CascadeStep();
  // Every window keeps at least half the frame; the steps start again when the
  // windows would be smaller.
  const int perRun = std::max(1, std::min((area.width() / 2) / step, (area.height() / 2) / step) + 1);
  const int steps = std::min(static_cast<int>(subs.size()), perRun) - 1;
  const QSize size(area.width() - steps * step, area.height() - steps * step);
  // Bottom of the stack first, so the active window ends on top, last in the cascade.
  for (size_t i = 0; i < subs.size(); ++i) {
    const int k = static_cast<int>(i) % perRun;
    subs[i]->showNormal();
    subs[i]->setGeometry(k * step, k * step, size.width(), size.height());
    subs[i]->raise();
  }
  FNextPlace = static_cast<int>(subs.size()) % perRun;
}

void TfrmMain::ArrangeIcons() {
  int x = 0;
  const int bottom = FMdi->viewport()->height();
  for (TfrmDoc* d : Documents())
    if (d->SubWindow && d->SubWindow->isMinimized()) {
      const QSize size = d->SubWindow->size();
      d->SubWindow->move(x, bottom - size.height());
      x += size.width();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (!StopPassesForClosing() || !CloseAllDocuments()) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::quit();
}

// ---------------------------------------------------------------------------

void CreateSingleInstanceWindows() {
  frmMain = new TfrmMain;
  // Owned by the main window: the window system keeps them over it.
  dlgData = new TdlgData(frmMain);
  frmProps = new TfrmProps;
  dlgLinesEditor = new TdlgLinesEditor(frmMain);
  // A rule's condition in the properties window is edited like an expression element's.
  TItemListDialog::EditExpression = [](std::string& text) {
    TfrmDoc* doc = frmMain ? frmMain->ActiveDocument() : nullptr;
    return dlgLinesEditor && dlgLinesEditor->EditText(text, doc ? doc->DataSet : nullptr);
  };
  dlgFields = new TdlgFields(frmMain);
  dlgReportProps = new TdlgReportProps;
}

void DestroySingleInstanceWindows() {
  auto destroy = [](auto*& window) {
    delete window;
    window = nullptr;
  };
  destroy(dlgReportProps);
  destroy(dlgFields);
  TItemListDialog::EditExpression = nullptr;
  destroy(dlgLinesEditor);
  destroy(frmProps);
  destroy(dlgData);
  delete frmMain;
  frmMain = nullptr;
}

}  // namespace rpt
