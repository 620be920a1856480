#include "im/stroke_params.h"

#include "runtime/error.h"
#include "runtime/fixed16_16.h"

namespace vn::im::stroker::stroker_detail {

namespace {

// Beyond this width every length is scaled down (just under 90 units).
constexpr Fixed16_16 kWideLine = 0x59FFFF;
// Miter limits above this make the culling margin unbounded.
constexpr Fixed16_16 kCullMiterLimit = 0x140000;

Fixed16_16 Max(Fixed16_16 a, Fixed16_16 b) { return a > b ? a : b; }

// 1.0 / v, or the largest value when that overflows (v <= 0 included).
Fixed16_16 Reciprocal(Fixed16_16 numerator, Fixed16_16 v) {
  if (v <= 0 || FixedDivOverflows(numerator, v)) return kFixedMax;
  return FixedDiv(numerator, v);
}

FixedRect Unbounded() { return FixedRect{kFixedMin, kFixedMin, kFixedMax, kFixedMax}; }

FixedRect CullingRect(AppContext& context, const FixedMatrix& ctm, const PixelRect& clip, Fixed16_16 margin) {
  FixedMatrix inverse{};
  TryFrame frame;
  volatile bool invertible = true;
  if (VN_TRY(context, frame)) {
    inverse = Invert(context, ctm);
  } else {
    AbsorbOnly(context, frame, kBadData);
    invertible = false;
  }
  EndTry(frame);
  const FixedRect box{IntToFixed(clip.x0), IntToFixed(clip.y0), IntToFixed(clip.x1), IntToFixed(clip.y1)};
  if (!invertible || !TransformFits(inverse, box)) return Unbounded();
  const FixedRect user = TransformRect(inverse, box);
  return FixedRect{FixedSubSat(user.x0, margin), FixedSubSat(user.y0, margin), FixedAddSat(user.x1, margin),
                   FixedAddSat(user.y1, margin)};
}

}  // namespace

void BuildStrokeParams(AppContext& context, const StrokeStyle& style, const FixedMatrix& ctm, const PixelRect& clip,
                       StrokeParams& p) {
  const AxisPair axes = AxisLengths(ctm);
  p.devicePixel = Reciprocal(kFixedOne, axes.major);
  p.tolerance = Max(Reciprocal(kFixedOne / 4, axes.major), 64);
  p.flatness = Max(Reciprocal(kFixedOne / 10, axes.major), 64);
  // No line thinner than a quarter device pixel across its most compressed
  // direction: a hairline (width 0) draws as a faint line, as other viewers
  // draw it, and thin lines keep their relative weights.
  Fixed16_16 width = Max(style.lineWidth, Reciprocal(kFixedOne / 4, axes.minor));
  p.miterLimit = Max(style.miterLimit, kFixedOne);
  p.join = style.lineJoin;
  p.cap = style.lineCap;
  const bool unboundedMiter = p.join == kMiterJoin && p.miterLimit > kCullMiterLimit;
  const Fixed16_16 margin = FixedMul(2 * (p.join == kMiterJoin ? p.miterLimit : kFixedOne), width);
  p.cull = unboundedMiter ? Unbounded() : CullingRect(context, ctm, clip, margin);
  p.deviceCulling = !unboundedMiter;
  const int64_t deviceMargin = (static_cast<int64_t>(margin) * axes.major >> 16) + kFixedOne;
  p.deviceCull[0] = static_cast<int64_t>(clip.x0) * kFixedOne - deviceMargin;
  p.deviceCull[1] = static_cast<int64_t>(clip.y0) * kFixedOne - deviceMargin;
  p.deviceCull[2] = static_cast<int64_t>(clip.x1) * kFixedOne + deviceMargin;
  p.deviceCull[3] = static_cast<int64_t>(clip.y1) * kFixedOne + deviceMargin;

  // Wide lines: divide every length, and every point of the path, by a
  // common scale, and fill the outline with the matrix scaled by it.
  p.scale = kFixedOne;
  p.fillMatrix = ctm;
  if (width > kWideLine) {
    Fixed16_16 scale = width;
    const Fixed16_16 largest = Max(Max(FixedMagnitude(ctm.a), FixedMagnitude(ctm.b)),
                                   Max(FixedMagnitude(ctm.c), FixedMagnitude(ctm.d)));
    if (largest > kFixedOne) {
      const Fixed16_16 limit = FixedDiv(kFixedMax, largest);
      if (scale > limit) scale = limit;
    }
    width = FixedDiv(width, scale);
    if (width > kWideLine) RaiseCode(context, kLimitExceeded);
    p.scale = scale;
    p.devicePixel = FixedDiv(p.devicePixel, scale);
    p.tolerance = Max(FixedDiv(p.tolerance, scale), 64);
    p.flatness = Max(FixedDiv(p.flatness, scale), 64);
    if (p.cull.x0 != kFixedMin || p.cull.x1 != kFixedMax) {
      p.cull = FixedRect{FixedDiv(p.cull.x0, scale), FixedDiv(p.cull.y0, scale), FixedDiv(p.cull.x1, scale),
                         FixedDiv(p.cull.y1, scale)};
    }
    p.fillMatrix = FixedMatrix{FixedMul(ctm.a, scale), FixedMul(ctm.b, scale), FixedMul(ctm.c, scale),
                               FixedMul(ctm.d, scale), ctm.tx, ctm.ty};
  }
  p.width = width;
  p.radius = width >> 1;
  p.radiusSquared = p.radius * p.radius;
  p.dash.Clear();
  for (uint32_t i = 0; i < style.dashCount; ++i) {
    p.dash.Push(p.scale == kFixedOne ? style.dash[i] : FixedDiv(style.dash[i], p.scale));
  }
  p.dashPhase = p.scale == kFixedOne ? style.dashPhase : FixedDiv(style.dashPhase, p.scale);
}

namespace {

// A point of the stroker's space in 16.16 device units (64 bits: the
// matrix may send it far beyond the 16.16 range).
Vec ToDevice(const FixedMatrix& m, Vec p) {
  return Vec{((static_cast<int64_t>(m.a) * p.x) >> 16) + ((static_cast<int64_t>(m.c) * p.y) >> 16) + m.tx,
             ((static_cast<int64_t>(m.b) * p.x) >> 16) + ((static_cast<int64_t>(m.d) * p.y) >> 16) + m.ty};
}

bool Beyond(const int64_t* rect, const Vec* points, int count) {
  bool left = true, right = true, above = true, below = true;
  for (int i = 0; i < count; ++i) {
    left = left && points[i].x < rect[0];
    right = right && points[i].x > rect[2];
    above = above && points[i].y < rect[1];
    below = below && points[i].y > rect[3];
  }
  return left || right || above || below;
}

// num / den as a fraction with 30 fraction bits; both reduced first when
// large (the culling margins absorb the lost precision).
int64_t Fraction(int64_t num, int64_t den) {
  while (num >= (int64_t{1} << 32) || num <= -(int64_t{1} << 32) || den >= (int64_t{1} << 32) ||
         den <= -(int64_t{1} << 32)) {
    num /= 2;
    den /= 2;
  }
  if (den == 0) return num >= 0 ? int64_t{1} << 40 : -(int64_t{1} << 40);
  return num * (int64_t{1} << 30) / den;
}

// Liang-Barsky: narrows [enter, leave] to where the segment from a to b
// lies inside the rectangle; false when it never does.
bool Narrow(const int64_t* rect, Vec a, Vec b, int64_t& enter, int64_t& leave) {
  const int64_t start[2] = {a.x, a.y}, delta[2] = {b.x - a.x, b.y - a.y};
  for (int axis = 0; axis < 2; ++axis) {
    const int64_t low = rect[axis], high = rect[axis + 2];
    if (delta[axis] == 0) {
      if (start[axis] < low || start[axis] > high) return false;
      continue;
    }
    int64_t t0 = Fraction(low - start[axis], delta[axis]);
    int64_t t1 = Fraction(high - start[axis], delta[axis]);
    if (t0 > t1) {
      const int64_t t = t0;
      t0 = t1;
      t1 = t;
    }
    if (t0 > enter) enter = t0;
    if (t1 < leave) leave = t1;
  }
  return enter <= leave;
}

}  // namespace

bool Culled(const StrokeParams& params, const Vec* points, int count) {
  const int64_t user[4] = {params.cull.x0, params.cull.y0, params.cull.x1, params.cull.y1};
  if (Beyond(user, points, count)) return true;
  if (!params.deviceCulling) return false;
  Vec device[4];
  for (int i = 0; i < count; ++i) device[i] = ToDevice(params.fillMatrix, points[i]);
  return Beyond(params.deviceCull, device, count);
}

bool VisibleFractions(const StrokeParams& params, Vec a, Vec b, int64_t& enter, int64_t& leave) {
  enter = 0;
  leave = int64_t{1} << 30;
  const int64_t user[4] = {params.cull.x0, params.cull.y0, params.cull.x1, params.cull.y1};
  if (!Narrow(user, a, b, enter, leave)) return false;
  if (!params.deviceCulling) return true;
  return Narrow(params.deviceCull, ToDevice(params.fillMatrix, a), ToDevice(params.fillMatrix, b), enter, leave);
}

int64_t Length(Vec v) {
  uint64_t x = static_cast<uint64_t>(v.x < 0 ? -v.x : v.x), y = static_cast<uint64_t>(v.y < 0 ? -v.y : v.y);
  int shift = 0;
  while (x >= (uint64_t{1} << 31) || y >= (uint64_t{1} << 31)) {
    x >>= 1;
    y >>= 1;
    ++shift;
  }
  return static_cast<int64_t>(IntegerSqrt(x * x + y * y) << shift);
}

}  // namespace vn::im::stroker::stroker_detail
