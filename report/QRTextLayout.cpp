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

// The first character boundary at or after byte n.
size_t BoundaryAfter(std::string_view text, size_t n) {
  n = std::min(n, text.size());
  while (n < text.size() && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) ++n;
  return n;
}

// Texts longer than this are measured by growing prefixes first.
constexpr size_t kShortText = 256;

}  // namespace

// Adds words to lines. A word wider than the room is broken one line at a time, so the
// formatter can stop after any line.
class TLineBreaker {
 public:
  TLineBreaker(const TQRLineFormat& format, const TTextWidthFunc& width, std::deque<std::string>& lines)
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
    FPending = word;
    FBroken = false;
    ContinueWord();
  }

  bool HasPending() const { return !FPending.empty(); }

  // Places what is left of a broken word: the rest of it when it fits, else one line.
  void ContinueWord() {
    std::string_view word = FPending;
    FPending = {};
    if (word.empty()) return;
    if (Fits(word)) {
      // The space that ended a broken word does not start the next line.
      if (!FBroken || word.find_first_not_of(' ') != std::string_view::npos) FLine = word;
      return;
    }
    FBroken = true;
    const size_t cut = FittingPrefix(word);
    if (cut >= word.size()) {
      // One character wider than the room: it stays the line's only character.
      FLine = word;
      return;
    }
    FLine = word.substr(0, cut);
    EndLine();
    if (!FFormat.WordWrap) return Stop();
    FPending = word.substr(cut);
  }

  void Finish() {
    if (!FStopped) FLines.push_back(FLine);
  }

 private:
  // A long text that does not fit is known by a prefix that does not: a line costs the
  // measuring of about what it holds, whatever the length of the text.
  bool Fits(std::string_view text) const {
    for (size_t n = kShortText; n < text.size(); n *= 4) {
      const size_t end = BoundaryAfter(text, n);
      if (end >= text.size()) break;
      if (FWidth(text.substr(0, end)) > FFormat.Width) return false;
    }
    return FWidth(text) <= FFormat.Width;
  }
  void EndLine() {
    FLines.push_back(FLine);
    FLine.clear();
  }
  void Stop() {
    FStopped = true;
    FPending = {};
  }
  // The longest prefix that fits, at least one character so every line makes progress.
  // Only the characters up to the first prefix found too wide are looked at.
  size_t FittingPrefix(std::string_view word) const {
    size_t span = 64;
    while (span < word.size()) {
      const size_t end = BoundaryAfter(word, span);
      if (end >= word.size() || FWidth(word.substr(0, end)) > FFormat.Width) break;
      span *= 2;
    }
    const std::vector<size_t> ends = CharacterEnds(word.substr(0, BoundaryAfter(word, span)));
    size_t lo = 0, hi = ends.size();  // the first lo characters fit, the first hi do not
    while (hi - lo > 1) {
      const size_t mid = (lo + hi) / 2;
      if (FWidth(word.substr(0, ends[mid - 1])) <= FFormat.Width)
        lo = mid;
      else
        hi = mid;
    }
    return ends[std::max<size_t>(lo, 1) - 1];
  }

  const TQRLineFormat& FFormat;
  const TTextWidthFunc& FWidth;
  std::deque<std::string>& FLines;
  std::string FLine;
  std::string_view FPending;  // what is left of a word being broken
  bool FBroken = false;
  bool FStopped = false;
};

TQRLineFormatter::TQRLineFormatter(const TQRLineFormat& format, TTextWidthFunc width,
                                   std::vector<std::string> sources)
    : FFormat(format), FWidth(std::move(width)), FSources(std::move(sources)) {}

TQRLineFormatter::~TQRLineFormatter() = default;

const std::string* TQRLineFormatter::Peek(size_t ahead) {
  while (FReady.size() <= ahead)
    if (!Advance()) return nullptr;
  return &FReady[ahead];
}

void TQRLineFormatter::Pop() {
  if (!FReady.empty()) FReady.pop_front();
}

bool TQRLineFormatter::Next(std::string& line) {
  if (!Peek()) return false;
  line = std::move(FReady.front());
  FReady.pop_front();
  return true;
}

// The next part between carriage returns, from the current source text or the next.
bool TQRLineFormatter::NextPart() {
  if (FHasText && FPartEnd < FText.size()) {
    FPartStart = FPartEnd + 1;
  } else {
    if (FSourceIndex >= FSources.size()) return false;
    std::string& source = FSources[FSourceIndex++];
    FText.clear();
    FText.reserve(source.size());
    for (char c : source)
      if (c != '\n') FText += c;
    std::string().swap(source);  // a huge text is held once
    FHasText = true;
    FPartStart = 0;
  }
  FPartEnd = std::min(FText.find('\r', FPartStart), FText.size());
  FPos = FPartStart;
  return true;
}

// One step of formatting: a word added, a broken word's next line, a part begun or ended.
bool TQRLineFormatter::Advance() {
  if (FFormat.Verbatim) {
    if (FSourceIndex >= FSources.size()) return false;
    FReady.push_back(std::move(FSources[FSourceIndex++]));
    return true;
  }
  if (!FBreaker) {
    if (!NextPart()) return false;
    const std::string_view part = std::string_view(FText).substr(FPartStart, FPartEnd - FPartStart);
    if (FFormat.AutoSize) {
      FReady.emplace_back(part);
      return true;
    }
    FBreaker = std::make_unique<TLineBreaker>(FFormat, FWidth, FReady);
    return true;
  }
  if (FBreaker->HasPending()) {
    FBreaker->ContinueWord();
    return true;
  }
  if (FPos < FPartEnd) {
    size_t end = FPos;
    while (end < FPartEnd && FText[end] != ' ' && FText[end] != '-') ++end;
    end = std::min(end + 1, FPartEnd);
    FBreaker->AddWord(std::string_view(FText).substr(FPos, end - FPos));
    FPos = end;
    return true;
  }
  FBreaker->Finish();
  FBreaker.reset();
  return true;
}

void FormatSourceText(std::string_view text, const TQRLineFormat& format, const TTextWidthFunc& width,
                      std::vector<std::string>& lines) {
  TQRLineFormat oneText = format;
  oneText.Verbatim = false;
  TQRLineFormatter formatter(oneText, width, {std::string(text)});
  std::string line;
  while (formatter.Next(line)) lines.push_back(std::move(line));
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
