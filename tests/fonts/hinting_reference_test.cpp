// Hinted TrueType outlines against FreeType's v35 interpreter (the
// reference): every point of every glyph compared within one 26.6 unit, at
// 9, 12 and 16 pixels per em, for a few Debian fonts and every TrueType
// program embedded in the corpus files that the manifest marks as carrying
// TrueType fonts. The summary line gives the figures; set
// FOLIO_HINT_DETAILS=1 for each differing glyph.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

#include "fonts/hinting/glyph_hinter.h"
#include "outline_compare.h"
#include "runtime/engine_new.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

constexpr int kSizes[] = {9, 12, 16};
// Glyphs compared per font (the first ones): keeps the run near a minute.
constexpr uint32_t kGlyphsPerFont = 120;

const char* const kDebianFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Italic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
};

struct Tally {
  long glyphs = 0, equal = 0;
  std::map<std::string, long> causes;
  std::vector<std::string> details;
  void Differ(const std::string& cause, const std::string& detail) {
    ++causes[cause];
    if (details.size() < 2000) details.push_back(cause + ": " + detail);
  }
};

class FreeTypeV35 {
 public:
  explicit FreeTypeV35(const std::vector<unsigned char>& bytes) {
    if (FT_Init_FreeType(&library_) != 0) return;
    FT_UInt version = TT_INTERPRETER_VERSION_35;
    FT_Property_Set(library_, "truetype", "interpreter-version", &version);
    if (FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face_) != 0) face_ = nullptr;
  }
  ~FreeTypeV35() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  bool Ok() const { return face_ != nullptr; }
  bool SetSize(int ppem) { return FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(ppem)) == 0; }
  // The hinted points in 26.6; false when FreeType cannot load the glyph.
  bool Load(uint32_t glyph, std::vector<FT_Vector>& points) {
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP | FT_LOAD_NO_AUTOHINT) != 0) return false;
    const FT_Outline& o = face_->glyph->outline;
    points.assign(o.points, o.points + o.n_points);
    return true;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

void CompareFont(const std::string& name, const std::vector<unsigned char>& bytes, Tally& tally) {
  AppContext context;
  Owned<fonts::Font> font(context);
  if (RaisedCode(context, [&] { font.Set(LoadProgram(context, bytes)); }) >= 0 || !font ||
      font->Kind() != fonts::FontKind::kGlyphIndex) {
    return;
  }
  FreeTypeV35 reference(bytes);
  if (!reference.Ok()) return;
  auto& program = static_cast<fonts::parsers::TrueType&>(*font);
  Owned<fonts::hinting::GlyphHinter> hinter(context);
  if (RaisedCode(context, [&] { hinter.Set(New<fonts::hinting::GlyphHinter>(context, context, program)); }) >= 0) {
    tally.Differ("font not set up", name);
    return;
  }
  Scoped<fonts::hinting::HintedGlyph> ours(context, context);
  const uint32_t count = font->GlyphCount() < kGlyphsPerFont ? font->GlyphCount() : kGlyphsPerFont;
  for (int ppem : kSizes) {
    if (!reference.SetSize(ppem)) continue;
    fonts::hinting::HintingSize size;
    size.ppem = ppem;
    size.grayscale = false;
    bool sizeOk = false;
    RaisedCode(context, [&] { sizeOk = hinter->SetSize(size); });
    for (uint32_t g = 0; g < count; ++g) {
      std::vector<FT_Vector> theirs;
      if (!reference.Load(g, theirs)) continue;
      ++tally.glyphs;
      const std::string where = name + " glyph " + std::to_string(g) + " at " + std::to_string(ppem);
      if (RaisedCode(context, [&] { hinter->Load(g, *ours); }) >= 0) {
        tally.Differ("our loader refused the glyph", where);
        continue;
      }
      if (ours->points.Size() != theirs.size()) {
        tally.Differ("point counts differ", where);
        continue;
      }
      uint32_t worst = 0, at = 0;
      for (uint32_t i = 0; i < ours->points.Size(); ++i) {
        const long dx = std::labs(ours->points[i].x - theirs[i].x), dy = std::labs(ours->points[i].y - theirs[i].y);
        const uint32_t d = static_cast<uint32_t>(dx > dy ? dx : dy);
        if (d > worst) {
          worst = d;
          at = i;
        }
      }
      if (worst <= 1) {
        ++tally.equal;
        continue;
      }
      char detail[200];
      std::snprintf(detail, sizeof detail, " point %u: (%d, %d) vs (%ld, %ld)", at, ours->points[at].x,
                    ours->points[at].y, static_cast<long>(theirs[at].x), static_cast<long>(theirs[at].y));
      tally.Differ(!sizeOk ? "control-value program faulted (size drawn unhinted)"
                   : !ours->hinted ? "glyph program faulted (glyph drawn unhinted)"
                                   : "coordinates differ",
                   where + detail);
    }
  }
}

std::vector<std::string> CorpusTrueTypePrograms() {
  std::vector<std::string> programs;
  std::string corpus = CorpusDir();
  if (corpus.empty()) return programs;
  const std::string dir = ScratchPath("hinting-fonts");
  std::string command = "rm -rf " + dir + " && python3 " FOLIO_SOURCE_DIR "/tools/extract_fonts.py " + dir;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.HasFeature("font-truetype") || file.HasFeature("font-cid-truetype")) command += " " + file.path;
  }
  RunShell(command);
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".ttf") == 0) programs.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(programs.begin(), programs.end());
  return programs;
}

TEST(TrueTypeHinting, MatchesFreeTypeV35) {
  Tally tally;
  int fonts = 0;
  for (const char* path : kDebianFonts) {
    std::vector<unsigned char> bytes = ReadWholeFile(path);
    if (bytes.empty()) continue;
    ++fonts;
    CompareFont(path, bytes, tally);
  }
  for (const std::string& path : CorpusTrueTypePrograms()) {
    ++fonts;
    CompareFont(path.substr(path.rfind('/') + 1), ReadWholeFile(path), tally);
  }
  if (fonts == 0) GTEST_SKIP() << "no TrueType fonts to compare";
  std::printf("hinting against FreeType v35: %d fonts, %ld glyph outlines compared, %ld equal (%.2f %%)\n", fonts,
              tally.glyphs, tally.equal, tally.glyphs ? 100.0 * tally.equal / tally.glyphs : 0.0);
  for (const auto& [cause, count] : tally.causes) std::printf("  %ld: %s\n", count, cause.c_str());
  if (std::getenv("FOLIO_HINT_DETAILS") != nullptr) {
    for (const std::string& d : tally.details) std::printf("    %s\n", d.c_str());
  }
  EXPECT_GE(tally.equal * 100, tally.glyphs * 99);
}

}  // namespace
}  // namespace vn::test
