#include "output/QRPdfDocument.h"

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
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "framework/Canvas.h"
#include "framework/MetafilePlayer.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/PdfWriter.h"

namespace rpt {

namespace {

// A page's size in points: a standard paper's when it is within a few points of one,
// else the size in whole points (as printers and other writers size their pages).
QSizeF PagePoints(const QSizeF& mm) {
  const QSize points = QPageSize(mm, QPageSize::Millimeter).sizePoints();
  if (!points.isEmpty()) return QSizeF(points);
  return QSizeF(mm.width() / 25.4 * 72.0, mm.height() / 25.4 * 72.0);
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
// The drawing calls of a page, recorded by the paint engine with all the toolkit's work
// (layout, glyph runs, pictures, clips) already done, and made by the writer: at each page
// end on the painting thread, or on a thread of the document's own while the next page is
// painted. The writer keeps no state of the painter's, so the file is the same either way.

enum class TOpKind : uint8_t {
  StructBegin, StructEnd, Link, Destination, Outline, Save, Restore, SetMatrix, NewPath, MoveTo, LineTo, CurveTo,
  ClosePath, Rectangle, FillRule, Fill, FillPreserve, Stroke, Clip, ResetClip, LineWidth, LineCap, LineJoin,
  MiterLimit, Dash, SourceRgba, SourceHatch, SourceImage, Paint, Translate, Scale, ShowGlyphs, PageSize, Metadata,
  ShowPage
};

struct TOp {
  TOpKind Kind;
  int32_t I[4] = {};  // indexes into the page's lists, counts, flags
  double D[6] = {};
};

struct TPageOps {
  // Emptied for the next page, keeping the room it took.
  void Clear() {
    Ops.clear();
    Chars.clear();
    Text.clear();
    Glyphs.clear();
    Numbers.clear();
    Images.clear();
    ImageKeys.clear();
    Jpegs.clear();
    Faces.clear();
  }
  std::string_view String(int32_t at) const { return std::string_view(Chars.data() + at); }
  std::vector<TOp> Ops;
  std::string Chars;  // the strings, each ended by a zero
  std::u16string Text;  // the texts the glyphs stand for
  std::vector<TPdfGlyph> Glyphs;
  std::vector<double> Numbers;
  std::vector<QImage> Images;
  std::vector<uint64_t> ImageKeys;
  std::vector<std::shared_ptr<const std::string>> Jpegs;  // pictures kept as their JPEGs
  std::vector<TPdfFaceSource> Faces;
};

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
  void NextPicture(std::string_view jpeg) override { FPendingJpeg = jpeg; }

  void SetInfo(const std::string& title, const std::string& creator, const QDateTime& created);
  void SetPageSize(const QSizeF& pageMM);
  void NewPage();
  bool Finish();
  void StartWriter();
  bool Failed() const { return FFailed.load(std::memory_order_relaxed); }

  QSizeF FPageMM;
  const int FResolution;
  std::string FError;
  std::vector<std::string> FMissing;

 private:
  // Recording, on the painting thread.
  TOp& Add(TOpKind kind);
  void Add(TOpKind kind, double d0, double d1 = 0, double d2 = 0, double d3 = 0, double d4 = 0, double d5 = 0);
  int32_t AddString(std::string_view s);
  int32_t AddImage(const QImage& image);
  int32_t AddJpeg(const QImage& image, std::string_view jpeg);
  void Structure(TOpKind kind, const std::string& role);
  void ApplyClip();
  bool UseTransform();
  void UseBase() { SetMatrix(FBase); }
  void SetMatrix(const QTransform& t);
  void AppendPath(const QPainterPath& path);
  void SetSource(const QBrush& brush);
  void Paint(bool fill, bool stroke, Qt::FillRule rule);
  void Stroke();
  void DrawRun(const QGlyphRun& run, const QPointF& origin, const QString& text);
  void DrawRunContent(const QGlyphRun& run, const QPointF& origin, const QString& text);
  void DrawLaidOut(const QString& text, const QFont& font, const QPointF& baseline);
  const TPdfFaceSource* FaceFor(const QRawFont& font);
  void NoteMissing(const QRawFont& font, const QString& text);
  void Deliver();

  // Writing, on the writer's thread once it runs.
  bool Write(const char* data, size_t length);
  void Play(const TPageOps& page);
  void PlayOp(const TPageOps& page, const TOp& op);
  void WriterLoop();
  void StopWriter(bool abort);

  std::unique_ptr<TPageOps> FPage = std::make_unique<TPageOps>();

  // The font of the last text run and what was found for it.
  QRawFont FLastRaw;
  bool FLastNoFace = false;
  const TPdfFaceSource* FLastFace = nullptr;

  FILE* FFile = nullptr;
  std::string FFileName;
  bool FFinished = false;
  int FPageNumber = 1;
  // The outline entries that can still take children, outermost first, by the writer's
  // numbers for them (given in order from 1).
  struct TOutlineEntry {
    int32_t Level;
    int Id;
  };
  std::vector<TOutlineEntry> FOutline;
  int FOutlineCount = 0;
  std::set<std::string> FDestinations;
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
  // The clip: the paths it is the intersection of (device units), as the painter hands
  // them over, and as last written.
  void TakeClip(Qt::ClipOperation operation, const QPainterPath& path);
  bool FClipDirty = true;
  bool FClipEnabled = false;
  std::vector<QPainterPath> FClipPaths;
  bool FHasClip = false;
  std::vector<QPainterPath> FClip;

  bool FHasPending = false;
  QGlyphRun FPendingRun;
  QPointF FPendingOrigin;
  QString FPendingText;
  // The JPEG the next picture was decoded from, the player's until that picture is drawn.
  std::string_view FPendingJpeg;

  FT_Library FFreeType = nullptr;
  std::map<QString, std::unique_ptr<TPdfFaceSource>> FFaces;  // none: no file found
  std::set<QString> FMissingKeys;

  // The writer's.
  std::unique_ptr<TPdfWriter> FWriter;
  int FWriteErrno = 0;
  std::string FWriterError;

  // Pages handed to the writer's thread: a few at most wait, so memory stays flat.
  static constexpr size_t kPagesAhead = 3;
  std::thread FThread;
  std::mutex FMutex;
  std::condition_variable FQueued, FTaken;
  std::deque<std::unique_ptr<TPageOps>> FQueue;
  std::vector<std::unique_ptr<TPageOps>> FSpare;  // written pages, emptied for reuse
  bool FClosing = false;
  bool FAbort = false;
  std::atomic<bool> FFailed{false};
};

TPdfPaintEngine::TPdfPaintEngine(const std::string& fileName, const QSizeF& pageMM, int dpi)
    : QPaintEngine(QPaintEngine::PaintEngineFeatures(QPaintEngine::AllFeatures) & ~QPaintEngine::RasterOpModes),
      FPageMM(pageMM), FResolution(std::clamp(dpi, 72, 9600)), FFileName(fileName) {
  FFile = std::fopen(fileName.c_str(), "wb");
  if (!FFile) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(errno)));
  std::setvbuf(FFile, nullptr, _IOFBF, 1 << 20);
  FWriter = std::make_unique<TPdfWriter>([this](const char* data, size_t length) { return Write(data, length); });
  const QSizeF points = PagePoints(pageMM);
  FWriter->SetPageSize(points.width(), points.height());
}

TPdfPaintEngine::~TPdfPaintEngine() {
  // Left unfinished (a failure while painting): the pages still waiting are not written.
  if (!FFinished) StopWriter(true);
  Finish();
  if (FFreeType) FT_Done_FreeType(FFreeType);
}

bool TPdfPaintEngine::Write(const char* data, size_t length) {
  if (FWriteErrno) return false;
  if (const int injected = InjectedWriteFailure("pdf write")) {
    FWriteErrno = injected;
    return false;
  }
  if (std::fwrite(data, 1, length, FFile) != length) {
    FWriteErrno = errno ? errno : EIO;
    return false;
  }
  return true;
}

TOp& TPdfPaintEngine::Add(TOpKind kind) {
  TOp& op = FPage->Ops.emplace_back();
  op.Kind = kind;
  return op;
}

void TPdfPaintEngine::Add(TOpKind kind, double d0, double d1, double d2, double d3, double d4, double d5) {
  TOp& op = Add(kind);
  op.D[0] = d0;
  op.D[1] = d1;
  op.D[2] = d2;
  op.D[3] = d3;
  op.D[4] = d4;
  op.D[5] = d5;
}

int32_t TPdfPaintEngine::AddString(std::string_view s) {
  const auto at = int32_t(FPage->Chars.size());
  FPage->Chars.append(s);
  FPage->Chars.push_back('\0');
  return at;
}

void TPdfPaintEngine::Structure(TOpKind kind, const std::string& role) {
  const int32_t n = AddString(role);
  Add(kind).I[0] = n;
}

void TPdfPaintEngine::SetInfo(const std::string& title, const std::string& creator, const QDateTime& created) {
  const auto metadata = [this](TPdfWriter::TInfo which, const std::string& value) {
    const int32_t s = AddString(value);
    TOp& op = Add(TOpKind::Metadata);
    op.I[0] = int32_t(which);
    op.I[1] = s;
  };
  if (!title.empty()) metadata(TPdfWriter::TInfo::Title, title);
  if (!creator.empty()) metadata(TPdfWriter::TInfo::Creator, creator);
  if (created.isValid()) {
    // A PDF date: local time and its offset from UTC.
    const int offset = created.offsetFromUtc() / 60;
    QString date = QStringLiteral("D:") + created.toString(QStringLiteral("yyyyMMddHHmmss"));
    if (offset == 0)
      date += QLatin1Char('Z');
    else
      date += QString::asprintf("%c%02d'%02d'", offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    metadata(TPdfWriter::TInfo::Created, date.toStdString());
  }
}

void TPdfPaintEngine::SetPageSize(const QSizeF& pageMM) {
  FPageMM = pageMM;
  const QSizeF points = PagePoints(pageMM);
  Add(TOpKind::PageSize, points.width(), points.height());
}

void TPdfPaintEngine::NewPage() {
  Add(TOpKind::ShowPage);
  Deliver();
  ++FPageNumber;
}

// The page recorded goes to the writer: made at once without a thread of its own, else
// queued once there is room.
void TPdfPaintEngine::Deliver() {
  if (!FThread.joinable()) {
    Play(*FPage);
    FPage->Clear();
    return;
  }
  std::unique_lock lock(FMutex);
  FTaken.wait(lock, [this] { return FQueue.size() < kPagesAhead || FAbort; });
  if (FAbort) {
    FPage->Clear();
    return;
  }
  FQueue.push_back(std::move(FPage));
  FQueued.notify_one();
  if (!FSpare.empty()) {
    FPage = std::move(FSpare.back());
    FSpare.pop_back();
  } else {
    lock.unlock();
    FPage = std::make_unique<TPageOps>();
  }
}

void TPdfPaintEngine::StartWriter() {
  if (FThread.joinable() || FFinished) return;
  FSpare.reserve(kPagesAhead + 2);  // the writer hands pages back without allocating
  FThread = std::thread(&TPdfPaintEngine::WriterLoop, this);
}

void TPdfPaintEngine::WriterLoop() {
  for (;;) {
    std::unique_ptr<TPageOps> page;
    {
      std::unique_lock lock(FMutex);
      FQueued.wait(lock, [this] { return !FQueue.empty() || FClosing || FAbort; });
      if (FAbort || FQueue.empty()) return;
      page = std::move(FQueue.front());
      FQueue.pop_front();
    }
    Play(*page);
    page->Clear();
    std::lock_guard lock(FMutex);
    FSpare.push_back(std::move(page));
    FTaken.notify_one();
  }
}

// Ends the writer's thread once it has written every page queued, or at once (abort).
void TPdfPaintEngine::StopWriter(bool abort) {
  if (!FThread.joinable()) return;
  {
    std::lock_guard lock(FMutex);
    FClosing = true;
    FAbort = FAbort || abort;
  }
  FQueued.notify_one();
  FTaken.notify_one();
  FThread.join();
  FQueue.clear();
  FSpare.clear();
}

void TPdfPaintEngine::Play(const TPageOps& page) {
  try {
    for (const TOp& op : page.Ops) PlayOp(page, op);
  } catch (const std::exception& e) {
    // Only memory runs out here; the document is lost, not the program.
    if (FWriterError.empty()) FWriterError = e.what();
  }
  if (!FWriterError.empty() || FWriter->Failed()) FFailed.store(true, std::memory_order_relaxed);
}

void TPdfPaintEngine::PlayOp(const TPageOps& page, const TOp& op) {
  const double* d = op.D;
  TPdfWriter& w = *FWriter;
  switch (op.Kind) {
    case TOpKind::StructBegin: w.BeginStructure(page.String(op.I[0])); break;
    case TOpKind::StructEnd: w.EndStructure(page.String(op.I[0])); break;
    case TOpKind::Link: w.Link(page.String(op.I[0]), op.I[1] != 0, d[0], d[1], d[2], d[3]); break;
    case TOpKind::Destination: w.Destination(page.String(op.I[0]), d[0], d[1]); break;
    case TOpKind::Outline: w.Outline(op.I[0], page.String(op.I[1]), d[0], d[1], op.I[2] != 0); break;
    case TOpKind::Save: w.Save(); break;
    case TOpKind::Restore: w.Restore(); break;
    case TOpKind::SetMatrix: w.SetMatrix({d[0], d[1], d[2], d[3], d[4], d[5]}); break;
    case TOpKind::NewPath: w.NewPath(); break;
    case TOpKind::MoveTo: w.MoveTo(d[0], d[1]); break;
    case TOpKind::LineTo: w.LineTo(d[0], d[1]); break;
    case TOpKind::CurveTo: w.CurveTo(d[0], d[1], d[2], d[3], d[4], d[5]); break;
    case TOpKind::ClosePath: w.ClosePath(); break;
    case TOpKind::Rectangle: w.Rectangle(d[0], d[1], d[2], d[3]); break;
    case TOpKind::FillRule: w.SetEvenOddFill(op.I[0] != 0); break;
    case TOpKind::Fill: w.Fill(); break;
    case TOpKind::FillPreserve: w.Fill(true); break;
    case TOpKind::Stroke: w.Stroke(); break;
    case TOpKind::Clip: w.Clip(); break;
    case TOpKind::ResetClip: w.ResetClip(); break;
    case TOpKind::LineWidth: w.SetLineWidth(d[0]); break;
    case TOpKind::LineCap: w.SetLineCap(op.I[0]); break;
    case TOpKind::LineJoin: w.SetLineJoin(op.I[0]); break;
    case TOpKind::MiterLimit: w.SetMiterLimit(d[0]); break;
    case TOpKind::Dash: w.SetDash(page.Numbers.data() + op.I[0], op.I[1], d[0]); break;
    case TOpKind::SourceRgba: w.SetColor(d[0], d[1], d[2], d[3]); break;
    case TOpKind::SourceHatch:
      w.SetHatch(page.Images[size_t(op.I[0])], page.ImageKeys[size_t(op.I[0])]);
      break;
    case TOpKind::SourceImage:
      w.SetImage(page.Images[size_t(op.I[0])], page.ImageKeys[size_t(op.I[0])], op.I[1] != 0,
                 op.I[2] > 0 ? page.Jpegs[size_t(op.I[2] - 1)] : nullptr);
      break;
    case TOpKind::Paint: w.Paint(); break;
    case TOpKind::Translate: w.Translate(d[0], d[1]); break;
    case TOpKind::Scale: w.Scale(d[0], d[1]); break;
    case TOpKind::ShowGlyphs:
      w.ShowGlyphs(page.Faces[size_t(op.I[0])], d[0], page.Glyphs.data() + op.I[1], op.I[2],
                   std::u16string_view(page.Text).substr(size_t(op.I[3]), size_t(d[1])), d[2] != 0);
      break;
    case TOpKind::PageSize: w.SetPageSize(d[0], d[1]); break;
    case TOpKind::Metadata: w.SetInfo(TPdfWriter::TInfo(op.I[0]), page.String(op.I[1])); break;
    case TOpKind::ShowPage: w.ShowPage(); break;
  }
}

namespace {

// The destination name of a bookmark title, in ASCII, so a link and its destination
// match byte for byte whatever the title's script.
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
  Structure(TOpKind::StructBegin, "Document");
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
  if (row && !FInTable) Structure(TOpKind::StructBegin, "Table");
  if (!row && FInTable) Structure(TOpKind::StructEnd, "Table");
  FInTable = row;
  Structure(TOpKind::StructBegin, role);
}

void TPdfPaintEngine::EndStructure(const std::string& role) {
  if (FStructure.empty() || FStructure.back().first != role) return;
  if (FStructure.back().second) Structure(TOpKind::StructEnd, role);
  FStructure.pop_back();
}

void TPdfPaintEngine::PageAnnotation(const TPageAnnotation& a, const QRectF& area) {
  if (a.Text.empty() || FFinished) return;
  const double k = 72.0 / FResolution;
  const QRectF r(area.x() * k, area.y() * k, area.width() * k, area.height() * k);
  if (a.Kind == TPageAnnotation::akBookmark) {
    while (!FOutline.empty() && FOutline.back().Level >= a.Level) FOutline.pop_back();
    const int parent = FOutline.empty() ? 0 : FOutline.back().Id;
    const int32_t text = AddString(a.Text);
    TOp& op = Add(TOpKind::Outline);
    op.I[0] = parent;
    op.I[1] = text;
    op.I[2] = a.Level == 0;  // the top entries open
    op.D[0] = r.x();
    op.D[1] = r.y();
    FOutline.push_back({a.Level, ++FOutlineCount});
    // A link to a title goes to its first bookmark.
    if (FDestinations.insert(a.Text).second) {
      const int32_t name = AddString(DestinationName(a.Text));
      TOp& dest = Add(TOpKind::Destination);
      dest.I[0] = name;
      dest.D[0] = r.x();
      dest.D[1] = r.y();
    }
  } else if (a.Kind == TPageAnnotation::akBeginStructure) {
    BeginStructure(a.Text);
  } else if (a.Kind == TPageAnnotation::akEndStructure) {
    EndStructure(a.Text);
  } else if (a.Kind == TPageAnnotation::akLink && IsSafeLinkTarget(a.Text)) {
    const bool internal = a.Text[0] == '#';
    const int32_t target = AddString(internal ? DestinationName(a.Text.substr(1)) : a.Text);
    TOp& op = Add(TOpKind::Link);
    op.I[0] = target;
    op.I[1] = internal;
    op.D[0] = r.x();
    op.D[1] = r.y();
    op.D[2] = r.width();
    op.D[3] = r.height();
  }
}

bool TPdfPaintEngine::Finish() {
  if (FFinished) return FError.empty();
  FFinished = true;
  for (auto it = FStructure.rbegin(); it != FStructure.rend(); ++it)
    if (it->second) Structure(TOpKind::StructEnd, it->first);
  FStructure.clear();
  if (FInTable) Structure(TOpKind::StructEnd, "Table");
  if (FInDocumentTag) Structure(TOpKind::StructEnd, "Document");
  Add(TOpKind::ShowPage);
  Deliver();
  StopWriter(false);
  bool written = false;
  try {
    written = FWriter->Finish();
  } catch (const std::exception& e) {
    if (FWriterError.empty()) FWriterError = e.what();
  }
  if (std::fflush(FFile) != 0 && !FWriteErrno) FWriteErrno = errno ? errno : EIO;
  if (std::fclose(FFile) != 0 && !FWriteErrno) FWriteErrno = errno ? errno : EIO;
  FFile = nullptr;
  if (FWriteErrno)
    FError = Format("Cannot write file \"%s\". %s", FFileName, std::strerror(FWriteErrno));
  else if (!FWriterError.empty())
    FError = Format("Cannot write file \"%s\". %s", FFileName, FWriterError);
  else if (!written)
    FError = Format("Cannot write file \"%s\"", FFileName);
  return FError.empty();
}

// A transform that cannot be undone (scaled to nothing by a damaged page) draws nothing
// a reader could show, and numbers beyond a reader's range: such drawing is skipped.
bool TPdfPaintEngine::UseTransform() {
  const QTransform t = FTransform * FBase;
  const double v[6] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
  if (!std::all_of(std::begin(v), std::end(v), [](double x) { return std::isfinite(x) && std::fabs(x) < 1e9; }))
    return false;
  const double det = t.m11() * t.m22() - t.m12() * t.m21();
  if (!(std::fabs(det) > 1e-12)) return false;
  SetMatrix(t);
  return true;
}

void TPdfPaintEngine::SetMatrix(const QTransform& t) {
  Add(TOpKind::SetMatrix, t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy());
}

void TPdfPaintEngine::updateState(const QPaintEngineState& state) {
  const DirtyFlags flags = state.state();
  if (flags & DirtyPen) FPen = state.pen();
  if (flags & DirtyBrush) FBrush = state.brush();
  if (flags & DirtyBrushOrigin) FBrushOrigin = state.brushOrigin();
  if (flags & DirtyTransform) FTransform = state.transform();
  if (flags & DirtyHints) FSmoothImages = state.renderHints() & QPainter::SmoothPixmapTransform;
  if (flags & DirtyClipEnabled) {
    FClipEnabled = state.isClipEnabled();
    FClipDirty = true;
  }
  if (flags & DirtyClipPath) TakeClip(state.clipOperation(), state.transform().map(state.clipPath()));
  if (flags & DirtyClipRegion) {
    QPainterPath region;
    region.addRegion(state.clipRegion());
    TakeClip(state.clipOperation(), state.transform().map(region));
  }
}

// Each clip operation as the painter hands it over, under the transform it was set with
// (the painter hands it over at once, and again, one by one, when a saved state comes
// back). Asking the painter for its whole clip instead makes it intersect regions of
// device pixels each time, which a page changing its clip often makes slow.
void TPdfPaintEngine::TakeClip(Qt::ClipOperation operation, const QPainterPath& path) {
  FClipDirty = true;
  if (operation == Qt::NoClip) {
    FClipPaths.clear();
    return;
  }
  if (operation == Qt::ReplaceClip) FClipPaths.clear();
  FClipPaths.push_back(path);
}

// The clip, written when a drawing needs it; an unchanged one is not written again.
void TPdfPaintEngine::ApplyClip() {
  if (!FClipDirty) return;
  FClipDirty = false;
  const bool has = FClipEnabled && !FClipPaths.empty();
  if (has == FHasClip && (!has || FClipPaths == FClip)) return;
  FHasClip = has;
  FClip = has ? FClipPaths : std::vector<QPainterPath>();
  Add(TOpKind::ResetClip).I[0] = has;
  if (!has) return;
  UseBase();
  for (const QPainterPath& clip : FClip) {
    Add(TOpKind::NewPath);
    AppendPath(clip);
    Add(TOpKind::FillRule).I[0] = clip.fillRule() == Qt::OddEvenFill;
    Add(TOpKind::Clip);
  }
}

void TPdfPaintEngine::AppendPath(const QPainterPath& path) {
  const int n = path.elementCount();
  QPointF start;
  for (int i = 0; i < n; ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    switch (e.type) {
      case QPainterPath::MoveToElement:
        Add(TOpKind::MoveTo, e.x, e.y);
        start = e;
        break;
      case QPainterPath::LineToElement:
        // A figure that comes back to its start is closed, so its corner is joined.
        if (QPointF(e) == start && (i + 1 == n || path.elementAt(i + 1).isMoveTo()))
          Add(TOpKind::ClosePath);
        else
          Add(TOpKind::LineTo, e.x, e.y);
        break;
      case QPainterPath::CurveToElement:
        if (i + 2 < n) {
          const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
          Add(TOpKind::CurveTo, e.x, e.y, c2.x, c2.y, end.x, end.y);
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
    Add(TOpKind::SourceHatch).I[0] = AddImage(cell.convertToFormat(QImage::Format_RGBA8888));
    return;
  }
  const QColor c = brush.color();
  Add(TOpKind::SourceRgba, c.redF(), c.greenF(), c.blueF(), c.alphaF());
}

void TPdfPaintEngine::Stroke() {
  // A cosmetic pen is as wide on the device whatever the transform.
  double width = FPen.widthF();
  if (FPen.isCosmetic()) {
    UseBase();
    if (width <= 0) width = 1;
  }
  Add(TOpKind::LineWidth, width);
  switch (FPen.capStyle()) {
    case Qt::SquareCap: Add(TOpKind::LineCap).I[0] = 2; break;
    case Qt::RoundCap: Add(TOpKind::LineCap).I[0] = 1; break;
    default: Add(TOpKind::LineCap).I[0] = 0; break;
  }
  switch (FPen.joinStyle()) {
    case Qt::BevelJoin: Add(TOpKind::LineJoin).I[0] = 2; break;
    case Qt::RoundJoin: Add(TOpKind::LineJoin).I[0] = 1; break;
    default: Add(TOpKind::LineJoin).I[0] = 0; break;
  }
  Add(TOpKind::MiterLimit, std::max(1.0, 2 * FPen.miterLimit()));
  if (FPen.style() != Qt::SolidLine) {
    // Dashes are in pen widths; a cosmetic pen's in screen pixels, as the preview shows
    // them (in device units they would be too short to see).
    const double unit = FPen.isCosmetic() ? std::max(width, 1.0) * FResolution / 96.0 : std::max(width, 1.0);
    const int32_t at = int32_t(FPage->Numbers.size());
    for (qreal d : FPen.dashPattern()) FPage->Numbers.push_back(d * unit);
    TOp& op = Add(TOpKind::Dash);
    op.I[0] = at;
    op.I[1] = int32_t(FPage->Numbers.size()) - at;
    op.D[0] = FPen.dashOffset() * unit;
  } else {
    Add(TOpKind::Dash);
  }
  SetSource(FPen.brush());
  Add(TOpKind::Stroke);
}

void TPdfPaintEngine::Paint(bool fill, bool stroke, Qt::FillRule rule) {
  fill = fill && FBrush.style() != Qt::NoBrush;
  stroke = stroke && FPen.style() != Qt::NoPen;
  if (fill) {
    SetSource(FBrush);
    Add(TOpKind::FillRule).I[0] = rule == Qt::OddEvenFill;
    Add(stroke ? TOpKind::FillPreserve : TOpKind::Fill);
  }
  if (stroke) Stroke();
  Add(TOpKind::NewPath);
}

void TPdfPaintEngine::drawPath(const QPainterPath& path) {
  FPendingJpeg = {};
  ApplyClip();
  if (!UseTransform()) return;
  Add(TOpKind::NewPath);
  AppendPath(path);
  Paint(true, true, path.fillRule());
}

void TPdfPaintEngine::drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) {
  FPendingJpeg = {};
  if (count < 1) return;
  ApplyClip();
  if (!UseTransform()) return;
  Add(TOpKind::NewPath);
  Add(TOpKind::MoveTo, points[0].x(), points[0].y());
  for (int i = 1; i < count; ++i) Add(TOpKind::LineTo, points[i].x(), points[i].y());
  if (mode != PolylineMode) Add(TOpKind::ClosePath);
  Paint(mode != PolylineMode, true, mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
}

void TPdfPaintEngine::drawRects(const QRectF* rects, int count) {
  FPendingJpeg = {};
  ApplyClip();
  if (!UseTransform()) return;
  for (int i = 0; i < count; ++i) {
    Add(TOpKind::NewPath);
    Add(TOpKind::Rectangle, rects[i].x(), rects[i].y(), rects[i].width(), rects[i].height());
    Paint(true, true, Qt::WindingFill);
    if (FPen.isCosmetic() && FPen.style() != Qt::NoPen && !UseTransform()) return;
  }
}

// A picture shown on every page (a logo) is written into the file once: the same pixels
// have the same identity.
int32_t TPdfPaintEngine::AddImage(const QImage& image) {
  const std::string_view bytes(reinterpret_cast<const char*>(image.constBits()), size_t(image.sizeInBytes()));
  uint64_t key = std::hash<std::string_view>()(bytes);
  for (uint64_t v : {uint64_t(image.width()), uint64_t(image.height()), uint64_t(image.format())})
    key = (key ^ v) * 0x100000001B3ull;
  FPage->Images.push_back(image);
  FPage->ImageKeys.push_back(key);
  return int32_t(FPage->Images.size() - 1);
}

// A picture kept as its JPEG: the same bytes at the same size are the same picture.
int32_t TPdfPaintEngine::AddJpeg(const QImage& image, std::string_view jpeg) {
  uint64_t key = std::hash<std::string_view>()(jpeg);
  for (uint64_t v : {uint64_t(image.width()), uint64_t(image.height()), uint64_t(0x4A504547)})
    key = (key ^ v) * 0x100000001B3ull;
  FPage->Images.push_back(image);
  FPage->ImageKeys.push_back(key);
  FPage->Jpegs.push_back(std::make_shared<const std::string>(jpeg));
  return int32_t(FPage->Images.size() - 1);
}

void TPdfPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags) {
  const std::string_view jpeg = std::exchange(FPendingJpeg, {});
  if (image.isNull() || sr.isEmpty() || r.isEmpty()) return;
  ApplyClip();
  // The JPEG is kept only for the picture decoded from it, and when every reader shows it so.
  TJpegFrame frame;
  const bool keepJpeg = !jpeg.empty() && ReadJpegFrame(jpeg, frame) && frame.Passable &&
                        frame.Width == image.width() && frame.Height == image.height();
  const int32_t index =
      keepJpeg ? AddJpeg(image, jpeg)
               : AddImage(image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                                        : QImage::Format_RGB888));
  Add(TOpKind::Save);
  if (!UseTransform()) {
    Add(TOpKind::Restore);
    return;
  }
  // Part of a picture is cut out by a clip; a whole one needs none.
  if (sr != QRectF(image.rect())) {
    Add(TOpKind::NewPath);
    Add(TOpKind::Rectangle, r.x(), r.y(), r.width(), r.height());
    Add(TOpKind::Clip);
  }
  Add(TOpKind::Translate, r.x(), r.y());
  Add(TOpKind::Scale, r.width() / sr.width(), r.height() / sr.height());
  Add(TOpKind::Translate, -sr.x(), -sr.y());
  TOp& source = Add(TOpKind::SourceImage);
  source.I[0] = index;
  source.I[1] = FSmoothImages;
  source.I[2] = keepJpeg ? int32_t(FPage->Jpegs.size()) : 0;
  Add(TOpKind::Paint);
  Add(TOpKind::Restore);
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
  FPendingJpeg = {};
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
    Structure(TOpKind::StructBegin, "TD");
    DrawRunContent(run, origin, text);
    Structure(TOpKind::StructEnd, "TD");
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
  ApplyClip();
  if (!UseTransform()) return;
  SetSource(FPen.brush());
  if (noFace) {
    // Hollow boxes, as a missing glyph looks, never solid bars.
    Add(TOpKind::NewPath);
    for (qsizetype i = 0; i < n; ++i) {
      const QRectF box = raw.pathForGlyph(indexes[i]).boundingRect().translated(origin + positions[i]);
      const double inset = box.width() / 8;
      Add(TOpKind::Rectangle, box.x() + inset, box.y(), box.width() - 2 * inset, box.height());
    }
    UseBase();
    Add(TOpKind::LineWidth, FResolution / 144.0);
    Add(TOpKind::Dash);
    Add(TOpKind::Stroke);
    return;
  }
  const TPdfFaceSource* face = FLastFace;
  if (!face) {
    // A face the font library cannot name: its outlines, still the right shapes.
    Add(TOpKind::NewPath);
    for (qsizetype i = 0; i < n; ++i) AppendPath(raw.pathForGlyph(indexes[i]).translated(origin + positions[i]));
    Add(TOpKind::FillRule).I[0] = 0;
    Add(TOpKind::Fill);
    return;
  }
  TPageOps& page = *FPage;
  if (page.Faces.empty() || !(page.Faces.back().File == face->File && page.Faces.back().Index == face->Index &&
                              page.Faces.back().Embolden == face->Embolden))
    page.Faces.push_back(*face);
  const int32_t firstGlyph = int32_t(page.Glyphs.size());
  for (qsizetype i = 0; i < n; ++i)
    page.Glyphs.push_back({indexes[i], origin.x() + positions[i].x(), origin.y() + positions[i].y()});
  // One glyph a character maps each glyph to its character; otherwise (ligatures, marks,
  // a right-to-left run) the run's characters stand for all its glyphs together.
  // Runs keep their glyphs in logical order, right-to-left ones too (placed leftwards).
  const bool simple =
      n == text.size() && std::none_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
  const auto firstChar = int32_t(page.Text.size());
  page.Text.append(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size()));
  TOp& op = Add(TOpKind::ShowGlyphs);
  op.I[0] = int32_t(page.Faces.size() - 1);
  op.I[1] = firstGlyph;
  op.I[2] = int32_t(n);
  op.I[3] = firstChar;
  op.D[0] = size;
  op.D[1] = double(text.size());
  op.D[2] = simple;
}

// The font file the toolkit drew the run with, found through the font configuration by
// family and style and checked by its header table, so glyph numbers mean the same glyphs.
const TPdfFaceSource* TPdfPaintEngine::FaceFor(const QRawFont& font) {
  const QByteArray head = font.fontTable("head");
  const QString key = QString::fromLatin1(head.toHex()) + QLatin1Char('\n') + QString::number(font.weight()) +
                      QLatin1Char('\n') + QString::number(int(font.style()));
  if (auto it = FFaces.find(key); it != FFaces.end()) return it->second.get();
  std::unique_ptr<TPdfFaceSource>& face = FFaces[key];
  if (!FFreeType && FT_Init_FreeType(&FFreeType) != 0) FFreeType = nullptr;
  const QByteArray family = FamilyOf(font).toUtf8();
  if (family.isEmpty() || head.isEmpty()) return nullptr;
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
    // A bold asked of a family without one: the toolkit thickens the regular face.
    const bool embolden = font.weight() >= QFont::DemiBold && weight < FC_WEIGHT_DEMIBOLD;
    face = std::make_unique<TPdfFaceSource>(TPdfFaceSource{reinterpret_cast<const char*>(file), index, embolden});
  }
  if (set) FcFontSetDestroy(set);
  return face.get();
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

void TPdfDocument::WriteOnOwnThread() { FEngine->StartWriter(); }

bool TPdfDocument::Failed() const { return FEngine->Failed(); }

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
