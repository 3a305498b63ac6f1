#pragma once
// Shared by the evaluator tests: pinned locale settings and clock, values as text, and
// a throwaway SQLite database reachable as an alias.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "expr/QRExpr.h"

namespace rpt::test {

// 2024-02-29 14:30:05 UTC, the moment DATE and TIME see in the tests.
inline constexpr std::time_t kTestNow = 1709217005;

// "." and "," separators, ISO date, 24-hour time, the C locale's names.
TFormatSettings PinnedSettings();

// "KIND text": "INTEGER 7", "FLOAT 3.5", "STRING abc", "BOOLEAN True", "ERROR message".
std::string Describe(const TQREvValue& value);

// Compiles and evaluates once.
std::string Eval(std::string_view expression, TDataSetList* dataSets = nullptr,
                 TQREvEnvironment* environment = nullptr);

struct TCase {
  const char* Expression;
  std::string Expected;
};
// Every case of a table, each failure naming its expression.
void ExpectTable(const std::vector<TCase>& cases, TDataSetList* dataSets = nullptr,
                 TQREvEnvironment* environment = nullptr);

// A folder under /tmp with SQLite files that the engine sees as aliases (by file name).
class TScratchDatabases {
 public:
  TScratchDatabases();
  ~TScratchDatabases();
  TScratchDatabases(const TScratchDatabases&) = delete;
  TScratchDatabases& operator=(const TScratchDatabases&) = delete;
  // Runs statements on database `alias` (created when missing).
  void Run(const std::string& alias, const std::string& sql) const;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace rpt::test
