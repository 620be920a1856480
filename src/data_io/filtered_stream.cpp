#include "data_io/filtered_stream.h"

#include "runtime/engine_new.h"

namespace vn::data_io {

namespace {
// A decoder that keeps producing nothing without reaching its end is
// treated as ended, so that bad data can never spin a reader.
constexpr uint32_t kMaxEmptyDecodes = 1024;
}  // namespace

FilteredDataBlockStream::FilteredDataBlockStream(AppContext& context, DataBlockStream* source)
    : context_(context), source_(source), sourceBlock_(context) {}

FilteredDataBlockStream::~FilteredDataBlockStream() {
  sourceBlock_.Reset();
  Delete(context_, source_);
}

DataBlockStream* FilteredDataBlockStream::ReleaseSource() {
  sourceBlock_.Clear();
  sourceCursor_ = sourceEnd_ = nullptr;
  DataBlockStream* source = source_;
  source_ = nullptr;
  return source;
}

bool FilteredDataBlockStream::FetchSourceBlock() {
  while (!sourceDone_) {
    source_->GetNextBlock(sourceBlock_);
    if (sourceBlock_.Empty()) {
      sourceDone_ = true;
      sourceBlock_.Clear();
      sourceCursor_ = sourceEnd_ = nullptr;
      return false;
    }
    sourceCursor_ = sourceBlock_.Data();
    sourceEnd_ = sourceCursor_ + sourceBlock_.Length();
    return true;
  }
  return false;
}

void FilteredDataBlockStream::GetNextBlock(DataBlockRef& out) {
  if (atEnd_ && EndIsFinal()) {
    out.Clear();
    return;
  }
  using OutputBlock = FixedMemoryBufferDataBlock<kBlockSize>;
  OutputBlock* block = New<OutputBlock>(context_);
  out.Set(block);  // the reference owns the block from here on
  uint32_t count = 0;
  uint32_t emptyDecodes = 0;
  for (;;) {
    if (heldBack_ >= 0) {
      block->buffer[0] = static_cast<uint8_t>(heldBack_);
      heldBack_ = -1;
      count = 1 + Decode(block->buffer + 1, kBlockSize - 1);
    } else {
      count = Decode(block->buffer, kBlockSize);
    }
    if (atEnd_) break;
    if (count >= 2) {
      heldBack_ = block->buffer[count - 1];
      --count;
      break;
    }
    if (count == 1) heldBack_ = block->buffer[0];
    if (++emptyDecodes >= kMaxEmptyDecodes) {
      SetEnd();
      if (heldBack_ >= 0) {
        block->buffer[0] = static_cast<uint8_t>(heldBack_);
        heldBack_ = -1;
        count = 1;
      } else {
        count = 0;
      }
      break;
    }
  }
  block->length = count;
  out.SetView(block, block->buffer, count);
}

void FilteredDataBlockStream::Rewind() {
  source_->Rewind();
  sourceBlock_.Clear();
  sourceCursor_ = sourceEnd_ = nullptr;
  sourceDone_ = false;
  atEnd_ = false;
  heldBack_ = -1;
  ResetDecoder();
}

uint32_t FilteredDataBlockStream::GetMemorySize() const {
  return static_cast<uint32_t>(sizeof(*this)) + source_->GetMemorySize() +
         static_cast<uint32_t>(sizeof(FixedMemoryBufferDataBlock<kBlockSize>));
}

}  // namespace vn::data_io
