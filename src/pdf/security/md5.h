// MD5 message digest (RFC 1321).
#pragma once

#include <cstdint>

namespace vn::pdf::security {

class Md5 {
 public:
  static constexpr uint32_t kDigestSize = 16;
  Md5() { Init(); }
  void Init();
  void Update(const uint8_t* bytes, uint32_t length);
  // Writes the 16-byte digest; the object must be re-initialised before reuse.
  void Final(uint8_t digest[kDigestSize]);

 private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[4];
  uint64_t bitCount_;
  uint8_t buffer_[64];
};

// The digest of one buffer.
void Md5Digest(const uint8_t* bytes, uint32_t length, uint8_t digest[Md5::kDigestSize]);

}  // namespace vn::pdf::security
