// The TrueType instruction interpreter on arbitrary input. An input that
// starts like an sfnt file is loaded as a font and its glyphs are hinted at
// a few sizes (MPPEM past 255 included); any other input is cut into a font
// program, a control-value program, a glyph program, control values and a
// glyph's points, which run on the interpreter directly.
#include <cstring>

#include "data_io/raw_data_store.h"
#include "fonts/hinting/glyph_hinter.h"
#include "fuzz/fuzz_context.h"
#include "runtime/engine_new.h"

namespace vn::fuzz {
namespace {

bool LooksLikeSfnt(const uint8_t* data, size_t size) {
  return size >= 4 && (std::memcmp(data, "\0\1\0\0", 4) == 0 || std::memcmp(data, "true", 4) == 0);
}

void HintFont(const uint8_t* data, size_t size) {
  RunGuarded([&](AppContext& context) {
    Owned<data_io::DataStore> store(context, New<data_io::RawDataStore>(context, context, data, size));
    Owned<fonts::parsers::TrueType> font(context, New<fonts::parsers::TrueType>(context, context, store));
    Owned<fonts::hinting::GlyphHinter> hinter(context, New<fonts::hinting::GlyphHinter>(context, context, *font));
    Scoped<fonts::hinting::HintedGlyph> glyph(context, context);
    const uint32_t glyphs = font->GlyphCount() < 200 ? font->GlyphCount() : 200;
    for (int32_t ppem : {9, 16, 300}) {
      fonts::hinting::HintingSize size;
      size.ppem = ppem;
      Guarded(context, [&] { hinter->SetSize(size); });
      for (uint32_t g = 0; g < glyphs; ++g) Guarded(context, [&] { hinter->Load(g, *glyph); });
    }
  }, StrictLimits());
}

// Input layout: 8 bytes of limits and sizes, then three programs, each
// preceded by its length byte, then control values and points from what
// is left.
void RunPrograms(const uint8_t* data, size_t size) {
  if (size < 8) return;
  RunGuarded([&](AppContext& context) {
    const uint8_t* p = data + 8;
    const uint8_t* end = data + size;
    auto take = [&](uint32_t& length) {
      const uint8_t* start = p;
      length = p < end ? *p : 0;
      if (p < end) ++start;
      if (length > static_cast<uint32_t>(end - start)) length = static_cast<uint32_t>(end - start);
      p = start + length;
      return start;
    };
    fonts::hinting::FontPrograms programs;
    programs.maxStack = data[0];
    programs.maxStorage = data[1] & 31;
    programs.maxFunctionDefs = data[2] & 31;
    programs.maxInstructionDefs = data[3] & 7;
    programs.maxTwilightPoints = data[4] & 15;
    programs.fpgm = take(programs.fpgmLength);
    programs.prep = take(programs.prepLength);
    uint32_t glyphLength;
    const uint8_t* glyphCode = take(glyphLength);
    uint32_t rest = static_cast<uint32_t>(end - p);
    programs.cvt = p;
    programs.cvtLength = rest / 2 & ~1u;
    Scoped<fonts::hinting::Interpreter> interpreter(context, context, programs);
    interpreter->RunFontProgram();
    fonts::hinting::HintingSize size;
    size.ppem = data[5] + (data[6] & 1) * 256;
    size.scale = size.ppem * 64;
    interpreter->SetSize(size);
    // A glyph of up to 12 points in two contours, plus the phantom points.
    const uint32_t count = 4 + (data[7] & 7) + 4;
    fonts::hinting::Point26 cur[16], org[16], orus[16];
    uint8_t flags[16];
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t b = p + i < end ? p[i] : static_cast<uint8_t>(i * 37);
      orus[i] = fonts::hinting::Point26{b * 8, (b ^ 0x5A) * 8};
      org[i] = cur[i] = fonts::hinting::Point26{orus[i].x * 3, orus[i].y * 3};
      flags[i] = b & 1;
    }
    const uint32_t contours[2] = {1, count - 5};
    fonts::hinting::Zone zone{cur, org, orus, flags, count, contours, 2};
    interpreter->RunGlyphProgram(zone, glyphCode, glyphLength, 3 << 16);
  }, StrictLimits());
}

}  // namespace
}  // namespace vn::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (vn::fuzz::LooksLikeSfnt(data, size)) {
    vn::fuzz::HintFont(data, size);
  } else {
    vn::fuzz::RunPrograms(data, size);
  }
  return 0;
}
