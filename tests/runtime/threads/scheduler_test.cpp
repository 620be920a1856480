#include "runtime/threads/scheduler.h"

#include <gtest/gtest.h>

#include "runtime/threads/main_thread.h"
#include "runtime/threads/thread_event.h"
#include "runtime/yield_points.h"
#include "support/test_context.h"
#include "runtime/threads/thread_test_support.h"

namespace vn {
namespace {

using test::RaisedCode;
using test::ThreadsTest;

// Appends to a log when an error unwinds past it.
class UnwindMarker : public Unwindable {
 public:
  UnwindMarker(AppContext& context, std::string& log, char mark) : log_(log), mark_(mark) {
    RegisterUnwindable(context, this, &UnwindByReset<UnwindMarker>);
  }
  ~UnwindMarker() { UnregisterUnwindable(this); }
  void Reset() {
    UnregisterUnwindable(this);
    log_ += mark_;
  }

 private:
  std::string& log_;
  char mark_;
};

TEST_F(ThreadsTest, MainThreadIsCurrentAndAloneAtStart) {
  EXPECT_TRUE(S().MainIsCurrent());
  EXPECT_EQ(S().RingSize(), 1u);
  EXPECT_FALSE(S().Current()->IsYieldable());
  EXPECT_EQ(context.Scheduler(), &S());
  EXPECT_EQ(host.threadsRunnable, 0);
}

TEST_F(ThreadsTest, YieldWithRingOfOneMakesNoSwitch) {
  uint64_t before = S().Switches();
  S().Yield();
  S().Yield(S().Main());
  YieldPoint(context);
  EXPECT_EQ(S().Switches(), before);

  // The same holds on an engine thread that is alone with a blocked main...
  // which never happens: the main thread never blocks.
  ThreadEvent event(context);
  EXPECT_EQ(RaisedCode(context, [&] { event.Wait(); }), kLimitExceeded);
}

TEST_F(ThreadsTest, StartReturnsPromptlyAndBodyRunsFromTheScheduler) {
  ThreadImpl* thread = Spawn([&] { log += "run;"; });
  EXPECT_EQ(log, "");
  EXPECT_TRUE(thread->HasStarted());
  EXPECT_EQ(thread->Starter(), S().Main());
  EXPECT_EQ(S().RingSize(), 2u);
  S().RunScheduler(1000);
  EXPECT_EQ(log, "run;");
  EXPECT_TRUE(thread->HasEnded());
  EXPECT_FALSE(thread->EndedByError());
  EXPECT_EQ(S().LiveThreads(), 0u);
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(ThreadsTest, RingIsRoundRobinAndNewThreadStandsBeforeItsStarter) {
  auto body = [this](char name) {
    return [this, name] {
      for (int i = 0; i < 3; ++i) {
        log += name;
        YieldPoint(context);
      }
    };
  };
  Spawn(body('a'));
  Spawn(body('b'));
  Spawn(body('c'));
  // Ring: a b c main. Each round goes a, b, c and back to main.
  S().Yield();
  EXPECT_EQ(log, "abc");
  S().Yield();
  EXPECT_EQ(log, "abcabc");
  Drain();
  EXPECT_EQ(log, "abcabcabc");
}

TEST_F(ThreadsTest, ThreadStartedByAnEngineThreadRunsBeforeItsStarterNextRound) {
  Spawn([&] {
    log += "p1;";
    Spawn([&] { log += "child;"; });
    log += "p2;";
    YieldPoint(context);  // to main (the child stands before its starter)
    log += "p3;";
  });
  S().Yield();
  EXPECT_EQ(log, "p1;p2;");
  S().Yield();
  EXPECT_EQ(log, "p1;p2;child;p3;");
}

TEST_F(ThreadsTest, YieldToAGivenThread) {
  ThreadImpl* a = Spawn([&] { log += 'a'; });
  ThreadImpl* b = Spawn([&] { log += 'b'; });
  (void)a;
  S().Yield(b);  // b runs first, then its successor (main)
  EXPECT_EQ(log, "b");
  Drain();
  EXPECT_EQ(log, "ba");
}

TEST_F(ThreadsTest, SeventeenthThreadFindsNoSlotAndOversizedRequestIsRefused) {
  ThreadEvent gate(context, true);
  for (uint32_t i = 0; i < kStackSlotCount; ++i) Spawn([&] { gate.Wait(); });
  EXPECT_EQ(StackPool::Shared().FreeSlots(), 0u);
  EXPECT_EQ(RaisedCode(context, [&] { Spawn([] {}); }), kOutOfMemory);
  EXPECT_EQ(S().LiveThreads(), kStackSlotCount);

  S().RunScheduler(1000);  // all sixteen block on the gate
  gate.Set();
  Drain();
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);

  EXPECT_EQ(RaisedCode(context, [&] { Spawn([] {}, kMaxStackRequest + 1); }), kLimitExceeded);
  EXPECT_EQ(RaisedCode(context, [&] { Spawn([] {}, kMaxStackRequest); }), -1);
  EXPECT_EQ(RaisedCode(context, [&] { Spawn([] {}, 4096); }), -1);
  Drain();
}

TEST_F(ThreadsTest, StartingTwiceOrStartingAnEndedThreadIsRefused) {
  ThreadImpl* thread = Spawn([] {});
  EXPECT_EQ(RaisedCode(context, [&] { S().Start(thread); }), kLimitExceeded);
  Drain();
  EXPECT_EQ(RaisedCode(context, [&] { S().Start(thread); }), kLimitExceeded);
  EXPECT_EQ(RaisedCode(context, [&] { S().Start(S().Main()); }), kLimitExceeded);
}

TEST_F(ThreadsTest, RunSchedulerOnAnEngineThreadReturnsAtOnce) {
  Spawn([&] {
    uint64_t before = S().Switches();
    S().RunScheduler(1000);
    log += S().Switches() == before ? "returned;" : "switched;";
  });
  Drain();
  EXPECT_EQ(log, "returned;");
}

TEST_F(ThreadsTest, RunSchedulerWithNoOtherThreadMakesNoSwitch) {
  uint64_t before = S().Switches();
  S().RunScheduler(50);
  EXPECT_EQ(S().Switches(), before);
}

TEST_F(ThreadsTest, RunSchedulerStopsAtItsDeadline) {
  volatile bool stop = false;
  Spawn([&] {
    while (!stop) YieldPoint(context);
  });
  S().RunScheduler(20);  // returns although the thread never ends
  EXPECT_EQ(S().RingSize(), 2u);
  stop = true;
  Drain();
  EXPECT_EQ(S().RingSize(), 1u);
}

TEST_F(ThreadsTest, ErrorsEndOnlyTheirOwnThread) {
  ThreadImpl* bad = Spawn([&] {
    UnwindMarker marker(context, log, 'x');
    YieldPoint(context);
    RaiseBadData(context);
  });
  ThreadImpl* good = Spawn([&] {
    UnwindMarker marker(context, log, 'y');
    YieldPoint(context);
    YieldPoint(context);
    log += "good;";
  });
  // A try frame of the main thread stays in place while threads run.
  int32_t code = RaisedCode(context, [&] {
    Drain();
    RaiseOverflow(context);
  });
  EXPECT_EQ(code, kOverflow);
  EXPECT_EQ(log, "xgood;");
  EXPECT_TRUE(bad->EndedByError());
  EXPECT_EQ(bad->EndError().code, kBadData);
  EXPECT_FALSE(good->EndedByError());
  EXPECT_EQ(context.Errors().currentTry, nullptr);
}

TEST_F(ThreadsTest, KillUnwindsTheBodyAtItsNextSwitchIn) {
  ThreadImpl* thread = Spawn([&] {
    UnwindMarker marker(context, log, 'u');
    for (;;) {
      log += '.';
      YieldPoint(context);
    }
  });
  S().Yield();
  S().Yield();
  EXPECT_EQ(log, "..");
  S().Kill(thread);
  EXPECT_EQ(log, "..u");
  EXPECT_TRUE(thread->HasEnded());
  EXPECT_TRUE(thread->EndedByError());
  EXPECT_EQ(thread->EndError().code, kCancelled);
  EXPECT_EQ(S().RingSize(), 1u);
  EXPECT_EQ(S().LiveThreads(), 0u);
  S().Kill(thread);  // an ended thread: nothing happens
}

TEST_F(ThreadsTest, ThreadKilledBeforeItEverRanNeverCallsRun) {
  ThreadImpl* thread = Spawn([&] { log += "ran"; });
  S().Kill(thread);
  EXPECT_EQ(log, "");
  EXPECT_TRUE(thread->HasEnded());
  EXPECT_EQ(thread->EndError().code, kCancelled);
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(ThreadsTest, ThreadKilledWhileBlockedStillEnds) {
  ThreadEvent event(context);
  ThreadImpl* thread = Spawn([&] {
    UnwindMarker marker(context, log, 'u');
    event.Wait();
    log += "woke";
  });
  S().RunScheduler(1000);
  EXPECT_EQ(thread->Where(), ThreadImpl::Place::kWaitQueue);
  EXPECT_EQ(event.Waiters(), 1u);
  EXPECT_EQ(host.threadsRunnable, 0);
  S().Kill(thread);
  EXPECT_EQ(log, "u");
  EXPECT_TRUE(thread->HasEnded());
  EXPECT_EQ(event.Waiters(), 0u);
  EXPECT_EQ(host.threadsRunnable, 0);
}

TEST_F(ThreadsTest, KillingTheCurrentThreadRaisesAtOnce) {
  Spawn([&] {
    int32_t code = RaisedCode(context, [&] { S().Kill(S().Current()); });
    log += code == kCancelled ? "cancelled" : "other";
  });
  Drain();
  EXPECT_EQ(log, "cancelled");
}

TEST_F(ThreadsTest, AThreadKillsAnother) {
  ThreadImpl* victim = Spawn([&] {
    for (;;) YieldPoint(context);
  });
  Spawn([&, victim] {
    S().Kill(victim);
    log += victim->HasEnded() ? "ended" : "alive";
  });
  Drain();
  EXPECT_EQ(log, "ended");
}

TEST_F(ThreadsTest, KillAllEndsRunnableAndBlockedThreads) {
  ThreadEvent never(context);
  for (int i = 0; i < 4; ++i) {
    Spawn([&] {
      UnwindMarker marker(context, log, 'r');
      for (;;) YieldPoint(context);
    });
    Spawn([&] {
      UnwindMarker marker(context, log, 'b');
      never.Wait();
    });
  }
  S().RunScheduler(5);
  S().KillAll();
  EXPECT_EQ(std::count(log.begin(), log.end(), 'r'), 4);
  EXPECT_EQ(std::count(log.begin(), log.end(), 'b'), 4);
  EXPECT_EQ(S().LiveThreads(), 0u);
  EXPECT_EQ(S().RingSize(), 1u);
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
}

TEST_F(ThreadsTest, SchedulerShutdownKillsWhatIsLeft) {
  ThreadEvent never(context);
  Spawn([&] { never.Wait(); });
  Spawn([&] {
    UnwindMarker marker(context, log, 'k');
    for (;;) YieldPoint(context);
  });
  S().RunScheduler(2);
  scheduler.reset();
  EXPECT_EQ(log, "k");
  EXPECT_EQ(context.Scheduler(), nullptr);
  EXPECT_EQ(StackPool::Shared().FreeSlots(), kStackSlotCount);
  scheduler.emplace(context);  // for TearDown
}

TEST_F(ThreadsTest, ThreadsRunnableByteFollowsTheRing) {
  EXPECT_EQ(host.threadsRunnable, 0);
  ThreadEvent event(context);
  Spawn([&] { event.Wait(); });
  EXPECT_EQ(host.threadsRunnable, 1);
  EXPECT_EQ(host.notifications, 1);
  EXPECT_EQ(host.byteAtNotification, 1);
  Spawn([&] { YieldPoint(context); });
  EXPECT_EQ(host.notifications, 1);  // the ring held more than one already
  S().RunScheduler(1000);  // one ends, one blocks
  EXPECT_EQ(S().RingSize(), 1u);
  EXPECT_EQ(host.threadsRunnable, 0);
  event.Set();  // the woken thread makes the ring grow again
  EXPECT_EQ(host.threadsRunnable, 1);
  EXPECT_EQ(host.notifications, 2);
  Drain();
  EXPECT_EQ(host.threadsRunnable, 0);
}

TEST_F(ThreadsTest, WorkBudgetYieldsPastAMillionUnits) {
  Spawn([&] {
    for (int i = 0; i < 10; ++i) AddWork(context, 250000);  // yields after the 5th and the 10th
    log += "done";
  });
  S().Yield();  // enter
  uint64_t before = S().Switches();
  (void)before;
  int rounds = 0;
  while (S().RingSize() > 1 && rounds < 100) {
    S().Yield();
    ++rounds;
  }
  // First Yield ran 4 calls + the 5th (yield), then rounds: the 10th yields, then the body ends.
  EXPECT_EQ(rounds, 2);
  EXPECT_EQ(log, "done");
  uint64_t mainBefore = S().Switches();
  AddWork(context, 5000000);  // the main thread never yields
  EXPECT_EQ(S().Switches(), mainBefore);
}

TEST_F(ThreadsTest, ScratchArenaIsPerThreadAndReleasedToMarks) {
  Arena* mainScratch = &ScratchArena(context);
  Arena* threadScratch = nullptr;
  uint32_t insideScope = 0;
  uint32_t afterScope = 0;
  Spawn([&] {
    Arena& scratch = ScratchArena(context);
    threadScratch = &scratch;
    {
      ArenaScope scope(context, scratch);
      scratch.Allocate(100);
      scratch.Allocate(800);  // past the 256-byte threshold: a block of its own
      YieldPoint(context);
      insideScope = scratch.BytesReserved();
    }
    afterScope = scratch.BytesReserved();
  });
  Drain();
  EXPECT_NE(threadScratch, mainScratch);
  EXPECT_GT(insideScope, 1024u);
  EXPECT_EQ(afterScope, 0u);
  DropThreads();
  EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
}

TEST_F(ThreadsTest, ScratchArenaNeedsAScheduler) {
  AppContext bare;
  EXPECT_EQ(RaisedCode(bare, [&] { ScratchArena(bare); }), kLimitExceeded);
}

// ---- calls on the main stack

struct StackProbe {
  uintptr_t address = 0;
  bool onMain = false;
  ThreadScheduler* scheduler = nullptr;
};

void ProbeStack(void* argument) {
  auto* probe = static_cast<StackProbe*>(argument);
  int local = 0;
  probe->address = reinterpret_cast<uintptr_t>(&local);
  probe->onMain = probe->scheduler->MainIsCurrent();
}

bool InsideAnEngineStack(uintptr_t address) {
  // Every engine stack is a slot of the pool; find whether the address is in one.
  const auto* pool = reinterpret_cast<const unsigned char*>(&StackPool::Shared());
  auto begin = reinterpret_cast<uintptr_t>(pool);
  return address >= begin && address < begin + sizeof(StackPool);
}

TEST_F(ThreadsTest, RunOnMainStackOnTheMainThreadCallsDirectly) {
  StackProbe probe;
  probe.scheduler = &S();
  uint64_t before = S().Switches();
  RunOnMainStack(context, &ProbeStack, &probe);
  EXPECT_EQ(S().Switches(), before);
  EXPECT_TRUE(probe.onMain);
}

TEST_F(ThreadsTest, RunOnMainStackFromAThreadRunsOnTheOperatingSystemStack) {
  StackProbe probe;
  probe.scheduler = &S();
  uintptr_t threadLocal = 0;
  Spawn([&] {
    int local = 0;
    threadLocal = reinterpret_cast<uintptr_t>(&local);
    RunOnMainStack(context, &ProbeStack, &probe);
    log += "back";
  });
  Drain();
  EXPECT_EQ(log, "back");
  EXPECT_TRUE(probe.onMain);
  EXPECT_FALSE(InsideAnEngineStack(probe.address));
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_TRUE(InsideAnEngineStack(threadLocal));  // (ASan may move locals to its fake stack)
#endif
}

void RaiseOnMain(void* argument) { RaiseCode(*static_cast<AppContext*>(argument), kOverflow); }

TEST_F(ThreadsTest, ErrorOfACallOnTheMainStackIsRaisedOnTheCallingThread) {
  ThreadImpl* thread = Spawn([&] {
    UnwindMarker marker(context, log, 'u');
    RunOnMainStack(context, &RaiseOnMain, &context);
    log += "not reached";
  });
  Drain();
  EXPECT_EQ(log, "u");
  EXPECT_EQ(thread->EndError().code, kOverflow);
  EXPECT_EQ(context.Errors().currentTry, nullptr);
  EXPECT_EQ(context.Errors().unwindHead, static_cast<Unwindable*>(&S()));
}

// ---- stack checks

int Recurse(AppContext& context, int depth, int* deepest) {
  volatile char frame[200];
  frame[0] = static_cast<char>(depth);
  StackCheck(context);
  *deepest = depth;
  if (depth > 1000000) return 0;
  return Recurse(context, depth + 1, deepest) + frame[0];
}

TEST_F(ThreadsTest, StackCheckStopsDeepRecursionOnEngineThreads) {
  int deepest = 0;
  uint32_t remainingAtStart = 0;
  ThreadImpl* thread = Spawn([&] {
    remainingAtStart = StackRemaining(context);
    Recurse(context, 0, &deepest);
  });
  Drain();
  EXPECT_EQ(thread->EndError().code, kStackExhausted);
  EXPECT_GT(deepest, 10);
  EXPECT_GT(remainingAtStart, 12000u);
  EXPECT_LE(remainingAtStart, kMaxStackRequest);
  // The main thread is never checked.
  EXPECT_EQ(StackRemaining(context), 0xFFFFFFFFu);
  EXPECT_EQ(RaisedCode(context, [&] { StackCheck(context); }), -1);
}

TEST_F(ThreadsTest, NoSchedulerMeansNoYieldsAndNoChecks) {
  AppContext bare;
  YieldPoint(bare);
  AddWork(bare, 2000000);
  StackCheck(bare);
  EXPECT_EQ(StackRemaining(bare), 0xFFFFFFFFu);
  StackProbe probe;
  probe.scheduler = &S();
  RunOnMainStack(bare, &ProbeStack, &probe);
  EXPECT_NE(probe.address, 0u);
}

TEST_F(ThreadsTest, EngineMemoryComesBackAfterThreads) {
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 8; ++i) {
      Spawn([&] {
        ScratchArena(context).Allocate(3000);
        YieldPoint(context);
      });
    }
    S().RunScheduler(1);
    S().KillAll();
    DropThreads();
    EXPECT_EQ(context.Budget().BytesInUse(), startBytes);
  }
}

}  // namespace
}  // namespace vn
