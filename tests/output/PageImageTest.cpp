// Pages drawn onto pixels: the size follows the resolution, the paper is white and the
// page's drawing lands where it was recorded.
#include <gtest/gtest.h>

#include "output/QRPageImage.h"
#include "tests/output/SampleReport.h"
#include "tests/output/TestPages.h"

namespace rpt::test {
namespace {

int DarkPixels(const QImage& image) {
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++dark;
  return dark;
}

TEST(PageImage, SizeFollowsTheResolution) {
  const TMetafile page = SampleReportPage(1, 1);
  const QImage same = RenderPageImage(page, page.DpiX());
  EXPECT_EQ(same.width(), page.Width());
  EXPECT_EQ(same.height(), page.Height());
  const QImage doubled = RenderPageImage(page, page.DpiX() * 2);
  EXPECT_EQ(doubled.width(), page.Width() * 2);
  EXPECT_EQ(doubled.height(), page.Height() * 2);
  EXPECT_EQ(PageSideAt(794, 96, 48), 397);
}

TEST(PageImage, DrawsTheRecordingOnWhitePaper) {
  const TMetafile page = SampleReportPage(1, 3);
  const QImage image = RenderPageImage(page, 96.0);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
  const int dark = DarkPixels(image);
  EXPECT_GT(dark, 500);
  // Half the resolution keeps the drawing (fewer pixels, still ink).
  const QImage half = RenderPageImage(page, 48.0);
  EXPECT_GT(DarkPixels(half), dark / 8);
}

TEST(PageImage, EmptyOrOversizedRequestsGiveNoImage) {
  const TMetafile page = SampleReportPage(1, 1);
  EXPECT_TRUE(RenderPageImage(page, 0, 10).isNull());
  EXPECT_TRUE(RenderPageImage(page, 10, -1).isNull());
  EXPECT_TRUE(RenderPageImage(page, 100000, 100000).isNull());
  EXPECT_TRUE(RenderPageImage(page, 8193, 8192).isNull()) << "one row past the budget";
  // A page frame of 19,999 pixels square, or A4 at 1,000 dpi, asks too much.
  EXPECT_TRUE(RenderPageImage(TMetafile(19999, 19999), 96.0).isNull());
  EXPECT_TRUE(RenderPageImage(page, 1000.0).isNull());
  EXPECT_TRUE(RenderPageImage(page, 0.0).isNull());
  // A page with no recording is blank paper.
  const QImage blank = RenderPageImage(TMetafile(), 20, 30);
  ASSERT_FALSE(blank.isNull());
  EXPECT_EQ(DarkPixels(blank), 0);
}

}  // namespace
}  // namespace rpt::test
