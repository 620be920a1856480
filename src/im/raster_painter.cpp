#include "im/raster_painter.h"

#include <algorithm>

namespace vn::im {

PixelRect Intersect(const PixelRect& a, const PixelRect& b) {
  PixelRect r{std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
  if (r.Empty()) r = PixelRect{r.x0, r.y0, r.x0, r.y0};
  return r;
}

}  // namespace vn::im
