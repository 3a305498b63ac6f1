#include "objects/Extended.h"

#include <cmath>
#include <limits>

namespace rpt {

ExtendedBytes EncodeExtended(Extended value) {
  ExtendedBytes out{};
  uint16_t signExp = std::signbit(value) ? 0x8000 : 0;
  uint64_t mantissa = 0;
  if (std::isnan(value)) {
    signExp |= 0x7FFF;
    mantissa = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    signExp |= 0x7FFF;
    mantissa = 0x8000000000000000ull;
  } else if (value != 0) {
    int exp = 0;
    Extended frac = std::frexp(std::fabs(value), &exp);  // frac in [0.5, 1)
    int biased = exp - 1 + 16383;
    if (biased >= 0x7FFF) {
      signExp |= 0x7FFF;
      mantissa = 0x8000000000000000ull;
    } else {
      int shift = 64;
      if (biased <= 0) {  // subnormal: exponent field 0 means 2^-16382 without integer bit
        shift += biased - 1;
        biased = 0;
      }
      Extended scaled = std::ldexp(frac, shift);
      // long double holds 64 significant bits on x86; elsewhere round to nearest.
      Extended rounded = std::nearbyint(scaled);
      if (rounded >= std::ldexp(Extended(1), 64)) {
        rounded = std::ldexp(Extended(1), 63);
        ++biased;
      }
      mantissa = static_cast<uint64_t>(rounded);
      signExp |= static_cast<uint16_t>(biased);
    }
  }
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  out[8] = static_cast<uint8_t>(signExp);
  out[9] = static_cast<uint8_t>(signExp >> 8);
  return out;
}

Extended DecodeExtended(const uint8_t* bytes) {
  uint64_t mantissa = 0;
  for (int i = 0; i < 8; ++i) mantissa |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  const uint16_t signExp = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  const bool negative = signExp & 0x8000;
  const int exp = signExp & 0x7FFF;
  Extended value;
  if (exp == 0x7FFF) {
    value = (mantissa << 1) == 0 ? std::numeric_limits<Extended>::infinity()
                                 : std::numeric_limits<Extended>::quiet_NaN();
  } else {
    // Split so that each half converts exactly even where long double is only a double.
    const Extended hi = static_cast<Extended>(mantissa >> 32);
    const Extended lo = static_cast<Extended>(mantissa & 0xFFFFFFFFu);
    const int e = (exp == 0 ? 1 : exp) - 16383 - 63;
    value = std::ldexp(hi, e + 32) + std::ldexp(lo, e);
  }
  return negative ? -value : value;
}

Extended DecodeExtended(const ExtendedBytes& bytes) { return DecodeExtended(bytes.data()); }

}  // namespace rpt
