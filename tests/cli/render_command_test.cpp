// folio render as a user runs it: output names and formats, sizes as mutool
// draw -r gives them, the stderr summary, --json and the exit statuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "cli/folio_runner.h"
#include "cli/images.h"
#include "support/pdf_builder.h"

namespace folio::test {
namespace {

bool HaveMutool() { return std::system("command -v mutool >/dev/null 2>&1") == 0; }

std::string Dir(const std::string& name) {
  const std::string dir = vn::test::ScratchPath("render-" + name);
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  return dir;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(FolioRender, WritesEveryPageAsPngBesideTheCurrentFolderAndSaysWhere) {
  const std::string dir = Dir("default");
  Outcome r = Execute("cd '" + dir + "' && " + Folio() + " render " + kSample);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("page 1: hello-1.png (612 x 792)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("page 2: hello-2.png (792 x 612)"), std::string::npos) << r.out;
  // The sample's title (non-embedded Helvetica) draws with the built-in face.
  EXPECT_EQ(r.out.find("not drawn"), std::string::npos) << r.out;
  const Image png = ReadPng(dir + "/hello-1.png");
  ASSERT_TRUE(png.Valid());
  EXPECT_EQ(png.width, 612);
  EXPECT_EQ(png.height, 792);
  // The same pixels as the PPM writer's.
  ASSERT_EQ(Execute(Folio() + " render -o '" + dir + "/p.ppm' " + kSample + " 1").status, 0);
  const Image ppm = ReadPnm(dir + "/p.ppm");
  EXPECT_TRUE(ppm.pixels == png.pixels);
  // The blue bar at (72, 600)-(272, 650) in default user space.
  const size_t at = (static_cast<size_t>(792 - 625) * 612 + 150) * 3;
  EXPECT_EQ(ppm.pixels[at], 0);
  EXPECT_EQ(ppm.pixels[at + 2], 255);
}

TEST(FolioRender, OutputNamesAndFormats) {
  const std::string dir = Dir("names");
  Outcome several = Execute(Folio() + " render -o '" + dir + "/page%d.pgm' " + kSample + " 1-2");
  ASSERT_EQ(several.status, 0) << several.out;
  const Image gray = ReadPnm(dir + "/page2.pgm");
  EXPECT_EQ(gray.channels, 1);
  EXPECT_EQ(gray.width, 792);
  // -F wins over the extension; - is standard output.
  Outcome forced = Execute(Folio() + " render -F ppm -o '" + dir + "/x.png' " + kSample + " 2");
  ASSERT_EQ(forced.status, 0);
  EXPECT_EQ(ReadPnm(dir + "/x.png").channels, 3);
  Outcome out = Execute(Folio() + " render -F pgm -r 36 -o - " + kSample + " 1 2>/dev/null | head -c 15");
  EXPECT_EQ(out.out, "P5\n306 396\n255\n");
  // Usage errors.
  EXPECT_EQ(Execute(Folio() + " render -o '" + dir + "/one.png' " + kSample).status, 2);  // two pages, no %d
  EXPECT_EQ(Execute(Folio() + " render -o - " + kSample).status, 2);
  EXPECT_EQ(Execute(Folio() + " render -o '" + dir + "/x.jpg' " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render -r 72 -w 100 " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render --rotate 45 " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render -r 0 " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render -F gif " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render --json -o - " + kSample + " 1").status, 2);
  EXPECT_EQ(Execute(Folio() + " render " + kSample + " 0").status, 2);
}

TEST(FolioRender, SizesAndRotationsAsMutoolDraws) {
  if (!HaveMutool()) GTEST_SKIP() << "mutool absent";
  const std::string dir = Dir("sizes");
  // A page whose crop box starts off the origin, turned by 270.
  const std::string pdf = dir + "/odd.pdf";
  const std::string content = "0 0 1 rg 20 30 40 10 re f";
  vn::test::PdfBuilder builder;
  builder.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  builder.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  builder.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [-10.5 -20.25 90.8 130.9] /CropBox [0 0 90.8 70.3] "
                 "/Rotate 270 /Contents 4 0 R >>");
  builder.Add(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  Write(pdf, builder.Finish(builder.Trailer()));
  for (const std::string& file : {kSample, pdf}) {
    for (const char* dpi : {"37", "96", "150"}) {
      for (const char* page : {"1", "2"}) {
        if (file == pdf && page[0] == '2') continue;
        ASSERT_EQ(Execute(Folio() + " render -r " + dpi + " -o '" + dir + "/f.ppm' " + file + " " + page).status, 0);
        ASSERT_EQ(Execute("mutool draw -q -r " + std::string(dpi) + " -o '" + dir + "/m.ppm' " + file + " " + page +
                          " 2>/dev/null")
                      .status,
                  0);
        const Image ours = ReadPnm(dir + "/f.ppm"), theirs = ReadPnm(dir + "/m.ppm");
        EXPECT_EQ(ours.width, theirs.width) << file << " page " << page << " at " << dpi;
        EXPECT_EQ(ours.height, theirs.height) << file << " page " << page << " at " << dpi;
        if (file == pdf) {
          EXPECT_GE(BlockPsnr(ours, theirs), 30) << dpi;
        }
      }
    }
  }
  // -w and -H fix one side; --rotate turns on top of the page's own turn.
  ASSERT_EQ(Execute(Folio() + " render -w 200 -o '" + dir + "/w.ppm' " + kSample + " 2").status, 0);
  EXPECT_EQ(ReadPnm(dir + "/w.ppm").width, 200);
  ASSERT_EQ(Execute(Folio() + " render -H 100 --rotate 90 -o '" + dir + "/h.ppm' " + kSample + " 2").status, 0);
  const Image turned = ReadPnm(dir + "/h.ppm");
  EXPECT_EQ(turned.height, 100);
  EXPECT_EQ(turned.width, 78);  // 612 x 792 upright again: 100 * 612 / 792, rounded up
}

TEST(FolioRender, JsonSummaryAndFailures) {
  const std::string dir = Dir("json");
  Outcome json = vn::test::RunShell(Folio() + " render --json -o '" + dir + "/j-%d.ppm' " + kSample);
  ASSERT_EQ(json.status, 0) << json.out;
  EXPECT_EQ(json.out.rfind("[{\"page\":1,\"output\":\"" + dir + "/j-1.ppm\",\"width\":612,\"height\":792,", 0), 0u)
      << json.out;
  for (const char* member : {"\"milliseconds\":", "\"peak_memory\":", "\"painted_objects\":",
                             "\"events\":[{\"category\":4,\"detail\":0,\"count\":3}"}) {
    EXPECT_NE(json.out.find(member), std::string::npos) << member << " in " << json.out;
  }
  // A page too large to draw at this size: one line, status 1.
  Outcome large = Execute(Folio() + " render -r 9000 -o '" + dir + "/big.ppm' " + kSample + " 1");
  EXPECT_EQ(large.status, 1);
  EXPECT_NE(large.out.find("page 1: the page is too large"), std::string::npos) << large.out;
  Outcome missing = Execute(Folio() + " render /nonexistent.pdf");
  EXPECT_EQ(missing.status, 1);
  Outcome beyond = Execute(Folio() + " render -o '" + dir + "/b%d.png' " + kSample + " 2-3");
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.out.find("page 3 is out of range"), std::string::npos);
}

}  // namespace
}  // namespace folio::test
