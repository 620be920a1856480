// Page drawing on the heaviest vector page of the corpus (the page whose
// painted paths have the most points, with no text, images, shadings or
// patterns): the render consumer replaying the cached display list into a
// page buffer at 72 and 150 dpi (paths and path points per second), and, for
// a peer in the same run, the whole folio render process beside mutool draw
// on the same page.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "opened_document.h"
#include "pdf/content/dl_player.h"
#include "pdf/document/document.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "support/corpus.h"
#include "support/test_context.h"

namespace {

using vn::pdf::document::Document;

// Counts what a page's list would draw.
class Census final : public vn::pdf::content::DLConsumer {
 public:
  void PaintPath(const vn::pdf::content::DLPath& path, bool, bool stroke, int32_t, int32_t fill) override {
    if (fill == 2 && !stroke) return;
    ++paths;
    points += path.count;
  }
  void SetColorComponents(bool, const vn::Fixed16_16*, uint32_t, const vn::pdf::content::DLName* pattern,
                          int32_t) override {
    others += pattern != nullptr;
  }
  void ShowString(const uint8_t*, uint32_t, vn::FixedRect&) override { ++others; }
  void ShowArray(const vn::pdf::content::TextArrayElement*, uint32_t) override { ++others; }
  void DrawImageXObject(const vn::pdf::content::DLName&) override { ++others; }
  void DrawInlineImage(const vn::pdf::content::InlineImageData&) override { ++others; }
  void PaintShading(const vn::pdf::content::DLName&, const vn::pdf::document::ResolvedValue&) override { ++others; }
  uint32_t paths = 0, points = 0, others = 0;
};

struct VectorPage {
  std::string path;
  int32_t page = -1;
  uint32_t paths = 0;
  uint32_t points = 0;
};


const VectorPage& Heaviest() {
  static VectorPage best = [] {
    VectorPage h;
    for (const auto& file : vn::test::CorpusFiles()) {
      if (file.HasFeature("image-dct") || file.bytes > 20000000) continue;
      vn::AppContext context;
      vn::bench::OpenedDocument opened(context, file.path);
      if (!opened) continue;
      int32_t bestPage = -1;
      uint32_t bestPoints = h.points, bestPaths = 0;
      vn::test::RaisedCode(context, [&] {
        vn::Scoped<Document> doc(context, opened.Store());
        const int32_t count = doc->PageCount();
        for (int32_t page = 0; page < count && page < 400; ++page) {
          vn::Ref<vn::pdf::document::PageDisplayList> list(context);
          doc->GetPageDisplayList(list, page);
          Census census;
          vn::pdf::content::DLPlayer player(*list, census);
          player.Play();
          if (census.others == 0 && census.points > bestPoints && list->Errors().Size() == 0) {
            bestPage = page;
            bestPoints = census.points;
            bestPaths = census.paths;
          }
        }
      });
      if (bestPage >= 0) h = VectorPage{file.path, bestPage, bestPaths, bestPoints};
    }
    if (h.page >= 0) std::fprintf(stderr, "heaviest vector page: %s page %d, %u paths, %u points\n", h.path.c_str(), h.page + 1,
                                h.paths, h.points);
    return h;
  }();
  return best;
}

void BM_DrawVectorPage(benchmark::State& state) {
  const VectorPage& h = Heaviest();
  if (h.page < 0) return state.SkipWithError("no corpus");
  const auto dpi = static_cast<int32_t>(state.range(0));
  vn::AppContext context;
  vn::bench::OpenedDocument opened(context, h.path);
  vn::Scoped<Document> doc(context, opened.Store());
  vn::Scoped<vn::pdf::pdfcolor::DocumentColorSpaces> colors(context, doc->Resolver());
  vn::pdf::render::PageView view{};
  vn::test::RaisedCode(context, [&] {
    vn::pdf::document::ResolvedValue page(context);
    doc->Resolver().GetIndirectObject(vn::pdf::document::GetPageReference(doc->Resolver(), h.page), page);
    view = vn::pdf::render::MakePageView(context, vn::pdf::document::GetPageGeometry(doc->Resolver(), page), 0, dpi,
                                         72 * 65536);
  });
  std::vector<uint8_t> pixels(static_cast<size_t>(view.width) * view.height * 3);
  const vn::im::PixelBuffer surface = vn::im::LERGBBuffer(pixels.data(), 0, 0, view.width, view.height, view.width * 3);
  vn::pdf::render::DisplayEventIgnorer events;
  uint32_t painted = 0;
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), 255);
    vn::test::RaisedCode(context, [&] {
      vn::Scoped<vn::pdf::render::RenderConsumer> consumer(context, *doc, *colors, surface, view.pageToDevice, events);
      vn::Error error{nullptr, -1, false};
      vn::pdf::render::DrawPageContent(*consumer, *doc, h.page, error);
      painted = consumer->PaintedObjects();
    });
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["paths_per_s"] = benchmark::Counter(static_cast<double>(painted), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points_per_s"] = benchmark::Counter(static_cast<double>(h.points), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DrawVectorPage)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond);

std::string FolioBinary() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string exe(self, n > 0 ? static_cast<size_t>(n) : 0);
  return exe.substr(0, exe.find_last_of('/')) + "/../src/cli/folio";
}

// The whole process, file opening included, as a user runs it.
void RunProcess(benchmark::State& state, const std::string& command) {
  const VectorPage& h = Heaviest();
  if (h.page < 0) return state.SkipWithError("no corpus");
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError(command.c_str());
  }
}

void BM_FolioRenderProcess(benchmark::State& state) {
  const VectorPage& h = Heaviest();
  RunProcess(state, FolioBinary() + " render -r " + std::to_string(state.range(0)) + " -o /tmp/folio-bench.ppm '" +
                        h.path + "' " + std::to_string(h.page + 1) + " >/dev/null 2>&1");
}
BENCHMARK(BM_FolioRenderProcess)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MutoolDrawProcess(benchmark::State& state) {
  const VectorPage& h = Heaviest();
  RunProcess(state, "mutool draw -q -r " + std::to_string(state.range(0)) + " -o /tmp/mutool-bench.ppm '" + h.path +
                        "' " + std::to_string(h.page + 1) + " >/dev/null 2>&1");
}
BENCHMARK(BM_MutoolDrawProcess)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
