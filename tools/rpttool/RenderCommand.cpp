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

namespace rpttool {

namespace {

using rpt::Format;

constexpr int kExitUsage = 2;

const char kUsage[] = "usage: rpttool render FILE.rpt OUT.qrp|OUT.pdf|OUT.png|OUT.csv|OUT.xlsx [--database ALIAS] "
                      "[--data ROWS.json|ROWS.csv] [--from N] [--to M] [--dpi N] [--title TEXT] [--progress] "
                      "[--param NAME=VALUE...]";

int Usage(const std::string& message) {
  std::fprintf(stderr, "rpttool: %s\nTry 'rpttool --help' for the list of commands.\n", message.c_str());
  return kExitUsage;
}

bool ParsePage(const std::string& text, int32_t& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !end || *end || v < 1 || v > 1000000) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

int Render(std::span<const std::string> args) {
  std::string file, output, database, title, rowsFile;
  int32_t from = 0, to = 0, dpi = 0;
  bool progress = false;
  rpt::TQRParamTexts params;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--progress") {
      progress = true;
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (i + 1 == args.size()) return Usage(a + " needs a value");
      const std::string& v = args[++i];
      if (a == "--database") {
        if (v.empty()) return Usage("--database takes an alias name");
        database = v;
      } else if (a == "--data") {
        if (v.empty()) return Usage("--data takes a .json or .csv file");
        rowsFile = v;
      } else if (a == "--param") {
        const size_t eq = v.find('=');
        const std::string name = v.substr(0, eq == std::string::npos ? 0 : eq);
        if (eq == std::string::npos || !rpt::IsValidParamName(name)) return Usage("--param takes NAME=VALUE: " + v);
        if (!params.emplace(rpt::EvUpperCase(name), v.substr(eq + 1)).second)
          return Usage("--param " + name + " is given twice");
      } else if (a == "--from") {
        if (!ParsePage(v, from)) return Usage("--from takes a page number from 1");
      } else if (a == "--to") {
        if (!ParsePage(v, to)) return Usage("--to takes a page number from 1");
      } else if (a == "--title") {
        title = v;
      } else if (a == "--dpi") {
        if (!ParsePage(v, dpi) || dpi < rpt::TQRPNGFilter::kMinResolution || dpi > rpt::TQRPNGFilter::kMaxResolution)
          return Usage(Format("--dpi takes a number from %d to %d", rpt::TQRPNGFilter::kMinResolution,
                              rpt::TQRPNGFilter::kMaxResolution));
      } else {
        return Usage("unknown option '" + a + "'");
      }
    } else if (file.empty()) {
      file = a;
    } else if (output.empty()) {
      output = a;
    } else {
      return Usage(kUsage);
    }
  }
  if (file.empty() || output.empty()) return Usage(kUsage);
  const bool recording = rpt::IsRecordingName(output);
  const rpt::TQRExportFilterEntry* entry =
      recording ? nullptr : rpt::ExportFilters().FindByExtension(std::filesystem::path(output).extension().string());
  if (!recording && !entry) return Usage("the output must end in .qrp, .pdf, .png, .csv or .xlsx: " + output);
  const std::unique_ptr<rpt::TQRExportFilter> filter = entry ? entry->FilterClass(output) : nullptr;
  if (from && to && from > to) return Usage("--from is after --to");
  if (!rowsFile.empty() && !database.empty()) return Usage("--data and --database exclude each other");
  auto* images = dynamic_cast<rpt::TQRPNGFilter*>(filter.get());
  if (dpi && !images) return Usage("--dpi is for .png output");
  if (filter && !filter->WritesPages() && (from || to))
    return Usage("--from and --to choose pages; a ." + entry->Extension + " output holds every detail row");

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
