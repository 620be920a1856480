#include "im/raster_compositing.h"

#include <cstring>

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
      : p(plane.Present() ? buffer.At(plane, x, row) : nullptr), step(plane.Present() ? plane.pixelStep : 0),
        channelStep(plane.channelStep) {}
  uint8_t& Channel(uint32_t c) const { return p[static_cast<ptrdiff_t>(c) * channelStep]; }
  void Next() { p += step; }
  uint8_t* p;
  int32_t step;
  int32_t channelStep;
};

// The three planes of a record, read together.
struct PixelReader {
  PixelReader(const PixelBuffer& b, int32_t x, int32_t row)
      : shape(b, b.shape, x, row, 255), alpha(b, b.alpha, x, row, 255), color(b, b.color, x, row, 0) {}
  void Next() {
    shape.Next();
    alpha.Next();
    color.Next();
  }
  PlaneReader shape, alpha, color;
};

// A coverage painter's values: its shape value for shape planes, its alpha
// (coverage) value for alpha and colour planes.
struct CoverageReader {
  CoverageReader(const PixelBuffer& b, int32_t x, int32_t row)
      : shape(b, ShapePlane(b), x, row, 255), cover(b, CoveragePlane(b), x, row, 255) {}
  void Next() {
    shape.Next();
    cover.Next();
  }
  PlaneReader shape, cover;
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
  PainterInput& shape = this->a_;
  PainterInput& destination = this->b_;
  const PixelRun coverage = shape.RunAt(x);
  destination.Produce(x, n);
  const PixelBuffer& d = destination.Output();
  if (coverage.kind == kRunFull) {
    this->output_ = &d;
    return;
  }
  shape.Produce(x, n);
  const int32_t row = this->row_;
  const uint32_t channels = Channels != 0 ? static_cast<uint32_t>(Channels) : d.channels;
  PixelBuffer& out = this->scratch_.Prepare(x, row, n, channels);
  CoverageReader m(shape.Output(), x, row);
  PixelReader in(d, x, row);
  PlaneWriter color(out, out.color, x, row);
  for (int32_t i = 0; i < n; ++i, m.Next(), in.Next(), color.Next()) {
    const uint32_t c = *m.cover;
    out.alpha.base[i] = static_cast<uint8_t>(Mul(*in.alpha, c));
    out.shape.base[i] = static_cast<uint8_t>(Mul(*in.shape, *m.shape));
    for (uint32_t k = 0; k < channels; ++k) color.Channel(k) = static_cast<uint8_t>(Mul(in.color.Channel(k), c));
  }
  this->output_ = &out;
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
  PixelReader src(s, x, row_), dst(d, x, row_);
  if (IsLERGB(s) && IsLERGB(d)) {
    // The common case, a colour source over the page: both hold three
    // channels side by side, so the channels need no strides.
    const uint8_t* sp = s.At(s.color, x, row_) - kLERGBFirstChannel;
    const uint8_t* dp = d.At(d.color, x, row_) - kLERGBFirstChannel;
    uint8_t* op = out.At(out.color, x, row_) - kLERGBFirstChannel;
    for (int32_t i = 0; i < n; ++i, src.Next(), dst.Next(), sp += 3, dp += 3, op += 3) {
      const uint32_t transparency = 255 - *src.alpha;
      out.alpha.base[i] = static_cast<uint8_t>(255 - Mul(transparency, 255 - *dst.alpha));
      out.shape.base[i] = static_cast<uint8_t>(255 - Mul(255 - *src.shape, 255 - *dst.shape));
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = sp[c] + Mul(transparency, dp[c]);
        op[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
    }
    output_ = &out;
    return;
  }
  PlaneWriter color(out, out.color, x, row_);
  const uint32_t sourceChannels = s.color.Present() ? s.channels : 0;
  for (int32_t i = 0; i < n; ++i, src.Next(), dst.Next(), color.Next()) {
    const uint32_t transparency = 255 - *src.alpha;
    out.alpha.base[i] = static_cast<uint8_t>(255 - Mul(transparency, 255 - *dst.alpha));
    out.shape.base[i] = static_cast<uint8_t>(255 - Mul(255 - *src.shape, 255 - *dst.shape));
    for (uint32_t k = 0; k < d.channels; ++k) {
      const uint32_t v = (k < sourceChannels ? src.color.Channel(k) : 0) + Mul(transparency, dst.color.Channel(k));
      color.Channel(k) = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
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
  const PixelBuffer& d = destination.Output();
  PixelBuffer& out = scratch_.Prepare(x, row_, n, d.channels);
  CoverageReader m(mask.Output(), x, row_);
  PixelReader result(r, x, row_), before(d, x, row_);
  PlaneWriter color(out, out.color, x, row_);
  for (int32_t i = 0; i < n; ++i, m.Next(), result.Next(), before.Next(), color.Next()) {
    const uint32_t a = *m.cover;
    out.shape.base[i] = static_cast<uint8_t>(Lerp(*before.shape, *result.shape, *m.shape));
    out.alpha.base[i] = static_cast<uint8_t>(Lerp(*before.alpha, *result.alpha, a));
    for (uint32_t k = 0; k < d.channels; ++k) {
      color.Channel(k) = static_cast<uint8_t>(Lerp(before.color.Channel(k), result.color.Channel(k), a));
    }
  }
  output_ = &out;
}

void Clipper::Produce(int32_t x, int32_t n) {
  PainterInput& clip = a_;
  PainterInput& destination = b_;
  PainterInput& masker = c_;
  const bool full = clip.RunAt(x).kind == kRunFull;
  masker.Produce(x, n);
  if (!full) clip.Produce(x, n);
  const PixelBuffer& d = destination.Output();
  const PixelBuffer& r = masker.Output();
  if (full && IsLERGB(d) && IsLERGB(r) && !d.shape.Present() && !d.alpha.Present()) {
    // Nothing clipped on a page without shape or alpha: the result's
    // colours are the page's.
    std::memcpy(d.At(d.color, x, row_) - kLERGBFirstChannel, r.At(r.color, x, row_) - kLERGBFirstChannel,
                3 * static_cast<size_t>(n));
    return;
  }
  CoverageReader k(full ? kFullRun : clip.Output(), x, row_);
  PixelReader result(r, x, row_);
  PlaneWriter shape(d, d.shape, x, row_), alpha(d, d.alpha, x, row_), color(d, d.color, x, row_);
  for (int32_t i = 0; i < n; ++i, k.Next(), result.Next()) {
    const uint32_t a = *k.cover;
    if (shape.p != nullptr) {
      shape.Channel(0) = static_cast<uint8_t>(Lerp(shape.Channel(0), *result.shape, *k.shape));
      shape.Next();
    }
    if (alpha.p != nullptr) {
      alpha.Channel(0) = static_cast<uint8_t>(Lerp(alpha.Channel(0), *result.alpha, a));
      alpha.Next();
    }
    if (color.p != nullptr) {
      for (uint32_t c = 0; c < d.channels; ++c) {
        const uint8_t r = result.color.Channel(c);
        color.Channel(c) = static_cast<uint8_t>(full ? r : Lerp(color.Channel(c), r, a));
      }
      color.Next();
    }
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

MarkChain::MarkChain(AppContext& context, PainterInput& clip, PainterInput& destination, PainterInput& shape,
                     PainterInput& source)
    : compositor_(context, destination, source), compositorIn_(compositor_),
      masker_(context, shape, destination, compositorIn_), maskerIn_(masker_),
      clipper_(clip, destination, maskerIn_) {}

}  // namespace vn::im
