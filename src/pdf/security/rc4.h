// The RC4 stream cipher: the 256-byte permutation and its two indices.
#pragma once

#include <cstdint>

namespace vn::pdf::security {

struct Rc4State {
  uint8_t s[256];
  uint8_t i;
  uint8_t j;

  // Keys the state; a key of length 0 is treated as the single byte 0.
  void Init(const uint8_t* key, uint32_t keyLength);
  // XORs `length` bytes of key stream into `out` (may equal `in`).
  void Process(const uint8_t* in, uint8_t* out, uint32_t length);
};

// One RC4 pass with a fresh state over a buffer, in place.
void Rc4Crypt(const uint8_t* key, uint32_t keyLength, uint8_t* bytes, uint32_t length);

}  // namespace vn::pdf::security
