#include "framework/QtCanvas.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPolygon>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/MetafilePlayer.h"

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

// ---------------------------------------------------------------------------
// Measuring at the reference resolution.
//
// Qt measures a string by shaping it, which loads every glyph's outline at 7200 dpi:
// microseconds a string, and reports measure the same few fonts and characters over and
// over. So widths are kept per font: each character's advance, and for each pair of
// neighbours whether the font changes their advances (kerning, ligatures). A string of
// characters from plain left-to-right scripts whose neighbours are all unchanged is the
// sum of its advances, exactly: Qt adds the same 1/64-pixel advances itself. Any other
// string is measured whole, and kept. One cache for all threads, behind a lock: a
// preview's generation thread measures alongside the interface.

namespace {

// Characters below this have their advances and pairs in tables, the others in maps.
constexpr char32_t kDense = 0x180;

// Characters whose advance in a string is their advance alone, unless a neighbour changes
// it: no controls (tabs expand, U+009C ends what Qt measures), no invisible or combining
// characters, no right-to-left or complex scripts.
bool Plain(char32_t c) {
  if (c < 0x20) return false;
  if (c < 0x7F) return true;
  if (c < 0xA0 || c == 0xAD) return false;  // DEL, the C1 controls, the soft hyphen
  if (c < 0x300) return true;               // Latin-1, Latin Extended-A and -B, IPA, modifier letters
  if (c < 0x370) return false;              // combining marks
  if (c < 0x483) return true;               // Greek, Cyrillic
  if (c < 0x48A) return false;              // Cyrillic combining marks
  if (c < 0x530) return true;
  if (c >= 0x2010 && c <= 0x2027) return true;  // dashes, quotes, bullets, ellipsis
  if (c >= 0x2030 && c <= 0x205E) return true;
  if (c >= 0x20A0 && c <= 0x20C0) return true;  // currency signs
  return c >= 0x2100 && c <= 0x214F;            // letterlike symbols
}

// Decodes UTF-8; false for anything malformed (Qt replaces it, so it is measured whole).
bool DecodeUtf8(std::string_view text, std::vector<char32_t>& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char b = *p++;
    if (b < 0x80) {
      out.push_back(b);
      continue;
    }
    int more;
    char32_t c, least;
    if ((b & 0xE0) == 0xC0) more = 1, c = b & 0x1F, least = 0x80;
    else if ((b & 0xF0) == 0xE0) more = 2, c = b & 0x0F, least = 0x800;
    else if ((b & 0xF8) == 0xF0) more = 3, c = b & 0x07, least = 0x10000;
    else return false;
    if (end - p < more) return false;
    for (int i = 0; i < more; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      c = (c << 6) | (*p & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out.push_back(c);
  }
  return true;
}

struct TStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// What ReferenceFont takes from a font, so equal keys give equal reference fonts.
struct TFontKey {
  std::string Name;
  int PixelSize = 0;
  uint32_t Style = 0;
  bool Fixed = false;
};

int ReferencePixelSize(const TFont& font) {
  return std::max(1, static_cast<int>(std::lround(font.PointSizeF() * kReferenceDpi / 72.0)));
}

class TFontWidths {
 public:
  explicit TFontWidths(const TFont& font)
      : Key{font.Name(), ReferencePixelSize(font), font.Style().Mask(), font.Pitch() == fpFixed} {
    FFont.AssignFrom(&font);
    const QFontMetricsF& m = Metrics();
    Ascent = m.ascent();
    Descent = m.descent();
  }
  TFontWidths(const TFontWidths&) = delete;
  TFontWidths& operator=(const TFontWidths&) = delete;

  double Advance(char32_t c) {
    if (c < kDense) {
      if (FDenseAdvances.empty()) FDenseAdvances.assign(kDense, -1.0);
      double& a = FDenseAdvances[c];
      if (a < 0) a = Measured(QString::fromUcs4(&c, 1));
      return a;
    }
    const auto it = FAdvances.find(c);
    if (it != FAdvances.end()) return it->second;
    const double a = Measured(QString::fromUcs4(&c, 1));
    FAdvances.emplace(c, a);
    return a;
  }

  double Width(std::string_view text) {
    if (text.empty()) return 0;
    if (DecodeUtf8(text, FChars)) {
      double width = 0;
      bool plain = true;
      for (size_t i = 0; i < FChars.size() && plain; ++i) {
        const char32_t c = FChars[i];
        plain = Plain(c) && (i == 0 || PlainPair(FChars[i - 1], c));
        width += Advance(c);
      }
      if (plain) return width;
    }
    const auto it = FWidths.find(text);
    if (it != FWidths.end()) return it->second;
    constexpr size_t kWidths = 4096;
    if (FWidths.size() >= kWidths) FWidths.clear();
    const double width = Measured(ToQString(text));
    FWidths.emplace(std::string(text), width);
    return width;
  }

  // The glyphs of a text in the font's own face and their positions along the baseline,
  // as shaping places them. Plain characters the face has, which shaping keeps alone and
  // beside each neighbour, with neighbours that keep their advances, sit at the sum of the
  // advances before them; other texts are shaped once and kept.
  bool Glyphs(std::string_view text, std::vector<uint32_t>& glyphs, std::vector<double>& positions) {
    glyphs.clear();
    positions.clear();
    if (text.empty()) return false;
    if (!DecodeUtf8(text, FChars)) return false;
    // Controls and separators are left to the painter, which lays them out its own way.
    for (const char32_t c : FChars)
      if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) return false;
    double x = 0;
    bool plain = true;
    for (size_t i = 0; i < FChars.size() && plain; ++i) {
      const char32_t c = FChars[i];
      const uint32_t glyph = Plain(c) ? Glyph(c) : 0;
      plain = glyph != 0 && (i == 0 || (PlainPair(FChars[i - 1], c) && GlyphPair(FChars[i - 1], c)));
      glyphs.push_back(glyph);
      positions.push_back(x);
      x += Advance(c);
    }
    if (plain) return true;
    auto it = FShaped.find(text);
    if (it == FShaped.end()) {
      constexpr size_t kShaped = 4096;
      if (FShaped.size() >= kShaped) FShaped.clear();
      TShaped shaped;
      shaped.Whole = Shaped(ToQString(text), &shaped.Positions);
      it = FShaped.emplace(std::string(text), std::move(shaped)).first;
    }
    glyphs = it->second.Whole;
    positions = it->second.Positions;
    return !glyphs.empty();
  }

  // Lets go of the Qt objects; they are made again when a character is new.
  void Release() {
    FMetrics.reset();
    FFace.reset();
  }

  const TFontKey Key;
  double Ascent = 0, Descent = 0;

 private:
  const QFontMetricsF& Metrics() {
    if (!FMetrics) FMetrics = std::make_unique<QFontMetricsF>(ReferenceFont(FFont));
    return *FMetrics;
  }
  double Measured(const QString& text) { return Metrics().horizontalAdvance(text); }

  // The glyphs shaping gives a text in one run of the font's own face on one baseline,
  // and where it places them; none for anything else.
  std::vector<uint32_t> Shaped(const QString& text, std::vector<double>* positions = nullptr) {
    if (!FFace) FFace = QRawFont::fromFont(ReferenceFont(FFont));
    QTextLayout layout(text, ReferenceFont(FFont));
    layout.setCacheEnabled(false);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    // Raw fonts are equal when they share their font engine: the face and its size.
    if (runs.size() != 1 || !FFace->isValid() || !(runs[0].rawFont() == *FFace)) return {};
    const QList<quint32> glyphs = runs[0].glyphIndexes();
    const QList<QPointF> places = runs[0].positions();
    if (positions) {
      positions->clear();
      for (const QPointF& p : places) {
        if (p.y() != places.front().y()) return {};
        positions->push_back(p.x());
      }
    }
    return std::vector<uint32_t>(glyphs.begin(), glyphs.end());
  }

  // The face's glyph of a character when shaping gives that glyph for it alone; 0 otherwise.
  uint32_t Glyph(char32_t c) {
    uint32_t* known = nullptr;
    if (c < kDense) {
      if (FDenseGlyphs.empty()) FDenseGlyphs.assign(kDense, kUnknownGlyph);
      known = &FDenseGlyphs[c];
    } else {
      known = &FGlyphs.try_emplace(c, kUnknownGlyph).first->second;
    }
    if (*known == kUnknownGlyph) {
      const QString text = QString::fromUcs4(&c, 1);
      if (!FFace) FFace = QRawFont::fromFont(ReferenceFont(FFont));
      const QList<quint32> mapped = FFace->glyphIndexesForString(text);
      const uint32_t glyph = mapped.size() == 1 ? mapped[0] : 0;
      *known = glyph != 0 && Shaped(text) == std::vector<uint32_t>{glyph} ? glyph : 0;
    }
    return *known;
  }

  // Whether shaping a and b side by side gives each its own glyph.
  bool GlyphPair(char32_t a, char32_t b) {
    uint8_t& state = PairState(a, b);
    if ((state & kGlyphsKnown) == 0) {
      const char32_t pair[2] = {a, b};
      const bool same = Shaped(QString::fromUcs4(pair, 2)) == std::vector<uint32_t>{Glyph(a), Glyph(b)};
      state |= kGlyphsKnown | (same ? kGlyphsPlain : 0);
    }
    return (state & kGlyphsPlain) != 0;
  }

  // What is known of a pair of neighbours: whether the font leaves their advances alone,
  // and whether shaping leaves them their own glyphs.
  static constexpr uint8_t kAdvancesKnown = 1, kAdvancesPlain = 2, kGlyphsKnown = 4, kGlyphsPlain = 8;
  static constexpr uint32_t kUnknownGlyph = 0xFFFFFFFF;

  uint8_t& PairState(char32_t a, char32_t b) {
    if (a < kDense && b < kDense) {
      if (FDensePairs.empty()) FDensePairs.assign(size_t(kDense) * kDense, 0);
      return FDensePairs[size_t(a) * kDense + b];
    }
    return FPairs[(uint64_t(a) << 32) | b];
  }

  // Whether the font leaves the advances of a and b alone when they are neighbours.
  bool PlainPair(char32_t a, char32_t b) {
    uint8_t& state = PairState(a, b);
    if ((state & kAdvancesKnown) == 0) {
      const char32_t pair[2] = {a, b};
      const bool plain = Measured(QString::fromUcs4(pair, 2)) == Advance(a) + Advance(b);
      state |= kAdvancesKnown | (plain ? kAdvancesPlain : 0);
    }
    return (state & kAdvancesPlain) != 0;
  }

  TFont FFont;
  std::unique_ptr<QFontMetricsF> FMetrics;
  std::optional<QRawFont> FFace;
  std::vector<double> FDenseAdvances;  // -1 while unknown
  std::vector<uint32_t> FDenseGlyphs;
  std::vector<uint8_t> FDensePairs;
  std::unordered_map<char32_t, double> FAdvances;
  std::unordered_map<char32_t, uint32_t> FGlyphs;
  std::unordered_map<uint64_t, uint8_t> FPairs;
  std::unordered_map<std::string, double, TStringHash, std::equal_to<>> FWidths;
  struct TShaped {
    std::vector<uint32_t> Whole;  // empty: not one run of the face
    std::vector<double> Positions;
  };
  std::unordered_map<std::string, TShaped, TStringHash, std::equal_to<>> FShaped;
  std::vector<char32_t> FChars;
};

std::mutex gWidthsLock;

// The cache of a font, most recently used first; call with the lock held.
TFontWidths& WidthsOf(const TFont& font) {
  // Never destroyed: threads may still measure while the program exits.
  static auto& fonts = *new std::vector<std::unique_ptr<TFontWidths>>;
  const int pixels = ReferencePixelSize(font);
  const uint32_t style = font.Style().Mask();
  const bool fixed = font.Pitch() == fpFixed;
  for (size_t i = 0; i < fonts.size(); ++i) {
    const TFontKey& k = fonts[i]->Key;
    if (k.PixelSize == pixels && k.Style == style && k.Fixed == fixed && k.Name == font.Name()) {
      if (i != 0) std::rotate(fonts.begin(), fonts.begin() + static_cast<ptrdiff_t>(i),
                              fonts.begin() + static_cast<ptrdiff_t>(i) + 1);
      return *fonts.front();
    }
  }
  constexpr size_t kFonts = 32;
  if (fonts.size() == kFonts) fonts.pop_back();
  fonts.insert(fonts.begin(), std::make_unique<TFontWidths>(font));
  return *fonts.front();
}

// Qt's font objects belong to the thread that made them: none is kept past a call.
struct TReleaseOnExit {
  TFontWidths& Widths;
  ~TReleaseOnExit() { Widths.Release(); }
};

}  // namespace

bool ReferenceGlyphs(const TFont& font, std::string_view text, std::vector<uint32_t>& glyphs,
                     std::vector<double>& positions) {
  const std::lock_guard<std::mutex> lock(gWidthsLock);
  TFontWidths& widths = WidthsOf(font);
  const TReleaseOnExit release{widths};
  return widths.Glyphs(text, glyphs, positions);
}

double ReferenceWidth(const TFont& font, std::string_view text) {
  const std::lock_guard<std::mutex> lock(gWidthsLock);
  TFontWidths& widths = WidthsOf(font);
  const TReleaseOnExit release{widths};
  return widths.Width(text);
}

double ReferenceAdvance(const TFont& font, char32_t c) {
  const std::lock_guard<std::mutex> lock(gWidthsLock);
  TFontWidths& widths = WidthsOf(font);
  const TReleaseOnExit release{widths};
  return widths.Advance(c);
}

void ReferenceAscentDescent(const TFont& font, double& ascent, double& descent) {
  const std::lock_guard<std::mutex> lock(gWidthsLock);
  TFontWidths& widths = WidthsOf(font);
  const TReleaseOnExit release{widths};
  ascent = widths.Ascent;
  descent = widths.Descent;
}

TTextExtentF MeasureText(const TFont& font, std::string_view text, int dpi) {
  const double scale = static_cast<double>(dpi) / kReferenceDpi;
  const std::lock_guard<std::mutex> lock(gWidthsLock);
  TFontWidths& widths = WidthsOf(font);
  const TReleaseOnExit release{widths};
  TTextExtentF e;
  e.Width = widths.Width(text) * scale;
  e.Ascent = widths.Ascent * scale;
  e.Descent = widths.Descent * scale;
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

// An outline (inside the shape's box) half as wide as the box's smaller side covers the
// whole shape: the shape is filled with the pen's colour instead of stroking an
// inner rectangle turned inside out, which would reach far past the box. The metafile
// player draws such shapes the same way.
template <typename TDraw>
bool TQtCanvas::FillShapeWithPen(const QRectF& box, int penWidth, TDraw draw) {
  if (2.0 * penWidth < std::min(std::fabs(box.width()), std::fabs(box.height()))) return false;
  FPainter->setPen(Qt::NoPen);
  FPainter->setBrush(ToQColor(Pen()->Color()));
  draw(box.normalized());
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  return true;
}

void TQtCanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!FPainter) return;
  UseBrush();
  UsePen();
  const int w = std::max(1, Pen()->Width());
  // The outline lies inside right and bottom, as the device's rectangle does.
  const double inset = w / 2.0;
  if (Pen()->Style() != psClear && FillShapeWithPen(QRectF(x1, y1, x2 - x1, y2 - y1), w, [&](const QRectF& r) {
        FPainter->drawRect(r);
      }))
    return;
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
  if (Pen()->Style() == psClear ||
      !FillShapeWithPen(QRectF(x1, y1, x2 - x1, y2 - y1), w, [&](const QRectF& r) { FPainter->drawEllipse(r); }))
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
  if (Pen()->Style() == psClear || !FillShapeWithPen(QRectF(x1, y1, x2 - x1, y2 - y1), w, [&](const QRectF& r) {
        FPainter->drawRoundedRect(r, rx / 2.0, ry / 2.0);
      }))
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

void TQtCanvas::FillRectsF(const std::vector<TRectF>& rects) {
  if (!FPainter || rects.empty()) return;
  // One path: neighbouring modules join without a seam where edges are smoothed.
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  for (const TRectF& r : rects)
    if (r.Right > r.Left && r.Bottom > r.Top) path.addRect(QRectF(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
  FPainter->fillPath(path, ToQColor(Brush()->Color()));
}

void TQtCanvas::FillPolygonF(const std::vector<TPointF>& points) {
  if (!FPainter || points.size() < 3 || Brush()->Style() == bsClear) return;
  QPainterPath path;
  path.setFillRule(Qt::WindingFill);
  path.moveTo(points[0].X, points[0].Y);
  for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i].X, points[i].Y);
  path.closeSubpath();
  FPainter->fillPath(path, ToQColor(Brush()->Color()));
}

void TQtCanvas::StretchDraw(const TRect& dest, const TPixels& pixels) {
  if (!FPainter || pixels.Empty() || dest.Width() <= 0 || dest.Height() <= 0) return;
  const QImage image(reinterpret_cast<const uchar*>(pixels.Data.data()), pixels.Width, pixels.Height,
                     pixels.Width * 4, QImage::Format_ARGB32);
  FPainter->save();
  FPainter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  FPainter->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), image);
  FPainter->restore();
}

// A PDF page takes glyphs with their places as they are: a text whose glyphs and places
// are known (ReferenceGlyphs) goes down as a glyph run in a face of the device's size, at
// the reference layout's places scaled to the device (to 1/64 of a device pixel). That
// spares shaping at the reference size, which loads every glyph's outline each time, and
// the painter state that scaling for each text writes into the page. Other devices, and
// texts with a clip or a decorated font, are drawn with the scaled reference font.
struct TQtCanvas::TDeviceFaces {
  struct TFace {
    TFontKey Key;
    QRawFont Face;
  };
  std::vector<TFace> Faces;
  std::vector<uint32_t> Glyphs;
  std::vector<double> Positions;
  QList<quint32> RunGlyphs;
  QList<QPointF> RunPositions;
};

bool TQtCanvas::DrawGlyphs(int32_t x, int32_t y, std::string_view text) {
  const TFont& font = *Font();
  TGlyphRunSink* sink = dynamic_cast<TGlyphRunSink*>(FPainter->paintEngine());
  if (text.empty() || !FPainter->paintEngine() || (FPainter->paintEngine()->type() != QPaintEngine::Pdf && !sink) ||
      font.Style().Contains(fsUnderline) || font.Style().Contains(fsStrikeOut))
    return false;
  if (!FFaces) FFaces = std::make_unique<TDeviceFaces>();
  TDeviceFaces& d = *FFaces;
  if (!ReferenceGlyphs(font, text, d.Glyphs, d.Positions)) return false;
  const double scale = static_cast<double>(FDpi) / kReferenceDpi;
  const TFontKey key{font.Name(), ReferencePixelSize(font), font.Style().Mask(), font.Pitch() == fpFixed};
  auto face = std::find_if(d.Faces.begin(), d.Faces.end(), [&key](const TDeviceFaces::TFace& f) {
    return f.Key.PixelSize == key.PixelSize && f.Key.Style == key.Style && f.Key.Fixed == key.Fixed &&
           f.Key.Name == key.Name;
  });
  if (face == d.Faces.end()) {
    QRawFont raw = QRawFont::fromFont(ReferenceFont(font));
    if (!raw.isValid()) return false;
    raw.setPixelSize(key.PixelSize * scale);
    d.Faces.push_back({key, raw});
    face = d.Faces.end() - 1;
  }
  double ascent = 0, descent = 0;
  ReferenceAscentDescent(font, ascent, descent);
  d.RunGlyphs.resize(static_cast<qsizetype>(d.Glyphs.size()));
  d.RunPositions.resize(static_cast<qsizetype>(d.Glyphs.size()));
  for (size_t i = 0; i < d.Glyphs.size(); ++i) {
    d.RunGlyphs[static_cast<qsizetype>(i)] = d.Glyphs[i];
    d.RunPositions[static_cast<qsizetype>(i)] = QPointF(d.Positions[i] * scale, 0);
  }
  QGlyphRun run;
  run.setRawFont(face->Face);
  run.setGlyphIndexes(d.RunGlyphs);
  run.setPositions(d.RunPositions);
  if (Brush()->Style() != bsClear) {
    const TTextExtentF e = TextExtentF(text);
    FPainter->fillRect(QRectF(x, y, e.Width, e.Height), ToQColor(Brush()->Color()));
  }
  FPainter->setPen(ToQColor(font.Color()));
  if (sink) sink->NextGlyphRun(run, QPointF(x, y + ascent * scale), ToQString(text));
  FPainter->drawGlyphRun(QPointF(x, y + ascent * scale), run);
  return true;
}

void TQtCanvas::DrawText(int32_t x, int32_t y, std::string_view text, const TRect* clip) {
  if (!FPainter) return;
  if (!clip && DrawGlyphs(x, y, text)) return;
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
