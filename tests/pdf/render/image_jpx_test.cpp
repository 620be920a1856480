// JPEG 2000 images through the drawing code, encoded with OpenJPEG's own
// tools (opj_compress from a TGA written here) and checked against what
// opj_decompress makes of the same file: dictionaries without ColorSpace
// and BitsPerComponent, images drawn small (the decoder reduces, then the
// thumbnails), the data's own alpha ("SMaskInData"), and cut data.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/render_pages.h"
#include "support/shell.h"

namespace vn::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Picture {
  int width = 0, height = 0, channels = 3;
  std::vector<uint8_t> samples;  // R, G, B (, A)
};

// A JP2 file of `picture`, with `resolutions` resolution levels; empty when
// OpenJPEG's tools are missing.
std::string EncodeJp2(const Picture& picture, int resolutions) {
  const std::string tga = ScratchPath("jpx_in.tga"), jp2 = ScratchPath("jpx_out.jp2");
  std::string header(18, '\0');
  header[2] = 2;  // uncompressed true colour
  header[12] = static_cast<char>(picture.width & 255);
  header[13] = static_cast<char>(picture.width >> 8);
  header[14] = static_cast<char>(picture.height & 255);
  header[15] = static_cast<char>(picture.height >> 8);
  header[16] = static_cast<char>(picture.channels * 8);
  header[17] = static_cast<char>(0x20 | (picture.channels == 4 ? 8 : 0));  // rows from the top
  std::string body;
  for (size_t i = 0; i < picture.samples.size(); i += picture.channels) {
    body.push_back(static_cast<char>(picture.samples[i + 2]));
    body.push_back(static_cast<char>(picture.samples[i + 1]));
    body.push_back(static_cast<char>(picture.samples[i]));
    if (picture.channels == 4) body.push_back(static_cast<char>(picture.samples[i + 3]));
  }
  std::ofstream(tga, std::ios::binary) << header << body;
  std::string out;
  if (!RunTool("opj_compress -i " + tga + " -o " + jp2 + " -n " + std::to_string(resolutions), out)) return "";
  std::string data = ReadFile(jp2);
  std::remove(tga.c_str());
  std::remove(jp2.c_str());
  return data;
}

// opj_decompress's RGB samples of `jp2` (rows from the top).
Picture Reference(const std::string& jp2) {
  const std::string in = ScratchPath("jpx_ref.jp2"), ppm = ScratchPath("jpx_ref.ppm");
  std::ofstream(in, std::ios::binary) << jp2;
  std::string out;
  Picture p;
  if (RunTool("opj_decompress -i " + in + " -o " + ppm, out)) {
    // "P6", width, height, maximum, each after white space or a comment.
    const std::string data = ReadFile(ppm);
    size_t at = 2;
    int fields[3] = {};
    for (int& field : fields) {
      while (at < data.size() && (std::isspace(static_cast<unsigned char>(data[at])) || data[at] == '#')) {
        if (data[at] == '#') at = data.find('\n', at);
        ++at;
      }
      while (at < data.size() && std::isdigit(static_cast<unsigned char>(data[at]))) field = field * 10 + data[at++] - '0';
    }
    p.width = fields[0];
    p.height = fields[1];
    if (data.compare(0, 2, "P6") == 0 && at < data.size()) p.samples.assign(data.begin() + at + 1, data.end());
  }
  std::remove(in.c_str());
  std::remove(ppm.c_str());
  return p;
}

Picture Gradient(int width, int height, int channels) {
  Picture p{width, height, channels, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.samples.push_back(static_cast<uint8_t>(x * 255 / (width - 1)));
      p.samples.push_back(static_cast<uint8_t>(y * 255 / (height - 1)));
      p.samples.push_back(static_cast<uint8_t>((x * 7 + y * 3) % 256));
      if (channels == 4) p.samples.push_back(x < width / 2 ? 0 : 255);
    }
  }
  return p;
}

Rendered Draw(AppContext& context, const std::string& entries, const std::string& data,
              const std::string& placement) {
  return RenderPdf(context, OnePagePdf("q " + placement + " cm /Im Do Q", "/XObject << /Im 5 0 R >>",
                                       {StreamObject("/Type /XObject /Subtype /Image /Filter /JPXDecode " + entries,
                                                     data)}));
}

class JpxImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string out;
    if (!RunTool("command -v opj_compress && command -v opj_decompress", out)) GTEST_SKIP() << "no OpenJPEG tools";
  }
  AppContext context;
};

TEST_F(JpxImageTest, TheDataGivesDepthAndColoursWhenTheDictionaryDoesNot) {
  const std::string jp2 = EncodeJp2(Gradient(60, 40, 3), 3);
  ASSERT_FALSE(jp2.empty());
  const Picture reference = Reference(jp2);
  ASSERT_EQ(reference.width, 60);
  ASSERT_EQ(reference.samples.size(), 60u * 40 * 3);
  const char* dictionaries[] = {"/Width 60 /Height 40",
                                "/Width 60 /Height 40 /ColorSpace /DeviceRGB /BitsPerComponent 8"};
  for (const char* entries : dictionaries) {
    // One sample per device pixel: device (10 + x, 50 + y) is sample (x, y).
    Rendered r = Draw(context, entries, jp2, "60 0 0 40 10 10");
    ASSERT_EQ(r.error, -1);
    EXPECT_TRUE(r.events.empty()) << entries;
    int wrong = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 60; ++x) {
        const uint8_t* s = &reference.samples[(y * 60 + x) * 3];
        if (r.Red(10 + x, 50 + y) != s[0] || r.Green(10 + x, 50 + y) != s[1] || r.Blue(10 + x, 50 + y) != s[2]) {
          ++wrong;
        }
      }
    }
    EXPECT_EQ(wrong, 0) << entries;
  }
}

TEST_F(JpxImageTest, ImagesDrawnSmallAreReducedByTheDecoderThenAveraged) {
  // 256 x 256 drawn at 32 x 32: three levels of reduction, of which the
  // data (three resolutions) can give two; the last is a thumbnail.
  const std::string jp2 = EncodeJp2(Gradient(256, 256, 3), 3);
  ASSERT_FALSE(jp2.empty());
  const Picture reference = Reference(jp2);
  ASSERT_EQ(reference.samples.size(), 256u * 256 * 3);
  context.Budget().ResetPeak();
  Rendered r = Draw(context, "/Width 256 /Height 256", jp2, "32 0 0 32 10 10");
  ASSERT_EQ(r.error, -1);
  EXPECT_TRUE(r.events.empty());
  // Each device pixel against the mean of the 8 x 8 samples it covers (the
  // smooth channels only: the wavelet's low band of a gradient is its mean).
  int worst = 0;
  for (int y = 1; y < 31; ++y) {
    for (int x = 1; x < 31; ++x) {
      for (int c = 0; c < 2; ++c) {
        int sum = 0;
        for (int j = 0; j < 8; ++j)
          for (int i = 0; i < 8; ++i) sum += reference.samples[((y * 8 + j) * 256 + x * 8 + i) * 3 + c];
        const int got = c == 0 ? r.Red(10 + x, 58 + y) : r.Green(10 + x, 58 + y);
        worst = std::max(worst, std::abs(got - (sum + 32) / 64));
      }
    }
  }
  EXPECT_LE(worst, 6);
}

TEST_F(JpxImageTest, SMaskInDataTakesTheDataAlpha) {
  // Red and green channels over an alpha that is 0 on the left half.
  const std::string jp2 = EncodeJp2(Gradient(40, 20, 4), 2);
  ASSERT_FALSE(jp2.empty());
  Rendered masked = Draw(context, "/Width 40 /Height 20 /SMaskInData 1", jp2, "40 0 0 20 10 10");
  ASSERT_EQ(masked.error, -1);
  EXPECT_TRUE(masked.events.empty());
  EXPECT_EQ(masked.At(15, 80), "255,255,255");  // transparent: the white page
  EXPECT_NE(masked.At(45, 80), "255,255,255");
  Rendered plain = Draw(context, "/Width 40 /Height 20", jp2, "40 0 0 20 10 10");
  ASSERT_EQ(plain.error, -1);
  EXPECT_NE(plain.At(15, 85), "255,255,255");  // alpha left out without the key
  EXPECT_EQ(plain.At(45, 80), masked.At(45, 80));
}

TEST_F(JpxImageTest, CutOrLyingDataIsSkippedWithAnEvent) {
  const std::string jp2 = EncodeJp2(Gradient(60, 40, 3), 3);
  ASSERT_FALSE(jp2.empty());
  for (size_t cut : {size_t{20}, jp2.size() / 3}) {
    Rendered r = Draw(context, "/Width 60 /Height 40", jp2.substr(0, cut), "60 0 0 40 10 10");
    EXPECT_EQ(r.error, -1);
    EXPECT_FALSE(r.events.empty()) << cut;
  }
  // A dictionary size that the data does not have.
  Rendered r = Draw(context, "/Width 61 /Height 40", jp2, "60 0 0 40 10 10");
  EXPECT_EQ(r.error, -1);
  EXPECT_FALSE(r.events.empty());
}

}  // namespace
}  // namespace vn::test
