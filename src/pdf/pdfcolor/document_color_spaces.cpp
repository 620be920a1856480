// Resolving PDF colour spaces: names, resource look-ups, device spaces and
// their defaults, and every family of colour-space array.
#include <cstring>

#include "color/icc_color_space.h"
#include "data_io/data_block.h"
#include "pdf/document/page_tree.h"
#include "pdf/pdfcolor/devicen_color_space.h"
#include "pdf/pdfcolor/indexed_color_space.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/pdfcolor/ranged_color_space.h"
#include "platform/clock.h"
#include "runtime/engine_array.h"
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

bool Is(const uint8_t* bytes, uint32_t length, const char* name) {
  return std::strlen(name) == length && std::memcmp(bytes, name, length) == 0;
}

// The element `index` of `array`, references followed (same keeper).
void Element(document::ObjectResolver& resolver, const ResolvedValue& array, uint32_t index, ResolvedValue& out) {
  out = array;
  if (index >= document::ArrayLength(array.Get())) {
    out.SetChild(document::NullValue());
    return;
  }
  out.SetChild(document::ArrayElement(array.Get(), index));
  document::ResolveInPlace(resolver, out);
}

// Up to `capacity` numbers of dictionary entry `key`; returns the count.
uint32_t Numbers(document::ObjectResolver& resolver, const ResolvedValue& dict, const char* key, Fixed16_16* out,
                 uint32_t capacity) {
  AppContext& context = resolver.Context();
  ResolvedValue array(context);
  document::GetResolved(resolver, dict, key, array);
  if (array.Get().IsNull()) return 0;
  if (!array.Get().IsArray()) RaiseBadData(context);
  uint32_t count = document::ArrayLength(array.Get());
  if (count > capacity) RaiseBadData(context);
  ResolvedValue element(context);
  for (uint32_t i = 0; i < count; ++i) {
    Element(resolver, array, i, element);
    if (!document::IsNumber(element.Get())) RaiseBadData(context);
    out[i] = document::NumberToFixed(element.Get());
  }
  return count;
}

void SetPlain(ColorSpaceRef& out, color::ColorSpace* space) {
  out.kind = kPlainSpace;
  out.space.Set(space);
  out.components = space->Components();
  std::memset(out.initial, 0, sizeof out.initial);
  out.paintsNothing = false;
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

}  // namespace

DocumentColorSpaces::DocumentColorSpaces(document::ObjectResolver& resolver, color::DisplayProfile display)
    : context_(resolver.Context()),
      resolver_(resolver),
      display_(display),
      builtin_{Ref<color::ICCColorSpace>(context_), Ref<color::ICCColorSpace>(context_),
               Ref<color::ICCColorSpace>(context_), Ref<color::ICCColorSpace>(context_)},
      objectSpaces_(context_),
      converters_(context_) {}

color::ICCColorSpace& DocumentColorSpaces::Builtin(int32_t which) {
  Ref<color::ICCColorSpace>& slot = builtin_[which];
  if (!slot) {
    const color::ToneCurve curves[3] = {color::kSRGBCurve, color::kSRGBCurve, color::kSRGBCurve};
    switch (which) {
      case kDisplay: slot.Set(color::MakeDisplaySpace(context_, display_)); break;
      // DeviceGray and DeviceRGB carry the display's sRGB tone curve and
      // primaries, so they pass through to an sRGB display unchanged.
      case kGray: slot.Set(color::MakeGrayICCSpace(context_, color::kD50White, color::kSRGBCurve)); break;
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
    if (document::ArrayLength(v) == 0) RaiseBadData(context_);
    ResolvedValue family(context_);
    Element(resolver_, space, 0, family);
    if (!family.Get().IsName()) RaiseBadData(context_);
    // One-element arrays ("[/DeviceRGB]") name their family.
    if (document::ArrayLength(v) == 1) return ResolveValue(out, family, resources, options, disallowed, depth + 1);
    return ResolveFamily(out, space, family.Get().Bytes(), family.Get().Length(), resources, options, disallowed,
                         depth);
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
    out.kind = kPatternSpace;
    out.space.Set(New<PatternColorSpace>(context_, context_, nullptr));
    out.components = 0;
    out.paintsNothing = false;
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

void DocumentColorSpaces::ResolveFamily(ColorSpaceRef& out, const ResolvedValue& array, const uint8_t* family,
                                        uint32_t length, const ResolvedValue& resources, uint32_t options,
                                        uint32_t disallowed, uint32_t depth) {
  const bool inlineImage = (options & kInlineImage) != 0;
  auto allow = [&](uint32_t kind) {
    if (disallowed & kind) RaiseBadData(context_);
  };
  if (Is(family, length, "ICCBased")) {
    allow(kPlainSpace);
    return ICCBased(out, array, resources, options, depth);
  }
  if (Is(family, length, "CalGray") || Is(family, length, "CalRGB") || Is(family, length, "Lab")) {
    allow(kPlainSpace);
    return Calibrated(out, array, Is(family, length, "CalGray") ? 1 : Is(family, length, "CalRGB") ? 3 : 0);
  }
  if (Is(family, length, "Indexed") || (inlineImage && Is(family, length, "I"))) {
    allow(kIndexedSpace);
    return Indexed(out, array, resources, options, depth);
  }
  if (Is(family, length, "Separation") || Is(family, length, "DeviceN")) {
    allow(kColorantSpace);
    return Colorant(out, array, resources, options, depth, Is(family, length, "DeviceN"));
  }
  if (Is(family, length, "Pattern")) {
    allow(kPatternSpace);
    return Pattern(out, array, resources, options, depth);
  }
  // Device names in arrays ([/DeviceCMYK ...]) and calibrated CMYK.
  ResolvedValue name(context_);
  Element(resolver_, array, 0, name);
  ResolveValue(out, name, resources, options, disallowed, depth + 1);
}

void DocumentColorSpaces::DeviceSpace(ColorSpaceRef& out, uint32_t components, const ResolvedValue& resources) {
  Device(out, components, resources, 0, 0);
}

void DocumentColorSpaces::Device(ColorSpaceRef& out, uint32_t components, const ResolvedValue& resources,
                                 uint32_t options, uint32_t depth) {
  color::ICCColorSpace& device = components == 1 ? Gray() : components == 3 ? RGB() : CMYK();
  SetPlain(out, &device);
  if (components == 4) out.initial[3] = kFixedOne;
  if ((options & kNoDefaults) != 0 || resources.Get().IsNull()) return;
  const char* defaultName = components == 1 ? "DefaultGray" : components == 3 ? "DefaultRGB" : "DefaultCMYK";
  const char* deviceName = components == 1 ? "DeviceGray" : components == 3 ? "DeviceRGB" : "DeviceCMYK";
  ResolvedValue spaces(context_);
  document::GetResolved(resolver_, resources, "ColorSpace", spaces);
  if (!spaces.Get().IsDictionary()) return;
  ResolvedValue substitute(context_);
  document::GetResolved(resolver_, spaces, defaultName, substitute);
  if (!substitute.Get().IsArray() || document::ArrayLength(substitute.Get()) == 0) return;
  ResolvedValue family(context_);
  Element(resolver_, substitute, 0, family);
  if (document::NameIs(family.Get(), deviceName)) return;
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

void DocumentColorSpaces::ICCBased(ColorSpaceRef& out, const ResolvedValue& array, const ResolvedValue& resources,
                                   uint32_t options, uint32_t depth) {
  ResolvedValue stream(context_);
  Element(resolver_, array, 1, stream);
  if (!document::IsStream(stream.Get())) RaiseBadData(context_);
  ResolvedValue nValue(context_);
  document::GetResolved(resolver_, stream, "N", nValue);
  if (!document::IsInteger(nValue.Get())) RaiseBadData(context_);
  const int32_t n = document::IntegerOf(nValue.Get());
  if (n < 1 || n > 15) RaiseBadData(context_);
  // The profile, cached by its stream's object number.
  const Value& reference = document::ArrayElement(array.Get(), 1);
  const int32_t number = reference.IsReference() ? document::ReferenceOf(reference).number : -1;
  if (number > 0) {
    if (RefCounted* cached = objectSpaces_.Find(number)) {
      SetPlain(out, static_cast<color::ColorSpace*>(cached));
      return;
    }
  }
  Ref<color::ColorSpace> made(context_);
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    uint64_t started = platform::QueryCounter();
    Owned<data_io::DataBlockStream> data(context_, resolver_.OpenStreamData(stream));
    EngineArray<uint8_t> bytes(context_);
    data_io::DataBlockRef block(context_);
    for (data->GetNextBlock(block); !block.Empty(); data->GetNextBlock(block)) {
      if (bytes.Size() + block.Length() > color::kMaxProfileBytes) RaiseUnsupported(context_);
      uint32_t old = bytes.Size();
      bytes.Resize(old + block.Length());
      std::memcpy(bytes.Data() + old, block.Data(), block.Length());
    }
    Ref<color::ICCColorSpace> icc(context_, color::MakeICCColorSpace(context_, bytes.Data(), bytes.Size()));
    // A profile whose channels differ from N is not this space's.
    if (icc->Components() != static_cast<uint32_t>(n)) RaiseBadData(context_);
    if (icc->IsLab()) {
      Fixed16_16 range[6] = {0, IntToFixed(100), IntToFixed(-128), IntToFixed(127), IntToFixed(-128), IntToFixed(127)};
      Numbers(resolver_, stream, "Range", range, 6);
      made.Set(New<RangedLabColorSpace>(context_, context_, *icc, range + 2));
    } else {
      made.Set(icc.get());
    }
    if (number > 0) objectSpaces_.Insert(number, made.get(), platform::QueryCounter() - started, icc->MemorySize());
  } else {
    const Error& error = Catch(frame);
    if (error.code != kBadData && error.code != kUnsupported) Rethrow(context_);
  }
  EndTry(frame);
  if (made) {
    SetPlain(out, made.get());
    return;
  }
  // The fallbacks: the Alternate space, else the device space of N.
  ResolvedValue alternate(context_);
  document::GetResolved(resolver_, stream, "Alternate", alternate);
  if (!alternate.Get().IsNull()) {
    ResolveValue(out, alternate, resources, options, kPatternSpace | kIndexedSpace, depth + 1);
    if (out.components != static_cast<uint32_t>(n)) RaiseBadData(context_);
    return;
  }
  if (n != 1 && n != 3 && n != 4) RaiseBadData(context_);
  Device(out, static_cast<uint32_t>(n), ResolvedValue(context_), kNoDefaults, depth);
}

void DocumentColorSpaces::Calibrated(ColorSpaceRef& out, const ResolvedValue& array, int32_t which) {
  ResolvedValue dict(context_);
  Element(resolver_, array, 1, dict);
  if (!dict.Get().IsDictionary()) RaiseBadData(context_);
  const Value& reference = document::ArrayElement(array.Get(), 1);
  const int32_t number = reference.IsReference() ? document::ReferenceOf(reference).number : -1;
  Fixed16_16 white[3];
  if (Numbers(resolver_, dict, "WhitePoint", white, 3) != 3 || white[1] <= 0 || white[0] <= 0 || white[2] <= 0) {
    RaiseBadData(context_);
  }
  Fixed16_16 range[4] = {IntToFixed(-100), IntToFixed(100), IntToFixed(-100), IntToFixed(100)};
  if (which == 0) {
    uint32_t count = Numbers(resolver_, dict, "Range", range, 4);
    if (count != 0 && count != 4) RaiseBadData(context_);
  }
  RefCounted* cached = number > 0 ? objectSpaces_.Find(number) : nullptr;
  Ref<color::ColorSpace> space(context_, static_cast<color::ColorSpace*>(cached));
  if (!space) {
    uint64_t started = platform::QueryCounter();
    if (which == 1) {
      Fixed16_16 gamma[1] = {kFixedOne};
      Numbers(resolver_, dict, "Gamma", gamma, 1);
      if (gamma[0] <= 0) RaiseBadData(context_);
      space.Set(color::MakeGrayICCSpace(context_, white, color::ToneCurve{false, gamma[0]}));
    } else if (which == 3) {
      Fixed16_16 gamma[3] = {kFixedOne, kFixedOne, kFixedOne};
      Fixed16_16 matrix[9] = {kFixedOne, 0, 0, 0, kFixedOne, 0, 0, 0, kFixedOne};
      uint32_t g = Numbers(resolver_, dict, "Gamma", gamma, 3);
      uint32_t m = Numbers(resolver_, dict, "Matrix", matrix, 9);
      if ((g != 0 && g != 3) || (m != 0 && m != 9)) RaiseBadData(context_);
      // The matrix gives XYZ under the space's white; scaling each
      // coordinate by D50 / white brings it to the connection space.
      for (int column = 0; column < 3; ++column) {
        if (gamma[column] <= 0) RaiseBadData(context_);
        for (int c = 0; c < 3; ++c) {
          matrix[3 * column + c] = FixedMul(matrix[3 * column + c], FixedDiv(color::kD50White[c], white[c]));
        }
      }
      const color::ToneCurve curves[3] = {{false, gamma[0]}, {false, gamma[1]}, {false, gamma[2]}};
      space.Set(color::MakeRGBICCSpace(context_, white, curves, matrix));
    } else {
      Ref<color::ICCColorSpace> lab(context_, color::MakeLabICCSpace(context_, white));
      space.Set(New<RangedLabColorSpace>(context_, context_, *lab, range));
    }
    if (number > 0) objectSpaces_.Insert(number, space.get(), platform::QueryCounter() - started, 2048);
  }
  SetPlain(out, space.get());
  if (which == 0) {
    // The initial colour: zeros clamped to the ranges.
    for (int i = 0; i < 2; ++i) {
      Fixed16_16 low = range[2 * i], high = range[2 * i + 1];
      out.initial[1 + i] = 0 < low ? low : (0 > high ? high : 0);
    }
  }
}

void DocumentColorSpaces::Indexed(ColorSpaceRef& out, const ResolvedValue& array, const ResolvedValue& resources,
                                  uint32_t options, uint32_t depth) {
  if (document::ArrayLength(array.Get()) < 4) RaiseBadData(context_);
  ResolvedValue baseValue(context_), hivalValue(context_), lookup(context_);
  Element(resolver_, array, 1, baseValue);
  Element(resolver_, array, 2, hivalValue);
  Element(resolver_, array, 3, lookup);
  ColorSpaceRef base(context_);
  ResolveValue(base, baseValue, resources, options, kPatternSpace | kIndexedSpace, depth + 1);
  if (!document::IsInteger(hivalValue.Get()) || document::IntegerOf(hivalValue.Get()) < 0) RaiseBadData(context_);
  // A highest index above 255 is read as 255.
  uint32_t hival = static_cast<uint32_t>(document::IntegerOf(hivalValue.Get()));
  if (hival > 255) hival = 255;
  const uint32_t needed = (hival + 1) * base.components;
  EngineArray<uint8_t> table(context_);
  table.Resize(needed);  // a short table is padded with zeros
  if (lookup.Get().IsString()) {
    uint32_t n = lookup.Get().Length() < needed ? lookup.Get().Length() : needed;
    std::memcpy(table.Data(), lookup.Get().Bytes(), n);
  } else if (document::IsStream(lookup.Get())) {
    Owned<data_io::DataBlockStream> data(context_, resolver_.OpenStreamData(lookup));
    data_io::DataBlockRef block(context_);
    uint32_t at = 0;
    for (data->GetNextBlock(block); !block.Empty() && at < needed; data->GetNextBlock(block)) {
      uint32_t n = block.Length() < needed - at ? block.Length() : needed - at;
      std::memcpy(table.Data() + at, block.Data(), n);
      at += n;
    }
  } else {
    RaiseBadData(context_);
  }
  out.kind = kIndexedSpace;
  out.space.Set(New<IndexedColorSpace>(context_, context_, base, hival, table.Data()));
  out.components = 1;
  std::memset(out.initial, 0, sizeof out.initial);
  out.paintsNothing = base.paintsNothing;
}

void DocumentColorSpaces::Colorant(ColorSpaceRef& out, const ResolvedValue& array, const ResolvedValue& resources,
                                   uint32_t options, uint32_t depth, bool deviceN) {
  if (document::ArrayLength(array.Get()) < 4) RaiseBadData(context_);
  ResolvedValue names(context_), alternateValue(context_), tintValue(context_), name(context_);
  Element(resolver_, array, 1, names);
  Element(resolver_, array, 2, alternateValue);
  Element(resolver_, array, 3, tintValue);
  uint32_t colorants = 1;
  bool all = false, allNone = true;
  if (deviceN) {
    if (!names.Get().IsArray()) RaiseBadData(context_);
    colorants = document::ArrayLength(names.Get());
    if (colorants == 0 || colorants > kMaxComponents) RaiseBadData(context_);
  } else if (!names.Get().IsName()) {
    RaiseBadData(context_);
  }
  for (uint32_t i = 0; i < colorants; ++i) {
    if (deviceN) {
      Element(resolver_, names, i, name);
    } else {
      name = names;
    }
    if (!name.Get().IsName()) RaiseBadData(context_);
    if (!document::NameIs(name.Get(), "None")) allNone = false;
    if (colorants == 1 && document::NameIs(name.Get(), "All")) all = true;
  }
  ColorSpaceRef alternate(context_);
  if (alternateValue.Get().IsNull()) RaiseBadData(context_);
  ResolveValue(alternate, alternateValue, resources, options, kPatternSpace | kIndexedSpace | kColorantSpace,
               depth + 1);
  Ref<content::Function> tint(context_);
  if (!all) {
    if (document::NameIs(tintValue.Get(), "Identity")) {
      tint.Set(content::CreateIdentityFunction(context_, colorants));
    } else if (tintValue.Get().IsDictionary()) {
      tint.Set(content::CreateFunction(resolver_, tintValue));
    } else {
      RaiseBadData(context_);
    }
    if (tint->Inputs() != colorants || tint->Outputs() != alternate.components) RaiseBadData(context_);
  }
  out.kind = kPlainSpace;
  out.space.Set(New<DeviceNColorSpace>(context_, context_, colorants, alternate, tint.get(), all));
  out.components = colorants;
  for (uint32_t i = 0; i < kMaxComponents; ++i) out.initial[i] = i < colorants ? kFixedOne : 0;
  out.paintsNothing = allNone;
}

void DocumentColorSpaces::Pattern(ColorSpaceRef& out, const ResolvedValue& array, const ResolvedValue& resources,
                                  uint32_t options, uint32_t depth) {
  ResolvedValue baseValue(context_);
  Element(resolver_, array, 1, baseValue);
  ColorSpaceRef base(context_);
  ResolveValue(base, baseValue, resources, options, kPatternSpace, depth + 1);
  out.kind = kPatternSpace;
  out.space.Set(New<PatternColorSpace>(context_, context_, base.space.get()));
  out.components = base.components;
  std::memcpy(out.initial, base.initial, sizeof out.initial);
  out.paintsNothing = base.paintsNothing;
}

void DocumentColorSpaces::GetByteConverter(Ref<color::ByteColorConverter>& out, const ColorSpaceRef& space,
                                           int32_t intent) {
  ConverterKey key{space.space.get(), intent, 0};
  if (RefCounted* cached = converters_.Find(key)) {
    out.Set(static_cast<color::ByteColorConverter*>(static_cast<ConverterEntry*>(cached)->converter.get()));
    return;
  }
  uint64_t started = platform::QueryCounter();
  out.Set(space.space->MakeByteConverter(context_, Display(), intent));
  Ref<ConverterEntry> entry(context_, New<ConverterEntry>(context_, context_, space.space.get(), out.get(),
                                                          out->MemorySize()));
  converters_.Insert(key, entry.get(), platform::QueryCounter() - started, entry->size);
}

void DocumentColorSpaces::GetFixedConverter(Ref<color::FixedColorConverter>& out, const ColorSpaceRef& space,
                                            int32_t intent) {
  ConverterKey key{space.space.get(), intent, 1};
  if (RefCounted* cached = converters_.Find(key)) {
    out.Set(static_cast<color::FixedColorConverter*>(static_cast<ConverterEntry*>(cached)->converter.get()));
    return;
  }
  uint64_t started = platform::QueryCounter();
  out.Set(space.space->MakeFixedConverter(context_, Display(), intent));
  Ref<ConverterEntry> entry(context_, New<ConverterEntry>(context_, context_, space.space.get(), out.get(),
                                                          out->MemorySize()));
  converters_.Insert(key, entry.get(), platform::QueryCounter() - started, entry->size);
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
