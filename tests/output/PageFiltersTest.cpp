// The export filters of recorded pages: the PDF read back with poppler's tools (text,
// page count, paper, embedded fonts), the PNG images compared pixel for pixel with the
// page drawing the preview uses, the file names of one and of several pages, and
// failures that leave no file and keep the one that was there.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTimeZone>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "output/QRPageFilters.h"
#include "output/QRPageImage.h"
#include "output/QRPdfDocument.h"
#include "output/QRPrinter.h"
#include "tests/output/SampleReport.h"

#include "tests/output/TestPages.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::Shell;

size_t Count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// The share of an image's pixels that are not white.
double InkedShare(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int64_t inked = 0;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) inked += (line[x] & 0xFFFFFF) != 0xFFFFFF;
  }
  return static_cast<double>(inked) / (static_cast<double>(rgb.width()) * rgb.height());
}

// Sample pages of a three-page report, read from a page source.
TQRPageSource SamplePages(int pages, int failingPage = 0) {
  return [pages, failingPage](int32_t n) -> std::unique_ptr<TMetafile> {
    if (n == failingPage || n < 1 || n > pages) return nullptr;
    return std::make_unique<TMetafile>(test::SampleReportPage(n, pages));
  };
}

// A page of texts in several scripts, clipped text, a shape and a picture.
TMetafile ScriptsPage() {
  TMetafile page(794, 1123);
  TMetafileCanvas canvas(page);
  TFont font;
  font.SetName("Arial");
  font.SetSize(12);
  canvas.SetFont(&font);
  canvas.Brush()->SetStyle(bsClear);
  canvas.TextOut(60, 60, "Invoice total");
  canvas.TextOut(60, 100, "\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9");  // Arabic
  canvas.TextOut(60, 140, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");                          // Hebrew
  canvas.TextOut(60, 180, "\xE0\xA4\x86\xE0\xA4\xA6\xE0\xA5\x87\xE0\xA4\xB6");      // Devanagari
  canvas.TextOut(60, 220, "\xE0\xA4\xA8\xE0\xA4\xAF\xE0\xA4\xBE");                    // again: one message
  canvas.TextRect({60, 260, 130, 280}, 60, 260, "Clipped at the box edge");
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(static_cast<TColor>(0x3060C0));
  canvas.Ellipse(400, 60, 600, 160);
  TPixels pixels;
  pixels.Width = pixels.Height = 160;  // about one pixel a pixel at 100 dpi: neither side smooths it
  for (int i = 0; i < 160 * 160; ++i) pixels.Data.push_back((i / 160 / 20 + i % 160 / 20) % 2 ? 0xFF000000u : 0xFF20A040u);
  canvas.StretchDraw({400, 200, 560, 360}, pixels);
  canvas.Close();
  return page;
}

// Shapes in every pen and brush a report draws with: hatches, dashes, thick and rounded
// outlines, a turned and a stretched figure, a picture seen through its alpha, and a
// picture cut by a clip.
TMetafile ShapesPage() {
  TMetafile page(794, 1123);
  TMetafileCanvas canvas(page);
  TPen& pen = *canvas.Pen();
  TBrush& brush = *canvas.Brush();
  int y = 60;
  for (TBrushStyle style : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross}) {
    brush.SetStyle(style);
    brush.SetColor(static_cast<TColor>(0x2040A0));
    canvas.Rectangle(60, y, 260, y + 60);
    y += 80;
  }
  brush.SetStyle(bsSolid);
  brush.SetColor(static_cast<TColor>(0x60C0E0));
  y = 60;
  for (TPenStyle style : {psDash, psDot, psDashDot, psDashDotDot}) {
    pen.SetStyle(style);
    canvas.MoveTo(320, y);
    canvas.LineTo(700, y);
    y += 30;
  }
  pen.SetStyle(psSolid);
  pen.SetWidth(9);
  canvas.RoundRect(320, 200, 700, 320, 60, 60);
  canvas.Ellipse(320, 360, 700, 420);
  canvas.Polygon({{320, 700}, {510, 460}, {700, 700}, {510, 660}});
  pen.SetWidth(1);
  TPixels pixels;
  pixels.Width = pixels.Height = 96;
  for (int i = 0; i < 96 * 96; ++i) pixels.Data.push_back(i % 96 < 48 ? 0x80C02020u : 0xFF2020C0u);
  canvas.StretchDraw({320, 760, 416, 856}, pixels);
  canvas.SetClipRect({460, 760, 520, 820});
  canvas.StretchDraw({440, 740, 536, 836}, pixels);
  canvas.ClearClipRect();
  canvas.Close();
  return page;
}

// The share of pixels that differ much between a PDF page drawn by poppler and the
// preview's drawing of the page, at a resolution, but for boxes (in page units) left out.
double DifferingShare(const std::string& pdf, int number, const TMetafile& page, int dpi, const std::string& stem,
                      const std::vector<QRect>& leftOut = {}) {
  const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -f " + std::to_string(number) + " -l " +
                              std::to_string(number) + " -singlefile -png '" + pdf + "' '" + stem + "'";
  if (std::system(command.c_str()) != 0) return 1;
  const QImage drawn = QImage(QString::fromStdString(stem + ".png")).convertToFormat(QImage::Format_Grayscale8);
  const QImage preview = RenderPageImage(page, dpi).convertToFormat(QImage::Format_Grayscale8);
  if (drawn.isNull() || std::abs(drawn.width() - preview.width()) > 1 || std::abs(drawn.height() - preview.height()) > 1)
    return 1;
  int64_t differing = 0;
  const int w = std::min(drawn.width(), preview.width()), h = std::min(drawn.height(), preview.height());
  const double k = dpi / 96.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      differing += std::abs(drawn.constScanLine(y)[x] - preview.constScanLine(y)[x]) > 64 &&
                   std::none_of(leftOut.begin(), leftOut.end(), [&](const QRect& r) { return r.contains(int(x / k), int(y / k)); });
  return double(differing) / (double(w) * h);
}

class PageFilters : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("page-filters-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override {
    SetWriteFailureHook(nullptr);
    fs::remove_all(Dir);
  }
  std::string File(const std::string& name) const { return (Dir / name).string(); }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir)) names.insert(entry.path().filename().string());
    return names;
  }
  // A finished printer holding the sample pages, as a preview of a loaded recording has them.
  std::unique_ptr<TQRPrinter> LoadedPrinter(int pages) {
    TQRPageList list;
    list.AttachStream(std::make_unique<TQRStream>(100000));
    for (int n = 1; n <= pages; ++n) list.AppendPage(test::SampleReportPage(n, pages));
    list.WriteHeader();
    list.CopyToFile(File("pages.qrp"));
    auto printer = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
    printer->LoadRecording(File("pages.qrp"));
    fs::remove(File("pages.qrp"));
    return printer;
  }

  fs::path Dir;
};

TEST_F(PageFilters, APdfHoldsEveryPageAsSelectableTextInEmbeddedFonts) {
  TQRPDFFilter pdf(File("report.pdf"));
  pdf.Title = "Quarterly sales";
  pdf.WritePageSource(SamplePages(3), 1, 3);
  EXPECT_EQ(Files(), (std::set<std::string>{"report.pdf"}));

  const std::string info = Shell("pdfinfo '" + File("report.pdf") + "' 2>&1");
  EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
  EXPECT_NE(info.find("Page size:       595 x 842 pts (A4)"), std::string::npos) << info;
  EXPECT_NE(info.find("Title:           Quarterly sales"), std::string::npos) << info;
  EXPECT_NE(info.find("Creator:         "), std::string::npos) << info;
  EXPECT_NE(info.find("CreationDate:    "), std::string::npos) << info;
  const std::string check = Shell("qpdf --check '" + File("report.pdf") + "' 2>&1; echo rc=$?");
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
  EXPECT_NE(check.find("rc=0"), std::string::npos) << check;
  const std::string text = Shell("pdftotext '" + File("report.pdf") + "' - 2>&1");
  EXPECT_EQ(Count(text, "Quarterly Sales Report"), 3u);
  EXPECT_EQ(Count(text, "Northwind Traders"), 180u);
  EXPECT_NE(text.find("Order 10125"), std::string::npos);
  EXPECT_NE(text.find("Page 2 of 3"), std::string::npos);

  // Every font the pages use is in the file.
  std::istringstream fonts(Shell("pdffonts '" + File("report.pdf") + "' 2>&1"));
  int listed = 0;
  for (std::string line; std::getline(fonts, line);) {
    if (line.rfind("Liberation", 0) != 0 && line.rfind("Arial", 0) != 0 && line.find("TrueType") == std::string::npos)
      continue;
    ++listed;
    EXPECT_NE(line.find(" yes "), std::string::npos) << line;
  }
  EXPECT_GE(listed, 2);  // the bold heading and the body text
}

// The PDF at 100 dpi looks as the preview draws the page, whatever the script; its text
// reads back in every script a font shows, and a script none shows is told once.
TEST_F(PageFilters, APdfPageLooksAsThePreviewDrawsItInEveryScript) {
  const TMetafile page = ScriptsPage();
  TQRPDFFilter pdf(File("scripts.pdf"));
  pdf.WritePageSource([&page](int32_t) { return std::make_unique<TMetafile>(page); }, 1, 1);
  const std::string text = Shell("pdftotext '" + File("scripts.pdf") + "' - 2>&1");
  EXPECT_NE(text.find("Invoice total"), std::string::npos) << text;
  std::string unspaced = text;  // the reader parts a letter that does not join its neighbour
  unspaced.erase(std::remove(unspaced.begin(), unspaced.end(), ' '), unspaced.end());
  EXPECT_NE(unspaced.find("\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9"), std::string::npos) << text;
  EXPECT_NE(text.find("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"), std::string::npos) << text;
  std::istringstream fonts(Shell("pdffonts '" + File("scripts.pdf") + "' 2>&1"));
  for (std::string line; std::getline(fonts, line);)
    if (line.find("TrueType") != std::string::npos) {
      EXPECT_NE(line.find(" yes yes "), std::string::npos) << line;
    }

  const bool devanagariInstalled = !Shell("fc-list :lang=hi family").empty();
  if (!devanagariInstalled) {
    ASSERT_EQ(pdf.MissingFontMessages().size(), 1u);
    EXPECT_EQ(pdf.MissingFontMessages()[0],
              "No installed font shows Devanagari text (\"\xE0\xA4\x86\xE0\xA4\xA6\xE0\xA5\x87\xE0\xA4\xB6\"): "
              "install fonts-noto-core");
  }

  EXPECT_LT(DifferingShare(File("scripts.pdf"), 1, page, 100, File("scripts")), 0.002);
  EXPECT_GT(InkedShare(QImage(QString::fromStdString(File("scripts.png")))), 0.01);

  // Shapes, at the screen's resolution, where a hatch's cell is one pixel a pixel.
  const TMetafile shapes = ShapesPage();
  TQRPDFFilter shapesPdf(File("shapes.pdf"));
  shapesPdf.WritePageSource([&shapes](int32_t) { return std::make_unique<TMetafile>(shapes); }, 1, 1);
  EXPECT_NE(Shell("qpdf --check '" + File("shapes.pdf") + "' 2>&1").find("No syntax or stream encoding errors"),
            std::string::npos);
  // A reader's smoothing puts a faint seam beside each of a hatch's pixels: the hatches are
  // compared by their ink.
  EXPECT_LT(DifferingShare(File("shapes.pdf"), 1, shapes, 96, File("shapes"), {{60, 60, 201, 461}}), 0.002);
  const QImage drawn(QString::fromStdString(File("shapes.png")));
  const QImage preview = RenderPageImage(shapes, 96);
  const auto ink = [](const QImage& image) {  // smoothing spreads ink but keeps its sum
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    for (int y = 0; y < gray.height(); ++y)
      for (int x = 0; x < gray.width(); ++x) sum += 255 - gray.constScanLine(y)[x];
    return sum / (255.0 * gray.width() * gray.height());
  };
  for (int box = 0; box < 6; ++box) {
    const QRect hatch(62, 62 + 80 * box, 196, 56);
    const double expected = ink(preview.copy(hatch));
    EXPECT_GT(expected, 0.03) << box;
    EXPECT_NEAR(ink(drawn.copy(hatch)), expected, expected / 2) << box;
  }
}

// A drawing under a transform that cannot be undone (a damaged page scaled to nothing)
// is skipped, and what follows it is still in the document.
TEST_F(PageFilters, APdfKeepsWhatFollowsADegenerateTransform) {
  {
    TPdfDocument document(File("degenerate.pdf"), QSizeF(210, 297));
    QPainter painter(&document);
    painter.setFont(QFont("Arial", 12));
    painter.setTransform(QTransform(0, 0, 0, 0, 0, 0));
    painter.fillRect(QRectF(0, 0, 100, 100), Qt::black);
    painter.drawText(QPointF(100, 100), "Hidden");
    painter.setTransform(QTransform::fromScale(1e-30, 1e-30));
    painter.drawLine(QPointF(0, 0), QPointF(1000, 1000));
    painter.resetTransform();
    painter.drawText(QPointF(500, 500), "After");
    // A dash the writer refuses fails its context; the one made again keeps the clip.
    painter.setClipRect(QRect(0, 0, 3000, 3000));
    QPen zero(Qt::black, 10);
    zero.setDashPattern({0.0, 0.0});
    painter.setPen(zero);
    painter.drawLine(QPointF(0, 0), QPointF(1000, 1000));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(500, 2000), "Inside");
    painter.drawText(QPointF(500, 5000), "Outside");
    painter.end();
    ASSERT_TRUE(document.Finish()) << document.Error();
  }
  const std::string text = Shell("pdftotext '" + File("degenerate.pdf") + "' - 2>&1");
  EXPECT_NE(text.find("After"), std::string::npos) << text;
  EXPECT_NE(text.find("Inside"), std::string::npos) << text;
  EXPECT_EQ(text.find("Hidden"), std::string::npos) << text;
  EXPECT_EQ(text.find("Outside"), std::string::npos) << text;
}

TEST_F(PageFilters, APrintersPagesGoOutWholeOrInARange) {
  std::unique_ptr<TQRPrinter> printer = LoadedPrinter(4);
  printer->Title = "From the printer";
  TQRPDFFilter part(File("part.pdf"));
  part.WritePages(*printer, 2, 3);
  EXPECT_EQ(Shell("pdfinfo '" + File("part.pdf") + "' | grep '^Pages:'"), "Pages:           2\n");
  const std::string text = Shell("pdftotext '" + File("part.pdf") + "' - 2>&1");
  EXPECT_EQ(text.find("Page 1 of 4"), std::string::npos);
  EXPECT_NE(text.find("Page 3 of 4"), std::string::npos);
  EXPECT_NE(Shell("pdfinfo '" + File("part.pdf") + "'").find("From the printer"), std::string::npos);

  // The preview's save hands the whole recording to a filter of pages.
  TQRPDFFilter all(File("all.pdf"));
  printer->ExportVia(all);
  EXPECT_EQ(Shell("pdfinfo '" + File("all.pdf") + "' | grep '^Pages:'"), "Pages:           4\n");

  // A recording has no report to run an export pass through.
  class TPassFilter : public TQRExportFilter {
    using TQRExportFilter::TQRExportFilter;
  } rows(File("rows.csv"));
  EXPECT_THROW(printer->ExportVia(rows), EQRError);

  // Pages are exported only once they are all there.
  TQRPrinter unfinished({TPrinter::PdfPrinter()});
  TQRPDFFilter early(File("early.pdf"));
  EXPECT_THROW(early.WritePages(unfinished, 1, 1), EQRError);
  EXPECT_EQ(Files(), (std::set<std::string>{"part.pdf", "all.pdf"}));
}

// A page stream's PDF is written on the document's own thread while the next page is
// played; it is the file one thread makes drawing the same pages with its own painter
// (outline, links, table structure, pictures, clips, missing scripts), to the byte.
TEST_F(PageFilters, APdfWrittenBesideThePlayingIsTheOneOneThreadWrites) {
  const auto page = [](int n) {
    if (n == 2) return ScriptsPage();
    if (n != 3) return test::SampleReportPage(n, 4);
    TMetafile marked(794, 1123);
    TMetafileCanvas canvas(marked);
    TFont font;
    font.SetName("Arial");
    canvas.SetFont(&font);
    for (int level : {0, 1}) {
      const std::string title = "Section " + std::to_string(level);
      canvas.Annotate({TPageAnnotation::akBookmark, level, {50, 50 + level * 40, 50, 50 + level * 40}, title});
      canvas.TextOut(50, 50 + level * 40, title);
    }
    canvas.Annotate({TPageAnnotation::akLink, 0, {50, 130, 300, 150}, "#Section 1"});
    canvas.Annotate({TPageAnnotation::akLink, 0, {50, 160, 300, 180}, "https://example.com/"});
    canvas.Annotate({TPageAnnotation::akBeginStructure, 0, {}, "TR"});
    canvas.TextOut(50, 200, "Row text");
    canvas.Annotate({TPageAnnotation::akEndStructure, 0, {}, "TR"});
    canvas.Close();
    return marked;
  };
  const QDateTime created(QDate(2026, 3, 1), QTime(9, 30), QTimeZone::utc());
  TQRPDFFilter pdf(File("two.pdf"));
  pdf.Title = "Same";
  pdf.Created = created;
  int n = 0;
  pdf.WritePageStream([&]() { return ++n <= 4 ? std::make_unique<TMetafile>(page(n)) : nullptr; });

  const QSizeF a4(595 * 25.4 / 72, 842 * 25.4 / 72);
  TPdfDocument document(File("one.pdf"), a4);
  document.SetInfo("Same", QCoreApplication::applicationName().toStdString(), created);
  QPainter painter(&document);
  for (int k = 1; k <= 4; ++k) {
    if (k > 1) {
      document.NewPage();
      document.SetPageSize(a4);
    }
    PlayMetafile(page(k), painter, QRectF(0, 0, document.Width(), document.Height()));
  }
  painter.end();
  ASSERT_TRUE(document.Finish()) << document.Error();
  EXPECT_EQ(document.MissingFontMessages(), pdf.MissingFontMessages());
  const std::string two = ReadFile(Dir / "two.pdf");
  EXPECT_GT(two.size(), 10000u);
  EXPECT_TRUE(two == ReadFile(Dir / "one.pdf"));
  EXPECT_EQ(Count(Shell("pdfinfo '" + File("two.pdf") + "' 2>&1"), "Pages:           4"), 1u);
}

TEST_F(PageFilters, AFailedPdfLeavesNoFileAndKeepsTheOneThere) {
  // A folder that does not exist fails before any page is drawn.
  TQRPDFFilter nowhere(File("missing/report.pdf"));
  EXPECT_THROW(nowhere.WritePageSource(SamplePages(3), 1, 3), EFCreateError);
  EXPECT_FALSE(fs::exists(Dir / "missing"));

  std::ofstream(File("kept.pdf")) << "the good copy";
  // A page that cannot be read half way...
  TQRPDFFilter unreadable(File("kept.pdf"));
  EXPECT_THROW(unreadable.WritePageSource(SamplePages(3, 2), 1, 3), EQRError);
  // ...a write that fails on the way...
  SetWriteFailureHook([](std::string_view step) { return step == "pdf write" ? ENOSPC : 0; });
  TQRPDFFilter full(File("kept.pdf"));
  EXPECT_THROW(full.WritePageSource(SamplePages(3), 1, 3), EWriteError);
  // ...and a rename that fails at the very end.
  SetWriteFailureHook([](std::string_view step) { return step == "rename" ? EIO : 0; });
  TQRPDFFilter renamed(File("kept.pdf"));
  EXPECT_THROW(renamed.WritePageSource(SamplePages(3), 1, 3), EFCreateError);
  SetWriteFailureHook(nullptr);
  EXPECT_EQ(ReadFile(Dir / "kept.pdf"), "the good copy");
  EXPECT_EQ(Files(), (std::set<std::string>{"kept.pdf"}));
}

TEST_F(PageFilters, EachPngIsThePreviewsDrawingOfItsPageAtTheResolution) {
  for (int dpi : {150, 72}) {
    SCOPED_TRACE(dpi);
    TQRPNGFilter png(File("page.png"), dpi);
    png.WritePageSource(SamplePages(3), 1, 3);
    EXPECT_EQ(png.WrittenFiles(), (std::vector<std::string>{File("page-1.png"), File("page-2.png"), File("page-3.png")}));
    for (int n = 1; n <= 3; ++n) {
      QImage written(QString::fromStdString(File("page-" + std::to_string(n) + ".png")), "PNG");
      ASSERT_FALSE(written.isNull());
      // A4 at 96 dpi is 794 x 1123 pixels; at another resolution in proportion.
      EXPECT_EQ(written.width(), static_cast<int>(std::lround(794 * dpi / 96.0)));
      EXPECT_EQ(written.height(), static_cast<int>(std::lround(1123 * dpi / 96.0)));
      EXPECT_EQ(std::lround(written.dotsPerMeterX() * 0.0254), dpi);
      const QImage drawn = RenderPageImage(test::SampleReportPage(n, 3), static_cast<double>(dpi));
      EXPECT_TRUE(written.convertToFormat(QImage::Format_RGB32) == drawn.convertToFormat(QImage::Format_RGB32));
      // Not a blank page: its text and rules cover a few percent of it.
      EXPECT_GT(InkedShare(drawn), 0.005);
    }
  }

  // One page keeps the name it was given.
  std::unique_ptr<TQRPrinter> printer = LoadedPrinter(3);
  TQRPNGFilter one(File("only.png"));
  EXPECT_EQ(one.Resolution(), 150);
  one.WritePages(*printer, 2, 2);
  EXPECT_EQ(one.WrittenFiles(), std::vector<std::string>{File("only.png")});
  EXPECT_TRUE(QImage(QString::fromStdString(File("only.png"))) ==
              RenderPageImage(test::SampleReportPage(2, 3), 150.0).convertToFormat(QImage::Format_RGB32));
}

TEST_F(PageFilters, PngNamesSortInPageOrder) {
  EXPECT_EQ(TQRPNGFilter::PageFileName("out/r.png", 4, 4, 4), "out/r.png");
  EXPECT_EQ(TQRPNGFilter::PageFileName("out/r.png", 4, 1, 9), "out/r-4.png");
  EXPECT_EQ(TQRPNGFilter::PageFileName("out/r.png", 4, 1, 12), "out/r-04.png");
  EXPECT_EQ(TQRPNGFilter::PageFileName("out/r.PNG", 12, 1, 12), "out/r-12.PNG");
  EXPECT_EQ(TQRPNGFilter::PageFileName("r.v2.png", 7, 5, 100), "r.v2-007.png");
  EXPECT_EQ(TQRPNGFilter::PageFileName("pages", 2, 1, 3), "pages-2.png");
}

TEST_F(PageFilters, AFailedPngExportLeavesNoPageBehind) {
  TQRPNGFilter png(File("page.png"));
  EXPECT_THROW(png.WritePageSource(SamplePages(3, 3), 1, 3), EQRError);
  EXPECT_TRUE(png.WrittenFiles().empty());
  EXPECT_TRUE(Files().empty());
  TQRPNGFilter nowhere(File("missing/page.png"));
  EXPECT_THROW(nowhere.WritePageSource(SamplePages(1), 1, 1), EFCreateError);
  EXPECT_THROW(png.SetResolution(9), EQRError);
  EXPECT_THROW(TQRPNGFilter(File("x.png"), 2401), EQRError);
  EXPECT_EQ(png.Resolution(), 150);
  // A page far too large for memory at the resolution asked is refused.
  TQRPNGFilter huge(File("huge.png"), 2400);
  const TQRPageSource wall = [](int32_t) { return std::make_unique<TMetafile>(20000, 20000); };
  EXPECT_THROW(huge.WritePageSource(wall, 1, 1), EQRError);
  EXPECT_TRUE(Files().empty());
}

TEST(ExportPassPages, MeasureTextsAsARecordedPageButKeepNothing) {
  auto record = [](bool measureOnly, std::vector<TSize>& extents) {
    TQRPrinter printer({TPrinter::PdfPrinter()});
    printer.MeasureOnly = measureOnly;
    printer.OpenDocument();
    printer.NewPage();
    TCanvas& canvas = *printer.PageCanvas();
    canvas.Font()->SetName("Arial");
    canvas.Font()->SetSize(10);
    for (int i = 0; i < 2000; ++i) {
      const std::string text = "Line " + std::to_string(i) + " of a long list";
      extents.push_back(canvas.TextExtent(text));
      canvas.SetClipRect({0, 0, 400, 20});
      EXPECT_TRUE(canvas.HasClipRect());
      canvas.TextRect({0, 0, 400, 20}, 2, 2, text);
      canvas.ClearClipRect();
      canvas.MoveTo(0, 20);
      canvas.LineTo(400, 20);
      EXPECT_EQ(canvas.PenPos(), (TPoint{400, 20}));
    }
    printer.CloseDocument();
    return printer.PageImage(1)->Data().size();
  };
  std::vector<TSize> recorded, measured;
  const size_t recordedBytes = record(false, recorded);
  const size_t measuredBytes = record(true, measured);
  EXPECT_EQ(measured, recorded);
  EXPECT_GT(recordedBytes, 100000u);
  EXPECT_LT(measuredBytes, 2000u);
}

}  // namespace
}  // namespace rpt
