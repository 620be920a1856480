// Writes the encrypted crypt-filter documents into a folder, as seeds for
// the document fuzz target (tools/fuzz.sh runs it):
//   crypt_seeds FOLDER
#include <cstdio>
#include <string>

#include "support/crypt_documents.h"

namespace {

bool Write(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string FileName(const char* name) {
  std::string out = "crypt-";
  for (const char* c = name; *c != 0; ++c) out += *c == ' ' ? '-' : *c;
  return out + ".pdf";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: crypt_seeds FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const vn::test::Rc4Encryption rc4;
  bool ok = true;
  for (const vn::test::CryptCase& c : vn::test::CryptFilterCases(rc4)) {
    ok = ok && Write(folder + FileName(c.name), vn::test::CryptContentDocument(c.entries, c.data, &rc4));
  }
  ok = ok && Write(folder + FileName("missing filter"),
                   vn::test::CryptContentDocument("/Filter /Crypt /DecodeParms << /Name /Missing >>",
                                                  vn::test::kCryptContent, &rc4));
  ok = ok && Write(folder + FileName("identity streams"),
                   vn::test::CryptContentDocument("", vn::test::kCryptContent, &rc4, "Identity"));
  ok = ok && Write(folder + "every-filter.pdf", vn::test::EveryFilterDocument());
  if (!ok) std::fprintf(stderr, "crypt_seeds: cannot write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
