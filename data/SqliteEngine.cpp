// SQLite aliases: the connection comes from Qt's SQLite driver, opened read-only; rows
// are read through the driver's native handle with the SQLite C interface.
#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>
#include <filesystem>

#include "data/Engine.h"
#include "data/QtConnection.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt::engine {

namespace {

class TStatement {
 public:
  TStatement(sqlite3* db, const std::string& sql) : FDb(db) {
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &FStmt, &tail) != SQLITE_OK)
      throw EDatabaseError(sqlite3_errmsg(db));
    if (!FStmt) throw EDatabaseError("No SQL statement available");
    // Only comments and blanks may follow the statement.
    while (tail && *tail) {
      sqlite3_stmt* next = nullptr;
      const char* after = nullptr;
      const int rc = sqlite3_prepare_v2(db, tail, -1, &next, &after);
      if (next) {
        sqlite3_finalize(next);
        sqlite3_finalize(FStmt);
        throw EDatabaseError("Only one SQL statement can be run at a time");
      }
      if (rc != SQLITE_OK || after == tail) break;
      tail = after;
    }
  }
  ~TStatement() { sqlite3_finalize(FStmt); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  sqlite3_stmt* Get() const { return FStmt; }

  // Binds every ":name" of the statement from params (case-insensitive); names without
  // a parameter, and parameters never given a value, are null.
  void Bind(const TParams* params) {
    const int count = sqlite3_bind_parameter_count(FStmt);
    for (int i = 1; i <= count; ++i) {
      const char* name = sqlite3_bind_parameter_name(FStmt, i);
      const TParam* p = params && name && name[0] == ':' ? params->FindParam(name + 1) : nullptr;
      int rc = SQLITE_OK;
      if (!p || p->IsNull()) {
        rc = sqlite3_bind_null(FStmt, i);
      } else {
        const TValue& v = p->Value();
        switch (v.Kind) {
          case TValue::kInteger:
          case TValue::kBoolean: rc = sqlite3_bind_int64(FStmt, i, v.Int); break;
          case TValue::kFloat: rc = sqlite3_bind_double(FStmt, i, v.Float); break;
          case TValue::kText:
            rc = sqlite3_bind_text64(FStmt, i, v.Text.data(), v.Text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
          case TValue::kBlob: rc = sqlite3_bind_blob64(FStmt, i, v.Text.data(), v.Text.size(), SQLITE_TRANSIENT); break;
          // Dates as the ISO text the sample database and most SQLite files keep.
          case TValue::kDate: rc = BindText(i, DateToIso(v.Float)); break;
          case TValue::kTime: rc = BindText(i, TimeToIso(v.Float)); break;
          case TValue::kDateTime: rc = BindText(i, DateTimeToIso(v.Float)); break;
          case TValue::kNull: rc = sqlite3_bind_null(FStmt, i); break;
        }
      }
      if (rc != SQLITE_OK) throw EDatabaseError(sqlite3_errmsg(FDb));
    }
  }

 private:
  int BindText(int index, const std::string& text) {
    return sqlite3_bind_text64(FStmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }

  sqlite3* FDb;
  sqlite3_stmt* FStmt = nullptr;
};

class TSqliteCursor : public TCursor {
 public:
  TSqliteCursor(sqlite3* db, const std::string& sql, const TParams* params) : FDb(db), FStmt(db, sql) {
    sqlite3_stmt* s = FStmt.Get();
    const int count = sqlite3_column_count(s);
    if (count == 0) throw EDatabaseError("The SQL statement returns no rows");
    FStmt.Bind(params);
    FColumns.resize(static_cast<size_t>(count));
    bool undeclared = false;
    for (int i = 0; i < count; ++i) {
      TFieldDef& def = FColumns[static_cast<size_t>(i)];
      const char* name = sqlite3_column_name(s, i);
      def.Name = name ? name : "";
      const char* decl = sqlite3_column_decltype(s, i);
      def.DataType = FieldTypeOfDeclaration(decl ? decl : "", &def.Size, &def.Precision, &def.Scale);
      undeclared |= def.DataType == ftUnknown;
      const char* table = sqlite3_column_table_name(s, i);
      const char* origin = sqlite3_column_origin_name(s, i);
      if (table && origin) {
        int notNull = 0, primaryKey = 0, autoInc = 0;
        if (sqlite3_table_column_metadata(db, sqlite3_column_database_name(s, i), table, origin, nullptr, nullptr,
                                          &notNull, &primaryKey, &autoInc) == SQLITE_OK) {
          def.Required = notNull != 0 || primaryKey != 0;
          if (autoInc && def.DataType == ftInteger) def.DataType = ftAutoInc;
        }
      }
    }
    // Columns without a declared type (expressions) take the type of their first value.
    if (undeclared) {
      FHasPending = Step(FPending);
      for (size_t i = 0; i < FColumns.size(); ++i) {
        if (FColumns[i].DataType != ftUnknown) continue;
        switch (FHasPending ? FPending[i].Kind : TValue::kNull) {
          case TValue::kInteger: FColumns[i].DataType = ftLargeint; break;
          case TValue::kFloat: FColumns[i].DataType = ftFloat; break;
          case TValue::kBlob: FColumns[i].DataType = ftBlob; break;
          default: FColumns[i].DataType = ftString; break;
        }
      }
    }
  }

  bool Fetch(TRow& row) override {
    if (FHasPending) {
      FHasPending = false;
      row.swap(FPending);
      return true;
    }
    return Step(row);
  }

  int64_t Skip(int64_t count) override {
    int64_t done = 0;
    if (FHasPending && count > 0) {
      FHasPending = false;
      ++done;
    }
    while (done < count) {
      const int rc = sqlite3_step(FStmt.Get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw EDatabaseError(sqlite3_errmsg(FDb));
      ++done;
    }
    return done;
  }

 private:
  bool Step(TRow& row) {
    sqlite3_stmt* s = FStmt.Get();
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) throw EDatabaseError(sqlite3_errmsg(FDb));
    const int count = static_cast<int>(FColumns.size());
    row.resize(FColumns.size());
    // One lock for the whole row: the values of sqlite3_column_value are read while the
    // connection's mutex is held, which is what makes them safe to read, and it spares
    // a lock and unlock per column and call.
    sqlite3_mutex* mutex = sqlite3_db_mutex(FDb);
    sqlite3_mutex_enter(mutex);
    for (int i = 0; i < count; ++i) {
      TValue& v = row[static_cast<size_t>(i)];
      sqlite3_value* value = sqlite3_column_value(s, i);
      switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
          v.Kind = TValue::kInteger;
          v.Int = sqlite3_value_int64(value);
          break;
        case SQLITE_FLOAT:
          v.Kind = TValue::kFloat;
          v.Float = sqlite3_value_double(value);
          break;
        case SQLITE_TEXT: {
          v.Kind = TValue::kText;
          const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
          v.Text.assign(text ? text : "", static_cast<size_t>(sqlite3_value_bytes(value)));
          break;
        }
        case SQLITE_BLOB: {
          v.Kind = TValue::kBlob;
          const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
          v.Text.assign(bytes ? bytes : "", static_cast<size_t>(sqlite3_value_bytes(value)));
          break;
        }
        default: v.Kind = TValue::kNull; break;
      }
    }
    sqlite3_mutex_leave(mutex);
    return true;
  }

  sqlite3* FDb;
  TStatement FStmt;
  TRow FPending;
  bool FHasPending = false;
};

class TSqliteConnection : public TConnection {
 public:
  explicit TSqliteConnection(const TAlias& alias) : TConnection(alias), FQt("QSQLITE") {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(alias.Path, ec);
    if (!fs::is_regular_file(status)) {
      const std::string path = PrintableText(alias.Path);
      if (!fs::exists(status) && alias.Kind == TAlias::Sample)
        throw EDatabaseError(Format("The sample database %s does not exist: build the project, or set RPT_SAMPLE_DB "
                                    "to the file",
                                    path));
      const std::string what = alias.Kind == TAlias::Sample ? Format("The sample database %s", path)
                                                            : Format("The database file %s of alias %s", path,
                                                                     PrintableText(alias.Name));
      // Say what is there: a folder or a device is no missing file.
      if (fs::is_directory(status)) throw EDatabaseError(what + " is a folder, not a database file");
      if (fs::exists(status))
        throw EDatabaseError(what + " is not a regular file (a device, pipe or socket), not a database file");
      if (ec && ec != std::errc::no_such_file_or_directory)
        throw EDatabaseError(what + " cannot be reached: " + ec.message());
      throw EDatabaseError(what + " does not exist");
    }
    QSqlDatabase& db = FQt.Db();
    db.setDatabaseName(QString::fromStdString(alias.Path));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) throw EDatabaseError(db.lastError().text().toStdString());
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
      throw EDatabaseError("The SQLite driver of Qt gives no native handle");
    FDb = *static_cast<sqlite3* const*>(handle.constData());
    if (!FDb) throw EDatabaseError(Format("Cannot open the database file %s", alias.Path));
    // A file that is not a database fails on its first read; find out now.
    Tables();
  }

  std::vector<std::string> Tables() override {
    TStatement st(FDb,
                  "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' "
                  "ESCAPE '\\' ORDER BY name COLLATE NOCASE, name");
    std::vector<std::string> names;
    for (int rc; (rc = sqlite3_step(st.Get())) != SQLITE_DONE;) {
      if (rc != SQLITE_ROW) throw EDatabaseError(sqlite3_errmsg(FDb));
      names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st.Get(), 0)));
    }
    return names;
  }

  std::string QuotedTable(const std::string& name, std::vector<std::string>* keyColumns) override {
    const std::vector<std::string> tables = Tables();
    std::vector<std::string> candidates = {name};
    if (const size_t dot = name.find('.'); dot != std::string::npos) {
      candidates.push_back(name.substr(dot + 1));        // main.orders
      candidates.push_back(name.substr(0, name.rfind('.')));  // orders.db
    }
    for (const std::string& candidate : candidates) {
      for (const std::string& table : tables) {
        if (!SameText(table, candidate)) continue;
        if (keyColumns) {
          keyColumns->clear();
          TStatement st(FDb, "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk");
          sqlite3_bind_text(st.Get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
          while (sqlite3_step(st.Get()) == SQLITE_ROW)
            keyColumns->push_back(QuoteIdent(reinterpret_cast<const char*>(sqlite3_column_text(st.Get(), 0))));
        }
        return QuoteIdent(table);
      }
    }
    throw EDatabaseError(Format("Table '%s' does not exist in database %s", name, FAlias.Name));
  }

  std::unique_ptr<TCursor> OpenCursor(const std::string& sql, const TParams* params) override {
    return std::make_unique<TSqliteCursor>(FDb, sql, params);
  }

  int64_t QueryInteger(const std::string& sql, const TParams* params) override {
    TStatement st(FDb, sql);
    st.Bind(params);
    const int rc = sqlite3_step(st.Get());
    if (rc != SQLITE_ROW) throw EDatabaseError(rc == SQLITE_DONE ? "The count returned no row" : sqlite3_errmsg(FDb));
    return sqlite3_column_int64(st.Get(), 0);
  }

 private:
  TQtConnection FQt;
  sqlite3* FDb = nullptr;
};

}  // namespace

std::unique_ptr<TConnection> OpenSqlite(const TAlias& alias) {
  if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
    throw EDatabaseError("The SQLite driver of Qt is not installed (package libqt6sql6-sqlite)");
  return std::make_unique<TSqliteConnection>(alias);
}

}  // namespace rpt::engine
