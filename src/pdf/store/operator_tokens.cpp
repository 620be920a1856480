#include "pdf/store/operator_tokens.h"

#include <initializer_list>

#include "pdf/store/char_classes.h"
#include "pdf/store/parser.h"

namespace vn::pdf::store {

using data_io::BufferedStream;

uint32_t ReadKeyword(BufferedStream& source, uint8_t* bytes, uint32_t capacity) {
  uint32_t length = 0;
  for (int c = source.PeekByte(); c >= 0 && (kCharClasses[c] & kTokenEnd) == 0; c = source.PeekByte()) {
    if (length < capacity) bytes[length] = static_cast<uint8_t>(c);
    ++length;
    source.Advance();
  }
  return length;
}

namespace {

enum HandlerIndex : uint8_t { hSkipSpace, hComment, hLiteral, hStray, hNumber, hName, hLess, hGreater, hArray, hKeyword };

constexpr uint8_t H(HandlerIndex h) { return static_cast<uint8_t>(kFirstHandler + h); }

struct RootEntries {
  uint8_t v[256];
  constexpr RootEntries() : v() {
    for (int c = 0; c < 256; ++c) v[c] = H(hKeyword);
    for (char c : {'\0', '\t', '\n', '\f', '\r', ' '}) Set(c, hSkipSpace);
    Set('%', hComment);
    Set('(', hLiteral);
    for (char c : {')', ']', '{', '}'}) Set(c, hStray);
    for (char c : {'+', '-', '.', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}) Set(c, hNumber);
    Set('/', hName);
    Set('<', hLess);
    Set('>', hGreater);
    Set('[', hArray);
  }
  constexpr void Set(char c, HandlerIndex h) { v[static_cast<uint8_t>(c)] = H(h); }
};

constexpr RootEntries kRootEntries;
const TokenNode kOperatorNodes[] = {{0, 255, kRootEntries.v, nullptr, -1}};

// Runs an operand's handler, then the parser's step after a value.
template <bool (*Handler)(Parser&, BufferedStream&)>
bool Operand(Parser& p, BufferedStream& s) {
  const bool more = Handler(p, s);
  p.AfterValue();
  return more;
}

bool DictionaryOrHexString(Parser& p, BufferedStream& s) {
  s.Advance();
  if (s.PeekByte() == '<') return ParseDictionaryToken(p, s);
  return ParseHexStringToken(p, s);
}

const TokenHandler kOperatorHandlers[] = {
    /* hSkipSpace */ [](Parser&, BufferedStream& s) {
      s.SkipWhile(kCharClasses, kWhiteSpace);
      return true;
    },
    /* hComment */ [](Parser&, BufferedStream& s) {
      SkipComment(s);
      return true;
    },
    /* hLiteral */ &Operand<&ParseLiteralStringToken>,
    /* hStray */ [](Parser&, BufferedStream& s) {
      s.Advance();
      return true;
    },
    /* hNumber */ &Operand<&ParseNumberToken>,
    /* hName */ &Operand<&ParseNameToken>,
    /* hLess */ &Operand<&DictionaryOrHexString>,
    /* hGreater */ [](Parser&, BufferedStream& s) {
      for (int i = 0; i < 2 && s.PeekByte() >= 0; ++i) s.Advance();
      return true;
    },
    /* hArray */ &Operand<&ParseArrayToken>,
    /* hKeyword */ [](Parser& p, BufferedStream&) { return p.Keyword(); },
};

const TokenTable kOperatorTable{kOperatorNodes, kOperatorHandlers};

}  // namespace

const TokenTable& OperatorTokenTable() { return kOperatorTable; }

}  // namespace vn::pdf::store
