// Values and the texts made from them: the 255-character cut, case mapping, the general
// float text and EvValueToString.
#include <charconv>
#include <cmath>
#include <cstring>

#include "expr/QRExpr.h"
#include "expr/QRExprInternal.h"
#include "objects/CodePage.h"
#include "objects/Format.h"

namespace rpt {

// ---------------------------------------------------------------------------
// UTF-8 characters. Bytes that do not start a valid sequence count as one character
// each, so foreign text is cut and mapped without ever splitting a character.
namespace {

size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

size_t NextCharEnd(std::string_view text, size_t pos) {
  const size_t n = SequenceLength(static_cast<unsigned char>(text[pos]));
  if (n == 1 || pos + n > text.size()) return pos + 1;
  for (size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(text[pos + k]) & 0xC0) != 0x80) return pos + 1;
  return pos + n;
}

size_t EvStringLength(std::string_view text) {
  size_t count = 0;
  for (size_t pos = 0; pos < text.size(); pos = NextCharEnd(text, pos)) ++count;
  return count;
}

size_t CharOffset(std::string_view text, size_t chars) {
  size_t pos = 0;
  while (chars > 0 && pos < text.size()) {
    pos = NextCharEnd(text, pos);
    --chars;
  }
  return pos;
}

void CutEvString(std::string& text) {
  if (text.size() <= kMaxEvString) return;  // fewer bytes than the limit: fewer characters too
  const size_t end = CharOffset(text, kMaxEvString);
  if (end < text.size()) text.resize(end);
}

namespace {

// Decodes the character at pos; a stray byte gives 0xFFFFFFFF and is copied as it is.
char32_t Decode(std::string_view text, size_t pos, size_t& end) {
  end = NextCharEnd(text, pos);
  const auto* p = reinterpret_cast<const unsigned char*>(text.data() + pos);
  switch (end - pos) {
    case 2: return ((p[0] & 0x1F) << 6) | (p[1] & 0x3F);
    case 3: return ((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    case 4: return ((p[0] & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    default: return p[0] < 0x80 ? p[0] : 0xFFFFFFFF;  // a stray byte is copied unchanged
  }
}

bool InRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

// Blocks laid out as pairs (upper, lower), (upper, lower)... from first: the lower
// letters sit at odd offsets.
bool PairIsLower(char32_t c, char32_t first) { return (c - first) % 2 == 1; }

char32_t UpperChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (InRange(c, 0xE0, 0xFE) && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177))
    return PairIsLower(c, c >= 0x14A ? 0x14A : (c >= 0x132 ? 0x132 : 0x100)) ? c - 1 : c;
  if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) return PairIsLower(c, c >= 0x179 ? 0x179 : 0x139) ? c - 1 : c;
  if (c == 0x131) return 'I';
  if (c == 0x17F) return 'S';
  if (InRange(c, 0x3B1, 0x3C1) || InRange(c, 0x3C3, 0x3CB)) return c - 32;
  if (c == 0x3C2) return 0x3A3;
  if (c == 0x3AC) return 0x386;
  if (InRange(c, 0x3AD, 0x3AF)) return c - 37;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 63;
  if (InRange(c, 0x430, 0x44F)) return c - 32;
  if (InRange(c, 0x450, 0x45F)) return c - 80;
  if (InRange(c, 0x460, 0x481) || InRange(c, 0x48A, 0x4BF) || InRange(c, 0x4D0, 0x4FF))
    return PairIsLower(c, c >= 0x4D0 ? 0x4D0 : (c >= 0x48A ? 0x48A : 0x460)) ? c - 1 : c;
  return c;
}

char32_t LowerChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (InRange(c, 0xC0, 0xDE) && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (InRange(c, 0x100, 0x12F) || InRange(c, 0x132, 0x137) || InRange(c, 0x14A, 0x177))
    return PairIsLower(c, c >= 0x14A ? 0x14A : (c >= 0x132 ? 0x132 : 0x100)) ? c : c + 1;
  if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) return PairIsLower(c, c >= 0x179 ? 0x179 : 0x139) ? c : c + 1;
  if (c == 0x130) return 'i';
  if (InRange(c, 0x391, 0x3A1) || InRange(c, 0x3A3, 0x3AB)) return c + 32;
  if (c == 0x386) return 0x3AC;
  if (InRange(c, 0x388, 0x38A)) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (InRange(c, 0x410, 0x42F)) return c + 32;
  if (InRange(c, 0x400, 0x40F)) return c + 80;
  if (InRange(c, 0x460, 0x481) || InRange(c, 0x48A, 0x4BF) || InRange(c, 0x4D0, 0x4FF))
    return PairIsLower(c, c >= 0x4D0 ? 0x4D0 : (c >= 0x48A ? 0x48A : 0x460)) ? c : c + 1;
  return c;
}

template <class Map>
void MapCase(std::string_view text, std::string& out, Map map) {
  out.clear();
  for (size_t pos = 0; pos < text.size();) {
    size_t end;
    const char32_t c = Decode(text, pos, end);
    if (c == 0xFFFFFFFF)
      out.append(text.substr(pos, end - pos));
    else
      AppendUtf8(out, map(c));
    pos = end;
  }
}

}  // namespace

void UpperCaseInto(std::string_view text, std::string& out) { MapCase(text, out, UpperChar); }
void LowerCaseInto(std::string_view text, std::string& out) { MapCase(text, out, LowerChar); }

std::string EvUpperCase(std::string_view text) {
  std::string out;
  UpperCaseInto(text, out);
  return out;
}

std::string EvLowerCase(std::string_view text) {
  std::string out;
  LowerCaseInto(text, out);
  return out;
}

void PrettyInto(std::string_view text, std::string& out) {
  if (text.empty()) {
    out.clear();
    return;
  }
  const size_t first = NextCharEnd(text, 0);
  UpperCaseInto(text.substr(0, first), out);
  std::string rest;
  LowerCaseInto(text.substr(first), rest);
  out += rest;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

// ---------------------------------------------------------------------------
// Values.

TQREvValue TQREvValue::Integer(int32_t value) {
  TQREvValue v;
  v.Kind = vkInteger;
  v.IntValue = value;
  return v;
}

TQREvValue TQREvValue::Float(double value) {
  TQREvValue v;
  v.Kind = vkFloat;
  v.FloatValue = value;
  return v;
}

TQREvValue TQREvValue::String(std::string_view text) {
  TQREvValue v;
  v.Kind = vkString;
  v.StrValue.assign(text);
  CutEvString(v.StrValue);
  return v;
}

TQREvValue TQREvValue::Boolean(bool value) {
  TQREvValue v;
  v.Kind = vkBoolean;
  v.BoolValue = value;
  return v;
}

TQREvValue TQREvValue::Error(std::string_view message) {
  TQREvValue v;
  v.Kind = vkError;
  v.StrValue.assign(message);
  CutEvString(v.StrValue);
  return v;
}

bool TQREvValue::operator==(const TQREvValue& other) const {
  if (Kind != other.Kind) return false;
  switch (Kind) {
    case vkInteger: return IntValue == other.IntValue;
    case vkFloat: return FloatValue == other.FloatValue || (std::isnan(FloatValue) && std::isnan(other.FloatValue));
    case vkBoolean: return BoolValue == other.BoolValue;
    case vkString:
    case vkError: return StrValue == other.StrValue;
  }
  return false;
}

void AssignEvValue(TQREvValue& target, const TQREvValue& source) {
  if (&target == &source) return;
  target.Kind = source.Kind;
  switch (source.Kind) {
    case vkInteger: target.IntValue = source.IntValue; break;
    case vkFloat: target.FloatValue = source.FloatValue; break;
    case vkBoolean: target.BoolValue = source.BoolValue; break;
    case vkString:
    case vkError: target.StrValue.assign(source.StrValue); break;
  }
}

const char* EvValueKindName(TQREvValueKind kind) {
  switch (kind) {
    case vkInteger: return "INTEGER";
    case vkFloat: return "FLOAT";
    case vkString: return "STRING";
    case vkBoolean: return "BOOLEAN";
    case vkError: return "ERROR";
  }
  return "ERROR";
}

const char* EvOperatorText(TQREvOpCode code) {
  static const char* const kTexts[] = {"<", "<=", ">", ">=", "=", "<>", "+", "-", "or", "*", "/", "and"};
  return code <= ocAnd ? kTexts[code] : "?";
}

void ValueTextInto(const TQREvValue& value, std::string& out) {
  switch (value.Kind) {
    case vkInteger: {
      char buffer[16];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, value.IntValue);
      out.assign(buffer, r.ptr);
      return;
    }
    case vkFloat: FormatGeneralFloatInto(value.FloatValue, EvFormatSettings(), out); return;
    case vkBoolean: out.assign(value.BoolValue ? "True" : "False"); return;
    case vkString:
    case vkError: out.assign(value.StrValue); return;
  }
}

std::string EvValueToString(const TQREvValue& value) {
  if (value.Kind == vkError) throw Exception(Format(msg::kErrorInExpression, value.StrValue));
  std::string text;
  ValueTextInto(value, text);
  return text;
}

// ---------------------------------------------------------------------------
// Decimal digits of a double.

void TDecimal::Load(double value) {
  Negative = std::signbit(value) && value != 0;
  Count = 0;
  Exponent = 0;
  if (value == 0 || !std::isfinite(value)) return;
  // 18 significant digits, as "d.ddddddddddddddddde±x", independent of the C locale.
  char buffer[40];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 17);
  const char* p = buffer;
  Digits[Count++] = *p++;
  if (*p == '.') ++p;
  while (p < r.ptr && *p != 'e') Digits[Count++] = *p++;
  int exponent = 0;
  if (p < r.ptr) std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exponent);
  Exponent = exponent + 1;
  StripZeros();
}

void TDecimal::StripZeros() {
  while (Count > 0 && Digits[Count - 1] == '0') --Count;
  if (Count == 0) Exponent = 0;
}

void TDecimal::Round(int keep) {
  if (keep >= Count) return;
  if (keep < 0) {
    Count = 0;
    Exponent = 0;
    return;
  }
  const bool up = Digits[keep] >= '5';
  Count = keep;
  if (up) {
    int k = keep - 1;
    while (k >= 0 && Digits[k] == '9') Digits[k--] = '0';
    if (k >= 0) {
      ++Digits[k];
    } else {
      // Carry out of the first digit: 0.999 becomes 0.1 x 10^(E+1).
      Digits[0] = '1';
      Count = 1;
      ++Exponent;
    }
  }
  StripZeros();
}

void FormatGeneralFloatInto(double value, const TFormatSettings& settings, std::string& out) {
  out.clear();
  if (std::isnan(value)) {
    out = "NAN";
    return;
  }
  if (std::isinf(value)) {
    out = value < 0 ? "-INF" : "INF";
    return;
  }
  TDecimal d;
  d.Load(value);
  d.Round(15);
  if (d.Count == 0) {
    out = "0";
    return;
  }
  if (d.Negative) out += '-';
  const int e = d.Exponent;
  if (e >= -3 && e <= 15) {
    if (e > 0) {
      for (int k = 0; k < e; ++k) out += k < d.Count ? d.Digits[k] : '0';
      if (d.Count > e) {
        out += settings.DecimalSeparator;
        out.append(d.Digits + e, static_cast<size_t>(d.Count - e));
      }
    } else {
      out += '0';
      out += settings.DecimalSeparator;
      out.append(static_cast<size_t>(-e), '0');
      out.append(d.Digits, static_cast<size_t>(d.Count));
    }
    return;
  }
  out += d.Digits[0];
  if (d.Count > 1) {
    out += settings.DecimalSeparator;
    out.append(d.Digits + 1, static_cast<size_t>(d.Count - 1));
  }
  out += 'E';
  const int shown = e - 1;
  if (shown < 0) out += '-';
  out += std::to_string(shown < 0 ? -shown : shown);
}

std::string FormatGeneralFloat(double value, const TFormatSettings& settings) {
  std::string out;
  FormatGeneralFloatInto(value, settings, out);
  return out;
}

}  // namespace rpt
