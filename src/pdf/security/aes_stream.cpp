#include "pdf/security/aes_stream.h"

#include <cstring>

namespace vn::pdf::security {

namespace {
constexpr uint32_t kBlock = AesCipher::kBlockSize;
}  // namespace

AESDataBlockStream::AESDataBlockStream(AppContext& context, data_io::DataBlockStream* source, const uint8_t* key,
                                       uint32_t keyLength)
    : FilteredDataBlockStream(context, source) {
  cipher_.SetDecryptKey(key, keyLength);
}

void AESDataBlockStream::ResetDecoder() {
  partialLength_ = 0;
  haveIv_ = false;
  haveHeld_ = false;
}

bool AESDataBlockStream::GatherBlock() {
  while (partialLength_ < kBlock) {
    if (!FillSource()) return false;
    uint32_t count = static_cast<uint32_t>(sourceEnd_ - sourceCursor_);
    if (count > kBlock - partialLength_) count = kBlock - partialLength_;
    std::memcpy(partial_ + partialLength_, sourceCursor_, count);
    sourceCursor_ += count;
    partialLength_ += count;
  }
  partialLength_ = 0;
  return true;
}

uint32_t AESDataBlockStream::FinishHeld(uint8_t* out) {
  uint8_t plain[kBlock];
  cipher_.DecryptCbc(iv_, held_, plain, kBlock);
  uint32_t length = UnpaddedLength(plain, kBlock);
  std::memcpy(out, plain, length);
  haveHeld_ = false;
  SetEnd();
  return length;
}

uint32_t AESDataBlockStream::Decode(uint8_t* buffer, uint32_t maximum) {
  if (IsAtEnd()) return 0;
  if (!haveIv_) {
    if (!GatherBlock()) {
      SetEnd();
      return 0;
    }
    std::memcpy(iv_, partial_, kBlock);
    haveIv_ = true;
  }
  uint32_t written = 0;
  while (maximum - written >= kBlock) {
    if (!haveHeld_) {
      if (!GatherBlock()) {
        SetEnd();  // no whole block after the IV
        break;
      }
      std::memcpy(held_, partial_, kBlock);
      haveHeld_ = true;
      continue;
    }
    uint32_t ready = partialLength_ == 0 && FillSource() ? static_cast<uint32_t>(sourceEnd_ - sourceCursor_) / kBlock
                                                         : 0;
    if (ready > 0) {
      // The held block is not the last: release it, then decrypt the
      // source's whole blocks in place of copying, holding back the last.
      cipher_.DecryptCbc(iv_, held_, buffer + written, kBlock);
      written += kBlock;
      uint32_t direct = (maximum - written) / kBlock;
      if (direct > ready - 1) direct = ready - 1;
      cipher_.DecryptCbc(iv_, sourceCursor_, buffer + written, direct * kBlock);
      sourceCursor_ += direct * kBlock;
      written += direct * kBlock;
      std::memcpy(held_, sourceCursor_, kBlock);
      sourceCursor_ += kBlock;
      continue;
    }
    if (!GatherBlock()) {
      written += FinishHeld(buffer + written);
      break;
    }
    cipher_.DecryptCbc(iv_, held_, buffer + written, kBlock);
    written += kBlock;
    std::memcpy(held_, partial_, kBlock);
  }
  return written;
}

uint32_t AESDataBlockStream::GetMemorySize() const {
  return FilteredDataBlockStream::GetMemorySize() +
         static_cast<uint32_t>(sizeof(*this) - sizeof(FilteredDataBlockStream));
}

}  // namespace vn::pdf::security
