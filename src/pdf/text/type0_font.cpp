#include "pdf/text/type0_font.h"

#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "pdf/text/cjk_system_font.h"
#include "pdf/text/font_dictionary.h"
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

namespace {

constexpr uint32_t kNonsymbolicFlag = 32;

// An embedded CMap stream into `map`: the CMap its "UseCMap" entry names
// (built in) or holds (another stream) first, `depth` counting the chain.
void ReadEmbeddedCMap(document::ObjectResolver& resolver, const ResolvedValue& stream, cmap::CMapCharCodeMap& map,
                      uint32_t depth) {
  AppContext& context = resolver.Context();
  if (depth > cmap::kMaxUseCMapDepth) RaiseCode(context, kLimitExceeded);
  ResolvedValue base(context);
  document::GetResolved(resolver, stream, "UseCMap", base);
  if (document::IsName(base.Get())) {
    cmap::PredefinedCMap predefined;
    if (cmap::FindPredefinedCMap(base.Get().Bytes(), base.Get().Length(), cmap::kUnknownCollection, &predefined)) {
      map.CountBaseCMap();
      cmap::ParsePredefinedCMap(context, predefined, map, depth + 1);
    }
  } else if (document::IsStream(base.Get())) {
    ReadEmbeddedCMap(resolver, base, map, depth + 1);
  }
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(stream));
  cmap::ParseCMap(context, *data, map, depth);
  if (depth == 0 && document::IsInteger(document::DictionaryGet(context, stream.Get(), "WMode")) &&
      document::IntegerOf(document::DictionaryGet(context, stream.Get(), "WMode")) == 1) {
    map.SetVertical(true);
  }
}

cmap::CharacterCollection ReadCollection(document::ObjectResolver& resolver, const ResolvedValue& cidFont) {
  AppContext& context = resolver.Context();
  ResolvedValue info(context);
  document::GetResolved(resolver, cidFont, "CIDSystemInfo", info);
  if (!document::IsDictionary(info.Get())) return cmap::kUnknownCollection;
  ResolvedValue registry(context);
  ResolvedValue ordering(context);
  document::GetResolved(resolver, info, "Registry", registry);
  document::GetResolved(resolver, info, "Ordering", ordering);
  if (!registry.Get().IsString() || !ordering.Get().IsString()) return cmap::kUnknownCollection;
  return cmap::CollectionFromSystemInfo(registry.Get().Bytes(), registry.Get().Length(), ordering.Get().Bytes(),
                                        ordering.Get().Length());
}

}  // namespace

Type0PDFFont::Type0PDFFont(document::ObjectResolver& resolver, const ResolvedValue& font)
    : NormalPDFFont(resolver.Context(), FontType::kType0), glyphs_(resolver.Context()) {
  AppContext& context = resolver.Context();
  ReadBaseFont(context, font, baseFont_);

  // The CIDFont: the first of DescendantFonts (a lone dictionary is taken
  // as it stands).
  ResolvedValue cidFont(context);
  document::GetResolved(resolver, font, "DescendantFonts", cidFont);
  if (document::IsArray(cidFont.Get())) {
    if (document::ArrayLength(cidFont.Get()) == 0) RaiseBadData(context);
    cidFont.SetChild(document::ArrayElement(cidFont.Get(), 0));
    document::ResolveInPlace(resolver, cidFont);
  }
  if (!document::IsDictionary(cidFont.Get())) RaiseBadData(context);
  if (document::NameIs(document::DictionaryGet(context, cidFont.Get(), "Subtype"), "CIDFontType2")) {
    descendant_ = CidFontType::kCidFontType2;
  }
  collection_ = ReadCollection(resolver, cidFont);

  ReadEncoding(resolver, font);

  Owned<fonts::Font> program(context);
  ResolvedValue descriptor(context);
  document::GetResolved(resolver, cidFont, "FontDescriptor", descriptor);
  if (document::IsDictionary(descriptor.Get())) {
    const Value flags = document::DictionaryGet(context, descriptor.Get(), "Flags");
    symbolic_ = !document::IsInteger(flags) || (static_cast<uint32_t>(document::IntegerOf(flags)) & kNonsymbolicFlag) == 0;
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

  program_ = program.Release();
  glyphs_.program_ = program_;
  usable_ = program_ != nullptr && encodingFound_;
}

void Type0PDFFont::ReadEncoding(document::ObjectResolver& resolver, const ResolvedValue& font) {
  AppContext& context = resolver.Context();
  ResolvedValue encoding(context);
  document::GetResolved(resolver, font, "Encoding", encoding);
  const Value& e = encoding.Get();
  if (document::NameIs(e, "Identity-H")) {
    encodingLabel_ = "Identity-H";
    return;
  }
  if (document::NameIs(e, "Identity-V")) {
    encodingLabel_ = "Identity-V";
    glyphs_.vertical_ = true;
    return;
  }
  if (document::IsName(e)) {
    // The font's own collection first; a CMap of another collection is
    // still better than none.
    cmap::PredefinedCMap predefined;
    if (!cmap::FindPredefinedCMap(e.Bytes(), e.Length(), collection_, &predefined) &&
        !cmap::FindPredefinedCMap(e.Bytes(), e.Length(), cmap::kUnknownCollection, &predefined)) {
      // Not built in: the codes are read as two-byte CIDs to keep the
      // text's advances going, and the font is not drawn.
      encodingLabel_ = "Unknown CMap";
      encodingFound_ = false;
      return;
    }
    encodingLabel_ = predefined.name;
    glyphs_.encoding_.Set(New<cmap::CMapCharCodeMap>(context, context));
    cmap::ParsePredefinedCMap(context, predefined, *glyphs_.encoding_);
  } else if (document::IsStream(e)) {
    encodingLabel_ = "Embedded CMap";
    glyphs_.encoding_.Set(New<cmap::CMapCharCodeMap>(context, context));
    ReadEmbeddedCMap(resolver, encoding, *glyphs_.encoding_, 0);
  } else {
    RaiseBadData(context);
  }
  glyphs_.vertical_ = glyphs_.encoding_->IsVertical();
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
