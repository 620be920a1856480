// Instructions on values: the stack, arithmetic and logic, the storage area
// and control values, the graphics state's settings and rounding.
#include "fonts/hinting/interpreter.h"

namespace vn::fonts::hinting {

namespace {

// Wrapping arithmetic, as the instruction set's 32-bit values behave.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

// MUL: products of small factors round half up, large ones by magnitude.
int32_t Multiply26Dot6(int32_t a, int32_t b) {
  if (a >= -46340 && a <= 46340 && b >= -46340 && b <= 46340) return (a * b + 32) >> 6;
  const uint64_t m = (Magnitude64(a) * Magnitude64(b) + 32) >> 6;
  const int64_t v = m > uint64_t{INT32_MAX} ? INT32_MAX : static_cast<int64_t>(m);
  return static_cast<int32_t>((a < 0) != (b < 0) ? -v : v);
}

// SROUND/S45ROUND grid periods in 2.14: one pixel, and one pixel / sqrt 2.
constexpr int32_t kSuperGrid = 0x4000;
constexpr int32_t kSuperGrid45 = 0x2D41;

}  // namespace

F26Dot6 Interpreter::Round(F26Dot6 d) const {
  // Each rounding works on the magnitude and keeps the sign; a value that
  // would cross zero stops at it.
  const bool negative = d < 0;
  const int64_t m = negative ? -int64_t{d} : int64_t{d};
  int64_t r = m;
  switch (gs_.roundState) {
    case RoundState::kHalfGrid: r = (m & -int64_t{kPixel}) + 32; break;
    case RoundState::kGrid: r = (m + 32) & -int64_t{kPixel}; break;
    case RoundState::kDoubleGrid: r = (m + 16) & -int64_t{32}; break;
    case RoundState::kDownToGrid: r = m & -int64_t{kPixel}; break;
    case RoundState::kUpToGrid: r = (m + 63) & -int64_t{kPixel}; break;
    case RoundState::kOff: return d;
    case RoundState::kSuper:
    case RoundState::kSuper45: {
      const int64_t period = gs_.period > 0 ? gs_.period : 1;
      const int64_t v = m - gs_.phase + gs_.threshold;
      int64_t grid;
      if (gs_.roundState == RoundState::kSuper) {
        grid = v & -period;
      } else {
        grid = v / period * period;
      }
      r = grid + gs_.phase;
      if (r < 0) r = gs_.phase;
      break;
    }
  }
  if (r < 0) r = 0;
  return Clamp32(negative ? -r : r);
}

void Interpreter::SetSuperRound(int32_t gridPeriod, int32_t selector) {
  int32_t period;
  switch (selector & 0xC0) {
    case 0x00: period = gridPeriod / 2; break;
    case 0x80: period = gridPeriod * 2; break;
    default: period = gridPeriod; break;  // 0x40, and the reserved 0xC0
  }
  int32_t phase = 0;
  switch (selector & 0x30) {
    case 0x10: phase = period / 4; break;
    case 0x20: phase = period / 2; break;
    case 0x30: phase = period * 3 / 4; break;
    default: break;
  }
  const int32_t threshold = (selector & 0x0F) == 0 ? period - 1 : ((selector & 0x0F) - 4) * period / 8;
  gs_.period = period >> 8;
  gs_.phase = phase >> 8;
  gs_.threshold = threshold >> 8;
}

bool Interpreter::CvtIndex(int32_t index) {
  if (index >= 0 && static_cast<uint32_t>(index) < cvt_.Size()) return true;
  Fail(kBadIndex);
  return false;
}

void Interpreter::StackInstruction(uint8_t opcode) {
  switch (opcode) {
    case 0x20:  // DUP
      if (Need(1)) Push(stack_[sp_ - 1]);
      return;
    case 0x21:  // POP
      if (Need(1)) Pop();
      return;
    case 0x22: sp_ = 0; return;  // CLEAR
    case 0x23:                   // SWAP
      if (Need(2)) {
        const int32_t top = stack_[sp_ - 1];
        stack_[sp_ - 1] = stack_[sp_ - 2];
        stack_[sp_ - 2] = top;
      }
      return;
    case 0x24: return Push(static_cast<int32_t>(sp_));  // DEPTH
    case 0x25:                                          // CINDEX
    case 0x26: {                                        // MINDEX
      if (!Need(1)) return;
      const int32_t k = Pop();
      if (k <= 0 || static_cast<uint32_t>(k) > sp_) return Fail(kStackUnderflow);
      const uint32_t at = sp_ - static_cast<uint32_t>(k);
      const int32_t value = stack_[at];
      if (opcode == 0x26) {
        for (uint32_t i = at; i + 1 < sp_; ++i) stack_[i] = stack_[i + 1];
        stack_[sp_ - 1] = value;
        return;
      }
      return Push(value);
    }
    case 0x8A: {  // ROLL: a b c -> b c a
      if (!Need(3)) return;
      int32_t* s = stack_.Data() + sp_ - 3;
      const int32_t bottom = s[0];
      s[0] = s[1];
      s[1] = s[2];
      s[2] = bottom;
      return;
    }
    default: return;
  }
}

void Interpreter::ArithmeticInstruction(uint8_t opcode) {
  const bool unary = opcode == 0x56 || opcode == 0x57 || opcode == 0x5C || (opcode >= 0x64 && opcode <= 0x6F);
  if (unary) {
    if (!Need(1)) return;
    int32_t& v = stack_[sp_ - 1];
    switch (opcode) {
      case 0x56: v = (Round(v) & 127) == 64; return;  // ODD
      case 0x57: v = (Round(v) & 127) == 0; return;   // EVEN
      case 0x5C: v = v == 0; return;                  // NOT
      case 0x64: v = Wrap(v < 0 ? -int64_t{v} : v); return;
      case 0x65: v = Wrap(-int64_t{v}); return;
      case 0x66: v = PixelFloor(v); return;
      case 0x67: v = PixelCeiling(v); return;
      default:
        // ROUND[ab] rounds; NROUND[ab] only compensates for the engine,
        // whose compensation is zero.
        if (opcode <= 0x6B) v = Round(v);
        return;
    }
  }
  if (!Need(2)) return;
  const int32_t b = Pop();
  int32_t& a = stack_[sp_ - 1];
  switch (opcode) {
    case 0x50: a = a < b; return;
    case 0x51: a = a <= b; return;
    case 0x52: a = a > b; return;
    case 0x53: a = a >= b; return;
    case 0x54: a = a == b; return;
    case 0x55: a = a != b; return;
    case 0x5A: a = a != 0 && b != 0; return;
    case 0x5B: a = a != 0 || b != 0; return;
    case 0x60: a = Wrap(int64_t{a} + b); return;
    case 0x61: a = Wrap(int64_t{a} - b); return;
    case 0x62:
      if (b == 0) return Fail(kDivideByZero);
      a = MulDivTruncated(a, 64, b);
      return;
    case 0x63: a = Multiply26Dot6(a, b); return;
    case 0x8B: a = a > b ? a : b; return;
    case 0x8C: a = a < b ? a : b; return;
    default: return;
  }
}

void Interpreter::StateInstruction(uint8_t opcode) {
  switch (opcode) {
    case 0x18: gs_.roundState = RoundState::kGrid; return;
    case 0x19: gs_.roundState = RoundState::kHalfGrid; return;
    case 0x3D: gs_.roundState = RoundState::kDoubleGrid; return;
    case 0x7A: gs_.roundState = RoundState::kOff; return;
    case 0x7C: gs_.roundState = RoundState::kUpToGrid; return;
    case 0x7D: gs_.roundState = RoundState::kDownToGrid; return;
    case 0x4B:  // MPPEM
    case 0x4C:  // MPS: the point size is not known here; the pixel size stands in
      return Push(size_.ppem);
    case 0x4D: gs_.autoFlip = true; return;
    case 0x4E: gs_.autoFlip = false; return;
    default: break;
  }
  if (!Need(1)) return;
  const int32_t v = Pop();
  switch (opcode) {
    case 0x10: gs_.rp0 = v; return;
    case 0x11: gs_.rp1 = v; return;
    case 0x12: gs_.rp2 = v; return;
    case 0x17:  // SLOOP
      if (v < 0) return Fail(kBadArgument);
      gs_.loop = v > 0xFFFF ? 0xFFFF : v;
      return;
    case 0x1A: gs_.minimumDistance = v; return;
    case 0x1D: gs_.controlValueCutIn = v; return;
    case 0x1E: gs_.singleWidthCutIn = v; return;
    case 0x1F: gs_.singleWidthValue = MulFix16(v, size_.scale); return;
    case 0x5E: gs_.deltaBase = v; return;
    case 0x5F:
      if (v < 0 || v > 6) return Fail(kBadArgument);
      gs_.deltaShift = v;
      return;
    case 0x76:
      SetSuperRound(kSuperGrid, v);
      gs_.roundState = RoundState::kSuper;
      return;
    case 0x77:
      SetSuperRound(kSuperGrid45, v);
      gs_.roundState = RoundState::kSuper45;
      return;
    case 0x85: gs_.scanControl = v; return;
    case 0x8D: gs_.scanType = v; return;
    case 0x8E: {  // INSTCTRL: selector v, then the value; only "prep" may set it
      if (!Need(1)) return;
      const int32_t value = Pop();
      if (program_ != kPrepProgram || v < 1 || v > 3) return;
      gs_.instructControl = (gs_.instructControl & ~v) | (value != 0 ? v : 0);
      return;
    }
    default: return;
  }
}

void Interpreter::StorageInstruction(uint8_t opcode) {
  if (opcode == 0x43 || opcode == 0x45) {  // RS, RCVT
    if (!Need(1)) return;
    int32_t& v = stack_[sp_ - 1];
    if (opcode == 0x45) {
      if (CvtIndex(v)) v = cvt_[static_cast<uint32_t>(v)];
      return;
    }
    if (v < 0 || static_cast<uint32_t>(v) >= storage_.Size()) return Fail(kBadIndex);
    v = storage_[static_cast<uint32_t>(v)];
    return;
  }
  if (!Need(2)) return;
  const int32_t value = Pop();
  const int32_t index = Pop();
  if (opcode == 0x42) {  // WS
    if (index < 0 || static_cast<uint32_t>(index) >= storage_.Size()) return Fail(kBadIndex);
    storage_[static_cast<uint32_t>(index)] = value;
    return;
  }
  if (!CvtIndex(index)) return;
  // WCVTP takes pixels, WCVTF font units.
  cvt_[static_cast<uint32_t>(index)] = opcode == 0x44 ? value : MulFix16(value, size_.scale);
}

void Interpreter::DeltaC(uint8_t opcode) {
  if (!Need(1)) return;
  const int32_t count = Pop();
  const int32_t base = gs_.deltaBase + (opcode - 0x73) * 16;
  for (int32_t k = 0; k < count; ++k) {
    if (!Need(2)) return;
    const int32_t index = Pop();
    const int32_t argument = Pop();
    if (!CvtIndex(index)) return;
    if (base + ((argument & 0xF0) >> 4) != size_.ppem) continue;
    int32_t steps = (argument & 0xF) - 8;
    if (steps >= 0) ++steps;
    cvt_[static_cast<uint32_t>(index)] =
        AddSat(cvt_[static_cast<uint32_t>(index)], steps * (1 << (6 - gs_.deltaShift)));
  }
}

void Interpreter::GetInfo() {
  if (!Need(1)) return;
  const int32_t selector = Pop();
  int32_t info = 0;
  if (selector & 1) info |= 37;  // the rasterizer version
  if ((selector & 2) && size_.rotated) info |= 0x100;
  if ((selector & 4) && size_.stretched) info |= 0x200;
  if ((selector & 32) && size_.grayscale) info |= 0x1000;
  Push(info);
}

}  // namespace vn::fonts::hinting
