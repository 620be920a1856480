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

// One component of a composite glyph, as the record gives it.
struct TrueTypeComponent {
  enum : uint16_t {
    kArgsAreXY = 0x0002,        // args are an offset; otherwise two points to match
    kRoundXYToGrid = 0x0004,    // a hinted offset is rounded to whole pixels
    kUseMyMetrics = 0x0200,     // the composite takes this component's advance
    kScaledOffset = 0x0800,
    kUnscaledOffset = 0x1000,
  };
  uint16_t flags;
  uint32_t glyph;
  int32_t arg1, arg2;
  int32_t xx, xy, yx, yy;  // 2.14
  bool transformed;
  // The offset is transformed along with the component's points.
  bool OffsetTransformed() const { return transformed && (flags & kScaledOffset) && !(flags & kUnscaledOffset); }
};

struct TrueTypeGlyphHeader {
  int32_t xMin, yMin, xMax, yMax;
  bool composite;
  // The glyph's own instructions (a composite's follow its components).
  uint32_t instructionsOffset, instructionsLength;
};

// Reads one glyph record: a simple glyph's points are appended to `outline`
// (its contour ends counted from the outline's start), a composite's
// components to `components`. False for a glyph without data. Damaged data
// raises kBadData.
bool ReadTrueTypeGlyph(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, TrueTypeGlyphHeader& header,
                       TrueTypeOutline& outline, EngineArray<TrueTypeComponent>& components);

}  // namespace vn::fonts::parsers
