// One parsed indirect object (or trailer): its value, the arena that holds
// the value's cells, and what is needed to read its stream data.
#pragma once

#include <cstdint>

#include "pdf/store/value.h"
#include "runtime/arena.h"
#include "runtime/ref_counted.h"

namespace vn::pdf::security {
class Decrypter;
}

namespace vn::pdf::store {

class ParsedObject final : public RefCounted {
 public:
  ParsedObject(AppContext& context, int32_t number, int32_t generation)
      : arena(context, 1024, 256), number(number), generation(generation) {}

  uint32_t AccountedSize() const { return static_cast<uint32_t>(sizeof(*this)) + arena.BytesReserved(); }

  Arena arena;
  Value value;
  int32_t number;
  int32_t generation;
  // The decrypter of this object's strings and streams (in the arena), or
  // null: objects inside object streams and unencrypted files have none.
  security::Decrypter* decrypter = nullptr;
};

}  // namespace vn::pdf::store
