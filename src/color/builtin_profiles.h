// The built-in and generated profiles: the CMYK output profile behind
// DeviceCMYK, the display profiles a page is converted to, and the ICC
// spaces generated in memory for DeviceGray, DeviceRGB and the calibrated
// spaces (class "spac", connection space XYZ, or Lab for Lab spaces).
#pragma once

#include <cstdint>

#include "color/icc_color_space.h"

namespace vn::color {

extern const uint8_t kBuiltinCMYKProfile[];
extern const uint32_t kBuiltinCMYKProfileSize;

// The destination of page rendering.
enum class DisplayProfile : int32_t {
  // sRGB: the D50-adapted sRGB primaries with the sRGB tone curve, so that
  // DeviceRGB and DeviceGray content pass through unchanged.
  kSRGB = 0,
  // The handheld's LCD screen: its own primaries and white, gamma 2.1015625.
  kHandheldLCD = 1,
};

// A tone curve of a generated profile: the sRGB curve, or a gamma.
struct ToneCurve {
  bool srgb;
  Fixed16_16 gamma;
};
inline constexpr ToneCurve kSRGBCurve = {true, 0};

// The D50 white point and the D50-adapted sRGB primaries (columns red,
// green, blue), in 16.16.
inline constexpr Fixed16_16 kD50White[3] = {63189, 65536, 54061};
inline constexpr Fixed16_16 kSRGBColumns[9] = {28578, 14581, 912, 25241, 46980, 6362, 9376, 3972, 46799};

// Generated spaces (made with New, no reference yet). The white point is
// recorded in the profile; like every space they connect through D50.
ICCColorSpace* MakeGrayICCSpace(AppContext& context, const Fixed16_16* white, ToneCurve curve);
// `columns`: the red, green and blue XYZ columns, nine values.
ICCColorSpace* MakeRGBICCSpace(AppContext& context, const Fixed16_16* white, const ToneCurve* curves,
                               const Fixed16_16* columns);
ICCColorSpace* MakeLabICCSpace(AppContext& context, const Fixed16_16* white);

// The display space to convert pages to.
ICCColorSpace* MakeDisplaySpace(AppContext& context, DisplayProfile profile);
// The built-in CMYK output profile.
ICCColorSpace* MakeBuiltinCMYKSpace(AppContext& context);

}  // namespace vn::color
