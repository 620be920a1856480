#include "color/sampled_byte_converter.h"

#include "color/table_interpolation.h"
#include "runtime/error.h"
#include "runtime/memory_budget.h"
#include "runtime/yield_points.h"

namespace vn::color {

uint32_t SampledByteConverter::GridPoints(uint32_t inputs) {
  static constexpr uint32_t kPoints[9] = {0, 256, 52, 33, 17, 9, 6, 5, 4};
  return inputs <= 8 ? kPoints[inputs] : 0;
}

SampledByteConverter::SampledByteConverter(AppContext& context, const ColorEvaluator& evaluator)
    : ByteColorConverter(evaluator.Inputs(), evaluator.Outputs()), context_(context) {
  const uint32_t n = inputs_, outs = outputs_;
  Fixed16_16 in[kMaxColorChannels] = {}, out[kMaxColorChannels];
  if (n == 1) {
    bytes_ = static_cast<uint8_t*>(Allocate(context, 256 * outs));
    for (uint32_t b = 0; b < 256; ++b) {
      in[0] = ByteToFixed(static_cast<uint8_t>(b));
      evaluator.Evaluate(in, out);
      for (uint32_t k = 0; k < outs; ++k) bytes_[b * outs + k] = UnitToByte(out[k]);
    }
    return;
  }
  points_ = GridPoints(n);
  // CMYK to RGB varies strongly along every ink, which multilinear
  // interpolation follows more closely than the simplex form.
  multilinear_ = n == 4 && outs == 3;
  if (points_ == 0 || outs > color_detail::kMaxSimplexChannels) {
    const_cast<ColorEvaluator&>(evaluator).AddRef();
    evaluator_ = &evaluator;
    return;
  }
  uint32_t nodes = 1;
  for (uint32_t i = 0; i < n; ++i) nodes *= points_;
  uint32_t stride = outs;
  for (uint32_t i = n; i-- > 0;) {
    strides_[i] = stride;
    stride *= points_;
  }
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t position = b * (points_ - 1) * 65536 / 255;  // 16.16 grid coordinate
    uint32_t index = position >> 16;
    uint32_t fraction = position & 0xFFFF;
    if (index >= points_ - 1) {  // the last byte sits on the last grid point
      index = points_ - 2;
      fraction = 0x10000;
    }
    cellIndex_[b] = static_cast<uint8_t>(index);
    cellFraction_[b] = static_cast<int32_t>(fraction);
  }
  // Corner c of a cell (bit 3 - i for input i) at offset cornerOffsets_[c].
  for (uint32_t c = 0; c < 16 && n == 4; ++c) {
    cornerOffsets_[c] = 0;
    for (uint32_t i = 0; i < 4; ++i) cornerOffsets_[c] += (c >> (3 - i) & 1) * strides_[i];
  }
  grid_ = static_cast<uint16_t*>(Allocate(context, nodes * outs * 2));
  uint32_t node[8] = {};
  for (uint32_t at = 0; at < nodes; ++at) {
    for (uint32_t i = 0; i < n; ++i) in[i] = static_cast<Fixed16_16>(node[i] * 65536 / (points_ - 1));
    evaluator.Evaluate(in, out);
    for (uint32_t k = 0; k < outs; ++k) {
      Fixed16_16 v = out[k] < 0 ? 0 : (out[k] > kFixedOne ? kFixedOne : out[k]);
      grid_[at * outs + k] = static_cast<uint16_t>((static_cast<uint32_t>(v) * 65535 + 0x8000) >> 16);
    }
    for (uint32_t i = n; i-- > 0;) {  // last input fastest
      if (++node[i] < points_) break;
      node[i] = 0;
    }
    if ((at & 1023) == 1023) AddWork(context, 1024);
  }
}

SampledByteConverter::~SampledByteConverter() {
  Free(context_, bytes_);
  Free(context_, grid_);
  if (evaluator_ != nullptr) const_cast<ColorEvaluator*>(evaluator_)->Release(context_);
}

uint32_t SampledByteConverter::MemorySize() const {
  uint32_t nodes = 1;
  for (uint32_t i = 0; points_ != 0 && i < inputs_; ++i) nodes *= points_;
  return static_cast<uint32_t>(sizeof(*this)) + (bytes_ != nullptr ? 256 * outputs_ : 0) +
         (grid_ != nullptr ? nodes * outputs_ * 2 : 0);
}

void SampledByteConverter::Interpolate(const uint8_t* source, int32_t sourceStep, uint8_t* destination,
                                       int32_t destinationStep) const {
  uint32_t base = 0;
  int32_t fraction[8];
  for (uint32_t i = 0; i < inputs_; ++i) {
    const uint8_t b = source[i * sourceStep];
    base += cellIndex_[b] * strides_[i];
    fraction[i] = cellFraction_[b];
  }
  int64_t sum[kMaxColorChannels];
  if (multilinear_) {
    color_detail::InterpolateMultilinear(grid_, strides_, inputs_, outputs_, base, fraction, sum);
  } else {
    color_detail::InterpolateSimplex(grid_, strides_, inputs_, outputs_, base, fraction, sum);
  }
  for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = color_detail::InterpolatedToByte(sum[k]);
}

void SampledByteConverter::EvaluateDirect(const uint8_t* source, int32_t sourceStep, uint8_t* destination,
                                          int32_t destinationStep) const {
  bool same = haveLast_;
  for (uint32_t i = 0; i < inputs_ && same; ++i) same = lastIn_[i] == source[i * sourceStep];
  if (!same) {
    Fixed16_16 in[kMaxColorChannels], out[kMaxColorChannels];
    for (uint32_t i = 0; i < inputs_; ++i) {
      lastIn_[i] = source[i * sourceStep];
      in[i] = ByteToFixed(lastIn_[i]);
    }
    evaluator_->Evaluate(in, out);
    for (uint32_t k = 0; k < outputs_; ++k) lastOut_[k] = UnitToByte(out[k]);
    haveLast_ = true;
  }
  for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = lastOut_[k];
}

void SampledByteConverter::ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source,
                                        int32_t sourceStep) const {
  if (bytes_ != nullptr) {
    const uint8_t* entry = bytes_ + source[0] * outputs_;
    for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = entry[k];
  } else if (grid_ != nullptr) {
    Interpolate(source, sourceStep, destination, destinationStep);
  } else {
    EvaluateDirect(source, sourceStep, destination, destinationStep);
  }
}

void SampledByteConverter::ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first,
                                      uint32_t last) const {
  const uint32_t n = inputs_, outs = outputs_;
  if (bytes_ != nullptr && outs == 3) {
    for (uint32_t p = first; p < last; ++p) {
      const uint8_t* entry = bytes_ + source[p] * 3;
      destination[3 * p] = entry[0];
      destination[3 * p + 1] = entry[1];
      destination[3 * p + 2] = entry[2];
    }
    return;
  }
  if (multilinear_ && n == 4 && outs == 3) {
    for (uint32_t p = first; p < last; ++p) Multilinear4To3(source + 4 * p, destination + 3 * p);
    return;
  }
  for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outs, 1, source + p * n, 1);
}

// CMYK to RGB rows: the multilinear interpolation unrolled, the sixteen
// corner offsets computed once.
void SampledByteConverter::Multilinear4To3(const uint8_t* source, uint8_t* destination) const {
  const uint32_t base = cellIndex_[source[0]] * strides_[0] + cellIndex_[source[1]] * strides_[1] +
                        cellIndex_[source[2]] * strides_[2] + cellIndex_[source[3]] * strides_[3];
  const int64_t f0 = cellFraction_[source[0]], f1 = cellFraction_[source[1]], f2 = cellFraction_[source[2]],
                f3 = cellFraction_[source[3]];
  const uint16_t* cell = grid_ + base;
  for (uint32_t k = 0; k < 3; ++k) {
    // Along the last input at the eight corners of the first three, then
    // folding the third, second and first.
    int64_t v[8];
    for (uint32_t c = 0; c < 8; ++c) {
      const int64_t a = cell[cornerOffsets_[2 * c] + k], b = cell[cornerOffsets_[2 * c + 1] + k];
      v[c] = (a << 16) + (b - a) * f3;
    }
    for (uint32_t c = 0; c < 4; ++c) v[c] = v[2 * c] + (((v[2 * c + 1] - v[2 * c]) * f2) >> 16);
    for (uint32_t c = 0; c < 2; ++c) v[c] = v[2 * c] + (((v[2 * c + 1] - v[2 * c]) * f1) >> 16);
    destination[k] = color_detail::InterpolatedToByte(v[0] + (((v[1] - v[0]) * f0) >> 16));
  }
}

}  // namespace vn::color
