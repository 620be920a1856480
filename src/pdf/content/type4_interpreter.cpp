// Running a compiled calculator program on a bounded operand stack.
#include "pdf/content/type4_program.h"
#include "runtime/fixed_functions.h"

namespace vn::pdf::content::type4_func_detail {

namespace {

const CompEq kEq;
const CompNe kNe;
const CompGt kGt;
const CompGe kGe;
const CompLt kLt;
const CompLe kLe;
const Comp* const kComparisons[] = {&kEq, &kNe, &kGt, &kGe, &kLt, &kLe};

StackValue Integer(int64_t v) {
  if (v > INT32_MAX || v < -INT32_MAX) return StackValue{kReal, v > 0 ? kFixedMax : kFixedMin};
  return StackValue{kInteger, static_cast<int32_t>(v)};
}
StackValue Real(Fixed16_16 v) { return StackValue{kReal, v}; }
StackValue Boolean(bool v) { return StackValue{kBoolean, v ? 1 : 0}; }

Fixed16_16 AsReal(const StackValue& v) { return v.kind == kInteger ? IntToFixed(v.v) : v.v; }
bool IsNumber(const StackValue& v) { return v.kind != kBoolean; }

// Runs the program; false on a run-time fault.
class Machine {
 public:
  explicit Machine(StackValue* stack) : stack_(stack) {}

  bool Push(const StackValue& v) {
    if (top_ == kMaxStackDepth) return false;
    stack_[top_++] = v;
    return true;
  }
  uint32_t Depth() const { return top_; }
  StackValue& At(uint32_t fromTop) { return stack_[top_ - 1 - fromTop]; }
  void Drop(uint32_t n) { top_ -= n; }

  bool Step(uint8_t op);

 private:
  bool Arithmetic(uint8_t op);
  bool Unary(uint8_t op);
  bool StackOp(uint8_t op);

  StackValue* stack_;
  uint32_t top_ = 0;
};

bool Machine::Arithmetic(uint8_t op) {
  if (top_ < 2) return false;
  StackValue a = At(1), b = At(0);
  Drop(2);
  if (op >= kOpEq && op <= kOpLe) {
    const Comp& comp = *kComparisons[op - kOpEq];
    if (a.kind == kBoolean || b.kind == kBoolean) {
      if (a.kind != b.kind) return false;
      return Push(Boolean(comp.Booleans(a.v != 0, b.v != 0)));
    }
    if (a.kind == kInteger && b.kind == kInteger) return Push(Boolean(comp.Integers(a.v, b.v)));
    return Push(Boolean(comp.Reals(AsReal(a), AsReal(b))));
  }
  switch (op) {
    case kOpAnd:
    case kOpOr:
    case kOpXor: {
      if (a.kind == kBoolean && b.kind == kBoolean) {
        bool x = a.v != 0, y = b.v != 0;
        return Push(Boolean(op == kOpAnd ? (x && y) : op == kOpOr ? (x || y) : (x != y)));
      }
      if (a.kind != kInteger || b.kind != kInteger) return false;
      return Push(Integer(op == kOpAnd ? (a.v & b.v) : op == kOpOr ? (a.v | b.v) : (a.v ^ b.v)));
    }
    case kOpBitshift: {
      if (a.kind != kInteger || b.kind != kInteger) return false;
      uint32_t bits = static_cast<uint32_t>(a.v);
      int32_t shift = b.v;
      if (shift >= 32 || shift <= -32) return Push(Integer(0));
      return Push(StackValue{kInteger, static_cast<int32_t>(shift >= 0 ? bits << shift : bits >> -shift)});
    }
    case kOpIdiv:
    case kOpMod: {
      if (a.kind != kInteger || b.kind != kInteger) return false;
      if (b.v == 0) return Push(Integer(0));
      int64_t x = a.v, y = b.v;
      return Push(Integer(op == kOpIdiv ? x / y : x % y));
    }
    default:
      break;
  }
  if (!IsNumber(a) || !IsNumber(b)) return false;
  bool integers = a.kind == kInteger && b.kind == kInteger;
  switch (op) {
    case kOpAdd:
      return Push(integers ? Integer(int64_t{a.v} + b.v) : Real(FixedAddSat(AsReal(a), AsReal(b))));
    case kOpSub:
      return Push(integers ? Integer(int64_t{a.v} - b.v) : Real(FixedSubSat(AsReal(a), AsReal(b))));
    case kOpMul: {
      if (integers) return Push(Integer(int64_t{a.v} * b.v));
      // Rounded, not floored, so that products of negative numbers stay symmetric.
      int64_t p = static_cast<int64_t>(AsReal(a)) * AsReal(b);
      return Push(Real(FixedSaturate((p + 0x8000) >> 16)));
    }
    case kOpDiv: {
      Fixed16_16 y = AsReal(b);
      if (y == 0) return Push(Real(0));
      int64_t x = static_cast<int64_t>(AsReal(a)) * 65536;
      int64_t q = (x >= 0) == (y > 0) ? (x + (y > 0 ? y : -y) / 2) / y : (x - (y > 0 ? y : -y) / 2) / y;
      return Push(Real(FixedSaturate(q)));
    }
    case kOpExp:
      return Push(Real(FixedPowPrecise(AsReal(a), AsReal(b))));
    case kOpAtan:
      return Push(Real(FixedAtan2Degrees(AsReal(a), AsReal(b))));
    default:
      return false;
  }
}

bool Machine::Unary(uint8_t op) {
  if (top_ < 1) return false;
  StackValue& a = At(0);
  if (op == kOpNot) {
    if (a.kind == kBoolean) a.v = a.v ? 0 : 1;
    else if (a.kind == kInteger) a.v = ~a.v;
    else return false;
    return true;
  }
  if (!IsNumber(a)) return false;
  Fixed16_16 r = AsReal(a);
  switch (op) {
    case kOpAbs:
      a = a.kind == kInteger ? Integer(a.v < 0 ? -int64_t{a.v} : a.v) : Real(r < 0 ? -r : r);
      return true;
    case kOpNeg:
      a = a.kind == kInteger ? Integer(-int64_t{a.v}) : Real(-r);
      return true;
    case kOpCeiling:
      if (a.kind == kReal) a = Real(IntToFixed(FixedCeil(r)));
      return true;
    case kOpFloor:
      if (a.kind == kReal) a = Real(IntToFixed(FixedFloor(r)));
      return true;
    case kOpRound:
      if (a.kind == kReal) a = Real(IntToFixed(FixedRound(r)));
      return true;
    case kOpTruncate:
      if (a.kind == kReal) a = Real(IntToFixed(FixedTrunc(r)));
      return true;
    case kOpCvi:
      a = StackValue{kInteger, a.kind == kInteger ? a.v : FixedTrunc(r)};
      return true;
    case kOpCvr:
      a = Real(r);
      return true;
    case kOpSin:
      a = Real(FixedSinDegrees(r));
      return true;
    case kOpCos:
      a = Real(FixedCosDegrees(r));
      return true;
    case kOpLn:
      a = Real(FixedLn(r));
      return true;
    case kOpLog:
      a = Real(FixedLog10(r));
      return true;
    case kOpSqrt: {
      // Rounded rather than truncated.
      uint64_t s = r <= 0 ? 0 : IntegerSqrt(static_cast<uint64_t>(r) << 18);
      a = Real(static_cast<Fixed16_16>((s + 1) >> 1));
      return true;
    }
    default:
      return false;
  }
}

bool Machine::StackOp(uint8_t op) {
  switch (op) {
    case kOpDup:
      return top_ >= 1 && Push(At(0));
    case kOpPop:
      if (top_ < 1) return false;
      Drop(1);
      return true;
    case kOpExch: {
      if (top_ < 2) return false;
      StackValue t = At(0);
      At(0) = At(1);
      At(1) = t;
      return true;
    }
    case kOpCopy: {
      if (top_ < 1 || At(0).kind != kInteger) return false;
      int32_t n = At(0).v;
      Drop(1);
      if (n < 0 || static_cast<uint32_t>(n) > top_ || top_ + n > kMaxStackDepth) return false;
      for (int32_t i = 0; i < n; ++i) stack_[top_ + i] = stack_[top_ - n + i];
      top_ += n;
      return true;
    }
    case kOpIndex: {
      if (top_ < 1 || At(0).kind != kInteger) return false;
      int32_t n = At(0).v;
      Drop(1);
      if (n < 0 || static_cast<uint32_t>(n) >= top_) return false;
      return Push(At(n));
    }
    case kOpRoll: {
      if (top_ < 2 || At(0).kind != kInteger || At(1).kind != kInteger) return false;
      int32_t n = At(1).v, j = At(0).v;
      Drop(2);
      if (n < 0 || static_cast<uint32_t>(n) > top_) return false;
      if (n == 0) return true;
      int32_t shift = j % n;
      if (shift < 0) shift += n;
      // Rotate the top n values up by `shift` with three reversals.
      StackValue* base = stack_ + top_ - n;
      auto reverse = [](StackValue* from, StackValue* to) {
        while (from < --to) {
          StackValue t = *from;
          *from++ = *to;
          *to = t;
        }
      };
      reverse(base, base + n);
      reverse(base, base + shift);
      reverse(base + shift, base + n);
      return true;
    }
    default:
      return false;
  }
}

bool Machine::Step(uint8_t op) {
  switch (op) {
    case kOpAdd: case kOpSub: case kOpMul: case kOpDiv: case kOpIdiv: case kOpMod: case kOpExp: case kOpAtan:
    case kOpAnd: case kOpOr: case kOpXor: case kOpBitshift:
    case kOpEq: case kOpNe: case kOpGt: case kOpGe: case kOpLt: case kOpLe:
      return Arithmetic(op);
    case kOpDup: case kOpPop: case kOpExch: case kOpCopy: case kOpIndex: case kOpRoll:
      return StackOp(op);
    default:
      return Unary(op);
  }
}

}  // namespace

bool RunProgram(const Program& program, const Fixed16_16* in, uint32_t m, Fixed16_16* out, uint32_t n) {
  Machine machine(program.stack);
  bool ok = true;
  for (uint32_t i = 0; i < m && ok; ++i) ok = machine.Push(Real(in[i]));
  uint32_t pc = 0;
  while (ok && pc < program.length) {
    const Instruction& instruction = program.code[pc++];
    switch (instruction.op) {
      case kOpPushInteger:
        ok = machine.Push(StackValue{kInteger, instruction.operand});
        break;
      case kOpPushReal:
        ok = machine.Push(Real(instruction.operand));
        break;
      case kOpPushBoolean:
        ok = machine.Push(Boolean(instruction.operand != 0));
        break;
      case kOpNop:
        break;
      case kOpJump:
        pc = static_cast<uint32_t>(instruction.operand);
        break;
      case kOpJumpIfFalse: {
        if (machine.Depth() < 1 || machine.At(0).kind != kBoolean) {
          ok = false;
          break;
        }
        bool condition = machine.At(0).v != 0;
        machine.Drop(1);
        if (!condition) pc = static_cast<uint32_t>(instruction.operand);
        break;
      }
      default:
        ok = machine.Step(instruction.op);
        break;
    }
  }
  if (ok && machine.Depth() < n) ok = false;
  for (uint32_t i = n; i-- > 0;) {
    if (!ok) {
      out[i] = 0;
      continue;
    }
    StackValue v = machine.At(0);
    machine.Drop(1);
    out[i] = v.kind == kBoolean ? (v.v ? kFixedOne : 0) : AsReal(v);
  }
  return ok;
}

}  // namespace vn::pdf::content::type4_func_detail
