// The object store's entry points into the parser.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/store/string_decrypter.h"
#include "pdf/store/value.h"

namespace vn::pdf::store {

// Parses the value at the source's position (an object header "n g obj"
// before it is consumed and dropped) into `arena`. Bad data raises kBadData.
Value ParseObject(data_io::BufferedStream& source, Arena& arena, StringDecrypter* decrypter);

// Parses the body of an inline image dictionary (after its "BI"): up to and
// including "ID". Returns the dictionary.
Value ParseInlineImageDictionary(data_io::BufferedStream& source, Arena& arena);

// Skips white space (class 0x01) and comments.
void SkipWhiteSpaceAndComments(data_io::BufferedStream& source);
// The bytes at the position must be `word`, else kBadData; nothing is skipped first.
void ExpectKeyword(data_io::BufferedStream& source, const char* word);
// Reads an object header "n g obj" (white space and comments before and
// between); false, without raising, where anything else stands.
bool MatchObjectHeader(data_io::BufferedStream& source, int64_t& number, int64_t& generation);

}  // namespace vn::pdf::store
