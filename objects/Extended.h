#pragma once
// The 10-byte extended-precision float of the component stream, converted without
// relying on how the compiler lays out long double.
#include <array>
#include <cstdint>

namespace rpt {

using Extended = long double;
using ExtendedBytes = std::array<uint8_t, 10>;

// Little-endian: 64-bit significand with explicit integer bit, then sign and 15-bit exponent.
ExtendedBytes EncodeExtended(Extended value);
Extended DecodeExtended(const ExtendedBytes& bytes);
Extended DecodeExtended(const uint8_t* bytes);

}  // namespace rpt
