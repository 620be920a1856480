// The base of every colour space: the ICC-modelled device, calibrated and
// ICCBased spaces here, and the PDF spaces that wrap them (Indexed,
// Separation, DeviceN) in pdf/pdfcolor.
#pragma once

#include <cstdint>

#include "color/color_converter.h"
#include "runtime/ref_counted.h"

namespace vn {
class AppContext;
}

namespace vn::color {

class ICCColorSpace;

// Rendering intents, as PDF and ICC number them.
enum RenderingIntent : int32_t {
  kPerceptual = 0,
  kRelativeColorimetric = 1,
  kSaturation = 2,
  kAbsoluteColorimetric = 3,
};

class ColorSpace : public RefCounted {
 public:
  explicit ColorSpace(uint32_t components) : components_(components) {}

  // Identity of the object.
  virtual bool IsEqual(const ColorSpace& other) const { return this == &other; }
  virtual bool IsIndexed() const { return false; }
  // Separation and DeviceN.
  virtual bool IsColorantSpace() const { return false; }
  // Ink-based (CMYK, and spaces whose base or alternate is).
  virtual bool IsSubtractive() const = 0;
  // The minimum and maximum of each component, for spaces whose components
  // are not 0..1 (image samples 0..255 span them); null for 0..1.
  virtual const Fixed16_16* ComponentRanges() const { return nullptr; }
  // Converters to `destination`, made with New (no reference yet). They
  // raise kBadData when the spaces cannot be connected.
  virtual ByteColorConverter* MakeByteConverter(AppContext& context, const ICCColorSpace& destination,
                                                int32_t intent) const = 0;
  virtual FixedColorConverter* MakeFixedConverter(AppContext& context, const ICCColorSpace& destination,
                                                  int32_t intent) const = 0;

  uint32_t Components() const { return components_; }

 protected:
  uint32_t components_;
};

}  // namespace vn::color
