// The families of colour-space arrays: ICCBased with its fallbacks, the
// calibrated spaces and Lab, Indexed, Separation and DeviceN, Pattern.
#include <cstring>

#include "color/chromatic_adaptation.h"
#include "color/icc_color_space.h"
#include "data_io/data_block.h"
#include "pdf/content/function.h"
#include "pdf/pdfcolor/devicen_color_space.h"
#include "pdf/pdfcolor/indexed_color_space.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"
#include "pdf/pdfcolor/ranged_color_space.h"
#include "platform/clock.h"
#include "runtime/engine_array.h"
#include "runtime/error.h"

namespace vn::pdf::pdfcolor {

using document::ResolvedValue;

namespace {

// The numbers of `dictionary`'s array `key`: none, or exactly `count`.
bool ReadExactly(document::ObjectResolver& resolver, const ResolvedValue& dictionary, const char* key,
                 Fixed16_16* out, uint32_t count) {
  const uint32_t found = document::GetNumbers(resolver, dictionary, key, out, count);
  if (found != 0 && found != count) RaiseBadData(resolver.Context());
  return found != 0;
}

// Appends the whole decoded data of `stream` to `bytes`, at most `limit` bytes.
void ReadStream(document::ObjectResolver& resolver, const ResolvedValue& stream, uint32_t limit,
                EngineArray<uint8_t>& bytes) {
  AppContext& context = resolver.Context();
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(stream));
  data_io::DataBlockRef block(context);
  for (data->GetNextBlock(block); !block.Empty() && bytes.Size() < limit; data->GetNextBlock(block)) {
    const uint32_t take = block.Length() < limit - bytes.Size() ? block.Length() : limit - bytes.Size();
    const uint32_t old = bytes.Size();
    bytes.Resize(old + take);
    std::memcpy(bytes.Data() + old, block.Data(), take);
  }
}

}  // namespace

void DocumentColorSpaces::ICCBased(ColorSpaceRef& out, const CSArray& array, const ResolvedValue& resources,
                                   uint32_t options, uint32_t depth) {
  ResolvedValue stream(context_);
  array.Get(1, stream);
  if (!document::IsStream(stream.Get())) RaiseBadData(context_);
  ResolvedValue nValue(context_);
  document::GetResolved(resolver_, stream, "N", nValue);
  if (!document::IsInteger(nValue.Get())) RaiseBadData(context_);
  const int32_t n = document::IntegerOf(nValue.Get());
  if (n < 1 || n > 15) RaiseBadData(context_);
  // The space, cached by its stream's object number.
  const int32_t number = array.ObjectNumber(1);
  if (RefCounted* cached = number > 0 ? profileSpaces_.Find(number) : nullptr) {
    out.Set(kPlainSpace, static_cast<color::ColorSpace*>(cached));
    return;
  }
  Ref<color::ColorSpace> made(context_);
  TryFrame frame;
  if (VN_TRY(context_, frame)) {
    const uint64_t started = platform::QueryCounter();
    EngineArray<uint8_t> bytes(context_);
    ReadStream(resolver_, stream, color::kMaxProfileBytes + 1, bytes);
    if (bytes.Size() > color::kMaxProfileBytes) RaiseUnsupported(context_);
    Ref<color::ICCColorSpace> icc(context_, color::MakeICCColorSpace(context_, bytes.Data(), bytes.Size()));
    // A profile whose channels differ from N is not this space's.
    if (icc->Components() != static_cast<uint32_t>(n)) RaiseBadData(context_);
    if (icc->IsLab()) {
      Fixed16_16 range[6] = {0, IntToFixed(100), IntToFixed(-128), IntToFixed(127), IntToFixed(-128), IntToFixed(127)};
      ReadExactly(resolver_, stream, "Range", range, 6);
      made.Set(New<RangedLabColorSpace>(context_, context_, *icc, range + 2));
    } else {
      made.Set(icc.get());
    }
    if (number > 0) profileSpaces_.Insert(number, made.get(), platform::QueryCounter() - started, icc->MemorySize());
  } else {
    const Error& error = Catch(frame);
    if (error.code != kBadData && error.code != kUnsupported) Rethrow(context_);
  }
  EndTry(frame);
  if (made) {
    out.Set(kPlainSpace, made.get());
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

void DocumentColorSpaces::Calibrated(ColorSpaceRef& out, const CSArray& array, CalibratedFamily family) {
  ResolvedValue dict(context_);
  array.Get(1, dict);
  if (!document::IsDictionary(dict.Get())) RaiseBadData(context_);
  // The parameters, defaults first: white, black, gammas, matrix, Lab range.
  CalibratedKey key{family, {0, 0, 0, 0, 0, 0, kFixedOne, kFixedOne, kFixedOne, kFixedOne, 0, 0, 0, kFixedOne, 0,
                             0, 0, kFixedOne, IntToFixed(-100), IntToFixed(100), IntToFixed(-100), IntToFixed(100)}};
  Fixed16_16* white = key.values;
  Fixed16_16* gamma = key.values + 6;
  Fixed16_16* matrix = key.values + 9;
  Fixed16_16* range = key.values + 18;
  if (!ReadExactly(resolver_, dict, "WhitePoint", white, 3) || white[0] <= 0 || white[1] <= 0 || white[2] <= 0) {
    RaiseBadData(context_);
  }
  ReadExactly(resolver_, dict, "BlackPoint", key.values + 3, 3);
  if (family == CalibratedFamily::kCalGray) {
    ResolvedValue value(context_);
    document::GetResolved(resolver_, dict, "Gamma", value);
    if (!value.Get().IsNull()) {
      if (!document::IsNumber(value.Get())) RaiseBadData(context_);
      gamma[0] = document::NumberToFixed(value.Get());
    }
  } else if (family == CalibratedFamily::kCalRGB) {
    ReadExactly(resolver_, dict, "Gamma", gamma, 3);
    ReadExactly(resolver_, dict, "Matrix", matrix, 9);
  } else {
    ReadExactly(resolver_, dict, "Range", range, 4);
    if (range[1] < range[0] || range[3] < range[2]) RaiseBadData(context_);
  }
  for (uint32_t i = 0; i < 3; ++i) {
    if (gamma[i] <= 0) RaiseBadData(context_);
  }

  Ref<color::ColorSpace> space(context_, static_cast<color::ColorSpace*>(calibratedSpaces_.Find(key)));
  if (!space) {
    const uint64_t started = platform::QueryCounter();
    if (family == CalibratedFamily::kCalGray) {
      space.Set(color::MakeGrayICCSpace(context_, white, color::ToneCurve{false, gamma[0]}));
    } else if (family == CalibratedFamily::kCalRGB) {
      // The matrix gives XYZ under the space's white; the primaries move
      // to the connection space's D50 as profiles' do.
      Fixed16_16 columns[9];
      for (int i = 0; i < 9; ++i) columns[i] = matrix[i];
      if (!color::AdaptToD50(white, columns, 3)) RaiseBadData(context_);
      const color::ToneCurve curves[3] = {{false, gamma[0]}, {false, gamma[1]}, {false, gamma[2]}};
      space.Set(color::MakeRGBICCSpace(context_, white, curves, columns));
    } else {
      Ref<color::ICCColorSpace> lab(context_, color::MakeLabICCSpace(context_, white));
      space.Set(New<RangedLabColorSpace>(context_, context_, *lab, range));
    }
    calibratedSpaces_.Insert(key, space.get(), platform::QueryCounter() - started, 2048);
  }
  out.Set(kPlainSpace, space.get());
  if (family == CalibratedFamily::kLab) {
    // The initial colour: 0 0 0 moved into the ranges.
    for (int i = 0; i < 2; ++i) {
      const Fixed16_16 low = range[2 * i], high = range[2 * i + 1];
      out.initial[1 + i] = 0 < low ? low : (0 > high ? high : 0);
    }
  }
}

void DocumentColorSpaces::Indexed(ColorSpaceRef& out, const CSArray& array, const ResolvedValue& resources,
                                  uint32_t options, uint32_t depth) {
  if (array.Length() < 4) RaiseBadData(context_);
  ResolvedValue baseValue(context_), lookup(context_);
  array.Get(1, baseValue);
  ColorSpaceRef base(context_);
  ResolveValue(base, baseValue, resources, options, kPatternSpace | kIndexedSpace, depth + 1);
  const int32_t highest = array.Integer(2);
  if (highest < 0) RaiseBadData(context_);
  // A highest index above 255 is read as 255, as mature viewers do.
  const uint32_t hival = highest > 255 ? 255 : static_cast<uint32_t>(highest);
  const uint32_t needed = (hival + 1) * base.components;
  EngineArray<uint8_t> table(context_);
  // A short table is padded with zeros.
  if (array.KindOf(3) == CSArray::kString) {
    uint32_t length;
    const uint8_t* bytes = array.String(3, lookup, length);
    table.Resize(length < needed ? length : needed);
    std::memcpy(table.Data(), bytes, table.Size());
  } else if (array.KindOf(3) == CSArray::kStream) {
    array.Get(3, lookup);
    ReadStream(resolver_, lookup, needed, table);
  } else {
    RaiseBadData(context_);
  }
  const uint32_t read = table.Size();
  table.Resize(needed);
  std::memset(table.Data() + read, 0, needed - read);
  out.Set(kIndexedSpace, New<IndexedColorSpace>(context_, context_, base, hival, table.Data()));
  out.paintsNothing = base.paintsNothing;
}

void DocumentColorSpaces::Colorant(ColorSpaceRef& out, const CSArray& array, const ResolvedValue& resources,
                                   uint32_t options, uint32_t depth, bool deviceN) {
  if (array.Length() < 4) RaiseBadData(context_);
  ResolvedValue names(context_), alternateValue(context_), tintValue(context_);
  array.Get(1, names);
  array.Get(2, alternateValue);
  array.Get(3, tintValue);
  // One name for Separation, an array of names for DeviceN.
  uint32_t colorants = 1;
  bool all = false, allNone = true;
  if (deviceN) {
    if (!names.Get().IsArray()) RaiseBadData(context_);
    const CSArray list(resolver_, names);
    colorants = list.Length();
    if (colorants == 0 || colorants > kMaxComponents) RaiseBadData(context_);
    for (uint32_t i = 0; i < colorants; ++i) {
      if (list.KindOf(i) != CSArray::kName) RaiseBadData(context_);
      allNone = allNone && list.NameIs(i, "None");
    }
    all = colorants == 1 && list.NameIs(0, "All");
  } else {
    if (!names.Get().IsName()) RaiseBadData(context_);
    allNone = document::NameIs(names.Get(), "None");
    all = document::NameIs(names.Get(), "All");
  }
  ColorSpaceRef alternate(context_);
  if (alternateValue.Get().IsNull()) RaiseBadData(context_);
  ResolveValue(alternate, alternateValue, resources, options, kPatternSpace | kIndexedSpace | kColorantSpace,
               depth + 1);
  Ref<content::Function> tint(context_);
  if (!all) {
    if (document::NameIs(tintValue.Get(), "Identity")) {
      tint.Set(content::CreateIdentityFunction(context_, colorants));
    } else if (document::IsDictionary(tintValue.Get())) {
      tint.Set(content::CreateFunction(resolver_, tintValue));
    } else {
      RaiseBadData(context_);
    }
    if (tint->Inputs() != colorants || tint->Outputs() != alternate.components) RaiseBadData(context_);
  }
  out.Set(kPlainSpace, New<DeviceNColorSpace>(context_, context_, colorants, alternate, tint.get(), all));
  // Full tint of every colorant.
  for (uint32_t i = 0; i < colorants; ++i) out.initial[i] = kFixedOne;
  out.paintsNothing = allNone;
}

void DocumentColorSpaces::Pattern(ColorSpaceRef& out, const CSArray& array, const ResolvedValue& resources,
                                  uint32_t options, uint32_t depth) {
  ResolvedValue baseValue(context_);
  array.Get(1, baseValue);
  ColorSpaceRef base(context_);
  ResolveValue(base, baseValue, resources, options, kPatternSpace, depth + 1);
  out.Set(kPatternSpace, New<PatternColorSpace>(context_, context_, base.space.get()));
  std::memcpy(out.initial, base.initial, sizeof out.initial);
  out.paintsNothing = base.paintsNothing;
}

}  // namespace vn::pdf::pdfcolor
