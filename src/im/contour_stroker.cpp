#include "im/contour_stroker.h"

#include "runtime/fixed16_16.h"

namespace vn::im::stroker::stroker_detail {

namespace {

// 0.55228 in 16.16: the control factor of a cubic quarter circle.
constexpr int64_t kQuarterArc = 36194;
// Offset points this close count as one (no join between them).
constexpr int64_t kSamePoint = 16;

Vec Scaled(Vec v, int64_t factor16) { return Vec{(v.x * factor16) >> 16, (v.y * factor16) >> 16}; }
int64_t Cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
int64_t DotProduct(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
Vec Negated(Vec v) { return Vec{-v.x, -v.y}; }
// A quarter turn one way (the normal of a direction) and back.
Vec TurnLeft(Vec v) { return Vec{-v.y, v.x}; }
Vec TurnRight(Vec v) { return Vec{v.y, -v.x}; }

FixedPoint Out(Vec v) { return FixedPoint{FixedSaturate(v.x), FixedSaturate(v.y)}; }

}  // namespace

ContourStrokerThick::ContourStrokerThick(AppContext& context, const StrokeParams& params, PathWriter& out,
                                         WorkCounter& work)
    : params_(params), out_(out), work_(work), points_(context), normals_(context) {}

void ContourStrokerThick::MoveTo(Vec p) {
  out_.MoveTo(Out(p));
  current_ = p;
}

void ContourStrokerThick::LineTo(Vec p) {
  if (p == current_) return;
  out_.LineTo(Out(p));
  current_ = p;
}

void ContourStrokerThick::CurveTo(Vec c1, Vec c2, Vec p) {
  out_.CurveTo(Out(c1), Out(c2), Out(p));
  current_ = p;
}

Vec ContourStrokerThick::Normal(Vec a, Vec b) const {
  Vec d = b - a;
  while (d.x >= (int64_t{1} << 30) || d.x <= -(int64_t{1} << 30) || d.y >= (int64_t{1} << 30) ||
         d.y <= -(int64_t{1} << 30)) {
    d.x >>= 1;
    d.y >>= 1;
  }
  const int64_t length = Length(d);
  if (length == 0) return Vec{0, 0};
  return Vec{-d.y * params_.radius / length, d.x * params_.radius / length};
}

void ContourStrokerThick::StrokeContour(const ContourPoint* points, uint32_t count, bool closed, bool) {
  // Repeated points make no segments.
  points_.Clear();
  for (uint32_t i = 0; i < count; ++i) {
    if (!points_.Empty() && points_.Back().p == points[i].p) {
      points_.Back().curveVertex = points_.Back().curveVertex && points[i].curveVertex;
      continue;
    }
    points_.Push(points[i]);
  }
  if (closed && points_.Size() > 1 && points_.Back().p == points_[0].p) points_.Pop();
  const uint32_t n = points_.Size();
  if (n == 0) return;
  if (n == 1) {
    // All its points coincide: a dot with round caps, else nothing.
    if (params_.cap == kRoundCap) Dot(points_[0].p);
    return;
  }
  const uint32_t segments = closed ? n : n - 1;
  normals_.Resize(segments);
  for (uint32_t i = 0; i < segments; ++i) normals_[i] = Normal(points_[i].p, points_[(i + 1) % n].p);
  work_.Charge(200 * segments);
  if (closed) {
    StrokeClosed(n);
  } else {
    StrokeOpen(n);
  }
}

void ContourStrokerThick::StrokeOpen(uint32_t n) {
  const ContourPoint* v = points_.Data();
  const Vec* normal = normals_.Data();
  const uint32_t last = n - 2;  // the last segment
  // Left side forward, the end cap, right side backward, the start cap.
  MoveTo(v[0].p + normal[0]);
  LineTo(v[1].p + normal[0]);
  for (uint32_t i = 1; i <= last; ++i) {
    Join(v[i].p, normal[i - 1], normal[i], v[i].curveVertex);
    LineTo(v[i + 1].p + normal[i]);
  }
  Cap(v[n - 1].p, normal[last], TurnRight(normal[last]));
  LineTo(v[last].p - normal[last]);
  for (uint32_t i = last; i >= 1; --i) {
    Join(v[i].p, Negated(normal[i]), Negated(normal[i - 1]), v[i].curveVertex);
    LineTo(v[i - 1].p - normal[i - 1]);
  }
  Cap(v[0].p, Negated(normal[0]), TurnLeft(normal[0]));
  out_.Close();
}

void ContourStrokerThick::StrokeClosed(uint32_t n) {
  const ContourPoint* v = points_.Data();
  const Vec* normal = normals_.Data();
  // Two closed outlines with a join at every vertex, the seam included.
  MoveTo(v[0].p + normal[0]);
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t next = (i + 1) % n;
    LineTo(v[next].p + normal[i]);
    Join(v[next].p, normal[i], normal[next], v[next].curveVertex);
  }
  out_.Close();
  MoveTo(v[0].p - normal[n - 1]);
  for (uint32_t i = n; i-- > 0;) {
    const uint32_t previous = (i + n - 1) % n;
    LineTo(v[i].p - normal[i]);
    Join(v[i].p, Negated(normal[i]), Negated(normal[previous]), v[i].curveVertex);
  }
  out_.Close();
}

void ContourStrokerThick::Join(Vec v, Vec d1, Vec d2, bool curveVertex) {
  const Vec from = v + d1, to = v + d2;
  const Vec gap = to - from;
  if (gap.x <= kSamePoint && gap.x >= -kSamePoint && gap.y <= kSamePoint && gap.y >= -kSamePoint) return;
  const int64_t r2 = params_.radiusSquared;
  const int64_t cross = Cross(d1, d2);
  if (cross >= r2 / 100) {
    // The inside of the corner: through the vertex keeps it covered under
    // the nonzero rule.
    LineTo(v);
    LineTo(to);
    return;
  }
  const int32_t style = curveVertex ? kRoundJoin : params_.join;
  const int64_t dot = DotProduct(d1, d2);
  if (style == kMiterJoin) {
    // The miter point lies on the bisector at r / cos(theta / 2); it is
    // kept while that is at most r * miter limit.
    const int64_t sum = r2 + dot;  // 2 r^2 cos^2(theta / 2)
    if ((cross > 3 || cross < -3) && sum > 0) {
      const int64_t cosSquared = (sum << 15) / r2;  // cos^2(theta / 2) in 16.16
      const Fixed16_16 limitSquared = FixedMul(params_.miterLimit, params_.miterLimit);
      const int64_t least = limitSquared >= kFixedMax ? 0 : FixedDiv(kFixedOne, limitSquared);
      const int64_t ratio = (r2 << 16) / sum;  // r^2 / sum, 16.16
      if (cosSquared >= least && ratio < (int64_t{1} << 36)) {
        LineTo(v + Scaled(d1 + d2, ratio));
      }
    }
    LineTo(to);
    return;
  }
  if (style == kRoundJoin) {
    const int64_t r = params_.radius, t = params_.tolerance;
    if (dot > r2 - 4 * r * t + 2 * t * t) {
      LineTo(to);  // too small a turn to show an arc
    } else {
      Arc(v, d1, d2, TurnRight(d1));
    }
    return;
  }
  LineTo(to);  // bevel
}

void ContourStrokerThick::Arc(Vec c, Vec a, Vec b, Vec ahead) {
  if (DotProduct(a, b) >= 0) {
    ShortArc(c, a, b);
    return;
  }
  // More than a quarter turn: split at the bisector (on a half turn, the
  // point ahead).
  Vec middle = a + b;
  const int64_t length = Length(middle);
  if (length * 256 < params_.radius) {
    middle = ahead;
  } else {
    middle = Vec{middle.x * params_.radius / length, middle.y * params_.radius / length};
  }
  ShortArc(c, a, middle);
  ShortArc(c, middle, b);
}

void ContourStrokerThick::ShortArc(Vec c, Vec a, Vec b) {
  // One cubic for at most a quarter turn: control points along the
  // tangents at 4/3 tan(phi / 4) of the radius.
  const int64_t r2 = params_.radiusSquared;
  if (r2 == 0) {
    LineTo(c + b);
    return;
  }
  int64_t cosine = DotProduct(a, b) * 0x10000 / r2;
  cosine = cosine < 0 ? 0 : (cosine > kFixedOne ? kFixedOne : cosine);
  const Fixed16_16 halfCos = FixedSqrt(static_cast<Fixed16_16>((kFixedOne + cosine) >> 1));
  const Fixed16_16 halfSin = FixedSqrt(static_cast<Fixed16_16>((kFixedOne - cosine) >> 1));
  const int64_t k = static_cast<int64_t>(FixedDiv(halfSin, kFixedOne + halfCos)) * 4 / 3;
  const bool counter = Cross(a, b) >= 0;
  const Vec ta = counter ? TurnLeft(a) : TurnRight(a);
  const Vec tb = counter ? TurnLeft(b) : TurnRight(b);
  CurveTo(c + a + Scaled(ta, k), c + b - Scaled(tb, k), c + b);
}

void ContourStrokerThick::Cap(Vec e, Vec a, Vec out) {
  switch (params_.cap) {
    case kRoundCap:
      CurveTo(e + a + Scaled(out, kQuarterArc), e + out + Scaled(a, kQuarterArc), e + out);
      CurveTo(e + out - Scaled(a, kQuarterArc), e - a + Scaled(out, kQuarterArc), e - a);
      break;
    case kSquareCap:
      LineTo(e + a + out);
      LineTo(e - a + out);
      LineTo(e - a);
      break;
    default:
      LineTo(e - a);
      break;
  }
}

void ContourStrokerThick::Dot(Vec c) {
  const int64_t r = params_.radius;
  const Vec quarter[4] = {{r, 0}, {0, r}, {-r, 0}, {0, -r}};
  MoveTo(c + quarter[0]);
  for (int i = 0; i < 4; ++i) {
    const Vec a = quarter[i], b = quarter[(i + 1) % 4];
    CurveTo(c + a + Scaled(b, kQuarterArc), c + b + Scaled(a, kQuarterArc), c + b);
  }
  out_.Close();
}

}  // namespace vn::im::stroker::stroker_detail
