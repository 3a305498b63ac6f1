// Printables on a recorded page: text at its native position, AutoStretch growing the
// band while the page has room and carrying the rest over, shapes, frames, and what
// never prints (disabled controls, export passes, an empty memo's name).
#include <QPainter>
#include <chrono>

#include "framework/MetafilePlayer.h"
#include "output/QRPrinter.h"
#include "tests/report/ReportFixture.h"

namespace rpt::test {
namespace {

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

// Seconds of the fastest of three runs.
template <class F>
double BestOfThree(F f) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

class PrintTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    Detail = AddBand(rbDetail, "Detail");
    Detail->Size()->SetHeight(10);  // mm
    Printer = std::make_unique<TQRPrinter>(std::vector<TPrinterDevice>{TPrinter::PdfPrinter()});
    Printer->OpenDocument();
    Printer->NewPage();
  }
  void TearDown() override {
    Printer.reset();
    ReportTest::TearDown();
  }
  // Prints a control at the band position (x, y) in millimetres.
  void PrintOne(TQRPrintable* control, double x = 20, double y = 30) {
    control->Prepare(Printer.get());
    control->PrintAt(x * 10, y * 10);
  }
  // Finishes the page and gives its bytes and its picture.
  std::string FinishPage(QImage* picture = nullptr) {
    Printer->CloseDocument();
    std::unique_ptr<TMetafile> page = Printer->PageImage(1);
    EXPECT_TRUE(page);
    if (!page) return {};
    if (picture) {
      *picture = QImage(page->Width(), page->Height(), QImage::Format_RGB32);
      picture->fill(Qt::white);
      QPainter painter(picture);
      PlayMetafile(*page, painter, QRectF(0, 0, page->Width(), page->Height()));
    }
    return page->Data();
  }
  TRect DeviceRect(double leftMm, double topMm, double widthMm, double heightMm) const {
    return {Printer->XToDevice(leftMm * 10), Printer->YToDevice(topMm * 10), Printer->XToDevice((leftMm + widthMm) * 10),
            Printer->YToDevice((topMm + heightMm) * 10)};
  }
  TQRMemo* Memo(const std::string& name, int lines, bool stretch) {
    auto* memo = Add<TQRMemo>(name, Detail);
    memo->Size()->SetLeft(0);
    memo->Size()->SetTop(0);
    memo->Size()->SetWidth(60);
    memo->Size()->SetHeight(8);
    for (int i = 1; i <= lines; ++i) memo->Lines()->Add(name + " line " + std::to_string(i));
    memo->SetAutoStretch(stretch);
    return memo;
  }

  TQRBand* Detail = nullptr;
  std::unique_ptr<TQRPrinter> Printer;
};

TEST_F(PrintTest, TextLandsWhereTheSizeSaysWithItsFrame) {
  auto* label = Add<TQRLabel>("Total", Detail);
  label->SetCaption("Grand total");
  label->Size()->SetLeft(5);
  label->Size()->SetTop(2);
  label->Frame()->SetDrawBottom(true);
  PrintOne(label);
  QImage picture;
  const std::string bytes = FinishPage(&picture);
  EXPECT_NE(bytes.find(Utf16("Grand total")), std::string::npos);
  const double w = static_cast<double>(label->Size()->Width());
  const double h = static_cast<double>(label->Size()->Height());
  const TRect box = DeviceRect(25, 32, w, h);
  EXPECT_GT(InkInside(picture, box), 20);
  // Nothing above or to the left of it.
  EXPECT_EQ(InkInside(picture, {0, 0, picture.width(), box.Top - 1}), 0);
  EXPECT_EQ(InkInside(picture, {0, 0, box.Left - 1, picture.height()}), 0);
  // The bottom frame line.
  EXPECT_EQ(qGray(picture.pixel((box.Left + box.Right) / 2, box.Bottom - 1)), 0);
}

TEST_F(PrintTest, StretchingMemoGrowsTheBandWhileThePageHasRoom) {
  auto* memo = Memo("Long", 8, true);
  Report->Room = 2000;  // room for everything
  Detail->Growth = 0;
  PrintOne(memo, 0, 0);
  EXPECT_TRUE(memo->AllPrinted());
  EXPECT_EQ(memo->NextLineIndex(), 8);
  EXPECT_GT(Detail->Growth, 0);
  const std::string bytes = FinishPage();
  EXPECT_NE(bytes.find(Utf16("Long line 8")), std::string::npos);
}

TEST_F(PrintTest, WithoutRoomTheRestWaitsForTheNextColumnOrIsDropped) {
  auto* carried = Memo("Carried", 8, true);
  auto* dropped = Memo("Dropped", 8, false);
  Report->Room = 0;
  PrintOne(carried, 0, 0);
  PrintOne(dropped, 0, 0);
  const int fit = carried->NextLineIndex();
  EXPECT_GT(fit, 0);
  EXPECT_LT(fit, 8);
  EXPECT_FALSE(carried->AllPrinted());  // continues where it stopped
  EXPECT_EQ(dropped->NextLineIndex(), fit);
  EXPECT_TRUE(dropped->AllPrinted());  // the rest is simply not printed
  EXPECT_EQ(Detail->Growth, 0);

  // The next print (next column) goes on from the first line left over.
  Report->Room = 2000;
  carried->PrintAt(0, 500);
  EXPECT_TRUE(carried->AllPrinted());
  const std::string bytes = FinishPage();
  EXPECT_NE(bytes.find(Utf16("Carried line 8")), std::string::npos);
  EXPECT_EQ(bytes.find(Utf16("Dropped line 8")), std::string::npos);
}

TEST_F(PrintTest, AnExportPassSplitsATextAsAPrintDoesWithoutDrawingIt) {
  auto* printed = Memo("Printed", 12, true);
  auto* exported = Memo("Exported", 12, true);
  Report->Room = 300;  // room to grow by a few lines, not by all
  Detail->Growth = 0;
  PrintOne(printed, 0, 0);
  const double growth = Detail->Growth;
  Detail->Growth = 0;
  Report->SetOutputPass(false);
  PrintOne(exported, 0, 0);
  Report->SetOutputPass(true);
  EXPECT_GT(growth, 0);
  EXPECT_DOUBLE_EQ(Detail->Growth, growth);
  EXPECT_GT(exported->NextLineIndex(), 1);
  EXPECT_EQ(exported->NextLineIndex(), printed->NextLineIndex());
  EXPECT_FALSE(exported->AllPrinted());
  const std::string bytes = FinishPage();
  EXPECT_NE(bytes.find(Utf16("Printed line 1")), std::string::npos);
  EXPECT_EQ(bytes.find(Utf16("Exported line 1")), std::string::npos);
}

TEST_F(PrintTest, TwoStretchingMemosShareTheGrowthAlreadyClaimed) {
  auto* first = Memo("First", 6, true);
  auto* second = Memo("Second", 4, true);
  Report->Room = 2000;
  Detail->Growth = 0;
  PrintOne(first, 0, 0);
  const double afterFirst = Detail->Growth;
  EXPECT_GT(afterFirst, 0);
  PrintOne(second, 0, 0);
  EXPECT_DOUBLE_EQ(Detail->Growth, afterFirst);
  EXPECT_TRUE(second->AllPrinted());
}

TEST_F(PrintTest, HugeTextsTakeTimeForWhatPrintsOnly) {
  // A stretching memo continued print after print, about ten lines each: four times the
  // lines may take up to eight times as long (linear: four; every print laying out the
  // whole memo again: sixteen).
  const auto continued = [this](int lines) {
    auto* memo = Memo("Memo" + std::to_string(lines), lines, true);
    memo->Size()->SetHeight(40);
    Report->Room = 0;
    const double seconds = BestOfThree([&] {
      memo->Prepare(Printer.get());
      int prints = 0;
      do {
        memo->PrintAt(0, 0);
        ++prints;
      } while (!memo->AllPrinted() && prints <= lines);
      EXPECT_EQ(memo->NextLineIndex(), lines);
      EXPECT_GT(prints, lines / 20);
      memo->Unprepare();
    });
    memo->Free();
    return seconds;
  };
  const double memoSmall = continued(1000);
  EXPECT_LT(continued(4000), 8 * memoSmall + 0.05);

  // A label of one endless word that shows a few lines: ten times the text, about the
  // same time (laying out all of it grows with the square of its length).
  const auto label = [this](size_t size) {
    auto* huge = Add<TQRLabel>("Label" + std::to_string(size), Detail);
    huge->SetAutoSize(false);
    huge->Size()->SetWidth(30);
    huge->Size()->SetHeight(8);
    const double seconds = BestOfThree([&] {
      huge->SetCaption(std::string(size, 'x') + (huge->Caption().empty() ? "" : "y"));
      PrintOne(huge);
      EXPECT_GT(huge->NextLineIndex(), 0);
      EXPECT_TRUE(huge->AllPrinted());
      huge->Unprepare();
    });
    huge->Free();
    return seconds;
  };
  const double labelSmall = label(20000);
  EXPECT_LT(label(200000), 4 * labelSmall + 0.05);
}

TEST_F(PrintTest, ShapesDrawTheirFigureAndNothingWhenDisabledOrExporting) {
  auto* box = Add<TQRShape>("Box", Detail);
  box->Size()->SetLeft(10);
  box->Size()->SetTop(0);
  box->Size()->SetWidth(30);
  box->Size()->SetHeight(10);
  box->Brush()->SetColor(clBlue);
  auto* off = Add<TQRShape>("Off", Detail);
  off->Size()->SetLeft(100);
  off->SetEnabled(false);
  PrintOne(box);
  PrintOne(off);
  Report->SetOutputPass(false);
  auto* exported = Add<TQRShape>("Exported", Detail);
  exported->Size()->SetLeft(150);
  PrintOne(exported);
  Report->SetOutputPass(true);
  QImage picture;
  FinishPage(&picture);
  const TRect r = DeviceRect(30, 30, 30, 10);
  EXPECT_EQ(picture.pixelColor((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), QColor(Qt::blue));
  EXPECT_EQ(qGray(picture.pixel(r.Left, (r.Top + r.Bottom) / 2)), 0);  // the outline
  EXPECT_EQ(InkInside(picture, {DeviceRect(115, 25, 80, 30)}, 250), 0);
}

TEST_F(PrintTest, GeneratedPagesNeverShowAControlsName) {
  Report->SetDesigning(true);
  auto* empty = Add<TQRMemo>("EmptyNotes", Detail);
  empty->RebuildLines();
  EXPECT_EQ(empty->LayoutLines()->Count(), 1);  // the designer shows the name
  auto* blank = Add<TQRLabel>("BlankLabel", Detail);
  blank->SetCaption("");
  PrintOne(empty);
  PrintOne(blank);
  const std::string bytes = FinishPage();
  EXPECT_EQ(bytes.find(Utf16("EmptyNotes")), std::string::npos);
  EXPECT_EQ(bytes.find(Utf16("BlankLabel")), std::string::npos);
  Report->SetDesigning(false);
}

}  // namespace
}  // namespace rpt::test
