#include "runtime/threads/thread_list.h"

#include "runtime/threads/thread_impl.h"

namespace vn {

void ThreadList::PushBack(ThreadImpl* thread) {
  thread->prev_ = tail_;
  thread->next_ = nullptr;
  if (tail_ != nullptr) tail_->next_ = thread;
  else head_ = thread;
  tail_ = thread;
  thread->list_ = this;
  ++count_;
}

ThreadImpl* ThreadList::PopFront() {
  ThreadImpl* thread = head_;
  if (thread != nullptr) Remove(thread);
  return thread;
}

void ThreadList::Remove(ThreadImpl* thread) {
  if (thread->list_ != this) return;
  if (thread->prev_ != nullptr) thread->prev_->next_ = thread->next_;
  else head_ = thread->next_;
  if (thread->next_ != nullptr) thread->next_->prev_ = thread->prev_;
  else tail_ = thread->prev_;
  thread->prev_ = thread->next_ = nullptr;
  thread->list_ = nullptr;
  --count_;
}

}  // namespace vn
