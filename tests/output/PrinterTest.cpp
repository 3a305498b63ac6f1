// The report printer: unit conversion, status rules, page store and printer targets
// (checked in the PDF the built-in printer writes), recorded files with paper
// detection, and the printer settings block.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"

#include "tests/output/TestPages.h"

namespace rpt {

// Keeps the messages posted to it.
class TMessageLog : public TCustomControl {
  RPT_CLASS(TMessageLog, TCustomControl)
  TMessageLog() = default;
  std::vector<TMessage> Messages;
  void WndProc(TMessage& message) override {
    if (message.Msg >= WM_USER && message.Msg < WM_USER + 16) Messages.push_back(message);
    else TCustomControl::WndProc(message);
  }
};
RPT_BEGIN_CLASS(TMessageLog, TCustomControl)
RPT_END_CLASS

namespace {

namespace fs = std::filesystem;
using test::Shell;

int PdfPages(const std::string& file) {
  const std::string info = Shell("pdfinfo '" + file + "' 2>/dev/null");
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

// A printer that writes PDF files into the test's folder, offering the given papers.
TPrinterDevice PdfDevice(std::vector<int32_t> papers = {}) {
  TPrinterDevice d = TPrinter::PdfPrinter();
  if (!papers.empty()) d.PaperCodes = std::move(papers);
  return d;
}

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("h8-printer-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }
  std::string File(const std::string& name) const { return (Dir / name).string(); }

  // Runs pages pages, each page showing "Page N".
  static void RunPages(TQRPrinter& printer, int pages) {
    printer.OpenDocument();
    for (int i = 1; i <= pages; ++i) {
      printer.NewPage();
      printer.PageCanvas()->Font()->SetSize(24);
      printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(200), Format("Page %d", i));
    }
  }

  fs::path Dir;
};

TEST_F(PrinterTest, DeviceUnitsRoundHalfToEven) {
  TPrinterDevice device = PdfDevice();
  device.OffsetX = 59;  // 59 / 300 x 254 = 49.95 -> 50
  device.OffsetY = 0;
  TQRPrinter printer({device});
  printer.OutputTarget = otPrinter;
  printer.OpenDocument();
  EXPECT_EQ(printer.DeviceLeftOffset(), 50);
  EXPECT_EQ(printer.XToDevice(100), 59);  // nearest(50 x 300 / 254)
  EXPECT_EQ(printer.YToDevice(254), 300);
  EXPECT_EQ(printer.WidthToDevice(2540), 3000);

  TQRPrinter store({device});
  store.OpenDocument();
  EXPECT_EQ(store.DeviceLeftOffset(), 0);  // the page store has no unprintable margin
  EXPECT_DOUBLE_EQ(store.HorzScale(), 96 / 254.0);
  EXPECT_EQ(store.WidthToDevice(127), 48);  // 127 x 96 / 254 = 48
}

TEST_F(PrinterTest, OrientedPaper) {
  TQRPrinter printer({PdfDevice()});
  printer.SetPaperSize(TQRPaperSize::A4);
  printer.SetOrientation(poLandscape);
  EXPECT_EQ(printer.OrientedPaperWidth(), 2970);
  EXPECT_EQ(printer.OrientedPaperLength(), 2100);
  printer.SetPaperSize(TQRPaperSize::Custom);
  printer.SetOrientation(poPortrait);
  printer.SetPaperWidth(1234);
  printer.SetPaperLength(2345);
  EXPECT_EQ(printer.OrientedPaperWidth(), 1234);
  EXPECT_EQ(printer.OrientedPaperLength(), 2345);
}

TEST_F(PrinterTest, StatusRules) {
  TQRPrinter printer({PdfDevice()});
  try {
    printer.NewPage();
    FAIL() << "NewPage before OpenDocument";
  } catch (const EQRError& e) {
    EXPECT_STREQ(e.what(), "Illegal call to NewPage");
  }
  printer.OpenDocument();
  try {
    printer.OpenDocument();
    FAIL() << "OpenDocument twice";
  } catch (const EQRError& e) {
    EXPECT_STREQ(e.what(), "QRPrinter not ready");
  }
  EXPECT_EQ(printer.Status(), qsBusy);
  printer.CloseDocument();
  EXPECT_EQ(printer.Status(), qsFinished);
  EXPECT_THROW(printer.NewPage(), EQRError);
  EXPECT_EQ(printer.PageImage(1), nullptr);  // no pages
  printer.Reset();
  EXPECT_EQ(printer.Status(), qsReady);
  EXPECT_NO_THROW(printer.OpenDocument());
}

TEST_F(PrinterTest, PageStoreAnnouncesAndCounts) {
  auto* log = TComponent::Create<TMessageLog>(nullptr);
  {
    TQRPrinter printer({PdfDevice()});
    printer.NotifyWindow = log;
    printer.SetPaperSize(TQRPaperSize::A4);
    RunPages(printer, 3);
    printer.ReportProgress(40);
    EXPECT_EQ(printer.AnnouncedPages(), 2);
    printer.CloseDocument();
    EXPECT_EQ(printer.AnnouncedPages(), 3);
    EXPECT_EQ(printer.TotalPages(), 3);
    EXPECT_EQ(printer.PageList().ReadHeaderInfo().PageCount, 3);
    auto page = printer.PageImage(2);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Width(), 794);  // 2100 x 96 / 254
    EXPECT_EQ(page->Height(), 1123);
    EXPECT_EQ(printer.PageImage(4), nullptr);
    QCoreApplication::processEvents();
  }
  std::vector<intptr_t> pages;
  bool progress = false;
  for (const TMessage& m : log->Messages) {
    if (m.Msg == CM_QRPAGEAVAILABLE) pages.push_back(m.WParam);
    if (m.Msg == CM_QRPROGRESSUPDATE && m.WParam == 40) progress = true;
  }
  EXPECT_EQ(pages, (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_TRUE(progress);
  log->Free();
}

TEST_F(PrinterTest, AbandonedRecordingKeepsEveryPage) {
  TQRPrinter printer({PdfDevice()});
  RunPages(printer, 4);
  printer.AbandonDocument();
  EXPECT_EQ(printer.Status(), qsFinished);
  EXPECT_EQ(printer.AnnouncedPages(), 3);  // the last page is not announced
  EXPECT_EQ(printer.PageList().ReadHeaderInfo().PageCount, 4);
  printer.SaveRecording(File("abandoned.qrp"));

  TQRPrinter reader({PdfDevice()});
  reader.LoadRecording(File("abandoned.qrp"));
  EXPECT_EQ(reader.TotalPages(), 4);
  EXPECT_NE(reader.PageImage(4), nullptr);
}

TEST_F(PrinterTest, SaveRecordingOnlyWhenFinished) {
  TQRPrinter printer({PdfDevice()});
  RunPages(printer, 1);
  printer.SaveRecording(File("busy.qrp"));
  EXPECT_FALSE(fs::exists(File("busy.qrp")));
  printer.CloseDocument();
  printer.SaveRecording(File("done.qrp"));
  EXPECT_TRUE(fs::exists(File("done.qrp")));
}

TEST_F(PrinterTest, PageRangeReachesTheDeviceWithoutTrailingBreak) {
  TQRPrinter printer({PdfDevice()});
  printer.Printer().SetOutputFileName(File("range.pdf"));
  printer.OutputTarget = otPrinter;
  printer.FirstPage = 2;
  printer.LastPage = 3;
  printer.OpenDocument();
  printer.NewPage();
  EXPECT_FALSE(printer.Printer().Printing());  // page 1 goes to a throwaway metafile
  printer.PageCanvas()->TextOut(10, 10, "Page 1");
  printer.NewPage();
  EXPECT_TRUE(printer.Printer().Printing());  // the job opens at page 2
  printer.PageCanvas()->Font()->SetSize(24);
  printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(200), "Page 2");
  for (int i = 3; i <= 5; ++i) {
    printer.NewPage();
    printer.PageCanvas()->Font()->SetSize(24);
    printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(200), Format("Page %d", i));
    // A script no installed font shows (unless one is), twice: told once.
    printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(400), "\xE0\xA4\x86\xE0\xA4\xA6");
  }
  EXPECT_EQ(printer.Printer().PagesStarted(), 2);
  bool afterPrint = false;
  printer.OnAfterPrint = [&](TQRPrinter*) { afterPrint = true; };
  printer.CloseDocument();
  EXPECT_TRUE(afterPrint);
  EXPECT_EQ(printer.TotalPages(), 5);
  ASSERT_TRUE(fs::exists(File("range.pdf")));
  EXPECT_FALSE(fs::exists(File("range.pdf.part")));
  EXPECT_EQ(PdfPages(File("range.pdf")), 2);
  const std::string text = Shell("pdftotext '" + File("range.pdf") + "' - 2>/dev/null");
  EXPECT_NE(text.find("Page 2"), std::string::npos) << text;
  EXPECT_NE(text.find("Page 3"), std::string::npos) << text;
  EXPECT_EQ(text.find("Page 1"), std::string::npos) << text;
  EXPECT_EQ(text.find("Page 4"), std::string::npos) << text;
  if (Shell("fc-list :lang=hi family").empty()) {
    EXPECT_EQ(printer.Printer().JobMessages(),
              std::vector<std::string>{"No installed font shows Devanagari text (\"\xE0\xA4\x86\xE0\xA4\xA6\"): "
                                       "install fonts-noto-core"});
  }
}

TEST_F(PrinterTest, AbandonedPrintJobLeavesNoFile) {
  TQRPrinter printer({PdfDevice()});
  printer.Printer().SetOutputFileName(File("cancelled.pdf"));
  printer.OutputTarget = otPrinter;
  RunPages(printer, 2);
  printer.RequestCancel();
  EXPECT_TRUE(printer.Cancelled());
  printer.AbandonDocument();
  EXPECT_FALSE(fs::exists(File("cancelled.pdf")));
  EXPECT_FALSE(fs::exists(File("cancelled.pdf.part")));
}

// A Letter recording loaded on printers that offer different papers.
TEST_F(PrinterTest, LoadRecordingDetectsPaper) {
  {
    TQRPrinter printer({PdfDevice()});
    printer.SetPaperSize(TQRPaperSize::Letter);
    RunPages(printer, 3);
    printer.CloseDocument();
    printer.SaveRecording(File("letter.qrp"));
  }
  struct TCase {
    std::vector<int32_t> Papers;
    TQRPaperSize Expected;
  };
  const TCase cases[] = {
      {{1, 9}, TQRPaperSize::Letter},
      {{1, 2, 9}, TQRPaperSize::LetterSmall},
      {{1, 2, 18}, TQRPaperSize::Note},
      {{9}, TQRPaperSize::A4},  // nothing offered matches: the printer's paper stays
  };
  for (const TCase& c : cases) {
    TQRPrinter printer({PdfDevice(c.Papers)});
    printer.LoadRecording(File("letter.qrp"));
    EXPECT_TRUE(printer.LoadedFromFile());
    EXPECT_EQ(printer.Status(), qsFinished);
    EXPECT_EQ(printer.TotalPages(), 3);
    EXPECT_EQ(printer.PaperSize(), c.Expected) << c.Papers.size();
    EXPECT_EQ(printer.Orientation(), poPortrait);
  }
  // Landscape A4 pages come back landscape, as A4 Small: the later of the equal entries.
  {
    TQRPrinter printer({PdfDevice()});
    printer.SetPaperSize(TQRPaperSize::A4);
    printer.SetOrientation(poLandscape);
    RunPages(printer, 1);
    printer.CloseDocument();
    printer.SaveRecording(File("landscape.qrp"));
  }
  TQRPrinter printer({PdfDevice()});
  printer.LoadRecording(File("landscape.qrp"));
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::A4Small);
  EXPECT_EQ(printer.Orientation(), poLandscape);
}

TEST_F(PrinterTest, PrintRecordingToPdf) {
  {
    TQRPrinter printer({PdfDevice()});
    printer.SetPaperSize(TQRPaperSize::Letter);
    RunPages(printer, 4);
    printer.CloseDocument();
    printer.SaveRecording(File("four.qrp"));
  }
  TQRPrinter printer({PdfDevice({1})});
  printer.LoadRecording(File("four.qrp"));
  printer.Printer().SetOutputFileName(File("four.pdf"));
  printer.FirstPage = 2;
  printer.PrintRecording();
  EXPECT_EQ(PdfPages(File("four.pdf")), 3);
  const std::string info = Shell("pdfinfo '" + File("four.pdf") + "'");
  EXPECT_NE(info.find("612 x 792"), std::string::npos) << info;
  const std::string text = Shell("pdftotext '" + File("four.pdf") + "' - 2>/dev/null");
  EXPECT_EQ(text.find("Page 1"), std::string::npos) << text;
  EXPECT_NE(text.find("Page 4"), std::string::npos) << text;
}

TEST_F(PrinterTest, PrintRecordingOfAPreviewAsksTheReport) {
  auto* report = TComponent::Create<TMessageLog>(nullptr);
  {
    TQRPrinter printer({PdfDevice()});
    printer.Printer().SetOutputFileName(File("none.pdf"));
    RunPages(printer, 1);
    printer.CloseDocument();
    printer.OwnerReport = report;
    printer.PrintRecording();
    QCoreApplication::processEvents();
    EXPECT_FALSE(fs::exists(File("none.pdf")));
  }
  ASSERT_EQ(report->Messages.size(), 1u);
  EXPECT_EQ(report->Messages[0].Msg, CM_QRPRINT);
  report->Free();
}

TEST_F(PrinterTest, NoPrintersMeansNoDirectPrinting) {
  TQRPrinter printer(std::vector<TPrinterDevice>{});
  EXPECT_FALSE(printer.HasPrinters());
  printer.OutputTarget = otPrinter;
  EXPECT_THROW(printer.OpenDocument(), EQRError);
  // Without a printer only the Default paper is accepted.
  printer.SetPaperSize(TQRPaperSize::A4);
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::A4);  // as created
  printer.SetPaperSize(TQRPaperSize::Default);
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::Default);
}

// ---------------------------------------------------------------------------

TEST(PrinterSettingsTest, ReadsTheSettingsBlock) {
  TPrinterDevice device = PdfDevice({1, 9});
  device.Defaults.Fields |= DM_DEFAULTSOURCE | DM_DUPLEX;
  device.Defaults.DefaultSource = 14;
  device.Defaults.Duplex = 2;
  device.Defaults.Copies = 3;
  device.Defaults.PaperSize = 256;
  device.Defaults.PaperWidth = 1000;
  device.Defaults.PaperLength = 1500;
  TPrinter printer({device});
  TPrinterSettings settings;
  settings.AttachPrinter(&printer);
  EXPECT_EQ(settings.OutputBin(), TQRBin::Cassette);  // never Last
  EXPECT_TRUE(settings.Duplex());
  EXPECT_EQ(settings.Copies(), 3);
  EXPECT_EQ(settings.PaperSize(), TQRPaperSize::Custom);
  EXPECT_EQ(settings.PaperWidth(), 1000);
  EXPECT_EQ(settings.PaperLength(), 1500);
  EXPECT_TRUE(settings.PaperSizeSupported(TQRPaperSize::A4));
  EXPECT_FALSE(settings.PaperSizeSupported(TQRPaperSize::A3));
  EXPECT_TRUE(settings.PaperSizeSupported(TQRPaperSize::Custom));
  EXPECT_EQ(settings.DotsPerInchX(), 300);

  printer.DeviceMode().PaperSize = 999;  // no size carries it
  settings.ReadFromDevice();
  EXPECT_EQ(settings.PaperSize(), TQRPaperSize::Default);
}

TEST(PrinterSettingsTest, SelectingAnotherPrinterRereadsIt) {
  TPrinterDevice second = PdfDevice({1, 5});
  second.Name = "Second";
  second.DpiX = second.DpiY = 600;
  second.OffsetX = 118;  // 118 / 600 x 254 = 49.95 -> 50
  second.Defaults.PaperSize = 1;
  TQRPrinter printer({PdfDevice(), second});
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::A4);
  printer.SetPaperSize(TQRPaperSize::A3);
  printer.SetPrinterNumber(1);
  EXPECT_EQ(printer.PrinterNumber(), 1);
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::Letter);  // the new printer's own settings
  EXPECT_EQ(printer.Settings().DotsPerInchX(), 600);
  EXPECT_EQ(printer.Settings().UnprintableLeft(), 50);
  EXPECT_EQ(printer.Settings().DeviceName, "Second");
  printer.SetPaperSize(TQRPaperSize::A4);  // not offered by the second printer
  EXPECT_EQ(printer.PaperSize(), TQRPaperSize::Letter);
  EXPECT_THROW(printer.SetPrinterNumber(5), EPrinterError);
}

TEST(PrinterSettingsTest, SettersObeyTheDevice) {
  TPrinter printer({PdfDevice({9})});
  TPrinterSettings settings;
  settings.AttachPrinter(&printer);
  settings.SetPaperSize(TQRPaperSize::A3);  // not offered
  EXPECT_EQ(settings.PaperSize(), TQRPaperSize::A4);
  settings.SetPaperWidth(5000);  // only for Custom
  EXPECT_EQ(settings.PaperWidth(), 2100);
  EXPECT_EQ(settings.PaperLength(), 2970);
  settings.SetOutputBin(TQRBin::Manual);  // the PDF printer has no sources
  EXPECT_EQ(settings.OutputBin(), TQRBin::First);
  settings.SetCopies(4);
  settings.SetOrientation(poLandscape);
  settings.SetPaperSize(TQRPaperSize::Custom);
  settings.SetPaperWidth(1111);
  settings.SetPaperLength(2222);

  printer.DeviceMode().Duplex = 2;
  settings.ApplyToDevice();
  const TDeviceMode& mode = printer.DeviceMode();
  EXPECT_EQ(mode.Copies, 4);
  EXPECT_EQ(mode.Orientation, 2);
  EXPECT_EQ(mode.PaperSize, 256);
  EXPECT_EQ(mode.PaperWidth, 1111);
  EXPECT_EQ(mode.PaperLength, 2222);
  EXPECT_EQ(mode.Duplex, 2);  // Duplex off leaves the device's mode alone
  settings.SetDuplex(true);
  settings.ApplyToDevice();
  EXPECT_EQ(printer.DeviceMode().Duplex, 3);
}

}  // namespace
}  // namespace rpt
