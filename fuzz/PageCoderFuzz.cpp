// The page coder. Any bytes decode to what the first two bytes ask for (up to 64 KiB),
// within a limit of the rest or none, or fail with a read error; and the bytes encode
// and decode back to themselves, the decoder taking exactly the coded bytes.
#include <cstdint>
#include <string>

#include "objects/Exceptions.h"
#include "output/QRCompress.h"

namespace {

void DecodeAnything(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const size_t count = data[0] | (size_t(data[1] & 0x7F) << 8);
  const bool limited = data[1] & 0x80;
  const std::string coded(reinterpret_cast<const char*>(data + 2), size - 2);
  rpt::TMemoryStream in(coded);
  try {
    rpt::TQRCompress decoder(in, false, limited ? int64_t(coded.size() / 2) : -1);
    std::string out(count, '\0');
    decoder.Decode(out.data(), count);
    decoder.Finish();
    if (in.Position() > int64_t(coded.size())) __builtin_trap();
  } catch (const rpt::EReadError&) {
  }
}

void RoundTrip(const uint8_t* data, size_t size) {
  rpt::TMemoryStream out;
  {
    rpt::TQRCompress coder(out, true);
    coder.Encode(data, size);
    coder.Finish();
  }
  const std::string coded = out.Data();
  rpt::TMemoryStream in(coded + "TAIL");
  rpt::TQRCompress decoder(in, false, int64_t(coded.size()));
  std::string back(size, '\0');
  decoder.Decode(back.data(), size);
  decoder.Finish();
  if (back != std::string(reinterpret_cast<const char*>(data), size)) __builtin_trap();
  if (in.Position() != int64_t(coded.size())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeAnything(data, size);
  RoundTrip(data, size);
  return 0;
}
