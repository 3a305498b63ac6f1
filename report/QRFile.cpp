#include "report/QRFile.h"

#include <filesystem>
#include <sstream>

#include "data/DBTables.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "objects/StreamText.h"

namespace rpt {

namespace {

// " (object NAME)" for the first object in the text form whose class is not registered:
// the loader stops there, and its message names only the class.
std::string UnknownClassObject(const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, 7, "object ") != 0) continue;
    const size_t classStart = start + 7;
    const size_t classEnd = line.find(' ', classStart);
    // A quoted class name is no plain identifier, so no registered class either.
    if (classEnd == std::string::npos || line[classStart] == '"') continue;
    const TClassDescriptor* cls = FindStreamClass(std::string_view(line).substr(classStart, classEnd - classStart));
    if (cls && cls->IsComponentClass() && cls->CanCreate()) continue;
    const size_t nameEnd = line.find("  ", classEnd + 1);
    return " (object " + line.substr(classEnd + 1, nameEnd == std::string::npos ? nameEnd : nameEnd - classEnd - 1) +
           ")";
  }
  return "";
}

}  // namespace

std::string ReadReportFileBytes(const std::string& fileName) {
  std::error_code error;
  // Opening a folder succeeds on Linux; say what is wrong instead of reading it.
  if (std::filesystem::is_directory(fileName, error))
    throw EFOpenError(Format("Cannot open file \"%s\". Is a directory", fileName));
  return ReadWholeFile(fileName);
}

size_t LoadReportStream(std::string_view bytes, size_t streamStart, TComponent* report) {
  TMemoryStream stream(std::string(bytes.substr(streamStart)));
  try {
    LoadComponent(stream, report);
  } catch (const EClassNotFound& e) {
    std::string text;
    try {
      text = DumpStream(bytes);
    } catch (const Exception&) {
    }
    throw EClassNotFound(e.what() + UnknownClassObject(text));
  } catch (const Exception&) {
    // The loader's structural errors ("Stream read error") do not say where; the byte
    // reader of the text form does, so damaged bytes are reported by it.
    try {
      DumpStream(bytes);
    } catch (const Exception& structural) {
      throw EReadError(structural.what());
    }
    throw;
  }
  return streamStart + static_cast<size_t>(stream.Position());
}

std::string ReportFileBytes(const TReportFileHeader& header, TComponent* report) {
  std::string bytes;
  WriteReportFileHeader(bytes, header);
  TMemoryStream stream;
  SaveComponent(stream, report);
  bytes += stream.Data();
  return bytes;
}

TReportFileHeader DataSetHeader(const TDataSet* dataSet) {
  TReportFileHeader header;
  if (const auto* query = dynamic_cast<const TQuery*>(dataSet)) {
    header.Kind = rdkQuery;
    header.DatabaseName = query->DatabaseName();
    header.SqlLines = query->SQL()->Lines();
  } else if (const auto* table = dynamic_cast<const TTable*>(dataSet)) {
    header.Kind = rdkTable;
    header.DatabaseName = table->DatabaseName();
    header.TableName = table->TableName();
  }
  return header;
}

TDataSet* CreateHeaderDataSet(const TReportFileHeader& header, TComponent* owner) {
  if (header.Kind == rdkQuery) {
    auto* query = TComponent::Create<TQuery>(owner);
    query->SetDatabaseName(header.DatabaseName);
    TStringList sql;
    for (const std::string& line : header.SqlLines) sql.Add(line);
    query->SetSQL(&sql);
    return query;
  }
  if (header.Kind == rdkTable) {
    auto* table = TComponent::Create<TTable>(owner);
    table->SetDatabaseName(header.DatabaseName);
    table->SetTableName(header.TableName);
    return table;
  }
  return nullptr;
}

}  // namespace rpt
