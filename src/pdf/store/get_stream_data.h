// The decoded data of a stream: the raw byte range of the file, decrypted
// when the object has a decrypter, through the chain of filters its
// dictionary names.
#pragma once

#include "data_io/data_store.h"
#include "data_io/filter_params.h"
#include "pdf/store/value.h"

namespace vn::pdf::security {
class Decrypter;
}

namespace vn::pdf::store {

// Resolves indirect values of the stream dictionary ("Length", "Filter",
// "DecodeParms" may be references). Implemented by the document store.
class ValueResolver {
 public:
  virtual ~ValueResolver() = default;
  // `value` itself, or a copy in `arena` of the object it refers to.
  virtual Value ResolveInto(const Value& value, Arena& arena) = 0;
  // The decoded data (a new stream the caller owns) of the stream object
  // `value` refers to, for filter parameters that are streams
  // ("JBIG2Globals"); null when it refers to no stream, or when such
  // parameters are not followed (inline images, and inside such a stream).
  virtual data_io::DataBlockStream* OpenReferencedStream(const Value&) { return nullptr; }
};

// The end of the stream data that starts at `start` in `file`: start +
// `length` when that is a usable integer followed by "endstream". Otherwise,
// as other readers do, the data runs to the next "endstream" (less the
// end-of-line before it) and, without one, to start + `length` within the
// file. Raises kBadData when neither says where the data ends.
uint64_t StreamDataEnd(AppContext& context, data_io::DataStore& file, uint64_t start, const Value& length);

// A new stream (owned by the caller) over `file`. `inlineImage` accepts the
// abbreviated filter names; `decrypter` may be null. Raises kBadData for a
// dictionary without stream data, data whose end cannot be found (above)
// or a malformed filter list, kUnsupported for an unknown filter. A last DCTDecode filter
// decodes at 1 / `dctScaleDenominator` of the full size (1, 2, 4 or 8).
data_io::DataBlockStream* GetStreamData(AppContext& context, data_io::DataStore& file, uint64_t headerOffset,
                                        const Value& streamDict, bool inlineImage, security::Decrypter* decrypter,
                                        ValueResolver& resolver, Arena& scratch, int32_t dctScaleDenominator = 1);

// Reads a "DecodeParms" dictionary (null: all defaults).
data_io::FilterParams ReadFilterParams(AppContext& context, const Value& parms, bool inlineImage);

// Wraps `source` (owned from the call on, given up to the result, deleted
// when this raises) in the filter chain of `streamDict`. The decrypter
// applies before the first filter unless the chain has a "Crypt" filter,
// which then takes its place.
data_io::DataBlockStream* ApplyFilters(AppContext& context, const Value& streamDict, bool inlineImage,
                                       security::Decrypter* decrypter, ValueResolver& resolver, Arena& scratch,
                                       data_io::DataBlockStream* source, int32_t dctScaleDenominator = 1);

}  // namespace vn::pdf::store
