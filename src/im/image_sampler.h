// Image samplers and the painters that put sampled images on the page.
//
// An image reaches the imaging core as a SampleGrid: rows of decoded pixels
// in memory (RGB, RGB plus alpha, or one coverage byte), possibly a reduced
// (every 2^shift samples averaged) sub-rectangle of the image. An
// ImageMapping takes each device pixel's centre back through the inverse of
// the image matrix into the full image's sample space; any matrix works:
// flips, rotations and skews land on the right samples.
//
// base_image_sampler reads the grid at those positions. nn_image_sampler
// takes the nearest sample; filtering_image_sampler weighs the neighbours
// with a kernel of filter_kernels.h chosen for the drawing's scale along
// each axis of the grid (bilinear when enlarging with the default tent).
//
// Painters (the PainterInput operations of raster_painter.h):
// - ImageSamplerRasterPainter: an image's colour ("what"), opaque or with
//   alpha from the grid's own alpha channel, from a mask sampled through its
//   own mapping (a soft mask, or an explicit mask of another size), and a
//   constant alpha; a soft mask's Matte is removed from the colour.
// - ImageSamplerMaskRasterPainter: coverage from a one-channel grid
//   ("where"): image masks, painted with the fill colour.
// Both are combined with the image's outline (its parallelogram, as path
// coverage) and the clip by the compositing painters.
#pragma once

#include <cstdint>

#include "im/filter_kernels.h"
#include "im/raster_compositing.h"
#include "im/raster_painter.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {

struct SampleGrid {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0, height = 0;  // of the grid
  uint32_t channels = 0;           // bytes per pixel
  uint32_t rowBytes = 0;
  // Grid pixel (i, j) holds the average of the image's samples
  // [(originX + i) << shift, ...) x [(originY + j) << shift, ...).
  uint32_t shift = 0;
  uint32_t originX = 0, originY = 0;
};

// Device pixel centres to sample positions (32.32 fixed point) of an image
// of width x height samples whose unit square `imageToDevice` maps to the
// device, row 0 at the top (v = 1).
class ImageMapping {
 public:
  // False when the matrix is singular or so thin that a device pixel spans
  // more than 2^14 samples (nothing of it can be drawn sensibly).
  bool Set(const FixedMatrix& imageToDevice, uint32_t width, uint32_t height);
  // The position of the centre of device pixel (x, y).
  void Locate(int32_t x, int32_t y, int64_t& sx, int64_t& sy) const;
  // The change of the position per device pixel to the right.
  int64_t StepXx() const { return xx_; }
  int64_t StepXy() const { return yx_; }

 private:
  int64_t xx_ = 0, xy_ = 0, yx_ = 0, yy_ = 0;  // d(sample x, y)/d(device x, y)
  int64_t height_ = 0;
  Fixed16_16 tx_ = 0, ty_ = 0;
};

class base_image_sampler {
 public:
  base_image_sampler(const SampleGrid& grid, const ImageMapping& mapping) : grid_(grid), mapping_(mapping) {}
  // Writes grid().channels bytes for each device pixel [x, x + n) of row y.
  virtual void SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const = 0;
  const SampleGrid& Grid() const { return grid_; }

 protected:
  ~base_image_sampler() = default;
  // The grid pixel nearest to sample position (sx, sy), clamped to the grid.
  const uint8_t* Nearest(int64_t sx, int64_t sy) const;

  SampleGrid grid_;
  const ImageMapping& mapping_;
};

class nn_image_sampler final : public base_image_sampler {
 public:
  using base_image_sampler::base_image_sampler;
  void SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const override;
};

// The kernel's taps around the position along each grid axis (edges repeat
// the border pixel); weights normalised to sum to one. When the image is
// drawn smaller than the grid along an axis, the kernel is stretched over
// the samples one device pixel covers.
class filtering_image_sampler final : public base_image_sampler {
 public:
  // The most taps per axis a kernel may take.
  static constexpr uint32_t kMaxTaps = 66;
  // Filter `kind` (FilterKind), kFilterTent by default: bilinear when the
  // image is enlarged.
  filtering_image_sampler(const SampleGrid& grid, const ImageMapping& mapping, int32_t kind = kFilterTent);
  void SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const override;
  const FilterKernel& KernelX() const { return kernelX_; }
  const FilterKernel& KernelY() const { return kernelY_; }
  // Device pixels per grid pixel along the grid's x and y (16.16).
  Fixed16_16 ScaleX() const { return scaleX_; }
  Fixed16_16 ScaleY() const { return scaleY_; }

 private:
  FilterKernel kernelX_, kernelY_;
  Fixed16_16 scaleX_ = kFixedOne, scaleY_ = kFixedOne;
};

// An image's colour for the compositing painters.
class ImageSamplerRasterPainter : public SampledRowSource {
 public:
  // `color` has 3 channels (R, G, B) or 4 (plus alpha). `mask`, when
  // given, has one channel: alpha. `matte` (R, G, B), when given, is the
  // colour the image was pre-blended with under the mask.
  ImageSamplerRasterPainter(AppContext& context, const base_image_sampler& color, const base_image_sampler* mask,
                            uint8_t constantAlpha, const uint8_t* matte);
  void Produce(int32_t x, int32_t n);
  PixelRun RunAt(int32_t) const { return PixelRun{opaque_ ? kRunFull : kRunPartial, kRowEnd}; }

 private:
  const base_image_sampler& color_;
  const base_image_sampler* mask_;
  uint8_t constantAlpha_;
  bool hasMatte_;
  uint8_t matte_[3] = {};
  bool opaque_;
  EngineArray<uint8_t> samples_, masks_;
};

// Coverage from a one-channel grid, for image masks.
class ImageSamplerMaskRasterPainter : public SampledRowSource {
 public:
  ImageSamplerMaskRasterPainter(AppContext& context, const base_image_sampler& mask);
  void Produce(int32_t x, int32_t n);

 private:
  const base_image_sampler& mask_;
};

}  // namespace vn::im
