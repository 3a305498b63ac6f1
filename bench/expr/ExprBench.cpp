// Expression evaluation: compile once, evaluate per record. Two views:
//  - a walk over an SQLite table of N records (default 10^6) with SUM(Amount * Quantity)
//    accumulated and a string expression evaluated on every record; the walk alone is
//    timed too, so the evaluation's own share shows;
//  - evaluations repeated on one record, which is the evaluator's raw speed.
// Every operator new is counted, and the figures give allocations per evaluation.
//
//   build/bench/bench_expr [records] [repeats]
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <string>

#include "data/DBTables.h"
#include "tests/support/SqliteExec.h"
#include "expr/QRExpr.h"

namespace {
std::atomic<uint64_t> gAllocations{0};
}

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

struct TRun {
  double Seconds = 1e300;
  uint64_t Allocations = 0;  // inside the evaluator's calls
  std::string Result;
};

// Best of the repeats.
TRun Best(int repeats, const std::function<TRun()>& run) {
  TRun best;
  for (int i = 0; i < repeats; ++i) {
    TRun r = run();
    if (r.Seconds < best.Seconds) best = r;
  }
  return best;
}

std::string Text(const rpt::TQREvValue& value) {
  return value.Kind == rpt::vkError ? "error: " + value.StrValue : rpt::EvValueToString(value);
}

void Line(const char* what, double count, const TRun& run) {
  std::printf("  %-44s %8.3f s %12.0f /s %8.3f alloc/eval  %s\n", what, run.Seconds, count / run.Seconds,
              static_cast<double>(run.Allocations) / count, run.Result.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t records = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  char pattern[] = "/tmp/rpt-bench-expr.XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (!dir) return 1;
  const std::string folder = dir;
  setenv("RPT_DATA_DIR", folder.c_str(), 1);
  setenv("RPT_ALIAS_FILE", (folder + "/aliases.ini").c_str(), 1);
  int status = 0;
  try {
    auto start = TClock::now();
    rpt::test::RunSqlite(folder + "/bench.db",
         "CREATE TABLE sales (id INTEGER PRIMARY KEY, Name VARCHAR(30), Amount REAL, Quantity INTEGER);"
         "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < " +
             std::to_string(records) +
             ") INSERT INTO sales SELECT i, 'item number ' || i, (i % 1000) / 4.0, i % 7 + 1 FROM s;");
    std::printf("%lld records made in %.2f s\n", static_cast<long long>(records), Seconds(start));

    rpt::TOwnedPtr<rpt::TTable> table(rpt::TComponent::Create<rpt::TTable>(nullptr));
    table->SetName("Sales");
    table->SetDatabaseName("bench");
    table->SetTableName("sales");
    table->Open();
    rpt::TDataSetList dataSets{table.get()};
    const double n = static_cast<double>(records);

    std::printf("\nWalk over %lld records (best of %d):\n", static_cast<long long>(records), repeats);
    const TRun walk = Best(repeats, [&] {
      TRun r;
      const auto t = TClock::now();
      int64_t count = 0;
      for (table->First(); !table->Eof(); table->Next()) ++count;
      r.Seconds = Seconds(t);
      r.Result = std::to_string(count) + " records";
      return r;
    });
    Line("walk only", n, walk);

    // Evaluates on every record of the walk; allocations are counted only inside the
    // evaluator's calls.
    auto walkWith = [&](const char* expression, bool accumulate) {
      return Best(repeats, [&, expression, accumulate] {
        rpt::TQREvaluator evaluator;
        evaluator.SetDataSetList(&dataSets);
        evaluator.Compile(expression);
        evaluator.ResetAggregates();
        TRun r;
        const auto t = TClock::now();
        for (table->First(); !table->Eof(); table->Next()) {
          const uint64_t before = gAllocations.load(std::memory_order_relaxed);
          if (accumulate)
            evaluator.Accumulate();
          else
            evaluator.Evaluate();
          r.Allocations += gAllocations.load(std::memory_order_relaxed) - before;
        }
        r.Seconds = Seconds(t);
        r.Result = Text(evaluator.Value());
        return r;
      });
    };
    const TRun sum = walkWith("SUM(Amount * Quantity)", true);
    Line("walk + accumulate SUM(Amount * Quantity)", n, sum);
    const TRun text = walkWith("UPPER(Name) + ' x' + STR(Quantity)", false);
    Line("walk + UPPER(Name) + ' x' + STR(Quantity)", n, text);
    TRun sumShare = sum, textShare = text;
    sumShare.Seconds = std::max(1e-9, sum.Seconds - walk.Seconds);
    textShare.Seconds = std::max(1e-9, text.Seconds - walk.Seconds);
    Line("  evaluation's share: SUM", n, sumShare);
    Line("  evaluation's share: string expression", n, textShare);
    {
      // The same total straight from SQLite, to check the evaluator's.
      rpt::TOwnedPtr<rpt::TQuery> query(rpt::TComponent::Create<rpt::TQuery>(nullptr));
      query->SetDatabaseName("bench");
      query->SQL()->SetText("SELECT SUM(Amount * Quantity) AS total FROM sales");
      query->Open();
      std::printf("  (SQLite's own SUM: %s)\n", rpt::FormatGeneralFloat(query->Fields(0)->AsFloat()).c_str());
    }

    std::printf("\nEvaluations repeated on one record, %lld times (best of %d):\n", static_cast<long long>(records),
                repeats);
    table->First();
    auto repeat = [&](const char* expression, bool accumulate) {
      return Best(repeats, [&, expression, accumulate] {
        rpt::TQREvaluator evaluator;
        evaluator.SetDataSetList(&dataSets);
        evaluator.Compile(expression);
        evaluator.ResetAggregates();
        evaluator.Evaluate();  // warm: slots take their sizes
        TRun r;
        const uint64_t before = gAllocations.load(std::memory_order_relaxed);
        const auto t = TClock::now();
        for (int64_t i = 0; i < records; ++i) {
          if (accumulate)
            evaluator.Accumulate();
          else
            evaluator.Evaluate();
        }
        r.Seconds = Seconds(t);
        r.Allocations = gAllocations.load(std::memory_order_relaxed) - before;
        r.Result = Text(evaluator.Value());
        return r;
      });
    };
    Line("1 + 2 * 3", n, repeat("1 + 2 * 3", false));
    Line("Amount * Quantity", n, repeat("Amount * Quantity", false));
    Line("accumulate SUM(Amount * Quantity)", n, repeat("SUM(Amount * Quantity)", true));
    Line("IF(Quantity > 3, Amount * 1.2, Amount) - 1", n, repeat("IF(Quantity > 3, Amount * 1.2, Amount) - 1", false));
    Line("UPPER(Name) + ' x' + STR(Quantity)", n, repeat("UPPER(Name) + ' x' + STR(Quantity)", false));
    Line("COPY(Name, 1, 4) + FORMATNUMERIC('#,##0.00', Amount)", n,
         repeat("COPY(Name, 1, 4) + FORMATNUMERIC('#,##0.00', Amount)", false));

    const auto t = TClock::now();
    const int compiles = 100000;
    rpt::TQREvaluator evaluator;
    evaluator.SetDataSetList(&dataSets);
    for (int i = 0; i < compiles; ++i) evaluator.Compile("IF(SUM(Amount * Quantity) > 1000, 'big', 'small')");
    std::printf("\nCompiling IF(SUM(Amount * Quantity) > 1000, 'big', 'small'): %.2f us each\n",
                Seconds(t) / compiles * 1e6);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_expr: %s\n", e.what());
    status = 1;
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return status;
}
