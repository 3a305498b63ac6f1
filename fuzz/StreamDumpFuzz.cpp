// Any bytes given to the text form of a stream: a text or an error, and a text that
// comes out builds back to exactly the bytes it came from.
#include <cstdint>
#include <string>
#include <string_view>

#include "objects/Exceptions.h"
#include "objects/StreamText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string text;
  try {
    text = rpt::DumpStream(bytes);
  } catch (const rpt::Exception&) {
    return 0;
  }
  if (rpt::BuildStream(text) != bytes) __builtin_trap();
  return 0;
}
