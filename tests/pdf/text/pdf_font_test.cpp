// PDF fonts from their dictionaries: widths (exact thousandths, short and
// lying ranges, MissingWidth, the standard fonts' metrics), encodings and
// Differences against real programs (URW and DejaVu fonts), the glyph list,
// and damaged dictionaries.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "fonts/font.h"
#include "pdf/text/encodings.h"
#include "pdf/text/pdf_font_fixture.h"
#include "pdf/text/pdf_font.h"
#include "pdf/text/type3_font.h"
#include "runtime/error.h"
#include "support/render_pages.h"
#include "support/shell.h"
#include "support/test_documents.h"

namespace vn::test {
namespace {

using namespace pdf::text;

const char kType1Path[] = "/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1";
const char kTrueTypePath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

TEST_F(PDFFontTest, WidthsAreExactThousandthsWithMissingWidthOutsideTheRange) {
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Unknown /FirstChar 32 /LastChar 126 "
                  "/Widths [278 500 333] /FontDescriptor 6 0 R >>",
                  "<< /Type /FontDescriptor /Flags 32 /MissingWidth 250 >>"}),
            -1);
  EXPECT_EQ(Width(31), Em(250));
  EXPECT_EQ(Width(32), Em(278));
  EXPECT_EQ(Width(33), 0x8000);  // 500/1000 exactly, not 500 * 65/65536
  EXPECT_EQ(Width(34), Em(333));
  EXPECT_EQ(Width(35), Em(250));  // past the end of a short Widths array
  EXPECT_TRUE(font->Usable());    // no program: drawn with a substitute
  EXPECT_FALSE(font->Embedded());
}

TEST_F(PDFFontTest, WidthsMayBeReferencesToNumbers) {
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 32 /LastChar 34 /Widths [278 6 0 R 333] >>",
                  "500"}),
            -1);
  EXPECT_EQ(Width(33), 0x8000);
  EXPECT_EQ(Width(34), Em(333));
}

TEST_F(PDFFontTest, WidthRangesThatLieAreReadOnlyAsFarAsTheyGo) {
  // LastChar far past 255 and a Widths array longer than the code range.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 250 /LastChar 100000 "
                  "/Widths [1 2 3 4 5 6 7 8 9 10 11 12] >>"}),
            -1);
  EXPECT_EQ(Width(255), Em(6));
  // LastChar below FirstChar: the array alone says how far.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 65 /LastChar 3 /Widths [600 (x) 700] >>"}),
            -1);
  EXPECT_EQ(Width(65), Em(600));
  EXPECT_EQ(Width(66), 0);  // not a number: missing
  EXPECT_EQ(Width(67), Em(700));
  // A FirstChar outside the codes is damaged.
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 256 /LastChar 300 /Widths [1] >>"}),
            kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar -5 /LastChar 3 /Widths [1] >>"}), kBadData);
}

TEST_F(PDFFontTest, StandardFontsWithoutWidthsUseTheirMetrics) {
  // Adobe's published metrics: Helvetica A 667, space 278; Times-Roman
  // a 444; Courier 600 throughout; Symbol alpha 631.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Arial /Encoding /WinAnsiEncoding >>"}), -1);
  EXPECT_EQ(Width('A'), Em(667));
  EXPECT_EQ(Width(' '), Em(278));
  EXPECT_EQ(Width(0xA0), Em(278));  // WinAnsi's second space
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>"}), -1);
  EXPECT_EQ(Width('a'), Em(444));
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Courier-Bold >>"}), -1);
  EXPECT_EQ(Width('W'), Em(600));
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>"}), -1);
  EXPECT_EQ(Width('a'), Em(631));  // code 0x61 is alpha in Symbol's own encoding
}

TEST_F(PDFFontTest, DifferencesRenameCodesOfAnEmbeddedType1Program) {
  const std::string program = ReadFontFile(kType1Path);
  if (program.empty()) GTEST_SKIP() << "fonts-urw-base35 is not installed";
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /NimbusSans-Regular /FontDescriptor 6 0 R "
                  "/Encoding << /Differences [65 /B /C 200 /nosuchglyph] >> >>",
                  "<< /Type /FontDescriptor /Flags 32 /FontFile 7 0 R >>", FontFileObject("FontFile", program)}),
            -1);
  EXPECT_EQ(font->Format(), ProgramFormat::kType1);
  ASSERT_TRUE(font->Usable());
  fonts::Font& p = *font->Program();
  EXPECT_EQ(Glyph('A'), static_cast<uint32_t>(p.FindGlyph("B", 1)));
  EXPECT_EQ(Glyph('B'), static_cast<uint32_t>(p.FindGlyph("C", 1)));
  EXPECT_EQ(Glyph('D'), static_cast<uint32_t>(p.FindGlyph("D", 1)));  // the program's own encoding
  EXPECT_EQ(Glyph(200), static_cast<uint32_t>(p.FindGlyph(".notdef", 7)));
  // Without Widths the advances are the program's: NimbusSans B is 667.
  EXPECT_EQ(Width('A'), Em(667));
  EXPECT_EQ(font->ToUnicodeMap()->NextCode(reinterpret_cast<const uint8_t*>("A"),
                                          reinterpret_cast<const uint8_t*>("A") + 1).value, 'B');
  EXPECT_STREQ(font->EncodingLabel(), "Custom");
}

TEST_F(PDFFontTest, TrueTypeCodesGoThroughNamesAndTheUnicodeTable) {
  const std::string program = ReadFontFile(kTrueTypePath);
  if (program.empty()) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /TrueType /BaseFont /DejaVuSans /FontDescriptor 6 0 R "
                  "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [66 /Euro /uni0416] >> >>",
                  "<< /Type /FontDescriptor /Flags 32 /FontFile2 7 0 R >>", FontFileObject("FontFile2", program)}),
            -1);
  ASSERT_TRUE(font->Usable());
  fonts::Font& p = *font->Program();
  using fonts::CmapSubtable;
  EXPECT_EQ(Glyph('A'), static_cast<uint32_t>(p.CmapLookup(CmapSubtable::kWindowsUnicode, 'A')));
  EXPECT_EQ(Glyph(0x80), static_cast<uint32_t>(p.CmapLookup(CmapSubtable::kWindowsUnicode, 0x20AC)));
  EXPECT_EQ(Glyph('B'), Glyph(0x80));  // /Euro by its Unicode value
  // "uni0416" is not in the glyph list: found by the "post" name instead.
  EXPECT_EQ(Glyph('C'), static_cast<uint32_t>(p.FindGlyph("uni0416", 7)));
  EXPECT_NE(Glyph('C'), 0u);
}

TEST_F(PDFFontTest, SymbolicFontsWithoutAProgramAreSubstituted) {
  // pdfTeX's /Flags 4 on text fonts: no program, so drawn with a substitute
  // (StandardEncoding names the codes) at the font's widths.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /CMR10 /FirstChar 65 /LastChar 65 /Widths [750] "
                  "/FontDescriptor 6 0 R >>",
                  "<< /Type /FontDescriptor /Flags 4 >>"}),
            -1);
  EXPECT_TRUE(font->Usable());
  EXPECT_TRUE(font->Symbolic());
  EXPECT_EQ(Width('A'), Em(750));
  EXPECT_EQ(Glyph('A'), static_cast<uint32_t>(font->Program()->FindGlyph("A", 1)));
}

TEST_F(PDFFontTest, DamagedDictionariesAreCleanErrors) {
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /Encoding << /Differences [/A 65 /B] >> >>"}),
            kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /Encoding << /Differences [65 (B)] >> >>"}),
            kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /Encoding << /Differences 12 >> >>"}), kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type7 /BaseFont /X >>"}), kUnsupported);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [1 0 0] /CharProcs << >> >>"}), kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [1 0 0 1 0 0] >>"}), kBadData);
  // Junk Differences beyond code 255 and a broken embedded program are no
  // error: the codes are ignored and the font draws with a substitute.
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /X /Encoding << /Differences [300 /A /B 255 /C /D] >> "
                  "/FontDescriptor 6 0 R >>",
                  "<< /Type /FontDescriptor /Flags 32 /FontFile 7 0 R >>", StreamObject("", "%!PS-AdobeFont-1.0 junk")}),
            -1);
  EXPECT_TRUE(font->Usable());
  EXPECT_TRUE(font->Embedded());
  EXPECT_STREQ(font->SubstituteFace(), "NimbusSans-Regular");
}

TEST_F(PDFFontTest, Type3GlyphsAreTheCharProcsInDictionaryOrder) {
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [0.5 0 0 0.5 0 0] /FontBBox [0 0 1 1] "
                  "/CharProcs << /square 6 0 R /dot 7 0 R >> /Encoding << /Differences [97 /dot /square /none] >> "
                  "/FirstChar 97 /LastChar 99 /Widths [1 2 3] >>",
                  StreamObject("", "1 0 0 0 1 1 d1 0 0 1 1 re f"), StreamObject("", "1 0 d0")}),
            -1);
  const auto& type3 = static_cast<const Type3PDFFont&>(*font);
  EXPECT_EQ(Glyph('a'), 2u);
  EXPECT_EQ(Glyph('b'), 1u);
  EXPECT_EQ(Glyph('c'), 0u);  // not a CharProcs key: draws nothing
  EXPECT_EQ(type3.Procedure(1).number, 6);
  EXPECT_EQ(type3.Procedure(0).number, -1);
  EXPECT_EQ(Width('b'), kFixedOne);  // 2 glyph units under a matrix of 0.5
  EXPECT_TRUE(font->Usable());
}

// The text of `bytes` through the font's Unicode map, as UTF-8.
std::string Utf8Text(const PDFFont& font, const std::string& bytes) {
  std::u16string units;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* end = p + bytes.size();
  while (p < end) {
    const CharCode code = font.ToUnicodeMap()->NextCode(p, end);
    if (code.unitCount != 0) {
      units.append(code.units, code.units + code.unitCount);
    } else {
      units += static_cast<char16_t>(code.value);
    }
    p += code.length;
  }
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size()) c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string ToUnicodeCMap(const std::string& body) {
  return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def /CMapType 2 def\n" + body +
         "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

class ToUnicodeTest : public PDFFontTest {
 protected:
  // Makes a Helvetica font (WinAnsi) with the ToUnicode stream `cmap` and
  // returns the text of `shown` through it; `pdftotext` receives what
  // pdftotext reads from the page that shows it (empty without the tool).
  std::string Extract(const std::string& cmap, const std::string& shown, std::string& pdftotext) {
    EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
                    "/ToUnicode 6 0 R >>",
                    StreamObject("", cmap)},
                   "BT /F1 8 Tf 5 50 Td <" + Hex(shown) + "> Tj ET", "/Font << /F1 5 0 R >>"),
              -1);
    pdftotext.clear();
    const std::string path = ScratchPath("to-unicode.pdf");
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(pdf.data(), 1, pdf.size(), f);
      std::fclose(f);
      if (!RunTool("pdftotext -raw -enc UTF-8 '" + path + "' - 2>/dev/null", pdftotext)) pdftotext.clear();
      while (!pdftotext.empty() && static_cast<unsigned char>(pdftotext.back()) <= ' ') pdftotext.pop_back();
      std::remove(path.c_str());
    }
    return font ? Utf8Text(*font, shown) : std::string();
  }
};

TEST_F(ToUnicodeTest, CharsRangesAndLigaturesAgreeWithPdftotext) {
  // bfchar to one unit, a ligature and a surrogate pair; bfrange by steps
  // and by an array; 'Z' is not mapped and keeps its WinAnsi name.
  const std::string cmap = ToUnicodeCMap(
      "1 begincodespacerange <00> <FF> endcodespacerange\n"
      "3 beginbfchar <41> <0042> <02> <00660069> <03> <D835DC9C> endbfchar\n"
      "2 beginbfrange <61> <63> <0430> <70> <71> [<0058> <00590059>] endbfrange");
  std::string reference;
  const std::string ours = Extract(cmap, "A\x02\x03" "abcpqZ", reference);
  EXPECT_EQ(ours, "Bfi\xF0\x9D\x92\x9C\xD0\xB0\xD0\xB1\xD0\xB2XYYZ");
  if (!reference.empty()) {
    EXPECT_EQ(ours, reference);
  }
  EXPECT_GT(font->Footprint(), 0u);

  // Two-byte codes in the map of a simple font: code c is the number c.
  const std::string wide = ToUnicodeCMap(
      "1 begincodespacerange <0000> <FFFF> endcodespacerange\n1 beginbfchar <0041> <263A> endbfchar");
  EXPECT_EQ(Extract(wide, "AB", reference), "\xE2\x98\xBA" "B");
  if (!reference.empty()) {
    EXPECT_EQ(reference, "\xE2\x98\xBA" "B");
  }
}

TEST_F(ToUnicodeTest, DamagedOrIdentityMaps) {
  // A map whose compressed data is junk is dropped: the encoding's Unicode
  // stands and the font still works.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 6 0 R >>",
                  StreamObject("/Filter /FlateDecode", "not deflate data")}),
            -1);
  EXPECT_EQ(Utf8Text(*font, "AB"), "AB");
  // "Identity-H" names the identity: code c is U+c.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /ToUnicode /Identity-H >>"}), -1);
  EXPECT_EQ(Utf8Text(*font, "ab"), "ab");  // not Symbol's alpha and beta
  const uint8_t pair[2] = {0x26, 0x3A};
  const CharCode code = IdentityUnicodeCharCodeMap().NextCode(pair, pair + 2);
  EXPECT_EQ(code.length, 2u);
  EXPECT_EQ(code.value, 0x263Au);
}

TEST_F(PDFFontTest, Type3WidthsTakeTheFontMatrixAsWritten) {
  // 500 * 0.001 is exactly half an em; 100 * .01204 is 1.204 (16.16 reads
  // would give 0.7 % and 0.05 % more).
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << >> "
                  "/Encoding << /Differences [] >> /FirstChar 97 /LastChar 98 /Widths [500 2048] >>"}),
            -1);
  EXPECT_EQ(Width('a'), 0x8000);
  EXPECT_EQ(Width('b'), Em(2048));
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [.01204 0 0 .01204 0 0] /CharProcs << >> "
                  "/Encoding << /Differences [] >> /FirstChar 97 /LastChar 97 /Widths [100] >>"}),
            -1);
  EXPECT_EQ(Width('a'), Em(1204));
  // A binary fraction written in full stays exact: 2048 units of 1/2048.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type3 /FontMatrix [.00048828125 0 0 -.00048828125 0 0] "
                  "/CharProcs << >> /Encoding << /Differences [] >> /FirstChar 97 /LastChar 97 /Widths [2048] >>"}),
            -1);
  EXPECT_EQ(Width('a'), kFixedOne);
}

TEST(EncodingsTest, GlyphListAndNamedEncodings) {
  auto unicode = [](const char* name) { return GlyphNameToUnicode(GlyphName{name, uint32_t(strlen(name))}); };
  EXPECT_EQ(unicode("A"), 'A');
  EXPECT_EQ(unicode("Euro"), 0x20AC);
  EXPECT_EQ(unicode("germandbls"), 0xDF);
  EXPECT_EQ(unicode("uni0041"), 0);  // not in the list, and not taken apart
  EXPECT_EQ(unicode("nosuchname"), 0);
  auto named = [](const char* name) { return EncodingFromName(reinterpret_cast<const uint8_t*>(name), strlen(name)); };
  EXPECT_EQ(named("PDFDocEncoding"), NamedEncoding::kWinAnsi);
  EXPECT_EQ(named("Identity-H"), NamedEncoding::kNone);
  auto name = [](NamedEncoding e, uint8_t code) {
    GlyphName n = EncodingGlyphName(e, code);
    return std::string(n.bytes, n.length);
  };
  EXPECT_EQ(name(NamedEncoding::kWinAnsi, 0x80), "Euro");
  EXPECT_EQ(name(NamedEncoding::kWinAnsi, 0x81), "bullet");
  EXPECT_EQ(name(NamedEncoding::kWinAnsi, 0xA0), "space");
  EXPECT_EQ(name(NamedEncoding::kMacRoman, 0xCA), "space");
  EXPECT_EQ(name(NamedEncoding::kMacRoman, 0x80), "Adieresis");
  EXPECT_EQ(name(NamedEncoding::kStandard, 0x27), "quoteright");
  EXPECT_EQ(name(NamedEncoding::kMacExpert, 0x61), "Asmall");
  EXPECT_EQ(name(NamedEncoding::kStandard, 0x7F), "");
  auto standard = [](const char* n) { return StandardFontIndex(reinterpret_cast<const uint8_t*>(n), strlen(n)); };
  EXPECT_EQ(standard("TimesNewRomanPSMT"), 8);
  EXPECT_EQ(standard("TimesNewRomanPSMT,Bold"), kNotStandardFont);
  EXPECT_EQ(standard("Arial,BoldItalic"), 7);
  EXPECT_EQ(standard("ZapfDingbats"), 13);
}

}  // namespace
}  // namespace vn::test
