// PDF colour spaces resolved from made-up documents: names and resources,
// defaults, every family with its faults and fallbacks, and the colours
// their converters give.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/memory_document.h"
#include "support/test_context.h"

namespace vn::pdf::pdfcolor {
namespace {

using document::ResolvedValue;

std::string Stream(const std::string& dict, const std::string& data) {
  std::string text = "<< ";
  text.append(dict).append(" /Length ").append(std::to_string(data.size())).append(" >>\nstream\n");
  return text.append(data).append("\nendstream");
}

std::string SRGBProfile() {
  std::vector<unsigned char> bytes = test::ReadWholeFile("/usr/share/color/icc/sRGB.icc");
  return std::string(bytes.begin(), bytes.end());
}

struct RGB {
  int r, g, b;
};

// A document whose object 3 is the resource dictionary << /ColorSpace 4 0 R >>
// and object 4 the colour-space dictionary `spaces`; `more` are objects 5....
class ColorDocument {
 public:
  explicit ColorDocument(const std::string& spaces, const std::vector<std::string>& more = {},
                         color::DisplayProfile display = color::DisplayProfile::kSRGB)
      : document_(context_) {
    document_.Builder().Add(3, "<< /ColorSpace 4 0 R >>");
    document_.Builder().Add(4, spaces);
    for (size_t i = 0; i < more.size(); ++i) document_.Builder().Add(static_cast<int>(5 + i), more[i]);
    EXPECT_EQ(document_.Open(), -1);
    spaces_ = std::make_unique<DocumentColorSpaces>(document_.Resolver(), display);
  }

  AppContext& Context() { return context_; }
  DocumentColorSpaces& Spaces() { return *spaces_; }

  // Resolves the name `name` (as "cs" would, or as an inline image's with
  // kInlineImage) against the resources, or without any.
  int32_t Name(ColorSpaceRef& out, const std::string& name, uint32_t options = 0, bool withResources = true) {
    return test::RaisedCode(context_, [&] {
      ResolvedValue resources(context_);
      if (withResources) document_.Get(3, resources);
      spaces_->ResolveName(out, reinterpret_cast<const uint8_t*>(name.data()), static_cast<uint32_t>(name.size()),
                           resources, options);
    });
  }
  // Resolves object `number` (an array, or a name) as a colour space.
  int32_t Object(ColorSpaceRef& out, int number, uint32_t options = 0, uint32_t disallowed = 0) {
    return test::RaisedCode(context_, [&] {
      ResolvedValue resources(context_), space(context_);
      document_.Get(3, resources);
      document_.Get(number, space);
      spaces_->Resolve(out, space, resources, options, disallowed);
    });
  }
  int32_t Device(ColorSpaceRef& out, uint32_t components) {
    return test::RaisedCode(context_, [&] {
      ResolvedValue resources(context_);
      document_.Get(3, resources);
      spaces_->DeviceSpace(out, components, resources);
    });
  }
  RGB Color(const ColorSpaceRef& space, const std::vector<double>& components) {
    std::vector<Fixed16_16> fixed;
    for (double c : components) fixed.push_back(static_cast<Fixed16_16>(std::lround(c * 65536)));
    uint8_t rgb[3] = {};
    EXPECT_EQ(test::RaisedCode(context_, [&] { spaces_->ToRGB(space, fixed.data(), 1, rgb); }), -1);
    return RGB{rgb[0], rgb[1], rgb[2]};
  }
  // Image samples through the byte converter.
  std::vector<uint8_t> Rows(const ColorSpaceRef& space, const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> out(samples.size() / space.components * 3);
    EXPECT_EQ(test::RaisedCode(context_, [&] {
                Ref<color::ByteColorConverter> converter(context_);
                spaces_->GetByteConverter(converter, space, 1);
                converter->ConvertRun(samples.data(), out.data(), 0,
                                      static_cast<uint32_t>(samples.size() / space.components));
              }),
              -1);
    return out;
  }

 private:
  AppContext context_;
  test::MemoryDocument document_;
  std::unique_ptr<DocumentColorSpaces> spaces_;
};

void ExpectNear(RGB seen, RGB expected, int tolerance, const std::string& what) {
  EXPECT_NEAR(seen.r, expected.r, tolerance) << what;
  EXPECT_NEAR(seen.g, expected.g, tolerance) << what;
  EXPECT_NEAR(seen.b, expected.b, tolerance) << what;
}

TEST(PdfColorSpaces, NamesAbbreviationsAndResources) {
  ColorDocument doc(
      "<< /CS0 [/CalRGB << /WhitePoint [0.9505 1 1.089] >>] /G [/CalGray << /WhitePoint [0.9505 1 1.089] >>] "
      "/Named /DeviceRGB /Again /CS0 /Broken 12 /Loop [/Indexed /Loop 1 <000000>] >>");
  ColorSpaceRef space(doc.Context());
  ASSERT_EQ(doc.Name(space, "DeviceRGB"), -1);
  EXPECT_EQ(space.kind, kPlainSpace);
  EXPECT_EQ(space.components, 3u);
  ASSERT_EQ(doc.Name(space, "DeviceCMYK"), -1);
  EXPECT_EQ(space.components, 4u);
  EXPECT_EQ(space.initial[3], kFixedOne);  // black
  ASSERT_EQ(doc.Name(space, "CalCMYK"), -1);
  EXPECT_EQ(space.components, 4u);
  // The abbreviations are inline images' own: in content "G" is a resource
  // name like any other (here a CalGray space), "RGB" is unknown.
  ASSERT_EQ(doc.Name(space, "G"), -1);
  EXPECT_EQ(space.components, 1u);
  EXPECT_EQ(doc.Name(space, "G", 0, false), 2);
  EXPECT_EQ(doc.Name(space, "RGB"), 2);
  ASSERT_EQ(doc.Name(space, "RGB", kInlineImage), -1);
  EXPECT_EQ(space.components, 3u);
  ASSERT_EQ(doc.Name(space, "CMYK", kInlineImage, false), -1);
  EXPECT_EQ(space.components, 4u);
  // Resource names: to an array, to a device name; never to another
  // resource name, never to something that is no colour space.
  ASSERT_EQ(doc.Name(space, "CS0"), -1);
  EXPECT_EQ(space.components, 3u);
  ASSERT_EQ(doc.Name(space, "Named"), -1);
  EXPECT_EQ(space.components, 3u);
  EXPECT_EQ(doc.Name(space, "Again"), 2);
  EXPECT_EQ(doc.Name(space, "Broken"), 2);
  EXPECT_EQ(doc.Name(space, "Missing"), 2);
  EXPECT_EQ(doc.Name(space, "Loop"), 2);
  // Families that need parameters do not stand alone.
  EXPECT_EQ(doc.Name(space, "ICCBased"), 2);
  EXPECT_EQ(doc.Name(space, "Indexed"), 2);
  // Coloured patterns have no components.
  ASSERT_EQ(doc.Name(space, "Pattern"), -1);
  EXPECT_EQ(space.kind, kPatternSpace);
  EXPECT_EQ(space.components, 0u);
  EXPECT_EQ(doc.Color(space, {}).r, 0);
}

TEST(PdfColorSpaces, ArraysAndDisallowedKinds) {
  ColorDocument doc("<< >>", {"[/DeviceGray]", "[/Pattern /DeviceRGB]", "[/Pattern [/Pattern /DeviceRGB]]",
                              "[/Indexed [/Indexed /DeviceRGB 0 <000000>] 0 <00>]", "[/Indexed /Pattern 0 <00>]",
                              "[/Unknown 1 2]", "[]", "[/Pattern [/Indexed /DeviceRGB 1 <FF000000FF00>]]"});
  ColorSpaceRef space(doc.Context());
  ASSERT_EQ(doc.Object(space, 5), -1);
  EXPECT_EQ(space.components, 1u);
  // An uncoloured pattern is painted in a colour of its base space.
  ASSERT_EQ(doc.Object(space, 6), -1);
  EXPECT_EQ(space.kind, kPatternSpace);
  EXPECT_EQ(space.components, 3u);
  ExpectNear(doc.Color(space, {1, 0.5, 0}), RGB{255, 128, 0}, 1, "pattern base");
  EXPECT_EQ(doc.Object(space, 7), 2);  // a pattern over a pattern
  EXPECT_EQ(doc.Object(space, 8), 2);  // indexed over indexed
  EXPECT_EQ(doc.Object(space, 9), 2);  // indexed over a pattern
  EXPECT_EQ(doc.Object(space, 10), 2);
  EXPECT_EQ(doc.Object(space, 11), 2);
  ASSERT_EQ(doc.Object(space, 12), -1);  // a pattern over an indexed space
  ExpectNear(doc.Color(space, {1}), RGB{0, 255, 0}, 0, "pattern over indexed");
  // What the caller rules out.
  EXPECT_EQ(doc.Object(space, 6, 0, kPatternSpace), 2);
  EXPECT_EQ(doc.Object(space, 5, 0, kPlainSpace), 2);
}

TEST(PdfColorSpaces, DefaultSpaces) {
  const std::string calRGB = "[/CalRGB << /WhitePoint [0.9505 1 1.089] /Gamma [1.8 1.8 1.8] >>]";
  {
    // A usable DefaultRGB replaces DeviceRGB, for names and for "rg".
    ColorDocument doc("<< /DefaultRGB " + calRGB + " /DefaultGray [/DeviceGray] >>");
    ColorSpaceRef device(doc.Context()), plain(doc.Context());
    ASSERT_EQ(doc.Name(device, "DeviceRGB"), -1);
    ASSERT_EQ(doc.Name(plain, "DeviceRGB", kNoDefaults), -1);
    EXPECT_NE(device.space.get(), plain.space.get());
    EXPECT_EQ(device.components, 3u);
    // Gamma 1.8 lightens the middle compared with sRGB's curve.
    EXPECT_GT(doc.Color(device, {0.5, 0.5, 0.5}).g, doc.Color(plain, {0.5, 0.5, 0.5}).g + 10);
    ColorSpaceRef rg(doc.Context());
    ASSERT_EQ(doc.Device(rg, 3), -1);
    EXPECT_EQ(rg.space.get(), device.space.get());
    // A default of the device's own family is the device space.
    ColorSpaceRef gray(doc.Context()), plainGray(doc.Context());
    ASSERT_EQ(doc.Name(gray, "DeviceGray"), -1);
    ASSERT_EQ(doc.Name(plainGray, "DeviceGray", kNoDefaults), -1);
    EXPECT_EQ(gray.space.get(), plainGray.space.get());
  }
  {
    // Defaults of the wrong component count or that cannot be built are ignored.
    ColorDocument doc("<< /DefaultRGB [/DeviceCMYK] /DefaultCMYK [/ICCBased 5 0 R] /DefaultGray [/Lab] >>",
                      {Stream("/N 4", "not a profile")});
    for (const char* name : {"DeviceRGB", "DeviceCMYK", "DeviceGray"}) {
      ColorSpaceRef device(doc.Context()), plain(doc.Context());
      ASSERT_EQ(doc.Name(device, name), -1) << name;
      ASSERT_EQ(doc.Name(plain, name, kNoDefaults), -1) << name;
      EXPECT_EQ(device.space.get(), plain.space.get()) << name;
    }
  }
}

TEST(PdfColorSpaces, ICCBasedAndFallbacks) {
  const std::string profile = SRGBProfile();
  ASSERT_FALSE(profile.empty()) << "package icc-profiles-free";
  ColorDocument doc("<< >>", {Stream("/N 3", profile), "[/ICCBased 5 0 R]",
                              Stream("/N 3", "corrupt profile"), "[/ICCBased 7 0 R]",
                              Stream("/N 1 /Alternate /DeviceGray", "corrupt"), "[/ICCBased 9 0 R]",
                              Stream("/N 1 /Alternate /DeviceRGB", "corrupt"), "[/ICCBased 11 0 R]",
                              Stream("/N 4", profile), "[/ICCBased 13 0 R]",
                              Stream("/N 5", "corrupt"), "[/ICCBased 15 0 R]", "[/ICCBased 3 0 R]",
                              Stream("/N 3 /Alternate [/Indexed /DeviceRGB 0 <000000>]", "corrupt"),
                              "[/ICCBased 18 0 R]"});
  ColorSpaceRef space(doc.Context()), again(doc.Context()), rgb(doc.Context());
  ASSERT_EQ(doc.Name(rgb, "DeviceRGB", kNoDefaults), -1);
  // sRGB embedded: close to DeviceRGB (which is sRGB here), and built once.
  ASSERT_EQ(doc.Object(space, 6), -1);
  ASSERT_EQ(doc.Object(again, 6), -1);
  EXPECT_EQ(space.space.get(), again.space.get());
  for (double v : {0.0, 0.2, 0.5, 0.8, 1.0}) {
    ExpectNear(doc.Color(space, {v, 1 - v, v / 2}), doc.Color(rgb, {v, 1 - v, v / 2}), 1, "sRGB profile");
  }
  // A corrupt profile falls back to the device space of N...
  ASSERT_EQ(doc.Object(space, 8), -1);
  EXPECT_EQ(space.space.get(), rgb.space.get());
  // ...or to the Alternate, which must have N components.
  ASSERT_EQ(doc.Object(space, 10), -1);
  EXPECT_EQ(space.components, 1u);
  EXPECT_EQ(doc.Object(space, 12), 2);
  // A good profile of another channel count than N is not this space's.
  ColorSpaceRef cmyk(doc.Context());
  ASSERT_EQ(doc.Name(cmyk, "DeviceCMYK", kNoDefaults), -1);
  ASSERT_EQ(doc.Object(space, 14), -1);
  EXPECT_EQ(space.space.get(), cmyk.space.get());
  // No device space of 5 components; no stream at all; an indexed alternate.
  EXPECT_EQ(doc.Object(space, 16), 2);
  EXPECT_EQ(doc.Object(space, 17), 2);
  EXPECT_EQ(doc.Object(space, 19), 2);
}

// The CIE lightness function's inverse, and sRGB's encoding of a linear value.
double InverseLightness(double f) { return f > 6.0 / 29 ? f * f * f : 3 * (6.0 / 29) * (6.0 / 29) * (f - 4.0 / 29); }
int SRGBByte(double linear) {
  linear = std::clamp(linear, 0.0, 1.0);
  double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(v * 255));
}

TEST(PdfColorSpaces, CalibratedAndLab) {
  ColorDocument doc("<< >>", {"[/CalGray << /WhitePoint [0.9505 1 1.089] /Gamma 2.2 >>]",
                              "[/Lab << /WhitePoint [0.9642 1 0.8249] >>]",
                              "[/Lab << /WhitePoint [0.9642 1 0.8249] /Range [-128 127 -128 127] >>]",
                              "[/Lab << /WhitePoint [0.9642 1 0.8249] /Range [10 20 -5 5] >>]",
                              "[/CalGray << /Gamma 2.2 >>]", "[/CalRGB << /WhitePoint [0.9505 1 1.089] /Gamma [1 2] >>]",
                              "[/Lab << /WhitePoint [0.9642 1 0.8249] /Range [0 1] >>]"});
  ColorSpaceRef space(doc.Context());
  // CalGray: Y = A^gamma, a neutral grey whatever the white point.
  ASSERT_EQ(doc.Object(space, 5), -1);
  for (double a : {0.1, 0.5, 0.9}) {
    const int expected = SRGBByte(std::pow(a, 2.2));
    ExpectNear(doc.Color(space, {a}), RGB{expected, expected, expected}, 1, "CalGray");
  }
  // Lab: L* through the CIE lightness function; a* and b* clamped to the
  // range, [-100 100] each by default.
  ASSERT_EQ(doc.Object(space, 6), -1);
  EXPECT_EQ(space.components, 3u);
  for (double l : {20.0, 50.0, 90.0}) {
    const int expected = SRGBByte(InverseLightness((l + 16) / 116));
    ExpectNear(doc.Color(space, {l, 0, 0}), RGB{expected, expected, expected}, 1, "Lab grey");
  }
  EXPECT_EQ(doc.Color(space, {50, -128, 0}).g, doc.Color(space, {50, -100, 0}).g);
  ColorSpaceRef wide(doc.Context());
  ASSERT_EQ(doc.Object(wide, 7), -1);
  EXPECT_NE(doc.Color(wide, {50, -128, 0}).g, doc.Color(wide, {50, -100, 0}).g);
  ExpectNear(doc.Color(wide, {50, -100, 0}), doc.Color(space, {50, -100, 0}), 0, "same value, either range");
  // The initial colour is 0 0 0 moved into the range.
  ASSERT_EQ(doc.Object(space, 8), -1);
  EXPECT_EQ(space.initial[0], 0);
  EXPECT_EQ(space.initial[1], 10 * kFixedOne);
  EXPECT_EQ(space.initial[2], 0);
  // Malformed: no white point, a short gamma array, a short range.
  EXPECT_EQ(doc.Object(space, 9), 2);
  EXPECT_EQ(doc.Object(space, 10), 2);
  EXPECT_EQ(doc.Object(space, 11), 2);
}

TEST(PdfColorSpaces, Indexed) {
  ColorDocument doc("<< >>", {"[/Indexed /DeviceRGB 3 <FF0000 00FF00>]", "[/Indexed /DeviceRGB 300 <0000FF>]",
                              "[/Indexed /DeviceRGB 1 8 0 R]", Stream("", std::string("\x11\x22\x33\x44\x55\x66", 6)),
                              "[/Indexed /DeviceRGB -1 <00>]", "[/Indexed /DeviceRGB 1 7]", "[/Indexed /DeviceRGB 1]",
                              "[/Indexed /DeviceCMYK 1 <00000000 000000FF>]"});
  ColorSpaceRef space(doc.Context());
  ASSERT_EQ(doc.Object(space, 5), -1);
  EXPECT_EQ(space.kind, kIndexedSpace);
  EXPECT_EQ(space.components, 1u);
  ExpectNear(doc.Color(space, {0}), RGB{255, 0, 0}, 0, "entry 0");
  ExpectNear(doc.Color(space, {1}), RGB{0, 255, 0}, 0, "entry 1");
  // The table is shorter than hival says: the rest reads as zeros (black);
  // indices past hival use the last entry.
  ExpectNear(doc.Color(space, {2}), RGB{0, 0, 0}, 0, "padded entry");
  ExpectNear(doc.Color(space, {9}), RGB{0, 0, 0}, 0, "past hival");
  EXPECT_EQ(doc.Rows(space, {0, 1, 2, 200}), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0}));
  // A hival above 255 is read as 255.
  ASSERT_EQ(doc.Object(space, 6), -1);
  ExpectNear(doc.Color(space, {0}), RGB{0, 0, 255}, 0, "hival 300");
  ExpectNear(doc.Color(space, {255}), RGB{0, 0, 0}, 0, "hival 300, last entry");
  // The table from a stream.
  ASSERT_EQ(doc.Object(space, 7), -1);
  EXPECT_EQ(doc.Rows(space, {1, 0}), (std::vector<uint8_t>{0x44, 0x55, 0x66, 0x11, 0x22, 0x33}));
  EXPECT_EQ(doc.Object(space, 9), 2);
  EXPECT_EQ(doc.Object(space, 10), 2);
  EXPECT_EQ(doc.Object(space, 11), 2);
  // Over CMYK: paper white and black ink.
  ASSERT_EQ(doc.Object(space, 12), -1);
  const std::vector<uint8_t> rows = doc.Rows(space, {0, 1});
  EXPECT_GE(rows[0], 254);
  EXPECT_LE(rows[3], 60);
}

// Type 4 tint transforms: one tint to CMYK (the tint on one ink), two
// tints to RGB.
const char* kTintToMagenta = "{ 0 exch 0 0 }";
const char* kTintsToRGB = "{ 2 copy add 2 div }";

TEST(PdfColorSpaces, SeparationAndDeviceN) {
  ColorDocument doc(
      "<< >>",
      {"[/Separation /Spot /DeviceCMYK 6 0 R]",
       Stream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1 0 1]", kTintToMagenta),
       "[/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>]",
       "[/Separation /All /DeviceCMYK 6 0 R]", "[/Separation /None /DeviceGray /Identity]",
       "[/DeviceN [/None /None] /DeviceRGB 11 0 R]",
       Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", kTintsToRGB),
       "[/DeviceN [/A /None] /DeviceRGB 11 0 R]", "[/Separation /Spot /DeviceGray /Identity]",
       "[/Separation /Spot /DeviceRGB /Identity]", "[/Separation /Spot /DeviceRGB 6 0 R]",
       "[/Separation /Spot [/Indexed /DeviceRGB 0 <000000>] /Identity]", "[/Separation /Spot]",
       "[/Separation /Spot /DeviceGray 7]"});
  ColorSpaceRef separation(doc.Context()), cmyk(doc.Context());
  ASSERT_EQ(doc.Name(cmyk, "DeviceCMYK"), -1);
  ASSERT_EQ(doc.Object(separation, 5), -1);
  EXPECT_EQ(separation.kind, kPlainSpace);
  EXPECT_EQ(separation.components, 1u);
  EXPECT_EQ(separation.initial[0], kFixedOne);  // full tint
  // The tint goes through the transform, then the alternate space.
  for (double t : {0.0, 0.3, 1.0}) {
    ExpectNear(doc.Color(separation, {t}), doc.Color(cmyk, {0, t, 0, 0}), 0, "calculator tint");
  }
  ColorSpaceRef exponential(doc.Context());
  ASSERT_EQ(doc.Object(exponential, 7), -1);
  ExpectNear(doc.Color(exponential, {0.6}), doc.Color(separation, {0.6}), 1, "exponential tint");
  // Image samples: the sampled converter agrees with single colours.
  std::vector<uint8_t> tints;
  for (int v = 0; v < 256; ++v) tints.push_back(static_cast<uint8_t>(v));
  const std::vector<uint8_t> rows = doc.Rows(separation, tints);
  for (int v = 0; v < 256; v += 15) {
    ExpectNear(RGB{rows[3 * v], rows[3 * v + 1], rows[3 * v + 2]}, doc.Color(separation, {v / 255.0}), 1, "row");
  }
  // "All": full tint is black on the screen, no tint white.
  ColorSpaceRef all(doc.Context());
  ASSERT_EQ(doc.Object(all, 8), -1);
  ExpectNear(doc.Color(all, {1}), RGB{0, 0, 0}, 0, "All, full tint");
  ExpectNear(doc.Color(all, {0}), RGB{255, 255, 255}, 0, "All, no tint");
  EXPECT_EQ(doc.Rows(all, {255, 0, 64}), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 191, 191, 191}));
  // "None" paints nothing; so does a DeviceN of only "None".
  ColorSpaceRef none(doc.Context());
  ASSERT_EQ(doc.Object(none, 9), -1);
  EXPECT_TRUE(none.paintsNothing);
  ASSERT_EQ(doc.Object(none, 10), -1);
  EXPECT_TRUE(none.paintsNothing);
  ColorSpaceRef deviceN(doc.Context());
  ASSERT_EQ(doc.Object(deviceN, 12), -1);
  EXPECT_FALSE(deviceN.paintsNothing);
  EXPECT_EQ(deviceN.components, 2u);
  // Two tints to RGB: (a, b, (a + b) / 2), sampled for images.
  ExpectNear(doc.Color(deviceN, {1, 0}), RGB{255, 0, 128}, 1, "DeviceN");
  std::vector<uint8_t> pairs;
  for (int a = 0; a < 256; a += 17) {
    for (int b = 0; b < 256; b += 17) {
      pairs.push_back(static_cast<uint8_t>(a));
      pairs.push_back(static_cast<uint8_t>(b));
    }
  }
  const std::vector<uint8_t> pairRows = doc.Rows(deviceN, pairs);
  for (size_t p = 0; p < pairs.size() / 2; ++p) {
    const RGB single = doc.Color(deviceN, {pairs[2 * p] / 255.0, pairs[2 * p + 1] / 255.0});
    ExpectNear(RGB{pairRows[3 * p], pairRows[3 * p + 1], pairRows[3 * p + 2]}, single, 1, "DeviceN rows");
  }
  // "Identity" works when the alternate has one component.
  ColorSpaceRef gray(doc.Context());
  ASSERT_EQ(doc.Name(gray, "DeviceGray"), -1);
  ASSERT_EQ(doc.Object(separation, 13), -1);
  ExpectNear(doc.Color(separation, {0.25}), doc.Color(gray, {0.25}), 0, "Identity");
  // Malformed: the transform's outputs do not fit the alternate; the
  // alternate is indexed or missing; the transform is no function.
  EXPECT_EQ(doc.Object(separation, 14), 2);
  EXPECT_EQ(doc.Object(separation, 15), 2);
  EXPECT_EQ(doc.Object(separation, 16), 2);
  EXPECT_EQ(doc.Object(separation, 17), 2);
  EXPECT_EQ(doc.Object(separation, 18), 2);
}

TEST(PdfColorSpaces, ManyColorants) {
  // 32 colorants is the most; each tint drops but the first three.
  std::string names, program = "{";
  for (int i = 0; i < 33; ++i) names.append(" /C").append(std::to_string(i));
  for (int i = 0; i < 29; ++i) program.append(" pop");
  program.append(" }");
  std::string domain;
  for (int i = 0; i < 32; ++i) domain.append(" 0 1");
  const std::string names32 = names.substr(0, names.rfind(" /C32"));
  ColorDocument doc("<< >>", {"[/DeviceN [" + names32 + "] /DeviceRGB 7 0 R]",
                              "[/DeviceN [" + names + "] /DeviceRGB 7 0 R]",
                              Stream("/FunctionType 4 /Domain [" + domain + "] /Range [0 1 0 1 0 1]", program)});
  ColorSpaceRef space(doc.Context());
  ASSERT_EQ(doc.Object(space, 5), -1);
  EXPECT_EQ(space.components, 32u);
  std::vector<double> tints(32, 0.0);
  tints[0] = 1;
  ExpectNear(doc.Color(space, tints), RGB{255, 0, 0}, 0, "32 colorants");
  // Image rows of 32 samples a pixel go through the function directly.
  std::vector<uint8_t> samples(64, 0);
  samples[1] = 255;
  samples[32 + 2] = 255;
  EXPECT_EQ(doc.Rows(space, samples), (std::vector<uint8_t>{0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(doc.Object(space, 6), 2);
}

TEST(PdfColorSpaces, ConvertersAreCachedPerSpace) {
  ColorDocument doc("<< >>");
  ColorSpaceRef rgb(doc.Context());
  ASSERT_EQ(doc.Name(rgb, "DeviceRGB"), -1);
  Ref<color::ByteColorConverter> first(doc.Context()), second(doc.Context());
  doc.Spaces().GetByteConverter(first, rgb, 1);
  doc.Spaces().GetByteConverter(second, rgb, 1);
  EXPECT_EQ(first.get(), second.get());
  // DeviceRGB to the sRGB display copies.
  EXPECT_EQ(doc.Rows(rgb, {1, 2, 3, 250, 128, 0}), (std::vector<uint8_t>{1, 2, 3, 250, 128, 0}));
}

TEST(PdfColorSpaces, HandheldDisplay) {
  // On the handheld's LCD profile the device spaces keep gamma 2.2 and
  // colours are moved into the screen's own primaries.
  ColorDocument doc("<< >>", {}, color::DisplayProfile::kHandheldLCD);
  ColorSpaceRef rgb(doc.Context());
  ASSERT_EQ(doc.Name(rgb, "DeviceRGB"), -1);
  ExpectNear(doc.Color(rgb, {1, 1, 1}), RGB{255, 255, 255}, 1, "white");
  ExpectNear(doc.Color(rgb, {0, 0, 0}), RGB{0, 0, 0}, 0, "black");
  // Gamma 2.2 content on a gamma 2.1 screen: mid grey stays near the middle.
  const RGB grey = doc.Color(rgb, {0.5, 0.5, 0.5});
  EXPECT_NEAR(grey.g, 123, 3);
}

}  // namespace
}  // namespace vn::pdf::pdfcolor
