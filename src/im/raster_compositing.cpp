#include "im/raster_compositing.h"

#include "im/signal.h"

namespace vn::im {

namespace {

// One plane of a record read pixel by pixel from x on a row; an absent plane
// reads as `absent` (255: full shape, opaque alpha).
struct PlaneReader {
  PlaneReader(const PixelBuffer& buffer, const PixelPlane& plane, int32_t x, int32_t row, uint8_t absent)
      : p(plane.Present() ? buffer.At(plane, x, row) : &fill), step(plane.Present() ? plane.pixelStep : 0),
        channelStep(plane.Present() ? plane.channelStep : 0), fill(absent) {}
  PlaneReader(const PlaneReader&) = delete;
  PlaneReader& operator=(const PlaneReader&) = delete;
  uint8_t operator*() const { return *p; }
  uint8_t Channel(uint32_t c) const { return p[static_cast<ptrdiff_t>(c) * channelStep]; }
  void Next() { p += step; }

  const uint8_t* p;
  int32_t step;
  int32_t channelStep;
  uint8_t fill;
};

// What a full run reads as: no planes, so every plane reads 255.
const PixelBuffer kFullRun;

// The coverage plane of a shape painter: its alpha (or its shape).
const PixelPlane& CoveragePlane(const PixelBuffer& b) { return b.alpha.Present() ? b.alpha : b.shape; }
const PixelPlane& ShapePlane(const PixelBuffer& b) { return b.shape.Present() ? b.shape : b.alpha; }

// A plane written pixel by pixel.
struct PlaneWriter {
  PlaneWriter(const PixelBuffer& buffer, const PixelPlane& plane, int32_t x, int32_t row)
      : p(plane.Present() ? buffer.At(plane, x, row) : nullptr), step(plane.pixelStep), channelStep(plane.channelStep) {}
  uint8_t& Channel(uint32_t c) const { return p[static_cast<ptrdiff_t>(c) * channelStep]; }
  void Next() { p += step; }
  uint8_t* p;
  int32_t step;
  int32_t channelStep;
};

}  // namespace

PixelBuffer& RowScratch::Prepare(int32_t x, int32_t row, int32_t n, uint32_t channels) {
  const uint32_t count = static_cast<uint32_t>(n);
  if (shape_.Size() < count) {
    shape_.Resize(count);
    alpha_.Resize(count);
  }
  if (color_.Size() < count * channels) color_.Resize(count * channels);
  record_ = PixelBuffer{};
  record_.x0 = x;
  record_.x1 = x + n;
  record_.y0 = row;
  record_.y1 = row + 1;
  record_.channels = channels;
  record_.shape = PixelPlane{shape_.Data(), 0, 1, 1};
  record_.alpha = PixelPlane{alpha_.Data(), 0, 1, 1};
  if (channels == 3) {
    record_.color = PixelPlane{color_.Data(), kLERGBFirstChannel, kLERGBChannelStep, kLERGBPixelStep};
  } else if (channels != 0) {
    record_.color = PixelPlane{color_.Data(), 0, 1, static_cast<int32_t>(channels)};
  }
  return record_;
}

template <int Channels>
void ChunkyReplicatedAlphaMultiplier<Channels>::Produce(int32_t x, int32_t n) {
  PainterInput& shape = a_;
  PainterInput& destination = b_;
  const PixelRun coverage = shape.RunAt(x);
  destination.Produce(x, n);
  const PixelBuffer& d = destination.Output();
  if (coverage.kind == kRunFull) {
    output_ = &d;
    return;
  }
  shape.Produce(x, n);
  const PixelBuffer& m = shape.Output();
  const uint32_t channels = Channels != 0 ? static_cast<uint32_t>(Channels) : d.channels;
  PixelBuffer& out = scratch_.Prepare(x, row_, n, channels);
  PlaneReader cover(m, CoveragePlane(m), x, row_, 255), cut(m, ShapePlane(m), x, row_, 255);
  PlaneReader shapeIn(d, d.shape, x, row_, 255), alphaIn(d, d.alpha, x, row_, 255);
  PlaneReader colorIn(d, d.color, x, row_, 0);
  PlaneWriter color(out, out.color, x, row_);
  uint8_t* shapeOut = out.shape.base;
  uint8_t* alphaOut = out.alpha.base;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t c = *cover;
    alphaOut[i] = static_cast<uint8_t>(Mul(*alphaIn, c));
    shapeOut[i] = static_cast<uint8_t>(Mul(*shapeIn, *cut));
    for (uint32_t k = 0; k < channels; ++k) color.Channel(k) = static_cast<uint8_t>(Mul(colorIn.Channel(k), c));
    cover.Next();
    cut.Next();
    shapeIn.Next();
    alphaIn.Next();
    colorIn.Next();
    color.Next();
  }
  output_ = &out;
}

template class ChunkyReplicatedAlphaMultiplier<0>;
template class ChunkyReplicatedAlphaMultiplier<3>;

void Compositor::Produce(int32_t x, int32_t n) {
  PainterInput& destination = a_;
  PainterInput& source = b_;
  const PixelRun run = source.RunAt(x);
  source.Produce(x, n);
  const PixelBuffer& s = source.Output();
  if (run.kind == kRunFull) {  // opaque: the source replaces the destination
    output_ = &s;
    return;
  }
  destination.Produce(x, n);
  const PixelBuffer& d = destination.Output();
  PixelBuffer& out = scratch_.Prepare(x, row_, n, d.channels);
  PlaneReader sShape(s, s.shape, x, row_, 255), sAlpha(s, s.alpha, x, row_, 255), sColor(s, s.color, x, row_, 0);
  PlaneReader dShape(d, d.shape, x, row_, 255), dAlpha(d, d.alpha, x, row_, 255), dColor(d, d.color, x, row_, 0);
  PlaneWriter color(out, out.color, x, row_);
  const uint32_t sourceChannels = s.color.Present() ? s.channels : 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t transparency = 255 - *sAlpha;
    out.alpha.base[i] = static_cast<uint8_t>(255 - Mul(transparency, 255 - *dAlpha));
    out.shape.base[i] = static_cast<uint8_t>(255 - Mul(255 - *sShape, 255 - *dShape));
    for (uint32_t k = 0; k < d.channels; ++k) {
      const uint32_t v = (k < sourceChannels ? sColor.Channel(k) : 0) + Mul(transparency, dColor.Channel(k));
      color.Channel(k) = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
    sShape.Next();
    sAlpha.Next();
    sColor.Next();
    dShape.Next();
    dAlpha.Next();
    dColor.Next();
    color.Next();
  }
  output_ = &out;
}

void Masker::Produce(int32_t x, int32_t n) {
  PainterInput& mask = a_;
  PainterInput& destination = b_;
  PainterInput& inner = c_;
  const PixelRun run = mask.RunAt(x);
  inner.Produce(x, n);
  const PixelBuffer& r = inner.Output();
  if (run.kind == kRunFull) {
    output_ = &r;
    return;
  }
  mask.Produce(x, n);
  const PixelBuffer& m = mask.Output();
  const PixelBuffer& d = destination.Output();
  PixelBuffer& out = scratch_.Prepare(x, row_, n, d.channels);
  PlaneReader mShape(m, ShapePlane(m), x, row_, 255), mAlpha(m, CoveragePlane(m), x, row_, 255);
  PlaneReader rShape(r, r.shape, x, row_, 255), rAlpha(r, r.alpha, x, row_, 255), rColor(r, r.color, x, row_, 0);
  PlaneReader dShape(d, d.shape, x, row_, 255), dAlpha(d, d.alpha, x, row_, 255), dColor(d, d.color, x, row_, 0);
  PlaneWriter color(out, out.color, x, row_);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t a = *mAlpha;
    out.shape.base[i] = static_cast<uint8_t>(Lerp(*dShape, *rShape, *mShape));
    out.alpha.base[i] = static_cast<uint8_t>(Lerp(*dAlpha, *rAlpha, a));
    for (uint32_t k = 0; k < d.channels; ++k) {
      color.Channel(k) = static_cast<uint8_t>(Lerp(dColor.Channel(k), rColor.Channel(k), a));
    }
    mShape.Next();
    mAlpha.Next();
    rShape.Next();
    rAlpha.Next();
    rColor.Next();
    dShape.Next();
    dAlpha.Next();
    dColor.Next();
    color.Next();
  }
  output_ = &out;
}

void Clipper::Produce(int32_t x, int32_t n) {
  PainterInput& clip = a_;
  PainterInput& destination = b_;
  PainterInput& masker = c_;
  const PixelRun run = clip.RunAt(x);
  masker.Produce(x, n);
  const PixelBuffer& r = masker.Output();
  const PixelBuffer& d = destination.Output();
  const bool full = run.kind == kRunFull;
  if (!full) clip.Produce(x, n);
  const PixelBuffer& k = full ? kFullRun : clip.Output();
  PlaneReader kShape(k, ShapePlane(k), x, row_, 255), kAlpha(k, CoveragePlane(k), x, row_, 255);
  PlaneReader rShape(r, r.shape, x, row_, 255), rAlpha(r, r.alpha, x, row_, 255), rColor(r, r.color, x, row_, 0);
  PlaneWriter shape(d, d.shape, x, row_), alpha(d, d.alpha, x, row_), color(d, d.color, x, row_);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t a = *kAlpha;
    if (shape.p != nullptr) shape.Channel(0) = static_cast<uint8_t>(Lerp(shape.Channel(0), *rShape, *kShape));
    if (alpha.p != nullptr) alpha.Channel(0) = static_cast<uint8_t>(Lerp(alpha.Channel(0), *rAlpha, a));
    if (color.p != nullptr) {
      for (uint32_t c = 0; c < d.channels; ++c) {
        color.Channel(c) = static_cast<uint8_t>(full ? rColor.Channel(c) : Lerp(color.Channel(c), rColor.Channel(c), a));
      }
      color.Next();
    }
    kShape.Next();
    kAlpha.Next();
    rShape.Next();
    rAlpha.Next();
    rColor.Next();
    if (shape.p != nullptr) shape.Next();
    if (alpha.p != nullptr) alpha.Next();
  }
}

void LERGBChunkyReplicatedAlphaInPlaceClipper::Produce(int32_t x, int32_t n) {
  PainterInput& clip = a_;
  PainterInput& destination = b_;
  PainterInput& shape = c_;
  const bool clipFull = clip.RunAt(x).kind == kRunFull;
  const bool shapeFull = shape.RunAt(x).kind == kRunFull;
  if (!clipFull) clip.Produce(x, n);
  if (!shapeFull) shape.Produce(x, n);
  const PixelBuffer& k = clipFull ? kFullRun : clip.Output();
  const PixelBuffer& s = shapeFull ? kFullRun : shape.Output();
  PlaneReader kCover(k, CoveragePlane(k), x, row_, 255), sCover(s, CoveragePlane(s), x, row_, 255);
  const PixelBuffer& d = destination.Output();
  const uint8_t* bgr = color_->bgr;
  const uint32_t alpha = color_->alphaByte, transparency = 255 - alpha;
  if (IsLERGB(d) && !d.alpha.Present() && !d.shape.Present()) {
    uint8_t* p = d.At(d.color, x, row_) - kLERGBFirstChannel;  // the pixel's blue byte
    if (clipFull && shapeFull && transparency == 0) {
      for (int32_t i = 0; i < n; ++i, p += 3) {
        p[0] = bgr[0];
        p[1] = bgr[1];
        p[2] = bgr[2];
      }
      return;
    }
    for (int32_t i = 0; i < n; ++i, p += 3) {
      const uint32_t m = clipFull ? *sCover : shapeFull ? *kCover : Mul(*sCover, *kCover);
      for (int c = 0; c < 3; ++c) {
        const uint32_t over = bgr[c] + Mul(transparency, p[c]);
        p[c] = static_cast<uint8_t>(Lerp(p[c], over > 255 ? 255 : over, m));
      }
      sCover.Next();
      kCover.Next();
    }
    return;
  }
  // Any other layout: the same blend plane by plane (the colour's channel c
  // is bgr[2 - c]).
  PlaneWriter shapeOut(d, d.shape, x, row_), alphaOut(d, d.alpha, x, row_), colorOut(d, d.color, x, row_);
  const uint32_t channels = d.channels < 3 ? d.channels : 3;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t m = Mul(*sCover, *kCover);
    if (shapeOut.p != nullptr) {
      shapeOut.Channel(0) = static_cast<uint8_t>(Lerp(shapeOut.Channel(0), 255, m));
      shapeOut.Next();
    }
    if (alphaOut.p != nullptr) {
      const uint32_t a = alphaOut.Channel(0);
      alphaOut.Channel(0) = static_cast<uint8_t>(Lerp(a, 255 - Mul(transparency, 255 - a), m));
      alphaOut.Next();
    }
    if (colorOut.p != nullptr) {
      for (uint32_t c = 0; c < channels; ++c) {
        uint8_t& v = colorOut.Channel(c);
        const uint32_t over = bgr[2 - c] + Mul(transparency, v);
        v = static_cast<uint8_t>(Lerp(v, over > 255 ? 255 : over, m));
      }
      colorOut.Next();
    }
    sCover.Next();
    kCover.Next();
  }
}

// ---- painters

MultiplierRasterPainter::MultiplierRasterPainter(AppContext& context, PainterInput& shape, PainterInput& destination)
    : shape_(shape), destination_(destination), chunky_(context, shape, destination),
      generic_(context, shape, destination) {
  const PixelBuffer& d = destination.Output();
  if (d.channels == 3) {
    producer_ = &chunky_;
  } else {
    producer_ = &generic_;
  }
}

void MultiplierRasterPainter::SetScanline(int32_t y) {
  row_ = y;
  shape_.SetScanline(y);
  destination_.SetScanline(y);
  chunky_.SetRow(y);
  generic_.SetRow(y);
}

const PixelBuffer& MultiplierRasterPainter::Output() const {
  return producer_ == &chunky_ ? chunky_.Output() : generic_.Output();
}

void MultiplierRasterPainter::Reset() {
  chunky_.Reset();
  generic_.Reset();
}

CompositorRasterPainter::CompositorRasterPainter(AppContext& context, PainterInput& destination, PainterInput& source)
    : destination_(destination), source_(source), producer_(context, destination, source) {}

void CompositorRasterPainter::SetScanline(int32_t y) {
  row_ = y;
  destination_.SetScanline(y);
  source_.SetScanline(y);
  producer_.SetRow(y);
}

MaskerRasterPainter::MaskerRasterPainter(AppContext& context, PainterInput& mask, PainterInput& destination,
                                         PainterInput& compositor)
    : mask_(mask), destination_(destination), inner_(compositor), producer_(context, mask, destination, compositor) {}

void MaskerRasterPainter::SetScanline(int32_t y) {
  row_ = y;
  mask_.SetScanline(y);
  destination_.SetScanline(y);
  inner_.SetScanline(y);
  producer_.SetRow(y);
}

ClipperRasterPainter::ClipperRasterPainter(PainterInput& clip, PainterInput& destination, PainterInput& masker)
    : clip_(clip), destination_(destination), inner_(masker), general_(clip, destination, masker),
      flat_(clip, destination, masker, nullptr), producer_(&general_) {}

ClipperRasterPainter::ClipperRasterPainter(PainterInput& clip, PainterInput& destination, PainterInput& shape,
                                           const FlatColor& color)
    : clip_(clip), destination_(destination), inner_(shape), general_(clip, destination, shape),
      flat_(clip, destination, shape, &color), producer_(&flat_) {}

void ClipperRasterPainter::SetScanline(int32_t y) {
  row_ = y;
  clip_.SetScanline(y);
  destination_.SetScanline(y);
  inner_.SetScanline(y);
  general_.SetRow(y);
  flat_.SetRow(y);
}

}  // namespace vn::im
