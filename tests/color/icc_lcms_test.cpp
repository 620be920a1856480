// The ICC engine against lcms2: profiles from Debian's packages and every
// profile embedded in the shared corpus (extracted with qpdf), converted to
// sRGB over a grid of inputs with the same intent; the largest and mean
// per-channel differences in 8-bit units are reported and bounded.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "color/builtin_profiles.h"
#include "color/icc_color_space.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::color {
namespace {

struct Difference {
  int largest = 0;
  double mean = 0;
  int codeRaised = -1;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Converts a grid of inputs from `profile` to sRGB with both engines.
Difference Compare(const std::vector<uint8_t>& profile, int intent) {
  Difference result;
  AppContext context;
  Ref<ICCColorSpace> source(context);
  Ref<ICCColorSpace> display(context);
  Ref<ByteColorConverter> converter(context);
  result.codeRaised = test::RaisedCode(context, [&] {
    source.Set(MakeICCColorSpace(context, profile.data(), static_cast<uint32_t>(profile.size())));
    display.Set(MakeDisplaySpace(context, DisplayProfile::kSRGB));
    converter.Set(source->MakeByteConverter(context, *display, intent));
  });
  if (result.codeRaised != -1) return result;
  cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  cmsHPROFILE out = cmsCreate_sRGBProfile();
  const uint32_t n = source->Components();
  cmsUInt32Number format = n == 1 ? TYPE_GRAY_8 : n == 3 ? (source->IsLab() ? TYPE_Lab_8 : TYPE_RGB_8) : TYPE_CMYK_8;
  cmsHTRANSFORM transform = cmsCreateTransform(in, format, out, TYPE_RGB_8, intent, cmsFLAGS_NOCACHE);
  EXPECT_NE(transform, nullptr);
  if (transform == nullptr) return result;
  const int steps = n == 1 ? 256 : n == 3 ? 17 : 9;
  std::vector<uint8_t> pixels;
  long count = 1;
  for (uint32_t i = 0; i < n; ++i) count *= steps;
  for (long p = 0; p < count; ++p) {
    long rest = p;
    for (uint32_t i = 0; i < n; ++i) {
      int v = static_cast<int>(rest % steps);
      rest /= steps;
      pixels.push_back(static_cast<uint8_t>(v * 255 / (steps - 1)));
    }
  }
  std::vector<uint8_t> ours(count * 3), theirs(count * 3);
  converter->ConvertRun(pixels.data(), ours.data(), 0, static_cast<uint32_t>(count));
  if (source->IsLab()) {
    // lcms's 8-bit Lab is L 0..255 for 0..100 and a, b offset by 128: the same encoding.
  }
  cmsDoTransform(transform, pixels.data(), theirs.data(), static_cast<cmsUInt32Number>(count));
  long total = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    int d = std::abs(ours[i] - theirs[i]);
    result.largest = std::max(result.largest, d);
    total += d;
  }
  result.mean = static_cast<double>(total) / ours.size();
  cmsDeleteTransform(transform);
  cmsCloseProfile(in);
  cmsCloseProfile(out);
  return result;
}

bool IsTableBased(const std::vector<uint8_t>& profile) {
  cmsHPROFILE p = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  bool table = p != nullptr && cmsIsTag(p, cmsSigAToB0Tag);
  if (p != nullptr) cmsCloseProfile(p);
  return table;
}

TEST(ICCAgainstLcms, DebianProfiles) {
  const char* paths[] = {
      "/usr/share/color/icc/sRGB.icc",
      "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc",
      "/usr/share/color/icc/Gray.icc",
      "/usr/share/color/icc/ghostscript/default_cmyk.icc",
      "/usr/share/color/icc/ghostscript/ps_cmyk.icc",
      "/usr/share/color/icc/ghostscript/default_rgb.icc",
  };
  for (const char* path : paths) {
    std::vector<uint8_t> profile = ReadFile(path);
    if (profile.empty()) continue;
    for (int intent : {0, 1}) {
      Difference d = Compare(profile, intent);
      bool table = IsTableBased(profile);
      std::printf("%s intent %d: %s, largest %d, mean %.3f\n", path, intent, table ? "table" : "matrix/TRC",
                  d.largest, d.mean);
      ASSERT_EQ(d.codeRaised, -1) << path;
      EXPECT_LE(d.largest, table ? 4 : 2) << path;
    }
  }
}

TEST(ICCAgainstLcms, CorpusProfiles) {
  const std::string dir = test::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  // ICCBased streams of a fixed set of corpus files, extracted with qpdf.
  std::set<std::string> seen;
  int compared = 0, worstMatrix = 0, worstTable = 0;
  for (const test::CorpusFile& file : test::CorpusFiles()) {
    std::string out;
    if (!test::RunTool("qpdf --show-npages '" + file.path + "' 2>/dev/null", out)) continue;
    if (!test::RunTool("qpdf --json --json-key=objects '" + file.path + "' 2>/dev/null | grep -o '\"obj:[0-9]* 0 R\": {[^}]*\"/N\": [0-9]*' | grep -o 'obj:[0-9]*' | head -5", out)) continue;
    size_t at = 0;
    while ((at = out.find("obj:", at)) != std::string::npos) {
      std::string number = out.substr(at + 4, out.find('\n', at) - at - 4);
      at += 4;
      std::string bytes;
      if (!test::RunTool("qpdf --show-object=" + number + " --filtered-stream-data '" + file.path + "' 2>/dev/null", bytes)) continue;
      if (bytes.size() < 128 || bytes.compare(36, 4, "acsp") != 0 || !seen.insert(bytes).second) continue;
      std::vector<uint8_t> profile(bytes.begin(), bytes.end());
      Difference d = Compare(profile, 0);
      if (d.codeRaised != -1) {
        std::printf("%s obj %s: not read (code %d)\n", file.name.c_str(), number.c_str(), d.codeRaised);
        continue;
      }
      bool table = IsTableBased(profile);
      std::printf("%s obj %s: %s, largest %d, mean %.3f\n", file.name.c_str(), number.c_str(),
                  table ? "table" : "matrix/TRC", d.largest, d.mean);
      (table ? worstTable : worstMatrix) = std::max(table ? worstTable : worstMatrix, d.largest);
      EXPECT_LE(d.largest, table ? 4 : 2) << file.name << " obj " << number;
      ++compared;
    }
    if (compared >= 12) break;
  }
  std::printf("corpus profiles compared: %d; largest difference %d (matrix/TRC), %d (tables)\n", compared,
              worstMatrix, worstTable);
}

TEST(ICCProfiles, HostileProfilesFailCleanly) {
  std::vector<uint8_t> good = ReadFile("/usr/share/color/icc/sRGB.icc");
  if (good.empty()) GTEST_SKIP() << "no sRGB profile";
  auto code = [](std::vector<uint8_t> bytes) {
    AppContext context;
    return test::RaisedCode(context, [&] {
      Ref<ICCColorSpace> space(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
    });
  };
  EXPECT_EQ(code(good), -1);
  auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v >> 24; b[at + 1] = v >> 16; b[at + 2] = v >> 8; b[at + 3] = v;
  };
  std::vector<uint8_t> b = good;
  b[36] = 'x';  // no "acsp"
  EXPECT_EQ(code(b), 2);
  b = good;
  put32(b, 12, 0x6C696E6B);  // "link"
  EXPECT_EQ(code(b), 2);
  b = good;
  put32(b, 128, 100000);  // tag count
  EXPECT_EQ(code(b), 2);
  // Every kept tag's offset and size pointing past the end.
  uint32_t tags = b[128] << 24 | b[129] << 16 | b[130] << 8 | b[131];
  for (uint32_t i = 0; i < tags; ++i) {
    std::vector<uint8_t> lying = good;
    put32(lying, 132 + 12 * i + 4, 0xFFFFFF00u);
    int c = code(lying);
    EXPECT_TRUE(c == -1 || c == 2) << i;
    lying = good;
    put32(lying, 132 + 12 * i + 8, 0x7FFFFFFFu);
    c = code(lying);
    EXPECT_TRUE(c == -1 || c == 2) << i;
  }
  b = good;
  b.resize(100);
  EXPECT_EQ(code(b), 2);
}

TEST(ICCProfiles, DeviceRGBPassesThroughAndGrayStaysNeutral) {
  AppContext context;
  Ref<ICCColorSpace> display(context, MakeDisplaySpace(context, DisplayProfile::kSRGB));
  Ref<ICCColorSpace> gray(context, MakeGrayICCSpace(context, kD50White, kSRGBCurve));
  Ref<ByteColorConverter> converter(context, gray->MakeByteConverter(context, *display, kRelativeColorimetric));
  for (int v = 0; v < 256; ++v) {
    uint8_t in = static_cast<uint8_t>(v), out[3];
    converter->ConvertPixel(out, 1, &in, 1);
    EXPECT_NEAR(out[0], v, 1);
    EXPECT_NEAR(out[1], v, 1);
    EXPECT_NEAR(out[2], v, 1);
  }
  // The handheld LCD profile builds and changes colours.
  Ref<ICCColorSpace> lcd(context, MakeDisplaySpace(context, DisplayProfile::kHandheldLCD));
  Ref<FixedColorConverter> toLcd(context, display->MakeFixedConverter(context, *lcd, kRelativeColorimetric));
  Fixed16_16 white[3] = {kFixedOne, kFixedOne, kFixedOne}, out[3];
  toLcd->ConvertPixel(out, 1, white, 1);
  for (Fixed16_16 v : out) EXPECT_NEAR(v, kFixedOne, 700);
}

}  // namespace
}  // namespace vn::color

