#include "im/image_sampler.h"

#include <cstring>

#include "im/signal.h"

namespace vn::im {

namespace {

// a x b / c for 64-bit a, b, c (c not 0) through a 128-bit product; false
// when the quotient does not fit in 63 bits.
bool MulDiv(int64_t a, int64_t b, int64_t c, int64_t& out) {
  const bool negative = ((a < 0) != (b < 0)) != (c < 0);
  uint64_t ua = a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
  uint64_t ub = b < 0 ? 0 - static_cast<uint64_t>(b) : static_cast<uint64_t>(b);
  uint64_t uc = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
  // 128-bit product hi:lo from 32-bit halves.
  const uint64_t a0 = ua & 0xFFFFFFFFu, a1 = ua >> 32, b0 = ub & 0xFFFFFFFFu, b1 = ub >> 32;
  const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  uint64_t lo = (p00 & 0xFFFFFFFFu) | (middle << 32);
  uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  if (hi >= uc) return false;
  // Long division, one bit at a time (a handful of calls per image).
  uint64_t quotient = 0;
  for (int i = 0; i < 64; ++i) {
    const bool carry = (hi >> 63) != 0;
    hi = hi << 1 | lo >> 63;
    lo <<= 1;
    quotient <<= 1;
    if (carry || hi >= uc) {
      hi -= uc;
      quotient |= 1;
    }
  }
  if (quotient > 0x7FFFFFFFFFFFFFFFull) return false;
  out = negative ? -static_cast<int64_t>(quotient) : static_cast<int64_t>(quotient);
  return true;
}

// coefficient (32.32) x offset (16.16), without overflow for coefficients
// below 2^46 and offsets below 2^32.
inline int64_t MulOffset(int64_t coefficient, int64_t offset) {
  return coefficient * (offset >> 16) + ((coefficient * (offset & 0xFFFF)) >> 16);
}

inline int64_t Clamp(int64_t v, int64_t high) { return v < 0 ? 0 : v > high ? high : v; }

}  // namespace

// ---- mapping

bool ImageMapping::Set(const FixedMatrix& m, uint32_t width, uint32_t height) {
  const int64_t det = static_cast<int64_t>(m.a) * m.d - static_cast<int64_t>(m.b) * m.c;  // 32.32
  if (det == 0) return false;
  // d(sample)/d(device) in 32.32: W d / det, -W c / det, H b / det, -H a / det.
  constexpr int64_t kScale = int64_t{1} << 48;
  constexpr int64_t kLimit = int64_t{1} << 46;
  const int64_t w = width, h = height;
  if (!MulDiv(w * m.d, kScale, det, xx_) || !MulDiv(-w * m.c, kScale, det, xy_) ||
      !MulDiv(h * m.b, kScale, det, yx_) || !MulDiv(-h * m.a, kScale, det, yy_)) {
    return false;
  }
  const int64_t coefficients[4] = {xx_, xy_, yx_, yy_};
  for (int64_t v : coefficients) {
    if (v >= kLimit || v <= -kLimit) return false;
  }
  height_ = h << 32;
  tx_ = m.tx;
  ty_ = m.ty;
  return true;
}

void ImageMapping::Locate(int32_t x, int32_t y, int64_t& sx, int64_t& sy) const {
  const int64_t dx = static_cast<int64_t>(x) * 65536 + 32768 - tx_;
  const int64_t dy = static_cast<int64_t>(y) * 65536 + 32768 - ty_;
  sx = MulOffset(xx_, dx) + MulOffset(xy_, dy);
  sy = height_ + MulOffset(yx_, dx) + MulOffset(yy_, dy);
}

// ---- samplers

const uint8_t* base_image_sampler::Nearest(int64_t sx, int64_t sy) const {
  const uint32_t s = 32 + grid_.shift;
  const int64_t i = Clamp((sx >> s) - grid_.originX, grid_.width - 1);
  const int64_t j = Clamp((sy >> s) - grid_.originY, grid_.height - 1);
  return grid_.pixels + static_cast<size_t>(j) * grid_.rowBytes + static_cast<size_t>(i) * grid_.channels;
}

void nn_image_sampler::SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  int64_t sx, sy;
  mapping_.Locate(x, y, sx, sy);
  const int64_t stepX = mapping_.StepXx(), stepY = mapping_.StepXy();
  const uint32_t channels = grid_.channels;
  for (int32_t k = 0; k < n; ++k, sx += stepX, sy += stepY, out += channels) {
    const uint8_t* p = Nearest(sx, sy);
    for (uint32_t c = 0; c < channels; ++c) out[c] = p[c];
  }
}

namespace {

// Device pixels per grid pixel along one grid axis, from the change of the
// sample position (32.32) per device pixel right and down.
Fixed16_16 AxisScale(int64_t perDeviceX, int64_t perDeviceY, uint32_t shift) {
  const int64_t fx = perDeviceX >> (16 + shift), fy = perDeviceY >> (16 + shift);  // 16.16 grid pixels
  const uint64_t footprint = IntegerSqrt(static_cast<uint64_t>(fx * fx) + static_cast<uint64_t>(fy * fy));
  constexpr uint64_t kMostScale = uint64_t{1} << 24;  // 256 device pixels per grid pixel
  if (footprint == 0) return static_cast<Fixed16_16>(kMostScale);
  const uint64_t scale = (uint64_t{1} << 32) / footprint;
  return static_cast<Fixed16_16>(scale > kMostScale ? kMostScale : scale == 0 ? 1 : scale);
}

// The first tap and the normalised weights (sum 65536) of `kernel` around
// grid position `g` (16.16, from pixel centres); the kernel is stretched by
// 1 / scale when scale is below 1.
int64_t Weights(const FilterKernel& kernel, Fixed16_16 scale, int64_t g, int32_t* weights) {
  const uint32_t taps = kernel.taps;
  const int64_t first = ((g - static_cast<int64_t>(taps) * kFixedHalf) >> 16) + 1;
  const Fixed16_16 stretch = scale < kFixedOne ? scale : kFixedOne;
  int64_t sum = 0;
  for (uint32_t i = 0; i < taps; ++i) {
    const int64_t distance = ((first + i) << 16) - g;
    const int64_t x = (distance * stretch) >> 16;
    const Fixed16_16 at = x > kFixedMax ? kFixedMax : x < kFixedMin ? kFixedMin : static_cast<Fixed16_16>(x);
    weights[i] = FilterWeight(kernel, at);
    sum += weights[i];
  }
  if (sum <= 0) {
    // Nothing under the kernel (a box between taps): the nearest tap.
    for (uint32_t i = 0; i < taps; ++i) weights[i] = 0;
    const int64_t nearest = ((g + kFixedHalf) >> 16) - first;
    weights[nearest < 0 ? 0 : nearest >= taps ? taps - 1 : nearest] = kFixedOne;
    return first;
  }
  for (uint32_t i = 0; i < taps; ++i) weights[i] = static_cast<int32_t>(weights[i] * int64_t{kFixedOne} / sum);
  return first;
}

}  // namespace

filtering_image_sampler::filtering_image_sampler(const SampleGrid& grid, const ImageMapping& mapping, int32_t kind)
    : base_image_sampler(grid, mapping) {
  // Sample x moves by (xx, xy) per device pixel right and down; the rows
  // of the mapping give sample y's moves likewise.
  int64_t x0, y0, x1, y1, x2, y2;
  mapping.Locate(0, 0, x0, y0);
  mapping.Locate(1, 0, x1, y1);
  mapping.Locate(0, 1, x2, y2);
  scaleX_ = AxisScale(x1 - x0, x2 - x0, grid.shift);
  scaleY_ = AxisScale(y1 - y0, y2 - y0, grid.shift);
  kernelX_ = ChooseFilterKernel(kind, scaleX_);
  kernelY_ = ChooseFilterKernel(kind, scaleY_);
  if (kernelX_.taps > kMaxTaps) kernelX_.taps = kMaxTaps;
  if (kernelY_.taps > kMaxTaps) kernelY_.taps = kMaxTaps;
}

void filtering_image_sampler::SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  int64_t sx, sy;
  mapping_.Locate(x, y, sx, sy);
  const int64_t stepX = mapping_.StepXx(), stepY = mapping_.StepXy();
  const uint32_t channels = grid_.channels;
  const uint32_t s = 32 + grid_.shift;
  const int64_t half = int64_t{1} << (s - 1);
  const int64_t right = grid_.width - 1, bottom = grid_.height - 1;
  int32_t wx[kMaxTaps], wy[kMaxTaps];
  size_t columns[kMaxTaps];
  for (int32_t k = 0; k < n; ++k, sx += stepX, sy += stepY, out += channels) {
    // Grid coordinates of the position (16.16), from grid pixel centres.
    const int64_t gx = (sx - half - (static_cast<int64_t>(grid_.originX) << s)) >> (s - 16);
    const int64_t gy = (sy - half - (static_cast<int64_t>(grid_.originY) << s)) >> (s - 16);
    const int64_t i0 = Weights(kernelX_, scaleX_, gx, wx);
    const int64_t j0 = Weights(kernelY_, scaleY_, gy, wy);
    for (uint32_t i = 0; i < kernelX_.taps; ++i) columns[i] = static_cast<size_t>(Clamp(i0 + i, right)) * channels;
    int64_t sum[4] = {};
    for (uint32_t j = 0; j < kernelY_.taps; ++j) {
      if (wy[j] == 0) continue;
      const uint8_t* row = grid_.pixels + static_cast<size_t>(Clamp(j0 + j, bottom)) * grid_.rowBytes;
      for (uint32_t c = 0; c < channels; ++c) {
        int64_t across = 0;
        for (uint32_t i = 0; i < kernelX_.taps; ++i) across += static_cast<int64_t>(wx[i]) * row[columns[i] + c];
        sum[c] += across * wy[j];
      }
    }
    for (uint32_t c = 0; c < channels; ++c) {
      const int64_t v = (sum[c] + (int64_t{1} << 31)) >> 32;
      out[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  }
}

// ---- painters

ImageSamplerRasterPainter::ImageSamplerRasterPainter(AppContext& context, const base_image_sampler& color,
                                                     const base_image_sampler* mask, uint8_t constantAlpha,
                                                     const uint8_t* matte)
    : SampledRowSource(context), color_(color), mask_(mask), constantAlpha_(constantAlpha),
      hasMatte_(matte != nullptr && mask != nullptr), samples_(context), masks_(context) {
  if (hasMatte_) std::memcpy(matte_, matte, 3);
  opaque_ = color.Grid().channels == 3 && mask == nullptr && constantAlpha == 255;
}

void ImageSamplerRasterPainter::Produce(int32_t x, int32_t n) {
  const uint32_t count = static_cast<uint32_t>(n);
  const uint32_t channels = color_.Grid().channels;
  if (samples_.Size() < count * channels) samples_.Resize(count * channels);
  color_.SampleRun(x, row_, n, samples_.Data());
  if (mask_ != nullptr) {
    if (masks_.Size() < count) masks_.Resize(count);
    mask_->SampleRun(x, row_, n, masks_.Data());
  }
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 3);
  const uint8_t* sample = samples_.Data();
  uint8_t* color = out.color.base;
  for (uint32_t i = 0; i < count; ++i, sample += channels, color += 3) {
    uint32_t coverage = channels == 4 ? sample[3] : 255;
    if (mask_ != nullptr) coverage = Mul(coverage, masks_[i]);
    const uint32_t alpha = Mul(coverage, constantAlpha_);
    out.alpha.base[i] = out.shape.base[i] = static_cast<uint8_t>(alpha);
    for (uint32_t c = 0; c < 3; ++c) {
      uint32_t v = sample[c];
      if (hasMatte_) {
        // The image holds m + (c - m) x a: premultiplied, c - m + m x a.
        const int32_t un = static_cast<int32_t>(v) - matte_[c] + Mul(matte_[c], coverage);
        v = un < 0 ? 0 : static_cast<uint32_t>(un) > coverage ? coverage : static_cast<uint32_t>(un);
        v = Mul(v, constantAlpha_);
      } else {
        v = Mul(v, alpha);
      }
      color[2 - c] = static_cast<uint8_t>(v);  // device order B, G, R
    }
  }
}

ImageSamplerMaskRasterPainter::ImageSamplerMaskRasterPainter(AppContext& context, const base_image_sampler& mask)
    : SampledRowSource(context), mask_(mask) {}

void ImageSamplerMaskRasterPainter::Produce(int32_t x, int32_t n) {
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 0);
  mask_.SampleRun(x, row_, n, out.alpha.base);
  std::memcpy(out.shape.base, out.alpha.base, static_cast<size_t>(n));
}

}  // namespace vn::im
