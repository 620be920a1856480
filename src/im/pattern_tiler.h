// The pattern tiler: a tiling pattern's cell, rendered once into a tile
// raster, repeated over the plane as a colour source ("what" painter, see
// raster_compositing.h).
//
// The tile holds 4 bytes per pixel, blue, green, red and alpha, colour
// premultiplied by alpha (transparent where the cell paints nothing). An
// ImageMapping set with the tile's size takes each device pixel back to a
// tile position; positions wrap around the tile's width and height, so one
// lattice step of the pattern is one tile.
#pragma once

#include <cstdint>

#include "im/image_sampler.h"
#include "im/raster_compositing.h"

namespace vn::im {

inline constexpr int32_t kTileBytesPerPixel = 4;

// A tile buffer's planes for painting into it: colour in device order and
// alpha interleaved, 4 bytes per pixel, `width` x `height` from (0, 0).
PixelBuffer TileBuffer(uint8_t* pixels, int32_t width, int32_t height);

class PatternTiler : public SampledRowSource {
 public:
  // `pixels` (width x height, 4 bytes each) must outlive the tiler. The
  // tile's content lies `shiftX`, `shiftY` (16.16 tile pixels) from where
  // `mapping` puts the lattice.
  PatternTiler(AppContext& context, const uint8_t* pixels, uint32_t width, uint32_t height,
               const ImageMapping& mapping, Fixed16_16 shiftX, Fixed16_16 shiftY, uint8_t constantAlpha);

  void Produce(int32_t x, int32_t n);

 private:
  void CopyRow(int64_t tileX, int64_t tileY, int32_t n, PixelBuffer& out) const;

  const uint8_t* pixels_;
  int64_t width_, height_;
  const ImageMapping& mapping_;
  int64_t shiftX_, shiftY_;  // 32.32
  uint8_t constantAlpha_;
};

}  // namespace vn::im
