#include "runtime/fixed16_16.h"

namespace vn {

namespace {

// Position of the highest set bit of a nonzero value.
int HighBit(uint32_t v) { return 31 - __builtin_clz(v); }


// The quotient's bit count test shared by FixedDiv and FixedDivOverflows, on
// magnitudes: -1 when the quotient is 0, 1 when it overflows, 0 otherwise.
// The quotient needs g = ea - eb + 16 bits; beyond 30 it overflows except
// when ea - eb = 15 and |a| < |b| << 15.
int DivRange(uint32_t ma, uint32_t mb, int& g) {
  const int ea = HighBit(ma);
  const int eb = HighBit(mb);
  g = ea - eb + 16;
  if (g < 0) return -1;
  if (g > 30) {
    if (ea - eb == 15 && (static_cast<uint64_t>(ma) < (static_cast<uint64_t>(mb) << 15))) return 0;
    return 1;
  }
  return 0;
}

}  // namespace

uint64_t IntegerSqrt(uint64_t op) {
  uint64_t result = 0;
  uint64_t one = uint64_t{1} << 62;
  while (one > op) one >>= 2;
  while (one != 0) {
    if (op >= result + one) {
      op -= result + one;
      result = (result >> 1) + one;
    } else {
      result >>= 1;
    }
    one >>= 2;
  }
  return result;
}

Fixed16_16 FixedMulChecked(Fixed16_16 a, Fixed16_16 b, bool& overflow) {
  // The magnitude (|a| * |b|) >> 16 is what summing the 16-bit half products
  // gives; it is formed in 64 bits so that an overflowing sum cannot wrap
  // back into range unnoticed.
  const uint64_t magnitude = (static_cast<uint64_t>(FixedMagnitude(a)) * FixedMagnitude(b)) >> 16;
  uint32_t m = static_cast<uint32_t>(magnitude);
  if (magnitude > 0x7FFFFFFFu) {
    overflow = true;
    m = 0x7FFFFFFFu;
  }
  return (a < 0) != (b < 0) ? -static_cast<Fixed16_16>(m) : static_cast<Fixed16_16>(m);
}

Fixed16_16 FixedDiv(Fixed16_16 a, Fixed16_16 b) {
  if (a == 0) return 0;
  if (b == 0) return kFixedMax;
  const bool negative = (a < 0) != (b < 0);
  const uint32_t ma = FixedMagnitude(a);
  const uint32_t mb = FixedMagnitude(b);
  int g = 0;
  const int range = DivRange(ma, mb, g);
  if (range < 0) return 0;
  if (range > 0) return negative ? kFixedMin : kFixedMax;

  // Restoring division of N = ma << 16 by mb, quotient bits g down to 0. The
  // remainder starts as N >> g, whose top bit is eb's, and stays below 2 * mb.
  uint32_t r = g >= 16 ? ma >> (g - 16) : ma << (16 - g);
  uint32_t q = 0;
  for (int i = g;; --i) {
    if (r >= mb) {
      r -= mb;
      q |= 1u << i;
    }
    if (i == 0) break;
    const int next = i - 1;  // the bit of N brought down next
    r = (r << 1) | (next >= 16 ? (ma >> (next - 16)) & 1u : 0u);
  }
  return negative ? -static_cast<Fixed16_16>(q) : static_cast<Fixed16_16>(q);
}

bool FixedDivOverflows(Fixed16_16 a, Fixed16_16 b) {
  if (a == 0) return false;
  if (b == 0) return true;
  int g = 0;
  return DivRange(FixedMagnitude(a), FixedMagnitude(b), g) > 0;
}

Fixed16_16 FixedSqrt(Fixed16_16 a) {
  if (a <= 0) return 0;
  return static_cast<Fixed16_16>(IntegerSqrt(static_cast<uint64_t>(a) << 16));
}

Fixed16_16 FixedHypot(Fixed16_16 a, Fixed16_16 b) {
  uint32_t ma = FixedMagnitude(a);
  uint32_t mb = FixedMagnitude(b);
  int k = 0;
  int j = 0;
  // Bring the larger into [0.5, 128.0) so that the squares neither overflow
  // nor lose all their bits.
  while ((ma > mb ? ma : mb) > 0x7FFFFFu) {
    ma >>= 1;
    mb >>= 1;
    ++k;
  }
  while (true) {
    const uint32_t larger = ma > mb ? ma : mb;
    if (larger == 0 || larger >= 32769u) break;
    ma <<= 1;
    mb <<= 1;
    ++j;
  }
  const Fixed16_16 sa = static_cast<Fixed16_16>(ma);
  const Fixed16_16 sb = static_cast<Fixed16_16>(mb);
  const int64_t root = static_cast<int64_t>(FixedSqrt(FixedMul(sb, sb) + FixedMul(sa, sa)) >> j) << k;
  return root > kFixedMax ? kFixedMax : static_cast<Fixed16_16>(root);
}

Fixed16_16 FixedPow(Fixed16_16 a, Fixed16_16 b) {
  if (a == 0) return 0;
  if (a < 0) {
    // Only integer exponents make sense for a negative base: n is the
    // integer part of |b|, so pow(a, -b) is the reciprocal of pow(a, b).
    const int32_t n = static_cast<int32_t>(FixedMagnitude(b) >> 16);
    Fixed16_16 result = kFixedOne;
    for (int32_t i = 0; i < n && result != 0; ++i) result = FixedMul(result, a);
    return b < 0 ? FixedDiv(kFixedOne, result) : result;
  }

  // a = m * 2^c with m in [1.0, 2.0).
  Fixed16_16 m = a;
  int32_t c = 0;
  while (m >= 2 * kFixedOne) {
    m >>= 1;
    ++c;
  }
  while (m < kFixedOne) {
    m <<= 1;
    --c;
  }
  static constexpr Fixed16_16 kLog2[] = {-1693, 7982, -18212, 29985, -47064, 94538, 0};
  const Fixed16_16 t = m - kFixedOne;
  Fixed16_16 log2m = kLog2[0];
  for (int i = 1; i < 7; ++i) log2m = FixedMul(log2m, t) + kLog2[i];
  const Fixed16_16 d = FixedMul(b, log2m + c * kFixedOne);
  if (d < -0x100000) return 0;
  if (d > 0xEFFFF) return kFixedMax;

  const int32_t h = d >> 16;
  const Fixed16_16 f = d & 0xFFFF;
  static constexpr Fixed16_16 kExp2[] = {888, 3409, 15819, 45418, 65536};
  Fixed16_16 value = kExp2[0];
  for (int i = 1; i < 5; ++i) value = FixedMul(value, f) + kExp2[i];
  if (h >= 0) return value << h;
  return value >> (-h > 31 ? 31 : -h);
}

Fixed16_16 FixedLerp(Fixed16_16 x0, Fixed16_16 y0, Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x) {
  // The differences and the final sum saturate instead of wrapping. When the
  // abscissa span itself does not fit (x1 and x0 more than the whole range
  // apart) the midpoint of the ordinates is the answer.
  const int64_t dx = static_cast<int64_t>(x1) - x0;
  if (dx > kFixedMax || dx < kFixedMin) {
    return FixedSaturate((static_cast<int64_t>(y0) + y1) >> 1);
  }
  const Fixed16_16 u = FixedDiv(FixedSubSat(x, x0), static_cast<Fixed16_16>(dx));
  return FixedAddSat(y0, FixedMul(u, FixedSubSat(y1, y0)));
}

Fixed16_16 FixedDet2(Fixed16_16 a, Fixed16_16 b, Fixed16_16 c, Fixed16_16 d) {
  bool overflow = false;
  const int64_t det = static_cast<int64_t>(FixedMulChecked(a, d, overflow)) -
                      FixedMulChecked(c, b, overflow);
  // A difference beyond the range is an overflow too, not a wrapped value.
  if (overflow || det > kFixedMax || det < kFixedMin) return kFixedMax;
  return static_cast<Fixed16_16>(det);
}

}  // namespace vn
