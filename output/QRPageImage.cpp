#include "output/QRPageImage.h"

#include <QPainter>
#include <cmath>

#include "framework/MetafilePlayer.h"

namespace rpt {

namespace {
constexpr int kMaxSide = 32768;
}  // namespace

int PageSideAt(int32_t pixels, double pageDpi, double dotsPerInch) {
  if (pageDpi <= 0 || dotsPerInch <= 0 || pixels <= 0) return 0;
  return static_cast<int>(std::lround(pixels * dotsPerInch / pageDpi));
}

QImage RenderPageImage(const TMetafile& page, int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      int64_t(width) * height > kMaxPageImagePixels)
    return {};
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  if (page.Empty()) return image;
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  PlayMetafile(page, painter, QRectF(0, 0, width, height));
  return image;
}

QImage RenderPageImage(const TMetafile& page, double dotsPerInch) {
  return RenderPageImage(page, PageSideAt(page.Width(), page.DpiX(), dotsPerInch),
                         PageSideAt(page.Height(), page.DpiY(), dotsPerInch));
}

}  // namespace rpt
