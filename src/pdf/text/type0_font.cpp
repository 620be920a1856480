#include "pdf/text/type0_font.h"

#include "pdf/text/cjk_system_font.h"
#include "pdf/text/font_dictionary.h"
#include "pdf/text/to_unicode.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

uint32_t Type0GlyphInfo::NextCid(const uint8_t*& cursor, const uint8_t* end, bool* wordSpace) const {
  *wordSpace = false;
  if (encoding_) {
    const CharCode code = encoding_->NextCode(cursor, end);
    cursor = code.length != 0 ? cursor + code.length : end;
    *wordSpace = code.wordSpace;
    return code.value;
  }
  if (end - cursor < 2) {
    cursor = end;
    return 0;
  }
  const uint32_t cid = (static_cast<uint32_t>(cursor[0]) << 8) | cursor[1];
  cursor += 2;
  return cid;
}

uint32_t Type0GlyphInfo::GlyphOf(uint32_t cid) const {
  if (mapsByStream_) return cid < cidToGlyph_.Size() ? cidToGlyph_[cid] : 0;
  if (cidToUnicode_) return SystemFontGlyph(*program_, *cidToUnicode_, cid);
  return program_ != nullptr ? program_->GlyphForCid(cid) : cid;
}

GlyphStep Type0GlyphInfo::NextGlyph(const uint8_t*& cursor, const uint8_t* end) const {
  bool wordSpace = false;
  const uint32_t cid = NextCid(cursor, end, &wordSpace);
  GlyphStep step{GlyphOf(cid), metrics_.Width(cid), wordSpace, 0, 0, 0};
  if (vertical_) {
    const VerticalMetrics v = metrics_.Vertical(cid);
    step.verticalAdvance = v.advance;
    step.originX = v.originX;
    step.originY = v.originY;
  }
  return step;
}

uint32_t Type0GlyphInfo::Footprint() const {
  return (encoding_ ? encoding_->Footprint() : 0) + cidToGlyph_.MemorySize() + metrics_.Footprint() +
         (cidToUnicode_ ? cidToUnicode_->Footprint() : 0);
}

Type0PDFFont::Type0PDFFont(document::ObjectResolver& resolver, const ResolvedValue& font)
    : NormalPDFFont(resolver.Context(), FontType::kType0), glyphs_(resolver.Context()) {
  AppContext& context = resolver.Context();
  ReadBaseFont(context, font, baseFont_);

  ResolvedValue cidFont(context);
  GetDescendantFont(resolver, font, cidFont);
  if (document::NameIs(document::DictionaryGet(context, cidFont.Get(), "Subtype"), "CIDFontType2")) {
    descendant_ = CidFontType::kCidFontType2;
  }
  collection_ = ReadCollection(resolver, cidFont);

  Type0Encoding encoding = ReadType0Encoding(resolver, font, collection_);
  glyphs_.encoding_.Set(encoding.map);
  glyphs_.vertical_ = encoding.vertical;
  encodingLabel_ = encoding.label;
  encodingFound_ = encoding.found;

  Owned<fonts::Font> program(context);
  ResolvedValue descriptor(context);
  document::GetResolved(resolver, cidFont, "FontDescriptor", descriptor);
  if (document::IsDictionary(descriptor.Get())) {
    symbolic_ = ReadSymbolicFlag(context, descriptor);
    program.Set(LoadEmbeddedProgram(resolver, descriptor, format_, true));
  }
  if (!program && format_ == ProgramFormat::kNone) {
    // No program in the file: an installed font or a fallback file.
    const Value flags = document::IsDictionary(descriptor.Get())
                            ? document::DictionaryGet(context, descriptor.Get(), "Flags")
                            : document::NullValue();
    CharCodeMap* cidToUnicode = nullptr;
    program.Set(LoadCjkSubstitute(context, collection_, WithoutSubsetTag(baseFont_),
                                  document::IsInteger(flags) ? static_cast<uint32_t>(document::IntegerOf(flags)) : 32u,
                                  cidToUnicode, substituteName_));
    glyphs_.cidToUnicode_.Set(cidToUnicode);
    if (program) substituteFace_ = substituteName_;
  } else if (program) {
    ReadCidToGlyphMap(resolver, cidFont);
    // A CID-keyed program builds its CID -> glyph table now, not while text
    // is drawn.
    program->GlyphForCid(0);
  }

  glyphs_.metrics_.ReadHorizontal(resolver, cidFont);
  if (glyphs_.vertical_) glyphs_.metrics_.ReadVertical(resolver, cidFont);

  toUnicode_.Set(ReadToUnicode(resolver, font));
  program_ = program.Release();
  glyphs_.program_ = program_;
  usable_ = program_ != nullptr && encodingFound_;
}

void Type0PDFFont::ReadCidToGlyphMap(document::ObjectResolver& resolver, const ResolvedValue& cidFont) {
  AppContext& context = resolver.Context();
  ResolvedValue map(context);
  document::GetResolved(resolver, cidFont, "CIDToGIDMap", map);
  if (document::IsNull(map.Get()) || document::IsName(map.Get())) return;  // Identity
  if (!document::IsStream(map.Get())) RaiseBadData(context);
  EngineArray<uint16_t>& glyphs = glyphs_.cidToGlyph_;
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(map));
  data_io::DataBlockRef block(context);
  int32_t pendingHigh = -1;  // a glyph id split between two blocks
  for (data->GetNextBlock(block); !block.Empty(); data->GetNextBlock(block)) {
    const uint8_t* bytes = block.Data();
    const uint32_t length = block.Length();
    AddWork(context, length / 64);
    for (uint32_t i = 0; i < length && glyphs.Size() < kMaxCidToGlyphEntries; ++i) {
      if (pendingHigh < 0) {
        pendingHigh = bytes[i];
      } else {
        glyphs.Push(static_cast<uint16_t>((pendingHigh << 8) | bytes[i]));
        pendingHigh = -1;
      }
    }
    if (glyphs.Size() >= kMaxCidToGlyphEntries) break;
  }
  glyphs_.mapsByStream_ = true;
}

}  // namespace vn::pdf::text
