#include "pdf/pdfcolor/ranged_color_space.h"

#include "color/sampled_byte_converter.h"
#include "runtime/error.h"

namespace vn::pdf::pdfcolor {

RangedLabColorSpace::RangedLabColorSpace(AppContext& context, color::ICCColorSpace& lab, const Fixed16_16* range)
    : ColorSpace(3), lab_(context, &lab) {
  range_[0] = 0;
  range_[1] = IntToFixed(100);
  for (int i = 0; i < 4; ++i) range_[2 + i] = range[i];
}

namespace {

// Lab components (clamped to the range) in the engine's encoding.
void EncodeLab(const Fixed16_16* range, const Fixed16_16* lab, Fixed16_16* encoded) {
  for (int i = 0; i < 3; ++i) {
    Fixed16_16 v = lab[i] < range[2 * i] ? range[2 * i] : (lab[i] > range[2 * i + 1] ? range[2 * i + 1] : lab[i]);
    encoded[i] = i == 0 ? v / 100 : static_cast<Fixed16_16>((static_cast<int64_t>(v) + IntToFixed(128)) / 255);
  }
}

class LabFixedConverter final : public color::FixedColorConverter {
 public:
  LabFixedConverter(AppContext& context, const RangedLabColorSpace& space, color::FixedColorConverter& icc)
      : color::FixedColorConverter(3, icc.Outputs()), space_(context, const_cast<RangedLabColorSpace*>(&space)),
        icc_(context, &icc) {}
  void ConvertRun(const Fixed16_16* source, Fixed16_16* destination, uint32_t first, uint32_t last) const override {
    for (uint32_t p = first; p < last; ++p) ConvertPixel(destination + p * outputs_, 1, source + 3 * p, 1);
  }
  void ConvertPixel(Fixed16_16* destination, int32_t destinationStep, const Fixed16_16* source,
                    int32_t sourceStep) const override {
    Fixed16_16 lab[3] = {source[0], source[sourceStep], source[2 * sourceStep]}, encoded[3];
    EncodeLab(space_->Range(), lab, encoded);
    icc_->ConvertPixel(destination, destinationStep, encoded, 1);
  }

 private:
  Ref<RangedLabColorSpace> space_;
  Ref<color::FixedColorConverter> icc_;
};

// Image bytes span each component's range.
class LabByteEvaluator final : public color::ColorEvaluator {
 public:
  LabByteEvaluator(AppContext& context, const RangedLabColorSpace& space, color::FixedColorConverter& icc)
      : ColorEvaluator(3, icc.Outputs()), space_(context, const_cast<RangedLabColorSpace*>(&space)),
        icc_(context, &icc) {}
  void Evaluate(const Fixed16_16* in, Fixed16_16* out) const override {
    const Fixed16_16* r = space_->Range();
    Fixed16_16 lab[3], encoded[3];
    for (int i = 0; i < 3; ++i) {
      lab[i] = FixedSaturate(r[2 * i] + ((static_cast<int64_t>(in[i]) * (static_cast<int64_t>(r[2 * i + 1]) - r[2 * i])) >> 16));
    }
    EncodeLab(r, lab, encoded);
    icc_->ConvertPixel(out, 1, encoded, 1);
  }

 private:
  Ref<RangedLabColorSpace> space_;
  Ref<color::FixedColorConverter> icc_;
};

}  // namespace

color::FixedColorConverter* RangedLabColorSpace::MakeFixedConverter(AppContext& context,
                                                                    const color::ICCColorSpace& destination,
                                                                    int32_t intent) const {
  Ref<color::FixedColorConverter> icc(context, lab_->MakeFixedConverter(context, destination, intent));
  return New<LabFixedConverter>(context, context, *this, *icc);
}

color::ByteColorConverter* RangedLabColorSpace::MakeByteConverter(AppContext& context,
                                                                  const color::ICCColorSpace& destination,
                                                                  int32_t intent) const {
  Ref<color::FixedColorConverter> icc(context, lab_->MakeFixedConverter(context, destination, intent));
  Ref<LabByteEvaluator> evaluator(context, New<LabByteEvaluator>(context, context, *this, *icc));
  return New<color::SampledByteConverter>(context, context, *evaluator);
}

color::ByteColorConverter* PatternColorSpace::MakeByteConverter(AppContext& context,
                                                                const color::ICCColorSpace& destination,
                                                                int32_t intent) const {
  if (!base_) RaiseBadData(context);
  return base_->MakeByteConverter(context, destination, intent);
}

color::FixedColorConverter* PatternColorSpace::MakeFixedConverter(AppContext& context,
                                                                  const color::ICCColorSpace& destination,
                                                                  int32_t intent) const {
  if (!base_) RaiseBadData(context);
  return base_->MakeFixedConverter(context, destination, intent);
}

}  // namespace vn::pdf::pdfcolor
