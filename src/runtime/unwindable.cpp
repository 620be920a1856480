#include "runtime/unwindable.h"

#include <cassert>

#include "runtime/app_context.h"

namespace vn {

namespace {

// The record a frame (or a construction) saved as the head must still be on
// the list when the list is taken back to it: had it been reset in between,
// the walk would run on past it into records that belong to the callers.
// Debug builds check it.
void AssertOnList([[maybe_unused]] const ErrorState& state, [[maybe_unused]] const Unwindable* savedHead) {
#ifndef NDEBUG
  const Unwindable* record = state.unwindHead;
  while (record != nullptr && record != savedHead) record = record->next;
  assert(record == savedHead && "a frame's saved head was unregistered before the list was taken back to it");
#endif
}

}  // namespace

void RegisterUnwindable(AppContext& context, Unwindable* record, Unwindable::UnwindFn fn) {
  if (record->prevLink == nullptr) {
    ErrorState& state = context.Errors();
    record->next = state.unwindHead;
    if (state.unwindHead != nullptr) state.unwindHead->prevLink = &record->next;
    record->prevLink = &state.unwindHead;
    state.unwindHead = record;
  }
  record->unwindFn = fn;
}

void UnregisterUnwindable(Unwindable* record) {
  if (record->prevLink == nullptr) return;
  *record->prevLink = record->next;
  if (record->next != nullptr) record->next->prevLink = record->prevLink;
  record->prevLink = nullptr;
  record->next = nullptr;
}

Unwindable* UnwindHead(AppContext& context) { return context.Errors().unwindHead; }

void DetachDownTo(AppContext& context, Unwindable* savedHead) {
  ErrorState& state = context.Errors();
  AssertOnList(state, savedHead);
  while (state.unwindHead != nullptr && state.unwindHead != savedHead) {
    UnregisterUnwindable(state.unwindHead);
  }
}

void UnwindDownTo(AppContext& context, Unwindable* savedHead) {
  ErrorState& state = context.Errors();
  AssertOnList(state, savedHead);
  while (state.unwindHead != nullptr && state.unwindHead != savedHead) {
    Unwindable* head = state.unwindHead;
    if (head->unwindFn != nullptr) head->unwindFn(head);
    // An unwind function must unregister its record; never spin on one that did not.
    if (state.unwindHead == head) UnregisterUnwindable(head);
  }
}

LocalGuard::LocalGuard(AppContext& context, RestoreFn restore, void* argument)
    : restore_(restore), argument_(argument) {
  RegisterUnwindable(context, this, &LocalGuard::Unwind);
}

void LocalGuard::Unwind(Unwindable* record) {
  auto* guard = static_cast<LocalGuard*>(record);
  UnregisterUnwindable(guard);
  guard->restore_(guard->argument_);
}

}  // namespace vn
