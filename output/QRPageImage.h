#pragma once
// A recorded page as a picture: the one drawing of a page onto pixels, shared by the
// preview and the image export so both show a page exactly alike.
#include <QImage>

#include "framework/Metafile.h"

namespace rpt {

// The page played onto a white image of width x height pixels (the page stretched over
// all of it). Sizes below 1 give a null image.
QImage RenderPageImage(const TMetafile& page, int width, int height);
// The page at a resolution: its size in inches times dotsPerInch, rounded; at the
// page's own resolution (96 for recorded pages) that is the page at 100 %.
QImage RenderPageImage(const TMetafile& page, double dotsPerInch);
// Pixels of a page side of `pixels` reference-device pixels at `pageDpi`, drawn at
// dotsPerInch.
int PageSideAt(int32_t pixels, double pageDpi, double dotsPerInch);

}  // namespace rpt
