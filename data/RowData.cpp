#include "data/RowData.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/Engine.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// Line and column (1-based, in characters) of a byte offset of a UTF-8 text.
std::pair<int, int> LineAndColumn(std::string_view text, size_t offset) {
  int line = 1, column = 1;
  for (size_t i = 0; i < std::min(offset, text.size()); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return {line, column};
}

[[noreturn]] void FailAt(const std::string& name, std::string_view text, size_t offset, const std::string& message) {
  const auto [line, column] = LineAndColumn(text, offset);
  throw EDatabaseError(Format("%s, line %d, column %d: %s", name, line, column, message));
}

std::string FloatText(double v) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

std::string ValueText(const TValue& v) {
  switch (v.Kind) {
    case TValue::kInteger:
      return std::to_string(v.Int);
    case TValue::kFloat:
      return FloatText(v.Float);
    case TValue::kBoolean:
      return v.Int ? "True" : "False";
    default:
      return v.Text;
  }
}

bool ParseInteger(std::string_view s, int64_t& out) {
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseFloat(std::string_view s, double& out) {
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

// The value converted to a column's type; false when it cannot be.
bool Convert(const TValue& in, TFieldType type, TValue& out) {
  out = TValue{};
  if (in.IsNull()) return true;
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      out.Kind = TValue::kInteger;
      if (in.Kind == TValue::kInteger) return out.Int = in.Int, true;
      if (in.Kind == TValue::kFloat && std::nearbyint(in.Float) == in.Float && std::fabs(in.Float) < 9.2e18)
        return out.Int = static_cast<int64_t>(in.Float), true;
      return in.Kind == TValue::kText && ParseInteger(in.Text, out.Int);
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      out.Kind = TValue::kFloat;
      if (in.Kind == TValue::kFloat) return out.Float = in.Float, true;
      if (in.Kind == TValue::kInteger) return out.Float = static_cast<double>(in.Int), true;
      return in.Kind == TValue::kText && ParseFloat(in.Text, out.Float);
    case ftBoolean:
      out.Kind = TValue::kBoolean;
      if (in.Kind == TValue::kBoolean) return out.Int = in.Int, true;
      if (in.Kind == TValue::kText && (SameText(in.Text, "true") || SameText(in.Text, "false")))
        return out.Int = SameText(in.Text, "true"), true;
      return false;
    default:
      out.Kind = TValue::kText;
      out.Text = ValueText(in);
      return true;
  }
}

const char* TypeWords(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      return "a whole number";
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      return "a number";
    case ftBoolean:
      return "true or false";
    default:
      return "a text";
  }
}

// A column's type from its values: the narrowest that holds all of them.
TFieldType InferType(const std::vector<std::vector<TValue>>& rows, size_t column) {
  bool ints = true, numbers = true, booleans = true, any = false;
  for (const auto& row : rows) {
    const TValue& v = row[column];
    if (v.IsNull()) continue;
    any = true;
    ints = ints && v.Kind == TValue::kInteger;
    numbers = numbers && (v.Kind == TValue::kInteger || v.Kind == TValue::kFloat);
    booleans = booleans && v.Kind == TValue::kBoolean;
  }
  if (!any) return ftString;
  return ints ? ftLargeint : numbers ? ftFloat : booleans ? ftBoolean : ftString;
}

TFieldDef Column(const std::string& name, TFieldType type) {
  TFieldDef def;
  def.Name = name;
  def.DataType = type;
  return def;
}

// CSV cells are texts; a column of numbers (or of true / false) gets their type.
TValue CsvCell(std::string text) {
  TValue v;
  if (text.empty()) return v;
  // A code such as "007" or "01234" is text: as a number it would lose its zeros.
  const size_t digits = text.find_first_not_of("+-");
  const bool zeroPadded = digits != std::string::npos && text[digits] == '0' && digits + 1 < text.size() &&
                          std::isdigit(static_cast<unsigned char>(text[digits + 1]));
  if (zeroPadded) {
    v.Kind = TValue::kText;
    v.Text = std::move(text);
  } else if (ParseInteger(text, v.Int)) {
    v.Kind = TValue::kInteger;
  } else if (ParseFloat(text, v.Float)) {
    v.Kind = TValue::kFloat;
  } else if (SameText(text, "true") || SameText(text, "false")) {
    v.Kind = TValue::kBoolean;
    v.Int = SameText(text, "true");
  } else {
    v.Kind = TValue::kText;
    v.Text = std::move(text);
  }
  return v;
}

class TRowsCursor : public engine::TCursor {
 public:
  explicit TRowsCursor(std::shared_ptr<const TRowSet> rows) : FRows(std::move(rows)) { FColumns = FRows->Columns; }
  bool Fetch(engine::TRow& row) override {
    if (FNext >= FRows->Rows.size()) return false;
    row = FRows->Rows[FNext++];
    return true;
  }
  int64_t Skip(int64_t count) override {
    const size_t n = std::min(static_cast<size_t>(std::max<int64_t>(count, 0)), FRows->Rows.size() - FNext);
    FNext += n;
    return static_cast<int64_t>(n);
  }

 private:
  std::shared_ptr<const TRowSet> FRows;
  size_t FNext = 0;
};

class TRowsConnection : public engine::TConnection {
 public:
  explicit TRowsConnection(std::shared_ptr<const TRowSet> rows) : TConnection(RowsAlias()), FRows(std::move(rows)) {}
  std::vector<std::string> Tables() override { return {}; }
  std::string QuotedTable(const std::string& name, std::vector<std::string>*) override {
    throw EDatabaseError("Table '" + name + "' not found: the data are rows, not a database");
  }
  std::unique_ptr<engine::TCursor> OpenCursor(const std::string&, const TParams*) override {
    return std::make_unique<TRowsCursor>(FRows);
  }
  int64_t QueryInteger(const std::string&, const TParams*) override { return static_cast<int64_t>(FRows->Rows.size()); }

 private:
  static engine::TAlias RowsAlias() {
    engine::TAlias alias;
    alias.Name = "(rows)";
    return alias;
  }
  std::shared_ptr<const TRowSet> FRows;
};

}  // namespace

TRowSet MakeRowSet(const std::vector<TRecord>& records, const std::vector<TFieldDef>* schema) {
  TRowSet set;
  if (schema) {
    set.Columns = *schema;
    // Dates and binary values are handed over as their text.
    for (TFieldDef& def : set.Columns)
      if (def.DataType == ftDate || def.DataType == ftTime || def.DataType == ftDateTime || def.DataType == ftBlob ||
          def.DataType == ftUnknown)
        def.DataType = ftString;
  }
  auto columnOf = [&set](const std::string& name) -> ptrdiff_t {
    for (size_t i = 0; i < set.Columns.size(); ++i)
      if (SameText(set.Columns[i].Name, name)) return static_cast<ptrdiff_t>(i);
    return -1;
  };
  if (!schema)
    for (const TRecord& record : records)
      for (const auto& [name, value] : record)
        if (columnOf(name) < 0) set.Columns.push_back(Column(name, ftUnknown));
  set.Rows.reserve(records.size());
  for (const TRecord& record : records) {
    std::vector<TValue>& row = set.Rows.emplace_back(set.Columns.size());
    for (const auto& [name, value] : record)
      if (const ptrdiff_t i = columnOf(name); i >= 0) row[static_cast<size_t>(i)] = value;
  }
  for (size_t c = 0; c < set.Columns.size(); ++c) {
    TFieldDef& def = set.Columns[c];
    if (!schema) def.DataType = InferType(set.Rows, c);
    for (size_t r = 0; r < set.Rows.size(); ++r) {
      TValue converted;
      if (!Convert(set.Rows[r][c], def.DataType, converted))
        throw EDatabaseError(Format("Record %d: the value of '%s' is not %s", static_cast<int64_t>(r + 1), def.Name,
                                    TypeWords(def.DataType)));
      set.Rows[r][c] = std::move(converted);
    }
  }
  return set;
}

TRowSet ParseJsonRows(std::string_view text, const std::string& name) {
  QJsonParseError error;
  const QJsonDocument doc =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
  if (error.error != QJsonParseError::NoError)
    FailAt(name, text, static_cast<size_t>(error.offset), error.errorString().toStdString());
  if (!doc.isArray())
    FailAt(name, text, text.find_first_not_of(" \t\r\n\xEF\xBB\xBF"), "an array of objects is expected");
  const QJsonArray array = doc.array();
  std::vector<TRecord> records;
  records.reserve(static_cast<size_t>(array.size()));
  for (qsizetype i = 0; i < array.size(); ++i) {
    if (!array[i].isObject())
      throw EDatabaseError(Format("%s: element %d of the array is not an object", name, static_cast<int64_t>(i + 1)));
    const QJsonObject object = array[i].toObject();
    TRecord& record = records.emplace_back();
    for (auto it = object.begin(); it != object.end(); ++it) {
      TValue v;
      const QJsonValue value = it.value();
      if (value.isBool()) {
        v.Kind = TValue::kBoolean;
        v.Int = value.toBool();
      } else if (value.isDouble()) {
        const double d = value.toDouble();
        if (std::nearbyint(d) == d && std::fabs(d) < 9.007199254740992e15) {
          v.Kind = TValue::kInteger;
          v.Int = static_cast<int64_t>(d);
        } else {
          v.Kind = TValue::kFloat;
          v.Float = d;
        }
      } else if (value.isString()) {
        v.Kind = TValue::kText;
        v.Text = value.toString().toStdString();
      } else if (value.isArray() || value.isObject()) {
        v.Kind = TValue::kText;
        const QJsonDocument inner = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
        v.Text = inner.toJson(QJsonDocument::Compact).toStdString();
      }
      record.emplace_back(it.key().toStdString(), std::move(v));
    }
  }
  return MakeRowSet(records);
}

TRowSet ParseCsvRows(std::string_view text, const std::string& name) {
  size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  std::vector<std::vector<std::string>> lines;
  std::vector<size_t> lineStarts;
  while (pos < text.size()) {
    const size_t lineStart = pos;
    std::vector<std::string> cells;
    std::string cell;
    for (;;) {
      if (pos < text.size() && text[pos] == '"') {
        const size_t quote = pos++;
        for (;;) {
          if (pos >= text.size()) FailAt(name, text, quote, "a quoted field is not closed");
          if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
              cell += '"';
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          cell += text[pos++];
        }
        if (pos < text.size() && text[pos] != ',' && text[pos] != '\n' &&
            !(text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') &&
            !(text[pos] == '\r' && pos + 1 == text.size()))
          FailAt(name, text, pos, "a comma or a line break is expected after a quoted field");
      } else {
        while (pos < text.size() && text[pos] != ',' && text[pos] != '\n' &&
               !(text[pos] == '\r' && (pos + 1 == text.size() || text[pos + 1] == '\n'))) {
          if (text[pos] == '"') FailAt(name, text, pos, "a quote inside a field that does not start with one");
          cell += text[pos++];
        }
      }
      cells.push_back(std::move(cell));
      cell.clear();
      if (pos < text.size() && text[pos] == ',') {
        ++pos;
        continue;
      }
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
      break;
    }
    lines.push_back(std::move(cells));
    lineStarts.push_back(lineStart);
  }
  if (lines.empty()) throw EDatabaseError(name + ": the file is empty; a header line is expected");
  const std::vector<std::string>& header = lines.front();
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i].empty())
      FailAt(name, text, lineStarts[0], Format("column %d of the header has no name", static_cast<int64_t>(i + 1)));
  std::vector<TRecord> records;
  records.reserve(lines.size() - 1);
  for (size_t l = 1; l < lines.size(); ++l) {
    if (lines[l].size() != header.size())
      FailAt(name, text, lineStarts[l],
             Format("%d fields where the header has %d", static_cast<int64_t>(lines[l].size()),
                    static_cast<int64_t>(header.size())));
    TRecord& record = records.emplace_back();
    for (size_t i = 0; i < header.size(); ++i) record.emplace_back(header[i], CsvCell(std::move(lines[l][i])));
  }
  TRowSet set = MakeRowSet(records);
  // The header names every column, also one without values.
  if (records.empty())
    for (const std::string& h : header) set.Columns.push_back(Column(h, ftString));
  return set;
}

TRowSet ReadRowFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EDatabaseError(Format("Cannot open %s: %s", fileName, std::strerror(errno)));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) throw EDatabaseError(Format("Cannot read %s", fileName));
  std::string ext = std::filesystem::path(fileName).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".json") return ParseJsonRows(buffer.str(), fileName);
  if (ext == ".csv") return ParseCsvRows(buffer.str(), fileName);
  throw EDatabaseError(fileName + ": rows are read from a .json or a .csv file");
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TRowsDataSet, TDataSet)
RPT_END_CLASS

void TRowsDataSet::SetRows(std::shared_ptr<const TRowSet> rows) {
  CheckInactive();
  FRows = std::move(rows);
}

std::unique_ptr<engine::TConnection> TRowsDataSet::NewConnection() {
  if (!FRows) throw EDatabaseError("The dataset has no rows");
  return std::make_unique<TRowsConnection>(FRows);
}

}  // namespace rpt
