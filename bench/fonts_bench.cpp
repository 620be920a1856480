// Font programs: glyph outlines per second for one Type 1, one CFF and one
// TrueType font embedded in the corpus, against FreeType (unscaled,
// unhinted outlines walked with FT_Outline_Decompose) on the same fonts.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "data_io/raw_data_store.h"
#include "fonts/recognise_font_file.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/corpus.h"
#include "support/shell.h"

namespace {

using Bytes = std::vector<unsigned char>;

// One font of each format: {corpus file, object number, kind}.
struct Sample {
  const char* label;
  const char* pdf;
  const char* object;
  const char* kind;
};
const Sample kSamples[] = {
    {"type1", "deb__tl-games__Fontsizes.pdf", "20", "t1"},
    {"cff", "gen__gs_groff-man-groff_char.pdf", "62", "cff"},
    {"truetype", "pdfjs__mixedfonts.pdf", "12", "ttf"},
};

// The sample's bytes, extracted once into a scratch folder; empty without
// the corpus.
const Bytes& FontBytes(const Sample& sample) {
  static std::map<std::string, Bytes> cache;
  auto found = cache.find(sample.label);
  if (found != cache.end()) return found->second;
  Bytes& bytes = cache[sample.label];
  std::string corpus = vn::test::CorpusDir();
  if (corpus.empty()) return bytes;
  std::string dir = "/tmp/folio-fonts-bench";
  vn::test::RunShell("python3 " FOLIO_SOURCE_DIR "/tools/extract_fonts.py " + dir + " " + corpus + "/" + sample.pdf);
  bytes = vn::test::ReadWholeFile(dir + "/" + sample.pdf + "." + sample.object + "." + sample.kind);
  return bytes;
}

class CountingSink final : public vn::fonts::OutlineSink {
 public:
  void MoveTo(vn::FixedPoint) override { ++points; }
  void LineTo(vn::FixedPoint) override { ++points; }
  void CurveTo(vn::FixedPoint, vn::FixedPoint, vn::FixedPoint) override { points += 3; }
  void Close() override {}
  uint64_t points = 0;
};

void BM_GlyphOutlines(benchmark::State& state, const Sample* sample) {
  const Bytes& bytes = FontBytes(*sample);
  if (bytes.empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  vn::AppContext context;
  vn::Owned<vn::fonts::Font> font(
      context, vn::fonts::MakeProgram(context, vn::New<vn::data_io::RawDataStore>(context, context, bytes.data(), bytes.size())));
  if (!font) {
    state.SkipWithError("font refused");
    return;
  }
  const vn::FixedMatrix m{12 << 16, 0, 0, 12 << 16, 0, 0};
  CountingSink sink;
  for (auto _ : state) {
    for (uint32_t g = 0; g < font->GlyphCount(); ++g) font->AppendOutline(g, m, sink);
  }
  benchmark::DoNotOptimize(sink.points);
  state.SetItemsProcessed(state.iterations() * font->GlyphCount());
}

int Count(const FT_Vector*, void* user) {
  ++*static_cast<uint64_t*>(user);
  return 0;
}
int Count2(const FT_Vector*, const FT_Vector*, void* user) {
  *static_cast<uint64_t*>(user) += 2;
  return 0;
}
int Count3(const FT_Vector*, const FT_Vector*, const FT_Vector*, void* user) {
  *static_cast<uint64_t*>(user) += 3;
  return 0;
}

void BM_GlyphOutlinesFreeType(benchmark::State& state, const Sample* sample) {
  const Bytes& bytes = FontBytes(*sample);
  FT_Library library;
  FT_Face face;
  if (bytes.empty() || FT_Init_FreeType(&library) != 0) {
    state.SkipWithError("no corpus");
    return;
  }
  if (FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face) != 0) {
    state.SkipWithError("FreeType refuses the font");
    FT_Done_FreeType(library);
    return;
  }
  FT_Outline_Funcs funcs{Count, Count, Count2, Count3, 0, 0};
  uint64_t points = 0;
  for (auto _ : state) {
    for (FT_Long g = 0; g < face->num_glyphs; ++g) {
      if (FT_Load_Glyph(face, static_cast<FT_UInt>(g), FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0) {
        FT_Outline_Decompose(&face->glyph->outline, &funcs, &points);
      }
    }
  }
  benchmark::DoNotOptimize(points);
  state.SetItemsProcessed(state.iterations() * face->num_glyphs);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

BENCHMARK_CAPTURE(BM_GlyphOutlines, type1, &kSamples[0]);
BENCHMARK_CAPTURE(BM_GlyphOutlinesFreeType, type1, &kSamples[0]);
BENCHMARK_CAPTURE(BM_GlyphOutlines, cff, &kSamples[1]);
BENCHMARK_CAPTURE(BM_GlyphOutlinesFreeType, cff, &kSamples[1]);
BENCHMARK_CAPTURE(BM_GlyphOutlines, truetype, &kSamples[2]);
BENCHMARK_CAPTURE(BM_GlyphOutlinesFreeType, truetype, &kSamples[2]);

}  // namespace
