// Fields and aggregates over a small SQLite dataset: field kinds, NULLs, qualified
// names, accumulation and reset, and fields that change under a compiled expression.
#include <memory>

#include "data/DBTables.h"
#include "tests/expr/ExprTestSupport.h"

namespace rpt::test {
namespace {

class ExprDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDatabases.Run("shop", R"sql(
      CREATE TABLE sales (id INTEGER PRIMARY KEY, item VARCHAR(20), amount REAL, qty INTEGER, paid BOOLEAN,
        notes VARCHAR(40), "nothing" INTEGER, day DATE, big BIGINT, price MONEY, bytes BLOB, memo CLOB,
        mixed INTEGER);
      INSERT INTO sales VALUES (1, 'apple', 1.5, 2, 1, 'first', 10, '2024-01-05', 3000000000, 1.25, x'00', 'm',
        1.5);
      INSERT INTO sales VALUES (2, 'pear', 2.25, 4, 0, NULL, 20, '2024-01-06', 3000000000, 2.5, x'01', 'n', 2);
      INSERT INTO sales VALUES (3, 'fig', NULL, 1, 1, 'third', 30, NULL, 5, NULL, NULL, NULL, 2);
      CREATE TABLE stock (id INTEGER PRIMARY KEY, item VARCHAR(20), onhand INTEGER);
      INSERT INTO stock VALUES (1, 'apple', 50);
    )sql");
    FSales = Open("sales", "Sales");
    FStock = Open("stock", "Stock");
    FList = {FSales.get(), FStock.get()};
  }

  TOwnedPtr<TTable> Open(const std::string& table, const std::string& name) {
    TOwnedPtr<TTable> dataSet(TComponent::Create<TTable>(nullptr));
    dataSet->SetName(name);
    dataSet->SetDatabaseName("shop");
    dataSet->SetTableName(table);
    dataSet->Open();
    return dataSet;
  }

  // The value of an expression on every record of sales, the way a report walks it.
  std::vector<std::string> PerRecord(const std::string& expression) {
    TQREvaluator evaluator;
    evaluator.SetDataSetList(&FList);
    evaluator.Compile(expression);
    std::vector<std::string> values;
    for (FSales->First(); !FSales->Eof(); FSales->Next()) values.push_back(Describe(evaluator.Value()));
    return values;
  }

  // Accumulated once per record, then evaluated.
  std::string Total(const std::string& expression) {
    TQREvaluator evaluator;
    evaluator.SetDataSetList(&FList);
    evaluator.Compile(expression);
    evaluator.ResetAggregates();
    for (FSales->First(); !FSales->Eof(); FSales->Next()) evaluator.Accumulate();
    return Describe(evaluator.Value());
  }

  TScratchDatabases FDatabases;
  TOwnedPtr<TTable> FSales, FStock;
  TDataSetList FList;
};

using V = std::vector<std::string>;

TEST_F(ExprDataTest, FieldsReadByTheirClass) {
  EXPECT_EQ(PerRecord("item"), (V{"STRING apple", "STRING pear", "STRING fig"}));
  EXPECT_EQ(PerRecord("[qty]"), (V{"INTEGER 2", "INTEGER 4", "INTEGER 1"}));
  EXPECT_EQ(PerRecord("amount"), (V{"FLOAT 1.5", "FLOAT 2.25", "FLOAT 0"}));
  EXPECT_EQ(PerRecord("paid"), (V{"BOOLEAN True", "BOOLEAN False", "BOOLEAN True"}));
  EXPECT_EQ(PerRecord("day"), (V{"STRING 2024-01-05", "STRING 2024-01-06", "STRING "}));
  EXPECT_EQ(PerRecord("price"), (V{"FLOAT 1.25", "FLOAT 2.5", "FLOAT 0"}));
  // Integers beyond 32 bits keep their value as floats.
  EXPECT_EQ(PerRecord("big"), (V{"FLOAT 3000000000", "FLOAT 3000000000", "INTEGER 5"}));
  // A real stored in an integer column keeps its fraction.
  EXPECT_EQ(PerRecord("mixed"), (V{"FLOAT 1.5", "INTEGER 2", "INTEGER 2"}));
  EXPECT_EQ(PerRecord("bytes"), (V(3, "ERROR Field bytes is of unknown type")));
  EXPECT_EQ(PerRecord("memo"), (V(3, "ERROR Field memo is of unknown type")));
}

TEST_F(ExprDataTest, NullFieldsReadAsEmptyZeroAndFalse) {
  EXPECT_EQ(PerRecord("notes"), (V{"STRING first", "STRING ", "STRING third"}));
  EXPECT_EQ(PerRecord("amount * 2"), (V{"FLOAT 3", "FLOAT 4.5", "FLOAT 0"}));
  EXPECT_EQ(PerRecord("'[' + notes + ']'"), (V{"STRING [first]", "STRING []", "STRING [third]"}));
}

TEST_F(ExprDataTest, ExpressionsOverFields) {
  EXPECT_EQ(PerRecord("amount * qty"), (V{"FLOAT 3", "FLOAT 9", "FLOAT 0"}));
  EXPECT_EQ(PerRecord("UPPER(item) + ' x' + STR(qty)"), (V{"STRING APPLE x2", "STRING PEAR x4", "STRING FIG x1"}));
  EXPECT_EQ(PerRecord("IF(qty > 1, 'bulk', 'single')"), (V{"STRING bulk", "STRING bulk", "STRING single"}));
  EXPECT_EQ(PerRecord("not paid"), (V{"BOOLEAN False", "BOOLEAN True", "BOOLEAN False"}));
  EXPECT_EQ(PerRecord("FORMATNUMERIC('#,##0.00', big)"),
            (V{"STRING 3,000,000,000.00", "STRING 3,000,000,000.00", "STRING 5.00"}));
  // Names that begin with "not" are fields.
  EXPECT_EQ(PerRecord("NOTES + '!'"), (V{"STRING first!", "STRING !", "STRING third!"}));
  EXPECT_EQ(PerRecord("NOTHING + 1"), (V{"INTEGER 11", "INTEGER 21", "INTEGER 31"}));
}

TEST_F(ExprDataTest, QualifiedNamesPickTheirDatasetAndPlainNamesTheFirstWithTheField) {
  EXPECT_EQ(PerRecord("[Stock.item]"), (V(3, "STRING apple")));
  EXPECT_EQ(PerRecord("STOCK.ONHAND - qty"), (V{"INTEGER 48", "INTEGER 46", "INTEGER 49"}));
  EXPECT_EQ(PerRecord("[sales.item]"), (V{"STRING apple", "STRING pear", "STRING fig"}));
  EXPECT_EQ(PerRecord("onhand"), (V(3, "INTEGER 50")));
  EXPECT_EQ(PerRecord("[Stock.qty]"), (V(3, "ERROR Unknown function : Stock.qty")));
  EXPECT_EQ(PerRecord("[Nowhere.item]"), (V(3, "ERROR Unknown function : Nowhere.item")));
}

TEST_F(ExprDataTest, AggregatesAccumulateOncePerRecord) {
  EXPECT_EQ(Total("SUM(qty)"), "INTEGER 7");
  EXPECT_EQ(Total("SUM(amount)"), "FLOAT 3.75");
  EXPECT_EQ(Total("SUM(amount * qty)"), "FLOAT 12");
  EXPECT_EQ(Total("COUNT"), "INTEGER 3");
  EXPECT_EQ(Total("MAX(item)"), "STRING pear");
  EXPECT_EQ(Total("MIN(item)"), "STRING apple");
  EXPECT_EQ(Total("MAX(qty)"), "INTEGER 4");
  EXPECT_EQ(Total("MIN(amount)"), "FLOAT 0");
  EXPECT_EQ(Total("MAX(paid)"), "BOOLEAN True");
  EXPECT_EQ(Total("MIN(paid)"), "BOOLEAN False");
  EXPECT_EQ(Total("AVERAGE(qty)"), "FLOAT 2.33333333333333");
  EXPECT_EQ(Total("SUM(qty) / COUNT"), "FLOAT 2.33333333333333");
  EXPECT_EQ(Total("'Total: ' + STR(SUM(qty))"), "STRING Total: 7");
  EXPECT_EQ(Total("IF(COUNT > 2, 'many', 'few')"), "STRING many");
}

TEST_F(ExprDataTest, TotalsNeverDropOrWrapValues) {
  // Integers and floats mix (1.5 + 2 + 2), in either order.
  EXPECT_EQ(Total("SUM(mixed)"), "FLOAT 5.5");
  EXPECT_EQ(Total("SUM(IF(id = 1, 2, 1.5))"), "FLOAT 5");
  EXPECT_EQ(Total("AVERAGE(mixed)"), "FLOAT 1.83333333333333");
  // Beyond 32 bits.
  EXPECT_EQ(Total("SUM(big)"), "FLOAT 6000000005");
  EXPECT_EQ(Total("SUM(2147483647)"), "FLOAT 6442450941");
  EXPECT_EQ(Total("MAX(mixed)"), "INTEGER 2");
  EXPECT_EQ(Total("MIN(mixed)"), "FLOAT 1.5");
  // A record whose value is an error, text or Boolean makes the total an error.
  EXPECT_EQ(Total("SUM(10 / (qty - 1))"), "ERROR Cannot divide by 0");
  EXPECT_EQ(Total("SUM(IF(id = 2, 'x', 1))"), "ERROR Wrong arguments for SUM");
  EXPECT_EQ(Total("SUM(item)"), "ERROR Wrong arguments for SUM");
  EXPECT_EQ(Total("SUM(paid)"), "ERROR Wrong arguments for SUM");
  EXPECT_EQ(Total("AVERAGE(item)"), "ERROR Wrong arguments for AVERAGE");
  EXPECT_EQ(Total("MAX(IF(id = 3, 1/0, qty))"), "ERROR Cannot divide by 0");
  // The wrong number of arguments is an error, not a silent zero.
  EXPECT_EQ(Total("SUM(qty, amount)"), "ERROR Wrong arguments for SUM");
  EXPECT_EQ(Total("SUM()"), "ERROR Wrong arguments for SUM");
  EXPECT_EQ(Total("MAX()"), "ERROR Wrong arguments for MAX");
  EXPECT_EQ(Total("COUNT(1)"), "ERROR COUNT - Too many arguments");
}

// 60,000 amounts of two decimals (as an order lines table holds) sum to the exact amount
// in the 15 digits a total prints with; plain double additions were off in the last ones.
TEST_F(ExprDataTest, TotalsOfManyMoneyAmountsAreExact) {
  constexpr int64_t kRows = 60000;
  FDatabases.Run("money", "CREATE TABLE lines (id INTEGER PRIMARY KEY, amount REAL);"
                          "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60000) "
                          "INSERT INTO lines SELECT i, ((i * i % 100003) * 104729 + i) % 9973 / 100.0 FROM n;");
  int64_t cents = 0;
  for (int64_t i = 1; i <= kRows; ++i) cents += ((i * i % 100003) * 104729 + i) % 9973;
  TOwnedPtr<TTable> lines(TComponent::Create<TTable>(nullptr));
  lines->SetName("Lines");
  lines->SetDatabaseName("money");
  lines->SetTableName("lines");
  lines->Open();
  TDataSetList list = {lines.get()};
  TQREvaluator sum, average;
  for (TQREvaluator* e : {&sum, &average}) {
    e->SetDataSetList(&list);
    e->Compile(e == &sum ? "SUM(amount)" : "AVERAGE(amount)");
    e->ResetAggregates();
  }
  for (lines->First(); !lines->Eof(); lines->Next()) {
    sum.Accumulate();
    average.Accumulate();
  }
  EXPECT_EQ(Describe(sum.Value()), Describe(TQREvValue::Float(static_cast<double>(cents) / 100)));
  EXPECT_EQ(Describe(average.Value()), Describe(TQREvValue::Float(static_cast<double>(cents) / (100.0 * kRows))));
}

TEST_F(ExprDataTest, OrdinaryEvaluationReadsStateAndResetStartsAgain) {
  TQREvaluator evaluator;
  evaluator.SetDataSetList(&FList);
  evaluator.Compile("AVERAGE(qty)");
  EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 0");  // new: not yet reset
  evaluator.ResetAggregates();
  EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 0");
  FSales->First();
  evaluator.Accumulate();
  FSales->Next();
  evaluator.Accumulate();
  EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 3");
  EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 3");  // evaluating does not accumulate
  evaluator.ResetAggregates();
  EXPECT_EQ(Describe(evaluator.Value()), "FLOAT 0");

  TQREvaluator counter;
  counter.Compile("COUNT * 10 + SUM(1)");
  EXPECT_TRUE(counter.HasAggregates());
  for (int i = 0; i < 3; ++i) counter.Accumulate();
  EXPECT_EQ(Describe(counter.Value()), "INTEGER 33");
  counter.ResetAggregates();
  EXPECT_EQ(Describe(counter.Value()), "INTEGER 0");
}

TEST_F(ExprDataTest, HasAggregatesLooksThroughTheWholeExpression) {
  const std::pair<const char*, bool> cases[] = {
      {"SUM(qty) + 1", true}, {"1 + 2", false},         {"IF(1 = 1, COUNT, 0)", true},
      {"MAX(item)", true},    {"UPPER(item)", false},   {"AVERAGE(1)", true},
      {"MIN(1)", true},       {"'SUM(qty)'", false},    {"[SUM]", false},
  };
  for (const auto& [expression, expected] : cases) {
    TQREvaluator evaluator;
    evaluator.SetDataSetList(&FList);
    evaluator.Compile(expression);
    EXPECT_EQ(evaluator.HasAggregates(), expected) << expression;
  }
}

TEST_F(ExprDataTest, FieldsMadeAfreshOnReopenAreFoundAgain) {
  TQREvaluator evaluator;
  evaluator.SetDataSetList(&FList);
  evaluator.Compile("item + STR(qty)");
  FSales->First();
  EXPECT_EQ(Describe(evaluator.Value()), "STRING apple2");
  FSales->Close();
  FSales->Open();
  FSales->Next();
  EXPECT_EQ(Describe(evaluator.Value()), "STRING pear4");
  // A closed dataset has no fields: an error value, not a crash.
  FSales->Close();
  EXPECT_EQ(Describe(evaluator.Value()), "ERROR Field 'item' not found");
}

TEST_F(ExprDataTest, QueryWhoseColumnsChangeUnderACompiledExpression) {
  TOwnedPtr<TQuery> query(TComponent::Create<TQuery>(nullptr));
  query->SetName("Q");
  query->SetDatabaseName("shop");
  query->SQL()->SetText("SELECT item, qty FROM sales ORDER BY id");
  query->Open();
  TDataSetList list{query.get()};
  TQREvaluator evaluator;
  evaluator.SetDataSetList(&list);
  evaluator.Compile("[Q.qty] * 10");
  EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 20");
  // Same name, another position.
  query->SQL()->SetText("SELECT qty, item FROM sales ORDER BY id DESC");
  query->Open();
  EXPECT_EQ(Describe(evaluator.Value()), "INTEGER 10");
  // The column is gone.
  query->SQL()->SetText("SELECT item FROM sales");
  query->Open();
  EXPECT_EQ(Describe(evaluator.Value()), "ERROR Field 'qty' not found");
}

}  // namespace
}  // namespace rpt::test
