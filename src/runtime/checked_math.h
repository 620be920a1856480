// Checked size arithmetic: overflow raises kOverflow instead of wrapping.
#pragma once

#include <cstdint>

namespace vn {

class AppContext;

// (n + 3) rounded down to a multiple of 4; raises kOverflow for n >= 0xFFFFFFFC.
uint32_t RoundUp4(AppContext& context, uint32_t n);
// a * b, raising kOverflow when the product does not fit in 32 bits.
uint32_t CheckedMultiply(AppContext& context, uint32_t a, uint32_t b);
// a + b, raising kOverflow when the sum does not fit in 32 bits.
uint32_t CheckedAdd(AppContext& context, uint32_t a, uint32_t b);

}  // namespace vn
