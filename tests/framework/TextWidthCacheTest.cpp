// Widths kept per font and character must be the widths Qt gives for the whole string:
// kerned pairs, combining marks, other scripts, controls and malformed text included,
// and from two threads at once. Glyphs drawn onto PDF pages without shaping must be the
// glyphs shaping gives, at its places.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPageSize>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTextLayout>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/QtCanvas.h"

namespace rpt {
namespace {

std::unique_ptr<TFont> MakeFont(const std::string& name, int32_t height, TFontStyles style) {
  auto f = std::make_unique<TFont>();
  f->SetName(name);
  f->SetHeight(height);
  f->SetStyle(style);
  return f;
}

// The fonts reports use (and what the default font and common names stand for here).
std::vector<std::unique_ptr<TFont>> Fonts() {
  std::vector<std::unique_ptr<TFont>> fonts;
  for (const char* name : {"Arial", "Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Sans",
                           "DejaVu Serif", "DejaVu Sans Mono", "MS Sans Serif", "Times New Roman"})
    for (const TFontStyles style : {TFontStyles{}, TFontStyles{fsBold}, TFontStyles{fsItalic}})
      fonts.push_back(MakeFont(name, -13, style));
  fonts.push_back(MakeFont("Arial", -9, {}));
  fonts.push_back(MakeFont("Arial", -32, {fsBold, fsUnderline}));
  return fonts;
}

// Measured the long way, as before any cache.
double Uncached(const TFont& font, const std::string& text) {
  return QFontMetricsF(ReferenceFont(font)).horizontalAdvance(ToQString(text));
}

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// Texts that catch a sum of advances where Qt shapes: kerning pairs in every font of the
// list, ligature candidates, marks, scripts that are shaped or read right to left,
// characters outside the basic plane, controls, invisible characters, broken UTF-8.
std::vector<std::string> Texts() {
  std::vector<std::string> texts = {
      "",
      "A",
      "AVAWAY To Ta Te Yo LT PA F. P, r. y. 11 1111.11",
      "The quick brown fox jumps over the lazy dog 0123456789",
      "office affluent flow fjord ffi ffl",
      "-T -V A- L' \"A\" «Voilà» „Gänsefüße“ ‘quoted’ — – …",
      "Café Noël · Ölmühle Brandt · Żurawiec Sp. z o.o. · Čokoládovna s.r.o.",
      "Ελαιώνας ΑΒΓ ΤΑ ΥΑ Берёзка ТА ГА Г. Д",
      "Desk 160 × 80 cm € 1.234,56 № 5 ™",
      "e\xcc\x81 a\xcc\x8a n\xcc\x83",      // combining marks
      "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 abc",  // Arabic
      "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d 12",           // Hebrew
      "\xe0\xb8\xaa\xe0\xb8\xa7\xe0\xb8\xb1\xe0\xb8\xaa\xe0\xb8\x94\xe0\xb8\xb5",  // Thai
      "\xe0\xa4\xa8\xe0\xa4\xae\xe0\xa4\xb8\xe0\xa5\x8d\xe0\xa4\xa4\xe0\xa5\x87",  // Devanagari
      "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e AV",        // CJK
      "\xf0\x9f\x98\x80 smile \xf0\x9d\x90\x80",        // outside the basic plane
      "tab\there", "line\nbreak", "cut\xc2\x9chere",
      "soft\xc2\xadhyphen", "zero\xe2\x80\x8bwidth", "join\xe2\x80\x8d\xe2\x80\x8c" "ers", "\xe2\x80\xaeright",
      "bad \xff\xfe bytes", "cut \xc3", "over\xc0\xaflong", "surrogate \xed\xa0\x80",
  };
  // Random texts over the characters summed without Qt, weighted to capital letters and
  // punctuation, where fonts kern most.
  const std::u32string pool = U"AVWTYLPFRKOo.,-:;' \"1aeyvw0é€ΑΤΥΓабГТ«»–—’ÀÝŸłŤ";
  uint32_t x = 12345;
  for (int i = 0; i < 300; ++i) {
    std::string s;
    const int length = 1 + static_cast<int>(x % 12);
    for (int j = 0; j < length; ++j) {
      x = x * 1103515245u + 12345u;
      s += Utf8(pool[(x >> 8) % pool.size()]);
    }
    texts.push_back(std::move(s));
  }
  return texts;
}

TEST(TextWidthCache, WidthsAreQtsForEveryFontAndText) {
  const auto fonts = Fonts();
  const std::vector<std::string> texts = Texts();
  for (const auto& f : fonts) {
    std::vector<double> expected;
    for (const std::string& text : texts) expected.push_back(Uncached(*f, text));
    for (int round = 0; round < 2; ++round)  // filling the cache, then from it
      for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(ReferenceWidth(*f, texts[i]), expected[i])
            << f->Name() << " style " << f->Style().Mask() << " \"" << texts[i] << "\"";
        ASSERT_EQ(MeasureText(*f, texts[i], kReferenceDpi).Width, expected[i]) << f->Name() << " \"" << texts[i] << "\"";
      }
    const QFontMetricsF m(ReferenceFont(*f));
    double ascent = 0, descent = 0;
    ReferenceAscentDescent(*f, ascent, descent);
    EXPECT_EQ(ascent, m.ascent());
    EXPECT_EQ(descent, m.descent());
    for (char32_t c : {U'A', U'ÿ', U'Ω', U'€', U'\t', U'\U0001F600'})
      EXPECT_EQ(ReferenceAdvance(*f, c), m.horizontalAdvance(QString::fromUcs4(&c, 1))) << f->Name();
  }
}

TEST(TextWidthCache, ExtentsAtADeviceScaleTheReferenceWidth) {
  const auto f = MakeFont("Arial", -13, {});
  const std::string text = "AV Total 1,234.50";
  const QFontMetricsF m(ReferenceFont(*f));
  const double scale = 300.0 / kReferenceDpi;
  const TTextExtentF e = MeasureText(*f, text, 300);
  EXPECT_EQ(e.Width, m.horizontalAdvance(ToQString(text)) * scale);
  EXPECT_EQ(e.Ascent, m.ascent() * scale);
  EXPECT_EQ(e.Descent, m.descent() * scale);
  EXPECT_EQ(e.Height, e.Ascent + e.Descent);
}

TEST(TextWidthCache, TwoThreadsMeasuringAtOnceGetQtsWidths) {
  std::vector<std::unique_ptr<TFont>> fonts;
  fonts.push_back(MakeFont("Arial", -13, {}));
  fonts.push_back(MakeFont("DejaVu Sans", -13, {fsBold}));
  // Fresh fonts, so both threads fill the same entries at the same time.
  fonts.push_back(MakeFont("Liberation Serif", -17, {fsItalic}));
  fonts.push_back(MakeFont("DejaVu Serif", -15, {}));
  // More fonts than the cache keeps, a set per thread: entries are dropped and made again
  // while the other thread measures.
  std::vector<std::unique_ptr<TFont>> churn[2];
  for (int t = 0; t < 2; ++t)
    for (int height = -6 - t; height >= -60; height -= 3) churn[t].push_back(MakeFont("Liberation Sans", height, {}));
  const std::vector<std::string> texts = Texts();
  const std::vector<std::string> few(texts.begin(), texts.begin() + 8);
  std::vector<std::vector<double>> expected;
  for (const auto& f : fonts) {
    expected.emplace_back();
    for (const std::string& text : texts) expected.back().push_back(Uncached(*f, text));
  }
  std::vector<std::vector<double>> churnExpected[2];
  for (int t = 0; t < 2; ++t)
    for (const auto& f : churn[t]) {
      churnExpected[t].emplace_back();
      for (const std::string& text : few) churnExpected[t].back().push_back(Uncached(*f, text));
    }

  int wrong[2] = {0, 0};
  auto work = [&](int t) {
    for (int round = 0; round < 2; ++round) {
      for (size_t i = 0; i < fonts.size(); ++i) {
        // The threads walk the fonts in opposite orders.
        const size_t font = t == 0 ? i : fonts.size() - 1 - i;
        for (size_t j = 0; j < texts.size(); ++j)
          if (ReferenceWidth(*fonts[font], texts[j]) != expected[font][j]) ++wrong[t];
      }
      for (size_t i = 0; i < churn[t].size(); ++i)
        for (size_t j = 0; j < few.size(); ++j)
          if (ReferenceWidth(*churn[t][i], few[j]) != churnExpected[t][i][j]) ++wrong[t];
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
}

// The glyph runs shaping gives a whole text in the reference font.
QList<QGlyphRun> ShapedRuns(const TFont& font, const std::string& text) {
  QTextLayout layout(ToQString(text), ReferenceFont(font));
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  return layout.glyphRuns();
}

TEST(TextGlyphs, GlyphsAndPlacesAreShapings) {
  const auto fonts = Fonts();
  std::vector<std::string> texts = Texts();
  texts.resize(120);
  int known = 0;
  for (const auto& f : fonts)
    for (int round = 0; round < 2; ++round)
      for (const std::string& text : texts) {
        std::vector<uint32_t> glyphs;
        std::vector<double> positions;
        if (!ReferenceGlyphs(*f, text, glyphs, positions)) continue;
        ++known;
        const QList<QGlyphRun> runs = ShapedRuns(*f, text);
        ASSERT_EQ(runs.size(), 1) << f->Name() << " \"" << text << "\"";
        const QList<quint32> shaped = runs[0].glyphIndexes();
        const QList<QPointF> places = runs[0].positions();
        ASSERT_EQ(std::vector<uint32_t>(shaped.begin(), shaped.end()), glyphs) << f->Name() << " \"" << text << "\"";
        ASSERT_EQ(positions.size(), static_cast<size_t>(places.size()));
        for (size_t i = 0; i < positions.size(); ++i)
          ASSERT_EQ(positions[i], places[static_cast<qsizetype>(i)].x()) << f->Name() << " \"" << text << "\" " << i;
      }
  // Most texts of the list have their glyphs known: kerned, plain and Greek or Cyrillic ones.
  EXPECT_GT(known, static_cast<int>(fonts.size() * texts.size()));
  const auto arial = MakeFont("Arial", -13, {});
  std::vector<uint32_t> glyphs;
  std::vector<double> positions;
  for (const char* text : {"Total", "AVAWAY To Ta", "Ελαιώνας Ltd", "1234.50", "Café Noël"})
    EXPECT_TRUE(ReferenceGlyphs(*arial, text, glyphs, positions)) << text;
  for (const char* text : {"", "tab\there", "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 abc", "bad \xff"})
    EXPECT_FALSE(ReferenceGlyphs(*arial, text, glyphs, positions)) << text;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// The words of a PDF page with their boxes, as pdftotext reads them.
std::multimap<std::string, std::vector<double>> Words(const std::string& pdf, int page) {
  const std::string html = Shell("pdftotext -bbox -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" +
                                 pdf + "' - 2>/dev/null");
  std::multimap<std::string, std::vector<double>> words;
  for (size_t at = 0; (at = html.find("<word ", at)) != std::string::npos;) {
    const size_t close = html.find('>', at), end = html.find("</word>", at);
    std::vector<double> box;
    for (const char* key : {"xMin=\"", "yMin=\"", "xMax=\"", "yMax=\""}) {
      const size_t k = html.find(key, at);
      box.push_back(std::atof(html.c_str() + k + std::strlen(key)));
    }
    words.emplace(html.substr(close + 1, end - close - 1), box);
    at = end;
  }
  return words;
}

TEST(TextGlyphs, PdfPagesShowTheSameWordsAtTheSamePlacesEitherWay) {
  if (Shell("command -v pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
  QTemporaryDir dir;
  const std::string file = (dir.path() + "/glyphs.pdf").toStdString();
  const std::vector<std::string> texts = {"Total 1234.50", "AVAWAY To Ta Te Yo", "Café Noël AB",
                                          "Ελαιώνας Ltd", "Берёзка Oy", "Copy paper A4 80 g", "office affluent"};
  {
    QPdfWriter writer(QString::fromStdString(file));
    writer.setResolution(300);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    // Page 1 as glyph runs; page 2 shaped, as clipped texts always are.
    for (int page = 0; page < 2; ++page) {
      if (page == 1) writer.newPage();
      TQtCanvas canvas(&painter, 300);
      const auto fonts = Fonts();
      int y = 100;
      for (size_t i = 0; i < fonts.size(); i += 4)
        for (const std::string& text : texts) {
          canvas.SetFont(fonts[i].get());
          if (page == 0)
            canvas.TextOut(100 + static_cast<int>(i) * 3, y, text);
          else
            canvas.TextRect({0, 0, 2400, 3400}, 100 + static_cast<int>(i) * 3, y, text);
          y += 60;
        }
    }
  }
  const auto glyphs = Words(file, 1), shaped = Words(file, 2);
  ASSERT_GT(shaped.size(), 100u);
  ASSERT_EQ(glyphs.size(), shaped.size());
  for (auto a = glyphs.begin(), b = shaped.begin(); a != glyphs.end(); ++a, ++b) {
    ASSERT_EQ(a->first, b->first);
    for (size_t k = 0; k < 4; ++k)  // points; a device pixel is 0.24 of one
      EXPECT_NEAR(a->second[k], b->second[k], 0.01) << a->first;
  }
}

}  // namespace
}  // namespace rpt
