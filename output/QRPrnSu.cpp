#include "output/QRPrnSu.h"

#include "framework/Controls.h"

#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include "framework/QtCanvas.h"
#include "output/QRPdfDocument.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

std::atomic<int> gApplicationPrinterIndex{-1};


// Qt's paper sources against the source codes of the settings block.
struct TSourceCode {
  QPrinter::PaperSource Source;
  int32_t Code;
};
constexpr TSourceCode kSources[] = {
    {QPrinter::OnlyOne, 1},       {QPrinter::Lower, 2},          {QPrinter::Middle, 3},
    {QPrinter::Manual, 4},        {QPrinter::Envelope, 5},       {QPrinter::EnvelopeManual, 6},
    {QPrinter::Auto, 7},          {QPrinter::Tractor, 8},        {QPrinter::SmallFormat, 9},
    {QPrinter::LargeFormat, 10},  {QPrinter::LargeCapacity, 11}, {QPrinter::Cassette, 14},
};

int32_t CodeForSource(QPrinter::PaperSource source) {
  for (const auto& s : kSources)
    if (s.Source == source) return s.Code;
  return 0;
}

QPrinter::PaperSource SourceForCode(int32_t code) {
  for (const auto& s : kSources)
    if (s.Code == (code & 0xFF)) return s.Source;
  return QPrinter::Auto;
}

// Paper dimensions in 0.1 mm (portrait) of a settings block.
void PaperTenths(const TDeviceMode& mode, int32_t& width, int32_t& length) {
  if (mode.PaperSize == 256 || mode.PaperSize <= 0) {
    width = mode.PaperWidth;
    length = mode.PaperLength;
    return;
  }
  const QPageSize size = PageSizeForCode(mode.PaperSize);
  if (size.isValid()) {
    const QSizeF mm = size.size(QPageSize::Millimeter);
    width = Nearest(mm.width() * 10);
    length = Nearest(mm.height() * 10);
  } else {
    width = mode.PaperWidth;
    length = mode.PaperLength;
  }
}

int32_t TenthsToDots(int32_t tenths, int32_t dpi) { return Nearest(tenths / 254.0 * dpi); }

}  // namespace

QPageSize PageSizeForCode(int32_t code) {
  if (code >= 1 && code <= 26) {
    const auto id = QPageSize::id(code);
    if (id != QPageSize::Custom) return QPageSize(id);
    const TPaperDimensions d = PaperSizeTable(static_cast<TQRPaperSize>(code));
    return QPageSize(QSizeF(d.Width, d.Length), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
  }
  return QPageSize();
}

int32_t CodeForPageSize(const QPageSize& size) {
  if (!size.isValid()) return 0;
  const int id = size.windowsId();
  if (id >= 1 && id <= 26) return id;
  return size.id() == QPageSize::Custom ? 256 : 0;
}

// ---------------------------------------------------------------------------
// The printer list.

TPrinterDevice TPrinter::PdfPrinter() {
  TPrinterDevice d;
  d.Name = "PDF file";
  d.Driver = "pdf";
  d.Port = "report.pdf";
  d.BuiltInPdf = true;
  d.DpiX = d.DpiY = 300;
  for (int code = 1; code <= 26; ++code) d.PaperCodes.push_back(code);
  d.Defaults.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_COPIES | DM_COLLATE;
  d.Defaults.PaperSize = 9;
  return d;
}

std::vector<TPrinterDevice> TPrinter::SystemPrinters() {
  std::vector<TPrinterDevice> list;
  for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
    TPrinterDevice d;
    d.Name = info.printerName().toStdString();
    d.Driver = "cups";
    d.Port = d.Name;
    QPrinter printer(info, QPrinter::HighResolution);
    d.DpiX = d.DpiY = printer.resolution() > 0 ? printer.resolution() : 300;
    const QRect paint = printer.pageLayout().paintRectPixels(d.DpiX);
    d.OffsetX = paint.left();
    d.OffsetY = paint.top();
    for (const QPageSize& size : info.supportedPageSizes()) {
      const int32_t code = CodeForPageSize(size);
      if (code >= 1 && code <= 26 && std::find(d.PaperCodes.begin(), d.PaperCodes.end(), code) == d.PaperCodes.end())
        d.PaperCodes.push_back(code);
    }
    // Qt names a queue's current source only; the list of its trays is not public.
    if (const int32_t code = CodeForSource(printer.paperSource())) d.BinCodes.push_back(code);
    TDeviceMode& m = d.Defaults;
    m.Fields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLLATE;
    if (info.supportsCustomPageSizes()) m.Fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    if (!d.BinCodes.empty()) m.Fields |= DM_DEFAULTSOURCE;
    if (info.supportedDuplexModes().size() > 1) m.Fields |= DM_DUPLEX;
    const QPageSize page = info.defaultPageSize();
    m.PaperSize = CodeForPageSize(page);
    if (page.isValid()) {
      const QSizeF mm = page.size(QPageSize::Millimeter);
      m.PaperWidth = Nearest(mm.width() * 10);
      m.PaperLength = Nearest(mm.height() * 10);
    }
    m.DefaultSource = CodeForSource(printer.paperSource());
    if (m.DefaultSource == 0) m.DefaultSource = 7;
    switch (info.defaultDuplexMode()) {
      case QPrinter::DuplexLongSide: m.Duplex = 2; break;
      case QPrinter::DuplexShortSide: m.Duplex = 3; break;
      default: m.Duplex = 1; break;
    }
    list.push_back(std::move(d));
  }
  list.push_back(PdfPrinter());
  return list;
}

int TPrinter::ApplicationPrinterIndex() { return gApplicationPrinterIndex.load(); }
void TPrinter::SetApplicationPrinterIndex(int index) { gApplicationPrinterIndex = index; }

TPrinter::TPrinter() : TPrinter(SystemPrinters()) {
  const QString def = QPrinterInfo::defaultPrinterName();
  for (size_t i = 0; i < FDevices.size(); ++i)
    if (!FDevices[i].BuiltInPdf && QString::fromStdString(FDevices[i].Name) == def) SetPrinterIndex(static_cast<int>(i));
}

TPrinter::TPrinter(std::vector<TPrinterDevice> devices) : FDevices(std::move(devices)) {
  if (!FDevices.empty()) SetPrinterIndex(0);
}

TPrinter::~TPrinter() { Abort(); }

void TPrinter::SetPrinterIndex(int index) {
  if (index < 0 || index >= static_cast<int>(FDevices.size()))
    throw EPrinterError(Format("Printer index %d out of range", index));
  FIndex = index;
  FMode = FDevices[index].Defaults;
  if (FDevices[index].BuiltInPdf) FOutputFile = FDevices[index].Port;
}

const TPrinterDevice& TPrinter::Device() const {
  static const TPrinterDevice none;
  return FDevices.empty() ? none : FDevices[FIndex];
}

int32_t TPrinter::PhysicalWidth() const {
  int32_t w = 0, l = 0;
  PaperTenths(FMode, w, l);
  return TenthsToDots(FMode.Orientation == 2 ? l : w, DpiX());
}

int32_t TPrinter::PhysicalHeight() const {
  int32_t w = 0, l = 0;
  PaperTenths(FMode, w, l);
  return TenthsToDots(FMode.Orientation == 2 ? w : l, DpiY());
}

int32_t TPrinter::PageWidth() const { return std::max(0, PhysicalWidth() - 2 * OffsetX()); }
int32_t TPrinter::PageHeight() const { return std::max(0, PhysicalHeight() - 2 * OffsetY()); }

TCanvas* TPrinter::Canvas() const { return FCanvas.get(); }

void TPrinter::BeginDoc() {
  if (Printing()) throw EPrinterError("Printing in progress");
  if (FDevices.empty()) throw EPrinterError("There is no default printer currently selected");
  const TPrinterDevice& dev = Device();
  if (dev.BuiltInPdf) {
    int32_t w = 0, l = 0;
    PaperTenths(FMode, w, l);
    if (FMode.Orientation == 2) std::swap(w, l);
    if (w <= 0 || l <= 0) throw EPrinterError(Format("Cannot start printing on %s", dev.Name));
    FPdfError.clear();
    FJobMessages.clear();
    // The PDF appears under its name only once complete; a link is followed to its
    // target, and what is no file is refused before any page is made.
    try {
      FTargetFile = OutputTarget(FOutputFile);
      FPartFile = FTargetFile + ".part";
      FPdf = std::make_unique<TPdfDocument>(FPartFile, QSizeF(w / 10.0, l / 10.0), dev.DpiX);
    } catch (const Exception& e) {
      throw EPrinterError(e.Message());
    }
    FPartRegistered = RegisterTemporaryFile(FPartFile);
    FPdf->SetInfo(FTitle, QCoreApplication::applicationName().toStdString(), QDateTime::currentDateTimeUtc());
    // Pages are drawn here and written by the document's thread, the two at once.
    FPdf->WriteOnOwnThread();
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(FPdf.get())) {
      FPdf.reset();
      std::remove(FPartFile.c_str());
      ReleasePartFile();
      throw EPrinterError(Format("Cannot start printing on %s", dev.Name));
    }
    FPainter = std::move(painter);
    FCanvas = std::make_unique<TQtCanvas>(FPainter.get(), dev.DpiX);
    FPagesStarted = 1;
    return;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(dev.Name));
  if (info.isNull()) throw EPrinterError(Format("Printer %s is not available", dev.Name));
  auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
  printer->setResolution(dev.DpiX);
  int32_t w = 0, l = 0;
  PaperTenths(FMode, w, l);
  QPageSize size = (FMode.PaperSize >= 1 && FMode.PaperSize <= 26) ? PageSizeForCode(FMode.PaperSize) : QPageSize();
  if (!size.isValid() && w > 0 && l > 0)
    size = QPageSize(QSizeF(w / 10.0, l / 10.0), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
  if (size.isValid()) printer->setPageSize(size);
  printer->setPageOrientation(FMode.Orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
  if (FMode.Fields & DM_COPIES) printer->setCopyCount(std::max(1, FMode.Copies));
  if (FMode.Fields & DM_COLLATE) printer->setCollateCopies(FMode.Collate);
  if (FMode.Fields & DM_DUPLEX)
    printer->setDuplex(FMode.Duplex == 2   ? QPrinter::DuplexLongSide
                       : FMode.Duplex == 3 ? QPrinter::DuplexShortSide
                                           : QPrinter::DuplexNone);
  if (FMode.Fields & DM_DEFAULTSOURCE) printer->setPaperSource(SourceForCode(FMode.DefaultSource));
  printer->setDocName(QString::fromStdString(FTitle));
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(printer.get())) {
    throw EPrinterError(Format("Cannot start printing on %s", dev.Name));
  }
  FQPrinter = std::move(printer);
  FPainter = std::move(painter);
  FCanvas = std::make_unique<TQtCanvas>(FPainter.get(), dev.DpiX);
  FPagesStarted = 1;
}

void TPrinter::NewPage() {
  if (!Printing()) throw EPrinterError("Printer is not currently printing");
  FCanvas.reset();
  if (FPdf)
    FPdf->NewPage();
  else if (!FQPrinter->newPage())
    throw EPrinterError("Cannot start a new page");
  ++FPagesStarted;
  FCanvas = std::make_unique<TQtCanvas>(FPainter.get(), Device().DpiX);
}

void TPrinter::CloseJob() {
  FCanvas.reset();
  if (FPainter && FPainter->isActive()) FPainter->end();
  FPainter.reset();
  FQPrinter.reset();
  if (FPdf) {
    if (!FPdf->Finish()) FPdfError = FPdf->Error();
    FJobMessages = FPdf->MissingFontMessages();
  }
  FPdf.reset();
}

void TPrinter::EndDoc() {
  if (!Printing()) return;
  const bool pdf = Device().BuiltInPdf;
  CloseJob();
  if (pdf) {
    std::error_code ec;
    if (!FPdfError.empty()) {
      std::filesystem::remove(FPartFile, ec);
      ReleasePartFile();
      throw EPrinterError(FPdfError);
    }
    std::filesystem::rename(FPartFile, FTargetFile, ec);
    const bool renamed = !ec;
    if (!renamed) std::filesystem::remove(FPartFile, ec);
    ReleasePartFile();
    if (!renamed) throw EPrinterError(Format("Cannot create file \"%s\"", FOutputFile));
  }
}

void TPrinter::ReleasePartFile() {
  ReleaseTemporaryFile(FPartRegistered);
  FPartRegistered = nullptr;
}

void TPrinter::Abort() {
  if (!Printing()) return;
  const bool pdf = Device().BuiltInPdf;
  if (!pdf) FQPrinter->abort();
  CloseJob();
  if (pdf) {
    std::remove(FPartFile.c_str());
    ReleasePartFile();
  }
}

// ---------------------------------------------------------------------------
// TPrinterSettings

void TPrinterSettings::AttachPrinter(TPrinter* printer) {
  FPrinter = printer;
  if (FPrinter && !FPrinter->Printers().empty()) ReadFromDevice();
}

bool TPrinterSettings::DeviceSupports(uint32_t fields) const {
  return FPrinter && !FPrinter->Printers().empty() && (FPrinter->DeviceMode().Fields & fields) == fields;
}

bool TPrinterSettings::PaperSizeSupported(TQRPaperSize size) const {
  const int i = static_cast<int>(size);
  return i >= 1 && i <= 27 && FSupportedSizes[i - 1];
}

void TPrinterSettings::ReadFromDevice() {
  if (!FPrinter || FPrinter->Printers().empty()) return;
  ProcessPendingMessages();
  const TPrinterDevice& dev = FPrinter->Device();
  DeviceName = dev.Name.substr(0, 127);
  DriverName = dev.Driver.substr(0, 63);
  PortName = dev.Port.substr(0, 127);
  const TDeviceMode& mode = FPrinter->DeviceMode();
  FDotsPerInchX = FPrinter->DpiX();
  FDotsPerInchY = FPrinter->DpiY();
  FCopies = DeviceSupports(DM_COPIES) ? mode.Copies : 1;
  FOutputBin = TQRBin::First;
  if (DeviceSupports(DM_DEFAULTSOURCE))
    for (int b = 0; b < kBinCount; ++b)
      if (BinCode(static_cast<TQRBin>(b)) == (mode.DefaultSource & 0xFF)) {
        FOutputBin = static_cast<TQRBin>(b);
        break;
      }
  FDuplex = DeviceSupports(DM_DUPLEX) && mode.Duplex != 1;
  FUnprintableLeft = FDotsPerInchX > 0 ? Nearest(FPrinter->OffsetX() / double(FDotsPerInchX) * 254) : 0;
  FUnprintableTop = FDotsPerInchY > 0 ? Nearest(FPrinter->OffsetY() / double(FDotsPerInchY) * 254) : 0;
  FPaperSize = TQRPaperSize::Default;
  if (DeviceSupports(DM_PAPERSIZE))
    for (int s = 1; s < kPaperSizeCount; ++s)
      if (PaperCode(static_cast<TQRPaperSize>(s)) == mode.PaperSize) {
        FPaperSize = static_cast<TQRPaperSize>(s);
        break;
      }
  FPaperWidth = FDotsPerInchX > 0 ? Nearest(FPrinter->PhysicalWidth() / double(FDotsPerInchX) * 254) : 0;
  FPaperLength = FDotsPerInchY > 0 ? Nearest(FPrinter->PhysicalHeight() / double(FDotsPerInchY) * 254) : 0;
  std::fill(std::begin(FSupportedSizes), std::end(FSupportedSizes), false);
  for (int32_t code : dev.PaperCodes)
    for (int s = 1; s <= 26; ++s)
      if (PaperCode(static_cast<TQRPaperSize>(s)) == code) FSupportedSizes[s - 1] = true;
  FSupportedSizes[26] = true;  // Custom
}

void TPrinterSettings::ApplyToDevice() {
  if (!FPrinter || FPrinter->Printers().empty()) return;
  TDeviceMode& mode = FPrinter->DeviceMode();
  if (FPaperSize == TQRPaperSize::Custom) {
    if (DeviceSupports(DM_PAPERLENGTH)) mode.PaperLength = FPaperLength;
    if (DeviceSupports(DM_PAPERWIDTH)) mode.PaperWidth = FPaperWidth;
  }
  if (FDuplex) mode.Duplex = 3;
  if (DeviceSupports(DM_PAPERSIZE) && FPaperSize != TQRPaperSize::Default) mode.PaperSize = PaperCode(FPaperSize);
  mode.Copies = FCopies;
  mode.Collate = FCollate;
  mode.DefaultSource = BinCode(FOutputBin) | (mode.DefaultSource & 256);
  mode.Orientation = FOrientation == poLandscape ? 2 : 1;
}

void TPrinterSettings::SetCopies(int32_t value) {
  if (DeviceSupports(DM_COPIES)) FCopies = value;
}

void TPrinterSettings::SetOrientation(TPrinterOrientation value) {
  if (DeviceSupports(DM_ORIENTATION)) FOrientation = value;
}

void TPrinterSettings::SetOutputBin(TQRBin value) {
  if (DeviceSupports(DM_DEFAULTSOURCE)) FOutputBin = value;
}

void TPrinterSettings::SetPaperSize(TQRPaperSize value) {
  if (value == TQRPaperSize::Default || PaperSizeSupported(value)) FPaperSize = value;
}

int32_t TPrinterSettings::PaperWidth() const {
  if (FPaperSize == TQRPaperSize::Default || FPaperSize == TQRPaperSize::Custom) return FPaperWidth;
  return TablePaperWidth(FPaperSize);
}

int32_t TPrinterSettings::PaperLength() const {
  if (FPaperSize == TQRPaperSize::Default || FPaperSize == TQRPaperSize::Custom) return FPaperLength;
  return TablePaperLength(FPaperSize);
}

void TPrinterSettings::SetPaperWidth(int32_t value) {
  if (FPaperSize == TQRPaperSize::Custom) FPaperWidth = value;
}

void TPrinterSettings::SetPaperLength(int32_t value) {
  if (FPaperSize == TQRPaperSize::Custom) FPaperLength = value;
}

// ---------------------------------------------------------------------------

RPT_BEGIN_CLASS(TQRPrinterSettings, TPersistent)
RPT_END_CLASS

void TQRPrinterSettings::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRPrinterSettings*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  Copies = other->Copies;
  Duplex = other->Duplex;
  Orientation = other->Orientation;
  OutputBin = other->OutputBin;
  PaperSize = other->PaperSize;
  PrinterNumber = other->PrinterNumber;
  Title = other->Title;
  FirstPage = other->FirstPage;
  LastPage = other->LastPage;
  Collate = other->Collate;
  OutputFileName = other->OutputFileName;
}

}  // namespace rpt
