// The few questions the page tree asks of parsed value cells, in one place.
#pragma once

#include <cstdint>

#include "pdf/store/value.h"
#include "runtime/fixed16_16.h"

namespace vn {
class AppContext;
}

namespace vn::pdf::document {

using Value = store::Value;

// An indirect object's number and generation.
struct ObjectId {
  int32_t number;
  int32_t generation;
};

Value NullValue();
bool IsNull(const Value& value);
bool IsInteger(const Value& value);
// Integers (in range or not) and reals.
bool IsNumber(const Value& value);
bool IsName(const Value& value);
bool IsArray(const Value& value);
// Streams are dictionaries too.
bool IsDictionary(const Value& value);
bool IsStream(const Value& value);
bool IsReference(const Value& value);

int32_t IntegerOf(const Value& value);
// A number as 16.16, saturating (integers beyond 32767 and out-of-range
// integers give the extremes). 0 for anything that is not a number.
Fixed16_16 NumberToFixed(const Value& value);
// True when `value` is the name with exactly these bytes.
bool NameEquals(const Value& value, const char* bytes, uint32_t length);
bool NameIs(const Value& value, const char* text);

uint32_t ArrayLength(const Value& array);
Value ArrayElement(const Value& array, uint32_t index);

// The entry `key` of a dictionary (null when absent); raises kBadData when
// `dictionary` is not one.
Value DictionaryGet(AppContext& context, const Value& dictionary, const char* key, uint32_t length);
Value DictionaryGet(AppContext& context, const Value& dictionary, const char* key);

ObjectId ReferenceOf(const Value& reference);

}  // namespace vn::pdf::document
