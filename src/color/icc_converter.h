// Converters between two ICC spaces: the shared pipeline (the
// implementation) and its byte and fixed converters.
#pragma once

#include "color/icc_color_space.h"
#include "color/sampled_byte_converter.h"

namespace vn::color {

// The pipeline from a source profile to a destination, as a colour function.
class ICCColorConverterImpl final : public ColorEvaluator {
 public:
  ICCColorConverterImpl(AppContext& context, const ICCColorSpace& source, const ICCColorSpace& destination,
                        int32_t intent);
  ~ICCColorConverterImpl() override;
  void Evaluate(const Fixed16_16* in, Fixed16_16* out) const override;
  uint32_t MemorySize() const override;
  const color_detail::ICCPipeline& Pipeline() const { return *pipeline_; }

 private:
  AppContext& context_;
  color_detail::ICCPipeline* pipeline_;  // counted
};

template <class Signal>
class ICCColorConverter;

// Rows of bytes through a table sampled from the pipeline.
template <>
class ICCColorConverter<ByteSignalTraits> final : public SampledByteConverter {
 public:
  ICCColorConverter(AppContext& context, const ICCColorConverterImpl& impl) : SampledByteConverter(context, impl) {}
};

// Single colours through the pipeline itself.
template <>
class ICCColorConverter<FixedSignalTraits> final : public FixedColorConverter {
 public:
  ICCColorConverter(AppContext& context, const ICCColorConverterImpl& impl);
  ~ICCColorConverter() override;
  void ConvertRun(const Fixed16_16* source, Fixed16_16* destination, uint32_t first, uint32_t last) const override;
  void ConvertPixel(Fixed16_16* destination, int32_t destinationStep, const Fixed16_16* source,
                    int32_t sourceStep) const override;

 private:
  AppContext& context_;
  const ICCColorConverterImpl* impl_;  // counted
};

}  // namespace vn::color
