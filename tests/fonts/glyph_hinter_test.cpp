// Hinted glyphs of a TrueType font built here: each glyph's own program,
// composites made of hinted components, faults that leave one glyph (or the
// whole font) unhinted, and the glyph caches' use of them.
#include <gtest/gtest.h>

#include "font_builders.h"
#include "fonts/glyph_outline.h"
#include "fonts/hinting/glyph_hinter.h"
#include "outline_compare.h"
#include "runtime/engine_new.h"

namespace vn::test {
namespace {

// A simple glyph with instructions.
Bytes InstructedGlyph(const std::vector<std::vector<TtPoint>>& contours, const Bytes& instructions) {
  Bytes b = SimpleGlyph(contours);
  const size_t at = 10 + 2 * contours.size();  // the instruction length after the contour ends
  b[at] = static_cast<unsigned char>(instructions.size() >> 8);
  b[at + 1] = static_cast<unsigned char>(instructions.size() & 0xFF);
  b.insert(b.begin() + static_cast<long>(at + 2), instructions.begin(), instructions.end());
  return b;
}

const std::vector<std::vector<TtPoint>> kSquare = {
    {{100, 0, true}, {100, 300, true}, {400, 300, true}, {400, 0, true}}};
// Point 0 half a pixel to the right.
const Bytes kShiftHalfPixel = {0xB1, 0, 32, 0x38};  // PUSHB[1] 0 32, SHPIX
const Bytes kUnderflow = {0x21};                     // POP on an empty stack

Bytes TestFont(const Bytes& fpgm = {}) {
  std::map<std::string, Bytes> extra;
  if (!fpgm.empty()) extra["fpgm"] = fpgm;
  return BuildTrueType({Bytes(), InstructedGlyph(kSquare, kUnderflow), InstructedGlyph(kSquare, kShiftHalfPixel),
                        CompositeGlyph({{2, 500, 0}})},
                       1000, extra);
}

class GlyphHinterTest : public ::testing::Test {
 protected:
  fonts::hinting::GlyphHinter& Hinter(const Bytes& bytes) {
    bytes_ = bytes;
    font_.Set(LoadProgram(context_, bytes_));
    hinter_.Set(New<fonts::hinting::GlyphHinter>(context_, context_, static_cast<fonts::parsers::TrueType&>(*font_)));
    fonts::hinting::HintingSize size;
    size.ppem = 10;  // 0.64 pixel per unit: 100 units are one pixel
    hinter_->SetSize(size);
    return *hinter_;
  }
  AppContext context_;
  Bytes bytes_;
  Owned<fonts::Font> font_{context_};
  Owned<fonts::hinting::GlyphHinter> hinter_{context_};
  Scoped<fonts::hinting::HintedGlyph> glyph_{context_, context_};
};

TEST_F(GlyphHinterTest, EachGlyphRunsItsOwnProgram) {
  fonts::hinting::GlyphHinter& hinter = Hinter(TestFont());
  ASSERT_TRUE(hinter.FontReady());
  hinter.Load(2, *glyph_);
  EXPECT_TRUE(glyph_->hinted);
  ASSERT_EQ(glyph_->points.Size(), 4u);
  EXPECT_EQ(glyph_->points[0].x, 96);  // one pixel and a half
  EXPECT_EQ(glyph_->points[1].x, 64);
  EXPECT_EQ(glyph_->points[2].y, 192);
  EXPECT_EQ(glyph_->advance, 320);  // 500 units, rounded to whole pixels
}

TEST_F(GlyphHinterTest, AFaultingGlyphIsDrawnUnhintedAlone) {
  fonts::hinting::GlyphHinter& hinter = Hinter(TestFont());
  hinter.Load(1, *glyph_);
  EXPECT_FALSE(glyph_->hinted);
  ASSERT_EQ(glyph_->points.Size(), 4u);
  EXPECT_EQ(glyph_->points[0].x, 64);
  hinter.Load(2, *glyph_);
  EXPECT_TRUE(glyph_->hinted);
  EXPECT_EQ(glyph_->points[0].x, 96);
}

TEST_F(GlyphHinterTest, CompositesPlaceHintedComponents) {
  fonts::hinting::GlyphHinter& hinter = Hinter(TestFont());
  hinter.Load(3, *glyph_);
  EXPECT_TRUE(glyph_->hinted);
  ASSERT_EQ(glyph_->points.Size(), 4u);
  EXPECT_EQ(glyph_->points[0].x, 96 + 320);
  EXPECT_EQ(glyph_->points[3].x, 256 + 320);
}

TEST_F(GlyphHinterTest, AFaultingFontProgramLeavesTheFontUnhinted) {
  fonts::hinting::GlyphHinter& hinter = Hinter(TestFont(kUnderflow));
  EXPECT_FALSE(hinter.FontReady());
  hinter.Load(2, *glyph_);
  EXPECT_FALSE(glyph_->hinted);
  EXPECT_EQ(glyph_->points[0].x, 64);
}

// The first point a glyph's outline moves to.
class FirstPoint final : public fonts::OutlineSink {
 public:
  void MoveTo(FixedPoint p) override {
    if (!seen) first = p;
    seen = true;
  }
  void LineTo(FixedPoint) override {}
  void CurveTo(FixedPoint, FixedPoint, FixedPoint) override {}
  void Close() override {}
  FixedPoint first{0, 0};
  bool seen = false;
};

TEST_F(GlyphHinterTest, GlyphCachesDrawHintedGlyphs) {
  Hinter(TestFont());
  // 2.5 pixels per em is hinted at 10 and scaled back: the half-pixel shift
  // becomes an eighth of a pixel.
  const FixedMatrix m{5 << 15, 0, 0, 5 << 15, 0, 0};
  Owned<fonts::CacheState> state(context_);
  FirstPoint hinted, plain;
  font_->AppendCacheOutline(2, m, state, hinted);
  font_->AppendOutline(2, m, plain);
  EXPECT_EQ(plain.first.x, 0x4000);  // 100 units: a quarter pixel
  EXPECT_EQ(hinted.first.x, 0x4000 + 0x2000);
  ASSERT_TRUE(state);
  EXPECT_GT(state->MemorySize(), 0u);
  // Another matrix keeps its own state; going back reuses the first.
  Owned<fonts::CacheState> other(context_);
  FirstPoint large, again;
  font_->AppendCacheOutline(2, FixedMatrix{20 << 16, 0, 0, 20 << 16, 0, 0}, other, large);
  font_->AppendCacheOutline(2, m, state, again);
  EXPECT_EQ(again.first.x, hinted.first.x);
}

}  // namespace
}  // namespace vn::test
