// For decoders that give one row per block and are also read through
// Decode: the row being copied out, carried between calls.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

class PartialRow {
 public:
  explicit PartialRow(AppContext& context) : row_(context) {}

  // Copies up to `maximum` bytes, asking `stream` for each next row; sets
  // `ended` when it gave an empty one. Returns the count.
  uint32_t Copy(DataBlockStream& stream, uint8_t* buffer, uint32_t maximum, bool& ended);
  void Clear() {
    row_.Clear();
    offset_ = 0;
  }
  void Reset() {
    row_.Reset();
    offset_ = 0;
  }

 private:
  DataBlockRef row_;
  uint32_t offset_ = 0;
};

}  // namespace vn::data_io
