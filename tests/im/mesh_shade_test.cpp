// Mesh shadings on the device: the Gouraud triangle painter and the patch
// tessellation, against exact computations in the test (double precision
// colours and surfaces, an exact integer pixel-centre test with the
// top-left rule) and against cairo's mesh patterns.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/mesh_shade.h"
#include "im/raster_compositing.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::im {
namespace {

constexpr double kUnit = 1 << kMeshPositionBits;

MeshVertex Vertex(int32_t x, int32_t y, double r, double g, double b) {
  MeshVertex v;
  v.p = MeshPoint{x, y};
  v.c[0] = static_cast<Fixed16_16>(std::lround(r * 65536));
  v.c[1] = static_cast<Fixed16_16>(std::lround(g * 65536));
  v.c[2] = static_cast<Fixed16_16>(std::lround(b * 65536));
  return v;
}

struct Tri {
  MeshVertex v[3];
};

// Products of 24.8 differences need more than 64 bits.
__extension__ typedef __int128 Wide;

// Whether the centre of pixel (x, y) is inside, by exact edge functions:
// a centre on an edge belongs to the triangle when the edge is a top edge
// (horizontal, the inside below) or a left edge (the inside to its right).
bool CentreInside(const Tri& t, int64_t x, int64_t y) {
  const MeshPoint* a = &t.v[0].p;
  const MeshPoint* b = &t.v[1].p;
  const MeshPoint* c = &t.v[2].p;
  const auto cross = [](const MeshPoint& p, const MeshPoint& q, int64_t px, int64_t py) {
    return Wide{int64_t{q.x} - p.x} * (py - p.y) - Wide{int64_t{q.y} - p.y} * (px - p.x);
  };
  const int64_t px = x * 256 + 128, py = y * 256 + 128;
  const Wide area = cross(*a, *b, c->x, c->y);
  if (area == 0) return false;
  if (area < 0) std::swap(b, c);
  const MeshPoint* edges[3][2] = {{a, b}, {b, c}, {c, a}};
  for (const auto& e : edges) {
    const Wide w = cross(*e[0], *e[1], px, py);
    if (w < 0) return false;
    if (w == 0) {
      const int64_t dy = int64_t{e[1]->y} - e[0]->y, dx = int64_t{e[1]->x} - e[0]->x;
      if (!(dy < 0 || (dy == 0 && dx > 0))) return false;
    }
  }
  return true;
}

// The exact Gouraud value of channel k at the centre of pixel (x, y), in
// channel units.
double Interpolated(const Tri& t, int k, int64_t x, int64_t y) {
  const double px = (x + 0.5) * kUnit, py = (y + 0.5) * kUnit;
  const auto& a = t.v[0];
  const auto& b = t.v[1];
  const auto& c = t.v[2];
  const double det =
      (double(b.p.x) - a.p.x) * (double(c.p.y) - a.p.y) - (double(c.p.x) - a.p.x) * (double(b.p.y) - a.p.y);
  const double wb = ((px - a.p.x) * (double(c.p.y) - a.p.y) - (double(c.p.x) - a.p.x) * (py - a.p.y)) / det;
  const double wc = ((double(b.p.x) - a.p.x) * (py - a.p.y) - (px - a.p.x) * (double(b.p.y) - a.p.y)) / det;
  return (a.c[k] + wb * (double(b.c[k]) - a.c[k]) + wc * (double(c.c[k]) - a.c[k])) / 65536.0;
}

// What a sampler paints over `area`: R, G, B and coverage per pixel.
struct Picture {
  explicit Picture(const PixelRect& a)
      : area(a), width(a.x1 - a.x0), rgb(size_t(width) * (a.y1 - a.y0) * 3), covered(size_t(width) * (a.y1 - a.y0)),
        paints(covered.size()) {}
  // Paints the batch over its bounds, each row in two runs.
  void Paint(MeshShadeSampler& sampler) {
    const PixelRect b = sampler.Bounds();
    if (b.Empty()) return;
    EXPECT_GE(b.x0, area.x0);
    EXPECT_LE(b.x1, area.x1);
    std::vector<uint8_t> runRgb(static_cast<size_t>(width) * 3), runCovered(static_cast<size_t>(width));
    for (int32_t y = b.y0; y < b.y1; ++y) {
      const int32_t middle = (b.x0 + b.x1) / 2;
      sampler.ShadeRun(b.x0, y, middle - b.x0, runRgb.data(), runCovered.data());
      const size_t half = static_cast<size_t>(middle - b.x0);
      sampler.ShadeRun(middle, y, b.x1 - middle, runRgb.data() + 3 * half, runCovered.data() + half);
      for (int32_t x = b.x0; x < b.x1; ++x) {
        const size_t i = Index(x, y), j = size_t(x - b.x0);
        if (runCovered[j] == 0) continue;
        EXPECT_EQ(runCovered[j], 255);
        covered[i] = 255;
        ++paints[i];
        std::copy_n(&runRgb[3 * j], 3, &rgb[3 * i]);
      }
    }
  }
  size_t Index(int32_t x, int32_t y) const { return size_t(y - area.y0) * width + size_t(x - area.x0); }
  PixelRect area;
  int32_t width;
  std::vector<uint8_t> rgb, covered;
  std::vector<int> paints;
};

// Adds each triangle in a batch of its own and paints it: `paints` then
// counts how many triangles took each pixel.
Picture PaintEachAlone(AppContext& context, const PixelRect& area, const std::vector<Tri>& triangles) {
  Picture picture(area);
  MeshShadeSampler sampler(context, nullptr, area, 255);
  for (const Tri& t : triangles) {
    sampler.Triangle(t.v[0], t.v[1], t.v[2]);
    picture.Paint(sampler);
    sampler.Clear();
  }
  return picture;
}

// Checks every pixel of the picture against the last triangle (in drawing
// order) whose centre-inside test holds.
void ExpectMatchesReference(const Picture& picture, const std::vector<Tri>& triangles, double tolerance) {
  int mismatches = 0;
  for (int32_t y = picture.area.y0; y < picture.area.y1; ++y) {
    for (int32_t x = picture.area.x0; x < picture.area.x1; ++x) {
      const Tri* last = nullptr;
      for (const Tri& t : triangles) {
        if (CentreInside(t, x, y)) last = &t;
      }
      const size_t i = picture.Index(x, y);
      if ((last != nullptr) != (picture.covered[i] != 0)) {
        if (++mismatches < 5) ADD_FAILURE() << "coverage at " << x << "," << y;
        continue;
      }
      if (last == nullptr) continue;
      for (int k = 0; k < 3; ++k) {
        const double expected = std::clamp(Interpolated(*last, k, x, y), 0.0, 255.0);
        if (std::abs(picture.rgb[3 * i + k] - expected) > tolerance && ++mismatches < 5) {
          ADD_FAILURE() << "channel " << k << " at " << x << "," << y << ": " << int(picture.rgb[3 * i + k])
                        << " for " << expected;
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

std::vector<Tri> RandomTriangles(uint32_t seed, int count, int32_t span, int32_t size) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> where(-size * 256, span * 256), offset(0, size * 256), color(0, 255);
  std::vector<Tri> triangles;
  for (int n = 0; n < count; ++n) {
    const int32_t x = where(random), y = where(random);
    Tri t;
    for (auto& v : t.v) {
      int32_t vx = x + offset(random), vy = y + offset(random);
      if (n % 3 == 0) {  // on pixel centres: ties with the fill rule
        vx = (vx & ~255) | 128;
        vy = (vy & ~255) | 128;
      }
      v = Vertex(vx, vy, color(random), color(random), color(random));
    }
    triangles.push_back(t);
  }
  return triangles;
}

TEST(MeshSampler, GouraudColoursAndCoverageMatchTheExactTriangles) {
  AppContext context;
  const PixelRect area{-3, 2, 61, 70};
  std::vector<Tri> triangles = RandomTriangles(7, 40, 64, 40);
  // A large one (its planes are set up on shifted coordinates), a thin one
  // and one with a steep colour change.
  triangles.push_back(Tri{{Vertex(-200000, -3000, 255, 0, 10), Vertex(900000, 4000, 0, 255, 30),
                           Vertex(1000, 400000, 20, 40, 250)}});
  triangles.push_back(Tri{{Vertex(0, 600, 0, 0, 0), Vertex(16000, 1000, 255, 255, 255), Vertex(30, 17000, 0, 255, 0)}});
  triangles.push_back(Tri{{Vertex(2000, 2000, 0, 0, 0), Vertex(2600, 2000, 255, 0, 0), Vertex(2000, 9000, 0, 0, 255)}});
  for (size_t n = 0; n < triangles.size(); ++n) {
    SCOPED_TRACE(n);
    const std::vector<Tri> one{triangles[n]};
    ExpectMatchesReference(PaintEachAlone(context, area, one), one, 1.0);
  }
}

TEST(MeshSampler, SharedEdgesLeaveNeitherGapsNorOverlaps) {
  AppContext context;
  const PixelRect area{0, 0, 40, 40};
  // A square split along its diagonal, corners off and on pixel centres.
  for (const int32_t corner : {300, 384, 128, 257}) {
    const int32_t far = corner + 30 * 256;
    const MeshVertex a = Vertex(corner, corner, 0, 0, 0), b = Vertex(far, corner, 0, 0, 0),
                     c = Vertex(far, far, 0, 0, 0), d = Vertex(corner, far, 0, 0, 0);
    const Picture p = PaintEachAlone(context, area, {Tri{{a, b, c}}, Tri{{a, c, d}}});
    for (int32_t y = 0; y < 40; ++y) {
      for (int32_t x = 0; x < 40; ++x) {
        const bool inside = x * 256 + 128 >= corner && x * 256 + 128 < far && y * 256 + 128 >= corner &&
                            y * 256 + 128 < far;
        EXPECT_EQ(p.paints[p.Index(x, y)], inside ? 1 : 0) << corner << ": " << x << "," << y;
      }
    }
  }
  // Fans around a point of a convex polygon: every pixel whose centre is
  // inside the polygon is painted once, whatever its neighbours' rounding.
  std::mt19937 random(3);
  for (int round = 0; round < 6; ++round) {
    const int32_t cx = 20 * 256 + (round % 2 == 0 ? 128 : int32_t(random() % 256));
    const int32_t cy = 20 * 256 + (round % 3 == 0 ? 128 : int32_t(random() % 256));
    const int spokes = 5 + round * 3;
    std::vector<MeshVertex> rim;
    for (int s = 0; s < spokes; ++s) {
      const double angle = 2 * M_PI * s / spokes + round;
      rim.push_back(Vertex(cx + int32_t(std::lround(4000 * std::cos(angle))),
                           cy + int32_t(std::lround(4000 * std::sin(angle))), 0, 0, 0));
    }
    std::vector<Tri> fan;
    const MeshVertex centre = Vertex(cx, cy, 0, 0, 0);
    for (int s = 0; s < spokes; ++s) fan.push_back(Tri{{centre, rim[s], rim[(s + 1) % spokes]}});
    const Picture p = PaintEachAlone(context, area, fan);
    for (int32_t y = 0; y < 40; ++y) {
      for (int32_t x = 0; x < 40; ++x) {
        int expected = 0;
        for (const Tri& t : fan) expected += CentreInside(t, x, y) ? 1 : 0;
        EXPECT_LE(expected, 1);
        EXPECT_EQ(p.paints[p.Index(x, y)], expected) << x << "," << y;
        // Near the centre every pixel belongs to one of the fan.
        if (std::abs(x - 20) < 8 && std::abs(y - 20) < 8) {
          EXPECT_EQ(expected, 1) << x << "," << y;
        }
      }
    }
  }
  // Degenerate triangles paint nothing.
  const MeshVertex dot = Vertex(640, 640, 9, 9, 9);
  const Tri collinear{{Vertex(128, 128, 9, 9, 9), Vertex(2688, 2688, 9, 9, 9), Vertex(5248, 5248, 9, 9, 9)}};
  const Picture none = PaintEachAlone(context, area, {collinear, Tri{{dot, dot, dot}}});
  EXPECT_EQ(std::count(none.paints.begin(), none.paints.end(), 0), long(none.paints.size()));
}

TEST(MeshSampler, BatchesGiveTheSamePixelsAsOneReferencePaint) {
  AppContext context;
  const PixelRect area{0, 0, 72, 56};
  const std::vector<Tri> triangles = RandomTriangles(11, int(MeshShadeSampler::kBatchTriangles) * 2 + 300, 72, 24);
  Picture picture(area);
  MeshShadeSampler sampler(context, nullptr, area, 255);
  EXPECT_TRUE(sampler.Empty());
  int batches = 0;
  for (const Tri& t : triangles) {
    if (sampler.Full()) {
      picture.Paint(sampler);
      sampler.Clear();
      EXPECT_TRUE(sampler.Empty());
      ++batches;
    }
    sampler.Triangle(t.v[0], t.v[1], t.v[2]);
  }
  picture.Paint(sampler);
  EXPECT_GE(batches, 1);
  ExpectMatchesReference(picture, triangles, 1.0);
  // A row asked again, out of order, in other runs, gives the same pixels.
  std::vector<uint8_t> rgb(90 * 3), covered(90);
  for (const int32_t y : {40, 3, 40, 55}) {
    sampler.ShadeRun(-10, y, 50, rgb.data(), covered.data());
    sampler.ShadeRun(40, y, 40, rgb.data() + 150, covered.data() + 50);
    EXPECT_EQ(covered[0], 0);  // left of the area
    // The last batch alone covers some of the row; what it covers is its own.
    for (int32_t x = 0; x < 70; ++x) {
      if (covered[x + 10] == 0) continue;
      const size_t i = picture.Index(x, y);
      EXPECT_EQ(std::vector<uint8_t>(&rgb[3 * (x + 10)], &rgb[3 * (x + 10)] + 3),
                std::vector<uint8_t>(&picture.rgb[3 * i], &picture.rgb[3 * i] + 3));
    }
  }
}

TEST(MeshSampler, ExtremeCoordinatesNeitherOverflowNorLoseTheArea) {
  AppContext context;
  const PixelRect area{-40, -40, 40, 40};
  const int32_t lo = INT32_MIN, hi = INT32_MAX;
  const std::vector<Tri> cases = {
      Tri{{Vertex(lo, lo, 0, 0, 0), Vertex(hi, lo, 255, 0, 0), Vertex(0, hi, 0, 0, 255)}},
      Tri{{Vertex(lo, hi, 255, 255, 255), Vertex(hi, hi, 0, 255, 0), Vertex(hi, lo, 255, 0, 255)}},
      // Slivers from far away through the area.
      Tri{{Vertex(lo, 0, 0, 0, 0), Vertex(hi, 2560, 255, 255, 255), Vertex(hi, 2600, 255, 0, 0)}},
      Tri{{Vertex(-2000, -2000, 0, 0, 0), Vertex(hi, hi, 255, 255, 255), Vertex(hi - 1000000, hi, 0, 0, 255)}},
  };
  for (size_t n = 0; n < cases.size(); ++n) {
    SCOPED_TRACE(n);
    const std::vector<Tri> one{cases[n]};
    // The plane of a triangle millions of pixels wide is set up on coarser
    // coordinates: still within a step or two of the exact colour.
    ExpectMatchesReference(PaintEachAlone(context, area, one), one, n < 2 ? 2.0 : 255.0);
  }
  // A patch spanning the whole coordinate range covers the area.
  MeshPatch patch;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      patch.p[i][j] = MeshPoint{i == 0 ? lo : i == 3 ? hi : (i == 1 ? lo / 3 : hi / 3),
                                j == 0 ? lo : j == 3 ? hi : (j == 1 ? hi : lo)};
    }
  }
  FillCoonsInnerPoints(patch);
  MeshShadeSampler whole(context, nullptr, area, 255);
  TessellatePatch(patch, whole);
  Picture covered(area);
  covered.Paint(whole);
  EXPECT_EQ(std::count(covered.covered.begin(), covered.covered.end(), 255), long(covered.covered.size()));
  // Entirely off the area: nothing held.
  MeshShadeSampler sampler(context, nullptr, area, 255);
  sampler.Triangle(Vertex(hi - 10, hi - 10, 0, 0, 0), Vertex(hi, hi - 10, 0, 0, 0), Vertex(hi, hi, 0, 0, 0));
  EXPECT_TRUE(sampler.Empty());
  EXPECT_TRUE(sampler.Bounds().Empty());
}

TEST(MeshSampler, PaintsThroughTheMarkChainOnlyWhereItsTrianglesLie) {
  AppContext context;
  const PixelRect area{0, 0, 40, 30};
  const std::vector<Tri> triangles = RandomTriangles(19, 40, 40, 20);
  // What the triangles give, by runs.
  Picture shaded(area);
  {
    MeshShadeSampler sampler(context, nullptr, area, 255);
    for (const Tri& t : triangles) sampler.Triangle(t.v[0], t.v[1], t.v[2]);
    shaded.Paint(sampler);
  }
  EXPECT_GT(std::count(shaded.covered.begin(), shaded.covered.end(), 255), 150);
  for (const uint8_t alpha : {uint8_t{255}, uint8_t{128}}) {
    std::vector<uint8_t> page(40 * 30 * 3);
    for (size_t i = 0; i < page.size(); i += 3) {
      page[i] = 30;  // B, G, R
      page[i + 1] = 200;
      page[i + 2] = 10;
    }
    const std::vector<uint8_t> before = page;
    FastPixelBufferRasterPainter pagePainter(LERGBBuffer(page.data(), 0, 0, 40, 30, 40 * 3));
    RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(pagePainter);
    Scoped<MeshShadeSampler> sampler(context, context, nullptr, area, alpha);
    for (const Tri& t : triangles) sampler->Triangle(t.v[0], t.v[1], t.v[2]);
    RasterPainterImpl<MeshShadeSampler> samplerIn(*sampler);
    RectangleRasterPainter everywhere(area);
    RasterPainterImpl<RectangleRasterPainter> everywhereIn(everywhere);
    Scoped<MarkChain> mark(context, context, everywhereIn, pageIn, everywhereIn, samplerIn);
    WorkCounter work(context);
    PaintRows(work, mark->Painter(), sampler->Bounds());
    for (int32_t y = 0; y < 30; ++y) {
      for (int32_t x = 0; x < 40; ++x) {
        const size_t i = shaded.Index(x, y);
        for (int k = 0; k < 3; ++k) {
          const int under = before[3 * i + 2 - k], painted = page[3 * i + 2 - k];
          const double expected =
              shaded.covered[i] != 0 ? (shaded.rgb[3 * i + k] * alpha + under * (255.0 - alpha)) / 255 : under;
          EXPECT_NEAR(painted, expected, 1.5) << int(alpha) << ": " << x << "," << y;
        }
      }
    }
  }
}

// A table whose colour at each step spells the step.
struct StepColours final : SmoothShadeFunction {
  void Shade(Fixed16_16 t, uint8_t* rgb) const override {
    const int32_t step = t >> 16;
    rgb[0] = uint8_t(step & 255);
    rgb[1] = uint8_t(step >> 8);
    rgb[2] = 7;
  }
};

TEST(MeshSampler, TableChannelIsTheNearestStepClamped) {
  AppContext context;
  ShadeColorTable table(context);
  table.Fill(StepColours(), 0, Fixed16_16(kShadeSteps - 1) << 16);
  const PixelRect area{0, 0, 64, 64};
  MeshShadeSampler sampler(context, &table, area, 255);
  // Channel 0 runs from below the first step to past the last.
  Tri t{{Vertex(0, 0, -100, 0, 0), Vertex(64 * 256, 0, 1500, 0, 0), Vertex(0, 64 * 256, 400, 0, 0)}};
  sampler.Triangle(t.v[0], t.v[1], t.v[2]);
  std::vector<uint8_t> rgb(64 * 3), covered(64);
  int clampedLow = 0, clampedHigh = 0;
  for (int32_t y = 0; y < 64; ++y) {
    sampler.ShadeRun(0, y, 64, rgb.data(), covered.data());
    for (int32_t x = 0; x < 64; ++x) {
      ASSERT_EQ(covered[x] != 0, CentreInside(t, x, y));
      if (covered[x] == 0) continue;
      const double exact = std::clamp(Interpolated(t, 0, x, y), 0.0, double(kShadeSteps - 1));
      const int step = rgb[3 * x] + 256 * rgb[3 * x + 1];
      EXPECT_LE(std::abs(step - exact), 0.5 + 1e-6) << x << "," << y;
      EXPECT_EQ(rgb[3 * x + 2], 7);
      clampedLow += step == 0;
      clampedHigh += step == int(kShadeSteps - 1);
    }
  }
  EXPECT_GT(clampedLow, 0);
  EXPECT_GT(clampedHigh, 0);
}

// ---- patches

MeshPoint Point(double x, double y) {
  return MeshPoint{int32_t(std::lround(x * kUnit)), int32_t(std::lround(y * kUnit))};
}

double Bernstein(int i, double t) {
  const double s = 1 - t;
  switch (i) {
    case 0: return s * s * s;
    case 1: return 3 * t * s * s;
    case 2: return 3 * t * t * s;
    default: return t * t * t;
  }
}

// S(u, v) in pixels.
void Surface(const MeshPatch& patch, double u, double v, double& x, double& y) {
  x = y = 0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const double w = Bernstein(i, u) * Bernstein(j, v);
      x += w * patch.p[i][j].x / kUnit;
      y += w * patch.p[i][j].y / kUnit;
    }
  }
}

// Corner colours that spell (u, v): channel 0 is u, channel 1 is v (times 2^30).
constexpr double kSpelledOne = 1 << 30;

MeshPatch PatchSpellingUV() {
  MeshPatch patch;
  const Fixed16_16 one = 1 << 30;
  const Fixed16_16 corners[4][2] = {{0, 0}, {0, one}, {one, one}, {one, 0}};
  for (int c = 0; c < 4; ++c) {
    patch.color[c][0] = corners[c][0];
    patch.color[c][1] = corners[c][1];
  }
  return patch;
}

struct RecordingSink final : MeshTriangleSink {
  void Triangle(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) override {
    triangles.push_back(Tri{{a, b, c}});
  }
  std::vector<Tri> triangles;
};

// Each vertex against the exact surface at the (u, v) its colour spells;
// returns the longest triangle side in pixels.
double ExpectOnSurface(const MeshPatch& patch, const std::vector<Tri>& triangles) {
  double longest = 0, worst = 0;
  for (const Tri& t : triangles) {
    for (int k = 0; k < 3; ++k) {
      const double u = t.v[k].c[0] / kSpelledOne, v = t.v[k].c[1] / kSpelledOne;
      double x, y;
      Surface(patch, u, v, x, y);
      worst = std::max(worst, std::hypot(x - t.v[k].p.x / kUnit, y - t.v[k].p.y / kUnit));
      const MeshPoint& q = t.v[(k + 1) % 3].p;
      longest = std::max(longest, std::hypot(double(q.x) - t.v[k].p.x, double(q.y) - t.v[k].p.y) / kUnit);
    }
  }
  EXPECT_LE(worst, 1.0 / 16);
  return longest;
}

TEST(PatchTessellation, GridPointsLieOnTheExactSurface) {
  // A curved patch some 120 pixels wide, a twisted one, a tiny one and one
  // larger than the division cap allows.
  MeshPatch curved = PatchSpellingUV();
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      curved.p[i][j] = Point(10 + 40 * i + 7 * std::sin(j * 1.3), 20 + 30 * j + 9 * std::cos(i * 0.7 + j));
    }
  }
  RecordingSink sink;
  TessellatePatch(curved, sink);
  EXPECT_LE(ExpectOnSurface(curved, sink.triangles), 8.0);
  EXPECT_GT(sink.triangles.size(), 200u);

  // Arbitrary corner colours on the same grid: each vertex takes the
  // bilinear colour at its (u, v).
  MeshPatch coloured = curved;
  const Fixed16_16 corners[4][3] = {{0, 255 << 16, 40 << 16}, {200 << 16, 0, 10 << 16}, {90 << 16, 30 << 16, 255 << 16},
                                    {17 << 16, 250 << 16, 0}};
  std::copy(&corners[0][0], &corners[0][0] + 12, &coloured.color[0][0]);
  RecordingSink colouredSink;
  TessellatePatch(coloured, colouredSink);
  ASSERT_EQ(colouredSink.triangles.size(), sink.triangles.size());
  for (size_t n = 0; n < sink.triangles.size(); ++n) {
    for (int k = 0; k < 3; ++k) {
      const double u = sink.triangles[n].v[k].c[0] / kSpelledOne, v = sink.triangles[n].v[k].c[1] / kSpelledOne;
      for (int c = 0; c < 3; ++c) {
        const double expected = ((1 - u) * (1 - v) * corners[0][c] + (1 - u) * v * corners[1][c] +
                                 u * v * corners[2][c] + u * (1 - v) * corners[3][c]) /
                                65536;
        EXPECT_NEAR(colouredSink.triangles[n].v[k].c[c] / 65536.0, expected, 1.0 / 256);
      }
    }
  }

  // Rows come in increasing v: where a patch folds, larger v paints last.
  MeshPatch flat = PatchSpellingUV();
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) flat.p[i][j] = Point(10 + 13.0 * i, 10 + 10.0 * j);
  }
  RecordingSink flatSink;
  TessellatePatch(flat, flatSink);
  double lastV = 0;
  for (const Tri& t : flatSink.triangles) {
    const double lowestV = std::min({t.v[0].c[1], t.v[1].c[1], t.v[2].c[1]}) / kSpelledOne;
    EXPECT_GE(lowestV, lastV);
    lastV = lowestV;
  }
  EXPECT_GT(lastV, 0.5);

  MeshPatch twisted = curved;
  std::swap(twisted.p[3][0], twisted.p[3][3]);
  sink.triangles.clear();
  TessellatePatch(twisted, sink);
  ExpectOnSurface(twisted, sink.triangles);

  MeshPatch tiny = PatchSpellingUV();
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) tiny.p[i][j] = Point(5 + 0.2 * i, 5 + 0.25 * j);
  }
  sink.triangles.clear();
  TessellatePatch(tiny, sink);
  EXPECT_EQ(sink.triangles.size(), 2u);
  ExpectOnSurface(tiny, sink.triangles);

  MeshPatch huge = PatchSpellingUV();
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) huge.p[i][j] = Point(-8000000 + 5000000.0 * i, -8000000 + 5000000.0 * j + i);
  }
  sink.triangles.clear();
  TessellatePatch(huge, sink);
  EXPECT_EQ(sink.triangles.size(), 2u * 64 * 64);
  ExpectOnSurface(huge, sink.triangles);
}

TEST(PatchTessellation, APatchShrunkToAPointPaintsNothing) {
  AppContext context;
  const PixelRect area{0, 0, 40, 40};
  MeshPatch point = PatchSpellingUV();
  for (auto& row : point.p) {
    for (auto& p : row) p = Point(20.5, 20.5);
  }
  MeshShadeSampler dot(context, nullptr, area, 255);
  TessellatePatch(point, dot);
  EXPECT_TRUE(dot.Empty());  // every triangle without area
  Picture nothing(area);
  nothing.Paint(dot);
  EXPECT_EQ(std::count(nothing.covered.begin(), nothing.covered.end(), 0), long(nothing.covered.size()));
}

// The grid rows strictly inside a patch (its divisions in v, less one).
size_t InnerRows(const RecordingSink& sink) {
  std::vector<Fixed16_16> rows;
  for (const Tri& t : sink.triangles) {
    for (const MeshVertex& v : t.v) {
      if (v.c[0] > 0 && v.c[0] < (1 << 30) && v.c[1] > 0 && v.c[1] < (1 << 30)) rows.push_back(v.c[1]);
    }
  }
  std::sort(rows.begin(), rows.end());
  return size_t(std::unique(rows.begin(), rows.end()) - rows.begin());
}

TEST(PatchTessellation, NeighboursWithOtherDivisionsLeaveNoPixelOutAlongTheirBorder) {
  AppContext context;
  const PixelRect area{0, 0, 400, 200};
  std::mt19937 random(1);
  std::uniform_real_distribution<double> bend(-20, 20), width(6, 150);
  int divisionsDiffered = 0;
  for (int round = 0; round < 40; ++round) {
    // Left and right of a shared border that bows; their far borders bow
    // outwards more or less, so their divisions in v differ.
    MeshPatch left = PatchSpellingUV(), right = PatchSpellingUV();
    const double wl = width(random), wr = width(random), b1 = bend(random), b2 = bend(random);
    const double farLeft = -std::abs(bend(random)) * 3, farRight = std::abs(bend(random)) * 3;
    for (int j = 0; j < 4; ++j) {
      const bool inner = j == 1 || j == 2;
      const double y = 10 + 60 * j, shared = 200 + (j == 1 ? b1 : j == 2 ? b2 : 0);
      for (int i = 0; i < 4; ++i) {
        left.p[i][j] = Point(200 - wl + (shared - 200 + wl) * i / 3.0 + (i == 0 && inner ? farLeft : 0), y);
        right.p[i][j] = Point(shared + (200 + wr - shared) * i / 3.0 + (i == 3 && inner ? farRight : 0), y);
      }
      right.p[0][j] = left.p[3][j];
    }
    RecordingSink l, r;
    TessellatePatch(left, l);
    TessellatePatch(right, r);
    divisionsDiffered += InnerRows(l) != InnerRows(r);
    MeshShadeSampler sampler(context, nullptr, area, 255);
    TessellatePatch(left, sampler);
    TessellatePatch(right, sampler);
    Picture picture(area);
    picture.Paint(sampler);
    // Every pixel within two pixels of the shared border (from just below
    // its top to just above its bottom) is covered.
    for (int32_t y = 11; y < 189; ++y) {
      // The border's y runs evenly from 10 to 190.
      const double t = (y + 0.5 - 10) / 180;
      double bx = 0;
      for (int j = 0; j < 4; ++j) bx += Bernstein(j, t) * left.p[3][j].x / kUnit;
      for (int32_t x = int32_t(bx) - 2; x <= int32_t(bx) + 2; ++x) {
        EXPECT_EQ(picture.covered[picture.Index(x, y)], 255) << round << ": " << x << "," << y;
      }
    }
  }
  EXPECT_GT(divisionsDiffered, 20);
}

TEST(PatchTessellation, ALatticeOfPatchesAgreesWithCairosMeshPattern) {
  AppContext context;
  constexpr int kWidth = 180, kHeight = 150, kGrid = 3;
  const PixelRect area{0, 0, kWidth, kHeight};
  std::mt19937 random(9);
  std::uniform_real_distribution<double> bow(-8, 8), inner(-15, 15);
  std::uniform_int_distribution<int> channel(0, 255);
  // Lattice points and bows shared by neighbours; the outer borders are the
  // area's edges. Odd patches are tensor patches with inner points of their
  // own, even ones Coons patches.
  const double w = double(kWidth) / kGrid, h = double(kHeight) / kGrid;
  double bowU[kGrid + 1][kGrid][2], bowV[kGrid][kGrid + 1][2];
  Fixed16_16 colour[kGrid + 1][kGrid + 1][3];
  for (int i = 0; i <= kGrid; ++i) {
    for (int j = 0; j <= kGrid; ++j) {
      for (int k = 0; k < 2; ++k) {
        if (j < kGrid) bowU[i][j][k] = i == 0 || i == kGrid ? 0 : bow(random);
        if (i < kGrid) bowV[i][j][k] = j == 0 || j == kGrid ? 0 : bow(random);
      }
      for (auto& c : colour[i][j]) c = channel(random) << 16;
    }
  }
  std::vector<MeshPatch> patches;
  for (int pj = 0; pj < kGrid; ++pj) {
    for (int pi = 0; pi < kGrid; ++pi) {
      MeshPatch patch;
      for (int t = 0; t < 4; ++t) {
        // Borders u = 0, 1 at x = (pi + side) w bowed in x; v = 0, 1 at
        // y = (pj + side) h bowed in y (their inner control points).
        const double inside = t == 1 || t == 2 ? 1 : 0;
        const int k = t == 2 ? 1 : 0;
        for (int side = 0; side < 2; ++side) {
          patch.p[3 * side][t] = Point((pi + side) * w + inside * bowU[pi + side][pj][k], pj * h + t * h / 3);
          patch.p[t][3 * side] = Point(pi * w + t * w / 3, (pj + side) * h + inside * bowV[pi][pj + side][k]);
        }
      }
      FillCoonsInnerPoints(patch);
      if ((pi + pj) % 2 == 1) {
        for (int i = 1; i < 3; ++i) {
          for (int j = 1; j < 3; ++j) {
            patch.p[i][j].x += int32_t(inner(random) * kUnit);
            patch.p[i][j].y += int32_t(inner(random) * kUnit);
          }
        }
      }
      const int corners[4][2] = {{pi, pj}, {pi, pj + 1}, {pi + 1, pj + 1}, {pi + 1, pj}};
      for (int c = 0; c < 4; ++c) std::copy_n(colour[corners[c][0]][corners[c][1]], 3, patch.color[c]);
      patches.push_back(patch);
    }
  }
  Picture ours(area);
  MeshShadeSampler sampler(context, nullptr, area, 255);
  for (const MeshPatch& patch : patches) TessellatePatch(patch, sampler);
  ours.Paint(sampler);

  cairo_pattern_t* mesh = cairo_pattern_create_mesh();
  const auto x = [](const MeshPoint& p) { return p.x / kUnit; };
  const auto y = [](const MeshPoint& p) { return p.y / kUnit; };
  for (const MeshPatch& patch : patches) {
    // Corners 0 .. 3 at (u, v) = (0, 0), (0, 1), (1, 1), (1, 0), as our colours.
    const auto& p = patch.p;
    cairo_mesh_pattern_begin_patch(mesh);
    cairo_mesh_pattern_move_to(mesh, x(p[0][0]), y(p[0][0]));
    cairo_mesh_pattern_curve_to(mesh, x(p[0][1]), y(p[0][1]), x(p[0][2]), y(p[0][2]), x(p[0][3]), y(p[0][3]));
    cairo_mesh_pattern_curve_to(mesh, x(p[1][3]), y(p[1][3]), x(p[2][3]), y(p[2][3]), x(p[3][3]), y(p[3][3]));
    cairo_mesh_pattern_curve_to(mesh, x(p[3][2]), y(p[3][2]), x(p[3][1]), y(p[3][1]), x(p[3][0]), y(p[3][0]));
    cairo_mesh_pattern_curve_to(mesh, x(p[2][0]), y(p[2][0]), x(p[1][0]), y(p[1][0]), x(p[0][0]), y(p[0][0]));
    const MeshPoint* insides[4] = {&p[1][1], &p[1][2], &p[2][2], &p[2][1]};
    for (unsigned c = 0; c < 4; ++c) {
      cairo_mesh_pattern_set_control_point(mesh, c, x(*insides[c]), y(*insides[c]));
      cairo_mesh_pattern_set_corner_color_rgb(mesh, c, patch.color[c][0] / 16711680.0, patch.color[c][1] / 16711680.0,
                                              patch.color[c][2] / 16711680.0);
    }
    cairo_mesh_pattern_end_patch(mesh);
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source(cr, mesh);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const uint8_t* theirs = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  double sum = 0;
  int worst = 0;
  for (int32_t py = 0; py < kHeight; ++py) {
    for (int32_t px = 0; px < kWidth; ++px) {
      const size_t i = ours.Index(px, py);
      EXPECT_EQ(ours.covered[i], 255) << px << "," << py;
      for (int k = 0; k < 3; ++k) {  // cairo's pixel is B, G, R, x
        const int diff = std::abs(int(ours.rgb[3 * i + k]) - theirs[py * stride + 4 * px + 2 - k]);
        sum += diff;
        worst = std::max(worst, diff);
      }
    }
  }
  cairo_surface_destroy(surface);
  cairo_pattern_destroy(mesh);
  EXPECT_LT(sum / (3.0 * kWidth * kHeight), 1.0);
  EXPECT_LE(worst, 6);
}

// The Coons surface of the twelve border points, in pixels.
void CoonsSurface(const MeshPatch& patch, double u, double v, double& x, double& y) {
  const auto curve = [&](const MeshPoint* const p[4], double t, double& cx, double& cy) {
    cx = cy = 0;
    for (int i = 0; i < 4; ++i) {
      cx += Bernstein(i, t) * p[i]->x / kUnit;
      cy += Bernstein(i, t) * p[i]->y / kUnit;
    }
  };
  const auto& p = patch.p;
  const MeshPoint* const v0[4] = {&p[0][0], &p[1][0], &p[2][0], &p[3][0]};
  const MeshPoint* const v1[4] = {&p[0][3], &p[1][3], &p[2][3], &p[3][3]};
  const MeshPoint* const u0[4] = {&p[0][0], &p[0][1], &p[0][2], &p[0][3]};
  const MeshPoint* const u1[4] = {&p[3][0], &p[3][1], &p[3][2], &p[3][3]};
  double ax, ay, bx, by, cx, cy, dx, dy;
  curve(v0, u, ax, ay);
  curve(v1, u, bx, by);
  curve(u0, v, cx, cy);
  curve(u1, v, dx, dy);
  const auto corner = [&](int i, int j, double w, double& sx, double& sy) {
    sx += w * p[i][j].x / kUnit;
    sy += w * p[i][j].y / kUnit;
  };
  double bx2 = 0, by2 = 0;
  corner(0, 0, (1 - u) * (1 - v), bx2, by2);
  corner(0, 3, (1 - u) * v, bx2, by2);
  corner(3, 3, u * v, bx2, by2);
  corner(3, 0, u * (1 - v), bx2, by2);
  x = (1 - v) * ax + v * bx + (1 - u) * cx + u * dx - bx2;
  y = (1 - v) * ay + v * by + (1 - u) * cy + u * dy - by2;
}

TEST(PatchTessellation, CoonsInnerPointsGiveTheCoonsSurface) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> jitter(-30, 30);
  for (int round = 0; round < 20; ++round) {
    MeshPatch patch;
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) patch.p[i][j] = Point(100 * i + jitter(random), 100 * j + jitter(random));
    }
    FillCoonsInnerPoints(patch);
    for (double u = 0; u <= 1; u += 0.125) {
      for (double v = 0; v <= 1; v += 0.125) {
        double tx, ty, cx, cy;
        Surface(patch, u, v, tx, ty);
        CoonsSurface(patch, u, v, cx, cy);
        EXPECT_NEAR(tx, cx, 1.0 / 64);
        EXPECT_NEAR(ty, cy, 1.0 / 64);
      }
    }
  }
}

}  // namespace
}  // namespace vn::im
