#include "data_io/data_store_from_stream.h"

#include <cstring>

#include "data_io/derived_blocks.h"
#include "platform/clock.h"
#include "runtime/engine_new.h"

namespace vn::data_io {

DSFSCacheEntry::DSFSCacheEntry(AppContext& context, DataBlock* blockIn, const uint8_t* bytes, uint32_t count,
                               uint64_t startIn)
    : start(startIn), block(blockIn), data(bytes), length(count), context_(context) {
  block->AddRef();
}

DSFSCacheEntry::~DSFSCacheEntry() { block->Release(context_); }

void DataStoreFromStream::EntryCache::Destroy(AppContext& context, RefCounted* value) {
  owner_.RemoveFromIndex(static_cast<DSFSCacheEntry*>(value));
  value->Release(context);
}

DataStoreFromStream::DataStoreFromStream(AppContext& context, DataBlockStream* source)
    : context_(context), source_(source), index_(context), entries_(context, *this) {}

DataStoreFromStream::~DataStoreFromStream() {
  entries_.Reset();
  index_.Reset();
  Delete(context_, source_);
}

uint32_t DataStoreFromStream::UpperBound(uint64_t position) const {
  uint32_t low = 0;
  uint32_t high = index_.Size();
  while (low < high) {
    uint32_t mid = (low + high) / 2;
    if (index_[mid]->start <= position) low = mid + 1;
    else high = mid;
  }
  return low;
}

DSFSCacheEntry* DataStoreFromStream::FindCovering(uint64_t position) const {
  uint32_t i = UpperBound(position);
  if (i == 0) return nullptr;
  DSFSCacheEntry* entry = index_[i - 1];
  return position < entry->End() ? entry : nullptr;
}

void DataStoreFromStream::RemoveFromIndex(DSFSCacheEntry* entry) {
  uint32_t i = UpperBound(entry->start);
  if (i == 0 || index_[i - 1] != entry) return;
  DSFSCacheEntry** data = index_.Data();
  std::memmove(data + i - 1, data + i, (index_.Size() - i) * sizeof(DSFSCacheEntry*));
  index_.Truncate(index_.Size() - 1);
}

void DataStoreFromStream::RewindSource() {
  source_->Rewind();
  sourcePosition_ = 0;
  ++rewinds_;
}

void DataStoreFromStream::MarkRewindNeeded(void* self) {
  static_cast<DataStoreFromStream*>(self)->rewindNeeded_ = true;
}

// Reads the source forward to the block covering `position` and caches the
// part of it that no cached entry holds yet. Null when the source ends first.
DSFSCacheEntry* DataStoreFromStream::ReadCovering(uint64_t position) {
  if (position < sourcePosition_) RewindSource();
  DataBlockRef block(context_);
  uint64_t blockStart = 0;
  uint64_t before = platform::QueryCounter();
  for (;;) {
    source_->GetNextBlock(block);
    if (block.Empty()) {
      length_ = sourcePosition_;
      lengthKnown_ = true;
      return nullptr;
    }
    blockStart = sourcePosition_;
    sourcePosition_ += block.Length();
    if (position < sourcePosition_) break;
  }
  uint64_t duration = platform::QueryCounter() - before;

  // Keep only the part between the nearest cached neighbours.
  uint64_t keepStart = blockStart;
  uint64_t keepEnd = sourcePosition_;
  uint32_t next = UpperBound(position);
  if (next > 0 && index_[next - 1]->End() > keepStart) keepStart = index_[next - 1]->End();
  if (next < index_.Size() && index_[next]->start < keepEnd) keepEnd = index_[next]->start;
  uint32_t keepLength = static_cast<uint32_t>(keepEnd - keepStart);
  if (keepStart != blockStart || keepEnd != sourcePosition_) {
    VariableMemoryBufferDataBlock* copy = VariableMemoryBufferDataBlock::Create(context_, keepLength);
    std::memcpy(copy->Buffer(), block.Data() + (keepStart - blockStart), keepLength);
    block.Set(copy);
  }
  Ref<DSFSCacheEntry> entry(context_, New<DSFSCacheEntry>(context_, context_, block.Block(), block.Data(),
                                                            block.Length(), keepStart));
  block.Clear();
  // Allocations below may purge this very cache and so change the index.
  index_.Reserve(index_.Size() + 1);
  entries_.Insert(keepStart, entry.get(), duration,
                  entry->block->GetMemorySize() + static_cast<uint32_t>(sizeof(DSFSCacheEntry)));
  uint32_t at = UpperBound(keepStart);
  index_.Resize(index_.Size() + 1);
  DSFSCacheEntry** data = index_.Data();
  std::memmove(data + at + 1, data + at, (index_.Size() - 1 - at) * sizeof(DSFSCacheEntry*));
  data[at] = entry.get();
  return entry.get();  // the cache holds it
}

void DataStoreFromStream::GetBlock(DataBlockRef& out, uint64_t position) {
  LocalGuard guard(context_, &MarkRewindNeeded, this);
  if (rewindNeeded_) {
    rewindNeeded_ = false;
    RewindSource();
  }
  DSFSCacheEntry* entry = FindCovering(position);
  if (entry != nullptr) {
    entries_.Find(entry->start);  // most recently used
  } else {
    entry = ReadCovering(position);
  }
  if (entry == nullptr || position >= entry->End()) {
    out.Clear();
  } else if (position == entry->start) {
    out.SetView(entry->block, entry->data, entry->length);
  } else {
    uint32_t offset = static_cast<uint32_t>(position - entry->start);
    DataBlockRef whole(context_);
    whole.SetView(entry->block, entry->data, entry->length);
    out.Set(OffsetDataBlock::Create(context_, whole, offset));
  }
  guard.Dismiss();
}

uint64_t DataStoreFromStream::GetLength() {
  if (lengthKnown_) return length_;
  LocalGuard guard(context_, &MarkRewindNeeded, this);
  rewindNeeded_ = false;
  RewindSource();
  DataBlockRef block(context_);
  for (;;) {
    source_->GetNextBlock(block);
    if (block.Empty()) break;
    sourcePosition_ += block.Length();
  }
  length_ = sourcePosition_;
  lengthKnown_ = true;
  guard.Dismiss();
  return length_;
}

}  // namespace vn::data_io
