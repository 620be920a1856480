// Type 1 programs built in the test: PFA (binary and hexadecimal eexec)
// and PFB layouts, subroutines, flex, hint replacement, div and seac,
// compared with FreeType where it reads the same font.
#include <gtest/gtest.h>

#include "font_program_fixture.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

enum : int { kHsbw = 1013, kRmoveto = 1021, kRlineto = 1005, kClosepath = 1009, kEndchar = 1014,
             kCallsubr = 1010, kReturn = 1011, kRrcurveto = 1008, kSeac = 1206, kDiv = 1212,
             kCallothersubr = 1216, kPop = 1217, kSetcurrentpoint = 1233 };

// The four subroutines of flex and hint replacement every Type 1 font has.
std::vector<Bytes> StandardSubrs() {
  return {T1({3, 0, kCallothersubr, kPop, kPop, kSetcurrentpoint, kReturn}), T1({0, 1, kCallothersubr, kReturn}),
          T1({0, 2, kCallothersubr, kReturn}), T1({kReturn})};
}

Bytes Square() {
  return T1({50, 500, kHsbw, 50, 0, kRmoveto, 300, 0, kRlineto, 0, 300, kRlineto, -300, 0, kRlineto, kClosepath,
             kEndchar});
}

using Type1Program = FontProgramTest;

TEST_F(Type1Program, ReadsBinaryAndHexadecimalEexecAndPfb) {
  std::vector<std::pair<std::string, Bytes>> glyphs = {{"A", Square()}, {".notdef", T1({0, 250, kHsbw, kEndchar})}};
  for (int layout = 0; layout < 3; ++layout) {
    Bytes pfa = BuildType1(glyphs, StandardSubrs(), layout == 1);
    ASSERT_NE(Load(layout == 2 ? ToPfb(pfa) : pfa), nullptr) << layout;
    EXPECT_EQ(font_->Kind(), fonts::FontKind::kNameKeyed);
    ASSERT_EQ(font_->GlyphCount(), 2u);
    // ".notdef" moves to glyph 0.
    EXPECT_STREQ(font_->GlyphNames()[0], ".notdef");
    EXPECT_STREQ(font_->GlyphNames()[1], "A");
    EXPECT_STREQ(font_->BuiltInEncoding()[static_cast<uint8_t>('A')], "A");
    EXPECT_EQ(font_->GlyphAdvance(1), 500 << 16);
    ExpectAgreement(1, true);
  }
}

TEST_F(Type1Program, FlexHintReplacementAndDivDrawLikeFreeType) {
  // Flex: the reference point and six curve points collected through
  // othersubr 2, drawn by othersubr 0; hint replacement calls subr 4
  // through othersubr 3; a width of 999/2 through div.
  Bytes flex = T1({0, 999, 2, kDiv, kHsbw, 0, 100, kRmoveto, 4, 1, 3, kCallothersubr, kPop, kCallsubr,
                   1, kCallsubr,
                   100, 0, kRmoveto, 2, kCallsubr,  // reference point
                   -50, 20, kRmoveto, 2, kCallsubr, 50, 10, kRmoveto, 2, kCallsubr, 50, 0, kRmoveto, 2, kCallsubr,
                   50, 0, kRmoveto, 2, kCallsubr, 50, -10, kRmoveto, 2, kCallsubr, 50, -20, kRmoveto, 2, kCallsubr,
                   50, 200, 100, 0, kCallsubr,
                   0, 300, kRlineto, -200, 0, kRlineto, kClosepath, kEndchar});
  std::vector<Bytes> subrs = StandardSubrs();
  subrs.push_back(T1({10, 20, 1001, kReturn}));  // subr 4: an hstem
  ASSERT_NE(Load(BuildType1({{".notdef", T1({0, 0, kHsbw, kEndchar})}, {"B", flex}}, subrs)), nullptr);
  Outline o;
  ASSERT_EQ(RaisedCode(context_, [&] { o = OurOutline(*font_, 1); }), -1);
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(o[0].segments.size(), 4u);  // two flex curves and two lines (the close is implied)
  EXPECT_EQ(font_->GlyphAdvance(1), (999 << 16) / 2);
  ExpectAgreement(1, true);
}

TEST_F(Type1Program, SeacBuildsTheAccentedGlyph) {
  Bytes acute = T1({20, 300, kHsbw, 20, 600, kRmoveto, 100, 0, kRlineto, -50, 80, kRlineto, kClosepath, kEndchar});
  Bytes aacute = T1({50, 500, kHsbw, 20, 150, 40, 'A', 0xC2, kSeac});
  ASSERT_NE(Load(BuildType1({{".notdef", T1({0, 0, kHsbw, kEndchar})}, {"A", Square()}, {"acute", acute},
                             {"Aacute", aacute}},
                            StandardSubrs())),
            nullptr);
  Outline o;
  ASSERT_EQ(RaisedCode(context_, [&] { o = OurOutline(*font_, 3); }), -1);
  ASSERT_EQ(o.size(), 2u);
  ExpectAgreement(1, true);
}

TEST_F(Type1Program, AFontWithoutNotdefGetsAnEmptyOne) {
  // Eight glyphs: adding the ninth grows the glyph arrays.
  std::vector<std::pair<std::string, Bytes>> glyphs;
  for (const char* name : {"A", "B", "C", "D", "E", "F", "G", "H"}) glyphs.push_back({name, Square()});
  ASSERT_NE(Load(BuildType1(glyphs, StandardSubrs())), nullptr);
  ASSERT_EQ(font_->GlyphCount(), 9u);
  EXPECT_STREQ(font_->GlyphNames()[0], ".notdef");
  EXPECT_STREQ(font_->GlyphNames()[8], "A");
  EXPECT_EQ(OurOutline(*font_, 0).size(), 0u);
  EXPECT_EQ(OurOutline(*font_, 8).size(), 1u);
}

TEST_F(Type1Program, AnEncodingOfItsOwn) {
  ASSERT_NE(Load(BuildType1({{".notdef", T1({0, 0, kHsbw, kEndchar})}, {"A", Square()}}, StandardSubrs(), false,
                            "256 array 0 1 255 {1 index exch /.notdef put} for dup 66 /A put readonly")),
            nullptr);
  EXPECT_STREQ(font_->BuiltInEncoding()[66], "A");
  EXPECT_STREQ(font_->BuiltInEncoding()[65], ".notdef");
}

TEST_F(Type1Program, HostileCharstringsCostOnlyTheirGlyph) {
  // A subroutine that calls itself, an unbalanced pop, a division by zero,
  // and a call of a subroutine that does not exist.
  std::vector<Bytes> subrs = StandardSubrs();
  subrs.push_back(T1({4, kCallsubr, kReturn}));
  ASSERT_NE(Load(BuildType1({{".notdef", T1({0, 0, kHsbw, kEndchar})},
                             {"A", Square()},
                             {"loop", T1({0, 0, kHsbw, 4, kCallsubr, kEndchar})},
                             {"pop", T1({0, 0, kHsbw, kPop, kEndchar})},
                             {"zero", T1({0, 0, kHsbw, 1, 0, kDiv, kEndchar})},
                             {"missing", T1({0, 0, kHsbw, 99, kCallsubr, kEndchar})}},
                            subrs)),
            nullptr);
  for (uint32_t g = 2; g < 6; ++g) {
    EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, g); }), kBadData) << font_->GlyphNames()[g];
  }
  EXPECT_EQ(OurOutline(*font_, 1).size(), 1u);
}

TEST_F(Type1Program, DamagedFontsAreRefused) {
  Bytes pfa = BuildType1({{"A", Square()}}, StandardSubrs());
  // No eexec section at all, and an encrypted part cut short.
  std::string text = "%!PS-AdobeFont-1.0: Test\n/FontName /Test def\n";
  EXPECT_EQ(Load(Bytes(text.begin(), text.end())), nullptr);
  EXPECT_EQ(Load(Bytes(pfa.begin(), pfa.begin() + 260)), nullptr);
  EXPECT_EQ(context_.Budget().BytesInUse(), 0u);
}

}  // namespace
}  // namespace vn::test
