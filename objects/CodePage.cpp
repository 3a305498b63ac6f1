#include "objects/CodePage.h"

#include <array>
#include <cstdint>

namespace rpt {
namespace {

// Windows-1252 bytes 0x80..0x9F; undefined positions keep the C1 control code.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t CodePageChar(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHigh[b - 0x80];
  return b;
}

int CodePageByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& i) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, c = b0 & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (i + extra >= text.size()) return std::nullopt;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += extra + 1;
  return c;
}

namespace {
// As DecodeUtf8, but an invalid byte is consumed so decoding resynchronises.
std::optional<char32_t> NextUtf8(std::string_view text, size_t& i) {
  auto c = DecodeUtf8(text, i);
  if (!c) ++i;
  return c;
}
}  // namespace

std::string CodePageToUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) AppendUtf8(out, CodePageChar(static_cast<unsigned char>(ch)));
  return out;
}

std::optional<std::string> Utf8ToCodePage(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto c = NextUtf8(utf8, i);
    if (!c) return std::nullopt;
    const int b = CodePageByte(*c);
    if (b < 0) return std::nullopt;
    out += static_cast<char>(b);
  }
  return out;
}

std::string Utf8ToCodePageLossy(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    auto c = NextUtf8(utf8, i);
    const int b = c ? CodePageByte(*c) : -1;
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = NextUtf8(utf8, i).value_or(kReplacement);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string ValidUtf8(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) AppendUtf8(out, NextUtf8(bytes, i).value_or(kReplacement));
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();)
    if (!NextUtf8(bytes, i)) return false;
  return true;
}

bool IsAscii(std::string_view text) {
  for (char ch : text)
    if (static_cast<unsigned char>(ch) >= 0x80) return false;
  return true;
}

static char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

}  // namespace rpt
