#include "color/icc_converter.h"

namespace vn::color {

using color_detail::kMaxPipelineChannels;

ICCColorConverterImpl::ICCColorConverterImpl(AppContext& context, const ICCColorSpace& source,
                                             const ICCColorSpace& destination, int32_t intent)
    : ColorEvaluator(source.Components(), destination.Components()),
      context_(context),
      pipeline_(source.MakePipeline(destination, intent)) {
  pipeline_->AddRef();
}

ICCColorConverterImpl::~ICCColorConverterImpl() { pipeline_->Release(context_); }

void ICCColorConverterImpl::Evaluate(const Fixed16_16* in, Fixed16_16* out) const {
  Fixed16_16 channels[kMaxPipelineChannels] = {};
  for (uint32_t i = 0; i < inputs_; ++i) channels[i] = in[i];
  pipeline_->Apply(channels);
  for (uint32_t i = 0; i < outputs_; ++i) out[i] = channels[i];
}

uint32_t ICCColorConverterImpl::MemorySize() const { return sizeof(*this) + pipeline_->MemorySize(); }

ICCColorConverter<FixedSignalTraits>::ICCColorConverter(AppContext& context, const ICCColorConverterImpl& impl)
    : FixedColorConverter(impl.Inputs(), impl.Outputs()), context_(context), impl_(&impl) {
  const_cast<ICCColorConverterImpl&>(impl).AddRef();
}

ICCColorConverter<FixedSignalTraits>::~ICCColorConverter() {
  const_cast<ICCColorConverterImpl*>(impl_)->Release(context_);
}

void ICCColorConverter<FixedSignalTraits>::ConvertRun(const Fixed16_16* source, Fixed16_16* destination,
                                                      uint32_t first, uint32_t last) const {
  for (uint32_t p = first; p < last; ++p) impl_->Evaluate(source + p * inputs_, destination + p * outputs_);
}

void ICCColorConverter<FixedSignalTraits>::ConvertPixel(Fixed16_16* destination, int32_t destinationStep,
                                                        const Fixed16_16* source, int32_t sourceStep) const {
  Fixed16_16 in[kMaxColorChannels], out[kMaxColorChannels];
  for (uint32_t i = 0; i < inputs_; ++i) in[i] = source[i * sourceStep];
  impl_->Evaluate(in, out);
  for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = out[k];
}

}  // namespace vn::color
