// The rasterizer's coverage against exact areas computed in the test: every
// pixel within one byte of the exact value for polygons (random, self-
// intersecting, both fill rules, under rotation and shear), within two for
// curves against a finely flattened copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "runtime/app_context.h"
#include "im/coverage_oracle.h"
#include "im/raster_test_support.h"

namespace vn::im {
namespace {

using test::DPoint;
using test::ExactByte;
using test::ExactCoverage;
using test::Polygon;

using test::CoverageMask;

CoverageMask Render(AppContext& context, const std::vector<PathPoint>& points, const FixedMatrix& m,
                    const PixelRect& clip, FillRule rule) {
  return test::RenderCoverage(context, Path{points.data(), static_cast<uint32_t>(points.size())}, m, clip, rule);
}

// Largest and mean byte difference from the exact coverage (as an unrounded
// byte value for the mean).
struct ErrorStats {
  int worst = 0;
  double sum = 0;
  size_t pixels = 0;
  void Add(int got, double exact) {
    worst = std::max(worst, std::abs(got - ExactByte(exact)));
    sum += std::abs(got - exact * 255.0);
    ++pixels;
  }
  double Mean() const { return pixels == 0 ? 0 : sum / pixels; }
};

ErrorStats Compare(const CoverageMask& mask, const std::vector<Polygon>& contours, bool evenOdd) {
  const PixelRect& r = mask.rect;
  const std::vector<double> exact = ExactCoverage(contours, evenOdd, r.x0, r.y0, r.x1, r.y1);
  ErrorStats stats;
  for (int y = r.y0; y < r.y1; ++y) {
    for (int x = r.x0; x < r.x1; ++x) {
      const double e = exact[(y - r.y0) * (r.x1 - r.x0) + (x - r.x0)];
      stats.Add(mask.At(x, y), e);
    }
  }
  return stats;
}

Polygon Transformed(const Polygon& poly, const FixedMatrix& m) {
  Polygon out;
  for (const DPoint& p : poly) {
    out.push_back({test::ToDouble(m.a) * p.x + test::ToDouble(m.c) * p.y + test::ToDouble(m.tx),
                   test::ToDouble(m.b) * p.x + test::ToDouble(m.d) * p.y + test::ToDouble(m.ty)});
  }
  return out;
}

TEST(RasterizerCoverage, RandomPolygonsWithinOneOfExact) {
  AppContext context;
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> coordinate(-4.0, 44.0);
  const FixedMatrix matrices[] = {
      IdentityMatrix(),
      FixedMatrix{test::ToFixed(0.8), test::ToFixed(0.6), test::ToFixed(-0.6), test::ToFixed(0.8), test::ToFixed(12.3),
                  test::ToFixed(-3.1)},
      FixedMatrix{test::ToFixed(1.0), 0, test::ToFixed(0.7), test::ToFixed(0.9), test::ToFixed(-9.5), test::ToFixed(2.25)},
  };
  ErrorStats all;
  for (int round = 0; round < 36; ++round) {
    std::vector<Polygon> contours(1 + round % 3);
    for (Polygon& poly : contours) {
      const int vertices = 3 + static_cast<int>(random() % 14);
      for (int i = 0; i < vertices; ++i) poly.push_back({coordinate(random), coordinate(random)});
    }
    std::vector<PathPoint> path = test::ToPath(contours);
    const FixedMatrix& m = matrices[round % 3];
    std::vector<Polygon> device;
    for (const Polygon& poly : contours) device.push_back(Transformed(poly, m));
    const bool evenOdd = round % 2 == 1;
    const PixelRect clip{-2, 1, 46, 47};
    const ErrorStats stats = Compare(Render(context, path, m, clip, evenOdd ? kEvenOdd : kNonZero), device, evenOdd);
    EXPECT_LE(stats.worst, 1) << "round " << round;
    all.worst = std::max(all.worst, stats.worst);
    all.sum += stats.sum;
    all.pixels += stats.pixels;
  }
  std::printf("polygon coverage vs exact: max %d, mean %.4f (bytes)\n", all.worst, all.Mean());
}

TEST(RasterizerCoverage, GlyphLikeNestedContoursWithinOneOfExact) {
  // Small contours that never cross (as glyphs are drawn): a star-shaped
  // outline with many vertices, a hole in it (reversed) and, in some
  // rounds, an island inside the hole (and one overlapping the outline in
  // the same direction: winding 2). Most rows take the sweep that skips
  // sub-bands between chords; many vertices fall inside rows.
  AppContext context;
  std::mt19937 random(4242);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto star = [&](double cx, double cy, double radius, int vertices, bool reversed) {
    Polygon poly;
    for (int i = 0; i < vertices; ++i) {
      const double a = 2 * M_PI * (reversed ? vertices - i : i) / vertices;
      const double r = radius * (0.8 + 0.2 * unit(random));
      poly.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return poly;
  };
  ErrorStats all;
  for (int round = 0; round < 24; ++round) {
    const double cx = 8 + 4 * unit(random), cy = 8 + 4 * unit(random);
    std::vector<Polygon> contours{star(cx, cy, 7, 12 + round, false), star(cx, cy, 3.5, 9 + round % 7, true)};
    if (round % 2 == 1) contours.push_back(star(cx, cy, 1.5, 6, false));
    if (round % 3 == 2) contours.push_back(star(cx + 5, cy, 2, 7, false));
    const bool evenOdd = round % 4 == 3;
    const PixelRect clip{0, 0, 24, 24};
    const ErrorStats stats = Compare(Render(context, test::ToPath(contours), IdentityMatrix(), clip,
                                            evenOdd ? kEvenOdd : kNonZero),
                                     contours, evenOdd);
    EXPECT_LE(stats.worst, 1) << "round " << round;
    all.worst = std::max(all.worst, stats.worst);
    all.sum += stats.sum;
    all.pixels += stats.pixels;
  }
  std::printf("glyph-like contours vs exact: max %d, mean %.4f (bytes)\n", all.worst, all.Mean());
}

TEST(RasterizerCoverage, CurvesWithinTwoOfFineFlattening) {
  AppContext context;
  std::mt19937 random(77);
  std::uniform_real_distribution<double> coordinate(-10.0, 70.0);
  ErrorStats all;
  for (int round = 0; round < 24; ++round) {
    // Closed contours of random cubics; some rounds scale them up so the
    // curves span many rows.
    const double scale = round % 4 == 3 ? 6.0 : 1.0;
    Polygon fine;
    std::vector<PathPoint> path;
    DPoint p0{coordinate(random) * scale, coordinate(random) * scale};
    const DPoint start = p0;
    p0 = DPoint{test::ToDouble(test::ToFixed(p0.x)), test::ToDouble(test::ToFixed(p0.y))};
    path.push_back(PackPoint(test::ToFixed(p0.x), test::ToFixed(p0.y), kMoveTo));
    fine.push_back(p0);
    const int curves = 2 + static_cast<int>(random() % 4);
    for (int i = 0; i < curves; ++i) {
      DPoint c[3];
      for (DPoint& p : c) {
        p = DPoint{coordinate(random) * scale, coordinate(random) * scale};
        p = DPoint{test::ToDouble(test::ToFixed(p.x)), test::ToDouble(test::ToFixed(p.y))};
        path.push_back(PackPoint(test::ToFixed(p.x), test::ToFixed(p.y), kCurvePoint));
      }
      if (i == curves - 1) {
        c[2] = DPoint{test::ToDouble(test::ToFixed(start.x)), test::ToDouble(test::ToFixed(start.y))};
        path.back() = PackPoint(test::ToFixed(c[2].x), test::ToFixed(c[2].y), kCurvePoint);
      }
      test::FlattenCubic(p0, c[0], c[1], c[2], 1024, fine);
      p0 = c[2];
    }
    const bool evenOdd = round % 3 == 0;
    const PixelRect clip = scale > 1 ? PixelRect{100, 100, 220, 220} : PixelRect{-5, -5, 70, 70};
    const ErrorStats stats =
        Compare(Render(context, path, IdentityMatrix(), clip, evenOdd ? kEvenOdd : kNonZero), {fine}, evenOdd);
    EXPECT_LE(stats.worst, 2) << "round " << round;
    all.worst = std::max(all.worst, stats.worst);
    all.sum += stats.sum;
    all.pixels += stats.pixels;
  }
  std::printf("curve coverage vs fine polygon: max %d, mean %.4f (bytes)\n", all.worst, all.Mean());
}

}  // namespace
}  // namespace vn::im

namespace vn::im {
namespace {

// At high zoom the path leaves the 16.16 range by far; the visible pixels
// must still be those of the true geometry (the guard band cuts segments in
// 64 bits before they become 16.16 edges).
TEST(RasterizerCoverage, OffScreenGeometryKeepsVisibleEdgesExact) {
  AppContext context;
  const struct {
    FixedMatrix m;
    PixelRect clip;
  } cases[] = {
      {test::Scale(1000, 1000), PixelRect{-20, 0, 20, 50}},
      {FixedMatrix{test::ToFixed(600), test::ToFixed(800), test::ToFixed(-800), test::ToFixed(600), 0, 0},
       PixelRect{-30, -30, 30, 30}},
      {test::Scale(1000, 1000, -32000, 32000), PixelRect{-32030, 32000, -31970, 32060}},
  };
  for (const auto& c : cases) {
    std::vector<Polygon> contours = {{{-100, -50}, {100, 50.05}, {0, 90}}, {{-3, -2}, {5, -1}, {1, 4}}};
    std::vector<PathPoint> path = test::ToPath(contours);
    std::vector<Polygon> device;
    for (const Polygon& poly : contours) device.push_back(Transformed(poly, c.m));
    const ErrorStats stats = Compare(Render(context, path, c.m, c.clip, kNonZero), device, false);
    EXPECT_LE(stats.worst, 1);
  }
}

// Points at the ends of the 16.16 range, in the path and in the matrix.
TEST(RasterizerCoverage, CoordinatesAtTheLimitsSaturateNowhere) {
  AppContext context;
  const double big = 32767.99;
  std::vector<Polygon> contours = {{{-32768, -32768}, {big, -20}, {big, big}, {-40, big}}};
  std::vector<PathPoint> path = test::ToPath(contours);
  for (const PixelRect& clip : {PixelRect{-32767, -32767, -32700, -32700}, PixelRect{32700, 32700, 32767, 32767},
                                PixelRect{-60, -60, 0, 0}}) {
    const ErrorStats stats = Compare(Render(context, path, IdentityMatrix(), clip, kNonZero), contours, false);
    EXPECT_LE(stats.worst, 1);
  }
  // A matrix that sends the same points a thousand times further.
  const FixedMatrix huge{0x7FFFFFFF, 0, 0, -0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF};
  const CoverageMask mask = test::RenderCoverage(context, Path{path.data(), static_cast<uint32_t>(path.size())}, huge,
                                                 PixelRect{-50, -50, 50, 50});
  // The square then covers the whole window ([-2^31, 2^31] in x, y flipped).
  for (uint8_t b : mask.bytes) EXPECT_EQ(b, 255);
}

}  // namespace
}  // namespace vn::im
