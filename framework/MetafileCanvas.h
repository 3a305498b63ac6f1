#pragma once
// The recording back end of TCanvas: every drawing operation becomes Enhanced Metafile
// records (pens, brushes and fonts as objects, text as EMR_EXTTEXTOUTW with its font,
// colour and alignment), so a page can be stored, played at any scale and exported as
// a standard .emf file. Text is measured as the painter back end measures it.
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/Canvas.h"
#include "framework/Metafile.h"

namespace rpt {

class TMetafileCanvas : public TCanvas {
 public:
  // Records onto page, whose size (pixels of a reference device of dpi pixels per inch)
  // is the page's Width and Height. The page receives its bytes when the canvas is
  // closed or destroyed.
  explicit TMetafileCanvas(TMetafile& page, int dpi = kScreenPixelsPerInch);
  ~TMetafileCanvas() override;

  TMetafileCanvas(const TMetafileCanvas&) = delete;
  TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

  // Completes the metafile (end record, header with bounds, size and record count) and
  // hands it to the page; drawing afterwards is ignored.
  void Close();

  int PixelsPerInch() const override { return FDpi; }

  void LineTo(int32_t x, int32_t y) override;
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t rx, int32_t ry) override;
  void FillRect(const TRect& rect) override;
  void FrameRect(const TRect& rect) override;
  void Polyline(const std::vector<TPoint>& points) override;
  void Polygon(const std::vector<TPoint>& points) override;
  void SetPixel(int32_t x, int32_t y, TColor color) override;
  // Recorded as one polygon set in sixteenths of a pixel under a world transform.
  void FillRectsF(const std::vector<TRectF>& rects) override;
  void FillPolygonF(const std::vector<TPointF>& points) override;
  // Recorded as a stretched device-independent bitmap (24 bits, laid on white).
  void StretchDraw(const TRect& dest, const TPixels& pixels) override;
  void TextOut(int32_t x, int32_t y, std::string_view text) override;
  void TextRect(const TRect& rect, int32_t x, int32_t y, std::string_view text) override;
  // Recorded with the text alignment of the anchor, so a player aligns the text it draws.
  void AnchoredTextOut(int32_t x, int32_t y, std::string_view text, TAlignment anchor) override;
  void Annotate(const TPageAnnotation& annotation) override;
  TSize TextExtent(std::string_view text) override;
  TTextExtentF TextExtentF(std::string_view text) override;
  void SetClipRect(const TRect& rect) override;
  void ClearClipRect() override;
  bool HasClipRect() const override { return FHasClip; }
  TRect ClipRect() const override { return FClip; }

  // Records written so far (header and end record not counted until Close).
  uint32_t RecordCount() const { return FRecordCount; }
  // Solid fills left out because they could not change a pixel (see FillRect).
  uint32_t FillsLeftOut() const { return FFillsLeftOut; }

 private:
  struct TPenState {
    TColor Color;
    TPenStyle Style;
    int32_t Width;
    bool operator==(const TPenState&) const = default;
  };
  struct TBrushState {
    TColor Color;
    TBrushStyle Style;
    bool operator==(const TBrushState&) const = default;
  };

  bool Recording() const { return !FClosed; }
  // Starts a record of the given type; EndRecord fills in its size.
  size_t BeginRecord(uint32_t type);
  void RecordPoly(const std::vector<TPoint>& points, uint32_t smallType, uint32_t wideType);
  // Around the records of a shape at fractional positions: its brush, no pen and the
  // sub-pixel world transform; the end resets the transform and takes in the bounds.
  void BeginSubPixelShape();
  void EndSubPixelShape(double left, double top, double right, double bottom);
  void EndRecord(size_t start);
  void SimpleRecord(uint32_t type, std::initializer_list<int32_t> values);

  void UsePen();
  void UseBrush();
  void UseBrushState(const TBrushState& state);
  void UseFont();
  void UseTextColors();
  void UseBackground(bool opaque);
  uint32_t NewHandle(uint32_t& current, uint32_t first);
  void Select(uint32_t handle);
  void Delete(uint32_t handle);

  // Text measuring, kept per font: character advances and the widths of recent strings
  // (a report measures most strings before drawing them).
  struct TMeasure {
    TFont Font;
    std::unordered_map<char32_t, double> Advances;
    std::unordered_map<std::string, double> Widths;
  };
  TMeasure& Measure();
  double Width(TMeasure& m, std::string_view text);
  double Advance(TMeasure& m, char32_t c);
  void DrawText(int32_t x, int32_t y, std::string_view text, const TRect* clip, TAlignment anchor = taLeftJustify);
  void Include(int64_t left, int64_t top, int64_t right, int64_t bottom);
  void IncludeShape(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Takes a drawing's extent into what was drawn over the base fill, widened by margin.
  void Touch(int64_t left, int64_t top, int64_t right, int64_t bottom, int64_t margin);
  bool FillIsCovered(const TRect& rect, TColor color) const;

  TMetafile& FPage;
  int FDpi;
  bool FClosed = false;
  std::string FRecords;
  uint32_t FRecordCount = 0;
  // The drawing's extent, inclusive; empty while Left > Right.
  int64_t FBoundsLeft = 1, FBoundsTop = 1, FBoundsRight = 0, FBoundsBottom = 0;

  // What the player's device context holds, so only changes are recorded.
  std::optional<TPenState> FPenState;
  std::optional<TBrushState> FBrushState;
  bool FFontSelected = false;
  TFont FRecordedFont;
  std::optional<TColor> FTextColor;
  std::optional<TColor> FBkColor;
  std::optional<uint32_t> FBkMode;
  uint32_t FRop2 = 13;  // R2_COPYPEN, the device default
  TPoint FRecordedPos;   // current position of the device context
  uint32_t FPenHandle = 0, FBrushHandle = 0, FFontHandle = 0;

  bool FHasClip = false;
  TRect FClip;

  // The last solid fill recorded that lay outside the one before (a band's background,
  // say) and the extent of everything drawn since, widened by what ink can reach past
  // the recorded bounds: a fill of its colour inside it and clear of that extent paints
  // pixels that are already its colour, so it is left out.
  struct TFillBase {
    TRect Rect;
    TColor Color;
    bool HasClip;
    TRect Clip;
  };
  std::optional<TFillBase> FFillBase;
  // A raster operation other than copying makes painting twice differ from once.
  bool FRasterOpUsed = false;
  int64_t FSinceLeft = 1, FSinceTop = 1, FSinceRight = 0, FSinceBottom = 0;
  uint32_t FFillsLeftOut = 0;

  std::vector<std::unique_ptr<TMeasure>> FMeasures;  // most recently used first
};

}  // namespace rpt
