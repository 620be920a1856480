#include "pdf/store/parser.h"

#include <initializer_list>

#include "pdf/store/char_classes.h"
#include "pdf/store/parse_object.h"
#include "runtime/yield_points.h"

namespace vn::pdf::store {

using data_io::BufferedStream;

Parser::Parser(AppContext& contextIn, BufferedStream& sourceIn, Container* stackIn, Arena& arenaIn,
               StringDecrypter* decrypterIn, bool continueAfterValueIn, uint32_t depthIn)
    : context(contextIn), source(sourceIn), stack(stackIn), arena(arenaIn), decrypter(decrypterIn),
      continueAfterValue(continueAfterValueIn), depth(depthIn) {}

bool Parser::RaiseBad() { RaiseBadData(context); }

bool Parser::UnexpectedToken(bool) { return false; }

bool Parser::StrayDelimiter() {
  source.Advance();
  return true;
}

bool Parser::BeginDictionary() { return ParseDictionaryToken(*this, source); }

bool Parser::EndDictionary() {
  for (int i = 0; i < 2 && source.PeekByte() >= 0; ++i) source.Advance();
  return true;
}

bool Parser::InlineImageData() { return RaiseBad(); }

bool Parser::EndArray() { return StrayDelimiter(); }

// The `R` is consumed already; nothing more is skipped.
bool Parser::Reference() { return true; }

namespace {

bool TopTwoAreIntegers(const Container* stack) {
  return stack->count >= 2 && stack->At(stack->count - 1).type == kInteger &&
         stack->At(stack->count - 2).type == kInteger;
}

}  // namespace

bool Parser::MakeReference() {
  if (!TopTwoAreIntegers(stack)) RaiseBadData(context);
  Value generation = stack->Pop();
  Value number = stack->Pop();
  Value r;
  r.type = kReference;
  r.ref = static_cast<ObjectRef*>(arena.Allocate(sizeof(ObjectRef)));
  r.ref->number = number.i;
  r.ref->generation = generation.i;
  return PushValue(r);
}

bool Parser::DropObjectHeader() {
  if (!TopTwoAreIntegers(stack)) RaiseBadData(context);
  stack->Pop();
  stack->Pop();
  return true;
}

bool Parser::PushValue(const Value& value) {
  stack->Push(arena, value);
  return continueAfterValue;
}

void Parser::Run(bool endIsError) {
  if (scratch != nullptr) {
    RunTokenLoop(source, ObjectTokenTable(), kTokenEnd, *this, endIsError);
    return;
  }
  EngineArray<uint8_t> local(context);
  scratch = &local;
  RunTokenLoop(source, ObjectTokenTable(), kTokenEnd, *this, endIsError);
  scratch = nullptr;
}

void Parser::ClearStack(const Arena::Mark& mark) {
  stack->count = 0;
  stack->last = stack->first;
  arena.ReleaseTo(mark);
  stack->first->next = nullptr;  // later segments went with the arena
}

bool ArrayParser::EndArray() {
  source.Advance();
  return false;
}

bool DictParser::EndDictionary() {
  source.Advance();
  if (source.NextByte() != '>') RaiseBadData(context);
  return false;
}

// ---- tokens

void SkipComment(BufferedStream& source) {
  for (;;) {
    int c = source.PeekByte();
    if (c < 0) return;
    source.Advance();
    if (c == '\n') return;
    if (c == '\r') {
      if (source.PeekByte() == '\n') source.Advance();
      return;
    }
  }
}

namespace {

// Skips the rest of a token: bytes that are neither white space nor delimiters.
void SkipTokenRest(BufferedStream& source) {
  for (;;) {
    if (source.Cursor() == source.End() && !source.Fill(false)) return;
    const uint8_t* p = source.Cursor();
    const uint8_t* e = source.End();
    while (p != e && (kCharClasses[*p] & kTokenEnd) == 0) ++p;
    source.ConsumeTo(p);
    if (p != e) return;
  }
}

// Powers of ten for the digits of a fraction that count (nine at most: more
// cannot change a 16.16 value).
constexpr uint32_t kPowersOfTen[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
constexpr uint32_t kFractionDigits = 9;

// After an integer at the top level: true when "integer R", "integer obj",
// "R" or "obj" follows, so that the integer is part of a reference or an
// object header and parsing must go on. The source is left where it was.
bool IntegerMayContinue(BufferedStream& source) {
  uint64_t start = source.Position();
  SkipWhiteSpaceAndComments(source);
  int c = source.PeekByte();
  if (c >= '0' && c <= '9') {
    while (c >= '0' && c <= '9') {
      source.Advance();
      c = source.PeekByte();
    }
    if (c >= 0 && !IsTokenEnd(static_cast<uint8_t>(c))) {
      source.Seek(start);
      return false;
    }
    SkipWhiteSpaceAndComments(source);
  }
  bool result = false;
  if (source.MatchAndConsume("R", 1) || source.MatchAndConsume("obj", 3)) {
    int next = source.PeekByte();
    result = next < 0 || IsTokenEnd(static_cast<uint8_t>(next));
  }
  source.Seek(start);
  return result;
}

uint8_t* ScratchBytes(Parser& parser) { return parser.scratch->Data(); }

uint32_t Decrypt(Parser& parser, uint32_t length) {
  StringDecrypter* d = parser.GetStringDecrypter();
  if (d == nullptr || length == 0) return length;
  uint32_t n = d->DecryptString(parser.context, ScratchBytes(parser), length);
  return n < length ? n : length;
}

}  // namespace

int32_t FixedFromDecimal(uint32_t whole, uint32_t fraction, uint32_t digits) {
  if (whole > 0x7FFF) return 0x7FFFFFFF;
  // The nearest value, so that 0.5 is exactly 0x8000 and 0.1 + 0.9 adds up
  // to 1.0.
  const uint64_t scale = kPowersOfTen[digits < kFractionDigits ? digits : kFractionDigits];
  const uint64_t part = ((static_cast<uint64_t>(fraction) << 17) + scale) / (2 * scale);
  const uint64_t total = (static_cast<uint64_t>(whole) << 16) + part;
  return total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(total);
}

Value LexNumber(Arena& arena, BufferedStream& source) {
  bool negative = false;
  int c = source.PeekByte();
  if (c == '+' || c == '-') {
    negative = c == '-';
    source.Advance();
    c = source.PeekByte();
  }
  char digits[10];
  uint32_t significant = 0;  // counted up to 11
  uint32_t value = 0;
  uint32_t lowBits = 0;  // the value modulo 2^32
  while (c >= 0 && (kCharClasses[c] & kNotDecimal) == 0) {
    source.Advance();
    lowBits = lowBits * 10 + static_cast<uint32_t>(c - '0');
    if (significant != 0 || c != '0') {
      if (significant < 10) {
        digits[significant] = static_cast<char>(c);
        value = value * 10 + static_cast<uint32_t>(c - '0');
      }
      if (significant <= 10) ++significant;
    }
    c = source.PeekByte();
  }
  Value result;
  if (significant > 10 || (significant == 10 && std::memcmp(digits, "2147483647", 10) > 0)) {
    result.type = kIntegerOutOfRange;
    result.outOfRange = static_cast<int32_t*>(arena.Allocate(2 * sizeof(int32_t)));
    result.outOfRange[0] = negative ? static_cast<int32_t>(0x80000000u) : 0x7FFFFFFF;
    result.outOfRange[1] = static_cast<int32_t>(negative ? 0u - lowBits : lowBits);
    SkipTokenRest(source);
    return result;
  }
  if (c == '.') {
    source.Advance();
    uint32_t fraction = 0;
    uint32_t count = 0;
    c = source.PeekByte();
    while (c >= 0 && (kCharClasses[c] & kNotDecimal) == 0) {
      source.Advance();
      if (count < kFractionDigits) {
        fraction = fraction * 10 + static_cast<uint32_t>(c - '0');
        ++count;
      }
      c = source.PeekByte();
    }
    const int32_t fixed = FixedFromDecimal(value, fraction, count);
    result = MakeReal(negative ? -fixed : fixed);
  } else {
    int32_t v = static_cast<int32_t>(value);
    result = MakeInteger(negative ? -v : v);
  }
  SkipTokenRest(source);
  return result;
}

bool ParseNumberToken(Parser& parser, BufferedStream& source) {
  Value v = LexNumber(parser.arena, source);
  parser.stack->Push(parser.arena, v);
  if (parser.continueAfterValue) return true;
  return v.type == kInteger && IntegerMayContinue(source);
}

bool ParseNameToken(Parser& parser, BufferedStream& source) {
  source.Advance();  // the '/'
  EngineArray<uint8_t>& raw = *parser.scratch;
  raw.Clear();
  for (;;) {
    if (source.Cursor() == source.End() && !source.Fill(false)) break;
    const uint8_t* p = source.Cursor();
    const uint8_t* e = source.End();
    const uint8_t* s = p;
    while (p != e && (kCharClasses[*p] & kTokenEnd) == 0) ++p;
    uint32_t n = static_cast<uint32_t>(p - s);
    if (n != 0) {
      uint32_t old = raw.Size();
      raw.Resize(old + n);
      std::memcpy(raw.Data() + old, s, n);
    }
    source.ConsumeTo(p);
    if (p != e) break;
  }
  // Decode '#' escapes in place: the output never outgrows the input.
  uint8_t* b = raw.Data();
  uint32_t n = raw.Size();
  uint32_t out = 0;
  for (uint32_t i = 0; i < n;) {
    if (b[i] != '#') {
      b[out++] = b[i++];
      continue;
    }
    int d1 = i + 1 < n ? HexDigitValue(b[i + 1]) : -1;
    if (d1 < 0) {
      b[out++] = 0;
      i += 1;
      continue;
    }
    int d2 = i + 2 < n ? HexDigitValue(b[i + 2]) : -1;
    if (d2 < 0) {
      b[out++] = static_cast<uint8_t>(d1);
      i += 2;
    } else {
      b[out++] = static_cast<uint8_t>(d1 * 16 + d2);
      i += 3;
    }
  }
  return parser.PushValue(MakeStringValue(parser.arena, kName, b, out));
}

bool ParseLiteralStringToken(Parser& parser, BufferedStream& source) {
  source.Advance();  // the '('
  EngineArray<uint8_t>& out = *parser.scratch;
  out.Clear();
  uint32_t depth = 1;
  for (;;) {
    uint8_t b = source.NextByte();  // the end of data raises kBadData
    if (b == '\\') {
      uint8_t e = source.NextByte();
      switch (e) {
        case 'n': out.Push('\n'); break;
        case 'r': out.Push('\r'); break;
        case 't': out.Push('\t'); break;
        case 'b': out.Push('\b'); break;
        case 'f': out.Push('\f'); break;
        case '\n': break;
        case '\r':
          if (source.PeekByte() == '\n') source.Advance();
          break;
        default:
          if (e >= '0' && e <= '7') {
            uint32_t v = static_cast<uint32_t>(e - '0');
            for (int k = 0; k < 2; ++k) {
              int d = source.PeekByte();
              if (d < '0' || d > '7') break;
              source.Advance();
              v = v * 8 + static_cast<uint32_t>(d - '0');
            }
            out.Push(static_cast<uint8_t>(v & 0xFF));
          } else {
            out.Push(e);
          }
      }
    } else if (b == '(') {
      ++depth;
      out.Push(b);
    } else if (b == ')') {
      if (--depth == 0) break;
      out.Push(b);
    } else if (b == '\r') {
      out.Push('\n');
      if (source.PeekByte() == '\n') source.Advance();
    } else {
      out.Push(b);
    }
  }
  uint32_t length = Decrypt(parser, out.Size());
  return parser.PushValue(MakeStringValue(parser.arena, kString, out.Data(), length));
}

bool ParseHexStringToken(Parser& parser, BufferedStream& source) {
  EngineArray<uint8_t>& out = *parser.scratch;
  out.Clear();
  int high = -1;
  for (;;) {
    uint8_t b = source.NextByte();  // the end of data raises kBadData
    uint8_t cls = kCharClasses[b];
    if ((cls & kNotHexNorSpace) != 0) break;
    if ((cls & kWhiteSpace) != 0) continue;
    int d = HexDigitValue(b);
    if (high < 0) {
      high = d;
    } else {
      out.Push(static_cast<uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) out.Push(static_cast<uint8_t>(high * 16));
  uint32_t length = Decrypt(parser, out.Size());
  return parser.PushValue(MakeStringValue(parser.arena, kString, out.Data(), length));
}

namespace {

void EnterNested(Parser& parser) {
  StackCheck(parser.context);
  if (parser.depth + 1 >= kMaxNesting) RaiseBadData(parser.context);
}

}  // namespace

bool ParseArrayToken(Parser& parser, BufferedStream& source) {
  EnterNested(parser);
  Container* array = NewContainer(parser.arena, source.Position());
  source.Advance();  // the '['
  ArrayParser body(parser.context, source, array, parser.arena, parser.GetStringDecrypter(), true, parser.depth + 1);
  body.scratch = parser.scratch;
  body.inlineMode = parser.inlineMode;
  body.Run(true);
  Value v;
  v.type = kArray;
  v.container = array;
  return parser.PushValue(v);
}

bool ParseDictionaryToken(Parser& parser, BufferedStream& source) {
  EnterNested(parser);
  Container* dict = NewContainer(parser.arena, source.Position() - 1);
  source.Advance();  // the second '<'
  if (parser.inlineMode) {
    InlineImageParser body(parser.context, source, dict, parser.arena, parser.GetStringDecrypter(), true,
                           parser.depth + 1);
    body.scratch = parser.scratch;
    body.Run(true);
  } else {
    DictParser body(parser.context, source, dict, parser.arena, parser.GetStringDecrypter(), true, parser.depth + 1);
    body.scratch = parser.scratch;
    body.Run(true);
    source.SkipWhile(kCharClasses, kWhiteSpace);
    if (source.MatchAndConsume("stream", 6)) {
      for (int c = source.PeekByte(); c == ' ' || c == '\t'; c = source.PeekByte()) source.Advance();
      int c = source.PeekByte();
      if (c == '\n') {
        source.Advance();
      } else if (c == '\r') {
        source.Advance();
        if (source.PeekByte() == '\n') source.Advance();
      } else {
        RaiseBadData(parser.context);
      }
      dict->streamOffset = source.Position();
    }
  }
  Value v;
  v.type = kDictionary;
  v.container = dict;
  return parser.PushValue(v);
}

// ---- the object token table

namespace {

enum HandlerIndex : uint8_t {
  hSkipSpace, hComment, hLiteral, hStray, hNumber, hName, hLess, hGreater, hArray, hArrayEnd,
  hInlineData, hReference, hObj, hIgnore, hTrue, hFalse, hNull,
};

constexpr uint8_t H(HandlerIndex h) { return static_cast<uint8_t>(kFirstHandler + h); }

struct RootEntries {
  uint8_t v['}' + 1];
  constexpr RootEntries() : v() {
    for (char c : {'\0', '\t', '\n', '\f', '\r', ' '}) Set(c, H(hSkipSpace));
    Set('%', H(hComment));
    Set('(', H(hLiteral));
    for (char c : {')', '{', '}'}) Set(c, H(hStray));
    for (char c : {'+', '-', '.', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}) Set(c, H(hNumber));
    Set('/', H(hName));
    Set('<', H(hLess));
    Set('>', H(hGreater));
    Set('[', H(hArray));
    Set(']', H(hArrayEnd));
    // Keywords: the index of their continuation node.
    Set('I', 1);
    Set('R', 2);
    Set('o', 3);
    Set('e', 4);
    Set('t', 5);
    Set('f', 6);
    Set('n', 9);
  }
  constexpr void Set(char c, uint8_t entry) { v[static_cast<uint8_t>(c)] = entry; }
};

constexpr RootEntries kRootEntries;
// After "tr": 'a' continues "trailer", 'u' continues "true".
constexpr uint8_t kTrEntries['u' - 'a' + 1] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3};

const TokenNode kObjectNodes[] = {
    /* 0 root */ {0, '}', kRootEntries.v, nullptr, -1},
    /* 1 I */ {0, 0, nullptr, "D", hInlineData},
    /* 2 R */ {0, 0, nullptr, nullptr, hReference},
    /* 3 o */ {0, 0, nullptr, "bj", hObj},
    /* 4 e */ {0, 0, nullptr, "ndobj", hIgnore},
    /* 5 t */ {'a', 'u', kTrEntries, "r", -1},
    /* 6 f */ {0, 0, nullptr, "alse", hFalse},
    /* 7 tra */ {0, 0, nullptr, "iler", hIgnore},
    /* 8 tru */ {0, 0, nullptr, "e", hTrue},
    /* 9 n */ {0, 0, nullptr, "ull", hNull},
};

const TokenHandler kObjectHandlers[] = {
    /* hSkipSpace */ [](Parser&, BufferedStream& s) {
      s.SkipWhile(kCharClasses, kWhiteSpace);
      return true;
    },
    /* hComment */ [](Parser&, BufferedStream& s) {
      SkipComment(s);
      return true;
    },
    /* hLiteral */ &ParseLiteralStringToken,
    /* hStray */ [](Parser& p, BufferedStream&) { return p.StrayDelimiter(); },
    /* hNumber */ &ParseNumberToken,
    /* hName */ &ParseNameToken,
    /* hLess */ [](Parser& p, BufferedStream& s) {
      s.Advance();
      if (s.PeekByte() == '<') return p.BeginDictionary();
      return ParseHexStringToken(p, s);
    },
    /* hGreater */ [](Parser& p, BufferedStream&) { return p.EndDictionary(); },
    /* hArray */ &ParseArrayToken,
    /* hArrayEnd */ [](Parser& p, BufferedStream&) { return p.EndArray(); },
    /* hInlineData */ [](Parser& p, BufferedStream&) { return p.InlineImageData(); },
    /* hReference */ [](Parser& p, BufferedStream&) { return p.Reference(); },
    /* hObj */ [](Parser& p, BufferedStream&) { return p.DropObjectHeader(); },
    /* hIgnore */ [](Parser&, BufferedStream&) { return true; },
    /* hTrue */ [](Parser& p, BufferedStream&) { return p.PushValue(MakeBoolean(true)); },
    /* hFalse */ [](Parser& p, BufferedStream&) { return p.PushValue(MakeBoolean(false)); },
    /* hNull */ [](Parser& p, BufferedStream&) { return p.PushValue(Value()); },
};

const TokenTable kObjectTable{kObjectNodes, kObjectHandlers};

}  // namespace

const TokenTable& ObjectTokenTable() { return kObjectTable; }

}  // namespace vn::pdf::store
