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

// A decoder waiting for its predictor stage. If that cannot be built, the
// decoder gives its source back and goes: the source stays the caller's.
struct PendingDecoder {
  AppContext* context;
  FilteredDataBlockStream* decoder;
};
void UnbuildDecoder(void* argument) {
  auto* pending = static_cast<PendingDecoder*>(argument);
  pending->decoder->ReleaseSource();
  Delete(*pending->context, pending->decoder);
}

FilteredDataBlockStream* NewDecoder(AppContext& context, FilterKind kind, const FilterParams& params,
                                    DataBlockStream* source) {
  switch (kind) {
    case FilterKind::kAsciiHex:
      return New<AsciiHexDataBlockStream>(context, context, source);
    case FilterKind::kAscii85:
      return New<AS85DataBlockStream>(context, context, source);
    case FilterKind::kRunLength:
      return New<RunLengthDataBlockStream>(context, context, source);
    case FilterKind::kLzw:
      return New<LzwDataBlockStream>(context, context, source, params.earlyChange.value);
    case FilterKind::kFlate:
      return New<ZlibDataBlockStream>(context, context, source);
    case FilterKind::kCcitt:
      return BuildCCITTFilter(context, source, params);
    case FilterKind::kDct:
      return New<JPGDataBlockStream>(context, context, source, params.dctScaleDenominator.value);
    case FilterKind::kJpx:
      return New<JpxDataBlockStream>(context, context, source, params.jpxReduce.value, params.jpxAlphaOnly.value);
    case FilterKind::kJbig2:
      return New<Jbig2DataBlockStream>(context, context, source, params.jbig2Globals, params.jbig2GlobalsLength);
  }
  RaiseUnsupported(context);
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
  if (found == nullptr) RaiseUnsupported(context);
  FilteredDataBlockStream* decoder = NewDecoder(context, found->kind, params, source);
  bool predicted = found->kind == FilterKind::kLzw || found->kind == FilterKind::kFlate;
  if (!predicted || params.predictor.value == 1) return decoder;
  PendingDecoder pending{&context, decoder};
  LocalGuard guard(context, &UnbuildDecoder, &pending);
  DataBlockStream* predictor = New<PredictorDataBlockStream>(context, context, decoder, params);
  guard.Dismiss();
  return predictor;
}

}  // namespace vn::data_io
