// Simple fonts without a usable program of their own draw with a
// substitute: the standard fonts with their built-in URW clones, any other
// font with the built-in face nearest to what its descriptor and name
// describe, stretched to the font's widths (fonts/faux_font.h).
#pragma once

#include <cstdint>

#include "fonts/faux_font.h"
#include "pdf/document/object_resolver.h"
#include "pdf/text/encodings.h"

namespace vn::pdf::text {

// The substitute for a font named `baseFont` (NUL-terminated) with standard
// font index `standard` and descriptor `descriptor` (may be null: no
// descriptor). Owned by the caller.
fonts::FauxFont* MakeSubstitute(document::ObjectResolver& resolver, const document::ResolvedValue& descriptor,
                                const char* baseFont, int32_t standard);

// The encoding a substitute face brings when the font names none.
NamedEncoding SubstituteEncoding(fonts::BuiltInFace face);

// The glyph of `name` in a built-in face: by name, else by the name's
// Unicode value under the face's own name for it; ".notdef" (0) when the
// face has no such glyph.
uint32_t SubstituteGlyph(fonts::Font& face, GlyphName name);

// Stretches the substitute's glyphs to the font's widths (16.16 em
// fractions by code).
void WidenToWidths(fonts::FauxFont& substitute, const uint32_t (&glyphs)[256], const Fixed16_16 (&widths)[256]);

}  // namespace vn::pdf::text
