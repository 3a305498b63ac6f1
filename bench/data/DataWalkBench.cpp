// The record walk through TDataSet against the same scan written on the SQLite C
// interface: rows per second of each, their ratio, and how much the peak memory grew
// during the walk. A whole-run timer rather than a micro-benchmark: the figures that
// matter are a full pass over a large table.
//
//   bash bench/data/make_db.sh 1000000            # once: /tmp/rpt-bench/bench_1000000.db
//   build/bench/bench_datawalk /tmp/rpt-bench/bench_1000000.db [repeats]
//
// Both walks of a pair run the same statement and read three fields per row (an integer,
// a float and a text copied into a std::string, as AsString gives it); the best of the
// repeats counts. Two pairs: the table order_lines, and a join that has a text in every row.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "data/DBTables.h"

namespace {

struct TResult {
  int64_t Rows = 0;
  int64_t Checksum = 0;
  double Seconds = 1e300;
  double PeakGrowthMB = 0;
};

long StatusKB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string_view(key).size());
  return 0;
}

// Resets the process's peak resident size to the current one (Linux 4.0+).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

TResult Measure(int repeats, const std::function<void(int64_t&, int64_t&)>& walk) {
  TResult best;
  for (int i = 0; i < repeats; ++i) {
    const long before = StatusKB("VmRSS:");
    ResetPeak();
    int64_t rows = 0, checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    walk(rows, checksum);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double growth = (StatusKB("VmHWM:") - before) / 1024.0;
    if (seconds < best.Seconds) best.Seconds = seconds;
    if (growth > best.PeakGrowthMB) best.PeakGrowthMB = growth;
    best.Rows = rows;
    best.Checksum = checksum;
  }
  return best;
}

// The statement a TTable on order_lines runs, and a query with a text in every row.
const char* kTableSql = "SELECT * FROM \"order_lines\" ORDER BY \"line_id\"";
const char* kJoinSql =
    "SELECT l.line_id, l.unit_price, p.name FROM order_lines l JOIN products p ON p.product_id = l.product_id "
    "ORDER BY l.line_id";

// Reads fields a, b, c (integer, float, text) of every record.
void Walk(rpt::TDataSet& ds, const char* a, const char* b, const char* c, int64_t& rows, int64_t& checksum) {
  ds.Open();
  rpt::TField* id = ds.FieldByName(a);
  rpt::TField* price = ds.FieldByName(b);
  rpt::TField* text = ds.FieldByName(c);
  double total = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    checksum += id->AsInteger();
    total += price->AsFloat();
    checksum += static_cast<int64_t>(text->AsString().size());
    ++rows;
  }
  checksum += static_cast<int64_t>(total);
}

void TableWalk(const std::string& alias, int64_t& rows, int64_t& checksum) {
  rpt::TOwnedPtr<rpt::TTable> table(rpt::TComponent::Create<rpt::TTable>(nullptr));
  table->SetDatabaseName(alias);
  table->SetTableName("order_lines");
  Walk(*table, "line_id", "unit_price", "comment", rows, checksum);
}

void QueryWalk(const std::string& alias, int64_t& rows, int64_t& checksum) {
  rpt::TOwnedPtr<rpt::TQuery> query(rpt::TComponent::Create<rpt::TQuery>(nullptr));
  query->SetDatabaseName(alias);
  query->SQL()->SetText(kJoinSql);
  Walk(*query, "line_id", "unit_price", "name", rows, checksum);
}

// The same scan on the C interface: columns a, b, c of the statement.
void CApiWalk(const std::string& file, const char* sql, int a, int b, int c, int64_t& rows, int64_t& checksum) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    std::exit(1);
  }
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
  double total = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    checksum += sqlite3_column_int64(stmt, a);
    total += sqlite3_column_double(stmt, b);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
    const std::string copy(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
    checksum += static_cast<int64_t>(copy.size());
    ++rows;
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  checksum += static_cast<int64_t>(total);
}

// Measures one scan both ways and prints the comparison; false when they disagree.
bool Compare(const char* title, int repeats, const std::function<void(int64_t&, int64_t&)>& dataset,
             const std::function<void(int64_t&, int64_t&)>& capi) {
  const TResult d = Measure(repeats, dataset);
  const TResult c = Measure(repeats, capi);
  if (d.Rows != c.Rows || d.Checksum != c.Checksum) {
    std::fprintf(stderr, "%s: the walks disagree: %lld/%lld rows, checksums %lld/%lld\n", title,
                 static_cast<long long>(d.Rows), static_cast<long long>(c.Rows), static_cast<long long>(d.Checksum),
                 static_cast<long long>(c.Checksum));
    return false;
  }
  const double dataRate = d.Rows / d.Seconds, capiRate = c.Rows / c.Seconds;
  std::printf("%s: %lld rows, 3 fields read per row, best of %d\n", title, static_cast<long long>(d.Rows), repeats);
  std::printf("  TDataSet walk:          %8.3f s  %6.2f M rows/s  peak memory growth %6.2f MB\n", d.Seconds,
              dataRate / 1e6, d.PeakGrowthMB);
  std::printf("  SQLite C API walk:      %8.3f s  %6.2f M rows/s  peak memory growth %6.2f MB\n", c.Seconds,
              capiRate / 1e6, c.PeakGrowthMB);
  std::printf("  ratio TDataSet / C API: %8.3f (target >= 0.7)\n", dataRate / capiRate);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_datawalk DATABASE_FILE [REPEATS]\n(make one with bench/data/make_db.sh)\n");
    return 2;
  }
  const std::filesystem::path file = std::filesystem::absolute(argv[1]);
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  if (!std::filesystem::is_regular_file(file)) {
    std::fprintf(stderr, "no such file: %s\n", file.c_str());
    return 1;
  }
  // The file's folder becomes the engine's data folder, the file an alias.
  setenv("RPT_DATA_DIR", file.parent_path().c_str(), 1);
  setenv("RPT_ALIAS_FILE", "/nonexistent/aliases.ini", 1);
  const std::string alias = file.stem().string();

  try {
    // Warm the page cache and the driver loading once, uncounted.
    int64_t r = 0, c = 0;
    TableWalk(alias, r, c);
    const std::string path = file.string();
    bool ok = Compare(
        "table order_lines (integer, float, text mostly null)", repeats,
        [&](int64_t& rows, int64_t& sum) { TableWalk(alias, rows, sum); },
        [&](int64_t& rows, int64_t& sum) { CApiWalk(path, kTableSql, 0, 5, 7, rows, sum); });
    ok = Compare(
             "query order lines with product names (integer, float, text)", repeats,
             [&](int64_t& rows, int64_t& sum) { QueryWalk(alias, rows, sum); },
             [&](int64_t& rows, int64_t& sum) { CApiWalk(path, kJoinSql, 0, 1, 2, rows, sum); }) &&
         ok;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_datawalk: %s\n", e.what());
    return 1;
  }
}
