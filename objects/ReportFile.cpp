#include "objects/ReportFile.h"

#include <cstring>

#include "objects/CodePage.h"
#include "objects/Exceptions.h"
#include "objects/Format.h"
#include "objects/ValueCodes.h"

namespace rpt {
namespace {

void AppendInt32(std::string& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

void AppendString(std::string& out, std::string_view bytes) {
  AppendInt32(out, static_cast<int32_t>(bytes.size()));
  out += bytes;
}

// Reads within [position, end) of the data; `end` is the end of the file or of the
// SQL block being read.
class THeaderReader {
 public:
  THeaderReader(std::string_view data, size_t position, size_t end)
      : FData(data), FPosition(position), FEnd(end) {}

  size_t Position() const { return FPosition; }
  size_t Remaining() const { return FEnd - FPosition; }

  uint8_t ReadByte(const char* what) {
    if (Remaining() < 1) Fail(what, "end of data");
    return static_cast<uint8_t>(FData[FPosition++]);
  }

  // A 32-bit count of items that need at least `unit` bytes each among those left.
  int32_t ReadCount(const char* what, size_t unit) {
    if (Remaining() < 4)
      Fail(Format("%s (4 bytes)", what), Remaining() == 0 ? std::string("end of data")
                                                          : Format("only %d bytes", Remaining()));
    uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<uint32_t>(static_cast<uint8_t>(FData[FPosition + i])) << (8 * i);
    const auto value = static_cast<int32_t>(raw);
    const size_t limit = (Remaining() - 4) / unit;
    if (value < 0 || static_cast<size_t>(value) > limit)
      Fail(Format("%s from 0 to %d", what, limit), std::to_string(value));
    FPosition += 4;
    return value;
  }

  std::string_view ReadBytes(const char* what) {
    const auto length = static_cast<size_t>(ReadCount(what, 1));
    const std::string_view bytes = FData.substr(FPosition, length);
    FPosition += length;
    return bytes;
  }

  [[noreturn]] void Fail(const std::string& expected, const std::string& found) const {
    throw EReadError(Format("offset %d: expected %s, found %s", FPosition, expected, found));
  }

 private:
  std::string_view FData;
  size_t FPosition;
  size_t FEnd;
};

std::string BaseName(std::string_view fileName) {
  const size_t slash = fileName.find_last_of('/');
  return std::string(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

}  // namespace

void WriteReportFileHeader(std::string& out, const TReportFileHeader& header) {
  out.append(kReportMagic, sizeof kReportMagic);
  out += static_cast<char>(header.Kind);
  if (header.Kind == rdkQuery) {
    AppendString(out, Utf8ToCodePageLossy(header.DatabaseName));
    std::string block;
    AppendInt32(block, static_cast<int32_t>(header.SqlLines.size()));
    for (const std::string& line : header.SqlLines) AppendString(block, Utf8ToCodePageLossy(line));
    AppendString(out, block);
  } else if (header.Kind == rdkTable) {
    AppendString(out, Utf8ToCodePageLossy(header.DatabaseName));
    AppendString(out, Utf8ToCodePageLossy(header.TableName));
  }
}

size_t ReadReportFileHeader(std::string_view bytes, TReportFileHeader& header, std::string_view fileName) {
  if (bytes.size() < sizeof kReportMagic || std::memcmp(bytes.data(), kReportMagic, sizeof kReportMagic) != 0)
    throw EReadError("File \"" + BaseName(fileName) + "\" is not a report file");
  THeaderReader reader(bytes, sizeof kReportMagic, bytes.size());
  TReportFileHeader result;
  result.Kind = reader.ReadByte("the dataset kind byte");
  if (result.Kind == rdkQuery) {
    result.DatabaseName = CodePageToUtf8(reader.ReadBytes("the length of the database name"));
    const size_t blockStart = reader.Position() + 4;
    const std::string_view block = reader.ReadBytes("the length of the SQL block");
    // The block's own length must agree with the lines it holds; a mismatch means the
    // file was damaged, and guessing which of the two is right would hide that.
    THeaderReader lines(bytes, blockStart, blockStart + block.size());
    const int32_t count = lines.ReadCount("the SQL line count", 4);
    result.SqlLines.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
      result.SqlLines.push_back(CodePageToUtf8(lines.ReadBytes("the length of an SQL line")));
    if (lines.Remaining() != 0)
      lines.Fail("the end of the SQL block", Format("%d more bytes", lines.Remaining()));
  } else if (result.Kind == rdkTable) {
    result.DatabaseName = CodePageToUtf8(reader.ReadBytes("the length of the database name"));
    result.TableName = CodePageToUtf8(reader.ReadBytes("the length of the table name"));
  }
  header = std::move(result);
  return reader.Position();
}

}  // namespace rpt
