// Environments: the report's Functions with its constants, the global environment,
// lookups through local and global names, recursion, counting, and streaming.
#include "data/DBTables.h"
#include "objects/Filer.h"
#include "objects/StreamText.h"
#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

// The report's environment as the report makes it.
void DefineReportConstants(TQREvEnvironment& functions) {
  functions.DefineFunction("PAGENUMBER", "0");
  functions.DefineFunction("COLUMNNUMBER", "0");
  functions.DefineFunction("REPORTTITLE", "''");
}

TEST(ExprEnvironment, ReportConstantsChangeAsGenerationProceeds) {
  TQREvEnvironment functions;
  DefineReportConstants(functions);
  EXPECT_FALSE(functions.FindConstantElement("PAGENUMBER"));  // not compiled yet
  GlobalEvEnvironment()->Compile();
  functions.Compile();
  const TQREvElement page = functions.FindConstantElement("PAGENUMBER");
  const TQREvElement column = functions.FindConstantElement("columnnumber");
  const TQREvElement title = functions.FindConstantElement("REPORTTITLE");
  ASSERT_TRUE(page && column && title);
  TQREvEnvironment::AssignString(title, "Sales by month");

  TQREvaluator footer;
  footer.SetLocalEnvironment(&functions);
  footer.Compile("REPORTTITLE + ' - page ' + STR(PAGENUMBER) + '/' + STR(COLUMNNUMBER)");
  for (int32_t n = 1; n <= 3; ++n) {
    TQREvEnvironment::AssignInteger(page, n);
    TQREvEnvironment::AssignInteger(column, n + 10);
    EXPECT_EQ(Describe(footer.Value()), "STRING Sales by month - page " + std::to_string(n) + "/" +
                                            std::to_string(n + 10));
  }
  // Only a constant takes a number, only a string literal a text.
  TQREvEnvironment::AssignInteger(title, 5);
  TQREvEnvironment::AssignString(page, "x");
  EXPECT_EQ(Describe(functions.ValueOf("REPORTTITLE")), "STRING Sales by month");
  EXPECT_EQ(Describe(functions.ValueOf("PAGENUMBER")), "INTEGER 3");
  TQREvEnvironment::AssignValue(page, TQREvValue::Float(2.5));
  TQREvEnvironment::AssignValue(title, TQREvValue::Integer(7));  // a string element takes only strings
  TQREvEnvironment::AssignValue(title, TQREvValue::String("New title"));
  EXPECT_EQ(Describe(functions.ValueOf("pagenumber")), "FLOAT 2.5");
  EXPECT_EQ(Describe(functions.ValueOf("REPORTTITLE")), "STRING New title");
  EXPECT_EQ(Describe(functions.ValueOf("NOSUCH")), "ERROR Unknown function : NOSUCH");

  footer.Discard();
  functions.Discard();
  GlobalEvEnvironment()->Discard();
  EXPECT_FALSE(functions.Compiled());
  EXPECT_FALSE(functions.FindConstantElement("PAGENUMBER"));
}

TEST(ExprEnvironment, DefinitionsKeepTheFirstExpressionAndCompileWhenCompiled) {
  TQREvEnvironment functions;
  functions.DefineFunction("rate", "0.2");
  functions.DefineFunction("RATE", "0.5");
  EXPECT_EQ(functions.FunctionCount(), 1);
  EXPECT_EQ(functions.Strings(0), "RATE");
  functions.Compile();
  functions.DefineFunction("GROSS", "100 * (1 + RATE)");
  EXPECT_TRUE(functions.Function(1)->Evaluator().Compiled());
  EXPECT_EQ(Describe(functions.ValueOf("GROSS")), "FLOAT 120");
  functions.RemoveFunction("rate");
  EXPECT_EQ(functions.FunctionCount(), 1);
  EXPECT_EQ(functions.Strings(0), "GROSS");
  functions.ClearFunctions();
  EXPECT_EQ(functions.Count(), 0);
  EXPECT_EQ(functions.FunctionCount(), 0);
  functions.Discard();
}

TEST(ExprEnvironment, CompilingIsCounted) {
  TQREvEnvironment functions;
  functions.DefineFunction("X", "1");
  functions.Compile();
  functions.Compile();
  functions.Discard();
  EXPECT_TRUE(functions.Compiled());
  EXPECT_EQ(Describe(functions.ValueOf("X")), "INTEGER 1");
  functions.Discard();
  EXPECT_FALSE(functions.Compiled());
  functions.Discard();  // one too many is harmless
  EXPECT_EQ(functions.CompileCount(), 0);
  // An entry that was never compiled gives an error value, not an exception.
  EXPECT_EQ(Describe(functions.ValueOf("X")), "ERROR Evaluator not prepared");
}

TEST(ExprEnvironment, SelfAndMutualRecursionAreErrorValues) {
  TQREvEnvironment functions;
  functions.DefineFunction("LOOP", "LOOP + 1");
  functions.DefineFunction("PING", "PONG + 1");
  functions.DefineFunction("PONG", "PING * 2");
  functions.DefineFunction("OK", "PONG2 + 1");
  functions.DefineFunction("PONG2", "41");
  functions.Compile();
  ExpectTable({
                  {"LOOP", "ERROR Recursive calls not allowed"},
                  {"PING", "ERROR Recursive calls not allowed"},
                  {"OK", "INTEGER 42"},
                  {"OK + LOOP", "ERROR Recursive calls not allowed"},
              },
              nullptr, &functions);
  functions.Discard();
}

TEST(ExprEnvironment, LocalNamesComeFirstThenGlobalOnes) {
  TQREvEnvironment functions;
  functions.DefineFunction("APPNAME", "'local name'");
  functions.DefineFunction("LOCALONLY", "AppStartDate + '!'");
  functions.Compile();
  ExpectTable({
                  {"AppName", "STRING local name"},
                  {"LOCALONLY", "STRING 2024-02-29!"},
                  {"[AppStartTime]", "STRING 14:30:05"},
              },
              nullptr, &functions);
  functions.Discard();
  ExpectTable({
      {"AppName", "STRING Expression Tests"},
      {"APPSTARTDATE", "STRING 2024-02-29"},
      {"appstarttime()", "STRING 14:30:05"},
  });
  EXPECT_GE(GlobalEvEnvironment()->FunctionCount(), 3);
  EXPECT_EQ(GlobalEvEnvironment()->Strings(0), "APPSTARTTIME");
}

TEST(ExprEnvironment, EvaluatorsCountTheGlobalEnvironment) {
  TQREvEnvironment* global = GlobalEvEnvironment();
  TQREvaluator a, b;
  a.Compile("1");
  const int afterA = global->CompileCount();
  EXPECT_TRUE(global->Compiled());
  b.Compile("2");
  EXPECT_EQ(global->CompileCount(), afterA + 1);
  b.Compile("3");  // a new compilation discards the old one first
  EXPECT_EQ(global->CompileCount(), afterA + 1);
  b.Discard();
  EXPECT_EQ(global->CompileCount(), afterA);
  a.Discard();
  EXPECT_EQ(global->CompileCount(), afterA - 1);
}

// A component that publishes an environment, as the report publishes Functions.
class TEnvironmentHolder : public TComponent {
  RPT_CLASS(TEnvironmentHolder, TComponent)
  TEnvironmentHolder() : FFunctions(new TQREvEnvironment) {}
  TQREvEnvironment* Functions() const { return FFunctions; }
  void SetFunctions(TQREvEnvironment* value) { FFunctions->AssignFrom(value); }

 protected:
  void Destroy() override {
    FFunctions->Free();
    TComponent::Destroy();
  }

 private:
  TQREvEnvironment* FFunctions;
};

RPT_BEGIN_CLASS(TEnvironmentHolder, TComponent)
  c.Property("Functions", &TEnvironmentHolder::Functions, &TEnvironmentHolder::SetFunctions);
RPT_END_CLASS

TEST(ExprEnvironment, StreamsNamesAndExpressionsAndReadsThemBack) {
  RegisterStreamClass(TEnvironmentHolder::StaticClass());
  TOwnedPtr<TEnvironmentHolder> holder(TComponent::Create<TEnvironmentHolder>(nullptr));
  holder->SetName("Report1");
  DefineReportConstants(*holder->Functions());
  holder->Functions()->DefineFunction("NET", "[Amount] / 1.2");
  TMemoryStream stream;
  SaveComponent(stream, holder.get());
  const std::string text = DumpStream(stream.Data());
  EXPECT_NE(text.find("PAGENUMBER"), std::string::npos) << text;
  EXPECT_NE(text.find("Functions.DATA"), std::string::npos) << text;
  EXPECT_NE(text.find("[Amount] / 1.2"), std::string::npos) << text;

  stream.SetPosition(0);
  TOwnedPtr<TEnvironmentHolder> loaded(TComponent::Create<TEnvironmentHolder>(nullptr));
  LoadComponent(stream, loaded.get());
  TQREvEnvironment& functions = *loaded->Functions();
  ASSERT_EQ(functions.FunctionCount(), 4);
  EXPECT_EQ(functions.Strings(3), "NET");
  EXPECT_EQ(functions.Function(3)->Expression(), "[Amount] / 1.2");
  EXPECT_EQ(functions.Function(2)->Expression(), "''");
  functions.Compile();
  EXPECT_EQ(Describe(functions.ValueOf("PAGENUMBER")), "INTEGER 0");
  functions.Discard();

  // An empty environment still writes its (empty) DATA list.
  loaded->Functions()->ClearFunctions();
  TMemoryStream empty;
  SaveComponent(empty, loaded.get());
  EXPECT_NE(DumpStream(empty.Data()).find("Functions.DATA"), std::string::npos);
}

TEST(ExprEnvironment, AssignCopiesEntriesAndEditingTheNameListKeepsFunctions) {
  TQREvEnvironment source;
  DefineReportConstants(source);
  source.DefineFunction("TAX", "0.19");
  TQREvEnvironment copy;
  copy.DefineFunction("OLD", "1");
  copy.AssignFrom(&source);
  ASSERT_EQ(copy.FunctionCount(), 4);
  EXPECT_EQ(copy.FindFunction("tax")->Expression(), "0.19");
  EXPECT_EQ(copy.FindFunction("OLD"), nullptr);
  // Lines deleted through the string list take their functions with them.
  copy.Delete(0);
  ASSERT_EQ(copy.FunctionCount(), 3);
  EXPECT_EQ(copy.Function(0)->Expression(), "0");
  EXPECT_EQ(copy.Strings(0), "COLUMNNUMBER");
  EXPECT_EQ(copy.FindFunction("TAX")->Expression(), "0.19");
  copy.Clear();
  EXPECT_EQ(copy.FunctionCount(), 0);
}

TEST(ExprEnvironment, FunctionsSeeTheEnvironmentsDatasets) {
  TScratchDatabases databases;
  databases.Run("env", "CREATE TABLE t (n INTEGER); INSERT INTO t VALUES (5); INSERT INTO t VALUES (7);");
  TOwnedPtr<TTable> table(TComponent::Create<TTable>(nullptr));
  table->SetDatabaseName("env");
  table->SetTableName("t");
  table->Open();
  TDataSetList list{table.get()};
  TQREvEnvironment functions;
  functions.SetDataSetList(&list);
  functions.DefineFunction("DOUBLED", "n * 2");
  functions.Compile();
  TQREvaluator evaluator;
  evaluator.SetDataSetList(&list);
  evaluator.SetLocalEnvironment(&functions);
  evaluator.Compile("DOUBLED + n");
  std::vector<std::string> values;
  for (table->First(); !table->Eof(); table->Next()) values.push_back(Describe(evaluator.Value()));
  EXPECT_EQ(values, (std::vector<std::string>{"INTEGER 15", "INTEGER 21"}));
  evaluator.Discard();
  functions.Discard();
  // The environment's own list, made on first use, is replaced by one set from outside.
  TQREvEnvironment other;
  TDataSetList* owned = other.DataSetList();
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(other.DataSetList(), owned);
  other.SetDataSetList(&list);
  EXPECT_EQ(other.DataSetList(), &list);
}

}  // namespace
}  // namespace rpt::test
