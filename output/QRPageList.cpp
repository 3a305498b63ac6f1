#include "output/QRPageList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "objects/Filer.h"
#include "objects/Format.h"
#include "output/QRCompress.h"

namespace rpt {

namespace {

// Number, next-record offset, trailing start offset.
constexpr int64_t kRecordOverhead = 12;
// A record holds at least its overhead and a compressed body's length.
constexpr int64_t kMinRecord = kRecordOverhead + 4;
// The "EMF" probe of the older layout: the first metafile starts at 124 + 8.
constexpr int64_t kProbeOffset = 173;

[[noreturn]] void Damaged(const std::string& detail) {
  throw EQRPageListError("The recorded report is damaged: " + detail);
}

int32_t GetI32(const unsigned char* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The position must be at a record or at the end between operations; after a failure
// it is put back at the first record.
class TPositionGuard {
 public:
  TPositionGuard(TQRStream& stream, int64_t home) : FStream(stream), FHome(home) {}
  ~TPositionGuard() {
    if (!FDone) FStream.SetPosition(FHome);
  }
  void Done() { FDone = true; }

 private:
  TQRStream& FStream;
  int64_t FHome;
  bool FDone = false;
};

}  // namespace

TQRPageList::TQRPageList() = default;

TQRPageList::~TQRPageList() = default;

TQRStream& TQRPageList::Stream() const {
  if (!FStream) throw EQRPageListError("No page store is attached");
  return *FStream;
}

void TQRPageList::AttachStream(std::unique_ptr<TQRStream> stream) {
  std::lock_guard lock(FLock);
  FStream = std::move(stream);
  FHeaderSize = 0;
}

std::unique_ptr<TQRStream> TQRPageList::DetachStream() {
  std::lock_guard lock(FLock);
  FHeaderSize = 0;
  return std::move(FStream);
}

double TQRPageList::NowAsDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const double seconds = static_cast<double>(now) + static_cast<double>(local.tm_gmtoff);
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  return seconds / 86400.0 + 25569.0;
}

int32_t TQRPageList::ReadInt32() {
  unsigned char b[4];
  if (Stream().Read(b, 4) != 4) Damaged("it ends early");
  return GetI32(b);
}

int32_t TQRPageList::ReadInt32At(int64_t offset) {
  Stream().SetPosition(offset);
  return ReadInt32();
}

void TQRPageList::WriteInt32(int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  Stream().Write(b, 4);
}

// ---------------------------------------------------------------------------
// Header

int32_t TQRPageList::HeaderSizeLocked() {
  if (FHeaderSize) return FHeaderSize;
  TQRStream& s = Stream();
  const int64_t saved = s.Position();
  int32_t result = kHeaderSize;
  // A store too short for the probe cannot have the older layout with a plain first page
  // (a metafile alone is longer), so it is taken as the current layout.
  if (s.Size() >= kProbeOffset + 4) {
    unsigned char probe[4] = {};
    unsigned char lead[1] = {};
    unsigned char number[4] = {};
    s.SetPosition(kProbeOffset);
    s.Read(probe, 4);
    s.SetPosition(kProbeOffset - 1);
    s.Read(lead, 1);
    s.SetPosition(kOldHeaderSize);
    s.Read(number, 4);
    // "EMF" then a zero, and, so that coded bits of a compressed first page are not
    // mistaken for it, the signature's leading blank and page number 1 before the body.
    if (std::memcmp(probe, "EMF", 4) == 0 && lead[0] == 0x20 && GetI32(number) == 1) result = kOldHeaderSize;
  }
  s.SetPosition(saved);
  FHeaderSize = result;
  return result;
}

int32_t TQRPageList::HeaderSize() {
  std::lock_guard lock(FLock);
  return HeaderSizeLocked();
}

void TQRPageList::WriteHeaderLocked() {
  unsigned char header[kHeaderSize] = {};
  header[0] = kLayoutVersion & 0xFF, header[1] = kLayoutVersion >> 8;
  header[2] = kWriterVersion & 0xFF, header[3] = kWriterVersion >> 8;
  const uint32_t count = static_cast<uint32_t>(FTotalPages.load());
  for (int i = 0; i < 4; ++i) header[kPageCountOffset + i] = static_cast<unsigned char>(count >> (8 * i));
  const double created = NowAsDateTime();
  std::memcpy(header + kCreatedOffset, &created, 8);  // little-endian machine
  header[kCompressionOffset] = FCompressed ? 1 : 0;
  header[kBookmarksOffset] = FBookmarks.empty() && !FBookmarksUnread ? 0 : 1;
  TQRStream& s = Stream();
  s.SetPosition(0);
  s.Write(header, sizeof header);
  FHeaderSize = kHeaderSize;
}

void TQRPageList::WriteHeader() {
  std::lock_guard lock(FLock);
  WriteHeaderLocked();
}

namespace {

TQRPageList::THeaderInfo ParseHeader(TQRStream& s, int32_t headerSize) {
  unsigned char raw[TQRPageList::kHeaderSize] = {};
  s.SetPosition(0);
  if (s.Read(raw, static_cast<size_t>(headerSize)) != static_cast<size_t>(headerSize))
    throw EQRPageListError("Not a recorded report: the file is too short");
  if (headerSize == TQRPageList::kOldHeaderSize) {
    // Time, reserved byte, flag and the rest sit four bytes earlier in the older layout.
    std::memmove(raw + 16, raw + 12, TQRPageList::kOldHeaderSize - 12);
    std::memset(raw + 12, 0, 4);
  }
  TQRPageList::THeaderInfo h;
  h.LayoutVersion = static_cast<uint16_t>(raw[0] | raw[1] << 8);
  h.WriterVersion = static_cast<uint16_t>(raw[2] | raw[3] << 8);
  h.PageCount = GetI32(raw + TQRPageList::kPageCountOffset);
  std::memcpy(&h.Created, raw + TQRPageList::kCreatedOffset, 8);
  h.Compressed = raw[TQRPageList::kCompressionOffset] != 0;
  h.HasBookmarks = headerSize == TQRPageList::kHeaderSize && raw[TQRPageList::kBookmarksOffset] == 1;
  h.HeaderSize = headerSize;
  return h;
}

}  // namespace

TQRPageList::THeaderInfo TQRPageList::ReadHeaderInfo() {
  std::lock_guard lock(FLock);
  TQRStream& s = Stream();
  const int64_t saved = s.Position();
  const int32_t hs = HeaderSizeLocked();
  THeaderInfo h = ParseHeader(s, hs);
  s.SetPosition(saved);
  return h;
}

// ---------------------------------------------------------------------------
// Navigation

void TQRPageList::CheckRecordStart(int64_t offset, int64_t size) {
  if (offset < FHeaderSize || offset > size - kMinRecord)
    Damaged(Format("a page record offset (%d) points outside the pages", offset));
}

int64_t TQRPageList::LastRecordOffset(int64_t size) {
  if (size < FHeaderSize + kMinRecord) Damaged("it holds no page");
  const int64_t last = ReadInt32At(size - 4);
  CheckRecordStart(last, size);
  return last;
}

void TQRPageList::PositionAtFirst() {
  std::lock_guard lock(FLock);
  Stream().SetPosition(HeaderSizeLocked());
}

void TQRPageList::PositionAtLast() {
  std::lock_guard lock(FLock);
  HeaderSizeLocked();
  TQRStream& s = Stream();
  s.SetPosition(LastRecordOffset(s.Size()));
}

void TQRPageList::PositionAtPage(int32_t n) {
  std::lock_guard lock(FLock);
  PositionAtPageLocked(n);
}

// Walks the chain from the current record, forward through next-record offsets or back
// through trailing start offsets. Every hop must move strictly in its direction and
// land inside the pages, and page numbers must follow each other, so a damaged chain
// ends in an error rather than a loop or a read outside the store.
void TQRPageList::PositionAtPageLocked(int32_t n) {
  TQRStream& s = Stream();
  const int64_t hs = HeaderSizeLocked();
  const int64_t size = s.Size();
  if (n < 1) Damaged(Format("there is no page %d", n));
  int64_t at;
  if (n == 1) {
    at = hs;
    CheckRecordStart(at, size);
  } else if (n == FTotalPages) {
    at = LastRecordOffset(size);
  } else {
    at = s.Position();
    if (at == size) {
      at = LastRecordOffset(size);
    } else if (at < hs || at > size - kMinRecord) {
      at = hs;
      CheckRecordStart(at, size);
    }
  }
  int32_t p = ReadInt32At(at);
  if (n == 1 && p != 1) Damaged("the first record is not page 1");
  while (p < n) {
    const int64_t next = ReadInt32At(at + 4);
    if (next < at + kMinRecord || next > size) Damaged(Format("the record of page %d points outside the pages", p));
    if (next == size) Damaged(Format("page %d is missing", n));
    at = next;
    const int32_t q = ReadInt32At(at);
    if (q != p + 1) Damaged(Format("page %d is followed by page %d", p, q));
    p = q;
  }
  while (p > n) {
    const int64_t previous = ReadInt32At(at - 4);
    if (previous < hs || previous > at - kMinRecord)
      Damaged(Format("the record before page %d points outside the pages", p));
    at = previous;
    const int32_t q = ReadInt32At(at);
    if (q != p - 1) Damaged(Format("page %d is preceded by page %d", p, q));
    p = q;
  }
  s.SetPosition(at);
}

// ---------------------------------------------------------------------------
// Appending and reading

void TQRPageList::AppendPage(const TMetafile& page) {
  std::lock_guard lock(FLock);
  TQRStream& s = Stream();
  const int32_t number = FTotalPages + 1;
  const bool compressed = FCompressed;
  TMemoryStream buffer;
  if (compressed) page.SaveToStream(buffer);

  const int64_t start = s.Seek(0, soEnd);
  try {
    FTotalPages = number;
    if (number == 1) {
      WriteHeaderLocked();
      s.Seek(0, soEnd);
    }
    const int64_t recordStart = s.Position();
    WriteInt32(number);
    const int64_t nextField = s.Position();
    WriteInt32(static_cast<int32_t>(nextField));
    if (compressed) {
      const std::string& bytes = buffer.Data();
      WriteInt32(static_cast<int32_t>(bytes.size()));
      TQRCompress coder(s, true);
      coder.Encode(bytes.data(), bytes.size());
      coder.Finish();
    } else {
      page.SaveToStream(s);
    }
    WriteInt32(static_cast<int32_t>(recordStart));
    const int64_t end = s.Position();
    if (end > kMaxStoreBytes) throw EWriteError("The page store is full (2 GB)");
    s.SetPosition(nextField);
    WriteInt32(static_cast<int32_t>(end));
    s.SetPosition(end);
    FStoredBytes = end;
    CollectBookmarks(page, number);
  } catch (...) {
    // Take the half-written page back so that the store still holds together.
    FTotalPages = number - 1;
    try {
      s.Truncate(start);
      s.SetPosition(start);
    } catch (...) {
    }
    throw;
  }
}

void TQRPageList::CollectBookmarks(const TMetafile& page, int32_t number) {
  for (TPageAnnotation& a : page.Annotations())
    if (a.Kind == TPageAnnotation::akBookmark && !a.Text.empty())
      FBookmarks.push_back({number, a.Level, a.Rect.Top, std::move(a.Text)});
}

std::vector<TQRPageList::TBookmark> TQRPageList::Bookmarks(size_t from) {
  std::lock_guard lock(FLock);
  if (FBookmarksUnread) {
    FBookmarksUnread = false;
    FBookmarks.clear();
    try {
      for (int32_t n = 1; n <= FTotalPages; ++n) CollectBookmarks(*ReadPageLocked(n), n);
    } catch (const EReadError&) {
      // A damaged page shows its error when it is shown; the outline keeps what was read.
    }
  }
  if (from >= FBookmarks.size()) return {};
  return {FBookmarks.begin() + static_cast<ptrdiff_t>(from), FBookmarks.end()};
}

std::unique_ptr<TMetafile> TQRPageList::ReadPage(int32_t n) {
  if (n < 1 || n > FTotalPages) return nullptr;
  std::lock_guard lock(FLock);
  return ReadPageLocked(n);
}

std::unique_ptr<TMetafile> TQRPageList::ReadPageLocked(int32_t n) {
  TQRStream& s = Stream();
  TPositionGuard guard(s, HeaderSizeLocked());
  PositionAtPageLocked(n);
  const int64_t at = s.Position();
  const int64_t size = s.Size();
  ReadInt32();  // the page number, checked by the walk
  const int64_t next = ReadInt32();
  if (next < at + kMinRecord || next > size) Damaged(Format("the record of page %d points outside the pages", n));
  const int64_t body = next - at - kRecordOverhead;

  auto page = std::make_unique<TMetafile>();
  if (!Compressed()) {
    page->LoadFromStream(s, body);
  } else {
    const int32_t length = ReadInt32();
    // Every byte takes at least one bit, so the coded body bounds the length.
    if (length < 0 || length > (body - 4) * 8)
      Damaged(Format("page %d claims %d bytes in a body of %d", n, length, body));
    std::string bytes;
    TQRCompress decoder(s, false, body - 4);
    constexpr size_t kChunk = 1 << 16;
    for (size_t done = 0; done < static_cast<size_t>(length);) {
      const size_t count = std::min(kChunk, static_cast<size_t>(length) - done);
      bytes.resize(done + count);
      decoder.Decode(bytes.data() + done, count);
      done += count;
    }
    decoder.Finish();
    if (decoder.CodedBytes() != body - 4) Damaged(Format("the body of page %d does not match its record", n));
    page->SetData(std::move(bytes));
  }
  if (s.Position() != next - 4) Damaged(Format("the body of page %d does not match its record", n));
  if (ReadInt32() != at) Damaged(Format("the record of page %d does not end with its own offset", n));
  guard.Done();
  if (FCountMarks) page->ReplacePageCountMarks(FCountKnown ? std::to_string(FTotalPages.load()) : "?");
  return page;
}

// ---------------------------------------------------------------------------
// Files

void TQRPageList::OpenFile(const std::string& fileName) {
  std::unique_ptr<TQRStream> stream = TQRStream::CreateForFile(fileName);
  try {
    OpenStream(std::move(stream));
  } catch (const EReadError& e) {
    throw EQRPageListError(fileName + ": " + e.what());
  }
}

void TQRPageList::OpenStream(std::unique_ptr<TQRStream> stream) {
  if (!stream) throw EQRPageListError("No page store is attached");
  std::lock_guard lock(FLock);
  std::swap(FStream, stream);
  const int32_t oldHeaderSize = FHeaderSize;
  FHeaderSize = 0;
  try {
    TQRStream& s = *FStream;
    const int32_t hs = HeaderSizeLocked();
    const THeaderInfo h = ParseHeader(s, hs);
    if (h.LayoutVersion != kLayoutVersion) throw EQRPageListError("Not a recorded report: unknown layout version");
    const int64_t size = s.Size();
    if (h.PageCount < 0 || h.PageCount > (size - hs) / kMinRecord)
      Damaged(Format("its header gives %d pages, more than the file can hold", h.PageCount));
    if (h.PageCount > 0 && (size < hs + kMinRecord || ReadInt32At(hs) != 1))
      Damaged("the first record is not page 1");
    s.SetPosition(hs);
    FTotalPages = h.PageCount;
    FCompressed = h.Compressed;
    FBookmarks.clear();
    FBookmarksUnread = h.HasBookmarks;
    // A saved recording has its count written in.
    FCountMarks = false;
    FCountKnown = true;
  } catch (...) {
    std::swap(FStream, stream);
    FHeaderSize = oldHeaderSize;
    throw;
  }
}

namespace {

// Write end of a new file, for copying the store in pieces.
class TFdWriter : public TStream {
 public:
  TFdWriter(int fd, const std::string& name) : FFd(fd), FName(name) {}
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
      const ssize_t n = ::write(FFd, p, count);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EWriteError(Format("Cannot write file \"%s\". %s", FName, std::strerror(n < 0 ? errno : ENOSPC)));
      p += n, count -= static_cast<size_t>(n), FPosition += n;
    }
  }
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t) override {}
  int64_t Size() const override { return FPosition; }

 private:
  int FFd;
  const std::string& FName;
  int64_t FPosition = 0;
};

}  // namespace

void TQRPageList::CopyToFile(const std::string& fileName) {
  if (FCountMarks) {
    // The pages with the count written in, through a list of their own.
    TQRPageList copy;
    copy.AttachStream(std::make_unique<TQRStream>(kStoreMemoryLimit));
    copy.SetCompressed(Compressed());
    for (int32_t n = 1; n <= TotalPages(); ++n) copy.AppendPage(*ReadPage(n));
    copy.WriteHeader();
    return copy.CopyToFile(fileName);
  }
  namespace fs = std::filesystem;
  std::lock_guard lock(FLock);
  TQRStream& s = Stream();
  const std::string resolved = OutputTarget(fileName);
  const fs::path target(resolved);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(errno)));
  struct TRegistered {
    void* Token;
    ~TRegistered() { ReleaseTemporaryFile(Token); }
  } registered{RegisterTemporaryFile(temp)};
  bool open = true;
  try {
    TFdWriter out(fd, fileName);
    s.CopyTo(out);
    if (::fsync(fd) != 0) throw EWriteError(Format("Cannot write file \"%s\". %s", fileName, std::strerror(errno)));
    // Keep the permissions of a file being replaced.
    struct stat st {};
    ::fchmod(fd, ::stat(resolved.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    open = false;
    if (::close(fd) != 0) throw EWriteError(Format("Cannot write file \"%s\". %s", fileName, std::strerror(errno)));
  } catch (...) {
    if (open) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), resolved.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(error)));
  }
}

std::vector<TQRPageList::TPageRecord> TQRPageList::ScanRecords() {
  std::lock_guard lock(FLock);
  TQRStream& s = Stream();
  const int64_t hs = HeaderSizeLocked();
  TPositionGuard guard(s, hs);
  const int64_t size = s.Size();
  std::vector<TPageRecord> records;
  int64_t at = hs;
  const bool compressed = Compressed();
  while (at < size) {
    CheckRecordStart(at, size);
    TPageRecord r;
    r.Offset = at;
    r.Number = ReadInt32At(at);
    const int32_t expected = static_cast<int32_t>(records.size()) + 1;
    if (r.Number != expected) Damaged(Format("record %d says it is page %d", expected, r.Number));
    const int64_t next = ReadInt32();
    if (next < at + kMinRecord || next > size) Damaged(Format("the record of page %d points outside the pages", r.Number));
    r.BodySize = next - at - kRecordOverhead;
    if (compressed) {
      r.MetafileSize = ReadInt32();
    } else {
      // The metafile's total size sits 48 bytes into its header.
      r.MetafileSize = r.BodySize >= 52 ? static_cast<uint32_t>(ReadInt32At(at + 8 + 48)) : 0;
    }
    if (ReadInt32At(next - 4) != at) Damaged(Format("the record of page %d does not end with its own offset", r.Number));
    records.push_back(r);
    at = next;
  }
  s.SetPosition(hs);
  guard.Done();
  return records;
}

}  // namespace rpt
