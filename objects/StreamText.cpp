#include "objects/StreamText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/Extended.h"
#include "objects/Format.h"
#include "objects/ReportFile.h"
#include "objects/ValueCodes.h"

namespace rpt {
namespace {

// ---------------------------------------------------------------------------
// Shared helpers.

const char kHexDigits[] = "0123456789ABCDEF";

std::string HexByte(uint8_t b) { return {kHexDigits[b >> 4], kHexDigits[b & 15]}; }

template <class T>
T LoadLE(const char* p) {
  std::make_unsigned_t<T> v = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    v |= static_cast<std::make_unsigned_t<T>>(static_cast<uint8_t>(p[i])) << (8 * i);
  return static_cast<T>(v);
}

template <class T>
void StoreLE(std::string& out, T value) {
  const auto v = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) out += static_cast<char>(v >> (8 * i));
}


// Characters that would be invisible, reorder the line or break it in a viewer; a
// reviewer must see them, so they are always escaped.
bool IsHiddenChar(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF ||
         (c >= 0xFFF9 && c <= 0xFFFB);
}

void AppendEscapeU(std::string& out, uint32_t unit) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(unit >> shift) & 15];
}

// Appends c, escaped when needed; `escapeHidden` writes the escape of a hidden character.
template <class EscapeHidden>
void AppendChar(std::string& out, uint32_t c, EscapeHidden escapeHidden) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
  }
  if (IsHiddenChar(c))
    escapeHidden(c);
  else
    AppendUtf8(out, c);
}

std::string QuoteCodePage(std::string_view bytes) {
  std::string out = "\"";
  for (char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    const uint32_t c = CodePageChar(b);
    // Bytes the code page leaves undefined come back as C1 controls: hidden as well.
    AppendChar(out, c, [&](uint32_t) { out += "\\x" + HexByte(b); });
  }
  return out + "\"";
}

std::string QuoteUtf8(std::string_view bytes) {
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const size_t start = i;
    if (const auto c = DecodeUtf8(bytes, i)) {
      AppendChar(out, *c, [&](uint32_t hidden) {
        if (hidden < 0x80)
          out += "\\x" + HexByte(static_cast<uint8_t>(hidden));
        else
          AppendEscapeU(out, hidden);
      });
    } else {
      out += "\\x" + HexByte(static_cast<uint8_t>(bytes[start]));
      i = start + 1;
    }
  }
  return out + "\"";
}

std::string QuoteUtf16(std::u16string_view units) {
  std::string out = "\"";
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendEscapeU(out, c);
      continue;
    }
    AppendChar(out, c, [&](uint32_t hidden) { AppendEscapeU(out, hidden); });
  }
  return out + "\"";
}

bool IsPlainName(std::string_view name) {
  if (name.empty() || name == "object" || name == "end" || name == "item") return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '.') return false;
  return true;
}

std::string NameText(std::string_view name) { return IsPlainName(name) ? std::string(name) : QuoteCodePage(name); }

// Floats: the shortest decimal when it reads back to the same value, which the caller
// then checks against the stored bytes.
template <class T>
std::string ShortestDecimal(T value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <class T>
bool ParseDecimal(std::string_view text, T& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The date and time an svDate value stands for: whole days from 30 December 1899,
// the fraction's magnitude is the time of day (so -1.25 is 29 December 1899, 06:00).
std::string DateComment(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return "";
  const double whole = std::trunc(value);
  long long ms = std::llround(std::fabs(value - whole) * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  // Civil date from a day count (days since 1970-01-01), proleptic Gregorian.
  long long z = static_cast<long long>(whole) - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2);
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "  # %04lld-%02lld-%02lld %02lld:%02lld:%02lld", year, month, day,
                ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  std::string text = buffer;
  if (ms % 1000 != 0) {
    std::snprintf(buffer, sizeof buffer, ".%03lld", ms % 1000);
    text += buffer;
  }
  return text;
}

std::string CurrencyText(int64_t value) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%04u", static_cast<unsigned>(magnitude % 10000));
  return (value < 0 ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
}

bool ParseCurrency(std::string_view text, int64_t& value) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() || fraction.size() > 4 || (dot != std::string_view::npos && fraction.empty())) return false;
  uint64_t magnitude = 0;
  constexpr uint64_t kLimit = uint64_t(1) << 63;
  auto addDigit = [&](char c) {
    if (c < '0' || c > '9' || magnitude > (kLimit - (c - '0')) / 10) return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    return true;
  };
  for (char c : whole)
    if (!addDigit(c)) return false;
  for (size_t i = 0; i < 4; ++i)
    if (!addDigit(i < fraction.size() ? fraction[i] : '0')) return false;
  if (magnitude == kLimit && !negative) return false;
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

const char* const kFlagNames[] = {"inherited", "childpos", "inline", "flag8"};

// ---------------------------------------------------------------------------
// Bytes to text.

class TDumper {
 public:
  explicit TDumper(std::string_view data) : FData(data) {}

  std::string Run() {
    if (StartsWith(kReportMagic)) {
      TReportFileHeader header;
      FPosition = ReadReportFileHeader(FData, header);
      DumpHeader(header);
      Signature("the signature \"TPF0\" of the report's stream");
      Object(0);
      ExpectEnd();
      return std::move(FOut);
    }
    if (!StartsWith(kSignature))
      Fail(0, "\"TPF0\" (a component stream) or \"QXRP\" (a report file)", FoundBytes(4));
    FPosition = 4;
    Object(0);
    if (FPosition == FData.size()) return std::move(FOut);
    // More data after the first object: a component list, whose objects are shown
    // inside a "components" block.
    std::string list = "components\n";
    for (size_t start = 0; start < FOut.size();) {
      const size_t end = FOut.find('\n', start) + 1;
      list.append("  ").append(FOut, start, end - start);
      start = end;
    }
    FOut = std::move(list);
    while (Peek("\"TPF0\" starting the next object, or svNull ending the list") != svNull) {
      Signature("\"TPF0\" starting the next object, or svNull ending the list");
      Object(1);
    }
    ++FPosition;
    ExpectEnd();
    FOut += "end\n";
    return std::move(FOut);
  }

 private:
  bool StartsWith(const char (&magic)[4]) const {
    return FData.size() - FPosition >= 4 && std::memcmp(FData.data() + FPosition, magic, 4) == 0;
  }

  std::string FoundBytes(size_t count) const {
    if (FPosition >= FData.size()) return "end of data";
    std::string found;
    for (size_t i = FPosition; i < FData.size() && i < FPosition + count; ++i)
      found += (found.empty() ? "0x" : " 0x") + HexByte(static_cast<uint8_t>(FData[i]));
    return found;
  }

  [[noreturn]] void Fail(size_t at, std::string_view expected, std::string_view found) const {
    throw EReadError(Format("offset %d: expected %s, found %s", at, expected, found));
  }
  [[noreturn]] void FailHere(std::string_view expected) const { Fail(FPosition, expected, FoundBytes(1)); }

  void Need(size_t count, std::string_view what) const {
    const size_t left = FData.size() - FPosition;
    if (left < count)
      Fail(FPosition, Format("%s (%d bytes)", what, count),
           left == 0 ? std::string("end of data") : Format("end of data after %d bytes", left));
  }

  uint8_t Peek(std::string_view what) const {
    if (FPosition >= FData.size()) FailHere(what);
    return static_cast<uint8_t>(FData[FPosition]);
  }

  uint8_t Byte(std::string_view what) {
    const uint8_t b = Peek(what);
    ++FPosition;
    return b;
  }

  std::string_view Take(size_t count, std::string_view what) {
    Need(count, what);
    const std::string_view bytes = FData.substr(FPosition, count);
    FPosition += count;
    return bytes;
  }

  template <class T>
  T Fixed(std::string_view what) {
    return LoadLE<T>(Take(sizeof(T), what).data());
  }

  // A 32-bit count of units of `unitSize` bytes that must all lie in the data left.
  size_t Count(std::string_view what, size_t unitSize) {
    const size_t at = FPosition;
    const int32_t count = Fixed<int32_t>(what);
    const size_t limit = (FData.size() - FPosition) / unitSize;
    if (count < 0 || static_cast<size_t>(count) > limit)
      Fail(at, Format("%s from 0 to %d", what, limit), std::to_string(count));
    return static_cast<size_t>(count);
  }

  std::string_view ShortString(std::string_view what) {
    const uint8_t length = Byte(what);
    return Take(length, what);
  }

  void Signature(std::string_view what) {
    if (!StartsWith(kSignature)) Fail(FPosition, what, FoundBytes(4));
    FPosition += 4;
  }

  void ExpectEnd() const {
    if (FPosition != FData.size()) FailHere("the end of the data");
  }

  void Enter(size_t at) {
    if (++FDepth > kMaxStreamTextDepth) TooDeep(at);
  }
  [[noreturn]] static void TooDeep(size_t at) {
    throw EReadError(Format("offset %d: nesting deeper than %d levels", at, kMaxStreamTextDepth));
  }
  void Leave() { --FDepth; }

  void Line(int indent, std::string_view text) {
    FOut.append(static_cast<size_t>(indent) * 2, ' ').append(text) += '\n';
  }

  void DumpHeader(const TReportFileHeader& header) {
    // The header's strings came from code-page bytes, so converting back is exact.
    auto quoted = [](const std::string& utf8) { return QuoteCodePage(Utf8ToCodePageLossy(utf8)); };
    Line(0, "report");
    static const char* const kKinds[] = {"none", "query", "table"};
    Line(1, "kind = " + (header.Kind <= rdkTable ? std::string(kKinds[header.Kind]) : std::to_string(header.Kind)));
    if (header.Kind == rdkQuery || header.Kind == rdkTable) Line(1, "database = " + quoted(header.DatabaseName));
    if (header.Kind == rdkQuery)
      for (const std::string& line : header.SqlLines) Line(1, "sql = " + quoted(line));
    if (header.Kind == rdkTable) Line(1, "table = " + quoted(header.TableName));
    Line(0, "end");
  }

  // An svInt8, svInt16 or svInt32 value (child positions and collection indexes).
  std::string SmallInteger(std::string_view what) {
    const size_t at = FPosition;
    const uint8_t code = Byte(what);
    int32_t value;
    switch (code) {
      case svInt8: value = Fixed<int8_t>("an svInt8 payload"); break;
      case svInt16: value = Fixed<int16_t>("an svInt16 payload"); break;
      case svInt32: value = Fixed<int32_t>("an svInt32 payload"); break;
      default: Fail(at, what, "0x" + HexByte(code));
    }
    return std::to_string(value) + "  (" + ValueCodeName(code) + ")";
  }

  void Object(int indent) {
    Enter(FPosition);
    ObjectHeader(indent);
    Properties(indent + 1, "a property name, or svNull ending the properties");
    while (Peek("a child object, or svNull ending the children") != svNull) Object(indent + 1);
    ++FPosition;
    Line(indent, "end");
    Leave();
  }

  // Prefix, class name and object name.
  [[gnu::noinline]] void ObjectHeader(int indent) {
    std::string prefix;
    if (Peek("an object") >= 0xF0) {
      const uint8_t flags = Byte("an object") & 0x0F;
      prefix = "  prefix [";
      for (int bit = 0; bit < 4; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (prefix.back() != '[') prefix += ", ";
        prefix += kFlagNames[bit];
      }
      prefix += "]";
      if (flags & hfChildPos)
        prefix += " position " +
                  SmallInteger("the child position as svInt8, svInt16 or svInt32");
    }
    const std::string_view className = ShortString("the class name");
    const std::string_view objectName = ShortString("the object name");
    Line(indent, "object " + NameText(className) + " " + NameText(objectName) + prefix);
  }

  [[gnu::noinline]] std::string PropertyHead() { return NameText(ShortString("a property name")) + " = "; }

  void Properties(int indent, std::string_view what) {
    while (Peek(what) != svNull) Value(indent, PropertyHead());
    ++FPosition;
  }

  void Emit(int indent, std::string_view head, std::string_view literal, uint8_t code,
            const std::string& comment = {}) {
    FOut.append(static_cast<size_t>(indent) * 2, ' ').append(head).append(literal).append("  (");
    FOut.append(ValueCodeName(code)).append(")").append(comment) += '\n';
  }

  // Shows a float as a decimal when that reads back to the stored bytes, else raw.
  template <class T, class Decode, class Encode>
  std::string FloatText(std::string_view bytes, Decode decode, Encode encode) {
    const T value = decode(bytes);
    const std::string decimal = ShortestDecimal(value);
    T reread;
    if (ParseDecimal(decimal, reread) && encode(reread) == bytes) return decimal;
    std::string raw = "raw";
    for (char b : bytes) raw += " " + HexByte(static_cast<uint8_t>(b));
    return raw;
  }

  template <class T, class Bits>
  std::string IeeeText(std::string_view bytes) {
    return FloatText<T>(
        bytes,
        [](std::string_view b) {
          T v;
          const Bits bits = LoadLE<Bits>(b.data());
          std::memcpy(&v, &bits, sizeof v);
          return v;
        },
        [](T v) {
          Bits bits;
          std::memcpy(&bits, &v, sizeof bits);
          std::string out;
          StoreLE(out, bits);
          return out;
        });
  }

  // Deep nesting recurses through Object, Properties, Value, List and Collection;
  // everything else stays out of line so that each level takes little stack.
  void Value(int indent, const std::string& head) {
    const size_t at = FPosition;
    const uint8_t code = Byte("a value code");
    if (code == svList)
      List(at, indent, head);
    else if (code == svCollection)
      Collection(at, indent, head);
    else
      Scalar(at, code, indent, head);
  }

  void List(size_t at, int indent, const std::string& head) {
    Emit(indent, head, "list", svList);
    Enter(at);
    while (Peek("a list value, or svNull ending the list") != svNull) Value(indent + 1, {});
    ++FPosition;
    Leave();
    Line(indent, "end");
  }

  void Collection(size_t at, int indent, const std::string& head) {
    Emit(indent, head, "collection", svCollection);
    Enter(at);
    while (Peek("a collection item, or svNull ending the collection") != svNull) {
      Enter(FPosition);
      CollectionItem(indent + 1);
      Properties(indent + 2, "a property name, or svNull ending the collection item");
      Leave();
      Line(indent + 1, "end");
    }
    ++FPosition;
    Leave();
    Line(indent, "end");
  }

  // The optional index and the svList that open a collection item.
  [[gnu::noinline]] void CollectionItem(int indent) {
    std::string item = "item";
    const uint8_t first = Peek("a collection item");
    if (first == svInt8 || first == svInt16 || first == svInt32) item += " " + SmallInteger("a collection item index");
    if (Peek("svList starting a collection item") != svList) FailHere("svList starting a collection item");
    ++FPosition;
    Line(indent, item);
  }

  [[gnu::noinline]] void Scalar(size_t at, uint8_t code, int indent, const std::string& head) {
    switch (code) {
      case svNull: Emit(indent, head, "Null", code); break;
      case svFalse: Emit(indent, head, "False", code); break;
      case svTrue: Emit(indent, head, "True", code); break;
      case svNil: Emit(indent, head, "nil", code); break;
      case svInt8: Emit(indent, head, std::to_string(Fixed<int8_t>("an svInt8 payload")), code); break;
      case svInt16: Emit(indent, head, std::to_string(Fixed<int16_t>("an svInt16 payload")), code); break;
      case svInt32: Emit(indent, head, std::to_string(Fixed<int32_t>("an svInt32 payload")), code); break;
      case svInt64: Emit(indent, head, std::to_string(Fixed<int64_t>("an svInt64 payload")), code); break;
      case svCurrency: Emit(indent, head, CurrencyText(Fixed<int64_t>("an svCurrency payload")), code); break;
      case svExtended: {
        const std::string_view bytes = Take(10, "an svExtended payload");
        Emit(indent, head,
             FloatText<Extended>(
                 bytes, [](std::string_view b) { return DecodeExtended(reinterpret_cast<const uint8_t*>(b.data())); },
                 [](Extended v) {
                   const ExtendedBytes e = EncodeExtended(v);
                   return std::string(e.begin(), e.end());
                 }),
             code);
        break;
      }
      case svSingle: Emit(indent, head, IeeeText<float, uint32_t>(Take(4, "an svSingle payload")), code); break;
      case svDate: {
        const std::string_view bytes = Take(8, "an svDate payload");
        const auto bits = LoadLE<uint64_t>(bytes.data());
        double date;
        std::memcpy(&date, &bits, sizeof date);
        Emit(indent, head, IeeeText<double, uint64_t>(bytes), code, DateComment(date));
        break;
      }
      case svString: Emit(indent, head, QuoteCodePage(ShortString("an svString length")), code); break;
      case svLString: {
        const size_t length = Count("an svLString length", 1);
        Emit(indent, head, QuoteCodePage(Take(length, "svLString text")), code);
        break;
      }
      case svUTF8String: {
        const size_t length = Count("an svUTF8String length", 1);
        Emit(indent, head, QuoteUtf8(Take(length, "svUTF8String text")), code);
        break;
      }
      case svWString: {
        const size_t count = Count("an svWString length in UTF-16 units", 2);
        const std::string_view bytes = Take(count * 2, "svWString text");
        std::u16string units(count, u'\0');
        for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(LoadLE<uint16_t>(bytes.data() + 2 * i));
        Emit(indent, head, QuoteUtf16(units), code);
        break;
      }
      case svIdent: Emit(indent, head, NameText(ShortString("an svIdent name")), code); break;
      case svSet: {
        std::string elements = "[";
        for (;;) {
          const std::string_view name = ShortString("a set element name, or an empty name ending the set");
          if (name.empty()) break;
          if (elements.size() > 1) elements += ", ";
          elements += NameText(name);
        }
        Emit(indent, head, elements + "]", code);
        break;
      }
      case svBinary: {
        const size_t count = Count("an svBinary byte count", 1);
        const std::string_view bytes = Take(count, "svBinary bytes");
        Emit(indent, head, "binary", code);
        for (size_t row = 0; row < bytes.size(); row += 16) {
          std::string hex, text;
          for (size_t i = row; i < bytes.size() && i < row + 16; ++i) {
            const auto b = static_cast<uint8_t>(bytes[i]);
            if (!hex.empty()) hex += ' ';
            hex += HexByte(b);
            text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
          }
          hex.resize(16 * 3 - 1, ' ');
          Line(indent + 1, hex + "  |" + text + "|");
        }
        Line(indent, "end");
        break;
      }
      default: Fail(at, "a value code", "0x" + HexByte(code));
    }
  }

  std::string_view FData;
  size_t FPosition = 0;
  std::string FOut;
  int FDepth = 0;
};

// ---------------------------------------------------------------------------
// Text to bytes.

// Marks a unit of a quoted string that is a stored byte (\xHH) rather than a character.
constexpr uint32_t kRawByte = 0x80000000u;

struct TToken {
  enum TKind { tkWord, tkString, tkPunct } Kind;
  std::string Text;             // words and punctuation
  std::vector<uint32_t> Units;  // strings: characters, or kRawByte | byte
};

struct TLine {
  int Number;
  std::vector<TToken> Tokens;
};

[[noreturn]] void FailLine(int line, std::string_view message) {
  throw EReadError(Format("line %d: %s", line, message));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDelimiter(char c) {
  return c == ' ' || c == '\t' || c == '"' || c == '=' || c == '(' || c == ')' || c == '[' || c == ']' || c == ',';
}

std::vector<TToken> Tokenize(std::string_view text, int number) {
  std::vector<TToken> tokens;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
    } else if (c == '#' || c == '|') {
      break;
    } else if (c == '"') {
      TToken token{TToken::tkString, {}, {}};
      ++i;
      for (;;) {
        if (i >= text.size()) FailLine(number, "expected the closing quote of a string");
        if (text[i] == '"') {
          ++i;
          break;
        }
        if (text[i] != '\\') {
          const auto ch = DecodeUtf8(text, i);
          if (!ch) FailLine(number, "the text is not valid UTF-8");
          token.Units.push_back(*ch);
          continue;
        }
        const char escape = i + 1 < text.size() ? text[i + 1] : '\0';
        i += 2;
        auto hex = [&](size_t digits) {
          uint32_t value = 0;
          for (size_t k = 0; k < digits; ++k) {
            const int d = i < text.size() ? HexValue(text[i]) : -1;
            if (d < 0) FailLine(number, Format("expected %d hex digits after \\%s", digits, std::string(1, escape)));
            value = value * 16 + static_cast<uint32_t>(d);
            ++i;
          }
          return value;
        };
        switch (escape) {
          case '"': token.Units.push_back('"'); break;
          case '\\': token.Units.push_back('\\'); break;
          case 'n': token.Units.push_back('\n'); break;
          case 'r': token.Units.push_back('\r'); break;
          case 't': token.Units.push_back('\t'); break;
          case 'x': token.Units.push_back(kRawByte | hex(2)); break;
          case 'u': token.Units.push_back(hex(4)); break;
          default: FailLine(number, "expected one of the escapes \\\" \\\\ \\n \\r \\t \\xHH \\uHHHH");
        }
      }
      tokens.push_back(std::move(token));
    } else if (IsDelimiter(c)) {
      tokens.push_back({TToken::tkPunct, std::string(1, c), {}});
      ++i;
    } else {
      const size_t start = i;
      while (i < text.size() && !IsDelimiter(text[i])) ++i;
      tokens.push_back({TToken::tkWord, std::string(text.substr(start, i - start)), {}});
    }
  }
  return tokens;
}

std::string Describe(const TToken& token) {
  if (token.Kind == TToken::tkString) return "a quoted string";
  return "\"" + token.Text + "\"";
}

class TBuilder {
 public:
  explicit TBuilder(std::string_view text) {
    int number = 0;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++number;
      std::vector<TToken> tokens = Tokenize(line, number);
      if (!tokens.empty()) FLines.push_back({number, std::move(tokens)});
      start = end + 1;
    }
    FEndLine = number + 1;
  }

  std::string Run() {
    const TLine& first = NextLine("object, components or report");
    if (IsKeyword(first, "object")) {
      FOut.append(kSignature, 4);
      Object(first, false);
    } else if (IsKeyword(first, "components") && first.Tokens.size() == 1) {
      for (;;) {
        const TLine& line = NextLine("object, or end closing the components");
        if (IsKeyword(line, "object")) {
          FOut.append(kSignature, 4);
          Object(line, false);
        } else if (IsEnd(line)) {
          FOut += static_cast<char>(svNull);
          break;
        } else {
          FailLine(line.Number, "expected object, or end closing the components");
        }
      }
    } else if (IsKeyword(first, "report") && first.Tokens.size() == 1) {
      Header();
      const TLine& root = NextLine("the report's root object");
      if (!IsKeyword(root, "object")) FailLine(root.Number, "expected the report's root object");
      FOut.append(kSignature, 4);
      Object(root, false);
    } else {
      FailLine(first.Number, "expected object, components or report");
    }
    if (FIndex < FLines.size()) FailLine(FLines[FIndex].Number, "expected the end of the text");
    return std::move(FOut);
  }

 private:
  // `openedAt`: the line of the block being read, named in the message.
  const TLine& NextLine(std::string_view expected, int openedAt = 0) {
    if (FIndex >= FLines.size()) EndOfText(expected, openedAt);
    return FLines[FIndex++];
  }
  [[noreturn]] void EndOfText(std::string_view expected, int openedAt) const {
    FailLine(FEndLine, Format("expected %s%s, found the end of the text", expected,
                              openedAt ? Format(" of line %d", openedAt) : std::string()));
  }
  const TLine* PeekLine() const { return FIndex < FLines.size() ? &FLines[FIndex] : nullptr; }

  static bool IsKeyword(const TLine& line, std::string_view word) {
    return line.Tokens[0].Kind == TToken::tkWord && line.Tokens[0].Text == word;
  }
  static bool IsEnd(const TLine& line) { return IsKeyword(line, "end") && line.Tokens.size() == 1; }

  void Enter(int line) {
    if (++FDepth > kMaxStreamTextDepth) TooDeep(line);
  }
  [[noreturn]] static void TooDeep(int line) {
    FailLine(line, Format("nesting deeper than %d levels", kMaxStreamTextDepth));
  }
  void Leave() { --FDepth; }

  // --- Text of tokens.

  static std::string CodePageBytes(const std::vector<uint32_t>& units, int line) {
    std::string out;
    for (uint32_t u : units) {
      const int b = (u & kRawByte) ? static_cast<int>(u & 0xFF) : CodePageByte(u);
      if (b < 0)
        FailLine(line, Format("U+%s has no byte in the code page; use svUTF8String or svWString", HexUnit(u)));
      out += static_cast<char>(b);
    }
    return out;
  }

  static std::string Utf8Bytes(const std::vector<uint32_t>& units, int line) {
    std::string out;
    for (uint32_t u : units) {
      if (u & kRawByte)
        out += static_cast<char>(u & 0xFF);
      else if (u >= 0xD800 && u <= 0xDFFF)
        FailLine(line, Format("the surrogate U+%s cannot be stored as UTF-8; write its bytes as \\xHH", HexUnit(u)));
      else
        AppendUtf8(out, u);
    }
    return out;
  }

  static std::u16string Utf16Units(const std::vector<uint32_t>& units) {
    std::u16string out;
    for (uint32_t u : units) {
      if (u & kRawByte) u &= 0xFF;
      if (u >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((u - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
      } else {
        out += static_cast<char16_t>(u);
      }
    }
    return out;
  }

  static std::string HexUnit(uint32_t u) {
    std::string out;
    AppendEscapeU(out, u);
    return out.substr(2);
  }

  // A name: a bare word or a quoted string, as code-page bytes.
  static std::string Name(const TLine& line, size_t& i, const std::string& what) {
    if (i >= line.Tokens.size()) FailLine(line.Number, "expected " + what);
    const TToken& token = line.Tokens[i++];
    if (token.Kind == TToken::tkString) return CodePageBytes(token.Units, line.Number);
    if (token.Kind != TToken::tkWord) FailLine(line.Number, "expected " + what + ", found " + Describe(token));
    const auto bytes = Utf8ToCodePage(token.Text);
    if (!bytes) FailLine(line.Number, "expected " + what + " in code-page characters; quote it and escape the rest");
    return *bytes;
  }

  static void Expect(const TLine& line, size_t& i, std::string_view punct, const std::string& what) {
    if (i >= line.Tokens.size() || line.Tokens[i].Kind != TToken::tkPunct || line.Tokens[i].Text != punct)
      FailLine(line.Number, "expected " + what);
    ++i;
  }

  static void AppendShortString(std::string& out, const std::string& bytes, int line, const std::string& what) {
    if (bytes.size() > 255) FailLine(line, Format("%s is %d bytes long; at most 255 fit", what, bytes.size()));
    out += static_cast<char>(bytes.size());
    out += bytes;
  }

  // --- Report header.

  std::string HeaderString(const std::string& key, const char* expected) {
    const TLine& line = NextLine(expected);
    if (line.Tokens.size() != 3 || !IsKeyword(line, key) || line.Tokens[1].Text != "=" ||
        line.Tokens[2].Kind != TToken::tkString)
      FailLine(line.Number, std::string("expected ") + expected);
    return CodePageToUtf8(CodePageBytes(line.Tokens[2].Units, line.Number));
  }

  void Header() {
    TReportFileHeader header;
    const TLine& kind = NextLine("kind = none, query, table or a number");
    if (kind.Tokens.size() != 3 || !IsKeyword(kind, "kind") || kind.Tokens[1].Text != "=" ||
        kind.Tokens[2].Kind != TToken::tkWord)
      FailLine(kind.Number, "expected kind = none, query, table or a number");
    const std::string& value = kind.Tokens[2].Text;
    int number = -1;
    if (value == "none") number = rdkNone;
    else if (value == "query") number = rdkQuery;
    else if (value == "table") number = rdkTable;
    else if (!ParseDecimal(value, number) || number < 0 || number > 255) number = -1;
    if (number < 0) FailLine(kind.Number, "expected none, query, table or a number from 0 to 255 as the kind");
    header.Kind = static_cast<uint8_t>(number);
    if (header.Kind == rdkQuery || header.Kind == rdkTable)
      header.DatabaseName = HeaderString("database", "database = \"name\"");
    if (header.Kind == rdkQuery)
      while (PeekLine() && IsKeyword(*PeekLine(), "sql"))
        header.SqlLines.push_back(HeaderString("sql", "sql = \"line\""));
    if (header.Kind == rdkTable) header.TableName = HeaderString("table", "table = \"name\"");
    const TLine& end = NextLine("end closing the report header");
    if (!IsEnd(end)) FailLine(end.Number, "expected end closing the report header");
    WriteReportFileHeader(FOut, header);
  }

  // --- Objects and values.

  // Parses "(svName)" at the end of a line; returns the code and shrinks `end` to the
  // tokens before it.
  [[gnu::noinline]] static uint8_t TrailingCode(const TLine& line, size_t& end, size_t start) {
    const auto& t = line.Tokens;
    if (end < start + 3 || t[end - 3].Text != "(" || t[end - 3].Kind != TToken::tkPunct ||
        t[end - 1].Text != ")" || t[end - 1].Kind != TToken::tkPunct || t[end - 2].Kind != TToken::tkWord)
      FailLine(line.Number, "expected a value code in parentheses at the end of the line, such as (svInt8)");
    for (int code = 0; code <= kLastValueCode; ++code) {
      if (t[end - 2].Text == ValueCodeName(code)) {
        end -= 3;
        return static_cast<uint8_t>(code);
      }
    }
    FailLine(line.Number, "unknown value code " + t[end - 2].Text);
  }

  static int64_t Integer(const TLine& line, size_t& i, int64_t low, int64_t high, const std::string& what) {
    int64_t value = 0;
    if (i >= line.Tokens.size() || line.Tokens[i].Kind != TToken::tkWord || !ParseDecimal(line.Tokens[i].Text, value) ||
        value < low || value > high)
      FailLine(line.Number, Format("expected %s: a whole number from %s to %s", what, std::to_string(low),
                                   std::to_string(high)));
    ++i;
    return value;
  }

  // "N  (svInt8|svInt16|svInt32)" starting at token i and running to the end of the line.
  void SmallInteger(const TLine& line, size_t i, const std::string& what) {
    size_t end = line.Tokens.size();
    const uint8_t code = TrailingCode(line, end, i);
    if (end != i + 1) FailLine(line.Number, "expected " + what + ": a number and its value code");
    FOut += static_cast<char>(code);
    switch (code) {
      case svInt8: StoreLE(FOut, static_cast<int8_t>(Integer(line, i, INT8_MIN, INT8_MAX, what))); break;
      case svInt16: StoreLE(FOut, static_cast<int16_t>(Integer(line, i, INT16_MIN, INT16_MAX, what))); break;
      case svInt32: StoreLE(FOut, static_cast<int32_t>(Integer(line, i, INT32_MIN, INT32_MAX, what))); break;
      default: FailLine(line.Number, what + " must be svInt8, svInt16 or svInt32");
    }
  }

  // Deep nesting recurses through Object, Property, Value, ListValue and
  // CollectionValue; everything else stays out of line so each level takes little stack.
  void Object(const TLine& line, bool child) {
    Enter(line.Number);
    ObjectHeader(line, child);
    for (;;) {
      const TLine& next = NextLine("a property, a child object, or end closing the object", line.Number);
      if (IsKeyword(next, "object") || IsEnd(next)) {
        --FIndex;
        break;
      }
      Property(next);
    }
    FOut += static_cast<char>(svNull);
    for (;;) {
      const TLine& next = NextLine("a child object, or end closing the object", line.Number);
      if (IsEnd(next)) break;
      if (!IsKeyword(next, "object"))
        FailLine(next.Number, "expected a child object or end: properties come before the children");
      Object(next, true);
    }
    FOut += static_cast<char>(svNull);
    Leave();
  }

  // Prefix, class name and object name.
  [[gnu::noinline]] void ObjectHeader(const TLine& line, bool child) {
    size_t i = 1;
    const std::string className = Name(line, i, "the class name");
    const std::string objectName = Name(line, i, "the object name (\"\" when it has none)");
    const size_t size = line.Tokens.size();
    if (i < size) {
      if (line.Tokens[i].Kind != TToken::tkWord || line.Tokens[i].Text != "prefix")
        FailLine(line.Number, "expected prefix [flags] or the end of the line after the object name");
      ++i;
      Expect(line, i, "[", "[ after prefix");
      uint8_t flags = 0;
      while (i < size && line.Tokens[i].Text != "]") {
        const TToken& flag = line.Tokens[i++];
        int bit = 0;
        while (bit < 4 && flag.Text != kFlagNames[bit]) ++bit;
        if (flag.Kind != TToken::tkWord || bit == 4)
          FailLine(line.Number, "expected a prefix flag: inherited, childpos, inline or flag8");
        flags |= static_cast<uint8_t>(1 << bit);
        if (i < size && line.Tokens[i].Text == ",") ++i;
      }
      Expect(line, i, "]", "] closing the prefix flags");
      FOut += static_cast<char>(0xF0 | flags);
      if (flags & hfChildPos) {
        if (i >= size || line.Tokens[i].Text != "position")
          FailLine(line.Number, "expected position N (svIntN) after a prefix with childpos");
        SmallInteger(line, i + 1, "the child position");
      } else if (i < size) {
        FailLine(line.Number, "expected the end of the line: only a prefix with childpos has a position");
      }
    } else if (className.size() >= 0xF0 || (child && className.empty())) {
      // Without a prefix the class name's length byte must not read as a prefix byte
      // or, for a child, as svNull ending the children.
      FailLine(line.Number, child ? "a child object needs a prefix when its class name is empty or 240 bytes or longer"
                                  : "an object needs a prefix when its class name is 240 bytes or longer");
    }
    AppendShortString(FOut, className, line.Number, "the class name");
    AppendShortString(FOut, objectName, line.Number, "the object name");
  }

  void Property(const TLine& line) { Value(line, PropertyName(line)); }

  // Writes the name of a property line; returns the index of its value's first token.
  [[gnu::noinline]] size_t PropertyName(const TLine& line) {
    size_t i = 0;
    const std::string name = Name(line, i, "a property name");
    if (name.empty()) FailLine(line.Number, "a property name cannot be empty");
    Expect(line, i, "=", "= after the property name");
    AppendShortString(FOut, name, line.Number, "the property name");
    return i;
  }

  template <class T>
  void FloatValue(const TLine& line, size_t i, size_t end, uint8_t code) {
    const auto& t = line.Tokens;
    const size_t size = code == svExtended ? 10 : code == svSingle ? 4 : 8;
    if (i < end && t[i].Kind == TToken::tkWord && t[i].Text == "raw") {
      if (end - i - 1 != size) FailLine(line.Number, Format("expected raw and %d hex bytes", size));
      for (size_t k = i + 1; k < end; ++k) HexToken(line, t[k]);
      return;
    }
    T value;
    if (end != i + 1 || t[i].Kind != TToken::tkWord || !ParseDecimal(t[i].Text, value))
      FailLine(line.Number, "expected a decimal number, or raw and the stored bytes in hex");
    if constexpr (std::is_same_v<T, Extended>) {
      const ExtendedBytes bytes = EncodeExtended(value);
      FOut.append(bytes.begin(), bytes.end());
    } else if constexpr (std::is_same_v<T, float>) {
      uint32_t bits;
      std::memcpy(&bits, &value, 4);
      StoreLE(FOut, bits);
    } else {
      uint64_t bits;
      std::memcpy(&bits, &value, 8);
      StoreLE(FOut, bits);
    }
  }

  void HexToken(const TLine& line, const TToken& token) {
    if (token.Kind != TToken::tkWord || token.Text.size() != 2 || HexValue(token.Text[0]) < 0 ||
        HexValue(token.Text[1]) < 0)
      FailLine(line.Number, "expected a byte as two hex digits, found " + Describe(token));
    FOut += static_cast<char>(HexValue(token.Text[0]) * 16 + HexValue(token.Text[1]));
  }

  // The value at tokens [i, end of line): literal, then "(code)".
  void Value(const TLine& line, size_t i) {
    size_t end = line.Tokens.size();
    const uint8_t code = TrailingCode(line, end, i);
    if (code == svList)
      ListValue(line, i, end);
    else if (code == svCollection)
      CollectionValue(line, i, end);
    else
      Scalar(line, i, end, code);
  }

  [[gnu::noinline]] void BlockWord(const TLine& line, size_t i, size_t end, const char* word, uint8_t code) {
    const auto& t = line.Tokens;
    if (end != i + 1 || t[i].Kind != TToken::tkWord || t[i].Text != word)
      FailLine(line.Number, Format("expected %s before (%s)", word, ValueCodeName(code)));
    FOut += static_cast<char>(code);
  }

  void ListValue(const TLine& line, size_t i, size_t end) {
    BlockWord(line, i, end, "list", svList);
    Enter(line.Number);
    for (;;) {
      const TLine& next = NextLine("a value, or end closing the list", line.Number);
      if (IsEnd(next)) break;
      Value(next, ListValueStart(next));
    }
    FOut += static_cast<char>(svNull);
    Leave();
  }

  [[gnu::noinline]] static size_t ListValueStart(const TLine& line) {
    size_t end = line.Tokens.size();
    if (TrailingCode(line, end, 0) == svNull) FailLine(line.Number, "a list cannot hold Null: svNull ends the list");
    return 0;
  }

  void CollectionValue(const TLine& line, size_t i, size_t end) {
    BlockWord(line, i, end, "collection", svCollection);
    Enter(line.Number);
    for (;;) {
      const TLine& item = NextLine("item, or end closing the collection", line.Number);
      if (IsEnd(item)) break;
      Enter(item.Number);
      ItemStart(item);
      for (;;) {
        const TLine& next = NextLine("a property, or end closing the item", item.Number);
        if (IsEnd(next)) break;
        Property(next);
      }
      FOut += static_cast<char>(svNull);
      Leave();
    }
    FOut += static_cast<char>(svNull);
    Leave();
  }

  // "item" with an optional index value: the index, then the svList opening the item.
  [[gnu::noinline]] void ItemStart(const TLine& item) {
    if (!IsKeyword(item, "item")) FailLine(item.Number, "expected item, or end closing the collection");
    if (item.Tokens.size() > 1) SmallInteger(item, 1, "the item index");
    FOut += static_cast<char>(svList);
  }

  [[gnu::noinline]] void Scalar(const TLine& line, size_t i, size_t end, uint8_t code) {
    const auto& t = line.Tokens;
    const size_t count = end - i;
    auto word = [&](std::string_view expected) {
      if (count != 1 || t[i].Kind != TToken::tkWord || t[i].Text != expected)
        FailLine(line.Number, Format("expected %s before (%s)", std::string(expected), ValueCodeName(code)));
    };
    auto string = [&]() -> const std::vector<uint32_t>& {
      if (count != 1 || t[i].Kind != TToken::tkString)
        FailLine(line.Number, Format("expected a quoted string before (%s)", ValueCodeName(code)));
      return t[i].Units;
    };
    auto integer = [&](int64_t low, int64_t high) {
      if (count != 1) FailLine(line.Number, "expected a whole number before the value code");
      return Integer(line, i, low, high, Format("an %s value", ValueCodeName(code)));
    };
    FOut += static_cast<char>(code);
    switch (code) {
      case svNull: word("Null"); break;
      case svFalse: word("False"); break;
      case svTrue: word("True"); break;
      case svNil: word("nil"); break;
      case svInt8: StoreLE(FOut, static_cast<int8_t>(integer(INT8_MIN, INT8_MAX))); break;
      case svInt16: StoreLE(FOut, static_cast<int16_t>(integer(INT16_MIN, INT16_MAX))); break;
      case svInt32: StoreLE(FOut, static_cast<int32_t>(integer(INT32_MIN, INT32_MAX))); break;
      case svInt64: StoreLE(FOut, integer(INT64_MIN, INT64_MAX)); break;
      case svCurrency: {
        int64_t value;
        if (count != 1 || t[i].Kind != TToken::tkWord || !ParseCurrency(t[i].Text, value))
          FailLine(line.Number, "expected an amount with at most four fraction digits, such as 12.5000");
        StoreLE(FOut, value);
        break;
      }
      case svExtended: FloatValue<Extended>(line, i, end, code); break;
      case svSingle: FloatValue<float>(line, i, end, code); break;
      case svDate: FloatValue<double>(line, i, end, code); break;
      case svString: {
        const std::string bytes = CodePageBytes(string(), line.Number);
        if (bytes.size() > 255)
          FailLine(line.Number,
                   Format("an svString holds at most 255 bytes, this one %d; use svLString", bytes.size()));
        FOut += static_cast<char>(bytes.size());
        FOut += bytes;
        break;
      }
      case svLString:
      case svUTF8String: {
        const std::string bytes =
            code == svLString ? CodePageBytes(string(), line.Number) : Utf8Bytes(string(), line.Number);
        StoreLE(FOut, static_cast<int32_t>(bytes.size()));
        FOut += bytes;
        break;
      }
      case svWString: {
        const std::u16string units = Utf16Units(string());
        StoreLE(FOut, static_cast<int32_t>(units.size()));
        for (char16_t u : units) StoreLE(FOut, static_cast<uint16_t>(u));
        break;
      }
      case svIdent: {
        if (count != 1) FailLine(line.Number, "expected an identifier before (svIdent)");
        size_t k = i;
        AppendShortString(FOut, Name(line, k, "an identifier"), line.Number, "the identifier");
        break;
      }
      case svSet: {
        size_t k = i;
        Expect(line, k, "[", "[ starting the set");
        while (k < end && t[k].Text != "]") {
          const std::string element = Name(line, k, "a set element");
          if (element.empty()) FailLine(line.Number, "a set element cannot be empty");
          AppendShortString(FOut, element, line.Number, "the set element");
          if (k < end && t[k].Kind == TToken::tkPunct && t[k].Text == ",") ++k;
        }
        Expect(line, k, "]", "] closing the set");
        if (k != end) FailLine(line.Number, "expected the value code after ]");
        FOut += '\0';
        break;
      }
      case svBinary: {
        word("binary");
        const size_t countAt = FOut.size();
        StoreLE(FOut, int32_t{0});
        for (;;) {
          const TLine& next = NextLine("hex bytes, or end closing the binary data", line.Number);
          if (IsEnd(next)) break;
          for (const TToken& token : next.Tokens) HexToken(next, token);
        }
        const size_t bytes = FOut.size() - countAt - 4;
        if (bytes > INT32_MAX) FailLine(line.Number, "binary data is larger than 2 GB");
        std::string patched;
        StoreLE(patched, static_cast<int32_t>(bytes));
        FOut.replace(countAt, 4, patched);
        break;
      }
      default: break;
    }
  }

  std::vector<TLine> FLines;
  size_t FIndex = 0;
  int FEndLine = 1;
  std::string FOut;
  int FDepth = 0;
};

}  // namespace

std::string DumpStream(std::string_view bytes) { return TDumper(bytes).Run(); }

std::string BuildStream(std::string_view text) { return TBuilder(text).Run(); }

}  // namespace rpt
