// FlateDecode: a zlib stream (with its header) inflated with memory from the
// engine budget.
#pragma once

#include <zlib.h>

#include "data_io/filtered_stream.h"

namespace vn::data_io {

class ZlibDataBlockStream : public FilteredDataBlockStream {
 public:
  ZlibDataBlockStream(AppContext& context, DataBlockStream* source);
  ~ZlibDataBlockStream() override;

  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override;

  // Releases the inflater; safe to call twice.
  void Reset();

 protected:
  void ResetDecoder() override;

 private:
  static voidpf ZAlloc(voidpf opaque, uInt items, uInt size);
  static void ZFree(voidpf opaque, voidpf address);
  void Start();

  z_stream zstream_;
  bool initialised_ = false;
  uint32_t zlibBytes_ = 0;  // bytes the inflater holds, headers included
};

}  // namespace vn::data_io
