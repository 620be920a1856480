// Interpolation in multidimensional tables of 16-bit entries (0..65535 for
// 0..1), shared by the ICC table steps and the sampled byte converters.
// The caller locates the cell: `base` is the entry offset of its lowest
// corner and fraction[i] the position inside it along input i (16.16,
// 0..1.0 inclusive). Results are 0..65535 units with 16 fraction bits.
#pragma once

#include <cstdint>

namespace vn::color::color_detail {

// Multilinear interpolation handles at most this many inputs and outputs.
inline constexpr uint32_t kMaxLinearInputs = 8;
inline constexpr uint32_t kMaxLinearOutputs = 8;
// Simplex interpolation: inputs and outputs.
inline constexpr uint32_t kMaxSimplexChannels = 16;

// Simplex (tetrahedral) interpolation: the fractions are sorted, largest
// first, and the corners are visited from the lowest toward the highest,
// one input at a time in that order.
inline void InterpolateSimplex(const uint16_t* values, const uint32_t* strides, uint32_t inputs, uint32_t outputs,
                               uint32_t base, const int32_t* fraction, int64_t* sum) {
  uint32_t order[kMaxSimplexChannels];
  for (uint32_t i = 0; i < inputs; ++i) {
    uint32_t at = i;
    while (at > 0 && fraction[order[at - 1]] < fraction[i]) {
      order[at] = order[at - 1];
      --at;
    }
    order[at] = i;
  }
  const uint16_t* corner = values + base;
  for (uint32_t k = 0; k < outputs; ++k) sum[k] = static_cast<int64_t>(corner[k]) << 16;
  for (uint32_t step = 0; step < inputs; ++step) {
    const uint16_t* next = corner + strides[order[step]];
    const int64_t f = fraction[order[step]];
    for (uint32_t k = 0; k < outputs; ++k) sum[k] += (static_cast<int64_t>(next[k]) - corner[k]) * f;
    corner = next;
  }
}

// Multilinear interpolation over the 2^inputs corners, folded one input
// at a time (last input first).
inline void InterpolateMultilinear(const uint16_t* values, const uint32_t* strides, uint32_t inputs,
                                   uint32_t outputs, uint32_t base, const int32_t* fraction, int64_t* sum) {
  int64_t partial[kMaxLinearInputs + 1][kMaxLinearOutputs];
  int64_t value[kMaxLinearOutputs];
  const uint32_t corners = 1u << inputs;
  for (uint32_t c = 0; c < corners; ++c) {
    uint32_t offset = base;
    for (uint32_t j = 0; j < inputs; ++j) {
      if (c & (1u << (inputs - 1 - j))) offset += strides[j];
    }
    for (uint32_t k = 0; k < outputs; ++k) value[k] = static_cast<int64_t>(values[offset + k]) << 16;
    // Bit `level` of c belongs to input inputs - 1 - level; each completed
    // pair of corners along that input folds into the level above.
    uint32_t level = 0;
    while (level < inputs && (c & (1u << level))) {
      const int64_t f = fraction[inputs - 1 - level];
      for (uint32_t k = 0; k < outputs; ++k) {
        value[k] = partial[level][k] + (((value[k] - partial[level][k]) * f) >> 16);
      }
      ++level;
    }
    for (uint32_t k = 0; k < outputs; ++k) partial[level][k] = value[k];
  }
  for (uint32_t k = 0; k < outputs; ++k) sum[k] = partial[inputs][k];
}

// An interpolated result as 16.16 in 0..1, rounded.
inline int32_t InterpolatedToUnit(int64_t sum) {
  if (sum <= 0) return 0;
  return static_cast<int32_t>((sum + 32767) / 65535);
}

// An interpolated result as a byte, rounded.
inline uint8_t InterpolatedToByte(int64_t sum) {
  if (sum <= 0) return 0;
  int64_t v = (sum * 255 + (int64_t{65535} << 15)) / (int64_t{65535} << 16);
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}

}  // namespace vn::color::color_detail
