// Painters over pixel buffers: the page (the destination of every chain),
// a flat colour or constant alpha (a one-pixel buffer with pixel step 0),
// and a rectangle of full coverage (a rectangular clip).
#pragma once

#include <cstdint>

#include "im/pixel_buffer.h"
#include "im/raster_painter.h"

namespace vn::im {

// A painter whose rows are complete as they are: the scanline operations
// only note the row, producing does nothing.
class CompleteRowsRasterPainter : public RasterPainter {
 public:
  void SetScanline(int32_t y) override { row_ = y; }
  void NextScanline() override { ++row_; }
  void SeekX(int32_t) override {}
  void Produce(int32_t, int32_t) {}
  int32_t Row() const { return row_; }

 protected:
  ~CompleteRowsRasterPainter() = default;
  int32_t row_ = 0;
};

// A pixel buffer as a painter. Its rows are complete: the scanline
// operations only note the row. Runs: empty outside the buffer's rectangle;
// inside it full when the buffer is opaque (no shape or alpha plane, or
// flat planes of 255), else partial.
class FastPixelBufferRasterPainter final : public CompleteRowsRasterPainter {
 public:
  explicit FastPixelBufferRasterPainter(const PixelBuffer& buffer);

  const PixelBuffer& Output() const { return buffer_; }
  bool HasOutput() const { return row_ >= buffer_.y0 && row_ < buffer_.y1; }
  PixelRun RunAt(int32_t x) const;

 private:
  PixelBuffer buffer_;
  RunKind inside_;
};

// Full coverage inside a rectangle, nothing outside: the clip of an area
// to draw, or of an axis-aligned clipping path.
class RectangleRasterPainter final : public CompleteRowsRasterPainter {
 public:
  explicit RectangleRasterPainter(const PixelRect& rect);

  const PixelBuffer& Output() const { return output_; }
  bool HasOutput() const { return row_ >= rect_.y0 && row_ < rect_.y1 && rect_.x0 < rect_.x1; }
  PixelRun RunAt(int32_t x) const;
  const PixelRect& Rect() const { return rect_; }

 private:
  PixelRect rect_;
  uint8_t full_ = 255;
  PixelBuffer output_;
};

}  // namespace vn::im
