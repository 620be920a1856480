#include "runtime/memory_budget.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/app_context.h"
#include "runtime/cache_manager.h"
#include "runtime/engine_new.h"
#include "support/test_context.h"

namespace vn {
namespace {

// A heap whose blocks are exactly the requested size and that can be told
// to refuse.
struct FakeHeap {
  static inline int calls = 0;
  static inline bool refuse = false;
  static void* Allocate(size_t bytes) {
    ++calls;
    if (refuse) return nullptr;
    auto* block = static_cast<size_t*>(std::malloc(bytes + sizeof(size_t)));
    *block = bytes;
    return block + 1;
  }
  static void Free(void* block) { std::free(static_cast<size_t*>(block) - 1); }
  static size_t Size(const void* block) { return static_cast<const size_t*>(block)[-1]; }
  static const HeapInterface& Interface() {
    static const HeapInterface heap{&Allocate, &Free, &Size};
    return heap;
  }
};

class BudgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHeap::calls = 0;
    FakeHeap::refuse = false;
  }
};

TEST_F(BudgetTest, CountsTheHeapSizeOfBlocksAndTracksThePeak) {
  AppContext context;
  context.Budget().SetHeap(FakeHeap::Interface());
  void* a = Allocate(context, 100);
  void* b = Allocate(context, 50);
  EXPECT_EQ(context.Budget().BytesInUse(), 150u);
  Free(context, a);
  EXPECT_EQ(context.Budget().BytesInUse(), 50u);
  EXPECT_EQ(context.Budget().PeakBytes(), 150u);
  Free(context, b);
  Free(context, nullptr);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST_F(BudgetTest, ZeroBytesThatTheHeapRefusesReturnNullAtOnce) {
  AppContext context;
  context.Budget().SetHeap(FakeHeap::Interface());
  FakeHeap::refuse = true;
  EXPECT_EQ(TryAllocate(context, 0), nullptr);
  EXPECT_EQ(FakeHeap::calls, 1);  // no retry loop
}

TEST_F(BudgetTest, RequestOverTheHardLimitFailsEvenWhenTheHeapCouldGiveIt) {
  AppContext context(test::TinyLimits(1000, 2000));
  context.Budget().SetHeap(FakeHeap::Interface());
  EXPECT_EQ(TryAllocate(context, 2001), nullptr);
  EXPECT_EQ(FakeHeap::calls, 0);
  EXPECT_EQ(test::RaisedCode(context, [&] { Allocate(context, 5000); }), kOutOfMemory);
  void* fits = TryAllocate(context, 2000);
  EXPECT_NE(fits, nullptr);
  Free(context, fits);
}

// A cached value whose size is accounted in the budget and the cache.
class Payload : public RefCounted {
 public:
  explicit Payload(AppContext& context, uint32_t bytes) : context_(context), bytes_(Allocate(context, bytes)) {}
  ~Payload() override { Free(context_, bytes_); }

 private:
  AppContext& context_;
  void* bytes_;
};

TEST_F(BudgetTest, PastTheSoftLimitTheCachesArePurgedBeforeTheAllocation) {
  AppContext context(test::TinyLimits(4000, 100000));
  context.Budget().SetHeap(FakeHeap::Interface());
  CacheSet<uint32_t> cache(context);
  for (uint32_t key = 0; key < 3; ++key) cache.Insert(key, New<Payload>(context, context, 1000), 0, 1000);
  EXPECT_EQ(cache.EntryCount(), 3u);
  void* big = Allocate(context, 2500);  // over the soft limit with the cache full
  EXPECT_LT(cache.EntryCount(), 3u);
  EXPECT_LE(context.Budget().BytesInUse(), 100000u);
  Free(context, big);
  EXPECT_FALSE(context.Budget().IsPurging());
}

TEST_F(BudgetTest, HeapRefusalPurgesAndRetries) {
  AppContext context(test::TinyLimits(1000000, 2000000));
  context.Budget().SetHeap(FakeHeap::Interface());
  CacheSet<uint32_t> cache(context);
  for (uint32_t key = 0; key < 8; ++key) cache.Insert(key, New<Payload>(context, context, 1000), 0, 1000);

  // The heap refuses until something was purged.
  static CacheSet<uint32_t>* watched;
  watched = &cache;
  static const HeapInterface picky{
      [](size_t bytes) -> void* { return watched->EntryCount() < 8 ? FakeHeap::Allocate(bytes) : nullptr; },
      &FakeHeap::Free, &FakeHeap::Size};
  context.Budget().SetHeap(picky);
  void* block = TryAllocate(context, 100);
  EXPECT_NE(block, nullptr);
  EXPECT_LT(cache.EntryCount(), 8u);
  Free(context, block);
  context.Budget().SetHeap(FakeHeap::Interface());
}

TEST_F(BudgetTest, AnErrorDuringAPurgeRestoresThePurgingFlag) {
  AppContext context(test::TinyLimits(1500, 100000));
  context.Budget().SetHeap(FakeHeap::Interface());

  // A cache set that meets a fault while the purge asks it about an entry.
  class FaultySet : public CacheSet<uint32_t> {
   public:
    using CacheSet<uint32_t>::CacheSet;
    bool CanEvict(const RefCounted*) const override { RaiseCode(context_, kBadData); }
  };
  FaultySet cache(context);
  cache.Insert(1u, New<Payload>(context, context, 10), 0, 1000);
  EXPECT_EQ(test::RaisedCode(context, [&] { Allocate(context, 1400); }), kBadData);
  EXPECT_FALSE(context.Budget().IsPurging());
}

// A library's own allocations, charged: counted and limited like
// allocations, purging first, without touching the heap.
TEST_F(BudgetTest, ChargesCountAgainstTheLimitsLikeAllocations) {
  AppContext context(test::TinyLimits(4000, 6000));
  context.Budget().SetHeap(FakeHeap::Interface());
  CacheSet<uint32_t> cache(context);
  for (uint32_t key = 0; key < 3; ++key) cache.Insert(key, New<Payload>(context, context, 1000), 0, 1000);
  const uint32_t cached = context.Budget().BytesInUse();
  FakeHeap::calls = 0;
  Charge(context, 500);
  EXPECT_EQ(FakeHeap::calls, 0);
  EXPECT_EQ(context.Budget().BytesInUse(), cached + 500);
  EXPECT_EQ(context.Budget().PeakBytes(), cached + 500);
  Charge(context, 2000);  // over the soft limit: the cache gives way first
  EXPECT_LT(cache.EntryCount(), 3u);
  const uint32_t inUse = context.Budget().BytesInUse();
  EXPECT_LE(inUse, 4000u);
  EXPECT_FALSE(context.Budget().TryCharge(6001));  // past the hard limit, whatever is purged
  EXPECT_EQ(test::RaisedCode(context, [&] { Charge(context, 6001); }), kOutOfMemory);
  const uint32_t refused = context.Budget().BytesInUse();  // the refusal purged, took nothing
  EXPECT_LE(refused, inUse);
  Uncharge(context, 2500);
  EXPECT_EQ(context.Budget().BytesInUse(), refused - 2500);
}

// The hook sees every request before the limits do, charges included.
TEST_F(BudgetTest, RequestHookSeesEveryRequestFirst) {
  AppContext context(test::TinyLimits(100000, 100000));
  context.Budget().SetHeap(FakeHeap::Interface());
  struct Seen {
    uint32_t requests = 0;
    uint32_t bytes = 0;
  } seen;
  context.Budget().SetRequestHook(
      [](void* argument, MemoryBudget& budget, uint32_t bytes) {
        auto* s = static_cast<Seen*>(argument);
        ++s->requests;
        s->bytes += bytes;
        if (s->requests == 3) budget.SetLimits(test::TinyLimits(100000, budget.BytesInUse()));
      },
      &seen);
  void* block = Allocate(context, 40);
  Charge(context, 60);
  EXPECT_EQ(TryAllocate(context, 1), nullptr);  // the third: squeezed to what is in use
  EXPECT_EQ(seen.requests, 3u);
  EXPECT_EQ(seen.bytes, 101u);
  context.Budget().SetRequestHook(nullptr, nullptr);
  Uncharge(context, 60);
  Free(context, block);
}

}  // namespace
}  // namespace vn
