#include "platform/clock.h"

#include <ctime>

namespace vn::platform {

uint64_t QueryCounter() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t CounterFrequency() { return 1000000000u; }

}  // namespace vn::platform
