// Shadings and patterns: a letter page filled by one axial shading, one by
// a radial shading (both extended, with a stitching function), and one by
// a tiling pattern of small cells, drawn at 150 dpi in process (device
// pixels per second), and, for a peer in the same run, the folio render
// process beside mutool draw on the same files.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

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
