// Glyph bitmaps and the glyph cache.
//
// A glyph mask is one glyph's 8-bit coverage at one size (0 outside, 255
// inside, the exact area fraction on the edges): a box in device pixels
// relative to the glyph's placement pixel, and its bytes row by row.
//
// A BitmapCache holds the masks of one font program under one
// text-to-device matrix. The caches of a program are purgeable entries of
// its cache set (BitmapCacheSet), keyed by the matrix: the cache manager
// drops a cache nobody holds, whole, when the memory budget asks for bytes;
// single masks are never evicted. A cache's accounted size grows with the
// masks it keeps (its pool + 8 bytes a mask + 172).
//
// What is kept and what is drawn for one draw only:
//  - under 200 pixels per em (every linear coefficient of the matrix below
//    200.0 in magnitude) a glyph is rendered once, inside a box of 200
//    pixels around its origin, and kept;
//  - a glyph that reaches past that box (a big delimiter, a drop capital)
//    and every glyph at 200 pixels per em or more is drawn whole, through
//    the rasterizer, over its visible part only (the device clip with 2
//    pixels to spare), into the caller's TransientGlyph; it is never cut at
//    the cache's box and never kept.
//  - a glyph whose data is damaged, or that lies beyond the program, draws
//    nothing (an empty mask).
//
// Placement. A cache's matrix carries the glyph's linear transform and, as
// its translation, the origin's sub-pixel phase (0 <= tx, ty < 1 pixel;
// whole pixels in tx and ty are dropped). PlaceGlyph picks the placement
// pixel and phase for a device origin; with one horizontal phase it is the
// usual rule (x rounded at a quarter pixel, y to nearest) and every glyph of
// a size shares one cache; more phases place glyphs closer to their true
// position at the cost of one cache per phase in use.
//
// Drawing a run of text (the text painter's side):
//   Ref<BitmapCache> cache(context, font.MakeBitmapCache(textToDevice));  // phase 0
//   Scoped<TransientGlyph> scratch(context, context);
//   for each glyph:
//     GlyphPlacement at = PlaceGlyph(deviceOrigin, 1);
//     const GlyphMask& mask = GlyphBitmap(*cache, glyph, deviceClip, at.pixelX, at.pixelY, *scratch);
//     device box = mask's box + (at.pixelX, at.pixelY); empty masks draw nothing
// A mask stays valid until the next GlyphBitmap call with the same
// TransientGlyph, or while its cache is held. Hold the program (and the PDF
// font that owns it) for as long as any of its caches: a cache refers to its
// program.
//
// For glyph outlines as paths (text clipping, stroked text) see
// glyph_path.h.
#pragma once

#include <cstdint>

#include "runtime/arena.h"
#include "runtime/cache_manager.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {
struct PixelRect;
}

namespace vn::fonts {

class Font;

struct GlyphMask {
  uint32_t glyph = 0;
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // relative to the placement pixel
  const uint8_t* coverage = nullptr;       // Width() * Height() bytes, rows top first
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  int32_t Width() const { return x1 - x0; }
  int32_t Height() const { return y1 - y0; }
};

// Where a glyph whose origin falls on device point `origin` (16.16) is
// drawn: the pixel its mask is placed relative to, and the sub-pixel phase
// of the cache to take it from (the translation of the cache's matrix).
// `horizontalPhases` (1..16) is how many phases a pixel is divided into
// horizontally; 1 gives phase 0 and pixelX = floor(x + 1/4) always.
// Vertically the origin is rounded to the nearest pixel.
struct GlyphPlacement {
  int32_t pixelX, pixelY;
  Fixed16_16 phaseX;
};
GlyphPlacement PlaceGlyph(FixedPoint origin, uint32_t horizontalPhases);

// A mask drawn for one draw only (a large glyph), in memory of its own that
// is reused from glyph to glyph. Declare as a Scoped local.
class TransientGlyph {
 public:
  explicit TransientGlyph(AppContext& context) : bytes_(context) {}
  GlyphMask mask;

 private:
  friend class BitmapCache;
  EngineArray<uint8_t> bytes_;
};

// What a font program keeps with one of its caches to draw at the cache's
// matrix (a TrueType program: its hinting state at that size). Made by the
// program on the cache's first glyph; counted in the cache's footprint.
class CacheState {
 public:
  virtual ~CacheState() = default;
  virtual uint32_t MemorySize() const = 0;
};

class BitmapCache : public RefCounted {
 public:
  // Caches are made by Font::MakeBitmapCache.
  BitmapCache(AppContext& context, Font& font, const FixedMatrix& matrix);
  ~BitmapCache() override;

  // Text space -> device space around the glyph's placement pixel.
  const FixedMatrix& Matrix() const { return matrix_; }
  // True when glyphs at this matrix are kept (below 200 pixels per em).
  bool Caching() const { return caching_; }
  // The pool's size + 8 bytes per kept mask + 172, and the program's state.
  uint32_t Footprint() const;
  uint32_t MaskCount() const { return count_; }

 private:
  friend class BitmapCacheSet;
  friend const GlyphMask& GlyphBitmap(BitmapCache& cache, uint32_t glyph, const im::PixelRect& clip,
                                      int32_t pixelX, int32_t pixelY, TransientGlyph& transient);
  const GlyphMask& Get(uint32_t glyph, const im::PixelRect& clip, int32_t pixelX, int32_t pixelY,
                       TransientGlyph& transient);
  template <class Allocate>
  bool Render(uint32_t glyph, const im::PixelRect& box, bool mustFit, GlyphMask& out, Allocate&& allocate);
  GlyphMask* Find(uint32_t glyph) const;
  void Insert(GlyphMask* mask);

  AppContext& context_;
  Font& font_;
  FixedMatrix matrix_;
  bool caching_;
  Arena pool_;
  EngineArray<GlyphMask*> table_;  // open addressing by glyph id
  uint32_t count_ = 0;
  CacheEntry* entry_ = nullptr;    // ours in the program's set, for size updates
  Owned<CacheState> fontState_;
};

// The mask of `glyph` from `cache`: the kept one, or one rendered into
// `transient` for this draw. `clip` is the device clip and (pixelX, pixelY)
// the glyph's placement pixel (PlaceGlyph). Raises only kOutOfMemory and
// kCancelled; a damaged glyph gives an empty mask.
inline const GlyphMask& GlyphBitmap(BitmapCache& cache, uint32_t glyph, const im::PixelRect& clip, int32_t pixelX,
                                    int32_t pixelY, TransientGlyph& transient) {
  return cache.Get(glyph, clip, pixelX, pixelY, transient);
}

// A program's caches, keyed by matrix (linear part and sub-pixel phase).
struct BitmapCacheKey {
  FixedMatrix matrix;
  bool operator==(const BitmapCacheKey& other) const { return matrix == other.matrix; }
};
uint32_t CacheKeyHash(const BitmapCacheKey& key);

class BitmapCacheSet final : public CacheSet<BitmapCacheKey> {
 public:
  using CacheSet<BitmapCacheKey>::CacheSet;
  // The cache for `matrix` (its translation reduced to the sub-pixel
  // phase), made and inserted on a miss. Borrowed: hold it in a Ref.
  BitmapCache* FindOrMake(Font& font, const FixedMatrix& matrix);

 private:
  friend class BitmapCache;
  void Grew(BitmapCache& cache, uint64_t renderTicks);
  void Destroy(AppContext& context, RefCounted* value) override;
};

}  // namespace vn::fonts
