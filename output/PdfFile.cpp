#include "output/PdfFile.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace rpt {

TPdfFile::TPdfFile(TWrite write) : FWrite(std::move(write)) {
  // The binary comment tells transfer programs the file is not text.
  Put("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
}

void TPdfFile::Put(std::string_view bytes) {
  if (FFailed || bytes.empty()) return;
  if (!FWrite(bytes.data(), bytes.size())) {
    FFailed = true;
    return;
  }
  FOffset += bytes.size();
}

int TPdfFile::Reserve() {
  FOffsets.push_back(0);
  return int(FOffsets.size() - 1);
}

// Where object number is to be written: reserved, and not written yet.
uint64_t& TPdfFile::Slot(int number) {
  if (number <= 0 || size_t(number) >= FOffsets.size() || FOffsets[size_t(number)] != 0)
    throw std::logic_error("PDF object written twice or never reserved");
  return FOffsets[size_t(number)];
}

void TPdfFile::Begin(int number) {
  Slot(number) = FOffset;
  std::string head;
  AppendInteger(head, number);
  head += " 0 obj\n";
  Put(head);
}

void TPdfFile::Object(int number, std::string_view body) {
  Slot(number);  // checked before the object stream's own number is taken
  if (!FPack) FPack = Reserve();
  Slot(number) = kPacked | uint64_t(FPack) << 16 | uint64_t(FPackCount);
  AppendInteger(FPackIndex, number);
  FPackIndex += ' ';
  AppendInteger(FPackIndex, int64_t(FPackBody.size()));
  FPackIndex += ' ';
  FPackBody += body;
  FPackBody += '\n';
  if (++FPackCount >= 200 || FPackBody.size() >= (1 << 16)) FlushPack();
}

void TPdfFile::FlushPack() {
  if (!FPack) return;
  std::string dictionary = "/Type/ObjStm/N ";
  AppendInteger(dictionary, FPackCount);
  dictionary += "/First ";
  AppendInteger(dictionary, int64_t(FPackIndex.size()));
  const int pack = FPack;
  FPack = 0;
  FPackCount = 0;
  FPackIndex += FPackBody;
  Stream(pack, dictionary, FPackIndex);
  FPackIndex.clear();
  FPackBody.clear();
}

void TPdfFile::Stream(int number, std::string_view dictionary, std::string_view data, int level) {
  std::string_view body = data;
  if (level > 0) {
    uLongf size = compressBound(uLong(data.size()));
    FDeflated.resize(size);
    if (compress2(reinterpret_cast<Bytef*>(FDeflated.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  uLong(data.size()), level) != Z_OK)
      throw std::bad_alloc();
    body = std::string_view(FDeflated.data(), size);
  }
  Begin(number);
  std::string head = "<<";
  head += dictionary;
  if (level > 0) head += "/Filter/FlateDecode";
  head += "/Length ";
  AppendInteger(head, int64_t(body.size()));
  head += ">>\nstream\n";
  Put(head);
  Put(body);
  Put("\nendstream\nendobj\n");
}

void TPdfFile::Finish(int catalog, int info) {
  for (size_t n = 1; n < FOffsets.size(); ++n)
    if (FOffsets[n] == 0 && int(n) != FPack) Object(int(n), "null");
  FlushPack();
  // Each entry: its kind (1 in the file, 2 in an object stream), 5 bytes of offset or
  // stream number, 2 of generation or index.
  const int xref = Reserve();
  FOffsets[size_t(xref)] = FOffset;
  std::string entries;
  entries.reserve(FOffsets.size() * 8);
  const auto entry = [&entries](int kind, uint64_t field, unsigned second) {
    entries += char(kind);
    for (int shift = 32; shift >= 0; shift -= 8) entries += char((field >> shift) & 0xFF);
    entries += char(second >> 8);
    entries += char(second & 0xFF);
  };
  entry(0, 0, 65535);
  for (size_t n = 1; n < FOffsets.size(); ++n) {
    const uint64_t at = FOffsets[n];
    if (at & kPacked)
      entry(2, (at & ~kPacked) >> 16, unsigned(at & 0xFFFF));
    else
      entry(1, at, 0);
  }
  std::string dictionary = "/Type/XRef/Size ";
  AppendInteger(dictionary, int64_t(FOffsets.size()));
  dictionary += "/W[1 5 2]/Root ";
  AppendReference(dictionary, catalog);
  if (info > 0) {
    dictionary += "/Info ";
    AppendReference(dictionary, info);
  }
  FOffsets[size_t(xref)] = 0;  // Stream writes it, at the offset entered above
  const uint64_t start = FOffset;
  Stream(xref, dictionary, entries);
  std::string tail = "startxref\n";
  AppendInteger(tail, int64_t(start));
  tail += "\n%%EOF\n";
  Put(tail);
}

void AppendInteger(std::string& out, int64_t value) {
  char digits[24];
  int n = 0;
  uint64_t v = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v);
  if (value < 0) out += '-';
  while (n) out += digits[--n];
}

void AppendNumber(std::string& out, double value, int decimals) {
  static const int64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  decimals = decimals < 0 ? 0 : decimals > 6 ? 6 : decimals;
  if (!std::isfinite(value)) value = 0;
  // Readers keep reals in 32 bits: anything beyond is no position on a page.
  if (value > 3.0e7) value = 3.0e7;
  if (value < -3.0e7) value = -3.0e7;
  const int64_t scale = kScale[decimals];
  int64_t scaled = std::llround(value * double(scale));
  if (scaled < 0) {
    out += '-';
    scaled = -scaled;
  }
  AppendInteger(out, scaled / scale);
  int64_t fraction = scaled % scale;
  if (fraction == 0) return;
  int width = decimals;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --width;
  }
  out += '.';
  char digits[8];
  for (int i = width - 1; i >= 0; --i, fraction /= 10) digits[i] = char('0' + fraction % 10);
  out.append(digits, size_t(width));
}

void AppendName(std::string& out, std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '/';
  for (unsigned char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '+';
    if (plain) {
      out += char(c);
    } else {
      out += '#';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
}

void AppendLiteral(std::string& out, std::string_view bytes) {
  out += '(';
  for (char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  out += ')';
}

void AppendTextString(std::string& out, std::string_view utf8) {
  const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  if (ascii) {
    AppendLiteral(out, utf8);
    return;
  }
  static const char kHex[] = "0123456789ABCDEF";
  const auto unit = [&out](uint32_t u) {
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(u >> shift) & 15];
  };
  out += "<FEFF";
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    uint32_t c = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
    bool sound = i + size_t(length) <= utf8.size();
    for (int k = 1; sound && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + size_t(k)]);
      sound = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    if (!sound || (length == 1 && b >= 0x80) || c > 0x10FFFF) c = 0xFFFD;  // damaged UTF-8
    i += sound ? size_t(length) : 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      unit(0xD800 + (c >> 10));
      unit(0xDC00 + (c & 0x3FF));
    } else {
      unit(c);
    }
  }
  out += '>';
}

void AppendReference(std::string& out, int number) {
  AppendInteger(out, number);
  out += " 0 R";
}

}  // namespace rpt
