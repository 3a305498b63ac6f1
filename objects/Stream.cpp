#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "objects/Filer.h"
#include "objects/Format.h"

namespace rpt {

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw EReadError("Stream read error");
}

std::string TStream::ReadRest() {
  std::string data;
  const int64_t size = Size();
  const int64_t position = Position();
  // The size is only a hint (a device or directory may report anything).
  if (size > position) data.reserve(static_cast<size_t>(std::min<int64_t>(size - position, 1 << 26)));
  char chunk[65536];
  for (size_t n; (n = Read(chunk, sizeof chunk)) > 0;) data.append(chunk, n);
  return data;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const size_t n = FPosition < FData.size() ? std::min(count, FData.size() - FPosition) : 0;
  if (n) std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (FPosition > FData.size()) FData.resize(FPosition);
  const size_t overlap = std::min(count, FData.size() - FPosition);
  FData.replace(FPosition, overlap, static_cast<const char*>(buffer), count);
  FPosition += count;
}

void TMemoryStream::SetPosition(int64_t position) { FPosition = position < 0 ? 0 : static_cast<size_t>(position); }

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, TMode mode) : FFileName(fileName) {
  FFile = std::fopen(fileName.c_str(), mode == fmCreate ? "w+b" : "rb");
  if (!FFile) {
    const char* fmt = mode == fmCreate ? "Cannot create file \"%s\". %s" : "Cannot open file \"%s\". %s";
    const std::string reason = std::strerror(errno);
    if (mode == fmCreate) throw EFCreateError(Format(fmt, fileName, reason));
    throw EFOpenError(Format(fmt, fileName, reason));
  }
  struct stat st;
  if (::fstat(::fileno(FFile), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(FFile);
    FFile = nullptr;
    const char* fmt = mode == fmCreate ? "Cannot create file \"%s\". %s" : "Cannot open file \"%s\". %s";
    const std::string reason = std::strerror(EISDIR);
    if (mode == fmCreate) throw EFCreateError(Format(fmt, fileName, reason));
    throw EFOpenError(Format(fmt, fileName, reason));
  }
}

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

void TFileStream::Close() {
  if (!FFile) return;
  const bool failed = std::fflush(FFile) != 0 || std::ferror(FFile);
  const int error = errno;
  const bool closeFailed = std::fclose(FFile) != 0;
  FFile = nullptr;
  if (failed || closeFailed)
    throw EWriteError(Format("Cannot write file \"%s\". %s", FFileName, std::strerror(failed ? error : errno)));
}

size_t TFileStream::Read(void* buffer, size_t count) { return FFile ? std::fread(buffer, 1, count, FFile) : 0; }

void TFileStream::Write(const void* buffer, size_t count) {
  if (!FFile || std::fwrite(buffer, 1, count, FFile) != count)
    throw EWriteError(Format("Cannot write file \"%s\". %s", FFileName, std::strerror(errno)));
}

int64_t TFileStream::Position() const { return FFile ? std::ftell(FFile) : 0; }

void TFileStream::SetPosition(int64_t position) {
  if (FFile) std::fseek(FFile, static_cast<long>(position), SEEK_SET);
}

int64_t TFileStream::Size() const {
  if (!FFile) return 0;
  const long here = std::ftell(FFile);
  std::fseek(FFile, 0, SEEK_END);
  const long size = std::ftell(FFile);
  std::fseek(FFile, here, SEEK_SET);
  return size;
}

// ---------------------------------------------------------------------------

namespace {
TWriteFailureHook gWriteFailureHook;

// The errno a test injects at a step of a write, else 0.
int Injected(std::string_view step) { return gWriteFailureHook ? gWriteFailureHook(step) : 0; }
}  // namespace

void SetWriteFailureHook(TWriteFailureHook hook) { gWriteFailureHook = std::move(hook); }

int InjectedWriteFailure(std::string_view step) { return Injected(step); }

std::string OutputTarget(const std::string& fileName) {
  namespace fs = std::filesystem;
  fs::path path(fileName);
  for (int links = 0;; ++links) {
    struct stat st;
    // Nothing there (or a folder on the way that is missing): creating the file says why.
    if (::lstat(path.c_str(), &st) != 0) return path.string();
    if (S_ISREG(st.st_mode)) return path.string();
    if (S_ISDIR(st.st_mode))
      throw EFCreateError(Format("Cannot create file \"%s\". It is a folder", fileName));
    if (!S_ISLNK(st.st_mode))
      throw EFCreateError(Format("Cannot create file \"%s\". It is not a regular file (a device, pipe or socket); "
                                 "only a file is written over",
                                 fileName));
    if (links >= 40) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(ELOOP)));
    std::error_code ec;
    const fs::path link = fs::read_symlink(path, ec);
    if (ec) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, ec.message()));
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
}

namespace {
// The permissions a new file gets: those of the file it replaces, else rw-r--r--.
mode_t ModeFor(const std::string& target) {
  struct stat st;
  return ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0644;
}
}  // namespace

namespace {
// One registered temporary file. Entries are never freed, only reused, so a signal handler
// walking the list never meets freed memory; it claims an entry before it reads the path,
// and an entry is released (or reused) only while nobody has claimed it.
struct TTemporaryEntry {
  enum : int { kFree, kFilling, kReady, kClaimed };
  std::atomic<int> State{kFree};
  char* Path = nullptr;
  TTemporaryEntry* Next = nullptr;
};
std::atomic<TTemporaryEntry*> gTemporaryFiles{nullptr};
}  // namespace

void* RegisterTemporaryFile(const std::string& path) {
  TTemporaryEntry* entry = gTemporaryFiles.load(std::memory_order_acquire);
  for (; entry; entry = entry->Next) {
    int expected = TTemporaryEntry::kFree;
    if (entry->State.compare_exchange_strong(expected, TTemporaryEntry::kFilling)) break;
  }
  if (!entry) {
    entry = new TTemporaryEntry;
    entry->State.store(TTemporaryEntry::kFilling);
    entry->Next = gTemporaryFiles.load(std::memory_order_relaxed);
    while (!gTemporaryFiles.compare_exchange_weak(entry->Next, entry, std::memory_order_release)) {
    }
  }
  std::free(entry->Path);
  entry->Path = ::strdup(path.c_str());
  entry->State.store(entry->Path ? TTemporaryEntry::kReady : TTemporaryEntry::kFree, std::memory_order_release);
  return entry->Path ? entry : nullptr;
}

void ReleaseTemporaryFile(void* token) {
  if (!token) return;
  auto* entry = static_cast<TTemporaryEntry*>(token);
  int expected = TTemporaryEntry::kReady;
  // Claimed: a signal is removing it and the program is ending.
  if (entry->State.compare_exchange_strong(expected, TTemporaryEntry::kFilling)) {
    std::free(entry->Path);
    entry->Path = nullptr;
    entry->State.store(TTemporaryEntry::kFree, std::memory_order_release);
  }
}

void RemoveTemporaryFilesNow() {
  for (TTemporaryEntry* entry = gTemporaryFiles.load(std::memory_order_acquire); entry; entry = entry->Next) {
    int expected = TTemporaryEntry::kReady;
    if (entry->State.compare_exchange_strong(expected, TTemporaryEntry::kClaimed, std::memory_order_acquire))
      ::unlink(entry->Path);
  }
}

// The new contents go to a file beside the target, reach the disk, and only then take
// its name: the old file stays whole until the new one is complete.
void WriteFileAtomically(const std::string& fileName, std::string_view bytes) {
  namespace fs = std::filesystem;
  const std::string resolved = OutputTarget(fileName);
  const fs::path target(resolved);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = -1;
  if (const int error = Injected("create")) {
    errno = error;
  } else {
    fd = ::mkstemp(temp.data());
  }
  if (fd < 0) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(errno)));
  struct TRegistered {
    void* Token;
    ~TRegistered() { ReleaseTemporaryFile(Token); }
  } registered{RegisterTemporaryFile(temp)};
  auto fail = [&](int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw EWriteError(Format("Cannot write file \"%s\". %s", fileName, std::strerror(error)));
  };
  for (size_t done = 0; done < bytes.size();) {
    // A failure injected half way leaves a partly written temporary file behind it.
    if (const int error = done > 0 || bytes.size() < 2 ? Injected("write") : 0) fail(error);
    const size_t chunk = done == 0 && bytes.size() > 1 ? bytes.size() / 2 : bytes.size() - done;
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (const int error = Injected("sync")) fail(error);
  if (::fsync(fd) != 0) fail(errno);
  // Keep the permissions of the file being replaced.
  ::fchmod(fd, ModeFor(resolved));
  const int closeError = Injected("close");
  if (::close(fd) != 0 || closeError) {
    const int error = closeError ? closeError : errno;
    ::unlink(temp.c_str());
    throw EWriteError(Format("Cannot write file \"%s\". %s", fileName, std::strerror(error)));
  }
  const int renameError = Injected("rename");
  if (renameError || ::rename(temp.c_str(), resolved.c_str()) != 0) {
    const int error = renameError ? renameError : errno;
    ::unlink(temp.c_str());
    throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, std::strerror(error)));
  }
  // The new name itself reaches the disk with its folder.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

TPendingFile::TPendingFile(std::string fileName) : FFileName(std::move(fileName)), FTarget(OutputTarget(FFileName)) {
  namespace fs = std::filesystem;
  const fs::path target(FTarget);
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = -1;
  if (const int error = Injected("create"))
    errno = error;
  else
    fd = ::mkstemp(temp.data());
  if (fd < 0) throw EFCreateError(Format("Cannot create file \"%s\". %s", FFileName, std::strerror(errno)));
  ::close(fd);
  FTemp = std::move(temp);
  FRegistered = RegisterTemporaryFile(FTemp);
}

TPendingFile::~TPendingFile() { Discard(); }

void TPendingFile::Discard() {
  if (FTemp.empty()) return;
  ::unlink(FTemp.c_str());
  ReleaseTemporaryFile(FRegistered);
  FRegistered = nullptr;
  FTemp.clear();
}

void TPendingFile::Commit() {
  if (FTemp.empty()) throw EFCreateError(Format("Cannot create file \"%s\"", FFileName));
  auto fail = [this](int error) {
    Discard();
    throw EFCreateError(Format("Cannot create file \"%s\". %s", FFileName, std::strerror(error)));
  };
  const int fd = ::open(FTemp.c_str(), O_RDONLY);
  if (fd < 0) fail(errno);
  const int syncError = Injected("sync");
  if (syncError || ::fsync(fd) != 0) {
    const int error = syncError ? syncError : errno;
    ::close(fd);
    fail(error);
  }
  // mkstemp made the file private: it gets the permissions of the file it replaces.
  ::fchmod(fd, ModeFor(FTarget));
  ::close(fd);
  const int renameError = Injected("rename");
  if (renameError || ::rename(FTemp.c_str(), FTarget.c_str()) != 0) fail(renameError ? renameError : errno);
  ReleaseTemporaryFile(FRegistered);
  FRegistered = nullptr;
  FTemp.clear();
  const std::filesystem::path target(FTarget);
  const std::string dir = target.has_parent_path() ? target.parent_path().string() : std::string(".");
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

std::string ReadWholeFile(const std::string& fileName) {
  TFileStream file(fileName, TFileStream::fmOpenRead);
  return file.ReadRest();
}

}  // namespace rpt
