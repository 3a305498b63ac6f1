// F9 with the standard preview registered: the window opens on the active document's
// report while its pages are generated on the report's thread, shows the first page
// before the end, keeps Load, Save and Print off until the pass is over, and closing it
// in the middle stops the pass, whose thread is then joined.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "data/DBTables.h"
#include "framework/Application.h"
#include "output/QRPrev.h"
#include "report/QRDataCtrls.h"
#include "tests/support/SqliteExec.h"
#include "tests/app/ShellFixture.h"

namespace rpt {
namespace {

struct PreviewWindow : test::ShellTest {
  void SetUp() override {
    RegisterStandardPreview();
    ::setenv("RPT_DATA_DIR", dir.path().toStdString().c_str(), 1);
    // Enough lines for a pass of many pages that runs well past the first.
    test::RunSqlite(dir.filePath("lines.db").toStdString(),
                    "CREATE TABLE lines(id INTEGER PRIMARY KEY, product VARCHAR(40));"
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) "
                    "INSERT INTO lines SELECT i, 'Product ' || i FROM n;");
    ShellTest::SetUp();
  }

  void TearDown() override {
    ShellTest::TearDown();
    SetPreviewInterfaceClass(nullptr);
  }

  // A new document over the lines, one data field a detail line.
  TfrmDoc* LinesDocument() {
    frmMain->Action("actNew")->trigger();
    TfrmDoc* doc = frmMain->ActiveDocument();
    auto* table = TComponent::Create<TTable>(doc);
    table->SetDatabaseName("lines");
    table->SetTableName("lines");
    doc->AssignDataSet(table);
    auto* field = TComponent::Create<TQRDBText>(doc->Report);
    field->SetName("Product");
    field->SetParent(doc->Report->FindBand(rbDetail));
    field->SetDataSet(table);
    field->SetDataField("product");
    return doc;
  }

  // F9's command, as the idle update rules leave it.
  static void Preview() {
    frmMain->ActionList()->UpdateActions();
    TAction* preview = frmMain->Action("actPreview");
    ASSERT_TRUE(preview->isEnabled());
    preview->trigger();
  }

  // Runs `steps` from the preview's own event loop once its first page shows.
  static void WhenFirstPageShows(std::function<void(TQRStandardPreview*)> steps) {
    auto poll = std::make_shared<std::function<void(int)>>();
    // Holds itself weakly (a strong self-reference is never freed); the timers hold it.
    *poll = [weak = std::weak_ptr(poll), steps](int tries) {
      auto poll = weak.lock();
      if (!poll) return;
      auto* w = dynamic_cast<TQRStandardPreview*>(QApplication::activeModalWidget());
      if (!w || !w->QRPreview()->Image()->HasPage()) {
        if (tries > 0) QTimer::singleShot(10, [poll, tries] { (*poll)(tries - 1); });
        return;
      }
      steps(w);
    };
    QTimer::singleShot(10, [poll] { (*poll)(2000); });
  }
};

TEST_F(PreviewWindow, F9ShowsTheFirstPageWhileGeneratingAndClosingStopsThePass) {
  TfrmDoc* doc = LinesDocument();
  bool shown = false, generating = false, commandsOff = false, thread = false;
  QString caption;
  WhenFirstPageShows([&](TQRStandardPreview* w) {
    shown = true;
    generating = !w->GenerationOver();
    caption = w->PanelText(1);
    commandsOff = !w->Command("LoadReport")->isEnabled() && !w->Command("SaveReport")->isEnabled() &&
                  !w->Command("Print")->isEnabled();
    thread = doc->Report->GenerationRunning();
    w->ExitButton()->click();
  });
  QElapsedTimer timer;
  timer.start();
  Preview();  // modal: returns once the window closed
  ASSERT_TRUE(shown) << (errors.empty() ? "no error" : errors.front());
  ASSERT_TRUE(generating) << "the pass ended before its first page showed";
  EXPECT_TRUE(thread);
  EXPECT_TRUE(commandsOff);
  EXPECT_TRUE(caption.startsWith("Page 1 of ")) << caption.toStdString();
  // The pass stops soon after and its thread is joined; the printer goes with it.
  while (doc->Report->GenerationRunning() && timer.elapsed() < 20000) QTest::qWait(5);
  EXPECT_FALSE(doc->Report->GenerationRunning());
  EXPECT_EQ(doc->Report->QRPrinter(), nullptr);
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors.front());
  EXPECT_FALSE(QApplication::activeModalWidget());
  // The document can preview again at once.
  WhenFirstPageShows([](TQRStandardPreview* w) { w->close(); });
  Preview();
  while (doc->Report->GenerationRunning() && timer.elapsed() < 40000) QTest::qWait(5);
  EXPECT_FALSE(doc->Report->GenerationRunning());
}

TEST_F(PreviewWindow, TheCountGrowsToTheEndAndThenSaveAndPrintAreOn) {
  TfrmDoc* doc = LinesDocument();
  // A shorter report: every page is made before the window closes.
  static_cast<TTable*>(doc->DataSet)->Close();
  test::RunSqlite(dir.filePath("lines.db").toStdString(), "DELETE FROM lines WHERE id > 600;");
  std::vector<QString> captions;
  bool over = false, saveOn = false, printOn = false;
  WhenFirstPageShows([&](TQRStandardPreview* w) {
    QElapsedTimer timer;
    timer.start();
    while (!w->GenerationOver() && timer.elapsed() < 20000) {
      captions.push_back(w->PanelText(1));
      QTest::qWait(5);
    }
    QTest::qWait(50);
    over = w->GenerationOver();
    captions.push_back(w->PanelText(1));
    saveOn = w->Command("SaveReport")->isEnabled();
    printOn = w->Command("Print")->isEnabled();
    w->close();
  });
  Preview();
  EXPECT_TRUE(over);
  EXPECT_TRUE(saveOn);
  EXPECT_TRUE(printOn);
  ASSERT_FALSE(captions.empty());
  // 600 lines of 5 mm on A4 pages.
  EXPECT_EQ(captions.back().toStdString().rfind("Page 1 of ", 0), 0u);
  const int pages = captions.back().mid(10).toInt();
  EXPECT_GT(pages, 5);
  for (const QString& c : captions) EXPECT_LE(c.mid(10).toInt(), pages);
  QElapsedTimer timer;
  timer.start();
  while (doc->Report->GenerationRunning() && timer.elapsed() < 10000) QTest::qWait(5);
  EXPECT_FALSE(doc->Report->GenerationRunning());
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors.front());
}

}  // namespace
}  // namespace rpt
