// Running engine work the way the viewer does: on an engine thread (a fiber
// with the engine's small stack), while the main thread runs the scheduler.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/app_context.h"

namespace folio::cli {

// Runs `body` on an engine thread of the context's scheduler and waits for
// it. Returns the engine error code that ended the thread, or -1. The body
// must not leave C++ objects that own memory across a call that may raise
// (catch engine errors inside with EngineErrorOf).
int32_t RunOnEngineThread(vn::AppContext& context, const std::function<void()>& body);

}  // namespace folio::cli
