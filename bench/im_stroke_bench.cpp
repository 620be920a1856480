// Stroking a 10,000-segment dashed polyline (a wandering line over a page,
// dash [6 3], width 1.5, round joins): the outline alone, and the whole
// stroke (outline and fill into a byte mask) against cairo stroking the same
// path into an A8 surface. And long solid curves (width 0.8) stroked and
// filled, against cairo.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im_cairo_path.h"
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

// Long curves of cubic pieces: 0, a spiral of 40 turns around the page's
// centre, ten cubics per turn; 1, 60 flat waves across the page (amplitude
// 2 px, wavelength 400 px, five cubics per wavelength), as plots draw them.
const std::vector<PathPoint>& Curves(int which) {
  static std::vector<PathPoint> points[2];
  std::vector<PathPoint>& p = points[which];
  if (!p.empty()) return p;
  auto add = [&](double x, double y, uint32_t kind) {
    p.push_back(vn::im::PackPoint(static_cast<int32_t>(x * 65536), static_cast<int32_t>(y * 65536), kind));
  };
  // Cubics through points of a curve given with its derivative, n per unit of t.
  auto trace = [&](auto at, double from, double to, int n) {
    const double step = (to - from) / n;
    double x, y, dx, dy;
    at(from, x, y, dx, dy);
    add(x, y, vn::im::kMoveTo);
    for (int i = 1; i <= n; ++i) {
      double x1, y1, dx1, dy1;
      at(from + i * step, x1, y1, dx1, dy1);
      add(x + step / 3 * dx, y + step / 3 * dy, vn::im::kCurvePoint);
      add(x1 - step / 3 * dx1, y1 - step / 3 * dy1, vn::im::kCurvePoint);
      add(x1, y1, vn::im::kCurvePoint);
      x = x1, y = y1, dx = dx1, dy = dy1;
    }
  };
  if (which == 0) {
    trace(
        [](double t, double& x, double& y, double& dx, double& dy) {
          const double r = 20 + 9.5 * t / (2 * M_PI), dr = 9.5 / (2 * M_PI);
          x = 408 + r * std::cos(t);
          y = 528 + r * std::sin(t);
          dx = dr * std::cos(t) - r * std::sin(t);
          dy = dr * std::sin(t) + r * std::cos(t);
        },
        0, 80 * M_PI, 400);
  } else {
    for (int line = 0; line < 60; ++line) {
      const double base = 30 + line * 16.5;
      trace(
          [base](double t, double& x, double& y, double& dx, double& dy) {
            x = t;
            y = base + 2 * std::sin(t * 2 * M_PI / 400);
            dx = 1;
            dy = 2 * 2 * M_PI / 400 * std::cos(t * 2 * M_PI / 400);
          },
          8, 808, 10);
    }
  }
  return p;
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

void BM_StrokeCurvesFolio(benchmark::State& state) {
  vn::AppContext context;
  const auto& points = Curves(static_cast<int>(state.range(0)));
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
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size() / 3));
}

void BM_StrokeCurvesCairo(benchmark::State& state) {
  const auto& points = Curves(static_cast<int>(state.range(0)));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_line_width(cr, 0xCCCC / 65536.0);
  for (auto _ : state) {
    vn::bench::AddPathToCairo(cr, points);
    cairo_stroke(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size() / 3));
}

}  // namespace

BENCHMARK(BM_StrokeOutlineFolio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeFolio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeCairo)->Unit(benchmark::kMillisecond);
// curves 0: spiral, 1: flat waves.
BENCHMARK(BM_StrokeCurvesFolio)->ArgName("curves")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrokeCurvesCairo)->ArgName("curves")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
