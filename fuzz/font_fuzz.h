// Shared by the font-program targets: load one format's program from the
// input and use everything it offers (every glyph's outline under two
// matrices, advances, names, encodings, cmap tables, CID lookups), each call
// guarded on its own, as the glyph cache and the PDF font layer will.
#pragma once

#include "data_io/raw_data_store.h"
#include "fonts/font.h"
#include "fuzz/fuzz_context.h"
#include "runtime/engine_new.h"

namespace vn::fuzz {

class CountingSink final : public fonts::OutlineSink {
 public:
  void MoveTo(FixedPoint) override { ++points; }
  void LineTo(FixedPoint) override { ++points; }
  void CurveTo(FixedPoint, FixedPoint, FixedPoint) override { points += 3; }
  void Close() override {}
  uint64_t points = 0;
};

inline void ExerciseFont(AppContext& context, fonts::Font& font) {
  const uint32_t glyphs = font.GlyphCount() < 1000 ? font.GlyphCount() + 1 : 1000;
  const FixedMatrix matrices[] = {{12 << 16, 0, 0, 12 << 16, 3 << 15, 5 << 14},
                                  {0x7FFFFFF, 0x100000, -0x2000000, 0x7FFFFFF, 0x40000000, -0x40000000}};
  for (uint32_t g = 0; g < glyphs; ++g) {
    for (const FixedMatrix& m : matrices) {
      CountingSink sink;
      Guarded(context, [&] { font.AppendOutline(g, m, sink); });
    }
    Guarded(context, [&] { font.GlyphAdvance(g); });
  }
  Guarded(context, [&] {
    const char* const* names = font.GlyphNames();
    if (names != nullptr && font.GlyphCount() > 1 && names[1] != nullptr) {
      uint32_t length = 0;
      while (names[1][length] != '\0') ++length;
      font.FindGlyph(names[1], length);
    }
    font.FindGlyph("A", 1);
  });
  Guarded(context, [&] {
    const char* const* encoding = font.BuiltInEncoding();
    if (encoding != nullptr) {
      for (int c = 0; c < 256; ++c) {
        if (encoding[c] == nullptr) std::abort();
      }
    }
  });
  for (int selector = 0; selector < 4; ++selector) {
    uint16_t table[256];
    Guarded(context, [&] { font.CodeToGlyphTable(static_cast<fonts::EncodingSelector>(selector), selector & 1, table); });
  }
  Guarded(context, [&] {
    font.CmapLookup(fonts::CmapSubtable::kWindowsUnicode, 0x41);
    font.CmapLookup(fonts::CmapSubtable::kWindowsSymbol, 0xF041);
    font.CmapLookup(fonts::CmapSubtable::kMacRoman, 0x41);
    for (uint32_t cid = 0; cid < 70000; cid += 997) font.GlyphForCid(cid);
  });
  font.Footprint();
}

// Loads the input with `Program` (one of the parsers) and exercises it.
template <class Program>
void RunFontInput(const uint8_t* data, size_t size) {
  RunGuarded([&](AppContext& context) {
    Owned<data_io::DataStore> store(context, New<data_io::RawDataStore>(context, context, data, size));
    Owned<fonts::Font> font(context, New<Program>(context, context, store));
    ExerciseFont(context, *font);
  }, StrictLimits());
}

}  // namespace vn::fuzz
