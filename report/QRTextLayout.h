#pragma once
// Breaking a text printable's text into lines. Widths are compared in native units
// (0.1 mm) with text measured at the high-resolution reference, so the designer at any
// zoom, the recorded pages and the printer all break lines at the same places.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Graphics.h"

namespace rpt {

// The width of a text, in the unit the layout compares against.
using TTextWidthFunc = std::function<double(std::string_view)>;

struct TQRLineFormat {
  double Width = 0;       // the room for a line
  bool AutoSize = false;  // one line per source text, no wrapping
  bool WordWrap = true;   // off: only what fits on the first line of each source text
  bool Verbatim = false;  // each source text is one line as it is (a memo with AutoSize)
};

class TLineBreaker;

// Lays out source texts one line at a time: a print asks only for the lines it places,
// so a huge text costs what shows of it, and a print continued on the next page goes
// on where it stopped instead of laying out the text again.
class TQRLineFormatter {
 public:
  TQRLineFormatter(const TQRLineFormat& format, TTextWidthFunc width, std::vector<std::string> sources);
  ~TQRLineFormatter();
  TQRLineFormatter(const TQRLineFormatter&) = delete;
  TQRLineFormatter& operator=(const TQRLineFormatter&) = delete;

  // The next line, formatted if need be; nullptr when the text is used up.
  const std::string* Peek() { return Peek(0); }
  // The line that many after the next (formatting up to it); nullptr past the end.
  const std::string* Peek(size_t ahead);
  // Takes the line Peek returned.
  void Pop();
  // Takes the next line; false when the text is used up.
  bool Next(std::string& line);
  bool AtEnd() { return Peek() == nullptr; }

 private:
  bool Advance();
  bool NextPart();

  TQRLineFormat FFormat;
  TTextWidthFunc FWidth;
  std::vector<std::string> FSources;
  size_t FSourceIndex = 0;
  std::string FText;  // the current source text without its line feeds
  size_t FPartStart = 0, FPartEnd = 0, FPos = 0;
  bool FHasText = false;
  std::deque<std::string> FReady;
  std::unique_ptr<TLineBreaker> FBreaker;
};

// Formats one source text (a caption or a memo line) and appends its lines: line feeds
// are dropped, carriage returns start new source texts, words run up to and including
// a space or hyphen. A word wider than the room is broken at character boundaries onto
// the following lines.
void FormatSourceText(std::string_view text, const TQRLineFormat& format, const TTextWidthFunc& width,
                      std::vector<std::string>& lines);

// Text extents of a font in native units, measured at the reference resolution.
double TextWidthNative(const TFont& font, std::string_view text);
// The height of one line (the cell height of "W").
double LineHeightNative(const TFont& font);
// Native units per screen pixel at 100 %.
constexpr double kNativePerPixel = 254.0 / kScreenPixelsPerInch;

}  // namespace rpt
