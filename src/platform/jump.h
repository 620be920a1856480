// Jump-buffer save and long jump: the platform's non-local exit.
#pragma once

#include <csetjmp>

namespace vn::platform {

using JumpBuffer = std::jmp_buf;

// The signal mask is never saved: the engine does not touch signals, and
// skipping the mask keeps a raise cheap.
#define VN_SETJMP(buffer) _setjmp(buffer)

[[noreturn]] void LongJump(JumpBuffer& buffer, int value);

}  // namespace vn::platform
