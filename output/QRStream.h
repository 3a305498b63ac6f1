#pragma once
// The byte stream under the page store: held in memory while small, moved once into a
// temporary file when it grows past its threshold. Every call takes the stream's lock,
// so a reader thread and a writer thread may share it (whole sequences of calls are
// serialised by the page list, not here).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "objects/Filer.h"

namespace rpt {

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

// A page store holds this many bytes in memory before it moves to a temporary file.
constexpr int32_t kStoreMemoryLimit = 100000;

class TQRStream : public TStream {
 public:
  // An empty stream in memory that spills to a temporary file (in $TMPDIR, else /tmp)
  // once it holds more than spillThreshold bytes.
  explicit TQRStream(int32_t spillThreshold);
  // Opens an existing recorded-report file for reading; never spills, never deletes it.
  // Fails with EFOpenError.
  static std::unique_ptr<TQRStream> CreateForFile(const std::string& fileName);
  ~TQRStream() override;

  TQRStream(const TQRStream&) = delete;
  TQRStream& operator=(const TQRStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override;
  void SetPosition(int64_t position) override;
  int64_t Size() const override;
  // Returns the new position; a target before the start is clamped to 0.
  int64_t Seek(int64_t offset, TSeekOrigin origin);
  // Cuts the content to size bytes (only shrinks); used to take back a half-written page.
  void Truncate(int64_t size);

  // Copies everything from offset 0 to target, in pieces of 10240 bytes; the position
  // is left at the end.
  void CopyTo(TStream& target);

  bool HeldInMemory() const;
  int32_t SpillThreshold() const { return FSpillThreshold; }
  // The folder of the spill file, empty while in memory and for a stream opened on a
  // file. The spill file itself has no name, so it cannot outlive the process.
  std::string SpillFolder() const;
  const std::string& FileName() const { return FFileName; }

 private:
  TQRStream() = default;
  void Spill();
  size_t ReadLocked(void* buffer, size_t count);
  int64_t SizeLocked() const;
  // The file for messages: the opened file's name, or where the spill file is.
  std::string FileLabel() const;

  mutable std::mutex FLock;
  std::string FMemory;  // the content while held in memory
  bool FHeldInMemory = true;
  int32_t FSpillThreshold = 0;
  // A failed spill (no temporary directory, full disk) keeps the content in memory and
  // tries again only after the store has doubled, rather than on every write.
  int64_t FNextSpillAttempt = 0;
  int FFile = -1;
  bool FReadOnly = false;
  std::string FSpillFolder;
  std::string FFileName;
  int64_t FPosition = 0;
  int64_t FFileSize = 0;
};

}  // namespace rpt
