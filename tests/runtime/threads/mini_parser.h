// A small recursive-descent reader of PDF object syntax, shaped like an
// object parser (a token with a text buffer per value, a local batch of
// children per array or dictionary, arena-built values, a stack check on
// every entry and a yield every 32 tokens). The thread tests use it to
// measure how much engine-thread stack real documents' nesting takes; it is
// not the engine's parser. Header-only, so the ARM smoke program uses it too.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/app_context.h"
#include "runtime/arena.h"
#include "runtime/yield_points.h"

namespace vn::test {

struct MiniToken {
  enum Kind : uint8_t { kEnd, kNumber, kName, kString, kKeyword, kArrayOpen, kArrayClose, kDictOpen, kDictClose };
  Kind kind = kEnd;
  int64_t number = 0;
  uint32_t length = 0;
  char text[64] = {};
};

struct MiniValue {
  uint8_t kind;
  uint32_t count;
  MiniValue** items;
  int64_t number;
};

struct MiniStats {
  uint32_t tokens = 0;
  uint32_t values = 0;
  uint32_t deepest = 0;
  uint32_t objects = 0;
};

class MiniLexer {
 public:
  MiniLexer(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}

  void Next(MiniToken& token) {
    SkipSpace();
    token.length = 0;
    token.number = 0;
    if (p_ >= end_) {
      token.kind = MiniToken::kEnd;
      return;
    }
    unsigned char c = *p_;
    if (c == '[' || c == ']') {
      ++p_;
      token.kind = c == '[' ? MiniToken::kArrayOpen : MiniToken::kArrayClose;
    } else if (c == '<' && p_ + 1 < end_ && p_[1] == '<') {
      p_ += 2;
      token.kind = MiniToken::kDictOpen;
    } else if (c == '>' && p_ + 1 < end_ && p_[1] == '>') {
      p_ += 2;
      token.kind = MiniToken::kDictClose;
    } else if (c == '<') {
      ++p_;
      while (p_ < end_ && *p_ != '>') Keep(token, *p_++);
      if (p_ < end_) ++p_;
      token.kind = MiniToken::kString;
    } else if (c == '(') {
      ++p_;
      int depth = 1;
      while (p_ < end_ && depth > 0) {
        unsigned char s = *p_++;
        if (s == '\\' && p_ < end_) {
          Keep(token, *p_++);
          continue;
        }
        if (s == '(') ++depth;
        if (s == ')' && --depth == 0) break;
        Keep(token, s);
      }
      token.kind = MiniToken::kString;
    } else if (c == '/') {
      ++p_;
      while (p_ < end_ && Regular(*p_)) Keep(token, *p_++);
      token.kind = MiniToken::kName;
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      bool negative = c == '-';
      if (c == '-' || c == '+') ++p_;
      while (p_ < end_ && ((*p_ >= '0' && *p_ <= '9') || *p_ == '.')) {
        if (*p_ != '.' && token.number < (int64_t{1} << 40)) token.number = token.number * 10 + (*p_ - '0');
        ++p_;
      }
      if (negative) token.number = -token.number;
      token.kind = MiniToken::kNumber;
    } else if (Regular(c)) {
      while (p_ < end_ && Regular(*p_)) Keep(token, *p_++);
      token.kind = MiniToken::kKeyword;
    } else {
      ++p_;  // a stray delimiter
      token.kind = MiniToken::kKeyword;
    }
  }

  // After the keyword "stream": the raw data up to "endstream".
  void SkipStreamData() {
    static const char kEnd[] = "endstream";
    while (p_ + 9 <= end_ && std::memcmp(p_, kEnd, 9) != 0) ++p_;
    if (p_ + 9 <= end_) p_ += 9;
  }

 private:
  static bool Regular(unsigned char c) {
    return c > ' ' && std::strchr("[]<>(){}/%", c) == nullptr;
  }
  static void Keep(MiniToken& token, unsigned char c) {
    if (token.length < sizeof token.text) token.text[token.length++] = static_cast<char>(c);
  }
  void SkipSpace() {
    while (p_ < end_) {
      if (*p_ == '%') {
        while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
      } else if (*p_ <= ' ') {
        ++p_;
      } else {
        break;
      }
    }
  }
  const unsigned char* p_;
  const unsigned char* end_;
};

class MiniParser {
 public:
  MiniParser(AppContext& context, MiniLexer& lexer, Arena& arena, MiniStats& stats)
      : context_(context), lexer_(lexer), arena_(arena), stats_(stats) {}

  // Parses every top-level value of the data, skipping stream data.
  void ParseAll() {
    MiniToken token;
    for (;;) {
      NextToken(token);
      if (token.kind == MiniToken::kEnd) return;
      if (token.kind == MiniToken::kKeyword && token.length == 6 && std::memcmp(token.text, "stream", 6) == 0) {
        lexer_.SkipStreamData();
        continue;
      }
      if (token.kind == MiniToken::kKeyword && token.length == 3 && std::memcmp(token.text, "obj", 3) == 0) {
        ++stats_.objects;
      }
      ArenaScope scope(context_, arena_);
      ParseValue(token, 0);
    }
  }

  MiniValue* ParseValue(const MiniToken& first, uint32_t depth) {
    StackCheck(context_);
    if (depth > stats_.deepest) stats_.deepest = depth;
    ++stats_.values;
    if (first.kind == MiniToken::kArrayOpen) return ParseList(depth, MiniToken::kArrayClose, false);
    if (first.kind == MiniToken::kDictOpen) return ParseList(depth, MiniToken::kDictClose, true);
    auto* value = static_cast<MiniValue*>(arena_.Allocate(sizeof(MiniValue)));
    value->kind = first.kind;
    value->count = first.length;
    value->items = nullptr;
    value->number = first.number;
    return value;
  }

 private:
  void NextToken(MiniToken& token) {
    lexer_.Next(token);
    if ((++stats_.tokens & 31) == 0) YieldPoint(context_);
  }

  MiniValue* ParseList(uint32_t depth, MiniToken::Kind close, bool dictionary) {
    MiniValue* batch[16];
    uint32_t inBatch = 0;
    MiniValue** items = nullptr;
    uint32_t count = 0;
    MiniToken token;
    for (;;) {
      NextToken(token);
      if (token.kind == MiniToken::kEnd || token.kind == close) break;
      if (token.kind == MiniToken::kArrayClose || token.kind == MiniToken::kDictClose) continue;  // stray
      if (dictionary && (count + inBatch) % 2 == 0 && token.kind != MiniToken::kName) continue;  // not a key
      batch[inBatch++] = ParseValue(token, depth + 1);
      if (inBatch == 16) {
        items = Grow(items, count, batch, inBatch);
        count += inBatch;
        inBatch = 0;
      }
    }
    items = Grow(items, count, batch, inBatch);
    count += inBatch;
    auto* value = static_cast<MiniValue*>(arena_.Allocate(sizeof(MiniValue)));
    value->kind = dictionary ? MiniToken::kDictOpen : MiniToken::kArrayOpen;
    value->count = count;
    value->items = items;
    value->number = 0;
    return value;
  }

  MiniValue** Grow(MiniValue** items, uint32_t count, MiniValue** batch, uint32_t inBatch) {
    if (inBatch == 0) return items;
    auto* grown = arena_.AllocateArray<MiniValue*>(count + inBatch);
    if (count > 0) std::memcpy(grown, items, count * sizeof(MiniValue*));
    std::memcpy(grown + count, batch, inBatch * sizeof(MiniValue*));
    return grown;
  }

  AppContext& context_;
  MiniLexer& lexer_;
  Arena& arena_;
  MiniStats& stats_;
};

}  // namespace vn::test
