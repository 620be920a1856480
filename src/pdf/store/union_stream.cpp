#include "pdf/store/union_stream.h"

#include "runtime/engine_new.h"

namespace vn::pdf::store {

namespace {
const uint8_t kSpace[1] = {' '};
// Not counted: it lives as long as the program.
data_io::simple_block spaceBlock(kSpace, 1);
}  // namespace

UnionDataBlockStream::UnionDataBlockStream(AppContext& context, bool separator)
    : context_(context), streams_(context), separator_(separator) {}

UnionDataBlockStream::~UnionDataBlockStream() {
  for (data_io::DataBlockStream* s : streams_) Delete(context_, s);
  streams_.Reset();
}

void UnionDataBlockStream::Add(data_io::DataBlockStream* stream) {
  Owned<data_io::DataBlockStream> held(context_, stream);
  streams_.Push(stream);
  held.Release();
}

void UnionDataBlockStream::GetNextBlock(data_io::DataBlockRef& out) {
  while (current_ < streams_.Size()) {
    if (separatorDue_) {
      separatorDue_ = false;
      out.Set(&spaceBlock);
      return;
    }
    streams_[current_]->GetNextBlock(out);
    if (!out.Empty()) return;
    ++current_;
    separatorDue_ = separator_ && current_ < streams_.Size();
  }
  out.Clear();
}

void UnionDataBlockStream::Rewind() {
  for (data_io::DataBlockStream* s : streams_) s->Rewind();
  current_ = 0;
  separatorDue_ = false;
}

uint32_t UnionDataBlockStream::GetMemorySize() const {
  uint32_t total = static_cast<uint32_t>(sizeof(*this)) + streams_.MemorySize();
  for (const data_io::DataBlockStream* s : streams_) total += s->GetMemorySize();
  return total;
}

}  // namespace vn::pdf::store
