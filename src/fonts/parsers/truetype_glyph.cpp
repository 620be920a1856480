#include "fonts/parsers/truetype_glyph.h"

#include "fonts/byte_reader.h"
#include "fonts/glyph_outline.h"
#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::fonts::parsers {

namespace {

// Simple-glyph flags.
enum : uint8_t {
  kOnCurve = 0x01,
  kXShort = 0x02,
  kYShort = 0x04,
  kRepeat = 0x08,
  kXSameOrPositive = 0x10,
  kYSameOrPositive = 0x20,
};

// Component flags read here only.
enum : uint16_t {
  kArgsAreWords = 0x0001,
  kHaveScale = 0x0008,
  kMoreComponents = 0x0020,
  kHaveXYScale = 0x0040,
  kHaveTwoByTwo = 0x0080,
  kHaveInstructions = 0x0100,
};

// The byte range of a glyph inside "glyf"; false for an empty glyph.
bool GlyphRange(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, uint32_t& start, uint32_t& length) {
  AppContext& context = data.Context();
  if (glyph >= tables.glyphCount) RaiseBadData(context);
  uint32_t from, to;
  if (tables.longOffsets) {
    from = data.U32(tables.locaOffset + glyph * 4);
    to = data.U32(tables.locaOffset + glyph * 4 + 4);
  } else {
    from = data.U16(tables.locaOffset + glyph * 2) * 2u;
    to = data.U16(tables.locaOffset + glyph * 2 + 2) * 2u;
  }
  if (to <= from) return false;  // empty (or out of order: treated as empty)
  if (from >= tables.glyfLength) RaiseBadData(context);
  // Subsetters leave the last entry past the table now and then: cut it.
  if (to > tables.glyfLength) to = tables.glyfLength;
  start = tables.glyfOffset + from;
  length = to - from;
  return true;
}

void ReadSimple(AppContext& context, ByteReader& r, uint32_t contours, uint32_t glyphStart, TrueTypeGlyphHeader& header,
                TrueTypeOutline& outline) {
  const uint32_t base = outline.points.Size();
  uint32_t previousEnd = 0;
  for (uint32_t c = 0; c < contours; ++c) {
    uint32_t end = r.U16();
    if (c > 0 && end <= previousEnd) RaiseBadData(context);
    previousEnd = end;
    outline.contourEnds.Push(base + end);
  }
  uint32_t count = contours == 0 ? 0 : previousEnd + 1;
  uint32_t instructions = r.U16();
  header.instructionsOffset = glyphStart + r.Position();
  header.instructionsLength = instructions;
  r.Skip(instructions);
  if (base + static_cast<uint64_t>(count) > kMaxOutlinePoints) RaiseBadData(context);
  outline.points.Resize(base + count);
  outline.onCurve.Resize(base + count);
  // Flags, with repeats.
  for (uint32_t i = 0; i < count;) {
    uint8_t flag = r.U8();
    uint32_t repeat = (flag & kRepeat) ? r.U8() : 0;
    if (repeat >= count - i) repeat = count - i - 1;  // repeats past the end are ignored
    for (uint32_t k = 0; k <= repeat; ++k) outline.onCurve[base + i++] = flag;
  }
  // x then y deltas; the flags array still holds the raw flags.
  for (int axis = 0; axis < 2; ++axis) {
    const uint8_t shortBit = axis == 0 ? kXShort : kYShort;
    const uint8_t sameBit = axis == 0 ? kXSameOrPositive : kYSameOrPositive;
    int32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t flag = outline.onCurve[base + i];
      if (flag & shortBit) {
        int32_t delta = r.U8();
        value += (flag & sameBit) ? delta : -delta;
      } else if (!(flag & sameBit)) {
        value += r.S16();
      }
      // Keep coordinates in the 16-bit range the format has.
      int32_t clamped = value < -32768 ? -32768 : (value > 32767 ? 32767 : value);
      (axis == 0 ? outline.points[base + i].x : outline.points[base + i].y) = clamped * 65536;
    }
  }
  for (uint32_t i = 0; i < count; ++i) outline.onCurve[base + i] &= kOnCurve;
}

void ReadComponents(ByteReader& r, uint32_t glyphStart, TrueTypeGlyphHeader& header,
                    EngineArray<TrueTypeComponent>& components) {
  uint16_t flags;
  do {
    TrueTypeComponent c{};
    flags = c.flags = r.U16();
    c.glyph = r.U16();
    const bool xy = flags & TrueTypeComponent::kArgsAreXY;
    if (flags & kArgsAreWords) {
      c.arg1 = xy ? r.S16() : r.U16();
      c.arg2 = xy ? r.S16() : r.U16();
    } else {
      c.arg1 = xy ? r.S8() : r.U8();
      c.arg2 = xy ? r.S8() : r.U8();
    }
    c.xx = c.yy = 0x4000;
    c.transformed = true;
    if (flags & kHaveScale) {
      c.xx = c.yy = r.S16();
    } else if (flags & kHaveXYScale) {
      c.xx = r.S16();
      c.yy = r.S16();
    } else if (flags & kHaveTwoByTwo) {
      c.xx = r.S16();
      c.xy = r.S16();
      c.yx = r.S16();
      c.yy = r.S16();
    } else {
      c.transformed = false;
    }
    components.Push(c);
  } while (flags & kMoreComponents);
  header.instructionsOffset = 0;
  header.instructionsLength = 0;
  if ((flags & kHaveInstructions) && r.Remaining() >= 2) {
    uint32_t count = r.U16();
    if (count <= r.Remaining()) {
      header.instructionsOffset = glyphStart + r.Position();
      header.instructionsLength = count;
    }
  }
}

class GlyphLoader {
 public:
  GlyphLoader(FontData& data, const TrueTypeGlyphTables& tables, TrueTypeOutline& outline)
      : context_(data.Context()), data_(data), tables_(tables), outline_(outline) {}

  void Load(uint32_t glyph, uint32_t depth);

 private:
  AppContext& context_;
  FontData& data_;
  const TrueTypeGlyphTables& tables_;
  TrueTypeOutline& outline_;
  uint32_t records_ = 0;
};

void GlyphLoader::Load(uint32_t glyph, uint32_t depth) {
  if (depth > kMaxCompositeDepth || ++records_ > kMaxGlyphRecords) RaiseBadData(context_);
  TrueTypeGlyphHeader header;
  EngineArray<TrueTypeComponent> components(context_);
  if (!ReadTrueTypeGlyph(data_, tables_, glyph, header, outline_, components)) return;
  if (depth == 0) outline_.xMin = header.xMin;
  outline_.instructionsOffset = header.instructionsOffset;
  outline_.instructionsLength = header.instructionsLength;
  if (!header.composite) return;
  for (const TrueTypeComponent& c : components) {
    const uint32_t base = outline_.points.Size();
    // The parent's point for point matching must exist before the component loads.
    if (!(c.flags & TrueTypeComponent::kArgsAreXY) && static_cast<uint32_t>(c.arg1) >= base) RaiseBadData(context_);
    Load(c.glyph, depth + 1);
    const uint32_t end = outline_.points.Size();
    if (c.transformed) {
      for (uint32_t i = base; i < end; ++i) {
        FixedPoint& p = outline_.points[i];
        int64_t x = (static_cast<int64_t>(p.x) * c.xx + static_cast<int64_t>(p.y) * c.yx) / 0x4000;
        int64_t y = (static_cast<int64_t>(p.x) * c.xy + static_cast<int64_t>(p.y) * c.yy) / 0x4000;
        p = FixedPoint{FixedSaturate(x), FixedSaturate(y)};
      }
    }
    Fixed16_16 dx, dy;
    if (c.flags & TrueTypeComponent::kArgsAreXY) {
      dx = c.arg1 * 65536;
      dy = c.arg2 * 65536;
      if (c.OffsetTransformed()) {
        int64_t sx = (static_cast<int64_t>(dx) * c.xx + static_cast<int64_t>(dy) * c.yx) / 0x4000;
        int64_t sy = (static_cast<int64_t>(dx) * c.xy + static_cast<int64_t>(dy) * c.yy) / 0x4000;
        dx = FixedSaturate(sx);
        dy = FixedSaturate(sy);
      }
    } else {
      // Point matching: the component's point arg2 lands on the parent's arg1.
      if (static_cast<uint32_t>(c.arg2) >= end - base) RaiseBadData(context_);
      const FixedPoint parent = outline_.points[static_cast<uint32_t>(c.arg1)];
      const FixedPoint child = outline_.points[base + static_cast<uint32_t>(c.arg2)];
      dx = FixedSubSat(parent.x, child.x);
      dy = FixedSubSat(parent.y, child.y);
    }
    if (dx != 0 || dy != 0) {
      for (uint32_t i = base; i < end; ++i) {
        outline_.points[i].x = FixedAddSat(outline_.points[i].x, dx);
        outline_.points[i].y = FixedAddSat(outline_.points[i].y, dy);
      }
    }
  }
  // A composite's instructions are its own, not its last component's.
  outline_.instructionsOffset = header.instructionsOffset;
  outline_.instructionsLength = header.instructionsLength;
}

}  // namespace

bool ReadTrueTypeGlyph(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, TrueTypeGlyphHeader& header,
                       TrueTypeOutline& outline, EngineArray<TrueTypeComponent>& components) {
  AppContext& context = data.Context();
  uint32_t start, length;
  header = TrueTypeGlyphHeader{0, 0, 0, 0, false, 0, 0};
  if (!GlyphRange(data, tables, glyph, start, length)) return false;
  if (length < 10) RaiseBadData(context);
  FontBytes bytes(context);
  ByteReader r(context, data.Fetch(start, length, bytes), length);
  const int16_t contours = r.S16();
  header.xMin = r.S16();
  header.yMin = r.S16();
  header.xMax = r.S16();
  header.yMax = r.S16();
  header.composite = contours < 0;
  if (header.composite) {
    ReadComponents(r, start, header, components);
  } else {
    ReadSimple(context, r, static_cast<uint32_t>(contours), start, header, outline);
  }
  return true;
}

void LoadTrueTypeGlyph(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, TrueTypeOutline& outline) {
  outline.Clear();
  outline.xMin = 0;
  Scoped<GlyphLoader> loader(data.Context(), data, tables, outline);
  loader->Load(glyph, 0);
}

}  // namespace vn::fonts::parsers
