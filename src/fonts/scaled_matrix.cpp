#include "fonts/scaled_matrix.h"

namespace vn::fonts {

namespace {

constexpr int64_t kMantissaLimit = int64_t{1} << 30;
constexpr int64_t kWideLimit = int64_t{1} << 62;

uint64_t Magnitude(int64_t v) { return v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v); }

// v / 2^n rounded to nearest (n < 64).
int64_t ShiftRound(int64_t v, uint32_t n) {
  if (n == 0) return v;
  if (n >= 63) return 0;
  return (v + (int64_t{1} << (n - 1))) >> n;
}

}  // namespace

ScaledMatrix NormalizeScaled(int64_t a, int64_t b, int64_t c, int64_t d, int32_t shift, Fixed16_16 tx,
                             Fixed16_16 ty) {
  uint64_t largest = Magnitude(a);
  if (Magnitude(b) > largest) largest = Magnitude(b);
  if (Magnitude(c) > largest) largest = Magnitude(c);
  if (Magnitude(d) > largest) largest = Magnitude(d);
  // Drop low bits until every mantissa fits in 30 bits.
  uint32_t drop = 0;
  while ((largest >> drop) >= static_cast<uint64_t>(kMantissaLimit)) ++drop;
  // Use the spare bits for precision, without letting the shift grow past
  // what a 64-bit product can be shifted by.
  int32_t gain = 0;
  if (largest != 0) {
    while (drop == 0 && (largest << (gain + 1)) < static_cast<uint64_t>(kMantissaLimit) && shift + gain < 60) ++gain;
  }
  int32_t finalShift = shift - static_cast<int32_t>(drop) + gain;
  ScaledMatrix m{};
  if (finalShift < 0) {
    // Larger than 2^30 target units per font unit: no real matrix does this.
    auto clamp = [&](int64_t v) -> int32_t {
      return v == 0 ? 0 : (v > 0 ? static_cast<int32_t>(kMantissaLimit - 1) : -static_cast<int32_t>(kMantissaLimit - 1));
    };
    m = ScaledMatrix{clamp(a), clamp(b), clamp(c), clamp(d), 0, tx, ty};
    return m;
  }
  auto scale = [&](int64_t v) { return static_cast<int32_t>(gain > 0 ? v << gain : ShiftRound(v, drop)); };
  m.a = scale(a);
  m.b = scale(b);
  m.c = scale(c);
  m.d = scale(d);
  m.shift = static_cast<uint32_t>(finalShift);
  m.tx = tx;
  m.ty = ty;
  return m;
}

ScaledMatrix ToScaled(const FixedMatrix& m) { return NormalizeScaled(m.a, m.b, m.c, m.d, 16, m.tx, m.ty); }

FixedMatrix ToFixed(const ScaledMatrix& m) {
  auto entry = [&](int32_t v) {
    int64_t wide = m.shift >= 16 ? ShiftRound(v, m.shift - 16) : static_cast<int64_t>(v) << (16 - m.shift);
    return FixedSaturate(wide);
  };
  return FixedMatrix{entry(m.a), entry(m.b), entry(m.c), entry(m.d), m.tx, m.ty};
}

ScaledMatrix UnitsPerEmMatrix(uint32_t unitsPerEm) {
  if (unitsPerEm == 0) unitsPerEm = 1;
  int64_t scale = (int64_t{1} << 60) / unitsPerEm;
  return NormalizeScaled(scale, 0, 0, scale, 60, 0, 0);
}

ScaledMatrix Concat(const ScaledMatrix& first, const ScaledMatrix& then) {
  // Each product of two 30-bit mantissas is below 2^60; the sums stay
  // below 2^61.
  int64_t a = static_cast<int64_t>(first.a) * then.a + static_cast<int64_t>(first.b) * then.c;
  int64_t b = static_cast<int64_t>(first.a) * then.b + static_cast<int64_t>(first.b) * then.d;
  int64_t c = static_cast<int64_t>(first.c) * then.a + static_cast<int64_t>(first.d) * then.c;
  int64_t d = static_cast<int64_t>(first.c) * then.b + static_cast<int64_t>(first.d) * then.d;
  FixedPoint t = Apply(then, first.tx, first.ty);
  return NormalizeScaled(a, b, c, d, static_cast<int32_t>(first.shift + then.shift), t.x, t.y);
}

ScaledMatrix Concat(const ScaledMatrix& first, const FixedMatrix& then) { return Concat(first, ToScaled(then)); }

FixedPoint ApplyVector(const ScaledMatrix& m, Fixed16_16 x, Fixed16_16 y) {
  int64_t px = static_cast<int64_t>(m.a) * x + static_cast<int64_t>(m.c) * y;
  int64_t py = static_cast<int64_t>(m.b) * x + static_cast<int64_t>(m.d) * y;
  return FixedPoint{FixedSaturate(ShiftRound(px, m.shift)), FixedSaturate(ShiftRound(py, m.shift))};
}

FixedPoint Apply(const ScaledMatrix& m, Fixed16_16 x, Fixed16_16 y) {
  FixedPoint v = ApplyVector(m, x, y);
  return FixedPoint{FixedAddSat(v.x, m.tx), FixedAddSat(v.y, m.ty)};
}

int64_t DecimalToScaled(int64_t mantissa, int32_t exponent, uint32_t shift) {
  bool negative = mantissa < 0;
  uint64_t value = Magnitude(mantissa);
  const uint64_t limit = static_cast<uint64_t>(kWideLimit);
  // Positive powers of ten first, then the doublings, dividing by ten
  // whenever a doubling would overflow.
  for (; exponent > 0 && value != 0; --exponent) {
    if (value > limit / 10) return negative ? -kWideLimit : kWideLimit;
    value *= 10;
  }
  for (uint32_t i = 0; i < shift && value != 0; ++i) {
    while (value > limit / 2 && exponent < 0) {
      value = (value + 5) / 10;
      ++exponent;
    }
    if (value > limit / 2) return negative ? -kWideLimit : kWideLimit;
    value *= 2;
  }
  for (; exponent < 0 && value != 0; ++exponent) value = (value + 5) / 10;
  int64_t result = static_cast<int64_t>(value);
  return negative ? -result : result;
}

}  // namespace vn::fonts
