// The PostScript calculator behind type 4 functions: the compiled program,
// its parser and its interpreter.
//
// Values are integers, 16.16 reals or booleans. Integer results that leave
// the 32-bit range become saturated reals. Operations whose PostScript
// result is undefined get a defined one instead of failing the page:
// division, idiv and mod by 0 give 0; ln and log of 0 or less give the most
// negative real; sqrt of a negative number gives 0; atan of (0, 0) gives 0.
#pragma once

#include <cstdint>

#include "runtime/arena.h"
#include "runtime/fixed16_16.h"

namespace vn::pdf::content {

namespace type4_func_detail {

// Bounds of a program: operand stack depth (PostScript's own limit),
// compiled size, and the nesting of procedures.
inline constexpr uint32_t kMaxStackDepth = 100;
inline constexpr uint32_t kMaxInstructions = 65536;
inline constexpr uint32_t kMaxProcedureNesting = 64;
// Program text longer than this is a limit error.
inline constexpr uint32_t kMaxProgramBytes = 1u << 20;

enum Opcode : uint8_t {
  kOpPushInteger, kOpPushReal, kOpPushBoolean,
  kOpJumpIfFalse,  // operand: target instruction
  kOpJump,         // operand: target instruction
  kOpNop,
  kOpAbs, kOpAdd, kOpAnd, kOpAtan, kOpBitshift, kOpCeiling, kOpCopy, kOpCos, kOpCvi, kOpCvr, kOpDiv, kOpDup,
  kOpEq, kOpNe, kOpGt, kOpGe, kOpLt, kOpLe,  // comparisons, in the order of the Comp objects
  kOpExch, kOpExp, kOpFloor, kOpIdiv, kOpIndex, kOpLn, kOpLog, kOpMod, kOpMul, kOpNeg, kOpNot, kOpOr,
  kOpPop, kOpRoll, kOpRound, kOpSin, kOpSqrt, kOpSub, kOpTruncate, kOpXor,
};

struct Instruction {
  uint8_t op;
  int32_t operand;
};

enum ValueKind : uint8_t { kInteger, kReal, kBoolean };

struct StackValue {
  ValueKind kind;
  int32_t v;  // integer, 16.16, or 0/1
};

// A comparison operator over the calculator's value kinds.
class Comp {
 public:
  virtual ~Comp() = default;
  virtual bool Integers(int32_t a, int32_t b) const = 0;
  virtual bool Reals(Fixed16_16 a, Fixed16_16 b) const = 0;
  virtual bool Booleans(bool a, bool b) const = 0;
};
class CompEq final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a == b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a == b; }
  bool Booleans(bool a, bool b) const override { return a == b; }
};
class CompNe final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a != b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a != b; }
  bool Booleans(bool a, bool b) const override { return a != b; }
};
class CompGt final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a > b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a > b; }
  bool Booleans(bool a, bool b) const override { return a > b; }
};
class CompGe final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a >= b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a >= b; }
  bool Booleans(bool a, bool b) const override { return a >= b; }
};
class CompLt final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a < b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a < b; }
  bool Booleans(bool a, bool b) const override { return a < b; }
};
class CompLe final : public Comp {
 public:
  bool Integers(int32_t a, int32_t b) const override { return a <= b; }
  bool Reals(Fixed16_16 a, Fixed16_16 b) const override { return a <= b; }
  bool Booleans(bool a, bool b) const override { return a <= b; }
};

// A compiled program and the operand stack it runs on.
struct Program {
  Instruction* code = nullptr;
  uint32_t length = 0;
  StackValue* stack = nullptr;  // kMaxStackDepth values
};

// Runs `program` on the m inputs and pops the n outputs (the last popped
// is output 0). Returns false when the program failed at run time; the
// outputs are then 0.
bool RunProgram(const Program& program, const Fixed16_16* in, uint32_t m, Fixed16_16* out, uint32_t n);

}  // namespace type4_func_detail

// Compiles calculator text ("{ ... }") once into a program in `pool`.
// Raises kBadData for unknown operators, unbalanced braces, procedures not
// followed by `if`/`ifelse`; kLimitExceeded past the program bounds.
class Type4FunctionParser {
 public:
  Type4FunctionParser(AppContext& context, Arena& pool) : context_(context), pool_(pool) {}
  void Parse(const uint8_t* text, uint32_t length, type4_func_detail::Program& out);

 private:
  AppContext& context_;
  Arena& pool_;
};

}  // namespace vn::pdf::content
