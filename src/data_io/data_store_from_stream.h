// Random access over a sequential stream: used for decoded stream data read
// out of order (object streams, fonts). Blocks read from the source are kept
// in a purgeable cache; a position before the source's current position
// rewinds the source and reads forward again.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "runtime/cache_manager.h"
#include "runtime/engine_array.h"
#include "runtime/ref_counted.h"

namespace vn::data_io {

// One cached block of the source and the position of its first byte.
class DSFSCacheEntry final : public RefCounted {
 public:
  DSFSCacheEntry(AppContext& context, DataBlock* block, const uint8_t* bytes, uint32_t count, uint64_t start);
  ~DSFSCacheEntry() override;

  uint64_t start;
  uint64_t End() const { return start + length; }
  DataBlock* block;
  const uint8_t* data;
  uint32_t length;

 private:
  AppContext& context_;
};

class DataStoreFromStream final : public DataStore {
 public:
  // Owns `source` (built with New) once built.
  DataStoreFromStream(AppContext& context, DataBlockStream* source);
  ~DataStoreFromStream() override;

  void GetBlock(DataBlockRef& out, uint64_t position) override;
  uint64_t GetLength() override;
  uint32_t GetMemorySize() const override { return sizeof(*this) + source_->GetMemorySize(); }

  // For tests and diagnostics.
  uint32_t Rewinds() const { return rewinds_; }
  uint32_t CachedBlockCount() const { return entries_.EntryCount(); }

 private:
  // The cache set keeps the position index in step when it evicts.
  class EntryCache final : public CacheSet<uint64_t> {
   public:
    EntryCache(AppContext& context, DataStoreFromStream& owner) : CacheSet<uint64_t>(context), owner_(owner) {}
    void Destroy(AppContext& context, RefCounted* value) override;

   private:
    DataStoreFromStream& owner_;
  };

  // Index of the first entry starting after `position`.
  uint32_t UpperBound(uint64_t position) const;
  DSFSCacheEntry* FindCovering(uint64_t position) const;
  void RemoveFromIndex(DSFSCacheEntry* entry);
  void RewindSource();
  DSFSCacheEntry* ReadCovering(uint64_t position);
  static void MarkRewindNeeded(void* self);

  AppContext& context_;
  DataBlockStream* source_;
  uint64_t sourcePosition_ = 0;  // of the source's next block
  uint64_t length_ = 0;
  bool lengthKnown_ = false;
  bool rewindNeeded_ = false;
  uint32_t rewinds_ = 0;
  EngineArray<DSFSCacheEntry*> index_;  // cached entries by start, never overlapping
  EntryCache entries_;
};

}  // namespace vn::data_io
