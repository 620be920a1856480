#include "pdf/text/cjk_system_font.h"

#include <cstring>

#include "data_io/file_data_store.h"
#include "fonts/recognise_font_file.h"
#include "pdf/text/cjk_font_choice.h"
#include "pdf/text/type0_to_unicode_char_code_map.h"

namespace vn::pdf::text {

namespace {

// UTF-8 to the platform's wide path; false when it does not fit or is not
// UTF-8.
bool Utf8ToWide(const char* utf8, wchar_t* out, uint32_t capacity) {
  uint32_t length = 0;
  for (const auto* p = reinterpret_cast<const uint8_t*>(utf8); *p != 0;) {
    uint32_t value = *p++;
    uint32_t extra = value >= 0xF0 ? 3 : value >= 0xE0 ? 2 : value >= 0xC0 ? 1 : 0;
    if (extra > 0) value &= 0x3Fu >> extra;
    for (; extra > 0; --extra) {
      if ((*p & 0xC0) != 0x80) return false;
      value = (value << 6) | (*p++ & 0x3Fu);
    }
    if (length + 1 >= capacity) return false;
    out[length++] = static_cast<wchar_t>(value);
  }
  out[length] = 0;
  return true;
}

void FileName(const char* path, char (&face)[64]) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  const size_t length = std::strlen(name) < sizeof(face) - 1 ? std::strlen(name) : sizeof(face) - 1;
  std::memcpy(face, name, length);
  face[length] = 0;
}

}  // namespace

fonts::Font* LoadCjkSubstitute(AppContext& context, cmap::CharacterCollection collection, const char* baseFont,
                               uint32_t flags, CharCodeMap*& cidToUnicode, char (&face)[64]) {
  cidToUnicode = nullptr;
  platform::SystemFontFile file;
  if (ChooseCjkFont(context, collection, baseFont, flags, file) == CjkFontSource::kNone) return nullptr;
  wchar_t path[sizeof(file.path)];
  if (!Utf8ToWide(file.path, path, sizeof(file.path))) return nullptr;
  Owned<fonts::Font> program(context,
                             fonts::MakeProgram(context, New<data_io::FileDataStore>(context, context, path)));
  if (!program || !program->IsUsable()) return nullptr;
  FileName(file.path, face);
  if (program->Kind() == fonts::FontKind::kCidKeyed) return program.Release();
  if (program->Kind() != fonts::FontKind::kGlyphIndex || collection == cmap::kUnknownCollection) return nullptr;

  cidToUnicode = NewCollectionUnicodeMap(context, collection);
  return cidToUnicode != nullptr ? program.Release() : nullptr;
}

uint32_t SystemFontGlyph(fonts::Font& program, const CharCodeMap& cidToUnicode, uint32_t cid) {
  if (cid > 0xFFFF) return 0;
  const uint8_t bytes[2] = {static_cast<uint8_t>(cid >> 8), static_cast<uint8_t>(cid)};
  const CharCode code = cidToUnicode.NextCode(bytes, bytes + 2);
  if (code.value == 0 || code.value > 0xFFFF) return 0;
  const int32_t glyph = program.CmapLookup(fonts::CmapSubtable::kWindowsUnicode, code.value);
  return glyph > 0 ? static_cast<uint32_t>(glyph) : 0;
}

}  // namespace vn::pdf::text
