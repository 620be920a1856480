// The code map every CMap becomes: a trie over the bytes of a code.
//
// Each node is a default result and 256 slots, one per value of the next code
// byte. A slot is a 32-bit word whose two low bits are a tag:
//   0  no mapping: the result is the node's default;
//   1  a leaf: word >> 2 is the value (a CID, or one UTF-16 code unit);
//   2  a leaf: word >> 2 is where, in the string pool, a counted string
//      {count, units...} starts (Unicode of several code units);
//   3  word >= kFirstChildWord: (word >> 2) - kChildBase is the index of the
//      child node that the next byte selects; a smaller word is an unmapped
//      code of word >> 2 more bytes, which are skipped (the result is the
//      node's default). The skip counts come from the code-space ranges,
//      so an unmapped code is still consumed whole.
//
// Building is bounded: the nodes and strings together may take at most
// kMaxMapBytes, all the slot writes of one map (range expansion, code-space
// walks, across usecmap chains) at most kMaxSlotWrites, and usecmap may
// bring in at most kMaxBaseCMaps built-in CMaps; past any of these the map
// raises kLimitExceeded. Allocation goes through the engine
// budget (kOutOfMemory), and the writes count as work for the scheduler.
//
// How composite fonts use it:
// - the encoding: a name other than "Identity-H"/"Identity-V" (which need
//   no map: two bytes are the CID) is FindPredefinedCMap(name, the font's
//   collection from CollectionFromSystemInfo) built by ParsePredefinedCMap;
//   a stream is its decoded data read by ParseCMap;
// - NextCode() on the bytes of a string gives the code's length and its
//   CID (value); IsVertical() is the CMap's WMode;
// - Unicode: a ToUnicode stream read by ParseCMap into a map of its own
//   (value, or units for strings of several code units); without one,
//   text::Type0ToUnicodeCharCodeMap over the encoding map and
//   text::NewCollectionUnicodeMap(collection).
#pragma once

#include <cstdint>

#include "pdf/text/char_code_map.h"
#include "runtime/arena.h"
#include "runtime/engine_array.h"

namespace vn::pdf::cmap {

constexpr uint32_t kMaxCodeLength = 4;
constexpr uint32_t kMaxLeafValue = 0x3FFFFFFF;
constexpr uint32_t kMaxStringUnits = 32;
constexpr uint32_t kMaxMapBytes = 2u << 20;
constexpr uint32_t kMaxSlotWrites = 1u << 22;
// Built-in CMaps that one map may take in through usecmap, its own chain
// included.
constexpr uint32_t kMaxBaseCMaps = 8;

class CMapCharCodeMap final : public text::CharCodeMap {
 public:
  static constexpr uint32_t kSlotCount = 256;
  static constexpr uint32_t kNodeWords = 1 + kSlotCount;  // the default, then the slots
  static constexpr uint32_t kChildBase = 4;
  static constexpr uint32_t kFirstChildWord = 20;

  explicit CMapCharCodeMap(AppContext& context);

  text::CharCode NextCode(const uint8_t* bytes, const uint8_t* end) const override;
  uint32_t Footprint() const override;

  // WMode 1: the text runs top to bottom.
  bool IsVertical() const { return vertical_; }
  void SetVertical(bool vertical) { vertical_ = vertical; }

  // ---- building. Codes are big-endian numbers of `length` bytes (1 to 4);
  // a range runs over the numbers low..high.

  // Codes whose bytes each lie between the matching bytes of `low` and
  // `high` are `length` bytes long, mapped or not.
  void AddCodeSpaceRange(uint32_t low, uint32_t high, uint32_t length);
  // low..high map to value, value + 1, ... (CIDs, or single code units).
  void MapValueRange(uint32_t low, uint32_t high, uint32_t length, uint32_t value);
  // low..high map to the string of `count` UTF-16 units, its last unit one
  // higher for each code after the first.
  void MapUnitRange(uint32_t low, uint32_t high, uint32_t length, const uint16_t* units, uint32_t count);
  // Codes of low..high that have no mapping map to `value`.
  void MapNotdefRange(uint32_t low, uint32_t high, uint32_t length, uint32_t value);

  // Counts a built-in CMap taken in through usecmap.
  void CountBaseCMap();

  uint32_t NodeCount() const { return nodes_.Size(); }
  // Slot writes so far, against kMaxSlotWrites.
  uint32_t SlotWrites() const { return slotWrites_; }

 private:
  struct CodeSpaceRange {
    uint8_t low[kMaxCodeLength];
    uint8_t high[kMaxCodeLength];
    uint32_t length;
  };
  enum class Fill { kValues, kUnits, kNotdef };

  uint32_t* NodeAt(uint32_t index) const { return nodes_[index]; }
  // A node for codes that start with the `depth` bytes of `prefix`.
  uint32_t NewNode(uint32_t depth, const uint8_t* prefix, uint32_t defaultValue);
  // The node whose slots take the last byte of `code`, made on the way.
  uint32_t* LastByteNode(uint32_t code, uint32_t length);
  void ApplyCodeSpace(uint32_t* node, uint32_t depth, const CodeSpaceRange& range);
  void CountWrites(uint32_t count);
  void CheckSize(uint32_t extraBytes) const;
  // Appends {count, units...} with `lastStep` added to the last unit; returns its start.
  uint32_t StoreString(const uint16_t* units, uint32_t count, uint32_t lastStep);
  void FillRange(uint32_t low, uint32_t high, uint32_t length, Fill fill, uint32_t value, const uint16_t* units,
                 uint32_t count);

  AppContext& context_;
  Arena pool_;  // the nodes, several to a pooled block
  EngineArray<uint32_t*> nodes_;
  EngineArray<uint16_t> strings_;
  EngineArray<CodeSpaceRange> codeSpace_;  // multi-byte ranges only
  uint32_t slotWrites_ = 0;
  uint32_t baseCMaps_ = 0;
  bool vertical_ = false;
};

}  // namespace vn::pdf::cmap
