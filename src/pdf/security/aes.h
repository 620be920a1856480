// AES-128 and AES-256 over Nettle. The key schedule lives inside the
// object, so wherever the object lives (an engine allocation, a
// decrypter's arena) the cipher's state does too; Nettle allocates nothing.
#pragma once

#include <nettle/aes.h>
#include <nettle/nettle-types.h>

#include <cstdint>

namespace vn::pdf::security {

class AesCipher {
 public:
  static constexpr uint32_t kBlockSize = 16;

  // `length` is 16 (AES-128) or 32 (AES-256); any other length is a
  // programming error of the caller and keys AES-128 with the first 16.
  void SetDecryptKey(const uint8_t* key, uint32_t length);
  void SetEncryptKey(const uint8_t* key, uint32_t length);

  // CBC over `length` bytes (a multiple of 16); `in` may equal `out`. `iv`
  // is updated to the last ciphertext block, so consecutive calls chain.
  void DecryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length);
  void EncryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length);
  // Blocks one by one, without chaining.
  void DecryptEcb(const uint8_t* in, uint8_t* out, uint32_t length);

 private:
  // Nettle's block function for this key size.
  nettle_cipher_func* Function(bool encrypt) const;

  union {
    aes128_ctx aes128;
    aes256_ctx aes256;
  } context_;
  bool wide_ = false;  // AES-256
};

// Removes PKCS#5 padding from `length` decrypted bytes: the last byte n, when
// it is from 1 to 16 and no more than the length, says how many to drop.
// Any other last byte is not padding and nothing is dropped.
uint32_t UnpaddedLength(const uint8_t* bytes, uint32_t length);

}  // namespace vn::pdf::security
