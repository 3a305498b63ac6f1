#include "data/DBTables.h"

#include <cstdlib>

#include "data/Engine.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt {

namespace {

engine::TAlias AliasOrFail(const std::string& name) {
  if (name.empty()) throw EDatabaseError("Database name missing");
  if (auto alias = engine::FindAlias(name)) return *alias;
  throw EDatabaseError(Format("Alias '%s' does not exist", engine::PrintableText(name)));
}

}  // namespace

TSession& Session() {
  static TSession session;
  return session;
}

bool TSession::Active() const {
  std::lock_guard lock(FLock);
  return FActive;
}

void TSession::SetActive(bool value) {
  std::lock_guard lock(FLock);
  FActive = value;
}

std::vector<std::string> TSession::AliasNames() {
  Open();
  std::vector<std::string> names;
  for (const engine::TAlias& a : engine::ReadAliases()) names.push_back(a.Name);
  return names;
}

void TSession::GetAliasNames(TStrings* list) {
  const std::vector<std::string> names = AliasNames();
  list->BeginUpdate();
  list->Clear();
  for (const std::string& n : names) list->Add(n);
  list->EndUpdate();
}

bool TSession::IsAlias(const std::string& name) {
  try {
    return engine::FindAlias(name).has_value();
  } catch (const EDatabaseError&) {
    return false;  // the name is in a broken alias file or nowhere
  }
}

std::vector<std::string> TSession::TableNames(const std::string& aliasName) {
  Open();
  return Connect(aliasName)->Tables();
}

void TSession::GetTableNames(const std::string& aliasName, TStrings* list) {
  const std::vector<std::string> names = TableNames(aliasName);
  list->BeginUpdate();
  list->Clear();
  for (const std::string& n : names) list->Add(n);
  list->EndUpdate();
}

namespace {
std::string Describe(const engine::TAlias& a) {
  if (a.Driver == engine::TDriver::SQLite) return "SQLite " + a.Path;
  std::string where = a.User.empty() ? std::string() : a.User + "@";
  where += a.Host.empty() ? std::string("localhost") : a.Host;
  if (a.Port) where += ":" + std::to_string(a.Port);
  return "PostgreSQL " + where + "/" + a.Database;
}
}  // namespace

std::string TSession::AliasDescription(const std::string& aliasName) { return Describe(AliasOrFail(aliasName)); }

std::vector<std::pair<std::string, std::string>> TSession::AliasDescriptions() {
  Open();
  std::vector<std::pair<std::string, std::string>> result;
  for (const engine::TAlias& a : engine::ReadAliases()) result.emplace_back(a.Name, Describe(a));
  return result;
}

std::string TSession::DataDirectory() { return engine::DataDirectory(); }
std::string TSession::AliasFile() { return engine::AliasFilePath(); }
std::string TSession::SampleDatabase() { return engine::SampleDatabasePath(); }

void TSession::SetLoginHook(TLoginHook hook) {
  std::lock_guard lock(FLock);
  FLoginHook = std::move(hook);
}

void TSession::ForgetLogins() {
  std::lock_guard lock(FLock);
  FLogins.clear();
}

std::unique_ptr<engine::TConnection> TSession::Connect(const std::string& aliasName) {
  Open();
  const engine::TAlias alias = AliasOrFail(aliasName);
  if (alias.Driver == engine::TDriver::SQLite) return engine::TConnection::Open(alias, {}, std::nullopt);

  std::string user = alias.User;
  std::optional<std::string> password = alias.Password;
  const std::string key = LowerAscii(alias.Name);
  {
    std::lock_guard lock(FLock);
    if (auto it = FLogins.find(key); it != FLogins.end()) {
      user = it->second.first;
      password = it->second.second;
    }
  }
  if (!password) {
    if (const char* fromEnv = std::getenv(engine::PasswordVariable(alias.Name).c_str())) password = fromEnv;
  }
  for (int asked = 0;; ++asked) {
    try {
      auto connection = engine::TConnection::Open(alias, user, password);
      if (asked > 0) {
        std::lock_guard lock(FLock);
        FLogins[key] = {user, password.value_or(std::string())};
      }
      return connection;
    } catch (const ELoginError&) {
      TLoginHook hook;
      {
        std::lock_guard lock(FLock);
        hook = FLoginHook;
      }
      if (!hook || asked >= 3) throw;
      std::string newUser = user, newPassword = password.value_or(std::string());
      if (!hook(alias.Name, newUser, newPassword)) throw ELoginError(Format("Login to %s cancelled", alias.Name));
      user = newUser;
      password = newPassword;
    }
  }
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TTable, TDataSet)
  c.Property("TableName", &TTable::TableName, &TTable::SetTableName);
RPT_END_CLASS

void TTable::SetTableName(const std::string& name) {
  if (name == FTableName) return;
  CheckInactive();
  FTableName = name;
}

std::string TTable::SelectSql(engine::TConnection& connection) {
  if (FTableName.empty()) throw EDatabaseError("Table name missing");
  std::vector<std::string> key;
  FQuotedTable = connection.QuotedTable(FTableName, &key);
  std::string sql = "SELECT * FROM " + FQuotedTable;
  for (size_t i = 0; i < key.size(); ++i) sql += (i ? ", " : " ORDER BY ") + key[i];
  return sql;
}

std::string TTable::CountSql(engine::TConnection&) { return "SELECT COUNT(*) FROM " + FQuotedTable; }

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TQuery, TDataSet)
  c.Property("SQL", &TQuery::SQL, &TQuery::SetSQL);
RPT_END_CLASS

TQuery::TQuery() : FSQL(new TStringList) {
  FSQL->OnChange = [this](TObject*) { QueryChanged(); };
}

TQuery::~TQuery() {
  FSQL->OnChange = nullptr;
  FSQL->Free();
}

void TQuery::SetSQL(TStrings* value) {
  if (value != FSQL) FSQL->AssignFrom(value);
}

void TQuery::QueryChanged() {
  if (Active()) Close();
  TParams old;
  old.Assign(FParams);
  FParams.Clear();
  for (const std::string& name : ParseSqlParams(FSQL->Text())) {
    TParam* p = FParams.Add(name);
    if (const TParam* before = old.FindParam(name)) p->AssignValue(*before);
  }
}

std::string TQuery::SelectSql(engine::TConnection&) {
  const std::string text = FSQL->Text();
  if (engine::TrimStatement(text).empty()) throw EDatabaseError("No SQL statement available");
  return text;
}

void RegisterDataClasses() {
  RegisterStreamClasses({&TTable::StaticClass(), &TQuery::StaticClass(), &TDataSource::StaticClass()});
}

}  // namespace rpt
