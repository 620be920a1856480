#include "im/filter_kernels.h"

namespace vn::im {

namespace {

// Thresholds of the kernel choice (16.16 scales).
constexpr Fixed16_16 kScale095 = 62258;
constexpr Fixed16_16 kScale067 = 43908;
constexpr Fixed16_16 kScale045 = 29490;
constexpr Fixed16_16 kScale030 = 19659;
constexpr Fixed16_16 kScale022 = 14417;
constexpr Fixed16_16 kScale4 = 4 * kFixedOne;
constexpr Fixed16_16 kSmallestScale = 2048;
constexpr Fixed16_16 kOneThird = 21845;
constexpr Fixed16_16 kTwoThirds = 43690;
constexpr Fixed16_16 kOneSixth = 10922;

// -0.6, -0.8, -0.4, ... as 16.16 values rounded to the nearest.
constexpr Fixed16_16 Tenths(int32_t tenths) {
  return static_cast<Fixed16_16>((tenths * int64_t{65536} + (tenths < 0 ? -5 : 5)) / 10);
}

// v rounded to one decimal place.
Fixed16_16 RoundToTenth(Fixed16_16 v) {
  const int64_t scaled = static_cast<int64_t>(v) * 10;
  const int64_t tenths = scaled >= 0 ? (scaled + kFixedHalf) >> 16 : -((-scaled + kFixedHalf) >> 16);
  return Tenths(static_cast<int32_t>(tenths));
}

FilterKernel Kernel(FilterKernelShape shape, Fixed16_16 support, uint32_t taps) {
  FilterKernel k;
  k.shape = shape;
  k.support = support;
  k.taps = taps;
  return k;
}

FilterKernel Box(uint32_t taps) { return Kernel(FilterKernelShape::kBox, kFixedHalf, taps); }
FilterKernel Tent(uint32_t taps) { return Kernel(FilterKernelShape::kTent, kFixedOne, taps); }
FilterKernel BSpline(uint32_t taps) { return Kernel(FilterKernelShape::kCubicBSpline, 2 * kFixedOne, taps); }

FilterKernel Cubic(Fixed16_16 a, uint32_t taps) {
  FilterKernel k = Kernel(FilterKernelShape::kCubicConvolution, 2 * kFixedOne, taps);
  k.a = a;
  return k;
}

FilterKernel Mitchell(uint32_t taps) {
  FilterKernel k = Kernel(FilterKernelShape::kBCSpline, 2 * kFixedOne, taps);
  k.b = k.c = kOneThird;
  return k;
}

// A windowed sinc of n lobes spans 2n samples, 2n / scale when reducing.
FilterKernel Sinc(uint32_t lobes, Fixed16_16 scale) {
  FilterKernel k = Kernel(FilterKernelShape::kWindowedSinc, static_cast<Fixed16_16>(lobes) * kFixedOne, 0);
  k.lobes = lobes;
  const int64_t width = int64_t{2} * lobes * kFixedOne;
  k.taps = scale >= kFixedOne ? 2 * lobes : static_cast<uint32_t>((width * kFixedOne / scale + 0xFFFF) >> 16);
  return k;
}

}  // namespace

Fixed16_16 FilterWeight(const FilterKernel& k, Fixed16_16 x) {
  if (k.shape == FilterKernelShape::kBox) return x > -kFixedHalf && x <= kFixedHalf ? kFixedOne : 0;
  const Fixed16_16 t = static_cast<Fixed16_16>(FixedMagnitude(x));
  if (t >= k.support && !(k.shape == FilterKernelShape::kWindowedSinc && t == k.support)) return 0;
  const Fixed16_16 t2 = FixedMul(t, t), t3 = FixedMul(t2, t);
  switch (k.shape) {
    case FilterKernelShape::kTent:
      return kFixedOne - t;
    case FilterKernelShape::kCubicConvolution:
      if (t < kFixedOne) return FixedMul(k.a + 2 * kFixedOne, t3) - FixedMul(k.a + 3 * kFixedOne, t2) + kFixedOne;
      return FixedMul(k.a, t3 - 5 * t2 + 8 * t - 4 * kFixedOne);
    case FilterKernelShape::kCubicBSpline: {
      if (t < kFixedOne) return t3 / 2 - t2 + kTwoThirds;
      const Fixed16_16 u = 2 * kFixedOne - t;
      return FixedMul(FixedMul(FixedMul(u, u), u), kOneSixth);
    }
    case FilterKernelShape::kBCSpline: {
      const Fixed16_16 b = k.b, c = k.c;
      if (t < kFixedOne) {
        const Fixed16_16 c3 = 12 * kFixedOne - 9 * b - 6 * c, c2 = -18 * kFixedOne + 12 * b + 6 * c;
        return (FixedMul(c3, t3) + FixedMul(c2, t2) + 6 * kFixedOne - 2 * b) / 6;
      }
      const Fixed16_16 c3 = -b - 6 * c, c2 = 6 * b + 30 * c, c1 = -12 * b - 48 * c, c0 = 8 * b + 24 * c;
      return (FixedMul(c3, t3) + FixedMul(c2, t2) + FixedMul(c1, t) + c0) / 6;
    }
    case FilterKernelShape::kWindowedSinc: {
      const Fixed16_16 n = static_cast<Fixed16_16>(k.lobes);
      const Fixed16_16 w = FixedMul(FixedSinc(t), FixedSinc(t / n));
      return k.lobes == 3 ? FixedMul(w, 65733) : w;
    }
    case FilterKernelShape::kBox:
      break;
  }
  return 0;
}

FilterKernel ChooseFilterKernel(int32_t kind, Fixed16_16 s) {
  if (kind <= kFilterBox) return Box(66);
  if (kind == kFilterTent || kind > kFilterSinc4) {
    if (s > kScale095) return Tent(2);
    if (s > kScale067) return Tent(3);
    if (s > kScale045) return Tent(4);
    if (s > kScale030) return Tent(6);
    if (s >= kScale022) return Tent(8);
    return Box(16);
  }
  if (kind <= kFilterCubicSoft) {
    const bool bspline = kind == kFilterBSpline;
    const Fixed16_16 a0 = kind == kFilterCubicSharp ? Tenths(-6) : kind == kFilterCubicSharper ? Tenths(-8) : 0;
    if (s > kScale4) return bspline ? BSpline(4) : Mitchell(4);
    if (s >= kScale095) {
      return bspline ? BSpline(4) : Cubic(RoundToTenth(FixedLerp(kScale095, a0 - Tenths(8), kScale4, Tenths(-4), s)), 4);
    }
    const Fixed16_16 at = s > kSmallestScale ? s : kSmallestScale;
    const Fixed16_16 a = RoundToTenth(FixedLerp(kSmallestScale, a0 - 2 * kFixedOne, kScale067, Tenths(-8), at));
    if (s >= kScale045) {
      const uint32_t taps = s > kScale067 ? 6 : 8;
      return bspline ? BSpline(taps) : Cubic(a, taps);
    }
    static constexpr uint32_t kBoxTaps[4] = {16, 20, 24, 32};
    return Box(kBoxTaps[kind - kFilterCubicSharp]);
  }
  if (s >= kScale095) return Sinc(kind == kFilterSinc4 ? 4 : 3, s);
  if (s >= kScale067) return Sinc(4, s);
  return Box(16);
}

}  // namespace vn::im
