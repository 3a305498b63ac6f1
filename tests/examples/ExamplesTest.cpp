// The example reports, rendered by rpttool on the sample database: the figures their
// PDFs show are read back with pdftotext and compared with the same figures computed
// by SQL, and the grouped list's CSV and workbook rows are the rows SQL returns. Also:
// the committed files are what the generator writes, page ranges and
// progress, another database for the report and its own queries, and bad input that
// fails with a message and leaves no output.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Row = std::vector<std::string>;
const char* const kExamples[] = {"orders_by_customer", "order_details", "customer_cards", "monthly_sales",
                                 "product_catalogue", "orders_by_country", "sales_charts"};

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    // pdftotext starts every page after the first with a form feed.
    line.erase(std::remove(line.begin(), line.end(), '\f'), line.end());
    lines.push_back(line);
  }
  return lines;
}

// Rows of rpttool's CSV (header line dropped): fields may be quoted with "" inside.
std::vector<Row> ParseCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  bool quoted = false, header = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      row.push_back(std::move(field));
      field.clear();
      if (!header) rows.push_back(std::move(row));
      header = false;
      row.clear();
    } else {
      field += c;
    }
  }
  return rows;
}

// "#,##0.00" of an amount in cents, and "#,##0" of a whole number.
std::string Grouped(long long value) {
  std::string digits = std::to_string(std::llabs(value)), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return (value < 0 ? "-" : "") + out;
}
std::string Money(long long cents) {
  const long long whole = std::llabs(cents) / 100, part = std::llabs(cents) % 100;
  return (cents < 0 ? "-" : "") + Grouped(whole) + (part < 10 ? ".0" : ".") + std::to_string(part);
}
std::string Money(double value) { return Money(std::llround(value * 100)); }

// The lines of a text as one string, without indentation and with runs of spaces made
// one: columns become words.
std::string Collapsed(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines)
    all += std::regex_replace(std::regex_replace(l, std::regex("^ +"), ""), std::regex(" {2,}"), " ") + "\n";
  return all;
}

class ExampleReports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Work = fs::temp_directory_path() / ("rpt-examples-" + std::to_string(::getpid()));
    fs::remove_all(Work);
    fs::create_directories(Work / "data");
    fs::create_directories(Work / "runtime");
    fs::permissions(Work / "runtime", fs::perms::owner_all);
    // Masks group by "," and mark decimals with "."; no alias but Sample unless a test
    // puts a database into the private data folder.
    ::setenv("LC_ALL", "C", 1);
    ::setenv("XDG_RUNTIME_DIR", (Work / "runtime").c_str(), 1);
    ::setenv("RPT_DATA_DIR", (Work / "data").c_str(), 1);
    ::setenv("RPT_ALIAS_FILE", (Work / "no-aliases.ini").c_str(), 1);
  }
  static void TearDownTestSuite() { fs::remove_all(Work); }

  static TRun Run(const std::string& program, const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(Work.string()) + " && " + Quote(program);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >out.txt 2>err.txt";
    const int raw = std::system(command.c_str());
    TRun run;
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = ReadFile(Work / "out.txt");
    run.Err = ReadFile(Work / "err.txt");
    return run;
  }
  static TRun Tool(const std::vector<std::string>& args) { return Run(RPTTOOL_PATH, args); }
  static fs::path Example(const std::string& name) { return fs::path(EXAMPLES_DIR) / (name + ".rpt"); }

  // The text of an example's PDF, rendered once for the whole suite.
  static const std::vector<std::string>& PdfText(const std::string& name) {
    static std::map<std::string, std::vector<std::string>> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    const std::string pdf = name + ".pdf";
    const TRun render = Tool({"render", Example(name).string(), pdf});
    EXPECT_EQ(render.Status, 0) << render.Err;
    const TRun text = Run("pdftotext", {"-layout", pdf, "-"});
    EXPECT_EQ(text.Status, 0) << text.Err;
    return cache[name] = Lines(text.Out);
  }

  static std::vector<Row> Query(const std::string& sql) {
    const TRun run = Tool({"query", "Sample", sql});
    EXPECT_EQ(run.Status, 0) << run.Err;
    return ParseCsv(run.Out);
  }

  static inline fs::path Work;
};

const std::string kMoneyRe = "(-?[\\d,]+\\.\\d\\d)";

TEST_F(ExampleReports, TheCommittedFilesAreTheGeneratorsOutputAndTheirTextForm) {
  fs::create_directories(Work / "generated");
  const TRun made = Run(MAKE_EXAMPLES_PATH, {(Work / "generated").string()});
  ASSERT_EQ(made.Status, 0) << made.Err;
  std::vector<std::string> names(std::begin(kExamples), std::end(kExamples));
  // Burst into an invoice per order by rpttool_burst_cli rather than rendered whole here.
  names.push_back("invoices");
  for (const std::string& name : names) {
    for (const char* ext : {".rpt", ".txt"}) {
      const std::string file = std::string(name) + ext;
      EXPECT_EQ(ReadFile(Work / "generated" / file), ReadFile(fs::path(EXAMPLES_DIR) / file))
          << file << " differs from what make_examples writes";
    }
    const TRun dump = Tool({"dump", Example(name).string()});
    EXPECT_EQ(dump.Out, ReadFile(fs::path(EXAMPLES_DIR) / (std::string(name) + ".txt"))) << name;
  }
}

TEST_F(ExampleReports, EachRendersToARecordingAndAPdfOfTheSamePagesWholeOrInPart) {
  const std::regex done("rendered pages 1 to (\\d+) of \\1 into .*\n");
  for (const char* name : kExamples) {
    SCOPED_TRACE(name);
    const TRun qrp = Tool({"render", Example(name).string(), "whole.qrp"});
    std::smatch m;
    ASSERT_TRUE(std::regex_match(qrp.Out, m, done)) << qrp.Out << qrp.Err;
    const int pages = std::stoi(m[1]);
    EXPECT_NE(Tool({"qrp-info", "whole.qrp"}).Out.find("pages: " + std::to_string(pages) + "\n"), std::string::npos);
    const std::vector<std::string>& text = PdfText(name);
    // pdftotext ends every page with a form feed.
    const TRun pdf = Run("pdftotext", {std::string(name) + ".pdf", "-"});
    EXPECT_EQ(std::count(pdf.Out.begin(), pdf.Out.end(), '\f'), pages);
    EXPECT_FALSE(text.empty());
    if (pages < 2) continue;
    // The second page alone, in both forms.
    for (const char* out : {"part.qrp", "part.pdf"})
      EXPECT_EQ(Tool({"render", Example(name).string(), out, "--from", "2", "--to", "2", "--title", "Page two"}).Out,
                "rendered pages 2 to 2 of " + std::to_string(pages) + " into " + out + "\n");
    EXPECT_NE(Tool({"qrp-info", "part.qrp"}).Out.find("pages: 1\n"), std::string::npos);
    // The option names the document.
    EXPECT_NE(Run("pdfinfo", {"part.pdf"}).Out.find("Title:           Page two\n"), std::string::npos);
    const TRun part = Run("pdftotext", {"part.pdf", "-"});
    EXPECT_EQ(part.Out, Run("pdftotext", {"-f", "2", "-l", "2", std::string(name) + ".pdf", "-"}).Out);
  }
}

TEST_F(ExampleReports, ProgressCountsEveryPageAndEndsWithEveryRecord) {
  const TRun run = Tool({"render", Example("orders_by_customer").string(), "progress.qrp", "--progress"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::regex line("page (\\d+) done, (\\d+) records");
  int page = 0, records = 0;
  for (const std::string& l : Lines(run.Err)) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    EXPECT_EQ(std::stoi(m[1]), ++page);
    EXPECT_GE(std::stoi(m[2]), records);
    records = std::stoi(m[2]);
  }
  EXPECT_NE(run.Out.find(" of " + std::to_string(page) + " into"), std::string::npos) << run.Out;
  EXPECT_EQ(std::to_string(records), Query("select count(*) from orders o join customers c using (customer_id) "
                                           "where c.country = 'Germany' and o.order_date like '2024-%'")[0][0]);
}

TEST_F(ExampleReports, CustomerSubtotalsAndTheGrandTotalMatchSql) {
  const std::vector<Row> expected = Query(
      "select c.company, count(*), sum(t.line_count), cast(round(sum(t.goods) * 100) as integer),"
      " cast(round(sum(o.freight) * 100) as integer), cast(round(sum(t.goods + o.freight) * 100) as integer)"
      " from orders o join customers c on c.customer_id = o.customer_id"
      " join order_totals t on t.order_id = o.order_id"
      " where c.country = 'Germany' and o.order_date between '2024-01-01' and '2024-12-31'"
      " group by c.customer_id order by c.company");
  ASSERT_EQ(expected.size(), 42u);
  const std::vector<std::string>& text = PdfText("orders_by_customer");
  const std::regex subtotal("\\s*Total (.+?)\\s{2,}(\\d+)\\s+" + kMoneyRe + "\\s+" + kMoneyRe + "\\s+" + kMoneyRe +
                            "\\s*");
  const std::regex orders("\\s*(\\d+) orders\\s*");
  std::map<std::string, Row> shown;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    std::smatch m, n;
    if (!std::regex_match(text[i], m, subtotal)) continue;
    ASSERT_TRUE(std::regex_match(text[i + 1], n, orders)) << text[i + 1];
    EXPECT_EQ(shown.count(m[1]), 0u) << "two footers for " << m[1];
    shown[m[1]] = {m[1], n[1], m[2], m[3], m[4], m[5]};
  }
  long long count = 0, lines = 0, goods = 0, freight = 0, total = 0;
  for (const Row& r : expected) {
    const Row want = {r[0], r[1], r[2], Money(std::stoll(r[3])), Money(std::stoll(r[4])), Money(std::stoll(r[5]))};
    EXPECT_EQ(shown[r[0]], want) << r[0];
    count += std::stoll(r[1]), lines += std::stoll(r[2]);
    goods += std::stoll(r[3]), freight += std::stoll(r[4]), total += std::stoll(r[5]);
  }
  EXPECT_EQ(shown.size(), expected.size());
  const std::string grand = "\nGrand total " + Grouped(count) + " orders " + Grouped(lines) + " " + Money(goods) +
                            " " + Money(freight) + " " + Money(total) + "\n";
  const std::string average = "\nAverage goods per order " + Money(static_cast<double>(goods) / 100 / count) + "\n";
  const std::string all = Collapsed(text);
  EXPECT_NE(all.find(grand), std::string::npos) << grand;
  EXPECT_NE(all.find(average), std::string::npos) << average;
}

TEST_F(ExampleReports, TheGroupedListCountsItsPagesAndOutlinesItsCustomersAtTheirPages) {
  PdfText("orders_by_customer");  // renders the PDF
  const std::string pdf = "orders_by_customer.pdf";
  std::vector<std::string> pages;
  std::istringstream text(Run("pdftotext", {pdf, "-"}).Out);
  for (std::string page; std::getline(text, page, '\f');) pages.push_back(page);
  if (!pages.empty() && pages.back().find_first_not_of(" \n") == std::string::npos) pages.pop_back();
  const size_t n = pages.size();
  ASSERT_GE(n, 3u);
  for (size_t i = 0; i < n; ++i)
    EXPECT_NE(pages[i].find("Page " + std::to_string(i + 1) + " of " + std::to_string(n)), std::string::npos) << i;
  // No page ends with a customer's heading (the line naming the customer's number) alone.
  std::istringstream laidOut(Run("pdftotext", {"-layout", pdf, "-"}).Out);
  for (std::string page; std::getline(laidOut, page, '\f');) {
    std::string last;
    for (const std::string& line : Lines(page))
      if (line.find_first_not_of(' ') != std::string::npos && line.find("Page ") == std::string::npos) last = line;
    EXPECT_EQ(last.find("Customer no."), std::string::npos) << last;
  }

  // Under the title's entry, one entry per customer, at the page its heading is on.
  const std::vector<Row> companies = Query(
      "select distinct c.company, c.customer_id from orders o join customers c on c.customer_id = o.customer_id"
      " where c.country = 'Germany' and o.order_date between '2024-01-01' and '2024-12-31'");
  const TRun outline = Run("qpdf", {"--json", "--json-key=outlines", pdf});
  ASSERT_EQ(outline.Status, 0) << outline.Err;
  const std::regex entry("\"destpageposfrom1\": (\\d+),\\s*\"kids\": \\[\\],\\s*\"object\": \"[^\"]*\",\\s*"
                         "\"open\": \\w+,\\s*\"title\": \"([^\"]*)\"");
  std::set<std::string> listed;
  for (std::sregex_iterator it(outline.Out.begin(), outline.Out.end(), entry), end; it != end; ++it) {
    const size_t page = std::stoul((*it)[1]);
    const std::string title = (*it)[2];  // company (number)
    ASSERT_TRUE(page >= 1 && page <= n) << title;
    const std::string company = title.substr(0, title.rfind(" ("));
    EXPECT_NE(pages[page - 1].find(company), std::string::npos) << title << " is not on page " << page;
    EXPECT_TRUE(listed.insert(title).second) << title << " is listed twice";
  }
  std::set<std::string> expected;
  for (const Row& r : companies) expected.insert(r[0] + " (" + r[1] + ")");
  EXPECT_EQ(listed, expected);
  EXPECT_NE(outline.Out.find("\"title\": \"Orders by customer\""), std::string::npos);

  // Each customer's totals link back to its heading, inside the document.
  ASSERT_EQ(Run("qpdf", {"--qdf", "--object-streams=disable", pdf, "plain.pdf"}).Status, 0);
  const std::string plain = ReadFile(Work / "plain.pdf");
  size_t links = 0;
  for (size_t at = plain.find("/Subtype /Link"); at != std::string::npos; at = plain.find("/Subtype /Link", at + 1)) ++links;
  EXPECT_EQ(links, expected.size());
  EXPECT_EQ(plain.find("/URI"), std::string::npos);
  EXPECT_EQ(Run("qpdf", {"--check", pdf}).Status, 0);

  // Tagged for screen readers: the title a heading, each customer a heading (again where
  // its header repeats), each order a table row with its cells; a report that does not
  // ask is not tagged.
  const auto count = [&plain](const std::string& what) {
    size_t n = 0;
    for (size_t at = plain.find(what); at != std::string::npos; at = plain.find(what, at + 1)) ++n;
    return n;
  };
  const std::vector<Row> orders = Query(
      "select count(*) from orders o join customers c on c.customer_id = o.customer_id"
      " where c.country = 'Germany' and o.order_date between '2024-01-01' and '2024-12-31'");
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(count("/S /H1\n"), 1u);
  EXPECT_GE(count("/S /H2\n"), expected.size());
  EXPECT_EQ(count("/S /TR\n"), std::stoul(orders[0][0]));
  EXPECT_GE(count("/S /TD\n"), 6 * std::stoul(orders[0][0]));
  PdfText("order_details");
  EXPECT_NE(Run("pdfinfo", {"order_details.pdf"}).Out.find("Tagged:          no"), std::string::npos);
}

TEST_F(ExampleReports, EveryOrderListsItsLinesAndTheirTotal) {
  std::map<std::string, std::vector<Row>> expected;
  for (const Row& r : Query("select o.order_id, l.line_no, p.name, l.quantity,"
                            " cast(round(round(l.quantity * l.unit_price * (1 - l.discount), 2) * 100) as integer)"
                            " from orders o left join order_lines l on l.order_id = o.order_id"
                            " left join products p on p.product_id = l.product_id"
                            " where o.order_date between '2024-12-01' and '2024-12-07'"
                            " order by o.order_date, o.order_id, l.line_no"))
    if (!r[1].empty()) expected[r[0]].push_back({r[1], r[2], r[3], Money(std::stoll(r[4]))});
  ASSERT_EQ(expected.size(), 43u);

  const std::regex header("Order (\\d+)\\s.*");
  const std::regex line("\\s*(\\d+)\\s{2,}(.+?)\\s{2,}(\\d+)\\s{2,}" + kMoneyRe + "\\s{2,}(-|\\d+ ?%)\\s{2,}" +
                        kMoneyRe + "\\s*");
  const std::regex footer("\\s*(\\d+) lines\\s+Order total\\s+" + kMoneyRe + "\\s*");
  const std::regex summary("\\s*All orders\\s+(\\d+) orders\\s+(\\d+) lines\\s+" + kMoneyRe + "\\s*");
  std::map<std::string, std::vector<Row>> shown;
  std::map<std::string, std::string> totals;
  std::vector<std::string> order;
  std::string current;
  long long allLines = 0, allCents = 0;
  for (const std::string& text : PdfText("order_details")) {
    std::smatch m;
    if (std::regex_match(text, m, header)) {
      current = m[1];
      order.push_back(current);
    } else if (std::regex_match(text, m, line)) {
      shown[current].push_back({m[1], m[2], m[3], m[6]});
    } else if (std::regex_match(text, m, footer)) {
      totals[current] = m[2];
      EXPECT_EQ(std::to_string(shown[current].size()), m[1].str()) << current;
    } else if (std::regex_match(text, m, summary)) {
      for (const auto& [id, rows] : expected) {
        allLines += rows.size();
        for (const Row& r : rows) allCents += std::stoll(std::regex_replace(r[3], std::regex("[,.]"), ""));
      }
      EXPECT_EQ(m[1].str(), std::to_string(expected.size()));
      EXPECT_EQ(m[2].str(), std::to_string(allLines));
      EXPECT_EQ(m[3].str(), Money(allCents));
    }
  }
  EXPECT_NE(allLines, 0) << "no summary line";
  EXPECT_EQ(order.size(), expected.size());
  for (const auto& [id, rows] : expected) {
    EXPECT_EQ(shown[id], rows) << "order " << id;
    long long cents = 0;
    for (const Row& r : rows) cents += std::stoll(std::regex_replace(r[3], std::regex("[,.]"), ""));
    EXPECT_EQ(totals[id], Money(cents)) << "order " << id;
  }
}

TEST_F(ExampleReports, EveryCustomerHasExactlyOneCard) {
  std::vector<Row> expected = Query("select customer_id, company from customers"
                                    " where country in ('Germany', 'Austria', 'Switzerland') order by customer_id");
  std::string all;
  for (const std::string& l : PdfText("customer_cards")) all += l + "\n";
  EXPECT_NE(all.find("Customers in Germany, Austria and Switzerland: " + std::to_string(expected.size())),
            std::string::npos);
  std::vector<int> numbers;
  const std::regex number("No\\. (\\d+)");
  for (auto it = std::sregex_iterator(all.begin(), all.end(), number); it != std::sregex_iterator(); ++it)
    numbers.push_back(std::stoi((*it)[1]));
  std::sort(numbers.begin(), numbers.end());
  std::vector<int> ids;
  for (const Row& r : expected) ids.push_back(std::stoi(r[0]));
  EXPECT_EQ(numbers, ids);
  // Each company once: "Lakeside SA" is not counted inside "Lakeside SARL".
  for (const Row& r : expected) {
    size_t count = 0;
    for (size_t at = all.find(r[1]); at != std::string::npos; at = all.find(r[1], at + 1)) {
      const char next = at + r[1].size() < all.size() ? all[at + r[1].size()] : '\n';
      count += next == ' ' || next == '\n';
    }
    EXPECT_EQ(count, 1u) << r[1];
  }
  // A band printed only for the customers without orders this year.
  const std::vector<Row> idle = Query(
      "select count(*) from customers c where country in ('Germany', 'Austria', 'Switzerland') and not exists"
      " (select 1 from orders o where o.customer_id = c.customer_id and o.order_date >= '2024-01-01')");
  ASSERT_EQ(idle.size(), 1u);
  size_t said = 0;
  for (size_t at = all.find("No orders in 2024"); at != std::string::npos; at = all.find("No orders in 2024", at + 1)) ++said;
  EXPECT_EQ(said, std::stoul(idle[0][0]));
  EXPECT_GT(said, 0u);
}

TEST_F(ExampleReports, MonthQuarterAndYearFiguresMatchSql) {
  const std::vector<Row> months = Query(
      "select cast(strftime('%m', order_date) as integer), count(*), sum(line_count),"
      " cast(round(sum(goods) * 100) as integer), cast(round(sum(freight) * 100) as integer)"
      " from order_totals where order_date like '2024-%' group by 1 order by 1");
  ASSERT_EQ(months.size(), 12u);
  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto figures = [](long long orders, long long lines, long long goods, long long freight) {
    return " " + Grouped(orders) + " " + Grouped(lines) + " " + Money(goods) + " " + Money(freight) + " " +
           Money(goods + freight) + " " + Money(static_cast<double>(goods) / 100 / orders) + "\n";
  };
  std::vector<std::string> want;
  long long q[4] = {}, y[4] = {}, best = 0, weakest = -1;
  for (size_t i = 0; i < months.size(); ++i) {
    const long long v[4] = {std::stoll(months[i][1]), std::stoll(months[i][2]), std::stoll(months[i][3]),
                            std::stoll(months[i][4])};
    want.push_back(std::string(names[i]) + " 2024" + figures(v[0], v[1], v[2], v[3]));
    for (int k = 0; k < 4; ++k) q[k] += v[k], y[k] += v[k];
    best = std::max(best, v[2]);
    weakest = weakest < 0 ? v[2] : std::min(weakest, v[2]);
    if (i % 3 == 2) {
      want.push_back("Total Q" + std::to_string(i / 3 + 1) + figures(q[0], q[1], q[2], q[3]));
      std::fill(std::begin(q), std::end(q), 0);
    }
  }
  want.push_back("Year 2024" + figures(y[0], y[1], y[2], y[3]));
  want.push_back("Average goods per month " + Money(static_cast<double>(y[2]) / 100 / 12));
  want.push_back("Best month (goods) " + Money(best) + "\n");
  want.push_back("Weakest month (goods) " + Money(weakest) + "\n");
  char share[32], perOrder[32];
  std::snprintf(share, sizeof share, "%.2f %%", 100.0 * y[3] / y[2]);
  std::snprintf(perOrder, sizeof perOrder, "%.2f", static_cast<double>(y[1]) / y[0]);
  want.push_back("Freight as a share of goods " + std::string(share) + "\n");
  want.push_back("Lines per order " + std::string(perOrder) + "\n");
  want.push_back("Months listed: 12\n");
  const std::string all = Collapsed(PdfText("monthly_sales"));
  for (const std::string& w : want) EXPECT_NE(all.find(w), std::string::npos) << "missing: " << w << "in\n" << all;
}

// The charts add up the report's rows while it prints: each quarter's bars show its
// months' sales and the pie the year's sales per category, as the SQL totals them;
// the charts are vector shapes and texts, no pictures.
TEST_F(ExampleReports, TheChartsShowTheSqlTotalsAsVectors) {
  const std::string rows =
      "select cast(strftime('%m', o.order_date) as integer) as m, c.name as category,"
      " round(sum(l.quantity * l.unit_price * (1 - l.discount)), 2) as amount"
      " from orders o join order_lines l on l.order_id = o.order_id"
      " join products p on p.product_id = l.product_id join categories c on c.category_id = p.category_id"
      " where o.order_date like '2024-%' group by m, c.category_id";
  const std::vector<Row> months = Query("select m, sum(amount) from (" + rows + ") group by m order by m");
  const std::vector<Row> categories =
      Query("select category, sum(amount) from (" + rows + ") group by category order by category");
  ASSERT_EQ(months.size(), 12u);
  ASSERT_EQ(categories.size(), 8u);
  const std::string all = " " + std::regex_replace(Collapsed(PdfText("sales_charts")), std::regex("\\s+"), " ") + " ";
  for (const std::vector<Row>* totals : {&months, &categories})
    for (const Row& row : *totals) {
      const std::string shown = " " + Grouped(std::llround(std::stod(row[1]))) + " ";
      EXPECT_NE(all.find(shown), std::string::npos) << row[0] << ":" << shown << "missing";
    }
  for (const Row& row : categories) EXPECT_NE(all.find(" " + row[0] + " "), std::string::npos) << row[0];
  const TRun images = Run("pdfimages", {"-list", "sales_charts.pdf"});
  EXPECT_EQ(Lines(images.Out).size(), 2u) << "only the heading of the list:\n" << images.Out;
}

TEST_F(ExampleReports, AnotherDatabaseFeedsTheReportAndTheQueriesItOwns) {
  // A copy of the sample database in the data folder, whose company and product names
  // tell it apart.
  const fs::path copy = Work / "data" / "copy.db";
  fs::copy_file(SAMPLE_DB_PATH, copy, fs::copy_options::overwrite_existing);
  const TRun edit = Run("sqlite3", {copy.string(), "update customers set company = 'Copy ' || customer_id;"
                                                   " update products set name = 'Item ' || product_id;"});
  ASSERT_EQ(edit.Status, 0) << edit.Err;
  ASSERT_EQ(Tool({"render", Example("order_details").string(), "copy.pdf", "--database", "copy"}).Status, 0);
  const std::string text = Run("pdftotext", {"-layout", "copy.pdf", "-"}).Out;
  // The header's query read the copy (companies), the report's own query too (products).
  EXPECT_NE(text.find("Copy "), std::string::npos);
  EXPECT_NE(text.find("Item "), std::string::npos);
  EXPECT_EQ(text.find("Sugar sticks"), std::string::npos);
  // The same file named by a connection string instead of an alias.
  ASSERT_EQ(Tool({"render", Example("order_details").string(), "direct.pdf", "--database", "sqlite:" + copy.string()})
                .Status,
            0);
  EXPECT_EQ(Run("pdftotext", {"-layout", "direct.pdf", "-"}).Out, text);
  fs::remove(copy);
}

TEST_F(ExampleReports, TheGroupedListExportsExactlyTheSqlsRowsToCsvAndAWorkbook) {
  const std::vector<Row> expected = Query(
      "select o.order_id, o.order_date, o.ship_via, t.line_count, cast(round(t.goods * 100) as integer),"
      " cast(round(o.freight * 100) as integer), cast(round((t.goods + o.freight) * 100) as integer)"
      " from orders o join customers c on c.customer_id = o.customer_id"
      " join order_totals t on t.order_id = o.order_id"
      " where c.country = 'Germany' and o.order_date between '2024-01-01' and '2024-12-31'"
      " order by c.company, o.customer_id, o.order_date, o.order_id");
  ASSERT_GT(expected.size(), 100u);
  const std::string rows = std::to_string(expected.size());

  // CSV: the printed texts, one line per order under the column headings.
  const TRun csv = Tool({"render", Example("orders_by_customer").string(), "orders.csv"});
  ASSERT_EQ(csv.Status, 0) << csv.Err;
  EXPECT_EQ(csv.Out, "exported " + rows + " rows into orders.csv\n");
  std::string text = ReadFile(Work / "orders.csv");
  const std::string heading = "Order,Date,Ship via,Lines,Goods,Freight,Total\r\n";
  ASSERT_EQ(text.substr(0, heading.size()), heading);
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\r')), expected.size() + 1);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::vector<Row> want;
  for (const Row& r : expected)
    want.push_back({r[0], r[1], r[2], r[3], Money(std::stoll(r[4])), Money(std::stoll(r[5])), Money(std::stoll(r[6]))});
  EXPECT_EQ(ParseCsv(text), want);

  // The workbook: the same rows as typed cells, read back by openpyxl.
  const TRun book = Tool({"render", Example("orders_by_customer").string(), "orders.xlsx"});
  ASSERT_EQ(book.Status, 0) << book.Err;
  EXPECT_EQ(book.Out, "exported " + rows + " rows into orders.xlsx\n");
  std::ofstream(Work / "cells.py") << "import sys, openpyxl\n"
                                      "ws = openpyxl.load_workbook(sys.argv[1], read_only=True).active\n"
                                      "for row in ws.iter_rows(min_row=2, values_only=True):\n"
                                      "    cells = []\n"
                                      "    for v in row:\n"
                                      "        if isinstance(v, bool): cells.append('bool:%s' % v)\n"
                                      "        elif isinstance(v, (int, float)): cells.append('number:%.2f' % v)\n"
                                      "        elif hasattr(v, 'isoformat'): cells.append('date:' + v.isoformat())\n"
                                      "        else: cells.append('%s:%s' % (type(v).__name__, v))\n"
                                      "    print(','.join(cells))\n";
  const TRun cells = Run("/usr/bin/python3", {"cells.py", "orders.xlsx"});
  ASSERT_EQ(cells.Status, 0) << cells.Err;
  auto number = [](const std::string& cents) {
    const long long v = std::stoll(cents);
    return "number:" + std::to_string(v / 100) + "." + (v % 100 < 10 ? "0" : "") + std::to_string(v % 100);
  };
  std::vector<std::string> wantCells;
  for (const Row& r : expected)
    wantCells.push_back(number(r[0] + "00") + ",date:" + r[1] + "T00:00:00,str:" + r[2] + "," + number(r[3] + "00") +
                        "," + number(r[4]) + "," + number(r[5]) + "," + number(r[6]));
  EXPECT_EQ(Lines(cells.Out), wantCells);

  // Totals of 30,000 or more are red and bold there, as on the pages; the others are not.
  std::ofstream(Work / "red.py") << "import sys, openpyxl\n"
                                    "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                    "for row in ws.iter_rows(min_row=2):\n"
                                    "    c = row[-1]\n"
                                    "    red = c.font.color is not None and c.font.color.rgb == 'FFFF0000' and c.font.b\n"
                                    "    print('%s %s' % (c.value >= 30000, red))\n";
  const TRun red = Run("/usr/bin/python3", {"red.py", "orders.xlsx"});
  ASSERT_EQ(red.Status, 0) << red.Err;
  size_t marked = 0;
  for (const std::string& line : Lines(red.Out)) {
    EXPECT_TRUE(line == "True True" || line == "False False") << line;
    marked += line == "True True";
  }
  EXPECT_EQ(marked, 6u);
  const TRun png = Tool({"render", Example("orders_by_customer").string(), "page.png", "--dpi", "40"});
  ASSERT_EQ(png.Status, 0) << png.Err;
  int reddish = 0;
  for (const auto& entry : fs::directory_iterator(Work))
    if (entry.path().filename().string().rfind("page-", 0) == 0) {
      const QImage image(QString::fromStdString(entry.path().string()));
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
          const QColor c = image.pixelColor(x, y);
          reddish += c.red() > 180 && c.green() < 110 && c.blue() < 110;
        }
    }
  EXPECT_GT(reddish, 6 * 5);
}

TEST_F(ExampleReports, TheGroupedListPrintsRowsFromAJsonOrCsvFileInPlaceOfItsQuery) {
  // Absent keys and nulls print empty (and add nothing); the same rows as CSV print alike.
  std::ofstream(Work / "rows.json")
      << R"([{"order_id": 1, "order_date": "2024-03-01", "customer_id": 7, "company": "Blåbær GmbH", "city": "Köln",)"
         R"( "ship_via": "Air", "line_count": 2, "goods": 100.5, "freight": 3.25},)"
         R"( {"order_id": 2, "order_date": "2024-03-05", "customer_id": 7, "company": "Blåbær GmbH", "city": "Köln",)"
         R"( "ship_via": null, "line_count": 1, "goods": 20},)"
         R"( {"order_id": 3, "order_date": "2024-04-01", "customer_id": 9, "company": "Zeta AG", "city": "Bonn",)"
         R"( "ship_via": "Sea", "line_count": 4, "goods": 7, "freight": 1}])";
  std::ofstream(Work / "rows.csv") << "order_id,order_date,customer_id,company,city,ship_via,line_count,goods,"
                                      "freight\r\n1,2024-03-01,7,Blåbær GmbH,Köln,Air,2,100.5,3.25\r\n"
                                      "2,2024-03-05,7,\"Blåbær GmbH\",Köln,,1,20,\r\n"
                                      "3,2024-04-01,9,Zeta AG,Bonn,Sea,4,7,1\r\n";
  const std::string want = "Order,Date,Ship via,Lines,Goods,Freight,Total\r\n1,2024-03-01,Air,2,100.50,3.25,103.75\r\n"
                           "2,2024-03-05,,1,20.00,,20.00\r\n3,2024-04-01,Sea,4,7.00,1.00,8.00\r\n";
  for (const std::string rows : {"rows.json", "rows.csv"}) {
    const TRun csv = Tool({"render", Example("orders_by_customer").string(), "rows-out.csv", "--data", rows});
    ASSERT_EQ(csv.Status, 0) << csv.Err;
    EXPECT_EQ(ReadFile(Work / "rows-out.csv"), want) << rows;
  }
  ASSERT_EQ(Tool({"render", Example("orders_by_customer").string(), "rows.pdf", "--data", "rows.json"}).Status, 0);
  const std::string pdf = Collapsed(Lines(Run("pdftotext", {"-layout", "rows.pdf", "-"}).Out));
  EXPECT_NE(pdf.find("Total Blåbær GmbH 3 120.50 3.25 123.75"), std::string::npos) << pdf;
  EXPECT_NE(pdf.find("Grand total 3 orders 7 127.50 4.25 131.75"), std::string::npos) << pdf;

  std::ofstream(Work / "bad.csv") << "order_id,company\n1,\"a \"\"b\"\"\"\n2,x\"y\n";
  const TRun bad = Tool({"render", Example("orders_by_customer").string(), "bad-out.pdf", "--data", "bad.csv"});
  EXPECT_EQ(bad.Status, 1);
  EXPECT_NE(bad.Err.find("bad.csv, line 3, column 4: a quote inside"), std::string::npos) << bad.Err;
  EXPECT_FALSE(fs::exists(Work / "bad-out.pdf"));
  EXPECT_EQ(Tool({"render", Example("orders_by_customer").string(), "x.pdf", "--data", "rows.json", "--database",
                  "Sample"}).Status, 2);
}

TEST_F(ExampleReports, BadInputFailsWithAMessageAndLeavesNoOutput) {
  const fs::path bad = Work / "bad";
  fs::create_directories(bad);
  const std::string good = Example("monthly_sales").string();
  // A damaged file: cut inside its stream.
  std::ofstream(bad / "cut.rpt", std::ios::binary) << ReadFile(good).substr(0, 3000);
  // A report whose query names a table the database does not have.
  std::string text = ReadFile(fs::path(EXAMPLES_DIR) / "monthly_sales.txt");
  text.replace(text.find("from order_totals"), 17, "from no_such_table");
  std::ofstream(bad / "broken.txt", std::ios::binary) << text;
  ASSERT_EQ(Tool({"build", (bad / "broken.txt").string(), (bad / "broken.rpt").string()}).Status, 0);
  std::ofstream(bad / "a-file") << "not a folder";
  // An output that exists stays as it was when a render fails.
  std::ofstream(bad / "kept.pdf") << "good";

  struct TCase {
    std::vector<std::string> Args;
    std::string Message;
    fs::path Output;
  };
  const TCase cases[] = {
      {{"render", (bad / "missing.rpt").string(), (bad / "o1.pdf").string()}, "missing.rpt", bad / "o1.pdf"},
      {{"render", good, (bad / "o2.pdf").string(), "--database", "NoSuchAlias"}, "NoSuchAlias", bad / "o2.pdf"},
      {{"render", good, (bad / "kept.pdf").string(), "--database", "NoSuchAlias"}, "NoSuchAlias", bad / "kept.pdf"},
      {{"render", (bad / "cut.rpt").string(), (bad / "o3.qrp").string()}, "cut.rpt: offset", bad / "o3.qrp"},
      {{"render", (bad / "broken.rpt").string(), (bad / "o4.pdf").string()}, "no_such_table", bad / "o4.pdf"},
      {{"render", good, (bad / "no-folder" / "o5.pdf").string()}, "Cannot create file", bad / "no-folder"},
      {{"render", good, (bad / "a-file" / "o6.qrp").string()}, "Cannot create file", bad / "a-file" / "o6.qrp"},
      {{"render", good, (bad / "o7.pdf").string(), "--from", "5"}, "--from 5 prints nothing", bad / "o7.pdf"},
      {{"render", good, (bad / "no-folder" / "o10.csv").string()}, "Cannot create file", bad / "no-folder"},
      {{"render", (bad / "broken.rpt").string(), (bad / "o11.xlsx").string()}, "no_such_table", bad / "o11.xlsx"},
      {{"render", (bad / "broken.rpt").string(), (bad / "o12.png").string()}, "no_such_table", bad / "o12.png"},
      {{"render", (bad / "broken.rpt").string(), (bad / "o13.csv").string()}, "no_such_table", bad / "o13.csv"},
  };
  for (const TCase& c : cases) {
    const TRun run = Tool(c.Args);
    EXPECT_EQ(run.Status, 1) << c.Args[1] << " " << c.Args[2];
    EXPECT_NE(run.Err.find("rpttool: "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Err;
    if (c.Output.filename() == "kept.pdf")
      EXPECT_EQ(ReadFile(c.Output), "good");
    else
      EXPECT_FALSE(fs::exists(c.Output)) << c.Output;
  }
  // No temporary file is left beside the outputs.
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(bad)) left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"a-file", "broken.rpt", "broken.txt", "cut.rpt", "kept.pdf"}));
  // A wrong command line is a usage error.
  EXPECT_EQ(Tool({"render", good, (bad / "o8.txt").string()}).Status, 2);
  EXPECT_EQ(Tool({"render", good, (bad / "o9.pdf").string(), "--from", "3", "--to", "2"}).Status, 2);
  EXPECT_EQ(Tool({"render", good, (bad / "o14.csv").string(), "--from", "2"}).Status, 2);
  EXPECT_EQ(Tool({"render", good, (bad / "o15.pdf").string(), "--dpi", "300"}).Status, 2);
  EXPECT_EQ(Tool({"render", good, (bad / "o16.png").string(), "--dpi", "5"}).Status, 2);
}

// Reports that used to come out wrong without a word: a query parameter nothing sets (ran
// as NULL: an empty report), a group expression that does not compile (no group ever
// broke), margins wider than the paper (text cut at the paper's edge, or hundreds of
// blank pages). The first two stop with a message and no output; margins are left out
// for the render, which says so once.
TEST_F(ExampleReports, ReportsThatWouldPrintWrongStopOrSaySo) {
  const fs::path dir = Work / "wrong";
  fs::create_directories(dir);
  const std::string text = ReadFile(fs::path(EXAMPLES_DIR) / "orders_by_customer.txt");
  const auto variant = [&](const std::string& name, const std::string& from, const std::string& to) {
    std::string edited = text;
    const size_t at = edited.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) edited.replace(at, from.size(), to);
    std::ofstream(dir / (name + ".txt"), std::ios::binary) << edited;
    EXPECT_EQ(Tool({"build", (dir / (name + ".txt")).string(), (dir / (name + ".rpt")).string()}).Status, 0);
    return (dir / (name + ".rpt")).string();
  };
  const std::string param = variant("param", "where c.country = 'Germany'", "where c.country = :country");
  const std::string group = variant("group", "Expression = \"customer_id\"", "Expression = \"customer_idd\"");
  for (const auto& [file, message] :
       {std::pair{param, std::string("The query parameter :country has no value")},
        std::pair{group, std::string("The group CustomerGroup cannot be formed: its expression \"customer_idd\" does "
                                     "not compile (Unknown function : CUSTOMER_IDD)")}}) {
    const TRun run = Tool({"render", file, (dir / "out.pdf").string()});
    EXPECT_EQ(run.Status, 1) << file;
    EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(dir / "out.pdf"));
  }
  // The query command too names a parameter it is not given.
  const std::string sql = "select count(*) as n from customers where country = :country";
  const TRun unset = Tool({"query", "Sample", sql});
  EXPECT_EQ(unset.Status, 1);
  EXPECT_NE(unset.Err.find("the parameter :country has no value; give it as country=VALUE"), std::string::npos)
      << unset.Err;
  EXPECT_EQ(Tool({"query", "Sample", sql, "country=Germany"}).Status, 0);

  // Page.Values: bottom, length, top, width, left, right, column space.
  const std::string margins = "  Page.Values = list  (svList)\n    120  (svExtended)\n    2970  (svExtended)\n"
                              "    120  (svExtended)\n    2100  (svExtended)\n    150  (svExtended)\n"
                              "    150  (svExtended)\n";
  const std::string sides = variant("sides", margins,
                                    "  Page.Values = list  (svList)\n    120  (svExtended)\n    2970  (svExtended)\n"
                                    "    120  (svExtended)\n    2100  (svExtended)\n    1500  (svExtended)\n"
                                    "    1500  (svExtended)\n");
  const std::string all = variant("all", margins,
                                  "  Page.Values = list  (svList)\n    2000  (svExtended)\n    2970  (svExtended)\n"
                                  "    2000  (svExtended)\n    2100  (svExtended)\n    1500  (svExtended)\n"
                                  "    1500  (svExtended)\n");
  const std::string sidesWarning = "rpttool: warning: The left and right margins are together wider than the paper";
  const std::string lengthWarning = "rpttool: warning: The top and bottom margins are together longer than the paper";
  for (const auto& [file, warnings] : {std::pair{sides, 1}, std::pair{all, 2}}) {
    const TRun run = Tool({"render", file, (dir / "margins.pdf").string()});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto count = [&run](const std::string& warning) {
      size_t n = 0;
      for (size_t at = run.Err.find(warning); at != std::string::npos; at = run.Err.find(warning, at + 1)) ++n;
      return n;
    };
    EXPECT_EQ(count(sidesWarning), 1u) << run.Err;
    EXPECT_EQ(count(lengthWarning), warnings == 2 ? 1u : 0u) << run.Err;
    const TRun info = Run("pdfinfo", {(dir / "margins.pdf").string()});
    EXPECT_NE(info.Out.find("Pages:           " + std::to_string(warnings == 2 ? 7 : 8) + "\n"), std::string::npos)
        << info.Out;
    const TRun pdf = Run("pdftotext", {(dir / "margins.pdf").string(), "-"});
    EXPECT_NE(pdf.Out.find("Customers in Germany, orders placed in 2024"), std::string::npos) << pdf.Out;
  }
}

// The parameters of a run come from the command line and select exactly the rows the
// SQL selects with them; a value is bound, never made part of the SQL text.
TEST_F(ExampleReports, TheCountryReportPrintsTheRowsOfTheParametersGiven) {
  const std::vector<Row> expected = Query(
      "select o.order_id, o.order_date, c.company, c.city, cast(round((t.goods + o.freight) * 100) as integer)"
      " from orders o join customers c on c.customer_id = o.customer_id"
      " join order_totals t on t.order_id = o.order_id"
      " where c.country = 'Austria' and o.order_date between '2024-01-01' and '2024-06-30'"
      " order by o.order_date, o.order_id");
  ASSERT_GT(expected.size(), 5u);
  const std::string report = Example("orders_by_country").string();
  const std::vector<std::string> params = {"--param", "COUNTRY=Austria", "--param", "from=2024-01-01",
                                           "--param", "TO=2024-06-30"};
  std::vector<std::string> args = {"render", report, "country.csv"};
  args.insert(args.end(), params.begin(), params.end());
  const TRun csv = Tool(args);
  ASSERT_EQ(csv.Status, 0) << csv.Err;
  std::string text = ReadFile(Work / "country.csv");
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  std::vector<Row> want;
  for (const Row& r : expected) want.push_back({r[0], r[1], r[2], r[3], Money(std::stoll(r[4]))});
  EXPECT_EQ(ParseCsv(text), want);
  // The title reads the parameters as functions.
  args[2] = "country.pdf";
  ASSERT_EQ(Tool(args).Status, 0);
  const std::string pdf = Collapsed(Lines(Run("pdftotext", {"-layout", "country.pdf", "-"}).Out));
  EXPECT_NE(pdf.find("Orders from Austria"), std::string::npos) << pdf;
  EXPECT_NE(pdf.find("placed from 2024-01-01 to 2024-06-30"), std::string::npos) << pdf;

  // Quotes in a value find only a country of that name: no order, the empty structure.
  ASSERT_EQ(Tool({"render", report, "none.csv", "--param", "COUNTRY=Austria' or 'a'='a", "--param", "FROM=2024-01-01",
                  "--param", "TO=2024-06-30"}).Status, 0);
  EXPECT_EQ(ReadFile(Work / "none.csv"), ",,,,\r\n");

  // check lists them.
  const TRun check = Tool({"check", report});
  EXPECT_NE(check.Out.find("\nparameter: COUNTRY string  default \"'Austria'\"  prompt \"Country\"  choices "),
            std::string::npos) << check.Out;
  EXPECT_NE(check.Out.find("\nparameter: FROM date  default \"YEARSTART\"  prompt \"Orders placed from\"\n"),
            std::string::npos) << check.Out;

  // A wrong value, an unknown name or a parameter without a value: status 1, a message
  // naming it, no output.
  std::string dump = ReadFile(fs::path(EXAMPLES_DIR) / "orders_by_country.txt");
  const size_t at = dump.find("Default = \"YEARSTART\"");
  ASSERT_NE(at, std::string::npos) << dump;
  dump.erase(at, dump.find('\n', at) - at + 1);
  std::ofstream(Work / "nodefault.txt", std::ios::binary) << dump;
  ASSERT_EQ(Tool({"build", "nodefault.txt", "nodefault.rpt"}).Status, 0);
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"render", report, "bad.csv", "--param", "FROM=2024-02-30"}, "Parameter FROM: '2024-02-30' is not a date"},
      {{"render", report, "bad.csv", "--param", "REGION=North"}, "The report has no parameter REGION"},
      {{"render", "nodefault.rpt", "bad.csv"}, "Parameter FROM has no value"},
      {{"render", "nodefault.rpt", "bad.pdf"}, "Parameter FROM has no value"}};
  for (const auto& [run, message] : failures) {
    const TRun r = Tool(run);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_NE(r.Err.find(message), std::string::npos) << r.Err;
  }
  EXPECT_FALSE(fs::exists(Work / "bad.csv"));
  EXPECT_FALSE(fs::exists(Work / "bad.pdf"));
  EXPECT_EQ(Tool({"render", report, "bad.csv", "--param", "FROM"}).Status, 2);
}

// The catalogue's first page: the logo and the pictures are on it, and a barcode reader
// reads the EAN-13 code of every product listed there, equal to the database's.
TEST_F(ExampleReports, TheCatalogueShowsPicturesAndItsCodesReadBackFromThePdf) {
  const TRun check = Tool({"check", Example("product_catalogue").string()});
  ASSERT_EQ(check.Status, 0) << check.Err;
  EXPECT_NE(check.Out.find("    TQRImage Logo  parent TitleBand  60.0 x 18.0 mm at 0.0, 0.0  SVG 280 x 72 px, "),
            std::string::npos) << check.Out;
  EXPECT_NE(check.Out.find("    TQRDBImage Picture  parent DetailBand  20.0 x 20.0 mm at 0.0, 2.0  field \"picture\"\n"),
            std::string::npos) << check.Out;
  EXPECT_NE(check.Out.find("    TQRBarcode Ean  parent DetailBand  44.0 x 20.0 mm at 126.0, 2.0  EAN-13 of \"ean\"\n"),
            std::string::npos) << check.Out;
  const std::vector<std::string>& text = PdfText("product_catalogue");
  ASSERT_FALSE(text.empty());
  const TRun images = Run("pdfimages", {"-list", "-f", "1", "-l", "1", "product_catalogue.pdf"});
  ASSERT_EQ(images.Status, 0) << images.Err;
  // The logo and the pictures of the products that have one (every sixth on page 1).
  EXPECT_GE(std::count(images.Out.begin(), images.Out.end(), '\n'), 2 + 2) << images.Out;
  ASSERT_EQ(Run("pdftoppm", {"-r", "200", "-f", "1", "-l", "1", "-png", "product_catalogue.pdf", "page"}).Status, 0);
  const TRun read = Run("zbarimg", {"--raw", "-q", "page-1.png"});
  std::set<std::string> codes;
  for (const std::string& line : Lines(read.Out))
    if (!line.empty()) codes.insert(line);
  const std::vector<Row> expected = Query(
      "select k.ean from products p join catalogue k on k.product_id = p.product_id "
      "order by p.category_id, p.product_id limit 5");
  ASSERT_EQ(expected.size(), 5u);
  for (const Row& row : expected) EXPECT_EQ(codes.count(row[0]), 1u) << row[0] << " not read; read: " << read.Out;
}

}  // namespace
