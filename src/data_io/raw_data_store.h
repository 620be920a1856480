// A store over a memory region that its creator keeps alive.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

// A counted view into the memory of a RawDataStore.
class RawDataBlock final : public DataBlock {
 public:
  RawDataBlock(const uint8_t* bytes, uint32_t count) {
    data = bytes;
    length = count;
  }
  uint32_t GetMemorySize() const override { return sizeof(*this); }
};

class RawDataStore final : public DataStore {
 public:
  RawDataStore(AppContext& context, const uint8_t* base, uint64_t length);

  // At or beyond the length: no data. Otherwise the bytes from `position` to
  // the end (at most 4 GB - 1 in one block).
  void GetBlock(DataBlockRef& out, uint64_t position) override;
  uint64_t GetLength() override { return length_; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }

 private:
  AppContext& context_;
  const uint8_t* base_;
  uint64_t length_;
};

}  // namespace vn::data_io
