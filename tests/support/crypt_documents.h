// Encrypted test documents whose streams use crypt filters, shared by the
// crypt-filter tests, the squeeze and the document fuzz target's seeds.
#pragma once

#include <string>
#include <vector>

#include "support/rc4_encryption.h"

namespace vn::test {

// The page content the crypt-filter documents carry.
extern const char kCryptContent[];

// A one-page document whose content (object 4) has `entries` in its
// dictionary and `data` as its bytes; encrypted (object 5, streams by
// default through `streamFilter`) when `encryption` is given.
std::string CryptContentDocument(const std::string& entries, const std::string& data,
                                 const Rc4Encryption* encryption, const std::string& streamFilter = "StdCF");

// Ways to store kCryptContent behind a "Crypt" filter: Identity (by name,
// without parameters, in an array) and the named StdCF, alone, first, last
// and between Flate stages. Each decodes to kCryptContent.
struct CryptCase {
  const char* name;
  std::string entries;
  std::string data;
};
std::vector<CryptCase> CryptFilterCases(const Rc4Encryption& encryption);

// A document whose page draws a DCT image, a fax image mask, a form read
// through an Identity crypt filter and LZW, and an inline image in
// hexadecimal; further streams use every other filter, both predictors and
// a named crypt filter between two Flate stages; the Info title is an
// encrypted string. Objects 1 to 15, every stream readable to its end.
std::string EveryFilterDocument();

}  // namespace vn::test
