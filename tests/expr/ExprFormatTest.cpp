// Number texts: the general float text, numeric format masks, locale separators, and the
// 255-character cut of strings.
#include <cmath>
#include <limits>

#include "data/DateTime.h"
#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

TEST(ExprFloatText, FifteenDigitsFixedOrScientific) {
  const std::pair<double, const char*> cases[] = {
      {2.5, "2.5"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.001, "0.001"},
      {0.00001, "1E-5"},
      {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},
      {1e100, "1E100"},
      {-1.5e-10, "-1.5E-10"},
      {1234567890123456789.0, "1.23456789012346E18"},
      {999999999999999.9, "1E15"},
      {0.1 + 0.2, "0.3"},
      {-0.0, "0"},
      {0.0, "0"},
      {-42.0, "-42"},
      {100.0, "100"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
      {std::nan(""), "NAN"},
      {5e-324, "4.94065645841247E-324"},
      {1.7976931348623157e308, "1.79769313486232E308"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatGeneralFloat(value, PinnedSettings()), text) << value;
}

TEST(ExprNumberMask, PlaceholdersPointGroupingSectionsAndExponents) {
  struct TMaskCase {
    const char* Mask;
    double Value;
    const char* Text;
  };
  const TMaskCase cases[] = {
      {"0.00", 3.14159, "3.14"},
      {"0.00", 3, "3.00"},
      {"0.00", -0.001, "0.00"},
      {"0.00", 2.675, "2.67"},  // judged on the stored value 2.67499999...
      {"0.00", 0.125, "0.13"},
      {"0.00", -1.005, "-1.00"},
      {"#.##", 3, "3"},
      {"#.##", 0.5, ".5"},
      {"#.##", 12.5, "12.5"},
      {"#", 0, ""},
      {"0", 0.5, "1"},
      {"0", 0.49, "0"},
      {"#,##0", 1234567, "1,234,567"},
      {"#,##0", 123, "123"},
      {"#,##0", 1234.5, "1,235"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"###,###", 1234567890, "1,234,567,890"},
      {"000", 5, "005"},
      {"00000.0", 12.34, "00012.3"},
      {"0.0###", 1.5, "1.5"},
      {"0.0###", 1.23456, "1.2346"},
      {"#.00#", 1.5, "1.50"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.00E+00", 0.00012345, "1.23E-04"},
      {"0.0E-0", 12345, "1.2E4"},
      {"0.0e-00", 0.5, "5.0e-01"},
      {"00.0E+0", 12345, "12.3E+3"},
      {"0.0E+0", 0, "0.0E+0"},
      {"0.000E+00", 9.9996, "1.000E+01"},
      {"0;(0)", -5, "(5)"},
      {"0;(0)", 5, "5"},
      {"0;(0);'zero'", 0, "zero"},
      {"0;(0);'zero'", 0.2, "zero"},
      {"0.0;;'none'", -0.04, "none"},
      {"0.0;-0.0", -0.06, "-0.1"},
      {"0;", -7, "-7"},
      {"$#,##0.00", 1234.5, "$1,234.50"},
      {"0.00 'kg'", 2, "2.00 kg"},
      {"\"a;b\"0", 5, "a;b5"},
      {"'#'0", 7, "#7"},
      {"Euro 0", 3, "Euro 3"},
      {"0%", 45, "45%"},
      {"0", 1e20, "1E20"},
      {"0.00", std::numeric_limits<double>::infinity(), "INF"},
      {"", 2.5, "2.5"},
      {";(0)", -3, "-3"},
  };
  for (const TMaskCase& c : cases)
    EXPECT_EQ(FormatNumericMask(c.Mask, c.Value, PinnedSettings()), c.Text) << c.Mask << " with " << c.Value;
  std::string text;
  EXPECT_FALSE(FormatNumericMask(std::string(256, '0'), 1, text, PinnedSettings()));
  EXPECT_TRUE(FormatNumericMask(std::string(255, '0'), 1, text, PinnedSettings()));
  EXPECT_EQ(text, std::string(254, '0') + "1");
  EXPECT_FALSE(FormatNumericMask("," + std::string(200, '0'), 1, text, PinnedSettings()));
}

TEST(ExprNumberMask, LocaleSeparators) {
  TFormatSettings german = PinnedSettings();
  german.DecimalSeparator = ",";
  german.ThousandSeparator = ".";
  EXPECT_EQ(FormatNumericMask("#,##0.00", 1234567.891, german), "1.234.567,89");
  EXPECT_EQ(FormatGeneralFloat(2.5, german), "2,5");
  EXPECT_EQ(FormatGeneralFloat(1.5e-7, german), "1,5E-7");
  TFormatSettings french = PinnedSettings();
  french.DecimalSeparator = ",";
  french.ThousandSeparator = "\u202f";  // a narrow no-break space: more than one byte
  EXPECT_EQ(FormatNumericMask("#,##0.0", 12345.67, french), "12\u202f345,7");

  SetEvFormatSettings(german);
  ExpectTable({
      {"STR(2.5)", "STRING 2,5"},
      {"1.5 + 'x'", "STRING 1,5x"},
      {"FORMATNUMERIC('#,##0.00', 1234.5)", "STRING 1.234,50"},
      {"2.5 * 2", "FLOAT 5"},
  });
  SetEvFormatSettings(PinnedSettings());
}

TEST(ExprNumberMask, SettingsFromTheSystemLocale) {
  // The C locale is always there; an unknown locale falls back to the C settings.
  const TFormatSettings c = TFormatSettings::FromLocale("C");
  EXPECT_EQ(c.DecimalSeparator, ".");
  EXPECT_EQ(c.ThousandSeparator, ",");  // the C locale has none: "," stands in
  EXPECT_FALSE(c.ShortDateFormat.empty());
  const TFormatSettings unknown = TFormatSettings::FromLocale("xx_NOWHERE.UTF-8");
  EXPECT_EQ(unknown.DecimalSeparator, ".");
  EXPECT_EQ(unknown.LocaleName, "C");
  EXPECT_EQ(c.FormatTime("%Y-%m-%d %H:%M", kTestNow), "2024-02-29 14:30");
}

TEST(ExprStrings, EveryStringIsCutTo255CharactersWithoutSplittingOne) {
  const std::string a300(300, 'a');
  EXPECT_EQ(Eval("'" + a300 + "'"), "STRING " + std::string(255, 'a'));
  EXPECT_EQ(Eval("'" + std::string(200, 'x') + "' + '" + std::string(200, 'y') + "'"),
            "STRING " + std::string(200, 'x') + std::string(55, 'y'));
  std::string umlauts;
  for (int i = 0; i < 300; ++i) umlauts += "\xC3\xA4";  // ä
  const std::string cut = Eval("'" + umlauts + "'");
  EXPECT_EQ(cut, "STRING " + umlauts.substr(0, 510));
  EXPECT_EQ(EvStringLength(cut.substr(7)), 255u);
  EXPECT_EQ(Eval("UPPER('" + umlauts + "')").size(), 7u + 510u);
  // An error message quoting a long piece is cut too, as a whole.
  const std::string bad = "#" + a300;
  const std::string message = "Error in expression : #";
  EXPECT_EQ(Eval(bad), "ERROR " + message + std::string(255 - message.size(), 'a'));
  // Stray bytes count as characters and survive case mapping.
  EXPECT_EQ(EvUpperCase("a\xFF" "b"), "A\xFF" "B");
  EXPECT_EQ(EvStringLength("\xE2\x82"), 2u);
}

TEST(ExprDateMask, PartsShortAndLongFormsAndLiterals) {
  TFormatSettings c = TFormatSettings::FromLocale("C");
  c.ShortDateFormat = "%m/%d/%y";
  c.LongTimeFormat = "%H:%M:%S";
  const double moment = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
  const double date = EncodeDate(2024, 3, 5);
  EXPECT_EQ(FormatDateTimeMask("dd/mm/yyyy hh:nn", moment, c), "05/03/2024 14:07");
  EXPECT_EQ(FormatDateTimeMask("d-m-yy", moment, c), "5-3-24");
  // m right after an hour is the minute.
  EXPECT_EQ(FormatDateTimeMask("hh:mm:ss.zzz", moment, c), "14:07:09.045");
  EXPECT_EQ(FormatDateTimeMask("c", moment, c), "03/05/24 14:07:09");
  EXPECT_EQ(FormatDateTimeMask("c", date, c), "03/05/24");
  EXPECT_EQ(FormatDateTimeMask("", date, c), "03/05/24");
  EXPECT_EQ(FormatDateTimeMask("t", moment, c), "14:07");
  EXPECT_EQ(FormatDateTimeMask("tt", moment, c), "14:07:09");
  EXPECT_EQ(FormatDateTimeMask("h:nn am/pm", moment, c), "2:07 pm");
  EXPECT_EQ(FormatDateTimeMask("h:nn AM/PM", date, c), "12:00 AM");
  EXPECT_EQ(FormatDateTimeMask("dddd, mmmm d", moment, c), "Tuesday, March 5");
  EXPECT_EQ(FormatDateTimeMask("ddd mmm yyyy", moment, c), "Tue Mar 2024");
  EXPECT_EQ(FormatDateTimeMask("'Day' d \"of\" m", moment, c), "Day 5 of 3");
  // Dates before 1900 and before the epoch day keep their calendar date.
  EXPECT_EQ(FormatDateTimeMask("yyyy-mm-dd", EncodeDate(1850, 1, 1), c), "1850-01-01");
  EXPECT_EQ(FormatDateTimeMask("yyyy", std::numeric_limits<double>::infinity(), c), "");
}

}  // namespace
}  // namespace rpt::test
