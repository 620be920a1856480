// AES-128/256 and SHA-2 against published vectors, the AES stream and AES
// strings against OpenSSL's encryption, and the Perms check.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data_io/memory_stream.h"
#include "pdf/security/aes.h"
#include "pdf/security/aes256_password.h"
#include "pdf/security/aes_stream.h"
#include "pdf/security/security_handler.h"
#include "pdf/security/sha2.h"
#include "runtime/app_context.h"
#include "support/hex.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::pdf::security {
namespace {

using test::Hex;

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t k = 0; k + 1 < hex.size(); k += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return bytes;
}

// NIST SP 800-38A, F.2.1 to F.2.6 (CBC-AES128 and CBC-AES256).
const char kPlain[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char kIv[] = "000102030405060708090a0b0c0d0e0f";
const char kKey128[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kCipher128[] =
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b273bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7";
const char kKey256[] = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char kCipher256[] =
    "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b";

TEST(AesCipher, CbcVectorsOfSp800_38A) {
  for (auto [key, cipher] : {std::pair{kKey128, kCipher128}, std::pair{kKey256, kCipher256}}) {
    std::vector<uint8_t> k = FromHex(key), iv = FromHex(kIv), plain = FromHex(kPlain), c = FromHex(cipher);
    AesCipher aes;
    aes.SetEncryptKey(k.data(), static_cast<uint32_t>(k.size()));
    std::vector<uint8_t> out(plain.size());
    aes.EncryptCbc(iv.data(), plain.data(), out.data(), 64);
    EXPECT_EQ(Hex(out.data(), 64), cipher);
    aes.SetDecryptKey(k.data(), static_cast<uint32_t>(k.size()));
    iv = FromHex(kIv);
    // In place and in two calls: the IV chains.
    aes.DecryptCbc(iv.data(), c.data(), c.data(), 32);
    aes.DecryptCbc(iv.data(), c.data() + 32, c.data() + 32, 32);
    EXPECT_EQ(Hex(c.data(), 64), kPlain);
  }
}

TEST(Sha2, FipsVectors) {
  const std::string abc = "abc";
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  auto digest = [](uint32_t bits, const std::string& text, size_t piece) {
    Sha2 sha;
    sha.Init(bits);
    for (size_t at = 0; at < text.size(); at += piece) {
      sha.Update(reinterpret_cast<const uint8_t*>(text.data() + at),
                 static_cast<uint32_t>(std::min(piece, text.size() - at)));
    }
    uint8_t out[64];
    sha.Final(out);
    return Hex(out, sha.DigestSize());
  };
  EXPECT_EQ(digest(256, abc, 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest(256, two, 7), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digest(384, abc, 1),
            "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7");
  EXPECT_EQ(digest(512, abc, 2),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f");
}

// `plain` encrypted by OpenSSL (PKCS#5 padding), the IV first, as PDF
// writers store it.
std::vector<uint8_t> OpensslEncrypt(const std::string& key, const std::string& iv, const std::vector<uint8_t>& plain) {
  std::string input = test::ScratchPath("aes_plain.bin");
  FILE* f = std::fopen(input.c_str(), "wb");
  if (!plain.empty()) std::fwrite(plain.data(), 1, plain.size(), f);
  std::fclose(f);
  const char* mode = key.size() == 64 ? "-aes-256-cbc" : "-aes-128-cbc";
  test::ShellResult r = test::RunShell(std::string("openssl enc ") + mode + " -K " + key + " -iv " + iv + " -in '" + input + "'");
  if (r.status != 0) return {};
  std::vector<uint8_t> out = FromHex(iv);
  out.insert(out.end(), r.out.begin(), r.out.end());
  return out;
}

bool HaveOpenssl() {
  static const bool have = test::RunShell("openssl version").status == 0;
  return have;
}

std::vector<uint8_t> DecryptWithStream(AppContext& context, const std::vector<uint8_t>& data, const std::string& key,
                                       uint32_t sourceBlock) {
  std::vector<uint8_t> k = FromHex(key);
  Owned<data_io::DataBlockStream> stream(
      context, New<AESDataBlockStream>(context, context, test::NewMemoryStream(context, data, sourceBlock), k.data(),
                                       static_cast<uint32_t>(k.size())));
  std::vector<uint8_t> first = test::ReadAll(context, *stream);
  stream->Rewind();
  EXPECT_EQ(test::ReadAll(context, *stream), first);  // rewinding starts over with the IV
  return first;
}

TEST(AESDataBlockStream, MatchesOpensslAtEveryBlockSplit) {
  if (!HaveOpenssl()) GTEST_SKIP() << "openssl absent";
  AppContext context;
  for (const char* key : {kKey128, kKey256}) {
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 4095u, 4096u, 4097u, 10000u}) {
      std::vector<uint8_t> plain(length);
      for (size_t k = 0; k < length; ++k) plain[k] = static_cast<uint8_t>(k * 7 + length);
      std::vector<uint8_t> encrypted = OpensslEncrypt(key, kIv, plain);
      ASSERT_FALSE(encrypted.empty());
      for (uint32_t split : {1u, 5u, 16u, 17u, 33u, 4096u}) {
        if (length > 4096 && split < 16) continue;  // slow and covered by the short ones
        EXPECT_EQ(DecryptWithStream(context, encrypted, key, split), plain) << length << " split " << split;
      }
    }
  }
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

TEST(AESDataBlockStream, ShortTruncatedAndBadlyPaddedData) {
  AppContext context;
  std::vector<uint8_t> key = FromHex(kKey128);
  AesCipher aes;
  aes.SetEncryptKey(key.data(), 16);
  auto encrypt = [&](std::vector<uint8_t> plain) {  // no padding added
    std::vector<uint8_t> iv = FromHex(kIv), out = iv;
    aes.EncryptCbc(iv.data(), plain.data(), plain.data(), static_cast<uint32_t>(plain.size()));
    out.insert(out.end(), plain.begin(), plain.end());
    return out;
  };
  // Shorter than the IV, or the IV alone: nothing.
  EXPECT_TRUE(DecryptWithStream(context, std::vector<uint8_t>(15, 1), kKey128, 4).empty());
  EXPECT_TRUE(DecryptWithStream(context, std::vector<uint8_t>(16, 1), kKey128, 4).empty());
  // A last byte that is not padding (0, or above 16) stays.
  std::vector<uint8_t> plain(32, 'a');
  plain[31] = 0;
  EXPECT_EQ(DecryptWithStream(context, encrypt(plain), kKey128, 7), plain);
  plain[31] = 17;
  EXPECT_EQ(DecryptWithStream(context, encrypt(plain), kKey128, 7), plain);
  // Proper padding of a whole block goes.
  plain.assign(32, 16);
  std::fill(plain.begin(), plain.begin() + 16, 'b');
  EXPECT_EQ(DecryptWithStream(context, encrypt(plain), kKey128, 7), std::vector<uint8_t>(16, 'b'));
  // Bytes after the last whole block are dropped with the block's padding.
  plain.assign(16, 'c');
  plain[15] = 2;
  std::vector<uint8_t> ragged = encrypt(plain);
  ragged.push_back(0x55);
  ragged.push_back(0x66);
  EXPECT_EQ(DecryptWithStream(context, ragged, kKey128, 3), std::vector<uint8_t>(14, 'c'));
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

// A decrypter for AES strings with a fixed key.
class FixedKeyDecrypter final : public Decrypter {
 public:
  FixedKeyDecrypter(Arena& arena, const std::vector<uint8_t>& key) : Decrypter(arena) {
    std::memcpy(key_.bytes, key.data(), key.size());
    key_.length = static_cast<uint32_t>(key.size());
    key_.method = CipherMethod::kAes;
  }
  void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source, const store::Value&) override {
    out = source;
  }
  Rc4State* CreateStringCipher(Arena&) override { return nullptr; }
  const CipherKey* GetStreamKey() override { return &key_; }
  const CipherKey* GetStringKey() override { return &key_; }

 private:
  CipherKey key_;
};

TEST(Decrypter, AesStringsLoseIvAndPadding) {
  if (!HaveOpenssl()) GTEST_SKIP() << "openssl absent";
  AppContext context;
  Arena arena(context, 1024, 512);
  for (const char* key : {kKey128, kKey256}) {
    FixedKeyDecrypter d(arena, FromHex(key));
    for (size_t length : {0u, 5u, 16u, 40u}) {
      std::vector<uint8_t> plain(length, 'x');
      std::vector<uint8_t> encrypted = OpensslEncrypt(key, kIv, plain);
      uint32_t got = d.DecryptString(context, encrypted.data(), static_cast<uint32_t>(encrypted.size()));
      EXPECT_EQ(std::vector<uint8_t>(encrypted.begin(), encrypted.begin() + got), plain) << length;
    }
    uint8_t fifteen[15] = {};
    EXPECT_EQ(d.DecryptString(context, fifteen, 15), 0u);  // shorter than its IV
  }
}

TEST(AesStreams, DecryptingStreamFollowsTheKeyMethod) {
  AppContext context;
  CipherKey key{};
  key.length = 16;
  key.method = CipherMethod::kAes;
  std::vector<uint8_t> data(48, 3);
  Owned<data_io::DataBlockStream> aes(context, NewDecryptingStream(context, test::NewMemoryStream(context, data), key));
  EXPECT_EQ(test::ReadAll(context, *aes).size() % 16, 0u);  // whole blocks, never the 48 raw bytes
  key.method = CipherMethod::kRc4;
  Owned<data_io::DataBlockStream> rc4(context, NewDecryptingStream(context, test::NewMemoryStream(context, data), key));
  EXPECT_EQ(test::ReadAll(context, *rc4).size(), 48u);
}

// Perms: the permissions and the EncryptMetadata flag encrypted with the
// file key, "adb" at bytes 9 to 11.
TEST(Aes256Password, PermsCheck) {
  AppContext context;
  std::vector<uint8_t> fileKey = FromHex(kKey256);
  auto perms = [&](uint32_t p, char metadata, const char* marker) {
    uint8_t block[16] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p >> 16),
                         static_cast<uint8_t>(p >> 24), 0xFF, 0xFF, 0xFF, 0xFF, static_cast<uint8_t>(metadata)};
    std::memcpy(block + 9, marker, 3);
    AesCipher aes;
    aes.SetEncryptKey(fileKey.data(), 32);
    uint8_t iv[16] = {};
    aes.EncryptCbc(iv, block, block, 16);  // one block: ECB
    return std::vector<uint8_t>(block, block + 16);
  };
  Aes256Params params;
  params.permissions = -3904;
  std::vector<uint8_t> good = perms(static_cast<uint32_t>(-3904), 'T', "adb");
  params.perms = good.data();
  params.permsLength = 16;
  int32_t stored = 0;
  EXPECT_EQ(CheckPerms(context, params, fileKey.data(), stored), PermsCheck::kMatch);
  EXPECT_EQ(stored, -3904);
  params.encryptMetadata = false;  // Perms says 'T'
  EXPECT_EQ(CheckPerms(context, params, fileKey.data(), stored), PermsCheck::kDiffers);
  params.encryptMetadata = true;
  params.permissions = -4;  // P widened after encryption
  EXPECT_EQ(CheckPerms(context, params, fileKey.data(), stored), PermsCheck::kDiffers);
  EXPECT_EQ(stored, -3904);
  std::vector<uint8_t> garbage = perms(0, 'T', "xyz");
  params.perms = garbage.data();
  EXPECT_EQ(CheckPerms(context, params, fileKey.data(), stored), PermsCheck::kUnreadable);
  params.permsLength = 15;
  EXPECT_EQ(CheckPerms(context, params, fileKey.data(), stored), PermsCheck::kUnreadable);
  EXPECT_EQ(context.Budget().BytesInUse(), 0u);
}

}  // namespace
}  // namespace vn::pdf::security
