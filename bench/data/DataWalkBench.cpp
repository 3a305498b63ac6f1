// The record walk through TDataSet against the same scan written on the SQLite C
// interface: rows per second of each, their ratio, and how much the peak memory grew
// during the walk. A whole-run timer rather than a micro-benchmark: the figures that
// matter are a full pass over a large table.
//
//   bash bench/data/make_db.sh 1000000            # once: /tmp/rpt-bench/bench_1000000.db
//   build/bench/bench_datawalk /tmp/rpt-bench/bench_1000000.db [repeats]
//
// Both walks read the same statement and three fields per row (an integer, a float and
// a text copied into a std::string, as AsString gives it); the best of the repeats counts.
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

const char* kSql = "SELECT * FROM \"order_lines\" ORDER BY \"line_id\"";

void DataSetWalk(const std::string& alias, int64_t& rows, int64_t& checksum) {
  rpt::TOwnedPtr<rpt::TTable> table(rpt::TComponent::Create<rpt::TTable>(nullptr));
  table->SetDatabaseName(alias);
  table->SetTableName("order_lines");
  table->Open();
  rpt::TField* id = table->FieldByName("line_id");
  rpt::TField* price = table->FieldByName("unit_price");
  rpt::TField* comment = table->FieldByName("comment");
  double total = 0;
  for (table->First(); !table->Eof(); table->Next()) {
    checksum += id->AsInteger();
    total += price->AsFloat();
    checksum += static_cast<int64_t>(comment->AsString().size());
    ++rows;
  }
  checksum += static_cast<int64_t>(total);
}

void CApiWalk(const std::string& file, int64_t& rows, int64_t& checksum) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    std::exit(1);
  }
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, kSql, -1, &stmt, nullptr);
  double total = 0;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    checksum += sqlite3_column_int64(stmt, 0);
    total += sqlite3_column_double(stmt, 5);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 7));
    const std::string comment(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt, 7)));
    checksum += static_cast<int64_t>(comment.size());
    ++rows;
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  checksum += static_cast<int64_t>(total);
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
    // Warm the page cache and the plugin loading once, uncounted.
    int64_t r = 0, c = 0;
    DataSetWalk(alias, r, c);
    const TResult dataset = Measure(repeats, [&](int64_t& rows, int64_t& sum) { DataSetWalk(alias, rows, sum); });
    const TResult capi = Measure(repeats, [&](int64_t& rows, int64_t& sum) { CApiWalk(file.string(), rows, sum); });
    if (dataset.Rows != capi.Rows || dataset.Checksum != capi.Checksum) {
      std::fprintf(stderr, "the walks disagree: %lld/%lld rows, checksums %lld/%lld\n",
                   static_cast<long long>(dataset.Rows), static_cast<long long>(capi.Rows),
                   static_cast<long long>(dataset.Checksum), static_cast<long long>(capi.Checksum));
      return 1;
    }
    const double dataRate = dataset.Rows / dataset.Seconds, capiRate = capi.Rows / capi.Seconds;
    std::printf("rows walked:            %lld (3 fields read per row, best of %d)\n",
                static_cast<long long>(dataset.Rows), repeats);
    std::printf("TDataSet walk:          %8.3f s  %6.2f M rows/s  peak memory growth %6.2f MB\n", dataset.Seconds,
                dataRate / 1e6, dataset.PeakGrowthMB);
    std::printf("SQLite C API walk:      %8.3f s  %6.2f M rows/s  peak memory growth %6.2f MB\n", capi.Seconds,
                capiRate / 1e6, capi.PeakGrowthMB);
    std::printf("ratio TDataSet / C API: %8.3f (target >= 0.7)\n", dataRate / capiRate);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_datawalk: %s\n", e.what());
    return 1;
  }
}
