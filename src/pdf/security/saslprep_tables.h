// The tables of SASLprep (see tools/gen_saslprep_tables.py, which generates
// saslprep_tables.cpp): stringprep's mapping, prohibition and
// bidirectional tables and the Unicode 3.2 data of NFKC, all sorted.
#pragma once

#include <cstdint>

namespace vn::pdf::security::saslprep_detail {

struct CodeRange {
  uint32_t first;
  uint32_t last;
};

struct ClassRange {
  uint32_t first;
  uint32_t last;
  uint8_t combiningClass;
};

struct Composition {
  uint16_t first;
  uint16_t second;
  uint16_t composite;
};

extern const CodeRange kMappedToNothing[];
extern const uint32_t kMappedToNothingCount;
extern const CodeRange kNonAsciiSpaces[];
extern const uint32_t kNonAsciiSpacesCount;
extern const CodeRange kProhibited[];
extern const uint32_t kProhibitedCount;
extern const CodeRange kRandAL[];
extern const uint32_t kRandALCount;
extern const CodeRange kLeftToRight[];
extern const uint32_t kLeftToRightCount;
extern const ClassRange kCombiningClasses[];
extern const uint32_t kCombiningClassesCount;
extern const uint32_t kDecompositionKeys[];
extern const uint16_t kDecompositionStarts[];
extern const uint16_t kDecompositionUnits[];
extern const uint32_t kDecompositionCount;
extern const Composition kCompositions[];
extern const uint32_t kCompositionsCount;

}  // namespace vn::pdf::security::saslprep_detail
