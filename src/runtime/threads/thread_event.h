// An event engine threads wait on: a signalled flag and a manual-reset flag.
// Waiting on a signalled event returns at once and leaves the flag at the
// manual-reset value (an auto-reset event is consumed); waiting on an
// unsignalled one blocks. Set wakes one waiter of an auto-reset event (or
// leaves it signalled when none waits) and every waiter of a manual-reset
// event. Waiters are woken in the order they came.
//
// An event that goes away with threads still waiting (destroyed or unwound)
// sends them back to the ring with a kill request, so none waits forever on
// freed memory.
#pragma once

#include "runtime/threads/thread_list.h"
#include "runtime/unwindable.h"

namespace vn {

class ThreadEvent : public Unwindable {
 public:
  explicit ThreadEvent(AppContext& context, bool manualReset = false, bool signalled = false);
  ~ThreadEvent() { Reset(); }
  ThreadEvent(const ThreadEvent&) = delete;
  ThreadEvent& operator=(const ThreadEvent&) = delete;

  // On an engine thread (the main thread never blocks: kLimitExceeded).
  void Wait();
  void Set();
  void Unsignal() { signalled_ = 0; }
  bool IsSignalled() const { return signalled_ != 0; }
  bool IsManualReset() const { return manualReset_ != 0; }
  uint32_t Waiters() const { return queue_.Count(); }

  void Reset();

 private:
  AppContext& context_;
  uint8_t signalled_;
  uint8_t manualReset_;
  ThreadList queue_;
};

}  // namespace vn
