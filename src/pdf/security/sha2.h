// SHA-256, SHA-384 and SHA-512 over Nettle, behind one interface: the
// revision 6 password hash picks the variant per round. The contexts live
// inside the object (no allocation by Nettle).
#pragma once

#include <nettle/sha2.h>

#include <cstdint>

namespace vn::pdf::security {

class Sha2 {
 public:
  static constexpr uint32_t kMaxDigestSize = 64;

  // `bits` is 256, 384 or 512.
  void Init(uint32_t bits);
  void Update(const uint8_t* bytes, uint32_t length);
  // Writes DigestSize() bytes; Init again before reuse.
  void Final(uint8_t* digest);
  uint32_t DigestSize() const { return bits_ / 8; }

 private:
  union {
    sha256_ctx sha256;
    sha512_ctx sha512;  // also SHA-384
  } context_;
  uint32_t bits_ = 256;
};

}  // namespace vn::pdf::security
