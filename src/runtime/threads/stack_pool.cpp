#include "runtime/threads/stack_pool.h"

#include <cstring>

#include "runtime/error.h"

#if defined(__SANITIZE_ADDRESS__)
#define VN_STACK_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VN_STACK_POOL_ASAN 1
#endif
#endif
#if defined(VN_STACK_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace vn {

namespace {

constexpr uint8_t kPaintByte = 0xA5;
constexpr uint8_t kGuard[kStackGuardBytes] = {0x57, 0x41, 0x4C, 0x4C, 0x5F, 0x53, 0x54, 0x4B,
                                              0x57, 0x41, 0x4C, 0x4C, 0x5F, 0x53, 0x54, 0x4B};

constinit StackPool sharedPool;

// A stack given back may still carry the poisoned red zones of frames that
// never returned (a thread ends by switching away from its entry routine).
void ForgetFrames(uint8_t* stack) {
#if defined(VN_STACK_POOL_ASAN)
  ASAN_UNPOISON_MEMORY_REGION(stack, kStackSlotBytes);
#else
  (void)stack;
#endif
}

}  // namespace

StackPool& StackPool::Shared() { return sharedPool; }

void StackPool::Build() {
  if (built_) return;
  for (Slot& slot : slots_) slot.header[0] = 1;
  built_ = true;
}

uint8_t* StackPool::Acquire(AppContext& context, uint32_t requestedBytes) {
  if (requestedBytes > kMaxStackRequest || !built_) RaiseCode(context, kLimitExceeded);
  for (Slot& slot : slots_) {
    if (slot.header[0] != 1) continue;
    slot.header[0] = 0;
    ForgetFrames(slot.stack);
    slot.header[1] = painting_ ? 1 : 0;
    if (painting_) std::memset(slot.stack, kPaintByte, kStackSlotBytes);
    std::memcpy(slot.stack, kGuard, kStackGuardBytes);
    return slot.stack;
  }
  RaiseCode(context, kOutOfMemory);
}

StackPool::Slot* StackPool::SlotOf(const uint8_t* stackBase) const {
  for (const Slot& slot : slots_) {
    if (slot.stack == stackBase) return const_cast<Slot*>(&slot);
  }
  return nullptr;
}

void StackPool::Release(uint8_t* stackBase) {
  Slot* slot = SlotOf(stackBase);
  if (slot == nullptr) return;
  ForgetFrames(slot->stack);
  slot->header[0] = 1;
}

uint32_t StackPool::FreeSlots() const {
  uint32_t count = 0;
  for (const Slot& slot : slots_) count += slot.header[0] == 1 ? 1 : 0;
  return count;
}

bool StackPool::GuardIntact(const uint8_t* stackBase) {
  return std::memcmp(stackBase, kGuard, kStackGuardBytes) == 0;
}

// Reads a stack that may belong to a suspended thread, red zones included.
#if defined(VN_STACK_POOL_ASAN)
__attribute__((no_sanitize_address))
#endif
uint32_t StackPool::BytesTouched(const uint8_t* stackBase) const {
  const Slot* slot = SlotOf(stackBase);
  if (slot == nullptr || slot->header[1] == 0) return 0;
  uint32_t offset = kStackGuardBytes;
  while (offset < kStackSlotBytes && stackBase[offset] == kPaintByte) ++offset;
  return kStackSlotBytes - offset;
}

}  // namespace vn
