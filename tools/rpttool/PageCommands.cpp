// rpttool's recorded-report commands: qrp-info prints what a recorded-report file
// holds, qrp-export writes its pages as a PDF (vector, text kept as text), PNG images
// or standalone .emf files.
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "tools/rpttool/Output.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "framework/MetafilePlayer.h"
#include "output/QRPageFilters.h"
#include "output/QRPageImage.h"
#include "output/QRPageList.h"

namespace rpttool {

namespace {

namespace fs = std::filesystem;
using rpt::Format;

constexpr int kExitUsage = 2;

int Usage(const std::string& message) {
  std::fprintf(stderr, "rpttool: %s\nTry 'rpttool --help' for the list of commands.\n", message.c_str());
  return kExitUsage;
}

// Days since 30 December 1899 (local time) as "YYYY-MM-DD hh:mm:ss".
std::string DateTimeText(double value) {
  if (!std::isfinite(value) || value < -657434 || value > 2958466) return "unknown";
  double days = std::floor(value);
  int64_t seconds = std::llround((value - days) * 86400.0);
  if (seconds >= 86400) seconds -= 86400, days += 1;
  // Civil date from days since 1970-01-01 (25569 days after the base date).
  int64_t z = static_cast<int64_t>(days) - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

// Messages about a damaged file name the file.
template <class F>
auto ForFile(const std::string& fileName, F f) {
  try {
    return f();
  } catch (const rpt::EReadError& e) {
    const std::string message = e.what();
    if (message.rfind(fileName + ": ", 0) == 0) throw;
    throw rpt::EReadError(fileName + ": " + message);
  }
}

enum class TFormat { Pdf, Png, Emf };

void ExportPdf(rpt::TQRPageList& list, const std::string& source, const fs::path& out) {
  if (list.TotalPages() == 0) throw rpt::Exception(Format("%s holds no pages", source));
  rpt::TQRPDFFilter pdf(out.string());
  pdf.Title = fs::path(source).filename().string();
  pdf.WritePageSource([&](int32_t n) { return ForFile(source, [&] { return list.ReadPage(n); }); }, 1,
                      list.TotalPages());
}

void ExportPages(rpt::TQRPageList& list, const std::string& source, const fs::path& folder, TFormat format, int dpi) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder))
    throw rpt::EFCreateError(Format("Cannot create folder \"%s\". %s", folder.string(), ec.message()));
  for (int32_t n = 1; n <= list.TotalPages(); ++n) {
    const std::unique_ptr<rpt::TMetafile> page = ForFile(source, [&] { return list.ReadPage(n); });
    if (!page) break;
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.%s", n, format == TFormat::Png ? "png" : "emf");
    const fs::path target = folder / name;
    if (format == TFormat::Emf) {
      rpt::DecodeJpegBitmaps(*page);  // other programs play JPEG bitmaps on printers only
      page->SaveToFile(target.string());
      continue;
    }
    QImage image = rpt::RenderPageImage(*page, static_cast<double>(dpi));
    if (image.isNull()) throw rpt::Exception(Format("Page %d is too large for an image at %d dpi", n, dpi));
    image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
    rpt::TPendingFile pending(target.string());
    if (!image.save(QString::fromStdString(pending.TempName()), "PNG"))
      throw rpt::EWriteError(Format("Cannot write file \"%s\"", target.string()));
    pending.Commit();
  }
}

}  // namespace

int QrpInfo(std::span<const std::string> args) {
  const std::string& file = args[0];
  rpt::TQRPageList list;
  list.OpenFile(file);
  const rpt::TQRPageList::THeaderInfo h = list.ReadHeaderInfo();
  const std::vector<rpt::TQRPageList::TPageRecord> records = ForFile(file, [&] { return list.ScanRecords(); });
  std::string text;
  text += "file: " + file + "\n";
  text += Format("layout version: %d\nwriter version: %d\nheader size: %d\n", h.LayoutVersion, h.WriterVersion,
                 h.HeaderSize);
  text += "created: " + DateTimeText(h.Created) + "\n";
  text += std::string("compression: ") + (h.Compressed ? "yes" : "no") + "\n";
  text += Format("pages: %d\n", h.PageCount);
  if (static_cast<size_t>(h.PageCount) != records.size())
    text += Format("note: the file holds %d page records; the header, written before the recording finished, "
                   "gives %d\n",
                   static_cast<int64_t>(records.size()), h.PageCount);
  int64_t bodies = 0, metafiles = 0;
  text += "\n page      offset   stored  metafile  width x height (px)  dpi\n";
  for (const rpt::TQRPageList::TPageRecord& r : records) {
    std::string size = "-";
    std::string dpi = "-";
    if (r.Number <= list.TotalPages()) {
      const std::unique_ptr<rpt::TMetafile> page = ForFile(file, [&] { return list.ReadPage(r.Number); });
      size = Format("%d x %d", page->Width(), page->Height());
      dpi = Format("%d", static_cast<int64_t>(std::lround(page->DpiX())));
    }
    char line[160];
    std::snprintf(line, sizeof line, "%5d  %10lld  %7lld  %8lld  %-19s  %s\n", r.Number,
                  static_cast<long long>(r.Offset), static_cast<long long>(r.BodySize),
                  static_cast<long long>(r.MetafileSize), size.c_str(), dpi.c_str());
    text += line;
    bodies += r.BodySize;
    metafiles += r.MetafileSize;
  }
  if (!records.empty())
    text += Format("\ntotal: %d page records, %d bytes stored, %d bytes of metafiles\n",
                   static_cast<int64_t>(records.size()), bodies, metafiles);
  Print(text);
  return 0;
}

int QrpExport(std::span<const std::string> args) {
  std::string source, out, formatName;
  int dpi = 96;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format" || a == "--dpi") {
      if (i + 1 == args.size()) return Usage(a + " needs a value");
      const std::string& value = args[++i];
      if (a == "--format") {
        formatName = value;
      } else {
        char* end = nullptr;
        const long v = std::strtol(value.c_str(), &end, 10);
        if (!end || *end || v < 10 || v > 2400) return Usage("--dpi takes a number from 10 to 2400");
        dpi = static_cast<int>(v);
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage("unknown option '" + a + "'");
    } else if (source.empty()) {
      source = a;
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage("usage: rpttool qrp-export FILE OUT [--format pdf|png|emf] [--dpi N]");
    }
  }
  if (source.empty() || out.empty())
    return Usage("usage: rpttool qrp-export FILE OUT [--format pdf|png|emf] [--dpi N]");
  std::string ext = fs::path(out).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (formatName.empty()) formatName = ext == ".pdf" ? "pdf" : ext == ".emf" ? "emf" : "png";
  TFormat format;
  if (formatName == "pdf") format = TFormat::Pdf;
  else if (formatName == "png") format = TFormat::Png;
  else if (formatName == "emf") format = TFormat::Emf;
  else return Usage("--format takes pdf, png or emf");

  rpt::TQRPageList list;
  list.OpenFile(source);
  const std::unique_ptr<QGuiApplication> app = format == TFormat::Emf ? nullptr : GuiApplication();
  if (format == TFormat::Pdf)
    ExportPdf(list, source, out);
  else
    ExportPages(list, source, out, format, dpi);
  return 0;
}

}  // namespace rpttool
