// Damaged recorded-report files: every one must end in a clear error or in pages that
// are exactly right, never in a crash, a hang, a wrong page or a huge allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "TestPages.h"
#include "objects/Exceptions.h"

namespace rpt {
namespace {

using namespace test;

struct TOutcome {
  bool Opened = false;
  int Pages = 0;   // pages returned
  int Errors = 0;  // clear errors (open or read)
  int Wrong = 0;   // pages returned that differ from the original
};

void WriteRaw(const std::string& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Opens the bytes as a file and reads every page the header promises, in a mixed
// order; original pages are those of MakeStore.
TOutcome Exercise(const std::string& bytes, int maxPages = 8) {
  TOutcome o;
  TQRPageList list;
  try {
    auto stream = std::make_unique<TQRStream>(INT32_MAX);
    stream->Write(bytes.data(), bytes.size());
    list.OpenStream(std::move(stream));
    o.Opened = true;
  } catch (const EReadError&) {
    ++o.Errors;
    return o;
  }
  try {
    list.ScanRecords();
  } catch (const EReadError&) {
    ++o.Errors;
  }
  const int total = std::min(list.TotalPages(), maxPages);
  std::vector<int> order;
  for (int n = total; n >= 1; n -= 2) order.push_back(n);
  for (int n = 1; n <= total; ++n) order.push_back(n);
  for (int n : order) {
    try {
      auto page = list.ReadPage(n);
      if (!page) continue;
      ++o.Pages;
      if (page->Data() != PageBytes(n)) ++o.Wrong;
    } catch (const EReadError&) {
      ++o.Errors;
    }
  }
  return o;
}

void PutI32(std::string& s, size_t offset, int32_t v) { std::memcpy(s.data() + offset, &v, 4); }
int32_t I32(const std::string& s, size_t offset) {
  int32_t v;
  std::memcpy(&v, s.data() + offset, 4);
  return v;
}

// Record starts of a store written by MakeStore.
std::vector<int32_t> RecordStarts(const std::string& bytes) {
  std::vector<int32_t> starts;
  for (int32_t at = 128; at < static_cast<int32_t>(bytes.size()); at = I32(bytes, at + 4)) starts.push_back(at);
  return starts;
}

TEST(PageStoreCorrupt, EveryTruncationFailsCleanlyOrReadsRightPages) {
  for (bool compressed : {false, true}) {
    auto list = MakeStore(3, compressed);
    const std::string bytes = StoreBytes(*list);
    int errors = 0;
    for (size_t length = 0; length < bytes.size(); ++length) {
      const TOutcome o = Exercise(bytes.substr(0, length));
      EXPECT_EQ(o.Wrong, 0) << length;
      errors += o.Errors > 0;
      if (length < bytes.size() - 4) {
        EXPECT_GT(o.Errors, 0) << "cut at " << length << " went unnoticed";
      }
    }
    EXPECT_EQ(errors, static_cast<int>(bytes.size())) << "every cut is noticed";
    const TOutcome whole = Exercise(bytes);
    EXPECT_EQ(whole.Errors, 0);
    EXPECT_EQ(whole.Pages, 5);  // 3, 1, then 1 to 3
  }
}

TEST(PageStoreCorrupt, BodiesThatLieAboutTheirSize) {
  auto list = MakeStore(3, false);
  const std::string bytes = StoreBytes(*list);
  const std::vector<int32_t> starts = RecordStarts(bytes);
  ASSERT_EQ(starts.size(), 3u);
  const size_t totalField = starts[1] + 8 + 48;  // page 2's metafile size
  const int32_t real = I32(bytes, totalField);
  for (int32_t claim : {real + 4, real - 20, real + 1000000, INT32_MAX, 0, 88}) {
    std::string bad = bytes;
    PutI32(bad, totalField, claim);
    const std::string file = TempPath("lie.qrp");
    WriteRaw(file, bad);
    TQRPageList reader;
    reader.OpenFile(file);
    EXPECT_EQ(reader.ReadPage(1)->Data(), PageBytes(1));
    EXPECT_THROW(reader.ReadPage(2), EReadError) << claim;
    // The other pages stay readable around the damaged one.
    EXPECT_EQ(reader.ReadPage(3)->Data(), PageBytes(3));
    EXPECT_EQ(reader.ReadPage(1)->Data(), PageBytes(1));
    std::filesystem::remove(file);
  }
  // A compressed body claiming more bytes than its coded bits can hold.
  auto packed = MakeStore(2, true);
  const std::string cbytes = StoreBytes(*packed);
  for (int32_t claim : {-1, INT32_MAX, I32(cbytes, 136) + 1, I32(cbytes, 136) - 1}) {
    std::string bad = cbytes;
    PutI32(bad, 136, claim);
    const TOutcome o = Exercise(bad);
    EXPECT_TRUE(o.Opened);
    EXPECT_GT(o.Errors, 0) << claim;
    EXPECT_EQ(o.Wrong, 0);
  }
}

TEST(PageStoreCorrupt, RecordChainsThatLoopOrLeaveTheFile) {
  auto list = MakeStore(4, false);
  const std::string bytes = StoreBytes(*list);
  const std::vector<int32_t> s = RecordStarts(bytes);
  const int32_t size = static_cast<int32_t>(bytes.size());
  struct TCase {
    size_t Offset;
    int32_t Value;
  } cases[] = {
      {size_t(s[1]) + 4, s[1]},          // page 2's next points at itself
      {size_t(s[1]) + 4, s[0]},          // ... back to page 1
      {size_t(s[1]) + 4, size + 100},    // ... past the end
      {size_t(s[1]) + 4, -5},            // ... before the start
      {size_t(s[2]) - 4, s[2]},          // page 2's trailing offset points forward at page 3
      {size_t(s[2]) - 4, 0},             // ... into the header
      {bytes.size() - 4, size},          // the last record's offset points at the end
      {bytes.size() - 4, 7},             // ... into the header
      {size_t(s[2]), 9},                 // page 3 says it is page 9
      {8, 1000000000},                   // the header promises a billion pages
      {8, -3},                           // ... a negative count
      {128, 2},                          // the first record is not page 1
  };
  for (const TCase& c : cases) {
    std::string bad = bytes;
    PutI32(bad, c.Offset, c.Value);
    const TOutcome o = Exercise(bad);
    EXPECT_GT(o.Errors, 0) << c.Offset << " = " << c.Value;
    EXPECT_EQ(o.Wrong, 0) << c.Offset << " = " << c.Value;
  }
}

TEST(PageStoreCorrupt, FilesThatAreNotRecordedReports) {
  std::mt19937 rng(3);
  std::string junk(4000, '\0');
  for (char& c : junk) c = static_cast<char>(rng());
  for (const std::string& bytes : {std::string(), std::string("QRP"), std::string(127, '\0'), junk,
                                   std::string(300, '\x03')}) {
    const TOutcome o = Exercise(bytes);
    EXPECT_FALSE(o.Opened && o.Pages > 0) << bytes.size();
    EXPECT_GT(o.Errors, 0) << bytes.size();
  }
  // A header with no pages is a valid, empty recording.
  std::string empty(128, '\0');
  empty[0] = 3;
  EXPECT_EQ(Exercise(empty).Errors, 0);
}

TEST(PageStoreCorrupt, ThousandsOfMutations) {
  std::mt19937 rng(20240601);
  int errors = 0, pages = 0;
  for (bool compressed : {false, true}) {
    auto list = MakeStore(4, compressed);
    const std::string bytes = StoreBytes(*list);
    const std::vector<int32_t> starts = RecordStarts(bytes);
    const int32_t size = static_cast<int32_t>(bytes.size());
    const int32_t values[] = {0, -1, 1, 4, 128, 124, size, size - 4, size + 4, INT32_MAX, INT32_MIN,
                              starts[1], starts[2], starts[3], starts[1] + 4};
    for (int i = 0; i < 1500; ++i) {
      std::string bad = bytes;
      const int kind = static_cast<int>(rng() % 4);
      size_t where = rng() % bad.size();
      switch (kind) {
        case 0:  // flip bits
          bad[where] = static_cast<char>(bad[where] ^ static_cast<char>(1 + rng() % 255));
          break;
        case 1:  // a telling value in a 4-byte field
          where = std::min(where & ~size_t(3), bad.size() - 4);
          PutI32(bad, where, values[rng() % std::size(values)]);
          break;
        case 2:  // a telling value at a record's number, next offset or trailing offset
        {
          const int32_t start = starts[rng() % starts.size()];
          const int field = static_cast<int>(rng() % 3);
          where = field == 2 ? size_t(I32(bytes, start + 4)) - 4 : size_t(start) + 4 * field;
          PutI32(bad, where, values[rng() % std::size(values)]);
          break;
        }
        default:  // cut short and garbage appended
          bad.resize(where);
          for (int k = static_cast<int>(rng() % 40); k > 0; --k) bad.push_back(static_cast<char>(rng()));
          break;
      }
      const TOutcome o = Exercise(bad, 6);
      errors += o.Errors;
      pages += o.Pages;
      // Damage inside a page's own metafile may still leave a valid (different) page;
      // damage anywhere else must never hand out wrong content.
      if (o.Wrong && !(kind == 0 && compressed)) {
        bool insidePage = false;
        for (int32_t start : starts) {
          const size_t body = size_t(start) + 8, end = size_t(I32(bytes, start + 4)) - 4;
          insidePage |= where >= body && where < end;
        }
        EXPECT_TRUE(insidePage) << "mutation " << i << " kind " << kind << " at " << where;
      }
    }
  }
  // Both outcomes happen: the checks run, and undamaged pages stay readable.
  EXPECT_GT(errors, 500);
  EXPECT_GT(pages, 500);
}

}  // namespace
}  // namespace rpt
