#include "pdf/text/type0_encoding.h"

#include "pdf/cmap/cmap_parser.h"
#include "pdf/cmap/predefined_cmaps.h"
#include "runtime/error.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

namespace {

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
  // The stream's dictionary may say what the CMap's text does not.
  const Value wmode = document::DictionaryGet(context, stream.Get(), "WMode");
  if (depth == 0 && document::IsInteger(wmode) && document::IntegerOf(wmode) == 1) map.SetVertical(true);
}

}  // namespace

Type0Encoding ReadType0Encoding(document::ObjectResolver& resolver, const ResolvedValue& font,
                                cmap::CharacterCollection collection) {
  AppContext& context = resolver.Context();
  Type0Encoding result;
  ResolvedValue encoding(context);
  document::GetResolved(resolver, font, "Encoding", encoding);
  const Value& e = encoding.Get();
  if (document::NameIs(e, "Identity-H") || document::NameIs(e, "Identity-V")) {
    result.vertical = document::NameIs(e, "Identity-V");
    result.label = result.vertical ? "Identity-V" : "Identity-H";
    return result;
  }
  Owned<cmap::CMapCharCodeMap> map(context);
  if (document::IsName(e)) {
    // The font's own collection first; a CMap of another collection is
    // still better than none.
    cmap::PredefinedCMap predefined;
    if (!cmap::FindPredefinedCMap(e.Bytes(), e.Length(), collection, &predefined) &&
        !cmap::FindPredefinedCMap(e.Bytes(), e.Length(), cmap::kUnknownCollection, &predefined)) {
      result.label = "Unknown CMap";
      result.found = false;
      return result;
    }
    result.label = predefined.name;
    map.Set(New<cmap::CMapCharCodeMap>(context, context));
    cmap::ParsePredefinedCMap(context, predefined, *map);
  } else if (document::IsStream(e)) {
    result.label = "Embedded CMap";
    map.Set(New<cmap::CMapCharCodeMap>(context, context));
    ReadEmbeddedCMap(resolver, encoding, *map, 0);
  } else {
    RaiseBadData(context);
  }
  result.vertical = map->IsVertical();
  result.map = map.Release();
  return result;
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

void GetDescendantFont(document::ObjectResolver& resolver, const ResolvedValue& font, ResolvedValue& out) {
  AppContext& context = resolver.Context();
  document::GetResolved(resolver, font, "DescendantFonts", out);
  if (document::IsArray(out.Get())) {
    if (document::ArrayLength(out.Get()) == 0) RaiseBadData(context);
    out.SetChild(document::ArrayElement(out.Get(), 0));
    document::ResolveInPlace(resolver, out);
  }
  if (!document::IsDictionary(out.Get())) RaiseBadData(context);
}

}  // namespace vn::pdf::text
