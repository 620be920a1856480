// A composite font of a CJK collection without a program of its own draws
// with an installed font or a fallback file (cjk_font_choice.h), read by the
// engine's own font programs: each CID goes to Unicode through the
// collection's UCS2 CMap, and Unicode to a glyph through the font's "cmap".
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "pdf/cmap/character_collection.h"
#include "pdf/text/char_code_map.h"

namespace vn::pdf::text {

// The program of the chosen font file (owned by the caller), or null when
// no file is found or the one found cannot be read. A font addressed by
// glyph index comes with `cidToUnicode`, the collection's CID to Unicode map
// (owned by the caller; SystemFontGlyph reads it); a CID-keyed CFF file from
// the resource folder maps CIDs itself (`cidToUnicode` null). `face`
// receives the file's name (cut to fit).
fonts::Font* LoadCjkSubstitute(AppContext& context, cmap::CharacterCollection collection, const char* baseFont,
                               uint32_t flags, CharCodeMap*& cidToUnicode, char (&face)[64]);

// The glyph of `cid` in such a font: through Unicode and its "cmap" (0 when
// either lacks it). Looked up as text is drawn: the collections have tens of
// thousands of CIDs, of which a document uses few.
uint32_t SystemFontGlyph(fonts::Font& program, const CharCodeMap& cidToUnicode, uint32_t cid);

}  // namespace vn::pdf::text
