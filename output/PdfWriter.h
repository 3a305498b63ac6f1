#pragma once
// Writes a PDF document from drawing calls in the manner of a 2D drawing context: a
// current transform, path, clip and source, kept on a stack by Save and Restore, with
// texts shown as glyphs of embedded faces. Each page's content is written as it ends,
// so memory stays flat; what must wait for the end (the page tree, outline, named
// destinations, structure tree, fonts) is kept as object numbers and a few words each.
// Coordinates are points from the page's top-left corner, y downwards, before the
// transform.
#include <QImage>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/PdfFile.h"
#include "output/PdfFonts.h"

namespace rpt {

struct TPdfMatrix {
  double XX = 1, YX = 0, XY = 0, YY = 1, X0 = 0, Y0 = 0;
  void Map(double& x, double& y) const {
    const double nx = XX * x + XY * y + X0;
    y = YX * x + YY * y + Y0;
    x = nx;
  }
  // this after first: a point goes through first, then this.
  TPdfMatrix After(const TPdfMatrix& first) const;
  bool Invertible() const;
  TPdfMatrix Inverted() const;
  bool operator==(const TPdfMatrix&) const = default;
};

struct TPdfGlyph {
  uint32_t Index;
  double X, Y;  // where its origin goes, before the transform
};

class TPdfWriter {
 public:
  explicit TPdfWriter(TPdfFile::TWrite write);
  ~TPdfWriter();
  TPdfWriter(const TPdfWriter&) = delete;
  TPdfWriter& operator=(const TPdfWriter&) = delete;

  // The document.
  enum class TInfo { Title, Creator, Created };  // Created: a PDF date, "D:20260301093000Z"
  void SetInfo(TInfo which, std::string_view value);
  void SetPageSize(double width, double height);  // of the page being drawn, in points
  void ShowPage();
  // Writes what waited for the end; true when every byte went out.
  bool Finish();
  bool Failed() const { return FFile.Failed(); }

  // The drawing state.
  void Save();
  void Restore();
  void SetMatrix(const TPdfMatrix& m);
  void Translate(double x, double y);
  void Scale(double x, double y);
  void NewPath();
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  void ClosePath();
  void Rectangle(double x, double y, double w, double h);
  void SetEvenOddFill(bool evenOdd);
  void SetLineWidth(double width);
  void SetLineCap(int cap);    // 0 butt, 1 round, 2 square
  void SetLineJoin(int join);  // 0 miter, 1 round, 2 bevel
  void SetMiterLimit(double limit);
  // No dashes when count is 0; a pattern of no length draws no line.
  void SetDash(const double* dashes, int count, double offset);
  void SetColor(double r, double g, double b, double a);
  // A cell of pixels at 96 per inch, repeated from the page's corner, upright whatever the transform.
  void SetHatch(const QImage& cell, uint64_t key);
  // A picture, one pixel to a unit of the present transform, its top-left corner at the
  // origin; jpeg, when given, is the JPEG the image was decoded from, written as it is.
  void SetImage(const QImage& image, uint64_t key, bool smooth, std::shared_ptr<const std::string> jpeg = nullptr);

  // Drawing.
  void Fill(bool keepPath = false);
  void Stroke();
  void Clip();
  void ResetClip();
  void Paint();
  // Glyphs of a face at a size, standing for text: one character a glyph (simple) or the
  // whole text for all of them.
  void ShowGlyphs(const TPdfFaceSource& face, double size, const TPdfGlyph* glyphs, int count,
                  std::u16string_view text, bool simple);

  // Marks, in points from the top-left corner, not transformed.
  void BeginStructure(std::string_view role);
  void EndStructure(std::string_view role);
  void Link(std::string_view target, bool internal, double x, double y, double w, double h);
  void Destination(std::string_view name, double x, double y);
  // An outline entry under parent (0: the top), returning its number for children.
  int Outline(int parent, std::string_view title, double x, double y, bool open);

 private:
  struct TPathPart {
    char Op;  // m l c h, or r: a rectangle x y w h
    double V[6];
  };
  struct TClip;
  struct TState;
  struct TWritten;
  struct TElement {
    int Object;
    std::string Role;
    int Parent;
    int Page;  // the page of its first marked content
    std::string Kids;
  };
  struct TOutlineEntry {
    int Parent;  // 0: the top, else the entry's number
    std::string Title;
    std::string Destination;
    bool Open;
  };
  struct TFace;

  void BeginPage();
  void EndPage();
  void Prepare();
  void SyncClip();
  void SyncMarked();
  void CloseMarked();
  void BeginText();
  void EndText();
  void MoveText(const TPdfMatrix& linear, double x, double y);
  void UseSource(bool stroke);
  void UseAlpha(bool stroke, double alpha);
  void UseLine(double scale);
  void AddPart(char op, std::initializer_list<double> points);
  void AppendPath(std::string& out, const TPdfMatrix* inverse) const;
  void Put(double v, int decimals = 3);
  TFace* FaceFor(const TPdfFaceSource& source);
  int ImageObject(const QImage& image, uint64_t key, bool smooth, const std::string* jpeg);
  int PatternObject(const QImage& cell, uint64_t key);
  int AlphaObject(bool stroke, int permille);
  std::string ResourceDictionary() const;
  std::string Where(double x, double y) const;  // a destination on the page being written

  TPdfFile FFile;
  TPdfFonts FFonts;
  std::unique_ptr<TState> FState;
  std::vector<TState> FStack;
  std::vector<TPathPart> FPath;
  std::vector<std::unique_ptr<TFace>> FFaces;
  TFace* FLastFace = nullptr;

  // The page being written.
  double FWidth = 595, FHeight = 842;
  bool FPageOpen = false;
  int FPageObject = 0;
  std::string FContent;
  std::shared_ptr<const TClip> FWrittenClip;  // the clip in force in the content
  bool FInClipLevel = false;
  bool FTextOpen = false;
  bool FTextLine = false;    // FTextMatrix holds the line's start
  TPdfMatrix FTextMatrix;    // as the reader holds it
  TPdfMatrix FTextInverse;   // its linear part's inverse
  // The graphics state written, so an unchanged one is not written again; reset when the
  // clip's level is left.
  std::unique_ptr<TWritten> FWritten;
  std::vector<int> FPageFonts, FPageImages, FPagePatterns, FPageStates, FPageAnnots;

  // The document.
  int FPagesObject = 0;
  std::vector<int> FPages;
  std::string FInfo[3];
  std::map<uint64_t, int> FImages;    // key -> object
  std::map<uint64_t, int> FPatterns;  // cell key and page height -> object
  std::map<int, int> FAlphaStates;    // permille, stroking -> object
  std::map<std::string, std::string, std::less<>> FDestinations;  // name -> where
  std::vector<TOutlineEntry> FOutline;

  // The structure tree: the elements open, innermost last; the marked content open in the page.
  int FStructRoot = 0;
  std::vector<TElement> FOpen;
  std::vector<int> FRootKids;
  bool FMarkedOpen = false;
  std::vector<int> FPageMcidOwners;              // element object by marked-content number
  std::vector<std::pair<int, int>> FParentTree;  // page's key -> its array object
};

}  // namespace rpt
