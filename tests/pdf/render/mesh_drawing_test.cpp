// Mesh shadings drawn on pages: colours against a double-precision
// reference computed here (Gouraud triangles, bilinear patches), the
// background of shading patterns, and hostile meshes that must end in a
// display event, never a crash or a hang. Pages are 100 x 100 points at
// 72 dpi: device pixel (x, y) has its centre at user (x + 0.5, 99.5 - y).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "pdf/render/display_events.h"
#include "runtime/app_context.h"
#include "support/mesh_data.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::render;

struct Colour {
  double r, g, b;  // 0 .. 255
};

// The colour at a user point, or none outside the mesh; `margin` tells
// whether the point is at least that far inside.
using Reference = std::function<std::optional<Colour>(double x, double y)>;

// Compares the pixels whose whole neighbourhood (0.8 pixel) lies inside or
// outside the reference; outside must stay `outside`.
void ExpectMatches(const Rendered& r, const Reference& reference, int tolerance, Colour outside = {255, 255, 255}) {
  int compared = 0;
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const double ux = x + 0.5, uy = 99.5 - y;
      const std::optional<Colour> c = reference(ux, uy);
      bool steady = true;
      for (const auto& [ox, oy] : {std::pair{0.8, 0.8}, {-0.8, 0.8}, {0.8, -0.8}, {-0.8, -0.8}}) {
        if (reference(ux + ox, uy + oy).has_value() != c.has_value()) steady = false;
      }
      if (!steady) continue;
      ++compared;
      const Colour want = c ? *c : outside;
      ASSERT_NEAR(r.Red(x, y), want.r, tolerance) << "pixel " << x << "," << y << " is " << r.At(x, y);
      ASSERT_NEAR(r.Green(x, y), want.g, tolerance) << "pixel " << x << "," << y << " is " << r.At(x, y);
      ASSERT_NEAR(r.Blue(x, y), want.b, tolerance) << "pixel " << x << "," << y << " is " << r.At(x, y);
    }
  }
  EXPECT_GT(compared, r.width * r.height / 2);
}

struct Vertex {
  double x, y;
  Colour c;
};

// Gouraud colour of the point in triangle (a, b, c), if inside.
std::optional<Colour> InTriangle(double x, double y, const Vertex& a, const Vertex& b, const Vertex& c) {
  const double det = (b.y - c.y) * (a.x - c.x) + (c.x - b.x) * (a.y - c.y);
  const double l1 = ((b.y - c.y) * (x - c.x) + (c.x - b.x) * (y - c.y)) / det;
  const double l2 = ((c.y - a.y) * (x - c.x) + (a.x - c.x) * (y - c.y)) / det;
  const double l3 = 1 - l1 - l2;
  if (l1 < 0 || l2 < 0 || l3 < 0) return std::nullopt;
  return Colour{l1 * a.c.r + l2 * b.c.r + l3 * c.c.r, l1 * a.c.g + l2 * b.c.g + l3 * c.c.g,
                l1 * a.c.b + l2 * b.c.b + l3 * c.c.b};
}

// 16-bit coordinates over [0, 100], 8-bit colours.
void PutVertex(MeshData& m, const Vertex& v) {
  m.Sample(v.x, 0, 100, 16).Sample(v.y, 0, 100, 16);
  m.Put(std::lround(v.c.r), 8).Put(std::lround(v.c.g), 8).Put(std::lround(v.c.b), 8);
}

const char kRgbMesh[] = "/ColorSpace /DeviceRGB /BitsPerCoordinate 16 /BitsPerComponent 8 ";
const char kRgbDecode[] = "/Decode [0 100 0 100 0 1 0 1 0 1] ";

class MeshDrawingTest : public ::testing::Test {
 protected:
  Rendered DrawMesh(const std::string& entries, const std::string& data, const std::string& content = "/Sh sh") {
    const std::string pdf = OnePagePdf(content, "/Shading << /Sh 5 0 R >>", {StreamObject(entries, data)});
    Rendered r = RenderPdf(context, pdf);
    EXPECT_EQ(r.error, -1);
    return r;
  }
  AppContext context;
};

TEST_F(MeshDrawingTest, FreeFormTrianglesAreGouraudShaded) {
  const Vertex a{10, 10, {255, 0, 0}}, b{90, 20, {0, 255, 0}}, c{30, 80, {0, 0, 255}}, d{95, 90, {250, 250, 0}};
  MeshData m;
  for (const Vertex& v : {a, b, c}) PutVertex(m.Put(0, 8), v);
  PutVertex(m.Put(1, 8), d);  // (b, c, d)
  Rendered r = DrawMesh(std::string("/ShadingType 4 /BitsPerFlag 8 ") + kRgbMesh + kRgbDecode, m.Bytes());
  EXPECT_TRUE(r.events.empty());
  ExpectMatches(r, [&](double x, double y) {
    std::optional<Colour> last = InTriangle(x, y, b, c, d);  // later triangles paint over earlier ones
    return last ? last : InTriangle(x, y, a, b, c);
  }, 3);
}

// A lattice of 3 x 3 vertices over [10, 90]^2 whose t rises with x + y:
// red to blue through a function.
TEST_F(MeshDrawingTest, LatticeWithAFunction) {
  MeshData m;
  for (int row = 0; row < 3; ++row) {
    for (int i = 0; i < 3; ++i) {
      m.Sample(10 + 40 * i, 0, 100, 8).Sample(10 + 40 * row, 0, 100, 8).Put((i + row) * 63, 8);
    }
  }
  Rendered r = DrawMesh("/ShadingType 5 /ColorSpace /DeviceRGB /BitsPerCoordinate 8 /BitsPerComponent 8 "
                        "/VerticesPerRow 3 /Decode [0 100 0 100 0 1] /Function << /FunctionType 2 /Domain [0 1] "
                        "/C0 [1 0 0] /C1 [0 0 1] /N 1 >>",
                        m.Bytes());
  EXPECT_TRUE(r.events.empty());
  ExpectMatches(r, [](double x, double y) -> std::optional<Colour> {
    // The 8-bit coordinates put the lattice at multiples of 100 / 255.
    const double lo = std::round(10 * 2.55) / 2.55, hi = std::round(90 * 2.55) / 2.55;
    if (x < lo || x > hi || y < lo || y > hi) return std::nullopt;
    const double t = ((x - lo) + (y - lo)) / (hi - lo) * 126 / 255;
    return Colour{255 * (1 - t), 0, 255 * t};
  }, 4);
}

// A rectangle [20, 80] x [10, 90] as a patch with straight sides: the
// colour is bilinear in the page coordinates.
std::optional<Colour> Bilinear(double x, double y, const Colour* corners) {
  if (x < 20 || x > 80 || y < 10 || y > 90) return std::nullopt;
  const double u = (x - 20) / 60, v = (y - 10) / 80;  // p[i][j]: i along x, j along y
  // color[0] at (0, 0), [1] at (0, 1), [2] at (1, 1), [3] at (1, 0).
  auto mix = [&](double c0, double c1, double c2, double c3) {
    return (1 - u) * (1 - v) * c0 + (1 - u) * v * c1 + u * v * c2 + u * (1 - v) * c3;
  };
  return Colour{mix(corners[0].r, corners[1].r, corners[2].r, corners[3].r),
                mix(corners[0].g, corners[1].g, corners[2].g, corners[3].g),
                mix(corners[0].b, corners[1].b, corners[2].b, corners[3].b)};
}

// A patch with straight sides over [x0, x0 + w] x [y0, y0 + h].
void PutRectanglePatch(MeshData& m, bool tensor, const Colour* corners, double x0 = 20, double y0 = 10,
                       double w = 60, double h = 80) {
  m.Put(0, 8);
  for (int k = 0; k < (tensor ? 16 : 12); ++k) {
    m.Sample(x0 + w * kPatchPointOrder[k][0] / 3, 0, 100, 16).Sample(y0 + h * kPatchPointOrder[k][1] / 3, 0, 100, 16);
  }
  for (int i = 0; i < 4; ++i) {
    m.Put(std::lround(corners[i].r), 8).Put(std::lround(corners[i].g), 8).Put(std::lround(corners[i].b), 8);
  }
}

TEST_F(MeshDrawingTest, CoonsAndTensorPatchesAreBilinear) {
  const Colour corners[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  for (int type : {6, 7}) {
    SCOPED_TRACE(type);
    MeshData m;
    PutRectanglePatch(m, type == 7, corners);
    Rendered r = DrawMesh("/ShadingType " + std::to_string(type) + " /BitsPerFlag 8 " + kRgbMesh + kRgbDecode,
                          m.Bytes());
    EXPECT_TRUE(r.events.empty());
    ExpectMatches(r, [&](double x, double y) { return Bilinear(x, y, corners); }, 6);
  }
}

TEST_F(MeshDrawingTest, PatternBackgroundAndClip) {
  const Colour corners[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
  MeshData m;
  PutRectanglePatch(m, false, corners);
  const std::string pdf = OnePagePdf(
      "/Pattern cs /P scn 0 0 100 50 re f", "/Pattern << /P << /PatternType 2 /Shading 5 0 R >> >>",
      {StreamObject(std::string("/ShadingType 6 /BitsPerFlag 8 /Background [0.5 0.5 0.5] ") + kRgbMesh + kRgbDecode,
                    m.Bytes())});
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  ExpectMatches(r, [&](double x, double y) -> std::optional<Colour> {
    if (y > 50) return Colour{255, 255, 255};  // outside the fill
    std::optional<Colour> c = Bilinear(x, y, corners);
    return c ? c : Colour{128, 128, 128};
  }, 6);
}

TEST_F(MeshDrawingTest, HostileMeshesEndInAnEvent) {
  MeshData tri;
  for (const Vertex& v : {Vertex{10, 10, {255, 0, 0}}, Vertex{90, 10, {255, 0, 0}}, Vertex{10, 90, {255, 0, 0}}}) {
    PutVertex(tri.Put(0, 8), v);
  }
  const std::string triangle = tri.Bytes();
  const std::string free = std::string("/ShadingType 4 /BitsPerFlag 8 ") + kRgbMesh;
  struct Case {
    const char* name;
    std::string entries, data;
    bool drawsTriangle;
  } cases[] = {
      {"no decode", free, triangle, false},
      {"short decode", free + "/Decode [0 100 0 100 0 1]", triangle, false},
      {"bad coordinate width", std::string("/ShadingType 4 /BitsPerFlag 8 /ColorSpace /DeviceRGB /BitsPerCoordinate 3 "
                                           "/BitsPerComponent 8 ") + kRgbDecode, triangle, false},
      {"no flag width", std::string("/ShadingType 4 ") + kRgbMesh + kRgbDecode, triangle, false},
      {"one vertex per row", std::string("/ShadingType 5 /VerticesPerRow 1 ") + kRgbMesh + kRgbDecode, triangle, false},
      {"function with three outputs for grey",
       "/ShadingType 4 /BitsPerFlag 8 /ColorSpace /DeviceGray /BitsPerCoordinate 16 /BitsPerComponent 8 "
       "/Decode [0 100 0 100 0 1] /Function << /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >>",
       triangle, false},
      {"truncated after a triangle", free + kRgbDecode, triangle + triangle.substr(0, 13), true},
      {"an edge flag first", free + kRgbDecode, std::string("\x01", 1) + triangle.substr(1, 7) + triangle, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rendered r = DrawMesh(c.entries, c.data, "/Sh sh 0 0 1 rg 0 95 5 5 re f");
    EXPECT_EQ(r.Count(kEventObjectSkipped, kBadData), 1u);
    EXPECT_EQ(r.At(2, 2), "0,0,255");  // the page goes on
    EXPECT_EQ(r.At(20, 80), c.drawsTriangle ? "255,0,0" : "255,255,255");
  }
  // A stream whose Length claims more than there is: what is there draws.
  const std::string pdf = OnePagePdf("/Sh sh", "/Shading << /Sh 5 0 R >>",
                                     {"<< " + free + kRgbDecode + " /Length 900 >>\nstream\n" + triangle +
                                      "\nendstream"});
  Rendered r = RenderPdf(context, pdf);
  EXPECT_EQ(r.At(20, 80), "255,0,0");
}

TEST_F(MeshDrawingTest, ExtremeDecodeRangesAndManyPatches) {
  // 32-bit coordinates over the widest range: the triangle lands far off the
  // page except for one corner; nothing overflows.
  MeshData m;
  const uint64_t top = 0xFFFFFFFFu;
  for (uint64_t x : {top / 2 + 1000000, top, top / 2}) {
    m.Put(0, 8).Put(x, 32).Put(x == top ? top / 2 : top, 32).Put(255, 8).Put(0, 8).Put(0, 8);
  }
  Rendered r = DrawMesh("/ShadingType 4 /BitsPerFlag 8 /ColorSpace /DeviceRGB /BitsPerCoordinate 32 "
                        "/BitsPerComponent 8 /Decode [-32768 32767 -32768 32767 0 1 0 1 0 1]",
                        m.Bytes());
  EXPECT_TRUE(r.events.empty());
  // Twenty thousand tiny patches in a row of lines: many batches.
  MeshData many;
  const Colour corners[4] = {{0, 0, 255}, {0, 0, 255}, {0, 0, 255}, {0, 0, 255}};
  for (int i = 0; i < 20000; ++i) PutRectanglePatch(many, false, corners, (i % 200) * 0.5, (i / 200) * 0.5, 0.5, 0.5);
  r = DrawMesh(std::string("/ShadingType 6 /BitsPerFlag 8 ") + kRgbMesh + kRgbDecode, many.Bytes());
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(r.Blue(20, 90), 255);
}

}  // namespace
}  // namespace vn::test
