// Drawing text: glyph origins where a hand calculation puts them (Tc, Tw on
// code 32 only, Tz, TJ offsets, rotated and mirrored text matrices), render
// modes, Type 3 glyphs (d0 and d1, nesting) and fonts that cannot be drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "pdf/document/document.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/render/draw_page.h"
#include "pdf/render/render_consumer.h"
#include "pdf/text/pdf_font.h"
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

// Helvetica is not embedded: nothing is drawn, but its metrics place the text.
const char kHelvetica[] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

std::vector<std::pair<double, double>> Origins(AppContext& context, const std::string& content,
                                               const std::vector<std::string>& fonts = {kHelvetica}) {
  Owned<pdf::store::DocumentStore> store(context);
  const std::string pdf = OnePagePdf(content, "/Font << /F1 5 0 R >>", fonts, "0 0 200 200");
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

TEST(TextPlacementTest, TDSetsTheLeadingThatTStarMovesDownBy) {
  AppContext context;
  // "0 -12 TD" is "12 TL 0 -12 Td": T* and ' then move 12 down, as after TL.
  const auto o = Origins(context, "BT /F1 10 Tf 20 150 Td 0 -12 TD (A) Tj T* (B) Tj (C) ' 15 TL T* (D) Tj ET");
  ASSERT_EQ(o.size(), 4u);
  ExpectAt(o[0], 20, 138);
  ExpectAt(o[1], 20, 126);
  ExpectAt(o[2], 20, 114);
  ExpectAt(o[3], 20, 99);
}

TEST(TextPlacementTest, VerticalWritingMovesDownByW1) {
  AppContext context;
  // A composite font without a program (placed, not drawn): CID 1 has
  // w1 -800 from W2, the others DW2's default -1000. Size 10: CID 1 moves
  // the pen 8 down, the others 10, a TJ number 500 another 5; Tc adds 1
  // and Tw nothing, as CID 32's code has two bytes.
  const auto o = Origins(context,
                         "BT /F1 10 Tf 50 150 Td <0001> Tj <0002> Tj [<0002> 500 <0002>] TJ 1 Tc 2 Tw <0020> Tj "
                         "<0002> Tj ET",
                         {"<< /Type /Font /Subtype /Type0 /BaseFont /V /Encoding /Identity-V /DescendantFonts [6 0 R] >>",
                          "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /V /W2 [1 [-800 300 900]] >>"});
  ASSERT_EQ(o.size(), 5u);
  ExpectAt(o[0], 50, 150);
  ExpectAt(o[1], 50, 142);
  ExpectAt(o[2], 50, 132);
  ExpectAt(o[3], 50, 107);
  ExpectAt(o[4], 50, 98);
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

TEST(TextPlacementTest, TDSetsTheLeadingThatTStarAndQuotesMoveBy) {
  AppContext context;
  const auto o = Origins(context, "BT /F1 10 Tf 10 150 Td (A) Tj 1 -12 TD (B) Tj T* (C) Tj (D) ' ET");
  ASSERT_EQ(o.size(), 4u);
  ExpectAt(o[0], 10, 150);
  ExpectAt(o[1], 11, 138);
  ExpectAt(o[2], 11, 126);  // down by the leading, 12, like the TD
  ExpectAt(o[3], 11, 114);
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

TEST_F(TextPaintingTest, Type3GlyphsClipByWhatTheyPaint) {
  // Mode 7: "a" (a square) clips and paints nothing; "c" shows "a" and "c"
  // of itself at its own place, and that inner text adds to the same clip.
  Rendered clipOnly = Draw("0 0 1 rg BT /T3 20 Tf 7 Tr 10 10 Td (ac) Tj ET 0 1 0 rg 0 0 100 100 re f",
                           "/Font << /T3 5 0 R >>", Type3Objects());
  EXPECT_EQ(clipOnly.At(20, 80), "0,255,0");      // inside "a": the later fill shows
  EXPECT_EQ(clipOnly.At(35, 89), "0,255,0");      // inside the "a" that "c" shows (at size 20 * 1)
  EXPECT_EQ(clipOnly.At(20, 50), "255,255,255");  // outside them
  EXPECT_EQ(clipOnly.At(50, 60), "255,255,255");
  Rendered nothing = Draw("0 0 1 rg BT /T3 20 Tf 7 Tr 10 10 Td (ab) Tj ET", "/Font << /T3 5 0 R >>", Type3Objects());
  EXPECT_EQ(nothing.At(20, 80), "255,255,255");
  EXPECT_EQ(nothing.At(40, 80), "255,255,255");
  // Mode 6: painted (d1 in the text's colour, d0 in its own) and clipping.
  Rendered both = Draw("0 0 1 rg 0 1 0 RG 4 w BT /T3 20 Tf 6 Tr 10 10 Td (ab) Tj ET 1 1 0 rg 0 0 100 100 re f",
                       "/Font << /T3 5 0 R >>", Type3Objects());
  EXPECT_EQ(both.At(20, 80), "255,255,0");  // clipped to the glyphs, filled yellow afterwards
  EXPECT_EQ(both.At(40, 80), "255,255,0");
  EXPECT_EQ(both.At(60, 80), "255,255,255");
  EXPECT_EQ(both.At(5, 80), "255,255,255");
  // A stroked glyph clips by its stroke's outline: a bar 0.2 em wide.
  Rendered stroked = Draw("BT /T3 20 Tf 7 Tr 10 10 Td (a) Tj ET 0 1 0 rg 0 0 100 100 re f", "/Font << /T3 5 0 R >>",
                          {"<< /Type /Font /Subtype /Type3 /FontMatrix [1 0 0 1 0 0] /FontBBox [0 0 1 1] "
                           "/CharProcs << /a 6 0 R >> /Encoding << /Differences [97 /a] >> "
                           "/FirstChar 97 /LastChar 97 /Widths [1] >>",
                           StreamObject("", "1 0 0 0 1 1 d1 0.2 w 0.5 0 m 0.5 1 l S")});
  EXPECT_EQ(stroked.At(20, 80), "0,255,0");
  EXPECT_EQ(stroked.At(17, 80), "255,255,255");
  EXPECT_EQ(stroked.At(23, 80), "255,255,255");
}

TEST_F(TextPaintingTest, Type3GlyphSizeAndAdvanceFollowTheFontMatrixAsWritten) {
  // Glyph "a": a bar 500 x 1000 units under a font matrix of 0.001, one em
  // wide. At size 40 from x = 5 the bars span 5..25 and 45..65 exactly (a
  // 16.16 matrix would make them 0.7 % larger: 45.28..65.42).
  Rendered r = Draw("BT /T3 40 Tf 5 10 Td (aa) Tj ET", "/Font << /T3 5 0 R >>",
                    {"<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FontBBox [0 0 500 1000] "
                     "/CharProcs << /a 6 0 R >> /Encoding << /Differences [97 /a] >> "
                     "/FirstChar 97 /LastChar 97 /Widths [1000] >>",
                     StreamObject("", "1000 0 0 0 500 1000 d1 0 0 500 1000 re f")});
  const int32_t y = 100 - 20;
  EXPECT_EQ(r.At(44, y), "255,255,255");
  EXPECT_EQ(r.At(45, y), "0,0,0");
  EXPECT_EQ(r.At(64, y), "0,0,0");
  EXPECT_EQ(r.At(65, y), "255,255,255");
  EXPECT_EQ(r.At(24, y), "0,0,0");
  EXPECT_EQ(r.At(25, y), "255,255,255");
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

TEST_F(TextPaintingTest, LongStringsArePaintedInBoundedRuns) {
  const std::string program = DejaVu();
  if (program.empty()) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  // 3000 blocks of no advance on one spot (x 4.8..20.6): painted in runs of
  // at most 1024 glyphs (three of them, so the edges take more ink).
  std::vector<std::string> objects = BlockFont(program);
  objects[0].insert(objects[0].size() - 2, "/FirstChar 219 /LastChar 219 /Widths [0] ");
  Rendered r = Draw("1 0 0 rg BT /F1 20 Tf 5 80 Td (" + std::string(3000, '\xdb') + ") Tj ET",
                    "/Font << /F1 5 0 R >>", objects);
  EXPECT_EQ(r.At(10, 15), "255,0,0");
  EXPECT_EQ(r.At(22, 15), "255,255,255");
  EXPECT_EQ(r.At(3, 15), "255,255,255");
  EXPECT_TRUE(r.events.empty());
}

// Writes a glyph outline as PDF path operators.
class PdfPathSink final : public fonts::OutlineSink {
 public:
  void MoveTo(FixedPoint p) override { Op(p, "m"); }
  void LineTo(FixedPoint p) override { Op(p, "l"); }
  void CurveTo(FixedPoint c1, FixedPoint c2, FixedPoint end) override {
    Point(c1);
    Point(c2);
    Op(end, "c");
  }
  void Close() override { text += "h\n"; }
  std::string text;

 private:
  void Point(FixedPoint p) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f %.6f ", p.x / 65536.0, p.y / 65536.0);
    text += buffer;
  }
  void Op(FixedPoint p, const char* op) {
    Point(p);
    text += op;
    text += '\n';
  }
};

TEST_F(TextPaintingTest, CachedGlyphsMatchTheirOutlinesFilledAsPaths) {
  // A Type 1 program: TrueType glyphs in the cache are hinted, so they
  // differ from their plain outlines by design.
  std::ifstream in("/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1", std::ios::binary);
  const std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (program.empty()) GTEST_SKIP() << "fonts-urw-base35 is not installed";
  const std::vector<std::string> objects = {
      "<< /Type /Font /Subtype /Type1 /BaseFont /NimbusSans-Regular /FontDescriptor 6 0 R "
      "/Encoding /WinAnsiEncoding >>",
      "<< /Type /FontDescriptor /Flags 32 /FontFile 7 0 R >>", StreamObject("", program)};
  // Glyph origins on whole pixels and on a quarter and a half pixel (the
  // cache's phases), a glyph past 200 pixels per em (drawn whole, not
  // kept), and one partly outside the page.
  struct Shown {
    char code;
    double size, x, y;
  };
  const Shown shown[] = {{'R', 11, 4, 85},  {'a', 11, 12.25, 85}, {'g', 11, 20.5, 85}, {'&', 11, 28.75, 85},
                         {'@', 23, 45, 75}, {'Q', 230, -30, 5},   {'e', 40, 85, 50}};

  // The program itself, through a font made from the same dictionary.
  Owned<pdf::store::DocumentStore> store(context);
  const std::string fontPdf = OnePagePdf("", "", objects);
  ASSERT_EQ(OpenMemoryDocument(context, fontPdf, store), -1);
  Scoped<pdf::document::Document> document(context, *store);
  pdf::document::ResolvedValue dictionary(context);
  document->Resolver().GetIndirectObject(pdf::document::ObjectId{5, 0}, dictionary);
  Ref<pdf::text::PDFFont> font(context, pdf::text::MakeFont(document->Resolver(), dictionary));
  ASSERT_NE(font->Program(), nullptr);
  const auto& glyphs = static_cast<const pdf::text::SimpleGlyphInfo&>(font->Glyphs());

  std::string text = "0.2 0.3 0.6 rg BT\n", paths = "0.2 0.3 0.6 rg\n";
  for (const Shown& g : shown) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "/F1 %g Tf 1 0 0 1 %g %g Tm (%c) Tj\n", g.size, g.x, g.y, g.code);
    text += buffer;
    PdfPathSink sink;
    const Fixed16_16 size = static_cast<Fixed16_16>(g.size * 65536);
    font->Program()->AppendOutline(glyphs.glyphs[static_cast<uint8_t>(g.code)],
                                   FixedMatrix{size, 0, 0, size, static_cast<Fixed16_16>(g.x * 65536),
                                               static_cast<Fixed16_16>(g.y * 65536)},
                                   sink);
    paths += sink.text + "f\n";
  }
  text += "ET";
  const Rendered cached = Draw(text, "/Font << /F1 5 0 R >>", objects);
  const Rendered filled = Draw(paths, "", {});
  ASSERT_EQ(cached.bgr.size(), filled.bgr.size());
  int worst = 0;
  size_t inked = 0;
  for (size_t i = 0; i < cached.bgr.size(); ++i) {
    worst = std::max(worst, std::abs(cached.bgr[i] - filled.bgr[i]));
    inked += filled.bgr[i] != 255;
  }
  EXPECT_LE(worst, 2) << "a cached glyph differs from its outline filled as a path";
  EXPECT_GT(inked, 3000u);  // the glyphs were drawn
}

}  // namespace
}  // namespace vn::test
