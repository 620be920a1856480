// The filtering sampler's kernels and their choice, against an exact
// (double-precision) evaluation of each formula; and the sampler's pixels
// for images drawn smaller and larger than their samples against a
// double-precision resampling with the same kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "im/filter_kernels.h"
#include "im/image_sampler.h"

namespace vn::im {
namespace {

double Exact(const FilterKernel& k, double x) {
  const double t = std::fabs(x);
  const double a = k.a / 65536.0, b = k.b / 65536.0, c = k.c / 65536.0;
  switch (k.shape) {
    case FilterKernelShape::kBox:
      return x > -0.5 && x <= 0.5 ? 1 : 0;
    case FilterKernelShape::kTent:
      return t <= 1 ? 1 - t : 0;
    case FilterKernelShape::kCubicConvolution:
      if (t < 1) return (a + 2) * t * t * t - (a + 3) * t * t + 1;
      if (t < 2) return a * t * t * t - 5 * a * t * t + 8 * a * t - 4 * a;
      return 0;
    case FilterKernelShape::kCubicBSpline:
      if (t < 1) return t * t * t / 2 - t * t + 2.0 / 3;
      if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
      return 0;
    case FilterKernelShape::kBCSpline:
      if (t < 1) return ((12 - 9 * b - 6 * c) * t * t * t + (-18 + 12 * b + 6 * c) * t * t + (6 - 2 * b)) / 6;
      if (t < 2) {
        return ((-b - 6 * c) * t * t * t + (6 * b + 30 * c) * t * t + (-12 * b - 48 * c) * t + (8 * b + 24 * c)) / 6;
      }
      return 0;
    case FilterKernelShape::kWindowedSinc: {
      const double n = k.lobes;
      if (t > n) return 0;
      auto sinc = [](double u) { return u == 0 ? 1.0 : std::sin(M_PI * u) / (M_PI * u); };
      return sinc(t) * sinc(t / n) * (k.lobes == 3 ? 65733.0 / 65536 : 1.0);
    }
  }
  return 0;
}

std::vector<FilterKernel> EveryKernel() {
  FilterKernel box, tent, cubic, bspline, mitchell, sinc3, sinc4;
  box.shape = FilterKernelShape::kBox;
  box.support = kFixedHalf;
  cubic.shape = FilterKernelShape::kCubicConvolution;
  cubic.support = 2 * kFixedOne;
  cubic.a = -39322;  // -0.6
  bspline.shape = FilterKernelShape::kCubicBSpline;
  bspline.support = 2 * kFixedOne;
  mitchell.shape = FilterKernelShape::kBCSpline;
  mitchell.support = 2 * kFixedOne;
  mitchell.b = mitchell.c = 21845;
  sinc3.shape = sinc4.shape = FilterKernelShape::kWindowedSinc;
  sinc3.lobes = 3;
  sinc3.support = 3 * kFixedOne;
  sinc4.lobes = 4;
  sinc4.support = 4 * kFixedOne;
  return {box, tent, cubic, bspline, mitchell, sinc3, sinc4};
}

TEST(FilterKernels, WeightsMatchTheFormulasWithinAFewUnitsOfTheLastPlace) {
  for (const FilterKernel& k : EveryKernel()) {
    // Every 1/256 of a sample, past the support on both sides, plus the
    // edges of the box and the tent.
    for (Fixed16_16 x = -5 * kFixedOne; x <= 5 * kFixedOne; x += 256) {
      const double exact = Exact(k, x / 65536.0);
      const double got = FilterWeight(k, x) / 65536.0;
      // The sinc takes pi as 16.16 and a truncated angle.
      const double units = k.shape == FilterKernelShape::kWindowedSinc ? 8 : 6;
      ASSERT_NEAR(got, exact, units / 65536) << "shape " << static_cast<int>(k.shape) << " at " << x / 65536.0;
    }
  }
  FilterKernel box = EveryKernel()[0];
  EXPECT_EQ(FilterWeight(box, -32767), kFixedOne);
  EXPECT_EQ(FilterWeight(box, -32768), 0);
  EXPECT_EQ(FilterWeight(box, 32768), kFixedOne);
  EXPECT_EQ(FilterWeight(box, 32769), 0);
}

// a for the cubic of kind `kind` at scale s, as the choice defines it.
double ExpectedA(int kind, double s) {
  const double a0 = kind == 3 ? -0.6 : kind == 4 ? -0.8 : 0;
  double a;
  if (s >= 62258 / 65536.0) {
    a = (a0 - 0.8) + (s - 62258 / 65536.0) / (4.0 - 62258 / 65536.0) * (-0.4 - (a0 - 0.8));
  } else {
    const double low = 2048 / 65536.0, at = s > low ? s : low;
    a = (a0 - 2.0) + (at - low) / (43908 / 65536.0 - low) * (-0.8 - (a0 - 2.0));
  }
  return std::round(a * 10) / 10;
}

TEST(FilterKernels, ChoiceFollowsKindAndScale) {
  struct Case {
    int kind;
    double scale;
    FilterKernelShape shape;
    uint32_t taps;
  };
  using S = FilterKernelShape;
  const Case cases[] = {
      {0, 1.0, S::kBox, 66},          {1, 0.1, S::kBox, 66},          {2, 1.5, S::kTent, 2},
      {2, 0.96, S::kTent, 2},         {2, 0.949, S::kTent, 3},         {2, 0.8, S::kTent, 3},
      {2, 0.5, S::kTent, 4},          {2, 0.4, S::kTent, 6},          {2, 0.25, S::kTent, 8},
      {2, 0.2, S::kBox, 16},          {12, 0.5, S::kTent, 4},         {3, 5.0, S::kBCSpline, 4},
      {5, 5.0, S::kCubicBSpline, 4},  {3, 2.0, S::kCubicConvolution, 4}, {4, 0.951, S::kCubicConvolution, 4},
      {5, 2.0, S::kCubicBSpline, 4},  {3, 0.8, S::kCubicConvolution, 6}, {6, 0.5, S::kCubicConvolution, 8},
      {5, 0.5, S::kCubicBSpline, 8},  {3, 0.3, S::kBox, 16},          {4, 0.3, S::kBox, 20},
      {5, 0.3, S::kBox, 24},          {6, 0.3, S::kBox, 32},          {7, 1.0, S::kWindowedSinc, 6},
      {9, 1.0, S::kWindowedSinc, 8},  {8, 0.8, S::kWindowedSinc, 10}, {7, 0.5, S::kBox, 16},
  };
  for (const Case& c : cases) {
    const Fixed16_16 s = static_cast<Fixed16_16>(std::lround(c.scale * 65536));
    const FilterKernel k = ChooseFilterKernel(c.kind, s);
    EXPECT_EQ(k.shape, c.shape) << "kind " << c.kind << " scale " << c.scale;
    EXPECT_EQ(k.taps, c.taps) << "kind " << c.kind << " scale " << c.scale;
    if (k.shape == S::kCubicConvolution) {
      EXPECT_NEAR(k.a / 65536.0, ExpectedA(c.kind, c.scale), 1.0 / 65536) << "kind " << c.kind << " scale " << c.scale;
    }
    if (k.shape == S::kWindowedSinc) {
      EXPECT_EQ(k.lobes, c.kind == 9 || c.scale < 0.95 ? 4u : 3u);
    }
  }
  // The lerp of a is clamped at the smallest scale.
  EXPECT_EQ(ChooseFilterKernel(3, 100).a, ChooseFilterKernel(3, 2048).a);
}

// The sampler against a double-precision resampling with the same kernels:
// each device pixel's centre taken back into the grid, the kernel (stretched
// by the scale when reducing) weighed over its taps, normalised.
void CheckAgainstReference(uint32_t width, uint32_t height, int32_t deviceWidth, int32_t deviceHeight, int kind) {
  std::mt19937 random(width * 131 + deviceWidth);
  std::vector<uint8_t> pixels(width * height * 3);
  for (uint8_t& p : pixels) p = static_cast<uint8_t>(random());
  SampleGrid grid;
  grid.pixels = pixels.data();
  grid.width = width;
  grid.height = height;
  grid.channels = 3;
  grid.rowBytes = width * 3;
  ImageMapping mapping;
  const FixedMatrix m{deviceWidth * kFixedOne, 0, 0, -deviceHeight * kFixedOne, 0, deviceHeight * kFixedOne};
  ASSERT_TRUE(mapping.Set(m, width, height));
  const filtering_image_sampler sampler(grid, mapping, kind);
  const double scaleX = static_cast<double>(deviceWidth) / width, scaleY = static_cast<double>(deviceHeight) / height;
  EXPECT_NEAR(sampler.ScaleX() / 65536.0, scaleX, 1e-3);
  EXPECT_NEAR(sampler.ScaleY() / 65536.0, scaleY, 1e-3);
  auto weights = [](const FilterKernel& k, double scale, double g, int64_t& first) {
    first = static_cast<int64_t>(std::floor(g - k.taps / 2.0)) + 1;
    std::vector<double> w(k.taps);
    double sum = 0;
    for (uint32_t i = 0; i < k.taps; ++i) sum += w[i] = Exact(k, (first + i - g) * std::min(scale, 1.0));
    for (double& v : w) v /= sum;
    return w;
  };
  int worst = 0;
  std::vector<uint8_t> row(deviceWidth * 3);
  for (int32_t y = 0; y < deviceHeight; ++y) {
    sampler.SampleRun(0, y, deviceWidth, row.data());
    for (int32_t x = 0; x < deviceWidth; ++x) {
      const double gx = (x + 0.5) / scaleX - 0.5, gy = (y + 0.5) / scaleY - 0.5;
      int64_t i0, j0;
      const std::vector<double> wx = weights(sampler.KernelX(), scaleX, gx, i0);
      const std::vector<double> wy = weights(sampler.KernelY(), scaleY, gy, j0);
      for (int c = 0; c < 3; ++c) {
        double v = 0;
        for (size_t j = 0; j < wy.size(); ++j) {
          const int64_t row = std::clamp<int64_t>(j0 + j, 0, height - 1);
          for (size_t i = 0; i < wx.size(); ++i) {
            const int64_t column = std::clamp<int64_t>(i0 + i, 0, width - 1);
            v += wx[i] * wy[j] * pixels[(row * width + column) * 3 + c];
          }
        }
        const int expected = static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
        worst = std::max(worst, std::abs(expected - row[x * 3 + c]));
      }
    }
  }
  EXPECT_LE(worst, 1) << width << "x" << height << " drawn at " << deviceWidth << "x" << deviceHeight << " kind "
                      << kind;
}

TEST(FilteringImageSampler, MatchesADoublePrecisionResampling) {
  CheckAgainstReference(40, 30, 25, 21, kFilterTent);          // reduced: widened tents, 3 and 4 taps
  CheckAgainstReference(40, 30, 9, 7, kFilterTent);            // a box of 16 taps
  CheckAgainstReference(12, 9, 50, 41, kFilterTent);           // enlarged: bilinear
  CheckAgainstReference(12, 9, 50, 41, kFilterCubicSharp);     // cubic convolution, 4 taps
  CheckAgainstReference(10, 8, 60, 50, kFilterCubicSharper);   // BC-spline beyond 4x
  CheckAgainstReference(40, 30, 30, 22, kFilterCubicSoft);     // cubic, 6 taps
  CheckAgainstReference(16, 12, 20, 15, kFilterSinc3);         // windowed sinc
}

}  // namespace
}  // namespace vn::im
