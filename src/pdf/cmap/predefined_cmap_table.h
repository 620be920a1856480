// The table of built-in CMaps that tools/gen_predefined_cmaps.py generates
// (predefined_cmap_data.cpp in the build tree): one group per collection,
// each sorted by name in byte order.
#pragma once

#include <cstdint>

namespace vn::pdf::cmap::cmap_detail {

struct PredefinedCMapEntry {
  const char* name;
  const uint8_t* blob;
  uint32_t length;
};

struct PredefinedCMapGroup {
  const PredefinedCMapEntry* entries;
  uint32_t count;
};

// Japan1, GB1, CNS1, Korea1: collections 1 to 4, in that order.
constexpr uint32_t kPredefinedCMapGroupCount = 4;
extern const PredefinedCMapGroup kPredefinedCMapGroups[kPredefinedCMapGroupCount];

}  // namespace vn::pdf::cmap::cmap_detail
