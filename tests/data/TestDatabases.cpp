#include "tests/data/TestDatabases.h"

#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace rpt::test {

TTempDir::TTempDir() {
  char pattern[] = "/tmp/rpt-data-test.XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  FPath = made;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

void WriteFile(const std::string& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file);
}

void DataTest::SetUp() {
  std::filesystem::create_directories(DataDir());
  setenv("RPT_DATA_DIR", DataDir().c_str(), 1);
  setenv("RPT_ALIAS_FILE", AliasFile().c_str(), 1);
  setenv("RPT_SAMPLE_DB", RPT_TEST_SAMPLE_DB, 1);
  unsetenv("RPT_DB_PASSWORD_PG");
  Session().SetLoginHook(nullptr);
  Session().ForgetLogins();
}

void DataTest::TearDown() {
  Session().SetLoginHook(nullptr);
  Session().ForgetLogins();
}

void DataTest::MakeTypesDatabase() {
  RunSqlite(DataDir() + "/types.db", R"sql(
    CREATE TABLE kinds (
      id INTEGER PRIMARY KEY, name VARCHAR(20), small SMALLINT, word UNSIGNED SMALLINT, big BIGINT,
      flag BOOLEAN, ratio REAL, price MONEY, amount DECIMAL(10,2), day DATE, at_time TIME, stamp DATETIME,
      notes CLOB, bytes BLOB);
    INSERT INTO kinds VALUES (1, 'Zoë Ørsted – Δ', -123, 65535, 9007199254740993, 1, 0.1, 1234.5, 99.9,
      '2024-02-29', '23:59:58', '1999-12-31 08:15:30', 'line one' || char(10) || 'line two', x'00FF10');
    INSERT INTO kinds (id) VALUES (2);
    INSERT INTO kinds VALUES (3, 'plain', 0, 0, 0, 0, -2.5, 0, 0, '1899-12-29', '00:00:00',
      '2024-01-01 00:00:00', '', x'');
    INSERT INTO kinds VALUES (4, '42', 'abc', NULL, NULL, 't', NULL, NULL, NULL, 'not a date', NULL, NULL, NULL, NULL);
  )sql");
}

void DataTest::MakeNumbersDatabase(int count) {
  RunSqlite(DataDir() + "/numbers.db",
            "CREATE TABLE n (id INTEGER PRIMARY KEY, label VARCHAR(20), grp INTEGER);"
            "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < " +
                std::to_string(count) +
                ") INSERT INTO n SELECT i, 'row ' || i, (i - 1) / 10 FROM s;");
}

// ---------------------------------------------------------------------------

bool TPgServer::Available() { return std::getenv("RPT_TEST_PG_PORT") != nullptr; }

TPgServer TPgServer::FromEnvironment() {
  TPgServer s;
  s.Port = std::atoi(std::getenv("RPT_TEST_PG_PORT"));
  return s;
}

namespace {
// A private admin connection per call; removed before returning.
template <class F>
void WithAdmin(int port, const std::string& database, F f) {
  static std::atomic<int> counter{0};
  const QString name = QStringLiteral("pg-admin-%1").arg(++counter);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setPort(port);
    db.setUserName(QStringLiteral("postgres"));
    db.setDatabaseName(QString::fromStdString(database));
    db.setConnectOptions(QStringLiteral("application_name=rpt-test-admin;options='-c client_min_messages=warning'"));
    if (!db.open()) throw std::runtime_error("admin connection: " + db.lastError().text().toStdString());
    f(db);
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
}
}  // namespace

void TPgServer::Exec(const std::string& database, const std::string& sql) const {
  WithAdmin(Port, database, [&](QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QString::fromStdString(sql)))
      throw std::runtime_error("admin SQL failed: " + q.lastError().text().toStdString() + "\n" + sql);
  });
}

std::vector<std::string> TPgServer::Column(const std::string& database, const std::string& sql) const {
  std::vector<std::string> values;
  WithAdmin(Port, database, [&](QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QString::fromStdString(sql)))
      throw std::runtime_error("admin SQL failed: " + q.lastError().text().toStdString());
    while (q.next()) values.push_back(q.value(0).toString().toStdString());
  });
  return values;
}

void PgTest::SetUp() {
  DataTest::SetUp();
  if (!TPgServer::Available())
    GTEST_SKIP() << "RPT_TEST_PG_PORT is not set: no PostgreSQL server for this run "
                    "(scripts/test.sh starts one; or: eval \"$(bash scripts/postgres.sh start)\")";
  FServer = TPgServer::FromEnvironment();
  static int serial = 0;
  FDatabase = "rpt_test_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  FServer.Exec("postgres", "DROP DATABASE IF EXISTS " + FDatabase + " WITH (FORCE)");
  FServer.Exec("postgres", "CREATE DATABASE " + FDatabase + " TEMPLATE template0 ENCODING 'UTF8'");
  WriteAliases();
}

void PgTest::TearDown() {
  if (!FDatabase.empty()) {
    try {
      FServer.Exec("postgres", "DROP DATABASE IF EXISTS " + FDatabase + " WITH (FORCE)");
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
  DataTest::TearDown();
}

void PgTest::WriteAliases(const std::string& extra) {
  WriteFile(AliasFile(), "# test server\n[pg]\nDriver = PostgreSQL\nHost = 127.0.0.1\nPort = " +
                             std::to_string(FServer.Port) + "\nDatabase = " + FDatabase +
                             "\nUser = postgres\n\n" + extra);
}

}  // namespace rpt::test
