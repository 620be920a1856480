// The encoding of a composite font: how the codes of its strings become
// CIDs. "Identity-H" and "Identity-V" need no map (two bytes big-endian are
// the CID); another name is a built-in CMap, looked for in the font's
// character collection and then in all; a stream is an embedded CMap whose
// "UseCMap" entry (a built-in CMap's name, or another stream) is taken in
// first.
#pragma once

#include "pdf/cmap/character_collection.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/document/object_resolver.h"
#include "runtime/engine_new.h"

namespace vn::pdf::text {

struct Type0Encoding {
  // Made with New, for the caller to own; null for the identity encodings
  // and for names that are not built in.
  cmap::CMapCharCodeMap* map = nullptr;
  const char* label = "";  // the CMap's name, "Embedded CMap" or "Unknown CMap"
  bool found = true;       // false for a name that is not built in
  bool vertical = false;
};

// Reads "Encoding" of the Type 0 font dictionary `font`. Raises kBadData
// for an encoding that is neither a name nor a stream, kLimitExceeded for a
// UseCMap chain that does not end, and the CMap parser's errors.
Type0Encoding ReadType0Encoding(document::ObjectResolver& resolver, const document::ResolvedValue& font,
                                cmap::CharacterCollection collection);

// The collection that the CIDFont `cidFont` names in its CIDSystemInfo.
cmap::CharacterCollection ReadCollection(document::ObjectResolver& resolver, const document::ResolvedValue& cidFont);

// The CIDFont of a Type 0 font: the first of "DescendantFonts" (a lone
// dictionary is taken as it stands), into `out`. Raises kBadData when there
// is none.
void GetDescendantFont(document::ObjectResolver& resolver, const document::ResolvedValue& font,
                       document::ResolvedValue& out);

}  // namespace vn::pdf::text
