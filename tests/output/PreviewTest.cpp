// The preview control and the standard preview window over a report printer: zoom and
// page navigation, the printer's news while a pass runs on another thread, what the
// tool bar allows while generating, after it and for a loaded file, closing in the
// middle of a pass, and saving and loading recordings.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "framework/Application.h"
#include "objects/Format.h"
#include "output/QRPageFilters.h"
#include "output/QRPageImage.h"
#include "output/QRPrev.h"

#include <QDockWidget>
#include <QTreeWidget>

namespace rpt {
namespace {

namespace fs = std::filesystem;

// Qt paints shown windows with help from its own thread pool, which the thread checker
// cannot see into (Qt is not instrumented) and reports: under the checker the tests
// leave windows hidden, and what only a shown window can tell is left to the plain build.
#ifdef __SANITIZE_THREAD__
constexpr bool kThreadChecker = true;
#else
constexpr bool kThreadChecker = false;
#endif

// A printer with no devices: previews and recordings need none.
std::unique_ptr<TQRPrinter> NewPrinter() {
  auto printer = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{});
  printer->SetPaperSize(TQRPaperSize::A4);
  return printer;
}

void DrawPage(TQRPrinter& printer, int n) {
  printer.PageCanvas()->Font()->SetSize(24);
  printer.PageCanvas()->TextOut(printer.XToDevice(200), printer.YToDevice(200), Format("Page %d", n));
}

// Records pages on the calling thread and finishes.
void RunPages(TQRPrinter& printer, int pages) {
  printer.OpenDocument();
  for (int i = 1; i <= pages; ++i) {
    printer.NewPage();
    DrawPage(printer, i);
  }
  printer.CloseDocument();
}

// A pass on a thread of its own, as the report runs a preview's: it makes a page each
// time the test allows one, reports progress, and stops when the printer is cancelled.
class TPass {
 public:
  TPass(TQRPrinter& printer, int pages) : FPrinter(printer), FPages(pages) {}
  ~TPass() { Join(); }
  void Start() {
    FThread = std::thread([this] {
      FPrinter.OpenDocument();
      for (int i = 1; i <= FPages; ++i) {
        while (FAllowed.load() < i && !FPrinter.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (FPrinter.Cancelled()) {
          FPrinter.AbandonDocument();
          FStopped = true;
          return;
        }
        FPrinter.NewPage();
        DrawPage(FPrinter, i);
        FPrinter.ReportProgress(i * 100 / FPages);
      }
      FPrinter.CloseDocument();
    });
  }
  void Allow(int pages) { FAllowed = pages; }
  void Join() {
    if (FThread.joinable()) FThread.join();
  }
  bool Stopped() const { return FStopped; }

 private:
  TQRPrinter& FPrinter;
  int FPages;
  std::atomic<int> FAllowed{0};
  std::atomic<bool> FStopped{false};
  std::thread FThread;
};

// Lets posted news arrive until the condition holds (or five seconds pass).
template <class F>
bool WaitFor(F condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition() && timer.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class PreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("preview-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(Dir);
    Preview = TComponent::Create<TQRPreview>(nullptr);
    Preview->SetBounds(0, 0, 500, 400);
  }
  void TearDown() override {
    if (Preview) Preview->Free();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* window = dynamic_cast<TQRStandardPreview*>(w)) delete window;
    fs::remove_all(Dir);
  }
  std::string File(const std::string& name) const { return (Dir / name).string(); }

  // A finished printer of `pages` A4 pages.
  std::unique_ptr<TQRPrinter> Finished(int pages) {
    auto printer = NewPrinter();
    RunPages(*printer, pages);
    return printer;
  }

  TQRStandardPreview* Window(TQRPrinter* printer) {
    auto* window = new TQRStandardPreview(nullptr, printer);
    window->resize(800, 600);
    return window;
  }

  static bool Enabled(TQRStandardPreview* w, const char* name) { return w->Command(name)->isEnabled(); }

  fs::path Dir;
  TQRPreview* Preview = nullptr;
};

TEST_F(PreviewTest, ZoomIsClampedAndFitsTheControl) {
  // Without pages the page is the Letter entry taken as pixels.
  EXPECT_EQ(Preview->Zoom(), 100);
  EXPECT_EQ(Preview->ZoomMode(), zmFree);
  Preview->SetZoom(1);
  Preview->SetZoom(2001);
  EXPECT_EQ(Preview->Zoom(), 100);
  Preview->SetZoom(2);
  EXPECT_EQ(Preview->Zoom(), 2);
  Preview->SetZoom(2000);
  EXPECT_EQ(Preview->Zoom(), 2000);
  Preview->FitToWidth();
  EXPECT_EQ(Preview->Zoom(), 220);  // nearest(500 / 215.9 x 95)
  EXPECT_EQ(Preview->ZoomMode(), zmFitWidth);

  // An A4 page (794 pixels wide at 100 %) in a control 500 wide: 90 % of the width.
  auto printer = Finished(1);
  Preview->SetPageSource(printer.get());
  ASSERT_TRUE(Preview->Image()->HasPage());
  ASSERT_EQ(Preview->Image()->PageSize()->width(), 794);
  Preview->FitToWidth();
  EXPECT_EQ(Preview->Zoom(), 57);  // nearest(500 / 794 x 90)
  EXPECT_EQ(Preview->Image()->Width(), 457);  // nearest(794 x 0.57) + 4
  EXPECT_EQ(Preview->Image()->Left(), 21);

  // Fit to page: the tighter direction (the height: 400 / 1123 x 95 = 34).
  Preview->FitToPage();
  EXPECT_EQ(Preview->ZoomMode(), zmFitPage);
  EXPECT_EQ(Preview->Zoom(), 34);
  EXPECT_EQ(Preview->Image()->Top(), (400 - Preview->Image()->Height()) / 2);
  // The mode follows a resize; a zoom set by hand ends it.
  Preview->SetBounds(0, 0, 500, 800);
  EXPECT_EQ(Preview->Zoom(), 60);  // now the width: 500 / 794 x 95
  Preview->SetZoom(150);
  EXPECT_EQ(Preview->ZoomMode(), zmFree);
  Preview->SetBounds(0, 0, 300, 300);
  EXPECT_EQ(Preview->Zoom(), 150);
  // Ctrl+wheel zooms a step and back; the plain wheel scrolls the large page.
  Preview->ZoomBy(1);
  EXPECT_EQ(Preview->Zoom(), 188);
  Preview->ZoomBy(-1);
  EXPECT_EQ(Preview->Zoom(), 150);
  TMessage wheel(WM_MOUSEWHEEL);
  wheel.WheelDelta = -120;
  Perform(Preview, wheel);
  EXPECT_GT(Preview->ScrollPos().Y, 0);
  wheel.Shift = TShiftState{ssCtrl};
  wheel.WheelDelta = 120;
  Perform(Preview->Image(), wheel);
  EXPECT_EQ(Preview->Zoom(), 188);
  EXPECT_EQ(Preview->ScrollPos().Y, 0);
  Preview->SetPageSource(nullptr);
}

TEST_F(PreviewTest, PagesOutsideTheRecordingAreIgnored) {
  auto printer = Finished(5);
  Preview->SetPageSource(printer.get());
  EXPECT_EQ(printer->NotifyWindow.load(), Preview);
  EXPECT_TRUE(printer->PreviewShown());
  EXPECT_EQ(Preview->PageNumber(), 1);
  Preview->SetZoom(300);
  Preview->ScrollBy(0, -200);
  ASSERT_GT(Preview->ScrollPos().Y, 0);
  Preview->SetPageNumber(3);
  EXPECT_EQ(Preview->PageNumber(), 3);
  EXPECT_EQ(Preview->Image()->PageNumber(), 3);
  EXPECT_EQ(Preview->ScrollPos().Y, 0);
  for (int bad : {0, -1, 6}) {
    Preview->SetPageNumber(bad);
    EXPECT_EQ(Preview->PageNumber(), 3) << bad;
  }
  // The picture is drawn once for a page and size, again only when either changes.
  const int before = Preview->Image()->RenderCount();
  EXPECT_FALSE(Preview->Image()->PageImage().isNull());
  EXPECT_FALSE(Preview->Image()->PageImage().isNull());
  EXPECT_EQ(Preview->Image()->RenderCount(), before + 1);
  Preview->SetZoom(50);
  EXPECT_EQ(Preview->Image()->PageImage().width(), Preview->Image()->Width() - 4);
  EXPECT_EQ(Preview->Image()->RenderCount(), before + 2);
  // Detaching ends the preview state and the notifications.
  Preview->SetPageSource(nullptr);
  EXPECT_EQ(printer->NotifyWindow.load(), nullptr);
  EXPECT_FALSE(printer->PreviewShown());
}

TEST_F(PreviewTest, FollowsThePassesNewsAndShowsTheFirstPageFittedToWidth) {
  auto printer = NewPrinter();
  std::vector<int32_t> available, progress;
  Preview->OnPageAvailable = [&](TObject*, int32_t n) { available.push_back(n); };
  Preview->OnProgressUpdate = [&](TObject*, int32_t p) { progress.push_back(p); };
  Preview->SetPageSource(printer.get());
  Preview->SetZoom(100);  // pressed before the first page is there
  TPass pass(*printer, 4);
  pass.Start();
  EXPECT_FALSE(Preview->Image()->HasPage());
  pass.Allow(2);  // page 1 is complete once page 2 begins
  ASSERT_TRUE(WaitFor([&] { return Preview->Image()->HasPage(); }));
  EXPECT_EQ(Preview->ZoomMode(), zmFitWidth);
  EXPECT_EQ(Preview->Zoom(), 57);  // nearest(500 / 794 x 90)
  EXPECT_TRUE(printer->DocumentOpen());
  pass.Allow(4);
  ASSERT_TRUE(WaitFor([&] { return !available.empty() && available.back() == 4; }));
  pass.Join();
  // Closed only once the store's header is written.
  EXPECT_FALSE(printer->DocumentOpen());
  EXPECT_EQ(printer->PageList().ReadHeaderInfo().PageCount, 4);
  EXPECT_EQ(available, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(progress, (std::vector<int32_t>{25, 50, 75, 100}));
  // Counts travel whole, past 16 bits.
  PostMessage(Preview, CM_QRPAGEAVAILABLE, 70000);
  ASSERT_TRUE(WaitFor([&] { return available.back() == 70000; }));
  EXPECT_EQ(Preview->AvailablePages(), 70000);
  Preview->SetPageSource(nullptr);
}

TEST_F(PreviewTest, AFreedPrinterLeavesThePreviewEmpty) {
  auto printer = Finished(2);
  Preview->SetPageSource(printer.get());
  printer.reset();
  EXPECT_EQ(Preview->PageSource(), nullptr);
  EXPECT_FALSE(Preview->Image()->HasPage());
  Preview->SetPageNumber(2);
  EXPECT_EQ(Preview->PageNumber(), 1);
}

TEST_F(PreviewTest, WindowCaptionProgressAndNavigation) {
  auto printer = Finished(3);
  printer->Title = "Orders";
  TQRStandardPreview* w = Window(printer.get());
  EXPECT_EQ(w->windowTitle(), "Orders");
  w->UpdatePageCaption();
  EXPECT_EQ(w->PanelText(1), "Page 1 of 3");
  EXPECT_EQ(w->QRPreview()->ZoomMode(), zmFitWidth);
  EXPECT_TRUE(w->Command("ZoomToWidth")->isChecked());

  // Progress shows in steps of five and is cleared at 0 and 100; a finished printer
  // shows none.
  EXPECT_EQ(w->PanelText(0), "");
  auto progress = [&](int p) {
    PostMessage(w->QRPreview(), CM_QRPROGRESSUPDATE, p);
    QCoreApplication::processEvents();
  };
  progress(3);
  EXPECT_EQ(w->PanelText(0), "");
  progress(5);
  EXPECT_EQ(w->PanelText(0), "5%");
  progress(35);
  EXPECT_EQ(w->PanelText(0), "35%");
  progress(100);
  EXPECT_EQ(w->PanelText(0), "");

  // Keys: Page Down, Ctrl+Page Down to the last, Shift+Ctrl+Page Down one page, Home,
  // End, Page Up and Ctrl+Page Up to the first.
  auto key = [&](uint16_t k, TShiftState shift = {}) {
    w->FormKeyDown(k, shift);
    return w->QRPreview()->PageNumber();
  };
  EXPECT_EQ(key(VK_NEXT), 2);
  EXPECT_EQ(key(VK_NEXT), 3);
  EXPECT_EQ(key(VK_NEXT), 3);
  EXPECT_EQ(key(VK_HOME), 1);
  EXPECT_EQ(key(VK_NEXT, TShiftState{ssCtrl}), 3);
  EXPECT_EQ(key(VK_PRIOR, TShiftState{ssCtrl}), 1);
  EXPECT_EQ(key(VK_NEXT, TShiftState{ssShift, ssCtrl}), 2);
  EXPECT_EQ(key(VK_END), 3);
  EXPECT_EQ(key(VK_PRIOR), 2);
  EXPECT_EQ(w->PanelText(1), "Page 2 of 3");
  w->Command("FirstPage")->trigger();
  EXPECT_EQ(w->PanelText(1), "Page 1 of 3");
  w->Command("LastPage")->trigger();
  EXPECT_EQ(w->PanelText(1), "Page 3 of 3");
  w->Command("PreviousPage")->trigger();
  w->Command("ToolButton2")->trigger();
  w->Command("ToolButton2")->trigger();
  EXPECT_EQ(w->PanelText(1), "Page 3 of 3");
  w->Command("Zoom100")->trigger();
  EXPECT_EQ(w->QRPreview()->Zoom(), 100);
  w->Command("ZoomFit")->trigger();
  EXPECT_EQ(w->QRPreview()->ZoomMode(), zmFitPage);

  // The page shows on screen: white paper with black text inside the grey.
  if (!kThreadChecker) {
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    EXPECT_TRUE(w->centralWidget()->isVisible());
    const QImage shown = w->grab(w->centralWidget()->geometry()).toImage();
    int white = 0, dark = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) {
        const int gray = qGray(shown.pixel(x, y));
        white += gray == 255;
        dark += gray < 80;
      }
    EXPECT_GT(white, shown.width() * shown.height() / 10);
    EXPECT_GT(dark, 100);
  }

  // Escape closes: the printer is no longer previewed.
  QPointer<TQRStandardPreview> alive(w);
  uint16_t escape = VK_ESCAPE;
  w->FormKeyDown(escape, {});
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull());
  EXPECT_FALSE(printer->PreviewShown());
  EXPECT_EQ(printer->NotifyWindow.load(), nullptr);
}

TEST_F(PreviewTest, SaveLoadAndPrintWaitForTheEndOfThePass) {
  const std::string recorded = File("earlier.qrp");
  {
    auto other = Finished(2);
    other->SaveRecording(recorded);
  }
  auto printer = NewPrinter();
  TPass pass(*printer, 3);
  pass.Start();
  TQRStandardPreview* w = Window(printer.get());
  bool asked = false;
  w->LoadDialog = [&]() -> std::optional<std::string> {
    asked = true;
    return recorded;
  };
  w->SaveDialog = [&]() -> std::optional<std::pair<std::string, int>> {
    asked = true;
    return std::make_pair(File("half.qrp"), 0);
  };
  pass.Allow(2);
  ASSERT_TRUE(WaitFor([&] { return w->PanelText(1) == "Page 1 of 2"; }));
  // Generating: the page store is being written.
  for (const char* name : {"LoadReport", "SaveReport", "Print", "PrintSetup"}) EXPECT_FALSE(Enabled(w, name)) << name;
  EXPECT_NE(w->PanelText(0), "") << "the progress shows while the pages are made";
  w->LoadClick();
  w->SaveClick();
  w->LoadFrom(recorded);
  EXPECT_FALSE(asked);
  EXPECT_FALSE(printer->LoadedFromFile());
  EXPECT_FALSE(fs::exists(File("half.qrp")));

  pass.Allow(3);
  pass.Join();
  ASSERT_TRUE(WaitFor([&] { return w->PanelText(1) == "Page 1 of 3"; }));
  for (const char* name : {"LoadReport", "SaveReport", "Print", "PrintSetup"}) EXPECT_TRUE(Enabled(w, name)) << name;
  EXPECT_EQ(w->PanelText(0), "") << "a pass that reported no progress leaves no figure behind";

  // Loaded from a file: printing prints the file's pages; no printer setup.
  w->LoadClick();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(printer->LoadedFromFile());
  EXPECT_EQ(w->PanelText(1), "Page 1 of 2");
  EXPECT_TRUE(w->QRPreview()->Image()->HasPage());
  EXPECT_TRUE(Enabled(w, "Print"));
  EXPECT_FALSE(Enabled(w, "PrintSetup"));
  EXPECT_TRUE(Enabled(w, "LoadReport"));
  EXPECT_TRUE(Enabled(w, "SaveReport"));
}

TEST_F(PreviewTest, ClosingInTheMiddleOfThePassStopsIt) {
  auto printer = NewPrinter();
  TPass pass(*printer, 50);
  pass.Start();
  TQRStandardPreview* w = Window(printer.get());
  pass.Allow(3);
  ASSERT_TRUE(WaitFor([&] { return w->QRPreview()->AvailablePages() >= 2; }));
  w->Command("ZoomFit")->trigger();
  w->ExitButton()->click();
  pass.Join();
  EXPECT_TRUE(pass.Stopped());
  EXPECT_TRUE(printer->Cancelled());
  EXPECT_EQ(printer->Status(), qsFinished);
  EXPECT_FALSE(printer->DocumentOpen());
  EXPECT_EQ(printer->NotifyWindow.load(), nullptr);
  // News still queued for the gone window is dropped.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
}

TEST_F(PreviewTest, SavesRecordingsAndExportsAndLoadsThemBack) {
  auto printer = Finished(3);
  TQRStandardPreview* w = Window(printer.get());
  const std::string file = File("three.qrp");
  w->SaveTo(file, 0);
  ASSERT_TRUE(fs::exists(file));

  // An export filter of pages gets every page; a filter that fails leaves the pages.
  int written = 0;
  ExportFilters().AddFilter({[&written](const std::string& name) {
                               struct TCount : TQRExportFilter {
                                 int& Written;
                                 TCount(const std::string& n, int& w) : TQRExportFilter(n), Written(w) {}
                                 bool WritesPages() const override { return true; }
                                 void WritePages(TQRPrinter&, int32_t first, int32_t last) override {
                                   if (FileName().find("/missing/") != std::string::npos)
                                     throw EQRError("Cannot create " + FileName());
                                   Written = last - first + 1;
                                 }
                               };
                               return std::make_unique<TCount>(name, written);
                             },
                             "Page count", "cnt"});
  const int choice = static_cast<int>(ExportFilters().Filters().size());
  w->SaveTo(File("pages.cnt"), choice);
  EXPECT_EQ(written, 3);
  EXPECT_THROW(w->SaveTo(File("missing/pages.cnt"), choice), EQRError);
  EXPECT_THROW(w->SaveTo(File("x.unknown"), choice + 1), EQRError);
  // A typed extension chooses its type whatever the dialog's choice; others keep it.
  EXPECT_EQ(TQRStandardPreview::ChoiceForName(File("typed.CNT"), 0), choice);
  EXPECT_EQ(TQRStandardPreview::ChoiceForName(File("typed.qrp"), choice), 0);
  EXPECT_EQ(TQRStandardPreview::ChoiceForName(File("typed.txt"), choice), choice);
  EXPECT_EQ(TQRStandardPreview::ChoiceForName(File("typed"), 0), 0);
  // Past three quarters of the page store's room the window warns while pages come.
  EXPECT_EQ(TQRStandardPreview::StoreWarning(int64_t{1} << 30), "");
  EXPECT_EQ(TQRStandardPreview::StoreWarning(int64_t{1700} << 20).rfind("The pages take 1700 MB of the 2048 MB", 0), 0u);
  ExportFilters().RemoveFilter("cnt");
  // An unwritable folder fails with a message; nothing is left half written.
  EXPECT_ANY_THROW(w->SaveTo(File("missing/three.qrp"), 0));
  EXPECT_EQ(printer->TotalPages(), 3);

  // Loading back into a window over another printer.
  auto other = Finished(1);
  TQRStandardPreview* back = Window(other.get());
  back->LoadFrom(file);
  EXPECT_EQ(other->TotalPages(), 3);
  EXPECT_EQ(back->PanelText(1), "Page 1 of 3");
  back->LastPageClick();
  ASSERT_TRUE(back->QRPreview()->Image()->HasPage());
  auto original = printer->PageImage(3);
  EXPECT_EQ(back->QRPreview()->Image()->PageImage(), RenderPageImage(*original, back->QRPreview()->Image()->Width() - 4,
                                                                      back->QRPreview()->Image()->Height() - 4));

  // A damaged file: the message, and the pages on show stay.
  const std::string damaged = File("damaged.qrp");
  {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 2);
    std::ofstream(damaged, std::ios::binary) << bytes;
  }
  EXPECT_ANY_THROW(back->LoadFrom(damaged));
  std::ofstream(File("empty.qrp")) << "";
  EXPECT_ANY_THROW(back->LoadFrom(File("empty.qrp")));
  EXPECT_EQ(other->TotalPages(), 3);
  EXPECT_EQ(back->QRPreview()->PageNumber(), 3);
  EXPECT_TRUE(back->QRPreview()->Image()->HasPage());
  EXPECT_NE(other->PageImage(2), nullptr);
  // A missing file says so.
  std::string shown;
  SetMessageBoxHook([&shown](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    shown = text;
    return static_cast<int>(mrOk);
  });
  back->LoadDialog = [&]() -> std::optional<std::string> { return File("nothing.qrp"); };
  back->LoadClick();
  SetMessageBoxHook(nullptr);
  EXPECT_EQ(shown, "File does not exist");
  EXPECT_EQ(other->TotalPages(), 3);
}

TEST_F(PreviewTest, TheWindowOutlinesBookmarksFollowsLinksAndShowsThePageCountOnceKnown) {
  auto printer = NewPrinter();
  const auto page = [&printer](int n) {
    printer->NewPage();
    TCanvas& canvas = *printer->PageCanvas();
    canvas.Font()->SetSize(24);
    canvas.AnchoredTextOut(printer->XToDevice(1900), printer->YToDevice(200), "of \xEF\xB7\x90", taRightJustify);
    canvas.Annotate({TPageAnnotation::akBookmark, n == 1 ? 0 : 1, {0, 300 + n, 10, 320}, Format("Part %d", n)});
    if (n != 1) return;
    canvas.Annotate({TPageAnnotation::akLink, 0, {100, 100, 300, 140}, "#Part 3"});
    canvas.Annotate({TPageAnnotation::akLink, 0, {100, 200, 300, 240}, "https://example.com/a"});
    canvas.Annotate({TPageAnnotation::akLink, 0, {100, 400, 300, 440}, "file:///etc/passwd"});
  };
  printer->PrintsPageCount = true;  // as a report that prints its count sets it
  printer->OpenDocument();
  page(1);
  page(2);
  TQRStandardPreview* w = Window(printer.get());
  std::vector<std::string> opened;
  w->OpenAddress = [&opened](const std::string& address) { opened.push_back(address); };
  TQRPreviewImage& image = *w->QRPreview()->Image();
  ASSERT_TRUE(WaitFor([&] { return image.HasPage() && w->Outline()->topLevelItemCount() == 1; }));
  const QImage unknown = image.PageImage();
  EXPECT_EQ(unknown, RenderPageImage(*printer->PageImage(1), unknown.width(), unknown.height()));
  page(3);
  printer->CloseDocument();
  ASSERT_TRUE(WaitFor([&] { return w->GenerationOver() && w->Outline()->topLevelItem(0)->childCount() == 2; }));
  // The page on show is drawn again with the count in place of the "?".
  ASSERT_TRUE(WaitFor([&] { return image.PageImage() != unknown; }));
  EXPECT_EQ(image.PageImage(), RenderPageImage(*printer->PageImage(1), unknown.width(), unknown.height()));
  EXPECT_FALSE(w->OutlineDock()->isHidden());
  QTreeWidgetItem* third = w->Outline()->topLevelItem(0)->child(1);
  EXPECT_EQ(third->text(0), "Part 3");
  emit w->Outline()->itemClicked(third, 0);
  EXPECT_EQ(w->QRPreview()->PageNumber(), 3);

  // Links of page 1, found where the page shows them at its zoom.
  w->FirstPageClick();
  const auto at = [&](int px, int py) {
    const double sx = (image.Width() - 4) / double(printer->PageImage(1)->Width());
    const double sy = (image.Height() - 4) / double(printer->PageImage(1)->Height());
    return image.LinkAt(1 + int(px * sx), 1 + int(py * sy));
  };
  EXPECT_EQ(at(150, 220), "https://example.com/a");
  EXPECT_EQ(at(150, 420), "");  // a file address is never followed
  EXPECT_EQ(at(50, 120), "");
  image.OnLink(at(150, 220));
  EXPECT_EQ(opened, std::vector<std::string>{"https://example.com/a"});
  image.OnLink(at(150, 120));
  EXPECT_EQ(w->QRPreview()->PageNumber(), 3);
  w->FollowLink("file:///etc/passwd");
  EXPECT_EQ(opened.size(), 1u);
}

TEST_F(PreviewTest, SavingAPdfWithTextNoFontShowsSaysSo) {
  if (std::system("fc-list :lang=hi family | grep -q .") == 0) GTEST_SKIP() << "a Devanagari font is installed";
  auto printer = NewPrinter();
  printer->OpenDocument();
  printer->NewPage();
  printer->PageCanvas()->TextOut(100, 100, "\xE0\xA4\x86\xE0\xA4\xA6\xE0\xA5\x87\xE0\xA4\xB6");
  printer->CloseDocument();
  TQRStandardPreview* w = Window(printer.get());
  ExportFilters().AddFilter({[](const std::string& name) { return std::make_unique<TQRPDFFilter>(name); }, "PDF", "pdfx"});
  std::string shown;
  SetMessageBoxHook([&shown](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
    shown = text;
    return static_cast<int>(mrOk);
  });
  w->SaveTo(File("scripts.pdfx"), TQRStandardPreview::ChoiceForName(File("scripts.pdfx"), 0));
  SetMessageBoxHook(nullptr);
  ExportFilters().RemoveFilter("pdfx");
  EXPECT_TRUE(fs::exists(File("scripts.pdfx")));
  EXPECT_NE(shown.find("No installed font shows Devanagari text"), std::string::npos) << shown;
}

TEST_F(PreviewTest, TheStandardInterfaceOpensTheWindowForPrinters) {
  if (kThreadChecker) GTEST_SKIP() << "shows windows";
  auto printer = Finished(2);
  TQRPrinter::PreviewInterface = nullptr;
  printer->ShowPreview();
  EXPECT_EQ(printer->NotifyWindow.load(), nullptr);
  RegisterStandardPreview();
  printer->ShowPreview();
  auto* preview = dynamic_cast<TQRPreview*>(printer->NotifyWindow.load());
  ASSERT_NE(preview, nullptr);
  TQRStandardPreview* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* s = dynamic_cast<TQRStandardPreview*>(w); s && s->QRPreview() == preview) window = s;
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->PanelText(1), "Page 1 of 2");
  // Modal: returns once the window has closed.
  auto closeModal = std::make_shared<std::function<void()>>();
  // Holds itself weakly: a strong self-reference would never be freed.
  *closeModal = [weak = std::weak_ptr(closeModal)] {
    if (auto* s = dynamic_cast<TQRStandardPreview*>(QApplication::activeModalWidget()))
      s->close();
    else if (auto self = weak.lock())
      QTimer::singleShot(10, [self] { (*self)(); });
  };
  QTimer::singleShot(10, [closeModal] { (*closeModal)(); });
  auto modal = Finished(1);
  modal->ShowPreviewModal();
  EXPECT_FALSE(modal->PreviewShown());
  SetPreviewInterfaceClass(nullptr);
  EXPECT_FALSE(TQRPrinter::PreviewInterface);
  // Eleven images of 16 x 16, each with something drawn.
  for (int i = 0; i < 11; ++i) {
    const QImage image = PreviewToolImage(i);
    ASSERT_EQ(image.size(), QSize(16, 16));
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(opaque, 20) << i;
  }
}

}  // namespace
}  // namespace rpt
