#pragma once
// The painter back end of TCanvas (widgets, images, printers, PDF) and the text
// measuring every back end shares.
#include <QColor>
#include <QFont>
#include <QPainter>
#include <memory>
#include <vector>

#include "framework/Canvas.h"

namespace rpt {

// Layout text is measured at this resolution with unhinted outlines and scaled to the
// device, so screen, printer and PDF break lines at the same places.
constexpr int kReferenceDpi = 7200;

QColor ToQColor(TColor color);
// The font at the reference resolution (pixel size = points * 100).
QFont ReferenceFont(const TFont& font);
// Extents of text in the font at a device resolution.
TTextExtentF MeasureText(const TFont& font, std::string_view text, int dpi);
// At the reference resolution: the width of a text, the advance of one character, the
// ascent and descent; what QFontMetricsF gives for ReferenceFont(font), kept per font
// and character and shared by all threads.
double ReferenceWidth(const TFont& font, std::string_view text);
double ReferenceAdvance(const TFont& font, char32_t c);
void ReferenceAscentDescent(const TFont& font, double& ascent, double& descent);
// The glyphs of a text in the font's own face and their positions along the baseline at
// the reference resolution, as shaping places them; false where the text needs another
// face or shaping breaks it into runs.
bool ReferenceGlyphs(const TFont& font, std::string_view text, std::vector<uint32_t>& glyphs,
                     std::vector<double>& positions);
QString ToQString(std::string_view utf8);
// A line as the device draws one, between pixel coordinates: with a thin pen it
// includes its first pixel and leaves out its last, in every direction.
void DrawDeviceLine(QPainter& painter, QPointF from, QPointF to, bool thin);

class TQtCanvas : public TCanvas {
 public:
  // dpi 0 takes the painter device's logical resolution.
  explicit TQtCanvas(QPainter* painter, int dpi = 0);
  ~TQtCanvas() override;

  QPainter* Painter() const { return FPainter; }
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
  void FillRectsF(const std::vector<TRectF>& rects) override;
  void FillPolygonF(const std::vector<TPointF>& points) override;
  void StretchDraw(const TRect& dest, const TPixels& pixels) override;
  void TextOut(int32_t x, int32_t y, std::string_view text) override;
  void TextRect(const TRect& rect, int32_t x, int32_t y, std::string_view text) override;
  TSize TextExtent(std::string_view text) override;
  TTextExtentF TextExtentF(std::string_view text) override;
  void SetClipRect(const TRect& rect) override;
  void ClearClipRect() override;
  bool HasClipRect() const override { return FHasClip; }
  TRect ClipRect() const override { return FClip; }

 private:
  void UsePen();
  template <typename TDraw>
  bool FillShapeWithPen(const QRectF& box, int penWidth, TDraw draw);
  void UseBrush();
  void NoPen();
  void DrawText(int32_t x, int32_t y, std::string_view text, const TRect* clip);
  bool DrawGlyphs(int32_t x, int32_t y, std::string_view text);

  QPainter* FPainter;
  int FDpi;
  bool FHasClip = false;
  TRect FClip;
  struct TDeviceFaces;
  std::unique_ptr<TDeviceFaces> FFaces;
};

}  // namespace rpt
