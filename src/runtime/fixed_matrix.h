// The 2x3 affine matrix of 16.16 values, points and rectangles, and the matrix
// operations the renderer and strokers share: concatenation, transforms,
// inverse, axis lengths, normalisation, line intersection and the overflow
// pre-check.
#pragma once

#include "runtime/fixed16_16.h"

namespace vn {

class AppContext;

// x' = a*x + c*y + tx, y' = b*x + d*y + ty. A plain 24-byte record.
struct FixedMatrix {
  Fixed16_16 a, b, c, d, tx, ty;
};
static_assert(sizeof(FixedMatrix) == 24);

struct FixedPoint {
  Fixed16_16 x, y;
};

struct FixedRect {
  Fixed16_16 x0, y0, x1, y1;
  bool operator==(const FixedRect&) const = default;
};

constexpr FixedMatrix IdentityMatrix() { return FixedMatrix{kFixedOne, 0, 0, kFixedOne, 0, 0}; }
bool IsIdentity(const FixedMatrix& m);
bool operator==(const FixedMatrix& l, const FixedMatrix& r);

// The matrix that applies `first`, then `then` (PDF's first x then; the
// content operator cm makes Concat(operand, ctm)). Products with FixedMul,
// sums saturating.
FixedMatrix Concat(const FixedMatrix& first, const FixedMatrix& then);

// The image of a point (with FixedMul and saturating sums).
FixedPoint TransformPoint(const FixedMatrix& m, FixedPoint p);
// The image of a distance vector: the 2x2 part only.
FixedPoint TransformVector(const FixedMatrix& m, FixedPoint v);
// The bounding box of the images of the rectangle's four corners,
// x0 <= x1 and y0 <= y1.
FixedRect TransformRect(const FixedMatrix& m, const FixedRect& r);

enum NormalizeMode : int {
  kNormalizeForDecomposition = 0,  // the largest entry into [1.0, 8.0]
  kNormalizeForInversion = 1,      // keep the determinant's products small
};

// Scales a, b, c, d by a power of two s chosen by `mode`. Returns true when
// they changed; `reciprocal` is then 1/s (1.0 otherwise).
bool Normalize(Fixed16_16& a, Fixed16_16& b, Fixed16_16& c, Fixed16_16& d, NormalizeMode mode,
               Fixed16_16& reciprocal);

// The inverse; raises kBadData for an all-zero or numerically singular matrix.
FixedMatrix Invert(AppContext& context, const FixedMatrix& m);

// The semi-axes of the image of the unit circle, larger first.
struct AxisPair {
  Fixed16_16 major, minor;
};
AxisPair AxisLengths(const FixedMatrix& m);

// The intersection of the line through p0, p1 with the line through q0, q1.
// With segmentsOnly it must lie on both segments. Returns false when there is
// none or it cannot be represented.
bool Intersect(FixedPoint p0, FixedPoint p1, FixedPoint q0, FixedPoint q1, bool segmentsOnly,
               FixedPoint& result);

// True when transforming any point of the rectangle cannot overflow.
bool TransformFits(const FixedMatrix& m, const FixedRect& extent);

}  // namespace vn
