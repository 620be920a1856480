// Page drawing as the viewer calls it: the page's device size and matrix
// from its boxes, rotation and scale (sizes as mutool draw -r gives them),
// banded drawing equal to one replay, and annotations' appearances.
#include <gtest/gtest.h>

#include "pdf/document/page_tree.h"
#include "pdf/render/draw_page.h"
#include "support/render_pages.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using namespace pdf::render;

pdf::document::PageGeometry Geometry(double x0, double y0, double x1, double y1, int32_t rotation) {
  auto fixed = [](double v) { return static_cast<Fixed16_16>(v * 65536.0 + (v < 0 ? -0.5 : 0.5)); };
  pdf::document::PageGeometry g{};
  g.visible = FixedRect{fixed(x0), fixed(y0), fixed(x1), fixed(y1)};
  g.mediaBox = g.visible;
  g.rotation = rotation;
  return g;
}

TEST(PageViewTest, SizesMatchMutoolDraw) {
  AppContext context;
  struct Case {
    double x0, y0, x1, y1;
    int32_t rotation, dpi, width, height;
  };
  // Measured with mutool draw -r DPI on pages with these boxes.
  const Case cases[] = {
      {0, 0, 612, 792, 0, 37, 315, 407},      {0, 0, 612, 792, 0, 150, 1275, 1650},
      {0, 0, 100.3, 50.7, 0, 37, 52, 27},     {0, 0, 100.3, 50.7, 0, 300, 418, 212},
      {10.5, 20.25, 300.8, 400.9, 0, 150, 605, 794}, {0, 0, 100.3, 50.7, 90, 96, 68, 134},
      {-10.5, -20.25, 90.8, 30.9, 270, 96, 69, 136},  {-10.5, -20.25, 90.8, 30.9, 270, 300, 214, 423},
  };
  for (const Case& c : cases) {
    const PageView v = MakePageView(context, Geometry(c.x0, c.y0, c.x1, c.y1, c.rotation), 0, c.dpi, 72 * 65536);
    EXPECT_EQ(v.width, c.width) << c.x1 << " at " << c.dpi;
    EXPECT_EQ(v.height, c.height) << c.x1 << " at " << c.dpi;
  }
}

TEST(PageViewTest, TheVisibleBoxLandsAtTheOriginTurnedClockwise) {
  AppContext context;
  // Crop box 10.5 20.25 300.8 400.9 turned by 90: user (x, y) is device
  // (y - 20.25, x - 10.5), as mutool draws it.
  const PageView v = MakePageView(context, Geometry(10.5, 20.25, 300.8, 400.9, 90), 0, 1, 65536);
  const FixedPoint p = TransformPoint(v.pageToDevice, FixedPoint{IntToFixed(30), IntToFixed(60)});
  EXPECT_EQ(p.x, 39 * 65536 + 49152);  // 39.75
  EXPECT_EQ(p.y, 19 * 65536 + 32768);  // 19.5
  // The view's own rotation adds to the page's: 90 + 270 is upright.
  const PageView upright = MakePageView(context, Geometry(0, 0, 100, 50, 90), 270, 1, 65536);
  EXPECT_EQ(upright.width, 100);
  EXPECT_EQ(upright.height, 50);
  // A user unit of 1.5 points: a 100 x 50 page is 150 x 75 points, and
  // user (30, 20) lies 45 points right of and 45 below the top-left corner.
  pdf::document::PageGeometry large = Geometry(0, 0, 100, 50, 0);
  large.userUnit = kFixedOne + kFixedOne / 2;
  const PageView scaled = MakePageView(context, large, 0, 1, 65536);
  EXPECT_EQ(scaled.width, 150);
  EXPECT_EQ(scaled.height, 75);
  const FixedPoint q = TransformPoint(scaled.pageToDevice, FixedPoint{IntToFixed(30), IntToFixed(20)});
  EXPECT_EQ(q.x, IntToFixed(45));
  EXPECT_EQ(q.y, IntToFixed(45));
  EXPECT_EQ(RaisedCode(context, [&] { MakePageView(context, Geometry(0, 0, 100, 50, 0), 45, 1, 65536); }), kBadData);
  EXPECT_EQ(RaisedCode(context, [&] { MakePageView(context, Geometry(0, 0, 612, 792, 0), 0, 2000, 72 * 65536); }),
            kLimitExceeded);
}

std::string BusyPage() {
  std::string content = "2 J 1 j ";
  for (int i = 0; i < 40; ++i) {
    const std::string a = std::to_string(i * 2.5), b = std::to_string(97 - i * 2.1);
    content += "q " + std::to_string(i % 5 * 0.2) + " 0.3 0.7 rg " + std::to_string(i % 3 * 0.4) + " 0.1 0.2 RG " +
               std::to_string(0.5 + i % 4) + " w " + a + " " + b + " m 50 50 " + b + " 10 90 " + a +
               " c 10 70 l h B* Q ";
    if (i % 9 == 4) content += "q " + a + " 0 m 100 " + b + " l 0 100 l W n 0 0 1 rg 0 0 100 100 re f Q ";
  }
  return content + "[3 2] 1 d 0 G 0.7 w 5 5 m 95 95 l S";
}

TEST(PageDrawingTest, BandsGiveExactlyTheFullPagePixels) {
  AppContext context;
  const std::string pdf = OnePagePdf(BusyPage());
  for (int32_t dpi : {72, 150}) {
    RenderRequest whole;
    whole.dpi = dpi;
    Rendered reference = RenderPdf(context, pdf, whole);
    ASSERT_EQ(reference.error, -1);
    for (int32_t rows : {1, 7, 64}) {
      RenderRequest banded = whole;
      banded.bandRows = rows;
      Rendered bands = RenderPdf(context, pdf, banded);
      EXPECT_EQ(bands.error, -1);
      EXPECT_TRUE(bands.bgr == reference.bgr) << dpi << " dpi in bands of " << rows << " rows";
    }
  }
}

TEST(PageDrawingTest, AnnotationAppearancesAreFittedOntoTheirRectangles) {
  AppContext context;
  // A 10 x 10 appearance whose Matrix turns it by 90 degrees, fitted onto a
  // rectangle 40 wide and 20 high; a hidden and a no-view annotation with
  // the same appearance; an annotation chosen among states by AS.
  const std::string appearance =
      StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [0 1 -1 0 0 0]",
                   "1 0 0 rg 0 0 5 10 re f 0 0 1 rg 5 0 5 10 re f");
  const std::string green = StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 1 1]", "0 1 0 rg 0 0 1 1 re f");
  const std::string pdf = OnePagePdf(
      "", "",
      {"<< /Type /Annot /Subtype /Square /Rect [10 70 50 90] /AP << /N 6 0 R >> >>", appearance,
       "<< /Type /Annot /Subtype /Square /F 2 /Rect [0 0 100 20] /AP << /N 6 0 R >> >>",
       "<< /Type /Annot /Subtype /Square /F 32 /Rect [0 0 100 20] /AP << /N 6 0 R >> >>",
       "<< /Type /Annot /Subtype /Widget /Rect [60 40 70 50] /AS /On /AP << /N << /On 11 0 R /Off 6 0 R >> >> >>",
       "<< /Type /Annot /Subtype /Link /Rect [0 0 100 100] >>", green},
      "0 0 100 100", "/Annots [5 0 R 7 0 R 8 0 R 9 0 R 10 0 R]");
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  // Turned by 90 degrees, the red half (x 0..5) lies below (y 0..5) and the
  // blue half on top; fitted onto x 10..50, y 70..90: red on rows 20..30.
  EXPECT_EQ(r.At(30, 26), "255,0,0");
  EXPECT_EQ(r.At(30, 14), "0,0,255");
  EXPECT_EQ(r.At(9, 20), "255,255,255");
  EXPECT_EQ(r.At(50, 20), "255,255,255");
  EXPECT_EQ(r.At(50, 90), "255,255,255");  // hidden annotations draw nothing
  EXPECT_EQ(r.At(65, 55), "0,255,0");      // the "On" state
}

TEST(PageDrawingTest, NoRotateAnnotationsStayUprightOnATurnedPage) {
  AppContext context;
  // A 10 x 20 appearance, blue along its top; the page turned by 90.
  const std::string appearance = StreamObject("/Type /XObject /Subtype /Form /BBox [0 0 10 20]",
                                              "1 0 0 rg 0 0 10 15 re f 0 0 1 rg 0 15 10 5 re f");
  const std::string pdf =
      OnePagePdf("", "", {"<< /Type /Annot /Subtype /Square /F 16 /Rect [20 60 30 80] /AP << /N 6 0 R >> >>",
                          appearance},
                 "0 0 100 100", "/Rotate 90 /Annots [5 0 R]");
  Rendered r = RenderPdf(context, pdf);
  ASSERT_EQ(r.error, -1);
  // The rectangle's upper-left corner, user (20, 80), shows at device (80, 20);
  // the appearance hangs from it upright: 10 wide, 20 high, blue on top.
  EXPECT_EQ(r.At(85, 22), "0,0,255");
  EXPECT_EQ(r.At(85, 35), "255,0,0");
  EXPECT_EQ(r.At(70, 25), "255,255,255");
}

}  // namespace
}  // namespace vn::test
