// Indexed spaces: a palette of up to 256 colours of a base space.
#pragma once

#include "pdf/pdfcolor/color_space_ref.h"
#include "runtime/engine_array.h"

namespace vn::pdf::pdfcolor {

class IndexedColorSpace final : public color::ColorSpace {
 public:
  // `lookup` holds (hival + 1) x base components bytes.
  IndexedColorSpace(AppContext& context, const ColorSpaceRef& base, uint32_t hival, const uint8_t* lookup);

  bool IsIndexed() const override { return true; }
  bool IsSubtractive() const override { return base_->IsSubtractive(); }
  color::ByteColorConverter* MakeByteConverter(AppContext& context, const color::ICCColorSpace& destination,
                                               int32_t intent) const override;
  color::FixedColorConverter* MakeFixedConverter(AppContext& context, const color::ICCColorSpace& destination,
                                                 int32_t intent) const override;
  uint32_t HighestIndex() const { return hival_; }
  color::ColorSpace& Base() const { return *base_; }
  const uint8_t* Lookup() const { return lookup_.Data(); }

 private:
  Ref<color::ColorSpace> base_;
  uint32_t hival_;
  EngineArray<uint8_t> lookup_;
};

// Indices to colours through a table of every index's converted colour
// (indices above the highest use the last entry).
template <class Signal>
class IndexedColorConverter;

}  // namespace vn::pdf::pdfcolor
