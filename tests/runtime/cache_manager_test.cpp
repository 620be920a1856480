#include "runtime/cache_manager.h"

#include <gtest/gtest.h>

#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn {
namespace {

class Value : public RefCounted {
 public:
  explicit Value(int id) : id(id) {}
  int id;
};

Value* Make(AppContext& context, int id) { return New<Value>(context, id); }

TEST(CacheManager, FindMovesAnEntryToTheNewEndWithoutRestamping) {
  AppContext context;
  CacheSet<uint32_t> cache(context);
  cache.Insert(1u, Make(context, 1), 0, 10);
  cache.Insert(2u, Make(context, 2), 0, 10);
  CacheManager& manager = context.Caches();
  EXPECT_EQ(manager.TotalBytes(), 20u);
  uint32_t stamp = manager.Oldest()->stamp;
  EXPECT_EQ(static_cast<Value*>(cache.Find(1u))->id, 1);
  EXPECT_EQ(static_cast<Value*>(manager.Oldest()->value)->id, 2);
  EXPECT_EQ(manager.Newer(manager.Oldest())->stamp, stamp);
  EXPECT_EQ(cache.Find(3u), nullptr);
  EXPECT_EQ(manager.Tick(), 2u);
}

TEST(CacheManager, PurgeNeverEvictsAValueSomeoneElseHolds) {
  AppContext context;
  CacheSet<uint32_t> cache(context);
  Value* held = Make(context, 1);
  cache.Insert(1u, held, 0, 100);
  cache.Insert(2u, Make(context, 2), 0, 100);
  Ref<Value> keep(context, held);
  context.Caches().PurgeTo(0, false);
  EXPECT_EQ(cache.EntryCount(), 1u);
  EXPECT_EQ(cache.Find(1u), held);
  EXPECT_EQ(context.Caches().TotalBytes(), 100u);
  keep.Reset();
  context.Caches().PurgeTo(0, false);
  EXPECT_EQ(cache.EntryCount(), 0u);
  EXPECT_EQ(context.Caches().TotalBytes(), 0u);
}

TEST(CacheManager, ThoroughPurgeEvictsCheapLargeAndOldEntriesFirst) {
  AppContext context;
  CacheSet<uint32_t> cache(context);
  // Inserted oldest first. Entry 1 was expensive to make, entry 2 is large,
  // entry 3 is cheap and small but newest, entry 4 is an ordinary one.
  cache.Insert(1u, Make(context, 1), 1000000000, 100);
  cache.Insert(2u, Make(context, 2), 1000, 100000);
  cache.Insert(3u, Make(context, 3), 1000, 100);
  cache.Insert(4u, Make(context, 4), 1000, 100);
  for (int i = 0; i < 20; ++i) cache.Insert(100u + i, Make(context, 100 + i), 1000000000, 1);

  // Free just enough for one entry of 100000 bytes: the large one goes.
  context.Caches().FreeBytes(100000, true);
  EXPECT_EQ(cache.Find(2u), nullptr);
  EXPECT_NE(cache.Find(1u), nullptr);
  EXPECT_NE(cache.Find(3u), nullptr);

  // Of two cheap small entries the older one goes first.
  context.Caches().FreeBytes(100, true);
  EXPECT_EQ(cache.Find(3u), nullptr);
  EXPECT_NE(cache.Find(4u), nullptr);
  EXPECT_NE(cache.Find(1u), nullptr);  // the expensive one stays longest
}

TEST(CacheManager, FreeBytesStopsWhenNothingMoreCanGo) {
  AppContext context;
  CacheSet<uint32_t> cache(context);
  Value* held = Make(context, 1);
  cache.Insert(1u, held, 0, 500);
  Ref<Value> keep(context, held);
  context.Caches().FreeBytes(1000, true);  // must not spin
  EXPECT_EQ(cache.EntryCount(), 1u);
}

TEST(CacheManager, SetsAreIndependentAndClearReturnsAllMemory) {
  AppContext context;
  uint32_t before = context.Budget().BytesInUse();
  {
    CacheSet<uint64_t> a(context);
    CacheSet<uint64_t> b(context);
    for (uint64_t k = 0; k < 1000; ++k) {
      a.Insert(k, Make(context, static_cast<int>(k)), 0, 1);
      b.Insert(k << 40, Make(context, -static_cast<int>(k)), 0, 1);
    }
    EXPECT_EQ(static_cast<Value*>(a.Find(777))->id, 777);
    EXPECT_EQ(static_cast<Value*>(b.Find(uint64_t{777} << 40))->id, -777);
    EXPECT_EQ(a.Find(uint64_t{777} << 40), nullptr);
    a.Remove(777);
    EXPECT_EQ(a.Find(777), nullptr);
    EXPECT_EQ(context.Caches().EntryCount(), 1999u);
    a.Clear();
    EXPECT_EQ(context.Caches().TotalBytes(), 1000u);
  }
  EXPECT_EQ(context.Caches().TotalBytes(), 0u);
  EXPECT_EQ(context.Budget().BytesInUse(), before);
}

TEST(CacheManager, LowMemoryEmptiesEveryEvictableEntry) {
  AppContext context;
  CacheSet<uint32_t> cache(context);
  for (uint32_t k = 0; k < 50; ++k) cache.Insert(k, Make(context, static_cast<int>(k)), k, 64);
  context.Caches().LowMemory();
  EXPECT_EQ(cache.EntryCount(), 0u);
  EXPECT_EQ(context.Caches().PeakBytes(), 50u * 64u);
}

TEST(CacheManager, ResortAbandonedForTooManyEntriesStillEvictsInLruOrder) {
  AppContext context;
  context.Caches().SetMaxResortEntries(2);
  CacheSet<uint32_t> cache(context);
  cache.Insert(1u, Make(context, 1), 1000000, 10);
  cache.Insert(2u, Make(context, 2), 1, 10);
  cache.Insert(3u, Make(context, 3), 1, 10);
  context.Caches().FreeBytes(10, true);
  EXPECT_EQ(cache.Find(1u), nullptr);  // plain LRU: the oldest went
}

}  // namespace
}  // namespace vn
