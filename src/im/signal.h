// Signals: the value types of pixel channels. Bytes (0..255, 255 full
// intensity or opacity) for pixels; 16.16 (0..0x10000) for colour
// conversion. Every product of two byte signals uses Mul's rounding.
#pragma once

#include <cstdint>

#include "runtime/fixed16_16.h"

namespace vn::im {

struct ByteSignalTraits {
  using Signal = uint8_t;
  static constexpr uint32_t kFull = 255;
};

struct FixedSignalTraits {
  using Signal = Fixed16_16;
  static constexpr Fixed16_16 kFull = kFixedOne;
};

// a*b/255 for bytes, rounded: t = a*b + 127, (t + (t >> 8)) >> 8.
constexpr uint32_t Mul(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 127;
  return (t + (t >> 8)) >> 8;
}

// d + (s - d)*m/255 with Mul's rounding: t = 255*d + (s - d)*m + 127.
constexpr uint32_t Lerp(uint32_t d, uint32_t s, uint32_t m) {
  const uint32_t t = static_cast<uint32_t>(static_cast<int32_t>(255 * d) +
                                           (static_cast<int32_t>(s) - static_cast<int32_t>(d)) *
                                               static_cast<int32_t>(m) + 127);
  return (t + (t >> 8)) >> 8;
}

// Bytes and 16.16 signals convert with ByteToFixed and FixedToByte
// (runtime/fixed16_16.h).

}  // namespace vn::im
