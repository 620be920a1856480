#include "pdf/cmap/predefined_cmaps.h"

#include <cstring>

#include "pdf/cmap/predefined_cmap_table.h"

namespace vn::pdf::cmap {

using cmap_detail::kPredefinedCMapGroupCount;
using cmap_detail::kPredefinedCMapGroups;
using cmap_detail::PredefinedCMapEntry;
using cmap_detail::PredefinedCMapGroup;

namespace {

int CompareName(const char* entry, const uint8_t* name, uint32_t length) {
  const size_t n = std::strlen(entry);
  const int c = std::memcmp(entry, name, n < length ? n : length);
  if (c != 0) return c;
  return n < length ? -1 : n > length ? 1 : 0;
}

const PredefinedCMapEntry* FindInGroup(const PredefinedCMapGroup& group, const uint8_t* name, uint32_t length) {
  uint32_t low = 0;
  uint32_t high = group.count;
  while (low < high) {
    const uint32_t mid = (low + high) / 2;
    const int c = CompareName(group.entries[mid].name, name, length);
    if (c == 0) return &group.entries[mid];
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return nullptr;
}

PredefinedCMap FromEntry(const PredefinedCMapEntry& entry) { return PredefinedCMap{entry.name, entry.blob, entry.length}; }

}  // namespace

bool FindPredefinedCMap(const uint8_t* name, uint32_t length, CharacterCollection collection, PredefinedCMap* out) {
  for (uint32_t g = 0; g < kPredefinedCMapGroupCount; ++g) {
    if (collection != kUnknownCollection && collection != g + 1) continue;
    if (const PredefinedCMapEntry* entry = FindInGroup(kPredefinedCMapGroups[g], name, length)) {
      *out = FromEntry(*entry);
      return true;
    }
  }
  return false;
}

bool FindCollectionUnicodeCMap(CharacterCollection collection, PredefinedCMap* out) {
  const char* ordering = CollectionOrdering(collection);
  if (ordering == nullptr) return false;
  char name[32] = "Adobe-";
  std::strcat(name, ordering);
  std::strcat(name, "-UCS2");
  return FindPredefinedCMap(reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(std::strlen(name)),
                            collection, out);
}

uint32_t PredefinedCMapCount() {
  uint32_t count = 0;
  for (const PredefinedCMapGroup& group : kPredefinedCMapGroups) count += group.count;
  return count;
}

PredefinedCMap PredefinedCMapAt(uint32_t index, CharacterCollection* collection) {
  for (uint32_t g = 0; g < kPredefinedCMapGroupCount; ++g) {
    if (index < kPredefinedCMapGroups[g].count) {
      *collection = static_cast<CharacterCollection>(g + 1);
      return FromEntry(kPredefinedCMapGroups[g].entries[index]);
    }
    index -= kPredefinedCMapGroups[g].count;
  }
  *collection = kUnknownCollection;
  return PredefinedCMap{nullptr, nullptr, 0};
}

}  // namespace vn::pdf::cmap
