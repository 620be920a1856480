// The TrueType instruction interpreter: a stack machine that runs a font's
// programs to fit its glyphs to the pixel grid.
//
// One Interpreter serves one font. RunFontProgram runs "fpgm" once (it
// defines functions and instructions); SetSize scales the control values to
// a size and runs "prep", whose graphics state, control values, storage and
// twilight points are kept as every glyph's starting point; RunGlyphProgram
// runs one glyph's instructions over its points. What a glyph program
// writes to the control values, the storage area or the twilight zone is
// undone before the next glyph, so glyphs hint the same in any order.
//
// Every program runs under an instruction budget, calls nest at most
// kMaxCallDepth deep, and every index is checked: bad instructions stop the
// program with a HintError and never touch memory outside the font's
// tables. Only allocation failures raise (kOutOfMemory), while the
// interpreter is set up.
#pragma once

#include <cstdint>

#include "fonts/hinting/graphics_state.h"
#include "runtime/engine_array.h"

namespace vn::fonts::hinting {

inline constexpr uint32_t kMaxCallDepth = 32;
// Instructions (and loop rounds) one program may run: far above any real
// program (a heavy CJK "prep" runs some tens of thousands), low enough that
// a looping program stops within milliseconds.
inline constexpr int64_t kFontProgramBudget = 5'000'000;
inline constexpr int64_t kGlyphProgramBudget = 1'000'000;

// The "maxp" limits and the font's programs.
struct FontPrograms {
  uint32_t maxStack = 0;
  uint32_t maxStorage = 0;
  uint32_t maxFunctionDefs = 0;
  uint32_t maxInstructionDefs = 0;
  uint32_t maxTwilightPoints = 0;
  const uint8_t* fpgm = nullptr;
  uint32_t fpgmLength = 0;
  const uint8_t* prep = nullptr;
  uint32_t prepLength = 0;
  const uint8_t* cvt = nullptr;  // the "cvt " table: big-endian 16-bit font units
  uint32_t cvtLength = 0;
};

// One size to hint at.
struct HintingSize {
  int32_t ppem = 0;           // pixels per em (MPPEM, deltas)
  int32_t scale = 0;          // font units -> 26.6, in 16.16
  bool rotated = false;       // GETINFO's transformation flags
  bool stretched = false;
  bool grayscale = true;      // rendered with coverage (anti-aliased)
};

// What "prep" left at one size: enough to hint at that size again without
// running it.
struct SizeSnapshot {
  explicit SizeSnapshot(AppContext& context) : cvt(context), storage(context), twilight(context) {}
  uint32_t MemorySize() const {
    return sizeof(*this) + cvt.MemorySize() + storage.MemorySize() + twilight.MemorySize();
  }
  HintingSize size{};
  GraphicsState state{};
  bool ready = false;
  EngineArray<F26Dot6> cvt;
  EngineArray<int32_t> storage;
  EngineArray<Point26> twilight;
};

class Interpreter {
 public:
  Interpreter(AppContext& context, const FontPrograms& programs);
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  int32_t RunFontProgram();
  int32_t SetSize(const HintingSize& size);
  // The size set up last, kept or brought back.
  void SaveSize(SizeSnapshot& snapshot) const;
  void RestoreSize(const SizeSnapshot& snapshot);
  // Runs `code` over `glyph` (its points followed by the four phantom
  // points). `orusScale` (16.16) takes the zone's `orus` to 26.6.
  int32_t RunGlyphProgram(Zone& glyph, const uint8_t* code, uint32_t length, int32_t orusScale);
  // False when "prep" turned glyph programs off (INSTCTRL).
  bool GlyphProgramsEnabled() const { return (sizeState_.instructControl & 1) == 0; }
  uint32_t MemorySize() const;
  // Instructions run since the last call, for the caller to charge to its
  // thread's work budget once it is done with the interpreter.
  uint32_t TakeInstructionCount() {
    const uint32_t count = executed_;
    executed_ = 0;
    return count;
  }

 private:
  enum Program : uint8_t { kPrepProgram = 0, kFontProgram = 1, kGlyphProgram = 2 };
  struct Definition {
    uint8_t program = kGlyphProgram;  // kGlyphProgram marks an unused entry
    uint8_t opcode = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  struct CallFrame {
    const uint8_t* code;
    uint8_t codeOwner;
    uint32_t returnTo, start, end;
    uint32_t bodyStart;
    int32_t roundsLeft;
  };

  int32_t Execute(Program program, const uint8_t* code, uint32_t length, int64_t budget);
  void Dispatch(uint8_t opcode);
  void Fail(int32_t error) {
    if (error_ == kHintOk) error_ = error;
  }
  const uint8_t* ProgramCode(uint8_t program) const;

  // Stack.
  bool Need(uint32_t count);
  int32_t Pop() { return stack_[--sp_]; }
  void Push(int32_t value);

  // interpreter.cpp: flow control and definitions.
  void ReadPushes(uint32_t count, bool words);
  bool Jump(int32_t offset);
  void SkipConditional(bool toElse);
  bool SkipToEndf(uint32_t& length);
  void Define(bool instruction);
  void Call(uint32_t function, int32_t rounds);
  void CallDefinition(const Definition& definition, int32_t rounds);
  void Return();

  // instructions_values.cpp: stack, storage, control values, arithmetic,
  // the graphics state's values, rounding.
  void StackInstruction(uint8_t opcode);
  void ArithmeticInstruction(uint8_t opcode);
  void StateInstruction(uint8_t opcode);
  void StorageInstruction(uint8_t opcode);
  void DeltaC(uint8_t opcode);
  void GetInfo();
  void SetSuperRound(int32_t gridPeriod, int32_t selector);
  F26Dot6 Round(F26Dot6 distance) const;
  bool CvtIndex(int32_t index);

  // instructions_points.cpp: vectors, zones and every point move.
  void VectorInstruction(uint8_t opcode);
  void SetVectorToLine(uint8_t opcode);
  void SetVectorFromStack(bool freedom);
  void SetVector(int32_t& x, int32_t& y, int64_t dx, int64_t dy);
  void SetZone(uint8_t opcode);
  void UpdateProjections();
  bool PointOk(const Zone& zone, int32_t point);
  F26Dot6 Project(Point26 a, Point26 b) const {
    if (gs_.projY == 0 && gs_.projX == kUnitVector) return SubSat(a.x, b.x);
    if (gs_.projX == 0 && gs_.projY == kUnitVector) return SubSat(a.y, b.y);
    return Dot14(int64_t{a.x} - b.x, int64_t{a.y} - b.y, gs_.projX, gs_.projY);
  }
  F26Dot6 DualProject(Point26 a, Point26 b) const {
    return Dot14(int64_t{a.x} - b.x, int64_t{a.y} - b.y, gs_.dualX, gs_.dualY);
  }
  F26Dot6 OriginalDistance(const Zone& za, int32_t a, const Zone& zb, int32_t b, bool twilight) const;
  void Move(Zone& zone, int32_t point, F26Dot6 distance);
  void ShiftPoint(Zone& zone, int32_t point, F26Dot6 dx, F26Dot6 dy, bool touch);
  void MeasureInstruction(uint8_t opcode);
  void MoveDirectAbsolute(uint8_t opcode);
  void MoveIndirectAbsolute(uint8_t opcode);
  void MoveDirectRelative(uint8_t opcode);
  void MoveIndirectRelative(uint8_t opcode);
  void MoveStackIndirectRelative(uint8_t opcode);
  void AlignToReference();
  void AlignPoints();
  void Intersect();
  void InterpolatePoints();
  bool ReferenceDisplacement(uint8_t opcode, F26Dot6& dx, F26Dot6& dy, Zone*& zone, int32_t& point);
  void ShiftInstruction(uint8_t opcode);
  void ShiftByPixels();
  void ShiftLoopPoints(F26Dot6 dx, F26Dot6 dy);
  void UntouchPoint();
  void FlipInstruction(uint8_t opcode);
  void InterpolateUntouched(uint8_t opcode);
  void InterpolateRange(bool xAxis, uint32_t from, uint32_t to, uint32_t ref1, uint32_t ref2);
  void ShiftRange(bool xAxis, uint32_t from, uint32_t to, uint32_t ref);
  void DeltaP(uint8_t opcode);

  AppContext& context_;
  EngineArray<uint8_t> fpgm_, prep_;
  EngineArray<int32_t> stack_;
  EngineArray<int32_t> storage_, prepStorage_;
  EngineArray<int16_t> cvtUnits_;
  EngineArray<F26Dot6> cvt_, prepCvt_;
  EngineArray<Definition> functions_;
  EngineArray<Definition> instructions_;
  EngineArray<Point26> twilightPoints_;  // cur and org, then their state after "prep"
  EngineArray<uint8_t> twilightFlags_;
  bool glyphWroteGlobals_ = false;       // a glyph program changed what the next glyph must not see
  uint8_t instructionIndex_[256];        // opcode -> entry of instructions_ + 1 (0: none)
  uint32_t twilightCount_ = 0;

  // Per size.
  HintingSize size_{};
  GraphicsState sizeState_{};  // the state "prep" left, every glyph's start
  bool sizeReady_ = false;

  // Per run.
  GraphicsState gs_{};
  Zone twilight_{};
  Zone glyph_{};
  Zone* zp_[3] = {nullptr, nullptr, nullptr};
  int32_t fDotP_ = kUnitVector;  // freedom . projection, 2.14
  int32_t orusScale_ = 0x10000;
  Program program_ = kGlyphProgram;
  const uint8_t* code_ = nullptr;
  uint8_t codeOwner_ = kGlyphProgram;  // the program whose bytes code_ points into
  uint32_t ip_ = 0, start_ = 0, end_ = 0;
  uint32_t opcodeAt_ = 0;
  uint32_t sp_ = 0;
  int64_t budget_ = 0;
  uint32_t executed_ = 0;
  int32_t error_ = kHintOk;
  uint32_t callDepth_ = 0;
  CallFrame calls_[kMaxCallDepth];
};

}  // namespace vn::fonts::hinting
