// Hostile strokes end in a result or a clean engine error: a million
// segments, dash patterns far finer than a pixel over long paths,
// coordinates at the 16.16 limits, widths beyond any scale; the stroker and
// the dasher yield like the rasterizer, so a kill cancels them.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/raster_test_support.h"
#include "im/stroke.h"
#include "runtime/app_context.h"
#include "runtime/error.h"
#include "im/imaging_threads.h"
#include "support/test_context.h"

namespace vn::im {
namespace {

using test::PathBuilder;

constexpr Fixed16_16 F(double v) { return static_cast<Fixed16_16>(v * 65536.0); }

int32_t StrokeAndFill(AppContext& context, const Path& path, const StrokeStyle& style, const FixedMatrix& m,
                      const PixelRect& clip, uint32_t* outlinePoints = nullptr) {
  return vn::test::RaisedCode(context, [&] {
    PathWriter outline(context);
    FixedMatrix fill;
    StrokeOutline(context, path, style, m, clip, outline, fill);
    if (outlinePoints != nullptr) *outlinePoints = outline.Size();
    Scoped<BezierRasterPainter> painter(context, context, outline.View(), fill, clip, kNonZero);
    for (int32_t y = clip.y0; y < clip.y1; ++y) painter->SetScanline(y);
  });
}

TEST(StrokeHostile, AMillionSegmentsEndInAResultOrOutOfMemory) {
  PathBuilder p;
  p.Move(0, 0);
  for (int i = 0; i < 1000000; ++i) p.Line(1 + (i % 60), (i & 1) ? 60 : 1);
  AppContext context;
  StrokeStyle style;
  style.lineJoin = kRoundJoin;
  const int32_t code = StrokeAndFill(context, p.View(), style, IdentityMatrix(), PixelRect{0, 0, 64, 64});
  EXPECT_TRUE(code == -1 || code == kOutOfMemory) << code;
  EXPECT_LE(context.Budget().PeakBytes(), BudgetLimits().hardLimit);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(StrokeHostile, DashesFinerThanAPixelOverLongPathsStayBounded) {
  AppContext context;
  PathBuilder p;
  p.Move(-100000, 10).Line(100000, 10).Line(100000, 30).Line(-100000, 30);
  StrokeStyle style;
  style.lineWidth = F(2);
  const Fixed16_16 fine[2] = {8, 8};       // a period of 16 units in 16.16: far below a pixel
  const Fixed16_16 visible[2] = {F(1), F(1)};  // a period of two pixels, mostly off the box
  const auto start = std::chrono::steady_clock::now();
  for (const Fixed16_16* dash : {fine, visible}) {
    style.dash = dash;
    style.dashCount = 2;
    uint32_t points = 0;
    EXPECT_EQ(StrokeAndFill(context, p.View(), style, IdentityMatrix(), PixelRect{0, 0, 64, 40}, &points), -1);
    // Only what can show is outlined: the fine pattern strokes solid, the
    // visible one dashes the box's 64 pixels of each line.
    EXPECT_LT(points, 2000u);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(StrokeHostile, LimitsAndDegenerateMatricesEndCleanly) {
  AppContext context;
  PathBuilder p;
  p.Raw(-0x7FFFFFFE, -0x7FFFFFFE, kMoveTo)
      .Raw(0x7FFFFFFE, 0x7FFFFFFE, kLineTo)
      .Raw(0x7FFFFFFE, -0x7FFFFFFE, kCurvePoint)
      .Raw(-0x7FFFFFFE, 0x7FFFFFFE, kCurvePoint)
      .Raw(0, 0, kCurvePoint)
      .Close();
  const FixedMatrix matrices[] = {IdentityMatrix(), FixedMatrix{0x7FFFFFFF, 0, 0, 0x7FFFFFFF, 0, 0},
                                  FixedMatrix{1, 0, 0, 1, 0, 0}, FixedMatrix{0, 0, 0, 0, 0, 0},
                                  FixedMatrix{F(1), F(1), F(1), F(1), 0, 0}};
  const Fixed16_16 widths[] = {0, F(1), 0x7FFFFFFF};
  for (const FixedMatrix& m : matrices) {
    for (Fixed16_16 width : widths) {
      for (int join = 0; join < 3; ++join) {
        StrokeStyle style;
        style.lineWidth = width;
        style.lineJoin = join;
        style.lineCap = join;
        style.miterLimit = join == 0 ? kFixedOne : 0x7FFFFFFF;
        const int32_t code = StrokeAndFill(context, p.View(), style, m, PixelRect{-40, -40, 40, 40});
        EXPECT_TRUE(code == -1 || code == kLimitExceeded) << code;
      }
    }
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

// Found by fuzzing: a dotted stroke under a matrix that collapses the plane
// (its minimum width is infinite) made thousands of dots on one line.
TEST(StrokeHostile, ACollapsingMatrixStrokesNothing) {
  AppContext context;
  PathBuilder p;
  p.Move(0, 0).Line(-0.4, 0).Line(-32768, 32767).Line(1920, -3704).Close();
  StrokeStyle style;
  style.lineWidth = 0;
  style.lineCap = kRoundCap;
  const Fixed16_16 dash[3] = {0, F(3), F(2)};
  style.dash = dash;
  style.dashCount = 3;
  PathWriter outline(context);
  FixedMatrix fill;
  StrokeOutline(context, p.View(), style, FixedMatrix{F(1), F(0.34375), 0, 0, F(0.37), F(-26)}, PixelRect{-64, -64, 0, 0},
                outline, fill);
  EXPECT_EQ(outline.Size(), 0u);
}

// Found by fuzzing: round-capped dashes much shorter than the line is wide
// pile hundreds of overlapping caps into every row of one cluster.
TEST(StrokeHostile, DenseOverlappingDashesEndQuickly) {
  AppContext context;
  PathBuilder p;
  p.Move(-0.0625, -0.0625).Line(21206, 40036).Line(222.5, 0);
  StrokeStyle style;
  style.lineWidth = 0;
  style.lineJoin = kRoundJoin;
  style.lineCap = kRoundCap;
  style.miterLimit = kFixedOne;
  const Fixed16_16 dash[3] = {F(0.4248), F(0.00546), F(0.0297)};
  style.dash = dash;
  style.dashCount = 3;
  style.dashPhase = F(0.0028);
  const FixedMatrix m{F(0.8), F(0.6), F(-0.6), F(-0.2), F(-50), F(-70)};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StrokeAndFill(context, p.View(), style, m, PixelRect{-64, -64, 0, 0}), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

class StrokeThreads : public test::ImagingThreadsTest {};

TEST_F(StrokeThreads, LongDashedStrokesYieldAndAKillCancelsThem) {
  PathBuilder p;
  p.Move(0, 0);
  for (int i = 0; i < 20000; ++i) p.Line((i % 100) * 10.0, (i / 100) * 5.0);
  const Fixed16_16 dash[2] = {F(0.7), F(0.8)};
  bool finished = false;
  ThreadImpl* thread = Spawn([&] {
    StrokeStyle style;
    style.dash = dash;
    style.dashCount = 2;
    style.lineCap = kRoundCap;
    PathWriter outline(context);
    FixedMatrix fill;
    StrokeOutline(context, p.View(), style, IdentityMatrix(), PixelRect{0, 0, 1000, 1000}, outline, fill);
    finished = true;
  });
  ExpectCancelledMidWay(thread, finished);
}

}  // namespace
}  // namespace vn::im
