#include "pdf/security/standard_algorithms.h"

#include <cstring>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"

namespace vn::pdf::security {

const uint8_t kPasswordPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                      0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                      0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

namespace {

void PadPassword(const uint8_t* password, uint32_t length, uint8_t padded[32]) {
  if (length > 32) length = 32;
  if (length != 0) std::memcpy(padded, password, length);
  std::memcpy(padded + length, kPasswordPadding, 32 - length);
}

// 50 extra rounds of MD5 over the first n bytes of the digest (R >= 3).
void Strengthen(int32_t revision, uint32_t n, uint8_t digest[16]) {
  if (revision < 3) return;
  for (int k = 0; k < 50; ++k) Md5Digest(digest, n, digest);
}

void XorKey(const uint8_t* key, uint32_t n, uint8_t value, uint8_t out[kMaxKeyLength]) {
  for (uint32_t k = 0; k < n; ++k) out[k] = key[k] ^ value;
}

uint32_t KeyLength(const StandardParams& params) {
  uint32_t n = params.keyLength;
  if (n < 1) n = 1;
  if (n > kMaxKeyLength) n = kMaxKeyLength;
  return n;
}

}  // namespace

void ComputeFileKey(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                    uint8_t key[kMaxKeyLength]) {
  uint32_t n = KeyLength(params);
  uint8_t padded[32];
  PadPassword(password, passwordLength, padded);
  Md5 md5;
  md5.Update(padded, 32);
  if (params.ownerLength != 0) md5.Update(params.owner, params.ownerLength);
  uint32_t p = static_cast<uint32_t>(params.permissions);
  uint8_t pBytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16),
                       static_cast<uint8_t>(p >> 24)};
  md5.Update(pBytes, 4);
  if (params.idLength != 0) md5.Update(params.id, params.idLength);
  if (params.revision >= 4 && !params.encryptMetadata) {
    static const uint8_t kAllOnes[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    md5.Update(kAllOnes, 4);
  }
  uint8_t digest[16];
  md5.Final(digest);
  Strengthen(params.revision, n, digest);
  std::memcpy(key, digest, n);
}

bool CheckUserPassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                       uint8_t key[kMaxKeyLength]) {
  uint32_t n = KeyLength(params);
  uint8_t fileKey[kMaxKeyLength];
  ComputeFileKey(params, password, passwordLength, fileKey);
  bool match;
  if (params.revision == 2) {
    if (params.userLength < 32) return false;
    uint8_t check[32];
    std::memcpy(check, kPasswordPadding, 32);
    Rc4Crypt(fileKey, n, check, 32);
    match = std::memcmp(check, params.user, 32) == 0;
  } else {
    if (params.userLength < 16) return false;
    Md5 md5;
    md5.Update(kPasswordPadding, 32);
    if (params.idLength != 0) md5.Update(params.id, params.idLength);
    uint8_t check[16];
    md5.Final(check);
    uint8_t passKey[kMaxKeyLength];
    for (uint32_t i = 0; i < 20; ++i) {
      XorKey(fileKey, n, static_cast<uint8_t>(i), passKey);
      Rc4Crypt(passKey, n, check, 16);
    }
    match = std::memcmp(check, params.user, 16) == 0;
  }
  if (match) std::memcpy(key, fileKey, n);
  return match;
}

bool CheckOwnerPassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                        uint8_t key[kMaxKeyLength]) {
  if (params.ownerLength < 32) return false;
  uint32_t n = KeyLength(params);
  uint8_t padded[32];
  PadPassword(password, passwordLength, padded);
  uint8_t digest[16];
  Md5Digest(padded, 32, digest);
  Strengthen(params.revision, n, digest);
  uint8_t userPassword[32];
  std::memcpy(userPassword, params.owner, 32);
  if (params.revision == 2) {
    Rc4Crypt(digest, n, userPassword, 32);
  } else {
    uint8_t passKey[kMaxKeyLength];
    for (int i = 19; i >= 0; --i) {
      XorKey(digest, n, static_cast<uint8_t>(i), passKey);
      Rc4Crypt(passKey, n, userPassword, 32);
    }
  }
  return CheckUserPassword(params, userPassword, 32, key);
}

int32_t UserPermissions(const StandardParams& params) {
  uint32_t p = (static_cast<uint32_t>(params.permissions) & ~3u) | 0xFFFFF0C0u;
  if (params.revision == 2) p |= 0x00000F00u;
  return static_cast<int32_t>(p);
}

uint32_t ComputeObjectKey(const uint8_t* fileKey, uint32_t keyLength, int32_t objectNumber, int32_t generation,
                          uint8_t key[kMaxKeyLength], bool aes) {
  if (keyLength > kMaxKeyLength) keyLength = kMaxKeyLength;
  uint8_t input[kMaxKeyLength + 9];
  std::memcpy(input, fileKey, keyLength);
  uint32_t number = static_cast<uint32_t>(objectNumber);
  uint32_t gen = static_cast<uint32_t>(generation);
  input[keyLength] = static_cast<uint8_t>(number);
  input[keyLength + 1] = static_cast<uint8_t>(number >> 8);
  input[keyLength + 2] = static_cast<uint8_t>(number >> 16);
  input[keyLength + 3] = static_cast<uint8_t>(gen);
  input[keyLength + 4] = static_cast<uint8_t>(gen >> 8);
  if (aes) std::memcpy(input + keyLength + 5, "sAlT", 4);
  uint8_t digest[16];
  Md5Digest(input, keyLength + (aes ? 9 : 5), digest);
  uint32_t length = aes || keyLength + 5 >= 16 ? 16 : keyLength + 5;
  std::memcpy(key, digest, length);
  return length;
}

PasswordResult AuthenticatePassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                                    uint8_t key[kMaxKeyLength]) {
  if (passwordLength > kMaxPasswordLength) return PasswordResult::kRefused;
  if (CheckOwnerPassword(params, password, passwordLength, key)) return PasswordResult::kOwner;
  if (CheckUserPassword(params, password, passwordLength, key)) return PasswordResult::kUser;
  return PasswordResult::kRefused;
}

}  // namespace vn::pdf::security
