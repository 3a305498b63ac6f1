#pragma once
// Integer types with identifier maps (colours, charsets, cursors) and the small
// enumerations every control shares.
#include <cstdint>

#include "objects/TypeInfo.h"

namespace rpt {

// Colours are 32-bit: 00BBGGRR, or FF0000nn for system colour nn.
enum TColor : int32_t {
  clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
  clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
  clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
  clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
  clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0,
  clScrollBar = int32_t(0xFF000000), clBackground = int32_t(0xFF000001),
  clActiveCaption = int32_t(0xFF000002), clInactiveCaption = int32_t(0xFF000003),
  clMenu = int32_t(0xFF000004), clWindow = int32_t(0xFF000005), clWindowFrame = int32_t(0xFF000006),
  clMenuText = int32_t(0xFF000007), clWindowText = int32_t(0xFF000008),
  clCaptionText = int32_t(0xFF000009), clActiveBorder = int32_t(0xFF00000A),
  clInactiveBorder = int32_t(0xFF00000B), clAppWorkSpace = int32_t(0xFF00000C),
  clHighlight = int32_t(0xFF00000D), clHighlightText = int32_t(0xFF00000E),
  clBtnFace = int32_t(0xFF00000F), clBtnShadow = int32_t(0xFF000010), clGrayText = int32_t(0xFF000011),
  clBtnText = int32_t(0xFF000012), clInactiveCaptionText = int32_t(0xFF000013),
  clBtnHighlight = int32_t(0xFF000014), cl3DDkShadow = int32_t(0xFF000015),
  cl3DLight = int32_t(0xFF000016), clInfoText = int32_t(0xFF000017), clInfoBk = int32_t(0xFF000018),
  clHotLight = int32_t(0xFF00001A), clGradientActiveCaption = int32_t(0xFF00001B),
  clGradientInactiveCaption = int32_t(0xFF00001C), clMenuHighlight = int32_t(0xFF00001D),
  clMenuBar = int32_t(0xFF00001E), clNone = 0x1FFFFFFF, clDefault = 0x20000000,
};

enum TFontCharset : uint8_t {
  ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, MAC_CHARSET = 77,
  SHIFTJIS_CHARSET = 128, HANGEUL_CHARSET = 129, JOHAB_CHARSET = 130, GB2312_CHARSET = 134,
  CHINESEBIG5_CHARSET = 136, GREEK_CHARSET = 161, TURKISH_CHARSET = 162, HEBREW_CHARSET = 177,
  ARABIC_CHARSET = 178, BALTIC_CHARSET = 186, RUSSIAN_CHARSET = 204, THAI_CHARSET = 222,
  EASTEUROPE_CHARSET = 238, OEM_CHARSET = 255,
};

enum TCursor : int16_t {
  crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6, crSizeNS = -7,
  crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
  crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18, crAppStart = -19,
  crHelp = -20, crHandPoint = -21, crSizeAll = -22, crSize = -22,
};

const TIdentMap& ColorIdents();
const TIdentMap& CharsetIdents();
const TIdentMap& CursorIdents();

RPT_INTEGER_TYPE(TColor, otSLong, INT32_MIN, INT32_MAX, &ColorIdents())
RPT_INTEGER_TYPE(TFontCharset, otUByte, 0, 255, &CharsetIdents())
RPT_INTEGER_TYPE(TCursor, otSWord, -32768, 32767, &CursorIdents())

// Named types that stream as their kind does and only change how the inspector edits
// the value (it picks an editor by the identity of the type descriptor): a component's
// name, a caption, dates and times (days since 1899-12-30 as a double), input method
// names, shortcuts, tab orders and modal results.
const TTypeInfo* ComponentNameTypeInfo();
const TTypeInfo* CaptionTypeInfo();
const TTypeInfo* DateTypeInfo();
const TTypeInfo* TimeTypeInfo();
const TTypeInfo* DateTimeTypeInfo();
const TTypeInfo* ImeNameTypeInfo();
const TTypeInfo* ShortCutTypeInfo();
const TTypeInfo* TabOrderTypeInfo();
const TTypeInfo* ModalResultTypeInfo();

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
RPT_ENUM_TYPE(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom")

enum TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
RPT_ENUM_TYPE(TAnchorKind, "akLeft", "akTop", "akRight", "akBottom")
using TAnchors = TSet<TAnchorKind>;

enum THelpType : uint8_t { htKeyword, htContext };
RPT_ENUM_TYPE(THelpType, "htKeyword", "htContext")

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
RPT_ENUM_TYPE(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")

enum TBiDiMode : uint8_t { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };
RPT_ENUM_TYPE(TBiDiMode, "bdLeftToRight", "bdRightToLeft", "bdRightToLeftNoAlign", "bdRightToLeftReadingOnly")

struct TPoint {
  int32_t X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

}  // namespace rpt
