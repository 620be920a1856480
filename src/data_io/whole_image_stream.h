// The base of the image decoders whose libraries need the whole encoded
// image before they give a row (JBIG2, JPEG 2000).
//
// At the first request the source is read into engine memory and the
// subclass decodes it; then each block is exactly one row of the decoded
// image (DecodedLayout().RowBytes() bytes), and after the last row the block
// is empty. The reader's thread may yield before and after the decode and
// while rows are handed out, where cancellation surfaces.
//
// The libraries run on the main thread's stack (engine threads have small
// stacks; the libraries were not written for them) and call back into
// nothing that raises: a subclass records what goes wrong and raises after
// the library returned. A decode that fails raises the same error again at
// every later request, until the stream is rewound.
#pragma once

#include <cstdint>

#include "data_io/filtered_stream.h"
#include "data_io/partial_row.h"
#include "runtime/engine_array.h"

namespace vn::data_io {

class WholeImageDataBlockStream : public FilteredDataBlockStream {
 public:
  void GetNextBlock(DataBlockRef& out) override;
  // Copies row bytes for callers that read through Decode.
  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override;
  const DecodedImageLayout* DecodedLayout() override;

 protected:
  WholeImageDataBlockStream(AppContext& context, DataBlockStream* source);

  // Decodes the encoded image (at least as far as its layout), fills
  // layout_ (at least one row of at least one byte), or raises. The encoded
  // data stays until the rows are all given or ReleaseEncoded is called; what
  // the decoder holds stays until ReleaseImage.
  virtual void DecodeImage(const uint8_t* data, uint32_t size) = 0;
  // Writes row `y` (layout_.RowBytes() bytes); rows are asked for in
  // order. May decode further, and raise.
  virtual void WriteRow(uint32_t y, uint8_t* out) = 0;
  // Lets go of everything the decode holds; idempotent.
  virtual void ReleaseImage() = 0;
  // Bytes the decode holds (engine or library memory).
  virtual uint32_t ImageMemorySize() const = 0;

  void ResetDecoder() override;
  // For decoders done with the encoded data after DecodeImage.
  void ReleaseEncoded() { encoded_.Reset(); }

  DecodedImageLayout layout_;

 private:
  enum class State { kIdle, kRows, kDone, kFailed };

  void Start();
  void ReadEncoded();
  void Finish();

  State state_ = State::kIdle;
  int32_t failure_ = 0;  // the error code of a failed decode
  EngineArray<uint8_t> encoded_;
  uint32_t nextRow_ = 0;
  // Decode's partly copied row.
  PartialRow pendingRow_;
};

}  // namespace vn::data_io
