#include "data_io/derived_blocks.h"

#include "runtime/engine_new.h"

namespace vn::data_io {

ReferringDataBlock::ReferringDataBlock(AppContext& context, DataBlock* inner, const uint8_t* bytes,
                                       uint32_t count)
    : context_(context), inner_(inner) {
  if (inner_ != nullptr) inner_->AddRef();
  data = bytes;
  length = count;
}

ReferringDataBlock::~ReferringDataBlock() {
  if (inner_ != nullptr) inner_->Release(context_);
}

OffsetDataBlock* OffsetDataBlock::Create(AppContext& context, const DataBlockRef& source, uint32_t offset) {
  uint32_t count = offset < source.Length() ? source.Length() - offset : 0;
  const uint8_t* bytes = count != 0 ? source.Data() + offset : nullptr;
  return New<OffsetDataBlock>(context, context, source.Block(), bytes, count);
}

uint32_t OffsetDataBlock::GetMemorySize() const {
  return static_cast<uint32_t>(sizeof(*this)) + (inner_ != nullptr ? inner_->GetMemorySize() : 0);
}

SubRangeBlock* SubRangeBlock::Create(AppContext& context, const DataBlockRef& source, uint32_t maximum) {
  uint32_t count = source.Length() < maximum ? source.Length() : maximum;
  return New<SubRangeBlock>(context, context, source.Block(), count != 0 ? source.Data() : nullptr, count);
}

uint32_t SubRangeBlock::GetMemorySize() const {
  return static_cast<uint32_t>(sizeof(*this)) + (inner_ != nullptr ? inner_->GetMemorySize() : 0);
}

}  // namespace vn::data_io
