#include "pdf/security/rc4_stream.h"

#include <cstring>

#include "runtime/engine_new.h"

namespace vn::pdf::security {

using data_io::DataBlockRef;
using data_io::FixedMemoryBufferDataBlock;

RC4DataBlockStream::RC4DataBlockStream(AppContext& context, data_io::DataBlockStream* source, const uint8_t* key,
                                       uint32_t keyLength)
    : context_(context), source_(source), pending_(context) {
  if (keyLength > kMaxKeyLength) keyLength = kMaxKeyLength;
  keyLength_ = keyLength;
  if (keyLength != 0) std::memcpy(key_, key, keyLength);
  state_.Init(key_, keyLength_);
}

RC4DataBlockStream::~RC4DataBlockStream() {
  pending_.Reset();
  Delete(context_, source_);
}

void RC4DataBlockStream::GetNextBlock(DataBlockRef& out) {
  if (pending_.Empty()) {
    source_->GetNextBlock(pending_);
    if (pending_.Empty()) {
      pending_.Clear();
      out.Clear();
      return;
    }
  }
  using OutputBlock = FixedMemoryBufferDataBlock<kBlockSize>;
  OutputBlock* block = New<OutputBlock>(context_);
  out.Set(block);
  uint32_t count = pending_.Length() < kBlockSize ? pending_.Length() : kBlockSize;
  state_.Process(pending_.Data(), block->buffer, count);
  block->length = count;
  out.SetView(block, block->buffer, count);
  if (count == pending_.Length()) {
    pending_.Clear();
  } else {
    pending_.SetView(pending_.Block(), pending_.Data() + count, pending_.Length() - count);
  }
}

void RC4DataBlockStream::Rewind() {
  pending_.Clear();
  source_->Rewind();
  state_.Init(key_, keyLength_);
}

bool RC4DataBlockStream::IsAtEnd() { return pending_.Empty() && source_->IsAtEnd(); }

uint32_t RC4DataBlockStream::GetMemorySize() const {
  uint32_t size = sizeof(*this) + source_->GetMemorySize();
  if (pending_.Block() != nullptr) size += pending_.Block()->GetMemorySize();
  return size;
}

}  // namespace vn::pdf::security
