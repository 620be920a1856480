// RunLengthDecode.
#pragma once

#include "data_io/filtered_stream.h"

namespace vn::data_io {

class RunLengthDataBlockStream : public FilteredDataBlockStream {
 public:
  RunLengthDataBlockStream(AppContext& context, DataBlockStream* source)
      : FilteredDataBlockStream(context, source) {}

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;

 protected:
  void ResetDecoder() override {}
};

}  // namespace vn::data_io
