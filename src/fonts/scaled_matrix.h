// The matrices that carry glyph coordinates from font units to text or
// device space. A font matrix such as 1/1000 or 1/2048 em per unit has no
// exact 16.16 form (1/1000 would be off by 0.8 %), so the linear part keeps
// 30 significant bits at any scale: each entry is a mantissa over a common
// power of two.
#pragma once

#include <cstdint>

#include "runtime/fixed_matrix.h"

namespace vn::fonts {

// x' = (a*x + c*y) / 2^shift + tx, y' = (b*x + d*y) / 2^shift + ty, with x,
// y in 16.16 and tx, ty in 16.16 of the target space.
struct ScaledMatrix {
  int32_t a, b, c, d;
  uint32_t shift;
  Fixed16_16 tx, ty;
};

// The exact ScaledMatrix of a 16.16 matrix.
ScaledMatrix ToScaled(const FixedMatrix& m);
// The 16.16 matrix nearest to `m` (entries saturate).
FixedMatrix ToFixed(const ScaledMatrix& m);
// units/em on both axes.
ScaledMatrix UnitsPerEmMatrix(uint32_t unitsPerEm);
// The matrix that applies `first`, then `then`. Entries too large for any
// mantissa saturate.
ScaledMatrix Concat(const ScaledMatrix& first, const ScaledMatrix& then);
ScaledMatrix Concat(const ScaledMatrix& first, const FixedMatrix& then);
// The image of a point, rounded to nearest, saturating.
FixedPoint Apply(const ScaledMatrix& m, Fixed16_16 x, Fixed16_16 y);
// The image of a length along x (the linear part only), for advance widths.
FixedPoint ApplyVector(const ScaledMatrix& m, Fixed16_16 x, Fixed16_16 y);

// A scaled linear part from four wide entries over 2^shift: brings the
// mantissas into 30 bits and adjusts the shift (saturating when the values
// are too large for any shift).
ScaledMatrix NormalizeScaled(int64_t a, int64_t b, int64_t c, int64_t d, int32_t shift, Fixed16_16 tx,
                             Fixed16_16 ty);

// A decimal mantissa * 10^exponent as a value over 2^shift, rounded,
// saturating at +-2^62.
int64_t DecimalToScaled(int64_t mantissa, int32_t exponent, uint32_t shift);

}  // namespace vn::fonts
