// Pixel buffers: a rectangle of pixels with up to three optional planes
// (shape, alpha, colour), each described by an iterator record, so a painter
// can read the page, a row of its own, or one repeated pixel the same way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vn::im {

// Channel c of pixel x on row y lies at
//   base + (y - y0) * rowStride + (x - x0) * pixelStep + firstChannel + c * channelStep
// (x0, y0, rowStride from the buffer). A pixel step of 0 repeats one pixel
// along the row: a flat colour.
struct PixelPlane {
  uint8_t* base = nullptr;  // null: the plane is absent
  int32_t firstChannel = 0;
  int32_t channelStep = 1;
  int32_t pixelStep = 1;
  bool Present() const { return base != nullptr; }
};

struct PixelBuffer {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  ptrdiff_t rowStride = 0;  // 0: every row reads the same bytes
  uint32_t channels = 0;    // colour channels
  PixelPlane shape;         // one byte per pixel
  PixelPlane alpha;         // one byte per pixel; colour is premultiplied by it
  PixelPlane color;         // `channels` bytes per pixel

  // The first channel of pixel (x, y) in `plane`.
  uint8_t* At(const PixelPlane& plane, int32_t x, int32_t y) const {
    return plane.base + (static_cast<ptrdiff_t>(y) - y0) * rowStride +
           (static_cast<ptrdiff_t>(x) - x0) * plane.pixelStep + plane.firstChannel;
  }
};

// The device pixel order: three bytes blue, green, red, so channel 0 (red)
// is at byte 2 and the channel step is -1.
inline constexpr int32_t kLERGBFirstChannel = 2;
inline constexpr int32_t kLERGBChannelStep = -1;
inline constexpr int32_t kLERGBPixelStep = 3;

// A page buffer of 3-byte B,G,R pixels, opaque (no shape or alpha plane).
PixelBuffer LERGBBuffer(uint8_t* pixels, int32_t x0, int32_t y0, int32_t x1, int32_t y1, ptrdiff_t rowStride);

// True when `plane` holds three channels in device order.
inline bool IsLERGB(const PixelBuffer& buffer) {
  return buffer.channels == 3 && buffer.color.firstChannel == kLERGBFirstChannel &&
         buffer.color.channelStep == kLERGBChannelStep && buffer.color.pixelStep == kLERGBPixelStep;
}

// One colour repeated over every pixel of every row (pixel step 0). Red,
// green, blue and alpha are bytes; the colour is stored premultiplied and in
// device order. Keep the object alive while its buffer is in use.
struct FlatColor {
  FlatColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha = 255);
  FlatColor(const FlatColor&) = delete;
  FlatColor& operator=(const FlatColor&) = delete;
  bool Opaque() const { return alphaByte == 255; }

  uint8_t bgr[3];
  uint8_t alphaByte;
  PixelBuffer buffer;
};

// One coverage (or alpha) byte over every pixel: a constant alpha as a
// shape painter's buffer (shape and alpha planes, pixel step 0).
struct FlatCoverage {
  explicit FlatCoverage(uint8_t value);
  FlatCoverage(const FlatCoverage&) = delete;
  FlatCoverage& operator=(const FlatCoverage&) = delete;

  uint8_t byte;
  PixelBuffer buffer;
};

}  // namespace vn::im
