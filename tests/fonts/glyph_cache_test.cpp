// Glyph bitmaps and their caches: what is cached, what is drawn for one
// draw only, large glyphs drawn whole, damaged glyphs drawn empty, and the
// caches as purgeable entries.
#include <gtest/gtest.h>

#include "font_program_fixture.h"
#include "fonts/glyph_cache.h"
#include "im/raster_painter.h"

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

}  // namespace
}  // namespace vn::test
