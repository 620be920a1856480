// Blocks: reference-counted pieces of contiguous memory that stores and
// streams hand out, and the counted reference that holds one.
#pragma once

#include <cstdint>

#include "runtime/unwindable.h"

namespace vn::data_io {

class DataBlock : public Unwindable {
 public:
  DataBlock() = default;
  DataBlock(const DataBlock&) = delete;
  DataBlock& operator=(const DataBlock&) = delete;
  virtual ~DataBlock() { UnregisterUnwindable(this); }

  // Bytes this block accounts for: its own object and any block it refers to.
  virtual uint32_t GetMemorySize() const = 0;
  virtual void AddRef() { ++refCount; }
  // Drops one reference; the last one destroys the block and frees it.
  virtual void Release(AppContext& context);
  virtual bool IsUnique() const { return refCount == 1; }

  const uint8_t* data = nullptr;
  uint32_t length = 0;
  uint32_t refCount = 0;
};

// A view of memory owned by someone else; not counted.
class simple_block final : public DataBlock {
 public:
  simple_block(const uint8_t* bytes, uint32_t count) {
    data = bytes;
    length = count;
  }
  uint32_t GetMemorySize() const override { return sizeof(*this); }
  void AddRef() override {}
  void Release(AppContext&) override {}
  bool IsUnique() const override { return false; }
};

// No data: the end-of-data marker.
class EmptyBlock final : public DataBlock {
 public:
  static EmptyBlock* Create(AppContext& context);
  uint32_t GetMemorySize() const override { return sizeof(*this); }
};

// The output block of every filter: an inline buffer of Capacity bytes whose
// first `length` bytes are valid.
template <uint32_t Capacity>
class FixedMemoryBufferDataBlock final : public DataBlock {
 public:
  static constexpr uint32_t kCapacity = Capacity;
  FixedMemoryBufferDataBlock() { data = buffer; }
  uint32_t GetMemorySize() const override { return sizeof(*this); }
  uint8_t buffer[Capacity];
};

// An owned buffer of any size.
class VariableMemoryBufferDataBlock final : public DataBlock {
 public:
  // A block of `size` bytes (uninitialised), `length` = size.
  static VariableMemoryBufferDataBlock* Create(AppContext& context, uint32_t size);
  VariableMemoryBufferDataBlock(AppContext& context, uint8_t* buffer, uint32_t size);
  ~VariableMemoryBufferDataBlock() override;
  uint32_t GetMemorySize() const override { return sizeof(*this) + size_; }
  uint8_t* Buffer() { return buffer_; }

 private:
  AppContext& context_;
  uint8_t* buffer_;
  uint32_t size_;
};

// A counted reference to a block and a view of its bytes. Every operation
// that yields a block fills one; an empty view means no data at that place.
class DataBlockRef : public Unwindable {
 public:
  explicit DataBlockRef(AppContext& context);
  DataBlockRef(const DataBlockRef& other);
  DataBlockRef& operator=(const DataBlockRef& other);
  ~DataBlockRef() { Reset(); }

  // Holds `block` and views all of its bytes.
  void Set(DataBlock* block);
  // Holds `block` and views `count` bytes from `bytes` (inside the block).
  void SetView(DataBlock* block, const uint8_t* bytes, uint32_t count);
  // Drops the block.
  void Clear();
  void Reset();

  const uint8_t* Data() const { return data_; }
  uint32_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }
  DataBlock* Block() const { return block_; }
  AppContext& Context() const { return *context_; }

 private:
  AppContext* context_;
  const uint8_t* data_ = nullptr;
  uint32_t length_ = 0;
  DataBlock* block_ = nullptr;
};

}  // namespace vn::data_io
