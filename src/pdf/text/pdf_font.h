// PDF fonts: a font dictionary turned into what text drawing needs, the
// glyph and advance of each character code (GlyphInfo) and the program that
// draws the glyphs.
//
//   PDFFont                  the base: flags, name, glyph info, footprint
//   NormalPDFFont            owns a font program (fonts/font.h)
//   TrueTypeOrType1PDFFont   simple fonts: Type1, MMType1, TrueType
//   Type3PDFFont             glyphs are content streams (CharProcs)
//   Type0PDFFont             composite fonts: codes of 1 to 4 bytes through
//                            a CMap to CIDs (type0_font.h)
//
// A simple font without a usable program of its own draws with a built-in
// substitute (font_substitution.h). A font that cannot be drawn at all keeps
// its widths so that the text after it stays in place; it is not Usable()
// and the renderer reports its text instead of drawing it.
//
// Fonts are reference counted and cached per document (font_cache.h) with
// their footprint.
#pragma once

#include <cstdint>

#include "fonts/font.h"
#include "pdf/document/object_resolver.h"
#include "pdf/text/encodings.h"
#include "pdf/text/font_dictionary.h"
#include "pdf/text/glyph_info.h"
#include "pdf/text/to_unicode.h"
#include "runtime/engine_new.h"
#include "runtime/ref_counted.h"

namespace vn::pdf::text {

enum class FontType : uint8_t { kType1, kMMType1, kTrueType, kType3, kType0 };

class PDFFont : public RefCounted {
 public:
  ~PDFFont() override = default;

  virtual const GlyphInfo& Glyphs() const = 0;
  // The program that draws the glyphs (null for Type 3 and for fonts
  // without a usable program).
  virtual fonts::Font* Program() const { return nullptr; }
  // Bytes held by the font, its program and glyph info included.
  virtual uint32_t Footprint() const = 0;

  FontType Type() const { return type_; }
  // Whether the glyphs can be drawn.
  bool Usable() const { return usable_; }
  bool Symbolic() const { return symbolic_; }
  bool Embedded() const { return format_ != ProgramFormat::kNone; }
  ProgramFormat Format() const { return format_; }
  // The built-in face that draws a font without a usable program of its
  // own, or null.
  const char* SubstituteFace() const { return substituteFace_; }
  // "BaseFont" (cut to 63 bytes; empty when absent), NUL-terminated.
  const char* BaseFont() const { return baseFont_; }
  // The encoding as the font dictionary names it ("WinAnsiEncoding",
  // "Custom" for a Differences dictionary, "Builtin" without one).
  const char* EncodingLabel() const { return encodingLabel_; }
  // Codes -> Unicode, for text extraction (ToUnicode first, then the
  // glyph names of the encoding). Null for a composite font without a
  // ToUnicode map: NewType0UnicodeMap makes one from its character
  // collection when it is needed.
  const CharCodeMap* ToUnicodeMap() const { return toUnicode_.get(); }

 protected:
  PDFFont(AppContext& context, FontType type) : context_(context), type_(type), toUnicode_(context) {}
  // Bytes of the Unicode map.
  uint32_t ToUnicodeFootprint() const { return toUnicode_ ? toUnicode_->Footprint() : 0; }

  AppContext& context_;
  FontType type_;
  bool usable_ = false;
  bool symbolic_ = true;
  ProgramFormat format_ = ProgramFormat::kNone;
  const char* substituteFace_ = nullptr;
  char baseFont_[64] = {};
  const char* encodingLabel_ = "Builtin";
  Owned<CharCodeMap> toUnicode_;
};

class NormalPDFFont : public PDFFont {
 public:
  ~NormalPDFFont() override { Delete(context_, program_); }
  fonts::Font* Program() const override { return usable_ ? program_ : nullptr; }

 protected:
  NormalPDFFont(AppContext& context, FontType type) : PDFFont(context, type) {}
  // Bytes of the program and of the Unicode map.
  uint32_t ProgramFootprint() const {
    return ToUnicodeFootprint() + (program_ != nullptr ? program_->Footprint() : 0);
  }

  fonts::Font* program_ = nullptr;  // owned
};

class TrueTypeOrType1PDFFont final : public NormalPDFFont {
 public:
  // Reads the font dictionary `font` (resolved). Raises kBadData for a
  // damaged Widths range, Encoding or Differences.
  TrueTypeOrType1PDFFont(document::ObjectResolver& resolver, const document::ResolvedValue& font, FontType type);

  const GlyphInfo& Glyphs() const override { return glyphs_; }
  uint32_t Footprint() const override { return static_cast<uint32_t>(sizeof(*this)) + ProgramFootprint(); }

 private:
  SimpleGlyphInfo glyphs_;
};

// Makes the font for a font dictionary; raises kUnsupported for an unknown
// Subtype, kBadData for a damaged dictionary.
PDFFont* MakeFont(document::ObjectResolver& resolver, const document::ResolvedValue& font);

}  // namespace vn::pdf::text
