// The pieces of the file store's page cache: a cached 4096-byte file page
// and the block that views part of one.
#pragma once

#include <cstdint>

#include "data_io/data_block.h"
#include "runtime/ref_counted.h"

namespace vn::data_io {

// One page of the file as read: `valid` bytes of `bytes` hold data (fewer
// than 4096 only for the file's last page).
class FilePage final : public RefCounted {
 public:
  static constexpr uint32_t kSize = 4096;
  // The bytes a page accounts for in the cache: the page and an 8-byte header.
  static constexpr uint32_t kAccountedSize = kSize + 8;

  uint8_t bytes[kSize];
  uint32_t valid = 0;
};

// A counted reference to a cached page and a view into it.
class FileDataBlock final : public DataBlock {
 public:
  FileDataBlock(AppContext& context, FilePage* page, uint32_t offset);
  ~FileDataBlock() override;
  uint32_t GetMemorySize() const override { return sizeof(*this); }
  const FilePage* Page() const { return page_; }

 private:
  AppContext& context_;
  FilePage* page_;
};

}  // namespace vn::data_io
