#pragma once
// Fonts, pens and brushes: persistent objects with published properties, so they
// stream as Font.Name, Pen.Width, ... They hold values only (no device resources),
// so headless tools and worker threads use them freely.
#include <cstdint>
#include <string>

#include "objects/ClassBuilder.h"
#include "objects/StdTypes.h"

namespace rpt {

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
RPT_ENUM_TYPE(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = TSet<TFontStyle>;

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
RPT_ENUM_TYPE(TFontPitch, "fpDefault", "fpVariable", "fpFixed")

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
RPT_ENUM_TYPE(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear", "psInsideFrame")

enum TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
RPT_ENUM_TYPE(TPenMode, "pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy", "pmMergePenNot",
              "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen", "pmMerge", "pmNotMerge", "pmMask", "pmNotMask",
              "pmXor", "pmNotXor")

enum TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
RPT_ENUM_TYPE(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal",
              "bsCross", "bsDiagCross")

// The string type of font names; the inspector picks its editor by this descriptor.
const TTypeInfo* FontNameTypeInfo();

// The pixels per inch against which a font's Height is given (the screen's).
constexpr int kScreenPixelsPerInch = 96;

// Resolves system colours (FF0000nn) to 00BBGGRR; other values pass through.
TColor ColorToRGB(TColor color);

// Base of fonts, pens and brushes: announces every change through OnChange.
class TGraphicsObject : public TPersistent {
  RPT_CLASS(TGraphicsObject, TPersistent)
  TGraphicsObject() = default;

  TEvent<void(TObject*)> OnChange;

 protected:
  void Changed();
};

class TFont : public TGraphicsObject {
  RPT_CLASS(TFont, TGraphicsObject)
  TFont() = default;

  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  // Negative: character height in pixels at PixelsPerInch; positive: cell height.
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t value);
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch value);
  // Points, derived from Height: -MulDiv(Height, 72, PixelsPerInch).
  int32_t Size() const;
  void SetSize(int32_t value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles value);

  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int value) { FPixelsPerInch = value > 0 ? value : kScreenPixelsPerInch; }

  // The em size in points as a float: what a device renders at (Size rounds).
  double PointSizeF() const;

  void AssignFrom(const TPersistent* source) override;
  bool SameAs(const TFont& other) const;

 private:
  TFontCharset FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  int32_t FHeight = -11;
  std::string FName = "MS Sans Serif";
  TFontPitch FPitch = fpDefault;
  TFontStyles FStyle;
  int FPixelsPerInch = kScreenPixelsPerInch;
};

class TPen : public TGraphicsObject {
  RPT_CLASS(TPen, TGraphicsObject)
  TPen() = default;

  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t value);

  void AssignFrom(const TPersistent* source) override;

 private:
  TColor FColor = clBlack;
  TPenMode FMode = pmCopy;
  TPenStyle FStyle = psSolid;
  int32_t FWidth = 1;
};

class TBrush : public TGraphicsObject {
  RPT_CLASS(TBrush, TGraphicsObject)
  TBrush() = default;

  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle value);

  void AssignFrom(const TPersistent* source) override;

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
};

}  // namespace rpt
