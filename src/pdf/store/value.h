// Parsed PDF values: small cells whose payload points into the arena of the
// parse that made them, and the read API the rest of the engine uses.
#pragma once

#include <cstdint>
#include <cstring>

#include "runtime/arena.h"

namespace vn::pdf::store {

enum ValueType : int32_t {
  kNull = 0,
  kBoolean = 1,
  kInteger = 2,
  kReal = 3,  // 16.16 fixed point
  kName = 4,
  kString = 5,
  kArray = 6,
  kDictionary = 7,  // also a stream: its container has a stream-data offset
  kReference = 8,
  kIntegerOutOfRange = 9,
};

// length bytes, then a zero byte; allocations rounded to 8.
struct ByteString {
  uint32_t length;
  uint8_t bytes[1];
};

struct ObjectRef {
  int32_t number;
  int32_t generation;
};

struct Container;

struct Value {
  int32_t type = kNull;
  union {
    int32_t i;
    ByteString* string;
    Container* container;
    ObjectRef* ref;
    int32_t* outOfRange;  // [0]: the value saturated; [1]: its low 32 bits
  };
  Value() : i(0) {}

  bool IsNull() const { return type == kNull; }
  bool IsInteger() const { return type == kInteger; }
  bool IsNumber() const { return type == kInteger || type == kReal; }
  bool IsName() const { return type == kName; }
  bool IsString() const { return type == kString; }
  bool IsArray() const { return type == kArray; }
  bool IsDictionary() const { return type == kDictionary; }
  bool IsReference() const { return type == kReference; }
  bool AsBool() const { return type == kBoolean && i != 0; }
  // Integers as they are; reals truncated toward zero; out of range saturated.
  int32_t AsInt() const;
  // For a 32-bit bit field: integers as they are, out of range ones by their
  // low 32 bits (so "/P 4294967292", written unsigned, is -4); else AsInt().
  int32_t AsInt32Bits() const;
  // 16.16: integers scaled (saturating), reals as they are.
  int32_t AsFixed() const;
  // For names and strings.
  const uint8_t* Bytes() const { return string->bytes; }
  uint32_t Length() const { return string->length; }
  bool NameIs(const char* name) const {
    size_t n = std::strlen(name);
    return type == kName && string->length == n && std::memcmp(string->bytes, name, n) == 0;
  }
};

constexpr uint32_t kSegmentCells = 10;

struct Segment {
  Segment* next;
  Segment* prev;
  Value cells[kSegmentCells];
};

// Arrays and dictionaries (keys and values alternate, in file order).
struct Container {
  uint64_t position;       // where it began in the source
  uint32_t ownerWords[2];  // for the parser's owner
  uint64_t streamOffset;   // 0: not a stream
  uint32_t count;
  Segment* first;
  Segment* last;  // holds the last cell (or the first segment when empty)

  uint32_t Size() const { return count; }
  const Value& At(uint32_t index) const;
  void Push(Arena& arena, const Value& value);
  Value Pop();
};

// Walks the cells of a container in order.
class CellCursor {
 public:
  explicit CellCursor(const Container* container)
      : segment_(container->first), left_(container->count), at_(0) {}
  bool Done() const { return left_ == 0; }
  const Value& Get() const { return segment_->cells[at_]; }
  void Next() {
    --left_;
    if (++at_ == kSegmentCells) {
      at_ = 0;
      segment_ = segment_->next;
    }
  }

 private:
  const Segment* segment_;
  uint32_t left_;
  uint32_t at_;
};

Container* NewContainer(Arena& arena, uint64_t position);
ByteString* NewByteString(Arena& arena, const uint8_t* bytes, uint32_t length);
Value MakeInteger(int32_t v);
Value MakeReal(int32_t fixed);
Value MakeBoolean(bool v);
Value MakeStringValue(Arena& arena, int32_t type, const uint8_t* bytes, uint32_t length);

// Array access: raises kBadData when `array` is not an array or the index is out of range.
uint32_t ArraySize(AppContext& context, const Value& array);
const Value& ArrayAt(AppContext& context, const Value& array, uint32_t index);

// Dictionary lookup: kBadData when `dict` is not a dictionary, a key is not
// a name or the matching key has no value; a null cell when there is no match.
Value Get(AppContext& context, const Value& dict, const uint8_t* key, uint32_t keyLength);
Value Get(AppContext& context, const Value& dict, const char* key);
// The stream-data offset of a stream dictionary, 0 for anything else.
uint64_t StreamDataOffset(const Value& value);

// Deep copy into another arena.
Value CopyValue(Arena& arena, const Value& value);

}  // namespace vn::pdf::store
