#pragma once
// The report model's measures: every stored length is in tenths of a millimetre (native
// units, 254 to the inch) and shown in a unit the user picks. TQRUnitBase is the base of
// the size objects (the page, band and printable sizes) with the "Values" stream
// property; TQRPage is the report's paper; TQRFrame the frame of reports, bands and
// printables with the routine that draws it on any canvas.
#include <cstdint>
#include "framework/Canvas.h"
#include "framework/Graphics.h"
#include "objects/ClassBuilder.h"
#include "objects/Component.h"
#include "objects/Extended.h"
#include "output/QRPaper.h"

namespace rpt {

class TReader;
class TWriter;
class TCustomControl;

enum TQRUnit : uint8_t { MM, Inches, Pixels, Characters, Native };
RPT_ENUM_TYPE(TQRUnit, "MM", "Inches", "Pixels", "Characters", "Native")

// Millimetres per character column and per character row of a font of size points.
inline double CharColumnMM(double size) { return 80 / size / 2.54; }
inline double CharRowMM(double size) { return 145.3 / size / 2.54; }

// Set at start-up when the system locale measures in U.S. units; chooses the initial
// unit of every unit object and the initial paper and margins of every page.
bool UseInchDefaults();
void SetUseInchDefaults(bool value);

// What a conversion needs besides the unit: screen resolution, zoom, report font size.
struct TUnitContext {
  int Resolution = kScreenPixelsPerInch;
  int Zoom = 100;
  double FontSize = 10;  // points; the absolute value is used
};
Extended NativeToUnit(TQRUnit unit, bool horizontal, Extended value, const TUnitContext& context);
Extended UnitToNative(TQRUnit unit, bool horizontal, Extended value, const TUnitContext& context);

// What a size object tells its report. The report implements it; every hook is optional.
class TQRUnitHost {
 public:
  virtual ~TQRUnitHost() = default;
  // The control that shows the paper (sized by the page), or none.
  virtual TControl* HostControl() { return nullptr; }
  virtual void LayoutBands() {}
  virtual void RepaintHost() {}
  // Re-applies the report's own units (bands repaint their rulers).
  virtual void ReapplyUnits() {}
  // The report font's size in points (may be negative).
  virtual double FontSize() const { return 10; }
};

class TQRUnitBase : public TPersistent {
  RPT_CLASS(TQRUnitBase, TPersistent)
  TQRUnitBase();

  virtual Extended FromNative(TQRUnit unit, bool horizontal, Extended value) const;
  virtual Extended ToNative(TQRUnit unit, bool horizontal, Extended value) const;
  TQRUnit Units() const { return FUnits; }
  virtual void SetUnits(TQRUnit value);
  virtual void ApplyToParent() {}
  void SetPixelsTemporarily();
  void ReturnToSavedUnit();

  int Resolution() const { return FResolution; }
  int Zoom() const { return FZoom; }
  void SetZoom(int value) { FZoom = value > 0 ? value : 100; }
  bool ParentUpdating() const { return FParentUpdating; }
  TQRUnitHost* Host() const { return FHost; }
  void SetHost(TQRUnitHost* host) { FHost = host; }

  void DefineProperties(TFiler& filer) override;

 protected:
  // The native values the "Values" list carries, in their stream order.
  virtual int ValueCount() const { return 0; }
  virtual Extended* ValueSlots() { return nullptr; }
  // Called after "Values" was read.
  virtual void ValuesRead() {}
  // The name of a value that is a length, which a file may not give as negative; null
  // for the others.
  virtual const char* LengthName(int /*index*/) const { return nullptr; }
  virtual void ReadValues(TReader& reader);
  virtual void WriteValues(TWriter& writer);
  TUnitContext Context() const;

  TQRUnit FUnits;
  TQRUnit FSavedUnits;
  int FResolution;
  int FZoom = 100;
  bool FParentUpdating = false;
  TQRUnitHost* FHost = nullptr;
};

enum TQRPageValue : int { pvBottomMargin, pvLength, pvTopMargin, pvWidth, pvLeftMargin, pvRightMargin, pvColumnSpace };

class TQRPage : public TQRUnitBase {
  RPT_CLASS(TQRPage, TQRUnitBase)
  TQRPage();

  // The seven lengths by index (TQRPageValue), in the page's current unit.
  Extended GetValue(int index) const;
  void SetValue(int index, Extended value);
  // The stored native value.
  Extended NativeValue(int index) const { return index >= 0 && index < 7 ? FValues[index] : 0; }

  int32_t Columns() const { return FColumns; }
  void SetColumns(int32_t value);
  TPrinterOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TPrinterOrientation value);
  TQRPaperSize PaperSize() const { return FPaperSize; }
  void SetPaperSize(TQRPaperSize value);
  bool Ruler() const { return FRuler; }
  void SetRuler(bool value);
  void SetUnits(TQRUnit value) override;
  void ApplyToParent() override;
  // The report control was resized to width x height pixels.
  void HostResized(int32_t width, int32_t height);

  void AssignFrom(const TPersistent* source) override;

 protected:
  int ValueCount() const override { return 7; }
  Extended* ValueSlots() override { return FValues; }
  void ValuesRead() override { ApplyToParent(); }

 private:
  static bool Horizontal(int index);
  Extended FValues[7] = {};
  int32_t FColumns = 1;
  TPrinterOrientation FOrientation = poPortrait;
  TQRPaperSize FPaperSize = TQRPaperSize::A4;
  bool FRuler = true;
};

class TQRFrame : public TPersistent {
  RPT_CLASS(TQRFrame, TPersistent)
  TQRFrame() = default;

  TColor Color() const { return FColor; }
  void SetColor(TColor value) { FColor = value; Changed(); }
  bool DrawTop() const { return FDrawTop; }
  void SetDrawTop(bool value) { FDrawTop = value; Changed(); }
  bool DrawBottom() const { return FDrawBottom; }
  void SetDrawBottom(bool value) { FDrawBottom = value; Changed(); }
  bool DrawLeft() const { return FDrawLeft; }
  void SetDrawLeft(bool value) { FDrawLeft = value; Changed(); }
  bool DrawRight() const { return FDrawRight; }
  void SetDrawRight(bool value) { FDrawRight = value; Changed(); }
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle value) { FStyle = value; Changed(); }
  // Points (1/72 inch); -1 is one device pixel.
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t value) { FWidth = value; Changed(); }
  bool HasAnySide() const { return FDrawTop || FDrawBottom || FDrawLeft || FDrawRight; }

  // The control to invalidate when a property changes.
  TCustomControl* Parent = nullptr;

  // Draws the frame's sides inside rect; the factors are device pixels per native unit.
  void DrawFrameLines(TCanvas& canvas, const TRect& rect, double xFactor, double yFactor) const;

  void AssignFrom(const TPersistent* source) override;

 private:
  void Changed();
  TColor FColor = clBlack;
  bool FDrawTop = false, FDrawBottom = false, FDrawLeft = false, FDrawRight = false;
  TPenStyle FStyle = psSolid;
  int32_t FWidth = 1;
};

}  // namespace rpt
