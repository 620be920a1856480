// The lists an engine thread can stand in besides the run ring: a wait
// object's queue of blocked threads and the scheduler's ended list. A thread
// is in at most one list (or the ring) at a time, through its own links.
#pragma once

#include <cstdint>

namespace vn {

class ThreadImpl;

class ThreadList {
 public:
  ThreadList() = default;
  ThreadList(const ThreadList&) = delete;
  ThreadList& operator=(const ThreadList&) = delete;

  bool Empty() const { return head_ == nullptr; }
  uint32_t Count() const { return count_; }
  ThreadImpl* First() const { return head_; }

  void PushBack(ThreadImpl* thread);
  // Null when empty.
  ThreadImpl* PopFront();
  void Remove(ThreadImpl* thread);

  // A semaphore's counter: a thread taken out of the queue by a kill gives
  // back the unit its wait had taken.
  int32_t* counterToRestore = nullptr;

 private:
  ThreadImpl* head_ = nullptr;
  ThreadImpl* tail_ = nullptr;
  uint32_t count_ = 0;
};

}  // namespace vn
