// ICC profiles: the input is a profile's bytes. It is read and converted
// to the display and from it (its inverse pipeline) in 16.16 for each
// intent. When the input's last byte is odd, a byte converter is built
// too for profiles of up to three channels (sampling a four-channel
// pipeline onto its grid takes long enough to slow the search tenfold).
#include "color/builtin_profiles.h"
#include "color/icc_color_space.h"
#include "fuzz/fuzz_context.h"
#include "runtime/engine_new.h"

namespace {

// Colours in and beyond 0..1, as many channels as any space has.
template <class Converter>
void Convert(const Converter& converter) {
  vn::Fixed16_16 in[vn::color::kMaxColorChannels], out[vn::color::kMaxColorChannels];
  for (int color = 0; color < 3; ++color) {
    for (uint32_t i = 0; i < vn::color::kMaxColorChannels; ++i) {
      in[i] = color == 0 ? 0 : color == 1 ? static_cast<vn::Fixed16_16>(i * 9000) : (i % 2 ? -5 : 0x7FFFFFFF);
    }
    converter.ConvertPixel(out, 1, in, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > vn::color::kMaxProfileBytes) return 0;
  const bool rows = size > 0 && (data[size - 1] & 1) != 0;
  vn::fuzz::RunGuarded(
      [&](vn::AppContext& context) {
        vn::Ref<vn::color::ICCColorSpace> profile(
            context, vn::color::MakeICCColorSpace(context, data, static_cast<uint32_t>(size)));
        vn::Ref<vn::color::ICCColorSpace> display(
            context, vn::color::MakeDisplaySpace(context, vn::color::DisplayProfile::kSRGB));
        for (int32_t intent = 0; intent < 4; ++intent) {
          vn::Ref<vn::color::FixedColorConverter> from(context,
                                                      profile->MakeFixedConverter(context, *display, intent));
          Convert(*from);
          vn::fuzz::Guarded(context, [&] {
            vn::Ref<vn::color::FixedColorConverter> to(context,
                                                      display->MakeFixedConverter(context, *profile, intent));
            Convert(*to);
          });
        }
        if (!rows || profile->Components() > 3) return;
        vn::Ref<vn::color::ByteColorConverter> bytes(context,
                                                    profile->MakeByteConverter(context, *display, 0));
        uint8_t in[2 * vn::color::kMaxColorChannels], out[2 * vn::color::kMaxColorChannels];
        for (uint32_t i = 0; i < sizeof in; ++i) in[i] = static_cast<uint8_t>(i * 53);
        bytes->ConvertRun(in, out, 0, 2);
      },
      vn::fuzz::StrictLimits());
  return 0;
}
