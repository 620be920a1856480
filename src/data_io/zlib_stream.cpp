#include "data_io/zlib_stream.h"

#include <cstring>

#include "runtime/memory_budget.h"

namespace vn::data_io {

namespace {
// Each inflater block starts with its size, kept 8 bytes wide so that the
// memory after it stays aligned.
constexpr uint32_t kHeaderBytes = 8;
}  // namespace

ZlibDataBlockStream::ZlibDataBlockStream(AppContext& context, DataBlockStream* source)
    : FilteredDataBlockStream(context, source) {
  std::memset(&zstream_, 0, sizeof(zstream_));
  RegisterUnwindable(context, this, &UnwindByReset<ZlibDataBlockStream>);
  Start();
}

ZlibDataBlockStream::~ZlibDataBlockStream() { Reset(); }

void ZlibDataBlockStream::Reset() {
  if (initialised_) {
    inflateEnd(&zstream_);
    initialised_ = false;
  }
  UnregisterUnwindable(this);
}

voidpf ZlibDataBlockStream::ZAlloc(voidpf opaque, uInt items, uInt size) {
  auto* self = static_cast<ZlibDataBlockStream*>(opaque);
  uint64_t bytes = static_cast<uint64_t>(items) * size + kHeaderBytes;
  if (bytes > 0x7FFFFFFFu) return Z_NULL;
  // zlib cannot be unwound through, so a refusal comes back as Z_MEM_ERROR.
  auto* block = static_cast<uint8_t*>(TryAllocate(self->context_, static_cast<uint32_t>(bytes)));
  if (block == nullptr) return Z_NULL;
  uint32_t total = static_cast<uint32_t>(bytes);
  std::memcpy(block, &total, sizeof(total));
  self->zlibBytes_ += total;
  return block + kHeaderBytes;
}

void ZlibDataBlockStream::ZFree(voidpf opaque, voidpf address) {
  if (address == Z_NULL) return;
  auto* self = static_cast<ZlibDataBlockStream*>(opaque);
  uint8_t* block = static_cast<uint8_t*>(address) - kHeaderBytes;
  uint32_t total;
  std::memcpy(&total, block, sizeof(total));
  self->zlibBytes_ -= total;
  Free(self->context_, block);
}

void ZlibDataBlockStream::Start() {
  std::memset(&zstream_, 0, sizeof(zstream_));
  zstream_.zalloc = &ZAlloc;
  zstream_.zfree = &ZFree;
  zstream_.opaque = this;
  int result = inflateInit_(&zstream_, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
  if (result == Z_MEM_ERROR) RaiseOutOfMemory(context_);
  if (result != Z_OK) RaiseBadData(context_);
  initialised_ = true;
}

void ZlibDataBlockStream::ResetDecoder() {
  zstream_.next_in = Z_NULL;
  zstream_.avail_in = 0;
  if (!initialised_) {
    Start();
    return;
  }
  if (inflateReset(&zstream_) != Z_OK) RaiseBadData(context_);
}

uint32_t ZlibDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  if (IsAtEnd() || maximum == 0) return 0;
  zstream_.next_out = buffer;
  zstream_.avail_out = maximum;
  for (;;) {
    if (sourceCursor_ == sourceEnd_) {
      if (!FillSource()) {
        // Truncated data: keep what came out and end there.
        SetEnd();
        break;
      }
    }
    zstream_.next_in = const_cast<Bytef*>(sourceCursor_);
    zstream_.avail_in = static_cast<uInt>(sourceEnd_ - sourceCursor_);
    int result = inflate(&zstream_, Z_SYNC_FLUSH);
    sourceCursor_ = zstream_.next_in;
    if (result == Z_MEM_ERROR) RaiseOutOfMemory(context_);
    if (result == Z_STREAM_END || result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) {
      SetEnd();
      break;
    }
    if (zstream_.avail_out != maximum) break;
    // Z_BUF_ERROR with input left means no progress is possible.
    if (result == Z_BUF_ERROR && sourceCursor_ != sourceEnd_) {
      SetEnd();
      break;
    }
  }
  return maximum - zstream_.avail_out;
}

uint32_t ZlibDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() + zlibBytes_ +
         static_cast<uint32_t>(sizeof(*this) - sizeof(FilteredDataBlockStream));
}

}  // namespace vn::data_io
