// The compositing painters and the surface encoders: byte arithmetic, the
// flat-colour fast path against the general chain, opaque and transparent
// sources, constant alpha, nested clips, text rows, and the end-to-end chain
// from a path to the page buffer.
#include <gtest/gtest.h>

#include <vector>

#include "im/bezier_raster_painter.h"
#include "im/fast_pixel_buffer_raster_painter.h"
#include "im/raster_compositing.h"
#include "im/raster_test_support.h"
#include "im/signal.h"
#include "im/surface_encoder.h"
#include "im/text_raster_painter.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"

namespace vn::im {
namespace {

using test::PathBuilder;

// A page of B,G,R pixels filled with one colour.
struct Page {
  Page(int w, int h, uint8_t r, uint8_t g, uint8_t b) : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3) {
    for (size_t i = 0; i < bytes.size(); i += 3) {
      bytes[i] = b;
      bytes[i + 1] = g;
      bytes[i + 2] = r;
    }
  }
  PixelBuffer Buffer() { return LERGBBuffer(bytes.data(), 0, 0, width, height, width * 3); }
  // Red, green, blue of pixel (x, y).
  std::array<int, 3> Rgb(int x, int y) const {
    const uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * 3];
    return {p[2], p[1], p[0]};
  }
  int width, height;
  std::vector<uint8_t> bytes;
};

TEST(ByteSignals, MulAndLerp) {
  EXPECT_EQ(Mul(255, 255), 255u);
  EXPECT_EQ(Mul(128, 255), 128u);
  for (uint32_t x = 0; x < 256; ++x) {
    EXPECT_EQ(Mul(255, x), x);
    EXPECT_EQ(Mul(0, x), 0u);
    EXPECT_EQ(Lerp(x, 200, 0), x);
    EXPECT_EQ(Lerp(x, 200, 255), 200u);
    for (uint32_t y = 0; y < 256; y += 5) EXPECT_LE(std::abs(static_cast<int>(Mul(x, y)) - static_cast<int>(x * y / 255.0 + 0.5)), 0);
  }
  EXPECT_EQ(Lerp(255, 0, 128), 127u);
}

TEST(Compositing, FlatRedClippedAtHalfOverWhite) {
  AppContext context;
  Page page(4, 1, 255, 255, 255);
  FastPixelBufferRasterPainter pagePainter(page.Buffer());
  RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(pagePainter);
  // The clip: a constant coverage of 128.
  FlatCoverage half(128);
  FastPixelBufferRasterPainter clip(half.buffer);
  RasterPainterImpl<FastPixelBufferRasterPainter> clipIn(clip);
  RectangleRasterPainter shape(PixelRect{0, 0, 2, 1});
  RasterPainterImpl<RectangleRasterPainter> shapeIn(shape);
  FlatColor red(255, 0, 0);
  ClipperRasterPainter mark(clipIn, pageIn, shapeIn, red);
  WorkCounter work(context);
  PaintRows(work, mark, PixelRect{0, 0, 4, 1});
  EXPECT_EQ(page.Rgb(0, 0), (std::array<int, 3>{255, 127, 127}));
  EXPECT_EQ(page.Rgb(1, 0), (std::array<int, 3>{255, 127, 127}));
  EXPECT_EQ(page.Rgb(2, 0), (std::array<int, 3>{255, 255, 255}));  // outside the shape: untouched
}

// The same mark through the general chain (compositor, masker, clipper) and
// through the flat-colour fast path.
void PaintBoth(AppContext& context, const Path& shapePath, const Path& clipPath, const FlatColor& color, Page& general,
               Page& fast) {
  const PixelRect area{0, 0, general.width, general.height};
  WorkCounter work(context);
  for (int pass = 0; pass < 2; ++pass) {
    Page& page = pass == 0 ? general : fast;
    FastPixelBufferRasterPainter pagePainter(page.Buffer());
    RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(pagePainter);
    Scoped<BezierRasterPainter> shape(context, context, shapePath, IdentityMatrix(), area, kNonZero);
    Scoped<BezierRasterPainter> clip(context, context, clipPath, IdentityMatrix(), area, kEvenOdd);
    RasterPainterImpl<BezierRasterPainter> shapeIn(*shape), clipIn(*clip);
    FastPixelBufferRasterPainter source(color.buffer);
    RasterPainterImpl<FastPixelBufferRasterPainter> sourceIn(source);
    if (pass == 0) {
      Scoped<MarkChain> mark(context, context, clipIn, pageIn, shapeIn, sourceIn);
      PaintRows(work, mark->Painter(), area);
    } else {
      ClipperRasterPainter mark(clipIn, pageIn, shapeIn, color);
      PaintRows(work, mark, area);
    }
  }
}

TEST(Compositing, PathToPageThroughAClipMatchesTheCoverageProduct) {
  AppContext context;
  PathBuilder shape, clip;
  shape.Move(2.3, 1.2).Line(37.5, 6.7).Line(12.25, 28.9).Close();
  clip.Move(20, 2).Curve(40, 2, 40, 30, 20, 30).Curve(0, 30, 0, 2, 20, 2).Close();
  const PixelRect area{0, 0, 40, 32};
  const test::CoverageMask s = test::RenderCoverage(context, shape.View(), IdentityMatrix(), area, kNonZero);
  const test::CoverageMask k = test::RenderCoverage(context, clip.View(), IdentityMatrix(), area, kEvenOdd);
  for (uint8_t alpha : {255, 160}) {
    FlatColor color(30, 200, 90, alpha);
    Page general(40, 32, 250, 240, 10), fast(40, 32, 250, 240, 10);
    PaintBoth(context, shape.View(), clip.View(), color, general, fast);
    const int background[3] = {250, 240, 10};
    const int paint[3] = {30, 200, 90};
    int worst = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 40; ++x) {
        const uint32_t m = Mul(static_cast<uint32_t>(s.At(x, y)), static_cast<uint32_t>(k.At(x, y)));
        for (int c = 0; c < 3; ++c) {
          const uint32_t over = Mul(paint[c], alpha) + Mul(255 - alpha, background[c]);
          const int expected = static_cast<int>(Lerp(background[c], over, m));
          worst = std::max(worst, std::abs(fast.Rgb(x, y)[c] - expected));
          // The general chain blends twice (mask, then clip): one more rounding.
          EXPECT_LE(std::abs(general.Rgb(x, y)[c] - fast.Rgb(x, y)[c]), 1) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(worst, 0);
    // Outside the shape nothing was touched.
    EXPECT_EQ(fast.Rgb(0, 31), (std::array<int, 3>{250, 240, 10}));
  }
}

TEST(Compositing, OpaqueSourceReplacesAndTransparentSourceKeeps) {
  AppContext context;
  WorkCounter work(context);
  for (uint8_t alpha : {255, 0}) {
    Page page(3, 2, 12, 34, 56);
    FastPixelBufferRasterPainter pagePainter(page.Buffer());
    RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(pagePainter);
    FlatColor color(200, 100, 50, alpha);  // alpha 0 stores colour 0 (premultiplied)
    FastPixelBufferRasterPainter source(color.buffer);
    RasterPainterImpl<FastPixelBufferRasterPainter> sourceIn(source);
    RectangleRasterPainter everywhere(PixelRect{0, 0, 3, 2});
    RasterPainterImpl<RectangleRasterPainter> everywhereIn(everywhere);
    Scoped<MarkChain> mark(context, context, everywhereIn, pageIn, everywhereIn, sourceIn);
    PaintRows(work, mark->Painter(), PixelRect{0, 0, 3, 2});
    const std::array<int, 3> expected = alpha == 255 ? std::array<int, 3>{200, 100, 50} : std::array<int, 3>{12, 34, 56};
    EXPECT_EQ(page.Rgb(2, 1), expected);
  }
}

TEST(Compositing, ConstantAlphaAndNestedClipsMultiply) {
  AppContext context;
  WorkCounter work(context);
  Page page(4, 1, 0, 0, 0);
  FastPixelBufferRasterPainter pagePainter(page.Buffer());
  RasterPainterImpl<FastPixelBufferRasterPainter> pageIn(pagePainter);
  // White at constant alpha 102 (0.4) through the multiplier.
  FlatColor white(255, 255, 255);
  FastPixelBufferRasterPainter source(white.buffer);
  RasterPainterImpl<FastPixelBufferRasterPainter> sourceIn(source);
  FlatCoverage alphaByte(102);
  FastPixelBufferRasterPainter alpha(alphaByte.buffer);
  RasterPainterImpl<FastPixelBufferRasterPainter> alphaIn(alpha);
  Scoped<MultiplierRasterPainter> faded(context, context, alphaIn, sourceIn);
  RasterPainterImpl<MultiplierRasterPainter> fadedIn(*faded);
  // Two clips: [0, 3) and a half-covered pixel column at 2 (x from 2.5).
  RectangleRasterPainter outer(PixelRect{0, 0, 3, 1});
  RasterPainterImpl<RectangleRasterPainter> outerIn(outer);
  PathBuilder innerPath;
  innerPath.Rect(1, 0, 2.5, 1);
  Scoped<BezierRasterPainter> inner(context, context, innerPath.View(), IdentityMatrix(), PixelRect{0, 0, 4, 1}, kNonZero);
  RasterPainterImpl<BezierRasterPainter> innerIn(*inner);
  Scoped<MultiplierRasterPainter> both(context, context, innerIn, outerIn);
  RasterPainterImpl<MultiplierRasterPainter> bothIn(*both);
  RectangleRasterPainter shape(PixelRect{0, 0, 4, 1});
  RasterPainterImpl<RectangleRasterPainter> shapeIn(shape);
  Scoped<MarkChain> mark(context, context, bothIn, pageIn, shapeIn, fadedIn);
  PaintRows(work, mark->Painter(), PixelRect{0, 0, 4, 1});
  EXPECT_EQ(page.Rgb(0, 0)[0], 0);    // outside the inner clip
  EXPECT_EQ(page.Rgb(1, 0)[0], 102);  // white at 0.4 over black
  EXPECT_EQ(page.Rgb(2, 0)[0], static_cast<int>(Lerp(0, 102, 127)));
  EXPECT_EQ(page.Rgb(3, 0)[0], 0);    // outside the outer clip
}

TEST(TextPainter, OverlappingGlyphsAreOredNotSummed) {
  AppContext context;
  const uint8_t a[2 * 3] = {0x0F, 0x80, 0x00, 0x11, 0x22, 0x33};
  const uint8_t b[2 * 2] = {0xF0, 0x01, 0x44, 0x44};
  const GlyphRecord glyphs[2] = {{10, 5, 13, 7, a}, {11, 6, 13, 8, b}};
  Scoped<TextRasterPainter> text(context, context, glyphs, 2);
  EXPECT_EQ(text->Box().x0, 10);
  EXPECT_EQ(text->Box().y1, 8);
  text->SetScanline(4);
  EXPECT_EQ(text->RunAt(0).kind, kRunEmpty);
  text->SetScanline(6);
  EXPECT_EQ(text->RunAt(0).end, 10);
  EXPECT_EQ(text->RunAt(10).kind, kRunPartial);
  EXPECT_EQ(text->RunAt(10).end, 13);
  EXPECT_EQ(text->RunAt(13).end, kRowEnd);
  const PixelBuffer& out = text->Output();
  EXPECT_EQ(*out.At(out.shape, 10, 6), 0x11);
  EXPECT_EQ(*out.At(out.shape, 11, 6), 0x22 | 0xF0);
  EXPECT_EQ(*out.At(out.shape, 12, 6), 0x33 | 0x01);
  text->SetScanline(7);
  EXPECT_EQ(*out.At(out.shape, 10, 7), 0);
  EXPECT_EQ(*out.At(out.shape, 11, 7), 0x44);
}

TEST(SurfaceEncoders, CopyPutsRedLastAndXorTwiceRestores) {
  AppContext context;
  Page page(3, 2, 255, 0, 0);
  page.bytes[3] = 7;  // pixel 1: blue 7
  // The page's rows are device rows 4 and 5.
  const PixelBuffer source = LERGBBuffer(page.bytes.data(), 0, 4, 3, 6, 9);
  std::vector<uint8_t> surface(5 * 3 * 2, 0x5A);
  const WinSurfaceTraits::Surface target{surface.data(), 15, -1, 4};  // page pixel (x, y) at column x + 1 of row y - 4
  for (bool exclusiveOr : {false, true}) {
    std::vector<uint8_t> before = surface;
    Owned<SurfaceRowEncoder> encoder(context, NewSurfaceEncoder(context, source, target, exclusiveOr));
    encoder->Encode(4, 0, 3);
    if (!exclusiveOr) {
      EXPECT_EQ(surface[3], 0);
      EXPECT_EQ(surface[4], 0);
      EXPECT_EQ(surface[5], 255);
      EXPECT_EQ(surface[6], 7);
      EXPECT_EQ(surface[0], 0x5A);  // column 0 (page x -1) untouched
    } else {
      encoder->Encode(4, 0, 3);
      EXPECT_EQ(surface, before);
    }
  }
  // A flat colour (pixel step 0) and a generic layout encode the same.
  FlatColor blue(0, 0, 255);
  PixelBuffer generic = source;
  std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  generic.color = PixelPlane{rgb.data(), 0, 1, 3};
  Owned<SurfaceRowEncoder> flat(context, NewSurfaceEncoder(context, blue.buffer, target, false));
  flat->Encode(5, 1, 2);
  EXPECT_EQ(surface[15 + 6], 255);
  EXPECT_EQ(surface[15 + 8], 0);
  Owned<SurfaceRowEncoder> any(context, NewSurfaceEncoder(context, generic, target, false));
  any->Encode(5, 0, 1);
  EXPECT_EQ(surface[15 + 3], 3);
  EXPECT_EQ(surface[15 + 5], 1);
  PixelBuffer none;
  Owned<SurfaceRowEncoder> nothing(context, NewSurfaceEncoder(context, none, target, false));
  nothing->Encode(5, 0, 3);
}

}  // namespace
}  // namespace vn::im
