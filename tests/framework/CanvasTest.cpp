#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "framework/QtCanvas.h"

namespace rpt {
namespace {

std::unique_ptr<TFont> Arial(int size) {
  auto f = std::make_unique<TFont>();
  f->SetName("Arial");
  f->SetSize(size);
  return f;
}

TEST(TextMeasure, ExtentsScaleExactlyBetweenScreenAndPrintResolution) {
  const std::string text = "The quick brown fox jumps over the lazy dog 0123456789";
  for (int size : {6, 8, 10, 12, 24}) {
    const auto fp = Arial(size);
    const TFont& f = *fp;
    const TTextExtentF screen = MeasureText(f, text, 96);
    const TTextExtentF print = MeasureText(f, text, 600);
    ASSERT_GT(screen.Width, 0);
    // The same layout width at both resolutions (no hinted screen metrics).
    EXPECT_NEAR(screen.Width * 600.0 / 96.0, print.Width, 1e-6) << size;
    EXPECT_NEAR(screen.Height * 600.0 / 96.0, print.Height, 1e-6) << size;
  }
}

TEST(TextMeasure, CanvasesOfDifferentDevicesAgree) {
  QImage screenImage(200, 50, QImage::Format_RGB32);
  QImage printImage(1200, 300, QImage::Format_RGB32);
  QPainter sp(&screenImage), pp(&printImage);
  TQtCanvas screen(&sp, 96), print(&pp, 576);
  const auto fp = Arial(10);
  const TFont& f = *fp;
  screen.SetFont(&f);
  print.SetFont(&f);
  const std::string text = "Total amount due";
  EXPECT_NEAR(screen.TextExtentF(text).Width * 6, print.TextExtentF(text).Width, 1e-6);
  // Wider text measures wider; bold measures wider than regular.
  EXPECT_GT(screen.TextWidth(text + " and more"), screen.TextWidth(text));
  TFont bold;
  bold.AssignFrom(&f);
  bold.SetStyle({fsBold});
  EXPECT_GT(MeasureText(bold, text, 96).Width, MeasureText(f, text, 96).Width);
  // Ten points at 96 dpi: an em of about 13 pixels, so a line of 14 to 17.
  EXPECT_GE(screen.TextHeight("W"), 13);
  EXPECT_LE(screen.TextHeight("W"), 17);
}

int CountColor(const QImage& img, QRgb color, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF);
  return n;
}

TEST(QtCanvas, RectangleFillsInsideAndOutlinesWithinBounds) {
  QImage img(40, 40, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    TQtCanvas c(&p, 96);
    c.Pen()->SetColor(clRed);
    c.Brush()->SetColor(clBlue);
    c.Rectangle(10, 10, 20, 20);
  }
  // The outline stays inside right and bottom: nothing at x = 20 or y = 20.
  EXPECT_EQ(CountColor(img, qRgb(255, 0, 0), QRect(20, 0, 1, 40)), 0);
  EXPECT_EQ(CountColor(img, qRgb(255, 0, 0), QRect(0, 20, 40, 1)), 0);
  EXPECT_EQ(img.pixel(10, 10) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(19, 19) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(img.pixel(15, 15) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
}

TEST(QtCanvas, ThinLinesIncludeTheirStartAndLeaveOutTheirEndInEveryDirection) {
  struct TCase {
    int X0, Y0, X1, Y1;
  };
  const TCase cases[] = {{2, 5, 12, 5},  {12, 5, 2, 5},  {5, 2, 5, 12}, {5, 12, 5, 2},
                         {2, 2, 12, 12}, {12, 12, 2, 2}, {2, 12, 12, 2}, {3, 1, 7, 13}};
  for (TPenStyle style : {psSolid, psDot}) {
    for (const TCase& t : cases) {
      SCOPED_TRACE(testing::Message() << style << ": " << t.X0 << "," << t.Y0 << " -> " << t.X1 << "," << t.Y1);
      QImage img(16, 16, QImage::Format_RGB32);
      img.fill(Qt::white);
      {
        QPainter p(&img);
        TQtCanvas c(&p, 96);
        c.Pen()->SetStyle(style);
        c.MoveTo(t.X0, t.Y0);
        c.LineTo(t.X1, t.Y1);
      }
      EXPECT_EQ(qGray(img.pixel(t.X0, t.Y0)), 0);
      EXPECT_EQ(qGray(img.pixel(t.X1, t.Y1)), 255);
      if (style == psSolid && (t.X0 == t.X1 || t.Y0 == t.Y1)) {
        EXPECT_EQ(CountColor(img, qRgb(0, 0, 0), QRect(0, 0, 16, 16)), 10);
      }
    }
  }
}

TEST(QtCanvas, XorPenDrawnTwiceRestoresTheImage) {
  QImage img(40, 40, QImage::Format_RGB32);
  img.fill(qRgb(200, 100, 50));
  const QImage before = img.copy();
  {
    QPainter p(&img);
    TQtCanvas c(&p, 96);
    c.Pen()->SetMode(pmXor);
    c.Pen()->SetColor(static_cast<TColor>(0x808080));
    c.Pen()->SetWidth(2);
    c.Brush()->SetStyle(bsClear);
    c.Rectangle(5, 5, 30, 30);
  }
  EXPECT_NE(img, before);
  {
    QPainter p(&img);
    TQtCanvas c(&p, 96);
    c.Pen()->SetMode(pmXor);
    c.Pen()->SetColor(static_cast<TColor>(0x808080));
    c.Pen()->SetWidth(2);
    c.Brush()->SetStyle(bsClear);
    c.Rectangle(5, 5, 30, 30);
  }
  EXPECT_EQ(img, before);
}

TEST(QtCanvas, TextRectClipsAndFillsTheRectangle) {
  QImage img(100, 30, QImage::Format_RGB32);
  img.fill(Qt::white);
  {
    QPainter p(&img);
    TQtCanvas c(&p, 96);
    auto f = Arial(12);
    f->SetColor(clBlack);
    c.SetFont(f.get());
    c.Brush()->SetColor(clYellow);
    c.TextRect({0, 0, 30, 30}, 2, 2, "WWWWWWWWWW");
  }
  // Nothing drawn right of the clip rectangle; inside it text and yellow background.
  EXPECT_EQ(CountColor(img, qRgb(255, 255, 255), QRect(30, 0, 70, 30)), 70 * 30);
  EXPECT_GT(CountColor(img, qRgb(255, 255, 0), QRect(0, 0, 30, 30)), 0);
  EXPECT_LT(CountColor(img, qRgb(255, 255, 0), QRect(0, 0, 30, 30)), 30 * 30);
}

}  // namespace
}  // namespace rpt
