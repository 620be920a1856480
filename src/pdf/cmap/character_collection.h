// Character collections: the registries of CIDs that composite fonts name in
// their CIDSystemInfo. The collection chooses the predefined CMaps, the CID
// to Unicode map for text extraction and the fallback font.
#pragma once

#include <cstdint>

namespace vn::pdf::cmap {

enum CharacterCollection : uint32_t {
  kUnknownCollection = 0,
  kJapan1 = 1,
  kGB1 = 2,
  kCNS1 = 3,
  kKorea1 = 4,
};
constexpr uint32_t kCollectionCount = 5;

// From CIDSystemInfo's Registry and Ordering strings. The registry is the
// one real files and the published resources carry, "Adobe" (the product's
// own "Trevant" is accepted too); anything else is unknown.
CharacterCollection CollectionFromSystemInfo(const uint8_t* registry, uint32_t registryLength,
                                             const uint8_t* ordering, uint32_t orderingLength);

// "Japan1", "GB1", "CNS1", "Korea1"; null for the unknown collection.
const char* CollectionOrdering(CharacterCollection collection);

}  // namespace vn::pdf::cmap
