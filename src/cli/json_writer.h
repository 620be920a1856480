// A small streaming JSON writer for the --json output of folio commands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folio::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The member name of the next value inside an object.
  JsonWriter& Key(std::string_view name);
  // Bytes are written as text: valid UTF-8 passes, other bytes are taken as
  // Latin-1 so the output is always valid JSON.
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(int64_t value);
  // A 16.16 fixed-point number, printed with up to five decimals.
  JsonWriter& Fixed(int32_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  const std::string& Text() const { return out_; }

 private:
  void BeforeValue();
  std::string out_;
  std::vector<bool> first_;  // per open container: no element yet
  bool afterKey_ = false;
};

// Formats a 16.16 value the way folio prints numbers ("612", "-0.5").
std::string FormatFixed(int32_t value);

}  // namespace folio::cli
