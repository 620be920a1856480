// The pieces of an RC4-encrypted test document: the standard security
// handler at revision 4 (crypt filters, 128-bit keys), owner password
// "owner" and an empty user password, so the engine opens it unasked.
// Streams are encrypted with the "StdCF" crypt filter (RC4 with the object
// key) unless they name another one.
#pragma once

#include <string>

namespace vn::test {

class Rc4Encryption {
 public:
  Rc4Encryption();

  // The encryption dictionary; its "CF" holds StdCF (V2, 16 bytes). StmF
  // and StrF name `streams` and `strings` ("StdCF" or "Identity").
  std::string Dictionary(const std::string& streams = "StdCF", const std::string& strings = "StdCF") const;
  // "/Encrypt N 0 R /ID [...]", for the trailer.
  std::string TrailerEntries(int dictionaryObject) const;
  // `data` as StdCF encrypts it in object `number` (generation 0); RC4 is
  // its own inverse, so this also decrypts.
  std::string Encrypt(int number, const std::string& data) const;

 private:
  unsigned char id_[16];
  unsigned char owner_[32];
  unsigned char user_[32];
  unsigned char fileKey_[16];
};

}  // namespace vn::test
