// Inline images: their layout from the (possibly abbreviated) dictionary,
// reading their data exactly, and decoding it through the image's filters.
#include <cstring>

#include "data_io/data_store_stream.h"
#include "data_io/raw_data_store.h"
#include "pdf/content/dl_inline_image.h"
#include "pdf/content/dl_populator.h"
#include "pdf/document/page_tree.h"
#include "pdf/store/char_classes.h"
#include "pdf/store/get_stream_data.h"
#include "runtime/checked_math.h"
#include "runtime/engine_new.h"
#include "runtime/error.h"

namespace vn::pdf::content {

using document::ResolvedValue;
using store::Value;

namespace {

Value InlineGet(AppContext& context, const Value& dict, const char* full, const char* abbreviation) {
  Value v = store::Get(context, dict, full);
  if (v.IsNull()) v = store::Get(context, dict, abbreviation);
  return v;
}

// Components of a colour space given by name (device or abbreviated) or array.
uint32_t ComponentsOf(AppContext& context, document::ObjectResolver& resolver, const ResolvedValue& space,
                      const ResolvedValue& resources, uint32_t depth);

uint32_t ComponentsOfName(AppContext& context, document::ObjectResolver& resolver, const Value& name,
                          const ResolvedValue& resources, uint32_t depth) {
  if (name.NameIs("DeviceGray") || name.NameIs("G") || name.NameIs("CalGray")) return 1;
  if (name.NameIs("DeviceRGB") || name.NameIs("RGB") || name.NameIs("CalRGB") || name.NameIs("Lab")) return 3;
  if (name.NameIs("DeviceCMYK") || name.NameIs("CMYK")) return 4;
  if (depth > 4) RaiseBadData(context);
  ResolvedValue named(context);
  document::LookupResource(resolver, resources, "ColorSpace", name.Bytes(), name.Length(), named, nullptr);
  return ComponentsOf(context, resolver, named, resources, depth + 1);
}

uint32_t ComponentsOf(AppContext& context, document::ObjectResolver& resolver, const ResolvedValue& space,
                      const ResolvedValue& resources, uint32_t depth) {
  const Value& v = space.Get();
  if (v.IsName()) return ComponentsOfName(context, resolver, v, resources, depth);
  if (!v.IsArray() || v.container->Size() == 0) RaiseBadData(context);
  const Value& family = v.container->At(0);
  if (!family.IsName()) RaiseBadData(context);
  if (family.NameIs("Indexed") || family.NameIs("I") || family.NameIs("Separation") ||
      family.NameIs("CalGray") || family.NameIs("Pattern")) {
    return 1;
  }
  if (family.NameIs("CalRGB") || family.NameIs("Lab")) return 3;
  if (family.NameIs("DeviceN")) {
    if (v.container->Size() < 2) RaiseBadData(context);
    ResolvedValue names(space);
    names.SetChild(v.container->At(1));
    document::ResolveInPlace(resolver, names);
    if (!names.Get().IsArray()) RaiseBadData(context);
    return names.Get().container->Size();
  }
  if (family.NameIs("ICCBased")) {
    if (v.container->Size() < 2) RaiseBadData(context);
    ResolvedValue profile(space);
    profile.SetChild(v.container->At(1));
    document::ResolveInPlace(resolver, profile);
    ResolvedValue n(context);
    document::GetResolved(resolver, profile, "N", n);
    if (!n.Get().IsInteger() || n.Get().i < 1 || n.Get().i > 32) RaiseBadData(context);
    return static_cast<uint32_t>(n.Get().i);
  }
  if (v.container->Size() == 1) return ComponentsOfName(context, resolver, family, resources, depth);
  RaiseBadData(context);
}

class DirectValues final : public store::ValueResolver {
 public:
  Value ResolveInto(const Value& value, Arena&) override { return value; }
};

}  // namespace

InlineImageLayout GetInlineImageLayout(AppContext& context, document::ObjectResolver& resolver,
                                       const ResolvedValue& resources, const Value& dictionary) {
  InlineImageLayout layout{};
  Value width = InlineGet(context, dictionary, "Width", "W");
  Value height = InlineGet(context, dictionary, "Height", "H");
  if (!width.IsInteger() || !height.IsInteger() || width.i < 1 || height.i < 1) RaiseBadData(context);
  layout.width = static_cast<uint32_t>(width.i);
  layout.height = static_cast<uint32_t>(height.i);
  layout.imageMask = InlineGet(context, dictionary, "ImageMask", "IM").AsBool();
  if (layout.imageMask) {
    layout.bitsPerComponent = 1;
    layout.components = 1;
  } else {
    Value bpc = InlineGet(context, dictionary, "BitsPerComponent", "BPC");
    if (!bpc.IsInteger()) RaiseBadData(context);
    int32_t b = bpc.i;
    if (b != 1 && b != 2 && b != 4 && b != 8 && b != 16) RaiseBadData(context);
    layout.bitsPerComponent = static_cast<uint32_t>(b);
    ResolvedValue space(context);
    space.Set(InlineGet(context, dictionary, "ColorSpace", "CS"), nullptr);
    if (space.Get().IsNull()) RaiseBadData(context);
    layout.components = ComponentsOf(context, resolver, space, resources, 0);
  }
  uint32_t bits = CheckedMultiply(context, CheckedMultiply(context, layout.width, layout.components),
                                  layout.bitsPerComponent);
  layout.rowBytes = CheckedAdd(context, bits, 7) / 8;
  layout.totalBytes = CheckedMultiply(context, layout.rowBytes, layout.height);
  layout.filtered = !InlineGet(context, dictionary, "Filter", "F").IsNull();
  return layout;
}

void ReadInlineImageData(AppContext& context, const InlineImageLayout& layout, data_io::BufferedStream& source,
                         EngineArray<uint8_t>& data) {
  data.Clear();
  if (!layout.filtered) {
    data.Resize(layout.totalBytes);
    source.ReadExactly(data.Data(), layout.totalBytes);
    return;
  }
  // White space, "EI", then white space, a delimiter or the end.
  bool afterSpace = true;
  for (;;) {
    int c = source.PeekByte();
    if (c < 0) RaiseBadData(context);
    if (afterSpace && c == 'E') {
      uint64_t spaceAt = source.Position() - 1;
      source.Advance();
      if (source.PeekByte() == 'I') {
        source.Advance();
        int after = source.PeekByte();
        if (after < 0 || store::IsTokenEnd(static_cast<uint8_t>(after))) {
          // Give back the white space and "EI": the parser reads them.
          if (data.Size() != 0) data.Truncate(data.Size() - 1);
          source.Seek(spaceAt);
          return;
        }
        data.Push('E');
        data.Push('I');
        afterSpace = false;
        continue;
      }
      data.Push('E');
      afterSpace = false;
      continue;
    }
    source.Advance();
    data.Push(static_cast<uint8_t>(c));
    afterSpace = (store::kCharClasses[c] & store::kWhiteSpace) != 0;
  }
}

void DecodeInlineImage(AppContext& context, const Value& dictionary, const uint8_t* data, uint32_t length,
                       uint8_t* rows, uint32_t total) {
  std::memset(rows, 0, total);
  DirectValues direct;
  Arena scratch(context, 1024, 256);
  Owned<data_io::DataStore> rawOwner(context, New<data_io::RawDataStore>(context, context, data, length));
  auto* stream = New<data_io::DataStoreStream>(context, context, rawOwner.get(), true);
  rawOwner.Release();
  Owned<data_io::DataBlockStream> decoded(
      context, store::ApplyFilters(context, dictionary, true, nullptr, direct, scratch, stream));
  data_io::DataBlockRef block(context);
  uint32_t at = 0;
  while (at < total) {
    decoded->GetNextBlock(block);
    if (block.Empty()) break;
    uint32_t n = block.Length() < total - at ? block.Length() : total - at;
    std::memcpy(rows + at, block.Data(), n);
    at += n;
  }
}

}  // namespace vn::pdf::content
