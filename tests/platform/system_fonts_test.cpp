// Installed CJK fonts found through the platform's font service, and the
// choice a composite font of each collection makes among them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pdf/text/cjk_font_choice.h"
#include "platform/system_fonts.h"

namespace vn::test {
namespace {

using platform::CjkScript;

// What fc-list (fontconfig's own tool) says covers a character.
bool FcListHas(uint32_t character) {
  char command[96];
  std::snprintf(command, sizeof(command), "fc-list ':charset=%X' file 2>/dev/null | grep -q .", character);
  return std::system(command) == 0;
}

TEST(SystemFonts, EachCollectionFindsAnInstalledFontOfItsScript) {
  struct Case {
    pdf::cmap::CharacterCollection collection;
    CjkScript script;
    uint32_t sample;
  };
  static const Case kCases[] = {
      {pdf::cmap::kJapan1, CjkScript::kJapanese, 0x3042},
      {pdf::cmap::kGB1, CjkScript::kSimplifiedChinese, 0x8FD9},
      {pdf::cmap::kCNS1, CjkScript::kTraditionalChinese, 0x9019},
      {pdf::cmap::kKorea1, CjkScript::kKorean, 0xAC00},
  };
  AppContext context;
  int tested = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.collection));
    if (!FcListHas(c.sample)) continue;  // no such font here (fonts-droid-fallback covers three, fonts-baekmuk Korean)
    ++tested;
    for (bool serif : {false, true}) {
      platform::SystemFontFile file{};
      ASSERT_TRUE(platform::FindSystemFont(c.script, serif, file));
      EXPECT_NE(std::string(file.path).find('/'), std::string::npos) << file.path;
      platform::SystemFontFile chosen{};
      EXPECT_EQ(pdf::text::ChooseCjkFont(context, c.collection, "NoSuchFont", serif ? 2u : 32u, chosen),
                pdf::text::CjkFontSource::kSystem);
      EXPECT_STREQ(chosen.path, file.path);
    }
  }
  if (tested == 0) GTEST_SKIP() << "no CJK font is installed (tools/setup.sh installs fonts-droid-fallback and fonts-baekmuk)";
}

TEST(SystemFonts, UnknownCollectionsAndMissingFallbacksFindNothing) {
  AppContext context;
  platform::SystemFontFile file{};
  EXPECT_EQ(pdf::text::ChooseCjkFont(context, pdf::cmap::kUnknownCollection, "NoSuchFont", 32u, file),
            pdf::text::CjkFontSource::kNone);
  EXPECT_FALSE(platform::FindFallbackFont("NoSuchFallbackFont", file));
}

}  // namespace
}  // namespace vn::test
