// Rows from a program, a JSON text or a CSV text walked as a dataset: column types,
// nulls and absent keys, text kept as given, and malformed input named by line and column.
#include <gtest/gtest.h>

#include <memory>

#include "data/RowData.h"
#include "tests/data/TestDatabases.h"

namespace rpt::test {
namespace {

TOwnedPtr<TRowsDataSet> Open(TRowSet rows) {
  TOwnedPtr<TRowsDataSet> ds(TComponent::Create<TRowsDataSet>(nullptr));
  ds->SetRows(std::make_shared<const TRowSet>(std::move(rows)));
  ds->Open();
  return ds;
}

TEST(RowData, JsonRowsWalkLikeATableWithTypesFromTheValues) {
  auto ds = Open(ParseJsonRows(R"([
    {"id": 1, "name": "Blåbær \u00e9", "price": 2.5, "paid": true, "code": "007", "tags": [1, "a"]},
    {"id": 2, "name": null, "price": 3, "paid": false, "code": 42},
    {"id": 3, "extra": "only here"}
  ])",
                               "rows.json"));
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_TRUE(ds->FieldByName("id")->Is<TLargeintField>());
  EXPECT_TRUE(ds->FieldByName("price")->Is<TFloatField>());
  EXPECT_TRUE(ds->FieldByName("paid")->Is<TBooleanField>());
  // A column mixing texts and numbers keeps every value as its text: "007" stays.
  EXPECT_TRUE(ds->FieldByName("code")->Is<TStringField>());
  EXPECT_EQ(ds->FieldByName("code")->AsString(), "007");
  EXPECT_EQ(ds->FieldByName("name")->AsString(), "Blåbær é");
  EXPECT_EQ(ds->FieldByName("tags")->AsString(), R"([1,"a"])");
  EXPECT_TRUE(ds->FieldByName("extra")->IsNull());
  ds->Next();
  EXPECT_TRUE(ds->FieldByName("name")->IsNull());
  EXPECT_EQ(ds->FieldByName("code")->AsString(), "42");
  EXPECT_DOUBLE_EQ(ds->FieldByName("price")->AsFloat(), 3.0);
  ds->Next();
  EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 3);
  EXPECT_TRUE(ds->FieldByName("price")->IsNull());
  EXPECT_EQ(ds->FieldByName("extra")->AsString(), "only here");
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  ds->First();
  EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 1);

  EXPECT_EQ(
      ErrorOf([] { ParseJsonRows("[\n  {\"a\": 1},\n  {\"a\": }\n]", "r.json"); }).rfind("r.json, line 3, column ", 0),
      0u);
  EXPECT_EQ(ErrorOf([] { ParseJsonRows("  {\"a\": 1}", "r.json"); }),
            "r.json, line 1, column 3: an array of objects is expected");
  EXPECT_EQ(ErrorOf([] { ParseJsonRows("[{}, 5]", "r.json"); }), "r.json: element 2 of the array is not an object");
  // Without rows there is nothing to open.
  TOwnedPtr<TRowsDataSet> none(TComponent::Create<TRowsDataSet>(nullptr));
  EXPECT_EQ(ErrorOf([&] { none->Open(); }), "The dataset has no rows");
  EXPECT_FALSE(none->Active());
}

TEST(RowData, CsvFollowsTheQuotingRulesAndNamesTheLineAndColumnOfAFault) {
  auto ds =
      Open(ParseCsvRows("\xEF\xBB\xBFid,name,amount,note\r\n"
                        "1,\"Smith, \"\"J\"\"\",10,\"two\nlines\"\r\n"
                        "2,Åsa,2.5,\r\n"
                        "003,,x,last",
                        "rows.csv"));
  EXPECT_EQ(ds->RecordCount(), 3);
  EXPECT_TRUE(ds->FieldByName("amount")->Is<TStringField>());
  EXPECT_EQ(ds->FieldByName("name")->AsString(), "Smith, \"J\"");
  EXPECT_EQ(ds->FieldByName("note")->AsString(), "two\nlines");
  EXPECT_EQ(ds->FieldByName("amount")->AsString(), "10");
  ds->Next();
  EXPECT_EQ(ds->FieldByName("name")->AsString(), "Åsa");
  EXPECT_TRUE(ds->FieldByName("note")->IsNull());
  ds->Next();
  // A zero-padded code keeps its zeros: the column is text.
  EXPECT_TRUE(ds->FieldByName("id")->Is<TStringField>());
  EXPECT_EQ(ds->FieldByName("id")->AsString(), "003");
  EXPECT_TRUE(ds->FieldByName("name")->IsNull());

  // A header alone gives the columns and no rows.
  auto empty = Open(ParseCsvRows("a,b\n", "h.csv"));
  EXPECT_EQ(empty->FieldNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(empty->IsEmpty());

  EXPECT_EQ(ErrorOf([] { ParseCsvRows("a,b\n1,\"x\n2,3\n", "c.csv"); }),
            "c.csv, line 2, column 3: a quoted field is not closed");
  EXPECT_EQ(ErrorOf([] { ParseCsvRows("a,b\n1,\"x\"y\n", "c.csv"); }),
            "c.csv, line 2, column 6: a comma or a line break is expected after a quoted field");
  EXPECT_EQ(ErrorOf([] { ParseCsvRows("a,b\nö,x\"y\n", "c.csv"); }),
            "c.csv, line 2, column 4: a quote inside a field that does not start with one");
  EXPECT_EQ(ErrorOf([] { ParseCsvRows("a,b\n1,2\n1,2,3\n", "c.csv"); }),
            "c.csv, line 3, column 1: 3 fields where the header has 2");
  EXPECT_EQ(ErrorOf([] { ParseCsvRows("", "c.csv"); }), "c.csv: the file is empty; a header line is expected");
}

TEST(RowData, ASchemaFixesTheColumnsAndConvertsTheValues) {
  std::vector<TFieldDef> schema(3);
  schema[0].Name = "ID";
  schema[0].DataType = ftInteger;
  schema[1].Name = "total";
  schema[1].DataType = ftFloat;
  schema[2].Name = "label";
  schema[2].DataType = ftString;
  auto text = [](const char* s) {
    TValue v;
    v.Kind = TValue::kText;
    v.Text = s;
    return v;
  };
  TValue seven;
  seven.Kind = TValue::kInteger;
  seven.Int = 7;
  auto ds = Open(MakeRowSet(
      {{{"id", text("12")}, {"total", text("1.5")}, {"label", seven}, {"ignored", seven}}, {{"total", seven}}},
      &schema));
  EXPECT_EQ(ds->FieldNames(), (std::vector<std::string>{"ID", "total", "label"}));
  EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 12);
  EXPECT_DOUBLE_EQ(ds->FieldByName("total")->AsFloat(), 1.5);
  EXPECT_EQ(ds->FieldByName("label")->AsString(), "7");
  ds->Next();
  EXPECT_TRUE(ds->FieldByName("id")->IsNull());
  EXPECT_DOUBLE_EQ(ds->FieldByName("total")->AsFloat(), 7.0);
  EXPECT_EQ(ErrorOf([&] {
              MakeRowSet({{}, {{"ID", text("12a")}}}, &schema);
            }),
            "Record 2: the value of 'ID' is not a whole number");
}

}  // namespace
}  // namespace rpt::test
