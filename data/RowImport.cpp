#include "data/RowImport.h"

#include <sqlite3.h>

#include <QString>
#include <filesystem>
#include <optional>
#include <system_error>
#include <unordered_set>

#include "data/DateTime.h"
#include "data/Engine.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace fs = std::filesystem;

namespace rpt {

namespace {

constexpr int kMaxTableName = 60;

// A statement of the import's connection, finalized however the import ends.
class TWriteStatement {
 public:
  TWriteStatement(sqlite3* db, const std::string& sql) : FDb(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &FStmt, nullptr) != SQLITE_OK) Fail();
  }
  ~TWriteStatement() { sqlite3_finalize(FStmt); }
  TWriteStatement(const TWriteStatement&) = delete;
  TWriteStatement& operator=(const TWriteStatement&) = delete;

  sqlite3_stmt* Get() const { return FStmt; }
  // Steps once; true while there is a row.
  bool Step() {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  void Run() {
    Step();
    sqlite3_reset(FStmt);
  }
  void BindText(int index, const std::string& text) {
    Check(sqlite3_bind_text64(FStmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
  }
  void Bind(int index, const TValue& v) {
    switch (v.Kind) {
      case TValue::kNull: Check(sqlite3_bind_null(FStmt, index)); break;
      case TValue::kInteger:
      case TValue::kBoolean: Check(sqlite3_bind_int64(FStmt, index, v.Int)); break;
      case TValue::kFloat: Check(sqlite3_bind_double(FStmt, index, v.Float)); break;
      case TValue::kBlob:
        Check(sqlite3_bind_blob64(FStmt, index, v.Text.data(), v.Text.size(), SQLITE_TRANSIENT));
        break;
      case TValue::kDate: BindText(index, DateToIso(v.Float)); break;
      case TValue::kTime: BindText(index, TimeToIso(v.Float)); break;
      case TValue::kDateTime: BindText(index, DateTimeToIso(v.Float)); break;
      case TValue::kText: BindText(index, v.Text); break;
    }
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() {
    const char* file = sqlite3_db_filename(FDb, "main");
    throw EDatabaseError(Format("Database file %s: %s", engine::PrintableText(file ? file : ""), sqlite3_errmsg(FDb)));
  }

  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
};

class TWriteConnection {
 public:
  TWriteConnection(const std::string& file, bool readOnly) {
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(file.c_str(), &FDb, flags, nullptr);
    if (rc != SQLITE_OK) {
      const std::string message = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(rc);
      sqlite3_close(FDb);
      throw EDatabaseError(Format("Cannot open the database file %s: %s", engine::PrintableText(file), message));
    }
    sqlite3_busy_timeout(FDb, 5000);
  }
  ~TWriteConnection() { sqlite3_close(FDb); }
  TWriteConnection(const TWriteConnection&) = delete;
  TWriteConnection& operator=(const TWriteConnection&) = delete;

  sqlite3* Get() const { return FDb; }
  void Exec(const std::string& sql) { TWriteStatement(FDb, sql).Run(); }
  // The type of the object of that name ("table", "view", "index", "trigger"), "" for none.
  std::string ObjectType(const std::string& name) {
    TWriteStatement st(FDb, "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
    st.BindText(1, name);
    return st.Step() ? reinterpret_cast<const char*>(sqlite3_column_text(st.Get(), 0)) : "";
  }

 private:
  sqlite3* FDb = nullptr;
};

const char* ColumnType(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: return "BIGINT";
    case ftFloat:
    case ftCurrency:
    case ftBCD: return "REAL";
    case ftBoolean: return "BOOLEAN";
    default: return "TEXT";
  }
}

// Column names as given, except what SQL text or a field list would not carry; each
// unique without regard to case, as SQLite wants.
std::vector<std::string> ColumnNames(const std::vector<TFieldDef>& columns) {
  std::vector<std::string> names;
  std::unordered_set<std::string> taken;
  for (size_t i = 0; i < columns.size(); ++i) {
    std::string name = columns[i].Name;
    for (char& c : name)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    if (name.empty()) name = "column_" + std::to_string(i + 1);
    std::string unique = name;
    for (int n = 2; !taken.insert(LowerAscii(unique)).second; ++n) unique = name + "_" + std::to_string(n);
    names.push_back(std::move(unique));
  }
  return names;
}

}  // namespace

std::string ImportTableName(const std::string& fileName) {
  const QString stem = QString::fromStdString(fs::path(fileName).stem().string());
  QString name;
  for (const QChar c : stem) {
    if (c.isLetterOrNumber() || c == u'_')
      name += c;
    else if (!name.endsWith(u'_'))
      name += u'_';
  }
  while (name.startsWith(u'_')) name.remove(0, 1);
  while (name.endsWith(u'_')) name.chop(1);
  if (name.isEmpty()) name = QStringLiteral("rows");
  if (name.startsWith(QStringLiteral("sqlite_"), Qt::CaseInsensitive)) name.prepend(QStringLiteral("data_"));
  if (name.size() > kMaxTableName) {
    name.truncate(kMaxTableName);
    if (name.back().isHighSurrogate()) name.chop(1);
  }
  return name.toStdString();
}

std::string ImportDatabasePath() {
  if (const std::optional<engine::TAlias> alias = engine::FindAlias(kImportAlias)) {
    if (alias->Driver != engine::TDriver::SQLite)
      throw EDatabaseError(Format("Rows are imported into the alias %s, which must be a SQLite database; %s "
                                  "defines it otherwise",
                                  kImportAlias, alias->Origin));
    return alias->Path;
  }
  return (fs::path(engine::DataDirectory()) / (std::string(kImportAlias) + ".db")).string();
}

bool ImportTableExists(const std::string& databaseFile, const std::string& table) {
  std::error_code ec;
  if (!fs::exists(databaseFile, ec)) return false;
  TWriteConnection db(databaseFile, true);
  return !db.ObjectType(table).empty();
}

std::string ImportRows(const TRowSet& rows, const std::string& databaseFile, const std::string& table,
                       TImportClash clash) {
  if (table.empty()) throw EDatabaseError("The table to import into has no name");
  if (rows.Columns.empty()) throw EDatabaseError("The rows have no columns: there is nothing to make a table of");
  std::error_code ec;
  const bool existed = fs::exists(databaseFile, ec);
  if (!existed) fs::create_directories(fs::path(databaseFile).parent_path(), ec);
  try {
    TWriteConnection db(databaseFile, false);
    // Taken for writing at once: the name found free stays free until the commit.
    db.Exec("BEGIN IMMEDIATE");
    try {
      std::string name = table;
      if (const std::string type = db.ObjectType(name); !type.empty()) {
        if (clash == TImportClash::Fail)
          throw EDatabaseError(
              Format("A %s named '%s' already exists in %s", type, name, engine::PrintableText(databaseFile)));
        if (clash == TImportClash::Replace && type != "table")
          throw EDatabaseError(Format("'%s' is a %s, not a table: it is not replaced", name, type));
        if (clash == TImportClash::Replace) {
          db.Exec("DROP TABLE " + engine::QuoteIdent(name));
        } else {
          for (int n = 2; !db.ObjectType(name).empty(); ++n) name = table + "_" + std::to_string(n);
        }
      }
      const std::vector<std::string> columns = ColumnNames(rows.Columns);
      std::string create = "CREATE TABLE " + engine::QuoteIdent(name) + " (";
      std::string insert = "INSERT INTO " + engine::QuoteIdent(name) + " VALUES (";
      for (size_t i = 0; i < columns.size(); ++i) {
        create += (i ? ", " : "") + engine::QuoteIdent(columns[i]) + " " + ColumnType(rows.Columns[i].DataType);
        insert += i ? ", ?" : "?";
      }
      db.Exec(create + ")");
      TWriteStatement st(db.Get(), insert + ")");
      for (const std::vector<TValue>& row : rows.Rows) {
        for (size_t i = 0; i < columns.size(); ++i)
          st.Bind(static_cast<int>(i + 1), i < row.size() ? row[i] : TValue{});
        st.Run();
      }
      db.Exec("COMMIT");
      return name;
    } catch (...) {
      sqlite3_exec(db.Get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  } catch (...) {
    if (!existed) {
      fs::remove(databaseFile, ec);
      fs::remove(databaseFile + "-journal", ec);
    }
    throw;
  }
}

}  // namespace rpt
