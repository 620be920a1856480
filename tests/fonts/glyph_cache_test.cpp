// Glyph bitmaps and their caches: what is cached, what is drawn for one
// draw only, large glyphs drawn whole, damaged glyphs drawn empty, and the
// caches as purgeable entries.
#include <gtest/gtest.h>

#include "font_program_fixture.h"
#include "fonts/glyph_cache.h"
#include "im/raster_painter.h"
#include "runtime/memory_budget.h"

namespace vn::test {
namespace {

Bytes Square(int x0, int y0, int x1, int y1) {
  return SimpleGlyph({{{x0, y0, true}, {x0, y1, true}, {x1, y1, true}, {x1, y0, true}}});
}

// Glyph 1: a square of half an em; glyph 2: a bar three ems tall (a big
// delimiter); glyph 3: a record too short to be a glyph.
Bytes TestFont() {
  return BuildTrueType({Bytes(), Square(0, 0, 500, 500), Square(0, -1000, 200, 2000), Bytes{0, 1, 0}}, 1000);
}

class GlyphCache : public FontProgramTest {
 protected:
  const im::PixelRect page_{0, 0, 2000, 2000};
};

FixedMatrix Scale(int pixels) { return FixedMatrix{pixels << 16, 0, 0, -(pixels << 16), 0, 0}; }

TEST_F(GlyphCache, SmallGlyphsAreRenderedOnceAndKept) {
  ASSERT_NE(Load(TestFont()), nullptr);
  Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(20)));
  EXPECT_EQ(font_->MakeBitmapCache(Scale(20)), cache.get());
  EXPECT_TRUE(cache->Caching());
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  const fonts::GlyphMask& first = fonts::GlyphBitmap(*cache, 1, page_, 100, 100, *scratch);
  // Half an em at 20 pixels: a 10 x 10 square above the baseline.
  EXPECT_EQ(first.x0, 0);
  EXPECT_EQ(first.x1, 10);
  EXPECT_EQ(first.y0, -10);
  EXPECT_EQ(first.y1, 0);
  EXPECT_EQ(first.coverage[0], 255);
  const fonts::GlyphMask& again = fonts::GlyphBitmap(*cache, 1, page_, 500, 700, *scratch);
  EXPECT_EQ(&again, &first);
  EXPECT_EQ(cache->MaskCount(), 1u);
  EXPECT_GE(cache->Footprint(), 100u + 8 + 172);
}

TEST_F(GlyphCache, GlyphsAt250PixelsPerEmAreNotKept) {
  ASSERT_NE(Load(TestFont()), nullptr);
  Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(250)));
  EXPECT_FALSE(cache->Caching());
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  const fonts::GlyphMask& b = fonts::GlyphBitmap(*cache, 1, page_, 100, 300, *scratch);
  EXPECT_EQ(&b, &scratch->mask);
  EXPECT_EQ(b.x1 - b.x0, 125);
  EXPECT_EQ(cache->MaskCount(), 0u);
  // Only the visible part is rendered: a clip ending 20 pixels right of
  // the origin gives at most 22 columns.
  const fonts::GlyphMask& clipped = fonts::GlyphBitmap(*cache, 1, im::PixelRect{0, 0, 120, 2000}, 100, 300, *scratch);
  EXPECT_LE(clipped.x1, 22);
}

TEST_F(GlyphCache, GlyphsReachingPastTheCacheBoxAreDrawnWhole) {
  ASSERT_NE(Load(TestFont()), nullptr);
  // At 150 pixels per em the bar reaches 300 pixels above and 150 below
  // its origin: past the cache's 200-pixel box, so it is drawn whole.
  Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(150)));
  ASSERT_TRUE(cache->Caching());
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  const fonts::GlyphMask& b = fonts::GlyphBitmap(*cache, 2, page_, 500, 500, *scratch);
  EXPECT_EQ(b.y0, -300);
  EXPECT_EQ(b.y1, 150);
  EXPECT_EQ(cache->MaskCount(), 0u);
}

TEST_F(GlyphCache, ADamagedGlyphDrawsNothing) {
  ASSERT_NE(Load(TestFont()), nullptr);
  Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(12)));
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  EXPECT_TRUE(fonts::GlyphBitmap(*cache, 3, page_, 10, 10, *scratch).Empty());
  EXPECT_FALSE(fonts::GlyphBitmap(*cache, 1, page_, 10, 10, *scratch).Empty());
  // Glyph ids beyond the font draw nothing either.
  EXPECT_TRUE(fonts::GlyphBitmap(*cache, 4000, page_, 10, 10, *scratch).Empty());
}

TEST_F(GlyphCache, APhaseShiftsTheGlyphWithinItsPixel) {
  ASSERT_NE(Load(TestFont()), nullptr);
  FixedMatrix half = Scale(20);
  half.tx = kFixedHalf;
  Ref<fonts::BitmapCache> shifted(context_, font_->MakeBitmapCache(half));
  // Whole pixels of the translation only move the placement pixel.
  FixedMatrix farther = half;
  farther.tx += 7 << 16;
  farther.ty += 3 << 16;
  EXPECT_EQ(font_->MakeBitmapCache(farther), shifted.get());
  EXPECT_NE(font_->MakeBitmapCache(Scale(20)), shifted.get());
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  const fonts::GlyphMask& b = fonts::GlyphBitmap(*shifted, 1, page_, 100, 100, *scratch);
  // The 10-pixel square from x = 0.5 to 10.5: half-covered end columns.
  ASSERT_EQ(b.x0, 0);
  ASSERT_EQ(b.x1, 11);
  EXPECT_EQ(b.coverage[0], 127);
  EXPECT_EQ(b.coverage[5], 255);
  EXPECT_EQ(b.coverage[10], 127);
}

TEST(GlyphPlacement, RoundsAsTheTextPainterExpects) {
  auto at = [](double x, double y, uint32_t phases) {
    return fonts::PlaceGlyph(FixedPoint{static_cast<Fixed16_16>(x * 65536), static_cast<Fixed16_16>(y * 65536)},
                             phases);
  };
  // One phase: x rounds up from three quarters, y from a half.
  EXPECT_EQ(at(10.7, 5.49, 1).pixelX, 10);
  EXPECT_EQ(at(10.75, 5.49, 1).pixelX, 11);
  EXPECT_EQ(at(10.7, 5.49, 1).pixelY, 5);
  EXPECT_EQ(at(10.7, 5.5, 1).pixelY, 6);
  EXPECT_EQ(at(-0.3, -0.6, 1).pixelX, -1);
  EXPECT_EQ(at(-0.3, -0.6, 1).pixelY, -1);
  EXPECT_EQ(at(10.7, 5.5, 1).phaseX, 0);
  // Four phases: the nearest quarter pixel.
  const fonts::GlyphPlacement q = at(10.3, 0, 4);
  EXPECT_EQ(q.pixelX, 10);
  EXPECT_EQ(q.phaseX, kFixedOne / 4);
  EXPECT_EQ(at(10.9, 0, 4).pixelX, 11);
  EXPECT_EQ(at(10.9, 0, 4).phaseX, 0);
  EXPECT_EQ(at(-0.3, 0, 4).pixelX, -1);
  EXPECT_EQ(at(-0.3, 0, 4).phaseX, 3 * kFixedOne / 4);
}

TEST_F(GlyphCache, FootprintsAreCountedAsMasksAreAdded) {
  ASSERT_NE(Load(TestFont()), nullptr);
  const uint32_t before = context_.Caches().TotalBytes();
  Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(30)));
  const uint32_t empty = cache->Footprint();
  EXPECT_EQ(empty, 172u);
  EXPECT_EQ(context_.Caches().TotalBytes(), before + empty);
  Scoped<fonts::TransientGlyph> scratch(context_, context_);
  fonts::GlyphBitmap(*cache, 1, page_, 10, 10, *scratch);
  fonts::GlyphBitmap(*cache, 0, page_, 10, 10, *scratch);  // empty, kept too
  EXPECT_EQ(cache->MaskCount(), 2u);
  EXPECT_GE(cache->Footprint(), empty + 15u * 15u + 2 * 8);
  EXPECT_EQ(context_.Caches().TotalBytes(), before + cache->Footprint());
}

TEST_F(GlyphCache, CachesArePurgeableWhenNobodyHoldsThem) {
  ASSERT_NE(Load(TestFont()), nullptr);
  {
    Ref<fonts::BitmapCache> cache(context_, font_->MakeBitmapCache(Scale(12)));
    Scoped<fonts::TransientGlyph> scratch(context_, context_);
    fonts::GlyphBitmap(*cache, 1, page_, 10, 10, *scratch);
    context_.Caches().LowMemory();
    EXPECT_EQ(font_->BitmapCaches().EntryCount(), 1u);  // held
  }
  context_.Caches().LowMemory();
  EXPECT_EQ(font_->BitmapCaches().EntryCount(), 0u);
}

// Under a small budget, filling caches for many sizes purges the caches
// nobody holds, whole, and never the one in use, whose masks stay valid.
TEST(GlyphCacheBudget, CachesArePurgedUnderPressure) {
  AppContext context(BudgetLimits{400000, 100000, 600000});
  Bytes bytes = TestFont();
  Owned<fonts::Font> font(context, LoadProgram(context, bytes));
  ASSERT_TRUE(font);
  const im::PixelRect page{0, 0, 2000, 2000};
  Scoped<fonts::TransientGlyph> scratch(context, context);
  Ref<fonts::BitmapCache> held(context, font->MakeBitmapCache(Scale(40)));
  const fonts::GlyphMask& kept = fonts::GlyphBitmap(*held, 1, page, 0, 0, *scratch);
  const uint8_t* keptBytes = kept.coverage;
  int made = 0;
  for (int px = 60; px < 200; ++px, ++made) {
    // Each cache keeps one square of px / 2 pixels: over a megabyte in all.
    Ref<fonts::BitmapCache> cache(context, font->MakeBitmapCache(Scale(px)));
    fonts::GlyphBitmap(*cache, 1, page, 0, 0, *scratch);
    EXPECT_LE(context.Budget().BytesInUse(), 600000u);
  }
  EXPECT_LT(font->BitmapCaches().EntryCount(), static_cast<uint32_t>(made));
  EXPECT_LE(context.Caches().TotalBytes(), 400000u);
  // The held cache survived with its mask.
  EXPECT_EQ(font->MakeBitmapCache(Scale(40)), held.get());
  EXPECT_EQ(held->MaskCount(), 1u);
  EXPECT_EQ(fonts::GlyphBitmap(*held, 1, page, 0, 0, *scratch).coverage, keptBytes);
  EXPECT_EQ(keptBytes[0], 255);
}

}  // namespace
}  // namespace vn::test
