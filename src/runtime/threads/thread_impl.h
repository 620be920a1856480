// Engine threads: cooperative fibers on the application's one operating-
// system thread. ThreadImpl is the base of every thread kind; a kind gives
// its arena parameters and stack request and implements Run, the body.
//
// Threads are reference counted engine objects (vn::New, held by vn::Ref).
// From Start until it has ended, the scheduler holds a reference of its own,
// so dropping the owner's reference never destroys a live thread; to stop
// one, Kill it. Each thread has its own error state (try-frame chain and
// unwind list), switched with the thread, and a scratch arena for temporary
// memory taken in scopes (ArenaScope over ScratchArena(context)).
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/ref_counted.h"
#include "runtime/threads/thread_list.h"
#include "runtime/unwindable.h"

namespace vn {

class ThreadImpl;
class ThreadScheduler;

// The fiber record of a thread: its stack block and its saved context (the
// stack pointer; the registers are saved on the stack itself).
struct StandardFiber {
  uint32_t stackSize = 0;        // usable bytes; 0 on the operating-system stack
  uint8_t* stackBase = nullptr;  // lowest address of the block; null for the main thread
  ThreadImpl* owner = nullptr;
  void* savedStackPointer = nullptr;
  // The stack's bounds as told to AddressSanitizer (learned for the main thread).
  const void* sanitizerBottom = nullptr;
  size_t sanitizerSize = 0;
};

// RefCounted must stay the first base: Release frees the object through it.
class ThreadImpl : public RefCounted, public Unwindable {
 public:
  enum class Place : uint8_t { kNowhere, kRing, kWaitQueue, kEnded };

  // `stackBytes` is checked (at most 16384) and a slot taken when the
  // thread is started.
  ThreadImpl(AppContext& context, uint32_t arenaChunk, uint32_t arenaThreshold, uint32_t stackBytes);

  // The body. An error that leaves it ends the thread (kept in EndError).
  virtual void Run() = 0;

  AppContext& Context() const { return context_; }
  Arena& Scratch() { return scratch_; }

  bool IsYieldable() const { return yieldable_ != 0; }
  bool HasStarted() const { return started_ != 0; }
  bool HasEnded() const { return ended_ != 0; }
  bool KillRequested() const { return killRequested_ != 0; }
  Place Where() const { return place_; }
  ThreadImpl* Starter() const { return starter_; }
  const StandardFiber& Fiber() const { return fiber_; }
  uint32_t RequestedStack() const { return requestedStack_; }

  // How the body ended: false when Run returned.
  bool EndedByError() const { return endedByError_; }
  const Error& EndError() const { return endError_; }

  // Deepest stack use in real bytes, when the pool paints stacks: measured
  // now while the thread holds its slot, else when it was reaped.
  uint32_t StackHighWater() const;
  // The fewest bytes StackCheck found left on this thread's stack since the
  // last reset (in unscaled bytes; for measuring how deep checks are met).
  uint32_t StackCheckLowWater() const { return stackCheckLowWater_; }
  void ResetStackCheckLowWater() { stackCheckLowWater_ = 0xFFFFFFFFu; }
  void NoteStackCheck(uint32_t left) {
    if (left < stackCheckLowWater_) stackCheckLowWater_ = left;
  }

  // Adds to the work counter; true (and the counter restarts) when it passed
  // the work budget.
  bool AddWorkUnits(uint32_t units);

  // Unwind and destruction: gives back the stack slot and the arena.
  void Reset();

 protected:
  ~ThreadImpl() override;
  // The main thread: runs on the operating-system stack with the error
  // state that was current when the scheduler was built.
  ThreadImpl(AppContext& context, uint32_t arenaChunk, uint32_t arenaThreshold, ErrorState* osErrors);

 private:
  friend class ThreadScheduler;
  friend class ThreadList;

  [[noreturn]] static void EntryRoutine(void* thread);
  void ReleaseStack();

  AppContext& context_;
  StandardFiber fiber_;
  uint32_t requestedStack_;
  uint8_t killRequested_ = 0;
  uint8_t started_ = 0;
  uint8_t ended_ = 0;
  uint8_t yieldable_ = 1;
  Place place_ = Place::kNowhere;
  bool endedByError_ = false;
  ErrorState ownErrors_;
  ErrorState* errors_;
  Arena scratch_;
  ThreadImpl* starter_ = nullptr;
  // Ring links, or the links of the list named by list_.
  ThreadImpl* prev_ = nullptr;
  ThreadImpl* next_ = nullptr;
  ThreadList* list_ = nullptr;
  // Every thread from Start until it is reaped.
  ThreadImpl* livePrev_ = nullptr;
  ThreadImpl* liveNext_ = nullptr;
  uint32_t work_ = 0;
  uint32_t stackHighWater_ = 0;
  uint32_t stackCheckLowWater_ = 0xFFFFFFFFu;
  Error endError_ = Error{nullptr, 0, false};
};

// The current thread's scratch arena. Raises kLimitExceeded when the context
// has no scheduler.
Arena& ScratchArena(AppContext& context);

// The yield point's work budget: past this many units a thread yields.
constexpr uint32_t kWorkBudget = 1000000;

}  // namespace vn
