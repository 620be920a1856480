// Our outlines against FreeType's, glyph by glyph, for fonts embedded in the
// shared corpus. CI compares a fixed handful of files (one or two of each
// format); the full run compares every font extracted into $FOLIO_FONTS_DIR
// (tools/extract_fonts.py DIR) and prints a summary for the report:
//   FOLIO_FONTS_DIR=/tmp/fonts build/tests/fonts_tests --gtest_filter='FontCorpus.*'
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

#include "outline_compare.h"
#include "runtime/engine_new.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

struct Tally {
  int fonts = 0, refused = 0, referenceRefused = 0;
  long glyphs = 0, differences = 0, oursFailed = 0, referenceFailed = 0, advances = 0;
  long cmapCodes = 0, cmapDifferences = 0;
  std::map<std::string, int> refusedByKind;
  std::vector<std::string> notes;
  void Note(const std::string& text) {
    if (notes.size() < 400) notes.push_back(text);
  }
};

std::string Kind(const std::string& name) { return name.substr(name.rfind('.') + 1); }

// TrueType "cmap" lookups of every 16-bit code in the three subtables the
// PDF font layer uses.
void CompareCmaps(AppContext& context, fonts::Font& font, const ReferenceFace& reference, const std::string& name,
                  Tally& tally) {
  if (font.Kind() != fonts::FontKind::kGlyphIndex) return;
  struct Subtable {
    fonts::CmapSubtable which;
    int platform, encoding;
  };
  const Subtable subtables[] = {{fonts::CmapSubtable::kWindowsUnicode, 3, 1},
                                {fonts::CmapSubtable::kWindowsSymbol, 3, 0},
                                {fonts::CmapSubtable::kMacRoman, 1, 0}};
  for (const Subtable& s : subtables) {
    // FreeType makes up a Unicode table from glyph names for fonts that
    // have none: only tables the font has are compared.
    int32_t present = -1;
    RaisedCode(context, [&] { present = font.CmapLookup(s.which, 0x41); });
    if (reference.CmapGlyph(s.platform, s.encoding, 0x41) < 0 || present < 0) continue;
    long mismatches = 0;
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
      int32_t ours = -2;
      RaisedCode(context, [&] { ours = font.CmapLookup(s.which, code); });
      long theirs = reference.CmapGlyph(s.platform, s.encoding, code);
      ++tally.cmapCodes;
      if (ours != theirs) ++mismatches;
    }
    tally.cmapDifferences += mismatches;
    if (mismatches > 0) {
      tally.Note(name + ": cmap (" + std::to_string(s.platform) + "," + std::to_string(s.encoding) + ") differs for " +
                 std::to_string(mismatches) + " codes");
    }
  }
}

void CompareFont(const std::string& path, Tally& tally) {
  std::vector<unsigned char> bytes = ReadWholeFile(path);
  std::string name = path.substr(path.rfind('/') + 1);
  AppContext context;
  ++tally.fonts;
  ReferenceFace reference(bytes);
  Owned<fonts::Font> font(context, LoadProgram(context, bytes));
  if (!reference.Ok()) ++tally.referenceRefused;
  if (!font) {
    ++tally.refused;
    ++tally.refusedByKind[Kind(name)];
    tally.Note(name + ": refused" + (reference.Ok() ? "" : " (FreeType refuses it too)"));
    return;
  }
  if (!reference.Ok()) return;
  long differencesBefore = tally.differences;
  std::string firstDifference;
  for (uint32_t g = 0; g < font->GlyphCount(); ++g) {
    long index = reference.IndexFor(*font, g);
    Outline theirs;
    if (index < 0 || !reference.Load(index, theirs)) {
      ++tally.referenceFailed;
      continue;
    }
    ++tally.glyphs;
    Outline ours;
    int32_t code = RaisedCode(context, [&] { ours = OurOutline(*font, g); });
    if (code >= 0) {
      ++tally.oursFailed;
      ++tally.differences;
      if (firstDifference.empty()) firstDifference = "glyph " + std::to_string(g) + ": error " + std::to_string(code);
      continue;
    }
    std::string difference = CompareOutlines(ours, theirs, 1.0);
    if (!difference.empty()) {
      ++tally.differences;
      if (firstDifference.empty()) firstDifference = "glyph " + std::to_string(g) + ": " + difference;
    }
    long advance = reference.Advance(index);
    Fixed16_16 ourAdvance = 0;
    if (RaisedCode(context, [&] { ourAdvance = font->GlyphAdvance(g); }) < 0 &&
        std::labs(static_cast<long>(FixedRound(ourAdvance)) - advance) > 1) {
      ++tally.advances;
      tally.Note(name + " glyph " + std::to_string(g) + ": advance " + std::to_string(FixedRound(ourAdvance)) +
                 " vs " + std::to_string(advance));
    }
  }
  CompareCmaps(context, *font, reference, name, tally);
  if (tally.differences > differencesBefore) {
    tally.Note(name + ": " + std::to_string(tally.differences - differencesBefore) + " glyphs differ, first " +
               firstDifference);
  }
}

void Report(const Tally& t) {
  std::printf("fonts %d, refused %d, refused by FreeType %d; glyphs compared %ld, differences %ld "
              "(our errors %ld), advance differences %ld, glyphs FreeType could not load %ld; "
              "cmap codes compared %ld, differences %ld\n",
              t.fonts, t.refused, t.referenceRefused, t.glyphs, t.differences, t.oursFailed, t.advances,
              t.referenceFailed, t.cmapCodes, t.cmapDifferences);
  for (const auto& [kind, n] : t.refusedByKind) std::printf("  refused %s: %d\n", kind.c_str(), n);
  for (const std::string& note : t.notes) std::printf("  %s\n", note.c_str());
}

// A fixed set: small files that carry each format.
const char* const kCiFiles[] = {
    "pdfjs__issue2833.pdf",                                         // Type 1
    "pypdf__001-trivial_minimal-document.pdf",                      // Type 1
    "pdfium__marked_content_id.pdf",                                // TrueType
    "deb__tl-games__CaJ-PokeRv1-3T.pdf",                            // TrueType
    "gen__gs_mp-grdemo.pdf",                                        // Type1C
    "pdfjs__issue12399_reduced.pdf",                                // Type1C
    "safedocs__Unicode_passwords_baseline_unicode-test-actualtext.pdf",  // CIDFontType0C
    "deb__tl-games__musikui.pdf",                                   // CIDFontType0C
    "pdfjs__issue9915_reduced.pdf",                                 // OpenType
};

TEST(FontCorpus, OutlinesAgreeWithFreeType) {
  std::string dir;
  std::string scratch;
  if (const char* all = std::getenv("FOLIO_FONTS_DIR")) {
    dir = all;
  } else {
    std::string corpus = CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    char pattern[] = "/tmp/folio-fonts-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch = dir = pattern;
    std::string command = "python3 " FOLIO_SOURCE_DIR "/tools/extract_fonts.py " + dir;
    for (const char* file : kCiFiles) command += " " + corpus + "/" + file;
    ASSERT_EQ(RunShell(command).status, 0);
  }
  std::vector<std::string> files;
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n[0] != '.' && n != "index.tsv") files.push_back(dir + "/" + n);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  Tally tally;
  for (const std::string& f : files) CompareFont(f, tally);
  Report(tally);
  if (!scratch.empty()) RunShell("rm -rf " + scratch);
  EXPECT_GT(tally.glyphs, 0);
  // At least 99.9 % of glyphs agree.
  EXPECT_LE(tally.differences * 1000, tally.glyphs);
  EXPECT_LE(tally.cmapDifferences * 1000, tally.cmapCodes);
}

}  // namespace
}  // namespace vn::test
