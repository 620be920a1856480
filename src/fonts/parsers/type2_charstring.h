// The Type 2 charstring interpreter of CFF fonts: runs one glyph's
// charstring (with its global and local subroutines) into an outline.
// Hints are read and skipped: they only matter for hinted rendering.
//
// Bounds against hostile data: 48 operands, 10 levels of subroutine calls,
// and a budget of operators per glyph, so that subroutines calling each
// other cannot multiply the work; exceeding any is kBadData.
#pragma once

#include <cstdint>

#include "fonts/font_data.h"
#include "fonts/glyph_outline.h"
#include "fonts/parsers/cff_index.h"

namespace vn::fonts::parsers {

// What a glyph's charstring needs besides its own bytes.
struct Type2Subrs {
  const CffIndex* global;
  const CffIndex* local;  // the glyph's Private DICT's Subrs (may be empty)
  Fixed16_16 defaultWidth;
  Fixed16_16 nominalWidth;
};

// The outcome of one run.
struct Type2Result {
  Fixed16_16 width = 0;  // the advance, in font units
  // An endchar with four operands asks for a base glyph and an accent (by
  // their StandardEncoding codes), the accent offset by (accentX, accentY).
  bool seac = false;
  uint8_t baseCode = 0;
  uint8_t accentCode = 0;
  Fixed16_16 accentX = 0;
  Fixed16_16 accentY = 0;
};

inline constexpr uint32_t kType2MaxCallDepth = 10;
inline constexpr uint32_t kType2MaxOperators = 200000;

// Runs the charstring in [offset, offset + length) of `data`. With a null
// `writer` only the width is wanted: the run stops once it is known.
Type2Result RunType2Charstring(FontData& data, uint32_t offset, uint32_t length, const Type2Subrs& subrs,
                               OutlineWriter* writer);

// The subroutine number bias of an INDEX of `count` subroutines.
int32_t Type2SubrBias(uint32_t count);

}  // namespace vn::fonts::parsers
