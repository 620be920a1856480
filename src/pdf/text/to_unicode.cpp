#include "pdf/text/to_unicode.h"

#include <cstring>

#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/cmap/cmap_parser.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;

namespace {

// Whether `code` is the whole of `length` bytes and maps to something.
bool Mapped(const CharCode& code, uint32_t length) {
  return code.length == length && (code.value != 0 || code.unitCount != 0);
}

CharCodeMap* ParseToUnicodeStream(document::ObjectResolver& resolver, const ResolvedValue& stream) {
  AppContext& context = resolver.Context();
  Owned<cmap::CMapCharCodeMap> map(context, New<cmap::CMapCharCodeMap>(context, context));
  volatile bool parsed = true;
  TryFrame frame;
  if (VN_TRY(context, frame)) {
    Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(stream));
    cmap::ParseCMap(context, *data, *map);
  } else {
    // A damaged map is dropped; the encoding's Unicode stands.
    const Error& error = Catch(frame);
    if (error.code != kBadData && error.code != kLimitExceeded && error.code != kUnsupported) Rethrow(context);
    parsed = false;
  }
  EndTry(frame);
  return parsed ? map.Release() : nullptr;
}

}  // namespace

CharCodeMap* ReadToUnicode(document::ObjectResolver& resolver, const ResolvedValue& font) {
  AppContext& context = resolver.Context();
  ResolvedValue entry(context);
  GetResolved(resolver, font, "ToUnicode", entry);
  if (document::IsStream(entry.Get())) return ParseToUnicodeStream(resolver, entry);
  if (document::NameIs(entry.Get(), "Identity-H") || document::NameIs(entry.Get(), "Identity-V")) {
    return New<IdentityUnicodeCharCodeMap>(context);
  }
  return nullptr;
}

CharCode IdentityUnicodeCharCodeMap::NextCode(const uint8_t* bytes, const uint8_t* end) const {
  CharCode code;
  if (bytes >= end) return code;
  if (end - bytes < 2) {
    code.length = 1;
    return code;
  }
  code.length = 2;
  code.value = static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
  return code;
}

SimpleToUnicodeCharCodeMap::SimpleToUnicodeCharCodeMap(AppContext& context, const uint16_t (&table)[256])
    : strings_(context) {
  std::memcpy(values_, table, sizeof(values_));
}

void SimpleToUnicodeCharCodeMap::Overlay(const CharCodeMap& toUnicode) {
  for (uint32_t c = 0; c < 256; ++c) {
    const uint8_t bytes[2] = {0, static_cast<uint8_t>(c)};
    CharCode code = toUnicode.NextCode(bytes + 1, bytes + 2);
    if (!Mapped(code, 1)) {
      code = toUnicode.NextCode(bytes, bytes + 2);
      if (!Mapped(code, 2)) continue;
    }
    stringStart_[c] = 0;
    values_[c] = static_cast<uint16_t>(code.value);
    if (code.unitCount > 1) {
      // At most 256 strings of the CMap's longest, so the starts fit 16 bits.
      stringStart_[c] = static_cast<uint16_t>(strings_.Size() + 1);
      strings_.Push(static_cast<uint16_t>(code.unitCount));
      for (uint32_t i = 0; i < code.unitCount; ++i) strings_.Push(code.units[i]);
    }
  }
}

CharCode SimpleToUnicodeCharCodeMap::NextCode(const uint8_t* bytes, const uint8_t* end) const {
  CharCode code;
  if (bytes >= end) return code;
  const uint8_t c = *bytes;
  code.length = 1;
  code.value = values_[c];
  code.wordSpace = c == 32;
  if (stringStart_[c] != 0) {
    const uint16_t* s = strings_.Data() + stringStart_[c] - 1;
    code.unitCount = s[0];
    code.units = s + 1;
  }
  return code;
}

SimpleToUnicodeCharCodeMap* NewSimpleToUnicodeMap(document::ObjectResolver& resolver, const ResolvedValue& font,
                                                  const uint16_t (&table)[256]) {
  AppContext& context = resolver.Context();
  Owned<SimpleToUnicodeCharCodeMap> map(context, New<SimpleToUnicodeCharCodeMap>(context, context, table));
  Owned<CharCodeMap> toUnicode(context, ReadToUnicode(resolver, font));
  if (toUnicode) map->Overlay(*toUnicode);
  return map.Release();
}

}  // namespace vn::pdf::text
