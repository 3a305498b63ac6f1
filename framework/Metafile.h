#pragma once
// One recorded page: the bytes of a complete Enhanced Metafile. It serialises to and
// loads from a stream and stops at its own end (the header's total size), which is what
// makes pages self-delimiting in the page store. Plain C++: recording needs text
// measuring (MetafileCanvas), playing needs a painter (MetafilePlayer); holding,
// checking and moving pages needs neither.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Canvas.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"

namespace rpt {

// Bytes that are not a well-formed metafile.
class EInvalidMetafile : public EReadError {
  using EReadError::EReadError;
};

struct TMetafileHeader {
  TRect Bounds;             // inclusive, in reference-device pixels
  TRect Frame;              // hundredths of a millimetre
  uint32_t Bytes = 0;       // total size of the metafile
  uint32_t Records = 0;     // number of records, header and end included
  uint16_t Handles = 0;     // object table size, index 0 included
  TSize Device;             // reference device in pixels
  TSize Millimeters;        // reference device in millimetres
  TSize Micrometers;        // reference device in micrometres (0 when the header lacks it)
  uint32_t HeaderSize = 0;  // size of the header record
};

// The header record of a page of width x height pixels at dpi, as the recorder writes it.
std::string MakeMetafileHeader(int32_t width, int32_t height, int dpi, const TRect& bounds, uint32_t totalBytes,
                               uint32_t records, uint16_t handles);

// The page count's mark (U+FDD0) in recorded text: PAGECOUNT prints it while the pass
// runs, and the page store fills in the count once it is known.
constexpr char16_t kPageCountMarkUnit = 0xFDD0;

// What a page says about itself beside its drawing, kept in comment records that other
// readers skip: a bookmark (an outline entry at a place on the page) or a link over an
// area. Places are in the page's own pixels.
struct TPageAnnotation {
  // A structure element (begin and end) says what a stretch of drawing is to a reader
  // that follows the document's structure: "H1".."H6" a heading, "TR" a table row.
  enum TKind : uint32_t { akBookmark = 1, akLink = 2, akBeginStructure = 3, akEndStructure = 4 };
  TKind Kind = akBookmark;
  int32_t Level = 0;  // bookmark: 0 for a top entry, deeper entries nest under it
  TRect Rect;         // bookmark: Left, Top is its place; link: the area that follows it
  std::string Text;   // bookmark: the title; link: the address, or "#title" of a bookmark;
                      // structure: its role
};

// The comment record's data for an annotation, and back (false: not one of ours).
std::string EncodeAnnotation(const TPageAnnotation& annotation);
bool DecodeAnnotation(std::string_view data, TPageAnnotation& annotation);

// A link target a page may carry and a viewer may open: a web or mail address, or
// "#title" of a bookmark. A report is untrusted: no file, script or program addresses.
bool IsSafeLinkTarget(std::string_view target);

class TMetafile {
 public:
  TMetafile() = default;
  // An empty page of the given size in pixels of a reference device of dpi pixels per
  // inch, to be recorded with a TMetafileCanvas.
  TMetafile(int32_t width, int32_t height, int dpi = 96);

  // The page size in reference-device pixels (from the header's frame once recorded).
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // Pixels per inch of the reference device.
  double DpiX() const { return FDpiX; }
  double DpiY() const { return FDpiY; }
  bool Empty() const { return FData.empty(); }
  const std::string& Data() const { return FData; }
  const TMetafileHeader& Header() const { return FHeader; }

  // Takes the bytes of a complete metafile after checking its header and record chain;
  // fails with EInvalidMetafile and leaves the page unchanged.
  void SetData(std::string bytes);
  void Clear();

  void SaveToStream(TStream& stream) const;
  // Reads one metafile from the stream's position, leaving the position right after
  // it. A header claiming more than maxBytes (or than the stream holds) fails before
  // anything is allocated; maxBytes -1 means the rest of the stream.
  void LoadFromStream(TStream& stream, int64_t maxBytes = -1);
  void LoadFromFile(const std::string& fileName);
  // Replaces the file only once every byte is written.
  void SaveToFile(const std::string& fileName) const;

  // Replaces every page count mark in the page's texts by text (the count, or "?" while
  // unknown). A text that had one loses its character advances, so it is laid out
  // anew, aligned on its recorded anchor. False when the page has no mark.
  bool ReplacePageCountMarks(std::string_view text);
  bool HasPageCountMarks() const;
  // The page's bookmarks and links, in recording order.
  std::vector<TPageAnnotation> Annotations() const;

  // Checks a metafile's bytes; returns the parsed header or throws EInvalidMetafile.
  static TMetafileHeader Check(std::string_view bytes);

 private:
  void ApplyHeader();

  std::string FData;
  TMetafileHeader FHeader;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  double FDpiX = 96;
  double FDpiY = 96;
};

}  // namespace rpt
