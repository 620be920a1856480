// Clips that need a painter: a clipping path (W, W*, a text object's glyph
// outlines, or a form's BBox) that is not a whole-pixel rectangle. Pixel-
// aligned rectangles need none: they only shrink the device clip
// rectangle, which bounds every mark.
//
// A PathClip is the coverage of its path in device space times the clip it
// narrows. A long chain of them would make every later mark read every
// link, so past a few links the chain is flattened into a MaskClip: the
// chain's coverage computed once into a byte mask over the device clip.
//
// Owned by the graphics-state level that set them and freed when the level
// ends; levels chain their clips through `next`. Hold engine memory: made
// with New.
#pragma once

#include "im/bezier_raster_painter.h"
#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/raster_compositing.h"
#include "runtime/engine_array.h"

namespace vn::pdf::render {

class ClipNode {
 public:
  virtual ~ClipNode() = default;
  // The clip for the painter chains of later marks.
  virtual im::PainterInput& Input() = 0;
  ClipNode* next = nullptr;
};

class PathClip final : public ClipNode {
 public:
  // The coverage of `path` under `matrix` within `box`, times `outer`.
  PathClip(AppContext& context, const im::Path& path, const FixedMatrix& matrix, const im::PixelRect& box,
           im::FillRule rule, im::PainterInput& outer);
  PathClip(const PathClip&) = delete;
  PathClip& operator=(const PathClip&) = delete;

  im::PainterInput& Input() override { return productIn_; }
  // The pixels the path touches (within the box).
  const im::PixelRect& Bounds() const { return coverage_.Bounds(); }

 private:
  im::BezierRasterPainter coverage_;
  im::RasterPainterImpl<im::BezierRasterPainter> coverageIn_;
  im::MultiplierRasterPainter product_;
  im::RasterPainterImpl<im::MultiplierRasterPainter> productIn_;
};

class MaskClip final : public ClipNode {
 public:
  // The coverage of `clip` over `box`, read row by row.
  MaskClip(AppContext& context, im::PainterInput& clip, const im::PixelRect& box);
  MaskClip(const MaskClip&) = delete;
  MaskClip& operator=(const MaskClip&) = delete;

  im::PainterInput& Input() override { return maskIn_; }

 private:
  EngineArray<uint8_t> bytes_;
  im::FastPixelBufferRasterPainter mask_;
  im::RasterPainterImpl<im::FastPixelBufferRasterPainter> maskIn_;
};

// The four corners of `box` as a closed path.
struct BoxPath {
  explicit BoxPath(const FixedRect& box)
      : points{im::PackPoint(box.x0, box.y0, im::kMoveTo), im::PackPoint(box.x1, box.y0, im::kLineTo),
               im::PackPoint(box.x1, box.y1, im::kLineTo), im::PackPoint(box.x0, box.y1, im::kLineTo),
               im::PackPoint(box.x0, box.y0, im::kClosePath)} {}
  im::Path View() const { return im::Path{points, 5}; }
  im::PathPoint points[5];
};

// Whether `path` under `matrix` is one rectangle whose device edges lie on
// whole pixels; `rect` gets it.
bool IsPixelAlignedRectangle(const im::Path& path, const FixedMatrix& matrix, im::PixelRect& rect);

// A fingerprint of a clip, so that setting the same clip again (which
// changes nothing) can be noticed.
uint64_t ClipSignature(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule);

}  // namespace vn::pdf::render
