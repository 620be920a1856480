// Moving colours measured under one white to the connection space's D50
// white, as ICC profiles do (the Bradford transform): calibrated PDF spaces
// give their primaries under their own white point.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"

namespace vn::color {

// Adapts `count` XYZ values (16.16, three each) from `white` to D50 in
// place. Returns false (leaving them unchanged) for a white point whose
// cone responses are not all positive.
bool AdaptToD50(const Fixed16_16* white, Fixed16_16* xyz, uint32_t count);

}  // namespace vn::color
