// The high-resolution counter and its frequency (monotonic).
#pragma once

#include <cstdint>

namespace vn::platform {

uint64_t QueryCounter();
uint64_t CounterFrequency();  // counts per second

}  // namespace vn::platform
