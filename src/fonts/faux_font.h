// A substitute for a font whose program is missing: one of the built-in URW
// faces (builtin_fonts.h), chosen to look like the font its descriptor and
// name describe, with each glyph stretched horizontally to the width the PDF
// gives it, so that text keeps its layout.
//
// Glyph ids are the face's own: any glyph the face has can be drawn (its
// Latin, Greek and Cyrillic sets included). Small-capital and all-capital
// fonts draw lowercase glyphs from their capitals.
#pragma once

#include <cstdint>

#include "fonts/builtin_fonts.h"
#include "fonts/font.h"

namespace vn::fonts {

// What a PDF says about a font without a program.
struct FaceRequest {
  uint32_t flags = 0;        // descriptor Flags: 1 FixedPitch, 2 Serif, 64 Italic, 0x40000 ForceBold
  int32_t stemV = 0;         // 0: not given
  int32_t fontWeight = 0;    // 100..900, 0: not given
  int32_t italicAngle = 0;   // degrees
  const uint8_t* name = nullptr;  // BaseFont, subset tag included
  uint32_t nameLength = 0;
};

inline constexpr uint32_t kFixedPitchFlag = 1;
inline constexpr uint32_t kSerifFlag = 2;
inline constexpr uint32_t kItalicFlag = 64;
inline constexpr uint32_t kAllCapFlag = 0x10000;
inline constexpr uint32_t kSmallCapFlag = 0x20000;
inline constexpr uint32_t kForceBoldFlag = 0x40000;

// The Latin face nearest to the request: monospaced, serif or sans-serif by
// the flags and the name; bold when the weight (FontWeight, else StemV
// against the family's regular and bold stems, else ForceBold or the name)
// is nearer the bold face; italic by the angle, the flag or the name.
BuiltInFace ChooseFace(const FaceRequest& request);

class FauxFont final : public Font {
 public:
  // Sets up `face`; `flags` are the descriptor's (for the capital forms)
  // and `xHeight` its XHeight in 1/1000 em (0: the face's own).
  FauxFont(AppContext& context, BuiltInFace face, uint32_t flags, int32_t xHeight);
  ~FauxFont() override;

  BuiltInFace Face() const { return face_; }
  // Makes `glyph` at least `thousandths` of an em wide (the widest of the
  // codes that use it wins); glyphs without a target keep the face's width.
  void WidenGlyph(uint32_t glyph, uint32_t thousandths);

  void AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) override;
  const FontInfo& Info() const override { return master_->Info(); }
  uint32_t GlyphCount() const override { return master_->GlyphCount(); }
  const ScaledMatrix& FontMatrix() const override { return master_->FontMatrix(); }
  FontKind Kind() const override { return FontKind::kNameKeyed; }
  const char* const* GlyphNames() override { return master_->GlyphNames(); }
  const char* const* BuiltInEncoding() override { return master_->BuiltInEncoding(); }
  uint32_t Footprint() const override;
  Fixed16_16 GlyphAdvance(uint32_t glyph) override;

 private:
  // The glyph drawn for `glyph` (its capital in capital forms) and its
  // vertical scale.
  uint32_t SourceGlyph(uint32_t glyph, Fixed16_16& verticalScale) const;
  void MapCapitals();

  BuiltInFace face_;
  uint32_t flags_;
  Font* master_;                       // owned
  EngineArray<uint16_t> targetWidths_;  // per glyph, 1/1000 em; 0: the face's own
  EngineArray<uint16_t> capitals_;      // capital forms: glyph -> capital glyph + 1, 0 none
  Fixed16_16 smallCapScale_ = kFixedOne;  // lowercase height / capital height
};

}  // namespace vn::fonts
