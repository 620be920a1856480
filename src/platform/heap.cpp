#include "platform/heap.h"

#include <malloc.h>

#include <cstdlib>

namespace vn::platform {

void* HeapAllocate(size_t bytes) { return std::malloc(bytes); }
void HeapFree(void* block) { std::free(block); }
size_t HeapBlockSize(const void* block) { return malloc_usable_size(const_cast<void*>(block)); }
void HeapCompact() { malloc_trim(0); }

}  // namespace vn::platform
