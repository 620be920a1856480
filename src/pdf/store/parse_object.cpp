#include "pdf/store/parse_object.h"

#include <cstring>

#include "pdf/store/char_classes.h"
#include "pdf/store/parser.h"

namespace vn::pdf::store {

Value ParseObject(data_io::BufferedStream& source, Arena& arena, StringDecrypter* decrypter) {
  AppContext& context = source.Context();
  Container* stack = NewContainer(arena, source.Position());
  ObjectStoreParser parser(context, source, stack, arena, decrypter, false, 0);
  parser.Run(true);
  if (stack->count == 0) RaiseBadData(context);
  return stack->At(stack->count - 1);
}

Value ParseInlineImageDictionary(data_io::BufferedStream& source, Arena& arena) {
  AppContext& context = source.Context();
  Container* dict = NewContainer(arena, source.Position());
  InlineImageParser parser(context, source, dict, arena, nullptr, true, 1);
  parser.Run(true);
  Value v;
  v.type = kDictionary;
  v.container = dict;
  return v;
}

void SkipWhiteSpaceAndComments(data_io::BufferedStream& source) {
  for (;;) {
    source.SkipWhile(kCharClasses, kWhiteSpace);
    if (source.PeekByte() != '%') return;
    SkipComment(source);
  }
}

void ExpectKeyword(data_io::BufferedStream& source, const char* word) {
  if (!source.MatchAndConsume(word, static_cast<uint32_t>(std::strlen(word)))) RaiseBadData(source.Context());
}

namespace {

// Up to ten digits; false when there are none or more.
bool MatchNumber(data_io::BufferedStream& source, int64_t& value) {
  value = 0;
  uint32_t digits = 0;
  for (int c = source.PeekByte(); c >= '0' && c <= '9'; c = source.PeekByte()) {
    if (++digits > 10) return false;
    value = value * 10 + (c - '0');
    source.Advance();
  }
  return digits != 0;
}

}  // namespace

bool MatchObjectHeader(data_io::BufferedStream& source, int64_t& number, int64_t& generation) {
  SkipWhiteSpaceAndComments(source);
  if (!MatchNumber(source, number)) return false;
  SkipWhiteSpaceAndComments(source);
  if (!MatchNumber(source, generation)) return false;
  SkipWhiteSpaceAndComments(source);
  return source.MatchAndConsume("obj", 3);
}

}  // namespace vn::pdf::store
