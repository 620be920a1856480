// Spaces whose components are not 0..1: Lab (and ICCBased profiles with a
// Lab data space), whose components are L*, a* and b* within a range. The
// wrapped ICC space takes L/100, (a + 128)/255, (b + 128)/255; image bytes
// 0..255 span each component's range.
#pragma once

#include "color/icc_color_space.h"
#include "pdf/pdfcolor/color_space_ref.h"

namespace vn::pdf::pdfcolor {

class RangedLabColorSpace final : public color::ColorSpace {
 public:
  // `range`: amin amax bmin bmax.
  RangedLabColorSpace(AppContext& context, color::ICCColorSpace& lab, const Fixed16_16* range);

  bool IsSubtractive() const override { return false; }
  color::ByteColorConverter* MakeByteConverter(AppContext& context, const color::ICCColorSpace& destination,
                                               int32_t intent) const override;
  color::FixedColorConverter* MakeFixedConverter(AppContext& context, const color::ICCColorSpace& destination,
                                                 int32_t intent) const override;
  // Component minima and maxima: L 0..100, then the a and b ranges.
  const Fixed16_16* Range() const { return range_; }
  const Fixed16_16* ComponentRanges() const override { return range_; }

 private:
  Ref<color::ICCColorSpace> lab_;
  Fixed16_16 range_[6];
};

// Pattern spaces: coloured patterns ("Pattern" alone, no base) or
// uncoloured ones, painted in a colour of the base space.
class PatternColorSpace final : public color::ColorSpace {
 public:
  PatternColorSpace(AppContext& context, color::ColorSpace* base)
      : ColorSpace(base != nullptr ? base->Components() : 0), base_(context, base) {}
  bool IsSubtractive() const override { return base_ && base_->IsSubtractive(); }
  // Converters of the base space's colours; kBadData without a base.
  color::ByteColorConverter* MakeByteConverter(AppContext& context, const color::ICCColorSpace& destination,
                                               int32_t intent) const override;
  color::FixedColorConverter* MakeFixedConverter(AppContext& context, const color::ICCColorSpace& destination,
                                                 int32_t intent) const override;
  color::ColorSpace* Base() const { return base_.get(); }

 private:
  Ref<color::ColorSpace> base_;
};

}  // namespace vn::pdf::pdfcolor
