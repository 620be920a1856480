// Purgeable caches. Every cache set registers with the context's cache
// manager, which keeps one least-recently-used list of the entries of all
// sets and evicts from it when the memory budget asks for bytes.
#pragma once

#include <cstdint>
#include <new>

#include "runtime/ref_counted.h"
#include "runtime/unwindable.h"

namespace vn {

class AppContext;
class CacheManager;
class CacheSetBase;

struct CacheEntry {
  CacheEntry* lruPrev;
  CacheEntry* lruNext;
  CacheEntry* chainNext;  // the owning set's hash chain
  CacheSetBase* set;
  RefCounted* value;      // the cache's own reference
  uint64_t creationTime;  // counter ticks it took to create the value
  uint32_t size;          // accounted bytes
  uint32_t stamp;         // the manager's tick at insertion
  uint32_t hash;
};

// A cache set: an index of entries by key. The key comparison and storage
// belong to the typed set (CacheSet<Key>); eviction policy comes from the
// four functions below, which a set may override.
class CacheSetBase : public Unwindable {
 public:
  explicit CacheSetBase(AppContext& context);
  virtual ~CacheSetBase();
  CacheSetBase(const CacheSetBase&) = delete;
  CacheSetBase& operator=(const CacheSetBase&) = delete;

  // Lower costs are evicted first: the default ranks entries that were cheap
  // to create, large and old lowest. Works in floating point (cache_cost.cpp).
  virtual float Cost(const RefCounted* value, uint64_t creationTime, uint32_t size, uint32_t age) const;
  // By default only a value nobody but the cache holds may be evicted.
  virtual bool CanEvict(const RefCounted* value) const { return value->IsUnique(); }
  // By default the cache's reference is dropped.
  virtual void Destroy(AppContext& context, RefCounted* value) { value->Release(context); }
  virtual void ReleaseEntry(CacheEntry*) {}

  // Drops every entry.
  void Clear();
  uint32_t EntryCount() const { return count_; }
  void Reset();

 protected:
  CacheEntry* FindEntry(uint32_t hash, const void* key) const;
  // Allocates an entry with `keyBytes` of key storage after it.
  CacheEntry* NewEntry(uint32_t keyBytes);
  void InsertEntry(CacheEntry* entry, RefCounted* value, uint64_t creationTime, uint32_t size);
  void TouchEntry(CacheEntry* entry);
  // For values that grow after insertion (display lists populate lazily).
  void ResizeEntry(CacheEntry* entry, uint32_t size);
  void RemoveEntry(CacheEntry* entry);
  static void* KeyOf(CacheEntry* entry) { return entry + 1; }
  static const void* KeyOf(const CacheEntry* entry) { return entry + 1; }
  virtual bool KeyEquals(const void* a, const void* b) const = 0;

  AppContext& context_;

 private:
  friend class CacheManager;
  void Unlink(CacheEntry* entry);  // from the index only
  void Evict(CacheEntry* entry);   // unlink, destroy, free
  void Grow();

  CacheEntry** buckets_ = nullptr;
  uint32_t bucketCount_ = 0;
  uint32_t count_ = 0;
  CacheManager& manager_;
  CacheSetBase* nextSet_ = nullptr;
  CacheSetBase* prevSet_ = nullptr;
};

// A cache set keyed by a small, trivially copyable Key with operator== and an
// overload of CacheKeyHash(const Key&).
template <class Key>
class CacheSet : public CacheSetBase {
 public:
  using CacheSetBase::CacheSetBase;

  // The cached value (borrowed: AddRef to keep it) or null. A hit moves the
  // entry to the most-recently-used end.
  RefCounted* Find(const Key& key);
  // Inserts a value under a key not yet present; the cache takes a reference.
  void Insert(const Key& key, RefCounted* value, uint64_t creationTime, uint32_t size);
  // Drops the entry for `key` if there is one.
  void Remove(const Key& key);
  // Brings the accounted size of `key`'s entry up to date, for values that
  // grow while they are used.
  void Resize(const Key& key, uint32_t size);

 protected:
  bool KeyEquals(const void* a, const void* b) const override {
    return *static_cast<const Key*>(a) == *static_cast<const Key*>(b);
  }
};

inline uint32_t CacheKeyHash(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdull;
  key ^= key >> 33;
  return static_cast<uint32_t>(key);
}
inline uint32_t CacheKeyHash(uint32_t key) { return CacheKeyHash(static_cast<uint64_t>(key)); }
inline uint32_t CacheKeyHash(int32_t key) { return CacheKeyHash(static_cast<uint64_t>(static_cast<uint32_t>(key))); }
inline uint32_t CacheKeyHash(const void* key) { return CacheKeyHash(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key))); }

class CacheManager {
 public:
  CacheManager();
  explicit CacheManager(AppContext& context) : CacheManager() { context_ = &context; }
  void Bind(AppContext& context) { context_ = &context; }

  // Frees at least `amount` bytes of cached entries if it can.
  void FreeBytes(uint32_t amount, bool thorough);
  // Evicts until the cached total is at or below `target`; returns the total.
  uint32_t PurgeTo(uint32_t target, bool thorough);
  // The shell's low-memory entry point: evicts everything evictable and gives
  // memory back to the system.
  void LowMemory();

  uint32_t TotalBytes() const { return total_; }
  uint32_t PeakBytes() const { return peak_; }
  uint32_t Tick() const { return tick_; }
  uint32_t EntryCount() const;
  void SetMaxResortEntries(uint32_t count) { maxResortEntries_ = count; }

  // The least-recently-used end, for tests and the re-sort.
  CacheEntry* Oldest() { return lru_.lruNext == &lru_ ? nullptr : lru_.lruNext; }
  CacheEntry* Newer(CacheEntry* entry) { return entry->lruNext == &lru_ ? nullptr : entry->lruNext; }

 private:
  friend class CacheSetBase;
  void AddSet(CacheSetBase* set);
  void RemoveSet(CacheSetBase* set);
  void Append(CacheEntry* entry);
  void Touch(CacheEntry* entry);
  void Resize(CacheEntry* entry, uint32_t size);
  void Detach(CacheEntry* entry);
  void Resort();  // cache_cost.cpp
  void MoveToNewest(CacheEntry* entry);

  AppContext* context_ = nullptr;
  uint32_t tick_ = 0;
  uint32_t total_ = 0;
  uint32_t peak_ = 0;
  uint32_t maxResortEntries_ = 20000;
  CacheEntry lru_;  // sentinel: lruNext is the oldest entry
  bool busy_ = false;
  CacheSetBase* sets_ = nullptr;
};

template <class Key>
RefCounted* CacheSet<Key>::Find(const Key& key) {
  CacheEntry* entry = FindEntry(CacheKeyHash(key), &key);
  if (entry == nullptr) return nullptr;
  TouchEntry(entry);
  return entry->value;
}

template <class Key>
void CacheSet<Key>::Insert(const Key& key, RefCounted* value, uint64_t creationTime, uint32_t size) {
  CacheEntry* entry = NewEntry(static_cast<uint32_t>(sizeof(Key)));
  ::new (KeyOf(entry)) Key(key);
  entry->hash = CacheKeyHash(key);
  InsertEntry(entry, value, creationTime, size);
}

template <class Key>
void CacheSet<Key>::Remove(const Key& key) {
  CacheEntry* entry = FindEntry(CacheKeyHash(key), &key);
  if (entry != nullptr) RemoveEntry(entry);
}

template <class Key>
void CacheSet<Key>::Resize(const Key& key, uint32_t size) {
  CacheEntry* entry = FindEntry(CacheKeyHash(key), &key);
  if (entry != nullptr) ResizeEntry(entry, size);
}

}  // namespace vn
