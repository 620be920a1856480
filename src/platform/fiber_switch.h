// The processor-specific part of engine threads: a switch that saves the
// running fiber's callee-saved registers and stack pointer and resumes
// another fiber, and the first frame of a fresh stack, so that the first
// switch to it enters a routine there.
//
// A saved fiber is nothing but its stack pointer: the registers live on its
// own stack, pushed by the switch. No system call is made (ucontext's
// signal-mask save costs one per switch).
//
// Supported: x86-64 (System V: rbx, rbp, r12-r15, rsp, return address) and
// 32-bit ARM (AAPCS soft float: r4-r11, sp, lr; no VFP registers). The
// floating-point control words are not switched: engine code never changes
// them.
#pragma once

#include <cstddef>

namespace vn::platform {

using FiberEntry = void (*)(void* argument);

extern "C" void vn_platform_fiber_switch(void** save, void* resume);

// Stores the running fiber's stack pointer in *save and resumes the fiber
// whose saved stack pointer is `resume`. Returns when a later switch resumes
// the saved fiber.
inline void SwitchFiber(void** save, void* resume) { vn_platform_fiber_switch(save, resume); }

// Lays out, at the top of the stack [base, base + size), a frame that the
// switch resumes into `entry(argument)`; returns the stack pointer to resume.
// `entry` must never return (it ends by switching away for good).
void* PrepareFiberStack(void* base, size_t size, FiberEntry entry, void* argument);

}  // namespace vn::platform
