// Strokes against cairo (an independent renderer of the same path and
// stroke parameters): every join, cap and dash case, thin and wide lines,
// under scaling, rotation and shear.
//
// The two renderers anti-alias differently (exact area here, a sampling
// grid of 1/15 pixel vertically in cairo) and both flatten curves and arcs
// to about a tenth of a pixel. The comparison is therefore on 4 x 4 block
// averages: an edge displaced by 0.1 pixel across a block changes its
// average by at most 4 * 0.1 / 16 of full coverage (6.4 of 255), cairo's
// vertical sampling by about 2 more. A block may differ by kBlockTolerance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/cairo_reference.h"
#include "im/raster_test_support.h"
#include "im/stroke.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn::im {
namespace {

using test::PathBuilder;

constexpr int kBlockTolerance = 10;
constexpr Fixed16_16 F(double v) { return static_cast<Fixed16_16>(v * 65536.0); }

std::vector<uint8_t> FolioStroke(AppContext& context, const std::vector<PathPoint>& path, const StrokeStyle& style,
                                 const FixedMatrix& m, int width, int height) {
  PathWriter outline(context);
  FixedMatrix fill;
  const PixelRect clip{0, 0, width, height};
  StrokeOutline(context, Path{path.data(), static_cast<uint32_t>(path.size())}, style, m, clip, outline, fill);
  return test::RenderCoverage(context, outline.View(), fill, clip).bytes;
}

// The largest difference of 4 x 4 block averages, in bytes.
int WorstBlock(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height, int* blockX = nullptr,
               int* blockY = nullptr) {
  int worst = 0;
  for (int by = 0; by + 4 <= height; by += 4) {
    for (int bx = 0; bx + 4 <= width; bx += 4) {
      int sa = 0, sb = 0;
      for (int y = by; y < by + 4; ++y) {
        for (int x = bx; x < bx + 4; ++x) {
          sa += a[static_cast<size_t>(y) * width + x];
          sb += b[static_cast<size_t>(y) * width + x];
        }
      }
      const int d = static_cast<int>(std::lround(std::abs(sa - sb) / 16.0));
      if (d > worst) {
        worst = d;
        if (blockX != nullptr) *blockX = bx, *blockY = by;
      }
    }
  }
  return worst;
}

int Total(const std::vector<uint8_t>& a) {
  int sum = 0;
  for (uint8_t v : a) sum += v;
  return sum;
}

struct Case {
  std::string name;
  PathBuilder path;
  StrokeStyle style;
  FixedMatrix matrix = IdentityMatrix();
  double cairoWidth = 0;  // > 0: cairo draws this width instead (device hairlines)
};

std::vector<Fixed16_16> gDashes[8];

StrokeStyle Style(double width, int join, int cap, double miterLimit = 10) {
  StrokeStyle s;
  s.lineWidth = F(width);
  s.lineJoin = join;
  s.lineCap = cap;
  s.miterLimit = F(miterLimit);
  return s;
}

StrokeStyle Dashed(StrokeStyle s, int slot, std::vector<double> lengths, double phase) {
  gDashes[slot].clear();
  for (double l : lengths) gDashes[slot].push_back(F(l));
  s.dash = gDashes[slot].data();
  s.dashCount = static_cast<uint32_t>(lengths.size());
  s.dashPhase = F(phase);
  return s;
}

// A polyline with a 90-degree and a 10-degree corner.
PathBuilder Corners() {
  PathBuilder p;
  const double a = 10 * M_PI / 180;
  p.Move(12, 70).Line(12, 20).Line(70, 20).Line(70 - 50 * std::cos(a), 20 + 50 * std::sin(a));
  return p;
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const int joins[3] = {kMiterJoin, kRoundJoin, kBevelJoin};
  const int caps[3] = {kButtCap, kRoundCap, kSquareCap};
  for (int j = 0; j < 3; ++j) {
    for (int c = 0; c < 3; ++c) {
      cases.push_back({"corners join " + std::to_string(j) + " cap " + std::to_string(c), Corners(),
                       Style(7, joins[j], caps[c])});
    }
  }
  cases.push_back({"miter limit 1", Corners(), Style(7, kMiterJoin, kButtCap, 1)});
  cases.push_back({"miter limit 20 keeps the 10-degree miter", Corners(), Style(3, kMiterJoin, kButtCap, 20)});
  PathBuilder curve;
  curve.Move(10, 60).Curve(20, -10, 60, 110, 75, 15).Curve(80, 5, 40, 5, 30, 30);
  for (int j = 0; j < 3; ++j) cases.push_back({"curve join " + std::to_string(j), curve, Style(6, joins[j], kRoundCap)});
  PathBuilder square;
  square.Rect(15, 15, 65, 65);
  cases.push_back({"closed square miter", square, Style(8, kMiterJoin, kButtCap)});
  cases.push_back({"closed square round", square, Style(8, kRoundJoin, kButtCap)});
  PathBuilder circle;
  circle.Move(70, 40).Curve(70, 56.5, 56.5, 70, 40, 70).Curve(23.5, 70, 10, 56.5, 10, 40).Curve(10, 23.5, 23.5, 10, 40, 10)
      .Curve(56.5, 10, 70, 23.5, 70, 40).Close();
  cases.push_back({"closed circle", circle, Style(5, kMiterJoin, kButtCap)});
  // Segments far below the box are culled; the closing line still shows.
  PathBuilder tall;
  tall.Move(10, 10).Line(70, 10).Line(70, 900).Line(300, 900).Line(10, 900).Close();
  cases.push_back({"closed path cut by culling", tall, Style(4, kMiterJoin, kButtCap)});
  // Dashes.
  PathBuilder line;
  line.Move(8, 40).Line(72, 40);
  cases.push_back({"dash [3 3] phase 3", line, Dashed(Style(4, kMiterJoin, kButtCap), 0, {3, 3}, 3)});
  cases.push_back({"dash [2] odd", line, Dashed(Style(4, kMiterJoin, kButtCap), 1, {2}, 0)});
  cases.push_back({"dash [5 2 1 2] round caps", Corners(), Dashed(Style(3, kRoundJoin, kRoundCap), 2, {5, 2, 1, 2}, 1.5)});
  cases.push_back({"dash zero-length dots", line, Dashed(Style(4, kMiterJoin, kRoundCap), 3, {0, 8}, 0)});
  cases.push_back({"dash across a closed square's seam", square,
                   Dashed(Style(5, kMiterJoin, kButtCap), 4, {30, 10}, 15)});
  cases.push_back({"dash on a curve, square caps", curve, Dashed(Style(3, kBevelJoin, kSquareCap), 5, {6, 4}, 0)});
  // Matrices: scale, rotation, shear.
  cases.push_back({"scaled x3", Corners(), Style(2, kMiterJoin, kRoundCap), test::Scale(3, 3, -20, -30)});
  cases.push_back({"anisotropic", curve, Style(3, kRoundJoin, kButtCap), test::Scale(1.5, 0.6, 0, 10)});
  cases.push_back({"rotated", square, Style(6, kMiterJoin, kSquareCap),
                   FixedMatrix{F(0.8), F(0.6), F(-0.6), F(0.8), F(40), F(-15)}});
  cases.push_back({"sheared", Corners(), Style(4, kBevelJoin, kSquareCap), FixedMatrix{F(1), 0, F(0.5), F(1), F(-10), 0}});
  cases.push_back({"sheared dashes", curve, Dashed(Style(2.5, kRoundJoin, kRoundCap), 6, {4, 3}, 2),
                   FixedMatrix{F(0.9), F(0.2), F(-0.4), F(1.1), F(10), F(-5)}});
  // Thin lines draw a quarter device pixel wide: cairo at that width.
  cases.push_back({"zero width", Corners(), Style(0, kMiterJoin, kButtCap), IdentityMatrix(), 0.25});
  cases.push_back({"very thin, scaled", curve, Style(0.05, kRoundJoin, kRoundCap), test::Scale(2, 2, -30, -20), 0.125});
  cases.push_back({"zero width, rotated", square, Style(0, kMiterJoin, kButtCap),
                   FixedMatrix{F(0.8), F(0.6), F(-0.6), F(0.8), F(40), F(-15)}, 0.25});
  cases.push_back({"half a pixel, kept", Corners(), Style(0.5, kMiterJoin, kButtCap)});
  // Wide lines (beyond the scaled-space threshold).
  PathBuilder wide;
  wide.Move(40, 20).Line(40, 300).Line(300, 300);
  cases.push_back({"wide 200 units, scaled down", wide, Style(200, kMiterJoin, kButtCap), test::Scale(0.2, 0.2, 30, 30)});
  cases.push_back({"wide 120 units, round", curve, Style(120, kRoundJoin, kRoundCap), test::Scale(0.25, 0.25, 20, 20)});
  return cases;
}

TEST(Stroke, MatchesCairoOnBlockAverages) {
  AppContext context;
  const int w = 84, h = 84;
  int worstOverall = 0;
  for (const Case& c : Cases()) {
    const std::vector<uint8_t> ours = FolioStroke(context, c.path.points, c.style, c.matrix, w, h);
    const std::vector<uint8_t> cairo = test::CairoStroke(c.path.points, c.style, c.matrix, w, h, c.cairoWidth);
    int bx = 0, by = 0;
    const int worst = WorstBlock(ours, cairo, w, h, &bx, &by);
    worstOverall = std::max(worstOverall, worst);
    EXPECT_LE(worst, kBlockTolerance) << c.name << " at block " << bx << "," << by;
    EXPECT_GT(Total(ours), 0) << c.name;
    std::printf("%-45s worst block %3d, ink %7d vs cairo %7d\n", c.name.c_str(), worst, Total(ours), Total(cairo));
  }
  std::printf("stroke vs cairo: worst 4x4 block difference %d of 255\n", worstOverall);
}

// Wide lines are stroked in a scaled space; the outline must come back at
// the line's true width (the path and the matrix are scaled with the
// lengths).
TEST(Stroke, WideLinesKeepTheirWidth) {
  AppContext context;
  PathBuilder p;
  p.Move(-100, 800).Line(600, 800);
  for (double width : {50.0, 89.0, 91.0, 200.0, 1000.0}) {
    const StrokeStyle style = Style(width, kMiterJoin, kButtCap);
    // At 0.1 device pixels per unit the line spans width / 10 rows around
    // y = 100.
    const std::vector<uint8_t> ours = FolioStroke(context, p.points, style, test::Scale(0.1, 0.1, 0, 20), 64, 160);
    double rows = 0;
    for (int y = 0; y < 160; ++y) rows += ours[static_cast<size_t>(y) * 64 + 30] / 255.0;
    EXPECT_NEAR(rows, width / 10, 0.02) << width;
  }
}

TEST(Stroke, ZeroLengthSubpathsDrawDotsOnlyWithRoundCaps) {
  AppContext context;
  PathBuilder p;
  p.Move(20, 20).Line(20, 20).Move(40, 40).Close().Move(60, 60);  // the last moveto alone draws nothing
  for (int cap : {kButtCap, kRoundCap, kSquareCap}) {
    const std::vector<uint8_t> ours = FolioStroke(context, p.points, Style(8, kMiterJoin, cap), IdentityMatrix(), 84, 84);
    if (cap != kRoundCap) {
      EXPECT_EQ(Total(ours), 0) << cap;
      continue;
    }
    // Two dots of diameter 8: area 16 pi each.
    EXPECT_NEAR(Total(ours) / 255.0, 2 * 16 * M_PI, 0.5);
    EXPECT_EQ(ours[20 * 84 + 20], 255);
    EXPECT_EQ(ours[40 * 84 + 40], 255);
    EXPECT_EQ(ours[60 * 84 + 60], 0);
  }
}

TEST(Stroke, NegativeDashEntryStrokesSolid) {
  AppContext context;
  PathBuilder p;
  p.Move(8, 40).Line(72, 40);
  const StrokeStyle solid = Style(4, kMiterJoin, kButtCap);
  const StrokeStyle odd = Dashed(solid, 7, {4, -1, 3}, 0);
  EXPECT_EQ(FolioStroke(context, p.points, odd, IdentityMatrix(), 84, 84),
            FolioStroke(context, p.points, solid, IdentityMatrix(), 84, 84));
}

}  // namespace
}  // namespace vn::im
