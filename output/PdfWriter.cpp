#include "output/PdfWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "framework/Canvas.h"

namespace rpt {

namespace {

// Page content is compressed for speed rather than the last byte: it is mostly numbers
// and glyph codes, which the fast levels already take to a fifth.
constexpr int kContentLevel = 3;
constexpr int kDataLevel = 6;

void Note(std::vector<int>& list, int object) {
  if (std::find(list.begin(), list.end(), object) == list.end()) list.push_back(object);
}

void AppendHex(std::string& out, const uint8_t* bytes, size_t n) {
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
}

void AppendUtf16(std::string& out, std::u16string_view text) {
  out += "<FEFF";
  for (char16_t c : text) {
    const uint8_t bytes[2] = {uint8_t(c >> 8), uint8_t(c)};
    AppendHex(out, bytes, 2);
  }
  out += '>';
}

void AppendMatrix(std::string& out, const TPdfMatrix& m) {
  for (double v : {m.XX, m.YX, m.XY, m.YY}) {
    AppendNumber(out, v, 5);
    out += ' ';
  }
  AppendNumber(out, m.X0, 3);
  out += ' ';
  AppendNumber(out, m.Y0, 3);
  out += " cm\n";
}

}  // namespace

TPdfMatrix TPdfMatrix::After(const TPdfMatrix& f) const {
  TPdfMatrix r;
  r.XX = XX * f.XX + XY * f.YX;
  r.YX = YX * f.XX + YY * f.YX;
  r.XY = XX * f.XY + XY * f.YY;
  r.YY = YX * f.XY + YY * f.YY;
  r.X0 = XX * f.X0 + XY * f.Y0 + X0;
  r.Y0 = YX * f.X0 + YY * f.Y0 + Y0;
  return r;
}

bool TPdfMatrix::Invertible() const {
  const double det = XX * YY - XY * YX;
  return std::isfinite(det) && std::fabs(det) > 1e-12;
}

TPdfMatrix TPdfMatrix::Inverted() const {
  const double det = XX * YY - XY * YX;
  TPdfMatrix r;
  r.XX = YY / det;
  r.XY = -XY / det;
  r.YX = -YX / det;
  r.YY = XX / det;
  r.X0 = -(r.XX * X0 + r.XY * Y0);
  r.Y0 = -(r.YX * X0 + r.YY * Y0);
  return r;
}

// A clip is the one it narrows and a path: states share them, and the content needs only
// what was added since the clip it has.
struct TPdfWriter::TClip {
  std::shared_ptr<const TClip> Outer;
  std::string Ops;  // the path, then W n
  double Box[4];    // what is left to draw in: left, top, right, bottom, in the content's units
};

struct TPdfWriter::TState {
  TPdfMatrix Ctm;
  enum { kColor, kHatch, kImage } Source = kColor;
  double R = 0, G = 0, B = 0, A = 1;
  QImage Picture;  // the hatch cell or the picture
  std::shared_ptr<const std::string> Jpeg;  // the picture's own JPEG, if kept
  uint64_t PictureKey = 0;
  bool Smooth = false;
  TPdfMatrix PictureMatrix;  // the transform when the picture was set
  double LineWidth = 2;
  int Cap = 0, Join = 0;
  double Miter = 10;
  std::vector<double> Dash;
  double DashOffset = 0;
  bool EvenOdd = false;
  std::shared_ptr<const TClip> Clip;
};

struct TPdfWriter::TWritten {
  void Reset() { *this = TWritten(); }
  // Filling's, then stroking's.
  int Pattern[2] = {0, 0};  // 0: a colour
  double Color[2][3] = {{0, 0, 0}, {0, 0, 0}};
  int Alpha[2] = {1000, 1000};
  double LineWidth = 1;
  int Cap = 0, Join = 0;
  double Miter = 10;
  std::string Dash = "[]0";
  int Font = 0;
};

// What the fonts said of a face's glyphs, kept so a glyph asked again costs an index.
struct TPdfWriter::TFace {
  TPdfFaceSource Source;
  int Id = -1;
  std::vector<TPdfFonts::TCode> Codes;
  std::vector<double> Advances;
  std::vector<uint8_t> Known;
  std::vector<char16_t> Mapped;  // the character a glyph stands for; 0: none yet
};

TPdfWriter::TPdfWriter(TPdfFile::TWrite write)
    : FFile(std::move(write)), FFonts(FFile), FState(std::make_unique<TState>()),
      FWritten(std::make_unique<TWritten>()) {
  FContent.reserve(1 << 16);
}

TPdfWriter::~TPdfWriter() = default;

void TPdfWriter::Put(double v, int decimals) {
  AppendNumber(FContent, v, decimals);
  FContent += ' ';
}

// ---------------------------------------------------------------------------
// Pages

void TPdfWriter::SetInfo(TInfo which, std::string_view value) { FInfo[int(which)] = std::string(value); }

void TPdfWriter::SetPageSize(double width, double height) {
  if (!(width >= 1 && height >= 1 && width <= 14400 && height <= 14400)) return;
  FWidth = width;
  FHeight = height;
}

void TPdfWriter::BeginPage() {
  if (FPageOpen) return;
  FPageOpen = true;
  if (!FPagesObject) FPagesObject = FFile.Reserve();
  FPageObject = FFile.Reserve();
  FContent.clear();
  FWritten->Reset();
  FWrittenClip = nullptr;
  FInClipLevel = false;
  FMarkedOpen = false;
  FPageFonts.clear();
  FPageImages.clear();
  FPagePatterns.clear();
  FPageStates.clear();
  FPageAnnots.clear();
  FPageMcidOwners.clear();
}

void TPdfWriter::ShowPage() {
  BeginPage();
  EndPage();
}

void TPdfWriter::EndPage() {
  if (!FPageOpen) return;
  EndText();
  CloseMarked();
  if (FInClipLevel) FContent += "Q\n";
  // The content is drawn y downwards from the top-left corner.
  std::string flip = "1 0 0 -1 0 ";
  AppendNumber(flip, FHeight);
  flip += " cm\n";
  FContent.insert(0, flip);
  const int contents = FFile.Reserve();
  FFile.Stream(contents, "", FContent, kContentLevel);

  std::string page = "<</Type/Page/Parent ";
  AppendReference(page, FPagesObject);
  page += "/MediaBox[0 0 ";
  AppendNumber(page, FWidth);
  page += ' ';
  AppendNumber(page, FHeight);
  page += "]/Contents ";
  AppendReference(page, contents);
  page += "/Resources";
  page += ResourceDictionary();
  if (!FPageAnnots.empty()) {
    page += "/Annots[";
    for (int a : FPageAnnots) {
      AppendReference(page, a);
      page += ' ';
    }
    page += ']';
  }
  if (!FPageMcidOwners.empty()) {
    // Which element each marked content of the page belongs to.
    std::string owners = "[";
    for (int owner : FPageMcidOwners) {
      AppendReference(owners, owner);
      owners += ' ';
    }
    owners += ']';
    const int array = FFile.Reserve();
    FFile.Object(array, owners);
    page += "/StructParents ";
    AppendInteger(page, int64_t(FParentTree.size()));
    FParentTree.emplace_back(int(FParentTree.size()), array);
  }
  page += ">>";
  FFile.Object(FPageObject, page);
  FPages.push_back(FPageObject);
  FPageOpen = false;
}

std::string TPdfWriter::ResourceDictionary() const {
  std::string out = "<<";
  const auto group = [&out](const char* name, const char* prefix, const std::vector<int>& objects) {
    if (objects.empty()) return;
    out += name;
    out += "<<";
    for (int o : objects) {
      out += '/';
      out += prefix;
      AppendInteger(out, o);
      out += ' ';
      AppendReference(out, o);
    }
    out += ">>";
  };
  group("/Font", "F", FPageFonts);
  group("/XObject", "I", FPageImages);
  group("/Pattern", "P", FPagePatterns);
  group("/ExtGState", "A", FPageStates);
  return out + ">>";
}

// ---------------------------------------------------------------------------
// State

void TPdfWriter::Save() { FStack.push_back(*FState); }

void TPdfWriter::Restore() {
  if (FStack.empty()) return;
  *FState = std::move(FStack.back());
  FStack.pop_back();
}

void TPdfWriter::SetMatrix(const TPdfMatrix& m) { FState->Ctm = m; }

void TPdfWriter::Translate(double x, double y) { FState->Ctm = FState->Ctm.After({1, 0, 0, 1, x, y}); }

void TPdfWriter::Scale(double x, double y) { FState->Ctm = FState->Ctm.After({x, 0, 0, y, 0, 0}); }

void TPdfWriter::NewPath() { FPath.clear(); }

void TPdfWriter::AddPart(char op, std::initializer_list<double> points) {
  TPathPart part{op, {}};
  size_t i = 0;
  for (double v : points) part.V[i++] = v;
  for (size_t k = 0; k + 1 < i; k += 2) FState->Ctm.Map(part.V[k], part.V[k + 1]);
  FPath.push_back(part);
}

void TPdfWriter::MoveTo(double x, double y) { AddPart('m', {x, y}); }
void TPdfWriter::LineTo(double x, double y) { AddPart('l', {x, y}); }
void TPdfWriter::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  AddPart('c', {x1, y1, x2, y2, x3, y3});
}
void TPdfWriter::ClosePath() { FPath.push_back({'h', {}}); }

void TPdfWriter::Rectangle(double x, double y, double w, double h) {
  const TPdfMatrix& m = FState->Ctm;
  if (m.XY == 0 && m.YX == 0) {
    TPathPart part{'r', {x, y, 0, 0}};
    m.Map(part.V[0], part.V[1]);
    part.V[2] = w * m.XX;
    part.V[3] = h * m.YY;
    FPath.push_back(part);
    return;
  }
  MoveTo(x, y);
  LineTo(x + w, y);
  LineTo(x + w, y + h);
  LineTo(x, y + h);
  ClosePath();
}

void TPdfWriter::SetEvenOddFill(bool evenOdd) { FState->EvenOdd = evenOdd; }
void TPdfWriter::SetLineWidth(double width) { FState->LineWidth = std::fabs(width); }
void TPdfWriter::SetLineCap(int cap) { FState->Cap = std::clamp(cap, 0, 2); }
void TPdfWriter::SetLineJoin(int join) { FState->Join = std::clamp(join, 0, 2); }
void TPdfWriter::SetMiterLimit(double limit) { FState->Miter = std::max(1.0, limit); }

void TPdfWriter::SetDash(const double* dashes, int count, double offset) {
  FState->Dash.assign(dashes, dashes + std::max(count, 0));
  FState->DashOffset = offset;
}

void TPdfWriter::SetColor(double r, double g, double b, double a) {
  TState& s = *FState;
  s.Source = TState::kColor;
  s.Picture = QImage();
  s.Jpeg = nullptr;
  s.R = std::clamp(r, 0.0, 1.0);
  s.G = std::clamp(g, 0.0, 1.0);
  s.B = std::clamp(b, 0.0, 1.0);
  s.A = std::clamp(a, 0.0, 1.0);
}

void TPdfWriter::SetHatch(const QImage& cell, uint64_t key) {
  TState& s = *FState;
  s.Source = TState::kHatch;
  s.Picture = cell;
  s.Jpeg = nullptr;
  s.PictureKey = key;
}

void TPdfWriter::SetImage(const QImage& image, uint64_t key, bool smooth, std::shared_ptr<const std::string> jpeg) {
  TState& s = *FState;
  s.Source = TState::kImage;
  s.Picture = image;
  s.Jpeg = std::move(jpeg);
  s.PictureKey = key;
  s.Smooth = smooth;
  s.PictureMatrix = s.Ctm;
}

// ---------------------------------------------------------------------------
// What the content has in force

void TPdfWriter::Prepare() {
  BeginPage();
  SyncClip();
  SyncMarked();
}

// The content's clip made the state's: narrowed when the state's narrows it, else the
// clip's level left and entered again.
void TPdfWriter::SyncClip() {
  const std::shared_ptr<const TClip>& target = FState->Clip;
  if (target == FWrittenClip) return;
  std::vector<const TClip*> added;
  const TClip* c = target.get();
  for (; c && c != FWrittenClip.get(); c = c->Outer.get()) added.push_back(c);
  EndText();
  if (c != FWrittenClip.get()) {
    CloseMarked();
    if (FInClipLevel) {
      FContent += "Q\n";
      FInClipLevel = false;
      FWritten->Reset();
    }
  }
  if (!added.empty()) {
    if (!FInClipLevel) {
      CloseMarked();
      FContent += "q\n";
      FInClipLevel = true;
    }
    for (auto it = added.rbegin(); it != added.rend(); ++it) FContent += (*it)->Ops;
  }
  FWrittenClip = target;
}

// Drawing inside a structure element is marked as its content.
void TPdfWriter::SyncMarked() {
  if (FOpen.empty() || FMarkedOpen) return;
  EndText();
  TElement& e = FOpen.back();
  const int mcid = int(FPageMcidOwners.size());
  FPageMcidOwners.push_back(e.Object);
  // Content on the element's own page is its number alone; elsewhere it names its page.
  if (!e.Page) e.Page = FPageObject;
  if (e.Page == FPageObject) {
    AppendInteger(e.Kids, mcid);
    e.Kids += ' ';
  } else {
    e.Kids += "<</Type/MCR/Pg ";
    AppendReference(e.Kids, FPageObject);
    e.Kids += "/MCID ";
    AppendInteger(e.Kids, mcid);
    e.Kids += ">>";
  }
  AppendName(FContent, e.Role);
  FContent += "<</MCID ";
  AppendInteger(FContent, mcid);
  FContent += ">>BDC\n";
  FMarkedOpen = true;
}

void TPdfWriter::CloseMarked() {
  if (!FMarkedOpen) return;
  EndText();
  FContent += "EMC\n";
  FMarkedOpen = false;
}

int TPdfWriter::AlphaObject(bool stroke, int permille) {
  int& object = FAlphaStates[permille * 2 + int(stroke)];
  if (!object) {
    object = FFile.Reserve();
    std::string body = stroke ? "<</CA " : "<</ca ";
    AppendNumber(body, permille / 1000.0);
    FFile.Object(object, body + ">>");
  }
  return object;
}

void TPdfWriter::UseAlpha(bool stroke, double alpha) {
  const int permille = int(std::lround(alpha * 1000));
  int& written = FWritten->Alpha[stroke];
  if (written == permille) return;
  const int object = AlphaObject(stroke, permille);
  Note(FPageStates, object);
  FContent += "/A";
  AppendInteger(FContent, object);
  FContent += " gs\n";
  written = permille;
}

// The colour or hatch of the source, for filling or for stroking.
void TPdfWriter::UseSource(bool stroke) {
  const TState& s = *FState;
  int& pattern = FWritten->Pattern[stroke];
  double* color = FWritten->Color[stroke];
  if (s.Source == TState::kHatch) {
    const int hatch = PatternObject(s.Picture, s.PictureKey);
    if (pattern != hatch) {
      Note(FPagePatterns, hatch);
      FContent += stroke ? "/Pattern CS/P" : "/Pattern cs/P";
      AppendInteger(FContent, hatch);
      FContent += stroke ? " SCN\n" : " scn\n";
      pattern = hatch;
    }
    UseAlpha(stroke, 1);
    return;
  }
  if (pattern || color[0] != s.R || color[1] != s.G || color[2] != s.B) {
    Put(s.R);
    Put(s.G);
    Put(s.B);
    FContent += stroke ? "RG\n" : "rg\n";
    pattern = 0;
    color[0] = s.R;
    color[1] = s.G;
    color[2] = s.B;
  }
  UseAlpha(stroke, s.A);
}

// The pen's width and dashes, scaled from user units to the content's.
void TPdfWriter::UseLine(double scale) {
  const TState& s = *FState;
  TWritten& w = *FWritten;
  const double width = s.LineWidth * scale;
  if (w.LineWidth != width) {
    Put(width, 4);
    FContent += "w\n";
    w.LineWidth = width;
  }
  if (w.Cap != s.Cap) {
    AppendInteger(FContent, s.Cap);
    FContent += " J\n";
    w.Cap = s.Cap;
  }
  if (w.Join != s.Join) {
    AppendInteger(FContent, s.Join);
    FContent += " j\n";
    w.Join = s.Join;
  }
  if (w.Miter != s.Miter) {
    Put(s.Miter);
    FContent += "M\n";
    w.Miter = s.Miter;
  }
  std::string dash = "[";
  for (size_t i = 0; i < s.Dash.size(); ++i) {
    if (i) dash += ' ';
    AppendNumber(dash, s.Dash[i] * scale);
  }
  dash += ']';
  AppendNumber(dash, s.Dash.empty() ? 0 : s.DashOffset * scale);
  if (w.Dash != dash) {
    FContent += dash;
    FContent += " d\n";
    w.Dash = std::move(dash);
  }
}

// The path in the content's units, or in user units through inverse.
void TPdfWriter::AppendPath(std::string& out, const TPdfMatrix* inverse) const {
  const auto point = [&out, inverse](double x, double y) {
    if (inverse) inverse->Map(x, y);
    AppendNumber(out, x);
    out += ' ';
    AppendNumber(out, y);
    out += ' ';
  };
  for (const TPathPart& p : FPath) {
    switch (p.Op) {
      case 'm': point(p.V[0], p.V[1]); out += "m\n"; break;
      case 'l': point(p.V[0], p.V[1]); out += "l\n"; break;
      case 'c':
        point(p.V[0], p.V[1]);
        point(p.V[2], p.V[3]);
        point(p.V[4], p.V[5]);
        out += "c\n";
        break;
      case 'h': out += "h\n"; break;
      case 'r':
        if (inverse) {
          point(p.V[0], p.V[1]);
          out += "m\n";
          point(p.V[0] + p.V[2], p.V[1]);
          out += "l\n";
          point(p.V[0] + p.V[2], p.V[1] + p.V[3]);
          out += "l\n";
          point(p.V[0], p.V[1] + p.V[3]);
          out += "l\nh\n";
        } else {
          point(p.V[0], p.V[1]);
          AppendNumber(out, p.V[2]);
          out += ' ';
          AppendNumber(out, p.V[3]);
          out += " re\n";
        }
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Drawing

void TPdfWriter::Fill(bool keepPath) {
  if (!FPath.empty() && FState->Source != TState::kImage) {
    Prepare();
    EndText();
    UseSource(false);
    AppendPath(FContent, nullptr);
    FContent += FState->EvenOdd ? "f*\n" : "f\n";
  }
  if (!keepPath) FPath.clear();
}

void TPdfWriter::Stroke() {
  const TState& s = *FState;
  const bool noLength = !s.Dash.empty() && (std::any_of(s.Dash.begin(), s.Dash.end(), [](double d) { return !(d >= 0); }) ||
                                            std::all_of(s.Dash.begin(), s.Dash.end(), [](double d) { return d == 0; }));
  if (FPath.empty() || noLength || s.Source == TState::kImage || !s.Ctm.Invertible()) {
    FPath.clear();
    return;
  }
  Prepare();
  EndText();
  UseSource(true);
  const TPdfMatrix& m = s.Ctm;
  const double scale = std::sqrt(std::fabs(m.XX * m.YY - m.XY * m.YX));
  const double tolerance = 1e-9 * (std::fabs(m.XX) + std::fabs(m.XY) + std::fabs(m.YX) + std::fabs(m.YY));
  const bool similar = (std::fabs(m.XX - m.YY) <= tolerance && std::fabs(m.YX + m.XY) <= tolerance) ||
                       (std::fabs(m.XX + m.YY) <= tolerance && std::fabs(m.YX - m.XY) <= tolerance);
  if (similar) {
    // A pen under a turn and an even scale is as wide as the scale says.
    UseLine(scale);
    AppendPath(FContent, nullptr);
    FContent += "S\n";
  } else {
    // Stretched unevenly: stroked under the transform itself.
    const TWritten written = *FWritten;
    FContent += "q ";
    AppendMatrix(FContent, m);
    UseLine(1);
    const TPdfMatrix inverse = m.Inverted();
    AppendPath(FContent, &inverse);
    FContent += "S Q\n";
    *FWritten = written;
  }
  FPath.clear();
}

void TPdfWriter::Clip() {
  auto clip = std::make_shared<TClip>();
  clip->Outer = FState->Clip;
  double* box = clip->Box;
  box[0] = box[1] = HUGE_VAL;
  box[2] = box[3] = -HUGE_VAL;
  const auto take = [box](double x, double y) {
    box[0] = std::min(box[0], x);
    box[1] = std::min(box[1], y);
    box[2] = std::max(box[2], x);
    box[3] = std::max(box[3], y);
  };
  for (const TPathPart& p : FPath) {
    if (p.Op == 'r') {
      take(p.V[0], p.V[1]);
      take(p.V[0] + p.V[2], p.V[1] + p.V[3]);
    } else {
      for (int k = 0; k < (p.Op == 'c' ? 6 : p.Op == 'h' ? 0 : 2); k += 2) take(p.V[k], p.V[k + 1]);
    }
  }
  if (const TClip* outer = clip->Outer.get()) {
    box[0] = std::max(box[0], outer->Box[0]);
    box[1] = std::max(box[1], outer->Box[1]);
    box[2] = std::min(box[2], outer->Box[2]);
    box[3] = std::min(box[3], outer->Box[3]);
  }
  AppendPath(clip->Ops, nullptr);
  clip->Ops += FState->EvenOdd ? "W* n\n" : "W n\n";
  FState->Clip = std::move(clip);
  FPath.clear();
}

void TPdfWriter::ResetClip() { FState->Clip = nullptr; }

void TPdfWriter::Paint() {
  const TState& s = *FState;
  if (s.Source != TState::kImage) {
    Prepare();
    EndText();
    UseSource(false);
    FContent += "0 0 ";
    Put(FWidth);
    Put(FHeight);
    FContent += "re f\n";
    return;
  }
  if (s.Picture.isNull() || !s.PictureMatrix.Invertible()) return;
  Prepare();
  EndText();
  const int image = ImageObject(s.Picture, s.PictureKey, s.Smooth, s.Jpeg.get());
  Note(FPageImages, image);
  const double w = s.Picture.width(), h = s.Picture.height();
  // The picture's unit square onto its pixels, rows from the top.
  FContent += "q ";
  AppendMatrix(FContent, s.PictureMatrix.After({w, 0, 0, -h, 0, h}));
  FContent += "/I";
  AppendInteger(FContent, image);
  FContent += " Do Q\n";
}

TPdfWriter::TFace* TPdfWriter::FaceFor(const TPdfFaceSource& source) {
  const auto same = [&source](const TFace* f) {
    return f->Source.Index == source.Index && f->Source.Embolden == source.Embolden && f->Source.File == source.File;
  };
  if (FLastFace && same(FLastFace)) return FLastFace;
  auto it = std::find_if(FFaces.begin(), FFaces.end(), [&](const auto& f) { return same(f.get()); });
  if (it == FFaces.end()) {
    auto face = std::make_unique<TFace>();
    face->Source = source;
    face->Id = FFonts.Open(source);
    it = FFaces.insert(FFaces.end(), std::move(face));
  }
  FLastFace = it->get();
  return FLastFace->Id < 0 ? nullptr : FLastFace;
}

void TPdfWriter::ShowGlyphs(const TPdfFaceSource& source, double size, const TPdfGlyph* glyphs, int count,
                            std::u16string_view text, bool simple) {
  if (count <= 0 || !(size > 0) || !FState->Ctm.Invertible()) return;
  TFace* face = FaceFor(source);
  if (!face) return;
  if (FState->Source == TState::kImage) return;
  if (const TClip* clip = FState->Clip.get()) {
    // A text wholly outside the clip shows nothing: it is left out, so a reader neither
    // finds nor copies what cannot be seen.
    const TPdfMatrix& m = FState->Ctm;
    const double reach = size * (std::fabs(m.XX) + std::fabs(m.XY) + std::fabs(m.YX) + std::fabs(m.YY));
    double box[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int i = 0; i < count; ++i) {
      double x = glyphs[i].X, y = glyphs[i].Y;
      m.Map(x, y);
      box[0] = std::min(box[0], x);
      box[1] = std::min(box[1], y);
      box[2] = std::max(box[2], x);
      box[3] = std::max(box[3], y);
    }
    if (box[0] - reach > clip->Box[2] || box[2] + reach < clip->Box[0] || box[1] - reach > clip->Box[3] ||
        box[3] + reach < clip->Box[1])
      return;
  }
  Prepare();
  UseSource(false);

  // Each glyph's code and advance, from the fonts once.
  const auto learn = [this, face](uint32_t glyph) -> size_t {
    if (glyph > 0xFFFF) glyph = 0;
    const size_t g = glyph;
    if (g >= face->Known.size()) {
      const size_t n = std::max(g + 1, face->Known.size() * 2);
      face->Known.resize(n);
      face->Codes.resize(n);
      face->Advances.resize(n);
      face->Mapped.resize(n);
    }
    if (!face->Known[g]) {
      face->Codes[g] = FFonts.Use(face->Id, glyph);
      face->Advances[g] = FFonts.Advance(face->Id, glyph);
      face->Known[g] = 1;
    }
    return g;
  };

  // Characters the font's map cannot give back (a glyph for two characters, a ligature, a
  // right-to-left run) are given with the text they stand for.
  bool actual = !simple || text.size() != size_t(count);
  if (!actual) {
    for (int i = 0; i < count; ++i) {
      const size_t g = learn(glyphs[i].Index);
      const char16_t c = text[size_t(i)];
      if (face->Mapped[g] == c) continue;
      if (face->Mapped[g] == 0 && FFonts.MapText(face->Id, uint32_t(g), std::u16string_view(&c, 1))) {
        face->Mapped[g] = c;
        continue;
      }
      actual = true;
    }
  }
  BeginText();
  if (actual && !text.empty()) {
    FContent += "/Span<</ActualText ";
    AppendUtf16(FContent, text);
    FContent += ">>BDC\n";
  }

  // The text matrix: the transform at the size, upright (the content runs y downwards).
  const TPdfMatrix& m = FState->Ctm;
  const TPdfMatrix linear{size * m.XX, size * m.YX, -size * m.XY, -size * m.YY, 0, 0};
  double lineX = 0, lineY = 0, pen = 0;
  // The glyphs shown by one operator: a string, or an array of strings and moves once a
  // move is needed (its bracket put in then).
  size_t arrayAt = 0;
  bool inShow = false, inArray = false, inString = false;
  const auto endShow = [&]() {
    if (inString) FContent += '>';
    if (inShow) FContent += inArray ? "]TJ\n" : "Tj\n";
    inShow = inArray = inString = false;
  };
  for (int i = 0; i < count; ++i) {
    const TPdfGlyph& glyph = glyphs[i];
    const size_t g = learn(glyph.Index);
    const TPdfFonts::TCode& code = face->Codes[g];
    if (code.Font != FWritten->Font) {
      endShow();
      Note(FPageFonts, code.Font);
      FContent += "/F";
      AppendInteger(FContent, code.Font);
      FContent += " 1 Tf\n";
      FWritten->Font = code.Font;
    }
    // A glyph off the line (a mark placed above, a run going on lower) starts a new one.
    if (i == 0 || std::fabs(glyph.Y - lineY) > size * 1e-6) {
      endShow();
      MoveText(linear, glyph.X, glyph.Y);
      lineX = glyph.X;
      lineY = glyph.Y;
      pen = 0;
    } else {
      // Where the layout put it against where the font's advances put it, in thousandths.
      const double move = std::round((glyph.X - lineX) / size * 1000 - pen);
      if (move != 0) {
        if (!inArray) {
          if (inShow) FContent.insert(arrayAt, 1, '[');
          else FContent += '[';
          inShow = inArray = true;
        }
        if (inString) FContent += '>';
        inString = false;
        AppendInteger(FContent, int64_t(-move));
        pen += move;
      }
    }
    if (!inShow) {
      arrayAt = FContent.size();
      inShow = true;
    }
    if (!inString) FContent += '<';
    inString = true;
    AppendHex(FContent, code.Bytes, code.Length);
    pen += face->Advances[g];
  }
  endShow();
  if (actual && !text.empty()) FContent += "EMC\n";
}

// Texts follow each other in one text object, until something else is drawn.
void TPdfWriter::BeginText() {
  if (FTextOpen) return;
  FContent += "BT\n";
  FTextOpen = true;
  FTextLine = false;
}

void TPdfWriter::EndText() {
  if (!FTextOpen) return;
  FContent += "ET\n";
  FTextOpen = false;
}

// Starts a line of text at (x, y) before the transform: a move from the last line when the
// text matrix is the same but for where it starts, else the whole matrix.
void TPdfWriter::MoveText(const TPdfMatrix& linear, double x, double y) {
  FState->Ctm.Map(x, y);
  const auto rounded = [](double v, double scale) { return std::round(v * scale) / scale; };
  const TPdfMatrix written{rounded(linear.XX, 1e5), rounded(linear.YX, 1e5), rounded(linear.XY, 1e5),
                           rounded(linear.YY, 1e5), rounded(x, 1e3), rounded(y, 1e3)};
  if (FTextLine && written.XX == FTextMatrix.XX && written.YX == FTextMatrix.YX && written.XY == FTextMatrix.XY &&
      written.YY == FTextMatrix.YY) {
    // The move is in the text's units: through the inverse of the matrix's linear part.
    double dx = x - FTextMatrix.X0, dy = y - FTextMatrix.Y0;
    FTextInverse.Map(dx, dy);
    Put(dx, 4);
    Put(dy, 4);
    FContent += "Td\n";
    // Where the reader now has the line: the rounded move, not the exact one.
    double rx = rounded(dx, 1e4), ry = rounded(dy, 1e4);
    const TPdfMatrix step{FTextMatrix.XX, FTextMatrix.YX, FTextMatrix.XY, FTextMatrix.YY, 0, 0};
    step.Map(rx, ry);
    FTextMatrix.X0 += rx;
    FTextMatrix.Y0 += ry;
    return;
  }
  for (double v : {linear.XX, linear.YX, linear.XY, linear.YY}) Put(v, 5);
  Put(x);
  Put(y);
  FContent += "Tm\n";
  // Kept as the reader reads it, so later moves do not drift.
  FTextMatrix = written;
  FTextLine = FTextMatrix.Invertible();
  if (FTextLine) {
    FTextInverse = TPdfMatrix{FTextMatrix.XX, FTextMatrix.YX, FTextMatrix.XY, FTextMatrix.YY, 0, 0}.Inverted();
  }
}

// ---------------------------------------------------------------------------
// Pictures

int TPdfWriter::ImageObject(const QImage& image, uint64_t key, bool smooth, const std::string* jpeg) {
  int& object = FImages[key * 2 + uint64_t(smooth)];
  if (object) return object;
  object = FFile.Reserve();
  TJpegFrame frame;
  if (jpeg && ReadJpegFrame(*jpeg, frame) && frame.Passable && frame.Width == image.width() &&
      frame.Height == image.height()) {
    // The JPEG as it came: no second loss, and the size it was made at.
    std::string dictionary = "/Type/XObject/Subtype/Image/Width ";
    AppendInteger(dictionary, frame.Width);
    dictionary += "/Height ";
    AppendInteger(dictionary, frame.Height);
    dictionary += frame.Components == 1 ? "/ColorSpace/DeviceGray" : "/ColorSpace/DeviceRGB";
    dictionary += "/BitsPerComponent 8/Filter/DCTDecode";
    if (smooth) dictionary += "/Interpolate true";
    FFile.Stream(object, dictionary, *jpeg, 0);
    return object;
  }
  const bool alpha = image.hasAlphaChannel();
  const QImage rgba = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  const int w = rgba.width(), h = rgba.height();
  std::string colors, alphas;
  colors.reserve(size_t(w) * size_t(h) * 3);
  if (alpha) alphas.reserve(size_t(w) * size_t(h));
  for (int y = 0; y < h; ++y) {
    const uchar* line = rgba.constScanLine(y);
    if (!alpha) {
      colors.append(reinterpret_cast<const char*>(line), size_t(w) * 3);
      continue;
    }
    for (int x = 0; x < w; ++x) {
      colors.append(reinterpret_cast<const char*>(line + 4 * x), 3);
      alphas += char(line[4 * x + 3]);
    }
  }
  std::string dictionary = "/Type/XObject/Subtype/Image/Width ";
  AppendInteger(dictionary, w);
  dictionary += "/Height ";
  AppendInteger(dictionary, h);
  dictionary += "/BitsPerComponent 8";
  std::string colorDictionary = dictionary + "/ColorSpace/DeviceRGB";
  if (smooth) colorDictionary += "/Interpolate true";
  if (alpha) {
    const int mask = FFile.Reserve();
    FFile.Stream(mask, dictionary + "/ColorSpace/DeviceGray", alphas, kDataLevel);
    colorDictionary += "/SMask ";
    AppendReference(colorDictionary, mask);
  }
  FFile.Stream(object, colorDictionary, colors, kDataLevel);
  return object;
}

// A hatch: its cell of screen pixels (0.75 point each) repeated from the page's top-left
// corner, as the screen shows it. The pixels are drawn as squares, not as a picture,
// which a reader would smooth into its neighbours.
int TPdfWriter::PatternObject(const QImage& cell, uint64_t key) {
  int& object = FPatterns[key ^ (uint64_t(std::llround(FHeight * 100)) << 40)];
  if (object) return object;
  object = FFile.Reserve();
  const QImage rgba = cell.convertToFormat(QImage::Format_RGBA8888);
  const int w = rgba.width(), h = rgba.height();
  std::map<uint32_t, std::string> squares;  // colour -> its pixels
  for (int y = 0; y < h; ++y) {
    const uchar* line = rgba.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      if (line[4 * x + 3] < 128) continue;
      std::string& out = squares[uint32_t(line[4 * x]) << 16 | uint32_t(line[4 * x + 1]) << 8 | line[4 * x + 2]];
      AppendInteger(out, x);
      out += ' ';
      AppendInteger(out, y);
      out += " 1 1 re ";
    }
  }
  std::string content;
  for (const auto& [color, rects] : squares) {
    for (int shift : {16, 8, 0}) {
      AppendNumber(content, ((color >> shift) & 255) / 255.0);
      content += ' ';
    }
    content += "rg " + rects + "f\n";
  }
  std::string dictionary = "/Type/Pattern/PatternType 1/PaintType 1/TilingType 1/BBox[0 0 ";
  AppendInteger(dictionary, w);
  dictionary += ' ';
  AppendInteger(dictionary, h);
  dictionary += "]/XStep ";
  AppendInteger(dictionary, w);
  dictionary += "/YStep ";
  AppendInteger(dictionary, h);
  dictionary += "/Matrix[0.75 0 0 -0.75 0 ";
  AppendNumber(dictionary, FHeight);
  dictionary += "]/Resources<<>>";
  FFile.Stream(object, dictionary, content, kDataLevel);
  return object;
}

// ---------------------------------------------------------------------------
// Structure, links, outline

void TPdfWriter::BeginStructure(std::string_view role) {
  CloseMarked();
  if (!FStructRoot) FStructRoot = FFile.Reserve();
  TElement e{FFile.Reserve(), std::string(role), FOpen.empty() ? FStructRoot : FOpen.back().Object, 0, {}};
  if (FOpen.empty()) {
    FRootKids.push_back(e.Object);
  } else {
    AppendReference(FOpen.back().Kids, e.Object);
    FOpen.back().Kids += ' ';
  }
  FOpen.push_back(std::move(e));
}

void TPdfWriter::EndStructure(std::string_view role) {
  if (FOpen.empty() || FOpen.back().Role != role) return;
  CloseMarked();
  const TElement& e = FOpen.back();
  std::string body = "<</Type/StructElem/S";
  AppendName(body, e.Role);
  body += "/P ";
  AppendReference(body, e.Parent);
  if (e.Page) {
    body += "/Pg ";
    AppendReference(body, e.Page);
  }
  body += "/K[";
  body += e.Kids;
  body += "]>>";
  FFile.Object(e.Object, body);
  FOpen.pop_back();
}

std::string TPdfWriter::Where(double x, double y) const {
  std::string out = "[";
  AppendReference(out, FPageObject);
  out += "/XYZ ";
  AppendNumber(out, x);
  out += ' ';
  AppendNumber(out, FHeight - y);
  out += " null]";
  return out;
}

void TPdfWriter::Link(std::string_view target, bool internal, double x, double y, double w, double h) {
  BeginPage();
  const int object = FFile.Reserve();
  std::string body = "<</Type/Annot/Subtype/Link/Rect[";
  for (double v : {x, FHeight - y - h, x + w, FHeight - y}) {
    AppendNumber(body, v);
    body += ' ';
  }
  body += "]/Border[0 0 0]";
  if (internal) {
    body += "/Dest";
    AppendLiteral(body, target);
  } else {
    body += "/A<</S/URI/URI";
    AppendLiteral(body, target);
    body += ">>";
  }
  FFile.Object(object, body + ">>");
  FPageAnnots.push_back(object);
}

void TPdfWriter::Destination(std::string_view name, double x, double y) {
  BeginPage();
  if (FDestinations.find(name) == FDestinations.end()) FDestinations.emplace(std::string(name), Where(x, y));
}

int TPdfWriter::Outline(int parent, std::string_view title, double x, double y, bool open) {
  BeginPage();
  if (parent < 0 || size_t(parent) > FOutline.size()) parent = 0;
  FOutline.push_back({parent, std::string(title), Where(x, y), open});
  return int(FOutline.size());
}

// ---------------------------------------------------------------------------
// The end

bool TPdfWriter::Finish() {
  EndPage();
  if (FPages.empty()) ShowPage();
  while (!FOpen.empty()) EndStructure(FOpen.back().Role);
  FFonts.Finish();

  std::string pages = "<</Type/Pages/Kids[";
  for (int p : FPages) {
    AppendReference(pages, p);
    pages += ' ';
  }
  pages += "]/Count ";
  AppendInteger(pages, int64_t(FPages.size()));
  FFile.Object(FPagesObject, pages + ">>");

  std::string catalog = "<</Type/Catalog/Pages ";
  AppendReference(catalog, FPagesObject);

  if (!FOutline.empty()) {
    // Entries come after their parents: counted from the last, with no recursion however deep.
    const size_t n = FOutline.size();
    std::vector<int> objects(n + 1), visible(n + 1, 0), first(n + 1, 0), last(n + 1, 0), next(n + 1, 0),
        previous(n + 1, 0);
    for (size_t i = 0; i <= n; ++i) objects[i] = FFile.Reserve();
    for (size_t i = 1; i <= n; ++i) {
      const int p = FOutline[i - 1].Parent;
      if (last[size_t(p)]) {
        next[size_t(last[size_t(p)])] = int(i);
        previous[i] = last[size_t(p)];
      } else {
        first[size_t(p)] = int(i);
      }
      last[size_t(p)] = int(i);
    }
    for (size_t i = n; i >= 1; --i) {
      const TOutlineEntry& e = FOutline[i - 1];
      visible[size_t(e.Parent)] += 1 + (e.Open ? visible[i] : 0);
    }
    const auto link = [&](std::string& out, const char* key, int entry) {
      if (!entry) return;
      out += key;
      AppendReference(out, objects[size_t(entry)]);
    };
    for (size_t i = 0; i <= n; ++i) {
      std::string body = i == 0 ? "<</Type/Outlines" : "<</Title ";
      if (i > 0) {
        const TOutlineEntry& e = FOutline[i - 1];
        AppendTextString(body, e.Title);
        body += "/Parent ";
        AppendReference(body, objects[size_t(e.Parent)]);
        link(body, "/Prev ", previous[i]);
        link(body, "/Next ", next[i]);
        body += "/Dest" + e.Destination;
      }
      link(body, "/First ", first[i]);
      link(body, "/Last ", last[i]);
      if (first[i]) {
        body += "/Count ";
        AppendInteger(body, (i == 0 || FOutline[i - 1].Open) ? visible[i] : -visible[i]);
      }
      FFile.Object(objects[i], body + ">>");
    }
    catalog += "/Outlines ";
    AppendReference(catalog, objects[0]);
    catalog += "/PageMode/UseOutlines";
  }

  if (!FDestinations.empty()) {
    std::string names = "<</Dests<</Names[";
    for (const auto& [name, where] : FDestinations) {
      AppendLiteral(names, name);
      names += where;
    }
    names += "]>>>>";
    const int object = FFile.Reserve();
    FFile.Object(object, names);
    catalog += "/Names ";
    AppendReference(catalog, object);
  }

  if (FStructRoot) {
    std::string tree;
    for (const auto& [key, array] : FParentTree) {
      AppendInteger(tree, key);
      tree += ' ';
      AppendReference(tree, array);
      tree += ' ';
    }
    const int parentTree = FFile.Reserve();
    FFile.Object(parentTree, "<</Nums[" + tree + "]>>");
    std::string root = "<</Type/StructTreeRoot/K[";
    for (int k : FRootKids) {
      AppendReference(root, k);
      root += ' ';
    }
    root += "]/ParentTree ";
    AppendReference(root, parentTree);
    root += "/ParentTreeNextKey ";
    AppendInteger(root, int64_t(FParentTree.size()));
    FFile.Object(FStructRoot, root + ">>");
    catalog += "/MarkInfo<</Marked true>>/StructTreeRoot ";
    AppendReference(catalog, FStructRoot);
  }

  int info = 0;
  static const char* const kInfoKeys[] = {"/Title", "/Creator", "/CreationDate"};
  std::string infoBody = "<<";
  for (int i = 0; i < 3; ++i) {
    if (FInfo[i].empty()) continue;
    infoBody += kInfoKeys[i];
    AppendTextString(infoBody, FInfo[i]);
  }
  if (infoBody.size() > 2) {
    info = FFile.Reserve();
    FFile.Object(info, infoBody + ">>");
  }
  const int catalogObject = FFile.Reserve();
  FFile.Object(catalogObject, catalog + ">>");
  FFile.Finish(catalogObject, info);
  return !FFile.Failed();
}

}  // namespace rpt
