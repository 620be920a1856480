// Glyph names and encodings of simple fonts: the named encodings, the
// glyph-name list, the standard fonts' names and built-in widths.
#pragma once

#include <cstdint>

namespace vn::pdf::text {

// A glyph name: bytes and length (names from the file are not copied).
struct GlyphName {
  const char* bytes;
  uint32_t length;
  bool Empty() const { return length == 0; }
};

enum class NamedEncoding : uint8_t {
  kNone,
  kStandard,
  kMacRoman,
  kWinAnsi,  // also "PDFDocEncoding"
  kMacExpert,
  kSymbol,        // the built-in encodings of two standard fonts
  kZapfDingbats,
};

// The encoding an "Encoding" (or "BaseEncoding") name selects; kNone for
// other names.
NamedEncoding EncodingFromName(const uint8_t* name, uint32_t length);
// The glyph name of `code` in `encoding` (empty for unused codes).
GlyphName EncodingGlyphName(NamedEncoding encoding, uint8_t code);
// The Unicode table of an encoding that has one (MacRoman, WinAnsi,
// MacExpert), else null.
const uint16_t* EncodingUnicodeTable(NamedEncoding encoding);

// The Unicode value of a glyph name through the glyph-name list (0 when the
// name is not in it).
uint16_t GlyphNameToUnicode(GlyphName name);

// The standard fonts: 0-3 Courier, 4-7 Helvetica, 8-11 Times (regular,
// bold, italic/oblique, bold italic), 12 Symbol, 13 ZapfDingbats; 14 for any
// other name. The Windows names of the Latin faces ("Arial,Bold") count.
inline constexpr int32_t kNotStandardFont = 14;
int32_t StandardFontIndex(const uint8_t* name, uint32_t length);
// The built-in encoding of a standard font: StandardEncoding for the Latin
// faces, their own for Symbol and ZapfDingbats.
NamedEncoding StandardFontEncoding(int32_t index);
// The advance width of glyph `name` in standard font `index`, in 1/1000 em
// (-1 when the font has no such glyph).
int32_t StandardFontWidth(int32_t index, GlyphName name);

}  // namespace vn::pdf::text
