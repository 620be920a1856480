// The main thread: the operating-system thread as the scheduler sees it. It
// runs on the operating-system stack, is never yieldable and never blocks;
// its body is empty, as it runs the scheduler instead (RunScheduler from the
// shell's timer and input handlers).
#pragma once

#include "runtime/threads/thread_impl.h"

namespace vn {

class MainThread final : public ThreadImpl {
 public:
  static constexpr uint32_t kArenaChunk = 4096;
  static constexpr uint32_t kArenaThreshold = 1024;

  explicit MainThread(AppContext& context);
  void Run() override {}

 protected:
  ~MainThread() override = default;
};

}  // namespace vn
