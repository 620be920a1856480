#include "runtime/error.h"

#include <cstdlib>
#include <cstring>

#include "runtime/app_context.h"
#include "runtime/unwindable.h"

namespace vn {

const char kRuntimeDomain[] = "varnow_runtime";

namespace {

void DiscardNothing(TryFrame&) {}

void CopyThreeFields(AppContext&, TryFrame& destination, const Error& source, TryFrame&) {
  destination.error = source;
}

// No frame can take the error: the process ends, as it must not go on with
// an engine state that nobody repaired.
[[noreturn]] void NoHandler() { std::exit(-1); }

void Store(TryFrame& frame, const Error& error) {
  frame.destroyError = &DiscardNothing;
  frame.copyError = &CopyThreeFields;
  frame.error = error;
  frame.caught = false;
  frame.holdsEngineError = true;
  frame.extraWord = 0;
}

// Moves the error of the innermost frame to the nearest enclosing frame that
// holds none, and jumps there.
[[noreturn]] void Propagate(AppContext& context, bool discardInner) {
  ErrorState& state = context.Errors();
  TryFrame* inner = state.currentTry;
  if (inner == nullptr || inner->destroyError == nullptr) NoHandler();
  TryFrame* outer = inner->previous;
  while (outer != nullptr && outer->destroyError != nullptr) outer = outer->previous;
  if (outer == nullptr) NoHandler();

  outer->destroyError = inner->destroyError;
  outer->copyError = inner->copyError;
  inner->copyError(context, *outer, inner->error, *inner);
  outer->holdsEngineError = inner->holdsEngineError;
  outer->extraWord = inner->extraWord;
  outer->caught = false;

  if (discardInner) {
    inner->destroyError(*inner);
    inner->destroyError = nullptr;
  } else {
    inner->caught = true;
    UnwindDownTo(context, inner->savedHead);
    EndTry(*inner);
  }
  state.currentTry = outer;
  UnwindDownTo(context, outer->savedHead);
  platform::LongJump(outer->jumpBuffer, 1);
}

}  // namespace

Error MakeError(int32_t code) { return Error{kRuntimeDomain, code, false}; }

platform::JumpBuffer& BeginTry(AppContext& context, TryFrame& frame) {
  ErrorState& state = context.Errors();
  frame.context = &context;
  frame.destroyError = nullptr;
  frame.copyError = nullptr;
  frame.extraWord = 0;
  frame.error = Error{nullptr, 0, false};
  frame.caught = false;
  frame.holdsEngineError = false;
  frame.previous = state.currentTry;
  frame.savedHead = state.unwindHead;
  state.currentTry = &frame;
  return frame.jumpBuffer;
}

void EndTry(TryFrame& frame) {
  if (frame.destroyError != nullptr) {
    if (frame.caught) {
      frame.destroyError(frame);
      frame.destroyError = nullptr;
    } else {
      Propagate(*frame.context, true);
    }
  }
  frame.context->Errors().currentTry = frame.previous;
}

void Raise(AppContext& context, const Error& error) {
  ErrorState& state = context.Errors();
  TryFrame* frame = state.currentTry;
  if (frame == nullptr) NoHandler();
  if (frame->caught) {
    // Raised inside the frame's own handler: the error being handled is
    // dropped and the new one goes outward.
    if (frame->destroyError != nullptr) frame->destroyError(*frame);
    frame->destroyError = nullptr;
    frame->caught = false;
    Store(*frame, error);
    Propagate(context, false);
  }
  Store(*frame, error);
  UnwindDownTo(context, frame->savedHead);
  platform::LongJump(frame->jumpBuffer, 1);
}

void RaiseCode(AppContext& context, int32_t code) { Raise(context, MakeError(code)); }
void RaiseBadData(AppContext& context) { RaiseCode(context, kBadData); }
void RaiseOverflow(AppContext& context) { RaiseCode(context, kOverflow); }
void RaiseUnsupported(AppContext& context) { RaiseCode(context, kUnsupported); }
void RaiseOutOfMemory(AppContext& context) { RaiseCode(context, kOutOfMemory); }

void Rethrow(AppContext& context) { Propagate(context, false); }

const Error& Catch(TryFrame& frame) {
  if (frame.holdsEngineError) frame.caught = true;
  return frame.error;
}

bool IsEngineError(const TryFrame& frame, int32_t code) {
  return frame.holdsEngineError && frame.error.domain != nullptr &&
         std::strcmp(frame.error.domain, kRuntimeDomain) == 0 && frame.error.code == code;
}

void AbsorbAllButCancel(AppContext& context, TryFrame& frame) {
  Catch(frame);
  if (IsEngineError(frame, kCancelled)) Rethrow(context);
}

void AbsorbOnly(AppContext& context, TryFrame& frame, int32_t code) {
  Catch(frame);
  if (!IsEngineError(frame, code)) Rethrow(context);
}

}  // namespace vn
