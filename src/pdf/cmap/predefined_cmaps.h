// The built-in CMaps: every CMap of the Adobe-Japan1, -GB1, -CNS1 and
// -Korea1 collections, compiled in (no file access), in the compact form
// that CMapDecompressedDataBlockStream regenerates as text.
#pragma once

#include <cstdint>

#include "pdf/cmap/character_collection.h"

namespace vn::pdf::cmap {

struct PredefinedCMap {
  const char* name;
  const uint8_t* blob;
  uint32_t length;
};

// The built-in CMap `name` (compared byte for byte) of `collection`; the
// unknown collection searches Japan1, GB1, CNS1 and Korea1 in that order.
// False when there is none. The identity CMaps ("Identity-H", "Identity-V")
// are not among them: fonts handle those directly.
bool FindPredefinedCMap(const uint8_t* name, uint32_t length, CharacterCollection collection, PredefinedCMap* out);

// The CID to Unicode CMap of a collection ("Adobe-Japan1-UCS2" ...); false
// for the unknown collection.
bool FindCollectionUnicodeCMap(CharacterCollection collection, PredefinedCMap* out);

// Every built-in CMap, for tests and tools: `index` from 0 below the count.
uint32_t PredefinedCMapCount();
PredefinedCMap PredefinedCMapAt(uint32_t index, CharacterCollection* collection);

}  // namespace vn::pdf::cmap
