// Unicode for the text of a composite font that has no ToUnicode map: the
// font's encoding CMap gives each code's CID, and the collection's CID to
// Unicode CMap ("Adobe-Japan1-UCS2" ...) gives the CID's Unicode.
#pragma once

#include <cstdint>

#include "pdf/cmap/character_collection.h"
#include "pdf/document/object_resolver.h"
#include "pdf/text/char_code_map.h"
#include "runtime/engine_new.h"

namespace vn::pdf::text {

class Type0ToUnicodeCharCodeMap final : public CharCodeMap {
 public:
  // Takes both maps (made with New). Without `encoding` (the identity
  // encodings) the code's two bytes are the CID.
  Type0ToUnicodeCharCodeMap(AppContext& context, CharCodeMap* encoding, CharCodeMap* cidToUnicode);

  // The code's length is the encoding's; its value and units are the
  // Unicode of its CID (0 when the collection has none).
  CharCode NextCode(const uint8_t* bytes, const uint8_t* end) const override;
  uint32_t Footprint() const override;

 private:
  Owned<CharCodeMap> encoding_;
  Owned<CharCodeMap> cidToUnicode_;
};

// The collection's CID to Unicode map, built from its built-in UCS2 CMap
// (made with New); null for the unknown collection.
CharCodeMap* NewCollectionUnicodeMap(AppContext& context, cmap::CharacterCollection collection);

// The code -> Unicode map of the Type 0 font dictionary `font` (made with
// New), for text extraction: its ToUnicode CMap when it has one, else its
// encoding's CIDs through the collection's Unicode map; null when neither
// can be had (an identity encoding in an unknown collection, an encoding
// that is not built in). Raises as reading the font's CMaps does.
CharCodeMap* NewType0UnicodeMap(document::ObjectResolver& resolver, const document::ResolvedValue& font);

}  // namespace vn::pdf::text
