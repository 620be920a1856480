// A stream that RC4-decrypts another stream.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/security/rc4.h"
#include "pdf/security/standard_algorithms.h"

namespace vn::pdf::security {

class RC4DataBlockStream final : public data_io::DataBlockStream {
 public:
  static constexpr uint32_t kBlockSize = 4096;

  // Owns `source` (built with New) once built. The key is copied.
  RC4DataBlockStream(AppContext& context, data_io::DataBlockStream* source, const uint8_t* key,
                     uint32_t keyLength);
  ~RC4DataBlockStream() override;

  // Up to 4096 bytes of the current source block, decrypted into a new block.
  void GetNextBlock(data_io::DataBlockRef& out) override;
  // Rewinds the source and rekeys.
  void Rewind() override;
  bool IsAtEnd() override;
  uint32_t GetMemorySize() const override;

 private:
  AppContext& context_;
  data_io::DataBlockStream* source_;
  data_io::DataBlockRef pending_;  // the rest of the current source block
  Rc4State state_;
  uint8_t key_[kMaxKeyLength];
  uint32_t keyLength_;
};

}  // namespace vn::pdf::security
