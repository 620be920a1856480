#include "pdf/security/md5.h"

#include <cstring>

namespace vn::pdf::security {

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t Rotate(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void Md5::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  bitCount_ = 0;
}

void Md5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int k = 0; k < 16; ++k) {
    x[k] = static_cast<uint32_t>(block[4 * k]) | (static_cast<uint32_t>(block[4 * k + 1]) << 8) |
           (static_cast<uint32_t>(block[4 * k + 2]) << 16) | (static_cast<uint32_t>(block[4 * k + 3]) << 24);
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (uint32_t k = 0; k < 64; ++k) {
    uint32_t f;
    uint32_t g;
    if (k < 16) {
      f = (b & c) | (~b & d);
      g = k;
    } else if (k < 32) {
      f = (d & b) | (~d & c);
      g = (5 * k + 1) & 15;
    } else if (k < 48) {
      f = b ^ c ^ d;
      g = (3 * k + 5) & 15;
    } else {
      f = c ^ (b | ~d);
      g = (7 * k) & 15;
    }
    uint32_t next = b + Rotate(a + f + kSine[k] + x[g], kShift[k]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const uint8_t* bytes, uint32_t length) {
  uint32_t used = static_cast<uint32_t>((bitCount_ >> 3) & 63);
  bitCount_ += static_cast<uint64_t>(length) << 3;
  if (used != 0) {
    uint32_t take = 64 - used;
    if (take > length) take = length;
    std::memcpy(buffer_ + used, bytes, take);
    bytes += take;
    length -= take;
    if (used + take < 64) return;
    Transform(buffer_);
  }
  while (length >= 64) {
    Transform(bytes);
    bytes += 64;
    length -= 64;
  }
  if (length != 0) std::memcpy(buffer_, bytes, length);
}

void Md5::Final(uint8_t digest[kDigestSize]) {
  uint64_t bits = bitCount_;
  uint8_t tail[72];
  uint32_t used = static_cast<uint32_t>((bits >> 3) & 63);
  uint32_t pad = used < 56 ? 56 - used : 120 - used;
  std::memset(tail, 0, sizeof(tail));
  tail[0] = 0x80;
  for (int k = 0; k < 8; ++k) tail[pad + k] = static_cast<uint8_t>(bits >> (8 * k));
  Update(tail, pad + 8);
  for (int k = 0; k < 4; ++k) {
    for (int m = 0; m < 4; ++m) digest[4 * k + m] = static_cast<uint8_t>(state_[k] >> (8 * m));
  }
}

void Md5Digest(const uint8_t* bytes, uint32_t length, uint8_t digest[Md5::kDigestSize]) {
  Md5 md5;
  md5.Update(bytes, length);
  md5.Final(digest);
}

}  // namespace vn::pdf::security
