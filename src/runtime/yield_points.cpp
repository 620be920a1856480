#include "runtime/yield_points.h"

#include "runtime/app_context.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"

// Without a scheduler every caller runs on the operating-system thread:
// nothing yields and nothing is stack-checked.

namespace vn {

namespace {

// Bytes between the caller's frame and the guard at the stack's base; the
// largest value on the main thread.
uintptr_t BytesLeft(const ThreadImpl& thread) {
  const uint8_t* base = thread.Fiber().stackBase;
  if (base == nullptr) return ~static_cast<uintptr_t>(0);
  auto position = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  uintptr_t low = reinterpret_cast<uintptr_t>(base) + kStackGuardBytes;
  return position > low ? position - low : 0;
}

}  // namespace

void YieldPoint(AppContext& context) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr || !scheduler->Current()->IsYieldable()) return;
  scheduler->Yield();
}

void AddWork(AppContext& context, uint32_t units) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) return;
  ThreadImpl* thread = scheduler->Current();
  if (!thread->IsYieldable()) return;
  if (thread->AddWorkUnits(units)) scheduler->Yield();
}

void StackCheck(AppContext& context) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) return;
  ThreadImpl* thread = scheduler->Current();
  if (thread->Fiber().stackBase == nullptr) return;
  const uintptr_t left = BytesLeft(*thread);
  thread->NoteStackCheck(static_cast<uint32_t>(left / kStackScale));
  if (left < static_cast<uintptr_t>(kStackCheckReserve) * kStackScale) RaiseCode(context, kStackExhausted);
}

uint32_t StackRemaining(AppContext& context) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) return 0xFFFFFFFFu;
  const ThreadImpl* thread = scheduler->Current();
  if (thread->Fiber().stackBase == nullptr) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(BytesLeft(*thread) / kStackScale);
}

void RunOnMainStack(AppContext& context, void (*function)(void* argument), void* argument) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) {
    function(argument);
    return;
  }
  scheduler->RunOnMainStack(function, argument);
}

}  // namespace vn
