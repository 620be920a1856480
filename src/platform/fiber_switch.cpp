#include "platform/fiber_switch.h"

#include <cstdint>

// The switch pushes the callee-saved registers on the running stack, stores
// the stack pointer, loads the other fiber's and pops its registers; the
// return (or the pop into pc) resumes the other fiber where it switched.
//
// A fresh stack gets the frame the pop expects: the entry routine and its
// argument in two callee-saved registers, the frame pointer zero (so stack
// walks stop there) and the trampoline as the return address. The
// trampoline moves the argument into the first argument register and calls
// the entry routine; should the routine ever return, it traps.

#if defined(__x86_64__)

asm(R"(
  .pushsection .text.vn_platform_fiber_switch,"ax",@progbits
  .globl vn_platform_fiber_switch
  .type vn_platform_fiber_switch,@function
  .p2align 4
vn_platform_fiber_switch:
  pushq %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  movq %rsp, (%rdi)
  movq %rsi, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size vn_platform_fiber_switch,.-vn_platform_fiber_switch

  .globl vn_platform_fiber_trampoline
  .type vn_platform_fiber_trampoline,@function
  .p2align 4
vn_platform_fiber_trampoline:
  movq %r12, %rdi
  callq *%rbx
  ud2
  .size vn_platform_fiber_trampoline,.-vn_platform_fiber_trampoline
  .popsection
)");

namespace {
// Popped in this order: r15, r14, r13, r12 (argument), rbx (entry), rbp, return address.
constexpr size_t kFrameWords = 7;
constexpr size_t kArgumentSlot = 3;
constexpr size_t kEntrySlot = 4;
constexpr size_t kFramePointerSlot = 5;
constexpr size_t kReturnSlot = 6;
}  // namespace

#elif defined(__arm__)

#if defined(__ARM_PCS_VFP)
#error "the fiber switch saves no VFP registers: build for the soft-float ABI"
#endif

asm(R"(
  .pushsection .text.vn_platform_fiber_switch,"ax",%progbits
  .arm
  .globl vn_platform_fiber_switch
  .type vn_platform_fiber_switch,%function
  .p2align 2
vn_platform_fiber_switch:
  push {r4-r11, lr}
  str sp, [r0]
  mov sp, r1
  pop {r4-r11, pc}
  .size vn_platform_fiber_switch,.-vn_platform_fiber_switch

  .globl vn_platform_fiber_trampoline
  .type vn_platform_fiber_trampoline,%function
  .p2align 2
vn_platform_fiber_trampoline:
  mov r0, r4
  blx r5
  .word 0xe7f001f0
  .size vn_platform_fiber_trampoline,.-vn_platform_fiber_trampoline
  .popsection
)"
#if defined(__thumb__)
    "  .thumb\n"
#endif
);

namespace {
// Popped in this order: r4 (argument), r5 (entry), r6-r10, r11 (frame pointer), pc.
constexpr size_t kFrameWords = 9;
constexpr size_t kArgumentSlot = 0;
constexpr size_t kEntrySlot = 1;
constexpr size_t kFramePointerSlot = 7;
constexpr size_t kReturnSlot = 8;
}  // namespace

#else
#error "no fiber switch for this processor"
#endif

extern "C" void vn_platform_fiber_trampoline();

namespace vn::platform {

void* PrepareFiberStack(void* base, size_t size, FiberEntry entry, void* argument) {
  uintptr_t top = (reinterpret_cast<uintptr_t>(base) + size) & ~static_cast<uintptr_t>(15);
  // 16 spare bytes above the frame; after the pops the stack pointer is
  // 16-byte aligned at the trampoline's call, as both ABIs want.
  auto* frame = reinterpret_cast<uintptr_t*>(top - 16 - kFrameWords * sizeof(uintptr_t));
  for (size_t i = 0; i < kFrameWords; ++i) frame[i] = 0;
  frame[kArgumentSlot] = reinterpret_cast<uintptr_t>(argument);
  frame[kEntrySlot] = reinterpret_cast<uintptr_t>(entry);
  frame[kFramePointerSlot] = 0;
  frame[kReturnSlot] = reinterpret_cast<uintptr_t>(&vn_platform_fiber_trampoline);
  return frame;
}

}  // namespace vn::platform
