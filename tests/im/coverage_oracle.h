// An independent reference for the rasterizer: the exact coverage of a
// polygon per pixel, in double precision, by horizontal sampling lines.
//
// Along one horizontal line the covered set is a union of exact intervals
// (the crossings sorted, the winding counted); each pixel takes the exact
// length of its part. Lines at the midpoints of kLines equal slices of a
// row integrate the coverage, which is linear between events, exactly
// except in the few slices that hold a vertex or a crossing (an error below
// 1e-5 of a pixel's area).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "im/path.h"
#include "runtime/fixed_matrix.h"

namespace vn::im::test {

struct DPoint {
  double x, y;
};
using Polygon = std::vector<DPoint>;  // closed implicitly

// Coverage in [0, 1] of every pixel of [x0, x1) x [y0, y1), row-major.
inline std::vector<double> ExactCoverage(const std::vector<Polygon>& contours, bool evenOdd, int x0, int y0, int x1,
                                         int y1, int lines = 512) {
  const int width = x1 - x0, height = y1 - y0;
  std::vector<double> out(static_cast<size_t>(width) * height, 0.0);
  struct Crossing {
    double x;
    int dir;
  };
  struct Segment {
    DPoint a, b;
  };
  std::vector<Crossing> crossings;
  std::vector<Segment> rowSegments;
  for (int row = 0; row < height; ++row) {
    const double rowTop = y0 + row, rowBottom = rowTop + 1;
    rowSegments.clear();
    for (const Polygon& poly : contours) {
      for (size_t i = 0; i < poly.size(); ++i) {
        const DPoint& a = poly[i];
        const DPoint& b = poly[(i + 1) % poly.size()];
        if (std::max(a.y, b.y) < rowTop || std::min(a.y, b.y) > rowBottom) continue;
        rowSegments.push_back({a, b});
      }
    }
    for (int k = 0; k < lines; ++k) {
      const double y = rowTop + (k + 0.5) / lines;
      crossings.clear();
      for (const Segment& segment : rowSegments) {
        const DPoint& a = segment.a;
        const DPoint& b = segment.b;
        if ((a.y <= y) == (b.y <= y)) continue;
        const double x = a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
        crossings.push_back({x, b.y > a.y ? 1 : -1});
      }
      std::sort(crossings.begin(), crossings.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
      int winding = 0;
      for (size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += crossings[i].dir;
        const bool inside = evenOdd ? (winding & 1) != 0 : winding != 0;
        if (!inside) continue;
        double from = std::max(crossings[i].x, double(x0)), to = std::min(crossings[i + 1].x, double(x1));
        for (double s = from; s < to;) {
          const int column = static_cast<int>(std::floor(s));
          const double end = std::min(to, column + 1.0);
          out[static_cast<size_t>(row) * width + (column - x0)] += (end - s) / lines;
          s = end;
        }
      }
    }
  }
  return out;
}

// The byte the rasterizer should give for an exact coverage.
inline int ExactByte(double coverage) {
  const int32_t v = static_cast<int32_t>(std::lround(std::clamp(coverage, 0.0, 1.0) * 65536.0));
  return v > 0x7FFF ? (v - 1) >> 8 : v >> 8;
}

// A point in 16.16 (rounded to the representable even values: the lowest
// bit carries the path tag).
inline Fixed16_16 ToFixed(double v) { return static_cast<Fixed16_16>(std::lround(v * 65536.0)) & ~1; }
inline double ToDouble(Fixed16_16 v) { return v / 65536.0; }

// The tagged path of the contours (each closed), and the contours as the
// path stores them (coordinates rounded the same way).
inline std::vector<PathPoint> ToPath(std::vector<Polygon>& contours) {
  std::vector<PathPoint> path;
  for (Polygon& poly : contours) {
    for (size_t i = 0; i < poly.size(); ++i) {
      poly[i] = DPoint{ToDouble(ToFixed(poly[i].x)), ToDouble(ToFixed(poly[i].y))};
      path.push_back(PackPoint(ToFixed(poly[i].x), ToFixed(poly[i].y), i == 0 ? kMoveTo : kLineTo));
    }
    path.push_back(PackPoint(ToFixed(poly[0].x), ToFixed(poly[0].y), kClosePath));
  }
  return path;
}

// A cubic flattened finely (in double), without its start point.
inline void FlattenCubic(DPoint p0, DPoint p1, DPoint p2, DPoint p3, int steps, Polygon& out) {
  for (int i = 1; i <= steps; ++i) {
    const double t = double(i) / steps, s = 1 - t;
    out.push_back({s * s * s * p0.x + 3 * s * s * t * p1.x + 3 * s * t * t * p2.x + t * t * t * p3.x,
                   s * s * s * p0.y + 3 * s * s * t * p1.y + 3 * s * t * t * p2.y + t * t * t * p3.y});
  }
}

}  // namespace vn::im::test
