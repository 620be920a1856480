// Elementary functions in 16.16 for the PDF calculator and the colour
// engine: logarithms, exponentials, a precise power, cube root and the
// trigonometric functions in degrees. All integer, accurate to about one
// unit in the last place of 16.16 (the power to a few units relative to its
// result), and total: every input has a defined, saturated result.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"

namespace vn {

// log2(x) with 32 fraction bits; x must be positive (16.16).
int64_t FixedLog2Wide(Fixed16_16 x);
// 2^e for e with 32 fraction bits, as 16.16, saturating (0 far below).
Fixed16_16 FixedExp2Wide(int64_t e);

// Natural and decimal logarithms. Zero and negative inputs give the most
// negative value, the limit of the function toward 0.
Fixed16_16 FixedLn(Fixed16_16 x);
Fixed16_16 FixedLog10(Fixed16_16 x);

// base^exponent through the wide logarithm (more precise than FixedPow).
// base 0 gives 0 (1.0 for exponent 0); a negative base takes the integer
// part of the exponent, as FixedPow does.
Fixed16_16 FixedPowPrecise(Fixed16_16 base, Fixed16_16 exponent);

// Cube root; negative inputs give the negated root of the magnitude.
Fixed16_16 FixedCbrt(Fixed16_16 x);

// Sine and cosine of an angle in degrees.
Fixed16_16 FixedSinDegrees(Fixed16_16 degrees);
Fixed16_16 FixedCosDegrees(Fixed16_16 degrees);
// The angle of the vector (x, y) in degrees, in [0, 360); 0 for (0, 0).
Fixed16_16 FixedAtan2Degrees(Fixed16_16 y, Fixed16_16 x);

}  // namespace vn
