// Bad input: random texts, deep nesting and huge texts all compile and evaluate to a
// value within bounds.
#include <random>

#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

void ExpectSound(const TQREvValue& value, const std::string& expression) {
  ASSERT_LE(value.Kind, vkError) << expression;
  if (value.Kind == vkString || value.Kind == vkError) {
    EXPECT_LE(EvStringLength(value.StrValue), kMaxEvString) << expression;
  }
}

TEST(ExprRobustness, RandomTextsCompileAndEvaluate) {
  // Characters that matter to the compiler, weighted towards its special ones.
  const std::string alphabet = "0123456789+-*/=<>()[]',. aAnNoOrRdDtTeEsSuUmMiIfF#;\xC3\xA4\t";
  const char* const words[] = {"not ", " or ", " and ", "SUM(", "IF(", "COPY(", "COUNT", "TRUE",
                               "STR(", "'x'", "1.5", "DIV(", "FORMATNUMERIC('#,##0', ", "--", ")"};
  std::mt19937 random(20240229);
  TQREvaluator evaluator;
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = static_cast<int>(random() % 40);
    for (int k = 0; k < length; ++k) {
      if (random() % 4 == 0)
        text += words[random() % std::size(words)];
      else
        text += alphabet[random() % alphabet.size()];
    }
    evaluator.Compile(text);
    ExpectSound(evaluator.Value(), text);
    evaluator.Accumulate();
    evaluator.ResetAggregates();
    if (::testing::Test::HasFatalFailure()) return;
  }
}

std::string Repeat(const std::string& text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

// Whole UTF-8 sequences only: a message cut inside a character cannot be shown.
bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

TEST(ExprRobustness, EchoedTextsInErrorsAreCutBetweenCharacters) {
  TQREvaluator evaluator;
  const std::string accents = Repeat("\xC3\xA9", 200);
  for (const std::string& text : {"12" + accents, "1" + accents, "12E" + accents, "(" + accents + "+"}) {
    evaluator.Compile(text);
    const TQREvValue value = evaluator.Value();
    EXPECT_EQ(value.Kind, vkError) << text;
    EXPECT_TRUE(IsUtf8(value.StrValue)) << value.StrValue;
  }
}

TEST(ExprRobustness, NestingAndLengthAreBounded) {
  const std::pair<std::string, std::string> cases[] = {
      {std::string(5000, '(') + "1" + std::string(5000, ')'), "ERROR Expression is nested too deeply"},
      {std::string(100, '(') + "1" + std::string(100, ')'), "INTEGER 1"},
      {Repeat("-(", 1000) + "1" + std::string(1000, ')'), "ERROR Expression is nested too deeply"},
      {Repeat("-(", 101) + "1" + std::string(101, ')'), "INTEGER -1"},
      {"NOT " + std::string(2000, 'N') + "OT 1", "ERROR Invalid use of NOT"},
      {std::string(40000, '1'), "ERROR Expression is too long"},
      {"'" + std::string(40000, 'x') + "'", "ERROR Expression is too long"},
      {std::string(300, '9'), "FLOAT 1E300"},
  };
  for (const auto& [text, expected] : cases) {
    std::string got = Eval(text);
    if (got.size() > 80 && expected.size() > 80) {
      EXPECT_EQ(got.substr(0, 80), expected.substr(0, 80)) << text.substr(0, 40);
    } else {
      EXPECT_EQ(got, expected) << text.substr(0, 40);
    }
  }
  TQREvaluator signs;
  signs.Compile(std::string(3000, '-') + "1");
  ExpectSound(signs.Value(), "3000 minus signs");
  EXPECT_EQ(signs.Value().Kind, vkError);
  // Long but flat chains are fine.
  std::string sum = "1";
  for (int i = 0; i < 400; ++i) sum += " + 1";
  EXPECT_EQ(Eval(sum), "INTEGER 401");
  std::string mixed = "1000";
  for (int i = 0; i < 300; ++i) mixed += i % 2 ? " + 2" : " - 1";
  EXPECT_EQ(Eval(mixed), "INTEGER 1150");
  std::string nested = "1";
  for (int i = 0; i < 200; ++i) nested = "IF(1 = 1, " + nested + ", 0)";
  EXPECT_EQ(Eval(nested), "INTEGER 1");
}

TEST(ExprRobustness, EnvironmentFunctionsCallingEachOtherAreBounded) {
  TQREvEnvironment functions;
  const int count = 1000;
  for (int i = 0; i < count; ++i)
    functions.DefineFunction("F" + std::to_string(i), i + 1 < count ? "F" + std::to_string(i + 1) + " + 1" : "0");
  functions.Compile();
  EXPECT_EQ(Eval("F900", nullptr, &functions), "INTEGER 99");
  EXPECT_EQ(Eval("F0", nullptr, &functions), "ERROR Expression is nested too deeply");
  // Deep expressions take more of the budget than shallow ones.
  functions.DefineFunction("DEEP", std::string(240, '(') + "F990" + std::string(240, ')'));
  EXPECT_EQ(Eval("DEEP", nullptr, &functions), "INTEGER 9");
  functions.DefineFunction("DEEPER", std::string(240, '(') + "F700" + std::string(240, ')'));
  EXPECT_EQ(Eval("F700", nullptr, &functions), "INTEGER 299");
  EXPECT_EQ(Eval("DEEPER", nullptr, &functions), "ERROR Expression is nested too deeply");
  EXPECT_EQ(Eval("DEEP + F700", nullptr, &functions), "INTEGER 308");  // side by side, not nested
  functions.Discard();
}

}  // namespace
}  // namespace rpt::test
