#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "TestPages.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "output/QRCompress.h"

namespace rpt {
namespace {

using namespace test;
namespace fs = std::filesystem;

int32_t Int32At(const std::string& s, size_t offset) {
  int32_t v;
  std::memcpy(&v, s.data() + offset, 4);
  return v;
}

TEST(QRPageList, OnePageStore) {
  auto list = MakeStore(1, false);
  const std::string bytes = StoreBytes(*list);
  EXPECT_EQ(Int32At(bytes, bytes.size() - 4), 128) << "the last 4 bytes hold the last record's offset";
  EXPECT_EQ(Int32At(bytes, 128), 1);
  EXPECT_EQ(Int32At(bytes, 132), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(bytes.substr(136, bytes.size() - 140), PageBytes(1));
  list->PositionAtPage(1);
  EXPECT_EQ(list->PageStream()->Position(), 128);
  EXPECT_EQ(list->HeaderSize(), 128);
}

TEST(QRPageList, HeaderLayout) {
  const double before = TQRPageList::NowAsDateTime();
  auto list = MakeStore(3, true);
  const std::string bytes = StoreBytes(*list);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(static_cast<uint8_t>(bytes[2]) | static_cast<uint8_t>(bytes[3]) << 8, 309);
  EXPECT_EQ(Int32At(bytes, 8), 3);
  double created;
  std::memcpy(&created, bytes.data() + 16, 8);
  EXPECT_GE(created, before - 1e-6);
  EXPECT_LE(created, TQRPageList::NowAsDateTime() + 1e-6);
  EXPECT_GT(created, 45000);  // after 2023, in days since 1899
  EXPECT_EQ(bytes[25], 1);
  EXPECT_EQ(StoreBytes(*MakeStore(1, false))[25], 0);
  const TQRPageList::THeaderInfo h = list->ReadHeaderInfo();
  EXPECT_EQ(h.PageCount, 3);
  EXPECT_TRUE(h.Compressed);
  EXPECT_EQ(h.WriterVersion, 309);
}

TEST(QRPageList, FirstAppendWritesTheHeaderAndTheFinalRewriteTheCount) {
  TQRPageList list;
  list.AttachStream(std::make_unique<TQRStream>(100000));
  list.AppendPage(Page(1));
  list.AppendPage(Page(2));
  list.AppendPage(Page(3));
  EXPECT_EQ(list.TotalPages(), 3);
  EXPECT_EQ(Int32At(StoreBytes(list), 8), 1) << "until the recording finishes the header says 1";
  // An abandoned recording saved as it is reads back as one page.
  const std::string abandoned = TempPath("abandoned.qrp");
  list.CopyToFile(abandoned);
  TQRPageList reader;
  reader.OpenFile(abandoned);
  EXPECT_EQ(reader.TotalPages(), 1);
  EXPECT_EQ(reader.ReadPage(1)->Data(), PageBytes(1));
  EXPECT_EQ(reader.ReadPage(2), nullptr);
  list.WriteHeader();
  EXPECT_EQ(Int32At(StoreBytes(list), 8), 3);
  fs::remove(abandoned);
}

TEST(QRPageList, RandomAccessPlainAndCompressed) {
  for (bool compressed : {false, true}) {
    auto list = MakeStore(5, compressed);
    for (int n : {3, 1, 2, 5, 4, 4, 1, 5, 2, 3}) {
      auto page = list->ReadPage(n);
      ASSERT_NE(page, nullptr);
      EXPECT_EQ(page->Data(), PageBytes(n)) << n << (compressed ? " compressed" : " plain");
      EXPECT_EQ(page->Width(), 794);
      EXPECT_EQ(page->Height(), 1123);
    }
    EXPECT_EQ(list->ReadPage(6), nullptr);
    EXPECT_EQ(list->ReadPage(0), nullptr);
    EXPECT_EQ(list->ReadPage(-1), nullptr);
    // A long store, spilled to its file, in a shuffled order.
    auto big = MakeStore(200, compressed, 20000);
    EXPECT_FALSE(big->PageStream()->HeldInMemory());
    std::vector<int> order(200);
    for (int i = 0; i < 200; ++i) order[i] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (int n : order) EXPECT_EQ(big->ReadPage(n)->Data(), PageBytes(n)) << n;
  }
}

TEST(QRPageList, CompressedBodyIsFollowedByItsTrailingOffset) {
  auto list = MakeStore(2, true);
  const std::string bytes = StoreBytes(*list);
  TMemoryStream s(bytes);
  s.SetPosition(128 + 8);
  int32_t length;
  s.ReadBuffer(&length, 4);
  EXPECT_EQ(length, static_cast<int32_t>(PageBytes(1).size()));
  {
    TQRCompress decoder(s, false);
    std::string body(length, '\0');
    decoder.Decode(body.data(), body.size());
    decoder.Finish();
    EXPECT_EQ(body, PageBytes(1));
  }
  int32_t trailing;
  s.ReadBuffer(&trailing, 4);
  EXPECT_EQ(trailing, 128);
  EXPECT_LT(bytes.size(), 2 * PageBytes(1).size()) << "compression shrinks the store";
}

TEST(QRPageList, FileFlagWinsOverTheListSetting) {
  for (bool written : {false, true}) {
    auto list = MakeStore(4, written);
    const std::string file = TempPath("flag.qrp");
    list->CopyToFile(file);
    TQRPageList reader;
    reader.SetCompressed(!written);
    reader.OpenFile(file);
    EXPECT_EQ(reader.Compressed(), written);
    EXPECT_EQ(reader.TotalPages(), 4);
    for (int n : {4, 2, 1, 3}) EXPECT_EQ(reader.ReadPage(n)->Data(), PageBytes(n));
    EXPECT_EQ(reader.PageStream()->FileName(), file);
    fs::remove(file);
  }
}

// The older layout: a 124-byte header (time at 12, flag at 21) and records right after.
std::string OldLayoutFile(int pages) {
  std::string out(124, '\0');
  out[0] = 3, out[2] = static_cast<char>(309 & 0xFF), out[3] = static_cast<char>(309 >> 8);
  std::memcpy(out.data() + 8, &pages, 4);
  const double created = 45000.5;
  std::memcpy(out.data() + 12, &created, 8);
  for (int n = 1; n <= pages; ++n) {
    const int32_t start = static_cast<int32_t>(out.size());
    const std::string body = PageBytes(n);
    const int32_t next = start + 8 + static_cast<int32_t>(body.size()) + 4;
    out.append(reinterpret_cast<const char*>(&n), 4);
    out.append(reinterpret_cast<const char*>(&next), 4);
    out += body;
    out.append(reinterpret_cast<const char*>(&start), 4);
  }
  return out;
}

TEST(QRPageList, OlderHeaderLayoutOpens) {
  const std::string bytes = OldLayoutFile(3);
  EXPECT_EQ(bytes.substr(172, 5), std::string(" EMF\0", 5));
  const std::string file = TempPath("old.qrp");
  WriteFileAtomically(file, bytes);
  TQRPageList list;
  list.OpenFile(file);
  EXPECT_EQ(list.HeaderSize(), 124);
  EXPECT_EQ(list.TotalPages(), 3);
  EXPECT_FALSE(list.Compressed());
  const TQRPageList::THeaderInfo h = list.ReadHeaderInfo();
  EXPECT_EQ(h.HeaderSize, 124);
  EXPECT_DOUBLE_EQ(h.Created, 45000.5);
  for (int n : {2, 3, 1}) EXPECT_EQ(list.ReadPage(n)->Data(), PageBytes(n));
  EXPECT_EQ(list.ScanRecords().size(), 3u);
  fs::remove(file);
}

TEST(QRPageList, CopyToFileReplacesOnlyWhenComplete) {
  auto list = MakeStore(3, false);
  const std::string file = TempPath("copy.qrp");
  WriteFileAtomically(file, "previous good file");
  list->CopyToFile(file);
  EXPECT_EQ(ReadWholeFile(file), StoreBytes(*list));
  // A target in a missing folder fails and leaves nothing behind.
  EXPECT_THROW(list->CopyToFile("/nonexistent-h5/dir/x.qrp"), EFCreateError);
  fs::remove(file);
  // A failed open keeps the store the list had.
  EXPECT_THROW(list->OpenFile(TempPath("missing.qrp")), EFOpenError);
  EXPECT_EQ(list->ReadPage(2)->Data(), PageBytes(2));
}

TEST(QRPageList, AFailedAppendLeavesTheStoreWhole) {
  auto list = MakeStore(2, false);
  const std::string file = TempPath("readonly.qrp");
  list->CopyToFile(file);
  TQRPageList reader;
  reader.OpenFile(file);
  EXPECT_THROW(reader.AppendPage(Page(3)), EWriteError);
  EXPECT_EQ(reader.TotalPages(), 2);
  EXPECT_EQ(reader.ReadPage(2)->Data(), PageBytes(2));
  fs::remove(file);
}

// Every write of a spilling store fails in turn: the failing page is refused with an
// error, and every page stored before it (and after it, once writing works again)
// reads back as it was given.
TEST(QRPageList, AWriteFailingAtAnyPointLosesNoStoredPage) {
  for (const bool compressed : {false, true}) {
    for (int failAt = 1;; ++failAt) {
      int calls = 0;
      bool injected = false;
      SetWriteFailureHook([&](std::string_view step) {
        if (step != "spill" && step != "page write") return 0;
        if (++calls != failAt) return 0;
        injected = true;
        return ENOSPC;
      });
      TQRPageList list;
      list.AttachStream(std::make_unique<TQRStream>(1500));
      list.SetCompressed(compressed);
      std::vector<int> stored;
      for (int page = 1; page <= 8; ++page) {
        try {
          list.AppendPage(Page(page));
          stored.push_back(page);
        } catch (const EWriteError&) {
        }
      }
      SetWriteFailureHook(nullptr);
      list.AppendPage(Page(9));
      stored.push_back(9);
      ASSERT_EQ(list.TotalPages(), static_cast<int32_t>(stored.size())) << "failing write " << failAt;
      for (size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(list.ReadPage(static_cast<int32_t>(i + 1))->Data(), PageBytes(stored[i]))
            << "page " << i + 1 << ", failing write " << failAt << (compressed ? ", compressed" : "");
      if (!injected) break;
      // A failed spill keeps the pages in memory: nothing is refused then.
      EXPECT_LE(stored.size(), 9u);
    }
  }
}

TEST(QRPageList, NeverRecordedPageIsStoredAsABlankMetafile) {
  TQRPageList list;
  list.AttachStream(std::make_unique<TQRStream>(100000));
  list.SetCompressed(true);
  list.AppendPage(TMetafile(300, 200));
  auto page = list.ReadPage(1);
  EXPECT_EQ(page->Width(), 300);
  EXPECT_EQ(page->Height(), 200);
  EXPECT_EQ(page->Header().Records, 2u);
}

TEST(QRPageList, AppendOnOneThreadReadOnAnother) {
  for (bool compressed : {false, true}) {
    TQRPageList list;
    list.AttachStream(std::make_unique<TQRStream>(20000));
    list.SetCompressed(compressed);
    constexpr int kPages = 400;
    std::atomic<bool> done{false};
    std::thread writer([&] {
      for (int i = 1; i <= kPages; ++i) list.AppendPage(Page(i, 10 + i % 7));
      list.WriteHeader();
      done = true;
    });
    std::mt19937 rng(11);
    int reads = 0, mismatches = 0;
    while (!done || reads < 50) {
      const int total = list.TotalPages();
      if (total == 0) continue;
      const int n = std::uniform_int_distribution<int>(1, total)(rng);
      auto page = list.ReadPage(n);
      // Counted before the page was complete: the page is there once TotalPages says so.
      if (!page || page->Data() != PageBytes(n, 10 + n % 7)) ++mismatches;
      ++reads;
    }
    writer.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(reads, 0);
    EXPECT_FALSE(list.PageStream()->HeldInMemory());
    for (int n = 1; n <= kPages; ++n) ASSERT_EQ(list.ReadPage(n)->Data(), PageBytes(n, 10 + n % 7));
  }
}

}  // namespace
}  // namespace rpt
