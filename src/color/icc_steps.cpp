#include "color/icc_steps.h"

#include <cstring>

#include "color/table_interpolation.h"
#include "runtime/fixed_functions.h"
#include "runtime/memory_budget.h"

namespace vn::color::color_detail {

namespace {

Fixed16_16 ClampUnit(Fixed16_16 v) { return v < 0 ? 0 : (v > kFixedOne ? kFixedOne : v); }

// x * y for 16.16 values, rounded to nearest.
Fixed16_16 MulRound(int64_t x, int64_t y) { return FixedSaturate((x * y + 0x8000) >> 16); }

// Interpolates a 0..65535 table of `n` entries at x in 0..1 (16.16 result).
Fixed16_16 TableLookup(const uint16_t* table, uint32_t n, Fixed16_16 x) {
  if (n == 1) return (table[0] * 65537 + 0x8000) >> 16;
  x = ClampUnit(x);
  uint64_t position = static_cast<uint64_t>(x) * (n - 1);  // 16 fraction bits
  uint32_t index = static_cast<uint32_t>(position >> 16);
  uint32_t fraction = static_cast<uint32_t>(position & 0xFFFF);
  if (index >= n - 1) {
    index = n - 2;
    fraction = 0x10000;
  }
  int64_t a = table[index], b = table[index + 1];
  int64_t v = a * 65536 + (b - a) * fraction;  // 32 fraction bits of 0..65535 units
  // 0..65535 units (16 fraction bits) to 16.16 in 0..1: / 65535.
  return static_cast<Fixed16_16>((v + 32767) / 65535);
}

}  // namespace

void ICCStepClamp::Apply(Fixed16_16* channels) const {
  for (uint32_t i = 0; i < count_; ++i) {
    if (channels[i] < low_) channels[i] = low_;
    if (channels[i] > high_) channels[i] = high_;
  }
}

ICCStepScale::ICCStepScale(uint32_t count, const Fixed16_16* factors) : count_(count) {
  for (uint32_t i = 0; i < count && i < 3; ++i) factors_[i] = factors[i];
}

void ICCStepScale::Apply(Fixed16_16* channels) const {
  for (uint32_t i = 0; i < count_; ++i) channels[i] = MulRound(channels[i], factors_[i]);
}

void ICCStepGamma::Apply(Fixed16_16* channels) const {
  Fixed16_16 x = ClampUnit(channels[channel_]);
  channels[channel_] = x == 0 ? 0 : ClampUnit(FixedPowPrecise(x, gamma_));
}

ICCStepParametricCurve::ICCStepParametricCurve(uint32_t channel, uint32_t function, const Fixed16_16* p)
    : channel_(channel), function_(function), g_(p[0]), a_(p[1]), b_(p[2]), c_(p[3]), d_(p[4]), e_(p[5]), f_(p[6]) {}

Fixed16_16 ICCStepParametricCurve::Evaluate(Fixed16_16 x) const {
  x = ClampUnit(x);
  Fixed16_16 base = FixedSaturate(((static_cast<int64_t>(a_) * x) >> 16) + b_);
  auto power = [&]() { return base <= 0 ? 0 : FixedPowPrecise(base, g_); };
  Fixed16_16 y;
  switch (function_) {
    case 1:  // (aX + b)^g where aX + b >= 0 (X >= -b/a without dividing by a)
      y = power();
      break;
    case 2:
      y = FixedAddSat(power(), c_);
      break;
    case 3:
      y = x >= d_ ? power() : MulRound(c_, x);
      break;
    default:
      y = x >= d_ ? FixedAddSat(power(), e_) : FixedAddSat(MulRound(c_, x), f_);
      break;
  }
  return ClampUnit(y);
}

ICCStepInverseParametricCurve::ICCStepInverseParametricCurve(uint32_t channel, uint32_t function,
                                                             const Fixed16_16* p)
    : channel_(channel), function_(function), inverseGamma_(FixedDiv(kFixedOne, p[0])), a_(p[1]), b_(p[2]),
      c_(p[3]), e_(p[5]), f_(p[6]) {
  // The forward curve's value where its power segment begins, at X = d.
  const Fixed16_16 base = FixedSaturate(((static_cast<int64_t>(a_) * p[4]) >> 16) + b_);
  const Fixed16_16 start = base <= 0 ? 0 : FixedPowPrecise(base, p[0]);
  threshold_ = function == 4 ? FixedAddSat(start, e_) : start;
}

Fixed16_16 ICCStepInverseParametricCurve::PowerPart(Fixed16_16 y, Fixed16_16 offset) const {
  const Fixed16_16 rest = y - offset;
  const Fixed16_16 root = rest <= 0 ? 0 : FixedPowPrecise(rest, inverseGamma_);
  return FixedDiv(FixedSubSat(root, b_), a_);
}

Fixed16_16 ICCStepInverseParametricCurve::Evaluate(Fixed16_16 y) const {
  y = ClampUnit(y);
  Fixed16_16 x;
  switch (function_) {
    case 1:
      x = PowerPart(y, 0);
      break;
    case 2:
      x = PowerPart(y, c_);
      break;
    case 3:
      x = y >= threshold_ ? PowerPart(y, 0) : (c_ > 0 ? FixedDiv(y, c_) : 0);
      break;
    default:
      x = y >= threshold_ ? PowerPart(y, e_) : (c_ > 0 ? FixedDiv(FixedSubSat(y, f_), c_) : 0);
      break;
  }
  return ClampUnit(x);
}

ICCStep1DTable::ICCStep1DTable(AppContext& context, uint32_t firstChannel, uint32_t count, uint32_t entries)
    : context_(context), first_(firstChannel), count_(count), entries_(entries),
      values_(static_cast<uint16_t*>(Allocate(context, count * entries * 2))) {}

ICCStep1DTable::~ICCStep1DTable() { Free(context_, values_); }

void ICCStep1DTable::Apply(Fixed16_16* channels) const {
  for (uint32_t i = 0; i < count_; ++i) {
    channels[first_ + i] = TableLookup(values_ + i * entries_, entries_, channels[first_ + i]);
  }
}

ICCStepMatrix3by4::ICCStepMatrix3by4(const Fixed16_16* matrix, const Fixed16_16* offset) {
  std::memcpy(m_, matrix, sizeof m_);
  for (int i = 0; i < 3; ++i) offset_[i] = offset != nullptr ? offset[i] : 0;
}

void ICCStepMatrix3by4::Apply(Fixed16_16* channels) const {
  int64_t x = channels[0], y = channels[1], z = channels[2];
  for (int i = 0; i < 3; ++i) {
    int64_t v = m_[3 * i] * x + m_[3 * i + 1] * y + m_[3 * i + 2] * z + (static_cast<int64_t>(offset_[i]) << 16);
    v = (v + 0x8000) >> 16;
    channels[i] = v < 0 ? 0 : FixedSaturate(v);
  }
}

ICCStepMDTable::ICCStepMDTable(AppContext& context, uint32_t inputs, uint32_t outputs, const uint8_t* gridPoints)
    : context_(context), inputs_(inputs), outputs_(outputs) {
  uint32_t stride = outputs;
  for (uint32_t i = inputs; i-- > 0;) {
    grid_[i] = gridPoints[i];
    strides_[i] = stride;
    stride *= grid_[i];
  }
  values_ = static_cast<uint16_t*>(Allocate(context, stride * 2));
}

ICCStepMDTable::~ICCStepMDTable() { Free(context_, values_); }

uint32_t ICCStepMDTable::MemorySize() const { return 160 + strides_[0] * grid_[0] * 2; }

void ICCStepMDTable::Locate(uint32_t i, Fixed16_16 x, uint32_t* index, Fixed16_16* fraction) const {
  x = ClampUnit(x);
  uint64_t position = static_cast<uint64_t>(x) * (grid_[i] - 1);
  uint32_t at = static_cast<uint32_t>(position >> 16);
  Fixed16_16 f = static_cast<Fixed16_16>(position & 0xFFFF);
  if (at >= grid_[i] - 1) {
    at = grid_[i] - 2;
    f = kFixedOne;
  }
  *index = at;
  *fraction = f;
}

uint32_t ICCStepMDTable::LocateCell(const Fixed16_16* channels, Fixed16_16* fraction) const {
  uint32_t base = 0;
  for (uint32_t i = 0; i < inputs_; ++i) {
    uint32_t index;
    Locate(i, channels[i], &index, &fraction[i]);
    base += index * strides_[i];
  }
  return base;
}

void ICCStepMDTableLinear::Apply(Fixed16_16* channels) const {
  Fixed16_16 fraction[kMaxPipelineChannels];
  int64_t sum[kMaxLinearOutputs];
  InterpolateMultilinear(values_, strides_, inputs_, outputs_, LocateCell(channels, fraction), fraction, sum);
  for (uint32_t k = 0; k < outputs_; ++k) channels[k] = InterpolatedToUnit(sum[k]);
}

void ICCStepMDTableHedral::Apply(Fixed16_16* channels) const {
  Fixed16_16 fraction[kMaxPipelineChannels];
  int64_t sum[kMaxPipelineChannels];
  InterpolateSimplex(values_, strides_, inputs_, outputs_, LocateCell(channels, fraction), fraction, sum);
  for (uint32_t k = 0; k < outputs_; ++k) channels[k] = InterpolatedToUnit(sum[k]);
}

namespace {

// 6/29, (6/29)^3 and 3 (6/29)^2 in 16.16.
constexpr int64_t kDelta = 13559;
constexpr int64_t kDeltaCubed = 580;  // 0.008856
constexpr int64_t kThreeDeltaSquared = 8416;
constexpr int64_t kFourOver29 = 9039;

// The inverse of the CIE lightness function f, 16.16.
int64_t InverseLightness(int64_t f) {
  if (f > kDelta) return (((f * f) >> 16) * f) >> 16;
  return ((f - kFourOver29) * kThreeDeltaSquared) >> 16;
}

int64_t Lightness(Fixed16_16 t) {
  if (t > kDeltaCubed) return FixedCbrt(t);
  // t / (3 delta^2) + 4/29
  return static_cast<int64_t>(t) * 65536 / kThreeDeltaSquared + kFourOver29;
}

}  // namespace

ICCStepLabToXYZ::ICCStepLabToXYZ(const Fixed16_16* white) { std::memcpy(white_, white, sizeof white_); }

void ICCStepLabToXYZ::Apply(Fixed16_16* channels) const {
  int64_t L = static_cast<int64_t>(ClampUnit(channels[0])) * 100;
  int64_t a = static_cast<int64_t>(channels[1]) * 255 - (int64_t{128} << 16);
  int64_t b = static_cast<int64_t>(channels[2]) * 255 - (int64_t{128} << 16);
  if (a < -(int64_t{128} << 16)) a = -(int64_t{128} << 16);
  if (a > (int64_t{127} << 16)) a = int64_t{127} << 16;
  if (b < -(int64_t{128} << 16)) b = -(int64_t{128} << 16);
  if (b > (int64_t{127} << 16)) b = int64_t{127} << 16;
  int64_t fy = (L + (int64_t{16} << 16)) / 116;
  int64_t fx = fy + a / 500;
  int64_t fz = fy - b / 200;
  int64_t f[3] = {fx, fy, fz};
  for (int i = 0; i < 3; ++i) {
    int64_t t = InverseLightness(f[i]);
    if (t < 0) t = 0;
    channels[i] = FixedSaturate((t * white_[i] + 0x8000) >> 16);
  }
}

ICCStepXYZToLab::ICCStepXYZToLab(const Fixed16_16* white) { std::memcpy(white_, white, sizeof white_); }

void ICCStepXYZToLab::Apply(Fixed16_16* channels) const {
  int64_t f[3];
  for (int i = 0; i < 3; ++i) {
    Fixed16_16 v = channels[i] < 0 ? 0 : channels[i];
    f[i] = Lightness(FixedDiv(v, white_[i]));
  }
  int64_t L = 116 * f[1] - (int64_t{16} << 16);
  int64_t a = 500 * (f[0] - f[1]);
  int64_t b = 200 * (f[1] - f[2]);
  channels[0] = ClampUnit(static_cast<Fixed16_16>(L / 100));
  channels[1] = ClampUnit(static_cast<Fixed16_16>((a + (int64_t{128} << 16)) / 255));
  channels[2] = ClampUnit(static_cast<Fixed16_16>((b + (int64_t{128} << 16)) / 255));
}

bool InvertMatrix3(const Fixed16_16* m, Fixed16_16* inverse) {
  for (int i = 0; i < 9; ++i) {
    if (m[i] > IntToFixed(16) || m[i] < -IntToFixed(16)) return false;
  }
  auto at = [&](int r, int c) { return static_cast<int64_t>(m[3 * r + c]); };
  // Cofactors have 32 fraction bits, the determinant 48.
  int64_t cof[9];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[3 * r + c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
    }
  }
  int64_t det = at(0, 0) * cof[0] + at(0, 1) * cof[1] + at(0, 2) * cof[2];  // 48 fraction bits
  int64_t det32 = det >> 16;
  if (det32 == 0) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // inverse[r][c] = cof[c][r] / det
      int64_t v = (cof[3 * c + r] * 65536) / det32;
      if (v > kFixedMax || v < kFixedMin) return false;
      inverse[3 * r + c] = static_cast<Fixed16_16>(v);
    }
  }
  return true;
}

}  // namespace vn::color::color_detail
