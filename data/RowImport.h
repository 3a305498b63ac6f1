#pragma once
// Rows of a JSON or CSV file copied into a table of a local SQLite database, so a report
// binds to them as to any table: its file names the alias and the table, never the path
// of the rows' file (a report file reaches nothing outside its bytes and its database).
//
// Imports go to the alias "Imported": the SQLite file an alias of that name points at
// (an entry of the alias file), else Imported.db in the data folder, made by the first
// import. The program never writes into any other database.
#include <cstdint>
#include <string>

#include "data/RowData.h"

namespace rpt {

inline constexpr const char* kImportAlias = "Imported";

// What an import does when the table's name is taken (by a table, view or index; names
// compare without regard to case): raise EDatabaseError, replace the table (only a
// table), or take the first free name of NAME_2, NAME_3, ...
enum class TImportClash : uint8_t { Fail, Replace, NewName };

// A table name from a file name: its stem with every character other than letters,
// digits and "_" as "_" (runs of them as one), "rows" when nothing is left; a name
// SQLite reserves ("sqlite_...") gets "data_" in front. At most 60 characters.
std::string ImportTableName(const std::string& fileName);

// The SQLite file of the alias Imported; EDatabaseError when an alias of that name is
// not a SQLite database.
std::string ImportDatabasePath();

// Whether the database file has a table, view or index of that name (any case); false
// when the file does not exist.
bool ImportTableExists(const std::string& databaseFile, const std::string& table);

// Copies the rows into a new table of the SQLite file (made when missing) in one
// transaction: integer columns as BIGINT, float as REAL, Boolean as BOOLEAN, the rest as
// TEXT, nulls kept; the column names as given (a control character as "_", an empty
// name as column_N). Returns the table's name. A failure leaves the database as it was,
// and no file where there was none.
std::string ImportRows(const TRowSet& rows, const std::string& databaseFile, const std::string& table,
                       TImportClash clash);

}  // namespace rpt
