// The password algorithms of the AES-256 standard handler (revisions 5 and
// 6): the password hash, the user and owner checks that recover the file
// key from UE or OE, and the Perms check.
#pragma once

#include <cstdint>

#include "pdf/security/standard_algorithms.h"

namespace vn {
class AppContext;
}

namespace vn::pdf::security {

// Passwords are UTF-8, cut to this many bytes.
constexpr uint32_t kMaxAes256PasswordLength = 127;
constexpr uint32_t kAes256KeyLength = 32;

// The values of a revision 5 or 6 "Encrypt" dictionary; views owned by the
// caller. Strings shorter than their fixed size fail every check.
struct Aes256Params {
  int32_t revision = 6;
  const uint8_t* owner = nullptr;  // O: hash, validation salt, key salt (48 bytes)
  uint32_t ownerLength = 0;
  const uint8_t* user = nullptr;  // U: the same for the user (48 bytes)
  uint32_t userLength = 0;
  const uint8_t* ownerKey = nullptr;  // OE: the file key encrypted for the owner (32 bytes)
  uint32_t ownerKeyLength = 0;
  const uint8_t* userKey = nullptr;  // UE (32 bytes)
  uint32_t userKeyLength = 0;
  const uint8_t* perms = nullptr;  // Perms (16 bytes)
  uint32_t permsLength = 0;
  int32_t permissions = 0;  // P
  bool encryptMetadata = true;
};

// The 32-byte hash of `password` (at most 127 bytes) with an 8-byte salt and,
// for owner checks, the 48 bytes of U: plain SHA-256 for revision 5, the
// iterated SHA-256/384/512 hash for revision 6. Its scratch memory (about
// 15 KB) comes from the budget.
void HashAes256Password(AppContext& context, int32_t revision, const uint8_t* password, uint32_t length,
                        const uint8_t* salt, const uint8_t* userData, uint8_t hash[32]);

// Tries the password as the owner's, then as the user's; on success writes
// the 32-byte file key.
PasswordResult AuthenticateAes256Password(AppContext& context, const Aes256Params& params, const uint8_t* password,
                                          uint32_t length, uint8_t fileKey[kAes256KeyLength]);

enum class PermsCheck { kMatch, kDiffers, kUnreadable };
// Perms decrypted with the file key: kMatch when it carries the "adb" marker
// and repeats P (and EncryptMetadata), kDiffers when the marker is there
// but the values are not, kUnreadable otherwise. `permissions` gets the
// permission bits Perms holds when the marker is there.
PermsCheck CheckPerms(AppContext& context, const Aes256Params& params, const uint8_t fileKey[kAes256KeyLength], int32_t& permissions);

}  // namespace vn::pdf::security
