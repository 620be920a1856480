#include "runtime/unwindable.h"

#include "runtime/app_context.h"

namespace vn {

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
  while (state.unwindHead != nullptr && state.unwindHead != savedHead) {
    UnregisterUnwindable(state.unwindHead);
  }
}

void UnwindDownTo(AppContext& context, Unwindable* savedHead) {
  ErrorState& state = context.Errors();
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
