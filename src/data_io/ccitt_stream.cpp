#include "data_io/ccitt_stream.h"

#include <cstring>
#include <utility>

#include "data_io/ccitt_tables.h"
#include "data_io/filter_factory.h"
#include "runtime/engine_new.h"

namespace vn::data_io {

using namespace data_io_detail;

namespace {

constexpr int32_t kRunDamaged = -1;
constexpr int32_t kRunInputEnded = -2;
constexpr int32_t kRunUncompressed = -3;

// Slots kept free after a row's changing elements for the end markers that
// the reference search may read.
constexpr uint32_t kSentinels = 4;

// Sets bits [start, end) of a row packed most significant bit first.
void SetBits(uint8_t* row, int32_t start, int32_t end) {
  if (start >= end) return;
  uint32_t first = static_cast<uint32_t>(start) >> 3;
  uint32_t last = static_cast<uint32_t>(end - 1) >> 3;
  uint8_t headMask = static_cast<uint8_t>(0xFFu >> (start & 7));
  uint8_t tailMask = static_cast<uint8_t>(0xFFu << (7 - ((end - 1) & 7)));
  if (first == last) {
    row[first] |= static_cast<uint8_t>(headMask & tailMask);
    return;
  }
  row[first] |= headMask;
  if (last > first + 1) std::memset(row + first + 1, 0xFF, last - first - 1);
  row[last] |= tailMask;
}

}  // namespace

CCITTDataBlockStream::CCITTDataBlockStream(AppContext& context, DataBlockStream* source,
                                           const FilterParams& params)
    : FilteredDataBlockStream(context, source),
      k_(params.k),
      columns_(params.faxColumns),
      rows_(params.rows < 0 ? 0 : static_cast<int32_t>(params.rows)),
      damagedAllowed_(params.damagedRowsBeforeError < 0
                          ? 0
                          : static_cast<int32_t>(params.damagedRowsBeforeError)),
      endOfLine_(params.endOfLine),
      byteAlign_(params.encodedByteAlign),
      endOfBlock_(params.endOfBlock),
      blackIs1_(params.blackIs1),
      rowBytes_(0),
      lineA_(context),
      lineB_(context),
      outRow_(context) {
  if (columns_ <= 0 || columns_ > kMaxColumns) RaiseBadData(context);
  RegisterUnwindable(context, this, &UnwindByReset<CCITTDataBlockStream>);
  rowBytes_ = (static_cast<uint32_t>(columns_) + 7) / 8;
  lineCapacity_ = static_cast<uint32_t>(columns_) + 2 + kSentinels;
  lineA_.Resize(lineCapacity_);
  lineB_.Resize(lineCapacity_);
  outRow_.Resize(rowBytes_);
  ResetDecoder();
}

void CCITTDataBlockStream::Reset() {
  lineA_.Reset();
  lineB_.Reset();
  outRow_.Reset();
  reference_ = coding_ = nullptr;
  lineCapacity_ = 0;
  ended_ = true;
  rowReady_ = false;
  UnregisterUnwindable(this);
}

uint32_t CCITTDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() + static_cast<uint32_t>(sizeof(*this)) -
         static_cast<uint32_t>(sizeof(FilteredDataBlockStream)) + lineA_.MemorySize() +
         lineB_.MemorySize() + outRow_.MemorySize();
}

void CCITTDataBlockStream::ResetDecoder() {
  bits_ = 0;
  bitCount_ = 0;
  inputDone_ = false;
  outPos_ = 0;
  rowReady_ = false;
  ended_ = lineCapacity_ == 0;
  eolPending_ = false;
  rowsDone_ = 0;
  damagedCount_ = 0;
  damagedRun_ = 0;
  if (ended_) return;
  reference_ = lineA_.Data();
  coding_ = lineB_.Data();
  for (uint32_t i = 0; i < kSentinels; ++i) reference_[i] = columns_;  // all white
  FillRow(false);
}

void CCITTDataBlockStream::Refill() {
  while (bitCount_ <= 56) {
    if (sourceCursor_ == sourceEnd_) {
      if (inputDone_ || !FillSource()) {
        inputDone_ = true;
        return;
      }
    }
    bits_ = (bits_ << 8) | *sourceCursor_++;
    bitCount_ += 8;
  }
}

// The next `count` bits (at most 24), zero-filled past the end of the input;
// bitCount_ tells how many of them are real.
uint32_t CCITTDataBlockStream::Peek(uint32_t count) {
  if (bitCount_ < count) Refill();
  uint32_t mask = (1u << count) - 1;
  if (bitCount_ >= count) return static_cast<uint32_t>(bits_ >> (bitCount_ - count)) & mask;
  return static_cast<uint32_t>(bits_ << (count - bitCount_)) & mask;
}

// An end-of-line at the cursor: eleven or more zero bits and a one.
CCITTDataBlockStream::EolResult CCITTDataBlockStream::TryEol() {
  if ((Peek(12) >> 1) != 0) return EolResult::kNone;
  if (bitCount_ < 11) return EolResult::kEnd;
  Skip(11);
  for (;;) {  // fill bits, then the one that closes the code
    uint32_t bit = Peek(1);
    if (bitCount_ == 0) return EolResult::kEnd;
    Skip(1);
    if (bit != 0) return EolResult::kFound;
  }
}

// Drops bits up to and including the next end-of-line; false when the input
// ends first.
bool CCITTDataBlockStream::SkipToEol() {
  for (;;) {
    EolResult eol = TryEol();
    if (eol == EolResult::kFound) return true;
    if (eol == EolResult::kEnd || bitCount_ == 0) return false;
    Skip(1);
  }
}

int32_t CCITTDataBlockStream::ReadRun(bool black) {
  int32_t total = 0;
  const uint32_t width = black ? kCcittBlackBits : kCcittWhiteBits;
  for (;;) {
    uint32_t next = Peek(width);
    uint32_t entry = black ? kCcittBlackTable[next] : kCcittWhiteTable[next];
    if (entry == 0) {
      if (bitCount_ < width) return kRunInputEnded;
      if (total == 0 && (black ? next >> 1 : next) == kCcittUncompressed1D) {
        Skip(12);
        return kRunUncompressed;
      }
      return kRunDamaged;  // no code, or an end-of-line inside the row
    }
    uint32_t length = entry >> 12;
    int32_t run = static_cast<int32_t>(entry & 0xFFF);
    if (length > bitCount_) return kRunInputEnded;
    Skip(length);
    total += run;
    if (total > columns_) return kRunDamaged;
    if (run < 64) return total;
  }
}

// Uncompressed mode (T.4 4.2, T.6 2.2.6): pixel patterns until an exit code,
// whose tag bit gives the colour that follows. `changes` counts the row's
// changing elements, so its parity is the colour at `position`.
CCITTDataBlockStream::RowResult CCITTDataBlockStream::Uncompressed(int32_t& position,
                                                                   uint32_t& changes,
                                                                   bool /*twoD*/) {
  auto setColour = [&](uint32_t colour) {
    if ((changes & 1) == colour) return true;
    if (changes + kSentinels >= lineCapacity_) return false;
    coding_[changes++] = position;
    return true;
  };
  for (;;) {
    uint32_t next = Peek(12);
    uint32_t zeros = 0;
    while (zeros < 12 && (next & (0x800u >> zeros)) == 0) ++zeros;
    if (zeros >= 11) return bitCount_ < 12 ? RowResult::kEnd : RowResult::kDamaged;
    if (zeros <= 5) {
      // 1, 01, 0001, ..., 00001: that many white pixels and a black one;
      // 000001: five white pixels.
      if (zeros + 1 > bitCount_) return RowResult::kEnd;
      Skip(zeros + 1);
      uint32_t whites = zeros;
      if (whites != 0) {
        if (!setColour(0)) return RowResult::kDamaged;
        position += static_cast<int32_t>(whites);
      }
      if (zeros < 5) {
        if (!setColour(1)) return RowResult::kDamaged;
        position += 1;
      }
      if (position > columns_) return RowResult::kDamaged;
      continue;
    }
    // 0000001T .. 00000000001T: exit after zeros - 6 white pixels.
    if (zeros + 2 > bitCount_) return RowResult::kEnd;
    uint32_t tag = (next >> (12 - zeros - 2)) & 1;
    Skip(zeros + 2);
    uint32_t whites = zeros - 6;
    if (whites != 0) {
      if (!setColour(0)) return RowResult::kDamaged;
      position += static_cast<int32_t>(whites);
    }
    if (position > columns_ || !setColour(tag)) return RowResult::kDamaged;
    return RowResult::kGood;
  }
}

CCITTDataBlockStream::RowResult CCITTDataBlockStream::DecodeRow1D() {
  int32_t position = 0;
  uint32_t changes = 0;
  while (position < columns_) {
    int32_t run = ReadRun((changes & 1) != 0);
    if (run == kRunInputEnded) return RowResult::kEnd;
    if (run == kRunDamaged) return RowResult::kDamaged;
    if (run == kRunUncompressed) {
      RowResult result = Uncompressed(position, changes, false);
      if (result != RowResult::kGood) return result;
      continue;
    }
    position += run;
    if (position > columns_ || changes + kSentinels >= lineCapacity_) return RowResult::kDamaged;
    coding_[changes++] = position;
  }
  for (uint32_t i = 0; i < kSentinels; ++i) coding_[changes + i] = columns_;
  return RowResult::kGood;
}

CCITTDataBlockStream::RowResult CCITTDataBlockStream::DecodeRow2D() {
  const int32_t* reference = reference_;
  int32_t* coding = coding_;
  int32_t a0 = -1;  // the imaginary white element before the row
  uint32_t changes = 0;
  uint32_t j = 0;
  while (a0 < columns_) {
    // b1: the first changing element of the reference row right of a0 whose
    // colour is the opposite of a0's (even indexes start black runs); b2 the
    // next one.
    while (j > 0 && reference[j - 1] > a0) --j;
    while (reference[j] <= a0) ++j;
    if ((j & 1) != (changes & 1)) ++j;
    const int32_t b1 = reference[j];
    const int32_t b2 = reference[j + 1];
    const int32_t start = a0 < 0 ? 0 : a0;

    uint32_t entry = kCcittModeTable[Peek(kCcittModeBits)];
    if (entry == 0) {
      if (bitCount_ < 12) return RowResult::kEnd;
      if ((Peek(12) >> 1) == 0) return RowResult::kDamaged;  // an end-of-line cuts the row
      RaiseBadData(context_);
    }
    uint32_t length = entry >> 4;
    if (length > bitCount_) return RowResult::kEnd;
    Skip(length);
    if (changes + kSentinels + 2 > lineCapacity_) return RowResult::kDamaged;
    switch (entry & 15) {
      case kCcittPass:
        a0 = b2;
        break;
      case kCcittHorizontal: {
        int32_t first = ReadRun((changes & 1) != 0);
        if (first < 0) return first == kRunInputEnded ? RowResult::kEnd : RowResult::kDamaged;
        int32_t second = ReadRun((changes & 1) == 0);
        if (second < 0) return second == kRunInputEnded ? RowResult::kEnd : RowResult::kDamaged;
        int32_t a1 = start + first;
        int32_t a2 = a1 + second;
        if (a2 > columns_) return RowResult::kDamaged;
        coding[changes++] = a1;
        coding[changes++] = a2;
        a0 = a2;
        break;
      }
      case kCcittExtension: {
        if (Peek(3) != 7) {
          if (bitCount_ < 3) return RowResult::kEnd;
          RaiseBadData(context_);  // no extension but uncompressed mode is defined
        }
        Skip(3);
        int32_t position = start;
        RowResult result = Uncompressed(position, changes, true);
        if (result != RowResult::kGood) return result;
        a0 = position;
        break;
      }
      default: {
        static constexpr int8_t kDelta[] = {0, 0, 0, 1, 2, 3, -1, -2, -3};
        int32_t a1 = b1 + kDelta[entry & 15];
        if (a1 < start || a1 > columns_) return RowResult::kDamaged;
        coding[changes++] = a1;
        a0 = a1;
        break;
      }
    }
  }
  for (uint32_t i = 0; i < kSentinels; ++i) coding[changes + i] = columns_;
  return RowResult::kGood;
}

void CCITTDataBlockStream::PackRow(const int32_t* changes) {
  uint8_t* row = outRow_.Data();
  std::memset(row, 0, rowBytes_);
  for (uint32_t i = 0; changes[i] < columns_; i += 2) {
    int32_t end = changes[i + 1] < columns_ ? changes[i + 1] : columns_;
    SetBits(row, changes[i], end);
  }
  if (!blackIs1_) {
    for (uint32_t i = 0; i < rowBytes_; ++i) row[i] = static_cast<uint8_t>(~row[i]);
  }
}

void CCITTDataBlockStream::FillRow(bool black) {
  std::memset(outRow_.Data(), black == blackIs1_ ? 0xFF : 0x00, rowBytes_);
}

bool CCITTDataBlockStream::ProduceRow() {
  if (ended_) return false;
  if (!endOfBlock_ && rows_ > 0 && rowsDone_ >= rows_) {
    ended_ = true;
    return false;
  }
  EolResult eol = eolPending_ ? EolResult::kFound : EolResult::kNone;
  eolPending_ = false;
  if (eol == EolResult::kNone) {
    if (byteAlign_ && !endOfLine_) {
      // Rows start on byte boundaries. The end marker may follow the last
      // row without alignment; only the whole marker (two end-of-line codes
      // with no fill, each with its tag bit in mixed coding) is taken there,
      // since the padding zeros before an aligned row and the zeros its first
      // code starts with can look like an end-of-line.
      const uint32_t marker = k_ > 0 ? 0x001800u : 0x001001u;
      if (Peek(24) == marker) {
        eol = EolResult::kEnd;
      } else {
        Skip(bitCount_ & 7);
        eol = TryEol();
      }
    } else {
      eol = TryEol();
    }
  }
  bool twoD = k_ < 0;
  if (eol != EolResult::kEnd && k_ > 0) {
    uint32_t tag = Peek(1);
    if (bitCount_ == 0) {
      eol = EolResult::kEnd;
    } else {
      Skip(1);
      twoD = tag == 0;
    }
  }
  // A second end-of-line in a row is the end of the data (RTC, EOFB).
  if (eol == EolResult::kFound && TryEol() != EolResult::kNone) eol = EolResult::kEnd;
  if (eol == EolResult::kEnd) {
    ended_ = true;
    return false;
  }

  RowResult result = twoD ? DecodeRow2D() : DecodeRow1D();
  if (result == RowResult::kGood) {
    PackRow(coding_);
    std::swap(reference_, coding_);
    damagedRun_ = 0;
    ++rowsDone_;
    return true;
  }
  if (result == RowResult::kDamaged && rows_ > 0) {
    ++damagedCount_;
    if (damagedCount_ <= damagedAllowed_ && k_ >= 0 && endOfLine_) {
      // The row counts as decoded: the first of a run repeats the last good
      // row (still in outRow_), the others are white. The reference row
      // stays the last good one.
      if (SkipToEol()) {
        eolPending_ = true;
      } else {
        ended_ = true;  // this row is the last
      }
      if (damagedRun_ > 0) FillRow(false);
      ++damagedRun_;
      ++rowsDone_;
      return true;
    }
  }
  ended_ = true;
  return false;
}

uint32_t CCITTDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  uint32_t count = 0;
  while (count < maximum) {
    if (rowReady_) {
      uint32_t n = rowBytes_ - outPos_;
      if (n > maximum - count) n = maximum - count;
      std::memcpy(buffer + count, outRow_.Data() + outPos_, n);
      outPos_ += n;
      count += n;
      if (outPos_ == rowBytes_) rowReady_ = false;
      continue;
    }
    if (!ProduceRow()) {
      SetEnd();
      break;
    }
    rowReady_ = true;
    outPos_ = 0;
  }
  return count;
}

FilteredDataBlockStream* BuildCCITTFilter(AppContext& context, DataBlockStream* source, const FilterParams& params) {
  return New<CCITTDataBlockStream>(context, context, source, params);
}

}  // namespace vn::data_io
