// Simple fonts (Type1, MMType1, TrueType): the embedded program, the code ->
// glyph table and the widths.
#include <cstring>

#include "pdf/text/font_dictionary.h"
#include "pdf/text/font_substitution.h"
#include "pdf/text/pdf_font.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;

namespace {

// The glyph of a name in a name-keyed program: ".notdef" (or glyph 0) when
// the program lacks it.
uint32_t NamedGlyph(fonts::Font& program, GlyphName name) {
  int32_t glyph = name.Empty() ? -1 : program.FindGlyph(name.bytes, name.length);
  if (glyph < 0) glyph = program.FindGlyph(".notdef", 7);
  return glyph < 0 ? 0 : static_cast<uint32_t>(glyph);
}

// The MacRoman code of a glyph name, or -1.
int32_t MacRomanCode(GlyphName name) {
  for (uint32_t code = 0; code < 256; ++code) {
    const GlyphName entry = EncodingGlyphName(NamedEncoding::kMacRoman, static_cast<uint8_t>(code));
    if (entry.length == name.length && std::memcmp(entry.bytes, name.bytes, name.length) == 0) {
      return static_cast<int32_t>(code);
    }
  }
  return -1;
}

// A TrueType glyph by the rules for simple TrueType fonts: a named code
// through its Unicode value and the (3,1) table, its MacRoman code and the
// (1,0) table, then the "post" names; a symbolic font's code through the
// (3,0) table (at c, 0xF000 + c, 0xF100 + c or 0xF200 + c) or the (1,0)
// table directly.
uint32_t TrueTypeGlyph(fonts::Font& program, uint8_t code, GlyphName name, bool useName) {
  using fonts::CmapSubtable;
  int32_t glyph = 0;
  if (useName && !name.Empty()) {
    const uint16_t unicode = GlyphNameToUnicode(name);
    if (unicode != 0) glyph = program.CmapLookup(CmapSubtable::kWindowsUnicode, unicode);
    if (glyph <= 0) {
      const int32_t mac = MacRomanCode(name);
      if (mac >= 0) glyph = program.CmapLookup(CmapSubtable::kMacRoman, static_cast<uint32_t>(mac));
    }
    if (glyph <= 0) glyph = program.FindGlyph(name.bytes, name.length);
    if (glyph > 0) return static_cast<uint32_t>(glyph);
  }
  static const uint32_t kSymbolOffsets[] = {0, 0xF000, 0xF100, 0xF200};
  for (uint32_t offset : kSymbolOffsets) {
    glyph = program.CmapLookup(CmapSubtable::kWindowsSymbol, offset + code);
    if (glyph != 0) break;  // found, or no (3,0) table at all
  }
  if (glyph <= 0) glyph = program.CmapLookup(CmapSubtable::kMacRoman, code);
  if (glyph <= 0 && !useName) glyph = program.CmapLookup(CmapSubtable::kWindowsUnicode, code);
  return glyph > 0 ? static_cast<uint32_t>(glyph) : 0;
}

}  // namespace

TrueTypeOrType1PDFFont::TrueTypeOrType1PDFFont(document::ObjectResolver& resolver, const ResolvedValue& font,
                                               FontType type)
    : NormalPDFFont(resolver.Context(), type) {
  AppContext& context = resolver.Context();
  const int32_t standard = ReadBaseFont(context, font, baseFont_);

  ResolvedValue descriptor(context);
  GetResolved(resolver, font, "FontDescriptor", descriptor);
  const bool hasDescriptor = document::IsDictionary(descriptor.Get());
  if (hasDescriptor) {
    symbolic_ = ReadSymbolicFlag(context, descriptor);
    program_ = LoadEmbeddedProgram(resolver, descriptor, format_, false);
  } else {
    symbolic_ = standard == 12 || standard == 13;
  }
  NamedEncoding builtIn = StandardFontEncoding(standard);
  const char* const* programEncoding = nullptr;
  fonts::FauxFont* substitute = nullptr;
  if (program_ == nullptr) {
    substitute = MakeSubstitute(resolver, descriptor, baseFont_, standard);
    program_ = substitute;
  }
  // Until the font is built the program is this scope's: a damaged entry
  // below raises before the destructor could delete it.
  Owned<fonts::Font> programUntilBuilt(context, program_);
  if (substitute != nullptr) {
    substituteFace_ = fonts::BuiltInFaceName(substitute->Face());
    builtIn = SubstituteEncoding(substitute->Face());
  } else if (program_->Kind() == fonts::FontKind::kNameKeyed) {
    programEncoding = program_->BuiltInEncoding();
  }
  usable_ = true;

  // The code -> glyph name table.
  // 4 KB: on the heap, as fonts are made deep inside nested content.
  Owned<CodeNames> table(context, New<CodeNames>(context));
  CodeNames& names = *table;
  const bool encodingGiven = ReadEncoding(resolver, font, builtIn, programEncoding, names, encodingLabel_);

  const bool trueType = program_ != nullptr && program_->Kind() == fonts::FontKind::kGlyphIndex;
  const bool useNames = !symbolic_ || encodingGiven;
  for (uint32_t code = 0; code < 256; ++code) {
    const GlyphName name = names.names[code];
    glyphs_.glyphs[code] = substitute != nullptr ? SubstituteGlyph(*substitute, name)
                           : trueType            ? TrueTypeGlyph(*program_, static_cast<uint8_t>(code), name, useNames)
                                                 : NamedGlyph(*program_, name);
  }

  // Widths: the font's own (a substitute is stretched to them), else the
  // standard font's metrics, else the program's advances (a code the
  // substitute cannot draw gets none).
  if (ReadWidths(resolver, font, descriptor, glyphs_.widths)) {
    for (Fixed16_16& width : glyphs_.widths) width = ThousandthsToFixed(width);
    if (substitute != nullptr && standard == kNotStandardFont) WidenToWidths(*substitute, glyphs_.glyphs, glyphs_.widths);
  } else {
    for (uint32_t code = 0; code < 256; ++code) {
      const uint32_t glyph = glyphs_.glyphs[code];
      const int32_t standardWidth = substitute != nullptr ? StandardFontWidth(standard, names.names[code]) : -1;
      glyphs_.widths[code] = standardWidth >= 0                 ? ThousandthsToFixed(IntToFixed(standardWidth))
                             : substitute != nullptr && glyph == 0 ? 0
                                                                 : program_->TextSpaceAdvance(glyph);
    }
  }

  uint16_t unicode[256];
  for (uint32_t code = 0; code < 256; ++code) {
    unicode[code] = GlyphNameToUnicode(names.names[code]);
    if (unicode[code] == 0 && symbolic_ && trueType && !encodingGiven) unicode[code] = static_cast<uint16_t>(code);
  }
  toUnicode_.Set(NewSimpleToUnicodeMap(resolver, font, unicode));
  programUntilBuilt.Release();
}

}  // namespace vn::pdf::text
