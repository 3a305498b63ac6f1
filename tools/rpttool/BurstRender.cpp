// rpttool render FILE.rpt 'OUTDIR/NAME-{KEY}.ext' --burst EXPR: one output per burst, a
// run of consecutive master records with the same value of EXPR (an invoice per order),
// made in one walk of the data: the report reads the master dataset through a segment
// view that ends at each change of the key, and one full pass runs per burst (its own
// page numbers and count, title and summary), the next continuing where the view stopped.
//
// The data should be ordered by the key, as groups need. A key that comes back after
// other keys is a burst of its own whose file name gets a suffix like any other clash.
//
// {KEY} becomes the key made safe for a file name; names that clash after that get "-2",
// "-3" in walk order. Every shard walks all the data and names every burst, so names do
// not depend on the sharding. An index (CSV) lists each burst the run is responsible
// for; it grows in INDEX.partial as bursts are written and takes its name at the end.
#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/DBTables.h"
#include "data/RowData.h"
#include "data/SegmentData.h"
#include "expr/QRExpr.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/QRExport.h"
#include "output/QRPageFilters.h"
#include "output/QRPrinter.h"
#include "report/QRController.h"
#include "report/QRFile.h"
#include "report/QRPictures.h"
#include "report/QRTableFilters.h"
#include "api/RenderReport.h"
#include "tools/rpttool/LoadedReport.h"
#include "tools/rpttool/Output.h"
#include "tools/rpttool/Render.h"

namespace rpttool {

namespace {

namespace fs = std::filesystem;
using rpt::Format;

constexpr const char* kKeyMark = "{KEY}";
// Bytes of a key in a file name, cut on a character boundary.
constexpr size_t kMaxKeyBytes = 100;
// Keys that come back after other keys, each said on stderr; then only how many more.
constexpr int64_t kReturningTold = 10;

// The value of the burst expression on one record.
struct TKey {
  bool Null = false;   // the expression is a field's name and the field is null
  bool Error = false;  // the expression failed; Text holds the message
  rpt::TQREvValueKind Kind = rpt::vkInteger;
  std::string Text;
  bool operator==(const TKey&) const = default;
};

// Evaluates the burst expression on the source's current record.
class TKeyReader {
 public:
  TKeyReader(rpt::TDataSet& source, const std::string& expression) : FSource(source), FDataSets{&source} {
    FEvaluator.SetDataSetList(&FDataSets);
    FEvaluator.Compile(expression);
    if (const rpt::TField* field = source.FindField(expression)) FNullField = field->Index();
  }
  std::string CompileError() const { return FEvaluator.CompileError(); }
  bool HasAggregates() { return FEvaluator.HasAggregates(); }

  TKey Read() {
    TKey key;
    if (FNullField >= 0 && FSource.FieldValue(FNullField).IsNull()) {
      key.Null = true;
      return key;
    }
    const rpt::TQREvValue& value = FEvaluator.Evaluate();
    key.Kind = value.Kind;
    key.Error = value.Kind == rpt::vkError;
    key.Text = key.Error ? value.StrValue : rpt::EvValueToString(value);
    return key;
  }

 private:
  rpt::TDataSet& FSource;
  rpt::TDataSetList FDataSets;
  rpt::TQREvaluator FEvaluator;
  int FNullField = -1;
};

// FNV-1a, 64 bits: the same number for the same text on every machine.
uint64_t Fnv1a64(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// The length of the valid UTF-8 sequence at text[i] and its code point; 0 when invalid.
size_t Utf8Sequence(const std::string& text, size_t i, uint32_t& code) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  code = length == 1 ? c : c & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond Unicode are not text.
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMin[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

// A key as a part of a file name: path separators, control characters and bytes that
// are not UTF-8 become "_", as does a leading dot (no hidden file, no "." or ".."); at
// most kMaxKeyBytes bytes, cut between characters. NULL is "null", empty text "empty".
std::string SafeKeyName(const TKey& key) {
  if (key.Null) return "null";
  if (key.Text.empty()) return "empty";
  std::string name;
  for (size_t i = 0; i < key.Text.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(key.Text, i, code);
    const bool replaced = length == 0 || code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == '/' ||
                          code == '\\' || (name.empty() && code == '.');
    const std::string piece = replaced ? std::string("_") : key.Text.substr(i, length);
    if (name.size() + piece.size() > kMaxKeyBytes) break;
    name += piece;
    i += length == 0 ? 1 : length;
  }
  return name;
}

// The names given so far, in walk order: a name taken already gets "-2", "-3"...
class TNamer {
 public:
  // The name for a burst and whether the same key had a burst before (the data are not
  // ordered by the key).
  std::string Assign(const TKey& key, bool& seenBefore) {
    const std::string base = SafeKeyName(key);
    const std::string identity = KeyIdentity(key);
    std::string name = base;
    seenBefore = false;
    if (const auto it = FTaken.find(base); it != FTaken.end()) {
      seenBefore = it->second == identity;
      int& next = FNextSuffix[base];
      if (next < 2) next = 2;
      do name = base + "-" + std::to_string(next++);
      while (FTaken.count(name));
    }
    FTaken.emplace(name, identity);
    return name;
  }

 private:
  static std::string KeyIdentity(const TKey& key) { return key.Null ? std::string("\x01null") : key.Text; }
  std::unordered_map<std::string, std::string> FTaken;  // name -> the key that took it
  std::unordered_map<std::string, int> FNextSuffix;
};

// ---------------------------------------------------------------------------
// The index: key,file,pages,records,bytes,sha256,error.

const char kIndexHeader[] = "key,file,pages,records,bytes,sha256,error\n";

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// The records of a CSV text (quoted fields may hold commas, quotes and line breaks).
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) row.push_back(std::move(field));
      if (!row.empty()) rows.push_back(std::move(row));
      row.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any || !field.empty()) row.push_back(std::move(field));
  if (!row.empty()) rows.push_back(std::move(row));
  return rows;
}

struct TIndexEntry {
  std::string Pages, Bytes, Sha256;
};

// The outputs an earlier run wrote whole, by file name: from its index and from the
// part of the index a run that was stopped left behind.
std::map<std::string, TIndexEntry> ReadEarlierIndex(const std::string& indexFile) {
  std::map<std::string, TIndexEntry> entries;
  for (const std::string& name : {indexFile, indexFile + ".partial"}) {
    std::error_code error;
    if (!fs::is_regular_file(name, error)) continue;
    const std::vector<std::vector<std::string>> rows = ParseCsv(rpt::ReadWholeFile(name));
    for (size_t i = 1; i < rows.size(); ++i) {
      const std::vector<std::string>& r = rows[i];
      if (r.size() != 7 || !r[6].empty() || r[1].empty()) continue;
      entries[r[1]] = TIndexEntry{r[2], r[4], r[5]};
    }
  }
  return entries;
}

// Size and SHA-256 (hex) of files taken together in order; false when one is missing.
bool HashFiles(const std::vector<std::string>& files, int64_t& bytes, std::string& sha256) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  bytes = 0;
  for (const std::string& name : files) {
    QFile file(QString::fromStdString(name));
    if (!file.open(QIODevice::ReadOnly)) return false;
    bytes += file.size();
    if (!hash.addData(&file)) return false;
  }
  sha256 = hash.result().toHex().toStdString();
  return true;
}

// The index written line by line under INDEX.partial, flushed after each, and renamed to
// INDEX at the end: a stopped run leaves what it did for --skip-existing to find.
class TIndexWriter {
 public:
  explicit TIndexWriter(std::string fileName) : FName(std::move(fileName)), FPartial(FName + ".partial") {
    FFile = std::fopen(FPartial.c_str(), "wb");
    if (!FFile) throw rpt::EFCreateError(Format("Cannot create file \"%s\". %s", FPartial, std::strerror(errno)));
    Write(kIndexHeader);
  }
  ~TIndexWriter() {
    if (FFile) std::fclose(FFile);
  }
  void Add(const TKey& key, const std::string& file, const std::string& pages, int64_t records,
           const std::string& bytes, const std::string& sha256, const std::string& error) {
    Write(CsvField(key.Null || key.Error ? std::string() : key.Text) + "," + CsvField(file) + "," + pages + "," +
          std::to_string(records) + "," + bytes + "," + sha256 + "," + CsvField(error) + "\n");
  }
  void Commit() {
    if (std::fflush(FFile) != 0 || ::fsync(::fileno(FFile)) != 0) Fail();
    const int closed = std::fclose(FFile);
    FFile = nullptr;
    if (closed != 0) Fail();
    std::error_code error;
    fs::rename(FPartial, FName, error);
    if (error) throw rpt::EFCreateError(Format("Cannot rename \"%s\" to \"%s\". %s", FPartial, FName, error.message()));
  }

 private:
  void Write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), FFile) != text.size() || std::fflush(FFile) != 0) Fail();
  }
  [[noreturn]] void Fail() {
    throw rpt::EWriteError(Format("Cannot write file \"%s\". %s", FPartial, std::strerror(errno)));
  }
  std::string FName, FPartial;
  std::FILE* FFile = nullptr;
};

// ---------------------------------------------------------------------------

// Opens the source as a pass opens the report's dataset: a query's ":NAME" takes the
// value of the report's parameter or function of that name.
void OpenSource(rpt::TQuickRep& report, rpt::TDataSet& source) {
  auto* query = dynamic_cast<rpt::TQuery*>(&source);
  if (!query || query->ParamCount() == 0) {
    source.Open();
    return;
  }
  rpt::TQREvEnvironment functions;
  functions.AssignFrom(report.Functions());
  std::vector<std::pair<std::string, rpt::TQREvValue>> values;
  for (rpt::TQRParamValue& value : rpt::ResolveParamValues(*report.Parameters(), report.ParamTexts())) {
    const std::string name = rpt::EvUpperCase(value.Name);
    if (functions.FindFunction(name))
      throw rpt::EQRError(Format("Parameter %s has the name of a function of the report", value.Name));
    functions.DefineFunction(name, "0");
    values.emplace_back(name, std::move(value.Value));
  }
  for (int i = 0; i < query->ParamCount(); ++i) {
    const rpt::TParam& param = *query->Params().Items(i);
    if (!functions.FindFunction(rpt::EvUpperCase(param.Name())) && !param.Bound())
      throw rpt::EQRError(Format(
          "The query parameter :%s has no value: no function of the report of that name sets it", param.Name()));
  }
  functions.Compile();
  for (const auto& [name, value] : values)
    rpt::TQREvEnvironment::AssignValue(functions.FindConstantElement(name), value);
  try {
    rpt::FillQueryParams(*query, functions);
  } catch (...) {
    functions.Discard();
    throw;
  }
  functions.Discard();
}

struct TOutputKind {
  bool Recording = false;
  const rpt::TQRExportFilterEntry* Filter = nullptr;
};

// A report printer for one burst: pages laid out for the built-in PDF printer, into the
// page store.
void NewPrinter(rpt::TQuickRep& report) {
  auto printer = std::make_unique<rpt::TQRPrinter>(std::vector<rpt::TPrinterDevice>{rpt::TPrinter::PdfPrinter()});
  printer->OutputTarget = rpt::otPageStore;
  report.SetQRPrinter(std::move(printer));
}

// What one burst wrote: its pages (-1 for rows) and its files in page order.
struct TWritten {
  int32_t Pages = -1;
  std::vector<std::string> Files;
};

// One pass of the report over the current segment into the output file, through the
// path a single render takes (a temporary file renamed once whole).
TWritten WriteBurst(rpt::TQuickRep& report, const TOutputKind& kind, const std::string& path,
                    const std::string& title, int32_t dpi, const QDateTime& created) {
  TWritten written;
  NewPrinter(report);
  const std::unique_ptr<rpt::TQRExportFilter> filter = kind.Filter ? kind.Filter->FilterClass(path) : nullptr;
  if (filter && !filter->WritesPages()) {
    report.ExportToFilter(*filter);
    written.Files = {path};
    return written;
  }
  report.GeneratePages();
  rpt::TQRPrinter& pages = *report.QRPrinter();
  const int32_t total = pages.TotalPages();
  if (pages.Status() != rpt::qsFinished || total == 0) throw rpt::EQRError("the report printed no pages");
  written.Pages = total;
  if (!filter) {
    rpt::TPendingFile pending(path);
    pages.SaveRecording(pending.TempName());
    pending.Commit();
    written.Files = {path};
    return written;
  }
  pages.Title = title;
  if (auto* pdf = dynamic_cast<rpt::TQRPDFFilter*>(filter.get())) {
    pdf->Title = title;
    pdf->Created = created;
  }
  auto* images = dynamic_cast<rpt::TQRPNGFilter*>(filter.get());
  if (images && dpi) images->SetResolution(dpi);
  filter->WritePages(pages, 1, total);
  written.Files = images ? images->WrittenFiles() : std::vector<std::string>{path};
  return written;
}

// The report reads the dataset, as do its data fields that name none, as a document
// window binds the header's dataset (without opening it: each pass opens the view).
void BindReport(rpt::TQuickRep& report, rpt::TDataSet* dataSet) {
  report.SetDataSet(dataSet);
  for (rpt::TComponent* c : report.OwnedComponents())
    if (rpt::IsFieldPrintable(c) && !rpt::FieldPrintableDataSet(c)) rpt::SetFieldPrintableDataSet(c, dataSet);
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

}  // namespace

int RenderBursts(const TBurstOptions& options) {
  const fs::path output(options.Output);
  const std::string pattern = output.filename().string();
  if (pattern.find(kKeyMark) == std::string::npos || output.parent_path().string().find(kKeyMark) != std::string::npos)
    return RenderUsageError("with --burst the output's file name holds {KEY}, which each burst's key replaces: " +
                            options.Output);
  TOutputKind kind;
  std::string ext = output.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  kind.Recording = ext == ".qrp";
  kind.Filter = kind.Recording ? nullptr : rpt::ExportFilters().FindByExtension(ext);
  if (!kind.Recording && !kind.Filter)
    return RenderUsageError("the output must end in .qrp, .pdf, .png, .csv or .xlsx: " + options.Output);
  const fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  const std::string indexFile =
      !options.IndexFile.empty() ? options.IndexFile
      : options.Shards > 1 ? (folder / Format("index-%d-of-%d.csv", options.Shard, options.Shards)).string()
                           : (folder / "index.csv").string();

  const std::unique_ptr<QGuiApplication> app = GuiApplication();
  // Declared before the report, so that the report that reads them goes first.
  rpt::TOwnedPtr<rpt::TDataSet> source;
  rpt::TOwnedPtr<rpt::TSegmentDataSet> view;
  TLoadedReport loaded = LoadReportFile(options.File);
  rpt::TQuickRep& report = *loaded.Report;
  source.reset(rpt::MakeRenderDataSet(loaded, options.RowsFile.empty() ? nullptr
                                                                     : std::make_shared<const rpt::TRowSet>(
                                                                           rpt::ReadRowFile(options.RowsFile))));
  if (!source) throw rpt::EQRError(options.File + ": the report names no dataset to make bursts of");
  if (!options.Database.empty()) {
    // The report's own datasets take the database as a single render gives it them; the
    // source is opened below, with the values of its parameters.
    const std::string database = rpt::IsConnectionString(options.Database)
                                     ? rpt::Session().DefineConnection(options.Database)
                                     : options.Database;
    rpt::BindReportData(report, nullptr, database);
    source->SetDatabaseName(database);
  }
  rpt::CheckParamNames(report, options.Params);
  report.SetParamTexts(options.Params);
  OpenSource(report, *source);

  TKeyReader keys(*source, options.Expression);
  if (const std::string error = keys.CompileError(); !error.empty())
    return RenderUsageError("--burst: the expression \"" + options.Expression + "\" does not compile (" + error + ")");
  if (keys.HasAggregates()) return RenderUsageError("--burst: the expression may not use aggregate functions");

  // The report reads the segment view, which each pass opens and closes again.
  view.reset(rpt::TComponent::Create<rpt::TSegmentDataSet>(nullptr));
  view->SetName(source->Name());
  view->SetSource(source.get());
  BindReport(report, view.get());
  report.PrinterSettings()->PrinterNumber = -1;

  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw rpt::EFCreateError(Format("Cannot create the folder \"%s\". %s", folder.string(), error.message()));
  const std::map<std::string, TIndexEntry> earlier =
      options.SkipExisting ? ReadEarlierIndex(indexFile) : std::map<std::string, TIndexEntry>();
  TIndexWriter index(indexFile);

  const QDateTime created = PdfCreated();
  const std::string defaultTitle = report.ReportTitle().empty() ? options.File : report.ReportTitle();
  TNamer namer;
  std::set<std::string> told;
  int64_t written = 0, failed = 0, skipped = 0, elsewhere = 0, returning = 0;
  TKey key;
  view->InSegment = [&] { return keys.Read() == key; };
  std::string dataError;
  while (view->BeginSegment()) {
    key = keys.Read();
    std::string name, file, failure;
    if (key.Error) {
      failure = "the burst expression fails: " + key.Text;
    } else {
      bool seenBefore = false;
      name = ReplaceAll(pattern, kKeyMark, namer.Assign(key, seenBefore));
      file = (folder / name).string();
      // Said for the first few only: data not ordered at all would say it for every key.
      if (seenBefore && ++returning <= kReturningTold)
        std::fprintf(stderr, "rpttool: warning: the key %s comes again after other keys (the data are not ordered by "
                     "it): that burst goes to %s\n", key.Null ? "NULL" : ("'" + key.Text + "'").c_str(), name.c_str());
    }
    const std::string hashed = key.Null || key.Error ? std::string() : key.Text;
    if (static_cast<int64_t>(Fnv1a64(hashed) % static_cast<uint64_t>(options.Shards)) != options.Shard) {
      ++elsewhere;
      try {
        view->SkipSegment();
      } catch (const std::exception& e) {
        dataError = e.what();
        break;
      }
      continue;
    }
    std::string pages, bytes, sha256;
    bool done = false;
    if (failure.empty() && options.SkipExisting) {
      if (const auto it = earlier.find(name); it != earlier.end()) {
        std::vector<std::string> files{file};
        if (kind.Filter && ext == ".png" && it->second.Pages != "1") {
          const int32_t count = static_cast<int32_t>(std::strtol(it->second.Pages.c_str(), nullptr, 10));
          files.clear();
          for (int32_t n = 1; n <= count; ++n) files.push_back(rpt::TQRPNGFilter::PageFileName(file, n, 1, count));
        }
        int64_t size = 0;
        std::string digest;
        if (HashFiles(files, size, digest) && std::to_string(size) == it->second.Bytes && digest == it->second.Sha256) {
          pages = it->second.Pages;
          bytes = it->second.Bytes;
          sha256 = digest;
          done = true;
          ++skipped;
        }
      }
    }
    if (failure.empty() && !done) {
      try {
        const std::string title =
            options.Title.empty() ? defaultTitle : ReplaceAll(options.Title, kKeyMark, key.Null ? "" : key.Text);
        const TWritten result = WriteBurst(report, kind, file, title, options.Dpi, created);
        for (const std::string& message : report.GenerationMessages())
          if (told.insert(message).second) std::fprintf(stderr, "rpttool: warning: %s\n", message.c_str());
        int64_t size = 0;
        if (!HashFiles(result.Files, size, sha256)) throw rpt::EQRError("the output cannot be read back");
        pages = result.Pages < 0 ? std::string() : std::to_string(result.Pages);
        bytes = std::to_string(size);
        ++written;
      } catch (const std::exception& e) {
        failure = e.what();
      }
    }
    // What the pass left unread (it failed, or was never run).
    try {
      view->SkipSegment();
    } catch (const std::exception& e) {
      dataError = e.what();
    }
    if (!source->Active() && dataError.empty()) dataError = failure.empty() ? "the data ended early" : failure;
    if (!failure.empty()) {
      ++failed;
      std::fprintf(stderr, "rpttool: %s: %s\n", name.empty() ? "a burst" : name.c_str(), failure.c_str());
    }
    index.Add(key, name, pages, view->SegmentRecords(), bytes, sha256, failure);
    if (options.Progress)
      std::fprintf(stderr, "%s: %s\n", name.empty() ? "(no name)" : name.c_str(),
                   !failure.empty() ? "failed" : done ? "kept" : pages.empty() ? "written" : (pages + " pages").c_str());
    if (!dataError.empty()) break;
  }
  if (returning > kReturningTold)
    std::fprintf(stderr, "rpttool: warning: %lld more keys came again after other keys\n",
                 static_cast<long long>(returning - kReturningTold));
  // Every burst this run made stays listed; the data that could not be read fail the run.
  index.Commit();
  if (!dataError.empty()) throw rpt::EQRError("The data could not be read to the end: " + dataError);
  Print(Format("%d bursts written, %d kept from before, %d failed, %d left to other shards; index %s\n", written,
               skipped, failed, elsewhere, indexFile));
  return failed > 0 ? kExitPartial : 0;
}

}  // namespace rpttool
