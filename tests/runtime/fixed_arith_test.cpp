// 16.16 arithmetic against wide references over random and boundary inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <cstdint>
#include <random>

#include "runtime/fixed16_16.h"

namespace vn {
namespace {

constexpr int64_t kMax = 0x7FFFFFFF;
constexpr Fixed16_16 kMinSat = -0x7FFFFFFF;  // 0x80000001

int64_t Clamp(int64_t v) { return v > kMax ? kMax : (v < -kMax ? -kMax : v); }
int64_t Mag(Fixed16_16 v) { return v == INT32_MIN ? kMax : (v < 0 ? -int64_t{v} : v); }

// Inputs that reach every magnitude: uniform words, values of a random bit
// length with a random sign, and the boundaries.
class Inputs {
 public:
  explicit Inputs(uint32_t seed) : rng_(seed) {}
  Fixed16_16 Next() {
    switch (rng_() % 4) {
      case 0:
        return static_cast<Fixed16_16>(rng_());
      case 1: {
        const Fixed16_16 edges[] = {0, 1, -1, 0x10000, -0x10000, 0x8000, -0x8000, 0x7FFFFFFF,
                                    INT32_MIN, -0x7FFFFFFF, 0x7FFFFF, 0x800000, 32768, 32769, 0xFFFF};
        return edges[rng_() % (sizeof(edges) / sizeof(edges[0]))];
      }
      default: {
        const int bits = static_cast<int>(rng_() % 32);
        const uint32_t v = static_cast<uint32_t>(rng_()) >> (31 - bits) >> 1;
        return (rng_() & 1) ? -static_cast<Fixed16_16>(v) : static_cast<Fixed16_16>(v);
      }
    }
  }
  uint32_t Word() { return static_cast<uint32_t>(rng_()); }

 private:
  std::mt19937 rng_;
};

constexpr int kPairs = 2000000;

TEST(FixedMul, EdgeCases) {
  EXPECT_EQ(FixedMul(0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(FixedMul(-0x7FFFFFFF, 0x7FFFFFFF), kMinSat);
  EXPECT_EQ(FixedMul(-1, 1), -1);  // floor, not truncation
  EXPECT_EQ(FixedMul(1, 1), 0);
  EXPECT_EQ(FixedMul(0x18000, 0x20000), 0x30000);  // 1.5 * 2.0
  EXPECT_EQ(FixedMul(0x800000, 0x1000000), 0x7FFFFFFF);  // 128 * 256: p = 2^47
  // The floor of -2^47 would be 0x80000000: it saturates to 0x80000001.
  EXPECT_EQ(FixedMul(0x800000, -0x1000000), kMinSat);
  EXPECT_EQ(FixedMul(INT32_MIN, 0x10000), kMinSat);
  EXPECT_EQ(FixedMul(0x7FFFFFFF, 0x10000), 0x7FFFFFFF);
}

TEST(FixedMul, MatchesFloorOfExactProduct) {
  Inputs in(1);
  for (int i = 0; i < kPairs; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    const long double exact = static_cast<long double>(a) * b / 65536.0L;
    const int64_t expected = Clamp(static_cast<int64_t>(std::floor(exact)));
    ASSERT_EQ(FixedMul(a, b), expected) << a << " * " << b;
  }
}

TEST(FixedMulChecked, TruncatesAndFlags) {
  Inputs in(2);
  for (int i = 0; i < kPairs; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    const int64_t magnitude = (Mag(a) * Mag(b)) >> 16;
    const bool expectOverflow = magnitude > kMax;
    const int64_t m = expectOverflow ? kMax : magnitude;
    const int64_t expected = ((a < 0) != (b < 0)) ? -m : m;
    bool overflow = false;
    ASSERT_EQ(FixedMulChecked(a, b, overflow), expected) << a << " * " << b;
    ASSERT_EQ(overflow, expectOverflow) << a << " * " << b;
  }
}

TEST(FixedMulChecked, EdgeCases) {
  bool overflow = false;
  EXPECT_EQ(FixedMulChecked(-1, 1, overflow), 0);  // truncation toward zero
  EXPECT_EQ(FixedMulChecked(-0x18000, 0x10000, overflow), -0x18000);
  EXPECT_FALSE(overflow);
  // Summing the half products in 32 bits would wrap back to a positive value
  // here (3 * 2^31 / 2^16 * 2^16): it must be flagged.
  EXPECT_EQ(FixedMulChecked(0x2FFFF, 0x7FFFFFFF, overflow), 0x7FFFFFFF);
  EXPECT_TRUE(overflow);
  overflow = false;
  EXPECT_EQ(FixedMulChecked(-0x7FFFFFFF, 0x7FFFFFFF, overflow), kMinSat);
  EXPECT_TRUE(overflow);
  // The flag is only ever set.
  EXPECT_EQ(FixedMulChecked(2, 3, overflow), 0);
  EXPECT_TRUE(overflow);
  overflow = false;
  EXPECT_EQ(FixedMulChecked(INT32_MIN, 0x10000, overflow), kMinSat);
  EXPECT_FALSE(overflow);
}

int64_t DivReference(Fixed16_16 a, Fixed16_16 b, bool& overflows) {
  overflows = false;
  if (a == 0) return 0;
  if (b == 0) {
    overflows = true;
    return kMax;
  }
  const bool negative = (a < 0) != (b < 0);
  const int64_t q = (Mag(a) << 16) / Mag(b);
  if (q > kMax) {
    overflows = true;
    return negative ? -kMax : kMax;
  }
  return negative ? -q : q;
}

TEST(FixedDiv, EdgeCases) {
  EXPECT_EQ(FixedDiv(0x10000, 0), 0x7FFFFFFF);
  EXPECT_EQ(FixedDiv(-0x10000, 0), 0x7FFFFFFF);
  EXPECT_EQ(FixedDiv(0, 0), 0);
  EXPECT_EQ(FixedDiv(1, 0x7FFFFFFF), 0);
  EXPECT_EQ(FixedDiv(-0x30000, 0x20000), -0x18000);
  EXPECT_EQ(FixedDiv(-1, 0x20000), 0);
  EXPECT_EQ(FixedDiv(0x10000, 0x30000), 0x5555);
  EXPECT_EQ(FixedDiv(0x7FFFFFFF, 0x10000), 0x7FFFFFFF);
  EXPECT_EQ(FixedDiv(0x7FFFFFFF, -0x10000), kMinSat);
  EXPECT_EQ(FixedDiv(0x7FFFFFFF, 0xFFFF), 0x7FFFFFFF);  // overflows
  EXPECT_EQ(FixedDiv(-0x7FFFFFFF, 0xFFFF), kMinSat);
  EXPECT_EQ(FixedDiv(INT32_MIN, 0x10000), kMinSat);
  EXPECT_FALSE(FixedDivOverflows(0, 0));
  EXPECT_TRUE(FixedDivOverflows(1, 0));
  EXPECT_TRUE(FixedDivOverflows(0x7FFFFFFF, 0xFFFF));
  EXPECT_FALSE(FixedDivOverflows(0x7FFFFFFF, 0x10000));
}

TEST(FixedDiv, MatchesTruncatedQuotient) {
  Inputs in(3);
  for (int i = 0; i < kPairs; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    bool overflows = false;
    const int64_t expected = DivReference(a, b, overflows);
    ASSERT_EQ(FixedDiv(a, b), expected) << a << " / " << b;
    ASSERT_EQ(FixedDivOverflows(a, b), overflows) << a << " / " << b;
  }
}

// Every pair of bit lengths, at the bottom and the top of each length, and
// around the one overflow boundary (ea - eb = 15, |a| against |b| << 15).
TEST(FixedDiv, BitLengthBoundaries) {
  for (int ea = 0; ea < 31; ++ea) {
    for (int eb = 0; eb < 31; ++eb) {
      const int64_t as[] = {int64_t{1} << ea, (int64_t{2} << ea) - 1};
      const int64_t bs[] = {int64_t{1} << eb, (int64_t{2} << eb) - 1};
      for (int64_t a : as) {
        for (int64_t b : bs) {
          for (int sign = 0; sign < 4; ++sign) {
            const Fixed16_16 sa = static_cast<Fixed16_16>((sign & 1) ? -a : a);
            const Fixed16_16 sb = static_cast<Fixed16_16>((sign & 2) ? -b : b);
            bool overflows = false;
            const int64_t expected = DivReference(sa, sb, overflows);
            ASSERT_EQ(FixedDiv(sa, sb), expected) << sa << " / " << sb;
            ASSERT_EQ(FixedDivOverflows(sa, sb), overflows) << sa << " / " << sb;
          }
        }
      }
    }
  }
  for (int eb = 0; eb < 16; ++eb) {
    for (int64_t b = int64_t{1} << eb; b < (int64_t{2} << eb) && b < (int64_t{1} << eb) + 64; ++b) {
      for (int64_t delta = -2; delta <= 1; ++delta) {
        const int64_t a = (b << 15) + delta;
        if (a > kMax || a <= 0) continue;
        bool overflows = false;
        const int64_t expected = DivReference(static_cast<Fixed16_16>(a), static_cast<Fixed16_16>(b), overflows);
        ASSERT_EQ(FixedDiv(static_cast<Fixed16_16>(a), static_cast<Fixed16_16>(b)), expected) << a << " / " << b;
        ASSERT_EQ(FixedDivOverflows(static_cast<Fixed16_16>(a), static_cast<Fixed16_16>(b)), overflows);
        ASSERT_EQ(overflows, delta >= 0);
      }
    }
  }
}

TEST(FixedAddSat, SaturatesBothWays) {
  EXPECT_EQ(FixedAddSat(0x7FFFFFFF, 1), 0x7FFFFFFF);
  EXPECT_EQ(FixedAddSat(-0x7FFFFFFF, -2), kMinSat);
  EXPECT_EQ(FixedAddSat(0x7FFFFFFF, -0x7FFFFFFF), 0);
  EXPECT_EQ(FixedAddSat(-0x40000000, -0x40000000), kMinSat);  // never 0x80000000
  Inputs in(4);
  for (int i = 0; i < kPairs; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    ASSERT_EQ(FixedAddSat(a, b), Clamp(int64_t{a} + b)) << a << " + " << b;
  }
}

int64_t SqrtReference(Fixed16_16 a) {
  if (a <= 0) return 0;
  const uint64_t n = static_cast<uint64_t>(a) << 16;
  uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<long double>(n)));
  while (r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return static_cast<int64_t>(r);
}

TEST(FixedSqrt, TruncatedRoot) {
  EXPECT_EQ(FixedSqrt(-0x10000), 0);
  EXPECT_EQ(FixedSqrt(INT32_MIN), 0);
  EXPECT_EQ(FixedSqrt(0x4000), 0x8000);        // sqrt(0.25) = 0.5
  EXPECT_EQ(FixedSqrt(100 << 16), 10 << 16);   // sqrt(100) = 10
  EXPECT_EQ(FixedSqrt(0x20000), 92681);        // sqrt(2) truncated
  EXPECT_EQ(FixedSqrt(1), 256);
  EXPECT_EQ(FixedSqrt(0x7FFFFFFF), SqrtReference(0x7FFFFFFF));
  Inputs in(5);
  for (int i = 0; i < kPairs; ++i) {
    const Fixed16_16 a = in.Next();
    ASSERT_EQ(FixedSqrt(a), SqrtReference(a)) << a;
  }
  // Every perfect square of the range is exact.
  for (int64_t r = 0; r * r < (int64_t{1} << 47); r += 37) {
    if ((r * r) % 65536 != 0) continue;
    ASSERT_EQ(FixedSqrt(static_cast<Fixed16_16>((r * r) >> 16)), r);
  }
}

TEST(FixedHypot, CloseToExactOverTheRange) {
  EXPECT_EQ(FixedHypot(3 << 16, 4 << 16), 5 << 16);
  EXPECT_EQ(FixedHypot(-(3 << 16), 4 << 16), 5 << 16);
  EXPECT_EQ(FixedHypot(0, 0), 0);
  EXPECT_EQ(FixedHypot(0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);
  EXPECT_EQ(FixedHypot(30000 << 16, 30000 << 16), 0x7FFFFFFF);
  EXPECT_EQ(FixedHypot(3, 4), 5);
  Inputs in(6);
  for (int i = 0; i < 500000; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    const long double exact = std::hypot(static_cast<long double>(Mag(a)), static_cast<long double>(Mag(b)));
    const long double expected = exact > kMax ? kMax : exact;
    const Fixed16_16 got = FixedHypot(a, b);
    // Halving loses the low bits of the smaller side; scaling up by 2^j
    // truncates the root. Both stay within 2^-13 relative plus one unit.
    ASSERT_NEAR(static_cast<long double>(got), expected, expected / 8192 + 1.0L) << a << ", " << b;
  }
}

TEST(FixedPow, StatedExamples) {
  auto digits = [](Fixed16_16 v) { return std::floor(v / 65536.0 * 1e5 + 0.5) / 1e5; };
  EXPECT_DOUBLE_EQ(digits(FixedPow(2 << 16, 0x8000)), 1.41420);
  EXPECT_DOUBLE_EQ(digits(FixedPow(10 << 16, 29491)), 2.81830);  // 0.45 = 29491 raw
  EXPECT_DOUBLE_EQ(digits(FixedPow(0x18000, -0x10000)), 0.66666);
  EXPECT_EQ(FixedPow(0, 0x10000), 0);
  EXPECT_EQ(FixedPow(0, -0x10000), 0);
  EXPECT_EQ(FixedPow(2 << 16, 15 << 16), 0x7FFFFFFF);  // 15 * log2(2) > 15
  EXPECT_EQ(FixedPow(2 << 16, -(17 << 16)), 0);        // below -16
  EXPECT_EQ(FixedPow(0x10000, 0x12345), 0x10000);      // 1^b
  EXPECT_EQ(FixedPow(5 << 16, 0), 0x10000);
}

TEST(FixedPow, NegativeBaseUsesIntegerExponent) {
  EXPECT_EQ(FixedPow(-(2 << 16), 3 << 16), -(8 << 16));
  EXPECT_EQ(FixedPow(-(2 << 16), 2 << 16), 4 << 16);
  EXPECT_EQ(FixedPow(-(2 << 16), -(2 << 16)), 0x4000);
  EXPECT_EQ(FixedPow(-(2 << 16), 0x28000), 4 << 16);      // 2.5 -> 2
  EXPECT_EQ(FixedPow(-(2 << 16), -0x18000), -0x8000);     // -1.5 -> 1/(-2)
  EXPECT_EQ(FixedPow(-(2 << 16), 40 << 16), 0x7FFFFFFF);  // saturates
  EXPECT_EQ(FixedPow(-0x8000, 0x7FFFFFFF), 0);            // long decay, bounded
}

TEST(FixedPow, WithinPolynomialAccuracy) {
  std::mt19937 rng(7);
  double worst = 0;
  for (int i = 0; i < 200000; ++i) {
    const Fixed16_16 a = static_cast<Fixed16_16>(rng() % 0x7FFFFFFF) + 1;
    const Fixed16_16 b = static_cast<Fixed16_16>(static_cast<int32_t>(rng() % (8 << 17)) - (8 << 16));
    const double exact = std::pow(a / 65536.0, b / 65536.0) * 65536.0;
    if (exact > 2.0e9 || exact < 64) continue;  // saturation and the tiny range
    const double got = FixedPow(a, b);
    worst = std::max(worst, std::fabs(got - exact) / exact);
    // The log2 error (about 1e-5 over the mantissa) scales with |b * c|.
    // The log2 error is multiplied by b, so the relative error grows with
    // |b log2 a| (measured: under 1.1e-4 per unit of it); a small result
    // also loses a unit to the final shift.
    const double d = std::fabs(b / 65536.0 * std::log2(a / 65536.0));
    ASSERT_LT(std::fabs(got - exact), exact * 1.5e-4 * (1 + d) + 1.0) << a << " ^ " << b;
  }
  RecordProperty("worst_relative_error", std::to_string(worst));
}

// Any operands: no signed overflow (sanitizer build), bounded work.
TEST(FixedPow, ArbitraryOperandsAreSafe) {
  Inputs in(9);
  for (int i = 0; i < 5000; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next();
    const Fixed16_16 r = FixedPow(a, b);
    if (a > 0) {
      ASSERT_GE(r, 0) << a << " ^ " << b;
    }
    FixedLerp(in.Next(), in.Next(), in.Next(), in.Next(), in.Next());
  }
}

TEST(FixedLerp, InterpolatesAndGuards) {
  EXPECT_EQ(FixedLerp(0, 0, 2 << 16, 10 << 16, 1 << 16), 5 << 16);
  EXPECT_EQ(FixedLerp(0x10000, 0x20000, 0x30000, 0x60000, 0x10000), 0x20000);
  EXPECT_EQ(FixedLerp(0x10000, 0x20000, 0x30000, 0x60000, 0x30000), 0x60000);
  EXPECT_EQ(FixedLerp(0, 0x60000, 0x20000, 0x20000, 0x8000), 0x50000);  // falling
  // The span x1 - x0 does not fit: the midpoint of the ordinates.
  EXPECT_EQ(FixedLerp(0x7FFFFFFF, 0x10000, -0x7FFFFFFF, 0x30000, 0), 0x20000);
  EXPECT_EQ(FixedLerp(-0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0), 0x7FFFFFFF);
  // Extrapolation far out saturates instead of wrapping.
  EXPECT_EQ(FixedLerp(0, 0, 1, 0x10000, 0x7FFFFFFF), 0x7FFFFFFF);
}

TEST(FixedDet2, TruncatedProductsAndMarker) {
  EXPECT_EQ(FixedDet2(2 << 16, 0, 0, 3 << 16), 6 << 16);
  EXPECT_EQ(FixedDet2(0x10000, 0x10000, 0x10000, 0x10000), 0);
  EXPECT_EQ(FixedDet2(-1, 1, 1, 1), 0);  // both products truncate to 0
  EXPECT_EQ(FixedDet2(0x7FFFFFFF, 0, 0, 0x20000), 0x7FFFFFFF);  // product overflow
  // Both products fit but their difference does not.
  EXPECT_EQ(FixedDet2(0x7FFF0000, 0x7FFF0000, -0x7FFF0000, 0x10000), 0x7FFFFFFF);
  Inputs in(8);
  for (int i = 0; i < 500000; ++i) {
    const Fixed16_16 a = in.Next(), b = in.Next(), c = in.Next(), d = in.Next();
    const int64_t ad = (Mag(a) * Mag(d)) >> 16, cb = (Mag(c) * Mag(b)) >> 16;
    int64_t expected;
    if (ad > kMax || cb > kMax) {
      expected = kMax;
    } else {
      expected = (((a < 0) != (d < 0)) ? -ad : ad) - (((c < 0) != (b < 0)) ? -cb : cb);
      if (expected > kMax || expected < -kMax) expected = kMax;
    }
    ASSERT_EQ(FixedDet2(a, b, c, d), expected);
  }
}

TEST(FixedConversions, BytesAndIntegers) {
  EXPECT_EQ(ByteToFixed(0), 0);
  EXPECT_EQ(ByteToFixed(255), 0x10000);
  EXPECT_EQ(ByteToFixed(128), 128 * 257 + 1);
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(FixedToByte(ByteToFixed(static_cast<uint8_t>(b))), b);
    ASSERT_NEAR(ByteToFixed(static_cast<uint8_t>(b)) / 65536.0, b / 255.0, 1.0 / 65536);
  }
  EXPECT_EQ(FixedToByte(0x7FFF), 0x7F);
  EXPECT_EQ(FixedToByte(0x8000), 0x7F);
  EXPECT_EQ(FixedToByte(-5), 0);
  EXPECT_EQ(FixedToByte(0x20000), 255);
  EXPECT_EQ(IntToFixed(3), 0x30000);
  EXPECT_EQ(IntToFixed(-3), -0x30000);
  EXPECT_EQ(IntToFixed(40000), 0x7FFFFFFF);
  EXPECT_EQ(IntToFixed(-40000), kMinSat);
  EXPECT_EQ(FixedFloor(-0x8000), -1);
  EXPECT_EQ(FixedCeil(-0x8000), 0);
  EXPECT_EQ(FixedCeil(0x10001), 2);
  EXPECT_EQ(FixedCeil(0x7FFFFFFF), 32768);
  EXPECT_EQ(FixedRound(0x18000), 2);
  EXPECT_EQ(FixedRound(-0x18000), -1);
  EXPECT_EQ(FixedTrunc(-0x18000), -1);
  EXPECT_EQ(FixedTrunc(INT32_MIN), -32768);
  EXPECT_EQ(FixedTrunc(0x18000), 1);
}

}  // namespace
}  // namespace vn
