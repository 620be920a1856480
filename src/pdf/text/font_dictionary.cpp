#include "pdf/text/font_dictionary.h"

#include <cstring>

#include "data_io/data_store_from_stream.h"
#include "fonts/recognise_font_file.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

int32_t ReadBaseFont(AppContext& context, const ResolvedValue& font, char (&out)[64]) {
  const Value name = document::DictionaryGet(context, font.Get(), "BaseFont");
  out[0] = 0;
  if (!document::IsName(name)) return kNotStandardFont;
  const uint32_t length = name.Length() < 63 ? name.Length() : 63;
  std::memcpy(out, name.Bytes(), length);
  out[length] = 0;
  return StandardFontIndex(name.Bytes(), name.Length());
}

namespace {

GlyphName NameOfValue(const Value& name) {
  return GlyphName{reinterpret_cast<const char*>(name.Bytes()), name.Length()};
}

void FillBase(NamedEncoding encoding, const char* const* programEncoding, CodeNames& names) {
  for (uint32_t code = 0; code < 256; ++code) {
    if (programEncoding != nullptr) {
      const char* name = programEncoding[code];
      const bool none = name == nullptr || std::strcmp(name, ".notdef") == 0;
      names.names[code] = none ? GlyphName{"", 0} : GlyphName{name, static_cast<uint32_t>(std::strlen(name))};
    } else {
      names.names[code] = EncodingGlyphName(encoding, static_cast<uint8_t>(code));
    }
  }
}

}  // namespace

bool ReadEncoding(document::ObjectResolver& resolver, const ResolvedValue& font, NamedEncoding builtIn,
                  const char* const* programEncoding, CodeNames& names, const char*& label) {
  AppContext& context = resolver.Context();
  ResolvedValue encoding(context);
  GetResolved(resolver, font, "Encoding", encoding);
  const Value& e = encoding.Get();
  NamedEncoding base = NamedEncoding::kNone;
  if (document::IsName(e)) {
    base = EncodingFromName(e.Bytes(), e.Length());
  } else if (document::IsDictionary(e)) {
    const Value baseName = document::DictionaryGet(context, e, "BaseEncoding");
    if (document::IsName(baseName)) base = EncodingFromName(baseName.Bytes(), baseName.Length());
  }
  label = "Builtin";
  if (base != NamedEncoding::kNone) {
    FillBase(base, nullptr, names);
    label = base == NamedEncoding::kStandard   ? "StandardEncoding"
            : base == NamedEncoding::kMacRoman ? "MacRomanEncoding"
            : base == NamedEncoding::kWinAnsi  ? "WinAnsiEncoding"
                                               : "MacExpertEncoding";
  } else {
    FillBase(builtIn, programEncoding, names);
  }
  if (!document::IsDictionary(e)) return base != NamedEncoding::kNone;

  ResolvedValue differences(context);
  GetResolved(resolver, encoding, "Differences", differences);
  const Value& d = differences.Get();
  if (document::IsNull(d)) return base != NamedEncoding::kNone;
  if (!document::IsArray(d)) RaiseBadData(context);
  label = "Custom";
  int64_t code = -1;  // no code set yet: names before the first number are junk
  const uint32_t count = document::ArrayLength(d);
  for (uint32_t i = 0; i < count; ++i) {
    const Value item = document::ArrayElement(d, i);
    if (document::IsInteger(item)) {
      code = document::IntegerOf(item);
    } else if (document::IsName(item)) {
      if (code < 0) RaiseBadData(context);
      if (code < 256) names.names[code] = NameOfValue(item);
      ++code;
    } else {
      RaiseBadData(context);
    }
  }
  return true;
}

bool ReadWidths(document::ObjectResolver& resolver, const ResolvedValue& font, const ResolvedValue& descriptor,
                Fixed16_16 (&widths)[256]) {
  AppContext& context = resolver.Context();
  ResolvedValue array(context);
  GetResolved(resolver, font, "Widths", array);
  if (!document::IsArray(array.Get())) return false;
  Fixed16_16 missing = 0;
  if (document::IsDictionary(descriptor.Get())) {
    missing = document::NumberToFixed(document::DictionaryGet(context, descriptor.Get(), "MissingWidth"));
  }
  for (Fixed16_16& width : widths) width = missing;
  const Value first = document::DictionaryGet(context, font.Get(), "FirstChar");
  const int32_t firstChar = document::IsInteger(first) ? document::IntegerOf(first) : 0;
  if (firstChar < 0 || firstChar > 255) RaiseBadData(context);
  uint32_t count = document::ArrayLength(array.Get());
  const Value last = document::DictionaryGet(context, font.Get(), "LastChar");
  if (document::IsInteger(last) && document::IntegerOf(last) >= firstChar) {
    const int64_t range = static_cast<int64_t>(document::IntegerOf(last)) - firstChar + 1;
    if (range < count) count = static_cast<uint32_t>(range);
  }
  if (count > 256u - static_cast<uint32_t>(firstChar)) count = 256u - static_cast<uint32_t>(firstChar);
  for (uint32_t i = 0; i < count; ++i) {
    const Value w = document::ArrayElement(array.Get(), i);
    if (document::IsNumber(w)) widths[static_cast<uint32_t>(firstChar) + i] = document::NumberToFixed(w);
  }
  return true;
}

fonts::Font* LoadEmbeddedProgram(document::ObjectResolver& resolver, const ResolvedValue& descriptor,
                                 ProgramFormat& format, bool composite) {
  AppContext& context = resolver.Context();
  static const char* const kKeys[] = {"FontFile", "FontFile2", "FontFile3"};
  for (const char* key : kKeys) {
    ResolvedValue file(context);
    GetResolved(resolver, descriptor, key, file);
    if (!document::IsStream(file.Get())) continue;
    if (key == kKeys[0]) {
      format = ProgramFormat::kType1;
    } else if (key == kKeys[1]) {
      format = ProgramFormat::kTrueType;
    } else {
      const document::Value subtype = document::DictionaryGet(context, file.Get(), "Subtype");
      format = document::NameIs(subtype, "OpenType") ? ProgramFormat::kOpenType : ProgramFormat::kCff;
    }
    Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(file));
    data_io::DataStore* store = New<data_io::DataStoreFromStream>(context, context, data.get());
    data.Release();
    fonts::Font* program = fonts::MakeProgram(context, store);
    if (program == nullptr) continue;
    const fonts::FontKind kind = program->Kind();
    if (program->IsUsable() &&
        (kind == fonts::FontKind::kNameKeyed || kind == fonts::FontKind::kGlyphIndex ||
         (composite && kind == fonts::FontKind::kCidKeyed))) {
      return program;
    }
    Delete(context, program);
  }
  return nullptr;
}

}  // namespace vn::pdf::text
