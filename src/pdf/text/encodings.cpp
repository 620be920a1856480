#include "pdf/text/encodings.h"

#include <cstring>

#include "fonts/font_tables.h"
#include "pdf/text/text_tables.h"

namespace vn::pdf::text {

namespace {

bool Equals(const uint8_t* bytes, uint32_t length, const char* text) {
  return std::strlen(text) == length && std::memcmp(bytes, text, length) == 0;
}

// Byte-wise order of a name against a NUL-terminated table entry.
int Compare(GlyphName name, const char* entry) {
  const uint32_t entryLength = static_cast<uint32_t>(std::strlen(entry));
  const uint32_t common = name.length < entryLength ? name.length : entryLength;
  const int order = std::memcmp(name.bytes, entry, common);
  if (order != 0) return order;
  return name.length < entryLength ? -1 : name.length > entryLength ? 1 : 0;
}

// The index of `name` in a table sorted in byte order, or -1.
template <class Entry, class NameOf>
int32_t BinarySearch(const Entry* table, uint32_t count, GlyphName name, NameOf nameOf) {
  uint32_t low = 0, high = count;
  while (low < high) {
    const uint32_t middle = (low + high) / 2;
    const int order = Compare(name, nameOf(table[middle]));
    if (order == 0) return static_cast<int32_t>(middle);
    if (order < 0) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return -1;
}

GlyphName NameOf(const char* text) {
  if (text == nullptr) return GlyphName{"", 0};
  return GlyphName{text, static_cast<uint32_t>(std::strlen(text))};
}

struct StandardName {
  const char* name;
  int32_t index;
};

constexpr StandardName kStandardFontNames[] = {
    {"Courier", 0}, {"CourierNew", 0}, {"Courier-Bold", 1}, {"CourierNew,Bold", 1},
    {"Courier-Oblique", 2}, {"CourierNew,Italic", 2}, {"Courier-BoldOblique", 3}, {"CourierNew,BoldItalic", 3},
    {"Helvetica", 4}, {"Arial", 4}, {"Helvetica-Bold", 5}, {"Arial,Bold", 5},
    {"Helvetica-Oblique", 6}, {"Arial,Italic", 6}, {"Helvetica-BoldOblique", 7}, {"Arial,BoldItalic", 7},
    {"Times-Roman", 8}, {"TimesNewRoman", 8}, {"TimesNewRomanPSMT", 8}, {"Times-Bold", 9},
    {"TimesNewRoman,Bold", 9}, {"Times-Italic", 10}, {"TimesNewRoman,Italic", 10}, {"Times-BoldItalic", 11},
    {"TimesNewRoman,BoldItalic", 11}, {"Symbol", 12}, {"ZapfDingbats", 13},
};

}  // namespace

NamedEncoding EncodingFromName(const uint8_t* name, uint32_t length) {
  if (Equals(name, length, "StandardEncoding")) return NamedEncoding::kStandard;
  if (Equals(name, length, "MacRomanEncoding")) return NamedEncoding::kMacRoman;
  if (Equals(name, length, "WinAnsiEncoding") || Equals(name, length, "PDFDocEncoding")) {
    return NamedEncoding::kWinAnsi;
  }
  if (Equals(name, length, "MacExpertEncoding")) return NamedEncoding::kMacExpert;
  return NamedEncoding::kNone;
}

GlyphName EncodingGlyphName(NamedEncoding encoding, uint8_t code) {
  switch (encoding) {
    case NamedEncoding::kStandard: {
      const uint16_t sid = fonts::kStandardEncodingSids[code];
      return sid == 0 ? NameOf(nullptr) : NameOf(fonts::kCffStandardStrings[sid]);
    }
    case NamedEncoding::kMacRoman: return NameOf(kMacRomanEncodingNames[code]);
    case NamedEncoding::kWinAnsi: return NameOf(kWinAnsiEncodingNames[code]);
    case NamedEncoding::kMacExpert: return NameOf(kMacExpertEncodingNames[code]);
    case NamedEncoding::kSymbol: return NameOf(kSymbolEncodingNames[code]);
    case NamedEncoding::kZapfDingbats: return NameOf(kZapfDingbatsEncodingNames[code]);
    case NamedEncoding::kNone: break;
  }
  return NameOf(nullptr);
}

const uint16_t* EncodingUnicodeTable(NamedEncoding encoding) {
  switch (encoding) {
    case NamedEncoding::kMacRoman: return fonts::kMacRomanUnicode;
    case NamedEncoding::kWinAnsi: return fonts::kWinAnsiUnicode;
    case NamedEncoding::kMacExpert: return kMacExpertUnicode;
    default: return nullptr;
  }
}

uint16_t GlyphNameToUnicode(GlyphName name) {
  const int32_t at =
      BinarySearch(kGlyphList, kGlyphListCount, name, [](const GlyphListEntry& e) { return e.name; });
  return at < 0 ? 0 : kGlyphList[at].unicode;
}

int32_t StandardFontIndex(const uint8_t* name, uint32_t length) {
  for (const StandardName& entry : kStandardFontNames) {
    if (Equals(name, length, entry.name)) return entry.index;
  }
  return kNotStandardFont;
}

NamedEncoding StandardFontEncoding(int32_t index) {
  if (index == 12) return NamedEncoding::kSymbol;
  if (index == 13) return NamedEncoding::kZapfDingbats;
  return NamedEncoding::kStandard;
}

int32_t StandardFontWidth(int32_t index, GlyphName name) {
  if (index < 0 || index >= kNotStandardFont) return -1;
  const int32_t at =
      BinarySearch(kStandardMetricNames, kStandardMetricNameCount, name, [](const char* n) { return n; });
  if (at < 0) return -1;
  const uint16_t width = kStandardWidths[kStandardWidthTableOfFont[index]][at];
  return width == 0 ? -1 : width;
}

}  // namespace vn::pdf::text
