// ICC profiles built by hand and damaged on purpose: what the engine
// accepts, what it rejects with which code, and that no lie in a profile
// (offsets, sizes, counts, grids) reaches memory it does not own.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "color/builtin_profiles.h"
#include "color/icc_color_space.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/test_context.h"

namespace vn::color {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 24);
  b[at + 1] = static_cast<uint8_t>(v >> 16);
  b[at + 2] = static_cast<uint8_t>(v >> 8);
  b[at + 3] = static_cast<uint8_t>(v);
}
void Append32(std::vector<uint8_t>& b, uint32_t v) {
  b.resize(b.size() + 4);
  Put32(b, b.size() - 4, v);
}
void Append16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
uint32_t Sig(const char* s) {
  return static_cast<uint32_t>(s[0]) << 24 | static_cast<uint32_t>(s[1]) << 16 | static_cast<uint32_t>(s[2]) << 8 |
         static_cast<uint32_t>(s[3]);
}

// A profile assembled from a header and tag bodies.
class TestProfile {
 public:
  TestProfile(const char* deviceClass, const char* dataSpace, const char* pcs) {
    header_.assign(128, 0);
    Put32(header_, 8, 0x02100000);
    Put32(header_, 12, Sig(deviceClass));
    Put32(header_, 16, Sig(dataSpace));
    Put32(header_, 20, Sig(pcs));
    Put32(header_, 36, Sig("acsp"));
    Put32(header_, 68, 63190);
    Put32(header_, 72, 65536);
    Put32(header_, 76, 54061);
  }
  void Tag(const char* signature, const std::vector<uint8_t>& body) { tags_.push_back({Sig(signature), body}); }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = header_;
    Append32(out, static_cast<uint32_t>(tags_.size()));
    size_t at = out.size() + 12 * tags_.size();
    std::vector<uint8_t> data;
    for (const auto& tag : tags_) {
      while ((at + data.size()) % 4 != 0) data.push_back(0);
      Append32(out, tag.signature);
      Append32(out, static_cast<uint32_t>(at + data.size()));
      Append32(out, static_cast<uint32_t>(tag.body.size()));
      data.insert(data.end(), tag.body.begin(), tag.body.end());
    }
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, 0, static_cast<uint32_t>(out.size()));
    return out;
  }

 private:
  struct Entry {
    uint32_t signature;
    std::vector<uint8_t> body;
  };
  std::vector<uint8_t> header_;
  std::vector<Entry> tags_;
};

std::vector<uint8_t> XYZTag(double x, double y, double z) {
  std::vector<uint8_t> b;
  Append32(b, Sig("XYZ "));
  Append32(b, 0);
  for (double v : {x, y, z}) Append32(b, static_cast<uint32_t>(static_cast<int32_t>(v * 65536 + 0.5)));
  return b;
}
std::vector<uint8_t> CurvTag(const std::vector<uint16_t>& entries) {
  std::vector<uint8_t> b;
  Append32(b, Sig("curv"));
  Append32(b, 0);
  Append32(b, static_cast<uint32_t>(entries.size()));
  for (uint16_t e : entries) Append16(b, e);
  return b;
}
std::vector<uint8_t> ParaTag(uint16_t function, const std::vector<double>& parameters) {
  std::vector<uint8_t> b;
  Append32(b, Sig("para"));
  Append32(b, 0);
  Append16(b, function);
  Append16(b, 0);
  for (double p : parameters) Append32(b, static_cast<uint32_t>(static_cast<int32_t>(p * 65536 + 0.5)));
  return b;
}

// An RGB matrix/TRC profile with sRGB's D50 primaries and the given curve.
std::vector<uint8_t> MatrixProfile(const std::vector<uint8_t>& curve, const char* deviceClass = "mntr") {
  TestProfile p(deviceClass, "RGB ", "XYZ ");
  p.Tag("wtpt", XYZTag(0.9642, 1.0, 0.8249));
  p.Tag("rXYZ", XYZTag(0.4361, 0.2225, 0.0139));
  p.Tag("gXYZ", XYZTag(0.3851, 0.7169, 0.0971));
  p.Tag("bXYZ", XYZTag(0.1431, 0.0606, 0.7141));
  p.Tag("rTRC", curve);
  p.Tag("gTRC", curve);
  p.Tag("bTRC", curve);
  return p.Bytes();
}

// A CMYK-to-Lab "mft2" table of `grid` points per input, `entries` curve
// entries, identity curves and a table that follows 1 - K.
std::vector<uint8_t> Lut16Tag(uint8_t grid, uint16_t entries, uint8_t inputs = 4) {
  std::vector<uint8_t> b;
  Append32(b, Sig("mft2"));
  Append32(b, 0);
  b.push_back(inputs);
  b.push_back(3);
  b.push_back(grid);
  b.push_back(0);
  for (int i = 0; i < 9; ++i) Append32(b, i % 4 == 0 ? 65536 : 0);
  Append16(b, entries);
  Append16(b, entries);
  auto curve = [&] {
    for (uint16_t i = 0; i < entries; ++i) Append16(b, entries > 1 ? static_cast<uint16_t>(i * 65535 / (entries - 1)) : 0);
  };
  for (int i = 0; i < inputs; ++i) curve();
  size_t points = 1;
  for (int i = 0; i < inputs; ++i) points *= grid;
  if (points <= (1u << 20)) {
    for (size_t p = 0; p < points; ++p) {
      const size_t k = p % grid;  // the last input (K) varies fastest
      Append16(b, static_cast<uint16_t>(grid > 1 ? (grid - 1 - k) * 65280 / (grid - 1) : 0));
      Append16(b, 0x8080);
      Append16(b, 0x8080);
    }
  }
  for (int i = 0; i < 3; ++i) curve();
  return b;
}

std::vector<uint8_t> CMYKProfile(const std::vector<uint8_t>& lut) {
  TestProfile p("prtr", "CMYK", "Lab ");
  p.Tag("wtpt", XYZTag(0.9642, 1.0, 0.8249));
  p.Tag("A2B0", lut);
  return p.Bytes();
}

int32_t ReadCode(const std::vector<uint8_t>& bytes) {
  AppContext context;
  return test::RaisedCode(context, [&] {
    Ref<ICCColorSpace> space(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
  });
}

// Reads the profile and converts a few colours to the display, through
// the pipeline itself and (with `rows`) through a byte converter.
int32_t UseCode(const std::vector<uint8_t>& bytes, bool rows = true) {
  AppContext context;
  return test::RaisedCode(context, [&] {
    Ref<ICCColorSpace> space(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
    Ref<ICCColorSpace> display(context, MakeDisplaySpace(context, DisplayProfile::kSRGB));
    Ref<FixedColorConverter> single(context, space->MakeFixedConverter(context, *display, kPerceptual));
    const Fixed16_16 colors[3][4] = {{kFixedOne, 0, kFixedHalf, 100}, {0, 0, 0, 0}, {-5, kFixedMax, 3, 9}};
    for (const auto& color : colors) {
      Fixed16_16 rgb[3];
      single->ConvertPixel(rgb, 1, color, 1);
    }
    if (!rows) return;
    Ref<ByteColorConverter> bytes(context, space->MakeByteConverter(context, *display, kPerceptual));
    const uint8_t in[4] = {0, 255, 128, 7};
    uint8_t out[3];
    bytes->ConvertRun(in, out, 0, 1);
  });
}

TEST(ICCProfile, ClassesAndUsableTags) {
  const std::vector<uint8_t> gamma22 = CurvTag({0x0233});
  EXPECT_EQ(UseCode(MatrixProfile(gamma22)), -1);
  EXPECT_EQ(UseCode(MatrixProfile(gamma22, "scnr")), -1);
  EXPECT_EQ(ReadCode(MatrixProfile(gamma22, "link")), 2);
  EXPECT_EQ(ReadCode(MatrixProfile(gamma22, "abst")), 2);
  // No tags: nothing to convert with.
  EXPECT_EQ(ReadCode(TestProfile("mntr", "RGB ", "XYZ ").Bytes()), 2);
  // A gray profile needs its curve; an RGB one all six tags.
  TestProfile gray("mntr", "GRAY", "XYZ ");
  gray.Tag("kTRC", gamma22);
  EXPECT_EQ(UseCode(gray.Bytes()), -1);
  TestProfile partial("mntr", "RGB ", "XYZ ");
  partial.Tag("rXYZ", XYZTag(0.4361, 0.2225, 0.0139));
  partial.Tag("rTRC", gamma22);
  EXPECT_EQ(ReadCode(partial.Bytes()), 2);
}

TEST(ICCProfile, GammaOneNeedsNoCurveStep) {
  AppContext context;
  auto forwardSteps = [&](const std::vector<uint8_t>& bytes) {
    Ref<ICCColorSpace> rgb(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
    // To a Lab space, whose inverse pipeline is empty: the source's steps,
    // the XYZ-to-Lab bridge and the final clamp.
    Ref<ICCColorSpace> lab(context, MakeLabICCSpace(context, kD50White));
    Ref<color_detail::ICCPipeline> pipeline(context, rgb->MakePipeline(*lab, kPerceptual));
    EXPECT_TRUE(pipeline->Step(pipeline->StepCount() - 3).IsMatrix());
    return pipeline->StepCount() - 2;
  };
  EXPECT_EQ(forwardSteps(MatrixProfile(CurvTag({0x0100}))), 1u);   // the matrix alone
  EXPECT_EQ(forwardSteps(MatrixProfile(ParaTag(0, {1.0}))), 1u);
  EXPECT_EQ(forwardSteps(MatrixProfile(CurvTag({}))), 1u);          // no entries: the identity
  EXPECT_EQ(forwardSteps(MatrixProfile(CurvTag({0x0233}))), 4u);    // three curves and the matrix
}

TEST(ICCProfile, DestinationCurvesMustBeInvertible) {
  AppContext context;
  const std::vector<uint8_t> zero = MatrixProfile(CurvTag({0}));
  const std::vector<uint8_t> negative = MatrixProfile(ParaTag(0, {-2.2}));
  for (const auto& bytes : {zero, negative}) {
    int32_t code = test::RaisedCode(context, [&] {
      Ref<ICCColorSpace> space(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
      Ref<ICCColorSpace> srgb(context, MakeDisplaySpace(context, DisplayProfile::kSRGB));
      // As a source the curve is a constant; as a destination it has no inverse.
      Ref<ByteColorConverter> from(context, space->MakeByteConverter(context, *srgb, kPerceptual));
      Ref<ByteColorConverter> to(context, srgb->MakeByteConverter(context, *space, kPerceptual));
    });
    EXPECT_EQ(code, 2);
  }
}

TEST(ICCProfile, ParametricCurves) {
  // Type 3 (sRGB's own shape), and degenerate ones: a = 0 (a constant,
  // no division by a), a negative slope, a zero exponent.
  EXPECT_EQ(UseCode(MatrixProfile(ParaTag(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}))), -1);
  EXPECT_EQ(UseCode(MatrixProfile(ParaTag(1, {2.2, 0.0, 0.5}))), -1);
  EXPECT_EQ(UseCode(MatrixProfile(ParaTag(4, {2.2, -1.0, 1.0, 0.0, 0.5, 0.0, 0.0}))), -1);
  EXPECT_EQ(UseCode(MatrixProfile(ParaTag(2, {0.0, 1.0, 0.0, 0.1}))), -1);
  EXPECT_EQ(ReadCode(MatrixProfile(ParaTag(5, {1, 2, 3, 4, 5, 6, 7, 8}))), 2);  // no such function
  EXPECT_EQ(ReadCode(MatrixProfile(ParaTag(4, {2.2, 1.0}))), 2);                // parameters missing
}

TEST(ICCProfile, LookupTables) {
  EXPECT_EQ(UseCode(CMYKProfile(Lut16Tag(3, 2))), -1);
  // A curve of one entry is a constant; none at all is no curve.
  EXPECT_EQ(UseCode(CMYKProfile(Lut16Tag(3, 1))), -1);
  EXPECT_EQ(ReadCode(CMYKProfile(Lut16Tag(3, 0))), 2);
  // One grid point has no cell to interpolate in; zero is nothing.
  EXPECT_EQ(ReadCode(CMYKProfile(Lut16Tag(1, 2))), 2);
  EXPECT_EQ(ReadCode(CMYKProfile(Lut16Tag(0, 2))), 2);
  // 255^4 x 3 entries: refused before anything is allocated.
  EXPECT_EQ(ReadCode(CMYKProfile(Lut16Tag(255, 2))), 5);
  // A table whose inputs differ from the data space's channels.
  EXPECT_EQ(ReadCode(CMYKProfile(Lut16Tag(3, 2, 3))), 2);
  // The table ends early.
  std::vector<uint8_t> lut = Lut16Tag(3, 2);
  lut.resize(lut.size() - 10);
  EXPECT_EQ(ReadCode(CMYKProfile(lut)), 2);
}

TEST(ICCProfile, CMYKTableConvertsAlongTheTable) {
  // The table is L* = 100 (1 - K), neutral: K decides, the other inks not.
  const std::vector<uint8_t> bytes = CMYKProfile(Lut16Tag(3, 2));
  AppContext context;
  Ref<ICCColorSpace> cmyk(context, MakeICCColorSpace(context, bytes.data(), static_cast<uint32_t>(bytes.size())));
  Ref<ICCColorSpace> srgb(context, MakeDisplaySpace(context, DisplayProfile::kSRGB));
  Ref<ByteColorConverter> rows(context, cmyk->MakeByteConverter(context, *srgb, kPerceptual));
  const uint8_t in[12] = {0, 0, 0, 0, 255, 255, 255, 255, 90, 10, 200, 0};
  uint8_t out[9];
  rows->ConvertRun(in, out, 0, 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(out[c], 255, 1);
    EXPECT_NEAR(out[3 + c], 0, 1);
    EXPECT_NEAR(out[6 + c], 255, 1);
  }
}

TEST(ICCProfile, LyingTagTablesFailCleanly) {
  const std::vector<unsigned char> good = test::ReadWholeFile("/usr/share/color/icc/sRGB.icc");
  ASSERT_FALSE(good.empty()) << "package icc-profiles-free";
  const std::vector<uint8_t> base(good.begin(), good.end());
  EXPECT_EQ(UseCode(base), -1);
  std::vector<uint8_t> b = base;
  b[36] = 'x';  // no "acsp"
  EXPECT_EQ(ReadCode(b), 2);
  b = base;
  Put32(b, 128, 4097);  // too many tags
  EXPECT_EQ(ReadCode(b), 2);
  b = base;
  Put32(b, 128, 100000);
  EXPECT_EQ(ReadCode(b), 2);
  b = base;
  b.resize(100);
  EXPECT_EQ(ReadCode(b), 2);
  // A declared size beyond the data is read as far as the data goes;
  // below the header it is bad.
  b = base;
  Put32(b, 0, 0x7FFFFFFF);
  EXPECT_EQ(UseCode(b), -1);
  Put32(b, 0, 100);
  EXPECT_EQ(ReadCode(b), 2);
  // Every tag's offset and size lying in every way: past the end, into
  // the header, wrapping around, too small for the tag's type.
  const uint32_t tags = base[128] << 24 | base[129] << 16 | base[130] << 8 | base[131];
  const uint32_t offsets[] = {0xFFFFFF00u, 0xFFFFFFFCu, static_cast<uint32_t>(base.size()) - 4, 0, 128};
  const uint32_t sizes[] = {0x7FFFFFFFu, 0xFFFFFFFFu, 0, 4, 11, 13};
  for (uint32_t i = 0; i < tags; ++i) {
    for (uint32_t offset : offsets) {
      std::vector<uint8_t> lying = base;
      Put32(lying, 132 + 12 * i + 4, offset);
      int32_t code = UseCode(lying, false);
      EXPECT_TRUE(code == -1 || code == 2) << "tag " << i << " offset " << offset << " code " << code;
    }
    for (uint32_t size : sizes) {
      std::vector<uint8_t> lying = base;
      Put32(lying, 132 + 12 * i + 8, size);
      int32_t code = UseCode(lying, false);
      EXPECT_TRUE(code == -1 || code == 2) << "tag " << i << " size " << size << " code " << code;
    }
  }
  // A curve whose entry count the tag cannot hold.
  b = MatrixProfile(CurvTag({0, 100, 65535}));
  for (uint32_t count : {4u, 65536u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    std::vector<uint8_t> lying = b;
    for (size_t at = 0; at + 12 <= lying.size(); ++at) {
      if (lying[at] == 'c' && lying[at + 1] == 'u' && lying[at + 2] == 'r' && lying[at + 3] == 'v') {
        Put32(lying, at + 8, count);
      }
    }
    EXPECT_EQ(ReadCode(lying), 2) << count;
  }
}

// Random damage to real profiles (a fixed seed): whatever the bytes say,
// reading and converting ends normally or with an engine error.
TEST(ICCProfile, RandomDamageEndsInErrorsOnly) {
  std::vector<std::vector<uint8_t>> profiles;
  for (const char* path : {"/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/ghostscript/ps_cmyk.icc",
                           "/usr/share/color/icc/ghostscript/lab.icc"}) {
    std::vector<unsigned char> bytes = test::ReadWholeFile(path);
    if (!bytes.empty()) profiles.emplace_back(bytes.begin(), bytes.end());
  }
  profiles.push_back(CMYKProfile(Lut16Tag(3, 2)));
  profiles.push_back(MatrixProfile(ParaTag(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})));
  std::mt19937 random(16);
  int read = 0;
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes = profiles[round % profiles.size()];
    const int damage = 1 + static_cast<int>(random() % 8);
    for (int d = 0; d < damage; ++d) {
      // Mostly the header, the tag table and tag headers, where lies hurt.
      const size_t span = random() % 2 ? std::min<size_t>(bytes.size(), 400) : bytes.size();
      bytes[random() % span] = static_cast<uint8_t>(random());
    }
    const int32_t code = UseCode(bytes, false);
    EXPECT_TRUE(code == -1 || code == 2 || code == 5) << "round " << round << " code " << code;
    read += code == -1;
  }
  std::printf("damaged profiles still read: %d of 200\n", read);
}

TEST(ICCProfile, BuiltinSpaces) {
  AppContext context;
  Ref<ICCColorSpace> srgb(context, MakeDisplaySpace(context, DisplayProfile::kSRGB));
  // DeviceGray and DeviceRGB content, as the documents' device spaces
  // describe it, passes through to the sRGB display unchanged.
  Ref<ICCColorSpace> gray(context, MakeGrayICCSpace(context, kD50White, kSRGBCurve));
  const ToneCurve curves[3] = {kSRGBCurve, kSRGBCurve, kSRGBCurve};
  Ref<ICCColorSpace> rgb(context, MakeRGBICCSpace(context, kD50White, curves, kSRGBColumns));
  Ref<ByteColorConverter> fromGray(context, gray->MakeByteConverter(context, *srgb, kRelativeColorimetric));
  Ref<ByteColorConverter> fromRGB(context, rgb->MakeByteConverter(context, *srgb, kRelativeColorimetric));
  for (int v = 0; v < 256; ++v) {
    const uint8_t in = static_cast<uint8_t>(v);
    uint8_t out[3];
    fromGray->ConvertPixel(out, 1, &in, 1);
    for (uint8_t c : out) EXPECT_EQ(c, v);
  }
  int largest = 0;
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 5) {
        const uint8_t in[3] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
        uint8_t out[3];
        fromRGB->ConvertPixel(out, 1, in, 1);
        for (int c = 0; c < 3; ++c) largest = std::max(largest, std::abs(out[c] - in[c]));
      }
    }
  }
  EXPECT_LE(largest, 1);
  // The handheld's LCD profile builds and keeps white white.
  Ref<ICCColorSpace> lcd(context, MakeDisplaySpace(context, DisplayProfile::kHandheldLCD));
  Ref<FixedColorConverter> toLcd(context, srgb->MakeFixedConverter(context, *lcd, kRelativeColorimetric));
  Fixed16_16 white[3] = {kFixedOne, kFixedOne, kFixedOne}, out[3];
  toLcd->ConvertPixel(out, 1, white, 1);
  for (Fixed16_16 v : out) EXPECT_NEAR(v, kFixedOne, 700);
  // The built-in CMYK profile: a printer profile of four inputs whose
  // paper is white and whose black ink is dark.
  Ref<ICCColorSpace> cmyk(context, MakeBuiltinCMYKSpace(context));
  EXPECT_EQ(cmyk->Components(), 4u);
  EXPECT_TRUE(cmyk->IsSubtractive());
  EXPECT_EQ(cmyk->DeviceClass(), Signature("prtr"));
  Ref<ByteColorConverter> fromCMYK(context, cmyk->MakeByteConverter(context, *srgb, kRelativeColorimetric));
  const uint8_t paperAndBlack[8] = {0, 0, 0, 0, 0, 0, 0, 255};
  uint8_t seen[6];
  fromCMYK->ConvertRun(paperAndBlack, seen, 0, 2);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(seen[c], 254);
    EXPECT_LE(seen[3 + c], 60);
  }
}

}  // namespace
}  // namespace vn::color
