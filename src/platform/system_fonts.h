// Fonts installed on the device, for composite (CJK) fonts that come without
// a program: found through fontconfig where the platform has it. The files
// are read through the engine's own font programs, never drawn by another
// library.
#pragma once

#include <cstdint>

namespace vn::platform {

enum class CjkScript : uint8_t {
  kJapanese,
  kSimplifiedChinese,
  kTraditionalChinese,
  kKorean,
};

struct SystemFontFile {
  char path[512];      // UTF-8, NUL-terminated
  uint32_t faceIndex;  // in a font collection (.ttc), else 0
};

// An installed font that covers `script`: the family Windows documents name
// for the script and style (serif: "MS Mincho", "SimSun", "MingLiU",
// "Batang"; sans-serif: "MS Gothic", "SimHei", ...) when fontconfig has it
// or an alias of it, else any font with the script's characters in that
// style, else in any style. False when none is installed (or the platform
// has no font service).
bool FindSystemFont(CjkScript script, bool serif, SystemFontFile& out);

// A fallback CID font file named `name` in the resource folder (the
// FOLIO_FONT_RESOURCES folder the build names, else "fonts" beside the
// executable). False when it does not exist.
bool FindFallbackFont(const char* name, SystemFontFile& out);

}  // namespace vn::platform
