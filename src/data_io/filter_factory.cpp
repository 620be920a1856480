#include "data_io/filter_factory.h"

#include <cstring>

#include "data_io/ascii85_stream.h"
#include "data_io/ascii_hex_stream.h"
#include "data_io/jbig2_stream.h"
#include "data_io/jpg_stream.h"
#include "data_io/jpx_stream.h"
#include "data_io/lzw_stream.h"
#include "data_io/predictor_stream.h"
#include "data_io/run_length_stream.h"
#include "data_io/zlib_stream.h"
#include "runtime/engine_new.h"

namespace vn::data_io {

namespace {

enum class FilterKind { kAsciiHex, kAscii85, kDct, kCcitt, kLzw, kFlate, kRunLength, kJpx, kJbig2 };

struct FilterEntry {
  const char* name;
  const char* abbreviation;
  FilterKind kind;
};

constexpr FilterEntry kFilters[] = {
    {"ASCIIHexDecode", "AHx", FilterKind::kAsciiHex}, {"ASCII85Decode", "A85", FilterKind::kAscii85},
    {"DCTDecode", "DCT", FilterKind::kDct},           {"CCITTFaxDecode", "CCF", FilterKind::kCcitt},
    {"LZWDecode", "LZW", FilterKind::kLzw},           {"FlateDecode", "Fl", FilterKind::kFlate},
    {"RunLengthDecode", "RL", FilterKind::kRunLength},
    // Inline images (whose names have abbreviations) do not use these two.
    {"JPXDecode", nullptr, FilterKind::kJpx},         {"JBIG2Decode", nullptr, FilterKind::kJbig2},
};

bool Matches(const char* text, const uint8_t* name, uint32_t length) {
  return text != nullptr && std::strlen(text) == length && std::memcmp(text, name, length) == 0;
}

// Deletes the source if building the stage raises.
struct SourceGuard {
  AppContext* context;
  DataBlockStream* source;
};
void DeleteSource(void* argument) {
  auto* guard = static_cast<SourceGuard*>(argument);
  Delete(*guard->context, guard->source);
}

}  // namespace

DataBlockStream* BuildFilter(AppContext& context, const uint8_t* name, uint32_t length, bool isInline,
                             const FilterParams& params, DataBlockStream* source) {
  const FilterEntry* found = nullptr;
  for (const FilterEntry& entry : kFilters) {
    if (isInline && entry.abbreviation == nullptr) continue;
    if (Matches(entry.name, name, length) || (isInline && Matches(entry.abbreviation, name, length))) {
      found = &entry;
      break;
    }
  }
  SourceGuard pending{&context, source};
  LocalGuard guard(context, &DeleteSource, &pending);
  if (found == nullptr) RaiseUnsupported(context);
  DataBlockStream* result = nullptr;
  switch (found->kind) {
    case FilterKind::kAsciiHex:
      result = New<AsciiHexDataBlockStream>(context, context, source);
      break;
    case FilterKind::kAscii85:
      result = New<AS85DataBlockStream>(context, context, source);
      break;
    case FilterKind::kRunLength:
      result = New<RunLengthDataBlockStream>(context, context, source);
      break;
    case FilterKind::kLzw:
      result = New<LzwDataBlockStream>(context, context, source, params.earlyChange.value);
      break;
    case FilterKind::kFlate:
      result = New<ZlibDataBlockStream>(context, context, source);
      break;
    case FilterKind::kCcitt:
      guard.Dismiss();
      return BuildCCITTFilter(context, source, params);
    case FilterKind::kDct:
      result = New<JPGDataBlockStream>(context, context, source, params.dctScaleDenominator.value);
      break;
    case FilterKind::kJpx:
      result = New<JpxDataBlockStream>(context, context, source, params.jpxReduce.value, params.jpxAlphaOnly.value);
      break;
    case FilterKind::kJbig2:
      result = New<Jbig2DataBlockStream>(context, context, source, params.jbig2Globals, params.jbig2GlobalsLength);
      break;
  }
  // From here the stage owns the source; a failing predictor deletes the
  // stage and the source with it.
  pending.source = result;
  if ((found->kind == FilterKind::kLzw || found->kind == FilterKind::kFlate) && params.predictor.value != 1) {
    result = New<PredictorDataBlockStream>(context, context, result, params);
  }
  guard.Dismiss();
  return result;
}

}  // namespace vn::data_io
