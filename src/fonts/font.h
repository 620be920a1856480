// A font program: the glyph data that draws a font's characters (an
// embedded CFF, TrueType or Type 1 file, later also built-in and system
// fonts). The PDF font layer picks glyphs through it and the glyph cache
// draws them. Programs for embedded files come from MakeProgram
// (recognise_font_file.h).
//
// How glyphs are addressed depends on the kind:
//  - name-keyed (CFF with glyph names, Type 1): a glyph id is an index into
//    GlyphNames(); BuiltInEncoding() gives the program's own code -> name
//    table and FindGlyph(name) the id of a name;
//  - glyph index (TrueType): CodeToGlyphTable() builds a simple font's code
//    -> glyph table from the "cmap" subtables; CmapLookup() reads one
//    subtable; GlyphNames() gives the "post" names when the font has them;
//  - CID-keyed CFF: GlyphForCid() maps a CID to a glyph id through the
//    charset (used by composite fonts only).
// Glyph ids run from 0 to GlyphCount() - 1; glyph 0 is ".notdef".
//
// Coordinates: a glyph's outline and advance are in glyph space; the font
// matrix maps glyph space to text space (1/unitsPerEm for TrueType, usually
// 1/1000 for CFF and Type 1). AppendOutline takes the text-space-to-target
// matrix and applies both.
//
// Damaged glyph data raises kBadData from AppendOutline and GlyphAdvance
// (the sink may have received part of the glyph); the glyph cache absorbs
// it so that a damaged glyph draws nothing.
#pragma once

#include <cstdint>

#include "fonts/glyph_cache.h"
#include "fonts/glyph_outline.h"
#include "fonts/scaled_matrix.h"
#include "runtime/engine_array.h"

namespace vn::fonts {

enum class FontKind : uint8_t {
  kNameKeyed = 0,
  kGlyphIndex = 1,
  kCidKeyed = 2,
};

// The program's font-wide values, in glyph space units.
struct FontInfo {
  FixedRect boundingBox = {0, 0, 0, 0};  // FontBBox or "head"'s box
  int32_t unitsPerEm = 1000;             // font units per em (1000 unless the font says otherwise)
  int32_t ascent = 0;                    // typographic ascent and descent (descent negative)
  int32_t descent = 0;
  Fixed16_16 italicAngle = 0;            // degrees, counter-clockwise
  bool fixedPitch = false;
};

// The encoding selectors of a simple TrueType font's code -> glyph table:
// the PDF font's "Encoding" name picks one.
enum class EncodingSelector : uint8_t {
  kNone = 0,
  kMacRoman = 1,
  kMacExpert = 2,
  kWinAnsi = 3,
};

// "cmap" subtables by (platform, encoding).
enum class CmapSubtable : uint8_t {
  kWindowsUnicode = 0,  // (3, 1)
  kWindowsSymbol = 1,   // (3, 0): codes often in the 0xF000 range
  kMacRoman = 2,        // (1, 0)
};

class Font {
 public:
  explicit Font(AppContext& context) : context_(context), nameIndex_(context), bitmapCaches_(context) {}
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;
  virtual ~Font() = default;

  // 1 for programs that draw their glyphs as outlines (CFF, TrueType,
  // Type 1, substitutes).
  virtual int HasOutlines() const { return 1; }
  // Appends glyph `glyph`'s outline, under the font matrix and then `m`,
  // to `sink`. A glyph id beyond the program draws nothing.
  virtual void AppendOutline(uint32_t glyph, const FixedMatrix& m, OutlineSink& sink) = 0;
  // The outline a glyph cache of matrix `m` draws: the plain outline, or
  // one fitted to the pixel grid by programs that can (TrueType), which
  // keep what that needs at this matrix in `state`.
  virtual void AppendCacheOutline(uint32_t glyph, const FixedMatrix& m, Owned<CacheState>& /*state*/,
                                  OutlineSink& sink) {
    AppendOutline(glyph, m, sink);
  }
  virtual const FontInfo& Info() const = 0;
  virtual uint32_t GlyphCount() const = 0;
  // Glyph space -> text space.
  virtual const ScaledMatrix& FontMatrix() const = 0;
  virtual FontKind Kind() const = 0;
  // Glyph id -> NUL-terminated name (entry 0 ".notdef"), or null when the
  // program has no glyph names. Built on first use.
  virtual const char* const* GlyphNames() { return nullptr; }
  // 256 glyph names by code (".notdef" for codes the program leaves
  // unset), or null when the program has no encoding of its own.
  virtual const char* const* BuiltInEncoding() { return nullptr; }
  // TrueType only: the glyph of each of the 256 codes of a simple font
  // under `selector` and the font's symbolic flag. Raises kBadData when the
  // font has no "cmap" or no usable subtable.
  virtual void CodeToGlyphTable(EncodingSelector /*selector*/, bool /*symbolic*/, uint16_t* /*glyphs*/) {
    RaiseBadData(context_);
  }
  // False when the program could not be set up (drawn by substitution).
  virtual bool IsUsable() const { return true; }
  // Bytes the program holds (its glyph caches report their own).
  virtual uint32_t Footprint() const = 0;
  // The glyph bitmap cache for a text-to-device matrix whose translation is
  // the glyph origin's sub-pixel phase (glyph_cache.h), made on first use.
  // Borrowed: hold it in a Ref while drawing, and let it go before the
  // program.
  virtual BitmapCache* MakeBitmapCache(const FixedMatrix& m) { return bitmapCaches_.FindOrMake(*this, m); }

  // Beyond the font-program record, for the PDF font layer:
  // The advance width of a glyph in glyph space (16.16 font units); 0 for
  // glyphs beyond the program.
  virtual Fixed16_16 GlyphAdvance(uint32_t glyph) = 0;
  // The same advance in text space (through the font matrix): 0.5 for a
  // glyph half an em wide.
  Fixed16_16 TextSpaceAdvance(uint32_t glyph) { return ApplyVector(FontMatrix(), GlyphAdvance(glyph), 0).x; }
  // The glyph named `name` (programs with glyph names), or -1. The first
  // call indexes the names.
  int32_t FindGlyph(const char* name, uint32_t length);
  // CID-keyed programs: the glyph of a CID (0 when the charset lacks it).
  // Other programs: the CID as a glyph id.
  virtual uint32_t GlyphForCid(uint32_t cid) { return cid; }
  // TrueType only: the glyph of `code` in one "cmap" subtable, 0 when the
  // subtable lacks it, -1 when the font has no such subtable.
  virtual int32_t CmapLookup(CmapSubtable /*subtable*/, uint32_t /*code*/) { return -1; }

  BitmapCacheSet& BitmapCaches() { return bitmapCaches_; }

 protected:
  // Bytes of the name index, for Footprint().
  uint32_t NameIndexSize() const { return nameIndex_.MemorySize(); }

  AppContext& context_;

 private:
  EngineArray<int32_t> nameIndex_;  // open addressing: glyph id + 1, 0 empty
  BitmapCacheSet bitmapCaches_;
};

}  // namespace vn::fonts
