// Separation and DeviceN spaces: colorant tints through a tint transform
// into an alternate space; "All" paints the tint on every channel.
#pragma once

#include "pdf/content/function.h"
#include "pdf/pdfcolor/color_space_ref.h"

namespace vn::pdf::pdfcolor {

class DeviceNColorSpace final : public color::ColorSpace {
 public:
  // `tint` is null for "All".
  DeviceNColorSpace(AppContext& context, uint32_t colorants, const ColorSpaceRef& alternate, content::Function* tint,
                    bool all);

  bool IsColorantSpace() const override { return true; }
  bool IsSubtractive() const override { return alternate_->IsSubtractive(); }
  color::ByteColorConverter* MakeByteConverter(AppContext& context, const color::ICCColorSpace& destination,
                                               int32_t intent) const override;
  color::FixedColorConverter* MakeFixedConverter(AppContext& context, const color::ICCColorSpace& destination,
                                                 int32_t intent) const override;

  bool IsAll() const { return all_; }
  const content::Function* Tint() const { return tint_.get(); }

 private:
  Ref<color::ColorSpace> alternate_;
  Ref<content::Function> tint_;
  bool all_;
};

// Tints through the tint transform and the alternate space's converter.
template <class Signal>
class DeviceNColorConverter;

// "All": the tint on every destination channel: as it stands on a
// subtractive destination (variant 1), complemented on an additive one
// (variant 0), so full tint is full ink, black on a screen.
template <class Signal>
class SeparationAllColorConverter;

}  // namespace vn::pdf::pdfcolor
