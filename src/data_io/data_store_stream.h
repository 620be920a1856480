// A store read as a sequential stream of its blocks.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

class DataStoreStream final : public DataBlockStream {
 public:
  // With `ownsStore` the stream deletes `store` (built with New) when it goes.
  DataStoreStream(AppContext& context, DataStore* store, bool ownsStore = true);
  ~DataStoreStream() override;

  void GetNextBlock(DataBlockRef& out) override;
  void Rewind() override { position_ = 0; }
  bool IsAtEnd() override { return position_ >= store_->GetLength(); }
  uint32_t GetMemorySize() const override { return sizeof(*this) + store_->GetMemorySize(); }
  uint64_t Position() const { return position_; }

 private:
  AppContext& context_;
  DataStore* store_;
  uint64_t position_ = 0;
  bool ownsStore_;
};

}  // namespace vn::data_io
