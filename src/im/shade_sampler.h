// Smooth shade samplers: colour sources ("what" painters, see
// raster_compositing.h) that compute a smooth shading's colour for each
// device pixel of a run.
//
// Axial and radial shadings are functions of one parameter s along their
// geometry. The colour for s in [0, 1] is looked up in a ShadeColorTable of
// kShadeSteps entries, filled once per drawing from the shading's colour
// function (SmoothShadeFunction), so the per-pixel work is the geometry
// only:
// - AxialShadeSampler: s is linear in the device pixel, so a row is one
//   start value and one addition per pixel; the run boundaries (s = 0 and
//   s = 1) are found by division, not by per-pixel tests.
// - RadialShadeSampler: s solves the circle interpolation per pixel (one
//   square root), from a shading-space position advanced by additions.
// - FunctionShadeSampler: the colour comes from a function of the position
//   in the shading's domain (function-based shadings).
// SmoothShadeSamplerWithOneLineGraphicStore keeps the colours of one device
// line: a shading whose colours do not change from row to row (an axial
// shading whose axis is horizontal on the device) is computed once.
//
// Pixels outside the shading (not extended, beyond the circles) take the
// background colour when there is one, else they are transparent; a
// constant alpha multiplies every pixel.
#pragma once

#include <cstdint>

#include "im/image_sampler.h"
#include "im/raster_compositing.h"
#include "runtime/engine_array.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {

inline constexpr uint32_t kShadeSteps = 1024;

// The colour of a smooth shading at its parameter t (16.16), as R, G, B bytes.
class SmoothShadeFunction {
 public:
  virtual void Shade(Fixed16_16 t, uint8_t* rgb) const = 0;

 protected:
  ~SmoothShadeFunction() = default;
};

// The colour at a point of a function-based shading's domain.
class PointShadeFunction {
 public:
  virtual void Shade(Fixed16_16 x, Fixed16_16 y, uint8_t* rgb) const = 0;

 protected:
  ~PointShadeFunction() = default;
};

// kShadeSteps colours for s = 0 .. 1, that is t = t0 .. t1.
class ShadeColorTable {
 public:
  explicit ShadeColorTable(AppContext& context) : rgb_(context) {}
  void Fill(const SmoothShadeFunction& function, Fixed16_16 t0, Fixed16_16 t1);
  const uint8_t* At(uint32_t step) const { return rgb_.Data() + 3 * step; }

 private:
  EngineArray<uint8_t> rgb_;
};

// What lies outside the parameter range [0, 1].
struct ShadeExtend {
  bool start = false;  // s < 0 takes the colour at s = 0
  bool end = false;    // s > 1 takes the colour at s = 1
};

// The common painter part: the output row, the background and the alpha.
class SmoothShadeSampler : public SampledRowSource {
 public:
  // `background` (R, G, B) may be null.
  SmoothShadeSampler(AppContext& context, const uint8_t* background, uint8_t constantAlpha);
  virtual ~SmoothShadeSampler() = default;
  SmoothShadeSampler(const SmoothShadeSampler&) = delete;
  SmoothShadeSampler& operator=(const SmoothShadeSampler&) = delete;

  void Produce(int32_t x, int32_t n);

  // Writes R, G, B for each pixel of [x, x + n) on row y and its coverage
  // (255 inside the shading or on its background, 0 outside).
  virtual void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) = 0;
  // Whether every row has the same colours.
  virtual bool RowInvariant() const { return false; }

 protected:
  // The pixel's colour from the table at step `s` (32 fraction bits, any
  // value), or the background, or nothing.
  void Put(const ShadeColorTable& table, const ShadeExtend& extend, int64_t s, uint8_t* rgb, uint8_t* covered) const;
  void PutOutside(uint8_t* rgb, uint8_t* covered) const;

 private:
  bool hasBackground_;
  uint8_t background_[3] = {};
  uint8_t constantAlpha_;
  EngineArray<uint8_t> rgb_, covered_;
};

// Axial: s = 0 at (x0, y0), 1 at (x1, y1), constant across the axis.
class AxialShadeSampler final : public SmoothShadeSampler {
 public:
  // `coords` x0, y0, x1, y1 in shading space; `toDevice` maps shading space
  // to the device; `area` is the device area that will be painted.
  AxialShadeSampler(AppContext& context, const ShadeColorTable& table, const ShadeExtend& extend,
                    const Fixed16_16* coords, const FixedMatrix& toDevice, const PixelRect& area,
                    const uint8_t* background, uint8_t constantAlpha);
  void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) override;
  bool RowInvariant() const override { return valid_ && stepY_ == 0; }

 private:
  const ShadeColorTable& table_;
  ShadeExtend extend_;
  bool valid_ = false;
  // s (32 fraction bits) at the centre of pixel (originX_, originY_) and its
  // change per pixel right and down.
  int64_t origin_ = 0, stepX_ = 0, stepY_ = 0;
  int32_t originX_ = 0, originY_ = 0;
};

// Radial: the circles (x0, y0, r0) .. (x1, y1, r1); a point takes the
// largest s whose circle passes through it.
class RadialShadeSampler final : public SmoothShadeSampler {
 public:
  RadialShadeSampler(AppContext& context, const ShadeColorTable& table, const ShadeExtend& extend,
                     const Fixed16_16* coords, const FixedMatrix& toDevice, const PixelRect& area,
                     const uint8_t* background, uint8_t constantAlpha);
  void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) override;

 private:
  // s (16.16) for the point q (working units) from the first circle's
  // centre, or false when no circle of the range passes through it.
  bool Solve(int64_t qx, int64_t qy, int64_t& s);
  bool Accept(int64_t s) const;

  const ShadeColorTable& table_;
  ShadeExtend extend_;
  ImageMapping mapping_;
  bool valid_ = false;
  // Working units: shading-space 32.32 values shifted right by shift_ (or
  // left by -shift_), so that every quantity of the area fits in 2^14.
  int32_t shift_ = 0;
  int64_t centerX_ = 0, centerY_ = 0;  // (x0, y0), 32.32
  int64_t dcx_ = 0, dcy_ = 0, r0_ = 0, dr_ = 0, a_ = 0;
  uint64_t lastRoot_ = 0;  // the previous pixel's square root: the next one starts from it
};

// Function-based: the domain rectangle [x0, x1] x [y0, y1] mapped by
// `toDevice`; the colour at each point comes from `function`.
class FunctionShadeSampler final : public SmoothShadeSampler {
 public:
  FunctionShadeSampler(AppContext& context, const PointShadeFunction& function, const Fixed16_16* domain,
                       const FixedMatrix& toDevice, const uint8_t* background, uint8_t constantAlpha);
  void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) override;

 private:
  const PointShadeFunction& function_;
  Fixed16_16 domain_[4];
  ImageMapping mapping_;
  bool valid_ = false;
};

// Keeps one device line of a row-invariant sampler's colours.
class SmoothShadeSamplerWithOneLineGraphicStore final : public SmoothShadeSampler {
 public:
  // `inner` colours the pixels of [x0, x1) (its background and alpha are
  // not used: give them here).
  SmoothShadeSamplerWithOneLineGraphicStore(AppContext& context, SmoothShadeSampler& inner, int32_t x0, int32_t x1,
                                            const uint8_t* background, uint8_t constantAlpha);
  void ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) override;
  bool RowInvariant() const override { return true; }

 private:
  SmoothShadeSampler& inner_;
  int32_t x0_, x1_;
  bool stored_ = false;
  EngineArray<uint8_t> lineRgb_, lineCovered_;
};

}  // namespace vn::im
