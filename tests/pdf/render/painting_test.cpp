// Painting through the render consumer: fills and strokes in the colour
// spaces, constant alpha, clips, and the display events of what is drawn
// approximately or skipped. Pages are 100 x 100 points drawn at 72 dpi, so a
// user point (x, y) is the device pixel (x, 100 - y).
#include <gtest/gtest.h>

#include "pdf/render/display_events.h"
#include "pdf/render/graphics_state.h"
#include "pdf/document/document.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::render;

class PaintingTest : public ::testing::Test {
 protected:
  Rendered Draw(const std::string& content, const std::string& resources = "",
                const std::vector<std::string>& objects = {}) {
    Rendered r = RenderPdf(context, OnePagePdf(content, resources, objects));
    EXPECT_EQ(r.error, -1);
    return r;
  }
  AppContext context;
};

TEST_F(PaintingTest, FillsCoverWholePixelsExactly) {
  Rendered r = Draw("1 0 0 rg 10 10 20 30 re f");
  ASSERT_EQ(r.width, 100);
  // Device rectangle x 10..30, y 60..90.
  EXPECT_EQ(r.At(10, 60), "255,0,0");
  EXPECT_EQ(r.At(29, 89), "255,0,0");
  EXPECT_EQ(r.At(9, 70), "255,255,255");
  EXPECT_EQ(r.At(30, 70), "255,255,255");
  EXPECT_EQ(r.At(15, 59), "255,255,255");
  EXPECT_EQ(r.At(15, 90), "255,255,255");
  EXPECT_EQ(r.painted, 1u);
  EXPECT_TRUE(r.events.empty());
}

TEST_F(PaintingTest, HalfPixelEdgesAreHalfCovered) {
  // x 10.5..20.5: the first and last columns are half covered (127 of 255).
  Rendered r = Draw("0 g 10.5 10 10 10 re f");
  EXPECT_EQ(r.At(10, 85), "128,128,128");
  EXPECT_EQ(r.At(15, 85), "0,0,0");
  EXPECT_EQ(r.At(20, 85), "128,128,128");
}

TEST_F(PaintingTest, ColourInEverySpace) {
  const std::string resources =
      "/ColorSpace << /Idx [/Indexed /DeviceRGB 1 <FF0000 00FF00>] /Sep [/Separation /Spot /DeviceRGB "
      "<< /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [0 0 1] /N 1 >>] /None [/Separation /None /DeviceGray "
      "<< /FunctionType 2 /Domain [0 1] /C0 [1] /C1 [0] /N 1 >>] /DN [/DeviceN [/A /B] /DeviceGray 5 0 R] >>";
  Rendered r = Draw(
      "0.5 g 0 90 10 10 re f 0 1 0 rg 10 90 10 10 re f /DeviceRGB cs 0 0 1 sc 20 90 10 10 re f "
      "/Idx cs 1 sc 30 90 10 10 re f /Sep cs 1 sc 40 90 10 10 re f /None cs 1 sc 50 90 10 10 re f "
      "0 0 0 1 k 60 90 10 10 re f 1 0 0 RG 4 w 70 95 m 80 95 l S /DN cs 0.3 0.9 sc 80 90 10 10 re f",
      resources, {StreamObject("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1]", "{ add 2 div }")});
  EXPECT_EQ(r.At(5, 5), "128,128,128");
  EXPECT_EQ(r.At(15, 5), "0,255,0");
  EXPECT_EQ(r.At(25, 5), "0,0,255");
  EXPECT_EQ(r.At(35, 5), "0,255,0");   // index 1 of the table
  EXPECT_EQ(r.At(45, 5), "0,0,255");   // full tint through the tint transform
  EXPECT_EQ(r.At(55, 5), "255,255,255");  // the colorant None paints nothing
  EXPECT_LT(r.Red(65, 5), 80);          // four-ink black through the CMYK profile is dark
  EXPECT_EQ(r.At(75, 5), "255,0,0");    // a stroke in the stroking colour
  EXPECT_EQ(r.At(75, 2), "255,255,255");
  EXPECT_EQ(r.At(85, 5), "153,153,153");  // the tint transform's mean of 0.3 and 0.9, as poppler draws it
  EXPECT_TRUE(r.events.empty());
}

TEST_F(PaintingTest, ConstantAlphaScalesCoverageAndIsReported) {
  Rendered r = Draw("/Half gs 1 0 0 rg 0 0 50 50 re f /Mul gs 0 0 1 rg 50 50 50 50 re f",
                    "/ExtGState << /Half << /ca 0.5 >> /Mul << /ca 1 /BM /Multiply >> >>");
  // Red at alpha 127 over white: 127 + mul(128, 255) = 255 for red, 128 for green and blue.
  EXPECT_EQ(r.At(25, 75), "255,128,128");
  // Multiply is painted as Normal.
  EXPECT_EQ(r.At(75, 25), "0,0,255");
  EXPECT_EQ(r.Count(kEventTransparency, kConstantAlpha), 1u);
  EXPECT_EQ(r.Count(kEventTransparency, kBlendModeIgnored), 1u);
}

TEST_F(PaintingTest, SoftMaskDictionariesAreReportedAndResetsAreNot) {
  Rendered r = Draw("/Reset gs /Mask gs 0 g 0 0 10 10 re f",
                    "/ExtGState << /Reset << /SMask /None >> /Mask << /SMask << /S /Luminosity /G 5 0 R >> >> >>",
                    {"<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Length 0 >>\nstream\n\nendstream"});
  EXPECT_EQ(r.Count(kEventTransparency, kSoftMaskNotApplied), 1u);
  EXPECT_EQ(r.events.size(), 1u);
}

TEST_F(PaintingTest, ClipsNarrowTheirLevelOnly) {
  Rendered r = Draw(
      // A triangle clip inside q ... Q, then a rectangle clip at page level
      // and a second one on the same level: they intersect.
      "q 0 0 m 100 0 l 0 100 l h W n 0 0 1 rg 0 0 100 100 re f Q "
      "1 0 0 rg 60 60 m 61 60 l 61 61 l h f "
      "50 0 50 100 re W n 0 50 100 50 re W n 0 1 0 rg 0 0 100 100 re f");
  EXPECT_EQ(r.At(10, 90), "0,0,255");       // inside the triangle
  EXPECT_EQ(r.At(90, 10), "0,255,0");       // outside the triangle, inside both rectangles
  EXPECT_EQ(r.At(40, 10), "255,255,255");   // outside everything
  EXPECT_EQ(r.At(95, 80), "255,255,255");   // outside the second rectangle
  EXPECT_EQ(r.At(40, 30), "255,255,255");   // outside the first rectangle
}

TEST_F(PaintingTest, AClipAfterQNoLongerLimits) {
  Rendered r = Draw("q 0 0 10 10 re W n Q 0 0 1 rg 0 0 100 100 re f");
  EXPECT_EQ(r.At(50, 50), "0,0,255");
}

TEST_F(PaintingTest, EmptyClipHidesTheRestOfTheLevel) {
  Rendered r = Draw("q W n 0 g 0 0 100 100 re f Q 1 0 0 rg 0 0 10 10 re f");
  EXPECT_EQ(r.At(50, 50), "255,255,255");
  EXPECT_EQ(r.At(5, 95), "255,0,0");
}

TEST_F(PaintingTest, OneBadObjectDoesNotBlankThePage) {
  Rendered r = Draw(
      "/DeviceRGB cs 1 sc 0 0 50 50 re f "  // a short sc: skipped, the colour stays black
      "/Nope cs 0 g 50 0 50 50 re f "        // an unknown colour space: skipped
      "0 0 1 rg 0 50 100 50 re f");
  EXPECT_EQ(r.At(25, 75), "0,0,0");
  EXPECT_EQ(r.At(75, 75), "0,0,0");
  EXPECT_EQ(r.At(50, 25), "0,0,255");
  EXPECT_EQ(r.Count(kEventObjectSkipped, 2), 2u);
}

TEST_F(PaintingTest, ContentThatStopsEarlyIsDrawnUpToThereAndReported) {
  Rendered r = Draw("1 0 0 rg 0 0 10 10 re f 1 2 frobnicate 0 g 50 50 10 10 re f");
  EXPECT_EQ(r.At(5, 95), "255,0,0");
  EXPECT_EQ(r.At(55, 45), "255,255,255");
  EXPECT_EQ(r.Count(kEventContentStopped, kBadData), 1u);
}

TEST_F(PaintingTest, PatternNameRulesAreEnforced) {
  Rendered r = Draw("/DeviceRGB cs 0 0 1 /P0 scn 0 0 10 10 re f /Pattern cs 1 sc 10 10 10 10 re f",
                    "/Pattern << /P0 5 0 R >>",
                    {"<< /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 1 0] "
                     "/Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0] /C1 [1 1 1] /N 1 >> >> >>"});
  EXPECT_EQ(r.Count(kEventObjectSkipped, 2), 2u);  // a pattern name in RGB; components only in Pattern
}

TEST_F(PaintingTest, ContentNotDrawnYetIsReported) {
  const std::string resources =
      "/XObject << /Im0 5 0 R >> /Shading << /Sh0 6 0 R >> /Pattern << /P0 7 0 R >> /Font << /F1 8 0 R >>";
  Rendered r = Draw(
      "q 10 0 0 10 0 0 cm /Im0 Do Q /Sh0 sh BT /F1 12 Tf 10 10 Td (Hi) Tj 3 Tr (hidden) Tj ET "
      "/Pattern cs /P0 scn 0 0 10 10 re f BI /W 1 /H 1 /BPC 8 /CS /G ID \x80 EI",
      resources,
      {"<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray "
       "/Length 1 >>\nstream\n\x80\nendstream",
       "<< /ShadingType 4 /ColorSpace /DeviceGray /BitsPerCoordinate 8 /BitsPerComponent 8 /BitsPerFlag 8 "
       "/Decode [0 1 0 1 0 1] >>",
       "<< /PatternType 2 /Shading 6 0 R >>",
       // A composite font without a program of a collection no font covers.
       "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Type /Font "
       "/Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << /Registry (Foo) /Ordering (Bar) /Supplement 0 >> >>] "
       ">>"});
  EXPECT_EQ(r.Count(kEventImages, kImageNotDrawn), 0u);  // images are drawn now (image_drawing_test.cpp)
  // Meshes are drawn now (mesh_drawing_test.cpp); this one, a dictionary
  // without data, is skipped where "sh" paints it and as the pattern's shading.
  EXPECT_EQ(r.Count(kEventShadings, kShadingNotDrawn), 0u);
  EXPECT_EQ(r.Count(kEventObjectSkipped, kBadData), 2u);
  EXPECT_EQ(r.Count(kEventText, kTextNotDrawn), 1u);  // the invisible run is not a loss
}

TEST(GraphicsStateTest, VisibilityFollowsTheClipAndTheCTM) {
  AppContext context;
  GraphicsState s(context);
  s.SetDeviceClip(im::PixelRect{0, 0, 100, 100});
  s.SetCTM(context, FixedMatrix{kFixedOne, 0, 0, -kFixedOne, 0, IntToFixed(100)});
  // The clip reaches two pixels further for rounding and hairlines.
  EXPECT_EQ(s.visibility.x0, IntToFixed(-2));
  EXPECT_EQ(s.visibility.x1, IntToFixed(102));
  const FixedRect outside{IntToFixed(140), IntToFixed(10), IntToFixed(150), IntToFixed(20)};
  EXPECT_FALSE(BoxCanBeVisible(s, outside, false));
  // A stroke 10 wide with miter limit 10 reaches 5 * 10 = 50 units past its path.
  s.lineWidth = IntToFixed(10);
  EXPECT_TRUE(BoxCanBeVisible(s, outside, true));
  s.miterLimit = kFixedOne;  // the factor never drops below 1.41429: 7.07 units
  EXPECT_FALSE(BoxCanBeVisible(s, outside, true));
  // After a singular cm nothing can be mapped back: every box may be visible.
  s.SetCTM(context, FixedMatrix{0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(s.invertible);
  EXPECT_EQ(s.visibility.x0, kFixedMin);
  EXPECT_EQ(s.visibility.y1, kFixedMax);
  EXPECT_TRUE(BoxCanBeVisible(s, outside, false));
}

TEST_F(PaintingTest, SingularMatrixDrawsNothingAndStopsNothing) {
  Rendered r = Draw("q 0 0 0 0 0 0 cm 0 g 0 0 100 100 re f 0 0 100 100 re S Q 1 0 0 rg 0 0 10 10 re f");
  EXPECT_EQ(r.At(50, 50), "255,255,255");
  EXPECT_EQ(r.At(5, 95), "255,0,0");
}

TEST_F(PaintingTest, StrokesJustOutsideTheVisibleBoxStillReachIt) {
  // A vertical line at x = 104 with width 20 covers x 94..114: the last six
  // columns of the page, although its path box lies outside the page.
  Rendered r = Draw("1 0 0 RG 20 w 0 J 104 20 m 104 80 l S");
  EXPECT_EQ(r.At(97, 50), "255,0,0");
  EXPECT_EQ(r.At(93, 50), "255,255,255");
  EXPECT_EQ(r.painted, 1u);
}

// A stand-in for the font engine: a one-byte string adds a 20 x 20 square
// at the text position as its glyph outline; longer strings stand for runs
// whose font cannot be used and add nothing.
class SquareGlyphs final : public RenderConsumer {
 public:
  using RenderConsumer::RenderConsumer;
  void ShowString(const uint8_t*, uint32_t length, FixedRect&) override {
    const im::PathPoint square[] = {im::PackPoint(0, 0, im::kMoveTo), im::PackPoint(IntToFixed(20), 0, im::kLineTo),
                                    im::PackPoint(IntToFixed(20), IntToFixed(20), im::kLineTo),
                                    im::PackPoint(0, IntToFixed(20), im::kLineTo),
                                    im::PackPoint(0, 0, im::kClosePath)};
    if (State().renderMode >= 4 && length == 1) AddTextClipOutline(im::Path{square, 5}, Concat(TextMatrix(), State().ctm));
  }
};

TEST_F(PaintingTest, ClippingTextClipsTheRestOfItsLevelAtET) {
  Owned<pdf::store::DocumentStore> store(context);
  const std::string pdf = OnePagePdf("q BT 7 Tr 10 10 Td (a) Tj 40 0 Td (b) Tj ET 0 0 1 rg 0 0 100 100 re f Q "
                                     "1 0 0 rg 90 90 10 10 re f BT 7 Tr (no font) Tj ET 0 g 80 0 5 5 re f");
  ASSERT_EQ(OpenMemoryDocument(context, pdf, store), -1);
  Scoped<pdf::document::Document> document(context, *store);
  Scoped<pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
  std::vector<uint8_t> pixels(100 * 100 * 3, 255);
  const im::PixelBuffer surface = im::LERGBBuffer(pixels.data(), 0, 0, 100, 100, 300);
  DisplayEventIgnorer events;
  const FixedMatrix flip{kFixedOne, 0, 0, -kFixedOne, 0, IntToFixed(100)};
  Scoped<SquareGlyphs> consumer(context, *document, *colors, surface, flip, events);
  Error error{nullptr, -1, false};
  ASSERT_TRUE(DrawPageContent(*consumer, *document, 0, error));
  auto at = [&](int x, int y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * 100 + x) * 3];
    return std::to_string(p[2]) + "," + std::to_string(p[1]) + "," + std::to_string(p[0]);
  };
  EXPECT_EQ(at(15, 85), "0,0,255");        // inside the glyph at (10, 10)
  EXPECT_EQ(at(55, 85), "0,0,255");        // inside the glyph at (50, 10)
  EXPECT_EQ(at(40, 85), "255,255,255");    // between the glyphs
  EXPECT_EQ(at(15, 50), "255,255,255");    // above them
  EXPECT_EQ(at(95, 5), "255,0,0");         // after Q the text clip is gone
  EXPECT_EQ(at(82, 97), "0,0,0");          // glyphs that drew nothing clip nothing
}

}  // namespace
}  // namespace vn::test
