// Datasets on a real PostgreSQL server (started by scripts/test.sh; skipped without
// one): tables and queries, values and parameters of every type, the walk over batches
// and the window, logins, and a server that is down or goes away during a walk.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QDateTime>
#include <thread>
#include <QTimeZone>

#include "data/DBTables.h"
#include "tests/data/TestDatabases.h"

namespace rpt::test {
namespace {

template <class T>
TOwnedPtr<T> Make(const std::string& alias) {
  TOwnedPtr<T> ds(TComponent::Create<T>(nullptr));
  ds->SetDatabaseName(alias);
  return ds;
}

TOwnedPtr<TTable> OpenTable(const std::string& alias, const std::string& table) {
  auto t = Make<TTable>(alias);
  t->SetTableName(table);
  t->Open();
  return t;
}

TOwnedPtr<TQuery> OpenQuery(const std::string& alias, const std::string& sql) {
  auto q = Make<TQuery>(alias);
  q->SQL()->SetText(sql);
  q->Open();
  return q;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A port nobody listens on.
int ClosedPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

class PostgresTest : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped()) return;
    FServer.Exec(FDatabase, R"sql(
      CREATE TABLE kinds (id integer PRIMARY KEY, name varchar(20), memo text, flag boolean, small smallint,
        big bigint, ratio double precision, price money, amount numeric(10,2), day date, at_time time,
        stamp timestamp, stamptz timestamptz, bytes bytea);
      INSERT INTO kinds VALUES (1, 'Zoë Ørsted – Δ', E'line one\nline two', true, -123, 9007199254740993, 0.1,
        1234.5, 99.9, '2024-02-29', '23:59:58', '1999-12-31 08:15:30', '2020-06-01 12:00:00+00', '\x00ff10');
      INSERT INTO kinds (id) VALUES (2);
      CREATE TABLE n (id integer PRIMARY KEY, label text NOT NULL, grp integer);
      INSERT INTO n SELECT i, 'row ' || i, (i - 1) / 10 FROM generate_series(2000, 1, -1) i;
      CREATE VIEW big_n AS SELECT * FROM n WHERE id > 1000;
      CREATE SCHEMA archive;
      CREATE TABLE archive.old_orders (id integer PRIMARY KEY);
      INSERT INTO archive.old_orders VALUES (7);
      CREATE TABLE "Mixed" (id integer);
      CREATE SEQUENCE counter;
    )sql");
  }
};

TEST_F(PostgresTest, AliasesAndTablesOfTheServer) {
  const std::vector<std::string> aliases = Session().AliasNames();
  EXPECT_NE(std::find(aliases.begin(), aliases.end(), "pg"), aliases.end());
  EXPECT_EQ(Session().TableNames("PG"),
            (std::vector<std::string>{"archive.old_orders", "big_n", "kinds", "Mixed", "n"}));
  for (const char* name : {"n", "N", "n.db", "public.n"}) {
    auto t = OpenTable("pg", name);
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 1) << name;  // primary key order
    EXPECT_EQ(t->FieldByName("label")->AsString(), "row 1") << name;
  }
  EXPECT_EQ(OpenTable("pg", "archive.old_orders")->Fields(0)->AsInteger(), 7);
  EXPECT_TRUE(OpenTable("pg", "Mixed")->IsEmpty());
  EXPECT_EQ(OpenTable("pg", "big_n")->RecordCount(), 1000);
  EXPECT_EQ(ErrorOf([] { OpenTable("pg", "nosuch"); }), "Table 'nosuch' does not exist in database pg");
}

TEST_F(PostgresTest, ValuesOfEveryType) {
  auto t = OpenTable("pg", "kinds");
  EXPECT_TRUE(t->FieldByName("name")->Is<TStringField>());
  EXPECT_EQ(t->FieldByName("name")->Size(), 20);
  EXPECT_EQ(t->FieldByName("name")->AsString(), "Zoë Ørsted – Δ");
  EXPECT_EQ(t->FieldByName("memo")->AsString(), "line one\nline two");
  EXPECT_TRUE(t->FieldByName("flag")->Is<TBooleanField>());
  EXPECT_TRUE(t->FieldByName("flag")->AsBoolean());
  EXPECT_TRUE(t->FieldByName("small")->Is<TSmallintField>());
  EXPECT_EQ(t->FieldByName("small")->AsInteger(), -123);
  EXPECT_TRUE(t->FieldByName("big")->Is<TLargeintField>());
  EXPECT_EQ(t->FieldByName("big")->AsInteger(), 9007199254740993);
  EXPECT_TRUE(t->FieldByName("id")->Is<TIntegerField>());
  EXPECT_TRUE(t->FieldByName("ratio")->Is<TFloatField>());
  EXPECT_DOUBLE_EQ(t->FieldByName("ratio")->AsFloat(), 0.1);
  EXPECT_TRUE(t->FieldByName("price")->Is<TCurrencyField>());
  EXPECT_DOUBLE_EQ(t->FieldByName("price")->AsFloat(), 1234.5);
  EXPECT_EQ(t->FieldByName("price")->DisplayText(), "1234.50");
  TField* amount = t->FieldByName("amount");
  EXPECT_TRUE(amount->Is<TBCDField>());
  EXPECT_EQ(amount->Def().Precision, 10);
  EXPECT_EQ(amount->Def().Scale, 2);
  EXPECT_EQ(amount->DisplayText(), "99.90");
  EXPECT_TRUE(t->FieldByName("day")->Is<TDateField>());
  EXPECT_EQ(t->FieldByName("day")->AsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_TRUE(t->FieldByName("at_time")->Is<TTimeField>());
  EXPECT_EQ(t->FieldByName("at_time")->DisplayText(), "23:59:58");
  EXPECT_TRUE(t->FieldByName("stamp")->Is<TDateTimeField>());
  EXPECT_EQ(t->FieldByName("stamp")->DisplayText(), "1999-12-31 08:15:30");
  // A time stamp with zone reads in local time.
  const QDateTime utc(QDate(2020, 6, 1), QTime(12, 0), QTimeZone::utc());
  EXPECT_EQ(t->FieldByName("stamptz")->DisplayText(),
            utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString());
  EXPECT_TRUE(t->FieldByName("bytes")->Is<TBlobField>());
  EXPECT_EQ(t->FieldByName("bytes")->AsString(), std::string("\x00\xff\x10", 3));
  t->Next();
  for (int i = 1; i < t->FieldCount(); ++i) {
    EXPECT_TRUE(t->Fields(i)->IsNull()) << t->Fields(i)->FieldName();
    EXPECT_EQ(t->Fields(i)->DisplayText(), "") << t->Fields(i)->FieldName();
  }
  auto q = OpenQuery("pg", "SELECT COUNT(*) AS n, SUM(id) AS total, 'x' || 'y' AS s FROM kinds");
  EXPECT_TRUE(q->FieldByName("n")->Is<TIntegerField>());
  EXPECT_EQ(q->FieldByName("n")->AsInteger(), 2);
  EXPECT_EQ(q->FieldByName("s")->AsString(), "xy");
}

TEST_F(PostgresTest, ParametersOfEveryTypeAreBoundSafely) {
  auto q = Make<TQuery>("pg");
  q->SQL()->SetText(
      "SELECT id FROM kinds WHERE name = :name AND memo = :memo AND flag = :flag AND small = :small "
      "AND big = :big AND ratio = :ratio AND price = :price::money AND amount = :amount AND day = :day "
      "AND at_time = :at_time AND stamp = :stamp AND bytes = :bytes AND :nothing IS NULL AND id > :neg");
  ASSERT_EQ(q->ParamCount(), 14);
  q->ParamByName("name")->SetAsString("Zoë Ørsted – Δ");
  q->ParamByName("memo")->SetAsMemo("line one\nline two");
  q->ParamByName("flag")->SetAsBoolean(true);
  q->ParamByName("small")->SetAsSmallInt(-123);
  q->ParamByName("big")->SetAsLargeInt(9007199254740993);
  q->ParamByName("ratio")->SetAsFloat(0.1);
  q->ParamByName("price")->SetAsCurrency(1234.5);
  q->ParamByName("amount")->SetAsBCD(99.9);
  q->ParamByName("day")->SetAsDate(EncodeDate(2024, 2, 29));
  q->ParamByName("at_time")->SetAsTime(EncodeTime(23, 59, 58));
  q->ParamByName("stamp")->SetAsDateTime(EncodeDate(1999, 12, 31) + EncodeTime(8, 15, 30));
  q->ParamByName("bytes")->SetAsBlob(std::string("\x00\xff\x10", 3));
  q->ParamByName("nothing")->Clear();
  q->ParamByName("neg")->SetAsWord(0);
  q->Open();
  ASSERT_FALSE(q->IsEmpty());
  EXPECT_EQ(q->Fields(0)->AsInteger(), 1);
  EXPECT_EQ(q->RecordCount(), 1);

  // Quotes and backslashes in a value stay inside the value.
  auto injected = Make<TQuery>("pg");
  injected->SQL()->SetText("SELECT COUNT(*) FROM n WHERE label = :label");
  for (const char* attempt : {"x' OR '1'='1", "x\\' OR 1=1 --", "row 1'; DROP TABLE n; --"}) {
    injected->Close();
    injected->ParamByName("label")->SetAsString(attempt);
    injected->Open();
    EXPECT_EQ(injected->Fields(0)->AsInteger(), 0) << attempt;
  }
  injected->Close();
  injected->ParamByName("label")->SetAsString("row 17");
  injected->Open();
  EXPECT_EQ(injected->Fields(0)->AsInteger(), 1);
  auto negative = Make<TQuery>("pg");
  negative->SQL()->SetText("SELECT :a - :b, :c * 2");
  negative->ParamByName("a")->SetAsInteger(5);
  negative->ParamByName("b")->SetAsInteger(-5);
  negative->ParamByName("c")->SetAsFloat(-1.5);
  negative->Open();
  EXPECT_EQ(negative->Fields(0)->AsInteger(), 10);
  EXPECT_DOUBLE_EQ(negative->Fields(1)->AsFloat(), -3.0);

  // Values travel beside the text, never in it: a whole number arrives as a typed value
  // (a pasted 7 would be an integer literal), and a text with no type around it is still
  // taken.
  auto bound = Make<TQuery>("pg");
  bound->SQL()->SetText("SELECT :v = :v, :v IS NULL, pg_typeof(:n)::text");
  bound->ParamByName("v")->SetAsString("x' OR '1'='1");
  bound->ParamByName("n")->SetAsInteger(7);
  bound->Open();
  EXPECT_TRUE(bound->Fields(0)->AsBoolean());
  EXPECT_FALSE(bound->Fields(1)->AsBoolean());
  EXPECT_EQ(bound->Fields(2)->AsString(), "bigint");
}

TEST_F(PostgresTest, WalkAcrossBatchesAndBackBeyondTheWindow) {
  auto t = OpenTable("pg", "n");
  TField* id = t->FieldByName("id");
  t->Prior();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(id->AsInteger(), 1);
  for (int i = 1; i < 700; ++i) t->Next();
  EXPECT_EQ(id->AsInteger(), 700);
  // Counting between two batches leaves the walk where it was.
  EXPECT_EQ(t->RecordCount(), 2000);
  int64_t walked = 700;
  for (t->Next(); !t->Eof(); t->Next()) {
    ASSERT_EQ(id->AsInteger(), ++walked);
  }
  EXPECT_EQ(walked, 2000);
  t->Prior();
  EXPECT_EQ(id->AsInteger(), 1999);
  EXPECT_EQ(t->MoveBy(-1500), -1500);
  EXPECT_EQ(id->AsInteger(), 499);
  for (int64_t expected = 498; expected >= 430; --expected) {
    t->Prior();
    ASSERT_EQ(id->AsInteger(), expected);
  }
  t->Last();
  EXPECT_EQ(id->AsInteger(), 2000);
  EXPECT_TRUE(t->Eof());
  t->First();
  EXPECT_EQ(id->AsInteger(), 1);
  auto q = Make<TQuery>("pg");
  q->SQL()->SetText("SELECT id FROM n WHERE grp = :grp ORDER BY id");
  q->ParamByName("grp")->SetAsInteger(3);
  q->Open();
  EXPECT_EQ(q->RecordCount(), 10);
  EXPECT_EQ(q->Fields(0)->AsInteger(), 31);
  auto empty = OpenQuery("pg", "SELECT id FROM n WHERE id < 0");
  EXPECT_TRUE(empty->Eof());
  EXPECT_TRUE(empty->Bof());
  EXPECT_EQ(empty->FieldCount(), 1);
}

TEST_F(PostgresTest, BadStatementsRaiseTheServersMessage) {
  auto q = Make<TQuery>("pg");
  q->SQL()->SetText("SELEC * FROM n");
  std::string message = ErrorOf([&] { q->Open(); });
  EXPECT_TRUE(Contains(message, "syntax error at or near \"SELEC\"")) << message;
  EXPECT_FALSE(q->Active());
  q->SQL()->SetText("SELECT nope FROM n");
  message = ErrorOf([&] { q->Open(); });
  EXPECT_TRUE(Contains(message, "column \"nope\" does not exist")) << message;
  q->SQL()->SetText("SELECT * FROM nosuch");
  message = ErrorOf([&] { q->Open(); });
  EXPECT_TRUE(Contains(message, "relation \"nosuch\" does not exist")) << message;
  // Reports only read: writing fails in the read-only transaction.
  q->SQL()->SetText("SELECT nextval('counter')");
  message = ErrorOf([&] { q->Open(); });
  EXPECT_TRUE(Contains(message, "read-only transaction")) << message;
  q->SQL()->SetText("DELETE FROM n");
  EXPECT_FALSE(ErrorOf([&] { q->Open(); }).empty());
  EXPECT_EQ(FServer.Column(FDatabase, "SELECT COUNT(*) FROM n"), std::vector<std::string>{"2000"});
  // The dataset recovers once the text is right.
  q->SQL()->SetText("SELECT COUNT(*) FROM n;");
  q->Open();
  EXPECT_EQ(q->Fields(0)->AsInteger(), 2000);
}

TEST_F(PostgresTest, RefusedLoginsAndTheLoginHook) {
  FServer.Exec("postgres",
               "DO $$ BEGIN CREATE ROLE rpt_secure LOGIN; EXCEPTION WHEN OTHERS THEN NULL; END $$;"
               "ALTER ROLE rpt_secure LOGIN PASSWORD 'right';");
  FServer.Exec(FDatabase, "GRANT SELECT ON n TO rpt_secure");
  WriteAliases("[secure]\nDriver = PostgreSQL\nHost = 127.0.0.1\nPort = " + std::to_string(FServer.Port) +
               "\nDatabase = " + FDatabase + "\nUser = rpt_secure\n");
  // No password and nobody to ask.
  std::string message = ErrorOf<ELoginError>([] { OpenTable("secure", "n"); });
  EXPECT_TRUE(Contains(message, "password")) << message;
  // A wrong password from the environment.
  setenv("RPT_DB_PASSWORD_SECURE", "wrong", 1);
  message = ErrorOf<ELoginError>([] { OpenTable("secure", "n"); });
  EXPECT_TRUE(Contains(message, "password authentication failed")) << message;
  // The hook is asked until it gives the right password; the login is then remembered.
  int asked = 0;
  Session().SetLoginHook([&](const std::string& alias, std::string& user, std::string& password) {
    EXPECT_EQ(alias, "secure");
    EXPECT_EQ(user, "rpt_secure");
    password = ++asked == 1 ? "still wrong" : "right";
    return true;
  });
  EXPECT_EQ(OpenTable("secure", "n")->RecordCount(), 2000);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(OpenTable("secure", "n")->Fields(0)->AsInteger(), 1);
  EXPECT_EQ(asked, 2);
  // Cancelling the dialog.
  Session().ForgetLogins();
  Session().SetLoginHook([](const std::string&, std::string&, std::string&) { return false; });
  EXPECT_EQ(ErrorOf<ELoginError>([] { OpenTable("secure", "n"); }), "Login to secure cancelled");
  // The right password in the environment needs no dialog.
  setenv("RPT_DB_PASSWORD_SECURE", "right", 1);
  EXPECT_EQ(OpenTable("secure", "n")->RecordCount(), 2000);
  unsetenv("RPT_DB_PASSWORD_SECURE");
}

TEST_F(PostgresTest, ServerThatIsDownOrGoesAwayMidWalk) {
  WriteAliases("[down]\nDriver = PostgreSQL\nHost = 127.0.0.1\nPort = " + std::to_string(ClosedPort()) +
               "\nDatabase = x\nUser = postgres\n");
  try {
    OpenTable("down", "n");
    ADD_FAILURE() << "opened a table on a server that is down";
  } catch (const ELoginError& e) {
    ADD_FAILURE() << "not a login problem: " << e.what();
  } catch (const EDatabaseError& e) {
    EXPECT_TRUE(Contains(e.what(), "refused")) << e.what();
  }
  EXPECT_THROW(Session().TableNames("down"), EDatabaseError);

  auto t = OpenTable("pg", "n");
  TField* id = t->FieldByName("id");
  for (int i = 1; i < 10; ++i) t->Next();
  EXPECT_EQ(id->AsInteger(), 10);
  const auto killed = FServer.Column(
      "postgres", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + FDatabase +
                      "' AND application_name = 'report-designer'");
  ASSERT_EQ(killed, std::vector<std::string>{"true"});
  std::string message;
  int64_t last = 0;
  try {
    for (int i = 0; i < 2000 && !t->Eof(); ++i) {
      last = id->AsInteger();
      t->Next();
    }
    ADD_FAILURE() << "the walk went on without its server";
  } catch (const EDatabaseError& e) {
    message = e.what();
  }
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(last, 500);  // the rows already fetched were still read
  EXPECT_FALSE(t->Active());
  EXPECT_EQ(t->FieldCount(), 0);
  // Opening again makes a new connection.
  t->Open();
  EXPECT_EQ(t->RecordCount(), 2000);
  EXPECT_EQ(t->FieldByName("id")->AsInteger(), 1);
}

TEST_F(PostgresTest, DatasetOpenedOnOneThreadIsWalkedAndReopenedOnAnother) {
  auto q = Make<TQuery>("pg");
  q->SQL()->SetText("SELECT id FROM n WHERE id <= :last ORDER BY id");
  q->ParamByName("last")->SetAsInteger(100);
  q->Open();
  int64_t rows = 0;
  std::string error;
  std::thread worker([&] {
    try {
      q->Close();
      q->ParamByName("last")->SetAsInteger(1200);
      q->Open();
      for (; !q->Eof(); q->Next()) ASSERT_EQ(q->Fields(0)->AsInteger(), ++rows);
      EXPECT_EQ(q->RecordCount(), 1200);
      EXPECT_EQ(q->MoveBy(-1000), -1000);
      EXPECT_EQ(q->Fields(0)->AsInteger(), 200);
      // Still open: this thread's connection serves it, and no other thread may.
      std::thread([&] {
        try {
          q->First();
        } catch (const EDatabaseError& e) {
          error = e.what();
        }
      }).join();
      q->Close();
      q->ReleaseConnection();
    } catch (const std::exception& e) {
      error = e.what();
    }
  });
  worker.join();
  EXPECT_EQ(error, "This dataset is open on another thread");
  EXPECT_EQ(rows, 1200);
  // Closed there, it opens here on a connection of this thread.
  q->Open();
  q->Last();
  q->First();
  EXPECT_EQ(q->Fields(0)->AsInteger(), 1);
}

}  // namespace
}  // namespace rpt::test
