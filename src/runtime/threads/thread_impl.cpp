#include "runtime/threads/thread_impl.h"

#include "runtime/app_context.h"
#include "runtime/threads/scheduler.h"
#include "runtime/threads/stack_pool.h"

namespace vn {

ThreadImpl::ThreadImpl(AppContext& context, uint32_t arenaChunk, uint32_t arenaThreshold, uint32_t stackBytes)
    : context_(context),
      requestedStack_(stackBytes),
      errors_(&ownErrors_),
      scratch_(context, arenaChunk, arenaThreshold) {
  fiber_.owner = this;
  RegisterUnwindable(context, this, &UnwindByReset<ThreadImpl>);
}

ThreadImpl::ThreadImpl(AppContext& context, uint32_t arenaChunk, uint32_t arenaThreshold, ErrorState* osErrors)
    : context_(context),
      requestedStack_(0),
      yieldable_(0),
      errors_(osErrors),
      scratch_(context, arenaChunk, arenaThreshold) {
  fiber_.owner = this;
  RegisterUnwindable(context, this, &UnwindByReset<ThreadImpl>);
}

ThreadImpl::~ThreadImpl() { Reset(); }

void ThreadImpl::Reset() {
  UnregisterUnwindable(this);
  ReleaseStack();
  scratch_.Clear();
}

void ThreadImpl::ReleaseStack() {
  if (fiber_.stackBase == nullptr) return;
  StackPool& pool = StackPool::Shared();
  uint32_t touched = pool.BytesTouched(fiber_.stackBase);
  if (touched > stackHighWater_) stackHighWater_ = touched;
  pool.Release(fiber_.stackBase);
  fiber_.stackBase = nullptr;
  fiber_.stackSize = 0;
  fiber_.sanitizerBottom = nullptr;
  fiber_.sanitizerSize = 0;
}

uint32_t ThreadImpl::StackHighWater() const {
  if (fiber_.stackBase == nullptr) return stackHighWater_;
  uint32_t touched = StackPool::Shared().BytesTouched(fiber_.stackBase);
  return touched > stackHighWater_ ? touched : stackHighWater_;
}

bool ThreadImpl::AddWorkUnits(uint32_t units) {
  uint64_t total = static_cast<uint64_t>(work_) + units;
  if (total <= kWorkBudget) {
    work_ = static_cast<uint32_t>(total);
    return false;
  }
  work_ = 0;
  return true;
}

Arena& ScratchArena(AppContext& context) {
  ThreadScheduler* scheduler = context.Scheduler();
  if (scheduler == nullptr) RaiseCode(context, kLimitExceeded);
  return scheduler->Current()->Scratch();
}

}  // namespace vn
