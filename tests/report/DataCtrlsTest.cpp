// Printables whose text comes from data: fields with masks and memo fields, expressions
// with aggregates, system values, and lines with expressions in braces. Printed onto a
// recorded page from a small SQLite database.
#include <cstdlib>
#include <filesystem>

#include "data/DBTables.h"
#include "data/DateTime.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "tests/report/ReportFixture.h"
#include "tests/support/SqliteExec.h"

namespace rpt::test {
namespace {

namespace fs = std::filesystem;

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

class DataCtrlsTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    SetEvFormatSettings(TFormatSettings::FromLocale("C"));
    Dir = fs::temp_directory_path() / ("report-data-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    ::setenv("RPT_DATA_DIR", Dir.c_str(), 1);
    RunSqlite((Dir / "shop.db").string(),
              "CREATE TABLE items(id INTEGER PRIMARY KEY, name VARCHAR(40), price MONEY, qty INTEGER, sold DATE,"
              " notes MEMO);"
              "INSERT INTO items VALUES(1, 'Bolt', 1234.5, 10, '2024-03-05', 'first line' || char(10) || 'second');"
              "INSERT INTO items VALUES(2, 'Nut', NULL, 5, NULL, NULL);");
    Table = TComponent::Create<TTable>(nullptr);
    Table->SetName("Items");
    Table->SetDatabaseName("shop");
    Table->SetTableName("items");
    Table->Open();
    Detail = AddBand(rbDetail, "Detail");
    Printer = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
    Printer->OpenDocument();
    Printer->NewPage();
  }
  void TearDown() override {
    Printer.reset();
    ReportTest::TearDown();
    Table->Free();
    fs::remove_all(Dir);
    SetEvFormatSettings(TFormatSettings::FromSystem());
  }
  TQRDBText* Field(const std::string& name, const std::string& field, const std::string& mask = "") {
    auto* text = Add<TQRDBText>(name, Detail);
    text->SetDataSet(Table);
    text->SetDataField(field);
    text->SetMask(mask);
    text->Size()->SetWidth(80);
    return text;
  }
  void Print(TQRPrintable* control) {
    control->Prepare(Printer.get());
    control->PrintAt(0, 0);
  }
  std::string PageBytes() {
    Printer->CloseDocument();
    std::unique_ptr<TMetafile> page = Printer->PageImage(1);
    return page ? page->Data() : std::string();
  }
  bool Printed(const std::string& bytes, const std::string& text) const {
    return bytes.find(Utf16(text)) != std::string::npos;
  }

  fs::path Dir;
  TTable* Table = nullptr;
  TQRBand* Detail = nullptr;
  std::unique_ptr<TQRPrinter> Printer;
};

TEST_F(DataCtrlsTest, FieldsPrintTheirValueThroughTheMask) {
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("price"), "#,##0.00"), "1,234.50");
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("name"), "#,##0.00"), "Bolt");  // strings ignore masks
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("qty"), "000"), "010");
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("sold"), "dd/mm/yyyy"), "05/03/2024");
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("price"), ""), "1234.50");
  Table->Next();
  EXPECT_EQ(TQRDBText::FieldText(*Table->FieldByName("price"), "#,##0.00"), "");  // null
  Table->First();

  Print(Field("Price", "price", "#,##0.00"));
  TQRDBText* notes = Field("Notes", "notes");
  notes->SetAutoSize(false);
  notes->Size()->SetHeight(20);
  Print(notes);
  Print(Field("Missing", "no_such_field"));
  const std::string bytes = PageBytes();
  EXPECT_TRUE(Printed(bytes, "1,234.50"));
  // A memo field prints its lines.
  EXPECT_TRUE(Printed(bytes, "first line"));
  EXPECT_TRUE(Printed(bytes, "second"));
  EXPECT_FALSE(Printed(bytes, "no_such_field"));
  EXPECT_FALSE(Printed(bytes, "Missing"));
}

TEST_F(DataCtrlsTest, DesignCaptionsShowFieldsExpressionsAndSystemValues) {
  auto* field = Add<TQRDBText>("QRDBText1", Detail);
  EXPECT_EQ(field->Caption(), "QRDBText1");
  field->SetDataField("price");
  EXPECT_EQ(field->Caption(), "price");
  field->SetDataField("");
  EXPECT_EQ(field->Caption(), "QRDBText1");

  auto* expr = Add<TQRExpr>("QRExpr1", Detail);
  EXPECT_EQ(expr->Caption(), "(none)");
  expr->SetExpression("items.qty * 2");
  expr->SetName("Doubled");
  EXPECT_EQ(expr->Caption(), "items.qty * 2");

  auto* sys = Add<TQRSysData>("QRSysData1", Detail);
  EXPECT_EQ(sys->Caption(), "(Time)");
  sys->SetData(qrsPageNumber);
  sys->SetText("Page ");
  EXPECT_EQ(sys->Caption(), "Page (Page#)");

  // The captions come back from the stream (they are not stored themselves).
  std::unique_ptr<TRoomyReport, TFreeDeleter> back(Load(Save()));
  EXPECT_EQ(static_cast<TQRExpr*>(back->FindComponent("Doubled"))->Caption(), "items.qty * 2");
  EXPECT_EQ(static_cast<TQRSysData*>(back->FindComponent("QRSysData1"))->Caption(), "Page (Page#)");
  EXPECT_EQ(static_cast<TQRDBText*>(back->FindComponent("QRDBText1"))->Caption(), "QRDBText1");
}

TEST_F(DataCtrlsTest, ExpressionsSumTheRecordsTheirMasterPrints) {
  Report->RunDataSets()->push_back(Table);
  auto* each = Add<TQRExpr>("Each", Detail);
  each->SetExpression("items.qty * 2");
  auto* total = Add<TQRExpr>("Total", Detail);
  total->SetExpression("SUM(items.qty)");
  total->SetMaster(Report);
  total->SetMask("0.0");
  total->SetResetAfterPrint(true);
  each->Prepare(Printer.get());
  total->Prepare(Printer.get());
  const auto& notified = Report->Controller()->NotifyList();
  EXPECT_NE(std::find(notified.begin(), notified.end(), total), notified.end());
  EXPECT_EQ(std::find(notified.begin(), notified.end(), each), notified.end());
  // Two records advance the aggregate.
  for (Table->First(); !Table->Eof(); Table->Next()) Report->Controller()->NotifyPrintables(qrnDataAdvance);
  Table->First();
  each->PrintAt(0, 0);
  total->PrintAt(0, 100);
  // After a print with ResetAfterPrint the running total starts again.
  total->PrintAt(0, 200);
  const std::string bytes = PageBytes();
  EXPECT_TRUE(Printed(bytes, "20"));
  EXPECT_TRUE(Printed(bytes, "15.0"));
  EXPECT_TRUE(Printed(bytes, "0.0"));
  EXPECT_EQ(TQRExpr::ValueText(TQREvValue::Error("Unknown identifier"), ""), "Unknown identifier");
  EXPECT_EQ(TQRExpr::ValueText(TQREvValue::Boolean(true), ""), "True");
  Report->RunDataSets()->clear();
}

TEST_F(DataCtrlsTest, SystemValuesPrintTheirTextAndTheValue) {
  SetEvClock([]() -> std::time_t {
    std::tm parts{};
    parts.tm_year = 2025 - 1900;
    parts.tm_mon = 0;
    parts.tm_mday = 31;
    parts.tm_hour = 9;
    parts.tm_min = 5;
    return std::mktime(&parts);
  });
  Report->SetPagesDone(3);
  Report->SetReportTitle("Stock");
  auto make = [this](const char* name, TQRSysDataType data, const char* text) {
    auto* sys = Add<TQRSysData>(name, Detail);
    sys->SetData(data);
    sys->SetText(text);
    return sys;
  };
  EXPECT_EQ(make("Page", qrsPageNumber, "Page ")->PrintedText(), "Page 3");
  EXPECT_EQ(make("Title", qrsReportTitle, "")->PrintedText(), "Stock");
  EXPECT_EQ(make("Date", qrsDate, "")->PrintedText(), FormatDateTimeMask("c", EncodeDate(2025, 1, 31)));
  EXPECT_EQ(make("Time", qrsTime, "at ")->PrintedText(), "at " + FormatDateTimeMask("t", EncodeTime(9, 5, 0)));
  EXPECT_EQ(make("Count", qrsDetailCount, "")->PrintedText(), "1");  // the report has no dataset
  auto* page = static_cast<TQRSysData*>(Report->FindComponent("Page"));
  Print(page);
  EXPECT_EQ(page->Caption(), "Page (Page#)");  // the design caption stays
  EXPECT_TRUE(Printed(PageBytes(), "Page 3"));
  SetEvClock(nullptr);
}

TEST_F(DataCtrlsTest, MergedLinesReplaceBracesWithValues) {
  Report->RunDataSets()->push_back(Table);
  TQRMerger merger;
  merger.DataSets = Report->RunDataSets();
  merger.TemplateLines = {"Dear {items.name}, {} and {oops", "{items.qty}{items.qty * 10} units", "plain"};
  merger.PrepareMerge();
  EXPECT_EQ(merger.ExpressionCount(), 3);
  merger.Merge();
  EXPECT_EQ(merger.ResultLines(),
            (std::vector<std::string>{"Dear Bolt, {} and {oops", "10100 units", "plain"}));
  Table->Next();
  merger.Merge();
  EXPECT_EQ(merger.ResultLines()[0], "Dear Nut, {} and {oops");

  auto* memo = Add<TQRExprMemo>("Letter", Detail);
  memo->Lines()->SetText("To {items.name}\r\n{''}\r\nregards");
  memo->SetRemoveBlankLines(true);
  memo->Size()->SetHeight(30);
  Table->First();
  Print(memo);
  memo->Unprepare();
  EXPECT_EQ(memo->Lines()->Lines(), (std::vector<std::string>{"To {items.name}", "{''}", "regards"}));
  const std::string bytes = PageBytes();
  EXPECT_TRUE(Printed(bytes, "To Bolt"));
  EXPECT_TRUE(Printed(bytes, "regards"));
  Report->RunDataSets()->clear();
}

TEST_F(DataCtrlsTest, ADataFieldForgetsADatasetThatGoes) {
  auto* field = Field("Name", "name");
  auto* other = TComponent::Create<TTable>(nullptr);
  field->SetDataSet(other);
  other->Free();
  EXPECT_EQ(field->DataSet(), nullptr);
  auto* expr = Add<TQRExpr>("Sum", Detail);
  auto* sub = Add<TQRSubDetail>("Lines");
  expr->SetMaster(sub);
  sub->Free();
  EXPECT_EQ(expr->Master(), nullptr);
}

}  // namespace
}  // namespace rpt::test
