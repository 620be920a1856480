// Unicode for text extraction: what each character code of a font stands
// for.
//
// A font's "ToUnicode" entry is read with the CMap parser (bfchar and
// bfrange, strings of several code units for ligatures and surrogate
// pairs; the parser bounds what a map may hold). The names "Identity-H" and
// "Identity-V" there mean that two-byte codes are their own UTF-16 value.
// A damaged ToUnicode stream is dropped: the text keeps the Unicode its
// encoding gives.
//
// Simple fonts keep one SimpleToUnicodeCharCodeMap: the Unicode of their
// encoding's glyph names, with each code that the ToUnicode map gives taking
// the ToUnicode value instead.
#pragma once

#include <cstdint>

#include "pdf/document/object_resolver.h"
#include "pdf/text/char_code_map.h"
#include "runtime/engine_array.h"

namespace vn::pdf::text {

// The map of the font dictionary's "ToUnicode" entry (made with New), or
// null when there is none, it is neither a stream nor an identity name, or
// its stream is damaged. Raises only out of memory and cancellation.
CharCodeMap* ReadToUnicode(document::ObjectResolver& resolver, const document::ResolvedValue& font);

// "ToUnicode /Identity-H": two bytes a code, the code is the UTF-16 unit (a
// lone last byte is a short code of value 0).
class IdentityUnicodeCharCodeMap final : public CharCodeMap {
 public:
  CharCode NextCode(const uint8_t* bytes, const uint8_t* end) const override;
  uint32_t Footprint() const override { return sizeof(*this); }
};

// One byte a code: a Unicode value per code, or a string of code units.
class SimpleToUnicodeCharCodeMap final : public CharCodeMap {
 public:
  // `table`: each code's Unicode value from its glyph name (0: unknown).
  SimpleToUnicodeCharCodeMap(AppContext& context, const uint16_t (&table)[256]);

  // Takes the Unicode that `toUnicode` gives a code in place of the
  // table's. A simple font's codes are single bytes, but ToUnicode maps
  // often declare two-byte codes: a code c that the map lacks as the byte c
  // is looked up as the two bytes 0, c.
  void Overlay(const CharCodeMap& toUnicode);

  CharCode NextCode(const uint8_t* bytes, const uint8_t* end) const override;
  uint32_t Footprint() const override { return static_cast<uint32_t>(sizeof(*this)) + strings_.MemorySize(); }

 private:
  uint16_t values_[256];
  // Where a code's string {count, units...} starts in strings_, plus one
  // (0: the code has a single value).
  uint16_t stringStart_[256] = {};
  EngineArray<uint16_t> strings_;
};

// The Unicode map of a simple font: `table` overlaid with the font
// dictionary's ToUnicode map when it has a usable one.
SimpleToUnicodeCharCodeMap* NewSimpleToUnicodeMap(document::ObjectResolver& resolver,
                                                  const document::ResolvedValue& font,
                                                  const uint16_t (&table)[256]);

}  // namespace vn::pdf::text
