// The language: precedence and grouping, operators over each kind and kind mixing,
// constants, and what malformed texts compile to.
#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

TEST(ExprPrecedence, ChainsGroupLeftToRightAndOperatorsBindByLevel) {
  ExpectTable({
      {"1 + 2 * 3", "INTEGER 7"},
      {"(1 + 2) * 3", "INTEGER 9"},
      {"7 / 2", "FLOAT 3.5"},
      {"10 - 2 - 3", "INTEGER 5"},
      {"10 - 2 + 3", "INTEGER 11"},
      {"10-2-3-1", "INTEGER 4"},
      {"10-2+3-1", "INTEGER 10"},
      {"1-2-3+4-5+6", "INTEGER 1"},
      {"8 / 2 * 2", "FLOAT 8"},
      {"100/10/5", "FLOAT 2"},
      {"100/10*5/2", "FLOAT 25"},
      {"2*3/4*2", "FLOAT 3"},
      {"5--2", "INTEGER 7"},
      {"-(2 + 3)", "INTEGER -5"},
      {"- 3 + 1", "INTEGER -2"},
      {"+5", "INTEGER 5"},
      {"-2.5", "FLOAT -2.5"},
      {"((((1))))", "INTEGER 1"},
      {"2 * (3 + 4) - (10 - 4) / 3", "FLOAT 12"},
      // "or" and "and" group to the right of "+" and "*".
      {"1 + 2 or 1", "INTEGER 4"},
      {"2 * 3 and 1", "INTEGER 2"},
      {"5 and 3", "INTEGER 1"},
      {"5 or 2", "INTEGER 7"},
      {"5 OR 2", "INTEGER 7"},
      {"(1 = 1) and (2 = 2)", "BOOLEAN True"},
      {"(1 = 2) AND (1 = 1)", "BOOLEAN False"},
      {"(1 = 2) or (1 = 1)", "BOOLEAN True"},
      // Operators inside strings, brackets and parentheses do not split.
      {"'a+b' + 'c-d'", "STRING a+bc-d"},
      {"'x or y'", "STRING x or y"},
      {"'1 < 2'", "STRING 1 < 2"},
  });
}

TEST(ExprPrecedence, ComparisonsTakeOnePerTextAndTheBlankBeforeAMinusMatters) {
  ExpectTable({
      {"2 > 1", "BOOLEAN True"},
      {"1 < 2", "BOOLEAN True"},
      {"2 <= 2", "BOOLEAN True"},
      {"3 >= 4", "BOOLEAN False"},
      {"1 <> 2", "BOOLEAN True"},
      {"1 = 1.0", "BOOLEAN True"},
      {"2.5 = 2.5", "BOOLEAN True"},
      {"1 + 1 = 2", "BOOLEAN True"},
      {"2 > 1 > 0", "ERROR Illegal character in numeric contant \"1 > 0\""},
      {"3 > -1", "ERROR Error in expression : "},
      {"3 >-1", "BOOLEAN True"},
      {"not (1 = 1)", "BOOLEAN False"},
      {"not(1=2)", "BOOLEAN True"},
      {"NOT (1 = 2)", "BOOLEAN True"},
      {"not 5", "ERROR Invalid use of NOT"},
      {"not", "ERROR Invalid use of NOT"},
  });
}

TEST(ExprOperators, EachKindAndEachMix) {
  ExpectTable({
      {"'a' < 'b'", "BOOLEAN True"},
      {"'b' > 'a'", "BOOLEAN True"},
      {"'A' = 'a'", "BOOLEAN False"},
      {"'abc' <> 'abc'", "BOOLEAN False"},
      {"'a' + 'b' + 'c'", "STRING abc"},
      {"'ab' - 'b'", "ERROR Cannot subtract string expressions"},
      {"'a' * 'b'", "ERROR Cannot multiply string expressions"},
      {"'a' / 'b'", "ERROR Cannot divide string expressions"},
      {"'a' or 'b'", "ERROR Operator OR is not compatible with string expressions"},
      {"'a' and 'b'", "ERROR Operator AND is not compatible with string expressions"},
      {"1.5 or 2", "ERROR Operator OR is not compatible with numeric expressions"},
      {"1.5 and 1.5", "ERROR Operator AND is not compatible with numeric expressions"},
      {"(1=1) + (1=1)", "ERROR Cannot add boolean expressions"},
      {"(1=1) - (1=1)", "ERROR Cannot subtract boolean expressions"},
      {"(1=1) * (1=1)", "ERROR Cannot multiply boolean expressions"},
      {"(1=1) / (1=1)", "ERROR Cannot divide boolean expressions"},
      {"(1=1) < (1=2)", "ERROR Operator < is not compatible with boolean expressions"},
      {"(1=1) >= (1=2)", "ERROR Operator >= is not compatible with boolean expressions"},
      {"(1=1) = (2=2)", "BOOLEAN True"},
      {"(1=1) <> (2=2)", "BOOLEAN False"},
      // Integers with floats are floats; any other mix is text.
      {"1 + 2.5", "FLOAT 3.5"},
      {"3 * 0.5", "FLOAT 1.5"},
      {"1 + 'x'", "STRING 1x"},
      {"'x' + 2.5", "STRING x2.5"},
      {"True + 1", "STRING True1"},
      {"(1 = 1) = 'True'", "BOOLEAN True"},
      {"'10' < 9", "BOOLEAN True"},
      {"'a' * 2", "ERROR Cannot multiply string expressions"},
      // Division.
      {"7 / 0", "ERROR Cannot divide by 0"},
      {"7.5 / 0.0", "ERROR Cannot divide by 0"},
      {"6 / 3", "FLOAT 2"},
      // Both operands are evaluated; the left error wins.
      {"1/0 + 'x'", "ERROR Cannot divide by 0"},
      {"UNKNOWN1 + 1/0", "ERROR Unknown function : UNKNOWN1"},
      {"1 + 1/0", "ERROR Cannot divide by 0"},
  });
}

TEST(ExprOperators, IntegerArithmeticLeavingThirtyTwoBitsBecomesFloat) {
  ExpectTable({
      {"2147483647 + 0", "INTEGER 2147483647"},
      {"2147483647 + 1", "FLOAT 2147483648"},
      {"0 - 2147483647 - 2", "FLOAT -2147483649"},
      {"65536 * 65536", "FLOAT 4294967296"},
      {"-65536 * 65536", "FLOAT -4294967296"},
      {"46340 * 46340", "INTEGER 2147395600"},
      {"2147483647 * 2 / 2", "FLOAT 2147483647"},
  });
}

TEST(ExprConstants, NumbersStringsAndTheEmptyText) {
  ExpectTable({
      {"42", "INTEGER 42"},
      {"007", "INTEGER 7"},
      {"2147483647", "INTEGER 2147483647"},
      {"2147483648", "FLOAT 2147483648"},
      {"99999999999", "FLOAT 99999999999"},
      {"2.5", "FLOAT 2.5"},
      {"1.", "FLOAT 1"},
      {"1e3", "FLOAT 1000"},
      {"1E3", "FLOAT 1000"},
      {"0.1 + 0.2", "FLOAT 0.3"},
      {"1.2.3", "ERROR Illegal character in numeric contant \"1.2.3\""},
      {"1.5e", "ERROR Illegal character in numeric contant \"1.5e\""},
      {"12abc", "ERROR Illegal character in numeric contant \"12abc\""},
      {"1e999", "ERROR Illegal character in numeric contant \"1e999\""},
      {"'it''s'", "STRING it''s"},
      {"''", "STRING "},
      {"'  padded  '", "STRING   padded  "},
      {"", "STRING  "},
      {"   ", "ERROR Error in expression : "},
  });
}

TEST(ExprMalformed, EveryTextCompilesToAValueOrAnErrorWithItsMessage) {
  ExpectTable({
      {"'abc", "ERROR Missing '"},
      {"'", "ERROR Missing '"},
      {"(1 + 2", "ERROR Missing )"},
      {"(", "ERROR Missing )"},
      {"[Name", "ERROR Missing ]"},
      {"[", "ERROR Missing ]"},
      {"#", "ERROR Error in expression : #"},
      {"1 +", "ERROR Illegal character in numeric contant \"1 +\""},
      {"* 2", "ERROR Error in expression : * 2"},
      {"1 + * 2", "ERROR Error in expression : "},
      {"()", "ERROR Error in expression : "},
      {"2*-3", "ERROR Illegal character in numeric contant \"2*\""},
      {"UNKNOWNNAME", "ERROR Unknown function : UNKNOWNNAME"},
      {"[unknown field]", "ERROR Unknown function : unknown field"},
      {"FOO(1)", "ERROR Unknown function : FOO"},
      {"FOO()", "ERROR Unknown function : FOO"},
      {"SUM(1", "ERROR Unknown function : "},
      {"€", "ERROR Error in expression : €"},
  });
}

TEST(ExprNames, NotIsAnOperatorOnlyAsAWordOfItsOwn) {
  // Names that start with the letters "not" are names (environment names here).
  TQREvEnvironment environment;
  environment.DefineFunction("NOTES", "'a note'");
  environment.DefineFunction("NOTHING", "41");
  environment.DefineFunction("FLAG", "1 = 1");
  environment.Compile();
  ExpectTable({
                  {"NOTES", "STRING a note"},
                  {"NOTHING + 1", "INTEGER 42"},
                  {"notes + '!'", "STRING a note!"},
                  {"not FLAG", "BOOLEAN False"},
                  {"not(FLAG)", "BOOLEAN False"},
                  {"not [FLAG]", "BOOLEAN False"},
                  {"NOT_A_NAME", "ERROR Unknown function : NOT_A_NAME"},
              },
              nullptr, &environment);
  environment.Discard();
}

TEST(ExprEvaluator, CompileOnceEvaluateOftenAndDiscard) {
  TQREvaluator evaluator;
  EXPECT_FALSE(evaluator.Compiled());
  TQREvValue value;
  try {
    evaluator.GetResult(value);
    ADD_FAILURE() << "GetResult before Compile did not throw";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Evaluator not prepared");
  }
  evaluator.Compile("UPPER('a') + STR(1 + 1)");
  EXPECT_TRUE(evaluator.Compiled());
  for (int i = 0; i < 3; ++i) {
    evaluator.GetResult(value);
    EXPECT_EQ(Describe(value), "STRING A2");
  }
  evaluator.Compile("2 * 3");  // a new compilation replaces the old one
  EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 6");
  evaluator.Discard();
  EXPECT_FALSE(evaluator.Compiled());
  EXPECT_THROW(evaluator.Value(), Exception);
}

TEST(ExprEvaluator, ValueToStringFollowsTheKindAndRaisesForErrors) {
  EXPECT_EQ(EvValueToString(TQREvValue::Integer(-12)), "-12");
  EXPECT_EQ(EvValueToString(TQREvValue::Float(1.0 / 3)), "0.333333333333333");
  EXPECT_EQ(EvValueToString(TQREvValue::String("text")), "text");
  EXPECT_EQ(EvValueToString(TQREvValue::Boolean(false)), "False");
  try {
    EvValueToString(TQREvValue::Error("Cannot divide by 0"));
    ADD_FAILURE() << "no exception for an error value";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Error in expression : Cannot divide by 0");
  }
}

TEST(ExprEvaluator, ProgramIsPrefixOrder) {
  TQREvaluator evaluator;
  evaluator.Compile("1 + 2 * 3");
  EXPECT_EQ(evaluator.ProgramText(),
            "operator +\n"
            "  constant INTEGER 1\n"
            "  operator *\n"
            "    constant INTEGER 2\n"
            "    constant INTEGER 3\n");
  evaluator.Compile("IF(1 = 1, 'a', 'b')");
  EXPECT_EQ(evaluator.ProgramText(),
            "function IF (3 arguments)\n"
            "  operator =\n"
            "    constant INTEGER 1\n"
            "    constant INTEGER 1\n"
            "  string 'a'\n"
            "  string 'b'\n");
}

}  // namespace
}  // namespace rpt::test
