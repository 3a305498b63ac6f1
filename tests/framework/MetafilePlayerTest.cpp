#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

#include "framework/Emf.h"
#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "framework/QtCanvas.h"

namespace rpt {
namespace {

using namespace emf;

constexpr int kW = 400, kH = 300;

std::unique_ptr<TFont> Font(const char* name, int size, TFontStyles style = {}, TColor color = clBlack) {
  auto f = std::make_unique<TFont>();
  f->SetName(name);
  f->SetSize(size);
  f->SetStyle(style);
  f->SetColor(color);
  return f;
}

// A page with every kind of operation a report draws.
void DrawScene(TCanvas& c) {
  c.Brush()->SetColor(static_cast<TColor>(0xE0F0FF));
  c.FillRect({0, 0, kW, 40});
  c.Pen()->SetWidth(1);
  c.Pen()->SetColor(clBlack);
  c.Brush()->SetColor(clYellow);
  c.Rectangle(10, 50, 120, 100);
  c.Pen()->SetWidth(3);
  c.Pen()->SetColor(clNavy);
  c.Brush()->SetStyle(bsClear);
  c.Rectangle(130, 50, 230, 100);
  c.Pen()->SetWidth(2);
  c.Brush()->SetColor(clLime);
  c.Ellipse(240, 50, 330, 110);
  c.Pen()->SetWidth(1);
  c.Brush()->SetColor(clSilver);
  c.RoundRect(340, 50, 395, 100, 12, 12);
  c.Pen()->SetColor(clMaroon);
  c.MoveTo(10, 120);
  c.LineTo(390, 120);
  c.LineTo(390, 140);
  c.Pen()->SetStyle(psDash);
  c.MoveTo(10, 145);
  c.LineTo(390, 145);
  c.Pen()->SetStyle(psSolid);
  c.Polyline({{10, 150}, {60, 170}, {110, 150}, {160, 170}});
  c.Brush()->SetColor(clFuchsia);
  c.Polygon({{200, 150}, {260, 150}, {230, 180}});
  c.Brush()->SetColor(clGreen);
  c.FrameRect({280, 150, 390, 180});
  c.SetPixel(5, 5, clRed);
  c.SetPixel(6, 5, clRed);
  auto body = Font("Arial", 10);
  c.SetFont(body.get());
  c.Brush()->SetStyle(bsClear);
  c.TextOut(12, 12, "Invoice 2024-0117: Total due 1,234.56");
  auto heading = Font("Times New Roman", 14, {fsBold}, clRed);
  c.SetFont(heading.get());
  c.Brush()->SetColor(clAqua);  // opaque background
  c.TextOut(10, 190, "Heading with background");
  c.Brush()->SetStyle(bsClear);
  auto mono = Font("Courier New", 9, {fsItalic, fsUnderline}, clBlue);
  c.SetFont(mono.get());
  c.TextRect({10, 220, 120, 235}, 10, 220, "Clipped text that runs past its box");
  c.SetClipRect({200, 200, 300, 260});
  c.Brush()->SetColor(clRed);
  c.Ellipse(180, 180, 320, 290);
  c.ClearClipRect();
  c.Brush()->SetColor(clBlue);
  c.FillRect({350, 250, 390, 290});
}

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

QImage Direct(double scale) {
  QImage image = Blank(int(kW * scale), int(kH * scale));
  QPainter painter(&image);
  painter.scale(scale, scale);
  TQtCanvas canvas(&painter, 96);
  DrawScene(canvas);
  return image;
}

TMetafile Recorded() {
  TMetafile page(kW, kH);
  TMetafileCanvas canvas(page);
  DrawScene(canvas);
  canvas.Close();
  return page;
}

QImage Played(const TMetafile& page, double scale, TMetafilePlayStats* stats = nullptr) {
  QImage image = Blank(int(kW * scale), int(kH * scale));
  QPainter painter(&image);
  const TMetafilePlayStats s = PlayMetafile(page, painter, QRectF(0, 0, kW * scale, kH * scale));
  if (stats) *stats = s;
  return image;
}

// Share of pixels whose colour differs by more than tolerance in some channel.
double Differing(const QImage& a, const QImage& b, int tolerance) {
  EXPECT_EQ(a.size(), b.size());
  int64_t differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
          std::abs(qBlue(p) - qBlue(q)) > tolerance)
        ++differing;
    }
  return double(differing) / (a.width() * a.height());
}

TEST(MetafilePlayer, PlayedPageMatchesDirectDrawing) {
  const TMetafile page = Recorded();
  TMetafilePlayStats stats;
  const QImage played = Played(page, 1.0, &stats);
  const QImage direct = Direct(1.0);
  EXPECT_EQ(stats.Skipped, 0u);
  EXPECT_EQ(stats.Malformed, 0u);
  EXPECT_EQ(stats.Records, page.Header().Records);
  // Anti-aliased edges may differ a little; nothing else may.
  EXPECT_LT(Differing(played, direct, 48), 0.002);
  // The scene is really there: not two blank images.
  EXPECT_GT(Differing(direct, Blank(kW, kH), 10), 0.2);
  EXPECT_EQ(played.pixel(5, 5), qRgb(255, 0, 0));
  EXPECT_EQ(played.pixel(370, 270), qRgb(0, 0, 255));
}

TEST(MetafilePlayer, PlaysAtAnyScale) {
  const TMetafile page = Recorded();
  for (double scale : {2.0, 0.5}) {
    const QImage played = Played(page, scale);
    const QImage direct = Direct(scale);
    EXPECT_LT(Differing(played, direct, 64), scale < 1 ? 0.02 : 0.004) << scale;
  }
}

TEST(MetafilePlayer, StretchesOntoAnyTargetAndKeepsThePainterState) {
  const TMetafile page = Recorded();
  QImage image = Blank(1000, 1000);
  QPainter painter(&image);
  painter.translate(100, 50);
  painter.setPen(Qt::green);
  PlayMetafile(page, painter, QRectF(0, 0, 800, 300));  // twice as wide, as high
  EXPECT_EQ(painter.worldTransform(), QTransform::fromTranslate(100, 50));
  EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
  painter.end();
  // The blue square of 350..390 x 250..290 lands at x 700..780, y unchanged.
  EXPECT_EQ(image.pixel(100 + 705, 50 + 252), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(100 + 775, 50 + 288), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(100 + 790, 50 + 270), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(100 + 690, 50 + 270), qRgb(255, 255, 255));
  // Nothing is drawn outside the target.
  EXPECT_EQ(image.pixel(950, 500), qRgb(255, 255, 255));
}

// ---------------------------------------------------------------------------
// Pages from elsewhere: a metafile built record by record.

class TBuilder {
 public:
  TBuilder& Rec(uint32_t type, std::initializer_list<int32_t> values) {
    const size_t start = FBody.size();
    TRecordWriter w(FBody);
    w.U32(type), w.U32(0);
    for (int32_t v : values) w.I32(v);
    PutU32At(FBody, start + 4, static_cast<uint32_t>(FBody.size() - start));
    ++FCount;
    return *this;
  }
  TBuilder& Raw(const std::string& record) {
    FBody += record;
    ++FCount;
    return *this;
  }
  std::string Bytes(int w = 100, int h = 100) {
    std::string body = FBody;
    TRecordWriter(body).U32(EMR_EOF);
    TRecordWriter(body).U32(20), TRecordWriter(body).U32(0), TRecordWriter(body).U32(16), TRecordWriter(body).U32(20);
    const uint32_t total = static_cast<uint32_t>(kHeaderSize + body.size());
    return MakeMetafileHeader(w, h, 96, {0, 0, w - 1, h - 1}, total, FCount + 2, 8) + body;
  }

 private:
  std::string FBody;
  uint32_t FCount = 0;
};

QImage PlayBytes(const std::string& bytes, TMetafilePlayStats* stats = nullptr, int size = 100) {
  QImage image = Blank(size, size);
  QPainter painter(&image);
  const TMetafilePlayStats s = PlayMetafile(bytes, painter, QRectF(0, 0, size, size));
  if (stats) *stats = s;
  return image;
}

TEST(MetafilePlayer, ForeignMappingModesTransformsAndState) {
  TBuilder b;
  b.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x0000FF, 0})  // red
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {int32_t(kStockObject | NULL_PEN)})
      .Rec(EMR_SETMAPMODE, {MM_ANISOTROPIC})
      .Rec(EMR_SETWINDOWEXTEX, {1000, 1000})
      .Rec(EMR_SETVIEWPORTEXTEX, {100, 100})
      .Rec(EMR_SAVEDC, {})
      .Rec(EMR_SETWINDOWORGEX, {-500, 0})  // shifts everything 50 pixels right
      .Rec(EMR_RECTANGLE, {0, 0, 200, 200})
      .Rec(EMR_RESTOREDC, {-1})
      .Rec(EMR_RECTANGLE, {0, 800, 200, 1000})
      .Rec(EMR_SELECTOBJECT, {int32_t(kStockObject | BLACK_BRUSH)});
  // World transform: translate by (70, 70) logical pixels... in page units of 1/10 px.
  std::string xform;
  TRecordWriter w(xform);
  w.U32(EMR_SETWORLDTRANSFORM), w.U32(32);
  w.F32(1), w.F32(0), w.F32(0), w.F32(1), w.F32(700), w.F32(700);
  b.Raw(xform).Rec(EMR_RECTANGLE, {0, 0, 100, 100}).Rec(200, {1, 2, 3});  // and an unknown record
  TMetafilePlayStats stats;
  const QImage image = PlayBytes(b.Bytes(), &stats);
  EXPECT_EQ(stats.Skipped, 1u);
  EXPECT_EQ(stats.Malformed, 0u);
  EXPECT_EQ(image.pixel(55, 5), qRgb(255, 0, 0)) << "rectangle shifted by the window origin";
  EXPECT_EQ(image.pixel(5, 5), qRgb(255, 255, 255)) << "restored: the origin is back";
  EXPECT_EQ(image.pixel(5, 85), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(75, 75), qRgb(0, 0, 0)) << "world transform";
}

// A text record of `chars` at (x, y), and a font record (handle 3) of Arial.
std::string TextRecord(int32_t x, int32_t y, const std::u16string& chars) {
  std::string text;
  TRecordWriter t(text);
  t.U32(EMR_EXTTEXTOUTW), t.U32(0);
  t.I32(0), t.I32(0), t.I32(-1), t.I32(-1), t.U32(GM_COMPATIBLE), t.F32(0), t.F32(0);
  t.I32(x), t.I32(y), t.U32(uint32_t(chars.size())), t.U32(76), t.U32(0);
  t.I32(0), t.I32(0), t.I32(-1), t.I32(-1), t.U32(0);
  for (char16_t c : chars) t.U16(c);
  if (chars.size() % 2) t.U16(0);
  PutU32At(text, 4, static_cast<uint32_t>(text.size()));
  return text;
}
std::string FontRecord(int32_t height, int32_t weight, int32_t escapement = 0) {
  std::string font;
  TRecordWriter f(font);
  f.U32(EMR_EXTCREATEFONTINDIRECTW), f.U32(104), f.U32(3), f.I32(height);
  f.I32(0), f.I32(escapement), f.I32(0), f.I32(weight), f.Zeros(8);
  for (char16_t c : std::u16string(u"Arial")) f.U16(c);
  f.Zeros(64 - 10);
  return font;
}

TEST(MetafilePlayer, ForeignClippingAndText) {
  TBuilder b;
  b.Rec(EMR_INTERSECTCLIPRECT, {0, 0, 50, 100})
      .Rec(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, 0x00FF00, 0})
      .Rec(EMR_SELECTOBJECT, {2})
      .Rec(EMR_BITBLT, {0, 0, 99, 99, 0, 0, 100, 100, int32_t(PATCOPY), 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0,
                        0, 0, 0, 0, 0})
      .Rec(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
  const QImage image = PlayBytes(b.Bytes());
  EXPECT_EQ(image.pixel(25, 50), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(75, 50), qRgb(255, 255, 255)) << "clipped away";

  // Right-aligned baseline text: its ink ends left of the reference point, above it.
  const std::string text = TextRecord(90, 60, u"WWW");
  const std::string font = FontRecord(-20, 700);
  TBuilder tb;
  tb.Raw(font).Rec(EMR_SELECTOBJECT, {3}).Rec(EMR_SETTEXTALIGN, {TA_RIGHT | TA_BASELINE}).Rec(EMR_SETBKMODE, {TRANSPARENT}).Raw(text);
  TMetafilePlayStats stats;
  const QImage written = PlayBytes(tb.Bytes(), &stats);
  EXPECT_EQ(stats.Malformed, 0u);
  int inkLeft = 100, inkRight = -1, inkTop = 100, inkBottom = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if (qGray(written.pixel(x, y)) < 128) {
        inkLeft = std::min(inkLeft, x), inkRight = std::max(inkRight, x);
        inkTop = std::min(inkTop, y), inkBottom = std::max(inkBottom, y);
      }
  EXPECT_LE(inkRight, 90);
  EXPECT_GE(inkRight, 84);
  EXPECT_LE(inkBottom, 60);
  EXPECT_GE(inkBottom, 56);
  EXPECT_LT(inkLeft, 60) << "three bold capitals are wide";
  EXPECT_GT(inkBottom - inkTop, 10);
}

TEST(MetafilePlayer, DamagedRecordsAreSkippedNotFollowed) {
  TBuilder b;
  b.Rec(EMR_POLYLINE16, {0, 0, 10, 10, 1000000000, 0, 0})   // claims a billion points
      .Rec(EMR_POLYPOLYGON16, {0, 0, 10, 10, -1, 5, 1})      // a huge polygon count
      .Rec(EMR_SELECTOBJECT, {60000})                         // no such object
      .Rec(EMR_RESTOREDC, {-5})                               // nothing saved
      .Rec(EMR_EXTSELECTCLIPRGN, {64, RGN_AND, 32, 1, 100000, 0})  // region data beyond the record
      .Rec(EMR_SETWINDOWEXTEX, {0, 0})                        // division by zero
      .Rec(EMR_RECTANGLE, {1})                                // too short
      .Rec(EMR_EXTTEXTOUTW, {0, 0, 0, 0, 1, 0, 0, 5, 5, 1000, 99999, 0, 0, 0, 0, 0, 0});  // text beyond the record
  std::string blit(100, '\0');
  PutU32At(blit, 0, EMR_STRETCHDIBITS);
  PutU32At(blit, 4, 100);
  PutU32At(blit, 48, 80), PutU32At(blit, 52, 40), PutU32At(blit, 56, 120), PutU32At(blit, 60, 4000);  // bitmap outside
  PutU32At(blit, 72, 10), PutU32At(blit, 76, 10);
  b.Raw(blit);
  TMetafilePlayStats stats;
  const QImage image = PlayBytes(b.Bytes(), &stats);
  EXPECT_EQ(stats.Malformed, 9u);
  EXPECT_EQ(image, Blank(100, 100));
  // Bytes that are not a metafile at all are refused before playing.
  QImage target = Blank(10, 10);
  QPainter painter(&target);
  EXPECT_THROW(PlayMetafile(std::string_view("not a metafile"), painter, QRectF(0, 0, 10, 10)), EInvalidMetafile);
}

TEST(MetafilePlayer, ThousandsOfMutatedPagesPlayWithoutHarm) {
  const TMetafile page = Recorded();
  const std::string original = page.Data();
  std::mt19937 rng(424242);
  QImage image = Blank(80, 60);
  int played = 0, refused = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string bytes = original;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) {
      // Past the header, so most mutations reach the drawing code.
      const size_t at = kHeaderSize + rng() % (bytes.size() - kHeaderSize);
      if (rng() % 2)
        bytes[at] = static_cast<char>(rng());
      else if (at + 4 <= bytes.size())
        PutU32At(bytes, at & ~size_t(3), static_cast<uint32_t>(rng() % 3 == 0 ? 0x7FFFFFFF : rng()));
    }
    QPainter painter(&image);
    try {
      PlayMetafile(bytes, painter, QRectF(0, 0, 80, 60));
      ++played;
    } catch (const EInvalidMetafile&) {
      ++refused;
    }
  }
  EXPECT_GT(played, 1000);
  EXPECT_GT(refused, 100);
}

// Hostile pages that once took seconds to play: a clip region of many overlapping
// rectangles, and one path of thousands of self-crossing points. Both must give the
// picture the records describe.
std::string ClipRegionRecord(const std::vector<QRect>& rects) {
  std::string record;
  TRecordWriter w(record);
  const uint32_t data = static_cast<uint32_t>(32 + 16 * rects.size());
  w.U32(EMR_EXTSELECTCLIPRGN), w.U32(16 + data), w.U32(data), w.U32(RGN_COPY);
  w.U32(32), w.U32(1), w.U32(static_cast<uint32_t>(rects.size())), w.U32(static_cast<uint32_t>(16 * rects.size()));
  w.I32(0), w.I32(0), w.I32(100), w.I32(100);
  for (const QRect& r : rects) w.I32(r.left()), w.I32(r.top()), w.I32(r.right() + 1), w.I32(r.bottom() + 1);
  return record;
}

QImage FilledThroughClip(const std::vector<QRect>& rects) {
  TBuilder b;
  b.Raw(ClipRegionRecord(rects))
      .Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x00FF00, 0})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {int32_t(kStockObject | NULL_PEN)})
      .Rec(EMR_RECTANGLE, {0, 0, 101, 101});
  TMetafilePlayStats stats;
  const QImage image = PlayBytes(b.Bytes(), &stats);
  EXPECT_EQ(stats.Malformed, 0u);
  return image;
}

TEST(MetafilePlayer, OverlappingClipRectanglesClipToTheirUnion) {
  // Two clusters of overlapping squares with a gap between them.
  std::vector<QRect> rects;
  for (int i = 0; i < 150; ++i) {
    rects.emplace_back(5 + i % 10, 5 + (i * 7) % 20, 10, 10);
    rects.emplace_back(60 + i % 10, 60 + (i * 7) % 20, 10, 10);
  }
  const QImage image = FilledThroughClip(rects);
  EXPECT_EQ(image.pixel(10, 10), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(70, 70), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(40, 40), qRgb(255, 255, 255)) << "the gap between the clusters";
  EXPECT_EQ(image.pixel(90, 10), qRgb(255, 255, 255));
  // Right and bottom edges are outside: squares at 5..14 + 9 end before 24.
  EXPECT_EQ(image.pixel(23, 10), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(24, 10), qRgb(255, 255, 255));

  // Thousands of them: no more than their bounding rectangle is drawn into.
  std::vector<QRect> many;
  for (int i = 0; i < 1500; ++i) many.emplace_back((i * 17) % 40, (i * 31) % 40, 8, 8);
  const QImage bounded = FilledThroughClip(many);
  EXPECT_EQ(bounded.pixel(20, 20), qRgb(0, 255, 0));
  EXPECT_EQ(bounded.pixel(70, 70), qRgb(255, 255, 255));
  EXPECT_EQ(bounded.pixel(20, 70), qRgb(255, 255, 255));
}

TEST(MetafilePlayer, AFilledPathOfThousandsOfCrossingPointsIsDrawn) {
  // A star of 5,000 points, each joined to the one almost opposite: every edge crosses
  // nearly every other. Odd-even filling leaves the centre's cell as the star's parity says.
  constexpr int kPoints = 5000;
  std::string polygon;
  TRecordWriter w(polygon);
  w.U32(EMR_POLYGON16), w.U32(0), w.I32(0), w.I32(0), w.I32(100), w.I32(100), w.U32(kPoints);
  for (int i = 0; i < kPoints; ++i) {
    const double angle = 2 * M_PI * (static_cast<double>(i) * 2499 / kPoints);
    w.U16(static_cast<uint16_t>(std::lround(50 + 45 * std::cos(angle))));
    w.U16(static_cast<uint16_t>(std::lround(50 + 45 * std::sin(angle))));
  }
  PutU32At(polygon, 4, static_cast<uint32_t>(polygon.size()));
  TBuilder b;
  b.Rec(EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, 0x0000FF, 0})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {int32_t(kStockObject | NULL_PEN)})
      .Rec(EMR_SETPOLYFILLMODE, {WINDING})
      .Rec(EMR_BEGINPATH, {})
      .Raw(polygon)
      .Rec(EMR_ENDPATH, {})
      .Rec(EMR_FILLPATH, {0, 0, 100, 100});
  TMetafilePlayStats stats;
  const QImage image = PlayBytes(b.Bytes(), &stats, 1000);
  EXPECT_EQ(stats.Malformed, 0u);
  // Winding: inside the rim is filled, the corners are not.
  EXPECT_EQ(image.pixel(500, 300), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(300, 500), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(20, 20), qRgb(255, 255, 255));
}

// Pictures and fine rectangles (barcode bars) recorded and played back: the picture's
// pixels at their place, transparency laid on white, bars at fractional positions
// keeping their widths when played larger, a fractional polygon (chart slices) filled
// at its place with what follows it unmoved.
TEST(MetafilePlayer, RecordedPicturesAndFineRectanglesPlayBack) {
  TPixels pixels;
  pixels.Width = 4, pixels.Height = 2;
  // Top row red, red, blue, blue; bottom row green, green, transparent, transparent.
  pixels.Data = {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF00FF00, 0x00000000, 0x00000000};
  TMetafile page(100, 100);
  {
    TMetafileCanvas canvas(page);
    canvas.Brush()->SetColor(clYellow);
    canvas.FillRect({0, 0, 100, 100});
    canvas.StretchDraw({10, 10, 50, 30}, pixels);
    canvas.Brush()->SetColor(clBlack);
    // Two bars a quarter pixel wide apart: 0.5 px wide each at x 60.25 and 61.0.
    canvas.FillRectsF({{60.25, 40, 60.75, 90}, {61.0, 40, 61.5, 90}, {70, 40, 80.5, 90}});
    canvas.Brush()->SetColor(clBlue);
    canvas.FillPolygonF({{10.5, 60}, {40.25, 60}, {10.5, 95.75}});
    canvas.Brush()->SetColor(clRed);
    canvas.FillRect({85, 5, 95, 15});
    canvas.Close();
  }
  TMetafilePlayStats stats;
  const QImage image = PlayBytes(page.Data(), &stats, 100);
  EXPECT_EQ(stats.Malformed, 0u);
  EXPECT_EQ(stats.Skipped, 0u);
  EXPECT_EQ(image.pixel(15, 14), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(45, 14), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(15, 26), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(45, 26), qRgb(255, 255, 255)) << "transparent picture parts are paper-white";
  EXPECT_EQ(image.pixel(5, 5), qRgb(255, 255, 0));
  EXPECT_EQ(image.pixel(75, 60), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(82, 60), qRgb(255, 255, 0));
  EXPECT_EQ(image.pixel(14, 64), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(36, 90), qRgb(255, 255, 0)) << "beyond the slanted edge";
  EXPECT_EQ(image.pixel(90, 10), qRgb(255, 0, 0)) << "drawing after the polygon is not scaled";
  // Eight times larger the half-pixel bars are four pixels wide, with the gap between.
  QImage large = Blank(800, 800);
  {
    QPainter painter(&large);
    PlayMetafile(page, painter, QRectF(0, 0, 800, 800));
  }
  int dark = 0;
  for (int x = 480; x < 496; ++x) dark += qGray(large.pixel(x, 500)) < 128;
  EXPECT_EQ(dark, 8);
  EXPECT_LT(qGray(large.pixel(483, 500)), 128);
  EXPECT_GT(qGray(large.pixel(487, 500)), 128) << "the gap between the bars";
  EXPECT_LT(qGray(large.pixel(489, 500)), 128);
}

// A bitmap record from a hostile file: sizes the record has no room for, or no player
// could allocate, are refused without reading or allocating.
TEST(MetafilePlayer, BitmapRecordsClaimingMoreThanTheyHoldAreRefused) {
  auto record = [](int32_t width, int32_t height, uint32_t bitsBytes, uint16_t bitCount) {
    std::string r(kSizeStretchDibFixed + kBitmapInfoHeaderSize + 64, '\0');
    PutU32At(r, 0, EMR_STRETCHDIBITS);
    PutU32At(r, 4, static_cast<uint32_t>(r.size()));
    PutU32At(r, 48, kSizeStretchDibFixed), PutU32At(r, 52, kBitmapInfoHeaderSize);
    PutU32At(r, 56, kSizeStretchDibFixed + kBitmapInfoHeaderSize), PutU32At(r, 60, bitsBytes);
    PutU32At(r, 68, SRCCOPY), PutU32At(r, 72, 50), PutU32At(r, 76, 50);
    PutU32At(r, 80, kBitmapInfoHeaderSize), PutU32At(r, 84, static_cast<uint32_t>(width));
    PutU32At(r, 88, static_cast<uint32_t>(height));
    PutU32At(r, 92, 1u | uint32_t(bitCount) << 16);
    return r;
  };
  TBuilder b;
  b.Raw(record(1000000, 1000000, 64, 24));   // a trillion pixels in 64 bytes
  b.Raw(record(30000, 30000, 64, 24));       // within the side limit, not in the record
  b.Raw(record(4, 4, 0xFFFFFFF0u, 24));      // rows beyond the record
  b.Raw(record(-4, 4, 64, 24));              // negative width
  b.Raw(record(4, 4, 64, 13));               // no such pixel format
  b.Raw(record(4, 4, 64, 24));               // a sound 4 x 4 picture (48 bytes of rows)
  // JPEG bits: the size the JPEG declares is read before anything is decoded.
  auto jpegRecord = [&](int32_t width, int32_t height, const QByteArray& jpeg) {
    std::string r = record(width, height, static_cast<uint32_t>(jpeg.size()), 0);
    r.resize(kSizeStretchDibFixed + kBitmapInfoHeaderSize);
    r.append(jpeg.constData(), size_t(jpeg.size()));
    r.resize((r.size() + 3) / 4 * 4, '\0');
    PutU32At(r, 4, static_cast<uint32_t>(r.size()));
    PutU32At(r, 96, BI_JPEG);
    return r;
  };
  QByteArray jpeg;
  {
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    Blank(4, 4).save(&buffer, "JPEG");
  }
  const qsizetype frame = jpeg.indexOf("\xFF\xC0");
  ASSERT_GT(frame, 0);
  QByteArray huge = jpeg;  // declares 9000 x 9000, past the pixel limit
  huge[frame + 5] = huge[frame + 7] = char(9000 >> 8), huge[frame + 6] = huge[frame + 8] = char(9000 & 0xFF);
  b.Raw(jpegRecord(4, 4, huge));
  b.Raw(jpegRecord(4, 4, QByteArray(64, 'x')));  // no JPEG at all
  b.Raw(jpegRecord(8, 8, jpeg));                  // not the size the header gives
  b.Raw(jpegRecord(4, 4, jpeg));                  // sound
  TMetafilePlayStats stats;
  PlayBytes(b.Bytes(), &stats);
  EXPECT_EQ(stats.Malformed, 8u);
}

// A JPEG picture is recorded as its bytes and played as its pixels; a page written for
// other programs has it as rows of pixels, played alike.
TEST(MetafilePlayer, AJpegPictureIsRecordedAsItsBytesAndWrittenOutAsRows) {
  QImage picture(16, 8, QImage::Format_RGB32);
  picture.fill(Qt::red);
  {
    QPainter painter(&picture);
    painter.fillRect(8, 0, 8, 4, Qt::blue);
    painter.fillRect(0, 4, 16, 4, Qt::green);
  }
  QByteArray jpeg;
  {
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 100);
  }
  const QImage decoded = QImage::fromData(jpeg).convertToFormat(QImage::Format_ARGB32);
  TPixels pixels{decoded.width(), decoded.height(), {}, jpeg.toStdString()};
  for (int y = 0; y < decoded.height(); ++y)
    for (int x = 0; x < decoded.width(); ++x) pixels.Data.push_back(decoded.pixel(x, y));
  TMetafile page(kW, kH);
  {
    TMetafileCanvas canvas(page);
    canvas.StretchDraw({20, 20, 180, 100}, pixels);
    canvas.Close();
  }
  EXPECT_NE(page.Data().find(pixels.Jpeg), std::string::npos);
  TMetafilePlayStats stats;
  const QImage played = Played(page, 1.0, &stats);
  EXPECT_EQ(stats.Malformed, 0u);
  auto near = [&](int x, int y, QRgb colour) {
    const QRgb p = played.pixel(x, y);
    return std::abs(qRed(p) - qRed(colour)) < 40 && std::abs(qGreen(p) - qGreen(colour)) < 40 &&
           std::abs(qBlue(p) - qBlue(colour)) < 40;
  };
  EXPECT_TRUE(near(50, 35, qRgb(255, 0, 0)));
  EXPECT_TRUE(near(150, 35, qRgb(0, 0, 255)));
  EXPECT_TRUE(near(100, 85, qRgb(0, 255, 0)));
  DecodeJpegBitmaps(page);
  EXPECT_EQ(page.Data().find(pixels.Jpeg), std::string::npos);
  EXPECT_EQ(Played(page, 1.0), played);
}


}  // namespace
}  // namespace rpt

namespace rpt {
namespace {

// Found by fuzzing: an ellipse whose pen is far wider than the ellipse (32,000 units
// around a 45 x 30 box) was stroked as an inside-out outline reaching far past the box,
// and took half a minute to play. An outline that wide covers its shape: the shape is
// filled with the pen's colour, inside its box only, played and drawn directly alike.
void DrawWidePenShapes(TCanvas& c) {
  c.Pen()->SetWidth(32000);
  c.Pen()->SetColor(clRed);
  c.Brush()->SetColor(clBlue);
  c.Ellipse(120, 25, 165, 55);
  c.Rectangle(20, 100, 60, 130);
  c.Pen()->SetWidth(12);  // twice the width reaches the smaller side: filled too
  c.RoundRect(200, 100, 260, 120, 8, 8);
}

TEST(MetafilePlayer, APenAsWideAsItsShapeFillsTheShapeAndNoMore) {
  TMetafile page(kW, kH);
  {
    TMetafileCanvas canvas(page);
    DrawWidePenShapes(canvas);
    canvas.Close();
  }
  const auto start = std::chrono::steady_clock::now();
  const QImage played = Played(page, 1.0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
  QImage direct = Blank(kW, kH);
  {
    QPainter painter(&direct);
    TQtCanvas canvas(&painter, 96);
    DrawWidePenShapes(canvas);
  }
  for (const QImage* image : {&played, static_cast<const QImage*>(&direct)}) {
    EXPECT_EQ(image->pixel(142, 40), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(40, 115), qRgb(255, 0, 0));
    EXPECT_EQ(image->pixel(230, 110), qRgb(255, 0, 0));
    for (const QPoint& outside : {QPoint(110, 40), QPoint(142, 70), QPoint(10, 115), QPoint(40, 140),
                                  QPoint(230, 125), QPoint(270, 110)})
      EXPECT_EQ(image->pixel(outside), qRgb(255, 255, 255)) << outside.x() << "," << outside.y();
  }
  EXPECT_LT(Differing(played, direct, 48), 0.002);
}


long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(MetafilePlayer, HugeOrOddlyTurnedTextCostsNoMoreMemoryThanThePage) {
  // Found by fuzzing: a font 1,035 units high turned by 25.5 degrees made the toolkit
  // render one glyph into a 1.5 GB image.
  std::ifstream in(RPT_FRAMEWORK_TEST_DATA "/rotated-text-of-huge-glyphs.emf", std::ios::binary);
  const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(page.size(), 2672u);
  const long before = PeakResidentKilobytes();
  QImage image = Blank(64, 48);
  {
    QPainter painter(&image);
    PlayMetafile(page, painter, QRectF(0, 0, 64, 48));
  }
  EXPECT_LT(PeakResidentKilobytes() - before, 200 * 1024);

  // An escapement of INT32_MIN tenths of a degree (negating it overflowed) on a glyph far
  // larger than the page; and a letter bigger than the largest font made, scaled up to
  // its size: its ink is there.
  for (int32_t escapement : {std::numeric_limits<int32_t>::min(), 0}) {
    SCOPED_TRACE(escapement);
    const std::string text = TextRecord(0, 0, u"W");
    const std::string font = FontRecord(escapement == 0 ? -400 : -4000, 400, escapement);
    TBuilder b;
    b.Raw(font).Rec(EMR_SELECTOBJECT, {3}).Rec(EMR_SETBKMODE, {TRANSPARENT}).Raw(text);
    TMetafilePlayStats stats;
    const long start = PeakResidentKilobytes();
    const QImage played = PlayBytes(b.Bytes(), &stats);
    EXPECT_LT(PeakResidentKilobytes() - start, 200 * 1024);
    EXPECT_EQ(stats.Malformed, 0u);
    int ink = 0;
    for (int y = 0; y < played.height(); ++y)
      for (int x = 0; x < played.width(); ++x) ink += qGray(played.pixel(x, y)) < 128;
    if (escapement == 0) {
      EXPECT_GT(ink, 100) << "the W's strokes cross the page";
    }
  }
}

}  // namespace
}  // namespace rpt
