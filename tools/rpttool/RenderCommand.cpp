// rpttool render: a .rpt file generated through the report engine on its own data, into
// a recorded-report file (.qrp) or through the export filter of the output's extension:
// the recorded pages as a PDF or PNG images, or the detail rows as CSV or a workbook.
//
// The report is loaded as check loads it and bound as a document window binds it: the
// header's dataset, opened, becomes the report's dataset and that of every data field
// the file leaves unbound. The output appears under its name only once complete.
//
// The render path itself is shared with the library (api/RenderReport.h): this file
// reads the command line and prints what the render did.
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "data/DB.h"
#include "data/RowData.h"
#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "output/QRExport.h"
#include "output/QRPageFilters.h"
#include "report/QRFile.h"
#include "api/RenderReport.h"
#include "tools/rpttool/LoadedReport.h"
#include "tools/rpttool/Output.h"
#include "tools/rpttool/Render.h"

namespace rpttool {

namespace {

using rpt::Format;

const char kUsage[] = "usage: rpttool render FILE.rpt OUT.qrp|OUT.pdf|OUT.png|OUT.csv|OUT.xlsx [--database ALIAS] "
                      "[--data ROWS.json|ROWS.csv] [--from N] [--to M] [--dpi N] [--title TEXT] [--progress] "
                      "[--param NAME=VALUE...] [--burst EXPR [--shard K/N] [--index FILE] [--skip-existing]]";

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

}  // namespace

int RenderUsageError(const std::string& message) {
  std::fprintf(stderr, "rpttool: %s\nTry 'rpttool --help' for the list of commands.\n", message.c_str());
  return kExitUsage;
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
  if (!rowsFile.empty() && !database.empty()) return RenderUsageError("--data and --database exclude each other");
  if (!burstGiven && (shardGiven || burst.SkipExisting || !burst.IndexFile.empty()))
    return RenderUsageError("--shard, --skip-existing and --index are for --burst");
  if (burstGiven) {
    if (from || to) return RenderUsageError("--from and --to are not for --burst: each output holds its burst's pages");
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
  const bool recording = rpt::IsRecordingName(output);
  const rpt::TQRExportFilterEntry* entry =
      recording ? nullptr : rpt::ExportFilters().FindByExtension(std::filesystem::path(output).extension().string());
  if (!recording && !entry) return RenderUsageError("the output must end in .qrp, .pdf, .png, .csv or .xlsx: " + output);
  const std::unique_ptr<rpt::TQRExportFilter> filter = entry ? entry->FilterClass(output) : nullptr;
  if (from && to && from > to) return RenderUsageError("--from is after --to");
  auto* images = dynamic_cast<rpt::TQRPNGFilter*>(filter.get());
  if (dpi && !images) return RenderUsageError("--dpi is for .png output");
  if (filter && !filter->WritesPages() && (from || to))
    return RenderUsageError("--from and --to choose pages; a ." + entry->Extension + " output holds every detail row");

  const std::unique_ptr<QGuiApplication> app = GuiApplication();
  // Declared before the report, so that the report that reads it goes first.
  rpt::TOwnedPtr<rpt::TDataSet> dataSet;
  TLoadedReport loaded = LoadReportFile(file);
  rpt::TQuickRep& report = *loaded.Report;
  // Rows from a file take the place of the header's dataset.
  dataSet.reset(rpt::MakeRenderDataSet(
      loaded, rowsFile.empty() ? nullptr : std::make_shared<const rpt::TRowSet>(rpt::ReadRowFile(rowsFile))));
  rpt::BindReportData(report, dataSet.get(), database);
  rpt::CheckParamNames(report, params);
  report.SetParamTexts(std::move(params));

  rpt::TRenderRequest request;
  request.Output = output;
  request.SourceName = file;
  request.From = from;
  request.To = to;
  request.Dpi = dpi;
  request.Title = title;
  request.Created = PdfCreated();
  // A line on stderr at the end of every page: the page and the detail prints so far.
  if (progress)
    request.OnPage = [](int32_t page, int64_t records) {
      std::fprintf(stderr, "page %d done, %lld records\n", page, static_cast<long long>(records));
      return true;
    };
  const rpt::TRenderResult result = rpt::RenderReport(report, request);
  for (const std::string& message : result.Warnings) std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
  if (result.Exported)
    Print(Format("exported %d rows into %s\n", result.Rows, output));
  else
    Print(Format("rendered pages %d to %d of %d into %s\n", result.First, result.Last, result.Total, output));
  return 0;
}

}  // namespace rpttool
