// Text conversions and the extended float: the encodings files rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "objects/CodePage.h"
#include "objects/Extended.h"

namespace rpt {
namespace {

TEST(CodePageTest, EveryCodePageByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = CodePageToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCodePage(utf8), all);
  EXPECT_EQ(CodePageToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(CodePageToUtf8("\xE9"), "\xC3\xA9");
}

TEST(CodePageTest, TextOutsideTheCodePageIsRefusedOrReplaced) {
  EXPECT_FALSE(Utf8ToCodePage("\xE6\x97\xA5").has_value());
  EXPECT_EQ(Utf8ToCodePageLossy("a\xE6\x97\xA5z"), "a?z");
  EXPECT_FALSE(Utf8ToCodePage("\xC3").has_value());  // truncated sequence
}

TEST(CodePageTest, Utf16HandlesSurrogatesAndDamage) {
  const std::string clef = "\xF0\x9D\x84\x9E";
  EXPECT_EQ(Utf8ToUtf16(clef), std::u16string({0xD834, 0xDD1E}));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(clef)), clef);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
  EXPECT_EQ(ValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // encoded surrogate
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
}

TEST(CodePageTest, SameTextFoldsAsciiLettersOnly) {
  EXPECT_TRUE(SameText("QRLabel1", "qrlabel1"));
  EXPECT_FALSE(SameText("QRLabel1", "QRLabel2"));
  EXPECT_FALSE(SameText("\xC3\xA9", "\xC3\x89"));
}

TEST(ExtendedTest, KnownEncodings) {
  const ExtendedBytes one = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(EncodeExtended(1.0L), one);
  EXPECT_EQ(DecodeExtended(one), 1.0L);
  const ExtendedBytes minusTwo = {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0};
  EXPECT_EQ(EncodeExtended(-2.0L), minusTwo);
  EXPECT_EQ(EncodeExtended(0.0L), ExtendedBytes{});
  EXPECT_TRUE(std::isinf(DecodeExtended(EncodeExtended(std::numeric_limits<Extended>::infinity()))));
  EXPECT_TRUE(std::isnan(DecodeExtended(EncodeExtended(std::numeric_limits<Extended>::quiet_NaN()))));
}

TEST(ExtendedTest, RandomValuesRoundTripExactly) {
  std::mt19937_64 random(42);
  std::uniform_int_distribution<int> exponent(-16000, 16000);
  for (int i = 0; i < 5000; ++i) {
    const Extended mantissa = static_cast<Extended>(random()) / static_cast<Extended>(UINT64_MAX);
    const Extended value = std::ldexp(mantissa, exponent(random)) * ((i & 1) ? -1 : 1);
    EXPECT_EQ(DecodeExtended(EncodeExtended(value)), value) << i;
  }
  // Subnormals and the smallest normal.
  for (Extended v : {std::numeric_limits<Extended>::denorm_min(), std::numeric_limits<Extended>::min(),
                     std::numeric_limits<Extended>::min() / 3})
    EXPECT_EQ(DecodeExtended(EncodeExtended(v)), v);
}

}  // namespace
}  // namespace rpt
