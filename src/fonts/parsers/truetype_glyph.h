// Loading TrueType glyphs from "glyf"/"loca": simple glyphs and composites
// (with their transforms and point matching) flattened into one list of
// points in font units, ready for drawing or, later, for the glyph's
// instructions.
#pragma once

#include <cstdint>

#include "fonts/font_data.h"
#include "runtime/engine_array.h"
#include "runtime/fixed_matrix.h"

namespace vn::fonts::parsers {

// A glyph's points in font units (16.16: composites may scale them), their
// on-curve flags and the index of each contour's last point.
struct TrueTypeOutline {
  explicit TrueTypeOutline(AppContext& context) : points(context), onCurve(context), contourEnds(context) {}
  void Clear() {
    points.Clear();
    onCurve.Clear();
    contourEnds.Clear();
  }
  EngineArray<FixedPoint> points;
  EngineArray<uint8_t> onCurve;
  EngineArray<uint32_t> contourEnds;
  // The file range of the glyph's own instructions (a simple glyph's, or
  // those that follow a composite's components).
  uint32_t instructionsOffset = 0;
  uint32_t instructionsLength = 0;
  // The glyph's own xMin (from its header; 0 for an empty glyph).
  int32_t xMin = 0;
};

// Composite glyphs may nest this deep, and one glyph may load at most this
// many glyph records in all (so that components repeating each other cannot
// multiply the work).
inline constexpr uint32_t kMaxCompositeDepth = 16;
inline constexpr uint32_t kMaxGlyphRecords = 2048;

struct TrueTypeGlyphTables {
  uint32_t glyfOffset;
  uint32_t glyfLength;
  uint32_t locaOffset;
  uint32_t locaLength;
  bool longOffsets;  // "head" indexToLocFormat 1
  uint32_t glyphCount;
};

// Appends glyph `glyph` to `outline` (cleared first). A glyph without data
// has no points. Damaged data raises kBadData.
void LoadTrueTypeGlyph(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, TrueTypeOutline& outline);

}  // namespace vn::fonts::parsers
