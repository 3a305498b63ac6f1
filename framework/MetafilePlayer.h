#pragma once
// Plays an Enhanced Metafile onto a QPainter, stretched over a target rectangle: a
// recorded page at any zoom in the preview, on a printer, into a PDF or an image. It
// follows the device-context model of the format (objects, mapping modes, world
// transform, clipping, paths) for the records it knows and skips the rest, so pages
// from other writers play too. Every read is checked against its record; a damaged
// record is skipped, never read beyond.
#include <QPainter>
#include <QRectF>
#include <cstdint>
#include <string_view>

#include "framework/Metafile.h"

namespace rpt {

struct TMetafilePlayStats {
  uint32_t Records = 0;    // records seen, header and end included
  uint32_t Skipped = 0;    // records of types the player does not draw
  uint32_t Malformed = 0;  // records too short for their type, or with bad references
};

// Draws page stretched over target (in the painter's current coordinates); the
// painter's state is left as it was.
TMetafilePlayStats PlayMetafile(const TMetafile& page, QPainter& painter, const QRectF& target);
// The same for the bytes of a metafile from anywhere; fails with EInvalidMetafile when
// they are not one.
TMetafilePlayStats PlayMetafile(std::string_view bytes, QPainter& painter, const QRectF& target);

}  // namespace rpt
