#include "report/QRTextLayout.h"

#include "framework/QtCanvas.h"

namespace rpt {

namespace {

// Byte offsets of the character boundaries of UTF-8 text after the first character,
// the end included (a stray byte counts as one character).
std::vector<size_t> CharacterEnds(std::string_view text) {
  std::vector<size_t> ends;
  for (size_t i = 1; i <= text.size(); ++i)
    if (i == text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) ends.push_back(i);
  return ends;
}

class TLineBreaker {
 public:
  TLineBreaker(const TQRLineFormat& format, const TTextWidthFunc& width, std::vector<std::string>& lines)
      : FFormat(format), FWidth(width), FLines(lines) {}

  void AddWord(std::string_view word) {
    if (FStopped) return;
    // Nothing fits in no room: the word is dropped.
    if (!(FFormat.Width > 0)) return;
    if (Fits(FLine + std::string(word))) {
      FLine += word;
      return;
    }
    if (!FLine.empty()) {
      EndLine();
      if (!FFormat.WordWrap) return Stop();
    }
    // The line is empty: a word wider than the room goes on at character boundaries.
    bool broken = false;
    while (!word.empty()) {
      if (Fits(word)) {
        // The space that ended a broken word does not start the next line.
        if (!broken || word.find_first_not_of(' ') != std::string_view::npos) FLine = word;
        return;
      }
      broken = true;
      const size_t cut = FittingPrefix(word);
      if (cut >= word.size()) {
        // One character wider than the room: it stays the line's only character.
        FLine = word;
        return;
      }
      FLine = word.substr(0, cut);
      EndLine();
      word.remove_prefix(cut);
      if (!FFormat.WordWrap) return Stop();
    }
  }

  void Finish() {
    if (!FStopped) FLines.push_back(FLine);
  }

 private:
  bool Fits(std::string_view text) const { return FWidth(text) <= FFormat.Width; }
  void EndLine() {
    FLines.push_back(FLine);
    FLine.clear();
  }
  void Stop() { FStopped = true; }
  // The longest prefix that fits, at least one character so every line makes progress.
  size_t FittingPrefix(std::string_view word) const {
    const std::vector<size_t> ends = CharacterEnds(word);
    size_t lo = 0, hi = ends.size();  // the first lo characters fit, the first hi do not
    while (hi - lo > 1) {
      const size_t mid = (lo + hi) / 2;
      if (Fits(word.substr(0, ends[mid - 1])))
        lo = mid;
      else
        hi = mid;
    }
    return ends[std::max<size_t>(lo, 1) - 1];
  }

  const TQRLineFormat& FFormat;
  const TTextWidthFunc& FWidth;
  std::vector<std::string>& FLines;
  std::string FLine;
  bool FStopped = false;
};

}  // namespace

void FormatSourceText(std::string_view text, const TQRLineFormat& format, const TTextWidthFunc& width,
                      std::vector<std::string>& lines) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text)
    if (c != '\n') clean += c;
  if (const size_t cr = clean.find('\r'); cr != std::string::npos) {
    size_t start = 0;
    for (size_t i = cr; i != std::string::npos; start = i + 1, i = clean.find('\r', start))
      FormatSourceText(std::string_view(clean).substr(start, i - start), format, width, lines);
    FormatSourceText(std::string_view(clean).substr(start), format, width, lines);
    return;
  }
  if (format.AutoSize) {
    lines.push_back(clean);
    return;
  }
  TLineBreaker breaker(format, width, lines);
  size_t start = 0;
  for (size_t i = 0; i < clean.size(); ++i) {
    if (clean[i] == ' ' || clean[i] == '-') {
      breaker.AddWord(std::string_view(clean).substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < clean.size()) breaker.AddWord(std::string_view(clean).substr(start));
  breaker.Finish();
}

double TextWidthNative(const TFont& font, std::string_view text) {
  return text.empty() ? 0 : MeasureText(font, text, 254).Width;
}

double LineHeightNative(const TFont& font) {
  // Asked for every control laid out, mostly in the same few fonts.
  thread_local std::string lastKey;
  thread_local double lastHeight = 0;
  std::string key = font.Name() + '\x1f' + std::to_string(font.Height()) + ':' + std::to_string(font.PixelsPerInch()) +
                    ':' + std::to_string(font.Style().Mask()) + ':' + std::to_string(font.Pitch());
  if (key != lastKey) {
    lastHeight = MeasureText(font, "W", 254).Height;
    lastKey = std::move(key);
  }
  return lastHeight;
}

}  // namespace rpt
