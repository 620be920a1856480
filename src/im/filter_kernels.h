// The kernels of the filtering image sampler, and which one a drawing gets.
//
// A kernel weighs a source sample by its distance x (16.16, in source
// pixels) from the point being reconstructed. When the image is drawn
// smaller than its samples, the sampler stretches the kernel by the
// reduction (x is multiplied by the scale), so that it averages all the
// samples one device pixel covers; `taps` is how many samples per axis that
// takes at the scale the kernel was chosen for.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"

namespace vn::im {

enum class FilterKernelShape : uint8_t {
  kBox,               // 1 on (-0.5, 0.5]
  kTent,              // 1 - |x| on [-1, 1]
  kCubicConvolution,  // Keys' cubic with parameter a
  kCubicBSpline,
  kBCSpline,          // Mitchell-Netravali with B and C
  kWindowedSinc,      // sinc(x) sinc(x / n) on [-n, n]
};

struct FilterKernel {
  FilterKernelShape shape = FilterKernelShape::kTent;
  Fixed16_16 support = kFixedOne;  // the weight is 0 beyond it
  uint32_t taps = 2;
  Fixed16_16 a = 0;        // cubic convolution
  Fixed16_16 b = 0, c = 0;  // BC-spline
  uint32_t lobes = 0;       // windowed sinc: n
};

// The weight of a sample at signed distance x.
Fixed16_16 FilterWeight(const FilterKernel& kernel, Fixed16_16 x);

// Filter kinds a drawing may ask for (0 when it does not filter).
enum FilterKind : int32_t {
  kFilterBox = 1,
  kFilterTent = 2,          // bilinear when enlarging, a widened tent when reducing
  kFilterCubicSharp = 3,    // cubic convolution, a from -0.6
  kFilterCubicSharper = 4,  // a from -0.8
  kFilterBSpline = 5,
  kFilterCubicSoft = 6,     // a from 0
  kFilterSinc3 = 7,
  kFilterSinc3Alt = 8,
  kFilterSinc4 = 9,
};

// The kernel for filter `kind` at `scale` (device pixels per source pixel).
FilterKernel ChooseFilterKernel(int32_t kind, Fixed16_16 scale);

// sin(pi u) / (pi u), 1 at 0 (pi as 16.16), through the platform's
// floating point.
Fixed16_16 FixedSinc(Fixed16_16 u);

}  // namespace vn::im
