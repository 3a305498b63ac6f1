#include "output/QRPdfDocument.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <QGlyphRun>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QPageSize>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "framework/MetafilePlayer.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

// A page's size in points: a standard paper's when it is within a few points of one,
// else the size in whole points (as printers and other writers size their pages).
QSizeF PagePoints(const QSizeF& mm) {
  const QSize points = QPageSize(mm, QPageSize::Millimeter).sizePoints();
  if (!points.isEmpty()) return QSizeF(points);
  return QSizeF(mm.width() / 25.4 * 72.0, mm.height() / 25.4 * 72.0);
}

cairo_matrix_t MatrixOf(const QTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy());
  return m;
}

// The name of a script for messages; the common scripts of the fonts packages.
const char* ScriptName(QChar::Script script) {
  switch (script) {
    case QChar::Script_Arabic: return "Arabic";
    case QChar::Script_Hebrew: return "Hebrew";
    case QChar::Script_Devanagari: return "Devanagari";
    case QChar::Script_Bengali: return "Bengali";
    case QChar::Script_Gurmukhi: return "Gurmukhi";
    case QChar::Script_Gujarati: return "Gujarati";
    case QChar::Script_Tamil: return "Tamil";
    case QChar::Script_Telugu: return "Telugu";
    case QChar::Script_Kannada: return "Kannada";
    case QChar::Script_Malayalam: return "Malayalam";
    case QChar::Script_Sinhala: return "Sinhala";
    case QChar::Script_Thai: return "Thai";
    case QChar::Script_Lao: return "Lao";
    case QChar::Script_Tibetan: return "Tibetan";
    case QChar::Script_Myanmar: return "Myanmar";
    case QChar::Script_Khmer: return "Khmer";
    case QChar::Script_Georgian: return "Georgian";
    case QChar::Script_Armenian: return "Armenian";
    case QChar::Script_Ethiopic: return "Ethiopic";
    case QChar::Script_Greek: return "Greek";
    case QChar::Script_Cyrillic: return "Cyrillic";
    case QChar::Script_Latin: return "Latin";
    case QChar::Script_Han: return "Chinese";
    case QChar::Script_Hiragana: case QChar::Script_Katakana: return "Japanese";
    case QChar::Script_Hangul: return "Korean";
    default: return nullptr;
  }
}

uint16_t U16(const QByteArray& b, qsizetype at) {
  return at + 2 <= b.size() ? uint16_t(uint8_t(b[at]) << 8 | uint8_t(b[at + 1])) : 0;
}

// The family of a face from its naming table (the toolkit's own family name of a fallback
// face may be missing): the typographic family when there is one, else the family.
QString FamilyOf(const QRawFont& font) {
  const QByteArray table = font.fontTable("name");
  const uint16_t count = U16(table, 2), strings = U16(table, 4);
  QString found;
  int foundRank = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const qsizetype at = 6 + qsizetype(i) * 12;
    if (at + 12 > table.size()) break;
    const uint16_t platform = U16(table, at), nameId = U16(table, at + 6);
    const uint16_t length = U16(table, at + 8), offset = U16(table, at + 10);
    if ((nameId != 1 && nameId != 16) || (platform != 3 && platform != 1 && platform != 0)) continue;
    const qsizetype start = qsizetype(strings) + offset;
    if (start + length > table.size()) continue;
    // Prefer the typographic family, then Unicode records.
    const int rank = (nameId == 16 ? 4 : 0) + (platform == 1 ? 1 : 2);
    if (rank <= foundRank) continue;
    QString name;
    if (platform == 1) {
      name = QString::fromLatin1(table.constData() + start, length);
    } else {
      for (qsizetype k = 0; k + 1 < length; k += 2) name += QChar(U16(table, start + k));
    }
    if (name.isEmpty()) continue;
    found = name;
    foundRank = rank;
  }
  return found;
}

}  // namespace

// ---------------------------------------------------------------------------

class TPdfPaintEngine : public QPaintEngine, public TGlyphRunSink {
 public:
  TPdfPaintEngine(const std::string& fileName, const QSizeF& pageMM, int dpi);
  ~TPdfPaintEngine() override;

  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  Type type() const override { return QPaintEngine::User; }
  void updateState(const QPaintEngineState& state) override;
  void drawPath(const QPainterPath& path) override;
  void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override;
  void drawRects(const QRectF* rects, int count) override;
  void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags) override;
  void drawPixmap(const QRectF& r, const QPixmap& pixmap, const QRectF& sr) override;
  void drawTextItem(const QPointF& p, const QTextItem& item) override;

  void NextGlyphRun(const QGlyphRun& run, const QPointF& origin, const QString& text) override;
  void PageAnnotation(const TPageAnnotation& annotation, const QRectF& area) override;

  void SetInfo(const std::string& title, const std::string& creator, const QDateTime& created);
  void SetPageSize(const QSizeF& pageMM);
  void NewPage();
  bool Finish();

  QSizeF FPageMM;
  const int FResolution;
  std::string FError;
  std::vector<std::string> FMissing;

 private:
  static cairo_status_t Write(void* closure, const unsigned char* data, unsigned int length);
  void ApplyClip();
  bool UseTransform();
  void Recover();
  void UseBase() { SetMatrix(MatrixOf(FBase)); }
  void SetMatrix(const cairo_matrix_t& m);
  void AppendPath(const QPainterPath& path);
  void SetSource(const QBrush& brush);
  void Paint(bool fill, bool stroke, Qt::FillRule rule);
  void Stroke();
  void DrawRun(const QGlyphRun& run, const QPointF& origin, const QString& text);
  void DrawRunContent(const QGlyphRun& run, const QPointF& origin, const QString& text);
  void DrawLaidOut(const QString& text, const QFont& font, const QPointF& baseline);
  cairo_font_face_t* FaceFor(const QRawFont& font);
  void NoteMissing(const QRawFont& font, const QString& text);

  // The font of the last text run and what was found for it.
  QRawFont FLastRaw;
  bool FLastNoFace = false;
  cairo_font_face_t* FLastFace = nullptr;

  FILE* FFile = nullptr;
  std::string FFileName;
  int FWriteErrno = 0;
  cairo_surface_t* FSurface = nullptr;
  cairo_t* FCr = nullptr;
  bool FFinished = false;
  int FPageNumber = 1;
  // The outline entries that can still take children, outermost first.
  struct TOutlineEntry {
    int32_t Level;
    int Id;
  };
  std::vector<TOutlineEntry> FOutline;
  std::set<std::string> FDestinations;
  // Links are written inside a document structure element: outside one the surface
  // leaves a reference to a structure element it never writes, and the file is damaged.
  bool FInDocumentTag = false;
  // The structure elements begun and not yet ended, with whether each was written: one
  // that would not nest (a heading inside a row: a header repeated on a new page while a
  // row goes on) is left out, as is an end without its beginning (a page range).
  std::vector<std::pair<std::string, bool>> FStructure;
  bool FInTable = false;
  void BeginDocumentTag();
  void BeginStructure(const std::string& role);
  void EndStructure(const std::string& role);
  bool InRow() const { return !FStructure.empty() && FStructure.back().second && FStructure.back().first == "TR"; }
  const QTransform FBase = QTransform::fromScale(72.0 / FResolution, 72.0 / FResolution);

  QPen FPen;
  QBrush FBrush;
  QTransform FTransform;
  QPointF FBrushOrigin;
  bool FSmoothImages = false;
  bool FClipDirty = true;
  bool FHasClip = false;
  QPainterPath FClip;  // device units

  bool FHasPending = false;
  QGlyphRun FPendingRun;
  QPointF FPendingOrigin;
  QString FPendingText;

  FT_Library FFreeType = nullptr;
  std::map<QString, cairo_font_face_t*> FFaces;
  std::set<QString> FMissingKeys;
};

TPdfPaintEngine::TPdfPaintEngine(const std::string& fileName, const QSizeF& pageMM, int dpi)
    : QPaintEngine(QPaintEngine::PaintEngineFeatures(QPaintEngine::AllFeatures) & ~QPaintEngine::RasterOpModes),
      FPageMM(pageMM), FResolution(std::clamp(dpi, 72, 9600)), FFileName(fileName) {
  FFile = std::fopen(fileName.c_str(), "wb");
  if (!FFile) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(errno)));
  std::setvbuf(FFile, nullptr, _IOFBF, 1 << 20);
  const QSizeF points = PagePoints(pageMM);
  FSurface = cairo_pdf_surface_create_for_stream(&Write, this, points.width(), points.height());
  FCr = cairo_create(FSurface);
  if (cairo_status(FCr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(FCr);
    cairo_surface_destroy(FSurface);
    std::fclose(FFile);
    throw EFCreateError(Format("Cannot create file \"%s\"", fileName));
  }
}

TPdfPaintEngine::~TPdfPaintEngine() {
  Finish();
  for (auto& [key, face] : FFaces) cairo_font_face_destroy(face);
  if (FFreeType) FT_Done_FreeType(FFreeType);
}

cairo_status_t TPdfPaintEngine::Write(void* closure, const unsigned char* data, unsigned int length) {
  auto* self = static_cast<TPdfPaintEngine*>(closure);
  if (self->FWriteErrno) return CAIRO_STATUS_WRITE_ERROR;
  if (const int injected = InjectedWriteFailure("pdf write")) {
    self->FWriteErrno = injected;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  if (std::fwrite(data, 1, length, self->FFile) != length) {
    self->FWriteErrno = errno ? errno : EIO;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

void TPdfPaintEngine::SetInfo(const std::string& title, const std::string& creator, const QDateTime& created) {
  if (!title.empty()) cairo_pdf_surface_set_metadata(FSurface, CAIRO_PDF_METADATA_TITLE, title.c_str());
  if (!creator.empty()) cairo_pdf_surface_set_metadata(FSurface, CAIRO_PDF_METADATA_CREATOR, creator.c_str());
  if (created.isValid()) {
    const std::string date = created.toString(Qt::ISODate).toStdString();
    cairo_pdf_surface_set_metadata(FSurface, CAIRO_PDF_METADATA_CREATE_DATE, date.c_str());
  }
}

void TPdfPaintEngine::SetPageSize(const QSizeF& pageMM) {
  FPageMM = pageMM;
  const QSizeF points = PagePoints(pageMM);
  cairo_pdf_surface_set_size(FSurface, points.width(), points.height());
}

void TPdfPaintEngine::NewPage() {
  cairo_show_page(FCr);
  ++FPageNumber;
}

namespace {

// A number in a tag's attributes, whatever the locale.
std::string Number(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::round(value * 100) / 100);
  return error == std::errc() ? std::string(buffer, end) : "0";
}

// A string in a tag's attributes: quoted, its quotes and backslashes escaped.
std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

// The destination name of a bookmark title, in ASCII: the surface writes a name's
// non-ASCII characters one way in the names tree and another in a link, which then
// points nowhere.
std::string DestinationName(std::string_view title) {
  static const char kHex[] = "0123456789abcdef";
  std::string name = "b";
  for (unsigned char c : title) {
    name += kHex[c >> 4];
    name += kHex[c & 15];
  }
  return name;
}

}  // namespace

// Bookmarks become outline entries (and named destinations for "#title" links); links
// become link annotations over their areas.
void TPdfPaintEngine::BeginDocumentTag() {
  if (FInDocumentTag) return;
  cairo_tag_begin(FCr, "Document", nullptr);
  FInDocumentTag = true;
}

void TPdfPaintEngine::BeginStructure(const std::string& role) {
  const bool row = role == "TR";
  const bool heading = role.size() == 2 && role[0] == 'H' && role[1] >= '1' && role[1] <= '6';
  const bool fits = (row || heading) && std::none_of(FStructure.begin(), FStructure.end(), [](const auto& open) {
                      return open.second;  // rows and headings do not nest
                    });
  FStructure.emplace_back(role, fits);
  if (!fits) return;
  BeginDocumentTag();
  // Rows that follow each other make one table; a heading ends it.
  if (row && !FInTable) cairo_tag_begin(FCr, "Table", nullptr);
  if (!row && FInTable) cairo_tag_end(FCr, "Table");
  FInTable = row;
  cairo_tag_begin(FCr, role.c_str(), nullptr);
}

void TPdfPaintEngine::EndStructure(const std::string& role) {
  if (FStructure.empty() || FStructure.back().first != role) return;
  if (FStructure.back().second) cairo_tag_end(FCr, role.c_str());
  FStructure.pop_back();
}

void TPdfPaintEngine::PageAnnotation(const TPageAnnotation& a, const QRectF& area) {
  if (a.Text.empty() || !FCr) return;
  const double k = 72.0 / FResolution;
  const QRectF r(area.x() * k, area.y() * k, area.width() * k, area.height() * k);
  cairo_save(FCr);
  cairo_identity_matrix(FCr);
  if (a.Kind == TPageAnnotation::akBookmark) {
    while (!FOutline.empty() && FOutline.back().Level >= a.Level) FOutline.pop_back();
    const int parent = FOutline.empty() ? CAIRO_PDF_OUTLINE_ROOT : FOutline.back().Id;
    const std::string place = "page=" + std::to_string(FPageNumber) + " pos=[" + Number(r.x()) + " " + Number(r.y()) + "]";
    const int id = cairo_pdf_surface_add_outline(FSurface, parent, a.Text.c_str(), place.c_str(),
                                                 a.Level == 0 ? CAIRO_PDF_OUTLINE_FLAG_OPEN : cairo_pdf_outline_flags_t(0));
    FOutline.push_back({a.Level, id});
    // A link to a title goes to its first bookmark.
    if (FDestinations.insert(a.Text).second) {
      const std::string dest = "name=" + Quoted(DestinationName(a.Text)) + " x=" + Number(r.x()) + " y=" + Number(r.y());
      cairo_tag_begin(FCr, CAIRO_TAG_DEST, dest.c_str());
      cairo_tag_end(FCr, CAIRO_TAG_DEST);
    }
  } else if (a.Kind == TPageAnnotation::akBeginStructure) {
    BeginStructure(a.Text);
  } else if (a.Kind == TPageAnnotation::akEndStructure) {
    EndStructure(a.Text);
  } else if (a.Kind == TPageAnnotation::akLink && IsSafeLinkTarget(a.Text)) {
    const std::string target = a.Text[0] == '#' ? "dest=" + Quoted(DestinationName(a.Text.substr(1))) : "uri=" + Quoted(a.Text);
    const std::string link = target + " rect=[" + Number(r.x()) + " " + Number(r.y()) + " " + Number(r.width()) + " " +
                             Number(r.height()) + "]";
    BeginDocumentTag();
    cairo_tag_begin(FCr, CAIRO_TAG_LINK, link.c_str());
    cairo_tag_end(FCr, CAIRO_TAG_LINK);
  }
  cairo_restore(FCr);
}

bool TPdfPaintEngine::Finish() {
  if (FFinished) return FError.empty();
  FFinished = true;
  for (auto it = FStructure.rbegin(); it != FStructure.rend(); ++it)
    if (it->second) cairo_tag_end(FCr, it->first.c_str());
  FStructure.clear();
  if (FInTable) cairo_tag_end(FCr, "Table");
  if (FInDocumentTag) cairo_tag_end(FCr, "Document");
  // The last page is ended here: the surface would drop it were it blank.
  cairo_show_page(FCr);
  cairo_destroy(FCr);
  cairo_surface_finish(FSurface);
  const cairo_status_t status = cairo_surface_status(FSurface);
  cairo_surface_destroy(FSurface);
  FCr = nullptr;
  FSurface = nullptr;
  if (std::fflush(FFile) != 0 && !FWriteErrno) FWriteErrno = errno ? errno : EIO;
  if (std::fclose(FFile) != 0 && !FWriteErrno) FWriteErrno = errno ? errno : EIO;
  FFile = nullptr;
  if (FWriteErrno)
    FError = Format("Cannot write file \"%s\". %s", FFileName, std::strerror(FWriteErrno));
  else if (status != CAIRO_STATUS_SUCCESS)
    FError = Format("Cannot write file \"%s\". %s", FFileName, cairo_status_to_string(status));
  return FError.empty();
}

// A transform that cannot be undone (scaled to nothing by a damaged page) would put the
// cairo context into its error state and lose all that follows: such drawing is skipped.
bool TPdfPaintEngine::UseTransform() {
  const QTransform t = FTransform * FBase;
  const double v[6] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
  if (!std::all_of(std::begin(v), std::end(v), [](double x) { return std::isfinite(x) && std::fabs(x) < 1e9; }))
    return false;
  const double det = t.m11() * t.m22() - t.m12() * t.m21();
  if (!(std::fabs(det) > 1e-12)) return false;
  SetMatrix(MatrixOf(t));
  return true;
}

// Setting a matrix drops the context's scaled font, which the next text makes again:
// an unchanged one is left as it is.
void TPdfPaintEngine::SetMatrix(const cairo_matrix_t& m) {
  cairo_matrix_t now;
  cairo_get_matrix(FCr, &now);
  if (now.xx == m.xx && now.yx == m.yx && now.xy == m.xy && now.yy == m.yy && now.x0 == m.x0 && now.y0 == m.y0)
    return;
  cairo_set_matrix(FCr, &m);
}

// A context that failed anyway is made again, so the rest of the document still draws.
void TPdfPaintEngine::Recover() {
  if (cairo_status(FCr) == CAIRO_STATUS_SUCCESS || cairo_surface_status(FSurface) != CAIRO_STATUS_SUCCESS) return;
  cairo_destroy(FCr);
  FCr = cairo_create(FSurface);
  FHasClip = false;
  FClip = QPainterPath();
  FClipDirty = true;
}

void TPdfPaintEngine::updateState(const QPaintEngineState& state) {
  const DirtyFlags flags = state.state();
  if (flags & DirtyPen) FPen = state.pen();
  if (flags & DirtyBrush) FBrush = state.brush();
  if (flags & DirtyBrushOrigin) FBrushOrigin = state.brushOrigin();
  if (flags & DirtyTransform) FTransform = state.transform();
  if (flags & DirtyHints) FSmoothImages = state.renderHints() & QPainter::SmoothPixmapTransform;
  if (flags & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled)) FClipDirty = true;
}

// The painter's clip, taken whole when a drawing needs it: the clip operations it hands
// out one by one are relative to transforms long gone. An unchanged clip is not written
// again.
void TPdfPaintEngine::ApplyClip() {
  if (!FClipDirty) return;
  FClipDirty = false;
  QPainter* p = painter();
  const bool has = p && p->hasClipping();
  const QPainterPath clip = has ? p->combinedTransform().map(p->clipPath()) : QPainterPath();
  if (has == FHasClip && (!has || clip == FClip)) return;
  FHasClip = has;
  FClip = clip;
  cairo_reset_clip(FCr);
  if (!has) return;
  UseBase();
  cairo_new_path(FCr);
  AppendPath(clip);
  cairo_set_fill_rule(FCr, clip.fillRule() == Qt::WindingFill ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(FCr);
}

void TPdfPaintEngine::AppendPath(const QPainterPath& path) {
  const int n = path.elementCount();
  QPointF start;
  for (int i = 0; i < n; ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    switch (e.type) {
      case QPainterPath::MoveToElement:
        cairo_move_to(FCr, e.x, e.y);
        start = e;
        break;
      case QPainterPath::LineToElement:
        // A figure that comes back to its start is closed, so its corner is joined.
        if (QPointF(e) == start && (i + 1 == n || path.elementAt(i + 1).isMoveTo()))
          cairo_close_path(FCr);
        else
          cairo_line_to(FCr, e.x, e.y);
        break;
      case QPainterPath::CurveToElement:
        if (i + 2 < n) {
          const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
          cairo_curve_to(FCr, e.x, e.y, c2.x, c2.y, end.x, end.y);
          i += 2;
        }
        break;
      default: break;
    }
  }
}

void TPdfPaintEngine::SetSource(const QBrush& brush) {
  const Qt::BrushStyle style = brush.style();
  if (style >= Qt::Dense1Pattern && style <= Qt::DiagCrossPattern) {
    // A hatch as the screen shows it: a cell of screen pixels, repeated.
    QImage cell(8, 8, QImage::Format_ARGB32_Premultiplied);
    cell.fill(Qt::transparent);
    {
      QPainter p(&cell);
      p.fillRect(cell.rect(), brush);
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    cairo_surface_flush(surface);
    for (int y = 0; y < 8; ++y)
      std::memcpy(cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface),
                  cell.constScanLine(y), 32);
    cairo_surface_mark_dirty(surface);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_surface_destroy(surface);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t m;
    cairo_get_matrix(FCr, &m);
    cairo_matrix_t device = MatrixOf(FBase);
    cairo_matrix_t toDevice;  // user -> device units
    cairo_matrix_invert(&device);
    cairo_matrix_multiply(&toDevice, &m, &device);
    cairo_matrix_t scale;
    cairo_matrix_init_scale(&scale, 96.0 / FResolution, 96.0 / FResolution);
    cairo_matrix_t patternMatrix;
    cairo_matrix_multiply(&patternMatrix, &toDevice, &scale);
    cairo_pattern_set_matrix(pattern, &patternMatrix);
    cairo_set_source(FCr, pattern);
    cairo_pattern_destroy(pattern);
    return;
  }
  const QColor c = brush.color();
  // Most texts of a page share a colour: the source in place is kept. (A context in error
  // makes a new pattern for each asking, which nobody frees: it is not asked.)
  double r, g, b, a;
  if (cairo_status(FCr) == CAIRO_STATUS_SUCCESS &&
      cairo_pattern_get_rgba(cairo_get_source(FCr), &r, &g, &b, &a) == CAIRO_STATUS_SUCCESS && r == c.redF() &&
      g == c.greenF() && b == c.blueF() && a == c.alphaF())
    return;
  cairo_set_source_rgba(FCr, c.redF(), c.greenF(), c.blueF(), c.alphaF());
}

void TPdfPaintEngine::Stroke() {
  // A cosmetic pen is as wide on the device whatever the transform.
  double width = FPen.widthF();
  if (FPen.isCosmetic()) {
    UseBase();
    if (width <= 0) width = 1;
  }
  cairo_set_line_width(FCr, width);
  switch (FPen.capStyle()) {
    case Qt::SquareCap: cairo_set_line_cap(FCr, CAIRO_LINE_CAP_SQUARE); break;
    case Qt::RoundCap: cairo_set_line_cap(FCr, CAIRO_LINE_CAP_ROUND); break;
    default: cairo_set_line_cap(FCr, CAIRO_LINE_CAP_BUTT); break;
  }
  switch (FPen.joinStyle()) {
    case Qt::BevelJoin: cairo_set_line_join(FCr, CAIRO_LINE_JOIN_BEVEL); break;
    case Qt::RoundJoin: cairo_set_line_join(FCr, CAIRO_LINE_JOIN_ROUND); break;
    default: cairo_set_line_join(FCr, CAIRO_LINE_JOIN_MITER); break;
  }
  cairo_set_miter_limit(FCr, std::max(1.0, 2 * FPen.miterLimit()));
  if (FPen.style() != Qt::SolidLine) {
    // Dashes are in pen widths.
    const double unit = std::max(width, 1.0);
    std::vector<double> dashes;
    for (qreal d : FPen.dashPattern()) dashes.push_back(d * unit);
    cairo_set_dash(FCr, dashes.data(), static_cast<int>(dashes.size()), FPen.dashOffset() * unit);
  } else {
    cairo_set_dash(FCr, nullptr, 0, 0);
  }
  SetSource(FPen.brush());
  cairo_stroke(FCr);
}

void TPdfPaintEngine::Paint(bool fill, bool stroke, Qt::FillRule rule) {
  fill = fill && FBrush.style() != Qt::NoBrush;
  stroke = stroke && FPen.style() != Qt::NoPen;
  if (fill) {
    SetSource(FBrush);
    cairo_set_fill_rule(FCr, rule == Qt::WindingFill ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    if (stroke) cairo_fill_preserve(FCr); else cairo_fill(FCr);
  }
  if (stroke) Stroke();
  cairo_new_path(FCr);
}

void TPdfPaintEngine::drawPath(const QPainterPath& path) {
  Recover();
  ApplyClip();
  if (!UseTransform()) return;
  cairo_new_path(FCr);
  AppendPath(path);
  Paint(true, true, path.fillRule());
}

void TPdfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) {
  if (count < 1) return;
  Recover();
  ApplyClip();
  if (!UseTransform()) return;
  cairo_new_path(FCr);
  cairo_move_to(FCr, points[0].x(), points[0].y());
  for (int i = 1; i < count; ++i) cairo_line_to(FCr, points[i].x(), points[i].y());
  if (mode != PolylineMode) cairo_close_path(FCr);
  Paint(mode != PolylineMode, true, mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
}

void TPdfPaintEngine::drawRects(const QRectF* rects, int count) {
  Recover();
  ApplyClip();
  if (!UseTransform()) return;
  for (int i = 0; i < count; ++i) {
    cairo_new_path(FCr);
    cairo_rectangle(FCr, rects[i].x(), rects[i].y(), rects[i].width(), rects[i].height());
    Paint(true, true, Qt::WindingFill);
    if (FPen.isCosmetic() && FPen.style() != Qt::NoPen && !UseTransform()) return;
  }
}

void TPdfPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags) {
  if (image.isNull() || sr.isEmpty() || r.isEmpty()) return;
  Recover();
  ApplyClip();
  const bool alpha = image.hasAlphaChannel();
  const QImage converted = image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  const int w = converted.width(), h = converted.height();
  cairo_surface_t* surface = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) std::memcpy(data + size_t(y) * stride, converted.constScanLine(y), size_t(w) * 4);
  cairo_surface_mark_dirty(surface);
  // A picture shown on every page (a logo) is written into the file once: the same
  // pixels have the same identity.
  const std::string id = Format("rpt-image-%dx%d-%d-", w, h, int(alpha)) +
                         std::to_string(std::hash<std::string_view>()(std::string_view(
                             reinterpret_cast<const char*>(converted.constBits()), size_t(converted.sizeInBytes()))));
  auto* idBytes = static_cast<unsigned char*>(std::malloc(id.size()));
  if (idBytes) {
    std::memcpy(idBytes, id.data(), id.size());
    cairo_surface_set_mime_data(surface, CAIRO_MIME_TYPE_UNIQUE_ID, idBytes, id.size(), std::free, idBytes);
  }
  cairo_save(FCr);
  if (!UseTransform()) {
    cairo_restore(FCr);
    cairo_surface_destroy(surface);
    return;
  }
  cairo_new_path(FCr);
  cairo_rectangle(FCr, r.x(), r.y(), r.width(), r.height());
  cairo_clip(FCr);
  cairo_translate(FCr, r.x(), r.y());
  cairo_scale(FCr, r.width() / sr.width(), r.height() / sr.height());
  cairo_translate(FCr, -sr.x(), -sr.y());
  cairo_set_source_surface(FCr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(FCr), FSmoothImages ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_paint(FCr);
  cairo_restore(FCr);
  cairo_surface_destroy(surface);
}

void TPdfPaintEngine::drawPixmap(const QRectF& r, const QPixmap& pixmap, const QRectF& sr) {
  drawImage(r, pixmap.toImage(), sr, Qt::AutoColor);
}

void TPdfPaintEngine::NextGlyphRun(const QGlyphRun& run, const QPointF& origin, const QString& text) {
  FHasPending = true;
  FPendingRun = run;
  FPendingOrigin = origin;
  FPendingText = text;
}

void TPdfPaintEngine::drawTextItem(const QPointF& p, const QTextItem& item) {
  if (FHasPending) {
    FHasPending = false;
    DrawRun(FPendingRun, FPendingOrigin, FPendingText);
    return;
  }
  // Text drawn by other callers than the player is laid out again from its characters.
  DrawLaidOut(item.text(), item.font(), p);
}

void TPdfPaintEngine::DrawLaidOut(const QString& text, const QFont& font, const QPointF& baseline) {
  QTextLayout layout(text, font);
  const QTextLine line = LayOutOneLine(layout, Qt::LayoutDirectionAuto);
  if (!line.isValid()) return;
  const QList<QGlyphRun> runs = layout.glyphRuns();
  for (const QGlyphRun& run : runs) DrawRun(run, baseline - QPointF(0, line.ascent()), runs.size() == 1 ? text : QString());
}

void TPdfPaintEngine::DrawRun(const QGlyphRun& run, const QPointF& origin, const QString& text) {
  // Each text of a row is a cell of it.
  if (InRow()) {
    cairo_tag_begin(FCr, "TD", nullptr);
    DrawRunContent(run, origin, text);
    cairo_tag_end(FCr, "TD");
    return;
  }
  DrawRunContent(run, origin, text);
}

void TPdfPaintEngine::DrawRunContent(const QGlyphRun& run, const QPointF& origin, const QString& text) {
  const QList<quint32> indexes = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  const qsizetype n = std::min(indexes.size(), positions.size());
  const QRawFont raw = run.rawFont();
  if (!raw.isValid() || n == 0) {
    // No face at all for these characters: nothing is drawn, and the gap is told.
    NoteMissing(raw, text);
    return;
  }
  // The toolkit's stand-in when no installed face has the characters: boxes, in no file.
  // Consecutive runs mostly share their font: what was found for it is kept.
  if (!(FLastRaw == raw)) {
    FLastRaw = raw;
    FLastNoFace = raw.fontTable("cmap").isEmpty();
    FLastFace = FLastNoFace ? nullptr : FaceFor(raw);
  }
  const bool noFace = FLastNoFace;
  if (noFace || std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x80; }))
    NoteMissing(noFace ? QRawFont() : raw, text);
  const double size = raw.pixelSize();
  if (!(size > 0 && size < 1e6)) return;
  Recover();
  ApplyClip();
  if (!UseTransform()) return;
  SetSource(FPen.brush());
  if (noFace) {
    // Hollow boxes, as a missing glyph looks, never solid bars.
    cairo_new_path(FCr);
    for (qsizetype i = 0; i < n; ++i) {
      const QRectF box = raw.pathForGlyph(indexes[i]).boundingRect().translated(origin + positions[i]);
      const double inset = box.width() / 8;
      cairo_rectangle(FCr, box.x() + inset, box.y(), box.width() - 2 * inset, box.height());
    }
    UseBase();
    cairo_set_line_width(FCr, FResolution / 144.0);
    cairo_set_dash(FCr, nullptr, 0, 0);
    cairo_stroke(FCr);
    return;
  }
  cairo_font_face_t* face = FLastFace;
  if (!face) {
    // A face the font library cannot name: its outlines, still the right shapes.
    cairo_new_path(FCr);
    for (qsizetype i = 0; i < n; ++i) AppendPath(raw.pathForGlyph(indexes[i]).translated(origin + positions[i]));
    cairo_set_fill_rule(FCr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(FCr);
    return;
  }
  cairo_set_font_face(FCr, face);
  cairo_matrix_t fontMatrix;
  cairo_get_font_matrix(FCr, &fontMatrix);
  if (!(fontMatrix.xx == size && fontMatrix.yy == size && fontMatrix.xy == 0 && fontMatrix.yx == 0 &&
        fontMatrix.x0 == 0 && fontMatrix.y0 == 0))
    cairo_set_font_size(FCr, size);
  std::vector<cairo_glyph_t> glyphs(static_cast<size_t>(n));
  for (qsizetype i = 0; i < n; ++i)
    glyphs[size_t(i)] = {indexes[i], origin.x() + positions[i].x(), origin.y() + positions[i].y()};
  const QByteArray utf8 = text.toUtf8();
  if (utf8.isEmpty()) {
    cairo_show_glyphs(FCr, glyphs.data(), int(n));
    return;
  }
  // One glyph a character maps each glyph to its character; otherwise (ligatures, marks,
  // a right-to-left run) the run's characters stand for all its glyphs together.
  // Runs keep their glyphs in logical order, right-to-left ones too (placed leftwards).
  std::vector<cairo_text_cluster_t> clusters;
  const bool simple =
      n == text.size() && std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
  if (simple) {
    clusters.reserve(size_t(n));
    for (QChar c : text) clusters.push_back({c.unicode() < 0x80 ? 1 : c.unicode() < 0x800 ? 2 : 3, 1});
  } else {
    clusters.push_back({int(utf8.size()), int(n)});
  }
  cairo_show_text_glyphs(FCr, utf8.constData(), int(utf8.size()), glyphs.data(), int(n), clusters.data(),
                         int(clusters.size()), cairo_text_cluster_flags_t(0));
}

// The font file the toolkit drew the run with, found through the font configuration by
// family and style and checked by its header table, so glyph numbers mean the same glyphs.
cairo_font_face_t* TPdfPaintEngine::FaceFor(const QRawFont& font) {
  const QByteArray head = font.fontTable("head");
  const QString key = QString::fromLatin1(head.toHex()) + QLatin1Char('\n') + QString::number(font.weight()) +
                      QLatin1Char('\n') + QString::number(int(font.style()));
  if (auto it = FFaces.find(key); it != FFaces.end()) return it->second;
  cairo_font_face_t*& face = FFaces[key];
  if (!FFreeType && FT_Init_FreeType(&FFreeType) != 0) FFreeType = nullptr;
  const QByteArray family = FamilyOf(font).toUtf8();
  if (family.isEmpty() || head.isEmpty()) return face;
  FcPattern* query = FcPatternCreate();
  FcPatternAddString(query, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_WEIGHT, nullptr);
  FcFontSet* set = FcFontList(nullptr, query, objects);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(query);
  FcPattern* chosen = nullptr;
  for (int i = 0; set && i < set->nfont && !chosen; ++i) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
    FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
    bool same = false;
    FT_Face ft = nullptr;
    if (FFreeType && FT_New_Face(FFreeType, reinterpret_cast<const char*>(file), index, &ft) == 0) {
      FT_ULong length = 0;
      if (FT_Load_Sfnt_Table(ft, TTAG_head, 0, nullptr, &length) == 0 && length == FT_ULong(head.size())) {
        QByteArray bytes(qsizetype(length), '\0');
        same = FT_Load_Sfnt_Table(ft, TTAG_head, 0, reinterpret_cast<FT_Byte*>(bytes.data()), &length) == 0 &&
               bytes == head;
      }
      FT_Done_Face(ft);
    }
    if (same) chosen = set->fonts[i];
  }
  if (chosen) {
    FcChar8* file = nullptr;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetString(chosen, FC_FILE, 0, &file);
    FcPatternGetInteger(chosen, FC_INDEX, 0, &index);
    FcPatternGetInteger(chosen, FC_WEIGHT, 0, &weight);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FILE, file);
    FcPatternAddInteger(pattern, FC_INDEX, index);
    // A bold asked of a family without one: the toolkit thickens the regular face.
    if (font.weight() >= QFont::DemiBold && weight < FC_WEIGHT_DEMIBOLD) FcPatternAddBool(pattern, FC_EMBOLDEN, FcTrue);
    face = cairo_ft_font_face_create_for_pattern(pattern);
    FcPatternDestroy(pattern);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
      cairo_font_face_destroy(face);
      face = nullptr;
    }
  }
  if (set) FcFontSetDestroy(set);
  return face;
}

void TPdfPaintEngine::NoteMissing(const QRawFont& font, const QString& text) {
  for (int i = 0; i < text.size(); ++i) {
    char32_t c = text.at(i).unicode();
    if (text.at(i).isHighSurrogate() && i + 1 < text.size()) c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
    const QChar::Category category = QChar::category(c);
    if (QChar::isSpace(c) || category == QChar::Other_Format || category == QChar::Other_Control ||
        (font.isValid() && font.supportsCharacter(c)))
      continue;
    const char* script = ScriptName(QChar::script(c));
    const QString key = (font.isValid() ? FamilyOf(font) : QString()) + QLatin1Char('\n') +
                        QString::fromLatin1(script ? script : "?");
    if (!FMissingKeys.insert(key).second) return;
    FMissing.push_back(Format("No installed font shows %s text (\"%s\"): install fonts-noto-core",
                              script ? script : "some", text.toStdString()));
    return;
  }
}

// ---------------------------------------------------------------------------

TPdfDocument::TPdfDocument(const std::string& fileName, const QSizeF& pageMM, int dpi)
    : FEngine(std::make_unique<TPdfPaintEngine>(fileName, pageMM, dpi)) {}

TPdfDocument::~TPdfDocument() = default;

void TPdfDocument::SetInfo(const std::string& title, const std::string& creator, const QDateTime& created) {
  FEngine->SetInfo(title, creator, created);
}

void TPdfDocument::SetPageSize(const QSizeF& pageMM) { FEngine->SetPageSize(pageMM); }

void TPdfDocument::NewPage() { FEngine->NewPage(); }

bool TPdfDocument::Finish() {
  if (FEngine->isActive() && FEngine->painter()) FEngine->painter()->end();
  return FEngine->Finish();
}

std::string TPdfDocument::Error() const { return FEngine->FError; }

const std::vector<std::string>& TPdfDocument::MissingFontMessages() const { return FEngine->FMissing; }

int TPdfDocument::Width() const {
  return static_cast<int>(std::lround(FEngine->FPageMM.width() / 25.4 * FEngine->FResolution));
}
int TPdfDocument::Height() const {
  return static_cast<int>(std::lround(FEngine->FPageMM.height() / 25.4 * FEngine->FResolution));
}

QPaintEngine* TPdfDocument::paintEngine() const { return FEngine.get(); }

int TPdfDocument::metric(PaintDeviceMetric metric) const {
  switch (metric) {
    case PdmWidth: return Width();
    case PdmHeight: return Height();
    case PdmWidthMM: return static_cast<int>(std::lround(FEngine->FPageMM.width()));
    case PdmHeightMM: return static_cast<int>(std::lround(FEngine->FPageMM.height()));
    case PdmNumColors: return INT_MAX;
    case PdmDepth: return 32;
    case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return FEngine->FResolution;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
    default: return 0;
  }
}

}  // namespace rpt
