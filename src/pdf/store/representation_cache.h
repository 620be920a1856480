// Caches of things made from a store object (colour-space proxies, display
// lists, reading-order data): keyed by the object they were made from, built
// by the cache's own factory on a miss, and purged like every other cache.
#pragma once

#include <cstdint>

#include "platform/clock.h"
#include "runtime/cache_manager.h"
#include "runtime/engine_new.h"

namespace vn::pdf::store {

// The store object a representation was made from: its object number and
// generation (number 0 for direct objects, then `direct` tells them apart),
// and for a representation that also depends on something outside that
// object, `direct` names that too.
struct RepresentationCacheKey {
  int32_t number;
  int32_t generation;
  const void* direct;
  bool operator==(const RepresentationCacheKey&) const = default;
};
inline uint32_t CacheKeyHash(const RepresentationCacheKey& key) {
  return vn::CacheKeyHash((static_cast<uint64_t>(static_cast<uint32_t>(key.number)) << 32) ^
                          static_cast<uint32_t>(key.generation) ^ reinterpret_cast<uintptr_t>(key.direct));
}

class RepresentationCacheBase : public CacheSet<RepresentationCacheKey> {
 public:
  using CacheSet<RepresentationCacheKey>::CacheSet;

  // The representation of `key`, made by Create on a miss; `out` keeps it.
  // A hit also brings the entry's accounted size up to date.
  void Get(Ref<RefCounted>& out, const RepresentationCacheKey& key) {
    if (CacheEntry* entry = FindEntry(CacheKeyHash(key), &key)) {
      TouchEntry(entry);
      ResizeEntry(entry, CurrentSize(*entry->value, entry->size));
      out.Set(entry->value);
      return;
    }
    uint64_t started = platform::QueryCounter();
    uint32_t size = 0;
    out.Set(Create(key, &size));
    Insert(key, out.get(), platform::QueryCounter() - started, size);
  }

 protected:
  // Builds the representation of `key` and its accounted size in bytes.
  virtual RefCounted* Create(const RepresentationCacheKey& key, uint32_t* size) = 0;
  // The accounted size of a cached value now; by default it never changes.
  virtual uint32_t CurrentSize(const RefCounted& /*value*/, uint32_t recorded) const { return recorded; }
};

// A representation cache whose values are of type T.
template <class T>
class RepresentationCache : public RepresentationCacheBase {
 public:
  using RepresentationCacheBase::RepresentationCacheBase;
  void Get(Ref<T>& out, const RepresentationCacheKey& key) {
    Ref<RefCounted> held(context_);
    RepresentationCacheBase::Get(held, key);
    out.Set(static_cast<T*>(held.get()));
  }
};

}  // namespace vn::pdf::store
