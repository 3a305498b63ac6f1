#include "objects/FloatText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace rpt {

namespace {
// Significant digits of the shortest scientific text ("2.7e+00" has two).
int SignificantDigits(const char* first, const char* last) {
  int digits = 0;
  for (const char* p = first; p != last && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') ++digits;
  return digits;
}
}  // namespace

std::string ShortestFloatText(long double value, int digits, bool single) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
  digits = std::clamp(digits, 1, 17);
  char buffer[64];
  std::to_chars_result r;
  if (single) r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value), std::chars_format::scientific);
  else r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::scientific);
  // Whole numbers keep their places: 210 has two significant digits but needs three
  // for a general text without an exponent.
  const char* e = std::find(buffer, r.ptr, 'e');
  int exponent = 0;
  if (e != r.ptr) std::from_chars(e + (e[1] == '+' ? 2 : 1), r.ptr, exponent);
  const int precision = std::min(std::max(SignificantDigits(buffer, r.ptr), exponent + 1), digits);
  r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(single ? static_cast<float>(value) : value),
                    std::chars_format::general, precision);
  return std::string(buffer, r.ptr);
}

}  // namespace rpt
