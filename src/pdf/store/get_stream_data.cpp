#include "pdf/store/get_stream_data.h"

#include <cstring>

#include "data_io/data_store_stream.h"
#include "data_io/filter_factory.h"
#include "data_io/sub_range_data_store.h"
#include "runtime/engine_array.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/byte_scanning.h"
#include "runtime/engine_new.h"

namespace vn::pdf::store {

namespace {

// A key that inline images may abbreviate.
Value GetKey(AppContext& context, const Value& dict, const char* key, const char* abbreviation, bool inlineImage) {
  Value v = Get(context, dict, key);
  if (v.IsNull() && inlineImage && abbreviation != nullptr) v = Get(context, dict, abbreviation);
  return v;
}

bool IsCrypt(const Value& name) { return name.NameIs("Crypt"); }

// The JBIG2 segments shared by the images that name them, decoded into `out`;
// `out` stays empty when there are none.
void ReadJbig2Globals(AppContext& context, ValueResolver& resolver, const Value& parms, EngineArray<uint8_t>& out) {
  out.Clear();
  if (!parms.IsDictionary()) return;
  Owned<data_io::DataBlockStream> globals(context, resolver.OpenReferencedStream(Get(context, parms, "JBIG2Globals")));
  if (!globals) return;
  data_io::DataBlockRef block(context);
  for (globals->GetNextBlock(block); !block.Empty(); globals->GetNextBlock(block)) {
    uint32_t at = out.Size();
    if (block.Length() > 0x7FFFFFFFu - at) RaiseCode(context, kLimitExceeded);
    out.Resize(at + block.Length());
    std::memcpy(out.Data() + at, block.Data(), block.Length());
  }
}

}  // namespace

data_io::FilterParams ReadFilterParams(AppContext& context, const Value& parms, bool) {
  data_io::FilterParams p;
  if (!parms.IsDictionary()) return p;
  auto integer = [&](const char* key, data_io::FilterIntParam& out) {
    Value v = Get(context, parms, key);
    if (v.IsNumber()) out.Set(v.AsInt());
  };
  auto boolean = [&](const char* key, data_io::FilterBoolParam& out) {
    Value v = Get(context, parms, key);
    if (v.type == kBoolean) out.Set(v.AsBool());
  };
  integer("Predictor", p.predictor);
  integer("Colors", p.colors);
  integer("BitsPerComponent", p.bitsPerComponent);
  Value columns = Get(context, parms, "Columns");
  if (columns.IsNumber()) p.SetColumns(columns.AsInt());
  integer("EarlyChange", p.earlyChange);
  integer("K", p.k);
  integer("Rows", p.rows);
  integer("DamagedRowsBeforeError", p.damagedRowsBeforeError);
  boolean("EndOfLine", p.endOfLine);
  boolean("EncodedByteAlign", p.encodedByteAlign);
  boolean("EndOfBlock", p.endOfBlock);
  boolean("BlackIs1", p.blackIs1);
  return p;
}

data_io::DataBlockStream* ApplyFilters(AppContext& context, const Value& streamDict, bool inlineImage,
                                       security::Decrypter* decrypter, ValueResolver& resolver, Arena& scratch,
                                       data_io::DataBlockStream* source, int32_t dctScaleDenominator) {
  Owned<data_io::DataBlockStream> stream(context, source);
  Value filter = resolver.ResolveInto(GetKey(context, streamDict, "Filter", "F", inlineImage), scratch);
  Value parms = resolver.ResolveInto(GetKey(context, streamDict, "DecodeParms", "DP", inlineImage), scratch);

  uint32_t count = 0;
  if (filter.IsName()) {
    count = 1;
  } else if (filter.IsArray()) {
    count = ArraySize(context, filter);
    if (!parms.IsNull() && (!parms.IsArray() || ArraySize(context, parms) != count)) RaiseBadData(context);
  } else if (!filter.IsNull()) {
    RaiseBadData(context);
  }

  EngineArray<uint8_t> jbig2Globals(context);
  bool hasCrypt = false;
  for (uint32_t i = 0; i < count; ++i) {
    const Value& name = filter.IsName() ? filter : ArrayAt(context, filter, i);
    if (IsCrypt(name)) hasCrypt = true;
  }
  // Metadata streams stay in the clear when the document says so.
  bool clearMetadata = decrypter != nullptr && !decrypter->EncryptsMetadata() &&
                       Get(context, streamDict, "Type").NameIs("Metadata");
  if (decrypter != nullptr && !hasCrypt && !clearMetadata) {
    stream.Wrap(security::DecryptStreamData(context, decrypter, stream.get()));
  }

  for (uint32_t i = 0; i < count; ++i) {
    Value name = resolver.ResolveInto(filter.IsName() ? filter : ArrayAt(context, filter, i), scratch);
    if (!name.IsName()) RaiseBadData(context);
    Value stageParms = filter.IsName() || parms.IsNull() ? parms : ArrayAt(context, parms, i);
    stageParms = resolver.ResolveInto(stageParms, scratch);
    if (IsCrypt(name)) {
      if (decrypter == nullptr) RaiseUnsupported(context);
      data_io::DataBlockStream* decrypted = nullptr;
      decrypter->ApplyCryptFilter(decrypted, stream.get(), stageParms);
      stream.Wrap(decrypted);  // an Identity filter gives the stream itself back
      continue;
    }
    data_io::FilterParams params = ReadFilterParams(context, stageParms, inlineImage);
    if (i + 1 == count) params.dctScaleDenominator.value = dctScaleDenominator;
    if (name.NameIs("JBIG2Decode")) {
      ReadJbig2Globals(context, resolver, stageParms, jbig2Globals);
      params.jbig2Globals = jbig2Globals.Data();
      params.jbig2GlobalsLength = jbig2Globals.Size();
    }
    stream.Wrap(data_io::BuildFilter(context, name.Bytes(), name.Length(), inlineImage, params, stream.get()));
  }
  return stream.Release();
}

uint64_t StreamDataEnd(AppContext& context, data_io::DataStore& file, uint64_t start, const Value& length) {
  const uint64_t fileLength = file.GetLength();
  if (start > fileLength) start = fileLength;
  const bool usable = length.IsInteger() && length.i >= 0;
  const uint64_t declared =
      usable && static_cast<uint64_t>(length.i) < fileLength - start ? start + static_cast<uint64_t>(length.i) : fileLength;
  if (usable && KeywordFollows(context, file, declared, "endstream")) return declared;
  const int64_t after = SearchForward(context, file, "endstream", start, fileLength);
  if (after < 0) {
    if (!usable) RaiseBadData(context);
    return declared;
  }
  // The end-of-line before "endstream" is not part of the data.
  uint64_t end = static_cast<uint64_t>(after) - std::strlen("endstream");
  data_io::DataBlockRef block(context);
  auto byteBefore = [&](uint64_t position) {
    if (position <= start) return 0;
    file.GetBlock(block, position - 1);
    return block.Empty() ? 0 : static_cast<int>(block.Data()[0]);
  };
  if (byteBefore(end) == '\n') --end;
  if (byteBefore(end) == '\r') --end;
  return end;
}

data_io::DataBlockStream* GetStreamData(AppContext& context, data_io::DataStore& file, uint64_t,
                                        const Value& streamDict, bool inlineImage, security::Decrypter* decrypter,
                                        ValueResolver& resolver, Arena& scratch, int32_t dctScaleDenominator) {
  uint64_t start = StreamDataOffset(streamDict);
  if (start == 0) RaiseBadData(context);
  const Value length = resolver.ResolveInto(Get(context, streamDict, "Length"), scratch);
  const uint64_t end = StreamDataEnd(context, file, start, length);
  Owned<data_io::DataStore> range(context, New<data_io::SubRangeDataStore>(context, context, &file, start, end));
  Owned<data_io::DataBlockStream> raw(context, New<data_io::DataStoreStream>(context, context, range.get(), true));
  range.Release();
  return ApplyFilters(context, streamDict, inlineImage, decrypter, resolver, scratch, raw.Release(),
                      dctScaleDenominator);
}

}  // namespace vn::pdf::store
