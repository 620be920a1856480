#include "pdf/text/type3_font.h"

#include <cstring>

#include "pdf/text/font_dictionary.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

Type3PDFFont::Type3PDFFont(document::ObjectResolver& resolver, const ResolvedValue& font)
    : PDFFont(resolver.Context(), FontType::kType3), fontMatrix_{66, 0, 0, 66, 0, 0}, procedures_(resolver.Context()),
      resources_(resolver.Context()) {
  AppContext& context = resolver.Context();
  ReadBaseFont(context, font, baseFont_);
  symbolic_ = true;

  Fixed16_16 matrix[6];
  const uint32_t given = document::GetNumbers(resolver, font, "FontMatrix", matrix, 6);
  if (given != 0) {
    if (given != 6) RaiseBadData(context);
    fontMatrix_ = FixedMatrix{matrix[0], matrix[1], matrix[2], matrix[3], matrix[4], matrix[5]};
  }
  GetResolved(resolver, font, "Resources", resources_);
  if (!document::IsDictionary(resources_.Get())) resources_.Clear();

  // Glyphs are the CharProcs entries in dictionary order, from 1.
  ResolvedValue charProcs(context);
  GetResolved(resolver, font, "CharProcs", charProcs);
  if (!document::IsDictionary(charProcs.Get())) RaiseBadData(context);
  const store::Container* entries = charProcs.Get().container;
  const uint32_t count = entries->Size() / 2;
  procedures_.Resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const Value& procedure = entries->At(2 * i + 1);
    procedures_[i] = document::IsReference(procedure) ? document::ReferenceOf(procedure) : document::ObjectId{-1, 0};
  }

  // 4 KB: on the heap, as fonts are made deep inside nested content.
  Owned<CodeNames> table(context, New<CodeNames>(context));
  CodeNames& names = *table;
  ReadEncoding(resolver, font, NamedEncoding::kNone, nullptr, names, encodingLabel_);
  uint16_t unicode[256];
  for (uint32_t code = 0; code < 256; ++code) {
    const GlyphName name = names.names[code];
    unicode[code] = GlyphNameToUnicode(name);
    if (name.Empty()) continue;
    for (uint32_t i = 0; i < count; ++i) {
      const Value& key = entries->At(2 * i);
      if (key.Length() == name.length && std::memcmp(key.Bytes(), name.bytes, name.length) == 0) {
        glyphs_.glyphs[code] = i + 1;
        break;
      }
    }
  }
  toUnicode_.Set(NewSimpleToUnicodeMap(resolver, font, unicode));

  // Widths are in glyph space: the font matrix scales them.
  ResolvedValue noDescriptor(context);
  GetResolved(resolver, font, "FontDescriptor", noDescriptor);
  if (ReadWidths(resolver, font, noDescriptor, glyphs_.widths)) {
    for (Fixed16_16& width : glyphs_.widths) width = FixedMul(width, fontMatrix_.a);
  }
  usable_ = true;
}

namespace {

// Whether a glyph procedure begins with d1 (operands, then the operator).
bool StartsWithD1(document::ObjectResolver& resolver, const ResolvedValue& procedure) {
  AppContext& context = resolver.Context();
  Owned<data_io::DataBlockStream> data(context, resolver.OpenStreamData(procedure));
  data_io::DataBlockRef block(context);
  data->GetNextBlock(block);
  const uint8_t* bytes = block.Data();
  const uint32_t length = block.Length() < 256 ? block.Length() : 256;
  for (uint32_t i = 0; i + 1 < length; ++i) {
    if (bytes[i] != 'd' || (bytes[i + 1] != '0' && bytes[i + 1] != '1')) continue;
    const bool separated = (i == 0 || bytes[i - 1] <= ' ') && (i + 2 >= length || bytes[i + 2] <= ' ');
    if (separated) return bytes[i + 1] == '1';
  }
  return false;
}

}  // namespace

Type3GlyphContentRecord::Type3GlyphContentRecord(document::ObjectResolver& resolver,
                                                 const document::ObjectId& procedure,
                                                 const ResolvedValue& fontResources,
                                                 const content::ContentRecord& invoker)
    : resolver_(resolver), procedure_(resolver.Context()), resources_(fontResources),
      fallback_(invoker.Resources()) {
  resolver.GetIndirectObject(procedure, procedure_);
  if (!document::IsStream(procedure_.Get())) RaiseBadData(resolver.Context());
  if (document::IsNull(resources_.Get())) resources_ = fallback_;
  shapeOnly_ = StartsWithD1(resolver, procedure_);
}

}  // namespace vn::pdf::text
