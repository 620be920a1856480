// Unicode for composite fonts without ToUnicode: the encoding CMap, then
// the collection's CID to Unicode CMap. Expected values are the characters'
// code points (Shift-JIS and UHC bytes as Python's codecs give them).
#include <gtest/gtest.h>

#include <vector>

#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "pdf/text/type0_to_unicode_char_code_map.h"
#include "runtime/app_context.h"

namespace vn::pdf::text {
namespace {

CharCodeMap* NewEncoding(AppContext& context, const char* name) {
  cmap::PredefinedCMap found;
  if (!cmap::FindPredefinedCMap(reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(std::strlen(name)),
                                cmap::kUnknownCollection, &found)) {
    return nullptr;
  }
  Owned<cmap::CMapCharCodeMap> map(context, New<cmap::CMapCharCodeMap>(context, context));
  cmap::ParsePredefinedCMap(context, found, *map);
  return map.Release();
}

// Every code of `bytes`: its length and Unicode (units joined).
std::vector<std::pair<uint32_t, std::vector<uint16_t>>> Text(const CharCodeMap& map, std::vector<uint8_t> bytes) {
  std::vector<std::pair<uint32_t, std::vector<uint16_t>>> out;
  const uint8_t* p = bytes.data();
  const uint8_t* end = p + bytes.size();
  while (p < end) {
    const CharCode c = map.NextCode(p, end);
    out.push_back({c.length, c.unitCount != 0 ? std::vector<uint16_t>(c.units, c.units + c.unitCount)
                                              : std::vector<uint16_t>{static_cast<uint16_t>(c.value)}});
    p += c.length;
  }
  return out;
}

using Expected = std::vector<std::pair<uint32_t, std::vector<uint16_t>>>;

TEST(Type0ToUnicodeTest, ShiftJisThroughCids) {
  AppContext context;
  Owned<Type0ToUnicodeCharCodeMap> map(
      context, New<Type0ToUnicodeCharCodeMap>(context, context, NewEncoding(context, "90ms-RKSJ-H"),
                                              NewCollectionUnicodeMap(context, cmap::kJapan1)));
  // "日本A": two two-byte codes and a letter. (The space, CID 231, is the
  // collection's half-width space: U+2002 in the published UCS2 CMap.)
  EXPECT_EQ(Text(*map, {0x93, 0xFA, 0x96, 0x7B, 0x41}), (Expected{{2, {0x65E5}}, {2, {0x672C}}, {1, {0x41}}}));
  EXPECT_TRUE(map->NextCode(reinterpret_cast<const uint8_t*>(" "), reinterpret_cast<const uint8_t*>(" ") + 1).wordSpace);
  EXPECT_GT(map->Footprint(), 2u * 1028);
}

TEST(Type0ToUnicodeTest, IdentityCodesAreCids) {
  AppContext context;
  Owned<Type0ToUnicodeCharCodeMap> map(
      context, New<Type0ToUnicodeCharCodeMap>(context, context, nullptr, NewCollectionUnicodeMap(context, cmap::kJapan1)));
  // CID 0x020E is HIRAGANA LETTER A; an odd last byte is a short code.
  EXPECT_EQ(Text(*map, {0x02, 0x0E, 0x02}), (Expected{{2, {0x3042}}, {1, {0}}}));
}

TEST(Type0ToUnicodeTest, Korean) {
  AppContext context;
  Owned<Type0ToUnicodeCharCodeMap> map(
      context, New<Type0ToUnicodeCharCodeMap>(context, context, NewEncoding(context, "KSCms-UHC-H"),
                                              NewCollectionUnicodeMap(context, cmap::kKorea1)));
  EXPECT_EQ(Text(*map, {0xC7, 0xD1, 0x41}), (Expected{{2, {0xD55C}}, {1, {0x41}}}));
  EXPECT_EQ(NewCollectionUnicodeMap(context, cmap::kUnknownCollection), nullptr);
}

}  // namespace
}  // namespace vn::pdf::text
