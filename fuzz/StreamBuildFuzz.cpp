// Any text given to the builder of stream bytes: bytes or an error, never a crash, a
// hang or memory out of proportion to the text.
#include <cstdint>
#include <string_view>

#include "objects/Exceptions.h"
#include "objects/StreamText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    rpt::BuildStream(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const rpt::Exception&) {
  }
  return 0;
}
