// The base of every stream decoder: turns Decode() calls into 4096-byte
// output blocks, holding one byte back so that a block is returned only when
// it is known whether more data follows.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"

namespace vn::data_io {

class FilteredDataBlockStream : public DataBlockStream {
 public:
  static constexpr uint32_t kBlockSize = 4096;

  // Owns `source` (built with New) once the decoder is built; a decoder
  // constructor that raises leaves the source with its caller.
  FilteredDataBlockStream(AppContext& context, DataBlockStream* source);
  ~FilteredDataBlockStream() override;

  void GetNextBlock(DataBlockRef& out) override;
  void Rewind() override;
  bool IsAtEnd() override { return atEnd_; }
  uint32_t GetMemorySize() const override;

  // Writes up to `maximum` decoded bytes and returns the count; calls SetEnd()
  // once the data is over. State survives between calls.
  virtual uint32_t Decode(uint8_t* buffer, uint32_t maximum) = 0;
  // False only for decoders whose end may be followed by more data.
  virtual bool EndIsFinal() const { return true; }

  // Gives the source back to whoever asked for this decoder, for a builder
  // whose next stage could not be built: deleting the decoder afterwards
  // leaves the source alone.
  DataBlockStream* ReleaseSource();

 protected:
  // Returns the decoder to its initial state; the source is rewound already.
  virtual void ResetDecoder() = 0;
  void SetEnd() { atEnd_ = true; }

  // Makes at least one source byte available at sourceCursor_; false when
  // the source is exhausted.
  bool FillSource() {
    return sourceCursor_ != sourceEnd_ || FetchSourceBlock();
  }

  AppContext& context_;
  DataBlockStream* source_;
  const uint8_t* sourceCursor_ = nullptr;
  const uint8_t* sourceEnd_ = nullptr;

 private:
  bool FetchSourceBlock();

  DataBlockRef sourceBlock_;
  bool sourceDone_ = false;
  bool atEnd_ = false;
  int heldBack_ = -1;  // none
};

}  // namespace vn::data_io
