// The Type 1 charstring interpreter: decrypts a glyph's charstring and runs
// it, with its subroutines, into an outline. Flex and hint replacement reach
// the interpreter through callothersubr (othersubrs 0-3); other othersubrs
// hand their arguments back to the pops that follow, as the format allows.
// Hints are skipped.
#pragma once

#include <cstdint>

#include "fonts/glyph_outline.h"
#include "runtime/engine_array.h"

namespace vn::fonts::parsers {

// A charstring or subroutine: its encrypted bytes inside the font's
// decrypted private part.
struct Type1Span {
  uint32_t offset;
  uint32_t length;
};

struct Type1Program {
  const uint8_t* privateData;  // the decrypted eexec part
  uint32_t privateLength;
  const Type1Span* subrs;
  uint32_t subrCount;
  int32_t lenIV;  // bytes of random prefix; -1: charstrings are not encrypted
};

struct Type1Result {
  Fixed16_16 width = 0;
  Fixed16_16 sideBearing = 0;
  // seac: base and accent by StandardEncoding code, the accent shifted.
  bool seac = false;
  uint8_t baseCode = 0;
  uint8_t accentCode = 0;
  Fixed16_16 accentX = 0;  // adx - asb + the glyph's side bearing
  Fixed16_16 accentY = 0;
};

inline constexpr uint32_t kType1MaxCallDepth = 10;
inline constexpr uint32_t kType1MaxOperators = 200000;

// Runs one charstring. With a null writer only the width is wanted.
Type1Result RunType1Charstring(AppContext& context, const Type1Program& program, Type1Span charstring,
                               OutlineWriter* writer);

// The eexec and charstring decryption: `r` is 55665 for eexec, 4330 for
// charstrings.
void Type1Decrypt(const uint8_t* in, uint8_t* out, uint32_t length, uint16_t r);

}  // namespace vn::fonts::parsers
