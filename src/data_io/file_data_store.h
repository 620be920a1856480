// The document file as a store: read through a purgeable cache of 4096-byte
// pages held by the cache manager.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "data_io/file_data_block.h"
#include "runtime/cache_manager.h"

namespace vn::platform {
struct File;
}

namespace vn::data_io {

class FileDataStore;

struct FilePageKey {
  const FileDataStore* store;
  uint64_t pageStart;
  bool operator==(const FilePageKey& other) const {
    return store == other.store && pageStart == other.pageStart;
  }
};

inline uint32_t CacheKeyHash(const FilePageKey& key) {
  return vn::CacheKeyHash((key.pageStart >> 12) ^ (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key.store)) << 20));
}

class FileDataStore final : public DataStore {
 public:
  // Positions from here on yield no data.
  static constexpr uint64_t kMaxPosition = 0x80000000ull;

  // Copies `path` and opens the file; raises kOverflow (1) when the file
  // cannot be opened or its length cannot be queried.
  FileDataStore(AppContext& context, const wchar_t* path);
  ~FileDataStore() override { Reset(); }

  void GetBlock(DataBlockRef& out, uint64_t position) override;
  uint64_t GetLength() override { return length_; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

  const wchar_t* Path() const { return path_; }
  // Cached pages of this file, for tests and diagnostics.
  uint32_t CachedPageCount() const { return pages_.EntryCount(); }
  // Pages read from the file so far (misses), for tests and diagnostics.
  uint32_t PageReads() const { return pageReads_; }

  void Reset();

 private:
  FilePage* ReadPage(uint64_t pageStart, uint64_t* duration);
  void EnsureOpen();

  AppContext& context_;
  wchar_t* path_ = nullptr;
  platform::File* file_ = nullptr;
  uint64_t length_ = 0;
  uint32_t pageReads_ = 0;
  CacheSet<FilePageKey> pages_;
};

}  // namespace vn::data_io
