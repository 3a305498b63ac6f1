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

bool ReadJpegFrame(std::string_view bytes, TJpegFrame& frame) {
  frame = {};
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
  size_t at = 2;
  while (at + 4 <= n) {
    if (b[at] != 0xFF) return false;
    const unsigned char marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // the end or a scan before any frame
    const size_t length = size_t(b[at + 2]) << 8 | b[at + 3];
    if (length < 2 || at + 2 + length > n) return false;
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!sof) {
      at += 2 + length;
      continue;
    }
    const unsigned char* p = b + at + 4;
    if (length < 8) return false;
    frame.Height = int32_t(p[1]) << 8 | p[2];
    frame.Width = int32_t(p[3]) << 8 | p[4];
    frame.Components = p[5];
    if (length < 8 + 3 * size_t(frame.Components)) return false;
    // Colour components named R, G, B hold no luma and chroma, which readers would assume.
    const bool named = frame.Components == 3 && p[6] == 'R' && p[9] == 'G' && p[12] == 'B';
    frame.Passable = marker <= 0xC2 && p[0] == 8 && frame.Width > 0 && frame.Height > 0 &&
                     (frame.Components == 1 || frame.Components == 3) && !named;
    return true;
  }
  return false;
}

}  // namespace rpt
