// Composite fonts of the four CJK collections without a program: drawn with
// an installed font (found through fontconfig) whose glyphs are reached
// through the collection's Unicode map. Each collection's page is made up
// here; a collection without an installed font is skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/text/type0_font.h"
#include "pdf/text/pdf_font_fixture.h"

namespace vn::test {
namespace {

struct Collection {
  const char* ordering;
  const char* encoding;  // a UCS-2 CMap: the codes are Unicode
  uint16_t character;    // one the script's fonts all have
};

constexpr Collection kCollections[] = {
    {"Japan1", "UniJIS-UCS2-H", 0x3042},  // hiragana a
    {"GB1", "UniGB-UCS2-H", 0x8FD9},      // simplified "zhe"
    {"CNS1", "UniCNS-UCS2-H", 0x9019},    // traditional "zhe"
    {"Korea1", "UniKS-UCS2-H", 0xD55C},   // hangul han
};

bool FontInstalledFor(uint16_t character) {
  char command[96];
  std::snprintf(command, sizeof(command), "fc-list ':charset=%X' file 2>/dev/null | grep -q .", character);
  return std::system(command) == 0;
}

std::string Type0Font(const Collection& c, const std::string& descriptorFlags) {
  return "<< /Type /Font /Subtype /Type0 /BaseFont /NotInstalledFont /Encoding /" + std::string(c.encoding) +
         " /DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /NotInstalledFont "
         "/CIDSystemInfo << /Registry (Adobe) /Ordering (" +
         c.ordering + ") /Supplement 2 >> /DW 1000 /FontDescriptor << /Type /FontDescriptor /Flags " +
         descriptorFlags + " >> >>] >>";
}

class CjkSubstitutionTest : public PDFFontTest {};

TEST_F(CjkSubstitutionTest, EachCollectionDrawsWithAnInstalledFont) {
  int drawn = 0;
  for (const Collection& c : kCollections) {
    SCOPED_TRACE(c.ordering);
    if (!FontInstalledFor(c.character)) continue;
    ++drawn;
    // A page with the character at 80 points: dark pixels where it stands.
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%04X", c.character);
    const std::string pdf = OnePagePdf(std::string("BT /F1 80 Tf 10 10 Td <") + hex + "> Tj ET", "/Font << /F1 5 0 R >>",
                                       {Type0Font(c, "6")});
    // On an engine thread, whose stack is the one the font lookup must not
    // overflow.
    RenderRequest request;
    request.onEngineThread = true;
    const Rendered page = RenderPdf(context, pdf, request);
    ASSERT_EQ(page.error, -1);
    int dark = 0;
    for (int y = 0; y < page.height; ++y) {
      for (int x = 0; x < page.width; ++x) dark += page.Red(x, y) < 128 ? 1 : 0;
    }
    EXPECT_GT(dark, 200) << "the character was not drawn";
    EXPECT_EQ(page.Count(2, 1), 0u);  // no text reported as undrawable
    ASSERT_EQ(Make({Type0Font(c, "4")}), -1);
    ASSERT_TRUE(font->Usable());
    EXPECT_FALSE(font->Embedded());
    ASSERT_NE(font->SubstituteFace(), nullptr);
    // The character's code reaches a glyph with ink.
    const uint8_t code[2] = {static_cast<uint8_t>(c.character >> 8), static_cast<uint8_t>(c.character)};
    const uint8_t* cursor = code;
    const pdf::text::GlyphStep step = font->Glyphs().NextGlyph(cursor, code + 2);
    EXPECT_NE(step.glyph, 0u);
    EXPECT_EQ(step.width, kFixedOne);  // DW 1000
  }
  if (drawn == 0) GTEST_SKIP() << "no CJK font is installed (tools/setup.sh installs fonts-droid-fallback and fonts-baekmuk)";
}

TEST_F(CjkSubstitutionTest, UnknownCollectionsStayReported) {
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [<< /Type /Font "
                  "/Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << /Registry (Foo) /Ordering (Bar) /Supplement 0 "
                  ">> >>] >>"}),
            -1);
  EXPECT_FALSE(font->Usable());
  EXPECT_EQ(font->SubstituteFace(), nullptr);
}

}  // namespace
}  // namespace vn::test
