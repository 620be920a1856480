#include "runtime/fixed_functions.h"

namespace vn {

namespace {

// 2^(2^-i) for i = 1..16 in 2.30.
constexpr uint32_t kExp2Halvings[16] = {1518500250, 1276901417, 1170923762, 1121280436, 1097253708, 1085434106,
                                        1079572136, 1076653033, 1075196443, 1074468888, 1074105294, 1073923544,
                                        1073832680, 1073787251, 1073764537, 1073753181};
// atan(2^-i) in degrees, with 24 fraction bits.
constexpr int64_t kAtanDegrees[28] = {754974720, 445687602, 235489088, 119537938, 60000934, 30029717, 15018523,
                                      7509720,   3754917,   1877466,   938734,    469367,   234684,   117342,
                                      58671,     29335,     14668,     7334,      3667,     1833,     917,
                                      458,       229,       115,       57,        29,       14,       7};
constexpr int64_t kLn2Wide = 2977044472;     // ln 2, 32 fraction bits
constexpr int64_t kLog10Of2Wide = 1292913986;  // log10 2, 32 fraction bits
constexpr int64_t kOne30 = int64_t{1} << 30;

int CountLeadingZeros32(uint32_t v) { return v == 0 ? 32 : __builtin_clz(v); }

Fixed16_16 WideToFixed(int64_t wide32) {
  // Rounds 32 fraction bits to 16.
  int64_t v = (wide32 + (int64_t{1} << 15)) >> 16;
  return FixedSaturate(v);
}

// sin(x) for x in radians in [0, pi/2], 2.30 in and out (Taylor to x^13).
int64_t SinQuarter(int64_t x) {
  int64_t x2 = (x * x) >> 30;
  int64_t term = x;
  int64_t sum = x;
  for (int64_t k = 2; k <= 13; k += 2) {
    term = -((term * x2) >> 30) / (k * (k + 1));
    sum += term;
  }
  return sum;
}

// (a * b) >> 32 for |a| < 2^47 without a 128-bit product.
int64_t MulShift32(int64_t a, uint32_t b) {
  return ((a * static_cast<int64_t>(b >> 16)) >> 16) + ((a * static_cast<int64_t>(b & 0xFFFF)) >> 32);
}

}  // namespace

int64_t FixedLog2Wide(Fixed16_16 x) {
  if (x <= 0) return INT64_MIN / 4;
  // x = m * 2^(e - 16) with m in [1, 2) as 2.30.
  int top = 31 - CountLeadingZeros32(static_cast<uint32_t>(x));
  int64_t result = static_cast<int64_t>(top - 16) << 32;
  uint64_t m = top >= 30 ? static_cast<uint64_t>(x) >> (top - 30) : static_cast<uint64_t>(x) << (30 - top);
  // Fraction bits by repeated squaring.
  for (int bit = 31; bit >= 4; --bit) {
    m = (m * m) >> 30;
    if (m >= (uint64_t{2} << 30)) {
      m >>= 1;
      result += int64_t{1} << bit;
    }
  }
  return result;
}

Fixed16_16 FixedExp2Wide(int64_t e) {
  if (e >= (int64_t{15} << 32)) return kFixedMax;
  if (e < -(int64_t{17} << 32)) return 0;
  int64_t whole = e >> 32;  // floor
  uint32_t fraction = static_cast<uint32_t>(e & 0xFFFFFFFF);
  uint64_t value = static_cast<uint64_t>(kOne30);
  for (int i = 0; i < 16; ++i) {
    if (fraction & (0x80000000u >> i)) value = (value * kExp2Halvings[i]) >> 30;
  }
  // The fraction bits below the table: 2^f ~ 1 + f ln 2 for tiny f.
  uint64_t rest = fraction & 0xFFFF;
  value += (value * ((rest * static_cast<uint64_t>(kLn2Wide)) >> 32)) >> 32;
  // value is 2.30; the result is value * 2^whole in 16.16.
  int shift = static_cast<int>(whole) - 14;
  uint64_t result;
  if (shift >= 0) {
    result = value << shift;
  } else {
    int s = -shift;
    result = s >= 63 ? 0 : (value + (uint64_t{1} << (s - 1))) >> s;
  }
  return result > static_cast<uint64_t>(kFixedMax) ? kFixedMax : static_cast<Fixed16_16>(result);
}

Fixed16_16 FixedLn(Fixed16_16 x) {
  if (x <= 0) return kFixedMin;
  return WideToFixed(MulShift32(FixedLog2Wide(x), static_cast<uint32_t>(kLn2Wide)));
}

Fixed16_16 FixedLog10(Fixed16_16 x) {
  if (x <= 0) return kFixedMin;
  return WideToFixed(MulShift32(FixedLog2Wide(x), static_cast<uint32_t>(kLog10Of2Wide)));
}

Fixed16_16 FixedPowPrecise(Fixed16_16 base, Fixed16_16 exponent) {
  if (exponent == 0) return kFixedOne;
  if (base == 0) return 0;
  if (base < 0) {
    int32_t n = FixedTrunc(exponent);
    int32_t count = n < 0 ? -n : n;
    Fixed16_16 result = kFixedOne;
    for (int32_t i = 0; i < count && result != 0; ++i) {
      result = FixedMul(result, base);
      if (result == kFixedMax || result == kFixedMin) break;
    }
    return n < 0 ? FixedDiv(kFixedOne, result) : result;
  }
  // exponent * log2(base) with 32 fraction bits, in two halves to stay in 64 bits.
  int64_t log2 = FixedLog2Wide(base);
  int64_t e = log2 * (exponent >> 16) + ((log2 * (exponent & 0xFFFF)) >> 16);
  return FixedExp2Wide(e);
}

Fixed16_16 FixedCbrt(Fixed16_16 x) {
  if (x < 0) return -FixedCbrt(-x);
  // cbrt(x / 2^16) * 2^16 = cbrt(x * 2^32).
  uint64_t n = static_cast<uint64_t>(x) << 32;
  uint64_t root = 0;
  for (int bit = 21; bit >= 0; --bit) {
    uint64_t trial = root | (uint64_t{1} << bit);
    if (trial * trial * trial <= n) root = trial;
  }
  // Round to nearest: compare with the midpoint's cube (in 8x units).
  uint64_t mid = 2 * root + 1;
  if (mid * mid * mid <= 8 * n) ++root;
  return static_cast<Fixed16_16>(root);
}

Fixed16_16 FixedSinDegrees(Fixed16_16 degrees) {
  // Reduce into [0, 360) exactly, then into a quarter turn.
  int64_t full = int64_t{360} << 16;
  int64_t a = degrees % full;
  if (a < 0) a += full;
  bool negative = false;
  if (a >= (int64_t{180} << 16)) {
    a -= int64_t{180} << 16;
    negative = true;
  }
  if (a > (int64_t{90} << 16)) a = (int64_t{180} << 16) - a;
  // Degrees (16.16) to radians (2.30): * pi / 180.
  constexpr int64_t kPiOver180_46 = 1228166276394;  // pi/180 * 2^46
  int64_t radians = (a * kPiOver180_46) >> 32;
  int64_t s = SinQuarter(radians);
  Fixed16_16 result = static_cast<Fixed16_16>((s + (1 << 13)) >> 14);
  return negative ? -result : result;
}

Fixed16_16 FixedCosDegrees(Fixed16_16 degrees) {
  int64_t full = int64_t{360} << 16;
  int64_t a = (static_cast<int64_t>(degrees) + (int64_t{90} << 16)) % full;
  return FixedSinDegrees(static_cast<Fixed16_16>(a));
}

Fixed16_16 FixedAtan2Degrees(Fixed16_16 y, Fixed16_16 x) {
  if (x == 0 && y == 0) return 0;
  // CORDIC vectoring in the right half plane, then the quadrant.
  int64_t vx = x < 0 ? -static_cast<int64_t>(x) : x;
  int64_t vy = y;
  int64_t angle = 0;  // degrees, 24 fraction bits
  vx <<= 16;
  vy <<= 16;
  for (int i = 0; i < 28; ++i) {
    int64_t nx, ny;
    if (vy > 0) {
      nx = vx + (vy >> i);
      ny = vy - (vx >> i);
      angle += kAtanDegrees[i];
    } else {
      nx = vx - (vy >> i);
      ny = vy + (vx >> i);
      angle -= kAtanDegrees[i];
    }
    vx = nx;
    vy = ny;
  }
  // angle is in (-90, 90]: the angle of (|x|, y).
  if (x < 0) angle = (int64_t{180} << 24) - angle;
  if (angle < 0) angle += int64_t{360} << 24;
  Fixed16_16 result = static_cast<Fixed16_16>((angle + (1 << 7)) >> 8);
  return result >= (360 << 16) ? 0 : result;
}

}  // namespace vn
