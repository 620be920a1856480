#include "platform/fiber_switch.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vn::platform {
namespace {

// Two fibers without the scheduler: the test's own stack and one entered on
// a static stack. (No sanitizer annotations here, so the test keeps to the
// plain switch and runs only where AddressSanitizer is off.)
#if !defined(__SANITIZE_ADDRESS__)

alignas(16) unsigned char fiberStack[64 * 1024];
void* mainSp = nullptr;
void* fiberSp = nullptr;
uintptr_t seenArgument = 0;
uintptr_t seenLocal = 0;
int64_t total = 0;

// Keeps values live in callee-saved registers across the switches.
[[gnu::noinline]] int64_t Mix(int64_t a, int64_t b, int64_t c, int64_t d, int64_t e) {
  for (int i = 0; i < 100; ++i) {
    a += b * 3;
    b ^= c + i;
    c += d >> 1;
    d -= e;
    e += a & 0xFF;
    SwitchFiber(&fiberSp, mainSp);
  }
  return a + b + c + d + e;
}

void FiberBody(void* argument) {
  int local = 0;
  seenArgument = reinterpret_cast<uintptr_t>(argument);
  seenLocal = reinterpret_cast<uintptr_t>(&local);
  total = Mix(1, 2, 3, 4, 5);
  for (;;) SwitchFiber(&fiberSp, mainSp);
}

int64_t Reference() {
  int64_t a = 1, b = 2, c = 3, d = 4, e = 5;
  for (int i = 0; i < 100; ++i) {
    a += b * 3;
    b ^= c + i;
    c += d >> 1;
    d -= e;
    e += a & 0xFF;
  }
  return a + b + c + d + e;
}

TEST(FiberSwitch, EntersARoutineOnAGivenStackAndSwitchesBackAndForth) {
  fiberSp = PrepareFiberStack(fiberStack, sizeof fiberStack, &FiberBody, &seenArgument);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(fiberSp) % 8, 0u);
  volatile int64_t kept = 12345;  // the main side's state survives too
  for (int i = 0; i < 101; ++i) SwitchFiber(&mainSp, fiberSp);
  EXPECT_EQ(seenArgument, reinterpret_cast<uintptr_t>(&seenArgument));
  auto begin = reinterpret_cast<uintptr_t>(fiberStack);
  EXPECT_GE(seenLocal, begin);
  EXPECT_LT(seenLocal, begin + sizeof fiberStack);
  EXPECT_EQ(total, Reference());
  EXPECT_EQ(kept, 12345);
}

TEST(FiberSwitch, FirstFrameIsAlignedForCalls) {
  // After the switch pops its frame the stack pointer is 16-byte aligned at
  // the trampoline's call; the prepared pointer sits a whole frame below.
  for (size_t skew = 0; skew < 16; ++skew) {
    void* sp = PrepareFiberStack(fiberStack + skew, sizeof fiberStack - 32, &FiberBody, nullptr);
    auto value = reinterpret_cast<uintptr_t>(sp);
    EXPECT_LT(value, reinterpret_cast<uintptr_t>(fiberStack + skew + sizeof fiberStack - 32));
#if defined(__x86_64__)
    EXPECT_EQ((value + 7 * 8) % 16, 0u);
#else
    EXPECT_EQ((value + 9 * 4) % 8, 0u);
#endif
  }
}

#endif

}  // namespace
}  // namespace vn::platform
