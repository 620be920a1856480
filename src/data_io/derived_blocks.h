// Blocks that are views of another block: they hold a counted reference to
// it, so the bytes live as long as the view does.
#pragma once

#include <cstdint>

#include "data_io/data_block.h"

namespace vn::data_io {

// The base of the two views below: the counted reference to the block seen.
class ReferringDataBlock : public DataBlock {
 public:
  ReferringDataBlock(AppContext& context, DataBlock* inner, const uint8_t* bytes, uint32_t count);
  ~ReferringDataBlock() override;
  DataBlock* Inner() const { return inner_; }

 protected:
  AppContext& context_;
  DataBlock* inner_;
};

// The bytes of another block (or of a view `bytes`/`count` of it) starting
// `offset` bytes in; the length shrinks by the offset (to 0 past the end).
class OffsetDataBlock final : public ReferringDataBlock {
 public:
  static OffsetDataBlock* Create(AppContext& context, const DataBlockRef& source, uint32_t offset);
  OffsetDataBlock(AppContext& context, DataBlock* inner, const uint8_t* bytes, uint32_t count)
      : ReferringDataBlock(context, inner, bytes, count) {}
  uint32_t GetMemorySize() const override;
};

// The bytes of another block cut to at most `maximum` bytes.
class SubRangeBlock final : public ReferringDataBlock {
 public:
  static SubRangeBlock* Create(AppContext& context, const DataBlockRef& source, uint32_t maximum);
  SubRangeBlock(AppContext& context, DataBlock* inner, const uint8_t* bytes, uint32_t count)
      : ReferringDataBlock(context, inner, bytes, count) {}
  uint32_t GetMemorySize() const override;
};

}  // namespace vn::data_io
