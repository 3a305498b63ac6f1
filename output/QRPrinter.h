#pragma once
// The output device of a report run. Pages go either to the page store (one metafile
// per page, appended to the page list for the preview) or to a system printer (pages
// in the requested range straight onto the device, the others into throwaway
// metafiles so that page numbers and totals stay right). The same object then hands
// out recorded pages, prints them, and saves and loads recorded-report files.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "framework/Canvas.h"
#include "framework/Messages.h"
#include "framework/Metafile.h"
#include "objects/Exceptions.h"
#include "output/QRExport.h"
#include "output/QRPageList.h"
#include "output/QRPaper.h"
#include "output/QRPrnSu.h"

namespace rpt {

class TCustomControl;
class TMetafileCanvas;

enum TQROutputTarget : uint8_t { otPageStore, otPrinter };
enum TQRPrinterStatus : uint8_t { qsReady, qsBusy, qsFinished };

// Messages to the notify window and the owner report.
constexpr uint32_t CM_QRPROGRESSUPDATE = WM_USER + 0;
constexpr uint32_t CM_QRPAGEAVAILABLE = WM_USER + 1;
constexpr uint32_t CM_QRPRINT = WM_USER + 2;
constexpr uint32_t CM_QRPREVIEWCLOSE = WM_USER + 4;
// Sent by a printer being freed to its notify window (LParam: the printer), so that a
// preview never reads a printer that is gone.
constexpr uint32_t CM_QRPAGESOURCEGONE = WM_USER + 6;

class EQRError : public Exception {
  using Exception::Exception;
};

class TQRPrinter : public TPersistent {
  RPT_CLASS(TQRPrinter, TPersistent)
  // Over the system's printers (the CUPS queues and the built-in PDF printer).
  TQRPrinter();
  // Over a given printer list; an empty list means a system without printers.
  explicit TQRPrinter(std::vector<TPrinterDevice> devices);
  ~TQRPrinter() override;

  using TPrinterEvent = std::function<void(TQRPrinter*)>;
  TPrinterEvent OnAfterPrint;
  TPrinterEvent OnAfterPreview;
  TPrinterEvent OnShowPreview;
  TPrinterEvent OnPrintSetup;
  // When set, each finished page of a page-store pass goes here instead of into the
  // store, on the generating thread and in page order (a render that writes pages as
  // they come and keeps none, so no store limit applies). It may block; what it throws
  // ends the pass.
  std::function<void(std::unique_ptr<TMetafile> page)> OnPageRecorded;
  // Runs an export pass of the report the pages came from (set by the report).
  std::function<void(TQRExportFilter& filter)> OnExport;
  // Opens the standard preview when OnShowPreview is not set (the preview registers it).
  static inline std::function<void(TQRPrinter*, bool modal)> PreviewInterface;

  TPrinterSettings& Settings() { return FSettings; }
  TPrinter& Printer() { return *FPrinter; }
  TQRPageList& PageList() { return FPageList; }
  const TQRPageList& PageList() const { return FPageList; }

  void OpenDocument();
  void NewPage();
  void CloseDocument();
  void AbandonDocument();
  void RequestCancel() { FCancelled = true; }
  // A new job begins uncancelled: said by whoever starts it, before its progress form can
  // take a click (a cancel made once the job has begun must hold).
  void ClearCancel() { FCancelled = false; }
  bool Cancelled() const { return FCancelled; }
  void ReportProgress(int32_t percent);
  void Reset();

  int32_t XToDevice(double x) const { return Nearest((x - FDeviceLeftOffset) * FHorzScale); }
  int32_t YToDevice(double y) const { return Nearest((y - FDeviceTopOffset) * FVertScale); }
  int32_t WidthToDevice(double w) const { return Nearest(w * FHorzScale); }
  int32_t HeightToDevice(double h) const { return Nearest(h * FVertScale); }

  TQRPaperSize PaperSize() const { return FSettings.PaperSize(); }
  void SetPaperSize(TQRPaperSize value) { FSettings.SetPaperSize(value); }
  TPrinterOrientation Orientation() const { return FSettings.Orientation(); }
  void SetOrientation(TPrinterOrientation value) { FSettings.SetOrientation(value); }
  int32_t PaperWidth() const { return FSettings.PaperWidth(); }
  void SetPaperWidth(int32_t value) { FSettings.SetPaperWidth(value); }
  int32_t PaperLength() const { return FSettings.PaperLength(); }
  void SetPaperLength(int32_t value) { FSettings.SetPaperLength(value); }
  int32_t Copies() const { return FSettings.Copies(); }
  void SetCopies(int32_t value) { FSettings.SetCopies(value); }
  TQRBin OutputBin() const { return FSettings.OutputBin(); }
  void SetOutputBin(TQRBin value) { FSettings.SetOutputBin(value); }
  int PrinterNumber() const { return FPrinter->PrinterIndex(); }
  void SetPrinterNumber(int value);
  int32_t OrientedPaperWidth() const;
  int32_t OrientedPaperLength() const;
  void SetCompressed(bool value) { FPageList.SetCompressed(value); }

  // A new metafile the caller owns, or none.
  std::unique_ptr<TMetafile> PageImage(int32_t n);
  // Prints the recorded pages FirstPage..LastPage (a report's own are printed by the report).
  void PrintRecording();
  // The same, here and now.
  void PrintPages();
  void SaveRecording(const std::string& fileName);
  void LoadRecording(const std::string& fileName);
  void ShowPreview();
  void ShowPreviewModal();
  void RunPrintSetup() { if (OnPrintSetup) OnPrintSetup(this); }
  // A filter of recorded pages writes them all; another runs an export pass of the
  // report the pages came from, which a loaded recording does not have.
  void ExportVia(TQRExportFilter& filter);
  void PreviewClosed(TCustomControl* window);
  bool PreviewShown() const { return FPreviewShown; }
  void SetPreviewShown(bool value);

  TQROutputTarget OutputTarget = otPageStore;
  int32_t FirstPage = 0;
  int32_t LastPage = 0;
  // An export pass lays its texts out on the page canvas but keeps no drawing.
  bool MeasureOnly = false;
  // The pass prints the page count (set by the report): only then is a page count
  // mark in a page's text one, else it is the report's own text (data may hold it).
  bool PrintsPageCount = false;
  std::string Title;
  // Set on the interface thread while the generation thread posts its news to it.
  std::atomic<TCustomControl*> NotifyWindow{nullptr};
  TCustomControl* OwnerReport = nullptr;

  TCanvas* PageCanvas() const { return FPageCanvas; }
  TQRPrinterStatus Status() const { return FStatus.load(); }
  int32_t TotalPages() const { return FTotalPages.load(); }
  int32_t PageNumber() const { return FPageNumber; }
  int32_t AnnouncedPages() const { return FAnnouncedPages; }
  int32_t Progress() const { return FProgress; }
  bool HasPrinters() const { return FHasPrinters; }
  bool LoadedFromFile() const { return FLoadedFromFile; }
  // From OpenDocument until Close/AbandonDocument has written its last byte (the store's
  // header): until then the pages may still change under a reader that copies them.
  bool DocumentOpen() const { return FDocumentOpen.load(); }
  double HorzScale() const { return FHorzScale; }
  double VertScale() const { return FVertScale; }
  int32_t DeviceLeftOffset() const { return FDeviceLeftOffset; }
  int32_t DeviceTopOffset() const { return FDeviceTopOffset; }

 private:
  void Init();
  bool PageInRange(int32_t page) const;
  void OpenMetafilePage();
  void CloseMetafilePage(bool keep);
  void OpenPrinterPage();
  void ClosePrinterPage();
  void AnnouncePage();
  void DetectPaper();

  std::unique_ptr<TPrinter> FPrinter;
  TPrinterSettings FSettings;
  TQRPageList FPageList;
  bool FHasPrinters = false;
  std::atomic<bool> FCancelled{false};
  std::atomic<TQRPrinterStatus> FStatus{qsReady};
  std::atomic<int32_t> FTotalPages{0};
  std::atomic<bool> FDocumentOpen{false};
  int32_t FPageNumber = 0;
  int32_t FAnnouncedPages = 0;
  int32_t FProgress = 0;
  int32_t FDeviceLeftOffset = 0, FDeviceTopOffset = 0;
  double FHorzScale = 1.0, FVertScale = 1.0;
  bool FPreviewShown = false;
  bool FLoadedFromFile = false;
  TCanvas* FPageCanvas = nullptr;
  std::unique_ptr<TMetafile> FMetafile;
  std::unique_ptr<TMetafileCanvas> FMetafileCanvas;
};

}  // namespace rpt
