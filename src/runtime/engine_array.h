// A growable array of trivially copyable values in engine memory: the
// engine's stand-in for std::vector.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "runtime/memory_budget.h"
#include "runtime/unwindable.h"

namespace vn {

template <class T>
class EngineArray : public Unwindable {
  static_assert(std::is_trivially_copyable_v<T>, "EngineArray holds plain values");

 public:
  explicit EngineArray(AppContext& context) : context_(context) {
    RegisterUnwindable(context, this, &UnwindByReset<EngineArray>);
  }
  ~EngineArray() { Reset(); }
  EngineArray(const EngineArray&) = delete;
  EngineArray& operator=(const EngineArray&) = delete;

  uint32_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  T* Data() { return data_; }
  const T* Data() const { return data_; }
  T& operator[](uint32_t i) { return data_[i]; }
  const T& operator[](uint32_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T& Back() { return data_[size_ - 1]; }

  void Push(const T& value) {
    // Copied first: `value` may be an element of this array, which growing
    // frees.
    const T copy = value;
    if (size_ == capacity_) Reserve(capacity_ < 8 ? 8 : capacity_ * 2);
    data_[size_++] = copy;
  }
  void Pop() { --size_; }
  void Clear() { size_ = 0; }
  void Truncate(uint32_t size) {
    if (size < size_) size_ = size;
  }
  // Grows to `size` elements; new elements are zero.
  void Resize(uint32_t size) {
    if (size > capacity_) Reserve(size);
    if (size > size_) std::memset(static_cast<void*>(data_ + size_), 0, (size - size_) * sizeof(T));
    size_ = size;
  }
  void Reserve(uint32_t capacity) {
    if (capacity <= capacity_) return;
    uint64_t bytes = static_cast<uint64_t>(capacity) * sizeof(T);
    if (bytes > 0xFFFFFF00u) RaiseOverflow(context_);
    T* fresh = static_cast<T*>(Allocate(context_, static_cast<uint32_t>(bytes)));
    if (size_ != 0) std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
    Free(context_, data_);
    data_ = fresh;
    capacity_ = capacity;
  }
  // Bytes taken from the allocator.
  uint32_t MemorySize() const { return capacity_ * static_cast<uint32_t>(sizeof(T)); }

  void Reset() {
    UnregisterUnwindable(this);
    Free(context_, data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
  }

 private:
  AppContext& context_;
  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

}  // namespace vn
