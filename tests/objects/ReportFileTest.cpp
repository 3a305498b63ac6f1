// The .rpt header: its exact bytes for each dataset kind, reading it back, and the
// errors for files that are not reports or end inside the header; where a written file
// goes when its name is a link or no file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "objects/Exceptions.h"
#include "objects/Filer.h"
#include "objects/ReportFile.h"

namespace rpt {
namespace {

std::string Hex(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    out += static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16));
    ++i;
  }
  return out;
}

std::string Written(const TReportFileHeader& header) {
  std::string out;
  WriteReportFileHeader(out, header);
  return out;
}

std::string ReadError(const std::string& bytes, std::string_view fileName = {}) {
  TReportFileHeader header;
  try {
    ReadReportFileHeader(bytes, header, fileName);
  } catch (const EReadError& e) {
    return e.what();
  }
  return "no error";
}

const std::string kTableBytes =
    Hex("51 58 52 50 02 05 00 00 00 53 61 6C 65 73 09 00 00 00 6F 72 64 65 72 73 2E 64 62");
const std::string kQueryBytes =
    Hex("51 58 52 50 01 05 00 00 00 53 61 6C 65 73 1F 00 00 00 02 00 00 00 08 00 00 00 73 65 6C 65 63 74 20 2A "
        "0B 00 00 00 66 72 6F 6D 20 6F 72 64 65 72 73");

TEST(ReportFileTest, EachKindWritesExactlyItsFieldsAndReadsBack) {
  const TReportFileHeader table{rdkTable, "Sales", {"ignored for a table"}, "orders.db"};
  const TReportFileHeader query{rdkQuery, "Sales", {"select *", "from orders"}, "ignored for a query"};
  EXPECT_EQ(Written(table), kTableBytes);
  EXPECT_EQ(Written(query), kQueryBytes);
  EXPECT_EQ(Written({rdkNone, "x", {"y"}, "z"}), Hex("51 58 52 50 00"));
  EXPECT_EQ(Written({rdkQuery, "", {}, ""}), Hex("51 58 52 50 01 00 00 00 00 04 00 00 00 00 00 00 00"));

  const std::string stream = "TPF0...";
  TReportFileHeader read;
  EXPECT_EQ(ReadReportFileHeader(kTableBytes + stream, read), kTableBytes.size());
  EXPECT_EQ(read, (TReportFileHeader{rdkTable, "Sales", {}, "orders.db"}));
  EXPECT_EQ(ReadReportFileHeader(kQueryBytes + stream, read), kQueryBytes.size());
  EXPECT_EQ(read, (TReportFileHeader{rdkQuery, "Sales", {"select *", "from orders"}, ""}));
  // A kind this program does not know carries nothing: the stream follows at once.
  EXPECT_EQ(ReadReportFileHeader(Hex("51 58 52 50 09") + stream, read), 5u);
  EXPECT_EQ(read, (TReportFileHeader{9, "", {}, ""}));
}

TEST(ReportFileTest, TextIsUtf8InMemoryAndCodePageOnDisk) {
  const TReportFileHeader header{rdkQuery, "Caf\xC3\xA9", {"where x = '\xE2\x82\xAC' ", "\xE6\x97\xA5"}, ""};
  const std::string bytes = Written(header);
  EXPECT_NE(bytes.find(Hex("04 00 00 00 43 61 66 E9")), std::string::npos);
  EXPECT_NE(bytes.find(Hex("0E 00 00 00") + "where x = '\x80' "), std::string::npos);  // trailing space kept
  EXPECT_NE(bytes.find(Hex("01 00 00 00 3F")), std::string::npos);  // no code-page byte: '?'
  TReportFileHeader read;
  ReadReportFileHeader(bytes, read);
  EXPECT_EQ(read.DatabaseName, header.DatabaseName);
  EXPECT_EQ(read.SqlLines, (std::vector<std::string>{"where x = '\xE2\x82\xAC' ", "?"}));
}

TEST(ReportFileTest, OtherFilesAreNotReportFiles) {
  EXPECT_EQ(ReadError("TPF0\x07TQRLabel", "/home/ann/reports/sales.rpt"),
            "File \"sales.rpt\" is not a report file");
  EXPECT_EQ(ReadError("QX", "short.rpt"), "File \"short.rpt\" is not a report file");
  EXPECT_EQ(ReadError(""), "File \"\" is not a report file");
}

TEST(ReportFileTest, DamagedHeadersNameTheOffsetAndField) {
  // Every cut inside a header is an error, never a read past the end.
  for (const std::string* bytes : {&kTableBytes, &kQueryBytes})
    for (size_t length = 4; length < bytes->size(); ++length)
      EXPECT_NE(ReadError(bytes->substr(0, length)).rfind("offset ", 0), std::string::npos) << length;

  EXPECT_EQ(ReadError(Hex("51 58 52 50")), "offset 4: expected the dataset kind byte, found end of data");
  EXPECT_EQ(ReadError(Hex("51 58 52 50 02 05 00")),
            "offset 5: expected the length of the database name (4 bytes), found only 2 bytes");
  EXPECT_EQ(ReadError(Hex("51 58 52 50 02 FF FF FF FF 00")),
            "offset 5: expected the length of the database name from 0 to 1, found -1");
  // A count far beyond the data is refused before anything is reserved for it.
  EXPECT_EQ(ReadError(Hex("51 58 52 50 01 00 00 00 00 08 00 00 00 FF FF FF 7F 00 00 00 00")),
            "offset 13: expected the SQL line count from 0 to 1, found 2147483647");
  EXPECT_EQ(ReadError(Hex("51 58 52 50 01 00 00 00 00 09 00 00 00 01 00 00 00 00 00 00 00 41 00")),
            "offset 21: expected the end of the SQL block, found 1 more bytes");
  EXPECT_EQ(ReadError(Hex("51 58 52 50 01 00 00 00 00 08 00 00 00 01 00 00 00 01 00 00 00 41")),
            "offset 17: expected the length of an SQL line from 0 to 0, found 1");
}

// A file written through a symbolic link replaces the link's target and keeps the
// target's permissions; the link stays. A device, pipe or folder is never written over.
TEST(ReportFileTest, WritesGoThroughLinksAndNeverOverWhatIsNoFile) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("h5_links_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  const std::string real = (dir / "sub" / "real.rpt").string(), link = (dir / "link.rpt").string();
  WriteFileAtomically(real, "old");
  ::chmod(real.c_str(), 0640);
  fs::create_symlink("sub/real.rpt", link);
  auto mode = [](const std::string& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
  };

  WriteFileAtomically(link, "new");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadWholeFile(real), "new");
  EXPECT_EQ(mode(real), 0640u);
  {
    TPendingFile pending(link);
    EXPECT_EQ(fs::path(pending.TempName()).parent_path(), dir / "sub") << "the new file is made beside the target";
    std::ofstream(pending.TempName()) << "pending";
    pending.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadWholeFile(real), "pending");
  EXPECT_EQ(mode(real), 0640u);
  // A link to nothing yet makes its target.
  fs::create_symlink("sub/later.rpt", dir / "dangling.rpt");
  WriteFileAtomically((dir / "dangling.rpt").string(), "later");
  EXPECT_EQ(ReadWholeFile((dir / "sub" / "later.rpt").string()), "later");
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.rpt"));

  auto refusal = [](const std::function<void()>& write) {
    try {
      write();
    } catch (const EFCreateError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  const std::string device = (dir / "device.pdf").string();
  fs::create_symlink("/dev/null", device);
  const std::string expected = "Cannot create file \"" + device +
                               "\". It is not a regular file (a device, pipe or socket); only a file is written over";
  EXPECT_EQ(refusal([&] { WriteFileAtomically(device, "x"); }), expected);
  EXPECT_EQ(refusal([&] { TPendingFile pending(device); }), expected);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(refusal([&] { WriteFileAtomically((dir / "sub").string(), "x"); }),
            "Cannot create file \"" + (dir / "sub").string() + "\". It is a folder");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace rpt
