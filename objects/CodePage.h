#pragma once
// Text conversions between the UTF-8 strings the program keeps in memory and the
// encodings files use: the system code page (Windows-1252) and UTF-16.
#include <optional>
#include <string>
#include <string_view>

namespace rpt {

// Decodes Windows-1252 bytes to UTF-8. The five undefined bytes map to U+0081.. as
// the C1 control of the same number, so every byte sequence survives a round trip.
std::string CodePageToUtf8(std::string_view bytes);

// Encodes UTF-8 text in Windows-1252; nullopt when a character has no code-page byte.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8);

// Lossy form for places that must write code-page bytes: unmappable characters become '?'.
std::string Utf8ToCodePageLossy(std::string_view utf8);

// UTF-16 conversions. Invalid input is replaced by U+FFFD rather than rejected,
// so a damaged file still loads its readable text.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Sanitises arbitrary bytes into valid UTF-8 (invalid sequences become U+FFFD).
std::string ValidUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

// One character at a time, for code that walks text itself.
void AppendUtf8(std::string& out, char32_t c);
// Decodes the sequence at text[i] and advances past it; nullopt (i unchanged) for an
// invalid, overlong, surrogate or truncated sequence.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& i);
// The code page's character for a byte, and the byte for a character (-1: none).
char32_t CodePageChar(unsigned char b);
int CodePageByte(char32_t c);

// True when every byte is below 0x80.
bool IsAscii(std::string_view text);

// Case-insensitive comparison of ASCII letters; the identifiers of the object model
// and the stream are ASCII.
bool SameText(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view text);

}  // namespace rpt
