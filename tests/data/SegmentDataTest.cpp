// A segment view over rows: each open reads one run of equal keys from where the last
// stopped, counts only its own records, and never reads a segment twice.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "data/RowData.h"
#include "data/SegmentData.h"

namespace rpt::test {
namespace {

struct TSegments {
  TOwnedPtr<TRowsDataSet> Source;
  TOwnedPtr<TSegmentDataSet> View;
  int64_t Key = 0;

  // Records (key, n): keys in runs as given.
  explicit TSegments(const std::vector<int64_t>& keys) : Source(TComponent::Create<TRowsDataSet>(nullptr)) {
    TRowSet rows;
    rows.Columns = {TFieldDef{"k", ftLargeint}, TFieldDef{"n", ftLargeint}};
    const auto integer = [](int64_t v) {
      TValue value;
      value.Kind = TValue::kInteger;
      value.Int = v;
      return value;
    };
    for (size_t i = 0; i < keys.size(); ++i) rows.Rows.push_back({integer(keys[i]), integer(static_cast<int64_t>(i))});
    Source->SetRows(std::make_shared<const TRowSet>(std::move(rows)));
    Source->Open();
    View.reset(TComponent::Create<TSegmentDataSet>(nullptr));
    View->SetSource(Source.get());
    View->InSegment = [this] { return Source->FieldValue(0).Int == Key; };
  }
  bool Begin() {
    if (!View->BeginSegment()) return false;
    Key = Source->FieldValue(0).Int;
    return true;
  }
  // The n of every record the view walks, from its first.
  std::string Walk() {
    std::string seen;
    for (View->First(); !View->Eof(); View->Next()) seen += std::to_string(View->FieldValue(1).Int) + " ";
    return seen;
  }
};

TEST(SegmentData, EachOpenReadsTheNextRunOfEqualKeysOnce) {
  TSegments s({1, 1, 2, 3, 3, 3, 1});
  ASSERT_TRUE(s.Begin());
  s.View->Open();
  EXPECT_EQ(s.Walk(), "0 1 ");
  // The last record stays current at the end, and the walk may step back over it.
  s.View->Prior();
  EXPECT_EQ(s.View->FieldValue(1).Int, 0);
  EXPECT_EQ(s.View->RecordCount(), 2);
  s.View->Close();
  EXPECT_EQ(s.View->SegmentRecords(), 2);

  // Counting before walking reads the segment ahead; the walk still sees every record.
  ASSERT_TRUE(s.Begin());
  s.View->Open();
  EXPECT_EQ(s.View->RecordCount(), 1);
  EXPECT_EQ(s.Walk(), "2 ");
  s.View->Close();

  // A pass that stops early: skipping moves on to the next key, not past it.
  ASSERT_TRUE(s.Begin());
  s.View->Open();
  s.View->Close();
  s.View->SkipSegment();
  EXPECT_EQ(s.View->SegmentRecords(), 3);
  // A segment is read once: opening again without beginning the next is refused.
  EXPECT_THROW(s.View->Open(), EDatabaseError);
  EXPECT_FALSE(s.View->Active());

  ASSERT_TRUE(s.Begin());
  s.View->Open();
  EXPECT_EQ(s.Walk(), "6 ");
  s.View->Close();
  EXPECT_FALSE(s.Begin());
  EXPECT_TRUE(s.Source->Eof());
}

TEST(SegmentData, GoingBackFurtherThanTheViewKeepsFailsInsteadOfReadingAnotherSegment) {
  TSegments s(std::vector<int64_t>(100, 7));
  ASSERT_TRUE(s.Begin());
  s.View->Open();
  s.View->MoveBy(80);
  EXPECT_THROW(s.View->MoveBy(-79), EDatabaseError);
  EXPECT_FALSE(s.View->Active());
  // The source lost nothing: what the view had not read is skipped to the end.
  s.View->SkipSegment();
  EXPECT_EQ(s.View->SegmentRecords(), 100);
  EXPECT_FALSE(s.Begin());
}

}  // namespace
}  // namespace rpt::test
