#include "platform/jump.h"

namespace vn::platform {

void LongJump(JumpBuffer& buffer, int value) { _longjmp(buffer, value); }

}  // namespace vn::platform
