#include "pdf/text/type3_font.h"

#include <cstring>

#include "pdf/text/font_dictionary.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

namespace {

// Font matrix entries over 2^kMatrixShift before they are normalized.
constexpr uint32_t kMatrixShift = 40;

// PDF reals reach us as the nearest 16.16 value, which is 0.7 % off for a
// font matrix of 0.001. The number the file wrote is taken back as the
// decimal with the fewest significant digits (at most 6) that reads as the
// same 16.16 value: generators write 0.001 or .01204, not 0.00100708.
// Multiples of 1/4096 are binary fractions (1/2048 written in full) and
// stay as they are. Returns the value over 2^shift.
int64_t WrittenDecimal(Fixed16_16 fixed, uint32_t shift) {
  const int64_t v = fixed < 0 ? -int64_t{fixed} : fixed;
  int64_t result = v << (shift - 16);
  if (v % 16 != 0) {
    int64_t power = 1;
    for (int32_t exponent = 0; exponent >= -9; --exponent, power *= 10) {
      const int64_t mantissa = (v * power + 32768) >> 16;
      if (mantissa == 0 || mantissa >= 1000000) continue;
      // Reads back as the same 16.16 value (rounded to nearest, as the parser does).
      if ((mantissa * 131072 + power) / (2 * power) != v) continue;
      result = fonts::DecimalToScaled(mantissa, exponent, shift);
      break;
    }
  }
  return fixed < 0 ? -result : result;
}

}  // namespace

Type3PDFFont::Type3PDFFont(document::ObjectResolver& resolver, const ResolvedValue& font)
    : PDFFont(resolver.Context(), FontType::kType3), procedures_(resolver.Context()),
      resources_(resolver.Context()) {
  AppContext& context = resolver.Context();
  ReadBaseFont(context, font, baseFont_);
  symbolic_ = true;

  Fixed16_16 matrix[6];
  const uint32_t given = document::GetNumbers(resolver, font, "FontMatrix", matrix, 6);
  if (given != 0) {
    if (given != 6) RaiseBadData(context);
    fontMatrix_ = fonts::NormalizeScaled(WrittenDecimal(matrix[0], kMatrixShift), WrittenDecimal(matrix[1], kMatrixShift),
                                         WrittenDecimal(matrix[2], kMatrixShift), WrittenDecimal(matrix[3], kMatrixShift),
                                         kMatrixShift, matrix[4], matrix[5]);
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
    for (Fixed16_16& width : glyphs_.widths) width = fonts::ApplyVector(fontMatrix_, width, 0).x;
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
