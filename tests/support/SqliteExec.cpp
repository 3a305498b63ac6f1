#include "tests/support/SqliteExec.h"

#include <sqlite3.h>

#include <stdexcept>

namespace rpt::test {

void RunSqlite(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + file);
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("SQLite: " + message);
}

}  // namespace rpt::test
