// TrueType hinting: hinted glyph outlines per second at 12 pixels per em,
// for DejaVu Sans and Liberation Serif (Debian's fonts-dejavu-core and
// fonts-liberation2), against FreeType's v35 interpreter (monochrome
// hinting target) on the same glyphs. Each pass loads the first 400 glyphs;
// both sides run the font's control-value program once, outside the loop.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

#include <vector>

#include "data_io/raw_data_store.h"
#include "fonts/hinting/glyph_hinter.h"
#include "fonts/recognise_font_file.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/corpus.h"

namespace {

constexpr uint32_t kGlyphs = 400;
const char* const kFonts[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                              "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf"};

void BM_HintedGlyphs_Ours(benchmark::State& state) {
  const std::vector<unsigned char> bytes = vn::test::ReadWholeFile(kFonts[state.range(0)]);
  if (bytes.empty()) return state.SkipWithError("font not installed");
  vn::AppContext context;
  vn::Owned<vn::fonts::Font> font(context, vn::fonts::MakeProgram(
      context, vn::New<vn::data_io::RawDataStore>(context, context, bytes.data(), bytes.size())));
  auto& program = static_cast<vn::fonts::parsers::TrueType&>(*font);
  vn::Owned<vn::fonts::hinting::GlyphHinter> hinter(
      context, vn::New<vn::fonts::hinting::GlyphHinter>(context, context, program));
  vn::fonts::hinting::HintingSize size;
  size.ppem = 12;
  hinter->SetSize(size);
  vn::Scoped<vn::fonts::hinting::HintedGlyph> glyph(context, context);
  const uint32_t count = program.GlyphCount() < kGlyphs ? program.GlyphCount() : kGlyphs;
  for (auto _ : state) {
    for (uint32_t g = 0; g < count; ++g) {
      hinter->Load(g, *glyph);
      benchmark::DoNotOptimize(glyph->points.Data());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
}

void BM_HintedGlyphs_FreeTypeV35(benchmark::State& state) {
  const std::vector<unsigned char> bytes = vn::test::ReadWholeFile(kFonts[state.range(0)]);
  if (bytes.empty()) return state.SkipWithError("font not installed");
  FT_Library library;
  FT_Init_FreeType(&library);
  FT_UInt version = TT_INTERPRETER_VERSION_35;
  FT_Property_Set(library, "truetype", "interpreter-version", &version);
  FT_Face face;
  FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face);
  FT_Set_Pixel_Sizes(face, 0, 12);
  const uint32_t count = face->num_glyphs < kGlyphs ? static_cast<uint32_t>(face->num_glyphs) : kGlyphs;
  for (auto _ : state) {
    for (uint32_t g = 0; g < count; ++g) {
      FT_Load_Glyph(face, g, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP | FT_LOAD_NO_AUTOHINT);
      benchmark::DoNotOptimize(face->glyph->outline.points);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * count);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}

}  // namespace

BENCHMARK(BM_HintedGlyphs_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_HintedGlyphs_FreeTypeV35)->Arg(0)->Arg(1);
