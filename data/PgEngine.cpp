// PostgreSQL aliases through Qt's PostgreSQL driver. A dataset reads from a server-side
// cursor (DECLARE ... CURSOR in a read-only transaction), a batch of rows per FETCH:
// memory stays flat however many rows there are, other statements (a count) can run
// between batches, and closing early costs nothing. Parameters are sent apart from the
// SQL text ($1, $2 ... through libpq's extended protocol), never pasted into it.
#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QSqlDriver>
#include <QVariant>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include <libpq-fe.h>

#include "data/Engine.h"
#include "data/QtConnection.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt::engine {

namespace {

constexpr int kBatchRows = 500;

// The server's message without Qt's decoration: no "ERROR:" prefix, no "(SQLSTATE)" line.
std::string ErrorText(const QSqlError& error) {
  std::string text = error.databaseText().trimmed().toStdString();
  if (text.empty()) text = error.driverText().trimmed().toStdString();
  if (text.empty()) text = "The database server reported an unknown error";
  for (const char* prefix : {"ERROR:", "FATAL:"})
    if (text.rfind(prefix, 0) == 0) text = text.substr(std::string_view(prefix).size());
  const size_t last = text.rfind('\n');
  if (last != std::string::npos && text.size() - last == 8 && text[last + 1] == '(' && text.back() == ')')
    text.erase(last);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n')) text.erase(0, 1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  return text;
}

bool IsLoginFailure(const std::string& message) {
  const std::string m = LowerAscii(message);
  return m.find("password") != std::string::npos || m.find("authentication") != std::string::npos ||
         m.find("role \"") != std::string::npos || m.find("pg_hba.conf") != std::string::npos;
}

std::string QuoteLiteral(std::string_view text) {
  if (text.find('\0') != std::string_view::npos)
    throw EDatabaseError("A parameter value holds a NUL character, which the server cannot take");
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// A statement whose ":name"s became "$n", with the values to send beside it: a name used
// twice is one value. Types the server cannot infer from the text are given.
struct TBoundSql {
  std::string Text;
  std::vector<std::optional<std::string>> Values;
  std::vector<Oid> Types;
};

void BindValue(const TParam* p, std::optional<std::string>& value, Oid& type) {
  type = 0;  // let the server infer it from where it stands, as for a quoted literal
  const TValue& v = p->Value();
  switch (v.Kind) {
    case TValue::kInteger: value = std::to_string(v.Int); type = 20; return;
    case TValue::kBoolean: value = v.Int ? "true" : "false"; type = 16; return;
    case TValue::kFloat: {
      if (std::isnan(v.Float)) value = "NaN";
      else if (std::isinf(v.Float)) value = v.Float > 0 ? "Infinity" : "-Infinity";
      else {
        // The shortest text that reads back as the same double: 99.9, so a comparison
        // with a numeric column holds.
        char buf[64];
        const auto result = std::to_chars(buf, buf + sizeof buf, v.Float);
        value = std::string(buf, result.ptr);
      }
      type = 1700;
      return;
    }
    case TValue::kText:
      if (v.Text.find('\0') != std::string::npos)
        throw EDatabaseError("A parameter value holds a NUL character, which the server cannot take");
      value = v.Text;
      return;
    case TValue::kDate: value = DateToIso(v.Float); type = 1082; return;
    case TValue::kTime: value = TimeToIso(v.Float); type = 1083; return;
    case TValue::kDateTime: value = DateTimeToIso(v.Float); type = 1114; return;
    case TValue::kBlob: {
      static const char* kHex = "0123456789abcdef";
      std::string hex = "\\x";
      for (unsigned char c : v.Text) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
      }
      value = std::move(hex);
      type = 17;
      return;
    }
    case TValue::kNull: return;
  }
}

TBoundSql BindSql(const std::string& sql, const TParams* params) {
  TBoundSql bound;
  std::vector<std::string> names;
  size_t from = 0;
  for (const TSqlParamRef& ref : ScanSqlParams(sql)) {
    bound.Text.append(sql, from, ref.Pos - from);
    from = ref.Pos + ref.Length;
    const TParam* param = params ? params->FindParam(ref.Name) : nullptr;
    // NULL is a word of the language, not a value: it stands in the text and takes its
    // type from where it stands, as before.
    if (!param || param->IsNull()) {
      bound.Text += "NULL";
      continue;
    }
    size_t index = 0;
    while (index < names.size() && !SameText(names[index], ref.Name)) ++index;
    if (index == names.size()) {
      names.push_back(ref.Name);
      bound.Values.emplace_back();
      bound.Types.push_back(0);
      BindValue(param, bound.Values.back(), bound.Types.back());
    }
    bound.Text += "$" + std::to_string(index + 1);
  }
  bound.Text.append(sql, from, std::string::npos);
  return bound;
}

// Money comes as locale-formatted text ("$1,234.50", "-$3.00", "($3.00)").
double ParseMoney(const QString& text) {
  std::string digits;
  bool negative = false;
  for (QChar c : text) {
    if (c.isDigit() || c == u'.')
      digits += static_cast<char>(c.unicode());
    else if (c == u'-' || c == u'(')
      negative = true;
  }
  const double v = digits.empty() ? 0 : std::strtod(digits.c_str(), nullptr);
  return negative ? -v : v;
}

struct TColumnType {
  TFieldType Type = ftString;
  bool TimeZone = false;
  bool Money = false;
};

TColumnType TypeOfOid(int oid) {
  switch (oid) {
    case 16: return {ftBoolean};
    case 20: case 26: return {ftLargeint};
    case 21: return {ftSmallint};
    case 23: return {ftInteger};
    case 700: case 701: return {ftFloat};
    case 790: return {ftCurrency, false, true};
    case 1700: return {ftBCD};
    case 1082: return {ftDate};
    case 1083: case 1266: return {ftTime};
    case 1114: return {ftDateTime};
    case 1184: return {ftDateTime, true};
    case 17: return {ftBlob};
    default: return {ftString};
  }
}

class TPgConnection;

class TPgCursor : public TCursor {
 public:
  TPgCursor(TPgConnection& connection, const std::string& sql, const TParams* params);
  ~TPgCursor() override;
  bool Fetch(TRow& row) override;
  int64_t Skip(int64_t count) override;

 private:
  void FetchBatch();
  bool NextInBatch();

  TPgConnection& FConnection;
  QSqlQuery FBatch;
  std::vector<TColumnType> FTypes;
  int FBatchSeen = 0;
  bool FDone = false;
};

class TPgConnection : public TConnection {
 public:
  TPgConnection(const TAlias& alias, const std::string& user, const std::optional<std::string>& password)
      : TConnection(alias), FQt("QPSQL") {
    QSqlDatabase& db = FQt.Db();
    if (!alias.Host.empty()) db.setHostName(QString::fromStdString(alias.Host));
    if (alias.Port) db.setPort(alias.Port);
    db.setDatabaseName(QString::fromStdString(alias.Database));
    if (!user.empty()) db.setUserName(QString::fromStdString(user));
    if (password) db.setPassword(QString::fromStdString(*password));
    db.setConnectOptions(QStringLiteral("connect_timeout=10;application_name=report-designer"));
    if (!db.open()) {
      const std::string message = ErrorText(db.lastError());
      if (IsLoginFailure(message)) throw ELoginError(message);
      throw EDatabaseError(message);
    }
    // Reports only read: every transaction of this session is read-only.
    Exec("SET default_transaction_read_only = on");
    Exec("SET standard_conforming_strings = on");
    Exec("SET DateStyle = ISO");
  }

  QSqlQuery Exec(const std::string& sql, bool forwardOnly = true) {
    QSqlQuery q(FQt.Db());
    q.setForwardOnly(forwardOnly);
    if (!q.exec(QString::fromStdString(sql))) throw EDatabaseError(ErrorText(q.lastError()));
    return q;
  }
  // A statement with bound values, run by libpq on the driver's own connection (Qt's
  // driver would paste the values into the text). One value of the first row, if asked.
  std::optional<int64_t> ExecBound(const TBoundSql& bound, bool firstValue) {
    const QVariant handle = FQt.Db().driver()->handle();
    PGconn* conn = handle.isValid() ? *static_cast<PGconn* const*>(handle.constData()) : nullptr;
    if (!conn) throw EDatabaseError("The connection to the database server is closed");
    std::vector<const char*> values;
    for (const std::optional<std::string>& v : bound.Values) values.push_back(v ? v->c_str() : nullptr);
    using TResult = std::unique_ptr<PGresult, decltype(&PQclear)>;
    const auto run = [&](const std::vector<Oid>& types) {
      return TResult(PQexecParams(conn, bound.Text.c_str(), static_cast<int>(values.size()), types.data(),
                                  values.data(), nullptr, nullptr, 0),
                     &PQclear);
    };
    const auto failed = [](const TResult& r) {
      const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
      return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
    };
    // A text value where nothing around it says its type ("WHERE :name IS NULL") cannot
    // be left to the server: that one statement is tried again with such values as text.
    const bool untyped = std::find(bound.Types.begin(), bound.Types.end(), Oid{0}) != bound.Types.end();
    const bool guard = untyped && FInTransaction;
    if (guard) Exec("SAVEPOINT rpt_bind");
    TResult result = run(bound.Types);
    if (untyped && failed(result)) {
      const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
      if (state && std::string_view(state) == "42P18") {
        if (guard) Exec("ROLLBACK TO SAVEPOINT rpt_bind");
        std::vector<Oid> types = bound.Types;
        for (Oid& type : types)
          if (type == 0) type = 25;
        result = run(types);
      }
    }
    if (failed(result)) {
      const char* primary = result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
      std::string text = primary ? primary : PQerrorMessage(conn);
      while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
      throw EDatabaseError(text.empty() ? "The database server reported an unknown error" : text);
    }
    if (guard) Exec("RELEASE SAVEPOINT rpt_bind");
    if (!firstValue) return std::nullopt;
    if (PQntuples(result.get()) < 1 || PQnfields(result.get()) < 1) throw EDatabaseError("The count returned no row");
    return std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
  }
  void ExecQuietly(const char* sql) noexcept {
    if (!FQt.Db().isOpen()) return;  // the server went away; nothing to end
    try {
      QSqlQuery q(FQt.Db());
      q.exec(QString::fromLatin1(sql));
    } catch (...) {
    }
  }
  bool InTransaction() const { return FInTransaction; }
  void SetInTransaction(bool value) { FInTransaction = value; }

  // (schema, name) of every table and view outside the system schemas.
  std::vector<std::pair<std::string, std::string>> Relations() {
    QSqlQuery q = Exec(
        "SELECT n.nspname, c.relname FROM pg_catalog.pg_class c "
        "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') "
        "AND n.nspname <> 'information_schema' AND n.nspname NOT LIKE 'pg\\_%' "
        "AND pg_catalog.has_table_privilege(c.oid, 'SELECT') "
        "ORDER BY lower(c.relname), c.relname, n.nspname");
    std::vector<std::pair<std::string, std::string>> result;
    while (q.next()) result.emplace_back(q.value(0).toString().toStdString(), q.value(1).toString().toStdString());
    if (q.lastError().isValid()) throw EDatabaseError(ErrorText(q.lastError()));
    return result;
  }

  static std::string DisplayName(const std::pair<std::string, std::string>& r) {
    return r.first == "public" ? r.second : r.first + "." + r.second;
  }

  std::vector<std::string> Tables() override {
    std::vector<std::string> names;
    for (const auto& r : Relations()) names.push_back(DisplayName(r));
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return LowerAscii(a) < LowerAscii(b);
    });
    return names;
  }

  std::string QuotedTable(const std::string& name, std::vector<std::string>* keyColumns) override {
    const auto relations = Relations();
    std::vector<std::string> candidates = {name};
    if (const size_t dot = name.find('.'); dot != std::string::npos) {
      candidates.push_back(name.substr(dot + 1));
      candidates.push_back(name.substr(0, name.rfind('.')));
    }
    for (const std::string& candidate : candidates) {
      // An exact spelling first: "Orders" and "orders" may both exist.
      for (bool exact : {true, false}) {
        for (const auto& r : relations) {
          const std::string display = DisplayName(r);
          if (exact ? display != candidate : !SameText(display, candidate)) continue;
          const std::string quoted = QuoteIdent(r.first) + "." + QuoteIdent(r.second);
          if (keyColumns) {
            keyColumns->clear();
            QSqlQuery q = Exec(
                "SELECT a.attname FROM pg_catalog.pg_index i "
                "JOIN pg_catalog.pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
                "WHERE i.indrelid = " + QuoteLiteral(quoted) + "::regclass AND i.indisprimary "
                "ORDER BY array_position(i.indkey::int2[], a.attnum)");
            while (q.next()) keyColumns->push_back(QuoteIdent(q.value(0).toString().toStdString()));
          }
          return quoted;
        }
      }
    }
    throw EDatabaseError(Format("Table '%s' does not exist in database %s", name, FAlias.Name));
  }

  std::unique_ptr<TCursor> OpenCursor(const std::string& sql, const TParams* params) override {
    return std::make_unique<TPgCursor>(*this, sql, params);
  }

  int64_t QueryInteger(const std::string& sql, const TParams* params) override {
    const TBoundSql bound = BindSql(sql, params);
    // Inside an open cursor's transaction a failure would end the transaction and the
    // cursor with it: a savepoint keeps them.
    if (!FInTransaction) return *ExecBound(bound, true);
    Exec("SAVEPOINT rpt_count");
    try {
      const int64_t n = *ExecBound(bound, true);
      Exec("RELEASE SAVEPOINT rpt_count");
      return n;
    } catch (...) {
      ExecQuietly("ROLLBACK TO SAVEPOINT rpt_count");
      throw;
    }
  }

  QSqlDatabase& Db() { return FQt.Db(); }

 private:
  TQtConnection FQt;
  bool FInTransaction = false;
};

TPgCursor::TPgCursor(TPgConnection& connection, const std::string& sql, const TParams* params)
    : FConnection(connection), FBatch(connection.Db()) {
  connection.Exec("BEGIN READ ONLY");
  connection.SetInTransaction(true);
  try {
    TBoundSql bound = BindSql(TrimStatement(sql), params);
    bound.Text.insert(0, "DECLARE rpt_cursor NO SCROLL CURSOR FOR ");
    connection.ExecBound(bound, false);
    FetchBatch();
  } catch (...) {
    connection.ExecQuietly("ROLLBACK");
    connection.SetInTransaction(false);
    throw;
  }
  const QSqlRecord record = FBatch.record();
  for (int i = 0; i < record.count(); ++i) {
    const QSqlField f = record.field(i);
    TColumnType type = TypeOfOid(f.typeID());
    TFieldDef def;
    def.Name = f.name().toStdString();
    def.DataType = type.Type;
    if (type.Type == ftString && f.length() > 0) def.Size = f.length();
    if (type.Type == ftBCD) {
      def.Precision = f.length() > 0 ? f.length() : 0;
      def.Scale = f.precision() >= 0 && f.length() > 0 ? f.precision() : -1;
    }
    def.Required = f.requiredStatus() == QSqlField::Required;
    FColumns.push_back(def);
    FTypes.push_back(type);
  }
}

TPgCursor::~TPgCursor() {
  FBatch = QSqlQuery();
  // Ends the transaction and with it the cursor.
  FConnection.ExecQuietly("ROLLBACK");
  FConnection.SetInTransaction(false);
}

void TPgCursor::FetchBatch() {
  // A whole batch at once (not forward-only), so a count can run before it is read.
  FBatch = FConnection.Exec("FETCH FORWARD " + std::to_string(kBatchRows) + " FROM rpt_cursor", false);
  FBatchSeen = 0;
}

bool TPgCursor::NextInBatch() {
  if (FDone) return false;
  if (!FBatch.next()) {
    if (FBatch.lastError().isValid()) throw EDatabaseError(ErrorText(FBatch.lastError()));
    if (FBatchSeen < kBatchRows) {
      FDone = true;
      return false;
    }
    FetchBatch();
    if (!FBatch.next()) {
      if (FBatch.lastError().isValid()) throw EDatabaseError(ErrorText(FBatch.lastError()));
      FDone = true;
      return false;
    }
  }
  ++FBatchSeen;
  return true;
}

bool TPgCursor::Fetch(TRow& row) {
  if (!NextInBatch()) return false;
  row.resize(FColumns.size());
  for (size_t i = 0; i < FColumns.size(); ++i) {
    const QVariant v = FBatch.value(static_cast<int>(i));
    TValue& out = row[i];
    if (v.isNull()) {
      out.Kind = TValue::kNull;
      continue;
    }
    switch (FTypes[i].Type) {
      case ftBoolean:
        out.Kind = TValue::kBoolean;
        out.Int = v.toBool() ? 1 : 0;
        break;
      case ftSmallint: case ftInteger: case ftLargeint:
        out.Kind = TValue::kInteger;
        out.Int = v.toLongLong();
        break;
      case ftFloat: case ftBCD:
        out.Kind = TValue::kFloat;
        out.Float = v.toDouble();
        break;
      case ftCurrency:
        out.Kind = TValue::kFloat;
        out.Float = FTypes[i].Money ? ParseMoney(v.toString()) : v.toDouble();
        break;
      case ftDate: {
        const QDate d = v.toDate();
        if (d.isValid() && d.year() >= 1 && d.year() <= 9999) {
          out.Kind = TValue::kDate;
          out.Float = EncodeDate(d.year(), d.month(), d.day());
        } else {
          out.Kind = TValue::kText;  // infinity and the like
          out.Text = v.toString().toStdString();
        }
        break;
      }
      case ftTime: {
        const QTime t = v.toTime();
        if (t.isValid()) {
          out.Kind = TValue::kTime;
          out.Float = EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
        } else {
          out.Kind = TValue::kText;
          out.Text = v.toString().toStdString();
        }
        break;
      }
      case ftDateTime: {
        QDateTime dt = v.toDateTime();
        if (FTypes[i].TimeZone) dt = dt.toLocalTime();
        if (dt.isValid() && dt.date().year() >= 1 && dt.date().year() <= 9999) {
          out.Kind = TValue::kDateTime;
          out.Float = EncodeDateTime({dt.date().year(), dt.date().month(), dt.date().day()},
                                     {dt.time().hour(), dt.time().minute(), dt.time().second(), dt.time().msec()});
        } else {
          out.Kind = TValue::kText;
          out.Text = v.toString().toStdString();
        }
        break;
      }
      case ftBlob: {
        const QByteArray bytes = v.toByteArray();
        out.Kind = TValue::kBlob;
        out.Text.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        break;
      }
      default: {
        const QByteArray utf8 = v.toString().toUtf8();
        out.Kind = TValue::kText;
        out.Text.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
        break;
      }
    }
  }
  return true;
}

int64_t TPgCursor::Skip(int64_t count) {
  int64_t done = 0;
  // What the current batch still holds, then the rest on the server.
  while (done < count && !FDone && FBatchSeen < kBatchRows) {
    if (!FBatch.next()) {
      if (FBatch.lastError().isValid()) throw EDatabaseError(ErrorText(FBatch.lastError()));
      FDone = true;
      return done;
    }
    ++FBatchSeen;
    ++done;
  }
  if (done < count && !FDone) {
    const int64_t wanted = count - done;
    QSqlQuery q = FConnection.Exec("MOVE FORWARD " + std::to_string(wanted) + " IN rpt_cursor");
    const int64_t moved = q.numRowsAffected();
    done += moved;
    if (moved < wanted)
      FDone = true;
    else
      FetchBatch();
  }
  return done;
}

}  // namespace

std::unique_ptr<TConnection> OpenPostgres(const TAlias& alias, const std::string& user,
                                          const std::optional<std::string>& password) {
  if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
    throw EDatabaseError("The PostgreSQL driver of Qt is not installed (package libqt6sql6-psql)");
  return std::make_unique<TPgConnection>(alias, user, password);
}

}  // namespace rpt::engine
