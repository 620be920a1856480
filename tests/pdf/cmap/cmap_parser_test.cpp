// The CMap parser and the code map it fills: code spaces of several
// lengths, CID and Unicode destinations, notdef ranges, usecmap, WMode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/cmap/cmap_test_support.h"
#include "support/test_context.h"

namespace vn::pdf::cmap {
namespace {

using test::Decode;
using test::Look;
using test::ParseCMapText;
using Codes = std::vector<std::pair<uint32_t, uint32_t>>;

// A Shift-JIS-like CMap: one-byte codes and two-byte codes by first byte.
const char kMixed[] =
    "%!PS-Adobe-3.0 Resource-CMap\n"
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> def\n"
    "/CMapName /Test-H def\n"
    "2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange\n"
    "2 begincidrange\n<20> <7e> 1\n<8140> <817e> 633\nendcidrange\n"
    "1 begincidchar <8340> 999 endcidchar\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end\n";

TEST(CMapParserTest, CodesOfSeveralLengths) {
  AppContext context;
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context, kMixed));
  EXPECT_FALSE(map->IsVertical());
  // 'A', a mapped two-byte code, a cidchar, a space.
  EXPECT_EQ(Decode(*map, {0x41, 0x81, 0x42, 0x83, 0x40, 0x20}),
            (Codes{{1, 0x41 - 0x20 + 1}, {2, 633 + 2}, {2, 999}, {1, 1}}));
  EXPECT_TRUE(Look(*map, {0x20}).wordSpace);
  EXPECT_FALSE(Look(*map, {0x21}).wordSpace);
  EXPECT_FALSE(Look(*map, {0x81, 0x40}).wordSpace);
  // A two-byte code without a mapping is consumed whole and gives CID 0,
  // whether its first byte leads to a node (0x81) or not (0x90).
  EXPECT_EQ(Decode(*map, {0x81, 0x90, 0x41}), (Codes{{2, 0}, {1, 34}}));
  EXPECT_EQ(Decode(*map, {0x90, 0x41, 0x41}), (Codes{{2, 0}, {1, 34}}));
  // Outside every code-space range: one byte.
  EXPECT_EQ(Decode(*map, {0xA0, 0x41}), (Codes{{1, 0}, {1, 34}}));
  // A two-byte code cut short by the end of the string takes what is left.
  EXPECT_EQ(Decode(*map, {0x41, 0x81}), (Codes{{1, 34}, {1, 0}}));
  EXPECT_EQ(Decode(*map, {0x90}), (Codes{{1, 0}}));
  EXPECT_EQ(map->NextCode(nullptr, nullptr).length, 0u);
}

TEST(CMapParserTest, ThreeAndFourByteCodeSpaces) {
  AppContext context;
  // UTF-8's shape.
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "4 begincodespacerange <00> <7F> <C080> <DFBF> <E08080> <EFBFBF>\n"
                                                     "<F0808080> <F7BFBFBF> endcodespacerange\n"
                                                     "3 begincidchar <41> 34 <E38182> 843 <F0A08080> 7000 endcidchar\n"));
  EXPECT_EQ(Decode(*map, {0xE3, 0x81, 0x82, 0x41, 0xF0, 0xA0, 0x80, 0x80}), (Codes{{3, 843}, {1, 34}, {4, 7000}}));
  // Unmapped codes under a mapped prefix and under none.
  EXPECT_EQ(Decode(*map, {0xE3, 0x81, 0x83, 0xE4, 0x80, 0x80, 0xF0, 0xA0, 0x81, 0x80, 0xF5, 0x80, 0x80, 0x80, 0x41}),
            (Codes{{3, 0}, {3, 0}, {4, 0}, {4, 0}, {1, 34}}));
}

TEST(CMapParserTest, CodeSpaceAfterTheMappings) {
  AppContext context;
  Owned<CMapCharCodeMap> map(
      context, ParseCMapText(context, "1 begincidchar <8140> 5 endcidchar 1 begincodespacerange <8140> <9FFC> endcodespacerange"));
  EXPECT_EQ(Decode(*map, {0x81, 0x40, 0x81, 0x41, 0x85, 0x41}), (Codes{{2, 5}, {2, 0}, {2, 0}}));
}

TEST(CMapParserTest, NotdefRanges) {
  AppContext context;
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
                                                     "1 begincidchar <0105> 50 endcidchar\n"
                                                     "3 beginnotdefrange <0100> <01FF> 7 <0203> <0204> 8 <0105> <0105> 9 endnotdefrange\n"
                                                     "1 begincidchar <0110> 60 endcidchar\n"));
  // A whole node's notdef is its default; a partial one fills the gaps; a
  // notdef range never replaces a mapping, and a later mapping replaces it.
  EXPECT_EQ(Decode(*map, {0x01, 0x05, 0x01, 0x06, 0x01, 0x10, 0x02, 0x03, 0x02, 0x05, 0x03, 0x00}),
            (Codes{{2, 50}, {2, 7}, {2, 60}, {2, 8}, {2, 0}, {2, 0}}));
  // One-byte notdef ranges.
  Owned<CMapCharCodeMap> single(context, ParseCMapText(context,
                                                        "1 begincodespacerange <00> <FF> endcodespacerange "
                                                        "1 beginnotdefrange <00> <1f> 231 endnotdefrange "
                                                        "1 begincidrange <20> <7e> 1 endcidrange"));
  EXPECT_EQ(Decode(*single, {0x05, 0x20, 0x90}), (Codes{{1, 231}, {1, 1}, {1, 0}}));
}

TEST(CMapParserTest, UseCMapTakesTheBuiltInMapFirst) {
  AppContext context;
  Owned<CMapCharCodeMap> base(context, New<CMapCharCodeMap>(context, context));
  PredefinedCMap rksj;
  ASSERT_TRUE(FindPredefinedCMap(reinterpret_cast<const uint8_t*>("90ms-RKSJ-H"), 11, kJapan1, &rksj));
  ParsePredefinedCMap(context, rksj, *base);
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                                                     "/90ms-RKSJ-H usecmap\n"
                                                     "1 begincidchar <889f> 4242 endcidchar\n"
                                                     "endcmap CMapName currentdict /CMap defineresource pop end end\n"));
  EXPECT_NE(Look(*base, {0x88, 0x9F}).value, 4242u);
  EXPECT_EQ(Look(*map, {0x88, 0x9F}).value, 4242u);
  uint32_t compared = 0;
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    if (code == 0x889F) continue;
    const std::vector<uint8_t> bytes = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    const text::CharCode want = Look(*base, bytes);
    const text::CharCode got = Look(*map, bytes);
    ASSERT_EQ(got.length, want.length) << std::hex << code;
    ASSERT_EQ(got.value, want.value) << std::hex << code;
    ++compared;
  }
  EXPECT_EQ(compared, 0xFFFFu);
  // An unknown name is ignored.
  Owned<CMapCharCodeMap> unknown(context, ParseCMapText(context, "/No-Such-CMap usecmap 1 begincidchar <41> 3 endcidchar"));
  EXPECT_EQ(Look(*unknown, {0x41}).value, 3u);
}

TEST(CMapParserTest, WritingMode) {
  AppContext context;
  Owned<CMapCharCodeMap> vertical(context, ParseCMapText(context, "/WMode 1 def"));
  EXPECT_TRUE(vertical->IsVertical());
  Owned<CMapCharCodeMap> other(context, ParseCMapText(context, "/WMode 1 def /WMode 2 def"));
  EXPECT_FALSE(other->IsVertical());
  // The built-in -V CMaps say so themselves (after taking in their -H base).
  Owned<CMapCharCodeMap> rksj(context, ParseCMapText(context, "/90ms-RKSJ-V usecmap"));
  EXPECT_FALSE(rksj->IsVertical());  // a base CMap's WMode is not this map's
  Owned<CMapCharCodeMap> v(context, New<CMapCharCodeMap>(context, context));
  PredefinedCMap cmap;
  ASSERT_TRUE(FindPredefinedCMap(reinterpret_cast<const uint8_t*>("UniJIS-UTF16-V"), 14, kJapan1, &cmap));
  ParsePredefinedCMap(context, cmap, *v);
  EXPECT_TRUE(v->IsVertical());
}

const char kToUnicode[] =
    "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
    "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
    "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n"
    "4 beginbfchar\n<0003> <0020>\n<0011> <00660069>\n<0012> <D835DC9C>\n<0013> <41>\nendbfchar\n"
    "2 beginbfrange\n<0020> <0022> <0041>\n<0030> <0032> [<0061> <00660066> <0063>]\n"
    "<0040> <0041> <00660066006A>\nendbfrange\n"
    "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";

TEST(CMapParserTest, ToUnicodeStrings) {
  AppContext context;
  for (uint32_t blockSize : {4096u, 7u, 1u}) {
    Owned<CMapCharCodeMap> map(context, ParseCMapText(context, kToUnicode, blockSize));
    EXPECT_EQ(Decode(*map, {0x00, 0x03, 0x00, 0x13, 0x00, 0x21, 0x00, 0x22, 0x00, 0x30, 0x00, 0x32}),
              (Codes{{2, 0x20}, {2, 0x41}, {2, 0x42}, {2, 0x43}, {2, 0x61}, {2, 0x63}}));
    auto units = [&](uint8_t low) {
      const text::CharCode c = Look(*map, {0x00, low});
      return std::vector<uint16_t>(c.units, c.units + c.unitCount);
    };
    EXPECT_EQ(units(0x11), (std::vector<uint16_t>{0x66, 0x69}));      // a ligature
    EXPECT_EQ(units(0x12), (std::vector<uint16_t>{0xD835, 0xDC9C}));  // a surrogate pair
    EXPECT_EQ(units(0x31), (std::vector<uint16_t>{0x66, 0x66}));      // from an array
    EXPECT_EQ(units(0x41), (std::vector<uint16_t>{0x66, 0x66, 0x6B}));  // the last unit steps
    EXPECT_EQ(Look(*map, {0x00, 0x11}).value, 0x66u);
    EXPECT_EQ(Look(*map, {0x00, 0x33}).value, 0u);  // past the array
  }
}

TEST(CMapParserTest, ToUnicodeWithoutCodeSpace) {
  AppContext context;
  // Many producers leave the code space out: the codes' own lengths count.
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context, "2 beginbfchar <01> <0041> <0203> <0042> endbfchar"));
  EXPECT_EQ(Decode(*map, {0x01, 0x02, 0x03, 0x05}), (Codes{{1, 0x41}, {2, 0x42}, {1, 0}}));
}

TEST(CMapParserTest, EntriesThatDoNotFitAreSkipped) {
  AppContext context;
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "1 begincodespacerange <0102030405> <0102030406> endcodespacerange\n"
                                                     "6 begincidrange <0102030405> <0102030405> 5\n"  // five bytes
                                                     "<01> <0203> 6\n"                                 // lengths differ
                                                     "<09> <05> 7\n"                                   // high below low
                                                     "<10> <11> -3\n"                                  // a negative CID
                                                     "<12> <13> 2.5\n"                                 // not an integer
                                                     "(A) (B) 20\n"                                    // literal strings
                                                     "endcidrange\n"
                                                     "2 beginbfchar <14> /space <15> () endbfchar\n"
                                                     "1 begincidchar <16> 8 endcidchar\n"));
  EXPECT_EQ(Decode(*map, {0x01, 0x02, 0x05, 0x10, 0x12, 0x41, 0x42, 0x14, 0x15, 0x16}),
            (Codes{{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 20}, {1, 21}, {1, 0}, {1, 0}, {1, 8}}));
}

TEST(CMapParserTest, SyntaxErrorsRaise) {
  AppContext context;
  for (const char* text : {"1 begincidchar <41", "<< /A 1 ", "(unterminated", "[ 1 2 ) ]"}) {
    const std::string source = text;  // built outside the guarded call, which a raise long-jumps out of
    EXPECT_EQ(test::RaisedCode(context, [&] { Owned<CMapCharCodeMap> map(context, ParseCMapText(context, source)); }),
              kBadData)
        << text;
  }
  // Stray closers and unknown keywords are not errors.
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context, ") } ] >> foo bar 1 begincidchar <41> 3 endcidchar"));
  EXPECT_EQ(Look(*map, {0x41}).value, 3u);
}

TEST(CMapParserTest, FootprintCountsTheNodes) {
  AppContext context;
  Owned<CMapCharCodeMap> small(context, ParseCMapText(context, "1 begincidchar <41> 3 endcidchar"));
  Owned<CMapCharCodeMap> two(context, ParseCMapText(context, "1 begincidchar <4141> 3 endcidchar"));
  EXPECT_EQ(small->NodeCount(), 1u);
  EXPECT_EQ(two->NodeCount(), 2u);
  EXPECT_GE(small->Footprint(), 1028u);
  EXPECT_LT(small->Footprint(), 6000u);
  const uint32_t before = context.Budget().BytesInUse();
  Owned<CMapCharCodeMap> big(context, ParseCMapText(context, "1 begincidrange <000000> <00FFFF> 1 endcidrange"));
  EXPECT_EQ(big->NodeCount(), 258u);
  EXPECT_GE(big->Footprint(), 258u * 1028);
  const uint32_t used = context.Budget().BytesInUse() - before;
  EXPECT_LE(used, big->Footprint() + big->Footprint() / 20);
  EXPECT_GE(used, big->Footprint() - big->Footprint() / 20);
}

}  // namespace
}  // namespace vn::pdf::cmap
