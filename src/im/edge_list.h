// The rasterizer's edges: a path's segments in device space, relative to the
// clip box, cut against a guard band and split into pieces monotone in x and
// y. Lines are stored with an exact slope; curves keep a forward-differencing
// stepper and hand out their chords one at a time, as the scan reaches them.
#pragma once

#include <algorithm>
#include <cstdint>

#include "im/raster_painter.h"
#include "im/work_counter.h"
#include "runtime/engine_array.h"

namespace vn::im::rasterizer_detail {

// Device coordinates in 16.16, relative to the clip box's top-left corner,
// in 64 bits: the matrix may send a point far beyond the 16.16 range.
struct WidePoint {
  int64_t x, y;
};

// The x of a segment at y: slopes carry 30 fraction bits, so an x is exact
// to a fraction of a 16.16 unit whatever the segment's length.
inline constexpr int kSlopeShift = 30;
inline int64_t SlopeOf(int32_t dx, int32_t dy) {
  return dy > 0 ? (static_cast<int64_t>(dx) * (int64_t{1} << kSlopeShift)) / dy : 0;
}

// The first pixel column a stretch of x from xMin to xMax touches, and one
// past the last; a vertical stretch on a pixel border touches none.
inline int32_t ColumnStart(int32_t xMin) { return xMin >> 16; }
inline int32_t ColumnEnd(int32_t xMin, int32_t xMax) {
  if (xMax > xMin) return ((xMax - 1) >> 16) + 1;
  return (xMin & 0xFFFF) != 0 ? (xMin >> 16) + 1 : xMin >> 16;
}

// Sorts what is nearly sorted (active edges from one row to the next) by
// insertion, falling back to a full sort when that turns out to be long.
template <class T, class Before>
void SortNearlySorted(T* items, uint32_t count, Before before) {
  uint64_t moves = 0;
  const uint64_t budget = 8 * static_cast<uint64_t>(count) + 64;
  for (uint32_t i = 1; i < count; ++i) {
    if (!before(items[i], items[i - 1])) continue;
    const T moving = items[i];
    uint32_t j = i;
    do {
      items[j] = items[j - 1];
      --j;
    } while (j > 0 && before(moving, items[j - 1]));
    items[j] = moving;
    moves += i - j;
    if (moves > budget) {
      std::sort(items, items + count, before);
      return;
    }
  }
}

// One edge, or for a curve its current chord. y0 <= y1 (stored top to
// bottom); `dir` is the winding contribution: +1 when the path ran downward,
// -1 upward, 0 for a horizontal edge (kept only to join its neighbours).
struct Edge {
  int32_t x0, y0, x1, y1;
  int64_t slope;
  int32_t yEnd;   // bottom of the whole edge
  int32_t curve;  // index of the curve's stepper; -1 for a line
  int32_t dir;    // border edges may carry the winding of many

  // x on the current segment at y (clamped to the segment).
  int32_t XAt(int32_t y) const {
    if (y <= y0) return x0;
    if (y >= y1) return x1;
    return x0 + static_cast<int32_t>((static_cast<int64_t>(y - y0) * slope) >> kSlopeShift);
  }
};

// A cubic monotone in x and y, top to bottom, to be flattened into 2^k
// chords.
struct CurveControl {
  int32_t x[4], y[4];
  uint8_t chordShift;  // k
};

// A curve edge while it is active: forward differencing on exact integers
// (coordinates scaled by 2^3k), so every chord end lies exactly on the curve.
struct CurveStepper {
  int64_t px, py, d1x, d1y, d2x, d2y, d3x, d3y;
  int32_t xEnd, yEnd;
  uint16_t stepsLeft;
  uint8_t shift;
};

// Edges of one fill. Coordinates outside the guard band are never stored:
// segments are split (in 64 bits) until each piece lies inside the safe
// region around the box or wholly beyond one side of the band; pieces above
// or below the band are dropped, pieces left or right of it become vertical
// edges on the band's border, which keep the winding of every pixel inside.
class EdgeList {
 public:
  // `width` and `height`: the clip box's size in pixels (at most kMaxBoxSide).
  EdgeList(AppContext& context, int32_t width, int32_t height, WorkCounter& work);

  void AddLine(WidePoint from, WidePoint to);
  void AddCurve(WidePoint p0, WidePoint p1, WidePoint p2, WidePoint p3);
  // Turns the border spans into edges; call once, after the last segment.
  void Finish();

  // Starts a curve edge over: its first chord, and the stepper for the rest.
  void StartCurve(Edge& edge, CurveStepper& stepper);
  // Moves a curve edge to its next chord; false when it has none left.
  bool NextChord(Edge& edge, CurveStepper& stepper);

  EngineArray<Edge>& Edges() { return edges_; }
  // Extent of the non-horizontal edges (16.16, box-relative); empty when
  // minX > maxX.
  int32_t MinX() const { return minX_; }
  int32_t MinY() const { return minY_; }
  int32_t MaxX() const { return maxX_; }
  int32_t MaxY() const { return maxY_; }
  uint32_t MemorySize() const { return edges_.MemorySize() + curves_.MemorySize(); }

  void Reset() {
    edges_.Reset();
    curves_.Reset();
    stack_.Reset();
    borders_.Reset();
    borderEvents_.Reset();
    netted_.Reset();
  }

 private:
  struct Bounds {
    int64_t x0, y0, x1, y1;
  };
  // A vertical stretch of path moved onto a band border; side 0 left.
  struct BorderSpan {
    int32_t top, bottom;
    int32_t dir;
    uint8_t side;
  };
  struct BorderEvent {
    int32_t y;
    int32_t delta;
  };
  static constexpr int kStackDepth = 64;

  // Which side of `region` all `count` points lie beyond: 1 left, 2 right,
  // 3 above, 4 below, 0 none.
  static int Beyond(const WidePoint* points, int count, const Bounds& region);
  static bool Inside(const WidePoint* points, int count, const Bounds& region);
  void ClipToBand(WidePoint a, WidePoint b);
  void EmitLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
  void EmitBorder(int64_t x, int64_t yFrom, int64_t yTo);
  void NetBorders();
  void EmitCurve(const WidePoint* p);
  void EmitMonotone(const WidePoint* p);
  void Widen(int32_t xa, int32_t ya, int32_t xb, int32_t yb);

  WorkCounter& work_;
  Bounds band_;  // the box and two pixels around it
  Bounds safe_;  // where coordinates may be stored
  EngineArray<Edge> edges_;
  EngineArray<CurveControl> curves_;
  EngineArray<WidePoint> stack_;  // pieces waiting to be split or stored
  EngineArray<BorderSpan> borders_;
  EngineArray<BorderEvent> borderEvents_;
  EngineArray<BorderSpan> netted_;
  uint32_t compactAt_ = 4096;  // border spans that trigger netting
  int32_t minX_, minY_, maxX_, maxY_;
};

// The largest clip box side the rasterizer takes (16.16 raw fits in 2^30).
inline constexpr int32_t kMaxBoxSide = 16384;

}  // namespace vn::im::rasterizer_detail
