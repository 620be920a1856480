#include "pdf/cmap/character_collection.h"

#include <cstring>

namespace vn::pdf::cmap {

namespace {

bool BytesAre(const uint8_t* bytes, uint32_t length, const char* text) {
  return length == std::strlen(text) && std::memcmp(bytes, text, length) == 0;
}

}  // namespace

CharacterCollection CollectionFromSystemInfo(const uint8_t* registry, uint32_t registryLength,
                                             const uint8_t* ordering, uint32_t orderingLength) {
  if (!BytesAre(registry, registryLength, "Adobe") && !BytesAre(registry, registryLength, "Trevant")) {
    return kUnknownCollection;
  }
  for (uint32_t c = kJapan1; c < kCollectionCount; ++c) {
    auto collection = static_cast<CharacterCollection>(c);
    if (BytesAre(ordering, orderingLength, CollectionOrdering(collection))) return collection;
  }
  return kUnknownCollection;
}

const char* CollectionOrdering(CharacterCollection collection) {
  switch (collection) {
    case kJapan1: return "Japan1";
    case kGB1: return "GB1";
    case kCNS1: return "CNS1";
    case kKorea1: return "Korea1";
    default: return nullptr;
  }
}

}  // namespace vn::pdf::cmap
