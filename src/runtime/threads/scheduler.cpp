#include "runtime/threads/scheduler.h"

#include "platform/clock.h"
#include "platform/fiber_switch.h"
#include "runtime/app_context.h"
#include "runtime/threads/main_thread.h"
#include "runtime/threads/main_thread_task.h"
#include "runtime/threads/stack_pool.h"

#if defined(__SANITIZE_ADDRESS__)
#define VN_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VN_FIBER_ASAN 1
#endif
#endif
#if defined(VN_FIBER_ASAN)
#include <sanitizer/common_interface_defs.h>
#endif

namespace vn {

// A call waiting to run on the main stack; it lives on the calling thread's
// stack while that thread is suspended.
struct ThreadScheduler::MainStackCall {
  void (*function)(void* argument);
  void* argument;
  ThreadImpl* followUp;
  bool raised;
  Error error;
};

ThreadScheduler::ThreadScheduler(AppContext& context)
    : context_(context), tasks_(HeapAllocator<MainThreadTaskHelper>(context)) {
  StackPool::Shared().Build();
  // Without a try frame a failure here ends the process (status -1).
  ThreadImpl* main = New<MainThread>(context, context);
  main->AddRef();
  main->place_ = ThreadImpl::Place::kRing;
  main->started_ = 1;
  main->prev_ = main->next_ = main;
  main_ = current_ = main;
  ringSize_ = 1;
  context.Host().threadsRunnable = 0;
  context.SetScheduler(this);
  installed_ = true;
  RegisterUnwindable(context, this, &UnwindByReset<ThreadScheduler>);
}

ThreadScheduler::~ThreadScheduler() { Reset(); }

void ThreadScheduler::Reset() {
  UnregisterUnwindable(this);
  if (!installed_) return;
  // Shutting down from an engine thread would leave that thread's stack in use.
  if (current_ != main_) __builtin_trap();
  KillAll();
  ReapEnded();
  // Every poster has ended, and its task went with it; unlink any stray one.
  while (MainThreadTaskHelper* helper = tasks_.First()) helper->Unlink();
  context_.SetCurrentErrors(main_->errors_);
  if (context_.Scheduler() == this) context_.SetScheduler(nullptr);
  context_.Host().threadsRunnable = 0;
  installed_ = false;
  ThreadImpl* main = main_;
  main_ = current_ = nullptr;
  ringSize_ = 0;
  main->place_ = ThreadImpl::Place::kNowhere;
  main->prev_ = main->next_ = nullptr;
  main->Release(context_);
}

// ---- the ring and the live list

bool ThreadScheduler::RingInsertBefore(ThreadImpl* thread, ThreadImpl* position) {
  thread->prev_ = position->prev_;
  thread->next_ = position;
  position->prev_->next_ = thread;
  position->prev_ = thread;
  thread->place_ = ThreadImpl::Place::kRing;
  thread->list_ = nullptr;
  ++ringSize_;
  if (ringSize_ != 2) return false;
  context_.Host().threadsRunnable = 1;
  return true;
}

void ThreadScheduler::RingMoveBefore(ThreadImpl* thread, ThreadImpl* position) {
  if (thread->next_ == position) return;
  thread->prev_->next_ = thread->next_;
  thread->next_->prev_ = thread->prev_;
  thread->prev_ = position->prev_;
  thread->next_ = position;
  position->prev_->next_ = thread;
  position->prev_ = thread;
}

ThreadImpl* ThreadScheduler::RingRemove(ThreadImpl* thread) {
  ThreadImpl* next = thread->next_;
  thread->prev_->next_ = next;
  next->prev_ = thread->prev_;
  thread->prev_ = thread->next_ = nullptr;
  thread->place_ = ThreadImpl::Place::kNowhere;
  --ringSize_;
  if (ringSize_ == 1) context_.Host().threadsRunnable = 0;
  return next;
}

void ThreadScheduler::NotifyHost() { context_.Host().NotifyThreadsRunnable(); }

void ThreadScheduler::LiveInsert(ThreadImpl* thread) {
  thread->livePrev_ = nullptr;
  thread->liveNext_ = liveHead_;
  if (liveHead_ != nullptr) liveHead_->livePrev_ = thread;
  liveHead_ = thread;
  ++liveCount_;
}

void ThreadScheduler::LiveRemove(ThreadImpl* thread) {
  if (thread->livePrev_ != nullptr) thread->livePrev_->liveNext_ = thread->liveNext_;
  else liveHead_ = thread->liveNext_;
  if (thread->liveNext_ != nullptr) thread->liveNext_->livePrev_ = thread->livePrev_;
  thread->livePrev_ = thread->liveNext_ = nullptr;
  --liveCount_;
}

// ---- switching

void ThreadScheduler::RawSwitch(ThreadImpl* target, bool ending) {
  ThreadImpl* self = current_;
  // A stack that ran past its base has overwritten memory already: stop.
  if (self->fiber_.stackBase != nullptr && !StackPool::GuardIntact(self->fiber_.stackBase)) __builtin_trap();
  current_ = target;
  context_.SetCurrentErrors(target->errors_);
  switchingFrom_ = self;
  ++switches_;
#if defined(VN_FIBER_ASAN)
  void* fakeStack = nullptr;
  __sanitizer_start_switch_fiber(ending ? nullptr : &fakeStack, target->fiber_.sanitizerBottom,
                                 target->fiber_.sanitizerSize);
  platform::SwitchFiber(&self->fiber_.savedStackPointer, target->fiber_.savedStackPointer);
  FinishSwitch(fakeStack);
#else
  (void)ending;
  platform::SwitchFiber(&self->fiber_.savedStackPointer, target->fiber_.savedStackPointer);
#endif
}

void ThreadScheduler::FinishSwitch(void* fakeStack) {
#if defined(VN_FIBER_ASAN)
  const void* fromBottom = nullptr;
  size_t fromSize = 0;
  __sanitizer_finish_switch_fiber(fakeStack, &fromBottom, &fromSize);
  // The main thread's bounds are learned the first time it is left.
  ThreadImpl* from = switchingFrom_;
  if (from != nullptr && from->fiber_.stackBase == nullptr && from->fiber_.sanitizerBottom == nullptr) {
    from->fiber_.sanitizerBottom = fromBottom;
    from->fiber_.sanitizerSize = fromSize;
  }
#else
  (void)fakeStack;
#endif
}

void ThreadScheduler::AfterSwitchIn() {
  // The main thread may have been switched to for calls on its stack; each
  // ends by switching back to its caller, and the loop goes on when the
  // main thread is next resumed.
  while (deferred_ != nullptr && current_ == main_) {
    MainStackCall* call = deferred_;
    deferred_ = nullptr;
    RunMainStackCall(*call);
    RawSwitch(call->followUp, false);
  }
  ThreadImpl* self = current_;
  if (self->killRequested_ != 0) {
    self->killRequested_ = 0;
    RaiseCode(context_, kCancelled);
  }
}

void ThreadScheduler::SwitchTo(ThreadImpl* target) {
  RawSwitch(target, false);
  AfterSwitchIn();
}

// ---- thread life

void ThreadImpl::EntryRoutine(void* argument) {
  auto* self = static_cast<ThreadImpl*>(argument);
  AppContext& context = self->context_;
  ThreadScheduler& scheduler = *context.Scheduler();
  scheduler.FinishSwitch(nullptr);
  TryFrame frame;
  if (VN_TRY(context, frame)) {
    // Straight back to the starter; the body runs when the ring comes here
    // (and never, when the thread is killed first).
    scheduler.SwitchTo(self->starter_);
    self->Run();
  } else {
    self->endError_ = Catch(frame);
    self->endedByError_ = true;
  }
  EndTry(frame);
  scheduler.EndCurrentThread();
}

void ThreadScheduler::EndCurrentThread() {
  ThreadImpl* self = current_;
  self->scratch_.Clear();
  self->started_ = 0;
  self->ended_ = 1;
  self->killRequested_ = 0;
  ThreadImpl* next = RingRemove(self);
  endedList_.PushBack(self);
  self->place_ = ThreadImpl::Place::kEnded;
  RawSwitch(next, true);
  __builtin_trap();  // an ended thread is never resumed
}

void ThreadScheduler::Start(ThreadImpl* thread) {
  if (thread == nullptr || thread == main_ || thread->place_ != ThreadImpl::Place::kNowhere ||
      thread->ended_ != 0 || thread->started_ != 0) {
    RaiseCode(context_, kLimitExceeded);
  }
  ReapEnded();
  uint8_t* base = StackPool::Shared().Acquire(context_, thread->requestedStack_);
  thread->fiber_.stackBase = base;
  thread->fiber_.stackSize = kStackSlotBytes;
  thread->fiber_.sanitizerBottom = base;
  thread->fiber_.sanitizerSize = kStackSlotBytes;
  thread->fiber_.savedStackPointer =
      platform::PrepareFiberStack(base, kStackSlotBytes, &ThreadImpl::EntryRoutine, thread);
  thread->AddRef();
  LiveInsert(thread);
  thread->starter_ = current_;
  bool becameRunnable = RingInsertBefore(thread, current_);
  thread->started_ = 1;
  SwitchTo(thread);
  if (becameRunnable) NotifyHost();
}

void ThreadScheduler::Yield(ThreadImpl* target) {
  if (ringSize_ <= 1) return;
  if (target == current_) return;
  // Calls on the main stack and main-thread tasks run to their end.
  if (current_ == main_ && mainCallDepth_ != 0) return;
  ThreadImpl* to = target != nullptr && target->place_ == ThreadImpl::Place::kRing ? target : current_->next_;
  SwitchTo(to);
}

void ThreadScheduler::Block(ThreadList& queue) {
  ThreadImpl* self = current_;
  if (self == main_) RaiseCode(context_, kLimitExceeded);
  ThreadImpl* next = RingRemove(self);
  queue.PushBack(self);
  self->place_ = ThreadImpl::Place::kWaitQueue;
  SwitchTo(next);
}

bool ThreadScheduler::WakeOne(ThreadList& queue) {
  ThreadImpl* thread = queue.PopFront();
  if (thread == nullptr) return false;
  if (RingInsertBefore(thread, current_)) NotifyHost();
  return true;
}

void ThreadScheduler::AbandonWaiters(ThreadList& queue) {
  while (ThreadImpl* thread = queue.PopFront()) {
    if (queue.counterToRestore != nullptr) ++*queue.counterToRestore;
    thread->killRequested_ = 1;
    thread->started_ = 0;
    if (RingInsertBefore(thread, current_)) NotifyHost();
  }
}

void ThreadScheduler::Kill(ThreadImpl* thread) {
  if (thread == nullptr || thread == main_ || thread->ended_ != 0) return;
  if (thread->place_ != ThreadImpl::Place::kRing && thread->place_ != ThreadImpl::Place::kWaitQueue) return;
  if (thread == current_) RaiseCode(context_, kCancelled);
  thread->killRequested_ = 1;
  thread->started_ = 0;
  if (thread->place_ == ThreadImpl::Place::kWaitQueue) {
    ThreadList* queue = thread->list_;
    queue->Remove(thread);
    if (queue->counterToRestore != nullptr) ++*queue->counterToRestore;
    // It ends at once: the host is not told of a thread that never runs.
    RingInsertBefore(thread, current_);
  } else {
    RingMoveBefore(thread, current_);
  }
  SwitchTo(thread);
  ReapEnded();
}

void ThreadScheduler::KillAll() {
  for (;;) {
    ThreadImpl* victim = nullptr;
    for (ThreadImpl* t = liveHead_; t != nullptr; t = t->liveNext_) {
      if (t != current_ && t->ended_ == 0) {
        victim = t;
        break;
      }
    }
    if (victim == nullptr) break;
    Kill(victim);
  }
  ReapEnded();
}

void ThreadScheduler::ReapEnded() {
  while (ThreadImpl* thread = endedList_.PopFront()) {
    thread->place_ = ThreadImpl::Place::kNowhere;
    LiveRemove(thread);
    thread->ReleaseStack();
    thread->Release(context_);
  }
}

// ---- the main thread's services

void ThreadScheduler::RunMainStackCall(MainStackCall& call) {
  ++mainCallDepth_;
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    call.function(call.argument);
  } else {
    call.error = Catch(frame);
    call.raised = true;
  }
  EndTry(frame);
  --mainCallDepth_;
}

void ThreadScheduler::RunOnMainStack(void (*function)(void* argument), void* argument) {
  if (current_ == main_) {
    function(argument);
    return;
  }
  MainStackCall call{function, argument, current_, false, Error{nullptr, 0, false}};
  deferred_ = &call;
  SwitchTo(main_);
  if (call.raised) Raise(context_, call.error);
}

void ThreadScheduler::RunTask(MainThreadTaskHelper& helper) {
  helper.AddRef();
  ++mainCallDepth_;
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    helper.result = helper.Run(context_);
    helper.raised = false;
  } else {
    helper.error = Catch(frame);
    helper.raised = true;
  }
  EndTry(frame);
  --mainCallDepth_;
  helper.Done().Set();
  helper.Release(context_);
}

void ThreadScheduler::RunQueuedTasks() {
  while (MainThreadTaskHelper* helper = tasks_.First()) {
    helper->Unlink();
    RunTask(*helper);
  }
}

int32_t ThreadScheduler::PostMainThreadTask(MainThreadTaskHelper& helper) {
  if (current_ == main_) {
    RunTask(helper);
  } else {
    tasks_.Append(&helper);
    helper.Done().Wait();
  }
  if (helper.raised) Raise(context_, helper.error);
  return helper.result;
}

void ThreadScheduler::RunScheduler(uint32_t milliseconds) {
  if (current_ != main_ || inScheduler_ || mainCallDepth_ != 0) return;
  inScheduler_ = true;
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    uint64_t deadline =
        platform::QueryCounter() + static_cast<uint64_t>(milliseconds) * platform::CounterFrequency() / 1000u;
    RunQueuedTasks();
    ReapEnded();
    while (ringSize_ > 1) {
      Yield();
      RunQueuedTasks();
      ReapEnded();
      if (platform::QueryCounter() >= deadline) break;
    }
  } else {
    Catch(frame);  // swallowed: the shell keeps running
  }
  EndTry(frame);
  inScheduler_ = false;
}

}  // namespace vn
