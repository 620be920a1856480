// Text drawing on the densest text page of the corpus among files whose
// fonts are all embedded simple fonts (the first three pages of each file
// with the most shown glyph codes and no images or shadings): the render
// consumer drawing the page at 72 and 150 dpi in glyphs per second, with a
// cold font cache (the document opened for every drawing, so every font is
// made again, and with them their glyph caches: every glyph is rendered)
// and a warm one (the fonts and their cached glyph masks kept from the
// drawing before); and mutool draw on the same page beside it.
#include <benchmark/benchmark.h>

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

// Counts the glyph codes a page shows and what else it draws.
class TextCensus final : public vn::pdf::content::DLConsumer {
 public:
  void ShowString(const uint8_t*, uint32_t length, vn::FixedRect&) override { glyphs += length; }
  void ShowArray(const vn::pdf::content::TextArrayElement* elements, uint32_t count) override {
    for (uint32_t i = 0; i < count; ++i) glyphs += elements[i].bytes != nullptr ? elements[i].length : 0;
  }
  void DrawImageXObject(const vn::pdf::content::DLName&) override { ++others; }
  void DrawInlineImage(const vn::pdf::content::InlineImageData&) override { ++others; }
  void PaintShading(const vn::pdf::content::DLName&, const vn::pdf::document::ResolvedValue&) override { ++others; }
  uint32_t glyphs = 0, others = 0;
};

struct TextPage {
  std::string path;
  int32_t page = -1;
  uint32_t glyphs = 0;
};

const TextPage& Densest() {
  static TextPage best = [] {
    TextPage d;
    for (const auto& file : vn::test::CorpusFiles()) {
      const bool simpleEmbedded =
          file.HasFeature("font-type1") || file.HasFeature("font-truetype") || file.HasFeature("font-cff");
      const bool otherFonts = file.HasFeature("font-nonembedded") || file.HasFeature("font-cid-cff") ||
                              file.HasFeature("font-cid-truetype") || file.HasFeature("font-type3");
      if (!simpleEmbedded || otherFonts || file.HasFeature("broken") || file.encrypted != "none" ||
          file.bytes > 20000000) {
        continue;
      }
      vn::AppContext context;
      vn::bench::OpenedDocument opened(context, file.path);
      if (!opened) continue;
      // No std::string is built inside the guarded call: a raise would
      // long-jump over it.
      int32_t densestPage = -1;
      uint32_t densestGlyphs = d.glyphs;
      vn::test::RaisedCode(context, [&] {
        vn::Scoped<Document> doc(context, opened.Store());
        for (int32_t page = 0; page < doc->PageCount() && page < 3; ++page) {
          vn::Ref<vn::pdf::document::PageDisplayList> list(context);
          doc->GetPageDisplayList(list, page);
          TextCensus census;
          vn::pdf::content::DLPlayer player(*list, census);
          player.Play();
          if (census.others == 0 && census.glyphs > densestGlyphs && list->Errors().Size() == 0) {
            densestPage = page;
            densestGlyphs = census.glyphs;
          }
        }
      });
      if (densestPage >= 0) d = TextPage{file.path, densestPage, densestGlyphs};
    }
    if (d.page >= 0) std::fprintf(stderr, "densest text page: %s page %d, %u glyphs\n", d.path.c_str(), d.page + 1, d.glyphs);
    return d;
  }();
  return best;
}

void DrawTextPage(benchmark::State& state, bool coldFonts) {
  const TextPage& d = Densest();
  if (d.page < 0) return state.SkipWithError("no corpus");
  const auto dpi = static_cast<int32_t>(state.range(0));
  vn::AppContext context;
  vn::bench::OpenedDocument opened(context, d.path);
  vn::Owned<Document> doc(context, vn::New<Document>(context, opened.Store()));
  vn::Owned<vn::pdf::pdfcolor::DocumentColorSpaces> colors(
      context, vn::New<vn::pdf::pdfcolor::DocumentColorSpaces>(context, doc->Resolver()));
  vn::pdf::render::PageView view{};
  vn::test::RaisedCode(context, [&] {
    vn::pdf::document::ResolvedValue page(context);
    doc->Resolver().GetIndirectObject(vn::pdf::document::GetPageReference(doc->Resolver(), d.page), page);
    view = vn::pdf::render::MakePageView(context, vn::pdf::document::GetPageGeometry(doc->Resolver(), page), 0, dpi,
                                         72 * 65536);
  });
  std::vector<uint8_t> pixels(static_cast<size_t>(view.width) * view.height * 3);
  const vn::im::PixelBuffer surface = vn::im::LERGBBuffer(pixels.data(), 0, 0, view.width, view.height, view.width * 3);
  vn::pdf::render::DisplayEventIgnorer events;
  for (auto _ : state) {
    if (coldFonts) {
      state.PauseTiming();
      colors.Set(nullptr);
      doc.Set(vn::New<Document>(context, opened.Store()));
      colors.Set(vn::New<vn::pdf::pdfcolor::DocumentColorSpaces>(context, doc->Resolver()));
      // The display list is built once, outside the timing.
      vn::test::RaisedCode(context, [&] {
        vn::Ref<vn::pdf::document::PageDisplayList> list(context);
        doc->GetPageDisplayList(list, d.page);
        vn::pdf::content::DLConsumer nothing;
        vn::pdf::content::DLPlayer player(*list, nothing);
        player.Play();
      });
      state.ResumeTiming();
    }
    std::fill(pixels.begin(), pixels.end(), 255);
    vn::test::RaisedCode(context, [&] {
      vn::Scoped<vn::pdf::render::RenderConsumer> consumer(context, *doc, *colors, surface, view.pageToDevice, events);
      vn::Error error{nullptr, -1, false};
      vn::pdf::render::DrawPageContent(*consumer, *doc, d.page, error);
    });
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["glyphs_per_s"] =
      benchmark::Counter(static_cast<double>(d.glyphs), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DrawTextPageColdFonts(benchmark::State& state) { DrawTextPage(state, true); }
void BM_DrawTextPageWarmFonts(benchmark::State& state) { DrawTextPage(state, false); }
BENCHMARK(BM_DrawTextPageColdFonts)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawTextPageWarmFonts)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond);

void BM_MutoolDrawTextPage(benchmark::State& state) {
  const TextPage& d = Densest();
  if (d.page < 0) return state.SkipWithError("no corpus");
  const std::string command = "mutool draw -q -r " + std::to_string(state.range(0)) + " -o /tmp/mutool-text-bench.ppm '" +
                              d.path + "' " + std::to_string(d.page + 1) + " >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError("mutool draw failed");
  }
  state.counters["glyphs_per_s"] =
      benchmark::Counter(static_cast<double>(d.glyphs), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MutoolDrawTextPage)->Arg(72)->Arg(150)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
