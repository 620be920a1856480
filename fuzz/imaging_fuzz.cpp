// The imaging core on arbitrary paths, matrices, clip boxes, fill rules and
// stroke parameters, rendered into a small page through the painter chains.
//
//   byte 0      bit 0 fill rule, bit 1 fill, bit 2 stroke, bit 3 clip by the
//               path itself (else by a rectangle), bit 4 general chain (else
//               the flat-colour fast path), bits 5-6 line join, bit 7 round caps
//   bytes 1-18  the matrix: six entries of 3 bytes, int16 << (byte & 31)
//   bytes 19-22 the clip box: x0, y0 (int8), width, height (mod 65)
//   bytes 23-25 line width: uint16 << (byte & 31)
//   byte 26     miter limit (units, 0-255)
//   byte 27     low 2 bits: dash count (0-3); bits 2-7: projecting caps when set
//   bytes 28-36 three dash lengths: int16 << (byte & 31) each (3 bytes)
//   bytes 37-39 dash phase: int16 << (byte & 31)
//   then the path, 5 bytes a point: [0] tag (low 2 bits) and shift (high 5
//   bits), [1-2] x and [3-4] y as int16, shifted left by the shift.
// Out of memory (long dashes) and a limit (lines too wide to scale) are
// acceptable ends; any other error, a crash, a hang or a budget breach is a
// fault.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_context.h"
#include "im/bezier_raster_painter.h"
#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/raster_compositing.h"
#include "im/stroke.h"
#include "runtime/engine_new.h"

namespace {

constexpr size_t kHeader = 40;
constexpr size_t kMaxPoints = 2000;

int32_t Shifted(const uint8_t* p) {
  const int64_t v = static_cast<int16_t>(p[0] | (p[1] << 8));
  const int shift = p[2] & 31;
  const int64_t r = v * (int64_t{1} << shift);
  return r > 0x7FFFFFFF ? 0x7FFFFFFF : (r < -0x7FFFFFFF ? -0x7FFFFFFF : static_cast<int32_t>(r));
}

int32_t PointValue(const uint8_t* p, int shift) {
  const int64_t r = static_cast<int64_t>(static_cast<int16_t>(p[0] | (p[1] << 8))) * (int64_t{1} << shift);
  return r > 0x7FFFFFFE ? 0x7FFFFFFE : (r < -0x7FFFFFFE ? -0x7FFFFFFE : static_cast<int32_t>(r));
}

// Paints `shape` in a flat colour through `clip` into the page.
void Paint(vn::AppContext& context, vn::im::PainterInput& page, vn::im::PainterInput& clip,
           vn::im::PainterInput& shape, bool general, const vn::im::PixelRect& area) {
  using namespace vn::im;
  WorkCounter work(context);
  FlatColor color(200, 30, 90, general ? 180 : 255);
  if (!general) {
    ClipperRasterPainter mark(clip, page, shape, color);
    PaintRows(work, mark, area);
    return;
  }
  FastPixelBufferRasterPainter source(color.buffer);
  RasterPainterImpl<FastPixelBufferRasterPainter> sourceIn(source);
  vn::Scoped<MarkChain> mark(context, context, clip, page, shape, sourceIn);
  PaintRows(work, mark->Painter(), area);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vn::im;
  if (size < kHeader) return 0;
  const uint8_t flags = data[0];
  const vn::FixedMatrix m{Shifted(data + 1), Shifted(data + 4), Shifted(data + 7),
                          Shifted(data + 10), Shifted(data + 13), Shifted(data + 16)};
  const PixelRect clip{static_cast<int8_t>(data[19]), static_cast<int8_t>(data[20]),
                       static_cast<int8_t>(data[19]) + data[21] % 65, static_cast<int8_t>(data[20]) + data[22] % 65};
  vn::Fixed16_16 dash[3];
  for (int i = 0; i < 3; ++i) dash[i] = Shifted(data + 28 + 3 * i);
  StrokeStyle style;
  style.lineWidth = Shifted(data + 23);
  style.miterLimit = data[26] << 16;
  style.lineJoin = (flags >> 5) & 3;
  if (style.lineJoin > 2) style.lineJoin = 2;
  style.lineCap = (flags & 0x80) ? kRoundCap : (data[27] >> 2) != 0 ? kSquareCap : kButtCap;
  style.dash = dash;
  style.dashCount = data[27] & 3;
  style.dashPhase = Shifted(data + 37);
  std::vector<PathPoint> points;
  for (size_t at = kHeader; at + 5 <= size && points.size() < kMaxPoints; at += 5) {
    const int shift = data[at] >> 3;
    points.push_back(PackPoint(PointValue(data + at + 1, shift), PointValue(data + at + 3, shift), data[at] & 3));
  }
  const Path path{points.data(), static_cast<uint32_t>(points.size())};
  const FillRule rule = (flags & 1) ? kEvenOdd : kNonZero;

  // Test-side memory stays outside the guarded region (a raise skips
  // destructors).
  std::vector<uint8_t> pixels(64 * 64 * 3, 255);
  std::vector<uint8_t> mask(65 * 65);
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        const int32_t code = vn::fuzz::Guarded(context, [&] {
        const PixelRect area{-64, -64, 0, 0};
        FastPixelBufferRasterPainter page(LERGBBuffer(pixels.data(), -64, -64, 0, 0, 64 * 3));
        RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(page);
        const PixelRect box = Intersect(clip, area).Empty() ? clip : Intersect(clip, area);
        // The clip: the path's own coverage, or a rectangle.
        vn::Scoped<BezierRasterPainter> clipShape(context, context, path, m, box, rule == kEvenOdd ? kNonZero : kEvenOdd);
        RasterPainterImpl<BezierRasterPainter> clipShapeIn(*clipShape);
        RectangleRasterPainter clipRect(box);
        RasterPainterImpl<RectangleRasterPainter> clipRectIn(clipRect);
        PainterInput& clipIn = (flags & 8) ? static_cast<PainterInput&>(clipShapeIn) : clipRectIn;
        const bool general = (flags & 16) != 0;
        if (flags & 2) {
          vn::Scoped<BezierRasterPainter> fill(context, context, path, m, box, rule);
          RasterPainterImpl<BezierRasterPainter> fillIn(*fill);
          Paint(context, pageIn, clipIn, fillIn, general, area);
          fill->RenderMask(PixelRect{box.x0, box.y0, box.x1 + 1, box.y1 + 1}, mask.data(), box.x1 - box.x0 + 1);
        }
        if (flags & 4) {
          PathWriter outline(context);
          vn::FixedMatrix fillMatrix;
          StrokeOutline(context, path, style, m, box, outline, fillMatrix);
          vn::Scoped<BezierRasterPainter> stroke(context, context, outline.View(), fillMatrix, box, kNonZero);
          RasterPainterImpl<BezierRasterPainter> strokeIn(*stroke);
          Paint(context, pageIn, clipIn, strokeIn, general, area);
        }
        });
        if (code != -1 && code != vn::kOutOfMemory && code != vn::kLimitExceeded) std::abort();
      },
      vn::fuzz::StrictLimits(), false);
  return 0;
}
