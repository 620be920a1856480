// Fonts without a program of their own: the standard fourteen against the
// published metrics of their URW clones (every glyph drawn, every advance
// exact), the face a descriptor or a name chooses, stretching to the PDF's
// widths, glyphs beyond Latin-1 and the small-capital forms.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "fonts/font.h"
#include "pdf/text/pdf_font_fixture.h"

namespace vn::test {
namespace {

const char kAfmFolder[] = "/usr/share/fonts/type1/urw-base35/";

struct AfmGlyph {
  std::string name;
  int width;
  bool inked;  // the bounding box is not empty
};

// The glyphs of an AFM file ("C code ; WX width ; N name ; B llx lly urx ury ;").
std::vector<AfmGlyph> ReadAfm(const std::string& path) {
  std::vector<AfmGlyph> glyphs;
  std::istringstream in(ReadFontFile(path.c_str()));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("C ", 0) != 0) continue;
    AfmGlyph glyph{"", -1, false};
    std::istringstream fields(line);
    std::string word;
    int box[4] = {0, 0, 0, 0};
    while (fields >> word) {
      if (word == "WX") fields >> glyph.width;
      if (word == "N") fields >> glyph.name;
      if (word == "B") fields >> box[0] >> box[1] >> box[2] >> box[3];
    }
    glyph.inked = box[2] > box[0] && box[3] > box[1];
    if (glyph.name != ".notdef") glyphs.push_back(glyph);
  }
  return glyphs;
}

// The bounding box of the points an outline passes through.
class BoxSink final : public fonts::OutlineSink {
 public:
  void MoveTo(FixedPoint p) override { Add(p); }
  void LineTo(FixedPoint p) override { Add(p); }
  void CurveTo(FixedPoint, FixedPoint, FixedPoint end) override { Add(end); }
  void Close() override {}
  bool Empty() const { return x0 > x1; }
  int32_t x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;

 private:
  void Add(FixedPoint p) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  }
};

class FontSubstitutionTest : public PDFFontTest {
 protected:
  // The outline's box of code's glyph at 1000 units per em (glyph units).
  BoxSink Box(uint8_t code) {
    BoxSink box;
    const FixedMatrix thousand{IntToFixed(1000), 0, 0, IntToFixed(1000), 0, 0};
    font->Program()->AppendOutline(Glyph(code), thousand, box);
    return box;
  }
  std::string Face() const { return font->SubstituteFace() == nullptr ? "" : font->SubstituteFace(); }
};

TEST_F(FontSubstitutionTest, StandardFontsDrawEveryGlyphAtThePublishedWidth) {
  static const char* const kFonts[][2] = {
      {"Courier", "NimbusMonoPS-Regular"},      {"Courier-Bold", "NimbusMonoPS-Bold"},
      {"Courier-Oblique", "NimbusMonoPS-Italic"}, {"Courier-BoldOblique", "NimbusMonoPS-BoldItalic"},
      {"Helvetica", "NimbusSans-Regular"},      {"Helvetica-Bold", "NimbusSans-Bold"},
      {"Helvetica-Oblique", "NimbusSans-Italic"}, {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
      {"Times-Roman", "NimbusRoman-Regular"},   {"Times-Bold", "NimbusRoman-Bold"},
      {"Times-Italic", "NimbusRoman-Italic"},   {"Times-BoldItalic", "NimbusRoman-BoldItalic"},
      {"Symbol", "StandardSymbolsPS"},          {"ZapfDingbats", "D050000L"},
  };
  for (const auto& [baseFont, face] : kFonts) {
    const std::vector<AfmGlyph> glyphs = ReadAfm(std::string(kAfmFolder) + face + ".afm");
    if (glyphs.empty()) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    // The glyphs in batches of codes 32..255, named by Differences.
    for (size_t first = 0; first < glyphs.size(); first += 224) {
      const size_t count = std::min<size_t>(224, glyphs.size() - first);
      std::string differences = "[32";
      for (size_t i = 0; i < count; ++i) differences += " /" + glyphs[first + i].name;
      ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /" + std::string(baseFont) +
                      " /Encoding << /Differences " + differences + "] >> >>"}),
                -1)
          << baseFont;
      ASSERT_TRUE(font->Usable());
      EXPECT_EQ(Face(), face);
      for (size_t i = 0; i < count; ++i) {
        const AfmGlyph& glyph = glyphs[first + i];
        const uint8_t code = static_cast<uint8_t>(32 + i);
        SCOPED_TRACE(std::string(baseFont) + " " + glyph.name);
        ASSERT_NE(Glyph(code), 0u);
        EXPECT_EQ(Width(code), Em(glyph.width));
        EXPECT_EQ(Box(code).Empty(), !glyph.inked);
      }
    }
  }
}

TEST_F(FontSubstitutionTest, DescriptorsAndNamesChooseTheFace) {
  struct Case {
    const char* baseFont;
    const char* descriptor;  // empty: none
    const char* face;
  };
  static const Case kCases[] = {
      // Windows names of the standard fonts, and their metrics without Widths.
      {"Arial,Bold", "", "NimbusSans-Bold"},
      {"CourierNew,Italic", "", "NimbusMonoPS-Italic"},
      // Not a standard name, but the descriptor and name say bold serif.
      {"TimesNewRomanPSMT,Bold", "/Flags 34 /StemV 136", "NimbusRoman-Bold"},
      // A positive angle leans backwards: drawn upright.
      {"Georgia", "/Flags 34 /StemV 80 /ItalicAngle 12", "NimbusRoman-Regular"},
      {"ABCDEF+Georgia-Italic", "/Flags 98 /ItalicAngle -11", "NimbusRoman-Italic"},
      // Weight from StemV against the family's regular and bold stems, or
      // FontWeight.
      {"Foo", "/Flags 32 /StemV 120", "NimbusSans-Bold"},
      {"Foo", "/Flags 32 /StemV 100", "NimbusSans-Regular"},
      {"Foo", "/Flags 32 /FontWeight 700 /StemV 50", "NimbusSans-Bold"},
      {"Foo", "/Flags 33", "NimbusMonoPS-Regular"},
      {"Verdana", "/Flags 34", "NimbusSans-Regular"},  // the name wins over a careless Serif flag
      {"Verdana", "", "NimbusSans-Regular"},
      {"SymbolMT", "/Flags 4", "StandardSymbolsPS"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.baseFont) + " " + c.descriptor);
    std::vector<std::string> objects = {"<< /Type /Font /Subtype /TrueType /BaseFont /" + std::string(c.baseFont) +
                                        (c.descriptor[0] != 0 ? " /FontDescriptor 6 0 R >>" : " >>")};
    if (c.descriptor[0] != 0) objects.push_back("<< /Type /FontDescriptor " + std::string(c.descriptor) + " >>");
    ASSERT_EQ(Make(objects), -1);
    EXPECT_TRUE(font->Usable());
    EXPECT_EQ(Face(), c.face);
  }
  // "Arial,Bold" without Widths has Helvetica-Bold's metrics.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /TrueType /BaseFont /Arial,Bold /Encoding /WinAnsiEncoding >>"}), -1);
  EXPECT_EQ(Width('A'), Em(722));
  EXPECT_EQ(Width('i'), Em(278));
  // SymbolMT's codes are Symbol's own: 0x61 is alpha.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /TrueType /BaseFont /SymbolMT >>"}), -1);
  EXPECT_EQ(Glyph('a'), static_cast<uint32_t>(font->Program()->FindGlyph("alpha", 5)));
}

TEST_F(FontSubstitutionTest, GlyphsAreStretchedToThePdfWidths) {
  // NimbusSans A is 667 wide; the PDF says 1334 for A and 667 for B (B is 667 too).
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 65 /LastChar 67 "
                  "/Widths [1334 667 0] /FontDescriptor 6 0 R >>",
                  "<< /Type /FontDescriptor /Flags 32 /StemV 80 >>"}),
            -1);
  ASSERT_EQ(Face(), "NimbusSans-Regular");
  EXPECT_EQ(Width('A'), Em(1334));
  EXPECT_EQ(font->Program()->GlyphAdvance(Glyph('A')), IntToFixed(1334));
  const BoxSink a = Box('A'), b = Box('B'), c = Box('C');
  // The face's box of A is 17..653 (AFM): twice as wide, same height.
  EXPECT_NEAR((a.x1 - a.x0) / 65536.0, 2 * 636, 2);
  EXPECT_NEAR((a.y1 - a.y0) / 65536.0, 729, 2);
  EXPECT_NEAR((b.x1 - b.x0) / 65536.0, 667 - 76 - 50, 60);  // unchanged
  // A code of width 0 keeps the face's own glyph width.
  EXPECT_FALSE(c.Empty());
  EXPECT_EQ(font->Program()->GlyphAdvance(Glyph('C')), IntToFixed(722));
}

TEST_F(FontSubstitutionTest, GreekCyrillicAndCentralEuropeanGlyphsDraw) {
  // Beyond the 230 Latin-1 glyphs; afii10017 (Cyrillic A) and uni0411 are
  // two ways of naming Cyrillic letters.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FontDescriptor 6 0 R "
                  "/Encoding << /Differences [65 /Alpha /omega /afii10017 /uni0411 /Zcaron /lslash /Ccaron] >> >>",
                  "<< /Type /FontDescriptor /Flags 34 >>"}),
            -1);
  for (uint8_t code = 'A'; code <= 'G'; ++code) {
    SCOPED_TRACE(code);
    EXPECT_NE(Glyph(code), 0u);
    EXPECT_FALSE(Box(code).Empty());
    EXPECT_GT(Width(code), 0);
  }
  EXPECT_NE(Glyph('C'), Glyph('D'));
}

TEST_F(FontSubstitutionTest, SmallCapitalsDrawLowercaseFromTheCapitals) {
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Foo-SC /FontDescriptor 6 0 R >>",
                  "<< /Type /FontDescriptor /Flags 131106 /XHeight 450 >>"}),
            -1);
  ASSERT_EQ(Face(), "NimbusRoman-Regular");
  const BoxSink capital = Box('A'), small = Box('a');
  // Times' capitals are 662 high: the small ones are 450/662 of them.
  EXPECT_NEAR(static_cast<double>(small.y1 - small.y0) / (capital.y1 - capital.y0), 450.0 / 662, 0.01);
  EXPECT_NEAR(static_cast<double>(small.x1 - small.x0) / (capital.x1 - capital.x0), 450.0 / 662, 0.01);
}

}  // namespace
}  // namespace vn::test
