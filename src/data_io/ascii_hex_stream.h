// ASCIIHexDecode.
#pragma once

#include "data_io/filtered_stream.h"

namespace vn::data_io {

class AsciiHexDataBlockStream : public FilteredDataBlockStream {
 public:
  // Character classes: 0 to 15 digits, then these.
  static constexpr uint8_t kSkip = 16;
  static constexpr uint8_t kEnd = 17;
  static constexpr uint8_t kOther = 18;
  static const uint8_t kClasses[256];

  AsciiHexDataBlockStream(AppContext& context, DataBlockStream* source)
      : FilteredDataBlockStream(context, source) {}

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;

 protected:
  void ResetDecoder() override { pendingDigit_ = -1; }

 private:
  int32_t pendingDigit_ = -1;  // a first digit waiting for its pair
};

}  // namespace vn::data_io
