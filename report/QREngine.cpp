// Generation: a pass walks the report's data through its controllers and prints every
// band at the page cursor, opening pages and columns as they fill; the entry points
// run a pass for a preview (on a thread of its own), for a printer or into an export
// filter.
//
// The thread a preview's pass runs on touches no widget: it reads the report, prints
// onto the report printer's page canvas and walks datasets whose connections it opens
// itself. Everything it changes is generation state of the report, the controllers and
// the printables; the design (sizes, captions, lines, band order) is only read.
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
#include "report/QuickRpt.h"

namespace rpt {

namespace {

int32_t Round(double x) { return Nearest(x); }
double AsDouble(Extended x) { return static_cast<double>(x); }

// The message the preview's thread posts to its report when the pass has ended.
constexpr uint32_t CM_QRPASSENDED = WM_USER + 10;

// Counts the nesting of work that starts a page or column (its headers are no content).
class TDepth {
 public:
  explicit TDepth(int& depth) : FDepth(depth) { ++FDepth; }
  ~TDepth() { --FDepth; }
  TDepth(const TDepth&) = delete;
  TDepth& operator=(const TDepth&) = delete;

 private:
  int& FDepth;
};

// Every printable on the report and on its bands.
template <class F>
void ForEachPrintable(TCustomQuickRep& report, F f) {
  for (TControl* child : report.ControlList()) {
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) {
      f(printable);
    } else if (auto* band = dynamic_cast<TQRCustomBand*>(child)) {
      for (TControl* inner : band->ControlList())
        if (auto* p = dynamic_cast<TQRPrintable*>(inner)) f(p);
    }
  }
}

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
  RunPass();
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
  FCancelRequested = false;
  FOnFinalPage = false;
  FSkipNextForcedPage = false;
  FColumnBreakArmed = false;
  FColumnHasContent = false;
  FRunDataSets.clear();
  {
    std::lock_guard<std::mutex> lock(FMessagesLock);
    FGenerationMessages.clear();
  }
  struct TIdle {
    TCustomQuickRep* Report;
    ~TIdle() {
      Report->FRunDataSets.clear();
      Report->FDropSideMargins = Report->FDropTopBottomMargins = false;
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
  DropMarginsWiderThanThePaper();
  TellUnlinkedGroupFooters();

  TQRPrinter& printer = *FQRPrinter;
  ApplyPrinterSettings(printer);
  printer.Title = FReportTitle;
  printer.SetCompressed(FOptions.Contains(Compression));
  printer.OpenDocument();
  bool failed = false;
  try {
    PreparePass();
    RunMaster();
    FCursorX = Round(PassMargin(pvLeftMargin));
    FOnFinalPage = true;
    if (!FCancelRequested && !printer.Cancelled()) FinishPage();
  } catch (...) {
    failed = true;
    FinishPass(true);
    throw;
  }
  FinishPass(failed);
}

void TCustomQuickRep::PreparePass() {
  FCursorY = -1;
  FPagesDone = 0;
  FColumnNo = std::max(1, FPage->Columns());
  MeasurePageFooter();
  FCursorX = Round(PassMargin(pvLeftMargin));
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
  if (FDefinedContinued) FContinued = FFunctions->FindConstantElement("CONTINUED");
  for (size_t i = 0; i < FParamFunctions.size(); ++i)
    TQREvEnvironment::AssignValue(FFunctions->FindConstantElement(FParamFunctions[i]), FParamValues[i]);
  FParamValues.clear();
  FPageNumber = FFunctions->FindConstantElement("PAGENUMBER");
  FColumnNumber = FFunctions->FindConstantElement("COLUMNNUMBER");
  FReportTitleElement = FFunctions->FindConstantElement("REPORTTITLE");
  if (FReportTitleElement) TQREvEnvironment::AssignString(FReportTitleElement, FReportTitle);
  FController->PrepareRun();
  FQRPrinter->PrintsPageCount = UsesPageCount();
  ForEachPrintable(*this, [this](TQRPrintable* p) { p->Prepare(FQRPrinter.get()); });
  CompilePassExpressions();
}

void TCustomQuickRep::ClearPassExpressions() {
  FPrintConditions.clear();
  FBookmarks.clear();
  FHyperlinks.clear();
  FHighlightRules.clear();
  FActiveHighlights.clear();
  FSkippedControls.clear();
  FPageCountLeftOut.clear();
}

void TCustomQuickRep::CompilePassExpressions() {
  ClearPassExpressions();
  const auto compile = [this](const std::string& text) {
    auto evaluator = std::make_unique<TQREvaluator>();
    evaluator->SetDataSetList(&FRunDataSets);
    evaluator->SetLocalEnvironment(FFunctions.get());
    evaluator->Compile(text);
    return evaluator;
  };
  const auto add = [&compile](TPassExpressions& expressions, const TComponent* component, const std::string& text) {
    if (!text.empty()) expressions[component].Evaluator = compile(text);
  };
  for (TQRCustomBand* band : FBandList) {
    add(FPrintConditions, band, band->PrintIf());
    add(FBookmarks, band, band->Bookmark());
  }
  ForEachPrintable(*this, [&](TQRPrintable* p) {
    add(FPrintConditions, p, p->PrintIf());
    if (const auto* label = dynamic_cast<const TQRCustomLabel*>(p)) add(FHyperlinks, p, label->Hyperlink());
    const TQRHighlights& rules = *p->Highlights();
    for (int i = 0; i < rules.Count(); ++i) {
      const std::string& condition = rules.Rule(i)->Condition();
      FHighlightRules[p].push_back({compile(condition.empty() ? "FALSE" : condition), false});
    }
  });
}

// The first rule whose condition gives True; one that fails or gives something else is
// taken as False and said once a pass.
const TQRHighlight* TCustomQuickRep::DecideHighlight(const TQRPrintable* printable) {
  const auto it = FHighlightRules.find(printable);
  if (it == FHighlightRules.end()) return nullptr;
  const TQRHighlight* chosen = nullptr;
  for (size_t i = 0; i < it->second.size() && !chosen; ++i) {
    TPassExpression& rule = it->second[i];
    const TQREvValue& value = rule.Evaluator->Evaluate();
    if (value.Kind == vkBoolean) {
      if (value.BoolValue) chosen = printable->Highlights()->Rule(static_cast<int>(i));
    } else if (!rule.Told) {
      rule.Told = true;
      AddGenerationMessage(printable->Name() + ": its highlight " + std::to_string(i + 1) + " " +
                           (value.Kind == vkError ? "fails (" + value.StrValue + ")" : "gives neither True nor False") +
                           "; it is taken as False");
    }
  }
  if (chosen)
    FActiveHighlights[printable] = chosen;
  else
    FActiveHighlights.erase(printable);
  return chosen;
}

const TQRHighlight* TCustomQuickRep::ActiveHighlight(const TQRPrintable* printable) const {
  if (FActiveHighlights.empty()) return nullptr;
  const auto it = FActiveHighlights.find(printable);
  return it == FActiveHighlights.end() ? nullptr : it->second;
}

std::string TCustomQuickRep::PassText(TPassExpressions& expressions, const TComponent* component, const char* what) {
  const auto it = expressions.find(component);
  if (it == expressions.end()) return {};
  TPassExpression& expression = it->second;
  const TQREvValue& value = expression.Evaluator->Evaluate();
  if (!value.IsError()) return EvValueToString(value);
  if (!expression.Told) {
    expression.Told = true;
    AddGenerationMessage(component->Name() + ": its " + what + " fails (" + value.StrValue + "); it is left out");
  }
  return {};
}

std::string TCustomQuickRep::HyperlinkTarget(const TQRCustomLabel* label) {
  if (FHyperlinks.empty()) return {};
  std::string target = PassText(FHyperlinks, label, "Hyperlink");
  if (target.empty() || IsSafeLinkTarget(target)) return target;
  TPassExpression& expression = FHyperlinks[label];
  if (!expression.Told) {
    expression.Told = true;
    AddGenerationMessage(label->Name() + ": its Hyperlink gives \"" + target +
                         "\", which is neither a web or mail address nor a #bookmark; it is left out");
  }
  return {};
}

// What a band is to a reader that follows the structure of a PDF: the title the main
// heading, a group header a heading of its group's level, a detail band a table row.
std::string TCustomQuickRep::StructureRole(const TQRCustomBand* band) const {
  if (!FTaggedPdf) return {};
  const TQRBandType type = band->BandType();
  if (type == rbTitle) return "H1";
  if (type == rbDetail || type == rbSubDetail) return "TR";
  if (type != rbGroupHeader) return {};
  const std::vector<TQRGroup*>& groups = FController->Groups();
  const auto it = std::find(groups.begin(), groups.end(), band);
  return "H" + std::to_string(std::min<ptrdiff_t>(2 + (it == groups.end() ? 0 : it - groups.begin()), 6));
}

// A title band's entry is at the top; a group header's nests by its group's depth;
// others nest under the innermost group.
void TCustomQuickRep::AddBookmark(TQRCustomBand* band) {
  if (FReprintingHeaders) return;
  std::string title = PassText(FBookmarks, band, "Bookmark");
  if (title.empty()) return;
  const std::vector<TQRGroup*>& groups = FController->Groups();
  int32_t level = static_cast<int32_t>(groups.size()) + 1;
  if (band->BandType() == rbTitle) {
    level = 0;
  } else if (const auto it = std::find(groups.begin(), groups.end(), band); it != groups.end()) {
    level = static_cast<int32_t>(it - groups.begin()) + 1;
  }
  TPageAnnotation bookmark;
  bookmark.Kind = TPageAnnotation::akBookmark;
  bookmark.Level = level;
  bookmark.Rect = band->PrintedRect;
  bookmark.Text = std::move(title);
  FQRPrinter->PageCanvas()->Annotate(bookmark);
}

// A condition that fails or gives no True or False is taken as False, and said once a
// pass: the rest of the report still prints.
bool TCustomQuickRep::PrintConditionHolds(const TComponent* component) {
  if (FPrintConditions.empty()) return true;
  const auto it = FPrintConditions.find(component);
  if (it == FPrintConditions.end()) return true;
  TPassExpression& condition = it->second;
  const TQREvValue& value = condition.Evaluator->Evaluate();
  if (value.Kind == vkBoolean) return value.BoolValue;
  if (!condition.Told) {
    condition.Told = true;
    AddGenerationMessage(component->Name() + ": its PrintIf " +
                         (value.Kind == vkError ? "fails (" + value.StrValue + ")" : "gives neither True nor False") +
                         "; it is taken as False");
  }
  return false;
}

void TCustomQuickRep::DecidePrintedControls(TQRCustomBand* band) {
  if (FPrintConditions.empty() && FHighlightRules.empty()) return;
  for (TControl* child : band->ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child)) {
      bool prints = FPrintConditions.empty() || PrintConditionHolds(printable);
      if (!FHighlightRules.empty()) {
        const TQRHighlight* rule = DecideHighlight(printable);
        if (rule && !rule->Visible()) prints = false;
      }
      if (prints)
        FSkippedControls.erase(printable);
      else
        FSkippedControls.insert(printable);
    }
}

bool TCustomQuickRep::ControlPrints(const TQRPrintable* printable) const {
  return FSkippedControls.empty() || !FSkippedControls.count(printable);
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
  FContinued = TQREvElement{};
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
  ClearPassExpressions();
  if (!tOnPreviewThread) RelayoutTexts(*this);
  try {
    FController->UnprepareRun();
  } catch (...) {
  }
  if (FFunctions->Compiled()) FFunctions->Discard();
  RemoveParamFunctions();
  FFunctions->SetDataSetList(nullptr);
  if (GlobalEvEnvironment()->Compiled()) GlobalEvEnvironment()->Discard();
  FPageNumber = FColumnNumber = FReportTitleElement = TQREvElement{};
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
  FCursorY = -1;
}

void TCustomQuickRep::SetFunctionInteger(TQREvElement element, int32_t value) {
  if (element) TQREvEnvironment::AssignInteger(element, value);
}

// ---------------------------------------------------------------------------
// Page and column layout

// Margins that leave no room on the paper would give only blank pages: the pass prints
// without them and says so. The report keeps its margins.
void TCustomQuickRep::DropMarginsWiderThanThePaper() {
  const auto value = [this](TQRPageValue index) { return AsDouble(FPage->NativeValue(index)); };
  FDropSideMargins = value(pvWidth) - value(pvLeftMargin) - value(pvRightMargin) < 0;
  FDropTopBottomMargins = value(pvLength) - value(pvTopMargin) - value(pvBottomMargin) < 0;
  if (FDropSideMargins)
    AddGenerationMessage("The left and right margins are together wider than the paper: the pages are printed "
                         "without them");
  if (FDropTopBottomMargins)
    AddGenerationMessage("The top and bottom margins are together longer than the paper: the pages are printed "
                         "without them");
}

double TCustomQuickRep::PassMargin(TQRPageValue index) const {
  const bool side = index == pvLeftMargin || index == pvRightMargin;
  if (side ? FDropSideMargins : FDropTopBottomMargins) return 0;
  return AsDouble(FPage->NativeValue(index));
}

double TCustomQuickRep::PageBottom() const {
  return AsDouble(FPage->NativeValue(pvLength)) - PassMargin(pvBottomMargin);
}

double TCustomQuickRep::RemainingSpace() const {
  if (FIdle || FCursorY == -1) return 0;
  return Round(PageBottom() - FFooterReserve - FCursorY);
}

double TCustomQuickRep::FreshColumnSpace() const {
  const auto height = [this](TQRBandType type) {
    const TQRCustomBand* band = FindBand(type);
    return band && band->Enabled() ? AsDouble(band->Size()->NativeHeight()) : 0.0;
  };
  double top = FColumnStartY;
  if (FColumnNo >= std::max(1, FPage->Columns())) top = PassMargin(pvTopMargin) + height(rbPageHeader);
  return PageBottom() - FFooterReserve - top - height(rbColumnHeader);
}

double TCustomQuickRep::MeasureBand(TQRCustomBand* band) {
  double total = 0;
  size_t guard = FBandList.size() + 1;
  for (; band && guard > 0; band = band->FindChildBand(), --guard) {
    // As a pass prints them: a disabled band's children still print, a PrintIf that
    // leaves the band out leaves them out too.
    if (!band->Enabled()) continue;
    if (!PrintConditionHolds(band)) break;
    // The band grows by the most any of its stretching controls needs.
    double growth = 0;
    for (TControl* child : band->ControlList()) {
      auto* printable = dynamic_cast<TQRPrintable*>(child);
      if (!printable || !printable->Enabled() || !PrintConditionHolds(printable)) continue;
      growth = std::max(growth, printable->MeasureHeight() - AsDouble(printable->Size()->Native(TQRPrintableSize::szHeight)));
    }
    total += AsDouble(band->Size()->NativeHeight()) + growth;
  }
  return total;
}

void TCustomQuickRep::MeasurePageFooter() {
  FFooterReserve = 0;
  for (TQRCustomBand* band : FBandList) {
    if (band->BandType() != rbPageFooter || !band->Enabled()) continue;
    FFooterReserve += AsDouble(band->Size()->NativeHeight());
    size_t guard = FBandList.size();
    for (TQRCustomBand* child = band->FindChildBand(); child && guard > 0; child = child->FindChildBand(), --guard)
      FFooterReserve += AsDouble(child->Size()->NativeHeight());
  }
}

double TCustomQuickRep::LinkedHeight(const TQRCustomBand* band) const {
  double height = 0;
  size_t guard = FBandList.size() + 1;
  for (const TQRCustomBand* b = band; b && guard > 0; b = b->LinkBand(), --guard)
    height += AsDouble(b->Size()->NativeHeight());
  return height;
}

void TCustomQuickRep::OutputBand(TQRCustomBand* band, double keepWith) {
  if (!band) return;
  if (band->AlignToBottom()) {
    if (band->BandType() == rbSummary && !FOptions.Contains(LastPageFooter)) FFooterReserve = 0;
    const int32_t target = Round(PageBottom() - AsDouble(band->Size()->NativeHeight()) - FFooterReserve);
    if (FCursorY < target) FCursorY = target;
  }
  EmitBand(band, keepWith);
}

void TCustomQuickRep::EnsureRoom(TQRCustomBand* band, double keepWith) {
  const int32_t need = Round(LinkedHeight(band) + keepWith);
  // A band that does not fit moves to the next column, even one taller than a whole page
  // (it then prints alone there, clipped by the page). A column holding nothing but the
  // headers that began it is never left: the band prints there, so a pass always ends.
  if (band->BandType() != rbPageFooter && need > RemainingSpace() && FColumnHasContent)
    NextColumn();
  else if (FPagesDone == 0)
    NextColumn();
}

void TCustomQuickRep::BreakToNewColumn() {
  if (FIdle) return;
  if (FColumnBreakArmed || FColumnNo > 1)
    NextColumn();
  else
    FColumnBreakArmed = true;
}

void TCustomQuickRep::BreakToNewPage() {
  if (FIdle) return;
  if (FSkipNextForcedPage) {
    FSkipNextForcedPage = false;
    return;
  }
  do NextColumn();
  while (FColumnNo != 1 && !FCancelRequested);
}

void TCustomQuickRep::NextColumn() {
  TDepth depth(FColumnStartDepth);
  FColumnHasContent = false;
  const int32_t columns = std::max(1, FPage->Columns());
  if (FColumnNo >= columns) {
    FColumnNo = 1;
    FCursorX = Round(PassMargin(pvLeftMargin));
    BeginNewPage();
  } else {
    const double space = AsDouble(FPage->NativeValue(pvColumnSpace));
    int32_t width = 0;
    if (const TQRCustomBand* detail = FindBand(rbDetail)) {
      width = Round(AsDouble(detail->Size()->NativeWidth()));
    } else {
      const double printable = AsDouble(FPage->NativeValue(pvWidth)) -
                               (PassMargin(pvLeftMargin) + PassMargin(pvRightMargin));
      width = (Round(printable) - Round(space) * (columns - 1)) / columns;
    }
    FCursorX += Round(space) + width;
    FCursorY = FColumnStartY;
    ++FColumnNo;
  }
  SetFunctionInteger(FColumnNumber, FColumnNo);
  if (!(FColumnNo == 1 && FPagesDone == 1)) {
    OutputBand(FindBand(rbColumnHeader));
    // Headers repeated for groups that go on are not new places for the outline.
    struct TReprinting {
      bool& Flag;
      ~TReprinting() { Flag = false; }
    } reprinting{FReprintingHeaders = true};
    FController->ReprintGroupHeaders();
  }
}

void TCustomQuickRep::BeginNewPage() {
  TDepth depth(FColumnStartDepth);
  FinishPage();
  FColumnHasContent = false;
  ++FPagesDone;
  SetFunctionInteger(FPageNumber, FPagesDone);
  if (FOutputPass || FPagesDone == 1) FQRPrinter->NewPage();
  FCursorY = Round(PassMargin(pvTopMargin));
  if (OnStartPage && !HasState(sfDesigning)) OnStartPage(this);
  if (FPagesDone > 1 || FOptions.Contains(FirstPageHeader)) OutputBand(FindBand(rbPageHeader));
  FColumnStartY = FCursorY;
  if (FPagesDone == 1)
    if (const TQRCustomBand* title = FindBand(rbTitle)) FColumnStartY += Round(AsDouble(title->Size()->NativeHeight()));
}

void TCustomQuickRep::FinishPage() {
  if (FPagesDone <= 0) return;
  TDepth depth(FColumnStartDepth);
  FCursorY = Round(PageBottom() - FFooterReserve);
  FCursorX = Round(PassMargin(pvLeftMargin));
  if (!(FOnFinalPage && !FOptions.Contains(LastPageFooter))) OutputBand(FindBand(rbPageFooter));
  PrintPageItems();
  if (OnEndPage && !HasState(sfDesigning)) OnEndPage(this);
}

void TCustomQuickRep::PrintPageItems() {
  for (TControl* child : ControlList())
    if (auto* printable = dynamic_cast<TQRPrintable*>(child);
        printable && printable->Enabled() && PrintConditionHolds(printable))
      printable->PrintAt(0, 0);
  TQRPrinter& printer = *FQRPrinter;
  if (FOutputPass && Frame()->HasAnySide() && printer.PageCanvas()) {
    const double left = PassMargin(pvLeftMargin), top = PassMargin(pvTopMargin);
    const double right = AsDouble(FPage->NativeValue(pvWidth)) - PassMargin(pvRightMargin);
    const TRect rect{printer.XToDevice(left), printer.YToDevice(top), printer.XToDevice(right),
                     printer.YToDevice(PageBottom())};
    Frame()->DrawFrameLines(*printer.PageCanvas(), rect, printer.HorzScale(), printer.VertScale());
  }
}

void TCustomQuickRep::EmitBand(TQRCustomBand* band, double keepWith) {
  TQRPrinter& printer = *FQRPrinter;
  bool printBand = band->Enabled();
  // Handlers run only outside the design state (a designed report previews without them).
  const bool designing = band->HasState(sfDesigning);
  if (printBand && band->BeforePrint && !designing) band->BeforePrint(band, printBand);
  const bool skipped = printBand && !PrintConditionHolds(band);
  if (skipped) printBand = false;
  const TQRBandType type = band->BandType();
  if (printBand) {
    const bool unbreakable = type == rbTitle || type == rbPageHeader || type == rbPageFooter || type == rbOverlay;
    if (band->ForceNewPage() && !unbreakable && FPagesDone > 0)
      BreakToNewPage();
    else if (band->ForceNewColumn() && !unbreakable && FPagesDone > 0)
      BreakToNewColumn();
    else
      EnsureRoom(band, keepWith);
    if (band->DetailController) band->DetailController->NotifyPrintables(qrnDataAdvance);
    DecidePrintedControls(band);
    if (FContinued) {
      const auto* group = dynamic_cast<const TQRGroup*>(band);
      TQREvEnvironment::AssignString(FContinued, FReprintingHeaders && group ? group->ContinuedText() : "");
    }
    const double height = AsDouble(band->Size()->NativeHeight());
    const double width = AsDouble(band->Size()->NativeWidth());
    band->PrintedRect = {printer.XToDevice(FCursorX), printer.YToDevice(FCursorY),
                         printer.XToDevice(FCursorX + width), printer.YToDevice(FCursorY + height)};
    if (FOutputPass && printer.PageCanvas() && !FBookmarks.empty()) AddBookmark(band);
    const std::string role = StructureRole(band);
    if (!role.empty() && FOutputPass && printer.PageCanvas())
      printer.PageCanvas()->Annotate({TPageAnnotation::akBeginStructure, 0, {}, role});
    if (band->Height() != 0) {
      if (FOutputPass && printer.PageCanvas()) {
        TCanvas& canvas = *printer.PageCanvas();
        canvas.Brush()->SetStyle(bsSolid);
        canvas.Brush()->SetColor(band->Color());
        canvas.FillRect(band->PrintedRect);
      }
      band->Growth = 0;
      bool first = true;
      bool allDone = true;
      do {
        PrintBandControls(band, first, allDone);
        if (FOutputPass && printer.PageCanvas()) {
          band->PrintedRect = {printer.XToDevice(FCursorX), printer.YToDevice(FCursorY),
                               printer.XToDevice(FCursorX + width),
                               printer.YToDevice(FCursorY + height + band->Growth + 1)};
          band->Frame()->DrawFrameLines(*printer.PageCanvas(), band->PrintedRect, printer.HorzScale(),
                                        printer.VertScale());
        }
        if (FExportFilter) ExportBand(band);
        if (!allDone) {
          if (FCancelRequested || printer.Cancelled()) break;
          NextColumn();
          band->Growth = 0;
          first = false;
        }
      } while (!allDone);
      FCursorY += Round(height + band->Growth);
    }
    if (!role.empty() && FOutputPass && printer.PageCanvas())
      printer.PageCanvas()->Annotate({TPageAnnotation::akEndStructure, 0, {}, role});
    if (FColumnStartDepth == 0) FColumnHasContent = true;
  } else if (band->DetailController && (!band->Enabled() || skipped)) {
    band->DetailController->NotifyPrintables(qrnDataAdvance);
  }
  if (band->AfterPrint && !designing) band->AfterPrint(band, printBand);
  if (TQRCustomBand* child = skipped ? nullptr : band->FindChildBand()) {
    if (type == rbPageFooter) {
      child->SetPrintType(rbPageFooter);
      struct TBack {
        TQRCustomBand* Child;
        ~TBack() { Child->SetPrintType(rbChild); }
      } back{child};
      OutputBand(child);
    } else {
      OutputBand(child);
    }
  }
}

void TCustomQuickRep::PrintBandControls(TQRCustomBand* band, bool first, bool& allDone) {
  allDone = true;
  // A band carried over to a new column places at least one line of each control there.
  FForceLine = !first;
  for (TControl* child : band->ControlList()) {
    auto* printable = dynamic_cast<TQRPrintable*>(child);
    if (!printable || !printable->Enabled() || !ControlPrints(printable)) continue;
    if (first || !printable->AllPrinted()) printable->PrintAt(FCursorX, FCursorY);
    allDone = allDone && printable->AllPrinted();
  }
  FForceLine = false;
}

void TCustomQuickRep::ExportBand(TQRCustomBand* band) {
  std::vector<TQRExportItem> items;
  for (TControl* child : band->ControlList()) {
    auto* printable = dynamic_cast<TQRPrintable*>(child);
    if (!printable || !printable->Enabled()) continue;
    TQRExportItem item;
    item.Control = printable;
    const TQRPrintableSize& size = *printable->Size();
    item.Left = FCursorX + AsDouble(size.Native(TQRPrintableSize::szLeft));
    item.Top = FCursorY + AsDouble(size.Native(TQRPrintableSize::szTop));
    item.Width = AsDouble(size.Native(TQRPrintableSize::szWidth));
    item.Height = AsDouble(size.Native(TQRPrintableSize::szHeight));
    if (!printable->ExportItem(item)) continue;
    if (const TQRHighlight* rule = ActiveHighlight(printable)) {
      item.FontColor = rule->FontColor();
      item.BackColor = rule->Color();
      item.Bold = rule->FontStyle().Contains(fsBold);
      item.Italic = rule->FontStyle().Contains(fsItalic);
    }
    // A control a condition leaves out keeps its cell, empty, so the columns stay in line.
    if (!ControlPrints(printable)) {
      item.Text.clear();
      item.Value = TVariant{};
    }
    // Rows are written as they come, before the page count is known.
    if (item.Text.find(kPageCountMark) != std::string::npos) {
      std::string text;
      for (size_t at = 0, mark; at <= item.Text.size(); at = mark + kPageCountMark.size()) {
        mark = std::min(item.Text.find(kPageCountMark, at), item.Text.size());
        text.append(item.Text, at, mark - at);
      }
      item.Text = std::move(text);
      if (item.Value.Type == TVariant::varString) item.Value.Text = item.Text;
      if (FPageCountLeftOut.insert(printable).second)
        AddGenerationMessage(printable->Name() + ": the page count is not known while rows are exported; it is left out");
    }
    items.push_back(std::move(item));
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const TQRExportItem& a, const TQRExportItem& b) { return a.Left < b.Left; });
  FExportFilter->Band(*band, items);
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
