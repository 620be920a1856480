// Resolving PDF colour spaces: names, resource look-ups, device spaces and
// their defaults, and the converters to the display. The families of
// colour-space arrays are in color_space_families.cpp.
#include <cstring>

#include "color/icc_color_space.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/pdfcolor/ranged_color_space.h"
#include "platform/clock.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::pdfcolor {

using document::ResolvedValue;
using store::Value;

namespace {

// Colour spaces nest (Indexed over ICCBased with an Alternate...) only a
// few levels in real files.
constexpr uint32_t kMaxNesting = 8;

enum Builtin { kDisplay = 0, kGray = 1, kRGB = 2, kCMYK = 3 };

constexpr Fixed16_16 kGamma22 = 144179;

bool Is(const uint8_t* bytes, uint32_t length, const char* name) {
  return std::strlen(name) == length && std::memcmp(bytes, name, length) == 0;
}

// Cached values: a converter and the space it converts (kept alive so the
// pointer key stays unique).
class ConverterEntry final : public RefCounted {
 public:
  ConverterEntry(AppContext& context, color::ColorSpace* space, RefCounted* converter, uint32_t size)
      : space(context, space), converter(context, converter), size(size) {}
  Ref<color::ColorSpace> space;
  Ref<RefCounted> converter;
  uint32_t size;
};

// A converter of `space` from `converters`, made by `make` on a miss.
template <class Converter, class Make>
void CachedConverter(AppContext& context, CacheSet<ConverterKey>& converters, const ConverterKey& key,
                     color::ColorSpace* space, Ref<Converter>& out, Make&& make) {
  if (RefCounted* cached = converters.Find(key)) {
    out.Set(static_cast<Converter*>(static_cast<ConverterEntry*>(cached)->converter.get()));
    return;
  }
  const uint64_t started = platform::QueryCounter();
  out.Set(make());
  Ref<ConverterEntry> entry(context, New<ConverterEntry>(context, context, space, out.get(), out->MemorySize()));
  converters.Insert(key, entry.get(), platform::QueryCounter() - started, entry->size);
}

}  // namespace

DocumentColorSpaces::DocumentColorSpaces(document::ObjectResolver& resolver, color::DisplayProfile display)
    : context_(resolver.Context()),
      resolver_(resolver),
      display_(display),
      builtin_{Ref<color::ICCColorSpace>(context_), Ref<color::ICCColorSpace>(context_),
               Ref<color::ICCColorSpace>(context_), Ref<color::ICCColorSpace>(context_)},
      profileSpaces_(context_),
      calibratedSpaces_(context_),
      converters_(context_) {}

color::ICCColorSpace& DocumentColorSpaces::Builtin(int32_t which) {
  Ref<color::ICCColorSpace>& slot = builtin_[which];
  if (!slot) {
    // On the sRGB display, DeviceGray and DeviceRGB carry sRGB's tone
    // curve and primaries, so they pass through unchanged, as every peer
    // viewer shows them. For the handheld's LCD they are the classic
    // gamma 2.2 spaces with the same primaries.
    const color::ToneCurve curve =
        display_ == color::DisplayProfile::kSRGB ? color::kSRGBCurve : color::ToneCurve{false, kGamma22};
    const color::ToneCurve curves[3] = {curve, curve, curve};
    switch (which) {
      case kDisplay: slot.Set(color::MakeDisplaySpace(context_, display_)); break;
      case kGray: slot.Set(color::MakeGrayICCSpace(context_, color::kD50White, curve)); break;
      case kRGB: slot.Set(color::MakeRGBICCSpace(context_, color::kD50White, curves, color::kSRGBColumns)); break;
      default: slot.Set(color::MakeBuiltinCMYKSpace(context_)); break;
    }
  }
  return *slot;
}

color::ICCColorSpace& DocumentColorSpaces::Display() { return Builtin(kDisplay); }
color::ICCColorSpace& DocumentColorSpaces::Gray() { return Builtin(kGray); }
color::ICCColorSpace& DocumentColorSpaces::RGB() { return Builtin(kRGB); }
color::ICCColorSpace& DocumentColorSpaces::CMYK() { return Builtin(kCMYK); }

void DocumentColorSpaces::Resolve(ColorSpaceRef& out, const ResolvedValue& space, const ResolvedValue& resources,
                                  uint32_t options, uint32_t disallowed) {
  ResolveValue(out, space, resources, options, disallowed, 0);
}

void DocumentColorSpaces::ResolveName(ColorSpaceRef& out, const uint8_t* name, uint32_t length,
                                      const ResolvedValue& resources, uint32_t options, uint32_t disallowed) {
  Arena arena(context_, 64, 64);
  Value value = store::MakeStringValue(arena, store::kName, name, length);
  ResolvedValue held(context_);
  held.Set(value, nullptr);
  ResolveValue(out, held, resources, options, disallowed, 0);
}

void DocumentColorSpaces::ResolveValue(ColorSpaceRef& out, const ResolvedValue& given, const ResolvedValue& resources,
                                       uint32_t options, uint32_t disallowed, uint32_t depth) {
  if (depth > kMaxNesting) RaiseBadData(context_);
  StackCheck(context_);
  ResolvedValue space(given);
  document::ResolveInPlace(resolver_, space);
  const Value& v = space.Get();
  if (v.IsArray()) {
    const CSArray array(resolver_, space);
    if (array.KindOf(0) != CSArray::kName) RaiseBadData(context_);
    // One-element arrays ("[/DeviceRGB]") name their family.
    if (array.Length() == 1) {
      ResolvedValue family(context_);
      array.Get(0, family);
      return ResolveValue(out, family, resources, options, disallowed, depth + 1);
    }
    return ResolveFamily(out, array, resources, options, disallowed, depth);
  }
  if (!v.IsName()) RaiseBadData(context_);
  const uint8_t* name = v.Bytes();
  const uint32_t length = v.Length();
  const bool inlineImage = (options & kInlineImage) != 0;
  auto allow = [&](uint32_t kind) {
    if (disallowed & kind) RaiseBadData(context_);
  };
  uint32_t device = 0;
  if (Is(name, length, "DeviceGray") || (inlineImage && Is(name, length, "G"))) device = 1;
  if (Is(name, length, "DeviceRGB") || (inlineImage && Is(name, length, "RGB"))) device = 3;
  if (Is(name, length, "DeviceCMYK") || Is(name, length, "CalCMYK") || (inlineImage && Is(name, length, "CMYK"))) {
    device = 4;
  }
  if (device != 0) {
    allow(kPlainSpace);
    return Device(out, device, resources, options, depth);
  }
  if (Is(name, length, "Pattern")) {
    allow(kPatternSpace);
    out.Set(kPatternSpace, New<PatternColorSpace>(context_, context_, nullptr));
    return;
  }
  // Families that need their parameters cannot stand alone.
  static const char* const kFamilies[] = {"ICCBased", "CalGray", "CalRGB", "Lab", "Indexed", "Separation", "DeviceN"};
  for (const char* family : kFamilies) {
    if (Is(name, length, family)) RaiseBadData(context_);
  }
  // A resource name; what it names may not be another resource name.
  if (resources.Get().IsNull()) RaiseBadData(context_);
  ResolvedValue named(context_);
  document::LookupResource(resolver_, resources, "ColorSpace", name, length, named, nullptr);
  document::ResolveInPlace(resolver_, named);
  if (named.Get().IsName()) {
    // Resolved by name once more, but never looked up again.
    ResolvedValue none(context_);
    return ResolveValue(out, named, none, options, disallowed, depth + 1);
  }
  if (!named.Get().IsArray()) RaiseBadData(context_);
  ResolveValue(out, named, resources, options, disallowed, depth + 1);
}

void DocumentColorSpaces::ResolveFamily(ColorSpaceRef& out, const CSArray& array, const ResolvedValue& resources,
                                        uint32_t options, uint32_t disallowed, uint32_t depth) {
  const bool inlineImage = (options & kInlineImage) != 0;
  auto allow = [&](uint32_t kind) {
    if (disallowed & kind) RaiseBadData(context_);
  };
  if (array.NameIs(0, "ICCBased")) {
    allow(kPlainSpace);
    return ICCBased(out, array, resources, options, depth);
  }
  if (array.NameIs(0, "CalGray")) {
    allow(kPlainSpace);
    return Calibrated(out, array, CalibratedFamily::kCalGray);
  }
  if (array.NameIs(0, "CalRGB")) {
    allow(kPlainSpace);
    return Calibrated(out, array, CalibratedFamily::kCalRGB);
  }
  if (array.NameIs(0, "Lab")) {
    allow(kPlainSpace);
    return Calibrated(out, array, CalibratedFamily::kLab);
  }
  if (array.NameIs(0, "Indexed") || (inlineImage && array.NameIs(0, "I"))) {
    allow(kIndexedSpace);
    return Indexed(out, array, resources, options, depth);
  }
  if (array.NameIs(0, "Separation") || array.NameIs(0, "DeviceN")) {
    allow(kColorantSpace);
    return Colorant(out, array, resources, options, depth, array.NameIs(0, "DeviceN"));
  }
  if (array.NameIs(0, "Pattern")) {
    allow(kPatternSpace);
    return Pattern(out, array, resources, options, depth);
  }
  // Device names with parameters ([/DeviceCMYK ...]), calibrated CMYK.
  ResolvedValue name(context_);
  array.Get(0, name);
  ResolveValue(out, name, resources, options, disallowed, depth + 1);
}

void DocumentColorSpaces::DeviceSpace(ColorSpaceRef& out, uint32_t components, const ResolvedValue& resources) {
  Device(out, components, resources, 0, 0);
}

void DocumentColorSpaces::Device(ColorSpaceRef& out, uint32_t components, const ResolvedValue& resources,
                                 uint32_t options, uint32_t depth) {
  color::ICCColorSpace& device = components == 1 ? Gray() : components == 3 ? RGB() : CMYK();
  out.Set(kPlainSpace, &device);
  if (components == 4) out.initial[3] = kFixedOne;
  if ((options & kNoDefaults) != 0 || resources.Get().IsNull()) return;
  const char* defaultName = components == 1 ? "DefaultGray" : components == 3 ? "DefaultRGB" : "DefaultCMYK";
  const char* deviceName = components == 1 ? "DeviceGray" : components == 3 ? "DeviceRGB" : "DeviceCMYK";
  ResolvedValue spaces(context_);
  document::GetResolved(resolver_, resources, "ColorSpace", spaces);
  if (!spaces.Get().IsDictionary()) return;
  ResolvedValue substitute(context_);
  document::GetResolved(resolver_, spaces, defaultName, substitute);
  if (!substitute.Get().IsArray() || CSArray(resolver_, substitute).NameIs(0, deviceName)) return;
  // A default that cannot be built, or has another component count, is ignored.
  ColorSpaceRef candidate(context_);
  TryFrame frame;
  volatile bool usable = false;
  if (VN_TRY(context_, frame)) {
    ResolveValue(candidate, substitute, resources, options | kNoDefaults, kPatternSpace | kIndexedSpace, depth + 1);
    usable = candidate.components == components;
  } else {
    const Error& error = Catch(frame);
    if (error.code != kBadData && error.code != kUnsupported) Rethrow(context_);
  }
  EndTry(frame);
  if (usable) out = candidate;
}

void DocumentColorSpaces::GetByteConverter(Ref<color::ByteColorConverter>& out, const ColorSpaceRef& space,
                                           int32_t intent) {
  CachedConverter(context_, converters_, ConverterKey{space.space.get(), intent, 0}, space.space.get(), out,
                  [&] { return space.space->MakeByteConverter(context_, Display(), intent); });
}

void DocumentColorSpaces::GetFixedConverter(Ref<color::FixedColorConverter>& out, const ColorSpaceRef& space,
                                            int32_t intent) {
  CachedConverter(context_, converters_, ConverterKey{space.space.get(), intent, 1}, space.space.get(), out,
                  [&] { return space.space->MakeFixedConverter(context_, Display(), intent); });
}

void DocumentColorSpaces::ToRGB(const ColorSpaceRef& space, const Fixed16_16* components, int32_t intent,
                                uint8_t* rgb) {
  if (space.components == 0) {  // a coloured pattern has no colour of its own
    rgb[0] = rgb[1] = rgb[2] = 0;
    return;
  }
  Ref<color::FixedColorConverter> converter(context_);
  GetFixedConverter(converter, space, intent);
  Fixed16_16 out[color::kMaxColorChannels];
  converter->ConvertPixel(out, 1, components, 1);
  for (int i = 0; i < 3; ++i) rgb[i] = color::UnitToByte(out[i]);
}

}  // namespace vn::pdf::pdfcolor
