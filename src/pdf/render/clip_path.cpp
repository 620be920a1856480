#include "pdf/render/clip_path.h"

#include <cstring>

namespace vn::pdf::render {

namespace {

// Device coordinates this close to a whole pixel count as on it: a fixed-
// point scale such as 150/72 puts integral page edges a few 1/65536 off.
constexpr Fixed16_16 kPixelSnap = 64;

bool NearWholePixel(Fixed16_16 v, int32_t& pixel) {
  pixel = FixedRound(v);
  const int64_t off = static_cast<int64_t>(v) - static_cast<int64_t>(pixel) * 65536;
  return off >= -kPixelSnap && off <= kPixelSnap;
}

// Reads the coverage of `clip` over `box` into `bytes`, and describes them
// as a pixel buffer of shape and alpha planes.
im::PixelBuffer RenderMask(EngineArray<uint8_t>& bytes, im::PainterInput& clip, const im::PixelRect& box) {
  const int32_t width = box.x1 - box.x0;
  bytes.Resize(static_cast<uint32_t>(width) * static_cast<uint32_t>(box.y1 - box.y0));
  for (int32_t y = box.y0; y < box.y1; ++y) {
    uint8_t* row = bytes.Data() + static_cast<size_t>(y - box.y0) * width - box.x0;
    clip.SetScanline(y);
    for (int32_t x = box.x0; x < box.x1;) {
      const im::PixelRun run = clip.RunAt(x);
      const int32_t end = run.end < box.x1 ? run.end : box.x1;
      if (run.kind == im::kRunFull) {
        std::memset(row + x, 255, static_cast<size_t>(end - x));
      } else if (run.kind == im::kRunPartial) {
        clip.Produce(x, end - x);
        const im::PixelBuffer& out = clip.Output();
        for (int32_t i = x; i < end; ++i) row[i] = out.alpha.Present() ? *out.At(out.alpha, i, y) : 255;
      }
      x = end;
    }
  }
  im::PixelBuffer mask;
  mask.x0 = box.x0;
  mask.y0 = box.y0;
  mask.x1 = box.x1;
  mask.y1 = box.y1;
  mask.rowStride = width;
  mask.shape = im::PixelPlane{bytes.Data(), 0, 1, 1};
  mask.alpha = mask.shape;
  return mask;
}

}  // namespace

MaskClip::MaskClip(AppContext& context, im::PainterInput& clip, const im::PixelRect& box)
    : bytes_(context), mask_(RenderMask(bytes_, clip, box)), maskIn_(mask_) {}

uint64_t ClipSignature(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule) {
  uint64_t hash = 0xCBF29CE484222325ull ^ static_cast<uint64_t>(rule);
  auto mix = [&hash](uint32_t v) { hash = (hash ^ v) * 0x100000001B3ull; };
  for (Fixed16_16 v : {matrix.a, matrix.b, matrix.c, matrix.d, matrix.tx, matrix.ty}) mix(static_cast<uint32_t>(v));
  mix(path.count);
  for (uint32_t i = 0; i < path.count; ++i) {
    mix(static_cast<uint32_t>(path.points[i].x));
    mix(static_cast<uint32_t>(path.points[i].y));
  }
  return hash;
}

PathClip::PathClip(AppContext& context, const im::Path& path, const FixedMatrix& matrix, const im::PixelRect& box,
                   im::FillRule rule, im::PainterInput& outer)
    : coverage_(context, path, matrix, box, rule), coverageIn_(coverage_), product_(context, coverageIn_, outer),
      productIn_(product_) {}

bool IsPixelAlignedRectangle(const im::Path& path, const FixedMatrix& matrix, im::PixelRect& rect) {
  // re gives move, three lines and a close; a drawn rectangle may instead
  // return to its start with a fourth line.
  if (path.count < 4 || path.count > 5) return false;
  if (im::PointKind(path.points[0]) != im::kMoveTo) return false;
  FixedPoint corners[4];
  for (uint32_t i = 0; i < path.count; ++i) {
    const uint32_t kind = im::PointKind(path.points[i]);
    if (i > 0 && i < 4 && kind != im::kLineTo) return false;
    const FixedPoint p = TransformPoint(matrix, FixedPoint{im::PointX(path.points[i]), im::PointY(path.points[i])});
    if (i < 4) {
      corners[i] = p;
    } else if (kind == im::kLineTo && (p.x != corners[0].x || p.y != corners[0].y)) {
      return false;
    } else if (kind != im::kLineTo && kind != im::kClosePath) {
      return false;
    }
  }
  // Consecutive corners share x or y alternately.
  const bool horizontalFirst = corners[0].y == corners[1].y;
  for (int i = 0; i < 4; ++i) {
    const FixedPoint& a = corners[i];
    const FixedPoint& b = corners[(i + 1) % 4];
    const bool horizontal = (i % 2 == 0) == horizontalFirst;
    if (horizontal ? a.y != b.y : a.x != b.x) return false;
  }
  int32_t x0, y0, x1, y1;
  if (!NearWholePixel(corners[0].x, x0) || !NearWholePixel(corners[2].x, x1) ||
      !NearWholePixel(corners[0].y, y0) || !NearWholePixel(corners[2].y, y1)) {
    return false;
  }
  rect = im::PixelRect{x0 < x1 ? x0 : x1, y0 < y1 ? y0 : y1, x0 < x1 ? x1 : x0, y0 < y1 ? y1 : y0};
  return true;
}

}  // namespace vn::pdf::render
