#include "data_io/data_block.h"

#include "runtime/engine_new.h"

namespace vn::data_io {

void DataBlock::Release(AppContext& context) {
  if (--refCount == 0) Delete(context, this);
}

EmptyBlock* EmptyBlock::Create(AppContext& context) { return New<EmptyBlock>(context); }

namespace {

struct PendingBuffer {
  AppContext* context;
  void* buffer;
};

void FreePendingBuffer(void* pending) {
  auto* p = static_cast<PendingBuffer*>(pending);
  Free(*p->context, p->buffer);
}

}  // namespace

VariableMemoryBufferDataBlock* VariableMemoryBufferDataBlock::Create(AppContext& context, uint32_t size) {
  PendingBuffer pending{&context, Allocate(context, size == 0 ? 1 : size)};
  LocalGuard freeOnRaise(context, &FreePendingBuffer, &pending);
  auto* block = New<VariableMemoryBufferDataBlock>(context, context, static_cast<uint8_t*>(pending.buffer), size);
  freeOnRaise.Dismiss();
  return block;
}

VariableMemoryBufferDataBlock::VariableMemoryBufferDataBlock(AppContext& context, uint8_t* buffer, uint32_t size)
    : context_(context), buffer_(buffer), size_(size) {
  data = buffer;
  length = size;
}

VariableMemoryBufferDataBlock::~VariableMemoryBufferDataBlock() { Free(context_, buffer_); }

DataBlockRef::DataBlockRef(AppContext& context) : context_(&context) {
  RegisterUnwindable(context, this, &UnwindByReset<DataBlockRef>);
}

DataBlockRef::DataBlockRef(const DataBlockRef& other) : DataBlockRef(*other.context_) {
  SetView(other.block_, other.data_, other.length_);
}

DataBlockRef& DataBlockRef::operator=(const DataBlockRef& other) {
  if (this != &other) SetView(other.block_, other.data_, other.length_);
  return *this;
}

void DataBlockRef::Set(DataBlock* block) {
  SetView(block, block != nullptr ? block->data : nullptr, block != nullptr ? block->length : 0);
}

void DataBlockRef::SetView(DataBlock* block, const uint8_t* bytes, uint32_t count) {
  if (block != nullptr) block->AddRef();
  DataBlock* old = block_;
  block_ = block;
  data_ = bytes;
  length_ = count;
  if (old != nullptr) old->Release(*context_);
}

void DataBlockRef::Clear() { SetView(nullptr, nullptr, 0); }

void DataBlockRef::Reset() {
  UnregisterUnwindable(this);
  Clear();
}

}  // namespace vn::data_io
