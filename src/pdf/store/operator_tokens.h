// The token table of operator streams, content streams and CMaps: numbers,
// names, strings, hex strings, arrays and dictionaries are operands, pushed
// on the parser's stack (its AfterValue() runs after each); a token that
// starts with any other byte is an operator, handed to the parser's
// Keyword(). Stray closing delimiters are skipped.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/store/token_loop.h"

namespace vn::pdf::store {

const TokenTable& OperatorTokenTable();

// Consumes the token at the source (white space and delimiters end it),
// keeping its first `capacity` bytes in `bytes`; returns its whole length.
uint32_t ReadKeyword(data_io::BufferedStream& source, uint8_t* bytes, uint32_t capacity);

}  // namespace vn::pdf::store
