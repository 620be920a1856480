// Reading the entries that simple and Type 3 font dictionaries share:
// BaseFont, Encoding with Differences, and Widths.
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "pdf/document/object_resolver.h"
#include "pdf/text/encodings.h"

namespace vn::pdf::text {

// The format of an embedded program.
enum class ProgramFormat : uint8_t { kNone, kType1, kCff, kTrueType, kOpenType };

// Code -> glyph name (empty: none). Names point into static tables, the
// font program or the font dictionary, which outlive the table's use.
struct CodeNames {
  GlyphName names[256];
};

// Copies "BaseFont" (cut to 63 bytes; a subset tag "ABCDEF+" is kept) into
// `out` and returns its standard font index (encodings.h).
int32_t ReadBaseFont(AppContext& context, const document::ResolvedValue& font, char (&out)[64]);

// The name without a subset tag ("ABCDEF+").
inline const char* WithoutSubsetTag(const char* name) {
  for (uint32_t i = 0; i < 6; ++i) {
    if (name[i] < 'A' || name[i] > 'Z') return name;
  }
  return name[6] == '+' ? name + 7 : name;
}

// Fills `names` from "Encoding": a named encoding, or a dictionary with an
// optional "BaseEncoding" and "Differences"; without either the base is
// `programEncoding` (the program's own, when it has one) or `builtIn`.
// `label` receives the encoding's name for listings. Returns whether the
// dictionary gives an encoding (a known name or Differences). Raises
// kBadData for Differences that are not an array of numbers and names.
bool ReadEncoding(document::ObjectResolver& resolver, const document::ResolvedValue& font, NamedEncoding builtIn,
                  const char* const* programEncoding, CodeNames& names, const char*& label);

// The widths of "Widths" from "FirstChar" on, in the dictionary's units
// (read as far as the array and the code range go; non-numbers count as
// missing); other codes get the descriptor's "MissingWidth". Returns false
// (and leaves `widths` alone) when the font has no Widths array. Raises
// kBadData when FirstChar lies outside 0..255.
bool ReadWidths(document::ObjectResolver& resolver, const document::ResolvedValue& font,
                const document::ResolvedValue& descriptor, Fixed16_16 (&widths)[256]);

// A width in thousandths of an em as a fraction of the em, rounded (1000
// gives exactly 1.0).
inline Fixed16_16 ThousandthsToFixed(Fixed16_16 thousandths) {
  const int64_t scaled = static_cast<int64_t>(thousandths);
  return static_cast<Fixed16_16>(scaled >= 0 ? (scaled + 500) / 1000 : (scaled - 500) / 1000);
}

// Whether a font is symbolic: true unless the descriptor's Flags has the
// Nonsymbolic bit (32).
bool ReadSymbolicFlag(AppContext& context, const document::ResolvedValue& descriptor);

// The program (made with New) of the first of the descriptor's FontFile,
// FontFile2 and FontFile3 that is a stream and loads, or null; `format`
// tells what was embedded (even when it failed to load). Simple fonts take
// name-keyed and glyph-index programs; `composite` fonts CID-keyed ones too.
fonts::Font* LoadEmbeddedProgram(document::ObjectResolver& resolver, const document::ResolvedValue& descriptor,
                                 ProgramFormat& format, bool composite);

}  // namespace vn::pdf::text
