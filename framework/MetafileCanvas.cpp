#include "framework/MetafileCanvas.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/Emf.h"
#include "framework/QtCanvas.h"

namespace rpt {

using namespace emf;

namespace {

// Handles: two per kind, so a new object is selected before the old one is deleted.
constexpr uint32_t kPenHandles = 1, kBrushHandles = 3, kFontHandles = 5, kHandleCount = 7;

uint32_t Rgb(TColor color) { return static_cast<uint32_t>(ColorToRGB(color)) & 0x00FFFFFFu; }

uint32_t PenStyleCode(TPenStyle style) {
  switch (style) {
    case psDash: return PS_DASH;
    case psDot: return PS_DOT;
    case psDashDot: return PS_DASHDOT;
    case psDashDotDot: return PS_DASHDOTDOT;
    case psClear: return PS_NULL;
    case psInsideFrame: return PS_INSIDEFRAME;
    default: return PS_SOLID;
  }
}

// The pen modes in declaration order are the binary raster operations 1..16 reordered.
uint32_t Rop2Code(TPenMode mode) {
  static const uint32_t kCodes[] = {R2_BLACK,      R2_WHITE,      R2_NOP,      R2_NOT,        R2_COPYPEN, R2_NOTCOPYPEN,
                                    R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,
                                    R2_NOTMERGEPEN, R2_MASKPEN,    R2_NOTMASKPEN, R2_XORPEN,     R2_NOTXORPEN};
  return mode < std::size(kCodes) ? kCodes[mode] : R2_COPYPEN;
}

bool FitsInt16(const std::vector<TPoint>& points) {
  return std::all_of(points.begin(), points.end(), [](const TPoint& p) {
    return p.X >= INT16_MIN && p.X <= INT16_MAX && p.Y >= INT16_MIN && p.Y <= INT16_MAX;
  });
}

}  // namespace

TMetafileCanvas::TMetafileCanvas(TMetafile& page, int dpi) : FPage(page), FDpi(dpi > 0 ? dpi : kScreenPixelsPerInch) {
  FRecords.reserve(4096);
}

TMetafileCanvas::~TMetafileCanvas() {
  try {
    Close();
  } catch (...) {
  }
}

void TMetafileCanvas::Close() {
  if (FClosed) return;
  FClosed = true;
  SimpleRecord(EMR_EOF, {0, 16, static_cast<int32_t>(kEofSize)});
  const TRect bounds = FBoundsLeft > FBoundsRight
                           ? TRect{0, 0, -1, -1}
                           : TRect{static_cast<int32_t>(FBoundsLeft), static_cast<int32_t>(FBoundsTop),
                                   static_cast<int32_t>(FBoundsRight), static_cast<int32_t>(FBoundsBottom)};
  const uint32_t total = static_cast<uint32_t>(kHeaderSize + FRecords.size());
  std::string bytes = MakeMetafileHeader(FPage.Width(), FPage.Height(), FDpi, bounds, total, FRecordCount + 1,
                                         static_cast<uint16_t>(kHandleCount));
  bytes += FRecords;
  std::string().swap(FRecords);
  FPage.SetData(std::move(bytes));
}

// ---------------------------------------------------------------------------
// Records

size_t TMetafileCanvas::BeginRecord(uint32_t type) {
  const size_t start = FRecords.size();
  TRecordWriter w(FRecords);
  w.U32(type);
  w.U32(0);
  return start;
}

void TMetafileCanvas::EndRecord(size_t start) {
  TRecordWriter(FRecords).PadTo4();
  PutU32At(FRecords, start + 4, static_cast<uint32_t>(FRecords.size() - start));
  ++FRecordCount;
}

void TMetafileCanvas::SimpleRecord(uint32_t type, std::initializer_list<int32_t> values) {
  const size_t start = BeginRecord(type);
  TRecordWriter w(FRecords);
  for (int32_t v : values) w.I32(v);
  EndRecord(start);
}

namespace {
// Widens a box (empty while its left is past its right) to take in another.
void Unite(int64_t& l, int64_t& t, int64_t& r, int64_t& b, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (l > r) {
    l = left, t = top, r = right, b = bottom;
    return;
  }
  l = std::min(l, left);
  t = std::min(t, top);
  r = std::max(r, right);
  b = std::max(b, bottom);
}
}  // namespace

void TMetafileCanvas::Include(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (left > right || top > bottom) return;
  Unite(FBoundsLeft, FBoundsTop, FBoundsRight, FBoundsBottom, left, top, right, bottom);
  Touch(left, top, right, bottom, 0);
}

namespace {
// How far past its recorded bounds a drawing may colour pixels: a pen's half width is in
// the bounds; rounding where a player scales the page is not. Two reference pixels cover
// any output down to 72 dots per inch.
constexpr int64_t kInkMargin = 2;
}  // namespace

void TMetafileCanvas::Touch(int64_t left, int64_t top, int64_t right, int64_t bottom, int64_t margin) {
  if (!FFillBase) return;
  margin += kInkMargin + std::max(1, Pen()->Width());
  Unite(FSinceLeft, FSinceTop, FSinceRight, FSinceBottom, left - margin, top - margin, right + margin, bottom + margin);
}

bool TMetafileCanvas::FillIsCovered(const TRect& r, TColor color) const {
  if (!FFillBase || FRasterOpUsed || FFillBase->Color != color || FFillBase->HasClip != FHasClip ||
      (FHasClip && !(FFillBase->Clip == FClip)))
    return false;
  const TRect& base = FFillBase->Rect;
  if (r.Left < base.Left || r.Top < base.Top || r.Right > base.Right || r.Bottom > base.Bottom) return false;
  if (FSinceLeft > FSinceRight) return true;
  return r.Right - 1 < FSinceLeft || r.Left > FSinceRight || r.Bottom - 1 < FSinceTop || r.Top > FSinceBottom;
}

void TMetafileCanvas::IncludeShape(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Include(std::min(x1, x2), std::min(y1, y2), int64_t(std::max(x1, x2)) - 1, int64_t(std::max(y1, y2)) - 1);
}

uint32_t TMetafileCanvas::NewHandle(uint32_t& current, uint32_t first) {
  const uint32_t handle = current == first ? first + 1 : first;
  return handle;
}

void TMetafileCanvas::Select(uint32_t handle) { SimpleRecord(EMR_SELECTOBJECT, {static_cast<int32_t>(handle)}); }

void TMetafileCanvas::Delete(uint32_t handle) {
  if (handle != 0) SimpleRecord(EMR_DELETEOBJECT, {static_cast<int32_t>(handle)});
}

// ---------------------------------------------------------------------------
// Device-context state

void TMetafileCanvas::UsePen() {
  const TPen* p = Pen();
  const uint32_t rop = Rop2Code(p->Mode());
  if (rop != FRop2) {
    SimpleRecord(EMR_SETROP2, {static_cast<int32_t>(rop)});
    FRop2 = rop;
    if (rop != R2_COPYPEN) FRasterOpUsed = true, FFillBase.reset();
  }
  const TPenState state{static_cast<TColor>(Rgb(p->Color())), p->Style(), p->Width()};
  if (FPenState == state) return;
  FPenState = state;
  if (state.Style == psClear) {
    Select(kStockObject | NULL_PEN);
    Delete(FPenHandle);
    FPenHandle = 0;
    return;
  }
  const uint32_t handle = NewHandle(FPenHandle, kPenHandles);
  // Thin pens are one device pixel at any scale; wide ones end flat and join mitred, as
  // the painter back end draws them.
  const bool wide = state.Width > 1;
  const uint32_t style = PenStyleCode(state.Style) | (wide ? PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER : PS_COSMETIC);
  const size_t start = BeginRecord(EMR_EXTCREATEPEN);
  TRecordWriter w(FRecords);
  w.U32(handle);
  w.U32(kSizeExtCreatePen), w.U32(0), w.U32(kSizeExtCreatePen), w.U32(0);  // no pattern bitmap
  w.U32(style);
  w.U32(static_cast<uint32_t>(std::max(1, state.Width)));
  w.U32(BS_SOLID);
  w.U32(static_cast<uint32_t>(state.Color));
  w.U32(0);  // hatch
  w.U32(0);  // no user style entries
  EndRecord(start);
  Select(handle);
  Delete(FPenHandle);
  FPenHandle = handle;
}

void TMetafileCanvas::UseBrushState(const TBrushState& state) {
  if (FBrushState == state) return;
  FBrushState = state;
  if (state.Style == bsClear) {
    Select(kStockObject | NULL_BRUSH);
    Delete(FBrushHandle);
    FBrushHandle = 0;
    return;
  }
  const uint32_t handle = NewHandle(FBrushHandle, kBrushHandles);
  uint32_t style = BS_SOLID, hatch = 0;
  switch (state.Style) {
    case bsHorizontal: style = BS_HATCHED, hatch = HS_HORIZONTAL; break;
    case bsVertical: style = BS_HATCHED, hatch = HS_VERTICAL; break;
    case bsFDiagonal: style = BS_HATCHED, hatch = HS_FDIAGONAL; break;
    case bsBDiagonal: style = BS_HATCHED, hatch = HS_BDIAGONAL; break;
    case bsCross: style = BS_HATCHED, hatch = HS_CROSS; break;
    case bsDiagCross: style = BS_HATCHED, hatch = HS_DIAGCROSS; break;
    default: break;
  }
  SimpleRecord(EMR_CREATEBRUSHINDIRECT, {static_cast<int32_t>(handle), static_cast<int32_t>(style),
                                         static_cast<int32_t>(state.Color), static_cast<int32_t>(hatch)});
  Select(handle);
  Delete(FBrushHandle);
  FBrushHandle = handle;
}

void TMetafileCanvas::UseBrush() {
  UseBrushState({static_cast<TColor>(Rgb(Brush()->Color())), Brush()->Style()});
}

void TMetafileCanvas::UseFont() {
  const TFont* f = Font();
  if (FFontSelected && FRecordedFont.SameAs(*f) && FRecordedFont.PixelsPerInch() == f->PixelsPerInch()) return;
  FRecordedFont.AssignFrom(f);
  FFontSelected = true;
  // Height in pixels of this device: negative for the character height, positive for the cell.
  const double scale = static_cast<double>(FDpi) / f->PixelsPerInch();
  const int32_t height = static_cast<int32_t>(std::lround(f->Height() * scale));
  const TFontStyles style = f->Style();
  const uint32_t handle = NewHandle(FFontHandle, kFontHandles);
  const size_t start = BeginRecord(EMR_EXTCREATEFONTINDIRECTW);
  TRecordWriter w(FRecords);
  w.U32(handle);
  w.I32(height != 0 ? height : -1);
  w.I32(0), w.I32(0), w.I32(0);  // width, escapement, orientation
  w.I32(style.Contains(fsBold) ? FW_BOLD : FW_NORMAL);
  w.U8(style.Contains(fsItalic)), w.U8(style.Contains(fsUnderline)), w.U8(style.Contains(fsStrikeOut));
  w.U8(static_cast<uint8_t>(f->Charset()));
  w.U8(0), w.U8(0), w.U8(0);  // precision and quality: the defaults
  w.U8(f->Pitch() == fpFixed ? FIXED_PITCH : f->Pitch() == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH);
  const std::u16string face = ToQString(f->Name()).left(kFaceNameChars - 1).toStdU16String();
  for (char16_t c : face) w.U16(c);
  w.Zeros((kFaceNameChars - face.size()) * 2);
  EndRecord(start);
  Select(handle);
  Delete(FFontHandle);
  FFontHandle = handle;
}

void TMetafileCanvas::UseTextColors() {
  const TColor color = static_cast<TColor>(Rgb(Font()->Color()));
  if (FTextColor != color) {
    SimpleRecord(EMR_SETTEXTCOLOR, {static_cast<int32_t>(color)});
    FTextColor = color;
  }
}

void TMetafileCanvas::UseBackground(bool opaque) {
  if (opaque) {
    const TColor color = static_cast<TColor>(Rgb(Brush()->Color()));
    if (FBkColor != color) {
      SimpleRecord(EMR_SETBKCOLOR, {static_cast<int32_t>(color)});
      FBkColor = color;
    }
  }
  const uint32_t mode = opaque ? OPAQUE : TRANSPARENT;
  if (FBkMode != mode) {
    SimpleRecord(EMR_SETBKMODE, {static_cast<int32_t>(mode)});
    FBkMode = mode;
  }
}

// ---------------------------------------------------------------------------
// Drawing

void TMetafileCanvas::LineTo(int32_t x, int32_t y) {
  if (!Recording()) return;
  UsePen();
  if (!(FRecordedPos == FPenPos)) SimpleRecord(EMR_MOVETOEX, {FPenPos.X, FPenPos.Y});
  SimpleRecord(EMR_LINETO, {x, y});
  const int64_t w = std::max(1, Pen()->Width());
  Include(std::min(FPenPos.X, x) - w / 2, std::min(FPenPos.Y, y) - w / 2, std::max(FPenPos.X, x) + w / 2,
          std::max(FPenPos.Y, y) + w / 2);
  FPenPos = FRecordedPos = {x, y};
}

void TMetafileCanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Recording()) return;
  UseBrush();
  UsePen();
  SimpleRecord(EMR_RECTANGLE, {x1, y1, x2, y2});
  IncludeShape(x1, y1, x2, y2);
}

void TMetafileCanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Recording()) return;
  UseBrush();
  UsePen();
  SimpleRecord(EMR_ELLIPSE, {x1, y1, x2, y2});
  IncludeShape(x1, y1, x2, y2);
}

void TMetafileCanvas::RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t rx, int32_t ry) {
  if (!Recording()) return;
  UseBrush();
  UsePen();
  SimpleRecord(EMR_ROUNDRECT, {x1, y1, x2, y2, rx, ry});
  IncludeShape(x1, y1, x2, y2);
}

void TMetafileCanvas::FillRect(const TRect& r) {
  if (!Recording() || Brush()->Style() == bsClear || r.Width() <= 0 || r.Height() <= 0) return;
  // A label's background on its band's, say: the pixels are that colour already.
  const bool solid = Brush()->Style() == bsSolid;
  const auto color = static_cast<TColor>(Rgb(Brush()->Color()));
  if (solid && FillIsCovered(r, color)) {
    ++FFillsLeftOut;
    return;
  }
  UseBrush();
  // A pattern copy with no source: how the device records a brush fill.
  const size_t start = BeginRecord(EMR_BITBLT);
  TRecordWriter w(FRecords);
  w.I32(r.Left), w.I32(r.Top), w.I32(r.Right - 1), w.I32(r.Bottom - 1);
  w.I32(r.Left), w.I32(r.Top), w.I32(r.Width()), w.I32(r.Height());
  w.U32(PATCOPY);
  w.I32(0), w.I32(0);
  w.F32(1), w.F32(0), w.F32(0), w.F32(1), w.F32(0), w.F32(0);  // source transform: identity
  w.U32(0), w.U32(0);                                          // background colour, usage
  w.U32(0), w.U32(0), w.U32(0), w.U32(0);                      // no bitmap
  EndRecord(start);
  Include(r.Left, r.Top, int64_t(r.Right) - 1, int64_t(r.Bottom) - 1);
  const bool inBase = FFillBase && r.Left >= FFillBase->Rect.Left && r.Top >= FFillBase->Rect.Top &&
                      r.Right <= FFillBase->Rect.Right && r.Bottom <= FFillBase->Rect.Bottom;
  if (solid && !inBase && !FRasterOpUsed) {
    FFillBase = TFillBase{r, color, FHasClip, FClip};
    FSinceLeft = FSinceTop = 1, FSinceRight = FSinceBottom = 0;
  }
}

void TMetafileCanvas::FrameRect(const TRect& r) {
  if (!Recording() || r.Width() <= 0 || r.Height() <= 0) return;
  // Four one-pixel strips in the brush colour.
  TBrush solid;
  solid.SetColor(Brush()->Color());
  solid.SetStyle(bsSolid);
  TBrush saved;
  saved.AssignFrom(Brush());
  SetBrush(&solid);
  FillRect({r.Left, r.Top, r.Right, r.Top + 1});
  FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
  FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
  FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
  SetBrush(&saved);
}

void TMetafileCanvas::Polyline(const std::vector<TPoint>& points) {
  if (!Recording() || points.size() < 2) return;
  UsePen();
  RecordPoly(points, EMR_POLYLINE16, EMR_POLYLINE);
}

void TMetafileCanvas::Polygon(const std::vector<TPoint>& points) {
  if (!Recording() || points.size() < 2) return;
  UseBrush();
  UsePen();
  RecordPoly(points, EMR_POLYGON16, EMR_POLYGON);
}

// Poly records: bounds, count and the points, 16-bit when every point fits.
void TMetafileCanvas::RecordPoly(const std::vector<TPoint>& points, uint32_t smallType, uint32_t wideType) {
  const bool small = FitsInt16(points);
  const size_t start = BeginRecord(small ? smallType : wideType);
  int64_t l = points[0].X, t = points[0].Y, r = l, b = t;
  for (const TPoint& p : points) {
    l = std::min<int64_t>(l, p.X), t = std::min<int64_t>(t, p.Y);
    r = std::max<int64_t>(r, p.X), b = std::max<int64_t>(b, p.Y);
  }
  TRecordWriter w(FRecords);
  w.I32(static_cast<int32_t>(l)), w.I32(static_cast<int32_t>(t)), w.I32(static_cast<int32_t>(r)),
      w.I32(static_cast<int32_t>(b));
  w.U32(static_cast<uint32_t>(points.size()));
  for (const TPoint& p : points) {
    if (small)
      w.I16(static_cast<int16_t>(p.X)), w.I16(static_cast<int16_t>(p.Y));
    else
      w.I32(p.X), w.I32(p.Y);
  }
  EndRecord(start);
  const int64_t pw = std::max(1, Pen()->Width());
  Include(l - pw / 2, t - pw / 2, r + pw / 2, b + pw / 2);
}

namespace {
// Sixteenths of a pixel: fine enough for bars at any printer resolution, coarse enough
// for 32-bit coordinates on any page.
constexpr double kSubPixels = 16;
}  // namespace

// Fractional shapes are recorded in sixteenths of a pixel under a world transform, with
// no pen (an outline would be scaled with them) and the brush's colour solid.
void TMetafileCanvas::BeginSubPixelShape() {
  TPen none;
  none.SetStyle(psClear);
  TPen saved;
  saved.AssignFrom(Pen());
  SetPen(&none);
  UsePen();
  SetPen(&saved);
  UseBrushState({static_cast<TColor>(Rgb(Brush()->Color())), bsSolid});
  const float scale = static_cast<float>(1 / kSubPixels);
  const size_t start = BeginRecord(EMR_SETWORLDTRANSFORM);
  TRecordWriter w(FRecords);
  w.F32(scale), w.F32(0), w.F32(0), w.F32(scale), w.F32(0), w.F32(0);
  EndRecord(start);
}

void TMetafileCanvas::EndSubPixelShape(double l, double t, double r, double b) {
  const size_t reset = BeginRecord(EMR_MODIFYWORLDTRANSFORM);
  TRecordWriter wr(FRecords);
  wr.F32(1), wr.F32(0), wr.F32(0), wr.F32(1), wr.F32(0), wr.F32(0);
  wr.U32(MWT_IDENTITY);
  EndRecord(reset);
  Include(static_cast<int64_t>(std::floor(l)), static_cast<int64_t>(std::floor(t)),
          static_cast<int64_t>(std::ceil(r)) - 1, static_cast<int64_t>(std::ceil(b)) - 1);
}

namespace {
int32_t SubPixel(double v) {
  return static_cast<int32_t>(std::clamp(std::round(v * kSubPixels), -2147483647.0, 2147483647.0));
}
}  // namespace

void TMetafileCanvas::FillRectsF(const std::vector<TRectF>& rects) {
  if (!Recording() || Brush()->Style() == bsClear) return;
  std::vector<TRectF> shown;
  for (const TRectF& r : rects)
    if (r.Right > r.Left && r.Bottom > r.Top && std::isfinite(r.Left + r.Top + r.Right + r.Bottom)) shown.push_back(r);
  if (shown.empty()) return;
  BeginSubPixelShape();
  double l = shown[0].Left, t = shown[0].Top, r = shown[0].Right, b = shown[0].Bottom;
  for (const TRectF& x : shown)
    l = std::min(l, x.Left), t = std::min(t, x.Top), r = std::max(r, x.Right), b = std::max(b, x.Bottom);
  const size_t start = BeginRecord(EMR_POLYPOLYGON);
  TRecordWriter w(FRecords);
  w.I32(static_cast<int32_t>(std::floor(l))), w.I32(static_cast<int32_t>(std::floor(t)));
  w.I32(static_cast<int32_t>(std::ceil(r)) - 1), w.I32(static_cast<int32_t>(std::ceil(b)) - 1);
  w.U32(static_cast<uint32_t>(shown.size()));
  w.U32(static_cast<uint32_t>(shown.size() * 4));
  for (size_t i = 0; i < shown.size(); ++i) w.U32(4);
  for (const TRectF& x : shown) {
    w.I32(SubPixel(x.Left)), w.I32(SubPixel(x.Top));
    w.I32(SubPixel(x.Right)), w.I32(SubPixel(x.Top));
    w.I32(SubPixel(x.Right)), w.I32(SubPixel(x.Bottom));
    w.I32(SubPixel(x.Left)), w.I32(SubPixel(x.Bottom));
  }
  EndRecord(start);
  EndSubPixelShape(l, t, r, b);
}

void TMetafileCanvas::FillPolygonF(const std::vector<TPointF>& points) {
  if (!Recording() || Brush()->Style() == bsClear || points.size() < 3) return;
  for (const TPointF& p : points)
    if (!std::isfinite(p.X) || !std::isfinite(p.Y)) return;
  double l = points[0].X, t = points[0].Y, r = l, b = t;
  for (const TPointF& p : points) l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
  if (r <= l || b <= t) return;
  BeginSubPixelShape();
  const size_t start = BeginRecord(EMR_POLYGON);
  TRecordWriter w(FRecords);
  w.I32(static_cast<int32_t>(std::floor(l))), w.I32(static_cast<int32_t>(std::floor(t)));
  w.I32(static_cast<int32_t>(std::ceil(r)) - 1), w.I32(static_cast<int32_t>(std::ceil(b)) - 1);
  w.U32(static_cast<uint32_t>(points.size()));
  for (const TPointF& p : points) w.I32(SubPixel(p.X)), w.I32(SubPixel(p.Y));
  EndRecord(start);
  EndSubPixelShape(l, t, r, b);
}

void TMetafileCanvas::StretchDraw(const TRect& dest, const TPixels& pixels) {
  if (!Recording() || pixels.Empty() || dest.Width() <= 0 || dest.Height() <= 0) return;
  // What the player would refuse is not recorded.
  if (pixels.Width > kMaxImageSide || pixels.Height > kMaxImageSide ||
      int64_t(pixels.Width) * pixels.Height > kMaxImagePixels)
    return;
  // The JPEG itself, as a document keeps it (the player decodes it for other devices);
  // else bottom-up rows of 24 bits, uncompressed.
  const bool jpeg = !pixels.Jpeg.empty() && pixels.Jpeg.size() <= kMaxJpegBytes;
  const uint32_t stride = (static_cast<uint32_t>(pixels.Width) * 3 + 3) / 4 * 4;
  const uint32_t bitsSize =
      jpeg ? static_cast<uint32_t>(pixels.Jpeg.size()) : stride * static_cast<uint32_t>(pixels.Height);
  const size_t start = BeginRecord(EMR_STRETCHDIBITS);
  TRecordWriter w(FRecords);
  w.I32(dest.Left), w.I32(dest.Top), w.I32(dest.Right - 1), w.I32(dest.Bottom - 1);
  w.I32(dest.Left), w.I32(dest.Top);
  w.I32(0), w.I32(0), w.I32(pixels.Width), w.I32(pixels.Height);
  w.U32(kSizeStretchDibFixed), w.U32(kBitmapInfoHeaderSize);
  w.U32(kSizeStretchDibFixed + kBitmapInfoHeaderSize), w.U32(bitsSize);
  w.U32(DIB_RGB_COLORS), w.U32(SRCCOPY);
  w.I32(dest.Width()), w.I32(dest.Height());
  // BITMAPINFOHEADER
  w.U32(kBitmapInfoHeaderSize), w.I32(pixels.Width), w.I32(pixels.Height);
  w.U16(1), w.U16(jpeg ? 0 : 24), w.U32(jpeg ? BI_JPEG : 0), w.U32(bitsSize);
  w.I32(0), w.I32(0), w.U32(0), w.U32(0);
  if (jpeg) {
    FRecords += pixels.Jpeg;
  } else {
    std::string row(stride, '\0');
    for (int32_t y = pixels.Height - 1; y >= 0; --y) {
      const uint32_t* in = pixels.Data.data() + size_t(y) * size_t(pixels.Width);
      for (int32_t x = 0; x < pixels.Width; ++x) {
        // Laid on white: what a transparent part of the picture shows on paper.
        const uint32_t p = in[x], a = p >> 24;
        auto over = [a](uint32_t c) { return static_cast<char>((c * a + 255 * (255 - a) + 127) / 255); };
        row[size_t(x) * 3] = over(p & 0xFF);
        row[size_t(x) * 3 + 1] = over((p >> 8) & 0xFF);
        row[size_t(x) * 3 + 2] = over((p >> 16) & 0xFF);
      }
      FRecords += row;
    }
  }
  EndRecord(start);
  Include(dest.Left, dest.Top, int64_t(dest.Right) - 1, int64_t(dest.Bottom) - 1);
}

void TMetafileCanvas::SetPixel(int32_t x, int32_t y, TColor color) {
  if (!Recording()) return;
  SimpleRecord(EMR_SETPIXELV, {x, y, static_cast<int32_t>(Rgb(color))});
  Include(x, y, x, y);
}

// ---------------------------------------------------------------------------
// Text

TMetafileCanvas::TMeasure& TMetafileCanvas::Measure() {
  const TFont* f = Font();
  for (size_t i = 0; i < FMeasures.size(); ++i) {
    TMeasure& m = *FMeasures[i];
    if (m.Font.SameAs(*f) && m.Font.PixelsPerInch() == f->PixelsPerInch()) {
      if (i != 0) std::rotate(FMeasures.begin(), FMeasures.begin() + static_cast<ptrdiff_t>(i),
                              FMeasures.begin() + static_cast<ptrdiff_t>(i) + 1);
      return *FMeasures.front();
    }
  }
  constexpr size_t kFonts = 16;
  if (FMeasures.size() == kFonts) FMeasures.pop_back();
  auto m = std::make_unique<TMeasure>();
  m->Font.AssignFrom(f);
  FMeasures.insert(FMeasures.begin(), std::move(m));
  return *FMeasures.front();
}

// Widths and advances come from the measuring every canvas shares (a page's canvas lives
// for one page); the maps here save its lock for what this page measured already.
double TMetafileCanvas::Width(TMeasure& m, std::string_view text) {
  const std::string key(text);
  const auto it = m.Widths.find(key);
  if (it != m.Widths.end()) return it->second;
  constexpr size_t kWidths = 4096;
  if (m.Widths.size() >= kWidths) m.Widths.clear();
  const double width = ReferenceWidth(m.Font, text);
  m.Widths.emplace(key, width);
  return width;
}

double TMetafileCanvas::Advance(TMeasure& m, char32_t c) {
  const auto it = m.Advances.find(c);
  if (it != m.Advances.end()) return it->second;
  const double advance = ReferenceAdvance(m.Font, c);
  m.Advances.emplace(c, advance);
  return advance;
}

TTextExtentF TMetafileCanvas::TextExtentF(std::string_view text) {
  // The same arithmetic as MeasureText.
  TMeasure& m = Measure();
  const double scale = static_cast<double>(FDpi) / kReferenceDpi;
  double ascent = 0, descent = 0;
  ReferenceAscentDescent(m.Font, ascent, descent);
  TTextExtentF e;
  e.Width = Width(m, text) * scale;
  e.Ascent = ascent * scale;
  e.Descent = descent * scale;
  e.Height = e.Ascent + e.Descent;
  return e;
}

TSize TMetafileCanvas::TextExtent(std::string_view text) {
  const TTextExtentF e = TextExtentF(text);
  return {static_cast<int32_t>(std::lround(e.Width)), static_cast<int32_t>(std::lround(e.Height))};
}

void TMetafileCanvas::DrawText(int32_t x, int32_t y, std::string_view text, const TRect* clip, TAlignment anchor) {
  const bool opaque = Brush()->Style() != bsClear;
  UseFont();
  UseTextColors();
  UseBackground(opaque);
  const QString qtext = ToQString(text);
  const std::u16string units = qtext.toStdU16String();
  TMeasure& measure = Measure();
  double ascent = 0, descent = 0;
  ReferenceAscentDescent(measure.Font, ascent, descent);
  const double scale = static_cast<double>(FDpi) / kReferenceDpi;
  const double width = Width(measure, text) * scale;

  // Character advances in device pixels, rounded cumulatively so they add up to the
  // measured width; kerning is spread over the characters in proportion.
  std::vector<int32_t> dx(units.size(), 0);
  {
    std::vector<double> advances(units.size(), 0.0);
    double sum = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      const char16_t c = units[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        // A pair: its advance goes to the first half.
        advances[i] = Advance(measure, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
        ++i;
      } else {
        advances[i] = Advance(measure, c);
      }
      sum += advances[i];
    }
    const double factor = sum > 0 ? width / (sum * scale) : 0;
    double cumulative = 0;
    int64_t placed = 0;
    for (size_t i = 0; i < units.size(); ++i) {
      cumulative += advances[i] * scale * factor;
      const int64_t next = std::llround(cumulative);
      dx[i] = static_cast<int32_t>(next - placed);
      placed = next;
    }
  }

  uint32_t options = 0;
  TRect rect{0, 0, -1, -1};
  if (clip) {
    options |= ETO_CLIPPED | (opaque ? uint32_t(ETO_OPAQUE) : 0u);
    rect = *clip;
  }
  const double height = (ascent + descent) * scale;
  const int32_t cellWidth = static_cast<int32_t>(std::ceil(width));
  const int32_t left = anchor == taRightJustify ? x - cellWidth : anchor == taCenter ? x - cellWidth / 2 : x;
  const TRect cell{left, y, left + cellWidth, y + static_cast<int32_t>(std::ceil(height))};
  const TRect drawn = clip ? TRect{std::max(cell.Left, clip->Left), std::max(cell.Top, clip->Top),
                                   std::min(cell.Right, clip->Right), std::min(cell.Bottom, clip->Bottom)}
                           : cell;

  const uint32_t stringOffset = kSizeExtTextOutFixed;
  const uint32_t stringBytes = static_cast<uint32_t>((units.size() * 2 + 3) / 4 * 4);
  const size_t start = BeginRecord(EMR_EXTTEXTOUTW);
  TRecordWriter w(FRecords);
  w.I32(drawn.Left), w.I32(drawn.Top), w.I32(drawn.Right - 1), w.I32(drawn.Bottom - 1);
  w.U32(GM_COMPATIBLE);
  w.F32(0), w.F32(0);  // scales: unused in the compatible graphics mode
  w.I32(x), w.I32(y);
  w.U32(static_cast<uint32_t>(units.size()));
  w.U32(stringOffset);
  w.U32(options);
  w.I32(rect.Left), w.I32(rect.Top), w.I32(rect.Right), w.I32(rect.Bottom);
  w.U32(stringOffset + stringBytes);
  for (char16_t c : units) w.U16(c);
  w.PadTo4();
  for (int32_t d : dx) w.I32(d);
  EndRecord(start);
  if (clip && opaque)
    Include(clip->Left, clip->Top, int64_t(clip->Right) - 1, int64_t(clip->Bottom) - 1);
  else
    Include(drawn.Left, drawn.Top, int64_t(drawn.Right) - 1, int64_t(drawn.Bottom) - 1);
  // Glyphs reach past their cell (accents, italics, overhangs): half a line on each side
  // is taken as theirs. A page count is put in once known, wider or narrower, at its anchor.
  if (FFillBase) {
    int64_t l = cell.Left, r = int64_t(cell.Right) - 1;
    if (units.find(kPageCountMarkUnit) != std::u16string::npos)
      l = std::numeric_limits<int32_t>::min(), r = std::numeric_limits<int32_t>::max();
    int64_t t = cell.Top, b = int64_t(cell.Bottom) - 1;
    const auto reach = static_cast<int64_t>(std::ceil(height / 2));
    if (clip) {
      l = std::max<int64_t>(l - reach, clip->Left), r = std::min<int64_t>(r + reach, int64_t(clip->Right) - 1);
      t = std::max<int64_t>(t - reach, clip->Top), b = std::min<int64_t>(b + reach, int64_t(clip->Bottom) - 1);
      Touch(l, t, r, b, 0);
    } else {
      Touch(l, t, r, b, reach);
    }
  }
}

void TMetafileCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
  if (!Recording()) return;
  DrawText(x, y, text, nullptr);
  FPenPos = {x + TextExtent(text).cx, y};
}

void TMetafileCanvas::TextRect(const TRect& rect, int32_t x, int32_t y, std::string_view text) {
  if (!Recording()) return;
  DrawText(x, y, text, &rect);
}

void TMetafileCanvas::AnchoredTextOut(int32_t x, int32_t y, std::string_view text, TAlignment anchor) {
  if (!Recording()) return;
  if (anchor == taLeftJustify) return TextOut(x, y, text);
  SimpleRecord(EMR_SETTEXTALIGN, {static_cast<int32_t>(anchor == taRightJustify ? TA_RIGHT : TA_CENTER)});
  DrawText(x, y, text, nullptr, anchor);
  SimpleRecord(EMR_SETTEXTALIGN, {0});
}

void TMetafileCanvas::Annotate(const TPageAnnotation& annotation) {
  if (!Recording()) return;
  const std::string data = EncodeAnnotation(annotation);
  const size_t start = BeginRecord(EMR_GDICOMMENT);
  TRecordWriter w(FRecords);
  w.U32(static_cast<uint32_t>(data.size()));
  FRecords += data;
  EndRecord(start);
}

// ---------------------------------------------------------------------------
// Clipping

void TMetafileCanvas::SetClipRect(const TRect& rect) {
  FHasClip = true;
  FClip = rect;
  if (!Recording()) return;
  // Back to no clipping, then the one rectangle.
  SimpleRecord(EMR_EXTSELECTCLIPRGN, {0, static_cast<int32_t>(RGN_COPY)});
  SimpleRecord(EMR_INTERSECTCLIPRECT, {rect.Left, rect.Top, rect.Right, rect.Bottom});
}

void TMetafileCanvas::ClearClipRect() {
  FHasClip = false;
  FClip = {};
  if (!Recording()) return;
  SimpleRecord(EMR_EXTSELECTCLIPRGN, {0, static_cast<int32_t>(RGN_COPY)});
}

}  // namespace rpt
