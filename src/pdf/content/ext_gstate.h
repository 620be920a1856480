// ExtGState dictionaries: the graphics-state parameters they set, read into
// an ExtGStateRecord (dl_consumer.h). The populator reads those named in
// content ("gs"); a shading pattern carries one of its own.
#pragma once

#include "pdf/content/dl_consumer.h"
#include "pdf/document/object_resolver.h"
#include "runtime/engine_array.h"

namespace vn::pdf::content {

// The lengths of a dash array: non-negative numbers whose sum is not zero
// (unless there are none). Raises kBadData otherwise.
void ReadDashLengths(document::ObjectResolver& resolver, const document::ResolvedValue& array,
                     EngineArray<Fixed16_16>& out);

// Sets in `record` the keys `dict` gives (and their present bits). A dash
// ("D") is left in `dashLengths` with its phase in the record, for the
// caller to keep (record.dash stays unset). Raises kBadData when `dict` is
// not a dictionary or a key has a wrong value.
void ReadExtGState(document::ObjectResolver& resolver, const document::ResolvedValue& dict, ExtGStateRecord& record,
                   EngineArray<Fixed16_16>& dashLengths);

}  // namespace vn::pdf::content
