#include "platform/system_fonts.h"

#include <unistd.h>

#include <cstring>

#ifdef FOLIO_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace vn::platform {

namespace {

bool CopyPath(const char* path, uint32_t faceIndex, SystemFontFile& out) {
  const size_t length = std::strlen(path);
  if (length >= sizeof(out.path)) return false;
  std::memcpy(out.path, path, length + 1);
  out.faceIndex = faceIndex;
  return true;
}

#ifdef FOLIO_HAS_FONTCONFIG

struct ScriptFonts {
  const char* serifFamily;
  const char* sansFamily;
  const char* language;  // preferred among the fonts that have the samples
  uint32_t samples[2];  // characters every font for the script has
};

// By CjkScript.
constexpr ScriptFonts kScriptFonts[] = {
    {"MS Mincho", "MS Gothic", "ja", {0x3042, 0x65E5}},  // hiragana a, "day"
    {"SimSun", "SimHei", "zh-cn", {0x4EEC, 0x8FD9}},     // simplified "men", "zhe"
    {"MingLiU", "MingLiU", "zh-tw", {0x5011, 0x9019}},   // their traditional forms
    {"Batang", "Batang", "ko", {0xAC00, 0xD55C}},        // hangul ga, han
};

bool Covers(FcPattern* font, const ScriptFonts& script) {
  FcCharSet* characters = nullptr;
  if (FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch) return false;
  for (uint32_t c : script.samples) {
    if (!FcCharSetHasChar(characters, c)) return false;
  }
  return true;
}

// The best font for `family` then `generic` that covers the script.
bool Match(const ScriptFonts& script, const char* family, const char* generic, SystemFontFile& out) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic));
  FcCharSet* wanted = FcCharSetCreate();
  for (uint32_t c : script.samples) FcCharSetAddChar(wanted, c);
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(script.language));
  FcCharSetDestroy(wanted);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  bool found = false;
  for (int i = 0; fonts != nullptr && i < fonts->nfont && !found; ++i) {
    FcChar8* file = nullptr;
    int index = 0;
    if (!Covers(fonts->fonts[i], script) || FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) != FcResultMatch) {
      continue;
    }
    FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index);
    found = CopyPath(reinterpret_cast<const char*>(file), static_cast<uint32_t>(index), out);
  }
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  return found;
}

#endif

}  // namespace

bool FindSystemFont(CjkScript script, bool serif, SystemFontFile& out) {
#ifdef FOLIO_HAS_FONTCONFIG
  if (!FcInit()) return false;
  const ScriptFonts& fonts = kScriptFonts[static_cast<uint32_t>(script)];
  return Match(fonts, serif ? fonts.serifFamily : fonts.sansFamily, serif ? "serif" : "sans-serif", out);
#else
  (void)script;
  (void)serif;
  (void)out;
  return false;
#endif
}

bool FindFallbackFont(const char* name, SystemFontFile& out) {
  char folder[512];
#ifdef FOLIO_FONT_RESOURCES
  std::strncpy(folder, FOLIO_FONT_RESOURCES, sizeof(folder) - 1);
  folder[sizeof(folder) - 1] = 0;
#else
  const ssize_t length = readlink("/proc/self/exe", folder, sizeof(folder) - 1);
  if (length <= 0) return false;
  folder[length] = 0;
  char* slash = std::strrchr(folder, '/');
  if (slash == nullptr) return false;
  std::strcpy(slash + 1, "fonts");
#endif
  char path[sizeof(out.path)];
  const size_t folderLength = std::strlen(folder), nameLength = std::strlen(name);
  if (folderLength + 1 + nameLength >= sizeof(path)) return false;
  std::memcpy(path, folder, folderLength);
  path[folderLength] = '/';
  std::memcpy(path + folderLength + 1, name, nameLength + 1);
  return access(path, R_OK) == 0 && CopyPath(path, 0, out);
}

}  // namespace vn::platform
