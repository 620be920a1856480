// What a PDF font tells the text drawer about each character code of a
// string: the glyph to draw, its advance, and whether it is a word space.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"

namespace vn::pdf::text {

struct GlyphStep {
  uint32_t glyph;    // in the font's program (or the Type 3 glyph number)
  Fixed16_16 width;  // horizontal advance in text space (1.0 = the font size)
  bool wordSpace;    // the single-byte code 32: word spacing applies
  // Vertical writing (composite fonts) only: the advance along the line
  // (w1: negative, the pen moves down), and the position vector from the
  // glyph's horizontal origin to its vertical origin, which the pen marks.
  Fixed16_16 verticalAdvance = 0;
  Fixed16_16 originX = 0;
  Fixed16_16 originY = 0;
};

class GlyphInfo {
 public:
  virtual ~GlyphInfo() = default;
  // Reads one character code at `cursor` (before `end`) and moves past it.
  virtual GlyphStep NextGlyph(const uint8_t*& cursor, const uint8_t* end) const = 0;
  // Vertical writing (composite fonts only).
  virtual bool Vertical() const { return false; }
  virtual uint32_t Footprint() const = 0;
};

// One byte per code: a glyph and a width for each of the 256 codes.
class SimpleGlyphInfo final : public GlyphInfo {
 public:
  GlyphStep NextGlyph(const uint8_t*& cursor, const uint8_t*) const override {
    const uint8_t code = *cursor++;
    return GlyphStep{glyphs[code], widths[code], code == 32, 0, 0, 0};
  }
  uint32_t Footprint() const override { return sizeof(*this); }

  uint32_t glyphs[256] = {};
  Fixed16_16 widths[256] = {};
};

}  // namespace vn::pdf::text
