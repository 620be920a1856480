// Unwind registrations: every object that owns resources across a call that
// may raise registers itself on its thread's unwind list, and a raise calls
// the unwind function of every record registered after the target frame.
//
// Rules followed by all engine code:
// - A constructor registers (a base-class constructor first, each derived
//   constructor again with its own function), so a half-built object unwinds
//   exactly the part that was built.
// - An unwind function releases what the object owns and unregisters it; it
//   never frees the object's own storage.
// - Heap objects are built with New (engine_new.h) and locals that contain
//   other Unwindables with Scoped: both fold every registration made during
//   construction into the owner's hands, so a fully built object is unwound
//   exactly once, as a whole, by whoever owns it.
#pragma once

#include "runtime/error.h"

namespace vn {

struct Unwindable {
  using UnwindFn = void (*)(Unwindable* record);

  UnwindFn unwindFn = nullptr;
  Unwindable* next = nullptr;       // next older record
  Unwindable** prevLink = nullptr;  // the link that points here; null: not registered

  Unwindable() = default;
  // A copy is a new object: it is not registered until its constructor says so.
  Unwindable(const Unwindable&) {}
  Unwindable& operator=(const Unwindable&) { return *this; }

  bool IsRegistered() const { return prevLink != nullptr; }
};

// Pushes the record on the current thread's list unless it is registered
// already; in every case its unwind function becomes `fn`.
void RegisterUnwindable(AppContext& context, Unwindable* record, Unwindable::UnwindFn fn);
void UnregisterUnwindable(Unwindable* record);

// The current thread's newest record.
Unwindable* UnwindHead(AppContext& context);

// Unregisters, without calling them, every record newer than `savedHead`.
void DetachDownTo(AppContext& context, Unwindable* savedHead);

// Calls the unwind function of every record newer than `savedHead`.
void UnwindDownTo(AppContext& context, Unwindable* savedHead);

// The usual unwind function: runs the object's Reset(), which must release
// what the object owns, unregister it and tolerate being called twice.
template <class T>
void UnwindByReset(Unwindable* record) {
  static_cast<T*>(record)->Reset();
}

// A local guard: runs `restore(argument)` if an error unwinds past it, and
// does nothing on the normal path (Dismiss or destruction).
class LocalGuard : public Unwindable {
 public:
  using RestoreFn = void (*)(void* argument);
  LocalGuard(AppContext& context, RestoreFn restore, void* argument);
  ~LocalGuard() { Dismiss(); }
  LocalGuard(const LocalGuard&) = delete;
  LocalGuard& operator=(const LocalGuard&) = delete;
  void Dismiss() { UnregisterUnwindable(this); }

 private:
  static void Unwind(Unwindable* record);
  RestoreFn restore_;
  void* argument_;
};

}  // namespace vn
