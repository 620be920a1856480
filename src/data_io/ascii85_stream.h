// ASCII85Decode.
#pragma once

#include "data_io/filtered_stream.h"

namespace vn::data_io {

class AS85DataBlockStream : public FilteredDataBlockStream {
 public:
  // Character classes: 0 to 84 digits, then these.
  static constexpr uint8_t kSkip = 85;
  static constexpr uint8_t kZero = 86;  // 'z'
  static constexpr uint8_t kEnd = 87;   // '~'
  static constexpr uint8_t kInvalid = 88;
  static const uint8_t kClasses[256];

  AS85DataBlockStream(AppContext& context, DataBlockStream* source)
      : FilteredDataBlockStream(context, source) {}

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;

 protected:
  void ResetDecoder() override;

 private:
  void FinishGroup(uint32_t bytes);
  void FinishPartialGroup();

  uint32_t value_ = 0;  // the group so far (a five-digit group wraps modulo 2^32)
  uint32_t digits_ = 0;
  uint8_t out_[4] = {};
  uint32_t outStart_ = 0;  // decoded bytes not handed out yet
  uint32_t outEnd_ = 0;
  bool ended_ = false;
};

}  // namespace vn::data_io
