#include "data_io/ascii85_stream.h"

namespace vn::data_io {

const uint8_t AS85DataBlockStream::kClasses[256] = {
    88, 88, 88, 88, 88, 88, 88, 88, 85, 85, 85, 85, 85, 85, 88, 88,  // 0x00
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0x10
    85,  0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,  // 0x20
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,  // 0x30
    31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46,  // 0x40
    47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62,  // 0x50
    63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78,  // 0x60
    79, 80, 81, 82, 83, 84, 88, 88, 88, 88, 86, 88, 88, 88, 87, 88,  // 0x70
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0x80
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0x90
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xA0
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xB0
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xC0
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xD0
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xE0
    88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88,  // 0xF0
};

void AS85DataBlockStream::ResetDecoder() {
  value_ = 0;
  digits_ = 0;
  outStart_ = outEnd_ = 0;
  ended_ = false;
}

void AS85DataBlockStream::FinishGroup(uint32_t bytes) {
  out_[0] = static_cast<uint8_t>(value_ >> 24);
  out_[1] = static_cast<uint8_t>(value_ >> 16);
  out_[2] = static_cast<uint8_t>(value_ >> 8);
  out_[3] = static_cast<uint8_t>(value_);
  outStart_ = 0;
  outEnd_ = bytes;
  value_ = 0;
  digits_ = 0;
}

// A final group of k digits is padded with the highest digit and gives
// k - 1 bytes.
void AS85DataBlockStream::FinishPartialGroup() {
  if (digits_ == 0) return;
  uint32_t bytes = digits_ - 1;
  while (digits_ < 5) {
    value_ = value_ * 85 + 84;
    ++digits_;
  }
  FinishGroup(bytes);
}

uint32_t AS85DataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t written = 0;
  for (;;) {
    while (outStart_ < outEnd_ && written < maximum) buffer[written++] = out_[outStart_++];
    if (written == maximum || ended_) break;
    if (!FillSource()) {
      FinishPartialGroup();
      ended_ = true;
      continue;
    }
    uint8_t cls = kClasses[*sourceCursor_++];
    if (cls < 85) {
      value_ = value_ * 85 + cls;
      if (++digits_ == 5) FinishGroup(4);
    } else if (cls == kSkip) {
      continue;
    } else if (cls == kZero) {
      if (digits_ != 0) RaiseBadData(context_);
      FinishGroup(4);  // value_ is 0 between groups
    } else if (cls == kEnd) {
      FinishPartialGroup();
      ended_ = true;
    } else {
      RaiseBadData(context_);
    }
  }
  if (ended_ && outStart_ == outEnd_) SetEnd();
  return written;
}

}  // namespace vn::data_io
