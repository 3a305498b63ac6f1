#include "output/QRStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

namespace {

constexpr size_t kCopyChunk = 10240;

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Writes all bytes at offset or fails with errno set.
bool WriteAllAt(int fd, const char* data, size_t count, int64_t offset) {
  while (count > 0) {
    const ssize_t n = ::pwrite(fd, data, count, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data += n, count -= static_cast<size_t>(n), offset += n;
  }
  return true;
}

}  // namespace

TQRStream::TQRStream(int32_t spillThreshold)
    : FSpillThreshold(spillThreshold) {}

std::unique_ptr<TQRStream> TQRStream::CreateForFile(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, std::strerror(errno)));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, std::strerror(error)));
  }
  std::unique_ptr<TQRStream> stream(new TQRStream());
  stream->FHeldInMemory = false;
  stream->FReadOnly = true;
  stream->FFile = fd;
  stream->FFileName = fileName;
  stream->FFileSize = st.st_size;
  return stream;
}

TQRStream::~TQRStream() {
  std::lock_guard lock(FLock);
  std::string().swap(FMemory);
  if (FFile >= 0) ::close(FFile);
}

bool TQRStream::HeldInMemory() const {
  std::lock_guard lock(FLock);
  return FHeldInMemory;
}

std::string TQRStream::SpillFolder() const {
  std::lock_guard lock(FLock);
  return FSpillFolder;
}

std::string TQRStream::FileLabel() const {
  return FSpillFolder.empty() ? "\"" + FFileName + "\"" : "the page store's temporary file in \"" + FSpillFolder + "\"";
}

int64_t TQRStream::SizeLocked() const {
  return FHeldInMemory ? static_cast<int64_t>(FMemory.size()) : FFileSize;
}

int64_t TQRStream::Size() const {
  std::lock_guard lock(FLock);
  return SizeLocked();
}

int64_t TQRStream::Position() const {
  std::lock_guard lock(FLock);
  return FPosition;
}

void TQRStream::SetPosition(int64_t position) {
  std::lock_guard lock(FLock);
  FPosition = std::max<int64_t>(position, 0);
}

int64_t TQRStream::Seek(int64_t offset, TSeekOrigin origin) {
  std::lock_guard lock(FLock);
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPosition : SizeLocked();
  FPosition = std::max<int64_t>(base + offset, 0);
  return FPosition;
}

void TQRStream::Truncate(int64_t size) {
  std::lock_guard lock(FLock);
  if (size < 0 || size >= SizeLocked()) return;
  if (FReadOnly) throw EWriteError(Format("Cannot write file \"%s\". It is open for reading only", FFileName));
  if (FHeldInMemory) {
    FMemory.resize(static_cast<size_t>(size));
  } else {
    if (::ftruncate(FFile, static_cast<off_t>(size)) != 0)
      throw EWriteError(Format("Cannot write %s. %s", FileLabel(), std::strerror(errno)));
    FFileSize = size;
  }
  FPosition = std::min(FPosition, size);
}

size_t TQRStream::ReadLocked(void* buffer, size_t count) {
  const int64_t size = SizeLocked();
  if (FPosition >= size || count == 0) return 0;
  count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size - FPosition));
  if (FHeldInMemory) {
    std::memcpy(buffer, FMemory.data() + FPosition, count);
    FPosition += static_cast<int64_t>(count);
    return count;
  }
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::pread(FFile, out + done, count - done, static_cast<off_t>(FPosition));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError(Format("Cannot read %s. %s", FileLabel(), std::strerror(errno)));
    }
    if (n == 0) break;  // the file was cut short under us
    done += static_cast<size_t>(n);
    FPosition += n;
  }
  return done;
}

size_t TQRStream::Read(void* buffer, size_t count) {
  std::lock_guard lock(FLock);
  return ReadLocked(buffer, count);
}

void TQRStream::Write(const void* buffer, size_t count) {
  std::lock_guard lock(FLock);
  if (FReadOnly) throw EWriteError(Format("Cannot write file \"%s\". It is open for reading only", FFileName));
  if (count == 0) return;
  if (FHeldInMemory) {
    const size_t position = static_cast<size_t>(FPosition);
    if (position > FMemory.size()) FMemory.resize(position);
    const size_t overlap = std::min(count, FMemory.size() - position);
    FMemory.replace(position, overlap, static_cast<const char*>(buffer), count);
    FPosition += static_cast<int64_t>(count);
    if (static_cast<int64_t>(FMemory.size()) > FSpillThreshold &&
        static_cast<int64_t>(FMemory.size()) >= FNextSpillAttempt)
      Spill();
    return;
  }
  const int injected = InjectedWriteFailure("page write");
  if (injected || !WriteAllAt(FFile, static_cast<const char*>(buffer), count, FPosition))
    throw EWriteError(Format("Cannot write %s. %s", FileLabel(), std::strerror(injected ? injected : errno)));
  FPosition += static_cast<int64_t>(count);
  FFileSize = std::max(FFileSize, FPosition);
}

namespace {

// A file in dir with no name: it goes with the last descriptor, so nothing is left in
// the folder whatever ends the process (a kill, a crash). O_TMPFILE makes it nameless
// from the start; where the file system lacks it, a named file is unlinked at once.
int OpenNamelessFile(const std::string& dir) {
#ifdef O_TMPFILE
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = dir + "/QRPXXXXXX";
  const int named = ::mkstemp(name.data());
  if (named < 0) return -1;
  ::unlink(name.c_str());
  ::fcntl(named, F_SETFD, FD_CLOEXEC);
  return named;
}

}  // namespace

void TQRStream::Spill() {
  const std::string dir = TempDirectory();
  const int fd = InjectedWriteFailure("spill") ? -1 : OpenNamelessFile(dir);
  if (fd >= 0) {
    if (WriteAllAt(fd, FMemory.data(), FMemory.size(), 0)) {
      FFile = fd;
      FSpillFolder = dir;
      FFileSize = static_cast<int64_t>(FMemory.size());
      std::string().swap(FMemory);
      FHeldInMemory = false;
      return;
    }
    ::close(fd);
  }
  // Nothing is lost: the pages stay in memory.
  FNextSpillAttempt = static_cast<int64_t>(FMemory.size()) * 2;
}

void TQRStream::CopyTo(TStream& target) {
  std::lock_guard lock(FLock);
  FPosition = 0;
  char chunk[kCopyChunk];
  for (size_t n; (n = ReadLocked(chunk, sizeof chunk)) > 0;) target.Write(chunk, n);
}

}  // namespace rpt
