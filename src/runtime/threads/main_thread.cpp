#include "runtime/threads/main_thread.h"

#include "runtime/app_context.h"

namespace vn {

MainThread::MainThread(AppContext& context)
    : ThreadImpl(context, kArenaChunk, kArenaThreshold, &context.Errors()) {}

}  // namespace vn
