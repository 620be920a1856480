// The scanline interface every painter of the imaging core speaks.
//
// A painter produces one device row at a time, top to bottom. On its current
// row it knows, for every x, a run: empty (nothing there), full (coverage
// 255, or an opaque pixel), or partial (read the bytes). Painters that say
// WHERE a mark is (path coverage, glyph rows, a clip rectangle) and painters
// that say WHAT colour it has (a flat colour, later image and shading
// samplers) share the interface; compositing painters (raster_compositing.h)
// combine them into the page's pixel buffer.
//
// The usual chain for one mark, from the path to the page:
//
//   path --BezierRasterPainter--> coverage ("where")
//   FlatColor (a one-pixel buffer, pixel step 0) --> the colour ("what")
//   ClipperRasterPainter(clip, page, coverage, colour) --> page buffer
//
// and PaintRows() (raster_compositing.h) drives it row by row; that header
// shows the chains in code. Image and shading samplers plug in as "what"
// painters: they implement the PainterInput operations below.
#pragma once

#include <cstdint>

#include "im/pixel_buffer.h"

namespace vn::im {

// A rectangle of whole device pixels: x0 <= x < x1, y0 <= y < y1.
struct PixelRect {
  int32_t x0, y0, x1, y1;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
};
PixelRect Intersect(const PixelRect& a, const PixelRect& b);

enum RunKind : uint8_t { kRunEmpty = 0, kRunFull = 1, kRunPartial = 2 };

// The first x past every row; also the end of a row's last run.
inline constexpr int32_t kRowEnd = 0x7FFFFFFF;
inline constexpr int32_t kRowStart = -0x7FFFFFFF - 1;

// A run of the current row: its kind from the queried x up to `end`.
struct PixelRun {
  RunKind kind;
  int32_t end;
};

// The three scanline operations.
class RasterPainter {
 public:
  // Makes row y current and computes what the painter needs for it.
  virtual void SetScanline(int32_t y) = 0;
  // SetScanline(current row + 1).
  virtual void NextScanline() = 0;
  // Positions the painter's run cursor on the run that contains pixel x.
  virtual void SeekX(int32_t x) = 0;

 protected:
  ~RasterPainter() = default;
};

// What compositing painters see of their inputs: the scanline operations
// plus the row's runs and pixels. Concrete painters implement the same
// operations without virtual calls; RasterPainterImpl<P> adapts one.
//
// For the current row:
// - RunAt(x): the kind of run at x and where it ends (SeekX then read).
// - Produce(x, n): makes Output() valid for [x, x + n), a stretch inside one
//   non-empty run. Painters whose rows are complete after SetScanline do
//   nothing here; samplers compute their pixels; compositors combine.
// - Output(): the pixel record for the row. Coverage painters expose their
//   bytes as both the shape and the alpha plane (valid in partial runs only:
//   full runs are not written, a consumer asks the run). Colour sources
//   expose colour planes (pixel step 0 for one repeated pixel) and, when not
//   opaque, an alpha plane; colour is premultiplied by that alpha.
// - HasOutput(): whether anything is on the row at all.
class PainterInput : public RasterPainter {
 public:
  virtual const PixelBuffer& Output() = 0;
  virtual bool HasOutput() = 0;
  virtual void Produce(int32_t x, int32_t n) = 0;
  virtual PixelRun RunAt(int32_t x) = 0;

 protected:
  ~PainterInput() = default;
};

// Holds a concrete painter P behind the PainterInput interface.
template <class P>
class RasterPainterImpl final : public PainterInput {
 public:
  explicit RasterPainterImpl(P& painter) : painter_(painter) {}
  void SetScanline(int32_t y) override { painter_.SetScanline(y); }
  void NextScanline() override { painter_.NextScanline(); }
  void SeekX(int32_t x) override { painter_.SeekX(x); }
  const PixelBuffer& Output() override { return painter_.Output(); }
  bool HasOutput() override { return painter_.HasOutput(); }
  void Produce(int32_t x, int32_t n) override { painter_.Produce(x, n); }
  PixelRun RunAt(int32_t x) override { return painter_.RunAt(x); }
  P& Painter() { return painter_; }

 private:
  P& painter_;
};

}  // namespace vn::im
