#include "runtime/threads/thread_semaphore.h"

#include "runtime/app_context.h"
#include "runtime/threads/scheduler.h"

namespace vn {

ThreadSemaphore::ThreadSemaphore(AppContext& context, int32_t initialCount)
    : context_(context), count_(initialCount) {
  queue_.counterToRestore = &count_;
  RegisterUnwindable(context, this, &UnwindByReset<ThreadSemaphore>);
}

void ThreadSemaphore::Reset() {
  UnregisterUnwindable(this);
  if (!queue_.Empty() && context_.Scheduler() != nullptr) context_.Scheduler()->AbandonWaiters(queue_);
}

void ThreadSemaphore::Wait() {
  if (count_ > 0) {
    --count_;
    return;
  }
  ThreadScheduler* scheduler = context_.Scheduler();
  // Check before taking the unit: a refused wait leaves the counter as it was.
  if (scheduler == nullptr || scheduler->MainIsCurrent()) RaiseCode(context_, kLimitExceeded);
  --count_;
  scheduler->Block(queue_);
}

void ThreadSemaphore::Signal() {
  ++count_;
  if (count_ <= 0 && context_.Scheduler() != nullptr) context_.Scheduler()->WakeOne(queue_);
}

}  // namespace vn
