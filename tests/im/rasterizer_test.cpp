// The rasterizer's runs and edge cases: full runs for pixel-aligned shapes,
// half-pixel values, fill rules, clamping of overlaps, empty outputs, the
// winding of geometry left of the box, row order, the whole-mask mode.
#include <gtest/gtest.h>

#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/raster_test_support.h"
#include "runtime/app_context.h"
#include "runtime/error.h"
#include "support/test_context.h"

namespace vn::im {
namespace {

using test::CoverageMask;
using test::PathBuilder;
using test::RenderCoverage;
using test::RowRuns;

const PixelRect kBox{0, 0, 32, 32};

TEST(Rasterizer, PixelAlignedRectangleGivesOneFullRunPerRow) {
  AppContext context;
  PathBuilder p;
  p.Rect(3, 5, 20, 11);
  Scoped<BezierRasterPainter> painter(context, context, p.View(), IdentityMatrix(), kBox, kNonZero);
  EXPECT_EQ(painter->Bounds().x0, 3);
  EXPECT_EQ(painter->Bounds().y0, 5);
  EXPECT_EQ(painter->Bounds().x1, 20);
  EXPECT_EQ(painter->Bounds().y1, 11);
  for (int y = 0; y < 32; ++y) {
    const auto runs = RowRuns(*painter, y, 0, 32);
    if (y < 5 || y >= 11) {
      EXPECT_EQ(runs, (std::vector<std::pair<int, int>>{{kRunEmpty, 0x7FFFFFFF}})) << y;
    } else {
      EXPECT_EQ(runs, (std::vector<std::pair<int, int>>{{kRunEmpty, 3}, {kRunFull, 20}, {kRunEmpty, 0x7FFFFFFF}}))
          << y;
    }
  }
}

TEST(Rasterizer, HalfPixelSquareHasHalfSidesAndQuarterCorners) {
  AppContext context;
  PathBuilder p;
  p.Rect(2.5, 2.5, 8.5, 6.5);
  const CoverageMask mask = RenderCoverage(context, p.View(), IdentityMatrix(), kBox);
  EXPECT_EQ(mask.At(2, 2), 64);
  EXPECT_EQ(mask.At(8, 6), 64);
  EXPECT_EQ(mask.At(2, 4), 127);
  EXPECT_EQ(mask.At(5, 2), 127);
  EXPECT_EQ(mask.At(8, 4), 127);
  EXPECT_EQ(mask.At(5, 6), 127);
  EXPECT_EQ(mask.At(5, 4), 255);
  EXPECT_EQ(mask.At(1, 4), 0);
  EXPECT_EQ(mask.At(9, 4), 0);
  // Reversed orientation fills the same.
  PathBuilder q;
  q.Move(2.5, 2.5).Line(2.5, 6.5).Line(8.5, 6.5).Line(8.5, 2.5).Close();
  EXPECT_EQ(RenderCoverage(context, q.View(), IdentityMatrix(), kBox).bytes, mask.bytes);
}

TEST(Rasterizer, StarIsFullUnderNonzeroAndHollowUnderEvenOdd) {
  AppContext context;
  // A five-pointed star drawn as one self-intersecting contour.
  PathBuilder p;
  p.Move(16, 2).Line(24.2, 27.3).Line(2.7, 11.7).Line(29.3, 11.7).Line(7.8, 27.3).Close();
  const CoverageMask nonzero = RenderCoverage(context, p.View(), IdentityMatrix(), kBox, kNonZero);
  const CoverageMask evenOdd = RenderCoverage(context, p.View(), IdentityMatrix(), kBox, kEvenOdd);
  EXPECT_EQ(nonzero.At(16, 16), 255);
  EXPECT_EQ(evenOdd.At(16, 16), 0);
  EXPECT_EQ(nonzero.At(16, 8), 255);  // a point of the star
  EXPECT_EQ(evenOdd.At(16, 8), 255);
}

TEST(Rasterizer, OverlappingSquaresClampToFull) {
  AppContext context;
  PathBuilder p;
  p.Rect(2, 2, 12, 12).Rect(6.5, 6.5, 16, 16);
  const CoverageMask mask = RenderCoverage(context, p.View(), IdentityMatrix(), kBox);
  EXPECT_EQ(mask.At(8, 8), 255);
  EXPECT_EQ(mask.At(6, 8), 255);  // half of the second square over the first
  EXPECT_EQ(mask.At(14, 6), 127);
}

TEST(Rasterizer, HorizontalOnlyAndOutsidePathsProduceNothing) {
  AppContext context;
  PathBuilder flat;
  flat.Move(1, 5.5).Line(30, 5.5).Line(10, 5.5).Close();
  Scoped<BezierRasterPainter> a(context, context, flat.View(), IdentityMatrix(), kBox, kNonZero);
  EXPECT_TRUE(a->Bounds().Empty());
  a->SetScanline(5);
  EXPECT_FALSE(a->HasOutput());
  PathBuilder outside;
  outside.Rect(40, 2, 60, 20).Rect(2, -30, 20, -2);
  Scoped<BezierRasterPainter> b(context, context, outside.View(), IdentityMatrix(), kBox, kNonZero);
  EXPECT_TRUE(b->Bounds().Empty());
  for (int y = 0; y < 32; ++y) EXPECT_EQ(RowRuns(*b, y, 0, 32).size(), 1u);
  // An empty clip box: every row is empty.
  PathBuilder square;
  square.Rect(1, 1, 9, 9);
  Scoped<BezierRasterPainter> c(context, context, square.View(), IdentityMatrix(), PixelRect{5, 5, 5, 9}, kNonZero);
  c->SetScanline(6);
  EXPECT_FALSE(c->HasOutput());
}

TEST(Rasterizer, CurveFarLeftOfTheBoxStillWinds) {
  AppContext context;
  // The left side is a curve bulging 500 pixels left of the box; the right
  // side is inside it.
  PathBuilder p;
  p.Move(10.5, 2).Curve(-500, 2, -500, 30, 10.5, 30).Close();
  const CoverageMask mask = RenderCoverage(context, p.View(), IdentityMatrix(), kBox);
  EXPECT_EQ(mask.At(0, 16), 255);
  EXPECT_EQ(mask.At(9, 16), 255);
  EXPECT_EQ(mask.At(10, 16), 127);
  EXPECT_EQ(mask.At(11, 16), 0);
}

TEST(Rasterizer, RowsMayBeSkippedOrRequestedAgain) {
  AppContext context;
  PathBuilder p;
  p.Move(3, 1).Curve(30, 1, 30, 31, 3, 31).Close();
  const CoverageMask whole = RenderCoverage(context, p.View(), IdentityMatrix(), kBox);
  Scoped<BezierRasterPainter> painter(context, context, p.View(), IdentityMatrix(), kBox, kNonZero);
  // Every third row, then a row above the last: the scan restarts.
  for (int y : {0, 3, 6, 9, 27, 12, 13, 30}) {
    painter->SetScanline(y);
    for (int x = 0; x < 32; ++x) {
      const PixelRun run = painter->RunAt(x);
      const int value = run.kind == kRunFull ? 255 : run.kind == kRunPartial ? painter->CoverageAt(x) : 0;
      EXPECT_EQ(value, whole.At(x, y)) << x << "," << y;
    }
  }
  // SeekX backwards within a row.
  painter->SetScanline(16);
  EXPECT_EQ(painter->RunAt(31).kind, kRunEmpty);
  EXPECT_EQ(painter->RunAt(10).kind, kRunFull);
}

TEST(Rasterizer, WholeMaskCoversTheRectangleAndZerosOutsideTheClip) {
  AppContext context;
  PathBuilder p;
  p.Rect(-10, -10, 50, 50);
  Scoped<BezierRasterPainter> painter(context, context, p.View(), IdentityMatrix(), PixelRect{4, 4, 12, 12}, kNonZero);
  std::vector<uint8_t> mask(16 * 16, 0xEE);
  painter->RenderMask(PixelRect{0, 0, 16, 16}, mask.data(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
      EXPECT_EQ(mask[y * 16 + x], inside ? 255 : 0) << x << "," << y;
    }
  }
}

TEST(Rasterizer, ClipBoxesLargerThanTheLimitAreRefused) {
  AppContext context;
  PathBuilder p;
  p.Rect(0, 0, 10, 10);
  EXPECT_EQ(vn::test::RaisedCode(context, [&] {
              Scoped<BezierRasterPainter> painter(context, context, p.View(), IdentityMatrix(),
                                                  PixelRect{-10000, 0, 10000, 10}, kNonZero);
            }),
            kLimitExceeded);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(Rasterizer, PathsWithoutMovesAndCutCurvesAreRead) {
  AppContext context;
  PathBuilder p;
  // A line with no current point starts the subpath; a close with none is
  // ignored; a curve cut short by the end of the path is dropped.
  p.Close().Line(2, 2).Line(10, 2).Line(10, 10).Line(2, 10).Raw(5 << 16, 5 << 16, kCurvePoint);
  const CoverageMask mask = RenderCoverage(context, p.View(), IdentityMatrix(), kBox);
  EXPECT_EQ(mask.At(5, 5), 255);
  EXPECT_EQ(mask.At(11, 5), 0);
}

}  // namespace
}  // namespace vn::im
