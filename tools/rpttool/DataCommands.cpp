// rpttool's database commands: the aliases of the engine, the tables of an alias, and
// the rows of a table or a query as CSV (a header line with the field names, then one
// line per record; nulls are empty, blobs are written as 0x and hex digits), and the
// import of a JSON or CSV file's rows into a table of the alias Imported.
#include <cstdio>
#include <span>
#include <string>

#include "data/DBTables.h"
#include "data/RowImport.h"
#include "objects/Exceptions.h"

namespace rpttool {

namespace {

class TOutput {
 public:
  ~TOutput() noexcept(false) { Flush(); }
  void Write(std::string_view text) {
    FBuffer += text;
    if (FBuffer.size() >= 1 << 16) Flush();
  }
  void Flush() {
    if (FBuffer.empty()) return;
    const bool ok = std::fwrite(FBuffer.data(), 1, FBuffer.size(), stdout) == FBuffer.size() && std::fflush(stdout) == 0;
    FBuffer.clear();
    if (!ok) throw rpt::Exception("Cannot write standard output");
  }

 private:
  std::string FBuffer;
};

void CsvField(std::string& line, const std::string& value) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quote) {
    line += value;
    return;
  }
  line += '"';
  for (char c : value) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string Hex(const std::string& bytes) {
  static const char* kDigits = "0123456789abcdef";
  std::string out = "0x";
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// Writes every record from the current one on; the dataset stays open.
void WriteCsv(rpt::TDataSet& dataSet) {
  TOutput out;
  std::string line;
  for (int i = 0; i < dataSet.FieldCount(); ++i) {
    if (i) line += ',';
    CsvField(line, dataSet.Fields(i)->FieldName());
  }
  out.Write(line + "\n");
  for (; !dataSet.Eof(); dataSet.Next()) {
    line.clear();
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
      const rpt::TField* f = dataSet.Fields(i);
      if (i) line += ',';
      if (f->IsNull()) continue;
      CsvField(line, f->Is<rpt::TBlobField>() && !f->Is<rpt::TMemoField>() ? Hex(f->AsString()) : f->AsString());
    }
    line += '\n';
    out.Write(line);
  }
}

void WriteLines(const std::vector<std::string>& lines) {
  TOutput out;
  for (const std::string& l : lines) out.Write(l + "\n");
}

}  // namespace

// One alias per line: its name, a tab, and what it is.
int DataAliases(std::span<const std::string>) {
  // One reading of the lists: describing each name in turn would read them once a name.
  std::vector<std::string> lines;
  for (const auto& [name, description] : rpt::Session().AliasDescriptions()) lines.push_back(name + "\t" + description);
  WriteLines(lines);
  return 0;
}

int DataTables(std::span<const std::string> args) {
  WriteLines(rpt::Session().TableNames(args[0]));
  return 0;
}

int DataTable(std::span<const std::string> args) {
  rpt::TOwnedPtr<rpt::TTable> table(rpt::TComponent::Create<rpt::TTable>(nullptr));
  table->SetDatabaseName(args[0]);
  table->SetTableName(args[1]);
  table->Open();
  WriteCsv(*table);
  return 0;
}

// query ALIAS SQL [NAME=VALUE ...]: the values are given to the parameters as text.
int DataQuery(std::span<const std::string> args) {
  rpt::TOwnedPtr<rpt::TQuery> query(rpt::TComponent::Create<rpt::TQuery>(nullptr));
  query->SetDatabaseName(args[0]);
  query->SQL()->SetText(args[1]);
  for (const std::string& assignment : args.subspan(2)) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
      throw rpt::Exception("parameters are given as NAME=VALUE, not '" + assignment + "'");
    query->ParamByName(assignment.substr(0, eq))->SetAsString(assignment.substr(eq + 1));
  }
  // Run as NULL, a parameter left out would only select nothing.
  for (int i = 0; i < query->ParamCount(); ++i)
    if (const rpt::TParam& param = *query->Params().Items(i); !param.Bound())
      throw rpt::Exception("the parameter :" + param.Name() + " has no value; give it as " + param.Name() + "=VALUE");
  query->Open();
  WriteCsv(*query);
  return 0;
}

// import FILE.json|FILE.csv [TABLE] [--replace]: a taken name moves on to TABLE_2 and
// so on unless --replace; prints the alias, the table's name and the rows.
int DataImport(std::span<const std::string> args) {
  std::string file, table;
  bool replace = false;
  for (const std::string& arg : args) {
    if (arg == "--replace")
      replace = true;
    else if (!arg.empty() && arg[0] == '-' && arg != "-")
      throw rpt::Exception("unknown option '" + arg + "'");
    else if (file.empty())
      file = arg;
    else if (table.empty())
      table = arg;
    else
      throw rpt::Exception("usage: rpttool import FILE.json|FILE.csv [TABLE] [--replace]");
  }
  if (file.empty()) throw rpt::Exception("usage: rpttool import FILE.json|FILE.csv [TABLE] [--replace]");
  // The file is read whole first: a malformed one changes nothing.
  const rpt::TRowSet rows = rpt::ReadRowFile(file);
  const std::string name =
      rpt::ImportRows(rows, rpt::ImportDatabasePath(), table.empty() ? rpt::ImportTableName(file) : table,
                      replace ? rpt::TImportClash::Replace : rpt::TImportClash::NewName);
  WriteLines({std::string(rpt::kImportAlias) + "\t" + name + "\t" + std::to_string(rows.Rows.size()) + " rows"});
  return 0;
}

}  // namespace rpttool
