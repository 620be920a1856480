#include "pdf/security/aes256_password.h"

#include <cstring>

#include "pdf/security/aes.h"
#include "pdf/security/sha2.h"
#include "runtime/engine_new.h"
#include "runtime/yield_points.h"

namespace vn::pdf::security {

namespace {

constexpr uint32_t kUserDataLength = 48;
constexpr uint32_t kSaltLength = 8;
constexpr uint32_t kHashLength = 32;
// One round's input: password, the previous digest (up to 64 bytes) and
// the user data, 64 times over.
constexpr uint32_t kMaxRoundInput = 64 * (kMaxAes256PasswordLength + Sha2::kMaxDigestSize + kUserDataLength);

// Scratch of the revision 6 hash, kept off the engine thread's small stack.
struct HashWorkspace {
  Sha2 sha;
  AesCipher aes;
  uint8_t digest[Sha2::kMaxDigestSize];
  uint8_t round[kMaxRoundInput];
};

// The iterated hash of revision 6: at least 64 rounds, then on until the
// last byte of the round's cipher text is at most the round count - 32,
// which holds by round 288 at the latest.
void IterateHash(AppContext& context, HashWorkspace& w, const uint8_t* password, uint32_t length,
                 const uint8_t* userData) {
  uint32_t digestLength = kHashLength;
  uint32_t extra = userData != nullptr ? kUserDataLength : 0;
  for (uint32_t done = 1;; ++done) {
    YieldPoint(context);
    uint32_t sequence = length + digestLength + extra;
    uint8_t* at = w.round;
    for (int k = 0; k < 64; ++k) {
      if (length != 0) std::memcpy(at, password, length);
      std::memcpy(at + length, w.digest, digestLength);
      if (extra != 0) std::memcpy(at + length + digestLength, userData, extra);
      at += sequence;
    }
    uint32_t total = 64 * sequence;  // a multiple of 64, so of the block size
    uint8_t iv[AesCipher::kBlockSize];
    std::memcpy(iv, w.digest + 16, sizeof iv);
    w.aes.SetEncryptKey(w.digest, 16);
    w.aes.EncryptCbc(iv, w.round, w.round, total);
    // The first 16 bytes as a big-endian number, modulo 3: as 256 = 1
    // (mod 3), the sum of the bytes modulo 3.
    uint32_t sum = 0;
    for (uint32_t k = 0; k < 16; ++k) sum += w.round[k];
    static const uint32_t kBits[3] = {256, 384, 512};
    w.sha.Init(kBits[sum % 3]);
    w.sha.Update(w.round, total);
    w.sha.Final(w.digest);
    digestLength = w.sha.DigestSize();
    if (done >= 64 && w.round[total - 1] <= done - 32) return;
  }
}

// The file key: `encrypted` (32 bytes) decrypted in CBC mode with a zero IV
// under the hash of the password with the key salt.
void RecoverFileKey(AppContext& context, int32_t revision, const uint8_t* password, uint32_t length,
                    const uint8_t* keySalt, const uint8_t* userData, const uint8_t* encrypted,
                    uint8_t fileKey[kAes256KeyLength]) {
  uint8_t intermediate[kHashLength];
  HashAes256Password(context, revision, password, length, keySalt, userData, intermediate);
  Owned<AesCipher> aes(context, New<AesCipher>(context));
  aes->SetDecryptKey(intermediate, kHashLength);
  uint8_t iv[AesCipher::kBlockSize] = {};
  aes->DecryptCbc(iv, encrypted, fileKey, kAes256KeyLength);
}

bool HashMatches(AppContext& context, int32_t revision, const uint8_t* password, uint32_t length,
                 const uint8_t* entry, const uint8_t* userData) {
  uint8_t hash[kHashLength];
  HashAes256Password(context, revision, password, length, entry + kHashLength, userData, hash);
  return std::memcmp(hash, entry, kHashLength) == 0;
}

}  // namespace

void HashAes256Password(AppContext& context, int32_t revision, const uint8_t* password, uint32_t length,
                        const uint8_t* salt, const uint8_t* userData, uint8_t hash[32]) {
  if (length > kMaxAes256PasswordLength) length = kMaxAes256PasswordLength;
  Owned<HashWorkspace> w(context, New<HashWorkspace>(context));
  w->sha.Init(256);
  if (length != 0) w->sha.Update(password, length);
  w->sha.Update(salt, kSaltLength);
  if (userData != nullptr) w->sha.Update(userData, kUserDataLength);
  w->sha.Final(w->digest);
  if (revision >= 6) IterateHash(context, *w, password, length, userData);
  std::memcpy(hash, w->digest, kHashLength);
}

PasswordResult AuthenticateAes256Password(AppContext& context, const Aes256Params& params, const uint8_t* password,
                                          uint32_t length, uint8_t fileKey[kAes256KeyLength]) {
  if (length > kMaxAes256PasswordLength) length = kMaxAes256PasswordLength;
  if (params.userLength < kUserDataLength) return PasswordResult::kRefused;
  constexpr uint32_t kKeySalt = kHashLength + kSaltLength;
  if (params.ownerLength >= kUserDataLength && params.ownerKeyLength >= kAes256KeyLength &&
      HashMatches(context, params.revision, password, length, params.owner, params.user)) {
    RecoverFileKey(context, params.revision, password, length, params.owner + kKeySalt, params.user,
                   params.ownerKey, fileKey);
    return PasswordResult::kOwner;
  }
  if (params.userKeyLength >= kAes256KeyLength &&
      HashMatches(context, params.revision, password, length, params.user, nullptr)) {
    RecoverFileKey(context, params.revision, password, length, params.user + kKeySalt, nullptr, params.userKey,
                   fileKey);
    return PasswordResult::kUser;
  }
  return PasswordResult::kRefused;
}

PermsCheck CheckPerms(AppContext& context, const Aes256Params& params, const uint8_t fileKey[kAes256KeyLength],
                      int32_t& permissions) {
  if (params.permsLength < AesCipher::kBlockSize) return PermsCheck::kUnreadable;
  Owned<AesCipher> aes(context, New<AesCipher>(context));
  aes->SetDecryptKey(fileKey, kAes256KeyLength);
  uint8_t plain[AesCipher::kBlockSize];
  aes->DecryptEcb(params.perms, plain, AesCipher::kBlockSize);
  if (std::memcmp(plain + 9, "adb", 3) != 0) return PermsCheck::kUnreadable;
  uint32_t stored = static_cast<uint32_t>(plain[0]) | static_cast<uint32_t>(plain[1]) << 8 |
                    static_cast<uint32_t>(plain[2]) << 16 | static_cast<uint32_t>(plain[3]) << 24;
  permissions = static_cast<int32_t>(stored);
  bool metadata = plain[8] == 'T';
  bool same = stored == static_cast<uint32_t>(params.permissions) && metadata == params.encryptMetadata;
  return same ? PermsCheck::kMatch : PermsCheck::kDiffers;
}

}  // namespace vn::pdf::security
