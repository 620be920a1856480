#include "pdf/text/font_substitution.h"

#include <cstring>

#include "pdf/text/font_dictionary.h"
#include "pdf/text/text_tables.h"
#include "runtime/engine_new.h"

namespace vn::pdf::text {

using fonts::BuiltInFace;

namespace {

// Standard fonts 0..11 run regular, bold, italic, bold italic per family.
BuiltInFace StandardFace(int32_t standard) {
  if (standard == 12) return BuiltInFace::kSymbol;
  if (standard == 13) return BuiltInFace::kDingbats;
  const BuiltInFace family = standard < 4 ? BuiltInFace::kMono : standard < 8 ? BuiltInFace::kSans : BuiltInFace::kSerif;
  return fonts::StyledFace(family, (standard & 1) != 0, (standard & 2) != 0);
}

bool StartsWith(const char* name, const char* prefix) { return std::strncmp(name, prefix, std::strlen(prefix)) == 0; }

// The value of a "uniXXXX" name, or 0.
uint16_t UniNameValue(GlyphName name) {
  if (name.length != 7 || std::memcmp(name.bytes, "uni", 3) != 0) return 0;
  uint32_t value = 0;
  for (uint32_t i = 3; i < 7; ++i) {
    const char c = name.bytes[i];
    const int32_t digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return 0;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return static_cast<uint16_t>(value);
}

int32_t IntegerPart(AppContext& context, const document::ResolvedValue& descriptor, const char* key) {
  const document::Value value = document::DictionaryGet(context, descriptor.Get(), key);
  return document::IsNumber(value) ? FixedFloor(document::NumberToFixed(value)) : 0;
}

}  // namespace

fonts::FauxFont* MakeSubstitute(document::ObjectResolver& resolver, const document::ResolvedValue& descriptor,
                                const char* baseFont, int32_t standard) {
  AppContext& context = resolver.Context();
  const char* name = WithoutSubsetTag(baseFont);
  if (standard == kNotStandardFont) {
    // Variants of the two symbol fonts ("Symbol,Bold", "SymbolMT").
    if (StartsWith(name, "Symbol")) standard = 12;
    if (StartsWith(name, "ZapfDingbats") || StartsWith(name, "Dingbats")) standard = 13;
  }
  if (standard != kNotStandardFont) return New<fonts::FauxFont>(context, context, StandardFace(standard), 0u, 0);

  fonts::FaceRequest request;
  request.name = reinterpret_cast<const uint8_t*>(name);
  request.nameLength = static_cast<uint32_t>(std::strlen(name));
  int32_t xHeight = 0;
  if (document::IsDictionary(descriptor.Get())) {
    const document::Value flags = document::DictionaryGet(context, descriptor.Get(), "Flags");
    if (document::IsInteger(flags)) request.flags = static_cast<uint32_t>(document::IntegerOf(flags));
    request.stemV = IntegerPart(context, descriptor, "StemV");
    request.fontWeight = IntegerPart(context, descriptor, "FontWeight");
    request.italicAngle = IntegerPart(context, descriptor, "ItalicAngle");
    xHeight = IntegerPart(context, descriptor, "XHeight");
  }
  return New<fonts::FauxFont>(context, context, fonts::ChooseFace(request), request.flags, xHeight);
}

NamedEncoding SubstituteEncoding(BuiltInFace face) {
  if (face == BuiltInFace::kSymbol) return NamedEncoding::kSymbol;
  if (face == BuiltInFace::kDingbats) return NamedEncoding::kZapfDingbats;
  return NamedEncoding::kStandard;
}

uint32_t SubstituteGlyph(fonts::Font& face, GlyphName name) {
  if (name.Empty()) return 0;
  int32_t glyph = face.FindGlyph(name.bytes, name.length);
  if (glyph >= 0) return static_cast<uint32_t>(glyph);
  // The file may name the glyph otherwise than the face does ("afii10017"
  // for the face's "uni0410", or the other way round).
  uint16_t unicode = GlyphNameToUnicode(name);
  if (unicode == 0) unicode = UniNameValue(name);
  if (unicode == 0) return 0;
  static const char kHex[] = "0123456789ABCDEF";
  const char uniName[8] = {'u', 'n', 'i', kHex[unicode >> 12], kHex[(unicode >> 8) & 15], kHex[(unicode >> 4) & 15],
                           kHex[unicode & 15], 0};
  glyph = face.FindGlyph(uniName, 7);
  for (uint32_t i = 0; glyph < 0 && i < kGlyphListCount; ++i) {
    if (kGlyphList[i].unicode != unicode) continue;
    glyph = face.FindGlyph(kGlyphList[i].name, static_cast<uint32_t>(std::strlen(kGlyphList[i].name)));
  }
  return glyph < 0 ? 0 : static_cast<uint32_t>(glyph);
}

void WidenToWidths(fonts::FauxFont& substitute, const uint32_t (&glyphs)[256], const Fixed16_16 (&widths)[256]) {
  for (uint32_t code = 0; code < 256; ++code) {
    if (glyphs[code] == 0 || widths[code] <= 0) continue;
    const int64_t thousandths = (static_cast<int64_t>(widths[code]) * 1000 + 0x8000) >> 16;
    substitute.WidenGlyph(glyphs[code], static_cast<uint32_t>(thousandths));
  }
}

}  // namespace vn::pdf::text
