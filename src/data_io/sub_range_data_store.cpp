#include "data_io/sub_range_data_store.h"

#include "data_io/derived_blocks.h"
#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::data_io {

SubRangeDataStore::SubRangeDataStore(AppContext& context, DataStore* base, uint64_t start, uint64_t end,
                                     bool ownsBase)
    : context_(context), base_(base), start_(start), end_(end < start ? start : end), ownsBase_(ownsBase),
      scratch_(context) {}

SubRangeDataStore::~SubRangeDataStore() {
  scratch_.Reset();
  if (ownsBase_) Delete(context_, base_);
}

void SubRangeDataStore::GetBlock(DataBlockRef& out, uint64_t position) {
  uint64_t q = start_ + position;
  if (position >= end_ - start_) {
    out.Clear();
  } else {
    base_->GetBlock(scratch_, q);
    uint64_t room = end_ - q;
    uint32_t maximum = room > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(room);
    if (scratch_.Length() <= maximum) {
      out = scratch_;  // already inside the window: no new view needed
    } else {
      out.Set(SubRangeBlock::Create(context_, scratch_, maximum));
    }
    scratch_.Clear();
  }
  YieldPoint(context_);
}

}  // namespace vn::data_io
