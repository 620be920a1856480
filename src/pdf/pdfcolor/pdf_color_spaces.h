// The PDF colour spaces of one document, and the interface the renderer
// uses to turn colour operands and image samples into display colours.
//
// Typical use by a render consumer:
//
//   DocumentColorSpaces colors(resolver);               // once per document
//   ColorSpaceRef fill(context);
//   colors.ResolveName(fill, name, length, resources);  // "cs" operand
//   colors.DeviceSpace(fill, 3, resources);             // "rg" (DefaultRGB honoured)
//   colors.ToRGB(fill, components, intent, rgb);        // "sc"/"scn"/"rg": 16.16 -> RGB bytes
//   Ref<color::ByteColorConverter> rows(context);
//   colors.GetByteConverter(rows, imageSpace, intent);  // image samples -> RGB bytes
//   rows->ConvertRun(samples, rgb, 0, width);
//   Ref<color::FixedColorConverter> shade(context);
//   colors.GetFixedConverter(shade, space, intent);     // shading function outputs -> 16.16 RGB
//
// Inline images resolve their "ColorSpace" with kInlineImage (the
// abbreviations "G", "RGB", "CMYK", "I"). A ColorSpaceRef with
// paintsNothing set (Separation "None") must mark nothing; a pattern space
// (kind kPatternSpace) with no components has no colour of its own.
// Converters are cached per space and intent; resolving and converter
// construction raise, converting never does.
//
// Every space converts to the display profile chosen at construction:
// color::DisplayProfile::kSRGB (the default: DeviceGray and DeviceRGB pass
// through unchanged) or kHandheldLCD (the handheld's screen profile, with
// gamma 2.2 device spaces). Output is RGB, 3 bytes per pixel, in that order.
#pragma once

#include <cstdint>

#include "color/builtin_profiles.h"
#include "pdf/document/object_resolver.h"
#include "pdf/pdfcolor/color_space_ref.h"
#include "pdf/pdfcolor/cs_array.h"
#include "runtime/cache_manager.h"

namespace vn::pdf::pdfcolor {

// Options of a resolution.
enum ResolveOption : uint32_t {
  // The abbreviations "G", "RGB", "CMYK", "I" (inline images only).
  kInlineImage = 1,
  // Default colour spaces are not substituted (their own resolution).
  kNoDefaults = 2,
};

enum class CalibratedFamily : int32_t { kCalGray, kCalRGB, kLab };

// A calibrated space's parameters: the family, then white point, black
// point, gammas, matrix and Lab range.
struct CalibratedKey {
  CalibratedFamily family;
  Fixed16_16 values[22];
  bool operator==(const CalibratedKey&) const = default;
};
inline uint32_t CacheKeyHash(const CalibratedKey& key) {
  uint64_t hash = static_cast<uint64_t>(key.family);
  for (Fixed16_16 v : key.values) hash = hash * 1099511628211ull + static_cast<uint32_t>(v);
  return vn::CacheKeyHash(hash);
}

struct ConverterKey {
  const void* space;
  int32_t intent;
  int32_t signal;  // 0 bytes, 1 fixed
  bool operator==(const ConverterKey&) const = default;
};
inline uint32_t CacheKeyHash(const ConverterKey& key) {
  return vn::CacheKeyHash(reinterpret_cast<uintptr_t>(key.space) * 31 + key.intent * 2 + key.signal);
}

class DocumentColorSpaces {
 public:
  explicit DocumentColorSpaces(document::ObjectResolver& resolver,
                               color::DisplayProfile display = color::DisplayProfile::kSRGB);
  DocumentColorSpaces(const DocumentColorSpaces&) = delete;
  DocumentColorSpaces& operator=(const DocumentColorSpaces&) = delete;

  AppContext& Context() const { return context_; }
  document::ObjectResolver& Resolver() const { return resolver_; }

  // A colour space given by a name (an operand of "cs"/"CS", or an image's
  // "ColorSpace") or an array. `resources` may be null (then only device
  // names resolve). `disallowed` is a set of ColorSpaceKind bits; meeting
  // one raises kBadData. Malformed spaces raise kBadData; broken embedded
  // profiles and defaults fall back as PDF viewers do.
  void Resolve(ColorSpaceRef& out, const document::ResolvedValue& space, const document::ResolvedValue& resources,
               uint32_t options = 0, uint32_t disallowed = 0);
  void ResolveName(ColorSpaceRef& out, const uint8_t* name, uint32_t length,
                   const document::ResolvedValue& resources, uint32_t options = 0, uint32_t disallowed = 0);

  // The device spaces for "g"/"G", "rg"/"RG", "k"/"K" (Default* honoured
  // when `resources` holds them).
  void DeviceSpace(ColorSpaceRef& out, uint32_t components, const document::ResolvedValue& resources);

  // Converters from `space` to the display (cached; RGB out).
  void GetByteConverter(Ref<color::ByteColorConverter>& out, const ColorSpaceRef& space, int32_t intent);
  void GetFixedConverter(Ref<color::FixedColorConverter>& out, const ColorSpaceRef& space, int32_t intent);
  // One colour (16.16 components as the operators give them) to RGB bytes.
  void ToRGB(const ColorSpaceRef& space, const Fixed16_16* components, int32_t intent, uint8_t* rgb);

  color::ICCColorSpace& Display();
  color::ICCColorSpace& Gray();
  color::ICCColorSpace& RGB();
  color::ICCColorSpace& CMYK();

 private:
  void ResolveValue(ColorSpaceRef& out, const document::ResolvedValue& space, const document::ResolvedValue& resources,
                    uint32_t options, uint32_t disallowed, uint32_t depth);
  void ResolveFamily(ColorSpaceRef& out, const CSArray& array, const document::ResolvedValue& resources,
                     uint32_t options, uint32_t disallowed, uint32_t depth);
  void Device(ColorSpaceRef& out, uint32_t components, const document::ResolvedValue& resources, uint32_t options,
              uint32_t depth);
  // The families (color_space_families.cpp).
  void ICCBased(ColorSpaceRef& out, const CSArray& array, const document::ResolvedValue& resources, uint32_t options,
                uint32_t depth);
  void Calibrated(ColorSpaceRef& out, const CSArray& array, CalibratedFamily family);
  void Indexed(ColorSpaceRef& out, const CSArray& array, const document::ResolvedValue& resources, uint32_t options,
               uint32_t depth);
  void Colorant(ColorSpaceRef& out, const CSArray& array, const document::ResolvedValue& resources, uint32_t options,
                uint32_t depth, bool deviceN);
  void Pattern(ColorSpaceRef& out, const CSArray& array, const document::ResolvedValue& resources, uint32_t options,
               uint32_t depth);
  color::ICCColorSpace& Builtin(int32_t which);

  AppContext& context_;
  document::ObjectResolver& resolver_;
  color::DisplayProfile display_;
  Ref<color::ICCColorSpace> builtin_[4];  // display, gray, RGB, CMYK
  // ICCBased spaces by their profile stream's object number; calibrated
  // spaces by their parameters (their dictionaries are often direct
  // objects, which have no number); converters by space.
  CacheSet<int32_t> profileSpaces_;
  CacheSet<CalibratedKey> calibratedSpaces_;
  CacheSet<ConverterKey> converters_;
};

}  // namespace vn::pdf::pdfcolor
