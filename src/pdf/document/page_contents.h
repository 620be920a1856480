// The content of a page ("Contents"): a stream; an empty stream when absent
// or null; an array's streams read in order with one space between parts,
// each part opened only when reading reaches it. Any other type raises
// kBadData. The result is built with New; the caller owns it.
#pragma once

#include "data_io/data_store.h"
#include "pdf/document/object_resolver.h"

namespace vn::pdf::document {

data_io::DataBlockStream* OpenPageContents(ObjectResolver& resolver, const ResolvedValue& page);

}  // namespace vn::pdf::document
