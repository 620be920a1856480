// cairo as the reference renderer of the imaging tests: the same tagged
// path filled or stroked into an A8 mask.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "im/path.h"
#include "im/stroke.h"
#include "runtime/fixed_matrix.h"

namespace vn::im::test {

inline double FixedToDouble(Fixed16_16 v) { return v / 65536.0; }

inline void AddCairoPath(cairo_t* cr, const std::vector<PathPoint>& p) {
  for (size_t i = 0; i < p.size(); ++i) {
    const double x = FixedToDouble(PointX(p[i])), y = FixedToDouble(PointY(p[i]));
    switch (PointKind(p[i])) {
      case kMoveTo: cairo_move_to(cr, x, y); break;
      case kLineTo: cairo_line_to(cr, x, y); break;
      case kCurvePoint:
        cairo_curve_to(cr, x, y, FixedToDouble(PointX(p[i + 1])), FixedToDouble(PointY(p[i + 1])),
                       FixedToDouble(PointX(p[i + 2])), FixedToDouble(PointY(p[i + 2])));
        i += 2;
        break;
      default: cairo_close_path(cr); break;
    }
  }
}

// Coverage bytes, width * height, of the path stroked by cairo under `m`.
// `widthOverride` > 0 replaces the style's width (in user units).
inline std::vector<uint8_t> CairoStroke(const std::vector<PathPoint>& path, const StrokeStyle& style,
                                        const FixedMatrix& m, int width, int height, double widthOverride = 0) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, FixedToDouble(m.a), FixedToDouble(m.b), FixedToDouble(m.c), FixedToDouble(m.d),
                    FixedToDouble(m.tx), FixedToDouble(m.ty));
  cairo_set_matrix(cr, &matrix);
  AddCairoPath(cr, path);
  cairo_set_line_width(cr, widthOverride > 0 ? widthOverride : FixedToDouble(style.lineWidth));
  cairo_set_miter_limit(cr, FixedToDouble(style.miterLimit));
  static const cairo_line_join_t joins[3] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_BEVEL};
  static const cairo_line_cap_t caps[3] = {CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_SQUARE};
  cairo_set_line_join(cr, joins[style.lineJoin]);
  cairo_set_line_cap(cr, caps[style.lineCap]);
  std::vector<double> dashes;
  for (uint32_t i = 0; i < style.dashCount; ++i) dashes.push_back(FixedToDouble(style.dash[i]));
  if (!dashes.empty()) cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), FixedToDouble(style.dashPhase));
  cairo_stroke(cr);
  cairo_surface_flush(surface);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out[static_cast<size_t>(y) * width + x] = data[y * stride + x];
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace vn::im::test
