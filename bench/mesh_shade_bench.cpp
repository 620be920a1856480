// Mesh shading at the imaging level: a letter page at 150 dpi covered by a
// 10 x 10 lattice of Coons patches with bowed borders and varied corner
// colours, tessellated and painted through the mark chain in batches
// (device pixels per second), beside cairo painting the same patches as a
// mesh pattern into an image surface. The whole-document mesh page and its
// peer are in shading_bench.cpp.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/mesh_shade.h"
#include "im/raster_compositing.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace {

constexpr int kMeshWidth = 1275, kMeshHeight = 1650, kMeshGrid = 10;  // a letter page at 150 dpi

vn::im::MeshPoint MeshPointAt(double x, double y) {
  return vn::im::MeshPoint{static_cast<int32_t>(std::lround(x * 256)), static_cast<int32_t>(std::lround(y * 256))};
}

// A 10 x 10 lattice of Coons patches over the page whose borders bow (each
// border's control points shared by the two patches it separates) and whose
// corner colours vary over the page.
std::vector<vn::im::MeshPatch> CoonsPage() {
  const double w = static_cast<double>(kMeshWidth) / kMeshGrid, h = static_cast<double>(kMeshHeight) / kMeshGrid;
  // The border point at parameter t in [0, 3] along a border from lattice
  // point (i, j), in u (along x) or in v (along y).
  const auto border = [&](int i, int j, int t, bool alongU) {
    const double x = i * w + (alongU ? t * w / 3 : 0), y = j * h + (alongU ? 0 : t * h / 3);
    const double bow = (t == 1 || t == 2) && i > 0 && j > 0 && i < kMeshGrid && j < kMeshGrid ? 12.0 : 0.0;
    return alongU ? MeshPointAt(x, y + bow * std::sin(i + 2.0 * j)) : MeshPointAt(x + bow * std::cos(2.0 * i + j), y);
  };
  const auto colour = [](int i, int j, int k) {
    return static_cast<vn::Fixed16_16>((static_cast<int>(128 + 127 * std::sin(i * 0.9 + j * 1.7 + k * 2.1))) << 16);
  };
  std::vector<vn::im::MeshPatch> patches;
  for (int j = 0; j < kMeshGrid; ++j) {
    for (int i = 0; i < kMeshGrid; ++i) {
      vn::im::MeshPatch patch;
      for (int t = 0; t < 4; ++t) {
        patch.p[t][0] = border(i, j, t, true);
        patch.p[t][3] = border(i, j + 1, t, true);
        patch.p[0][t] = border(i, j, t, false);
        patch.p[3][t] = border(i + 1, j, t, false);
      }
      vn::im::FillCoonsInnerPoints(patch);
      const int corners[4][2] = {{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}};
      for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < vn::im::kMeshChannels; ++k) patch.color[c][k] = colour(corners[c][0], corners[c][1], k);
      }
      patches.push_back(patch);
    }
  }
  return patches;
}

// Feeds the sampler and paints each full batch on the page through the
// mark chain, as a page's drawing does.
class MeshPagePainter final : public vn::im::MeshTriangleSink {
 public:
  MeshPagePainter(vn::AppContext& context, vn::im::MeshShadeSampler& sampler, vn::im::PainterInput& pageIn)
      : context_(context), sampler_(sampler), samplerIn_(sampler), pageIn_(pageIn), work_(context) {}
  void Triangle(const vn::im::MeshVertex& a, const vn::im::MeshVertex& b, const vn::im::MeshVertex& c) override {
    if (sampler_.Full()) Flush();
    sampler_.Triangle(a, b, c);
    ++triangles;
  }
  void Flush() {
    if (sampler_.Empty()) return;
    const vn::im::PixelRect bounds = sampler_.Bounds();
    vn::im::RectangleRasterPainter where(bounds);
    vn::im::RasterPainterImpl<vn::im::RectangleRasterPainter> whereIn(where);
    vn::Scoped<vn::im::MarkChain> mark(context_, context_, whereIn, pageIn_, whereIn, samplerIn_);
    vn::im::PaintRows(work_, mark->Painter(), bounds);
    sampler_.Clear();
  }
  int64_t triangles = 0;

 private:
  vn::AppContext& context_;
  vn::im::MeshShadeSampler& sampler_;
  vn::im::RasterPainterImpl<vn::im::MeshShadeSampler> samplerIn_;
  vn::im::PainterInput& pageIn_;
  vn::im::WorkCounter work_;
};

void BM_MeshPatchPage(benchmark::State& state) {
  const std::vector<vn::im::MeshPatch> patches = CoonsPage();
  std::vector<uint8_t> page(static_cast<size_t>(kMeshWidth) * kMeshHeight * 3);
  const vn::im::PixelRect area{0, 0, kMeshWidth, kMeshHeight};
  int64_t triangles = 0;
  for (auto _ : state) {
    vn::AppContext context;
    std::fill(page.begin(), page.end(), uint8_t{255});
    vn::im::FastPixelBufferRasterPainter pagePainter(
        vn::im::LERGBBuffer(page.data(), 0, 0, kMeshWidth, kMeshHeight, kMeshWidth * 3));
    vn::im::RasterPainterImpl<vn::im::FastPixelBufferRasterPainter> pageIn(pagePainter);
    vn::Scoped<vn::im::MeshShadeSampler> sampler(context, context, nullptr, area, 255);
    MeshPagePainter painter(context, *sampler, pageIn);
    for (const vn::im::MeshPatch& patch : patches) vn::im::TessellatePatch(patch, painter);
    painter.Flush();
    triangles = painter.triangles;
    benchmark::DoNotOptimize(page.data());
  }
  state.counters["triangles"] = static_cast<double>(triangles);
  state.counters["pixels_per_s"] = benchmark::Counter(static_cast<double>(kMeshWidth) * kMeshHeight,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MeshPatchPage)->Unit(benchmark::kMillisecond);

void BM_CairoMeshPatchPage(benchmark::State& state) {
  const std::vector<vn::im::MeshPatch> patches = CoonsPage();
  cairo_pattern_t* mesh = cairo_pattern_create_mesh();
  const auto at = [](const vn::im::MeshPoint& p, double& x, double& y) {
    x = p.x / 256.0;
    y = p.y / 256.0;
  };
  for (const vn::im::MeshPatch& patch : patches) {
    // Around the border from (u, v) = (0, 0): up u = 0, along v = 1, down
    // u = 1, back along v = 0; corners in the same order as the colours.
    const int path[12][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3}, {3, 3},
                             {3, 2}, {3, 1}, {3, 0}, {2, 0}, {1, 0}, {0, 0}};
    double x[3], y[3];
    cairo_mesh_pattern_begin_patch(mesh);
    at(patch.p[0][0], x[0], y[0]);
    cairo_mesh_pattern_move_to(mesh, x[0], y[0]);
    for (int side = 0; side < 4; ++side) {
      for (int k = 0; k < 3; ++k) at(patch.p[path[3 * side + k][0]][path[3 * side + k][1]], x[k], y[k]);
      cairo_mesh_pattern_curve_to(mesh, x[0], y[0], x[1], y[1], x[2], y[2]);
    }
    for (int c = 0; c < 4; ++c) {
      cairo_mesh_pattern_set_corner_color_rgb(mesh, static_cast<unsigned>(c), patch.color[c][0] / 16711680.0,
                                              patch.color[c][1] / 16711680.0, patch.color[c][2] / 16711680.0);
    }
    cairo_mesh_pattern_end_patch(mesh);
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kMeshWidth, kMeshHeight);
  for (auto _ : state) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source(cr, mesh);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_surface_destroy(surface);
  cairo_pattern_destroy(mesh);
  state.counters["pixels_per_s"] = benchmark::Counter(static_cast<double>(kMeshWidth) * kMeshHeight,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_CairoMeshPatchPage)->Unit(benchmark::kMillisecond);

}  // namespace
