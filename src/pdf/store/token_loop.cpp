#include "pdf/store/token_loop.h"

#include "pdf/store/char_classes.h"
#include "pdf/store/parser.h"
#include "runtime/yield_points.h"

namespace vn::pdf::store {

namespace {

inline uint8_t EntryFor(const TokenNode* node, int byte) {
  if (node->entries == nullptr || byte < node->low || byte > node->high) return kNoMatch;
  return node->entries[byte - node->low];
}

}  // namespace

void RunTokenLoop(data_io::BufferedStream& source, const TokenTable& table, uint8_t endMask, Parser& parser,
                  bool endIsError) {
  uint32_t tokens = 0;
  for (;;) {
    if (++tokens == 32) {
      tokens = 0;
      YieldPoint(source.Context());
    }
    int c = source.PeekByte();
    if (c < 0) {
      if (endIsError) parser.UnexpectedToken(true);
      return;
    }
    uint64_t start = source.Position();
    const TokenNode* node = table.nodes;
    uint8_t entry = EntryFor(node, c);
    bool more;
    if (entry >= kFirstHandler) {
      more = table.handlers[entry - kFirstHandler](parser, source);
    } else {
      // A keyword: walk the tree byte by byte.
      bool matched = false;
      int16_t completion = -1;
      while (entry != kNoMatch) {
        source.Advance();
        node += entry;
        bool tailOk = true;
        if (node->tail != nullptr) {
          for (const char* t = node->tail; *t != 0; ++t) {
            if (source.PeekByte() != static_cast<uint8_t>(*t)) {
              tailOk = false;
              break;
            }
            source.Advance();
          }
        }
        if (!tailOk) break;
        int next = source.PeekByte();
        if (next < 0 || (kCharClasses[next] & endMask) != 0) {
          completion = node->completion;
          matched = completion >= 0;
          break;
        }
        entry = EntryFor(node, next);
        if (entry >= kFirstHandler) break;
      }
      more = matched ? table.handlers[completion](parser, source) : parser.UnexpectedToken(false);
    }
    if (!more) return;
    // A client that continues without consuming anything must not spin.
    if (source.Position() == start && source.PeekByte() >= 0) source.Advance();
  }
}

}  // namespace vn::pdf::store
