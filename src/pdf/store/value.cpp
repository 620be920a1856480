#include "pdf/store/value.h"

#include <cstddef>

#include "runtime/error.h"

namespace vn::pdf::store {

int32_t Value::AsInt() const {
  switch (type) {
    case kInteger: return i;
    case kReal: return i >= 0 ? i >> 16 : -((-i) >> 16);
    case kIntegerOutOfRange: return *outOfRange;
    default: return 0;
  }
}

int32_t Value::AsInt32Bits() const { return type == kIntegerOutOfRange ? outOfRange[1] : AsInt(); }

int32_t Value::AsFixed() const {
  switch (type) {
    case kInteger:
      if (i > 0x7FFF) return 0x7FFFFFFF;
      if (i < -0x8000) return static_cast<int32_t>(0x80000000u);
      return static_cast<int32_t>(static_cast<uint32_t>(i) << 16);
    case kReal: return i;
    case kIntegerOutOfRange: return *outOfRange;
    default: return 0;
  }
}

const Value& Container::At(uint32_t index) const {
  const Segment* s = first;
  while (index >= kSegmentCells) {
    s = s->next;
    index -= kSegmentCells;
  }
  return s->cells[index];
}

void Container::Push(Arena& arena, const Value& value) {
  uint32_t at = count % kSegmentCells;
  if (at == 0 && count != 0) {
    if (last->next == nullptr) {
      auto* s = static_cast<Segment*>(arena.Allocate(sizeof(Segment)));
      s->next = nullptr;
      s->prev = last;
      last->next = s;
    }
    last = last->next;
  }
  last->cells[at] = value;
  ++count;
}

Value Container::Pop() {
  --count;
  Value v = last->cells[count % kSegmentCells];
  if (count % kSegmentCells == 0 && count != 0) last = last->prev;
  return v;
}

Container* NewContainer(Arena& arena, uint64_t position) {
  auto* c = static_cast<Container*>(arena.Allocate(sizeof(Container)));
  auto* s = static_cast<Segment*>(arena.Allocate(sizeof(Segment)));
  s->next = s->prev = nullptr;
  c->position = position;
  c->ownerWords[0] = c->ownerWords[1] = 0;
  c->streamOffset = 0;
  c->count = 0;
  c->first = c->last = s;
  return c;
}

ByteString* NewByteString(Arena& arena, const uint8_t* bytes, uint32_t length) {
  if (length > 0xFFFFFF00u - 8) RaiseOverflow(arena.Context());
  auto* s = static_cast<ByteString*>(arena.Allocate(static_cast<uint32_t>(offsetof(ByteString, bytes)) + length + 1));
  s->length = length;
  if (length != 0) std::memcpy(s->bytes, bytes, length);
  s->bytes[length] = 0;
  return s;
}

Value MakeInteger(int32_t v) {
  Value r;
  r.type = kInteger;
  r.i = v;
  return r;
}

Value MakeReal(int32_t fixed) {
  Value r;
  r.type = kReal;
  r.i = fixed;
  return r;
}

Value MakeBoolean(bool v) {
  Value r;
  r.type = kBoolean;
  r.i = v ? 1 : 0;
  return r;
}

Value MakeStringValue(Arena& arena, int32_t type, const uint8_t* bytes, uint32_t length) {
  Value r;
  r.type = type;
  r.string = NewByteString(arena, bytes, length);
  return r;
}

uint32_t ArraySize(AppContext& context, const Value& array) {
  if (array.type != kArray) RaiseBadData(context);
  return array.container->count;
}

const Value& ArrayAt(AppContext& context, const Value& array, uint32_t index) {
  if (array.type != kArray || index >= array.container->count) RaiseBadData(context);
  return array.container->At(index);
}

Value Get(AppContext& context, const Value& dict, const uint8_t* key, uint32_t keyLength) {
  if (dict.type != kDictionary) RaiseBadData(context);
  CellCursor cursor(dict.container);
  while (!cursor.Done()) {
    const Value& k = cursor.Get();
    if (k.type != kName) RaiseBadData(context);
    cursor.Next();
    if (k.string->length == keyLength && std::memcmp(k.string->bytes, key, keyLength) == 0) {
      if (cursor.Done()) RaiseBadData(context);
      return cursor.Get();
    }
    if (cursor.Done()) break;
    cursor.Next();
  }
  return Value();
}

Value Get(AppContext& context, const Value& dict, const char* key) {
  return Get(context, dict, reinterpret_cast<const uint8_t*>(key), static_cast<uint32_t>(std::strlen(key)));
}

uint64_t StreamDataOffset(const Value& value) {
  return value.type == kDictionary ? value.container->streamOffset : 0;
}

Value CopyValue(Arena& arena, const Value& value) {
  Value r = value;
  switch (value.type) {
    case kName:
    case kString:
      r.string = NewByteString(arena, value.string->bytes, value.string->length);
      break;
    case kArray:
    case kDictionary: {
      const Container* from = value.container;
      Container* to = NewContainer(arena, from->position);
      to->ownerWords[0] = from->ownerWords[0];
      to->ownerWords[1] = from->ownerWords[1];
      to->streamOffset = from->streamOffset;
      for (CellCursor c(from); !c.Done(); c.Next()) to->Push(arena, CopyValue(arena, c.Get()));
      r.container = to;
      break;
    }
    case kReference:
      r.ref = static_cast<ObjectRef*>(arena.Allocate(sizeof(ObjectRef)));
      *r.ref = *value.ref;
      break;
    case kIntegerOutOfRange:
      r.outOfRange = static_cast<int32_t*>(arena.Allocate(2 * sizeof(int32_t)));
      r.outOfRange[0] = value.outOfRange[0];
      r.outOfRange[1] = value.outOfRange[1];
      break;
    default:
      break;
  }
  return r;
}

}  // namespace vn::pdf::store
