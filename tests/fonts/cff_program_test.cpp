// CFF programs built in the test: outlines, widths, subroutines, accents
// and the bounds that keep hostile charstrings to their own glyph.
#include <gtest/gtest.h>

#include "font_program_fixture.h"
#include "fonts/parsers/cff.h"
#include "fonts/recognise_font_file.h"
#include "data_io/raw_data_store.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

enum : int { kRlineto = 1005, kRmoveto = 1021, kEndchar = 1014, kCallsubr = 1010, kCallgsubr = 1029,
             kReturn = 1011, kHstemhm = 1018, kHintmask = 1019 };

// A square from (100, 0) to (400, 300) with width 500 (nominal width 0).
Bytes Square() { return T2({500, 100, 0, kRmoveto, 300, 0, 0, 300, -300, 0, kRlineto, kEndchar}); }

using CffProgram = FontProgramTest;

TEST_F(CffProgram, DrawsAGlyphAndAgreesWithFreeType) {
  Bytes cff = BuildCff({".notdef", "square"}, {T2({kEndchar}), Square()});
  ASSERT_NE(Load(cff), nullptr);
  EXPECT_EQ(font_->Kind(), fonts::FontKind::kNameKeyed);
  ASSERT_EQ(font_->GlyphCount(), 2u);
  EXPECT_STREQ(font_->GlyphNames()[1], "square");
  EXPECT_EQ(font_->FindGlyph("square", 6), 1);
  EXPECT_EQ(font_->GlyphAdvance(1), 500 << 16);
  EXPECT_EQ(font_->TextSpaceAdvance(1), kFixedHalf);
  EXPECT_STREQ(font_->BuiltInEncoding()[static_cast<uint8_t>('A')], "A");  // the Standard encoding
  Outline ours = OurOutline(*font_, 1);
  ReferenceFace reference(bytes_);
  ASSERT_TRUE(reference.Ok());
  Outline theirs;
  ASSERT_TRUE(reference.Load(1, theirs));
  EXPECT_EQ(CompareOutlines(ours, theirs, 0.01), "");
}

TEST_F(CffProgram, FontMatrixIsExactAtAnySize) {
  ASSERT_NE(Load(BuildCff({".notdef", "square"}, {T2({kEndchar}), Square()})), nullptr);
  // 1/1000 em per unit under a 12-pixel matrix: the corner at 400 units
  // lands at exactly 4.8 pixels (a 16.16 font matrix would give 4.76).
  struct Last final : fonts::OutlineSink {
    void MoveTo(FixedPoint p) override { last = p; }
    void LineTo(FixedPoint p) override { last = p.x > last.x ? p : last; }
    void CurveTo(FixedPoint, FixedPoint, FixedPoint) override {}
    void Close() override {}
    FixedPoint last{0, 0};
  } sink;
  font_->AppendOutline(1, FixedMatrix{12 << 16, 0, 0, 12 << 16, 0, 0}, sink);
  EXPECT_NEAR(sink.last.x, static_cast<int32_t>(4.8 * 65536), 1);
}

TEST_F(CffProgram, SubroutinesNestTenDeepAndNoDeeper) {
  // Local subr i calls subr i + 1; the last draws the square.
  auto chain = [&](int depth) {
    std::vector<Bytes> subrs;
    for (int i = 0; i + 1 < depth; ++i) subrs.push_back(T2({i + 1 - 107, kCallsubr, kReturn}));
    Bytes last = Square();
    last.pop_back();  // no endchar in the subroutine
    last.push_back(11);
    subrs.push_back(last);
    return BuildCff({".notdef", "deep"}, {T2({kEndchar}), T2({0 - 107, kCallsubr, kEndchar})}, subrs);
  };
  ASSERT_NE(Load(chain(10)), nullptr);
  EXPECT_EQ(OurOutline(*font_, 1).size(), 1u);
  ASSERT_NE(Load(chain(11)), nullptr);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 1); }), kBadData);
  // The font itself stays usable.
  EXPECT_EQ(OurOutline(*font_, 0).size(), 0u);
}

TEST_F(CffProgram, SubroutinesThatMultiplyTheWorkAreStopped) {
  // Each of nine global subrs calls the next one 40 times: 40^9 calls.
  std::vector<Bytes> subrs;
  for (int i = 0; i < 9; ++i) {
    Bytes s;
    for (int k = 0; k < 40; ++k) {
      Bytes call = T2({i + 1 - 107, kCallgsubr});
      s.insert(s.end(), call.begin(), call.end());
    }
    s.push_back(11);
    subrs.push_back(s);
  }
  subrs.push_back(T2({kReturn}));
  ASSERT_NE(Load(BuildCff({".notdef", "bomb"}, {T2({kEndchar}), T2({-107, kCallgsubr, kEndchar})}, {}, subrs)),
            nullptr);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 1); }), kBadData);
}

TEST_F(CffProgram, OperandStackHoldsFortyEight) {
  Bytes ok, over;
  for (int i = 0; i < 48; ++i) T2Int(ok, 1);
  for (int i = 0; i < 49; ++i) T2Int(over, 1);
  ok.push_back(5);
  over.push_back(5);
  ok.push_back(14);
  over.push_back(14);
  ASSERT_NE(Load(BuildCff({".notdef", "ok", "over"}, {T2({kEndchar}), ok, over})), nullptr);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 1); }), -1);
  EXPECT_EQ(RaisedCode(context_, [&] { OurOutline(*font_, 2); }), kBadData);
}

TEST_F(CffProgram, HintMasksAreSkippedByTheirStemCount) {
  // Three stem pairs need one mask byte; the byte 0xFF would be a number
  // if it were not skipped.
  Bytes glyph = T2({500, 0, 10, 20, 10, 40, 10, kHstemhm, kHintmask});
  glyph.push_back(0xFF);
  Bytes rest = T2({100, 0, kRmoveto, 300, 0, 0, 300, -300, 0, kRlineto, kEndchar});
  glyph.insert(glyph.end(), rest.begin(), rest.end());
  ASSERT_NE(Load(BuildCff({".notdef", "hinted"}, {T2({kEndchar}), glyph})), nullptr);
  EXPECT_EQ(font_->GlyphAdvance(1), 500 << 16);
  Outline o = OurOutline(*font_, 1);
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(o[0].start.x, 100);
}

TEST_F(CffProgram, EndcharWithFourArgumentsBuildsTheAccentedGlyph) {
  // "A" is the square; "acute" a small triangle; "Aacute" = A + acute at (50, 400).
  Bytes acute = T2({0, 0, kRmoveto, 100, 0, -50, 80, kRlineto, kEndchar});
  Bytes aacute = T2({50, 400, 'A', 0xC2, kEndchar});  // StandardEncoding: 'A' = 65, acute = 0xC2
  ASSERT_NE(Load(BuildCff({".notdef", "A", "acute", "Aacute"}, {T2({kEndchar}), Square(), acute, aacute})), nullptr);
  Outline o;
  ASSERT_EQ(RaisedCode(context_, [&] { o = OurOutline(*font_, 3); }), -1);
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[0].start.x, 100);
  EXPECT_EQ(o[1].start.x, 50);
  EXPECT_EQ(o[1].start.y, 400);
  ReferenceFace reference(bytes_);
  Outline theirs;
  ASSERT_TRUE(reference.Load(3, theirs));
  EXPECT_EQ(CompareOutlines(o, theirs, 0.01), "");
}

TEST_F(CffProgram, DamagedDataIsRefusedWhileLoading) {
  Bytes cff = BuildCff({".notdef", "square"}, {T2({kEndchar}), Square()});
  for (size_t cut : {size_t{3}, size_t{20}, cff.size() / 2, cff.size() - 40}) {
    Bytes truncated(cff.begin(), cff.begin() + static_cast<long>(cut));
    EXPECT_EQ(Load(truncated), nullptr) << cut;
  }
  EXPECT_EQ(context_.Budget().BytesInUse(), 0u);
}

TEST_F(CffProgram, ACffTableInsideAnSfntIsACffProgram) {
  Bytes cff = BuildCff({".notdef", "square"}, {T2({kEndchar}), Square()});
  Bytes otf = BuildSfnt(0x4F54544F, {{"CFF ", cff}});
  Bytes probe = otf;
  Owned<data_io::DataStore> store(context_, New<data_io::RawDataStore>(context_, context_, probe.data(), probe.size()));
  Scoped<fonts::FontData> data(context_, context_, store.get());
  EXPECT_EQ(fonts::RecogniseFontFile(*data), fonts::FontFileFormat::kCff);
  ASSERT_NE(Load(otf), nullptr);
  EXPECT_EQ(OurOutline(*font_, 1).size(), 1u);
}

}  // namespace
}  // namespace vn::test
