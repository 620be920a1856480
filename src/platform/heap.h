// The process heap: the only place engine memory comes from. The engine's
// budget (runtime/memory_budget.h) sits on top and counts blocks by the
// heap's own size of each block.
#pragma once

#include <cstddef>

namespace vn::platform {

void* HeapAllocate(size_t bytes);
void HeapFree(void* block);
size_t HeapBlockSize(const void* block);
// Gives unused heap memory back to the system (after a full purge).
void HeapCompact();

}  // namespace vn::platform
