#include "im/pixel_buffer.h"

#include "im/signal.h"

namespace vn::im {

PixelBuffer LERGBBuffer(uint8_t* pixels, int32_t x0, int32_t y0, int32_t x1, int32_t y1, ptrdiff_t rowStride) {
  PixelBuffer buffer;
  buffer.x0 = x0;
  buffer.y0 = y0;
  buffer.x1 = x1;
  buffer.y1 = y1;
  buffer.rowStride = rowStride;
  buffer.channels = 3;
  buffer.color = PixelPlane{pixels, kLERGBFirstChannel, kLERGBChannelStep, kLERGBPixelStep};
  return buffer;
}

namespace {

// Every row and column: a flat buffer's rectangle.
void Everywhere(PixelBuffer& buffer) {
  buffer.x0 = buffer.y0 = -0x7FFFFFFF - 1;
  buffer.x1 = buffer.y1 = 0x7FFFFFFF;
  buffer.rowStride = 0;
}

}  // namespace

FlatCoverage::FlatCoverage(uint8_t value) : byte(value) {
  Everywhere(buffer);
  buffer.shape = PixelPlane{&byte, 0, 1, 0};
  buffer.alpha = buffer.shape;
}

FlatColor::FlatColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
    : bgr{static_cast<uint8_t>(Mul(blue, alpha)), static_cast<uint8_t>(Mul(green, alpha)),
          static_cast<uint8_t>(Mul(red, alpha))},
      alphaByte(alpha) {
  Everywhere(buffer);
  buffer.channels = 3;
  buffer.color = PixelPlane{bgr, kLERGBFirstChannel, kLERGBChannelStep, 0};
  if (alpha != 255) buffer.alpha = PixelPlane{&alphaByte, 0, 1, 0};
}

}  // namespace vn::im
