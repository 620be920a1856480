// A chunked bump arena: small requests are carved from the current chunk, a
// request of at least the threshold gets a block of its own, anything else
// that does not fit starts a new chunk. Everything is freed with the arena or
// back to a mark.
#pragma once

#include <cstdint>

#include "runtime/unwindable.h"

namespace vn {

class Arena : public Unwindable {
 public:
  struct Mark {
    void* chunk;
    uint32_t used;
    void* large;
  };

  Arena(AppContext& context, uint32_t chunkSize, uint32_t largeThreshold);
  ~Arena() { Reset(); }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // 8-byte aligned; raises kOutOfMemory (or kOverflow for absurd sizes).
  void* Allocate(uint32_t bytes);
  template <class T>
  T* AllocateArray(uint32_t count);

  Mark GetMark() const;
  void ReleaseTo(const Mark& mark);
  // Frees everything.
  void Clear();
  // Bytes taken from the engine allocator, for memory accounting.
  uint32_t BytesReserved() const { return reserved_; }
  AppContext& Context() const { return context_; }

  void Reset();

 private:
  struct Block;
  AppContext& context_;
  uint32_t chunkSize_;
  uint32_t threshold_;
  Block* chunks_ = nullptr;  // newest first
  uint32_t used_ = 0;        // bytes used in the newest chunk
  Block* large_ = nullptr;   // own blocks, newest first
  uint32_t reserved_ = 0;
};

// Releases an arena back to the mark taken at construction when the scope
// ends or an error unwinds past it.
class ArenaScope : public Unwindable {
 public:
  ArenaScope(AppContext& context, Arena& arena);
  ~ArenaScope() { Reset(); }
  ArenaScope(const ArenaScope&) = delete;
  ArenaScope& operator=(const ArenaScope&) = delete;
  void Reset();

 private:
  Arena& arena_;
  Arena::Mark mark_;
  bool active_ = true;
};

template <class T>
T* Arena::AllocateArray(uint32_t count) {
  uint64_t bytes = static_cast<uint64_t>(count) * sizeof(T);
  if (bytes > 0xFFFFFF00u) RaiseOverflow(context_);
  return static_cast<T*>(Allocate(static_cast<uint32_t>(bytes)));
}

}  // namespace vn
