#pragma once
// The header of a .rpt file: the magic "QXRP", the kind of dataset the report is
// bound to and that dataset's description. The report's component stream follows it.
//
//   magic (4) | kind (1) | kind 1: database name, SQL block | kind 2: database name, table name
//
// Strings are a 32-bit signed little-endian length and that many code-page bytes. The
// SQL block is itself such a string whose bytes hold a line count followed by each
// line as a length and its bytes. Kind 0, and any kind this program does not know,
// carries nothing: the stream follows the kind byte directly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rpt {

enum TReportDataSetKind : uint8_t { rdkNone = 0, rdkQuery = 1, rdkTable = 2 };

struct TReportFileHeader {
  uint8_t Kind = rdkNone;
  std::string DatabaseName;            // UTF-8; kinds 1 and 2
  std::vector<std::string> SqlLines;   // UTF-8; kind 1
  std::string TableName;               // UTF-8; kind 2

  bool operator==(const TReportFileHeader&) const = default;
};

// Appends the magic, the kind and the kind's fields to `out`. Characters the code page
// cannot hold are written as '?'; fields the kind does not use are not written.
void WriteReportFileHeader(std::string& out, const TReportFileHeader& header);

// Reads the header at the start of `bytes` and returns the offset of the component
// stream that follows. Fails with EReadError: "File \"NAME\" is not a report file"
// (NAME is `fileName` without its directory) when the magic is missing, otherwise
// with "offset N: expected ..., found ..." when the header is cut off or a length or
// count is negative or runs past the end of the data.
size_t ReadReportFileHeader(std::string_view bytes, TReportFileHeader& header,
                            std::string_view fileName = {});

}  // namespace rpt
