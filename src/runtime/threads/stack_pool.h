// The pool of engine-thread stacks: 16 fixed slots, each a small header and
// a 16384-byte stack. Starting a thread takes a slot; the slot comes back
// when the thread has ended and been reaped (or is destroyed).
//
// The pool is static storage, never the heap: its 262 KB are reserved once
// in the executable's zero-initialised data and are disjoint from every
// other stack, so no deep call on the operating-system thread can overwrite
// an engine stack. (Placing the pool a fixed distance below the current
// stack position would save nothing and would depend on the main thread
// never going deeper than that distance.)
//
// Sanitizer builds need much larger frames: FOLIO_STACK_SCALE multiplies the
// slot size and the stack-check reserve, while requests and the values that
// StackRemaining reports stay in unscaled bytes.
#pragma once

#include <cstdint>

#ifndef FOLIO_STACK_SCALE
#define FOLIO_STACK_SCALE 1
#endif

namespace vn {

class AppContext;

constexpr uint32_t kStackSlotCount = 16;
// The largest stack a thread may ask for, and what every slot gives.
constexpr uint32_t kMaxStackRequest = 16384;
constexpr uint32_t kStackScale = FOLIO_STACK_SCALE;
constexpr uint32_t kStackSlotBytes = kMaxStackRequest * kStackScale;
// StackCheck raises when fewer bytes than this remain (in unscaled bytes).
constexpr uint32_t kStackCheckReserve = 4096;
// The lowest bytes of every stack hold a guard word that must stay intact.
constexpr uint32_t kStackGuardBytes = 16;

class StackPool {
 public:
  // The process's one pool.
  static StackPool& Shared();

  // Marks every slot free the first time; later calls change nothing (the
  // slots may be in use).
  void Build();
  bool IsBuilt() const { return built_; }

  // Takes the first free slot and returns its stack base (lowest address;
  // kStackSlotBytes usable bytes from there). Raises kLimitExceeded when the
  // request is above kMaxStackRequest or the pool was never built, and
  // kOutOfMemory when every slot is in use.
  uint8_t* Acquire(AppContext& context, uint32_t requestedBytes);
  // Gives a slot back; null is ignored.
  void Release(uint8_t* stackBase);

  uint32_t FreeSlots() const;
  // True while the guard word at the base of the stack is intact.
  static bool GuardIntact(const uint8_t* stackBase);

  // With painting on, every acquired stack is filled with a pattern, so that
  // BytesTouched can tell the deepest use of a stack (for measurements).
  void SetPainting(bool on) { painting_ = on; }
  bool Painting() const { return painting_; }
  // Bytes from the top of the stack down to the deepest byte ever written
  // (in real, scaled bytes); 0 when painting was off at acquisition.
  uint32_t BytesTouched(const uint8_t* stackBase) const;

 private:
  struct alignas(64) Slot {
    uint8_t header[16];  // header[0]: 1 free, 0 in use; header[1]: painted
    uint8_t stack[kStackSlotBytes];
  };
  Slot* SlotOf(const uint8_t* stackBase) const;

  Slot slots_[kStackSlotCount] = {};
  bool built_ = false;
  bool painting_ = false;
};

}  // namespace vn
