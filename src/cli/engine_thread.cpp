#include "cli/engine_thread.h"

#include "runtime/engine_new.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"
#include "runtime/threads/thread_impl.h"

namespace folio::cli {

namespace {

class BodyThread final : public vn::ThreadImpl {
 public:
  BodyThread(vn::AppContext& context, const std::function<void()>& body)
      : ThreadImpl(context, 4096, 1024, vn::kMaxStackRequest), body_(body) {}
  void Run() override { body_(); }

 protected:
  ~BodyThread() override = default;

 private:
  const std::function<void()>& body_;
};

}  // namespace

int32_t RunOnEngineThread(vn::AppContext& context, const std::function<void()>& body) {
  vn::ThreadScheduler* scheduler = context.Scheduler();
  vn::Ref<vn::ThreadImpl> thread(context, vn::New<BodyThread>(context, context, body));
  scheduler->Start(thread.get());
  // The thread only waits for helpers of its own, which the scheduler runs;
  // a ring of the main thread alone means it ended.
  while (!thread->HasEnded() && scheduler->RingSize() > 1) scheduler->RunScheduler(1000);
  const int32_t code = !thread->HasEnded() ? vn::kLimitExceeded
                       : thread->EndedByError() ? thread->EndError().code
                                                : -1;
  thread.Reset();
  scheduler->ReapEnded();
  return code;
}

}  // namespace folio::cli
