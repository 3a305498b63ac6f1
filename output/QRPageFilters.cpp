#include "output/QRPageFilters.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <list>

#include "framework/MetafilePlayer.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/QRPageImage.h"
#include "output/QRPdfDocument.h"
#include "output/QRPrinter.h"

namespace rpt {

namespace {

// Pages first..last of a printer, checked against what it holds.
TQRPageSource PrinterPages(TQRPrinter& printer, int32_t& first, int32_t& last) {
  if (printer.Status() != qsFinished) throw EQRError("The report is not finished; its pages cannot be exported yet");
  const int32_t total = printer.TotalPages();
  if (first < 1) first = 1;
  if (last < 1 || last > total) last = total;
  if (total == 0 || first > last) throw EQRError("There are no pages to export");
  return [&printer](int32_t n) { return printer.PageImage(n); };
}

std::unique_ptr<TMetafile> ReadPage(const TQRPageSource& pages, int32_t n) {
  std::unique_ptr<TMetafile> page = pages(n);
  if (!page) throw EQRError(Format("Page %d of the recording cannot be read", n));
  return page;
}

// The page's own paper size in millimetres from its frame (a standard size when it is
// within a few points of one, else whole points), or from its pixels when the frame is
// missing.
QSizeF PaperOf(const TMetafile& page) {
  const TRect& frame = page.Header().Frame;
  QSizeF size((frame.Right - frame.Left) / 100.0, (frame.Bottom - frame.Top) / 100.0);
  if (!(size.width() > 0 && size.height() > 0))
    size = QSizeF(page.Width() / page.DpiX() * 25.4, page.Height() / page.DpiY() * 25.4);
  const QSize points = QPageSize(size, QPageSize::Millimeter).sizePoints();
  if (points.isEmpty()) return size;
  return QSizeF(points.width() * 25.4 / 72, points.height() * 25.4 / 72);
}

}  // namespace

// ---------------------------------------------------------------------------
// PDF

void TQRPDFFilter::WritePages(TQRPrinter& printer, int32_t first, int32_t last) {
  const TQRPageSource pages = PrinterPages(printer, first, last);
  if (Title.empty()) Title = printer.Title;
  WritePageSource(pages, first, last);
}

void TQRPDFFilter::WritePageSource(const TQRPageSource& pages, int32_t first, int32_t last) {
  if (first < 1 || first > last) throw EQRError("There are no pages to export");
  int32_t n = first;
  WritePageStream([&]() -> std::unique_ptr<TMetafile> { return n <= last ? ReadPage(pages, n++) : nullptr; });
}

void TQRPDFFilter::WritePageStream(const TQRPageStream& next) {
  TPendingFile pending(FileName());
  std::unique_ptr<TMetafile> page = next();
  if (!page) throw EQRError("There are no pages to export");
  TPdfDocument document(pending.TempName(), PaperOf(*page));
  document.SetInfo(Title, QCoreApplication::applicationName().toStdString(),
                   Created.isValid() ? Created : QDateTime::currentDateTimeUtc());
  // Pages are played here and written by the document's thread, the two at once.
  document.WriteOnOwnThread();
  QPainter painter;
  if (!painter.begin(&document)) throw EFCreateError(Format("Cannot create file \"%s\"", FileName()));
  for (bool first = true; page && !document.Failed(); page = next(), first = false) {
    if (!first) {
      document.NewPage();
      // Each page keeps its own paper size, without margins.
      document.SetPageSize(PaperOf(*page));
    }
    PlayMetafile(*page, painter, QRectF(0, 0, document.Width(), document.Height()));
  }
  painter.end();
  if (!document.Finish()) throw EWriteError(document.Error());
  FMissingFonts = document.MissingFontMessages();
  pending.Commit();
}

// ---------------------------------------------------------------------------
// PNG

TQRPNGFilter::TQRPNGFilter(std::string fileName, int dpi) : TQRExportFilter(std::move(fileName)) {
  SetResolution(dpi);
}

void TQRPNGFilter::SetResolution(int dpi) {
  if (dpi < kMinResolution || dpi > kMaxResolution)
    throw EQRError(Format("The resolution must be from %d to %d dpi", kMinResolution, kMaxResolution));
  FResolution = dpi;
}

std::string TQRPNGFilter::PageFileName(const std::string& fileName, int32_t n, int32_t first, int32_t last) {
  if (first == last) return fileName;
  const std::filesystem::path path(fileName);
  std::string extension = path.extension().string();
  if (extension.empty()) extension = ".png";
  const std::string stem = (path.parent_path() / path.stem()).string();
  const int digits = static_cast<int>(std::to_string(last).size());
  std::string number = std::to_string(n);
  number.insert(0, static_cast<size_t>(std::max(0, digits - static_cast<int>(number.size()))), '0');
  return stem + "-" + number + extension;
}

void TQRPNGFilter::WritePages(TQRPrinter& printer, int32_t first, int32_t last) {
  const TQRPageSource pages = PrinterPages(printer, first, last);
  WritePageSource(pages, first, last);
}

void TQRPNGFilter::WritePageSource(const TQRPageSource& pages, int32_t first, int32_t last) {
  if (first < 1 || first > last) throw EQRError("There are no pages to export");
  int32_t n = first;
  WritePageStream([&]() -> std::unique_ptr<TMetafile> { return n <= last ? ReadPage(pages, n++) : nullptr; }, first);
}

void TQRPNGFilter::WritePageStream(const TQRPageStream& next, int32_t first) {
  FWritten.clear();
  // Each page is drawn as it comes, under a temporary name; the names, whose digits
  // follow the last page number, are given once the last is known, and none before
  // every image is written: a failure leaves no page behind.
  std::list<TPendingFile> drawn;
  int32_t n = first;
  for (std::unique_ptr<TMetafile> page = next(); page; page = next(), ++n) {
    QImage image = RenderPageImage(*page, static_cast<double>(FResolution));
    if (image.isNull()) throw EQRError(Format("Page %d is too large for an image at %d dpi", n, FResolution));
    const int dotsPerMeter = static_cast<int>(std::lround(FResolution / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    drawn.emplace_back(FileName());
    if (!image.save(QString::fromStdString(drawn.back().TempName()), "PNG"))
      throw EWriteError(Format("Cannot write file \"%s\"", PageFileName(FileName(), n, first, n)));
  }
  if (drawn.empty()) throw EQRError("There are no pages to export");
  const int32_t last = n - 1;
  std::list<TPendingFile> named;
  n = first;
  for (TPendingFile& image : drawn) {
    named.emplace_back(PageFileName(FileName(), n++, first, last));
    if (::rename(image.TempName().c_str(), named.back().TempName().c_str()) != 0)
      throw EWriteError(Format("Cannot write file \"%s\". %s", named.back().FileName(), std::strerror(errno)));
    image.Discard();
  }
  for (TPendingFile& file : named) {
    file.Commit();
    FWritten.push_back(file.FileName());
  }
}

}  // namespace rpt
