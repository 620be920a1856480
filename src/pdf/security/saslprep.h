// SASLprep (RFC 4013): the stringprep profile that revisions 5 and 6 of the
// standard security handler apply to passwords. Unassigned code points are
// let through, as for queries.
#pragma once

#include <cstdint>

#include "runtime/engine_array.h"

namespace vn::pdf::security {

// Maps, normalises (NFKC), checks prohibited characters and directions of
// the UTF-8 `text`, and writes the UTF-8 result to `out`. Returns false when
// the text is not UTF-8 or SASLprep rejects it.
bool SaslPrep(const uint8_t* text, uint32_t length, EngineArray<uint8_t>& out);

}  // namespace vn::pdf::security
