// Composite (Type 0) fonts: a string's codes, 1 to 4 bytes each, go
// through the font's encoding CMap to CIDs, and the CIDFont (the first of
// "DescendantFonts") gives each CID its glyph and metrics.
//
//   code --Encoding--> CID --program / CIDToGIDMap--> glyph
//                      CID --W / DW (W2 / DW2)------> advance (and origin)
//
// Encoding: "Identity-H" / "Identity-V" (two bytes big-endian are the CID),
// a built-in CMap by name (cmap/predefined_cmaps.h), or an embedded CMap
// stream (its "UseCMap" entry and usecmap operator taken in first).
// CIDFontType0 programs are CFF: CID-keyed ones map CIDs through their
// charset, name-keyed ones take the CID as the glyph index. CIDFontType2
// programs are TrueType: "CIDToGIDMap" is Identity or a stream of 2-byte
// glyph ids by CID.
//
// A font of a CJK collection without a program draws with an installed font
// or a fallback file (cjk_system_font.h). A font whose program is missing or
// damaged and has no such stand-in, or whose encoding names a CMap that is
// not built in, keeps its codes and widths (so the text after
// it stays in place) but is not Usable(): its text is reported, not drawn.
#pragma once

#include <cstdint>

#include "pdf/cmap/character_collection.h"
#include "pdf/cmap/cmap_char_code_map.h"
#include "pdf/text/char_code_map.h"
#include "pdf/text/cid_metrics.h"
#include "pdf/text/pdf_font.h"
#include "pdf/text/type0_encoding.h"

namespace vn::pdf::text {

// CIDToGIDMap streams longer than this many glyph ids (every 16-bit CID)
// are read this far.
constexpr uint32_t kMaxCidToGlyphEntries = 0x10000;

class Type0GlyphInfo final : public GlyphInfo {
 public:
  explicit Type0GlyphInfo(AppContext& context)
      : encoding_(context), cidToGlyph_(context), cidToUnicode_(context), metrics_(context) {}

  // Reads one code through the encoding; for the identity encodings two
  // bytes (a lone last byte gives CID 0). Word spacing applies only to the
  // single-byte code 32 of the CMap's code space.
  GlyphStep NextGlyph(const uint8_t*& cursor, const uint8_t* end) const override;
  bool Vertical() const override { return vertical_; }
  uint32_t Footprint() const override;

  // The CID of the code at `cursor`, moving past it.
  uint32_t NextCid(const uint8_t*& cursor, const uint8_t* end, bool* wordSpace) const;
  uint32_t GlyphOf(uint32_t cid) const;

 private:
  friend class Type0PDFFont;

  Owned<cmap::CMapCharCodeMap> encoding_;  // null for Identity-H / Identity-V
  fonts::Font* program_ = nullptr;         // the font's (borrowed); null without one
  EngineArray<uint16_t> cidToGlyph_;       // a CIDToGIDMap stream's glyph ids
  bool mapsByStream_ = false;              // cidToGlyph_ applies
  Owned<CharCodeMap> cidToUnicode_;        // an installed font's: CIDs reach glyphs through Unicode
  bool vertical_ = false;
  CidMetrics metrics_;
};

enum class CidFontType : uint8_t { kCidFontType0, kCidFontType2 };

class Type0PDFFont final : public NormalPDFFont {
 public:
  // Reads the Type 0 font dictionary `font` (resolved). Raises kBadData for
  // a missing or damaged DescendantFonts, Encoding, W or CIDToGIDMap, and
  // the CMap parser's errors for a damaged embedded CMap.
  Type0PDFFont(document::ObjectResolver& resolver, const document::ResolvedValue& font);

  const GlyphInfo& Glyphs() const override { return glyphs_; }
  uint32_t Footprint() const override {
    return static_cast<uint32_t>(sizeof(*this)) + ProgramFootprint() + glyphs_.Footprint();
  }

  CidFontType Descendant() const { return descendant_; }
  // From the CIDFont's CIDSystemInfo.
  cmap::CharacterCollection Collection() const { return collection_; }
  // The encoding is an identity CMap (no map: two bytes are the CID).
  bool IdentityEncoding() const { return !glyphs_.encoding_; }

 private:
  void ReadCidToGlyphMap(document::ObjectResolver& resolver, const document::ResolvedValue& cidFont);

  Type0GlyphInfo glyphs_;
  char substituteName_[64] = {};  // the file of an installed or fallback font drawing it
  CidFontType descendant_ = CidFontType::kCidFontType0;
  cmap::CharacterCollection collection_ = cmap::kUnknownCollection;
  bool encodingFound_ = true;
};

}  // namespace vn::pdf::text
