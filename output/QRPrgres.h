#pragma once
// The windows of printing: the progress form that follows a print run and lets the user
// cancel it, and the print dialog that chooses printer, page range, copies, collation
// and orientation for a printer object. Both are used only once registered
// (RegisterStandardPrintDialogs): the program registers them at start-up; headless tools
// and model tests run without them, or with their own stand-ins.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "objects/TypeInfo.h"
#include "output/QRPaper.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace rpt {

class TCustomControl;
class TPrinter;
class TQRPrinter;

// The window of one direct print run: a gauge and "<n>%  Completed" at every multiple of
// 5 the printer reports, and Cancel, which asks the printer to stop.
class TQRProgressForm : public QDialog {
 public:
  explicit TQRProgressForm(TQRPrinter* printer, QWidget* parent = nullptr);
  ~TQRProgressForm() override;

  // The control the printer posts its progress to: make it the printer's NotifyWindow.
  TCustomControl* NotifyControl() const { return FNotify; }
  // The progress message: takes the printer's current Progress, not the message's.
  void ProgressUpdate();
  void CancelButtonClick();
  // Escape cancels the print rather than hiding the form while the print goes on.
  void reject() override { CancelButtonClick(); }

  QLabel* Info = nullptr;
  QPushButton* CancelButton = nullptr;
  QProgressBar* Gauge = nullptr;

 private:
  TQRPrinter* FPrinter;
  TCustomControl* FNotify = nullptr;
};

// The text the progress form shows for a percentage.
std::string ProgressText(int32_t percent);

enum TPrintDialogOption : uint8_t { poPrintToFile, poPageNums, poSelection, poWarning, poHelp, poDisablePrintToFile };
using TPrintDialogOptions = TSet<TPrintDialogOption>;
enum TPrintRange : uint8_t { prAllPages, prSelection, prPageNums };

// The choices of one print, read from and given back to a printer object: its selected
// printer, orientation, copies and collation (in its settings block) and the output file
// of the built-in PDF printer; the page range stays here.
class TQRPrintDialog {
 public:
  explicit TQRPrintDialog(TPrinter* printer) : FPrinter(printer) {}

  TPrinter* Printer() const { return FPrinter; }
  int32_t FromPage = 0, ToPage = 0;
  // The pages that may be chosen; the dialog never offers a page below 1.
  int32_t MinPage = 0, MaxPage = 0;
  bool Collate = false;
  bool PrintToFile = false;
  TPrintDialogOptions Options;
  TPrintRange PrintRange = prAllPages;
  int32_t Copies() const { return FCopies; }
  // Also the printer object's number of copies.
  void SetCopies(int32_t value);

  // Runs the dialog modally over the application's windows; true on OK (the choices are
  // then here and in the printer object). Cancel changes nothing.
  bool Execute();

 private:
  TPrinter* FPrinter;
  int32_t FCopies = 1;
};

// The dialog window of TQRPrintDialog: it loads the choices when it opens and gives them
// back only on a valid OK; a wrong entry is named in a message and the window stays.
class TQRPrintDialogForm : public QDialog {
 public:
  explicit TQRPrintDialogForm(TQRPrintDialog& dialog, QWidget* parent = nullptr);

  // Throws an Exception naming the first wrong entry.
  void ValidateInput() const;
  void ApplyToDialog();

 private:
  void CreateControls();
  void LoadFromDialog();
  void PrinterChanged();
  void RangeChanged();
  void BrowseClick();
  void OkClick();
  int32_t LowestPage() const;
  bool PdfPrinterChosen() const;

  TQRPrintDialog& FDialog;
  QComboBox* FPrinterName = nullptr;
  QLabel* FFileLabel = nullptr;
  QLineEdit* FFileName = nullptr;
  QPushButton* FBrowse = nullptr;
  QCheckBox* FPrintToFile = nullptr;
  QRadioButton* FAllPages = nullptr;
  QRadioButton* FSelection = nullptr;
  QRadioButton* FPageNums = nullptr;
  QLineEdit* FFromPage = nullptr;
  QLineEdit* FToPage = nullptr;
  QSpinBox* FCopies = nullptr;
  QCheckBox* FCollate = nullptr;
  QRadioButton* FPortrait = nullptr;
  QRadioButton* FLandscape = nullptr;
};

// The standard windows of printing once registered; empty otherwise, and then a print
// setup runs nothing and a print run shows no progress.
struct TQRPrintWindows {
  // Runs a print dialog; false when it was cancelled.
  static inline std::function<bool(TQRPrintDialog&)> RunPrintDialog;
  // The progress form of a print run of printer, shown.
  static inline std::function<std::unique_ptr<TQRProgressForm>(TQRPrinter&)> OpenProgressForm;
};

// Registers the standard print dialog and progress form.
void RegisterStandardPrintDialogs();

}  // namespace rpt
