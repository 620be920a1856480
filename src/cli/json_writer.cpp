#include "cli/json_writer.h"

#include <cstdio>

namespace folio::cli {

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  String(name);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

namespace {

// Length of a valid UTF-8 sequence starting at text[i], or 0.
size_t Utf8Length(std::string_view text, size_t i) {
  auto b = static_cast<unsigned char>(text[i]);
  size_t n = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

}  // namespace

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"': out_ += "\\\""; continue;
      case '\\': out_ += "\\\\"; continue;
      case '\n': out_ += "\\n"; continue;
      case '\r': out_ += "\\r"; continue;
      case '\t': out_ += "\\t"; continue;
      default: break;
    }
    if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out_ += escape;
    } else if (c < 0x80) {
      out_ += static_cast<char>(c);
    } else if (size_t n = Utf8Length(text, i); n != 0) {
      out_.append(text.substr(i, n));
      i += n - 1;
    } else {
      out_ += static_cast<char>(0xC0 | (c >> 6));
      out_ += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out_ += '"';
  return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Fixed(int32_t value) {
  BeforeValue();
  out_ += FormatFixed(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

std::string FormatFixed(int32_t value) {
  int64_t v = value;
  bool negative = v < 0;
  if (negative) v = -v;
  int64_t whole = v >> 16;
  // Five decimals, rounded, then trailing zeros dropped.
  int64_t fraction = ((v & 0xFFFF) * 100000 + 0x8000) >> 16;
  if (fraction == 100000) {
    ++whole;
    fraction = 0;
  }
  std::string out = negative && (whole != 0 || fraction != 0) ? "-" : "";
  out += std::to_string(whole);
  if (fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05lld", static_cast<long long>(fraction));
    std::string f = digits;
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += '.';
    out += f;
  }
  return out;
}

}  // namespace folio::cli
