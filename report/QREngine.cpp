// Generation: the entry points run a pass for a preview (on a thread of its own), for a
// printer or into an export filter. The report prepares the pass (datasets, functions,
// parameters, the printables), the pass (QRPass) walks the data through the
// controllers and lays the bands out, and the report is put back as it was.
//
// The thread a preview's pass runs on touches no widget: it reads the report, prints
// onto the report printer's page canvas and walks datasets whose connections it opens
// itself. What it changes is the pass's own state and what the controllers and the
// printables keep of their print; the design (sizes, captions, lines, band order) is
// only read.
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <utility>

#include "data/DB.h"
#include "data/DBTables.h"
#include "objects/CodePage.h"
#include "framework/Application.h"
#include "objects/Format.h"
#include "output/QRPrgres.h"
#include "output/QRPrinter.h"
#include "report/QRController.h"
#include "report/QRCtrls.h"
#include "report/QRDataCtrls.h"
#include "report/QRPass.h"
#include "report/QuickRpt.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }
double AsDouble(Extended x) { return static_cast<double>(x); }

// The message the preview's thread posts to its report when the pass has ended.
constexpr uint32_t CM_QRPASSENDED = WM_USER + 10;

// Set on a preview's own thread, before the thread's object is known to the report.
thread_local bool tOnPreviewThread = false;

// Labels show their captions again once a pass is over: laid out and repainted on the
// interface thread.
void RelayoutTexts(TCustomQuickRep& report) {
  ForEachPrintable(report, [](TQRPrintable* p) {
    if (auto* label = dynamic_cast<TQRCustomLabel*>(p)) {
      label->RebuildLines();
      label->Invalidate();
    }
  });
}

}  // namespace

// ---------------------------------------------------------------------------
// Entry points

std::unique_ptr<TQRPrinter> TCustomQuickRep::TakeQRPrinter() { return std::move(FQRPrinter); }

void TCustomQuickRep::SetQRPrinter(std::unique_ptr<TQRPrinter> printer) { FQRPrinter = std::move(printer); }

bool TCustomQuickRep::MakePrinter() {
  if (!FIdle || GenerationRunning()) return false;
  auto printer = std::make_unique<TQRPrinter>();
  if (FQRPrinter) printer->NotifyWindow = FQRPrinter->NotifyWindow.load();
  printer->OnAfterPreview = [this](TQRPrinter*) {
    if (AfterPreview) AfterPreview(this);
  };
  printer->OnAfterPrint = [this](TQRPrinter*) {
    if (AfterPrint) AfterPrint(this);
  };
  FQRPrinter = std::move(printer);
  return true;
}

void TCustomQuickRep::ApplyPrinterSettings(TQRPrinter& printer) const {
  const TQuickRepPrinterSettings& settings = *FPrinterSettings;
  if (settings.PrinterNumber >= 0) printer.SetPrinterNumber(settings.PrinterNumber);
  printer.SetPaperSize(FPage->PaperSize());
  if (printer.PaperSize() == TQRPaperSize::Custom) {
    printer.SetPaperWidth(Round(AsDouble(FPage->NativeValue(pvWidth))));
    printer.SetPaperLength(Round(AsDouble(FPage->NativeValue(pvLength))));
  }
  printer.SetOrientation(FPage->Orientation());
  printer.SetCopies(settings.Copies);
  printer.SetOutputBin(settings.OutputBin);
  printer.FirstPage = settings.FirstPage;
  printer.LastPage = settings.LastPage;
  printer.Settings().SetCollate(settings.Collate);
  // After the printer number, which gives the PDF printer its default file again.
  if (!settings.OutputFileName.empty() && printer.Printer().Device().BuiltInPdf)
    printer.Printer().SetOutputFileName(settings.OutputFileName);
}

void TCustomQuickRep::PreviewReport() { StartPreview(true); }

void TCustomQuickRep::StartPreview(bool modal) {
  if (!MakePrinter()) return;
  TQRPrinter* printer = FQRPrinter.get();
  printer->OutputTarget = otPageStore;
  printer->OwnerReport = this;
  printer->Title = FReportTitle;
  printer->OnPrintSetup = [this](TQRPrinter* shown) { PrintSetupFromPreview(shown); };
  if (OnPreview) printer->OnShowPreview = [this](TQRPrinter*) { OnPreview(this); };
  StartThread(true, nullptr);
  if (modal)
    printer->ShowPreviewModal();
  else
    printer->ShowPreview();
}

void TCustomQuickRep::StartGeneration(std::function<void()> ended) {
  if (GenerationRunning()) throw EQRError("A pass of the report is running");
  if (!FQRPrinter) MakePrinter();
  StartThread(false, std::move(ended));
}

void TCustomQuickRep::EndGeneration() {
  WaitForGeneration(false);
  RelayoutTexts(*this);
  const std::string error = std::exchange(FThreadError, std::string());
  if (!error.empty()) throw EQRError(error);
}

void TCustomQuickRep::StartThread(bool notify, std::function<void()> ended) {
  // The thread opens its own connections: the ones made here are closed first, and
  // opened here again once the pass has ended.
  FController->CollectMembers();
  const std::vector<TDataSet*> walked = PassDataSets();
  FClosedForThread.clear();
  for (TDataSet* dataSet : walked)
    if (dataSet->Active()) FClosedForThread.push_back(dataSet);
  for (TDataSet* dataSet : FClosedForThread) dataSet->Close();
  for (TDataSet* dataSet : walked) dataSet->ReleaseConnection();
  FThreadError.clear();
  FIdle = false;
  ClearCancel();
  FThread = std::make_unique<std::thread>([this, walked, notify, ended] {
    tOnPreviewThread = true;
    try {
      for (TDataSet* dataSet : FClosedForThread) dataSet->Open();
      RunPass();
    } catch (const std::exception& e) {
      FThreadError = e.what();
    }
    for (TDataSet* dataSet : FClosedForThread) dataSet->Close();
    // Connections made here end here too.
    for (TDataSet* dataSet : walked) dataSet->ReleaseConnection();
    FIdle = true;
    if (ended) ended();
    if (notify) PostMessage(this, CM_QRPASSENDED);
  });
}

void TCustomQuickRep::PrintToPrinter() {
  JoinEndedPass();
  std::unique_ptr<TQRPrinter> remembered = TakeQRPrinter();
  struct TRestore {
    TCustomQuickRep* Report;
    std::unique_ptr<TQRPrinter>& Remembered;
    ~TRestore() { Report->FQRPrinter = std::move(Remembered); }
  } restore{this, remembered};
  if (!MakePrinter() || !FQRPrinter->HasPrinters()) return;
  // A page that shows the page count can only be printed once the last page is made:
  // such a report is recorded first and then printed from its recording.
  const bool recordFirst = UsesPageCount();
  FQRPrinter->OutputTarget = recordFirst ? otPageStore : otPrinter;
  // Declared after the restorer: the form goes before the printer it watches.
  std::unique_ptr<TQRProgressForm> progress;
  if (FShowProgress && TQRPrintWindows::OpenProgressForm) {
    progress = TQRPrintWindows::OpenProgressForm(*FQRPrinter);
    FQRPrinter->NotifyWindow = progress->NotifyControl();
  }
  GeneratePages();
  if (recordFirst && FQRPrinter->Status() == qsFinished && !FQRPrinter->Cancelled() &&
      FQRPrinter->FirstPage <= FQRPrinter->TotalPages()) {
    progress.reset();
    FQRPrinter->NotifyWindow = nullptr;
    FQRPrinter->PrintPages();
    for (const std::string& message : FQRPrinter->Printer().JobMessages()) AddGenerationMessage(message);
  }
  // A range past the end prints nothing: the user is told which pages there are.
  const TQRPrinter& printer = *FQRPrinter;
  if (!printer.Cancelled() && printer.FirstPage > printer.TotalPages()) {
    const std::string asked =
        printer.LastPage > printer.FirstPage
            ? "Pages " + std::to_string(printer.FirstPage) + " to " + std::to_string(printer.LastPage) + " were"
            : "Page " + std::to_string(printer.FirstPage) + " was";
    const int32_t pages = printer.TotalPages();
    AddGenerationMessage(asked + " asked for, but the report has " +
                         (pages == 1 ? std::string("one page") : std::to_string(pages) + " pages (1 to " +
                                                                      std::to_string(pages) + ")") +
                         ": nothing was printed.");
  }
}

bool TCustomQuickRep::PrinterSetup() { return RunPrintDialog(nullptr); }

void TCustomQuickRep::PrintSetupFromPreview(TQRPrinter* printer) { RunPrintDialog(printer); }

bool TCustomQuickRep::RunPrintDialog(const TQRPrinter* shown) {
  // A pass reads the settings as it starts: none may run while they change.
  if (!FIdle || !TQRPrintWindows::RunPrintDialog) return false;
  TQuickRepPrinterSettings& settings = *FPrinterSettings;
  TPrinter device;
  if (settings.PrinterNumber >= 0 && settings.PrinterNumber < static_cast<int>(device.Printers().size()))
    device.SetPrinterIndex(settings.PrinterNumber);
  if (!settings.OutputFileName.empty() && device.Device().BuiltInPdf) device.SetOutputFileName(settings.OutputFileName);
  device.DeviceMode().Orientation = FPage->Orientation() == poLandscape ? 2 : 1;
  TQRPrintDialog dialog(&device);
  dialog.Options = {poPageNums, poWarning};
  if (shown && shown->Status() == qsFinished && shown->TotalPages() > 0) {
    dialog.MinPage = 1;
    dialog.MaxPage = shown->TotalPages();
    dialog.FromPage = 1;
    dialog.ToPage = shown->TotalPages();
  } else {
    dialog.MinPage = 0;
    dialog.MaxPage = 9999;
  }
  // A range chosen before is offered again, within the pages there are.
  if (settings.FirstPage > 0 || settings.LastPage > 0) {
    dialog.PrintRange = prPageNums;
    dialog.FromPage = std::min(std::max(settings.FirstPage, 1), dialog.MaxPage);
    dialog.ToPage = settings.LastPage > 0 ? std::min(settings.LastPage, dialog.MaxPage) : dialog.MaxPage;
  }
  dialog.SetCopies(settings.Copies);
  dialog.Collate = settings.Collate;
  if (!TQRPrintWindows::RunPrintDialog(dialog)) return false;
  settings.Copies = dialog.Copies();
  settings.Collate = dialog.Collate;
  settings.PrinterNumber = device.PrinterIndex();
  if (device.Device().BuiltInPdf) settings.OutputFileName = device.OutputFileName();
  const TPrinterOrientation orientation = device.DeviceMode().Orientation == 2 ? poLandscape : poPortrait;
  if (orientation != FPage->Orientation()) FPage->SetOrientation(orientation);
  const bool pages = dialog.PrintRange == prPageNums;
  settings.FirstPage = pages ? dialog.FromPage : 0;
  settings.LastPage = pages ? dialog.ToPage : 0;
  return true;
}

void TCustomQuickRep::GeneratePages() {
  if (!FIdle && GenerationRunning()) return;
  if (!FQRPrinter) MakePrinter();
  ClearCancel();
  RunPass();
}

// A pass begins uncancelled; a cancel asked for once it has begun (while its datasets
// open, say) holds.
void TCustomQuickRep::ClearCancel() {
  FCancelRequested = false;
  if (FQRPrinter) FQRPrinter->ClearCancel();
}

void TCustomQuickRep::AddGenerationMessage(const std::string& message) {
  std::lock_guard<std::mutex> lock(FMessagesLock);
  if (std::find(FGenerationMessages.begin(), FGenerationMessages.end(), message) == FGenerationMessages.end())
    FGenerationMessages.push_back(message);
}

std::vector<std::string> TCustomQuickRep::GenerationMessages() const {
  std::lock_guard<std::mutex> lock(FMessagesLock);
  return FGenerationMessages;
}

void TCustomQuickRep::RunMaster() { FController->RunController(); }

void TCustomQuickRep::AddPrintNotify(TQRPrintable* printable) { FController->AddPrintNotify(printable); }

void TCustomQuickRep::ExportToFilter(TQRExportFilter& filter) {
  JoinEndedPass();
  if (!FIdle || GenerationRunning()) return;
  std::unique_ptr<TQRPrinter> remembered = TakeQRPrinter();
  MakePrinter();
  struct TRestore {
    TCustomQuickRep* Report;
    std::unique_ptr<TQRPrinter>& Remembered;
    ~TRestore() {
      Report->FExportFilter = nullptr;
      Report->FOutputPass = true;
      Report->FQRPrinter = std::move(Remembered);
    }
  } restore{this, remembered};
  auto cancelled = [this] { return FCancelRequested || (FQRPrinter && FQRPrinter->Cancelled()); };
  ClearCancel();
  if (filter.WritesPages()) {
    // A filter of pages gets them from a run of their own into the page store.
    FQRPrinter->OutputTarget = otPageStore;
    RunPass();
    if (!cancelled()) filter.WritePages(*FQRPrinter, 1, FQRPrinter->TotalPages());
    return;
  }
  FExportFilter = &filter;
  FOutputPass = false;
  FQRPrinter->MeasureOnly = true;
  try {
    filter.Start(*this);
    RunPass();
  } catch (...) {
    filter.Abandon();
    throw;
  }
  // A cancelled pass exported only part of the report.
  if (cancelled())
    filter.Abandon();
  else
    filter.End();
}

void TCustomQuickRep::CancelGeneration() {
  if (FIdle) return;
  FCancelRequested = true;
  if (FQRPrinter) FQRPrinter->RequestCancel();
}

bool TCustomQuickRep::GenerationRunning() const { return FThread != nullptr; }

void TCustomQuickRep::JoinEndedPass() {
  // A preview's pass that has ended but whose thread is not joined yet (its last news is
  // still queued) would refuse a print or an export asked for from the preview.
  if (FIdle && GenerationRunning()) WaitForGeneration(false);
}

void TCustomQuickRep::WaitForGeneration(bool cancel) {
  if (!FThread) return;
  if (cancel) CancelGeneration();
  if (FThread->joinable()) FThread->join();
  FThread.reset();
  ReopenPassDataSets();
}

std::vector<TDataSet*> TCustomQuickRep::PassDataSets() const {
  std::vector<TDataSet*> list;
  auto add = [&list](TDataSet* dataSet) {
    if (dataSet && std::find(list.begin(), list.end(), dataSet) == list.end()) list.push_back(dataSet);
  };
  std::vector<const TQRCustomController*> pending{FController.get()};
  while (!pending.empty()) {
    const TQRCustomController* c = pending.back();
    pending.pop_back();
    if (auto* controller = dynamic_cast<const TQRController*>(c)) add(controller->DataSet());
    for (const TQRCustomController* sub : c->BeforeControllers()) pending.push_back(sub);
    for (const TQRCustomController* sub : c->AfterControllers()) pending.push_back(sub);
  }
  for (TQRCustomBand* band : FBandList)
    if (auto* sub = dynamic_cast<TQRControllerBand*>(band)) add(sub->Controller()->DataSet());
  for (TComponent* c : OwnedComponents()) add(dynamic_cast<TDataSet*>(c));
  if (const TCustomForm* form = GetParentForm(this))
    for (TComponent* c : form->OwnedComponents()) add(dynamic_cast<TDataSet*>(c));
  return list;
}

void TCustomQuickRep::ReopenPassDataSets() {
  std::vector<TDataSet*> closed = std::move(FClosedForThread);
  FClosedForThread.clear();
  std::string failure;
  for (TDataSet* dataSet : closed) {
    try {
      dataSet->Open();
    } catch (const std::exception& e) {
      failure = e.what();
    }
  }
  if (!failure.empty()) throw EQRError(failure);
}

// ---------------------------------------------------------------------------
// One pass

void TCustomQuickRep::TellUnlinkedGroupFooters() {
  // A group footer prints only when a group (or a sub-detail) names it; one that none
  // names would be left out without a word.
  std::unordered_set<const TQRCustomBand*> named;
  for (TQRCustomBand* band : FBandList)
    if (const auto* group = dynamic_cast<TQRGroup*>(band))
      named.insert(group->FooterBand());
    else if (const auto* sub = dynamic_cast<TQRSubDetail*>(band))
      named.insert(sub->FooterBand());
  for (TQRCustomBand* band : FBandList)
    if (band->BandType() == rbGroupFooter && !named.count(band))
      AddGenerationMessage(band->Name() + ": a group footer that no group names as its FooterBand is not printed");
}

void TCustomQuickRep::RunPass() {
  // Whoever shows these pages (a preview's save) can have the bands again through an
  // export pass of this report.
  FQRPrinter->OnExport = [this](TQRExportFilter& filter) { ExportToFilter(filter); };
  FIdle = false;
  FPass->Reset();
  FRunDataSets.clear();
  {
    std::lock_guard<std::mutex> lock(FMessagesLock);
    FGenerationMessages.clear();
  }
  struct TIdle {
    TCustomQuickRep* Report;
    ~TIdle() {
      Report->FRunDataSets.clear();
      Report->FPass->KeepMargins();
      Report->FIdle = true;
    }
  } idle{this};

  // The datasets of the form the report sits on are there for expressions.
  if (const TCustomForm* form = GetParentForm(this))
    for (TComponent* c : form->OwnedComponents())
      if (auto* dataSet = dynamic_cast<TDataSet*>(c)) FRunDataSets.push_back(dataSet);

  bool printReport = true;
  if (BeforePrint && !HasState(sfDesigning)) BeforePrint(this, printReport);
  if (!printReport) return;
  FPass->DropMarginsWiderThanThePaper();
  TellUnlinkedGroupFooters();

  TQRPrinter& printer = *FQRPrinter;
  ApplyPrinterSettings(printer);
  printer.Title = FReportTitle;
  printer.SetCompressed(FOptions.Contains(Compression));
  printer.OpenDocument();
  bool failed = false;
  try {
    PreparePass();
    FPass->Run();
  } catch (...) {
    failed = true;
    FinishPass(true);
    throw;
  }
  FinishPass(failed);
}

void TCustomQuickRep::PreparePass() {
  FController->CollectMembers();
  // Datasets the report owns are stored closed (a sub-detail's query): the pass opens
  // what is closed (on the thread that walks it) and closes it again at the end.
  FOpenedForPass.clear();
  for (TDataSet* dataSet : PassDataSets())
    if (!dataSet->Active()) {
      dataSet->Open();
      FOpenedForPass.push_back(dataSet);
    }
  // Again, now that every dataset has its fields.
  FController->CollectMembers();
  GlobalEvEnvironment()->Compile();
  FFunctions->SetDataSetList(&FRunDataSets);
  DefineParamFunctions();
  // CONTINUED gives a group's ContinuedText while its header repeats on a new page, for
  // the pass only (a report's own function of the name wins).
  FDefinedContinued = !FFunctions->FindFunction("CONTINUED");
  if (FDefinedContinued) FFunctions->DefineFunction("CONTINUED", "''");
  FFunctions->Compile();
  if (FDefinedContinued) FPass->Continued = FFunctions->FindConstantElement("CONTINUED");
  for (size_t i = 0; i < FParamFunctions.size(); ++i)
    TQREvEnvironment::AssignValue(FFunctions->FindConstantElement(FParamFunctions[i]), FParamValues[i]);
  FParamValues.clear();
  FPass->PageNumber = FFunctions->FindConstantElement("PAGENUMBER");
  FPass->ColumnNumber = FFunctions->FindConstantElement("COLUMNNUMBER");
  if (const TQREvElement title = FFunctions->FindConstantElement("REPORTTITLE"))
    TQREvEnvironment::AssignString(title, FReportTitle);
  FController->PrepareRun();
  FQRPrinter->PrintsPageCount = UsesPageCount();
  ForEachPrintable(*this, [this](TQRPrintable* p) { p->Prepare(FQRPrinter.get()); });
  FPass->CompileExpressions();
}

// Each parameter is a constant function of the pass (its value is put in once the
// environment is compiled), so expressions read it by name and a query's ":NAME" is
// bound to it like any other function of the report.
void TCustomQuickRep::DefineParamFunctions() {
  FParamFunctions.clear();
  FParamValues.clear();
  for (TQRParamValue& value : ResolveParamValues(*FParameters, FParamTexts)) {
    const std::string name = EvUpperCase(value.Name);
    if (FFunctions->FindFunction(name))
      throw EQRError(Format("Parameter %s has the name of a function of the report", value.Name));
    FFunctions->DefineFunction(name, "0");
    FParamFunctions.push_back(name);
    FParamValues.push_back(std::move(value.Value));
  }
}

void TCustomQuickRep::RemoveParamFunctions() {
  FPass->Continued = TQREvElement{};
  if (FDefinedContinued) FFunctions->RemoveFunction("CONTINUED");
  FDefinedContinued = false;
  for (const std::string& name : FParamFunctions) FFunctions->RemoveFunction(name);
  FParamFunctions.clear();
  FParamValues.clear();
}

namespace {

bool NamesPageCount(const std::string& text) { return EvUpperCase(text).find("PAGECOUNT") != std::string::npos; }

// Any text property of the control, its lists included, naming PAGECOUNT.
bool PropertiesNamePageCount(const TPersistent& object) {
  for (const TPropertyInfo* p : object.ClassType().Properties()) {
    if (p->Kind() == propString && p->GetStr && NamesPageCount(p->GetStr(&object))) return true;
    if (p->Kind() == propClass && p->GetObj)
      if (const auto* lines = dynamic_cast<const TStrings*>(p->GetObj(&object)))
        for (int i = 0; i < lines->Count(); ++i)
          if (NamesPageCount(lines->Strings(i))) return true;
  }
  return false;
}

bool ControlUsesPageCount(const TControl& control) {
  if (const auto* sys = dynamic_cast<const TQRSysData*>(&control); sys && sys->Data() == qrsPageCount) return true;
  if (PropertiesNamePageCount(control)) return true;
  if (const auto* parent = dynamic_cast<const TWinControl*>(&control))
    for (const TControl* child : parent->ControlList())
      if (ControlUsesPageCount(*child)) return true;
  return false;
}

}  // namespace

bool TCustomQuickRep::UsesPageCount() const {
  for (int i = 0; i < FFunctions->FunctionCount(); ++i)
    if (NamesPageCount(FFunctions->Function(i)->Expression())) return true;
  for (const TControl* child : ControlList())
    if (ControlUsesPageCount(*child)) return true;
  return false;
}

std::vector<std::string> TCustomQuickRep::UndeclaredSqlParams() const {
  std::vector<std::string> names;
  const auto collect = [&](const TComponent* c) {
    const auto* query = dynamic_cast<const TQuery*>(c);
    if (!query) return;
    for (int i = 0; i < query->ParamCount(); ++i) {
      const std::string& name = query->Params().Items(i)->Name();
      if (FParameters->Find(name) || FFunctions->FindFunction(EvUpperCase(name))) continue;
      if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); }))
        names.push_back(name);
    }
  };
  if (const auto* controller = dynamic_cast<const TQRController*>(FController.get())) collect(controller->DataSet());
  for (const TComponent* c : OwnedComponents()) collect(c);
  return names;
}

// Whatever happened, the report is as it was before the pass; a cancelled or failed
// document is abandoned, never closed as if it were complete.
void TCustomQuickRep::FinishPass(bool failed) {
  ForEachPrintable(*this, [](TQRPrintable* p) { p->Unprepare(); });
  FPass->ClearExpressions();
  if (!tOnPreviewThread) RelayoutTexts(*this);
  try {
    FController->UnprepareRun();
  } catch (...) {
  }
  if (FFunctions->Compiled()) FFunctions->Discard();
  RemoveParamFunctions();
  FFunctions->SetDataSetList(nullptr);
  if (GlobalEvEnvironment()->Compiled()) GlobalEvEnvironment()->Discard();
  FPass->PageNumber = FPass->ColumnNumber = TQREvElement{};
  for (TDataSet* dataSet : FOpenedForPass) dataSet->Close();
  FOpenedForPass.clear();
  TQRPrinter& printer = *FQRPrinter;
  if (failed || FCancelRequested || printer.Cancelled() || !FOutputPass) {
    try {
      printer.AbandonDocument();
    } catch (...) {
    }
  } else {
    printer.CloseDocument();
    // What the PDF file printer could not show goes to the pass's messages.
    if (printer.OutputTarget == otPrinter)
      for (const std::string& message : printer.Printer().JobMessages()) AddGenerationMessage(message);
  }
  FPass->FCursorY = -1;
}

// ---------------------------------------------------------------------------

void TCustomQuickRep::WndProc(TMessage& message) {
  switch (message.Msg) {
    case CM_QRPRINT:
      PrintToPrinter();
      return;
    case CM_QRPREVIEWCLOSE:
      if (!FIdle) {
        CancelGeneration();
      } else {
        WaitForGeneration(false);
        if (FQRPrinter) {
          FQRPrinter->SetPreviewShown(false);
          FQRPrinter.reset();
        }
      }
      return;
    case CM_QRPASSENDED: {
      const bool previewGone = !FQRPrinter || !FQRPrinter->PreviewShown();
      const std::string error = FThreadError;
      FThreadError.clear();
      WaitForGeneration(false);
      RelayoutTexts(*this);
      // A pass cancelled because its preview closed leaves nothing to show.
      if (previewGone && FCancelRequested) FQRPrinter.reset();
      if (!error.empty()) throw EQRError(error);
      return;
    }
    default:
      TQRBasePanel::WndProc(message);
  }
}

// ---------------------------------------------------------------------------

void TQuickRep::RunMaster() {
  TQRController* master = MasterController();
  master->SetHeader(FindBand(rbTitle));
  master->SetDetail(FindBand(rbDetail));
  master->SetFooter(FindBand(rbSummary));
  master->OnNeedData = OnNeedData;
  master->RunController();
}

}  // namespace rpt
