#include "pdf/cmap/cmap_char_code_map.h"

#include <cstring>

#include "runtime/yield_points.h"

namespace vn::pdf::cmap {

using text::CharCode;

namespace {

constexpr uint32_t kNodeBytes = CMapCharCodeMap::kNodeWords * sizeof(uint32_t);
// Nodes per pooled block: a small map (a root and a child or two) stays small.
constexpr uint32_t kNodesPerBlock = 4;
constexpr uint32_t kPoolBlockBytes = kNodesPerBlock * ((kNodeBytes + 7) & ~7u);

constexpr uint32_t kTagMask = 3;
constexpr uint32_t kTagEmpty = 0;
constexpr uint32_t kTagValue = 1;
constexpr uint32_t kTagString = 2;
constexpr uint32_t kTagChildOrSkip = 3;

constexpr uint32_t ValueWord(uint32_t value) { return (value << 2) | kTagValue; }
constexpr uint32_t StringWord(uint32_t start) { return (start << 2) | kTagString; }
constexpr uint32_t ChildWord(uint32_t index) {
  return ((index + CMapCharCodeMap::kChildBase) << 2) | kTagChildOrSkip;
}
constexpr uint32_t SkipWord(uint32_t bytes) { return (bytes << 2) | kTagChildOrSkip; }
static_assert(SkipWord(kMaxCodeLength) < CMapCharCodeMap::kFirstChildWord);
static_assert(ChildWord(1) >= CMapCharCodeMap::kFirstChildWord);

constexpr bool IsChild(uint32_t word) {
  return (word & kTagMask) == kTagChildOrSkip && word >= CMapCharCodeMap::kFirstChildWord;
}
// No mapping: empty, or a skip count.
constexpr bool IsUnmapped(uint32_t word) {
  return (word & kTagMask) == kTagEmpty || ((word & kTagMask) == kTagChildOrSkip && !IsChild(word));
}

// An unmapped code of `bytes` more bytes. Where multi-byte code-space
// ranges of several lengths share a byte the shorter code wins; a mapping
// (a leaf or a child) always does.
void SetSkip(uint32_t& slot, uint32_t bytes) {
  if (bytes == 0) return;
  if ((slot & kTagMask) == kTagEmpty || (IsUnmapped(slot) && (slot >> 2) > bytes)) slot = SkipWord(bytes);
}

uint8_t CodeByte(uint32_t code, uint32_t length, uint32_t index) {
  return static_cast<uint8_t>(code >> (8 * (length - 1 - index)));
}

}  // namespace

CMapCharCodeMap::CMapCharCodeMap(AppContext& context)
    : context_(context), pool_(context, kPoolBlockBytes, kPoolBlockBytes + 1), nodes_(context), strings_(context),
      codeSpace_(context) {
  NewNode(0, nullptr, 0);
}

uint32_t CMapCharCodeMap::Footprint() const {
  return static_cast<uint32_t>(sizeof(*this)) + pool_.BytesReserved() + nodes_.MemorySize() +
         strings_.MemorySize() + codeSpace_.MemorySize();
}

CharCode CMapCharCodeMap::NextCode(const uint8_t* bytes, const uint8_t* end) const {
  CharCode result;
  const uint32_t* node = NodeAt(0);
  const uint8_t* p = bytes;
  if (p >= end) {
    result.value = node[0];
    return result;
  }
  for (;;) {
    const uint32_t word = node[1 + *p++];
    switch (word & kTagMask) {
      case kTagValue:
        result.value = word >> 2;
        break;
      case kTagString: {
        const uint16_t* s = strings_.Data() + (word >> 2);
        result.unitCount = s[0];
        result.units = s + 1;
        result.value = s[1];
        break;
      }
      case kTagChildOrSkip:
        if (word >= kFirstChildWord) {
          node = NodeAt((word >> 2) - kChildBase);
          if (p == end) {
            result.value = node[0];
            break;
          }
          continue;
        } else {
          const uint32_t skip = word >> 2;
          const auto left = static_cast<uint32_t>(end - p);
          p += skip < left ? skip : left;
          result.value = node[0];
          break;
        }
      default:
        result.value = node[0];
    }
    break;
  }
  result.length = static_cast<uint32_t>(p - bytes);
  result.wordSpace = result.length == 1 && *bytes == 32;
  return result;
}

void CMapCharCodeMap::CheckSize(uint32_t extraBytes) const {
  const uint64_t total = static_cast<uint64_t>(pool_.BytesReserved()) + nodes_.MemorySize() +
                         strings_.MemorySize() + codeSpace_.MemorySize() + extraBytes;
  if (total > kMaxMapBytes) RaiseCode(context_, kLimitExceeded);
}

void CMapCharCodeMap::CountBaseCMap() {
  if (++baseCMaps_ > kMaxBaseCMaps) RaiseCode(context_, kLimitExceeded);
}

void CMapCharCodeMap::CountWrites(uint32_t count) {
  if (count > kMaxSlotWrites - slotWrites_) RaiseCode(context_, kLimitExceeded);
  slotWrites_ += count;
  AddWork(context_, count);
}

uint32_t CMapCharCodeMap::NewNode(uint32_t depth, const uint8_t* prefix, uint32_t defaultValue) {
  CheckSize(kNodeBytes + static_cast<uint32_t>(sizeof(uint32_t*)));
  CountWrites(kSlotCount + codeSpace_.Size());
  auto* node = static_cast<uint32_t*>(pool_.Allocate(kNodeBytes));
  node[0] = defaultValue;
  std::memset(node + 1, 0, kSlotCount * sizeof(uint32_t));
  nodes_.Push(node);
  for (const CodeSpaceRange& range : codeSpace_) {
    if (range.length <= depth + 1) continue;
    bool inside = true;
    for (uint32_t d = 0; d < depth && inside; ++d) inside = prefix[d] >= range.low[d] && prefix[d] <= range.high[d];
    if (!inside) continue;
    for (uint32_t b = range.low[depth]; b <= range.high[depth]; ++b) SetSkip(node[1 + b], range.length - depth - 1);
  }
  return nodes_.Size() - 1;
}

uint32_t* CMapCharCodeMap::LastByteNode(uint32_t code, uint32_t length) {
  uint32_t* node = NodeAt(0);
  uint8_t prefix[kMaxCodeLength];
  for (uint32_t depth = 0; depth + 1 < length; ++depth) {
    const uint8_t b = CodeByte(code, length, depth);
    prefix[depth] = b;
    if (!IsChild(node[1 + b])) {
      // Node memory never moves, so the parent stays valid across NewNode.
      const uint32_t child = NewNode(depth + 1, prefix, node[0]);
      node[1 + b] = ChildWord(child);
    }
    node = NodeAt((node[1 + b] >> 2) - kChildBase);
  }
  return node;
}

void CMapCharCodeMap::ApplyCodeSpace(uint32_t* node, uint32_t depth, const CodeSpaceRange& range) {
  const uint32_t first = range.low[depth];
  const uint32_t last = range.high[depth];
  if (first > last) return;
  CountWrites(last - first + 1);
  for (uint32_t b = first; b <= last; ++b) {
    uint32_t& slot = node[1 + b];
    if (IsChild(slot)) {
      if (depth + 2 < range.length) ApplyCodeSpace(NodeAt((slot >> 2) - kChildBase), depth + 1, range);
    } else {
      SetSkip(slot, range.length - depth - 1);
    }
  }
}

void CMapCharCodeMap::AddCodeSpaceRange(uint32_t low, uint32_t high, uint32_t length) {
  if (length < 2 || length > kMaxCodeLength) return;  // one-byte codes need no skip counts
  CodeSpaceRange range;
  range.length = length;
  for (uint32_t i = 0; i < length; ++i) {
    range.low[i] = CodeByte(low, length, i);
    range.high[i] = CodeByte(high, length, i);
  }
  const uint32_t capacity = codeSpace_.MemorySize() / sizeof(CodeSpaceRange);
  if (codeSpace_.Size() == capacity) {
    const uint32_t grown = capacity < 4 ? 4 : capacity * 2;
    CheckSize((grown - capacity) * static_cast<uint32_t>(sizeof(CodeSpaceRange)));
    codeSpace_.Reserve(grown);
  }
  codeSpace_.Push(range);
  ApplyCodeSpace(NodeAt(0), 0, range);
}

uint32_t CMapCharCodeMap::StoreString(const uint16_t* units, uint32_t count, uint32_t lastStep) {
  const uint32_t start = strings_.Size();
  const uint32_t needed = start + count + 1;
  const uint32_t capacity = strings_.MemorySize() / sizeof(uint16_t);
  if (needed > capacity) {
    uint32_t grown = capacity * 2 > needed ? capacity * 2 : needed + 64;
    CheckSize((grown - capacity) * static_cast<uint32_t>(sizeof(uint16_t)));
    strings_.Reserve(grown);
  }
  strings_.Push(static_cast<uint16_t>(count));
  for (uint32_t i = 0; i + 1 < count; ++i) strings_.Push(units[i]);
  strings_.Push(static_cast<uint16_t>(units[count - 1] + lastStep));
  return start;
}

void CMapCharCodeMap::FillRange(uint32_t low, uint32_t high, uint32_t length, Fill fill, uint32_t value,
                                const uint16_t* units, uint32_t count) {
  if (length == 0 || length > kMaxCodeLength || low > high) return;
  if (length < kMaxCodeLength && (high >> (8 * length)) != 0) return;
  uint32_t code = low;
  uint32_t step = 0;  // code - low
  for (;;) {
    const uint32_t groupEnd = (code | 0xFF) < high ? (code | 0xFF) : high;
    const uint32_t n = groupEnd - code + 1;
    CountWrites(n);
    uint32_t* node = LastByteNode(code, length);
    uint32_t* slots = node + 1 + (code & 0xFF);
    switch (fill) {
      case Fill::kValues:
        for (uint32_t i = 0; i < n; ++i) slots[i] = ValueWord(value + step + i);
        break;
      case Fill::kUnits:
        for (uint32_t i = 0; i < n; ++i) {
          slots[i] = count == 1 ? ValueWord(static_cast<uint16_t>(units[0] + step + i))
                                : StringWord(StoreString(units, count, step + i));
        }
        break;
      case Fill::kNotdef:
        if (n == kSlotCount) {
          node[0] = value;  // the whole node: its default
        } else {
          for (uint32_t i = 0; i < n; ++i) {
            if (IsUnmapped(slots[i])) slots[i] = ValueWord(value);
          }
        }
        break;
    }
    if (groupEnd == high) return;
    step += n;
    code = groupEnd + 1;
  }
}

void CMapCharCodeMap::MapValueRange(uint32_t low, uint32_t high, uint32_t length, uint32_t value) {
  if (low > high || value > kMaxLeafValue || high - low > kMaxLeafValue - value) return;
  FillRange(low, high, length, Fill::kValues, value, nullptr, 0);
}

void CMapCharCodeMap::MapUnitRange(uint32_t low, uint32_t high, uint32_t length, const uint16_t* units,
                                   uint32_t count) {
  if (count == 0 || count > kMaxStringUnits) return;
  FillRange(low, high, length, Fill::kUnits, 0, units, count);
}

void CMapCharCodeMap::MapNotdefRange(uint32_t low, uint32_t high, uint32_t length, uint32_t value) {
  if (value > kMaxLeafValue) return;
  FillRange(low, high, length, Fill::kNotdef, value, nullptr, 0);
}

}  // namespace vn::pdf::cmap
