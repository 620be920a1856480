// Tiling patterns and constant alpha through the render consumer. Pages are
// 100 x 100 points at 72 dpi: user (x, y) is device pixel (x, 100 - y).
#include <gtest/gtest.h>

#include "pdf/render/display_events.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::render;

// A 10 x 10 cell with a 5 x 5 square in its lower left corner (red unless
// the pattern is uncoloured).
std::string Cell(int paintType, const std::string& extra = "", const std::string& content = "1 0 0 rg 0 0 5 5 re f") {
  return StreamObject("/PatternType 1 /PaintType " + std::to_string(paintType) +
                          " /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 /Resources << >> " + extra,
                      content);
}

class PatternTest : public ::testing::Test {
 protected:
  Rendered Draw(const std::string& content, const std::string& pattern, const std::string& resources = "",
                int dpi = 72) {
    RenderRequest request;
    request.dpi = dpi;
    return RenderPdf(context, OnePagePdf(content, "/Pattern << /P 5 0 R >> " + resources, {pattern}), request);
  }
  AppContext context;
};

TEST_F(PatternTest, ColouredCellsRepeatOverTheFill) {
  Rendered r = Draw("/Pattern cs /P scn 0 0 100 100 re f", Cell(1));
  ASSERT_EQ(r.error, -1);
  for (int cell = 0; cell < 10; ++cell) {
    EXPECT_EQ(r.At(cell * 10 + 2, 97), "255,0,0") << cell;      // user (2.5, 2.5) of each cell
    EXPECT_EQ(r.At(cell * 10 + 7, 97), "255,255,255") << cell;  // beside the square
    EXPECT_EQ(r.At(2, 97 - cell * 10), "255,0,0") << cell;
    EXPECT_EQ(r.At(2, 92 - cell * 10), "255,255,255") << cell;
  }
  EXPECT_TRUE(r.events.empty());
}

TEST_F(PatternTest, MatrixIsRelativeToThePageNotTheCTM) {
  // The CTM's scale does not scale the pattern; the pattern's own matrix
  // does (cells of 20 x 20, squares of 10 x 10, shifted by 3).
  Rendered r = Draw("2 0 0 2 0 0 cm /Pattern cs /P scn 0 0 50 50 re f", Cell(1, "/Matrix [2 0 0 2 3 0]"));
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(8, 95), "255,0,0");   // user x 8.5: cell 0 square 3..13
  EXPECT_EQ(r.At(15, 95), "255,255,255");
  EXPECT_EQ(r.At(28, 95), "255,0,0");  // the next cell: 23..33
  EXPECT_EQ(r.At(1, 95), "255,255,255");
}

TEST_F(PatternTest, UncolouredCellsTakeTheGivenColour) {
  Rendered r = Draw("/CS0 cs 0 0 1 /P scn 0 0 100 100 re f 1 0 0 RG /CS0 CS 0 1 0 /P SCN 4 w 0 50 m 100 50 l S",
                    Cell(2), "/ColorSpace << /CS0 [/Pattern /DeviceRGB] >>");
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(2, 97), "0,0,255");  // the cell's own red is not used
  EXPECT_EQ(r.At(7, 97), "255,255,255");
  EXPECT_EQ(r.At(2, 49), "0,255,0");  // the stroke (y 48..52) through the pattern in green
  EXPECT_EQ(r.At(7, 49), "255,255,255");
  EXPECT_EQ(r.At(2, 52), "255,255,255");
}

TEST_F(PatternTest, ConstantAlphaAppliesToPatternsFillsStrokesAndImages) {
  Rendered r = Draw("/A gs /Pattern cs /P scn 0 0 50 100 re f 1 0 0 RG 4 w 60 50 m 90 50 l S", Cell(1),
                    "/ExtGState << /A << /ca 0.5 /CA 0.25 >> >>");
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(2, 97), "255,128,128");
  EXPECT_EQ(r.At(70, 50), "255,191,191");
}

// Image masks filled with a pattern paint it where the mask is 0 (the
// default decoding): a mask of all zeros over 10..60 x 10..60 paints what a
// rectangle there filled with the same pattern paints.
TEST_F(PatternTest, ImageMasksArePaintedThroughThePattern) {
  const std::string shading =
      "<< /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Function "
      "<< /FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> >> >>";
  const std::string mask = "q 50 0 0 50 10 10 cm BI /IM true /W 8 /H 8 /BPC 1 /F /AHx ID ";
  for (const std::string& pattern : {Cell(1), shading}) {
    const Rendered wanted = Draw("/Pattern cs /P scn 10 10 50 50 re f", pattern);
    const Rendered whole = Draw("/Pattern cs /P scn " + mask + "0000000000000000> EI Q", pattern);
    // The left half only: rows of 0000 1111.
    const Rendered half = Draw("/Pattern cs /P scn " + mask + "0F0F0F0F0F0F0F0F> EI Q", pattern);
    ASSERT_EQ(whole.error, -1);
    ASSERT_EQ(half.error, -1);
    EXPECT_TRUE(whole.events.empty());
    ASSERT_EQ(wanted.bgr.size(), whole.bgr.size());
    for (int y = 0; y < whole.height; ++y) {
      for (int x = 0; x < whole.width; ++x) {
        ASSERT_EQ(whole.At(x, y), wanted.At(x, y)) << x << "," << y;
        ASSERT_EQ(half.At(x, y), x < 35 ? wanted.At(x, y) : "255,255,255") << x << "," << y;
      }
    }
  }
}

// At 150 dpi a 12-unit cell is a 25-pixel tile on whole device pixels (to
// within the rounding of the matrices): its pixels are copied, and must fall
// where the cell's squares, filled directly, fall (their edges on fractions
// of pixels), also when the pattern is moved by a fraction of a pixel (the
// cell is then drawn into the tile moved by that fraction). The squares keep
// off the cell's box, whose clip would multiply its own edge coverage into
// theirs.
TEST_F(PatternTest, TilesOnWholePixelsMatchTheirCellsDrawnDirectly) {
  const std::string squares = "0.9 0.2 0.1 rg 1 1 4.5 4.5 re f 0.1 0.3 0.8 rg 6.5 6.5 4.5 4.5 re f";
  for (const char* shift : {"", "/Matrix [1 0 0 1 0.3 0]"}) {
    SCOPED_TRACE(shift);
    std::string direct;
    for (int j = 0; j < 9; ++j) {
      for (int i = 0; i < 9; ++i) {
        direct += "q 1 0 0 1 " + std::to_string(i * 12) + (*shift != 0 ? ".3 " : " ") + std::to_string(j * 12) +
                  " cm " + squares + " Q ";
      }
    }
    const Rendered wanted = Draw(direct, Cell(1), "", 150);
    const Rendered tiled = Draw("/Pattern cs /P scn 0 0 100 100 re f",
                                StreamObject(std::string("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 12 12] "
                                                         "/XStep 12 /YStep 12 /Resources << >> ") + shift,
                                             squares),
                                "", 150);
    ASSERT_EQ(tiled.error, -1);
    ASSERT_EQ(tiled.width, wanted.width);
    int worst = 0;
    // Away from the page's edges (the fill ends at 100, the squares beyond;
    // the shifted squares begin at 0.3).
    for (int y = 5; y < tiled.height - 5; ++y) {
      for (int x = 5; x < tiled.width - 5; ++x) {
        for (int c = 0; c < 3; ++c) {
          const size_t at = (static_cast<size_t>(y) * tiled.width + x) * 3 + c;
          worst = std::max(worst, std::abs(tiled.bgr[at] - wanted.bgr[at]));
        }
      }
    }
    EXPECT_LE(worst, 1);
  }
}

TEST_F(PatternTest, MalformedPatternsAreSkippedWithAnEvent) {
  const std::string bad[] = {
      StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 0 /YStep 10", "0 g"),
      StreamObject("/PatternType 1 /PaintType 3 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10", "0 g"),
      StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /XStep 10 /YStep 10", "0 g"),
      StreamObject("/PatternType 3", ""),
  };
  for (const std::string& pattern : bad) {
    Rendered r = Draw("/Pattern cs /P scn 0 0 50 50 re f 1 0 0 rg 90 90 10 10 re f", pattern);
    ASSERT_EQ(r.error, -1);
    EXPECT_EQ(r.Count(kEventObjectSkipped, 2), 1u) << pattern;
    EXPECT_EQ(r.At(95, 5), "255,0,0");
  }
  // An uncoloured pattern before any colour components.
  Rendered r = Draw("/CS0 cs /P scn 0 0 50 50 re f", Cell(2), "/ColorSpace << /CS0 [/Pattern /DeviceRGB] >>");
  EXPECT_EQ(r.Count(kEventObjectSkipped, 2), 1u);
}

TEST_F(PatternTest, HostileCellsAreBounded) {
  // A cell that fills itself with its own pattern ends at the depth limit.
  Rendered r = Draw("/Pattern cs /P scn 0 0 100 100 re f",
                    StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                                 "/Resources << /Pattern << /P 5 0 R >> >>",
                                 "/Pattern cs /P scn 0 0 5 5 re f"));
  EXPECT_EQ(r.error, -1);
  EXPECT_GE(r.Count(kEventObjectSkipped, 6), 1u);
  // Patterns inside pattern cells, on an engine thread's small stack: a
  // cell filled with a second pattern draws (each pattern is read on a
  // fresh stack when this one runs low), and two patterns that use each
  // other end at the depth limit, skipping one object, not the page.
  const auto nested = [&](const std::string& inner) {
    RenderRequest request;
    request.onEngineThread = true;
    return RenderPdf(
        context,
        OnePagePdf("/Pattern cs /P scn 0 0 100 100 re f", "/Pattern << /P 5 0 R >>",
                   {StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                                 "/Resources << /Pattern << /Q 6 0 R >> >>",
                                 "/Pattern cs /Q scn 0 0 5 5 re f"),
                    StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                                 "/Resources << /Pattern << /P 5 0 R >> >>",
                                 inner)}),
        request);
  };
  r = nested("1 0 0 rg 0 0 2 2 re f");
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.At(1, 98), "255,0,0");
  EXPECT_EQ(r.At(11, 98), "255,0,0");
  EXPECT_EQ(r.At(3, 98), "255,255,255");
  r = nested("/Pattern cs /P scn 0 0 5 5 re f");
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.Count(kEventObjectSkipped, 6), 1u);
  // A tiny step over the page, and a box of zero area.
  r = Draw("/Pattern cs /P scn 0 0 100 100 re f",
           StreamObject("/PatternType 1 /PaintType 1 /TilingType 2 /BBox [0 0 1 1] /XStep 0.001 /YStep 0.001 "
                        "/Resources << >>",
                        "0 g 0 0 1 1 re f"));
  EXPECT_EQ(r.error, -1);
  r = Draw("/Pattern cs /P scn 0 0 100 100 re f",
           StreamObject("/PatternType 1 /PaintType 1 /TilingType 3 /BBox [5 5 5 5] /XStep 10 /YStep 10 "
                        "/Resources << >>",
                        "0 g 0 0 10 10 re f"));
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.At(50, 50), "255,255,255");
  // A cell far larger than the tile budget at a high resolution.
  const std::string huge =
      StreamObject("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 2000 2000] /XStep 2000 /YStep 2000 "
                   "/Resources << >>",
                   "1 0 0 rg 0 0 50 50 re f");
  r = Draw("/Pattern cs /P scn 0 0 100 100 re f", huge, "", 600);
  EXPECT_EQ(r.error, -1);
  // Drawn straight onto the page, cell by cell, at full resolution.
  EXPECT_EQ(r.At(10, r.height - 10), "255,0,0");
  EXPECT_EQ(r.At(400, r.height - 10), "255,0,0");      // user x 48
  EXPECT_EQ(r.At(430, r.height - 10), "255,255,255");  // user x 51.6: past the square
  // The same cell through an image mask (no path to clip cells to): drawn
  // into a tile at a reduced resolution.
  r = Draw("/Pattern cs /P scn q 100 0 0 100 0 0 cm BI /IM true /W 1 /H 1 /BPC 1 /F /AHx ID 00> EI Q", huge, "", 600);
  EXPECT_EQ(r.error, -1);
  EXPECT_EQ(r.At(100, r.height - 100), "255,0,0");  // tile pixels of about 64 device pixels
  EXPECT_EQ(r.At(500, r.height - 500), "255,255,255");
}

}  // namespace
}  // namespace vn::test
