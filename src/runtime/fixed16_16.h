// Signed 16.16 fixed point: the engine's one number type for geometry, color,
// function values and filter weights.
//
// Every operation here saturates instead of wrapping. Results stay in the
// symmetric range [-0x7FFFFFFF, 0x7FFFFFFF]: 0x7FFFFFFF is the overflow marker
// several callers test for, and 0x80000000 is never produced, so negating or
// taking the magnitude of any result is always safe.
#pragma once

#include <cstdint>

namespace vn {

using Fixed16_16 = int32_t;

inline constexpr Fixed16_16 kFixedOne = 0x10000;
inline constexpr Fixed16_16 kFixedHalf = 0x8000;
inline constexpr Fixed16_16 kFixedPi = 205887;
inline constexpr Fixed16_16 kFixedMax = 0x7FFFFFFF;
inline constexpr Fixed16_16 kFixedMin = -0x7FFFFFFF;  // 0x80000001

// Clamps a wide value into the symmetric range.
constexpr Fixed16_16 FixedSaturate(int64_t v) {
  return v > kFixedMax ? kFixedMax : (v < kFixedMin ? kFixedMin : static_cast<Fixed16_16>(v));
}

// |a|, with 0x80000000 taken as 0x7FFFFFFF.
constexpr uint32_t FixedMagnitude(Fixed16_16 a) {
  return a >= 0 ? static_cast<uint32_t>(a)
                : (a == INT32_MIN ? 0x7FFFFFFFu : static_cast<uint32_t>(-a));
}

// a*b, rounded toward minus infinity (no rounding constant), saturating.
// The plain floor of products in [-2^47, -2^47 + 0xFFFF] would be 0x80000000;
// those saturate to 0x80000001 like every larger negative product.
constexpr Fixed16_16 FixedMul(Fixed16_16 a, Fixed16_16 b) {
  const int64_t p = static_cast<int64_t>(a) * b;
  if (p >= (int64_t{1} << 47)) return kFixedMax;
  if (p < -(int64_t{1} << 47) + 0x10000) return kFixedMin;
  return static_cast<Fixed16_16>(p >> 16);
}

// a*b truncated toward zero. Sets `overflow` (never clears it) when the
// magnitude of the product exceeds 0x7FFFFFFF; the magnitude is then
// 0x7FFFFFFF, with the product's sign.
Fixed16_16 FixedMulChecked(Fixed16_16 a, Fixed16_16 b, bool& overflow);

// a/b truncated toward zero. b = 0 gives 0x7FFFFFFF (0 when a is 0 too);
// a quotient beyond the range gives 0x7FFFFFFF or 0x80000001 by sign.
Fixed16_16 FixedDiv(Fixed16_16 a, Fixed16_16 b);
// True exactly when FixedDiv(a, b) saturates (or divides a nonzero a by 0).
bool FixedDivOverflows(Fixed16_16 a, Fixed16_16 b);

// a + b, saturating.
constexpr Fixed16_16 FixedAddSat(Fixed16_16 a, Fixed16_16 b) {
  return FixedSaturate(static_cast<int64_t>(a) + b);
}
// a - b, saturating.
constexpr Fixed16_16 FixedSubSat(Fixed16_16 a, Fixed16_16 b) {
  return FixedSaturate(static_cast<int64_t>(a) - b);
}

// Floor of the square root of a 64-bit value, bit by bit.
uint64_t IntegerSqrt(uint64_t value);

// Square root, truncated (exact for perfect squares); 0 for negative input.
Fixed16_16 FixedSqrt(Fixed16_16 a);
// sqrt(a*a + b*b) without intermediate overflow; 0x7FFFFFFF when too large.
Fixed16_16 FixedHypot(Fixed16_16 a, Fixed16_16 b);
// a raised to b (polynomial log2/exp2, about 4 decimal digits). A negative
// base takes the integer part of the exponent.
Fixed16_16 FixedPow(Fixed16_16 a, Fixed16_16 b);
// The ordinate at x of the line through (x0, y0) and (x1, y1).
Fixed16_16 FixedLerp(Fixed16_16 x0, Fixed16_16 y0, Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x);
// a*d - c*b (products truncated), or 0x7FFFFFFF when anything overflows.
Fixed16_16 FixedDet2(Fixed16_16 a, Fixed16_16 b, Fixed16_16 c, Fixed16_16 d);

// Conversions.
// A byte signal to 16.16: 0 -> 0, 255 -> exactly 1.0.
constexpr Fixed16_16 ByteToFixed(uint8_t b) { return b * 257 + (b >> 7); }
// A 16.16 signal to a byte: the inverse of ByteToFixed. Values outside
// [0, 1.0] are clamped to it first (the formula is only defined there).
constexpr uint8_t FixedToByte(Fixed16_16 v) {
  if (v <= 0) return 0;
  if (v >= kFixedOne) return 255;
  return static_cast<uint8_t>((v > 0x7FFF ? v - 1 : v) >> 8);
}
// An integer to 16.16, saturating.
constexpr Fixed16_16 IntToFixed(int32_t i) { return FixedSaturate(static_cast<int64_t>(i) * 65536); }
// The largest integer <= v.
constexpr int32_t FixedFloor(Fixed16_16 v) { return v >> 16; }
// The smallest integer >= v.
constexpr int32_t FixedCeil(Fixed16_16 v) {
  return static_cast<int32_t>((static_cast<int64_t>(v) + 0xFFFF) >> 16);
}
// The nearest integer, halves rounded up.
constexpr int32_t FixedRound(Fixed16_16 v) {
  return static_cast<int32_t>((static_cast<int64_t>(v) + 0x8000) >> 16);
}
// The integer part, truncated toward zero.
constexpr int32_t FixedTrunc(Fixed16_16 v) {
  return v < 0 ? static_cast<int32_t>(-((-static_cast<int64_t>(v)) >> 16)) : v >> 16;
}

}  // namespace vn
