#include "fonts/recognise_font_file.h"

#include <cstring>

#include "fonts/parsers/cff.h"
#include "fonts/parsers/truetype.h"
#include "fonts/parsers/type1.h"
#include "fonts/sfnt_tables.h"
#include "runtime/engine_new.h"

namespace vn::fonts {

namespace {

bool StartsWith(FontData& data, uint32_t offset, const char* text) {
  uint32_t length = static_cast<uint32_t>(std::strlen(text));
  return data.Contains(offset, length) && std::memcmp(data.View(offset, length), text, length) == 0;
}

bool IsType1Header(FontData& data, uint32_t offset) {
  return StartsWith(data, offset, "%!PS-AdobeFont") || StartsWith(data, offset, "%!FontType1") ||
         StartsWith(data, offset, "%!FontType 1");
}

FontFileFormat Recognise(FontData& data, uint32_t& cffOffset, uint32_t& cffLength) {
  if (data.Length() < 4) return FontFileFormat::kUnknown;
  uint32_t tag = data.U32(0);
  if (IsSfntVersion(tag)) {
    if (data.Length() < 12) return FontFileFormat::kUnknown;
    SfntTable cff = FindSfntTable(data, SfntTag('C', 'F', 'F', ' '));
    if (cff.Present()) {
      cffOffset = cff.offset;
      cffLength = cff.length;
      return FontFileFormat::kCff;
    }
    return FontFileFormat::kTrueType;
  }
  if (data.U8(0) == 1) {
    cffOffset = 0;
    cffLength = data.Length();
    return FontFileFormat::kCff;
  }
  // PFB files wrap the same text in segments that start 0x80 0x01.
  if (IsType1Header(data, 0) || (data.U8(0) == 0x80 && data.U8(1) == 1 && IsType1Header(data, 6))) {
    return FontFileFormat::kType1;
  }
  return FontFileFormat::kUnknown;
}

}  // namespace

FontFileFormat RecogniseFontFile(FontData& data, uint32_t& cffOffset, uint32_t& cffLength) {
  TryFrame frame;
  volatile FontFileFormat format = FontFileFormat::kUnknown;
  if (VN_TRY(data.Context(), frame)) {
    format = Recognise(data, cffOffset, cffLength);
  } else {
    AbsorbOnly(data.Context(), frame, kBadData);
  }
  EndTry(frame);
  return format;
}

FontFileFormat RecogniseFontFile(FontData& data) {
  uint32_t offset = 0, length = 0;
  return RecogniseFontFile(data, offset, length);
}

Font* MakeProgram(AppContext& context, data_io::DataStore* store) {
  Owned<data_io::DataStore> holder(context, store);
  uint32_t cffOffset = 0, cffLength = 0;
  FontFileFormat format;
  {
    Scoped<FontData> probe(context, context, store);
    format = RecogniseFontFile(*probe, cffOffset, cffLength);
  }
  if (format == FontFileFormat::kUnknown) return nullptr;
  TryFrame frame;
  Font* volatile program = nullptr;
  if (VN_TRY(context, frame)) {
    switch (format) {
      case FontFileFormat::kCff:
        program = New<parsers::CFF>(context, context, holder, cffOffset, cffLength);
        break;
      case FontFileFormat::kTrueType:
        program = New<parsers::TrueType>(context, context, holder);
        break;
      default:
        program = New<parsers::Type1>(context, context, holder);
        break;
    }
  } else {
    AbsorbOnly(context, frame, kBadData);
  }
  EndTry(frame);
  return program;
}

}  // namespace vn::fonts
