// Smooth shadings ("sh" and shading patterns) against a double-precision
// reference computed here from the PDF definitions of axial and radial
// shadings. Pages are 100 x 100 points at 72 dpi: device pixel (x, y) has
// its centre at user (x + 0.5, 99.5 - y).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

#include "pdf/render/display_events.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::render;

// Red at t = 0 to blue at t = 1.
const char kRedToBlue[] = "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >>";

struct Colour {
  double r, g, b;
};

using Reference = std::function<std::optional<double>(double x, double y)>;  // t at a user point

std::optional<double> Axial(double x, double y, double x0, double y0, double x1, double y1, bool e0, bool e1) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double s = ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy);
  if (s < 0) return e0 ? std::optional<double>(0) : std::nullopt;
  if (s > 1) return e1 ? std::optional<double>(1) : std::nullopt;
  return s;
}

// The largest s whose circle (non-negative radius) passes through (x, y).
std::optional<double> Radial(double x, double y, const double* c, bool e0, bool e1) {
  const double dcx = c[3] - c[0], dcy = c[4] - c[1], dr = c[5] - c[2];
  const double qx = x - c[0], qy = y - c[1];
  const double a = dcx * dcx + dcy * dcy - dr * dr;
  const double b = qx * dcx + qy * dcy + c[2] * dr;
  const double cc = qx * qx + qy * qy - c[2] * c[2];
  std::vector<double> roots;
  if (std::fabs(a) < 1e-12) {
    if (b != 0) roots.push_back(cc / (2 * b));
  } else {
    const double disc = b * b - a * cc;
    if (disc < 0) return std::nullopt;
    roots.push_back((b + std::sqrt(disc)) / a);
    roots.push_back((b - std::sqrt(disc)) / a);
  }
  std::optional<double> best;
  for (double s : roots) {
    if (c[2] + s * dr < 0) continue;
    if (s < 0 && !e0) continue;
    if (s > 1 && !e1) continue;
    if (!best || s > *best) best = s;
  }
  if (!best) return std::nullopt;
  return std::clamp(*best, 0.0, 1.0);
}

Colour RedToBlue(double t) { return Colour{1 - t, 0, t}; }

// Compares every pixel whose reference is steady (no edge of the shading
// or run boundary within 0.3 pixel) within 2 of 255 per channel; pixels
// outside the shading must stay white.
void ExpectMatches(const Rendered& r, const Reference& reference) {
  int steady = 0, checked = 0;
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const double ux = x + 0.5, uy = 99.5 - y;
      const std::optional<double> t = reference(ux, uy);
      bool stable = true;
      for (const auto& [ox, oy] : {std::pair{0.3, 0.0}, {-0.3, 0.0}, {0.0, 0.3}, {0.0, -0.3}}) {
        const std::optional<double> n = reference(ux + ox, uy + oy);
        if (n.has_value() != t.has_value() || (t && std::fabs(*n - *t) > 0.02)) stable = false;
      }
      ++checked;
      if (!stable) continue;
      ++steady;
      Colour want = t ? RedToBlue(*t) : Colour{1, 1, 1};
      const int wr = static_cast<int>(std::lround(want.r * 255)), wg = static_cast<int>(std::lround(want.g * 255)),
                wb = static_cast<int>(std::lround(want.b * 255));
      ASSERT_NEAR(r.Red(x, y), wr, 2) << "pixel " << x << "," << y << " is " << r.At(x, y);
      ASSERT_NEAR(r.Green(x, y), wg, 2) << "pixel " << x << "," << y << " is " << r.At(x, y);
      ASSERT_NEAR(r.Blue(x, y), wb, 2) << "pixel " << x << "," << y << " is " << r.At(x, y);
    }
  }
  EXPECT_GT(steady, checked * 9 / 10);
}

class ShadingTest : public ::testing::Test {
 protected:
  Rendered DrawSh(const std::string& shading, const std::string& content = "/Sh sh") {
    const std::string pdf = OnePagePdf(content, "/Shading << /Sh 5 0 R >>", {"<< " + shading + " >>"});
    Rendered r = RenderPdf(context, pdf);
    EXPECT_EQ(r.error, -1);
    return r;
  }
  AppContext context;
};

TEST_F(ShadingTest, AxialMatchesTheReference) {
  // Horizontal, extended both ways; diagonal, not extended; a reversed domain.
  Rendered r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [20 0 80 0] /Extend [true true] ") +
                      kRedToBlue);
  ExpectMatches(r, [](double x, double y) { return Axial(x, y, 20, 0, 80, 0, true, true); });
  EXPECT_TRUE(r.events.empty());

  r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [10 20 70 90] ") + kRedToBlue);
  ExpectMatches(r, [](double x, double y) { return Axial(x, y, 10, 20, 70, 90, false, false); });

  r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 10 0 90] /Domain [1 0] "
                         "/Extend [false true] ") + kRedToBlue);
  ExpectMatches(r, [](double x, double y) {
    const std::optional<double> s = Axial(x, y, 0, 10, 0, 90, false, true);
    return s ? std::optional<double>(1 - *s) : std::nullopt;
  });
}

TEST_F(ShadingTest, RadialMatchesTheReference) {
  struct Case {
    const char* name;
    double coords[6];
    bool e0, e1;
  } cases[] = {
      {"cone", {30, 30, 5, 70, 60, 25}, false, false},
      {"cone extended", {30, 30, 5, 60, 60, 15}, true, true},
      {"one circle inside the other", {45, 50, 5, 50, 50, 40}, true, true},
      {"concentric", {50, 50, 10, 50, 50, 45}, false, true},
      {"touching circles", {40, 50, 10, 50, 50, 20}, true, true},
      {"equal radii", {30, 40, 15, 70, 60, 15}, true, true},
      {"from a point", {50, 50, 0, 50, 50, 40}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char coords[200];
    std::snprintf(coords, sizeof coords, "/Coords [%g %g %g %g %g %g] /Extend [%s %s] ", c.coords[0], c.coords[1],
                  c.coords[2], c.coords[3], c.coords[4], c.coords[5], c.e0 ? "true" : "false",
                  c.e1 ? "true" : "false");
    Rendered r = DrawSh(std::string("/ShadingType 3 /ColorSpace /DeviceRGB ") + coords + kRedToBlue);
    ExpectMatches(r, [&](double x, double y) { return Radial(x, y, c.coords, c.e0, c.e1); });
  }
}

TEST_F(ShadingTest, BBoxClipAndConstantAlpha) {
  // The shading's box limits "sh"; the clip limits it too; "ca" halves it.
  Rendered r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Extend [true true] "
                                  "/BBox [10 10 40 40] ") + kRedToBlue);
  EXPECT_EQ(r.At(5, 75), "255,255,255");
  EXPECT_NE(r.At(25, 75), "255,255,255");
  EXPECT_EQ(r.At(25, 50), "255,255,255");
  r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Extend [true true] ") +
                 kRedToBlue,
             "60 0 40 100 re W n /Sh sh");
  EXPECT_EQ(r.At(30, 50), "255,255,255");
  EXPECT_NEAR(r.Blue(80, 50), 204, 2);
  const std::string pdf = OnePagePdf("/A gs /Sh sh", "/ExtGState << /A << /ca 0.5 >> >> /Shading << /Sh 5 0 R >>",
                                     {std::string("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] "
                                                  "/Extend [true true] ") + kRedToBlue + " >>"});
  r = RenderPdf(context, pdf);
  // Pure red (t = 0) at the left edge at half alpha over white.
  EXPECT_NEAR(r.Red(0, 50), 255, 2);
  EXPECT_NEAR(r.Green(0, 50), 128, 2);
  EXPECT_EQ(r.Count(kEventTransparency, kConstantAlpha), 1u);
}

TEST_F(ShadingTest, ShadingPatternFillsWithBackgroundAndPatternMatrix) {
  // The pattern space is the page's default space scaled by 2: the axis runs
  // from x = 20 to x = 60 on the page. Background grey fills beyond it.
  const std::string pdf = OnePagePdf(
      "2 0 0 2 0 0 cm /Pattern cs /P scn 0 0 50 50 re f", "/Pattern << /P 5 0 R >>",
      {std::string("<< /PatternType 2 /Matrix [2 0 0 2 0 0] /Shading << /ShadingType 2 /ColorSpace /DeviceRGB "
                   "/Background [0.5 0.5 0.5] /Coords [10 0 30 0] ") + kRedToBlue + " >> >>"});
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(10, 50), "128,128,128");  // before the axis: the background
  EXPECT_NEAR(r.Red(40, 50), 128, 4);      // the middle of the axis
  EXPECT_NEAR(r.Blue(40, 50), 128, 4);
  EXPECT_EQ(r.At(80, 50), "128,128,128");
  // "sh" never uses the background.
  r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Background [0 1 0] /Coords [40 0 60 0] ") +
             kRedToBlue);
  EXPECT_EQ(r.At(10, 50), "255,255,255");
}

TEST_F(ShadingTest, AShadingPatternsOwnExtGStateIsInForceWhileItPaints) {
  // Red to blue across the page; the pattern's ExtGState sets fill opacity
  // 0.5 and stroke opacity 0.25 (they replace the page's, which is 0.2 for
  // the second fill), and a blend mode that only lasts while it paints.
  const std::string pdf = OnePagePdf(
      "/Pattern cs /P scn /Pattern CS /P SCN 0 50 50 50 re f q /A gs 50 50 50 50 re f Q 8 w 0 20 m 100 20 l S "
      "1 0 0 rg 0 0 10 10 re f",
      "/Pattern << /P 5 0 R >> /ExtGState << /A << /ca 0.2 >> >>",
      {std::string("<< /PatternType 2 /ExtGState << /ca 0.5 /CA 0.25 /BM /Multiply /SMask << /S /Luminosity >> >> "
                   "/Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] ") +
       kRedToBlue + " >> >>"});
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  // Over white: 255 - opacity * (255 - colour), colour (1 - t, 0, t) at t = (x + 0.5) / 100.
  const auto expect = [&](int x, int y, double opacity) {
    const double t = (x + 0.5) / 100;
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    EXPECT_NEAR(r.Red(x, y), 255 - opacity * 255 * t, 2);
    EXPECT_NEAR(r.Green(x, y), 255 - opacity * 255, 2);
    EXPECT_NEAR(r.Blue(x, y), 255 - opacity * 255 * (1 - t), 2);
  };
  expect(20, 25, 0.5);
  expect(80, 25, 0.5);  // not 0.2, nor 0.1
  expect(30, 80, 0.25);
  expect(90, 80, 0.25);
  EXPECT_EQ(r.At(5, 95), "255,0,0");  // the page's own state is back
  EXPECT_EQ(r.Count(kEventTransparency, kSoftMaskNotApplied), 3u);  // once per mark
  EXPECT_GE(r.Count(kEventTransparency, kBlendModeIgnored), 1u);
}

TEST_F(ShadingTest, FunctionBasedShading) {
  // Colour = (x, y, 0) over the domain [0 1] x [0 1] scaled to 50 x 50.
  const std::string pdf = OnePagePdf(
      "/Sh sh", "/Shading << /Sh 5 0 R >>",
      {"<< /ShadingType 1 /ColorSpace /DeviceRGB /Matrix [50 0 0 50 25 25] /Function 6 0 R >>",
       StreamObject("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", "{ 0 }")});
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(10, 50), "255,255,255");  // outside the domain
  // User (30.5, 30.5) is domain (0.11, 0.11); (70.5, 70.5) is (0.91, 0.91).
  EXPECT_NEAR(r.Red(30, 69), 28, 2);
  EXPECT_NEAR(r.Green(30, 69), 28, 2);
  EXPECT_NEAR(r.Red(70, 29), 232, 2);
  EXPECT_EQ(r.Blue(70, 29), 0);
}

TEST_F(ShadingTest, MalformedShadingsAreSkippedWithAnEvent) {
  const char* bad[] = {
      // three outputs for a grey space
      "/ShadingType 2 /ColorSpace /DeviceGray /Coords [0 0 1 0] /Function << /FunctionType 2 /Domain [0 1] "
      "/C0 [1 0 0] /C1 [0 0 1] /N 1 >>",
      // too few coordinates, a negative radius, no function, a bad type, a bad space
      "/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1] /Function << /FunctionType 2 /Domain [0 1] /N 1 >>",
      "/ShadingType 3 /ColorSpace /DeviceRGB /Coords [0 0 -5 1 1 5] /Function << /FunctionType 2 /Domain [0 1] "
      "/C0 [1 0 0] /C1 [0 0 1] /N 1 >>",
      "/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0]",
      "/ShadingType 9 /ColorSpace /DeviceRGB",
      "/ShadingType 2 /ColorSpace 5 /Coords [0 0 1 0]",
      "/ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] /Extend 1 /Function << /FunctionType 2 "
      "/Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >>",
  };
  for (const char* shading : bad) {
    SCOPED_TRACE(shading);
    Rendered r = DrawSh(shading, "/Sh sh 1 0 0 rg 0 0 10 10 re f");
    EXPECT_EQ(r.Count(kEventObjectSkipped, 2), 1u);
    EXPECT_EQ(r.At(5, 95), "255,0,0");  // the page goes on
  }
  // Coinciding end points paint nothing, without a division by zero.
  Rendered r = DrawSh(std::string("/ShadingType 2 /ColorSpace /DeviceRGB /Coords [50 50 50 50] /Extend [true true] ") +
                      kRedToBlue);
  EXPECT_EQ(r.At(50, 50), "255,255,255");
  // Equal circles at one centre: nothing either.
  r = DrawSh(std::string("/ShadingType 3 /ColorSpace /DeviceRGB /Coords [50 50 10 50 50 10] /Extend [true true] ") +
             kRedToBlue);
  EXPECT_EQ(r.At(50, 50), "255,255,255");
}

}  // namespace
}  // namespace vn::test
