// Arithmetic of the TrueType instruction interpreter: pixel coordinates in
// 26.6 fixed point, unit vectors in 2.14, scales in 16.16. Every rounding
// step rounds half away from zero, so that a value and its negation round
// to negations of each other (hinted outlines stay symmetric).
#pragma once

#include <cstdint>

namespace vn::fonts::hinting {

using F26Dot6 = int32_t;

struct Point26 {
  F26Dot6 x, y;
};

inline constexpr F26Dot6 kPixel = 64;
inline constexpr int32_t kUnitVector = 0x4000;  // 1.0 in 2.14

constexpr uint64_t Magnitude64(int64_t v) { return v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v); }

constexpr int32_t Clamp32(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : (v < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(v));
}

// round(a * b / c), half away from zero; c == 0 gives the largest value of
// the product's sign.
constexpr int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
  const bool negative = (a < 0) != (b < 0) ? c >= 0 : c < 0;
  const uint64_t product = Magnitude64(a) * Magnitude64(b);
  const uint64_t divisor = Magnitude64(c);
  const uint64_t q = divisor == 0 ? uint64_t{INT32_MAX} : (product + divisor / 2) / divisor;
  const int64_t m = q > uint64_t{INT32_MAX} ? INT32_MAX : static_cast<int64_t>(q);
  return static_cast<int32_t>(negative ? -m : m);
}

// a * b / c truncated toward zero (DIV's rounding).
constexpr int32_t MulDivTruncated(int64_t a, int64_t b, int64_t c) {
  const bool negative = (a < 0) != (b < 0) ? c >= 0 : c < 0;
  const uint64_t divisor = Magnitude64(c);
  const uint64_t q = divisor == 0 ? uint64_t{INT32_MAX} : Magnitude64(a) * Magnitude64(b) / divisor;
  const int64_t m = q > uint64_t{INT32_MAX} ? INT32_MAX : static_cast<int64_t>(q);
  return static_cast<int32_t>(negative ? -m : m);
}

// a * b with b in 16.16 (scaling font units to 26.6).
constexpr int32_t MulFix16(int32_t a, int32_t b) { return MulDiv(a, b, 0x10000); }
// a / b as 16.16.
constexpr int32_t DivFix16(int32_t a, int32_t b) { return MulDiv(a, 0x10000, b); }
// a * b with b in 2.14 (a distance along a unit vector's component).
constexpr int32_t MulFix14(int32_t a, int32_t b) { return MulDiv(a, b, kUnitVector); }

// The dot product of a 26.6 vector with a 2.14 unit vector.
constexpr F26Dot6 Dot14(int64_t dx, int64_t dy, int32_t vx, int32_t vy) {
  const int64_t sum = dx * vx + dy * vy;
  const int64_t m = static_cast<int64_t>((Magnitude64(sum) + 0x2000) >> 14);
  return Clamp32(sum < 0 ? -m : m);
}

constexpr F26Dot6 PixelFloor(F26Dot6 v) { return v & -kPixel; }
constexpr F26Dot6 PixelCeiling(F26Dot6 v) { return Clamp32(int64_t{v} + 63) & -kPixel; }
constexpr F26Dot6 PixelRound(F26Dot6 v) { return Clamp32(int64_t{v} + 32) & -kPixel; }

constexpr F26Dot6 AddSat(F26Dot6 a, F26Dot6 b) { return Clamp32(int64_t{a} + b); }
constexpr F26Dot6 SubSat(F26Dot6 a, F26Dot6 b) { return Clamp32(int64_t{a} - b); }

}  // namespace vn::fonts::hinting
