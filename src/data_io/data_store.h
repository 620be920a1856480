// Random-access stores and sequential streams of blocks.
#pragma once

#include <cstdint>

#include "data_io/data_block.h"
#include "data_io/decoded_image_layout.h"

namespace vn::data_io {

class DataStore : public Unwindable {
 public:
  DataStore() = default;
  DataStore(const DataStore&) = delete;
  DataStore& operator=(const DataStore&) = delete;
  virtual ~DataStore() { UnregisterUnwindable(this); }

  // A block whose first byte is the byte at `position` (of any length up to
  // the end of the store); an empty block at or beyond the end.
  virtual void GetBlock(DataBlockRef& out, uint64_t position) = 0;
  virtual uint64_t GetLength() = 0;
  // A read-ahead hint for a range the caller will read soon.
  virtual void HintRange(uint64_t /*start*/, uint64_t /*length*/) {}
  virtual uint32_t GetMemorySize() const = 0;
};

class DataBlockStream : public Unwindable {
 public:
  DataBlockStream() = default;
  DataBlockStream(const DataBlockStream&) = delete;
  DataBlockStream& operator=(const DataBlockStream&) = delete;
  virtual ~DataBlockStream() { UnregisterUnwindable(this); }

  // The next block; an empty block at the end.
  virtual void GetNextBlock(DataBlockRef& out) = 0;
  // Starts again from the first byte.
  virtual void Rewind() = 0;
  virtual bool IsAtEnd() = 0;
  virtual uint32_t GetMemorySize() const = 0;
  // For decoders whose data carries its own image geometry and colour: the
  // layout of the samples they give, decoding as far as needed to know it
  // (may raise as reading does). Null for every other stream.
  virtual const DecodedImageLayout* DecodedLayout() { return nullptr; }
};

}  // namespace vn::data_io
