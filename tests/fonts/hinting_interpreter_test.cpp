// The instruction interpreter on small hand-written programs: its limits
// and failure rules, and moves whose results are worked out here.
#include <gtest/gtest.h>

#include <vector>

#include "fonts/hinting/interpreter.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::test {
namespace {

using fonts::hinting::FontPrograms;
using fonts::hinting::HintingSize;
using fonts::hinting::Interpreter;
using fonts::hinting::Point26;
using fonts::hinting::Zone;
using Code = std::vector<uint8_t>;

// Opcodes used below.
enum : uint8_t {
  SVTCA_Y = 0x00, SVTCA_X = 0x01, SFVTCA_X = 0x05, SPVTL = 0x06, GPV = 0x0C, SRP1 = 0x11, SRP2 = 0x12, SZP0 = 0x13,
  ELSE = 0x1B, JMPR = 0x1C, POP = 0x21, CALL = 0x2B, FDEF = 0x2C, ENDF = 0x2D,
  MDAP_R = 0x2F, IUP_Y = 0x30, SHPIX = 0x38, IP = 0x39, NPUSHB = 0x40, WS = 0x42, RS = 0x43, WCVTP = 0x44,
  RCVT = 0x45, MPPEM = 0x4B, IF = 0x58, EIF = 0x59, DELTAP1 = 0x5D, DIV = 0x62, MUL = 0x63, GETINFO = 0x88,
  IDEF = 0x89, PUSHW1 = 0xB8, MIRP_RP0_MIN_ROUND = 0xFD,
};

Code PushB(std::initializer_list<int> values) {
  Code c{NPUSHB, static_cast<uint8_t>(values.size())};
  for (int v : values) c.push_back(static_cast<uint8_t>(v));
  return c;
}
Code PushW(int v) { return {PUSHW1, static_cast<uint8_t>((v >> 8) & 0xFF), static_cast<uint8_t>(v & 0xFF)}; }
Code operator+(Code a, const Code& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Code Op(std::initializer_list<uint8_t> ops) { return Code(ops); }

class InterpreterTest : public ::testing::Test {
 protected:
  // A square contour of 10 x 10 font units (0,0) (0,10) (10,10) (10,0)
  // and four phantom points, at one pixel per font unit.
  InterpreterTest() { ResetPoints(); }
  void ResetPoints() {
    const int units[8][2] = {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}, {10, 0}, {0, 10}, {0, 0}};
    for (int i = 0; i < 8; ++i) {
      orus[i] = Point26{units[i][0], units[i][1]};
      org[i] = cur[i] = Point26{units[i][0] * 64, units[i][1] * 64};
      flags[i] = i < 4 ? 1 : 0;
    }
  }
  // Sets the interpreter up with `fpgm` and `prep` (their results in
  // fontError and sizeError) and runs `glyph`; returns its result.
  int32_t Run(const Code& fpgm, const Code& prep, const Code& glyph, int32_t ppem = 12) {
    ResetPoints();
    programs.fpgm = fpgm.data();
    programs.fpgmLength = static_cast<uint32_t>(fpgm.size());
    programs.prep = prep.data();
    programs.prepLength = static_cast<uint32_t>(prep.size());
    programs.cvt = cvt.data();
    programs.cvtLength = static_cast<uint32_t>(cvt.size());
    interpreter.Set(New<Interpreter>(context, context, programs));
    fontError = interpreter->RunFontProgram();
    HintingSize size;
    size.ppem = ppem;
    size.scale = 64 << 16;
    sizeError = interpreter->SetSize(size);
    return Glyph(glyph);
  }
  int32_t Glyph(const Code& glyph) {
    Zone zone{cur, org, orus, flags, 8, contourEnds, 1};
    return interpreter->RunGlyphProgram(zone, glyph.data(), static_cast<uint32_t>(glyph.size()), 64 << 16);
  }

  AppContext context;
  FontPrograms programs = [] {
    FontPrograms p;
    p.maxStack = 16;
    p.maxStorage = 4;
    p.maxFunctionDefs = 5;
    p.maxInstructionDefs = 2;
    p.maxTwilightPoints = 2;
    return p;
  }();
  std::vector<uint8_t> cvt = {0x00, 0x0B, 0xFF, 0x9C};  // 11, -100 font units
  Owned<Interpreter> interpreter{context};
  int32_t fontError = 0, sizeError = 0;
  Point26 cur[8], org[8], orus[8];
  uint8_t flags[8];
  uint32_t contourEnds[1] = {3};
};

TEST_F(InterpreterTest, EmptyProgramsLeaveTheOutline) {
  EXPECT_EQ(Run({}, {}, {}), 0);
  EXPECT_EQ(fontError, 0);
  EXPECT_EQ(sizeError, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(cur[i].x, org[i].x);
}

TEST_F(InterpreterTest, DefinitionsAreBounded) {
  // Functions run from 0 to maxFunctionDefs - 1.
  Run(PushB({5}) + Op({FDEF, ENDF}), {}, {});
  EXPECT_EQ(fontError, fonts::hinting::kBadFunction);
  Run(PushB({4}) + Op({FDEF}), {}, {});
  EXPECT_EQ(fontError, fonts::hinting::kUnclosedDefinition);
  // Definitions belong to the font and control-value programs.
  EXPECT_EQ(Run({}, {}, PushB({1}) + Op({FDEF, ENDF})), fonts::hinting::kDefinitionInGlyph);
  EXPECT_EQ(Run({}, {}, PushB({3}) + Op({CALL})), fonts::hinting::kUndefinedFunction);
}

TEST_F(InterpreterTest, UnclosedIfFails) {
  EXPECT_EQ(Run({}, {}, PushB({0}) + Op({IF, POP})), fonts::hinting::kUnclosedIf);
  EXPECT_EQ(Run({}, {}, PushB({1}) + Op({IF, ELSE, POP})), fonts::hinting::kUnclosedIf);
  // Nested IFs inside the skipped branch are skipped whole.
  EXPECT_EQ(Run({}, {}, PushB({0}) + Op({IF, IF, EIF, POP, EIF})), 0);
}

TEST_F(InterpreterTest, InstructionDefinitionsRunForUndefinedOpcodes) {
  EXPECT_EQ(Run({}, {}, Op({0x90})), fonts::hinting::kInvalidOpcode);
  // 0x90 defined as "shift point 0 one pixel along x".
  const Code fpgm = PushB({0x90}) + Op({IDEF}) + PushB({0, 64}) + Op({SHPIX, ENDF});
  EXPECT_EQ(Run(fpgm, {}, Op({0x90})), 0);
  EXPECT_EQ(fontError, 0);
  EXPECT_EQ(cur[0].x, 64);
  EXPECT_EQ(cur[0].y, 0);
}

TEST_F(InterpreterTest, RunawayProgramsStop) {
  // A function calling itself stops at the nesting limit.
  const Code recursive = PushB({0}) + Op({FDEF}) + PushB({0}) + Op({CALL, ENDF});
  EXPECT_EQ(Run(recursive, {}, PushB({0}) + Op({CALL})), fonts::hinting::kCallsTooDeep);
  // A jump back to the start loops until the instruction budget runs out.
  EXPECT_EQ(Run({}, {}, PushW(-3) + Op({JMPR})), fonts::hinting::kBudgetExhausted);
  // Jumps beyond either end of the program fail.
  EXPECT_EQ(Run({}, {}, PushW(100) + Op({JMPR})), fonts::hinting::kCodeOverflow);
  EXPECT_EQ(Run({}, {}, PushW(-4) + Op({JMPR})), fonts::hinting::kCodeOverflow);
  // A function's jumps stay inside its body.
  const Code escaping = PushB({1}) + Op({FDEF}) + PushW(-30) + Op({JMPR, ENDF});
  EXPECT_EQ(Run(escaping, {}, PushB({1}) + Op({CALL})), fonts::hinting::kCodeOverflow);
}

TEST_F(InterpreterTest, IndexesAreChecked) {
  EXPECT_EQ(Run({}, {}, Op({POP})), fonts::hinting::kStackUnderflow);
  // 16 + 32 stack entries (room for fonts that declare a few too few).
  Code many;
  for (int i = 0; i < 49; ++i) many = many + Op({MPPEM});
  EXPECT_EQ(Run({}, {}, many), fonts::hinting::kStackOverflow);
  EXPECT_EQ(Run({}, {}, PushB({8}) + Op({MDAP_R})), fonts::hinting::kBadPoint);
  EXPECT_EQ(Run({}, {}, PushB({2}) + Op({RCVT})), fonts::hinting::kBadIndex);
  EXPECT_EQ(Run({}, {}, PushB({4}) + Op({RS})), fonts::hinting::kBadIndex);
  EXPECT_EQ(Run({}, {}, PushB({2}) + Op({SZP0})), fonts::hinting::kBadArgument);
  // NPUSHB reading past the end.
  EXPECT_EQ(Run({}, {}, Op({NPUSHB, 5, 1})), fonts::hinting::kCodeOverflow);
}

TEST_F(InterpreterTest, DivisionByZeroAndZeroLengthVectors) {
  EXPECT_EQ(Run({}, {}, PushB({64, 0}) + Op({DIV})), fonts::hinting::kDivideByZero);
  // A projection vector along the line between two coincident points is
  // the x axis: read back (GPV), its x component (1.0 in 2.14) shifts
  // point 0 by 0x4000 / 64 pixels.
  EXPECT_EQ(Run({}, {}, Op({SVTCA_Y}) + PushB({0, 0}) + Op({SPVTL, SFVTCA_X}) + PushB({0}) +
                            Op({GPV, POP, SHPIX})), 0);
  EXPECT_EQ(cur[0].x, 0x4000);
  // Along the line from point 0 to point 2 (45 degrees): 0x2D41 both ways.
  EXPECT_EQ(Run({}, {}, PushB({2, 0}) + Op({SPVTL}) + PushB({0}) + Op({GPV, POP, SHPIX})), 0);
  EXPECT_EQ(cur[0].x, 0x2D41);
}

TEST_F(InterpreterTest, ArithmeticRoundsAsSpecified) {
  // Results land in storage through WS and are read back as a shift of
  // point 0 (SHPIX), so every value is checked on the outline.
  auto shiftBy = [&](const Code& value) {
    Run({}, {}, PushB({0}) + value + Op({SHPIX}));
    return cur[0].x;
  };
  EXPECT_EQ(shiftBy(PushB({96, 64}) + Op({DIV})), 96);        // 1.5 / 1 = 1.5
  EXPECT_EQ(shiftBy(PushB({96, 128}) + Op({MUL})), 192);      // 1.5 * 2 = 3
  EXPECT_EQ(shiftBy(PushB({3, 11}) + Op({MUL})), 1);          // (33 + 32) >> 6
  EXPECT_EQ(shiftBy(PushB({1}) + Op({GETINFO})), 37);         // the rasterizer version
  EXPECT_EQ(shiftBy(Op({MPPEM})), 12);
  Run({}, {}, PushB({0}) + Op({MPPEM, SHPIX}), 300);          // above 255
  EXPECT_EQ(cur[0].x, 300);
}

TEST_F(InterpreterTest, MovesAndInterpolation) {
  // MIRP from point 0 along y with control value 0 (11 units, 11 pixels
  // at this scale), within the cut-in of the original 10: point 1 lands 11
  // pixels above point 0.
  EXPECT_EQ(Run({}, {}, Op({SVTCA_Y}) + PushB({0}) + Op({MDAP_R}) + PushB({1, 0}) + Op({MIRP_RP0_MIN_ROUND})), 0);
  EXPECT_EQ(cur[1].y, 704);
  EXPECT_EQ(cur[1].x, 0);
  // IP: point 1 between points 0 and 3 (x 0 and 10) keeps its place: with
  // point 3 moved 10 pixels right, point 1 (x 0) stays with point 0.
  EXPECT_EQ(Run({}, {}, PushB({3}) + PushW(640) + Op({SHPIX}) + PushB({1, 0, 3}) + Op({SRP2, SRP1, IP})), 0);
  EXPECT_EQ(cur[1].x, 0);
  // A point halfway (point 2 at y 10 between y 0 and 20 after moving point
  // 1 up 10 pixels) lands halfway: 10 * 2 = 20 -> y 20 pixels.
  EXPECT_EQ(Run({}, {}, Op({SVTCA_Y}) + PushB({1}) + PushW(640) + Op({SHPIX}) + PushB({2, 0, 1}) +
                            Op({SRP2, SRP1, IP})), 0);
  EXPECT_EQ(cur[2].y, 1280);
  // IUP with one touched point shifts its contour whole.
  EXPECT_EQ(Run({}, {}, Op({SVTCA_Y}) + PushB({2}) + PushW(640) + Op({SHPIX, IUP_Y})), 0);
  EXPECT_EQ(cur[2].y, 1280);
  EXPECT_EQ(cur[1].y, 1280);
  EXPECT_EQ(cur[0].y, 640);
  // Two touched points: 0 stays, 2 moves up 10 px; 1 (same height as 2)
  // follows 2, 3 (same height as 0) stays.
  EXPECT_EQ(Run({}, {}, Op({SVTCA_Y}) + PushB({0}) + Op({MDAP_R}) + PushB({2}) + PushW(640) +
                            Op({SHPIX, IUP_Y})), 0);
  EXPECT_EQ(cur[1].y, 1280);
  EXPECT_EQ(cur[3].y, 0);
}

TEST_F(InterpreterTest, DeltasApplyAtTheirSize) {
  // DELTAP1 (point 0, ppem 9 + 3 = 12, step +8 -> +1 pixel at delta shift 3
  // is 8/8 pixel... step 15 - 8 + 1 = 8 eighths = one pixel).
  const Code glyph = PushB({0x3F, 0, 1}) + Op({DELTAP1});
  EXPECT_EQ(Run({}, {}, glyph, 12), 0);
  EXPECT_EQ(cur[0].x, 64);
  EXPECT_EQ(Run({}, {}, glyph, 13), 0);
  EXPECT_EQ(cur[0].x, 0);
}

TEST_F(InterpreterTest, GlyphProgramsDoNotLeakIntoTheNextGlyph) {
  // The first glyph doubles control value 0 and stores 5; the next glyph
  // sees "prep"'s values again.
  Run({}, {}, PushB({0}) + PushW(12800) + Op({WCVTP}) + PushB({1, 5}) + Op({WS}));
  const Code read = PushB({0, 0}) + Op({RCVT, SHPIX}) + PushB({1, 1}) + Op({RS, SHPIX});
  ResetPoints();
  EXPECT_EQ(Glyph(read), 0);
  EXPECT_EQ(cur[0].x, 704);
  EXPECT_EQ(cur[1].x, 0);
}

}  // namespace
}  // namespace vn::test
