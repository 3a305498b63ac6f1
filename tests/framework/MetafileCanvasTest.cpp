#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <map>
#include <set>

#include "framework/Emf.h"
#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "framework/QtCanvas.h"

namespace rpt {
namespace {

using namespace emf;

struct TRecord {
  uint32_t Type;
  std::string Bytes;
  TRecordView View() const { return TRecordView(reinterpret_cast<const unsigned char*>(Bytes.data()), uint32_t(Bytes.size())); }
};

std::vector<TRecord> Records(const TMetafile& page) {
  std::vector<TRecord> out;
  const std::string& d = page.Data();
  for (size_t at = 0; at < d.size();) {
    const uint32_t size = GetU32(reinterpret_cast<const unsigned char*>(d.data()) + at + 4);
    out.push_back({GetU32(reinterpret_cast<const unsigned char*>(d.data()) + at), d.substr(at, size)});
    at += size;
  }
  return out;
}

std::vector<uint32_t> TypesOf(const std::vector<TRecord>& records) {
  std::vector<uint32_t> types;
  for (const TRecord& r : records) types.push_back(r.Type);
  return types;
}

size_t CountOf(const std::vector<TRecord>& records, uint32_t type) {
  size_t n = 0;
  for (const TRecord& r : records) n += r.Type == type;
  return n;
}

std::unique_ptr<TFont> Arial(int size, TFontStyles style = {}) {
  auto f = std::make_unique<TFont>();
  f->SetName("Arial");
  f->SetSize(size);
  f->SetStyle(style);
  return f;
}

TEST(MetafileCanvas, HeaderDescribesTheWholePage) {
  TMetafile page(794, 1123);
  {
    TMetafileCanvas canvas(page);
    canvas.Rectangle(10, 20, 110, 70);
    canvas.MoveTo(5, 5);
    canvas.LineTo(300, 400);
  }
  ASSERT_FALSE(page.Empty());
  const TMetafileHeader& h = page.Header();
  const std::vector<TRecord> records = Records(page);
  EXPECT_EQ(h.Bytes, page.Data().size());
  EXPECT_EQ(h.Records, records.size());
  EXPECT_EQ(records.front().Type, uint32_t(EMR_HEADER));
  EXPECT_EQ(records.back().Type, uint32_t(EMR_EOF));
  EXPECT_EQ(GetU32(reinterpret_cast<const unsigned char*>(page.Data().data()) + 40), 0x464D4520u);
  EXPECT_EQ(page.Data().substr(41, 4), std::string("EMF\0", 4));
  // Frame: the page in hundredths of a millimetre; bounds: what was drawn, inclusive.
  EXPECT_EQ(h.Frame.Right, 21008);  // 794 px at 96 dpi
  EXPECT_EQ(h.Frame.Bottom, 29713);
  EXPECT_EQ(page.Width(), 794);
  EXPECT_EQ(page.Height(), 1123);
  EXPECT_DOUBLE_EQ(page.DpiX(), 96.0);
  EXPECT_LE(h.Bounds.Left, 5);
  EXPECT_LE(h.Bounds.Top, 5);
  EXPECT_GE(h.Bounds.Right, 300);
  EXPECT_GE(h.Bounds.Bottom, 400);
  EXPECT_LT(h.Bounds.Right, 310);
  EXPECT_GE(h.Handles, 2);
}

TEST(MetafileCanvas, PageSizesSurviveTheFrameAtAnyResolution) {
  for (int dpi : {72, 96, 300, 600})
    for (auto [w, h] : {std::pair{794, 1123}, std::pair{1, 1}, std::pair{8268, 11693}, std::pair{3508, 2480}}) {
      TMetafile page(w, h, dpi);
      { TMetafileCanvas canvas(page, dpi); }
      EXPECT_EQ(page.Width(), w) << dpi;
      EXPECT_EQ(page.Height(), h) << dpi;
      EXPECT_NEAR(page.DpiX(), dpi, 1e-9);
    }
}

TEST(MetafileCanvas, ObjectsAreCreatedOnlyWhenTheyChange) {
  TMetafile page(400, 400);
  TMetafileCanvas canvas(page);
  for (int i = 0; i < 10; ++i) canvas.Rectangle(i, i, i + 50, i + 50);
  canvas.Pen()->SetColor(clRed);
  canvas.Rectangle(0, 0, 5, 5);
  canvas.Brush()->SetStyle(bsClear);
  canvas.Rectangle(0, 0, 5, 5);
  canvas.Pen()->SetStyle(psClear);
  canvas.Ellipse(0, 0, 5, 5);
  canvas.Close();
  const std::vector<TRecord> r = Records(page);
  EXPECT_EQ(CountOf(r, EMR_EXTCREATEPEN), 2u);
  EXPECT_EQ(CountOf(r, EMR_CREATEBRUSHINDIRECT), 1u);
  EXPECT_EQ(CountOf(r, EMR_RECTANGLE), 12u);
  // Clear brush and pen are the stock null objects.
  std::set<uint32_t> selected;
  for (const TRecord& rec : r)
    if (rec.Type == EMR_SELECTOBJECT) selected.insert(rec.View().U32(8));
  EXPECT_TRUE(selected.count(kStockObject | NULL_BRUSH));
  EXPECT_TRUE(selected.count(kStockObject | NULL_PEN));
  // Every object is deleted before its slot is used again, and the table stays small.
  std::map<uint32_t, bool> live;
  for (const TRecord& rec : r) {
    const uint32_t ih = rec.View().U32(8);
    if (rec.Type == EMR_EXTCREATEPEN || rec.Type == EMR_CREATEBRUSHINDIRECT || rec.Type == EMR_EXTCREATEFONTINDIRECTW) {
      EXPECT_FALSE(live[ih]) << "handle " << ih << " reused while alive";
      EXPECT_LT(ih, page.Header().Handles);
      live[ih] = true;
    } else if (rec.Type == EMR_DELETEOBJECT) {
      EXPECT_TRUE(live[ih]);
      live[ih] = false;
    }
  }
}

TEST(MetafileCanvas, TextCarriesFontColourAndAdvances) {
  TMetafile page(600, 200);
  TMetafileCanvas canvas(page);
  auto font = Arial(10, {fsBold});
  font->SetColor(clBlue);
  canvas.SetFont(font.get());
  canvas.Brush()->SetStyle(bsClear);
  const std::string text = "Total \xE2\x82\xAC 12";  // with a euro sign
  canvas.TextOut(20, 30, text);
  const TSize extent = canvas.TextExtent(text);
  EXPECT_EQ(canvas.PenPos(), (TPoint{20 + extent.cx, 30}));
  // Measured exactly as the painter back end measures.
  const TTextExtentF direct = MeasureText(*font, text, 96);
  EXPECT_DOUBLE_EQ(canvas.TextExtentF(text).Width, direct.Width);
  canvas.Close();
  const std::vector<TRecord> r = Records(page);
  ASSERT_EQ(CountOf(r, EMR_EXTCREATEFONTINDIRECTW), 1u);
  for (const TRecord& rec : r) {
    const TRecordView v = rec.View();
    if (rec.Type == EMR_EXTCREATEFONTINDIRECTW) {
      EXPECT_EQ(v.I32(12), -13) << "10 points at 96 dpi";
      EXPECT_EQ(v.I32(28), 700);
      std::u16string face;
      for (int i = 0; v.U16(40 + i * 2); ++i) face.push_back(static_cast<char16_t>(v.U16(40 + i * 2)));
      EXPECT_EQ(face, u"Arial");
    } else if (rec.Type == EMR_SETTEXTCOLOR) {
      EXPECT_EQ(v.U32(8), 0xFF0000u);  // blue as 00BBGGRR
    } else if (rec.Type == EMR_SETBKMODE) {
      EXPECT_EQ(v.U32(8), uint32_t(TRANSPARENT));
    } else if (rec.Type == EMR_EXTTEXTOUTW) {
      EXPECT_EQ(v.I32(36), 20);
      EXPECT_EQ(v.I32(40), 30);
      const uint32_t n = v.U32(44);
      ASSERT_EQ(n, 10u);
      std::u16string s;
      for (uint32_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(v.U16(v.U32(48) + i * 2)));
      EXPECT_EQ(s, u"Total \u20AC 12");
      int32_t sum = 0;
      for (uint32_t i = 0; i < n; ++i) {
        const int32_t dx = v.I32(v.U32(72) + i * 4);
        EXPECT_GE(dx, 0);
        sum += dx;
      }
      EXPECT_EQ(sum, extent.cx) << "advances add up to the measured width";
    }
  }
}

TEST(MetafileCanvas, ClippingAndPenPosition) {
  TMetafile page(400, 400);
  TMetafileCanvas canvas(page);
  canvas.SetClipRect({10, 10, 100, 100});
  EXPECT_TRUE(canvas.HasClipRect());
  EXPECT_EQ(canvas.ClipRect(), (TRect{10, 10, 100, 100}));
  canvas.MoveTo(1, 2);
  canvas.LineTo(3, 4);
  canvas.LineTo(5, 6);  // continues from where the last line ended: no move
  canvas.MoveTo(7, 8);
  canvas.LineTo(9, 9);
  canvas.ClearClipRect();
  EXPECT_FALSE(canvas.HasClipRect());
  canvas.Close();
  std::vector<uint32_t> types = TypesOf(Records(page));
  std::vector<uint32_t> drawing;
  for (uint32_t t : types)
    if (t == EMR_EXTSELECTCLIPRGN || t == EMR_INTERSECTCLIPRECT || t == EMR_MOVETOEX || t == EMR_LINETO)
      drawing.push_back(t);
  EXPECT_EQ(drawing, (std::vector<uint32_t>{EMR_EXTSELECTCLIPRGN, EMR_INTERSECTCLIPRECT, EMR_MOVETOEX, EMR_LINETO,
                                           EMR_LINETO, EMR_MOVETOEX, EMR_LINETO, EMR_EXTSELECTCLIPRGN}));
}

TEST(MetafileCanvas, CoordinatesBeyondSixteenBitsUseTheWideRecords) {
  TMetafile page(400, 400);
  TMetafileCanvas canvas(page);
  canvas.Polyline({{0, 0}, {10, 10}});
  canvas.Polyline({{0, 0}, {40000, 10}});
  canvas.Polygon({{0, 0}, {10, 10}, {0, 10}});
  canvas.Close();
  const std::vector<TRecord> r = Records(page);
  EXPECT_EQ(CountOf(r, EMR_POLYLINE16), 1u);
  EXPECT_EQ(CountOf(r, EMR_POLYLINE), 1u);
  EXPECT_EQ(CountOf(r, EMR_POLYGON16), 1u);
}

TEST(MetafileCanvas, DrawingAfterCloseIsIgnoredAndAnEmptyPageIsValid) {
  TMetafile page(100, 50);
  TMetafileCanvas canvas(page);
  canvas.Close();
  const std::string closed = page.Data();
  canvas.Rectangle(0, 0, 10, 10);
  canvas.Close();
  EXPECT_EQ(page.Data(), closed);
  EXPECT_EQ(page.Header().Records, 2u);
  EXPECT_EQ(page.Header().Bounds.Right, -1) << "nothing drawn: empty bounds";
}

// A solid fill of the colour already under it (a label's background on its band's) is
// left out; one over anything drawn since, in another colour, clipped otherwise, outside
// the fill below it or after a raster operation is painted.
TEST(MetafileCanvas, FillsThatCannotChangeAPixelAreLeftOut) {
  TMetafile page(400, 120);
  {
    TMetafileCanvas canvas(page);
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect({0, 0, 300, 20});  // the band
    canvas.FillRect({0, 0, 40, 16});   // left out
    canvas.SetFont(Arial(10).get());
    canvas.Brush()->SetStyle(bsClear);
    canvas.TextOut(0, 2, "WWWWWWWW");  // reaches past x = 60
    canvas.Brush()->SetStyle(bsSolid);
    canvas.FillRect({60, 0, 100, 20});   // over the text: hides it
    canvas.FillRect({200, 0, 240, 16});  // clear of it: left out
    canvas.Brush()->SetColor(clSilver);
    canvas.FillRect({250, 0, 280, 16});  // another colour
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect({250, 2, 260, 12});  // on the grey
    canvas.FillRect({0, 40, 100, 60});   // outside the band: the next fill below
    canvas.FillRect({10, 42, 50, 58});   // left out
    canvas.SetClipRect({0, 0, 80, 120});
    canvas.FillRect({60, 42, 90, 58});  // clipped otherwise than the fill below
    canvas.ClearClipRect();
    canvas.FillRect({0, 80, 100, 100});
    canvas.Pen()->SetMode(pmXor);
    canvas.MoveTo(300, 110);
    canvas.LineTo(390, 110);
    canvas.FillRect({10, 82, 50, 98});  // painting twice is not painting once now
    EXPECT_EQ(canvas.FillsLeftOut(), 3u);
  }
  EXPECT_EQ(CountOf(Records(page), EMR_BITBLT), 8u);
  QImage picture(page.Width(), page.Height(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  {
    QPainter painter(&picture);
    PlayMetafile(page, painter, QRectF(0, 0, page.Width(), page.Height()));
  }
  int ink = 0, hidden = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 60; ++x) ink += qGray(picture.pixel(x, y)) < 128;
    for (int x = 60; x < 100; ++x) hidden += qGray(picture.pixel(x, y)) < 250;
  }
  EXPECT_GT(ink, 20);
  EXPECT_EQ(hidden, 0);
}

}  // namespace
}  // namespace rpt
