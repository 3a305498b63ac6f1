// Text printables: line breaking (words, carriage returns, words wider than the
// control, no wrapping), AutoSize, the placeholder of an empty memo, captions that
// follow names, and the "FontSize" stream property. Layout is the same at every zoom.
#include <cmath>

#include "objects/Filer.h"
#include "objects/StreamText.h"
#include "tests/report/ReportFixture.h"

namespace rpt::test {
namespace {

using Lines = std::vector<std::string>;

// Ten units a character (bytes of a UTF-8 sequence count once).
double TenPerCharacter(std::string_view text) {
  double w = 0;
  for (char c : text)
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) w += 10;
  return w;
}

Lines Format(std::string_view text, double width, bool wordWrap = true, bool autoSize = false) {
  Lines lines;
  FormatSourceText(text, TQRLineFormat{width, autoSize, wordWrap}, TenPerCharacter, lines);
  return lines;
}

TEST(LineBreakTest, WordsFillLinesWithTheirTrailingSpace) {
  EXPECT_EQ(Format("aaa bbb ccc ddd", 100), (Lines{"aaa bbb ", "ccc ddd"}));
  EXPECT_EQ(Format("aaa bbb ccc ddd", 80), (Lines{"aaa bbb ", "ccc ddd"}));
  EXPECT_EQ(Format("aaa bbb ccc ddd", 70), (Lines{"aaa ", "bbb ", "ccc ddd"}));
  // A hyphen ends a word too.
  EXPECT_EQ(Format("well-known fact", 60), (Lines{"well-", "known ", "fact"}));
  // Without wrapping only what fits on the first line of a source text is kept.
  EXPECT_EQ(Format("aaa bbb ccc ddd", 100, false), (Lines{"aaa bbb "}));
  EXPECT_EQ(Format("aaa bbb\rccc ddd eee", 80, false), (Lines{"aaa bbb", "ccc ddd "}));
  // AutoSize keeps each source text on one line.
  EXPECT_EQ(Format("aaa bbb ccc ddd", 30, true, true), (Lines{"aaa bbb ccc ddd"}));
}

TEST(LineBreakTest, CarriageReturnsStartSourceTextsAndLineFeedsVanish) {
  EXPECT_EQ(Format("one\r\ntwo", 1000), (Lines{"one", "two"}));
  EXPECT_EQ(Format("a\r\rb", 1000), (Lines{"a", "", "b"}));
  EXPECT_EQ(Format("a\nb", 1000), (Lines{"ab"}));
  EXPECT_EQ(Format("", 1000), (Lines{""}));
  EXPECT_EQ(Format("\r", 1000), (Lines{"", ""}));
  EXPECT_EQ(Format("x\r\n", 1000, true, true), (Lines{"x", ""}));
}

TEST(LineBreakTest, AWordWiderThanTheControlGoesOnAtCharacterBoundaries) {
  // Nothing of the word is lost.
  EXPECT_EQ(Format("abcdefghijklmnopqrstuvwxyz", 100), (Lines{"abcdefghij", "klmnopqrst", "uvwxyz"}));
  EXPECT_EQ(Format("ab abcdefghijklmno cd", 50), (Lines{"ab ", "abcde", "fghij", "klmno", "cd"}));
  // Without wrapping it is cut to what fits.
  EXPECT_EQ(Format("abcdefghijklmnop qq", 50, false), (Lines{"abcde"}));
  // Multi-byte characters are never split.
  const Lines cyrillic = Format("абвгдежзий", 40);
  EXPECT_EQ(cyrillic, (Lines{"абвг", "дежз", "ий"}));
  // A character wider than the room still gets a line of its own.
  EXPECT_EQ(Format("abc", 5), (Lines{"a", "b", "c"}));
  // No room at all keeps one empty line.
  EXPECT_EQ(Format("abc def", 0), (Lines{""}));
}

TEST(LineBreakTest, AHugeTextCostsWhatItsAskedLinesHold) {
  // Characters measured while the first three lines are asked for: the same for a text
  // ten times as long, with or without spaces, and a small multiple of what they hold.
  const auto measuredFor = [](size_t size, bool spaces) {
    std::string text(size, 'x');
    if (spaces)
      for (size_t i = 4; i < size; i += 5) text[i] = ' ';
    size_t measured = 0;
    const TTextWidthFunc counting = [&measured](std::string_view t) {
      measured += t.size();
      return TenPerCharacter(t);
    };
    TQRLineFormatter formatter(TQRLineFormat{500}, counting, {text});
    std::string line;
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(formatter.Next(line));
      EXPECT_EQ(line.size(), 50u);
    }
    EXPECT_FALSE(formatter.AtEnd());
    return measured;
  };
  for (bool spaces : {false, true}) {
    const size_t small = measuredFor(100000, spaces);
    EXPECT_EQ(measuredFor(1000000, spaces), small) << spaces;
    EXPECT_LT(small, 20000u) << spaces;
  }
}

class LabelTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    Detail = AddBand(rbDetail, "Detail");
    Detail->Size()->SetHeight(60);
  }
  TQRBand* Detail = nullptr;
};

TEST_F(LabelTest, AutoSizeFitsTheWidthToTheText) {
  auto* label = Add<TQRLabel>("Label1", Detail);
  label->SetCaption("Total");
  std::vector<std::string> lines = label->LayoutLines()->Lines();
  EXPECT_EQ(lines, (Lines{"Total"}));
  const double text = TextWidthNative(*label->Font(), "Total");
  EXPECT_NEAR(static_cast<double>(label->Size()->Native(TQRPrintableSize::szWidth)), text + kNativePerPixel, 1e-9);
  EXPECT_EQ(label->Width(), std::lround((text + kNativePerPixel) / kNativePerPixel));
  EXPECT_GE(static_cast<double>(label->Size()->Native(TQRPrintableSize::szHeight)), LineHeightNative(*label->Font()));

  // Frame sides drawn left and right widen it by their thickness.
  label->Frame()->SetDrawLeft(true);
  label->Frame()->SetDrawRight(true);
  label->Frame()->SetWidth(2);
  label->RebuildLines();
  EXPECT_NEAR(static_cast<double>(label->Size()->Native(TQRPrintableSize::szWidth)),
              text + kNativePerPixel + 2 * (2 / 72.0 * 254), 1e-9);

  // A right-aligned label keeps its right edge as its text grows.
  label->SetAlignment(taRightJustify);
  const Extended right = label->Size()->Native(TQRPrintableSize::szLeft) + label->Size()->Native(TQRPrintableSize::szWidth);
  label->SetCaption("Grand total of the year");
  EXPECT_NEAR(static_cast<double>(label->Size()->Native(TQRPrintableSize::szLeft) +
                                  label->Size()->Native(TQRPrintableSize::szWidth)),
              static_cast<double>(right), 1e-9);
  // A centred one keeps its centre.
  label->SetAlignment(taCenter);
  const Extended centre =
      label->Size()->Native(TQRPrintableSize::szLeft) + label->Size()->Native(TQRPrintableSize::szWidth) / 2;
  label->SetCaption("x");
  EXPECT_NEAR(static_cast<double>(label->Size()->Native(TQRPrintableSize::szLeft) +
                                  label->Size()->Native(TQRPrintableSize::szWidth) / 2),
              static_cast<double>(centre), 1e-9);
}

TEST_F(LabelTest, MemoBreaksAtTheSamePlacesAtEveryZoom) {
  auto* memo = Add<TQRMemo>("Memo1", Detail);
  memo->Size()->SetWidth(30);  // mm
  memo->Size()->SetHeight(40);
  memo->Lines()->SetText(
      "Shipping terms apply to every order placed before the end of the month.\r\n\r\n"
      "Returns: thirty days, unopened, with the receipt.");
  const Lines at100 = memo->LayoutLines()->Lines();
  ASSERT_GE(at100.size(), 5u);
  EXPECT_NE(std::find(at100.begin(), at100.end(), ""), at100.end());  // the empty line stays
  for (const std::string& line : at100)
    EXPECT_LE(TextWidthNative(*memo->Font(), line), static_cast<double>(memo->Size()->Native(TQRPrintableSize::szWidth)))
        << line;
  for (int zoom : {50, 200, 100}) {
    Report->SetZoom(zoom);
    memo->RebuildLines();
    EXPECT_EQ(memo->LayoutLines()->Lines(), at100) << zoom;
    EXPECT_EQ(memo->Width(), std::lround(30 * 96 / 25.4 * zoom / 100)) << zoom;
  }
  // With AutoSize the lines are kept as they are.
  memo->SetAutoSize(true);
  EXPECT_EQ(memo->LayoutLines()->Lines(), memo->Lines()->Lines());
}

TEST_F(LabelTest, AHugeCaptionIsLaidOutOnlyAsFarAsTheBoxShows) {
  auto* label = Add<TQRLabel>("Huge", Detail);
  label->SetAutoSize(false);
  label->Size()->SetWidth(30);  // mm
  label->Size()->SetHeight(10);
  label->SetCaption(std::string(1000000, 'x'));
  const int shown = label->LayoutLines()->Count();
  EXPECT_GE(shown, 2);
  EXPECT_LE(shown, 5);
  const std::string first = label->LayoutLines()->Strings(0);
  EXPECT_GT(first.size(), 10u);
  EXPECT_EQ(first, std::string(first.size(), 'x'));
  // A taller box shows more of it.
  label->Size()->SetHeight(30);
  label->RebuildLines();
  EXPECT_GT(label->LayoutLines()->Count(), shown);
}

TEST_F(LabelTest, AnEmptyMemoShowsItsNameOnlyWhileDesigned) {
  auto* memo = Add<TQRMemo>("Notes", Detail);
  EXPECT_EQ(memo->LayoutLines()->Count(), 0);
  Report->SetDesigning(true);
  memo->RebuildLines();
  EXPECT_EQ(memo->LayoutLines()->Lines(), (Lines{"Notes"}));
  memo->Lines()->Add("real text");
  EXPECT_EQ(memo->LayoutLines()->Lines(), (Lines{"real text"}));
  Report->SetDesigning(false);
}

TEST_F(LabelTest, CaptionFollowsTheNameUntilTheUserSetsOne) {
  auto* label = Add<TQRLabel>("QRLabel1", Detail);
  EXPECT_EQ(label->Caption(), "QRLabel1");
  label->SetName("Customer");
  EXPECT_EQ(label->Caption(), "Customer");
  label->SetCaption("Customer name");
  label->SetName("CustomerName");
  EXPECT_EQ(label->Caption(), "Customer name");

  // An empty caption read from a file stays empty.
  label->SetCaption("");
  std::unique_ptr<TRoomyReport, TFreeDeleter> back(Load(Save()));
  auto* loaded = static_cast<TQRLabel*>(back->FindComponent("CustomerName"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Caption(), "");
}

TEST_F(LabelTest, FontSizeIsStoredAndWinsOverTheStoredFont) {
  auto* follows = Add<TQRLabel>("Follows", Detail);
  auto* own = Add<TQRLabel>("Own", Detail);
  own->Font()->SetSize(14);
  EXPECT_FALSE(own->ParentFont());
  const std::string bytes = Save();
  const std::string text = DumpStream(bytes);
  EXPECT_NE(text.find("FontSize = 14"), std::string::npos) << text;
  EXPECT_NE(text.find("FontSize = 10"), std::string::npos);

  // A file whose FontSize says otherwise than its font: the size wins.
  std::string edited = text;
  const size_t at = edited.find("FontSize = 14");
  edited.replace(at, 13, "FontSize = 20");
  std::unique_ptr<TRoomyReport, TFreeDeleter> back(Load(BuildStream(edited)));
  auto* loadedOwn = static_cast<TQRLabel*>(back->FindComponent("Own"));
  auto* loadedFollows = static_cast<TQRLabel*>(back->FindComponent("Follows"));
  EXPECT_EQ(loadedOwn->Font()->Size(), 20);
  // A label that follows its band's font still does after loading.
  EXPECT_TRUE(loadedFollows->ParentFont());
  back->Font()->SetSize(12);
  EXPECT_EQ(loadedFollows->Font()->Size(), 12);
  (void)follows;
}

}  // namespace
}  // namespace rpt::test
