// Spot checks of the generated tables against the published values.
#include <gtest/gtest.h>

#include "fonts/font_tables.h"

namespace vn::test {
namespace {

TEST(FontTables, StandardStringsAndCharsets) {
  EXPECT_STREQ(fonts::kCffStandardStrings[0], ".notdef");
  EXPECT_STREQ(fonts::kCffStandardStrings[34], "A");
  EXPECT_STREQ(fonts::kCffStandardStrings[228], "zcaron");
  EXPECT_STREQ(fonts::kCffStandardStrings[390], "Semibold");
  // Expert: .notdef, space, exclamsmall, Hungarumlautsmall, ...
  EXPECT_EQ(fonts::kCffExpertCharset[1], 1);
  EXPECT_EQ(fonts::kCffExpertCharset[2], 229);
  EXPECT_STREQ(fonts::kCffStandardStrings[fonts::kCffExpertSubsetCharset[2]], "dollaroldstyle");
}

TEST(FontTables, Encodings) {
  EXPECT_STREQ(fonts::StandardEncodingName('A'), "A");
  EXPECT_STREQ(fonts::StandardEncodingName(0x27), "quoteright");
  EXPECT_STREQ(fonts::StandardEncodingName(0xC2), "acute");
  EXPECT_STREQ(fonts::StandardEncodingName(0x80), ".notdef");
  EXPECT_STREQ(fonts::kCffStandardStrings[fonts::kExpertEncodingSids[0x21]], "exclamsmall");
  EXPECT_EQ(fonts::kWinAnsiUnicode[0x80], 0x20AC);
  EXPECT_EQ(fonts::kWinAnsiUnicode[0x81], 0x2022);
  EXPECT_EQ(fonts::kWinAnsiUnicode[0xA0], 0x0020);
  EXPECT_EQ(fonts::kWinAnsiUnicode[0xE9], 0x00E9);
  EXPECT_EQ(fonts::kMacRomanUnicode[0x8A], 0x00E4);
  EXPECT_STREQ(fonts::kMacGlyphNames[3], "space");
  EXPECT_STREQ(fonts::kMacGlyphNames[257], "dcroat");
}

}  // namespace
}  // namespace vn::test
