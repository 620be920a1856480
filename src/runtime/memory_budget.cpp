#include "runtime/memory_budget.h"

#include "platform/heap.h"
#include "runtime/app_context.h"
#include "runtime/cache_manager.h"
#include "runtime/unwindable.h"

namespace vn {

const HeapInterface& ProcessHeap() {
  static const HeapInterface heap{&platform::HeapAllocate, &platform::HeapFree, &platform::HeapBlockSize};
  return heap;
}

MemoryBudget::MemoryBudget(AppContext& context, CacheManager& caches, const BudgetLimits& limits)
    : softLimit_(limits.softLimit),
      minimumPurge_(limits.minimumPurge),
      hardLimit_(limits.hardLimit),
      context_(context),
      caches_(caches),
      heap_(&ProcessHeap()) {}

void MemoryBudget::SetLimits(const BudgetLimits& limits) {
  softLimit_ = limits.softLimit;
  minimumPurge_ = limits.minimumPurge;
  hardLimit_ = limits.hardLimit;
}

void MemoryBudget::RestorePurging(void* budget) { static_cast<MemoryBudget*>(budget)->purging_ = false; }

bool MemoryBudget::Purge(uint32_t amount, bool thorough) {
  if (purging_) return false;
  purging_ = true;
  LocalGuard guard(context_, &RestorePurging, this);
  caches_.FreeBytes(amount > minimumPurge_ ? amount : minimumPurge_, thorough);
  guard.Dismiss();
  purging_ = false;
  return true;
}

bool MemoryBudget::Admit(uint32_t bytes, bool* purged) {
  if (hook_ != nullptr) hook_(hookArgument_, *this, bytes);
  *purged = false;
  if (static_cast<uint64_t>(bytesInUse_) + bytes > softLimit_) *purged = Purge(bytes, true);
  return static_cast<uint64_t>(bytesInUse_) + bytes <= hardLimit_;
}

void MemoryBudget::Count(uint32_t bytes) {
  bytesInUse_ += bytes;
  if (bytesInUse_ > peakBytes_) peakBytes_ = bytesInUse_;
}

void* MemoryBudget::HeapTry(uint32_t bytes) {
  void* block = heap_->allocate(bytes);
  if (block != nullptr) Count(static_cast<uint32_t>(heap_->blockSize(block)));
  return block;
}

bool MemoryBudget::TryCharge(uint32_t bytes) {
  bool purged;
  if (!Admit(bytes, &purged)) return false;
  Count(bytes);
  return true;
}

void MemoryBudget::Uncharge(uint32_t bytes) { bytesInUse_ -= bytes; }

void* MemoryBudget::TryAllocate(uint32_t bytes) {
  bool ran;
  if (!Admit(bytes, &ran)) return nullptr;
  void* block = HeapTry(bytes);
  if (block != nullptr || bytes == 0) return block;
  // The heap refused although the budget allows: purge ever larger amounts.
  uint64_t amount = bytes;
  while (amount < bytesInUse_) {
    amount *= 2;
    ran = Purge(amount > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(amount), !ran);
    block = HeapTry(bytes);
    if (block != nullptr) return block;
  }
  return nullptr;
}

void MemoryBudget::Free(void* block) {
  if (block == nullptr) return;
  bytesInUse_ -= static_cast<uint32_t>(heap_->blockSize(block));
  heap_->free(block);
}

void* Allocate(AppContext& context, uint32_t bytes) {
  void* block = context.Budget().TryAllocate(bytes);
  if (block == nullptr) RaiseOutOfMemory(context);
  return block;
}

void* TryAllocate(AppContext& context, uint32_t bytes) { return context.Budget().TryAllocate(bytes); }

void Free(AppContext& context, void* block) { context.Budget().Free(block); }

void Charge(AppContext& context, uint32_t bytes) {
  if (!context.Budget().TryCharge(bytes)) RaiseOutOfMemory(context);
}

void Uncharge(AppContext& context, uint32_t bytes) { context.Budget().Uncharge(bytes); }

}  // namespace vn
