#include "framework/Canvas.h"

namespace rpt {

RPT_BEGIN_CLASS(TCanvas, TPersistent)
RPT_END_CLASS

TCanvas::TCanvas() : FFont(new TFont), FPen(new TPen), FBrush(new TBrush) {}

TCanvas::~TCanvas() = default;

void TCanvas::AnchoredTextOut(int32_t x, int32_t y, std::string_view text, TAlignment anchor) {
  if (anchor == taRightJustify)
    x -= TextWidth(text);
  else if (anchor == taCenter)
    x -= TextWidth(text) / 2;
  TextOut(x, y, text);
}

}  // namespace rpt
