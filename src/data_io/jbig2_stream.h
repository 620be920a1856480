// JBIG2Decode: jbig2dec decodes the embedded stream (with the segments of
// JBIG2Globals first, when given) into one page, which is handed out as
// 1-bit rows in the PDF's sense: 0 is black, 1 white (jbig2dec's page has
// 1 for black, so every byte is inverted).
//
// Memory: jbig2dec allocates through the engine budget (its allocator
// hook). A refusal makes jbig2dec fail; that raises code 6 when a single
// request is larger than the budget could ever give (a page of absurd
// declared size), code 0 otherwise.
//
// Errors: a fatal jbig2dec error, or no page at the end of the data, raises
// code 2. Data cut short ends the page where the data ends (jbig2dec fills
// what it could not decode with white), as other readers show it.
#pragma once

#include <cstdint>

#include "data_io/whole_image_stream.h"

struct _Jbig2Ctx;
struct _Jbig2GlobalCtx;
struct _Jbig2Image;

namespace vn::data_io {

namespace data_io_detail {
struct Jbig2Memory;
}

class Jbig2DataBlockStream final : public WholeImageDataBlockStream {
 public:
  // Owns `source` (built with New). `globals` (`globalsLength` bytes, may be
  // null) is copied.
  Jbig2DataBlockStream(AppContext& context, DataBlockStream* source, const uint8_t* globals, uint32_t globalsLength);
  ~Jbig2DataBlockStream() override;

 private:
  void DecodeImage(const uint8_t* data, uint32_t size) override;
  void WriteRow(uint32_t y, uint8_t* out) override;
  void ReleaseImage() override;
  uint32_t ImageMemorySize() const override;

  static void RunDecode(void* self);
  void DecodeOnMainStack();

  EngineArray<uint8_t> globals_;
  data_io_detail::Jbig2Memory* memory_ = nullptr;
  _Jbig2Ctx* globalsContext_ = nullptr;  // before it becomes globalContext_
  _Jbig2GlobalCtx* globalContext_ = nullptr;
  _Jbig2Ctx* pageContext_ = nullptr;
  _Jbig2Image* page_ = nullptr;
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  bool fatal_ = false;
};

}  // namespace vn::data_io
