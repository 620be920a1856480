// Code tables of the fax decoder: the run-length codes of ITU-T T.4
// (terminating, make-up and the extended make-up codes shared by both
// colours) and the two-dimensional mode codes of T.4 and T.6, as code lists
// and as direct lookup tables indexed by the next bits of the input.
#pragma once

#include <array>
#include <cstdint>

namespace vn::data_io::data_io_detail {

// One code word: `bits` written as '0'/'1' characters, most significant first.
struct CcittCode {
  uint16_t value;  // run length, or a CcittMode
  const char* bits;
};

extern const CcittCode kCcittWhiteCodes[];
extern const uint32_t kCcittWhiteCodeCount;
extern const CcittCode kCcittBlackCodes[];
extern const uint32_t kCcittBlackCodeCount;

enum CcittMode : uint8_t {
  kCcittPass = 0,
  kCcittHorizontal,
  kCcittV0,
  kCcittVR1,
  kCcittVR2,
  kCcittVR3,
  kCcittVL1,
  kCcittVL2,
  kCcittVL3,
  kCcittExtension,  // 0000001xxx: three more bits select the extension
};
extern const CcittCode kCcittModeCodes[];
extern const uint32_t kCcittModeCodeCount;

// Lookup entries: (code length << 12) | run length; 0 where no code starts.
constexpr uint32_t kCcittWhiteBits = 12;
constexpr uint32_t kCcittBlackBits = 13;
extern const std::array<uint16_t, (1u << kCcittWhiteBits)> kCcittWhiteTable;
extern const std::array<uint16_t, (1u << kCcittBlackBits)> kCcittBlackTable;

// Mode lookup on the next 7 bits: (code length << 4) | mode; 0 where no mode
// code starts (all seven bits zero).
constexpr uint32_t kCcittModeBits = 7;
extern const std::array<uint8_t, (1u << kCcittModeBits)> kCcittModeTable;

// Uncompressed mode entry: 000000001111 in one-dimensional rows, the
// extension 0000001111 in two-dimensional rows.
constexpr uint32_t kCcittUncompressed1D = 0x00F;  // 12 bits
constexpr uint32_t kCcittUncompressed2D = 0x00F;  // 10 bits

}  // namespace vn::data_io::data_io_detail
