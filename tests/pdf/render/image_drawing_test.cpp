// Images drawn through the render consumer, checked pixel by pixel against
// the patterns the tests put in: every bit depth, Indexed, CMYK, decode
// arrays, each kind of mask, flipped and rotated placement, reduction of
// large images, and hostile descriptions. Pages are 100 x 100 points at 72
// dpi: user point (x, y) is device pixel (x, 100 - y).
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "pdf/render/display_events.h"
#include "support/render_pages.h"

namespace vn::test {
namespace {

using namespace pdf::render;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string ImageObject(const std::string& entries, const std::string& data) {
  return StreamObject("/Type /XObject /Subtype /Image " + entries, data);
}

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
  out.resize(size);
  return out;
}

class ImageDrawingTest : public ::testing::Test {
 protected:
  // Draws image object 5 (named /Im) with `placement` ("cm" operands), and
  // any further objects 6, ...
  Rendered DrawImage(const std::string& image, const std::string& placement = "80 0 0 80 10 10",
                     const std::vector<std::string>& more = {}, const std::string& before = "") {
    std::vector<std::string> objects{image};
    objects.insert(objects.end(), more.begin(), more.end());
    Rendered r = RenderPdf(context, OnePagePdf(before + "q " + placement + " cm /Im Do Q", "/XObject << /Im 5 0 R >>",
                                               objects));
    EXPECT_EQ(r.error, -1);
    return r;
  }
  AppContext context;
};

TEST_F(ImageDrawingTest, RgbSamplesLandInTheirQuadrants) {
  // 2 x 2: red, green / blue, white; row 0 is the top of the image.
  Rendered r = DrawImage(ImageObject("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceRGB",
                                     Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255})));
  EXPECT_EQ(r.At(20, 20), "255,0,0");
  EXPECT_EQ(r.At(80, 20), "0,255,0");
  EXPECT_EQ(r.At(20, 80), "0,0,255");
  EXPECT_EQ(r.At(80, 80), "255,255,255");
  EXPECT_EQ(r.At(5, 50), "255,255,255");    // outside the image
  EXPECT_EQ(r.At(10, 10), "255,0,0");       // its first and last pixels are whole
  EXPECT_EQ(r.At(89, 89), "255,255,255");
  EXPECT_EQ(r.At(90, 50), "255,255,255");
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(r.painted, 1u);
}

TEST_F(ImageDrawingTest, EveryBitDepthScalesToFullRange) {
  // One row of four gray samples per depth, each image 80 x 20 points.
  struct Depth {
    int bits;
    std::string data;
    int expected[4];
  } depths[] = {
      {1, Bytes({0xA0}), {255, 0, 255, 0}},
      {2, Bytes({0x1B}), {0, 85, 170, 255}},
      {4, Bytes({0x0F, 0x8C}), {0, 255, 136, 204}},
      {8, Bytes({0, 64, 128, 255}), {0, 64, 128, 255}},
      {16, Bytes({0, 0, 0x80, 0x00, 0x12, 0x34, 0xFF, 0xFF}), {0, 128, 18, 255}},
  };
  for (const Depth& depth : depths) {
    SCOPED_TRACE(depth.bits);
    Rendered r = DrawImage(ImageObject("/Width 4 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent " +
                                           std::to_string(depth.bits),
                                       depth.data),
                           "80 0 0 20 10 40");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.Red(20 + 20 * i, 50), depth.expected[i]) << i;
  }
}

TEST_F(ImageDrawingTest, IndexedDecodeRangesAreInIndexUnits) {
  const std::string palette = "[/Indexed /DeviceRGB 3 <FF0000 00FF00 0000FF FFFFFF>]";
  const std::string data = Bytes({0x1B});  // indices 0 1 2 3
  // No Decode, the explicit identity [0 3], and the reversed [3 0].
  const char* decodes[] = {"", "/Decode [0 3]", "/Decode [3 0]"};
  const char* first[] = {"255,0,0", "255,0,0", "255,255,255"};
  const char* second[] = {"0,255,0", "0,255,0", "0,0,255"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(decodes[i]);
    Rendered r = DrawImage(ImageObject("/Width 4 /Height 1 /BitsPerComponent 2 /ColorSpace " + palette + " " +
                                           decodes[i],
                                       data),
                           "80 0 0 20 10 40");
    EXPECT_EQ(r.At(20, 50), first[i]);
    EXPECT_EQ(r.At(40, 50), second[i]);
  }
}

TEST_F(ImageDrawingTest, DecodeArraysAndCmyk) {
  Rendered inverted = DrawImage(
      ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Decode [1 0]", Bytes({0, 200})),
      "80 0 0 20 10 40");
  EXPECT_EQ(inverted.Red(20, 50), 255);
  EXPECT_EQ(inverted.Red(80, 50), 55);
  Rendered halved = DrawImage(
      ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Decode [0 0.5 0 1 0.5 1]",
                  Bytes({255, 0, 0})),
      "80 0 0 20 10 40");
  EXPECT_EQ(halved.At(50, 50), "128,0,128");
  Rendered cmyk = DrawImage(ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceCMYK",
                                        Bytes({0, 0, 0, 0, 255, 0, 0, 0})),
                            "80 0 0 20 10 40");
  EXPECT_EQ(cmyk.At(20, 50), "255,255,255");
  EXPECT_LT(cmyk.Red(80, 50), 60);  // full cyan
  EXPECT_GT(cmyk.Blue(80, 50), 180);
}

TEST_F(ImageDrawingTest, LabDecodeRangesAreInComponentUnits) {
  // Samples span the space's range: a Decode equal to the range is the
  // identity, and [100 0 ...] turns L* around (sample v reads as 255 - v).
  const std::string lab = "/ColorSpace [/Lab << /WhitePoint [0.9505 1 1.089] /Range [-128 127 -128 127] >>] ";
  const std::string samples = Bytes({40, 100, 200, 230, 128, 128});
  const std::string turned = Bytes({215, 100, 200, 25, 128, 128});
  Rendered plain = DrawImage(ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 " + lab, samples), "80 0 0 20 10 40");
  Rendered same = DrawImage(
      ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 " + lab + "/Decode [0 100 -128 127 -128 127]", samples),
      "80 0 0 20 10 40");
  Rendered inverted = DrawImage(
      ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 " + lab + "/Decode [100 0 -128 127 -128 127]", samples),
      "80 0 0 20 10 40");
  Rendered expected =
      DrawImage(ImageObject("/Width 2 /Height 1 /BitsPerComponent 8 " + lab, turned), "80 0 0 20 10 40");
  for (int x : {20, 80}) {
    EXPECT_EQ(same.At(x, 50), plain.At(x, 50));
    EXPECT_EQ(inverted.At(x, 50), expected.At(x, 50));
  }
  EXPECT_NE(plain.At(20, 50), expected.At(20, 50));
}

TEST_F(ImageDrawingTest, ImageMasksPaintTheFillColour) {
  // Samples 0 paint by default; with Decode [1 0] samples 1 do.
  const std::string bits = Bytes({0x50});  // 0 1 0 1
  Rendered plain = DrawImage(ImageObject("/Width 4 /Height 1 /ImageMask true", bits), "80 0 0 20 10 40", {}, "1 0 0 rg ");
  EXPECT_EQ(plain.At(20, 50), "255,0,0");
  EXPECT_EQ(plain.At(40, 50), "255,255,255");
  Rendered inverted = DrawImage(ImageObject("/Width 4 /Height 1 /ImageMask true /Decode [1 0]", bits),
                                "80 0 0 20 10 40", {}, "0 0 1 rg ");
  EXPECT_EQ(inverted.At(20, 50), "255,255,255");
  EXPECT_EQ(inverted.At(40, 50), "0,0,255");
}

TEST_F(ImageDrawingTest, ColourKeyRangesAreRawSamples) {
  // 2-bit gray 0 1 2 3; the key [1 2] hides the middle two.
  Rendered r = DrawImage(ImageObject("/Width 4 /Height 1 /BitsPerComponent 2 /ColorSpace /DeviceGray /Mask [1 2]",
                                     Bytes({0x1B})),
                         "80 0 0 20 10 40", {}, "0 1 0 rg 0 0 100 100 re f ");
  EXPECT_EQ(r.At(20, 50), "0,0,0");
  EXPECT_EQ(r.At(40, 50), "0,255,0");
  EXPECT_EQ(r.At(60, 50), "0,255,0");
  EXPECT_EQ(r.At(80, 50), "255,255,255");
  // 16-bit keys compare all sixteen bits.
  Rendered wide = DrawImage(ImageObject("/Width 2 /Height 1 /BitsPerComponent 16 /ColorSpace /DeviceGray "
                                        "/Mask [4660 4660]",
                                        Bytes({0x12, 0x34, 0x12, 0x35})),
                            "80 0 0 20 10 40", {}, "0 1 0 rg 0 0 100 100 re f ");
  EXPECT_EQ(wide.At(30, 50), "0,255,0");
  EXPECT_EQ(wide.At(70, 50), "18,18,18");
  Rendered wrong = DrawImage(
      ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Mask [1 2 3]", Bytes({0})));
  EXPECT_EQ(wrong.Count(kEventObjectSkipped, 2), 1u);
}

TEST_F(ImageDrawingTest, SoftAndExplicitMasksOfAnotherSize) {
  // A red 1 x 1 image under a 2 x 2 soft mask: opaque, clear / half, clear.
  const std::string red = "/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB";
  Rendered soft = DrawImage(
      ImageObject(red + " /SMask 6 0 R", Bytes({255, 0, 0})), "80 0 0 80 10 10",
      {ImageObject("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray", Bytes({255, 0, 128, 0}))});
  EXPECT_EQ(soft.At(30, 30), "255,0,0");
  EXPECT_EQ(soft.At(70, 30), "255,255,255");
  EXPECT_EQ(soft.At(30, 70), "255,127,127");
  EXPECT_EQ(soft.At(70, 70), "255,255,255");
  // Matte: a colour pre-blended with black at alpha 128 comes back whole.
  Rendered matte = DrawImage(
      ImageObject(red + " /SMask 6 0 R", Bytes({128, 0, 0})), "80 0 0 80 10 10",
      {ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Matte [0 0 0]", Bytes({128}))});
  EXPECT_EQ(matte.At(50, 50), "255,127,127");
  // An Indexed image's Matte is in its base space: the same colours as the
  // RGB image (white pre-blended with red at alpha 128: 255,128,128).
  Rendered indexed = DrawImage(
      ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace [/Indexed /DeviceRGB 1 <000000FF8080>] "
                  "/SMask 6 0 R",
                  Bytes({1})),
      "80 0 0 80 10 10",
      {ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Matte [1 0 0]", Bytes({128}))});
  Rendered direct = DrawImage(
      ImageObject(red + " /SMask 6 0 R", Bytes({255, 128, 128})), "80 0 0 80 10 10",
      {ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray /Matte [1 0 0]", Bytes({128}))});
  EXPECT_EQ(indexed.At(50, 50), direct.At(50, 50));
  EXPECT_EQ(direct.At(50, 50), "255,255,255");
  // An explicit 4 x 1 mask over a 1 x 1 image: samples 1 are masked out.
  Rendered expl = DrawImage(ImageObject(red + " /Mask 6 0 R", Bytes({255, 0, 0})), "80 0 0 20 10 40",
                            {ImageObject("/Width 4 /Height 1 /ImageMask true", Bytes({0x50}))});
  EXPECT_EQ(expl.At(20, 50), "255,0,0");
  EXPECT_EQ(expl.At(40, 50), "255,255,255");
  EXPECT_EQ(expl.At(60, 50), "255,0,0");
  // A soft mask of three components is refused.
  Rendered bad = DrawImage(ImageObject(red + " /SMask 6 0 R", Bytes({255, 0, 0})), "80 0 0 80 10 10",
                           {ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB", "\1\2\3")});
  EXPECT_EQ(bad.Count(kEventObjectSkipped, 2), 1u);
}

TEST_F(ImageDrawingTest, FlipsAndRotationsPutSamplesWhereTheMatrixSays) {
  // 2 x 2: red, green / blue, white (row 0 on top in image space).
  const std::string image = ImageObject("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceRGB",
                                        Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}));
  Rendered flipped = DrawImage(image, "80 0 0 -80 10 90");  // upside down
  EXPECT_EQ(flipped.At(20, 20), "0,0,255");
  EXPECT_EQ(flipped.At(80, 80), "0,255,0");
  Rendered mirrored = DrawImage(image, "-80 0 0 80 90 10");
  EXPECT_EQ(mirrored.At(20, 20), "0,255,0");
  EXPECT_EQ(mirrored.At(80, 80), "0,0,255");
  // A quarter turn anticlockwise: the image's top edge becomes its left.
  Rendered turned = DrawImage(image, "0 80 -80 0 90 10");
  EXPECT_EQ(turned.At(20, 80), "255,0,0");
  EXPECT_EQ(turned.At(20, 20), "0,255,0");
  EXPECT_EQ(turned.At(80, 80), "0,0,255");
  EXPECT_EQ(turned.At(80, 20), "255,255,255");
  // A singular matrix draws nothing and is no error.
  Rendered flat = DrawImage(image, "80 0 80 0 10 10");
  EXPECT_EQ(flat.At(50, 50), "255,255,255");
  EXPECT_TRUE(flat.events.empty());
}

TEST_F(ImageDrawingTest, InlineImagesWithAbbreviations) {
  Rendered r = RenderPdf(context, OnePagePdf("q 80 0 0 20 10 40 cm BI /W 2 /H 1 /BPC 8 /CS /RGB ID " +
                                             Bytes({0, 0, 255, 255, 255, 0}) + " EI Q"));
  EXPECT_EQ(r.At(30, 50), "0,0,255");
  EXPECT_EQ(r.At(70, 50), "255,255,0");
  Rendered indexed = RenderPdf(
      context, OnePagePdf("q 80 0 0 20 10 40 cm BI /W 2 /H 1 /BPC 1 /CS [/I /RGB 1 <00FF00 FF00FF>] /D [1 0] ID " +
                          Bytes({0x40}) + " EI Q"));
  EXPECT_EQ(indexed.At(30, 50), "255,0,255");
  EXPECT_EQ(indexed.At(70, 50), "0,255,0");
}

TEST_F(ImageDrawingTest, LargeImagesDrawnSmallAreAveragedWithinTheBudget) {
  // A 4096 x 4096 1-bit checkerboard of single samples, drawn 80 points
  // wide: 2^5 x 2^5 blocks average to mid gray, and the grid stays small.
  const int side = 4096;
  std::string rows(static_cast<size_t>(side / 8) * side, '\0');
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side / 8; ++x) rows[static_cast<size_t>(y) * (side / 8) + x] = static_cast<char>(y % 2 ? 0x55 : 0xAA);
  }
  context.Budget().ResetPeak();
  Rendered r = DrawImage(ImageObject("/Width 4096 /Height 4096 /BitsPerComponent 1 /ColorSpace /DeviceGray "
                                     "/Filter /FlateDecode",
                                     Deflate(rows)));
  EXPECT_NEAR(r.Red(50, 50), 128, 2);
  EXPECT_LT(context.Budget().PeakBytes(), 2u << 20);
}

TEST_F(ImageDrawingTest, HostileDescriptionsAreSkippedOrDrawnSafely) {
  const std::string gray = "/BitsPerComponent 8 /ColorSpace /DeviceGray";
  // Sizes that are not positive, or beyond any sane image.
  EXPECT_EQ(DrawImage(ImageObject("/Width 0 /Height 1 " + gray, "")).Count(kEventObjectSkipped, 2), 1u);
  EXPECT_EQ(DrawImage(ImageObject("/Width -5 /Height 1 " + gray, "")).Count(kEventObjectSkipped, 2), 1u);
  EXPECT_EQ(DrawImage(ImageObject("/Width 2000000 /Height 2 " + gray, "")).Count(kEventObjectSkipped, 6), 1u);
  // 2^31 samples declared, a few bytes given: the missing rows are zeros
  // (black) and the drawing stays within the budget.
  Rendered huge = DrawImage(ImageObject("/Width 65536 /Height 32768 " + gray, "\377\377\377"));
  EXPECT_EQ(huge.Red(50, 50), 0);
  // Truncated data: what is there is drawn, the rest is black.
  Rendered cut = DrawImage(ImageObject("/Width 2 /Height 2 " + gray, "\377\377"));
  EXPECT_EQ(cut.Red(30, 30), 255);
  EXPECT_EQ(cut.Red(30, 70), 0);
  // Missing keys, a short Decode, an unknown filter.
  EXPECT_EQ(DrawImage(ImageObject("/Width 1 /Height 1 /ColorSpace /DeviceGray", "\0")).Count(kEventObjectSkipped, 2),
            1u);
  EXPECT_EQ(DrawImage(ImageObject("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Decode [0 1]",
                                  "abc"))
                .Count(kEventObjectSkipped, 2),
            1u);
  Rendered unknown = DrawImage(ImageObject("/Width 1 /Height 1 " + gray + " /Filter /NoSuchDecode", "\0"));
  EXPECT_EQ(unknown.Count(kEventImages, kImageNotDrawn), 1u);
}

}  // namespace
}  // namespace vn::test
