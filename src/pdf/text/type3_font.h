// Type 3 fonts: each glyph is a content stream of the font's CharProcs,
// drawn in glyph space under the font matrix.
#pragma once

#include "fonts/scaled_matrix.h"
#include "pdf/content/content_record.h"
#include "pdf/text/pdf_font.h"
#include "runtime/engine_array.h"

namespace vn::pdf::text {

class Type3PDFFont final : public PDFFont {
 public:
  // Raises kBadData without CharProcs, or with a damaged FontMatrix,
  // Encoding or Widths.
  Type3PDFFont(document::ObjectResolver& resolver, const document::ResolvedValue& font);

  const GlyphInfo& Glyphs() const override { return glyphs_; }
  uint32_t Footprint() const override { return static_cast<uint32_t>(sizeof(*this)) + procedures_.MemorySize() + ToUnicodeFootprint();
  }

  // Glyph space -> text space, as exact as the file wrote it (0.001 has no
  // exact 16.16 form): compose it with the text matrix before rounding.
  const fonts::ScaledMatrix& FontMatrix() const { return fontMatrix_; }
  // The content stream of glyph `glyph` (numbered from 1), or number -1 for
  // glyph 0 and glyphs without a procedure.
  document::ObjectId Procedure(uint32_t glyph) const {
    return glyph == 0 || glyph > procedures_.Size() ? document::ObjectId{-1, 0} : procedures_[glyph - 1];
  }
  // The font's own resources (null when it has none: the content's apply).
  const document::ResolvedValue& Resources() const { return resources_; }

 private:
  SimpleGlyphInfo glyphs_;
  // 0.001 on both axes unless the font says otherwise.
  fonts::ScaledMatrix fontMatrix_ = fonts::UnitsPerEmMatrix(1000);
  EngineArray<document::ObjectId> procedures_;
  document::ResolvedValue resources_;
};

// The content record of one Type 3 glyph: its procedure, with the font's
// resources or else those of the content that shows the glyph.
class Type3GlyphContentRecord final : public content::ContentRecord {
 public:
  // Raises kBadData when the procedure is not a stream.
  Type3GlyphContentRecord(document::ObjectResolver& resolver, const document::ObjectId& procedure,
                          const document::ResolvedValue& fontResources, const content::ContentRecord& invoker);

  data_io::DataBlockStream* OpenContentStream() override { return resolver_.OpenStreamData(procedure_); }
  const document::ResolvedValue& Resources() const override { return resources_; }
  const document::ResolvedValue& FallbackResources() const override { return fallback_; }
  uint32_t RecordSize() const override { return sizeof(*this); }
  // The procedure starts with d1: its glyph is a shape painted in the
  // colour of the text, and its own colour operators are ignored.
  bool ShapeOnly() const { return shapeOnly_; }

 private:
  document::ObjectResolver& resolver_;
  document::ResolvedValue procedure_;
  document::ResolvedValue resources_;
  document::ResolvedValue fallback_;
  bool shapeOnly_ = false;
};

}  // namespace vn::pdf::text
