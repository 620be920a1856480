#include "fonts/hinting/interpreter.h"

#include <cstring>

namespace vn::fonts::hinting {

namespace {

// Bytes of inline data after an opcode (and the count byte of NPUSHB/NPUSHW).
// False when they run past `end`.
bool InstructionLength(const uint8_t* code, uint32_t at, uint32_t end, uint32_t& length) {
  const uint8_t opcode = code[at];
  length = 1;
  if (opcode == 0x40 || opcode == 0x41) {
    if (at + 1 >= end) return false;
    length = 2 + code[at + 1] * (opcode == 0x40 ? 1u : 2u);
  } else if (opcode >= 0xB0 && opcode <= 0xB7) {
    length = 1 + (opcode - 0xAF);
  } else if (opcode >= 0xB8 && opcode <= 0xBF) {
    length = 1 + 2 * (opcode - 0xB7);
  }
  return at + length <= end;
}

// Two glyph-program patterns known to guard pixel shifts that only one
// old rasterizer wanted: an IF meeting either takes its condition as false.
constexpr uint8_t kGuardedGlyphStart[18] = {0x01, 0x20, 0xB0, 0x03, 0x25, 0x23, 0x4A, 0xB0, 0x40,
                                            0x60, 0xB0, 0x20, 0x63, 0x20, 0xB0, 0x00, 0x52, 0x58};
constexpr uint8_t kGuardedShifts[17] = {0xBD, 0x00, 0x0C, 0xFF, 0xFB, 0x00, 0x08, 0xFF, 0xD6,
                                        0x00, 0x02, 0xFF, 0xD6, 0x38, 0x38, 0x38, 0x59};

void CopyProgram(EngineArray<uint8_t>& to, const uint8_t* bytes, uint32_t length) {
  to.Resize(length);
  if (length != 0) std::memcpy(to.Data(), bytes, length);
}

}  // namespace

Interpreter::Interpreter(AppContext& context, const FontPrograms& programs)
    : context_(context), fpgm_(context), prep_(context), stack_(context), storage_(context),
      prepStorage_(context), cvtUnits_(context), cvt_(context), prepCvt_(context), functions_(context),
      instructions_(context), twilightPoints_(context), twilightFlags_(context) {
  CopyProgram(fpgm_, programs.fpgm, programs.fpgmLength);
  CopyProgram(prep_, programs.prep, programs.prepLength);
  // Fonts now and then declare a stack a few entries too small.
  stack_.Resize(programs.maxStack + 32);
  storage_.Resize(programs.maxStorage);
  prepStorage_.Resize(programs.maxStorage);
  const uint32_t cvtCount = programs.cvtLength / 2;
  cvtUnits_.Resize(cvtCount);
  for (uint32_t i = 0; i < cvtCount; ++i) {
    cvtUnits_[i] = static_cast<int16_t>((programs.cvt[2 * i] << 8) | programs.cvt[2 * i + 1]);
  }
  cvt_.Resize(cvtCount);
  prepCvt_.Resize(cvtCount);
  functions_.Resize(programs.maxFunctionDefs);
  instructions_.Resize(programs.maxInstructionDefs);
  for (Definition& d : functions_) d = Definition{};
  for (Definition& d : instructions_) d = Definition{};
  std::memset(instructionIndex_, 0, sizeof instructionIndex_);
  twilightCount_ = programs.maxTwilightPoints;
  twilightPoints_.Resize(4 * twilightCount_);
  twilightFlags_.Resize(twilightCount_);
}

uint32_t Interpreter::MemorySize() const {
  return sizeof(*this) + fpgm_.MemorySize() + prep_.MemorySize() + stack_.MemorySize() + storage_.MemorySize() +
         prepStorage_.MemorySize() + cvtUnits_.MemorySize() + cvt_.MemorySize() + prepCvt_.MemorySize() +
         functions_.MemorySize() + instructions_.MemorySize() + twilightPoints_.MemorySize() +
         twilightFlags_.MemorySize();
}

const uint8_t* Interpreter::ProgramCode(uint8_t program) const {
  return program == kFontProgram ? fpgm_.Data() : prep_.Data();
}

int32_t Interpreter::RunFontProgram() {
  for (Definition& d : functions_) d = Definition{};
  for (Definition& d : instructions_) d = Definition{};
  std::memset(instructionIndex_, 0, sizeof instructionIndex_);
  sizeReady_ = false;
  gs_ = GraphicsState{};
  glyph_ = Zone{};
  return Execute(kFontProgram, fpgm_.Data(), fpgm_.Size(), kFontProgramBudget);
}

int32_t Interpreter::SetSize(const HintingSize& size) {
  size_ = size;
  sizeReady_ = false;
  for (uint32_t i = 0; i < cvt_.Size(); ++i) cvt_[i] = MulFix16(cvtUnits_[i], size.scale);
  for (int32_t& s : storage_) s = 0;
  for (Point26& p : twilightPoints_) p = Point26{0, 0};
  for (uint8_t& f : twilightFlags_) f = 0;
  gs_ = GraphicsState{};
  glyph_ = Zone{};
  const int32_t error = Execute(kPrepProgram, prep_.Data(), prep_.Size(), kFontProgramBudget);
  // Glyph programs start from what "prep" left, except for the vectors,
  // reference points, zones and loop count, which start afresh.
  sizeState_ = gs_;
  sizeState_.projX = sizeState_.freeX = sizeState_.dualX = kUnitVector;
  sizeState_.projY = sizeState_.freeY = sizeState_.dualY = 0;
  sizeState_.rp0 = sizeState_.rp1 = sizeState_.rp2 = 0;
  sizeState_.zoneNumbers[0] = sizeState_.zoneNumbers[1] = sizeState_.zoneNumbers[2] = 1;
  sizeState_.loop = 1;
  if (error != kHintOk) return error;
  for (uint32_t i = 0; i < cvt_.Size(); ++i) prepCvt_[i] = cvt_[i];
  for (uint32_t i = 0; i < storage_.Size(); ++i) prepStorage_[i] = storage_[i];
  const uint32_t n = twilightCount_;
  if (n != 0)
    std::memcpy(static_cast<void*>(twilightPoints_.Data() + 2 * n), twilightPoints_.Data(), 2 * n * sizeof(Point26));
  glyphWroteGlobals_ = false;
  sizeReady_ = true;
  return kHintOk;
}

namespace {

template <class T>
void CopyValues(T* to, const T* from, uint32_t count) {
  if (count != 0) std::memcpy(static_cast<void*>(to), from, count * sizeof(T));
}

template <class T>
void CopyArray(EngineArray<T>& to, const T* from, uint32_t count) {
  to.Resize(count);
  CopyValues(to.Data(), from, count);
}

}  // namespace

void Interpreter::SaveSize(SizeSnapshot& snapshot) const {
  snapshot.size = size_;
  snapshot.state = sizeState_;
  snapshot.ready = sizeReady_;
  CopyArray(snapshot.cvt, prepCvt_.Data(), prepCvt_.Size());
  CopyArray(snapshot.storage, prepStorage_.Data(), prepStorage_.Size());
  CopyArray(snapshot.twilight, twilightPoints_.Data() + 2 * twilightCount_, 2 * twilightCount_);
}

void Interpreter::RestoreSize(const SizeSnapshot& snapshot) {
  size_ = snapshot.size;
  sizeState_ = snapshot.state;
  sizeReady_ = snapshot.ready && snapshot.cvt.Size() == prepCvt_.Size() &&
               snapshot.storage.Size() == prepStorage_.Size() && snapshot.twilight.Size() == 2 * twilightCount_;
  if (!sizeReady_) return;
  CopyValues(prepCvt_.Data(), snapshot.cvt.Data(), prepCvt_.Size());
  CopyValues(prepStorage_.Data(), snapshot.storage.Data(), prepStorage_.Size());
  CopyValues(twilightPoints_.Data() + 2 * twilightCount_, snapshot.twilight.Data(), 2 * twilightCount_);
  // The next glyph starts from the restored state.
  glyphWroteGlobals_ = true;
}

int32_t Interpreter::RunGlyphProgram(Zone& glyph, const uint8_t* code, uint32_t length, int32_t orusScale) {
  if (!sizeReady_) return kBadArgument;
  if (glyphWroteGlobals_) {
    for (uint32_t i = 0; i < cvt_.Size(); ++i) cvt_[i] = prepCvt_[i];
    for (uint32_t i = 0; i < storage_.Size(); ++i) storage_[i] = prepStorage_[i];
    const uint32_t n = twilightCount_;
    if (n != 0)
      std::memcpy(static_cast<void*>(twilightPoints_.Data()), twilightPoints_.Data() + 2 * n, 2 * n * sizeof(Point26));
    for (uint8_t& f : twilightFlags_) f = 0;
    glyphWroteGlobals_ = false;
  }
  gs_ = sizeState_;
  if (gs_.instructControl & 2) {
    const int32_t control = gs_.instructControl;
    gs_ = GraphicsState{};
    gs_.instructControl = control;
  }
  glyph_ = glyph;
  orusScale_ = orusScale;
  // Whatever the program does, the next glyph starts from "prep"'s state.
  glyphWroteGlobals_ = true;
  const int32_t error = Execute(kGlyphProgram, code, length, kGlyphProgramBudget);
  orusScale_ = 0x10000;
  return error;
}

int32_t Interpreter::Execute(Program program, const uint8_t* code, uint32_t length, int64_t budget) {
  program_ = program;
  code_ = code;
  codeOwner_ = program;
  ip_ = start_ = 0;
  end_ = length;
  sp_ = 0;
  callDepth_ = 0;
  budget_ = budget;
  error_ = kHintOk;
  const uint32_t n = twilightCount_;
  twilight_ = Zone{twilightPoints_.Data(), twilightPoints_.Data() + n, twilightPoints_.Data() + n,
                   twilightFlags_.Data(), n, nullptr, 0};
  for (int i = 0; i < 3; ++i) zp_[i] = gs_.zoneNumbers[i] == 0 ? &twilight_ : &glyph_;
  UpdateProjections();
  for (;;) {
    if (ip_ >= end_) {
      if (callDepth_ == 0) break;
      Return();
      continue;
    }
    if (--budget_ < 0) {
      Fail(kBudgetExhausted);
      break;
    }
    opcodeAt_ = ip_;
    const uint8_t opcode = code_[ip_++];
    Dispatch(opcode);
    if (error_ != kHintOk) break;
  }
  const int64_t ran = budget - (budget_ < 0 ? 0 : budget_);
  executed_ = static_cast<uint32_t>(executed_ + ran > 0xFFFFFFFF ? 0xFFFFFFFF : executed_ + ran);
  return error_;
}

bool Interpreter::Need(uint32_t count) {
  if (sp_ >= count) return true;
  Fail(kStackUnderflow);
  return false;
}

void Interpreter::Push(int32_t value) {
  if (sp_ >= stack_.Size()) {
    Fail(kStackOverflow);
    return;
  }
  stack_[sp_++] = value;
}

void Interpreter::ReadPushes(uint32_t count, bool words) {
  const uint32_t bytes = words ? 2 * count : count;
  if (ip_ + bytes > end_) {
    Fail(kCodeOverflow);
    return;
  }
  if (sp_ + count > stack_.Size()) {
    Fail(kStackOverflow);
    return;
  }
  const uint8_t* p = code_ + ip_;
  for (uint32_t i = 0; i < count; ++i) {
    stack_[sp_++] = words ? static_cast<int16_t>((p[2 * i] << 8) | p[2 * i + 1]) : p[i];
  }
  ip_ += bytes;
}

bool Interpreter::Jump(int32_t offset) {
  const int64_t target = int64_t{opcodeAt_} + offset;
  if (target < start_ || target > end_) {
    Fail(kCodeOverflow);
    return false;
  }
  ip_ = static_cast<uint32_t>(target);
  return true;
}

void Interpreter::SkipConditional(bool toElse) {
  uint32_t nesting = 1;
  while (ip_ < end_) {
    uint32_t length;
    if (!InstructionLength(code_, ip_, end_, length)) break;
    const uint8_t opcode = code_[ip_];
    ip_ += length;
    if (opcode == 0x58) {
      ++nesting;
    } else if (opcode == 0x59) {
      if (--nesting == 0) return;
    } else if (opcode == 0x1B && toElse && nesting == 1) {
      return;
    }
  }
  Fail(kUnclosedIf);
}

bool Interpreter::SkipToEndf(uint32_t& length) {
  const uint32_t body = ip_;
  while (ip_ < end_) {
    uint32_t step;
    if (!InstructionLength(code_, ip_, end_, step)) break;
    if (code_[ip_] == 0x2D) {
      length = ip_ - body;
      ++ip_;
      return true;
    }
    ip_ += step;
  }
  Fail(kUnclosedDefinition);
  return false;
}

void Interpreter::Define(bool instruction) {
  if (!Need(1)) return;
  const int32_t number = Pop();
  if (program_ == kGlyphProgram) return Fail(kDefinitionInGlyph);
  Definition* slot = nullptr;
  if (instruction) {
    if (number < 0 || number > 255) return Fail(kBadArgument);
    if (instructionIndex_[number] != 0) {
      slot = &instructions_[instructionIndex_[number] - 1];
    } else {
      for (uint32_t i = 0; i < instructions_.Size() && i < 255; ++i) {
        if (instructions_[i].program == kGlyphProgram) {
          slot = &instructions_[i];
          instructionIndex_[number] = static_cast<uint8_t>(i + 1);
          break;
        }
      }
      if (slot == nullptr) return Fail(kBadFunction);
    }
  } else {
    if (number < 0 || static_cast<uint32_t>(number) >= functions_.Size()) return Fail(kBadFunction);
    slot = &functions_[static_cast<uint32_t>(number)];
  }
  const uint32_t body = ip_;
  uint32_t length = 0;
  if (!SkipToEndf(length)) return;
  *slot = Definition{codeOwner_, static_cast<uint8_t>(number), body, length};
}

void Interpreter::CallDefinition(const Definition& definition, int32_t rounds) {
  if (definition.program > kFontProgram) return Fail(kUndefinedFunction);
  if (rounds <= 0) return;
  if (callDepth_ >= kMaxCallDepth) return Fail(kCallsTooDeep);
  calls_[callDepth_++] = CallFrame{code_, codeOwner_, ip_, start_, end_, definition.offset, rounds - 1};
  code_ = ProgramCode(definition.program);
  codeOwner_ = definition.program;
  start_ = ip_ = definition.offset;
  end_ = definition.offset + definition.length;
}

void Interpreter::Call(uint32_t function, int32_t rounds) {
  if (function >= functions_.Size()) return Fail(kBadFunction);
  CallDefinition(functions_[function], rounds);
}

void Interpreter::Return() {
  CallFrame& frame = calls_[callDepth_ - 1];
  if (frame.roundsLeft > 0) {
    --frame.roundsLeft;
    ip_ = frame.bodyStart;
    if (--budget_ < 0) Fail(kBudgetExhausted);
    return;
  }
  code_ = frame.code;
  codeOwner_ = frame.codeOwner;
  ip_ = frame.returnTo;
  start_ = frame.start;
  end_ = frame.end;
  --callDepth_;
}

void Interpreter::Dispatch(uint8_t opcode) {
  switch (opcode) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07:
    case 0x08: case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E:
    case 0x86: case 0x87:
      return VectorInstruction(opcode);
    case 0x0F: return Intersect();
    case 0x13: case 0x14: case 0x15: case 0x16: return SetZone(opcode);
    case 0x10: case 0x11: case 0x12: case 0x17: case 0x18: case 0x19: case 0x1A: case 0x1D: case 0x1E:
    case 0x1F: case 0x3D: case 0x4B: case 0x4C: case 0x4D: case 0x4E: case 0x5E: case 0x5F: case 0x76:
    case 0x77: case 0x7A: case 0x7C: case 0x7D: case 0x85: case 0x8D: case 0x8E:
      return StateInstruction(opcode);
    case 0x1B: return SkipConditional(false);  // ELSE reached at the end of the taken branch
    case 0x1C:
      if (Need(1)) Jump(Pop());
      return;
    case 0x20: case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: case 0x8A:
      return StackInstruction(opcode);
    case 0x27: return AlignPoints();
    case 0x28:
      if (program_ != kGlyphProgram) return Fail(kAdvanceOutsideGlyph);
      if (glyph_.pointCount < 4) return Fail(kBadPoint);
      return Push(SubSat(glyph_.cur[glyph_.pointCount - 3].x, glyph_.cur[glyph_.pointCount - 4].x));
    case 0x29: return UntouchPoint();
    case 0x2A: {
      if (!Need(2)) return;
      const int32_t function = Pop();
      const int32_t rounds = Pop();
      if (function < 0) return Fail(kBadFunction);
      return Call(static_cast<uint32_t>(function), rounds);
    }
    case 0x2B: {
      if (!Need(1)) return;
      const int32_t function = Pop();
      if (function < 0) return Fail(kBadFunction);
      return Call(static_cast<uint32_t>(function), 1);
    }
    case 0x2C: return Define(false);
    case 0x2D: case 0x7B: return Fail(kInvalidOpcode);
    case 0x2E: case 0x2F: return MoveDirectAbsolute(opcode);
    case 0x30: case 0x31: return InterpolateUntouched(opcode);
    case 0x32: case 0x33: case 0x34: case 0x35: case 0x36: case 0x37: return ShiftInstruction(opcode);
    case 0x38: return ShiftByPixels();
    case 0x39: return InterpolatePoints();
    case 0x3A: case 0x3B: return MoveStackIndirectRelative(opcode);
    case 0x3C: return AlignToReference();
    case 0x3E: case 0x3F: return MoveIndirectAbsolute(opcode);
    case 0x40: case 0x41:
      if (ip_ >= end_) return Fail(kCodeOverflow);
      return ReadPushes(code_[ip_++], opcode == 0x41);
    case 0x42: case 0x43: case 0x44: case 0x45: case 0x70: return StorageInstruction(opcode);
    case 0x46: case 0x47: case 0x48: case 0x49: case 0x4A: return MeasureInstruction(opcode);
    case 0x4F: case 0x7E: case 0x7F:  // DEBUG, SANGW, AA: a value nobody uses
      if (Need(1)) Pop();
      return;
    case 0x50: case 0x51: case 0x52: case 0x53: case 0x54: case 0x55: case 0x56: case 0x57: case 0x5A:
    case 0x5B: case 0x5C: case 0x60: case 0x61: case 0x62: case 0x63: case 0x64: case 0x65: case 0x66:
    case 0x67: case 0x68: case 0x69: case 0x6A: case 0x6B: case 0x6C: case 0x6D: case 0x6E: case 0x6F:
    case 0x8B: case 0x8C:
      return ArithmeticInstruction(opcode);
    case 0x58: {
      if (!Need(1)) return;
      bool condition = Pop() != 0;
      if (condition && program_ == kGlyphProgram) {
        const bool guardedStart = end_ >= sizeof kGuardedGlyphStart && codeOwner_ == kGlyphProgram &&
                                  std::memcmp(code_, kGuardedGlyphStart, sizeof kGuardedGlyphStart) == 0;
        const bool guardedShifts = ip_ + sizeof kGuardedShifts <= end_ &&
                                   std::memcmp(code_ + ip_, kGuardedShifts, sizeof kGuardedShifts) == 0;
        if (guardedStart || guardedShifts) condition = false;
      }
      if (!condition) SkipConditional(true);
      return;
    }
    case 0x59: return;  // EIF
    case 0x5D: case 0x71: case 0x72: return DeltaP(opcode);
    case 0x73: case 0x74: case 0x75: return DeltaC(opcode);
    case 0x78: case 0x79: {
      if (!Need(2)) return;
      const bool condition = Pop() != 0;
      const int32_t offset = Pop();
      if (condition == (opcode == 0x78)) Jump(offset);
      return;
    }
    case 0x80: case 0x81: case 0x82: return FlipInstruction(opcode);
    case 0x88: return GetInfo();
    case 0x89: return Define(true);
    case 0xB0: case 0xB1: case 0xB2: case 0xB3: case 0xB4: case 0xB5: case 0xB6: case 0xB7:
      return ReadPushes(opcode - 0xAFu, false);
    case 0xB8: case 0xB9: case 0xBA: case 0xBB: case 0xBC: case 0xBD: case 0xBE: case 0xBF:
      return ReadPushes(opcode - 0xB7u, true);
    default:
      break;
  }
  if (opcode >= 0xE0) return MoveIndirectRelative(opcode);
  if (opcode >= 0xC0) return MoveDirectRelative(opcode);
  // 0x83, 0x84 and 0x8F-0xAF: what the font defined, if it did.
  if (instructionIndex_[opcode] == 0) return Fail(kInvalidOpcode);
  CallDefinition(instructions_[instructionIndex_[opcode] - 1u], 1);
}

}  // namespace vn::fonts::hinting
