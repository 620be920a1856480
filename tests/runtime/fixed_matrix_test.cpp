// Affine matrices: inverse, axis lengths, normalisation, intersection and the
// overflow pre-check, against long double references.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "runtime/app_context.h"
#include "runtime/error.h"
#include "runtime/fixed_matrix.h"
#include "support/test_context.h"

namespace vn {
namespace {

constexpr Fixed16_16 F(double v) { return static_cast<Fixed16_16>(v * 65536.0 + (v < 0 ? -0.5 : 0.5)); }
double D(Fixed16_16 v) { return v / 65536.0; }

TEST(FixedMatrix, InvertRaisesForSingular) {
  AppContext context;
  EXPECT_EQ(test::RaisedCode(context, [&] { Invert(context, FixedMatrix{0, 0, 0, 0, 5, 5}); }), kBadData);
  EXPECT_EQ(test::RaisedCode(context, [&] {
              Invert(context, FixedMatrix{0x10000, 0x10000, 0x10000, 0x10000, 0, 0});
            }), kBadData);
  EXPECT_EQ(test::RaisedCode(context, [&] {
              Invert(context, FixedMatrix{F(2), F(4), F(1), F(2), F(3), 0});
            }), kBadData);
}

TEST(FixedMatrix, InvertExamples) {
  AppContext context;
  FixedMatrix r{};
  ASSERT_EQ(test::RaisedCode(context, [&] {
              r = Invert(context, FixedMatrix{F(2), 0, 0, F(2), F(10), F(20)});
            }), -1);
  EXPECT_EQ(r, (FixedMatrix{F(0.5), 0, 0, F(0.5), F(-5), F(-10)}));
  ASSERT_EQ(test::RaisedCode(context, [&] { r = Invert(context, IdentityMatrix()); }), -1);
  EXPECT_TRUE(IsIdentity(r));
  // A 90-degree rotation with a translation.
  ASSERT_EQ(test::RaisedCode(context, [&] {
              r = Invert(context, FixedMatrix{0, F(1), F(-1), 0, F(3), F(4)});
            }), -1);
  EXPECT_EQ(r, (FixedMatrix{0, F(-1), F(1), 0, F(-4), F(3)}));
  // Tiny and huge scales go through the normalisation and come back.
  ASSERT_EQ(test::RaisedCode(context, [&] {
              r = Invert(context, FixedMatrix{F(1.0 / 64), 0, 0, F(1.0 / 64), F(1), F(2)});
            }), -1);
  EXPECT_EQ(r, (FixedMatrix{F(64), 0, 0, F(64), F(-64), F(-128)}));
  ASSERT_EQ(test::RaisedCode(context, [&] {
              r = Invert(context, FixedMatrix{F(1000), 0, 0, F(-1000), F(500), 0});
            }), -1);
  EXPECT_NEAR(D(r.a), 0.001, 2e-5);
  EXPECT_NEAR(D(r.d), -0.001, 2e-5);
  EXPECT_NEAR(D(r.tx), -0.5, 2e-3);
  // Extreme entries neither wrap nor trap (the sanitizer build checks).
  ASSERT_EQ(test::RaisedCode(context, [&] {
              r = Invert(context, FixedMatrix{F(1), INT32_MIN, INT32_MIN, 0, INT32_MIN, INT32_MIN});
            }), -1);
  EXPECT_EQ(test::RaisedCode(context, [&] {
              Invert(context, FixedMatrix{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 0, 0});
            }), kBadData);
}

// M x M^-1 is close to the identity for random, reasonably conditioned
// matrices over many scales.
TEST(FixedMatrix, InvertRoundTrips) {
  AppContext context;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  int inverted = 0;
  for (int i = 0; i < 20000; ++i) {
    const double scale = std::ldexp(1.0, static_cast<int>(rng() % 14) - 6);
    const double a = unit(rng) * scale, b = unit(rng) * scale, c = unit(rng) * scale, d = unit(rng) * scale;
    const double det = a * d - b * c;
    if (std::fabs(det) < 0.25 * scale * scale) continue;  // ill conditioned
    const FixedMatrix m{F(a), F(b), F(c), F(d), F(unit(rng) * 100), F(unit(rng) * 100)};
    FixedMatrix r{};
    ASSERT_EQ(test::RaisedCode(context, [&] { r = Invert(context, m); }), -1) << a << " " << b << " " << c << " " << d;
    ++inverted;
    const double fa = D(m.a), fb = D(m.b), fc = D(m.c), fd = D(m.d), fdet = fa * fd - fb * fc;
    const double ia = fd / fdet, ib = -fb / fdet, ic = -fc / fdet, id = fa / fdet;
    const double itx = -(D(m.tx) * ia + D(m.ty) * ic), ity = -(D(m.tx) * ib + D(m.ty) * id);
    const double tol = 4e-4 * (std::fabs(ia) + std::fabs(ib) + std::fabs(ic) + std::fabs(id)) + 3e-5;
    ASSERT_NEAR(D(r.a), ia, tol);
    ASSERT_NEAR(D(r.b), ib, tol);
    ASSERT_NEAR(D(r.c), ic, tol);
    ASSERT_NEAR(D(r.d), id, tol);
    ASSERT_NEAR(D(r.tx), itx, tol * 200 + 1e-3);
    ASSERT_NEAR(D(r.ty), ity, tol * 200 + 1e-3);
  }
  EXPECT_GT(inverted, 5000);
}

TEST(FixedMatrix, NormalizeModes) {
  Fixed16_16 a = F(2), b = 0, c = 0, d = F(3), reciprocal = 0;
  EXPECT_FALSE(Normalize(a, b, c, d, kNormalizeForInversion, reciprocal));
  EXPECT_EQ(reciprocal, F(1));
  EXPECT_EQ(a, F(2));
  // 300 * 300 > 16000: quartered twice, s = 1/4.
  a = F(300), b = F(1), c = F(1), d = F(300);
  EXPECT_TRUE(Normalize(a, b, c, d, kNormalizeForInversion, reciprocal));
  EXPECT_EQ(reciprocal, F(4));
  EXPECT_EQ(a, F(75));
  EXPECT_EQ(b, F(0.25));
  // Only the partner of the largest entry counts: 200 * 0 is small.
  a = F(200), b = F(1), c = F(1), d = F(0.5);
  EXPECT_FALSE(Normalize(a, b, c, d, kNormalizeForInversion, reciprocal));
  // Small entries are doubled into [1.0, 2.0).
  a = F(0.25), b = F(-0.125), c = 0, d = F(0.1);
  EXPECT_TRUE(Normalize(a, b, c, d, kNormalizeForInversion, reciprocal));
  EXPECT_EQ(reciprocal, F(0.25));
  EXPECT_EQ(a, F(1));
  EXPECT_EQ(b, F(-0.5));
  // Mode 0 halves until the largest is at most 0x7FFFF.
  a = F(100), b = F(-3), c = 0, d = F(1);
  EXPECT_TRUE(Normalize(a, b, c, d, kNormalizeForDecomposition, reciprocal));
  EXPECT_EQ(reciprocal, F(16));
  EXPECT_EQ(a, F(6.25));
  // The scale stops at 16384.0 for entries of a few raw units.
  a = 1, b = 0, c = 0, d = 1;
  EXPECT_TRUE(Normalize(a, b, c, d, kNormalizeForDecomposition, reciprocal));
  EXPECT_EQ(reciprocal, 4);
  EXPECT_EQ(a, 0x4000);
}

TEST(FixedMatrix, AxisLengthsMatchSingularValues) {
  EXPECT_EQ(AxisLengths(FixedMatrix{F(2), 0, 0, F(-5), 7, 7}).major, F(5));
  EXPECT_EQ(AxisLengths(FixedMatrix{F(2), 0, 0, F(-5), 7, 7}).minor, F(2));
  const AxisPair rot = AxisLengths(FixedMatrix{0, F(3), F(-3), 0, 0, 0});
  EXPECT_NEAR(D(rot.major), 3.0, 1e-4);
  EXPECT_NEAR(D(rot.minor), 3.0, 1e-4);
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 50000; ++i) {
    const double scale = std::ldexp(1.0, static_cast<int>(rng() % 20) - 8);
    const FixedMatrix m{F(unit(rng) * scale), F(unit(rng) * scale), F(unit(rng) * scale),
                        F(unit(rng) * scale), 0, 0};
    const double a = D(m.a), b = D(m.b), c = D(m.c), d = D(m.d);
    const double p = a * a + b * b, q = c * c + d * d, o = a * c + b * d;
    const double r = std::sqrt((p - q) * (p - q) + 4 * o * o);
    const double major = std::sqrt((p + q + r) / 2), minor = std::sqrt(std::max(0.0, (p + q - r) / 2));
    const AxisPair got = AxisLengths(m);
    ASSERT_GE(got.major, got.minor);
    // Square roots of a difference: the minor axis of a nearly singular
    // matrix is only good to the root of the rounding.
    const double tol = major * 2e-3 + 3e-4;
    ASSERT_NEAR(D(got.major), major, tol) << a << " " << b << " " << c << " " << d;
    ASSERT_NEAR(D(got.minor), minor, tol + std::sqrt(major * 1e-4)) << a << " " << b << " " << c << " " << d;
  }
  // Entries near 8.0 after normalisation: (p - q)^2 + 4 o^2 reaches 65536.0.
  const AxisPair big = AxisLengths(FixedMatrix{F(7.99), F(7.99), F(7.99), F(7.99), 0, 0});
  EXPECT_NEAR(D(big.major), 2 * 7.99, 1e-3);
  EXPECT_LE(D(big.minor), 0.05);
}

TEST(FixedMatrix, IntersectLines) {
  FixedPoint out{};
  ASSERT_TRUE(Intersect({0, 0}, {F(2), F(2)}, {0, F(2)}, {F(2), 0}, true, out));
  EXPECT_NEAR(D(out.x), 1.0, 1e-4);
  EXPECT_NEAR(D(out.y), 1.0, 1e-4);
  // The lines meet beyond the segments.
  EXPECT_FALSE(Intersect({0, 0}, {F(1), 0}, {F(3), F(-1)}, {F(3), F(1)}, true, out));
  ASSERT_TRUE(Intersect({0, 0}, {F(1), 0}, {F(3), F(-1)}, {F(3), F(1)}, false, out));
  EXPECT_NEAR(D(out.x), 3.0, 1e-4);
  EXPECT_NEAR(D(out.y), 0.0, 1e-4);
  // Parallel lines do not meet.
  EXPECT_FALSE(Intersect({0, 0}, {F(1), F(1)}, {0, F(1)}, {F(1), F(2)}, false, out));
  // An end point on the other segment counts.
  ASSERT_TRUE(Intersect({0, 0}, {F(2), 0}, {F(1), 0}, {F(1), F(5)}, true, out));
  EXPECT_NEAR(D(out.x), 1.0, 1e-4);
  // Far from the origin and far apart: centring and halving keep it exact enough.
  ASSERT_TRUE(Intersect({F(20000), F(20000)}, {F(20010), F(20010)}, {F(20000), F(20010)},
                        {F(20010), F(20000)}, true, out));
  EXPECT_NEAR(D(out.x), 20005.0, 0.01);
  ASSERT_TRUE(Intersect({F(-30000), 0}, {F(30000), 0}, {0, F(-30000)}, {0, F(30000)}, true, out));
  EXPECT_NEAR(D(out.x), 0.0, 0.01);
  EXPECT_NEAR(D(out.y), 0.0, 0.01);
  // A meeting point outside the range fails instead of wrapping.
  EXPECT_FALSE(Intersect({0, 0}, {F(1), 0}, {0, F(1)}, {F(1), F(1) - 1}, false, out));
  // Nearly parallel but in range: x = 1 / (1 - 0.999) (0.999 is not exact).
  ASSERT_TRUE(Intersect({0, 0}, {F(1), 0}, {0, F(1)}, {F(1), F(0.999)}, false, out));
  EXPECT_NEAR(D(out.x), 1.0 / (1.0 - D(F(0.999))), 0.5);
  EXPECT_EQ(out.y, 0);
}

TEST(FixedMatrix, IntersectRandomSegments) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> coord(-1000.0, 1000.0);
  int met = 0;
  for (int i = 0; i < 50000; ++i) {
    const double v[8] = {coord(rng), coord(rng), coord(rng), coord(rng),
                         coord(rng), coord(rng), coord(rng), coord(rng)};
    const double rx = v[2] - v[0], ry = v[3] - v[1], sx = v[6] - v[4], sy = v[7] - v[5];
    const double den = rx * sy - ry * sx;
    if (std::fabs(den) < 1e3) continue;
    const double t = ((v[4] - v[0]) * sy - (v[5] - v[1]) * sx) / den;
    const double u = ((v[4] - v[0]) * ry - (v[5] - v[1]) * rx) / den;
    FixedPoint out{};
    const bool ok = Intersect({F(v[0]), F(v[1])}, {F(v[2]), F(v[3])}, {F(v[4]), F(v[5])},
                              {F(v[6]), F(v[7])}, true, out);
    if (t > 0.01 && t < 0.99 && u > 0.01 && u < 0.99) {
      ASSERT_TRUE(ok);
      ++met;
      ASSERT_NEAR(D(out.x), v[0] + t * rx, 0.1);
      ASSERT_NEAR(D(out.y), v[1] + t * ry, 0.1);
    } else if (t < -0.01 || t > 1.01 || u < -0.01 || u > 1.01) {
      ASSERT_FALSE(ok);
    }
  }
  EXPECT_GT(met, 5000);
}

TEST(FixedMatrix, TransformFitsIsSafe) {
  EXPECT_TRUE(TransformFits(IdentityMatrix(), FixedRect{F(-100), F(-100), F(100), F(100)}));
  EXPECT_FALSE(TransformFits(FixedMatrix{F(1000), 0, 0, F(1000), 0, 0}, FixedRect{0, 0, F(100), F(100)}));
  EXPECT_FALSE(TransformFits(FixedMatrix{F(1), 0, 0, F(1), F(30000), 0}, FixedRect{0, 0, F(3000), F(1)}));
  EXPECT_TRUE(TransformFits(FixedMatrix{F(1), 0, 0, F(1), F(20000), 0}, FixedRect{0, 0, F(3000), F(1)}));
  std::mt19937 rng(14);
  for (int i = 0; i < 100000; ++i) {
    auto pick = [&] {
      return static_cast<Fixed16_16>(static_cast<int32_t>(rng()) >> (rng() % 31));
    };
    const FixedMatrix m{pick(), pick(), pick(), pick(), pick(), pick()};
    const FixedRect r{pick(), pick(), pick(), pick()};
    if (!TransformFits(m, r)) continue;
    // Then every corner's exact image is in range.
    for (Fixed16_16 x : {r.x0, r.x1}) {
      for (Fixed16_16 y : {r.y0, r.y1}) {
        const long double ex = (static_cast<long double>(m.a) * x + static_cast<long double>(m.c) * y) / 65536 + m.tx;
        const long double ey = (static_cast<long double>(m.b) * x + static_cast<long double>(m.d) * y) / 65536 + m.ty;
        ASSERT_LE(std::fabs(ex), 0x7FFFFFFF + 2.0L);
        ASSERT_LE(std::fabs(ey), 0x7FFFFFFF + 2.0L);
      }
    }
  }
}

TEST(FixedMatrix, ConcatAndTransforms) {
  const FixedMatrix scale{F(2), 0, 0, F(3), F(1), F(1)};
  const FixedMatrix shift{F(1), 0, 0, F(1), F(10), F(20)};
  const FixedMatrix both = Concat(scale, shift);  // scale first, then shift
  EXPECT_EQ(both, (FixedMatrix{F(2), 0, 0, F(3), F(11), F(21)}));
  EXPECT_EQ(Concat(shift, scale), (FixedMatrix{F(2), 0, 0, F(3), F(21), F(61)}));
  const FixedPoint p = TransformPoint(both, {F(1), F(1)});
  const FixedPoint q = TransformPoint(shift, TransformPoint(scale, {F(1), F(1)}));
  EXPECT_EQ(p.x, q.x);
  EXPECT_EQ(p.y, q.y);
  EXPECT_EQ(TransformVector(both, {F(1), F(1)}).x, F(2));
  const FixedRect r = TransformRect(FixedMatrix{0, F(1), F(-1), 0, 0, 0}, FixedRect{0, 0, F(2), F(1)});
  EXPECT_EQ(r.x0, F(-1));
  EXPECT_EQ(r.y0, 0);
  EXPECT_EQ(r.x1, 0);
  EXPECT_EQ(r.y1, F(2));
  EXPECT_EQ(TransformPoint(FixedMatrix{F(2), 0, 0, F(2), F(30000), 0}, {F(30000), 0}).x, 0x7FFFFFFF);
  EXPECT_TRUE(IsIdentity(Concat(IdentityMatrix(), IdentityMatrix())));
}

// Any bits at all: nothing wraps, traps or loops (the sanitizer build turns
// signed overflow into a failure); results keep their stated shape.
TEST(FixedMatrix, ArbitraryInputsAreSafe) {
  AppContext context;
  std::mt19937 rng(15);
  auto pick = [&] {
    const int32_t edges[] = {0, 1, -1, INT32_MIN, 0x7FFFFFFF, 0x10000, -0x10000};
    return (rng() % 4 == 0) ? edges[rng() % 7] : static_cast<int32_t>(rng()) >> (rng() % 32);
  };
  for (int i = 0; i < 20000; ++i) {
    const FixedMatrix m{pick(), pick(), pick(), pick(), pick(), pick()};
    const int32_t code = test::RaisedCode(context, [&] { Invert(context, m); });
    ASSERT_TRUE(code == -1 || code == kBadData);
    const AxisPair axes = AxisLengths(m);
    ASSERT_GE(axes.major, axes.minor);
    ASSERT_GE(axes.minor, 0);
    FixedPoint out{};
    Intersect({pick(), pick()}, {pick(), pick()}, {pick(), pick()}, {pick(), pick()}, (i & 1) != 0, out);
    TransformFits(m, FixedRect{pick(), pick(), pick(), pick()});
    Concat(m, m);
    TransformRect(m, FixedRect{pick(), pick(), pick(), pick()});
  }
}

}  // namespace
}  // namespace vn
