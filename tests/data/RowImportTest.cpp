// Rows of a file copied into a table of the alias Imported: the table read back as any
// table, its name from the file name, a name that is taken, and a failing import that
// leaves the database as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/RowImport.h"
#include "tests/data/TestDatabases.h"

namespace rpt::test {
namespace {

class RowImportTest : public DataTest {
 protected:
  TOwnedPtr<TTable> Open(const std::string& table) {
    TOwnedPtr<TTable> t(TComponent::Create<TTable>(nullptr));
    t->SetDatabaseName(kImportAlias);
    t->SetTableName(table);
    t->Open();
    return t;
  }
};

TEST_F(RowImportTest, RowsReadBackAsATableOfTheAliasImportedWithTheirTypesAndNulls) {
  EXPECT_EQ(ImportTableName("/data/Umsätze 2024 (Q1).csv"), "Umsätze_2024_Q1");
  EXPECT_EQ(ImportTableName("sqlite_master.json"), "data_sqlite_master");
  EXPECT_EQ(ImportTableName("--.csv"), "rows");
  EXPECT_EQ(ImportTableName(std::string(100, 'x') + ".csv").size(), 60u);

  const std::string db = ImportDatabasePath();
  EXPECT_EQ(db, DataDir() + "/Imported.db");
  EXPECT_FALSE(std::filesystem::exists(db));
  // A name with a quote and SQL in it stays a name.
  const TRowSet rows = ParseJsonRows(R"([
    {"id": 1, "name": "Zoë – Δ 東京", "price": 2.5, "paid": true, "a\"b); DROP TABLE x; --": "q"},
    {"id": 2, "name": null, "price": 3, "paid": false},
    {"id": -9007199254740991, "": "no name"}
  ])",
                                     "rows.json");
  EXPECT_EQ(ImportRows(rows, db, "rows", TImportClash::Fail), "rows");
  const std::vector<std::string> aliases = Session().AliasNames();
  EXPECT_NE(std::find(aliases.begin(), aliases.end(), "Imported"), aliases.end());

  auto t = Open("ROWS");
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_EQ(t->FieldCount(), 6);
  EXPECT_TRUE(t->FieldByName("id")->Is<TLargeintField>());
  EXPECT_TRUE(t->FieldByName("price")->Is<TFloatField>());
  EXPECT_TRUE(t->FieldByName("paid")->Is<TBooleanField>());
  EXPECT_TRUE(t->FieldByName("name")->Is<TStringField>());
  EXPECT_EQ(t->FieldByName("name")->AsString(), "Zoë – Δ 東京");
  EXPECT_EQ(t->FieldByName("paid")->DisplayText(), "True");
  EXPECT_EQ(t->FieldByName("a\"b); DROP TABLE x; --")->AsString(), "q");
  t->Next();
  EXPECT_TRUE(t->FieldByName("name")->IsNull());
  EXPECT_DOUBLE_EQ(t->FieldByName("price")->AsFloat(), 3.0);
  EXPECT_EQ(t->FieldByName("paid")->DisplayText(), "False");
  t->Next();
  EXPECT_EQ(t->FieldByName("id")->AsInteger(), -9007199254740991);
  EXPECT_TRUE(t->FieldByName("price")->IsNull());
  EXPECT_TRUE(t->FieldByName("a\"b); DROP TABLE x; --")->IsNull());
  EXPECT_EQ(t->FieldByName("column_6")->AsString(), "no name");

  // An alias file's Imported that is no SQLite file is refused, not written into.
  WriteFile(AliasFile(), "[Imported]\nDriver = PostgreSQL\nDatabase = x\n");
  EXPECT_NE(ErrorOf([] { ImportDatabasePath(); }).find("must be a SQLite database"), std::string::npos);
}

TEST_F(RowImportTest, ATakenNameFailsIsReplacedOrMovesOnAndAFailedImportChangesNothing) {
  const std::string db = DataDir() + "/Imported.db";
  const TRowSet first = ParseCsvRows("n\n1\n2\n", "a.csv");
  const TRowSet second = ParseCsvRows("n,label\n7,seven\n", "b.csv");
  ASSERT_EQ(ImportRows(first, db, "sales", TImportClash::Fail), "sales");
  EXPECT_TRUE(ImportTableExists(db, "SALES"));
  EXPECT_FALSE(ImportTableExists(db, "sales_2"));
  EXPECT_NE(ErrorOf([&] { ImportRows(second, db, "Sales", TImportClash::Fail); }).find("already exists"),
            std::string::npos);
  EXPECT_EQ(ImportRows(second, db, "Sales", TImportClash::NewName), "Sales_2");
  EXPECT_EQ(ImportRows(second, db, "sales", TImportClash::NewName), "sales_3");
  EXPECT_EQ(Open("sales")->RecordCount(), 2);
  EXPECT_EQ(ImportRows(second, db, "sales", TImportClash::Replace), "sales");
  EXPECT_EQ(Open("sales")->FieldByName("label")->AsString(), "seven");

  // More columns than SQLite takes: the replacement fails after the old table was
  // dropped, and the rollback brings it back.
  TRowSet wide;
  for (int i = 0; i < 2100; ++i) wide.Columns.push_back({"c" + std::to_string(i), ftLargeint});
  wide.Rows.assign(1, std::vector<TValue>(wide.Columns.size(), TValue{TValue::kInteger, 1, 0, {}}));
  EXPECT_NE(ErrorOf([&] { ImportRows(wide, db, "sales", TImportClash::Replace); }).find("too many columns"),
            std::string::npos);
  EXPECT_EQ(Open("sales")->FieldByName("label")->AsString(), "seven");
  EXPECT_EQ(Session().TableNames(kImportAlias), (std::vector<std::string>{"sales", "Sales_2", "sales_3"}));
  // Into a file that did not exist: none afterwards.
  const std::string fresh = DataDir() + "/fresh.db";
  ErrorOf([&] { ImportRows(wide, fresh, "wide", TImportClash::Fail); });
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace rpt::test
