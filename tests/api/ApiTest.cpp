// The public library as a program uses it: only <reportdesigner/ReportDesigner.h>, on
// the example reports over the sample database (and one over the test PostgreSQL server).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <reportdesigner/ReportDesigner.h>

namespace rd = reportdesigner;
namespace fs = std::filesystem;

namespace {

std::string Example(const std::string& name) { return std::string(EXAMPLES_DIR) + "/" + name; }

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("RPT_SAMPLE_DB", SAMPLE_DB_PATH, 1);
    FDir = fs::temp_directory_path() / ("rd_api_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  std::string Path(const std::string& name) const { return (FDir / name).string(); }
  fs::path FDir;
};

std::string Csv(const rd::Report& report) {
  std::string bytes = report.RenderToBytes(rd::Format::Csv);
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
  return bytes;
}

}  // namespace

// Rows handed over in place of the report's query: a null, a missing key, text in
// several scripts and numbers given as text. Without a schema such numbers stay text
// (the report's Total joins them as text); a schema makes them numbers.
TEST_F(ApiTest, RowsTakeThePlaceOfTheReportsData) {
  rd::Report report = rd::Report::Open(Example("orders_by_customer.rpt"));
  const std::vector<rd::Row> rows = {
      {{"order_id", int64_t{1}}, {"order_date", "2024-01-02"}, {"customer_id", int64_t{7}}, {"company", "Müller"},
       {"ship_via", "Luftfracht → 東京"}, {"line_count", int64_t{2}}, {"goods", "12.50"}, {"freight", std::monostate{}}},
      {{"order_id", int64_t{2}}, {"order_date", "2024-01-03"}, {"customer_id", int64_t{7}}, {"company", "Müller"},
       {"ship_via", "Sea"}, {"line_count", "3"}, {"goods", "7"}, {"freight", 1.25}}};
  report.BindRows(rows);
  EXPECT_EQ(Csv(report),
            "Order,Date,Ship via,Lines,Goods,Freight,Total\n"
            "1,2024-01-02,Luftfracht → 東京,2,12.50,,12.500\n"
            "2,2024-01-03,Sea,3,7,1.25,71.25\n");
  report.BindRows(rows, std::vector<rd::Column>{{"order_id", rd::ColumnType::Integer},
                                                {"order_date", rd::ColumnType::Date},
                                                {"customer_id", rd::ColumnType::Integer},
                                                {"company", rd::ColumnType::Text},
                                                {"ship_via", rd::ColumnType::Text},
                                                {"line_count", rd::ColumnType::Integer},
                                                {"goods", rd::ColumnType::Float},
                                                {"freight", rd::ColumnType::Float}});
  EXPECT_EQ(Csv(report),
            "Order,Date,Ship via,Lines,Goods,Freight,Total\n"
            "1,2024-01-02,Luftfracht → 東京,2,12.50,,12.50\n"
            "2,2024-01-03,Sea,3,7.00,1.25,8.25\n");
  EXPECT_THROW(report.BindRows({{{"goods", "lots"}}}, std::vector<rd::Column>{{"goods", rd::ColumnType::Float}}),
               rd::Error);
}

// Parameters reach the query; the database can be another alias or a connection
// string; wrong names, values, strings and files fail with the engine's message.
TEST_F(ApiTest, ParametersDatabasesAndErrors) {
  rd::Report report = rd::Report::Open(Example("orders_by_country.rpt"));
  ASSERT_EQ(report.Parameters().size(), 3u);
  EXPECT_EQ(report.Parameters()[1].Type, "date");
  report.SetParameters({{"COUNTRY", "Austria"}, {"from", "2024-01-01"}, {"TO", "2024-06-30"}});
  rd::RenderResult result;
  const std::string own = report.RenderToBytes(rd::Format::Csv, {}, &result);
  EXPECT_EQ(result.Rows, 37);
  report.BindConnection(std::string("sqlite:") + SAMPLE_DB_PATH);
  EXPECT_EQ(report.RenderToBytes(rd::Format::Csv), own);
  report.BindAlias("Sample");
  EXPECT_EQ(report.RenderToBytes(rd::Format::Csv), own);

  auto message = [&](auto&& call) -> std::string {
    try {
      call();
    } catch (const rd::Error& e) {
      return e.what();
    }
    return "no error";
  };
  report.SetParameter("FROM", int64_t{5});
  EXPECT_NE(message([&] { report.Render(Path("x.csv")); }).find("FROM"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("x.csv")));
  report.SetParameter("FROM", std::monostate{});  // back to its default
  report.SetParameter("REGION", "EU");
  EXPECT_NE(message([&] { report.Render(Path("x.csv")); }).find("no parameter REGION"), std::string::npos);
  report.SetParameter("REGION", std::monostate{});
  report.BindAlias("NoSuchAlias");
  EXPECT_NE(message([&] { report.Render(Path("x.pdf")); }).find("NoSuchAlias"), std::string::npos);
  EXPECT_NE(message([&] { report.BindConnection("mysql://db/x"); }).find("Connection string"), std::string::npos);
  EXPECT_NE(message([&] { report.Render(Path("x.docx")); }).find(".docx"), std::string::npos);
  EXPECT_NE(message([] { rd::Report::FromBytes("QXRP\x02\x05", "cut.rpt"); }).find("cut.rpt: offset"),
            std::string::npos);
  EXPECT_NE(message([] { rd::Report::Open("/nonexistent/a.rpt"); }).find("/nonexistent/a.rpt"), std::string::npos);
}

// A callback that answers false stops the render: Cancelled, and neither a new file
// nor a change to an old one, whether pages are written as they come (PDF) or rows
// are exported (CSV).
TEST_F(ApiTest, CancellingFromTheCallbackWritesNothing) {
  rd::Report report = rd::Report::Open(Example("orders_by_customer.rpt"));
  for (const std::string name : {"kept.pdf", "kept.csv", "new.pdf"}) {
    if (name.rfind("kept", 0) == 0) std::ofstream(Path(name)) << "good";
    int pages = 0;
    rd::RenderOptions options;
    options.OnProgress = [&pages](const rd::Progress& p) {
      pages = p.Page;
      return p.Page < 2;
    };
    EXPECT_THROW(report.Render(Path(name), options), rd::Cancelled) << name;
    EXPECT_EQ(pages, 2) << name;
    if (name.rfind("kept", 0) == 0) {
      std::ifstream in(Path(name));
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "good") << name;
    } else {
      EXPECT_FALSE(fs::exists(Path(name)));
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()), 2);
}

// Four renders at once on four threads give the bytes they give one by one: PDFs with
// a fixed creation time (fonts, pictures and drawing on each thread; one report with a
// sub-detail query that runs on the render's thread) and CSV with parameters, two of
// them from the same Report. The Reports are opened on this thread and rendered on
// others. Recordings are not compared: their header holds the time they were made.
TEST_F(ApiTest, FourThreadsGiveTheBytesOfOneByOne) {
  std::vector<rd::Report> reports;
  for (const char* name : {"orders_by_country.rpt", "product_catalogue.rpt", "order_details.rpt"})
    reports.push_back(rd::Report::Open(Example(name)));
  reports[0].SetParameters({{"COUNTRY", "Austria"}, {"FROM", "2024-01-01"}, {"TO", "2024-12-31"}});
  const std::vector<std::pair<size_t, rd::Format>> jobs = {
      {0, rd::Format::Pdf}, {1, rd::Format::Pdf}, {2, rd::Format::Pdf}, {0, rd::Format::Csv}};
  auto run = [&](size_t i) {
    rd::RenderOptions options;
    options.PdfCreated = 1700000000;
    return reports[jobs[i].first].RenderToBytes(jobs[i].second, options);
  };
  std::vector<std::string> oneByOne, atOnce(jobs.size()), errors(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) oneByOne.push_back(run(i));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i)
    threads.emplace_back([&, i] {
      try {
        atOnce[i] = run(i);
      } catch (const rd::Error& e) {
        errors[i] = e.what();
      }
    });
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(errors[i], "") << "job " << i;
    EXPECT_GT(oneByOne[i].size(), 100u) << "job " << i;
    EXPECT_TRUE(atOnce[i] == oneByOne[i]) << "job " << i << " differs when rendered beside the others";
  }
}

// The PostgreSQL server of the test run (scripts/test.sh starts one and passes its port
// in RPT_TEST_PG_PORT; skipped without): a scratch database made with psql as the
// superuser, dropped at the end.
class ApiPostgresTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    const char* port = std::getenv("RPT_TEST_PG_PORT");
    if (!port) GTEST_SKIP() << "RPT_TEST_PG_PORT is not set: no PostgreSQL server for this run";
    FPort = std::atoi(port);
    FDatabase = "rd_api_" + std::to_string(::getpid());
    Psql("postgres", "DROP DATABASE IF EXISTS " + FDatabase + " WITH (FORCE)");
    Psql("postgres", "CREATE DATABASE " + FDatabase + " TEMPLATE template0 ENCODING 'UTF8'");
  }
  void TearDown() override {
    if (!FDatabase.empty()) Psql("postgres", "DROP DATABASE IF EXISTS " + FDatabase + " WITH (FORCE)");
    ApiTest::TearDown();
  }
  // SQL from a file: no quoting of it through the shell.
  void Psql(const std::string& database, const std::string& sql) {
    const std::string file = Path("statements.sql");
    std::ofstream(file) << "SET client_min_messages = warning;\n" << sql << ";\n";
    const std::string command = "psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(FPort) +
                                " -U postgres -d " + database + " -f '" + file + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  std::string ConnectionString() const {
    return "postgresql://postgres@127.0.0.1:" + std::to_string(FPort) + "/" + FDatabase;
  }
  int FPort = 0;
  std::string FDatabase;
};

// A report made over the sample database renders from the server a connection string
// names: the same query, the server's rows and types (text in several scripts, nulls,
// a count), in the report's order.
TEST_F(ApiPostgresTest, RendersFromAServerNamedByAConnectionString) {
  Psql(FDatabase, R"sql(
    CREATE TABLE customers (customer_id integer PRIMARY KEY, company varchar(60) NOT NULL, contact varchar(40),
      street varchar(60), city varchar(30), postal_code varchar(10), country varchar(30), phone varchar(24));
    CREATE TABLE orders (order_id integer PRIMARY KEY, customer_id integer NOT NULL, order_date date NOT NULL);
    INSERT INTO customers VALUES
      (1, 'Müller & Söhne', 'Zoë Ørsted', 'Hauptstraße 1', 'Berlin', '10115', 'Germany', '+49 30 1'),
      (2, 'Alpen AG', NULL, 'Ring 2', 'Wien', '1010', 'Austria', NULL),
      (3, 'Δelta KK', 'Ito', '1-2 Chiyoda', '東京', '100-0001', 'Japan', NULL);
    INSERT INTO orders VALUES (1, 1, '2024-03-01'), (2, 1, '2023-12-31'), (3, 2, '2024-01-01'),
      (4, 1, '2024-12-31'))sql");
  rd::Report report = rd::Report::Open(Example("customer_cards.rpt"));
  report.BindConnection(ConnectionString());
  EXPECT_EQ(Csv(report),
            "Alpen AG,,Ring 2,\"1010 Wien\nAUSTRIA\",,No. 2\n"
            "Müller & Söhne,Zoë Ørsted,Hauptstraße 1,\"10115 Berlin\nGERMANY\",+49 30 1,No. 1\n");
  // The pages too: the count of 2024's orders decides a band's PrintIf.
  const rd::RenderResult pdf = report.Render(Path("cards.pdf"));
  EXPECT_EQ(pdf.Pages, 1);
  EXPECT_GT(fs::file_size(Path("cards.pdf")), 1000u);
  // A database the server does not have fails the render with the server's message.
  report.BindConnection("postgresql://postgres@127.0.0.1:" + std::to_string(FPort) + "/" + FDatabase + "_none");
  try {
    report.RenderToBytes(rd::Format::Csv);
    ADD_FAILURE() << "no error for a missing database";
  } catch (const rd::Error& e) {
    EXPECT_NE(std::string(e.what()).find(FDatabase + "_none"), std::string::npos) << e.what();
  }
}
