#include "data_io/ascii_hex_stream.h"

namespace vn::data_io {

const uint8_t AsciiHexDataBlockStream::kClasses[256] = {
    16, 18, 18, 18, 18, 18, 18, 18, 18, 16, 16, 18, 16, 16, 18, 18,  // 0x00
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x10
    16, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x20
     0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 18, 18, 18, 18, 17, 18,  // 0x30
    18, 10, 11, 12, 13, 14, 15, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x40
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x50
    18, 10, 11, 12, 13, 14, 15, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x60
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x70
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x80
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0x90
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xA0
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xB0
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xC0
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xD0
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xE0
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18,  // 0xF0
};

uint32_t AsciiHexDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t written = 0;
  while (written < maximum) {
    if (!FillSource()) {
      if (pendingDigit_ >= 0) {
        buffer[written++] = static_cast<uint8_t>(pendingDigit_ << 4);
        pendingDigit_ = -1;
      }
      SetEnd();
      break;
    }
    uint8_t cls = kClasses[*sourceCursor_++];
    if (cls < 16) {
      if (pendingDigit_ < 0) {
        pendingDigit_ = cls;
      } else {
        buffer[written++] = static_cast<uint8_t>(pendingDigit_ << 4 | cls);
        pendingDigit_ = -1;
      }
    } else if (cls != kSkip) {
      // '>' or any stray character ends the data.
      if (pendingDigit_ >= 0) {
        buffer[written++] = static_cast<uint8_t>(pendingDigit_ << 4);
        pendingDigit_ = -1;
      }
      SetEnd();
      break;
    }
  }
  return written;
}

}  // namespace vn::data_io
