#include "pdf/document/value_access.h"

#include <cstring>

namespace vn::pdf::document {

Value NullValue() { return Value(); }
bool IsNull(const Value& value) { return value.IsNull(); }
bool IsInteger(const Value& value) { return value.IsInteger(); }
bool IsNumber(const Value& value) {
  return value.IsNumber() || value.type == store::kIntegerOutOfRange;
}
bool IsName(const Value& value) { return value.IsName(); }
bool IsArray(const Value& value) { return value.IsArray(); }
bool IsDictionary(const Value& value) { return value.IsDictionary(); }
bool IsStream(const Value& value) { return store::StreamDataOffset(value) != 0; }
bool IsReference(const Value& value) { return value.IsReference(); }

int32_t IntegerOf(const Value& value) { return value.IsInteger() ? value.i : value.AsInt(); }

Fixed16_16 NumberToFixed(const Value& value) {
  if (value.type == store::kIntegerOutOfRange) {
    return *value.outOfRange < 0 ? kFixedMin : kFixedMax;
  }
  if (!value.IsNumber()) return 0;
  return value.AsFixed();
}

bool NameEquals(const Value& value, const char* bytes, uint32_t length) {
  return value.IsName() && value.Length() == length &&
         std::memcmp(value.Bytes(), bytes, length) == 0;
}
bool NameIs(const Value& value, const char* text) { return value.NameIs(text); }

uint32_t ArrayLength(const Value& array) { return array.IsArray() ? array.container->Size() : 0; }
Value ArrayElement(const Value& array, uint32_t index) {
  if (!array.IsArray() || index >= array.container->Size()) return Value();
  return array.container->At(index);
}

Value DictionaryGet(AppContext& context, const Value& dictionary, const char* key, uint32_t length) {
  return store::Get(context, dictionary, reinterpret_cast<const uint8_t*>(key), length);
}
Value DictionaryGet(AppContext& context, const Value& dictionary, const char* key) {
  return store::Get(context, dictionary, key);
}

ObjectId ReferenceOf(const Value& reference) {
  if (!reference.IsReference()) return ObjectId{-1, -1};
  return ObjectId{reference.ref->number, reference.ref->generation};
}

}  // namespace vn::pdf::document
