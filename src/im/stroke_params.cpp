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
  // No line thinner than a device pixel across its most compressed
  // direction.
  Fixed16_16 width = Max(style.lineWidth, Reciprocal(kFixedOne, axes.minor));
  p.miterLimit = Max(style.miterLimit, kFixedOne);
  p.join = style.lineJoin;
  p.cap = style.lineCap;
  const bool unboundedMiter = p.join == kMiterJoin && p.miterLimit > kCullMiterLimit;
  const Fixed16_16 margin = FixedMul(2 * (p.join == kMiterJoin ? p.miterLimit : kFixedOne), width);
  p.cull = unboundedMiter ? Unbounded() : CullingRect(context, ctm, clip, margin);

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

int BeyondCull(const StrokeParams& params, const Vec* points, int count) {
  const FixedRect& r = params.cull;
  bool left = true, right = true, above = true, below = true;
  for (int i = 0; i < count; ++i) {
    left = left && points[i].x < r.x0;
    right = right && points[i].x > r.x1;
    above = above && points[i].y < r.y0;
    below = below && points[i].y > r.y1;
  }
  return left ? 1 : right ? 2 : above ? 3 : below ? 4 : 0;
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
