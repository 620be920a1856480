#include "runtime/yield_points.h"

// Until engine threads exist every caller runs on the main thread, which is
// never yieldable and never stack-checked.

namespace vn {

void YieldPoint(AppContext&) {}
void AddWork(AppContext&, uint32_t) {}
void StackCheck(AppContext&) {}
uint32_t StackRemaining(AppContext&) { return 0xFFFFFFFFu; }
void RunOnMainStack(AppContext&, void (*function)(void*), void* argument) { function(argument); }

}  // namespace vn
