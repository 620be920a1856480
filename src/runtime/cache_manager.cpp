#include "runtime/cache_manager.h"

#include <cstring>

#include "platform/heap.h"
#include "runtime/app_context.h"
#include "runtime/memory_budget.h"

namespace vn {

// ---- CacheSetBase

CacheSetBase::CacheSetBase(AppContext& context) : context_(context), manager_(context.Caches()) {
  manager_.AddSet(this);
  RegisterUnwindable(context, this, &UnwindByReset<CacheSetBase>);
}

CacheSetBase::~CacheSetBase() { Reset(); }

void CacheSetBase::Reset() {
  UnregisterUnwindable(this);
  Clear();
  Free(context_, buckets_);
  buckets_ = nullptr;
  bucketCount_ = 0;
  if (nextSet_ != nullptr || prevSet_ != nullptr || manager_.sets_ == this) manager_.RemoveSet(this);
}

void CacheSetBase::Clear() {
  for (uint32_t i = 0; i < bucketCount_; ++i) {
    while (buckets_[i] != nullptr) Evict(buckets_[i]);
  }
}

CacheEntry* CacheSetBase::FindEntry(uint32_t hash, const void* key) const {
  if (bucketCount_ == 0) return nullptr;
  for (CacheEntry* e = buckets_[hash & (bucketCount_ - 1)]; e != nullptr; e = e->chainNext) {
    if (e->hash == hash && KeyEquals(KeyOf(e), key)) return e;
  }
  return nullptr;
}

CacheEntry* CacheSetBase::NewEntry(uint32_t keyBytes) {
  auto* entry = static_cast<CacheEntry*>(Allocate(context_, static_cast<uint32_t>(sizeof(CacheEntry)) + keyBytes));
  std::memset(entry, 0, sizeof *entry);
  return entry;
}

void CacheSetBase::Grow() {
  uint32_t newCount = bucketCount_ == 0 ? 16 : bucketCount_ * 2;
  // Growing is optional: when memory is short the chains just get longer.
  auto* fresh = static_cast<CacheEntry**>(TryAllocate(context_, newCount * static_cast<uint32_t>(sizeof(CacheEntry*))));
  if (fresh == nullptr) return;
  std::memset(fresh, 0, newCount * sizeof(CacheEntry*));
  for (uint32_t i = 0; i < bucketCount_; ++i) {
    CacheEntry* e = buckets_[i];
    while (e != nullptr) {
      CacheEntry* next = e->chainNext;
      CacheEntry*& head = fresh[e->hash & (newCount - 1)];
      e->chainNext = head;
      head = e;
      e = next;
    }
  }
  Free(context_, buckets_);
  buckets_ = fresh;
  bucketCount_ = newCount;
}

void CacheSetBase::InsertEntry(CacheEntry* entry, RefCounted* value, uint64_t creationTime, uint32_t size) {
  // The entry itself was allocated already; allocating the buckets may purge
  // this very set, which is safe because the entry is not linked yet.
  if (count_ >= bucketCount_) Grow();
  if (bucketCount_ == 0) {
    Free(context_, entry);
    RaiseOutOfMemory(context_);
  }
  value->AddRef();
  entry->set = this;
  entry->value = value;
  entry->creationTime = creationTime;
  entry->size = size;
  CacheEntry*& head = buckets_[entry->hash & (bucketCount_ - 1)];
  entry->chainNext = head;
  head = entry;
  ++count_;
  manager_.Append(entry);
}

void CacheSetBase::TouchEntry(CacheEntry* entry) { manager_.Touch(entry); }

void CacheSetBase::ResizeEntry(CacheEntry* entry, uint32_t size) { manager_.Resize(entry, size); }

void CacheSetBase::RemoveEntry(CacheEntry* entry) { Evict(entry); }

void CacheSetBase::Unlink(CacheEntry* entry) {
  CacheEntry** link = &buckets_[entry->hash & (bucketCount_ - 1)];
  while (*link != entry) link = &(*link)->chainNext;
  *link = entry->chainNext;
  --count_;
}

void CacheSetBase::Evict(CacheEntry* entry) {
  manager_.Detach(entry);
  Unlink(entry);
  RefCounted* value = entry->value;
  Destroy(context_, value);
  ReleaseEntry(entry);
  Free(context_, entry);
}

// ---- CacheManager

CacheManager::CacheManager() {
  std::memset(&lru_, 0, sizeof lru_);
  lru_.lruNext = lru_.lruPrev = &lru_;
}

void CacheManager::AddSet(CacheSetBase* set) {
  set->nextSet_ = sets_;
  set->prevSet_ = nullptr;
  if (sets_ != nullptr) sets_->prevSet_ = set;
  sets_ = set;
}

void CacheManager::RemoveSet(CacheSetBase* set) {
  if (set->prevSet_ != nullptr) set->prevSet_->nextSet_ = set->nextSet_;
  else sets_ = set->nextSet_;
  if (set->nextSet_ != nullptr) set->nextSet_->prevSet_ = set->prevSet_;
  set->nextSet_ = set->prevSet_ = nullptr;
}

void CacheManager::MoveToNewest(CacheEntry* entry) {
  entry->lruPrev = lru_.lruPrev;
  entry->lruNext = &lru_;
  lru_.lruPrev->lruNext = entry;
  lru_.lruPrev = entry;
}

void CacheManager::Append(CacheEntry* entry) {
  entry->stamp = ++tick_;
  MoveToNewest(entry);
  total_ += entry->size;
  if (total_ > peak_) peak_ = total_;
}

void CacheManager::Resize(CacheEntry* entry, uint32_t size) {
  total_ = total_ - entry->size + size;
  entry->size = size;
  if (total_ > peak_) peak_ = total_;
}

void CacheManager::Touch(CacheEntry* entry) {
  entry->lruPrev->lruNext = entry->lruNext;
  entry->lruNext->lruPrev = entry->lruPrev;
  MoveToNewest(entry);
}

void CacheManager::Detach(CacheEntry* entry) {
  entry->lruPrev->lruNext = entry->lruNext;
  entry->lruNext->lruPrev = entry->lruPrev;
  entry->lruPrev = entry->lruNext = nullptr;
  total_ -= entry->size;
}

uint32_t CacheManager::EntryCount() const {
  uint32_t count = 0;
  for (CacheSetBase* set = sets_; set != nullptr; set = set->nextSet_) count += set->count_;
  return count;
}

void CacheManager::FreeBytes(uint32_t amount, bool thorough) {
  uint32_t target = total_ > amount ? total_ - amount : 0;
  for (;;) {
    uint32_t before = total_;
    PurgeTo(target, thorough);
    thorough = false;
    if (total_ <= target || total_ == before) return;
  }
}

namespace {
void ClearBusy(void* flag) { *static_cast<bool*>(flag) = false; }
}  // namespace

uint32_t CacheManager::PurgeTo(uint32_t target, bool thorough) {
  if (busy_) return total_;
  busy_ = true;
  LocalGuard guard(*context_, &ClearBusy, &busy_);
  if (thorough) Resort();
  CacheEntry* e = lru_.lruNext;
  while (e != &lru_ && target < total_) {
    if (e->set->CanEvict(e->value)) {
      e->set->Evict(e);
      e = lru_.lruNext;
    } else {
      e = e->lruNext;
    }
  }
  guard.Dismiss();
  busy_ = false;
  return total_;
}

void CacheManager::LowMemory() {
  for (;;) {
    uint32_t before = total_;
    PurgeTo(0, false);
    if (total_ == before) break;
  }
  platform::HeapCompact();
}

}  // namespace vn
