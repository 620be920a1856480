#include "fonts/glyph_outline.h"

#include "runtime/error.h"

namespace vn::fonts {

void OutlineWriter::Count(uint32_t points) {
  points_ += points;
  if (points_ > kMaxOutlinePoints) RaiseBadData(context_);
}

void OutlineWriter::MoveTo(Fixed16_16 x, Fixed16_16 y) {
  Close();
  Count(1);
  current_ = Apply(transform_, x, y);
  sink_.MoveTo(current_);
  open_ = true;
}

void OutlineWriter::Reopen() {
  // Drawing after a close continues from the last point.
  Count(1);
  sink_.MoveTo(current_);
  open_ = true;
}

void OutlineWriter::LineTo(Fixed16_16 x, Fixed16_16 y) {
  if (!open_) Reopen();
  Count(1);
  current_ = Apply(transform_, x, y);
  sink_.LineTo(current_);
}

void OutlineWriter::CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3,
                            Fixed16_16 y3) {
  if (!open_) Reopen();
  Count(3);
  FixedPoint c1 = Apply(transform_, x1, y1);
  FixedPoint c2 = Apply(transform_, x2, y2);
  current_ = Apply(transform_, x3, y3);
  sink_.CurveTo(c1, c2, current_);
}

ScaledMatrix OutlineWriter::ShiftOrigin(Fixed16_16 x, Fixed16_16 y) {
  const ScaledMatrix previous = transform_;
  FixedPoint origin = Apply(transform_, x, y);
  transform_.tx = origin.x;
  transform_.ty = origin.y;
  return previous;
}

void OutlineWriter::Close() {
  if (!open_) return;
  Count(1);
  sink_.Close();
  open_ = false;
}

namespace {

// (a + b) / 2 without overflow, truncated.
Fixed16_16 Mid(Fixed16_16 a, Fixed16_16 b) { return static_cast<Fixed16_16>((static_cast<int64_t>(a) + b) / 2); }
FixedPoint Mid(FixedPoint a, FixedPoint b) { return FixedPoint{Mid(a.x, b.x), Mid(a.y, b.y)}; }

}  // namespace

void OutlineWriter::EmitQuadratic(FixedPoint from, FixedPoint control, FixedPoint to) {
  // The cubic with the same curve: control points two thirds of the way
  // from each end toward the quadratic's control point.
  auto third = [](Fixed16_16 end, Fixed16_16 q) {
    return FixedSaturate((static_cast<int64_t>(end) + 2 * static_cast<int64_t>(q)) / 3);
  };
  Count(3);
  FixedPoint c1{third(from.x, control.x), third(from.y, control.y)};
  FixedPoint c2{third(to.x, control.x), third(to.y, control.y)};
  sink_.CurveTo(c1, c2, to);
  current_ = to;
}

void OutlineWriter::QuadraticContour(const FixedPoint* points, const uint8_t* onCurve, uint32_t count) {
  Close();
  if (count == 0) return;
  // Transform first: the conversion to cubics is affine, and doing it in the
  // target space keeps its rounding below one unit there.
  auto at = [&](uint32_t i) { return Apply(transform_, points[i].x, points[i].y); };
  // The contour starts at its first on-curve point; when it has none, at the
  // midpoint of its first two points, which then continues with point 1.
  uint32_t first = count;
  for (uint32_t i = 0; i < count; ++i) {
    if (onCurve[i]) {
      first = i;
      break;
    }
  }
  const bool allOff = first == count;
  const FixedPoint start = allOff ? (count > 1 ? Mid(at(0), at(1)) : at(0)) : at(first);
  Count(1);
  sink_.MoveTo(start);
  open_ = true;
  current_ = start;
  bool pending = false;  // an off-curve control point waits
  FixedPoint control{0, 0};
  const uint32_t steps = allOff ? count : count - 1;
  for (uint32_t k = 0; k < steps; ++k) {
    uint32_t i = allOff ? (1 + k) % count : (first + 1 + k) % count;
    FixedPoint p = at(i);
    if (onCurve[i]) {
      if (pending) {
        EmitQuadratic(current_, control, p);
        pending = false;
      } else {
        Count(1);
        sink_.LineTo(p);
        current_ = p;
      }
    } else {
      // Between two off-curve points lies an implied on-curve midpoint.
      if (pending) EmitQuadratic(current_, control, Mid(control, p));
      control = p;
      pending = true;
    }
  }
  if (pending) EmitQuadratic(current_, control, start);
  Close();
}

}  // namespace vn::fonts
