// The CCITT fax decoder (ITU-T T.4 one-dimensional and mixed coding, T.6
// two-dimensional coding). Rows are decoded one at a time into changing
// elements against the reference row and packed into the output row, which
// Decode hands out byte by byte, so a caller may stop at any output byte.
#pragma once

#include <cstdint>

#include "data_io/filter_params.h"
#include "data_io/filtered_stream.h"
#include "runtime/engine_array.h"

namespace vn::data_io {

class CCITTDataBlockStream final : public FilteredDataBlockStream {
 public:
  // Widest row accepted; wider "Columns" raise code 2.
  static constexpr int32_t kMaxColumns = 1 << 18;

  // Owns `source` (built with New) once built. Raises code 2 for a
  // "Columns" outside 1..kMaxColumns.
  CCITTDataBlockStream(AppContext& context, DataBlockStream* source, const FilterParams& params);
  ~CCITTDataBlockStream() override { Reset(); }

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  bool EndIsFinal() const override { return false; }
  uint32_t GetMemorySize() const override;

  // Frees the row buffers and unregisters (for unwinding; idempotent).
  void Reset();

 protected:
  void ResetDecoder() override;

 private:
  enum class RowResult { kGood, kDamaged, kEnd };
  enum class EolResult { kNone, kFound, kEnd };

  bool ProduceRow();
  EolResult TryEol();
  bool SkipToEol();
  RowResult DecodeRow1D();
  RowResult DecodeRow2D();
  // Reads one run of `black` pixels (make-up codes and a terminating code).
  // -1: damaged, -2: input ended, -3: uncompressed mode starts here.
  int32_t ReadRun(bool black);
  RowResult Uncompressed(int32_t& position, uint32_t& changes, bool twoD);
  void PackRow(const int32_t* changes);
  void FillRow(bool black);

  // Bit input. The accumulator holds `bitCount_` unread bits in its low end.
  uint32_t Peek(uint32_t count);
  void Refill();
  void Skip(uint32_t count) { bitCount_ -= count; }

  int32_t k_;
  int32_t columns_;
  int32_t rows_;
  int32_t damagedAllowed_;
  bool endOfLine_;
  bool byteAlign_;
  bool endOfBlock_;
  bool blackIs1_;
  uint32_t rowBytes_;

  // Changing elements: [0] the reference row, [1] the row being decoded.
  EngineArray<int32_t> lineA_;
  EngineArray<int32_t> lineB_;
  EngineArray<uint8_t> outRow_;
  int32_t* reference_ = nullptr;
  int32_t* coding_ = nullptr;
  uint32_t lineCapacity_ = 0;

  uint64_t bits_ = 0;
  uint32_t bitCount_ = 0;
  bool inputDone_ = false;

  uint32_t outPos_ = 0;   // next byte of outRow_ to hand out
  bool rowReady_ = false;
  bool ended_ = false;
  bool eolPending_ = false;  // an end-of-line was consumed by resynchronisation
  int32_t rowsDone_ = 0;
  int32_t damagedCount_ = 0;
  int32_t damagedRun_ = 0;
};

}  // namespace vn::data_io
