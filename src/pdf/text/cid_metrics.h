// The metrics of a CIDFont: horizontal widths from "DW" and "W", and the
// vertical metrics of vertical writing from "DW2" and "W2", by CID.
//
// Both arrays are kept as runs of CIDs sharing one value, sorted by their
// first CID, and looked up by binary search. Where runs overlap, the one
// that starts last before the CID and covers it wins (16 runs back at most). Values are fractions of the em in
// 16.16 (the dictionary's thousandths converted exactly, as for simple
// fonts).
#pragma once

#include <cstdint>

#include "pdf/document/object_resolver.h"
#include "runtime/engine_array.h"

namespace vn::pdf::text {

// Runs one font may hold; a W or W2 array that describes more raises
// kLimitExceeded (a real font has one run per CID at most, and CIDs fit in
// 16 bits).
constexpr uint32_t kMaxCidMetricRuns = 0x10000;

// Vertical metrics of one CID: the advance w1 (negative: downwards) and the
// position vector (vx, vy) from the horizontal origin to the vertical one.
struct VerticalMetrics {
  Fixed16_16 advance;
  Fixed16_16 originX;
  Fixed16_16 originY;
};

class CidMetrics {
 public:
  explicit CidMetrics(AppContext& context) : widths_(context), vertical_(context) {}

  // Reads DW and W of the CIDFont `font` (resolved). Raises kBadData for a
  // W whose elements are not numbers and arrays; runs that lie (a last CID
  // before the first, a negative CID, a truncated entry) are skipped.
  void ReadHorizontal(document::ObjectResolver& resolver, const document::ResolvedValue& font);
  // Reads DW2 and W2, the same way.
  void ReadVertical(document::ObjectResolver& resolver, const document::ResolvedValue& font);

  Fixed16_16 Width(uint32_t cid) const;
  VerticalMetrics Vertical(uint32_t cid) const;

  uint32_t Footprint() const { return widths_.MemorySize() + vertical_.MemorySize(); }

 private:
  struct WidthRun {
    uint32_t first;
    uint32_t last;
    Fixed16_16 width;
  };
  struct VerticalRun {
    uint32_t first;
    uint32_t last;
    VerticalMetrics metrics;
  };

  EngineArray<WidthRun> widths_;
  EngineArray<VerticalRun> vertical_;
  Fixed16_16 defaultWidth_ = 0x10000;
  // DW2: the vertical origin's height and the advance.
  Fixed16_16 defaultOriginY_ = 57672;  // 0.88 em
  Fixed16_16 defaultAdvance_ = -0x10000;
};

}  // namespace vn::pdf::text
