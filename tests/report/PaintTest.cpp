// The design surface in pictures: margin box, ruler, column ticks, bands with their
// outline and caption, and printables (corner marks, text, shapes), probed pixel by
// pixel at two zooms and in both themes.
#include <cmath>

#include "tests/report/ReportFixture.h"

namespace rpt::test {
namespace {

QColor Rgb(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

// Pixels of exactly one colour along a vertical or horizontal run.
int CountColumn(const QImage& image, int x, int y1, int y2, QColor color) {
  int n = 0;
  for (int y = y1; y < y2; ++y) n += image.pixelColor(x, y) == color;
  return n;
}
int CountRow(const QImage& image, int y, int x1, int x2, QColor color) {
  int n = 0;
  for (int x = x1; x < x2; ++x) n += image.pixelColor(x, y) == color;
  return n;
}

class PaintTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    SetDesignTheme(DesignThemeFor(int64_t(1) << 24));
    Title = AddBand(rbTitle, "Title");
    Detail = AddBand(rbDetail, "Detail");
  }
  void TearDown() override {
    SetDesignTheme(DesignThemeFor(int64_t(1) << 24));
    ReportTest::TearDown();
  }
  // Pixels at zoom z of a length in millimetres.
  static int Px(double mm, int zoom) { return std::lround(mm * 96 / 25.4 * zoom / 100); }

  TQRBand* Title = nullptr;
  TQRBand* Detail = nullptr;
};

TEST_F(PaintTest, MarginBoxRulerAndBandsAtTwoZooms) {
  for (int zoom : {100, 200}) {
    SCOPED_TRACE(zoom);
    Report->SetZoom(zoom);
    const QImage image = PaintSurface(Report);
    ASSERT_EQ(image.width(), Px(210, zoom));
    const int margin = Px(10, zoom);
    const int below = Detail->Top() + Detail->Height() + 20;  // under the bands
    // The margin box: dotted light blue on the left and bottom edges.
    const QColor marginBlue = Rgb(0xFF8080);
    const int leftDots = CountColumn(image, margin, below, image.height() - margin, marginBlue);
    EXPECT_GT(leftDots, (image.height() - margin - below) / 4);
    EXPECT_LT(leftDots, image.height() - margin - below);  // dotted, not solid
    EXPECT_GT(CountRow(image, image.height() - margin - 1, margin, image.width() - margin, marginBlue), 50);
    // Ruler: a major line every centimetre, a minor one at every half.
    const int twoCm = Px(20, zoom), halfCm = Px(5, zoom);
    EXPECT_EQ(image.pixelColor(twoCm, below + 5), Rgb(0xF0F0F0));
    EXPECT_EQ(image.pixelColor(halfCm, below + 5), Rgb(0xF9F9F9));
    // A centimetre label beside its line at the top.
    EXPECT_GT(InkInside(image, {twoCm + 1, 1, twoCm + Px(5, zoom), 12}, 200), 0);
    // The bands: white, outlined with dots, caption at the bottom left.
    const TRect d = Detail->BoundsRect();
    EXPECT_EQ(d.Left, margin);
    const QColor outline = Rgb(0x606060);
    EXPECT_GT(CountRow(image, d.Top, d.Left, d.Right, outline), d.Width() / 4);
    EXPECT_GT(InkInside(image, {d.Left + 1, d.Bottom - 16, d.Left + 40, d.Bottom - 2}, 200), 0);
    EXPECT_EQ(InkInside(image, {d.Left + d.Width() / 2, d.Top + 2, d.Left + d.Width() / 2 + 40, d.Bottom - 2}, 200),
              0);
  }
}

TEST_F(PaintTest, RulerDetailAndThemeFollowZoomAndScreen) {
  Report->SetZoom(50);
  QImage image = PaintSurface(Report);
  const int below = Detail->Top() + Detail->Height() + 20;
  // Below 60 % no minor lines and no labels.
  EXPECT_EQ(image.pixelColor(Px(5, 50), below), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(Px(10, 50), below), Rgb(0xF0F0F0));

  // A 256-colour screen: dashed grey margins, dotted grey ruler, solid band outlines.
  SetDesignTheme(DesignThemeFor(256));
  Report->SetZoom(100);
  image = PaintSurface(Report);
  const int margin = Px(10, 100);
  const int run = image.height() - margin - (Detail->Top() + Detail->Height() + 20);
  const int dashes = CountColumn(image, margin, image.height() - margin - run, image.height() - margin, Rgb(0x808080));
  EXPECT_GT(dashes, run / 3);
  EXPECT_LT(dashes, run);
  const TRect d = Detail->BoundsRect();
  EXPECT_EQ(CountRow(image, d.Top, d.Left, d.Right, Rgb(0x808080)), d.Width());

  // No ruler at all when the page says so.
  Report->Page()->SetRuler(false);
  image = PaintSurface(Report);
  EXPECT_EQ(image.pixelColor(Px(20, 100), Detail->Top() + Detail->Height() + 20), QColor(Qt::white));
}

TEST_F(PaintTest, ColumnTicksStandAboveEachGap) {
  Report->Page()->SetColumns(3);
  Report->Page()->SetValue(pvColumnSpace, 6);
  const QImage image = PaintSurface(Report);
  // In pixels as the surface rounds them: the column width first, then each tick.
  const double ppmm = 96 / 25.4;
  const int top = std::lround(10 * ppmm);
  const double column = std::nearbyint((210 - 20 - 12) * ppmm / 3);
  std::vector<int> expected;
  for (int f = 1; f <= 2; ++f) {
    expected.push_back(std::lround(10 * ppmm + column * f + 6 * ppmm * (f - 1)));
    expected.push_back(std::lround(10 * ppmm + (6 * ppmm + column) * f));
  }
  for (int x : expected) EXPECT_GT(CountColumn(image, x, 0, top, Rgb(0xFF8080)), top / 4) << x;
  // Nothing between the two ticks of a gap.
  EXPECT_EQ(CountColumn(image, (expected[0] + expected[1]) / 2, 0, top, Rgb(0xFF8080)), 0);
}

TEST_F(PaintTest, PrintablesShowCornersTextAndShapes) {
  auto* label = Add<TQRLabel>("Label", Detail);
  label->SetCaption("WWWW");
  label->Size()->SetLeft(5);
  label->Size()->SetTop(1);
  auto* rule = Add<TQRShape>("Rule", Title);
  rule->SetShape(qrsHorLine);
  rule->SetBounds(100, 5, 60, 5);
  auto* box = Add<TQRShape>("Box", Title);
  box->SetBounds(200, 2, 30, 20);
  box->Brush()->SetColor(clRed);
  EXPECT_EQ(rule->Height(), 5);

  for (int zoom : {100, 200}) {
    SCOPED_TRACE(zoom);
    Report->SetZoom(zoom);
    const QImage image = PaintSurface(Report);
    const TPoint at = ClientToScreen(label, {0, 0});
    const TPoint origin = ClientToScreen(Report, {0, 0});
    const TRect r{at.X - origin.X, at.Y - origin.Y, at.X - origin.X + label->Width(), at.Y - origin.Y + label->Height()};
    EXPECT_EQ(image.pixelColor(r.Left, r.Top), QColor(Qt::black));  // a corner mark
    // An element with Highlights rules has an orange corner; one without, none.
    EXPECT_EQ(image.pixelColor(r.Right - 3, r.Top + 2), QColor(Qt::white));
    label->Highlights()->AddRule();
    const QImage marked = PaintSurface(Report);
    label->Highlights()->Clear();
    EXPECT_EQ(marked.pixelColor(r.Right - 3, r.Top + 2), QColor(0xFF, 0x80, 0x00));
    EXPECT_GT(InkInside(image, {r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2}), 10 * zoom / 100);
    // The text's glyphs grow with the zoom as the control does.
    const int ink = InkInside(image, {r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2});
    EXPECT_GT(ink, 0);

    const TPoint ruleAt = ClientToScreen(rule, {0, 0});
    const int rx = ruleAt.X - origin.X + rule->Width() / 2, ry = ruleAt.Y - origin.Y;
    // A horizontal line of a 5-pixel-high shape lies on its row 2 (at 200 %: 10 pixels, row 5).
    const int row = rule->Height() / 2;
    EXPECT_EQ(image.pixelColor(rx, ry + row), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(rx, ry + row - 1), QColor(Qt::white));
    const TPoint boxAt = ClientToScreen(box, {0, 0});
    EXPECT_EQ(image.pixelColor(boxAt.X - origin.X + box->Width() / 2, boxAt.Y - origin.Y + box->Height() / 2),
              QColor(Qt::red));
  }
}

TEST_F(PaintTest, DisabledBandsAreSilverAndTransparentLabelsShowTheBand) {
  Detail->SetEnabled(false);
  Detail->SetColor(clAqua);
  auto* label = Add<TQRLabel>("See", Detail);
  label->SetTransparent(true);
  label->SetCaption("i");
  label->Size()->SetLeft(20);
  label->Size()->SetTop(2);
  const QImage image = PaintSurface(Report);
  const TRect d = Detail->BoundsRect();
  // Most of a row is the band's fill (ruler lines cross it).
  const int row = d.Top + 5;
  EXPECT_GT(CountRow(image, row, d.Left + 1, d.Right - 1, QColor(192, 192, 192)), d.Width() * 3 / 4);
  // Inside the transparent label the silver band shows through.
  const int labelRow = d.Top + label->Top() + label->Height() - 3;
  EXPECT_GT(CountRow(image, labelRow, d.Left + label->Left() + 1, d.Left + label->Left() + label->Width() - 1,
                     QColor(192, 192, 192)),
            0);
  EXPECT_EQ(CountRow(image, labelRow, d.Left + label->Left() + 1, d.Left + label->Left() + label->Width() - 1,
                     QColor(Qt::white)),
            0);
  Detail->SetEnabled(true);
  const QImage enabled = PaintSurface(Report);
  EXPECT_GT(CountRow(enabled, row, d.Left + 1, d.Right - 1, QColor(0, 255, 255)), d.Width() * 3 / 4);
}


TEST_F(PaintTest, FramesOfColouredAndTransparentLabelsAndMemosShowOnTheSurface) {
  auto* label = Add<TQRLabel>("Framed", Detail);
  label->SetCaption("Customer list");
  label->SetColor(clYellow);
  label->Size()->SetLeft(5);
  label->Size()->SetTop(1);
  auto* memo = Add<TQRMemo>("Note", Detail);
  memo->SetBounds(200, 2, 80, 30);
  memo->SetTransparent(true);
  for (TQRPrintable* p : std::initializer_list<TQRPrintable*>{label, memo}) {
    p->Frame()->SetDrawBottom(true);
    p->Frame()->SetDrawLeft(true);
    p->Frame()->SetWidth(2);
  }
  for (int zoom : {100, 200}) {
    SCOPED_TRACE(zoom);
    Report->SetZoom(zoom);
    const QImage image = PaintSurface(Report);
    const TPoint origin = ClientToScreen(Report, {0, 0});
    for (TQRPrintable* p : std::initializer_list<TQRPrintable*>{label, memo}) {
      SCOPED_TRACE(p->Name());
      const TPoint at = ClientToScreen(p, {0, 0});
      const int x = at.X - origin.X, y = at.Y - origin.Y, w = p->Width(), h = p->Height();
      // Two points are about three pixels at 100 %: the bottom and left edges are black
      // past the corner marks, the top and right ones are not.
      EXPECT_EQ(image.pixelColor(x + w / 2, y + h - 2), QColor(Qt::black));
      EXPECT_EQ(image.pixelColor(x + 1, y + h / 2), QColor(Qt::black));
      EXPECT_NE(image.pixelColor(x + w / 2, y + 1), QColor(Qt::black));
      EXPECT_NE(image.pixelColor(x + w - 2, y + h / 2), QColor(Qt::black));
    }
  }
}

}  // namespace
}  // namespace rpt::test
