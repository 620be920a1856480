// A counting semaphore for engine threads. Wait takes a unit and blocks when
// the counter became negative; Signal gives one back and wakes the oldest
// waiter when one is blocked. A waiter taken out by a kill gives its unit
// back, so a later Signal is not lost on it.
#pragma once

#include <cstdint>

#include "runtime/threads/thread_list.h"
#include "runtime/unwindable.h"

namespace vn {

class ThreadSemaphore : public Unwindable {
 public:
  explicit ThreadSemaphore(AppContext& context, int32_t initialCount = 0);
  ~ThreadSemaphore() { Reset(); }
  ThreadSemaphore(const ThreadSemaphore&) = delete;
  ThreadSemaphore& operator=(const ThreadSemaphore&) = delete;

  // On an engine thread (the main thread never blocks: kLimitExceeded).
  void Wait();
  void Signal();
  int32_t Count() const { return count_; }
  uint32_t Waiters() const { return queue_.Count(); }

  void Reset();

 private:
  AppContext& context_;
  int32_t count_;
  ThreadList queue_;
};

}  // namespace vn
