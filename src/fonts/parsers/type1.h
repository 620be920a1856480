// An embedded Type 1 font program (FontFile): the cleartext part gives the
// font matrix, bounding box and encoding; the eexec-encrypted part the
// Private dictionary's Subrs and the CharStrings. PFA (hexadecimal or
// binary eexec data) and PFB (segmented) layouts are both read.
//
// A name-keyed program like a name-keyed CFF: glyph ids index the
// CharStrings in file order, with ".notdef" moved to glyph 0.
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "fonts/parsers/type1_charstring.h"
#include "runtime/arena.h"
#include "runtime/engine_new.h"

namespace vn::data_io {
class DataStore;
}

namespace vn::fonts::parsers {

class Type1 final : public Font {
 public:
  // Reads the font in the store (taken over from `store`; only the
  // decrypted private part is kept). Raises kBadData for damaged data, a
  // font without CharStrings, or charstrings of another type.
  Type1(AppContext& context, Owned<data_io::DataStore>& store);

  void AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) override;
  const FontInfo& Info() const override { return info_; }
  uint32_t GlyphCount() const override { return glyphs_.Size(); }
  const ScaledMatrix& FontMatrix() const override { return fontMatrix_; }
  FontKind Kind() const override { return FontKind::kNameKeyed; }
  const char* const* GlyphNames() override { return names_.Data(); }
  const char* const* BuiltInEncoding() override { return encoding_.Data(); }
  uint32_t Footprint() const override;
  Fixed16_16 GlyphAdvance(uint32_t glyph) override;

 private:
  void ReadCleartext(const uint8_t* text, uint32_t length);
  void ReadPrivate();
  void ReadSubrs(uint32_t from);
  void ReadCharStrings(uint32_t from);
  const char* CopyName(const uint8_t* text, uint32_t length);
  Type1Program Program() const;
  Fixed16_16 RunGlyph(uint32_t glyph, OutlineWriter* writer, bool allowAccent);

  EngineArray<uint8_t> private_;  // the decrypted eexec part
  EngineArray<Type1Span> subrs_;
  EngineArray<Type1Span> glyphs_;
  EngineArray<const char*> names_;
  EngineArray<const char*> encoding_;  // 256 names
  Arena nameArena_;
  int32_t lenIV_ = 4;
  ScaledMatrix fontMatrix_;
  FontInfo info_;
};

}  // namespace vn::fonts::parsers
