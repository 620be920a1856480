#include "im/pattern_tiler.h"

namespace vn::im {

namespace {

inline uint8_t Mul(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 127;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// v modulo `size`, in [0, size).
inline int64_t Wrap(int64_t v, int64_t size) {
  const int64_t r = v % size;
  return r < 0 ? r + size : r;
}

}  // namespace

PixelBuffer TileBuffer(uint8_t* pixels, int32_t width, int32_t height) {
  PixelBuffer b;
  b.x1 = width;
  b.y1 = height;
  b.rowStride = static_cast<ptrdiff_t>(width) * kTileBytesPerPixel;
  b.channels = 3;
  b.color = PixelPlane{pixels, kLERGBFirstChannel, kLERGBChannelStep, kTileBytesPerPixel};
  b.alpha = PixelPlane{pixels, 3, 1, kTileBytesPerPixel};
  return b;
}

PatternTiler::PatternTiler(AppContext& context, const uint8_t* pixels, uint32_t width, uint32_t height,
                           const ImageMapping& mapping, uint8_t constantAlpha)
    : pixels_(pixels), width_(width), height_(height), mapping_(mapping), constantAlpha_(constantAlpha),
      scratch_(context) {}

void PatternTiler::Produce(int32_t x, int32_t n) {
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 3);
  int64_t sx, sy;
  mapping_.Locate(x, row_, sx, sy);
  const int64_t stepX = mapping_.StepXx(), stepY = mapping_.StepXy();
  uint8_t* color = out.color.base;
  for (int32_t i = 0; i < n; ++i, sx += stepX, sy += stepY, color += 3) {
    const int64_t tx = Wrap(sx >> 32, width_), ty = Wrap(sy >> 32, height_);
    const uint8_t* p = pixels_ + (ty * width_ + tx) * kTileBytesPerPixel;
    out.alpha.base[i] = out.shape.base[i] = Mul(p[3], constantAlpha_);
    color[0] = Mul(p[0], constantAlpha_);  // B, G, R as stored
    color[1] = Mul(p[1], constantAlpha_);
    color[2] = Mul(p[2], constantAlpha_);
  }
}

}  // namespace vn::im
