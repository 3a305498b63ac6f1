// A recorded-report file from anywhere, as File > Open and rpttool read it: opened, its
// record chain walked and the pages its header promises read, each a clear error or a
// page whose bytes are a metafile.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "objects/Exceptions.h"
#include "output/QRPageList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rpt::TQRPageList list;
  try {
    auto stream = std::make_unique<rpt::TQRStream>(INT32_MAX);
    stream->Write(data, size);
    list.OpenStream(std::move(stream));
  } catch (const rpt::Exception&) {
    return 0;
  }
  try {
    list.ReadHeaderInfo();
    list.ScanRecords();
  } catch (const rpt::Exception&) {
  }
  // From the last page back, then the first again: the preview's order after a jump.
  const int32_t pages = std::min(list.TotalPages(), 8);
  for (int32_t n : {pages, pages - 1, 1, 2, pages + 1}) {
    try {
      if (auto page = list.ReadPage(n)) rpt::TMetafile::Check(page->Data());
    } catch (const rpt::Exception&) {
    }
  }
  return 0;
}
