// Any expression text, compiled and evaluated over a small dataset as a report does:
// once per record with its aggregates accumulated, then as text. Problems are error
// values; nothing may crash, hang or grow without bound. A first line, when there is
// one, is the body of the environment function F, which the rest may call.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "data/DBTables.h"
#include "expr/QRExpr.h"
#include "tests/support/SqliteExec.h"

namespace {

struct TFuzzData {
  std::string Folder;
  rpt::TOwnedPtr<rpt::TTable> Sales;
  rpt::TDataSetList List;

  TFuzzData() {
    char pattern[] = "/tmp/rpt-fuzz-expr.XXXXXX";
    Folder = mkdtemp(pattern);
    setenv("RPT_DATA_DIR", Folder.c_str(), 1);
    setenv("RPT_ALIAS_FILE", (Folder + "/aliases.ini").c_str(), 1);
    rpt::test::RunSqlite(Folder + "/shop.db", R"sql(
      CREATE TABLE sales (id INTEGER PRIMARY KEY, item VARCHAR(20), amount REAL, qty INTEGER, paid BOOLEAN,
        notes VARCHAR(40), day DATE, big BIGINT, price MONEY, bytes BLOB);
      INSERT INTO sales VALUES (1, 'apple', 1.5, 2, 1, 'first', '2024-01-05', 3000000000, 1.25, x'00');
      INSERT INTO sales VALUES (2, 'pear', -2.25, 4, 0, NULL, '2024-01-06', -3000000000, 2.5, x'01');
      INSERT INTO sales VALUES (3, 'fig', NULL, 0, 1, 'ümlaut €', NULL, 5, NULL, NULL);
    )sql");
    Sales.reset(rpt::TComponent::Create<rpt::TTable>(nullptr));
    Sales->SetName("Sales");
    Sales->SetDatabaseName("shop");
    Sales->SetTableName("sales");
    Sales->Open();
    List = {Sales.get()};
  }
  ~TFuzzData() {
    Sales.reset();
    std::error_code ec;
    std::filesystem::remove_all(Folder, ec);
  }
};

TFuzzData& Data() {
  static TFuzzData data;
  return data;
}

void Evaluate(rpt::TQREvaluator& evaluator, rpt::TDataSet& records) {
  evaluator.ResetAggregates();
  for (records.First(); !records.Eof(); records.Next()) {
    evaluator.Accumulate();
    evaluator.Evaluate();
  }
  try {
    rpt::EvValueToString(evaluator.Value());
  } catch (const rpt::Exception&) {
  }
  evaluator.ProgramText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzData& fixture = Data();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  rpt::TQREvEnvironment environment;
  environment.SetDataSetList(&fixture.List);
  if (const size_t newline = text.find('\n'); newline != std::string_view::npos) {
    environment.DefineFunction("F", text.substr(0, newline));
    text.remove_prefix(newline + 1);
  }
  environment.Compile();
  rpt::TQREvaluator evaluator;
  evaluator.SetDataSetList(&fixture.List);
  evaluator.SetLocalEnvironment(&environment);
  evaluator.Compile(text);
  Evaluate(evaluator, *fixture.Sales);
  evaluator.Discard();
  environment.Discard();
  return 0;
}
