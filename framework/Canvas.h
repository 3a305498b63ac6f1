#pragma once
// The drawing interface every back end implements (a painter on widgets, images,
// printers and PDF; a metafile recorder). Coordinates are the device's pixels; text is
// UTF-8. No toolkit types here, so report code draws without knowing the device.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Graphics.h"

namespace rpt {

struct TPageAnnotation;

struct TSize {
  int32_t cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

// Text extents measured at the high-resolution reference, scaled to a device resolution.
struct TTextExtentF {
  double Width = 0, Height = 0, Ascent = 0, Descent = 0;
};

// A rectangle at fractional device positions; right and bottom are exclusive.
struct TRectF {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// A point at a fractional device position.
struct TPointF {
  double X = 0, Y = 0;
};

// The pixels of a picture, 0xAARRGGBB, rows from the top; Jpeg, when set, is the JPEG
// they were decoded from unchanged (a document keeps those bytes rather than the pixels).
struct TPixels {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Data;
  std::string Jpeg;
  bool Empty() const { return Width <= 0 || Height <= 0 || Data.size() != size_t(Width) * size_t(Height); }
};

// The frame of a JPEG as its start-of-frame marker declares it. Passable: a document can
// hold the bytes as they are and every reader shows them as they decode here (8-bit
// baseline, extended or progressive, grey or colour in the usual components); anything
// else (CMYK, 12 bits, arithmetic coding, lossless) is decoded and kept as pixels.
struct TJpegFrame {
  int32_t Width = 0, Height = 0;
  int Components = 0;
  bool Passable = false;
};
// False when the bytes hold no JPEG frame before its scan.
bool ReadJpegFrame(std::string_view bytes, TJpegFrame& frame);

class TCanvas : public TPersistent {
  RPT_CLASS(TCanvas, TPersistent)

  TCanvas();
  ~TCanvas() override;

  TFont* Font() const { return FFont.get(); }
  TPen* Pen() const { return FPen.get(); }
  TBrush* Brush() const { return FBrush.get(); }
  void SetFont(const TFont* font) { FFont->AssignFrom(font); }
  void SetPen(const TPen* pen) { FPen->AssignFrom(pen); }
  void SetBrush(const TBrush* brush) { FBrush->AssignFrom(brush); }

  // Device resolution: the font's points become pixels at this many pixels per inch.
  virtual int PixelsPerInch() const = 0;

  TPoint PenPos() const { return FPenPos; }
  void MoveTo(int32_t x, int32_t y) { FPenPos = {x, y}; }
  // Draws from the pen position to (x, y), excluding the end point; moves the pen there.
  virtual void LineTo(int32_t x, int32_t y) = 0;
  // Outlined with the pen, filled with the brush; right and bottom are exclusive.
  virtual void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void RoundRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t rx, int32_t ry) = 0;
  // Brush only.
  virtual void FillRect(const TRect& rect) = 0;
  // A one-pixel frame in the brush colour.
  virtual void FrameRect(const TRect& rect) = 0;
  virtual void Polyline(const std::vector<TPoint>& points) = 0;
  virtual void Polygon(const std::vector<TPoint>& points) = 0;
  virtual void SetPixel(int32_t x, int32_t y, TColor color) = 0;
  // Rectangles filled with the brush colour, no outline, at fractional positions: fine
  // drawings (barcode bars and modules) that keep their widths at any resolution.
  virtual void FillRectsF(const std::vector<TRectF>& rects) = 0;
  // A polygon filled with the brush colour, no outline, at fractional positions: shapes
  // with slanted or curved edges (chart slices and areas) that keep their form at any
  // resolution and stay vectors on a PDF page.
  virtual void FillPolygonF(const std::vector<TPointF>& points) = 0;
  // A picture stretched over dest; transparent parts show what is below (a recording
  // lays them on white, as paper is).
  virtual void StretchDraw(const TRect& dest, const TPixels& pixels) = 0;

  // Text with its cell's top left at (x, y); the background is filled with the brush
  // unless the brush is clear.
  virtual void TextOut(int32_t x, int32_t y, std::string_view text) = 0;
  // As TextOut, clipped to rect (and the background of rect filled when opaque).
  virtual void TextRect(const TRect& rect, int32_t x, int32_t y, std::string_view text) = 0;
  // Text whose right end (taRightJustify) or middle (taCenter) is at x: a recording keeps
  // the anchor, so the text stays aligned when the page count is filled in later.
  virtual void AnchoredTextOut(int32_t x, int32_t y, std::string_view text, TAlignment anchor);
  // A bookmark or link of the page: kept by a recording, nothing on a screen or printer.
  virtual void Annotate(const TPageAnnotation&) {}
  // Layout extents (high-resolution reference, rounded at this device).
  virtual TSize TextExtent(std::string_view text) = 0;
  virtual TTextExtentF TextExtentF(std::string_view text) = 0;
  int32_t TextWidth(std::string_view text) { return TextExtent(text).cx; }
  int32_t TextHeight(std::string_view text) { return TextExtent(text).cy; }

  // Clipping to one rectangle, or none.
  virtual void SetClipRect(const TRect& rect) = 0;
  virtual void ClearClipRect() = 0;
  virtual bool HasClipRect() const = 0;
  virtual TRect ClipRect() const = 0;

 protected:
  TPoint FPenPos;

 private:
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
};

}  // namespace rpt
