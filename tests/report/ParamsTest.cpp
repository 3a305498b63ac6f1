// Report parameters: values parsed by type, bound to the report's queries as values,
// read by expressions, computed from defaults, and stored only when declared.
#include <ctime>

#include "expr/QRExpr.h"
#include "output/QRPrinter.h"
#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

using Texts = std::vector<std::string>;

TEST(ParamValues, EachTypeParsesItsTextAndRefusesOthers) {
  TQREvValue v;
  std::string error;
  ASSERT_TRUE(ParseParamValue(ptString, " O'Brien ", v, error));
  EXPECT_EQ(v, TQREvValue::String(" O'Brien "));
  ASSERT_TRUE(ParseParamValue(ptInteger, " -42", v, error));
  EXPECT_EQ(v, TQREvValue::Integer(-42));
  ASSERT_TRUE(ParseParamValue(ptFloat, "2.5e1", v, error));
  EXPECT_EQ(v, TQREvValue::Float(25));
  ASSERT_TRUE(ParseParamValue(ptDate, "2024-02-29", v, error));
  EXPECT_EQ(v, TQREvValue::String("2024-02-29"));
  ASSERT_TRUE(ParseParamValue(ptBoolean, "Yes", v, error));
  EXPECT_EQ(v, TQREvValue::Boolean(true));
  ASSERT_TRUE(ParseParamValue(ptBoolean, "0", v, error));
  EXPECT_EQ(v, TQREvValue::Boolean(false));
  const std::pair<TQRParamType, const char*> wrong[] = {
      {ptInteger, "12x"}, {ptInteger, "3000000000"}, {ptInteger, ""},   {ptFloat, "1,5"},
      {ptFloat, "inf"},   {ptDate, "2023-02-29"},    {ptDate, "24-1-1"}, {ptBoolean, "maybe"}};
  for (const auto& [type, text] : wrong) {
    error.clear();
    EXPECT_FALSE(ParseParamValue(type, text, v, error)) << text;
    EXPECT_NE(error.find(std::string("'") + text + "'"), std::string::npos) << error;
  }
  EXPECT_TRUE(IsValidParamName("FROM_2"));
  EXPECT_FALSE(IsValidParamName("2FROM"));
  EXPECT_FALSE(IsValidParamName("a-b"));
}

std::time_t FixedClock() {
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 4, t.tm_mday = 17, t.tm_hour = 12;
  return std::mktime(&t);
}

TEST(ParamValues, DefaultsAreExpressionsAndAMissingValueNamesItsParameter) {
  SetEvClock(FixedClock);
  TQRParameters params;
  auto add = [&](const char* name, TQRParamType type, const char* def) {
    TQRParameter* p = params.AddParameter();
    p->SetName(name), p->SetDataType(type), p->SetDefault(def);
  };
  add("From", ptDate, "MONTHSTART");
  add("Till", ptDate, "TODAY");
  add("Label", ptString, "'since ' + FROM");
  add("Top", ptInteger, "2 * 5");
  add("Rate", ptFloat, "3");
  std::vector<TQRParamValue> values = ResolveParamValues(params, {{"TOP", "7"}, {"EXTRA", "x"}});
  SetEvClock(nullptr);
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[0].Value, TQREvValue::String("2024-05-01"));
  EXPECT_EQ(values[1].Value, TQREvValue::String("2024-05-17"));
  EXPECT_EQ(values[2].Value, TQREvValue::String("since 2024-05-01"));
  EXPECT_EQ(values[3].Value, TQREvValue::Integer(7));  // the given value wins
  EXPECT_EQ(values[4].Value, TQREvValue::Float(3));
  EXPECT_EQ(values[5].Name, "EXTRA");                   // undeclared: a string
  EXPECT_EQ(values[5].Value, TQREvValue::String("x"));

  const auto failure = [&](const TQRParamTexts& given) {
    try {
      ResolveParamValues(params, given);
    } catch (const EQRError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(failure({{"TOP", "many"}}), "Parameter Top: 'many' is not an integer");
  params.Parameter(3)->SetDefault("'ten'");
  EXPECT_EQ(failure({}), "Parameter Top: the default 'ten' gives no integer value: its value is of type STRING");
  params.Parameter(3)->SetDefault("");
  EXPECT_EQ(failure({}), "Parameter Top has no value");
}

class ParamsRun : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE orders(id INTEGER PRIMARY KEY, country TEXT, day DATE);"
        "CREATE TABLE lines(id INTEGER PRIMARY KEY, order_id INTEGER, qty INTEGER, product TEXT);"
        "INSERT INTO orders VALUES (1,'Austria','2024-01-05'),(2,'Austria','2024-07-01'),"
        "(3,'Chile','2024-02-01'),(4,'O''Brien','2024-03-01'),(5,'Austria','2024-06-30');"
        "INSERT INTO lines VALUES (1,1,5,'bolt'),(2,1,50,'nut'),(3,5,60,'gear'),(4,5,1,'pin');");
    Orders = Query("select id, country from orders where country = :Country and day between :From and :Till "
                   "order by id");
    Orders->Open();
    Report->SetDataSet(Orders);
    Report->SetPrintIfEmpty(false);
    Report->Functions()->DefineFunction("ORDERID", "id");
    TQRBand* detail = Band(rbDetail, "Order", 8);
    Field(detail, "Id", Orders, "id", 0);
    Expr(detail, "Where", "COUNTRY + '/' + PARAM('Till')", 40);
    Lines = Query("select product from lines where order_id = :orderid and qty >= :MinQty order by id");
    Lines->Open();
    auto* sub = Add<TQRSubDetail>("Lines");
    sub->SetDataSet(Lines);
    sub->SetPrintIfEmpty(false);
    sub->Size()->SetHeight(6);
    Field(sub, "Product", Lines, "product", 20);
    auto add = [&](const char* name, TQRParamType type, const char* def) {
      TQRParameter* p = Report->Parameters()->AddParameter();
      p->SetName(name), p->SetDataType(type), p->SetDefault(def);
    };
    add("Country", ptString, "");
    add("From", ptDate, "'2024-01-01'");
    add("Till", ptDate, "'2024-06-30'");
    add("MinQty", ptInteger, "10");
  }
  TQuery* Orders = nullptr;
  TQuery* Lines = nullptr;
};

TEST_F(ParamsRun, ValuesAreBoundInMasterAndDetailQueriesAndReadByExpressions) {
  const int functions = Report->Functions()->FunctionCount();
  Report->SetParamTexts({{"COUNTRY", "Austria"}});
  EXPECT_EQ(Flat(Run()), (Texts{"1", "Austria/2024-06-30", "nut", "5", "Austria/2024-06-30", "gear"}));
  Report->SetParamTexts({{"COUNTRY", "Austria"}, {"FROM", "2024-06-01"}, {"TILL", "2024-12-31"}, {"MINQTY", "1"}});
  EXPECT_EQ(Flat(Run()), (Texts{"2", "Austria/2024-12-31", "5", "Austria/2024-12-31", "gear", "pin"}));
  // A value is a value: quotes in it find only a country of that name.
  Report->SetParamTexts({{"COUNTRY", "x' OR 'a'='a"}});
  EXPECT_EQ(Flat(Run()), Texts{});
  Report->SetParamTexts({{"COUNTRY", "O'Brien"}});
  EXPECT_EQ(Flat(Run()), (Texts{"4", "O'Brien/2024-06-30"}));
  // No value and no default: the pass stops naming the parameter, and the report's
  // functions are as they were designed.
  Report->SetParamTexts({});
  try {
    Run();
    ADD_FAILURE() << "the pass ran without a country";
  } catch (const EQRError& e) {
    EXPECT_STREQ(e.what(), "Parameter Country has no value");
  }
  EXPECT_EQ(Report->Functions()->FunctionCount(), functions);
  EXPECT_EQ(Report->Functions()->FindFunction("COUNTRY"), nullptr);
}

TEST_F(ParamsRun, UndeclaredSqlNamesAreListedAndTakeStrings) {
  Report->Parameters()->Delete(0);
  EXPECT_EQ(Report->UndeclaredSqlParams(), Texts{"Country"});
  Report->SetParamTexts({{"COUNTRY", "Chile"}});
  EXPECT_EQ(Flat(Run()), (Texts{"3", "Chile/2024-06-30"}));
}

TEST_F(ParamsRun, ParametersAreStoredOnlyWhenDeclared) {
  const std::string with = Save();
  TRoomyReport* loaded = Load(with);
  ASSERT_EQ(loaded->Parameters()->Count(), 4);
  EXPECT_EQ(loaded->Parameters()->Parameter(3)->Name(), "MinQty");
  EXPECT_EQ(loaded->Parameters()->Parameter(3)->DataType(), ptInteger);
  EXPECT_EQ(loaded->Parameters()->Parameter(2)->Default(), "'2024-06-30'");
  loaded->Free();
  Report->Parameters()->Clear();
  EXPECT_EQ(Save().find("Parameters"), std::string::npos);
  EXPECT_NE(with.find("Parameters"), std::string::npos);
}

TEST(ParamExpressions, ParamNeedsADeclaredNameInQuotes) {
  TQREvEnvironment environment;
  environment.DefineFunction("REGION", "'North'");
  environment.Compile();
  TQREvaluator evaluator;
  evaluator.SetLocalEnvironment(&environment);
  const auto value = [&](const char* text) {
    evaluator.Compile(text);
    return evaluator.Value();
  };
  EXPECT_EQ(value("PARAM('region')"), TQREvValue::String("North"));
  EXPECT_EQ(value("param( 'REGION' ) + '!'"), TQREvValue::String("North!"));
  EXPECT_EQ(value("PARAM('Elsewhere')"), TQREvValue::Error("Unknown parameter : ELSEWHERE"));
  EXPECT_EQ(value("PARAM(REGION)"), TQREvValue::Error("PARAM takes the name of a parameter in quotes"));
}

}  // namespace
}  // namespace rpt::test
