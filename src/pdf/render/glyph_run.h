// The glyphs of one shown string filled from the glyph cache: each glyph's
// coverage mask placed at its device origin, ready for the text painter.
//
// A run holds its PDF font and the caches it takes masks from (one per
// sub-pixel phase in use): a cache refers to the font's program, so both
// stay alive together for as long as the run's masks are used.
//
// Small glyphs are placed at a quarter of a pixel horizontally (four
// phases, four caches); glyphs of kSinglePhaseSize pixels per em or more,
// whose edges a quarter pixel hardly moves, share one cache. Vertically the
// origin is rounded to the nearest pixel.
//
// Owns engine memory and Unwindables: a local is a Scoped.
#pragma once

#include <cstdint>

#include "fonts/glyph_cache.h"
#include "im/pixel_buffer.h"
#include "im/text_raster_painter.h"
#include "pdf/text/pdf_font.h"
#include "runtime/engine_array.h"

namespace vn::pdf::render {

class GlyphRun {
 public:
  static constexpr uint32_t kMaxPhases = 4;
  static constexpr int32_t kSinglePhaseSize = 48;
  static constexpr uint32_t kMaxRecords = 1024;

  // Glyphs of `font` (which must have a program) under `textToDevice` (its
  // translation is ignored: each glyph brings its origin), visible within
  // `clip`.
  GlyphRun(AppContext& context, text::PDFFont& font, const FixedMatrix& textToDevice, const im::PixelRect& clip);

  // Places `glyph` with its origin at device point `origin` (a glyph
  // outside the clip is dropped). True when the run must be painted (and
  // cleared) before the next Add: its last mask was drawn for this draw
  // only (a glyph too big to keep, whose memory the next Add reuses), or
  // it holds kMaxRecords glyphs (a long string costs bounded memory).
  bool Add(uint32_t glyph, FixedPoint origin);

  const im::GlyphRecord* Records() const { return records_.Data(); }
  uint32_t Count() const { return records_.Size(); }
  void Clear() { records_.Clear(); }

 private:
  fonts::BitmapCache& CacheFor(uint32_t phaseIndex, Fixed16_16 phase);

  Ref<text::PDFFont> font_;  // first in, last out: the caches refer to its program
  FixedMatrix linear_;
  im::PixelRect clip_;
  uint32_t phases_;
  Ref<fonts::BitmapCache> caches_[kMaxPhases];
  fonts::TransientGlyph transient_;
  EngineArray<im::GlyphRecord> records_;
};

}  // namespace vn::pdf::render
