// Engine errors: the error record, its codes, try frames and the raise that
// carries an error to the innermost try frame of the current engine thread.
//
// A raise is a long jump: C++ destructors between the raise and the frame do
// not run. Objects that own resources across a call that may raise are
// Unwindables (see unwindable.h), which the raise destroys on its way.
//
// The handler idiom:
//
//   vn::TryFrame frame;
//   if (VN_TRY(ctx, frame)) {
//     ...guarded region...
//   } else {
//     const vn::Error& error = vn::Catch(frame);
//     if (error.code == vn::kCancelled) vn::Rethrow(ctx);
//     ...handle...
//   }
//   vn::EndTry(frame);
//
// Locals changed inside the guarded region and read in the handler must be
// volatile (setjmp rules).
#pragma once

#include <cstdint>

#include "platform/jump.h"

namespace vn {

class AppContext;
struct Unwindable;

enum ErrorCode : int32_t {
  kOutOfMemory = 0,
  kOverflow = 1,  // also: a failed file-system call
  kBadData = 2,
  kCancelled = 3,
  kStackExhausted = 4,
  kUnsupported = 5,
  kLimitExceeded = 6,
};

// The one domain string of every error the engine raises.
extern const char kRuntimeDomain[];

struct Error {
  const char* domain;
  int32_t code;
  bool flag;
};

Error MakeError(int32_t code);

struct TryFrame;
using DestroyErrorFn = void (*)(TryFrame& frame);
using CopyErrorFn = void (*)(AppContext& context, TryFrame& destination, const Error& source,
                             TryFrame& sourceFrame);

struct TryFrame {
  AppContext* context;
  platform::JumpBuffer jumpBuffer;
  DestroyErrorFn destroyError;  // null: the frame holds no error
  CopyErrorFn copyError;
  uint32_t extraWord;
  Error error;
  bool caught;
  bool holdsEngineError;
  TryFrame* previous;
  Unwindable* savedHead;
};

// The error state of one engine thread.
struct ErrorState {
  Unwindable* unwindHead = nullptr;
  TryFrame* currentTry = nullptr;
};

// Enters a guarded region; must be followed directly by the set-jump, which
// VN_TRY does. Returns the frame's jump buffer.
platform::JumpBuffer& BeginTry(AppContext& context, TryFrame& frame);
void EndTry(TryFrame& frame);

#define VN_TRY(context, frame) (VN_SETJMP(::vn::BeginTry((context), (frame))) == 0)

[[noreturn]] void Raise(AppContext& context, const Error& error);
[[noreturn]] void RaiseCode(AppContext& context, int32_t code);
[[noreturn]] void RaiseBadData(AppContext& context);
[[noreturn]] void RaiseOverflow(AppContext& context);
[[noreturn]] void RaiseUnsupported(AppContext& context);
[[noreturn]] void RaiseOutOfMemory(AppContext& context);

// From inside a handler: hands the held error to the enclosing frame.
[[noreturn]] void Rethrow(AppContext& context);

// The handler's first step: marks the error taken and returns it.
const Error& Catch(TryFrame& frame);

// True when the frame holds an engine error of the runtime domain with `code`.
bool IsEngineError(const TryFrame& frame, int32_t code);

// Handler policies in common use. Each takes the error (as Catch does).
// Absorbs everything except cancellation, which is rethrown.
void AbsorbAllButCancel(AppContext& context, TryFrame& frame);
// Absorbs only `code`; every other error is rethrown.
void AbsorbOnly(AppContext& context, TryFrame& frame, int32_t code);

}  // namespace vn
