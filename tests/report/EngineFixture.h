#pragma once
// Generation under test: a report over a small SQLite database, run into the page store,
// and the texts of the recorded pages read back in order with their positions.
#include <string>
#include <vector>

#include "data/DBTables.h"
#include "output/QRPrinter.h"
#include "report/QRDataCtrls.h"
#include "tests/report/ReportFixture.h"

namespace rpt::test {

struct TPageText {
  int32_t X = 0, Y = 0;  // device pixels of the page (96 per inch)
  std::string Text;
};

// Every text of a recorded page, in drawing order.
std::vector<TPageText> PageTexts(const TMetafile& page);

class EngineTest : public ReportTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A database "shop" in a private data folder, made from SQL.
  void MakeDatabase(const std::string& sql);
  TTable* Table(const std::string& name);
  TQuery* Query(const std::string& sql);

  // A band of a type with a height in millimetres.
  TQRBand* Band(TQRBandType type, const std::string& name, double heightMm);
  TQRLabel* Label(TWinControl* band, const std::string& name, const std::string& caption, double leftMm = 0);
  TQRDBText* Field(TWinControl* band, const std::string& name, TDataSet* dataSet, const std::string& field,
                   double leftMm = 60);
  TQRExpr* Expr(TWinControl* band, const std::string& name, const std::string& expression, double leftMm = 120);

  // Runs one pass into the page store; the pages' texts, one list per page.
  std::vector<std::vector<std::string>> Run();
  // All texts of all pages, in order.
  static std::vector<std::string> Flat(const std::vector<std::vector<std::string>>& pages);
  int PageCount() const;

  std::string DataDir;
  std::vector<TDataSet*> DataSets;
};

}  // namespace rpt::test
