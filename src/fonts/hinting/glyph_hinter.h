// Hinted TrueType glyphs: loads a glyph's points (composites component by
// component), scales them to the size, runs each glyph program on them and
// hands out the grid-fitted outline.
//
// Each simple glyph runs its own program over its points and four phantom
// points (its origin and advance, its top and bottom); a composite places
// its components, hinted, and then runs its own program over all their
// points, whose "original" positions are then the hinted ones. A glyph whose
// instructions fault, anywhere in it, is drawn scaled but unhinted; the
// font's other glyphs are not affected.
#pragma once

#include <cstdint>

#include "fonts/hinting/interpreter.h"
#include "fonts/parsers/truetype.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::fonts::hinting {

// A glyph at one size, in 26.6 pixels (y up), its origin on the hinted left
// phantom point.
struct HintedGlyph {
  explicit HintedGlyph(AppContext& context) : points(context), onCurve(context), contourEnds(context) {}
  EngineArray<Point26> points;
  EngineArray<uint8_t> onCurve;
  EngineArray<uint32_t> contourEnds;
  F26Dot6 advance = 0;
  bool hinted = false;  // false: only scaled (its instructions faulted, or the size is not hinted)
};

class GlyphHinter {
 public:
  // Sets up the interpreter from the font's tables and runs "fpgm".
  GlyphHinter(AppContext& context, parsers::TrueType& font);
  // False when the font cannot be hinted at all (no usable "maxp", or its
  // font program faulted).
  bool FontReady() const { return fontReady_; }
  // Scales to `size.ppem` and runs "prep"; false when that faulted (glyphs
  // at this size are then drawn unhinted).
  bool SetSize(HintingSize size);
  int32_t Ppem() const { return size_.ppem; }
  // The current size's state, kept by the caller to come back to it
  // without running "prep" again.
  void SaveSize(SizeSnapshot& snapshot) const;
  void RestoreSize(const SizeSnapshot& snapshot);
  // Glyph `glyph` at the current size. Damaged glyph data raises kBadData.
  void Load(uint32_t glyph, HintedGlyph& out);
  uint32_t MemorySize() const;
  // Instructions run since the last call (Interpreter::TakeInstructionCount).
  uint32_t TakeInstructionCount() { return interpreter_ ? interpreter_->TakeInstructionCount() : 0; }

 private:
  struct Phantoms {
    Point26 p[4];
  };
  void LoadGlyph(uint32_t glyph, uint32_t depth, Phantoms& phantoms);
  void LoadSimple(const parsers::TrueTypeGlyphHeader& header, const Phantoms& units, Phantoms& phantoms);
  void PlaceComponent(const parsers::TrueTypeComponent& c, uint32_t base, uint32_t from);
  // Runs the glyph program at [offset, offset + length) of the font over the
  // points from `base` on, with `phantoms` appended (their original places
  // `phantomOrus`, in the units `orusScale` scales).
  void RunProgram(uint32_t base, uint32_t contourBase, uint32_t offset, uint32_t length, Phantoms& phantoms,
                  const Phantoms& phantomOrus, int32_t orusScale);
  void Append(Point26 orus, Point26 org, uint8_t flags);
  void Truncate(uint32_t size);
  Point26 Scale(Point26 units) const { return Point26{MulFix16(units.x, size_.scale), MulFix16(units.y, size_.scale)}; }

  AppContext& context_;
  parsers::TrueType& font_;
  Owned<Interpreter> interpreter_;
  HintingSize size_{};
  bool fontReady_ = false;
  bool sizeReady_ = false;
  // The glyph being loaded.
  bool hinting_ = false;
  int32_t error_ = kHintOk;
  uint32_t records_ = 0;
  EngineArray<Point26> cur_, org_, orus_;
  EngineArray<uint8_t> flags_;
  EngineArray<uint32_t> contourEnds_;
  EngineArray<uint32_t> zoneContours_;  // contour ends of the zone a program runs on
  parsers::TrueTypeOutline record_;     // a simple glyph as read
  FontBytes instructions_;
};

}  // namespace vn::fonts::hinting
