#pragma once
// A recorded page as a picture: the one drawing of a page onto pixels, shared by the
// preview and the image export so both show a page exactly alike.
#include <QImage>

#include "framework/Metafile.h"

namespace rpt {

// The memory budget of one page picture: 64 million pixels (256 MB), an A4 page at
// about 800 dpi. Larger requests (a damaged page frame, a resolution too fine) are
// refused rather than allocated.
constexpr int64_t kMaxPageImagePixels = int64_t(1) << 26;

// The page played onto a white image of width x height pixels (the page stretched over
// all of it). Sizes below 1 or beyond the budget give a null image.
QImage RenderPageImage(const TMetafile& page, int width, int height);
// The page at a resolution: its size in inches times dotsPerInch, rounded; at the
// page's own resolution (96 for recorded pages) that is the page at 100 %.
QImage RenderPageImage(const TMetafile& page, double dotsPerInch);
// Pixels of a page side of `pixels` reference-device pixels at `pageDpi`, drawn at
// dotsPerInch.
int PageSideAt(int32_t pixels, double pageDpi, double dotsPerInch);

}  // namespace rpt
