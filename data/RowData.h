#pragma once
// Rows handed over by a program or read from a JSON or CSV file, walked as a dataset
// like a table: no database is involved.
//
// Column types come from a given schema, else from the values: a column whose values
// are all whole numbers is an integer column, all numbers a float column, all true or
// false a Boolean one; anything else is a string column holding every value as text.
// A value that is absent from a record, or null, is a null field.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/DB.h"

namespace rpt {

// The columns and the values, row by row, each row as long as the columns.
struct TRowSet {
  std::vector<TFieldDef> Columns;
  std::vector<std::vector<TValue>> Rows;
};

// One record as handed over: field names with their values (null, integer, float,
// Boolean or text). Names are matched case-insensitively; a later duplicate wins.
using TRecord = std::vector<std::pair<std::string, TValue>>;

// The rows of records. Without a schema the columns are the names in the order first
// seen; with one, they are the schema's and every value is converted to its column's
// type (names the schema lacks are ignored; date, time and binary columns hold text).
// A value that does not convert raises EDatabaseError naming the record (1-based) and
// the field.
TRowSet MakeRowSet(const std::vector<TRecord>& records, const std::vector<TFieldDef>* schema = nullptr);

// A JSON array of objects; the columns come in the alphabetical order of the keys (an
// object's keys have no order). Nested arrays and objects become their JSON text. Malformed
// text raises EDatabaseError "NAME, line L, column C: ...".
TRowSet ParseJsonRows(std::string_view text, const std::string& name);
// CSV with a header line (RFC 4180: commas, double quotes doubled inside quoted fields,
// line breaks inside them, CRLF or LF). An empty cell is null; a zero-padded number
// ("007") is text. Malformed text, or a line
// with another number of fields than the header, raises EDatabaseError naming the line
// and column.
TRowSet ParseCsvRows(std::string_view text, const std::string& name);
// A .json or .csv file by its extension; EDatabaseError when it cannot be read.
TRowSet ReadRowFile(const std::string& fileName);

class TRowsDataSet : public TDataSet {
  RPT_CLASS(TRowsDataSet, TDataSet)

  TRowsDataSet() = default;

  // The rows are shared, not copied: several datasets (one per thread) may walk the same.
  // Cannot change while the dataset is open.
  const std::shared_ptr<const TRowSet>& Rows() const { return FRows; }
  void SetRows(std::shared_ptr<const TRowSet> rows);

 protected:
  std::string SelectSql(engine::TConnection&) override { return {}; }
  std::string CountSql(engine::TConnection&) override { return {}; }
  std::unique_ptr<engine::TConnection> NewConnection() override;

 private:
  std::shared_ptr<const TRowSet> FRows;
};

}  // namespace rpt
