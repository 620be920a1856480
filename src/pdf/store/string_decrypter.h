// The hook through which the parser decrypts the strings of an encrypted
// object: the security handler gives one per object.
#pragma once

#include <cstdint>

namespace vn {
class AppContext;
}

namespace vn::pdf::store {

class StringDecrypter {
 public:
  virtual ~StringDecrypter() = default;
  // Decrypts one whole string in place (each string starts a fresh cipher);
  // may shorten it and returns the new length.
  virtual uint32_t DecryptString(AppContext& context, uint8_t* bytes, uint32_t length) = 0;
};

}  // namespace vn::pdf::store
