#include "runtime/threads/thread_event.h"

#include "runtime/app_context.h"
#include "runtime/threads/scheduler.h"

namespace vn {

namespace {

ThreadScheduler& SchedulerOf(AppContext& context) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) RaiseCode(context, kLimitExceeded);
  return *scheduler;
}

}  // namespace

ThreadEvent::ThreadEvent(AppContext& context, bool manualReset, bool signalled)
    : context_(context), signalled_(signalled ? 1 : 0), manualReset_(manualReset ? 1 : 0) {
  RegisterUnwindable(context, this, &UnwindByReset<ThreadEvent>);
}

void ThreadEvent::Reset() {
  UnregisterUnwindable(this);
  if (!queue_.Empty() && context_.Scheduler() != nullptr) context_.Scheduler()->AbandonWaiters(queue_);
}

void ThreadEvent::Wait() {
  if (signalled_ != 0) {
    signalled_ = manualReset_;
    return;
  }
  SchedulerOf(context_).Block(queue_);
}

void ThreadEvent::Set() {
  if (manualReset_ != 0) {
    signalled_ = 1;
    if (ThreadScheduler* scheduler = context_.Scheduler()) {
      while (scheduler->WakeOne(queue_)) {
      }
    }
    return;
  }
  ThreadScheduler* scheduler = context_.Scheduler();
  if (scheduler == nullptr || !scheduler->WakeOne(queue_)) signalled_ = 1;
}

}  // namespace vn
