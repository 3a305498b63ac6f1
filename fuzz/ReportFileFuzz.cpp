// A report file's header: read with every length checked against what remains; the
// offset it answers lies within the file.
#include <cstdint>
#include <string_view>

#include "objects/Exceptions.h"
#include "objects/ReportFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  rpt::TReportFileHeader header;
  try {
    if (rpt::ReadReportFileHeader(bytes, header, "fuzz.rpt") > bytes.size()) __builtin_trap();
  } catch (const rpt::Exception&) {
  }
  return 0;
}
