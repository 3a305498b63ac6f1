// PostgreSQL aliases through Qt's PostgreSQL driver. A dataset reads from a server-side
// cursor (DECLARE ... CURSOR in a read-only transaction), a batch of rows per FETCH:
// memory stays flat however many rows there are, other statements (a count) can run
// between batches, and closing early costs nothing. A cursor cannot take bound values,
// so parameters become literals, quoted by us.
#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QVariant>
#include <charconv>
#include <cmath>

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

std::string FloatLiteral(double v) {
  if (std::isnan(v)) return "'NaN'::float8";
  if (std::isinf(v)) return v > 0 ? "'Infinity'::float8" : "'-Infinity'::float8";
  // The shortest text that reads back as the same double: 99.9, not 99.900000000000006,
  // so a comparison with a numeric column holds.
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  const std::string text(buf, result.ptr);
  return v < 0 ? "(" + text + ")" : text;
}

std::string Literal(const TParam* p) {
  if (!p || p->IsNull()) return "NULL";
  const TValue& v = p->Value();
  switch (v.Kind) {
    case TValue::kInteger: return v.Int < 0 ? "(" + std::to_string(v.Int) + ")" : std::to_string(v.Int);
    case TValue::kBoolean: return v.Int ? "TRUE" : "FALSE";
    case TValue::kFloat: return FloatLiteral(v.Float);
    case TValue::kText: return QuoteLiteral(v.Text);
    case TValue::kDate: return QuoteLiteral(DateToIso(v.Float)) + "::date";
    case TValue::kTime: return QuoteLiteral(TimeToIso(v.Float)) + "::time";
    case TValue::kDateTime: return QuoteLiteral(DateTimeToIso(v.Float)) + "::timestamp";
    case TValue::kBlob: {
      static const char* kHex = "0123456789abcdef";
      std::string hex = "'\\x";
      for (unsigned char c : v.Text) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
      }
      return hex + "'::bytea";
    }
    case TValue::kNull: break;
  }
  return "NULL";
}

// The SQL text with every ":name" replaced by its parameter's literal.
std::string Substitute(const std::string& sql, const TParams* params) {
  const std::vector<TSqlParamRef> refs = ScanSqlParams(sql);
  if (refs.empty()) return sql;
  std::string out;
  size_t from = 0;
  for (const TSqlParamRef& ref : refs) {
    out.append(sql, from, ref.Pos - from);
    out += Literal(params ? params->FindParam(ref.Name) : nullptr);
    from = ref.Pos + ref.Length;
  }
  out.append(sql, from, std::string::npos);
  return out;
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
    const std::string text = Substitute(sql, params);
    // Inside an open cursor's transaction a failure would end the transaction and the
    // cursor with it: a savepoint keeps them.
    if (!FInTransaction) {
      QSqlQuery q = Exec(text);
      if (!q.next()) throw EDatabaseError(q.lastError().isValid() ? ErrorText(q.lastError()) : "The count returned no row");
      return q.value(0).toLongLong();
    }
    Exec("SAVEPOINT rpt_count");
    try {
      QSqlQuery q = Exec(text, false);
      if (!q.next()) throw EDatabaseError(q.lastError().isValid() ? ErrorText(q.lastError()) : "The count returned no row");
      const int64_t n = q.value(0).toLongLong();
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
    connection.Exec("DECLARE rpt_cursor NO SCROLL CURSOR FOR " + Substitute(TrimStatement(sql), params));
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
