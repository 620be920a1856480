#include "pdf/text/type0_to_unicode_char_code_map.h"

#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "pdf/text/to_unicode.h"
#include "pdf/text/type0_encoding.h"

namespace vn::pdf::text {

Type0ToUnicodeCharCodeMap::Type0ToUnicodeCharCodeMap(AppContext& context, CharCodeMap* encoding,
                                                     CharCodeMap* cidToUnicode)
    : encoding_(context, encoding), cidToUnicode_(context, cidToUnicode) {}

CharCode Type0ToUnicodeCharCodeMap::NextCode(const uint8_t* bytes, const uint8_t* end) const {
  if (!encoding_) return cidToUnicode_->NextCode(bytes, end);
  const CharCode code = encoding_->NextCode(bytes, end);
  const uint8_t cid[2] = {static_cast<uint8_t>(code.value >> 8), static_cast<uint8_t>(code.value)};
  CharCode unicode = code.value > 0xFFFF ? CharCode() : cidToUnicode_->NextCode(cid, cid + 2);
  unicode.length = code.length;
  unicode.wordSpace = code.wordSpace;
  return unicode;
}

uint32_t Type0ToUnicodeCharCodeMap::Footprint() const {
  return static_cast<uint32_t>(sizeof(*this)) + (encoding_ ? encoding_->Footprint() : 0) +
         cidToUnicode_->Footprint();
}

CharCodeMap* NewCollectionUnicodeMap(AppContext& context, cmap::CharacterCollection collection) {
  cmap::PredefinedCMap ucs2;
  if (!cmap::FindCollectionUnicodeCMap(collection, &ucs2)) return nullptr;
  Owned<cmap::CMapCharCodeMap> map(context, New<cmap::CMapCharCodeMap>(context, context));
  cmap::ParsePredefinedCMap(context, ucs2, *map);
  return map.Release();
}

CharCodeMap* NewType0UnicodeMap(document::ObjectResolver& resolver, const document::ResolvedValue& font) {
  AppContext& context = resolver.Context();
  if (CharCodeMap* own = ReadToUnicode(resolver, font)) return own;
  document::ResolvedValue cidFont(context);
  GetDescendantFont(resolver, font, cidFont);
  const cmap::CharacterCollection collection = ReadCollection(resolver, cidFont);
  Owned<CharCodeMap> cidToUnicode(context, NewCollectionUnicodeMap(context, collection));
  if (!cidToUnicode) return nullptr;
  const Type0Encoding encoding = ReadType0Encoding(resolver, font, collection);
  if (!encoding.found) return nullptr;
  Owned<CharCodeMap> codeToCid(context, encoding.map);
  auto* map = New<Type0ToUnicodeCharCodeMap>(context, context, codeToCid.get(), cidToUnicode.get());
  codeToCid.Release();
  cidToUnicode.Release();
  return map;
}

}  // namespace vn::pdf::text
