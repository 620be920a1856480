// Smooth shadings: the "sh" operator and the fill of shading patterns.
//
// A shading is read into a description (shading_description.h); its colour
// function fills a table of colours once per drawing; a shade sampler of
// the imaging core (im/shade_sampler.h) colours each device pixel, and the
// mark chain puts it on the page through the mark's shape and the clip,
// as an image is put. "sh" paints over the whole clip area, or only inside
// the shading's "BBox" when it has one.
#include "im/bezier_raster_painter.h"
#include "im/shade_sampler.h"
#include "pdf/render/render_consumer.h"
#include "pdf/render/shading_description.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

namespace {

// The colour source of one shading drawing: the table or function and the
// sampler of the shading's type. Holds engine memory: a local is a Scoped.
class ShadingSource {
 public:
  ShadingSource(AppContext& context, pdfcolor::DocumentColorSpaces& colors, const ShadingDescription& d,
                int32_t intent, const FixedMatrix& toDevice, const im::PixelRect& area, uint8_t alpha)
      : function_(colors, d, intent), table_(context), sampler_(context), store_(context), input_(context) {
    uint8_t backgroundRgb[3];
    const uint8_t* background = nullptr;
    if (d.hasBackground) {
      function_.ToRGB(d.background, backgroundRgb);
      background = backgroundRgb;
    }
    switch (d.type) {
      case kFunctionShading:
        sampler_.Set(New<im::FunctionShadeSampler>(context, context, function_, d.domain, Concat(d.matrix, toDevice),
                                                   background, alpha));
        break;
      case kAxialShading:
      case kRadialShading:
        table_.Fill(function_, d.domain[0], d.domain[1]);
        if (d.type == kAxialShading) {
          sampler_.Set(New<im::AxialShadeSampler>(context, context, table_, d.extend, d.coords, toDevice, area,
                                                  background, alpha));
        } else {
          sampler_.Set(New<im::RadialShadeSampler>(context, context, table_, d.extend, d.coords, toDevice, area,
                                                   background, alpha));
        }
        break;
      default:
        RaiseCode(context, kUnsupported);
    }
    if (sampler_->RowInvariant()) {
      store_.Set(New<im::SmoothShadeSamplerWithOneLineGraphicStore>(context, context, *sampler_, area.x0, area.x1,
                                                                    background, alpha));
    }
    input_.Set(New<im::RasterPainterImpl<im::SmoothShadeSampler>>(context, store_ ? *store_ : *sampler_));
  }

  im::PainterInput& Input() { return *input_; }

 private:
  PDFSmoothShadeFunction function_;
  im::ShadeColorTable table_;
  Owned<im::SmoothShadeSampler> sampler_;
  Owned<im::SmoothShadeSampler> store_;
  Owned<im::RasterPainterImpl<im::SmoothShadeSampler>> input_;
};

}  // namespace

void RenderConsumer::PaintShading(const content::DLName&, const ResolvedValue& shading) {
  GraphicsState& s = State();
  if (hiddenFrom_ != 0) return;
  if (shading.Get().IsNull()) {
    SendEvent(kEventObjectSkipped, kBadData);
    return;
  }
  Guard([&] {
    if (s.deviceClip.Empty()) return;
    im::RectangleRasterPainter whole(s.deviceClip);
    im::RasterPainterImpl<im::RectangleRasterPainter> wholeIn(whole);
    PaintShadingThrough(shading, false, s.ctm, wholeIn, s.deviceClip, s.fillAlpha);
  });
  FinishObject();
}

struct RenderConsumer::ShadingReplay {
  const ResolvedValue& shading;
  bool forPattern;
  const FixedMatrix& toDevice;
  im::PainterInput& shape;
  im::PixelRect area;
  Fixed16_16 alpha;
};

// Reading the colour functions (stitching functions nest) wants stack: the
// work runs as a nested replay, on a fresh stack when this one runs low.
void RenderConsumer::PaintShadingThrough(const ResolvedValue& shading, bool forPattern, const FixedMatrix& toDevice,
                                         im::PainterInput& shape, im::PixelRect area, Fixed16_16 alpha) {
  ShadingReplay replay{shading, forPattern, toDevice, shape, area, alpha};
  RunNested(&PlayShading, &replay, kShadingStackReserve);
}

void RenderConsumer::PlayShading(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const ShadingReplay& r = *static_cast<const ShadingReplay*>(argument);
  self.DrawShading(r.shading, r.forPattern, r.toDevice, r.shape, r.area, r.alpha);
}

void RenderConsumer::DrawShading(const ResolvedValue& shading, bool forPattern, const FixedMatrix& toDevice,
                                 im::PainterInput& shape, im::PixelRect area, Fixed16_16 alpha) {
  GraphicsState& s = State();
  Owned<ShadingDescription> description(context_, New<ShadingDescription>(context_, context_));
  const ShadingDescription& d = *description;
  ReadShadingDescription(Colors(), shading, Record()->Resources(), forPattern, *description);
  if (d.type >= kFreeFormMesh) {
    SendEvent(kEventShadings, kShadingNotDrawn);
    return;
  }
  if (s.blendMode != 0) SendEvent(kEventTransparency, kBlendModeIgnored);
  if (alpha < kFixedOne) SendEvent(kEventTransparency, kConstantAlpha);
  const uint8_t opacity = FixedToByte(alpha);
  if (opacity == 0) return;
  // The shading's box, when it has one, narrows the shape.
  Owned<im::BezierRasterPainter> box(context_);
  Owned<im::RasterPainterImpl<im::BezierRasterPainter>> boxIn(context_);
  Owned<im::MultiplierRasterPainter> boxed(context_);
  Owned<im::RasterPainterImpl<im::MultiplierRasterPainter>> boxedIn(context_);
  im::PainterInput* where = &shape;
  if (d.hasBBox) {
    const BoxPath path(d.bbox);
    box.Set(New<im::BezierRasterPainter>(context_, context_, path.View(), toDevice, s.deviceClip, im::kNonZero));
    area = im::Intersect(area, box->Bounds());
    boxIn.Set(New<im::RasterPainterImpl<im::BezierRasterPainter>>(context_, *box));
    boxed.Set(New<im::MultiplierRasterPainter>(context_, context_, *boxIn, shape));
    boxedIn.Set(New<im::RasterPainterImpl<im::MultiplierRasterPainter>>(context_, *boxed));
    where = boxedIn.get();
  }
  area = im::Intersect(area, s.deviceClip);
  if (area.Empty()) return;
  Scoped<ShadingSource> source(context_, context_, Colors(), d, s.intent, toDevice, area, opacity);
  Scoped<im::MarkChain> mark(context_, context_, *clip_, pageIn_, *where, source->Input());
  im::PaintRows(work_, mark->Painter(), area);
  AddDirty(area);
}

}  // namespace vn::pdf::render
