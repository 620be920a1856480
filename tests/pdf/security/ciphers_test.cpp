#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pdf/security/md5.h"
#include "pdf/security/rc4.h"

#include "support/hex.h"

namespace vn::pdf::security {
namespace {

using test::Hex;

std::string Md5Hex(const std::string& text) {
  uint8_t digest[16];
  Md5Digest(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), digest);
  return Hex(digest, 16);
}

TEST(Md5, Rfc1321Suite) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  std::string eighty;
  for (int k = 0; k < 8; ++k) eighty += "1234567890";
  EXPECT_EQ(Md5Hex(eighty), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  std::string text(1000, '\0');
  for (size_t k = 0; k < text.size(); ++k) text[k] = static_cast<char>(k * 31 + 7);
  std::string whole = Md5Hex(text);
  for (size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 200u}) {
    Md5 md5;
    for (size_t at = 0; at < text.size(); at += piece) {
      size_t n = std::min(piece, text.size() - at);
      md5.Update(reinterpret_cast<const uint8_t*>(text.data() + at), static_cast<uint32_t>(n));
    }
    uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ(Hex(digest, 16), whole) << piece;
  }
}

std::string Rc4Hex(const std::string& key, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  Rc4Crypt(reinterpret_cast<const uint8_t*>(key.data()), static_cast<uint32_t>(key.size()), bytes.data(),
           static_cast<uint32_t>(bytes.size()));
  return Hex(bytes.data(), bytes.size());
}

TEST(Rc4, KnownVectors) {
  EXPECT_EQ(Rc4Hex("Key", "Plaintext"), "bbf316e8d940af0ad3");
  EXPECT_EQ(Rc4Hex("Wiki", "pedia"), "1021bf0420");
  EXPECT_EQ(Rc4Hex("Secret", "Attack at dawn"), "45a01f645fc35b383552544b9bf5");
  // RFC 6229, 40-bit key 0x0102030405: key stream at offsets 0 and 240.
  const uint8_t key[5] = {1, 2, 3, 4, 5};
  std::vector<uint8_t> zeros(256, 0);
  Rc4State state;
  state.Init(key, 5);
  state.Process(zeros.data(), zeros.data(), 256);
  EXPECT_EQ(Hex(zeros.data(), 16), "b2396305f03dc027ccc3524a0a1118a8");
  EXPECT_EQ(Hex(zeros.data() + 240, 16), "28cb1132c96ce286421dcaadb8b69eae");
}

TEST(Rc4, StateRunsAcrossCalls) {
  const uint8_t key[3] = {9, 8, 7};
  std::vector<uint8_t> a(100, 0x55), b(100, 0x55);
  Rc4Crypt(key, 3, a.data(), 100);
  Rc4State state;
  state.Init(key, 3);
  state.Process(b.data(), b.data(), 37);
  state.Process(b.data() + 37, b.data() + 37, 63);
  EXPECT_EQ(a, b);
  Rc4Crypt(key, 3, a.data(), 100);  // decrypting restores the input
  EXPECT_EQ(a, std::vector<uint8_t>(100, 0x55));
}

}  // namespace
}  // namespace vn::pdf::security
