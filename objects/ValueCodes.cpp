#include "objects/ValueCodes.h"

#include "objects/Format.h"

namespace rpt {

const char* ValueCodeName(int code) {
  static const char* const kNames[] = {
      "svNull",   "svList", "svInt8",  "svInt16",      "svInt32",    "svExtended", "svString",
      "svIdent",  "svFalse", "svTrue", "svBinary",     "svSet",      "svLString",  "svNil",
      "svCollection", "svSingle", "svCurrency", "svDate", "svWString", "svInt64", "svUTF8String"};
  if (code < 0 || code > kLastValueCode) return nullptr;
  return kNames[code];
}

std::string detail::FormatImpl(std::string_view fmt, const std::string* args, size_t count) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%' && i + 1 < fmt.size()) {
      const char c = fmt[i + 1];
      if (c == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (c == 's' || c == 'd') {
        if (next < count) out += args[next++];
        ++i;
        continue;
      }
    }
    out += fmt[i];
  }
  return out;
}

}  // namespace rpt
