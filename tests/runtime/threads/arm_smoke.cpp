// A smoke test of engine threads on 32-bit ARM, run under user-mode
// emulation (the test binaries proper are x86-64 only). It checks the
// switch, kills, calls on the main stack and stack checks, and measures the
// stack use of the parser-shaped recursion of mini_parser.h, on synthetic
// nesting and on any qpdf-expanded PDF files named on the command line.
//
//   bash tools/build-arm.sh
//   arm-linux-gnueabi-g++ -std=c++20 -O2 -static -Isrc -Itests -fno-exceptions -fno-rtti \
//     tests/runtime/threads/arm_smoke.cpp build-arm/engine/src/libfolio_engine.a -o build-arm/arm_smoke
//   qemu-arm build-arm/arm_smoke [expanded.pdf ...]

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "runtime/threads/mini_parser.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_event.h"
#include "runtime/yield_points.h"

namespace {

int failures = 0;
void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

template <class Body>
class SmokeThread final : public vn::ThreadImpl {
 public:
  SmokeThread(vn::AppContext& context, Body body) : ThreadImpl(context, 1024, 256, 16384), body_(body) {}
  void Run() override { body_(); }

 private:
  Body body_;
};

template <class Body>
vn::ThreadImpl* Start(vn::AppContext& context, Body body) {
  auto* thread = vn::New<SmokeThread<Body>>(context, context, body);
  thread->AddRef();
  context.Scheduler()->Start(thread);
  return thread;
}

void Drain(vn::ThreadScheduler& scheduler) {
  for (int i = 0; i < 100000 && scheduler.RingSize() > 1; ++i) scheduler.RunScheduler(1000);
}

// Values that must survive switches in callee-saved registers.
[[gnu::noinline]] long Mix(vn::AppContext& context, long a, long b, long c, long d, long e, long f) {
  for (int i = 0; i < 50; ++i) {
    a += b;
    b ^= c + i;
    c += d >> 1;
    d -= e;
    e += f & 0xFF;
    f += a;
    vn::YieldPoint(context);
  }
  return a + b + c + d + e + f;
}
long MixDirect(long a, long b, long c, long d, long e, long f) {
  for (int i = 0; i < 50; ++i) {
    a += b;
    b ^= c + i;
    c += d >> 1;
    d -= e;
    e += f & 0xFF;
    f += a;
  }
  return a + b + c + d + e + f;
}

int Recurse(vn::AppContext& context, int depth) {
  volatile char frame[100];
  frame[0] = static_cast<char>(depth);
  vn::StackCheck(context);
  if (depth > 100000) return 0;
  return Recurse(context, depth + 1) + frame[0];
}

void Flag(void* argument) { *static_cast<int*>(argument) = 1; }

struct Parsed {
  vn::test::MiniStats stats;
  uint32_t stack = 0;
  int32_t error = -1;
};

Parsed ParseOnThread(vn::AppContext& context, const std::string& data) {
  Parsed parsed;
  vn::ThreadImpl* thread = Start(context, [&] {
    vn::test::MiniLexer lexer(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    vn::test::MiniParser parser(context, lexer, vn::ScratchArena(context), parsed.stats);
    parser.ParseAll();
  });
  Drain(*context.Scheduler());
  parsed.stack = thread->StackHighWater();
  if (thread->EndedByError()) parsed.error = thread->EndError().code;
  thread->Release(context);
  return parsed;
}

std::string Nested(uint32_t depth) {
  return std::string(depth, '[') + "1" + std::string(depth, ']');
}

}  // namespace

int main(int argc, char** argv) {
  vn::AppContext context;
  vn::ThreadScheduler scheduler(context);
  uint32_t startBytes = context.Budget().BytesInUse();

  long mixed[3] = {};
  std::vector<vn::ThreadImpl*> threads;
  for (int i = 0; i < 3; ++i) {
    threads.push_back(Start(context, [&, i] { mixed[i] = Mix(context, 1 + i, 2, 3, 4, 5, 6); }));
  }
  Drain(scheduler);
  bool registersKept = true;
  for (int i = 0; i < 3; ++i) registersKept &= mixed[i] == MixDirect(1 + i, 2, 3, 4, 5, 6);
  Check(registersKept, "callee-saved registers survive switches");

  vn::ThreadEvent never(context);
  vn::ThreadImpl* blocked = Start(context, [&] { never.Wait(); });
  scheduler.RunScheduler(10);
  scheduler.Kill(blocked);
  Check(blocked->HasEnded() && blocked->EndError().code == vn::kCancelled, "a blocked thread is killed");
  threads.push_back(blocked);

  int flag = 0;
  vn::ThreadImpl* caller = Start(context, [&] { vn::RunOnMainStack(context, &Flag, &flag); });
  Drain(scheduler);
  Check(flag == 1 && caller->HasEnded() && !caller->EndedByError(), "a call on the main stack");
  threads.push_back(caller);

  vn::ThreadImpl* deep = Start(context, [&] { Recurse(context, 0); });
  Drain(scheduler);
  Check(deep->EndError().code == vn::kStackExhausted, "deep recursion ends in kStackExhausted");
  threads.push_back(deep);

  for (vn::ThreadImpl* thread : threads) thread->Release(context);
  Check(vn::StackPool::Shared().FreeSlots() == vn::kStackSlotCount, "every stack slot is free");
  Check(context.Budget().BytesInUse() == startBytes, "engine memory is back");

  vn::StackPool::Shared().SetPainting(true);
  Parsed flat = ParseOnThread(context, "1 2 3");
  Parsed ten = ParseOnThread(context, Nested(10));
  Parsed twenty = ParseOnThread(context, Nested(20));
  Parsed tooDeep = ParseOnThread(context, Nested(5000));
  std::printf("stack: base %u bytes, %u bytes per nesting level, deepest nesting on a 16 KB stack %u (error %d)\n",
              flat.stack, (twenty.stack - ten.stack) / 10, tooDeep.stats.deepest, tooDeep.error);
  for (int i = 1; i < argc; ++i) {
    FILE* f = std::fopen(argv[i], "rb");
    if (f == nullptr) continue;
    std::string data;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, got);
    std::fclose(f);
    Parsed parsed = ParseOnThread(context, data);
    std::printf("stack: %s: %u objects, nesting %u, stack use %u bytes, error %d\n", argv[i], parsed.stats.objects,
                parsed.stats.deepest, parsed.stack, parsed.error);
  }
  std::printf("%s\n", failures == 0 ? "arm smoke: all passed" : "arm smoke: FAILED");
  return failures == 0 ? 0 : 1;
}
