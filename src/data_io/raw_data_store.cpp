#include "data_io/raw_data_store.h"

#include "runtime/engine_new.h"

namespace vn::data_io {

RawDataStore::RawDataStore(AppContext& context, const uint8_t* base, uint64_t length)
    : context_(context), base_(base), length_(length) {}

void RawDataStore::GetBlock(DataBlockRef& out, uint64_t position) {
  if (position >= length_) {
    out.Clear();
    return;
  }
  uint64_t rest = length_ - position;
  uint32_t count = rest > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(rest);
  out.Set(New<RawDataBlock>(context_, base_ + position, count));
}

}  // namespace vn::data_io
