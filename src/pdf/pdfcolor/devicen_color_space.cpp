#include "pdf/pdfcolor/devicen_color_space.h"

#include "color/icc_color_space.h"
#include "color/sampled_byte_converter.h"

namespace vn::pdf::pdfcolor {

DeviceNColorSpace::DeviceNColorSpace(AppContext& context, uint32_t colorants, const ColorSpaceRef& alternate,
                                     content::Function* tint, bool all)
    : ColorSpace(colorants), alternate_(context, alternate.space.get()), tint_(context, tint), all_(all) {}

template <>
class DeviceNColorConverter<color::FixedSignalTraits> final : public color::FixedColorConverter {
 public:
  DeviceNColorConverter(AppContext& context, const content::Function& tint, color::FixedColorConverter& alternate)
      : color::FixedColorConverter(tint.Inputs(), alternate.Outputs()),
        tint_(context, const_cast<content::Function*>(&tint)),
        alternate_(context, &alternate) {}
  void ConvertRun(const Fixed16_16* source, Fixed16_16* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + p * inputs_, 1);
  }
  void ConvertPixel(Fixed16_16* destination, int32_t destinationStep, const Fixed16_16* source,
                    int32_t sourceStep) const override {
    Fixed16_16 tints[color::kMaxColorChannels], values[content::kMaxFunctionOutputs];
    for (uint32_t i = 0; i < inputs_; ++i) tints[i] = source[i * sourceStep];
    content::FunctionDispatcher(*tint_).Evaluate(tints, values);
    alternate_->ConvertPixel(destination, destinationStep, values, 1);
  }

 private:
  Ref<content::Function> tint_;
  Ref<color::FixedColorConverter> alternate_;
};

// The tint transform and alternate converter as one colour function, for
// sampling into a byte converter.
class TintEvaluator final : public color::ColorEvaluator {
 public:
  TintEvaluator(AppContext& context, const color::FixedColorConverter& converter)
      : ColorEvaluator(converter.Inputs(), converter.Outputs()),
        converter_(context, const_cast<color::FixedColorConverter*>(&converter)) {}
  void Evaluate(const Fixed16_16* in, Fixed16_16* out) const override { converter_->ConvertPixel(out, 1, in, 1); }

 private:
  Ref<color::FixedColorConverter> converter_;
};

template <>
class DeviceNColorConverter<color::ByteSignalTraits> final : public color::SampledByteConverter {
 public:
  DeviceNColorConverter(AppContext& context, const color::ColorEvaluator& evaluator)
      : SampledByteConverter(context, evaluator) {}
};

template <>
class SeparationAllColorConverter<color::ByteSignalTraits> final : public color::ByteColorConverter {
 public:
  SeparationAllColorConverter(uint32_t outputs, bool subtractive)
      : color::ByteColorConverter(1, outputs), subtractive_(subtractive) {}
  void ConvertRun(const uint8_t* source, uint8_t* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + p, 1);
  }
  void ConvertPixel(uint8_t* destination, int32_t destinationStep, const uint8_t* source, int32_t) const override {
    uint8_t v = subtractive_ ? source[0] : static_cast<uint8_t>(255 - source[0]);
    for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = v;
  }

 private:
  bool subtractive_;
};

template <>
class SeparationAllColorConverter<color::FixedSignalTraits> final : public color::FixedColorConverter {
 public:
  SeparationAllColorConverter(uint32_t outputs, bool subtractive)
      : color::FixedColorConverter(1, outputs), subtractive_(subtractive) {}
  void ConvertRun(const Fixed16_16* source, Fixed16_16* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + p, 1);
  }
  void ConvertPixel(Fixed16_16* destination, int32_t destinationStep, const Fixed16_16* source,
                    int32_t) const override {
    Fixed16_16 t = source[0] < 0 ? 0 : (source[0] > kFixedOne ? kFixedOne : source[0]);
    Fixed16_16 v = subtractive_ ? t : kFixedOne - t;
    for (uint32_t k = 0; k < outputs_; ++k) destination[k * destinationStep] = v;
  }

 private:
  bool subtractive_;
};

color::ByteColorConverter* DeviceNColorSpace::MakeByteConverter(AppContext& context,
                                                                const color::ICCColorSpace& destination,
                                                                int32_t intent) const {
  if (all_) {
    return New<SeparationAllColorConverter<color::ByteSignalTraits>>(context, destination.Components(),
                                                                      destination.IsSubtractive());
  }
  Ref<color::FixedColorConverter> fixed(context, MakeFixedConverter(context, destination, intent));
  Ref<TintEvaluator> evaluator(context, New<TintEvaluator>(context, context, *fixed));
  return New<DeviceNColorConverter<color::ByteSignalTraits>>(context, context, *evaluator);
}

color::FixedColorConverter* DeviceNColorSpace::MakeFixedConverter(AppContext& context,
                                                                  const color::ICCColorSpace& destination,
                                                                  int32_t intent) const {
  if (all_) {
    return New<SeparationAllColorConverter<color::FixedSignalTraits>>(context, destination.Components(),
                                                                       destination.IsSubtractive());
  }
  Ref<color::FixedColorConverter> alternate(context, alternate_->MakeFixedConverter(context, destination, intent));
  return New<DeviceNColorConverter<color::FixedSignalTraits>>(context, context, *tint_, *alternate);
}

}  // namespace vn::pdf::pdfcolor
