#pragma once
// The link between the report printer and a system printer: the printer list (the CUPS
// queues plus a built-in printer that writes a PDF file), each printer's settings block
// (field bits and codes as the report model keeps them), its capabilities, and print
// jobs through QPrinter. TPrinterSettings reads the block and writes a run's paper,
// orientation, source, copies and duplex into it before a job; TQRPrinterSettings is the
// per-report record of print options.
#include <QPageSize>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "objects/ClassBuilder.h"
#include "objects/Exceptions.h"
#include "objects/StdTypes.h"
#include "output/QRPaper.h"

class QPrinter;
class QPainter;

namespace rpt {

class TPdfDocument;

class TCanvas;
class TQtCanvas;

// Field bits of a settings block.
constexpr uint32_t DM_ORIENTATION = 1;
constexpr uint32_t DM_PAPERSIZE = 2;
constexpr uint32_t DM_PAPERLENGTH = 4;
constexpr uint32_t DM_PAPERWIDTH = 8;
constexpr uint32_t DM_COPIES = 256;
constexpr uint32_t DM_DEFAULTSOURCE = 512;
constexpr uint32_t DM_DUPLEX = 4096;
constexpr uint32_t DM_COLLATE = 32768;

// A printer's settings block. Lengths in tenths of a millimetre.
struct TDeviceMode {
  uint32_t Fields = 0;      // the fields this printer understands
  int32_t Orientation = 1;  // 1 portrait, 2 landscape
  int32_t PaperSize = 9;    // paper code, 256 custom
  int32_t PaperLength = 0;  // custom size, portrait
  int32_t PaperWidth = 0;
  int32_t Copies = 1;
  int32_t DefaultSource = 7;
  int32_t Duplex = 1;       // 1 simplex, 2 long edge, 3 short edge
  bool Collate = false;
};

// One printer of the list and what it can do.
struct TPrinterDevice {
  std::string Name;
  std::string Driver;  // "cups" or "pdf"
  std::string Port;    // the queue, or the output file of the PDF printer
  bool BuiltInPdf = false;
  int32_t DpiX = 300, DpiY = 300;
  int32_t OffsetX = 0, OffsetY = 0;  // unprintable margin, in dots
  std::vector<int32_t> PaperCodes;   // paper codes offered
  std::vector<int32_t> BinCodes;     // source codes offered
  TDeviceMode Defaults;
};

// An error of the printing layer (no printer, job could not start).
class EPrinterError : public Exception {
  using Exception::Exception;
};

// The platform printer object: one selected printer of the list, its settings block
// and at most one open job.
class TPrinter {
 public:
  // The system's printers: the CUPS queues, then the built-in PDF printer (always there).
  TPrinter();
  // A printer object over a given list (tests, tools).
  explicit TPrinter(std::vector<TPrinterDevice> devices);
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  static std::vector<TPrinterDevice> SystemPrinters();
  // The built-in printer that writes a PDF file.
  static TPrinterDevice PdfPrinter();
  // The application's selected printer (an index into the system list; -1 the default).
  static int ApplicationPrinterIndex();
  static void SetApplicationPrinterIndex(int index);

  const std::vector<TPrinterDevice>& Printers() const { return FDevices; }
  int PrinterIndex() const { return FIndex; }
  // Selects a printer and reloads its default settings block.
  void SetPrinterIndex(int index);
  const TPrinterDevice& Device() const;
  TDeviceMode& DeviceMode() { return FMode; }
  const TDeviceMode& DeviceMode() const { return FMode; }

  // Capabilities under the current settings block.
  int32_t DpiX() const { return Device().DpiX; }
  int32_t DpiY() const { return Device().DpiY; }
  int32_t OffsetX() const { return Device().OffsetX; }
  int32_t OffsetY() const { return Device().OffsetY; }
  // Physical paper in dots, in the block's orientation.
  int32_t PhysicalWidth() const;
  int32_t PhysicalHeight() const;
  // The printable page in dots.
  int32_t PageWidth() const;
  int32_t PageHeight() const;

  // Where the built-in PDF printer writes (default: "report.pdf").
  const std::string& OutputFileName() const { return FOutputFile; }
  void SetOutputFileName(const std::string& name) { FOutputFile = name; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& title) { FTitle = title; }

  // Jobs. BeginDoc takes the settings block into QPrinter, or for the built-in printer
  // into a PDF document of the paper size; fails with EPrinterError.
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();
  bool Printing() const { return FPainter != nullptr; }
  // Device pages started in the current or last job.
  int PagesStarted() const { return FPagesStarted; }
  // What the last job of the built-in printer told (texts in a script no installed font
  // shows), one line each.
  const std::vector<std::string>& JobMessages() const { return FJobMessages; }
  // The canvas and painter of the job's current page (nil without a job).
  TCanvas* Canvas() const;
  QPainter* Painter() const { return FPainter.get(); }

 private:
  void CloseJob();
  std::vector<TPrinterDevice> FDevices;
  int FIndex = 0;
  TDeviceMode FMode;
  std::string FOutputFile = "report.pdf";
  // The file a job writes (through a symbolic link, its target) and its name while
  // it is written.
  std::string FTargetFile;
  std::string FPartFile;
  void* FPartRegistered = nullptr;  // for removal by a signal (see RegisterTemporaryFile)
  void ReleasePartFile();
  std::string FTitle;
  std::unique_ptr<QPrinter> FQPrinter;
  std::unique_ptr<TPdfDocument> FPdf;  // the built-in printer's job
  std::string FPdfError;
  std::vector<std::string> FJobMessages;
  std::unique_ptr<QPainter> FPainter;
  std::unique_ptr<TQtCanvas> FCanvas;
  int FPagesStarted = 0;
};

// The page size a paper code stands for (an invalid size for unknown codes).
QPageSize PageSizeForCode(int32_t code);
// The paper code of a page size (0 when no size of the table carries it).
int32_t CodeForPageSize(const QPageSize& size);

class TPrinterSettings : public TObject {
 public:
  TPrinterSettings() = default;

  // Remembers printer; reads its settings when it has at least one printer.
  void AttachPrinter(TPrinter* printer);
  TPrinter* Printer() const { return FPrinter; }
  void ReadFromDevice();
  void ApplyToDevice();
  bool DeviceSupports(uint32_t fields) const;
  bool PaperSizeSupported(TQRPaperSize size) const;

  std::string DeviceName, DriverName, PortName;

  int32_t Copies() const { return FCopies; }
  void SetCopies(int32_t value);
  bool Duplex() const { return FDuplex; }
  void SetDuplex(bool value) { FDuplex = value; }
  bool Collate() const { return FCollate; }
  void SetCollate(bool value) { FCollate = value; }
  TPrinterOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TPrinterOrientation value);
  TQRBin OutputBin() const { return FOutputBin; }
  void SetOutputBin(TQRBin value);
  TQRPaperSize PaperSize() const { return FPaperSize; }
  void SetPaperSize(TQRPaperSize value);
  // Effective dimensions: stored for Default and Custom, the table's otherwise.
  int32_t PaperWidth() const;
  int32_t PaperLength() const;
  void SetPaperWidth(int32_t value);
  void SetPaperLength(int32_t value);
  int32_t DotsPerInchX() const { return FDotsPerInchX; }
  int32_t DotsPerInchY() const { return FDotsPerInchY; }
  int32_t UnprintableTop() const { return FUnprintableTop; }
  int32_t UnprintableLeft() const { return FUnprintableLeft; }
  bool SupportedSize(int index) const { return index >= 1 && index <= 27 && FSupportedSizes[index - 1]; }

 private:
  TPrinter* FPrinter = nullptr;
  int32_t FCopies = 1;
  bool FDuplex = false;
  bool FCollate = false;
  TPrinterOrientation FOrientation = poPortrait;
  TQRBin FOutputBin = TQRBin::First;
  TQRPaperSize FPaperSize = TQRPaperSize::A4;
  bool FSupportedSizes[27] = {};
  int32_t FPaperWidth = 0, FPaperLength = 0;
  int32_t FDotsPerInchX = 0, FDotsPerInchY = 0;
  int32_t FUnprintableTop = 0, FUnprintableLeft = 0;
};

// The print options a report keeps with it.
class TQRPrinterSettings : public TPersistent {
  RPT_CLASS(TQRPrinterSettings, TPersistent)
  TQRPrinterSettings() = default;
  int32_t Copies = 1;
  bool Duplex = false;
  TPrinterOrientation Orientation = poPortrait;
  TQRBin OutputBin = TQRBin::Auto;
  TQRPaperSize PaperSize = TQRPaperSize::Letter;
  int32_t PrinterNumber = -1;
  std::string Title;
  int32_t FirstPage = 0;
  int32_t LastPage = 0;
  // Chosen in the print dialog for the session; not stored with the report.
  bool Collate = false;
  // Where the built-in PDF printer writes; empty: its own default.
  std::string OutputFileName;
  void AssignFrom(const TPersistent* source) override;
};

}  // namespace rpt
