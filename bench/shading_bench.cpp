// Shadings and patterns: a letter page filled by one axial shading, one by
// a radial shading (both extended, with a stitching function), and one by
// a tiling pattern of small cells, drawn at 150 dpi in process (device
// pixels per second), and, for a peer in the same run, the folio render
// process beside mutool draw on the same files. At the imaging level: a
// page of Coons patches tessellated and painted by the mesh sampler.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/mesh_shade.h"
#include "im/raster_compositing.h"
#include "runtime/engine_new.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace {

const char kFunction[] =
    "/Function << /FunctionType 3 /Domain [0 1] /Bounds [0.5] /Encode [0 1 0 1] /Functions ["
    "<< /FunctionType 2 /Domain [0 1] /C0 [0.9 0.1 0.1] /C1 [0.1 0.8 0.2] /N 1 >> "
    "<< /FunctionType 2 /Domain [0 1] /C0 [0.1 0.8 0.2] /C1 [0.1 0.2 0.9] /N 1 >>] >>";

std::string Page(int kind) {
  const std::string box = "0 0 612 792";
  switch (kind) {
    case 0:
      return vn::test::OnePagePdf("/Sh sh", "/Shading << /Sh 5 0 R >>",
                                  {std::string("<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [50 100 560 700] "
                                               "/Extend [true true] ") + kFunction + " >>"},
                                  box);
    case 1:
      return vn::test::OnePagePdf("/Sh sh", "/Shading << /Sh 5 0 R >>",
                                  {std::string("<< /ShadingType 3 /ColorSpace /DeviceRGB "
                                               "/Coords [250 350 20 306 396 400] /Extend [true true] ") +
                                       kFunction + " >>"},
                                  box);
    default:
      return vn::test::OnePagePdf(
          "/Pattern cs /P scn 0 0 612 792 re f", "/Pattern << /P 5 0 R >>",
          {vn::test::StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 12 12] /XStep 12 /YStep 12 "
                                  "/Resources << >>",
                                  "0.9 0.2 0.1 rg 0 0 6 6 re f 0.1 0.3 0.8 rg 6 6 6 6 re f 0 g 3 9 m 9 3 l S")},
          box);
  }
}

const char* const kNames[] = {"axial", "radial", "tiling"};

void BM_DrawShadingPage(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::string pdf = Page(kind);
  vn::test::RenderRequest request;
  request.dpi = 150;
  int64_t pixels = 0;
  for (auto _ : state) {
    vn::AppContext context;
    const vn::test::Rendered r = vn::test::RenderPdf(context, pdf, request);
    if (r.error != -1) return state.SkipWithError("drawing failed");
    pixels = static_cast<int64_t>(r.width) * r.height;
    benchmark::DoNotOptimize(r.bgr.data());
  }
  state.SetLabel(kNames[kind]);
  state.counters["pixels_per_s"] =
      benchmark::Counter(static_cast<double>(pixels), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DrawShadingPage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// ---- mesh shading at the imaging level

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

std::string FolioBinary() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string exe(self, n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.find_last_of('/')) + "/../src/cli/folio";
}

std::string PageFile(int kind) {
  const std::string path = "/tmp/folio-shading-bench-" + std::to_string(getpid()) + "-" + kNames[kind] + ".pdf";
  std::ofstream(path, std::ios::binary) << Page(kind);
  return path;
}

void RunProcess(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError(command.c_str());
  }
  state.SetLabel(kNames[state.range(0)]);
}

void BM_FolioRenderShadingProcess(benchmark::State& state) {
  const std::string file = PageFile(static_cast<int>(state.range(0)));
  RunProcess(state, FolioBinary() + " render -r 150 -o /tmp/folio-shading-bench.ppm '" + file + "' >/dev/null 2>&1");
  std::remove(file.c_str());
}
BENCHMARK(BM_FolioRenderShadingProcess)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MutoolDrawShadingProcess(benchmark::State& state) {
  const std::string file = PageFile(static_cast<int>(state.range(0)));
  RunProcess(state, "mutool draw -q -r 150 -o /tmp/mutool-shading-bench.ppm '" + file + "' >/dev/null 2>&1");
  std::remove(file.c_str());
}
BENCHMARK(BM_MutoolDrawShadingProcess)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
