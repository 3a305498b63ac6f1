// A PDF or PNG is written while the report's thread makes the pages: each page goes from
// the pass to the calling thread through a short queue and is let go once written, so no
// page is kept and the page store's limit does not apply.
#include "api/RenderReport.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>

#include "data/DB.h"
#include "data/DBTables.h"
#include "data/RowData.h"
#include "objects/CodePage.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/QRExport.h"
#include "output/QRPageFilters.h"
#include "output/QRPageList.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "report/QRFile.h"
#include "report/QRPictures.h"
#include "report/QRTableFilters.h"

namespace rpt {

namespace {

// Pages a pass may be ahead of the writer.
constexpr size_t kPagesAhead = 8;

// The pages from..to of a finished recording, as a recording of their own.
void SavePageRange(TQRPrinter& printer, int32_t from, int32_t to, const std::string& fileName) {
  TQRPageList part;
  part.AttachStream(std::make_unique<TQRStream>(kStoreMemoryLimit));
  part.SetCompressed(printer.PageList().Compressed());
  for (int32_t n = from; n <= to; ++n) {
    const std::unique_ptr<TMetafile> page = printer.PageImage(n);
    if (!page) throw EQRError(Format("Page %d of the recording cannot be read", n));
    part.AppendPage(*page);
  }
  part.WriteHeader();
  part.CopyToFile(fileName);
}

// Calls back at the end of every page with the page and the master records printed so
// far (counted as the detail band finishes each one); a false answer cancels the pass.
void ReportProgress(TQuickRep& report, const TRenderRequest& request, int64_t& records) {
  if (TQRCustomBand* detail = report.FindBand(rbDetail)) {
    detail->AfterPrint = [&records, before = detail->AfterPrint](TQRCustomBand* band, bool printed) {
      ++records;
      if (before) before(band, printed);
    };
  }
  if (!request.OnPage) return;
  report.OnEndPage = [&records, &request](TCustomQuickRep* r) {
    if (!request.OnPage(r->PagesDone(), records)) r->CancelGeneration();
  };
}

// Pages handed from the report's thread to the writing one. At most kPagesAhead wait: the
// pass waits for the writer beyond that, so memory stays flat however long the report.
class TPageQueue {
 public:
  // On the report's thread; the page is dropped once the writer has gone.
  void Push(std::unique_ptr<TMetafile> page) {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FClosed || FPages.size() < kPagesAhead; });
    if (FClosed) return;
    FPages.push_back(std::move(page));
    FChanged.notify_all();
  }
  // The pass is over.
  void End() {
    const std::lock_guard<std::mutex> lock(FLock);
    FEnded = true;
    FChanged.notify_all();
  }
  // On the writing thread: the next page, or none once the pass is over.
  std::unique_ptr<TMetafile> Pop() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FEnded || !FPages.empty(); });
    if (FPages.empty()) return nullptr;
    std::unique_ptr<TMetafile> page = std::move(FPages.front());
    FPages.pop_front();
    FChanged.notify_all();
    return page;
  }
  // The writer has gone: pages still coming are dropped.
  void Close() {
    const std::lock_guard<std::mutex> lock(FLock);
    FClosed = true;
    FPages.clear();
    FChanged.notify_all();
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::unique_ptr<TMetafile>> FPages;
  bool FEnded = false, FClosed = false;
};

bool Cancelled(const TQuickRep& report) {
  return report.CancelRequested() || (report.QRPrinter() && report.QRPrinter()->Cancelled());
}

[[noreturn]] void FailCancelled(const TRenderRequest& request) {
  throw EQRRenderCancelled(request.SourceName + ": the render was cancelled; nothing was written");
}

// Generates on the report's thread and hands pages first..last (last 0: to the end) to
// write as they come. Any failure, of the pass or of the writing, stops both and leaves
// no file. Returns the pages the report printed.
int32_t RenderWhileGenerating(TQuickRep& report, const std::function<void(const TQRPageStream&)>& write,
                              const TRenderRequest& request, int32_t first, int32_t last) {
  TQRPrinter& printer = *report.QRPrinter();
  TPageQueue queue;
  printer.OnPageRecorded = [&queue](std::unique_ptr<TMetafile> page) { queue.Push(std::move(page)); };
  int32_t seen = 0;
  report.StartGeneration([&queue] { queue.End(); });
  try {
    write([&]() -> std::unique_ptr<TMetafile> {
      while (std::unique_ptr<TMetafile> page = queue.Pop()) {
        ++seen;
        if (seen >= first && (last == 0 || seen <= last)) return page;
      }
      // The pass is over: its failure, a cancel, or too few pages, fails the document
      // before it is kept.
      report.EndGeneration();
      if (Cancelled(report)) FailCancelled(request);
      if (seen == 0) throw EQRError(request.SourceName + ": the report printed no pages");
      if (first > seen) throw EQRError(Format("The report has %d pages; --from %d prints nothing", seen, first));
      return nullptr;
    });
  } catch (...) {
    queue.Close();
    if (report.GenerationRunning()) {
      report.CancelGeneration();
      try {
        report.EndGeneration();
      } catch (const std::exception&) {
        // The failure that stopped the writing is the one told.
      }
    }
    printer.OnPageRecorded = nullptr;
    throw;
  }
  printer.OnPageRecorded = nullptr;
  return seen;
}

}  // namespace

TLoadedReport LoadReportBytes(const std::string& bytes, const std::string& name) {
  TLoadedReport loaded;
  try {
    const size_t streamStart = ReadReportFileHeader(bytes, loaded.Header, name);
    RegisterReportClasses();
    // As the document window does: a report without owner named Report that prints when
    // empty; the name stored in the stream is not kept. The header's dataset is left
    // closed and unbound.
    loaded.Report.reset(TComponent::Create<TNotifyQuickRep>(nullptr));
    loaded.Report->SetName("Report");
    loaded.Report->SetPrintIfEmpty(true);
    const size_t end = LoadReportStream(bytes, streamStart, loaded.Report.get());
    loaded.Report->SetName("Report");
    // Bytes after the report are not part of it; saving would silently drop them.
    if (end != bytes.size())
      throw EReadError(Format("offset %d: expected the end of the data after the report, found %d more bytes", end,
                              bytes.size() - end));
  } catch (const Exception& e) {
    // Any failure names the file, so a script running over many files shows which one
    // is damaged.
    throw EReadError(name + ": " + e.what());
  }
  return loaded;
}

TLoadedReport LoadReportFile(const std::string& fileName) {
  return LoadReportBytes(ReadReportFileBytes(fileName), fileName);
}

bool IsConnectionString(const std::string& database) {
  return LowerAscii(database).rfind("sqlite:", 0) == 0 || database.find("://") != std::string::npos;
}

TDataSet* MakeRenderDataSet(const TLoadedReport& loaded, std::shared_ptr<const TRowSet> rows) {
  if (!rows) return CreateHeaderDataSet(loaded.Header, nullptr);
  auto* dataSet = TComponent::Create<TRowsDataSet>(nullptr);
  dataSet->SetRows(std::move(rows));
  return dataSet;
}

void BindReportData(TQuickRep& report, TDataSet* dataSet, const std::string& given) {
  // The caller's own database may be named by a connection string (never the file's).
  const std::string database = IsConnectionString(given) ? Session().DefineConnection(given) : given;
  if (!database.empty()) {
    if (dataSet) dataSet->SetDatabaseName(database);
    for (TComponent* c : report.OwnedComponents()) {
      auto* owned = dynamic_cast<TDataSet*>(c);
      if (!owned) continue;
      // A dataset stored open was opened by the load on its own database.
      const bool wasOpen = owned->Active();
      owned->Close();
      owned->SetDatabaseName(database);
      if (wasOpen) owned->Open();
    }
  }
  if (!dataSet) return;
  dataSet->Open();
  report.SetDataSet(dataSet);
  for (TComponent* c : report.OwnedComponents())
    if (IsFieldPrintable(c) && !FieldPrintableDataSet(c)) SetFieldPrintableDataSet(c, dataSet);
}

void CheckParamNames(const TQuickRep& report, const TQRParamTexts& texts) {
  const std::vector<std::string> undeclared = report.UndeclaredSqlParams();
  for (const auto& [name, text] : texts) {
    if (report.Parameters()->Find(name)) continue;
    if (std::any_of(undeclared.begin(), undeclared.end(), [&](const std::string& n) { return SameText(n, name); }))
      continue;
    throw EQRError(Format("The report has no parameter %s", name));
  }
}

bool IsRecordingName(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".qrp";
}

namespace {

// The filter of the output's extension (none for a recording), with the request's
// options checked against it.
std::unique_ptr<TQRExportFilter> RequestFilter(const TRenderRequest& request) {
  const std::string& output = request.Output;
  const bool recording = IsRecordingName(output);
  const TQRExportFilterEntry* entry =
      recording ? nullptr : ExportFilters().FindByExtension(std::filesystem::path(output).extension().string());
  if (!recording && !entry) throw EQRError("The output must end in .qrp, .pdf, .png, .csv or .xlsx: " + output);
  std::unique_ptr<TQRExportFilter> filter = entry ? entry->FilterClass(output) : nullptr;
  auto* images = dynamic_cast<TQRPNGFilter*>(filter.get());
  if (request.Dpi && !images) throw EQRError("A resolution is for .png output");
  if (images && request.Dpi) images->SetResolution(request.Dpi);
  if (filter && !filter->WritesPages() && (request.From || request.To))
    throw EQRError("A page range chooses pages; a ." + entry->Extension + " output holds every detail row");
  if (request.From && request.To && request.From > request.To) throw EQRError("The page range ends before it starts");
  return filter;
}

}  // namespace

void CheckRenderRequest(const TRenderRequest& request) { RequestFilter(request); }

TRenderResult RenderReport(TQuickRep& report, const TRenderRequest& request) {
  const std::string& output = request.Output;
  const std::unique_ptr<TQRExportFilter> filter = RequestFilter(request);
  auto* images = dynamic_cast<TQRPNGFilter*>(filter.get());

  // Nothing is generated for a folder that cannot take the result.
  TPendingFile(output).Discard();

  report.PrinterSettings()->PrinterNumber = -1;
  auto newPrinter = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  newPrinter->OutputTarget = otPageStore;
  report.SetQRPrinter(std::move(newPrinter));
  int64_t records = 0;
  ReportProgress(report, request, records);

  TRenderResult result;
  if (filter && !filter->WritesPages()) {
    report.ExportToFilter(*filter);
    if (Cancelled(report)) FailCancelled(request);
    result.Warnings = report.GenerationMessages();
    const auto* rows = dynamic_cast<const TQRTableFilter*>(filter.get());
    result.Rows = rows ? rows->RowCount() : records;
    result.Exported = true;
    return result;
  }

  auto* pdf = dynamic_cast<TQRPDFFilter*>(filter.get());
  if (pdf) {
    // The document's title: the one asked for, else the report's title, else the source.
    pdf->Title = !request.Title.empty()                 ? request.Title
                 : !report.ReportTitle().empty()        ? report.ReportTitle()
                                                        : request.SourceName;
    pdf->Created = request.Created;
  }
  const int32_t first = request.From ? request.From : 1;
  // Pages are written as they come, and let go; a report that prints its page count is
  // written from the store once its last page is made.
  if ((pdf || images) && !report.UsesPageCount()) {
    const auto write = [&](const TQRPageStream& next) {
      if (pdf)
        pdf->WritePageStream(next);
      else
        images->WritePageStream(next, first);
    };
    result.Total = RenderWhileGenerating(report, write, request, first, request.To);
    result.First = first;
    result.Last = request.To ? std::min(request.To, result.Total) : result.Total;
    result.Warnings = report.GenerationMessages();
    if (pdf)
      for (const std::string& message : pdf->MissingFontMessages()) result.Warnings.push_back(message);
    return result;
  }
  report.GeneratePages();
  if (Cancelled(report)) FailCancelled(request);
  // What the pass could not print as designed (a barcode text that cannot be encoded).
  result.Warnings = report.GenerationMessages();
  TQRPrinter& pages = *report.QRPrinter();
  const int32_t total = pages.TotalPages();
  if (pages.Status() != qsFinished || total == 0) throw EQRError(request.SourceName + ": the report printed no pages");
  if (request.From > total)
    throw EQRError(Format("The report has %d pages; --from %d prints nothing", total, request.From));
  const int32_t last = request.To ? std::min(request.To, total) : total;

  if (filter) {
    pages.Title = report.ReportTitle().empty() ? request.SourceName : report.ReportTitle();
    filter->WritePages(pages, first, last);
    if (pdf)
      for (const std::string& message : pdf->MissingFontMessages()) result.Warnings.push_back(message);
  } else {
    TPendingFile pending(output);
    if (first == 1 && last == total)
      pages.SaveRecording(pending.TempName());
    else
      SavePageRange(pages, first, last, pending.TempName());
    pending.Commit();
  }
  result.First = first;
  result.Last = last;
  result.Total = total;
  return result;
}

}  // namespace rpt
