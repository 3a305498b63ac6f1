#include "tests/report/EngineFixture.h"

#include <cstdlib>
#include <filesystem>

#include "framework/Emf.h"
#include "objects/CodePage.h"
#include "tests/support/SqliteExec.h"

namespace rpt::test {

namespace fs = std::filesystem;

std::vector<TPageText> PageTexts(const TMetafile& page) {
  std::vector<TPageText> texts;
  const std::string& bytes = page.Data();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 0; at + 8 <= bytes.size();) {
    const uint32_t size = emf::GetU32(data + at + 4);
    if (size < 8 || at + size > bytes.size()) break;
    const emf::TRecordView record(data + at, size);
    if (record.Type() == emf::EMR_EXTTEXTOUTW) {
      TPageText text;
      text.X = record.I32(36);
      text.Y = record.I32(40);
      const uint32_t count = record.U32(44), offset = record.U32(48);
      std::u16string wide;
      for (uint32_t i = 0; i < count; ++i) wide.push_back(static_cast<char16_t>(record.U16(offset + i * 2)));
      text.Text = Utf16ToUtf8(wide);
      texts.push_back(std::move(text));
    }
    at += size;
  }
  return texts;
}

void EngineTest::SetUp() {
  ReportTest::SetUp();
  SetEvFormatSettings(TFormatSettings::FromLocale("C"));
  DataDir = (fs::temp_directory_path() /
             ("report-engine-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
  fs::create_directories(DataDir);
  ::setenv("RPT_DATA_DIR", DataDir.c_str(), 1);
  Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
}

void EngineTest::TearDown() {
  if (Report) {
    Report->Free();
    Report = nullptr;
  }
  for (TDataSet* d : DataSets) d->Free();
  DataSets.clear();
  fs::remove_all(DataDir);
  SetEvFormatSettings(TFormatSettings::FromSystem());
  ReportTest::TearDown();
}

void EngineTest::MakeDatabase(const std::string& sql) { RunSqlite(DataDir + "/shop.db", sql); }

TTable* EngineTest::Table(const std::string& name) {
  auto* table = TComponent::Create<TTable>(nullptr);
  table->SetName(name);
  table->SetDatabaseName("shop");
  table->SetTableName(name);
  table->Open();
  DataSets.push_back(table);
  return table;
}

TQuery* EngineTest::Query(const std::string& sql) {
  auto* query = TComponent::Create<TQuery>(nullptr);
  query->SetDatabaseName("shop");
  query->SQL()->SetText(sql);
  DataSets.push_back(query);
  return query;
}

TQRBand* EngineTest::Band(TQRBandType type, const std::string& name, double heightMm) {
  TQRBand* band = AddBand(type, name);
  band->Size()->SetHeight(heightMm);
  return band;
}

TQRLabel* EngineTest::Label(TWinControl* band, const std::string& name, const std::string& caption, double leftMm) {
  auto* label = Add<TQRLabel>(name, band);
  label->SetCaption(caption);
  label->Size()->SetLeft(leftMm);
  label->Size()->SetTop(0);
  return label;
}

TQRDBText* EngineTest::Field(TWinControl* band, const std::string& name, TDataSet* dataSet, const std::string& field,
                             double leftMm) {
  auto* text = Add<TQRDBText>(name, band);
  text->SetDataSet(dataSet);
  text->SetDataField(field);
  text->Size()->SetLeft(leftMm);
  text->Size()->SetTop(0);
  return text;
}

TQRExpr* EngineTest::Expr(TWinControl* band, const std::string& name, const std::string& expression, double leftMm) {
  auto* expr = Add<TQRExpr>(name, band);
  expr->SetExpression(expression);
  expr->Size()->SetLeft(leftMm);
  expr->Size()->SetTop(0);
  return expr;
}

std::vector<std::vector<std::string>> EngineTest::Run() {
  Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
  Report->GeneratePages();
  std::vector<std::vector<std::string>> pages;
  TQRPrinter* printer = Report->QRPrinter();
  for (int32_t n = 1; printer && n <= printer->PageList().TotalPages(); ++n) {
    std::unique_ptr<TMetafile> page = printer->PageImage(n);
    std::vector<std::string> texts;
    if (page)
      for (const TPageText& t : PageTexts(*page)) texts.push_back(t.Text);
    pages.push_back(std::move(texts));
  }
  return pages;
}

std::vector<std::string> EngineTest::Flat(const std::vector<std::vector<std::string>>& pages) {
  std::vector<std::string> all;
  for (const auto& page : pages) all.insert(all.end(), page.begin(), page.end());
  return all;
}

int EngineTest::PageCount() const {
  TQRPrinter* printer = Report->QRPrinter();
  return printer ? printer->PageList().TotalPages() : 0;
}

}  // namespace rpt::test
