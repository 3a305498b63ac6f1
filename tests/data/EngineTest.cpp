// The engine's text handling: parameter references in SQL, declared column types, the
// alias file and the statement trimming used to nest a query in a count.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "data/Engine.h"

namespace rpt::test {
namespace {

using engine::ScanSqlParams;

std::vector<std::string> Names(std::string_view sql) {
  std::vector<std::string> names;
  for (const auto& ref : ScanSqlParams(sql)) names.push_back(ref.Name);
  return names;
}

TEST(EngineTest, ParametersAreFoundOnlyOutsideLiteralsAndComments) {
  EXPECT_EQ(Names("SELECT * FROM t WHERE a = :a AND b = :B_2 OR c = :a"), (std::vector<std::string>{"a", "B_2", "a"}));
  EXPECT_EQ(Names("SELECT ':x', 'it''s :y', \"col:z\", [w:v], `q:r` FROM t"), std::vector<std::string>{});
  EXPECT_EQ(Names("SELECT 1 -- :a\n, :b /* :c\n:d */ , :e"), (std::vector<std::string>{"b", "e"}));
  EXPECT_EQ(Names("SELECT x::int, $$ :a $$, $tag$ :b $tag$, E'\\' :c', :d FROM t"), std::vector<std::string>{"d"});
  EXPECT_EQ(Names("SELECT :1, :, a:b, :straße FROM t"), (std::vector<std::string>{"b", "straße"}));
  EXPECT_EQ(Names("SELECT 'unterminated :a"), std::vector<std::string>{});
  const auto refs = ScanSqlParams("x = :id");
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0].Pos, 4u);
  EXPECT_EQ(refs[0].Length, 3u);
}

TEST(EngineTest, DeclaredTypesChooseTheFieldType) {
  int size, precision, scale;
  auto type = [&](const char* decl) { return engine::FieldTypeOfDeclaration(decl, &size, &precision, &scale); };
  EXPECT_EQ(type("VARCHAR(60)"), ftString);
  EXPECT_EQ(size, 60);
  EXPECT_EQ(type("text"), ftString);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(type("INTEGER"), ftInteger);
  EXPECT_EQ(type("smallint"), ftSmallint);
  EXPECT_EQ(type("TINYINT"), ftSmallint);
  EXPECT_EQ(type("UNSIGNED SMALLINT"), ftWord);
  EXPECT_EQ(type("BIGINT"), ftLargeint);
  EXPECT_EQ(type("BOOLEAN"), ftBoolean);
  EXPECT_EQ(type("REAL"), ftFloat);
  EXPECT_EQ(type("double precision"), ftFloat);
  EXPECT_EQ(type("MONEY"), ftCurrency);
  EXPECT_EQ(type("DECIMAL(12, 3)"), ftBCD);
  EXPECT_EQ(precision, 12);
  EXPECT_EQ(scale, 3);
  EXPECT_EQ(type("NUMERIC"), ftBCD);
  EXPECT_EQ(scale, -1);
  EXPECT_EQ(type("DATE"), ftDate);
  EXPECT_EQ(type("TIME"), ftTime);
  EXPECT_EQ(type("DATETIME"), ftDateTime);
  EXPECT_EQ(type("TIMESTAMP"), ftDateTime);
  EXPECT_EQ(type("CLOB"), ftMemo);
  EXPECT_EQ(type("BLOB"), ftBlob);
  EXPECT_EQ(type(""), ftUnknown);
  EXPECT_EQ(type("JSON"), ftString);
}

TEST(EngineTest, AliasFileEntries) {
  const auto aliases = engine::ParseAliasFile(
      "# servers\n[Sales]\r\nDriver = PostgreSQL\r\nHost = db.example.com\nPort=5433\nDatabase = sales\n"
      "User = report\nPassword = s3cr=t\n\n[Local Archive]\nDriver = SQLite\nPath = data/archive.db\n",
      "/etc/aliases.ini", "/etc");
  ASSERT_EQ(aliases.size(), 2u);
  EXPECT_EQ(aliases[0].Name, "Sales");
  EXPECT_EQ(aliases[0].Driver, engine::TDriver::PostgreSQL);
  EXPECT_EQ(aliases[0].Host, "db.example.com");
  EXPECT_EQ(aliases[0].Port, 5433);
  EXPECT_EQ(aliases[0].Database, "sales");
  EXPECT_EQ(aliases[0].User, "report");
  EXPECT_EQ(aliases[0].Password, "s3cr=t");
  EXPECT_EQ(aliases[0].Origin, "/etc/aliases.ini, line 2");
  EXPECT_EQ(aliases[1].Name, "Local Archive");
  EXPECT_EQ(aliases[1].Driver, engine::TDriver::SQLite);
  EXPECT_EQ(aliases[1].Path, "/etc/data/archive.db");
  EXPECT_FALSE(aliases[1].Password.has_value());

  auto error = [](const char* text) {
    try {
      engine::ParseAliasFile(text, "a.ini", "/");
    } catch (const EDatabaseError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(error("Driver = SQLite\n"), "Alias file a.ini, line 1: a setting before the first [alias] header");
  EXPECT_EQ(error("[a]\nDriver = SQLite\nPath = x\nHots = y\n"), "Alias file a.ini, line 4: unknown setting 'Hots'");
  EXPECT_EQ(error("[a]\nDriver = SQLite\nPath = x\n[A]\n"), "Alias file a.ini, line 4: the alias A is defined twice");
  EXPECT_EQ(error("[a\n"), "Alias file a.ini, line 1: a section header ends with ]");
  EXPECT_EQ(error("[a]\nPath = x\n"), "Alias file a.ini, line 1: the alias a has no Driver");
  EXPECT_EQ(error("[a]\nDriver = PostgreSQL\nHost = h\n"), "Alias file a.ini, line 1: the alias a has no Database");
  EXPECT_EQ(error("[a]\nDriver = SQLite\n"), "Alias file a.ini, line 1: the SQLite alias a has no Path");
  EXPECT_EQ(error("[a]\njust text\n"), "Alias file a.ini, line 2: expected Setting = value");
  EXPECT_EQ(engine::PasswordVariable("Sales-DB 2"), "RPT_DB_PASSWORD_SALES_DB_2");
  // A NUL byte is refused with a whole message that shows it, wherever it stands.
  auto errorOf = [](std::string_view text) {
    try {
      engine::ParseAliasFile(text, "a.ini", "/");
    } catch (const EDatabaseError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  using namespace std::string_view_literals;
  EXPECT_EQ(errorOf("[a]\nDriver = SQLite\nPath = x.db\0/etc\n"sv),
            "Alias file a.ini, line 3: the byte \\x00 at column 12 is a control character; an alias file holds text "
            "only");
  EXPECT_EQ(errorOf("# a comment may hold \0\n  [Sa\x01les]\n"sv),
            "Alias file a.ini, line 2: the byte \\x01 at column 6 is a control character; an alias file holds text "
            "only");
  EXPECT_EQ(engine::PrintableText("Sa\0les\x7f"sv), "Sa\\x00les\\x7F");
}

// Linear in the sections: a file of 16 times as many sections takes nowhere near 256
// times as long (a check of each name against every earlier one did: 40,000 sections
// took 14 s). Allocation and cache misses make the linear read grow up to twice as fast,
// and a loaded machine more: the bound sits between that and the square.
TEST(EngineTest, AliasFileReadsInLinearTime) {
  auto timeOf = [](int sections) {
    std::string text;
    for (int i = 0; i < sections; ++i)
      text += "[Alias" + std::to_string(i) + "]\nDriver = SQLite\nPath = db" + std::to_string(i) + ".db\n";
    double best = 1e9;
    for (int repeat = 0; repeat < 3; ++repeat) {
      const auto start = std::chrono::steady_clock::now();
      const size_t count = engine::ParseAliasFile(text, "a.ini", "/").size();
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      EXPECT_EQ(count, static_cast<size_t>(sections));
    }
    return best;
  };
  const double small = timeOf(5000), large = timeOf(80000);
  EXPECT_LT(large, small * 16 * 6) << small << " s for 5,000 sections, " << large << " s for 80,000";
}

TEST(EngineTest, StatementsAreTrimmedForNesting) {
  EXPECT_EQ(engine::TrimStatement("  SELECT 1 ;\n ; \r\n"), "SELECT 1");
  EXPECT_EQ(engine::TrimStatement(";;"), "");
}

}  // namespace
}  // namespace rpt::test
