// The object parsers: token-loop clients that build values into an arena.
#pragma once

#include <cstdint>

#include "data_io/buffered_stream.h"
#include "pdf/store/string_decrypter.h"
#include "pdf/store/token_loop.h"
#include "pdf/store/value.h"
#include "runtime/engine_array.h"

namespace vn::pdf::store {

// Arrays and dictionaries nested deeper than this are bad data: the main
// thread's stack is not checked, so nesting is bounded here too.
constexpr uint32_t kMaxNesting = 256;

class Parser {
 public:
  Parser(AppContext& context, data_io::BufferedStream& source, Container* stack, Arena& arena,
         StringDecrypter* decrypter, bool continueAfterValue, uint32_t depth);
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  virtual ~Parser() = default;
  virtual StringDecrypter* GetStringDecrypter() { return nullptr; }
  virtual bool UnexpectedToken(bool atEnd);
  virtual bool StrayDelimiter();
  virtual bool BeginDictionary();
  virtual bool EndDictionary();
  virtual bool InlineImageData();
  virtual bool EndArray();
  virtual bool Reference();
  // For the operator token table: the operator at the source's position
  // (by default an unexpected token), and a step after each operand.
  virtual bool Keyword() { return UnexpectedToken(false); }
  virtual void AfterValue() {}

  // Pushes a value; returns what value handlers return.
  bool PushValue(const Value& value);
  // Drops the two integers of an object header (`obj`).
  bool DropObjectHeader();
  // Runs the object token table over the source.
  void Run(bool endIsError);
  // Empties the value stack and gives the arena back to `mark`, taken just
  // after the stack was made (the operand stacks of content and CMaps).
  void ClearStack(const Arena::Mark& mark);

  AppContext& context;
  data_io::BufferedStream& source;
  Container* stack;
  Arena& arena;
  StringDecrypter* decrypter;
  bool continueAfterValue;
  uint32_t depth;
  bool inlineMode = false;  // dictionaries run InlineImageParser bodies, no stream
  // Scratch bytes for names and strings, shared down the nesting.
  EngineArray<uint8_t>* scratch = nullptr;

 protected:
  bool RaiseBad();
  bool MakeReference();
};

class ObjectStoreParser : public Parser {
 public:
  using Parser::Parser;
  StringDecrypter* GetStringDecrypter() override { return decrypter; }
  bool UnexpectedToken(bool) override { return RaiseBad(); }
  bool StrayDelimiter() override { return RaiseBad(); }
  bool EndArray() override { return RaiseBad(); }
  bool Reference() override { return MakeReference(); }
};

class ArrayParser : public ObjectStoreParser {
 public:
  using ObjectStoreParser::ObjectStoreParser;
  bool EndArray() override;
};

class DictParser : public ObjectStoreParser {
 public:
  using ObjectStoreParser::ObjectStoreParser;
  bool EndDictionary() override;
};

class InlineImageParser : public ObjectStoreParser {
 public:
  using ObjectStoreParser::ObjectStoreParser;
  bool InlineImageData() override { return false; }
};

// The token table of object data.
const TokenTable& ObjectTokenTable();

// Token pieces the content and CMap tables reuse. Each consumes its token.
bool ParseNumberToken(Parser& parser, data_io::BufferedStream& source);
bool ParseNameToken(Parser& parser, data_io::BufferedStream& source);
bool ParseLiteralStringToken(Parser& parser, data_io::BufferedStream& source);
bool ParseHexStringToken(Parser& parser, data_io::BufferedStream& source);  // after the `<`
bool ParseArrayToken(Parser& parser, data_io::BufferedStream& source);
// At `<<`: the dictionary (and, outside inline mode, the stream keyword after it).
bool ParseDictionaryToken(Parser& parser, data_io::BufferedStream& source);
void SkipComment(data_io::BufferedStream& source);

// Number lexing on its own, for tests and other lexers.
Value LexNumber(Arena& arena, data_io::BufferedStream& source);

// The 16.16 value nearest to "whole.fraction" with `digits` fraction digits
// (at most 9 count), saturated at the largest value: how the lexer reads a
// real's magnitude.
int32_t FixedFromDecimal(uint32_t whole, uint32_t fraction, uint32_t digits);

}  // namespace vn::pdf::store
