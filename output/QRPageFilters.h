#pragma once
// The export filters of recorded pages: a PDF document (vector drawing, selectable text,
// fonts embedded) and PNG images, one per page, at a chosen resolution. Both draw the
// recorded metafiles through the same player as the preview and the printer, and write
// their files under temporary names that take the real ones only once all is written.
#include <QDateTime>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Metafile.h"
#include "output/QRExport.h"

namespace rpt {

// Page n (1-based) of a recording, or none when it cannot be had.
using TQRPageSource = std::function<std::unique_ptr<TMetafile>(int32_t n)>;
// The next page of pages that come one after another, or none after the last.
using TQRPageStream = std::function<std::unique_ptr<TMetafile>()>;

class TQRPDFFilter : public TQRExportFilter {
 public:
  using TQRExportFilter::TQRExportFilter;
  bool WritesPages() const override { return true; }
  // The document's title is the printer's title unless Title is set.
  void WritePages(TQRPrinter& printer, int32_t first, int32_t last) override;
  // The same for pages read from anywhere (a recorded-report file).
  void WritePageSource(const TQRPageSource& pages, int32_t first, int32_t last);
  // The same for pages as they come (a pass still running): each is written and let go
  // before the next is asked for.
  void WritePageStream(const TQRPageStream& next);

  std::string Title;
  // The document's creation date; now when not set.
  QDateTime Created;
  // Texts of the last write in scripts no installed font shows, one line per font and script.
  const std::vector<std::string>& MissingFontMessages() const { return FMissingFonts; }

 private:
  std::vector<std::string> FMissingFonts;
};

class TQRPNGFilter : public TQRExportFilter {
 public:
  static constexpr int kDefaultResolution = 150;
  static constexpr int kMinResolution = 10;
  static constexpr int kMaxResolution = 2400;

  explicit TQRPNGFilter(std::string fileName, int dpi = kDefaultResolution);
  int Resolution() const { return FResolution; }
  // Dots per inch, kMinResolution..kMaxResolution; others fail with EQRError.
  void SetResolution(int dpi);

  bool WritesPages() const override { return true; }
  void WritePages(TQRPrinter& printer, int32_t first, int32_t last) override;
  void WritePageSource(const TQRPageSource& pages, int32_t first, int32_t last);
  // The same for pages as they come (a pass still running), the first being page first:
  // each is drawn and let go before the next is asked for.
  void WritePageStream(const TQRPageStream& next, int32_t first);

  // The file of page n when pages first..last are written: the file name itself for a
  // single page; otherwise the page number joins the name before its extension, with as
  // many digits as the last page number has, so that the names sort in page order
  // (report.png -> report-01.png ... report-12.png).
  static std::string PageFileName(const std::string& fileName, int32_t n, int32_t first, int32_t last);
  // The files the last write produced, in page order.
  const std::vector<std::string>& WrittenFiles() const { return FWritten; }

 private:
  int FResolution;
  std::vector<std::string> FWritten;
};

}  // namespace rpt
