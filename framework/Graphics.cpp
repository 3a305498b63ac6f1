#include "framework/Graphics.h"

#include <cmath>

namespace rpt {

namespace {
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  return static_cast<int32_t>(std::lround(static_cast<double>(a) * b / c));
}
}  // namespace

const TTypeInfo* FontNameTypeInfo() {
  static const TTypeInfo* info = [] {
    auto* t = new TTypeInfo(*TypeInfoOf<std::string>());
    t->Name = "TFontName";
    return t;
  }();
  return info;
}

TColor ColorToRGB(TColor color) {
  const uint32_t v = static_cast<uint32_t>(color);
  if ((v & 0xFF000000u) != 0xFF000000u) return static_cast<TColor>(v & 0x00FFFFFFu);
  // A fixed classic palette: the program keeps no settings, so the look is the same everywhere.
  static const uint32_t kSystem[] = {
      0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
      0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
      0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
      0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xD77800, 0xF0F0F0,
  };
  const uint32_t index = v & 0xFFu;
  if (index >= sizeof(kSystem) / sizeof(kSystem[0])) return clBlack;
  return static_cast<TColor>(kSystem[index]);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TGraphicsObject, TPersistent)
RPT_END_CLASS

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TFont, TGraphicsObject)
  c.Property("Charset", &TFont::Charset, &TFont::SetCharset);
  c.Property("Color", &TFont::Color, &TFont::SetColor);
  c.Property("Height", &TFont::Height, &TFont::SetHeight);
  c.Property("Name", &TFont::Name, &TFont::SetName).Type(FontNameTypeInfo());
  c.Property("Pitch", &TFont::Pitch, &TFont::SetPitch).Default(fpDefault);
  c.Property("Size", &TFont::Size, &TFont::SetSize).Stored(false);
  c.Property("Style", &TFont::Style, &TFont::SetStyle);
RPT_END_CLASS

void TFont::SetCharset(TFontCharset value) {
  if (FCharset == value) return;
  FCharset = value;
  Changed();
}

void TFont::SetColor(TColor value) {
  if (FColor == value) return;
  FColor = value;
  Changed();
}

void TFont::SetHeight(int32_t value) {
  if (FHeight == value) return;
  FHeight = value;
  Changed();
}

void TFont::SetName(const std::string& value) {
  if (FName == value || value.empty()) return;
  FName = value;
  Changed();
}

void TFont::SetPitch(TFontPitch value) {
  if (FPitch == value) return;
  FPitch = value;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t value) { SetHeight(-MulDiv(value, FPixelsPerInch, 72)); }

void TFont::SetStyle(TFontStyles value) {
  if (FStyle == value) return;
  FStyle = value;
  Changed();
}

double TFont::PointSizeF() const {
  // A positive height is the cell (ascent + descent); fonts take about 1.15 em for it.
  const double pixels = FHeight < 0 ? -FHeight : FHeight / 1.15;
  const double points = pixels * 72.0 / FPixelsPerInch;
  return points > 0 ? points : 1.0;
}

void TFont::AssignFrom(const TPersistent* source) {
  if (const auto* f = dynamic_cast<const TFont*>(source)) {
    if (SameAs(*f) && FPixelsPerInch == f->FPixelsPerInch) return;
    FCharset = f->FCharset;
    FColor = f->FColor;
    FHeight = f->FHeight;
    FName = f->FName;
    FPitch = f->FPitch;
    FStyle = f->FStyle;
    FPixelsPerInch = f->FPixelsPerInch;
    Changed();
    return;
  }
  TGraphicsObject::AssignFrom(source);
}

bool TFont::SameAs(const TFont& o) const {
  return FCharset == o.FCharset && FColor == o.FColor && FHeight == o.FHeight && FName == o.FName &&
         FPitch == o.FPitch && FStyle == o.FStyle;
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TPen, TGraphicsObject)
  c.Property("Color", &TPen::Color, &TPen::SetColor).Default(clBlack);
  c.Property("Mode", &TPen::Mode, &TPen::SetMode).Default(pmCopy);
  c.Property("Style", &TPen::Style, &TPen::SetStyle).Default(psSolid);
  c.Property("Width", &TPen::Width, &TPen::SetWidth).Default(1);
RPT_END_CLASS

void TPen::SetColor(TColor value) {
  if (FColor == value) return;
  FColor = value;
  Changed();
}
void TPen::SetMode(TPenMode value) {
  if (FMode == value) return;
  FMode = value;
  Changed();
}
void TPen::SetStyle(TPenStyle value) {
  if (FStyle == value) return;
  FStyle = value;
  Changed();
}
void TPen::SetWidth(int32_t value) {
  if (value < 0) value = 0;
  if (FWidth == value) return;
  FWidth = value;
  Changed();
}

void TPen::AssignFrom(const TPersistent* source) {
  if (const auto* p = dynamic_cast<const TPen*>(source)) {
    FColor = p->FColor;
    FMode = p->FMode;
    FStyle = p->FStyle;
    FWidth = p->FWidth;
    Changed();
    return;
  }
  TGraphicsObject::AssignFrom(source);
}

// ---------------------------------------------------------------------------
RPT_BEGIN_CLASS(TBrush, TGraphicsObject)
  c.Property("Color", &TBrush::Color, &TBrush::SetColor).Default(clWhite);
  c.Property("Style", &TBrush::Style, &TBrush::SetStyle).Default(bsSolid);
RPT_END_CLASS

void TBrush::SetColor(TColor value) {
  if (FColor == value) return;
  FColor = value;
  // Choosing a colour makes a clear brush solid again, as fills expect.
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle value) {
  if (FStyle == value) return;
  FStyle = value;
  Changed();
}

void TBrush::AssignFrom(const TPersistent* source) {
  if (const auto* b = dynamic_cast<const TBrush*>(source)) {
    FColor = b->FColor;
    FStyle = b->FStyle;
    Changed();
    return;
  }
  TGraphicsObject::AssignFrom(source);
}

}  // namespace rpt
