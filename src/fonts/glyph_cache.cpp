#include "fonts/glyph_cache.h"

#include "fonts/font.h"
#include "fonts/glyph_path.h"
#include "im/bezier_raster_painter.h"
#include "platform/clock.h"
#include "runtime/checked_math.h"
#include "runtime/engine_new.h"

namespace vn::fonts {

namespace {

// Glyphs are kept below 200 pixels per em, inside a box of 200 pixels
// around their origin.
constexpr uint32_t kCachingLimit = 200u << 16;
constexpr int32_t kCacheReach = 200;
// Pixels a transient mask keeps beyond the device clip.
constexpr int32_t kClipMargin = 2;

bool Small(Fixed16_16 v) { return FixedMagnitude(v) < kCachingLimit; }

uint32_t GlyphHash(uint32_t glyph) { return glyph * 2654435761u; }

// The pixels that hold every point of the path (control points included,
// so they hold the curves too).
im::PixelRect PathExtent(const im::Path& path) {
  im::PixelRect r{0x7FFFFFFF, 0x7FFFFFFF, -0x7FFFFFFF, -0x7FFFFFFF};
  for (uint32_t i = 0; i < path.count; ++i) {
    const int32_t x = FixedFloor(im::PointX(path.points[i])), y = FixedFloor(im::PointY(path.points[i]));
    if (x < r.x0) r.x0 = x;
    if (y < r.y0) r.y0 = y;
    if (x + 1 > r.x1) r.x1 = x + 1;
    if (y + 1 > r.y1) r.y1 = y + 1;
  }
  return r;
}

bool Contains(const im::PixelRect& outer, const im::PixelRect& inner) {
  return inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 && inner.y1 <= outer.y1;
}

int32_t ClampCoordinate(int64_t v) {
  return static_cast<int32_t>(v < -0x3FFFFFFF ? -0x3FFFFFFF : (v > 0x3FFFFFFF ? 0x3FFFFFFF : v));
}

int32_t FloorDivide(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return ClampCoordinate(q);
}

}  // namespace

GlyphPlacement PlaceGlyph(FixedPoint origin, uint32_t horizontalPhases) {
  GlyphPlacement at{0, FloorDivide(int64_t{origin.y} + kFixedHalf, kFixedOne), 0};
  if (horizontalPhases <= 1) {
    at.pixelX = FloorDivide(int64_t{origin.x} + kFixedOne / 4, kFixedOne);
    return at;
  }
  const int64_t phases = horizontalPhases > 16 ? 16 : horizontalPhases;
  // The nearest multiple of 1/phases pixel, split into pixel and phase.
  const int64_t step = FloorDivide(int64_t{origin.x} * phases + kFixedHalf, kFixedOne);
  at.pixelX = FloorDivide(step, phases);
  at.phaseX = static_cast<Fixed16_16>((step - int64_t{at.pixelX} * phases) * kFixedOne / phases);
  return at;
}

uint32_t CacheKeyHash(const BitmapCacheKey& key) {
  const FixedMatrix& m = key.matrix;
  uint64_t h = static_cast<uint32_t>(m.a);
  const Fixed16_16 rest[] = {m.b, m.c, m.d, m.tx, m.ty};
  for (Fixed16_16 v : rest) h = h * 0x100000001B3ull ^ static_cast<uint32_t>(v);
  return vn::CacheKeyHash(h);
}

BitmapCache::BitmapCache(AppContext& context, Font& font, const FixedMatrix& matrix)
    : context_(context), font_(font), matrix_(matrix),
      caching_(Small(matrix.a) && Small(matrix.b) && Small(matrix.c) && Small(matrix.d)),
      pool_(context, 4096, 2048), table_(context), fontState_(context) {}

BitmapCache::~BitmapCache() = default;

uint32_t BitmapCache::Footprint() const {
  return pool_.BytesReserved() + 8 * count_ + 172 + (fontState_ ? fontState_->MemorySize() : 0);
}

GlyphMask* BitmapCache::Find(uint32_t glyph) const {
  if (table_.Empty()) return nullptr;
  const uint32_t mask = table_.Size() - 1;
  for (uint32_t slot = GlyphHash(glyph) & mask; table_[slot] != nullptr; slot = (slot + 1) & mask) {
    if (table_[slot]->glyph == glyph) return table_[slot];
  }
  return nullptr;
}

void BitmapCache::Insert(GlyphMask* kept) {
  if ((count_ + 1) * 2 > table_.Size()) {
    // Rehash into twice the room (at least 32 slots).
    EngineArray<GlyphMask*> old(context_);
    old.Resize(table_.Size());
    for (uint32_t i = 0; i < table_.Size(); ++i) old[i] = table_[i];
    const uint32_t size = table_.Size() < 16 ? 32 : table_.Size() * 2;
    table_.Clear();
    table_.Resize(size);
    for (uint32_t i = 0; i < size; ++i) table_[i] = nullptr;
    for (GlyphMask* m : old) {
      if (m == nullptr) continue;
      uint32_t slot = GlyphHash(m->glyph) & (size - 1);
      while (table_[slot] != nullptr) slot = (slot + 1) & (size - 1);
      table_[slot] = m;
    }
  }
  const uint32_t mask = table_.Size() - 1;
  uint32_t slot = GlyphHash(kept->glyph) & mask;
  while (table_[slot] != nullptr) slot = (slot + 1) & mask;
  table_[slot] = kept;
  ++count_;
}

// Renders the glyph over `box` (pixels relative to the placement pixel)
// into `out`, its bytes from `allocate`. With `mustFit`, a glyph that
// reaches past `box` is not rendered and the answer is false. A glyph whose
// data is damaged, or too large for the rasterizer, renders empty.
template <class Allocate>
bool BitmapCache::Render(uint32_t glyph, const im::PixelRect& box, bool mustFit, GlyphMask& out,
                         Allocate&& allocate) {
  out = GlyphMask{glyph, 0, 0, 0, 0, nullptr};
  volatile bool fits = true;
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    Scoped<im::PathWriter> path(context_, context_);
    PathOutlineSink sink(*path);
    font_.AppendCacheOutline(glyph, matrix_, fontState_, sink);
    const im::Path view = path->View();
    if (view.count != 0) {
      const im::PixelRect extent = PathExtent(view);
      if (mustFit && !Contains(box, extent)) {
        fits = false;
      } else {
        const im::PixelRect area = im::Intersect(box, extent);
        if (!area.Empty()) {
          Scoped<im::BezierRasterPainter> painter(context_, context_, view, IdentityMatrix(), area, im::kNonZero);
          const im::PixelRect covered = painter->Bounds();
          if (!covered.Empty()) {
            const int32_t width = covered.x1 - covered.x0;
            uint8_t* bytes = allocate(CheckedMultiply(context_, static_cast<uint32_t>(width),
                                                      static_cast<uint32_t>(covered.y1 - covered.y0)));
            painter->RenderMask(covered, bytes, width);
            out = GlyphMask{glyph, covered.x0, covered.y0, covered.x1, covered.y1, bytes};
          }
        }
      }
    }
  } else {
    // The glyph alone is lost; the rest of the text still draws.
    const Error& error = Catch(frame);
    if (error.code != kBadData && error.code != kLimitExceeded) Rethrow(context_);
    out = GlyphMask{glyph, 0, 0, 0, 0, nullptr};
  }
  EndTry(frame);
  return fits;
}

const GlyphMask& BitmapCache::Get(uint32_t glyph, const im::PixelRect& clip, int32_t pixelX, int32_t pixelY,
                                  TransientGlyph& transient) {
  if (caching_) {
    if (GlyphMask* kept = Find(glyph)) return *kept;
    const uint64_t start = platform::QueryCounter();
    const im::PixelRect cacheBox{-kCacheReach, -kCacheReach, kCacheReach, kCacheReach};
    GlyphMask made;
    if (Render(glyph, cacheBox, true, made, [&](uint32_t n) { return static_cast<uint8_t*>(pool_.Allocate(n)); })) {
      auto* kept = static_cast<GlyphMask*>(pool_.Allocate(sizeof(GlyphMask)));
      *kept = made;
      Insert(kept);
      font_.BitmapCaches().Grew(*this, platform::QueryCounter() - start);
      return *kept;
    }
  }
  // Drawn whole for this draw only, over the visible part.
  const im::PixelRect box{ClampCoordinate(int64_t{clip.x0} - pixelX - kClipMargin),
                          ClampCoordinate(int64_t{clip.y0} - pixelY - kClipMargin),
                          ClampCoordinate(int64_t{clip.x1} - pixelX + kClipMargin),
                          ClampCoordinate(int64_t{clip.y1} - pixelY + kClipMargin)};
  const bool hadState = static_cast<bool>(fontState_);
  Render(glyph, box, false, transient.mask, [&](uint32_t n) {
    transient.bytes_.Resize(n);
    return transient.bytes_.Data();
  });
  if (!hadState && fontState_) font_.BitmapCaches().Grew(*this, 0);
  return transient.mask;
}

BitmapCache* BitmapCacheSet::FindOrMake(Font& font, const FixedMatrix& matrix) {
  // Whole pixels of the translation only move the placement pixel.
  FixedMatrix phased = matrix;
  phased.tx &= 0xFFFF;
  phased.ty &= 0xFFFF;
  const BitmapCacheKey key{phased};
  if (RefCounted* found = Find(key)) return static_cast<BitmapCache*>(found);
  Ref<BitmapCache> made(context_, New<BitmapCache>(context_, context_, font, phased));
  Insert(key, made.get(), 0, made->Footprint());
  made->entry_ = FindEntry(CacheKeyHash(key), &key);
  return made.get();
}

void BitmapCacheSet::Destroy(AppContext& context, RefCounted* value) {
  // A cache still held elsewhere outlives its entry.
  static_cast<BitmapCache*>(value)->entry_ = nullptr;
  value->Release(context);
}

void BitmapCacheSet::Grew(BitmapCache& cache, uint64_t renderTicks) {
  if (cache.entry_ == nullptr) return;
  // A cache that took long to fill costs more to lose.
  cache.entry_->creationTime += renderTicks;
  ResizeEntry(cache.entry_, cache.Footprint());
}

}  // namespace vn::fonts
