// Byte converter for pipelines of the matrix/TRC kind: curves on each
// channel, 3x3 matrices, curves on each channel (an RGB profile with
// colorant and curve tags to the display, or to another such profile).
// Each part is tabulated on its own: the input curves per byte value, the
// matrices composed into one, the output curves over 0..1. That keeps
// saturated and dark colours exact where a sampled 3-D grid would blur
// the sharp bends that clipping and steep tone curves make.
#pragma once

#include <cstdint>

#include "color/color_converter.h"
#include "color/icc_pipeline.h"

namespace vn::color {

class MatrixShaperConverter final : public ByteColorConverter {
 public:
  // Whether `pipeline` has that form, for 3 inputs and `outputs` (1 or 3).
  static bool Fits(const color_detail::ICCPipeline& pipeline, uint32_t inputs, uint32_t outputs);

  MatrixShaperConverter(AppContext& context, const color_detail::ICCPipeline& pipeline, uint32_t outputs);

  void ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first, uint32_t last) const override;
  void ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source,
                    int32_t sourceStep) const override;
  uint32_t MemorySize() const override { return sizeof(*this); }

  // The output curves: one entry per 16.16 unit below kFineEnd (where
  // gamma curves are steepest), then kCoarseSteps intervals over 0..1.
  static constexpr uint32_t kFineEnd = 1024;
  static constexpr uint32_t kCoarseSteps = 4096;

 private:
  uint8_t OutputByte(uint32_t channel, int64_t value) const;

  // Linear values of each input byte, per channel (16.16).
  Fixed16_16 input_[3][256];
  // The composed matrix, 32 fraction bits, row by row, and its offset (16.16).
  int64_t matrix_[9];
  int64_t offset_[3];
  uint16_t fine_[3][kFineEnd + 1];
  uint16_t coarse_[3][kCoarseSteps + 1];
};

}  // namespace vn::color
