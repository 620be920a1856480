// The coverage of one text run: the union of its glyph bitmaps, combined
// row by row with a bitwise OR of the coverage bytes (the font engine
// renders each glyph once per size; overlapping glyphs are not summed).
#pragma once

#include <cstdint>

#include "im/pixel_buffer.h"
#include "im/raster_painter.h"
#include "runtime/engine_array.h"

namespace vn::im {

// A glyph placed on the page: its device pixel box and its coverage bitmap,
// rows of (x1 - x0) bytes, top row first. Owned by the caller.
struct GlyphRecord {
  int32_t x0, y0, x1, y1;
  const uint8_t* bitmap;
};

class TextRasterPainter final : public RasterPainter {
 public:
  // `glyphs` must stay valid while the painter is used.
  TextRasterPainter(AppContext& context, const GlyphRecord* glyphs, uint32_t count);
  ~TextRasterPainter() { Reset(); }
  TextRasterPainter(const TextRasterPainter&) = delete;
  TextRasterPainter& operator=(const TextRasterPainter&) = delete;

  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t) override {}

  const PixelBuffer& Output() const { return output_; }
  bool HasOutput() const { return row_ >= box_.y0 && row_ < box_.y1; }
  void Produce(int32_t, int32_t) {}
  // Partial over the run's box on rows inside it, empty elsewhere.
  PixelRun RunAt(int32_t x) const;
  const PixelRect& Box() const { return box_; }

  void Reset() { rowBytes_.Reset(); }

 private:
  const GlyphRecord* glyphs_;
  uint32_t count_;
  PixelRect box_;
  EngineArray<uint8_t> rowBytes_;
  PixelBuffer output_;
  int32_t row_;
};

}  // namespace vn::im
