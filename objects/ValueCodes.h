#pragma once
// Value codes of the binary component stream: one byte before every value.
#include <cstdint>

namespace rpt {

enum TValueCode : uint8_t {
  svNull = 0,         // ends a property list, child list, list or collection
  svList = 1,         // values until svNull
  svInt8 = 2,         // 1 byte signed
  svInt16 = 3,        // 2 bytes signed
  svInt32 = 4,        // 4 bytes signed
  svExtended = 5,     // 10-byte extended float
  svString = 6,       // length byte + code-page bytes
  svIdent = 7,        // short string
  svFalse = 8,
  svTrue = 9,
  svBinary = 10,      // 4-byte count + bytes
  svSet = 11,         // element names ended by an empty name
  svLString = 12,     // 4-byte length + code-page bytes
  svNil = 13,
  svCollection = 14,  // items ended by svNull
  svSingle = 15,      // 4-byte IEEE single
  svCurrency = 16,    // 8-byte count of ten-thousandths
  svDate = 17,        // 8-byte double, days since 1899-12-30
  svWString = 18,     // 4-byte count of UTF-16 units + 2 bytes each
  svInt64 = 19,       // 8 bytes signed
  svUTF8String = 20,  // 4-byte count + UTF-8 bytes
};
constexpr int kLastValueCode = svUTF8String;

// Object prefix flags (prefix byte is 0xF0 | flags).
enum TFilerFlag : uint8_t { hfInherited = 1, hfChildPos = 2, hfInline = 4 };

inline constexpr char kSignature[4] = {'T', 'P', 'F', '0'};
inline constexpr char kReportMagic[4] = {'Q', 'X', 'R', 'P'};

const char* ValueCodeName(int code);  // "svNull" .. "svUTF8String", or nullptr

}  // namespace rpt
