#pragma once
// The fonts of the PDF writer: each face the pages use is embedded once, at the document's
// end, with only the glyphs that were shown. TrueType and plain CFF outlines go in as
// subsets keeping their glyph numbers (2-byte codes, the code is the glyph; a CFF font
// whose glyphs compose others goes in whole), anything else (CID-keyed CFF, Type 1, a face
// the toolkit thickens) as Type3 fonts drawn from the outlines, 256 glyphs to a font. Runs
// on the writer thread only: it holds a FreeType library of its own and no toolkit objects.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "output/PdfFile.h"

namespace rpt {

// A face as the painting side found it: its file, its index in a collection, and whether the
// toolkit thickens it (a bold asked of a family without one).
struct TPdfFaceSource {
  std::string File;
  int Index = 0;
  bool Embolden = false;
};

class TPdfFonts {
 public:
  explicit TPdfFonts(TPdfFile& file);
  ~TPdfFonts();
  TPdfFonts(const TPdfFonts&) = delete;
  TPdfFonts& operator=(const TPdfFonts&) = delete;

  // A number for the face (the same source gives the same number); -1 when the file
  // cannot be opened or is no font (the caller then draws the glyphs' outlines itself).
  int Open(const TPdfFaceSource& face);
  // How a glyph of face is shown: the font object to select (the resource is named
  // "/F<object number>" by the caller; the object is reserved here at first use) and the
  // bytes of its code in a string shown with that font. A glyph the face does not have
  // is shown as its glyph 0.
  struct TCode {
    int Font;
    uint8_t Bytes[2];
    uint8_t Length;
  };
  TCode Use(int face, uint32_t glyph);
  // The glyph's advance as the PDF reader takes it from the widths written, in 1/1000 of
  // the text size.
  double Advance(int face, uint32_t glyph);
  // The characters a glyph stands for (UTF-16), for copying and searching (the ToUnicode map).
  // True when recorded or already the same; false when the glyph already stands for other
  // characters (the caller then marks that text with /ActualText).
  bool MapText(int face, uint32_t glyph, std::u16string_view text);
  // Writes every font used (fonts, descriptors, programs, widths, ToUnicode maps) into the
  // reserved objects. Once, at the document's end.
  void Finish();

  struct TFace;

 private:
  TFace* FaceOf(int face) const;
  void FinishCid(TFace& face);
  void FinishType3(TFace& face);

  TPdfFile& FFile;
  void* FLibrary = nullptr;  // FT_Library, kept out of this header
  std::map<std::tuple<std::string, int, bool>, int> FNumbers;
  std::vector<std::unique_ptr<TFace>> FFaces;
  bool FFinished = false;
};

}  // namespace rpt
