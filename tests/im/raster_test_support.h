// Small helpers shared by the imaging tests: building paths, rendering a
// path's coverage into a byte mask, and reading a painter's row.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/path.h"
#include "runtime/engine_new.h"

namespace vn::im::test {

// Builds a tagged path from pixel (or user) coordinates given as doubles.
class PathBuilder {
 public:
  PathBuilder& Move(double x, double y) { return Add(x, y, kMoveTo); }
  PathBuilder& Line(double x, double y) { return Add(x, y, kLineTo); }
  PathBuilder& Curve(double x1, double y1, double x2, double y2, double x3, double y3) {
    Add(x1, y1, kCurvePoint);
    Add(x2, y2, kCurvePoint);
    return Add(x3, y3, kCurvePoint);
  }
  PathBuilder& Close() { return Add(0, 0, kClosePath); }
  // A closed rectangle.
  PathBuilder& Rect(double x0, double y0, double x1, double y1) {
    return Move(x0, y0).Line(x1, y0).Line(x1, y1).Line(x0, y1).Close();
  }
  PathBuilder& Raw(Fixed16_16 x, Fixed16_16 y, uint32_t kind) {
    points.push_back(PackPoint(x, y, kind));
    return *this;
  }
  Path View() const { return Path{points.data(), static_cast<uint32_t>(points.size())}; }
  std::vector<PathPoint> points;

 private:
  PathBuilder& Add(double x, double y, uint32_t kind) {
    points.push_back(PackPoint(static_cast<Fixed16_16>(x * 65536.0), static_cast<Fixed16_16>(y * 65536.0), kind));
    return *this;
  }
};

inline FixedMatrix Scale(double sx, double sy, double tx = 0, double ty = 0) {
  return FixedMatrix{static_cast<Fixed16_16>(sx * 65536), 0, 0, static_cast<Fixed16_16>(sy * 65536),
                     static_cast<Fixed16_16>(tx * 65536), static_cast<Fixed16_16>(ty * 65536)};
}

// Coverage bytes of every pixel of `rect`, row-major.
struct CoverageMask {
  PixelRect rect;
  std::vector<uint8_t> bytes;
  int At(int x, int y) const { return bytes[static_cast<size_t>(y - rect.y0) * (rect.x1 - rect.x0) + (x - rect.x0)]; }
};

inline CoverageMask RenderCoverage(AppContext& context, const Path& path, const FixedMatrix& m,
                                   const PixelRect& clip, FillRule rule = kNonZero) {
  CoverageMask mask{clip, std::vector<uint8_t>(static_cast<size_t>(clip.x1 - clip.x0) * (clip.y1 - clip.y0), 0xEE)};
  Scoped<BezierRasterPainter> painter(context, context, path, m, clip, rule);
  painter->RenderMask(clip, mask.bytes.data(), clip.x1 - clip.x0);
  return mask;
}

// The runs of one row between x0 and x1 as (kind, end) pairs.
inline std::vector<std::pair<int, int>> RowRuns(BezierRasterPainter& painter, int y, int x0, int x1) {
  painter.SetScanline(y);
  std::vector<std::pair<int, int>> runs;
  for (int x = x0; x < x1;) {
    const PixelRun run = painter.RunAt(x);
    runs.push_back({run.kind, run.end});
    x = run.end;
  }
  return runs;
}

}  // namespace vn::im::test
