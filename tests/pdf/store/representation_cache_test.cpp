#include "pdf/store/representation_cache.h"

#include <gtest/gtest.h>

#include "runtime/app_context.h"

namespace vn::pdf::store {
namespace {

class Made : public RefCounted {
 public:
  explicit Made(int32_t from) : from(from) {}
  int32_t from;
};

class MadeCache : public RepresentationCache<Made> {
 public:
  using RepresentationCache<Made>::RepresentationCache;
  int created = 0;

 protected:
  RefCounted* Create(const RepresentationCacheKey& key, uint32_t* size) override {
    ++created;
    *size = 100;
    return New<Made>(context_, key.number);
  }
};

TEST(RepresentationCache, BuildsOnAMissAndRebuildsAfterAPurge) {
  AppContext context;
  MadeCache cache(context);
  Ref<Made> a(context);
  cache.Get(a, {7, 0, nullptr});
  EXPECT_EQ(a->from, 7);
  Ref<Made> again(context);
  cache.Get(again, {7, 0, nullptr});
  EXPECT_EQ(again.get(), a.get());
  EXPECT_EQ(cache.created, 1);
  context.Caches().LowMemory();  // held: stays
  cache.Get(again, {7, 0, nullptr});
  EXPECT_EQ(cache.created, 1);
  a.Reset();
  again.Reset();
  context.Caches().LowMemory();  // nobody holds it: gone, rebuilt on demand
  cache.Get(a, {7, 0, nullptr});
  EXPECT_EQ(cache.created, 2);
  cache.Get(again, {7, 1, nullptr});  // another generation is another object
  EXPECT_EQ(cache.created, 3);
}

}  // namespace
}  // namespace vn::pdf::store
