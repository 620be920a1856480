// Builds one filter stage over a source stream from the filter's name.
#pragma once

#include <cstdint>

#include "data_io/filter_params.h"
#include "data_io/filtered_stream.h"

namespace vn::data_io {

// The decoder for `name` (`length` bytes) over `source`. Once it returns,
// the decoder owns `source`; if it raises, `source` is still the caller's
// (hold it in an Owned and Wrap the result). The inline-image abbreviations
// are accepted only when `isInline`; an unknown name, and JPX or JBIG2 in an
// inline image, raise code 5. Flate and LZW get a predictor stage when
// `params` asks for one.
DataBlockStream* BuildFilter(AppContext& context, const uint8_t* name, uint32_t length, bool isInline,
                             const FilterParams& params, DataBlockStream* source);

// The CCITT fax decoder plugs in here (ccitt_stream.cpp defines it); same
// ownership of `source` as BuildFilter.
FilteredDataBlockStream* BuildCCITTFilter(AppContext& context, DataBlockStream* source, const FilterParams& params);

}  // namespace vn::data_io
