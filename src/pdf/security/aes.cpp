#include "pdf/security/aes.h"

#include <nettle/cbc.h>

namespace vn::pdf::security {

void AesCipher::SetDecryptKey(const uint8_t* key, uint32_t length) {
  wide_ = length == 32;
  if (wide_) aes256_set_decrypt_key(&context_.aes256, key);
  else aes128_set_decrypt_key(&context_.aes128, key);
}

void AesCipher::SetEncryptKey(const uint8_t* key, uint32_t length) {
  wide_ = length == 32;
  if (wide_) aes256_set_encrypt_key(&context_.aes256, key);
  else aes128_set_encrypt_key(&context_.aes128, key);
}

void AesCipher::DecryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length) {
  if (wide_) {
    cbc_decrypt(&context_.aes256, reinterpret_cast<nettle_cipher_func*>(&aes256_decrypt), kBlockSize, iv, length,
                out, in);
  } else {
    cbc_decrypt(&context_.aes128, reinterpret_cast<nettle_cipher_func*>(&aes128_decrypt), kBlockSize, iv, length,
                out, in);
  }
}

void AesCipher::EncryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length) {
  if (wide_) {
    cbc_encrypt(&context_.aes256, reinterpret_cast<nettle_cipher_func*>(&aes256_encrypt), kBlockSize, iv, length,
                out, in);
  } else {
    cbc_encrypt(&context_.aes128, reinterpret_cast<nettle_cipher_func*>(&aes128_encrypt), kBlockSize, iv, length,
                out, in);
  }
}

void AesCipher::DecryptEcb(const uint8_t* in, uint8_t* out, uint32_t length) {
  if (wide_) aes256_decrypt(&context_.aes256, length, out, in);
  else aes128_decrypt(&context_.aes128, length, out, in);
}

uint32_t UnpaddedLength(const uint8_t* bytes, uint32_t length) {
  if (length == 0) return 0;
  uint32_t pad = bytes[length - 1];
  if (pad == 0 || pad > AesCipher::kBlockSize || pad > length) return length;
  return length - pad;
}

}  // namespace vn::pdf::security
