#include "output/QRPrinter.h"

#include <QCoreApplication>
#include <QPainter>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "framework/Controls.h"
#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "output/QRPrgres.h"
#include "objects/Format.h"

namespace rpt {

namespace {

constexpr double ScreenScale() { return kScreenPixelsPerInch / 254.0; }

// The document counts as open until its closing step has ended, also when it failed.
struct TDocumentClosing {
  std::atomic<bool>& Open;
  ~TDocumentClosing() { Open = false; }
};

// The page canvas of an export pass: texts are laid out exactly as on a recorded page,
// but nothing is kept, so a pass over a long list needs no memory for its drawing.
class TMeasuringCanvas final : public TMetafileCanvas {
 public:
  using TMetafileCanvas::TMetafileCanvas;
  void LineTo(int32_t x, int32_t y) override { FPenPos = {x, y}; }
  void Rectangle(int32_t, int32_t, int32_t, int32_t) override {}
  void Ellipse(int32_t, int32_t, int32_t, int32_t) override {}
  void RoundRect(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override {}
  void FillRect(const TRect&) override {}
  void FrameRect(const TRect&) override {}
  void Polyline(const std::vector<TPoint>&) override {}
  void Polygon(const std::vector<TPoint>&) override {}
  void SetPixel(int32_t, int32_t, TColor) override {}
  void FillRectsF(const std::vector<TRectF>&) override {}
  void FillPolygonF(const std::vector<TPointF>&) override {}
  void StretchDraw(const TRect&, const TPixels&) override {}
  void TextOut(int32_t, int32_t, std::string_view) override {}
  void TextRect(const TRect&, int32_t, int32_t, std::string_view) override {}
  void SetClipRect(const TRect& rect) override {
    FClip = rect;
    FHasClip = true;
  }
  void ClearClipRect() override { FHasClip = false; }
  bool HasClipRect() const override { return FHasClip; }
  TRect ClipRect() const override { return FClip; }

 private:
  TRect FClip{};
  bool FHasClip = false;
};


}  // namespace

RPT_BEGIN_CLASS(TQRPrinter, TPersistent)
RPT_END_CLASS

TQRPrinter::TQRPrinter() : FPrinter(std::make_unique<TPrinter>()) { Init(); }

TQRPrinter::TQRPrinter(std::vector<TPrinterDevice> devices)
    : FPrinter(std::make_unique<TPrinter>(std::move(devices))) {
  Init();
}

void TQRPrinter::Init() {
  FHasPrinters = !FPrinter->Printers().empty();
  if (FHasPrinters) {
    FSettings.AttachPrinter(FPrinter.get());
    ProcessPendingMessages();
    const int selected = TPrinter::ApplicationPrinterIndex();
    if (selected >= 0 && selected < static_cast<int>(FPrinter->Printers().size()) &&
        selected != FPrinter->PrinterIndex()) {
      FPrinter->SetPrinterIndex(selected);
      FSettings.ReadFromDevice();
    }
  }
  FDeviceTopOffset = FSettings.UnprintableTop();
  FDeviceLeftOffset = FSettings.UnprintableLeft();
}

TQRPrinter::~TQRPrinter() {
  // A preview still showing these pages lets go of them.
  TCustomControl* window = NotifyWindow.exchange(nullptr);
  if (window && IsLiveControl(window) && QThread::currentThread() == QCoreApplication::instance()->thread())
    SendMessage(window, CM_QRPAGESOURCEGONE, 0, reinterpret_cast<intptr_t>(this));
  if (Status() != qsReady) {
    try {
      Reset();
    } catch (...) {
    }
  }
  FPageCanvas = nullptr;
  FMetafileCanvas.reset();
  FPrinter->Abort();
}

bool TQRPrinter::PageInRange(int32_t page) const {
  return (FirstPage <= 0 || page >= FirstPage) && (LastPage <= 0 || page <= LastPage);
}

int32_t TQRPrinter::OrientedPaperWidth() const {
  return Orientation() == poLandscape ? PaperLength() : PaperWidth();
}

int32_t TQRPrinter::OrientedPaperLength() const {
  return Orientation() == poLandscape ? PaperWidth() : PaperLength();
}

void TQRPrinter::SetPrinterNumber(int value) {
  if (!FHasPrinters) return;
  FPrinter->SetPrinterIndex(value);  // reloads the printer's default settings block
  FSettings.ReadFromDevice();
}

void TQRPrinter::OpenDocument() {
  FPageCanvas = nullptr;
  FMetafileCanvas.reset();
  FMetafile.reset();
  FAnnouncedPages = 0;
  if (OutputTarget == otPrinter) FSettings.ApplyToDevice();
  FDeviceTopOffset = OutputTarget == otPrinter ? FSettings.UnprintableTop() : 0;
  FDeviceLeftOffset = OutputTarget == otPrinter ? FSettings.UnprintableLeft() : 0;
  if (Status() != qsReady) throw EQRError("QRPrinter not ready");
  if (OutputTarget == otPrinter && !FHasPrinters) throw EQRError("There is no default printer currently selected");
  FPageNumber = 0;
  FTotalPages = 0;
  FStatus = qsBusy;
  FDocumentOpen = true;
  if (OutputTarget == otPageStore) {
    FPageList.AttachStream(std::make_unique<TQRStream>(kStoreMemoryLimit));
    FPageList.ResetCount();
    FVertScale = ScreenScale();
    FHorzScale = FVertScale;
  } else {
    FPrinter->SetTitle(Title);
    FHorzScale = FPrinter->DpiX() / 254.0;
    FVertScale = FPrinter->DpiY() / 254.0;
  }
}

void TQRPrinter::OpenMetafilePage() {
  const int32_t w = std::max(1, WidthToDevice(OrientedPaperWidth()));
  const int32_t h = std::max(1, HeightToDevice(OrientedPaperLength()));
  FMetafile = std::make_unique<TMetafile>(w, h, kScreenPixelsPerInch);
  if (MeasureOnly)
    FMetafileCanvas = std::make_unique<TMeasuringCanvas>(*FMetafile, kScreenPixelsPerInch);
  else
    FMetafileCanvas = std::make_unique<TMetafileCanvas>(*FMetafile, kScreenPixelsPerInch);
  FPageCanvas = FMetafileCanvas.get();
  FHorzScale = FVertScale = ScreenScale();
}

// Completes the open metafile page; keep appends it to the page list.
void TQRPrinter::CloseMetafilePage(bool keep) {
  FPageCanvas = nullptr;
  if (!FMetafileCanvas) return;
  FMetafileCanvas->Close();
  FMetafileCanvas.reset();
  std::unique_ptr<TMetafile> page = std::move(FMetafile);
  if (!keep || !page) return;
  const bool marks = PrintsPageCount && !MeasureOnly && page->HasPageCountMarks();
  if (OnPageRecorded) {
    // A page handed on now cannot get the count later: such a report is written from the store.
    if (marks) throw EQRError("The report prints the page count; its pages cannot be written before the last is made");
    OnPageRecorded(std::move(page));
  } else {
    if (marks) FPageList.NoteCountMarks();
    FPageList.AppendPage(*page);
  }
}

void TQRPrinter::OpenPrinterPage() {
  if (FPrinter->Printing()) {
    FPrinter->NewPage();
  } else {
    FPrinter->SetTitle(Title);
    FPrinter->BeginDoc();
  }
  FPageCanvas = FPrinter->Canvas();
  FHorzScale = FPrinter->DpiX() / 254.0;
  FVertScale = FPrinter->DpiY() / 254.0;
}

void TQRPrinter::ClosePrinterPage() {
  FPageCanvas = nullptr;
  // The page equal to LastPage gets no break: the job stays open until CloseDocument.
  // The break itself is taken when the next in-range page opens.
}

void TQRPrinter::AnnouncePage() {
  ++FAnnouncedPages;
  if (TCustomControl* window = NotifyWindow) PostMessage(window, CM_QRPAGEAVAILABLE, FAnnouncedPages);
}

void TQRPrinter::NewPage() {
  if (Status() != qsBusy) throw EQRError("Illegal call to NewPage");
  if (FPageNumber > 0) {
    if (OutputTarget == otPageStore) {
      CloseMetafilePage(true);
    } else if (PageInRange(FTotalPages)) {
      ClosePrinterPage();
    } else {
      CloseMetafilePage(false);
    }
    AnnouncePage();
  }
  FTotalPages = FTotalPages + 1;
  ++FPageNumber;
  if (OutputTarget == otPrinter && PageInRange(FTotalPages))
    OpenPrinterPage();
  else
    OpenMetafilePage();
}

void TQRPrinter::CloseDocument() {
  if (Status() != qsBusy) return;
  TDocumentClosing closing{FDocumentOpen};
  if (OutputTarget == otPageStore) {
    if (FTotalPages > 0) CloseMetafilePage(true);
  } else {
    CloseMetafilePage(false);
    FPageCanvas = nullptr;
    FPrinter->EndDoc();
  }
  FPageList.SetCountKnown();
  FStatus = qsFinished;
  ProcessPendingMessages();
  AnnouncePage();
  if (OutputTarget == otPageStore) {
    if (FPageList.PageStream() && FPageList.TotalPages() > 0) FPageList.WriteHeader();
  } else if (OnAfterPrint) {
    OnAfterPrint(this);
  }
}

void TQRPrinter::AbandonDocument() {
  TDocumentClosing closing{FDocumentOpen};
  if (OutputTarget == otPrinter) {
    CloseMetafilePage(false);
    FPageCanvas = nullptr;
    FPrinter->Abort();
  } else {
    if (FMetafileCanvas) CloseMetafilePage(true);
    // The header carries the count of the pages that were recorded, so a saved copy of
    // an abandoned run keeps every page instead of only the first.
    if (FPageList.PageStream() && FPageList.TotalPages() > 0) FPageList.WriteHeader();
  }
  FPageList.SetCountKnown();
  FPageCanvas = nullptr;
  FStatus = qsFinished;
}

void TQRPrinter::Reset() {
  if (Status() == qsBusy) RequestCancel();
  FPageCanvas = nullptr;
  FMetafileCanvas.reset();
  FMetafile.reset();
  FPrinter->Abort();
  FPageList.FreeStream();
  FPageList.ResetCount();
  FStatus = qsReady;
  FDocumentOpen = false;
}

void TQRPrinter::ReportProgress(int32_t percent) {
  FProgress = percent;
  if (TCustomControl* window = NotifyWindow) PostMessage(window, CM_QRPROGRESSUPDATE, percent);
}

std::unique_ptr<TMetafile> TQRPrinter::PageImage(int32_t n) {
  const TQRPrinterStatus status = Status();
  if ((status != qsBusy && status != qsFinished) || n < 1 || n > TotalPages()) return nullptr;
  if (!FPageList.PageStream()) return nullptr;
  return FPageList.ReadPage(n);
}

void TQRPrinter::PrintRecording() {
  if (OwnerReport && !FLoadedFromFile) {
    PostMessage(OwnerReport, CM_QRPRINT);
    return;
  }
  PrintPages();
}

void TQRPrinter::PrintPages() {
  if (Status() != qsFinished || !FHasPrinters) return;
  FPrinter->SetTitle(Title);
  FPrinter->Abort();
  FSettings.ApplyToDevice();
  FCancelled = false;
  FPrinter->BeginDoc();
  // The recorded pages print here, on the interface thread: the progress form counts
  // them and its Cancel stops the job.
  std::unique_ptr<TQRProgressForm> progress;
  if (TQRPrintWindows::OpenProgressForm) progress = TQRPrintWindows::OpenProgressForm(*this);
  try {
    const int32_t from = FirstPage == 0 ? 1 : FirstPage;
    // Pages past the recording would come out blank: the range ends at the last page.
    const int32_t to = LastPage != 0 ? std::min(LastPage, TotalPages()) : TotalPages();
    const QRectF target(0, 0, FPrinter->PageWidth(), FPrinter->PageHeight());
    for (int32_t i = from; i <= to; ++i) {
      ProcessPendingMessages();
      if (std::unique_ptr<TMetafile> page = PageImage(i)) PlayMetafile(*page, *FPrinter->Painter(), target);
      if (i < to) FPrinter->NewPage();
      FProgress = (i - from + 1) * 100 / (to - from + 1);
      if (progress) progress->ProgressUpdate();
      if (FCancelled) {
        FPrinter->Abort();
        return;
      }
    }
  } catch (...) {
    // A failed job is dropped rather than ended: a half-printed PDF must not replace a
    // good file.
    FPrinter->Abort();
    throw;
  }
  FPrinter->EndDoc();
}

void TQRPrinter::ExportVia(TQRExportFilter& filter) {
  if (filter.WritesPages()) {
    filter.WritePages(*this, 1, TotalPages());
    return;
  }
  if (!OnExport) throw EQRError("This file is made from the report itself; a loaded recording holds only its pages");
  OnExport(filter);
}

void TQRPrinter::SaveRecording(const std::string& fileName) {
  if (Status() != qsFinished || !FPageList.PageStream()) return;
  FPageList.CopyToFile(fileName);
}

void TQRPrinter::LoadRecording(const std::string& fileName) {
  if (Status() != qsReady) Reset();
  FPageList.OpenFile(fileName);
  FTotalPages = FPageList.TotalPages();
  FHorzScale = FVertScale = ScreenScale();
  if (FTotalPages > 0) DetectPaper();
  FStatus = qsFinished;
  OnPrintSetup = nullptr;
  OnExport = nullptr;
  FLoadedFromFile = true;
}

// Matches the first page, in whole units of 4 mm, against the paper table; later
// matches win, and the setters only take sizes the printer offers.
void TQRPrinter::DetectPaper() {
  std::unique_ptr<TMetafile> page = FPageList.ReadPage(1);
  if (!page) return;
  const auto w = static_cast<int32_t>(std::trunc(page->Width() / FHorzScale / 40));
  const auto l = static_cast<int32_t>(std::trunc(page->Height() / FHorzScale / 40));
  for (int i = 1; i <= 26; ++i) {
    const auto size = static_cast<TQRPaperSize>(i);
    const TPaperDimensions d = PaperSizeTable(size);
    const auto W = static_cast<int32_t>(std::trunc(d.Width / 4));
    const auto L = static_cast<int32_t>(std::trunc(d.Length / 4));
    if (W == w && L == l) {
      SetPaperSize(size);
      SetOrientation(poPortrait);
    }
    if (W == l && L == w) {
      SetPaperSize(size);
      SetOrientation(poLandscape);
    }
  }
}

void TQRPrinter::ShowPreview() {
  if (OnShowPreview) {
    OnShowPreview(this);
    return;
  }
  if (PreviewInterface) PreviewInterface(this, false);
}

void TQRPrinter::ShowPreviewModal() {
  if (OnShowPreview) {
    OnShowPreview(this);
    return;
  }
  if (PreviewInterface) PreviewInterface(this, true);
}

void TQRPrinter::PreviewClosed(TCustomControl* /*window*/) {
  if (OwnerReport) SendMessage(OwnerReport, CM_QRPREVIEWCLOSE, 0, reinterpret_cast<intptr_t>(this));
}

void TQRPrinter::SetPreviewShown(bool value) {
  const bool closing = FPreviewShown && !value;
  struct TStore {
    bool& Field;
    bool Value;
    ~TStore() { Field = Value; }
  } store{FPreviewShown, value};
  if (closing) {
    if (Status() == qsBusy) RequestCancel();
    if (OnAfterPreview) OnAfterPreview(this);
  }
}

}  // namespace rpt
