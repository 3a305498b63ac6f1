#pragma once
// The database engine behind the datasets (internal to data/): aliases and where they
// come from, connections, and cursors that read a statement's rows forward.
//
// SQLite databases are opened through Qt's SQLite driver and read through the driver's
// native handle with the SQLite C interface: going through QSqlQuery costs about four
// times as much per row. PostgreSQL is read through QSqlQuery from a server-side cursor
// in a read-only transaction, a batch of rows at a time.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "data/DB.h"

namespace rpt::engine {

enum class TDriver : uint8_t { SQLite, PostgreSQL };

struct TAlias {
  enum TKind : uint8_t { Sample, File, Server };
  TKind Kind = File;
  std::string Name;
  TDriver Driver = TDriver::SQLite;
  std::string Path;  // SQLite: the database file
  std::string Host;
  int Port = 0;
  std::string Database;
  std::string User;
  std::optional<std::string> Password;
  std::string Origin;  // where the alias was defined, for messages
};

// The name of the built-in alias of the sample database.
inline constexpr const char* kSampleAlias = "Sample";

// Locations: the environment variable when set, else the default.
std::string DataDirectory();    // RPT_DATA_DIR
std::string AliasFilePath();    // RPT_ALIAS_FILE
std::string SampleDatabasePath();  // RPT_SAMPLE_DB

// The sample alias, the SQLite files of the data folder and the alias file's entries,
// sorted by name (case-insensitive). A malformed alias file raises EDatabaseError.
std::vector<TAlias> ReadAliases();
std::optional<TAlias> FindAlias(std::string_view name);
// The entries of an alias file's text; relative SQLite paths are taken from baseDir.
std::vector<TAlias> ParseAliasFile(std::string_view text, const std::string& fileName, const std::string& baseDir);
// A text for a message: control bytes (a NUL would end the message) as \xNN.
std::string PrintableText(std::string_view text);
// The environment variable that may hold the password of a server alias in headless
// use: RPT_DB_PASSWORD_ and the alias name in upper case, other characters as "_".
std::string PasswordVariable(std::string_view aliasName);

// A parameter reference in an SQL text: the byte range of ":name".
struct TSqlParamRef {
  size_t Pos = 0;
  size_t Length = 0;
  std::string Name;
};
std::vector<TSqlParamRef> ScanSqlParams(std::string_view sql);
// Trailing blanks and semicolons removed, so the text can be nested in another statement.
std::string TrimStatement(std::string_view sql);
// A name quoted as an SQL identifier (both engines double an inner quote).
std::string QuoteIdent(std::string_view name);

using TRow = std::vector<TValue>;

// One statement's rows, read forward.
class TCursor {
 public:
  virtual ~TCursor() = default;
  const std::vector<TFieldDef>& Columns() const { return FColumns; }
  // The next row into row (sized to the columns); false after the last one.
  virtual bool Fetch(TRow& row) = 0;
  // Skips up to count rows; returns how many there were.
  virtual int64_t Skip(int64_t count) = 0;

 protected:
  std::vector<TFieldDef> FColumns;
};

// A connection belongs to the thread that made it (the toolkit's connections may not be
// used from another): a dataset opened on another thread connects anew there.
class TConnection {
 public:
  virtual ~TConnection() = default;
  const TAlias& Alias() const { return FAlias; }
  std::thread::id Thread() const { return FThread; }

  // Tables and views, sorted, without the engine's own tables.
  virtual std::vector<std::string> Tables() = 0;
  // The table named (case-insensitive; "orders.db" also finds orders) quoted for SQL,
  // with its primary key columns quoted; EDatabaseError when there is no such table.
  virtual std::string QuotedTable(const std::string& name, std::vector<std::string>* keyColumns) = 0;
  virtual std::unique_ptr<TCursor> OpenCursor(const std::string& sql, const TParams* params) = 0;
  // Runs a statement that returns one integer.
  virtual int64_t QueryInteger(const std::string& sql, const TParams* params) = 0;

  // Connects to an alias with the user name and password given.
  static std::unique_ptr<TConnection> Open(const TAlias& alias, const std::string& user,
                                           const std::optional<std::string>& password);

 protected:
  explicit TConnection(TAlias alias) : FAlias(std::move(alias)) {}
  TAlias FAlias;
  std::thread::id FThread = std::this_thread::get_id();
};

// The field type of a declared SQL column type (SQLite's free-form type names).
TFieldType FieldTypeOfDeclaration(std::string_view declaredType, int* size, int* precision, int* scale);

std::unique_ptr<TConnection> OpenSqlite(const TAlias& alias);
std::unique_ptr<TConnection> OpenPostgres(const TAlias& alias, const std::string& user,
                                          const std::optional<std::string>& password);

}  // namespace rpt::engine
