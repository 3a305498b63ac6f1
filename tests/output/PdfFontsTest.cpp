// The fonts of the PDF writer, each kind in a page made by hand and read back with poppler's
// and qpdf's tools: the TrueType and CFF subsets, the Type3 fonts of a thickened face
// and of more than 256 glyphs, and damaged font files.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "output/PdfFile.h"
#include "output/PdfFonts.h"

#include "tests/output/TestPages.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::Shell;

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kDejaVuMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
const char* const kNimbus = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
const char* const kType1 = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

fs::path Temp(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / "rpt_pdf_fonts_test";
  fs::create_directories(dir);
  return dir / name;
}

// The glyphs of a face for the characters of text, as the painting side would find them.
std::vector<uint32_t> GlyphsOf(const char* file, std::u16string_view text) {
  std::vector<uint32_t> glyphs;
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0) return glyphs;
  if (FT_New_Face(library, file, 0, &face) == 0) {
    for (char16_t c : text) glyphs.push_back(FT_Get_Char_Index(face, c));
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return glyphs;
}

// A one-page document whose lines of glyphs are shown with the fonts under test.
struct TDocument {
  std::string Bytes;
  TPdfFile File{[this](const char* data, size_t size) {
    Bytes.append(data, size);
    return true;
  }};
  TPdfFonts Fonts{File};
  std::string Content;
  std::set<int> Used;

  // Glyphs placed one after the other from their advances at 12 pt, lines of 500 pt, each
  // standing for the character at its place in text.
  void Line(int face, const std::vector<uint32_t>& glyphs, std::u16string_view text, double y) {
    double x = 50;
    Content += "BT\n";
    for (size_t i = 0; i < glyphs.size(); ++i) {
      if (x > 550) x = 50, y -= 15;
      const TPdfFonts::TCode code = Fonts.Use(face, glyphs[i]);
      if (i < text.size()) Fonts.MapText(face, glyphs[i], text.substr(i, 1));
      Used.insert(code.Font);
      Content += "/F" + std::to_string(code.Font) + " 12 Tf 1 0 0 1 ";
      AppendNumber(Content, x);
      Content += ' ';
      AppendNumber(Content, y);
      Content += " Tm <";
      static const char kHex[] = "0123456789ABCDEF";
      for (int b = 0; b < code.Length; ++b) (Content += kHex[code.Bytes[b] >> 4]) += kHex[code.Bytes[b] & 15];
      Content += "> Tj\n";
      x += Fonts.Advance(face, glyphs[i]) * 12 / 1000;
    }
    Content += "ET\n";
  }

  std::string Save(const fs::path& path) {
    Fonts.Finish();
    const int catalog = File.Reserve(), pages = File.Reserve(), page = File.Reserve(), content = File.Reserve();
    File.Object(catalog, "<</Type/Catalog/Pages " + std::to_string(pages) + " 0 R>>");
    File.Object(pages, "<</Type/Pages/Kids[" + std::to_string(page) + " 0 R]/Count 1>>");
    std::string fonts;
    for (int font : Used) fonts += "/F" + std::to_string(font) + ' ' + std::to_string(font) + " 0 R";
    File.Object(page, "<</Type/Page/Parent " + std::to_string(pages) + " 0 R/MediaBox[0 0 612 792]/Contents " +
                          std::to_string(content) + " 0 R/Resources<</Font<<" + fonts + ">>>>>>");
    File.Stream(content, "", Content);
    File.Finish(catalog, 0);
    WriteFile(path, Bytes);
    return Bytes;
  }
};

// The line of text holding word.
std::string LineWith(const std::string& text, const std::string& word) {
  const size_t at = text.find(word);
  if (at == std::string::npos) return {};
  const size_t start = text.rfind('\n', at) + 1;  // npos + 1 is the text's start
  return text.substr(start, text.find('\n', at) - start);
}

// A font collection of the files, its tables moved to where they now lie.
std::string Collection(const std::vector<std::string>& fonts) {
  const auto put32 = [](std::string& d, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) d[at + size_t(k)] = char(v >> (24 - 8 * k));
  };
  const auto get = [](const std::string& d, size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v = v << 8 | uint8_t(d[at + size_t(k)]);
    return v;
  };
  std::string ttc("ttcf\0\1\0\0\0\0\0\0", 12);
  put32(ttc, 8, uint32_t(fonts.size()));
  ttc.resize(12 + 4 * fonts.size());
  for (size_t i = 0; i < fonts.size(); ++i) {
    const uint32_t base = uint32_t(ttc.size());
    put32(ttc, 12 + 4 * i, base);
    ttc += fonts[i];
    for (uint32_t t = 0; t < get(fonts[i], 4, 2); ++t) put32(ttc, base + 20 + 16 * t, base + get(fonts[i], 20 + 16 * t, 4));
    ttc.resize((ttc.size() + 3) & ~size_t(3));
  }
  return ttc;
}

std::string Check(const fs::path& pdf) { return Shell("qpdf --check '" + pdf.string() + "' 2>&1"); }
bool Clean(const std::string& check) {
  return check.find("No syntax or stream encoding errors") != std::string::npos &&
         check.find("WARNING") == std::string::npos;
}
std::string Text(const fs::path& pdf) { return Shell("pdftotext -enc UTF-8 '" + pdf.string() + "' - 2>&1"); }
std::string Fonts(const fs::path& pdf) { return Shell("pdffonts '" + pdf.string() + "' 2>&1"); }

// The dark pixels between two baselines' rows (72 dpi, y up from the page's foot).
int Ink(const fs::path& pdf, double top, double bottom) {
  const fs::path image = pdf.string() + ".pgm";
  Shell("pdftoppm -r 72 -gray -singlefile '" + pdf.string() + "' > '" + image.string() + "'");
  const std::string pgm = ReadFile(image);
  fs::remove(image);
  int width = 0, height = 0, max = 0, used = 0;
  if (std::sscanf(pgm.c_str(), "P5 %d %d %d%n", &width, &height, &max, &used) != 3) return -1;
  const size_t start = size_t(used) + 1;
  if (pgm.size() < start + size_t(width) * size_t(height)) return -1;
  int dark = 0;
  for (int row = std::max(0, int(792 - top)); row < std::min(height, int(792 - bottom)); ++row)
    for (int col = 0; col < width; ++col) dark += uint8_t(pgm[start + size_t(row) * size_t(width) + size_t(col)]) < 128;
  return dark;
}

// The same face from its file and second in a collection, each a subset.
TEST(PdfFonts, TrueTypeSubsetKeepsGlyphNumbers) {
  if (!fs::exists(kDejaVu) || !fs::exists(kDejaVuMono)) GTEST_SKIP() << "DejaVu fonts are not installed";
  const fs::path ttc = Temp("collection.ttc");
  WriteFile(ttc, Collection({ReadFile(kDejaVuMono), ReadFile(kDejaVu)}));
  const std::u16string text = u"Hello \u00C4\u00E9 fonts";  // Ä and é are composites in this face
  const auto glyphs = GlyphsOf(kDejaVu, text);
  const auto write = [&](const fs::path& pdf) {
    TDocument doc;
    const int face = doc.Fonts.Open({kDejaVu, 0, false});
    EXPECT_EQ(doc.Fonts.Open({kDejaVu, 0, false}), face);
    doc.Line(face, glyphs, text, 700);
    EXPECT_FALSE(doc.Fonts.MapText(face, glyphs[0], u"X"));
    EXPECT_TRUE(doc.Fonts.MapText(face, glyphs[0], u"H"));
    // A number the face has no glyph for shows its glyph 0.
    const TPdfFonts::TCode missing = doc.Fonts.Use(face, 1u << 30);
    EXPECT_EQ(missing.Length, 2);
    EXPECT_EQ(missing.Bytes[0] | missing.Bytes[1], 0);
    doc.Line(doc.Fonts.Open({ttc.string(), 1, false}), glyphs, text, 650);
    return doc.Save(pdf);
  };
  const fs::path pdf = Temp("truetype.pdf");
  const std::string bytes = write(pdf);
  EXPECT_EQ(write(Temp("truetype2.pdf")), bytes) << "the same input writes the same file";
  EXPECT_TRUE(Clean(Check(pdf))) << Check(pdf);
  EXPECT_NE(Text(pdf).find("Hello \u00C4\u00E9 fonts\n\nHello \u00C4\u00E9 fonts"), std::string::npos) << Text(pdf);
  // Name, type, encoding, embedded, subset, ToUnicode; twice.
  const std::string fonts = Fonts(pdf), line = LineWith(fonts, "+DejaVuSans ");
  EXPECT_NE(fonts.find("+DejaVuSans ", fonts.find(line) + line.size()), std::string::npos) << fonts;
  ASSERT_GT(line.size(), 7u) << Fonts(pdf);
  EXPECT_TRUE(std::all_of(line.begin(), line.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; })) << line;
  EXPECT_NE(line.find("CID TrueType      Identity-H       yes yes yes"), std::string::npos) << line;
  for (size_t length = bytes.find("/Length1 "); length != std::string::npos; length = bytes.find("/Length1 ", length + 1))
    EXPECT_LT(std::stoi(bytes.substr(length + 9)), 60000) << "the font file is " << fs::file_size(kDejaVu) << " bytes";
  EXPECT_GT(Ink(pdf, 715, 695), 100);
  EXPECT_GT(Ink(pdf, 665, 645), 100);
  fs::remove(ttc);
}

TEST(PdfFonts, CffSubsetInOpenType) {
  if (!fs::exists(kNimbus)) GTEST_SKIP() << kNimbus << " is not installed";
  const std::u16string text = u"Helvetica text";
  TDocument doc;
  const int face = doc.Fonts.Open({kNimbus, 0, false});
  ASSERT_GE(face, 0);
  doc.Line(face, GlyphsOf(kNimbus, text), text, 700);
  const fs::path pdf = Temp("cff.pdf");
  EXPECT_LT(doc.Save(pdf).size(), fs::file_size(kNimbus) / 2) << "a subset";
  EXPECT_TRUE(Clean(Check(pdf))) << Check(pdf);
  EXPECT_NE(Text(pdf).find("Helvetica text"), std::string::npos) << Text(pdf);
  EXPECT_NE(LineWith(Fonts(pdf), "NimbusSans-Regular ").find("CID Type 0C (OT)  Identity-H       yes yes yes"),
            std::string::npos)
      << Fonts(pdf);
  EXPECT_GT(Ink(pdf, 715, 695), 100);
}

// A thickened face and a Type 1 face are drawn from their outlines, the thickened one bolder
// than the face itself; more glyphs than one Type3 font holds go to further fonts, the text
// the glyphs stand for found in all.
TEST(PdfFonts, Type3FontsFromOutlines) {
  if (!fs::exists(kDejaVu)) GTEST_SKIP() << kDejaVu << " is not installed";
  const std::u16string text = u"Bold words";
  const auto glyphs = GlyphsOf(kDejaVu, text);
  TDocument doc;
  const int plain = doc.Fonts.Open({kDejaVu, 0, false}), bold = doc.Fonts.Open({kDejaVu, 0, true});
  ASSERT_NE(plain, bold);
  doc.Line(plain, glyphs, text, 700);
  doc.Line(bold, glyphs, text, 650);
  // 300 glyphs more, each standing for a character of its own (the last beyond 16 bits).
  std::vector<uint32_t> many;
  std::u16string chars;
  for (uint32_t g = 100; g < 400; ++g) many.push_back(g);
  for (char16_t c = 0x4E00; chars.size() < 299; ++c) chars += c;
  doc.Line(bold, many, chars, 600);
  // A Type 1 face, when installed.
  const bool type1 = fs::exists(kType1);
  if (type1) doc.Line(doc.Fonts.Open({kType1, 0, false}), GlyphsOf(kType1, u"Type one"), u"Type one", 400);
  const uint32_t last = many.back();
  EXPECT_TRUE(doc.Fonts.MapText(bold, last, u"\U0001D400"));
  EXPECT_NE(doc.Fonts.Use(bold, many.front()).Font, doc.Fonts.Use(bold, last).Font);
  EXPECT_EQ(doc.Fonts.Use(bold, last).Length, 1);
  const fs::path pdf = Temp("type3.pdf");
  doc.Save(pdf);
  EXPECT_TRUE(Clean(Check(pdf))) << Check(pdf);
  const std::string read = Text(pdf);
  EXPECT_NE(read.find("Bold words\n"), std::string::npos) << read;
  EXPECT_NE(read.find("\u4E00\u4E01"), std::string::npos) << read;
  EXPECT_NE(read.find("\u4EF8"), std::string::npos) << "the first glyph of the second font";
  EXPECT_NE(read.find("\U0001D400"), std::string::npos);
  const std::string fonts = Fonts(pdf);
  size_t type3 = 0;
  for (size_t at = fonts.find("Type 3"); at != std::string::npos; at = fonts.find("Type 3", at + 1)) ++type3;
  EXPECT_EQ(type3, type1 ? 3u : 2u) << fonts;  // 310 glyphs of the thickened face, and the Type 1 face
  if (type1) {
    EXPECT_NE(read.find("Type one"), std::string::npos) << read;
  }
  const int plainInk = Ink(pdf, 715, 695), boldInk = Ink(pdf, 665, 645);
  EXPECT_GT(plainInk, 100);
  EXPECT_GT(boldInk, plainInk * 5 / 4) << "thickened";
  EXPECT_GT(Ink(pdf, 615, 595), 1000);
}

// Damaged and missing files: no face, or a face that still makes a sound file.
TEST(PdfFonts, DamagedFontFiles) {
  if (!fs::exists(kDejaVu)) GTEST_SKIP() << kDejaVu << " is not installed";
  const std::string font = ReadFile(kDejaVu);
  std::vector<std::string> damaged = {font.substr(0, 300000), font.substr(0, 2000), std::string(5000, 'x')};
  // Bytes changed here and there, the same every run.
  uint32_t seed = 12345;
  for (int copy = 0; copy < 12; ++copy) {
    std::string changed = font;
    for (int k = 0; k < 300; ++k) {
      seed = seed * 1103515245u + 12345u;
      changed[(seed >> 4) % (copy < 6 ? 4000 : changed.size())] = char(seed >> 24);
    }
    damaged.push_back(std::move(changed));
  }
  TDocument doc;
  EXPECT_EQ(doc.Fonts.Open({Temp("absent.ttf").string(), 0, false}), -1);
  EXPECT_EQ(doc.Fonts.Open({kDejaVu, 3, false}), -1) << "no such face in the file";
  int opened = 0;
  for (size_t i = 0; i < damaged.size(); ++i) {
    const fs::path file = Temp("damaged" + std::to_string(i) + ".ttf");
    WriteFile(file, damaged[i]);
    for (const bool embolden : {false, true}) {
      const int face = doc.Fonts.Open({file.string(), 0, embolden});
      if (embolden) fs::remove(file);  // read whole when opened
      if (face < 0) continue;
      ++opened;
      doc.Line(face, {0, 3, 36, 40, 100, 1000, 5000, 70000}, u"abcdefgh", 700 - 20 * double(i));
    }
  }
  EXPECT_GT(opened, 0);
  const fs::path pdf = Temp("damaged.pdf");
  doc.Save(pdf);
  EXPECT_TRUE(Clean(Check(pdf))) << Check(pdf);
}

}  // namespace
}  // namespace rpt
