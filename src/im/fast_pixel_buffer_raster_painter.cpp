#include "im/fast_pixel_buffer_raster_painter.h"

namespace vn::im {

namespace {

bool FlatFull(const PixelPlane& plane) { return plane.pixelStep == 0 && plane.base[plane.firstChannel] == 255; }

}  // namespace

FastPixelBufferRasterPainter::FastPixelBufferRasterPainter(const PixelBuffer& buffer) : buffer_(buffer) {
  const bool opaque = (!buffer.shape.Present() || FlatFull(buffer.shape)) &&
                      (!buffer.alpha.Present() || FlatFull(buffer.alpha));
  inside_ = opaque ? kRunFull : kRunPartial;
}

PixelRun FastPixelBufferRasterPainter::RunAt(int32_t x) const {
  if (!HasOutput() || x >= buffer_.x1) return PixelRun{kRunEmpty, kRowEnd};
  if (x < buffer_.x0) return PixelRun{kRunEmpty, buffer_.x0};
  return PixelRun{inside_, buffer_.x1};
}

RectangleRasterPainter::RectangleRasterPainter(const PixelRect& rect) : rect_(rect) {
  output_.x0 = kRowStart;
  output_.x1 = kRowEnd;
  output_.y0 = kRowStart;
  output_.y1 = kRowEnd;
  output_.shape = PixelPlane{&full_, 0, 1, 0};
  output_.alpha = output_.shape;
}

PixelRun RectangleRasterPainter::RunAt(int32_t x) const {
  if (!HasOutput() || x >= rect_.x1) return PixelRun{kRunEmpty, kRowEnd};
  if (x < rect_.x0) return PixelRun{kRunEmpty, rect_.x0};
  return PixelRun{kRunFull, rect_.x1};
}

}  // namespace vn::im
