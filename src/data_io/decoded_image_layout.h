// What an image decoder tells its reader about the samples it gives, for
// encodings that carry their own geometry and colour (JPEG 2000): the image
// dictionary may leave the colour space out, and the data decides.
#pragma once

#include <cstdint>

namespace vn::data_io {

enum class DecodedColorSpace : uint8_t {
  kUnspecified,  // the data names none: go by the component count
  kGray,
  kRGB,  // sRGB, and YCC data converted to it
  kCMYK,
};

struct DecodedImageLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0;        // per pixel, interleaved
  uint32_t bitsPerComponent = 0;  // 1, 8 or 16 (16-bit samples big-endian)
  DecodedColorSpace colorSpace = DecodedColorSpace::kUnspecified;
  bool hasAlpha = false;  // the data also holds an alpha channel (not in these samples)
  uint32_t RowBytes() const {
    return static_cast<uint32_t>((static_cast<uint64_t>(width) * components * bitsPerComponent + 7) / 8);
  }
};

}  // namespace vn::data_io
