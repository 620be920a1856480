// The standard password handler's key and password algorithms of
// revisions 2 to 4 (MD5 and RC4) over plain bytes.
#pragma once

#include <cstdint>

namespace vn::pdf::security {

constexpr uint32_t kMaxPasswordLength = 32;
constexpr uint32_t kMaxKeyLength = 16;

// The values of an "Encrypt" dictionary the algorithms use. The byte
// pointers are views owned by the caller.
struct StandardParams {
  int32_t revision = 2;     // R
  uint32_t keyLength = 5;   // n, bytes (5..16)
  const uint8_t* owner = nullptr;  // O
  uint32_t ownerLength = 0;
  const uint8_t* user = nullptr;  // U
  uint32_t userLength = 0;
  int32_t permissions = 0;  // P
  const uint8_t* id = nullptr;  // first string of the trailer's ID, may be empty
  uint32_t idLength = 0;
  bool encryptMetadata = true;
};

// The 32-byte password padding string.
extern const uint8_t kPasswordPadding[32];

// The file key (params.keyLength bytes) for a password of at most 32 bytes.
void ComputeFileKey(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                    uint8_t key[kMaxKeyLength]);

// The user check: on success writes the file key and returns true.
bool CheckUserPassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                       uint8_t key[kMaxKeyLength]);

// The owner check (recovers the user password from O, then runs the user
// check): on success writes the file key and returns true.
bool CheckOwnerPassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                        uint8_t key[kMaxKeyLength]);

// Permission bits after a successful user check.
int32_t UserPermissions(const StandardParams& params);
constexpr int32_t kOwnerPermissions = -4;

// The key for one object's strings and streams: min(n + 5, 16) bytes for
// RC4; for AES-128 ("sAlT" added to the digest input) always 16 bytes, the
// only key length AES-128 has. Returns its length.
uint32_t ComputeObjectKey(const uint8_t* fileKey, uint32_t keyLength, int32_t objectNumber, int32_t generation,
                          uint8_t key[kMaxKeyLength], bool aes = false);

// Outcome of trying a password first as the owner's, then as the user's.
enum class PasswordResult { kRefused, kUser, kOwner };
PasswordResult AuthenticatePassword(const StandardParams& params, const uint8_t* password, uint32_t passwordLength,
                                    uint8_t key[kMaxKeyLength]);

}  // namespace vn::pdf::security
