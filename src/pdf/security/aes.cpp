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

nettle_cipher_func* AesCipher::Function(bool encrypt) const {
  if (wide_) return reinterpret_cast<nettle_cipher_func*>(encrypt ? &aes256_encrypt : &aes256_decrypt);
  return reinterpret_cast<nettle_cipher_func*>(encrypt ? &aes128_encrypt : &aes128_decrypt);
}

void AesCipher::DecryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length) {
  cbc_decrypt(&context_, Function(false), kBlockSize, iv, length, out, in);
}

void AesCipher::EncryptCbc(uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out, uint32_t length) {
  cbc_encrypt(&context_, Function(true), kBlockSize, iv, length, out, in);
}

void AesCipher::DecryptEcb(const uint8_t* in, uint8_t* out, uint32_t length) {
  Function(false)(&context_, length, out, in);
}

uint32_t UnpaddedLength(const uint8_t* bytes, uint32_t length) {
  if (length == 0) return 0;
  uint32_t pad = bytes[length - 1];
  if (pad == 0 || pad > AesCipher::kBlockSize || pad > length) return length;
  return length - pad;
}

}  // namespace vn::pdf::security
