#pragma once
// Plays an Enhanced Metafile onto a QPainter, stretched over a target rectangle: a
// recorded page at any zoom in the preview, on a printer, into a PDF or an image. It
// follows the device-context model of the format (objects, mapping modes, world
// transform, clipping, paths) for the records it knows and skips the rest, so pages
// from other writers play too. Every read is checked against its record; a damaged
// record is skipped, never read beyond.
#include <QGlyphRun>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <QTextLayout>
#include <cstdint>
#include <string_view>

#include "framework/Metafile.h"

namespace rpt {

// A paint engine that keeps text as text (a document) rather than as pixels implements
// this beside QPaintEngine: the player shapes each text itself and, before it draws a
// glyph run with QPainter::drawGlyphRun, hands the engine the run with the characters it
// shows, which the engine's drawTextItem then draws (the toolkit's text item does not
// give its glyphs away).
class TGlyphRunSink {
 public:
  virtual ~TGlyphRunSink() = default;
  // The run the next drawTextItem draws, at origin in the painter's coordinates.
  virtual void NextGlyphRun(const QGlyphRun& run, const QPointF& origin, const QString& text) = 0;
  // A bookmark or link of the page being played, with its area in device coordinates.
  virtual void PageAnnotation(const TPageAnnotation& /*annotation*/, const QRectF& /*area*/) {}
  // The JPEG the picture of the next drawImage was decoded from (empty: none), valid until
  // that drawImage returns; an engine may keep the bytes rather than the pixels.
  virtual void NextPicture(std::string_view /*jpeg*/) {}
};

// Lays a text out as one line from x = 0, unwrapped, as the painter lays out a line; the
// line is invalid when the text gives none. Engines that keep text as text use it.
QTextLine LayOutOneLine(QTextLayout& layout, Qt::LayoutDirection direction);

struct TMetafilePlayStats {
  uint32_t Records = 0;    // records seen, header and end included
  uint32_t Skipped = 0;    // records of types the player does not draw
  uint32_t Malformed = 0;  // records too short for their type, or with bad references
};

// Turns the page's JPEG bitmaps into rows of 24 bits, as other programs play them on any
// device (JPEG bitmaps play on some printers only): a page written as a file for them.
// Bitmaps that do not decode are left as they are.
void DecodeJpegBitmaps(TMetafile& page);

// Draws page stretched over target (in the painter's current coordinates); the
// painter's state is left as it was.
TMetafilePlayStats PlayMetafile(const TMetafile& page, QPainter& painter, const QRectF& target);
// The same for the bytes of a metafile from anywhere; fails with EInvalidMetafile when
// they are not one.
TMetafilePlayStats PlayMetafile(std::string_view bytes, QPainter& painter, const QRectF& target);

}  // namespace rpt
