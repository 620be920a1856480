// Fill throughput of the path rasterizer (whole-mask rendering into a byte
// mask) against cairo's rasterizer filling the same path into an A8 surface,
// on four shapes: a page of small glyph-like curved shapes, one polygon of
// 10,000 edges, many small rectangles, and a full-page rectangle. Items are
// pixels of the page.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <random>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im_cairo_path.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace {

using vn::im::PathPoint;

constexpr int kWidth = 816, kHeight = 1056;  // a letter page at 96 dpi

struct Shape {
  std::vector<PathPoint> points;
  void Move(double x, double y) { Add(x, y, vn::im::kMoveTo); }
  void Line(double x, double y) { Add(x, y, vn::im::kLineTo); }
  void Curve(double x1, double y1, double x2, double y2, double x3, double y3) {
    Add(x1, y1, vn::im::kCurvePoint);
    Add(x2, y2, vn::im::kCurvePoint);
    Add(x3, y3, vn::im::kCurvePoint);
  }
  void Close() { Add(0, 0, vn::im::kClosePath); }
  void Add(double x, double y, uint32_t kind) {
    points.push_back(vn::im::PackPoint(static_cast<int32_t>(x * 65536), static_cast<int32_t>(y * 65536), kind));
  }
};

// An "o" (two opposite ellipses) and an "s"-like closed stroke, 9 x 12 px,
// over the page in lines.
Shape GlyphPage() {
  Shape s;
  const double k = 0.5523;
  for (double y = 20; y + 14 < kHeight; y += 16) {
    for (double x = 10; x + 10 < kWidth; x += 11) {
      const double cx = x + 4.5, cy = y + 6, rx = 4.3, ry = 5.8;
      const bool o = static_cast<int>(x + y) % 2 == 0;
      if (o) {
        for (int ring = 0; ring < 2; ++ring) {
          const double ax = ring == 0 ? rx : rx - 1.4, ay = ring == 0 ? ry : ry - 1.3;
          const double d = ring == 0 ? 1 : -1;  // inner ring reversed
          s.Move(cx + ax, cy);
          s.Curve(cx + ax, cy + d * k * ay, cx + k * ax, cy + d * ay, cx, cy + d * ay);
          s.Curve(cx - k * ax, cy + d * ay, cx - ax, cy + d * k * ay, cx - ax, cy);
          s.Curve(cx - ax, cy - d * k * ay, cx - k * ax, cy - d * ay, cx, cy - d * ay);
          s.Curve(cx + k * ax, cy - d * ay, cx + ax, cy - d * k * ay, cx + ax, cy);
          s.Close();
        }
      } else {
        s.Move(x + 8, y + 1.5);
        s.Curve(x + 3, y - 1, x - 1, y + 4, x + 4, y + 6.2);
        s.Curve(x + 9, y + 8.4, x + 6, y + 12.5, x + 0.5, y + 10.5);
        s.Line(x + 0.8, y + 11.8);
        s.Curve(x + 7, y + 14, x + 11, y + 8.5, x + 4.5, y + 5.6);
        s.Curve(x + 0.5, y + 3.8, x + 4, y + 0.5, x + 7.8, y + 2.9);
        s.Close();
      }
    }
  }
  return s;
}

// A star-like polygon of 10,000 edges (radius alternating 400 and 380 px).
Shape BigPolygon() {
  Shape s;
  for (int i = 0; i < 10000; ++i) {
    const double a = 2 * M_PI * i / 10000, r = i % 2 == 0 ? 400 : 380;
    const double x = kWidth / 2 + r * std::cos(a), y = kHeight / 2 + r * std::sin(a);
    if (i == 0) s.Move(x, y);
    else s.Line(x, y);
  }
  s.Close();
  return s;
}

// 6,000 rectangles of about 3 x 6 px at fractional positions.
Shape SmallRectangles() {
  Shape s;
  std::mt19937 random(3);
  for (int i = 0; i < 6000; ++i) {
    const double x = random() % (kWidth * 8 - 40) / 8.0, y = random() % (kHeight * 8 - 80) / 8.0;
    s.Move(x, y);
    s.Line(x + 3.125, y);
    s.Line(x + 3.125, y + 6.25);
    s.Line(x, y + 6.25);
    s.Close();
  }
  return s;
}

Shape FullPage() {
  Shape s;
  s.Move(0, 0);
  s.Line(kWidth, 0);
  s.Line(kWidth, kHeight);
  s.Line(0, kHeight);
  s.Close();
  return s;
}

const Shape& ShapeFor(int which) {
  static const Shape shapes[4] = {GlyphPage(), BigPolygon(), SmallRectangles(), FullPage()};
  return shapes[which];
}

void BM_FillFolio(benchmark::State& state) {
  const Shape& shape = ShapeFor(static_cast<int>(state.range(0)));
  vn::AppContext context;
  std::vector<uint8_t> mask(static_cast<size_t>(kWidth) * kHeight);
  const vn::im::PixelRect page{0, 0, kWidth, kHeight};
  const vn::im::Path path{shape.points.data(), static_cast<uint32_t>(shape.points.size())};
  for (auto _ : state) {
    vn::Scoped<vn::im::BezierRasterPainter> painter(context, context, path, vn::IdentityMatrix(), page,
                                                    vn::im::kNonZero);
    painter->RenderMask(page, mask.data(), kWidth);
    benchmark::DoNotOptimize(mask.data());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_FillCairo(benchmark::State& state) {
  const Shape& shape = ShapeFor(static_cast<int>(state.range(0)));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  for (auto _ : state) {
    vn::bench::AddPathToCairo(cr, shape.points);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Shapes(benchmark::internal::Benchmark* b) {
  b->ArgName("shape");
  for (int i = 0; i < 4; ++i) b->Arg(i);
}

}  // namespace

// shape 0: glyph page, 1: 10,000-edge polygon, 2: small rectangles, 3: full page.
BENCHMARK(BM_FillFolio)->Apply(Shapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillCairo)->Apply(Shapes)->Unit(benchmark::kMillisecond);
