// Colour conversion of image rows: a 1-megapixel set of rows (1024 rows of
// 1024 pixels) through each byte-converter kind to the sRGB display, in
// megapixels per second ("MP/s"):
//   RGB matrix/TRC  an embedded AdobeRGB-compatible profile
//   CMYK table      DeviceCMYK (the built-in CMYK profile)
//   Indexed         256 entries over DeviceRGB
//   Separation      a Type 4 tint transform into DeviceCMYK
// Beside each, lcms2 (8-bit transforms, its default optimisations) does the
// same conversion in the same run: the same profiles for RGB and CMYK, and
// for Indexed and Separation the base colours the palette or the tint
// transform gives (what converting without our lookup tables would cost).
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "color/builtin_profiles.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "runtime/app_context.h"
#include "support/corpus.h"
#include "support/memory_document.h"
#include "support/test_context.h"

namespace {

constexpr uint32_t kWidth = 1024;
constexpr uint32_t kRows = 1024;

std::string Stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// Varied samples: a row of `channels` bytes a pixel; each row shifted.
std::vector<uint8_t> Samples(uint32_t channels) {
  std::vector<uint8_t> row(static_cast<size_t>(kWidth + kRows) * channels);
  uint32_t state = 12345;
  for (uint8_t& b : row) {
    state = state * 1103515245 + 12345;
    b = static_cast<uint8_t>(state >> 16);
  }
  return row;
}

// A document with the benchmark's colour spaces, and a converter of one.
class ColorSetup {
 public:
  explicit ColorSetup(const char* name) : document_(context_), converter_(context_) {
    const std::vector<unsigned char> profile =
        vn::test::ReadWholeFile("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
    std::string palette;
    for (int i = 0; i < 256; ++i) palette += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i * 7)};
    document_.Builder().Add(3, "<< /ColorSpace << /RGB [/ICCBased 4 0 R] /Idx [/Indexed /DeviceRGB 255 5 0 R] "
                               "/Sep [/Separation /Spot /DeviceCMYK 6 0 R] >> >>");
    document_.Builder().Add(4, Stream("/N 3", std::string(profile.begin(), profile.end())));
    document_.Builder().Add(5, Stream("", palette));
    document_.Builder().Add(6, Stream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1 0 1]",
                                      "{ dup 0.8 mul exch dup 0.3 mul exch dup mul 0 }"));
    document_.Open();
    spaces_ = std::make_unique<vn::pdf::pdfcolor::DocumentColorSpaces>(document_.Resolver());
    vn::test::RaisedCode(context_, [&] {
      vn::pdf::document::ResolvedValue resources(context_);
      document_.Get(3, resources);
      vn::pdf::pdfcolor::ColorSpaceRef space(context_);
      spaces_->ResolveName(space, reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(std::strlen(name)),
                           resources);
      spaces_->GetByteConverter(converter_, space, vn::color::kRelativeColorimetric);
    });
  }
  const vn::color::ByteColorConverter* Converter() const { return converter_.get(); }

 private:
  vn::AppContext context_;
  vn::test::MemoryDocument document_;
  std::unique_ptr<vn::pdf::pdfcolor::DocumentColorSpaces> spaces_;
  vn::Ref<vn::color::ByteColorConverter> converter_;
};

void Rate(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(static_cast<double>(kWidth) * kRows / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void Ours(benchmark::State& state, const char* space) {
  ColorSetup setup(space);
  const vn::color::ByteColorConverter* converter = setup.Converter();
  if (converter == nullptr) {
    state.SkipWithError("the colour space did not resolve");
    return;
  }
  const uint32_t channels = converter->Inputs();
  const std::vector<uint8_t> samples = Samples(channels);
  std::vector<uint8_t> rgb(kWidth * 3);
  for (auto _ : state) {
    for (uint32_t row = 0; row < kRows; ++row) {
      converter->ConvertRun(samples.data() + row * channels, rgb.data(), 0, kWidth);
    }
    benchmark::DoNotOptimize(rgb.data());
  }
  Rate(state);
}

// lcms2 from `profile` (null: built-in sRGB) in `format` to sRGB; `expand`
// turns the samples into that format first (outside the timing).
void Lcms(benchmark::State& state, cmsHPROFILE profile, cmsUInt32Number format, uint32_t channels,
          const std::vector<uint8_t>& samples) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM transform = cmsCreateTransform(profile, format, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  std::vector<uint8_t> rgb(kWidth * 3);
  for (auto _ : state) {
    for (uint32_t row = 0; row < kRows; ++row) {
      cmsDoTransform(transform, samples.data() + row * channels, rgb.data(), kWidth);
    }
    benchmark::DoNotOptimize(rgb.data());
  }
  Rate(state);
  cmsDeleteTransform(transform);
  cmsCloseProfile(srgb);
  cmsCloseProfile(profile);
}

cmsHPROFILE OpenFile(const char* path) {
  const std::vector<unsigned char> bytes = vn::test::ReadWholeFile(path);
  return cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
}
cmsHPROFILE BuiltinCMYK() {
  return cmsOpenProfileFromMem(vn::color::kBuiltinCMYKProfile, vn::color::kBuiltinCMYKProfileSize);
}

// The base colours of the Indexed and Separation samples.
std::vector<uint8_t> PaletteColors() {
  const std::vector<uint8_t> indices = Samples(1);
  std::vector<uint8_t> rgb;
  for (uint8_t i : indices) rgb.insert(rgb.end(), {i, static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
  return rgb;
}
std::vector<uint8_t> TintColors() {
  const std::vector<uint8_t> tints = Samples(1);
  std::vector<uint8_t> cmyk;
  for (uint8_t t : tints) {
    cmyk.insert(cmyk.end(), {static_cast<uint8_t>(t * 0.8), static_cast<uint8_t>(t * 0.3),
                             static_cast<uint8_t>(t * t / 255), 0});
  }
  return cmyk;
}

void BM_Color_RGBMatrixTRC(benchmark::State& s) { Ours(s, "RGB"); }
void BM_Color_RGBMatrixTRC_lcms(benchmark::State& s) {
  Lcms(s, OpenFile("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc"), TYPE_RGB_8, 3, Samples(3));
}
void BM_Color_CMYKTable(benchmark::State& s) { Ours(s, "DeviceCMYK"); }
void BM_Color_CMYKTable_lcms(benchmark::State& s) { Lcms(s, BuiltinCMYK(), TYPE_CMYK_8, 4, Samples(4)); }
void BM_Color_Indexed(benchmark::State& s) { Ours(s, "Idx"); }
void BM_Color_Indexed_lcms(benchmark::State& s) { Lcms(s, cmsCreate_sRGBProfile(), TYPE_RGB_8, 3, PaletteColors()); }
void BM_Color_SeparationType4(benchmark::State& s) { Ours(s, "Sep"); }
void BM_Color_SeparationType4_lcms(benchmark::State& s) { Lcms(s, BuiltinCMYK(), TYPE_CMYK_8, 4, TintColors()); }

}  // namespace

BENCHMARK(BM_Color_RGBMatrixTRC)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_RGBMatrixTRC_lcms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_CMYKTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_CMYKTable_lcms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_Indexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_Indexed_lcms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_SeparationType4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Color_SeparationType4_lcms)->Unit(benchmark::kMillisecond);
