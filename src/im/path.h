// The tagged path format every path of the engine uses: the display list
// stores it, the rasterizer fills it, the stroker reads and writes it.
//
// A path is a contiguous array of 16.16 points. The lowest bit of x and the
// lowest bit of y of each point carry a two-bit tag, tag = 2*(y bit) + x bit;
// the coordinate proper is the value with that bit cleared:
//   0 move to the point (starts a subpath)
//   1 line to the point
//   2 cubic curve: this point is the first control point, the next two points
//     are the second control point and the end point (their own tags are not
//     read; the path builders tag all three 2)
//   3 close the subpath (a line back to its first point; the point's own
//     coordinates are not used)
#pragma once

#include <cstdint>

#include "runtime/engine_array.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {

struct PathPoint {
  Fixed16_16 x, y;
};

enum PathPointKind : uint32_t { kMoveTo = 0, kLineTo = 1, kCurvePoint = 2, kClosePath = 3 };

inline PathPoint PackPoint(Fixed16_16 x, Fixed16_16 y, uint32_t kind) {
  return PathPoint{static_cast<Fixed16_16>((static_cast<uint32_t>(x) & ~1u) | (kind & 1u)),
                   static_cast<Fixed16_16>((static_cast<uint32_t>(y) & ~1u) | ((kind >> 1) & 1u))};
}
inline uint32_t PointKind(const PathPoint& p) {
  return (static_cast<uint32_t>(p.x) & 1u) | ((static_cast<uint32_t>(p.y) & 1u) << 1);
}
inline Fixed16_16 PointX(const PathPoint& p) { return static_cast<Fixed16_16>(static_cast<uint32_t>(p.x) & ~1u); }
inline Fixed16_16 PointY(const PathPoint& p) { return static_cast<Fixed16_16>(static_cast<uint32_t>(p.y) & ~1u); }

// A path as handed around: contiguous points, owned elsewhere.
struct Path {
  const PathPoint* points;
  uint32_t count;
};

// The four corners of `box` as a closed path.
struct BoxPath {
  explicit BoxPath(const FixedRect& box)
      : points{PackPoint(box.x0, box.y0, kMoveTo), PackPoint(box.x1, box.y0, kLineTo),
               PackPoint(box.x1, box.y1, kLineTo), PackPoint(box.x0, box.y1, kLineTo),
               PackPoint(box.x0, box.y0, kClosePath)} {}
  Path View() const { return Path{points, 5}; }
  PathPoint points[5];
};

// One element of a path as the iterator reports it. `from` is the current
// point before the element; `to` its end; a curve also has its two control
// points. A close reports the line back to the subpath's start (`to`).
struct PathElement {
  enum Kind : uint8_t { kMove, kLine, kCurve, kClose };
  Kind kind;
  FixedPoint from;
  FixedPoint control1, control2;  // curves only
  FixedPoint to;
};

// Walks a path element by element, keeping the current point and the
// subpath's start. A line or curve with no current point starts a subpath
// at its end (as the content operators do); a curve cut short by the end of
// the path is dropped.
class PathIterator {
 public:
  explicit PathIterator(const Path& path) : path_(path) {}
  // The next element; false at the end of the path.
  bool Next(PathElement& element);
  // Index of the next point to be read (for work accounting).
  uint32_t Position() const { return next_; }

 private:
  Path path_;
  uint32_t next_ = 0;
  bool hasCurrent_ = false;
  FixedPoint current_ = {0, 0};
  FixedPoint start_ = {0, 0};
};

// A growable path in engine memory, written element by element.
class PathWriter {
 public:
  explicit PathWriter(AppContext& context) : points_(context) {}

  void MoveTo(FixedPoint p) {
    start_ = p;
    points_.Push(PackPoint(p.x, p.y, kMoveTo));
  }
  void LineTo(FixedPoint p) { points_.Push(PackPoint(p.x, p.y, kLineTo)); }
  void CurveTo(FixedPoint c1, FixedPoint c2, FixedPoint p) {
    points_.Push(PackPoint(c1.x, c1.y, kCurvePoint));
    points_.Push(PackPoint(c2.x, c2.y, kCurvePoint));
    points_.Push(PackPoint(p.x, p.y, kCurvePoint));
  }
  // The close point carries the subpath's start, as the display list's does.
  void Close() { points_.Push(PackPoint(start_.x, start_.y, kClosePath)); }
  void Clear() { points_.Clear(); }

  uint32_t Size() const { return points_.Size(); }
  PathPoint& At(uint32_t i) { return points_[i]; }
  Path View() const { return Path{points_.Data(), points_.Size()}; }
  // The last point written, untagged (the caller knows one was written).
  FixedPoint Last() const {
    const PathPoint& p = points_[points_.Size() - 1];
    return FixedPoint{PointX(p), PointY(p)};
  }
  // Replaces the coordinates of the last point, keeping its tag.
  void MoveLast(FixedPoint p) {
    PathPoint& last = points_[points_.Size() - 1];
    last = PackPoint(p.x, p.y, PointKind(last));
  }
  uint32_t MemorySize() const { return points_.MemorySize(); }

 private:
  EngineArray<PathPoint> points_;
  FixedPoint start_ = {0, 0};
};

}  // namespace vn::im
