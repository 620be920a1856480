// Stroking a 10,000-segment dashed polyline (a wandering line over a page,
// dash [6 3], width 1.5, round joins): the outline alone, and the whole
// stroke (outline and fill into a byte mask) against cairo stroking the same
// path into an A8 surface. And a long solid curve (a spiral of 400 cubic
// pieces, width 0.8) stroked and filled, against cairo.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/stroke.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace {

using vn::im::PathPoint;

constexpr int kWidth = 816, kHeight = 1056;

const std::vector<PathPoint>& Polyline() {
  static const std::vector<PathPoint> points = [] {
    std::vector<PathPoint> p;
    for (int i = 0; i <= 10000; ++i) {
      const double t = i * 0.01;
      const double x = 408 + 350 * std::sin(t * 1.3) * std::cos(t * 0.07);
      const double y = 528 + 480 * std::sin(t * 0.9 + 1) * std::sin(t * 0.05 + 0.3);
      p.push_back(vn::im::PackPoint(static_cast<int32_t>(x * 65536), static_cast<int32_t>(y * 65536),
                                    i == 0 ? vn::im::kMoveTo : vn::im::kLineTo));
    }
    return p;
  }();
  return points;
}

// A spiral of 40 turns around the page's centre, ten cubics per turn.
const std::vector<PathPoint>& Spiral() {
  static const std::vector<PathPoint> points = [] {
    std::vector<PathPoint> p;
    auto add = [&](double x, double y, uint32_t kind) {
      p.push_back(vn::im::PackPoint(static_cast<int32_t>(x * 65536), static_cast<int32_t>(y * 65536), kind));
    };
    const int pieces = 400;
    const double step = 2 * M_PI / 10, k = 4.0 / 3.0 * std::tan(step / 4);
    auto at = [](double t, double& x, double& y, double& dx, double& dy) {
      const double r = 20 + 9.5 * t / (2 * M_PI);
      x = 408 + r * std::cos(t);
      y = 528 + r * std::sin(t);
      dx = -r * std::sin(t);
      dy = r * std::cos(t);
    };
    double x, y, dx, dy;
    at(0, x, y, dx, dy);
    add(x, y, vn::im::kMoveTo);
    for (int i = 0; i < pieces; ++i) {
      double x1, y1, dx1, dy1;
      at((i + 1) * step, x1, y1, dx1, dy1);
      add(x + k * dx, y + k * dy, vn::im::kCurvePoint);
      add(x1 - k * dx1, y1 - k * dy1, vn::im::kCurvePoint);
      add(x1, y1, vn::im::kCurvePoint);
      x = x1, y = y1, dx = dx1, dy = dy1;
    }
    return p;
  }();
  return points;
}

vn::im::StrokeStyle Style() {
  static const vn::Fixed16_16 dash[2] = {6 << 16, 3 << 16};
  vn::im::StrokeStyle style;
  style.lineWidth = 0x18000;
  style.lineJoin = vn::im::kRoundJoin;
  style.dash = dash;
  style.dashCount = 2;
  return style;
}

void BM_StrokeOutlineFolio(benchmark::State& state) {
  vn::AppContext context;
  const auto& points = Polyline();
  const vn::im::Path path{points.data(), static_cast<uint32_t>(points.size())};
  for (auto _ : state) {
    vn::im::PathWriter outline(context);
    vn::FixedMatrix fill;
    vn::im::StrokeOutline(context, path, Style(), vn::IdentityMatrix(), vn::im::PixelRect{0, 0, kWidth, kHeight},
                          outline, fill);
    benchmark::DoNotOptimize(outline.Size());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_StrokeFolio(benchmark::State& state) {
  vn::AppContext context;
  const auto& points = Polyline();
  const vn::im::Path path{points.data(), static_cast<uint32_t>(points.size())};
  std::vector<uint8_t> mask(static_cast<size_t>(kWidth) * kHeight);
  const vn::im::PixelRect page{0, 0, kWidth, kHeight};
  for (auto _ : state) {
    vn::im::PathWriter outline(context);
    vn::FixedMatrix fill;
    vn::im::StrokeOutline(context, path, Style(), vn::IdentityMatrix(), page, outline, fill);
    vn::Scoped<vn::im::BezierRasterPainter> painter(context, context, outline.View(), fill, page, vn::im::kNonZero);
    painter->RenderMask(page, mask.data(), kWidth);
    benchmark::DoNotOptimize(mask.data());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_StrokeCairo(benchmark::State& state) {
  const auto& points = Polyline();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  const double dash[2] = {6, 3};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_set_line_width(cr, 1.5);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (auto _ : state) {
    for (size_t i = 0; i < points.size(); ++i) {
      const double x = vn::im::PointX(points[i]) / 65536.0, y = vn::im::PointY(points[i]) / 65536.0;
      if (i == 0) cairo_move_to(cr, x, y);
      else cairo_line_to(cr, x, y);
    }
    cairo_stroke(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_StrokeSpiralFolio(benchmark::State& state) {
  vn::AppContext context;
  const auto& points = Spiral();
  const vn::im::Path path{points.data(), static_cast<uint32_t>(points.size())};
  std::vector<uint8_t> mask(static_cast<size_t>(kWidth) * kHeight);
  const vn::im::PixelRect page{0, 0, kWidth, kHeight};
  vn::im::StrokeStyle style;
  style.lineWidth = 0xCCCC;
  for (auto _ : state) {
    vn::im::PathWriter outline(context);
    vn::FixedMatrix fill;
    vn::im::StrokeOutline(context, path, style, vn::IdentityMatrix(), page, outline, fill);
    vn::Scoped<vn::im::BezierRasterPainter> painter(context, context, outline.View(), fill, page, vn::im::kNonZero);
    painter->RenderMask(page, mask.data(), kWidth);
    benchmark::DoNotOptimize(mask.data());
  }
  state.SetItemsProcessed(state.iterations() * 400);
}

void BM_StrokeSpiralCairo(benchmark::State& state) {
  const auto& points = Spiral();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_line_width(cr, 0xCCCC / 65536.0);
  for (auto _ : state) {
    const double x0 = vn::im::PointX(points[0]) / 65536.0, y0 = vn::im::PointY(points[0]) / 65536.0;
    cairo_move_to(cr, x0, y0);
    for (size_t i = 1; i + 2 < points.size(); i += 3) {
      auto x = [&](size_t j) { return vn::im::PointX(points[j]) / 65536.0; };
      auto y = [&](size_t j) { return vn::im::PointY(points[j]) / 65536.0; };
      cairo_curve_to(cr, x(i), y(i), x(i + 1), y(i + 1), x(i + 2), y(i + 2));
    }
    cairo_stroke(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  state.SetItemsProcessed(state.iterations() * 400);
}

}  // namespace

BENCHMARK(BM_StrokeOutlineFolio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeFolio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeCairo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeSpiralFolio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeSpiralCairo)->Unit(benchmark::kMillisecond);
