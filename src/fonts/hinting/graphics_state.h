// The state the TrueType instructions work on: the graphics state, the
// rounding states, and the zones of points they move.
#pragma once

#include <cstdint>

#include "fonts/hinting/fixed26_6.h"

namespace vn::fonts::hinting {

// Why a program stopped (0: it ran to its end).
enum HintError : int32_t {
  kHintOk = 0,
  kInvalidOpcode = 0x1101,        // no instruction definition, or ENDF/0x7B outside a definition
  kCodeOverflow = 0x1103,         // inline data or a jump target past the program's ends
  kUnclosedDefinition = 0x1104,   // FDEF/IDEF without ENDF
  kUnclosedIf = 0x1105,           // IF/ELSE without EIF
  kDivideByZero = 0x1106,
  kDefinitionInGlyph = 0x1108,    // FDEF/IDEF in a glyph program
  kAdvanceOutsideGlyph = 0x110D,  // opcode 0x28 outside a glyph program
  kStackUnderflow = 0x1110,
  kStackOverflow = 0x1111,
  kBadPoint = 0x1112,
  kBadFunction = 0x1114,
  kUndefinedFunction = 0x1115,
  kBadArgument = 0x1116,
  kCallsTooDeep = 0x1117,         // CALL/LOOPCALL nested past kMaxCallDepth
  kBadIndex = 0x111B,             // control value or storage index
  kNeedsOutline = 0x111C,         // IUP and the like outside a glyph program
  kBudgetExhausted = 0x1120,      // more instructions than a program may run
};

// Point flags.
enum : uint8_t {
  kPointOnCurve = 0x01,
  kTouchedX = 0x02,
  kTouchedY = 0x04,
};

// A zone: the points instructions address through zp0..zp2. `orus` holds
// the original positions at the precision distances are measured in (font
// units for a glyph's own points, 26.6 for the twilight zone and for
// composite glyphs, whose components come hinted).
struct Zone {
  Point26* cur = nullptr;
  Point26* org = nullptr;
  Point26* orus = nullptr;
  uint8_t* flags = nullptr;
  uint32_t pointCount = 0;
  const uint32_t* contourEnds = nullptr;
  uint32_t contourCount = 0;
};

enum class RoundState : uint8_t {
  kHalfGrid,
  kGrid,
  kDoubleGrid,
  kDownToGrid,
  kUpToGrid,
  kOff,
  kSuper,
  kSuper45,
};

struct GraphicsState {
  int32_t rp0 = 0, rp1 = 0, rp2 = 0;
  int32_t projX = kUnitVector, projY = 0;
  int32_t freeX = kUnitVector, freeY = 0;
  int32_t dualX = kUnitVector, dualY = 0;
  int32_t loop = 1;
  F26Dot6 minimumDistance = kPixel;
  F26Dot6 controlValueCutIn = 68;  // 17/16 pixel
  F26Dot6 singleWidthCutIn = 0;
  F26Dot6 singleWidthValue = 0;
  int32_t deltaBase = 9;
  int32_t deltaShift = 3;
  RoundState roundState = RoundState::kGrid;
  // SROUND/S45ROUND's grid, in 26.6.
  F26Dot6 period = kPixel, phase = 0, threshold = 32;
  bool autoFlip = true;
  uint8_t zoneNumbers[3] = {1, 1, 1};  // gep0..gep2
  int32_t instructControl = 0;          // INSTCTRL: 1 = glyph programs off, 2 = default state for glyphs
  int32_t scanControl = 0;
  int32_t scanType = 0;
};

}  // namespace vn::fonts::hinting
