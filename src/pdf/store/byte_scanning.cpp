#include "pdf/store/byte_scanning.h"

#include <cstring>

#include "pdf/store/char_classes.h"
#include "runtime/app_context.h"

namespace vn::pdf::store {

int64_t ReadInteger(data_io::BufferedStream& source) {
  bool negative = false;
  int c = source.PeekByte();
  if (c == '+' || c == '-') {
    negative = c == '-';
    source.Advance();
    c = source.PeekByte();
  }
  if (c < '0' || c > '9') RaiseBadData(source.Context());
  int64_t value = 0;
  while (c >= '0' && c <= '9') {
    if (value > (int64_t{1} << 58)) RaiseBadData(source.Context());
    value = value * 10 + (c - '0');
    source.Advance();
    c = source.PeekByte();
  }
  return negative ? -value : value;
}

namespace {

// Copies up to `count` bytes of the store from `position`; returns how many.
uint32_t ReadBytes(AppContext& context, data_io::DataStore& store, uint64_t position, uint8_t* out, uint32_t count) {
  data_io::DataBlockRef block(context);
  uint32_t done = 0;
  while (done < count) {
    store.GetBlock(block, position + done);
    if (block.Empty()) break;
    uint32_t n = block.Length() < count - done ? block.Length() : count - done;
    std::memcpy(out + done, block.Data(), n);
    done += n;
  }
  return done;
}

constexpr uint32_t kMaxWindow = 4096;

}  // namespace

int64_t SearchBackward(AppContext& context, data_io::DataStore& store, const char* word, uint64_t end,
                       uint32_t window) {
  uint32_t length = static_cast<uint32_t>(std::strlen(word));
  if (window > kMaxWindow) window = kMaxWindow;
  if (length == 0 || length > window) return -1;
  uint8_t bytes[kMaxWindow];
  for (;;) {
    uint64_t start = end > window ? end - window : 0;
    uint32_t got = ReadBytes(context, store, start, bytes, static_cast<uint32_t>(end - start));
    for (uint32_t i = got >= length ? got - length + 1 : 0; i-- > 0;) {
      if (std::memcmp(bytes + i, word, length) == 0) return static_cast<int64_t>(start + i + length);
    }
    if (start == 0) return -1;
    end = start + length - 1;  // the next window overlaps by all but one byte of the word
  }
}

int64_t SearchForward(AppContext& context, data_io::DataStore& store, const char* word, uint64_t start,
                      uint64_t limit) {
  uint32_t length = static_cast<uint32_t>(std::strlen(word));
  if (length == 0 || length > kMaxWindow / 2) return -1;
  uint8_t bytes[kMaxWindow];
  while (start + length <= limit) {
    uint64_t span = limit - start < kMaxWindow ? limit - start : kMaxWindow;
    uint32_t got = ReadBytes(context, store, start, bytes, static_cast<uint32_t>(span));
    if (got < length) return -1;
    for (uint32_t i = 0; i + length <= got; ++i) {
      if (std::memcmp(bytes + i, word, length) == 0) return static_cast<int64_t>(start + i + length);
    }
    start += got - length + 1;
  }
  return -1;
}

bool KeywordFollows(AppContext& context, data_io::DataStore& store, uint64_t position, const char* word) {
  constexpr uint32_t kMaxSpace = 16;
  const uint32_t length = static_cast<uint32_t>(std::strlen(word));
  uint8_t bytes[kMaxSpace + 32];
  if (length > 32) return false;
  const uint32_t got = ReadBytes(context, store, position, bytes, kMaxSpace + length);
  uint32_t i = 0;
  while (i < kMaxSpace && i < got && (kCharClasses[bytes[i]] & kWhiteSpace) != 0) ++i;
  return got - i >= length && std::memcmp(bytes + i, word, length) == 0;
}

}  // namespace vn::pdf::store
