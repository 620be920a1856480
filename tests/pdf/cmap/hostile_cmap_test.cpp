// Hostile CMaps end in a clean error or a bounded map: enormous and
// overlapping ranges, usecmap repeated and nested, codes longer than four
// bytes, tries that would outgrow the budget, garbage.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pdf/cmap/cmap_test_support.h"
#include "support/test_context.h"

namespace vn::pdf::cmap {
namespace {

using test::Look;
using test::ParseCMapText;
using test::RaisedCode;

// Parses `text`; returns the code raised (-1 for none) and the slot writes.
int32_t Parse(AppContext& context, const std::string& text, uint32_t* writes = nullptr) {
  Owned<CMapCharCodeMap> map(context, New<CMapCharCodeMap>(context, context));
  const int32_t code = RaisedCode(context, [&] {
    Owned<data_io::DataBlockStream> stream(
        context, test::NewMemoryStream(context, std::vector<uint8_t>(text.begin(), text.end())));
    ParseCMap(context, *stream, *map);
  });
  if (writes != nullptr) *writes = map->SlotWrites();
  return code;
}

std::string Repeat(const std::string& piece, uint32_t times) {
  std::string text;
  for (uint32_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(HostileCMapTest, EnormousRangesStopAtTheLimit) {
  AppContext context;
  uint32_t writes = 0;
  // CIDs past what a leaf holds: the entry is skipped.
  EXPECT_EQ(Parse(context, "1 begincidrange <00000000> <FFFFFFFF> 0 endcidrange", &writes), -1);
  EXPECT_LT(writes, 1000u);
  // A billion codes and more: the trie would need millions of nodes.
  for (const char* text : {"1 begincidrange <00000000> <3FFFFFFF> 0 endcidrange",
                           "1 beginbfrange <00000000> <FFFFFFFF> <0000> endbfrange",
                           "1 beginnotdefrange <00000000> <FFFFFFFF> 1 endnotdefrange",
                           "1 beginbfrange <00000000> <FFFFFFFF> <00410042> endbfrange"}) {
    EXPECT_EQ(Parse(context, text, &writes), kLimitExceeded) << text;
    EXPECT_LE(writes, kMaxSlotWrites) << text;
  }
  // Overlapping ranges over a trie that exists: the writes run out.
  EXPECT_EQ(Parse(context, Repeat("1 begincidrange <0000> <FFFF> 0 endcidrange\n", 100), &writes), kLimitExceeded);
  EXPECT_LE(writes, kMaxSlotWrites);
  // Within the limits: the same range a few times is fine.
  EXPECT_EQ(Parse(context, Repeat("1 begincidrange <0000> <FFFF> 0 endcidrange\n", 8)), -1);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(HostileCMapTest, RangesPastTheCodeLengthOrTheValues) {
  AppContext context;
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "3 begincidrange <FFFE> <FFFF> 4294967295\n"
                                                     "<0000> <0001> 1073741823\n"
                                                     "<0100> <0101> 1073741822 endcidrange\n"
                                                     "1 beginbfrange <0200> <0202> <FFFF> endbfrange"));
  EXPECT_EQ(Look(*map, {0xFF, 0xFE}).value, 0u);
  EXPECT_EQ(Look(*map, {0x00, 0x01}).value, 0u);
  EXPECT_EQ(Look(*map, {0x01, 0x01}).value, 0x3FFFFFFFu);
  // A code unit steps past 0xFFFF by wrapping, as 16-bit units do.
  EXPECT_EQ(Look(*map, {0x02, 0x02}).value, 1u);
}

TEST(HostileCMapTest, UseCMapRepeatedOrNested) {
  AppContext context;
  // Each usecmap re-reads a built-in CMap: the count is bounded.
  EXPECT_EQ(Parse(context, Repeat("/90ms-RKSJ-H usecmap\n", 1000)), kLimitExceeded);
  EXPECT_EQ(Parse(context, Repeat("/90ms-RKSJ-H usecmap\n", kMaxBaseCMaps)), -1);
  // A -V CMap takes in its -H base: both count.
  EXPECT_EQ(Parse(context, Repeat("/90ms-RKSJ-V usecmap\n", kMaxBaseCMaps / 2 + 1)), kLimitExceeded);
  // Nesting deeper than the bound (a chain of usecmap streams would be).
  {
    Owned<CMapCharCodeMap> map(context, New<CMapCharCodeMap>(context, context));
    const std::string text = "/H usecmap";
    const int32_t code = RaisedCode(context, [&] {
      Owned<data_io::DataBlockStream> stream(
          context, test::NewMemoryStream(context, std::vector<uint8_t>(text.begin(), text.end())));
      ParseCMap(context, *stream, *map, kMaxUseCMapDepth);
    });
    EXPECT_EQ(code, kLimitExceeded);
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(HostileCMapTest, CodesLongerThanFourBytes) {
  AppContext context;
  Owned<CMapCharCodeMap> map(context, ParseCMapText(context,
                                                     "1 begincodespacerange <0000000000> <FFFFFFFFFF> endcodespacerange\n"
                                                     "2 begincidchar <0102030405> 9 <010203040506070809> 9 endcidchar\n"
                                                     "1 begincidrange <0000000000> <FFFFFFFFFF> 1 endcidrange\n"
                                                     "1 begincidchar <41> 3 endcidchar\n"));
  EXPECT_EQ(map->NodeCount(), 1u);
  EXPECT_EQ(Look(*map, {0x41}).value, 3u);
  EXPECT_EQ(Look(*map, {0x01, 0x02, 0x03, 0x04, 0x05}).length, 1u);
}

TEST(HostileCMapTest, TrieGrowthIsBounded) {
  AppContext context;
  // Four-byte codes that each need three new nodes.
  std::string text = "1500 begincidchar\n";
  char entry[32];
  for (uint32_t i = 0; i < 1500; ++i) {
    std::snprintf(entry, sizeof entry, "<%02X%02X0000> 1\n", i >> 8, i & 0xFF);
    text += entry;
  }
  text += "endcidchar\n";
  EXPECT_EQ(Parse(context, text), kLimitExceeded);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
  // Under a small budget the allocator says no first.
  AppContext tight(test::TinyLimits(300000, 400000));
  EXPECT_EQ(Parse(tight, text), kOutOfMemory);
  EXPECT_EQ(tight.Budget().BytesInUse(), 0u);
}

TEST(HostileCMapTest, LongRunsStayBounded) {
  AppContext context;
  // Loose values are dropped as they pile up; strings too long for a
  // destination are skipped.
  context.Budget().ResetPeak();
  EXPECT_EQ(Parse(context, Repeat("1 2 3 /x (y) <7a> ", 20000)), -1);
  EXPECT_LT(context.Budget().PeakBytes(), 64000u);
  EXPECT_EQ(Parse(context, "1 beginbfchar <41> <" + Repeat("0041", 5000) + "> endbfchar"), -1);
  EXPECT_EQ(Parse(context, Repeat("[", 10000)), kBadData);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(HostileCMapTest, GarbageNeverCrashes) {
  AppContext context;
  const std::string alphabet = "<>[]{}()/%0123456789ABCDEFabcdef \n\\#-.";
  const std::string words[] = {"begincidrange ", "endcidrange ", "beginbfrange ", "begincodespacerange ",
                               "beginnotdefrange ", "usecmap ", "/90ms-RKSJ-H ", "def ", "/WMode ", "<0000> ",
                               "<FFFF> ", "<00000000> ", "<FFFFFFFF> "};
  std::mt19937 random(22);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 400);
    for (int i = 0; i < length; ++i) {
      if (random() % 4 == 0) {
        text += words[random() % (sizeof words / sizeof words[0])];
      } else {
        text += alphabet[random() % alphabet.size()];
      }
    }
    const int32_t code = Parse(context, text);
    EXPECT_TRUE(code == -1 || code == kBadData || code == kLimitExceeded) << code << " for " << text;
    ASSERT_EQ(context.Budget().BytesInUse(), 0u) << text;
  }
}

}  // namespace
}  // namespace vn::pdf::cmap
