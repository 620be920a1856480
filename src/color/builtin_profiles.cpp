#include "color/builtin_profiles.h"

#include "runtime/engine_array.h"
#include "runtime/error.h"

namespace vn::color {

namespace {

// Writes a small profile: header, tag table, tags.
class ProfileWriter {
 public:
  ProfileWriter(AppContext& context, uint32_t deviceClass, uint32_t dataSpace, uint32_t pcs)
      : bytes_(context), tags_(context) {
    bytes_.Resize(128);
    Put32(4, Signature("none"));
    Put32(8, 0x02100000);  // version 2.1.0
    Put32(12, deviceClass);
    Put32(16, dataSpace);
    Put32(20, pcs);
    Put32(36, Signature("acsp"));
    Put32(68, static_cast<uint32_t>(kD50White[0]));
    Put32(72, static_cast<uint32_t>(kD50White[1]));
    Put32(76, static_cast<uint32_t>(kD50White[2]));
  }

  void AddXYZ(uint32_t signature, const Fixed16_16* xyz) {
    uint32_t at = BeginTag(signature, Signature("XYZ "));
    for (int i = 0; i < 3; ++i) Append32(static_cast<uint32_t>(xyz[i]));
    EndTag(at);
  }
  void AddCurve(uint32_t signature, ToneCurve curve) {
    uint32_t at = BeginTag(signature, Signature("para"));
    if (curve.srgb) {
      // Y = ((X + 0.055) / 1.055)^2.4 above 0.04045, X / 12.92 below.
      Append32(3u << 16);  // function type 3, reserved
      static constexpr Fixed16_16 kParameters[5] = {157286, 62119, 3417, 5072, 2651};
      for (Fixed16_16 p : kParameters) Append32(static_cast<uint32_t>(p));
    } else {
      Append32(0);  // function type 0, reserved
      Append32(static_cast<uint32_t>(curve.gamma));
    }
    EndTag(at);
  }
  void AddGammaCurv(uint32_t signature, uint16_t gamma88) {
    uint32_t at = BeginTag(signature, Signature("curv"));
    Append32(1);
    bytes_.Push(static_cast<uint8_t>(gamma88 >> 8));
    bytes_.Push(static_cast<uint8_t>(gamma88));
    EndTag(at);
  }
  ICCColorSpace* Make(AppContext& context) {
    // Tag table between the header and the tag data.
    EngineArray<uint8_t> out(context);
    uint32_t tableBytes = 4 + 12 * tags_.Size();
    out.Resize(bytes_.Size() + tableBytes);
    for (uint32_t i = 0; i < 128; ++i) out[i] = bytes_[i];
    auto put = [&](uint32_t at, uint32_t v) {
      out[at] = static_cast<uint8_t>(v >> 24);
      out[at + 1] = static_cast<uint8_t>(v >> 16);
      out[at + 2] = static_cast<uint8_t>(v >> 8);
      out[at + 3] = static_cast<uint8_t>(v);
    };
    put(0, out.Size());
    put(128, tags_.Size());
    for (uint32_t i = 0; i < tags_.Size(); ++i) {
      put(132 + 12 * i, tags_[i].signature);
      put(136 + 12 * i, tags_[i].offset + tableBytes);
      put(140 + 12 * i, tags_[i].size);
    }
    for (uint32_t i = 128; i < bytes_.Size(); ++i) out[i + tableBytes] = bytes_[i];
    return MakeICCColorSpace(context, out.Data(), out.Size());
  }

 private:
  struct Tag {
    uint32_t signature, offset, size;
  };
  void Put32(uint32_t at, uint32_t v) {
    bytes_[at] = static_cast<uint8_t>(v >> 24);
    bytes_[at + 1] = static_cast<uint8_t>(v >> 16);
    bytes_[at + 2] = static_cast<uint8_t>(v >> 8);
    bytes_[at + 3] = static_cast<uint8_t>(v);
  }
  void Append32(uint32_t v) {
    uint32_t at = bytes_.Size();
    bytes_.Resize(at + 4);
    Put32(at, v);
  }
  uint32_t BeginTag(uint32_t signature, uint32_t type) {
    while (bytes_.Size() % 4 != 0) bytes_.Push(0);
    uint32_t at = bytes_.Size();
    tags_.Push(Tag{signature, at, 0});
    Append32(type);
    Append32(0);
    return at;
  }
  void EndTag(uint32_t at) { tags_.Back().size = bytes_.Size() - at; }

  EngineArray<uint8_t> bytes_;  // header and tag data (offsets before the table is inserted)
  EngineArray<Tag> tags_;
};

}  // namespace

ICCColorSpace* MakeGrayICCSpace(AppContext& context, const Fixed16_16* white, ToneCurve curve) {
  Scoped<ProfileWriter> writer(context, context, Signature("spac"), Signature("GRAY"), Signature("XYZ "));
  writer->AddXYZ(Signature("wtpt"), white);
  writer->AddCurve(Signature("kTRC"), curve);
  return writer->Make(context);
}

ICCColorSpace* MakeRGBICCSpace(AppContext& context, const Fixed16_16* white, const ToneCurve* curves,
                               const Fixed16_16* columns) {
  Scoped<ProfileWriter> writer(context, context, Signature("spac"), Signature("RGB "), Signature("XYZ "));
  writer->AddXYZ(Signature("wtpt"), white);
  writer->AddXYZ(Signature("rXYZ"), columns);
  writer->AddXYZ(Signature("gXYZ"), columns + 3);
  writer->AddXYZ(Signature("bXYZ"), columns + 6);
  writer->AddCurve(Signature("rTRC"), curves[0]);
  writer->AddCurve(Signature("gTRC"), curves[1]);
  writer->AddCurve(Signature("bTRC"), curves[2]);
  return writer->Make(context);
}

ICCColorSpace* MakeLabICCSpace(AppContext& context, const Fixed16_16* white) {
  Scoped<ProfileWriter> writer(context, context, Signature("spac"), Signature("Lab "), Signature("Lab "));
  writer->AddXYZ(Signature("wtpt"), white);
  return writer->Make(context);
}

ICCColorSpace* MakeDisplaySpace(AppContext& context, DisplayProfile profile) {
  if (profile == DisplayProfile::kSRGB) {
    const ToneCurve curves[3] = {kSRGBCurve, kSRGBCurve, kSRGBCurve};
    return MakeRGBICCSpace(context, kD50White, curves, kSRGBColumns);
  }
  // The handheld LCD: white (0.9514, 1.0, 1.1854), its primaries, and one
  // shared gamma of 2.1015625 (8.8 value 0x0219).
  static constexpr Fixed16_16 kWhite[3] = {62351, 65536, 77686};
  static constexpr Fixed16_16 kColumns[9] = {27630, 15788, 2209, 25533, 37382, 8244, 10027, 12360, 43614};
  Scoped<ProfileWriter> writer(context, context, Signature("mntr"), Signature("RGB "), Signature("XYZ "));
  writer->AddXYZ(Signature("wtpt"), kWhite);
  writer->AddXYZ(Signature("rXYZ"), kColumns);
  writer->AddXYZ(Signature("gXYZ"), kColumns + 3);
  writer->AddXYZ(Signature("bXYZ"), kColumns + 6);
  writer->AddGammaCurv(Signature("rTRC"), 0x0219);
  writer->AddGammaCurv(Signature("gTRC"), 0x0219);
  writer->AddGammaCurv(Signature("bTRC"), 0x0219);
  return writer->Make(context);
}

ICCColorSpace* MakeBuiltinCMYKSpace(AppContext& context) {
  return MakeICCColorSpace(context, kBuiltinCMYKProfile, kBuiltinCMYKProfileSize);
}

}  // namespace vn::color
