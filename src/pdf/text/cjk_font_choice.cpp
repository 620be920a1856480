#include "pdf/text/cjk_font_choice.h"

#include "runtime/yield_points.h"

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

struct SystemFontQuery {
  platform::CjkScript script;
  bool serif;
  platform::SystemFontFile* out;
  bool found;
};

// The font service parses its configuration on first use, deeper than an
// engine thread's stack goes: it runs on the main stack.
bool FindSystemFontOnMainStack(AppContext& context, platform::CjkScript script, bool serif,
                               platform::SystemFontFile& out) {
  SystemFontQuery query{script, serif, &out, false};
  RunOnMainStack(
      context,
      [](void* argument) {
        auto* q = static_cast<SystemFontQuery*>(argument);
        q->found = platform::FindSystemFont(q->script, q->serif, *q->out);
      },
      &query);
  return query.found;
}

}  // namespace

CjkFontSource ChooseCjkFont(AppContext& context, cmap::CharacterCollection collection, const char* baseFont, uint32_t flags,
                            platform::SystemFontFile& out) {
  if (baseFont[0] != 0 && platform::FindFallbackFont(baseFont, out)) return CjkFontSource::kResourceFolder;
  if (collection == cmap::kUnknownCollection || collection >= cmap::kCollectionCount) return CjkFontSource::kNone;
  const CollectionFonts& fonts = kCollectionFonts[collection - cmap::kJapan1];
  const bool serif = (flags & kSerifFlag) != 0;
  if (FindSystemFontOnMainStack(context, fonts.script, serif, out)) return CjkFontSource::kSystem;
  if (platform::FindFallbackFont(serif ? fonts.serifFallback : fonts.sansFallback, out)) {
    return CjkFontSource::kFallback;
  }
  return CjkFontSource::kNone;
}

}  // namespace vn::pdf::text
