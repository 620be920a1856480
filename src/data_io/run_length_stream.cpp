#include "data_io/run_length_stream.h"

#include <cstring>

namespace vn::data_io {

uint32_t RunLengthDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t written = 0;
  while (written < maximum) {
    if (!FillSource()) {
      SetEnd();
      break;
    }
    uint32_t lengthByte = *sourceCursor_;
    if (lengthByte == 128) {
      ++sourceCursor_;
      SetEnd();
      break;
    }
    uint32_t run = lengthByte < 128 ? lengthByte + 1 : 257 - lengthByte;
    // A run that does not fit waits for the next call, length byte and all.
    if (run > maximum - written) break;
    ++sourceCursor_;
    if (lengthByte < 128) {
      while (run > 0) {
        if (!FillSource()) {
          SetEnd();
          return written;
        }
        uint32_t count = static_cast<uint32_t>(sourceEnd_ - sourceCursor_);
        if (count > run) count = run;
        std::memcpy(buffer + written, sourceCursor_, count);
        sourceCursor_ += count;
        written += count;
        run -= count;
      }
    } else {
      if (!FillSource()) {
        SetEnd();
        break;
      }
      std::memset(buffer + written, *sourceCursor_++, run);
      written += run;
    }
  }
  return written;
}

}  // namespace vn::data_io
