// A stream that AES-decrypts another in CBC mode, as encrypted PDF strings
// and streams are stored: the first 16 bytes are the IV, and the last block
// ends in PKCS#5 padding.
#pragma once

#include <cstdint>

#include "data_io/filtered_stream.h"
#include "pdf/security/aes.h"

namespace vn::pdf::security {

class AESDataBlockStream final : public data_io::FilteredDataBlockStream {
 public:
  // Takes ownership of `source` (built with New) and never raises, so the
  // source changes hands only once the stage exists. The key (16 or 32
  // bytes) is scheduled here and kept in this object.
  AESDataBlockStream(AppContext& context, data_io::DataBlockStream* source, const uint8_t* key,
                     uint32_t keyLength);

  // Whole blocks only: data shorter than the IV decrypts to nothing, and
  // bytes after the last whole block are dropped. Padding that is not
  // PKCS#5 stays in the output.
  uint32_t Decode(uint8_t* buffer, uint32_t maximum) override;
  uint32_t GetMemorySize() const override;

 protected:
  void ResetDecoder() override;

 private:
  // Completes the block being gathered from the source; true when the next
  // 16 bytes are in `partial_`, false when the source ends first.
  bool GatherBlock();
  // Decrypts the held block as the last one, without its padding.
  uint32_t FinishHeld(uint8_t* out);

  AesCipher cipher_;
  uint8_t iv_[AesCipher::kBlockSize];
  uint8_t partial_[AesCipher::kBlockSize];
  uint32_t partialLength_ = 0;
  // The newest whole ciphertext block: kept back until it is known whether
  // it is the last, which carries the padding.
  uint8_t held_[AesCipher::kBlockSize];
  bool haveIv_ = false;
  bool haveHeld_ = false;
};

}  // namespace vn::pdf::security
