// TrueType programs built in the test: quadratic contours, composites,
// code -> glyph tables, and the bounds that keep a lying font to its own
// glyphs.
#include <gtest/gtest.h>

#include "font_program_fixture.h"
#include "fonts/parsers/truetype.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

Bytes SquareGlyph(int x0 = 100, int y0 = 0, int x1 = 400, int y1 = 300) {
  return SimpleGlyph({{{x0, y0, true}, {x0, y1, true}, {x1, y1, true}, {x1, y0, true}}});
}

// Four off-curve points: a rounded shape whose contour starts between the
// first two points.
Bytes RoundGlyph() { return SimpleGlyph({{{0, 500, false}, {500, 500, false}, {500, 0, false}, {0, 0, false}}}); }

using TrueTypeProgram = FontProgramTest;

TEST_F(TrueTypeProgram, QuadraticContoursAgreeWithFreeType) {
  Bytes mixed = SimpleGlyph({{{0, 0, true}, {250, 600, false}, {500, 0, true}},
                             {{100, 100, true}, {200, 300, false}, {300, 300, false}, {400, 100, true}}});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph(), mixed}, 2048)), nullptr);
  EXPECT_EQ(font_->Kind(), fonts::FontKind::kGlyphIndex);
  EXPECT_EQ(font_->Info().unitsPerEm, 2048);
  EXPECT_EQ(font_->GlyphAdvance(1), 500 << 16);
  EXPECT_EQ(font_->TextSpaceAdvance(1), (500 << 16) / 2048);
  EXPECT_EQ(OurOutline(*font_, 0).size(), 0u);
  ExpectAgreement();
}

TEST_F(TrueTypeProgram, TheAppleTagIsTrueType) {
  Bytes font = BuildTrueType({Bytes(), SquareGlyph()});
  font[0] = 't';
  font[1] = 'r';
  font[2] = 'u';
  font[3] = 'e';
  ASSERT_NE(Load(font), nullptr);
  EXPECT_EQ(font_->Kind(), fonts::FontKind::kGlyphIndex);
  EXPECT_EQ(OurOutline(*font_, 1).size(), 1u);
}

TEST_F(TrueTypeProgram, CompositesPlaceScaleAndMatchPoints) {
  // Glyph 3: the square moved by (600, 50) and the round shape at half size;
  // glyph 4: a square whose point 0 lands on glyph 1's point 2.
  Bytes moved = CompositeGlyph({{1, 600, 50}, {2, 0, 0, false, 0.5}});
  Bytes matched = CompositeGlyph({{1, 0, 0}, {1, 2, 0, true}});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph(), moved, matched})), nullptr);
  Outline o = OurOutline(*font_, 3);
  ASSERT_EQ(o.size(), 2u);
  ExpectAgreement();
}

TEST_F(TrueTypeProgram, CompositeRecursionIsBounded) {
  // Glyph 1 contains itself twice: without a bound, endless; with it, the
  // glyph is damaged and the others still draw.
  ASSERT_NE(Load(BuildTrueType({Bytes(), CompositeGlyph({{1, 0, 0}, {1, 10, 0}}), SquareGlyph()})), nullptr);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 1); }), kBadData);
  EXPECT_EQ(OurOutline(*font_, 2).size(), 1u);
}

TEST_F(TrueTypeProgram, PointCountsComeFromTheDataNotFromMaxp) {
  // 300 points in one glyph while "maxp" (all zeros past the glyph count)
  // promises none.
  std::vector<TtPoint> many;
  for (int i = 0; i < 300; ++i) many.push_back({i * 3, (i % 2) * 50, true});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SimpleGlyph({many})})), nullptr);
  Outline o = OurOutline(*font_, 1);
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(o[0].segments.size(), 299u);
}

TEST_F(TrueTypeProgram, ALocaEntryPastTheGlyphDataCostsOnlyThatGlyph) {
  Bytes font = BuildTrueType({Bytes(), SquareGlyph(), SquareGlyph()});
  // Make glyph 2's loca offset point far past "glyf".
  Bytes good = BuildTrueType({Bytes(), SquareGlyph(), SquareGlyph()});
  ASSERT_NE(Load(good), nullptr);
  auto* tt = static_cast<fonts::parsers::TrueType*>(font_.get());
  uint32_t loca = tt->FontTables().loca.offset;
  font[loca + 8] = 0x7F;  // glyph 2 runs from 0x7Fxxxxxx to 0x7Fxxxxxx + 256
  font[loca + 12] = 0x7F;
  font[loca + 14] += 1;
  ASSERT_NE(Load(font), nullptr);
  EXPECT_EQ(OurOutline(*font_, 1).size(), 1u);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 2); }), kBadData);
}

TEST_F(TrueTypeProgram, AGlyphCountBeyondLocaIsCutToIt) {
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph()}, 1000, {}, 60000)), nullptr);
  EXPECT_EQ(font_->GlyphCount(), 2u);
}

TEST_F(TrueTypeProgram, UnitsPerEmOutsideTheFormatDisableTheProgram) {
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph()}, 8)), nullptr);
  EXPECT_FALSE(font_->IsUsable());
  EXPECT_EQ(OurOutline(*font_, 1).size(), 0u);
}

TEST_F(TrueTypeProgram, SymbolicFontsMapCodesThroughTheF000Range) {
  Bytes cmap = Cmap4(3, 0, {{0xF041, 1}, {0x0042, 2}});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph()}, 1000, {{"cmap", cmap}})), nullptr);
  uint16_t glyphs[256];
  font_->CodeToGlyphTable(fonts::EncodingSelector::kNone, true, glyphs);
  EXPECT_EQ(glyphs[0x41], 1);
  // A symbolic font that maps the code itself is found too.
  EXPECT_EQ(glyphs[0x42], 2);
  EXPECT_EQ(glyphs[0x43], 0);
  EXPECT_EQ(font_->CmapLookup(fonts::CmapSubtable::kWindowsSymbol, 0xF041), 1);
  EXPECT_EQ(font_->CmapLookup(fonts::CmapSubtable::kWindowsUnicode, 0x41), -1);
}

TEST_F(TrueTypeProgram, WinAnsiCodesAreLookedUpByTheirUnicodeValues) {
  Bytes cmap = Cmap4(3, 1, {{0x0020, 3}, {0x0041, 1}, {0x20AC, 2}});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph(), Bytes()}, 1000, {{"cmap", cmap}})), nullptr);
  uint16_t glyphs[256];
  font_->CodeToGlyphTable(fonts::EncodingSelector::kWinAnsi, false, glyphs);
  EXPECT_EQ(glyphs[0x41], 1);
  EXPECT_EQ(glyphs[0x80], 2);  // the Euro sign
  EXPECT_EQ(glyphs[0xA0], 3);  // no-break space drawn as the space
  EXPECT_EQ(glyphs[0x42], 0);
}

TEST_F(TrueTypeProgram, MacRomanCodesUseMacRomanUnicodeValuesInAWindowsTable) {
  // No (1,0) table: code 0x8A is "adieresis" in MacRomanEncoding (U+00E4),
  // not WinAnsi's Scaron.
  Bytes cmap = Cmap4(3, 1, {{0x00E4, 1}, {0x0160, 2}});
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph()}, 1000, {{"cmap", cmap}})), nullptr);
  uint16_t glyphs[256];
  font_->CodeToGlyphTable(fonts::EncodingSelector::kMacRoman, false, glyphs);
  EXPECT_EQ(glyphs[0x8A], 1);
}

TEST_F(TrueTypeProgram, AUnicodeTableOfAnotherPlatformStandsInForWindowsUnicode) {
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph()}, 1000, {{"cmap", Cmap4(0, 3, {{0x0041, 1}})}})), nullptr);
  EXPECT_EQ(font_->CmapLookup(fonts::CmapSubtable::kWindowsUnicode, 0x41), 1);
  uint16_t glyphs[256];
  font_->CodeToGlyphTable(fonts::EncodingSelector::kWinAnsi, false, glyphs);
  EXPECT_EQ(glyphs[0x41], 1);
}

TEST_F(TrueTypeProgram, NoCmapIsBadDataWhenTheTableIsAskedFor) {
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph()})), nullptr);
  uint16_t glyphs[256];
  EXPECT_EQ(RaisedCode(context_, [&] { font_->CodeToGlyphTable(fonts::EncodingSelector::kWinAnsi, false, glyphs); }),
            kBadData);
}

TEST_F(TrueTypeProgram, PostNamesIndexTheMacGlyphsAndTheFontsOwn) {
  Bytes post;
  PutU32(post, 0x00020000);
  post.resize(32, 0);
  PutU16(post, 3);
  PutU16(post, 0);    // .notdef
  PutU16(post, 36);   // "A" in the Macintosh order
  PutU16(post, 258);  // the first of the font's own names
  post.push_back(5);
  for (char c : std::string("delta")) post.push_back(static_cast<unsigned char>(c));
  ASSERT_NE(Load(BuildTrueType({Bytes(), SquareGlyph(), RoundGlyph()}, 1000, {{"post", post}})), nullptr);
  const char* const* names = font_->GlyphNames();
  ASSERT_NE(names, nullptr);
  EXPECT_STREQ(names[1], "A");
  EXPECT_STREQ(names[2], "delta");
  EXPECT_EQ(font_->FindGlyph("delta", 5), 2);
}

}  // namespace
}  // namespace vn::test
