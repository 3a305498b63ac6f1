#include "tests/expr/ExprTestSupport.h"

#include "tests/support/SqliteExec.h"
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace rpt::test {

namespace {

std::time_t FixedClock() { return kTestNow; }

// Before any test: the evaluator's global environment takes its start time, date and
// title when first used, so everything is pinned before that.
class TPinnedEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    SetEvFormatSettings(PinnedSettings());
    SetEvClock(FixedClock);
    SetEvApplicationTitle("Expression Tests");
  }
};

[[maybe_unused]] ::testing::Environment* const gPinned = ::testing::AddGlobalTestEnvironment(new TPinnedEnvironment);

}  // namespace

TFormatSettings PinnedSettings() {
  TFormatSettings settings;
  settings.DecimalSeparator = ".";
  settings.ThousandSeparator = ",";
  settings.ShortDateFormat = "%Y-%m-%d";
  settings.LongTimeFormat = "%H:%M:%S";
  settings.LocaleName = "C";
  return settings;
}

std::string Describe(const TQREvValue& value) {
  std::string text;
  switch (value.Kind) {
    case vkInteger: text = std::to_string(value.IntValue); break;
    case vkFloat: text = FormatGeneralFloat(value.FloatValue); break;
    case vkBoolean: text = value.BoolValue ? "True" : "False"; break;
    case vkString:
    case vkError: text = value.StrValue; break;
  }
  return std::string(EvValueKindName(value.Kind)) + " " + text;
}

std::string Eval(std::string_view expression, TDataSetList* dataSets, TQREvEnvironment* environment) {
  TQREvaluator evaluator;
  evaluator.SetDataSetList(dataSets);
  evaluator.SetLocalEnvironment(environment);
  evaluator.Compile(expression);
  return Describe(evaluator.Value());
}

void ExpectTable(const std::vector<TCase>& cases, TDataSetList* dataSets, TQREvEnvironment* environment) {
  for (const TCase& c : cases)
    EXPECT_EQ(Eval(c.Expression, dataSets, environment), c.Expected) << "expression: " << c.Expression;
}

TScratchDatabases::TScratchDatabases() {
  char pattern[] = "/tmp/rpt-expr-test.XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) throw std::runtime_error("mkdtemp failed");
  FPath = made;
  setenv("RPT_DATA_DIR", FPath.c_str(), 1);
  setenv("RPT_ALIAS_FILE", (FPath + "/aliases.ini").c_str(), 1);
}

TScratchDatabases::~TScratchDatabases() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}

void TScratchDatabases::Run(const std::string& alias, const std::string& sql) const {
  RunSqlite(FPath + "/" + alias + ".db", sql);
}

}  // namespace rpt::test
