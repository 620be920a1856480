// Drawing images: image XObjects, inline images and image masks, with
// explicit, colour-key and soft masks.
//
// Per image: read its description; work out which samples can show (the
// clip mapped back into the image) and how far the image can be reduced
// (drawn at less than half a device pixel per sample, 2^k x 2^k blocks
// are averaged first); pull those rows through the image pipes into a
// grid in memory; then sample the grid onto the page through the inverse
// of the image matrix, inside the image's outline and the clip. A mask of
// another size gets its own grid and mapping.
//
// Memory: a grid never exceeds kImageGridBytes (kMaskGridBytes for a
// mask); an image that would is reduced one more level until it fits, so a
// 20,000 x 20,000 image costs no more than one drawn small.
#include <cstdint>
#include <cstring>

#include "im/bezier_raster_painter.h"
#include "im/image_sampler.h"
#include "im/raster_compositing.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/indexed_color_space.h"
#include "pdf/render/image_description.h"
#include "pdf/render/image_pipes.h"
#include "pdf/render/render_consumer.h"
#include "runtime/checked_math.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

namespace {

inline constexpr uint32_t kImageGridBytes = 3u << 20;
inline constexpr uint32_t kMaskGridBytes = 1u << 20;

// The part of an image to read and how it is reduced.
struct ImagePlan {
  uint32_t dct = 0;                   // levels the JPEG decoder takes (decoding at 1/2^dct)
  uint32_t width = 0, height = 0;     // of the decoded image
  uint32_t level = 0;                 // thumbnail levels: 2^level x 2^level blocks
  uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // decoded samples to read, aligned to 2^level
  uint32_t gridWidth = 0, gridHeight = 0;
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

uint32_t Log2Floor(uint64_t v) {
  uint32_t k = 0;
  while (v > 1) {
    v >>= 1;
    ++k;
  }
  return k;
}

// Device pixels per sample along the image's two axes, as the number of
// samples per device pixel (rounded down): the reduction that keeps at
// least one device pixel per two samples along the finer axis.
uint32_t ReductionLevel(const FixedMatrix& m, uint32_t width, uint32_t height) {
  const uint64_t across = FixedMagnitude(FixedHypot(m.a, m.b));
  const uint64_t down = FixedMagnitude(FixedHypot(m.c, m.d));
  if (across == 0 || down == 0) return 0;
  const uint64_t fx = (static_cast<uint64_t>(width) << 16) / across;
  const uint64_t fy = (static_cast<uint64_t>(height) << 16) / down;
  const uint64_t f = fx < fy ? fx : fy;
  return f < 2 ? 0 : Log2Floor(f);
}

// The samples of a width x height image that the device rectangle `clip`
// can show through `mapping`, widened by the sampling reach of one device
// pixel plus one sample; empty when none.
void VisibleSamples(const im::ImageMapping& mapping, const im::PixelRect& clip, uint32_t width, uint32_t height,
                    ImagePlan& plan) {
  int64_t lowX = INT64_MAX, lowY = INT64_MAX, highX = INT64_MIN, highY = INT64_MIN;
  const int32_t xs[2] = {clip.x0, clip.x1 - 1}, ys[2] = {clip.y0, clip.y1 - 1};
  for (int32_t x : xs) {
    for (int32_t y : ys) {
      int64_t sx, sy;
      mapping.Locate(x, y, sx, sy);
      lowX = sx < lowX ? sx : lowX;
      highX = sx > highX ? sx : highX;
      lowY = sy < lowY ? sy : lowY;
      highY = sy > highY ? sy : highY;
    }
  }
  auto magnitude = [](int64_t v) { return v < 0 ? -v : v; };
  const int64_t reachX = (magnitude(mapping.StepXx()) >> 32) + 2;
  const int64_t reachY = (magnitude(mapping.StepXy()) >> 32) + 2;
  const int64_t reach = reachX > reachY ? reachX : reachY;
  auto clampTo = [](int64_t v, uint32_t limit) -> uint32_t {
    return v < 0 ? 0 : v > static_cast<int64_t>(limit) ? limit : static_cast<uint32_t>(v);
  };
  // Pixel centres of the clip's corners bound the positions of all of them
  // (the mapping is affine); each side widened by the reach of one pixel.
  plan.x0 = clampTo((lowX >> 32) - reach, width);
  plan.x1 = clampTo((highX >> 32) + reach + 1, width);
  plan.y0 = clampTo((lowY >> 32) - reach, height);
  plan.y1 = clampTo((highY >> 32) + reach + 1, height);
}

// Aligns the plan to 2^level blocks and to whole bytes of packed rows of
// `pixelBits` bits per pixel, and sizes the grid.
void AlignPlan(ImagePlan& plan, uint32_t width, uint32_t height, uint32_t pixelBits) {
  uint32_t step = 1u << plan.level;
  while ((static_cast<uint64_t>(step) * pixelBits) % 8 != 0) step <<= 1;
  const uint32_t rows = 1u << plan.level;
  plan.x0 -= plan.x0 % step;
  plan.y0 -= plan.y0 % rows;
  plan.x1 = plan.x1 % rows == 0 || plan.x1 + (rows - plan.x1 % rows) > width ? plan.x1 : plan.x1 + (rows - plan.x1 % rows);
  plan.y1 = plan.y1 % rows == 0 || plan.y1 + (rows - plan.y1 % rows) > height ? plan.y1 : plan.y1 + (rows - plan.y1 % rows);
  plan.gridWidth = (plan.x1 - plan.x0 + rows - 1) >> plan.level;
  plan.gridHeight = (plan.y1 - plan.y0 + rows - 1) >> plan.level;
}

// The most levels of reduction the decoder of `d`'s data can take: three
// for JPEG, as many as the data has for JPEG 2000 (the decoder stops at
// what it can), none for others.
uint32_t DecoderLevels(const ImageDescription& d) {
  if (d.imageMask) return 0;
  return d.dctLast ? 3 : d.jpxLast ? 31 : 0;
}

// Plans the reading of image `d` drawn through `mapping` into `clip`: the
// decoder takes up to `decoderLevels` levels of reduction, thumbnails the
// rest; reduced further until a grid of `channels` bytes per pixel fits
// `budget`. False when nothing of it can show.
bool PlanImage(const FixedMatrix& ctm, const im::ImageMapping& mapping, const im::PixelRect& clip,
               const ImageDescription& d, uint32_t channels, uint32_t budget, uint32_t decoderLevels,
               ImagePlan& plan) {
  VisibleSamples(mapping, clip, d.width, d.height, plan);
  if (plan.Empty()) return false;
  plan.level = ReductionLevel(ctm, d.width, d.height);
  plan.dct = plan.level < decoderLevels ? plan.level : decoderLevels;
  plan.level -= plan.dct;
  const uint32_t step = (1u << plan.dct) - 1;
  plan.width = (d.width + step) >> plan.dct;
  plan.height = (d.height + step) >> plan.dct;
  plan.x0 >>= plan.dct;
  plan.y0 >>= plan.dct;
  plan.x1 = (plan.x1 + step) >> plan.dct;
  plan.y1 = (plan.y1 + step) >> plan.dct;
  const uint32_t pixelBits = d.components * d.bitsPerComponent;
  for (;; ++plan.level) {
    ImagePlan aligned = plan;
    AlignPlan(aligned, plan.width, plan.height, pixelBits);
    if (static_cast<uint64_t>(aligned.gridWidth) * aligned.gridHeight * channels <= budget || plan.level >= 20) {
      plan = aligned;
      return !plan.Empty();
    }
  }
}

// How many levels (up to `asked`) a decoder that reduces as far as its data
// allows took, from the size it gives; kBadData when it fits none.
uint32_t TakenLevels(AppContext& context, const ImageDescription& d, const data_io::DecodedImageLayout* layout,
                     uint32_t asked) {
  if (layout == nullptr) RaiseBadData(context);  // no data at all
  for (uint32_t t = 0; t <= asked; ++t) {
    const uint32_t step = (1u << t) - 1;
    if (layout->width == (d.width + step) >> t && layout->height == (d.height + step) >> t) return t;
  }
  RaiseBadData(context);
}

// Whether the decode ranges of `channels` channels are all (0, 1).
bool IdentityDecode(const ImageDescription& d) {
  for (uint32_t c = 0; c < d.components; ++c) {
    if (d.decode[2 * c] != 0 || d.decode[2 * c + 1] != kFixedOne) return false;
  }
  return true;
}

// A grid of decoded pixels and its description for the samplers.
class ImageGrid {
 public:
  explicit ImageGrid(AppContext& context) : pixels(context) {}
  EngineArray<uint8_t> pixels;
  im::SampleGrid grid;
};

// Builds the pipe chain over `source` (packed rows of `d`; `stream` is the
// same pipe when it reads a stream) for `plan` and pulls the grid's rows
// through it. `converter`, when given, turns the
// colours to RGB (before the thumbnails for Indexed images).
void FillGrid(AppContext& context, im::WorkCounter& work, ImagePipe* source, const StreamImagePipe* stream,
              const ImageDescription& d, const ImagePlan& plan, color::ByteColorConverter* converter,
              ImageGrid& out) {
  Owned<ImagePipe> pipe(context, source);
  auto add = [&](ImagePipe* next) {
    pipe.Release();
    pipe.Set(next);
  };
  if (plan.x0 != 0 || plan.y0 != 0 || plan.x1 != plan.width) {
    add(New<SubsectionImagePipe>(context, context, pipe.get(), plan.y0, plan.x0, plan.x1 - plan.x0));
  }
  if (d.maskKind == kColorKeyMask) {
    add(New<ColorKeyMaskImagePipe>(context, context, pipe.get(), d.indexed, d.colorKey));
  } else if (d.bitsPerComponent != 8) {
    add(New<DecoderImagePipe>(context, context, pipe.get(), d.indexed));
  }
  if (d.hasDecode && !IdentityDecode(d)) {
    add(New<DecodeArrayImagePipe>(context, context, pipe.get(), d.decode, d.indexed, d.bitsPerComponent,
                                  d.highestIndex));
  }
  if (converter != nullptr && d.indexed) add(New<ColorConverterImagePipe>(context, context, pipe.get(), *converter));
  if (plan.level > 0) {
    add(New<HorizThumbnailImagePipe>(context, context, pipe.get(), plan.level));
    add(New<VertThumbnailImagePipe>(context, context, pipe.get(), plan.level, plan.y1 - plan.y0));
  }
  if (converter != nullptr && !d.indexed) add(New<ColorConverterImagePipe>(context, context, pipe.get(), *converter));

  const ImageRowFormat format = pipe->Describe();
  const uint32_t rowBytes = format.RowBytes();
  uint32_t exhaustedAt = UINT32_MAX;  // the first grid row begun after the data ran out
  out.pixels.Resize(CheckedMultiply(context, rowBytes, plan.gridHeight));
  // Once the data has run out, every later row is made of zeros alone and
  // comes out the same: one is computed, the rest copied (a short stream
  // that declares billions of samples costs no more than its data).
  uint8_t* rows = out.pixels.Data();
  for (uint32_t y = 0; y < plan.gridHeight; ++y) {
    uint8_t* row = rows + static_cast<size_t>(y) * rowBytes;
    if (exhaustedAt < y) {
      std::memcpy(row, row - rowBytes, rowBytes);
      continue;
    }
    if (stream != nullptr && stream->Truncated()) exhaustedAt = y;
    std::memcpy(row, pipe->NextRow(), rowBytes);
    work.Charge((16 + rowBytes) << plan.level);
  }
  pipe->ReleaseSource();
  out.grid.pixels = out.pixels.Data();
  out.grid.width = format.width;
  out.grid.height = plan.gridHeight;
  out.grid.channels = format.channels;
  out.grid.rowBytes = rowBytes;
  out.grid.shift = plan.dct + plan.level;
  out.grid.originX = plan.x0 >> plan.level;
  out.grid.originY = plan.y0 >> plan.level;
}

// The pixels whose centres an upright image covers (so that images tiled
// edge to edge leave no seams); false for any other matrix.
bool UprightArea(const FixedMatrix& m, const im::PixelRect& clip, im::PixelRect& area) {
  if (m.b != 0 || m.c != 0) return false;
  const Fixed16_16 left = m.a < 0 ? m.tx + m.a : m.tx, right = m.a < 0 ? m.tx : m.tx + m.a;
  const Fixed16_16 top = m.d < 0 ? m.ty + m.d : m.ty, bottom = m.d < 0 ? m.ty : m.ty + m.d;
  im::PixelRect r{FixedRound(left), FixedRound(top), FixedRound(right), FixedRound(bottom)};
  // A hairline image stays visible.
  if (r.x1 == r.x0) r.x1 = r.x0 + 1;
  if (r.y1 == r.y0) r.y1 = r.y0 + 1;
  area = im::Intersect(r, clip);
  return true;
}

// The image's outline on the device: its upright area, or the coverage of
// the unit square under any other matrix. Owns engine memory: a Scoped.
class ImageOutline {
 public:
  ImageOutline(AppContext& context, const FixedMatrix& m, const im::PixelRect& clip)
      : upright_(UprightArea(m, clip, bounds_)), rectangle_(bounds_), rectangleIn_(rectangle_), bezier_(context),
        bezierIn_(context) {
    if (upright_) return;
    const im::BoxPath square(FixedRect{0, 0, kFixedOne, kFixedOne});
    bezier_.Set(New<im::BezierRasterPainter>(context, context, square.View(), m, clip, im::kNonZero));
    bezierIn_.Set(New<im::RasterPainterImpl<im::BezierRasterPainter>>(context, *bezier_));
    bounds_ = im::Intersect(bezier_->Bounds(), clip);
  }
  im::PainterInput& Input() {
    return upright_ ? static_cast<im::PainterInput&>(rectangleIn_) : *bezierIn_;
  }
  const im::PixelRect& Bounds() const { return bounds_; }

 private:
  im::PixelRect bounds_{0, 0, 0, 0};
  bool upright_;
  im::RectangleRasterPainter rectangle_;
  im::RasterPainterImpl<im::RectangleRasterPainter> rectangleIn_;
  Owned<im::BezierRasterPainter> bezier_;
  Owned<im::RasterPainterImpl<im::BezierRasterPainter>> bezierIn_;
};

// The sampler a grid is drawn with: filtering rather than nearest samples when it is drawn smaller than the grid (the kernel then
// averages what each device pixel covers, as the thumbnails do by whole
// blocks) or the image asks to be interpolated. Enlarged images keep their
// sample edges otherwise, as other viewers draw them.
const im::base_image_sampler& Pick(const im::filtering_image_sampler& filtered, const im::nn_image_sampler& nearest,
                                   bool interpolate) {
  if (interpolate || filtered.KernelX().taps > 2 || filtered.KernelY().taps > 2) return filtered;
  return nearest;
}

}  // namespace

void RenderConsumer::GuardImageCall(void (*body)(void*), void* argument) {
  // An image too large for the memory left is skipped like a damaged one.
  const int32_t skipped = TryCall(body, argument, true);
  if (skipped == kUnsupported) {
    SendEvent(kEventImages, kImageNotDrawn);
  } else if (skipped >= 0) {
    SendEvent(kEventObjectSkipped, skipped);
  }
}

void RenderConsumer::DrawImageXObject(const content::DLName& name) {
  if (hiddenFrom_ != 0) return;
  GuardImage([&] {
    ResolvedValue image(context_);
    document::LookupResource(*Resolver(), Record()->Resources(), "XObject", name.bytes, name.length, image, nullptr);
    if (document_.Optional().Shows(image)) DrawImage(image, nullptr);
  });
  FinishObject();
}

void RenderConsumer::DrawInlineImage(const content::InlineImageData& data) {
  if (hiddenFrom_ != 0) return;
  if (data.undecodable) {
    SendEvent(kEventImages, kImageNotDrawn);
  } else {
    GuardImage([&] {
      ResolvedValue image(context_);
      image.Set(*data.dictionary, nullptr);
      DrawImage(image, &data);
    });
  }
  FinishObject();
}

void RenderConsumer::DrawImage(const ResolvedValue& image, const content::InlineImageData* inlineData) {
  GraphicsState& s = State();
  if (s.deviceClip.Empty()) return;
  // Descriptions are large for an engine thread's stack: they live on the heap.
  Owned<ImageDescription> description(context_, New<ImageDescription>(context_));
  const ImageDescription& d = *description;
  pdfcolor::ColorSpaceRef space(context_);
  ReadImageDescription(Colors(), image, Record()->Resources(), inlineData != nullptr, *description, space);
  // Inline images were decoded whole when the content was read.
  if (inlineData != nullptr) description->dctLast = false;
  if (inlineData != nullptr && (inlineData->width != d.width || inlineData->height != d.height ||
                                inlineData->rowBytes != d.rowBytes)) {
    RaiseBadData(context_);
  }
  if (!d.imageMask && space.paintsNothing) return;
  if (d.imageMask && (s.fill.space.paintsNothing)) return;
  // A mask filled with a pattern: the pattern paints it (and reports what
  // it cannot show).
  const bool patternMask = d.imageMask && s.fill.space.kind == pdfcolor::kPatternSpace;
  if (patternMask && !s.fill.pattern) return;
  if (s.blendMode != 0 && !patternMask) SendEvent(kEventTransparency, kBlendModeIgnored);
  if (s.fillAlpha < kFixedOne && !patternMask) SendEvent(kEventTransparency, kConstantAlpha);
  const uint8_t opacity = FixedToByte(s.fillAlpha);
  if (opacity == 0) return;

  const FixedMatrix& m = s.ctm;
  im::ImageMapping mapping;
  if (!mapping.Set(m, d.width, d.height)) return;  // singular: nothing to draw
  Scoped<ImageOutline> outline(context_, context_, m, s.deviceClip);
  const im::PixelRect area = outline->Bounds();
  if (area.Empty()) return;

  // The image's own grid.
  auto channels = [&] { return d.imageMask ? 1u : 3u + (d.maskKind == kColorKeyMask ? 1u : 0u); };
  ImagePlan plan;
  if (!PlanImage(m, mapping, area, d, channels(), kImageGridBytes, DecoderLevels(d), plan)) return;
  Owned<data_io::DataBlockStream> data(context_);
  if (inlineData == nullptr) data.Set(Resolver()->OpenImageData(image, {plan.dct, false}));
  uint32_t jpxLevels = 0;
  if (d.layoutPending) {
    // JPEG 2000: the data tells its depth and colours, and how far it could
    // be reduced; the plan is made again for that.
    const data_io::DecodedImageLayout* layout = data->DecodedLayout();
    jpxLevels = TakenLevels(context_, d, layout, plan.dct);
    ReadImageDescription(Colors(), image, Record()->Resources(), false, *description, space, layout);
    if (space.paintsNothing) return;
    if (!PlanImage(m, mapping, area, d, channels(), kImageGridBytes, jpxLevels, plan)) return;
    if (plan.dct != jpxLevels) RaiseBadData(context_);  // the budget never takes decoder levels back
  }
  Ref<color::ByteColorConverter> converter(context_);
  if (!d.imageMask) Colors().GetByteConverter(converter, space, s.intent);
  const ImageRowFormat packed{plan.width, d.components, d.bitsPerComponent, false};
  ImagePipe* source;
  StreamImagePipe* stream = nullptr;
  if (inlineData != nullptr) {
    source = New<BufferImagePipe>(context_, inlineData->rows, inlineData->height, packed);
  } else {
    source = stream = New<StreamImagePipe>(context_, context_, data.get(), packed);
    data.Release();
  }
  Scoped<ImageGrid> grid(context_, context_);
  FillGrid(context_, work_, source, stream, d, plan, converter.get(), *grid);

  // A mask of its own (explicit or soft), with its own grid and mapping.
  ResolvedValue maskImage(context_);
  Owned<ImageDescription> maskDescription(context_, New<ImageDescription>(context_));
  const ImageDescription& md = *maskDescription;
  im::ImageMapping maskMapping;
  Scoped<ImageGrid> maskGrid(context_, context_);
  bool masked = false;
  uint8_t matte[3];
  bool hasMatte = false;
  if (d.maskKind == kSoftMask || d.maskKind == kExplicitMask) {
    const bool soft = d.maskKind == kSoftMask;
    ImagePlan maskPlan;
    Owned<data_io::DataBlockStream> maskData(context_);
    if (d.alphaInData) {
      // The JPEG 2000 data's alpha, at the image's size and reduction.
      maskDescription->width = d.width;
      maskDescription->height = d.height;
      maskDescription->components = 1;
      maskDescription->bitsPerComponent = 8;
      if (!maskMapping.Set(m, md.width, md.height)) return;
      if (!PlanImage(m, maskMapping, area, md, 1, kMaskGridBytes, jpxLevels, maskPlan)) return;
      maskData.Set(Resolver()->OpenImageData(image, {maskPlan.dct, true}));
      const data_io::DecodedImageLayout* layout = maskData->DecodedLayout();
      if (TakenLevels(context_, md, layout, maskPlan.dct) != maskPlan.dct || layout->components != 1) {
        RaiseBadData(context_);
      }
      maskDescription->bitsPerComponent = layout->bitsPerComponent;
    } else {
      document::GetResolved(*Resolver(), image, soft ? "SMask" : "Mask", maskImage);
      ReadMaskDescription(Colors(), maskImage, Record()->Resources(), soft, *maskDescription);
      if (!maskMapping.Set(m, md.width, md.height)) return;
      if (!PlanImage(m, maskMapping, area, md, 1, kMaskGridBytes, DecoderLevels(md), maskPlan)) return;
      maskData.Set(Resolver()->OpenImageData(maskImage, {maskPlan.dct, false}));
    }
    const ImageRowFormat maskPacked{maskPlan.width, 1, md.bitsPerComponent, false};
    StreamImagePipe* maskStream = New<StreamImagePipe>(context_, context_, maskData.get(), maskPacked);
    maskData.Release();
    FillGrid(context_, work_, maskStream, maskStream, md, maskPlan, nullptr, *maskGrid);
    masked = true;
    if (soft && md.matteComponents > 0) {
      // The colour the image was pre-blended with, in the image's space; an
      // Indexed image's in its base space (its colours after the lookup).
      pdfcolor::ColorSpaceRef matteSpace(context_);
      matteSpace.Set(pdfcolor::kPlainSpace,
                     d.indexed ? &static_cast<const pdfcolor::IndexedColorSpace&>(*space.space).Base()
                               : space.space.get());
      if (md.matteComponents >= matteSpace.components) {
        Colors().ToRGB(matteSpace, md.matte, s.intent, matte);
        hasMatte = true;
      }
    }
  }

  // Painting: the samplers, the image's outline and the clip.
  const im::nn_image_sampler nearest(grid->grid, mapping);
  const im::filtering_image_sampler filtered(grid->grid, mapping, im::kFilterTent);
  const im::base_image_sampler& sampler = Pick(filtered, nearest, d.interpolate);
  if (d.imageMask) {
    Scoped<im::ImageSamplerMaskRasterPainter> coverage(context_, context_, sampler);
    im::RasterPainterImpl<im::ImageSamplerMaskRasterPainter> coverageIn(*coverage);
    Scoped<im::MultiplierRasterPainter> shape(context_, context_, outline->Input(), coverageIn);
    im::RasterPainterImpl<im::MultiplierRasterPainter> shapeIn(*shape);
    if (patternMask) {
      PaintPatternThrough(s.fill, s.fillAlpha, shapeIn, area, nullptr);
      return;
    }
    const uint8_t* rgb = DisplayColor(s.fill);
    im::FlatColor color(rgb[0], rgb[1], rgb[2], opacity);
    im::ClipperRasterPainter mark(*clip_, pageIn_, shapeIn, color);
    im::PaintRows(work_, mark, area);
  } else {
    const im::nn_image_sampler maskNearest(maskGrid->grid, maskMapping);
    const im::filtering_image_sampler maskFiltered(maskGrid->grid, maskMapping, im::kFilterTent);
    const im::base_image_sampler& maskSampler = Pick(maskFiltered, maskNearest, md.interpolate);
    Scoped<im::ImageSamplerRasterPainter> colors(context_, context_, sampler, masked ? &maskSampler : nullptr,
                                                 opacity, hasMatte ? matte : nullptr);
    im::RasterPainterImpl<im::ImageSamplerRasterPainter> colorsIn(*colors);
    Scoped<im::MarkChain> mark(context_, context_, *clip_, pageIn_, outline->Input(), colorsIn);
    im::PaintRows(work_, mark->Painter(), area);
  }
  AddDirty(area);
}

}  // namespace vn::pdf::render
