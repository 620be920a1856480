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

// Component flags.
enum : uint16_t {
  kArgsAreWords = 0x0001,
  kArgsAreXY = 0x0002,
  kHaveScale = 0x0008,
  kMoreComponents = 0x0020,
  kHaveXYScale = 0x0040,
  kHaveTwoByTwo = 0x0080,
  kHaveInstructions = 0x0100,
  kScaledOffset = 0x0800,
  kUnscaledOffset = 0x1000,
};

class GlyphLoader {
 public:
  GlyphLoader(FontData& data, const TrueTypeGlyphTables& tables, TrueTypeOutline& outline)
      : context_(data.Context()), data_(data), tables_(tables), outline_(outline), bytes_(data.Context()) {}

  void Load(uint32_t glyph, uint32_t depth);

 private:
  [[noreturn]] void Bad() { RaiseBadData(context_); }
  // The glyph's byte range inside "glyf"; false for an empty glyph.
  bool Range(uint32_t glyph, uint32_t& start, uint32_t& length);
  void LoadSimple(ByteReader& r, uint32_t contours, uint32_t glyphStart);
  void LoadComposite(ByteReader r, uint32_t depth, uint32_t glyphStart);

  AppContext& context_;
  FontData& data_;
  const TrueTypeGlyphTables& tables_;
  TrueTypeOutline& outline_;
  FontBytes bytes_;
  uint32_t records_ = 0;
};

bool GlyphLoader::Range(uint32_t glyph, uint32_t& start, uint32_t& length) {
  if (glyph >= tables_.glyphCount) Bad();
  uint32_t from, to;
  if (tables_.longOffsets) {
    from = data_.U32(tables_.locaOffset + glyph * 4);
    to = data_.U32(tables_.locaOffset + glyph * 4 + 4);
  } else {
    from = data_.U16(tables_.locaOffset + glyph * 2) * 2u;
    to = data_.U16(tables_.locaOffset + glyph * 2 + 2) * 2u;
  }
  if (to <= from) return false;  // empty (or out of order: treated as empty)
  if (from >= tables_.glyfLength) Bad();
  // Subsetters leave the last entry past the table now and then: cut it.
  if (to > tables_.glyfLength) to = tables_.glyfLength;
  start = tables_.glyfOffset + from;
  length = to - from;
  return true;
}

void GlyphLoader::Load(uint32_t glyph, uint32_t depth) {
  if (depth > kMaxCompositeDepth || ++records_ > kMaxGlyphRecords) Bad();
  uint32_t start, length;
  if (!Range(glyph, start, length)) return;
  if (length < 10) Bad();
  int16_t contours = data_.S16(start);
  if (depth == 0) outline_.xMin = data_.S16(start + 2);
  if (contours >= 0) {
    const uint8_t* bytes = data_.Fetch(start, length, bytes_);
    ByteReader r(context_, bytes, length);
    r.Skip(10);
    LoadSimple(r, static_cast<uint32_t>(contours), start);
  } else {
    // Components are read from their own copy: loading a component reuses
    // the shared buffer.
    FontBytes own(context_);
    const uint8_t* bytes = data_.Fetch(start, length, own);
    ByteReader r(context_, bytes, length);
    r.Skip(10);
    LoadComposite(r, depth, start);
  }
}

void GlyphLoader::LoadSimple(ByteReader& r, uint32_t contours, uint32_t glyphStart) {
  const uint32_t base = outline_.points.Size();
  uint32_t previousEnd = 0;
  for (uint32_t c = 0; c < contours; ++c) {
    uint32_t end = r.U16();
    if (c > 0 && end <= previousEnd) Bad();
    previousEnd = end;
    outline_.contourEnds.Push(base + end);
  }
  uint32_t count = contours == 0 ? 0 : previousEnd + 1;
  uint32_t instructions = r.U16();
  outline_.instructionsOffset = glyphStart + r.Position();
  outline_.instructionsLength = instructions;
  r.Skip(instructions);
  if (base + static_cast<uint64_t>(count) > kMaxOutlinePoints) Bad();
  outline_.points.Resize(base + count);
  outline_.onCurve.Resize(base + count);
  // Flags, with repeats.
  for (uint32_t i = 0; i < count;) {
    uint8_t flag = r.U8();
    uint32_t repeat = (flag & kRepeat) ? r.U8() : 0;
    if (repeat >= count - i) repeat = count - i - 1;  // repeats past the end are ignored
    for (uint32_t k = 0; k <= repeat; ++k) outline_.onCurve[base + i++] = flag;
  }
  // x then y deltas; the flags array still holds the raw flags.
  for (int axis = 0; axis < 2; ++axis) {
    const uint8_t shortBit = axis == 0 ? kXShort : kYShort;
    const uint8_t sameBit = axis == 0 ? kXSameOrPositive : kYSameOrPositive;
    int32_t value = 0;
    for (uint32_t i = 0; i < count; ++i) {
      uint8_t flag = outline_.onCurve[base + i];
      if (flag & shortBit) {
        int32_t delta = r.U8();
        value += (flag & sameBit) ? delta : -delta;
      } else if (!(flag & sameBit)) {
        value += r.S16();
      }
      // Keep coordinates in the 16-bit range the format has.
      int32_t clamped = value < -32768 ? -32768 : (value > 32767 ? 32767 : value);
      (axis == 0 ? outline_.points[base + i].x : outline_.points[base + i].y) = clamped * 65536;
    }
  }
  for (uint32_t i = 0; i < count; ++i) outline_.onCurve[base + i] &= kOnCurve;
}

void GlyphLoader::LoadComposite(ByteReader r, uint32_t depth, uint32_t glyphStart) {
  uint16_t flags;
  do {
    flags = r.U16();
    uint32_t component = r.U16();
    int32_t arg1, arg2;
    if (flags & kArgsAreWords) {
      if (flags & kArgsAreXY) {
        arg1 = r.S16();
        arg2 = r.S16();
      } else {
        arg1 = r.U16();
        arg2 = r.U16();
      }
    } else if (flags & kArgsAreXY) {
      arg1 = r.S8();
      arg2 = r.S8();
    } else {
      arg1 = r.U8();
      arg2 = r.U8();
    }
    // The 2x2 transform in 2.14.
    int32_t xx = 0x4000, xy = 0, yx = 0, yy = 0x4000;
    bool transformed = true;
    if (flags & kHaveScale) {
      xx = yy = r.S16();
    } else if (flags & kHaveXYScale) {
      xx = r.S16();
      yy = r.S16();
    } else if (flags & kHaveTwoByTwo) {
      xx = r.S16();
      xy = r.S16();
      yx = r.S16();
      yy = r.S16();
    } else {
      transformed = false;
    }
    const uint32_t base = outline_.points.Size();
    // The parent's point for point matching must exist before the component loads.
    if (!(flags & kArgsAreXY) && static_cast<uint32_t>(arg1) >= base) Bad();
    Load(component, depth + 1);
    const uint32_t end = outline_.points.Size();
    if (transformed) {
      for (uint32_t i = base; i < end; ++i) {
        FixedPoint& p = outline_.points[i];
        int64_t x = (static_cast<int64_t>(p.x) * xx + static_cast<int64_t>(p.y) * yx) / 0x4000;
        int64_t y = (static_cast<int64_t>(p.x) * xy + static_cast<int64_t>(p.y) * yy) / 0x4000;
        p = FixedPoint{FixedSaturate(x), FixedSaturate(y)};
      }
    }
    Fixed16_16 dx, dy;
    if (flags & kArgsAreXY) {
      dx = arg1 * 65536;
      dy = arg2 * 65536;
      if (transformed && (flags & kScaledOffset) && !(flags & kUnscaledOffset)) {
        int64_t sx = (static_cast<int64_t>(dx) * xx + static_cast<int64_t>(dy) * yx) / 0x4000;
        int64_t sy = (static_cast<int64_t>(dx) * xy + static_cast<int64_t>(dy) * yy) / 0x4000;
        dx = FixedSaturate(sx);
        dy = FixedSaturate(sy);
      }
    } else {
      // Point matching: the component's point arg2 lands on the parent's arg1.
      if (static_cast<uint32_t>(arg2) >= end - base) Bad();
      const FixedPoint parent = outline_.points[static_cast<uint32_t>(arg1)];
      const FixedPoint child = outline_.points[base + static_cast<uint32_t>(arg2)];
      dx = FixedSubSat(parent.x, child.x);
      dy = FixedSubSat(parent.y, child.y);
    }
    if (dx != 0 || dy != 0) {
      for (uint32_t i = base; i < end; ++i) {
        outline_.points[i].x = FixedAddSat(outline_.points[i].x, dx);
        outline_.points[i].y = FixedAddSat(outline_.points[i].y, dy);
      }
    }
  } while (flags & kMoreComponents);
  outline_.instructionsOffset = 0;
  outline_.instructionsLength = 0;
  if ((flags & kHaveInstructions) && r.Remaining() >= 2) {
    uint32_t count = r.U16();
    if (count <= r.Remaining()) {
      outline_.instructionsOffset = glyphStart + r.Position();
      outline_.instructionsLength = count;
    }
  }
}

}  // namespace

void LoadTrueTypeGlyph(FontData& data, const TrueTypeGlyphTables& tables, uint32_t glyph, TrueTypeOutline& outline) {
  outline.Clear();
  outline.xMin = 0;
  Scoped<GlyphLoader> loader(data.Context(), data, tables, outline);
  loader->Load(glyph, 0);
}

}  // namespace vn::fonts::parsers
