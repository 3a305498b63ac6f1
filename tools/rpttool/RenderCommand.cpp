// rpttool render: a .rpt file generated through the report engine on its own data, into
// a recorded-report file (.qrp) or through the export filter of the output's extension:
// the recorded pages as a PDF or PNG images, or the detail rows as CSV or a workbook.
//
// The report is loaded as check loads it and bound as a document window binds it: the
// header's dataset, opened, becomes the report's dataset and that of every data field
// the file leaves unbound. The output appears under its name only once complete.
//
// A PDF is written while the report's thread makes the pages: each page goes from the
// pass to this thread through a short queue and is let go once written, so no page is
// kept and the page store's limit does not apply.
#include <QGuiApplication>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "data/DB.h"
#include "data/RowData.h"
#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/QRExport.h"
#include "output/QRPageFilters.h"
#include "output/QRPageList.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "report/QRPictures.h"
#include "report/QRFile.h"
#include "report/QRTableFilters.h"
#include "tools/rpttool/LoadedReport.h"
#include "tools/rpttool/Output.h"
#include "tools/rpttool/Render.h"

namespace rpttool {

namespace {

using rpt::Format;

const char kUsage[] = "usage: rpttool render FILE.rpt OUT.qrp|OUT.pdf|OUT.png|OUT.csv|OUT.xlsx [--database ALIAS] "
                      "[--data ROWS.json|ROWS.csv] [--from N] [--to M] [--dpi N] [--title TEXT] [--progress] "
                      "[--param NAME=VALUE...] [--burst EXPR [--shard K/N] [--index FILE] [--skip-existing]]";
// Pages a pass may be ahead of the writer.
constexpr size_t kPagesAhead = 8;

bool ParsePage(const std::string& text, int32_t& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end || v < 1 || v > 1000000) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// K/N: shard K (from 0) of N.
bool ParseShard(const std::string& text, int32_t& shard, int32_t& shards) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  const std::string k = text.substr(0, slash);
  int32_t n = 0;
  if (k.empty() || k.size() > 7 || k.find_first_not_of("0123456789") != std::string::npos ||
      !ParsePage(text.substr(slash + 1), n))
    return false;
  const int32_t index = static_cast<int32_t>(std::strtol(k.c_str(), nullptr, 10));
  if (index >= n) return false;
  shard = index;
  shards = n;
  return true;
}

bool IsImageOutput(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".png";
}

bool IsRecording(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".qrp";
}

// The pages from..to of a finished recording, as a recording of their own.
void SavePageRange(rpt::TQRPrinter& printer, int32_t from, int32_t to, const std::string& fileName) {
  rpt::TQRPageList part;
  part.AttachStream(std::make_unique<rpt::TQRStream>(rpt::kStoreMemoryLimit));
  part.SetCompressed(printer.PageList().Compressed());
  for (int32_t n = from; n <= to; ++n) {
    const std::unique_ptr<rpt::TMetafile> page = printer.PageImage(n);
    if (!page) throw rpt::EQRError(Format("Page %d of the recording cannot be read", n));
    part.AppendPage(*page);
  }
  part.WriteHeader();
  part.CopyToFile(fileName);
}

// Writes a line to stderr at the end of every page: the page and the master records
// printed so far (counted as the detail band finishes each one).
void ReportProgressOnStderr(rpt::TQuickRep& report, int64_t& records) {
  if (rpt::TQRCustomBand* detail = report.FindBand(rpt::rbDetail)) {
    detail->AfterPrint = [&records, before = detail->AfterPrint](rpt::TQRCustomBand* band, bool printed) {
      ++records;
      if (before) before(band, printed);
    };
  }
  report.OnEndPage = [&records](rpt::TCustomQuickRep* r) {
    std::fprintf(stderr, "page %d done, %lld records\n", r->PagesDone(), static_cast<long long>(records));
  };
}

// Pages handed from the report's thread to the writing one. At most kPagesAhead wait: the
// pass waits for the writer beyond that, so memory stays flat however long the report.
class TPageQueue {
 public:
  // On the report's thread; the page is dropped once the writer has gone.
  void Push(std::unique_ptr<rpt::TMetafile> page) {
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
  std::unique_ptr<rpt::TMetafile> Pop() {
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FEnded || !FPages.empty(); });
    if (FPages.empty()) return nullptr;
    std::unique_ptr<rpt::TMetafile> page = std::move(FPages.front());
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
  std::deque<std::unique_ptr<rpt::TMetafile>> FPages;
  bool FEnded = false, FClosed = false;
};

// Generates on the report's thread and hands pages first..last (last 0: to the end) to
// write as they come. Any failure, of the pass or of the writing, stops both and leaves
// no file. Returns the pages the report printed.
int32_t RenderWhileGenerating(rpt::TQuickRep& report, const std::function<void(const rpt::TQRPageStream&)>& write,
                              const std::string& file, int32_t first, int32_t last) {
  rpt::TQRPrinter& printer = *report.QRPrinter();
  TPageQueue queue;
  printer.OnPageRecorded = [&queue](std::unique_ptr<rpt::TMetafile> page) { queue.Push(std::move(page)); };
  int32_t seen = 0;
  report.StartGeneration([&queue] { queue.End(); });
  try {
    write([&]() -> std::unique_ptr<rpt::TMetafile> {
      while (std::unique_ptr<rpt::TMetafile> page = queue.Pop()) {
        ++seen;
        if (seen >= first && (last == 0 || seen <= last)) return page;
      }
      // The pass is over: its failure, or too few pages, fails the document before it is kept.
      report.EndGeneration();
      if (seen == 0) throw rpt::EQRError(file + ": the report printed no pages");
      if (first > seen) throw rpt::EQRError(Format("The report has %d pages; --from %d prints nothing", seen, first));
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

int RenderUsageError(const std::string& message) {
  std::fprintf(stderr, "rpttool: %s\nTry 'rpttool --help' for the list of commands.\n", message.c_str());
  return kExitUsage;
}

void UseDatabase(rpt::TQuickRep& report, rpt::TDataSet* dataSet, const std::string& database) {
  if (database.empty()) return;
  if (dataSet) dataSet->SetDatabaseName(database);
  for (rpt::TComponent* c : report.OwnedComponents()) {
    auto* owned = dynamic_cast<rpt::TDataSet*>(c);
    if (!owned) continue;
    // A dataset stored open was opened by the load on its own database.
    const bool wasOpen = owned->Active();
    owned->Close();
    owned->SetDatabaseName(database);
    if (wasOpen) owned->Open();
  }
}

void BindReport(rpt::TQuickRep& report, rpt::TDataSet* dataSet) {
  report.SetDataSet(dataSet);
  for (rpt::TComponent* c : report.OwnedComponents())
    if (rpt::IsFieldPrintable(c) && !rpt::FieldPrintableDataSet(c)) rpt::SetFieldPrintableDataSet(c, dataSet);
}

void CheckParamNames(const rpt::TQuickRep& report, const rpt::TQRParamTexts& texts) {
  const std::vector<std::string> undeclared = report.UndeclaredSqlParams();
  for (const auto& [name, text] : texts) {
    if (report.Parameters()->Find(name)) continue;
    if (std::any_of(undeclared.begin(), undeclared.end(), [&](const std::string& n) { return rpt::SameText(n, name); }))
      continue;
    throw rpt::EQRError(Format("The report has no parameter %s", name));
  }
}

QDateTime PdfCreated() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  char* end = nullptr;
  const long long seconds = epoch && *epoch ? std::strtoll(epoch, &end, 10) : -1;
  if (seconds >= 0 && end && !*end) return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
  return QDateTime::currentDateTimeUtc();
}

int Render(std::span<const std::string> args) {
  std::string file, output, database, title, rowsFile;
  int32_t from = 0, to = 0, dpi = 0;
  bool progress = false;
  rpt::TQRParamTexts params;
  TBurstOptions burst;
  bool burstGiven = false, shardGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--progress") {
      progress = true;
    } else if (a == "--skip-existing") {
      burst.SkipExisting = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (i + 1 == args.size()) return RenderUsageError(a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--database") {
        if (v.empty()) return RenderUsageError("--database takes an alias name");
        database = v;
      } else if (a == "--data") {
        if (v.empty()) return RenderUsageError("--data takes a .json or .csv file");
        rowsFile = v;
      } else if (a == "--param") {
        const size_t eq = v.find('=');
        const std::string name = v.substr(0, eq == std::string::npos ? 0 : eq);
        if (eq == std::string::npos || !rpt::IsValidParamName(name)) return RenderUsageError("--param takes NAME=VALUE: " + v);
        if (!params.emplace(rpt::EvUpperCase(name), v.substr(eq + 1)).second)
          return RenderUsageError("--param " + name + " is given twice");
      } else if (a == "--from") {
        if (!ParsePage(v, from)) return RenderUsageError("--from takes a page number from 1");
      } else if (a == "--to") {
        if (!ParsePage(v, to)) return RenderUsageError("--to takes a page number from 1");
      } else if (a == "--title") {
        title = v;
      } else if (a == "--burst") {
        if (v.empty()) return RenderUsageError("--burst takes an expression");
        burst.Expression = v;
        burstGiven = true;
      } else if (a == "--shard") {
        if (!ParseShard(v, burst.Shard, burst.Shards)) return RenderUsageError("--shard takes K/N with 0 <= K < N: " + v);
        shardGiven = true;
      } else if (a == "--index") {
        if (v.empty()) return RenderUsageError("--index takes a file name");
        burst.IndexFile = v;
      } else if (a == "--dpi") {
        if (!ParsePage(v, dpi) || dpi < rpt::TQRPNGFilter::kMinResolution || dpi > rpt::TQRPNGFilter::kMaxResolution)
          return RenderUsageError(Format("--dpi takes a number from %d to %d", rpt::TQRPNGFilter::kMinResolution,
                              rpt::TQRPNGFilter::kMaxResolution));
      } else {
        return RenderUsageError("unknown option '" + a + "'");
      }
    } else if (file.empty()) {
      file = a;
    } else if (output.empty()) {
      output = a;
    } else {
      return RenderUsageError(kUsage);
    }
  }
  if (file.empty() || output.empty()) return RenderUsageError(kUsage);
  if (!burstGiven && (shardGiven || burst.SkipExisting || !burst.IndexFile.empty()))
    return RenderUsageError("--shard, --skip-existing and --index are for --burst");
  if (burstGiven) {
    if (from || to) return RenderUsageError("--from and --to are not for --burst: each output holds its burst's pages");
    if (!rowsFile.empty() && !database.empty()) return RenderUsageError("--data and --database exclude each other");
    if (dpi && !IsImageOutput(output)) return RenderUsageError("--dpi is for .png output");
    burst.File = file;
    burst.Output = output;
    burst.Database = database;
    burst.RowsFile = rowsFile;
    burst.Title = title;
    burst.Dpi = dpi;
    burst.Progress = progress;
    burst.Params = std::move(params);
    return RenderBursts(burst);
  }
  const bool recording = IsRecording(output);
  const rpt::TQRExportFilterEntry* entry =
      recording ? nullptr : rpt::ExportFilters().FindByExtension(std::filesystem::path(output).extension().string());
  if (!recording && !entry) return RenderUsageError("the output must end in .qrp, .pdf, .png, .csv or .xlsx: " + output);
  const std::unique_ptr<rpt::TQRExportFilter> filter = entry ? entry->FilterClass(output) : nullptr;
  if (from && to && from > to) return RenderUsageError("--from is after --to");
  if (!rowsFile.empty() && !database.empty()) return RenderUsageError("--data and --database exclude each other");
  auto* images = dynamic_cast<rpt::TQRPNGFilter*>(filter.get());
  if (dpi && !images) return RenderUsageError("--dpi is for .png output");
  if (images && dpi) images->SetResolution(dpi);
  if (filter && !filter->WritesPages() && (from || to))
    return RenderUsageError("--from and --to choose pages; a ." + entry->Extension + " output holds every detail row");

  const std::unique_ptr<QGuiApplication> app = GuiApplication();
  // Declared before the report, so that the report that reads it goes first.
  rpt::TOwnedPtr<rpt::TDataSet> dataSet;
  TLoadedReport loaded = LoadReportFile(file);
  rpt::TQuickRep& report = *loaded.Report;
  if (rowsFile.empty()) {
    dataSet.reset(rpt::CreateHeaderDataSet(loaded.Header, nullptr));
  } else {
    // The rows take the place of the header's dataset.
    auto* rows = rpt::TComponent::Create<rpt::TRowsDataSet>(nullptr);
    dataSet.reset(rows);
    rows->SetRows(std::make_shared<const rpt::TRowSet>(rpt::ReadRowFile(rowsFile)));
  }
  UseDatabase(report, dataSet.get(), database);
  if (dataSet) {
    dataSet->Open();
    BindReport(report, dataSet.get());
  }
  CheckParamNames(report, params);
  report.SetParamTexts(std::move(params));

  // Nothing is generated for a folder that cannot take the result.
  rpt::TPendingFile(output).Discard();

  // The pages are laid out for the built-in PDF printer whatever printer the file names.
  report.PrinterSettings()->PrinterNumber = -1;
  auto printer = std::make_unique<rpt::TQRPrinter>(std::vector<rpt::TPrinterDevice>{rpt::TPrinter::PdfPrinter()});
  printer->OutputTarget = rpt::otPageStore;
  report.SetQRPrinter(std::move(printer));
  int64_t records = 0;
  if (progress) ReportProgressOnStderr(report, records);

  if (filter && !filter->WritesPages()) {
    report.ExportToFilter(*filter);
    for (const std::string& message : report.GenerationMessages())
      std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
    const auto* rows = dynamic_cast<const rpt::TQRTableFilter*>(filter.get());
    Print(Format("exported %d rows into %s\n", rows ? rows->RowCount() : records, output));
    return 0;
  }

  auto* pdf = dynamic_cast<rpt::TQRPDFFilter*>(filter.get());
  // The document's title: the option, else the report's title, else the file's name.
  if (pdf) pdf->Created = PdfCreated();
  if (pdf) pdf->Title = !title.empty() ? title : report.ReportTitle().empty() ? file : report.ReportTitle();
  // Pages are written as they come, and let go; a report that prints its page count is
  // written from the store once its last page is made.
  if ((pdf || images) && !report.UsesPageCount()) {
    const int32_t first = from ? from : 1;
    const auto write = [&](const rpt::TQRPageStream& next) {
      if (pdf)
        pdf->WritePageStream(next);
      else
        images->WritePageStream(next, first);
    };
    const int32_t total = RenderWhileGenerating(report, write, file, first, to);
    for (const std::string& message : report.GenerationMessages())
      std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
    if (pdf)
      for (const std::string& message : pdf->MissingFontMessages())
        std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
    Print(Format("rendered pages %d to %d of %d into %s\n", first, to ? std::min(to, total) : total, total, output));
    return 0;
  }
  report.GeneratePages();
  // What the pass could not print as designed (a barcode text that cannot be encoded).
  for (const std::string& message : report.GenerationMessages())
    std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
  rpt::TQRPrinter& pages = *report.QRPrinter();
  const int32_t total = pages.TotalPages();
  if (pages.Status() != rpt::qsFinished || total == 0) throw rpt::EQRError(file + ": the report printed no pages");
  if (from > total) throw rpt::EQRError(Format("The report has %d pages; --from %d prints nothing", total, from));
  const int32_t first = from ? from : 1;
  const int32_t last = to ? std::min(to, total) : total;

  if (filter) {
    pages.Title = report.ReportTitle().empty() ? file : report.ReportTitle();
    filter->WritePages(pages, first, last);
    if (pdf)
      for (const std::string& message : pdf->MissingFontMessages())
        std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
  } else {
    rpt::TPendingFile pending(output);
    if (first == 1 && last == total)
      pages.SaveRecording(pending.TempName());
    else
      SavePageRange(pages, first, last, pending.TempName());
    pending.Commit();
  }
  Print(Format("rendered pages %d to %d of %d into %s\n", first, last, total, output));
  return 0;
}

}  // namespace rpttool
