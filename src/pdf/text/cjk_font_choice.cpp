#include "pdf/text/cjk_font_choice.h"

namespace vn::pdf::text {

namespace {

constexpr uint32_t kSerifFlag = 2;

struct CollectionFonts {
  platform::CjkScript script;
  const char* serifFallback;
  const char* sansFallback;
};

// By collection (kJapan1..kKorea1). Korea1 has its fallback too: without it
// Korean text without a program would draw nothing on a device without a
// Korean system font.
constexpr CollectionFonts kCollectionFonts[] = {
    {platform::CjkScript::kJapanese, "FallbackJapan1Serif", "FallbackJapan1Sans"},
    {platform::CjkScript::kSimplifiedChinese, "FallbackGB1", "FallbackGB1"},
    {platform::CjkScript::kTraditionalChinese, "FallbackCNS1", "FallbackCNS1"},
    {platform::CjkScript::kKorean, "FallbackKorea1", "FallbackKorea1"},
};

}  // namespace

CjkFontSource ChooseCjkFont(cmap::CharacterCollection collection, const char* baseFont, uint32_t flags,
                            platform::SystemFontFile& out) {
  if (baseFont[0] != 0 && platform::FindFallbackFont(baseFont, out)) return CjkFontSource::kResourceFolder;
  if (collection == cmap::kUnknownCollection || collection >= cmap::kCollectionCount) return CjkFontSource::kNone;
  const CollectionFonts& fonts = kCollectionFonts[collection - cmap::kJapan1];
  const bool serif = (flags & kSerifFlag) != 0;
  if (platform::FindSystemFont(fonts.script, serif, out)) return CjkFontSource::kSystem;
  if (platform::FindFallbackFont(serif ? fonts.serifFallback : fonts.sansFallback, out)) {
    return CjkFontSource::kFallback;
  }
  return CjkFontSource::kNone;
}

}  // namespace vn::pdf::text
