// The PDF character classes: one byte of bit flags per byte value.
#pragma once

#include <cstdint>

namespace vn::pdf::store {

enum CharClass : uint8_t {
  kWhiteSpace = 0x01,
  kDelimiter = 0x02,
  kNotDecimal = 0x04,
  kNotHexNorSpace = 0x08,
  kStringSpecial = 0x10,
  kOctal = 0x20,
  kEndOfLine = 0x40,
  kTokenEnd = kWhiteSpace | kDelimiter,
};

extern const uint8_t kCharClasses[256];

inline bool IsTokenEnd(uint8_t b) { return (kCharClasses[b] & kTokenEnd) != 0; }
// -1 for a byte that is not a hexadecimal digit.
int HexDigitValue(uint8_t b);

}  // namespace vn::pdf::store
