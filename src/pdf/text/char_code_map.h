// Character code maps: what the codes of a text string stand for. A
// composite font's encoding CMap maps codes to CIDs; the maps used for text
// extraction map codes to Unicode.
#pragma once

#include <cstdint>

#include "runtime/unwindable.h"

namespace vn::pdf::text {

// One code of a string, decoded.
struct CharCode {
  // Bytes of the string the code took: 0 only when no byte was left.
  uint32_t length = 0;
  // A CID, or a single Unicode code unit; the map's default for codes
  // without a mapping (CID 0 unless a notdef range says otherwise).
  uint32_t value = 0;
  // A Unicode string of several UTF-16 code units (a ligature, a surrogate
  // pair): `units` holds `unitCount` of them and `value` is the first.
  // unitCount is 0 for single values.
  const uint16_t* units = nullptr;
  uint32_t unitCount = 0;
  // The single-byte code 32, which word spacing applies to.
  bool wordSpace = false;
};

class CharCodeMap : public Unwindable {
 public:
  CharCodeMap() = default;
  CharCodeMap(const CharCodeMap&) = delete;
  CharCodeMap& operator=(const CharCodeMap&) = delete;
  virtual ~CharCodeMap() { UnregisterUnwindable(this); }

  // Decodes the code that starts at `bytes` (before `end`). At the end of
  // the string the result has length 0 and the default value.
  virtual CharCode NextCode(const uint8_t* bytes, const uint8_t* end) const = 0;
  // Bytes of engine memory the map holds, its own object included.
  virtual uint32_t Footprint() const = 0;
  virtual bool IsUsable() const { return true; }
};

}  // namespace vn::pdf::text
