// A TrueType font program (FontFile2, or an sfnt without a "CFF " table):
// outlines from "glyf"/"loca", advances from "hmtx", code -> glyph tables
// from "cmap" and glyph names from "post".
//
// The glyph loader keeps what the instruction interpreter will need: the
// raw "fpgm", "prep", "cvt " and "maxp" tables (Tables()) and each glyph's
// points in font units with its instructions (LoadOutline()).
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "fonts/font_data.h"
#include "fonts/parsers/truetype_glyph.h"
#include "fonts/sfnt_tables.h"
#include "runtime/arena.h"

namespace vn::fonts::hinting {
class GlyphHinter;
struct HintedGlyph;
}  // namespace vn::fonts::hinting

namespace vn::fonts::parsers {

class TrueType final : public Font {
 public:
  // The tables this program reads (absent ones have length 0).
  struct Tables {
    SfntTable head, hhea, hmtx, maxp, cmap, post, os2, glyf, loca, fpgm, prep, cvt;
  };

  // Reads the sfnt in the store (taken over from `store`). Raises kBadData
  // for an unknown sfnt version, a missing or damaged "head", "maxp",
  // "loca" or "glyf", or a "loca" that cannot hold the glyph count.
  TrueType(AppContext& context, Owned<data_io::DataStore>& store);
  ~TrueType() override;

  void AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) override;
  // Glyph caches draw hinted glyphs (truetype_hinting.cpp).
  void AppendCacheOutline(uint32_t glyph, const FixedMatrix& m, Owned<CacheState>& state, OutlineSink& sink) override;
  const FontInfo& Info() const override { return info_; }
  uint32_t GlyphCount() const override { return glyphTables_.glyphCount; }
  const ScaledMatrix& FontMatrix() const override { return fontMatrix_; }
  FontKind Kind() const override { return FontKind::kGlyphIndex; }
  // The "post" names (formats 1 and 2); null for other formats.
  const char* const* GlyphNames() override;
  void CodeToGlyphTable(EncodingSelector selector, bool symbolic, uint16_t* glyphs) override;
  // False when unitsPerEm lies outside 16..16384: such a font draws nothing.
  bool IsUsable() const override { return usable_; }
  uint32_t Footprint() const override;
  Fixed16_16 GlyphAdvance(uint32_t glyph) override;
  int32_t CmapLookup(CmapSubtable subtable, uint32_t code) override;

  // For the instruction interpreter.
  const Tables& FontTables() const { return tables_; }
  FontData& Data() { return data_; }
  // Glyph `glyph`'s points in font units, contours and instructions, placed
  // so that its left side bearing is the one "hmtx" gives (the origin is the
  // first phantom point, xMin - lsb).
  void LoadOutline(uint32_t glyph, TrueTypeOutline& outline);
  // One glyph record, its components not loaded (ReadTrueTypeGlyph).
  bool ReadGlyph(uint32_t glyph, TrueTypeGlyphHeader& header, TrueTypeOutline& outline,
                 EngineArray<TrueTypeComponent>& components) {
    return ReadTrueTypeGlyph(data_, glyphTables_, glyph, header, outline, components);
  }
  // "hmtx"'s left side bearing of a glyph, in font units.
  int32_t LeftSideBearing(uint32_t glyph);

 private:
  // Offsets of the three "cmap" subtables used (0: absent), read once.
  // The glyph hinter, made on first use; null when the font has no usable
  // instructions.
  hinting::GlyphHinter* Hinter();
  uint32_t HintingMemorySize() const;
  void FindCmapSubtables();
  uint32_t SubtableOffset(CmapSubtable subtable);
  uint32_t LookupInSubtable(uint32_t offset, uint32_t code);

  FontData data_;
  Tables tables_{};
  TrueTypeGlyphTables glyphTables_{};
  uint32_t metricsCount_ = 0;  // "hhea" numberOfHMetrics, checked against "hmtx"
  bool usable_ = true;
  bool cmapRead_ = false;
  uint32_t subtables_[3] = {0, 0, 0};
  TrueTypeOutline outline_;               // reused by every glyph drawn
  EngineArray<const char*> names_;        // built on first use
  Arena nameArena_;
  ScaledMatrix fontMatrix_;
  FontInfo info_;
  Owned<hinting::GlyphHinter> hinter_;
  Owned<hinting::HintedGlyph> hinted_;  // reused by every hinted glyph
  bool hinterTried_ = false;
  uint32_t sizeSerial_ = 0;  // numbers the caches' hinting sizes
  uint32_t loadedSize_ = 0;  // the one the hinter holds
};

}  // namespace vn::fonts::parsers
