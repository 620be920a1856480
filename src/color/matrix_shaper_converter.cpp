#include "color/matrix_shaper_converter.h"

#include "runtime/yield_points.h"

namespace vn::color {

using color_detail::ICCEngineStep;
using color_detail::ICCPipeline;
using color_detail::ICCStepMatrix3by4;
using color_detail::kMaxPipelineChannels;

namespace {

// Matrices composed into one; more would risk overflowing the composition.
constexpr uint32_t kMaxMatrices = 2;
// Matrix entries and offsets beyond this are left to the sampled converter.
constexpr Fixed16_16 kMaxEntry = 16 * kFixedOne;

bool Bounded(const Fixed16_16* values, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (values[i] > kMaxEntry || values[i] < -kMaxEntry) return false;
  }
  return true;
}

// The curves before the first matrix end at `matricesStart`; the matrices
// end at `curvesStart`.
struct Shape {
  uint32_t matricesStart = 0;
  uint32_t curvesStart = 0;
};

bool Analyse(const ICCPipeline& pipeline, Shape& shape) {
  const uint32_t count = pipeline.StepCount();
  uint32_t i = 0;
  while (i < count && pipeline.Step(i).IsUnitCurve()) ++i;
  shape.matricesStart = i;
  while (i < count && pipeline.Step(i).IsMatrix()) {
    const auto& matrix = static_cast<const ICCStepMatrix3by4&>(pipeline.Step(i));
    if (!Bounded(matrix.Matrix(), 9) || !Bounded(matrix.Offset(), 3)) return false;
    ++i;
  }
  shape.curvesStart = i;
  const uint32_t matrices = shape.curvesStart - shape.matricesStart;
  if (matrices == 0 || matrices > kMaxMatrices) return false;
  // The first output curve must read its input clamped to 0..1 (every
  // unit curve does), since the tables stop at 1.0.
  for (; i < count; ++i) {
    if (!pipeline.Step(i).IsUnitCurve()) return false;
  }
  return true;
}

uint16_t UnitToTable(Fixed16_16 v) {
  if (v <= 0) return 0;
  if (v >= kFixedOne) return 65535;
  return static_cast<uint16_t>((static_cast<uint32_t>(v) * 65535u + 0x8000u) >> 16);
}

}  // namespace

bool MatrixShaperConverter::Fits(const ICCPipeline& pipeline, uint32_t inputs, uint32_t outputs) {
  Shape shape;
  return inputs == 3 && (outputs == 1 || outputs == 3) && Analyse(pipeline, shape);
}

MatrixShaperConverter::MatrixShaperConverter(AppContext& context, const ICCPipeline& pipeline, uint32_t outputs)
    : ByteColorConverter(3, outputs) {
  Shape shape;
  Analyse(pipeline, shape);
  Fixed16_16 channels[kMaxPipelineChannels];
  for (uint32_t b = 0; b < 256; ++b) {
    for (Fixed16_16& c : channels) c = ByteToFixed(static_cast<uint8_t>(b));
    for (uint32_t s = 0; s < shape.matricesStart; ++s) pipeline.Step(s).Apply(channels);
    for (uint32_t c = 0; c < 3; ++c) input_[c][b] = channels[c];
  }
  // y = M x + o, composed: M2 (M1 x + o1) + o2 = (M2 M1) x + (M2 o1 + o2).
  for (uint32_t i = 0; i < 9; ++i) matrix_[i] = i % 4 == 0 ? int64_t{1} << 32 : 0;
  for (int64_t& o : offset_) o = 0;
  for (uint32_t s = shape.matricesStart; s < shape.curvesStart; ++s) {
    const auto& step = static_cast<const ICCStepMatrix3by4&>(pipeline.Step(s));
    const Fixed16_16* m = step.Matrix();
    int64_t composed[9], shifted[3];
    for (uint32_t r = 0; r < 3; ++r) {
      int64_t o = static_cast<int64_t>(step.Offset()[r]) << 32;
      for (uint32_t c = 0; c < 3; ++c) {
        int64_t sum = 0;
        for (uint32_t j = 0; j < 3; ++j) sum += m[3 * r + j] * matrix_[3 * j + c];
        composed[3 * r + c] = (sum + 0x8000) >> 16;
        o += m[3 * r + c] * offset_[c];
      }
      shifted[r] = (o + 0x8000) >> 16;
    }
    for (uint32_t i = 0; i < 9; ++i) matrix_[i] = composed[i];
    for (uint32_t r = 0; r < 3; ++r) offset_[r] = shifted[r];
  }
  auto sampleOutput = [&](Fixed16_16 x, uint16_t* entries, uint32_t stride) {
    for (Fixed16_16& c : channels) c = x;
    for (uint32_t s = shape.curvesStart; s < pipeline.StepCount(); ++s) pipeline.Step(s).Apply(channels);
    for (uint32_t c = 0; c < outputs; ++c) entries[c * stride] = UnitToTable(channels[c]);
  };
  for (uint32_t x = 0; x <= kFineEnd; ++x) sampleOutput(static_cast<Fixed16_16>(x), &fine_[0][x], kFineEnd + 1);
  for (uint32_t j = 0; j <= kCoarseSteps; ++j) {
    sampleOutput(static_cast<Fixed16_16>((uint64_t{j} << 16) / kCoarseSteps), &coarse_[0][j], kCoarseSteps + 1);
    if ((j & 1023) == 1023) AddWork(context, 1024);
  }
}

uint8_t MatrixShaperConverter::OutputByte(uint32_t channel, int64_t value) const {
  uint32_t entry;
  if (value <= 0) {
    entry = fine_[channel][0] * 65536u;
  } else if (value < kFineEnd) {
    entry = fine_[channel][value] * 65536u;
  } else if (value >= kFixedOne) {
    entry = coarse_[channel][kCoarseSteps] * 65536u;
  } else {
    const uint64_t position = static_cast<uint64_t>(value) * kCoarseSteps;  // 16 fraction bits
    const uint32_t index = static_cast<uint32_t>(position >> 16);
    const int64_t fraction = static_cast<int64_t>(position & 0xFFFF);
    const int64_t a = coarse_[channel][index], b = coarse_[channel][index + 1];
    entry = static_cast<uint32_t>(a * 65536 + (b - a) * fraction);
  }
  // 0..65535 with 16 fraction bits to a byte, rounded.
  return static_cast<uint8_t>((uint64_t{entry} * 255 + (uint64_t{65535} << 15)) / (uint64_t{65535} << 16));
}

void MatrixShaperConverter::ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source,
                                         int32_t sourceStep) const {
  const int64_t x = input_[0][source[0]], y = input_[1][source[sourceStep]], z = input_[2][source[2 * sourceStep]];
  for (uint32_t r = 0; r < outputs_; ++r) {
    // 48 fraction bits, rounded to 16.16.
    const int64_t v = matrix_[3 * r] * x + matrix_[3 * r + 1] * y + matrix_[3 * r + 2] * z + (offset_[r] << 16);
    destination[r * destinationStep] = OutputByte(r, (v + (int64_t{1} << 31)) >> 32);
  }
}

void MatrixShaperConverter::ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first,
                                       uint32_t last) const {
  for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + 3 * p, 1);
}

}  // namespace vn::color
