// The two building blocks of the Compact Font Format: INDEX (a counted
// array of variable-length objects) and DICT (operand/operator pairs).
#pragma once

#include <cstdint>

#include "fonts/font_data.h"
#include "runtime/fixed16_16.h"

namespace vn::fonts::parsers {

class CffIndex {
 public:
  // An empty INDEX.
  CffIndex() = default;
  // Reads the INDEX header at `offset` and checks that its offset array and
  // data lie inside the file (kBadData otherwise).
  void Read(FontData& data, uint32_t offset);

  uint32_t Count() const { return count_; }
  // The first byte after the INDEX.
  uint32_t End() const { return end_; }
  // The file range of object `i` (< Count()); kBadData when its offsets are
  // out of order or outside the INDEX.
  void Entry(FontData& data, uint32_t i, uint32_t& start, uint32_t& length) const;

 private:
  uint32_t count_ = 0;
  uint32_t offSize_ = 0;
  uint32_t offsets_ = 0;  // file offset of the offset array
  uint32_t base_ = 0;     // file offset that object offsets count from (offset 1 = first data byte)
  uint32_t end_ = 0;
};

// One DICT operand: an integer or a real, kept exactly enough for the font
// matrix (decimal mantissa and exponent) and as 16.16 for everything else.
struct CffOperand {
  int64_t mantissa;
  int32_t exponent;  // power of ten
  Fixed16_16 fixed;  // saturated
  int32_t integer;   // truncated, saturated
};

inline constexpr uint32_t kCffMaxOperands = 48;
// Two-byte operators are 12 x: they are numbered 1200 + x.
inline constexpr uint32_t kCffEscape = 1200;

// Walks the DICT in [offset, offset + length), calling
// `visit(op, operands, count)` for each operator. Operand counts above 48 and
// malformed numbers raise kBadData.
template <class Visit>
void ReadCffDict(FontData& data, uint32_t offset, uint32_t length, Visit&& visit);

// The shared reader behind ReadCffDict: returns the operator that ends the
// entry starting at `position` (advancing it) and fills the operands; -1 at
// the end.
int32_t NextCffDictEntry(FontData& data, uint32_t& position, uint32_t end, CffOperand* operands,
                         uint32_t& count);

template <class Visit>
void ReadCffDict(FontData& data, uint32_t offset, uint32_t length, Visit&& visit) {
  if (!data.Contains(offset, length)) RaiseBadData(data.Context());
  CffOperand operands[kCffMaxOperands];
  uint32_t position = offset;
  uint32_t count = 0;
  for (int32_t op; (op = NextCffDictEntry(data, position, offset + length, operands, count)) >= 0;) {
    visit(static_cast<uint32_t>(op), operands, count);
  }
}

}  // namespace vn::fonts::parsers
