#include "output/PdfFonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_CID_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace rpt {

namespace {

constexpr uint32_t Tag(const char* t) {
  return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
         uint32_t(uint8_t(t[3]));
}

// Reads of a font file that come back 0 past its end: the file is not trusted.
uint32_t U8(std::string_view d, uint64_t at) { return at < d.size() ? uint8_t(d[at]) : 0; }
uint32_t U16(std::string_view d, uint64_t at) {
  if (at + 2 > d.size()) return 0;
  return uint32_t(uint8_t(d[at])) << 8 | uint8_t(d[at + 1]);
}
uint32_t U32(std::string_view d, uint64_t at) {
  if (at + 4 > d.size()) return 0;
  return U16(d, at) << 16 | U16(d, at + 2);
}
void Put16(std::string& d, size_t at, uint32_t v) {
  if (at + 2 > d.size()) return;
  d[at] = char(v >> 8);
  d[at + 1] = char(v);
}
void Put32(std::string& d, size_t at, uint32_t v) {
  Put16(d, at, v >> 16);
  Put16(d, at + 2, v);
}
void Append16(std::string& d, uint32_t v) {
  d += char(v >> 8);
  d += char(v);
}
void Append32(std::string& d, uint32_t v) {
  Append16(d, v >> 16);
  Append16(d, v);
}

// The tables of one face of an sfnt file (or of a collection), those that lie within it.
std::map<uint32_t, std::string_view> ReadTables(std::string_view data, int index) {
  std::map<uint32_t, std::string_view> tables;
  uint64_t start = 0;
  if (U32(data, 0) == Tag("ttcf")) {
    const uint32_t count = U32(data, 8);
    if (index < 0 || uint32_t(index) >= count) return tables;
    start = U32(data, 12 + 4 * uint64_t(index));
  } else if (index != 0) {
    return tables;
  }
  const uint32_t count = U16(data, start + 4);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t record = start + 12 + 16 * uint64_t(i);
    if (record + 16 > data.size()) break;
    const uint64_t offset = U32(data, record + 8), length = U32(data, record + 12);
    if (offset + length <= data.size()) tables.emplace(U32(data, record), data.substr(offset, length));
  }
  return tables;
}

// An sfnt file of tables (sorted by tag, as the map is), with its checksums.
std::string WriteSfnt(uint32_t version, const std::map<uint32_t, std::string>& tables) {
  const auto sum = [](std::string_view d) {
    uint32_t s = 0;
    for (size_t i = 0; i < d.size(); i += 4) {
      uint32_t word = 0;
      for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < d.size() ? uint8_t(d[i + k]) : 0);
      s += word;
    }
    return s;
  };
  const uint32_t count = uint32_t(tables.size());
  uint32_t power = 1, log = 0;
  while (power * 2 <= count) power *= 2, ++log;
  std::string out;
  Append32(out, version);
  Append16(out, count);
  Append16(out, power * 16);
  Append16(out, log);
  Append16(out, count * 16 - power * 16);
  size_t offset = 12 + 16 * size_t(count), headAt = 0;
  for (const auto& [tag, body] : tables) {
    Append32(out, tag);
    Append32(out, sum(body));
    Append32(out, uint32_t(offset));
    Append32(out, uint32_t(body.size()));
    if (tag == Tag("head")) headAt = offset;
    offset += (body.size() + 3) & ~size_t(3);
  }
  for (const auto& [tag, body] : tables) {
    out += body;
    out.append((4 - body.size() % 4) % 4, '\0');
  }
  if (headAt) Put32(out, headAt + 8, 0xB1B0AFBAu - sum(out));
  return out;
}

// A hash of bytes that does not change between runs (the subset tag comes from it).
uint64_t Fnv(uint64_t h, std::string_view bytes) {
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

void AppendHex(std::string& out, uint32_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 15];
}

enum class TKind { TrueType, OpenTypeCff, Type3 };

// The glyphs of one Type3 font of a face: code -> glyph.
struct TType3Font {
  int Object = 0;
  std::vector<uint32_t> Glyphs;
};

}  // namespace

struct TPdfFonts::TFace {
  TKind Kind = TKind::Type3;
  bool Embolden = false;
  std::string Data;  // the font file, which the FreeType face reads from
  int Index = 0;
  FT_Face Ft = nullptr;
  uint32_t NumGlyphs = 0;
  int Upem = 1000;
  // TrueType and CFF: the Type0 font and the glyphs used.
  int Object = 0;
  std::set<uint32_t> Used;
  // Type3: the fonts and where each glyph went (font in the list, code).
  std::vector<TType3Font> Type3;
  std::map<uint32_t, std::pair<uint32_t, uint8_t>> Codes;
  std::map<uint32_t, std::u16string> Text;
  std::map<uint32_t, double> Widths;  // in 1/1000 of the text size, as written

  ~TFace() {
    if (Ft) FT_Done_Face(Ft);
  }
  uint32_t Valid(uint32_t glyph) const { return glyph < NumGlyphs ? glyph : 0; }
  // The advance in font units as FreeType reads it.
  double Units(uint32_t glyph) {
    FT_Fixed advance = 0;
    if (FT_IS_SCALABLE(Ft)) {
      if (FT_Get_Advance(Ft, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &advance) != 0) return 0;
      return double(advance);
    }
    // Bitmaps only: the advance at the first size, in the 1000 units the face is taken as.
    if (Ft->num_fixed_sizes <= 0 || FT_Select_Size(Ft, 0) != 0 || FT_Load_Glyph(Ft, glyph, FT_LOAD_DEFAULT) != 0 ||
        Ft->size->metrics.y_ppem == 0)
      return 0;
    return double(Ft->glyph->advance.x) / 64.0 * 1000.0 / Ft->size->metrics.y_ppem;
  }
  // The width written: to 0.1 of 1/1000 for the CID fonts, whole font units for Type3.
  double Width(uint32_t glyph) {
    auto found = Widths.find(glyph);
    if (found != Widths.end()) return found->second;
    const double units = Units(glyph);
    const double width = Kind == TKind::Type3 ? std::round(units) * 1000.0 / Upem
                                              : double(std::llround(units * 10000.0 / Upem)) / 10.0;
    Widths.emplace(glyph, width);
    return width;
  }
};

namespace {

// Whether the tables of a TrueType face are whole enough to cut a subset from.
bool SubsettableTrueType(const std::map<uint32_t, std::string_view>& t) {
  for (const char* name : {"head", "hhea", "maxp", "loca", "glyf", "hmtx"})
    if (!t.count(Tag(name))) return false;
  const std::string_view head = t.at(Tag("head")), maxp = t.at(Tag("maxp")), hhea = t.at(Tag("hhea"));
  if (head.size() < 54 || maxp.size() < 6 || hhea.size() < 36) return false;
  const uint32_t format = U16(head, 50), glyphs = U16(maxp, 4);
  if (format > 1 || glyphs == 0 || U16(hhea, 34) == 0) return false;
  return t.at(Tag("loca")).size() >= (uint64_t(glyphs) + 1) * (format ? 4 : 2);
}

// A TrueType file of the glyphs kept, each at its own number; the glyph table and its
// index hold only those, the metrics of the others are zero, the tables a reader of an
// embedded font needs are kept and the layout tables dropped.
std::string SubsetTrueType(const std::map<uint32_t, std::string_view>& t, std::set<uint32_t> keep) {
  const std::string_view head = t.at(Tag("head")), maxp = t.at(Tag("maxp")), hhea = t.at(Tag("hhea")),
                         loca = t.at(Tag("loca")), glyf = t.at(Tag("glyf")), hmtx = t.at(Tag("hmtx"));
  const bool longLoca = U16(head, 50) == 1;
  const uint32_t glyphs = U16(maxp, 4), metrics = std::min(U16(hhea, 34), glyphs);
  const auto range = [&](uint32_t g) -> std::string_view {
    const uint64_t from = longLoca ? U32(loca, 4 * uint64_t(g)) : 2 * uint64_t(U16(loca, 2 * uint64_t(g)));
    const uint64_t to = longLoca ? U32(loca, 4 * uint64_t(g) + 4) : 2 * uint64_t(U16(loca, 2 * uint64_t(g) + 2));
    if (to <= from || to > glyf.size()) return {};
    return glyf.substr(from, to - from);
  };
  // The parts of composite glyphs, and theirs.
  keep.insert(0);
  std::vector<uint32_t> pending(keep.begin(), keep.end());
  while (!pending.empty()) {
    const std::string_view g = range(pending.back());
    pending.pop_back();
    if (g.size() < 10 || int16_t(U16(g, 0)) >= 0) continue;
    // Real composites have a handful of parts; a damaged one may claim the whole table.
    for (uint64_t at = 10, parts = 0; parts < 256; ++parts) {
      if (at + 4 > g.size()) break;
      const uint32_t flags = U16(g, at), part = U16(g, at + 2);
      if (part < glyphs && keep.insert(part).second) pending.push_back(part);
      at += 4 + ((flags & 0x0001) ? 4 : 2) + ((flags & 0x0008) ? 2 : (flags & 0x0040) ? 4 : (flags & 0x0080) ? 8 : 0);
      if (!(flags & 0x0020)) break;
    }
  }
  const uint32_t count = *keep.rbegin() + 1;
  std::string newGlyf, newLoca, newHmtx;
  std::vector<uint32_t> offsets;
  offsets.reserve(count + 1);
  for (uint32_t g = 0; g < count; ++g) {
    offsets.push_back(uint32_t(newGlyf.size()));
    if (!keep.count(g)) continue;
    // Glyphs of a sound font do not overlap: damaged ones that do are left empty, so the
    // subset is never larger than the table it came from.
    const std::string_view data = range(g);
    if (newGlyf.size() + data.size() > glyf.size() + 4 * uint64_t(g + 1)) continue;
    newGlyf += data;
    newGlyf.append((4 - newGlyf.size() % 4) % 4, '\0');
  }
  offsets.push_back(uint32_t(newGlyf.size()));
  // The short index (offsets halved) when the glyphs fit it: half the size.
  const bool shortLoca = newGlyf.size() <= 0x1FFFE;
  for (uint32_t offset : offsets) shortLoca ? Append16(newLoca, offset / 2) : Append32(newLoca, offset);
  const uint32_t newMetrics = std::min(metrics, count);
  for (uint32_t g = 0; g < count; ++g) {
    // The last full entry gives its advance to the glyphs after it: it stays.
    const bool full = g < newMetrics;
    const bool kept = keep.count(g) || (full && g + 1 == newMetrics);
    const uint64_t at = full ? 4 * uint64_t(g) : 4 * uint64_t(metrics) + 2 * uint64_t(g - metrics);
    if (full) Append32(newHmtx, kept ? U32(hmtx, at) : 0);
    else Append16(newHmtx, kept ? U16(hmtx, at) : 0);
  }
  std::map<uint32_t, std::string> out;
  std::string& newHead = out[Tag("head")] = std::string(head);
  Put32(newHead, 8, 0);
  Put16(newHead, 50, shortLoca ? 0 : 1);
  Put16(out[Tag("maxp")] = std::string(maxp), 4, count);
  Put16(out[Tag("hhea")] = std::string(hhea), 34, newMetrics);
  out[Tag("loca")] = std::move(newLoca);
  out[Tag("glyf")] = std::move(newGlyf);
  out[Tag("hmtx")] = std::move(newHmtx);
  for (const char* name : {"cvt ", "fpgm", "prep", "gasp"}) {
    const auto found = t.find(Tag(name));
    if (found != t.end()) out[found->first] = std::string(found->second);
  }
  return WriteSfnt(0x00010000, out);
}

// An INDEX of a CFF table: its items' offsets, checked to lie within the table.
struct TCffIndex {
  uint64_t Start = 0, End = 0, Offsets = 0, Data = 0;
  uint32_t Count = 0, OffSize = 0;
};

uint64_t CffOffset(std::string_view cff, const TCffIndex& index, uint32_t item) {
  uint64_t value = 0;
  for (uint32_t k = 0; k < index.OffSize; ++k) value = value << 8 | U8(cff, index.Offsets + uint64_t(item) * index.OffSize + k);
  return value;
}

bool ReadCffIndex(std::string_view cff, uint64_t at, TCffIndex& index) {
  index = {};
  index.Start = at;
  if (at + 2 > cff.size()) return false;
  index.Count = U16(cff, at);
  if (index.Count == 0) {
    index.End = at + 2;
    return true;
  }
  index.OffSize = U8(cff, at + 2);
  if (index.OffSize < 1 || index.OffSize > 4) return false;
  index.Offsets = at + 3;
  index.Data = index.Offsets + uint64_t(index.Count + 1) * index.OffSize - 1;  // offsets count from 1
  if (index.Data + 1 > cff.size()) return false;
  index.End = index.Data + CffOffset(cff, index, index.Count);
  return index.End <= cff.size() && index.End > index.Data;
}

std::string_view CffItem(std::string_view cff, const TCffIndex& index, uint32_t item) {
  const uint64_t from = CffOffset(cff, index, item), to = CffOffset(cff, index, item + 1);
  if (item >= index.Count || from < 1 || to < from || index.Data + to > index.End) return {};
  return cff.substr(index.Data + from, to - from);
}

void AppendCffIndex(std::string& out, const std::vector<std::string_view>& items) {
  Append16(out, uint32_t(items.size()));
  if (items.empty()) return;
  out += char(4);
  uint32_t offset = 1;
  Append32(out, offset);
  for (std::string_view item : items) Append32(out, offset += uint32_t(item.size()));
  for (std::string_view item : items) out += item;
}

// The entries of a CFF DICT: each operator with its operands' bytes and integer values.
struct TCffEntry {
  int Op;
  std::string_view Operands;
  std::vector<int64_t> Values;
};

bool ParseCffDict(std::string_view d, std::vector<TCffEntry>& entries) {
  std::vector<int64_t> values;
  size_t start = 0;
  for (size_t i = 0; i < d.size();) {
    const uint8_t b = uint8_t(d[i]);
    if (b <= 21) {
      const bool escaped = b == 12;
      if (escaped && i + 1 >= d.size()) return false;
      entries.push_back({escaped ? 1200 + uint8_t(d[i + 1]) : b, d.substr(start, i - start), values});
      values.clear();
      i += escaped ? 2 : 1;
      start = i;
    } else if (b == 28 || b == 29) {
      const size_t length = b == 28 ? 3 : 5;
      if (i + length > d.size()) return false;
      values.push_back(b == 28 ? int64_t(int16_t(U16(d, i + 1))) : int64_t(int32_t(U32(d, i + 1))));
      i += length;
    } else if (b == 30) {  // a real: nibbles up to the one that ends it
      for (++i;;) {
        if (i >= d.size()) return false;
        const uint8_t n = uint8_t(d[i++]);
        if ((n >> 4) == 15 || (n & 15) == 15) break;
      }
      values.push_back(0);
    } else if (b >= 32 && b <= 246) {
      values.push_back(int64_t(b) - 139);
      ++i;
    } else if (b >= 247 && b <= 254) {
      if (i + 2 > d.size()) return false;
      const int64_t v = int64_t(b < 251 ? b - 247 : b - 251) * 256 + uint8_t(d[i + 1]) + 108;
      values.push_back(b < 251 ? v : -v);
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// The length of a CFF charset (format 0, 1 or 2) for glyphs glyphs; 0 when it does not fit.
uint64_t CffCharsetLength(std::string_view cff, uint64_t at, uint32_t glyphs) {
  if (at >= cff.size()) return 0;
  const uint8_t format = uint8_t(cff[at]);
  uint64_t length = 1;
  if (format == 0) {
    length += 2 * uint64_t(glyphs ? glyphs - 1 : 0);
  } else if (format == 1 || format == 2) {
    for (uint64_t covered = 1; covered < glyphs;) {
      const uint64_t range = format == 1 ? 3 : 4;
      if (at + length + range > cff.size()) return 0;
      covered += 1 + (format == 1 ? U8(cff, at + length + 2) : U16(cff, at + length + 2));
      length += range;
    }
  } else {
    return 0;
  }
  return at + length <= cff.size() ? length : 0;
}

uint64_t CffEncodingLength(std::string_view cff, uint64_t at) {
  if (at + 2 > cff.size()) return 0;
  const uint8_t format = uint8_t(cff[at]);
  const uint64_t count = uint8_t(cff[at + 1]);
  uint64_t length = (format & 0x7F) == 0 ? 2 + count : (format & 0x7F) == 1 ? 2 + 2 * count : 0;
  if (length && (format & 0x80)) length += at + length < cff.size() ? 1 + 3 * uint64_t(uint8_t(cff[at + length])) : 0;
  return at + length <= cff.size() ? length : 0;
}

// Whether Type 2 charstrings may compose glyphs of others (endchar with the accent's and
// the base's codes): such a font is embedded whole. Follows the subroutines with the
// shared stack; anything it cannot follow counts as composing.
struct TCharStringScan {
  TCharStringScan(std::string_view cff, const TCffIndex* global, const TCffIndex* local)
      : Cff(cff), Global(global), Local(local) {}
  std::string_view Cff;
  const TCffIndex* Global;
  const TCffIndex* Local;
  std::vector<int64_t> Stack;
  uint32_t Stems = 0;
  int64_t Budget = 0;  // operators left, against charstrings made to loop
  bool Ended = false;

  static int64_t Bias(const TCffIndex& subrs) { return subrs.Count < 1240 ? 107 : subrs.Count < 33900 ? 1131 : 32768; }

  // False when the glyph composes or cannot be followed.
  bool Run(std::string_view code, int depth) {
    if (depth > 10) return false;
    for (size_t i = 0; i < code.size() && !Ended;) {
      if (--Budget < 0 || Stack.size() > 48) return false;
      const uint8_t b = uint8_t(code[i]);
      if (b >= 32 || b == 28) {
        size_t length = b == 28 ? 3 : b <= 246 ? 1 : b <= 254 ? 2 : 5;
        if (i + length > code.size()) return false;
        int64_t v = b == 28    ? int64_t(int16_t(U16(code, i + 1)))
                    : b <= 246 ? int64_t(b) - 139
                    : b <= 250 ? int64_t(b - 247) * 256 + uint8_t(code[i + 1]) + 108
                    : b <= 254 ? -(int64_t(b - 251) * 256 + uint8_t(code[i + 1]) + 108)
                               : int64_t(int32_t(U32(code, i + 1))) >> 16;
        Stack.push_back(v);
        i += length;
        continue;
      }
      ++i;
      switch (b) {
        case 1: case 3: case 18: case 23:  // stems
          Stems += uint32_t(Stack.size() / 2);
          Stack.clear();
          break;
        case 19: case 20:  // hint and counter masks: stems before them may be implicit
          Stems += uint32_t(Stack.size() / 2);
          Stack.clear();
          i += (Stems + 7) / 8;
          break;
        case 10: case 29: {
          const TCffIndex* subrs = b == 10 ? Local : Global;
          if (!subrs || Stack.empty()) return false;
          const int64_t index = Stack.back() + Bias(*subrs);
          Stack.pop_back();
          if (index < 0 || index >= subrs->Count) return false;
          if (!Run(CffItem(Cff, *subrs, uint32_t(index)), depth + 1)) return false;
          break;
        }
        case 11:
          return true;
        case 14:
          Ended = true;
          return Stack.size() < 4;
        case 12: {  // flex clears the stack; the arithmetic is not followed
          if (i >= code.size()) return false;
          const uint8_t op = uint8_t(code[i++]);
          if (op < 34 || op > 37) return false;
          Stack.clear();
          break;
        }
        default:
          Stack.clear();
          break;
      }
    }
    return true;
  }
};

// A CFF table (not CID-keyed) whose unused glyphs are empty, each glyph at its own number;
// the subroutines, charset and private dictionary stay whole. Empty when the table is not
// one this can read.
std::string SubsetCff(std::string_view cff, uint32_t glyphs, const std::set<uint32_t>& keep) {
  if (cff.size() < 4) return {};
  const uint32_t header = uint8_t(cff[2]);
  TCffIndex names, tops, strings, subrs, charStrings;
  if (header < 4 || !ReadCffIndex(cff, header, names) || names.Count != 1 || !ReadCffIndex(cff, names.End, tops) ||
      tops.Count != 1 || !ReadCffIndex(cff, tops.End, strings) || !ReadCffIndex(cff, strings.End, subrs))
    return {};
  std::vector<TCffEntry> top;
  if (!ParseCffDict(CffItem(cff, tops, 0), top)) return {};
  int64_t charset = 0, encoding = 0, charStringsAt = 0, privateSize = -1, privateAt = 0;
  std::string dict;  // the entries kept as they are
  for (const TCffEntry& e : top) {
    const bool one = e.Values.size() == 1;
    if (e.Op == 15 && one) charset = e.Values[0];
    else if (e.Op == 16 && one) encoding = e.Values[0];
    else if (e.Op == 17 && one) charStringsAt = e.Values[0];
    else if (e.Op == 18 && e.Values.size() == 2) privateSize = e.Values[0], privateAt = e.Values[1];
    else if (e.Op >= 15 && e.Op <= 18) return {};
    else if (e.Op == 1230 || e.Op == 1236 || e.Op == 1237) return {};  // CID-keyed
    else {
      dict += e.Operands;
      if (e.Op >= 1200) dict += char(12);
      dict += char(e.Op % 1200);
    }
  }
  if (charStringsAt <= 0 || !ReadCffIndex(cff, uint64_t(charStringsAt), charStrings) || charStrings.Count != glyphs)
    return {};
  const uint64_t charsetLength = charset > 2 ? CffCharsetLength(cff, uint64_t(charset), glyphs) : 0;
  const uint64_t encodingLength = encoding > 1 ? CffEncodingLength(cff, uint64_t(encoding)) : 0;
  if ((charset > 2 && !charsetLength) || (encoding > 1 && !encodingLength) || charset < 0 || encoding < 0) return {};
  if (privateSize < 0 || privateAt <= 0 || uint64_t(privateAt) + uint64_t(privateSize) > cff.size()) return {};
  // The private dictionary goes with its subroutines, which it finds from its own start.
  std::vector<TCffEntry> priv;
  if (!ParseCffDict(cff.substr(uint64_t(privateAt), uint64_t(privateSize)), priv)) return {};
  uint64_t privateEnd = uint64_t(privateAt) + uint64_t(privateSize);
  TCffIndex local;
  bool hasLocal = false;
  for (const TCffEntry& e : priv) {
    if (e.Op != 19) continue;
    if (e.Values.size() != 1 || e.Values[0] <= 0 || !ReadCffIndex(cff, uint64_t(privateAt + e.Values[0]), local))
      return {};
    hasLocal = true;
    privateEnd = std::max(privateEnd, local.End);
  }
  std::vector<std::string_view> items(glyphs, std::string_view("\x0e", 1));  // endchar: an empty glyph
  int64_t budget = 20000000;  // for the whole font: a few hundred operators a glyph are usual
  for (uint32_t g : keep) {
    if (g >= glyphs) continue;
    items[g] = CffItem(cff, charStrings, g);
    TCharStringScan scan(cff, &subrs, hasLocal ? &local : nullptr);
    const int64_t given = scan.Budget = std::min<int64_t>(budget, 200000);
    if (!scan.Run(items[g], 0)) return {};
    budget -= given - scan.Budget;
  }
  std::string newCharStrings;
  AppendCffIndex(newCharStrings, items);

  const auto operand = [](std::string& out, int64_t value) {
    out += char(29);
    Append32(out, uint32_t(value));
  };
  const uint64_t topSize = dict.size() + 6 + 6 + 6 + 11;
  uint64_t at = header + (names.End - names.Start) + (2 + 1 + 8 + topSize) + (strings.End - strings.Start) +
                (subrs.End - subrs.Start);
  const uint64_t newCharset = charsetLength ? at : uint64_t(charset);
  at += charsetLength;
  const uint64_t newEncoding = encodingLength ? at : uint64_t(encoding);
  at += encodingLength;
  const uint64_t newCharStringsAt = at;
  at += newCharStrings.size();
  operand(dict, int64_t(newCharset));
  dict += char(15);
  operand(dict, int64_t(newEncoding));
  dict += char(16);
  operand(dict, int64_t(newCharStringsAt));
  dict += char(17);
  operand(dict, privateSize);
  operand(dict, int64_t(at));
  dict += char(18);

  std::string out(cff.substr(0, header));
  out += cff.substr(names.Start, names.End - names.Start);
  AppendCffIndex(out, {dict});
  out += cff.substr(strings.Start, strings.End - strings.Start);
  out += cff.substr(subrs.Start, subrs.End - subrs.Start);
  out += cff.substr(uint64_t(charset), charsetLength);
  out += cff.substr(uint64_t(encoding), encodingLength);
  out += newCharStrings;
  out += cff.substr(uint64_t(privateAt), privateEnd - uint64_t(privateAt));
  return out;
}

// An OpenType file of the CFF subset and the tables a reader of an embedded font looks at.
std::string SubsetOpenType(const std::map<uint32_t, std::string_view>& t, uint32_t glyphs,
                           const std::set<uint32_t>& keep) {
  const auto cff = t.find(Tag("CFF "));
  if (cff == t.end()) return {};
  std::map<uint32_t, std::string> out;
  out[cff->first] = SubsetCff(cff->second, glyphs, keep);
  if (out[cff->first].empty()) return {};
  for (const char* name : {"head", "hhea", "hmtx", "maxp", "OS/2", "post", "name", "cmap"}) {
    const auto found = t.find(Tag(name));
    if (found != t.end()) out[found->first] = std::string(found->second);
  }
  const auto head = out.find(Tag("head"));
  if (head != out.end()) Put32(head->second, 8, 0);
  return WriteSfnt(Tag("OTTO"), out);
}

// A ToUnicode CMap of codes of `bytes` bytes.
std::string ToUnicode(const std::vector<std::pair<uint32_t, std::u16string>>& entries, int bytes) {
  std::string cmap =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n";
  cmap += bytes == 1 ? "<00> <FF>\n" : "<0000> <FFFF>\n";
  cmap += "endcodespacerange\n";
  for (size_t i = 0; i < entries.size(); i += 100) {
    const size_t n = std::min<size_t>(100, entries.size() - i);
    AppendInteger(cmap, int64_t(n));
    cmap += " beginbfchar\n";
    for (size_t k = i; k < i + n; ++k) {
      cmap += '<';
      AppendHex(cmap, entries[k].first, 2 * bytes);
      cmap += "> <";
      for (char16_t c : entries[k].second) AppendHex(cmap, c, 4);
      cmap += ">\n";
    }
    cmap += "endbfchar\n";
  }
  cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
  return cmap;
}

// The PostScript name of a face, as a name object can hold it.
std::string PostScriptName(FT_Face face) {
  std::string name;
  if (const char* ps = FT_Get_Postscript_Name(face))
    for (const char* c = ps; *c && name.size() < 100; ++c)
      if (*c > ' ' && *c < 127 && !std::strchr("()<>[]{}/%", *c)) name += *c;
  return name.empty() ? std::string("Font") : name;
}

// The descriptor's values, in 1/1000 of the text size.
std::string Descriptor(FT_Face ft, int upem, std::string_view name, int fontFile, std::string_view fileKey) {
  const auto scaled = [upem](double units) { return std::round(units * 1000.0 / upem); };
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
  int flags = 4;  // symbolic: the glyphs are chosen by number, not through a standard encoding
  if (FT_IS_FIXED_WIDTH(ft)) flags |= 1;
  if (ft->style_flags & FT_STYLE_FLAG_ITALIC) flags |= 64;
  const double italic = post ? double(post->italicAngle) / 65536.0 : 0;
  const double ascent = scaled(ft->ascender), descent = scaled(ft->descender);
  const double cap = os2 && os2->version >= 2 && os2->sCapHeight > 0 ? scaled(os2->sCapHeight) : std::round(ascent * 0.9);
  const int weight = os2 ? os2->usWeightClass : 400;
  // No reader measures stems; the usual estimate from the weight.
  const int stemV = std::clamp(10 + (weight - 50) * 220 / 850, 10, 300);
  std::string d = "<</Type/FontDescriptor/FontName";
  AppendName(d, name);
  d += "/Flags ";
  AppendInteger(d, flags);
  d += "/FontBBox[";
  for (const FT_Pos v : {ft->bbox.xMin, ft->bbox.yMin, ft->bbox.xMax, ft->bbox.yMax}) {
    AppendNumber(d, scaled(double(v)), 0);
    d += ' ';
  }
  d.back() = ']';
  d += "/ItalicAngle ";
  AppendNumber(d, italic, 2);
  d += "/Ascent ";
  AppendNumber(d, ascent, 0);
  d += "/Descent ";
  AppendNumber(d, descent, 0);
  d += "/CapHeight ";
  AppendNumber(d, cap, 0);
  d += "/StemV ";
  AppendInteger(d, stemV);
  d += '/';
  d += fileKey;
  d += ' ';
  AppendReference(d, fontFile);
  d += ">>";
  return d;
}

// A glyph's outline as a path in font units, for a Type3 glyph procedure.
struct TPathWriter {
  std::string* Out;
  double X = 0, Y = 0;
  void Point(double x, double y) {
    AppendNumber(*Out, x, 2);
    *Out += ' ';
    AppendNumber(*Out, y, 2);
    *Out += ' ';
  }
  static int Move(const FT_Vector* to, void* self) {
    auto& w = *static_cast<TPathWriter*>(self);
    w.Point(double(to->x), double(to->y));
    *w.Out += "m\n";
    w.X = double(to->x), w.Y = double(to->y);
    return 0;
  }
  static int Line(const FT_Vector* to, void* self) {
    auto& w = *static_cast<TPathWriter*>(self);
    w.Point(double(to->x), double(to->y));
    *w.Out += "l\n";
    w.X = double(to->x), w.Y = double(to->y);
    return 0;
  }
  static int Conic(const FT_Vector* c, const FT_Vector* to, void* self) {
    auto& w = *static_cast<TPathWriter*>(self);
    // The quadratic curve as the cubic of the same shape.
    const double cx = double(c->x), cy = double(c->y), x = double(to->x), y = double(to->y);
    w.Point(w.X + 2.0 / 3.0 * (cx - w.X), w.Y + 2.0 / 3.0 * (cy - w.Y));
    w.Point(x + 2.0 / 3.0 * (cx - x), y + 2.0 / 3.0 * (cy - y));
    w.Point(x, y);
    *w.Out += "c\n";
    w.X = x, w.Y = y;
    return 0;
  }
  static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* self) {
    auto& w = *static_cast<TPathWriter*>(self);
    w.Point(double(c1->x), double(c1->y));
    w.Point(double(c2->x), double(c2->y));
    w.Point(double(to->x), double(to->y));
    *w.Out += "c\n";
    w.X = double(to->x), w.Y = double(to->y);
    return 0;
  }
};

// 1/upem written exactly when it has a short decimal form (2048, 1000, 1024...), else to
// twelve places: the outlines stay in font units.
std::string Reciprocal(int upem) {
  std::string out = "0.";
  int64_t remainder = 1;
  for (int i = 0; i < 12 && remainder; ++i) {
    remainder *= 10;
    out += char('0' + remainder / upem);
    remainder %= upem;
  }
  return out;
}

}  // namespace

TPdfFonts::TPdfFonts(TPdfFile& file) : FFile(file) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) == 0) FLibrary = library;
}

TPdfFonts::~TPdfFonts() {
  FFaces.clear();  // the faces before their library
  if (FLibrary) FT_Done_FreeType(static_cast<FT_Library>(FLibrary));
}

TPdfFonts::TFace* TPdfFonts::FaceOf(int face) const {
  return face >= 0 && size_t(face) < FFaces.size() ? FFaces[size_t(face)].get() : nullptr;
}

int TPdfFonts::Open(const TPdfFaceSource& source) {
  const auto key = std::make_tuple(source.File, source.Index, source.Embolden);
  const auto found = FNumbers.find(key);
  if (found != FNumbers.end()) return found->second;
  int& number = FNumbers[key] = -1;
  if (!FLibrary || source.Index < 0) return -1;
  auto face = std::make_unique<TFace>();
  {
    std::error_code error;
    if (!std::filesystem::is_regular_file(source.File, error)) return -1;  // no device or directory
    std::ifstream in(source.File, std::ios::binary);
    if (!in) return -1;
    face->Data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || face->Data.empty()) return -1;
  }
  if (FT_New_Memory_Face(static_cast<FT_Library>(FLibrary), reinterpret_cast<const FT_Byte*>(face->Data.data()),
                         FT_Long(face->Data.size()), source.Index, &face->Ft) != 0) {
    face->Ft = nullptr;
    return -1;
  }
  FT_Face ft = face->Ft;
  if (ft->num_glyphs <= 0) return -1;
  face->Index = source.Index;
  face->Embolden = source.Embolden;
  face->NumGlyphs = uint32_t(ft->num_glyphs);
  face->Upem = FT_IS_SCALABLE(ft) && ft->units_per_EM > 0 ? ft->units_per_EM : 1000;
  if (FT_IS_SFNT(ft) && !source.Embolden) {
    const auto tables = ReadTables(face->Data, source.Index);
    FT_Bool cid = 0;
    if (tables.count(Tag("glyf")) && SubsettableTrueType(tables) &&
        U16(tables.at(Tag("maxp")), 4) == face->NumGlyphs)
      face->Kind = TKind::TrueType;
    else if (tables.count(Tag("CFF ")) && !tables.count(Tag("CFF2")) &&
             FT_Get_CID_Is_Internally_CID_Keyed(ft, &cid) == 0 && !cid)
      face->Kind = TKind::OpenTypeCff;
  }
  number = int(FFaces.size());
  FFaces.push_back(std::move(face));
  return number;
}

TPdfFonts::TCode TPdfFonts::Use(int index, uint32_t glyph) {
  TFace* face = FaceOf(index);
  if (!face) return {0, {0, 0}, 0};
  glyph = face->Valid(glyph);
  if (face->Kind != TKind::Type3) {
    if (!face->Object) face->Object = FFile.Reserve();
    face->Used.insert(glyph);
    return {face->Object, {uint8_t(glyph >> 8), uint8_t(glyph)}, 2};
  }
  auto [at, added] = face->Codes.try_emplace(glyph);
  if (added) {
    if (face->Type3.empty() || face->Type3.back().Glyphs.size() == 256) {
      face->Type3.emplace_back();
      face->Type3.back().Object = FFile.Reserve();
    }
    at->second = {uint32_t(face->Type3.size() - 1), uint8_t(face->Type3.back().Glyphs.size())};
    face->Type3.back().Glyphs.push_back(glyph);
  }
  return {face->Type3[at->second.first].Object, {at->second.second, 0}, 1};
}

double TPdfFonts::Advance(int index, uint32_t glyph) {
  TFace* face = FaceOf(index);
  return face ? face->Width(face->Valid(glyph)) : 0;
}

bool TPdfFonts::MapText(int index, uint32_t glyph, std::u16string_view text) {
  TFace* face = FaceOf(index);
  if (!face || text.empty()) return true;
  const auto [at, added] = face->Text.try_emplace(face->Valid(glyph), text);
  return added || at->second == text;
}

void TPdfFonts::Finish() {
  if (FFinished) return;
  FFinished = true;
  for (const auto& face : FFaces) {
    if (face->Kind == TKind::Type3) FinishType3(*face);
    else if (face->Object) FinishCid(*face);
  }
}

void TPdfFonts::FinishCid(TFace& face) {
  const bool trueType = face.Kind == TKind::TrueType;
  bool subset = trueType;
  std::string program;
  const auto tables = ReadTables(face.Data, face.Index);
  std::set<uint32_t> keep = face.Used;
  keep.insert(0);
  if (trueType) {
    program = SubsetTrueType(tables, face.Used);
  } else if (!(program = SubsetOpenType(tables, face.NumGlyphs, keep)).empty()) {
    subset = true;
  } else if (U32(face.Data, 0) != Tag("ttcf")) {
    program = face.Data;
  } else {
    // A face of a collection: its own tables in a file of their own.
    std::map<uint32_t, std::string> own;
    for (const auto& [tag, body] : tables) own.emplace(tag, std::string(body));
    const auto head = own.find(Tag("head"));
    if (head != own.end()) Put32(head->second, 8, 0);  // the file's checksum, made anew
    program = WriteSfnt(U32(face.Data, U32(face.Data, 12 + 4 * uint64_t(face.Index))), own);
  }
  std::string name = PostScriptName(face.Ft);
  if (subset) {
    // The subset's tag: six capitals from the glyphs kept, the same for the same glyphs.
    uint64_t h = Fnv(14695981039346656037ull, name);
    for (uint32_t g : face.Used) {
      const char bytes[4] = {char(g >> 24), char(g >> 16), char(g >> 8), char(g)};
      h = Fnv(h, std::string_view(bytes, 4));
    }
    std::string tag;
    for (int i = 0; i < 6; ++i, h /= 26) tag += char('A' + h % 26);
    name = tag + "+" + name;
  }
  const int descendant = FFile.Reserve(), descriptor = FFile.Reserve(), fontFile = FFile.Reserve(),
            toUnicode = FFile.Reserve();

  std::string font = "<</Type/Font/Subtype/Type0/BaseFont";
  AppendName(font, name);
  font += "/Encoding/Identity-H/DescendantFonts[";
  AppendReference(font, descendant);
  font += "]/ToUnicode ";
  AppendReference(font, toUnicode);
  font += ">>";
  FFile.Object(face.Object, font);

  std::string cid = trueType ? "<</Type/Font/Subtype/CIDFontType2/BaseFont" : "<</Type/Font/Subtype/CIDFontType0/BaseFont";
  AppendName(cid, name);
  cid += "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor ";
  AppendReference(cid, descriptor);
  if (trueType) cid += "/CIDToGIDMap/Identity";
  // The widths in runs of consecutive glyphs.
  cid += "/W[";
  uint32_t next = UINT32_MAX;
  for (uint32_t g : face.Used) {
    if (g != next) {
      if (next != UINT32_MAX) cid += ']';
      AppendInteger(cid, g);
      cid += '[';
    } else {
      cid += ' ';
    }
    AppendNumber(cid, face.Width(g), 1);
    next = g + 1;
  }
  if (next != UINT32_MAX) cid += ']';
  cid += "]>>";
  FFile.Object(descendant, cid);

  FFile.Object(descriptor, Descriptor(face.Ft, face.Upem, name, fontFile, trueType ? "FontFile2" : "FontFile3"));
  std::string fileDictionary;
  if (trueType) {
    fileDictionary = "/Length1 ";
    AppendInteger(fileDictionary, int64_t(program.size()));
  } else {
    fileDictionary = "/Subtype/OpenType";
  }
  FFile.Stream(fontFile, fileDictionary, program);

  std::vector<std::pair<uint32_t, std::u16string>> entries;
  for (const auto& [glyph, text] : face.Text)
    if (face.Used.count(glyph)) entries.emplace_back(glyph, text);
  FFile.Stream(toUnicode, "", ToUnicode(entries, 2));
}

void TPdfFonts::FinishType3(TFace& face) {
  FT_Face ft = face.Ft;
  const bool outlines = FT_IS_SCALABLE(ft);
  const int strength = face.Upem / 24;
  const std::string unit = Reciprocal(face.Upem);
  std::string bbox = "[0 0 0 0]";
  if (outlines) {
    const int grow = face.Embolden ? strength : 0;
    bbox = "[";
    for (const FT_Pos v : {ft->bbox.xMin - grow, ft->bbox.yMin - grow, ft->bbox.xMax + grow, ft->bbox.yMax + grow}) {
      AppendInteger(bbox, v);
      bbox += ' ';
    }
    bbox.back() = ']';
  }
  const FT_Outline_Funcs funcs = {&TPathWriter::Move, &TPathWriter::Line, &TPathWriter::Conic, &TPathWriter::Cubic, 0,
                                  0};
  for (const TType3Font& font : face.Type3) {
    std::string procs = "<<", differences = "[0", widths = "[", path;
    for (uint32_t glyph : font.Glyphs) {
      // Widths in font units, which the font matrix makes the advance Width() gave.
      const int units = int(std::llround(face.Width(glyph) * face.Upem / 1000.0));
      std::string proc;
      AppendInteger(proc, units);
      proc += " 0 d0\n";
      path.clear();
      if (outlines && FT_Load_Glyph(ft, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
          ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline& outline = ft->glyph->outline;
        if (face.Embolden) FT_Outline_Embolden(&outline, strength);
        TPathWriter writer{&path};
        if (FT_Outline_Decompose(&outline, &funcs, &writer) != 0) path.clear();
        if (!path.empty()) path += (outline.flags & FT_OUTLINE_EVEN_ODD_FILL) ? "f*\n" : "f\n";
      }
      proc += path;
      const int object = FFile.Reserve();
      FFile.Stream(object, "", proc);
      std::string glyphName = "g";
      AppendInteger(glyphName, glyph);
      AppendName(procs, glyphName);
      procs += ' ';
      AppendReference(procs, object);
      AppendName(differences, glyphName);
      AppendInteger(widths, units);
      widths += ' ';
    }
    procs += ">>";
    differences += ']';
    widths.back() = ']';
    const int toUnicode = FFile.Reserve();
    std::string dict = "<</Type/Font/Subtype/Type3/FontBBox";
    dict += bbox;
    dict += "/FontMatrix[" + unit + " 0 0 " + unit + " 0 0]/CharProcs";
    dict += procs;
    dict += "/Encoding<</Type/Encoding/Differences";
    dict += differences;
    dict += ">>/FirstChar 0/LastChar ";
    AppendInteger(dict, int64_t(font.Glyphs.size()) - 1);
    dict += "/Widths";
    dict += widths;
    dict += "/Resources<<>>/ToUnicode ";
    AppendReference(dict, toUnicode);
    dict += ">>";
    FFile.Object(font.Object, dict);

    std::vector<std::pair<uint32_t, std::u16string>> entries;
    for (size_t code = 0; code < font.Glyphs.size(); ++code) {
      const auto text = face.Text.find(font.Glyphs[code]);
      if (text != face.Text.end()) entries.emplace_back(uint32_t(code), text->second);
    }
    FFile.Stream(toUnicode, "", ToUnicode(entries, 1));
  }
}

}  // namespace rpt
