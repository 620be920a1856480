#include "fonts/parsers/ps_tokens.h"

#include <cstring>

namespace vn::fonts::parsers {

bool IsPsWhitespace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == 0; }

namespace {

bool IsDelimiter(uint8_t c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}

}  // namespace

bool PsToken::Is(const char* word) const {
  uint32_t n = static_cast<uint32_t>(std::strlen(word));
  return n == length && std::memcmp(text, word, n) == 0;
}

bool PsToken::Integer(int32_t& value) const {
  int64_t mantissa;
  int32_t exponent;
  if (!Number(mantissa, exponent) || exponent != 0 || mantissa > INT32_MAX || mantissa < -INT32_MAX) return false;
  value = static_cast<int32_t>(mantissa);
  return true;
}

bool PsToken::Number(int64_t& mantissa, int32_t& exponent) const {
  if (kind != kWord || length == 0) return false;
  uint32_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    ++i;
  }
  mantissa = 0;
  exponent = 0;
  bool digits = false, point = false;
  for (; i < length; ++i) {
    uint8_t c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (mantissa < 100000000000000000) {
        mantissa = mantissa * 10 + (c - '0');
        if (point) --exponent;
      } else if (!point) {
        ++exponent;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else if ((c == 'e' || c == 'E') && digits) {
      int32_t value = 0;
      bool minus = false;
      ++i;
      if (i < length && (text[i] == '-' || text[i] == '+')) minus = text[i++] == '-';
      if (i == length) return false;
      for (; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (value < 10000) value = value * 10 + (text[i] - '0');
      }
      exponent += minus ? -value : value;
      break;
    } else {
      return false;  // radix numbers and other words
    }
  }
  if (!digits) return false;
  if (negative) mantissa = -mantissa;
  return true;
}

PsToken PsTokenizer::Next() {
  PsToken token;
  for (;;) {
    while (p_ < end_ && IsPsWhitespace(*p_)) ++p_;
    if (p_ < end_ && *p_ == '%') {
      while (p_ < end_ && *p_ != '\r' && *p_ != '\n') ++p_;
      continue;
    }
    break;
  }
  if (p_ >= end_) return token;
  uint8_t c = *p_;
  if (c == '(') {
    // A string: skipped, nesting and escapes included.
    int depth = 0;
    for (; p_ < end_; ++p_) {
      if (*p_ == '\\') {
        ++p_;
      } else if (*p_ == '(') {
        ++depth;
      } else if (*p_ == ')' && --depth == 0) {
        ++p_;
        break;
      }
    }
    token.kind = PsToken::kOther;
    return token;
  }
  if (c == '[' || c == '{') {
    ++p_;
    token.kind = PsToken::kOpen;
    return token;
  }
  if (c == ']' || c == '}') {
    ++p_;
    token.kind = PsToken::kClose;
    return token;
  }
  if (c == '<' || c == '>' || c == ')') {
    ++p_;
    if (c == '<' && p_ < end_ && *p_ != '<') {
      while (p_ < end_ && *p_ != '>') ++p_;  // a hex string
      if (p_ < end_) ++p_;
    } else if (p_ < end_ && *p_ == c) {
      ++p_;
    }
    token.kind = PsToken::kOther;
    return token;
  }
  if (c == '/') {
    ++p_;
    token.kind = PsToken::kName;
  } else {
    token.kind = PsToken::kWord;
  }
  token.text = p_;
  while (p_ < end_ && !IsPsWhitespace(*p_) && !IsDelimiter(*p_)) ++p_;
  token.length = static_cast<uint32_t>(p_ - token.text);
  return token;
}

bool PsTokenizer::SkipTo(const char* word) {
  bool name = word[0] == '/';
  const char* text = name ? word + 1 : word;
  for (PsToken t = Next(); t.kind != PsToken::kEnd; t = Next()) {
    if ((t.kind == (name ? PsToken::kName : PsToken::kWord)) && t.Is(text)) return true;
  }
  return false;
}

}  // namespace vn::fonts::parsers
