// The table directory of an sfnt file (TrueType and OpenType).
#pragma once

#include <cstdint>

#include "fonts/font_data.h"

namespace vn::fonts {

constexpr uint32_t SfntTag(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint8_t>(d);
}

// The four sfnt version tags.
inline constexpr uint32_t kSfntVersionTrueType = 0x00010000;
inline constexpr uint32_t kSfntVersionOpenType = SfntTag('O', 'T', 'T', 'O');
inline constexpr uint32_t kSfntVersionApple = SfntTag('t', 'r', 'u', 'e');
inline constexpr uint32_t kSfntVersionType1 = SfntTag('t', 'y', 'p', '1');

bool IsSfntVersion(uint32_t tag);

struct SfntTable {
  uint32_t offset = 0;
  uint32_t length = 0;
  bool Present() const { return length != 0; }
};

// Finds a table by tag; a missing table is an absent (zero-length) one. A
// table record pointing outside the file raises kBadData, except that a
// length running past the end is cut at the end (a common fault of
// subsetting tools).
SfntTable FindSfntTable(FontData& data, uint32_t tag);

}  // namespace vn::fonts
