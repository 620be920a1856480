// A thread that runs one functor on a fresh stack, for recursive work that
// would not fit in what is left of the current one (the render consumer's
// nested graphics-state saves). The functor is called as `functor(context)`.
//
// Any error the functor raises is caught on the helper and kept (domain,
// code, flag); the waiting thread raises it again on its own stack. If the
// waiting thread is unwound while the helper runs, the helper is killed
// before the functor's data (on the waiter's stack) goes away.
#pragma once

#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/thread_event.h"
#include "runtime/threads/thread_impl.h"

namespace vn {

template <class Functor>
class EOTHelperThread final : public ThreadImpl {
 public:
  static constexpr uint32_t kArenaChunk = 4096;
  static constexpr uint32_t kArenaThreshold = 1024;
  static constexpr uint32_t kStackBytes = 16384;

  EOTHelperThread(AppContext& context, Functor& functor)
      : ThreadImpl(context, kArenaChunk, kArenaThreshold, kStackBytes), functor_(functor), done_(context, true, false) {}

  void Run() override {
    TryFrame frame;
    if (VN_TRY(Context(), frame)) {
      functor_(Context());
    } else {
      error_ = Catch(frame);
      failed_ = true;
    }
    EndTry(frame);
    done_.Set();
  }

  // On the waiting thread: blocks until the functor has run, then raises its
  // error, if it had one, here.
  void WaitAndRethrow() {
    done_.Wait();
    if (failed_) Raise(Context(), error_);
  }
  bool Finished() const { return done_.IsSignalled(); }

 protected:
  ~EOTHelperThread() override = default;

 private:
  Functor& functor_;
  ThreadEvent done_;  // manual reset: once set, stays set
  bool failed_ = false;
  Error error_ = Error{nullptr, 0, false};
};

namespace eot_detail {
inline void KillHelper(void* thread) {
  auto* helper = static_cast<ThreadImpl*>(thread);
  if (ThreadScheduler* scheduler = helper->Context().Scheduler()) scheduler->Kill(helper);
}
}  // namespace eot_detail

// Runs `functor(context)` on a fresh 16 KB stack and waits for it; on the
// main thread (whose stack is large) it is called directly.
template <class Functor>
void RunOnFreshStack(AppContext& context, Functor& functor) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr || scheduler->MainIsCurrent()) {
    functor(context);
    return;
  }
  Ref<EOTHelperThread<Functor>> helper(context, New<EOTHelperThread<Functor>>(context, context, functor));
  LocalGuard killOnUnwind(context, &eot_detail::KillHelper, static_cast<ThreadImpl*>(helper.get()));
  scheduler->Start(helper.get());
  helper->WaitAndRethrow();
}

}  // namespace vn
