#pragma once
// Databases for the data tests: a private data folder and alias file per test process,
// small SQLite files with known rows, and a scratch database on the test PostgreSQL
// server (whose port scripts/test.sh passes in RPT_TEST_PG_PORT).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/DBTables.h"
#include "tests/support/SqliteExec.h"

namespace rpt::test {

// A folder under /tmp, deleted with everything in it.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

void WriteFile(const std::string& file, const std::string& text);

// The message of the error (an EDatabaseError unless told) that f raises, or a failure.
template <class E = EDatabaseError, class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

// Points the engine at a fresh data folder and alias file (absent until written) and
// at the built sample database; forgets logins and the login hook.
class DataTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string DataDir() const { return FTemp.File("databases"); }
  std::string AliasFile() const { return FTemp.File("aliases.ini"); }
  // A database "types" in the data folder with one row per kind of value (see .cpp).
  void MakeTypesDatabase();
  // "numbers": table n with ids 1..count and a text label per row.
  void MakeNumbersDatabase(int count);

  TTempDir FTemp;
};

// The PostgreSQL server of the test run, or a skip.
struct TPgServer {
  int Port = 0;
  static bool Available();
  static TPgServer FromEnvironment();
  // Runs statements as the superuser on a database (autocommit); throws on failure.
  void Exec(const std::string& database, const std::string& sql) const;
  // Runs a query as the superuser and returns the first column of every row.
  std::vector<std::string> Column(const std::string& database, const std::string& sql) const;
};

// A scratch database for one test, dropped at the end, and an alias "pg" for it.
class PgTest : public DataTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  void WriteAliases(const std::string& extra = "");

  TPgServer FServer;
  std::string FDatabase;
};

}  // namespace rpt::test
