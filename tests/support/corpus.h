// The shared corpus of real PDF files: located through FOLIO_CORPUS (the
// environment) or the build's default, and read through its MANIFEST.tsv.
#pragma once

#include <string>
#include <vector>

namespace vn::test {

struct CorpusFile {
  std::string name;
  std::string path;
  long long bytes = 0;
  int pages = -1;             // -1 when the reference tools could not count them
  std::string encrypted;      // "none", "rc4-40", ... as in the manifest
  std::string userPassword;   // from "user=..." in the encrypted column
  std::string features;
  bool HasFeature(const std::string& feature) const;
};

// Empty when the corpus is absent.
std::string CorpusDir();
std::vector<CorpusFile> CorpusFiles();

// Reads a whole file; empty on failure.
std::vector<unsigned char> ReadWholeFile(const std::string& path);

}  // namespace vn::test
