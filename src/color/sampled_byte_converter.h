// Byte converters through lookup tables. Any colour function of n inputs
// (an ICC pipeline, a tint transform followed by its alternate space) is
// sampled once: a table of 256 entries for one input, a grid of 16-bit
// outputs for 2 to 8 inputs (interpolated with simplex interpolation), and
// for more inputs the function itself with a one-pixel memory.
#pragma once

#include <cstdint>

#include "color/color_converter.h"

namespace vn {
class AppContext;
}

namespace vn::color {

// A colour function over 16.16 channels in 0..1.
class ColorEvaluator : public RefCounted {
 public:
  ColorEvaluator(uint32_t inputs, uint32_t outputs) : inputs_(inputs), outputs_(outputs) {}
  virtual void Evaluate(const Fixed16_16* in, Fixed16_16* out) const = 0;
  uint32_t Inputs() const { return inputs_; }
  uint32_t Outputs() const { return outputs_; }
  virtual uint32_t MemorySize() const { return 64; }

 protected:
  uint32_t inputs_;
  uint32_t outputs_;
};

class SampledByteConverter : public ByteColorConverter {
 public:
  // Samples `evaluator` (kept for more than 8 inputs).
  SampledByteConverter(AppContext& context, const ColorEvaluator& evaluator);
  ~SampledByteConverter() override;

  void ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first, uint32_t last) const override;
  void ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source,
                    int32_t sourceStep) const override;
  uint32_t MemorySize() const override;

  // Grid points per input for n inputs (0 for n above 8: evaluated directly).
  static uint32_t GridPoints(uint32_t inputs);

 private:
  void Interpolate(const uint8_t* source, int32_t sourceStep, uint8_t* destination, int32_t destinationStep) const;
  void Multilinear4To3(const uint8_t* source, uint8_t* destination) const;
  void EvaluateDirect(const uint8_t* source, int32_t sourceStep, uint8_t* destination, int32_t destinationStep) const;

  AppContext& context_;
  const ColorEvaluator* evaluator_ = nullptr;  // counted; only for direct evaluation
  uint32_t points_ = 0;
  uint8_t* bytes_ = nullptr;      // one input: 256 * outputs
  uint16_t* grid_ = nullptr;      // points^inputs * outputs
  uint32_t strides_[8] = {};      // in entries, first input slowest
  uint8_t cellIndex_[256] = {};    // per byte value
  int32_t cellFraction_[256] = {};  // 16.16 fraction in the cell
  bool multilinear_ = false;
  uint32_t cornerOffsets_[16] = {};  // four inputs: the cell's corners
  // The last pixel evaluated directly.
  mutable uint8_t lastIn_[kMaxColorChannels] = {};
  mutable uint8_t lastOut_[kMaxColorChannels] = {};
  mutable bool haveLast_ = false;
};

}  // namespace vn::color
