// Hostile paths end in a result or a clean engine error: a million
// segments, a row where thousands of edges cross, huge curves; and the work
// counter yields, so a kill surfaces as kCancelled mid-fill.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/raster_test_support.h"
#include "runtime/app_context.h"
#include "runtime/error.h"
#include "im/imaging_threads.h"
#include "support/test_context.h"

namespace vn::im {
namespace {

using test::PathBuilder;

// Fills `path` into `clip` row by row; returns the engine error code or -1.
int32_t FillAll(AppContext& context, const Path& path, const FixedMatrix& m, const PixelRect& clip,
                FillRule rule = kNonZero) {
  return vn::test::RaisedCode(context, [&] {
    Scoped<BezierRasterPainter> painter(context, context, path, m, clip, rule);
    for (int32_t y = clip.y0; y < clip.y1; ++y) {
      painter->SetScanline(y);
      for (int32_t x = clip.x0; x < clip.x1;) x = painter->RunAt(x).end;
    }
  });
}

TEST(RasterizerHostile, AMillionSegmentsEndInAResultOrOutOfMemory) {
  // A zigzag inside the box: a million edges do not fit the budget.
  PathBuilder inside;
  inside.Move(0, 0);
  for (int i = 0; i < 1000000; ++i) inside.Line(1 + (i % 61), (i & 1) ? 60.5 : 0.5);
  AppContext context;
  const int32_t code = FillAll(context, inside.View(), IdentityMatrix(), PixelRect{0, 0, 64, 64});
  EXPECT_TRUE(code == -1 || code == kOutOfMemory) << code;
  EXPECT_LE(context.Budget().PeakBytes(), BudgetLimits().hardLimit);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);

  // The same zigzag left of the box collapses into border edges and fills
  // the box from its winding.
  PathBuilder left;
  left.Move(-5000, 0);
  for (int i = 0; i < 1000000; ++i) left.Line(-5000 + (i % 61), 0.25 + (i % 1000) * 0.06);
  left.Line(100, 60).Line(100, 0).Close();
  AppContext other;
  Scoped<BezierRasterPainter> painter(other, other, left.View(), IdentityMatrix(), PixelRect{0, 0, 64, 64}, kNonZero);
  painter->SetScanline(30);
  EXPECT_EQ(painter->RunAt(0).kind, kRunFull);
  EXPECT_EQ(painter->RunAt(0).end, 64);
  EXPECT_LT(painter->MemorySize(), 400000u);
}

TEST(RasterizerHostile, ThousandsOfCrossingsInOneRowEndQuickly) {
  std::mt19937 random(5);
  PathBuilder p;
  p.Move(0, 10.1);
  for (int i = 0; i < 3000; ++i) p.Line(static_cast<double>(random() % 6400) / 100, (i & 1) ? 10.1 : 10.9);
  AppContext context;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FillAll(context, p.View(), IdentityMatrix(), PixelRect{0, 0, 64, 20}, kEvenOdd), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RasterizerHostile, ThousandsOfCurvesStackedInOneClusterEndQuickly) {
  // Three thousand small circles, slightly shifted, all in the same rows
  // (as a dotted line collapsed by a matrix): one cluster of 12,000 edges.
  PathBuilder p;
  for (int i = 0; i < 3000; ++i) {
    const double cx = 20 + (i % 40) * 0.05, cy = 10 + (i % 7) * 0.1, r = 3;
    p.Move(cx + r, cy).Curve(cx + r, cy + 1.66, cx + 1.66, cy + r, cx, cy + r)
        .Curve(cx - 1.66, cy + r, cx - r, cy + 1.66, cx - r, cy)
        .Curve(cx - r, cy - 1.66, cx - 1.66, cy - r, cx, cy - r)
        .Curve(cx + 1.66, cy - r, cx + r, cy - 1.66, cx + r, cy)
        .Close();
  }
  AppContext context;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FillAll(context, p.View(), IdentityMatrix(), PixelRect{0, 0, 64, 20}, kEvenOdd), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(RasterizerHostile, PathsAlongTheGuardBandNetToAFewEdges) {
  // A hundred thousand loops down the left of the box and up its right
  // (joined above and below it): every pixel inside winds 100,000 times.
  PathBuilder p;
  p.Move(-500, -10);
  for (int i = 0; i < 100000; ++i) p.Line(-500, 80).Line(600, 80).Line(600, -10).Line(-500, -10);
  AppContext context;
  Scoped<BezierRasterPainter> nonzero(context, context, p.View(), IdentityMatrix(), PixelRect{0, 0, 64, 64}, kNonZero);
  EXPECT_LT(nonzero->MemorySize(), 200000u);
  for (int y : {0, 31, 63}) {
    nonzero->SetScanline(y);
    EXPECT_EQ(nonzero->RunAt(0).kind, kRunFull);
    EXPECT_EQ(nonzero->RunAt(0).end, 64);
  }
  Scoped<BezierRasterPainter> evenOdd(context, context, p.View(), IdentityMatrix(), PixelRect{0, 0, 64, 64}, kEvenOdd);
  evenOdd->SetScanline(10);
  EXPECT_EQ(evenOdd->RunAt(0).kind, kRunEmpty);
}

TEST(RasterizerHostile, HugeCurvesAndExtremeMatricesEndCleanly) {
  AppContext context;
  PathBuilder p;
  p.Raw(-0x7FFFFFFE, -0x7FFFFFFE, kMoveTo)
      .Raw(0x7FFFFFFE, -0x7FFFFFFE, kCurvePoint)
      .Raw(-0x7FFFFFFE, 0x7FFFFFFE, kCurvePoint)
      .Raw(0x7FFFFFFE, 0x7FFFFFFE, kCurvePoint)
      .Raw(0, 0x7FFFFFFE, kCurvePoint)
      .Raw(0x7FFFFFFE, 0, kCurvePoint)
      .Raw(-0x7FFFFFFE, 0x7FFFFFFE, kCurvePoint)
      .Close();
  const FixedMatrix matrices[] = {IdentityMatrix(), FixedMatrix{0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0, 0},
                                  FixedMatrix{1, 0, 0, 1, -0x7FFFFFFF, 0x7FFFFFFF}, FixedMatrix{0, 0, 0, 0, 5, 5}};
  for (const FixedMatrix& m : matrices) {
    for (FillRule rule : {kNonZero, kEvenOdd}) {
      EXPECT_EQ(FillAll(context, p.View(), m, PixelRect{-100, -100, 100, 100}, rule), -1);
      EXPECT_EQ(FillAll(context, p.View(), m, PixelRect{32000, -32767, 32767, -32000}, rule), -1);
    }
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

class RasterizerThreads : public test::ImagingThreadsTest {};

TEST_F(RasterizerThreads, LongFillsYieldAndAKillCancelsThem) {
  // Ten thousand thin slanted strips across a large box: far more than a
  // million units of work.
  PathBuilder p;
  for (int i = 0; i < 10000; ++i) {
    const double x = (i % 500) * 2.0;
    p.Move(x, 0).Line(x + 300, 1000).Line(x + 300.7, 1000).Line(x + 0.7, 0).Close();
  }
  bool finished = false;
  ThreadImpl* thread = Spawn([&] {
    Scoped<BezierRasterPainter> painter(context, context, p.View(), IdentityMatrix(), PixelRect{0, 0, 1000, 1000},
                                        kNonZero);
    for (int32_t y = 0; y < 1000; ++y) painter->SetScanline(y);
    finished = true;
  });
  ExpectCancelledMidWay(thread, finished);
}

}  // namespace
}  // namespace vn::im
