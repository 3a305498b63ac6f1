// The public library over the shared render path (api/RenderReport.h). A Report keeps
// the file's bytes, the parameter texts and the binding; every render loads its own
// copy of the report on the calling thread, so renders share nothing but the rows
// (read-only) and the engine's own locked registries.
#include "reportdesigner/ReportDesigner.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <dlfcn.h>
#include <unistd.h>

#include "api/RenderReport.h"
#include "data/DBTables.h"
#include "data/RowData.h"
#include "objects/Filer.h"
#include "report/QRExportFilters.h"
#include "report/QRFile.h"

#ifndef RPT_VERSION
#define RPT_VERSION "0.0"
#endif

namespace reportdesigner {

namespace {

// The application object the engine draws with: the program's own, else one made here
// on first use and kept (reachable) until the program ends, since the toolkit cannot
// be torn down and made again.
QGuiApplication* gMadeApplication = nullptr;

// The sample database of the library's own installation (LIB/../share or, for a
// multiarch library folder, LIB/../../share): the data layer looks beside the program,
// which for a program of the user's (or the Python interpreter) is elsewhere.
// RPT_SAMPLE_DB, when set, wins.
void FindSampleDatabase() {
  if (std::getenv("RPT_SAMPLE_DB")) return;
  Dl_info info;
  if (!::dladdr(reinterpret_cast<void*>(&FindSampleDatabase), &info) || !info.dli_fname) return;
  const std::filesystem::path lib = std::filesystem::path(info.dli_fname).lexically_normal().parent_path();
  for (const std::filesystem::path& prefix : {lib.parent_path(), lib.parent_path().parent_path()}) {
    std::error_code ec;
    const std::filesystem::path db = prefix / "share" / "report-designer" / "sample.db";
    if (std::filesystem::is_regular_file(db, ec)) {
      ::setenv("RPT_SAMPLE_DB", db.c_str(), 0);
      return;
    }
  }
}

void EnsureApplication() {
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  if (QCoreApplication* app = QCoreApplication::instance()) {
    if (!qobject_cast<QGuiApplication*>(app))
      throw Error("The program's application object has no graphics; the report engine needs a QGuiApplication");
  } else {
    // Off screen unless told otherwise: a render needs no display, and it draws the same
    // with or without one.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "reportdesigner";
    static char* argv[] = {name, nullptr};
    gMadeApplication = new QGuiApplication(argc, argv);
  }
  static std::once_flag once;
  std::call_once(once, [] {
    rpt::RegisterExportFilters();
    FindSampleDatabase();
  });
}

// Runs a call of the engine and turns its exceptions into the library's.
template <typename F>
auto Guarded(F&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const Error&) {
    throw;
  } catch (const rpt::EQRRenderCancelled& e) {
    throw Cancelled(e.what());
  } catch (const std::exception& e) {
    throw Error(e.what());
  }
  // Not reached: every handler throws.
  std::abort();
}

std::string ValueText(const Value& value) {
  struct {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool v) const { return v ? "true" : "false"; }
    std::string operator()(int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      // The shortest text that reads back as the same number.
      char buffer[64];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
      return std::string(buffer, end);
    }
    std::string operator()(const std::string& v) const { return v; }
  } visitor;
  return std::visit(visitor, value);
}

rpt::TValue EngineValue(const Value& value) {
  rpt::TValue v;
  if (const auto* b = std::get_if<bool>(&value)) {
    v.Kind = rpt::TValue::kBoolean;
    v.Int = *b;
  } else if (const auto* i = std::get_if<int64_t>(&value)) {
    v.Kind = rpt::TValue::kInteger;
    v.Int = *i;
  } else if (const auto* d = std::get_if<double>(&value)) {
    v.Kind = rpt::TValue::kFloat;
    v.Float = *d;
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    v.Kind = rpt::TValue::kText;
    v.Text = *s;
  }
  return v;
}

rpt::TFieldType FieldType(ColumnType type) {
  switch (type) {
    case ColumnType::Integer: return rpt::ftLargeint;
    case ColumnType::Float: return rpt::ftFloat;
    case ColumnType::Boolean: return rpt::ftBoolean;
    case ColumnType::Date: return rpt::ftDate;
    case ColumnType::Time: return rpt::ftTime;
    case ColumnType::DateTime: return rpt::ftDateTime;
    case ColumnType::Text: break;
  }
  return rpt::ftString;
}

const char* Extension(Format format) {
  switch (format) {
    case Format::Pdf: return ".pdf";
    case Format::Recording: return ".qrp";
    case Format::Png: return ".png";
    case Format::Csv: return ".csv";
    case Format::Xlsx: return ".xlsx";
    case Format::FromExtension: break;
  }
  throw Error("A byte buffer needs a format: Pdf, Recording, Png, Csv or Xlsx");
}

// A private folder for a render into bytes, removed with what is in it.
class TScratchFolder {
 public:
  TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "reportdesigner-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw Error("Cannot make a temporary folder in " + pattern);
    FPath = pattern;
  }
  ~TScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

const char* Version() { return RPT_VERSION; }

struct Report::Impl {
  enum TBinding { bOwn, bDatabase, bRows };
  std::string Name;
  std::string Bytes;
  std::vector<ParameterInfo> Declared;
  rpt::TQRParamTexts Params;
  TBinding Binding = bOwn;
  std::string Database;  // an alias, or the name a connection string was defined under
  std::shared_ptr<const rpt::TRowSet> Rows;
};

Report::Report(std::unique_ptr<Impl> impl) : FImpl(std::move(impl)) {}
Report::Report(Report&&) noexcept = default;
Report& Report::operator=(Report&&) noexcept = default;
Report::~Report() = default;

Report Report::FromBytes(std::string_view bytes, const std::string& name) {
  return Guarded([&] {
    EnsureApplication();
    auto impl = std::make_unique<Impl>();
    impl->Name = name;
    impl->Bytes.assign(bytes);
    // Loaded once now, so a damaged file fails here rather than at the first render.
    const rpt::TLoadedReport loaded = rpt::LoadReportBytes(impl->Bytes, name);
    const rpt::TQRParameters& declared = *loaded.Report->Parameters();
    for (int i = 0; i < declared.Count(); ++i) {
      const rpt::TQRParameter& p = *declared.Parameter(i);
      impl->Declared.push_back({p.Name(), rpt::ParamTypeName(p.DataType()), p.Default(), p.Prompt()});
    }
    return Report(std::move(impl));
  });
}

Report Report::Open(const std::string& path) {
  return Guarded([&] {
    EnsureApplication();
    return FromBytes(rpt::ReadReportFileBytes(path), path);
  });
}

const std::string& Report::Name() const { return FImpl->Name; }

std::vector<ParameterInfo> Report::Parameters() const { return FImpl->Declared; }

void Report::SetParameter(const std::string& name, const Value& value) {
  if (!rpt::IsValidParamName(name)) throw Error("'" + name + "' is not a parameter name");
  const std::string key = rpt::EvUpperCase(name);
  if (std::holds_alternative<std::monostate>(value))
    FImpl->Params.erase(key);
  else
    FImpl->Params[key] = ValueText(value);
}

void Report::SetParameters(const std::map<std::string, Value>& values) {
  for (const auto& [name, value] : values) SetParameter(name, value);
}

void Report::ClearParameters() { FImpl->Params.clear(); }

void Report::BindAlias(const std::string& alias) {
  if (alias.empty()) throw Error("An alias name is needed");
  FImpl->Binding = Impl::bDatabase;
  FImpl->Database = alias;
  FImpl->Rows.reset();
}

void Report::BindConnection(const std::string& connectionString) {
  FImpl->Database = Guarded([&] { return rpt::Session().DefineConnection(connectionString); });
  FImpl->Binding = Impl::bDatabase;
  FImpl->Rows.reset();
}

void Report::BindRows(const std::vector<Row>& rows, const std::optional<std::vector<Column>>& schema) {
  std::vector<rpt::TRecord> records;
  records.reserve(rows.size());
  for (const Row& row : rows) {
    rpt::TRecord& record = records.emplace_back();
    for (const auto& [name, value] : row) record.emplace_back(name, EngineValue(value));
  }
  std::vector<rpt::TFieldDef> defs;
  if (schema)
    for (const Column& column : *schema) {
      rpt::TFieldDef def;
      def.Name = column.Name;
      def.DataType = FieldType(column.Type);
      defs.push_back(std::move(def));
    }
  FImpl->Rows = Guarded(
      [&] { return std::make_shared<const rpt::TRowSet>(rpt::MakeRowSet(records, schema ? &defs : nullptr)); });
  FImpl->Binding = Impl::bRows;
  FImpl->Database.clear();
}

void Report::BindRowFile(const std::string& path) {
  FImpl->Rows = Guarded([&] { return std::make_shared<const rpt::TRowSet>(rpt::ReadRowFile(path)); });
  FImpl->Binding = Impl::bRows;
  FImpl->Database.clear();
}

void Report::BindOwnData() {
  FImpl->Binding = Impl::bOwn;
  FImpl->Database.clear();
  FImpl->Rows.reset();
}

RenderResult Report::Render(const std::string& outputPath, const RenderOptions& options, Format format) const {
  return Guarded([&] {
    EnsureApplication();
    if (format != Format::FromExtension) {
      std::string ext = std::filesystem::path(outputPath).extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext != Extension(format))
        throw Error("The output " + outputPath + " does not end in " + Extension(format) + " as its format asks");
    }
    rpt::TRenderRequest request;
    request.Output = outputPath;
    request.SourceName = FImpl->Name;
    request.From = options.FromPage;
    request.To = options.ToPage;
    request.Dpi = options.Dpi;
    request.Title = options.Title;
    if (options.PdfCreated) request.Created = QDateTime::fromSecsSinceEpoch(*options.PdfCreated, Qt::UTC);
    if (options.OnProgress)
      request.OnPage = [&options](int32_t page, int64_t records) { return options.OnProgress(Progress{page, records}); };
    // The output is checked before the data is opened.
    rpt::CheckRenderRequest(request);
    const Impl& impl = *FImpl;
    // Declared before the report, so that the report that reads it goes first.
    rpt::TOwnedPtr<rpt::TDataSet> dataSet;
    rpt::TLoadedReport loaded = rpt::LoadReportBytes(impl.Bytes, impl.Name);
    rpt::TQuickRep& report = *loaded.Report;
    dataSet.reset(rpt::MakeRenderDataSet(loaded, impl.Binding == Impl::bRows ? impl.Rows : nullptr));
    rpt::BindReportData(report, dataSet.get(), impl.Binding == Impl::bDatabase ? impl.Database : std::string());
    rpt::CheckParamNames(report, impl.Params);
    report.SetParamTexts(impl.Params);

    const rpt::TRenderResult done = rpt::RenderReport(report, request);
    RenderResult result;
    result.Pages = done.Total;
    result.FirstPage = done.First;
    result.LastPage = done.Last;
    result.Rows = done.Exported ? done.Rows : 0;
    result.Warnings = done.Warnings;
    return result;
  });
}

std::string Report::RenderToBytes(Format format, const RenderOptions& options, RenderResult* result) const {
  const TScratchFolder folder;
  const std::string file = folder.Path() + "/out" + Extension(format);
  RenderOptions used = options;
  // The images of several pages are several files; a buffer holds one.
  if (format == Format::Png) used.ToPage = used.FromPage ? used.FromPage : 1;
  RenderResult done = Render(file, used, format);
  std::string bytes = Guarded([&] { return rpt::ReadWholeFile(file); });
  if (result) *result = std::move(done);
  return bytes;
}

int Render(const std::string& reportPath, const std::string& outputPath, const std::map<std::string, Value>& parameters,
           const std::optional<std::vector<Row>>& rows, const RenderOptions& options) {
  Report report = Report::Open(reportPath);
  report.SetParameters(parameters);
  if (rows) report.BindRows(*rows);
  const RenderResult result = report.Render(outputPath, options);
  return result.Rows && !result.Pages ? static_cast<int>(result.Rows) : result.Pages;
}

}  // namespace reportdesigner
