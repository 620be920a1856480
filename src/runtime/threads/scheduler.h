// The thread scheduler: one per application context. It owns the main
// thread and the run ring, switches threads, runs main-thread tasks and
// calls on the main stack, and reaps ended threads.
//
// Run ring: a circular list of the runnable threads, the current one
// included; the main thread is always in it (it never blocks). Threads are
// served in ring order without priorities; a newly started or woken thread
// stands just before the thread that started or woke it.
//
// Every switch back into a thread passes one check: a thread whose kill flag
// is set clears it and raises kCancelled there. The main thread, when it is
// switched to for a call on its stack, runs the call and switches back.
#pragma once

#include <cstdint>

#include "runtime/linked_list.h"
#include "runtime/threads/thread_impl.h"
#include "runtime/unwindable.h"

namespace vn {

class MainThread;
class MainThreadTaskHelper;

class ThreadScheduler : public Unwindable {
 public:
  // Builds the stack pool (once per process) and the main thread, which
  // becomes current and the only member of the ring, and installs itself as
  // the context's scheduler. On the operating-system thread only.
  explicit ThreadScheduler(AppContext& context);
  ~ThreadScheduler();
  ThreadScheduler(const ThreadScheduler&) = delete;
  ThreadScheduler& operator=(const ThreadScheduler&) = delete;

  // Shutdown: kills every other thread, runs them until they have ended,
  // reaps them and uninstalls the scheduler. On the main thread.
  void Reset();

  ThreadImpl* Current() const { return current_; }
  ThreadImpl* Main() const { return main_; }
  bool MainIsCurrent() const { return current_ == main_; }
  uint32_t RingSize() const { return ringSize_; }
  // Threads started and not yet reaped (the main thread not counted).
  uint32_t LiveThreads() const { return liveCount_; }
  // Switches made so far (for tests and measurements).
  uint64_t Switches() const { return switches_; }

  // Makes a constructed thread runnable: takes a stack slot (kLimitExceeded
  // for a request above 16384, kOutOfMemory when all slots are in use), puts
  // the thread just before the current one and lets it enter its stack; it
  // comes straight back, and the thread's body runs when the ring reaches
  // it. Starting a thread twice raises kLimitExceeded.
  void Start(ThreadImpl* thread);

  // Switches to `target` when it is runnable, else to the current thread's
  // successor. Nothing happens with a ring of one.
  void Yield(ThreadImpl* target = nullptr);

  // Asks a thread to end: it is switched to at once, raises kCancelled and
  // unwinds its body; when control comes back it has ended (unless its body
  // swallowed the cancellation). Killing the current thread raises
  // kCancelled at once; killing the main thread, a thread never started or
  // an ended one does nothing.
  void Kill(ThreadImpl* thread);
  // Kills every thread but the current one and the main thread, blocked
  // ones included, and reaps them.
  void KillAll();

  // On the main thread: runs the queued main-thread tasks, then the other
  // threads until `milliseconds` have passed or no other thread is
  // runnable, running the tasks again each time control is back. Errors
  // that reach it are swallowed. Returns at once on another thread, and when
  // called from inside a main-thread task or a call on the main stack.
  void RunScheduler(uint32_t milliseconds);

  // On an engine thread: queues the task for the main thread and blocks
  // until it has run; returns the task's result, or raises here the error
  // the task raised. On the main thread the task runs directly.
  int32_t PostMainThreadTask(MainThreadTaskHelper& helper);

  // Runs `function(argument)` on the main thread's stack; see yield_points.h.
  void RunOnMainStack(void (*function)(void* argument), void* argument);

  // Blocking and waking, for the wait objects. Block raises kLimitExceeded
  // on the main thread, which must never block.
  void Block(ThreadList& queue);
  // Moves the first blocked thread of the queue into the ring; false when
  // the queue is empty.
  bool WakeOne(ThreadList& queue);
  // Every blocked thread of the queue goes back into the ring with its kill
  // flag set (the wait object is going away).
  void AbandonWaiters(ThreadList& queue);

  // Releases the scheduler's reference of every ended thread and gives its
  // stack slot back.
  void ReapEnded();

 private:
  friend class ThreadImpl;
  struct MainStackCall;

  void SwitchTo(ThreadImpl* target);
  void RawSwitch(ThreadImpl* target, bool ending);
  void AfterSwitchIn();
  [[noreturn]] void EndCurrentThread();
  // True when the ring grew from the main thread alone (the host is to be told).
  bool RingInsertBefore(ThreadImpl* thread, ThreadImpl* position);
  void RingMoveBefore(ThreadImpl* thread, ThreadImpl* position);
  void NotifyHost();
  ThreadImpl* RingRemove(ThreadImpl* thread);
  void LiveInsert(ThreadImpl* thread);
  void LiveRemove(ThreadImpl* thread);
  void RunQueuedTasks();
  void RunTask(MainThreadTaskHelper& helper);
  void RunMainStackCall(MainStackCall& call);
  void FinishSwitch(void* fakeStack);

  AppContext& context_;
  ThreadImpl* main_ = nullptr;  // a MainThread
  ThreadImpl* current_ = nullptr;
  uint32_t ringSize_ = 0;
  ThreadList endedList_;
  ThreadImpl* liveHead_ = nullptr;
  uint32_t liveCount_ = 0;
  MainStackCall* deferred_ = nullptr;
  DoublyLinkedList<HeapAllocator<MainThreadTaskHelper>, MainThreadTaskHelper> tasks_;
  uint32_t mainCallDepth_ = 0;  // main-thread tasks and calls on the main stack running
  bool inScheduler_ = false;
  bool installed_ = false;
  uint64_t switches_ = 0;
  ThreadImpl* switchingFrom_ = nullptr;
};

}  // namespace vn
