// The engine's byte budget: every engine allocation is counted against a soft
// and a hard limit; under pressure the caches are purged before an
// allocation gives up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vn {

class AppContext;
class CacheManager;

struct BudgetLimits {
  uint32_t softLimit = 9000000;
  uint32_t minimumPurge = 2000000;
  uint32_t hardLimit = 10000000;
};

// The heap under the budget; tests put a refusing heap here.
struct HeapInterface {
  void* (*allocate)(size_t bytes);
  void (*free)(void* block);
  size_t (*blockSize)(const void* block);
};
const HeapInterface& ProcessHeap();

class MemoryBudget {
 public:
  MemoryBudget(AppContext& context, CacheManager& caches, const BudgetLimits& limits);

  void* TryAllocate(uint32_t bytes);
  void Free(void* block);
  // Counts `bytes` that a library takes from its own allocator as if they
  // were allocated here (same purging, same limits); false when the budget
  // cannot take them.
  bool TryCharge(uint32_t bytes);
  // Gives back bytes counted by TryCharge.
  void Uncharge(uint32_t bytes);

  // Called with every request (allocation or charge) before it is weighed
  // against the limits; tests use it to squeeze the budget at a chosen one.
  using RequestHook = void (*)(void* argument, MemoryBudget& budget, uint32_t bytes);
  void SetRequestHook(RequestHook hook, void* argument) {
    hook_ = hook;
    hookArgument_ = argument;
  }

  void SetLimits(const BudgetLimits& limits);
  uint32_t SoftLimit() const { return softLimit_; }
  uint32_t MinimumPurge() const { return minimumPurge_; }
  uint32_t HardLimit() const { return hardLimit_; }
  uint32_t BytesInUse() const { return bytesInUse_; }
  uint32_t PeakBytes() const { return peakBytes_; }
  void ResetPeak() { peakBytes_ = bytesInUse_; }
  bool IsPurging() const { return purging_; }
  void SetHeap(const HeapInterface& heap) { heap_ = &heap; }

 private:
  bool Purge(uint32_t amount, bool thorough);
  // Purges when the request passes the soft limit (`purged` tells whether a
  // purge ran); false when it would pass the hard limit.
  bool Admit(uint32_t bytes, bool* purged);
  void Count(uint32_t bytes);
  void* HeapTry(uint32_t bytes);
  static void RestorePurging(void* budget);

  uint32_t softLimit_;
  uint32_t minimumPurge_;
  uint32_t hardLimit_;
  bool purging_ = false;
  AppContext& context_;
  uint32_t bytesInUse_ = 0;
  uint32_t peakBytes_ = 0;
  CacheManager& caches_;
  const HeapInterface* heap_;
  RequestHook hook_ = nullptr;
  void* hookArgument_ = nullptr;
};

// Raises kOutOfMemory when the budget or the heap cannot give the block.
void* Allocate(AppContext& context, uint32_t bytes);
// Null when the budget or the heap cannot give the block.
void* TryAllocate(AppContext& context, uint32_t bytes);
// Null is ignored.
void Free(AppContext& context, void* block);
// MemoryBudget::TryCharge, raising kOutOfMemory when the budget refuses.
void Charge(AppContext& context, uint32_t bytes);
void Uncharge(AppContext& context, uint32_t bytes);

}  // namespace vn
