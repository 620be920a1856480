// Colours of every colour-space family against the peer viewers: a page of
// patches, one per colour, rendered by pdftoppm (poppler, which converts
// ICCBased and Lab through lcms2) and mutool (MuPDF, built here without
// colour management), and the same colours through our converters.
//
// The DeviceCMYK patches (primaries, greys, rich black, tints) and the 256
// CMYK colours of the corpus's CMYK page measure how far our built-in
// CMYK profile lands from what users see in those viewers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdf/document/store_resolver.h"
#include "pdf/pdfcolor/indexed_color_space.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/memory_document.h"
#include "support/shell.h"
#include "support/test_context.h"
#include "support/test_documents.h"

namespace vn::pdf::pdfcolor {
namespace {

using document::ResolvedValue;

struct Patch {
  std::string space;  // a resource name, or a device space's name
  std::vector<double> components;
};

struct Pixel {
  int c[3];
};

// A rendered page: width, height and packed RGB rows, top row first.
struct Raster {
  int width = 0, height = 0;
  std::string rgb;
  // The centre of patch `index` (8 patches of 36 pt a row, from the bottom
  // left) at 18 dpi: patches are 9 pixels wide.
  Pixel PatchCentre(size_t index) const {
    const int x = static_cast<int>(index % 8) * 9 + 4;
    const int y = height - 1 - (static_cast<int>(index / 8) * 9 + 4);
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return Pixel{{static_cast<uint8_t>(rgb[at]), static_cast<uint8_t>(rgb[at + 1]),
                  static_cast<uint8_t>(rgb[at + 2])}};
  }
};

// Reads a binary PPM ("P6 w h 255" and the samples).
bool ReadPPM(const std::string& data, Raster& out) {
  size_t at = 0;
  std::vector<std::string> fields;
  while (fields.size() < 4 && at < data.size()) {
    while (at < data.size() && isspace(static_cast<unsigned char>(data[at]))) ++at;
    size_t end = at;
    while (end < data.size() && !isspace(static_cast<unsigned char>(data[end]))) ++end;
    fields.push_back(data.substr(at, end - at));
    at = end;
  }
  if (fields.size() < 4 || fields[0] != "P6") return false;
  out.width = std::stoi(fields[1]);
  out.height = std::stoi(fields[2]);
  out.rgb = data.substr(at + 1);
  return out.rgb.size() >= static_cast<size_t>(out.width) * out.height * 3;
}

std::string Stream(const std::string& dict, const std::string& data) {
  std::string text = "<< ";
  text.append(dict).append(" /Length ").append(std::to_string(data.size())).append(" >>\nstream\n");
  return text.append(data).append("\nendstream");
}

// A one-page document of patches whose colour spaces are `spaces` (the
// body of the resources' ColorSpace dictionary), objects 6... are `more`.
class PatchSheet {
 public:
  PatchSheet(const std::vector<Patch>& patches, const std::string& spaces, const std::vector<std::string>& more)
      : patches_(patches), document_(context_) {
    std::string content;
    for (size_t i = 0; i < patches.size(); ++i) {
      content.append("/").append(patches[i].space).append(" cs");
      for (double c : patches[i].components) content.append(" ").append(Number(c));
      content.append(" sc ").append(std::to_string(i % 8 * 36)).append(" ").append(std::to_string(i / 8 * 36));
      content.append(" 36 36 re f\n");
    }
    const size_t rows = (patches.size() + 7) / 8;
    document_.Builder().Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    document_.Builder().Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 288 " + std::to_string(rows * 36) +
                                   "] /Contents 5 0 R /Resources 4 0 R >>");
    document_.Builder().Add(4, "<< /ColorSpace << " + spaces + " >> >>");
    document_.Builder().Add(5, Stream("", content));
    for (size_t i = 0; i < more.size(); ++i) document_.Builder().Add(static_cast<int>(6 + i), more[i]);
    EXPECT_EQ(document_.Open(), -1);
    spaces_ = std::make_unique<DocumentColorSpaces>(document_.Resolver());
    path_ = ::testing::TempDir() + "folio_patches_" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".pdf";
    std::ofstream(path_, std::ios::binary) << document_.Bytes();
  }
  ~PatchSheet() { std::remove(path_.c_str()); }

  // Our colour of each patch.
  std::vector<Pixel> Ours() {
    std::vector<Pixel> out;
    for (const Patch& patch : patches_) {
      Pixel pixel{};
      EXPECT_EQ(test::RaisedCode(context_, [&] {
                  ResolvedValue resources(context_);
                  document_.Get(4, resources);
                  ColorSpaceRef space(context_);
                  spaces_->ResolveName(space, reinterpret_cast<const uint8_t*>(patch.space.data()),
                                       static_cast<uint32_t>(patch.space.size()), resources);
                  Fixed16_16 components[kMaxComponents];
                  for (size_t i = 0; i < patch.components.size(); ++i) {
                    components[i] = static_cast<Fixed16_16>(std::lround(patch.components[i] * 65536));
                  }
                  uint8_t rgb[3];
                  spaces_->ToRGB(space, components, color::kRelativeColorimetric, rgb);
                  pixel = Pixel{{rgb[0], rgb[1], rgb[2]}};
                }),
                -1)
          << patch.space;
      out.push_back(pixel);
    }
    return out;
  }
  // The peers' colours (empty when the tool failed).
  std::vector<Pixel> Poppler() { return Render("pdftoppm -r 18 '" + path_ + "'"); }
  std::vector<Pixel> MuPDF() { return Render("mutool draw -q -r 18 -F ppm -o - '" + path_ + "' 1"); }

  AppContext& Context() { return context_; }
  DocumentColorSpaces& Spaces() { return *spaces_; }

 private:
  static std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
  }
  std::vector<Pixel> Render(const std::string& command) {
    Raster raster;
    if (!ReadPPM(test::RunShell(command).out, raster)) return {};
    std::vector<Pixel> out;
    for (size_t i = 0; i < patches_.size(); ++i) out.push_back(raster.PatchCentre(i));
    return out;
  }

  std::vector<Patch> patches_;
  AppContext context_;
  test::MemoryDocument document_;
  std::unique_ptr<DocumentColorSpaces> spaces_;
  std::string path_;
};

int Largest(const Pixel& a, const Pixel& b) {
  int d = 0;
  for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(a.c[c] - b.c[c]));
  return d;
}

std::string Text(const Pixel& p) {
  return std::to_string(p.c[0]) + " " + std::to_string(p.c[1]) + " " + std::to_string(p.c[2]);
}

// The difference of each channel of `ours` from `theirs`: largest and mean.
struct Spread {
  int largest = 0;
  double mean = 0;
};
Spread Measure(const std::vector<Pixel>& ours, const std::vector<Pixel>& theirs, const std::vector<double>& weights) {
  Spread s;
  double total = 0, weight = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    s.largest = std::max(s.largest, Largest(ours[i], theirs[i]));
    for (int c = 0; c < 3; ++c) total += weights[i] * std::abs(ours[i].c[c] - theirs[i].c[c]);
    weight += 3 * weights[i];
  }
  s.mean = total / weight;
  return s;
}

int SRGBByte(double linear) {
  const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::lround(v * 255));
}

const char* kFamilySpaces =
    "/ICC [/ICCBased 6 0 R] "
    "/Cal3 [/CalRGB << /WhitePoint [0.9505 1 1.089] /Gamma [2.2 2.2 2.2] "
    "/Matrix [0.4124 0.2126 0.0193 0.3576 0.7152 0.1192 0.1805 0.0722 0.9505] >>] "
    "/Cal1 [/CalGray << /WhitePoint [0.9505 1 1.089] /Gamma 2.2 >>] "
    "/Lab1 [/Lab << /WhitePoint [0.9642 1 0.8249] /Range [-128 127 -128 127] >>] "
    "/Idx [/Indexed /DeviceRGB 2 <FF000000FF000000FF>] "
    "/SepRGB [/Separation /Spot /DeviceRGB 7 0 R] "
    "/DN [/DeviceN [/A /B] /DeviceRGB 8 0 R]";

TEST(ColorSpacePeers, FamiliesAgainstPoppler) {
  std::vector<unsigned char> profile = test::ReadWholeFile("/usr/share/color/icc/sRGB.icc");
  ASSERT_FALSE(profile.empty()) << "package icc-profiles-free";
  // Each family, and the reference it is held to within `tolerance`:
  // poppler, except where poppler departs from the standard: it does not
  // adapt CalGray's white point (a D65 grey comes out pink) and paints
  // indices past hival black, where the last entry is what PDF says. There
  // an exact computation or MuPDF holds.
  enum Reference { kPoppler, kMuPDF, kExact };
  struct Case {
    Patch patch;
    Reference reference;
    int tolerance;
    Pixel exact;
  };
  // CalGray with gamma 2.2: Y = A^2.2, shown in sRGB.
  const int grey5 = SRGBByte(std::pow(0.5, 2.2)), grey2 = SRGBByte(std::pow(0.2, 2.2));
  const std::vector<Case> cases = {
      {{"DeviceGray", {0.5}}, kPoppler, 0, {}},
      {{"DeviceRGB", {1, 0.5, 0}}, kPoppler, 0, {}},
      {{"ICC", {0.2, 0.6, 0.9}}, kPoppler, 2, {}},
      {{"ICC", {0.9, 0.1, 0.3}}, kPoppler, 2, {}},
      {{"Cal3", {0.2, 0.6, 0.9}}, kPoppler, 3, {}},
      {{"Cal3", {0.8, 0.7, 0.1}}, kPoppler, 3, {}},
      {{"Cal1", {0.5}}, kExact, 1, {{grey5, grey5, grey5}}},
      {{"Cal1", {0.2}}, kExact, 1, {{grey2, grey2, grey2}}},
      {{"Lab1", {50, 20, -30}}, kPoppler, 2, {}},
      {{"Lab1", {80, -40, 60}}, kPoppler, 2, {}},
      {{"Lab1", {30, 10, 10}}, kPoppler, 2, {}},
      {{"Idx", {1}}, kPoppler, 0, {}},
      {{"Idx", {7}}, kMuPDF, 0, {}},
      {{"SepRGB", {0.4}}, kPoppler, 1, {}},
      {{"SepRGB", {1}}, kPoppler, 1, {}},
      {{"DN", {0.3, 0.8}}, kPoppler, 1, {}},
  };
  std::vector<Patch> patches;
  for (const Case& c : cases) patches.push_back(c.patch);
  PatchSheet sheet(patches, kFamilySpaces,
                   {Stream("/N 3", std::string(profile.begin(), profile.end())),
                    Stream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1]",
                           "{ dup 1 exch sub exch 0.5 mul 0.25 }"),
                    Stream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", "{ 2 copy add 2 div }")});
  const std::vector<Pixel> poppler = sheet.Poppler(), mupdf = sheet.MuPDF();
  ASSERT_EQ(poppler.size(), cases.size()) << "pdftoppm (poppler-utils)";
  ASSERT_EQ(mupdf.size(), cases.size()) << "mutool (mupdf-tools)";
  const std::vector<Pixel> ours = sheet.Ours();
  for (size_t i = 0; i < cases.size(); ++i) {
    const Pixel& reference =
        cases[i].reference == kPoppler ? poppler[i] : cases[i].reference == kMuPDF ? mupdf[i] : cases[i].exact;
    // Greys stay grey.
    if (cases[i].patch.components.size() == 1 && cases[i].patch.space != "Idx" && cases[i].patch.space != "SepRGB") {
      EXPECT_TRUE(ours[i].c[0] == ours[i].c[1] && ours[i].c[1] == ours[i].c[2]) << Text(ours[i]);
    }
    std::printf("%-10s ours %-12s poppler %-12s mupdf %s\n", cases[i].patch.space.c_str(), Text(ours[i]).c_str(),
                Text(poppler[i]).c_str(), Text(mupdf[i]).c_str());
    EXPECT_LE(Largest(ours[i], reference), cases[i].tolerance) << cases[i].patch.space << " patch " << i;
  }
}

// Primaries, secondaries, greys, rich blacks and tints.
const std::vector<std::vector<double>> kCMYKPatches = {
    {1, 0, 0, 0},   {0, 1, 0, 0},       {0, 0, 1, 0},       {0, 0, 0, 1},         {0, 1, 1, 0},
    {1, 0, 1, 0},   {1, 1, 0, 0},       {0, 0, 0, 0.25},    {0, 0, 0, 0.5},       {0, 0, 0, 0.75},
    {0, 0, 0, 0},   {0.6, 0.4, 0.4, 1}, {1, 1, 1, 1},       {0.5, 0, 0, 0},       {0, 0.5, 0, 0},
    {0, 0, 0.5, 0}, {0.2, 0.3, 0.6, 0.1}, {0.7, 0.1, 0.2, 0.3}, {0.25, 0.25, 0.25, 0}, {0.1, 0.8, 0.9, 0.05},
};

TEST(ColorSpacePeers, DeviceCMYKAgainstPeers) {
  std::vector<Patch> patches;
  for (const auto& cmyk : kCMYKPatches) patches.push_back({"DeviceCMYK", cmyk});
  PatchSheet sheet(patches, "", {});
  const std::vector<Pixel> ours = sheet.Ours(), poppler = sheet.Poppler(), mupdf = sheet.MuPDF();
  ASSERT_EQ(poppler.size(), patches.size()) << "pdftoppm (poppler-utils)";
  ASSERT_EQ(mupdf.size(), patches.size()) << "mutool (mupdf-tools)";
  for (size_t i = 0; i < patches.size(); ++i) {
    const auto& c = kCMYKPatches[i];
    std::printf("CMYK %.2f %.2f %.2f %.2f: ours %-12s poppler %-12s mupdf %-12s (largest: %d, %d)\n", c[0], c[1],
                c[2], c[3], Text(ours[i]).c_str(), Text(poppler[i]).c_str(), Text(mupdf[i]).c_str(),
                Largest(ours[i], poppler[i]), Largest(ours[i], mupdf[i]));
  }
  const std::vector<double> even(patches.size(), 1.0);
  const Spread toPoppler = Measure(ours, poppler, even), toMuPDF = Measure(ours, mupdf, even),
               between = Measure(poppler, mupdf, even);
  std::printf("DeviceCMYK patches: largest %d mean %.1f from poppler, largest %d mean %.1f from mupdf "
              "(the two peers: largest %d mean %.1f)\n",
              toPoppler.largest, toPoppler.mean, toMuPDF.largest, toMuPDF.mean, between.largest, between.mean);
  // Paper is white and the four-ink black black.
  EXPECT_EQ(Largest(ours[10], Pixel{{255, 255, 255}}), 0);
  EXPECT_LE(Largest(ours[12], Pixel{{0, 0, 0}}), 1);
  // Close to the colour-managed look (poppler's), much closer than the
  // peers are to each other. (Measured: largest 27, mean 6.7.)
  EXPECT_LE(toPoppler.largest, 35);
  EXPECT_LT(toPoppler.mean, 10);
}

TEST(ColorSpacePeers, CorpusCMYKPalette) {
  // The corpus's CMYK photograph: an Indexed image over DeviceCMYK. Its
  // 256 palette colours are painted as patches and weighed by how many of
  // the image's pixels use each, so the means are per pixel of the page.
  const std::string dir = test::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  const std::string file = dir + "/pypdf__023-cmyk-image_cmyk-image.pdf";
  const std::string samples = test::RunShell("qpdf --show-object=5 --filtered-stream-data '" + file + "'").out;
  ASSERT_EQ(samples.size(), 756u * 1008u);
  std::vector<double> uses(256, 0.0);
  for (unsigned char index : samples) uses[index] += 1;
  // The palette, read by our engine from the corpus file.
  std::string palette;
  {
    AppContext context;
    Owned<store::DocumentStore> store(context);
    test::CorpusFile corpus;
    corpus.path = file;
    ASSERT_EQ(test::OpenCorpusDocument(context, corpus, store), -1);
    document::StoreResolver resolver(*store);
    DocumentColorSpaces spaces(resolver);
    ASSERT_EQ(test::RaisedCode(context, [&] {
                ResolvedValue image(context), space(context), none(context);
                resolver.GetIndirectObject(document::ObjectId{5, 0}, image);
                document::GetResolved(resolver, image, "ColorSpace", space);
                ColorSpaceRef indexed(context);
                spaces.Resolve(indexed, space, none);
                ASSERT_EQ(indexed.kind, kIndexedSpace);
                const auto& table = static_cast<const IndexedColorSpace&>(*indexed.space);
                ASSERT_EQ(table.HighestIndex(), 255u);
                palette.assign(reinterpret_cast<const char*>(table.Lookup()), 256 * 4);
              }),
              -1);
  }
  std::string hex;
  for (unsigned char b : palette) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    hex.append(two);
  }
  std::vector<Patch> patches;
  for (int i = 0; i < 256; ++i) patches.push_back({"P", {static_cast<double>(i)}});
  PatchSheet sheet(patches, "/P [/Indexed /DeviceCMYK 255 <" + hex + ">]", {});
  const std::vector<Pixel> ours = sheet.Ours(), poppler = sheet.Poppler(), mupdf = sheet.MuPDF();
  ASSERT_EQ(poppler.size(), patches.size()) << "pdftoppm (poppler-utils)";
  ASSERT_EQ(mupdf.size(), patches.size()) << "mutool (mupdf-tools)";
  const Spread toPoppler = Measure(ours, poppler, uses), toMuPDF = Measure(ours, mupdf, uses),
               between = Measure(poppler, mupdf, uses);
  std::printf("corpus CMYK page, per pixel: largest %d mean %.1f from poppler, largest %d mean %.1f from mupdf "
              "(the two peers: largest %d mean %.1f)\n",
              toPoppler.largest, toPoppler.mean, toMuPDF.largest, toMuPDF.mean, between.largest, between.mean);
  // Measured: mean 13.8 per pixel from poppler (the peers: 21.4).
  EXPECT_LT(toPoppler.mean, 18);
}

}  // namespace
}  // namespace vn::pdf::pdfcolor
