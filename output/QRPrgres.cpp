#include "output/QRPrgres.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "framework/Application.h"
#include "framework/Controls.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "output/QRPrinter.h"
#include "output/QRPrnSu.h"

namespace rpt {

// Takes the printer's progress messages for its form.
class TQRProgressNotify : public TCustomControl {
  RPT_CLASS(TQRProgressNotify, TCustomControl)
  TQRProgressNotify() = default;
  TQRProgressForm* Form = nullptr;
  void WndProc(TMessage& message) override {
    if (message.Msg == CM_QRPROGRESSUPDATE) {
      if (Form) Form->ProgressUpdate();
      return;
    }
    TCustomControl::WndProc(message);
  }
};
RPT_BEGIN_CLASS(TQRProgressNotify, TCustomControl)
RPT_END_CLASS

namespace {

// The largest page number the dialog takes.
constexpr int32_t kLastPossiblePage = 999999;

bool ParsePage(const QString& text, int32_t& page) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok) return false;
  page = value;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Progress form

std::string ProgressText(int32_t percent) { return std::to_string(percent) + "% " + " Completed"; }

TQRProgressForm::TQRProgressForm(TQRPrinter* printer, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      FPrinter(printer) {
  setObjectName("QRProgressForm");
  setWindowTitle("Printing progress");
  setFixedSize(149, 97);
  Info = new QLabel(this);
  Info->setObjectName("Info");
  Info->setGeometry(0, 44, 145, 13);
  Info->setAlignment(Qt::AlignCenter);
  CancelButton = new QPushButton("Cancel", this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(36, 60, 75, 25);
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
  Gauge = new QProgressBar(this);
  Gauge->setObjectName("Gauge");
  Gauge->setGeometry(16, 18, 114, 16);
  Gauge->setRange(0, 100);
  Gauge->setValue(0);
  Gauge->setTextVisible(false);
  FNotify = TComponent::Create<TQRProgressNotify>(nullptr);
  static_cast<TQRProgressNotify*>(FNotify)->Form = this;
  if (QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

TQRProgressForm::~TQRProgressForm() {
  // A progress message still queued for the form is dropped with its control.
  static_cast<TQRProgressNotify*>(FNotify)->Form = nullptr;
  FNotify->Free();
}

void TQRProgressForm::ProgressUpdate() {
  if (!FPrinter) return;
  const int32_t progress = FPrinter->Progress();
  if (progress % 5 != 0) return;
  Gauge->setValue(std::clamp(progress, 0, 100));
  Info->setText(QString::fromStdString(ProgressText(progress)));
  // The pass already lets pending messages run once per record; painting here is what
  // keeps the figures current without running the queue from inside its own handler.
  if (isVisible()) {
    Gauge->repaint();
    Info->repaint();
  }
}

void TQRProgressForm::CancelButtonClick() {
  if (FPrinter) FPrinter->RequestCancel();
  CancelButton->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Print dialog

void TQRPrintDialog::SetCopies(int32_t value) {
  FCopies = value;
  if (FPrinter) FPrinter->DeviceMode().Copies = value;
}

bool TQRPrintDialog::Execute() {
  if (!FPrinter || FPrinter->Printers().empty()) {
    if (Options.Contains(poWarning)) MessageDlg("There is no printer to print on.", mtWarning, {mbOK});
    return false;
  }
  TQRPrintDialogForm form(*this, QApplication::activeWindow());
  return ExecDialog(form) == QDialog::Accepted;
}

TQRPrintDialogForm::TQRPrintDialogForm(TQRPrintDialog& dialog, QWidget* parent) : QDialog(parent), FDialog(dialog) {
  setObjectName("QRPrintDialog");
  setWindowTitle("Print");
  CreateControls();
  LoadFromDialog();
  // Its real size before it opens, so that it opens centred.
  adjustSize();
}

void TQRPrintDialogForm::CreateControls() {
  auto* layout = new QVBoxLayout(this);

  auto* printer = new QGroupBox("Printer", this);
  auto* printerGrid = new QGridLayout(printer);
  printerGrid->addWidget(new QLabel("&Name:", printer), 0, 0);
  FPrinterName = new QComboBox(printer);
  FPrinterName->setObjectName("PrinterName");
  FPrinterName->setMinimumWidth(240);
  for (const TPrinterDevice& d : FDialog.Printer()->Printers()) FPrinterName->addItem(QString::fromStdString(d.Name));
  static_cast<QLabel*>(printerGrid->itemAtPosition(0, 0)->widget())->setBuddy(FPrinterName);
  printerGrid->addWidget(FPrinterName, 0, 1, 1, 2);
  FFileLabel = new QLabel("&File:", printer);
  printerGrid->addWidget(FFileLabel, 1, 0);
  FFileName = new QLineEdit(printer);
  FFileName->setObjectName("FileName");
  FFileLabel->setBuddy(FFileName);
  printerGrid->addWidget(FFileName, 1, 1);
  FBrowse = new QPushButton("&Browse...", printer);
  FBrowse->setObjectName("Browse");
  printerGrid->addWidget(FBrowse, 1, 2);
  FPrintToFile = new QCheckBox("Print to fi&le", printer);
  FPrintToFile->setObjectName("PrintToFile");
  printerGrid->addWidget(FPrintToFile, 2, 1);
  layout->addWidget(printer);

  auto* middle = new QHBoxLayout;
  auto* range = new QGroupBox("Print range", this);
  auto* rangeGrid = new QGridLayout(range);
  FAllPages = new QRadioButton("&All", range);
  FAllPages->setObjectName("AllPages");
  rangeGrid->addWidget(FAllPages, 0, 0, 1, 4);
  FPageNums = new QRadioButton("Pa&ges", range);
  FPageNums->setObjectName("PageNums");
  rangeGrid->addWidget(FPageNums, 1, 0);
  rangeGrid->addWidget(new QLabel("from:", range), 1, 1);
  FFromPage = new QLineEdit(range);
  FFromPage->setObjectName("FromPage");
  FFromPage->setFixedWidth(50);
  rangeGrid->addWidget(FFromPage, 1, 2);
  rangeGrid->addWidget(new QLabel("to:", range), 1, 3);
  FToPage = new QLineEdit(range);
  FToPage->setObjectName("ToPage");
  FToPage->setFixedWidth(50);
  rangeGrid->addWidget(FToPage, 1, 4);
  FSelection = new QRadioButton("&Selection", range);
  FSelection->setObjectName("Selection");
  rangeGrid->addWidget(FSelection, 2, 0, 1, 4);
  middle->addWidget(range);

  auto* copies = new QGroupBox("Copies", this);
  auto* copiesGrid = new QGridLayout(copies);
  auto* copiesLabel = new QLabel("Number of &copies:", copies);
  copiesGrid->addWidget(copiesLabel, 0, 0);
  FCopies = new QSpinBox(copies);
  FCopies->setObjectName("Copies");
  FCopies->setRange(1, 9999);
  copiesLabel->setBuddy(FCopies);
  copiesGrid->addWidget(FCopies, 0, 1);
  FCollate = new QCheckBox("C&ollate", copies);
  FCollate->setObjectName("Collate");
  copiesGrid->addWidget(FCollate, 1, 0, 1, 2);
  middle->addWidget(copies);

  auto* orientation = new QGroupBox("Orientation", this);
  auto* orientationBox = new QVBoxLayout(orientation);
  FPortrait = new QRadioButton("&Portrait", orientation);
  FPortrait->setObjectName("Portrait");
  FLandscape = new QRadioButton("&Landscape", orientation);
  FLandscape->setObjectName("Landscape");
  orientationBox->addWidget(FPortrait);
  orientationBox->addWidget(FLandscape);
  middle->addWidget(orientation);
  layout->addLayout(middle);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OkButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelButton");
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(FPrinterName, &QComboBox::currentIndexChanged, this, [this] { PrinterChanged(); });
  connect(FPageNums, &QRadioButton::toggled, this, [this] { RangeChanged(); });
  // Typing a page number means a page range.
  for (QLineEdit* page : {FFromPage, FToPage})
    connect(page, &QLineEdit::textEdited, this, [this] {
      if (FPageNums->isEnabled()) FPageNums->setChecked(true);
    });
  connect(FBrowse, &QPushButton::clicked, this, [this] { HandleErrors([this] { BrowseClick(); }); });
  connect(ok, &QPushButton::clicked, this, [this] { OkClick(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TQRPrintDialogForm::LoadFromDialog() {
  TPrinter& printer = *FDialog.Printer();
  FPrinterName->setCurrentIndex(printer.PrinterIndex());
  FFileName->setText(QString::fromStdString(printer.OutputFileName()));
  const TPrintDialogOptions options = FDialog.Options;
  FPrintToFile->setVisible(options.Contains(poPrintToFile));
  FPrintToFile->setEnabled(!options.Contains(poDisablePrintToFile));
  FPrintToFile->setChecked(FDialog.PrintToFile);
  FPageNums->setEnabled(options.Contains(poPageNums));
  FSelection->setEnabled(options.Contains(poSelection));
  QRadioButton* range = FAllPages;
  if (FDialog.PrintRange == prPageNums && options.Contains(poPageNums)) range = FPageNums;
  if (FDialog.PrintRange == prSelection && options.Contains(poSelection)) range = FSelection;
  range->setChecked(true);
  if (FDialog.FromPage > 0) FFromPage->setText(QString::number(FDialog.FromPage));
  if (FDialog.ToPage > 0) FToPage->setText(QString::number(FDialog.ToPage));
  FCopies->setValue(std::max(1, FDialog.Copies()));
  FCollate->setChecked(FDialog.Collate);
  (printer.DeviceMode().Orientation == 2 ? FLandscape : FPortrait)->setChecked(true);
  PrinterChanged();
  RangeChanged();
}

bool TQRPrintDialogForm::PdfPrinterChosen() const {
  const auto& printers = FDialog.Printer()->Printers();
  const int index = FPrinterName->currentIndex();
  return index >= 0 && index < static_cast<int>(printers.size()) && printers[static_cast<size_t>(index)].BuiltInPdf;
}

void TQRPrintDialogForm::PrinterChanged() {
  // Only the built-in PDF printer writes a file of its own.
  const bool pdf = PdfPrinterChosen();
  for (QWidget* w : std::initializer_list<QWidget*>{FFileLabel, FFileName, FBrowse}) w->setEnabled(pdf);
}

void TQRPrintDialogForm::RangeChanged() {
  const bool pages = FPageNums->isChecked();
  FFromPage->setEnabled(pages);
  FToPage->setEnabled(pages);
}

void TQRPrintDialogForm::BrowseClick() {
  const QString chosen = QFileDialog::getSaveFileName(this, "PDF file", FFileName->text(), AnyCaseFilters("PDF files (*.pdf)"));
  if (!chosen.isEmpty()) FFileName->setText(chosen);
}

int32_t TQRPrintDialogForm::LowestPage() const { return std::max(1, FDialog.MinPage); }

void TQRPrintDialogForm::ValidateInput() const {
  if (FPrinterName->currentIndex() < 0) throw Exception("Choose the printer to print on.");
  if (PdfPrinterChosen()) {
    const std::string file = FFileName->text().trimmed().toStdString();
    if (file.empty()) throw Exception("Enter the name of the PDF file to write.");
    const std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
      throw Exception(Format("The folder \"%s\" does not exist.", folder.string()));
  }
  if (!FPageNums->isChecked()) return;
  const int32_t lowest = LowestPage();
  const int32_t highest = FDialog.MaxPage > 0 ? std::max(lowest, FDialog.MaxPage) : kLastPossiblePage;
  int32_t from = 0, to = 0;
  if (!ParsePage(FFromPage->text(), from) || !ParsePage(FToPage->text(), to))
    throw Exception("Enter the first and the last page of the range as whole numbers.");
  if (from < lowest || from > highest || to < lowest || to > highest)
    throw Exception(Format("The pages of the range must lie between %d and %d.", lowest, highest));
  if (from > to) throw Exception("The first page of the range comes after its last page.");
}

void TQRPrintDialogForm::ApplyToDialog() {
  TPrinter& printer = *FDialog.Printer();
  if (FPrinterName->currentIndex() != printer.PrinterIndex()) printer.SetPrinterIndex(FPrinterName->currentIndex());
  if (PdfPrinterChosen()) printer.SetOutputFileName(FFileName->text().trimmed().toStdString());
  printer.DeviceMode().Orientation = FLandscape->isChecked() ? 2 : 1;
  printer.DeviceMode().Collate = FCollate->isChecked();
  FDialog.SetCopies(FCopies->value());
  FDialog.Collate = FCollate->isChecked();
  FDialog.PrintToFile = FPrintToFile->isChecked();
  if (FPageNums->isChecked()) {
    FDialog.PrintRange = prPageNums;
    ParsePage(FFromPage->text(), FDialog.FromPage);
    ParsePage(FToPage->text(), FDialog.ToPage);
  } else {
    FDialog.PrintRange = FSelection->isChecked() ? prSelection : prAllPages;
  }
}

void TQRPrintDialogForm::OkClick() {
  try {
    ValidateInput();
  } catch (const Exception& e) {
    MessageDlg(e.Message(), mtWarning, {mbOK});
    return;
  }
  ApplyToDialog();
  accept();
}

// ---------------------------------------------------------------------------

void RegisterStandardPrintDialogs() {
  TQRPrintWindows::RunPrintDialog = [](TQRPrintDialog& dialog) { return dialog.Execute(); };
  TQRPrintWindows::OpenProgressForm = [](TQRPrinter& printer) {
    auto form = std::make_unique<TQRProgressForm>(&printer);
    form->show();
    return form;
  };
}

}  // namespace rpt
