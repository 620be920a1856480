#include "support/rc4_encryption.h"

#include <cstring>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"
#include "pdf/security/standard_algorithms.h"
#include "support/hex.h"

namespace vn::test {

namespace {

using pdf::security::kPasswordPadding;
using pdf::security::Md5;

constexpr int32_t kPermissions = -4;
constexpr uint32_t kKeyLength = 16;

// Twenty RC4 passes, the key's bytes XORed with the pass number (revisions 3 and 4).
void TwentyPasses(const unsigned char* key, unsigned char* bytes, uint32_t length) {
  for (uint8_t pass = 0; pass < 20; ++pass) {
    unsigned char round[kKeyLength];
    for (uint32_t k = 0; k < kKeyLength; ++k) round[k] = key[k] ^ pass;
    pdf::security::Rc4Crypt(round, kKeyLength, bytes, length);
  }
}

}  // namespace

Rc4Encryption::Rc4Encryption() {
  for (int i = 0; i < 16; ++i) id_[i] = static_cast<unsigned char>(0x31 * i + 7);
  // O: the padded (empty) user password encrypted with the owner key.
  unsigned char ownerKey[16];
  std::string owner = "owner";
  unsigned char padded[32];
  std::memcpy(padded, owner.data(), owner.size());
  std::memcpy(padded + owner.size(), kPasswordPadding, 32 - owner.size());
  pdf::security::Md5Digest(padded, 32, ownerKey);
  for (int i = 0; i < 50; ++i) pdf::security::Md5Digest(ownerKey, kKeyLength, ownerKey);
  std::memcpy(owner_, kPasswordPadding, 32);
  TwentyPasses(ownerKey, owner_, 32);

  pdf::security::StandardParams params;
  params.revision = 4;
  params.keyLength = kKeyLength;
  params.owner = owner_;
  params.ownerLength = 32;
  params.permissions = kPermissions;
  params.id = id_;
  params.idLength = 16;
  pdf::security::ComputeFileKey(params, nullptr, 0, fileKey_);
  // U: MD5 of the padding and the ID, through twenty passes, then 16 free bytes.
  Md5 md5;
  md5.Update(kPasswordPadding, 32);
  md5.Update(id_, 16);
  md5.Final(user_);
  TwentyPasses(fileKey_, user_, 16);
  std::memset(user_ + 16, 0xA5, 16);
}

std::string Rc4Encryption::Dictionary(const std::string& streams, const std::string& strings) const {
  return "<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /AuthEvent /DocOpen /CFM /V2 /Length 16 >> "
         ">> /StmF /" + streams + " /StrF /" + strings + " /O <" + Hex(owner_, 32) + "> /U <" + Hex(user_, 32) +
         "> /P " + std::to_string(kPermissions) + " >>";
}

std::string Rc4Encryption::TrailerEntries(int dictionaryObject) const {
  const std::string id = Hex(id_, 16);
  return "/Encrypt " + std::to_string(dictionaryObject) + " 0 R /ID [<" + id + "> <" + id + ">]";
}

std::string Rc4Encryption::Encrypt(int number, const std::string& data) const {
  unsigned char key[16];
  uint32_t length = pdf::security::ComputeObjectKey(fileKey_, kKeyLength, number, 0, key);
  std::string out = data;
  pdf::security::Rc4Crypt(key, length, reinterpret_cast<unsigned char*>(out.data()),
                          static_cast<uint32_t>(out.size()));
  return out;
}

}  // namespace vn::test
