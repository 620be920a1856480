// The imaging benchmarks' peer: a tagged 16.16 path replayed into cairo.
#pragma once

#include <cairo.h>

#include <vector>

#include "im/path.h"

namespace vn::bench {

inline void AddPathToCairo(cairo_t* cr, const std::vector<im::PathPoint>& p) {
  auto x = [&](size_t i) { return im::PointX(p[i]) / 65536.0; };
  auto y = [&](size_t i) { return im::PointY(p[i]) / 65536.0; };
  for (size_t i = 0; i < p.size(); ++i) {
    switch (im::PointKind(p[i])) {
      case im::kMoveTo: cairo_move_to(cr, x(i), y(i)); break;
      case im::kLineTo: cairo_line_to(cr, x(i), y(i)); break;
      case im::kCurvePoint:
        cairo_curve_to(cr, x(i), y(i), x(i + 1), y(i + 1), x(i + 2), y(i + 2));
        i += 2;
        break;
      default: cairo_close_path(cr); break;
    }
  }
}

}  // namespace vn::bench
