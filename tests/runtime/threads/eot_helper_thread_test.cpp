#include "runtime/threads/eot_helper_thread.h"

#include <gtest/gtest.h>

#include "runtime/threads/thread_test_support.h"
#include "runtime/yield_points.h"
#include "support/test_context.h"

namespace vn {
namespace {

using test::ThreadsTest;

struct MeasureStack {
  uint32_t remaining = 0;
  int calls = 0;
  void operator()(AppContext& context) {
    ++calls;
    remaining = StackRemaining(context);
  }
};

// Uses up most of the caller's stack before asking for a fresh one.
template <class Functor>
void DeepThenFresh(AppContext& context, Functor& functor, int levels, uint32_t* remainingAtCall) {
  volatile char pad[512];
  pad[0] = 1;
  if (levels > 0 && StackRemaining(context) > 6000) {
    DeepThenFresh(context, functor, levels - 1, remainingAtCall);
  } else {
    *remainingAtCall = StackRemaining(context);
    RunOnFreshStack(context, functor);
  }
  pad[1] = pad[0];
}

TEST_F(ThreadsTest, FunctorRunsOnAFreshStack) {
  MeasureStack measure;
  uint32_t remainingBefore = 0;
  Spawn([&] { DeepThenFresh(context, measure, 1000, &remainingBefore); });
  Drain();
  EXPECT_EQ(measure.calls, 1);
  EXPECT_GT(measure.remaining, 12000u);
  EXPECT_LE(remainingBefore, 6000u);
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(ThreadsTest, FunctorOnTheMainThreadIsCalledDirectly) {
  MeasureStack measure;
  uint64_t before = S().Switches();
  RunOnFreshStack(context, measure);
  EXPECT_EQ(measure.calls, 1);
  EXPECT_EQ(measure.remaining, 0xFFFFFFFFu);
  EXPECT_EQ(S().Switches(), before);
}

struct Failing {
  void operator()(AppContext& context) {
    YieldPoint(context);
    RaiseBadData(context);
  }
};

TEST_F(ThreadsTest, FunctorErrorIsRaisedAgainOnTheWaiter) {
  Failing failing;
  volatile int32_t caught = -1;
  Spawn([&] { caught = test::RaisedCode(context, [&] { RunOnFreshStack(context, failing); }); });
  Drain();
  EXPECT_EQ(caught, kBadData);
  EXPECT_EQ(S().LiveThreads(), 0u);
}

struct Endless {
  bool* unwound;
  void operator()(AppContext& context) {
    LocalGuard guard(context, [](void* flag) { *static_cast<bool*>(flag) = true; }, unwound);
    for (;;) YieldPoint(context);
  }
};

TEST_F(ThreadsTest, KillingTheWaiterKillsTheHelperFirst) {
  bool unwound = false;
  Endless endless{&unwound};
  ThreadImpl* waiter = Spawn([&] { RunOnFreshStack(context, endless); });
  S().RunScheduler(5);
  EXPECT_EQ(S().LiveThreads(), 2u);
  S().Kill(waiter);
  EXPECT_TRUE(unwound);
  EXPECT_EQ(waiter->EndError().code, kCancelled);
  Drain();
  EXPECT_EQ(S().LiveThreads(), 0u);
  DropThreads();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

}  // namespace
}  // namespace vn
