// The alias file, which a user edits by hand: any text gives its aliases or an error
// naming the line.
#include <cstdint>
#include <string_view>

#include "data/DB.h"
#include "data/Engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    for (const auto& alias : rpt::engine::ParseAliasFile(text, "aliases.ini", "/nonexistent/base"))
      if (alias.Name.empty()) __builtin_trap();
  } catch (const rpt::EDatabaseError&) {
  }
  return 0;
}
