#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data_io/buffered_stream.h"
#include "data_io/data_store_stream.h"
#include "data_io/raw_data_store.h"
#include "pdf/security/md5.h"
#include "pdf/security/password_copier.h"
#include "pdf/security/rc4_stream.h"
#include "pdf/security/security_handler.h"
#include "pdf/store/parse_object.h"
#include "runtime/app_context.h"
#include "runtime/engine_new.h"
#include "support/hex.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::pdf::security {
namespace {

using store::Value;

using test::Hex;

std::string Shell(const std::string& command) { return vn::test::RunShell(command).out; }

bool HaveQpdf() {
  static const bool have = std::system("qpdf --version >/dev/null 2>&1") == 0;
  return have;
}

// Parses PDF value text into `arena`.
Value ParseText(AppContext& context, Arena& arena, const std::string& text, store::StringDecrypter* d = nullptr) {
  data_io::RawDataStore raw(context, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  data_io::BufferedDataStore source(context, &raw);
  return store::ParseObject(source, arena, d);
}

struct Fixture {
  AppContext context;
  Arena arena{context, 4096, 2048};
  Value Parse(const std::string& text) { return ParseText(context, arena, text); }
  std::unique_ptr<SecurityHandler, std::function<void(SecurityHandler*)>> Create(
      const std::string& encrypt, const std::string& id, const char* password, const char* name = "Standard") {
    Value e = encrypt.empty() ? Value() : Parse(encrypt);
    Value i = Parse(id);
    SecurityHandler* h = CreateSecurityHandler(context, e, i, name, password);
    return {h, [this](SecurityHandler* p) { Delete(context, p); }};
  }
  int32_t CreateCode(const std::string& encrypt, const char* password = "") {
    // Parsed first: the raise skips the destructors of test temporaries.
    Value e = Parse(encrypt);
    Value id = Parse("[]");
    return test::RaisedCode(context, [&] {
      SecurityHandler* h = CreateSecurityHandler(context, e, id, "Standard", password);
      Delete(context, h);
    });
  }
};

const char kId[] = "[<0c99506635791845079d0c7cc1166cf8> <0c99506635791845079d0c7cc1166cf8>]";
const std::string kOU =
    " /O <3837d2c19f7d45b8cdc1a4d746a59970cd40314831b28750d53a11e31ce9300a>"
    " /U <aacced260ba91691919a2464591d23320122456a91bae5134273a6db134c87c4> /P -4 ";

TEST(StandardAlgorithms, KeyInputAndLengths) {
  std::vector<uint8_t> o(32, 0x11), id(16, 0x22);
  StandardParams params;
  params.revision = 4;
  params.keyLength = 16;
  params.owner = o.data();
  params.ownerLength = 32;
  params.permissions = -3904;
  params.id = id.data();
  params.idLength = 16;
  // Reference: MD5(padding, O, P, ID[, FF FF FF FF]) then 50 rounds.
  auto expected = [&](bool allOnes) {
    Md5 md5;
    md5.Update(kPasswordPadding, 32);
    md5.Update(o.data(), 32);
    uint8_t p[4] = {0xC0, 0xF0, 0xFF, 0xFF};
    md5.Update(p, 4);
    md5.Update(id.data(), 16);
    uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    if (allOnes) md5.Update(ones, 4);
    uint8_t d[16];
    md5.Final(d);
    for (int k = 0; k < 50; ++k) Md5Digest(d, 16, d);
    return Hex(d, 16);
  };
  uint8_t key[16];
  ComputeFileKey(params, nullptr, 0, key);
  EXPECT_EQ(Hex(key, 16), expected(false));
  params.encryptMetadata = false;
  ComputeFileKey(params, nullptr, 0, key);
  EXPECT_EQ(Hex(key, 16), expected(true));
  params.revision = 3;  // only revision 4 knows EncryptMetadata
  ComputeFileKey(params, nullptr, 0, key);
  EXPECT_EQ(Hex(key, 16), expected(false));

  // Object keys: MD5(key, 3 bytes of number, 2 of generation), min(n + 5, 16) bytes.
  uint8_t fileKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  uint8_t input[10] = {1, 2, 3, 4, 5, 0x34, 0x12, 0x05, 0x02, 0x00};
  uint8_t d[16];
  Md5Digest(input, 10, d);
  uint8_t objectKey[16];
  EXPECT_EQ(ComputeObjectKey(fileKey, 5, 0x7051234, 2, objectKey), 10u);
  EXPECT_EQ(Hex(objectKey, 10), Hex(d, 10));
  EXPECT_EQ(ComputeObjectKey(fileKey, 11, 1, 0, objectKey), 16u);
  EXPECT_EQ(ComputeObjectKey(fileKey, 16, 1, 0, objectKey), 16u);

  params.permissions = -44;
  params.revision = 3;
  EXPECT_EQ(static_cast<uint32_t>(UserPermissions(params)), 0xFFFFFFD4u & 0xFFFFFFFCu);
  params.permissions = 0;
  params.revision = 2;
  EXPECT_EQ(static_cast<uint32_t>(UserPermissions(params)), 0xFFFFFFC0u);
  params.revision = 3;
  EXPECT_EQ(static_cast<uint32_t>(UserPermissions(params)), 0xFFFFF0C0u);
}

TEST(StandardAlgorithms, ShortStringsAndLongPasswordsFail) {
  std::vector<uint8_t> shortBytes(15, 0);
  StandardParams params;
  params.revision = 3;
  params.owner = shortBytes.data();
  params.ownerLength = 15;
  params.user = shortBytes.data();
  params.userLength = 15;
  uint8_t key[16];
  EXPECT_FALSE(CheckUserPassword(params, nullptr, 0, key));
  EXPECT_FALSE(CheckOwnerPassword(params, nullptr, 0, key));
  params.revision = 2;
  EXPECT_FALSE(CheckUserPassword(params, nullptr, 0, key));
  std::string longPassword(33, 'a');
  EXPECT_EQ(AuthenticatePassword(params, reinterpret_cast<const uint8_t*>(longPassword.data()), 33, key),
            PasswordResult::kRefused);
}

TEST(CreateSecurityHandler, CreationRules) {
  Fixture f;
  auto none = f.Create("", kId, "");
  EXPECT_EQ(none->Kind(), HandlerKind::kNone);
  EXPECT_TRUE(none->IsAuthorized());
  EXPECT_EQ(none->GetPermissions(), -4);
  EXPECT_EQ(none->CreateDecrypter(1, 0, f.arena), nullptr);

  auto expectUnknown = [&](const std::string& dict, const char* name = "Standard") {
    auto h = f.Create(dict, kId, "", name);
    EXPECT_EQ(h->Kind(), HandlerKind::kUnknown) << dict;
    EXPECT_FALSE(h->IsAuthorized()) << dict;
    EXPECT_EQ(h->GetPermissions(), 0) << dict;
    EXPECT_EQ(test::RaisedCode(f.context, [&] { h->CreateDecrypter(1, 0, f.arena); }), kOverflow) << dict;
  };
  expectUnknown("<< /Filter /Other /V 1 /R 2" + kOU + ">>");
  expectUnknown("<< /Filter /Standard /V 1 /R 2" + kOU + ">>", "Other");
  expectUnknown("<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /AESV2 >> >>" + kOU + ">>");
  expectUnknown("<< /Filter /Standard /V 4 /R 4 /CF << /A << /CFM /V2 >> /B << /AuthEvent /DocOpen /CFM /AESV3 >> >>" +
                kOU + ">>");
  expectUnknown("<< /Filter /Standard /V 5 /R 5 /Length 256" + kOU + ">>");
  expectUnknown("<< /Filter /Standard /V 2 /R 6" + kOU + ">>");
  // An AES filter used only for embedded files does not stop the document.
  auto efOnly = f.Create("<< /Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /CFM /V2 >> /EF << "
                         "/AuthEvent /EFOpen /CFM /AESV2 >> >>" + kOU + ">>",
                         kId, "usr");
  EXPECT_EQ(efOnly->Kind(), HandlerKind::kStandard);
  EXPECT_TRUE(efOnly->IsAuthorized());

  EXPECT_EQ(f.CreateCode("<< /Filter /Standard /V 1 /R 1" + kOU + ">>"), kUnsupported);
  EXPECT_EQ(f.CreateCode("<< /Filter /Standard /V 2 /R 3 /Length 44" + kOU + ">>"), kUnsupported);
  EXPECT_EQ(f.CreateCode("<< /Filter /Standard /V 2 /R 3 /Length 136" + kOU + ">>"), kUnsupported);
  EXPECT_EQ(f.CreateCode("<< /Filter /Standard /V 2 /R 3 /Length 32" + kOU + ">>"), kUnsupported);
  EXPECT_EQ(f.CreateCode("<< /Filter /Standard /V 1 /R 2 /Length 44" + kOU + ">>"), -1);  // R 2: always 5 bytes

  auto sixteen = f.Create("<< /Filter /Standard /V 2 /R 3 /Length 128" + kOU + ">>", kId, "x");
  EXPECT_EQ(static_cast<StandardSecurityHandler*>(sixteen.get())->KeyLength(), 16u);
  auto forty = f.Create("<< /Filter /Standard /V 2 /R 3" + kOU + ">>", kId, "x");
  EXPECT_EQ(static_cast<StandardSecurityHandler*>(forty.get())->KeyLength(), 5u);
  auto shortStrings = f.Create("<< /Filter /Standard /V 2 /R 3 /O <01> /U <02> /P -4 >>", kId, "");
  EXPECT_FALSE(shortStrings->IsAuthorized());
}

// Malformed dictionaries refuse or raise bad data; they never crash.
TEST(CreateSecurityHandler, MalformedEntries) {
  Fixture f;
  for (const char* dict : {"<< /Filter /Standard /V 2 /R 3 /O 5 /U /Name /P (x) >>",
                           "<< /Filter /Standard /V 4 /R 4 /CF 7 /StmF /StdCF /StrF 3 /O <> /U <> >>",
                           "<< /Filter /Standard /V 4 /R 4 /CF << /StdCF 1 /X [ ] >> /StmF /StdCF >>",
                           "<< /Filter /Standard /V 2 /R 3 /Length 1.5e3 /O () /U () >>",
                           "<< /Filter /Standard /R 4 /Length -128 >>"}) {
    SCOPED_TRACE(dict);
    Value e = f.Parse(dict);
    Value ids[4] = {f.Parse("[]"), f.Parse("7"), f.Parse("[1 2]"), f.Parse("[(abc)]")};
    int32_t code = test::RaisedCode(f.context, [&] {
      for (const Value& id : ids) {
        SecurityHandler* h = CreateSecurityHandler(f.context, e, id, "Standard", "");
        Delete(f.context, h);
      }
    });
    EXPECT_TRUE(code == -1 || code == kUnsupported || code == kBadData) << code;
  }
  // A stream filter that names a non-dictionary CF entry is unsupported.
  auto h = f.Create("<< /Filter /Standard /V 4 /R 4 /CF << /StdCF 1 >> /StmF /StdCF" + kOU + ">>", kId, "usr");
  Decrypter* d = h->CreateDecrypter(1, 0, f.arena);
  EXPECT_EQ(test::RaisedCode(f.context, [&] { d->GetStreamKey(); }), kUnsupported);
}

TEST(CreateSecurityHandler, V4CryptFilterSelection) {
  Fixture f;
  // The V4 document qpdf makes from hello.pdf with user "usr", owner "own".
  const std::string base = "/Filter /Standard /V 4 /R 4 /Length 128 /CF << /StdCF << /AuthEvent /DocOpen /CFM /V2 "
                           "/Length 16 >> /Raw << /CFM /None >> >>" + kOU;
  auto h = f.Create("<< " + base + " /StmF /StdCF /StrF /StdCF >>", kId, "usr");
  ASSERT_TRUE(h->IsAuthorized());
  EXPECT_EQ(Hex(static_cast<StandardSecurityHandler*>(h.get())->FileKey(), 16), "a189a24abb97b4a617a148543cf3e03e");
  Decrypter* d = h->CreateDecrypter(6, 0, f.arena);
  ASSERT_NE(d->GetStreamKey(), nullptr);
  uint8_t expected[16];
  ComputeObjectKey(static_cast<StandardSecurityHandler*>(h.get())->FileKey(), 16, 6, 0, expected);
  EXPECT_EQ(Hex(d->GetStreamKey()->bytes, 16), Hex(expected, 16));
  ASSERT_NE(d->CreateStringCipher(f.arena), nullptr);

  // "Name" in the Crypt filter's parameters.
  std::vector<uint8_t> bytes(100, 7);
  auto* raw = New<data_io::RawDataStore>(f.context, f.context, bytes.data(), bytes.size());
  data_io::DataBlockStream* source = New<data_io::DataStoreStream>(f.context, f.context, raw);
  data_io::DataBlockStream* out = nullptr;
  d->ApplyCryptFilter(out, source, Value());
  EXPECT_EQ(out, source);
  d->ApplyCryptFilter(out, source, f.Parse("<< /Name /Identity >>"));
  EXPECT_EQ(out, source);
  Value rawName = f.Parse("<< /Name /Raw >>");
  Value nope = f.Parse("<< /Name /Nope >>");
  EXPECT_EQ(test::RaisedCode(f.context, [&] { d->ApplyCryptFilter(out, source, rawName); }), kUnsupported);
  EXPECT_EQ(test::RaisedCode(f.context, [&] { d->ApplyCryptFilter(out, source, nope); }), kUnsupported);
  d->ApplyCryptFilter(out, source, f.Parse("<< /Name /StdCF >>"));
  EXPECT_NE(out, source);
  Delete(f.context, out);  // owns source

  auto identity = f.Create("<< " + base + " /StmF /Identity >>", kId, "usr");
  Decrypter* plain = identity->CreateDecrypter(6, 0, f.arena);
  EXPECT_EQ(plain->GetStreamKey(), nullptr);
  EXPECT_EQ(plain->GetStringKey(), nullptr);  // StrF absent
  EXPECT_EQ(plain->CreateStringCipher(f.arena), nullptr);
  uint8_t text[3] = {1, 2, 3};
  EXPECT_EQ(plain->DecryptString(f.context, text, 3), 3u);
  EXPECT_EQ(text[0], 1);
  auto badStr = f.Create("<< " + base + " /StrF /Raw >>", kId, "usr");
  Decrypter* bad = badStr->CreateDecrypter(6, 0, f.arena);
  EXPECT_EQ(test::RaisedCode(f.context, [&] { bad->GetStringKey(); }), kUnsupported);

  auto r3 = f.Create("<< /Filter /Standard /V 2 /R 3 /Length 128" + kOU + ">>", kId, "x");
  Decrypter* old = r3->CreateDecrypter(1, 0, f.arena);
  EXPECT_EQ(test::RaisedCode(f.context, [&] { old->ApplyCryptFilter(out, nullptr, Value()); }), kOverflow);
}

TEST(RC4DataBlockStream, SplitsBlocksRunsStateAndRewinds) {
  AppContext context;
  std::vector<uint8_t> bytes(10000);
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k * 13);
  const uint8_t key[5] = {5, 4, 3, 2, 1};
  std::vector<uint8_t> expected = bytes;
  Rc4Crypt(key, 5, expected.data(), static_cast<uint32_t>(expected.size()));
  auto* raw = New<data_io::RawDataStore>(context, context, bytes.data(), bytes.size());
  auto* stream = New<RC4DataBlockStream>(context, context, New<data_io::DataStoreStream>(context, context, raw), key,
                                         5u);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<uint8_t> got;
    std::vector<uint32_t> sizes;
    data_io::DataBlockRef block(context);
    for (;;) {
      stream->GetNextBlock(block);
      if (block.Empty()) break;
      sizes.push_back(block.Length());
      got.insert(got.end(), block.Data(), block.Data() + block.Length());
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{4096, 4096, 1808}));
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(stream->IsAtEnd());
    stream->Rewind();
    EXPECT_FALSE(stream->IsAtEnd());
  }
  Delete(context, static_cast<data_io::DataBlockStream*>(stream));
}

TEST(PasswordCopier, KeepsLowBytesAndTheTerminator) {
  AppContext context;
  Arena arena(context, 256, 128);
  PasswordCopier copier;
  const wchar_t text[] = {L'p', L'w', 0x141, 0xE9, 0};
  char* out = copier.Copy(arena, text);
  EXPECT_EQ(std::memcmp(out, "pw\x41\xE9", 5), 0);
  EXPECT_EQ(copier.Copy(arena, L"")[0], 0);
}

// Real files: the trailer and the Encrypt dictionary as qpdf shows them.
struct FileEncryption {
  std::string trailer;
  std::string encrypt;
  std::string key;  // qpdf's file key, hex
  std::string p;
};

FileEncryption ReadEncryption(const std::string& path, const std::string& password) {
  FileEncryption e;
  std::string pw = "--password='" + password + "' ";
  e.trailer = Shell("qpdf " + pw + "--show-object=trailer '" + path + "'");
  size_t at = e.trailer.find("/Encrypt ");
  if (at == std::string::npos) return e;
  int number = std::atoi(e.trailer.c_str() + at + 9);
  e.encrypt = Shell("qpdf " + pw + "--show-object=" + std::to_string(number) + " '" + path + "'");
  std::string info = Shell("qpdf " + pw + "--show-encryption-key --show-encryption '" + path + "'");
  size_t k = info.find("Encryption key = ");
  if (k != std::string::npos) e.key = info.substr(k + 17, info.find('\n', k) - k - 17);
  size_t p = info.find("P = ");
  if (p != std::string::npos) e.p = info.substr(p + 4, info.find('\n', p) - p - 4);
  return e;
}

// Opens with `password`; returns the file key in hex ("" when refused).
std::string OpenKey(Fixture& f, const FileEncryption& e, const char* password, int32_t* permissions = nullptr,
                    bool* owner = nullptr) {
  Value trailer = f.Parse(e.trailer);
  Value id = store::Get(f.context, trailer, "ID");
  Value encrypt = f.Parse(e.encrypt);
  SecurityHandler* h = CreateSecurityHandler(f.context, encrypt, id, "Standard", password);
  std::string key;
  auto* standard = static_cast<StandardSecurityHandler*>(h);
  if (h->IsAuthorized()) key = Hex(standard->FileKey(), standard->KeyLength());
  if (permissions != nullptr) *permissions = h->GetPermissions();
  if (owner != nullptr) *owner = standard->OpenedByOwner();
  Delete(f.context, h);
  return key;
}

TEST(StandardSecurityHandler, CorpusKeysMatchQpdf) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf absent";
  auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  int checked = 0;
  for (const auto& file : files) {
    if (file.encrypted.rfind("rc4", 0) != 0) continue;
    SCOPED_TRACE(file.name);
    FileEncryption e = ReadEncryption(file.path, file.userPassword);
    if (e.encrypt.empty() || e.key.empty()) continue;
    Fixture f;
    EXPECT_EQ(OpenKey(f, e, file.userPassword.c_str()), e.key);
    if (!file.userPassword.empty()) {
      EXPECT_EQ(OpenKey(f, e, ""), "");
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

std::string MakeEncrypted(const std::string& args, const std::string& name) {
  std::string out = vn::test::ScratchPath("security_" + name + ".pdf");
  std::string command = "qpdf --allow-weak-crypto --encrypt " + args + " -- '" FOLIO_SOURCE_DIR
                        "/samples/hello.pdf' '" + out + "'";
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return "";
  return out;
}

TEST(StandardSecurityHandler, OwnerAndUserPasswordsOnQpdfFiles) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf absent";
  struct Case {
    const char* name;
    const char* args;
  } cases[] = {{"r2", "usr own 40 --print=n --modify=n"},
               {"r3", "usr own 128 --use-aes=n --print=low --extract=n"},
               {"r4", "usr own 128 --use-aes=n --force-V4 --modify=none"},
               {"r4meta", "usr own 128 --use-aes=n --force-V4 --cleartext-metadata --annotate=n"},
               {"empty", "'' own 128 --use-aes=n --print=none"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = MakeEncrypted(c.args, c.name);
    ASSERT_FALSE(path.empty());
    bool emptyUser = std::strcmp(c.name, "empty") == 0;
    const char* user = emptyUser ? "" : "usr";
    FileEncryption e = ReadEncryption(path, user);
    ASSERT_FALSE(e.key.empty());
    Fixture f;
    int32_t permissions = 0;
    bool owner = false;
    EXPECT_EQ(OpenKey(f, e, "own", &permissions, &owner), e.key);
    EXPECT_TRUE(owner);
    EXPECT_EQ(permissions, -4);
    EXPECT_EQ(OpenKey(f, e, user, &permissions, &owner), e.key);
    EXPECT_FALSE(owner);
    uint32_t p = static_cast<uint32_t>(std::atoi(e.p.c_str()));
    uint32_t expected = (p & ~3u) | 0xFFFFF0C0u | (std::strcmp(c.name, "r2") == 0 ? 0xF00u : 0u);
    EXPECT_EQ(static_cast<uint32_t>(permissions), expected);
    EXPECT_NE(permissions, -4);
    EXPECT_EQ(OpenKey(f, e, "wrong"), "");
    if (!emptyUser) {
      EXPECT_EQ(OpenKey(f, e, ""), "");
    }
    std::string tooLong(33, 'o');
    EXPECT_EQ(OpenKey(f, e, tooLong.c_str()), "");
  }
}

// Strings and streams of a qpdf file decrypt to what qpdf shows.
TEST(StandardSecurityHandler, DecryptsStringsAndStreamsOfQpdfFiles) {
  if (!HaveQpdf()) GTEST_SKIP() << "qpdf absent";
  for (const char* args : {"usr own 40", "usr own 128 --use-aes=n", "usr own 128 --use-aes=n --force-V4"}) {
    SCOPED_TRACE(args);
    std::string path = MakeEncrypted(args, "strings");
    ASSERT_FALSE(path.empty());
    std::vector<unsigned char> file = test::ReadWholeFile(path);
    FileEncryption e = ReadEncryption(path, "usr");
    std::string xref = Shell("qpdf --password=usr --show-xref '" + path + "'");
    Fixture f;
    Value trailer = f.Parse(e.trailer);
    SecurityHandler* h =
        CreateSecurityHandler(f.context, f.Parse(e.encrypt), store::Get(f.context, trailer, "ID"), "Standard", "usr");
    ASSERT_TRUE(h->IsAuthorized());
    int strings = 0;
    int streams = 0;
    size_t at = 0;
    while ((at = xref.find("uncompressed; offset = ", at)) != std::string::npos) {
      size_t lineStart = xref.rfind('\n', at);
      lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
      int number = std::atoi(xref.c_str() + lineStart);
      long offset = std::atol(xref.c_str() + at + 23);
      at += 23;
      if (e.trailer.find("/Encrypt " + std::to_string(number) + " ") != std::string::npos) continue;
      Decrypter* d = h->CreateDecrypter(number, 0, f.arena);
      std::string text(file.begin() + offset, file.end());
      Value object = ParseText(f.context, f.arena, text, d);
      std::string shown = Shell("qpdf --password=usr --show-object=" + std::to_string(number) + " '" + path + "'");
      if (object.IsDictionary()) {
        Value title = store::Get(f.context, object, "Title");
        if (title.IsString()) {
          const std::string text(reinterpret_cast<const char*>(title.Bytes()), title.Length());
          EXPECT_NE(shown.find("(" + text + ")"), std::string::npos);
          EXPECT_EQ(text, "Folio LE sample");
          ++strings;
        }
        uint64_t dataOffset = store::StreamDataOffset(object);
        if (dataOffset != 0) {
          uint32_t length = static_cast<uint32_t>(store::Get(f.context, object, "Length").AsInt());
          const uint8_t* data = file.data() + offset + dataOffset;
          auto* raw = New<data_io::RawDataStore>(f.context, f.context, data, length);
          data_io::DataBlockStream* stream = DecryptStreamData(
              f.context, d, New<data_io::DataStoreStream>(f.context, f.context, raw));
          std::string got;
          data_io::DataBlockRef block(f.context);
          for (stream->GetNextBlock(block); !block.Empty(); stream->GetNextBlock(block)) {
            got.append(reinterpret_cast<const char*>(block.Data()), block.Length());
          }
          block.Clear();
          Delete(f.context, stream);
          EXPECT_EQ(got, Shell("qpdf --password=usr --show-object=" + std::to_string(number) +
                             " --raw-stream-data '" + path + "'"));
          ++streams;
        }
      }
    }
    EXPECT_GT(strings, 0);
    EXPECT_GT(streams, 0);
    Delete(f.context, h);
  }
}

}  // namespace
}  // namespace vn::pdf::security
