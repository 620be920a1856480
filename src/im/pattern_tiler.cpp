#include "im/pattern_tiler.h"

#include "im/signal.h"

namespace vn::im {

namespace {

// Positions within 1/64 pixel (32.32) of tile pixel centres sample those
// pixels alone: such offsets come from rounding the 16.16 matrices (a page
// at 150 dpi puts a 25-pixel tile 0.004 pixel off the grid), not from the
// pattern's placement, and resampling for them would only blur the tile.
constexpr int64_t kFuzz = int64_t{1} << 26;

// Whether a row's positions start + k (1 + drift), k < n, all lie within
// kFuzz of whole tile pixels (given how little `drift` may be).
bool OnWholePixels(int64_t start, int64_t drift, int32_t n) {
  constexpr int64_t kFraction = (int64_t{1} << 32) - 1;
  const int64_t end = start + drift * (n - 1);
  return drift > -kFuzz && drift < kFuzz && ((start + kFuzz) & kFraction) < 2 * kFuzz &&
         ((end + kFuzz) & kFraction) < 2 * kFuzz;
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
                           const ImageMapping& mapping, Fixed16_16 shiftX, Fixed16_16 shiftY,
                           uint8_t constantAlpha)
    : SampledRowSource(context), pixels_(pixels), width_(width), height_(height), mapping_(mapping),
      shiftX_(static_cast<int64_t>(shiftX) << 16), shiftY_(static_cast<int64_t>(shiftY) << 16),
      constantAlpha_(constantAlpha) {}

// A device row over a tile placed upright at its own resolution, on whole
// pixels: tile pixels copied (wrapping around the tile's width).
void PatternTiler::CopyRow(int64_t tileX, int64_t tileY, int32_t n, PixelBuffer& out) const {
  const uint8_t* row = pixels_ + tileY * width_ * kTileBytesPerPixel;
  uint8_t* color = out.color.base;
  for (int32_t i = 0; i < n; ++i, color += 3) {
    const uint8_t* p = row + tileX * kTileBytesPerPixel;
    if (++tileX == width_) tileX = 0;
    if (constantAlpha_ == 255) {
      out.alpha.base[i] = out.shape.base[i] = p[3];
      color[0] = p[0];  // B, G, R as stored
      color[1] = p[1];
      color[2] = p[2];
    } else {
      out.alpha.base[i] = out.shape.base[i] = Mul(p[3], constantAlpha_);
      color[0] = Mul(p[0], constantAlpha_);
      color[1] = Mul(p[1], constantAlpha_);
      color[2] = Mul(p[2], constantAlpha_);
    }
  }
}

void PatternTiler::Produce(int32_t x, int32_t n) {
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 3);
  int64_t sx, sy;
  mapping_.Locate(x, row_, sx, sy);
  const int64_t stepX = mapping_.StepXx(), stepY = mapping_.StepXy();
  constexpr int64_t kHalf = int64_t{1} << 31;
  const int64_t startX = sx + shiftX_ - kHalf, startY = sy + shiftY_ - kHalf;
  if (OnWholePixels(startX, stepX - (int64_t{1} << 32), n) && OnWholePixels(startY, stepY, n)) {
    CopyRow(Wrap((startX + kFuzz) >> 32, width_), Wrap((startY + kFuzz) >> 32, height_), n, out);
    return;
  }
  uint8_t* color = out.color.base;
  for (int32_t i = 0; i < n; ++i, sx += stepX, sy += stepY, color += 3) {
    // Bilinear between the four tile pixels around the position (tile
    // pixel centres), wrapping around the tile: the tile is resampled, so
    // its edges stay smooth at any angle.
    const int64_t gx = sx + shiftX_ - kHalf, gy = sy + shiftY_ - kHalf;
    const int64_t x0 = Wrap(gx >> 32, width_), y0 = Wrap(gy >> 32, height_);
    const int64_t x1 = x0 + 1 == width_ ? 0 : x0 + 1, y1 = y0 + 1 == height_ ? 0 : y0 + 1;
    const uint32_t fx = static_cast<uint32_t>((gx >> 24) & 255), fy = static_cast<uint32_t>((gy >> 24) & 255);
    const uint8_t* p00 = pixels_ + (y0 * width_ + x0) * kTileBytesPerPixel;
    const uint8_t* p01 = pixels_ + (y0 * width_ + x1) * kTileBytesPerPixel;
    const uint8_t* p10 = pixels_ + (y1 * width_ + x0) * kTileBytesPerPixel;
    const uint8_t* p11 = pixels_ + (y1 * width_ + x1) * kTileBytesPerPixel;
    uint8_t blended[4];
    for (int c = 0; c < 4; ++c) {
      const uint32_t top = p00[c] * (256 - fx) + p01[c] * fx;
      const uint32_t bottom = p10[c] * (256 - fx) + p11[c] * fx;
      blended[c] = static_cast<uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
    }
    out.alpha.base[i] = out.shape.base[i] = Mul(blended[3], constantAlpha_);
    color[0] = Mul(blended[0], constantAlpha_);  // B, G, R as stored
    color[1] = Mul(blended[1], constantAlpha_);
    color[2] = Mul(blended[2], constantAlpha_);
  }
}

}  // namespace vn::im
