// Strokes: a path and the stroke parameters of the graphics state become an
// outline path, which the rasterizer fills with the nonzero rule.
//
// The outline is computed in user space (before the current matrix), with
// tolerances taken from the matrix so that it is accurate to a fraction of a
// device pixel:
//   - curves are flattened to within 1/10 device pixel;
//   - no line is thinner than a quarter device pixel (a zero-width line
//     draws as a faint hairline, as other viewers draw it, and thin lines
//     keep their relative weights);
//   - joins (miter with its limit, round, bevel), caps (butt, round,
//     projecting square), dashes with their phase (a zero-length dash with
//     round caps is a dot), closed and open subpaths;
//   - segments and dashes that cannot reach the clip box are skipped;
//   - a matrix that collapses the plane onto a line strokes nothing.
// Lines wider than about 90 units are stroked in a scaled space: every
// length and every point is divided by a common factor and the matrix to
// fill the outline with is scaled by it, so the outline comes out right
// whatever its size.
//
// Usage:
//   StrokeStyle style{width, miterLimit, join, cap, dash, dashCount, phase};
//   PathWriter outline(context);
//   FixedMatrix fill;
//   StrokeOutline(context, path, style, ctm, clipBox, outline, fill);
//   Scoped<BezierRasterPainter> shape(context, context, outline.View(), fill, clipBox, kNonZero);
#pragma once

#include <cstdint>

#include "im/path.h"
#include "im/raster_painter.h"
#include "runtime/fixed_matrix.h"

namespace vn::im {

enum LineJoin : int32_t { kMiterJoin = 0, kRoundJoin = 1, kBevelJoin = 2 };
enum LineCap : int32_t { kButtCap = 0, kRoundCap = 1, kSquareCap = 2 };

struct StrokeStyle {
  Fixed16_16 lineWidth = kFixedOne;
  Fixed16_16 miterLimit = 10 * kFixedOne;
  int32_t lineJoin = kMiterJoin;
  int32_t lineCap = kButtCap;
  const Fixed16_16* dash = nullptr;  // dashCount lengths; none: a solid line
  uint32_t dashCount = 0;
  Fixed16_16 dashPhase = 0;
};

// Appends the outline of `path` stroked with `style` to `outline`, and sets
// `fillMatrix` to the matrix to fill it with (the CTM, or the CTM scaled for
// wide lines). `clip` is the device box that will be filled. Raises
// kLimitExceeded for a line too wide to be scaled into range,
// kOutOfMemory when the outline does not fit the budget, kCancelled when
// the thread is killed while it works.
void StrokeOutline(AppContext& context, const Path& path, const StrokeStyle& style, const FixedMatrix& ctm,
                   const PixelRect& clip, PathWriter& outline, FixedMatrix& fillMatrix);

}  // namespace vn::im
