// Pictures and barcodes: their stream round trip (picture bytes as given), the design
// surface against the recorded page by pixel probes, pictures from a blob field, every
// symbology read back by a barcode reader from Debian, and the faults: a damaged picture
// and a text a symbology cannot encode.
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "output/QRPageFilters.h"
#include "output/QRPageImage.h"
#include "report/QRPictures.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

namespace fs = std::filesystem;

// A picture of four colour blocks: red left, blue right on top, green below.
std::string Blocks(int width = 40, int height = 20, const char* format = "PNG") {
  QImage image(width, height, QImage::Format_ARGB32);
  QPainter p(&image);
  p.fillRect(0, 0, width / 2, height / 2, Qt::red);
  p.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::blue);
  p.fillRect(0, height / 2, width, height - height / 2, Qt::green);
  p.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

// The bounding box of pixels near a colour; empty when there are none.
QRect ColourBox(const QImage& image, QRgb colour) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (std::abs(qRed(p) - qRed(colour)) < 40 && std::abs(qGreen(p) - qGreen(colour)) < 40 &&
          std::abs(qBlue(p) - qBlue(colour)) < 40)
        box |= QRect(x, y, 1, 1);
    }
  return box;
}

std::string Command(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

bool HasProgram(const std::string& name) { return !Command("command -v " + name).empty(); }

// What a reader installed from Debian reads in a picture file: zbarimg (zbar-tools) for
// the 1D codes and QR, dmtxread (dmtx-utils) for Data Matrix, ZXingReader
// (zxing-cpp-tools) for PDF417, which zbar does not read.
std::string Decode(TQRBarcodeType type, const std::string& file) {
  switch (type) {
    case bcDataMatrix: return Command("dmtxread -n '" + file + "' 2>/dev/null");
    case bcPDF417: return Command("ZXingReader -format PDF417 -bytes '" + file + "' 2>/dev/null");
    default: return Command("zbarimg --raw -q -Supca.enable '" + file + "' 2>/dev/null");
  }
}

class PicturesTest : public EngineTest {
 protected:
  TQRBand* Title = nullptr;
  void SetUp() override {
    EngineTest::SetUp();
    Report->Page()->SetValue(pvLeftMargin, 10);
    Report->Page()->SetValue(pvTopMargin, 10);
    Title = Band(rbTitle, "TitleBand", 60);
  }
  template <class T>
  T* Place(TWinControl* band, const std::string& name, double left, double top, double width, double height) {
    auto* c = Add<T>(name, band);
    c->Size()->SetLeft(left);
    c->Size()->SetTop(top);
    c->Size()->SetWidth(width);
    c->Size()->SetHeight(height);
    return c;
  }
  // Page n played at a resolution.
  QImage PageAt(int32_t n, double dpi) {
    std::unique_ptr<TMetafile> page = Report->QRPrinter()->PageImage(n);
    return page ? RenderPageImage(*page, dpi) : QImage();
  }
  std::string TempFile(const std::string& name) const { return (fs::path(DataDir) / name).string(); }
};

TEST_F(PicturesTest, EachClassStreamsRoundTripWithThePictureBytesAsGiven) {
  MakeDatabase("CREATE TABLE items(id INTEGER PRIMARY KEY, code VARCHAR(13), picture BLOB);");
  Report->SetUnits(MM);
  const std::string png = Blocks();
  auto* image = Place<TQRImage>(Title, "Logo", 5, 5, 30, 15);
  ASSERT_TRUE(image->SetPictureBytes(png));
  image->SetStretch(true);
  image->SetCenter(true);
  image->SetKeepAspect(false);
  auto* table = Table("items");
  auto* dbImage = Place<TQRDBImage>(Title, "Photo", 40, 5, 20, 20);
  dbImage->SetDataSet(table);
  dbImage->SetDataField("picture");
  auto* barcode = Place<TQRBarcode>(Title, "Code", 70, 5, 50, 20);
  barcode->SetBarcodeType(bcEAN13);
  barcode->SetText("400638133393");
  barcode->SetExpression("items.code");
  barcode->SetShowText(false);
  barcode->SetBarColor(clNavy);

  TRoomyReport* loaded = Load(Save());
  auto* image2 = dynamic_cast<TQRImage*>(loaded->FindComponent("Logo"));
  auto* dbImage2 = dynamic_cast<TQRDBImage*>(loaded->FindComponent("Photo"));
  auto* barcode2 = dynamic_cast<TQRBarcode*>(loaded->FindComponent("Code"));
  ASSERT_TRUE(image2 && dbImage2 && barcode2);
  EXPECT_EQ(image2->Picture().Bytes(), png);
  EXPECT_EQ(image2->Picture().Format(), "PNG");
  EXPECT_TRUE(image2->PictureError().empty());
  EXPECT_TRUE(image2->Stretch());
  EXPECT_TRUE(image2->Center());
  EXPECT_FALSE(image2->KeepAspect());
  EXPECT_NEAR(double(image2->Size()->Native(TQRPrintableSize::szWidth)), 300, 0.01);
  EXPECT_EQ(dbImage2->DataField(), "picture");
  EXPECT_EQ(barcode2->BarcodeType(), bcEAN13);
  EXPECT_EQ(barcode2->Text(), "400638133393");
  EXPECT_EQ(barcode2->Expression(), "items.code");
  EXPECT_FALSE(barcode2->ShowText());
  EXPECT_EQ(barcode2->BarColor(), clNavy);
  // Saved again, the stream is the same bytes.
  const std::string again = [&] {
    std::swap(Report, loaded);
    std::string s = Save();
    std::swap(Report, loaded);
    return s;
  }();
  dbImage->SetDataSet(nullptr);  // the test's table is not found by the loaded report
  EXPECT_EQ(again, Save());
  loaded->Free();
}

TEST_F(PicturesTest, DamagedPictureLoadsEmptyWithAMessageAndTheReportStillLoads) {
  auto* image = Place<TQRImage>(Title, "Logo", 5, 5, 30, 15);
  ASSERT_TRUE(image->SetPictureBytes(Blocks()));
  Add<TQRLabel>("Caption", Title)->SetCaption("after the picture");
  std::string bytes = Save();
  // Damage the picture's header inside the stream (same length, so the stream is sound).
  const size_t at = bytes.find("IHDR");
  ASSERT_NE(at, std::string::npos);
  for (size_t i = at; i < at + 12; ++i) bytes[i] = '\x7f';
  TRoomyReport* loaded = Load(bytes);
  auto* damaged = dynamic_cast<TQRImage*>(loaded->FindComponent("Logo"));
  ASSERT_NE(damaged, nullptr);
  EXPECT_TRUE(damaged->Picture().Empty());
  EXPECT_NE(damaged->PictureError().find("damaged"), std::string::npos) << damaged->PictureError();
  EXPECT_NE(loaded->FindComponent("Caption"), nullptr) << "what follows the picture is read";
  loaded->Free();
  // Bytes that are no picture at all are refused as given; a file likewise.
  EXPECT_FALSE(image->SetPictureBytes("GIF89a not a picture of ours"));
  EXPECT_TRUE(image->Picture().Empty());
  EXPECT_FALSE(image->PictureError().empty());
  const std::string file = TempFile("broken.png");
  std::ofstream(file, std::ios::binary) << "\x89PNG\r\n\x1a\n broken";
  EXPECT_THROW(image->LoadPictureFromFile(file), EReadError);
  EXPECT_THROW(image->LoadPictureFromFile(TempFile("missing.png")), EReadError);
  // A header claiming a picture far too large is refused before it is decoded.
  QImage tiny(1, 1, QImage::Format_RGB32);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  tiny.save(&buffer, "PNG");
  std::string huge = png.toStdString();
  const size_t ihdr = huge.find("IHDR");
  huge[ihdr + 4] = '\x7f', huge[ihdr + 8] = '\x7f';  // 2 billion pixels a side
  EXPECT_FALSE(image->SetPictureBytes(huge));
}

// A report from someone else draws only what its pictures hold: an SVG's references to
// files (a path, a file: URL) are left out, kept in the bytes and reported once a pass;
// inline data draws.
TEST_F(PicturesTest, AnSvgDrawsOnlyWhatItHoldsNeverAFileItNames) {
  if (!TQRPicture::SvgSupported()) GTEST_SKIP() << "this build draws no SVG";
  auto solid = [](QColor colour) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
  };
  const std::string secret = TempFile("private.png");
  std::ofstream(secret, std::ios::binary) << solid(Qt::red).toStdString();
  // An inline SVG is read by a picture reader that would follow its own references.
  const std::string nested =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"8\" "
      "height=\"8\"><image width=\"8\" height=\"8\" xlink:href=\"" + secret + "\"/></svg>";
  const std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"40\" "
      "height=\"20\"><rect width=\"40\" height=\"20\" fill=\"blue\"/>"
      "<image x=\"20\" y=\"0\" width=\"20\" height=\"20\" xlink:href=\"" + secret + "\"/>"
      "<image x=\"20\" y=\"0\" width=\"20\" height=\"20\" xlink:href=\"file://" + secret + "\"/>"
      "<image x=\"0\" y=\"0\" width=\"10\" height=\"10\" xlink:href=\"data:image/png;base64," +
      solid(Qt::green).toBase64().toStdString() + "\"/>" + "<image x=\"0\" y=\"10\" width=\"10\" height=\"10\" xlink:href=\"data:;base64," +
      QByteArray::fromStdString(nested).toBase64().toStdString() + "\"/></svg>";
  TQRPicture picture;
  ASSERT_TRUE(picture.Load(svg));
  EXPECT_EQ(picture.Bytes(), svg);
  EXPECT_EQ(picture.Warning(), "The SVG picture refers to \"" + secret +
                                   "\" and 2 more outside itself; a picture draws only what it holds, so they are "
                                   "left out");
  const TPixels pixels = picture.Render(40, 20);
  ASSERT_EQ(pixels.Width, 40);
  EXPECT_EQ(pixels.Data[10 * 40 + 30] & 0xffffffu, 0x0000ffu) << "blue where the file would be";
  EXPECT_EQ(pixels.Data[5 * 40 + 5] & 0xffffffu, 0x00ff00u) << "the inline picture";
  EXPECT_EQ(pixels.Data[15 * 40 + 5] & 0xffffffu, 0x0000ffu) << "the inline SVG draws without the file";

  auto* logo = Place<TQRImage>(Title, "Logo", 5, 5, 40, 20);
  ASSERT_TRUE(logo->SetPictureBytes(svg));
  Run();
  const QImage page = PageAt(1, 96);
  EXPECT_TRUE(ColourBox(page, qRgb(255, 0, 0)).isEmpty()) << "the file's red reached the page";
  EXPECT_FALSE(ColourBox(page, qRgb(0, 0, 255)).isEmpty());
  const std::vector<std::string> reported = Report->GenerationMessages();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].rfind("Logo: The SVG picture refers to \"" + secret + "\"", 0), 0u) << reported[0];
}

TEST_F(PicturesTest, DesignSurfaceAndRecordedPageShowThePictureAlike) {
  Report->SetUnits(MM);
  auto* image = Place<TQRImage>(Title, "Logo", 5, 5, 40, 20);
  ASSERT_TRUE(image->SetPictureBytes(Blocks(40, 20)));
  image->SetStretch(true);
  auto* kept = Place<TQRImage>(Title, "Kept", 60, 5, 40, 40);
  ASSERT_TRUE(kept->SetPictureBytes(Blocks(40, 20)));
  kept->SetStretch(true);
  kept->SetCenter(true);  // KeepAspect: 40 x 20 mm in the middle of the 40 mm square
  auto* qr = Place<TQRBarcode>(Title, "Qr", 110, 5, 30, 30);
  qr->SetBarcodeType(bcQRCode);
  qr->SetText("ORDER 10248");
  const QImage surface = PaintSurface(Report);
  Run();
  ASSERT_EQ(PageCount(), 1);
  const QImage page = PageAt(1, 96);
  // The design surface at 100 % and the page at 96 dpi have the same scale.
  auto compare = [&](const QRect& inSurface, const QRect& onPage, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_FALSE(inSurface.isEmpty());
    ASSERT_FALSE(onPage.isEmpty());
    EXPECT_NEAR(inSurface.width(), onPage.width(), 2);
    EXPECT_NEAR(inSurface.height(), onPage.height(), 2);
  };
  const QRect band = QRect(Title->Left(), Title->Top(), Title->Width(), Title->Height());
  const QImage surfaceBand = surface.copy(band);
  const int mm = 96 / 25.4 * 10 + 0.5;  // page margin of 10 mm
  const QImage pageBand = page.copy(QRect(QPoint(0, 0), band.size()).translated(mm, mm));
  const QRect red = ColourBox(surfaceBand, qRgb(255, 0, 0));
  const QRect redOnPage = ColourBox(pageBand, qRgb(255, 0, 0));
  compare(red, redOnPage, "red blocks");
  compare(ColourBox(surfaceBand, qRgb(0, 255, 0)), ColourBox(pageBand, qRgb(0, 255, 0)), "green blocks");
  // Stretched: the first picture's red block is half of 40 mm by half of 20 mm; the kept
  // aspect puts the second one 10 mm down, centred.
  const QRect firstRed = ColourBox(pageBand.copy(0, 0, 220, pageBand.height()), qRgb(255, 0, 0));
  const QRect secondRed = ColourBox(pageBand.copy(220, 0, pageBand.width() - 220, pageBand.height()), qRgb(255, 0, 0));
  EXPECT_NEAR(firstRed.width(), 20 * 96 / 25.4, 2);
  EXPECT_NEAR(firstRed.height(), 10 * 96 / 25.4, 2);
  EXPECT_NEAR(firstRed.top(), 5 * 96 / 25.4, 2);
  EXPECT_NEAR(secondRed.top(), 15 * 96 / 25.4, 2);
  EXPECT_NEAR(secondRed.height(), 10 * 96 / 25.4, 2);
  EXPECT_EQ(firstRed.top(), ColourBox(surfaceBand.copy(0, 0, 220, surfaceBand.height()), qRgb(255, 0, 0)).top());
  // The QR code's modules (inside the corner marks of the design surface): same place,
  // same size, the same dark and light modules along its middle row.
  const int qrLeft = std::lround(110 * 96 / 25.4) + 6, qrTop = std::lround(5 * 96 / 25.4) + 6;
  const int qrSide = std::lround(30 * 96 / 25.4) - 12;
  const QImage surfaceQr = surfaceBand.copy(qrLeft, qrTop, qrSide, qrSide);
  const QImage pageQr = pageBand.copy(qrLeft, qrTop, qrSide, qrSide);
  const QRect darkSurface = ColourBox(surfaceQr, qRgb(0, 0, 0)), darkPage = ColourBox(pageQr, qRgb(0, 0, 0));
  compare(darkSurface, darkPage, "QR modules");
  EXPECT_NEAR(darkSurface.left(), darkPage.left(), 1);
  EXPECT_NEAR(darkSurface.top(), darkPage.top(), 1);
  int agree = 0, probes = 0;
  const int row = darkPage.center().y();
  for (int x = darkPage.left(); x <= darkPage.right(); ++x, ++probes)
    agree += (qGray(surfaceQr.pixel(x, row)) < 128) == (qGray(pageQr.pixel(x, row)) < 128);
  EXPECT_GT(agree, probes * 9 / 10);
}

// A JPEG printed where it needs all its pixels reaches the PDF as its own bytes; one
// printed smaller is resampled as before; the page played for other devices shows it.
TEST_F(PicturesTest, AJpegNeedingAllItsPixelsReachesThePdfAsItsOwnBytes) {
  ASSERT_TRUE(HasProgram("pdfimages"));
  Report->SetUnits(MM);
  const std::string jpeg = Blocks(60, 30, "JPEG");
  auto* photo = Place<TQRImage>(Title, "Photo", 5, 5, 40, 20);
  ASSERT_TRUE(photo->SetPictureBytes(jpeg));
  photo->SetStretch(true);
  auto* thumbnail = Place<TQRImage>(Title, "Thumbnail", 60, 5, 4, 2);  // 47 x 24 pixels at 300 dpi
  ASSERT_TRUE(thumbnail->SetPictureBytes(Blocks(120, 60, "JPEG")));
  thumbnail->SetStretch(true);
  Run();
  const std::string pdf = TempFile("photo.pdf");
  TQRPDFFilter filter(pdf);
  Report->QRPrinter()->ExportVia(filter);
  // Columns: page num type width height color comp bpc enc ...
  const std::string list = Command("pdfimages -list '" + pdf + "' | tail -n +3 | awk '{print $4, $5, $9}'");
  EXPECT_EQ(list, "60 30 jpeg\n47 24 image") << list;
  Command("pdfimages -j -f 1 -l 1 '" + pdf + "' '" + TempFile("photo") + "'");
  std::ifstream in(TempFile("photo-000.jpg"), std::ios::binary);
  const std::string extracted((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(extracted == jpeg) << extracted.size() << " bytes extracted of " << jpeg.size();
  // The recorded page, as a PNG shows it: the blocks where they were printed.
  const QImage page = PageAt(1, 96);
  const double px = 96 / 25.4;
  const int left = std::lround(15 * px), top = std::lround(15 * px);  // margin and place
  EXPECT_EQ(ColourBox(page.copy(left + 10, top + 10, 10, 10), qRgb(255, 0, 0)), QRect(0, 0, 10, 10));
  EXPECT_EQ(ColourBox(page.copy(left + std::lround(30 * px), top + 10, 10, 10), qRgb(0, 0, 255)), QRect(0, 0, 10, 10));
  EXPECT_EQ(ColourBox(page.copy(left + 10, top + std::lround(15 * px), 10, 10), qRgb(0, 255, 0)), QRect(0, 0, 10, 10));
}

TEST_F(PicturesTest, BlobFieldPicturesPrintPerRecordAndEmptyOrDamagedOnesPrintNothing) {
  MakeDatabase(
      "CREATE TABLE items(id INTEGER PRIMARY KEY, picture BLOB);"
      "INSERT INTO items VALUES (1, X'" +
      QByteArray::fromStdString(Blocks()).toHex().toStdString() +
      "'), (2, NULL), (3, X'0102030405'), (4, X'" + QByteArray::fromStdString(Blocks()).toHex().toStdString() +
      "');");
  TTable* table = Table("items");
  Report->SetDataSet(table);
  Report->Page()->SetValue(pvTopMargin, 10);
  Title->SetEnabled(false);
  TQRBand* detail = Band(rbDetail, "Detail", 12);
  auto* photo = Place<TQRDBImage>(detail, "Photo", 5, 1, 20, 10);
  photo->SetDataSet(table);
  photo->SetDataField("picture");
  Run();
  ASSERT_EQ(PageCount(), 1);
  const QImage page = PageAt(1, 96);
  const double rowPx = 12 * 96 / 25.4;
  const int mm10 = std::lround(10 * 96 / 25.4);
  auto redInRow = [&](int row) {
    const int top = mm10 + int(row * rowPx);
    return !ColourBox(page.copy(0, top, page.width(), int(rowPx)), qRgb(255, 0, 0)).isEmpty();
  };
  EXPECT_TRUE(redInRow(0));
  EXPECT_FALSE(redInRow(1)) << "NULL field";
  EXPECT_FALSE(redInRow(2)) << "bytes that are no picture";
  EXPECT_TRUE(redInRow(3));
}

struct TSymbologyCase {
  TQRBarcodeType Type;
  std::string Text;
  std::string Read;  // what a reader returns
};

TEST_F(PicturesTest, EverySymbologyPrintsACodeAReaderDecodesBack) {
  for (const char* program : {"zbarimg", "dmtxread", "ZXingReader"})
    ASSERT_TRUE(HasProgram(program)) << program << " missing: run scripts/setup.sh";
  const std::vector<TSymbologyCase> cases = {
      {bcCode128, "ORDER-10248/a", "ORDER-10248/a"},
      {bcEAN13, "400638133393", "4006381333931"},  // the check digit is added
      {bcUPCA, "03600029145", "036000291452"},
      {bcCode39, "PART 42-X", "PART 42-X"},
      {bcQRCode, "https://example.org/orders/10248?q=\xC3\xA9t\xC3\xA9", "https://example.org/orders/10248?q=\xC3\xA9t\xC3\xA9"},
      {bcDataMatrix, "Lot 2024-117 / shelf B7", "Lot 2024-117 / shelf B7"},
      {bcPDF417, "Shipment 10248 to Reims, 3 parcels", "Shipment 10248 to Reims, 3 parcels"},
  };
  Report->SetUnits(MM);
  for (const TSymbologyCase& c : cases) {
    SCOPED_TRACE(BarcodeTypeName(c.Type));
    const bool matrix = c.Type == bcQRCode || c.Type == bcDataMatrix;
    auto* code = Place<TQRBarcode>(Title, "Code", 5, 5, matrix ? 40 : 100, matrix ? 40 : 30);
    code->SetBarcodeType(c.Type);
    code->SetText(c.Text);
    Run();
    ASSERT_EQ(PageCount(), 1);
    EXPECT_TRUE(Report->GenerationMessages().empty());
    const std::string file = TempFile("code.png");
    // The top of the page, where the title band is (the readers are quicker on less).
    ASSERT_TRUE(PageAt(1, 300).copy(0, 0, 1800, 700).save(QString::fromStdString(file)));
    EXPECT_EQ(Decode(c.Type, file), c.Read);
    // The code's modules as the library made them: a 2D code is its matrix.
    const TQRBarcodeSymbol symbol = EncodeBarcode(c.Type, c.Text, true);
    EXPECT_TRUE(symbol.Error.empty());
    EXPECT_FALSE(symbol.Modules.empty());
    code->Free();
  }
}

TEST_F(PicturesTest, TheQrCodeOfAnExpressionReadsBackFromThePdf) {
  for (const char* program : {"zbarimg", "pdftoppm"}) ASSERT_TRUE(HasProgram(program)) << program;
  MakeDatabase("CREATE TABLE orders(order_id INTEGER PRIMARY KEY); INSERT INTO orders VALUES (10248), (10249);");
  TTable* orders = Table("orders");
  Report->SetDataSet(orders);
  Title->SetEnabled(false);
  TQRBand* detail = Band(rbDetail, "Detail", 45);
  auto* code = Place<TQRBarcode>(detail, "OrderCode", 5, 2, 40, 40);
  code->SetBarcodeType(bcQRCode);
  code->SetExpression("'ORDER ' + orders.order_id");
  Run();
  const std::string pdf = TempFile("orders.pdf");
  TQRPDFFilter filter(pdf);
  Report->QRPrinter()->ExportVia(filter);
  ASSERT_TRUE(fs::exists(pdf));
  Command("pdftoppm -r 200 -png '" + pdf + "' '" + TempFile("orders") + "'");
  const std::string png = TempFile("orders-1.png");
  ASSERT_TRUE(fs::exists(png));
  const std::string read = Command("zbarimg --raw -q '" + png + "' 2>/dev/null");
  EXPECT_NE(read.find("ORDER 10248"), std::string::npos) << read;
  EXPECT_NE(read.find("ORDER 10249"), std::string::npos) << read;
  // The bars are vector rectangles in the PDF, not a picture.
  EXPECT_EQ(Command("pdfimages -list '" + pdf + "' | tail -n +3 | wc -l"), "0");
}

TEST_F(PicturesTest, AnUnencodableTextPrintsTheMessageAndIsReportedOnce) {
  MakeDatabase("CREATE TABLE items(id INTEGER PRIMARY KEY); INSERT INTO items VALUES (1), (2), (3);");
  Report->SetDataSet(Table("items"));
  Title->SetEnabled(false);
  TQRBand* detail = Band(rbDetail, "Detail", 25);
  auto* code = Place<TQRBarcode>(detail, "Ean", 5, 2, 60, 20);
  code->SetBarcodeType(bcEAN13);
  code->SetText("not digits");
  Label(detail, "After", "printed anyway", 100);
  const std::vector<std::string> texts = Flat(Run());
  ASSERT_EQ(PageCount(), 1);
  int messages = 0, after = 0;
  for (const std::string& t : texts) {
    messages += t.find("Invalid character") != std::string::npos;
    after += t == "printed anyway";
  }
  EXPECT_EQ(messages, 3) << "the library's message in place of each code";
  EXPECT_EQ(after, 3);
  const std::vector<std::string> reported = Report->GenerationMessages();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("Ean"), std::string::npos) << reported[0];
  EXPECT_NE(reported[0].find("EAN-13"), std::string::npos) << reported[0];
  // The next pass starts with no messages of its own.
  code->SetText("400638133393");
  Run();
  EXPECT_TRUE(Report->GenerationMessages().empty());
}

// A preview's pass draws pictures and codes on its own thread while this thread paints
// the design surface and reads the pass's messages (run under ThreadSanitizer too).
TEST_F(PicturesTest, APreviewPassDrawsPicturesAndCodesOnItsThread) {
  const std::string hex = QByteArray::fromStdString(Blocks()).toHex().toStdString();
  MakeDatabase(
      "CREATE TABLE items(id INTEGER PRIMARY KEY, code VARCHAR(13), picture BLOB);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120) "
      "INSERT INTO items SELECT i, CASE WHEN i = 50 THEN 'bad' ELSE printf('4006381%05d', i) END, "
      "CASE WHEN i % 3 = 0 THEN NULL ELSE X'" + hex + "' END FROM n;");
  TTable* table = Table("items");
  Report->SetDataSet(table);
  auto* logo = Place<TQRImage>(Title, "Logo", 5, 5, 40, 20);
  ASSERT_TRUE(logo->SetPictureBytes(Blocks()));
  logo->SetStretch(true);
  TQRBand* detail = Band(rbDetail, "Detail", 22);
  auto* photo = Place<TQRDBImage>(detail, "Photo", 5, 1, 20, 20);
  photo->SetDataSet(table);
  photo->SetDataField("picture");
  auto* code = Place<TQRBarcode>(detail, "Ean", 40, 1, 60, 20);
  code->SetBarcodeType(bcEAN13);
  code->SetExpression("items.code");
  TQRPrinter::PreviewInterface = nullptr;
  Report->StartPreview(false);
  QElapsedTimer timer;
  timer.start();
  int paints = 0;
  while (Report->GenerationRunning() && timer.elapsed() < 60000) {
    QCoreApplication::processEvents();
    PaintSurface(Report);
    (void)Report->GenerationMessages();
    ++paints;
  }
  EXPECT_FALSE(Report->GenerationRunning());
  EXPECT_GT(paints, 0);
  ASSERT_NE(Report->QRPrinter(), nullptr);
  EXPECT_EQ(Report->QRPrinter()->Status(), qsFinished);
  EXPECT_GT(Report->QRPrinter()->PageList().TotalPages(), 5);
  const std::vector<std::string> messages = Report->GenerationMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("\"bad\""), std::string::npos) << messages[0];
}

}  // namespace
}  // namespace rpt::test
