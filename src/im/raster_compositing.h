// Compositing painters: they combine a mark's shape ("where"), its colour
// ("what"), the clip and the destination, run by run.
//
// Every input is held as a PainterInput (wrap a concrete painter P in a
// RasterPainterImpl<P>). A compositing painter is itself a painter, so
// chains nest. Per row, every painter of a chain is set to the row by the
// outermost one; then PaintRows() walks the row's runs: where the combined
// run is empty nothing is computed, where the shape is full the source is
// taken as it is, where it is partial the coverage bytes apply.
//
// Building the chain for one mark (see raster_painter.h for the painters):
//
//   page:    FastPixelBufferRasterPainter page(LERGBBuffer(...));
//   where:   Scoped<BezierRasterPainter> shape(context, context, path, ctm, clipBox, kNonZero);
//   clip:    RectangleRasterPainter clip(area);  (or a BezierRasterPainter of the clip path)
//
// - a flat colour (the common case, and the fast path):
//     FlatColor red(255, 0, 0);
//     Scoped<ClipperRasterPainter> mark(context, context, clipIn, pageIn, shapeIn, red);
// - any colour source (image and shading samplers, a colour with alpha):
//     CompositorRasterPainter what(context, pageIn, sourceIn);      // source over page
//     MaskerRasterPainter through(context, shapeIn, pageIn, whatIn); // by the shape
//     ClipperRasterPainter mark(clipIn, pageIn, throughIn);         // by the clip
//   which MarkChain builds in one piece:
//     Scoped<MarkChain> mark(context, context, clipIn, pageIn, shapeIn, sourceIn);
// - a constant alpha on a source: MultiplierRasterPainter(alphaIn, sourceIn),
//   alpha being a FastPixelBufferRasterPainter over a flat alpha byte;
// - nested clips: MultiplierRasterPainter(innerClipIn, outerClipIn) is the
//   product of their coverages, itself a clip.
// then PaintRows(work, mark, area) writes the mark into the page.
// (xxxIn: RasterPainterImpl<...> around each painter; locals that own
// engine memory are Scoped.)
//
// A source painter (an image or shading sampler) implements the
// PainterInput operations: RunAt (full where opaque, partial where it has
// alpha, empty where it paints nothing), Produce (compute the run's pixels
// into its row), Output (their record: colour premultiplied by alpha, in
// the page's channel count).
#pragma once

#include <cstdint>

#include "im/pixel_buffer.h"
#include "im/pixel_producers.h"
#include "im/raster_painter.h"
#include "im/work_counter.h"
#include "runtime/engine_array.h"

namespace vn::im {

// Row storage for a producer's output: up to three planes for one run.
class RowScratch {
 public:
  explicit RowScratch(AppContext& context) : shape_(context), alpha_(context), color_(context) {}
  // A record for n pixels from x on `row`, with a shape and an alpha plane
  // and `channels` colour channels (in device order when there are 3).
  PixelBuffer& Prepare(int32_t x, int32_t row, int32_t n, uint32_t channels);
  PixelBuffer& Record() { return record_; }
  void Reset() {
    shape_.Reset();
    alpha_.Reset();
    color_.Reset();
  }

 private:
  EngineArray<uint8_t> shape_, alpha_, color_;
  PixelBuffer record_;
};

// The scanline side of a source painter that computes every pixel it is
// asked for into a row of its own (it has no empty or full runs unless a
// painter says otherwise): the current row and the output record.
class SampledRowSource {
 public:
  void SetScanline(int32_t y) { row_ = y; }
  void NextScanline() { ++row_; }
  void SeekX(int32_t) {}
  const PixelBuffer& Output() const { return scratch_.Record(); }
  bool HasOutput() const { return true; }
  PixelRun RunAt(int32_t) const { return PixelRun{kRunPartial, kRowEnd}; }

 protected:
  explicit SampledRowSource(AppContext& context) : scratch_(context) {}

  mutable RowScratch scratch_;
  int32_t row_ = 0;
};

// A producer that writes its runs into rows of its own (or passes an
// input's record through): the output record and the current row.
template <class Base>
class RowProducer : public Base {
 public:
  template <class... Inputs>
  explicit RowProducer(AppContext& context, Inputs&... inputs) : Base(inputs...), scratch_(context) {}
  const PixelBuffer& Output() const { return *output_; }
  void SetRow(int32_t row) { row_ = row; }
  void Reset() { scratch_.Reset(); }

 protected:
  RowScratch scratch_;
  const PixelBuffer* output_ = &scratch_.Record();
  int32_t row_ = 0;
};

// Multiplies each plane of the destination (shape, alpha, colour, those
// present; absent shape or alpha count as 255) by the shape painter's
// coverage, one coverage byte for all channels of a pixel. `Channels` is the
// colour channel count, or 0 for any (read from the record).
template <int Channels>
class ChunkyReplicatedAlphaMultiplier final
    : public RowProducer<NoOpBinaryPixelProducer<PainterInput, PainterInput>> {
 public:
  ChunkyReplicatedAlphaMultiplier(AppContext& context, PainterInput& shape, PainterInput& destination)
      : RowProducer(context, shape, destination) {}
  void Produce(int32_t x, int32_t n) override;
};
using Multiplier = ChunkyReplicatedAlphaMultiplier<0>;

// Source over destination, premultiplied: shape and alpha become
// 255 - mul(255 - source, 255 - destination), colour source + mul(255 - source
// alpha, destination). An opaque source run passes through unchanged.
class Compositor final : public RowProducer<NoOpBinaryPixelProducer<PainterInput, PainterInput>> {
 public:
  Compositor(AppContext& context, PainterInput& destination, PainterInput& source)
      : RowProducer(context, destination, source) {}
  void Produce(int32_t x, int32_t n) override;
};

// lerp(destination before the mark, the inner result, mask) for each plane
// of the destination; the mask's shape value serves the shape plane, its
// alpha value the alpha and colour planes. A full mask run passes the inner
// result through.
class Masker final : public RowProducer<NoOpTrinaryPixelProducer<PainterInput, PainterInput, PainterInput>> {
 public:
  Masker(AppContext& context, PainterInput& mask, PainterInput& destination, PainterInput& inner)
      : RowProducer(context, mask, destination, inner) {}
  void Produce(int32_t x, int32_t n) override;
};

// The masker's blend with the clip's coverage, written into the destination
// in place.
class Clipper final : public NoOpTrinaryPixelProducer<PainterInput, PainterInput, PainterInput> {
 public:
  Clipper(PainterInput& clip, PainterInput& destination, PainterInput& masker)
      : NoOpTrinaryPixelProducer(clip, destination, masker) {}
  void Produce(int32_t x, int32_t n) override;
  void SetRow(int32_t row) { row_ = row; }

 private:
  int32_t row_ = 0;
};

// The flat-colour fast path: destination = lerp(destination, colour over
// destination, coverage) channel by channel, in place, the coverage being
// the shape's times the clip's (each taken as 255 in its full runs).
// Fastest into the page's B,G,R layout; any layout works.
class LERGBChunkyReplicatedAlphaInPlaceClipper final
    : public NoOpTrinaryPixelProducer<PainterInput, PainterInput, PainterInput> {
 public:
  // `color` may be null only when the producer is never used.
  LERGBChunkyReplicatedAlphaInPlaceClipper(PainterInput& clip, PainterInput& destination, PainterInput& shape,
                                           const FlatColor* color)
      : NoOpTrinaryPixelProducer(clip, destination, shape), color_(color) {}
  void Produce(int32_t x, int32_t n) override;
  void SetRow(int32_t row) { row_ = row; }

 private:
  const FlatColor* color_;
  int32_t row_ = 0;
};

// The painters around the producers. Each sets its inputs to its row.

class MultiplierRasterPainter final : public RasterPainter {
 public:
  MultiplierRasterPainter(AppContext& context, PainterInput& shape, PainterInput& destination);
  ~MultiplierRasterPainter() { Reset(); }
  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t) override {}
  const PixelBuffer& Output() const;
  bool HasOutput() { return shape_.HasOutput() && destination_.HasOutput(); }
  void Produce(int32_t x, int32_t n) { producer_->Produce(x, n); }
  PixelRun RunAt(int32_t x) { return producer_->RunAt(x); }
  void Reset();

 private:
  PainterInput& shape_;
  PainterInput& destination_;
  ChunkyReplicatedAlphaMultiplier<3> chunky_;
  Multiplier generic_;
  PixelProducer* producer_;
  int32_t row_ = 0;
};

class CompositorRasterPainter final : public RasterPainter {
 public:
  CompositorRasterPainter(AppContext& context, PainterInput& destination, PainterInput& source);
  ~CompositorRasterPainter() { producer_.Reset(); }
  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t) override {}
  const PixelBuffer& Output() const { return producer_.Output(); }
  bool HasOutput() { return destination_.HasOutput() && source_.HasOutput(); }
  void Produce(int32_t x, int32_t n) { producer_.Produce(x, n); }
  PixelRun RunAt(int32_t x) { return producer_.RunAt(x); }

 private:
  PainterInput& destination_;
  PainterInput& source_;
  Compositor producer_;
  int32_t row_ = 0;
};

class MaskerRasterPainter final : public RasterPainter {
 public:
  MaskerRasterPainter(AppContext& context, PainterInput& mask, PainterInput& destination, PainterInput& compositor);
  ~MaskerRasterPainter() { producer_.Reset(); }
  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t) override {}
  const PixelBuffer& Output() const { return producer_.Output(); }
  bool HasOutput() { return mask_.HasOutput() && destination_.HasOutput() && inner_.HasOutput(); }
  void Produce(int32_t x, int32_t n) { producer_.Produce(x, n); }
  PixelRun RunAt(int32_t x) { return producer_.RunAt(x); }

 private:
  PainterInput& mask_;
  PainterInput& destination_;
  PainterInput& inner_;
  Masker producer_;
  int32_t row_ = 0;
};

// The end of a chain: produces into the destination in place. Built over a
// masker (any source), or over a shape and a flat colour (the fast path).
class ClipperRasterPainter final : public RasterPainter {
 public:
  ClipperRasterPainter(PainterInput& clip, PainterInput& destination, PainterInput& masker);
  ClipperRasterPainter(PainterInput& clip, PainterInput& destination, PainterInput& shape, const FlatColor& color);
  void SetScanline(int32_t y) override;
  void NextScanline() override { SetScanline(row_ + 1); }
  void SeekX(int32_t) override {}
  const PixelBuffer& Output() const { return destination_.Output(); }
  bool HasOutput() { return clip_.HasOutput() && destination_.HasOutput() && inner_.HasOutput(); }
  void Produce(int32_t x, int32_t n) { producer_->Produce(x, n); }
  PixelRun RunAt(int32_t x) { return producer_->RunAt(x); }

 private:
  PainterInput& clip_;
  PainterInput& destination_;
  PainterInput& inner_;  // the masker, or the shape
  Clipper general_;
  LERGBChunkyReplicatedAlphaInPlaceClipper flat_;
  PixelProducer* producer_;
  int32_t row_ = 0;
};

// The general chain for one mark in one piece: the source composited over
// the destination, blended by the shape, then by the clip, into the
// destination. Holds engine memory: a local is a Scoped.
class MarkChain {
 public:
  MarkChain(AppContext& context, PainterInput& clip, PainterInput& destination, PainterInput& shape,
            PainterInput& source);
  MarkChain(const MarkChain&) = delete;
  MarkChain& operator=(const MarkChain&) = delete;
  // The chain's end, for PaintRows.
  ClipperRasterPainter& Painter() { return clipper_; }

 private:
  CompositorRasterPainter compositor_;
  RasterPainterImpl<CompositorRasterPainter> compositorIn_;
  MaskerRasterPainter masker_;
  RasterPainterImpl<MaskerRasterPainter> maskerIn_;
  ClipperRasterPainter clipper_;
};

// Paints `area` row by row through `top` (a ClipperRasterPainter, or any
// painter whose Produce writes into its destination): sets each row, then
// produces every non-empty run. Charges the work counter as it goes.
template <class P>
void PaintRows(WorkCounter& work, P& top, const PixelRect& area) {
  for (int32_t y = area.y0; y < area.y1; ++y) {
    top.SetScanline(y);
    work.Charge(100 + static_cast<uint32_t>(area.x1 - area.x0) / 8);
    if (!top.HasOutput()) continue;
    for (int32_t x = area.x0; x < area.x1;) {
      const PixelRun run = top.RunAt(x);
      const int32_t end = run.end < area.x1 ? run.end : area.x1;
      if (run.kind != kRunEmpty) top.Produce(x, end - x);
      x = end;
    }
  }
}

}  // namespace vn::im
