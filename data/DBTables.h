#pragma once
// The session of the database engine (aliases, their tables, logins) and the two
// datasets reports use: a table by name and an SQL query.
//
// Aliases: "Sample" (the sample database the build generates), every SQLite file of
// the data folder (by file name without extension), and the entries of the alias file
// (PostgreSQL servers, or SQLite files elsewhere). See the README, "Databases".
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/DB.h"

namespace rpt {

namespace engine {
struct TAlias;
}  // namespace engine

// Asks for the user name and password of a server alias (the "Database Login" dialog);
// false when the user cancels. May be called on the thread that opens a dataset.
using TLoginHook = std::function<bool(const std::string& aliasName, std::string& userName, std::string& password)>;

class TSession {
 public:
  bool Active() const;
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // Read afresh on every call, so new files and alias file edits show at once. A
  // malformed alias file raises EDatabaseError naming the file and line.
  std::vector<std::string> AliasNames();
  void GetAliasNames(TStrings* list);
  bool IsAlias(const std::string& name);
  // Tables and views of an alias, without the engine's own tables.
  std::vector<std::string> TableNames(const std::string& aliasName);
  void GetTableNames(const std::string& aliasName, TStrings* list);
  // What an alias is: "SQLite FILE" or "PostgreSQL user@host:port/database".
  std::string AliasDescription(const std::string& aliasName);
  // Every alias name with its description, from one reading of the lists.
  std::vector<std::pair<std::string, std::string>> AliasDescriptions();

  // Where the engine looks (environment variables RPT_DATA_DIR, RPT_ALIAS_FILE,
  // RPT_SAMPLE_DB move them).
  static std::string DataDirectory();
  static std::string AliasFile();
  static std::string SampleDatabase();

  // The password comes from the alias file, else the environment variable
  // RPT_DB_PASSWORD_<ALIAS>; when the server still refuses, the login hook is asked
  // (up to three times). A login given through the hook is remembered for the run.
  void SetLoginHook(TLoginHook hook);
  void ForgetLogins();

  // A new connection to an alias; raises EDatabaseError (ELoginError for a refused or
  // cancelled login).
  std::unique_ptr<engine::TConnection> Connect(const std::string& aliasName);

  // A database a program names by a connection string instead of an alias:
  //   sqlite:PATH                                          a SQLite file (read-only)
  //   postgresql://[USER[:PASSWORD]@]HOST[:PORT]/DATABASE  a server (also postgres://)
  // %XX escapes are decoded in the user, password and database. Returns the name to
  // give datasets as DatabaseName: the string without its password, known for the rest
  // of the run (a later definition of the same name replaces it). Only the program
  // defines these: a name in a report file never opens a database by itself. A
  // malformed string raises EDatabaseError.
  std::string DefineConnection(const std::string& connectionString);

 private:
  mutable std::mutex FLock;
  bool FActive = false;
  TLoginHook FLoginHook;
  std::map<std::string, std::pair<std::string, std::string>> FLogins;  // lower-case alias
  std::map<std::string, std::shared_ptr<const engine::TAlias>> FConnections;  // by name as given
  std::shared_ptr<const engine::TAlias> DefinedConnection(const std::string& name) const;
  engine::TAlias AliasOrFail(const std::string& name) const;
};

// The default session.
TSession& Session();

class TTable : public TDataSet {
  RPT_CLASS(TTable, TDataSet)

  TTable() = default;

  // Case-insensitive; a file extension ("orders.db") also finds the table. Records come
  // in primary key order when the table has one.
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& name);

 protected:
  std::string SelectSql(engine::TConnection& connection) override;
  std::string CountSql(engine::TConnection& connection) override;

 private:
  std::string FTableName;
  std::string FQuotedTable;
};

class TQuery : public TDataSet {
  RPT_CLASS(TQuery, TDataSet)

  TQuery();
  ~TQuery() override;

  // The statement, one line per entry, run joined by line breaks. Changing it closes
  // the query and rebuilds Params, keeping the values of parameters whose names stay.
  TStrings* SQL() const { return FSQL; }
  void SetSQL(TStrings* value);

  TParams& Params() { return FParams; }
  const TParams& Params() const { return FParams; }
  int ParamCount() const { return FParams.Count(); }
  TParam* ParamByName(std::string_view name) const { return FParams.ParamByName(name); }

 protected:
  std::string SelectSql(engine::TConnection& connection) override;
  const TParams* StatementParams() const override { return &FParams; }

 private:
  void QueryChanged();

  TStrings* FSQL;
  TParams FParams;
};

// Makes TTable, TQuery and TDataSource known to the component stream.
void RegisterDataClasses();

}  // namespace rpt
