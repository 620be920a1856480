#include "data_io/partial_row.h"

#include <cstring>

namespace vn::data_io {

uint32_t PartialRow::Copy(DataBlockStream& stream, uint8_t* buffer, uint32_t maximum, bool& ended) {
  uint32_t count = 0;
  ended = false;
  while (count < maximum) {
    if (offset_ == row_.Length()) {
      stream.GetNextBlock(row_);
      offset_ = 0;
      if (row_.Empty()) {
        ended = true;
        break;
      }
    }
    uint32_t n = row_.Length() - offset_;
    if (n > maximum - count) n = maximum - count;
    std::memcpy(buffer + count, row_.Data() + offset_, n);
    offset_ += n;
    count += n;
  }
  return count;
}

}  // namespace vn::data_io
