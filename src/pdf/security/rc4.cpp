#include "pdf/security/rc4.h"

namespace vn::pdf::security {

void Rc4State::Init(const uint8_t* key, uint32_t keyLength) {
  static const uint8_t kZero = 0;
  if (keyLength == 0) {
    key = &kZero;
    keyLength = 1;
  }
  for (uint32_t k = 0; k < 256; ++k) s[k] = static_cast<uint8_t>(k);
  uint8_t m = 0;
  uint32_t at = 0;
  for (uint32_t k = 0; k < 256; ++k) {
    m = static_cast<uint8_t>(m + s[k] + key[at]);
    if (++at == keyLength) at = 0;
    uint8_t t = s[k];
    s[k] = s[m];
    s[m] = t;
  }
  i = 0;
  j = 0;
}

void Rc4State::Process(const uint8_t* in, uint8_t* out, uint32_t length) {
  uint8_t x = i;
  uint8_t y = j;
  for (uint32_t k = 0; k < length; ++k) {
    x = static_cast<uint8_t>(x + 1);
    uint8_t a = s[x];
    y = static_cast<uint8_t>(y + a);
    uint8_t b = s[y];
    s[x] = b;
    s[y] = a;
    out[k] = in[k] ^ s[static_cast<uint8_t>(a + b)];
  }
  i = x;
  j = y;
}

void Rc4Crypt(const uint8_t* key, uint32_t keyLength, uint8_t* bytes, uint32_t length) {
  Rc4State state;
  state.Init(key, keyLength);
  state.Process(bytes, bytes, length);
}

}  // namespace vn::pdf::security
