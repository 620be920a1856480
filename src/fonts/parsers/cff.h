// A CFF font program (bare, as FontFile3/Type1C and CIDFontType0C, or the
// "CFF " table of an OpenType font): name-keyed or CID-keyed, with Type 2
// charstrings.
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "fonts/font_data.h"
#include "fonts/parsers/cff_index.h"
#include "runtime/arena.h"

namespace vn::fonts::parsers {

class CFF final : public Font {
 public:
  // Reads the CFF data at [offset, offset + length) of the store (taken
  // over from `store`; the whole store when length is 0). Raises kBadData
  // for damaged or unsupported data.
  CFF(AppContext& context, Owned<data_io::DataStore>& store, uint32_t offset = 0, uint32_t length = 0);

  void AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) override;
  const FontInfo& Info() const override { return info_; }
  uint32_t GlyphCount() const override { return charStrings_.Count(); }
  const ScaledMatrix& FontMatrix() const override { return fontMatrix_; }
  FontKind Kind() const override { return cid_ ? FontKind::kCidKeyed : FontKind::kNameKeyed; }
  const char* const* GlyphNames() override;
  const char* const* BuiltInEncoding() override;
  uint32_t Footprint() const override;
  Fixed16_16 GlyphAdvance(uint32_t glyph) override;
  uint32_t GlyphForCid(uint32_t cid) override;

 private:
  // A Private DICT's values (one per font, one per FDArray entry when
  // CID-keyed) and the matrix of the glyphs that use it.
  struct PrivateValues {
    CffIndex subrs;
    Fixed16_16 defaultWidth;
    Fixed16_16 nominalWidth;
    ScaledMatrix matrix;
  };

  uint32_t At(uint32_t relative) const;
  void ReadTopDict(uint32_t start, uint32_t length);
  PrivateValues ReadPrivate(uint32_t size, uint32_t offset, const ScaledMatrix& matrix);
  void ReadFdArray(uint32_t fdArrayOffset);
  void ReadCharset(uint32_t charsetOffset);
  const PrivateValues& PrivateOf(uint32_t glyph);
  // Runs a glyph's charstring; a seac-style endchar draws its two parts
  // (one level only).
  Fixed16_16 RunGlyph(uint32_t glyph, OutlineWriter* writer, bool allowAccent);
  // The glyph whose charset entry is the StandardEncoding string of `code`.
  int32_t GlyphOfStandardCode(uint8_t code);
  const char* StringOf(uint32_t sid);

  FontData data_;
  uint32_t base_ = 0;  // file offset of the CFF data
  uint32_t end_ = 0;
  CffIndex strings_;
  CffIndex globalSubrs_;
  CffIndex charStrings_;
  bool cid_ = false;
  uint32_t encodingOffset_ = 0;  // 0 Standard, 1 Expert, else relative offset
  uint32_t fdSelectOffset_ = 0;
  EngineArray<uint16_t> charset_;  // glyph -> string id (CID when CID-keyed)
  EngineArray<PrivateValues> privates_;
  EngineArray<uint16_t> cidToGlyph_;     // built on first use
  EngineArray<const char*> names_;       // built on first use
  EngineArray<const char*> encoding_;    // built on first use
  Arena stringArena_;                  // NUL-terminated copies of custom strings
  ScaledMatrix fontMatrix_;
  FontInfo info_;
};

}  // namespace vn::fonts::parsers
