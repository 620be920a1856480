// Drawing text: glyph origins where a hand calculation puts them (Tc, Tw on
// code 32 only, Tz, TJ offsets, rotated and mirrored text matrices), render
// modes, Type 3 glyphs (d0 and d1, nesting) and fonts that cannot be drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "pdf/document/document.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "pdf/render/render_consumer.h"
#include "support/render_pages.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::render;

// Records the device position of the text origin before every shown
// string: with one glyph per string these are the glyph origins.
class OriginRecorder final : public RenderConsumer {
 public:
  using RenderConsumer::RenderConsumer;
  void ShowString(const uint8_t* bytes, uint32_t length, FixedRect& box) override {
    Note();
    RenderConsumer::ShowString(bytes, length, box);
  }
  void ShowArray(const pdf::content::TextArrayElement* elements, uint32_t count) override {
    Note();
    RenderConsumer::ShowArray(elements, count);
  }
  std::vector<std::pair<double, double>> origins;

 private:
  void Note() {
    const FixedPoint p = TransformPoint(Concat(TextMatrix(), State().ctm), FixedPoint{0, 0});
    origins.emplace_back(p.x / 65536.0, p.y / 65536.0);
  }
};

std::vector<std::pair<double, double>> Origins(AppContext& context, const std::string& content) {
  Owned<pdf::store::DocumentStore> store(context);
  // Helvetica is not embedded: nothing is drawn, but its metrics place the text.
  const std::string pdf = OnePagePdf(content, "/Font << /F1 5 0 R >>",
                                     {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}, "0 0 200 200");
  EXPECT_EQ(OpenMemoryDocument(context, pdf, store), -1);
  Scoped<pdf::document::Document> document(context, *store);
  Scoped<pdf::pdfcolor::DocumentColorSpaces> colors(context, document->Resolver());
  std::vector<uint8_t> pixels(200 * 200 * 3, 255);
  const im::PixelBuffer surface = im::LERGBBuffer(pixels.data(), 0, 0, 200, 200, 600);
  DisplayEventIgnorer events;
  const FixedMatrix flip{kFixedOne, 0, 0, -kFixedOne, 0, IntToFixed(200)};
  Scoped<OriginRecorder> consumer(context, *document, *colors, surface, flip, events);
  Error error{nullptr, -1, false};
  EXPECT_TRUE(DrawPageContent(*consumer, *document, 0, error));
  return consumer->origins;
}

// Device pixels are user points here, y downwards from the top (200).
void ExpectAt(const std::pair<double, double>& got, double x, double y) {
  EXPECT_NEAR(got.first, x, 1.0 / 64) << "x of a glyph origin";
  EXPECT_NEAR(got.second, 200 - y, 1.0 / 64) << "y of a glyph origin";
}

TEST(TextPlacementTest, AdvancesFollowSpacingScalingAndTJOffsets) {
  AppContext context;
  // Helvetica: A 667, B 667, C 722, space 278 thousandths. Size 10, Tc 1,
  // Tw 2, Tz 50: a glyph moves (w * 10 + 1 [+ 2 for a space]) * 0.5.
  const auto o = Origins(context,
                         "BT /F1 10 Tf 10 20 Td 1 Tc 2 Tw 50 Tz (A) Tj (B) Tj ( ) Tj (C) Tj [(A) -500 (A)] TJ (B) Tj "
                         "0 0 Tc 0 Tw 100 Tz 0 -30 Td (\\240) Tj (A) Tj ET");
  ASSERT_EQ(o.size(), 8u);
  ExpectAt(o[0], 10, 20);
  ExpectAt(o[1], 10 + 3.835, 20);
  ExpectAt(o[2], 13.835 + 3.835, 20);
  ExpectAt(o[3], 17.67 + 2.89, 20);             // the space takes Tw
  ExpectAt(o[4], 20.56 + 4.11, 20);
  ExpectAt(o[5], 24.67 + 3.835 + 2.5 + 3.835, 20);  // -500 moves right by 5 * 0.5
  ExpectAt(o[6], 10, -10);
  // StandardEncoding has no glyph at 0xA0: no width.
  ExpectAt(o[7], 10, -10);
}

TEST(TextPlacementTest, RotatedAndMirroredTextMatricesCarryTheAdvance) {
  AppContext context;
  const auto o = Origins(context,
                         "BT /F1 20 Tf 0 1 -1 0 50 50 Tm (A) Tj (A) Tj 3 Ts (A) Tj ET "
                         "BT /F1 20 Tf -1 0 0 1 180 10 Tm 2 Tc (B) Tj (B) Tj ET "
                         "BT /F1 10 Tf 1 0 0.5 1 20 100 Tm 15 TL T* (C) Tj ET");
  ASSERT_EQ(o.size(), 6u);
  ExpectAt(o[0], 50, 50);
  ExpectAt(o[1], 50, 50 + 13.34);  // along the rotated x axis: up
  ExpectAt(o[2], 50, 50 + 26.68);  // the rise moves the glyph, not the origin
  ExpectAt(o[3], 180, 10);
  ExpectAt(o[4], 180 - 15.34, 10);  // mirrored: (13.34 + 2) to the left
  // T* moves by -15 along the sheared y axis: x by 0.5 * -15.
  ExpectAt(o[5], 20 - 7.5, 85);
}

class TextPaintingTest : public ::testing::Test {
 protected:
  Rendered Draw(const std::string& content, const std::string& resources, const std::vector<std::string>& objects) {
    Rendered r = RenderPdf(context, OnePagePdf(content, resources, objects));
    EXPECT_EQ(r.error, -1);
    return r;
  }
  AppContext context;
};

// A Type 3 font whose glyph "a" is a unit square (d1: painted in the text's
// colour, its own colour ignored), "b" a red square of its own (d0), and
// "c" shows glyph "a" of itself (a font that draws itself).
const char kType3Font[] =
    "<< /Type /Font /Subtype /Type3 /FontMatrix [1 0 0 1 0 0] /FontBBox [0 0 1 1] "
    "/CharProcs << /a 6 0 R /b 7 0 R /c 8 0 R >> /Encoding << /Differences [97 /a /b /c] >> "
    "/FirstChar 97 /LastChar 99 /Widths [1 1 1] /Resources << /Font << /T3 5 0 R >> >> >>";

std::vector<std::string> Type3Objects() {
  return {kType3Font, StreamObject("", "1 0 0 0 1 1 d1 0 1 0 rg 0 0 1 1 re f"),
          StreamObject("", "1 0 d0 1 0 0 rg 0 0 1 1 re f"),
          StreamObject("", "1 0 d0 BT /T3 1 Tf (ac) Tj ET")};
}

TEST_F(TextPaintingTest, Type3GlyphsPaintInTheirOwnOrTheTextsColour) {
  Rendered r = Draw("0 0 1 rg BT /T3 20 Tf 10 10 Td (ab) Tj ET", "/Font << /T3 5 0 R >>", Type3Objects());
  EXPECT_EQ(r.At(20, 80), "0,0,255");  // d1: the fill colour of the text
  EXPECT_EQ(r.At(40, 80), "255,0,0");  // d0: its own red
  EXPECT_EQ(r.At(55, 80), "255,255,255");
  EXPECT_TRUE(r.events.empty());
}

TEST_F(TextPaintingTest, Type3GlyphsThatDrawThemselvesEndInAnEvent) {
  Rendered r = Draw("0 g BT /T3 8 Tf 10 10 Td (c) Tj ET 1 0 0 rg 90 90 10 10 re f", "/Font << /T3 5 0 R >>",
                    Type3Objects());
  EXPECT_GE(r.Count(kEventObjectSkipped, kLimitExceeded), 1u);
  EXPECT_EQ(r.At(95, 5), "255,0,0");  // the page goes on
}

TEST_F(TextPaintingTest, InvisibleTextIsNotPainted) {
  Rendered r = Draw("0 0 1 rg BT /T3 10 Tf 3 Tr 0 0 Td (a) Tj 0 Tr 20 0 Td (a) Tj ET", "/Font << /T3 5 0 R >>",
                    Type3Objects());
  EXPECT_EQ(r.At(5, 95), "255,255,255");  // mode 3
  EXPECT_EQ(r.At(25, 95), "0,0,255");
}

// A composite font without a program whose collection no installed font
// covers: it cannot be drawn.
const char kUndrawableFont[] =
    "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Type /Font "
    "/Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << /Registry (Foo) /Ordering (Bar) /Supplement 0 >> >>] >>";

TEST_F(TextPaintingTest, FontsThatCannotBeDrawnAreReportedOncePerFont) {
  Rendered r = Draw("BT /F1 12 Tf (one) Tj (two) Tj /F2 12 Tf (three) Tj /F9 12 Tf (x) Tj ET",
                    "/Font << /F1 5 0 R /F2 6 0 R >>",
                    {kUndrawableFont, kUndrawableFont});
  EXPECT_EQ(r.Count(kEventText, kTextNotDrawn), 2u);
  EXPECT_EQ(r.Count(kEventObjectSkipped, kBadData), 1u);  // /F9 is not in the resources
}

// DejaVu Sans with code 0xDB named "block" (U+2588, a full block from
// below the baseline to above the capitals, 0.602 em wide).
std::vector<std::string> BlockFont(const std::string& program) {
  return {"<< /Type /Font /Subtype /TrueType /BaseFont /DejaVuSans /FontDescriptor 6 0 R "
          "/Encoding << /Differences [219 /block] >> >>",
          "<< /Type /FontDescriptor /Flags 32 /FontFile2 7 0 R >>",
          StreamObject("/Length1 " + std::to_string(program.size()), program)};
}

std::string DejaVu() {
  std::ifstream in("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(TextPaintingTest, OutlinesFillStrokeAndClipByRenderMode) {
  const std::string program = DejaVu();
  if (program.empty()) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  Rendered r = Draw(
      "1 0 0 rg 0 0 1 RG BT /F1 20 Tf 5 80 Td <db> Tj 1 Tr 30 0 Td 2 w <db> Tj ET "
      "q BT /F1 30 Tf 7 Tr 50 20 Td <db> Tj ET 0 1 0 rg 0 0 100 100 re f Q",
      "/Font << /F1 5 0 R >>", BlockFont(program));
  EXPECT_EQ(r.At(10, 15), "255,0,0");      // filled: the block spans x 5..17
  EXPECT_EQ(r.At(2, 15), "255,255,255");
  EXPECT_LT(r.Red(35, 9), 100);            // stroked: the block's left edge near x 35 is blue
  EXPECT_EQ(r.Blue(35, 9), 255);
  EXPECT_EQ(r.At(41, 15), "255,255,255");  // and not filled
  EXPECT_EQ(r.At(58, 70), "0,255,0");      // inside the clipping glyph (x 50..68)
  EXPECT_EQ(r.At(45, 70), "255,255,255");  // outside it
  EXPECT_EQ(r.At(75, 70), "255,255,255");
  EXPECT_TRUE(r.events.empty());
}

}  // namespace
}  // namespace vn::test
