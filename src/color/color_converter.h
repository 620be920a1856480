// Colour converters: turn colour values of one space into values of a
// destination space. Two signal kinds exist: 8-bit samples (images, rows of
// pixels) and 16.16 components in 0..1 (single colours set by operators,
// shading functions). A converter is made once per image, shading or
// colour and used for many pixels; converting allocates nothing and never
// raises.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"
#include "runtime/ref_counted.h"

namespace vn::color {

// The most channels a colour of any space has (DeviceN: 32 colorants).
inline constexpr uint32_t kMaxColorChannels = 32;

struct ByteSignalTraits {
  using Sample = uint8_t;
};
struct FixedSignalTraits {
  using Sample = Fixed16_16;
};

template <class Signal>
class ColorConverter : public RefCounted {
 public:
  using Sample = typename Signal::Sample;

  ColorConverter(uint32_t inputs, uint32_t outputs) : inputs_(inputs), outputs_(outputs) {}

  // Pixels `first` to `last` - 1 of a row: source pixels of Inputs()
  // samples each, destination pixels of Outputs() samples each, packed.
  virtual void ConvertRun(const Sample* source, Sample* destination, uint32_t first, uint32_t last) const = 0;
  // One pixel whose samples are `sourceStep` and `destinationStep` apart.
  virtual void ConvertPixel(Sample* destination, int32_t destinationStep, const Sample* source,
                            int32_t sourceStep) const = 0;

  uint32_t Inputs() const { return inputs_; }
  uint32_t Outputs() const { return outputs_; }
  // Bytes held, for cache accounting.
  virtual uint32_t MemorySize() const { return 64; }

 protected:
  uint32_t inputs_;
  uint32_t outputs_;
};

using ByteColorConverter = ColorConverter<ByteSignalTraits>;
using FixedColorConverter = ColorConverter<FixedSignalTraits>;

// Copies channels: the source space is the destination space.
template <class Signal>
class IdentityConverter final : public ColorConverter<Signal> {
 public:
  using Sample = typename Signal::Sample;
  explicit IdentityConverter(uint32_t channels) : ColorConverter<Signal>(channels, channels) {}
  void ConvertRun(const Sample* source, Sample* destination, uint32_t first, uint32_t last) const override {
    const uint32_t n = this->inputs_;
    for (uint32_t i = first * n; i < last * n; ++i) destination[i] = source[i];
  }
  void ConvertPixel(Sample* destination, int32_t destinationStep, const Sample* source,
                    int32_t sourceStep) const override {
    for (uint32_t i = 0; i < this->inputs_; ++i) destination[i * destinationStep] = source[i * sourceStep];
  }
};

// 16.16 in 0..1 to a byte, rounded to nearest (values outside are clamped).
inline uint8_t UnitToByte(Fixed16_16 v) {
  if (v <= 0) return 0;
  if (v >= kFixedOne) return 255;
  return static_cast<uint8_t>((static_cast<uint32_t>(v) * 255 + 0x8000) >> 16);
}

}  // namespace vn::color
