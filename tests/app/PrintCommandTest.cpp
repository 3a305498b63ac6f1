// Print from the main window: Ctrl+P runs the print dialog and prints the chosen pages
// with the progress form, whose Cancel stops the pass. While a pass walks a document's
// report (a print here, a preview's thread) the commands that would change or close it
// are disabled, its window stays open, and closing the program asks to stop it first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "framework/Application.h"
#include "output/QRPrgres.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "report/QRPictures.h"
#include "tests/support/SqliteExec.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;

int PdfPages(const std::string& file) {
  std::string out;
  if (FILE* p = popen(("pdfinfo '" + file + "' 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  const size_t at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
}

// The commands that change or close a document's report.
const char* const kReportCommands[] = {"actChangeData", "actDetailData", "actRepProps", "actDelete", "actCut",
                                       "actPaste",      "actClose",      "actPreview",  "actPrint",  "actSaveAs",
                                       "actEnableAll",  "actZoom100",    "actALLeft"};

struct PrintCommand : test::ShellTest {
  TfrmDoc* Doc = nullptr;
  std::string Pdf;
  std::function<void()> OnTick;  // runs while a print's pass lets messages run
  QTimer Ticker;

  void SetUp() override {
    fs::create_directories(Path("data"));
    ::setenv("RPT_DATA_DIR", Path("data").c_str(), 1);
    test::RunSqlite(Path("data/shop.db"),
                    "CREATE TABLE n(id INTEGER PRIMARY KEY);"
                    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 4000)"
                    " INSERT INTO n SELECT x FROM c;");
    Pdf = Path("out.pdf");
    RegisterStandardPrintDialogs();
    ShellTest::SetUp();
    // Boxes with no answer left are answered Ok: a print tells what it made.
    SetMessageBoxHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      prompts.push_back(text);
      if (answers.empty()) return int(mrOk);
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    });
    Doc = NumbersDocument();
    frmMain->ActionList()->UpdateActions();
    Ticker.setInterval(1);
    QObject::connect(&Ticker, &QTimer::timeout, [this] {
      if (OnTick) OnTick();
    });
  }
  void TearDown() override {
    Ticker.stop();
    ShellTest::TearDown();
    TQRPrintWindows::RunPrintDialog = nullptr;
    TQRPrintWindows::OpenProgressForm = nullptr;
  }

  // A document printing one line per number: some 80 pages.
  TfrmDoc* NumbersDocument() {
    frmMain->Action("actNew")->trigger();
    TfrmDoc* doc = frmMain->ActiveDocument();
    auto* numbers = TComponent::Create<TTable>(doc);
    numbers->SetDatabaseName("shop");
    numbers->SetTableName("n");
    numbers->Open();
    doc->AssignDataSet(numbers);
    auto* id = TComponent::Create<TQRDBText>(doc->Report->Owner());
    id->SetName("Id");
    id->SetParent(doc->Report->FindBand(rbDetail));
    id->SetDataField("id");
    doc->Modified = false;
    return doc;
  }
  static QWidget* Visible(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
  }
  template <class T>
  static T* In(const char* window, const char* name) {
    QWidget* w = Visible(window);
    return w ? w->findChild<T*>(name) : nullptr;
  }
  // Answers the print dialog: the PDF printer writing Pdf, pages from..to (0: all).
  void AnswerDialog(int from, int to) {
    auto* wait = new QTimer;
    wait->setInterval(5);
    QObject::connect(wait, &QTimer::timeout, [=, this] {
      auto* printer = In<QComboBox>("QRPrintDialog", "PrinterName");
      if (!printer) return;
      wait->deleteLater();
      wait->stop();
      printer->setCurrentIndex(printer->findText("PDF file"));
      In<QLineEdit>("QRPrintDialog", "FileName")->setText(QString::fromStdString(Pdf));
      if (from > 0) {
        In<QRadioButton>("QRPrintDialog", "PageNums")->setChecked(true);
        In<QLineEdit>("QRPrintDialog", "FromPage")->setText(QString::number(from));
        In<QLineEdit>("QRPrintDialog", "ToPage")->setText(QString::number(to));
      }
      In<QPushButton>("QRPrintDialog", "OkButton")->click();
      Ticker.start();
    });
    wait->start();
  }
  // The commands still enabled for the active document, after the update rules ran.
  static std::vector<std::string> EnabledReportCommands() {
    frmMain->ActionList()->UpdateActions();
    std::vector<std::string> enabled;
    for (const char* name : kReportCommands)
      if (frmMain->Action(name)->isEnabled()) enabled.push_back(name);
    return enabled;
  }
  bool SurfaceEnabled() const { return Doc->SubWindow->widget()->isEnabled(); }
};

TEST_F(PrintCommand, CtrlPPrintsTheChosenPagesWithProgressAndLocksTheReportMeanwhile) {
  // Cut and paste also need a selection and a clipboard.
  std::vector<std::string> all(std::begin(kReportCommands), std::end(kReportCommands));
  std::erase_if(all, [](const std::string& name) { return name == "actCut" || name == "actPaste"; });
  ASSERT_EQ(EnabledReportCommands(), all);
  int ticks = 0;
  std::vector<std::string> enabledDuring;
  bool surfaceDuring = true;
  std::string caption, progress;
  OnTick = [&] {
    if (++ticks != 3) return;
    enabledDuring = EnabledReportCommands();
    surfaceDuring = SurfaceEnabled();
    if (QWidget* form = Visible("QRProgressForm")) caption = form->windowTitle().toStdString();
  };
  // The text at the end of the pass.
  TQRPrintWindows::OpenProgressForm = [&](TQRPrinter& printer) {
    auto form = std::make_unique<TQRProgressForm>(&printer);
    form->show();
    QObject::connect(form.get(), &QObject::destroyed, [&, info = form->Info] { progress = info->text().toStdString(); });
    return form;
  };
  AnswerDialog(2, 3);
  frmMain->Action("actPrint")->trigger();
  EXPECT_GE(ticks, 3);
  EXPECT_EQ(enabledDuring, std::vector<std::string>{});
  EXPECT_FALSE(surfaceDuring);
  EXPECT_EQ(caption, "Printing progress");
  EXPECT_EQ(progress, "100%  Completed");
  EXPECT_EQ(PdfPages(Pdf), 2);
  // The range stays with the report for the next print.
  EXPECT_EQ(Doc->Report->PrinterSettings()->FirstPage, 2);
  EXPECT_EQ(Doc->Report->PrinterSettings()->LastPage, 3);
  // ... as a step of the document's history.
  EXPECT_EQ(Doc->UndoCaption(), "Undo Print Settings");
  Doc->Undo();
  EXPECT_EQ(Doc->Report->PrinterSettings()->FirstPage, 0);
  EXPECT_FALSE(Doc->Modified);
  Doc->Redo();
  EXPECT_EQ(Doc->Report->PrinterSettings()->LastPage, 3);
  EXPECT_EQ(Visible("QRProgressForm"), nullptr);
  EXPECT_EQ(EnabledReportCommands(), all);
  EXPECT_TRUE(SurfaceEnabled());
  EXPECT_TRUE(errors.empty());
}

TEST_F(PrintCommand, ValuesThatCouldNotBePrintedAreToldOnceAfterThePrint) {
  AnswerDialog(1, 1);
  frmMain->Action("actPrint")->trigger();
  EXPECT_TRUE(prompts.empty()) << "a clean print tells nothing";
  // An EAN-13 takes digits only: the same bad text on every record is one message.
  auto* code = TComponent::Create<TQRBarcode>(Doc->Report->Owner());
  code->SetName("Code");
  code->SetParent(Doc->Report->FindBand(rbDetail));
  code->SetLeft(200);
  code->SetBarcodeType(bcEAN13);
  code->SetText("ABC");
  AnswerDialog(1, 2);
  frmMain->Action("actPrint")->trigger();
  EXPECT_EQ(PdfPages(Pdf), 2);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("The report of \"" + Doc->Caption() + "\" was made with these messages:"),
            std::string::npos);
  EXPECT_NE(prompts[0].find("Code: the text \"ABC\" cannot be encoded"), std::string::npos) << prompts[0];
  EXPECT_TRUE(errors.empty());

  // A range past the last page prints nothing, and says which pages there are.
  code->Free();
  fs::remove(Pdf);
  prompts.clear();
  AnswerDialog(600, 700);
  frmMain->Action("actPrint")->trigger();
  EXPECT_FALSE(fs::exists(Pdf));
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("Pages 600 to 700 were asked for, but the report has "), std::string::npos) << prompts[0];
  EXPECT_NE(prompts[0].find("nothing was printed"), std::string::npos);
}

TEST_F(PrintCommand, CancelOnTheProgressFormStopsThePass) {
  int ticks = 0;
  OnTick = [&] {
    if (++ticks == 3) In<QPushButton>("QRProgressForm", "CancelButton")->click();
  };
  AnswerDialog(0, 0);
  frmMain->Action("actPrint")->trigger();
  EXPECT_GE(ticks, 3);
  EXPECT_FALSE(fs::exists(Pdf));
  EXPECT_FALSE(fs::exists(Pdf + ".part"));
  EXPECT_TRUE(Doc->Report->Idle());
  EXPECT_FALSE(Doc->ReportBusy());
  EXPECT_TRUE(errors.empty());
  // The next print runs whole.
  OnTick = nullptr;
  AnswerDialog(0, 0);
  frmMain->ActionList()->UpdateActions();
  frmMain->Action("actPrint")->trigger();
  EXPECT_GT(PdfPages(Pdf), 40);
}

TEST_F(PrintCommand, TheDocumentWindowStaysOpenWhileItsReportPrints) {
  int ticks = 0;
  bool closed = true;
  OnTick = [&] {
    if (++ticks != 3) return;
    Doc->SubWindow->close();  // the close box
    closed = TfrmDoc::LastCloseAccepted;
    frmMain->Action("actClose")->trigger();  // disabled: does nothing
  };
  AnswerDialog(1, 1);
  frmMain->Action("actPrint")->trigger();
  EXPECT_FALSE(closed);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_NE(prompts[0].find("is being printed or previewed"), std::string::npos) << prompts[0];
  EXPECT_EQ(frmMain->Documents(), std::vector<TfrmDoc*>{Doc});
  EXPECT_EQ(PdfPages(Pdf), 1);
  // Once the pass has ended it closes.
  Doc->SubWindow->close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(frmMain->Documents().empty());
}

TEST_F(PrintCommand, ClosingTheProgramMidPrintAsksAndStopsThePassFirst) {
  int ticks = 0;
  OnTick = [&] {
    ++ticks;
    if (ticks == 3) {
      answers = {mrNo};  // keep running
      frmMain->close();
    } else if (ticks == 6) {
      answers = {mrYes};  // stop and close
      frmMain->close();
    }
  };
  AnswerDialog(0, 0);
  frmMain->Action("actPrint")->trigger();
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_EQ(prompts[0], TfrmMain::StopPassesQuestion("\"" + Doc->Caption() + "\""));
  EXPECT_FALSE(fs::exists(Pdf));  // stopped
  EXPECT_TRUE(frmMain->isVisible());
  // The window closes as soon as the print has returned.
  for (int i = 0; i < 10 && frmMain->isVisible(); ++i) QCoreApplication::processEvents();
  EXPECT_FALSE(frmMain->isVisible());
  EXPECT_TRUE(frmMain->Documents().empty());
}

TEST_F(PrintCommand, APreviewThreadLocksTheReportUntilItIsStoppedForClosing) {
  auto preview = TQRPrinter::PreviewInterface;
  TQRPrinter::PreviewInterface = nullptr;  // the pass alone, without its window
  Doc->Report->StartPreview(false);
  ASSERT_TRUE(Doc->Report->GenerationRunning());
  EXPECT_EQ(EnabledReportCommands(), std::vector<std::string>{});
  frmMain->ActionList()->UpdateActions();
  EXPECT_FALSE(frmMain->Action("actSave")->isEnabled());
  EXPECT_TRUE(frmMain->Action("actNew")->isEnabled());
  EXPECT_FALSE(Doc->Close());
  EXPECT_EQ(prompts.size(), 1u);
  answers = {mrYes};
  frmMain->close();
  EXPECT_EQ(prompts.size(), 2u);
  EXPECT_FALSE(Doc->Report && Doc->Report->GenerationRunning());
  EXPECT_FALSE(frmMain->isVisible());
  TQRPrinter::PreviewInterface = preview;
}

}  // namespace
}  // namespace rpt
