// A small reader of PostScript tokens, for the cleartext and decrypted
// parts of Type 1 fonts: names, numbers, words and the delimiters, with
// strings and comments skipped. Binary data inside the text (charstrings
// after RD) is skipped by the caller with Skip().
#pragma once

#include <cstdint>

namespace vn::fonts::parsers {

struct PsToken {
  enum Kind : uint8_t { kEnd, kName, kWord, kOpen, kClose, kOther };
  Kind kind = kEnd;
  const uint8_t* text = nullptr;  // the name without its slash, or the word
  uint32_t length = 0;
  bool Is(const char* word) const;
  // A number token's value as a decimal mantissa and power of ten; false
  // when the token is not a number.
  bool Number(int64_t& mantissa, int32_t& exponent) const;
  // An integer token's value; false when the token is not one.
  bool Integer(int32_t& value) const;
};

class PsTokenizer {
 public:
  PsTokenizer(const uint8_t* data, uint32_t length) : start_(data), p_(data), end_(data + length) {}
  PsToken Next();
  uint32_t Position() const { return static_cast<uint32_t>(p_ - start_); }
  void Seek(uint32_t position) { p_ = start_ + (position < Length() ? position : Length()); }
  uint32_t Length() const { return static_cast<uint32_t>(end_ - start_); }
  const uint8_t* Data() const { return start_; }
  // Finds the next occurrence of the token text `word` (a name when it
  // starts with '/'); leaves the reader after it. False at the end.
  bool SkipTo(const char* word);

 private:
  const uint8_t* start_;
  const uint8_t* p_;
  const uint8_t* end_;
};

bool IsPsWhitespace(uint8_t c);

}  // namespace vn::fonts::parsers
