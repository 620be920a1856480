// ICC colour spaces: a profile read from its bytes (an embedded profile,
// a built-in one, or one generated in memory for the device and calibrated
// spaces), and the converters between two of them.
//
// A profile is usable when it has an A2B lookup table, or is an RGB
// profile with an XYZ connection space and the six colorant and curve tags,
// or a gray profile with a gray curve. Converting goes through the source's
// forward pipeline (data to connection space), a Lab/XYZ bridge when the
// two connection spaces differ, and the destination's inverse pipeline.
// Perceptual, relative colorimetric and saturation intents connect through
// the D50 white, so paper white stays white; absolute colorimetric is
// handled as relative colorimetric.
#pragma once

#include <cstdint>

#include "color/color_space.h"
#include "color/icc_pipeline.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::color {

// Four-character signatures.
constexpr uint32_t Signature(const char (&text)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) | static_cast<uint8_t>(text[3]);
}

// Profiles larger than this are not read (kUnsupported).
inline constexpr uint32_t kMaxProfileBytes = 4u << 20;

class ICCColorSpace final : public ColorSpace {
 public:
  // Use MakeICCColorSpace.
  explicit ICCColorSpace(AppContext& context);
  ~ICCColorSpace() override;

  bool IsSubtractive() const override { return dataSpace_ == Signature("CMYK") || dataSpace_ == Signature("CMY "); }
  ByteColorConverter* MakeByteConverter(AppContext& context, const ICCColorSpace& destination,
                                        int32_t intent) const override;
  FixedColorConverter* MakeFixedConverter(AppContext& context, const ICCColorSpace& destination,
                                          int32_t intent) const override;

  uint32_t DeviceClass() const { return deviceClass_; }
  uint32_t DataSpace() const { return dataSpace_; }
  uint32_t ConnectionSpace() const { return pcs_; }
  bool IsLab() const { return dataSpace_ == Signature("Lab "); }
  // The media white point ("wtpt", or the header's illuminant).
  const Fixed16_16* MediaWhite() const { return white_; }
  // Same profile bytes (so converting between the two is the identity).
  bool SameProfile(const ICCColorSpace& other) const;
  uint32_t MemorySize() const;

  // The pipeline from this profile's data to `destination`'s, shared by
  // the converters (made with New; no reference yet).
  color_detail::ICCPipeline* MakePipeline(const ICCColorSpace& destination, int32_t intent) const;

  // Reading: the steps of MakeICCColorSpace.
  void Read(const uint8_t* bytes, uint32_t length);

 private:
  struct TagEntry {
    uint32_t signature;
    uint32_t offset;
    uint32_t size;
  };
  const TagEntry* FindTag(uint32_t signature) const;
  // The forward (data to PCS) or inverse (PCS to data) pipeline for an
  // intent, built once and kept.
  const color_detail::ICCPipeline& Forward(int32_t intent) const;
  const color_detail::ICCPipeline& Inverse(int32_t intent) const;
  void BuildForward(color_detail::ICCPipeline& pipeline, int32_t intent) const;
  void BuildInverse(color_detail::ICCPipeline& pipeline, int32_t intent) const;
  // The lut tag for `intent` among "A2B0".."A2B2" (or "B2A0"..), falling
  // back to intent 0, then to the others; null when there is none.
  const TagEntry* LutFor(const char (&base)[5], int32_t intent) const;
  bool SameTagData(const TagEntry& tag, const ICCColorSpace& other, const TagEntry& otherTag) const;
  // The matrix of the rXYZ, gXYZ and bXYZ columns, row by row (the tags
  // must be present).
  void ReadMatrix(Fixed16_16* m) const;
  // A gray profile to an RGB matrix/TRC profile with one curve for all
  // three channels and primaries that add up to the white: grey maps to
  // equal RGB, so the conversion runs along the grey axis alone (the
  // gray curve, the inverse RGB curve, the value on all three channels)
  // and stays exactly neutral.
  bool NeutralTo(const ICCColorSpace& destination, int32_t intent) const;
  void AppendNeutral(color_detail::ICCPipeline& pipeline, const ICCColorSpace& destination) const;

  AppContext& context_;
  EngineArray<uint8_t> bytes_;
  EngineArray<TagEntry> tags_;
  uint64_t fingerprint_ = 0;
  uint32_t deviceClass_ = 0;
  uint32_t dataSpace_ = 0;
  uint32_t pcs_ = 0;
  Fixed16_16 white_[3] = {};
  mutable color_detail::ICCPipeline* forward_[3] = {};
  mutable color_detail::ICCPipeline* inverse_[3] = {};
};

// Reads a profile. Raises kBadData for a malformed header, tag table or tag
// data, a class other than "mntr", "prtr", "scnr" and "spac", or a profile
// without the tags a usable profile needs; kUnsupported for data spaces and
// sizes the engine does not handle. The result has no reference yet.
ICCColorSpace* MakeICCColorSpace(AppContext& context, const uint8_t* bytes, uint32_t length);

// Channel count of an ICC data-space signature, 0 when unsupported.
uint32_t ChannelsOfDataSpace(uint32_t signature);

}  // namespace vn::color
