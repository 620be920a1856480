// The cache re-sort and the default cost function. This is one of the few
// engine sources allowed to use floating point.
#include <algorithm>

#include "runtime/app_context.h"
#include "runtime/cache_manager.h"
#include "runtime/memory_budget.h"

namespace vn {

float CacheSetBase::Cost(const RefCounted*, uint64_t creationTime, uint32_t size, uint32_t age) const {
  float time = static_cast<float>(creationTime) + 1.0f;
  float bytes = static_cast<float>(size == 0 ? 1 : size);
  float old = static_cast<float>(age == 0 ? 1 : age);
  return time / (bytes * old);
}

namespace {

struct RankedEntry {
  CacheEntry* entry;
  float cost;
  uint32_t lruOrder;  // keeps least-recently-used order among equal costs
};

}  // namespace

// Orders the LRU list by ascending cost, so eviction takes the cheapest
// entries first. Failing to re-sort is harmless: plain LRU order remains.
void CacheManager::Resort() {
  uint32_t entries = 0;
  for (CacheEntry* e = lru_.lruNext; e != &lru_; e = e->lruNext) ++entries;
  if (entries == 0 || entries > maxResortEntries_) return;
  const volatile uint32_t count = entries;

  TryFrame frame;
  RankedEntry* volatile ranked = nullptr;
  if (VN_TRY(*context_, frame)) {
    ranked = static_cast<RankedEntry*>(Allocate(*context_, count * static_cast<uint32_t>(sizeof(RankedEntry))));
    uint32_t i = 0;
    for (CacheEntry* e = lru_.lruNext; e != &lru_; e = e->lruNext, ++i) {
      ranked[i] = RankedEntry{e, e->set->Cost(e->value, e->creationTime, e->size, tick_ - e->stamp), i};
    }
    std::sort(ranked, ranked + count, [](const RankedEntry& a, const RankedEntry& b) {
      return a.cost < b.cost || (a.cost == b.cost && a.lruOrder < b.lruOrder);
    });
    for (uint32_t k = 0; k < count; ++k) Touch(ranked[k].entry);
  } else {
    AbsorbAllButCancel(*context_, frame);
  }
  Free(*context_, ranked);
  EndTry(frame);
}

}  // namespace vn
