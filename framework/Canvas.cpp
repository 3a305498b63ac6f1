#include "framework/Canvas.h"

namespace rpt {

RPT_BEGIN_CLASS(TCanvas, TPersistent)
RPT_END_CLASS

TCanvas::TCanvas() : FFont(new TFont), FPen(new TPen), FBrush(new TBrush) {}

TCanvas::~TCanvas() = default;

}  // namespace rpt
