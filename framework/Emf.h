#pragma once
// Record numbers, constants and fixed layouts of the Enhanced Metafile format, and
// little-endian byte access that never reads outside its record.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace rpt::emf {

// Record types.
enum : uint32_t {
  EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6, EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8, EMR_SETWINDOWEXTEX = 9,
  EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11, EMR_SETVIEWPORTORGEX = 12, EMR_EOF = 14,
  EMR_SETPIXELV = 15, EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20,
  EMR_SETTEXTALIGN = 22, EMR_SETTEXTCOLOR = 24, EMR_SETBKCOLOR = 25, EMR_MOVETOEX = 27,
  EMR_EXCLUDECLIPRECT = 29, EMR_INTERSECTCLIPRECT = 30, EMR_SAVEDC = 33, EMR_RESTOREDC = 34,
  EMR_SETWORLDTRANSFORM = 35, EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38,
  EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ELLIPSE = 42, EMR_RECTANGLE = 43,
  EMR_ROUNDRECT = 44, EMR_LINETO = 54, EMR_BEGINPATH = 59, EMR_ENDPATH = 60, EMR_CLOSEFIGURE = 61,
  EMR_FILLPATH = 62, EMR_STROKEANDFILLPATH = 63, EMR_STROKEPATH = 64, EMR_SELECTCLIPPATH = 67,
  EMR_ABORTPATH = 68, EMR_GDICOMMENT = 70, EMR_EXTSELECTCLIPRGN = 75, EMR_BITBLT = 76,
  EMR_STRETCHDIBITS = 81, EMR_EXTCREATEFONTINDIRECTW = 82, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85,
  EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87, EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89,
  EMR_POLYPOLYLINE16 = 90, EMR_POLYPOLYGON16 = 91, EMR_EXTCREATEPEN = 95,
};

// " EMF" at offset 40 of the header record.
constexpr uint32_t kSignature = 0x464D4520;
constexpr uint32_t kVersion = 0x00010000;
// Header record: the base layout, and with the pixel-format and micrometre extensions.
constexpr uint32_t kHeaderBaseSize = 88;
constexpr uint32_t kHeaderSize = 108;
constexpr uint32_t kEofSize = 20;

// Header field offsets.
enum : uint32_t {
  kHdrBounds = 8, kHdrFrame = 24, kHdrSignature = 40, kHdrVersion = 44, kHdrBytes = 48, kHdrRecords = 52,
  kHdrHandles = 56, kHdrDescriptionLength = 60, kHdrDescriptionOffset = 64, kHdrPalEntries = 68,
  kHdrDevice = 72, kHdrMillimeters = 80, kHdrPixelFormatSize = 88, kHdrPixelFormatOffset = 92,
  kHdrOpenGL = 96, kHdrMicrometers = 100,
};

// Stock objects (handle with the high bit set).
constexpr uint32_t kStockObject = 0x80000000;
enum : uint32_t {
  WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4, NULL_BRUSH = 5,
  WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, OEM_FIXED_FONT = 10, ANSI_FIXED_FONT = 11, ANSI_VAR_FONT = 12,
  SYSTEM_FONT = 13, DEVICE_DEFAULT_FONT = 14, DEFAULT_PALETTE = 15, SYSTEM_FIXED_FONT = 16,
  DEFAULT_GUI_FONT = 17, DC_BRUSH = 18, DC_PEN = 19,
};

// Pen styles (low nibble), end caps, joins and the pen type.
enum : uint32_t {
  PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6,
  PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0x0F,
  PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00,
  PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000,
  PS_COSMETIC = 0x00000, PS_GEOMETRIC = 0x10000,
};

// Brush styles and hatches.
enum : uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum : uint32_t { HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
                  HS_DIAGCROSS = 5 };

// Device-context settings.
enum : uint32_t { TRANSPARENT = 1, OPAQUE = 2 };
enum : uint32_t { ALTERNATE = 1, WINDING = 2 };
enum : uint32_t { TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_HORZ_MASK = 6, TA_BOTTOM = 8,
                  TA_BASELINE = 24, TA_VERT_MASK = 24 };
enum : uint32_t { MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5,
                  MM_TWIPS = 6, MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8 };
enum : uint32_t { MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3, MWT_SET = 4 };
enum : uint32_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
// Binary raster operations of the pen, 1..16.
enum : uint32_t {
  R2_BLACK = 1, R2_NOTMERGEPEN = 2, R2_MASKNOTPEN = 3, R2_NOTCOPYPEN = 4, R2_MASKPENNOT = 5, R2_NOT = 6,
  R2_XORPEN = 7, R2_NOTMASKPEN = 8, R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11, R2_MERGENOTPEN = 12,
  R2_COPYPEN = 13, R2_MERGEPENNOT = 14, R2_MERGEPEN = 15, R2_WHITE = 16,
};
// Ternary raster operations used by pattern fills.
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;
constexpr uint32_t SRCCOPY = 0x00CC0020;

// ExtTextOut options.
enum : uint32_t { ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_NO_RECT = 0x100,
                  ETO_PDY = 0x2000 };
constexpr uint32_t GM_COMPATIBLE = 1;

// Font fields.
constexpr uint32_t kLogFontSize = 92;
constexpr uint32_t kFaceNameChars = 32;
enum : uint32_t { FW_NORMAL = 400, FW_BOLD = 700 };
enum : uint32_t { DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2 };

// The largest bitmap the player decodes (and so the largest the recorder writes).
constexpr int kMaxImageSide = 32768;
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;
// EMR_STRETCHDIBITS: fixed fields, then the bitmap's header and its rows.
constexpr uint32_t kSizeStretchDibFixed = 80;
constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t DIB_RGB_COLORS = 0;
// A bitmap whose bits are a JPEG (biBitCount 0, biSizeImage its length); the recorder
// writes none longer than this.
constexpr uint32_t BI_JPEG = 4;
constexpr size_t kMaxJpegBytes = size_t(1) << 28;

// Fixed record sizes written by the recorder.
enum : uint32_t {
  kSizeSelectObject = 12, kSizeExtCreatePen = 52, kSizeCreateBrush = 24, kSizeFontRecord = 8 + 4 + kLogFontSize,
  kSizeBitBlt = 100, kSizeExtTextOutFixed = 76, kSizePolyFixed = 28,
};

// ---------------------------------------------------------------------------
inline uint32_t GetU32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t GetI32(const unsigned char* p) { return static_cast<int32_t>(GetU32(p)); }
inline uint16_t GetU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline float GetF32(const unsigned char* p) {
  const uint32_t bits = GetU32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// One record's bytes; every getter checks its field lies inside the record, so a record
// shorter than its type demands reads as zeros and is caught by Fits().
class TRecordView {
 public:
  TRecordView(const unsigned char* data, uint32_t size) : FData(data), FSize(size) {}
  uint32_t Type() const { return U32(0); }
  uint32_t Size() const { return FSize; }
  const unsigned char* Data() const { return FData; }
  // The record holds count bytes at offset.
  bool Fits(uint64_t offset, uint64_t count) const { return offset + count <= FSize; }
  uint32_t U32(uint64_t offset) const { return Fits(offset, 4) ? GetU32(FData + offset) : 0; }
  int32_t I32(uint64_t offset) const { return static_cast<int32_t>(U32(offset)); }
  uint16_t U16(uint64_t offset) const { return Fits(offset, 2) ? GetU16(FData + offset) : 0; }
  int16_t I16(uint64_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint8_t U8(uint64_t offset) const { return Fits(offset, 1) ? FData[offset] : 0; }
  float F32(uint64_t offset) const { return Fits(offset, 4) ? GetF32(FData + offset) : 0.0f; }

 private:
  const unsigned char* FData;
  uint32_t FSize;
};

// Appends little-endian values to a record being built.
class TRecordWriter {
 public:
  explicit TRecordWriter(std::string& out) : FOut(out) {}
  void U32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    FOut.append(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void U16(uint16_t v) {
    const char b[2] = {char(v), char(v >> 8)};
    FOut.append(b, 2);
  }
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void U8(uint8_t v) { FOut.push_back(static_cast<char>(v)); }
  void F32(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    U32(bits);
  }
  void Zeros(size_t n) { FOut.append(n, '\0'); }
  void PadTo4() { FOut.append((4 - FOut.size() % 4) % 4, '\0'); }
  size_t Size() const { return FOut.size(); }

 private:
  std::string& FOut;
};

inline void PutU32At(std::string& s, size_t offset, uint32_t v) {
  s[offset] = char(v), s[offset + 1] = char(v >> 8), s[offset + 2] = char(v >> 16), s[offset + 3] = char(v >> 24);
}
inline void PutI32At(std::string& s, size_t offset, int32_t v) { PutU32At(s, offset, static_cast<uint32_t>(v)); }

}  // namespace rpt::emf
