// Byte-level reading used while opening a document: plain integers,
// keywords, and searches for markers such as "%%EOF" and "startxref".
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "data_io/data_store.h"

namespace vn::pdf::store {

// Reads an optionally signed run of decimal digits; none raises kBadData,
// as does a value beyond 2^62.
int64_t ReadInteger(data_io::BufferedStream& source);

// Looks for `word` in windows of `window` bytes ending at `end`, moving back
// by (window - length of word) until the window starts at 0. Returns the
// position just after the last occurrence in the first window that holds
// it, or -1.
int64_t SearchBackward(AppContext& context, data_io::DataStore& store, const char* word, uint64_t end, uint32_t window = 1024);

// The position just after the first `word` in [start, limit), or -1.
int64_t SearchForward(AppContext& context, data_io::DataStore& store, const char* word, uint64_t start, uint64_t limit);

// Whether `word` follows `position` after at most 16 bytes of white space.
bool KeywordFollows(AppContext& context, data_io::DataStore& store, uint64_t position, const char* word);

}  // namespace vn::pdf::store
