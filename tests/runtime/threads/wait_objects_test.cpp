#include <gtest/gtest.h>

#include "runtime/engine_new.h"
#include "runtime/threads/thread_event.h"
#include "runtime/threads/thread_semaphore.h"
#include "runtime/yield_points.h"
#include "runtime/threads/thread_test_support.h"
#include "support/test_context.h"

namespace vn {
namespace {

using test::RaisedCode;
using test::ThreadsTest;

TEST_F(ThreadsTest, AutoResetEventWakesOneWaiterPerSet) {
  ThreadEvent event(context);
  for (char name : {'a', 'b', 'c'}) {
    Spawn([&, name] {
      event.Wait();
      log += name;
    });
  }
  S().RunScheduler(1000);
  EXPECT_EQ(event.Waiters(), 3u);
  event.Set();
  Drain();
  EXPECT_EQ(log, "a");  // first come, first woken
  EXPECT_FALSE(event.IsSignalled());
  event.Set();
  event.Set();
  Drain();
  EXPECT_EQ(log, "abc");
  event.Set();  // nobody waits: it stays signalled, and one wait consumes it
  EXPECT_TRUE(event.IsSignalled());
  Spawn([&] {
    event.Wait();
    log += 'd';
  });
  Drain();
  EXPECT_EQ(log, "abcd");
  EXPECT_FALSE(event.IsSignalled());
}

TEST_F(ThreadsTest, ManualResetEventReleasesEveryoneAndStaysSignalled) {
  ThreadEvent event(context, true);
  for (int i = 0; i < 4; ++i) {
    Spawn([&] {
      event.Wait();
      log += 'w';
    });
  }
  S().RunScheduler(1000);
  event.Set();
  Drain();
  EXPECT_EQ(log, "wwww");
  EXPECT_TRUE(event.IsSignalled());
  event.Wait();  // signalled: returns at once, even on the main thread
  EXPECT_TRUE(event.IsSignalled());
  event.Unsignal();
  EXPECT_EQ(RaisedCode(context, [&] { event.Wait(); }), kLimitExceeded);
}

TEST_F(ThreadsTest, EventSetByAnotherEngineThread) {
  ThreadEvent event(context);
  Spawn([&] {
    log += "wait;";
    event.Wait();
    log += "woken;";
  });
  Spawn([&] {
    log += "set;";
    event.Set();
  });
  Drain();
  EXPECT_EQ(log, "wait;set;woken;");
}

TEST_F(ThreadsTest, SemaphoreCountsUnits) {
  ThreadSemaphore semaphore(context, 2);
  for (int i = 0; i < 4; ++i) {
    Spawn([&] {
      semaphore.Wait();
      log += 't';
    });
  }
  S().RunScheduler(1000);
  EXPECT_EQ(log, "tt");
  EXPECT_EQ(semaphore.Count(), -2);
  EXPECT_EQ(semaphore.Waiters(), 2u);
  semaphore.Signal();
  Drain();
  EXPECT_EQ(log, "ttt");
  semaphore.Signal();
  semaphore.Signal();
  Drain();
  EXPECT_EQ(log, "tttt");
  EXPECT_EQ(semaphore.Count(), 1);
  semaphore.Wait();  // a unit is there: fine on the main thread
  EXPECT_EQ(RaisedCode(context, [&] { semaphore.Wait(); }), kLimitExceeded);
  EXPECT_EQ(semaphore.Count(), 0);
}

TEST_F(ThreadsTest, KilledSemaphoreWaiterGivesItsUnitBack) {
  ThreadSemaphore semaphore(context, 0);
  ThreadImpl* first = Spawn([&] {
    semaphore.Wait();
    log += '1';
  });
  Spawn([&] {
    semaphore.Wait();
    log += '2';
  });
  S().RunScheduler(1000);
  EXPECT_EQ(semaphore.Count(), -2);
  S().Kill(first);
  EXPECT_EQ(semaphore.Count(), -1);
  semaphore.Signal();  // goes to the second waiter, not lost on the killed one
  Drain();
  EXPECT_EQ(log, "2");
  EXPECT_EQ(semaphore.Count(), 0);
}

TEST_F(ThreadsTest, WaitObjectDestroyedWithWaitersCancelsThem) {
  auto* event = New<ThreadEvent>(context, context);
  ThreadImpl* waiter = Spawn([&] {
    event->Wait();
    log += "woken";
  });
  S().RunScheduler(1000);
  EXPECT_EQ(host.threadsRunnable, 0);
  Delete(context, event);
  EXPECT_EQ(host.threadsRunnable, 1);
  Drain();
  EXPECT_EQ(log, "");
  EXPECT_EQ(waiter->EndError().code, kCancelled);
}

TEST_F(ThreadsTest, WaitObjectUnwoundWithWaitersCancelsThem) {
  // The event is a local of one thread; a second thread waits on it; the
  // first thread is killed, and the event goes with its stack.
  ThreadEvent* shared = nullptr;
  ThreadImpl* owner = Spawn([&] {
    ThreadEvent event(context);
    shared = &event;
    for (;;) YieldPoint(context);
  });
  S().Yield();
  ThreadImpl* waiter = Spawn([&] { shared->Wait(); });
  S().RunScheduler(5);
  EXPECT_EQ(shared->Waiters(), 1u);
  S().Kill(owner);
  Drain();
  EXPECT_TRUE(waiter->HasEnded());
  EXPECT_EQ(waiter->EndError().code, kCancelled);
}

}  // namespace
}  // namespace vn
