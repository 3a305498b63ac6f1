// Every built-in function: results, argument rules and error messages; the library
// entries; functions registered by the program.
#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

TEST(ExprFunctions, IfChoosesByABooleanAndEvaluatesAllThree) {
  ExpectTable({
      {"IF(1 = 1, 'yes', 'no')", "STRING yes"},
      {"IF(1 = 2, 'yes', 'no')", "STRING no"},
      {"if(2 > 1, 10, 2.5)", "INTEGER 10"},
      {"IF(1 = 1, 1/0, 2)", "ERROR Cannot divide by 0"},
      {"IF(1 = 2, 1, 1/0)", "ERROR Cannot divide by 0"},
      {"IF(1, 2, 3)", "ERROR Wrong arguments for IF"},
      {"IF(1/0, 2, 3)", "ERROR Wrong arguments for IF"},
      {"IF(1 = 1, 2)", "ERROR Wrong arguments for IF"},
      {"IF(1 = 1, 2, 3, 4)", "ERROR Wrong arguments for IF"},
      {"IF(1 = 1, IF(2 = 2, 'inner', 'x'), 'outer')", "STRING inner"},
      {"IF(1 = 1,,2)", "ERROR Error in expression : "},
      {"IF('a,b' = 'a,b', 'c,d', 'e')", "STRING c,d"},
  });
}

TEST(ExprFunctions, StrTurnsNumbersAndBooleansIntoText) {
  ExpectTable({
      {"STR(2.5)", "STRING 2.5"},
      {"STR(42)", "STRING 42"},
      {"STR(-7)", "STRING -7"},
      {"STR(1/3)", "STRING 0.333333333333333"},
      {"STR(0.00001)", "STRING 1E-5"},
      {"STR(1 = 1)", "STRING True"},
      {"STR('x')", "ERROR Conversion error"},
      {"STR(1/0)", "ERROR Conversion error"},
      {"STR()", "ERROR Conversion error"},
      {"STR(1, 2)", "ERROR Conversion error"},
  });
}

TEST(ExprFunctions, CaseFunctionsMapLettersOfEveryScriptTheyKnow) {
  ExpectTable({
      {"UPPER('abc xyz')", "STRING ABC XYZ"},
      {"LOWER('ABC Xyz')", "STRING abc xyz"},
      {"UPPER('äöü éç ÿ')", "STRING ÄÖÜ ÉÇ Ÿ"},
      {"LOWER('ÄÖÜ ÉÇ Ÿ')", "STRING äöü éç ÿ"},
      {"UPPER('straße')", "STRING STRAßE"},
      {"UPPER('łódź œ')", "STRING ŁÓDŹ Œ"},
      {"LOWER('ΑΒΓ ΆΈ')", "STRING αβγ άέ"},
      {"UPPER('привет ёж')", "STRING ПРИВЕТ ЁЖ"},
      {"UPPER('1 + 2 = 3')", "STRING 1 + 2 = 3"},
      {"UPPER(1)", "ERROR Wrong arguments for UPPER"},
      {"LOWER(1 = 1)", "ERROR Wrong arguments for LOWER"},
      {"UPPER(1/0)", "ERROR Cannot divide by 0"},
      {"UPPER()", "ERROR Missing argument for UPPER"},
      {"LOWER('a', 'b')", "ERROR Missing argument for LOWER"},
      {"PRETTY('hELLO wORLD')", "STRING Hello world"},
      {"PRETTY('élan VITAL')", "STRING Élan vital"},
      {"PRETTY('')", "STRING "},
      {"PRETTY(2)", "ERROR Wrong arguments for PRETTY"},
      {"PRETTY()", "ERROR Missing argument for PRETTY"},
      {"PRETTY(UNKNOWNX)", "ERROR Unknown function : UNKNOWNX"},
  });
}

TEST(ExprFunctions, DateAndTimeFollowTheLocaleSettings) {
  ExpectTable({
      {"DATE", "STRING 2024-02-29"},
      {"TIME", "STRING 14:30:05"},
      {"DATE()", "STRING 2024-02-29"},
      {"'Printed ' + DATE + ' ' + TIME", "STRING Printed 2024-02-29 14:30:05"},
      {"DATE(1)", "ERROR Wrong arguments for DATE"},
      {"TIME('x')", "ERROR Wrong arguments for TIME"},
  });
  TFormatSettings american = PinnedSettings();
  american.ShortDateFormat = "%m/%d/%Y";
  american.LongTimeFormat = "%I:%M:%S %p";
  SetEvFormatSettings(american);
  EXPECT_EQ(Eval("DATE"), "STRING 02/29/2024");
  EXPECT_EQ(Eval("TIME"), "STRING 02:30:05 PM");
  SetEvFormatSettings(PinnedSettings());
}

TEST(ExprFunctions, CopyCountsCharactersAndRefusesFloats) {
  ExpectTable({
      {"COPY('abcdef', 2, 3)", "STRING bcd"},
      {"COPY('abcdef', 0, 2)", "STRING ab"},
      {"COPY('abcdef', 1, 6)", "STRING abcdef"},
      {"COPY('abcdef', 5, 10)", "STRING ef"},
      {"COPY('abcdef', 9, 2)", "STRING "},
      {"COPY('abcdef', 2, 0)", "STRING "},
      {"COPY('abcdef', 2,-1)", "STRING "},
      {"COPY('abc',-3, 2)", "STRING ab"},
      {"COPY('abc', -3, 2)", "ERROR Wrong arguments for COPY"},  // a blank before "-" makes it infix
      {"COPY('äöüß', 2, 2)", "STRING öü"},
      {"COPY('a,b,c', 2, 3)", "STRING ,b,"},
      {"UPPER(COPY('hello', 1, 3))", "STRING HEL"},
      {"COPY('abcdef', 2.0, 3)", "ERROR Wrong arguments for COPY"},
      {"COPY('abcdef', 2, 3.0)", "ERROR Wrong arguments for COPY"},
      {"COPY(123, 1, 1)", "ERROR Wrong arguments for COPY"},
      {"COPY('abc', 1)", "ERROR Wrong arguments for COPY"},
  });
}

TEST(ExprFunctions, BooleanConstants) {
  ExpectTable({
      {"TRUE", "BOOLEAN True"},
      {"FALSE", "BOOLEAN False"},
      {"true()", "BOOLEAN True"},
      {"TRUE(1)", "ERROR Too many arguments"},
      {"FALSE(1, 2)", "ERROR Too many arguments"},
      {"not FALSE", "BOOLEAN True"},
      {"TRUE and FALSE", "BOOLEAN False"},
      {"TRUE or FALSE", "BOOLEAN True"},
  });
}

TEST(ExprFunctions, IntegerAndFractionalParts) {
  ExpectTable({
      {"INT(-2.7)", "INTEGER -2"},
      {"INT(2.9)", "INTEGER 2"},
      {"INT(5)", "INTEGER 5"},
      {"INT(7 / 2)", "INTEGER 3"},
      {"INT(1e12)", "FLOAT 1000000000000"},
      {"INT('a')", "ERROR Wrong arguments for INT"},
      {"INT()", "ERROR Wrong arguments for INT"},
      {"FRAC(-2.75)", "FLOAT -0.75"},
      {"FRAC(2.5)", "FLOAT 0.5"},
      {"FRAC(3)", "FLOAT 0"},
      {"FRAC('x')", "ERROR Wrong arguments for FRAC"},
      {"FRAC(1, 2)", "ERROR Wrong arguments for FRAC"},
  });
}

TEST(ExprFunctions, SquareRootAndIntegerDivision) {
  ExpectTable({
      {"SQRT(16)", "FLOAT 4"},
      {"SQRT(2.25)", "FLOAT 1.5"},
      {"SQRT(0)", "FLOAT 0"},
      {"SQRT(-1)", "ERROR Invalid argument to SQRT function"},
      {"SQRT('x')", "ERROR Invalid argument to SQRT function"},
      {"SQRT(1, 2)", "ERROR Invalid argument to SQRT function"},
      {"DIV(7, 2)", "INTEGER 3"},
      {"DIV(-7, 2)", "INTEGER -3"},
      {"DIV(7.5, 2)", "INTEGER 4"},
      {"DIV(6.5, 2)", "INTEGER 3"},
      {"DIV(7, 0)", "ERROR Division by Zero"},
      {"DIV(7, 0.4)", "ERROR Division by Zero"},
      {"DIV(1e15, 7)", "FLOAT 142857142857142"},
      {"DIV(0 - 2147483647 - 1, 0 - 1)", "FLOAT 2147483648"},
      {"DIV('a', 1)", "ERROR Wrong arguments for DIV"},
      {"DIV(1)", "ERROR Wrong arguments for DIV"},
  });
}

TEST(ExprFunctions, TypeOfNamesTheKindWithoutPassingErrorsOn) {
  ExpectTable({
      {"TYPEOF(1/2)", "STRING FLOAT"},
      {"TYPEOF(1/0)", "STRING ERROR"},
      {"TYPEOF(1)", "STRING INTEGER"},
      {"TYPEOF('a')", "STRING STRING"},
      {"TYPEOF(1 = 1)", "STRING BOOLEAN"},
      {"TYPEOF(2147483647 + 1)", "STRING FLOAT"},
      {"TYPEOF()", "ERROR Wrong arguments for TypeOf"},
  });
}

TEST(ExprFunctions, FormatNumericWritesByTheMask) {
  ExpectTable({
      {"FORMATNUMERIC('0.00', 3.14159)", "STRING 3.14"},
      {"FORMATNUMERIC('#,##0', 1234567)", "STRING 1,234,567"},
      {"FORMATNUMERIC('', 2.5)", "STRING 2.5"},
      {"FORMATNUMERIC('0;(0)', 0 - 5)", "STRING (5)"},
      {"FORMATNUMERIC(1, 2)", "ERROR Wrong arguments for FORMATNUMERIC"},
      {"FORMATNUMERIC('0', 'x')", "ERROR Wrong arguments for FORMATNUMERIC"},
      {"FORMATNUMERIC('0')", "ERROR Wrong arguments for FORMATNUMERIC"},
  });
  // A number whose text would not fit a string value is refused rather than cut.
  const std::string wideMask = "FORMATNUMERIC('," + std::string(250, '0') + "', 1)";
  EXPECT_EQ(Eval(wideMask), "ERROR Invalid format or value specified");
}

TEST(ExprFunctions, NamesAreCaseInsensitiveAndUnknownNamesSaySo) {
  ExpectTable({
      {"sum(1)", "INTEGER 0"},
      {"Upper('x')", "STRING X"},
      {"FOO(1, 2)", "ERROR Unknown function : FOO"},
      {"foo", "ERROR Unknown function : FOO"},
  });
}

TEST(ExprLibrary, BuiltInEntriesInRegistrationOrder) {
  const TQRLibrary& library = QRFunctionLibrary();
  const char* const names[] = {"IF",  "STR",   "UPPER",   "LOWER", "PRETTY", "TIME", "DATE",
                               "COPY", "SUM",  "COUNT",   "MAX",   "MIN",    "AVERAGE", "TRUE",
                               "FALSE", "INT", "FRAC",    "SQRT",  "DIV",    "TYPEOF",  "FORMATNUMERIC"};
  ASSERT_GE(library.Count(), 21);
  for (int i = 0; i < 21; ++i) {
    EXPECT_EQ(library.Entry(i)->Name, names[i]);
    EXPECT_EQ(library.Entry(i)->Vendor, library.Entry(0)->Vendor);
  }
  EXPECT_EQ(library.Find("copy")->Data, "7SNN");
  EXPECT_EQ(library.Find("COPY")->Description, "COPY(<X>, <St>,<Len>)|Returns a substring of string X");
  EXPECT_EQ(library.Find("DIV")->Description, "DIV(<X>, <Y>) | Integer division of <X> by <Y>");
  EXPECT_EQ(library.Find("IF")->Data, "5BVV");
  EXPECT_EQ(library.Entry(library.Count()), nullptr);
  EXPECT_EQ(library.Entry(-1), nullptr);
  EXPECT_EQ(library.Find("NOSUCH"), nullptr);
}

void Twice(const TQREvValue* const* args, int count, TQREvValue& result) {
  if (count != 1 || !args[0]->IsNumeric()) {
    result = TQREvValue::Error("TWICE needs a number");
    return;
  }
  result = args[0]->Kind == vkInteger ? TQREvValue::Integer(args[0]->IntValue * 2)
                                      : TQREvValue::Float(args[0]->FloatValue * 2);
}

void Repeat(const TQREvValue* const* args, int count, TQREvValue& result) {
  std::string text;
  for (int i = 0; i < count; ++i) text += args[i]->Kind == vkString ? args[i]->StrValue : "?";
  for (int i = 0; i < 3; ++i) text += text;
  result = TQREvValue::String(text);  // the library cuts what a function returns
  result.StrValue += std::string(300, 'x');
}

TEST(ExprLibrary, RegisteredFunctionsTakeAnyNumberOfArguments) {
  static const bool registered = [] {
    RegisterEvFunction(Twice, "TWICE", "TWICE(<X>)|Doubles <X>", "2N", "tests");
    RegisterEvFunction(Repeat, "REPEAT", "REPEAT(...)|Repeats its arguments", "7S", "tests");
    return true;
  }();
  ASSERT_TRUE(registered);
  ExpectTable({
      {"TWICE(21)", "INTEGER 42"},
      {"TWICE(1.25) + 1", "FLOAT 3.5"},
      {"TWICE('x')", "ERROR TWICE needs a number"},
      {"REPEAT('a', 'b', 'c', 'd', 'e', 'f')", "STRING " + std::string("abcdef") + "abcdef" + "abcdefabcdef" +
                                                   "abcdefabcdefabcdefabcdef" + std::string(207, 'x')},
  });
}

}  // namespace
}  // namespace rpt::test
