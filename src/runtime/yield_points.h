// The cooperative check points that engine code passes through. Each is a
// no-op on the main thread (which is not yieldable) and until engine threads
// run; on an engine thread it may switch to another thread, and a pending
// kill request surfaces there as kCancelled.
#pragma once

#include <cstdint>

namespace vn {

class AppContext;

// Gives up the processor if the scheduler asked the current thread to.
void YieldPoint(AppContext& context);

// Adds units to the current thread's work counter; past the work budget the
// thread yields and the counter restarts.
void AddWork(AppContext& context, uint32_t units);

// Raises kStackExhausted on an engine thread (not the main thread) with fewer
// than 4096 bytes of stack left.
void StackCheck(AppContext& context);
// Bytes left on the current engine thread's stack (0xFFFFFFFF on the main
// thread). Sanitizer builds have larger stacks; the value stays in the
// units of a normal build, so thresholds such as 8192 keep their meaning.
uint32_t StackRemaining(AppContext& context);

// Runs `function(argument)` on the main thread's stack (directly when the
// main thread is current). The file store's system calls go through here:
// each call wraps one system call and reports failure in its argument, and
// the caller raises on its own thread. An error the function raises anyway
// is caught on the main thread and raised again on the calling thread. The
// function must not yield, block or start threads.
void RunOnMainStack(AppContext& context, void (*function)(void* argument), void* argument);

}  // namespace vn
