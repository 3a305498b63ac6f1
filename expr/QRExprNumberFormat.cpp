// Numeric format masks: "#,##0.00", "0.00E+00", "0;(0);'none'" and the like.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "expr/QRExprInternal.h"

namespace rpt {

namespace {

constexpr size_t kMaxMask = 255;

// One piece of a section.
struct TToken {
  enum TKind : uint8_t { Literal, IntDigit, FracDigit, Exponent, Skip } Kind;
  const char* Text;  // Literal: the characters; Exponent: the letter and sign
  int Length;
  int Index;  // IntDigit / FracDigit: position among those placeholders
  int Zeros;  // Exponent: minimum digits
  std::string_view View() const { return {Text, static_cast<size_t>(Length)}; }
};

// A mask has at most kMaxMask characters, so at most as many tokens: the layout lives
// on the stack and formatting a number allocates nothing beyond its text.
struct TLayout {
  TToken Tokens[kMaxMask];
  int TokenCount;
  int IntCount;      // placeholders before the point (i)
  int FracCount;     // after it (f)
  int FirstIntZero;  // first "0" before the point, or -1
  int LastFracZero;  // last "0" after the point, or -1
  int PointToken;    // the token of the decimal point, or -1
  bool Grouping;
  bool Scientific;
};

void ScanSection(std::string_view s, TLayout& layout) {
  layout.TokenCount = layout.IntCount = layout.FracCount = 0;
  layout.FirstIntZero = layout.LastFracZero = layout.PointToken = -1;
  layout.Grouping = layout.Scientific = false;
  bool seenPoint = false;
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    TToken token{TToken::Literal, s.data() + i, 0, 0, 0};
    if (c == '\'' || c == '"') {
      const size_t close = s.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? s.size() : close;
      token.Text = s.data() + i + 1;
      token.Length = static_cast<int>(end - i - 1);
      i = close == std::string_view::npos ? s.size() : close + 1;
    } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
      token.Kind = TToken::Exponent;
      token.Length = 2;
      i += 2;
      while (i < s.size() && s[i] == '0') {
        ++token.Zeros;
        ++i;
      }
      if (token.Zeros > 4) token.Zeros = 4;
      layout.Scientific = true;
    } else if (c == '#' || c == '0') {
      if (!seenPoint) {
        token.Kind = TToken::IntDigit;
        token.Index = layout.IntCount++;
        if (c == '0' && layout.FirstIntZero < 0) layout.FirstIntZero = token.Index;
      } else {
        token.Kind = TToken::FracDigit;
        token.Index = layout.FracCount++;
        if (c == '0') layout.LastFracZero = token.Index;
      }
      ++i;
    } else if (c == '.') {
      token.Kind = TToken::Skip;
      if (!seenPoint) {
        seenPoint = true;
        layout.PointToken = layout.TokenCount;
      }
      ++i;
    } else if (c == ',') {
      token.Kind = TToken::Skip;
      layout.Grouping = true;
      ++i;
    } else {
      const size_t start = i;
      while (i < s.size() && s[i] != '\'' && s[i] != '"' && s[i] != '#' && s[i] != '0' && s[i] != '.' &&
             s[i] != ',' && !((s[i] == 'E' || s[i] == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')))
        ++i;
      token.Length = static_cast<int>(i - start);
    }
    layout.Tokens[layout.TokenCount++] = token;
  }
}

struct TSections {
  std::string_view Items[3];
  int Count = 0;
};

// Splits at ";" outside quotes; at most three sections count.
TSections Sections(std::string_view mask) {
  TSections sections;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      sections.Items[sections.Count++] = mask.substr(start, i - start);
      start = i + 1;
      if (sections.Count == 3) return sections;
    }
  }
  sections.Items[sections.Count++] = mask.substr(start);
  return sections;
}

class TWriter {
 public:
  TWriter(const TLayout& layout, const TFormatSettings& settings, std::string& out)
      : L(layout), S(settings), Out(out) {}

  void Write(std::string_view intDigits, std::string_view fracDigits, int exponent) {
    const int n = static_cast<int>(intDigits.size());
    const int i = L.IntCount;
    for (int t = 0; t < L.TokenCount; ++t) {
      const TToken& token = L.Tokens[t];
      switch (token.Kind) {
        case TToken::Literal: Out.append(token.View()); break;
        case TToken::Skip:
          // Without a placeholder before the point the whole number still shows, in
          // front of the point, rather than being dropped.
          if (t == L.PointToken && i == 0)
            for (int j = 0; j < n; ++j) Digit(intDigits[j], n - 1 - j);
          break;
        case TToken::IntDigit: {
          const int k = token.Index;
          if (k == 0 && n > i) {
            for (int j = 0; j <= n - i; ++j) Digit(intDigits[j], n - 1 - j);
          } else if (n - i + k >= 0) {
            Digit(intDigits[n - i + k], i - 1 - k);
          } else if (L.FirstIntZero >= 0 && k >= L.FirstIntZero) {
            Digit('0', i - 1 - k);
          }
          break;
        }
        case TToken::FracDigit:
          if (FNextFrac < fracDigits.size())
            Fraction(fracDigits[FNextFrac++]);
          else if (token.Index <= L.LastFracZero)
            Fraction('0');
          break;
        case TToken::Exponent: {
          Out += token.Text[0];
          if (exponent < 0)
            Out += '-';
          else if (token.Text[1] == '+')
            Out += '+';
          char digits[12];
          const auto r = std::to_chars(digits, digits + sizeof digits, exponent < 0 ? -exponent : exponent);
          const int length = static_cast<int>(r.ptr - digits);
          if (length < token.Zeros) Out.append(static_cast<size_t>(token.Zeros - length), '0');
          Out.append(digits, r.ptr);
          break;
        }
      }
    }
  }

 private:
  // An integer digit with `after` integer positions to its right.
  void Digit(char c, int after) {
    Out += c;
    if (L.Grouping && after > 0 && after % 3 == 0) Out += S.ThousandSeparator;
  }
  void Fraction(char c) {
    if (!FSeparatorWritten) {
      Out += S.DecimalSeparator;
      FSeparatorWritten = true;
    }
    Out += c;
  }

  const TLayout& L;
  const TFormatSettings& S;
  std::string& Out;
  size_t FNextFrac = 0;
  bool FSeparatorWritten = false;
};

}  // namespace

bool FormatNumericMask(std::string_view mask, double value, std::string& result, const TFormatSettings& settings) {
  result.clear();
  if (mask.size() > kMaxMask) return false;
  const TSections sections = Sections(mask);
  if (sections.Items[0].empty() || !std::isfinite(value)) {
    FormatGeneralFloatInto(value, settings, result);
    return true;
  }
  auto section = [&](int which) { return which < sections.Count && !sections.Items[which].empty() ? which : 0; };
  int chosen = section(value < 0 ? 1 : value == 0 ? 2 : 0);
  TLayout layout;
  ScanSection(sections.Items[chosen], layout);
  if (!layout.Scientific && std::fabs(value) >= 1e18) {
    FormatGeneralFloatInto(value, settings, result);
    return true;
  }
  TDecimal d;
  d.Load(value);
  if (layout.Scientific)
    d.Round(std::max(1, layout.IntCount + layout.FracCount));
  else
    d.Round(d.Exponent + layout.FracCount);
  if (d.Count == 0 && value != 0) {
    // Rounds to zero: the zero section, and no sign.
    const int zero = section(2);
    if (zero != chosen) ScanSection(sections.Items[zero], layout);
    chosen = zero;
  }
  // The digits before and after the point; at most the mask's placeholders plus the
  // 18 significant digits plus an exponent's worth of zeros.
  char intBuffer[400], fracBuffer[400];
  size_t intLength = 0, fracLength = 0;
  int exponent = 0;
  if (d.Count > 0) {
    const int whole = layout.Scientific ? layout.IntCount : std::max(d.Exponent, 0);
    for (int k = 0; k < whole; ++k) intBuffer[intLength++] = k < d.Count ? d.Digits[k] : '0';
    if (!layout.Scientific && d.Exponent < 0)
      for (int k = 0; k < -d.Exponent && fracLength < 300; ++k) fracBuffer[fracLength++] = '0';
    for (int k = whole; k < d.Count; ++k) fracBuffer[fracLength++] = d.Digits[k];
    if (layout.Scientific) exponent = d.Exponent - layout.IntCount;
  }
  if (d.Count > 0 && d.Negative && chosen == 0) result += '-';
  TWriter(layout, settings, result)
      .Write(std::string_view(intBuffer, intLength), std::string_view(fracBuffer, fracLength), exponent);
  // A number text that does not fit a string value would be cut, and so be wrong.
  return EvStringLength(result) <= kMaxEvString;
}

std::string FormatNumericMask(std::string_view mask, double value, const TFormatSettings& settings) {
  std::string result;
  if (!FormatNumericMask(mask, value, result, settings)) return {};
  return result;
}

}  // namespace rpt
