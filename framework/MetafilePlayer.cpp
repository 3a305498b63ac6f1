#include "framework/MetafilePlayer.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QImage>
#include <QImageReader>
#include <QPaintEngine>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <memory>
#include <variant>
#include <vector>

#include "framework/Emf.h"
#include "framework/QtCanvas.h"

namespace rpt {

using namespace emf;

namespace {

constexpr size_t kMaxHandles = 65536;
constexpr size_t kMaxSavedStates = 1024;
// Clip regions are combined as paths; past this many elements a region is replaced by
// its bounding rectangle, so a hostile file cannot make clipping unboundedly slow.
constexpr int kMaxClipElements = 4096;
// Paths of more elements are filled and stroked without antialiasing.
constexpr int kMaxSmoothPathElements = 512;
// A clip region's rectangles beyond this many are taken as their bounding rectangle.
constexpr uint64_t kMaxRegionRects = 512;
constexpr size_t kMaxFonts = 64;
// Glyphs larger than this on the device (pixels, either side) are drawn as outlines.
constexpr double kMaxCachedGlyphSide = 1024;
// Fonts are made at most this many pixels high (a 41-point letter at the reference
// resolution) and scaled beyond it: the toolkit renders a glyph of a larger font into an
// image of the font's size whatever the transform (1.5 GB at 39,000 pixels), and its
// metrics overflow further up.
constexpr double kMaxFontPixels = 4096;
// Wider pens than this are damage, not drawing.
constexpr double kMaxPenWidth = 32000;  // the painter refuses 32768 and more

struct TPenObject {
  uint32_t Style = PS_SOLID;
  double Width = 1;
  uint32_t Color = 0;
  bool Cosmetic = true;
};

struct TBrushObject {
  uint32_t Style = BS_SOLID;
  uint32_t Color = 0xFFFFFF;
  uint32_t Hatch = 0;
};

struct TFontObject {
  int32_t Height = -16;
  int32_t Width = 0;
  int32_t Escapement = 0;
  int32_t Weight = FW_NORMAL;
  bool Italic = false, Underline = false, StrikeOut = false;
  uint8_t Pitch = 0;
  QString Face = QStringLiteral("Arial");
};

using TGdiObject = std::variant<std::monostate, TPenObject, TBrushObject, TFontObject>;

struct TDeviceContext {
  TPenObject Pen;
  TBrushObject Brush;
  TFontObject Font;
  uint32_t TextColor = 0;
  uint32_t BkColor = 0xFFFFFF;
  uint32_t BkMode = OPAQUE;
  uint32_t TextAlign = 0;
  uint32_t Rop2 = R2_COPYPEN;
  uint32_t PolyFill = ALTERNATE;
  uint32_t MapMode = MM_TEXT;
  QPointF WindowOrg, ViewportOrg;
  QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
  QTransform World;
  QPointF Current;  // logical
  bool HasClip = false;
  QPainterPath Clip;  // reference-device pixels
};

QColor Color(uint32_t rgb) { return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF); }

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) < 1e12; }

// Whether a glyph cell of these metrics, under the painter's transform, exceeds the
// size the toolkit's glyph images may have. The font's own size counts too: metrics of
// very large fonts are not to be trusted.
bool GlyphsTooLargeToCache(const QFont& font, const QFontMetricsF& m, const QTransform& t) {
  const double side = std::max({m.maxWidth(), m.height(), double(font.pixelSize())});
  const QRectF cell = t.mapRect(QRectF(0, 0, side, side));
  return !(cell.width() <= kMaxCachedGlyphSide && cell.height() <= kMaxCachedGlyphSide);
}

Qt::PenStyle PenStyleOf(uint32_t style) {
  switch (style & PS_STYLE_MASK) {
    case PS_DASH: return Qt::DashLine;
    case PS_DOT: case PS_ALTERNATE: return Qt::DotLine;
    case PS_DASHDOT: return Qt::DashDotLine;
    case PS_DASHDOTDOT: return Qt::DashDotDotLine;
    case PS_NULL: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

Qt::BrushStyle HatchOf(uint32_t hatch) {
  switch (hatch) {
    case HS_HORIZONTAL: return Qt::HorPattern;
    case HS_VERTICAL: return Qt::VerPattern;
    case HS_FDIAGONAL: return Qt::FDiagPattern;
    case HS_BDIAGONAL: return Qt::BDiagPattern;
    case HS_CROSS: return Qt::CrossPattern;
    case HS_DIAGCROSS: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
  }
}

QPainter::CompositionMode CompositionOf(uint32_t rop2) {
  switch (rop2) {
    case R2_XORPEN: return QPainter::RasterOp_SourceXorDestination;
    case R2_NOTXORPEN: return QPainter::RasterOp_NotSourceXorDestination;
    case R2_NOT: return QPainter::RasterOp_NotDestination;
    case R2_MERGEPEN: return QPainter::RasterOp_SourceOrDestination;
    case R2_MASKPEN: return QPainter::RasterOp_SourceAndDestination;
    case R2_NOTCOPYPEN: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

QPainterPath RectPath(const QRectF& r) {
  QPainterPath p;
  p.addRect(r);
  return p;
}

// Beyond any page: "no clipping" as a region, for the set operations.
const QRectF kEverything(-1e7, -1e7, 2e7, 2e7);

class TPlayer {
 public:
  TPlayer(const TMetafile& page, QPainter& painter, const QRectF& target)
      : FPage(page), FPainter(painter), FTarget(target) {}

  TMetafilePlayStats Run();

 private:
  void Play(const TRecordView& r);
  void Malformed() { ++FStats.Malformed; }

  // Coordinates.
  QTransform PageToDevice() const;
  QTransform LogicalToDevice() const { return FDC.World * PageToDevice(); }
  void UseTransform(const QTransform& logicalToDevice);
  double LineWidthScale() const;

  // Drawing state.
  void Prepare();
  void UsePen();
  void UseBrush();
  void NoPen() { FPainter.setPen(Qt::NoPen); }
  void UseRop();
  void EndRop();
  void SetClip(const QPainterPath& region, uint32_t mode);

  // Objects.
  void Select(uint32_t handle);
  void Store(uint32_t index, TGdiObject object);

  // Shapes.
  void Shape(uint32_t type, const QRectF& box, const QSizeF& corner);
  void FillShapeWithPen(uint32_t type, const QRectF& box, const QSizeF& corner);
  void Poly(const TRecordView& r, bool small, uint32_t type);
  void PolyPoly(const TRecordView& r, bool small, bool polygon);
  bool ReadPoints(const TRecordView& r, uint64_t offset, uint64_t count, bool small, std::vector<QPointF>& out);
  void StrokeFill(const QPainterPath& devicePath, bool stroke, bool fill);

  // Paths.
  bool InPath() const { return FInPath; }
  void PathMoveTo(const QPointF& logical);
  void PathLineTo(const QPointF& logical);
  void PathEnsureStart();

  // Text and images.
  void Text(const TRecordView& r);
  void Blit(const TRecordView& r, bool stretch);
  QImage Dib(const TRecordView& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
             std::string_view& jpeg);
  struct TFontEntry {
    QFont Font;
    std::unique_ptr<QFontMetricsF> Metrics;
    std::unique_ptr<TFont> Reference;  // the same font for the shared text measuring
    QRawFont Face;    // made when a glyph sink first needs it
  };
  TFontEntry& FontFor(double pixelSize);
  void TextRuns(const QString& text, const QFont& font, double baseline);
  bool ReferenceRun(TFontEntry& font, const std::string& text, double baseline);

  const TMetafile& FPage;
  QPainter& FPainter;
  QRectF FTarget;
  TMetafilePlayStats FStats;
  QTransform FBase;        // the painter's own transform
  QTransform FFrame;       // reference device -> painter coordinates
  double FDpiX = 96, FDpiY = 96;
  bool FRasterOps = false;
  TGlyphRunSink* FRunSink = nullptr;
  bool FClipDirty = false;
  TDeviceContext FDC;
  std::vector<TDeviceContext> FSaved;
  std::vector<TGdiObject> FObjects;
  bool FInPath = false;
  bool FPathHasFigure = false;
  QPainterPath FPath;  // reference-device pixels
  using TFontKey = std::tuple<QString, int, int32_t, int, uint8_t>;
  std::map<TFontKey, TFontEntry> FFonts;
  std::vector<uint32_t> FGlyphs;
  std::vector<double> FPositions;
};

// ---------------------------------------------------------------------------

TMetafilePlayStats TPlayer::Run() {
  if (FPage.Empty() || FPage.Width() <= 0 || FPage.Height() <= 0 || FTarget.isEmpty()) return FStats;
  FDpiX = FPage.DpiX();
  FDpiY = FPage.DpiY();
  const TMetafileHeader& h = FPage.Header();
  const double left = std::round(h.Frame.Left * FDpiX / 2540.0);
  const double top = std::round(h.Frame.Top * FDpiY / 2540.0);
  FFrame = QTransform::fromTranslate(-left, -top) *
           QTransform::fromScale(FTarget.width() / FPage.Width(), FTarget.height() / FPage.Height()) *
           QTransform::fromTranslate(FTarget.left(), FTarget.top());
  FObjects.resize(std::clamp<size_t>(h.Handles, 1, kMaxHandles));

  FPainter.save();
  FBase = FPainter.worldTransform();
  FRasterOps = FPainter.paintEngine() && FPainter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  FRunSink = dynamic_cast<TGlyphRunSink*>(FPainter.paintEngine());
  FPainter.setClipRect(FTarget, Qt::IntersectClip);
  FPainter.save();
  const std::string& data = FPage.Data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  const size_t total = data.size();
  // The chain was checked when the page took its bytes; the checks here keep the walk
  // safe on their own.
  for (size_t offset = 0; offset + 8 <= total;) {
    const uint32_t size = GetU32(bytes + offset + 4);
    if (size < 8 || size % 4 != 0 || size > total - offset) break;
    const TRecordView r(bytes + offset, size);
    ++FStats.Records;
    if (r.Type() == EMR_EOF) break;
    Play(r);
    offset += size;
  }
  FPainter.restore();
  FPainter.restore();
  return FStats;
}

QTransform TPlayer::PageToDevice() const {
  const TDeviceContext& dc = FDC;
  double sx = 1, sy = 1;
  switch (dc.MapMode) {
    case MM_LOMETRIC: sx = FDpiX / 254.0, sy = -FDpiY / 254.0; break;
    case MM_HIMETRIC: sx = FDpiX / 2540.0, sy = -FDpiY / 2540.0; break;
    case MM_LOENGLISH: sx = FDpiX / 100.0, sy = -FDpiY / 100.0; break;
    case MM_HIENGLISH: sx = FDpiX / 1000.0, sy = -FDpiY / 1000.0; break;
    case MM_TWIPS: sx = FDpiX / 1440.0, sy = -FDpiY / 1440.0; break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
      sx = dc.ViewportExt.width() / dc.WindowExt.width();
      sy = dc.ViewportExt.height() / dc.WindowExt.height();
      if (dc.MapMode == MM_ISOTROPIC) {
        // One unit is as wide as it is high: the smaller scale wins, signs stay.
        const double s = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(s, sx), sy = std::copysign(s, sy);
      }
      break;
    default: break;
  }
  return QTransform::fromTranslate(-dc.WindowOrg.x(), -dc.WindowOrg.y()) * QTransform::fromScale(sx, sy) *
         QTransform::fromTranslate(dc.ViewportOrg.x(), dc.ViewportOrg.y());
}

void TPlayer::UseTransform(const QTransform& logicalToDevice) {
  FPainter.setWorldTransform(logicalToDevice * FFrame * FBase);
}

double TPlayer::LineWidthScale() const {
  const QTransform t = LogicalToDevice();
  return std::sqrt(std::fabs(t.determinant()));
}

void TPlayer::Prepare() {
  if (!FClipDirty) return;
  FClipDirty = false;
  FPainter.restore();
  FPainter.save();
  if (FDC.HasClip) {
    FPainter.setWorldTransform(FFrame * FBase);
    FPainter.setClipPath(FDC.Clip, Qt::IntersectClip);
  }
}

void TPlayer::UsePen() {
  const TPenObject& p = FDC.Pen;
  QPen pen(Color(p.Color));
  pen.setStyle(PenStyleOf(p.Style));
  pen.setWidthF(std::clamp(p.Width, 1.0, kMaxPenWidth));
  pen.setCosmetic(p.Cosmetic);
  if (p.Cosmetic) {
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
  } else {
    const uint32_t cap = p.Style & PS_ENDCAP_MASK, join = p.Style & PS_JOIN_MASK;
    pen.setCapStyle(cap == PS_ENDCAP_FLAT ? Qt::FlatCap : cap == PS_ENDCAP_SQUARE ? Qt::SquareCap : Qt::RoundCap);
    pen.setJoinStyle(join == PS_JOIN_MITER ? Qt::MiterJoin : join == PS_JOIN_BEVEL ? Qt::BevelJoin : Qt::RoundJoin);
  }
  FPainter.setPen(pen);
}

void TPlayer::UseBrush() {
  const TBrushObject& b = FDC.Brush;
  if (b.Style == BS_NULL)
    FPainter.setBrush(Qt::NoBrush);
  else
    FPainter.setBrush(QBrush(Color(b.Color), b.Style == BS_HATCHED ? HatchOf(b.Hatch) : Qt::SolidPattern));
}

void TPlayer::UseRop() { FPainter.setCompositionMode(FRasterOps ? CompositionOf(FDC.Rop2) : QPainter::CompositionMode_SourceOver); }

void TPlayer::EndRop() { FPainter.setCompositionMode(QPainter::CompositionMode_SourceOver); }

// A region's rectangle: right and bottom are outside it; widths that overflow are cut.
QRect RegionRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  const int64_t limit = std::numeric_limits<int32_t>::max();
  return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(std::min(right - left, limit)),
               static_cast<int>(std::min(bottom - top, limit)));
}

void TPlayer::SetClip(const QPainterPath& given, uint32_t mode) {
  // Path arithmetic grows steeply with the elements: a region too complex for it is
  // taken as its bounding rectangle before any is done.
  const QPainterPath region = given.elementCount() > kMaxClipElements ? RectPath(given.boundingRect()) : given;
  if (!FDC.HasClip && (mode == RGN_AND || mode == RGN_COPY)) {
    FDC.Clip = region;
    FDC.HasClip = true;
    FClipDirty = true;
    return;
  }
  const QPainterPath current = FDC.HasClip ? FDC.Clip : RectPath(kEverything);
  QPainterPath result;
  switch (mode) {
    case RGN_AND: result = current.intersected(region); break;
    case RGN_OR: result = current.united(region); break;
    case RGN_XOR: result = current.united(region).subtracted(current.intersected(region)); break;
    case RGN_DIFF: result = current.subtracted(region); break;
    case RGN_COPY: result = region; break;
    default: Malformed(); return;
  }
  if (result.elementCount() > kMaxClipElements) result = RectPath(result.boundingRect());
  FDC.Clip = result;
  FDC.HasClip = true;
  FClipDirty = true;
}

void TPlayer::Store(uint32_t index, TGdiObject object) {
  if (index == 0 || index >= kMaxHandles) return Malformed();
  if (index >= FObjects.size()) FObjects.resize(index + 1);
  FObjects[index] = std::move(object);
}

void TPlayer::Select(uint32_t handle) {
  if (handle & kStockObject) {
    switch (handle & ~kStockObject) {
      case WHITE_BRUSH: case DC_BRUSH: FDC.Brush = {BS_SOLID, 0xFFFFFF, 0}; break;
      case LTGRAY_BRUSH: FDC.Brush = {BS_SOLID, 0xC0C0C0, 0}; break;
      case GRAY_BRUSH: FDC.Brush = {BS_SOLID, 0x808080, 0}; break;
      case DKGRAY_BRUSH: FDC.Brush = {BS_SOLID, 0x404040, 0}; break;
      case BLACK_BRUSH: FDC.Brush = {BS_SOLID, 0, 0}; break;
      case NULL_BRUSH: FDC.Brush = {BS_NULL, 0, 0}; break;
      case WHITE_PEN: FDC.Pen = {PS_SOLID, 1, 0xFFFFFF, true}; break;
      case BLACK_PEN: case DC_PEN: FDC.Pen = {PS_SOLID, 1, 0, true}; break;
      case NULL_PEN: FDC.Pen = {PS_NULL, 1, 0, true}; break;
      case OEM_FIXED_FONT: case ANSI_FIXED_FONT: case SYSTEM_FIXED_FONT:
        FDC.Font = TFontObject();
        FDC.Font.Face = QStringLiteral("Courier New");
        FDC.Font.Pitch = FIXED_PITCH;
        break;
      case ANSI_VAR_FONT: case SYSTEM_FONT: case DEVICE_DEFAULT_FONT: case DEFAULT_GUI_FONT:
        FDC.Font = TFontObject();
        break;
      default: break;  // palettes
    }
    return;
  }
  if (handle >= FObjects.size()) return Malformed();
  std::visit(
      [&](const auto& o) {
        using T = std::decay_t<decltype(o)>;
        if constexpr (std::is_same_v<T, TPenObject>) FDC.Pen = o;
        else if constexpr (std::is_same_v<T, TBrushObject>) FDC.Brush = o;
        else if constexpr (std::is_same_v<T, TFontObject>) FDC.Font = o;
        else Malformed();
      },
      FObjects[handle]);
}

// ---------------------------------------------------------------------------
// Paths

void TPlayer::PathMoveTo(const QPointF& logical) {
  FPath.moveTo(LogicalToDevice().map(logical));
  FPathHasFigure = true;
}

void TPlayer::PathEnsureStart() {
  if (!FPathHasFigure) PathMoveTo(FDC.Current);
}

void TPlayer::PathLineTo(const QPointF& logical) {
  PathEnsureStart();
  FPath.lineTo(LogicalToDevice().map(logical));
}

void TPlayer::StrokeFill(const QPainterPath& devicePath, bool stroke, bool fill) {
  Prepare();
  FPainter.setWorldTransform(FFrame * FBase);
  QPainterPath path = devicePath;
  path.setFillRule(FDC.PolyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  if (fill) UseBrush(); else FPainter.setBrush(Qt::NoBrush);
  if (stroke) {
    UsePen();
    if (!FDC.Pen.Cosmetic) {
      QPen pen = FPainter.pen();
      const double width = FDC.Pen.Width * LineWidthScale();
      pen.setWidthF(Finite(width) ? std::clamp(width, 1.0, kMaxPenWidth) : 1.0);
      FPainter.setPen(pen);
    }
  } else {
    NoPen();
  }
  // Smooth edges cost the rasterizer steeply as edges cross (seconds for a few
  // thousand): a path of many edges is drawn without them.
  FPainter.setRenderHint(QPainter::Antialiasing, path.elementCount() <= kMaxSmoothPathElements);
  UseRop();
  FPainter.drawPath(path);
  EndRop();
  FPainter.setRenderHint(QPainter::Antialiasing, false);
}

// ---------------------------------------------------------------------------
// Shapes, drawn as the painter back end draws them so that played and direct pages match.

// The outline lies inside the shape's box; once it is half as wide as the box's smaller
// side its inner edge has passed the middle and the outline covers the whole shape.
// Stroked as given, the inner rectangle would turn inside out and a wide pen would
// reach far past the box (and keep the rasterizer busy for seconds).
bool OutlineFillsShape(const QRectF& box, double penWidth) {
  return 2 * penWidth >= std::min(std::fabs(box.width()), std::fabs(box.height()));
}

void TPlayer::FillShapeWithPen(uint32_t type, const QRectF& box, const QSizeF& corner) {
  FPainter.setPen(Qt::NoPen);
  FPainter.setBrush(Color(FDC.Pen.Color));
  const QRectF r = box.normalized();
  if (type == EMR_ELLIPSE) {
    FPainter.setRenderHint(QPainter::Antialiasing, true);
    FPainter.drawEllipse(r);
    FPainter.setRenderHint(QPainter::Antialiasing, false);
  } else if (type == EMR_ROUNDRECT) {
    FPainter.drawRoundedRect(r, corner.width() / 2.0, corner.height() / 2.0);
  } else {
    FPainter.drawRect(r);
  }
}

void TPlayer::Shape(uint32_t type, const QRectF& box, const QSizeF& corner) {
  if (InPath()) {
    QPainterPath p;
    if (type == EMR_ELLIPSE) p.addEllipse(box);
    else if (type == EMR_ROUNDRECT) p.addRoundedRect(box, corner.width() / 2, corner.height() / 2);
    else p.addRect(box);
    FPath.addPath(LogicalToDevice().map(p));
    FPathHasFigure = false;
    return;
  }
  Prepare();
  UseTransform(LogicalToDevice());
  UseBrush();
  UsePen();
  UseRop();
  const double w = std::clamp(FDC.Pen.Width, 1.0, kMaxPenWidth);
  const double inset = w / 2.0;
  const QRectF inner(box.left() + inset, box.top() + inset, box.width() - w, box.height() - w);
  const bool noPen = (FDC.Pen.Style & PS_STYLE_MASK) == PS_NULL;
  if (!noPen && OutlineFillsShape(box, w)) {
    FillShapeWithPen(type, box, corner);
    EndRop();
    return;
  }
  switch (type) {
    case EMR_ELLIPSE:
      FPainter.setRenderHint(QPainter::Antialiasing, true);
      FPainter.drawEllipse(inner);
      FPainter.setRenderHint(QPainter::Antialiasing, false);
      break;
    case EMR_ROUNDRECT:
      FPainter.drawRoundedRect(inner, corner.width() / 2.0, corner.height() / 2.0);
      break;
    default:
      FPainter.drawRect(noPen ? box : inner);
      break;
  }
  EndRop();
}

bool TPlayer::ReadPoints(const TRecordView& r, uint64_t offset, uint64_t count, bool small,
                         std::vector<QPointF>& out) {
  const uint64_t each = small ? 4 : 8;
  if (count > r.Size() / each || !r.Fits(offset, count * each)) return false;
  out.clear();
  out.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t at = offset + i * each;
    if (small)
      out.emplace_back(r.I16(at), r.I16(at + 2));
    else
      out.emplace_back(r.I32(at), r.I32(at + 4));
  }
  return true;
}

void TPlayer::Poly(const TRecordView& r, bool small, uint32_t type) {
  std::vector<QPointF> pts;
  if (!ReadPoints(r, 28, r.U32(24), small, pts)) return Malformed();
  const bool bezier = type == EMR_POLYBEZIER || type == EMR_POLYBEZIER16 || type == EMR_POLYBEZIERTO ||
                      type == EMR_POLYBEZIERTO16;
  const bool to = type == EMR_POLYLINETO || type == EMR_POLYLINETO16 || type == EMR_POLYBEZIERTO ||
                  type == EMR_POLYBEZIERTO16;
  const bool polygon = type == EMR_POLYGON || type == EMR_POLYGON16;
  if (pts.empty()) return;
  // Beziers and the "to" forms build a path in logical units.
  if (bezier || to || InPath()) {
    QPainterPath p;
    size_t i = 0;
    if (to) {
      p.moveTo(FDC.Current);
    } else {
      p.moveTo(pts[0]);
      i = 1;
    }
    if (bezier) {
      for (; i + 3 <= pts.size(); i += 3) p.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
    } else {
      for (; i < pts.size(); ++i) p.lineTo(pts[i]);
    }
    if (polygon) p.closeSubpath();
    if (to) FDC.Current = pts.back();
    const QPainterPath device = LogicalToDevice().map(p);
    if (InPath()) {
      if (to && FPathHasFigure) {
        // Continue the open figure rather than start a new one.
        for (int k = 1; k < device.elementCount(); ++k) {
          const QPainterPath::Element e = device.elementAt(k);
          if (e.type == QPainterPath::LineToElement) {
            FPath.lineTo(e.x, e.y);
          } else if (e.type == QPainterPath::CurveToElement && k + 2 < device.elementCount()) {
            const QPainterPath::Element c2 = device.elementAt(k + 1), end = device.elementAt(k + 2);
            FPath.cubicTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y));
            k += 2;
          }
        }
      } else {
        FPath.addPath(device);
        FPathHasFigure = !polygon;
      }
      return;
    }
    StrokeFill(device, true, false);
    return;
  }
  if (pts.size() < 2) return;
  Prepare();
  UseTransform(LogicalToDevice());
  QPolygonF poly;
  for (const QPointF& p : pts) poly << p + QPointF(0.5, 0.5);
  UsePen();
  UseRop();
  if (polygon) {
    UseBrush();
    FPainter.drawPolygon(poly, FDC.PolyFill == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  } else {
    FPainter.drawPolyline(poly);
  }
  EndRop();
}

void TPlayer::PolyPoly(const TRecordView& r, bool small, bool polygon) {
  const uint64_t polys = r.U32(24), total = r.U32(28);
  if (polys > r.Size() / 4 || !r.Fits(32, polys * 4)) return Malformed();
  std::vector<QPointF> pts;
  if (!ReadPoints(r, 32 + polys * 4, total, small, pts)) return Malformed();
  QPainterPath p;
  uint64_t at = 0;
  for (uint64_t i = 0; i < polys; ++i) {
    const uint64_t n = r.U32(32 + i * 4);
    if (n > total - at) return Malformed();
    if (n > 0) {
      p.moveTo(pts[at]);
      for (uint64_t k = 1; k < n; ++k) p.lineTo(pts[at + k]);
      if (polygon) p.closeSubpath();
    }
    at += n;
  }
  const QPainterPath device = LogicalToDevice().map(p);
  if (InPath()) {
    FPath.addPath(device);
    return;
  }
  StrokeFill(device, true, polygon);
}

// ---------------------------------------------------------------------------
// Text

TPlayer::TFontEntry& TPlayer::FontFor(double pixelSize) {
  const TFontObject& f = FDC.Font;
  const int px = std::max(1, static_cast<int>(std::lround(std::min(pixelSize, kMaxFontPixels))));
  const TFontKey key{f.Face, px, f.Weight, (f.Italic ? 1 : 0) | (f.Underline ? 2 : 0) | (f.StrikeOut ? 4 : 0), f.Pitch};
  auto it = FFonts.find(key);
  if (it != FFonts.end()) return it->second;
  if (FFonts.size() >= kMaxFonts) FFonts.clear();
  // The painter back end's reference font, so glyphs advance exactly as they were measured.
  TFont base;
  base.SetName(f.Face.isEmpty() ? std::string("Arial") : f.Face.toStdString());
  TFontStyles styles;
  if (f.Weight >= 600) styles.Include(fsBold);
  if (f.Italic) styles.Include(fsItalic);
  if (f.Underline) styles.Include(fsUnderline);
  if (f.StrikeOut) styles.Include(fsStrikeOut);
  base.SetStyle(styles);
  if (f.Pitch == FIXED_PITCH) base.SetPitch(fpFixed);
  TFontEntry entry;
  entry.Font = ReferenceFont(base);
  entry.Font.setPixelSize(px);
  entry.Reference = std::make_unique<TFont>();
  entry.Reference->AssignFrom(&base);
  entry.Reference->SetPixelsPerInch(kReferenceDpi);
  entry.Reference->SetHeight(-px);
  entry.Metrics = std::make_unique<QFontMetricsF>(entry.Font);
  return FFonts.emplace(key, std::move(entry)).first->second;
}

void TPlayer::Text(const TRecordView& r) {
  const uint32_t count = r.U32(44);
  const uint32_t offString = r.U32(48);
  const uint32_t options = r.U32(52);
  const bool hasRect = !(options & ETO_NO_RECT);
  const uint32_t offDx = r.U32(hasRect ? 72 : 56);
  if (!r.Fits(hasRect ? 76 : 60, 0) || !r.Fits(offString, uint64_t(count) * 2)) return Malformed();
  if (options & ETO_GLYPH_INDEX) {
    ++FStats.Skipped;  // glyph numbers of a font we do not have
    return;
  }
  std::u16string units(count, u'\0');
  for (uint32_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(r.U16(offString + uint64_t(i) * 2));
  const QString text = QString::fromStdU16String(units);
  double dxSum = 0;
  bool hasDx = false;
  const uint64_t dxStep = options & ETO_PDY ? 8 : 4;
  if (offDx != 0 && r.Fits(offDx, uint64_t(count) * dxStep)) {
    hasDx = count > 0;
    for (uint32_t i = 0; i < count; ++i) dxSum += r.I32(offDx + uint64_t(i) * dxStep);
  }
  const QRectF rect(QPointF(r.I32(56), r.I32(60)), QPointF(r.I32(64), r.I32(68)));
  const QPointF reference =
      FDC.TextAlign & TA_UPDATECP ? FDC.Current : QPointF(r.I32(36), r.I32(40));

  const QTransform toDevice = LogicalToDevice();
  const double sx = std::hypot(toDevice.m11(), toDevice.m12());
  const double sy = std::hypot(toDevice.m21(), toDevice.m22());
  if (!(sx > 0) || !(sy > 0) || !Finite(sx) || !Finite(sy)) return Malformed();
  const QPointF anchor = toDevice.map(reference);

  // Character height in reference-device pixels; a positive height is the whole cell.
  const TFontObject& f = FDC.Font;
  double charHeight = f.Height < 0 ? -double(f.Height) : f.Height > 0 ? f.Height / 1.15 : 16.0;
  charHeight *= sy;
  const double points = charHeight * 72.0 / FDpiY;
  const double wantedPixels = std::min(points * kReferenceDpi / 72.0, 1e6);
  TFontEntry& font = FontFor(wantedPixels);
  const QFontMetricsF& m = *font.Metrics;
  // Font pixels to device pixels: reference pixels to device ones, times what a capped
  // font is short of the size asked for.
  const double k = FDpiY / kReferenceDpi * std::max(1.0, wantedPixels / font.Font.pixelSize());
  // A document's text measures through the shared cache: Qt shapes at the reference size
  // by loading outlines, every time.
  const std::string utf8 = FRunSink ? text.toStdString() : std::string();
  const double natural = FRunSink ? ReferenceWidth(*font.Reference, utf8) : m.horizontalAdvance(text);
  double stretch = 1;
  if (f.Width > 0 && f.Height != 0 && natural > 0) {
    // An explicit average width: scale to it, as the device would pick a narrower face.
    const double wanted = f.Width * sx / (m.averageCharWidth() * k);
    if (wanted > 0.1 && wanted < 10) stretch = wanted;
  }
  if (hasDx && natural > 0 && dxSum > 0) {
    // The writer measured with a different font: fit the run to the width it laid out.
    const double ratio = dxSum * sx / (natural * k * stretch);
    if (std::fabs(ratio - 1) > 0.02 && ratio > 0.25 && ratio < 4) stretch *= ratio;
  }
  const double width = natural * k * stretch;
  const double ascent = m.ascent() * k, height = (m.ascent() + m.descent()) * k;

  double x = anchor.x(), top = anchor.y();
  switch (FDC.TextAlign & TA_HORZ_MASK) {
    case TA_RIGHT: x -= width; break;
    case TA_CENTER: x -= width / 2; break;
    default: break;
  }
  switch (FDC.TextAlign & TA_VERT_MASK) {
    case TA_BASELINE: top -= ascent; break;
    case TA_BOTTOM: top -= height; break;
    default: break;
  }
  if (FDC.TextAlign & TA_UPDATECP) FDC.Current = reference + QPointF(width / sx, 0);

  Prepare();
  FPainter.save();
  if ((options & (ETO_OPAQUE | ETO_CLIPPED)) && hasRect) {
    const QPainterPath clip = toDevice.map(RectPath(rect.normalized()));
    FPainter.setWorldTransform(FFrame * FBase);
    if (options & ETO_OPAQUE) FPainter.fillPath(clip, Color(FDC.BkColor));
    if (options & ETO_CLIPPED) FPainter.setClipPath(clip, Qt::IntersectClip);
  }
  QTransform t = QTransform::fromTranslate(anchor.x(), anchor.y());
  if (f.Escapement != 0) t.rotate(-(f.Escapement / 10.0));  // negated as a double: INT32_MIN is legal input
  t.translate(x - anchor.x(), top - anchor.y());
  t.scale(k * stretch, k);
  FPainter.setWorldTransform(t * FFrame * FBase);
  if (FDC.BkMode == OPAQUE)
    FPainter.fillRect(QRectF(0, 0, natural, m.ascent() + m.descent()), Color(FDC.BkColor));
  FPainter.setFont(font.Font);
  FPainter.setPen(Color(FDC.TextColor));
  if (FRunSink) {
    if (!ReferenceRun(font, utf8, m.ascent())) TextRuns(text, font.Font, m.ascent());
  } else if (GlyphsTooLargeToCache(font.Font, m, FPainter.worldTransform())) {
    // The toolkit would render each glyph into one image of its full size on the device;
    // a hostile font size or transform makes that image gigabytes. As outlines, the fill
    // costs no more memory than the device has.
    QPainterPath outlines;
    outlines.addText(QPointF(0, m.ascent()), font.Font, text);
    FPainter.fillPath(outlines, Color(FDC.TextColor));
  } else {
    FPainter.drawText(QPointF(0, m.ascent()), text);
  }
  FPainter.restore();
}

// The characters of text that a run of its layout shows: a layout of several runs (a
// fallback font, a change of direction) does not say which, so each character is asked.
QString RunText(const QTextLayout& layout, const QGlyphRun& run) {
  const QString& text = layout.text();
  QString out;
  for (int i = 0; i < text.size();) {
    const int n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    for (const QGlyphRun& part : layout.glyphRuns(i, n)) {
      if (part.rawFont() == run.rawFont() && part.isRightToLeft() == run.isRightToLeft()) {
        out += text.mid(i, n);
        break;
      }
    }
    i += n;
  }
  return out;
}

// A text of one run in the font's own face as the shared measuring shapes and keeps it
// (most texts of a report); false for others and for decorated fonts, whose lines the
// layout places.
bool TPlayer::ReferenceRun(TFontEntry& font, const std::string& text, double baseline) {
  if (font.Font.underline() || font.Font.strikeOut()) return false;
  if (!ReferenceGlyphs(*font.Reference, text, FGlyphs, FPositions)) return false;
  if (!font.Face.isValid()) font.Face = QRawFont::fromFont(font.Font);
  if (!font.Face.isValid()) return false;
  QList<quint32> indexes(static_cast<qsizetype>(FGlyphs.size()));
  QList<QPointF> positions(static_cast<qsizetype>(FGlyphs.size()));
  for (size_t i = 0; i < FGlyphs.size(); ++i) {
    indexes[qsizetype(i)] = FGlyphs[i];
    positions[qsizetype(i)] = QPointF(FPositions[i], 0);
  }
  QGlyphRun run;
  run.setRawFont(font.Face);
  run.setGlyphIndexes(indexes);
  run.setPositions(positions);
  const QPointF origin(0, baseline);
  FRunSink->NextGlyphRun(run, origin, QString::fromStdString(text));
  FPainter.drawGlyphRun(origin, run);
  return true;
}

// Text for an engine that keeps it as text: laid out as the painter lays out a line, its
// runs handed over with their characters.
void TPlayer::TextRuns(const QString& text, const QFont& font, double baseline) {
  QTextLayout layout(text, font);
  const QTextLine line = LayOutOneLine(layout, FPainter.layoutDirection());
  if (!line.isValid()) return;
  const QPointF origin(0, baseline - line.ascent());
  const QList<QGlyphRun> runs = layout.glyphRuns();
  for (const QGlyphRun& run : runs) {
    FRunSink->NextGlyphRun(run, origin, runs.size() == 1 ? text : RunText(layout, run));
    FPainter.drawGlyphRun(origin, run);
  }
}

// ---------------------------------------------------------------------------
// Images and pattern fills

bool WithinImageLimits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

// A JPEG's pixels when they are of the size its header gives and within the limits; the
// size the JPEG declares is read first, so a hostile one makes no large image.
QImage DecodeJpeg(std::string_view bytes, int width, int height) {
  const QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer;
  buffer.setData(data);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  QImageReader reader(&buffer, "jpeg");
  reader.setDecideFormatFromContent(false);
  reader.setAutoTransform(false);
  const QSize declared = reader.size();
  if (!WithinImageLimits(declared.width(), declared.height()) || declared != QSize(width, height)) return {};
  QImage image;
  if (!reader.read(&image) || image.size() != declared) return {};
  return image;
}

QImage TPlayer::Dib(const TRecordView& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                    std::string_view& jpeg) {
  if (cbBmi < 40 || !r.Fits(offBmi, cbBmi) || !r.Fits(offBits, cbBits)) return {};
  const uint32_t headerSize = r.U32(offBmi);
  const int32_t width = r.I32(offBmi + 4), rawHeight = r.I32(offBmi + 8);
  const uint16_t bits = r.U16(offBmi + 14);
  const uint32_t compression = r.U32(offBmi + 16);
  uint32_t colors = r.U32(offBmi + 32);
  if (headerSize < 40 || headerSize > cbBmi) return {};
  if (rawHeight == INT32_MIN) return {};
  const int height = std::abs(rawHeight);
  if (!WithinImageLimits(width, height)) return {};
  if (compression == BI_JPEG) {
    if (cbBits == 0) return {};
    const std::string_view bytes(reinterpret_cast<const char*>(r.Data() + offBits), cbBits);
    QImage image = DecodeJpeg(bytes, width, height);
    if (!image.isNull()) jpeg = bytes;
    return image;
  }
  if (compression != 0) return {};
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return {};
  if (bits <= 8 && colors == 0) colors = 1u << bits;
  if (bits > 8) colors = 0;
  if (colors > 256 || uint64_t(headerSize) + uint64_t(colors) * 4 > cbBmi) return {};
  const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  if (stride * height > cbBits) return {};
  std::vector<QRgb> palette(colors);
  for (uint32_t i = 0; i < colors; ++i) {
    const uint32_t c = r.U32(offBmi + headerSize + uint64_t(i) * 4);
    palette[i] = qRgb((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
  }
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  const unsigned char* base = r.Data() + offBits;
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = base + stride * (rawHeight > 0 ? height - 1 - y : y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      switch (bits) {
        case 32: case 24: {
          const unsigned char* p = row + x * (bits / 8);
          out[x] = qRgb(p[2], p[1], p[0]);
          break;
        }
        default: {
          const int perByte = 8 / bits;
          const int shift = (perByte - 1 - x % perByte) * bits;
          const unsigned index = (row[x / perByte] >> shift) & ((1u << bits) - 1);
          out[x] = index < colors ? palette[index] : qRgb(0, 0, 0);
          break;
        }
      }
    }
  }
  return image;
}

void TPlayer::Blit(const TRecordView& r, bool stretch) {
  if (r.Size() < (stretch ? 80u : 100u)) return Malformed();
  QRectF dest;
  QRectF source;
  uint32_t rop, offBmi, cbBmi, offBits, cbBits;
  if (stretch) {
    dest = QRectF(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
    source = QRectF(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
    offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
    rop = r.U32(68);
  } else {
    dest = QRectF(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
    rop = r.U32(40);
    source = QRectF(r.I32(44), r.I32(48), dest.width(), dest.height());
    offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
  }
  Prepare();
  UseTransform(LogicalToDevice());
  if (cbBmi == 0) {
    switch (rop) {
      case PATCOPY:
        if (FDC.Brush.Style == BS_NULL) return;
        FPainter.fillRect(dest, QBrush(Color(FDC.Brush.Color),
                                       FDC.Brush.Style == BS_HATCHED ? HatchOf(FDC.Brush.Hatch) : Qt::SolidPattern));
        return;
      case BLACKNESS: FPainter.fillRect(dest, Qt::black); return;
      case WHITENESS: FPainter.fillRect(dest, Qt::white); return;
      default: ++FStats.Skipped; return;
    }
  }
  std::string_view jpeg;
  QImage image = Dib(r, offBmi, cbBmi, offBits, cbBits, jpeg);
  if (image.isNull()) return Malformed();
  if (rop != SRCCOPY) ++FStats.Skipped;  // drawn as a plain copy
  // Source rows count from the bottom of a bottom-up bitmap in the stretched form (a
  // JPEG's rows are from the top).
  if (stretch && jpeg.empty() && r.I32(uint64_t(offBmi) + 8) > 0)
    source.moveTop(image.height() - source.top() - source.height());
  if (!FRunSink || jpeg.empty()) {
    FPainter.drawImage(dest, image, source);
    return;
  }
  // The bytes are the record's: told for this drawing only.
  FRunSink->NextPicture(jpeg);
  FPainter.drawImage(dest, image, source);
  FRunSink->NextPicture({});
}

// ---------------------------------------------------------------------------

void TPlayer::Play(const TRecordView& r) {
  TDeviceContext& dc = FDC;
  const uint32_t type = r.Type();
  // Most records have fixed fields; those too short for them are skipped as damaged.
  auto need = [&](uint32_t size) {
    if (r.Size() >= size) return true;
    Malformed();
    return false;
  };
  switch (type) {
    case EMR_HEADER: break;
    case EMR_GDICOMMENT: {
      TPageAnnotation a;
      const uint32_t length = r.U32(8);
      if (FRunSink && r.Fits(12, length) &&
          DecodeAnnotation(std::string_view(reinterpret_cast<const char*>(r.Data() + 12), length), a)) {
        const QRectF area(QPointF(a.Rect.Left, a.Rect.Top), QPointF(a.Rect.Right, a.Rect.Bottom));
        FRunSink->PageAnnotation(a, (LogicalToDevice() * FFrame * FBase).mapRect(area));
      }
      break;
    }
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
      if (!need(16)) break;
      const QSizeF ext(r.I32(8), r.I32(12));
      if (ext.width() == 0 || ext.height() == 0) return Malformed();
      (type == EMR_SETWINDOWEXTEX ? dc.WindowExt : dc.ViewportExt) = ext;
      break;
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX:
      if (!need(16)) break;
      (type == EMR_SETWINDOWORGEX ? dc.WindowOrg : dc.ViewportOrg) = QPointF(r.I32(8), r.I32(12));
      break;
    case 31:  // EMR_SCALEVIEWPORTEXTEX
    case 32: {  // EMR_SCALEWINDOWEXTEX
      if (!need(24)) break;
      const double xNum = r.I32(8), xDen = r.I32(12), yNum = r.I32(16), yDen = r.I32(20);
      if (xNum == 0 || xDen == 0 || yNum == 0 || yDen == 0) return Malformed();
      QSizeF& ext = type == 31 ? dc.ViewportExt : dc.WindowExt;
      ext = QSizeF(ext.width() * xNum / xDen, ext.height() * yNum / yDen);
      break;
    }
    case EMR_SETMAPMODE: if (need(12)) dc.MapMode = r.U32(8); break;
    case EMR_SETBKMODE: if (need(12)) dc.BkMode = r.U32(8); break;
    case EMR_SETPOLYFILLMODE: if (need(12)) dc.PolyFill = r.U32(8); break;
    case EMR_SETROP2: if (need(12)) dc.Rop2 = r.U32(8); break;
    case EMR_SETTEXTALIGN: if (need(12)) dc.TextAlign = r.U32(8); break;
    case EMR_SETTEXTCOLOR: if (need(12)) dc.TextColor = r.U32(8); break;
    case EMR_SETBKCOLOR: if (need(12)) dc.BkColor = r.U32(8); break;
    case EMR_MOVETOEX:
      if (!need(16)) break;
      dc.Current = QPointF(r.I32(8), r.I32(12));
      if (InPath()) PathMoveTo(dc.Current);
      break;
    case EMR_LINETO: {
      if (!need(16)) break;
      const QPointF to(r.I32(8), r.I32(12));
      if (InPath()) {
        PathLineTo(to);
      } else {
        Prepare();
        UseTransform(LogicalToDevice());
        UsePen();
        UseRop();
        DrawDeviceLine(FPainter, dc.Current, to, FPainter.pen().isCosmetic() || FPainter.pen().widthF() <= 1);
        EndRop();
      }
      dc.Current = to;
      break;
    }
    case EMR_SETPIXELV:
      if (!need(20)) break;
      Prepare();
      UseTransform(LogicalToDevice());
      FPainter.fillRect(QRectF(r.I32(8), r.I32(12), 1, 1), Color(r.U32(16)));
      break;
    case EMR_EXCLUDECLIPRECT:
    case EMR_INTERSECTCLIPRECT: {
      if (!need(24)) break;
      const QRectF rect(QPointF(r.I32(8), r.I32(12)), QPointF(r.I32(16), r.I32(20)));
      SetClip(LogicalToDevice().map(RectPath(rect.normalized())), type == EMR_INTERSECTCLIPRECT ? RGN_AND : RGN_DIFF);
      break;
    }
    case EMR_EXTSELECTCLIPRGN: {
      if (!need(16)) break;
      const uint32_t cb = r.U32(8), mode = r.U32(12);
      if (cb == 0) {
        if (mode == RGN_COPY) {
          dc.HasClip = false;
          dc.Clip = QPainterPath();
          FClipDirty = true;
        } else {
          Malformed();
        }
        break;
      }
      if (cb < 32 || !r.Fits(16, cb)) return Malformed();
      const uint64_t n = r.U32(16 + 8);
      if (n > cb / 16 || 32 + n * 16 > cb) return Malformed();
      // Rectangles are united as a region (banded, no path arithmetic): overlapping
      // rectangles by the thousand would make path simplification take seconds.
      QRegion rects;
      for (uint64_t i = 0; i < n; ++i) {
        const uint64_t at = 16 + 32 + i * 16;
        const QRect rect = RegionRect(r.I32(at), r.I32(at + 4), r.I32(at + 8), r.I32(at + 12));
        if (i >= kMaxRegionRects || uint64_t(rects.rectCount()) > kMaxRegionRects) {
          rects = rects.boundingRect().united(rect);
        } else {
          rects += rect;
        }
      }
      QPainterPath region;
      region.addRegion(rects);
      SetClip(region, mode);
      break;
    }
    case EMR_SAVEDC:
      if (FSaved.size() < kMaxSavedStates) FSaved.push_back(dc);
      else Malformed();
      break;
    case EMR_RESTOREDC: {
      if (!need(12)) break;
      const int32_t relative = r.I32(8);
      if (relative >= 0 || static_cast<uint64_t>(-int64_t(relative)) > FSaved.size()) return Malformed();
      const size_t keep = FSaved.size() - static_cast<size_t>(-int64_t(relative));
      dc = FSaved[keep];
      FSaved.resize(keep);
      FClipDirty = true;
      break;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      if (!need(type == EMR_SETWORLDTRANSFORM ? 32 : 36)) break;
      const double v[6] = {r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
      if (!std::all_of(std::begin(v), std::end(v), Finite)) return Malformed();
      const QTransform x(v[0], v[1], v[2], v[3], v[4], v[5]);
      const uint32_t mode = type == EMR_SETWORLDTRANSFORM ? MWT_SET : r.U32(32);
      switch (mode) {
        case MWT_IDENTITY: dc.World = QTransform(); break;
        case MWT_LEFTMULTIPLY: dc.World = x * dc.World; break;
        case MWT_RIGHTMULTIPLY: dc.World = dc.World * x; break;
        case MWT_SET: dc.World = x; break;
        default: Malformed(); break;
      }
      break;
    }
    case EMR_SELECTOBJECT: if (need(12)) Select(r.U32(8)); break;
    case EMR_DELETEOBJECT:
      if (need(12) && r.U32(8) < FObjects.size()) FObjects[r.U32(8)] = std::monostate();
      break;
    case EMR_CREATEPEN: {
      if (!need(28)) break;
      TPenObject p;
      p.Style = r.U32(12);
      p.Width = std::max(0, r.I32(16));
      p.Color = r.U32(24);
      p.Cosmetic = p.Width <= 1;
      if (!p.Cosmetic) p.Style = (p.Style & PS_STYLE_MASK) | PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND;
      Store(r.U32(8), p);
      break;
    }
    case EMR_EXTCREATEPEN: {
      if (!need(52)) break;
      TPenObject p;
      p.Style = r.U32(28);
      p.Width = r.U32(32) > 0x7FFFFFFF ? 1.0 : double(r.U32(32));
      p.Color = r.U32(40);
      p.Cosmetic = !(p.Style & PS_GEOMETRIC);
      if (r.U32(36) == BS_NULL) p.Style = (p.Style & ~PS_STYLE_MASK) | PS_NULL;
      Store(r.U32(8), p);
      break;
    }
    case EMR_CREATEBRUSHINDIRECT:
      if (!need(24)) break;
      Store(r.U32(8), TBrushObject{r.U32(12), r.U32(16), r.U32(20)});
      break;
    case EMR_EXTCREATEFONTINDIRECTW: {
      if (!need(12 + kLogFontSize)) break;
      TFontObject f;
      f.Height = r.I32(12);
      f.Width = r.I32(16);
      f.Escapement = r.I32(20);
      f.Weight = r.I32(28);
      f.Italic = r.U8(32), f.Underline = r.U8(33), f.StrikeOut = r.U8(34);
      f.Pitch = r.U8(39) & 3;
      std::u16string face;
      for (uint32_t i = 0; i < kFaceNameChars; ++i) {
        const char16_t c = static_cast<char16_t>(r.U16(40 + i * 2));
        if (!c) break;
        face.push_back(c);
      }
      if (!face.empty()) f.Face = QString::fromStdU16String(face);
      if (f.Height == INT32_MIN) f.Height = -16;
      Store(r.U32(8), f);
      break;
    }
    case EMR_RECTANGLE:
    case EMR_ELLIPSE:
      if (!need(24)) break;
      Shape(type, QRectF(QPointF(r.I32(8), r.I32(12)), QPointF(r.I32(16), r.I32(20))), {});
      break;
    case EMR_ROUNDRECT:
      if (!need(32)) break;
      Shape(type, QRectF(QPointF(r.I32(8), r.I32(12)), QPointF(r.I32(16), r.I32(20))), QSizeF(r.I32(24), r.I32(28)));
      break;
    case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIER16: case EMR_POLYBEZIERTO16: case EMR_POLYLINETO16:
      if (need(28)) Poly(r, true, type);
      break;
    case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIER: case EMR_POLYBEZIERTO: case EMR_POLYLINETO:
      if (need(28)) Poly(r, false, type);
      break;
    case EMR_POLYPOLYGON16: case EMR_POLYPOLYLINE16:
      if (need(32)) PolyPoly(r, true, type == EMR_POLYPOLYGON16);
      break;
    case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE:
      if (need(32)) PolyPoly(r, false, type == EMR_POLYPOLYGON);
      break;
    case EMR_BEGINPATH:
      FInPath = true;
      FPathHasFigure = false;
      FPath = QPainterPath();
      break;
    case EMR_ENDPATH: FInPath = false; break;
    case EMR_ABORTPATH:
      FInPath = false;
      FPath = QPainterPath();
      break;
    case EMR_CLOSEFIGURE:
      if (InPath()) {
        FPath.closeSubpath();
        FPathHasFigure = false;
      }
      break;
    case EMR_FILLPATH:
    case EMR_STROKEPATH:
    case EMR_STROKEANDFILLPATH:
      StrokeFill(FPath, type != EMR_FILLPATH, type != EMR_STROKEPATH);
      FPath = QPainterPath();
      break;
    case EMR_SELECTCLIPPATH:
      if (!need(12)) break;
      SetClip(FPath, r.U32(8));
      FPath = QPainterPath();
      break;
    case EMR_BITBLT: Blit(r, false); break;
    case EMR_STRETCHDIBITS: Blit(r, true); break;
    case EMR_EXTTEXTOUTW: Text(r); break;
    default: ++FStats.Skipped; break;
  }
}

}  // namespace

QTextLine LayOutOneLine(QTextLayout& layout, Qt::LayoutDirection direction) {
  QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTextDirection(direction);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) line.setPosition(QPointF(0, 0));
  layout.endLayout();
  return line;
}

void DecodeJpegBitmaps(TMetafile& page) {
  const std::string& data = page.Data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  std::string out;
  size_t copied = 0;  // the bytes before this offset are in out
  for (size_t offset = 0; offset + 8 <= data.size();) {
    const uint32_t size = GetU32(bytes + offset + 4);
    if (size < 8 || size % 4 != 0 || size > data.size() - offset) break;
    const TRecordView r(bytes + offset, size);
    if (r.Type() == EMR_EOF) break;
    const uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60);
    const int32_t rawHeight = r.I32(uint64_t(offBmi) + 8);
    QImage image;
    if (r.Type() == EMR_STRETCHDIBITS && size >= kSizeStretchDibFixed && cbBmi >= kBitmapInfoHeaderSize &&
        r.Fits(offBmi, cbBmi) && r.Fits(offBits, cbBits) && r.U32(uint64_t(offBmi) + 16) == BI_JPEG &&
        cbBits > 0 && rawHeight != INT32_MIN)
      image = DecodeJpeg(std::string_view(reinterpret_cast<const char*>(r.Data() + offBits), cbBits),
                         r.I32(uint64_t(offBmi) + 4), std::abs(rawHeight));
    if (image.isNull()) {
      offset += size;
      continue;
    }
    out.append(data, copied, offset - copied);
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const uint32_t width = uint32_t(rgb.width()), height = uint32_t(rgb.height());
    const uint32_t stride = (width * 3 + 3) / 4 * 4, bitsSize = stride * height;
    std::string record(data, offset, kSizeStretchDibFixed);
    PutU32At(record, 4, kSizeStretchDibFixed + kBitmapInfoHeaderSize + bitsSize);
    // The rows go bottom-up, so the source's rows count from the bottom.
    const int64_t sourceTop = int64_t(height) - r.I32(36) - r.I32(44);
    PutI32At(record, 36, static_cast<int32_t>(std::clamp<int64_t>(sourceTop, INT32_MIN, INT32_MAX)));
    PutU32At(record, 48, kSizeStretchDibFixed), PutU32At(record, 52, kBitmapInfoHeaderSize);
    PutU32At(record, 56, kSizeStretchDibFixed + kBitmapInfoHeaderSize), PutU32At(record, 60, bitsSize);
    TRecordWriter w(record);
    w.U32(kBitmapInfoHeaderSize), w.I32(int32_t(width)), w.I32(int32_t(height));
    w.U16(1), w.U16(24), w.U32(0), w.U32(bitsSize);
    w.I32(0), w.I32(0), w.U32(0), w.U32(0);
    std::string row(stride, '\0');
    for (int y = int(height) - 1; y >= 0; --y) {
      const uchar* in = rgb.constScanLine(y);
      for (uint32_t x = 0; x < width; ++x) {
        row[x * 3] = char(in[x * 3 + 2]);
        row[x * 3 + 1] = char(in[x * 3 + 1]);
        row[x * 3 + 2] = char(in[x * 3]);
      }
      record += row;
    }
    out += record;
    offset += size;
    copied = offset;
  }
  if (out.empty()) return;
  out.append(data, copied, std::string::npos);
  if (out.size() > std::numeric_limits<uint32_t>::max()) return;  // no metafile is that large
  PutU32At(out, kHdrBytes, static_cast<uint32_t>(out.size()));
  page.SetData(std::move(out));
}

TMetafilePlayStats PlayMetafile(const TMetafile& page, QPainter& painter, const QRectF& target) {
  if (!painter.isActive()) return {};
  return TPlayer(page, painter, target).Run();
}

TMetafilePlayStats PlayMetafile(std::string_view bytes, QPainter& painter, const QRectF& target) {
  TMetafile page;
  page.SetData(std::string(bytes));
  return PlayMetafile(page, painter, target);
}

}  // namespace rpt
