// A bounds-checked big-endian reader over bytes in memory: reading past the
// end raises kBadData.
#pragma once

#include <cstdint>

#include "runtime/error.h"

namespace vn::fonts {

class ByteReader {
 public:
  ByteReader(AppContext& context, const uint8_t* data, uint32_t length)
      : context_(context), start_(data), p_(data), end_(data + length) {}

  uint32_t Remaining() const { return static_cast<uint32_t>(end_ - p_); }
  uint32_t Position() const { return static_cast<uint32_t>(p_ - start_); }
  const uint8_t* Here() const { return p_; }
  void Need(uint32_t count) const {
    if (Remaining() < count) RaiseBadData(context_);
  }
  uint8_t U8() {
    Need(1);
    return *p_++;
  }
  int8_t S8() { return static_cast<int8_t>(U8()); }
  uint16_t U16() {
    Need(2);
    uint16_t v = static_cast<uint16_t>((p_[0] << 8) | p_[1]);
    p_ += 2;
    return v;
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  void Skip(uint32_t count) {
    Need(count);
    p_ += count;
  }

 private:
  AppContext& context_;
  const uint8_t* start_;
  const uint8_t* p_;
  const uint8_t* end_;
};

}  // namespace vn::fonts
