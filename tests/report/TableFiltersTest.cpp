// The export filters of detail rows: a grouped list over a few hundred orders exported
// to CSV (bytes as RFC 4180 has them, one header, one row per detail, left to right) and
// to a workbook read back with openpyxl (numbers, dates, truth values and texts typed);
// the printer of a preview exports through its report; a failed or cancelled pass and
// an unwritable folder leave no file and keep the one there.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <QColor>
#include <QImage>

#include "objects/Exceptions.h"
#include "output/QRPageImage.h"
#include "report/QRExportFilters.h"
#include "report/QRTableFilters.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> CrlfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  EXPECT_EQ(start, text.size()) << "the last line has no CR LF";
  return lines;
}

// Each cell of the workbook's sheet as "row col kind value | number format", one a line,
// from openpyxl in Debian's own interpreter.
std::string WorkbookCells(const std::string& file) {
  const std::string script =
      "import sys, openpyxl\n"
      "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
      "for row in ws.iter_rows():\n"
      "    for c in row:\n"
      "        if c.value is None: continue\n"
      "        v = c.value.isoformat() if hasattr(c.value, 'isoformat') else repr(c.value)\n"
      "        style = []\n"
      "        if c.font.color is not None and c.font.color.type == 'rgb': style += ['color', c.font.color.rgb]\n"
      "        if c.fill.fill_type == 'solid': style += ['fill', c.fill.fgColor.rgb]\n"
      "        print(c.row, c.column, type(c.value).__name__, v, '|', c.number_format,"
      " 'bold' if c.font.b else '', *style)\n"
      "for key, dim in sorted(ws.column_dimensions.items()):\n"
      "    print('width', key, dim.width)\n";
  const std::string scriptFile = file + ".py";
  std::ofstream(scriptFile) << script;
  std::string out;
  if (FILE* p = popen(("/usr/bin/python3 '" + scriptFile + "' '" + file + "' 2>&1").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  }
  fs::remove(scriptFile);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class TableFilters : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    // Five orders with awkward texts and values, then enough plain ones for several pages.
    MakeDatabase(
        "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer TEXT, placed DATE, shipped DATETIME,"
        " amount REAL, paid BOOLEAN, note TEXT);"
        "INSERT INTO orders VALUES"
        " (1, 'Alpha', '2024-01-05', '2024-01-06 14:30:00', 1234.5, 1, 'plain'),"
        " (2, 'Alpha', '2024-02-10', NULL, 0.25, 0, 'comma, inside'),"
        " (3, 'Beta', '2024-03-15', '2024-03-15 08:00:00', NULL, 1, 'say \"hi\"'),"
        " (4, 'Beta', '2024-04-20', NULL, -7, 1, 'two' || char(10) || 'lines'),"
        " (5, 'Gamma', '2024-05-25', NULL, 1000000, 0, 'M' || char(252) || 'ller');"
        "WITH RECURSIVE c(x) AS (SELECT 6 UNION ALL SELECT x + 1 FROM c WHERE x < 300)"
        " INSERT INTO orders SELECT x, 'Zeta ' || (x / 50), '2024-06-01', NULL, x * 1.5, x % 2, 'n' || x FROM c;");
    Orders = Query("select id, customer, placed, shipped, amount, paid, note from orders order by customer, id");
    Orders->SetName("Orders");
    Orders->Open();
    Report->SetDataSet(Orders);

    Label(Band(rbTitle, "Title", 10), "Heading", "Orders");
    TQRBand* columns = Band(rbColumnHeader, "Columns", 6);
    // Made out of order: the row goes left to right whatever the order of making.
    for (auto [name, caption, left] : {std::tuple{"HNote", "Note", 150.0}, {"HId", "Id", 0.0},
                                       {"HPlaced", "Placed", 40.0}, {"HAmount", "Amount", 100.0},
                                       {"HCustomer", "Customer", 15.0}, {"HShipped", "Shipped", 65.0},
                                       {"HPaid", "Paid", 125.0}})
      Label(columns, name, caption, left);
    auto* byCustomer = Add<TQRGroup>("ByCustomer");
    byCustomer->SetExpression("Orders.customer");
    byCustomer->Size()->SetHeight(6);
    Field(byCustomer, "GroupName", Orders, "customer", 0);
    TQRBand* detail = Band(rbDetail, "Detail", 6);
    Field(detail, "Note", Orders, "note", 150)->Size()->SetWidth(40);
    Field(detail, "Id", Orders, "id", 0);
    Field(detail, "Customer", Orders, "customer", 15);
    Field(detail, "Placed", Orders, "placed", 40);
    Field(detail, "Shipped", Orders, "shipped", 65);
    Field(detail, "Amount", Orders, "amount", 100)->SetMask("#,##0.00");
    Field(detail, "Paid", Orders, "paid", 125);
    TQRBand* footer = Band(rbDetail, "CustomerFooter", 6);
    byCustomer->SetFooterBand(footer);
    auto* subtotal = Expr(footer, "Subtotal", "SUM(Orders.amount)", 100);
    subtotal->SetMaster(Report);
    subtotal->SetResetAfterPrint(true);
    Label(Band(rbSummary, "Summary", 6), "End", "end of list");
  }

  std::string File(const std::string& name) const { return DataDir + "/" + name; }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(DataDir))
      if (entry.path().extension() != ".db") names.insert(entry.path().filename().string());
    return names;
  }

  TQuery* Orders = nullptr;
};

TEST_F(TableFilters, CsvHoldsOneRowPerDetailUnderOneHeaderLine) {
  // The list runs over several pages, so the column header prints more than once.
  Run();
  ASSERT_GE(PageCount(), 3);

  TQRCSVFilter csv(File("orders.csv"));
  Report->ExportToFilter(csv);
  EXPECT_EQ(csv.RowCount(), 300);
  const std::string text = ReadFile(File("orders.csv"));
  const std::vector<std::string> lines = CrlfLines(text);
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines[0], "Id,Customer,Placed,Shipped,Amount,Paid,Note");
  // The rows as the report prints them, with quotes where RFC 4180 wants them; a null
  // is an empty field.
  EXPECT_EQ(lines[1], "1,Alpha,2024-01-05,2024-01-06 14:30:00,\"1,234.50\",True,plain");
  EXPECT_EQ(lines[2], "2,Alpha,2024-02-10,,0.25,False,\"comma, inside\"");
  EXPECT_EQ(lines[3], "3,Beta,2024-03-15,2024-03-15 08:00:00,,True,\"say \"\"hi\"\"\"");
  EXPECT_EQ(lines[4], "4,Beta,2024-04-20,,-7.00,True,\"two\nlines\"");
  EXPECT_EQ(lines[5], "5,Gamma,2024-05-25,,\"1,000,000.00\",False,M\xC3\xBCller");
  EXPECT_EQ(lines[300], "300,Zeta 6,2024-06-01,,450.00,False,n300");
  // No line is a group, footer or summary line.
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(std::to_string(i) + ",", 0), 0u) << lines[i];
    EXPECT_EQ(lines[i].find("end of list"), std::string::npos);
  }
  EXPECT_EQ(Files(), (std::set<std::string>{"orders.csv"}));
}

TEST_F(TableFilters, AControlLeftOutByItsConditionKeepsAnEmptyCell) {
  static_cast<TQRPrintable*>(Report->FindComponent("Placed"))->SetPrintIf("Orders.amount > 1");
  // Rows are written before the page count is known: it is left out, and said once.
  static_cast<TQRPrintable*>(Report->FindComponent("Note"))->Size()->SetLeft(140);
  Expr(Report->FindBand(rbDetail), "Of", "'of ' + STR(PAGECOUNT)", 190);
  TQRCSVFilter csv(File("orders.csv"));
  Report->ExportToFilter(csv);
  const std::vector<std::string> lines = CrlfLines(ReadFile(File("orders.csv")));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "1,Alpha,2024-01-05,2024-01-06 14:30:00,\"1,234.50\",True,plain,of ");
  EXPECT_EQ(lines[2], "2,Alpha,,,0.25,False,\"comma, inside\",of ");
  EXPECT_EQ(Report->GenerationMessages(),
            std::vector<std::string>{"Of: the page count is not known while rows are exported; it is left out"});
}

TEST_F(TableFilters, HighlightsStyleTheFirstRuleThatHoldsOnThePageAndInTheWorkbook) {
  auto* amount = static_cast<TQRPrintable*>(Report->FindComponent("Amount"));
  TQRHighlight* big = amount->Highlights()->AddRule();
  big->SetCondition("Orders.amount >= 1000");
  big->SetFontColor(clRed);
  big->SetFontStyle(TFontStyles{fsBold});
  TQRHighlight* negative = amount->Highlights()->AddRule();
  negative->SetCondition("Orders.amount < 0");
  negative->SetColor(clYellow);
  amount->Highlights()->AddRule()->SetCondition("Orders.nosuch = 1");
  TQRHighlight* hide = static_cast<TQRPrintable*>(Report->FindComponent("Note"))->Highlights()->AddRule();
  hide->SetCondition("Orders.id = 2");
  hide->SetVisible(false);

  // The page: the large amount in red, the negative one on yellow.
  Run();
  const QImage page = RenderPageImage(*Report->QRPrinter()->PageImage(1), 96.0);
  int red = 0, yellow = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
      yellow += c.red() > 200 && c.green() > 200 && c.blue() < 80;
    }
  EXPECT_GT(red, 10);
  EXPECT_GT(yellow, 50);
  const std::vector<std::string> messages = Report->GenerationMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Amount: its highlight 3 fails", 0), 0u) << messages[0];

  // The workbook: the same cells styled, the hidden note left out; others as they were.
  RegisterExportFilters();
  const std::unique_ptr<TQRExportFilter> filter = ExportFilters().FindByExtension("xlsx")->FilterClass(File("o.xlsx"));
  Report->ExportToFilter(*filter);
  const std::vector<std::string> cells = Lines(WorkbookCells(File("o.xlsx")));
  const auto has = [&cells](const std::string& cell) { return std::find(cells.begin(), cells.end(), cell) != cells.end(); };
  EXPECT_TRUE(has("2 5 float 1234.5 | #,##0.00 bold color FFFF0000")) << ::testing::PrintToString(cells);
  EXPECT_TRUE(has("5 5 int -7 | #,##0.00  fill FFFFFF00"));
  EXPECT_TRUE(has("3 5 float 0.25 | #,##0.00 "));
  EXPECT_FALSE(std::any_of(cells.begin(), cells.end(), [](const std::string& c) { return c.rfind("3 7 ", 0) == 0; }));
  EXPECT_TRUE(has("4 7 str 'say \"hi\"' | General "));
}

TEST_F(TableFilters, WorkbookCellsKeepTheirKinds) {
  RegisterExportFilters();
  const TQRExportFilterEntry* entry = ExportFilters().FindByExtension("xlsx");
  ASSERT_NE(entry, nullptr);
  const std::unique_ptr<TQRExportFilter> filter = entry->FilterClass(File("orders.xlsx"));
  Report->ExportToFilter(*filter);
  const std::vector<std::string> cells = Lines(WorkbookCells(File("orders.xlsx")));
  auto has = [&cells](const std::string& cell) {
    return std::find(cells.begin(), cells.end(), cell) != cells.end();
  };
  EXPECT_TRUE(has("1 1 str 'Id' | General bold"));
  EXPECT_TRUE(has("1 7 str 'Note' | General bold"));
  EXPECT_TRUE(has("2 1 int 1 | General "));
  EXPECT_TRUE(has("2 2 str 'Alpha' | General "));
  EXPECT_TRUE(has("2 3 datetime 2024-01-05T00:00:00 | yyyy-mm-dd "));
  EXPECT_TRUE(has("2 4 datetime 2024-01-06T14:30:00 | yyyy-mm-dd hh:mm:ss "));
  EXPECT_TRUE(has("2 5 float 1234.5 | #,##0.00 "));
  EXPECT_TRUE(has("3 5 float 0.25 | #,##0.00 "));
  EXPECT_TRUE(has("5 5 int -7 | #,##0.00 "));
  EXPECT_TRUE(has("3 7 str 'comma, inside' | General "));
  EXPECT_TRUE(has("5 7 str 'two\\nlines' | General "));
  EXPECT_TRUE(has("6 7 str 'M\xC3\xBCller' | General "));
  EXPECT_TRUE(has("301 1 int 300 | General "));
  // Columns as wide as their elements: the 40 mm note is about 21 characters, the
  // narrow ones keep the sheet's default of about 9.
  auto width = [&cells](const std::string& column) {
    for (const std::string& cell : cells)
      if (cell.rfind("width " + column + " ", 0) == 0) return std::stod(cell.substr(8));
    return 0.0;
  };
  EXPECT_NEAR(width("G"), 21.7, 0.5);
  EXPECT_NEAR(width("A"), 9.1, 0.5);
  // A null leaves its cell empty: row 4 (order 3) has no amount, rows without a
  // shipping time none.
  for (const std::string& cell : cells) {
    EXPECT_NE(cell.rfind("4 5 ", 0), 0u) << cell;
    EXPECT_NE(cell.rfind("3 4 ", 0), 0u) << cell;
    EXPECT_NE(cell.rfind("302 ", 0), 0u) << cell;
  }
  // Truth values are the sheet's own.
  EXPECT_TRUE(has("2 6 bool True | General "));
  EXPECT_TRUE(has("3 6 bool False | General "));
  EXPECT_EQ(Files(), (std::set<std::string>{"orders.xlsx"}));
}

TEST_F(TableFilters, APreviewsPagesExportTheirRowsThroughTheReport) {
  Run();
  TQRPrinter* pages = Report->QRPrinter();
  TQRCSVFilter csv(File("again.csv"));
  pages->ExportVia(csv);
  EXPECT_EQ(CrlfLines(ReadFile(File("again.csv"))).size(), 301u);
  // The preview keeps its pages.
  EXPECT_EQ(Report->QRPrinter(), pages);

  // A filter of pages handed to the report gets pages of a run of their own.
  class TPageCount : public TQRExportFilter {
   public:
    using TQRExportFilter::TQRExportFilter;
    bool WritesPages() const override { return true; }
    void WritePages(TQRPrinter& printer, int32_t first, int32_t last) override {
      Pages = last - first + 1;
      Total = printer.TotalPages();
    }
    int32_t Pages = 0, Total = 0;
  } counter("");
  Report->ExportToFilter(counter);
  EXPECT_EQ(counter.Pages, PageCount());
  EXPECT_EQ(counter.Total, PageCount());
}

TEST_F(TableFilters, AFailedOrCancelledPassLeavesNoFileAndKeepsTheOneThere) {
  std::ofstream(File("kept.csv")) << "the good copy";
  std::ofstream(File("kept.xlsx")) << "the good copy";

  // Cancelled half way.
  int printed = 0;
  Report->FindBand(rbDetail)->BeforePrint = [&](TQRCustomBand*, bool&) {
    if (++printed == 100) Report->CancelGeneration();
  };
  TQRCSVFilter cancelledCsv(File("kept.csv"));
  Report->ExportToFilter(cancelledCsv);
  TQRXLSXFilter cancelledBook(File("kept.xlsx"));
  printed = 0;
  Report->ExportToFilter(cancelledBook);
  Report->FindBand(rbDetail)->BeforePrint = nullptr;

  // Failed: an expression that cannot be evaluated stops the pass.
  Report->FindBand(rbDetail)->BeforePrint = [&](TQRCustomBand*, bool&) {
    if (++printed == 50) throw EQRError("the data went away");
  };
  printed = 0;
  TQRCSVFilter failedCsv(File("kept.csv"));
  EXPECT_THROW(Report->ExportToFilter(failedCsv), EQRError);
  printed = 0;
  TQRXLSXFilter failedBook(File("kept.xlsx"));
  EXPECT_THROW(Report->ExportToFilter(failedBook), EQRError);
  Report->FindBand(rbDetail)->BeforePrint = nullptr;
  EXPECT_EQ(ReadFile(File("kept.csv")), "the good copy");
  EXPECT_EQ(ReadFile(File("kept.xlsx")), "the good copy");

  // A folder that is not there fails at the start, with the file's name.
  for (const char* name : {"missing/orders.csv", "missing/orders.xlsx"}) {
    RegisterExportFilters();
    const std::unique_ptr<TQRExportFilter> filter =
        ExportFilters().FindByExtension(fs::path(name).extension().string())->FilterClass(File(name));
    try {
      Report->ExportToFilter(*filter);
      ADD_FAILURE() << name << " was written";
    } catch (const EFCreateError& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Files(), (std::set<std::string>{"kept.csv", "kept.xlsx"}));
  // The report is ready for another run.
  TQRCSVFilter after(File("after.csv"));
  Report->ExportToFilter(after);
  EXPECT_EQ(after.RowCount(), 300);
}

TEST(TableFilterFormats, CsvFieldsAndWorkbookNumberFormats) {
  EXPECT_EQ(TQRCSVFilter::Field("plain text"), "plain text");
  EXPECT_EQ(TQRCSVFilter::Field(""), "");
  EXPECT_EQ(TQRCSVFilter::Field("a,b"), "\"a,b\"");
  EXPECT_EQ(TQRCSVFilter::Field("\"quoted\""), "\"\"\"quoted\"\"\"");
  EXPECT_EQ(TQRCSVFilter::Field("cr\rlf\n"), "\"cr\rlf\n\"");
  EXPECT_EQ(TQRCSVFilter::Field(" spaced "), " spaced ");

  EXPECT_EQ(TQRXLSXFilter::NumberFormat("#,##0.00"), "#,##0.00");
  EXPECT_EQ(TQRXLSXFilter::NumberFormat("'Customer no. '0"), "\"Customer no. \"0");
  EXPECT_EQ(TQRXLSXFilter::NumberFormat("0' orders';-0' orders'"), "0\" orders\";-0\" orders\"");
  EXPECT_EQ(TQRXLSXFilter::NumberFormat("'say \"so\"'0"), "\"say \\\"so\\\"\"0");
  EXPECT_EQ(TQRXLSXFilter::NumberFormat("'open"), "\"open\"");
}

TEST(ExportFilterRegistration, TheLibraryListsPdfPngCsvXlsxInThatOrder) {
  RegisterExportFilters();
  RegisterExportFilters();  // twice is the same as once
  std::vector<std::string> extensions;
  for (const TQRExportFilterEntry& entry : ExportFilters().Filters()) extensions.push_back(entry.Extension);
  EXPECT_EQ(extensions, (std::vector<std::string>{"pdf", "png", "csv", "xlsx"}));
  for (const TQRExportFilterEntry& entry : ExportFilters().Filters()) {
    const std::unique_ptr<TQRExportFilter> filter = entry.FilterClass("out." + entry.Extension);
    EXPECT_EQ(filter->FileName(), "out." + entry.Extension);
    EXPECT_EQ(filter->WritesPages(), entry.Extension == "pdf" || entry.Extension == "png") << entry.Extension;
  }
}

}  // namespace
}  // namespace rpt::test
