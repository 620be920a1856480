// Composite fonts from their dictionaries: codes through identity, built-in
// and embedded CMaps (values from the published CMap files), CIDs to glyphs
// through CIDToGIDMap and name-keyed CFF, W/DW and W2/DW2 in exact
// thousandths, fonts that cannot be drawn, and hostile dictionaries.
#include <gtest/gtest.h>

#include <string>

#include "fonts/font.h"
#include "pdf/document/document.h"
#include "pdf/text/font_test_support.h"
#include "pdf/text/type0_font.h"
#include "pdf/text/type0_to_unicode_char_code_map.h"
#include "runtime/error.h"

namespace vn::test {
namespace {

using namespace pdf::text;

const char kTrueTypePath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kOpenTypeCffPath[] = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";

// A Type 0 font (object 5) over a CIDFont (object 6) with `cidEntries`;
// `descriptor` (object 7) is appended when not empty, then `more`.
std::vector<std::string> Type0(const std::string& encoding, const std::string& cidEntries,
                               const std::string& descriptor = "", const std::vector<std::string>& more = {}) {
  std::vector<std::string> objects = {
      "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding " + encoding + " /DescendantFonts [6 0 R] >>",
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Test /CIDSystemInfo << /Registry (Adobe) /Ordering "
      "(Japan1) /Supplement 6 >> " +
          cidEntries + (descriptor.empty() ? "" : " /FontDescriptor 7 0 R") + " >>"};
  if (!descriptor.empty()) objects.push_back(descriptor);
  for (const std::string& object : more) objects.push_back(object);
  return objects;
}

class Type0FontTest : public FontFromObjectsTest {
 protected:
  // The glyph steps of the bytes of `string`.
  std::vector<GlyphStep> Steps(const std::string& string) const {
    std::vector<GlyphStep> steps;
    const auto* cursor = reinterpret_cast<const uint8_t*>(string.data());
    const uint8_t* end = cursor + string.size();
    while (cursor < end) steps.push_back(font->Glyphs().NextGlyph(cursor, end));
    return steps;
  }
  uint32_t Cid(const std::string& string) const {
    const auto* cursor = reinterpret_cast<const uint8_t*>(string.data());
    bool wordSpace = false;
    return static_cast<const Type0GlyphInfo&>(font->Glyphs()).NextCid(cursor, cursor + string.size(), &wordSpace);
  }

  // The Unicode of each code of `string` through the font's Unicode map
  // (0x7FFFFFFF when there is no map).
  std::vector<uint32_t> Unicode(const std::string& string) {
    std::vector<uint32_t> units;
    TryFrame frame;
    if (VN_TRY(context, frame)) {
      pdf::document::ResolvedValue dictionary(context);
      document->Resolver().GetIndirectObject(pdf::document::ObjectId{5, 0}, dictionary);
      Owned<CharCodeMap> map(context, NewType0UnicodeMap(document->Resolver(), dictionary));
      const auto* cursor = reinterpret_cast<const uint8_t*>(string.data());
      const uint8_t* end = cursor + string.size();
      while (map && cursor < end) {
        const CharCode code = map->NextCode(cursor, end);
        for (uint32_t i = 0; i < (code.unitCount != 0 ? code.unitCount : 1); ++i) {
          units.push_back(code.unitCount != 0 ? code.units[i] : code.value);
        }
        cursor += code.length != 0 ? code.length : 1;
      }
      if (!map) units.push_back(0x7FFFFFFF);
    } else {
      units.push_back(Catch(frame).code);
    }
    EndTry(frame);
    return units;
  }

};

std::string TrueTypeDescriptor() { return "<< /Type /FontDescriptor /FontName /Test /Flags 4 /FontFile2 8 0 R >>"; }

TEST_F(Type0FontTest, IdentityCodesMapThroughCidToGidMapWithWidthsFromW) {
  const std::string program = ReadFontFile(kTrueTypePath);
  if (program.empty()) GTEST_SKIP() << "fonts-dejavu-core absent";
  // CIDToGIDMap: CID 0 -> 0, 1 -> 36 ("A" in DejaVu Sans), 2 -> 37, 3 -> 0x1234.
  const std::string map("\x00\x00\x00\x24\x00\x25\x12\x34", 8);
  ASSERT_EQ(Make(Type0("/Identity-H", "/DW 500 /W [1 [600 700.5] 10 20 250 30 [100]] /CIDToGIDMap 9 0 R",
                       TrueTypeDescriptor(), {StreamObject("", program), StreamObject("", map)})),
            -1);
  ASSERT_TRUE(font->Usable());
  EXPECT_TRUE(font->Embedded());
  EXPECT_EQ(font->Type(), FontType::kType0);
  EXPECT_EQ(static_cast<const Type0PDFFont&>(*font).Descendant(), CidFontType::kCidFontType2);
  EXPECT_EQ(static_cast<const Type0PDFFont&>(*font).Collection(), pdf::cmap::kJapan1);
  const auto steps = Steps(std::string("\x00\x01\x00\x02\x00\x03\x00\x0f\x00\x1e\x00\x20\x00\x04\x07", 15));
  ASSERT_EQ(steps.size(), 8u);
  EXPECT_EQ(steps[0].glyph, 36u);
  EXPECT_EQ(steps[0].width, Em(600));
  EXPECT_EQ(steps[1].glyph, 37u);
  EXPECT_EQ(steps[1].width, Em(700) + Em(1) / 2);  // 700.5 thousandths
  EXPECT_EQ(steps[2].glyph, 0x1234u);
  EXPECT_EQ(steps[2].width, Em(500));  // DW
  EXPECT_EQ(steps[3].width, Em(250));  // 10..20
  EXPECT_EQ(steps[4].width, Em(100));
  EXPECT_FALSE(steps[5].wordSpace);    // CID 32 of a two-byte code: no word spacing
  EXPECT_EQ(steps[6].glyph, 0u);       // past the map's end
  EXPECT_EQ(steps[7].glyph, 0u);       // a lone last byte: CID 0
  EXPECT_EQ(steps[7].width, Em(500));
  EXPECT_FALSE(font->Glyphs().Vertical());
}

TEST_F(Type0FontTest, NameKeyedOpenTypeCffTakesTheCidAsGlyphIndex) {
  const std::string program = ReadFontFile(kOpenTypeCffPath);
  if (program.empty()) GTEST_SKIP() << "fonts-urw-base35 absent";
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type0 /BaseFont /N /Encoding /Identity-H /DescendantFonts [6 0 R] >>",
                  "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /N /CIDSystemInfo << /Registry (Adobe) "
                  "/Ordering (Identity) /Supplement 0 >> /FontDescriptor 7 0 R >>",
                  "<< /Type /FontDescriptor /FontName /N /Flags 4 /FontFile3 8 0 R >>",
                  StreamObject("/Subtype /OpenType", program)}),
            -1);
  ASSERT_TRUE(font->Usable());
  EXPECT_EQ(font->Format(), ProgramFormat::kOpenType);
  EXPECT_EQ(static_cast<const Type0PDFFont&>(*font).Descendant(), CidFontType::kCidFontType0);
  EXPECT_EQ(static_cast<const Type0PDFFont&>(*font).Collection(), pdf::cmap::kUnknownCollection);
  EXPECT_EQ(Steps(std::string("\x00\x2a", 2))[0].glyph, 42u);
  EXPECT_EQ(Steps(std::string("\x00\x2a", 2))[0].width, kFixedOne);  // DW's default 1000
}

TEST_F(Type0FontTest, BuiltInCMapsGiveThePublishedCids) {
  // 90ms-RKSJ-H: one byte <20>..<7D> from CID 231, two bytes <8140>.. from 633.
  ASSERT_EQ(Make(Type0("/90ms-RKSJ-H", "/W [231 [111] 633 [222]]")), -1);
  EXPECT_FALSE(font->Embedded());  // no program: an installed Japanese font draws it, if any; placed all the same
  const auto steps = Steps(std::string("\x20\x81\x40\x41", 4));
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_TRUE(steps[0].wordSpace);  // the single-byte code 32
  EXPECT_EQ(steps[0].width, Em(111));
  EXPECT_FALSE(steps[1].wordSpace);
  EXPECT_EQ(steps[1].width, Em(222));
  EXPECT_EQ(Cid("\x41"), 231u + 0x21);
  EXPECT_EQ(Cid("\x81\x40"), 633u);
  EXPECT_FALSE(font->Glyphs().Vertical());
  // UniJIS-UCS2-V: vertical, with its own forms (U+FF08 is 7899, not 674).
  ASSERT_EQ(Make(Type0("/UniJIS-UCS2-V", "")), -1);
  EXPECT_TRUE(font->Glyphs().Vertical());
  EXPECT_EQ(Cid(std::string("\xff\x08", 2)), 7899u);
  EXPECT_EQ(Cid(std::string("\x00\x41", 2)), 34u);
  EXPECT_STREQ(font->EncodingLabel(), "UniJIS-UCS2-V");
}

TEST_F(Type0FontTest, EmbeddedCMapsTakeTheirBaseFirstAndOverrideIt) {
  const std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Test def "
      "1 begincidchar <8140> 9999 endcidchar endcmap CMapName currentdict /CMap defineresource pop end end";
  ASSERT_EQ(Make(Type0("8 0 R", "", "", {"<< /Type /FontDescriptor >>",
                                         StreamObject("/Type /CMap /UseCMap /90ms-RKSJ-H", cmap)})),
            -1);
  EXPECT_EQ(Cid("\x81\x40"), 9999u);      // the override
  EXPECT_EQ(Cid("\x81\x41"), 634u);       // the base
  EXPECT_STREQ(font->EncodingLabel(), "Embedded CMap");
  // A stream whose UseCMap is itself ends with an error, not a loop.
  EXPECT_EQ(Make(Type0("8 0 R", "", "", {"<< /Type /FontDescriptor >>", StreamObject("/UseCMap 8 0 R", cmap)})),
            kLimitExceeded);
  // WMode in the stream's dictionary.
  ASSERT_EQ(Make(Type0("8 0 R", "", "", {"<< /Type /FontDescriptor >>", StreamObject("/WMode 1", cmap)})), -1);
  EXPECT_TRUE(font->Glyphs().Vertical());
}

TEST_F(Type0FontTest, VerticalMetricsComeFromW2AndDW2) {
  ASSERT_EQ(Make(Type0("/Identity-V", "/DW 800 /W [5 [600]] /DW2 [900 -1100] /W2 [1 [-500 250 700] 3 4 -900 10 20]")),
            -1);
  ASSERT_TRUE(font->Glyphs().Vertical());
  const auto steps = Steps(std::string("\x00\x01\x00\x03\x00\x05\x00\x06", 8));
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].verticalAdvance, -Em(500));
  EXPECT_EQ(steps[0].originX, Em(250));
  EXPECT_EQ(steps[0].originY, Em(700));
  EXPECT_EQ(steps[1].verticalAdvance, -Em(900));
  EXPECT_EQ(steps[1].originY, Em(20));
  // Without a W2 entry: DW2, the origin above the middle of the width.
  EXPECT_EQ(steps[2].verticalAdvance, -Em(1100));
  EXPECT_EQ(steps[2].originX, Em(600) / 2);
  EXPECT_EQ(steps[2].originY, Em(900));
  EXPECT_EQ(steps[3].originX, Em(800) / 2);
  // DW2's default: [880 -1000].
  ASSERT_EQ(Make(Type0("/Identity-V", "")), -1);
  const GlyphStep step = Steps(std::string("\x00\x07", 2))[0];
  EXPECT_EQ(step.verticalAdvance, -kFixedOne);
  EXPECT_EQ(step.originY, Em(880));
  EXPECT_EQ(step.originX, kFixedHalf);
}

TEST_F(Type0FontTest, FontsThatCannotBeDrawnKeepTheirWidths) {
  // An encoding that is not built in: two-byte codes, widths kept.
  ASSERT_EQ(Make(Type0("/No-Such-CMap", "/W [1 [321]]")), -1);
  EXPECT_FALSE(font->Usable());
  EXPECT_EQ(Steps(std::string("\x00\x01", 2))[0].width, Em(321));
  // A damaged program.
  ASSERT_EQ(Make(Type0("/Identity-H", "/W [1 [321]]", TrueTypeDescriptor(), {StreamObject("", "not a font")})), -1);
  EXPECT_FALSE(font->Usable());
  EXPECT_TRUE(font->Embedded());
  EXPECT_EQ(font->Program(), nullptr);
  EXPECT_EQ(Steps(std::string("\x00\x01", 2))[0].width, Em(321));
}

TEST_F(Type0FontTest, HostileDictionariesFailCleanly) {
  // DescendantFonts missing, empty, or neither an array nor a dictionary.
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type0 /Encoding /Identity-H >>"}), kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [] >>"}), kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts 12 >>"}), kBadData);
  EXPECT_EQ(Make({"<< /Type /Font /Subtype /Type0 /Encoding /Identity-H /DescendantFonts [99 0 R] >>"}), kBadData);
  // Encoding of the wrong type; W and CIDToGIDMap of the wrong kind.
  EXPECT_EQ(Make(Type0("42", "")), kBadData);
  EXPECT_EQ(Make(Type0("/Identity-H", "/W [1 [(x)]]")), kBadData);
  EXPECT_EQ(Make(Type0("/Identity-H", "/W 7")), kBadData);
  const std::string program = ReadFontFile(kTrueTypePath);
  if (!program.empty()) {
    EXPECT_EQ(Make(Type0("/Identity-H", "/CIDToGIDMap [1 2]", TrueTypeDescriptor(), {StreamObject("", program)})),
              kBadData);
  }

  // W entries that lie are skipped: a last CID before the first, negative
  // CIDs, a truncated entry; a range over every CID costs nothing.
  ASSERT_EQ(Make(Type0("/Identity-H", "/DW 100 /W [20 10 999 -5 [1 2 3] 0 4000000 300 7 [55] 50 60]")), -1);
  EXPECT_EQ(Steps(std::string("\x00\x0f", 2))[0].width, Em(300));
  EXPECT_EQ(Steps(std::string("\x00\x01", 2))[0].width, Em(300));
  EXPECT_EQ(Steps(std::string("\xff\xff", 2))[0].width, Em(300));
  EXPECT_EQ(Steps(std::string("\x00\x07", 2))[0].width, Em(55));  // an exception inside the range

  // A W array with more runs than a font can have.
  std::string many = "/W [0 [";
  for (uint32_t i = 0; i <= kMaxCidMetricRuns; ++i) many += (i % 2 != 0) ? "1 " : "2 ";
  EXPECT_EQ(Make(Type0("/Identity-H", many + "]]")), kLimitExceeded);
}

TEST_F(Type0FontTest, CidToGidMapStreamsAreBounded) {
  const std::string program = ReadFontFile(kTrueTypePath);
  if (program.empty()) GTEST_SKIP() << "fonts-dejavu-core absent";
  // Far more glyph ids than 16-bit CIDs: read as far as those go.
  std::string huge(4 * kMaxCidToGlyphEntries, '\x01');
  ASSERT_EQ(Make(Type0("/Identity-H", "/CIDToGIDMap 9 0 R", TrueTypeDescriptor(),
                       {StreamObject("", program), StreamObject("", huge)})),
            -1);
  EXPECT_EQ(Steps(std::string("\xff\xff", 2))[0].glyph, 0x0101u);
  EXPECT_LE(font->Glyphs().Footprint(), 2 * kMaxCidToGlyphEntries + 4096);
  // A map of one and a half entries.
  ASSERT_EQ(Make(Type0("/Identity-H", "/CIDToGIDMap 9 0 R", TrueTypeDescriptor(),
                       {StreamObject("", program), StreamObject("", std::string("\x00\x05\x00", 3))})),
            -1);
  EXPECT_EQ(Steps(std::string("\x00\x00", 2))[0].glyph, 5u);
  EXPECT_EQ(Steps(std::string("\x00\x01", 2))[0].glyph, 0u);
}

TEST_F(Type0FontTest, UnicodeComesFromToUnicodeElseFromTheCollection) {
  // No ToUnicode: Shift-JIS <8140> is CID 633, which Adobe-Japan1-UCS2 maps
  // to U+3000.
  ASSERT_EQ(Make(Type0("/90ms-RKSJ-H", "")), -1);
  EXPECT_EQ(Unicode("\x81\x40"), std::vector<uint32_t>{0x3000});
  // A ToUnicode CMap wins, ligatures and all.
  const std::string toUnicode =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <0000> <FFFF> "
      "endcodespacerange 2 beginbfchar <0001> <0048> <0002> <00660069> endbfchar 1 beginbfrange <0010> <0012> "
      "<0061> endbfrange endcmap CMapName currentdict /CMap defineresource pop end end";
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type0 /BaseFont /T /Encoding /Identity-H /DescendantFonts [6 0 R] "
                  "/ToUnicode 7 0 R >>",
                  "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /T >>", StreamObject("", toUnicode)}),
            -1);
  EXPECT_EQ(Unicode(std::string("\x00\x01\x00\x02\x00\x11", 6)), (std::vector<uint32_t>{'H', 'f', 'i', 'b'}));
  // Identity codes of an unknown collection and no ToUnicode: no map.
  ASSERT_EQ(Make({"<< /Type /Font /Subtype /Type0 /BaseFont /T /Encoding /Identity-H /DescendantFonts [6 0 R] >>",
                  "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /T /CIDSystemInfo << /Registry (Adobe) "
                  "/Ordering (Identity) /Supplement 0 >> >>"}),
            -1);
  EXPECT_EQ(Unicode(std::string("\x00\x01", 2)), std::vector<uint32_t>{0x7FFFFFFF});
  // Identity codes of Japan1: the CIDs themselves (CID 34 is "A").
  ASSERT_EQ(Make(Type0("/Identity-H", "")), -1);
  EXPECT_EQ(Unicode(std::string("\x00\x22", 2)), std::vector<uint32_t>{'A'});
}

}  // namespace
}  // namespace vn::test
