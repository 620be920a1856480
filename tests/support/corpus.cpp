#include "support/corpus.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vn::test {

bool CorpusFile::HasFeature(const std::string& feature) const {
  std::stringstream list(features);
  std::string item;
  while (std::getline(list, item, ',')) {
    if (item == feature) return true;
  }
  return false;
}

std::string CorpusDir() {
  const char* env = std::getenv("FOLIO_CORPUS");
  std::string dir = env != nullptr ? env : FOLIO_CORPUS_DIR;
  struct stat info;
  if (stat((dir + "/MANIFEST.tsv").c_str(), &info) != 0) return std::string();
  return dir;
}

std::vector<CorpusFile> CorpusFiles() {
  std::vector<CorpusFile> files;
  std::string dir = CorpusDir();
  if (dir.empty()) return files;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);  // header
  while (std::getline(manifest, line)) {
    std::vector<std::string> cols;
    std::stringstream fields(line);
    std::string col;
    while (std::getline(fields, col, '\t')) cols.push_back(col);
    if (cols.size() < 11) continue;
    CorpusFile file;
    file.name = cols[0];
    file.path = dir + "/" + cols[0];
    file.bytes = std::atoll(cols[2].c_str());
    file.pages = cols[4].empty() ? -1 : std::atoi(cols[4].c_str());
    file.encrypted = cols[9];
    size_t user = file.encrypted.find("user=");
    if (user != std::string::npos) file.userPassword = file.encrypted.substr(user + 5);
    file.features = cols[10];
    files.push_back(file);
  }
  return files;
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  unsigned char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(f);
  return bytes;
}

}  // namespace vn::test
