#include "data_io/lzw_stream.h"

#include <cstring>

namespace vn::data_io {

LzwDataBlockStream::LzwDataBlockStream(AppContext& context, DataBlockStream* source, int32_t earlyChange)
    : FilteredDataBlockStream(context, source), early_(earlyChange == 1 ? 1 : 0) {
  ResetDecoder();
}

void LzwDataBlockStream::Clear() {
  codeWidth_ = 9;
  nextCode_ = kFirstCode;
  previous_ = -1;
}

void LzwDataBlockStream::ResetDecoder() {
  bitBuffer_ = bitCount_ = 0;
  pendingStart_ = pendingEnd_ = 0;
  Clear();
}

int32_t LzwDataBlockStream::ReadCode() {
  while (bitCount_ < codeWidth_) {
    if (!FillSource()) return -1;
    bitBuffer_ = (bitBuffer_ << 8) | *sourceCursor_++;
    bitCount_ += 8;
  }
  bitCount_ -= codeWidth_;
  uint32_t code = (bitBuffer_ >> bitCount_) & ((1u << codeWidth_) - 1);
  bitBuffer_ &= (1u << bitCount_) - 1;
  return static_cast<int32_t>(code);
}

void LzwDataBlockStream::WriteString(uint32_t code, uint8_t* out) const {
  uint32_t length = StringLength(code);
  uint8_t* p = out + length;
  while (code >= kFirstCode) {
    const Entry& entry = table_[code - kFirstCode];
    *--p = entry.last;
    code = entry.prefix;
  }
  *--p = static_cast<uint8_t>(code);
}

uint32_t LzwDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t written = 0;
  if (pendingStart_ != pendingEnd_) {
    uint32_t count = pendingEnd_ - pendingStart_;
    if (count > maximum) count = maximum;
    std::memcpy(buffer, pending_ + pendingStart_, count);
    pendingStart_ += count;
    written = count;
  }
  if (IsAtEnd()) return written;
  while (written < maximum) {
    int32_t read = ReadCode();
    if (read < 0 || read == static_cast<int32_t>(kEndCode)) {
      SetEnd();
      break;
    }
    uint32_t code = static_cast<uint32_t>(read);
    if (code == kClearCode) {
      Clear();
      continue;
    }
    if (previous_ < 0) {
      if (code >= 256) {
        // Nothing is defined yet: corrupt data.
        SetEnd();
        break;
      }
    } else if (code > nextCode_ || (code == nextCode_ && nextCode_ >= kCodeLimit)) {
      SetEnd();
      break;
    } else if (nextCode_ < kCodeLimit) {
      // The new entry is the previous string plus the first byte of this one;
      // for the code being defined right now that byte is the previous
      // string's own first byte.
      uint32_t prev = static_cast<uint32_t>(previous_);
      Entry& entry = table_[nextCode_ - kFirstCode];
      entry.prefix = static_cast<uint16_t>(prev);
      entry.length = static_cast<uint16_t>(StringLength(prev) + 1);
      entry.first = FirstByte(prev);
      entry.last = code == nextCode_ ? entry.first : FirstByte(code);
      ++nextCode_;
      if (nextCode_ + early_ >= (1u << codeWidth_) && codeWidth_ < 12) ++codeWidth_;
    }
    previous_ = static_cast<int32_t>(code);
    uint32_t length = StringLength(code);
    if (length <= maximum - written) {
      WriteString(code, buffer + written);
      written += length;
    } else {
      WriteString(code, pending_);
      uint32_t count = maximum - written;
      std::memcpy(buffer + written, pending_, count);
      written += count;
      pendingStart_ = count;
      pendingEnd_ = length;
    }
  }
  return written;
}

}  // namespace vn::data_io
