#include "im/image_sampler.h"

#include <cstring>

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

inline uint8_t Mul(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 127;
  return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

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

void filtering_image_sampler::SampleRun(int32_t x, int32_t y, int32_t n, uint8_t* out) const {
  int64_t sx, sy;
  mapping_.Locate(x, y, sx, sy);
  const int64_t stepX = mapping_.StepXx(), stepY = mapping_.StepXy();
  const uint32_t channels = grid_.channels;
  const uint32_t s = 32 + grid_.shift;
  const int64_t half = int64_t{1} << (s - 1);
  for (int32_t k = 0; k < n; ++k, sx += stepX, sy += stepY, out += channels) {
    // Grid coordinates of the position, measured from grid pixel centres.
    const int64_t gx = sx - half - (static_cast<int64_t>(grid_.originX) << s);
    const int64_t gy = sy - half - (static_cast<int64_t>(grid_.originY) << s);
    const int64_t i0 = gx >> s, j0 = gy >> s;
    const uint32_t fx = static_cast<uint32_t>((gx >> (s - 8)) & 255), fy = static_cast<uint32_t>((gy >> (s - 8)) & 255);
    const int64_t right = grid_.width - 1, bottom = grid_.height - 1;
    const size_t x0 = static_cast<size_t>(Clamp(i0, right)) * channels;
    const size_t x1 = static_cast<size_t>(Clamp(i0 + 1, right)) * channels;
    const uint8_t* row0 = grid_.pixels + static_cast<size_t>(Clamp(j0, bottom)) * grid_.rowBytes;
    const uint8_t* row1 = grid_.pixels + static_cast<size_t>(Clamp(j0 + 1, bottom)) * grid_.rowBytes;
    for (uint32_t c = 0; c < channels; ++c) {
      const uint32_t top = row0[x0 + c] * (256 - fx) + row0[x1 + c] * fx;
      const uint32_t low = row1[x0 + c] * (256 - fx) + row1[x1 + c] * fx;
      out[c] = static_cast<uint8_t>((top * (256 - fy) + low * fy + 32768) >> 16);
    }
  }
}

// ---- painters

ImageSamplerRasterPainter::ImageSamplerRasterPainter(AppContext& context, const base_image_sampler& color,
                                                     const base_image_sampler* mask, uint8_t constantAlpha,
                                                     const uint8_t* matte)
    : color_(color), mask_(mask), constantAlpha_(constantAlpha), hasMatte_(matte != nullptr && mask != nullptr),
      scratch_(context), samples_(context), masks_(context) {
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
    : mask_(mask), scratch_(context) {}

void ImageSamplerMaskRasterPainter::Produce(int32_t x, int32_t n) {
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 0);
  mask_.SampleRun(x, row_, n, out.alpha.base);
  std::memcpy(out.shape.base, out.alpha.base, static_cast<size_t>(n));
}

}  // namespace vn::im
