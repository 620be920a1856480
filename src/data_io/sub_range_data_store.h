// A window [start, end) of another store.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

class SubRangeDataStore final : public DataStore {
 public:
  // With `ownsBase` the window deletes `base` (built with New) when it goes.
  SubRangeDataStore(AppContext& context, DataStore* base, uint64_t start, uint64_t end, bool ownsBase = false);
  ~SubRangeDataStore() override;

  // Never a byte at or past the window's end, even when the base's block is longer.
  void GetBlock(DataBlockRef& out, uint64_t position) override;
  uint64_t GetLength() override { return end_ - start_; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

 private:
  AppContext& context_;
  DataStore* base_;
  uint64_t start_;
  uint64_t end_;
  bool ownsBase_;
  DataBlockRef scratch_;
};

}  // namespace vn::data_io
