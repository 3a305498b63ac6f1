#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "objects/Exceptions.h"
#include "output/QRStream.h"

namespace rpt {
namespace {

namespace fs = std::filesystem;

std::string Pattern(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string ReadAll(TQRStream& s) {
  s.SetPosition(0);
  std::string out(static_cast<size_t>(s.Size()), '\0');
  s.ReadBuffer(out.data(), out.size());
  return out;
}

// Points TMPDIR at a fresh folder for the life of the object.
class TPrivateTempDir {
 public:
  TPrivateTempDir() : FPath((fs::temp_directory_path() / ("h5_qrstream_" + std::to_string(::getpid()))).string()) {
    fs::remove_all(FPath);
    fs::create_directory(FPath);
    const char* old = std::getenv("TMPDIR");
    FHadOld = old != nullptr;
    if (old) FOld = old;
    ::setenv("TMPDIR", FPath.c_str(), 1);
  }
  ~TPrivateTempDir() {
    if (FHadOld) ::setenv("TMPDIR", FOld.c_str(), 1); else ::unsetenv("TMPDIR");
    fs::remove_all(FPath);
  }
  const std::string& Path() const { return FPath; }
  bool Empty() const { return fs::is_empty(FPath); }

 private:
  std::string FPath, FOld;
  bool FHadOld = false;
};

TEST(QRStream, SpillsOnlyWhenGrowingPastTheThreshold) {
  const TPrivateTempDir temp;
  const std::string data = Pattern(100001, 1);
  TQRStream s(100000);
  s.Write(data.data(), 100000);
  EXPECT_TRUE(s.HeldInMemory()) << "exactly at the threshold stays in memory";
  EXPECT_EQ(s.SpillFolder(), "");
  s.Write(data.data() + 100000, 1);
  EXPECT_FALSE(s.HeldInMemory());
  EXPECT_EQ(s.SpillFolder(), temp.Path());
  // The spill file has no name in the folder: nothing there can outlive the process.
  EXPECT_TRUE(temp.Empty());
  // The write position is where the growing write left it.
  EXPECT_EQ(s.Position(), 100001);
  EXPECT_EQ(s.Size(), 100001);
  EXPECT_EQ(ReadAll(s), data);
  // Later writes and seeks go to the file.
  s.Seek(-1, soEnd);
  s.Write("Z", 1);
  s.Seek(10, soBeginning);
  s.Write("ab", 2);
  EXPECT_EQ(s.Seek(0, soCurrent), 12);
  std::string expected = data;
  expected[100000] = 'Z';
  expected.replace(10, 2, "ab");
  EXPECT_EQ(ReadAll(s), expected);
}

// A render killed while its store is spilled (SIGKILL runs no destructor) leaves
// nothing in the temporary folder.
TEST(QRStream, AKilledProcessLeavesNoSpillFile) {
  const TPrivateTempDir temp;
  const std::string data = Pattern(300000, 5);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto* s = new TQRStream(100000);
    s->Write(data.data(), data.size());
    ::_exit(s->HeldInMemory() ? 3 : (::raise(SIGKILL), 4));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child did not spill (exit " << WEXITSTATUS(status) << ")";
  EXPECT_TRUE(temp.Empty()) << fs::directory_iterator(temp.Path())->path();
}

TEST(QRStream, StreamCallsBehaveAlikeInMemoryAndInTheFile) {
  for (int32_t threshold : {1 << 30, 0}) {
    TQRStream s(threshold);
    EXPECT_EQ(s.Size(), 0);
    char buffer[8];
    EXPECT_EQ(s.Read(buffer, 8), 0u);
    s.Write("0123456789", 10);
    EXPECT_EQ(s.HeldInMemory(), threshold != 0);
    EXPECT_EQ(s.Seek(-4, soEnd), 6);
    EXPECT_EQ(s.Read(buffer, 8), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(s.Seek(-20, soCurrent), 0) << "clamped at the start";
    // Writing past the end leaves zeros in the gap.
    s.SetPosition(12);
    s.Write("X", 1);
    EXPECT_EQ(ReadAll(s), std::string("0123456789\0\0X", 13));
    s.Truncate(4);
    EXPECT_EQ(ReadAll(s), "0123");
    // CopyTo copies everything and leaves the position at the end.
    s.SetPosition(2);
    TMemoryStream target;
    s.CopyTo(target);
    EXPECT_EQ(target.Data(), "0123");
    EXPECT_EQ(s.Position(), 4);
  }
}

TEST(QRStream, CopyToCopiesALargeSpilledStore) {
  const std::string data = Pattern(250000, 2);
  TQRStream s(100000);
  for (size_t i = 0; i < data.size(); i += 999) s.Write(data.data() + i, std::min<size_t>(999, data.size() - i));
  TMemoryStream target;
  s.CopyTo(target);
  EXPECT_EQ(target.Data(), data);
}

TEST(QRStream, FileStreamsReadAndNeverDeleteOrWrite) {
  const std::string name = (fs::temp_directory_path() / "h5_qrstream_file.qrp").string();
  const std::string data = Pattern(5000, 3);
  WriteFileAtomically(name, data);
  {
    auto s = TQRStream::CreateForFile(name);
    EXPECT_FALSE(s->HeldInMemory());
    EXPECT_EQ(s->SpillThreshold(), 0);
    EXPECT_EQ(s->SpillFolder(), "");
    EXPECT_EQ(ReadAll(*s), data);
    EXPECT_THROW(s->Write("x", 1), EWriteError);
  }
  EXPECT_EQ(ReadWholeFile(name), data);
  fs::remove(name);
  EXPECT_THROW(TQRStream::CreateForFile(name), EFOpenError);
  EXPECT_THROW(TQRStream::CreateForFile(fs::temp_directory_path().string()), EFOpenError);
}

TEST(QRStream, AFailedSpillKeepsEverythingInMemory) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", "/nonexistent/h5-no-such-dir", 1);
  const std::string data = Pattern(300000, 4);
  TQRStream s(100000);
  s.Write(data.data(), 150000);
  EXPECT_TRUE(s.HeldInMemory());
  if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
  // Tried again once the store has doubled.
  s.Write(data.data() + 150000, 150000);
  EXPECT_FALSE(s.HeldInMemory());
  EXPECT_EQ(ReadAll(s), data);
}

}  // namespace
}  // namespace rpt
