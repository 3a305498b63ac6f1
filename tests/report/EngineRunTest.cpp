// How a pass ends: cancelled or failed passes abandon their document and leave the
// report as it was; a preview's pass runs on its own thread and a report destroyed
// while it runs waits for it; an export pass hands over every printed band.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSqlDatabase>
#include <QStringList>
#include <QThread>
#include <atomic>

#include "framework/MetafilePlayer.h"

#include "tests/report/EngineFixture.h"

namespace rpt::test {
namespace {

class PassEnd : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MakeDatabase(
        "CREATE TABLE n(id INTEGER PRIMARY KEY, amount REAL);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 20000)"
        " INSERT INTO n SELECT x, x / 4.0 FROM c;");
    Numbers = Table("n");
    Report->SetDataSet(Numbers);
    Detail = Band(rbDetail, "Detail", 5);
    IdField = Field(Detail, "Id", Numbers, "id", 0);
    Memo = Add<TQRExprMemo>("Merged", Detail);
    Memo->Lines()->SetText("id {n.id}");
    Memo->Size()->SetLeft(50);
    Memo->Size()->SetTop(0);
  }
  // The report is back in its design state.
  void ExpectRestored() {
    EXPECT_TRUE(Report->Idle());
    EXPECT_FALSE(Report->Functions()->Compiled());
    EXPECT_FALSE(Memo->InGeneration());
    EXPECT_EQ(Memo->Lines()->Lines(), (std::vector<std::string>{"id {n.id}"}));
    EXPECT_EQ(Report->Units(), MM);
    EXPECT_TRUE(Report->RunDataSets()->empty());
    // The design surface shows the field's name again, not the last value printed.
    EXPECT_EQ(IdField->OutputText(), "id");
    ASSERT_EQ(IdField->LayoutLines()->Count(), 1);
    EXPECT_EQ(IdField->LayoutLines()->Strings(0), "id");
  }
  TTable* Numbers = nullptr;
  TQRBand* Detail = nullptr;
  TQRExprMemo* Memo = nullptr;
  TQRDBText* IdField = nullptr;
};

TEST_F(PassEnd, ACancelAtAnyPointAbandonsTheDocument) {
  for (int at : {1, 300, 5000}) {
    SCOPED_TRACE(at);
    int seen = 0;
    Detail->BeforePrint = [&](TQRCustomBand*, bool&) {
      if (++seen == at) Report->CancelGeneration();
    };
    Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
    Report->GeneratePages();
    // The walk stopped at the next record and the document was not finished.
    EXPECT_LE(seen, at + 1);
    EXPECT_NE(Report->QRPrinter()->Status(), qsBusy);
    EXPECT_LT(Report->QRPrinter()->PageList().TotalPages(), 20000 / 50);
    ExpectRestored();
  }
  // The next pass runs whole.
  Detail->BeforePrint = nullptr;
  Run();
  EXPECT_GT(PageCount(), 300);
}

// The progress figure needs the record count, asked only once the first page is out; it
// ends at 100 and never passes it.
TEST_F(PassEnd, ProgressReachesAHundredPercentAtTheLastRecord) {
  std::vector<int32_t> seen;
  Detail->AfterPrint = [&seen, this](TQRCustomBand*, bool) {
    if (Report->PagesDone() == 1) seen.push_back(Report->QRPrinter()->Progress());
  };
  Run();
  EXPECT_EQ(Report->QRPrinter()->Progress(), 100);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 0);  // nothing counted while the first page fills
}

TEST_F(PassEnd, AFailureInThePassIsRaisedAfterTheReportIsRestored) {
  int seen = 0;
  Detail->BeforePrint = [&](TQRCustomBand*, bool&) {
    if (++seen == 120) throw EDatabaseError("the server went away");
  };
  Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
  try {
    Report->GeneratePages();
    ADD_FAILURE() << "the failure was not raised";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "the server went away");
  }
  ExpectRestored();
  EXPECT_NE(Report->QRPrinter()->Status(), qsBusy);
  Detail->BeforePrint = nullptr;
  Run();
  EXPECT_GT(PageCount(), 300);
}

TEST_F(PassEnd, APreviewPassRunsOnItsOwnThreadAndCanBeWaitedFor) {
  TQRPrinter::PreviewInterface = nullptr;
  const QStringList connections = QSqlDatabase::connectionNames();
  Report->StartPreview(false);
  EXPECT_TRUE(Report->GenerationRunning());
  QElapsedTimer timer;
  timer.start();
  while (Report->GenerationRunning() && timer.elapsed() < 60000) QCoreApplication::processEvents();
  EXPECT_FALSE(Report->GenerationRunning());
  ASSERT_NE(Report->QRPrinter(), nullptr);
  EXPECT_EQ(Report->QRPrinter()->Status(), qsFinished);
  EXPECT_GT(Report->QRPrinter()->PageList().TotalPages(), 300);
  // The dataset the thread walked is open again here, on a connection made here: the
  // thread's went with it.
  EXPECT_TRUE(Numbers->Active());
  EXPECT_EQ(QSqlDatabase::connectionNames().size(), connections.size());
  EXPECT_NE(QSqlDatabase::connectionNames(), connections);
  Numbers->First();
  EXPECT_EQ(Numbers->FieldByName("id")->AsInteger(), 1);
  ExpectRestored();
}

// What a preview does: show each page as soon as it is announced, while the thread is
// still appending the ones after it.
TEST_F(PassEnd, PagesAreReadAndShownWhileTheThreadStillAppends) {
  TQRPrinter::PreviewInterface = nullptr;
  Report->StartPreview(false);
  QImage screen(210, 297, QImage::Format_RGB32);
  int shown = 0, shownWhileRunning = 0;
  QElapsedTimer timer;
  timer.start();
  for (bool running = true; running && timer.elapsed() < 60000;) {
    running = Report->GenerationRunning();
    QCoreApplication::processEvents();
    TQRPrinter* printer = Report->QRPrinter();
    if (!printer) continue;
    while (shown < printer->PageList().TotalPages()) {
      std::unique_ptr<TMetafile> page = printer->PageList().ReadPage(shown + 1);
      ASSERT_NE(page, nullptr) << shown + 1;
      screen.fill(Qt::white);
      QPainter painter(&screen);
      const TMetafilePlayStats played = PlayMetafile(*page, painter, QRectF(screen.rect()));
      // A full page of detail lines, all of them whole.
      EXPECT_GT(played.Records, 50u) << shown + 1;
      EXPECT_EQ(played.Malformed, 0u) << shown + 1;
      ++shown;
      if (running) ++shownWhileRunning;
    }
  }
  EXPECT_FALSE(Report->GenerationRunning());
  EXPECT_EQ(shown, Report->QRPrinter()->PageList().TotalPages());
  EXPECT_GT(shownWhileRunning, 0);
  ExpectRestored();
}

// A render that writes pages as they come: the report's thread hands each page over and
// the store keeps none; the pass's failure is raised on the calling thread.
TEST_F(PassEnd, AGenerationOnTheThreadHandsOverEveryPageAndKeepsNone) {
  Report->SetQRPrinter(std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()}));
  std::vector<int> records;
  std::atomic<bool> ended{false};
  Report->QRPrinter()->OnPageRecorded = [&records](std::unique_ptr<TMetafile> page) {
    records.push_back(static_cast<int>(page->Header().Records));
  };
  Report->StartGeneration([&ended] { ended = true; });
  Report->EndGeneration();
  EXPECT_TRUE(ended);
  EXPECT_EQ(Report->QRPrinter()->Status(), qsFinished);
  EXPECT_GT(records.size(), 300u);
  EXPECT_EQ(static_cast<int>(records.size()), Report->QRPrinter()->TotalPages());
  EXPECT_EQ(Report->QRPrinter()->PageList().TotalPages(), 0);
  EXPECT_GT(records.front(), 50);
  EXPECT_TRUE(Numbers->Active());
  ExpectRestored();

  int seen = 0;
  Detail->BeforePrint = [&](TQRCustomBand*, bool&) {
    if (++seen == 120) throw EDatabaseError("the server went away");
  };
  Report->StartGeneration(nullptr);
  EXPECT_THROW(Report->EndGeneration(), EQRError);
  ExpectRestored();
}

TEST_F(PassEnd, AReportDestroyedWhilePreviewingCancelsAndWaits) {
  std::atomic<int> printed{0};
  Detail->AfterPrint = [&printed](TQRCustomBand*, bool) { ++printed; };
  Report->StartPreview(false);
  while (printed.load() < 50) QCoreApplication::processEvents();
  Report->Free();
  Report = nullptr;
  // Nothing runs any more: the count stays where it stopped.
  const int stopped = printed.load();
  QCoreApplication::processEvents();
  EXPECT_EQ(printed.load(), stopped);
  EXPECT_LT(stopped, 20000);
}

class CollectingFilter : public TQRExportFilter {
 public:
  using TQRExportFilter::TQRExportFilter;
  void Start(TCustomQuickRep&) override { ++Starts; }
  void Band(const TQRCustomBand& band, const std::vector<TQRExportItem>& items) override {
    Bands.push_back(band.Name());
    Rows.push_back(items);
  }
  void End() override { ++Ends; }
  int Starts = 0, Ends = 0;
  std::vector<std::string> Bands;
  std::vector<std::vector<TQRExportItem>> Rows;
};

// A preview's Print or Save asked for right at the end of its pass, before the pass's
// last news is handled: the ended thread is joined and the export runs, not refused.
TEST_F(PassEnd, AnExportRightAfterAPreviewPassEndedRunsNotRefused) {
  TQRPrinter::PreviewInterface = nullptr;
  Report->StartPreview(false);
  QElapsedTimer timer;
  timer.start();
  // The pass ends on its thread; its news stays queued (no events are handled here).
  while (!(Report->Idle() && Report->QRPrinter()->Status() == qsFinished) && timer.elapsed() < 60000)
    QThread::msleep(1);
  ASSERT_TRUE(Report->GenerationRunning());
  CollectingFilter filter("unused");
  Report->ExportToFilter(filter);
  EXPECT_FALSE(Report->GenerationRunning());
  EXPECT_EQ(filter.Starts, 1);
  EXPECT_EQ(filter.Ends, 1);
  EXPECT_GT(filter.Bands.size(), 300u);
  // The queued news of the ended pass finds nothing more to do.
  QCoreApplication::processEvents();
  ASSERT_NE(Report->QRPrinter(), nullptr);
  EXPECT_EQ(Report->QRPrinter()->Status(), qsFinished);
  ExpectRestored();
}

TEST_F(PassEnd, AnExportPassHandsOverEveryBandWithItsTextsAndValues) {
  Numbers->Close();
  Numbers->SetTableName("n");
  Report->SetDataSet(Query("select id, amount from n where id <= 3 order by id"));
  DataSets.back()->Open();
  Memo->Free();
  Memo = nullptr;
  TQRDBText* id = static_cast<TQRDBText*>(Report->FindComponent("Id"));
  id->SetDataSet(DataSets.back());
  auto* amount = Field(Detail, "Amount", DataSets.back(), "amount", 30);
  amount->SetMask("0.00");
  Label(Detail, "Note", "each", 60);
  auto* total = Expr(Band(rbSummary, "Summary", 5), "Total", "SUM(QUERY.amount)", 0);
  DataSets.back()->SetName("Query");
  total->SetMaster(Report);
  CollectingFilter filter("out.csv");
  Report->ExportToFilter(filter);
  EXPECT_EQ(filter.Starts, 1);
  EXPECT_EQ(filter.Ends, 1);
  EXPECT_EQ(filter.Bands, (std::vector<std::string>{"Detail", "Detail", "Detail", "Summary"}));
  ASSERT_EQ(filter.Rows[2].size(), 3u);
  // Left to right: the id, the amount (its text by the mask, its value the number), the label.
  EXPECT_EQ(filter.Rows[2][0].Text, "3");
  EXPECT_EQ(filter.Rows[2][0].Value.Int, 3);
  EXPECT_EQ(filter.Rows[2][1].Text, "0.75");
  EXPECT_DOUBLE_EQ(filter.Rows[2][1].Value.Float, 0.75);
  EXPECT_EQ(filter.Rows[2][2].Text, "each");
  EXPECT_EQ(filter.Rows[3][0].Text, "1.5");
  EXPECT_EQ(filter.Rows[3][0].Value.Type, TVariant::varDouble);
  // Nothing was drawn: the export pass keeps no pages.
  EXPECT_TRUE(Report->OutputPass());

  // The pages of a finished pass hand an export to their report, which keeps its pages.
  Run();
  TQRPrinter* pages = Report->QRPrinter();
  const int32_t pageCount = pages->PageList().TotalPages();
  CollectingFilter again("again.csv");
  pages->ExportVia(again);
  EXPECT_EQ(again.Bands, filter.Bands);
  EXPECT_EQ(Report->QRPrinter(), pages);
  EXPECT_EQ(pages->PageList().TotalPages(), pageCount);
}

}  // namespace
}  // namespace rpt::test
