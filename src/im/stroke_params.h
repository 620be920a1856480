// The stroke parameters, built once per stroke from the graphics state's
// stroke fields and the matrix (see stroke.h).
#pragma once

#include <cstdint>

#include "im/stroke.h"
#include "runtime/engine_array.h"

namespace vn::im::stroker::stroker_detail {

// Points and vectors of the stroker: 16.16 user-space values held in 64
// bits, so sums and offsets never wrap before they are written out.
struct Vec {
  int64_t x, y;
};
inline Vec operator+(Vec a, Vec b) { return Vec{a.x + b.x, a.y + b.y}; }
inline Vec operator-(Vec a, Vec b) { return Vec{a.x - b.x, a.y - b.y}; }
inline bool operator==(Vec a, Vec b) { return a.x == b.x && a.y == b.y; }

struct StrokeParams {
  Fixed16_16 scale;        // 1.0, or the wide-line factor every length is divided by
  Fixed16_16 width;        // at least a quarter of a device pixel
  int64_t radius;          // half the width
  int64_t radiusSquared;   // in 16.16 units squared (raw * raw)
  Fixed16_16 devicePixel;  // user length of one device pixel along the major axis
  Fixed16_16 tolerance;    // a quarter device pixel, at least 1/1024
  Fixed16_16 flatness;     // curves are flattened to this (a tenth of a pixel)
  Fixed16_16 miterLimit;
  int32_t join, cap;
  // Nothing of a segment beyond one side of the culling rectangle shows:
  // the clip box widened by what joins and caps may add, mapped to user
  // space (its bounding box), and the same box in device space, where a
  // rotated or sheared matrix leaves it tighter.
  FixedRect cull;
  bool deviceCulling;
  int64_t deviceCull[4];   // x0, y0, x1, y1 in 16.16 device units
  EngineArray<Fixed16_16> dash;  // lengths divided by scale
  Fixed16_16 dashPhase;
  FixedMatrix fillMatrix;

  explicit StrokeParams(AppContext& context) : dash(context) {}
};

// Builds the parameters; raises kLimitExceeded for lines too wide to scale.
void BuildStrokeParams(AppContext& context, const StrokeStyle& style, const FixedMatrix& ctm, const PixelRect& clip,
                       StrokeParams& params);

// A user-space point of the path in the stroker's space (divided by scale).
inline Vec ToStrokeSpace(const StrokeParams& params, FixedPoint p) {
  if (params.scale == kFixedOne) return Vec{p.x, p.y};
  return Vec{FixedDiv(p.x, params.scale), FixedDiv(p.y, params.scale)};
}

// True when nothing of the segment (or curve) with these control points
// can show.
bool Culled(const StrokeParams& params, const Vec* points, int count);

// The stretch of the segment a-b that may show, as fractions of it with 30
// fraction bits; false when none.
bool VisibleFractions(const StrokeParams& params, Vec a, Vec b, int64_t& enter, int64_t& leave);

// sqrt(v.x^2 + v.y^2) without overflow.
int64_t Length(Vec v);

}  // namespace vn::im::stroker::stroker_detail
