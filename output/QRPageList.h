#pragma once
// The page index over a TQRStream: a 128-byte header, then one record per page
// (number, offset of the next record, page body, offset of the record itself). The same
// bytes are the recorded-report file. One lock serialises appending (generation
// thread), reading (preview) and the final header rewrite.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Metafile.h"
#include "objects/Exceptions.h"
#include "output/QRStream.h"

namespace rpt {

// A recorded report whose bytes do not hold together (truncated, damaged, not one).
class EQRPageListError : public EReadError {
  using EReadError::EReadError;
};

class TQRPageList {
 public:
  static constexpr int32_t kHeaderSize = 128;
  static constexpr int32_t kOldHeaderSize = 124;
  static constexpr uint16_t kLayoutVersion = 3;
  static constexpr uint16_t kWriterVersion = 309;
  // Fields of the header in the 128-byte layout.
  static constexpr int kPageCountOffset = 8;
  static constexpr int kCreatedOffset = 16;
  static constexpr int kCompressionOffset = 25;
  // 1 when pages carry bookmarks (older writers leave 0 there).
  static constexpr int kBookmarksOffset = 26;

  struct THeaderInfo {
    uint16_t LayoutVersion = 0;
    uint16_t WriterVersion = 0;
    int32_t PageCount = 0;
    double Created = 0;  // days since 30 December 1899, local time
    bool Compressed = false;
    bool HasBookmarks = false;
    int32_t HeaderSize = kHeaderSize;
  };

  struct TBookmark {
    int32_t Page = 0;
    int32_t Level = 0;
    int32_t Top = 0;  // in the page's pixels
    std::string Title;
  };

  struct TPageRecord {
    int32_t Number = 0;
    int64_t Offset = 0;        // first byte of the record
    int64_t BodySize = 0;      // bytes of the body in the store
    int64_t MetafileSize = 0;  // bytes of the page's metafile (the body, or its coded length)
  };

  TQRPageList();
  // Frees a stream that is still attached.
  ~TQRPageList();

  TQRPageList(const TQRPageList&) = delete;
  TQRPageList& operator=(const TQRPageList&) = delete;

  // The list owns the attached stream; attaching frees the one before.
  void AttachStream(std::unique_ptr<TQRStream> stream);
  std::unique_ptr<TQRStream> DetachStream();
  void FreeStream() { AttachStream(nullptr); }
  TQRStream* PageStream() const { return FStream.get(); }

  int32_t TotalPages() const { return FTotalPages.load(); }
  // The store's offsets are 32-bit: past this many bytes it takes no further page.
  static constexpr int64_t kMaxStoreBytes = INT32_MAX;
  // Bytes the pages appended so far take (read on any thread).
  int64_t StoredBytes() const { return FStoredBytes.load(); }
  bool Compressed() const { return FCompressed.load(); }
  void SetCompressed(bool value) { FCompressed = value; }
  void ResetCount() {
    const std::lock_guard lock(FLock);
    FBookmarks.clear();
    FBookmarksUnread = false;
    FTotalPages = 0;
    FStoredBytes = 0;
    FCountMarks = false;
    FCountKnown = false;
  }
  // Pages of the running pass print the page count as a mark: pages read from the list
  // show "?" in its place until SetCountKnown, then the count; a copy saved shows the count.
  void NoteCountMarks() { FCountMarks = true; }
  bool HoldsCountMarks() const { return FCountMarks.load(); }
  void SetCountKnown() { FCountKnown = true; }
  bool CountKnown() const { return FCountKnown.load(); }

  // Appends page as the next page; the first page also writes the header.
  void AppendPage(const TMetafile& page);
  // A new metafile the caller owns, or none when n is outside 1..TotalPages. Fails with
  // EQRPageListError (or EInvalidMetafile) on a damaged store.
  std::unique_ptr<TMetafile> ReadPage(int32_t n);
  // The bookmarks of the pages so far in page order, from the from-th on: kept as pages
  // are appended, read from the pages of an opened recording when first asked.
  std::vector<TBookmark> Bookmarks(size_t from = 0);
  // Rewrites the header with the current page count and time.
  void WriteHeader();
  // Puts the list on a recorded-report file for reading. On failure the list keeps the
  // stream it had.
  void OpenFile(const std::string& fileName);
  // The same for a stream holding a recorded report (the list takes it).
  void OpenStream(std::unique_ptr<TQRStream> stream);
  // Writes the whole store to fileName; the file is replaced only once complete. Page
  // count marks are filled in on the way.
  void CopyToFile(const std::string& fileName);

  // Navigation. The position is always at the first byte of a record or at the end.
  int32_t HeaderSize();
  void PositionAtFirst();
  void PositionAtLast();
  void PositionAtPage(int32_t n);

  // The header of the attached stream, converted to the 128-byte layout.
  THeaderInfo ReadHeaderInfo();
  // Walks every record from the first and checks the chain; for tools.
  std::vector<TPageRecord> ScanRecords();

  // The current local time in the header's form.
  static double NowAsDateTime();

 private:
  TQRStream& Stream() const;
  int32_t HeaderSizeLocked();
  void WriteHeaderLocked();
  int32_t ReadInt32();
  int32_t ReadInt32At(int64_t offset);
  void WriteInt32(int32_t value);
  void CheckRecordStart(int64_t offset, int64_t size);
  int64_t LastRecordOffset(int64_t size);
  void PositionAtPageLocked(int32_t n);
  std::unique_ptr<TMetafile> ReadPageLocked(int32_t n);

  std::mutex FLock;
  std::unique_ptr<TQRStream> FStream;
  std::atomic<int32_t> FTotalPages{0};
  std::atomic<int64_t> FStoredBytes{0};
  std::atomic<bool> FCompressed{false};
  std::vector<TBookmark> FBookmarks;
  bool FBookmarksUnread = false;
  void CollectBookmarks(const TMetafile& page, int32_t number);
  std::atomic<bool> FCountMarks{false};
  std::atomic<bool> FCountKnown{false};
  int32_t FHeaderSize = 0;  // 0 until known
};

}  // namespace rpt
