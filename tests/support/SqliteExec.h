#pragma once
// Test and benchmark fixtures write their SQLite files straight through the C interface,
// independent of the data access code under test.
#include <string>

namespace rpt::test {

// Runs SQL statements on an SQLite file (created when missing); throws with SQLite's message.
void RunSqlite(const std::string& file, const std::string& sql);

}  // namespace rpt::test
