// Pages made only of fills, strokes, clips and forms, in several colour
// spaces, and of shadings and patterns, drawn by folio render and by mutool draw: their 4 x 4-block
// averages agree to at least 30 dB PSNR at 72 and 150 dpi. (DeviceN is
// left out: Debian's mutool, built without colour management, converts it
// unlike poppler and folio; painting_test.cpp checks it exactly.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <fstream>
#include <string>
#include <vector>

#include "cli/folio_runner.h"
#include "cli/images.h"
#include "support/corpus.h"
#include "support/mesh_data.h"
#include "support/pdf_builder.h"

namespace folio::test {
namespace {

struct VectorPage {
  const char* name;
  std::string content;
  std::string resources;
  std::vector<std::string> objects;  // objects 5, 6, ...
};

std::string Stream(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string Circle(double cx, double cy, double r) {
  const double k = 0.5523 * r;
  char text[512];
  std::snprintf(text, sizeof text,
                "%g %g m %g %g %g %g %g %g c %g %g %g %g %g %g c %g %g %g %g %g %g c %g %g %g %g %g %g c h ", cx + r,
                cy, cx + r, cy + k, cx + k, cy + r, cx, cy + r, cx - k, cy + r, cx - r, cy + k, cx - r, cy, cx - r,
                cy - k, cx - k, cy - r, cx, cy - r, cx + k, cy - r, cx + r, cy - k, cx + r, cy);
  return text;
}

// Mesh shading data: 8-bit flags, 16-bit coordinates over [low, high]
// (the decode range), 8-bit components, so that no element ends inside a
// byte.
struct MeshWriter {
  vn::test::MeshData data;
  double low = 0, high = 200;
  void Point(double x, double y) { data.Sample(x, low, high, 16).Sample(y, low, high, 16); }
  void Rgb(int r, int g, int b) { data.Put(r, 8).Put(g, 8).Put(b, 8); }
  void Vertex(int flag, double x, double y, int r, int g, int b) {
    data.Put(flag, 8);
    Point(x, y);
    Rgb(r, g, b);
  }
  // Points k = first .. count - 1 of a patch in stream order, p[i][j] at point(i, j).
  template <class F>
  void PatchPoints(int first, int count, F point) {
    for (int k = first; k < count; ++k) {
      const auto [x, y] = point(vn::test::kPatchPointOrder[k][0], vn::test::kPatchPointOrder[k][1]);
      Point(x, y);
    }
  }
};

void AddMeshPages(std::vector<VectorPage>& pages, const std::string& rainbow) {
  const std::string rgbMesh = "/ColorSpace /DeviceRGB /BitsPerCoordinate 16 /BitsPerComponent 8 ";
  const std::string decode = "/Decode [0 200 0 200 0 1 0 1 0 1] ";
  MeshWriter free;
  free.Vertex(0, 20, 20, 230, 30, 30);
  free.Vertex(0, 120, 30, 30, 200, 40);
  free.Vertex(0, 40, 110, 20, 40, 220);
  free.Vertex(1, 150, 130, 240, 220, 20);  // on edge (b, c)
  free.Vertex(2, 180, 40, 200, 30, 200);   // on edge (a, c) of the last
  free.Vertex(1, 90, 190, 20, 200, 200);
  free.Vertex(0, 10, 190, 0, 0, 0);  // a triangle of its own over the others
  free.Vertex(0, 60, 150, 255, 255, 255);
  free.Vertex(0, 30, 140, 255, 128, 0);
  pages.push_back({"free-form triangle mesh", "/M sh", "/Shading << /M 5 0 R >>",
                   {Stream("/ShadingType 4 /BitsPerFlag 8 " + rgbMesh + decode, free.data.Bytes())}});

  MeshWriter lattice;
  for (int row = 0; row < 4; ++row) {
    for (int i = 0; i < 5; ++i) {
      lattice.Point(15 + 42 * i + (row % 2) * 8, 15 + 55 * row + 12 * ((i % 2) - 0.5));
      lattice.data.Put(std::min(255, (i * 50 + row * 40)), 8);
    }
  }
  pages.push_back({"lattice mesh with a function", "/M sh", "/Shading << /M 5 0 R >>",
                   {Stream("/ShadingType 5 /VerticesPerRow 5 /ColorSpace /DeviceRGB /BitsPerCoordinate 16 "
                           "/BitsPerComponent 8 /Decode [0 200 0 200 0 1] " + rainbow,
                           lattice.data.Bytes())}});

  // Two Coons patches with curved sides, the second on the first's right
  // edge (flag 2), and a third of its own.
  MeshWriter coons;
  coons.data.Put(0, 8);
  coons.PatchPoints(0, 12, [](int i, int j) {
    const double bendX = (i == 0 && (j == 1 || j == 2)) ? -15 : 0, bendY = (j == 3 && (i == 1 || i == 2)) ? 15 : 0;
    return std::pair{20 + 80.0 * i / 3 + bendX, 20 + 140.0 * j / 3 + bendY};
  });
  coons.Rgb(230, 30, 30), coons.Rgb(30, 200, 40), coons.Rgb(20, 40, 220), coons.Rgb(240, 220, 20);
  coons.data.Put(2, 8);
  coons.PatchPoints(4, 12, [](int i, int j) {
    const double bendY = (j == 3 && (i == 1 || i == 2)) ? -12 : 0;
    return std::pair{100 + 80.0 * i / 3, 160 - 140.0 * j / 3 + bendY};
  });
  coons.Rgb(200, 30, 200), coons.Rgb(20, 200, 200);
  coons.data.Put(0, 8);
  coons.PatchPoints(0, 12, [](int i, int j) {
    const double bend = (i == 1 || i == 2) && (j == 0 || j == 3) ? 10 : 0;
    return std::pair{60 + 90.0 * i / 3, 170 + 25.0 * j / 3 + bend};
  });
  coons.Rgb(255, 255, 255), coons.Rgb(0, 0, 0), coons.Rgb(255, 128, 0), coons.Rgb(0, 128, 255);
  pages.push_back({"Coons patch mesh", "/M sh", "/Shading << /M 5 0 R >>",
                   {Stream("/ShadingType 6 /BitsPerFlag 8 " + rgbMesh + decode, coons.data.Bytes())}});

  // One tensor-product patch over the whole page (mutool places mesh edges
  // half a pixel from where fills put them: keep them off the page) whose
  // inner points pull the colours aside: drawn as a Coons patch, it would
  // differ from mutool's drawing by 24 dB.
  MeshWriter tensor;
  tensor.low = -20, tensor.high = 220;
  tensor.data.Put(0, 8);
  tensor.PatchPoints(0, 16, [](int i, int j) {
    const bool inner = (i == 1 || i == 2) && (j == 1 || j == 2);
    return std::pair{-10 + 220.0 * i / 3 + (inner ? 70 : 0), -10 + 220.0 * j / 3 + (inner ? 60 : 0)};
  });
  tensor.Rgb(230, 30, 30), tensor.Rgb(30, 200, 40), tensor.Rgb(20, 40, 220), tensor.Rgb(240, 220, 20);
  pages.push_back({"tensor patch mesh", "/M sh", "/Shading << /M 5 0 R >>",
                   {Stream("/ShadingType 7 /BitsPerFlag 8 " + rgbMesh + "/Decode [-20 220 -20 220 0 1 0 1 0 1]",
                           tensor.data.Bytes())}});
}

std::vector<VectorPage> Pages() {
  std::vector<VectorPage> pages;
  pages.push_back({"fills",
                   "0.8 0.1 0.1 rg 20 20 m 180 40 l 60 180 l h f "
                   "0.1 0.3 0.9 rg 100 150 m 170 20 l 20 100 l 180 100 l 30 20 l h f* "
                   "0 0.6 0.2 rg " + Circle(150, 150, 35) + "f 0.2 g " + Circle(50, 60, 20) + Circle(50, 60, 10) + "f* "
                   "0.5 0.2 0.7 rg 10.3 185.6 120.4 0.7 re f 10 190 0.3 8 re f",
                   "", {}});
  pages.push_back({"strokes",
                   "0 0 0.8 RG 0 w 10 10 m 190 30 l S 0.5 w 10 20 m 190 40 l S 1 w 10 30 m 190 50 l S "
                   "1 0 0 RG 12 w 0 j 0 J 20 80 m 60 140 l 100 80 l S 1 j 1 J 110 80 m 150 140 l 190 80 l S "
                   "0 0.5 0 RG 2 j 2 J 20 160 m 60 190 l 100 160 l S 3 M 0 j 110 160 m 150 190 l 190 165 l S "
                   "0.3 g 0 G 3 w [9 3 2 3] 4 d 20 60 m 70 30 130 90 180 60 c S "
                   "[] 0 d 0.4 0.4 0 RG 6 w 1 J [0 10] 0 d 30 110 m 170 110 l S",
                   "", {}});
  pages.push_back({"clips",
                   "q " + Circle(100, 100, 70) + "W n 0.9 0.5 0.1 rg 0 0 200 200 re f "
                   "q 60 60 80 80 re 80 80 40 40 re W* n 0.1 0.2 0.8 rg 0 0 200 200 re f Q "
                   "0 0.6 0 rg 0 90 200 20 re f Q "
                   "q 10.5 10.5 40.25 30.75 re W n 0.5 g 0 0 100 100 re f Q "
                   "q 150 0 50 50 re W n 160 10 m 200 60 l 140 60 l h W n 1 0 0 rg 0 0 200 200 re f Q",
                   "", {}});
  pages.push_back({"forms",
                   "q 1 0 0 1 20 20 cm /Fm Do Q q 0.5 0.3 -0.3 0.5 120 60 cm /Fm Do Q "
                   "q 0.7 0 0 0.7 110 120 cm /Outer Do Q",
                   "/XObject << /Fm 5 0 R /Outer 6 0 R >>",
                   {Stream("/Type /XObject /Subtype /Form /BBox [0 0 60 60]",
                           "0.2 0.5 0.8 rg -20 -20 100 100 re f 1 1 1 RG 4 w 5 5 m 55 55 l S"),
                    Stream("/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Matrix [1 0 0 1 5 5] "
                           "/Resources << /XObject << /In 5 0 R >> >>",
                           "0.9 0.9 0.2 rg 0 0 100 100 re f q 0.5 0 0 0.5 25 25 cm /In Do Q")}});
  pages.push_back({"colours",
                   "0.25 g 10 150 40 40 re f 0.1 0.7 0.3 rg 60 150 40 40 re f "
                   "/Idx cs 2 sc 110 150 40 40 re f /Sep cs 0.6 sc 160 150 30 40 re f "
                   "0.9 0.9 0.2 rg 10 90 40 40 re f /Half gs 0 0 1 rg 30 100 60 40 re f "
                   "/Alt cs 0.5 0.25 0.75 sc 110 90 40 40 re f",
                   "/ColorSpace << /Idx [/Indexed /DeviceRGB 2 <FF0000 00FF00 8040C0>] "
                   "/Sep [/Separation /Spot /DeviceRGB << /FunctionType 2 /Domain [0 1] /C0 [1 1 1] /C1 [0.8 0.2 0] "
                   "/N 1 >>] "
                   "/Alt [/ICCBased 5 0 R] >> /ExtGState << /Half << /ca 0.5 /CA 0.5 >> >>",
                   {Stream("/N 3 /Alternate /DeviceRGB", "not a profile")}});
  // Shadings of each type drawn, and patterns.
  const std::string rainbow =
      "/Function << /FunctionType 3 /Domain [0 1] /Bounds [0.4] /Encode [0 1 0 1] /Functions ["
      "<< /FunctionType 2 /Domain [0 1] /C0 [0.9 0.1 0.1] /C1 [0.1 0.8 0.2] /N 1 >> "
      "<< /FunctionType 2 /Domain [0 1] /C0 [0.1 0.8 0.2] /C1 [0.1 0.2 0.9] /N 2 >>] >>";
  pages.push_back({"axial shadings",
                   "q 10 10 180 80 re W n /Ax sh Q q 1 0 0 1 0 100 cm 10 10 180 80 re W n /Diag sh Q",
                   "/Shading << /Ax << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [30 0 170 0] "
                   "/Extend [true true] " + rainbow + " >> /Diag << /ShadingType 2 /ColorSpace /DeviceRGB "
                   "/Coords [20 10 160 80] /Extend [false true] " + rainbow + " >> >>",
                   {}});
  pages.push_back({"radial shadings",
                   "q 0 0 100 100 re W n /Cone sh Q q 100 0 100 100 re W n /Inside sh Q "
                   "q 0 100 100 100 re W n /Touch sh Q q 100 100 100 100 re W n /Pipe sh Q",
                   "/Shading << /Cone << /ShadingType 3 /ColorSpace /DeviceRGB /Coords [30 30 5 70 60 30] " +
                       rainbow + " >> /Inside << /ShadingType 3 /ColorSpace /DeviceRGB "
                       "/Coords [140 45 5 150 50 45] /Extend [true true] " + rainbow + " >> "
                       "/Touch << /ShadingType 3 /ColorSpace /DeviceRGB /Coords [40 150 10 50 150 20] "
                       "/Extend [true false] " + rainbow + " >> /Pipe << /ShadingType 3 /ColorSpace /DeviceGray "
                       "/Coords [120 130 15 170 170 15] /Extend [true false] /Function << /FunctionType 2 "
                       "/Domain [0 1] /C0 [0] /C1 [1] /N 1 >> >> >>",
                   {}});
  pages.push_back({"function shading and shading patterns",
                   "q 0 0 100 100 re W n /Fn sh Q /Pattern cs /P scn 110 10 80 80 re f "
                   "/Pattern CS /P SCN 8 w 20 150 m 100 190 l 180 130 l S",
                   "/Shading << /Fn << /ShadingType 1 /ColorSpace /DeviceRGB /Domain [0 1 0 1] "
                   "/Matrix [80 0 0 80 10 10] /Function 5 0 R >> >> /Pattern << /P << /PatternType 2 "
                   "/Matrix [1 0 0 1 10 0] /Shading << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [100 0 190 0] "
                   "/Background [0.9 0.9 0.5] " + rainbow + " >> >> >>",
                   {Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", "{ 2 copy mul 3 1 roll }")}});
  pages.push_back({"tiling patterns",
                   "/Pattern cs /Coloured scn 10 10 85 180 re f /Grey cs 0.2 0.5 0.8 /Uncoloured scn "
                   "105 10 85 85 re f /Coloured scn 2 0 0 2 0 0 cm 55 55 40 40 re f",
                   "/ColorSpace << /Grey [/Pattern /DeviceRGB] >> /Pattern << /Coloured 5 0 R /Uncoloured 6 0 R >>",
                   {Stream("/PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 12 12] /XStep 12 /YStep 12 "
                           "/Matrix [1 0 0 1 0 8] /Resources << >>",
                           "0.9 0.2 0.1 rg 0 0 6 6 re f 0.1 0.3 0.8 rg 6 6 6 6 re f"),
                    Stream("/PatternType 1 /PaintType 2 /TilingType 2 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                           "/Matrix [1.2 0 0 1.2 0 8] /Resources << >>",
                           "0 0 m 10 5 l 0 10 l h f")}});
  AddMeshPages(pages, rainbow);
  return pages;
}

std::string WritePdf(const std::string& dir, const VectorPage& page) {
  vn::test::PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources << " + page.resources +
                 " >> /Contents 4 0 R >>");
  pdf.Add(4, Stream("", page.content));
  int number = 5;
  for (const std::string& object : page.objects) pdf.Add(number++, object);
  const std::string path = dir + "/" + page.name + ".pdf";
  std::ofstream(path, std::ios::binary) << pdf.Finish(pdf.Trailer());
  return path;
}

TEST(FolioRenderFidelity, VectorPagesAgreeWithMutool) {
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool absent";
  const std::string dir = vn::test::ScratchPath("fidelity");
  std::system(("mkdir -p '" + dir + "'").c_str());
  for (const VectorPage& page : Pages()) {
    const std::string pdf = WritePdf(dir, page);
    for (const char* dpi : {"72", "150"}) {
      Outcome ours = Execute(Folio() + " render -r " + dpi + " -o '" + dir + "/f.ppm' '" + pdf + "'");
      ASSERT_EQ(ours.status, 0) << page.name << ": " << ours.out;
      EXPECT_EQ(ours.out.find("not drawn"), std::string::npos) << page.name << ": " << ours.out;
      ASSERT_EQ(Execute("mutool draw -q -r " + std::string(dpi) + " -o '" + dir + "/m.ppm' '" + pdf + "' 2>/dev/null")
                    .status,
                0);
      const double psnr = BlockPsnr(ReadPnm(dir + "/f.ppm"), ReadPnm(dir + "/m.ppm"));
      EXPECT_GE(psnr, 30.0) << page.name << " at " << dpi << " dpi";
      std::printf("%s at %s dpi: %.1f dB\n", page.name, dpi, psnr);
    }
  }
}

// The corpus pages (of the first three of each file) whose content is only
// fills, strokes, clips and forms: folio render names no text, image or
// shading on them. Left out: pdfjs__smask_alpha_bc.pdf page 1, whose look
// comes from soft masks, which are not applied yet (folio says so).
TEST(FolioRenderFidelity, VectorCorpusPagesAgreeWithMutool) {
  if (std::system("command -v mutool >/dev/null 2>&1") != 0) GTEST_SKIP() << "mutool absent";
  const std::string corpus = vn::test::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus absent";
  const std::pair<const char*, int> pages[] = {
      {"deb__tl-games__CaJ-PokeRv2-10C.pdf", 1},
      {"deb__tl-games__mahjong-3s.pdf", 1},
      {"deb__tl-games__wargame.mountains.pdf", 1},
      {"deb__tl-pictures__example-graphic.pdf", 1},
      {"pdf20ex__PDF_2.0_UTF-8_string_and_annotation.pdf", 1},
      {"qpdf__fax-decode-parms.pdf", 2},
      {"qpdf__manual-appearances.pdf", 1},
      {"qpdf__manual-appearances.pdf", 2},
      {"qpdf__manual-appearances.pdf", 3},
      {"verapdf__PDF_A-1a_6.8_Logical_structure_6.8.3_Artifacts_6.8.3.4_Structure_types_veraPDF_test_suite_6_"
       "d9269201.pdf",
       1},
      {"verapdf__PDF_A-2b_6.4_Interactive_forms_6.4.1_General_veraPDF_test_suite_6-4-1-t01-fail-b.pdf", 1},
      {"verapdf__PDF_A-4_6.2_Graphics_6.2.4_Colour_spaces_6.2.4.3_Uncalibrated_-Device_colour_spaces_veraPDF_"
       "589c06cf.pdf",
       1},
      {"verapdf__PDF_A-4_6.2_Graphics_6.2.5_Extended_graphics_state_veraPDF_test_suite_6-2-5-t05-fail-a.pdf", 1},
      {"verapdf__PDF_A-4_6.6_Action_6.6.3_Trigger_events_veraPDF_test_suite_6-6-3-t01-pass-d.pdf", 1},
  };
  const std::string dir = vn::test::ScratchPath("fidelity");
  std::system(("mkdir -p '" + dir + "'").c_str());
  for (const auto& [file, page] : pages) {
    const std::string pdf = corpus + "/" + file, number = std::to_string(page);
    Outcome ours = Execute(Folio() + " render -o '" + dir + "/f.ppm' '" + pdf + "' " + number);
    ASSERT_EQ(ours.status, 0) << file << ": " << ours.out;
    ASSERT_EQ(Execute("mutool draw -q -o '" + dir + "/m.ppm' '" + pdf + "' " + number + " 2>/dev/null").status, 0);
    const double psnr = BlockPsnr(ReadPnm(dir + "/f.ppm"), ReadPnm(dir + "/m.ppm"));
    EXPECT_GE(psnr, 30.0) << file << " page " << page;
    std::printf("%s page %d: %.1f dB\n", file, page, psnr);
  }
}

}  // namespace
}  // namespace folio::test
