#include "pdf/render/glyph_run.h"

#include "fonts/font.h"
#include "im/raster_painter.h"

namespace vn::pdf::render {

namespace {

bool Below(Fixed16_16 v, int32_t pixels) { return FixedMagnitude(v) < (static_cast<uint32_t>(pixels) << 16); }

}  // namespace

GlyphRun::GlyphRun(AppContext& context, text::PDFFont& font, const FixedMatrix& textToDevice,
                   const im::PixelRect& clip)
    : font_(context, &font), linear_{textToDevice.a, textToDevice.b, textToDevice.c, textToDevice.d, 0, 0},
      clip_(clip),
      phases_(Below(linear_.a, kSinglePhaseSize) && Below(linear_.b, kSinglePhaseSize) &&
                      Below(linear_.c, kSinglePhaseSize) && Below(linear_.d, kSinglePhaseSize)
                  ? kMaxPhases
                  : 1),
      caches_{Ref<fonts::BitmapCache>(context), Ref<fonts::BitmapCache>(context), Ref<fonts::BitmapCache>(context),
              Ref<fonts::BitmapCache>(context)},
      transient_(context), records_(context) {}

fonts::BitmapCache& GlyphRun::CacheFor(uint32_t phaseIndex, Fixed16_16 phase) {
  Ref<fonts::BitmapCache>& cache = caches_[phaseIndex];
  if (!cache) {
    FixedMatrix matrix = linear_;
    matrix.tx = phase;
    cache.Set(font_->Program()->MakeBitmapCache(matrix));
  }
  return *cache;
}

bool GlyphRun::Add(uint32_t glyph, FixedPoint origin) {
  const fonts::GlyphPlacement at = fonts::PlaceGlyph(origin, phases_);
  const uint32_t phaseIndex = static_cast<uint32_t>((static_cast<int64_t>(at.phaseX) * phases_) >> 16);
  fonts::BitmapCache& cache = CacheFor(phaseIndex, at.phaseX);
  const fonts::GlyphMask& mask = fonts::GlyphBitmap(cache, glyph, clip_, at.pixelX, at.pixelY, transient_);
  const im::PixelRect box{mask.x0 + at.pixelX, mask.y0 + at.pixelY, mask.x1 + at.pixelX, mask.y1 + at.pixelY};
  if (mask.Empty() || im::Intersect(box, clip_).Empty()) return false;
  records_.Push(im::GlyphRecord{box.x0, box.y0, box.x1, box.y1, mask.coverage});
  return &mask == &transient_.mask || records_.Size() >= kMaxRecords;
}

}  // namespace vn::pdf::render
