// LZWDecode with the "EarlyChange" parameter.
#pragma once

#include "data_io/filtered_stream.h"

namespace vn::data_io {

class LzwDataBlockStream : public FilteredDataBlockStream {
 public:
  static constexpr uint32_t kClearCode = 256;
  static constexpr uint32_t kEndCode = 257;
  static constexpr uint32_t kFirstCode = 258;
  static constexpr uint32_t kCodeLimit = 4096;

  // `earlyChange` is the "EarlyChange" value: the early switch of code
  // width is used exactly when it is 1.
  LzwDataBlockStream(AppContext& context, DataBlockStream* source, int32_t earlyChange);

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override {
    return FilteredDataBlockStream::GetMemorySize() +
           static_cast<uint32_t>(sizeof(*this) - sizeof(FilteredDataBlockStream));
  }

 protected:
  void ResetDecoder() override;

 private:
  struct Entry {
    uint16_t prefix;
    uint16_t length;  // the whole string's length (at most 3839)
    uint8_t last;
    uint8_t first;
  };

  void Clear();
  // The next code, or -1 when the source is exhausted.
  int32_t ReadCode();
  uint32_t StringLength(uint32_t code) const { return code < 256 ? 1 : table_[code - kFirstCode].length; }
  uint8_t FirstByte(uint32_t code) const {
    return code < 256 ? static_cast<uint8_t>(code) : table_[code - kFirstCode].first;
  }
  // Writes the string of `code` (StringLength bytes) at `out`.
  void WriteString(uint32_t code, uint8_t* out) const;

  const uint32_t early_;
  uint32_t bitBuffer_ = 0;
  uint32_t bitCount_ = 0;
  uint32_t codeWidth_ = 9;
  uint32_t nextCode_ = kFirstCode;
  int32_t previous_ = -1;  // none since the last clear
  uint32_t pendingStart_ = 0;
  uint32_t pendingEnd_ = 0;
  Entry table_[kCodeLimit - kFirstCode];
  uint8_t pending_[kCodeLimit];  // a string that did not fit in the output
};

}  // namespace vn::data_io
