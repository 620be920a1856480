// Smooth shadings: the "sh" operator and the fill of shading patterns.
//
// A shading is read into a description (shading_description.h); its colour
// function fills a table of colours once per drawing; a shade sampler of
// the imaging core (im/shade_sampler.h) colours each device pixel, and the
// mark chain puts it on the page through the mark's shape and the clip,
// as an image is put. "sh" paints over the whole clip area, or only inside
// the shading's "BBox" when it has one.
//
// A mesh is read from its stream (mesh_reader.h) into batches of triangles
// (patches divided into triangles on the way); each full batch is painted
// through the mark chain and cleared, so a mesh of any size holds one
// batch's memory.
#include "im/bezier_raster_painter.h"
#include "im/mesh_shade.h"
#include "im/shade_sampler.h"
#include "pdf/render/mesh_reader.h"
#include "pdf/render/render_consumer.h"
#include "pdf/render/shading_description.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

namespace {

// The colour source of one shading drawing: the table or function and the
// sampler of the shading's type. Holds engine memory: a local is a Scoped.
class ShadingSource final : public MeshColorConverter {
 public:
  ShadingSource(AppContext& context, pdfcolor::DocumentColorSpaces& colors, const ShadingDescription& d,
                int32_t intent, const FixedMatrix& toDevice, const im::PixelRect& area, uint8_t alpha)
      : function_(colors, d, intent),
        table_(context),
        sampler_(context),
        store_(context),
        input_(context),
        meshInput_(context) {
    const uint8_t* background = nullptr;
    if (d.hasBackground) {
      function_.ToRGB(d.background, backgroundRgb_);
      background = backgroundRgb_;
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
      default: {
        // A mesh: its vertices carry the table's steps (from t over the
        // decode range) or colours. The background is painted apart.
        const im::ShadeColorTable* table = nullptr;
        if (d.functions.Count() > 0) {
          table_.Fill(function_, d.decode[4], d.decode[5]);
          table = &table_;
        }
        mesh_ = New<im::MeshShadeSampler>(context, context, table, area, alpha);
        sampler_.Set(mesh_);
        break;
      }
    }
    if (mesh_ != nullptr) {
      // Wrapped as itself, the mesh sampler's runs skip what no triangle covers.
      meshInput_.Set(New<im::RasterPainterImpl<im::MeshShadeSampler>>(context, *mesh_));
      return;
    }
    if (sampler_->RowInvariant()) {
      store_.Set(New<im::SmoothShadeSamplerWithOneLineGraphicStore>(context, context, *sampler_, area.x0, area.x1,
                                                                    background, alpha));
    }
    input_.Set(New<im::RasterPainterImpl<im::SmoothShadeSampler>>(context, store_ ? *store_ : *sampler_));
  }

  im::PainterInput& Input() { return mesh_ != nullptr ? static_cast<im::PainterInput&>(*meshInput_) : *input_; }
  im::MeshShadeSampler& Mesh() { return *mesh_; }
  const uint8_t* BackgroundRgb() const { return backgroundRgb_; }
  void ToRGB(const Fixed16_16* components, uint8_t* rgb) const override { function_.ToRGB(components, rgb); }

 private:
  uint8_t backgroundRgb_[3] = {};
  im::MeshShadeSampler* mesh_ = nullptr;  // owned by sampler_
  PDFSmoothShadeFunction function_;
  im::ShadeColorTable table_;
  Owned<im::SmoothShadeSampler> sampler_;
  Owned<im::SmoothShadeSampler> store_;
  Owned<im::RasterPainterImpl<im::SmoothShadeSampler>> input_;
  Owned<im::RasterPainterImpl<im::MeshShadeSampler>> meshInput_;
};

// Gathers a mesh's triangles into the sampler's batch; paints the batch
// over the area it touches whenever it is full, and at the end (Flush).
class MeshBatches final : public MeshElementSink, public im::MeshTriangleSink {
 public:
  MeshBatches(im::MeshShadeSampler& sampler, im::ClipperRasterPainter& mark, im::WorkCounter& work,
              const im::PixelRect& area, bool coons)
      : sampler_(sampler), mark_(mark), work_(work), area_(area), coons_(coons) {}

  void Triangle(const im::MeshVertex& a, const im::MeshVertex& b, const im::MeshVertex& c) override {
    if (sampler_.Full()) Flush();
    sampler_.Triangle(a, b, c);
  }

  void Patch(const im::MeshPatch& patch) override {
    if (!coons_) return im::TessellatePatch(patch, *this);
    im::MeshPatch tensor = patch;
    im::FillCoonsInnerPoints(tensor);
    im::TessellatePatch(tensor, *this);
  }

  void Flush() {
    if (sampler_.Empty()) return;
    const im::PixelRect touched = im::Intersect(area_, sampler_.Bounds());
    if (!touched.Empty()) im::PaintRows(work_, mark_, touched);
    sampler_.Clear();
  }

 private:
  im::MeshShadeSampler& sampler_;
  im::ClipperRasterPainter& mark_;
  im::WorkCounter& work_;
  im::PixelRect area_;
  bool coons_;
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
  Owned<data_io::DataBlockStream> meshData(context_);
  if (d.type >= kFreeFormMesh) meshData.Set(Resolver()->OpenStreamData(shading));
  Scoped<ShadingSource> source(context_, context_, Colors(), d, s.intent, toDevice, area, opacity);
  if (d.type >= kFreeFormMesh && d.hasBackground) PaintCoverage(*where, area, source->BackgroundRgb(), opacity);
  Scoped<im::MarkChain> mark(context_, context_, *clip_, pageIn_, *where, source->Input());
  if (d.type < kFreeFormMesh) {
    im::PaintRows(work_, mark->Painter(), area);
    AddDirty(area);
    return;
  }
  MeshBatches batches(source->Mesh(), mark->Painter(), work_, area, d.type == kCoonsMesh);
  const bool whole = ReadMesh(context_, d, *source, toDevice, *meshData, work_, batches);
  batches.Flush();
  AddDirty(area);
  // What was whole is drawn; the damage is reported.
  if (!whole) SendEvent(kEventObjectSkipped, kBadData);
}

}  // namespace vn::pdf::render
