// The progress form and the print dialog as a user meets them: the figures at every
// fifth percent and Cancel reaching the printer; the dialog's printer, range, copies,
// collation and orientation handed back on OK, and wrong entries named while it stays.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "framework/Application.h"
#include "output/QRPrgres.h"
#include "output/QRPrinter.h"

namespace rpt {
namespace {

TEST(ProgressForm, ShowsEveryFifthPercentAndCancelReachesThePrinter) {
  TQRPrinter printer(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  TQRProgressForm form(&printer);
  printer.NotifyWindow = form.NotifyControl();
  EXPECT_EQ(form.windowTitle().toStdString(), "Printing progress");
  EXPECT_EQ(form.Info->text().toStdString(), "");
  // The figure is the printer's, read when the message arrives.
  for (auto [percent, text, gauge] : std::vector<std::tuple<int, const char*, int>>{
           {3, "", 0}, {5, "5%  Completed", 5}, {7, "5%  Completed", 5}, {10, "10%  Completed", 10},
           {100, "100%  Completed", 100}}) {
    SCOPED_TRACE(percent);
    printer.ReportProgress(percent);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Info->text().toStdString(), text);
    EXPECT_EQ(form.Gauge->value(), gauge);
  }
  EXPECT_FALSE(printer.Cancelled());
  form.CancelButton->click();
  EXPECT_TRUE(printer.Cancelled());
  // Escape is Cancel too; the form stays until the print has stopped.
  TQRPrinter other(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  TQRProgressForm escaped(&other);
  escaped.show();
  QTest::keyClick(&escaped, Qt::Key_Escape);
  EXPECT_TRUE(other.Cancelled());
  EXPECT_TRUE(escaped.isVisible());
}

TEST(ProgressForm, AMessageQueuedForAFormThatIsGoneIsDropped) {
  TQRPrinter printer(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  {
    TQRProgressForm form(&printer);
    printer.NotifyWindow = form.NotifyControl();
    printer.ReportProgress(50);
  }
  printer.NotifyWindow = nullptr;
  QCoreApplication::processEvents();  // must not reach the destroyed form
  SUCCEED();
}

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

// Printing recorded pages (a loaded recording) counts them on the progress form; its
// Cancel drops the job, and a cancel of an earlier job does not stop the next one.
TEST(ProgressForm, FollowsThePrintOfRecordedPages) {
  QTemporaryDir dir;
  const std::string pdf = dir.filePath("pages.pdf").toStdString();
  TQRPrinter printer(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
  printer.OpenDocument();
  for (int i = 0; i < 5; ++i) printer.NewPage();
  printer.CloseDocument();
  printer.Printer().SetOutputFileName(pdf);
  std::string last;
  bool cancel = false;
  TQRPrintWindows::OpenProgressForm = [&](TQRPrinter& p) {
    auto form = std::make_unique<TQRProgressForm>(&p);
    form->show();
    QObject::connect(form.get(), &QObject::destroyed, [&, info = form->Info] { last = info->text().toStdString(); });
    if (cancel) QTimer::singleShot(0, form->CancelButton, &QPushButton::click);
    return form;
  };
  cancel = true;
  printer.PrintRecording();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(pdf)));
  EXPECT_TRUE(printer.Cancelled());
  cancel = false;
  printer.PrintRecording();
  EXPECT_EQ(PdfPages(pdf), 5);
  EXPECT_EQ(last, "100%  Completed");
  TQRPrintWindows::OpenProgressForm = nullptr;
}

// A queue of the system's kind and the built-in PDF printer.
std::vector<TPrinterDevice> TwoPrinters() {
  TPrinterDevice queue;
  queue.Name = "Office";
  queue.Driver = "cups";
  queue.Port = "Office";
  queue.PaperCodes = {9};
  queue.Defaults.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLLATE;
  return {queue, TPrinter::PdfPrinter()};
}

class PrintDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      Messages.push_back(text);
      return int(mrOk);
    });
    Dialog.MinPage = 1;
    Dialog.MaxPage = 5;
    Dialog.Options = {poPageNums, poSelection, poWarning};
  }
  void TearDown() override { SetMessageBoxHook(nullptr); }

  static QDialog* Form() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "QRPrintDialog" && w->isVisible()) return static_cast<QDialog*>(w);
    return nullptr;
  }
  template <class T>
  static T* Get(const char* name) {
    T* w = Form() ? Form()->findChild<T*>(name) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static void Pages(const char* from, const char* to) {
    Get<QRadioButton>("PageNums")->setChecked(true);
    Get<QLineEdit>("FromPage")->setText(from);
    Get<QLineEdit>("ToPage")->setText(to);
  }
  static void Ok() { Get<QPushButton>("OkButton")->click(); }
  // Runs the dialog; `whileOpen` acts on it. One still open afterwards is noted and
  // cancelled.
  bool Run(const std::function<void()>& whileOpen) {
    StayedOpen = false;
    QTimer::singleShot(0, [&] {
      whileOpen();
      if ((StayedOpen = Form() != nullptr)) Form()->reject();
    });
    return Dialog.Execute();
  }

  TPrinter Device{TwoPrinters()};
  TQRPrintDialog Dialog{&Device};
  std::vector<std::string> Messages;
  bool StayedOpen = false;
};

TEST_F(PrintDialog, EachRangeComesBackAsChosen) {
  ASSERT_TRUE(Run([] { Pages("2", "3"); Ok(); }));
  EXPECT_EQ(Dialog.PrintRange, prPageNums);
  EXPECT_EQ(Dialog.FromPage, 2);
  EXPECT_EQ(Dialog.ToPage, 3);
  // Opened again, the range is there as it was left.
  ASSERT_TRUE(Run([] {
    EXPECT_TRUE(Get<QRadioButton>("PageNums")->isChecked());
    EXPECT_EQ(Get<QLineEdit>("FromPage")->text(), "2");
    Get<QRadioButton>("Selection")->setChecked(true);
    Ok();
  }));
  EXPECT_EQ(Dialog.PrintRange, prSelection);
  ASSERT_TRUE(Run([] { Get<QRadioButton>("AllPages")->setChecked(true); Ok(); }));
  EXPECT_EQ(Dialog.PrintRange, prAllPages);
  EXPECT_TRUE(Messages.empty());
}

TEST_F(PrintDialog, AWrongRangeIsNamedAndTheDialogStaysUntilCancelled) {
  struct TCase {
    const char* From;
    const char* To;
    const char* Message;
  };
  for (const TCase& c : {TCase{"0", "3", "The pages of the range must lie between 1 and 5."},
                         TCase{"2", "6", "The pages of the range must lie between 1 and 5."},
                         TCase{"4", "2", "The first page of the range comes after its last page."},
                         TCase{"two", "3", "Enter the first and the last page of the range as whole numbers."},
                         TCase{"", "", "Enter the first and the last page of the range as whole numbers."}}) {
    SCOPED_TRACE(std::string(c.From) + ".." + c.To);
    Messages.clear();
    EXPECT_FALSE(Run([&] { Pages(c.From, c.To); Ok(); }));
    EXPECT_TRUE(StayedOpen);
    EXPECT_EQ(Messages, std::vector<std::string>{c.Message});
    EXPECT_EQ(Dialog.PrintRange, prAllPages);  // cancelled: nothing taken
  }
  // Without a known page count any page from 1 up is taken, 0 never (it would mean
  // "to the end").
  Dialog.MinPage = 0;
  Dialog.MaxPage = 9999;
  Messages.clear();
  EXPECT_FALSE(Run([] { Pages("0", "0"); Ok(); }));
  EXPECT_EQ(Messages, std::vector<std::string>{"The pages of the range must lie between 1 and 9999."});
  EXPECT_TRUE(Run([] { Pages("1", "9999"); Ok(); }));
}

TEST_F(PrintDialog, PrinterCopiesCollationAndOrientationReachThePrinterObject) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("out.pdf").toStdString();
  Dialog.SetCopies(2);
  EXPECT_EQ(Device.DeviceMode().Copies, 2);
  ASSERT_TRUE(Run([&] {
    EXPECT_EQ(Get<QSpinBox>("Copies")->value(), 2);
    EXPECT_TRUE(Get<QRadioButton>("Portrait")->isChecked());
    // The file belongs to the PDF printer only.
    EXPECT_FALSE(Get<QLineEdit>("FileName")->isEnabled());
    Get<QComboBox>("PrinterName")->setCurrentIndex(1);
    EXPECT_TRUE(Get<QLineEdit>("FileName")->isEnabled());
    Get<QLineEdit>("FileName")->setText(QString::fromStdString(file));
    Get<QSpinBox>("Copies")->setValue(3);
    Get<QCheckBox>("Collate")->setChecked(true);
    Get<QRadioButton>("Landscape")->setChecked(true);
    Ok();
  }));
  EXPECT_EQ(Device.PrinterIndex(), 1);
  EXPECT_EQ(Device.OutputFileName(), file);
  EXPECT_EQ(Dialog.Copies(), 3);
  EXPECT_EQ(Device.DeviceMode().Copies, 3);
  EXPECT_TRUE(Dialog.Collate);
  EXPECT_TRUE(Device.DeviceMode().Collate);
  EXPECT_EQ(Device.DeviceMode().Orientation, 2);
}

TEST_F(PrintDialog, CancelLeavesPrinterAndChoicesAlone) {
  EXPECT_FALSE(Run([] {
    Get<QComboBox>("PrinterName")->setCurrentIndex(1);
    Get<QSpinBox>("Copies")->setValue(4);
    Pages("2", "3");
    Get<QPushButton>("CancelButton")->click();
  }));
  EXPECT_FALSE(StayedOpen);
  EXPECT_EQ(Device.PrinterIndex(), 0);
  EXPECT_EQ(Device.DeviceMode().Copies, 1);
  EXPECT_EQ(Dialog.Copies(), 1);
  EXPECT_EQ(Dialog.PrintRange, prAllPages);
}

TEST_F(PrintDialog, APdfFileNeedsANameInAFolderThatExists) {
  for (auto [name, message] : std::vector<std::pair<const char*, const char*>>{
           {"", "Enter the name of the PDF file to write."},
           {"/no/such/folder/out.pdf", "The folder \"/no/such/folder\" does not exist."}}) {
    Messages.clear();
    EXPECT_FALSE(Run([name = name] {
      Get<QComboBox>("PrinterName")->setCurrentIndex(1);
      Get<QLineEdit>("FileName")->setText(name);
      Ok();
    }));
    EXPECT_TRUE(StayedOpen);
    EXPECT_EQ(Messages, std::vector<std::string>{message});
  }
}

TEST_F(PrintDialog, OnlyTheOfferedRangesCanBeChosen) {
  Dialog.Options = {poWarning};
  ASSERT_TRUE(Run([] {
    EXPECT_FALSE(Get<QRadioButton>("PageNums")->isEnabled());
    EXPECT_FALSE(Get<QRadioButton>("Selection")->isEnabled());
    EXPECT_FALSE(Get<QCheckBox>("PrintToFile")->isVisibleTo(Form()));
    Ok();
  }));
  EXPECT_EQ(Dialog.PrintRange, prAllPages);
}

TEST_F(PrintDialog, WithoutPrintersItWarnsOnlyWhenAskedTo) {
  TPrinter none{std::vector<TPrinterDevice>{}};
  TQRPrintDialog dialog(&none);
  EXPECT_FALSE(dialog.Execute());
  EXPECT_TRUE(Messages.empty());
  dialog.Options = {poWarning};
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(Messages, std::vector<std::string>{"There is no printer to print on."});
}

}  // namespace
}  // namespace rpt
