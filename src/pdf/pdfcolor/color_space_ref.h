// A resolved colour space as the graphics state holds it: the space, its
// kind, component count, initial colour and whether it paints at all.
#pragma once

#include <cstdint>

#include "color/color_space.h"
#include "runtime/engine_new.h"

namespace vn::pdf::pdfcolor {

// Kinds of colour space. Separation and DeviceN resolve to plain spaces;
// kColorantSpace only names them in the set of disallowed kinds.
enum ColorSpaceKind : uint32_t {
  kPlainSpace = 1,
  kPatternSpace = 2,
  kIndexedSpace = 4,
  kColorantSpace = 8,
};

inline constexpr uint32_t kMaxComponents = color::kMaxColorChannels;

// A leaf holder: declare it directly; copying takes another reference.
struct ColorSpaceRef {
  explicit ColorSpaceRef(AppContext& context) : space(context) {}

  uint32_t kind = kPlainSpace;
  Ref<color::ColorSpace> space;
  uint32_t components = 0;
  // The colour a "cs"/"CS" operator sets: 0 for most spaces (black), 0 0 0 1
  // for CMYK, 1.0 per colorant for Separation and DeviceN, Lab and ICCBased
  // zeros clamped to their ranges.
  Fixed16_16 initial[kMaxComponents] = {};
  // Separation "None", or DeviceN whose colorants are all "None".
  bool paintsNothing = false;

  // A space of `kind` with its own component count, initial colour 0.
  void Set(uint32_t spaceKind, color::ColorSpace* colorSpace) {
    kind = spaceKind;
    space.Set(colorSpace);
    components = colorSpace->Components();
    for (Fixed16_16& value : initial) value = 0;
    paintsNothing = false;
  }
};

}  // namespace vn::pdf::pdfcolor
