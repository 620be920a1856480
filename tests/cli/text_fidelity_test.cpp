// Text pages with embedded fonts (URW Type 1, DejaVu TrueType, a Type 3
// font; composite fonts written horizontally and vertically) drawn by folio
// render and by mutool draw: their 4 x 4-block averages agree to at least
// 30 dB PSNR at 72 and 150 dpi.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/folio_runner.h"
#include "cli/images.h"
#include "support/pdf_builder.h"
#include "support/shell.h"

namespace folio::test {
namespace {

std::string Stream(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A simple font of `subtype` embedded under `fileKey`, as objects `first`
// (font), first + 1 (descriptor), first + 2 (program).
std::vector<std::string> EmbeddedFont(const std::string& subtype, const std::string& name, const std::string& fileKey,
                                      const std::string& program, int first, const std::string& encoding) {
  const std::string lengths = fileKey == "FontFile2" ? "/Length1 " + std::to_string(program.size()) : "";
  return {"<< /Type /Font /Subtype /" + subtype + " /BaseFont /" + name + " /FontDescriptor " +
              std::to_string(first + 1) + " 0 R" + encoding + " >>",
          "<< /Type /FontDescriptor /FontName /" + name + " /Flags 32 /FontBBox [-200 -300 1200 1000] " +
              "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 /" + fileKey + " " +
              std::to_string(first + 2) + " 0 R >>",
          Stream(lengths, program)};
}

// Renders `pdf` with folio and mutool at 72 and 150 dpi: the pages agree to
// 30 dB at least, and folio drew every font.
void ExpectAgreesWithMutool(const std::string& pdf, const std::string& name) {
  const std::string dir = vn::test::ScratchPath(name);
  std::system(("mkdir -p '" + dir + "'").c_str());
  const std::string path = dir + "/text.pdf";
  std::ofstream(path, std::ios::binary) << pdf;
  for (const char* dpi : {"72", "150"}) {
    Outcome ours = Execute(Folio() + " render -r " + dpi + " -o '" + dir + "/f.ppm' '" + path + "'");
    ASSERT_EQ(ours.status, 0) << ours.out;
    EXPECT_EQ(ours.out.find("not drawn"), std::string::npos) << ours.out;
    ASSERT_EQ(Execute("mutool draw -q -r " + std::string(dpi) + " -o '" + dir + "/m.ppm' '" + path + "' 2>/dev/null")
                  .status,
              0);
    const double psnr = BlockPsnr(ReadPnm(dir + "/f.ppm"), ReadPnm(dir + "/m.ppm"));
    EXPECT_GE(psnr, 30.0) << name << " at " << dpi << " dpi";
    std::printf("%s at %s dpi: %.1f dB\n", name.c_str(), dpi, psnr);
  }
}

const char kText[] =
    "BT /F1 14 Tf 16 TL 10 180 Td (Glyphs are placed by their widths: AVATAR Wolf fi.) Tj "
    "T* 1 Tc (Character spacing) Tj 0 Tc 4 Tw T* (and word spacing apply here.) Tj 0 Tw "
    "/F2 12 Tf T* [(Kerning) -250 (with) 120 (TJ offsets,) -1000 (gaps.)] TJ 80 Tz T* (Condensed text at 80%) Tj "
    "100 Tz 0.7 0.1 0.1 rg /F3 16 Tf T* (Serif, red: quick brown fox) Tj ET "
    "BT 0 0 0.6 rg /F2 11 Tf 0.966 0.259 -0.259 0.966 30 20 Tm (Rotated by fifteen degrees) Tj ET "
    "BT /F1 24 Tf 1 Tr 0.8 w 0 0.5 0 RG 120 40 Td (Outline) Tj ET "
    "BT /F4 10 Tf 0.2 0.2 0.8 rg 10 80 Td (abab ba) Tj ET";

TEST(FolioTextFidelity, EmbeddedFontsAgreeWithMutool) {
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool absent";
  const std::string sans = ReadFile("/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1");
  const std::string roman = ReadFile("/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1");
  const std::string dejavu = ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  if (sans.empty() || roman.empty() || dejavu.empty()) GTEST_SKIP() << "fonts-urw-base35 or fonts-dejavu-core absent";

  vn::test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 5 0 R /F2 8 0 R "
             "/F3 11 0 R /F4 14 0 R >> >> /Contents 4 0 R >>");
  pdf.Add(4, Stream("", kText));
  std::vector<std::string> objects = EmbeddedFont("Type1", "NimbusSans-Regular", "FontFile", sans, 5,
                                                  " /Encoding /WinAnsiEncoding");
  for (auto& o : EmbeddedFont("TrueType", "DejaVuSans", "FontFile2", dejavu, 8, " /Encoding /WinAnsiEncoding")) {
    objects.push_back(o);
  }
  for (auto& o : EmbeddedFont("Type1", "NimbusRoman-Regular", "FontFile", roman, 11, "")) objects.push_back(o);
  // A Type 3 font: "a" a filled triangle (d1), "b" a square outline (d0).
  objects.push_back(
      "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /FontBBox [0 0 800 800] "
      "/CharProcs << /a 15 0 R /b 16 0 R >> /Encoding << /Differences [97 /a /b] >> /FirstChar 97 /LastChar 98 "
      "/Widths [900 1000] >>");
  objects.push_back(Stream("", "900 0 0 0 800 800 d1 0 0 m 800 0 l 400 800 l f"));
  objects.push_back(Stream("", "1000 0 d0 0.9 0.5 0 RG 80 w 40 40 720 720 re S"));
  int number = 5;
  for (const std::string& object : objects) pdf.Add(number++, object);

  ExpectAgreesWithMutool(pdf.Finish(pdf.Trailer()), "text-fidelity");
}

TEST(FolioTextFidelity, CompositeFontsWrittenBothWaysAgreeWithMutool) {
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool absent";
  const std::string dejavu = ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  if (dejavu.empty()) GTEST_SKIP() << "fonts-dejavu-core absent";
  // DejaVu Sans as a CIDFontType2 whose CIDs are its glyph ids (A is 36).
  // F1 Identity-V, with W2 moving CID 37's vertical origin and advance;
  // F2 UniJIS-UCS2-V, a built-in vertical CMap (U+0041 is CID 34); F3
  // Identity-H with widths from W.
  const char kContent[] =
      "BT /F1 24 Tf 40 270 Td <00240025002600270028> Tj ET "
      "BT /F2 20 Tf 90 270 Td <00410042004300440045> Tj 0.8 0 0 rg [<0046> 400 <0047>] TJ 0 g ET "
      "BT /F1 16 Tf 0 1 -1 0 190 150 Tm <0024002500260027> Tj ET "
      "BT /F3 18 Tf 120 60 Td 2 Tc <00240025002600270028> Tj ET";
  vn::test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Resources << /Font << /F1 5 0 R /F2 6 0 R "
             "/F3 7 0 R >> >> /Contents 4 0 R >>");
  pdf.Add(4, Stream("", kContent));
  pdf.Add(5, "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /Identity-V /DescendantFonts [8 0 R] >>");
  pdf.Add(6, "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /UniJIS-UCS2-V /DescendantFonts [8 0 R] >>");
  pdf.Add(7, "<< /Type /Font /Subtype /Type0 /BaseFont /DejaVuSans /Encoding /Identity-H /DescendantFonts [9 0 R] >>");
  const std::string system = " /CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 6 >> ";
  pdf.Add(8, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans" + system +
                 "/FontDescriptor 10 0 R /CIDToGIDMap /Identity /DW 700 /W2 [37 [-1300 200 700]] >>");
  pdf.Add(9, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /DejaVuSans" + system +
                 "/FontDescriptor 10 0 R /DW 1000 /W [36 [684 686 698] 39 40 770] >>");
  pdf.Add(10, "<< /Type /FontDescriptor /FontName /DejaVuSans /Flags 4 /FontBBox [-1021 -463 1793 1232] "
              "/ItalicAngle 0 /Ascent 928 /Descent -236 /CapHeight 700 /StemV 80 /FontFile2 11 0 R >>");
  pdf.Add(11, Stream("/Length1 " + std::to_string(dejavu.size()), dejavu));
  ExpectAgreesWithMutool(pdf.Finish(pdf.Trailer()), "composite-fidelity");
}

}  // namespace
}  // namespace folio::test
