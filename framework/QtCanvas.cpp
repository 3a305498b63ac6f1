#include "framework/QtCanvas.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPolygon>
#include <cmath>

namespace rpt {

QColor ToQColor(TColor color) {
  const uint32_t v = static_cast<uint32_t>(ColorToRGB(color));
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QString ToQString(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QFont ReferenceFont(const TFont& font) {
  QFont f(QString::fromStdString(font.Name()));
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.PointSizeF() * kReferenceDpi / 72.0))));
  const TFontStyles s = font.Style();
  f.setBold(s.Contains(fsBold));
  f.setItalic(s.Contains(fsItalic));
  f.setUnderline(s.Contains(fsUnderline));
  f.setStrikeOut(s.Contains(fsStrikeOut));
  if (font.Pitch() == fpFixed) f.setFixedPitch(true);
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setKerning(true);
  return f;
}

TTextExtentF MeasureText(const TFont& font, std::string_view text, int dpi) {
  const QFont f = ReferenceFont(font);
  const QFontMetricsF m(f);
  const double scale = static_cast<double>(dpi) / kReferenceDpi;
  TTextExtentF e;
  e.Width = m.horizontalAdvance(ToQString(text)) * scale;
  e.Ascent = m.ascent() * scale;
  e.Descent = m.descent() * scale;
  e.Height = e.Ascent + e.Descent;
  return e;
}

namespace {
Qt::PenStyle ToQtPenStyle(TPenStyle s) {
  switch (s) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

Qt::BrushStyle ToQtBrushStyle(TBrushStyle s) {
  switch (s) {
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
  }
}

QPainter::CompositionMode ToComposition(TPenMode mode, bool rasterOps) {
  if (!rasterOps) return QPainter::CompositionMode_SourceOver;
  switch (mode) {
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmNotCopy: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_SourceOver;
  }
}
}  // namespace

TQtCanvas::TQtCanvas(QPainter* painter, int dpi) : FPainter(painter) {
  if (dpi <= 0) dpi = painter && painter->device() ? painter->device()->logicalDpiY() : kScreenPixelsPerInch;
  FDpi = dpi;
  if (FPainter) FPainter->setRenderHint(QPainter::TextAntialiasing, true);
}

TQtCanvas::~TQtCanvas() = default;

void TQtCanvas::UsePen() {
  const TPen* p = Pen();
  QPen pen(ToQColor(p->Color()));
  pen.setStyle(ToQtPenStyle(p->Style()));
  // Width 0 and 1 both draw one device pixel; cosmetic keeps it so under transforms.
  pen.setWidth(std::max(1, p->Width()));
  pen.setCosmetic(p->Width() <= 1);
  pen.setCapStyle(Qt::FlatCap);
  pen.setJoinStyle(Qt::MiterJoin);
  FPainter->setPen(pen);
  const bool raster = FPainter->paintEngine() && FPainter->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  FPainter->setCompositionMode(ToComposition(p->Mode(), raster));
}

void TQtCanvas::UseBrush() {
  const TBrush* b = Brush();
  FPainter->setBrush(QBrush(ToQColor(b->Color()), ToQtBrushStyle(b->Style())));
}

void TQtCanvas::NoPen() { FPainter->setPen(Qt::NoPen); }

void DrawDeviceLine(QPainter& painter, QPointF from, QPointF to, bool thin) {
  if (!thin) {
    painter.drawLine(from + QPointF(0.5, 0.5), to + QPointF(0.5, 0.5));
    return;
  }
  // The painter's thin lines (given a quarter pixel in) include the end with the
  // smaller coordinate along the longer axis and leave out the other, so a line drawn
  // towards smaller coordinates is moved one step back along itself.
  const QPointF d = to - from;
  const double major = std::max(std::abs(d.x()), std::abs(d.y()));
  if (major > 0 && (std::abs(d.x()) >= std::abs(d.y()) ? d.x() < 0 : d.y() < 0)) {
    const QPointF step = -d / major;
    from += step;
    to += step;
  }
  painter.drawLine(from + QPointF(0.25, 0.25), to + QPointF(0.25, 0.25));
}

void TQtCanvas::LineTo(int32_t x, int32_t y) {
  if (!FPainter) return;
  UsePen();
  DrawDeviceLine(*FPainter, QPointF(FPenPos.X, FPenPos.Y), QPointF(x, y), Pen()->Width() <= 1);
  FPenPos = {x, y};
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!FPainter) return;
  UseBrush();
  UsePen();
  const int w = std::max(1, Pen()->Width());
  // The outline lies inside right and bottom, as the device's rectangle does.
  const double inset = w / 2.0;
  if (Pen()->Style() == psClear)
    FPainter->drawRect(QRectF(x1, y1, x2 - x1, y2 - y1));
  else
    FPainter->drawRect(QRectF(x1 + inset, y1 + inset, x2 - x1 - w, y2 - y1 - w));
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!FPainter) return;
  UseBrush();
  UsePen();
  const int w = std::max(1, Pen()->Width());
  const double inset = w / 2.0;
  FPainter->setRenderHint(QPainter::Antialiasing, true);
  FPainter->drawEllipse(QRectF(x1 + inset, y1 + inset, x2 - x1 - w, y2 - y1 - w));
  FPainter->setRenderHint(QPainter::Antialiasing, false);
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t rx, int32_t ry) {
  if (!FPainter) return;
  UseBrush();
  UsePen();
  const int w = std::max(1, Pen()->Width());
  const double inset = w / 2.0;
  FPainter->drawRoundedRect(QRectF(x1 + inset, y1 + inset, x2 - x1 - w, y2 - y1 - w), rx / 2.0, ry / 2.0);
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::FillRect(const TRect& r) {
  if (!FPainter || Brush()->Style() == bsClear) return;
  FPainter->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                     QBrush(ToQColor(Brush()->Color()), ToQtBrushStyle(Brush()->Style())));
}

void TQtCanvas::FrameRect(const TRect& r) {
  if (!FPainter || r.Width() <= 0 || r.Height() <= 0) return;
  const QColor c = ToQColor(Brush()->Color());
  FPainter->fillRect(QRect(r.Left, r.Top, r.Width(), 1), c);
  FPainter->fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), c);
  FPainter->fillRect(QRect(r.Left, r.Top, 1, r.Height()), c);
  FPainter->fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), c);
}

void TQtCanvas::Polyline(const std::vector<TPoint>& points) {
  if (!FPainter || points.size() < 2) return;
  UsePen();
  QPolygonF poly;
  for (const TPoint& p : points) poly << QPointF(p.X + 0.5, p.Y + 0.5);
  FPainter->drawPolyline(poly);
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Polygon(const std::vector<TPoint>& points) {
  if (!FPainter || points.size() < 2) return;
  UseBrush();
  UsePen();
  QPolygonF poly;
  for (const TPoint& p : points) poly << QPointF(p.X + 0.5, p.Y + 0.5);
  FPainter->drawPolygon(poly);
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
  if (FPainter) FPainter->fillRect(QRect(x, y, 1, 1), ToQColor(color));
}

void TQtCanvas::DrawText(int32_t x, int32_t y, std::string_view text, const TRect* clip) {
  if (!FPainter) return;
  const TTextExtentF e = TextExtentF(text);
  FPainter->save();
  if (clip) FPainter->setClipRect(QRect(clip->Left, clip->Top, clip->Width(), clip->Height()), Qt::IntersectClip);
  if (Brush()->Style() != bsClear) {
    const QRectF cell(x, y, e.Width, e.Height);
    FPainter->fillRect(clip ? QRectF(clip->Left, clip->Top, clip->Width(), clip->Height()) : cell,
                       ToQColor(Brush()->Color()));
  }
  // Drawn with the reference font scaled down, so the glyphs advance exactly as measured.
  const double scale = static_cast<double>(FDpi) / kReferenceDpi;
  FPainter->translate(x, y);
  FPainter->scale(scale, scale);
  FPainter->setFont(ReferenceFont(*Font()));
  FPainter->setPen(ToQColor(Font()->Color()));
  const QFontMetricsF m(FPainter->font());
  FPainter->drawText(QPointF(0, m.ascent()), ToQString(text));
  FPainter->restore();
}

void TQtCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
  DrawText(x, y, text, nullptr);
  FPenPos = {x + TextExtent(text).cx, y};
}

void TQtCanvas::TextRect(const TRect& rect, int32_t x, int32_t y, std::string_view text) {
  DrawText(x, y, text, &rect);
}

TTextExtentF TQtCanvas::TextExtentF(std::string_view text) { return MeasureText(*Font(), text, FDpi); }

TSize TQtCanvas::TextExtent(std::string_view text) {
  const TTextExtentF e = TextExtentF(text);
  return {static_cast<int32_t>(std::lround(e.Width)), static_cast<int32_t>(std::lround(e.Height))};
}

void TQtCanvas::SetClipRect(const TRect& rect) {
  FHasClip = true;
  FClip = rect;
  if (FPainter) FPainter->setClipRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
}

void TQtCanvas::ClearClipRect() {
  FHasClip = false;
  FClip = {};
  if (FPainter) FPainter->setClipping(false);
}

}  // namespace rpt
