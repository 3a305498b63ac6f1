// The report's print setup and direct print: the dialog is offered the report's settings
// and its choices come back into them (range as FirstPage/LastPage, copies, collation,
// printer, orientation); a print of pages 2 to 3 on the PDF printer writes those two
// pages; a cancelled print leaves no file and the report ready for the next one.
#include <cstdio>
#include <filesystem>

#include "output/QRPrgres.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

int PdfPages(const std::string& file) {
  const std::string out = Output("pdfinfo '" + file + "'");
  const size_t at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
}

// The index of the built-in PDF printer in the system's list.
int PdfPrinterNumber() {
  const std::vector<TPrinterDevice> list = TPrinter::SystemPrinters();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].BuiltInPdf) return static_cast<int>(i);
  return -1;
}

class PrintSetup : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE n(id INTEGER PRIMARY KEY);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) INSERT INTO n SELECT x FROM c;");
    Numbers = Table("n");
    Report->SetDataSet(Numbers);
    Detail = Band(rbDetail, "Detail", 5);
    Field(Detail, "Id", Numbers, "id", 0);
    Pdf = DataDir + "/out.pdf";
  }
  void TearDown() override {
    TQRPrintWindows::RunPrintDialog = nullptr;
    EngineTest::TearDown();
  }
  // The dialog answers with `choose` (false: cancelled) and keeps what it was offered.
  void Answer(std::function<bool(TQRPrintDialog&)> choose) {
    TQRPrintWindows::RunPrintDialog = [this, choose](TQRPrintDialog& d) {
      Offered = {d.MinPage, d.MaxPage, d.FromPage, d.ToPage, d.PrintRange, d.Copies(), d.Collate,
                 d.Printer()->PrinterIndex(), d.Printer()->DeviceMode().Orientation};
      return choose(d);
    };
  }
  void PrintToPdf(int32_t first, int32_t last) {
    TQuickRepPrinterSettings& s = *Report->PrinterSettings();
    s.PrinterNumber = PdfPrinterNumber();
    s.OutputFileName = Pdf;
    s.FirstPage = first;
    s.LastPage = last;
    Report->PrintToPrinter();
  }
  struct TOffer {
    int32_t MinPage = -1, MaxPage = -1, FromPage = -1, ToPage = -1;
    TPrintRange Range = prAllPages;
    int32_t Copies = 0;
    bool Collate = false;
    int Printer = -1;
    int32_t Orientation = 0;
  } Offered;
  TTable* Numbers = nullptr;
  TQRBand* Detail = nullptr;
  std::string Pdf;
};

TEST_F(PrintSetup, WithoutAPrintDialogNothingRunsAndNothingChanges) {
  Report->PrinterSettings()->Copies = 2;
  EXPECT_FALSE(Report->PrinterSetup());
  EXPECT_EQ(Report->PrinterSettings()->Copies, 2);
}

TEST_F(PrintSetup, TheChosenRangeCopiesPrinterAndOrientationGoIntoTheSettings) {
  TQuickRepPrinterSettings& s = *Report->PrinterSettings();
  s.Copies = 2;
  const int pdf = PdfPrinterNumber();
  ASSERT_GE(pdf, 0);
  Answer([pdf](TQRPrintDialog& d) {
    d.Printer()->SetPrinterIndex(pdf);
    d.Printer()->SetOutputFileName("/tmp/chosen.pdf");
    d.Printer()->DeviceMode().Orientation = 2;
    d.SetCopies(3);
    d.Collate = true;
    d.PrintRange = prPageNums;
    d.FromPage = 2;
    d.ToPage = 3;
    return true;
  });
  ASSERT_TRUE(Report->PrinterSetup());
  // Without a finished run the page count is unknown.
  EXPECT_EQ(Offered.MinPage, 0);
  EXPECT_EQ(Offered.MaxPage, 9999);
  EXPECT_EQ(Offered.Range, prAllPages);
  EXPECT_EQ(Offered.Copies, 2);
  EXPECT_EQ(Offered.Orientation, 1);
  EXPECT_EQ(s.FirstPage, 2);
  EXPECT_EQ(s.LastPage, 3);
  EXPECT_EQ(s.Copies, 3);
  EXPECT_TRUE(s.Collate);
  EXPECT_EQ(s.PrinterNumber, pdf);
  EXPECT_EQ(s.OutputFileName, "/tmp/chosen.pdf");
  EXPECT_EQ(Report->Page()->Orientation(), poLandscape);

  // The stored range is offered again; all pages and the selection clear it.
  for (TPrintRange range : {prAllPages, prSelection}) {
    s.FirstPage = 2;
    s.LastPage = 3;
    Answer([range](TQRPrintDialog& d) {
      d.PrintRange = range;
      return true;
    });
    ASSERT_TRUE(Report->PrinterSetup());
    EXPECT_EQ(Offered.Range, prPageNums);
    EXPECT_EQ(Offered.FromPage, 2);
    EXPECT_EQ(Offered.ToPage, 3);
    EXPECT_EQ(Offered.Printer, pdf);
    EXPECT_EQ(Offered.Orientation, 2);
    EXPECT_TRUE(Offered.Collate);
    EXPECT_EQ(s.FirstPage, 0);
    EXPECT_EQ(s.LastPage, 0);
  }
}

TEST_F(PrintSetup, NoSetupRunsWhileAPassReadsTheSettings) {
  bool asked = false, accepted = true;
  Answer([&asked](TQRPrintDialog&) { return asked = true; });
  Detail->BeforePrint = [&](TQRCustomBand*, bool&) {
    if (!asked) accepted = Report->PrinterSetup();
  };
  Run();
  EXPECT_FALSE(asked);
  EXPECT_FALSE(accepted);
  Detail->BeforePrint = nullptr;
  EXPECT_TRUE(Report->PrinterSetup());
  EXPECT_TRUE(asked);
}

TEST_F(PrintSetup, ACancelledDialogChangesNothing) {
  TQuickRepPrinterSettings& s = *Report->PrinterSettings();
  s.FirstPage = 4;
  Answer([](TQRPrintDialog& d) {
    d.SetCopies(9);
    d.PrintRange = prAllPages;
    d.Printer()->DeviceMode().Orientation = 2;
    return false;
  });
  EXPECT_FALSE(Report->PrinterSetup());
  EXPECT_EQ(s.Copies, 1);
  EXPECT_EQ(s.FirstPage, 4);
  EXPECT_EQ(Report->Page()->Orientation(), poPortrait);
}

TEST_F(PrintSetup, AFinishedPreviewOffersItsRecordedPages) {
  const int pages = static_cast<int>(Run().size());
  ASSERT_GE(pages, 4);
  Answer([](TQRPrintDialog& d) {
    d.PrintRange = prPageNums;
    d.FromPage = 2;
    d.ToPage = 3;
    return true;
  });
  Report->QRPrinter()->RunPrintSetup();  // no setup handler on a printer the test made
  EXPECT_EQ(Offered.MaxPage, -1);
  Report->PrintSetupFromPreview(Report->QRPrinter());
  EXPECT_EQ(Offered.MinPage, 1);
  EXPECT_EQ(Offered.MaxPage, pages);
  EXPECT_EQ(Offered.FromPage, 1);
  EXPECT_EQ(Offered.ToPage, pages);
  EXPECT_EQ(Report->PrinterSettings()->FirstPage, 2);
  EXPECT_EQ(Report->PrinterSettings()->LastPage, 3);
}

TEST_F(PrintSetup, PagesTwoToThreeOnThePdfPrinterMakeATwoPagePdf) {
  const int pages = static_cast<int>(Run().size());
  ASSERT_GE(pages, 4);
  TQRPrinter* preview = Report->QRPrinter();
  PrintToPdf(2, 3);
  EXPECT_EQ(PdfPages(Pdf), 2);
  EXPECT_FALSE(fs::exists(Pdf + ".part"));
  // The preview's printer is back, with its pages.
  EXPECT_EQ(Report->QRPrinter(), preview);
  EXPECT_EQ(preview->TotalPages(), pages);
  fs::remove(Pdf);
  PrintToPdf(0, 0);
  EXPECT_EQ(PdfPages(Pdf), pages);

  // With the page count in the footer the pages are made first, then printed: pages 2
  // and 3 say how many there are.
  fs::remove(Pdf);
  Expr(Band(rbPageFooter, "Footer", 10), "Of", "'Page ' + STR(PAGENUMBER) + ' of ' + STR(PAGECOUNT)", 0);
  const int counted = static_cast<int>(Run().size());
  PrintToPdf(2, 3);
  EXPECT_EQ(PdfPages(Pdf), 2);
  const std::string text = Output("pdftotext '" + Pdf + "' -");
  EXPECT_NE(text.find("Page 3 of " + std::to_string(counted)), std::string::npos) << text;
  EXPECT_EQ(text.find("\xEF\xB7\x90"), std::string::npos);
}

TEST_F(PrintSetup, ACancelledPrintLeavesNoFileAndTheReportReady) {
  int seen = 0;
  Detail->BeforePrint = [&](TQRCustomBand*, bool&) {
    // What the progress form's Cancel does.
    if (++seen == 120) Report->QRPrinter()->RequestCancel();
  };
  PrintToPdf(0, 0);
  EXPECT_LE(seen, 121);
  EXPECT_FALSE(fs::exists(Pdf));
  EXPECT_FALSE(fs::exists(Pdf + ".part"));
  EXPECT_TRUE(Report->Idle());
  Detail->BeforePrint = nullptr;
  PrintToPdf(0, 0);
  EXPECT_GE(PdfPages(Pdf), 4);
}

}  // namespace
}  // namespace rpt::test
