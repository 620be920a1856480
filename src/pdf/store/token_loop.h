// The table-driven token recognizer shared by the object parser, the
// content parser and the CMap parser.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"

namespace vn::pdf::store {

class Parser;

// Consumes its token; returns true to continue, false to stop the loop.
using TokenHandler = bool (*)(Parser& parser, data_io::BufferedStream& source);

// Entries of a node's byte table.
constexpr uint8_t kNoMatch = 0;
constexpr uint8_t kFirstHandler = 64;  // 1..63: offset of the child node; 64 on: handler - 64

struct TokenNode {
  uint8_t low;
  uint8_t high;
  const uint8_t* entries;  // high - low + 1 entries, or null
  const char* tail;        // keyword bytes that must follow, or null
  int16_t completion;      // handler index when the token ends here, -1: none
};

struct TokenTable {
  const TokenNode* nodes;  // nodes[0] is the root
  const TokenHandler* handlers;
};

// Runs tokens from `source` until a handler stops or the data ends (then,
// with `endIsError`, the parser's UnexpectedToken(true) is called first).
void RunTokenLoop(data_io::BufferedStream& source, const TokenTable& table, uint8_t endMask, Parser& parser,
                  bool endIsError);

}  // namespace vn::pdf::store
