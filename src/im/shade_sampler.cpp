#include "im/shade_sampler.h"

#include <bit>
#include <cstring>

#include "im/signal.h"

namespace vn::im {

namespace {

constexpr int64_t kOne32 = int64_t{1} << 32;

inline int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

inline int64_t Clamp(int64_t v, int64_t limit) { return v < -limit ? -limit : v > limit ? limit : v; }

// v >> shift, or v << -shift.
inline int64_t ShiftBy(int64_t v, int32_t shift) {
  return shift >= 0 ? v >> shift : static_cast<int64_t>(static_cast<uint64_t>(v) << -shift);
}

// a / b with 16 fraction bits, b > 0, without overflow for |a| < 2^62.
int64_t Quotient16(int64_t a, int64_t b) {
  const bool negative = a < 0;
  const uint64_t ua = static_cast<uint64_t>(negative ? -a : a), ub = static_cast<uint64_t>(b);
  if (ua < (uint64_t{1} << 47)) {  // one division does (the usual case)
    const int64_t q = static_cast<int64_t>((ua << 16) / ub);
    return negative ? -q : q;
  }
  const uint64_t whole = ua / ub, rest = ua % ub;
  uint64_t q = (rest << 16) / ub;
  if (whole < (uint64_t{1} << 40)) {
    q += whole << 16;
  } else {
    q = uint64_t{1} << 56;
  }
  return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

// The square root of `value` (to within one), by Newton's method from
// `guess` (the root at the previous pixel, which is close); the exact
// method when the guess is far off.
uint64_t NearSqrt(uint64_t value, uint64_t guess) {
  if (guess != 0) {
    for (int i = 0; i < 3; ++i) {
      const uint64_t next = (guess + value / guess) >> 1;
      const uint64_t change = next > guess ? next - guess : guess - next;
      guess = next;
      if (change <= 1) return guess;
      if (guess == 0) break;
    }
  }
  return IntegerSqrt(value);
}

// The shading-space position (32.32) of the centre of device pixel (x, y),
// `mapping` having been set with the shading-to-device matrix and a unit
// size (so that its y runs downwards from 1).
inline void ShadingPoint(const ImageMapping& mapping, int32_t x, int32_t y, int64_t& u, int64_t& v) {
  mapping.Locate(x, y, u, v);
  v = kOne32 - v;
}

}  // namespace

// ---- colour table

void ShadeColorTable::Fill(const SmoothShadeFunction& function, Fixed16_16 t0, Fixed16_16 t1) {
  rgb_.Resize(3 * kShadeSteps);
  const int64_t span = static_cast<int64_t>(t1) - t0;
  for (uint32_t i = 0; i < kShadeSteps; ++i) {
    const int64_t t = t0 + span * i / (kShadeSteps - 1);
    function.Shade(static_cast<Fixed16_16>(t), rgb_.Data() + 3 * i);
  }
}

// ---- common part

SmoothShadeSampler::SmoothShadeSampler(AppContext& context, const uint8_t* background, uint8_t constantAlpha)
    : SampledRowSource(context), hasBackground_(background != nullptr), constantAlpha_(constantAlpha),
      rgb_(context), covered_(context) {
  if (hasBackground_) std::memcpy(background_, background, 3);
}

void SmoothShadeSampler::Produce(int32_t x, int32_t n) {
  const uint32_t count = static_cast<uint32_t>(n);
  if (rgb_.Size() < 3 * count) rgb_.Resize(3 * count);
  if (covered_.Size() < count) covered_.Resize(count);
  ShadeRun(x, row_, n, rgb_.Data(), covered_.Data());
  PixelBuffer& out = scratch_.Prepare(x, row_, n, 3);
  const uint8_t* rgb = rgb_.Data();
  uint8_t* color = out.color.base;
  for (uint32_t i = 0; i < count; ++i, rgb += 3, color += 3) {
    const uint32_t alpha = Mul(covered_[i], constantAlpha_);
    out.alpha.base[i] = out.shape.base[i] = static_cast<uint8_t>(alpha);
    color[2] = Mul(rgb[0], alpha);  // device order B, G, R
    color[1] = Mul(rgb[1], alpha);
    color[0] = Mul(rgb[2], alpha);
  }
}

void SmoothShadeSampler::PutOutside(uint8_t* rgb, uint8_t* covered) const {
  if (hasBackground_) {
    std::memcpy(rgb, background_, 3);
    *covered = 255;
  } else {
    rgb[0] = rgb[1] = rgb[2] = 0;
    *covered = 0;
  }
}

void SmoothShadeSampler::Put(const ShadeColorTable& table, const ShadeExtend& extend, int64_t s, uint8_t* rgb,
                             uint8_t* covered) const {
  if ((s < 0 && !extend.start) || (s > kOne32 && !extend.end)) {
    PutOutside(rgb, covered);
    return;
  }
  const int64_t clamped = s < 0 ? 0 : s > kOne32 ? kOne32 : s;
  // Nearest step.
  const uint32_t step = static_cast<uint32_t>((clamped * (kShadeSteps - 1) + (kOne32 >> 1)) >> 32);
  std::memcpy(rgb, table.At(step), 3);
  *covered = 255;
}

// ---- axial

AxialShadeSampler::AxialShadeSampler(AppContext& context, const ShadeColorTable& table, const ShadeExtend& extend,
                                     const Fixed16_16* coords, const FixedMatrix& toDevice, const PixelRect& area,
                                     const uint8_t* background, uint8_t constantAlpha)
    : SmoothShadeSampler(context, background, constantAlpha), table_(table), extend_(extend) {
  ImageMapping mapping;
  const int64_t dx = static_cast<int64_t>(coords[2]) - coords[0], dy = static_cast<int64_t>(coords[3]) - coords[1];
  if ((dx == 0 && dy == 0) || !mapping.Set(toDevice, 1, 1)) return;  // no axis: nothing but the background
  // Work in units where the axis is about 2^14 long: s keeps 14 bits or
  // more wherever it is in [0, 1], and no product overflows.
  const int32_t shift = static_cast<int32_t>(std::bit_width(static_cast<uint64_t>(Abs(dx) > Abs(dy) ? Abs(dx) : Abs(dy)))) + 16 - 14;
  const int64_t ax = ShiftBy(dx << 16, shift), ay = ShiftBy(dy << 16, shift);
  const int64_t length2 = ax * ax + ay * ay;
  const int64_t startX = static_cast<int64_t>(coords[0]) << 16, startY = static_cast<int64_t>(coords[1]) << 16;
  const auto parameter = [&](int32_t x, int32_t y) {
    int64_t u, v;
    ShadingPoint(mapping, x, y, u, v);
    const int64_t qx = Clamp(ShiftBy(u - startX, shift), int64_t{1} << 44);
    const int64_t qy = Clamp(ShiftBy(v - startY, shift), int64_t{1} << 44);
    return Quotient16(qx * ax + qy * ay, length2);  // s, 16.16
  };
  originX_ = area.x0;
  originY_ = area.y0;
  const int32_t width = area.x1 - area.x0 > 1 ? area.x1 - area.x0 : 1;
  const int32_t height = area.y1 - area.y0 > 1 ? area.y1 - area.y0 : 1;
  const int64_t s0 = parameter(originX_, originY_);
  origin_ = s0 << 16;
  stepX_ = ((parameter(originX_ + width, originY_) - s0) << 16) / width;
  stepY_ = ((parameter(originX_, originY_ + height) - s0) << 16) / height;
  valid_ = true;
}

void AxialShadeSampler::ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) {
  if (!valid_) {
    for (int32_t i = 0; i < n; ++i) PutOutside(rgb + 3 * i, covered + i);
    return;
  }
  int64_t s = origin_ + stepX_ * (x - originX_) + stepY_ * (y - originY_);
  // Runs: before s = 0, inside [0, 1], after 1; their ends by division.
  int32_t i = 0;
  while (i < n) {
    int32_t end = n;
    const bool before = s < 0, after = s > kOne32;
    if (stepX_ != 0) {
      int64_t boundary = -1;
      if (before && stepX_ > 0) boundary = (-s + stepX_ - 1) / stepX_;
      if (after && stepX_ < 0) boundary = (s - kOne32 - stepX_ - 1) / -stepX_;
      if (!before && !after) {
        boundary = stepX_ > 0 ? (kOne32 - s) / stepX_ + 1 : s / -stepX_ + 1;
      }
      if (boundary >= 0 && boundary < n - i) end = i + static_cast<int32_t>(boundary < 1 ? 1 : boundary);
    }
    if (before || after) {
      // Outside the axis: one colour for the whole run.
      uint8_t first[3];
      uint8_t cover;
      Put(table_, extend_, s, first, &cover);
      for (int32_t k = i; k < end; ++k) {
        std::memcpy(rgb + 3 * k, first, 3);
        covered[k] = cover;
      }
      s += stepX_ * (end - i);
    } else {
      for (int32_t k = i; k < end; ++k, s += stepX_) Put(table_, extend_, s, rgb + 3 * k, covered + k);
    }
    i = end;
  }
}

// ---- radial

RadialShadeSampler::RadialShadeSampler(AppContext& context, const ShadeColorTable& table, const ShadeExtend& extend,
                                       const Fixed16_16* coords, const FixedMatrix& toDevice, const PixelRect& area,
                                       const uint8_t* background, uint8_t constantAlpha)
    : SmoothShadeSampler(context, background, constantAlpha), table_(table), extend_(extend) {
  if (!mapping_.Set(toDevice, 1, 1)) return;
  centerX_ = static_cast<int64_t>(coords[0]) << 16;
  centerY_ = static_cast<int64_t>(coords[1]) << 16;
  const int64_t dcx = (static_cast<int64_t>(coords[3]) - coords[0]) << 16;
  const int64_t dcy = (static_cast<int64_t>(coords[4]) - coords[1]) << 16;
  const int64_t r0 = static_cast<int64_t>(coords[2]) << 16, dr = (static_cast<int64_t>(coords[5]) - coords[2]) << 16;
  // The largest quantity met over the area (its corners bound the
  // positions) sets the working units.
  uint64_t largest = static_cast<uint64_t>(Abs(dcx) | Abs(dcy) | Abs(r0) | Abs(dr) | Abs(r0 + dr));
  const int32_t xs[2] = {area.x0, area.x1}, ys[2] = {area.y0, area.y1};
  for (int32_t x : xs) {
    for (int32_t y : ys) {
      int64_t u, v;
      ShadingPoint(mapping_, x, y, u, v);
      largest |= static_cast<uint64_t>(Abs(u - centerX_) | Abs(v - centerY_));
    }
  }
  shift_ = static_cast<int32_t>(std::bit_width(largest)) - 14;
  dcx_ = ShiftBy(dcx, shift_);
  dcy_ = ShiftBy(dcy, shift_);
  r0_ = ShiftBy(r0, shift_);
  dr_ = ShiftBy(dr, shift_);
  a_ = dcx_ * dcx_ + dcy_ * dcy_ - dr_ * dr_;
  valid_ = !(dcx_ == 0 && dcy_ == 0 && dr_ == 0);
}

bool RadialShadeSampler::Accept(int64_t s) const {
  if (s < 0 && !extend_.start) return false;
  if (s > (int64_t{1} << 16) && !extend_.end) return false;
  return (r0_ << 16) + s * dr_ >= 0;  // a circle of non-negative radius
}

bool RadialShadeSampler::Solve(int64_t qx, int64_t qy, int64_t& s) {
  // |q - s dc| = r0 + s dr:  a s^2 - 2 b s + c = 0.
  const int64_t b = qx * dcx_ + qy * dcy_ + r0_ * dr_;
  const int64_t c = qx * qx + qy * qy - r0_ * r0_;
  constexpr int64_t kLimit = int64_t{1} << 40;
  if (a_ == 0) {
    if (b == 0) return false;
    s = Clamp(Quotient16(c, 2 * Abs(b)) * (b < 0 ? -1 : 1), kLimit);
    return Accept(s);
  }
  const int64_t discriminant = b * b - a_ * c;
  if (discriminant < 0) return false;
  const int64_t root = static_cast<int64_t>(NearSqrt(static_cast<uint64_t>(discriminant), lastRoot_));
  lastRoot_ = static_cast<uint64_t>(root);
  // The two solutions without cancellation: w / a and c / w. The larger
  // one is taken when it can be, so the other is mostly not computed: w / a
  // is the larger when a and w have the same sign.
  const int64_t w = b >= 0 ? b + root : b - root;
  const auto divided = [&](int64_t p, int64_t q) {
    return Clamp(Quotient16(Abs(p), Abs(q)) * ((p < 0) != (q < 0) ? -1 : 1), kLimit);
  };
  const bool overA = (w < 0) == (a_ < 0);
  if (w == 0) {  // then b = root = 0: one double solution
    s = 0;
    return Accept(0);
  }
  s = overA ? divided(w, a_) : divided(c, w);
  if (Accept(s)) return true;
  s = overA ? divided(c, w) : divided(w, a_);
  return Accept(s);
}

void RadialShadeSampler::ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) {
  if (!valid_) {
    for (int32_t i = 0; i < n; ++i) PutOutside(rgb + 3 * i, covered + i);
    return;
  }
  int64_t u, v;
  ShadingPoint(mapping_, x, y, u, v);
  const int64_t stepU = mapping_.StepXx(), stepV = -mapping_.StepXy();
  for (int32_t i = 0; i < n; ++i, u += stepU, v += stepV) {
    int64_t s;
    if (Solve(ShiftBy(u - centerX_, shift_), ShiftBy(v - centerY_, shift_), s)) {
      Put(table_, extend_, s << 16, rgb + 3 * i, covered + i);
    } else {
      PutOutside(rgb + 3 * i, covered + i);
    }
  }
}

// ---- function-based

FunctionShadeSampler::FunctionShadeSampler(AppContext& context, const PointShadeFunction& function,
                                           const Fixed16_16* domain, const FixedMatrix& toDevice,
                                           const uint8_t* background, uint8_t constantAlpha)
    : SmoothShadeSampler(context, background, constantAlpha), function_(function) {
  std::memcpy(domain_, domain, sizeof(domain_));
  valid_ = mapping_.Set(toDevice, 1, 1);
}

void FunctionShadeSampler::ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb, uint8_t* covered) {
  int64_t u = 0, v = 0;
  if (valid_) ShadingPoint(mapping_, x, y, u, v);
  const int64_t stepU = mapping_.StepXx(), stepV = -mapping_.StepXy();
  for (int32_t i = 0; i < n; ++i, u += stepU, v += stepV) {
    // 16.16 positions; outside the domain nothing is painted.
    const int64_t px = u >> 16, py = v >> 16;
    if (!valid_ || px < domain_[0] || px > domain_[1] || py < domain_[2] || py > domain_[3]) {
      PutOutside(rgb + 3 * i, covered + i);
      continue;
    }
    function_.Shade(static_cast<Fixed16_16>(px), static_cast<Fixed16_16>(py), rgb + 3 * i);
    covered[i] = 255;
  }
}

// ---- one-line store

SmoothShadeSamplerWithOneLineGraphicStore::SmoothShadeSamplerWithOneLineGraphicStore(
    AppContext& context, SmoothShadeSampler& inner, int32_t x0, int32_t x1, const uint8_t* background,
    uint8_t constantAlpha)
    : SmoothShadeSampler(context, background, constantAlpha), inner_(inner), x0_(x0), x1_(x1 > x0 ? x1 : x0),
      lineRgb_(context), lineCovered_(context) {}

void SmoothShadeSamplerWithOneLineGraphicStore::ShadeRun(int32_t x, int32_t y, int32_t n, uint8_t* rgb,
                                                          uint8_t* covered) {
  if (x < x0_ || x + n > x1_) {
    inner_.ShadeRun(x, y, n, rgb, covered);
    return;
  }
  if (!stored_) {
    const uint32_t width = static_cast<uint32_t>(x1_ - x0_);
    lineRgb_.Resize(3 * width);
    lineCovered_.Resize(width);
    inner_.ShadeRun(x0_, y, x1_ - x0_, lineRgb_.Data(), lineCovered_.Data());
    stored_ = true;
  }
  std::memcpy(rgb, lineRgb_.Data() + 3 * (x - x0_), 3 * static_cast<size_t>(n));
  std::memcpy(covered, lineCovered_.Data() + (x - x0_), static_cast<size_t>(n));
}

}  // namespace vn::im
