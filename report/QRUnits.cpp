#include "report/QRUnits.h"

#include <QLocale>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "framework/Controls.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

std::atomic<int> gUseInchDefaults{-1};  // -1: not asked yet

}  // namespace

bool UseInchDefaults() {
  int v = gUseInchDefaults.load();
  if (v < 0) {
    v = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? 1 : 0;
    gUseInchDefaults = v;
  }
  return v == 1;
}

void SetUseInchDefaults(bool value) { gUseInchDefaults = value ? 1 : 0; }

Extended NativeToUnit(TQRUnit unit, bool horizontal, Extended value, const TUnitContext& c) {
  const Extended size = std::fabs(c.FontSize) > 0 ? std::fabs(c.FontSize) : 10;
  switch (unit) {
    case MM: return value / 10;
    case Inches: return value / 254;
    case Pixels: return value / (254.0L / c.Resolution) * c.Zoom / 100;
    case Characters: return value / (horizontal ? CharColumnMM(size) : CharRowMM(size)) / 10;
    case Native: break;
  }
  return value;
}

Extended UnitToNative(TQRUnit unit, bool horizontal, Extended value, const TUnitContext& c) {
  const Extended size = std::fabs(c.FontSize) > 0 ? std::fabs(c.FontSize) : 10;
  switch (unit) {
    case MM: return value * 10;
    case Inches: return value * 254;
    case Pixels: return value * (254.0L / c.Resolution) / c.Zoom * 100;
    case Characters: return value * (horizontal ? CharColumnMM(size) : CharRowMM(size)) * 10;
    case Native: break;
  }
  return value;
}

// ---------------------------------------------------------------------------
// TQRUnitBase

RPT_BEGIN_CLASS(TQRUnitBase, TPersistent)
RPT_END_CLASS

TQRUnitBase::TQRUnitBase()
    : FUnits(UseInchDefaults() ? Inches : MM), FSavedUnits(FUnits), FResolution(kScreenPixelsPerInch) {}

TUnitContext TQRUnitBase::Context() const {
  TUnitContext c;
  c.Resolution = FResolution;
  c.Zoom = FZoom;
  if (FHost) c.FontSize = FHost->FontSize();
  return c;
}

Extended TQRUnitBase::FromNative(TQRUnit unit, bool horizontal, Extended value) const {
  return NativeToUnit(unit, horizontal, value, Context());
}

Extended TQRUnitBase::ToNative(TQRUnit unit, bool horizontal, Extended value) const {
  return UnitToNative(unit, horizontal, value, Context());
}

void TQRUnitBase::SetUnits(TQRUnit value) { FUnits = value; }

void TQRUnitBase::SetPixelsTemporarily() {
  FSavedUnits = FUnits;
  FUnits = Pixels;
}

void TQRUnitBase::ReturnToSavedUnit() { FUnits = FSavedUnits; }

void TQRUnitBase::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineCustomProperty(
      "Values", [this](TReader& r) { ReadValues(r); }, [this](TWriter& w) { WriteValues(w); }, true);
}

// The whole list is read before anything is stored, and a list of the wrong length is
// refused, so a damaged stream never writes past the object's values nor half-applies.
void TQRUnitBase::ReadValues(TReader& reader) {
  const int count = ValueCount();
  Extended values[16] = {};
  int n = 0;
  reader.ReadListBegin();
  while (!reader.EndOfList()) {
    if (n >= count || n >= 16) throw EReadError("Invalid property value");
    values[n++] = reader.ReadFloat();
  }
  reader.ReadListEnd();
  if (n != count) throw EReadError("Invalid property value");
  // A negative height or width would lay everything after it over what came before.
  for (int i = 0; i < count; ++i)
    if (const char* name = LengthName(i); name && !(values[i] >= 0)) {
      char value[40];
      std::snprintf(value, sizeof value, "%g", static_cast<double>(values[i]));
      throw EReadError(Format("the %s may not be negative (%s)", name, value));
    }
  Extended* cells = ValueSlots();
  for (int i = 0; i < count; ++i) cells[i] = values[i];
  ValuesRead();
}

void TQRUnitBase::WriteValues(TWriter& writer) {
  writer.WriteListBegin();
  const Extended* cells = ValueSlots();
  for (int i = 0; i < ValueCount(); ++i) writer.WriteFloat(cells[i]);
  writer.WriteListEnd();
}

// ---------------------------------------------------------------------------
// TQRPage

RPT_BEGIN_CLASS(TQRPage, TQRUnitBase)
  c.IndexedProperty("BottomMargin", pvBottomMargin, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.Property("Columns", &TQRPage::Columns, &TQRPage::SetColumns);
  c.IndexedProperty("ColumnSpace", pvColumnSpace, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.IndexedProperty("LeftMargin", pvLeftMargin, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.IndexedProperty("Length", pvLength, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.Property("Orientation", &TQRPage::Orientation, &TQRPage::SetOrientation);
  c.Property("PaperSize", &TQRPage::PaperSize, &TQRPage::SetPaperSize);
  c.IndexedProperty("RightMargin", pvRightMargin, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.Property("Ruler", &TQRPage::Ruler, &TQRPage::SetRuler).Default(true);
  c.IndexedProperty("TopMargin", pvTopMargin, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
  c.IndexedProperty("Width", pvWidth, &TQRPage::GetValue, &TQRPage::SetValue).Stored(false);
RPT_END_CLASS

TQRPage::TQRPage() {
  FValues[pvBottomMargin] = 0;
  const bool inches = UseInchDefaults();
  FUnits = inches ? Inches : MM;
  SetPaperSize(inches ? TQRPaperSize::Letter : TQRPaperSize::A4);
  const Extended margin = inches ? 0.5L : 10.0L;
  SetValue(pvTopMargin, margin);
  SetValue(pvBottomMargin, margin);
  SetValue(pvRightMargin, margin);
  SetValue(pvLeftMargin, margin);
  FRuler = true;
  FColumns = 1;
  FValues[pvColumnSpace] = 0;
  FOrientation = poPortrait;
}

bool TQRPage::Horizontal(int index) {
  return index == pvWidth || index == pvLeftMargin || index == pvRightMargin || index == pvColumnSpace;
}

Extended TQRPage::GetValue(int index) const {
  if (index < 0 || index >= 7) return 0;
  return FromNative(FUnits, Horizontal(index), FValues[index]);
}

void TQRPage::SetValue(int index, Extended value) {
  if (index < 0 || index >= 7) return;
  if (index == pvLength || index == pvWidth) {
    if (FPaperSize != TQRPaperSize::Custom) return;
    FValues[index] = ToNative(FUnits, Horizontal(index), value);
    ApplyToParent();
    if (FHost) FHost->LayoutBands();
    return;
  }
  FValues[index] = ToNative(FUnits, Horizontal(index), value);
  if (index == pvBottomMargin) ApplyToParent();
  if (FHost) {
    FHost->LayoutBands();
    FHost->RepaintHost();
  }
}

void TQRPage::ApplyToParent() {
  if (FParentUpdating || !FHost) return;
  TControl* control = FHost->HostControl();
  if (!control) return;
  FParentUpdating = true;
  try {
    control->SetWidth(static_cast<int32_t>(std::nearbyint(FromNative(Pixels, true, FValues[pvWidth]))));
    control->SetHeight(static_cast<int32_t>(std::nearbyint(FromNative(Pixels, false, FValues[pvLength]))));
  } catch (...) {
    FParentUpdating = false;
    throw;
  }
  FParentUpdating = false;
}

void TQRPage::HostResized(int32_t width, int32_t height) {
  if (!FParentUpdating && FPaperSize == TQRPaperSize::Custom) {
    SetPixelsTemporarily();
    FParentUpdating = true;  // the new size is the control's already
    FValues[pvWidth] = ToNative(Pixels, true, width);
    FValues[pvLength] = ToNative(Pixels, false, height);
    FParentUpdating = false;
    ReturnToSavedUnit();
  }
  if (FHost) FHost->LayoutBands();
}

void TQRPage::SetPaperSize(TQRPaperSize value) {
  if (value != TQRPaperSize::Default && value != TQRPaperSize::Custom) {
    const TPaperDimensions d = PaperSizeTable(value);
    SetPixelsTemporarily();
    FUnits = MM;
    FPaperSize = TQRPaperSize::Custom;
    const bool portrait = FOrientation == poPortrait;
    SetValue(pvWidth, portrait ? d.Width : d.Length);
    SetValue(pvLength, portrait ? d.Length : d.Width);
    ReturnToSavedUnit();
    if (FHost) FHost->LayoutBands();
  }
  FPaperSize = value;
}

void TQRPage::SetOrientation(TPrinterOrientation value) {
  FOrientation = value;
  SetPaperSize(FPaperSize);
}

void TQRPage::SetColumns(int32_t value) {
  if (value <= 0 || value == FColumns) return;
  FColumns = value;
  if (FHost) {
    FHost->LayoutBands();
    FHost->RepaintHost();
  }
}

void TQRPage::SetRuler(bool value) {
  if (value == FRuler) return;
  FRuler = value;
  if (FHost) {
    FHost->RepaintHost();
    FHost->ReapplyUnits();
  }
}

void TQRPage::SetUnits(TQRUnit value) {
  FUnits = value;
  if (FHost) FHost->RepaintHost();
}

void TQRPage::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRPage*>(source);
  if (!other) {
    TQRUnitBase::AssignFrom(source);
    return;
  }
  for (int i = 0; i < 7; ++i) FValues[i] = other->FValues[i];
  FColumns = other->FColumns;
  FOrientation = other->FOrientation;
  FPaperSize = other->FPaperSize;
  FRuler = other->FRuler;
  ApplyToParent();
  if (FHost) FHost->LayoutBands();
}

// ---------------------------------------------------------------------------
// TQRFrame

RPT_BEGIN_CLASS(TQRFrame, TPersistent)
  c.Property("Color", &TQRFrame::Color, &TQRFrame::SetColor);
  c.Property("DrawBottom", &TQRFrame::DrawBottom, &TQRFrame::SetDrawBottom);
  c.Property("DrawLeft", &TQRFrame::DrawLeft, &TQRFrame::SetDrawLeft);
  c.Property("DrawRight", &TQRFrame::DrawRight, &TQRFrame::SetDrawRight);
  c.Property("DrawTop", &TQRFrame::DrawTop, &TQRFrame::SetDrawTop);
  c.Property("Style", &TQRFrame::Style, &TQRFrame::SetStyle).Default(psSolid);
  c.Property("Width", &TQRFrame::Width, &TQRFrame::SetWidth).Default(1);
RPT_END_CLASS

void TQRFrame::Changed() {
  if (Parent && IsLiveControl(Parent)) Parent->Invalidate();
}

void TQRFrame::AssignFrom(const TPersistent* source) {
  const auto* other = dynamic_cast<const TQRFrame*>(source);
  if (!other) {
    TPersistent::AssignFrom(source);
    return;
  }
  FColor = other->FColor;
  FDrawTop = other->FDrawTop;
  FDrawBottom = other->FDrawBottom;
  FDrawLeft = other->FDrawLeft;
  FDrawRight = other->FDrawRight;
  FStyle = other->FStyle;
  FWidth = other->FWidth;
  Changed();
}

void TQRFrame::DrawFrameLines(TCanvas& canvas, const TRect& rect, double xFactor, double yFactor) const {
  auto thickness = [this](double factor) {
    auto t = static_cast<int32_t>(std::nearbyint(factor * FWidth / 72.0 * 254));
    if (FWidth == -1 || (t < 1 && FWidth >= 1)) t = 1;
    return t;
  };
  const int32_t tv = thickness(yFactor);
  const int32_t th = thickness(xFactor);
  canvas.Brush()->SetStyle(bsSolid);
  canvas.Brush()->SetColor(FColor);
  canvas.Pen()->SetWidth(1);
  canvas.Pen()->SetStyle(FStyle);
  canvas.Pen()->SetColor(FColor);
  if (tv > 0 && FDrawTop) canvas.FillRect({rect.Left, rect.Top, rect.Right, rect.Top + tv});
  if (tv > 0 && FDrawBottom) canvas.FillRect({rect.Left, rect.Bottom - tv, rect.Right, rect.Bottom});
  if (th > 0 && FDrawLeft) canvas.FillRect({rect.Left, rect.Top, rect.Left + th, rect.Bottom});
  if (th > 0 && FDrawRight) canvas.FillRect({rect.Right - th, rect.Top, rect.Right, rect.Bottom});
  canvas.Brush()->SetStyle(bsClear);
}

}  // namespace rpt
