// Engine threads: the cost of a thread switch, of the pieces built on it, and
// of a yield-heavy workload against the same work without yields.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/fiber_switch.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "runtime/threads/main_thread_task.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"
#include "runtime/yield_points.h"

namespace vn {
namespace {

template <class Body>
class BenchThread final : public ThreadImpl {
 public:
  BenchThread(AppContext& context, Body body) : ThreadImpl(context, 1024, 256, kMaxStackRequest), body_(body) {}
  void Run() override { body_(); }

 protected:
  ~BenchThread() override = default;

 private:
  Body body_;
};

template <class Body>
void StartThread(AppContext& context, ThreadScheduler& scheduler, Body body) {
  Ref<ThreadImpl> thread(context, New<BenchThread<Body>>(context, context, body));
  scheduler.Start(thread.get());
}

// The bare register switch, without the scheduler.
alignas(16) unsigned char rawStack[16384];
void* rawMain = nullptr;
void* rawFiber = nullptr;
void RawBody(void*) {
  for (;;) platform::SwitchFiber(&rawFiber, rawMain);
}

void BM_RawFiberSwitch(benchmark::State& state) {
  rawFiber = platform::PrepareFiberStack(rawStack, sizeof rawStack, &RawBody, nullptr);
  for (auto _ : state) platform::SwitchFiber(&rawMain, rawFiber);
  state.SetItemsProcessed(state.iterations() * 2);  // there and back
}
BENCHMARK(BM_RawFiberSwitch);

// Main and one engine thread yielding to each other: two switches a round.
void BM_ThreadSwitch(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  StartThread(context, scheduler, [&] {
    for (;;) YieldPoint(context);
  });
  for (auto _ : state) scheduler.Yield();
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_ThreadSwitch);

// A ring of main and N engine threads: N + 1 switches a round.
void BM_ThreadSwitchRing(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  for (int64_t i = 0; i < state.range(0); ++i) {
    StartThread(context, scheduler, [&] {
      for (;;) YieldPoint(context);
    });
  }
  for (auto _ : state) scheduler.Yield();
  state.SetItemsProcessed(state.iterations() * (state.range(0) + 1));
}
BENCHMARK(BM_ThreadSwitchRing)->Arg(4)->Arg(15);

void Nothing(void*) {}

void BM_RunOnMainStack(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  uint64_t calls = 0;
  bool stop = false;
  StartThread(context, scheduler, [&] {
    while (!stop) {
      for (int i = 0; i < 1000; ++i) RunOnMainStack(context, &Nothing, nullptr);
      calls += 1000;
      YieldPoint(context);
    }
  });
  for (auto _ : state) scheduler.Yield();
  state.SetItemsProcessed(static_cast<int64_t>(calls));
  stop = true;
}
BENCHMARK(BM_RunOnMainStack);

void BM_StartAndEndThread(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  for (auto _ : state) {
    StartThread(context, scheduler, [] {});
    scheduler.RunScheduler(1000);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StartAndEndThread);

struct Answer {
  int32_t Run(AppContext&) { return 1; }
};

void BM_PostMainThreadTask(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  uint64_t posted = 0;
  StartThread(context, scheduler, [&] {
    Answer answer;
    for (;;) {
      PostMainThreadTask(context, answer);
      ++posted;
    }
  });
  for (auto _ : state) scheduler.RunScheduler(0);
  state.SetItemsProcessed(static_cast<int64_t>(posted));
}
BENCHMARK(BM_PostMainThreadTask);

// A yield-heavy workload: an Adler-32 over 1 MB with a yield point every
// `range(0)` bytes, on an engine thread (every yield is a round trip through
// the main thread and its deadline check in RunScheduler), against the same
// loop on the main thread, where the yield points do nothing.
std::vector<unsigned char>& Data() {
  static std::vector<unsigned char> data = [] {
    std::vector<unsigned char> bytes(1 << 20);
    uint32_t seed = 12345;
    for (auto& b : bytes) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<unsigned char>(seed >> 16);
    }
    return bytes;
  }();
  return data;
}

uint32_t Checksum(AppContext& context, const std::vector<unsigned char>& data, size_t every) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    a = (a + data[i]) % 65521u;
    b = (b + a) % 65521u;
    if ((i + 1) % every == 0) YieldPoint(context);
  }
  return (b << 16) | a;
}

void BM_YieldHeavyOnEngineThread(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  size_t every = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    uint32_t result = 0;
    StartThread(context, scheduler, [&] { result = Checksum(context, Data(), every); });
    while (scheduler.RingSize() > 1) scheduler.RunScheduler(200);
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Data().size()));
  state.counters["yields"] = static_cast<double>(Data().size() / every);
}
BENCHMARK(BM_YieldHeavyOnEngineThread)->Arg(32)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_SameWorkWithoutYields(benchmark::State& state) {
  AppContext context;
  ThreadScheduler scheduler(context);
  for (auto _ : state) benchmark::DoNotOptimize(Checksum(context, Data(), 256));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Data().size()));
}
BENCHMARK(BM_SameWorkWithoutYields)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vn
