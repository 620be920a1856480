#include "im/path.h"

namespace vn::im {

bool PathIterator::Next(PathElement& element) {
  while (next_ < path_.count) {
    const PathPoint& p = path_.points[next_];
    const uint32_t kind = PointKind(p);
    FixedPoint to{PointX(p), PointY(p)};
    FixedPoint control1 = to, control2 = to;
    if (kind == kCurvePoint) {
      if (path_.count - next_ < 3) break;
      const PathPoint& second = path_.points[next_ + 1];
      const PathPoint& end = path_.points[next_ + 2];
      control2 = FixedPoint{PointX(second), PointY(second)};
      to = FixedPoint{PointX(end), PointY(end)};
      next_ += 3;
    } else {
      ++next_;
    }
    if (kind == kClosePath && !hasCurrent_) continue;  // nothing to close
    element.from = current_;
    if (kind == kMoveTo || !hasCurrent_) {
      // A segment with no current point starts the subpath at its end.
      element.kind = PathElement::kMove;
      start_ = to;
    } else if (kind == kLineTo) {
      element.kind = PathElement::kLine;
    } else if (kind == kCurvePoint) {
      element.kind = PathElement::kCurve;
      element.control1 = control1;
      element.control2 = control2;
    } else {
      element.kind = PathElement::kClose;
      to = start_;
    }
    element.to = current_ = to;
    hasCurrent_ = true;
    return true;
  }
  next_ = path_.count;
  return false;
}

}  // namespace vn::im
