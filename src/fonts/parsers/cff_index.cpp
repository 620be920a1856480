#include "fonts/parsers/cff_index.h"

#include "fonts/scaled_matrix.h"

namespace vn::fonts::parsers {

void CffIndex::Read(FontData& data, uint32_t offset) {
  AppContext& context = data.Context();
  count_ = data.U16(offset);
  if (count_ == 0) {
    offSize_ = 0;
    end_ = offset + 2;
    return;
  }
  offSize_ = data.U8(offset + 2);
  if (offSize_ < 1 || offSize_ > 4) RaiseBadData(context);
  offsets_ = offset + 3;
  uint64_t arrayBytes = static_cast<uint64_t>(count_ + 1) * offSize_;
  if (!data.Contains(offsets_, static_cast<uint32_t>(arrayBytes))) RaiseBadData(context);
  base_ = offsets_ + static_cast<uint32_t>(arrayBytes) - 1;
  uint32_t last = data.UnsignedOfSize(offsets_ + count_ * offSize_, offSize_);
  if (last < 1 || !data.Contains(base_ + 1, last - 1)) RaiseBadData(context);
  end_ = base_ + last;
}

void CffIndex::Entry(FontData& data, uint32_t i, uint32_t& start, uint32_t& length) const {
  if (i >= count_) RaiseBadData(data.Context());
  uint32_t from = data.UnsignedOfSize(offsets_ + i * offSize_, offSize_);
  uint32_t to = data.UnsignedOfSize(offsets_ + (i + 1) * offSize_, offSize_);
  if (from < 1 || to < from || base_ + static_cast<uint64_t>(to) > end_) RaiseBadData(data.Context());
  start = base_ + from;
  length = to - from;
}

namespace {

CffOperand IntegerOperand(int32_t v) { return CffOperand{v, 0, IntToFixed(v), v}; }

// A real: nibbles of digits, '.', 'E', 'E-', '-', ending at 0xF.
CffOperand ReadReal(FontData& data, uint32_t& position, uint32_t end) {
  AppContext& context = data.Context();
  int64_t mantissa = 0;
  int32_t exponent = 0;
  int32_t written = 0;  // explicit exponent
  bool negative = false, afterPoint = false, inExponent = false, exponentNegative = false;
  for (;;) {
    if (position >= end) RaiseBadData(context);
    uint8_t byte = data.U8(position++);
    for (int half = 0; half < 2; ++half) {
      uint8_t nibble = half == 0 ? byte >> 4 : byte & 0xF;
      if (nibble <= 9) {
        if (inExponent) {
          if (written < 10000) written = written * 10 + nibble;
        } else if (mantissa < 100000000000000000) {
          mantissa = mantissa * 10 + nibble;
          if (afterPoint) --exponent;
        } else if (!afterPoint) {
          ++exponent;  // digits beyond the precision kept
        }
      } else if (nibble == 0xA) {
        afterPoint = true;
      } else if (nibble == 0xB || nibble == 0xC) {
        inExponent = true;
        exponentNegative = nibble == 0xC;
      } else if (nibble == 0xE) {
        negative = true;
      } else if (nibble == 0xF) {
        exponent += exponentNegative ? -written : written;
        if (negative) mantissa = -mantissa;
        int64_t fixed = DecimalToScaled(mantissa, exponent, 16);
        int64_t integer = DecimalToScaled(mantissa, exponent, 0);
        return CffOperand{mantissa, exponent, FixedSaturate(fixed),
                          static_cast<int32_t>(integer > INT32_MAX ? INT32_MAX : (integer < -INT32_MAX ? -INT32_MAX : integer))};
      } else {
        RaiseBadData(context);  // nibble 0xD is reserved
      }
    }
  }
}

}  // namespace

int32_t NextCffDictEntry(FontData& data, uint32_t& position, uint32_t end, CffOperand* operands,
                         uint32_t& count) {
  AppContext& context = data.Context();
  count = 0;
  while (position < end) {
    uint8_t b0 = data.U8(position++);
    if (b0 <= 21) {
      if (b0 != 12) return b0;
      if (position >= end) RaiseBadData(context);
      return static_cast<int32_t>(kCffEscape + data.U8(position++));
    }
    if (count == kCffMaxOperands) RaiseBadData(context);
    if (b0 >= 32 && b0 <= 246) {
      operands[count++] = IntegerOperand(b0 - 139);
    } else if (b0 >= 247 && b0 <= 254) {
      if (position >= end) RaiseBadData(context);
      int32_t b1 = data.U8(position++);
      int32_t v = b0 <= 250 ? (b0 - 247) * 256 + b1 + 108 : -(b0 - 251) * 256 - b1 - 108;
      operands[count++] = IntegerOperand(v);
    } else if (b0 == 28) {
      if (end - position < 2) RaiseBadData(context);
      operands[count++] = IntegerOperand(data.S16(position));
      position += 2;
    } else if (b0 == 29) {
      if (end - position < 4) RaiseBadData(context);
      operands[count++] = IntegerOperand(static_cast<int32_t>(data.U32(position)));
      position += 4;
    } else if (b0 == 30) {
      operands[count++] = ReadReal(data, position, end);
    } else {
      RaiseBadData(context);  // 22-27, 31 and 255 are reserved
    }
  }
  return -1;
}

}  // namespace vn::fonts::parsers
