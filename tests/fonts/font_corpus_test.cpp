// Our outlines, cmap lookups and glyph bitmaps against FreeType's, glyph by
// glyph, for fonts embedded in the shared corpus. CI compares a fixed
// handful of files (one or two of each format); the full run compares every
// font extracted into $FOLIO_FONTS_DIR (tools/extract_fonts.py DIR) and
// prints a summary for the report:
//   FOLIO_FONTS_DIR=/tmp/fonts build/tests/fonts_tests --gtest_filter='FontCorpus.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

#include "fonts/glyph_cache.h"
#include "im/raster_painter.h"
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
  // Bitmaps at 8, 12 and 24 pixels per em: summed absolute differences,
  // pixels compared, glyphs compared.
  double bitmapDifference[3] = {0, 0, 0};
  long bitmapPixels[3] = {0, 0, 0};
  long bitmapGlyphs[3] = {0, 0, 0};
  // At 12 pixels per em against the 16 x 16 supersampled outline.
  double supersampleDifference = 0;
  long supersamplePixels = 0;
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

constexpr int kBitmapSizes[3] = {8, 12, 24};
// Glyphs per font whose bitmaps are compared (fonts with thousands of
// glyphs would dominate the run otherwise).
constexpr uint32_t kBitmapGlyphsPerFont = 300;
// The supersampled reference: 16 x 16 samples a pixel.
constexpr int kSupersample = 16;

// A glyph's coverage as a lookup over a box (0 outside it).
struct Coverage {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::vector<unsigned char> bytes;
  int At(int x, int y) const {
    return x >= x0 && x < x1 && y >= y0 && y < y1 ? bytes[static_cast<size_t>(y - y0) * (x1 - x0) + (x - x0)] : 0;
  }
};

Coverage OurCoverage(AppContext& context, fonts::Font& font, uint32_t glyph, int pixelsPerEm) {
  const im::PixelRect page{-8000, -8000, 8000, 8000};
  Ref<fonts::BitmapCache> cache(
      context, font.MakeBitmapCache(FixedMatrix{pixelsPerEm << 16, 0, 0, -(pixelsPerEm << 16), 0, 0}));
  Scoped<fonts::TransientGlyph> scratch(context, context);
  const fonts::GlyphMask& mask = fonts::GlyphBitmap(*cache, glyph, page, 0, 0, *scratch);
  Coverage c;
  if (mask.Empty()) return c;
  c = Coverage{mask.x0, mask.y0, mask.x1, mask.y1, {}};
  c.bytes.assign(mask.coverage, mask.coverage + static_cast<size_t>(mask.Width()) * mask.Height());
  return c;
}

// Sum of absolute differences of two coverages over the union of their
// boxes, and that union's pixel count.
void AddDifference(const Coverage& a, const Coverage& b, double& sum, long& pixels) {
  const bool aEmpty = a.x0 >= a.x1, bEmpty = b.x0 >= b.x1;
  if (aEmpty && bEmpty) return;
  const int x0 = aEmpty ? b.x0 : bEmpty ? a.x0 : std::min(a.x0, b.x0);
  const int y0 = aEmpty ? b.y0 : bEmpty ? a.y0 : std::min(a.y0, b.y0);
  const int x1 = aEmpty ? b.x1 : bEmpty ? a.x1 : std::max(a.x1, b.x1);
  const int y1 = aEmpty ? b.y1 : bEmpty ? a.y1 : std::max(a.y1, b.y1);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) sum += std::abs(a.At(x, y) - b.At(x, y));
  }
  pixels += static_cast<long>(x1 - x0) * (y1 - y0);
}

// Our bitmaps of `glyph` against FreeType's unhinted anti-aliased ones, and
// at 12 pixels per em against our own outline rendered at 16 times the size
// and box-filtered down: the exact coverage within a level or so, since
// lines are exact at any size and the flattening error of curves shrinks
// with it. (FreeType flattens curves more coarsely: most of the difference
// to it sits on curved edges.)
void CompareBitmaps(AppContext& context, fonts::Font& font, const ReferenceFace& reference, uint32_t glyph,
                    long index, Tally& tally) {
  for (int s = 0; s < 3; ++s) {
    const int px = kBitmapSizes[s];
    Coverage theirs;
    int left, top, width, rows;
    if (!reference.Render(index, px, theirs.bytes, left, top, width, rows)) continue;
    // FreeType's rows count down from `top` above the baseline.
    theirs.x0 = left;
    theirs.y0 = -top;
    theirs.x1 = left + width;
    theirs.y1 = rows - top;
    const Coverage ours = OurCoverage(context, font, glyph, px);
    AddDifference(ours, theirs, tally.bitmapDifference[s], tally.bitmapPixels[s]);
    ++tally.bitmapGlyphs[s];
    if (px != 12 || ours.x0 >= ours.x1) continue;
    const Coverage fine = OurCoverage(context, font, glyph, px * kSupersample);
    Coverage filtered = ours;
    for (int y = ours.y0; y < ours.y1; ++y) {
      for (int x = ours.x0; x < ours.x1; ++x) {
        int sum = 0;
        for (int j = 0; j < kSupersample; ++j) {
          for (int i = 0; i < kSupersample; ++i) sum += fine.At(x * kSupersample + i, y * kSupersample + j);
        }
        filtered.bytes[static_cast<size_t>(y - ours.y0) * (ours.x1 - ours.x0) + (x - ours.x0)] =
            static_cast<unsigned char>((sum + kSupersample * kSupersample / 2) / (kSupersample * kSupersample));
      }
    }
    AddDifference(ours, filtered, tally.supersampleDifference, tally.supersamplePixels);
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
    if (g < kBitmapGlyphsPerFont) CompareBitmaps(context, *font, reference, g, index, tally);
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
  for (int s = 0; s < 3; ++s) {
    std::printf("bitmaps at %d px: %ld glyphs, mean absolute difference %.3f per pixel (of 255) over %ld pixels\n",
                kBitmapSizes[s], t.bitmapGlyphs[s], t.bitmapPixels[s] ? t.bitmapDifference[s] / t.bitmapPixels[s] : 0.0,
                t.bitmapPixels[s]);
  }
  std::printf("bitmaps at 12 px against the 16 x 16 supersampled outline: mean absolute difference %.3f over %ld "
              "pixels\n",
              t.supersamplePixels ? t.supersampleDifference / t.supersamplePixels : 0.0, t.supersamplePixels);
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
  // Coverage: the mean absolute difference per pixel (0..255, over the union
  // of the two boxes) is within a few levels of FreeType's unhinted
  // rendering, and within half a level of the supersampled outline.
  const double kFreeTypeTolerance[3] = {4.5, 3.5, 2.5};
  for (int s = 0; s < 3; ++s) {
    EXPECT_GT(tally.bitmapPixels[s], 0);
    EXPECT_LT(tally.bitmapDifference[s], kFreeTypeTolerance[s] * tally.bitmapPixels[s]) << kBitmapSizes[s] << " px";
  }
  EXPECT_GT(tally.supersamplePixels, 0);
  EXPECT_LT(tally.supersampleDifference, 0.5 * tally.supersamplePixels);
}

}  // namespace
}  // namespace vn::test
