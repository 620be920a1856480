// Making a simple PDF font from font dictionaries written in a test, and
// reading its glyphs and widths back.
#pragma once

#include <string>

#include "pdf/text/font_test_support.h"

namespace vn::test {

class PDFFontTest : public FontFromObjectsTest {
 protected:
  const pdf::text::SimpleGlyphInfo& Info() const {
    return static_cast<const pdf::text::SimpleGlyphInfo&>(font->Glyphs());
  }
  Fixed16_16 Width(uint8_t code) const { return Info().widths[code]; }
  uint32_t Glyph(uint8_t code) const { return Info().glyphs[code]; }
};

inline std::string FontFileObject(const std::string& key, const std::string& bytes) {
  return StreamObject(key == "FontFile2" ? "/Length1 " + std::to_string(bytes.size()) : "", bytes);
}

}  // namespace vn::test
