// Fonts that are not embedded: setting up a substitute (the built-in face's
// CFF parsed from static data and its per-glyph width table) beside FreeType
// opening the same face from its OpenType file in memory; and a letter-size
// page of text in four substituted fonts (the standard Helvetica and Times,
// and two fonts known only by their descriptors, stretched to their widths)
// drawn at 72 dpi, beside mutool draw on the same file.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "fonts/faux_font.h"
#include "runtime/engine_new.h"
#include "support/render_pages.h"
#include "support/test_context.h"

namespace {

void BM_FauxFontSetUp(benchmark::State& state) {
  vn::AppContext context;
  for (auto _ : state) {
    vn::test::RaisedCode(context, [&] {
      vn::Owned<vn::fonts::FauxFont> font(
          context, vn::New<vn::fonts::FauxFont>(context, context, vn::fonts::BuiltInFace::kSerif, 0u, 0));
      font->WidenGlyph(font->FindGlyph("A", 1), 800);  // the first name lookup indexes the names
      benchmark::DoNotOptimize(font.get());
    });
  }
}
BENCHMARK(BM_FauxFontSetUp)->Unit(benchmark::kMicrosecond);

void BM_FreeTypeOpenFace(benchmark::State& state) {
  std::ifstream in("/usr/share/fonts/opentype/urw-base35/NimbusRoman-Regular.otf", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return state.SkipWithError("fonts-urw-base35 is not installed");
  FT_Library library;
  FT_Init_FreeType(&library);
  for (auto _ : state) {
    FT_Face face;
    FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(bytes.data()), static_cast<FT_Long>(bytes.size()), 0,
                       &face);
    benchmark::DoNotOptimize(FT_Get_Name_Index(face, "A"));
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeOpenFace)->Unit(benchmark::kMicrosecond);

// 48 lines of 90 characters, in four fonts by turns.
const std::string& SubstitutedPage() {
  static const std::string pdf = [] {
    std::string widths = "[";
    for (int code = 32; code < 127; ++code) widths += code % 3 == 0 ? " 600" : " 520";
    widths += "]";
    std::string content = "BT /F1 9 Tf 40 760 Td 11 TL\n";
    for (int line = 0; line < 48; ++line) {
      content += "/F" + std::to_string(1 + line % 4) + " 9 Tf (";
      for (int i = 0; i < 90; ++i) content += static_cast<char>('A' + (line * 7 + i * 5) % 58);
      content += ") Tj T*\n";
    }
    content += "ET";
    for (char& c : content) {
      if (c == '\\' || c == '^' || c == '_' || c == '`' || c == '[' || c == ']') c = 'x';
    }
    return vn::test::OnePagePdf(
        content, "/Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R /F4 8 0 R >>",
        {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
         "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>",
         "<< /Type /Font /Subtype /TrueType /BaseFont /Georgia /FirstChar 32 /LastChar 126 /Widths " + widths +
             " /Encoding /WinAnsiEncoding /FontDescriptor 9 0 R >>",
         "<< /Type /Font /Subtype /TrueType /BaseFont /Verdana,Bold /FirstChar 32 /LastChar 126 /Widths " + widths +
             " /Encoding /WinAnsiEncoding /FontDescriptor 10 0 R >>",
         "<< /Type /FontDescriptor /FontName /Georgia /Flags 34 /StemV 80 /ItalicAngle 0 >>",
         "<< /Type /FontDescriptor /FontName /Verdana,Bold /Flags 32 /StemV 160 /ItalicAngle 0 >>"},
        "0 0 612 792");
  }();
  return pdf;
}

void BM_DrawSubstitutedPage(benchmark::State& state) {
  vn::AppContext context;
  for (auto _ : state) {
    const vn::test::Rendered page = vn::test::RenderPdf(context, SubstitutedPage());
    if (page.error != -1) return state.SkipWithError("the page did not draw");
    benchmark::DoNotOptimize(page.bgr.data());
  }
}
BENCHMARK(BM_DrawSubstitutedPage)->Unit(benchmark::kMillisecond);

void BM_MutoolDrawSubstitutedPage(benchmark::State& state) {
  const char* path = "/tmp/substitution-bench.pdf";
  std::ofstream(path, std::ios::binary) << SubstitutedPage();
  for (auto _ : state) {
    if (std::system("mutool draw -q -r 72 -o /tmp/substitution-bench.ppm /tmp/substitution-bench.pdf 1 >/dev/null 2>&1") !=
        0) {
      return state.SkipWithError("mutool draw failed");
    }
  }
}
BENCHMARK(BM_MutoolDrawSubstitutedPage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
